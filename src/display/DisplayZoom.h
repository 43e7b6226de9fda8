#pragma once
// Zoom settings of a display (`TSLDisplayZoom`) and its zoom history (`TSLDisplayZoomList`).
//
// `TSLDisplayZoom`: `MouseZoom`, `KeyboardZoom`, `MouseWheelEnabled`, `HoldOnZoom` (all True),
// `SelectionColor` (white). The history is a stack of states (zoomed flag and the four range
// values X minimum, Y minimum, X maximum, Y maximum); the display keeps one for undo and one for
// redo.
//
// Ownership: owned by the display. Threads: the window's thread. Failure: none; popping an
// empty list reports false and leaves the entry untouched.

#include <array>
#include <vector>

#include "display/DisplayColor.h"
#include "model/Persistent.h"

namespace tardivox {

// X minimum, Y minimum, X maximum, Y maximum.
using TSLRealRanges = std::array<double, 4>;

class TSLDisplayZoom : public TPersistent {
 public:
  TSLDisplayZoom();

  bool MouseZoom() const { return mouseZoom_; }
  void SetMouseZoom(bool value) { mouseZoom_ = value; }
  bool KeyboardZoom() const { return keyboardZoom_; }
  void SetKeyboardZoom(bool value) { keyboardZoom_ = value; }
  bool MouseWheelEnabled() const { return mouseWheelEnabled_; }
  void SetMouseWheelEnabled(bool value) { mouseWheelEnabled_ = value; }
  bool HoldOnZoom() const { return holdOnZoom_; }
  void SetHoldOnZoom(bool value) { holdOnZoom_ = value; }
  TColor SelectionColor() const { return selectionColor_; }
  void SetSelectionColor(TColor color) { selectionColor_ = color; }

 private:
  bool mouseZoom_ = true;
  bool keyboardZoom_ = true;
  bool mouseWheelEnabled_ = true;
  bool holdOnZoom_ = true;
  TColor selectionColor_ = clWhite;
};

class TSLDisplayZoomList {
 public:
  struct Entry {
    bool zoomed = false;
    TSLRealRanges ranges{};
    bool operator==(const Entry&) const = default;
  };

  void Push(const Entry& entry) { entries_.push_back(entry); }
  // Takes the newest entry; false when the list is empty.
  bool Pop(Entry& entry);
  void Clear() { entries_.clear(); }
  bool NotEmpty() const { return !entries_.empty(); }
  int Count() const { return static_cast<int>(entries_.size()); }

 private:
  std::vector<Entry> entries_;
};

}  // namespace tardivox
