// The live chain capture → delay line → playback on the in-process wave service: the sound that
// is played is the sound that was captured, delayed by exactly the delay, and the chain
// survives being switched and reconfigured while audio flows.

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "audio/AudioIn.h"
#include "audio/AudioOut.h"
#include "audio/ComponentTestSupport.h"
#include "processing/DelayLine.h"

namespace tardivox {
namespace {

using testing::TProbeSink;
using testing::WaitUntil;

constexpr uint32_t kFrames = 512;
constexpr uint32_t kBytesPerFrame = 4;

class ChainTest : public testing::VirtualServiceTest {
 protected:
  ChainTest() {
    service_.AddInputDevice("Mic");
    service_.AddOutputDevice("Speakers");
    capture_ = std::make_unique<TALAudioIn>(nullptr);
    delay_ = std::make_unique<TALDelayLine>(nullptr);
    playback_ = std::make_unique<TALAudioOut>(nullptr);
    probe_ = std::make_unique<TProbeSink>();
    capture_->AudioFormat().SetBufferSize(kFrames);
    capture_->AudioFormat().SetSampleRate(44100);
    EXPECT_TRUE(capture_->OutputPin().ConnectTo(&delay_->InputPin()));
    EXPECT_TRUE(delay_->OutputPin().ConnectTo(&playback_->InputPin()));
    EXPECT_TRUE(delay_->OutputPin().ConnectTo(&probe_->Pin()));
    // Stored disabled, as in the program; switched on in the program's order.
    capture_->SetEnabled(false);
  }
  ~ChainTest() override {
    capture_.reset();
    delay_.reset();
    playback_.reset();
    probe_.reset();
  }

  // Input bytes of buffer k: a ramp that never repeats within the test.
  static std::vector<uint8_t> InputBuffer(uint32_t k) {
    std::vector<uint8_t> bytes(kFrames * kBytesPerFrame);
    auto* samples = reinterpret_cast<int16_t*>(bytes.data());
    for (uint32_t i = 0; i < kFrames * 2; ++i)
      samples[i] = static_cast<int16_t>(1 + (k * kFrames * 2 + i) % 30000);
    return bytes;
  }

  std::unique_ptr<TALAudioIn> capture_;
  std::unique_ptr<TALDelayLine> delay_;
  std::unique_ptr<TALAudioOut> playback_;
  std::unique_ptr<TProbeSink> probe_;
};

TEST_F(ChainTest, PlaysTheCapturedSoundDelayedByExactlyTheDelay) {
  constexpr uint32_t kDelayFrames = 1000;
  constexpr uint32_t kBuffers = 12;
  delay_->SetDelay(kDelayFrames);
  capture_->SetEnabled(true);
  const TWaveHandle in = capture_->DeviceHandle();
  const TWaveHandle out = playback_->DeviceHandle();
  ASSERT_NE(in, kNoWaveHandle);
  ASSERT_NE(out, kNoWaveHandle);
  EXPECT_TRUE(service_.IsPaused(out)) << "the playback must wait for the cushion";
  // One buffer plus 20 ms (1394 frames at 44100 Hz) takes three buffers of 512 frames; the
  // surplus of 142 frames is cut from the head before the start.
  constexpr uint32_t kCoveringBuffers = 3;
  constexpr uint32_t kStartTrimFrames = kCoveringBuffers * kFrames - (kFrames + 882);

  std::vector<uint8_t> captured;
  for (uint32_t k = 0; k < kBuffers; ++k) {
    const auto data = InputBuffer(k);
    captured.insert(captured.end(), data.begin(), data.end());
    ASSERT_TRUE(service_.CompleteInput(in, data.data(), data.size()));
    ASSERT_TRUE(WaitUntil([&] { return probe_->Count("buffer") == k + 1; }));
    // The resume follows the first buffer; the device starts once the cushion is covered.
    if (k + 1 < kCoveringBuffers) {
      EXPECT_TRUE(service_.IsPaused(out));
      continue;
    }
    ASSERT_TRUE(WaitUntil([&] { return !service_.IsPaused(out); }));
    // Let the device play what it holds, as a real one would at the same pace.
    while (playback_->DeviceBuffers() > 1) {
      const size_t before = playback_->DeviceBuffers() + playback_->WaitingOperations();
      ASSERT_TRUE(service_.CompleteOutput(out));
      ASSERT_TRUE(WaitUntil([&] {
        return playback_->DeviceBuffers() + playback_->WaitingOperations() == before - 1;
      }));
    }
  }
  EXPECT_EQ(probe_->Count("resume"), 1u);
  while (service_.CompleteOutput(out)) {
    ASSERT_TRUE(WaitUntil([&] { return playback_->DeviceBuffers() == service_.QueuedCount(out); }));
  }
  std::vector<uint8_t> expected((kDelayFrames - kStartTrimFrames) * kBytesPerFrame, 0);
  expected.insert(expected.end(), captured.begin(), captured.end());
  const std::vector<uint8_t> played = service_.PlayedData(out);
  ASSERT_GE(played.size(), (kBuffers - 2) * kFrames * kBytesPerFrame);
  expected.resize(played.size());
  EXPECT_TRUE(played == expected) << "the played stream is not the captured one delayed";

  capture_->SetEnabled(false);
  ASSERT_TRUE(WaitUntil([&] { return !playback_->Active(); }))
      << "the end-stop did not close the playback";
  EXPECT_FALSE(service_.IsOpen(in));
}

// Switching on and off, changing the delay and toggling the delay line while a clock thread
// completes device buffers as fast as it can.
TEST_F(ChainTest, SoakSwitchingAndReconfiguringWhileAudioFlows) {
  std::atomic<bool> running{true};
  std::atomic<uint64_t> completions{0};
  std::thread clock([&] {
    const auto data = InputBuffer(3);
    while (running.load()) {
      bool any = false;
      if (TWaveHandle in = service_.CurrentHandle(true))
        any |= service_.CompleteInput(in, data.data(), data.size());
      if (TWaveHandle out = service_.CurrentHandle(false)) any |= service_.CompleteOutput(out);
      if (any) ++completions;
      if (!any) std::this_thread::yield();
    }
  });
  std::mt19937 random(7);
  for (int round = 0; round < 50; ++round) {
    probe_->Clear();
    capture_->SetEnabled(true);
    ASSERT_TRUE(WaitUntil([&] { return probe_->Count("buffer") >= 3; }))
        << "no audio in round " << round;
    delay_->SetDelay(100 + random() % 20000);
    delay_->SetEnabled(round % 2 == 0);
    const size_t seen = probe_->Count("buffer");
    ASSERT_TRUE(WaitUntil([&] { return probe_->Count("buffer") >= seen + 3; }))
        << "audio stopped after a change in round " << round;
    playback_->SetEnabled(round % 3 != 0);
    capture_->SetEnabled(false);
    ASSERT_EQ(probe_->Count("end-stop"), 1u) << "round " << round;
  }
  // The last end-stop waits behind the buffers at the device: the clock keeps playing them.
  const bool closed = WaitUntil([&] { return !playback_->Active(); });
  running = false;
  clock.join();
  ASSERT_TRUE(closed) << "the playback was not closed after the last end-stop";
  EXPECT_GT(completions.load(), 300u);
}

}  // namespace
}  // namespace tardivox
