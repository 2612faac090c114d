#include "cell_value.h"

#include <algorithm>

namespace vq::ase_server {

std::string Int128ToString(Int128 value) {
  if (value == 0) return "0";
  const bool negative = value < 0;
  // Work on the unsigned magnitude so the most negative value does not overflow.
  unsigned __int128 magnitude = negative ? static_cast<unsigned __int128>(-(value + 1)) + 1
                                         : static_cast<unsigned __int128>(value);
  std::string digits;
  while (magnitude != 0) {
    digits += static_cast<char>('0' + static_cast<int>(magnitude % 10));
    magnitude /= 10;
  }
  if (negative) digits += '-';
  std::reverse(digits.begin(), digits.end());
  return digits;
}

bool ParseInt128(const std::string& text, Int128& out) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return false;
  unsigned __int128 magnitude = 0;
  constexpr unsigned __int128 kLimit = (static_cast<unsigned __int128>(1) << 126) / 5;  // ~8.5e37
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    if (magnitude > kLimit) return false;  // ten more would leave the signed range
    magnitude = magnitude * 10 + static_cast<unsigned>(text[i] - '0');
  }
  out = negative ? -static_cast<Int128>(magnitude) : static_cast<Int128>(magnitude);
  return true;
}

}  // namespace vq::ase_server
