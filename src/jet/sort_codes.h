// The character codes of the text sort orders this engine builds keys in:
// General Legacy and General (Jet4/ACE, LCID 0x0409 versions 0 and 1) and
// General 97 (Jet3). The tables themselves are generated into
// sort_tables_*.cpp by scripts/make-sort-tables.py.
#pragma once

#include <cstddef>
#include <cstdint>

namespace jet {

// How a character takes part in a text key.
enum class SortKind : uint8_t {
  kIgnored = 0,           // leaves no trace
  kSimple = 1,            // inline bytes only
  kInternational = 2,     // inline bytes and an extra (accent) byte
  kUnprintable = 3,       // no inline bytes; a record after the text
  kUnprintableExt = 4,    // adds a modifier to the previous extra byte
  kInternationalExt = 5,  // inline bytes, maybe an extra byte, and a 2-bit flag
  kSignificant = 6,       // General 97: inline bytes, counted for the extra codes
  kSurrogate = 7,         // half of a pair beyond U+FFFF: computed inline bytes
};

// The code of one UTF-16 unit in one sort order.
struct SortCode {
  SortKind kind = SortKind::kIgnored;
  uint8_t inline_length = 0;
  uint8_t extra_length = 0;  // international: extra bytes; unprintable: its code bytes
  uint8_t flag = 0;          // international-ext: 2 or 3; unprintable-ext: the modifier
  uint8_t inline_bytes[15] = {};
  uint8_t extra_bytes[4] = {};
};

// The three orders.
enum class SortOrder : uint8_t { kGeneralLegacy, kGeneral, kGeneral97 };

// The code of UTF-16 unit `unit` in `order`.
SortCode SortCodeOf(SortOrder order, uint16_t unit);

// A character beyond U+00FF that General 97 sorts as a byte of U+0080..U+00FF.
struct General97Mapping {
  uint16_t from;
  uint8_t to;
};

// The generated tables (see scripts/make-sort-tables.py for the record layout).
extern const char kGeneralLegacyRecords[];
extern const size_t kGeneralLegacyRecordBytes;
extern const char kGeneralRecords[];
extern const size_t kGeneralRecordBytes;
extern const char kGeneral97Records[];
extern const size_t kGeneral97RecordBytes;
extern const General97Mapping kGeneral97Mappings[];
extern const size_t kGeneral97MappingCount;

}  // namespace jet
