#include "audio/AudioDevice.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "buffers/AssignError.h"

namespace tardivox {

TALAudioDeviceItem::TALAudioDeviceItem() {
  PublishValue(
      "DeviceName", [this] { return TPropertyValue(DeviceName()); },
      [this](const TPropertyValue& v) { SetDeviceName(AsString(v)); }, std::string());
}

void TALAudioDeviceItem::Assign(const TOWExtCollectionItem& source) {
  if (auto* item = dynamic_cast<const TALAudioDeviceItem*>(&source)) {
    SetDeviceName(item->DeviceName());
    return;
  }
  TOWExtCollectionItem::Assign(source);
}

std::string TALAudioDeviceItem::DeviceName() const {
  std::lock_guard lock(guard_);
  return deviceName_;
}

void TALAudioDeviceItem::SetDeviceName(std::string name) {
  std::lock_guard lock(guard_);
  deviceName_ = std::move(name);
}

TALAudioDeviceItems::TALAudioDeviceItems(TALAudioDevice* owner)
    : TOWExtCollectionOf<TALAudioDeviceItem>(owner), device_(owner) {}

void TALAudioDeviceItems::ItemAdded(TOWExtCollectionItem& added) {
  std::vector<std::string> names;
  device_->GetDeviceNames(names);
  // The least used device name, first in device order on a tie; the new item itself still has
  // its empty name and so counts for no device.
  std::string chosen = TALAudioDevice::kDefaultName;
  int smallest = std::numeric_limits<int>::max();
  for (const std::string& name : names) {
    if (name.empty()) continue;
    int count = 0;
    for (int i = 0; i < Count(); ++i)
      if (&Items(i) != &added && Items(i).DeviceName() == name) ++count;
    if (count < smallest) {
      smallest = count;
      chosen = name;
    }
  }
  static_cast<TALAudioDeviceItem&>(added).SetDeviceName(chosen);
}

TALAudioDevice::TALAudioDevice(bool input, IALWaveService& service)
    : input_(input), service_(service), alternatives_(this) {
  PublishValue(
      "DeviceName", [this] { return TPropertyValue(DeviceName()); },
      [this](const TPropertyValue& v) { SetDeviceName(AsString(v)); }, std::string(kDefaultName));
  PublishObject("AlternativeDevices", &alternatives_);
}

std::string TALAudioDevice::DeviceName() const {
  std::lock_guard lock(guard_);
  return deviceName_;
}

void TALAudioDevice::SetDeviceName(std::string name) {
  std::lock_guard lock(guard_);
  if (name != deviceName_) deviceName_ = std::move(name);
}

bool TALAudioDevice::IsDefaultName(const std::string& name) {
  static const std::string kUpper = "DEFAULT";
  return name.size() == kUpper.size() &&
         std::equal(name.begin(), name.end(), kUpper.begin(), [](char a, char b) {
           return std::toupper(static_cast<unsigned char>(a)) == b;
         });
}

int TALAudioDevice::FindDevice(const std::vector<std::string>& names, const std::string& name) {
  auto it = std::find(names.begin(), names.end(), name);
  return it == names.end() ? -1 : static_cast<int>(it - names.begin());
}

uint32_t TALAudioDevice::ResolveDevice() const {
  const std::string name = DeviceName();
  if (IsDefaultName(name)) return kWaveMapper;
  std::vector<std::string> names;
  GetDeviceNames(names);
  if (int index = FindDevice(names, name); index >= 0) return static_cast<uint32_t>(index);
  for (int i = 0; i < alternatives_.Count(); ++i) {
    const std::string alternative = alternatives_.Items(i).DeviceName();
    if (IsDefaultName(alternative)) return kWaveMapper;
    if (int index = FindDevice(names, alternative); index >= 0) return static_cast<uint32_t>(index);
  }
  return kWaveMapper;
}

void TALAudioDevice::GetDeviceNames(std::vector<std::string>& list) const {
  const uint32_t count = input_ ? service_.waveInGetNumDevs() : service_.waveOutGetNumDevs();
  for (uint32_t i = 0; i < count; ++i) {
    TWaveDevCaps caps;
    const TWaveResult result =
        input_ ? service_.waveInGetDevCapsA(i, caps) : service_.waveOutGetDevCapsA(i, caps);
    // A device that vanished since the count keeps its place, so indexes stay right.
    list.push_back(result == TWaveResult::NoError ? caps.name : std::string());
  }
}

void TALAudioDevice::Assign(const TALAudioDevice* source) {
  RaiseAssignError(source ? source->ClassName() : nullptr, ClassName());
}

}  // namespace tardivox
