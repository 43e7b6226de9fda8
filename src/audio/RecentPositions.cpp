#include "audio/RecentPositions.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>

namespace tardivox {

void TALRecentPositions::Add(uint64_t atUsec, int64_t readIndex) {
  if (count_ > 0 && readIndex != lastIndex_) {
    moveBytes_[nextMove_] = static_cast<uint64_t>(std::llabs(readIndex - lastIndex_));
    nextMove_ = (nextMove_ + 1) % moveBytes_.size();
    moves_ = std::min(moves_ + 1, moveBytes_.size());
  }
  lastIndex_ = readIndex;
  answers_[next_] = {atUsec, readIndex};
  next_ = (next_ + 1) % answers_.size();
  count_ = std::min(count_ + 1, answers_.size());
}

int64_t TALRecentPositions::Furthest(uint64_t nowUsec, double bytesPerSecond,
                                     uint32_t bytesPerFrame, uint64_t maxAgeUsec,
                                     int64_t fallback) const {
  const int64_t frame = std::max<uint32_t>(1, bytesPerFrame);
  int64_t best = fallback;
  for (size_t i = 0; i < count_; ++i) {
    const TAnswer& a = answers_[i];
    // An answer from the future (a clock step) is taken as given now.
    const uint64_t age = nowUsec > a.atUsec ? nowUsec - a.atUsec : 0;
    if (age > maxAgeUsec) continue;
    const auto ahead = static_cast<int64_t>(static_cast<double>(age) * bytesPerSecond / 1e6);
    best = std::max(best, a.readIndex + ahead - ahead % frame);
  }
  return best;
}

uint32_t TALRecentPositions::CycleFrames(uint32_t bytesPerFrame) const {
  if (moves_ < kMinMoves || bytesPerFrame == 0) return 0;
  uint64_t divisor = 0;
  for (size_t i = 0; i < moves_; ++i) divisor = std::gcd(divisor, moveBytes_[i]);
  // A move that is not a whole number of frames says nothing about cycles.
  if (divisor % bytesPerFrame != 0) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(divisor / bytesPerFrame, UINT32_MAX));
}

}  // namespace tardivox
