// The monitoring branch on the in-process wave service: capture → splitter → adder, directly
// and behind the delay line. Every block the adder sends is left + right of the frames that
// entered the branch, in order, on the capture's wave thread.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/AudioIn.h"
#include "audio/ComponentTestSupport.h"
#include "processing/Add.h"
#include "processing/AudioToReal.h"
#include "processing/DelayLine.h"

namespace tardivox {
namespace {

using testing::WaitUntil;

constexpr uint32_t kFrames = 512;
constexpr uint32_t kBuffers = 24;  // 12288 frames: twelve blocks of 1024

// Keeps the blocks that reach it from the delivering thread.
class TBlockSink final : public TComponent {
 public:
  TBlockSink() : TComponent(nullptr) {
    pin_ = std::make_unique<TSLOWRealSinkPin>(
        this, [this](TOWPin&, const Guid&, IOWNotifyOperation& op, TOWStateFlags) {
          if (auto* supplied = OperationAs<TOWSuppliedBufferOperation>(op)) {
            auto* real = dynamic_cast<ISLRealBuffer*>(supplied->Buffer().get());
            std::lock_guard lock(mutex_);
            blocks_.emplace_back(real->ReadData(), real->ReadData() + real->Count());
          }
          return false;
        });
  }
  ~TBlockSink() override { pin_.reset(); }
  TSLOWRealSinkPin& Pin() { return *pin_; }
  std::vector<std::vector<double>> Blocks() const {
    std::lock_guard lock(mutex_);
    return blocks_;
  }
  size_t BlockCount() const {
    std::lock_guard lock(mutex_);
    return blocks_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::vector<double>> blocks_;
  std::unique_ptr<TSLOWRealSinkPin> pin_;
};

class MonitoringChainTest : public testing::VirtualServiceTest {
 protected:
  MonitoringChainTest() {
    service_.AddInputDevice("Mic");
    capture_ = std::make_unique<TALAudioIn>(nullptr);
    delay_ = std::make_unique<TALDelayLine>(nullptr);
    splitter_ = std::make_unique<TALAudioToReal>(nullptr);
    adder_ = std::make_unique<TSLAdd>(nullptr);
    sink_ = std::make_unique<TBlockSink>();
    capture_->AudioFormat().SetBufferSize(kFrames);
    capture_->AudioFormat().SetSampleRate(44100);
    capture_->SetEnabled(false);
    for (int i = 0; i < 2; ++i) {
      EXPECT_TRUE(splitter_->OutputPins().Items(i)->ConnectTo(adder_->InputPins().Items(i)));
    }
    EXPECT_TRUE(adder_->OutputPin().ConnectTo(&sink_->Pin()));
  }
  ~MonitoringChainTest() override {
    capture_.reset();
    delay_.reset();
    splitter_.reset();
    adder_.reset();
    sink_.reset();
  }

  // Captures kBuffers buffers of a stereo pattern; answers every captured frame as left + right.
  std::vector<double> Capture() {
    capture_->SetEnabled(true);
    const TWaveHandle in = capture_->DeviceHandle();
    EXPECT_NE(in, kNoWaveHandle);
    std::vector<double> sums;
    for (uint32_t k = 0; k < kBuffers; ++k) {
      std::vector<int16_t> samples(kFrames * 2);
      for (uint32_t f = 0; f < kFrames; ++f) {
        const uint32_t frame = k * kFrames + f;
        samples[2 * f] = static_cast<int16_t>(static_cast<int32_t>(frame * 37 % 65536) - 32768);
        samples[2 * f + 1] = static_cast<int16_t>(12000 - static_cast<int32_t>(frame % 24001));
        sums.push_back(static_cast<double>(samples[2 * f]) + samples[2 * f + 1]);
      }
      EXPECT_TRUE(service_.CompleteInput(in, samples.data(), samples.size() * 2));
    }
    return sums;
  }

  // The adder's blocks are the expected stream cut into blocks of 1024, in order.
  void ExpectBlocksOf(const std::vector<double>& stream) {
    const size_t blocks = stream.size() / 1024;
    ASSERT_TRUE(WaitUntil([&] { return sink_->BlockCount() >= blocks; }))
        << "only " << sink_->BlockCount() << " of " << blocks << " blocks arrived";
    const auto received = sink_->Blocks();
    for (size_t b = 0; b < blocks; ++b) {
      ASSERT_EQ(received[b].size(), 1024u);
      for (size_t k = 0; k < 1024; ++k) {
        ASSERT_EQ(received[b][k], stream[b * 1024 + k]) << "block " << b << " item " << k;
      }
    }
  }

  std::unique_ptr<TALAudioIn> capture_;
  std::unique_ptr<TALDelayLine> delay_;
  std::unique_ptr<TALAudioToReal> splitter_;
  std::unique_ptr<TSLAdd> adder_;
  std::unique_ptr<TBlockSink> sink_;
};

TEST_F(MonitoringChainTest, EveryBlockIsLeftPlusRightOfTheCapturedFrames) {
  ASSERT_TRUE(capture_->OutputPin().ConnectTo(&splitter_->InputPin()));
  ExpectBlocksOf(Capture());
  capture_->SetEnabled(false);
  EXPECT_TRUE(adder_->Inputs()[0]->Queue().Available() < 1024);
}

TEST_F(MonitoringChainTest, BehindTheDelayLineTheBlocksFollowTheDelayedStream) {
  constexpr uint32_t kDelayFrames = 1000;
  delay_->SetDelay(kDelayFrames);
  ASSERT_TRUE(capture_->OutputPin().ConnectTo(&delay_->InputPin()));
  ASSERT_TRUE(delay_->OutputPin().ConnectTo(&splitter_->InputPin()));
  std::vector<double> delayed(kDelayFrames, 0.0);
  const std::vector<double> captured = Capture();
  delayed.insert(delayed.end(), captured.begin(), captured.end());
  delayed.resize(captured.size());  // what the delay line has sent on so far
  ExpectBlocksOf(delayed);
  capture_->SetEnabled(false);
}

// BufferSize changes and stream restarts on this thread while the wave thread delivers as fast
// as buffers complete: blocks keep coming, each of one of the sizes set.
TEST_F(MonitoringChainTest, BufferSizeChangesAndRestartsWhileAudioFlows) {
  ASSERT_TRUE(capture_->OutputPin().ConnectTo(&splitter_->InputPin()));
  std::atomic<bool> running{true};
  std::thread clock([&] {
    const std::vector<uint8_t> data(kFrames * 4, 0x21);
    while (running.load()) {
      const TWaveHandle in = service_.CurrentHandle(true);
      if (!in || !service_.CompleteInput(in, data.data(), data.size())) std::this_thread::yield();
    }
  });
  for (int round = 0; round < 30; ++round) {
    capture_->SetEnabled(true);
    const size_t seen = sink_->BlockCount();
    adder_->SetBufferSize(round % 2 ? 512 : 1024);
    ASSERT_TRUE(WaitUntil([&] { return sink_->BlockCount() >= seen + 2; }))
        << "no blocks in round " << round;
    capture_->SetEnabled(false);
  }
  running = false;
  clock.join();
  for (const auto& block : sink_->Blocks()) {
    ASSERT_TRUE(block.size() == 512 || block.size() == 1024) << block.size();
  }
}

}  // namespace
}  // namespace tardivox
