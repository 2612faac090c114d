// Object properties: the LvProp blob of a catalogue row.
//
// The blob holds what Access shows as field and table properties (formats,
// captions, descriptions, and for calculated columns their expression and the
// type of their result). It is an OLE long value of the object's MSysObjects
// row, laid out as:
//
//   0..3    "MR2\0" (Jet4, ACE: names are UCS-2) or "KKD\0" (Jet3: names are
//           in the database's code page)
//   then chunks up to the end of the blob:
//     u32   chunk length, these 6 header bytes included
//     u16   chunk kind: 0x80 the property names, 0x00 the properties of the
//           object itself, 0x01 the properties of one of its columns
//   names chunk:  u16 byte length + name, repeated to the end of the chunk;
//                 the properties below refer to a name by its place in it
//   value chunk:  u32 length of the name block (these 4 bytes included),
//                 u16 byte length + name of the object or column, then
//                 entries to the end of the chunk:
//                   u16   entry length, these 8 header bytes included
//                   u8    flags (0x01: set through DDL)
//                   u8    data type of the value (a column type code)
//                   u16   index of the property's name in the names chunk
//                   u16   value length, then the value as a column of that
//                         type stores it (text as UCS-2 or code-page bytes)
//
// A calculated column's result type is its property "ResultType", a Byte
// holding a column type code; 0 (ordinary columns carry it too) or no such
// property means the descriptor's type stands. A column that must hold a
// value (NOT NULL) has "Required", a Yes/No of one byte, 1, set through DDL;
// Access stores 0 there for the others.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/bytes.h"
#include "jet/header.h"
#include "jet/page_file.h"
#include "jet/table_definition.h"

namespace jet {

// One property: its name, the type its value is stored as, and the value.
struct Property {
  std::string name;
  uint8_t type = 0;
  bool ddl = false;
  std::vector<uint8_t> value;
};

// The properties of the object itself (kind 0x00) or of one column (0x01).
struct PropertySet {
  uint16_t kind = 0;
  std::string name;  // the column's name; for the object, often empty
  std::vector<Property> properties;

  // The property called `name` (exact spelling first, then ignoring case), or null.
  const Property* Find(const std::string& name) const;
};

// Every property set of `blob`, in blob order. An empty blob has none; damage
// (a wrong signature, a length past its chunk, a name index past the names) is
// a JetError. `code_page` decodes the names of Jet3 blobs.
std::vector<PropertySet> ParsePropertyBlob(ByteView blob, uint16_t code_page);

// The value of an integer property (Byte, Integer or Long of its exact size),
// or false when the property holds something else.
bool IntegerValue(const Property& p, int64_t& out);

// The blob holding `sets`; names are listed in the order the properties
// first use them. `code_page` 0 gives the Jet4/ACE form ("MR2", UCS-2
// names); a code page gives the Jet3 form ("KKD", names in that code page,
// where a name it cannot hold is a JetError).
std::vector<uint8_t> EncodePropertyBlob(const std::vector<PropertySet>& sets,
                                        uint16_t code_page = 0);

// The property set a new table's blob needs for its column `name` to be
// Required, as Access writes it for NOT NULL.
PropertySet RequiredColumnProperties(const std::string& name);

// Sets, from `sets`, the result type of each calculated column of `table`
// ("ResultType"; one no calculated column can have is a JetError) and which
// columns are required ("Required").
void ApplyColumnProperties(const std::vector<PropertySet>& sets, TableDefinition& table);

// Reads the table's property blob from `lv_prop`, the LvProp field of its
// catalogue row as stored (a long-value reference), and applies it to the
// columns of `table`. A table without a blob is left alone; a damaged blob
// is an error only where the table has calculated columns.
void ReadColumnProperties(PageSource& file, const Header& header, ByteView lv_prop,
                          TableDefinition& table);

}  // namespace jet
