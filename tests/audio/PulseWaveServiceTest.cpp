#include "audio/PulseWaveService.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <thread>

#include "audio/PulseTestSupport.h"
#include "audio/WaveEventRecorder.h"
#include "support/WaitFor.h"

namespace tardivox {
namespace {

using namespace std::chrono_literals;
using std::chrono::steady_clock;
using testing::kAlphaSink;
using testing::kBetaSink;
using testing::TWaveBuffers;
using testing::TWaveEventRecorder;

const WaveFormat kStereo16 = WaveFormat::Pcm(2, 16, 44100, 3);
constexpr uint32_t kFrames = 512;
constexpr uint32_t kBytes = kFrames * 4;
constexpr auto kBufferDuration = std::chrono::microseconds(kFrames * 1000000ull / 44100);

class PulseWaveServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::RequirePrivateServer(); }

  TWaveHandle OpenOut(uint32_t device, const WaveFormat& format = kStereo16) {
    TWaveHandle h = kNoWaveHandle;
    EXPECT_EQ(service_.waveOutOpen(&h, device, format, &TWaveEventRecorder::Callback,
                                   out_.Instance(), kCallbackFunction | kWaveAllowSync),
              TWaveResult::NoError);
    return h;
  }
  TWaveHandle OpenIn(uint32_t device, const WaveFormat& format = kStereo16) {
    TWaveHandle h = kNoWaveHandle;
    EXPECT_EQ(service_.waveInOpen(&h, device, format, &TWaveEventRecorder::Callback, in_.Instance(),
                                  kCallbackFunction | kWaveAllowSync),
              TWaveResult::NoError);
    return h;
  }
  void Write(TWaveHandle h, const std::vector<TWaveHeader*>& headers) {
    for (TWaveHeader* header : headers) {
      ASSERT_EQ(service_.waveOutPrepareHeader(h, header), TWaveResult::NoError);
      ASSERT_EQ(service_.waveOutWrite(h, header), TWaveResult::NoError);
    }
  }
  void Queue(TWaveHandle h, const std::vector<TWaveHeader*>& headers) {
    for (TWaveHeader* header : headers) {
      ASSERT_EQ(service_.waveInPrepareHeader(h, header), TWaveResult::NoError);
      ASSERT_EQ(service_.waveInAddBuffer(h, header), TWaveResult::NoError);
    }
  }
  uint32_t Alpha() { return testing::DeviceIndex(service_, false, kAlphaSink); }

  TALPulseWaveService& service_ = TALPulseWaveService::Instance();
  TWaveEventRecorder in_;
  TWaveEventRecorder out_;
};

TEST_F(PulseWaveServiceTest, DevicesAreTheServersSinksAndSourcesWithFullDescriptions) {
  const std::vector<std::string> sinks = {kAlphaSink, kBetaSink, "Tardivox test sink u8",
                                          "Tardivox test sink s24", "Tardivox test sink s32"};
  EXPECT_EQ(testing::DeviceNames(service_, false), sinks);
  std::vector<std::string> monitors;
  for (const auto& sink : sinks) monitors.push_back("Monitor of " + sink);
  EXPECT_EQ(testing::DeviceNames(service_, true), monitors);
  TWaveDevCaps caps;
  EXPECT_EQ(service_.waveOutGetDevCapsA(0, caps), TWaveResult::NoError);
  EXPECT_EQ(caps.channels, 2);
  EXPECT_EQ(service_.waveOutGetDevCapsA(5, caps), TWaveResult::BadDeviceId);
  EXPECT_EQ(service_.waveInGetDevCapsA(99, caps), TWaveResult::BadDeviceId);
}

TEST_F(PulseWaveServiceTest, DefaultDeviceIsTheServersDefault) {
  const TWaveHandle out = OpenOut(kWaveMapper);
  const TWaveHandle in = OpenIn(kWaveMapper);
  EXPECT_EQ(service_.ServerDeviceName(out), "tardivox_alpha");
  EXPECT_EQ(service_.ServerDeviceName(in), "tardivox_alpha.monitor");
  const uint32_t beta = testing::DeviceIndex(service_, false, kBetaSink);
  const TWaveHandle byIndex = OpenOut(beta);
  EXPECT_EQ(service_.ServerDeviceName(byIndex), "tardivox_beta");
  for (TWaveHandle h : {out, byIndex}) EXPECT_EQ(service_.waveOutClose(h), TWaveResult::NoError);
  EXPECT_EQ(service_.waveInClose(in), TWaveResult::NoError);
  EXPECT_EQ(out_.Count(kWomOpen), 2u);
  EXPECT_EQ(out_.Count(kWomClose), 2u);
  EXPECT_EQ(in_.Count(kWimClose), 1u);
}

// Plays a known signal into a null sink while recording its monitor, in each sample format,
// each through a sink of that format so that the server converts nothing.
class PulseCaptureTest : public PulseWaveServiceTest,
                         public ::testing::WithParamInterface<std::pair<uint16_t, std::string>> {};

TEST_P(PulseCaptureTest, RecordsThePlayedSignalSampleExactInFullBuffersInOrder) {
  const auto [bits, sink] = GetParam();
  const WaveFormat format = WaveFormat::Pcm(2, bits, 44100, 3);
  const uint32_t bufferBytes = kFrames * format.blockAlign;
  const uint32_t sinkIndex = testing::DeviceIndex(service_, false, sink);
  const uint32_t monitorIndex = testing::DeviceIndex(service_, true, "Monitor of " + sink);

  // Buffers are queued again as they come back; 200 of them give the test thread two seconds of
  // slack.
  constexpr size_t kCaptureBuffers = 200;
  TWaveBuffers capture(kCaptureBuffers, bufferBytes);
  const TWaveHandle in = OpenIn(monitorIndex, format);
  Queue(in, capture.Headers());
  const std::vector<TWaveHeader*> queued = capture.Headers();
  std::deque<TWaveHeader*> atDevice(queued.begin(), queued.end());
  ASSERT_EQ(service_.waveInStart(in), TWaveResult::NoError);

  // A quarter of a second of signal in buffers of 1000 frames, the last one shorter.
  const std::vector<uint8_t> signal = testing::TestSignal(11025 * format.blockAlign, bits);
  const size_t playBytes = 1000 * format.blockAlign;
  const size_t playCount = (signal.size() + playBytes - 1) / playBytes;
  TWaveBuffers play(playCount, static_cast<uint32_t>(playBytes));
  for (size_t i = 0; i < playCount; ++i) {
    const size_t from = i * playBytes;
    const size_t bytes = std::min(playBytes, signal.size() - from);
    std::memcpy(play.Data(i).data(), signal.data() + from, bytes);
    play.Header(i)->bufferLength = static_cast<uint32_t>(bytes);
  }
  const TWaveHandle out = OpenOut(sinkIndex, format);
  Write(out, play.Headers());

  // Collect what comes back (in queue order, full) until the whole signal is there.
  std::vector<uint8_t> recorded;
  size_t used = 0;
  bool found = false;
  std::string why = "the playback did not finish";
  const uint8_t silence = bits == 8 ? 0x80 : 0;
  const auto deadline = steady_clock::now() + 20s;
  while (!found && steady_clock::now() < deadline) {
    if (!in_.WaitForCount(kWimData, used + 1, 1s)) continue;
    const auto headers = in_.Headers(kWimData);
    for (; used < headers.size(); ++used) {
      TWaveHeader* header = headers[used];
      ASSERT_EQ(header, atDevice.front()) << "buffer " << used << " came back out of order";
      ASSERT_EQ(header->bytesRecorded, bufferBytes) << "buffer " << used << " is not full";
      recorded.insert(recorded.end(), header->data, header->data + header->bytesRecorded);
      atDevice.pop_front();
      ASSERT_EQ(service_.waveInAddBuffer(in, header), TWaveResult::NoError);
      atDevice.push_back(header);
    }
    if (out_.Count(kWomDone) == playCount)
      found = testing::ContainsSignal(recorded, signal, format.blockAlign, silence, why);
  }
  EXPECT_TRUE(found) << "after " << used << " recorded buffers: " << why;
  EXPECT_TRUE(out_.WaitForCount(kWomDone, playCount)) << out_.Count(kWomDone) << " played";
  // Every buffer at the device comes back once: filled (it may still complete after the loop
  // above), or returned by the reset.
  ASSERT_EQ(service_.waveInReset(in), TWaveResult::NoError);
  const auto returned = in_.Headers(kWimData);
  ASSERT_EQ(returned.size(), used + kCaptureBuffers) << "reset returns the rest";
  EXPECT_TRUE(std::equal(atDevice.begin(), atDevice.end(), returned.begin() + used))
      << "in the order queued";
  EXPECT_EQ(service_.waveInClose(in), TWaveResult::NoError);
  EXPECT_EQ(service_.waveOutClose(out), TWaveResult::NoError);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, PulseCaptureTest,
    ::testing::Values(std::make_pair(uint16_t{8}, std::string("Tardivox test sink u8")),
                      std::make_pair(uint16_t{16},
                                     std::string("Tardivox test sink whose name is longer "
                                                 "than 32 characters: alpha")),
                      std::make_pair(uint16_t{24}, std::string("Tardivox test sink s24")),
                      std::make_pair(uint16_t{32}, std::string("Tardivox test sink s32"))));

TEST_F(PulseWaveServiceTest, PlaybackReturnsEachBufferOnceInOrderAsItIsPlayed) {
  const TWaveHandle out = OpenOut(Alpha());
  constexpr size_t kCount = 20;
  TWaveBuffers buffers(kCount, kBytes);
  const auto start = steady_clock::now();
  Write(out, buffers.Headers());
  ASSERT_TRUE(out_.WaitForCount(kWomDone, kCount)) << out_.Count(kWomDone) << " done";
  const auto elapsed = out_.Times(kWomDone).back() - start;
  EXPECT_EQ(out_.Headers(kWomDone), buffers.Headers());
  // Done means played: the last one cannot be back before most of the audio had time to play
  // (the server holds about two buffers).
  EXPECT_GE(elapsed, (kCount - 3) * kBufferDuration);
  TALPulseWaveService::TBufferAttr attr;
  ASSERT_TRUE(testing::WaitUntil([&] {
    return service_.GrantedBufferAttr(out, attr) && attr.targetLength <= 4 * kBytes;
  })) << "the server keeps "
      << attr.targetLength << " bytes";
  EXPECT_GE(attr.targetLength, kBytes);
  EXPECT_EQ(service_.waveOutClose(out), TWaveResult::NoError);
  EXPECT_EQ(out_.Events().back().message, kWomClose);
}

TEST_F(PulseWaveServiceTest, NothingCompletesWhilePaused) {
  const TWaveHandle out = OpenOut(Alpha());
  // An idle null sink reads late; once it plays this stream it reads in time, so that 300 ms
  // without a completion really mean the pause held.
  TWaveBuffers warmUp(4, kBytes);
  Write(out, warmUp.Headers());
  ASSERT_TRUE(out_.WaitForCount(kWomDone, 4));
  ASSERT_EQ(service_.waveOutPause(out), TWaveResult::NoError);
  TWaveBuffers first(8, kBytes);
  Write(out, first.Headers());
  EXPECT_TRUE(testing::StaysFalse([&] { return out_.Count(kWomDone) > 4; }, 300ms));
  ASSERT_EQ(service_.waveOutRestart(out), TWaveResult::NoError);
  ASSERT_TRUE(out_.WaitForCount(kWomDone, 12));

  // Paused in the middle of a stream: what finished before the pause returned came back, the
  // rest waits for the restart.
  TWaveBuffers second(40, kBytes);
  Write(out, second.Headers());
  ASSERT_TRUE(out_.WaitForCount(kWomDone, 12 + 5));
  ASSERT_EQ(service_.waveOutPause(out), TWaveResult::NoError);
  const size_t atPause = out_.Count(kWomDone);
  EXPECT_TRUE(testing::StaysFalse([&] { return out_.Count(kWomDone) > atPause; }, 300ms));
  ASSERT_EQ(service_.waveOutRestart(out), TWaveResult::NoError);
  ASSERT_TRUE(out_.WaitForCount(kWomDone, 52)) << out_.Count(kWomDone) << " done";
  auto expected = warmUp.Headers();
  for (TWaveHeader* h : first.Headers()) expected.push_back(h);
  for (TWaveHeader* h : second.Headers()) expected.push_back(h);
  EXPECT_EQ(out_.Headers(kWomDone), expected);
  EXPECT_EQ(service_.waveOutClose(out), TWaveResult::NoError);
}

TEST_F(PulseWaveServiceTest, ResetWhilePlayingReturnsAllAndTheStreamStartsAfresh) {
  const TWaveHandle out = OpenOut(Alpha());
  TWaveBuffers buffers(40, kBytes);
  Write(out, buffers.Headers());
  ASSERT_TRUE(out_.WaitForCount(kWomDone, 3));
  ASSERT_EQ(service_.waveOutReset(out), TWaveResult::NoError);
  ASSERT_EQ(out_.Count(kWomDone), 40u) << "every buffer came back before reset returned";
  EXPECT_EQ(out_.Headers(kWomDone), buffers.Headers());
  for (size_t i = 0; i < 40; ++i) {
    EXPECT_EQ(buffers.Header(i)->flags.load() & (kWhdrDone | kWhdrInQueue), kWhdrDone);
    ASSERT_EQ(service_.waveOutUnprepareHeader(out, buffers.Header(i)), TWaveResult::NoError);
  }

  // New buffers after the reset are played in full again: none is reported before its time.
  out_.Clear();
  const auto start = steady_clock::now();
  Write(out, buffers.Headers(0, 10));
  ASSERT_TRUE(out_.WaitForCount(kWomDone, 10));
  EXPECT_EQ(out_.Headers(kWomDone), buffers.Headers(0, 10));
  EXPECT_GE(out_.Times(kWomDone).back() - start, 7 * kBufferDuration);
  EXPECT_EQ(service_.waveOutClose(out), TWaveResult::NoError);
}

TEST_F(PulseWaveServiceTest, ResetWhilePausedReturnsAllAndPlaybackGoesOnAfterRestart) {
  const TWaveHandle out = OpenOut(Alpha());
  ASSERT_EQ(service_.waveOutPause(out), TWaveResult::NoError);
  TWaveBuffers buffers(10, kBytes);
  Write(out, buffers.Headers());
  ASSERT_EQ(service_.waveOutReset(out), TWaveResult::NoError);
  ASSERT_EQ(out_.Headers(kWomDone), buffers.Headers());
  ASSERT_EQ(service_.waveOutRestart(out), TWaveResult::NoError);
  out_.Clear();
  Write(out, buffers.Headers(0, 5));
  ASSERT_TRUE(out_.WaitForCount(kWomDone, 5));
  EXPECT_EQ(out_.Headers(kWomDone), buffers.Headers(0, 5));
  EXPECT_EQ(service_.waveOutClose(out), TWaveResult::NoError);
}

TEST_F(PulseWaveServiceTest, CloseReturnsQueuedBuffersOfBothDirections) {
  const TWaveHandle out = OpenOut(Alpha());
  const TWaveHandle in = OpenIn(kWaveMapper);
  TWaveBuffers played(10, kBytes), recorded(10, kBytes);
  Write(out, played.Headers());
  Queue(in, recorded.Headers());
  ASSERT_EQ(service_.waveOutClose(out), TWaveResult::NoError);
  ASSERT_EQ(service_.waveInClose(in), TWaveResult::NoError);
  EXPECT_EQ(out_.Headers(kWomDone), played.Headers());
  EXPECT_EQ(in_.Headers(kWimData), recorded.Headers());
  EXPECT_EQ(out_.Events().back().message, kWomClose);
  EXPECT_EQ(in_.Events().back().message, kWimClose);
}

TEST_F(PulseWaveServiceTest, DevicesThatCannotBeOpenedSayWhyOnce) {
  const uint32_t count = service_.waveOutGetNumDevs();
  struct TCase {
    const char* what;
    uint32_t device;
    WaveFormat format;
    TWaveResult result;
    std::string said;
  };
  WaveFormat twelveBits = kStereo16;
  twelveBits.bitsPerSample = 12;
  const TCase cases[] = {
      {"index past the end", count + 5, kStereo16, TWaveResult::BadDeviceId,
       "output device number " + std::to_string(count + 5) + ": no such device"},
      {"unsupported format", 0, twelveBits, TWaveResult::BadFormat, "bits per sample 12"},
  };
  for (const TCase& c : cases) {
    TWaveHandle h = 9;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(service_.waveOutOpen(&h, c.device, c.format, &TWaveEventRecorder::Callback,
                                   out_.Instance(), 0),
              c.result)
        << c.what;
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(h, kNoWaveHandle);
    EXPECT_NE(said.find(c.said), std::string::npos) << c.what << ": " << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  }
  EXPECT_EQ(out_.Count(kWomOpen), 0u);
}

std::string Shell(const std::string& command) {
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, pipe)) output += line;
    pclose(pipe);
  }
  while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) output.pop_back();
  return output;
}

TEST_F(PulseWaveServiceTest, DeviceRemovedAfterEnumerationFailsWithItsNameAndReason) {
  const std::string module = Shell(
      "pactl load-module module-null-sink sink_name=tardivox_temporary "
      "sink_properties=device.description=TardivoxTemporarySink");
  ASSERT_FALSE(module.empty()) << "pactl could not add a sink";
  const uint32_t index = testing::DeviceIndex(service_, false, "TardivoxTemporarySink");
  Shell("pactl unload-module " + module);
  TWaveHandle h = kNoWaveHandle;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(service_.waveOutOpen(&h, index, kStereo16, nullptr, 0, 0), TWaveResult::BadDeviceId);
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("\"TardivoxTemporarySink\""), std::string::npos) << said;
  EXPECT_NE(said.find("No such entity"), std::string::npos) << said;
  EXPECT_EQ(h, kNoWaveHandle);
}

TEST_F(PulseWaveServiceTest, UnusualFormatsOpenAndPlay) {
  // The server converts: 5.1 in 24 bits at 96 kHz into a stereo 44.1 kHz sink.
  const WaveFormat surround = WaveFormat::Pcm(6, 24, 96000, 0x3F);
  const TWaveHandle out = OpenOut(Alpha(), surround);
  TWaveBuffers buffers(4, 960 * surround.blockAlign);
  Write(out, buffers.Headers());
  ASSERT_TRUE(out_.WaitForCount(kWomDone, 4));
  EXPECT_EQ(out_.Headers(kWomDone), buffers.Headers());
  EXPECT_EQ(service_.waveOutClose(out), TWaveResult::NoError);
}

// Opening and closing devices leaves the opener's scheduling as it was: the window's thread
// opens them, and raised to real time its painting would hold up every ordinary process (the
// protocol thread of a PipeWire server among them, which then delivers audio in bursts).
TEST_F(PulseWaveServiceTest, OpeningDevicesLeavesTheOpenersSchedulingAlone) {
  // A thread of its own: whatever an earlier test did to the main thread does not count.
  std::thread opener([&] {
    const int policyBefore = sched_getscheduler(0);
    errno = 0;
    const int niceBefore = getpriority(PRIO_PROCESS, 0);
    for (int round = 0; round < 2; ++round) {
      const TWaveHandle in =
          OpenIn(testing::DeviceIndex(service_, true, "Monitor of " + kAlphaSink));
      const TWaveHandle out = OpenOut(Alpha());
      EXPECT_EQ(service_.waveInClose(in), TWaveResult::NoError);
      EXPECT_EQ(service_.waveOutClose(out), TWaveResult::NoError);
    }
    EXPECT_EQ(sched_getscheduler(0), policyBefore) << "the opener's policy changed";
    EXPECT_EQ(getpriority(PRIO_PROCESS, 0), niceBefore) << "the opener's nice value changed";
  });
  opener.join();
}

}  // namespace
}  // namespace tardivox
