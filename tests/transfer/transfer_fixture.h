// What the transfer tests share: the tables window in memory, scripted boxes,
// connection settings, and provider doubles standing in for either side.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/command_env.h"
#include "dataaccess/connection_settings.h"
#include "dataaccess/error_report.h"
#include "dataaccess/memory_interaction.h"
#include "support/fake_provider.h"
#include "transfer/transfer.h"

namespace vq::testing {

// ADO type codes the tests describe columns with.
inline constexpr int kAdSmallInt = 2, kAdInteger = 3, kAdSingle = 4, kAdDouble = 5, kAdCurrency = 6,
                     kAdDate = 7, kAdBoolean = 11, kAdDecimal = 14, kAdUnsignedTinyInt = 17,
                     kAdBigInt = 20, kAdGuid = 72, kAdBinary = 128, kAdChar = 129, kAdNumeric = 131,
                     kAdDBTimeStamp = 135, kAdVarChar = 200, kAdLongVarChar = 201,
                     kAdVarWChar = 202, kAdLongVarWChar = 203, kAdVarBinary = 204,
                     kAdLongVarBinary = 205;

// A column of a fake table.
inline FieldInfo Column(std::string name, int type, int64_t size = 0, uint8_t precision = 0,
                        uint8_t scale = 0) {
  FieldInfo f;
  f.name = std::move(name);
  f.type = type;
  f.defined_size = size;
  f.precision = precision;
  f.scale = scale;
  return f;
}

// The tables window and the command's surroundings, with both providers
// replaced by doubles until a test puts a real one back.
class TransferTest : public ::testing::Test {
 protected:
  // The path decides the Access provider's name: Jet for .mdb.
  TransferTest() {
    settings_.Set(Setting::kAccessFile, "/nowhere/test.mdb");
    settings_.Set(Setting::kAccessPassword, "pw");
    settings_.Set(Setting::kAseServer, "127.0.0.1");
    settings_.Set(Setting::kAsePort, "5000");
    settings_.Set(Setting::kAseUser, "sa");
    settings_.Set(Setting::kAsePassword, "secret");
    settings_.Set(Setting::kAseDatabase, "testdb");
  }

  // Puts the real ASE provider back, for tests against the test server.
  void UseRealAse() { fake_ase_.reset(); }
  // Puts the real Access provider back.
  void UseRealAccess() { fake_access_.reset(); }

  int ToAse() { return SendTablesToAse(env_, window_, options_); }
  int ToAccess() { return SendTablesToAccess(env_, window_, options_); }

  // Adds `names` to a list, all selected, the first current.
  static void Select(MemoryTableList& list, std::initializer_list<const char*> names) {
    for (const char* n : names) list.AddItem(n);
    for (int i = 0; i < list.ListCount(); ++i) {
      for (const char* n : names) {
        if (list.List(i) == n) list.SetSelected(i, true);
      }
    }
    if (list.ListCount() > 0) list.SetListIndex(0);
  }

  // The texts of the failure reports shown so far.
  std::vector<std::string> Reports() const {
    std::vector<std::string> out;
    for (const auto& m : dialogs_.messages) {
      if (m.title == kErrorReportTitle) out.push_back(m.text);
    }
    return out;
  }

  // The report text for a failure of `handler` at `step` with `description`, showing `sql`.
  static std::string Report(const char* handler, const std::string& description, int step,
                            const std::string& sql) {
    return ComposeTransferErrorReport(description, LocationLiteral("Form2", handler), step, sql);
  }

  FixedConnectionSettings settings_;
  ScriptedDialogs dialogs_;
  CountingYielder yielder_;
  CommandEnv env_{settings_, dialogs_, yielder_};
  MemoryTableList list1_, list2_;
  MemoryProgressBar progress_;
  MemoryPointer pointer_;
  TablesWindow window_{list1_, list2_, progress_, pointer_};
  // Every yield reaches the counter, so the tests can count them.
  TransferOptions options_{std::chrono::microseconds(0), std::chrono::milliseconds(5)};

  std::shared_ptr<FakeDatabase> access_ = std::make_shared<FakeDatabase>();
  std::shared_ptr<FakeDatabase> ase_ = std::make_shared<FakeDatabase>();
  std::unique_ptr<FakeProvider> fake_access_ =
      std::make_unique<FakeProvider>("Microsoft.Jet.OLEDB.4.0", access_);
  std::unique_ptr<FakeProvider> fake_ase_ = std::make_unique<FakeProvider>("ASEOLEDB", ase_);
};

}  // namespace vq::testing
