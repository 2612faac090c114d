// vellquist-transfer --column-types: the choice is checked, and "keep" makes
// the typed tables the window's "Keep column types" makes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "dataaccess/session.h"
#include "support/access_write_probe.h"
#include "support/ase_server_fixture.h"
#include "transfer_tool.h"

namespace vq::tools {
namespace {

using Names = std::vector<std::string>;

int Tool(const Names& args, std::string* err = nullptr) {
  std::ostringstream out;
  const int status = RunVellquistTransfer(args, out, false);
  if (err) *err = out.str();
  return status;
}

TEST(TypedTransferToolOptions, ColumnTypesTakesKeepOrText) {
  std::string err;
  EXPECT_EQ(Tool({"--column-types", "typed", "--delete-ase", "T"}, &err), kTransferCannotStart);
  EXPECT_NE(err.find("--column-types takes keep or text"), std::string::npos) << err;
  EXPECT_EQ(Tool({"--delete-ase", "T", "--column-types"}, &err), kTransferCannotStart);
  EXPECT_EQ(Tool({"--help"}, &err), kTransferOk);
  EXPECT_NE(err.find("--column-types keep|text"), std::string::npos) << err;
}

class TypedTransferToolRun : public ::testing::Test {
 protected:
  TypedTransferToolRun() {
    const std::string stem = std::string("typed-tool-") +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                             std::to_string(getpid());
    file_ = vq::testing::NewAccessFileWithTables(stem + ".mdb");
    settings_ = ::testing::TempDir() + "/" + stem + ".conf";
    std::ofstream(settings_) << "[Vellquist]\nAccessMDBFile=" << file_
                             << "\nAccessPassword=\nASEServer=127.0.0.1\nASEPort=" << server_.port()
                             << "\nASEUser=" << server_.user() << "\nASEPassword=\""
                             << server_.password() << "\"\nASEDatabase=" << server_.database()
                             << "\n";
  }
  ~TypedTransferToolRun() override {
    std::filesystem::remove(file_);
    std::filesystem::remove(settings_);
  }

  // The ADO types of the columns of Table1 on the server.
  std::vector<int> AseTypes() {
    DatabaseSession db;
    db.Open("Provider=ASEOLEDB;Data Source=127.0.0.1:" + std::to_string(server_.port()) +
            ";User Id=" + server_.user() + ";Password=" + server_.password() +
            ";;Catalog=" + server_.database());
    RecordSet rs;
    rs.Open("SELECT * FROM [Table1]", db);
    std::vector<int> out;
    for (int j = 0; j < rs.Fields().Count(); ++j) out.push_back(rs.Fields().Item(j).Type());
    return out;
  }

  vq::testing::AseServerFixture server_;
  std::string file_, settings_;
};

TEST_F(TypedTransferToolRun, KeepMakesTypedColumnsAndTextTheDefaultOnes) {
  // Table1: TEXT(50), TEXT(100), BYTE, SHORT, LONG, FLOAT, DATETIME, CURRENCY, BIT.
  std::string err;
  EXPECT_EQ(
      Tool({"--settings", settings_, "--column-types", "keep", "--send-to-ase", "Table1"}, &err),
      kTransferOk)
      << err;
  EXPECT_EQ(AseTypes(), (std::vector<int>{202, 202, 17, 2, 3, 5, 135, 6, 11}));
  EXPECT_EQ(Tool({"--settings", settings_, "--overwrite", "yes", "--send-to-ase", "Table1"}, &err),
            kTransferOk)
      << err;
  EXPECT_EQ(AseTypes(), (std::vector<int>{201, 201, 3, 3, 3, 201, 201, 6, 11}));
}

}  // namespace
}  // namespace vq::tools
