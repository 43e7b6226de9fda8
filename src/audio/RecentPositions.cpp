#include "audio/RecentPositions.h"

#include <algorithm>

namespace tardivox {

void TALRecentPositions::Add(uint64_t atUsec, int64_t readIndex) {
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

}  // namespace tardivox
