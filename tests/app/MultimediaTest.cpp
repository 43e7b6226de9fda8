// Device and line selection on the window, with the two-device test control: what the lists
// show and what the control was told, in order.

#include <gtest/gtest.h>

#include "ControllerTestSupport.h"

namespace tardivox::testing {
namespace {

using TLog = TFakeAudioRecord::TLog;

class DeviceSelectionTest : public ControllerFixture {};

TEST_F(DeviceSelectionTest, StartUpSelectsTheFirstDeviceAndLineAndTellsTheControl) {
  Start();
  EXPECT_EQ(*log_, (TLog{"SelectDevice(0)", "SelectLine(0)", "SelectLine(0)"}))
      << "line 0 once by the device choice and once by the second fill";
  EXPECT_EQ(Items(*window_->lstInDeviceLines), (std::vector<std::string>{"A", "B"}));
}

TEST_F(DeviceSelectionTest, FillingTheInputDevicesWaitsAfterEachSelection) {
  Build();
  controller_->Devices().SetAudioRecord(
      std::make_unique<TCAudioRecord>(TFakeAudioRecord::Factory(log_)));
  controller_->Devices().FillInputDevices(true);
  EXPECT_EQ(waits_.size(), 3u) << "first line, device, line again";
  for (const TWaitRecord& wait : waits_) EXPECT_EQ(wait.milliseconds, 50u);
  controller_->Devices().FillInputDevices(false);
  EXPECT_EQ(Items(*window_->lstInDevices).size(), 4u) << "the list is not emptied first";
}

TEST_F(DeviceSelectionTest, ChoosingTheSecondDeviceShowsOnlyItsLine) {
  Start();
  log_->clear();
  window_->lstInDevices->setCurrentIndex(1);  // a user choice
  EXPECT_EQ(*log_, (TLog{"SelectDevice(1)", "SelectLine(0)"}));
  EXPECT_EQ(Items(*window_->lstInDeviceLines), (std::vector<std::string>{"C"}));
  EXPECT_EQ(window_->lstInDeviceLines->ItemIndex(), 0);
  EXPECT_EQ(In().Device().DeviceName(), "Périphérique 2");
}

TEST_F(DeviceSelectionTest, ChoosingALineOrAnOutputWhileActiveDoesNotRestartTheChain) {
  Start();
  log_->clear();
  const auto opens = service_.Opens().size();
  window_->lstInDeviceLines->setCurrentIndex(1);
  EXPECT_EQ(*log_, (TLog{"SelectLine(1)"}));
  window_->lstOutDevices->setCurrentIndex(1);
  EXPECT_EQ(Out().Device().DeviceName(), "Sortie 2");
  EXPECT_TRUE(In().Enabled());
  EXPECT_EQ(service_.Opens().size(), opens) << "no device was reopened";
}

TEST_F(DeviceSelectionTest, AFailedDeviceChoiceChangesNothingButStillWaits) {
  Start();
  log_->clear();
  const size_t before = waits_.size();
  controller_->Devices().SelectInputDevice(5);
  EXPECT_TRUE(log_->empty());
  EXPECT_EQ(Items(*window_->lstInDeviceLines), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(In().Device().DeviceName(), "Périphérique 1");
  ASSERT_EQ(WaitsSince(before).size(), 1u);
  EXPECT_EQ(WaitsSince(before)[0].milliseconds, 50u);

  controller_->Devices().SelectOutputDevice(7);
  EXPECT_EQ(Out().Device().DeviceName(), "Sortie 1") << "no entry 7: the name stays";
}

TEST_F(DeviceSelectionTest, ADeviceWithoutLinesShowsAnEmptyLineList) {
  Start(TFakeAudioRecord::Factory(log_, {{"Muet", {}}, {"Micro", {"Micro avant"}}}));
  EXPECT_EQ(Items(*window_->lstInDevices), (std::vector<std::string>{"Muet", "Micro"}));
  EXPECT_EQ(window_->lstInDeviceLines->Count(), 0);
  EXPECT_EQ(window_->lstInDeviceLines->ItemIndex(), -1);
  EXPECT_EQ(*log_, (TLog{"SelectDevice(0)"})) << "selecting line 0 failed and was swallowed";
  EXPECT_TRUE(In().Enabled()) << "the start-up went on";
  EXPECT_TRUE(errors_.empty());
}

class NoOutputDeviceTest : public ControllerFixture {
 protected:
  NoOutputDeviceTest() : ControllerFixture({}) {}
};

TEST_F(NoOutputDeviceTest, OutputListStaysEmptyAndThePlaybackKeepsDefault) {
  Start();
  EXPECT_EQ(window_->lstOutDevices->Count(), 0);
  EXPECT_EQ(Out().Device().DeviceName(), "Default");
  EXPECT_TRUE(In().Enabled());
  EXPECT_TRUE(errors_.empty());
}

}  // namespace
}  // namespace tardivox::testing
