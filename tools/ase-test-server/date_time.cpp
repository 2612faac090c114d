#include "date_time.h"

#include <array>
#include <cctype>
#include <string>

#include "common/ascii.h"
#include "common/civil_days.h"

namespace vq::ase_server {
namespace {

constexpr std::int64_t kEpoch1900 = civil::DaysFromDate(1900, 1, 1);

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[static_cast<std::size_t>(m - 1)];
}

// A small cursor over the text.
struct Scanner {
  std::string_view s;
  std::size_t i = 0;

  void SkipSpaces() {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  }
  bool AtEnd() const { return i >= s.size(); }
  bool Eat(char c) {
    if (i < s.size() && s[i] == c) {
      ++i;
      return true;
    }
    return false;
  }
  // Reads 1..max_digits digits; returns the count read.
  int Digits(int max_digits, int& value) {
    int n = 0;
    value = 0;
    while (i < s.size() && n < max_digits && std::isdigit(static_cast<unsigned char>(s[i]))) {
      value = value * 10 + (s[i] - '0');
      ++i;
      ++n;
    }
    return n;
  }
};

bool ParseTime(Scanner& sc, DateTimeParts& parts) {
  int h = 0, m = 0, s = 0, micro = 0;
  if (sc.Digits(2, h) == 0) return false;
  if (!sc.Eat(':')) return false;
  if (sc.Digits(2, m) != 2) return false;
  if (sc.Eat(':')) {
    if (sc.Digits(2, s) != 2) return false;
    if (sc.Eat('.')) {
      // A decimal fraction of a second.
      int scale = 100000;
      int n = 0;
      while (!sc.AtEnd() && std::isdigit(static_cast<unsigned char>(sc.s[sc.i]))) {
        if (n < 6) micro += (sc.s[sc.i] - '0') * scale;
        scale /= 10;
        ++n;
        ++sc.i;
      }
      if (n == 0) return false;
    } else if (sc.Eat(':')) {
      // ASE reads ":n" after the seconds as milliseconds.
      int ms = 0;
      if (sc.Digits(3, ms) == 0) return false;
      micro = ms * 1000;
    }
  }
  sc.SkipSpaces();
  if (sc.i + 2 <= sc.s.size()) {
    const char a = ascii::Upper(sc.s[sc.i]);
    const char b = ascii::Upper(sc.s[sc.i + 1]);
    if ((a == 'A' || a == 'P') && b == 'M') {
      if (h < 1 || h > 12) return false;
      if (a == 'A' && h == 12) h = 0;
      if (a == 'P' && h != 12) h += 12;
      sc.i += 2;
    }
  }
  if (h > 23 || m > 59 || s > 59) return false;
  parts.has_time = true;
  parts.hour = h;
  parts.minute = m;
  parts.second = s;
  parts.microsecond = micro;
  return true;
}

int MonthFromName(std::string_view word) {
  static constexpr std::array<std::string_view, 12> kNames{
      "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  if (word.size() < 3) return 0;
  const std::string lower = ascii::Lowered(word.substr(0, 3));
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    if (kNames[i] == lower) return static_cast<int>(i) + 1;
  }
  return 0;
}

bool ParseDate(Scanner& sc, DateTimeParts& parts) {
  int y = 0, m = 0, d = 0;
  if (std::isalpha(static_cast<unsigned char>(sc.s[sc.i]))) {
    // "Mon DD YYYY", the form ASE itself prints.
    const std::size_t start = sc.i;
    while (!sc.AtEnd() && std::isalpha(static_cast<unsigned char>(sc.s[sc.i]))) ++sc.i;
    m = MonthFromName(sc.s.substr(start, sc.i - start));
    if (m == 0) return false;
    sc.SkipSpaces();
    if (sc.Digits(2, d) == 0) return false;
    sc.Eat(',');
    sc.SkipSpaces();
    if (sc.Digits(4, y) != 4) return false;
  } else {
    const std::size_t start = sc.i;
    const int n = sc.Digits(8, y);
    if (n == 8) {
      const int all = y;
      y = all / 10000;
      m = all / 100 % 100;
      d = all % 100;
    } else if (n == 4) {
      const char sep = sc.AtEnd() ? '\0' : sc.s[sc.i];
      if (sep != '-' && sep != '/' && sep != '.') return false;
      ++sc.i;
      if (sc.Digits(2, m) == 0 || !sc.Eat(sep) || sc.Digits(2, d) == 0) return false;
    } else {
      sc.i = start;
      return false;
    }
  }
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return false;
  parts.has_date = true;
  parts.year = y;
  parts.month = m;
  parts.day = d;
  return true;
}

}  // namespace

std::int64_t DaysFrom1900(int year, int month, int day) {
  return civil::DaysFromDate(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
         kEpoch1900;
}

void CivilFromDays1900(std::int64_t days, int& year, int& month, int& day) {
  const civil::Date date = civil::DateFromDays(days + kEpoch1900);
  year = static_cast<int>(date.year);
  month = static_cast<int>(date.month);
  day = static_cast<int>(date.day);
}

std::optional<DateTimeParts> ParseDateTimeText(std::string_view text) {
  Scanner sc{text};
  DateTimeParts parts;
  sc.SkipSpaces();
  if (sc.AtEnd()) {
    // ASE reads an empty text as 1900-01-01 00:00.
    parts.has_date = true;
    return parts;
  }
  // A time alone: digits followed by ':'.
  std::size_t probe = sc.i;
  while (probe < text.size() && std::isdigit(static_cast<unsigned char>(text[probe]))) ++probe;
  if (probe < text.size() && text[probe] == ':' && probe - sc.i <= 2) {
    if (!ParseTime(sc, parts)) return std::nullopt;
  } else {
    if (!ParseDate(sc, parts)) return std::nullopt;
    if (sc.Eat('T')) {
      if (!ParseTime(sc, parts)) return std::nullopt;
    } else {
      sc.SkipSpaces();
      if (!sc.AtEnd() && !ParseTime(sc, parts)) return std::nullopt;
    }
  }
  sc.SkipSpaces();
  if (!sc.AtEnd()) return std::nullopt;
  return parts;
}

std::int64_t TicksFromMicroseconds(std::int64_t microseconds) {
  // 300 ticks a second: one tick is 10000/3 microseconds; round to nearest.
  return (microseconds * 3 + 5000) / 10000;
}

}  // namespace vq::ase_server
