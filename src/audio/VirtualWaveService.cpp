#include "audio/VirtualWaveService.h"

#include <algorithm>
#include <cstring>

namespace tardivox {

struct TALVirtualWaveService::TOutStream final : TStream {
  uint64_t position = 0;    // frames played
  uint64_t headPlayed = 0;  // bytes of the oldest queued buffer already played
  uint64_t skipFrames = 0;  // frames still to skip after an underrun
  bool dry = false;         // in an underrun
  TWavePosition counted;    // underruns so far
};

TALVirtualWaveService::TALVirtualWaveService() = default;

TALVirtualWaveService::~TALVirtualWaveService() {
  std::lock_guard lock(mutex_);
  DropAllStreams();
}

uint32_t TALVirtualWaveService::AddInputDevice(const std::string& name, uint16_t channels) {
  std::lock_guard lock(mutex_);
  inputs_.devices.push_back({{name, channels}});
  return static_cast<uint32_t>(inputs_.devices.size() - 1);
}

uint32_t TALVirtualWaveService::AddOutputDevice(const std::string& name, uint16_t channels) {
  std::lock_guard lock(mutex_);
  outputs_.devices.push_back({{name, channels}});
  return static_cast<uint32_t>(outputs_.devices.size() - 1);
}

void TALVirtualWaveService::SetDefaultDevice(bool input, uint32_t index) {
  std::lock_guard lock(mutex_);
  Direction(input).defaultIndex = index;
}

void TALVirtualWaveService::SetOpenResult(bool input, uint32_t index, TWaveResult result) {
  std::lock_guard lock(mutex_);
  TDirection& direction = Direction(input);
  if (index == kWaveMapper) index = direction.defaultIndex;
  if (index < direction.devices.size()) direction.devices[index].openResult = result;
}

std::vector<TALVirtualWaveService::TOpenRecord> TALVirtualWaveService::Opens() const {
  std::lock_guard lock(mutex_);
  return opens_;
}

TWaveHandle TALVirtualWaveService::CurrentHandle(bool input) const {
  std::lock_guard lock(mutex_);
  auto* self = const_cast<TALVirtualWaveService*>(this);
  for (auto it = opens_.rbegin(); it != opens_.rend(); ++it)
    if (it->input == input && it->handle != kNoWaveHandle && self->Open(it->handle, input))
      return it->handle;
  return kNoWaveHandle;
}

TALWaveServiceBase::TStream* TALVirtualWaveService::Open(TWaveHandle handle, bool input) {
  TStream* stream = FindStream(handle);
  return stream && stream->input == input ? stream : nullptr;
}

bool TALVirtualWaveService::IsOpen(TWaveHandle handle) const {
  std::lock_guard lock(mutex_);
  return const_cast<TALVirtualWaveService*>(this)->FindStream(handle) != nullptr;
}

bool TALVirtualWaveService::IsStarted(TWaveHandle handle) const {
  std::lock_guard lock(mutex_);
  TStream* stream = const_cast<TALVirtualWaveService*>(this)->FindStream(handle);
  return stream && stream->started;
}

bool TALVirtualWaveService::IsPaused(TWaveHandle handle) const {
  std::lock_guard lock(mutex_);
  TStream* stream = const_cast<TALVirtualWaveService*>(this)->FindStream(handle);
  return stream && stream->paused;
}

size_t TALVirtualWaveService::QueuedCount(TWaveHandle handle) const {
  std::lock_guard lock(mutex_);
  TStream* stream = const_cast<TALVirtualWaveService*>(this)->FindStream(handle);
  return stream ? stream->queue.size() : 0;
}

std::vector<std::string> TALVirtualWaveService::CallLog() const {
  std::lock_guard lock(mutex_);
  return log_;
}

bool TALVirtualWaveService::CompleteInput(TWaveHandle handle, const void* data, size_t bytes) {
  std::lock_guard lock(mutex_);
  TStream* stream = Open(handle, true);
  if (!stream || !stream->started || stream->queue.empty()) return false;
  TWaveHeader& header = *stream->queue.front();
  const size_t copied = std::min<size_t>(bytes, UsableBytes(*stream, header));
  if (copied > 0) std::memcpy(header.data, data, copied);
  header.bytesRecorded = static_cast<uint32_t>(copied);
  CompleteFront(*stream);
  return true;
}

bool TALVirtualWaveService::CompleteOutput(TWaveHandle handle) {
  std::lock_guard lock(mutex_);
  TStream* stream = Open(handle, false);
  if (!stream || stream->paused || stream->queue.empty()) return false;
  auto& out = static_cast<TOutStream&>(*stream);
  const TWaveHeader& header = *stream->queue.front();
  const uint32_t bytes = UsableBytes(*stream, header);
  if (keepPlayed_) {
    std::vector<uint8_t>& played = played_[handle];
    played.insert(played.end(), header.data + out.headPlayed, header.data + bytes);
  }
  out.position += (bytes - out.headPlayed) / stream->format.blockAlign;
  out.headPlayed = 0;
  CompleteFront(*stream);
  return true;
}

bool TALVirtualWaveService::PlayOutput(TWaveHandle handle, uint64_t frames) {
  std::lock_guard lock(mutex_);
  TStream* stream = Open(handle, false);
  if (!stream || stream->paused) return false;
  auto& out = static_cast<TOutStream&>(*stream);
  const uint32_t frameBytes = stream->format.blockAlign;
  const uint8_t silence = stream->format.bitsPerSample == 8 ? 0x80 : 0x00;
  std::vector<uint8_t>* played = keepPlayed_ ? &played_[handle] : nullptr;
  while (frames > 0 || (out.skipFrames > 0 && !stream->queue.empty())) {
    if (stream->queue.empty()) {
      // Dry: silence, and the clock runs on.
      if (played) played->insert(played->end(), frames * frameBytes, silence);
      out.position += frames;
      out.skipFrames += frames;
      if (!out.dry) ++out.counted.underruns;
      out.dry = true;
      break;
    }
    const TWaveHeader& header = *stream->queue.front();
    const uint64_t left = (UsableBytes(*stream, header) - out.headPlayed) / frameBytes;
    uint64_t take;
    if (out.skipFrames > 0) {
      take = std::min(left, out.skipFrames);
      out.skipFrames -= take;
    } else {
      take = std::min(left, frames);
      if (played)
        played->insert(played->end(), header.data + out.headPlayed,
                       header.data + out.headPlayed + take * frameBytes);
      out.position += take;
      frames -= take;
      out.dry = false;
    }
    out.headPlayed += take * frameBytes;
    if (take == left) {
      out.headPlayed = 0;
      CompleteFront(*stream);
    }
  }
  return true;
}

void TALVirtualWaveService::KeepPlayedData(bool keep) {
  std::lock_guard lock(mutex_);
  keepPlayed_ = keep;
}

bool TALVirtualWaveService::Position(TStream& stream, TWavePosition& position) {
  const auto& out = static_cast<TOutStream&>(stream);
  position = out.counted;
  position.playedFrames = out.position;
  return true;
}

std::vector<uint8_t> TALVirtualWaveService::PlayedData(TWaveHandle handle) const {
  std::lock_guard lock(mutex_);
  auto it = played_.find(handle);
  return it == played_.end() ? std::vector<uint8_t>{} : it->second;
}

void TALVirtualWaveService::WaitIdle() {
  Dispatcher().WaitDelivered(Dispatcher().LastPosted());
}

uint32_t TALVirtualWaveService::waveInGetNumDevs() {
  std::lock_guard lock(mutex_);
  return static_cast<uint32_t>(inputs_.devices.size());
}

TWaveResult TALVirtualWaveService::waveInGetDevCapsA(uint32_t deviceId, TWaveDevCaps& caps) {
  std::lock_guard lock(mutex_);
  if (deviceId >= inputs_.devices.size()) return TWaveResult::BadDeviceId;
  caps = inputs_.devices[deviceId].caps;
  return TWaveResult::NoError;
}

uint32_t TALVirtualWaveService::waveOutGetNumDevs() {
  std::lock_guard lock(mutex_);
  return static_cast<uint32_t>(outputs_.devices.size());
}

TWaveResult TALVirtualWaveService::waveOutGetDevCapsA(uint32_t deviceId, TWaveDevCaps& caps) {
  std::lock_guard lock(mutex_);
  if (deviceId >= outputs_.devices.size()) return TWaveResult::BadDeviceId;
  caps = outputs_.devices[deviceId].caps;
  return TWaveResult::NoError;
}

std::string TALVirtualWaveService::DescribeDevice(bool input, uint32_t deviceId) {
  const char* kind = input ? "input" : "output";
  TDirection& direction = Direction(input);
  if (deviceId == kWaveMapper) return std::string("the default ") + kind + " device";
  if (deviceId < direction.devices.size())
    return std::string(kind) + " device \"" + direction.devices[deviceId].caps.name + "\"";
  return std::string(kind) + " device number " + std::to_string(deviceId);
}

TWaveResult TALVirtualWaveService::OpenDevice(const TOpenRequest& request,
                                              std::unique_ptr<TStream>& stream, std::string& why) {
  TDirection& direction = Direction(request.input);
  const uint32_t index =
      request.deviceId == kWaveMapper ? direction.defaultIndex : request.deviceId;
  if (index >= direction.devices.size()) {
    why = "no such device";
    return TWaveResult::BadDeviceId;
  }
  if (direction.devices[index].openResult != TWaveResult::NoError) {
    why = "the test refuses this device";
    return direction.devices[index].openResult;
  }
  const bool query = (request.flags & kWaveFormatQuery) != 0;
  opens_.push_back({query ? kNoWaveHandle : request.handle, request.input, index, request.format,
                    request.instance, request.flags});
  Log(std::string("open ") + (request.input ? "in " : "out ") + std::to_string(index));
  if (request.input)
    stream = std::make_unique<TStream>();
  else
    stream = std::make_unique<TOutStream>();
  return TWaveResult::NoError;
}

void TALVirtualWaveService::OnQueued(TStream& stream, TWaveHeader&) {
  Log("queue " + std::to_string(stream.handle));
}

void TALVirtualWaveService::OnStart(TStream& stream) {
  Log("start " + std::to_string(stream.handle));
}

void TALVirtualWaveService::OnPause(TStream& stream) {
  Log("pause " + std::to_string(stream.handle));
}

void TALVirtualWaveService::OnRestart(TStream& stream) {
  Log("restart " + std::to_string(stream.handle));
}

void TALVirtualWaveService::OnReset(TStream& stream) {
  Log("reset " + std::to_string(stream.handle));
  if (!stream.input) {
    auto& out = static_cast<TOutStream&>(stream);
    out.position = 0;
    out.headPlayed = 0;
    out.skipFrames = 0;
    out.dry = false;
    out.counted = {};
  }
}

void TALVirtualWaveService::OnClose(TStream& stream) {
  if (stream.handle != kNoWaveHandle) Log("close " + std::to_string(stream.handle));
}

}  // namespace tardivox
