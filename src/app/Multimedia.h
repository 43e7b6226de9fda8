#pragma once
// Device and line selection: fills the window's three device lists and hands the choices to
// the recording control (input device and line) and to the capture and playback components
// (device names, resolved when they next open a device).
//
// The input-device and line lists come from the recording control (TCAudioRecord), which this
// object owns once the controller has created it; without it the input lists stay empty and
// choosing in them does nothing. The output list comes from the playback's own enumeration.
// Choosing never restarts the chain: a new device is heard after the chain was next switched
// off and on.
//
// Guarded blocks: errors of the recording control or of the components inside a selection are
// swallowed (see Guarded), the first failing step ends the block, and the wait after the block
// is made anyway. Filling the input devices and counting or naming the lines are not guarded:
// an error there leaves the routine (FillInputLines then leaves the line list empty).
//
// Waits: 50 ms after each selection, made through the wait function (WaitProcessingMessages
// unless replaced), which processes window events; another selection may begin meanwhile.
//
// Threads: the window's thread only. The lists and device selections passed in must outlive
// this object.

#include <cstdint>
#include <memory>
#include <string>

#include "app/Misc.h"
#include "audio/AudioRecord.h"

namespace tardivox {

class TALAudioDevice;
class TDropDownList;

class TDeviceSelection {
 public:
  static constexpr uint32_t kSelectWaitMs = 50;

  struct TLists {
    TDropDownList& lstInDevices;
    TDropDownList& lstInDeviceLines;
    TDropDownList& lstOutDevices;
  };

  // `inputDevice` and `outputDevice` are the `Device` selections of the capture and of the
  // playback; `wait` must not be empty.
  TDeviceSelection(const TLists& lists, TALAudioDevice& inputDevice, TALAudioDevice& outputDevice,
                   TWaitFunction wait);
  TDeviceSelection(const TDeviceSelection&) = delete;
  TDeviceSelection& operator=(const TDeviceSelection&) = delete;
  ~TDeviceSelection();

  // The recording control, or nullptr when none was set.
  TCAudioRecord* AudioRecord() const { return audioRecord_.get(); }
  void SetAudioRecord(std::unique_ptr<TCAudioRecord> audioRecord);

  // Appends every input device, selects the first (which fills and selects the lines) and,
  // when `refreshLines`, fills the lines once more. Nothing without a recording control.
  void FillInputDevices(bool refreshLines);
  // Rebuilds the line list from the recording control's current device and selects the first
  // line; `index` −1 (no device) only empties the list.
  void FillInputLines(int32_t index);
  // Lists every output device of the playback in device order and selects the first.
  void FillOutputDevices();
  // Tells the recording control, refills the lines, names the capture's device; then waits.
  void SelectInputDevice(int32_t index);
  // Makes line `index` the recording source; then waits.
  void SelectInputLine(int32_t index);
  // Names the playback's device after entry `index`; then waits. An index that is not an
  // entry (an empty list) leaves the playback's device as it was.
  void SelectOutputDevice(int32_t index);

  // Lists the devices again after the server's set of devices changed: devices that appeared
  // are added and devices that left are removed, in the server's order. Each list keeps its
  // selection by name; when the selected device left, the list shows the server's default
  // device (`defaultInput`, `defaultOutput`: where the server moved the stream), or the first
  // entry. The components' device names are left as they are, so a device that returns is
  // taken again at the next start. A new input selection refills the lines; an unchanged one
  // leaves them alone. Nothing here waits unless the input selection changed.
  void FollowDevices(const std::string& defaultInput, const std::string& defaultOutput);

  // The list handlers.
  void lstInDevicesChange();
  void lstInDeviceLinesChange();
  void lstOutDevicesChange();

 private:
  TLists lists_;
  TALAudioDevice& inputDevice_;
  TALAudioDevice& outputDevice_;
  TWaitFunction wait_;
  std::unique_ptr<TCAudioRecord> audioRecord_;
};

}  // namespace tardivox
