// The main window's stored layout: the chain it builds, its settings and its round trip.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/MainComponents.h"
#include "audio/AudioIn.h"
#include "audio/AudioOut.h"
#include "audio/VirtualWaveService.h"
#include "audio/WaveService.h"
#include "pins/LayoutReader.h"
#include "pins/LayoutWriter.h"
#include "pins/UnloadedPin.h"
#include "processing/DelayLine.h"

namespace tardivox {
namespace {

class MainLayoutTest : public ::testing::Test {
 protected:
  MainLayoutTest() { previous_ = SetCurrentWaveService(&service_); }
  ~MainLayoutTest() override {
    SetCurrentWaveService(previous_);
    TOWUnloadedPin::DropUnused();
  }

  TALVirtualWaveService service_;
  IALWaveService* previous_ = nullptr;
};

void ExpectChain(TMainWindowComponents& window) {
  TALAudioIn& in = window.ALAudioIn1();
  TALDelayLine& delay = window.ALDelayLine1();
  TALAudioOut& out = window.ALAudioOut1();
  EXPECT_EQ(in.OutputPin().SinkCount(), 1);
  EXPECT_TRUE(in.OutputPin().IsConnectedTo(&delay.InputPin()));
  EXPECT_EQ(delay.InputPin().SourcePin(), &in.OutputPin());
  EXPECT_EQ(delay.OutputPin().SinkCount(), 1);
  EXPECT_EQ(out.InputPin().SourcePin(), &delay.OutputPin());
  EXPECT_TRUE(TOWUnloadedPin::All().empty());
}

TEST_F(MainLayoutTest, BuildsTheDisabledChainWithItsStoredSettings) {
  TMainWindowComponents window;
  EXPECT_EQ(window.Name(), "fmMain");
  ASSERT_EQ(window.ComponentCount(), 3);
  EXPECT_FALSE(window.ALAudioIn1().Enabled());
  EXPECT_FALSE(window.ALDelayLine1().Enabled());
  EXPECT_FALSE(window.ALAudioOut1().Enabled());
  EXPECT_EQ(window.ALDelayLine1().Delay(), 50000u);
  EXPECT_EQ(window.ALAudioIn1().GetPropertyValue("AudioFormat.SampleRate"),
            TPropertyValue(int64_t{44100}));
  EXPECT_EQ(window.ALAudioIn1().GetPropertyValue("AudioFormat.BufferSize"),
            TPropertyValue(int64_t{512}));
  EXPECT_EQ(window.ALAudioIn1().PumpPriority(), 0);
  EXPECT_EQ(window.ALAudioIn1().GetPropertyValue("Device.DeviceName"),
            TPropertyValue(std::string("Default")));
  EXPECT_EQ(window.ALAudioOut1().GetPropertyValue("Device.DeviceName"),
            TPropertyValue(std::string("Default")));
  ExpectChain(window);
}

TEST_F(MainLayoutTest, WritingTheLoadedWindowGivesTheCompiledLayout) {
  TMainWindowComponents window;
  const std::string compiled(TMainWindowComponents::MainWindowLayout());
  EXPECT_EQ(WriteStoredForm(ParseStoredForm(compiled)), compiled) << "not in canonical form";
  EXPECT_EQ(WriteLayout(window), compiled);
}

TEST_F(MainLayoutTest, ComponentsReadInReverseOrderConnectTheSame) {
  TStoredObject layout = ParseStoredForm(TMainWindowComponents::MainWindowLayout());
  std::reverse(layout.children.begin(), layout.children.end());
  TMainWindowComponents window(WriteStoredForm(layout));
  ExpectChain(window);
}

TEST_F(MainLayoutTest, ALayoutWithoutTheChainIsRefused) {
  EXPECT_THROW(TMainWindowComponents("object fmMain: TfmMain\nend\n"), Exception);
}

}  // namespace
}  // namespace tardivox
