#include "processing/QueuedRealSinkPin.h"

#include <cmath>
#include <cstdint>

namespace tardivox {

TSLOWQueuedRealSinkPin::TSLOWQueuedRealSinkPin(TComponent* owner, TOWReceiveHandler handler)
    : TSLOWRealSinkPin(owner, std::move(handler)) {}

void TSLOWQueuedRealSinkPin::Setup(int32_t bufferSize, double sampleRate) {
  announcedBufferSize_ = bufferSize;
  sampleRate_ = sampleRate;
  active_ = true;
}

void TSLOWQueuedRealSinkPin::Reset() {
  queue_.Clear();
  active_ = false;
}

bool TSLOWQueuedRealSinkPin::Enqueue(const TRef<ISLRealBuffer>& buffer) {
  if (!active_) return false;
  queue_.Push(buffer);
  return true;
}

void TSLOWQueuedRealSinkPin::ComputeNeed(int32_t blockSize, double commonRate) {
  const double rate = static_cast<float>(commonRate);
  if (!(rate > 0.0) || !std::isfinite(rate)) {
    needed_ = 0;  // no common rate yet: nothing to take
    return;
  }
  // std::nearbyint rounds in the current mode, which is to nearest with ties to even.
  const double need = std::nearbyint(static_cast<double>(blockSize) * sampleRate_ / rate);
  if (!(need > 0.0)) {
    needed_ = 0;  // also NaN
  } else if (need >= static_cast<double>(UINT32_MAX)) {
    needed_ = UINT32_MAX;
  } else {
    needed_ = static_cast<uint32_t>(need);
  }
}

}  // namespace tardivox
