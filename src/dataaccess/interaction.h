// The small interfaces through which commands touch the user interface: the
// table lists, the progress bar, the window pointer, message and input boxes, and
// the yield to the message loop. The Qt windows implement them for real; the
// in-memory versions (memory_interaction.h) serve tests and the command line.
#pragma once

#include <string>

namespace vq {

// The title of every message and input box that names none.
inline constexpr const char* kApplicationTitle = "Vellquist";

// Message-box styles and answers, in the numbering the commands are written in.
inline constexpr int kMsgOkOnly = 0;        // OK alone, no icon
inline constexpr int kMsgYesNo = 4;         // Yes and No, no icon
inline constexpr int kMsgExclamation = 48;  // OK with the exclamation icon
inline constexpr int kMsgCritical = 16;     // the icons, added to the buttons
inline constexpr int kMsgQuestion = 32;
inline constexpr int kMsgInformation = 64;
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

// What a style asks for, read the same way by every box: the low three bits
// choose the buttons and the next three the icon, so kMsgYesNo + kMsgQuestion
// is a Yes/No box with a question mark. Buttons other than OK and Yes/No are
// shown as OK.
constexpr bool MsgBoxAsksYesNo(int style) {
  return (style & 7) == kMsgYesNo;
}
// kMsgCritical, kMsgQuestion, kMsgExclamation, kMsgInformation, or 0 for none.
constexpr int MsgBoxIcon(int style) {
  return style & 0x70;
}

// What a progress bar shows when set to `percent`: the value, held to 0 to 100.
constexpr int ProgressShown(int percent) {
  return percent < 0 ? 0 : percent > 100 ? 100 : percent;
}

// Pointer codes of a window.
inline constexpr int kPointerDefault = 0;
inline constexpr int kPointerHourglass = 11;
inline constexpr int kPointerCustom = 99;

// A sorted list of table names with extended multiple selection. Positions
// count from 0; entries stay in case-insensitive order whatever adds them.
class TableList {
 public:
  virtual ~TableList() = default;
  virtual int ListCount() const = 0;
  // The text of entry `index`. REQUIRES: 0 <= index < ListCount().
  virtual std::string List(int index) const = 0;
  virtual bool Selected(int index) const = 0;
  virtual void SetSelected(int index, bool selected) = 0;
  virtual int SelCount() const = 0;
  // The current entry, -1 when there is none.
  virtual int ListIndex() const = 0;
  virtual void SetListIndex(int index) = 0;
  // Inserts `name` at its sorted place.
  virtual void AddItem(const std::string& name) = 0;
  virtual void RemoveItem(int index) = 0;
  virtual void Clear() = 0;
};

// The progress bar of a transfer: a value from 0 to 100.
class ProgressBar {
 public:
  virtual ~ProgressBar() = default;
  // Shows ProgressShown(percent); a value out of range is held to the nearer end.
  virtual void SetValue(int percent) = 0;
  virtual int Value() const = 0;
};

// A window's mouse pointer, by code (kPointerDefault, kPointerHourglass, kPointerCustom).
class WindowPointer {
 public:
  virtual ~WindowPointer() = default;
  virtual void SetPointer(int code) = 0;
  virtual int Pointer() const = 0;
};

// Modal boxes that ask or tell the user something.
class UserDialogs {
 public:
  virtual ~UserDialogs() = default;
  // Shows `text` in the given style (MsgBoxAsksYesNo, MsgBoxIcon); an empty
  // title means kApplicationTitle. Returns kAnswerOk, kAnswerYes or kAnswerNo.
  virtual int MsgBox(const std::string& text, int style, const std::string& title) = 0;
  // Asks for a line of text; a cancelled box gives the empty text.
  virtual std::string InputBox(const std::string& prompt, const std::string& title,
                               const std::string& default_text) = 0;
};

// Lets the window repaint and handle input during a long command.
class Yielder {
 public:
  virtual ~Yielder() = default;
  virtual void DoEvents() = 0;
};

// Case-insensitive ordering of list entries: ASCII letters fold, other bytes
// compare as UTF-8, and equal folds fall back to the exact text so the order is total.
bool CollateLess(const std::string& a, const std::string& b);

}  // namespace vq
