// The B-tree of one real index: reading every entry, inserting and removing.
//
// The tree hangs from a root page named in the table definition. Leaves hold
// the entries in order; node pages hold, for each child, a copy of the last
// entry below it and the child's page. The pages of each level are linked
// through their previous and next fields. Access may also leave the last
// child of a node unnamed by any entry and point to it from the node's tail
// field instead, so readers walk the leaves through their next links.
//
// Writing keeps the root on its page: when the root overflows, its entries
// move to two new pages and the root becomes a node over them, naming the
// lower by an entry and holding the upper as its tail, as Access does. Other
// pages split in two by bytes, the new page taking the lower half and an
// entry in the parent; a tail that splits stays the tail. So a tree this
// engine grows has the layout Access gives its own: the last page of each
// level hangs from its parent's tail. Inserts keep the tails they meet.
// Removals name a tail child by an entry first, so that an emptied page is
// always an entry to drop. A leaf (or node) left without entries is unlinked
// and freed; pages left merely underfull stay as they are, as readers accept
// them. Pages are written with prefix length 0 and the owning table's
// definition page.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "jet/index_page.h"
#include "jet/page_store.h"
#include "jet/table_definition.h"

namespace jet {

// Told of every page that joins the index (added) or leaves it, so the
// caller can keep the index's usage map in step.
using IndexPageListener = std::function<void(uint32_t page, bool added)>;

// One real index's B-tree over a page store. Not thread-safe; the index's
// pages must not change behind its back while it is in use.
class IndexTree {
 public:
  // The tree rooted at `root_page` of the table whose definition is on
  // `owner_page`; `unique` refuses a second row with the same key (rows whose
  // key columns are all null excepted); `column_count` is the index's number
  // of columns.
  IndexTree(PageStore& store, uint32_t root_page, uint32_t owner_page, bool unique,
            size_t column_count, IndexPageListener listener = {});
  // The tree of `index`, one of `table`'s real indexes.
  IndexTree(PageStore& store, const TableDefinition& table, const RealIndex& index,
            IndexPageListener listener = {});

  // The root page; it never moves, so the definition need not change.
  uint32_t RootPage() const { return root_; }

  // Writes an empty index at `page` (an empty leaf) for the table on `owner_page`.
  static void WriteEmptyRoot(PageStore& store, uint32_t page, uint32_t owner_page);

  // Every entry in index order (keys and rows; no children).
  std::vector<IndexEntry> ReadAll();

  // Adds the entry `key` for `row`. The same entry twice, or a key already
  // held by another row of a unique index, is a JetError kDuplicateKey; a key
  // too long for an index page is kNotSupported. Returns true when no other
  // row held the key (the definition counts such distinct keys).
  bool Insert(const std::vector<uint8_t>& key, RowPointer row);

  // True when some row's entry has exactly `key`.
  bool HasKey(const std::vector<uint8_t>& key);

  // Removes the entry `key` for `row`; a missing entry is a JetError kCorrupt.
  void Remove(const std::vector<uint8_t>& key, RowPointer row);

  // Checks the whole tree: page kinds and owners, bitmasks, free space, order
  // within and across pages, node entries equal to the last entry below their
  // child, every level's previous and next links, one depth for all leaves,
  // and uniqueness. Returns the number of entries; a fault is a JetError
  // kCorrupt saying where.
  size_t Verify();

  // The longest key the tree takes.
  size_t MaxKeySize() const;

 private:
  struct Step {
    uint32_t page_no = 0;
    IndexPage page;
    size_t slot = 0;     // the entry followed down
    bool tail = false;   // the node's tail was followed, not an entry
    bool dirty = false;  // changed, must be written
  };

  IndexPage Load(uint32_t page_no);
  void Write(uint32_t page_no, IndexPage& page);
  uint32_t Allocate();
  void Free(uint32_t page_no);
  // Sets the previous or next link of index page `page_no` in place.
  void SetLink(uint32_t page_no, size_t offset, uint32_t value);

  // Walks from the root to the leaf where `target` belongs; `path` receives
  // the nodes passed, `leaf_no` and `leaf` the leaf. With `keep_tails` a key
  // past every entry of a node goes down its tail; without, each tail passed
  // is named by an entry first.
  void Descend(const IndexEntry& target, std::vector<Step>& path, uint32_t& leaf_no,
               IndexPage& leaf, bool keep_tails);
  // The last entry below `page` (which is not empty or has a tail).
  IndexEntry LastOf(const IndexPage& page);
  // Names a node's tail child by an entry, so the node has no tail.
  void AdoptTail(Step& step);
  // The last entry below `page_no`, following tails.
  IndexEntry LastBelow(uint32_t page_no, int depth);
  // Writes `page` back and carries the change up `path`: splits, parent entries.
  void Rewrite(std::vector<Step>& path, uint32_t page_no, IndexPage page);
  // True when the key's columns are all null (so uniqueness does not apply).
  bool AllNull(const std::vector<uint8_t>& key) const;
  // The nearest entry before / after position `pos` of `leaf`, across leaves.
  const IndexEntry* Neighbour(const IndexPage& leaf, size_t pos, bool before, IndexPage& hold);

  PageStore& store_;
  const Layout& layout_;
  uint32_t root_;
  uint32_t owner_;
  bool unique_;
  size_t column_count_;
  IndexPageListener listener_;
};

}  // namespace jet
