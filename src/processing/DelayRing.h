#pragma once
// The circular history of the delay line: the last delayFrames frames that went in, kept as
// raw interleaved frames of one fixed size, with the position of the oldest one.
//
// Delaying a run of n frames hands out the n oldest frames and stores the n new ones in their
// place, so every call costs O(n) copies whatever the delay, and never allocates: the store is
// allocated once per Reset (and reused when its size does not change). The stream that leaves
// is the stream that entered shifted by exactly delayFrames frames; after Reset or Clear the
// first delayFrames frames out are silence.
//
// Threads: not synchronised; the owner serialises every call (the delay line does so under its
// group lock). Ownership: the ring owns its store.
// Failure: Reset raises EOutOfMemory when the store would exceed kMaxStoreBytes or memory
// cannot be had; the ring is then left without a store (Built() is false).

#include <cstdint>
#include <memory>

namespace tardivox {

class TALDelayRing {
 public:
  // The same limit as one audio block: a delay that needs more is refused, not attempted.
  static constexpr uint64_t kMaxStoreBytes = uint64_t{1} << 30;

  TALDelayRing() = default;
  TALDelayRing(const TALDelayRing&) = delete;
  TALDelayRing& operator=(const TALDelayRing&) = delete;

  // delayFrames frames of bytesPerFrame bytes, every byte silenceByte.
  void Reset(uint32_t delayFrames, uint32_t bytesPerFrame, uint8_t silenceByte);
  // Every held frame becomes silence; the length stays. Does nothing when not built.
  void Clear();
  // Drops the store: not built any more.
  void Release();

  bool Built() const { return built_; }
  uint32_t DelayFrames() const { return delayFrames_; }
  uint32_t BytesPerFrame() const { return bytesPerFrame_; }
  uint8_t SilenceByte() const { return silenceByte_; }

  // Writes frames frames to output: the stream delayed by DelayFrames(); input's frames are
  // kept in the ring in their place. input and output hold frames × BytesPerFrame() bytes each
  // and must not overlap. Requires Built().
  void Process(const uint8_t* input, uint8_t* output, uint32_t frames);

  // Copies the held frames, oldest first, to destination (DelayFrames() × BytesPerFrame()
  // bytes). Requires Built().
  void CopyHistory(uint8_t* destination) const;

 private:
  uint8_t* FrameAt(uint32_t index) const { return store_.get() + uint64_t{index} * bytesPerFrame_; }
  int Bytes(uint32_t frames) const { return static_cast<int>(uint64_t{frames} * bytesPerFrame_); }

  std::unique_ptr<uint8_t[]> store_;
  uint64_t storeBytes_ = 0;
  uint32_t delayFrames_ = 0;
  uint32_t bytesPerFrame_ = 0;
  // Index of the oldest held frame: the next one to leave.
  uint32_t head_ = 0;
  uint8_t silenceByte_ = 0;
  bool built_ = false;
};

}  // namespace tardivox
