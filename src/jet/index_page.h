// Index pages (type 0x03 node, 0x04 leaf): the pages of an index's B-tree.
//
//   offset                         Jet3  Jet4/ACE
//   type, then 0x01                0     0
//   free bytes after entries (u16) 2     2
//   owning TDEF page (u32)         4     4
//   unknown (u32)                  -     8      kept as read, 0 on new pages
//   previous page, same level      8     12     0 = none
//   next page, same level          12    16     0 = none
//   tail page (u32)                16    20     nodes: a last child no entry names
//   shared prefix length           20    24     Jet3 u8, Jet4/ACE u16
//   node mark (u8)                 21    26     Access has 1 on nodes, 0 on leaves
//   entry bitmask                  22    27     226 / 453 bytes
//   first entry                    248   480
//
// Entries are packed one after another from the first-entry offset. Bit k of
// the bitmask (LSB first) is set when an entry ends k bytes after the first
// entry's start; the first entry starts at 0 and each later one where the one
// before ended. Every entry after the first leaves out the first `prefix
// length` bytes, which are those of the first entry.
//
//   leaf entry   key, data page (3 bytes BE), row (1 byte)
//   node entry   key, data page (3 bytes BE), row (1 byte), child page (4 bytes BE);
//                a copy of the last entry below that child
//
// Entries sort by the unsigned bytes of key + page + row. Pages written here
// always use prefix length 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/bytes.h"
#include "jet/data_page.h"
#include "jet/layout.h"

namespace jet {

// Page type bytes of index pages.
inline constexpr uint8_t kIndexNodePage = 0x03;
inline constexpr uint8_t kIndexLeafPage = 0x04;

// One entry of an index page: the key and the row it indexes (and, on node
// pages, the child page below it).
struct IndexEntry {
  std::vector<uint8_t> key;
  RowPointer row;
  uint32_t child = 0;  // node pages only

  // True when both name the same key and row (children are not compared).
  bool SameEntry(const IndexEntry& o) const {
    return key == o.key && row.page == o.row.page && row.row == o.row.row;
  }
};

// Orders entries as the index does, by the bytes of key + page + row:
// negative, zero or positive. Keys are self-delimiting, so equal keys of
// different rows sit next to each other.
int CompareEntries(const IndexEntry& a, const IndexEntry& b);

// One index page, decoded.
struct IndexPage {
  bool leaf = true;
  uint32_t owner = 0;  // the TDEF page of the table
  uint32_t prev = 0;
  uint32_t next = 0;
  uint32_t tail = 0;
  uint32_t unknown8 = 0;  // Jet4/ACE bytes 8..11, kept for rewriting
  std::vector<IndexEntry> entries;
};

// Bytes one entry takes on a page (uncompressed).
inline size_t EntrySize(const IndexEntry& e, bool leaf) {
  return e.key.size() + (leaf ? 4 : 8);
}

// Bytes of entries a page of `layout` can hold.
inline size_t IndexPageCapacity(const Layout& layout) {
  return layout.page_size - layout.index_first_entry;
}

// Bytes the entries of `page` take when written (prefix length 0).
size_t EntriesSize(const IndexPage& page);

// Decodes the index page `bytes` (page number `page_number`, for messages).
// A wrong type, a bitmask that disagrees with the free space, or an entry
// that runs past the page is a JetError.
IndexPage DecodeIndexPage(ByteView bytes, const Layout& layout, uint32_t page_number);

// Writes `page` over the whole page at `out` (page size bytes): header,
// bitmask, entries without prefix compression, zeros after them. Entries that
// do not fit are a JetError; nothing is written then.
void EncodeIndexPage(const IndexPage& page, const Layout& layout, uint8_t* out);

}  // namespace jet
