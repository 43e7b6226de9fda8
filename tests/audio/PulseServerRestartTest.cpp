// The sound server dies in the middle of a stream and comes back: nothing may hang or crash,
// every buffer still comes back, and devices open again. This suite kills and restarts the
// private server of its own fixture.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "audio/PulseTestSupport.h"
#include "audio/PulseWaveService.h"
#include "audio/WaveEventRecorder.h"
#include "support/WaitFor.h"

namespace tardivox {
namespace {

using namespace std::chrono_literals;
using std::chrono::steady_clock;
using testing::TWaveBuffers;
using testing::TWaveEventRecorder;

const WaveFormat kStereo16 = WaveFormat::Pcm(2, 16, 44100, 3);
constexpr uint32_t kBytes = 512 * 4;

int Server(const char* command) {
  const char* script = std::getenv("TARDIVOX_PULSE_SCRIPT");
  const char* dir = std::getenv("TARDIVOX_PULSE_DIR");
  if (!script || !dir) return -1;
  return std::system((std::string(script) + " " + command + " '" + dir + "'").c_str());
}

// Runs f and returns how long it took.
template <class F>
steady_clock::duration Timed(F f) {
  const auto start = steady_clock::now();
  f();
  return steady_clock::now() - start;
}

TEST(PulseServerRestartTest, ServerDeathMidStreamHangsNothingAndALaterOpenWorks) {
  testing::RequirePrivateServer();
  ASSERT_NE(std::getenv("TARDIVOX_PULSE_SCRIPT"), nullptr) << "run through ctest";
  TALPulseWaveService& service = TALPulseWaveService::Instance();
  TWaveEventRecorder in, out;

  const uint32_t sink = testing::DeviceIndex(service, false, testing::kAlphaSink);
  const uint32_t monitor = testing::DeviceIndex(service, true, "Monitor of " + testing::kAlphaSink);
  TWaveHandle hin = kNoWaveHandle, hout = kNoWaveHandle;
  ASSERT_EQ(
      service.waveInOpen(&hin, monitor, kStereo16, &TWaveEventRecorder::Callback, in.Instance(), 0),
      TWaveResult::NoError);
  ASSERT_EQ(
      service.waveOutOpen(&hout, sink, kStereo16, &TWaveEventRecorder::Callback, out.Instance(), 0),
      TWaveResult::NoError);
  TWaveBuffers recorded(40, kBytes), played(40, kBytes);
  for (TWaveHeader* h : recorded.Headers()) {
    service.waveInPrepareHeader(hin, h);
    service.waveInAddBuffer(hin, h);
  }
  ASSERT_EQ(service.waveInStart(hin), TWaveResult::NoError);
  for (TWaveHeader* h : played.Headers()) {
    service.waveOutPrepareHeader(hout, h);
    service.waveOutWrite(hout, h);
  }
  ASSERT_TRUE(in.WaitForCount(kWimData, 3));
  ASSERT_TRUE(out.WaitForCount(kWomDone, 3));

  ::testing::internal::CaptureStderr();
  ASSERT_EQ(Server("kill"), 0);
  // Reset and close must not wait for the server, whether or not the service has noticed that
  // it is gone: the capture is reset at once, the playback once its stream is known lost.
  EXPECT_LT(Timed([&] { EXPECT_EQ(service.waveInReset(hin), TWaveResult::NoError); }), 2s);
  ASSERT_TRUE(tardivox::testing::WaitUntil([&] { return service.ServerDeviceName(hout).empty(); }))
      << "the playback stream was not seen to fail";
  EXPECT_LT(Timed([&] { EXPECT_EQ(service.waveOutReset(hout), TWaveResult::NoError); }), 2s);
  EXPECT_EQ(in.Headers(kWimData), recorded.Headers());
  EXPECT_EQ(out.Headers(kWomDone), played.Headers());
  EXPECT_LT(Timed([&] { EXPECT_EQ(service.waveInClose(hin), TWaveResult::NoError); }), 2s);
  EXPECT_LT(Timed([&] { EXPECT_EQ(service.waveOutClose(hout), TWaveResult::NoError); }), 2s);
  EXPECT_EQ(in.Events().back().message, kWimClose);
  EXPECT_EQ(out.Events().back().message, kWomClose);

  // With the server gone, opening fails quickly and says why.
  TWaveHandle none = kNoWaveHandle;
  EXPECT_LT(Timed([&] {
              EXPECT_NE(service.waveOutOpen(&none, kWaveMapper, kStereo16, nullptr, 0, 0),
                        TWaveResult::NoError);
            }),
            6s);
  EXPECT_EQ(none, kNoWaveHandle);
  EXPECT_EQ(service.waveOutGetNumDevs(), 0u);
  const std::string said = ::testing::internal::GetCapturedStderr();
  const auto cannotOpen = said.find("cannot open the default output device");
  EXPECT_NE(cannotOpen, std::string::npos) << said;
  EXPECT_EQ(said.find("cannot open", cannotOpen + 1), std::string::npos) << "one line per open";
  EXPECT_NE(said.find("tardivox: lost output device \"" + testing::kAlphaSink + "\""),
            std::string::npos)
      << said;

  // Back again: the next open connects anew.
  ASSERT_EQ(Server("start"), 0);
  out.Clear();
  in.Clear();
  const uint32_t sinkAgain = testing::DeviceIndex(service, false, testing::kAlphaSink);
  ASSERT_EQ(service.waveOutOpen(&hout, sinkAgain, kStereo16, &TWaveEventRecorder::Callback,
                                out.Instance(), 0),
            TWaveResult::NoError);
  ASSERT_EQ(service.waveInOpen(&hin, kWaveMapper, kStereo16, &TWaveEventRecorder::Callback,
                               in.Instance(), 0),
            TWaveResult::NoError);
  for (TWaveHeader* h : recorded.Headers(0, 5)) {
    ASSERT_EQ(service.waveInPrepareHeader(hin, h), TWaveResult::NoError);
    ASSERT_EQ(service.waveInAddBuffer(hin, h), TWaveResult::NoError);
  }
  ASSERT_EQ(service.waveInStart(hin), TWaveResult::NoError);
  for (TWaveHeader* h : played.Headers(0, 5)) {
    ASSERT_EQ(service.waveOutPrepareHeader(hout, h), TWaveResult::NoError);
    ASSERT_EQ(service.waveOutWrite(hout, h), TWaveResult::NoError);
  }
  EXPECT_TRUE(out.WaitForCount(kWomDone, 5));
  EXPECT_TRUE(in.WaitForCount(kWimData, 5));
  EXPECT_EQ(in.Headers(kWimData), recorded.Headers(0, 5));
  EXPECT_EQ(service.waveOutClose(hout), TWaveResult::NoError);
  EXPECT_EQ(service.waveInClose(hin), TWaveResult::NoError);
}

}  // namespace
}  // namespace tardivox
