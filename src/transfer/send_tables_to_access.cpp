// "Send Table/s To Access": the Sybase ASE tables selected in List2 become
// Access tables, one INSERT per row. The numbers given to Steps are the
// handler's statement numbers that the error report names.
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

// Removes every entry of `list` that equals `name` ignoring case, the way
// ListHasItem found them.
void RemoveEntriesIgnoringCase(TableList& list, const std::string& name) {
  const std::string wanted = LowerCase(name);
  for (int i = list.ListCount() - 1; i >= 0; --i) {
    if (LowerCase(list.List(i)) == wanted) list.RemoveItem(i);
  }
}

// One run of the command: its connections, the statement buffer the report
// shows, and the table being sent.
class ToAccess {
 public:
  ToAccess(const CommandEnv& env, const TablesWindow& window, const TransferOptions& options)
      : env_(env),
        w_(window),
        trap_(env.dialogs, "Form2", "PushButton4_Click"),
        s_(trap_),
        yield_(env.yielder, options.yield_interval),
        worker_(env.yielder, options.call_poll),
        rows_(s_, worker_, buffer_, {216, 248, 250}, options.batch_rows,
              options.combine_statements),
        keep_types_(options.keep_column_types) {
    trap_.TrackStatement(&buffer_);
  }

  int Run() {
    // 100, 102, 104: the Access connection, the ASE connection and the
    // result set are members, unopened.
    s_.Do(106, [&] { yield_.DoEvents(); });
    if (s_.Test(110, [&] { return w_.list2.ListIndex() == -1; })) {
      s_.Do(274, [&] { env_.dialogs.MsgBox("Please select a table to send.", kMsgOkOnly, ""); });
      return s_.Failures();
    }
    s_.Do(112, [&] { w_.pointer.SetPointer(kPointerHourglass); });
    s_.Do(114, [&] { ase_.SetCursorLocation(kAdUseClient); });
    s_.Do(116, [&] {
      const std::string cs = BuildSybaseConnectionString(env_.settings);
      worker_.Run([&] { ase_.Open(cs); });
    });
    s_.Do(118, [&] { access_.SetCursorLocation(kAdUseServer); });
    s_.Do(120, [&] { access_.SetMode(kAdModeReadWrite); });
    s_.Do(122, [&] {
      const std::string cs = BuildAccessConnectionString(env_.settings, "", "");
      worker_.Run([&] { access_.Open(cs); });
    });
    // A file that failed to open gets the column types every file takes.
    takes_bigint_ = access_.IsOpen() && access_.TakesColumnType("BIGINT");
    // From the bottom of the list to the top.
    const int last = s_.Read<int>(
        124, [&] { return w_.list2.ListCount() - 1; }, 0);
    for (int i = last; i >= 0; --i) {
      if (s_.Test(126, [&] { return w_.list2.Selected(i); })) SendTable(i);
    }
    // 260: the end of the walk.
    s_.Do(268, [&] { w_.pointer.SetPointer(kPointerDefault); });
    s_.Do(270, [&] { ChangeAccess(false, [&] { access_.Close(); }); });
    s_.Do(272, [&] { worker_.Run([&] { ase_.Close(); }); });
    return s_.Failures();
  }

 private:
  // Carries out a change to the Access file on the worker. Where the file
  // cannot be written any more (a failed save, a damaged file), the report
  // names the rows of the table sent last that the failed save lost, and
  // nothing more is sent to the file. `statement`: the change is a statement,
  // itself one of those the save lost.
  template <typename Call>
  void ChangeAccess(bool statement, Call&& call) {
    try {
      worker_.Run(call);
    } catch (const DatabaseNotWritable& e) {
      access_unwritable_ = true;
      std::string text = e.Description();
      const int64_t rows = e.LostStatements() - (statement ? 1 : 0);
      if (rows > 0 && !sent_table_.empty()) {
        std::string lost = rows_.LastSentRows(rows);
        lost[0] = static_cast<char>(lost[0] - 'a' + 'A');
        text += " " + lost + " of table " + sent_table_ + (rows == 1 ? " was" : " were") +
                " not saved.";
      }
      text += " Nothing more is sent to this database.";
      throw DatabaseNotWritable(e.Number(), text, e.LostStatements());
    }
  }

  void SendTable(int i) {
    // After a failed save or on a damaged file, which was reported once.
    if (access_unwritable_) return;
    std::string name;
    // The name stands in the ASE query and in every Access statement; one
    // that either cannot take is reported and the table passed over.
    if (!s_.Do(128, [&] {
          name = w_.list2.List(i);
          CheckAseName(name, "table");
          CheckAccessName(name, "table");
        })) {
      return;
    }
    table_ = name;
    int answer = 0;  // no question asked
    if (s_.Test(130, [&] { return ListHasItem(w_.list1, name); })) {
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
        const std::string drop = "DROP TABLE `" + name + "`";
        try {
          ChangeAccess(true, [&] { access_.Execute(drop); });
        } catch (const DatabaseError& e) {
          kept = e.Number() != errors::kNoSuchTable;
          throw;
        } catch (...) {
          kept = true;
          throw;
        }
      });
      // A table the drop left (a read-only file) keeps its entry and is not
      // created again, which could only fail a second time.
      if (!dropped && (access_unwritable_ || kept)) return;
      // Access names ignore case, so the drop took every entry that made us
      // ask; an exact removal would leave a dropped table listed.
      s_.Do(142, [&] { RemoveEntriesIgnoringCase(w_.list1, name); });
    }
    // Without its rows there is nothing to create the table from.
    if (!s_.Do(144, [&] {
          const std::string select = "SELECT * FROM [" + name + "]";
          worker_.Run([&] { rs_.Open(select, ase_); });
        })) {
      return;
    }
    s_.Do(146, [&] { buffer_ = "CREATE TABLE `" + name + "`("; });
    if (!BuildCreate()) {
      // A column Access cannot take: no statement is built from it, and
      // the table is not created.
      s_.Do(256, [&] { worker_.Run([&] { rs_.Close(); }); });
      return;
    }
    s_.Do(200, [&] { buffer_.pop_back(); });
    s_.Do(202, [&] { buffer_ += ");"; });
    // A table that was not created takes no rows and gets no entry: each of
    // its rows would only fail again, one report a row.
    if (!s_.Do(206, [&] { ChangeAccess(true, [&] { access_.Execute(buffer_); }); }) ||
        access_unwritable_) {
      s_.Do(256, [&] { worker_.Run([&] { rs_.Close(); }); });
      return;
    }
    SendRows();
    s_.Do(254, [&] { w_.progress_bar1.SetValue(0); });
    s_.Do(256, [&] { worker_.Run([&] { rs_.Close(); }); });
    s_.Do(258, [&] { w_.list1.AddItem(name); });
  }

  // Appends each column's definition to the CREATE TABLE statement. False
  // when a column's name is refused.
  bool BuildCreate() {
    kinds_.clear();
    columns_ = s_.Read<int>(
        148, [&] { return rs_.Fields().Count(); }, 0);
    for (int j = 0; j < columns_; ++j) {
      s_.Do(150, [&] { yield_.DoEvents(); });
      std::string column;
      if (!s_.Do(152, [&] {
            column = rs_.Fields().Item(j).Name();
            CheckAccessName(column, "column");
          })) {
        return false;
      }
      FieldInfo info;
      const std::string type = s_.Read<std::string>(
          154,
          [&] {
            info = rs_.Fields().Item(j).Info();
            return LowerCase(DataTypeName(static_cast<int16_t>(info.type)).value_or(""));
          },
          "");
      AccessColumn target = AccessColumnFor(type, info, takes_bigint_);
      if (keep_types_) {
        bool binary = false;
        target.suffix = TypedAccessSuffix(info, takes_bigint_, binary);
        target.kind = binary ? AccessColumnKind::kBinary : AccessColumnKind::kText;
      }
      kinds_.push_back(target.kind);
      s_.Do(156, [&] { buffer_ += "`" + column + target.suffix; });
    }
    // 198: the end of the columns.
    return true;
  }

  void SendRows() {
    const int64_t last = s_.Read<int64_t>(
        214, [&] { return worker_.Run([&] { return rs_.RecordCount(); }) - 1; }, -1);
    // 216 (the row is there), 248 (its INSERT) and 250 (the next fetch) are
    // the row walk's own.
    sent_table_ = table_;
    rows_.Send(
        rs_, access_, last + 1,
        [&](int64_t k) {
          s_.Do(218, [&] { yield_.DoEvents(); });
          s_.Do(220, [&] { w_.progress_bar1.SetValue(RowPercent(k, last + 1)); });
          s_.Do(222, [&] {
            // assign keeps the buffer's storage from row to row.
            buffer_.assign("INSERT INTO `").append(table_).append("` VALUES('");
          });
          // A value that cannot be read leaves the row unsent rather than sent wrong.
          if (!AppendValues()) return false;
          s_.Do(242, [&] { buffer_.resize(buffer_.size() >= 3 ? buffer_.size() - 3 : 0); });
          s_.Do(244, [&] { buffer_ += ")"; });
          return true;
        },
        go_on_);
    // 252: the end of the rows.
    if (rows_.TargetUnwritable()) access_unwritable_ = true;
  }

  // Appends the current row's values, the buffer ending in an opening quote
  // before each; false when one cannot be read.
  bool AppendValues() {
    for (int j = 0; j < columns_; ++j) {
      s_.Do(226, [&] { yield_.DoEvents(); });
      const Value* value = nullptr;
      if (!s_.Do(228, [&] {
            value = &rows_.Column(j);
            text_ = ToText(*value);
          })) {
        return false;
      }
      const bool binary = j < static_cast<int>(kinds_.size()) &&
                          kinds_[j] == AccessColumnKind::kBinary &&
                          std::holds_alternative<Bytes>(*value);
      if (s_.Test(230, [&] { return text_.empty(); })) {
        // A null or an empty text: NULL in place of the opening quote.
        s_.Do(232, [&] { buffer_.pop_back(); });
        s_.Do(234, [&] { buffer_ += "NULL, '"; });
      } else if (binary) {
        // Bytes into an OLE column as a 0x literal, in place of the quote.
        s_.Do(236, [&] { buffer_.pop_back(); });
        s_.Do(238, [&] { buffer_.append(text_).append(", '"); });
      } else {
        s_.Do(236, [&] { text_ = QuotedText(text_); });
        // QuotedText's own opening quote stands in for the buffer's.
        s_.Do(238, [&] { buffer_.append(text_, 1, std::string::npos).append(", '"); });
      }
    }
    // 240: the end of the values.
    return true;
  }

  const CommandEnv& env_;
  const TablesWindow& w_;
  StepTrap trap_;
  Steps s_;
  ThrottledYielder yield_;
  YieldingWorker worker_;
  DatabaseSession access_;
  DatabaseSession ase_;
  RecordSet rs_;
  std::string buffer_;  // the statement being built: CREATE TABLE, then each INSERT
  RowSender rows_;
  std::string table_;  // the table being sent
  std::string text_;   // the value being written
  std::vector<AccessColumnKind> kinds_;
  int columns_ = 0;
  bool takes_bigint_ = false;  // the Access file has Large Number columns
  bool keep_types_ = false;    // "Keep column types": Access columns of ASE's types
  // Asked when a run of rows fails with the same error.
  const std::function<bool()> go_on_ = [this] { return AskToGoOn(s_, env_.dialogs, 248, table_); };
  // The Access file cannot be written any more; the report said so once.
  bool access_unwritable_ = false;
  std::string sent_table_;  // the table whose rows were sent last
};

}  // namespace

int SendTablesToAccess(const CommandEnv& env, const TablesWindow& window,
                       const TransferOptions& options) {
  return ToAccess(env, window, options).Run();
}

}  // namespace vq
