#include "audio/RecentPositions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace tardivox {
namespace {

// A server that reads 1024 bytes (256 frames of 16-bit stereo) at the start of each 5805 µs
// cycle and answers at random moments with the read index of its last cycle.
struct TCycleServer {
  static constexpr double kBytesPerSecond = 176400;
  static constexpr uint64_t kCycleUsec = 5805;
  static constexpr uint64_t kMaxAgeUsec = 50000;
  uint64_t lostCycles = 0;  // cycles the server missed: it reads nothing in them

  int64_t IndexAt(uint64_t usec) const {
    return static_cast<int64_t>(usec / kCycleUsec - std::min(usec / kCycleUsec, lostCycles)) * 1024;
  }
  // Where it really is: the reads so far plus the time into the current cycle.
  double TrueAt(uint64_t usec) const {
    return static_cast<double>(IndexAt(usec)) +
           static_cast<double>(usec % kCycleUsec) * kBytesPerSecond / 1e6;
  }
};

// The furthest of the recent answers is within a few frames of the truth wherever the answers
// fell in their cycles, where the latest answer alone is off by up to a cycle; a cycle the
// server misses is followed within the answers' age limit; no answer, an old one or one from
// the future never moves it past what it is given.
TEST(RecentPositionsTest, TheAnswerNearestItsCycleGivesThePosition) {
  std::mt19937 random(7);
  std::uniform_int_distribution<uint64_t> gap(500, 6000);  // µs between answers
  TCycleServer server;
  TALRecentPositions recent;
  uint64_t now = 1'000'000;
  double furthestWorst = 0, latestWorst = 0, furthestSum = 0;
  int n = 0;
  for (int i = 0; i < 4000; ++i) {
    now += gap(random);
    if (i == 2000) server.lostCycles = 1;
    recent.Add(now, server.IndexAt(now));
    const uint64_t later = now + gap(random) / 2;
    const double truth = server.TrueAt(later);
    const int64_t latest =
        server.IndexAt(now) +
        static_cast<int64_t>((later - now) * TCycleServer::kBytesPerSecond / 1e6);
    const double error =
        static_cast<double>(recent.Furthest(later, TCycleServer::kBytesPerSecond, 4,
                                            TCycleServer::kMaxAgeUsec, latest)) -
        truth;
    // Just after the missed cycle the older answers run ahead by it until they age out.
    if (i >= 2000 && i < 2000 + 40) continue;
    furthestWorst = std::max(furthestWorst, std::abs(error));
    latestWorst = std::max(latestWorst, std::abs(static_cast<double>(latest) - truth));
    furthestSum += error;
    ++n;
  }
  EXPECT_LT(std::abs(furthestSum / n), 100.0) << "biased by where the answers fell";
  EXPECT_LT(furthestWorst, 600.0);
  EXPECT_GT(latestWorst, 900.0) << "the simulated answers should be up to a cycle old";

  // An answer older than the limit is not extrapolated; one from the future is taken as now.
  recent.Clear();
  EXPECT_EQ(recent.Furthest(now, TCycleServer::kBytesPerSecond, 4, 50000, 123), 123);
  recent.Add(now, 1000);
  EXPECT_EQ(recent.Furthest(now + 60000, TCycleServer::kBytesPerSecond, 4, 50000, 5), 5);
  EXPECT_EQ(recent.Furthest(now + 10000, TCycleServer::kBytesPerSecond, 4, 50000, 5), 1000 + 1764);
  recent.Add(now + 20000, 9000);
  EXPECT_EQ(recent.Furthest(now + 10000, TCycleServer::kBytesPerSecond, 4, 50000, 0), 9000);
}

// The cycle is the common divisor of how the read index moves from one answer to the next:
// one cycle of 256 frames whether the answers come several times a cycle or once in several
// cycles; nothing before enough moves are known, or after Clear; 1 where the server reads any
// number of frames (a resampled stream), and 0 where a move is not whole frames.
TEST(RecentPositionsTest, MovesInWholeCyclesGiveTheCycle) {
  std::mt19937 random(11);
  std::uniform_int_distribution<uint64_t> gap(500, 20000);
  TCycleServer server;
  TALRecentPositions recent;
  uint64_t now = 1'000'000;
  for (size_t i = 0; i < 400; ++i) {
    now += gap(random);
    recent.Add(now, server.IndexAt(now));
    if (i == 3) {
      EXPECT_EQ(recent.CycleFrames(4), 0u) << "too few moves to know";
    }
  }
  EXPECT_EQ(recent.CycleFrames(4), 256u);
  EXPECT_EQ(recent.CycleFrames(8), 128u);
  recent.Clear();
  EXPECT_EQ(recent.CycleFrames(4), 0u);

  // 127 to 129 frames a cycle.
  std::uniform_int_distribution<int64_t> read(127, 129);
  int64_t index = 0;
  for (size_t i = 0; i < 40; ++i) recent.Add(now += 2900, index += 4 * read(random));
  EXPECT_EQ(recent.CycleFrames(4), 1u);
  recent.Clear();
  for (size_t i = 0; i < 40; ++i) recent.Add(now += 2900, index += 1026);
  EXPECT_EQ(recent.CycleFrames(4), 0u);
}

}  // namespace
}  // namespace tardivox
