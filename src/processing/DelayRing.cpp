#include "processing/DelayRing.h"

#include <algorithm>
#include <new>

#include "core/Exceptions.h"
#include "vector/Vector.h"

namespace tardivox {

void TALDelayRing::Reset(uint32_t delayFrames, uint32_t bytesPerFrame, uint8_t silenceByte) {
  const uint64_t bytes = uint64_t{delayFrames} * bytesPerFrame;
  if (bytes > kMaxStoreBytes) {
    Release();
    throw EOutOfMemory(FormatMessage("Delay of %u frames of %u bytes is too long",
                                     {std::to_string(delayFrames), std::to_string(bytesPerFrame)}));
  }
  // A restart with the same delay and frame size is common (every start of the stream, every
  // Enabled assignment): keep the store rather than give it back and take it again.
  if (bytes != storeBytes_ || !store_) {
    store_.reset();
    storeBytes_ = 0;
    built_ = false;
    if (bytes > 0) {
      store_.reset(new (std::nothrow) uint8_t[bytes]);
      if (!store_) {
        throw EOutOfMemory(
            FormatMessage("Out of memory for a delay of %u frames", {std::to_string(delayFrames)}));
      }
    }
    storeBytes_ = bytes;
  }
  delayFrames_ = delayFrames;
  bytesPerFrame_ = bytesPerFrame;
  silenceByte_ = silenceByte;
  built_ = true;
  Clear();
}

void TALDelayRing::Clear() {
  if (!built_) return;
  if (storeBytes_ > 0) vec::Fill(store_.get(), silenceByte_, static_cast<int>(storeBytes_));
  head_ = 0;
}

void TALDelayRing::Release() {
  store_.reset();
  storeBytes_ = 0;
  delayFrames_ = 0;
  head_ = 0;
  built_ = false;
}

void TALDelayRing::Process(const uint8_t* input, uint8_t* output, uint32_t frames) {
  const uint32_t delay = delayFrames_;
  if (frames >= delay) {
    // The whole history leaves first (oldest at head_), then the start of the input; the
    // input's last delay frames become the history, from index 0.
    const uint32_t tail = delay - head_;
    vec::Copy(output, FrameAt(head_), Bytes(tail));
    vec::Copy(output + Bytes(tail), FrameAt(0), Bytes(head_));
    vec::Copy(output + Bytes(delay), input, Bytes(frames - delay));
    vec::Copy(FrameAt(0), input + Bytes(frames - delay), Bytes(delay));
    head_ = 0;
    return;
  }
  // Fewer frames than the delay: the oldest frames leave and the new ones take their slots,
  // in at most two runs because the slots may wrap round the end of the store.
  uint32_t done = 0;
  while (done < frames) {
    const uint32_t run = std::min(frames - done, delay - head_);
    vec::Copy(output + Bytes(done), FrameAt(head_), Bytes(run));
    vec::Copy(FrameAt(head_), input + Bytes(done), Bytes(run));
    done += run;
    head_ += run;
    if (head_ == delay) head_ = 0;
  }
}

void TALDelayRing::CopyHistory(uint8_t* destination) const {
  const uint32_t tail = delayFrames_ - head_;
  vec::Copy(destination, FrameAt(head_), Bytes(tail));
  vec::Copy(destination + Bytes(tail), FrameAt(0), Bytes(head_));
}

}  // namespace tardivox
