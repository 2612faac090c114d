#include "jet/index_page.h"

#include <algorithm>
#include <cstring>

namespace jet {
namespace {

uint32_t Be24(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
}
uint32_t Be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | Be24(p + 1);
}
void PutLe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutLe32(uint8_t* p, uint32_t v) {
  PutLe16(p, v);
  PutLe16(p + 2, v >> 16);
}

// The row pointer of an entry as it follows the key: page BE, then row.
void PointerBytes(const RowPointer& r, uint8_t out[4]) {
  out[0] = static_cast<uint8_t>(r.page >> 16);
  out[1] = static_cast<uint8_t>(r.page >> 8);
  out[2] = static_cast<uint8_t>(r.page);
  out[3] = r.row;
}

std::string PageName(uint32_t page_number) {
  return "index page " + std::to_string(page_number);
}

}  // namespace

int CompareEntries(const IndexEntry& a, const IndexEntry& b) {
  size_t common = std::min(a.key.size(), b.key.size());
  if (common > 0) {
    int c = std::memcmp(a.key.data(), b.key.data(), common);
    if (c != 0) return c;
  }
  uint8_t pa[4], pb[4];
  PointerBytes(a.row, pa);
  PointerBytes(b.row, pb);
  // Past the common part each entry goes on with the rest of its key, then its pointer.
  size_t la = a.key.size() + 4, lb = b.key.size() + 4;
  for (size_t i = common; i < std::min(la, lb); ++i) {
    uint8_t x = i < a.key.size() ? a.key[i] : pa[i - a.key.size()];
    uint8_t y = i < b.key.size() ? b.key[i] : pb[i - b.key.size()];
    if (x != y) return x < y ? -1 : 1;
  }
  return la == lb ? 0 : (la < lb ? -1 : 1);
}

size_t EntriesSize(const IndexPage& page) {
  size_t total = 0;
  for (const IndexEntry& e : page.entries) total += EntrySize(e, page.leaf);
  return total;
}

IndexPage DecodeIndexPage(ByteView bytes, const Layout& l, uint32_t page_number) {
  if (bytes.size() != l.page_size) ThrowCorrupt(PageName(page_number) + " is not a whole page");
  uint8_t type = bytes.U8(0);
  if (type != kIndexNodePage && type != kIndexLeafPage) {
    ThrowCorrupt("page " + std::to_string(page_number) + " should be an index page but has type " +
                 std::to_string(type));
  }
  IndexPage page;
  page.leaf = type == kIndexLeafPage;
  page.owner = bytes.U32(4);
  if (!l.jet3) page.unknown8 = bytes.U32(8);
  page.prev = bytes.U32(l.index_prev_page);
  page.next = bytes.U32(l.index_next_page);
  page.tail = bytes.U32(l.index_tail_page);
  const size_t prefix = l.jet3 ? bytes.U8(l.index_prefix_length) : bytes.U16(l.index_prefix_length);
  const size_t capacity = IndexPageCapacity(l);
  const size_t free_space = bytes.U16(2);
  if (free_space > capacity)
    ThrowCorrupt(PageName(page_number) + " claims more free space than a page has");
  const size_t used = capacity - free_space;
  const size_t mask_bytes = l.index_first_entry - l.index_bitmask;
  ByteView mask = bytes.Sub(l.index_bitmask, mask_bytes);
  ByteView data = bytes.Sub(l.index_first_entry, capacity);
  const size_t tail_size = page.leaf ? 4 : 8;

  // The prefix is shared by whole entries, so it may reach into the row pointer.
  const uint8_t* first = data.data();
  std::vector<uint8_t> whole;
  size_t start = 0;
  for (size_t bit = 1; bit <= std::min(used, mask_bytes * 8 - 1); ++bit) {
    if (!((mask.data()[bit / 8] >> (bit % 8)) & 1)) continue;
    const size_t stored = bit - start;
    const size_t omitted = page.entries.empty() ? 0 : prefix;
    if (stored + omitted < tail_size || (page.entries.empty() && stored < prefix)) {
      ThrowCorrupt(PageName(page_number) + " holds an entry of " + std::to_string(stored) +
                   " bytes, too short for its kind");
    }
    whole.assign(first, first + omitted);
    whole.insert(whole.end(), data.data() + start, data.data() + bit);
    const size_t key_size = whole.size() - tail_size;
    IndexEntry e;
    e.key.assign(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(key_size));
    const uint8_t* ptr = whole.data() + key_size;
    e.row.page = Be24(ptr);
    e.row.row = ptr[3];
    if (!page.leaf) e.child = Be32(ptr + 4);
    page.entries.push_back(std::move(e));
    start = bit;
  }
  if (start != used) {
    ThrowCorrupt(PageName(page_number) + " has entries ending at byte " + std::to_string(start) +
                 " but claims " + std::to_string(used) + " bytes in use");
  }
  return page;
}

void EncodeIndexPage(const IndexPage& page, const Layout& l, uint8_t* out) {
  const size_t capacity = IndexPageCapacity(l);
  const size_t used = EntriesSize(page);
  if (used > capacity) {
    throw JetError(error_numbers::kCorrupt, "index entries of " + std::to_string(used) +
                                                " bytes do not fit a page of " +
                                                std::to_string(capacity));
  }
  std::memset(out, 0, l.page_size);
  out[0] = page.leaf ? kIndexLeafPage : kIndexNodePage;
  out[1] = 0x01;
  PutLe16(out + 2, static_cast<uint32_t>(capacity - used));
  PutLe32(out + 4, page.owner);
  if (!l.jet3) PutLe32(out + 8, page.unknown8);
  PutLe32(out + l.index_prev_page, page.prev);
  PutLe32(out + l.index_next_page, page.next);
  PutLe32(out + l.index_tail_page, page.tail);
  // Prefix length stays 0; the byte before the bitmask tells nodes from leaves.
  out[l.index_bitmask - 1] = page.leaf ? 0 : 1;
  uint8_t* mask = out + l.index_bitmask;
  uint8_t* data = out + l.index_first_entry;
  size_t at = 0;
  for (const IndexEntry& e : page.entries) {
    if (!e.key.empty()) std::memcpy(data + at, e.key.data(), e.key.size());
    at += e.key.size();
    PointerBytes(e.row, data + at);
    at += 4;
    if (!page.leaf) {
      data[at] = static_cast<uint8_t>(e.child >> 24);
      data[at + 1] = static_cast<uint8_t>(e.child >> 16);
      data[at + 2] = static_cast<uint8_t>(e.child >> 8);
      data[at + 3] = static_cast<uint8_t>(e.child);
      at += 4;
    }
    mask[at / 8] |= static_cast<uint8_t>(1u << (at % 8));
  }
}

}  // namespace jet
