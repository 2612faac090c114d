#include "jet/property_blob.h"

#include <cstring>

#include "jet/long_value.h"
#include "jet/text_codec.h"

namespace jet {
namespace {

constexpr uint16_t kNamesChunk = 0x80;
constexpr uint16_t kObjectChunk = 0x00;
constexpr uint16_t kColumnChunk = 0x01;
constexpr size_t kChunkHeader = 6;
constexpr size_t kEntryHeader = 8;

[[noreturn]] void BadBlob(const std::string& what) {
  ThrowCorrupt("a property blob " + what);
}

// The name at `offset` of `chunk` (u16 byte length + bytes); `offset` moves past it.
std::string ReadName(ByteView chunk, size_t& offset, bool unicode, uint16_t code_page) {
  if (!chunk.Contains(offset, 2)) BadBlob("ends inside a name");
  uint16_t length = chunk.U16(offset);
  if (!chunk.Contains(offset + 2, length)) BadBlob("has a name longer than its chunk");
  std::string name;
  ByteView bytes = chunk.Sub(offset + 2, length);
  if (unicode) {
    Ucs2ToUtf8(bytes, name);
  } else {
    DecodeCodePageText(bytes, code_page, name);
  }
  offset += 2 + length;
  return name;
}

// A column type a calculated column's result can have.
bool IsResultType(int64_t type) {
  switch (type) {
    case kBool:
    case kByte:
    case kInt:
    case kLong:
    case kMoney:
    case kFloat:
    case kDouble:
    case kDateTime:
    case kText:
    case kMemo:
    case kGuid:
    case kNumeric:
    case kBigInt:
    case kExtDateTime:
      return true;
    default:
      return false;
  }
}

}  // namespace

const Property* PropertySet::Find(const std::string& wanted) const {
  for (const Property& p : properties)
    if (p.name == wanted) return &p;
  const std::string folded = UpperCaseName(wanted);
  for (const Property& p : properties)
    if (UpperCaseName(p.name) == folded) return &p;
  return nullptr;
}

std::vector<PropertySet> ParsePropertyBlob(ByteView blob, uint16_t code_page) {
  std::vector<PropertySet> sets;
  if (blob.empty()) return sets;
  if (blob.size() < 4) BadBlob("is too short for its signature");
  bool unicode;
  if (std::memcmp(blob.data(), "MR2\0", 4) == 0) {
    unicode = true;
  } else if (std::memcmp(blob.data(), "KKD\0", 4) == 0) {
    unicode = false;
  } else {
    BadBlob("has an unknown signature");
  }

  std::vector<std::string> names;
  size_t offset = 4;
  while (offset < blob.size()) {
    if (!blob.Contains(offset, kChunkHeader)) BadBlob("ends inside a chunk header");
    uint32_t length = blob.U32(offset);
    uint16_t kind = blob.U16(offset + 4);
    if (length < kChunkHeader || !blob.Contains(offset, length))
      BadBlob("has a chunk of " + std::to_string(length) + " bytes at offset " +
              std::to_string(offset) + ", which does not fit");
    ByteView chunk = blob.Sub(offset, length);
    offset += length;

    if (kind == kNamesChunk) {
      size_t at = kChunkHeader;
      while (at < chunk.size()) names.push_back(ReadName(chunk, at, unicode, code_page));
      continue;
    }
    // Chunks of other kinds carry nothing a reader needs.
    if (kind != kObjectChunk && kind != kColumnChunk) continue;

    PropertySet set;
    set.kind = kind;
    if (!chunk.Contains(kChunkHeader, 4)) BadBlob("ends inside a name block");
    uint32_t name_block = chunk.U32(kChunkHeader);
    if (name_block < 6 || !chunk.Contains(kChunkHeader, name_block))
      BadBlob("has a name block that does not fit its chunk");
    ByteView block = chunk.Sub(kChunkHeader, name_block);
    size_t at = 4;
    set.name = ReadName(block, at, unicode, code_page);
    at = kChunkHeader + name_block;
    while (at < chunk.size()) {
      if (!chunk.Contains(at, kEntryHeader)) BadBlob("ends inside a property");
      uint16_t entry_length = chunk.U16(at);
      uint16_t name_index = chunk.U16(at + 4);
      uint16_t value_length = chunk.U16(at + 6);
      if (entry_length < kEntryHeader || !chunk.Contains(at, entry_length) ||
          value_length > entry_length - kEntryHeader)
        BadBlob("has a property whose length does not fit (column '" + set.name + "')");
      if (name_index >= names.size())
        BadBlob("names property " + std::to_string(name_index) + " of " +
                std::to_string(names.size()));
      Property p;
      p.name = names[name_index];
      p.ddl = (chunk.U8(at + 2) & 0x01) != 0;
      p.type = chunk.U8(at + 3);
      ByteView value = chunk.Sub(at + kEntryHeader, value_length);
      p.value.assign(value.data(), value.data() + value.size());
      set.properties.push_back(std::move(p));
      at += entry_length;
    }
    sets.push_back(std::move(set));
  }
  return sets;
}

bool IntegerValue(const Property& p, int64_t& out) {
  ByteView v(p.value.data(), p.value.size());
  if (p.type == kByte && v.size() == 1) {
    out = v.U8(0);
  } else if (p.type == kInt && v.size() == 2) {
    out = static_cast<int16_t>(v.U16(0));
  } else if (p.type == kLong && v.size() == 4) {
    out = static_cast<int32_t>(v.U32(0));
  } else {
    return false;
  }
  return true;
}

std::vector<uint8_t> EncodePropertyBlob(const std::vector<PropertySet>& sets, uint16_t code_page) {
  std::vector<std::string> names;
  auto name_index = [&](const std::string& name) {
    for (size_t k = 0; k < names.size(); ++k)
      if (names[k] == name) return static_cast<uint16_t>(k);
    names.push_back(name);
    return static_cast<uint16_t>(names.size() - 1);
  };
  std::vector<uint16_t> units;
  std::vector<uint8_t> ucs2;
  auto put16 = [](std::vector<uint8_t>& out, size_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto put32 = [](std::vector<uint8_t>& out, size_t v) {
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
  };
  auto set32 = [](std::vector<uint8_t>& out, size_t at, size_t v) {
    for (int k = 0; k < 4; ++k) out[at + k] = static_cast<uint8_t>(v >> (8 * k));
  };
  auto put_name = [&](std::vector<uint8_t>& out, const std::string& name) {
    ucs2.clear();
    if (code_page == 0) {
      units.clear();
      Utf8ToUtf16(name, units);
      AppendUcs2(units.data(), units.size(), ucs2);
    } else if (std::optional<uint32_t> refused = AppendCodePageText(name, code_page, ucs2)) {
      throw JetError(error_numbers::kNotSupported, "The name '" + name + "' holds " +
                                                       NotInCodePage(*refused, code_page) +
                                                       ": choose another name.");
    }
    put16(out, ucs2.size());
    out.insert(out.end(), ucs2.begin(), ucs2.end());
  };

  std::vector<uint8_t> values;
  for (const PropertySet& set : sets) {
    const size_t start = values.size();
    put32(values, 0);
    put16(values, set.kind);
    const size_t block = values.size();
    put32(values, 0);
    put_name(values, set.name);
    set32(values, block, values.size() - block);
    for (const Property& p : set.properties) {
      put16(values, kEntryHeader + p.value.size());
      values.push_back(p.ddl ? 0x01 : 0x00);
      values.push_back(p.type);
      put16(values, name_index(p.name));
      put16(values, p.value.size());
      values.insert(values.end(), p.value.begin(), p.value.end());
    }
    set32(values, start, values.size() - start);
  }

  std::vector<uint8_t> blob = {'M', 'R', '2', 0};
  if (code_page != 0) blob = {'K', 'K', 'D', 0};
  put32(blob, 0);
  put16(blob, kNamesChunk);
  for (const std::string& n : names) put_name(blob, n);
  set32(blob, 4, blob.size() - 4);
  blob.insert(blob.end(), values.begin(), values.end());
  return blob;
}

PropertySet RequiredColumnProperties(const std::string& name) {
  PropertySet set;
  set.kind = kColumnChunk;
  set.name = name;
  set.properties.push_back(Property{"Required", kBool, true, {1}});
  return set;
}

void ApplyColumnProperties(const std::vector<PropertySet>& sets, TableDefinition& table) {
  for (Column& c : table.columns) {
    // Column names are unique ignoring case, so the folded match is the column.
    const PropertySet* found = nullptr;
    for (const PropertySet& s : sets) {
      if (s.kind != kColumnChunk) continue;
      if (s.name == c.name) {
        found = &s;
        break;
      }
      if (!found && UpperCaseName(s.name) == UpperCaseName(c.name)) found = &s;
    }
    if (!found) continue;
    if (const Property* r = found->Find("Required"))
      c.required = !r->value.empty() && r->value[0] != 0;
    if (!c.IsCalculated()) continue;
    const Property* p = found->Find("ResultType");
    if (!p) continue;
    int64_t type = 0;
    if (!IntegerValue(*p, type))
      ThrowCorrupt("the result type of column '" + c.name + "' is not a small integer");
    if (type == 0) continue;
    if (!IsResultType(type))
      ThrowCorrupt("column '" + c.name + "' claims result type " + std::to_string(type) +
                   ", which a calculated column cannot have");
    c.result_type = static_cast<uint8_t>(type);
  }
}

void ReadColumnProperties(PageSource& file, const Header& header, ByteView lv_prop,
                          TableDefinition& table) {
  if (lv_prop.empty()) return;
  bool calculated = false;
  for (const Column& c : table.columns) calculated = calculated || c.IsCalculated();
  std::vector<uint8_t> blob;
  try {
    ReadLongValue(file, header.IsJet3(), lv_prop, blob);
    ApplyColumnProperties(ParsePropertyBlob(ByteView(blob.data(), blob.size()), header.code_page),
                          table);
  } catch (const JetError&) {
    // Without calculated columns the blob only tells which columns are
    // required, which matters to writers alone: a damaged one must not make
    // the table unreadable.
    if (calculated) throw;
  }
}

}  // namespace jet
