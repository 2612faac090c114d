#include "page_budget.h"

#include "row_size.h"
#include "server_message.h"

namespace vq::ase_server {

// Every row takes a two-byte slot in its page's row offset table too.
constexpr int kSlotBytes = 2;

std::int64_t TablePages::PagesFor(int row_size, int text_page_count) const {
  const bool new_page = data_pages == 0 || free_bytes < row_size + kSlotBytes;
  return (new_page ? 1 : 0) + text_page_count;
}

void TablePages::Add(int row_size, int text_page_count, int page_size) {
  if (data_pages == 0 || free_bytes < row_size + kSlotBytes) {
    ++data_pages;
    free_bytes = UsableBytesPerPage(page_size);
  }
  free_bytes -= row_size + kSlotBytes;
  text_pages += text_page_count;
}

std::int64_t PageBudget::Database::Total() const {
  std::int64_t total = 0;
  for (const auto& [name, pages] : tables) total += pages.data_pages + pages.text_pages;
  return total;
}

PageBudget& PageBudget::Global() {
  static PageBudget budget;
  return budget;
}

void PageBudget::AddRow(const std::string& database, const std::string& table, int row_size,
                        int text_page_count, int page_size, std::int64_t max_pages,
                        const std::function<std::map<std::string, TablePages>()>& count_existing) {
  std::lock_guard lock(mutex_);
  auto found = databases_.find(database);
  if (found == databases_.end()) {
    found = databases_.emplace(database, Database{count_existing()}).first;
  }
  Database& db = found->second;
  TablePages& pages = db.tables[table];
  if (max_pages > 0 &&
      (db.full || db.Total() + pages.PagesFor(row_size, text_page_count) > max_pages)) {
    db.full = true;
    throw ServerError(messages::SegmentFull(table, database));
  }
  pages.Add(row_size, text_page_count, page_size);
}

void PageBudget::SetTable(const std::string& database, const std::string& table,
                          const TablePages& pages) {
  std::lock_guard lock(mutex_);
  const auto found = databases_.find(database);
  if (found == databases_.end()) return;  // counted in full on first use
  found->second.full = false;
  if (pages.data_pages == 0 && pages.text_pages == 0) {
    found->second.tables.erase(table);
  } else {
    found->second.tables[table] = pages;
  }
}

void PageBudget::Forget(const std::string& database, const std::string& table) {
  SetTable(database, table, TablePages{});
}

std::int64_t PageBudget::PagesInUse(const std::string& database) {
  std::lock_guard lock(mutex_);
  const auto found = databases_.find(database);
  return found == databases_.end() ? 0 : found->second.Total();
}

}  // namespace vq::ase_server
