#include "dataaccess/helpers.h"

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include <gtest/gtest.h>

#include "dataaccess/error.h"
#include "dataaccess/memory_interaction.h"

namespace vq {
namespace {

MemoryTableList ListOf(std::initializer_list<const char*> names) {
  MemoryTableList list;
  for (const char* n : names) list.AddItem(n);
  return list;
}

TEST(ListHasItem, IgnoresCaseAndNeedsTheWholeName) {
  auto list = ListOf({"Customers", "Orders"});
  EXPECT_TRUE(ListHasItem(list, "ORDERS"));
  EXPECT_TRUE(ListHasItem(list, "orders"));
  EXPECT_TRUE(ListHasItem(list, "Customers"));
  EXPECT_FALSE(ListHasItem(list, "Order"));
  EXPECT_FALSE(ListHasItem(list, "Orders "));
  EXPECT_FALSE(ListHasItem(list, ""));
  EXPECT_FALSE(ListHasItem(MemoryTableList{}, "Orders"));
}

TEST(RemoveListItem, RemovesEveryExactMatchAndOnlyThose) {
  auto mixed = ListOf({"orders", "Orders", "ORDERS"});
  RemoveListItem(mixed, "orders");
  EXPECT_EQ(mixed.Items(), (std::vector<std::string>{"ORDERS", "Orders"}));

  // Twins sit side by side: the second moves into the first's place and must
  // still be looked at; the scan must also stop at the shortened end.
  auto twins = ListOf({"a", "orders", "orders", "z"});
  RemoveListItem(twins, "orders");
  EXPECT_EQ(twins.Items(), (std::vector<std::string>{"a", "z"}));

  auto all = ListOf({"t", "t", "t"});
  RemoveListItem(all, "t");
  EXPECT_EQ(all.ListCount(), 0);

  auto none = ListOf({"a", "b"});
  RemoveListItem(none, "c");
  EXPECT_EQ(none.Items(), (std::vector<std::string>{"a", "b"}));
}

TEST(NullToDefault, OnlyNullIsReplaced) {
  EXPECT_EQ(NullToDefault(Value{}, std::string()), Value(std::string()));
  EXPECT_EQ(NullToDefault(int64_t{0}, std::string()), Value(int64_t{0}));
  EXPECT_EQ(NullToDefault(std::string(), std::string("x")), Value(std::string()));
  EXPECT_EQ(NullToDefault(false, true), Value(false));
  EXPECT_TRUE(IsNull(NullToDefault(Value{}, Value{})));
}

TEST(FileExists, TrueForWhatTheFileSystemCanDateFalseOtherwise) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("vq_helpers_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  fs::path file = dir / "Sales DB.mdb";
  std::ofstream(file) << "x";

  EXPECT_TRUE(FileExists(file.string()));
  EXPECT_FALSE(FileExists(""));
  EXPECT_FALSE(FileExists((dir / "absent.mdb").string()));
  EXPECT_FALSE(FileExists((file / "below-a-file").string()));
  // A NUL must not let the name stand for its prefix.
  EXPECT_FALSE(FileExists(file.string() + std::string(1, '\0') + "junk"));
  fs::remove_all(dir);
  EXPECT_FALSE(FileExists(file.string()));
}

TEST(MemoryTableList, AddItemKeepsCaseInsensitiveOrder) {
  auto list = ListOf({"omega", "alpha", "zeta"});
  EXPECT_EQ(list.Items(), (std::vector<std::string>{"alpha", "omega", "zeta"}));
  list.AddItem("beta");
  EXPECT_EQ(list.List(1), "beta");
  list.AddItem("Charlie");
  list.AddItem("ALPHA2");
  EXPECT_EQ(list.Items(),
            (std::vector<std::string>{"alpha", "ALPHA2", "beta", "Charlie", "omega", "zeta"}));
}

TEST(MemoryTableList, CurrentEntryAndSelectionsFollowTheirEntries) {
  auto list = ListOf({"b", "d"});
  EXPECT_EQ(list.ListIndex(), -1);
  list.AddItem("e");  // no current entry: stays none
  EXPECT_EQ(list.ListIndex(), -1);

  list.SetListIndex(1);  // "d"
  list.SetSelected(1, true);
  list.AddItem("a");  // before it
  EXPECT_EQ(list.ListIndex(), 2);
  EXPECT_EQ(list.List(list.ListIndex()), "d");
  EXPECT_TRUE(list.Selected(2));
  EXPECT_FALSE(list.Selected(0));
  list.AddItem("z");  // after it
  EXPECT_EQ(list.ListIndex(), 2);

  list.RemoveItem(0);  // before it
  EXPECT_EQ(list.List(list.ListIndex()), "d");
  EXPECT_EQ(list.SelCount(), 1);
  list.RemoveItem(list.ListIndex());  // the current entry itself
  EXPECT_EQ(list.ListIndex(), -1);
  EXPECT_EQ(list.SelCount(), 0);

  list.SetListIndex(0);
  list.Clear();
  EXPECT_EQ(list.ListIndex(), -1);
  EXPECT_EQ(list.ListCount(), 0);
}

TEST(MemoryTableList, PositionsOutsideTheListAreErrors) {
  auto list = ListOf({"a"});
  EXPECT_THROW(list.List(1), DatabaseError);
  EXPECT_THROW(list.Selected(-1), DatabaseError);
  EXPECT_THROW(list.SetListIndex(1), DatabaseError);
  EXPECT_THROW(list.RemoveItem(1), DatabaseError);
  EXPECT_NO_THROW(list.SetListIndex(-1));
}

}  // namespace
}  // namespace vq
