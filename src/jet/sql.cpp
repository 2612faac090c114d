#include "jet/sql.h"

#include <cctype>
#include <vector>

#include "jet/error.h"

namespace jet {
namespace {

struct Token {
  enum class Type { kWord, kName, kSymbol } type;
  std::string text;
};

[[noreturn]] void Syntax(std::string_view sql) {
  throw JetError(error_numbers::kSyntaxError, "Syntax error in SQL statement: " + std::string(sql));
}

std::vector<Token> Tokenize(std::string_view sql) {
  std::vector<Token> out;
  size_t i = 0;
  while (i < sql.size()) {
    unsigned char ch = static_cast<unsigned char>(sql[i]);
    if (std::isspace(ch)) {
      ++i;
    } else if (ch == '`' || ch == '[') {
      char close = ch == '`' ? '`' : ']';
      size_t end = sql.find(close, i + 1);
      if (end == std::string_view::npos) Syntax(sql);
      out.push_back({Token::Type::kName, std::string(sql.substr(i + 1, end - i - 1))});
      i = end + 1;
    } else if (std::isalnum(ch) || ch == '_' || ch >= 0x80) {
      size_t start = i;
      while (i < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_' ||
                                static_cast<unsigned char>(sql[i]) >= 0x80))
        ++i;
      out.push_back({Token::Type::kWord, std::string(sql.substr(start, i - start))});
    } else {
      out.push_back({Token::Type::kSymbol, std::string(1, static_cast<char>(ch))});
      ++i;
    }
  }
  return out;
}

bool IsKeyword(const Token& t, const char* word) {
  if (t.type != Token::Type::kWord) return false;
  size_t k = 0;
  for (; word[k]; ++k) {
    if (k >= t.text.size() || std::toupper(static_cast<unsigned char>(t.text[k])) != word[k])
      return false;
  }
  return k == t.text.size();
}

bool IsSymbol(const Token& t, char c) {
  return t.type == Token::Type::kSymbol && t.text[0] == c;
}

}  // namespace

Statement ParseStatement(std::string_view sql) {
  std::vector<Token> t = Tokenize(sql);
  while (!t.empty() && IsSymbol(t.back(), ';')) t.pop_back();
  if (t.empty()) Syntax(sql);
  Statement s;
  if (IsKeyword(t[0], "SELECT")) {
    if (t.size() == 4 && IsSymbol(t[1], '*') && IsKeyword(t[2], "FROM") &&
        t[3].type != Token::Type::kSymbol) {
      s.kind = Statement::Kind::kSelectAll;
      s.table = t[3].text;
      if (s.table.empty()) Syntax(sql);
      return s;
    }
    for (const Token& tok : t)
      if (IsKeyword(tok, "INTO")) s.kind = Statement::Kind::kSelectInto;
    return s;
  }
  if (IsKeyword(t[0], "CREATE")) s.kind = Statement::Kind::kCreateTable;
  if (IsKeyword(t[0], "INSERT")) s.kind = Statement::Kind::kInsert;
  if (IsKeyword(t[0], "DROP")) s.kind = Statement::Kind::kDrop;
  return s;
}

}  // namespace jet
