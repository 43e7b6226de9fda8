#include "audio/AudioRecord.h"

#include <string>
#include <utility>

#include "audio/PulseAudioRecord.h"

namespace tardivox {

void CheckAudioRecordIndex(int32_t index, int32_t count, const char* what) {
  if (index >= 0 && index < count) return;
  const std::string available = count > 0 ? FormatMessage("de 0 à %d", {std::to_string(count - 1)})
                                          : std::string("liste vide");
  throw EAudioRecordError(
      FormatMessage("%s : index %d hors limites (%s)", {what, std::to_string(index), available}));
}

TCAudioRecord::TCAudioRecord()
    : TCAudioRecord([]() -> std::unique_ptr<IAudioRecord> {
        return std::make_unique<TPulseAudioRecord>();
      }) {}

TCAudioRecord::TCAudioRecord(TProviderFactory factory) : factory_(std::move(factory)) {}

TCAudioRecord::~TCAudioRecord() = default;

IAudioRecord& TCAudioRecord::Provider() {
  if (!provider_) {
    if (!factory_) throw EAudioRecordError("Le contrôle d'enregistrement n'a pas de fournisseur");
    // A failed creation leaves provider_ empty, so the next call tries again: the sound server
    // may have come up in the meantime.
    auto provider = factory_();
    if (!provider) throw EAudioRecordError("Le contrôle d'enregistrement n'a pas pu être créé");
    provider_ = std::move(provider);
  }
  return *provider_;
}

int32_t TCAudioRecord::GetDeviceCount() {
  return Provider().GetDeviceCount();
}

std::string TCAudioRecord::GetDeviceName(int32_t index) {
  return Provider().GetDeviceName(index);
}

void TCAudioRecord::SelectDevice(int32_t index) {
  Provider().SelectDevice(index);
}

int32_t TCAudioRecord::GetLineCount() {
  return Provider().GetLineCount();
}

void TCAudioRecord::SelectLine(int32_t index) {
  Provider().SelectLine(index);
}

std::string TCAudioRecord::GetLineName(int32_t index) {
  return Provider().GetLineName(index);
}

}  // namespace tardivox
