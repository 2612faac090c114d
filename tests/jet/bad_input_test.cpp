// Files that are not what they claim: each must give a JetError, never a crash,
// a hang or a read outside a buffer (the sanitizer build checks the last).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "jet/data_page.h"
#include "jet/database.h"
#include "jet/usage_map.h"
#include "read_everything.h"

namespace jet {
namespace {

const std::string kFixtures = std::string(VQ_SHARED_DIR) + "/fixtures/access/";

std::vector<uint8_t> Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

std::string Save(const std::vector<uint8_t>& bytes, const std::string& name) {
  std::string path = ::testing::TempDir() + "/" + name;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return path;
}

// True when reading all of `path` fails with a JetError; false when it succeeds.
bool Refused(const std::string& path) {
  try {
    testing::ReadEverything(path);
    return false;
  } catch (const JetError& e) {
    EXPECT_FALSE(std::string(e.what()).empty());
    return true;
  }
}

// The error number reading all of `path` fails with, or 0 when it reads.
int32_t ReadError(const std::string& path, uint64_t* rows = nullptr) {
  try {
    uint64_t n = testing::ReadEverything(path);
    if (rows) *rows = n;
    return 0;
  } catch (const JetError& e) {
    return e.Number();
  }
}

TEST(BadInput, WhatIsNoDatabaseFileAtAll) {
  EXPECT_TRUE(Refused(::testing::TempDir()));  // a directory
  EXPECT_TRUE(Refused(::testing::TempDir() + "/no such file.mdb"));
  EXPECT_TRUE(Refused(Save({}, "empty.mdb")));
  std::vector<uint8_t> text(8192, 'x');
  EXPECT_TRUE(Refused(Save(text, "text.mdb")));
}

// Damaged copies of the shared fixtures; each test skips, naming the file,
// when a fixture it needs is absent.
class DamagedFixture : public ::testing::Test {
 protected:
  // The bytes of fixture `file`, or nothing when it is absent.
  static std::vector<uint8_t> Fixture(const std::string& file) {
    if (!std::filesystem::exists(kFixtures + file)) return {};
    return Load(kFixtures + file);
  }
};

#define LOAD_OR_SKIP(var, file)             \
  std::vector<uint8_t> var = Fixture(file); \
  if (var.empty())                          \
  GTEST_SKIP() << "damages a file made by Access: no shared fixture " << kFixtures << (file)

TEST_F(DamagedFixture, TruncatedFilesAreRefusedOrReadWhole) {
  for (const char* file : {"jackcess/src/test/data/V1997/testV1997.mdb",
                           "jackcess/src/test/data/V2000/testV2000.mdb"}) {
    SCOPED_TRACE(file);
    LOAD_OR_SKIP(whole, file);
    ASSERT_GT(whole.size(), 3 * 4096u);
    uint64_t all_rows = 0;
    ASSERT_EQ(ReadError(Save(whole, "whole.mdb"), &all_rows), 0);
    int refused = 0;
    for (size_t size : {size_t{0}, size_t{100}, size_t{2048}, size_t{4096}, size_t{3 * 4096 - 1},
                        whole.size() / 3, whole.size() / 2 + 17, whole.size() - 1}) {
      SCOPED_TRACE(size);
      std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(size));
      // A cut file is damaged or (when only unused pages went) whole: never a
      // file that quietly reads fewer rows.
      uint64_t rows = 0;
      int32_t error = ReadError(Save(cut, "cut.mdb"), &rows);
      if (error == 0) {
        EXPECT_EQ(rows, all_rows);
      } else {
        EXPECT_EQ(error, error_numbers::kCorrupt);
        ++refused;
      }
    }
    // The files up to a catalogue's worth of pages cannot be read at all.
    EXPECT_GE(refused, 5);
  }
}

TEST_F(DamagedFixture, LoopsWrongPageTypesAndAbsurdCountsAreErrors) {
  LOAD_OR_SKIP(good, "mdb-reader/test/data/V2003/test.mdb");
  const size_t page = 4096;
  ASSERT_FALSE(Refused(Save(good, "good.mdb")));
  auto damaged = [&](auto change) {
    std::vector<uint8_t> b = good;
    change(b);
    return Refused(Save(b, "damaged.mdb"));
  };
  // The catalogue's definition page continues into itself.
  EXPECT_TRUE(damaged([&](auto& b) { b[2 * page + 4] = 2; }));
  // The catalogue's definition page has the type of a data page.
  EXPECT_TRUE(damaged([&](auto& b) { b[2 * page] = 0x01; }));
  // The catalogue claims 60,000 columns.
  EXPECT_TRUE(damaged([&](auto& b) {
    b[2 * page + 45] = 0x60;
    b[2 * page + 46] = 0xEA;
  }));
  // The catalogue's owned-pages map points past the end of the file.
  EXPECT_TRUE(damaged([&](auto& b) { b[2 * page + 58] = 0x7F; }));
}

TEST_F(DamagedFixture, RandomDamageNeverCrashes) {
  // The sanitizers turn any read outside a buffer here into a failure, and any
  // exception other than a JetError fails the test; a refusal must say the
  // file is damaged, not claim some other cause.
  for (const char* file :
       {"jackcess/src/test/data/V1997/testV1997.mdb", "mdb-reader/test/data/V2003/test.mdb",
        "mdb-reader/test/data/V2016/longtext.accdb"}) {
    SCOPED_TRACE(file);
    LOAD_OR_SKIP(good, file);
    ASSERT_GT(good.size(), 3 * 4096u);
    std::mt19937 random(1234);
    int refused = 0;
    for (int round = 0; round < 60; ++round) {
      std::vector<uint8_t> b = good;
      for (int k = 0; k < 20; ++k) {
        // Damage lands on pages 1 onwards, where the catalogue and rows live.
        size_t at = 4096 + random() % (b.size() - 4096);
        b[at] = static_cast<uint8_t>(random());
      }
      int32_t error = ReadError(Save(b, "random.mdb"));
      if (error != 0) {
        EXPECT_EQ(error, error_numbers::kCorrupt) << "round " << round;
        ++refused;
      }
    }
    // Twenty damaged bytes in each of 60 copies: some copies must be noticed.
    EXPECT_GT(refused, 0);
  }
}

// Where the owned-pages map of table `name` lives in `bytes`, a Jet4 file.
size_t OwnedMapOffset(const std::vector<uint8_t>& bytes, const std::string& path,
                      const std::string& name) {
  auto db = Database::Open(path, "");
  RowPointer where = db->Definition(name).owned_pages;
  DataPage page(ByteView(bytes.data() + where.page * 4096, 4096), false, where.page);
  return static_cast<size_t>(page.Row(where.row).data() - bytes.data());
}

TEST_F(DamagedFixture, ATableMapClaimingPagesPastTheEndIsDamage) {
  LOAD_OR_SKIP(good, "mdb-reader/test/data/V2010/test.accdb");
  const std::string path = Save(good, "good.accdb");
  const uint32_t pages = static_cast<uint32_t>(good.size() / 4096);
  uint64_t rows = 0;
  ASSERT_EQ(ReadError(path, &rows), 0);
  ASSERT_GT(rows, 0u);

  // Table1's map is inline from page 0 and its bitmap reaches past the end,
  // so one more bit claims a page the file does not have.
  size_t map = OwnedMapOffset(good, path, "Table1");
  ASSERT_EQ(good[map], 0) << "Table1's map is not inline";
  uint32_t start = good[map + 1] | good[map + 2] << 8 | good[map + 3] << 16 | good[map + 4] << 24;
  uint32_t beyond = pages + 3 - start;
  ASSERT_LT(map + 5 + beyond / 8, map + 69);
  std::vector<uint8_t> b = good;
  b[map + 5 + beyond / 8] |= static_cast<uint8_t>(1 << (beyond % 8));
  const std::string damaged = Save(b, "claims.accdb");
  EXPECT_EQ(ReadError(damaged), error_numbers::kCorrupt);
  auto db = Database::Open(damaged, "");
  try {
    db->OpenTable("Table1")->CountRows();
    ADD_FAILURE() << "counting rows over a map that claims a missing page succeeded";
  } catch (const JetError& e) {
    EXPECT_NE(std::string(e.what()).find("past the end"), std::string::npos) << e.what();
  }

  // The free-page map marks every page past the end as free: read as such, it
  // just ends there; read as a table's map, the same row is damage.
  PageFile file(path, PageFile::Mode::kReadOnly);
  file.SetLayout(4096, {});
  UsageMap free_pages(file, false, RowPointer{1, 0}, UsageMap::PastEnd::kEndsMap);
  uint32_t last = 0;
  while (auto p = free_pages.Next()) last = *p;
  EXPECT_LT(last, pages);
  UsageMap as_table(file, false, RowPointer{1, 0});
  EXPECT_THROW(while (as_table.Next()){}, JetError);
}

}  // namespace
}  // namespace jet
