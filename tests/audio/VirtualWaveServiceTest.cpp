#include "audio/VirtualWaveService.h"

#include <gtest/gtest.h>

#include <cstring>

#include "audio/WaveEventRecorder.h"

namespace tardivox {
namespace {

using testing::TWaveBuffers;
using testing::TWaveEventRecorder;

const WaveFormat kStereo16 = WaveFormat::Pcm(2, 16, 44100, 3);

class VirtualWaveServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    service_.AddInputDevice("Line in");
    service_.AddInputDevice("A microphone whose name is much longer than thirty-two characters");
    service_.AddOutputDevice("Speakers");
    service_.AddOutputDevice("Headphones");
  }

  TWaveHandle OpenIn(uint32_t device = 0) {
    TWaveHandle h = kNoWaveHandle;
    EXPECT_EQ(service_.waveInOpen(&h, device, kStereo16, &TWaveEventRecorder::Callback,
                                  recorder_.Instance(), kCallbackFunction),
              TWaveResult::NoError);
    return h;
  }
  TWaveHandle OpenOut(uint32_t device = 0) {
    TWaveHandle h = kNoWaveHandle;
    EXPECT_EQ(service_.waveOutOpen(&h, device, kStereo16, &TWaveEventRecorder::Callback,
                                   recorder_.Instance(), kCallbackFunction),
              TWaveResult::NoError);
    return h;
  }
  void QueueIn(TWaveHandle h, TWaveBuffers& buffers) {
    for (TWaveHeader* header : buffers.Headers()) {
      ASSERT_EQ(service_.waveInPrepareHeader(h, header), TWaveResult::NoError);
      ASSERT_EQ(service_.waveInAddBuffer(h, header), TWaveResult::NoError);
    }
  }
  void WriteOut(TWaveHandle h, TWaveBuffers& buffers) {
    for (TWaveHeader* header : buffers.Headers()) {
      ASSERT_EQ(service_.waveOutPrepareHeader(h, header), TWaveResult::NoError);
      ASSERT_EQ(service_.waveOutWrite(h, header), TWaveResult::NoError);
    }
  }

  // The recorder outlives the service: callbacks still queued are made when it is destroyed.
  TWaveEventRecorder recorder_;
  TALVirtualWaveService service_;
};

TEST_F(VirtualWaveServiceTest, EnumeratesDevicesWithFullNames) {
  ASSERT_EQ(service_.waveInGetNumDevs(), 2u);
  ASSERT_EQ(service_.waveOutGetNumDevs(), 2u);
  TWaveDevCaps caps;
  ASSERT_EQ(service_.waveInGetDevCapsA(1, caps), TWaveResult::NoError);
  EXPECT_EQ(caps.name, "A microphone whose name is much longer than thirty-two characters");
  ASSERT_EQ(service_.waveOutGetDevCapsA(1, caps), TWaveResult::NoError);
  EXPECT_EQ(caps.name, "Headphones");
  EXPECT_EQ(service_.waveOutGetDevCapsA(2, caps), TWaveResult::BadDeviceId);
  EXPECT_EQ(service_.waveInGetDevCapsA(kWaveMapper, caps), TWaveResult::BadDeviceId);
}

TEST_F(VirtualWaveServiceTest, DefaultDeviceOpensTheChosenIndex) {
  service_.SetDefaultDevice(false, 1);
  const TWaveHandle h = OpenOut(kWaveMapper);
  ASSERT_NE(h, kNoWaveHandle);
  ASSERT_EQ(service_.Opens().size(), 1u);
  EXPECT_EQ(service_.Opens()[0].deviceIndex, 1u);
  EXPECT_EQ(service_.Opens()[0].instance, recorder_.Instance());
  EXPECT_EQ(service_.Opens()[0].format, kStereo16);
  EXPECT_EQ(service_.CurrentHandle(false), h);
  EXPECT_EQ(service_.waveOutClose(h), TWaveResult::NoError);
  EXPECT_EQ(service_.CurrentHandle(false), kNoWaveHandle);
}

TEST_F(VirtualWaveServiceTest, CallbacksRunOnTheServiceThreadOpenFirstCloseLast) {
  const TWaveHandle h = OpenIn();
  TWaveBuffers buffers(2, 64);
  QueueIn(h, buffers);
  ASSERT_EQ(service_.waveInStart(h), TWaveResult::NoError);
  const uint8_t data[64] = {1, 2, 3};
  ASSERT_TRUE(service_.CompleteInput(h, data, sizeof data));
  ASSERT_EQ(service_.waveInReset(h), TWaveResult::NoError);
  ASSERT_EQ(service_.waveInClose(h), TWaveResult::NoError);

  const auto events = recorder_.Events();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events.front().message, kWimOpen);
  EXPECT_EQ(events[1].message, kWimData);
  EXPECT_EQ(events[2].message, kWimData);
  EXPECT_EQ(events.back().message, kWimClose);
  for (const auto& e : events) {
    EXPECT_EQ(e.device, h);
    EXPECT_NE(e.thread, std::this_thread::get_id());
  }
  // Nothing mentions the handle once close returned.
  EXPECT_FALSE(service_.CompleteInput(h, data, sizeof data));
  service_.WaitIdle();
  EXPECT_EQ(recorder_.Events().size(), 4u);
}

TEST_F(VirtualWaveServiceTest, InputBuffersReturnInOrderWithTheirDataAndResetReturnsTheRest) {
  const TWaveHandle h = OpenIn();
  TWaveBuffers buffers(5, 8);
  QueueIn(h, buffers);
  const uint8_t early[8] = {9};
  EXPECT_FALSE(service_.CompleteInput(h, early, sizeof early)) << "not started yet";
  ASSERT_EQ(service_.waveInStart(h), TWaveResult::NoError);
  for (uint8_t i = 0; i < 3; ++i) {
    const uint8_t data[8] = {i, i, i, i, i, i, i, i};
    ASSERT_TRUE(service_.CompleteInput(h, data, i == 2 ? 4 : 8));
  }
  ASSERT_EQ(service_.waveInReset(h), TWaveResult::NoError);
  // Reset returned every buffer before it returned.
  ASSERT_EQ(recorder_.Count(kWimData), 5u);
  EXPECT_EQ(recorder_.Headers(kWimData), buffers.Headers());
  EXPECT_EQ(buffers.Header(0)->bytesRecorded, 8u);
  EXPECT_EQ(buffers.Data(1)[7], 1);
  EXPECT_EQ(buffers.Header(2)->bytesRecorded, 4u);
  EXPECT_EQ(buffers.Header(4)->bytesRecorded, 0u);
  for (size_t i = 0; i < buffers.Count(); ++i) {
    const uint32_t flags = buffers.Header(i)->flags.load();
    EXPECT_EQ(flags, kWhdrDone | kWhdrPrepared) << "buffer " << i;
    EXPECT_EQ(service_.waveInUnprepareHeader(h, buffers.Header(i)), TWaveResult::NoError);
  }
  EXPECT_FALSE(service_.IsStarted(h)) << "reset stops recording";
  EXPECT_EQ(service_.QueuedCount(h), 0u);
  EXPECT_EQ(service_.waveInClose(h), TWaveResult::NoError);
}

TEST_F(VirtualWaveServiceTest, OutputBuffersDoNotCompleteWhilePausedAndResetReturnsThemAll) {
  const TWaveHandle h = OpenOut();
  ASSERT_EQ(service_.waveOutPause(h), TWaveResult::NoError);
  TWaveBuffers buffers(4, 4);
  for (size_t i = 0; i < 4; ++i) std::memset(buffers.Data(i).data(), static_cast<int>(i + 1), 4);
  WriteOut(h, buffers);
  EXPECT_FALSE(service_.CompleteOutput(h));
  ASSERT_EQ(service_.waveOutRestart(h), TWaveResult::NoError);
  ASSERT_TRUE(service_.CompleteOutput(h));
  ASSERT_EQ(service_.waveOutPause(h), TWaveResult::NoError);
  EXPECT_FALSE(service_.CompleteOutput(h));
  ASSERT_EQ(service_.waveOutReset(h), TWaveResult::NoError);
  ASSERT_EQ(recorder_.Headers(kWomDone), buffers.Headers());
  EXPECT_TRUE(service_.IsPaused(h)) << "reset keeps the pause";
  EXPECT_EQ(service_.PlayedData(h), (std::vector<uint8_t>{1, 1, 1, 1}));
  EXPECT_EQ(service_.CallLog(),
            (std::vector<std::string>{"open out 0", "pause 1", "queue 1", "queue 1", "queue 1",
                                      "queue 1", "restart 1", "pause 1", "reset 1"}));
}

TEST_F(VirtualWaveServiceTest, CloseReturnsQueuedBuffersBeforeTheCloseMessage) {
  const TWaveHandle h = OpenOut();
  TWaveBuffers buffers(3, 4);
  WriteOut(h, buffers);
  ASSERT_EQ(service_.waveOutClose(h), TWaveResult::NoError);
  const auto events = recorder_.Events();
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(recorder_.Headers(kWomDone), buffers.Headers());
  EXPECT_EQ(events.back().message, kWomClose);
  EXPECT_EQ(service_.waveOutUnprepareHeader(h, buffers.Header(0)), TWaveResult::InvalidHandle);
}

TEST_F(VirtualWaveServiceTest, HeaderAndHandleMisuseIsRefused) {
  const TWaveHandle in = OpenIn();
  const TWaveHandle out = OpenOut();
  TWaveBuffers buffers(2, 4);
  TWaveHeader* header = buffers.Header(0);
  EXPECT_EQ(service_.waveOutWrite(out, header), TWaveResult::Unprepared);
  EXPECT_EQ(service_.waveOutPrepareHeader(in, header), TWaveResult::InvalidHandle);
  EXPECT_EQ(service_.waveOutPrepareHeader(out, nullptr), TWaveResult::InvalidParam);
  ASSERT_EQ(service_.waveOutPrepareHeader(out, header), TWaveResult::NoError);
  ASSERT_EQ(service_.waveOutWrite(out, header), TWaveResult::NoError);
  EXPECT_EQ(service_.waveOutWrite(out, header), TWaveResult::StillPlaying);
  EXPECT_EQ(service_.waveOutUnprepareHeader(out, header), TWaveResult::StillPlaying);
  EXPECT_EQ(service_.waveInStart(out), TWaveResult::InvalidHandle);
  EXPECT_EQ(service_.waveOutPause(in), TWaveResult::InvalidHandle);
  EXPECT_EQ(service_.waveOutReset(12345), TWaveResult::InvalidHandle);

  // A recording buffer shorter than one frame could never be filled.
  TWaveHeader tiny;
  uint8_t three[3];
  tiny.data = three;
  tiny.bufferLength = 3;
  ASSERT_EQ(service_.waveInPrepareHeader(in, &tiny), TWaveResult::NoError);
  EXPECT_EQ(service_.waveInAddBuffer(in, &tiny), TWaveResult::InvalidParam);

  TWaveHandle none = 77;
  EXPECT_EQ(service_.waveOutOpen(nullptr, 0, kStereo16, nullptr, 0, 0), TWaveResult::InvalidParam);
  EXPECT_EQ(service_.waveOutOpen(&none, 9, kStereo16, nullptr, 0, 0), TWaveResult::BadDeviceId);
  EXPECT_EQ(none, kNoWaveHandle);
  EXPECT_EQ(service_.waveOutClose(out), TWaveResult::NoError);
  EXPECT_EQ(service_.waveInClose(in), TWaveResult::NoError);
}

TEST_F(VirtualWaveServiceTest, FailedOpenSaysWhichDeviceAndWhyAndCallsNothing) {
  service_.SetOpenResult(true, 1, TWaveResult::Error);
  TWaveHandle h = 5;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(
      service_.waveInOpen(&h, 1, kStereo16, &TWaveEventRecorder::Callback, recorder_.Instance(), 0),
      TWaveResult::Error);
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(h, kNoWaveHandle);
  EXPECT_NE(said.find("A microphone whose name is much longer than thirty-two characters"),
            std::string::npos)
      << said;
  EXPECT_NE(said.find("the test refuses this device"), std::string::npos) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << "one line per open";
  service_.WaitIdle();
  EXPECT_TRUE(recorder_.Events().empty());
  service_.SetOpenResult(true, 1, TWaveResult::NoError);
  EXPECT_NE(OpenIn(1), kNoWaveHandle);
}

TEST_F(VirtualWaveServiceTest, UnusableFormatsAreRefusedWithTheReason) {
  struct TCase {
    const char* what;
    WaveFormat format;
    const char* reason;
  };
  WaveFormat notPcm = kStereo16;
  notPcm.subFormat[0] = 3;
  WaveFormat badAlign = kStereo16;
  badAlign.blockAlign = 3;
  WaveFormat floatTag = kStereo16;
  floatTag.formatTag = 3;
  WaveFormat shortExtra = kStereo16;
  shortExtra.extraSize = 0;
  WaveFormat tooManyValid = WaveFormat::Pcm(2, 16, 44100, 3);
  tooManyValid.validBitsPerSample = 20;
  const TCase cases[] = {
      {"no channel", WaveFormat::Pcm(0, 16, 44100, 0), "channel count 0"},
      {"33 channels", WaveFormat::Pcm(33, 16, 44100, 0), "channel count 33"},
      {"12-bit container",
       [] {
         WaveFormat f = WaveFormat::Pcm(2, 16, 44100, 3);
         f.bitsPerSample = 12;
         f.blockAlign = 3;
         return f;
       }(),
       "bits per sample 12"},
      {"no rate", WaveFormat::Pcm(2, 16, 0, 3), "sample rate 0"},
      {"rate above 384000", WaveFormat::Pcm(2, 16, 400000, 3), "sample rate 400000"},
      {"float sub-format", notPcm, "not PCM"},
      {"float tag", floatTag, "format tag 3"},
      {"short extra size", shortExtra, "extra size 0"},
      {"block align", badAlign, "block align"},
      {"valid bits", tooManyValid, "valid bits"},
  };
  for (const TCase& c : cases) {
    TWaveHandle h = kNoWaveHandle;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(service_.waveOutOpen(&h, 0, c.format, nullptr, 0, 0), TWaveResult::BadFormat)
        << c.what;
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(c.reason), std::string::npos) << c.what << ": " << said;
    EXPECT_NE(said.find("\"Speakers\""), std::string::npos) << said;
  }
  for (WaveFormat good : {WaveFormat::Pcm(1, 8, 8000, 4), WaveFormat::Pcm(2, 24, 44100, 3),
                          WaveFormat::Pcm(6, 32, 192000, 0x3F)}) {
    EXPECT_EQ(TALWaveServiceBase::CheckFormat(good), "");
  }
}

TEST_F(VirtualWaveServiceTest, FormatQueryIssuesNoHandleAndNoCallback) {
  TWaveHandle h = 3;
  EXPECT_EQ(service_.waveOutOpen(&h, 1, kStereo16, &TWaveEventRecorder::Callback,
                                 recorder_.Instance(), kWaveFormatQuery),
            TWaveResult::NoError);
  EXPECT_EQ(h, kNoWaveHandle);
  EXPECT_EQ(service_.waveOutOpen(nullptr, 1, kStereo16, nullptr, 0, kWaveFormatQuery),
            TWaveResult::NoError);
  service_.WaitIdle();
  EXPECT_TRUE(recorder_.Events().empty());
  ASSERT_EQ(service_.Opens().size(), 2u);
  EXPECT_EQ(service_.Opens()[0].handle, kNoWaveHandle);
}

// A callback that resets its own device must not wait for itself.
struct TResettingCallback {
  static void Callback(TWaveHandle device, uint32_t message, uintptr_t instance, uintptr_t param1,
                       uintptr_t param2) {
    auto* self = reinterpret_cast<TResettingCallback*>(instance);
    if (message == kWimData && !self->resetDone) {
      self->resetDone = true;
      self->service->waveInReset(device);
      self->returnedDuringReset = self->recorder.Count(kWimData);
    }
    TWaveEventRecorder::Callback(device, message, reinterpret_cast<uintptr_t>(&self->recorder),
                                 param1, param2);
  }
  TALVirtualWaveService* service;
  TWaveEventRecorder recorder;
  bool resetDone = false;
  size_t returnedDuringReset = 0;
};

TEST_F(VirtualWaveServiceTest, ResetFromInsideTheCallbackReturnsTheRestInline) {
  TResettingCallback callback{&service_, {}};
  TWaveHandle h = kNoWaveHandle;
  ASSERT_EQ(service_.waveInOpen(&h, 0, kStereo16, &TResettingCallback::Callback,
                                reinterpret_cast<uintptr_t>(&callback), 0),
            TWaveResult::NoError);
  TWaveBuffers buffers(4, 4);
  QueueIn(h, buffers);
  ASSERT_EQ(service_.waveInStart(h), TWaveResult::NoError);
  const uint8_t data[4] = {};
  ASSERT_TRUE(service_.CompleteInput(h, data, 4));
  service_.WaitIdle();
  EXPECT_EQ(callback.returnedDuringReset, 3u) << "the three others came back inside the reset";
  EXPECT_EQ(callback.recorder.Headers(kWimData),
            (std::vector<TWaveHeader*>{buffers.Header(1), buffers.Header(2), buffers.Header(3),
                                       buffers.Header(0)}))
      << "recorded after the nested ones, since the recorder runs after the reset";
  EXPECT_EQ(service_.waveInClose(h), TWaveResult::NoError);
}

TEST_F(VirtualWaveServiceTest, ConcurrentWritersEachSeeTheirBuffersBackOnce) {
  const TWaveHandle h = OpenOut();
  constexpr int kThreads = 4, kPerThread = 50;
  std::vector<std::unique_ptr<TWaveBuffers>> sets;
  for (int t = 0; t < kThreads; ++t) sets.push_back(std::make_unique<TWaveBuffers>(kPerThread, 4));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back([&, t] { WriteOut(h, *sets[t]); });
  std::thread completer([&] {
    for (int done = 0; done < kThreads * kPerThread;)
      if (service_.CompleteOutput(h)) ++done;
  });
  for (auto& t : threads) t.join();
  completer.join();
  ASSERT_TRUE(recorder_.WaitForCount(kWomDone, kThreads * kPerThread));
  auto returned = recorder_.Headers(kWomDone);
  for (int t = 0; t < kThreads; ++t) {
    std::vector<TWaveHeader*> mine;
    for (TWaveHeader* header : returned)
      if (header->data == sets[t]->Data(header->user).data()) mine.push_back(header);
    EXPECT_EQ(mine, sets[t]->Headers()) << "thread " << t << ": its buffers in its order";
  }
  EXPECT_EQ(service_.waveOutClose(h), TWaveResult::NoError);
}

}  // namespace
}  // namespace tardivox
