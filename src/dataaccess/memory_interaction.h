// In-memory versions of the interaction interfaces, with scripted answers, for
// tests and for the command line.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "dataaccess/interaction.h"

namespace vq {

// A sorted list held in memory.
class MemoryTableList : public TableList {
 public:
  int ListCount() const override { return static_cast<int>(entries_.size()); }
  std::string List(int index) const override;
  bool Selected(int index) const override;
  void SetSelected(int index, bool selected) override;
  int SelCount() const override;
  int ListIndex() const override { return list_index_; }
  void SetListIndex(int index) override;
  void AddItem(const std::string& name) override;
  void RemoveItem(int index) override;
  void Clear() override;

  // All entries in list order, for assertions.
  std::vector<std::string> Items() const;

 private:
  struct Entry {
    std::string text;
    bool selected = false;
  };
  void Check(int index) const;
  std::vector<Entry> entries_;
  int list_index_ = -1;
};

// A progress bar that remembers every value it was given; it shows them as
// the window's bar does, held to 0 to 100.
class MemoryProgressBar : public ProgressBar {
 public:
  void SetValue(int percent) override;
  int Value() const override { return value_; }
  std::vector<int> history;  // as given, before holding them to the range

 private:
  int value_ = 0;
};

// A pointer that remembers every code it was given.
class MemoryPointer : public WindowPointer {
 public:
  void SetPointer(int code) override {
    code_ = code;
    history.push_back(code);
  }
  int Pointer() const override { return code_; }
  std::vector<int> history;

 private:
  int code_ = kPointerDefault;
};

// Message and input boxes answered from a script, recording what was shown.
class ScriptedDialogs : public UserDialogs {
 public:
  // One box as shown.
  struct Shown {
    std::string text;
    int style = 0;
    std::string title;         // after the default title is applied
    std::string default_text;  // input boxes: the text already in the field
  };

  int MsgBox(const std::string& text, int style, const std::string& title) override;
  std::string InputBox(const std::string& prompt, const std::string& title,
                       const std::string& default_text) override;

  // Answers for Yes/No boxes (MsgBoxAsksYesNo), used in order; with none left,
  // Yes/No boxes answer No. Every other box answers OK.
  std::deque<int> yes_no_answers;
  // Texts for input boxes, used in order; with none left, the box is cancelled ("").
  std::deque<std::string> input_answers;

  std::vector<Shown> messages;
  std::vector<Shown> inputs;  // text = prompt
};

// Counts yields; optionally runs a hook on each, so a test can act "meanwhile".
class CountingYielder : public Yielder {
 public:
  void DoEvents() override {
    ++count;
    if (hook) hook();
  }
  long count = 0;
  std::function<void()> hook;
};

}  // namespace vq
