#include "ui/qt_table_list.h"

#include <algorithm>

#include "dataaccess/error.h"

namespace vq {

QtTableList::QtTableList(QWidget* parent) : QListWidget(parent) {
  // Sorting is ours (AddItem), not QListWidget's, whose order is case-sensitive.
  setSortingEnabled(false);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
}

void QtTableList::Check(int index) const {
  if (index < 0 || index >= count()) throw DatabaseError(381, "Invalid property array index");
}

int QtTableList::ListCount() const {
  return count();
}

std::string QtTableList::List(int index) const {
  Check(index);
  return item(index)->text().toStdString();
}

bool QtTableList::Selected(int index) const {
  Check(index);
  return item(index)->isSelected();
}

void QtTableList::SetSelected(int index, bool selected) {
  Check(index);
  item(index)->setSelected(selected);
}

int QtTableList::SelCount() const {
  return static_cast<int>(selectedItems().size());
}

int QtTableList::ListIndex() const {
  return currentRow();
}

void QtTableList::SetListIndex(int index) {
  if (index == -1) {
    selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    return;
  }
  Check(index);
  setCurrentRow(index, QItemSelectionModel::NoUpdate);
}

void QtTableList::AddItem(const std::string& name) {
  // Binary search for the first entry that sorts after `name`.
  int low = 0;
  int high = count();
  while (low < high) {
    int mid = (low + high) / 2;
    if (CollateLess(name, item(mid)->text().toStdString())) {
      high = mid;
    } else {
      low = mid + 1;
    }
  }
  insertItem(low, QString::fromStdString(name));
}

void QtTableList::RemoveItem(int index) {
  Check(index);
  delete takeItem(index);
}

void QtTableList::Clear() {
  clear();
}

}  // namespace vq
