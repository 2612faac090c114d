// The values the engine reads out of rows.
//
// These are the engine's own: the layers above convert them to whatever they
// use, so the engine depends on nothing outside itself.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace jet {

// Currency: a count of ten-thousandths.
struct Money {
  int64_t ten_thousandths = 0;
  bool operator==(const Money&) const = default;
};

// An exact decimal: magnitude / 10^scale, with a sign.
struct Numeric {
  unsigned __int128 magnitude = 0;
  uint8_t precision = 0;
  uint8_t scale = 0;
  bool negative = false;
  bool operator==(const Numeric&) const = default;
};

// A date as Jet stores it: days since 1899-12-30; the fraction is the time of
// day counted forward from midnight even for negative days.
struct OleDate {
  double days = 0;
  bool operator==(const OleDate&) const = default;
};

// A Date/Time Extended value: days since 0001-01-01 and 100-ns ticks into the day.
struct ExtDateTime {
  int64_t days = 0;
  int64_t ticks = 0;
  bool operator==(const ExtDateTime&) const = default;
};

// A GUID in printed byte order ("{00112233-4455-...}" has bytes 00 11 22 33 ...).
struct Guid {
  std::array<uint8_t, 16> bytes{};
  bool operator==(const Guid&) const = default;
};

// Binary data (BINARY and OLE columns).
using Binary = std::vector<uint8_t>;

// One value; std::monostate is null. Integers of every width are int64_t;
// single and double are double; text is UTF-8.
using Value = std::variant<std::monostate, bool, int64_t, double, Money, Numeric, OleDate,
                           ExtDateTime, std::string, Binary, Guid>;

}  // namespace jet
