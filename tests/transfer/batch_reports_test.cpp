// Rows sent to the live test server as one command a batch report exactly as
// rows sent one statement a round trip: the same boxes in the same order, each
// refused row's own statement after "sql: ", the same rows on the server and
// the same progress. Each case runs both ways on the same source table.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dataaccess/backend.h"
#include "dataaccess/session.h"
#include "support/ase_server_fixture.h"
#include "transfer/statement_text.h"
#include "transfer_fixture.h"

namespace vq::testing {
namespace {

using Statements = std::vector<std::string>;

// What the transfer asked of the server, seen between the transfer and the
// real ASE provider.
struct Traffic {
  std::mutex mutex;
  Statements singles;           // every statement sent on its own, in order
  std::vector<size_t> batches;  // the size of every command of several statements
  std::vector<size_t> known;    // how many of each such command's statements had an outcome
};

// The real ASE connection, with every call noted in `traffic`.
class WatchedConnection : public Connection {
 public:
  WatchedConnection(std::unique_ptr<Connection> inner, std::shared_ptr<Traffic> traffic)
      : inner_(std::move(inner)), traffic_(std::move(traffic)) {}
  void Execute(const std::string& sql) override {
    {
      std::lock_guard lock(traffic_->mutex);
      traffic_->singles.push_back(sql);
    }
    inner_->Execute(sql);
  }
  size_t ExecuteBatch(const std::vector<std::string_view>& statements,
                      std::vector<std::exception_ptr>& outcomes) override {
    const size_t known = inner_->ExecuteBatch(statements, outcomes);
    std::lock_guard lock(traffic_->mutex);
    traffic_->batches.push_back(statements.size());
    traffic_->known.push_back(known);
    return known;
  }
  std::unique_ptr<Cursor> OpenSchema(int schema) override { return inner_->OpenSchema(schema); }
  std::unique_ptr<Cursor> Query(const std::string& sql, const QueryOptions& options) override {
    return inner_->Query(sql, options);
  }
  bool TakesColumnType(std::string_view sql_type) const override {
    return inner_->TakesColumnType(sql_type);
  }
  void Close() override { inner_->Close(); }

 private:
  std::unique_ptr<Connection> inner_;
  std::shared_ptr<Traffic> traffic_;
};

// What one run of the transfer showed and left.
struct Outcome {
  std::vector<std::string> boxes;  // every box: title, then text
  std::vector<int> progress;
  std::vector<Statements> rows;  // the server's table afterwards
  Statements listed;
};

class BatchReports : public TransferTest {
 protected:
  BatchReports() {
    UseRealAse();
    settings_.Set(Setting::kAsePort, std::to_string(server_.port()));
    settings_.Set(Setting::kAseUser, server_.user());
    settings_.Set(Setting::kAsePassword, server_.password());
    settings_.Set(Setting::kAseDatabase, server_.database());
    real_ = ProviderRegistry::Global().Find("ASEOLEDB");
    ProviderRegistry::Global().Register(
        "ASEOLEDB", [this](const std::string& cs, const SessionOptions& options) {
          return std::make_unique<WatchedConnection>(real_(cs, options), traffic_);
        });
    options_ = TransferOptions{};
    // Short batches, so that a few dozen rows make several of them.
    options_.batch_rows = 8;
  }
  ~BatchReports() override { ProviderRegistry::Global().Register("ASEOLEDB", real_); }

  // Sends table `name` (already in the Access double) with `combine` and
  // collects what the user saw; the server's table is dropped afterwards.
  Outcome Send(const std::string& name, bool combine, std::deque<int> answers = {}) {
    dialogs_.messages.clear();
    dialogs_.yes_no_answers = std::move(answers);
    progress_.history.clear();
    list1_.Clear();
    list2_.Clear();
    traffic_ = std::make_shared<Traffic>();
    options_.combine_statements = combine;
    Select(list1_, {name.c_str()});
    ToAse();
    Outcome out;
    for (const auto& m : dialogs_.messages) {
      out.boxes.push_back(m.title + ": " + m.text);
    }
    out.progress = progress_.history;
    out.rows = Rows("SELECT * FROM [" + name + "] ORDER BY [n]");
    out.listed = list2_.Items();
    Execute("DROP TABLE [" + name + "]");
    return out;
  }

  void Execute(const std::string& sql) {
    DatabaseSession db;
    db.Open(BuildSybaseConnectionString(settings_));
    db.Execute(sql);
  }

  std::vector<Statements> Rows(const std::string& sql) {
    DatabaseSession db;
    db.Open(BuildSybaseConnectionString(settings_));
    RecordSet rs;
    rs.Open(sql, db);
    std::vector<Statements> out;
    for (; !rs.Eof(); rs.MoveNext()) {
      Statements row;
      for (int j = 0; j < rs.Fields().Count(); ++j) {
        const Value& v = rs.Fields().Item(j).Value();
        row.push_back(IsNull(v) ? "<null>" : ToText(v));
      }
      out.push_back(std::move(row));
    }
    return out;
  }

  // The INSERTs of the last run that went on their own.
  Statements SingleInserts() const {
    Statements out;
    for (const std::string& s : traffic_->singles) {
      if (s.starts_with("INSERT")) out.push_back(s);
    }
    return out;
  }

  // Table `name` of `rows` rows: n and a money value counting from 1, and a label.
  void Fill(const std::string& name, int rows) {
    FakeTable& t = access_->tables[name];
    t.columns = {Column("n", kAdInteger), Column("m", kAdCurrency), Column("s", kAdVarWChar, 20)};
    for (int i = 1; i <= rows; ++i) {
      t.rows.push_back({int64_t{i}, Currency{int64_t{i} * 10000}, "row " + std::to_string(i)});
    }
  }
  Value& Cell(const std::string& name, int row, int column) {
    return access_->tables[name].rows[static_cast<size_t>(row - 1)][static_cast<size_t>(column)];
  }

  static std::vector<int> Progress(int rows) {
    std::vector<int> out;
    for (int k = 0; k < rows; ++k) out.push_back(RowPercent(k, rows));
    out.push_back(0);
    return out;
  }

  AseServerFixture server_;
  ProviderFactory real_;
  std::shared_ptr<Traffic> traffic_ = std::make_shared<Traffic>();
};

// Row `row`'s INSERT into T, `n` standing for its first value.
std::string Insert(const std::string& n, int row) {
  const std::string r = std::to_string(row);
  return "INSERT INTO [T] VALUES(" + n + ", " + r + ", 'row " + r + "')";
}

TEST_F(BatchReports, RefusedRowsAtTheStartMiddleAndEndOfBatchesReportAsOneAtATime) {
  // Batches of 8: rows 1, 12 and 16 are the first of one, inside one and the
  // last of one; 17 to 19 open the next; 40 is the table's last row. Values
  // too large for the column and values with a fraction are refused with
  // messages of their own.
  Fill("T", 40);
  for (int row : {1, 12, 17, 19, 40}) Cell("T", row, 0) = int64_t{3000000000} + row;
  for (int row : {16, 18}) Cell("T", row, 0) = Decimal{static_cast<unsigned>(row * 10 + 5), 1};

  const Outcome single = Send("T", false);
  ASSERT_TRUE(traffic_->batches.empty());
  EXPECT_EQ(SingleInserts().size(), 40u);
  const Outcome batched = Send("T", true);
  // Every INSERT went in a command of several, and none again on its own.
  EXPECT_EQ(traffic_->batches, (std::vector<size_t>{8, 8, 8, 8, 8}));
  EXPECT_EQ(traffic_->known, traffic_->batches);
  EXPECT_TRUE(SingleInserts().empty()) << SingleInserts().front();

  // The one-at-a-time walk reports each refused row with its own statement
  // and the server's words for it.
  const std::vector<int> refused = {1, 12, 16, 17, 18, 19, 40};
  ASSERT_EQ(single.boxes.size(), refused.size());
  for (size_t i = 0; i < refused.size(); ++i) {
    const int row = refused[i];
    const bool fraction = row == 16 || row == 18;
    const std::string n =
        fraction ? std::to_string(row) + ".5" : std::to_string(int64_t{3000000000} + row);
    SCOPED_TRACE(Insert(n, row));
    EXPECT_TRUE(single.boxes[i].starts_with(kErrorReportTitle)) << single.boxes[i];
    EXPECT_TRUE(single.boxes[i].ends_with("sql: " + Insert(n, row))) << single.boxes[i];
    EXPECT_NE(single.boxes[i].find(fraction ? "Scale error" : "Arithmetic overflow"),
              std::string::npos)
        << single.boxes[i];
    EXPECT_NE(single.boxes[i].find("value '" + n + "'"), std::string::npos) << single.boxes[i];
  }
  EXPECT_EQ(batched.boxes, single.boxes);

  std::vector<Statements> kept;
  for (int i = 1; i <= 40; ++i) {
    if (std::find(refused.begin(), refused.end(), i) == refused.end()) {
      kept.push_back({std::to_string(i), std::to_string(i), "row " + std::to_string(i)});
    }
  }
  EXPECT_EQ(single.rows, kept);
  EXPECT_EQ(batched.rows, kept);
  EXPECT_EQ(single.progress, Progress(40));
  EXPECT_EQ(batched.progress, Progress(40));
  EXPECT_EQ(single.listed, Statements{"T"});
  EXPECT_EQ(batched.listed, Statements{"T"});
}

TEST_F(BatchReports, ABatchThatDoesNotCompileIsSentAgainOneStatementAtATime) {
  // Row 13 holds a text where the server wants a number, which it refuses
  // when it compiles the command, so that none of rows 9 to 16 is carried
  // out as a batch. Row 10, in the same batch, is refused only when it runs;
  // row 21, in the next batch, shows that batches resume.
  Fill("T", 24);
  Cell("T", 13, 0) = std::string("thirteen");
  Cell("T", 10, 0) = int64_t{3000000000};
  Cell("T", 21, 0) = int64_t{-3000000000};

  const Outcome single = Send("T", false);
  const Outcome batched = Send("T", true);
  EXPECT_EQ(traffic_->batches, (std::vector<size_t>{8, 8, 8}));
  EXPECT_EQ(traffic_->known, (std::vector<size_t>{8, 0, 8}));
  Statements again;
  for (int i = 9; i <= 16; ++i) {
    again.push_back(Insert(i == 13 ? "'thirteen'" : i == 10 ? "3000000000" : std::to_string(i), i));
  }
  EXPECT_EQ(SingleInserts(), again);

  ASSERT_EQ(single.boxes.size(), 3u);
  EXPECT_TRUE(single.boxes[0].ends_with("sql: " + again[1])) << single.boxes[0];
  EXPECT_TRUE(single.boxes[1].ends_with("sql: " + again[4])) << single.boxes[1];
  // The server's own words for a text where a number belongs.
  EXPECT_NE(single.boxes[1].find("Implicit conversion"), std::string::npos) << single.boxes[1];
  EXPECT_TRUE(single.boxes[2].ends_with("sql: " + Insert("-3000000000", 21))) << single.boxes[2];
  EXPECT_EQ(batched.boxes, single.boxes);
  EXPECT_EQ(batched.rows, single.rows);
  EXPECT_EQ(single.rows.size(), 21u);
  EXPECT_EQ(batched.progress, Progress(24));
  EXPECT_EQ(single.progress, Progress(24));
}

TEST_F(BatchReports, ARunOfAlikeRefusalsAsksOnceAtTheSameRowEitherWay) {
  // Rows 5 to 30 are all refused alike, across batches: the question comes
  // after the tenth of them (row 14), once; a Yes sends the rest, whose
  // refusals are reported each.
  Fill("T", 36);
  for (int row = 5; row <= 30; ++row) Cell("T", row, 0) = int64_t{3000000000};
  const Outcome single = Send("T", false, {kAnswerYes});
  const Outcome batched = Send("T", true, {kAnswerYes});
  ASSERT_EQ(single.boxes.size(), 27u);
  const std::string question = std::string(kFailureRunTitle) +
                               ": The last 10 rows of T failed with the same error. "
                               "Go on sending T?";
  EXPECT_EQ(single.boxes[10], question);
  EXPECT_TRUE(single.boxes[9].ends_with("sql: " + Insert("3000000000", 14))) << single.boxes[9];
  EXPECT_TRUE(single.boxes[26].ends_with("sql: " + Insert("3000000000", 30))) << single.boxes[26];
  EXPECT_EQ(batched.boxes, single.boxes);
  EXPECT_EQ(batched.rows.size(), 10u);
  EXPECT_EQ(batched.rows, single.rows);
  EXPECT_EQ(batched.progress, single.progress);

  // A No stops the table at the question: no report and no row after it.
  const Outcome stopped_single = Send("T", false, {kAnswerNo});
  const Outcome stopped_batched = Send("T", true, {kAnswerNo});
  ASSERT_EQ(stopped_single.boxes.size(), 11u);
  EXPECT_EQ(stopped_single.boxes.back(), question);
  EXPECT_EQ(stopped_batched.boxes, stopped_single.boxes);
  EXPECT_EQ(stopped_single.rows.size(), 4u);
  EXPECT_EQ(stopped_batched.rows, stopped_single.rows);
  EXPECT_EQ(stopped_single.listed, Statements{"T"});
  EXPECT_EQ(stopped_batched.listed, Statements{"T"});
}

}  // namespace
}  // namespace vq::testing
