#pragma once
// The plain model the delay line is checked against: a first-in first-out queue of frames,
// fed and drained one frame at a time. It knows nothing of buffers, runs or wrap-around.

#include <cstdint>
#include <deque>
#include <vector>

namespace tardivox::testing {

class DelayReference {
 public:
  // delayFrames frames of silence.
  void Reset(uint32_t delayFrames, uint32_t bytesPerFrame, uint8_t silenceByte) {
    bytesPerFrame_ = bytesPerFrame;
    silenceByte_ = silenceByte;
    fifo_.assign(uint64_t{delayFrames} * bytesPerFrame, silenceByte);
  }
  // Silence, same length.
  void Clear() { fifo_.assign(fifo_.size(), silenceByte_); }

  std::vector<uint8_t> Process(const std::vector<uint8_t>& input) {
    std::vector<uint8_t> output;
    output.reserve(input.size());
    for (size_t frame = 0; frame < input.size(); frame += bytesPerFrame_) {
      for (uint32_t b = 0; b < bytesPerFrame_; ++b) fifo_.push_back(input[frame + b]);
      for (uint32_t b = 0; b < bytesPerFrame_; ++b) {
        output.push_back(fifo_.front());
        fifo_.pop_front();
      }
    }
    return output;
  }

  std::vector<uint8_t> History() const { return {fifo_.begin(), fifo_.end()}; }

 private:
  std::deque<uint8_t> fifo_;
  uint32_t bytesPerFrame_ = 1;
  uint8_t silenceByte_ = 0;
};

}  // namespace tardivox::testing
