#include "audio/AudioOut.h"

#include <gtest/gtest.h>

#include "audio/ComponentTestSupport.h"

namespace tardivox {
namespace {

using testing::BytesOf;
using testing::RampBuffer;
using testing::StaysFalse;
using testing::TProbeSource;
using testing::WaitUntil;

// At 1000 Hz the cushion (one buffer plus 20 ms) is covered by two buffers of 64 frames.
const WaveFormat kStereo16 = WaveFormat::Pcm(2, 16, 1000, 3);
constexpr uint32_t kFrames = 64;

class AudioOutTest : public testing::VirtualServiceTest {
 protected:
  AudioOutTest() {
    service_.AddOutputDevice("Speakers");
    service_.AddOutputDevice("Headphones");
    playback_ = std::make_unique<TALAudioOut>(nullptr);
    source_ = std::make_unique<TProbeSource>();
    EXPECT_TRUE(source_->Pin().ConnectTo(&playback_->InputPin()));
  }
  ~AudioOutTest() override {
    playback_.reset();
    source_.reset();
  }

  TRef<IALAudioBuffer> Buffer(int32_t first) { return RampBuffer(kStereo16, kFrames, first); }
  // Start-wave, resume, and the buffers that cover the cushion, played out at once: the device
  // plays and holds nothing. What it played so far is coverBytes_ long.
  TWaveHandle StartPlaying() {
    source_->StartWave(kStereo16);
    source_->Resume();
    const TWaveHandle handle = playback_->DeviceHandle();
    for (int i = 0; i < 4 && service_.IsPaused(handle); ++i) source_->SendBuffer(Buffer(-500));
    while (service_.QueuedCount(handle) > 0) PlayOne(handle, service_.QueuedCount(handle) - 1);
    coverBytes_ = service_.PlayedData(handle).size();
    return handle;
  }
  std::vector<uint8_t> PlayedAfterCover(TWaveHandle handle) {
    const auto played = service_.PlayedData(handle);
    return std::vector<uint8_t>(played.begin() + static_cast<ptrdiff_t>(coverBytes_),
                                played.end());
  }
  // Completes the oldest buffer at the device and waits until the playback has handled it.
  void PlayOne(TWaveHandle handle, size_t expectedAtDevice) {
    ASSERT_TRUE(service_.CompleteOutput(handle));
    ASSERT_TRUE(WaitUntil([&] {
      return playback_->DeviceBuffers() == expectedAtDevice &&
             service_.QueuedCount(handle) == expectedAtDevice;
    })) << "the device holds "
        << playback_->DeviceBuffers();
  }

  std::unique_ptr<TALAudioOut> playback_;
  std::unique_ptr<TProbeSource> source_;
  size_t coverBytes_ = 0;
};

TEST_F(AudioOutTest, Defaults) {
  EXPECT_TRUE(playback_->Enabled());
  EXPECT_EQ(playback_->PumpPriority(), 0);
  EXPECT_TRUE(playback_->PreFillEnabled());
  EXPECT_TRUE(playback_->EnableMasterPumping());
  EXPECT_EQ(playback_->Device().DeviceName(), "Default");
  EXPECT_FALSE(playback_->Active());
  std::vector<std::string> names;
  playback_->Device().GetDeviceNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"Speakers", "Headphones"}));
  playback_->SetPropertyValue("Device.DeviceName", std::string("Headphones"));
  source_->StartWave(kStereo16);
  ASSERT_EQ(service_.Opens().size(), 1u);
  EXPECT_EQ(service_.Opens()[0].deviceIndex, 1u);
  EXPECT_EQ(service_.Opens()[0].format, kStereo16);
}

TEST_F(AudioOutTest, StartsOnceTheStreamFlowsAndWhatWasWrittenCoversTheCushion) {
  source_->StartWave(kStereo16);
  const TWaveHandle handle = playback_->DeviceHandle();
  ASSERT_NE(handle, kNoWaveHandle);
  EXPECT_TRUE(service_.IsPaused(handle));
  source_->SendBuffer(Buffer(0));
  EXPECT_EQ(service_.QueuedCount(handle), 1u);
  EXPECT_FALSE(service_.CompleteOutput(handle)) << "played while paused";
  source_->Resume();
  EXPECT_TRUE(service_.IsPaused(handle)) << "started with less than the cushion";
  source_->SendBuffer(Buffer(1000));
  EXPECT_FALSE(service_.IsPaused(handle));
  EXPECT_EQ(service_.CallLog().back(), "restart " + std::to_string(handle));
  PlayOne(handle, 1);
  PlayOne(handle, 0);
  auto expected = BytesOf(*Buffer(0));
  const auto second = BytesOf(*Buffer(1000));
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(service_.PlayedData(handle), expected);
}

TEST_F(AudioOutTest, OnceStartedEveryBufferGoesToTheDeviceOnArrival) {
  const TWaveHandle handle = StartPlaying();
  for (int i = 0; i < 3; ++i) source_->SendBuffer(Buffer(i * 1000));
  EXPECT_EQ(service_.QueuedCount(handle), 3u);
  EXPECT_EQ(playback_->WaitingOperations(), 0u);
  PlayOne(handle, 2);
  PlayOne(handle, 1);
  PlayOne(handle, 0);
  std::vector<uint8_t> expected;
  for (int i = 0; i < 3; ++i) {
    auto bytes = BytesOf(*Buffer(i * 1000));
    expected.insert(expected.end(), bytes.begin(), bytes.end());
  }
  EXPECT_EQ(PlayedAfterCover(handle), expected);
  EXPECT_EQ(playback_->Counters().droppedFrames.load(), 0u);
  EXPECT_EQ(playback_->Counters().driftCorrections.load(), 0u);
}

TEST_F(AudioOutTest, EndStopClosesAsSoonAsHandledAndAPlainStopLetsTheBuffersPlayOut) {
  {
    const TWaveHandle handle = StartPlaying();
    for (int i = 0; i < 3; ++i) source_->SendBuffer(Buffer(i));
    source_->EndStop();
    ASSERT_TRUE(WaitUntil([&] { return !service_.IsOpen(handle); }));
    EXPECT_TRUE(PlayedAfterCover(handle).empty()) << "played after the end-stop";
    EXPECT_FALSE(playback_->Active());
    EXPECT_FALSE(playback_->Params().GetPumped());
  }
  {
    const TWaveHandle handle = StartPlaying();
    ASSERT_TRUE(service_.IsOpen(handle));
    for (int i = 0; i < 3; ++i) source_->SendBuffer(Buffer(i));
    source_->Stop();
    PlayOne(handle, 2);
    PlayOne(handle, 1);
    EXPECT_TRUE(service_.IsOpen(handle));
    ASSERT_TRUE(service_.CompleteOutput(handle));
    ASSERT_TRUE(WaitUntil([&] { return !service_.IsOpen(handle); }))
        << "the device stayed open after its last buffer";
    EXPECT_EQ(PlayedAfterCover(handle).size(), 3 * kFrames * 4);
  }
  {
    // With nothing at the device, a plain stop closes at once.
    const TWaveHandle handle = StartPlaying();
    source_->Stop();
    ASSERT_TRUE(WaitUntil([&] { return !service_.IsOpen(handle); }));
  }
}

TEST_F(AudioOutTest, ADisabledPlaybackKeepsItsDeviceAndDropsBuffers) {
  playback_->SetEnabled(false);
  const TWaveHandle handle = StartPlaying();
  ASSERT_TRUE(service_.IsOpen(handle));
  for (int i = 0; i < 3; ++i) source_->SendBuffer(Buffer(i));
  EXPECT_EQ(service_.QueuedCount(handle), 0u);
  EXPECT_EQ(playback_->WaitingOperations(), 0u);
  playback_->SetEnabled(true);
  source_->SendBuffer(Buffer(7));
  EXPECT_EQ(service_.QueuedCount(handle), 1u);
  playback_->SetEnabled(false);
  source_->EndStop();
  ASSERT_TRUE(WaitUntil([&] { return !service_.IsOpen(handle); }));
}

TEST_F(AudioOutTest, TheDeviceReadsABlockNobodyElseWrites) {
  const TWaveHandle handle = StartPlaying();
  TRef<IALAudioBuffer> sent = Buffer(100);
  const auto original = BytesOf(*sent);
  source_->SendBuffer(sent);
  // The sender writes into its buffer while the device still holds it.
  sent->Fill(-1);
  PlayOne(handle, 0);
  EXPECT_EQ(PlayedAfterCover(handle), original);
}

TEST_F(AudioOutTest, PumpRequestsAreTakenOverOnlyByAHigherPriority) {
  struct TCase {
    int32_t requestPriority;
    int32_t playbackPriority;
    bool masterPumping;
    bool deviceOpens;
    bool takenOver;
  };
  const TCase cases[] = {
      {0, 0, true, true, false}, {0, 1, true, true, true},   {5, 5, true, true, false},
      {5, 6, true, true, true},  {5, 6, true, false, false}, {5, 6, false, true, false},
  };
  for (const TCase& c : cases) {
    playback_->SetPumpPriority(c.playbackPriority);
    playback_->SetEnableMasterPumping(c.masterPumping);
    service_.SetOpenResult(false, kWaveMapper,
                           c.deviceOpens ? TWaveResult::NoError : TWaveResult::BadFormat);
    TRef<TOWPumpRequestOperation> request(new TOWPumpRequestOperation(
        source_.get(), 1.0f, c.requestPriority, TOWPumpRequestOperation::kStreamPump));
    source_->Pin().Notify(*request);
    const bool taken = request->Pump() == playback_.get();
    EXPECT_EQ(taken, c.takenOver) << c.requestPriority << " vs " << c.playbackPriority;
    if (taken) {
      EXPECT_EQ(request->Priority(), c.playbackPriority);
      EXPECT_TRUE(playback_->Params().GetPumped());
    }
  }
  // Trial opens leave no device behind.
  EXPECT_EQ(service_.CurrentHandle(false), kNoWaveHandle);
  EXPECT_FALSE(playback_->Active());
}

TEST_F(AudioOutTest, StartPumpSendsThePrefillRequests) {
  struct TCase {
    bool preFill;
    bool resumedFirst;
    size_t requests;
  };
  const TCase cases[] = {{true, false, 4}, {true, true, 3}, {false, false, 1}, {false, true, 1}};
  playback_->SetPumpPriority(1);
  for (const TCase& c : cases) {
    playback_->SetPreFillEnabled(c.preFill);
    TRef<TOWPumpRequestOperation> request(
        new TOWPumpRequestOperation(source_.get(), 1.0f, 0, TOWPumpRequestOperation::kStreamPump));
    source_->Pin().Notify(*request);
    ASSERT_EQ(request->Pump(), playback_.get());
    source_->StartWave(kStereo16);
    if (c.resumedFirst) source_->Resume();
    source_->ClearUpstream();
    source_->Send(new TOWStartPumpOperation);
    EXPECT_EQ(source_->UpstreamCount("master-pump"), c.requests)
        << "prefill " << c.preFill << ", resumed " << c.resumedFirst;
    source_->EndStop();
    ASSERT_TRUE(WaitUntil([&] { return !playback_->Active(); }));
  }
}

TEST_F(AudioOutTest, AStartWaveOnAnOpenStreamReopensAtOnceInsteadOfBlockingTheList) {
  const TWaveHandle first = StartPlaying();
  source_->SendBuffer(Buffer(0));
  source_->SendBuffer(Buffer(1));
  source_->StartWave(kStereo16);  // no stop in between
  source_->SendBuffer(Buffer(2));
  source_->Resume();
  EXPECT_EQ(playback_->WaitingOperations(), 0u) << "the operations behind the start-wave wait";
  const TWaveHandle second = playback_->DeviceHandle();
  EXPECT_NE(second, first);
  EXPECT_FALSE(service_.IsOpen(first));
  source_->SendBuffer(Buffer(3));
  EXPECT_FALSE(service_.IsPaused(second));
  EXPECT_EQ(service_.QueuedCount(second), 2u);
  PlayOne(second, 1);
  EXPECT_EQ(service_.PlayedData(second), BytesOf(*Buffer(2)));
}

// An end-stop followed at once by the next stream: the close on the notify thread must take
// the old device only, whatever the timing.
TEST_F(AudioOutTest, ACloseAfterEndStopNeverTakesTheNextStreamsDevice) {
  for (int round = 0; round < 50; ++round) {
    const TWaveHandle old = StartPlaying();
    source_->SendBuffer(Buffer(round));
    source_->EndStop();
    source_->StartWave(kStereo16);
    const TWaveHandle next = playback_->DeviceHandle();
    ASSERT_TRUE(WaitUntil([&] { return !service_.IsOpen(old); })) << "round " << round;
    ASSERT_NE(next, kNoWaveHandle);
    source_->SendBuffer(Buffer(5));
    ASSERT_TRUE(WaitUntil([&] { return service_.QueuedCount(next) == 1; })) << "round " << round;
    ASSERT_TRUE(service_.IsOpen(next)) << "round " << round;
    source_->EndStop();
    ASSERT_TRUE(WaitUntil([&] { return !service_.IsOpen(next); })) << "round " << round;
  }
  EXPECT_TRUE(StaysFalse([&] { return service_.CurrentHandle(false) != kNoWaveHandle; },
                         std::chrono::milliseconds(20)));
}

TEST_F(AudioOutTest, DestroyingWhilePlayingClosesTheDevice) {
  const TWaveHandle handle = StartPlaying();
  for (int i = 0; i < 5; ++i) source_->SendBuffer(Buffer(i));
  ASSERT_TRUE(service_.CompleteOutput(handle));
  playback_.reset();
  EXPECT_FALSE(service_.IsOpen(handle));
}

}  // namespace
}  // namespace tardivox
