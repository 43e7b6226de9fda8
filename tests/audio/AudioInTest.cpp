#include "audio/AudioIn.h"

#include <gtest/gtest.h>

#include "audio/ComponentTestSupport.h"
#include "buffers/AssignError.h"

namespace tardivox {
namespace {

using testing::TProbeSink;
using testing::WaitUntil;

using Strings = std::vector<std::string>;

class AudioInTest : public testing::VirtualServiceTest {
 protected:
  AudioInTest() {
    service_.AddInputDevice("Line in");
    service_.AddInputDevice("Default");
    service_.AddInputDevice("USB Mic");
    service_.SetDefaultDevice(true, 0);
    capture_ = std::make_unique<TALAudioIn>(nullptr);
    probe_ = std::make_unique<TProbeSink>();
    EXPECT_TRUE(capture_->OutputPin().ConnectTo(&probe_->Pin()));
  }
  ~AudioInTest() override {
    capture_.reset();
    probe_.reset();
  }

  // Starts a 512-frame, 16-bit stereo capture at 44100 Hz.
  TWaveHandle Start512() {
    TALAudioFormat& format = capture_->AudioFormat();
    format.SetBufferSize(512);
    format.SetChannels(2);
    format.SetBits(16);
    format.SetSampleRate(44100);
    capture_->Loaded();
    return capture_->DeviceHandle();
  }
  // Fills the oldest queued buffer and waits until the probe has received `buffers` buffers.
  void Fill(TWaveHandle handle, const std::vector<uint8_t>& data, size_t buffers) {
    ASSERT_TRUE(service_.CompleteInput(handle, data.data(), data.size()));
    ASSERT_TRUE(WaitUntil([&] { return probe_->Count("buffer") >= buffers; }))
        << "buffer " << buffers << " was not delivered";
  }

  std::unique_ptr<TALAudioIn> capture_;
  std::unique_ptr<TProbeSink> probe_;
};

TEST_F(AudioInTest, DefaultsAndPublishedProperties) {
  EXPECT_TRUE(capture_->Enabled());
  EXPECT_EQ(capture_->PumpPriority(), 0);
  EXPECT_EQ(capture_->Device().DeviceName(), "Default");
  EXPECT_EQ(capture_->AudioFormat().Channels(), 2u);
  EXPECT_EQ(capture_->AudioFormat().Bits(), 16u);
  EXPECT_EQ(capture_->AudioFormat().SampleRate(), 11025u);
  EXPECT_EQ(capture_->AudioFormat().ChannelMask(), 3u);
  EXPECT_EQ(capture_->AudioFormat().BufferSize(), 1024u);
  capture_->SetPropertyValue("AudioFormat.BufferSize", int64_t{256});
  EXPECT_EQ(capture_->AudioFormat().BufferSize(), 256u);
  capture_->SetPropertyValue("Device.DeviceName", std::string("USB Mic"));
  EXPECT_EQ(capture_->Device().DeviceName(), "USB Mic");
  EXPECT_THROW(capture_->Device().Assign(nullptr), EConvertError);
  // A fresh component is idle until it is loaded.
  EXPECT_FALSE(capture_->Active());
  EXPECT_TRUE(service_.Opens().empty());
}

TEST_F(AudioInTest, ResolvesDeviceNames) {
  struct TCase {
    std::string name;
    Strings alternatives;
    uint32_t expected;
  };
  const TCase cases[] = {
      {"Default", {}, kWaveMapper},
      {"default", {}, kWaveMapper},  // even though a device is named "Default"
      {"DEFAULT", {}, kWaveMapper},
      {"USB Mic", {}, 2},
      {"usb mic", {}, kWaveMapper},  // names are case-sensitive
      {"Line in ", {}, kWaveMapper},
      {"Nothing", {}, kWaveMapper},
      {"Nothing", {"Missing", "USB Mic"}, 2},
      {"Nothing", {"Missing", "dEfAuLt", "USB Mic"}, kWaveMapper},
      {"Nothing", {"Missing", "Line in"}, 0},
      {"Line in", {"USB Mic"}, 0},
  };
  for (const TCase& c : cases) {
    TALAudioCaptureDevice device(service_);
    device.SetDeviceName(c.name);
    for (const std::string& alternative : c.alternatives)
      device.AlternativeDevices().Add().SetDeviceName(alternative);
    EXPECT_EQ(device.ResolveDevice(), c.expected) << "\"" << c.name << "\"";
  }
}

TEST_F(AudioInTest, OpensTheResolvedDevice) {
  capture_->Device().SetDeviceName("usb mic");
  capture_->Device().AlternativeDevices().Add().SetDeviceName("Missing");
  capture_->Device().AlternativeDevices().Add().SetDeviceName("USB Mic");
  capture_->Loaded();
  ASSERT_EQ(service_.Opens().size(), 1u);
  EXPECT_EQ(service_.Opens()[0].deviceIndex, 2u);
  EXPECT_EQ(service_.Opens()[0].flags, 0x30006u);
}

TEST_F(AudioInTest, ListsDevicesAndNamesNewAlternativesAfterTheLeastUsedDevice) {
  Strings names;
  capture_->Device().GetDeviceNames(names);
  EXPECT_EQ(names, (Strings{"Line in", "Default", "USB Mic"}));

  auto& items = capture_->Device().AlternativeDevices();
  Strings given;
  for (int i = 0; i < 4; ++i) given.push_back(items.Add().DeviceName());
  EXPECT_EQ(given, (Strings{"Line in", "Default", "USB Mic", "Line in"}));
  items.Items(1).SetDeviceName("Line in");  // now Line in ×3, USB Mic ×1, Default ×0
  EXPECT_EQ(items.Add().DeviceName(), "Default");
  EXPECT_EQ(items.Items(0).DisplayName(), "Line in");

  TALVirtualWaveService empty;
  TALAudioCaptureDevice lonely(empty);
  EXPECT_EQ(lonely.AlternativeDevices().Add().DeviceName(), "Default");
}

// A second of sound stays queued (at least 40 buffers), so that a capture thread held up for
// that long loses nothing.
TEST_F(AudioInTest, StartSendsPumpRequestAndStartWaveThenKeepsASecondOfBuffersQueued) {
  EXPECT_EQ(TALAudioIn::QueuedBufferCount(44100, 512), 87u);
  EXPECT_EQ(TALAudioIn::QueuedBufferCount(44100, 8192), 40u);
  EXPECT_EQ(TALAudioIn::QueuedBufferCount(11025, 32), 345u);
  const TWaveHandle handle = Start512();
  ASSERT_NE(handle, kNoWaveHandle);
  EXPECT_EQ(probe_->Kinds(), (Strings{"pump-request", "start-wave"}));
  auto* start = OperationAs<TOWStartWaveOperation>(*probe_->Operations()[1]);
  EXPECT_EQ(start->Format(), WaveFormat::Pcm(2, 16, 44100, 3));
  EXPECT_FLOAT_EQ(start->Rate(), 1.0f);
  EXPECT_TRUE(service_.IsStarted(handle));
  EXPECT_EQ(service_.QueuedCount(handle), TALAudioIn::QueuedBufferCount(44100, 512));
  EXPECT_EQ(service_.Opens()[0].flags, 0x30002u);
  EXPECT_TRUE(capture_->Params().GetPumped());
  EXPECT_DOUBLE_EQ(capture_->StreamRate(), 1.0);
}

TEST_F(AudioInTest, DeliversWholeBuffersFollowedByExactlyOneResume) {
  const TWaveHandle handle = Start512();
  std::vector<uint8_t> data(2048);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  Fill(handle, data, 1);
  // A short recording still sends the whole buffer.
  Fill(handle, std::vector<uint8_t>(100, 0x55), 2);
  Fill(handle, data, 3);
  ASSERT_TRUE(WaitUntil(
      [&] { return service_.QueuedCount(handle) == TALAudioIn::QueuedBufferCount(44100, 512); }));
  EXPECT_EQ(probe_->Kinds(),
            (Strings{"pump-request", "start-wave", "buffer", "resume", "buffer", "buffer"}));
  auto buffers = probe_->Buffers();
  ASSERT_EQ(buffers.size(), 3u);
  for (auto& b : buffers) {
    EXPECT_EQ(b->Count(), 512u);
    EXPECT_EQ(b->ByteSize(), 2048u);
    EXPECT_EQ(b->Channels(), 2u);
    EXPECT_EQ(b->Bits(), 16u);
  }
  EXPECT_EQ(testing::BytesOf(*buffers[0]), data);
  EXPECT_EQ(buffers[1]->ReadData()[99], 0x55);
  // Buffers are never reused: the first one still holds its samples.
  EXPECT_NE(buffers[0]->ReadData(), buffers[2]->ReadData());
  EXPECT_EQ(testing::BytesOf(*buffers[0]), data);
}

TEST_F(AudioInTest, DisablingSendsExactlyOneEndStopAndClosesTheDevice) {
  const TWaveHandle handle = Start512();
  Fill(handle, std::vector<uint8_t>(2048), 1);
  capture_->SetEnabled(false);
  EXPECT_FALSE(capture_->Enabled());
  EXPECT_FALSE(service_.IsOpen(handle));
  EXPECT_EQ(capture_->QueuedBuffers(), 0u);
  EXPECT_EQ(probe_->Count("end-stop"), 1u);
  capture_->SetEnabled(false);
  EXPECT_EQ(probe_->Count("end-stop"), 1u);
  // The buffers returned by the reset went nowhere.
  service_.WaitIdle();
  EXPECT_EQ(probe_->Count("buffer"), 1u);
  EXPECT_EQ(probe_->Controls().back(), "end-stop");
}

TEST_F(AudioInTest, FormatChangesTakeEffectAtTheNextStart) {
  const TWaveHandle handle = Start512();
  capture_->AudioFormat().SetBufferSize(256);
  capture_->AudioFormat().SetSampleRate(22050);
  Fill(handle, std::vector<uint8_t>(2048), 1);
  ASSERT_TRUE(WaitUntil(
      [&] { return service_.QueuedCount(handle) == TALAudioIn::QueuedBufferCount(44100, 512); }));
  EXPECT_EQ(probe_->Buffers()[0]->Count(), 512u);
  EXPECT_EQ(probe_->Buffers()[0]->SampleRate(), 44100u);
  // The replacement buffer keeps the running stream's size too.
  Fill(handle, std::vector<uint8_t>(4096), 2);
  EXPECT_EQ(probe_->Buffers()[1]->Count(), 512u);

  capture_->SetEnabled(false);
  probe_->Clear();
  capture_->SetEnabled(true);
  const TWaveHandle second = capture_->DeviceHandle();
  ASSERT_NE(second, handle);
  auto* start = OperationAs<TOWStartWaveOperation>(*probe_->Operations()[1]);
  EXPECT_EQ(start->Format().samplesPerSec, 22050u);
  Fill(second, std::vector<uint8_t>(1024), 1);
  EXPECT_EQ(probe_->Buffers()[0]->Count(), 256u);
  EXPECT_EQ(probe_->Buffers()[0]->SampleRate(), 22050u);
  // A new stream gets its own resume.
  ASSERT_TRUE(WaitUntil([&] { return probe_->Count("resume") == 1; }));
}

TEST_F(AudioInTest, LoadingWithEnabledFalseStaysStopped) {
  capture_->BeginLoading();
  capture_->SetPropertyValue("Enabled", false);
  capture_->Loaded();
  EXPECT_FALSE(capture_->Active());
  EXPECT_TRUE(service_.Opens().empty());
  EXPECT_TRUE(probe_->Kinds().empty());
  EXPECT_FALSE(capture_->EnablePin().Value());
  capture_->SetEnabled(true);
  EXPECT_TRUE(capture_->Active());
  EXPECT_TRUE(capture_->EnablePin().Value());
}

TEST_F(AudioInTest, EnablePinStateSwitchesTheCapture) {
  capture_->SetEnabled(false);
  TOWBoolStatePin other(nullptr, [](TOWPin&, bool) {});
  ASSERT_TRUE(other.StateLink(&capture_->EnablePin()));
  other.SetValue(true);
  EXPECT_TRUE(capture_->Enabled());
  EXPECT_TRUE(capture_->Active());
  other.SetValue(false);
  EXPECT_FALSE(capture_->Enabled());
  EXPECT_EQ(probe_->Count("end-stop"), 1u);
  other.Disconnect();
}

TEST_F(AudioInTest, OperationsFromDownstream) {
  const TWaveHandle handle = Start512();
  probe_->Clear();
  // Requests for data are ignored: the capture keeps its own pace.
  EXPECT_FALSE(probe_->Pin().RequestMasterPump(probe_.get()));
  EXPECT_TRUE(probe_->Kinds().empty());
  // A start-wave from downstream re-opens the device with its format and comes back down,
  // after the end of the running stream.
  const WaveFormat mono = WaveFormat::Pcm(1, 16, 8000, 4);
  TRef<IOWNotifyOperation> start(new TOWStartWaveOperation(mono, 1.0f));
  probe_->Pin().Notify(*start);
  EXPECT_FALSE(service_.IsOpen(handle));
  EXPECT_EQ(probe_->Kinds(), (Strings{"end-stop", "start-wave"}));
  ASSERT_EQ(service_.Opens().size(), 2u);
  EXPECT_EQ(service_.Opens()[1].format, mono);
  EXPECT_FALSE(service_.IsStarted(capture_->DeviceHandle()));
  EXPECT_EQ(capture_->QueuedBuffers(), 0u);
}

TEST_F(AudioInTest, ADownstreamPumpTakesOverAndNoBufferIsQueued) {
  probe_->onReceive = [this](IOWNotifyOperation& op) {
    if (auto* request = OperationAs<TOWPumpRequestOperation>(op))
      request->TakeOver(probe_.get(), 7);
  };
  const TWaveHandle handle = Start512();
  EXPECT_TRUE(service_.IsStarted(handle));
  EXPECT_EQ(service_.QueuedCount(handle), 0u);
  EXPECT_FALSE(capture_->Params().GetPumped());
}

TEST_F(AudioInTest, AnInputThatCannotBeOpenedYieldsSilenceNotAnError) {
  service_.SetOpenResult(true, 0, TWaveResult::BadDeviceId);
  EXPECT_NO_THROW(capture_->Loaded());
  EXPECT_TRUE(capture_->Enabled());
  EXPECT_TRUE(capture_->Active());
  EXPECT_EQ(capture_->DeviceHandle(), kNoWaveHandle);
  EXPECT_NO_THROW(capture_->SetEnabled(false));
  EXPECT_EQ(probe_->Count("end-stop"), 1u);
}

}  // namespace
}  // namespace tardivox
