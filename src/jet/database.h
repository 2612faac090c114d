// An open Access database: the file, its header and its catalogue.
//
// Opening reads page 0 only until the password has been checked, so a refused
// open reads nothing else. Then the page decoder is fixed and the catalogue is
// read once; tables are opened from it by name.
//
// Within a process there is one Database per file: opening a file that is
// already open hands out the same object, so every session sees what another
// has changed. A Database opens read-only and becomes writable at its first
// write (or when asked), Access 97 files as well as later ones; an encrypted .accdb
// is written encrypted with its own keys. Each writing statement is atomic:
// it changes pages in memory and either keeps all its changes or none. The
// changes reach the file at checkpoints (after every statement that creates
// or drops a table, every few thousand rows or a second of INSERTs, and at
// Close), under the journal rules of page_file.h.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "jet/catalogue.h"
#include "jet/header.h"
#include "jet/new_database_layout.h"
#include "jet/page_file.h"
#include "jet/table_definition_writer.h"
#include "jet/table_reader.h"

namespace jet {

class FileStore;
class TableWriter;
struct Statement;
struct StatementIndex;

// One open database file. Callers on several threads serialise through Mutex().
class Database {
 public:
  // Opens `path`, checking `password` as Access does; a file this process
  // has open already is the same Database.
  static std::shared_ptr<Database> Open(const std::string& path, const std::string& password);
  // Makes a new, empty database at `path` in `format`, with `password` as
  // its database password (empty: none). The file appears complete or not at
  // all; an existing file is never replaced (JetError kDatabaseExists). An
  // Access 97 file keeps its text and names in Windows code page `code_page`
  // (874 or 1250..1258); later formats keep Unicode and ignore it.
  static void Create(const std::string& path, NewFormat format, const std::string& password,
                     uint16_t code_page = 1252);
  ~Database();

  // Held around every use of the database by callers that may run on
  // different threads.
  std::recursive_mutex& Mutex() { return mutex_; }

  // Makes the database writable (see PageFile::EnableWriting); a format the
  // engine does not write is a JetError kNotSupported naming it, and a file
  // that fails the check of integrity_check.h a DamagedFile, every time.
  void EnableWriting();

  // Carries out one statement that changes the database: CREATE TABLE,
  // CREATE INDEX, INSERT INTO, DROP TABLE, SELECT ... INTO or ALTER TABLE
  // ... RENAME TO. A failing statement changes nothing; one whose save fails
  // is a SaveFailed, and undoes every statement since the last save with it
  // (page_file.h, S1 to S3). A damaged file takes no statement at all.
  // Reading statements are refused here (see OpenTable).
  void Execute(std::string_view sql);

  // The operations behind the statements, each one atomic statement.
  void CreateTable(const std::string& name, const std::vector<NewColumn>& columns);
  // Drops a table, with the hidden tables of its attachment and multi-value
  // columns; refused while a relationship holds it.
  void DropTable(const std::string& name);
  void CopyTable(const std::string& new_name, const std::string& source);
  // Adds an index to the table `table` and fills it from the table's rows.
  void CreateIndex(const std::string& table, const StatementIndex& wanted);
  // Renames the table `old_name` in place: it keeps its id, pages, indexes,
  // properties and relationships, which now name it `new_name`.
  void RenameTable(const std::string& old_name, const std::string& new_name);

  // Brings every change to the file now. A failure is a SaveFailed counting
  // the statements since the last checkpoint, which are then undone.
  void Checkpoint();
  // Checkpoints; the Database stays usable.
  void Close();

  // The parsed file header: format, page size, code page.
  const Header& FileHeader() const { return header_; }
  // The paged file underneath, for readers of this database.
  PageFile& File() { return *file_; }
  // Every object the catalogue lists, read once at open.
  const std::vector<CatalogueEntry>& Catalogue() const { return catalogue_; }

  // The catalogue entry of the table called `name`, compared without regard to
  // case (an exact match wins). Missing: JetError kNoSuchTable.
  const CatalogueEntry& FindTable(const std::string& name) const;

  // The definition of the local table `name`.
  TableDefinition Definition(const std::string& name);

  // A reader over the rows of the local table `name`. The database must outlive it.
  std::unique_ptr<TableReader> OpenTable(const std::string& name);

 private:
  Database() = default;

  // Runs `body` as one statement; `ddl` statements end in a checkpoint.
  template <typename Body>
  void RunStatement(bool ddl, Body&& body);
  // RunStatement for a statement that changes the schema, for other files.
  void RunSchemaStatement(const std::function<void()>& body);
  void Insert(const Statement& s);
  // Makes the table inside the running statement; returns its definition page.
  uint32_t CreateTableInStatement(const std::string& name, const std::vector<NewColumn>& columns);
  TableWriter& WriterFor(const CatalogueEntry& table);
  // The code page names must fit (Access 97 files), or 0. REQUIRES: writing.
  uint16_t NameCodePage() const;
  void ReloadCatalogue();
  // Undoes every change since the last checkpoint after `failure`, and
  // throws it again counting the statements lost (`running`: the statement
  // that failed is one of them).
  [[noreturn]] void LoseUnsavedChanges(const SaveFailed& failure, bool running);

  std::recursive_mutex mutex_;
  std::string key_;  // the registry's key for this file
  std::unique_ptr<PageFile> file_;
  std::unique_ptr<FileStore> store_;
  Header header_;
  std::vector<CatalogueEntry> catalogue_;
  // Writers of the tables rows were added to, by definition page; they keep
  // their place between statements and are dropped on any rollback.
  std::unordered_map<uint32_t, std::unique_ptr<TableWriter>> writers_;
  std::unique_ptr<Statement> parsed_;
  std::vector<Value> values_;
  size_t rows_since_checkpoint_ = 0;
  // Statements kept since the last checkpoint: those a failed save loses.
  uint64_t unsaved_statements_ = 0;
  // Checkpoints done when the running statement began.
  uint64_t statement_checkpoints_ = 0;
  // What the check before the first write found ("" sound), once it ran.
  bool checked_for_damage_ = false;
  std::string damage_;
  std::chrono::steady_clock::time_point last_checkpoint_;
};

// Equality without regard to case, the way Jet compares object names.
bool NamesEqual(const std::string& a, const std::string& b);

}  // namespace jet
