#include "app/Misc.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <limits>

#include "app/AppExceptions.h"

namespace tardivox {

uint32_t TickCount() {
  const auto elapsed = std::chrono::steady_clock::now().time_since_epoch();
  // Truncation to 32 bits is the wrap the waiting loop is written for.
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

void WaitProcessingMessages(uint32_t milliseconds) {
  // One timer for the whole wait, restarted for what is left: its expiry is the event that
  // wakes the loop at the deadline. A precise timer, because a coarse one may fire up to 5 %
  // early and the loop would then go round once more for the last few milliseconds.
  QTimer wake;
  wake.setSingleShot(true);
  wake.setTimerType(Qt::PreciseTimer);
  WaitProcessingMessages(milliseconds, TickCount, [&wake](uint32_t maxSleepMs) {
    if (maxSleepMs == 0) {
      QCoreApplication::processEvents();
      return;
    }
    wake.start(static_cast<int>(std::min<uint32_t>(maxSleepMs, std::numeric_limits<int>::max())));
    // Blocks in the event dispatcher until at least one event (the timer's at the latest)
    // has been processed. Unlike QEventLoop::exec this also waits after the application was
    // asked to quit, so the deadline holds then too.
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  });
}

void WaitProcessingMessages(uint32_t milliseconds, const std::function<uint32_t()>& tickCount,
                            const std::function<void(uint32_t maxSleepMs)>& processEvents) {
  const uint32_t start = tickCount();
  Guarded([&] { processEvents(0); });
  // Unsigned difference: correct across a wrap of the tick counter.
  for (uint32_t elapsed = static_cast<uint32_t>(tickCount() - start); elapsed < milliseconds;
       elapsed = static_cast<uint32_t>(tickCount() - start)) {
    Guarded([&] { processEvents(milliseconds - elapsed); });
  }
}

}  // namespace tardivox
