// The message-processing wait, the guarded calls and the error box text.

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <time.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>

#include "app/AppExceptions.h"
#include "app/Misc.h"

namespace tardivox {
namespace {

TEST(WaitProcessingMessagesTest, ProcessesEventsOnceForZeroMilliseconds) {
  int processed = 0;
  WaitProcessingMessages(
      0, [] { return 7u; }, [&](uint32_t) { ++processed; });
  EXPECT_EQ(processed, 1);
}

TEST(WaitProcessingMessagesTest, WaitsAcrossAWrapOfTheTickCount) {
  uint32_t tick = 0xFFFFFFF0u;
  int processed = 0;
  WaitProcessingMessages(
      40, [&] { return tick; },
      [&](uint32_t maxSleepMs) {
        EXPECT_EQ(maxSleepMs, processed == 0 ? 0u : 40u - 10u * (processed - 1));
        ++processed;
        if (maxSleepMs != 0) tick += 10;
      });
  EXPECT_EQ(processed, 5)
      << "once without sleeping, then 40 ms at 10 ms per sleep, the counter wrapping after 16 ms";
}

TEST(WaitProcessingMessagesTest, SwallowsErrorsOfHandlersAndGoesOn) {
  uint32_t tick = 0;
  int processed = 0;
  WaitProcessingMessages(
      20, [&] { return tick; },
      [&](uint32_t) {
        ++processed;
        tick += 10;
        throw Exception("handler failed");
      });
  EXPECT_EQ(processed, 2);
}

TEST(WaitProcessingMessagesTest, KeepsTheWindowAliveForAtLeastTheTimeAsked) {
  bool ran = false;
  QTimer::singleShot(0, [&] { ran = true; });
  const auto start = std::chrono::steady_clock::now();
  WaitProcessingMessages(30);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(29));
  EXPECT_TRUE(ran) << "a queued event was not processed during the wait";
}

TEST(WaitProcessingMessagesTest, ProcessesPostedEventsAlsoForZeroMilliseconds) {
  bool ran = false;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [&] { ran = true; }, Qt::QueuedConnection);
  WaitProcessingMessages(0);
  EXPECT_TRUE(ran);
}

// The window's thread sleeps in the event loop during a wait instead of spinning a core.
TEST(WaitProcessingMessagesTest, ASecondsWaitCostsTheThreadLittleProcessorTime) {
  const auto threadCpu = [] {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
  };
  const auto cpuBefore = threadCpu();
  const auto wallBefore = std::chrono::steady_clock::now();
  WaitProcessingMessages(1000);
  const auto wall = std::chrono::steady_clock::now() - wallBefore;
  const auto cpu = threadCpu() - cpuBefore;
  std::printf("1 s wait: %.1f ms of the thread's processor time over %.1f ms\n",
              std::chrono::duration<double, std::milli>(cpu).count(),
              std::chrono::duration<double, std::milli>(wall).count());
  EXPECT_GE(wall, std::chrono::milliseconds(1000));
  EXPECT_LT(cpu, std::chrono::milliseconds(100));
}

TEST(GuardedTest, SwallowsOrdinaryErrorsOnly) {
  EXPECT_TRUE(Guarded([] {}));
  EXPECT_FALSE(Guarded([] { throw ERangeError("Index out of range = 3"); }));
  EXPECT_THROW(Guarded([] { throw std::logic_error("not a component failure"); }),
               std::logic_error);
}

TEST(ErrorBoxTextTest, AppendsAFullStopAfterCharactersAboveIt) {
  struct {
    const char* message;
    const char* shown;
  } const cases[] = {{"Erreur", "Erreur."},           {"Erreur.", "Erreur."},
                     {"Erreur !", "Erreur !"},        {"Fin (code 5)", "Fin (code 5)"},
                     {"Valeur = 12", "Valeur = 12."}, {"", ""},
                     {"Échec é", "Échec é."}};
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorBoxText(QString::fromUtf8(c.message)), QString::fromUtf8(c.shown)) << c.message;
  }
  EXPECT_EQ(ErrorBoxText(std::runtime_error("Périphérique absent")),
            QStringLiteral("Périphérique absent."));
}

}  // namespace
}  // namespace tardivox
