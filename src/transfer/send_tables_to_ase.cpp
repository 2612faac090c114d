// "Send Table/s To Sybase ASE": the Access tables selected in List1 become
// ASE tables, one INSERT per row. The numbers given to Steps are the
// handler's statement numbers that the error report names.
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "dataaccess/connection_settings.h"
#include "dataaccess/error.h"
#include "dataaccess/helpers.h"
#include "dataaccess/run_while_yielding.h"
#include "dataaccess/session.h"
#include "dataaccess/type_names.h"
#include "transfer/row_sender.h"
#include "transfer/statement_text.h"
#include "transfer/steps.h"
#include "transfer/transfer.h"
#include "transfer/typed_columns.h"

namespace vq {
namespace {

// One run of the command: its connections, the statement buffer the report
// shows, and the table being sent.
class ToAse {
 public:
  ToAse(const CommandEnv& env, const TablesWindow& window, const TransferOptions& options)
      : env_(env),
        w_(window),
        trap_(env.dialogs, "Form2", "PushButton3_Click"),
        s_(trap_),
        yield_(env.yielder, options.yield_interval),
        worker_(env.yielder, options.call_poll),
        rows_(s_, worker_, buffer_, {208, 276, 278}, options.batch_rows,
              options.combine_statements),
        keep_types_(options.keep_column_types) {
    trap_.TrackStatement(&buffer_);
  }

  int Run() {
    // 100, 102, 104: the Access connection, the result set and the ASE
    // connection are members, unopened.
    s_.Do(106, [&] { yield_.DoEvents(); });
    if (s_.Test(108, [&] { return w_.list1.ListIndex() == -1; })) {
      s_.Do(302, [&] { env_.dialogs.MsgBox("Please select a table", kMsgOkOnly, ""); });
      return s_.Failures();
    }
    s_.Do(110, [&] { w_.pointer.SetPointer(kPointerHourglass); });
    s_.Do(112, [&] { ase_.SetCursorLocation(kAdUseServer); });
    s_.Do(114, [&] {
      const std::string cs = BuildSybaseConnectionString(env_.settings);
      worker_.Run([&] { ase_.Open(cs); });
    });
    s_.Do(116, [&] { access_.SetCursorLocation(kAdUseClient); });
    s_.Do(118, [&] { access_.SetMode(kAdModeReadWrite); });
    s_.Do(120, [&] {
      const std::string cs = BuildAccessConnectionString(env_.settings, "", "");
      worker_.Run([&] { access_.Open(cs); });
    });
    if (keep_types_ && ase_.IsOpen()) {
      // What the server takes beyond 12.5.1 decides a few typed columns; a
      // server that cannot say is taken to have none of it.
      try {
        worker_.Run([&] {
          server_types_.bigint = ase_.TakesColumnType("BIGINT");
          server_types_.unitext = ase_.TakesColumnType("UNITEXT");
          server_types_.bigdatetime = ase_.TakesColumnType("BIGDATETIME");
        });
      } catch (...) {
        server_types_ = {false, false, false};
      }
    }
    // From the bottom of the list to the top.
    const int last = s_.Read<int>(
        122, [&] { return w_.list1.ListCount() - 1; }, 0);
    for (int i = last; i >= 0; --i) {
      s_.Do(124, [&] { yield_.DoEvents(); });
      if (s_.Test(126, [&] { return w_.list1.Selected(i); })) SendTable(i);
    }
    // 288: the end of the walk.
    s_.Do(296, [&] { worker_.Run([&] { access_.Close(); }); });
    s_.Do(298, [&] { worker_.Run([&] { ase_.Close(); }); });
    s_.Do(300, [&] { w_.pointer.SetPointer(kPointerDefault); });
    return s_.Failures();
  }

 private:
  void SendTable(int i) {
    std::string name;
    // The name stands in the Access query and in every ASE statement; one
    // that either cannot take is reported and the table passed over.
    if (!s_.Do(128, [&] {
          name = w_.list1.List(i);
          CheckAccessSourceName(name);
          CheckAseTableName(name);
        })) {
      return;
    }
    table_ = name;
    int answer = 0;  // no question asked
    if (s_.Test(130, [&] { return ListHasItem(w_.list2, name); })) {
      s_.Do(132, [&] {
        answer = env_.dialogs.MsgBox("Would you like to overwrite " + name + "?", kMsgYesNo,
                                     "Overwrite?");
      });
    }
    // 134: no question, no answer.
    if (s_.Test(136, [&] { return answer == kAnswerNo; })) return;
    if (answer == kAnswerYes) {  // 138
      bool kept = false;         // the drop failed with the table still there
      const bool dropped = s_.Do(140, [&] {
        const std::string drop = "DROP TABLE [" + name + "]";
        try {
          worker_.Run([&] { ase_.Execute(drop); });
        } catch (const DatabaseError& e) {
          kept = e.Number() != errors::kNoSuchTable;
          throw;
        } catch (...) {
          kept = true;
          throw;
        }
      });
      // A table the drop left keeps its entry and is not created again,
      // which could only fail a second time.
      if (!dropped && kept) return;
      // ASE names keep their case: the drop took the table spelled as N, and
      // the list names tables as the server does.
      s_.Do(142, [&] { RemoveListItem(w_.list2, name); });
    }
    // Without its rows there is nothing to create the table from.
    if (!s_.Do(144, [&] {
          const std::string select = "SELECT * FROM `" + name + "`";
          worker_.Run([&] { rs_.Open(select, access_, kAdOpenStatic, kAdLockOptimistic); });
        })) {
      return;
    }
    s_.Do(146, [&] { buffer_ = "CREATE TABLE [" + name + "]("; });
    keys_.clear();
    key_indexable_ = true;
    s_.Do(148, [&] {
      kinds_.clear();
      typed_.clear();
      big_dates_.clear();
      if (keep_types_) ScanDates(name);
    });
    if (!BuildCreate()) {
      // A column ASE cannot take: no statement is built from it, and the
      // table is not created.
      s_.Do(284, [&] { worker_.Run([&] { rs_.Close(); }); });
      return;
    }
    s_.Do(190, [&] { buffer_.pop_back(); });
    s_.Do(192, [&] { buffer_ += ")"; });
    // A table that was not created takes no rows and gets no entry: each of
    // its rows would only fail again, one report a row.
    if (!s_.Do(196, [&] { worker_.Run([&] { ase_.Execute(buffer_); }); })) {
      s_.Do(284, [&] { worker_.Run([&] { rs_.Close(); }); });
      return;
    }
    SendRows();
    s_.Do(282, [&] { w_.progress_bar1.SetValue(0); });
    s_.Do(284, [&] { worker_.Run([&] { rs_.Close(); }); });
    // Listed as created, so that the entry names a table the server has.
    s_.Do(286, [&] { w_.list2.AddItem(name); });
  }

  // Appends each column's definition to the CREATE TABLE statement. False
  // when a column's name is refused.
  bool BuildCreate() {
    columns_ = s_.Read<int>(
        150, [&] { return rs_.Fields().Count(); }, 0);
    for (int j = 0; j < columns_; ++j) {
      s_.Do(152, [&] { yield_.DoEvents(); });
      std::string column;
      if (!s_.Do(154, [&] {
            column = rs_.Fields().Item(j).Name();
            CheckAseName(column, "column");
          })) {
        return false;
      }
      const std::string type = s_.Read<std::string>(
          156,
          [&] {
            const auto code = static_cast<int16_t>(rs_.Fields().Item(j).Type());
            return LowerCase(DataTypeName(code).value_or(""));
          },
          "");
      if (keep_types_) {
        FieldInfo info;
        s_.Do(156, [&] { info = rs_.Fields().Item(j).Info(); });
        const bool big = j < static_cast<int>(big_dates_.size()) && big_dates_[j];
        const TypedAseColumn target = TypedAseColumnFor(info, server_types_, big);
        typed_.push_back(target.kind);
        kinds_.push_back(AseColumnKind::kText);
        if (info.key_position > 0) {
          if (keys_.size() < static_cast<size_t>(info.key_position))
            keys_.resize(info.key_position);
          keys_[info.key_position - 1] = column;
          if (!target.indexable) key_indexable_ = false;
        }
        s_.Do(158, [&] { buffer_ += TypedAseDefinition(column, target) + ","; });
        continue;
      }
      const AseColumn target = AseColumnFor(type);
      kinds_.push_back(target.kind);
      s_.Do(158, [&] { buffer_ += "[" + column + "]" + target.suffix; });
    }
    // 188: the end of the columns.
    if (keep_types_) {
      // ASE indexes no bit or long column: a key holding one is left out,
      // the columns themselves are kept.
      bool whole = key_indexable_;
      for (const std::string& k : keys_) whole = whole && !k.empty();
      if (whole && !keys_.empty()) s_.Do(158, [&] { buffer_ += AsePrimaryKey(keys_) + ","; });
    }
    return true;
  }

  // Finds the date columns holding a value that ASE's datetime cannot keep,
  // which then become bigdatetime where the server has it. Reads the table
  // once more, before anything is created.
  void ScanDates(const std::string& name) {
    if (!server_types_.bigdatetime) return;
    const int count = rs_.Fields().Count();
    std::vector<int> dates;
    for (int j = 0; j < count; ++j) {
      const int type = rs_.Fields().Item(j).Type();
      if (type == 7 || type == 133 || type == 135) dates.push_back(j);
    }
    big_dates_.assign(count, false);
    if (dates.empty()) return;
    worker_.Run([&] {
      RecordSet scan;
      scan.Open("SELECT * FROM `" + name + "`", access_, kAdOpenStatic, kAdLockOptimistic);
      size_t left = dates.size();
      while (!scan.Eof() && left > 0) {
        for (int j : dates) {
          if (big_dates_[j]) continue;
          const DateTime* t = std::get_if<DateTime>(&scan.Fields().Item(j).Value());
          if (t != nullptr && !DateTimeHolds(*t)) {
            big_dates_[j] = true;
            --left;
          }
        }
        scan.MoveNext();
      }
      scan.Close();
    });
  }

  void SendRows() {
    const int64_t last = s_.Read<int64_t>(
        204, [&] { return worker_.Run([&] { return rs_.RecordCount(); }) - 1; }, -1);
    // 206: the column kinds were kept while the columns were defined.
    // 208 (the row is there), 276 (its INSERT) and 278 (the next fetch) are
    // the row walk's own.
    rows_.Send(
        rs_, ase_, last + 1,
        [&](int64_t k) {
          s_.Do(210, [&] { yield_.DoEvents(); });
          // 212: the column kinds are read by position.
          s_.Do(214, [&] { w_.progress_bar1.SetValue(RowPercent(k, last + 1)); });
          s_.Do(216, [&] {
            // assign keeps the buffer's storage from row to row.
            buffer_.assign("INSERT INTO [").append(table_).append("] VALUES(");
          });
          // A value that cannot be read leaves the row unsent rather than sent wrong.
          if (!AppendValues()) return false;
          s_.Do(266, [&] { buffer_.resize(buffer_.size() >= 2 ? buffer_.size() - 2 : 0); });
          s_.Do(268, [&] { buffer_ += ")"; });
          // 270, 272: truth values were written as 1 and 0 by their type.
          // Text the server's character set cannot hold (a "€" on an iso_1
          // server) fails at 276 with its own message, so that row is reported
          // and the next one sent: no character arrives as '?'. The columns stay
          // TEXT rather than becoming univarchar: the statement itself travels in
          // the server's character set, so a Unicode column would not save the
          // characters either.
          return true;
        },
        go_on_);
    // 280: the end of the rows.
  }

  // Appends the current row's values; false when one cannot be read.
  bool AppendValues() {
    for (int j = 0; j < columns_; ++j) {
      s_.Do(220, [&] { yield_.DoEvents(); });
      const Value* value = nullptr;
      if (!s_.Do(222, [&] { value = &rows_.Column(j); })) return false;
      if (keep_types_) {
        const TypedAseKind typed =
            j < static_cast<int>(typed_.size()) ? typed_[j] : TypedAseKind::kText;
        // A value ASE cannot hold as it is leaves its row unsent, reported,
        // and counted toward a run of rows failing alike.
        std::exception_ptr failure;
        if (!s_.Do(250, [&] {
              try {
                buffer_ += TypedAseLiteral(typed, *value);
              } catch (...) {
                failure = std::current_exception();
                throw;
              }
              buffer_ += ", ";
            })) {
          rows_.CountUnsent(failure);
          return false;
        }
        continue;
      }
      const AseColumnKind kind =
          j < static_cast<int>(kinds_.size()) ? kinds_[j] : AseColumnKind::kText;
      // 224, 226: a number column's value goes bare (230 to 238), any
      // other's quoted (240 to 262).
      const int step = kind == AseColumnKind::kNumber ? 236 : 250;
      s_.Do(step, [&] {
        buffer_ += AseLiteral(kind, *value);
        buffer_ += ", ";
      });
    }
    // 264: the end of the values.
    return true;
  }

  const CommandEnv& env_;
  const TablesWindow& w_;
  StepTrap trap_;
  Steps s_;
  ThrottledYielder yield_;
  YieldingWorker worker_;
  DatabaseSession access_;
  RecordSet rs_;
  DatabaseSession ase_;
  std::string buffer_;  // the statement being built: CREATE TABLE, then each INSERT
  RowSender rows_;
  std::string table_;  // the table being sent
  std::vector<AseColumnKind> kinds_;
  int columns_ = 0;
  // "Keep column types": the typed columns, the server's types, the date
  // columns that need bigdatetime, and the primary key in key order.
  bool keep_types_ = false;
  AseServerTypes server_types_;
  std::vector<TypedAseKind> typed_;
  std::vector<bool> big_dates_;
  std::vector<std::string> keys_;
  bool key_indexable_ = true;
  // Asked when a run of rows fails with the same error.
  const std::function<bool()> go_on_ = [this] { return AskToGoOn(s_, env_.dialogs, 276, table_); };
};

}  // namespace

int SendTablesToAse(const CommandEnv& env, const TablesWindow& window,
                    const TransferOptions& options) {
  return ToAse(env, window, options).Run();
}

}  // namespace vq
