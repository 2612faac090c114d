#include "jet/index_key.h"

#include <cstring>

#include "jet/code_page_tables.h"
#include "jet/error.h"
#include "jet/sort_codes.h"
#include "jet/text_codec.h"

namespace jet {
namespace {

[[noreturn]] void Refuse(const std::string& what) {
  throw JetError(error_numbers::kNotSupported, what);
}

[[noreturn]] void WrongKind(const Column& c) {
  Refuse("Column '" + c.name + "' holds a value that does not match its type: correct the value.");
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
  WrongKind(c);
}

double DoubleOf(const Value& v, const Column& c) {
  if (const double* d = std::get_if<double>(&v)) return *d;
  if (const int64_t* i = std::get_if<int64_t>(&v)) return static_cast<double>(*i);
  WrongKind(c);
}

void AppendValue(const Column& c, const Value& v, bool ascending, bool jet3, uint16_t code_page,
                 std::vector<uint8_t>& out) {
  const size_t start = out.size();
  switch (c.type) {
    case kBool: {
      const bool* b = std::get_if<bool>(&v);
      if (!b) WrongKind(c);
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
      if (!g) WrongKind(c);
      AppendGrouped(out, g->bytes.data(), g->bytes.size(), ascending);
      return;
    }
    case kBinary: {
      const Binary* b = std::get_if<Binary>(&v);
      if (!b) WrongKind(c);
      AppendGrouped(out, b->data(), b->size(), ascending);
      return;
    }
    case kText:
    case kMemo: {
      const std::string* s = std::get_if<std::string>(&v);
      if (!s) WrongKind(c);
      AppendTextKey(*s, c, ascending, jet3, out, code_page);
      return;  // text handles its own direction
    }
    default:
      Refuse("Column '" + c.name + "' is indexed, and this program cannot yet keep an index " +
             "of its type in order: remove that index in Access, or change the table there.");
  }
  if (!ascending) AppendInverted(out, start);
}

}  // namespace

namespace {

// Access's words for the sort orders of other languages, by LCID.
std::string SortOrderName(uint16_t lcid) {
  static const struct {
    uint16_t lcid;
    const char* name;
  } kNames[] = {
      {0x0401, "Arabic"},
      {0x0404, "Chinese Stroke Count"},
      {0x0405, "Czech"},
      {0x0406, "Norwegian/Danish"},
      {0x0408, "Greek"},
      {0x040A, "Spanish"},
      {0x040B, "Swedish/Finnish"},
      {0x040D, "Hebrew"},
      {0x040E, "Hungarian"},
      {0x040F, "Icelandic"},
      {0x0411, "Japanese"},
      {0x0412, "Korean"},
      {0x0413, "Dutch"},
      {0x0414, "Norwegian/Danish"},
      {0x0415, "Polish"},
      {0x0418, "Romanian"},
      {0x0419, "Cyrillic"},
      {0x041A, "Croatian"},
      {0x041B, "Slovak"},
      {0x041D, "Swedish/Finnish"},
      {0x041E, "Thai"},
      {0x041F, "Turkish"},
      {0x0424, "Slovenian"},
      {0x0425, "Estonian"},
      {0x0426, "Latvian"},
      {0x0427, "Lithuanian"},
      {0x042A, "Vietnamese"},
      {0x0804, "Chinese Punctuation"},
  };
  std::string name = "an unnamed";
  for (const auto& n : kNames) {
    if (n.lcid == lcid) name = std::string("the ") + n.name;
  }
  return name + " sort order (language code " + std::to_string(lcid) + ")";
}

// General 97 has a code for each byte of code page 1252, and this engine
// keys a character by the 1252 byte that holds it. Text of another code page
// is keyed alike only where its character sits at that same byte (ASCII, and
// for example most of Latin-1 in 1250 and 1254); for any other character the
// key Access 97 builds from the file's bytes is not known here, so writing it
// is refused rather than given a key Access would not find the row by. Text of
// a code page this program has no table for was read as 1252 and keys as such.
bool General97Keys(uint32_t character, uint16_t code_page) {
  if (character < 0x80 || code_page == 0 || code_page == 1252 ||
      FindCodePageTable(code_page) == nullptr)
    return true;
  const std::optional<uint8_t> own = CodePageByteOf(character, code_page);
  return own.has_value() && own == CodePageByteOf(character, 1252);
}

// The order a text column of a Jet4/ACE or Jet3 file sorts in.
SortOrder OrderOf(const Column& column, bool jet3) {
  // Jet3 files of the General order carry 0x0409; Jet4/ACE add a version.
  const bool general = column.sort_lcid == 0x0409 || (jet3 && column.sort_lcid == 0);
  if (general && jet3) return SortOrder::kGeneral97;
  if (general && column.sort_version <= 1)
    return column.sort_version == 0 ? SortOrder::kGeneralLegacy : SortOrder::kGeneral;
  throw JetError(error_numbers::kNotSupported,
                 "Text in this database is sorted in " +
                     (general ? "a newer General sort order (version " +
                                    std::to_string(column.sort_version) + ")"
                              : SortOrderName(column.sort_lcid)) +
                     ", which this program cannot keep in order when it changes the file. "
                     "To change this database here, set its sort order to General in Access "
                     "(the new database sort order, then Compact and Repair).");
}

// The units a key is built from: at most 255, without trailing blanks.
void KeyUnits(const std::string& text, std::vector<uint16_t>& units) {
  Utf8ToUtf16(text, units);
  if (units.size() > 255) units.resize(255);
  while (!units.empty() && units.back() == ' ') units.pop_back();
}

// General Legacy and General: the inline codes, then the accents, the
// "unprintable" characters and the flags of some characters past U+00FF.
void AppendUnicodeTextKey(const std::vector<uint16_t>& units, SortOrder order,
                          std::vector<uint8_t>& out) {
  std::vector<uint8_t> extras;  // one accent byte a keyed character, 02 when none
  uint32_t extras_chars = 0;    // keyed characters `extras` covers
  uint32_t extras_lead = 0;     // a modifier written before any accent
  bool have_extras = false;
  std::vector<uint8_t> unprintables;  // 4-byte records
  std::vector<uint8_t> flags;         // 2 or 3 a character that has one
  uint32_t keyed = 0;                 // characters with inline bytes so far
  for (uint16_t unit : units) {
    const SortCode code = SortCodeOf(order, unit);
    const uint32_t position = keyed;
    if (code.inline_length > 0) {
      out.insert(out.end(), code.inline_bytes, code.inline_bytes + code.inline_length);
      ++keyed;
    }
    if (code.kind == SortKind::kSimple || code.kind == SortKind::kIgnored) continue;

    const bool accent = code.kind != SortKind::kUnprintable && code.extra_length > 0;
    const bool modifier = code.kind == SortKind::kUnprintableExt && code.flag != 0;
    if (accent || modifier) {
      have_extras = true;
      if (extras_chars < position) {
        extras.insert(extras.end(), position - extras_chars, 0x02);
        extras_chars = position;
      }
      if (accent) {
        extras.insert(extras.end(), code.extra_bytes, code.extra_bytes + code.extra_length);
        ++extras_chars;
      } else if (!extras.empty()) {
        extras.back() = static_cast<uint8_t>(extras.back() + code.flag);
      } else {
        extras.push_back(code.flag);
        extras_lead = 1;
      }
    }
    if (code.kind == SortKind::kUnprintable) {
      // The record names where the character stood, counted in accent bytes
      // once there are any.
      uint32_t at = position;
      if (have_extras)
        at = static_cast<uint32_t>(extras.size()) + (position - extras_chars) - extras_lead;
      const uint32_t where = 0x8000 | (7 + 4 * at);
      unprintables.push_back(static_cast<uint8_t>(where >> 8));
      unprintables.push_back(static_cast<uint8_t>(where));
      unprintables.push_back(0x06);
      unprintables.insert(unprintables.end(), code.extra_bytes,
                          code.extra_bytes + code.extra_length);
    }
    if (code.kind == SortKind::kInternationalExt) flags.push_back(code.flag);
  }
  out.push_back(0x01);
  // Trailing "no accent" bytes say nothing.
  while (!extras.empty() && extras.back() <= 0x02) extras.pop_back();
  out.insert(out.end(), extras.begin(), extras.end());
  if (unprintables.empty() && flags.empty()) return;
  out.insert(out.end(), {0x01, 0x01});
  if (!flags.empty()) {
    while (!flags.empty() && flags.back() == 0x03) flags.pop_back();
    // Three 2-bit flags a byte, first in the high bits, under a 0x80 mark.
    for (size_t k = 0; k < flags.size(); k += 3) {
      uint8_t packed = 0x80;
      for (size_t j = 0; j < 3 && k + j < flags.size(); ++j)
        packed |= static_cast<uint8_t>(flags[k + j] << (2 * (2 - j)));
      out.push_back(packed);
    }
    out.insert(out.end(), {0xFF, 0x02, 0x80, 0xFF, 0x80});
    if (!unprintables.empty()) out.push_back(0xFF);
  }
  if (!unprintables.empty()) {
    out.push_back(0x01);
    out.insert(out.end(), unprintables.begin(), unprintables.end());
  }
}

// General 97: the inline codes, then the accents as 4-bit codes between two
// zero nibbles, each preceded by a 2 for every plain letter since the last.
void AppendGeneral97TextKey(const std::vector<uint16_t>& units, std::vector<uint8_t>& out) {
  std::vector<uint8_t> nibbles;
  uint32_t plain = 0;
  for (uint16_t unit : units) {
    const SortCode code = SortCodeOf(SortOrder::kGeneral97, unit);
    out.insert(out.end(), code.inline_bytes, code.inline_bytes + code.inline_length);
    if (code.kind == SortKind::kSignificant) {
      ++plain;
    } else if (code.kind == SortKind::kSimple && code.inline_length > 1) {
      // A ligature (Æ, Œ, ß) counts as the letters it sorts as.
      plain += code.inline_length;
    } else if (code.kind == SortKind::kInternational && code.extra_length > 0) {
      if (nibbles.empty()) nibbles.push_back(0);
      nibbles.insert(nibbles.end(), plain, 0x02);
      nibbles.push_back(code.extra_bytes[0] & 0x0F);
      plain = 0;
    }
  }
  if (nibbles.empty()) {
    out.push_back(0x00);
    return;
  }
  nibbles.push_back(0);
  for (size_t k = 0; k < nibbles.size(); k += 2) {
    const uint8_t low = k + 1 < nibbles.size() ? nibbles[k + 1] : 0;
    out.push_back(static_cast<uint8_t>(nibbles[k] << 4 | low));
  }
}

// Refuses a General 97 key of `units` that this engine cannot build (see
// FirstUnkeyedGeneral97Character).
void CheckGeneral97CodePage(const std::vector<uint16_t>& units, uint16_t code_page,
                            const Column& column) {
  for (uint16_t unit : units) {
    if (unit < 0x80 || General97Keys(unit, code_page)) continue;
    Refuse("Column '" + column.name + "' is indexed, and this program cannot key " +
           DescribeCharacter(unit) + " the way Access 97 sorts it in this file (" +
           CodePageNote(code_page) + "; the General order is known here for code page 1252 " +
           "only): leave the character out, or remove the index.");
  }
}

}  // namespace

void AppendTextKey(const std::string& text, const Column& column, bool ascending, bool jet3,
                   std::vector<uint8_t>& out, uint16_t code_page) {
  const SortOrder order = OrderOf(column, jet3);
  std::vector<uint16_t> units;
  try {
    KeyUnits(text, units);
  } catch (const JetError&) {
    Refuse("Column '" + column.name + "' holds text that is not valid: correct the value.");
  }
  const size_t start = out.size();
  if (order == SortOrder::kGeneral97) {
    CheckGeneral97CodePage(units, code_page, column);
    AppendGeneral97TextKey(units, out);
    if (!ascending) AppendInverted(out, start);
    return;
  }
  AppendUnicodeTextKey(units, order, out);
  if (!ascending) {
    out.push_back(0x00);
    AppendInverted(out, start);
  }
  out.push_back(0x00);
}

std::optional<uint32_t> FirstUnkeyedGeneral97Character(std::string_view text, uint16_t code_page) {
  uint32_t high = 0;
  std::vector<uint16_t> units;
  Utf8ToUtf16(text, units);
  for (uint16_t u : units) {
    if (u >= 0xD800 && u < 0xDC00) {
      high = u;
      continue;
    }
    const uint32_t c = high != 0 ? 0x10000 + ((high - 0xD800) << 10) + (u - 0xDC00u) : u;
    high = 0;
    if (!General97Keys(c, code_page)) return c;
  }
  return std::nullopt;
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
    AppendValue(c, v, ic.ascending, jet3, c.code_page ? c.code_page : table.text_code_page, key);
  }
  return key;
}

}  // namespace jet
