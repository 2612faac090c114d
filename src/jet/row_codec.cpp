#include "jet/row_codec.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "jet/column_types.h"
#include "jet/long_value.h"
#include "jet/text_codec.h"

namespace jet {
namespace {

std::string& TextIn(Value& v) {
  if (!std::holds_alternative<std::string>(v)) v.emplace<std::string>();
  return std::get<std::string>(v);
}

Binary& BinaryIn(Value& v) {
  if (!std::holds_alternative<Binary>(v)) v.emplace<Binary>();
  return std::get<Binary>(v);
}

double ReadDouble(ByteView d, size_t off) {
  uint64_t bits = d.U64(off);
  double x;
  std::memcpy(&x, &bits, 8);
  return x;
}

float ReadFloat(ByteView d, size_t off) {
  uint32_t bits = d.U32(off);
  float x;
  std::memcpy(&x, &bits, 4);
  return x;
}

// Parses `count` (at most 19) ASCII digits; false if any is not a digit.
bool Digits(const uint8_t* p, size_t count, uint64_t& out) {
  out = 0;
  for (size_t k = 0; k < count; ++k) {
    if (p[k] < '0' || p[k] > '9') return false;
    out = out * 10 + (p[k] - '0');
  }
  return true;
}

// The last day Access accepts, 9999-12-31, counted from 0001-01-01.
constexpr uint64_t kLastExtendedDay = 3652058;

// Days from 1899-12-30 beyond which a stored date is damage rather than a date:
// Access keeps to years 100..9999, well inside it.
constexpr double kOleDayLimit = 1e8;

// Bytes a value of a fixed-size type takes.
size_t FixedSize(uint8_t type) {
  return FixedValueSize(type);
}

// Bytes around a calculated value's data, and where its length and data sit.
constexpr size_t kCalculatedLength = 16;
constexpr size_t kCalculatedData = 20;
// Bytes of a long value's header in its row.
constexpr size_t kLongValueHeader = 12;

// The data a calculated value wraps; `what` names the column for messages.
ByteView Unwrap(ByteView wrapped, const std::string& what) {
  uint32_t length = wrapped.U32(kCalculatedLength);
  if (length > wrapped.size() - kCalculatedData)
    ThrowCorrupt("calculated column '" + what + "' claims " + std::to_string(length) +
                 " bytes of data in a value of " + std::to_string(wrapped.size()));
  return wrapped.Sub(kCalculatedData, length);
}

// A calculated Decimal result (layout in row_codec.h).
Numeric CalculatedDecimal(ByteView d, const std::string& what) {
  if (d.size() < 4) ThrowCorrupt("calculated column '" + what + "' holds a truncated decimal");
  size_t count = d.U16(0);
  if (count == 0) count = d.size() - 2;  // no length given: the rest of the data
  if (count < 2 || count > d.size() - 2)
    ThrowCorrupt("calculated column '" + what + "' holds a decimal of bad length");
  size_t bytes = std::min<size_t>((count - 2) / 4 * 4, 16);
  Numeric out;
  out.scale = d.U8(2);
  out.negative = d.U8(3) != 0;
  out.precision = 28;
  if (out.scale > 28)
    ThrowCorrupt("calculated column '" + what + "' holds a decimal of scale " +
                 std::to_string(out.scale));
  uint8_t big[16];
  std::memcpy(big, d.Sub(4, bytes).data(), bytes);
  size_t at = 0;
  if (bytes % 8 != 0) {
    std::reverse(big, big + 4);
    at = 4;
  }
  for (; at < bytes; at += 8) std::reverse(big + at, big + at + 8);
  for (size_t k = 0; k < bytes; ++k) out.magnitude = (out.magnitude << 8) | big[k];
  return out;
}

}  // namespace

uint8_t ValueType(const Column& c) {
  return c.IsCalculated() && c.result_type != 0 ? c.result_type : c.type;
}

RowDecoder::RowDecoder(PageSource& file, const Header& header, const TableDefinition& table)
    : file_(file), header_(header), table_(table), jet3_(header.IsJet3()) {
  has_variable_ = table.variable_columns > 0;
  for (const Column& c : table.columns)
    if (c.IsCalculated() || (!c.IsFixed() && c.type != kBool)) has_variable_ = true;
}

void RowDecoder::Decode(ByteView row, std::vector<Value>& out, const std::vector<bool>* wanted) {
  const size_t ncols = table_.columns.size();
  out.resize(ncols);
  const size_t count_size = jet3_ ? 1 : 2;
  if (row.size() < count_size) ThrowCorrupt("a row is shorter than its header");
  const size_t row_columns = jet3_ ? row.U8(0) : row.U16(0);
  const size_t mask_size = (row_columns + 7) / 8;
  if (mask_size + count_size > row.size()) ThrowCorrupt("a row's null mask runs past the row");
  const size_t mask_start = row.size() - mask_size;
  const uint8_t* mask = row.data() + mask_start;

  // The variable offsets, with the end of variable data as the last entry.
  size_t var_count = 0;
  offsets_.clear();
  if (has_variable_) {
    if (jet3_) {
      if (mask_start < 1) ThrowCorrupt("a row has no room for its variable count");
      var_count = row.U8(mask_start - 1);
      size_t jumps = (row.size() - 1) / 256;
      if (mask_start < 1 + jumps + var_count + 1 + count_size)
        ThrowCorrupt("a row's variable offsets run past the row");
      size_t table_end = mask_start - 1 - jumps;  // just after offset[0]
      // A last jump entry that the offsets never reach is a placeholder.
      size_t used_jumps = jumps;
      if (used_jumps > 0 && (table_end - 1 - var_count) / 256 < used_jumps) --used_jumps;
      offsets_.resize(var_count + 1);
      for (size_t i = 0; i <= var_count; ++i) {
        uint32_t value = row.U8(table_end - 1 - i);
        for (size_t j = 0; j < used_jumps; ++j)
          if (row.U8(mask_start - 2 - j) <= i) value += 256;
        offsets_[i] = value;
      }
    } else {
      if (mask_start < 2 + count_size) ThrowCorrupt("a row has no room for its variable count");
      var_count = row.U16(mask_start - 2);
      if (mask_start < 2 + 2 * (var_count + 1) + count_size)
        ThrowCorrupt("a row's variable offsets run past the row");
      offsets_.resize(var_count + 1);
      for (size_t i = 0; i <= var_count; ++i) offsets_[i] = row.U16(mask_start - 4 - 2 * i);
    }
  }

  for (size_t k = 0; k < ncols; ++k) {
    const Column& c = table_.columns[k];
    Value& v = out[k];
    if (wanted && !(*wanted)[k]) {
      v = std::monostate{};
      continue;
    }
    bool present = c.number < row_columns && (mask[c.number >> 3] >> (c.number & 7)) & 1;
    if (c.type == kBool && !c.IsCalculated()) {
      v = present;
      continue;
    }
    if (!present) {
      v = std::monostate{};
      continue;
    }
    if (c.IsFixed() && !c.IsCalculated()) {
      size_t start = count_size + c.fixed_offset;
      if (!row.Contains(start, c.length) || start + c.length > mask_start)
        ThrowCorrupt("column '" + c.name + "' lies outside its row");
      DecodeFixed(c, c.type, row.Sub(start, c.length), v);
    } else {
      if (c.var_index >= var_count) {
        v = std::monostate{};
        continue;
      }
      uint32_t start = offsets_[c.var_index];
      uint32_t end = offsets_[c.var_index + 1];
      if (start > end || end > mask_start)
        ThrowCorrupt("column '" + c.name + "' lies outside its row");
      ByteView data = row.Sub(start, end - start);
      if (c.IsCalculated()) {
        DecodeCalculated(c, data, v);
      } else {
        DecodeVariable(c, data, v);
      }
    }
  }
}

void RowDecoder::DecodeCalculated(const Column& c, ByteView slot, Value& v) {
  const uint8_t type = ValueType(c);
  if (type == kMemo) {
    if (slot.size() < kLongValueHeader) {
      v = std::monostate{};
      return;
    }
    // The long value's content is what carries the wrapper.
    ReadLongValue(file_, jet3_, slot, scratch_);
    ByteView content(scratch_.data(), scratch_.size());
    if (content.size() < kCalculatedData) {
      v = std::monostate{};
      return;
    }
    DecodeText(c, Unwrap(content, c.name), v);
    return;
  }
  if (slot.size() < kCalculatedData) {
    v = std::monostate{};
    return;
  }
  ByteView data = Unwrap(slot, c.name);
  if (data.empty() && type != kText) {  // an empty text is a value; nothing else is
    v = std::monostate{};
    return;
  }
  switch (type) {
    case kBool:
      v = data.U8(0) != 0;
      return;
    case kText:
      DecodeText(c, data, v);
      return;
    case kNumeric:
      v = CalculatedDecimal(data, c.name);
      return;
    case kBinary:
    case kOle:
      BinaryIn(v).assign(data.data(), data.data() + data.size());
      return;
    default:
      if (data.size() < FixedSize(type)) {
        v = std::monostate{};
      } else {
        DecodeFixed(c, type, data, v);
      }
      return;
  }
}

void RowDecoder::DecodeFixed(const Column& c, uint8_t type, ByteView d, Value& v) {
  switch (type) {
    case kByte:
      v = static_cast<int64_t>(d.U8(0));
      return;
    case kInt:
      v = static_cast<int64_t>(static_cast<int16_t>(d.U16(0)));
      return;
    case kLong:
    case kComplex:
      v = static_cast<int64_t>(static_cast<int32_t>(d.U32(0)));
      return;
    case kBigInt:
      v = static_cast<int64_t>(d.U64(0));
      return;
    case kMoney:
      v = Money{static_cast<int64_t>(d.U64(0))};
      return;
    case kFloat:
      v = static_cast<double>(ReadFloat(d, 0));
      return;
    case kDouble:
      v = ReadDouble(d, 0);
      return;
    case kDateTime: {
      double days = ReadDouble(d, 0);
      if (!std::isfinite(days) || std::fabs(days) > kOleDayLimit)
        ThrowCorrupt("column '" + c.name + "' holds a malformed date");
      v = OleDate{days};
      return;
    }
    case kGuid: {
      ByteView g = d.Sub(0, 16);
      Guid out;
      const uint8_t* p = g.data();
      const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
      for (int k = 0; k < 16; ++k) out.bytes[k] = p[order[k]];
      v = out;
      return;
    }
    case kNumeric: {
      ByteView n = d.Sub(0, 17);
      Numeric out;
      out.negative = (n.U8(0) & 0x80) != 0;
      for (int w = 0; w < 4; ++w) out.magnitude = (out.magnitude << 32) | n.U32(1 + 4 * w);
      out.precision = c.precision;
      out.scale = c.scale > 38 ? 38 : c.scale;
      v = out;
      return;
    }
    case kExtDateTime: {
      ByteView e = d.Sub(0, 39);
      ExtDateTime out;
      uint64_t days = 0, seconds = 0, fraction = 0;
      if (!Digits(e.data(), 19, days) || e.data()[19] != ':' ||
          !Digits(e.data() + 20, 12, seconds) || !Digits(e.data() + 32, 7, fraction) ||
          days > kLastExtendedDay || seconds >= 86400) {
        ThrowCorrupt("column '" + c.name + "' holds a malformed extended date");
      }
      out.days = static_cast<int64_t>(days);
      out.ticks = static_cast<int64_t>(seconds * 10000000 + fraction);
      v = out;
      return;
    }
    case kText:
      DecodeText(c, d, v);
      return;
    case kBinary:
    default:
      // Types this engine does not know are kept as their raw bytes.
      BinaryIn(v).assign(d.data(), d.data() + d.size());
      return;
  }
}

void RowDecoder::DecodeText(const Column& c, ByteView d, Value& v) {
  if (jet3_) {
    DecodeCodePageText(d, c.code_page ? c.code_page : header_.code_page, TextIn(v));
  } else {
    DecodeUnicodeText(d, TextIn(v));
  }
}

void RowDecoder::DecodeVariable(const Column& c, ByteView d, Value& v) {
  switch (c.type) {
    case kText:
      DecodeText(c, d, v);
      return;
    case kMemo:
      ReadLongValue(file_, jet3_, d, scratch_);
      DecodeText(c, ByteView(scratch_.data(), scratch_.size()), v);
      return;
    case kOle:
      ReadLongValue(file_, jet3_, d, BinaryIn(v));
      return;
    case kBinary:
      BinaryIn(v).assign(d.data(), d.data() + d.size());
      return;
    default:
      // A fixed-size type kept in a variable slot (seen in altered tables).
      DecodeFixed(c, c.type, d, v);
      return;
  }
}

}  // namespace jet
