#include "jet/index_key.h"

#include <array>
#include <cstring>

#include "jet/error.h"

namespace jet {
namespace {

// How one ASCII character enters a text key.
struct CharCode {
  enum Kind : uint8_t { kUnknown, kSimple, kUnprintable } kind = kUnknown;
  uint8_t length = 0;  // simple: bytes of `bytes` used
  uint8_t bytes[2] = {0, 0};
};

using CodeTable = std::array<CharCode, 128>;

void Simple(CodeTable& t, char c, std::initializer_list<uint8_t> bytes) {
  CharCode& code = t[static_cast<unsigned char>(c)];
  code.kind = CharCode::kSimple;
  code.length = static_cast<uint8_t>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), code.bytes);
  if (c >= 'A' && c <= 'Z') t[static_cast<unsigned char>(c - 'A' + 'a')] = code;
}

void Unprintable(CodeTable& t, char c, uint8_t code) {
  CharCode& out = t[static_cast<unsigned char>(c)];
  out.kind = CharCode::kUnprintable;
  out.length = 1;
  out.bytes[0] = code;
}

// Characters both orders treat as unprintable, with the codes seen in files.
void CommonUnprintables(CodeTable& t) {
  Unprintable(t, '\'', 0x80);
  Unprintable(t, '-', 0x82);
  Unprintable(t, '\x03', 0x05);
}

// General Legacy: one byte for most characters.
CodeTable MakeGeneralLegacy() {
  CodeTable t;
  static const uint8_t kLetters[26] = {0x4A, 0x4C, 0x4D, 0x4F, 0x51, 0x53, 0x55, 0x57, 0x59,
                                       0x5B, 0x5C, 0x5E, 0x60, 0x62, 0x64, 0x66, 0x68, 0x69,
                                       0x6B, 0x6D, 0x6F, 0x71, 0x73, 0x75, 0x76, 0x78};
  for (int k = 0; k < 26; ++k) Simple(t, static_cast<char>('A' + k), {kLetters[k]});
  for (int d = 0; d < 10; ++d)
    Simple(t, static_cast<char>('0' + d), {static_cast<uint8_t>(0x36 + 2 * d)});
  Simple(t, ' ', {0x07});
  Simple(t, '(', {0x14});
  Simple(t, ')', {0x16});
  Simple(t, '.', {0x1C});
  Simple(t, '_', {0x2B, 0x03});
  Simple(t, '~', {0x2B, 0x0F});
  CommonUnprintables(t);
  return t;
}

// General (2010 and later): two bytes a character. 'Z' has not been seen in
// any index entry yet, so it is left unknown.
CodeTable MakeGeneral() {
  CodeTable t;
  static const uint8_t kLetters[25] = {0x02, 0x09, 0x0A, 0x1A, 0x21, 0x23, 0x25, 0x2C, 0x32,
                                       0x35, 0x36, 0x48, 0x51, 0x70, 0x7C, 0x7E, 0x89, 0x8A,
                                       0x91, 0x99, 0x9F, 0xA2, 0xA4, 0xA6, 0xA7};
  for (int k = 0; k < 25; ++k) Simple(t, static_cast<char>('A' + k), {0x0E, kLetters[k]});
  static const uint8_t kDigits[10] = {0x17, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F, 0x20, 0x21};
  for (int d = 0; d < 10; ++d) Simple(t, static_cast<char>('0' + d), {0x0D, kDigits[d]});
  Simple(t, ' ', {0x07, 0x02});
  Simple(t, '.', {0x07, 0x33});
  Simple(t, '_', {0x07, 0x44});
  CommonUnprintables(t);
  return t;
}

[[noreturn]] void Refuse(const std::string& what) {
  throw JetError(error_numbers::kNotSupported, what);
}

std::string Describe(unsigned char c) {
  if (c >= 0x20 && c < 0x7F) return std::string("'") + static_cast<char>(c) + "'";
  static const char* kHex = "0123456789ABCDEF";
  return std::string("0x") + kHex[c >> 4] + kHex[c & 15];
}

void AppendInverted(std::vector<uint8_t>& out, size_t from) {
  for (size_t i = from; i < out.size(); ++i) out[i] = static_cast<uint8_t>(~out[i]);
}

void AppendBigEndian(std::vector<uint8_t>& out, uint64_t v, int bytes) {
  for (int k = bytes - 1; k >= 0; --k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

// Signed integers: big-endian with the sign bit flipped, so they sort as bytes.
void AppendSigned(std::vector<uint8_t>& out, int64_t v, int bytes) {
  uint64_t u = static_cast<uint64_t>(v) ^ (uint64_t{1} << (8 * bytes - 1));
  AppendBigEndian(out, u, bytes);
}

// IEEE numbers: positive ones get the sign bit set, negative ones are inverted.
void AppendFloating(std::vector<uint8_t>& out, uint64_t bits, int bytes) {
  const uint64_t sign = uint64_t{1} << (8 * bytes - 1);
  bits = (bits & sign) ? ~bits : (bits | sign);
  AppendBigEndian(out, bits, bytes);
}

// Groups of 8 bytes, each followed by its length; the 9 that says "more
// follows" is written as is even in a descending column (Access does so).
void AppendGrouped(std::vector<uint8_t>& out, const uint8_t* data, size_t size, bool ascending) {
  const uint8_t flip = ascending ? 0x00 : 0xFF;
  for (size_t at = 0; at < size; at += 8) {
    size_t n = std::min<size_t>(8, size - at);
    for (size_t k = 0; k < 8; ++k) out.push_back((k < n ? data[at + k] : 0) ^ flip);
    out.push_back(at + n < size ? 9 : static_cast<uint8_t>(n ^ flip));
  }
}

int64_t IntegerOf(const Value& v, const Column& c) {
  if (const int64_t* i = std::get_if<int64_t>(&v)) return *i;
  Refuse("column '" + c.name + "' holds a value of the wrong kind for its index key");
}

double DoubleOf(const Value& v, const Column& c) {
  if (const double* d = std::get_if<double>(&v)) return *d;
  if (const int64_t* i = std::get_if<int64_t>(&v)) return static_cast<double>(*i);
  Refuse("column '" + c.name + "' holds a value of the wrong kind for its index key");
}

void AppendValue(const Column& c, const Value& v, bool ascending, bool jet3,
                 std::vector<uint8_t>& out) {
  const size_t start = out.size();
  switch (c.type) {
    case kBool: {
      const bool* b = std::get_if<bool>(&v);
      if (!b) Refuse("column '" + c.name + "' holds a value of the wrong kind for its index key");
      out.push_back(*b ? 0x00 : 0xFF);
      break;
    }
    case kByte:
      out.push_back(static_cast<uint8_t>(IntegerOf(v, c)));
      break;
    case kInt:
      AppendSigned(out, IntegerOf(v, c), 2);
      break;
    case kLong:
    case kComplex:
      AppendSigned(out, IntegerOf(v, c), 4);
      break;
    case kBigInt:
      AppendSigned(out, IntegerOf(v, c), 8);
      break;
    case kMoney: {
      const Money* m = std::get_if<Money>(&v);
      AppendSigned(out, m ? m->ten_thousandths : IntegerOf(v, c), 8);
      break;
    }
    case kFloat: {
      float f = static_cast<float>(DoubleOf(v, c));
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      AppendFloating(out, bits, 4);
      break;
    }
    case kDouble:
    case kDateTime: {
      const OleDate* date = std::get_if<OleDate>(&v);
      double d = date ? date->days : DoubleOf(v, c);
      uint64_t bits;
      std::memcpy(&bits, &d, 8);
      AppendFloating(out, bits, 8);
      break;
    }
    case kGuid: {
      const Guid* g = std::get_if<Guid>(&v);
      if (!g) Refuse("column '" + c.name + "' holds a value of the wrong kind for its index key");
      AppendGrouped(out, g->bytes.data(), g->bytes.size(), ascending);
      return;
    }
    case kBinary: {
      const Binary* b = std::get_if<Binary>(&v);
      if (!b) Refuse("column '" + c.name + "' holds a value of the wrong kind for its index key");
      AppendGrouped(out, b->data(), b->size(), ascending);
      return;
    }
    case kText:
    case kMemo: {
      const std::string* s = std::get_if<std::string>(&v);
      if (!s) Refuse("column '" + c.name + "' holds a value of the wrong kind for its index key");
      AppendTextKey(*s, c, ascending, jet3, out);
      return;  // text handles its own direction
    }
    default:
      Refuse("index keys of column '" + c.name + "' (type " + std::to_string(c.type) +
             ") cannot be built yet");
  }
  if (!ascending) AppendInverted(out, start);
}

}  // namespace

void AppendTextKey(const std::string& text, const Column& column, bool ascending, bool jet3,
                   std::vector<uint8_t>& out) {
  static const CodeTable kLegacy = MakeGeneralLegacy();
  static const CodeTable kGeneral = MakeGeneral();
  if (jet3) {
    Refuse("index keys of text in Access 97 files cannot be built yet (text '" + text + "')");
  }
  if (column.sort_lcid != 0x0409 || column.sort_version > 1) {
    Refuse("index keys of text in sort order " + std::to_string(column.sort_lcid) + " version " +
           std::to_string(column.sort_version) + " cannot be built yet (text '" + text + "')");
  }
  const CodeTable& table = column.sort_version == 0 ? kLegacy : kGeneral;
  const char* order = column.sort_version == 0 ? "General Legacy" : "General";

  // Only ASCII is encoded, so bytes are characters.
  size_t length = text.size();
  for (unsigned char c : text) {
    if (c >= 0x80) {
      Refuse("the index key of the text '" + text + "' cannot be built: only ASCII text is " +
             "encoded in the " + order + " sort order so far");
    }
  }
  if (length > 255) length = 255;
  while (length > 0 && text[length - 1] == ' ') --length;

  const size_t start = out.size();
  std::vector<uint8_t> records;
  uint32_t written = 0;  // characters with codes so far
  for (size_t k = 0; k < length; ++k) {
    unsigned char c = static_cast<unsigned char>(text[k]);
    const CharCode& code = table[c];
    switch (code.kind) {
      case CharCode::kSimple:
        out.insert(out.end(), code.bytes, code.bytes + code.length);
        ++written;
        break;
      case CharCode::kUnprintable: {
        uint32_t where = 0x8000 | (7 + 4 * written);
        records.push_back(static_cast<uint8_t>(where >> 8));
        records.push_back(static_cast<uint8_t>(where));
        records.push_back(0x06);
        records.push_back(code.bytes[0]);
        break;
      }
      case CharCode::kUnknown:
        out.resize(start);
        Refuse("the index key of the text '" + text + "' cannot be built: the character " +
               Describe(c) + " has no known code in the " + order + " sort order");
    }
  }
  out.push_back(0x01);
  if (!records.empty()) {
    out.insert(out.end(), {0x01, 0x01, 0x01});
    out.insert(out.end(), records.begin(), records.end());
  }
  if (!ascending) {
    out.push_back(0x00);
    AppendInverted(out, start);
  }
  out.push_back(0x00);
}

std::vector<uint8_t> EncodeIndexKey(const TableDefinition& table, const RealIndex& index,
                                    const std::vector<Value>& row, bool jet3) {
  std::vector<uint8_t> key;
  for (const IndexColumn& ic : index.columns) {
    size_t k = 0;
    while (k < table.columns.size() && table.columns[k].number != ic.column_number) ++k;
    if (k == table.columns.size() || k >= row.size()) {
      ThrowCorrupt("an index of the table at page " + std::to_string(table.page) +
                   " names column " + std::to_string(ic.column_number) + ", which it lacks");
    }
    const Column& c = table.columns[k];
    const Value& v = row[k];
    // Booleans are never null: their value lives in the null mask.
    if (std::holds_alternative<std::monostate>(v) && c.type != kBool) {
      key.push_back(ic.ascending ? 0x00 : 0xFF);
      continue;
    }
    key.push_back(ic.ascending ? 0x7F : 0x80);
    AppendValue(c, v, ic.ascending, jet3, key);
  }
  return key;
}

}  // namespace jet
