#include "audio/AudioOut.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>

#include "audio/ComponentTestSupport.h"
#include "audio/PlaybackCushion.h"

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
    return std::vector<uint8_t>(played.begin() + static_cast<ptrdiff_t>(coverBytes_), played.end());
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
  EXPECT_EQ(service_.QueuedCount(handle), 0u) << "handed over before the stream flows";
  source_->Resume();
  EXPECT_TRUE(service_.IsPaused(handle)) << "started with less than the cushion";
  source_->SendBuffer(Buffer(1000));
  EXPECT_FALSE(service_.IsPaused(handle));
  EXPECT_EQ(service_.CallLog().back(), "restart " + std::to_string(handle));
  // 128 frames held, 84 needed: the oldest 44 never play.
  ASSERT_EQ(service_.QueuedCount(handle), 2u);
  PlayOne(handle, 1);
  PlayOne(handle, 0);
  const auto first = BytesOf(*Buffer(0));
  std::vector<uint8_t> expected(first.begin() + 44 * 4, first.end());
  const auto second = BytesOf(*Buffer(1000));
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(service_.PlayedData(handle), expected);
  EXPECT_EQ(playback_->Counters().droppedFrames.load(), 0u) << "the start's trim is no drop";
}

TEST_F(AudioOutTest, TheCushionIsOneBufferPlusTheServicesMarginBroughtIntoRange) {
  // 64 frames plus 100 ms (100 frames): three buffers cover it, the oldest 28 frames never play.
  service_.SetPlaybackMargin(0.100);
  source_->StartWave(kStereo16);
  const TWaveHandle handle = playback_->DeviceHandle();
  source_->Resume();
  for (int32_t first : {0, 1000}) {
    source_->SendBuffer(Buffer(first));
    EXPECT_TRUE(service_.IsPaused(handle)) << "started with less than the cushion";
  }
  source_->SendBuffer(Buffer(2000));
  ASSERT_FALSE(service_.IsPaused(handle));
  for (size_t left = 3; left-- > 0;) PlayOne(handle, left);
  EXPECT_EQ(service_.PlayedData(handle).size(), (3 * kFrames - 28) * 4u);

  // A margin out of range (negative, NaN) is none: one buffer starts the next stream.
  for (double margin : {-1.0, std::nan("")}) {
    service_.SetPlaybackMargin(margin);
    playback_.reset();
    source_ = std::make_unique<TProbeSource>();
    playback_ = std::make_unique<TALAudioOut>(nullptr);
    ASSERT_TRUE(source_->Pin().ConnectTo(&playback_->InputPin()));
    source_->StartWave(kStereo16);
    source_->Resume();
    source_->SendBuffer(Buffer(0));
    EXPECT_FALSE(service_.IsPaused(playback_->DeviceHandle())) << "margin " << margin;
  }
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
  source_->SendBuffer(Buffer(8));
  EXPECT_FALSE(service_.IsPaused(handle));
  EXPECT_GE(service_.QueuedCount(handle), 1u);
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
  const auto bytes = BytesOf(*Buffer(2));  // less the start's surplus of 44 frames
  EXPECT_EQ(service_.PlayedData(second), std::vector<uint8_t>(bytes.begin() + 44 * 4, bytes.end()));
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
    source_->Resume();
    source_->SendBuffer(Buffer(5));
    source_->SendBuffer(Buffer(6));
    ASSERT_TRUE(WaitUntil([&] { return service_.QueuedCount(next) == 2; })) << "round " << round;
    ASSERT_TRUE(service_.IsOpen(next)) << "round " << round;
    source_->EndStop();
    ASSERT_TRUE(WaitUntil([&] { return !service_.IsOpen(next); }))
        << "round " << round << " waiting " << playback_->WaitingOperations() << " at device "
        << playback_->DeviceBuffers();
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

// The playback between two clocks over simulated time: each period the source sends one
// buffer of a stream that never repeats, and the device plays one buffer's worth by its own
// clock, `ppm` parts per million faster (or, negative, slower). Nothing sleeps: the device is
// the virtual one, advanced by the test.
class PlaybackClockTest : public testing::VirtualServiceTest {
 protected:
  static constexpr uint32_t kRate = 11025;
  inline static const WaveFormat kFormat = WaveFormat::Pcm(2, 16, kRate, 3);

  PlaybackClockTest() {
    service_.AddOutputDevice("Speakers");
    playback_ = std::make_unique<TALAudioOut>(nullptr);
    source_ = std::make_unique<TProbeSource>();
    EXPECT_TRUE(source_->Pin().ConnectTo(&playback_->InputPin()));
  }
  ~PlaybackClockTest() override {
    playback_.reset();
    source_.reset();
  }

  static int16_t Sample(uint64_t index) {
    return static_cast<int16_t>((index * 2654435761u) >> 13);  // never repeats nearby
  }
  void SendNext() {
    TRef<IALAudioBuffer> buffer(new TALAudioBuffer(kRate, 16, 2, frames_, 3));
    auto* samples = reinterpret_cast<int16_t*>(buffer->WriteData());
    for (uint32_t i = 0; i < frames_ * 2; ++i) samples[i] = Sample(sent_ * 2 + i);
    sent_ += frames_;
    source_->SendBuffer(buffer);
  }
  std::vector<uint8_t> SentBytes(uint64_t fromFrame) const {
    std::vector<uint8_t> bytes;
    for (uint64_t i = fromFrame * 2; i < sent_ * 2; ++i) {
      const int16_t s = Sample(i);
      bytes.push_back(static_cast<uint8_t>(s & 0xFF));
      bytes.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
    }
    return bytes;
  }

  struct TRun {
    int64_t firstLevel = 0;  // the level 3 s into the run, what later levels are held to
    int64_t minLevel = INT64_MAX;
    int64_t maxLevel = INT64_MIN;
    size_t maxQueued = 0;
  };
  // Runs `seconds` of both clocks; `sourceRuns(period)` and `deviceRuns(period)` may stop
  // either for a while (a stall).
  TRun Run(double seconds, double ppm, const std::function<bool(uint64_t)>& sourceRuns = {},
           const std::function<bool(uint64_t)>& deviceRuns = {}) {
    TRun run;
    const TWaveHandle handle = playback_->DeviceHandle();
    const auto periods = static_cast<uint64_t>(seconds * kRate / frames_);
    const uint64_t settled = 3 * kRate / frames_;
    for (uint64_t p = 0; p < periods; ++p) {
      if (!sourceRuns || sourceRuns(p)) SendNext();
      if (deviceRuns && !deviceRuns(p)) continue;
      Tick(handle, ppm);
      const int64_t level = playback_->Counters().extraLatencyFrames.load();
      if (p == settled) run.firstLevel = level;
      if (p >= settled) {
        run.minLevel = std::min(run.minLevel, level);
        run.maxLevel = std::max(run.maxLevel, level);
      }
      run.maxQueued = std::max(run.maxQueued, service_.QueuedCount(handle));
    }
    return run;
  }
  // One period of the device's clock, once it has been started.
  void Tick(TWaveHandle handle, double ppm) {
    if (service_.IsPaused(handle)) return;
    deviceClock_ += frames_ * (1 + ppm * 1e-6);
    const auto due = static_cast<uint64_t>(deviceClock_);
    if (service_.PlayOutput(handle, due - played_)) played_ = due;
  }
  void Start() {
    source_->StartWave(kFormat);
    source_->Resume();
  }

  std::unique_ptr<TALAudioOut> playback_;
  std::unique_ptr<TProbeSource> source_;
  uint32_t frames_ = 512;  // per buffer
  uint64_t sent_ = 0;
  double deviceClock_ = 0;
  uint64_t played_ = 0;
};

TEST_F(PlaybackClockTest, WithEqualClocksNothingIsCorrectedAndTheStreamIsBitExact) {
  Start();
  Run(60, 0);
  const TWaveHandle handle = playback_->DeviceHandle();
  const auto& counters = playback_->Counters();
  EXPECT_EQ(counters.driftCorrections.load(), 0u);
  EXPECT_EQ(counters.droppedFrames.load(), 0u);
  EXPECT_EQ(counters.underruns.load(), 0u);
  // Two buffers covered the cushion of 512 + 221 frames: the start cut the oldest 291.
  const std::vector<uint8_t> played = service_.PlayedData(handle);
  std::vector<uint8_t> expected = SentBytes(2 * frames_ - (frames_ + 221));
  ASSERT_GE(expected.size(), played.size());
  expected.resize(played.size());
  EXPECT_TRUE(played == expected) << "the played stream is not the sent one";
}

// One simulated hour each way at the largest mismatch followed.
TEST_F(PlaybackClockTest, FollowsADeviceClock200PpmOffForAnHourWithinOneBuffer) {
  service_.KeepPlayedData(false);
  frames_ = 2048;  // a quarter of the periods of 512
  for (double ppm : {200.0, -200.0}) {
    SCOPED_TRACE(ppm);
    Start();
    const uint64_t correctionsBefore = playback_->Counters().driftCorrections.load();
    const TRun run = Run(3600, ppm);
    const auto& counters = playback_->Counters();
    EXPECT_GE(run.minLevel, run.firstLevel - int64_t{frames_});
    EXPECT_LE(run.maxLevel, run.firstLevel + int64_t{frames_});
    EXPECT_LE(run.maxQueued, 3u) << "the device's list grew";
    EXPECT_EQ(playback_->WaitingOperations(), 0u);
    // 200 ppm of an hour at 11025 Hz is 7938 frames, each corrected by one frame.
    const double corrections = double(counters.driftCorrections.load() - correctionsBefore);
    EXPECT_NEAR(corrections, 7938, 300);
    EXPECT_EQ(counters.droppedFrames.load(), 0u) << "corrected by cutting whole stretches";
    EXPECT_EQ(counters.underruns.load(), 0u);
    source_->EndStop();
    ASSERT_TRUE(WaitUntil([&] { return !playback_->Active(); }));
    sent_ = 0;
    deviceClock_ = 0;
    played_ = 0;
  }
}

TEST_F(PlaybackClockTest, AfterAStallTheLevelIsBackWithinOneBufferInASecond) {
  // Half a second (11 periods) without buffers, then those buffers at once: the device played
  // silence meanwhile and skips what came too late.
  const uint64_t kStallFrom = 5 * kRate / frames_;
  const uint64_t kStallPeriods = kRate / 2 / frames_;
  struct TCase {
    const char* what;
    bool sourceStalls;  // else the device stalls and then plays on from where it stopped
  };
  for (const TCase c : {TCase{"source", true}, TCase{"device", false}}) {
    SCOPED_TRACE(c.what);
    Start();
    const auto stalled = [&](uint64_t p) {
      return p >= kStallFrom && p < kStallFrom + kStallPeriods;
    };
    const TRun before = Run(5, 0);
    const auto source = [&](uint64_t p) {
      if (!c.sourceStalls || !stalled(p)) return true;
      return false;
    };
    // The source's missing buffers come as a burst at the end of the stall.
    const auto burst = [&](uint64_t p) {
      if (c.sourceStalls && p == kStallFrom + kStallPeriods)
        for (uint64_t i = 0; i < kStallPeriods; ++i) SendNext();
      return source(p);
    };
    const TWaveHandle handle = playback_->DeviceHandle();
    TRun after;
    for (uint64_t p = kStallFrom; p < kStallFrom + kStallPeriods + kRate / frames_; ++p) {
      if (burst(p)) SendNext();
      if (!c.sourceStalls && stalled(p)) continue;
      Tick(handle, 0);
    }
    const int64_t level = playback_->Counters().extraLatencyFrames.load();
    EXPECT_NEAR(double(level), double(before.maxLevel), frames_) << "one second after the stall";
    EXPECT_GT(playback_->Counters().droppedFrames.load(), kRate / 4) << "nothing was dropped";
    if (c.sourceStalls) {
      EXPECT_GE(playback_->Counters().underruns.load(), 1u);
    }
    source_->EndStop();
    ASSERT_TRUE(WaitUntil([&] { return !playback_->Active(); }));
    sent_ = 0;
    deviceClock_ = 0;
    played_ = 0;
  }
}

// The cushion alone, fed the levels a device would show: the device plays one buffer per
// period, and `extraPlayed` frames more where the test says so (a clock running fast, or the
// silence of an underrun).
class PlaybackCushionTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kRate = 11025;
  static constexpr uint32_t kBuffer = 512;

  PlaybackCushionTest() {
    cushion_.Reset(kRate, kBuffer, 0.020);
    written_ = cushion_.TargetFrames() - kBuffer;
  }
  // One period: a buffer arrives, then the device plays; returns the level at the arrival.
  int64_t Period(uint64_t extraPlayed = 0, uint64_t newUnderruns = 0) {
    position_.underruns += newUnderruns;
    // The device shows its position shownBehind_ frames short of where it is.
    TWavePosition shown = position_;
    shown.playedFrames -= shownBehind_;
    const int64_t waiting =
        static_cast<int64_t>(written_) - static_cast<int64_t>(shown.playedFrames);
    const TALPlaybackCushion::TDecision d = cushion_.OnArrival(waiting, kBuffer, &shown);
    written_ += kBuffer - d.dropHeadFrames + d.silenceFrames;
    if (d.correction != 0) written_ += d.correction;
    position_.playedFrames += kBuffer + extraPlayed;
    return waiting + kBuffer;
  }
  uint64_t Seconds(double s) const { return static_cast<uint64_t>(s * kRate / kBuffer); }
  // What is really waiting at the device after the next arrival: the delay, less the rest.
  int64_t TrueLevel() const {
    return static_cast<int64_t>(written_) - static_cast<int64_t>(position_.playedFrames) + kBuffer;
  }

  TALPlaybackCushion cushion_;
  TWavePosition position_;
  uint64_t written_ = 0;
  uint64_t shownBehind_ = 0;
};

// A level that drops for good with no underrun (frames lost before they reached the playback)
// is made up with silence within a second, and so is a smaller step an underrun leaves; a step
// just beyond the dead band is taken back frame by frame; a clock difference afterwards is
// drift, taken back frame by frame too but counted apart.
TEST_F(PlaybackCushionTest, StepsAreMadeUpAtOnceAndNotCountedAsDrift) {
  int64_t level = 0;
  for (uint64_t p = 0; p < Seconds(5); ++p) level = Period();
  const int64_t before = level;
  const auto& c = cushion_.Counters();
  for (const auto& [lost, underruns] : {std::pair<uint64_t, uint64_t>{150, 0}, {55, 1}}) {
    SCOPED_TRACE(::testing::Message() << lost << " frames lost, " << underruns << " underruns");
    Period(lost, underruns);
    for (uint64_t p = 0; p < Seconds(1); ++p) level = Period();
    EXPECT_NEAR(double(level), double(before), 44) << "the lost frames were not made up";
    for (uint64_t p = 0; p < Seconds(5); ++p) level = Period();
    EXPECT_NEAR(double(level), double(before), 44) << "the level moved after the silence";
  }
  EXPECT_EQ(c.driftCorrections.load(), 0u) << "a step was taken for a clock difference";
  EXPECT_EQ(c.droppedFrames.load(), 0u);

  // A loss beyond the dead band but too small to be made up at once (a graph cycle of a sound
  // server) is taken back frame by frame, as a step: the level jumped.
  const uint64_t stepsBefore = c.stepCorrections.load();
  Period(55);
  for (uint64_t p = 0; p < Seconds(10); ++p) level = Period();
  EXPECT_NEAR(double(level), double(before), 44) << "the step was not taken back";
  EXPECT_GE(c.stepCorrections.load() - stepsBefore, 50u);
  EXPECT_EQ(c.driftCorrections.load(), 0u) << "a step was taken for a clock difference";

  // About 100 ppm fast from now on: nothing disturbs the level, so this is drift.
  const uint64_t steps = c.stepCorrections.load();
  for (uint64_t p = 0; p < Seconds(600); ++p) level = Period(p % 20 == 0 ? 1 : 0);
  EXPECT_GT(c.driftCorrections.load(), 300u);
  EXPECT_EQ(c.stepCorrections.load(), steps);
  EXPECT_NEAR(double(level), double(before), kBuffer);
}

// A step within three windows of the reference being set, or of the level being corrected
// back to it, is a step too: the level was at the reference then, and drift does not move it
// beyond the dead band in three seconds. Here a cycle of 64 frames, lost half a second after the
// reference is set and again a second after the first was taken back, is made up to the frame
// with no drift correction.
TEST_F(PlaybackCushionTest, AStepSoonAfterTheLevelWasSetIsAStep) {
  position_.cycleFrames = 64;
  for (uint64_t p = 0; p < Seconds(2.5); ++p) Period();
  const int64_t before = TrueLevel();
  const auto& c = cushion_.Counters();
  uint64_t stepsBefore = 0;
  for (const uint64_t shownBehind : {14u, 0u}) {
    Period(64);
    shownBehind_ = shownBehind;
    for (uint64_t p = 0; p < Seconds(2); ++p) Period();
    // Until the correction ends, then a second more.
    for (uint64_t p = 0; c.stepCorrections.load() == stepsBefore && p < Seconds(5); ++p) Period();
    for (uint64_t p = 0; TrueLevel() != before && p < Seconds(5); ++p) Period();
    for (uint64_t p = 0; p < Seconds(1); ++p) Period();
    EXPECT_EQ(TrueLevel(), before) << "shown " << shownBehind << " behind";
    stepsBefore = c.stepCorrections.load();
  }
  EXPECT_EQ(c.driftCorrections.load(), 0u) << "a step was taken for a clock difference";
}

// What the start leaves queued beyond the cushion and half a buffer (buffers that came before
// the device began to read, a burst) is latency the delay would keep for good: it is cut within
// the first seconds, whether it is below the fast check's threshold, above it, or comes within
// the window the reference is measured in, and the level stays there with nothing corrected
// afterwards, also when the device underruns every half second meanwhile (a start under load).
// Less than that is how far into a period the device began to read: it is kept.
TEST_F(PlaybackCushionTest, WhatTheStartLeftBeyondTheCushionIsCut) {
  const int64_t target = static_cast<int64_t>(cushion_.TargetFrames());
  const int64_t kept = kBuffer / 2;
  struct TCase {
    double at;        // seconds into the stream
    int64_t surplus;  // frames the device will not catch up
    bool underruns = false;
  };
  for (const TCase c :
       {TCase{0, 400}, TCase{0, 900}, TCase{1.3, 400}, TCase{0, kept}, TCase{0, 400, true}}) {
    SCOPED_TRACE(::testing::Message() << c.surplus << " frames at " << c.at << " s"
                                      << (c.underruns ? " with underruns" : ""));
    cushion_.Reset(kRate, kBuffer, 0.020);
    position_ = {};
    written_ = cushion_.TargetFrames() - kBuffer;
    const auto& counters = cushion_.Counters();
    const uint64_t droppedBefore = counters.droppedFrames.load();
    for (uint64_t p = 0; p < Seconds(5); ++p) {
      if (p == Seconds(c.at)) written_ += c.surplus;
      Period(0, c.underruns && p % Seconds(0.5) == 0 ? 1 : 0);
    }
    // The fast check cuts all of a large surplus, this check what is beyond half a buffer.
    const int64_t level = TrueLevel();
    EXPECT_GE(level, target);
    EXPECT_LE(level, target + kept) << "the surplus is still queued";
    EXPECT_EQ(level - target + int64_t(counters.droppedFrames.load() - droppedBefore), c.surplus);
    for (uint64_t p = 0; p < Seconds(10); ++p) Period();
    EXPECT_EQ(TrueLevel(), level) << "the level moved afterwards";
  }
  EXPECT_EQ(cushion_.Counters().driftCorrections.load(), 0u);
  EXPECT_EQ(cushion_.Counters().stepCorrections.load(), 0u);
}

// On a server that plays in whole cycles, cycles it misses are made up to the frame even when
// the position it shows afterwards is off by part of a cycle (which answers fall where in a
// cycle changes then): at once when it is large or came with an underrun, frame by frame when
// it is small, and never as drift. A step half a cycle from a whole number of them (the cycle
// was taken for two), or on a server that moves by any number of frames, is made up as the
// level shows it.
TEST_F(PlaybackCushionTest, ACycleTheServerMissedIsMadeUpInWholeCycles) {
  position_.cycleFrames = 64;
  for (uint64_t p = 0; p < Seconds(5); ++p) Period();
  const int64_t before = TrueLevel();
  const auto& c = cushion_.Counters();
  // Two cycles lost, shown as 114 (beyond the fast threshold); one shown as 50 (beyond the dead
  // band only); two with an underrun, shown as 118.
  struct TLoss {
    uint64_t lost, shownBehind, underruns;
  };
  for (const TLoss& loss : {TLoss{128, 14, 0}, TLoss{64, 14, 0}, TLoss{128, 10, 1}}) {
    SCOPED_TRACE(::testing::Message() << loss.lost << " frames lost");
    Period(loss.lost, loss.underruns);
    shownBehind_ = loss.shownBehind;
    for (uint64_t p = 0; p < Seconds(8); ++p) Period();
    EXPECT_EQ(TrueLevel(), before) << "the delay is not back to the frame";
  }
  EXPECT_GT(c.stepCorrections.load(), 0u);
  EXPECT_EQ(c.driftCorrections.load(), 0u);

  // 128 frames lost where the cycle is taken for 256, and where the server reads any number of
  // frames and the position is then shown 14 frames short: what the level shows is taken.
  for (const auto& [cycle, shownBehind] : {std::pair<uint32_t, uint64_t>{256, 0}, {1, 14}}) {
    SCOPED_TRACE(::testing::Message() << "cycle " << cycle);
    position_.cycleFrames = cycle;
    shownBehind_ = 0;
    for (uint64_t p = 0; p < Seconds(5); ++p) Period();
    const int64_t now = TrueLevel();
    Period(128);
    shownBehind_ = shownBehind;
    for (uint64_t p = 0; p < Seconds(8); ++p) Period();
    EXPECT_EQ(TrueLevel(), now - static_cast<int64_t>(shownBehind));
  }
}

}  // namespace
}  // namespace tardivox
