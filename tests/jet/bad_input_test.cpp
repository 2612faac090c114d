// Files that are not what they claim: each must give a JetError, never a crash,
// a hang or a read outside a buffer (the sanitizer build checks the last).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "jet/database.h"
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

TEST(BadInput, WhatIsNoDatabaseFileAtAll) {
  EXPECT_TRUE(Refused(::testing::TempDir()));  // a directory
  EXPECT_TRUE(Refused(::testing::TempDir() + "/no such file.mdb"));
  EXPECT_TRUE(Refused(Save({}, "empty.mdb")));
  std::vector<uint8_t> text(8192, 'x');
  EXPECT_TRUE(Refused(Save(text, "text.mdb")));
}

class DamagedFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kFixtures + "INDEX.tsv"))
      GTEST_SKIP() << "no shared Access fixtures at " << kFixtures;
  }
};

TEST_F(DamagedFixture, TruncatedFilesAreRefusedOrReadUpToTheirEnd) {
  for (const char* file : {"jackcess/src/test/data/V1997/testV1997.mdb",
                           "jackcess/src/test/data/V2000/testV2000.mdb"}) {
    std::vector<uint8_t> whole = Load(kFixtures + file);
    ASSERT_GT(whole.size(), 3 * 4096u) << file;
    for (size_t size : {size_t{0}, size_t{100}, size_t{2048}, size_t{4096}, size_t{3 * 4096 - 1},
                        whole.size() / 3, whole.size() / 2 + 17, whole.size() - 1}) {
      std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(size));
      std::string path = Save(cut, "cut.mdb");
      try {
        testing::ReadEverything(path);
      } catch (const JetError&) {
      }
    }
    std::vector<uint8_t> tiny(whole.begin(), whole.begin() + 2048);
    EXPECT_TRUE(Refused(Save(tiny, "tiny.mdb"))) << file;
  }
}

TEST_F(DamagedFixture, LoopsWrongPageTypesAndAbsurdCountsAreErrors) {
  std::vector<uint8_t> good = Load(kFixtures + "mdb-reader/test/data/V2003/test.mdb");
  const size_t page = 4096;
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
  // The sanitizers turn any read outside a buffer here into a failure.
  for (const char* file :
       {"jackcess/src/test/data/V1997/testV1997.mdb", "mdb-reader/test/data/V2003/test.mdb",
        "mdb-reader/test/data/V2016/longtext.accdb"}) {
    std::vector<uint8_t> good = Load(kFixtures + file);
    ASSERT_GT(good.size(), 3 * 4096u) << file;
    std::mt19937 random(1234);
    int refused = 0;
    for (int round = 0; round < 60; ++round) {
      std::vector<uint8_t> b = good;
      for (int k = 0; k < 20; ++k) {
        // Damage lands on pages 1 onwards, where the catalogue and rows live.
        size_t at = 4096 + random() % (b.size() - 4096);
        b[at] = static_cast<uint8_t>(random());
      }
      refused += Refused(Save(b, "random.mdb"));
    }
    SUCCEED() << refused << " damaged copies of " << file << " refused";
  }
}

}  // namespace
}  // namespace jet
