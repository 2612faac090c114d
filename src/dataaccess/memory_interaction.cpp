#include "dataaccess/memory_interaction.h"

#include <algorithm>
#include <stdexcept>

#include "common/ascii.h"

#include "dataaccess/error.h"

namespace vq {

bool CollateLess(const std::string& a, const std::string& b) {
  if (!ascii::EqualsIgnoreCase(a, b)) return ascii::LessIgnoreCase(a, b);
  return a < b;
}

void MemoryTableList::Check(int index) const {
  if (index < 0 || index >= ListCount()) {
    throw DatabaseError(381, "Invalid property array index");
  }
}

std::string MemoryTableList::List(int index) const {
  Check(index);
  return entries_[index].text;
}

bool MemoryTableList::Selected(int index) const {
  Check(index);
  return entries_[index].selected;
}

void MemoryTableList::SetSelected(int index, bool selected) {
  Check(index);
  entries_[index].selected = selected;
}

int MemoryTableList::SelCount() const {
  return static_cast<int>(
      std::count_if(entries_.begin(), entries_.end(), [](const Entry& e) { return e.selected; }));
}

void MemoryTableList::SetListIndex(int index) {
  if (index != -1) Check(index);
  list_index_ = index;
}

void MemoryTableList::AddItem(const std::string& name) {
  auto pos =
      std::upper_bound(entries_.begin(), entries_.end(), name,
                       [](const std::string& n, const Entry& e) { return CollateLess(n, e.text); });
  int at = static_cast<int>(pos - entries_.begin());
  entries_.insert(pos, Entry{name, false});
  if (list_index_ >= at) ++list_index_;
}

void MemoryTableList::RemoveItem(int index) {
  Check(index);
  entries_.erase(entries_.begin() + index);
  if (list_index_ == index) {
    list_index_ = -1;
  } else if (list_index_ > index) {
    --list_index_;
  }
}

void MemoryTableList::Clear() {
  entries_.clear();
  list_index_ = -1;
}

std::vector<std::string> MemoryTableList::Items() const {
  std::vector<std::string> out;
  for (const auto& e : entries_) out.push_back(e.text);
  return out;
}

void MemoryProgressBar::SetValue(int percent) {
  value_ = ProgressShown(percent);
  history.push_back(percent);
}

int ScriptedDialogs::MsgBox(const std::string& text, int style, const std::string& title) {
  messages.push_back({text, style, title.empty() ? kApplicationTitle : title, ""});
  if (MsgBoxAsksYesNo(style)) {
    if (yes_no_answers.empty()) return kAnswerNo;
    int a = yes_no_answers.front();
    yes_no_answers.pop_front();
    return a;
  }
  return kAnswerOk;
}

std::string ScriptedDialogs::InputBox(const std::string& prompt, const std::string& title,
                                      const std::string& default_text) {
  inputs.push_back({prompt, 0, title.empty() ? kApplicationTitle : title, default_text});
  if (input_answers.empty()) return {};
  std::string a = input_answers.front();
  input_answers.pop_front();
  return a;
}

}  // namespace vq
