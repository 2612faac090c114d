#include "jet/index_tree.h"

#include <algorithm>
#include <unordered_set>

namespace jet {
namespace {

// Deeper trees do not occur: a 4 KB page holds at least four entries.
constexpr int kMaxDepth = 32;

std::string RowName(RowPointer r) {
  return "row " + std::to_string(r.row) + " of page " + std::to_string(r.page);
}

// The first position of `entries` not below `target`.
size_t LowerBound(const std::vector<IndexEntry>& entries, const IndexEntry& target) {
  auto it = std::lower_bound(
      entries.begin(), entries.end(), target,
      [](const IndexEntry& a, const IndexEntry& b) { return CompareEntries(a, b) < 0; });
  return static_cast<size_t>(it - entries.begin());
}

// A node entry naming `child` with a copy of `last`.
IndexEntry NodeEntry(const IndexEntry& last, uint32_t child) {
  IndexEntry e;
  e.key = last.key;
  e.row = last.row;
  e.child = child;
  return e;
}

}  // namespace

IndexTree::IndexTree(PageStore& store, uint32_t root_page, uint32_t owner_page, bool unique,
                     size_t column_count, IndexPageListener listener)
    : store_(store),
      layout_(store.FileLayout()),
      root_(root_page),
      owner_(owner_page),
      unique_(unique),
      column_count_(column_count),
      listener_(std::move(listener)) {}

IndexTree::IndexTree(PageStore& store, const TableDefinition& table, const RealIndex& index,
                     IndexPageListener listener)
    : IndexTree(store, index.root_page, table.page, (index.flags & 0x01) != 0, index.columns.size(),
                std::move(listener)) {}

void IndexTree::WriteEmptyRoot(PageStore& store, uint32_t page, uint32_t owner_page) {
  IndexPage empty;
  empty.owner = owner_page;
  EncodeIndexPage(empty, store.FileLayout(), store.Modify(page));
}

size_t IndexTree::MaxKeySize() const {
  // Small enough that a split always leaves both halves and their parent room.
  return IndexPageCapacity(layout_) / 4 - 8;
}

IndexPage IndexTree::Load(uint32_t page_no) {
  if (page_no == 0 || page_no >= store_.PageCount())
    ThrowCorrupt("an index refers to page " + std::to_string(page_no) + ", which does not exist");
  return DecodeIndexPage(View(store_.Read(page_no)), layout_, page_no);
}

void IndexTree::Write(uint32_t page_no, IndexPage& page) {
  page.owner = owner_;
  EncodeIndexPage(page, layout_, store_.Modify(page_no));
}

uint32_t IndexTree::Allocate() {
  uint32_t page = store_.AllocatePage();
  if (listener_) listener_(page, true);
  return page;
}

void IndexTree::Free(uint32_t page_no) {
  store_.FreePage(page_no);
  if (listener_) listener_(page_no, false);
}

void IndexTree::SetLink(uint32_t page_no, size_t offset, uint32_t value) {
  uint8_t type = View(store_.Read(page_no)).U8(0);
  if (type != kIndexLeafPage && type != kIndexNodePage)
    ThrowCorrupt("an index page links to page " + std::to_string(page_no) +
                 ", which is not an index page");
  uint8_t* p = store_.Modify(page_no);
  for (int k = 0; k < 4; ++k) p[offset + k] = static_cast<uint8_t>(value >> (8 * k));
}

bool IndexTree::AllNull(const std::vector<uint8_t>& key) const {
  if (key.size() != column_count_) return false;
  return std::all_of(key.begin(), key.end(), [](uint8_t b) { return b == 0x00 || b == 0xFF; });
}

IndexEntry IndexTree::LastBelow(uint32_t page_no, int depth) {
  if (depth > kMaxDepth) ThrowCorrupt("index below page " + std::to_string(root_) + " loops");
  IndexPage page = Load(page_no);
  if (!page.leaf) {
    if (page.tail != 0) return LastBelow(page.tail, depth + 1);
    if (page.entries.empty())
      ThrowCorrupt("index node page " + std::to_string(page_no) + " has no children");
    return LastBelow(page.entries.back().child, depth + 1);
  }
  if (page.entries.empty()) {
    throw JetError(error_numbers::kNotSupported,
                   "index page " + std::to_string(page_no) +
                       " is an empty last leaf; changing this index is not supported");
  }
  IndexEntry last = page.entries.back();
  last.child = 0;
  return last;
}

void IndexTree::AdoptTail(Step& step) {
  uint32_t tail = step.page.tail;
  IndexEntry last = LastBelow(tail, 0);
  step.page.entries.push_back(NodeEntry(last, tail));
  step.page.tail = 0;
  step.dirty = true;
}

void IndexTree::Descend(const IndexEntry& target, std::vector<Step>& path, uint32_t& leaf_no,
                        IndexPage& leaf, bool keep_tails) {
  uint32_t page_no = root_;
  IndexPage page = Load(page_no);
  while (!page.leaf) {
    if (path.size() >= static_cast<size_t>(kMaxDepth))
      ThrowCorrupt("index below page " + std::to_string(root_) + " loops");
    Step step;
    step.page_no = page_no;
    step.page = std::move(page);
    if (step.page.tail != 0 && !keep_tails) AdoptTail(step);
    std::vector<IndexEntry>& entries = step.page.entries;
    const size_t slot = LowerBound(entries, target);
    if (step.page.tail != 0 && slot == entries.size()) {
      // Past every entry: the tail child, the last below this node.
      step.tail = true;
      step.slot = slot;
      page_no = step.page.tail;
    } else {
      if (entries.empty())
        ThrowCorrupt("index node page " + std::to_string(page_no) + " has no children");
      // Past the last entry the key joins the last child, whose entry then moves up.
      step.slot = std::min(slot, entries.size() - 1);
      page_no = entries[step.slot].child;
    }
    path.push_back(std::move(step));
    page = Load(page_no);
  }
  leaf_no = page_no;
  leaf = std::move(page);
}

const IndexEntry* IndexTree::Neighbour(const IndexPage& leaf, size_t pos, bool before,
                                       IndexPage& hold) {
  if (before && pos > 0) return &leaf.entries[pos - 1];
  if (!before && pos < leaf.entries.size()) return &leaf.entries[pos];
  uint32_t next = before ? leaf.prev : leaf.next;
  for (int guard = 0; next != 0 && guard < kMaxDepth; ++guard) {
    hold = Load(next);
    if (!hold.entries.empty()) return before ? &hold.entries.back() : &hold.entries.front();
    next = before ? hold.prev : hold.next;
  }
  return nullptr;
}

bool IndexTree::Insert(const std::vector<uint8_t>& key, RowPointer row) {
  if (key.size() > MaxKeySize()) {
    throw JetError(error_numbers::kNotSupported,
                   "An indexed value takes " + std::to_string(key.size()) +
                       " bytes in its index, more than the " + std::to_string(MaxKeySize()) +
                       " an index can hold: shorten the indexed text.");
  }
  IndexEntry target;
  target.key = key;
  target.row = row;
  std::vector<Step> path;
  uint32_t leaf_no = 0;
  IndexPage leaf;
  Descend(target, path, leaf_no, leaf, true);

  size_t pos = LowerBound(leaf.entries, target);
  if (pos < leaf.entries.size() && leaf.entries[pos].SameEntry(target)) {
    throw JetError(error_numbers::kDuplicateKey,
                   "the index already holds this entry for " + RowName(row));
  }
  // Equal keys sit side by side, so only the neighbours can share this one.
  bool new_key = true;
  IndexPage hold;
  for (bool before : {true, false}) {
    const IndexEntry* n = Neighbour(leaf, pos, before, hold);
    if (!n || n->key != key) continue;
    if (unique_ && !AllNull(key)) {
      throw JetError(error_numbers::kDuplicateKey,
                     "Another row (" + RowName(n->row) +
                         ") already has this value where the table allows no duplicates: " +
                         "give a value not used yet.");
    }
    new_key = false;
  }
  leaf.entries.insert(leaf.entries.begin() + static_cast<ptrdiff_t>(pos), std::move(target));
  Rewrite(path, leaf_no, std::move(leaf));
  return new_key;
}

bool IndexTree::HasKey(const std::vector<uint8_t>& key) {
  // The lowest possible row pointer puts the search before every entry of the key.
  IndexEntry target;
  target.key = key;
  std::vector<Step> path;
  uint32_t leaf_no = 0;
  IndexPage leaf;
  Descend(target, path, leaf_no, leaf, true);
  IndexPage hold;
  const IndexEntry* n = Neighbour(leaf, LowerBound(leaf.entries, target), false, hold);
  return n && n->key == key;
}

void IndexTree::Remove(const std::vector<uint8_t>& key, RowPointer row) {
  IndexEntry target;
  target.key = key;
  target.row = row;
  std::vector<Step> path;
  uint32_t page_no = 0;
  IndexPage page;
  Descend(target, path, page_no, page, false);

  size_t pos = LowerBound(page.entries, target);
  if (pos == page.entries.size() || !page.entries[pos].SameEntry(target)) {
    ThrowCorrupt("the index at page " + std::to_string(root_) + " holds no entry for " +
                 RowName(row));
  }
  page.entries.erase(page.entries.begin() + static_cast<ptrdiff_t>(pos));
  // An emptied page other than the root leaves the tree, and its entry its parent.
  while (page.entries.empty() && !path.empty()) {
    if (page.prev != 0) SetLink(page.prev, layout_.index_next_page, page.next);
    if (page.next != 0) SetLink(page.next, layout_.index_prev_page, page.prev);
    Free(page_no);
    Step& parent = path.back();
    parent.page.entries.erase(parent.page.entries.begin() + static_cast<ptrdiff_t>(parent.slot));
    page_no = parent.page_no;
    page = std::move(parent.page);
    path.pop_back();
  }
  Rewrite(path, page_no, std::move(page));
}

IndexEntry IndexTree::LastOf(const IndexPage& page) {
  if (!page.leaf && page.tail != 0) return LastBelow(page.tail, 0);
  IndexEntry last = page.entries.back();
  last.child = 0;
  return last;
}

void IndexTree::Rewrite(std::vector<Step>& path, uint32_t page_no, IndexPage page) {
  const size_t capacity = IndexPageCapacity(layout_);
  bool changed = true;  // `page` differs from what its page holds
  for (;;) {
    const size_t total = EntriesSize(page);
    if (total > capacity) {
      // Split by bytes: the lower part takes entries until it holds half.
      size_t k = 0, lower = 0;
      while (k + 1 < page.entries.size() && lower < total / 2) {
        lower += EntrySize(page.entries[k], page.leaf);
        ++k;
      }
      k = std::max<size_t>(k, 1);
      IndexPage low;
      low.leaf = page.leaf;
      low.entries.assign(std::make_move_iterator(page.entries.begin()),
                         std::make_move_iterator(page.entries.begin() + static_cast<ptrdiff_t>(k)));
      page.entries.erase(page.entries.begin(), page.entries.begin() + static_cast<ptrdiff_t>(k));

      if (path.empty()) {
        // The root stays where it is and becomes a node over two new pages:
        // the lower named by an entry, the upper (with any tail the root
        // had) its tail.
        uint32_t left_no = Allocate();
        uint32_t right_no = Allocate();
        IndexPage& left = low;
        IndexPage right;
        right.leaf = page.leaf;
        right.entries = std::move(page.entries);
        right.tail = page.tail;
        left.next = right_no;
        right.prev = left_no;
        Write(left_no, left);
        Write(right_no, right);
        IndexPage root;
        root.leaf = false;
        root.unknown8 = page.unknown8;
        root.entries.push_back(NodeEntry(left.entries.back(), left_no));
        root.tail = right_no;
        Write(page_no, root);
        return;
      }
      uint32_t low_no = Allocate();
      low.prev = page.prev;
      low.next = page_no;
      if (page.prev != 0) SetLink(page.prev, layout_.index_next_page, low_no);
      page.prev = low_no;
      Write(low_no, low);
      Write(page_no, page);
      Step& parent = path.back();
      auto& entries = parent.page.entries;
      // The lower half is named just before the page; a tail has no entry to renew.
      if (!parent.tail) entries[parent.slot] = NodeEntry(LastOf(page), page_no);
      entries.insert(entries.begin() + static_cast<ptrdiff_t>(parent.slot),
                     NodeEntry(low.entries.back(), low_no));
      page_no = parent.page_no;
      page = std::move(parent.page);
      path.pop_back();
      changed = true;
      continue;
    }
    // A root node left without children is an empty index again.
    if (path.empty() && !page.leaf && page.entries.empty() && page.tail == 0) page.leaf = true;
    if (changed) Write(page_no, page);
    if (path.empty()) return;
    Step& parent = path.back();
    if (!parent.tail) {
      IndexEntry& named = parent.page.entries[parent.slot];
      const IndexEntry last = LastOf(page);
      if (!named.SameEntry(last)) {
        named.key = last.key;
        named.row = last.row;
        parent.dirty = true;
      }
    }
    // Stop once nothing above needs writing. A tail has no entry above it,
    // but the last entry below its parent may have moved, and an entry
    // further up may name that.
    if (!parent.tail &&
        std::none_of(path.begin(), path.end(), [](const Step& s) { return s.dirty; }))
      return;
    page_no = parent.page_no;
    page = std::move(parent.page);
    changed = parent.dirty;
    path.pop_back();
  }
}

std::vector<IndexEntry> IndexTree::ReadAll() {
  uint32_t page_no = root_;
  IndexPage page = Load(page_no);
  for (int depth = 0; !page.leaf; ++depth) {
    if (depth > kMaxDepth) ThrowCorrupt("index below page " + std::to_string(root_) + " loops");
    page_no = page.entries.empty() ? page.tail : page.entries.front().child;
    if (page_no == 0)
      ThrowCorrupt("index node page " + std::to_string(page_no) + " has no children");
    page = Load(page_no);
  }
  std::vector<IndexEntry> all;
  std::unordered_set<uint32_t> seen;
  for (;;) {
    if (!seen.insert(page_no).second)
      ThrowCorrupt("the leaves of the index at page " + std::to_string(root_) + " loop");
    if (!page.leaf) ThrowCorrupt("index leaf links lead to node page " + std::to_string(page_no));
    for (IndexEntry& e : page.entries) all.push_back(std::move(e));
    if (page.next == 0) break;
    page_no = page.next;
    page = Load(page_no);
  }
  return all;
}

size_t IndexTree::Verify() {
  // Walk depth-first, children in order (tail last), gathering each level's pages.
  struct Linked {
    uint32_t page_no, prev, next;
  };
  std::vector<std::vector<Linked>> levels;
  std::unordered_set<uint32_t> seen;
  const IndexEntry* previous = nullptr;
  std::vector<IndexEntry> last_leaf_entries;  // keeps `previous` alive across leaves
  size_t count = 0;
  int leaf_depth = -1;
  auto fail = [&](uint32_t page_no, const std::string& what) {
    ThrowCorrupt("index page " + std::to_string(page_no) + " (index at page " +
                 std::to_string(root_) + "): " + what);
  };

  // Returns the last entry below `page_no`.
  std::function<IndexEntry(uint32_t, int)> visit = [&](uint32_t page_no, int depth) {
    if (depth > kMaxDepth || !seen.insert(page_no).second) fail(page_no, "is reached twice");
    IndexPage page = Load(page_no);
    if (page.owner != owner_)
      fail(page_no, "belongs to the table at page " + std::to_string(page.owner));
    for (size_t k = 1; k < page.entries.size(); ++k)
      if (CompareEntries(page.entries[k - 1], page.entries[k]) >= 0)
        fail(page_no, "holds entries out of order");
    if (static_cast<int>(levels.size()) <= depth) levels.resize(depth + 1);
    levels[depth].push_back(Linked{page_no, page.prev, page.next});
    if (page.leaf) {
      if (leaf_depth >= 0 && leaf_depth != depth) fail(page_no, "is a leaf at another depth");
      leaf_depth = depth;
      if (page.entries.empty() && page_no != root_ && page.next == 0 && page.prev == 0)
        fail(page_no, "is an empty leaf linked to nothing");
      for (const IndexEntry& e : page.entries) {
        if (previous && CompareEntries(*previous, e) >= 0)
          fail(page_no, "holds an entry out of order with the leaf before it");
        if (unique_ && previous && previous->key == e.key && !AllNull(e.key))
          fail(page_no, "holds a key twice in a unique index");
        previous = &e;
        ++count;
      }
      IndexEntry last;
      if (!page.entries.empty()) last = page.entries.back();
      last_leaf_entries = std::move(page.entries);
      if (!last_leaf_entries.empty()) previous = &last_leaf_entries.back();
      return last;
    }
    if (page.entries.empty() && page.tail == 0) fail(page_no, "is a node without children");
    IndexEntry last;
    for (const IndexEntry& e : page.entries) {
      last = visit(e.child, depth + 1);
      if (!last.SameEntry(e))
        fail(page_no, "names child " + std::to_string(e.child) +
                          " with an entry other than the last below it");
    }
    if (page.tail != 0) last = visit(page.tail, depth + 1);
    last.child = 0;
    return last;
  };
  visit(root_, 0);

  for (const auto& level : levels) {
    for (size_t k = 0; k < level.size(); ++k) {
      uint32_t want_prev = k == 0 ? 0 : level[k - 1].page_no;
      uint32_t want_next = k + 1 == level.size() ? 0 : level[k + 1].page_no;
      const Linked& p = level[k];
      if (p.prev != want_prev || p.next != want_next) {
        fail(p.page_no, "links to " + std::to_string(p.prev) + " and " + std::to_string(p.next) +
                            " instead of " + std::to_string(want_prev) + " and " +
                            std::to_string(want_next));
      }
    }
  }
  return count;
}

}  // namespace jet
