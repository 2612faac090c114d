// The index B-tree on a memory store: splits, removals, tails, damage.
#include "jet/index_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <set>

#include "memory_page_store.h"

namespace jet {
namespace {

using testing::MemoryPageStore;

constexpr uint32_t kOwner = 2;
constexpr uint32_t kRoot = 7;

// A store whose first pages are taken, with an empty index root on kRoot.
struct Fixture {
  MemoryPageStore store{Jet4Layout(), kRoot + 1};
  std::set<uint32_t> pages{kRoot};  // the index's pages, as the listener hears of them
  Fixture() { IndexTree::WriteEmptyRoot(store, AddRoot(), kOwner); }
  uint32_t AddRoot() {
    store.Put(kRoot, {});
    return kRoot;
  }
  IndexTree Tree(bool unique = false, size_t columns = 1) {
    return IndexTree(store, kRoot, kOwner, unique, columns, [this](uint32_t page, bool added) {
      if (added) {
        EXPECT_TRUE(pages.insert(page).second) << "page " << page << " added twice";
      } else {
        EXPECT_EQ(pages.erase(page), 1u) << "page " << page << " freed but not held";
      }
    });
  }
};

// Keys of varied length (so pages split at varied places), unique per number.
std::vector<uint8_t> KeyFor(uint32_t n) {
  std::vector<uint8_t> key = {0x7F, static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                              static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
  key.resize(5 + (n * 37) % 120, static_cast<uint8_t>(n));
  return key;
}

RowPointer RowFor(uint32_t n) {
  return RowPointer{100 + n / 200, static_cast<uint8_t>(n % 200)};
}

std::vector<IndexEntry> Expected(const std::set<uint32_t>& numbers) {
  std::vector<IndexEntry> out;
  for (uint32_t n : numbers) out.push_back(IndexEntry{KeyFor(n), RowFor(n), 0});
  std::sort(out.begin(), out.end(),
            [](const IndexEntry& a, const IndexEntry& b) { return CompareEntries(a, b) < 0; });
  return out;
}

void ExpectEntries(IndexTree& tree, const std::set<uint32_t>& numbers) {
  std::vector<IndexEntry> all = tree.ReadAll();
  std::vector<IndexEntry> want = Expected(numbers);
  ASSERT_EQ(all.size(), want.size());
  for (size_t k = 0; k < all.size(); ++k) ASSERT_TRUE(all[k].SameEntry(want[k])) << "entry " << k;
  EXPECT_EQ(tree.Verify(), numbers.size());
}

int Depth(MemoryPageStore& store) {
  int depth = 1;
  IndexPage page = DecodeIndexPage(View(store.Read(kRoot)), Jet4Layout(), kRoot);
  while (!page.leaf) {
    uint32_t child = page.entries.front().child;
    page = DecodeIndexPage(View(store.Read(child)), Jet4Layout(), child);
    ++depth;
  }
  return depth;
}

TEST(IndexTree, GrowsShrinksAndRegrowsWithSoundPages) {
  Fixture f;
  IndexTree tree = f.Tree(true);
  std::mt19937 random(12345);
  std::vector<uint32_t> order(6000);
  for (uint32_t k = 0; k < order.size(); ++k) order[k] = k * 7 + 1;
  std::shuffle(order.begin(), order.end(), random);

  std::set<uint32_t> held;
  for (uint32_t n : order) {
    tree.Insert(KeyFor(n), RowFor(n));
    held.insert(n);
  }
  EXPECT_GE(Depth(f.store), 3) << "the test should split nodes too";
  EXPECT_EQ(tree.RootPage(), kRoot);
  ExpectEntries(tree, held);
  EXPECT_EQ(f.store.LivePages(), f.pages.size());

  // Remove every other number, in another random order.
  std::vector<uint32_t> gone;
  for (size_t k = 0; k < order.size(); k += 2) gone.push_back(order[k]);
  std::shuffle(gone.begin(), gone.end(), random);
  for (uint32_t n : gone) {
    tree.Remove(KeyFor(n), RowFor(n));
    held.erase(n);
  }
  ExpectEntries(tree, held);
  EXPECT_EQ(f.store.LivePages(), f.pages.size());

  for (uint32_t n : gone) {
    tree.Insert(KeyFor(n), RowFor(n));
    held.insert(n);
  }
  ExpectEntries(tree, held);

  // Emptying the tree frees every page but the root, which is an empty leaf again.
  for (uint32_t n : order) tree.Remove(KeyFor(n), RowFor(n));
  ExpectEntries(tree, {});
  EXPECT_EQ(f.pages, std::set<uint32_t>{kRoot});
  EXPECT_EQ(f.store.LivePages(), 1u);
  IndexPage root = DecodeIndexPage(View(f.store.Read(kRoot)), Jet4Layout(), kRoot);
  EXPECT_TRUE(root.leaf);
}

TEST(IndexTree, RandomInsertsWithRepeatedKeysMatchASortedModel) {
  // 10,000 rows over 2,500 keys of varied length: a non-unique index holds
  // every row once, in key-then-row order, and says which keys are new.
  Fixture f;
  IndexTree tree = f.Tree(false);
  std::mt19937 random(2024);
  std::vector<uint32_t> rows(10000);
  for (uint32_t k = 0; k < rows.size(); ++k) rows[k] = k;
  std::shuffle(rows.begin(), rows.end(), random);
  std::vector<IndexEntry> model;
  std::set<uint32_t> keys_seen;
  for (uint32_t r : rows) {
    const uint32_t key = (r * 7919) % 2500;
    IndexEntry e{KeyFor(key), RowFor(r), 0};
    EXPECT_EQ(tree.Insert(e.key, e.row), keys_seen.insert(key).second) << "row " << r;
    model.push_back(std::move(e));
  }
  std::sort(model.begin(), model.end(),
            [](const IndexEntry& a, const IndexEntry& b) { return CompareEntries(a, b) < 0; });
  std::vector<IndexEntry> all = tree.ReadAll();
  ASSERT_EQ(all.size(), model.size());
  for (size_t k = 0; k < all.size(); ++k) ASSERT_TRUE(all[k].SameEntry(model[k])) << "entry " << k;
  EXPECT_EQ(tree.Verify(), model.size());
  EXPECT_GE(Depth(f.store), 3);
  EXPECT_EQ(f.store.LivePages(), f.pages.size());
  EXPECT_TRUE(tree.HasKey(KeyFor(0)));
  EXPECT_TRUE(tree.HasKey(KeyFor(2499)));
  EXPECT_FALSE(tree.HasKey(KeyFor(2500)));
  // A prefix of a held key is not that key.
  std::vector<uint8_t> shorter = KeyFor(1234);
  shorter.pop_back();
  EXPECT_FALSE(tree.HasKey(shorter));

  // The same rows in a unique index: every repeat is refused and leaves the tree as it was.
  Fixture u;
  IndexTree unique = u.Tree(true);
  size_t refused = 0;
  for (uint32_t r : rows) {
    try {
      unique.Insert(KeyFor((r * 7919) % 2500), RowFor(r));
    } catch (const JetError& e) {
      EXPECT_EQ(e.Number(), error_numbers::kDuplicateKey);
      ++refused;
    }
  }
  EXPECT_EQ(refused, rows.size() - 2500);
  EXPECT_EQ(unique.Verify(), 2500u);
}

TEST(IndexTree, AscendingInsertsAndRemovalsFromOneEnd) {
  // Ids handed out in order, as the catalogue does, and tables dropped oldest first.
  Fixture f;
  IndexTree tree = f.Tree(true);
  std::set<uint32_t> held;
  for (uint32_t n = 0; n < 3000; ++n) {
    tree.Insert(KeyFor(n), RowFor(n));
    held.insert(n);
  }
  ExpectEntries(tree, held);
  for (uint32_t n = 0; n < 2500; ++n) {
    tree.Remove(KeyFor(n), RowFor(n));
    held.erase(n);
  }
  ExpectEntries(tree, held);
  EXPECT_EQ(f.store.LivePages(), f.pages.size());
}

TEST(IndexTree, RefusesDuplicatesAndMissingEntries) {
  Fixture f;
  IndexTree unique = f.Tree(true, 2);
  unique.Insert({0x7F, 0x01, 0x7F, 0x02}, RowPointer{10, 0});
  try {
    unique.Insert({0x7F, 0x01, 0x7F, 0x02}, RowPointer{10, 1});
    FAIL() << "a second row with the same key was taken";
  } catch (const JetError& e) {
    EXPECT_EQ(e.Number(), error_numbers::kDuplicateKey);
  }
  // Keys of nulls only do not collide; the same row twice always does.
  unique.Insert({0x00, 0x00}, RowPointer{10, 2});
  unique.Insert({0x00, 0x00}, RowPointer{10, 3});
  EXPECT_THROW(unique.Insert({0x00, 0x00}, RowPointer{10, 3}), JetError);
  EXPECT_EQ(unique.Verify(), 3u);

  // A duplicate sitting on the neighbouring leaf is found too.
  Fixture g;
  IndexTree spread = g.Tree(true);
  for (uint32_t n = 0; n < 400; ++n) spread.Insert(KeyFor(n), RowFor(n));
  for (uint32_t n = 0; n < 400; ++n) {
    ASSERT_THROW(spread.Insert(KeyFor(n), RowPointer{9000, 1}), JetError) << n;
  }
  try {
    spread.Remove(KeyFor(5), RowPointer{9000, 1});
    FAIL() << "a missing entry was removed";
  } catch (const JetError& e) {
    EXPECT_EQ(e.Number(), error_numbers::kCorrupt);
  }
  EXPECT_THROW(spread.Insert(std::vector<uint8_t>(spread.MaxKeySize() + 1, 0x7F), RowFor(1)),
               JetError);
  EXPECT_EQ(spread.Verify(), 400u);
}

// Access leaves the last child of a node named only by the node's tail.
TEST(IndexTree, ReadsAndChangesTreesWithATailChild) {
  Fixture f;
  const Layout& l = Jet4Layout();
  IndexPage left, right, root;
  for (uint32_t n = 0; n < 10; ++n) left.entries.push_back(IndexEntry{KeyFor(n), RowFor(n), 0});
  for (uint32_t n = 10; n < 20; ++n) right.entries.push_back(IndexEntry{KeyFor(n), RowFor(n), 0});
  left.owner = right.owner = root.owner = kOwner;
  left.next = 9;
  right.prev = 8;
  root.leaf = false;
  root.entries.push_back(IndexEntry{left.entries.back().key, left.entries.back().row, 8});
  root.tail = 9;
  std::vector<uint8_t> bytes(l.page_size);
  EncodeIndexPage(left, l, bytes.data());
  f.store.Put(8, bytes);
  EncodeIndexPage(right, l, bytes.data());
  f.store.Put(9, bytes);
  EncodeIndexPage(root, l, bytes.data());
  f.store.Put(kRoot, bytes);
  f.pages = {kRoot, 8, 9};

  IndexTree tree = f.Tree(true);
  std::set<uint32_t> held;
  for (uint32_t n = 0; n < 20; ++n) held.insert(n);
  ExpectEntries(tree, held);
  // An insert past the end goes into the tail and leaves it the tail.
  tree.Insert(KeyFor(25), RowFor(25));
  held.insert(25);
  ExpectEntries(tree, held);
  IndexPage changed = DecodeIndexPage(View(f.store.Read(kRoot)), l, kRoot);
  EXPECT_EQ(changed.tail, 9u);
  EXPECT_EQ(changed.entries.size(), 1u);
  EXPECT_EQ(tree.Verify(), 21u);
  // A removal names the tail by an entry first.
  tree.Remove(KeyFor(15), RowFor(15));
  held.erase(15);
  ExpectEntries(tree, held);
  changed = DecodeIndexPage(View(f.store.Read(kRoot)), l, kRoot);
  EXPECT_EQ(changed.tail, 0u);
  EXPECT_EQ(changed.entries.size(), 2u);
  EXPECT_EQ(tree.Verify(), 20u);
}

// A tree this engine grows hangs the last page of each level from its
// parent's tail, as Access's own trees do, whether the keys come in order or
// not; removals from the end undo it soundly.
TEST(IndexTree, GrowsWithTheLastPageOfEachLevelAsItsParentsTail) {
  for (bool ascending : {true, false}) {
    SCOPED_TRACE(ascending ? "keys in order" : "keys shuffled");
    Fixture f;
    IndexTree tree = f.Tree(true);
    std::vector<uint32_t> order(3000);
    for (uint32_t n = 0; n < order.size(); ++n) order[n] = n;
    if (!ascending) std::shuffle(order.begin(), order.end(), std::mt19937(7));
    for (uint32_t n : order) tree.Insert(KeyFor(n), RowFor(n));
    ASSERT_EQ(tree.Verify(), 3000u);
    IndexPage page = DecodeIndexPage(View(f.store.Read(kRoot)), Jet4Layout(), kRoot);
    int depth = 0;
    while (!page.leaf) {
      ASSERT_NE(page.tail, 0u) << "a node of depth " << depth << " has no tail";
      const uint32_t tail = page.tail;
      page = DecodeIndexPage(View(f.store.Read(tail)), Jet4Layout(), tail);
      ++depth;
    }
    EXPECT_GE(depth, 2);
    EXPECT_EQ(page.next, 0u);
    EXPECT_EQ(page.entries.back().key, KeyFor(2999));
    std::set<uint32_t> held(order.begin(), order.end());
    for (uint32_t n = 2999; n >= 1000; --n) {
      tree.Remove(KeyFor(n), RowFor(n));
      held.erase(n);
    }
    ExpectEntries(tree, held);
    EXPECT_EQ(tree.Verify(), 1000u);
  }
}

TEST(IndexTree, DamagedPagesAndAFullStoreGiveClearErrors) {
  const Layout& l = Jet4Layout();
  auto damaged = [&](auto&& spoil) {
    Fixture f;
    IndexTree tree = f.Tree();
    for (uint32_t n = 0; n < 300; ++n) tree.Insert(KeyFor(n), RowFor(n));
    IndexPage root = DecodeIndexPage(View(f.store.Read(kRoot)), l, kRoot);
    spoil(f.store, root.entries.front().child);
    try {
      tree.ReadAll();
      tree.Insert(KeyFor(1000), RowFor(1000));
      tree.Verify();
    } catch (const JetError& e) {
      EXPECT_EQ(e.Number(), error_numbers::kCorrupt);
      return std::string(e.what());
    }
    return std::string();
  };
  EXPECT_NE(damaged([](MemoryPageStore& s, uint32_t p) { s.Modify(p)[2] ^= 0x10; }), "");
  EXPECT_NE(
      damaged([&](MemoryPageStore& s, uint32_t p) { s.Modify(p)[l.index_bitmask + 3] = 0xFF; }),
      "");
  EXPECT_NE(damaged([](MemoryPageStore& s, uint32_t p) { s.Modify(p)[0] = 0x01; }), "");
  EXPECT_NE(damaged([&](MemoryPageStore& s, uint32_t p) {
              s.Modify(p)[l.index_next_page] = static_cast<uint8_t>(p);  // leaf loops to itself
              s.Modify(p)[l.index_next_page + 1] = 0;
            }),
            "");
  EXPECT_NE(damaged([&](MemoryPageStore& s, uint32_t p) {
              s.Modify(p)[l.index_first_entry + 1] ^= 0xFF;  // order broken
            }),
            "");

  // A store that cannot grow.
  class FullStore : public MemoryPageStore {
   public:
    using MemoryPageStore::MemoryPageStore;
    uint32_t AllocatePage() override {
      throw JetError(error_numbers::kNotSupported, "the database file has no room left");
    }
  };
  FullStore full(l, kRoot + 1);
  full.Put(kRoot, {});
  IndexTree::WriteEmptyRoot(full, kRoot, kOwner);
  IndexTree tree(full, kRoot, kOwner, false, 1);
  try {
    for (uint32_t n = 0; n < 1000; ++n) tree.Insert(KeyFor(n), RowFor(n));
    FAIL() << "a full store took a split";
  } catch (const JetError& e) {
    EXPECT_NE(std::string(e.what()).find("no room"), std::string::npos);
  }
}

TEST(IndexTree, InsertCostsMicroseconds) {
  Fixture f;
  IndexTree tree = f.Tree(true);
  std::mt19937 random(7);
  std::vector<uint32_t> order(5000);
  for (uint32_t k = 0; k < order.size(); ++k) order[k] = k;
  std::shuffle(order.begin(), order.end(), random);
  for (size_t k = 0; k < 4000; ++k) tree.Insert(KeyFor(order[k]), RowFor(order[k]));
  auto start = std::chrono::steady_clock::now();
  for (size_t k = 4000; k < 5000; ++k) tree.Insert(KeyFor(order[k]), RowFor(order[k]));
  double micros =
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count() /
      1000;
  std::printf("[ index tree ] %.1f us per insert into a tree of 4000-5000 entries, depth %d\n",
              micros, Depth(f.store));
  EXPECT_LT(micros, 2000.0);  // generous: sanitizer builds run several times slower
}

TEST(IndexPage, ReadsPrefixCompressedEntriesAndWritesThemWhole) {
  const Layout& l = Jet4Layout();
  std::vector<uint8_t> page(l.page_size, 0);
  page[0] = kIndexLeafPage;
  page[1] = 1;
  page[4] = kOwner;
  page[l.index_prefix_length] = 6;  // the key and the first two pointer bytes
  // First entry whole: 7F 00 00 01 | page 00 00 40, row 3; second: only 40 04.
  const uint8_t first[] = {0x7F, 0x00, 0x00, 0x01, 0x00, 0x00, 0x40, 0x03};
  std::copy(std::begin(first), std::end(first), page.begin() + l.index_first_entry);
  page[l.index_first_entry + 8] = 0x40;
  page[l.index_first_entry + 9] = 0x04;
  page[l.index_bitmask + 1] = 0x01 | 0x04;  // ends at 8 and 10
  uint16_t free_space = static_cast<uint16_t>(IndexPageCapacity(l) - 10);
  page[2] = static_cast<uint8_t>(free_space);
  page[3] = static_cast<uint8_t>(free_space >> 8);

  IndexPage p = DecodeIndexPage(ByteView(page.data(), page.size()), l, 5);
  ASSERT_EQ(p.entries.size(), 2u);
  EXPECT_EQ(p.entries[1].key, (std::vector<uint8_t>{0x7F, 0x00, 0x00, 0x01}));
  EXPECT_EQ(p.entries[1].row.page, 0x40u);
  EXPECT_EQ(p.entries[1].row.row, 4);

  std::vector<uint8_t> written(l.page_size);
  EncodeIndexPage(p, l, written.data());
  IndexPage again = DecodeIndexPage(ByteView(written.data(), written.size()), l, 5);
  ASSERT_EQ(again.entries.size(), 2u);
  EXPECT_TRUE(again.entries[1].SameEntry(p.entries[1]));
  EXPECT_EQ(written[l.index_prefix_length], 0);
  EXPECT_EQ(written[2] | (written[3] << 8), static_cast<int>(IndexPageCapacity(l) - 16));

  // An entry running past the claimed bytes, or too short for a row pointer.
  page[l.index_bitmask + 1] = 0x01;
  EXPECT_THROW(DecodeIndexPage(ByteView(page.data(), page.size()), l, 5), JetError);
  page[l.index_bitmask + 1] = 0x04;
  page[l.index_bitmask] = 0x04;
  EXPECT_THROW(DecodeIndexPage(ByteView(page.data(), page.size()), l, 5), JetError);
}

}  // namespace
}  // namespace jet
