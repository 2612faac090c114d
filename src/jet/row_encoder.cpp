#include "jet/row_encoder.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "jet/column_types.h"
#include "jet/error.h"
#include "jet/text_codec.h"

namespace jet {
namespace {

// Access' date range, years 100 to 9999, in days from 1899-12-30.
constexpr double kFirstOleDay = -657434.0;
constexpr double kEndOleDay = 2958466.0;
// The last day Date/Time Extended takes, 9999-12-31, counted from 0001-01-01.
constexpr int64_t kLastExtendedDay = 3652058;
constexpr int64_t kTicksPerDay = 864000000000;
// Memo values longer than this many characters are never compressed.
constexpr size_t kMaxCompressedMemo = 1024;
// Scratch space above this is given back after the row that needed it.
constexpr size_t kKeptScratch = 1 << 20;

void Put16(uint8_t* p, size_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<uint8_t>(v >> (8 * k));
}
void Put64(uint8_t* p, uint64_t v) {
  for (int k = 0; k < 8; ++k) p[k] = static_cast<uint8_t>(v >> (8 * k));
}
void Append16(std::vector<uint8_t>& out, size_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

const char* KindName(const Value& v) {
  static const char* const kNames[] = {"null",  "boolean", "integer", "floating-point",
                                       "money", "decimal", "date",    "extended date",
                                       "text",  "binary",  "GUID"};
  static_assert(std::variant_size_v<Value> == std::size(kNames));
  return kNames[v.index()];
}

std::string ColumnText(const Column& c) {
  return "Column '" + c.name + "' (" + ColumnTypeName(c.type) + ")";
}

[[noreturn]] void OutOfRange(const Column& c, const std::string& what) {
  throw JetError(error_numbers::kOutOfRange,
                 ColumnText(c) + ": " + what + ". Give a value the column can hold.");
}

// Refuses values of columns whose contents are not ours to write.
void RefuseIfNotOurs(const Column& c, const Value& v) {
  if (std::holds_alternative<std::monostate>(v)) return;
  if (c.IsCalculated()) {
    throw JetError(error_numbers::kNotSupported,
                   ColumnText(c) + " is calculated: Access computes its values, so leave it " +
                       "out of the statement.");
  }
}

unsigned __int128 Pow10(unsigned n) {
  unsigned __int128 p = 1;
  for (unsigned k = 0; k < n; ++k) p *= 10;
  return p;
}

// `n` brought to the column's scale and checked against its precision.
unsigned __int128 ScaledMagnitude(const Column& c, const Numeric& n) {
  const unsigned scale = std::min<unsigned>(c.scale, 38);
  const unsigned precision = c.precision >= 1 && c.precision <= 38 ? c.precision : 38;
  const unsigned __int128 limit = Pow10(precision);
  unsigned __int128 m = n.magnitude;
  if (n.scale < scale) {
    unsigned __int128 factor = Pow10(scale - n.scale);
    if (m > (limit - 1) / factor) OutOfRange(c, "the value has more digits than the column keeps");
    m *= factor;
  } else if (n.scale > scale && m != 0) {
    unsigned drop = n.scale - scale;
    // Every 128-bit magnitude is below 10^39.
    unsigned __int128 divisor = drop > 38 ? 0 : Pow10(drop);
    if (divisor == 0 || m % divisor != 0)
      OutOfRange(c, "the value has more decimal places than the column keeps");
    m /= divisor;
  }
  if (m >= limit) OutOfRange(c, "the value has more digits than the column keeps");
  return m;
}

void PutDigits(uint8_t* p, size_t count, uint64_t v) {
  for (size_t k = count; k-- > 0;) {
    p[k] = static_cast<uint8_t>('0' + v % 10);
    v /= 10;
  }
}

}  // namespace

RowEncoder::RowEncoder(const Layout& layout, const TableDefinition& table)
    : layout_(layout), table_(table), count_size_(layout.row_field_size) {
  fixed_end_ = count_size_;
  mask_bytes_ = (static_cast<size_t>(table.max_columns) + 7) / 8;
  has_variable_ = table.variable_columns > 0;
  for (size_t k = 0; k < table.columns.size(); ++k) {
    const Column& c = table.columns[k];
    if (c.number >= table.max_columns) {
      ThrowCorrupt("column '" + c.name + "' of table definition " + std::to_string(table.page) +
                   " has a number beyond the table's column count");
    }
    if (!c.IsFixed() && c.type != kBool) has_variable_ = true;
    if (c.type == kBool) {
      booleans_.push_back(k);
    } else if (c.IsFixed() && !c.IsCalculated()) {
      size_t size = FixedValueSize(c.type);
      if (c.length < size) {
        ThrowCorrupt("column '" + c.name + "' of table definition " + std::to_string(table.page) +
                     " is shorter than its type");
      }
      fixed_.push_back(k);
      fixed_end_ = std::max<size_t>(fixed_end_, count_size_ + c.fixed_offset + c.length);
    } else {
      variable_.push_back(k);
    }
  }
  std::sort(variable_.begin(), variable_.end(), [&](size_t a, size_t b) {
    return table.columns[a].var_index < table.columns[b].var_index;
  });
  for (size_t i = 1; i < variable_.size(); ++i) {
    if (table.columns[variable_[i]].var_index == table.columns[variable_[i - 1]].var_index) {
      ThrowCorrupt("two columns of table definition " + std::to_string(table.page) +
                   " share a variable index");
    }
  }
  if (!variable_.empty()) var_count_ = table.columns[variable_.back()].var_index + 1u;
  mask_.resize(mask_bytes_);
  offsets_.resize(var_count_);
}

void RowEncoder::Encode(const std::vector<Value>& values, LongValueWriter* long_values,
                        std::vector<uint8_t>& out) {
  single_writer_ = long_values;
  writers_ = {};
  EncodeRow(values, out);
}

void RowEncoder::Encode(const std::vector<Value>& values, std::span<LongValueWriter* const> writers,
                        std::vector<uint8_t>& out) {
  if (writers.size() != table_.columns.size()) {
    throw JetError(error_numbers::kTypeMismatch,
                   "a row needs one long-value writer slot per column: " +
                       std::to_string(table_.columns.size()) + " expected, " +
                       std::to_string(writers.size()) + " given");
  }
  single_writer_ = nullptr;
  writers_ = writers;
  EncodeRow(values, out);
}

LongValueWriter* RowEncoder::WriterFor(size_t k) const {
  return writers_.empty() ? single_writer_ : writers_[k];
}

void RowEncoder::EncodeRow(const std::vector<Value>& values, std::vector<uint8_t>& out) {
  if (values.size() != table_.columns.size()) {
    throw JetError(error_numbers::kTypeMismatch,
                   "a row of this table takes " + std::to_string(table_.columns.size()) +
                       " values, not " + std::to_string(values.size()));
  }
  bool fits = EncodeOnce(values, true, out);
  if (!fits && inline_long_values_) fits = EncodeOnce(values, false, out);
  if (!fits) {
    size_t size = row_size_;
    out.clear();
    throw JetError(error_numbers::kOutOfRange,
                   "The row is too large: it takes " + std::to_string(size) +
                       " bytes, and a row of an Access table can hold at most " +
                       std::to_string(layout_.max_row_size) +
                       ". Shorten its text, or keep long text in Memo columns.");
  }
  // Only now that the row is known to fit are long values written to pages.
  for (const Pending& p : pending_) WriterFor(p.column)->WriteToPages(p.data, out.data() + p.field);
  for (size_t i = 0; i < memo_used_; ++i) {
    if (memo_bytes_[i].capacity() > kKeptScratch) std::vector<uint8_t>().swap(memo_bytes_[i]);
  }
  if (units_.capacity() > kKeptScratch) std::vector<uint16_t>().swap(units_);
}

bool RowEncoder::EncodeOnce(const std::vector<Value>& values, bool allow_inline,
                            std::vector<uint8_t>& out) {
  out.clear();
  out.resize(fixed_end_, 0);
  out[0] = static_cast<uint8_t>(table_.max_columns);
  if (count_size_ == 2) out[1] = static_cast<uint8_t>(table_.max_columns >> 8);
  std::fill(mask_.begin(), mask_.end(), 0);
  pending_.clear();
  memo_used_ = 0;
  inline_long_values_ = false;
  auto set_bit = [&](uint16_t number) {
    mask_[number >> 3] |= static_cast<uint8_t>(1u << (number & 7));
  };

  for (size_t k : fixed_) {
    const Column& c = table_.columns[k];
    const Value& v = values[k];
    if (std::holds_alternative<std::monostate>(v)) continue;
    RefuseIfNotOurs(c, v);
    EncodeFixed(c, v, out.data() + count_size_ + c.fixed_offset);
    set_bit(c.number);
  }
  for (size_t k : booleans_) {
    const Column& c = table_.columns[k];
    const Value& v = values[k];
    if (std::holds_alternative<std::monostate>(v)) continue;  // Yes/No has no null: No
    const bool* b = std::get_if<bool>(&v);
    if (!b) Mismatch(c, v);
    if (*b && c.IsCalculated()) RefuseIfNotOurs(c, v);
    if (*b) set_bit(c.number);
  }
  if (has_variable_) {
    size_t next = 0;
    for (size_t k : variable_) {
      const Column& c = table_.columns[k];
      // Indexes no column has (deleted columns) read as empty spans.
      while (next <= c.var_index) offsets_[next++] = static_cast<uint16_t>(out.size());
      const Value& v = values[k];
      if (std::holds_alternative<std::monostate>(v)) continue;
      RefuseIfNotOurs(c, v);
      EncodeVariable(k, v, allow_inline, out);
      set_bit(c.number);
      // Offsets are 16 bits; a row this long is refused anyway.
      if (out.size() > 0xFFFF) break;
    }
    if (count_size_ == 1) {
      if (!AppendByteOffsets(out)) return false;
    } else {
      row_size_ = out.size() + 2 + 2 * var_count_ + 2 + mask_bytes_;
      if (row_size_ > layout_.max_row_size) return false;
      Append16(out, out.size());
      for (size_t i = var_count_; i-- > 0;) Append16(out, offsets_[i]);
      Append16(out, var_count_);
    }
  } else {
    // Only calculated columns can be variable here, and they take no values.
    for (size_t k : variable_) RefuseIfNotOurs(table_.columns[k], values[k]);
    row_size_ = out.size() + mask_bytes_;
    if (row_size_ > layout_.max_row_size) return false;
  }
  out.insert(out.end(), mask_.begin(), mask_.end());
  return true;
}

void RowEncoder::Mismatch(const Column& c, const Value& v) const {
  throw JetError(error_numbers::kTypeMismatch, ColumnText(c) + " cannot take a value of kind " +
                                                   KindName(v) +
                                                   ": give a value of the column's type.");
}

void RowEncoder::EncodeFixed(const Column& c, const Value& v, uint8_t* at) {
  auto integer = [&](int64_t low, int64_t high) {
    const int64_t* i = std::get_if<int64_t>(&v);
    if (!i) Mismatch(c, v);
    if (*i < low || *i > high)
      OutOfRange(c, "the value " + std::to_string(*i) + " is outside the type's range");
    return *i;
  };
  switch (c.type) {
    case kByte:
      at[0] = static_cast<uint8_t>(integer(0, 255));
      return;
    case kInt:
      Put16(at, static_cast<uint16_t>(integer(INT16_MIN, INT16_MAX)));
      return;
    case kLong:
    case kComplex:
      Put32(at, static_cast<uint32_t>(integer(INT32_MIN, INT32_MAX)));
      return;
    case kBigInt:
      Put64(at, static_cast<uint64_t>(integer(INT64_MIN, INT64_MAX)));
      return;
    case kMoney: {
      const Money* m = std::get_if<Money>(&v);
      if (!m) Mismatch(c, v);
      Put64(at, static_cast<uint64_t>(m->ten_thousandths));
      return;
    }
    case kFloat: {
      const double* d = std::get_if<double>(&v);
      if (!d) Mismatch(c, v);
      if (std::isfinite(*d) && std::fabs(*d) >= std::ldexp(2.0 - std::ldexp(1.0, -24), 127))
        OutOfRange(c, "the value is too large for a single-precision number");
      float f = static_cast<float>(*d);
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      Put32(at, bits);
      return;
    }
    case kDouble:
    case kDateTime: {
      double days;
      if (c.type == kDouble) {
        const double* d = std::get_if<double>(&v);
        if (!d) Mismatch(c, v);
        days = *d;
      } else {
        const OleDate* d = std::get_if<OleDate>(&v);
        if (!d) Mismatch(c, v);
        days = d->days;
        if (!(days >= kFirstOleDay && days < kEndOleDay))
          OutOfRange(c, "the date lies outside the years 100 to 9999");
      }
      uint64_t bits;
      std::memcpy(&bits, &days, 8);
      Put64(at, bits);
      return;
    }
    case kGuid: {
      const Guid* g = std::get_if<Guid>(&v);
      if (!g) Mismatch(c, v);
      // The first three groups are stored little-endian.
      static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
      for (int k = 0; k < 16; ++k) at[k] = g->bytes[kOrder[k]];
      return;
    }
    case kNumeric: {
      const Numeric* n = std::get_if<Numeric>(&v);
      if (!n) Mismatch(c, v);
      unsigned __int128 m = ScaledMagnitude(c, *n);
      at[0] = n->negative ? 0x80 : 0x00;
      for (int w = 0; w < 4; ++w) Put32(at + 1 + 4 * w, static_cast<uint32_t>(m >> (32 * (3 - w))));
      return;
    }
    case kExtDateTime: {
      const ExtDateTime* e = std::get_if<ExtDateTime>(&v);
      if (!e) Mismatch(c, v);
      if (e->days < 0 || e->days > kLastExtendedDay || e->ticks < 0 || e->ticks >= kTicksPerDay)
        OutOfRange(c, "the date lies outside the years 1 to 9999");
      PutDigits(at, 19, static_cast<uint64_t>(e->days));
      at[19] = ':';
      PutDigits(at + 20, 12, static_cast<uint64_t>(e->ticks / 10000000));
      PutDigits(at + 32, 7, static_cast<uint64_t>(e->ticks % 10000000));
      at[39] = ':';
      at[40] = '7';
      at[41] = 0;
      return;
    }
    case kText: {
      // Fixed-length text: UCS-2 or code page bytes, padded with spaces to
      // the column's length.
      const std::string* s = std::get_if<std::string>(&v);
      if (!s) Mismatch(c, v);
      if (!layout_.unicode_text) {
        fixed_text_.clear();
        size_t n = AppendText(c, *s, false, fixed_text_);
        if (n > c.length) {
          OutOfRange(c, "text of " + std::to_string(n) +
                            " characters is longer than the column's " + std::to_string(c.length));
        }
        std::memcpy(at, fixed_text_.data(), n);
        std::memset(at + n, 0x20, c.length - n);
        return;
      }
      units_.clear();
      Utf8ToUtf16(*s, units_);
      if (2 * units_.size() > c.length) {
        OutOfRange(c, "text of " + std::to_string(units_.size()) +
                          " characters is longer than the column's " +
                          std::to_string(c.length / 2));
      }
      size_t k = 0;
      for (; k < units_.size(); ++k) Put16(at + 2 * k, units_[k]);
      for (; 2 * k + 1 < c.length; ++k) Put16(at + 2 * k, 0x20);
      return;
    }
    default: {
      // Fixed binary, and types this engine does not know, are raw bytes.
      const Binary* b = std::get_if<Binary>(&v);
      if (!b) Mismatch(c, v);
      if (b->size() > c.length) {
        OutOfRange(c, std::to_string(b->size()) + " bytes are more than the column's " +
                          std::to_string(c.length));
      }
      if (!b->empty()) std::memcpy(at, b->data(), b->size());
      return;
    }
  }
}

void RowEncoder::EncodeVariable(size_t k, const Value& v, bool allow_inline,
                                std::vector<uint8_t>& out) {
  const Column& c = table_.columns[k];
  switch (c.type) {
    case kText: {
      const std::string* s = std::get_if<std::string>(&v);
      if (!s) Mismatch(c, v);
      size_t units = AppendText(c, *s, (c.extra_flags & 0x01) != 0, out);
      if (layout_.text_char_bytes * units > c.length) {
        OutOfRange(c, "text of " + std::to_string(units) +
                          " characters is longer than the column's " +
                          std::to_string(c.length / layout_.text_char_bytes));
      }
      return;
    }
    case kMemo: {
      const std::string* s = std::get_if<std::string>(&v);
      if (!s) Mismatch(c, v);
      if (memo_used_ == memo_bytes_.size()) memo_bytes_.emplace_back();
      std::vector<uint8_t>& bytes = memo_bytes_[memo_used_++];
      bytes.clear();
      bool compress = (c.extra_flags & 0x01) != 0 && Utf16Length(*s) <= kMaxCompressedMemo;
      AppendText(c, *s, compress, bytes);
      EncodeLongValue(k, ByteView(bytes.data(), bytes.size()), allow_inline, out);
      return;
    }
    case kOle: {
      const Binary* b = std::get_if<Binary>(&v);
      if (!b) Mismatch(c, v);
      EncodeLongValue(k, ByteView(b->data(), b->size()), allow_inline, out);
      return;
    }
    default:
      break;
  }
  size_t size = FixedValueSize(c.type);
  if (size > 0) {
    // A fixed-size type kept in a variable slot (altered tables).
    size_t at = out.size();
    out.resize(at + size, 0);
    EncodeFixed(c, v, out.data() + at);
    return;
  }
  // BINARY, and types this engine does not know: raw bytes.
  const Binary* b = std::get_if<Binary>(&v);
  if (!b) Mismatch(c, v);
  if (c.type == kBinary && b->size() > c.length) {
    OutOfRange(c, std::to_string(b->size()) + " bytes are more than the column's " +
                      std::to_string(c.length));
  }
  out.insert(out.end(), b->begin(), b->end());
}

void RowEncoder::EncodeLongValue(size_t k, ByteView data, bool allow_inline,
                                 std::vector<uint8_t>& out) {
  const Column& c = table_.columns[k];
  if (data.size() > LongValueWriter::kMaxLength) {
    OutOfRange(c, "a value of " + std::to_string(data.size()) +
                      " bytes is larger than the 1 GB a MEMO or OLE value can hold");
  }
  if (allow_inline && data.size() <= LongValueWriter::kMaxInline) {
    AppendInlineLongValue(data, out);
    inline_long_values_ = true;
    return;
  }
  if (!WriterFor(k)) {
    throw JetError(error_numbers::kNotSupported,
                   ColumnText(c) + ": no long-value writer was given for its values");
  }
  pending_.push_back(Pending{k, out.size(), data});
  out.resize(out.size() + LongValueWriter::kFieldSize, 0);
}

size_t RowEncoder::AppendText(const Column& c, const std::string& s, bool may_compress,
                              std::vector<uint8_t>& out) {
  if (layout_.unicode_text) return AppendUnicodeText(s, may_compress, units_, out);
  const size_t before = out.size();
  const uint16_t code_page = c.code_page ? c.code_page : table_.text_code_page;
  if (std::optional<uint32_t> refused = AppendCodePageText(s, code_page, out)) {
    throw JetError(error_numbers::kOutOfRange,
                   ColumnText(c) + " cannot take " + NotInCodePage(*refused, code_page) +
                       ". Leave the character out, or use an Access 2000 or later file.");
  }
  return out.size() - before;
}

bool RowEncoder::AppendByteOffsets(std::vector<uint8_t>& out) {
  // One jump entry per 256-byte boundary the whole row crosses; the count
  // depends on the row's length, which depends on the count.
  const size_t eod = out.size();
  const size_t base = eod + 1 + var_count_ + 1 + mask_bytes_;
  size_t jumps = 0;
  while ((base + jumps - 1) / 256 != jumps) jumps = (base + jumps - 1) / 256;
  row_size_ = base + jumps;
  if (row_size_ > layout_.max_row_size) return false;
  // Boundaries the offsets reach; a last entry beyond them is a placeholder,
  // and readers allow only one such.
  const size_t reached = eod / 256;
  if (jumps > reached + 1) {
    throw JetError(error_numbers::kNotSupported,
                   "The row has too many variable-length columns for its length to be "
                   "stored in an Access 97 table. Leave some of them empty.");
  }
  // Entry j of the jump table: the first offset (end of data counting as the
  // last) at or beyond (j + 1) * 256.
  auto offset = [&](size_t i) -> size_t { return i < var_count_ ? offsets_[i] : eod; };
  std::vector<uint8_t>& jump = jump_;
  jump.assign(jumps, 0xFF);
  size_t i = 0;
  for (size_t j = 0; j < reached; ++j) {
    while (offset(i) < (j + 1) * 256) ++i;
    jump[j] = static_cast<uint8_t>(i);
  }
  out.push_back(static_cast<uint8_t>(eod));
  for (size_t k = var_count_; k-- > 0;) out.push_back(static_cast<uint8_t>(offsets_[k]));
  for (size_t j = jumps; j-- > 0;) out.push_back(jump[j]);
  out.push_back(static_cast<uint8_t>(var_count_));
  return true;
}

}  // namespace jet
