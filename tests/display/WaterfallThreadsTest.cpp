// Lines and stream starts arriving from another thread while the window's thread paints,
// follows the ticks, looks up hit points and switches the hold.
#include "display/Waterfall.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "processing/RealTestSupport.h"
#include "support/WaitFor.h"

namespace tardivox {
namespace {

TEST(WaterfallThreadsTest, LinesFromAnotherThreadWhileTheWindowPaints) {
  TSLWaterfall waterfall;
  waterfall.resize(401, 57);
  waterfall.XAxis().SetSamples(64);
  waterfall.show();
  testing::TRealSource source;
  ASSERT_TRUE(source.OutputPin.ConnectTo(&waterfall.InputPin()));
  constexpr int kLines = 3000;
  std::atomic<int> sent{0};
  std::thread feeder([&] {
    std::vector<double> values(256);
    for (int i = 0; i < kLines; ++i) {
      if (i % 700 == 0) source.Start(44100);
      for (size_t k = 0; k < values.size(); ++k) values[k] = double((i * 7 + int(k)) % 300);
      if (i % 500 == 250) values.resize(values.size() == 256 ? 128 : 256);
      source.Send(values);
      sent.fetch_add(1, std::memory_order_release);
    }
  });
  int rounds = 0;
  const bool finished = testing::WaitUntil([&] {
    ++rounds;
    waterfall.RefreshTick();
    if (rounds % 50 == 0) waterfall.SetHold(!waterfall.Hold());
    if (rounds % 7 == 0) waterfall.XAxis().SetSamples(rounds % 14 == 0 ? 32 : 64);
    const QPoint at(rounds % 401, rounds % 57);
    QMouseEvent move(QEvent::MouseMove, at, waterfall.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&waterfall, &move);
    waterfall.grab();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    return sent.load(std::memory_order_acquire) == kLines && rounds >= 50;
  });
  feeder.join();
  EXPECT_TRUE(finished) << "the feeder did not finish within the time-out";
  waterfall.SetHold(false);
  waterfall.XAxis().SetSamples(64);
  EXPECT_LE(waterfall.GetLineCount(), 64);
  for (int i = 0; i < 64; ++i) source.Send(std::vector<double>(256, 1.0));
  EXPECT_EQ(waterfall.GetLineCount(), 64);
  waterfall.UpdateImage();
  EXPECT_EQ(waterfall.Image().LinesDrawn(), 64);
  EXPECT_GT(rounds, 1);
}

}  // namespace
}  // namespace tardivox
