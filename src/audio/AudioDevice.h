#pragma once
// Choosing a wave device by name: the selection object that the capture and the playback
// components publish as their `Device` property (TALAudioCaptureDevice for input devices,
// TALAudioOutDevice for output devices; both are this class bound to one direction).
//
// Resolution (ResolveDevice): "Default" in any letter case means the system's default device
// (kWaveMapper); otherwise the first device whose name equals DeviceName exactly and
// case-sensitively; otherwise each alternative in order ("Default" in any case, or an exact
// device name); otherwise the default device. An unknown name is therefore never an error.
// Names are the wave service's full device names.
//
// A new alternative item is named after the device that the fewest existing items name (the
// first such device in device order), or "Default" when there is no device.
//
// Ownership: the component owns its selection object, which owns its alternative items.
// Threads: a selection belongs to its component's window thread for its properties; ResolveDevice
// and GetDeviceNames may run on any thread that does not change the properties meanwhile (the
// components resolve while opening a device, on the thread that delivers the stream).
// Failure: Assign of a whole selection always raises EConvertError "Impossible d'affecter %s à
// %s" and copies nothing (it is changed property by property).

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/WaveService.h"
#include "model/Persistent.h"
#include "pins/ExtCollection.h"

namespace tardivox {

// One alternative device name.
class TALAudioDeviceItem : public TOWExtCollectionItem {
 public:
  TALAudioDeviceItem();

  const char* ClassName() const override { return "TALAudioDeviceItem"; }
  std::string DisplayName() const override { return DeviceName(); }
  // Copies the name from another device item; any other source raises EConvertError.
  void Assign(const TOWExtCollectionItem& source) override;

  std::string DeviceName() const;
  void SetDeviceName(std::string name);

 private:
  mutable std::mutex guard_;  // the name may be read while a device is resolved
  std::string deviceName_;
};

class TALAudioDevice;

// The ordered alternatives of a selection; names each new item (see the header comment).
class TALAudioDeviceItems : public TOWExtCollectionOf<TALAudioDeviceItem> {
 public:
  explicit TALAudioDeviceItems(TALAudioDevice* owner);

 protected:
  void ItemAdded(TOWExtCollectionItem& item) override;

 private:
  TALAudioDevice* device_;
};

class TALAudioDevice : public TPersistent {
 public:
  static constexpr const char* kDefaultName = "Default";

  // `input` chooses the direction; `service` is the wave service whose devices are named
  // (not owned; it must outlive the selection).
  TALAudioDevice(bool input, IALWaveService& service);

  virtual const char* ClassName() const { return "TALAudioDevice"; }
  bool Input() const { return input_; }

  std::string DeviceName() const;
  // Stores the name when it differs (exact comparison).
  void SetDeviceName(std::string name);
  TALAudioDeviceItems& AlternativeDevices() { return alternatives_; }
  const TALAudioDeviceItems& AlternativeDevices() const { return alternatives_; }

  // The device index to open, or kWaveMapper for the system's default device.
  uint32_t ResolveDevice() const;
  // Appends the name of every device of this direction, in device order.
  void GetDeviceNames(std::vector<std::string>& list) const;
  // Always raises EConvertError (see the header comment).
  void Assign(const TALAudioDevice* source);

  static bool IsDefaultName(const std::string& name);

 private:
  // The index of the device named exactly `name` in `names`, or -1.
  static int FindDevice(const std::vector<std::string>& names, const std::string& name);

  bool input_;
  IALWaveService& service_;
  mutable std::mutex guard_;  // guards deviceName_
  std::string deviceName_ = kDefaultName;
  TALAudioDeviceItems alternatives_;
};

}  // namespace tardivox
