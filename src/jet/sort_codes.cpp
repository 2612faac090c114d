#include "jet/sort_codes.h"

#include <algorithm>
#include <vector>

namespace jet {
namespace {

// Where each character's record starts, found by one walk over the records.
struct RecordIndex {
  const uint8_t* records;
  std::vector<uint32_t> starts;

  RecordIndex(const char* data, size_t bytes) : records(reinterpret_cast<const uint8_t*>(data)) {
    size_t at = 0;
    while (at < bytes) {
      starts.push_back(static_cast<uint32_t>(at));
      const uint8_t head = records[at];
      at += 1 + (head & 0x0F);
      switch (static_cast<SortKind>(head >> 4)) {
        case SortKind::kInternational:
        case SortKind::kUnprintable:
          at += 1 + records[at];
          break;
        case SortKind::kUnprintableExt:
          at += 1;
          break;
        case SortKind::kInternationalExt:
          at += 2 + records[at];
          break;
        default:
          break;
      }
    }
  }

  SortCode At(size_t k) const {
    SortCode code;
    const uint8_t* p = records + starts[k];
    code.kind = static_cast<SortKind>(p[0] >> 4);
    code.inline_length = p[0] & 0x0F;
    std::copy(p + 1, p + 1 + code.inline_length, code.inline_bytes);
    p += 1 + code.inline_length;
    switch (code.kind) {
      case SortKind::kInternational:
      case SortKind::kUnprintable:
        code.extra_length = p[0];
        std::copy(p + 1, p + 1 + p[0], code.extra_bytes);
        break;
      case SortKind::kUnprintableExt:
        code.flag = p[0];
        break;
      case SortKind::kInternationalExt:
        code.extra_length = p[0];
        std::copy(p + 1, p + 1 + p[0], code.extra_bytes);
        code.flag = p[1 + p[0]];
        break;
      default:
        break;
    }
    return code;
  }
};

// Halves of surrogate pairs are not tabled: their inline bytes follow from
// the unit, and each carries the extra byte 0x3F.
SortCode SurrogateCode(uint16_t unit) {
  uint32_t index;
  if (unit < 0xDC00) {
    index = unit - 10238u;
  } else {
    // Low halves step down by two at each block of 254 (the first block 8).
    const uint32_t offset = (unit - 0xDC00u) % 1024;
    const uint32_t shift = offset < 8 ? 9992 : 9990 - 2 * std::min<uint32_t>(3, (offset - 8) / 254);
    index = unit - shift;
  }
  SortCode code;
  code.kind = SortKind::kSurrogate;
  code.inline_length = 2;
  code.inline_bytes[0] = static_cast<uint8_t>(index >> 8);
  code.inline_bytes[1] = static_cast<uint8_t>(index);
  code.extra_length = 1;
  code.extra_bytes[0] = 0x3F;
  return code;
}

SortCode Unicode(const RecordIndex& table, uint16_t unit) {
  if (unit >= 0xD800 && unit < 0xE000) return SurrogateCode(unit);
  return table.At(unit < 0xD800 ? unit : unit - 0x800u);
}

// General 97 keys the code page's characters only; the Windows-1252
// characters beyond U+00FF sort as their byte, everything else is ignored.
SortCode General97(uint16_t unit) {
  static const RecordIndex table(kGeneral97Records, kGeneral97RecordBytes);
  if (unit <= 0xFF) return table.At(unit);
  const General97Mapping* end = kGeneral97Mappings + kGeneral97MappingCount;
  const General97Mapping* m =
      std::lower_bound(kGeneral97Mappings, end, unit,
                       [](const General97Mapping& a, uint16_t u) { return a.from < u; });
  if (m == end || m->from != unit) return SortCode{};
  return table.At(m->to);
}

}  // namespace

SortCode SortCodeOf(SortOrder order, uint16_t unit) {
  switch (order) {
    case SortOrder::kGeneralLegacy: {
      static const RecordIndex table(kGeneralLegacyRecords, kGeneralLegacyRecordBytes);
      return Unicode(table, unit);
    }
    case SortOrder::kGeneral: {
      static const RecordIndex table(kGeneralRecords, kGeneralRecordBytes);
      return Unicode(table, unit);
    }
    case SortOrder::kGeneral97:
      return General97(unit);
  }
  return SortCode{};
}

}  // namespace jet
