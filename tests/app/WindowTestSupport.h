#pragma once
// Driving the real window as a user does, for the suites that run it against a sound server:
// clicks, list choices, and bounded waits that keep the window's events flowing.

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "app/CheckBox.h"
#include "app/DropDownList.h"

namespace tardivox::testing {

// A click by the user: the check mark toggles first, then the click handler runs.
inline void Click(TCheckBox& box) {
  box.SetChecked(!box.Checked());
  if (box.OnClick()) box.OnClick()();
}

// A choice by the user; false when the list has no such entry.
inline bool Choose(TDropDownList& list, const std::string& text) {
  for (int i = 0; i < list.Count(); ++i) {
    if (list.Item(i).toStdString() != text) continue;
    if (list.ItemIndex() == i) return true;
    list.SetItemIndex(i);
    if (list.OnChange()) list.OnChange()();
    return true;
  }
  return false;
}

// The items of a drop-down list, in order.
inline std::vector<std::string> Items(const TDropDownList& list) {
  std::vector<std::string> items;
  for (int i = 0; i < list.Count(); ++i) items.push_back(list.Item(i).toStdString());
  return items;
}

// Runs the window's event loop until done() holds (checked every 10 ms) or timeout passed;
// true when done() held.
inline bool WaitWithEvents(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    QEventLoop loop;
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

}  // namespace tardivox::testing
