// A table list of the tables window: a QListWidget that keeps its entries in
// case-insensitive order and lets the commands read and change it as a TableList.
#pragma once

#include <QListWidget>

#include "dataaccess/interaction.h"

namespace vq {

// A sorted list box with extended selection (click, Shift-click, Ctrl-click).
class QtTableList : public QListWidget, public TableList {
  Q_OBJECT

 public:
  explicit QtTableList(QWidget* parent = nullptr);

  int ListCount() const override;
  std::string List(int index) const override;
  bool Selected(int index) const override;
  void SetSelected(int index, bool selected) override;
  int SelCount() const override;
  int ListIndex() const override;
  // Moves the current entry without touching the selection; -1 clears it.
  void SetListIndex(int index) override;
  void AddItem(const std::string& name) override;
  void RemoveItem(int index) override;
  void Clear() override;

 private:
  // Throws the list-box error for an index outside the list.
  void Check(int index) const;
};

}  // namespace vq
