#include "app/Misc.h"

#include <QCoreApplication>

#include <chrono>

#include "app/AppExceptions.h"

namespace tardivox {

uint32_t TickCount() {
  const auto elapsed = std::chrono::steady_clock::now().time_since_epoch();
  // Truncation to 32 bits is the wrap the waiting loop is written for.
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

void WaitProcessingMessages(uint32_t milliseconds) {
  WaitProcessingMessages(milliseconds, TickCount, [] { QCoreApplication::processEvents(); });
}

void WaitProcessingMessages(uint32_t milliseconds, const std::function<uint32_t()>& tickCount,
                            const std::function<void()>& processEvents) {
  const uint32_t start = tickCount();
  do {
    Guarded(processEvents);
    // Unsigned difference: correct across a wrap of the tick counter.
  } while (static_cast<uint32_t>(tickCount() - start) < milliseconds);
}

}  // namespace tardivox
