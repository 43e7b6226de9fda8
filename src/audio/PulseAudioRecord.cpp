#include "audio/PulseAudioRecord.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "audio/PulseSourceClient.h"

namespace tardivox {
namespace {

constexpr const char* kDeviceList = "Périphérique d'entrée";
constexpr const char* kLineList = "Ligne d'entrée";

int32_t CountOf(size_t size) {
  return static_cast<int32_t>(std::min<size_t>(size, std::numeric_limits<int32_t>::max()));
}

const TRecordSource* FindSource(const std::vector<TRecordSource>& sources,
                                const std::string& name) {
  auto found = std::find_if(sources.begin(), sources.end(),
                            [&](const TRecordSource& source) { return source.name == name; });
  return found == sources.end() ? nullptr : &*found;
}

}  // namespace

TPulseAudioRecord::TPulseAudioRecord()
    : TPulseAudioRecord(std::make_unique<TPulseSourceClient>()) {}

TPulseAudioRecord::TPulseAudioRecord(std::unique_ptr<IRecordSourceServer> server)
    : server_(std::move(server)) {
  if (!server_) throw EAudioRecordError("Le contrôle d'enregistrement n'a pas de serveur de son");
}

TPulseAudioRecord::~TPulseAudioRecord() = default;

int32_t TPulseAudioRecord::GetDeviceCount() {
  return CountOf(server_->ListSources().size());
}

std::string TPulseAudioRecord::GetDeviceName(int32_t index) {
  const auto sources = server_->ListSources();
  CheckAudioRecordIndex(index, CountOf(sources.size()), kDeviceList);
  return sources[static_cast<size_t>(index)].description;
}

void TPulseAudioRecord::SelectDevice(int32_t index) {
  const auto sources = server_->ListSources();
  CheckAudioRecordIndex(index, CountOf(sources.size()), kDeviceList);
  selectedSourceName_ = sources[static_cast<size_t>(index)].name;
}

std::pair<std::string, std::vector<TRecordPort>> TPulseAudioRecord::CurrentLines() {
  const auto sources = server_->ListSources();
  if (!selectedSourceName_.empty()) {
    const TRecordSource* source = FindSource(sources, selectedSourceName_);
    if (!source) {
      throw EAudioRecordError(
          FormatMessage("Le périphérique d'entrée « %s » n'existe plus", {selectedSourceName_}));
    }
    return {source->name, source->ports};
  }
  // Before any choice the lines are those of the source the server records from by default.
  const std::string defaultName = server_->DefaultSourceName();
  const TRecordSource* source = defaultName.empty() ? nullptr : FindSource(sources, defaultName);
  if (!source) return {};
  return {source->name, source->ports};
}

int32_t TPulseAudioRecord::GetLineCount() {
  return CountOf(CurrentLines().second.size());
}

std::string TPulseAudioRecord::GetLineName(int32_t index) {
  const auto lines = CurrentLines().second;
  CheckAudioRecordIndex(index, CountOf(lines.size()), kLineList);
  return lines[static_cast<size_t>(index)].description;
}

void TPulseAudioRecord::SelectLine(int32_t index) {
  const auto [sourceName, lines] = CurrentLines();
  CheckAudioRecordIndex(index, CountOf(lines.size()), kLineList);
  server_->SetActivePort(sourceName, lines[static_cast<size_t>(index)].name);
}

}  // namespace tardivox
