#include "app/Multimedia.h"

#include <string>
#include <utility>
#include <vector>

#include "app/AppExceptions.h"
#include "app/DropDownList.h"
#include "audio/AudioDevice.h"

namespace tardivox {

namespace {

// The name of entry `index`; an index that is not an entry is an error like any other failed
// step, so it never hands an empty name to a device selection.
std::string EntryName(const TDropDownList& list, int32_t index) {
  if (index < 0 || index >= list.Count()) {
    throw ERangeError(FormatMessage("Index out of range = %d", {std::to_string(index)}));
  }
  return list.Item(index).toStdString();
}

// Makes `list` hold `names`, keeping the selected entry by name, else selecting `fallback`,
// else the first entry. No change handler runs. True when the selected text changed.
bool RefillKeepingSelection(TDropDownList& list, const std::vector<std::string>& names,
                            const std::string& fallback) {
  const int32_t selectedIndex = list.ItemIndex();
  const QString selected = selectedIndex >= 0 ? list.Item(selectedIndex) : QString();
  bool same = list.Count() == static_cast<int32_t>(names.size());
  for (int32_t i = 0; same && i < list.Count(); ++i) {
    same = list.Item(i) == QString::fromStdString(names[i]);
  }
  if (same) return false;
  list.Clear();
  int32_t keep = -1;
  int32_t fallbackIndex = -1;
  for (const std::string& name : names) {
    const QString entry = QString::fromStdString(name);
    if (keep < 0 && !selected.isEmpty() && entry == selected) keep = list.Count();
    if (fallbackIndex < 0 && name == fallback) fallbackIndex = list.Count();
    list.AddItem(entry);
  }
  if (keep < 0) keep = fallbackIndex >= 0 ? fallbackIndex : (names.empty() ? -1 : 0);
  list.SetItemIndex(keep);
  return (keep >= 0 ? list.Item(keep) : QString()) != selected;
}

}  // namespace

TDeviceSelection::TDeviceSelection(const TLists& lists, TALAudioDevice& inputDevice,
                                   TALAudioDevice& outputDevice, TWaitFunction wait)
    : lists_(lists),
      inputDevice_(inputDevice),
      outputDevice_(outputDevice),
      wait_(std::move(wait)) {}

TDeviceSelection::~TDeviceSelection() = default;

void TDeviceSelection::SetAudioRecord(std::unique_ptr<TCAudioRecord> audioRecord) {
  audioRecord_ = std::move(audioRecord);
}

void TDeviceSelection::FillInputDevices(bool refreshLines) {
  if (!audioRecord_) return;
  // Not emptied first: the list is filled once, at start-up.
  const int32_t count = audioRecord_->GetDeviceCount();
  for (int32_t index = 0; index < count; ++index) {
    lists_.lstInDevices.AddItem(QString::fromStdString(audioRecord_->GetDeviceName(index)));
  }
  lists_.lstInDevices.SetItemIndex(0);
  SelectInputDevice(0);
  if (refreshLines) FillInputLines(0);
}

void TDeviceSelection::FillInputLines(int32_t index) {
  lists_.lstInDeviceLines.Clear();
  if (!audioRecord_ || index == -1) return;
  // The lines are those of the control's current device, which the caller has just selected.
  const int32_t count = audioRecord_->GetLineCount();
  for (int32_t line = 0; line < count; ++line) {
    lists_.lstInDeviceLines.AddItem(QString::fromStdString(audioRecord_->GetLineName(line)));
  }
  lists_.lstInDeviceLines.SetItemIndex(0);
  SelectInputLine(0);
}

void TDeviceSelection::FillOutputDevices() {
  lists_.lstOutDevices.Clear();
  std::vector<std::string> names;
  outputDevice_.GetDeviceNames(names);
  for (const std::string& name : names) lists_.lstOutDevices.AddItem(QString::fromStdString(name));
  lists_.lstOutDevices.SetItemIndex(0);
  SelectOutputDevice(0);
}

void TDeviceSelection::SelectInputDevice(int32_t index) {
  Guarded([&] {
    if (!audioRecord_) return;
    audioRecord_->SelectDevice(index);
    FillInputLines(index);
    inputDevice_.SetDeviceName(EntryName(lists_.lstInDevices, index));
  });
  wait_(kSelectWaitMs);
}

void TDeviceSelection::SelectInputLine(int32_t index) {
  Guarded([&] {
    if (audioRecord_) audioRecord_->SelectLine(index);
  });
  wait_(kSelectWaitMs);
}

void TDeviceSelection::SelectOutputDevice(int32_t index) {
  Guarded([&] { outputDevice_.SetDeviceName(EntryName(lists_.lstOutDevices, index)); });
  wait_(kSelectWaitMs);
}

void TDeviceSelection::FollowDevices(const std::string& defaultInput,
                                     const std::string& defaultOutput) {
  if (audioRecord_) {
    std::vector<std::string> names;
    bool listed = false;
    Guarded([&] {
      const int32_t count = audioRecord_->GetDeviceCount();
      for (int32_t index = 0; index < count; ++index) {
        names.push_back(audioRecord_->GetDeviceName(index));
      }
      listed = true;
    });
    // A server that cannot be asked now leaves the list as it was.
    if (listed && RefillKeepingSelection(lists_.lstInDevices, names, defaultInput)) {
      const int32_t index = lists_.lstInDevices.ItemIndex();
      Guarded([&] {
        audioRecord_->SelectDevice(index);
        FillInputLines(index);
      });
    }
  }
  std::vector<std::string> outputs;
  Guarded([&] { outputDevice_.GetDeviceNames(outputs); });
  RefillKeepingSelection(lists_.lstOutDevices, outputs, defaultOutput);
}

void TDeviceSelection::lstInDevicesChange() {
  if (audioRecord_) SelectInputDevice(lists_.lstInDevices.ItemIndex());
}

void TDeviceSelection::lstInDeviceLinesChange() {
  if (audioRecord_) SelectInputLine(lists_.lstInDeviceLines.ItemIndex());
}

void TDeviceSelection::lstOutDevicesChange() {
  SelectOutputDevice(lists_.lstOutDevices.ItemIndex());
}

}  // namespace tardivox
