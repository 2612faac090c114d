#include "jet/table_writer.h"

#include <cstring>

#include "jet/data_page_writer.h"
#include "jet/table_definition_writer.h"
#include "jet/usage_map_writer.h"

namespace jet {

TableWriter::TableWriter(PageStore& store, TableDefinition def)
    : store_(store), layout_(store.FileLayout()), def_(std::move(def)), encoder_(layout_, def_) {
  writers_.assign(def_.columns.size(), nullptr);
  for (size_t k = 0; k < def_.columns.size(); ++k) {
    const Column& c = def_.columns[k];
    if (c.type != kMemo && c.type != kOle) continue;
    const LongValueMaps* maps = nullptr;
    for (const LongValueMaps& m : def_.long_value_maps)
      if (m.column_number == c.number) maps = &m;
    if (!maps) {
      // A long-value column without maps of its own: Access files made
      // before the maps existed. Its pages are then found only through rows.
      long_values_.push_back(std::make_unique<LongValueWriter>(store_));
    } else {
      RowPointer owned = maps->owned_pages, free = maps->free_pages;
      LvalPageEvents events;
      events.added = [this, owned, free](uint32_t page) {
        UsageMapEditor(store_, owned).Add(page);
        if (!free.IsNull()) UsageMapEditor(store_, free).Add(page);
      };
      events.filled = [this, free](uint32_t page) {
        if (!free.IsNull()) UsageMapEditor(store_, free).Remove(page);
      };
      long_values_.push_back(std::make_unique<LongValueWriter>(store_, std::move(events)));
    }
    writers_[k] = long_values_.back().get();
  }
}

RowPointer TableWriter::Insert(std::vector<Value>& values) {
  if (values.size() != def_.columns.size())
    throw std::logic_error("TableWriter::Insert: one value per column");
  // A new row's attachment and multi-value lists start empty: its rows in
  // the hidden tables are not ours to give, only the reference to them.
  bool complex = false;
  for (size_t k = 0; k < values.size(); ++k) {
    const Column& c = def_.columns[k];
    if (c.type != kComplex) continue;
    complex = true;
    if (!std::holds_alternative<std::monostate>(values[k]))
      throw JetError(error_numbers::kNotSupported,
                     "The column '" + c.name + "' holds attachments or a list of values, which " +
                         "a new row starts without: leave it out of the statement.");
  }
  if (complex) {
    if (def_.complex_autonumber >= 0x7FFFFFFFu)
      throw JetError(error_numbers::kNotSupported,
                     "The attachment and multi-value columns of this table have no references left "
                     "for new rows.");
    // One reference per row, shared by all its complex columns, as Access
    // hands them out.
    const int64_t reference = ++def_.complex_autonumber;
    for (size_t k = 0; k < values.size(); ++k)
      if (def_.columns[k].type == kComplex) values[k] = reference;
  }
  for (size_t k = 0; k < values.size(); ++k) {
    const Column& c = def_.columns[k];
    if (!(c.flags & 0x04) || c.type != kLong) continue;
    if (std::holds_alternative<std::monostate>(values[k])) {
      if (def_.autonumber >= 0x7FFFFFFFu)
        throw JetError(error_numbers::kNotSupported,
                       "The AutoNumber column '" + c.name + "' has no numbers left.");
      values[k] = static_cast<int64_t>(++def_.autonumber);
    } else if (const int64_t* v = std::get_if<int64_t>(&values[k]);
               v && *v > 0 && static_cast<uint64_t>(*v) > def_.autonumber) {
      def_.autonumber = static_cast<uint32_t>(*v);
    }
  }
  if (indexes_) indexes_->Check(values);
  encoder_.Encode(values, std::span<LongValueWriter* const>(writers_), row_);
  RowPointer where = WriteRow(row_);
  if (indexes_) indexes_->Add(where);
  return where;
}

void TableWriter::KeepIndexes(const Header& header, const std::string& name,
                              std::vector<ParentLink> parents) {
  auto indexes = std::make_unique<TableIndexes>(store_, header, def_, name, std::move(parents));
  indexes->CheckAgainstRows();
  indexes_ = std::move(indexes);
}

RowPointer TableWriter::InsertEncoded(const std::vector<uint8_t>& row) {
  if (indexes_)
    throw std::logic_error("TableWriter::InsertEncoded: the table's indexes need values");
  return WriteRow(row);
}

RowPointer TableWriter::WriteRow(const std::vector<uint8_t>& row) {
  if (row.size() > layout_.max_row_size)
    throw JetError(error_numbers::kNotSupported, "A row of table is too large to store.");
  uint32_t page = PageWithRoom(row.size());
  int slot = AddRowToPage(store_.Modify(page), layout_, ByteView(row.data(), row.size()));
  if (slot < 0) throw std::logic_error("a page with room refused a row");
  ++def_.row_count;
  SaveCounts();
  return RowPointer{page, static_cast<uint8_t>(slot)};
}

void TableWriter::RaiseAutonumber(uint32_t value) {
  if (value <= def_.autonumber) return;
  def_.autonumber = value;
  SaveCounts();
}

void TableWriter::SaveCounts() {
  uint8_t counts[12];
  for (int k = 0; k < 4; ++k) {
    counts[k] = static_cast<uint8_t>(def_.row_count >> (8 * k));
    counts[4 + k] = static_cast<uint8_t>(def_.autonumber >> (8 * k));
    counts[8 + k] = static_cast<uint8_t>(def_.complex_autonumber >> (8 * k));
  }
  // The counters sit in the header, on the first page.
  uint8_t* first = store_.Modify(def_.page);
  std::memcpy(first + layout_.tdef_row_count, counts, 4);
  std::memcpy(first + layout_.tdef_autonumber, counts + 4, 4);
  if (layout_.tdef_complex_autonumber != 0)
    std::memcpy(first + layout_.tdef_complex_autonumber, counts + 8, 4);
}

uint32_t TableWriter::PageWithRoom(size_t length) {
  if (!looked_for_page_) {
    looked_for_page_ = true;
    if (!def_.free_pages.IsNull()) {
      std::vector<uint32_t> pages = UsageMapEditor(store_, def_.free_pages).Pages();
      for (auto it = pages.rbegin(); it != pages.rend(); ++it) {
        if (*it >= store_.PageCount()) continue;
        PageBuffer p = store_.Read(*it);
        ByteView v = View(p);
        if (v.U8(0) == 0x01 && v.U32(layout_.data_owner) == def_.page) {
          current_page_ = *it;
          break;
        }
      }
    }
  }
  if (current_page_ != 0) {
    PageBuffer p = store_.Read(current_page_);
    if (PageTakesRow(View(p), layout_, length)) return current_page_;
    if (!def_.free_pages.IsNull()) {
      // Full for this row: take it out of the free-space map, and try the
      // other pages there (rows given back by deletes) before growing.
      UsageMapEditor map(store_, def_.free_pages);
      map.Remove(current_page_);
      for (uint32_t candidate : map.Pages()) {
        if (candidate >= store_.PageCount()) break;
        PageBuffer b = store_.Read(candidate);
        ByteView v = View(b);
        if (v.U8(0) != 0x01 || v.U32(layout_.data_owner) != def_.page) continue;
        if (PageTakesRow(v, layout_, length)) {
          current_page_ = candidate;
          return current_page_;
        }
      }
    }
  }
  current_page_ = NewDataPage();
  return current_page_;
}

uint32_t TableWriter::NewDataPage() {
  uint32_t page = store_.AllocatePage();
  InitDataPage(store_.Modify(page), layout_, def_.page);
  UsageMapEditor(store_, def_.owned_pages).Add(page);
  if (!def_.free_pages.IsNull()) UsageMapEditor(store_, def_.free_pages).Add(page);
  return page;
}

}  // namespace jet
