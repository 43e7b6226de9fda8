#pragma once
// A recording control for tests: a fixed table of devices and their lines, and a log of what it
// was told. By default it offers two devices, the first with lines "A" and "B", the second with
// line "C".
//
// The log is shared so a test can keep reading it after handing the provider to a
// TCAudioRecord: each SelectDevice / SelectLine appends "SelectDevice(i)" / "SelectLine(i)".
// Out-of-range indexes raise EAudioRecordError as the real provider does, and are not logged.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "audio/AudioRecord.h"

namespace tardivox::testing {

struct TFakeRecordDevice {
  std::string name;
  std::vector<std::string> lines;
};

class TFakeAudioRecord final : public IAudioRecord {
 public:
  using TLog = std::vector<std::string>;

  static std::vector<TFakeRecordDevice> TwoDevices() {
    return {{"Périphérique 1", {"A", "B"}}, {"Périphérique 2", {"C"}}};
  }

  explicit TFakeAudioRecord(std::shared_ptr<TLog> log = std::make_shared<TLog>(),
                            std::vector<TFakeRecordDevice> devices = TwoDevices())
      : log_(std::move(log)), devices_(std::move(devices)) {}

  // A factory for TCAudioRecord that hands out a fake writing to `log`.
  static TCAudioRecord::TProviderFactory Factory(
      std::shared_ptr<TLog> log, std::vector<TFakeRecordDevice> devices = TwoDevices()) {
    return [log, devices] { return std::make_unique<TFakeAudioRecord>(log, devices); };
  }

  const TLog& Log() const { return *log_; }
  int32_t CurrentDevice() const { return current_; }

  int32_t GetDeviceCount() override { return static_cast<int32_t>(devices_.size()); }
  std::string GetDeviceName(int32_t index) override {
    CheckAudioRecordIndex(index, GetDeviceCount(), "Périphérique d'entrée");
    return devices_[static_cast<size_t>(index)].name;
  }
  void SelectDevice(int32_t index) override {
    CheckAudioRecordIndex(index, GetDeviceCount(), "Périphérique d'entrée");
    current_ = index;
    log_->push_back("SelectDevice(" + std::to_string(index) + ")");
  }
  int32_t GetLineCount() override { return static_cast<int32_t>(Lines().size()); }
  void SelectLine(int32_t index) override {
    CheckAudioRecordIndex(index, GetLineCount(), "Ligne d'entrée");
    log_->push_back("SelectLine(" + std::to_string(index) + ")");
  }
  std::string GetLineName(int32_t index) override {
    CheckAudioRecordIndex(index, GetLineCount(), "Ligne d'entrée");
    return Lines()[static_cast<size_t>(index)];
  }

 private:
  const std::vector<std::string>& Lines() const {
    static const std::vector<std::string> kNone;
    return devices_.empty() ? kNone : devices_[static_cast<size_t>(current_)].lines;
  }

  std::shared_ptr<TLog> log_;
  std::vector<TFakeRecordDevice> devices_;
  int32_t current_ = 0;
};

}  // namespace tardivox::testing
