#pragma once
// Shows a widget as the active window, so that focus and keyboard input behave as for a user.
// Bounded: fails (with a message) when the platform does not activate it within 2 s.

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace tardivox::testing {

inline ::testing::AssertionResult ShowActive(QWidget& window) {
  window.show();
  QApplication::setActiveWindow(&window);
  if (!QTest::qWaitForWindowActive(&window, 2000)) {
    return ::testing::AssertionFailure() << "window did not become active within 2 s";
  }
  return ::testing::AssertionSuccess();
}

}  // namespace tardivox::testing
