// Usage maps as the writer changes them, read back by the reader's UsageMap.
#include <gtest/gtest.h>

#include "jet/data_page_writer.h"
#include "jet/usage_map.h"
#include "jet/usage_map_writer.h"
#include "memory_page_store.h"

namespace jet {
namespace {

using testing::MemoryPageStore;

// A store with one map page holding one 69-byte map row of `kind`.
struct OneMap {
  explicit OneMap(uint8_t kind) : store(Jet4Layout(), 3) {
    uint32_t page = store.AllocatePage();
    InitDataPage(store.Modify(page), Jet4Layout(), 0);
    uint8_t row[69];
    InitUsageMapRow(row, sizeof row, kind, 0);
    int slot = AddRowToPage(store.Modify(page), Jet4Layout(), ByteView(row, sizeof row));
    where = RowPointer{page, static_cast<uint8_t>(slot)};
  }
  // The pages the reader sees, for pages up to `limit` that exist.
  std::vector<uint32_t> ReadBack(uint32_t limit) {
    while (store.PageCount() < limit) store.AllocatePage();
    UsageMap map(store, false, where, UsageMap::PastEnd::kEndsMap);
    std::vector<uint32_t> out;
    while (auto p = map.Next()) out.push_back(*p);
    return out;
  }
  MemoryPageStore store;
  RowPointer where;
};

TEST(UsageMapWriter, InlineMapsTakePagesAndMoveOrTurnIntoReferenceMaps) {
  OneMap m(0);
  UsageMapEditor map(m.store, m.where);
  // An empty inline map moves its window to the first page it is given.
  EXPECT_TRUE(map.Add(700));
  EXPECT_TRUE(map.IsInline());
  EXPECT_EQ(map.WindowStart(), 696u);
  EXPECT_TRUE(map.Add(701));
  EXPECT_TRUE(map.Contains(700));
  EXPECT_FALSE(map.Contains(702));
  // A page outside a window that holds pages: without conversion refused...
  EXPECT_FALSE(map.Add(5, false));
  EXPECT_EQ(map.Pages(), (std::vector<uint32_t>{700, 701}));
  // ...with it the map becomes a reference map and keeps what it held.
  EXPECT_TRUE(map.Add(5));
  EXPECT_FALSE(map.IsInline());
  EXPECT_TRUE(map.Add(40000));  // a second bitmap page's range
  map.Remove(701);
  EXPECT_EQ(map.Pages(), (std::vector<uint32_t>{5, 700, 40000}));
  EXPECT_EQ(m.ReadBack(40001), (std::vector<uint32_t>{5, 700, 40000}));
  EXPECT_EQ(map.First(6, 50000), std::optional<uint32_t>(700));
  EXPECT_EQ(map.First(701, 40000), std::nullopt);
}

TEST(UsageMapWriter, ReferenceMapsAllocateBitmapPagesOnlyWhenNeeded) {
  OneMap m(1);
  UsageMapEditor map(m.store, m.where);
  size_t before = m.store.Allocations();
  for (uint32_t p = 10; p < 2000; p += 3) EXPECT_TRUE(map.Add(p));
  EXPECT_EQ(m.store.Allocations(), before + 1);  // one bitmap page covers them all
  std::vector<uint32_t> expected;
  for (uint32_t p = 10; p < 2000; p += 3) expected.push_back(p);
  EXPECT_EQ(m.ReadBack(2000), expected);
  // The 17 pointers of a 69-byte row reach past the 2 GB limit of 4 KB pages.
  EXPECT_TRUE(map.Add(524287));
  EXPECT_TRUE(map.Contains(524287));
}

TEST(UsageMapWriter, BrokenMapRowsAreDamage) {
  OneMap m(0);
  m.store.Modify(m.where.page)[4096 - 69] = 7;  // an unknown kind
  EXPECT_THROW(UsageMapEditor(m.store, m.where), JetError);
  EXPECT_THROW(UsageMapEditor(m.store, RowPointer{m.where.page, 5}), JetError);
}

}  // namespace
}  // namespace jet
