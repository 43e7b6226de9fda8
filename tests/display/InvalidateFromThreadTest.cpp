#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "TestDisplay.h"
#include "support/WaitFor.h"

namespace tardivox {
namespace {

using testing::TTestDisplay;

// Another thread tells the level view that the scale changed while the window's thread keeps
// relaying out and painting: the requests arrive as queued repaints, with no race on the views'
// rectangles.
TEST(InvalidateFromThreadTest, ScaleNoticesFromAnotherThreadAreQueuedRepaints) {
  TTestDisplay display;
  display.AddStandardViews();
  display.resize(401, 57);
  display.show();
  std::atomic<int> sent{0};
  std::thread notifier([&] {
    for (int i = 0; i < 2000; ++i) {
      display.levels->ScaleChanged();
      display.InvalidateRect(QRect(0, 0, 10, 10));
      sent.fetch_add(1, std::memory_order_relaxed);
    }
  });
  int rounds = 0;
  const bool finished = testing::WaitUntil([&] {
    display.LayoutChanged();
    display.LayoutViews();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ++rounds;
    return sent.load(std::memory_order_relaxed) == 2000;
  });
  notifier.join();
  QCoreApplication::processEvents();
  EXPECT_TRUE(finished) << "the notifier did not finish within the time-out";
  EXPECT_GT(rounds, 0);
}

}  // namespace
}  // namespace tardivox
