// What the kill test's victim writes and its checker expects: the rows of a
// table follow from the table's name and the row's number alone, and the
// state of a file is the row count of each user table.
#pragma once

#include <cstdint>
#include <map>
#include <sstream>
#include <string>

namespace jet::kill_test {

// Row counts by table name.
using State = std::map<std::string, int64_t>;

inline const char* kColumns = "(`id` LONG, `t` TEXT(40), `m` MEMO, `x` DOUBLE)";

inline uint32_t NameHash(const std::string& name) {
  uint32_t h = 2166136261u;
  for (unsigned char c : name) h = (h ^ c) * 16777619u;
  return h;
}

// A copy is named after its source, "+" and a number, and holds the source's
// rows: row `id` of either follows from the name they share.
inline std::string OriginOf(const std::string& table) {
  return table.substr(0, table.find('+'));
}

// The short text of row `id`.
inline std::string TextFor(const std::string& table, int64_t id) {
  return "r" + std::to_string(id) + " " + OriginOf(table);
}

// The memo of row `id`: 1 to 6,000 characters, so that some stay in the row
// and others go to long-value pages of their own.
inline std::string MemoFor(const std::string& table, int64_t id) {
  size_t length = 1 + (static_cast<uint64_t>(id) * 7919u + NameHash(OriginOf(table))) % 6000u;
  std::string memo(length, 'a');
  for (size_t k = 0; k < length; ++k) memo[k] = static_cast<char>('a' + (id + k / 7) % 26);
  return memo;
}

inline double NumberFor(int64_t id) {
  return static_cast<double>(id) * 0.5 - 100.25;
}

// "name=count name=count", in name order.
inline std::string Format(const State& s) {
  std::string out;
  for (const auto& [name, count] : s) {
    if (!out.empty()) out += ' ';
    out += name + "=" + std::to_string(count);
  }
  return out;
}

inline State Parse(const std::string& text) {
  State s;
  std::istringstream in(text);
  std::string item;
  while (in >> item) {
    size_t eq = item.rfind('=');
    if (eq == std::string::npos) continue;
    s[item.substr(0, eq)] = std::stoll(item.substr(eq + 1));
  }
  return s;
}

}  // namespace jet::kill_test
