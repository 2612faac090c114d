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

// The codes of the characters 0x00..0x7F in the two sort orders of LCID
// 0x0409, one entry a character: "S" and hex bytes for a character that
// enters the key as those bytes, "U" and a hex code for one of the
// "unprintable" kind (kept apart, after the text), "X" for one that cannot
// be keyed. They agree with every index entry of the Access-made files we
// hold (letters, digits, blank, ( ) . _ ~ ' - and control 0x03), and with the
// tables other implementations publish for the rest.
const char* const kGeneralLegacyCodes[128] = {
    "X",     "U3",   "U4",   "U5",    "U6",    "U7",    "U8",    "U9",     // 0x00
    "UA",    "S803", "S804", "S805",  "S806",  "S807",  "UB",    "UC",     // 0x08
    "UD",    "UE",   "UF",   "U10",   "U11",   "U12",   "U13",   "U14",    // 0x10
    "U15",   "U16",  "U17",  "U18",   "U19",   "U1A",   "U1B",   "U1C",    // 0x18
    "S7",    "S9",   "SA",   "SC",    "SE",    "S10",   "S12",   "U80",    // 0x20
    "S14",   "S16",  "S18",  "S2C",   "S1A",   "U82",   "S1C",   "S1E",    // 0x28
    "S36",   "S38",  "S3A",  "S3C",   "S3E",   "S40",   "S42",   "S44",    // 0x30
    "S46",   "S48",  "S20",  "S22",   "S2E",   "S30",   "S32",   "S24",    // 0x38
    "S26",   "S4A",  "S4C",  "S4D",   "S4F",   "S51",   "S53",   "S55",    // 0x40
    "S57",   "S59",  "S5B",  "S5C",   "S5E",   "S60",   "S62",   "S64",    // 0x48
    "S66",   "S68",  "S69",  "S6B",   "S6D",   "S6F",   "S71",   "S73",    // 0x50
    "S75",   "S76",  "S78",  "S27",   "S29",   "S2A",   "S2B02", "S2B03",  // 0x58
    "S2B07", "S4A",  "S4C",  "S4D",   "S4F",   "S51",   "S53",   "S55",    // 0x60
    "S57",   "S59",  "S5B",  "S5C",   "S5E",   "S60",   "S62",   "S64",    // 0x68
    "S66",   "S68",  "S69",  "S6B",   "S6D",   "S6F",   "S71",   "S73",    // 0x70
    "S75",   "S76",  "S78",  "S2B09", "S2B0B", "S2B0D", "S2B0F", "U1D",    // 0x78
};

const char* const kGeneralCodes[128] = {
    "X",    "U3",   "U4",   "U5",   "U6",   "U7",   "U8",   "U9",    // 0x00
    "UA",   "S705", "S706", "S707", "S708", "S709", "UB",   "UC",    // 0x08
    "UD",   "UE",   "UF",   "U10",  "U11",  "U12",  "U13",  "U14",   // 0x10
    "U15",  "U16",  "U17",  "U18",  "U19",  "U1A",  "U1B",  "U1C",   // 0x18
    "S702", "S71C", "S71D", "S71F", "S721", "S723", "S725", "U80",   // 0x20
    "S727", "S72A", "S72D", "S803", "S72F", "U82",  "S733", "S735",  // 0x28
    "SD17", "SD19", "SD1A", "SD1B", "SD1C", "SD1D", "SD1E", "SD1F",  // 0x30
    "SD20", "SD21", "S737", "S73A", "S80E", "S812", "S814", "S73C",  // 0x38
    "S73E", "SE02", "SE09", "SE0A", "SE1A", "SE21", "SE23", "SE25",  // 0x40
    "SE2C", "SE32", "SE35", "SE36", "SE48", "SE51", "SE70", "SE7C",  // 0x48
    "SE7E", "SE89", "SE8A", "SE91", "SE99", "SE9F", "SEA2", "SEA4",  // 0x50
    "SEA6", "SEA7", "SEA9", "S73F", "S741", "S742", "S743", "S744",  // 0x58
    "S748", "SE02", "SE09", "SE0A", "SE1A", "SE21", "SE23", "SE25",  // 0x60
    "SE2C", "SE32", "SE35", "SE36", "SE48", "SE51", "SE70", "SE7C",  // 0x68
    "SE7E", "SE89", "SE8A", "SE91", "SE99", "SE9F", "SEA2", "SEA4",  // 0x70
    "SEA6", "SEA7", "SEA9", "S74A", "S74C", "S74E", "S750", "U1D",   // 0x78
};

int HexDigit(char c) {
  return c <= '9' ? c - '0' : c - 'A' + 10;
}

CodeTable MakeTable(const char* const (&lines)[128]) {
  CodeTable t;
  for (size_t c = 0; c < 128; ++c) {
    const char* line = lines[c];
    CharCode& code = t[c];
    if (line[0] == 'X') continue;
    const size_t digits = std::strlen(line + 1);
    size_t at = 1;
    if (line[0] == 'U') {
      code.kind = CharCode::kUnprintable;
      code.length = 1;
      code.bytes[0] = static_cast<uint8_t>(
          digits == 1 ? HexDigit(line[1]) : HexDigit(line[1]) * 16 + HexDigit(line[2]));
      continue;
    }
    code.kind = CharCode::kSimple;
    // An odd digit count starts with a one-digit byte ("S7" is 07).
    if (digits % 2 == 1) {
      code.bytes[code.length++] = static_cast<uint8_t>(HexDigit(line[at]));
      at += 1;
    }
    while (line[at] && code.length < 2) {
      code.bytes[code.length++] =
          static_cast<uint8_t>(HexDigit(line[at]) * 16 + HexDigit(line[at + 1]));
      at += 2;
    }
  }
  return t;
}

// General Legacy: one byte for most characters.
CodeTable MakeGeneralLegacy() {
  return MakeTable(kGeneralLegacyCodes);
}

// General (2010 and later): two bytes a character.
CodeTable MakeGeneral() {
  return MakeTable(kGeneralCodes);
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
