#pragma once
// The delay line: delays the audio stream by Delay frames (samples per channel).
//
// Guarantee: the stream that leaves is the stream that entered, shifted by exactly Delay
// frames, each output buffer having as many frames as its input, in the input's format. The
// history restarts as Delay frames of silence at every start of the stream (start-wave), at
// the first buffer after a Delay change, and at every assignment of Enabled (even one that does
// not change the value). While disabled, buffers pass through unchanged and the history is left
// as it is; with an unconnected output, buffers are dropped without touching the history.
//
// Cost: the history is a circular store of Delay frames (TALDelayRing), so each buffer of n
// frames costs O(n) copies whatever the delay, and the only allocation per buffer is its output
// buffer. The store is (re)allocated when it is rebuilt with a new size. Delay 0 sends the input
// buffer itself on (nothing copied).
//
// Formats: the history holds frames in the stream format. A buffer whose channels, sample width
// or channel mask differ from it is delayed channel by channel as CopyTo pairs channels by
// speaker position (widths converted); channels that only one side carries give silence. A
// buffer that arrives before any start-wave starts the stream in its own format.
//
// Threads and locks: as TALCommonFilter. SetDelay takes the lock holder's write section.
// Failure: a history that would need more than TALDelayRing::kMaxStoreBytes (or memory that
// cannot be had) raises EOutOfMemory while the buffer or start-wave is processed; that buffer
// is not sent, and the rebuild is tried again with the next one.

#include <atomic>
#include <cstdint>

#include "processing/CommonFilter.h"
#include "processing/DelayRing.h"

namespace tardivox {

class TALDelayLine : public TALCommonFilter {
 public:
  static constexpr uint32_t kDefaultDelayFrames = 25;

  explicit TALDelayLine(TComponent* owner);
  // Disconnects the input first (waiting for a delivery in progress), so that no buffer can
  // reach the history while it is destroyed.
  ~TALDelayLine() override;

  uint32_t Delay() const { return delay_.load(std::memory_order_acquire); }
  // Stores the delay; the history is rebuilt (Delay frames of silence) before the next buffer
  // or at the next start-wave.
  void SetDelay(uint32_t delayFrames);
  // Stores the value, then resets the history to silence (its length stays).
  void SetEnabled(bool value) override;

  // A copy of the history, oldest frame first, in the stream format; null before the history
  // was first built. Under the lock holder's write section.
  TRef<IALAudioBuffer> History();

 protected:
  void ProcessBuffer(const TRef<IALAudioBuffer>& input, TRef<IALAudioBuffer>& output,
                     bool& send) override;
  bool HandleStartWave(TOWStartWaveOperation& op) override;

 private:
  // Delay frames of silence in the stream format. Caller holds the group lock.
  void RebuildHistory();
  // A new buffer of `frames` frames in the stream format (frames not cleared).
  TRef<IALAudioBuffer> NewStreamBuffer(uint32_t frames) const;
  // Whether frames of `buffer` are laid out exactly as the history's.
  bool SameLayout(IALAudioBuffer& buffer) const;

  std::atomic<uint32_t> delay_{kDefaultDelayFrames};
  // Guarded by the group lock.
  bool rebuild_ = false;
  TALDelayRing history_;
  // The shape the history was built for (from the stream format, brought into range as every
  // audio buffer does).
  uint32_t historyChannels_ = 0;
  uint32_t historyContainerBits_ = 0;
  TALSpeakers historyMask_ = 0;
};

}  // namespace tardivox
