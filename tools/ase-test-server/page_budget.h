// The data pages each database has filled, shared by every connection, so
// that `--max-pages` can make writes fail as a full segment does on ASE.
// Rows fill a table's pages in the order they arrive; text, unitext and image
// values take pages of their own.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace vq::ase_server {

// Pages one table has filled.
struct TablePages {
  std::int64_t data_pages = 0;
  int free_bytes = 0;  // room left on the table's last data page
  std::int64_t text_pages = 0;

  // Counts one more row of `row_size` bytes and `text_pages` text pages.
  void Add(int row_size, int text_page_count, int page_size);
  // Pages the row would add.
  std::int64_t PagesFor(int row_size, int text_page_count) const;
};

// Page counts of every database this process serves.
class PageBudget {
 public:
  // The one budget of the server process.
  static PageBudget& Global();

  // Counts a row of `table` in `database`, first filling the counts of a
  // database seen for the first time with `count_existing`. Throws
  // ServerError 1105 when the row would need more than `max_pages` pages;
  // from then on every row is refused so, until rows are deleted or a table
  // is dropped or truncated. A refused row leaves the counts unchanged.
  void AddRow(const std::string& database, const std::string& table, int row_size,
              int text_page_count, int page_size, std::int64_t max_pages,
              const std::function<std::map<std::string, TablePages>()>& count_existing);
  // Sets a table's counts afresh (after DELETE or UPDATE); a table with no
  // rows is dropped from the counts.
  void SetTable(const std::string& database, const std::string& table, const TablePages& pages);
  // Frees a dropped or truncated table's pages.
  void Forget(const std::string& database, const std::string& table);
  // Pages in use in a database, as far as the budget has counted them.
  std::int64_t PagesInUse(const std::string& database);

 private:
  struct Database {
    std::map<std::string, TablePages> tables;
    bool full = false;  // a row has been refused for want of pages
    std::int64_t Total() const;
  };
  std::mutex mutex_;
  std::map<std::string, Database> databases_;
};

}  // namespace vq::ase_server
