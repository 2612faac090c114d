#include "jet/calculated_copy.h"

#include <algorithm>

#include "jet/row_codec.h"

namespace jet {
namespace {

// The widest Decimal column Access makes.
constexpr unsigned kMaxPrecision = 28;
// Bytes a calculated value's slot holds beyond the value itself.
constexpr int kCalculatedOverhead = 23;
// The longest Text column.
constexpr uint16_t kMaxTextLength = 255;

unsigned __int128 Pow10(unsigned n) {
  unsigned __int128 p = 1;
  for (unsigned k = 0; k < n; ++k) p *= 10;
  return p;
}

unsigned DigitCount(unsigned __int128 v) {
  unsigned n = 0;
  for (; v != 0; v /= 10) ++n;
  return n;
}

}  // namespace

uint16_t CalculatedTextLength(const Column& c) {
  if (c.type != kText) return kMaxTextLength;
  const int characters = (c.length - kCalculatedOverhead) / 2;
  return static_cast<uint16_t>(std::clamp<int>(characters, 1, kMaxTextLength));
}

CalculatedDecimals::CalculatedDecimals(const TableDefinition& source) {
  for (size_t k = 0; k < source.columns.size(); ++k) {
    const Column& c = source.columns[k];
    if (!c.IsCalculated() || ValueType(c) != kNumeric) continue;
    Needs needs;
    needs.column = k;
    // A Decimal descriptor's scale is a floor, so an empty table keeps it.
    if (c.type == kNumeric) needs.places = std::min<unsigned>(c.scale, kMaxPrecision);
    columns_.push_back(needs);
  }
}

void CalculatedDecimals::Measure(TableReader& rows) {
  std::vector<bool> wanted(rows.Definition().columns.size(), false);
  for (const Needs& n : columns_) wanted[n.column] = true;
  rows.SetWantedColumns(std::move(wanted));
  std::vector<Value> row;
  while (rows.Next(row)) {
    for (Needs& n : columns_) {
      const Numeric* v = std::get_if<Numeric>(&row[n.column]);
      if (!v || v->magnitude == 0) continue;
      unsigned scale = v->scale;
      unsigned __int128 m = v->magnitude;
      while (scale > 0 && m % 10 == 0) {
        m /= 10;
        --scale;
      }
      n.places = std::max(n.places, scale);
      n.integer_digits = std::max(n.integer_digits, DigitCount(m / Pow10(scale)));
    }
  }
  for (Needs& n : columns_)
    n.scale = std::min(n.places, kMaxPrecision - std::min(n.integer_digits, kMaxPrecision));
}

void CalculatedDecimals::Shape(std::vector<NewColumn>& columns) const {
  for (const Needs& n : columns_) {
    columns[n.column].precision = kMaxPrecision;
    columns[n.column].scale = static_cast<uint8_t>(n.scale);
  }
}

void CalculatedDecimals::Fit(std::vector<Value>& row) const {
  for (const Needs& n : columns_) {
    Numeric* v = std::get_if<Numeric>(&row[n.column]);
    if (!v || v->scale <= n.scale) continue;
    const unsigned __int128 divisor = Pow10(v->scale - n.scale);
    unsigned __int128 q = v->magnitude / divisor;
    // Half away from zero: the sign is kept apart from the magnitude.
    if (v->magnitude % divisor >= divisor - v->magnitude % divisor) ++q;
    v->magnitude = q;
    v->scale = static_cast<uint8_t>(n.scale);
    if (q == 0) v->negative = false;
  }
}

}  // namespace jet
