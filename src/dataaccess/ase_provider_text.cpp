// The text side of the ASE provider: its connection string, the catalogue's
// type names and the recognition of queries whose rows can be counted first.
#include <cctype>
#include <string_view>

#include "common/ascii.h"
#include "dataaccess/ase_provider.h"
#include "dataaccess/connection_string.h"
#include "dataaccess/error.h"

namespace vq {
namespace {

std::chrono::milliseconds TimeoutSetting(const ConnectionString& cs, std::string_view key,
                                         std::chrono::milliseconds fallback) {
  auto text = cs.Get(key);
  if (!text) return fallback;
  std::string_view v = *text;
  while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
  while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
  int seconds = 0;
  bool ok = !v.empty() && v.size() <= 4;
  for (char c : v) {
    if (!std::isdigit(static_cast<unsigned char>(c))) ok = false;
    seconds = seconds * 10 + (c - '0');
  }
  if (!ok || seconds < 1 || seconds > 3600) {
    throw DatabaseError(errors::kInvalidArgument,
                        std::string(key) +
                            " must be a whole number of seconds from 1 to 3600, not \"" + *text +
                            "\"");
  }
  return std::chrono::seconds(seconds);
}

// A small scanner over the text of a query.
class Scanner {
 public:
  explicit Scanner(std::string_view s) : s_(s) {}
  void SkipBlanks() {
    while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
  }
  bool AtEnd() {
    SkipBlanks();
    return pos_ == s_.size();
  }
  // The keyword `word` (any case) followed by a blank or the end.
  bool Keyword(std::string_view word) {
    SkipBlanks();
    if (s_.size() - pos_ < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
      if (ascii::Lower(s_[pos_ + i]) != word[i]) return false;
    }
    size_t after = pos_ + word.size();
    if (after < s_.size() && !std::isspace(static_cast<unsigned char>(s_[after]))) return false;
    pos_ = after;
    return true;
  }
  bool Char(char c) {
    size_t start = pos_;
    SkipBlanks();
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    pos_ = start;
    return false;
  }
  // A bare or bracketed name; bare names that are keywords of a select do not count.
  bool Name() {
    SkipBlanks();
    if (pos_ >= s_.size()) return false;
    if (s_[pos_] == '[') {
      size_t close = s_.find(']', pos_ + 1);
      if (close == std::string_view::npos || close == pos_ + 1) return false;
      pos_ = close + 1;
      return true;
    }
    size_t start = pos_;
    auto first_ok = [](char c) {
      return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '#' || c == '@';
    };
    auto next_ok = [](char c) {
      return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '#' || c == '@' ||
             c == '$';
    };
    if (!first_ok(s_[pos_])) return false;
    while (pos_ < s_.size() && next_ok(s_[pos_])) ++pos_;
    const std::string word = ascii::Lowered(s_.substr(start, pos_ - start));
    if (word == "from" || word == "distinct" || word == "all" || word == "top" || word == "into") {
      pos_ = start;
      return false;
    }
    return true;
  }
  size_t Pos() const { return pos_; }

 private:
  std::string_view s_;
  size_t pos_ = 0;
};

}  // namespace

AseConnectionRequest ParseAseConnectionString(const std::string& connection_string) {
  static const std::vector<std::string> kKeys = {"Provider",       "Data Source", "User Id",
                                                 "Password",       "Catalog",     "Connect Timeout",
                                                 "Command Timeout"};
  ConnectionString cs = ConnectionString::Parse(connection_string, kKeys);
  AseConnectionRequest r;
  r.data_source = cs.GetOr("Data Source", "");
  r.user = cs.GetOr("User Id", "");
  r.password = cs.GetOr("Password", "");
  r.catalog = cs.GetOr("Catalog", "");
  r.connect_timeout = TimeoutSetting(cs, "Connect Timeout", r.connect_timeout);
  r.command_timeout = TimeoutSetting(cs, "Command Timeout", r.command_timeout);
  return r;
}

std::optional<std::string> AseTableType(const std::string& sysobjects_type) {
  std::string code = sysobjects_type;
  while (!code.empty() && code.back() == ' ') code.pop_back();
  if (code == "U") return "TABLE";
  if (code == "S") return "SYSTEM TABLE";
  if (code == "V") return "VIEW";
  return std::nullopt;
}

std::optional<std::string> AseCountQueryFor(const std::string& sql) {
  Scanner s(sql);
  if (!s.Keyword("select")) return std::nullopt;
  // The select list: "*" or plain column names, nothing computed.
  do {
    if (!s.Char('*') && !s.Name()) return std::nullopt;
  } while (s.Char(','));
  if (!s.Keyword("from")) return std::nullopt;
  s.SkipBlanks();
  size_t table_start = s.Pos();
  int parts = 0;
  do {
    if (!s.Name() || ++parts > 3) return std::nullopt;
  } while (s.Char('.'));
  size_t table_end = s.Pos();
  if (!s.AtEnd()) return std::nullopt;
  return "select count(*) from " + sql.substr(table_start, table_end - table_start);
}

}  // namespace vq
