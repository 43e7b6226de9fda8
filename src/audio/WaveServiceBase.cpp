#include "audio/WaveServiceBase.h"

#include <cstdio>
#include <cstring>

namespace tardivox {

class TALWaveServiceBase::TStateLock {
 public:
  explicit TStateLock(TALWaveServiceBase& service) : service_(service) { service_.LockState(); }
  TStateLock(const TStateLock&) = delete;
  TStateLock& operator=(const TStateLock&) = delete;
  ~TStateLock() {
    if (locked_) service_.UnlockState();
  }
  void Unlock() {
    service_.UnlockState();
    locked_ = false;
  }

 private:
  TALWaveServiceBase& service_;
  bool locked_ = true;
};

std::string TALWaveServiceBase::CheckFormat(const WaveFormat& f) {
  const auto text = [](const char* what, uint32_t value) {
    return std::string(what) + " " + std::to_string(value);
  };
  if (f.formatTag == kWaveFormatExtensible) {
    if (f.extraSize < kWaveFormatExtraSize)
      return text("extensible format with extra size", f.extraSize);
    if (std::memcmp(f.subFormat, kPcmSubFormat, sizeof kPcmSubFormat) != 0)
      return "sub-format is not PCM";
  } else if (f.formatTag != 1) {
    return text("unsupported format tag", f.formatTag);
  }
  if (f.channels < 1 || f.channels > 32) return text("unsupported channel count", f.channels);
  if (f.bitsPerSample != 8 && f.bitsPerSample != 16 && f.bitsPerSample != 24 &&
      f.bitsPerSample != 32)
    return text("unsupported bits per sample", f.bitsPerSample);
  if (f.formatTag == kWaveFormatExtensible && f.validBitsPerSample > f.bitsPerSample)
    return text("valid bits exceed the container:", f.validBitsPerSample);
  if (f.blockAlign != f.channels * (f.bitsPerSample / 8))
    return text("block align does not match channels and bits:", f.blockAlign);
  if (f.samplesPerSec < 1 || f.samplesPerSec > 384000)
    return text("unsupported sample rate", f.samplesPerSec);
  return {};
}

uint32_t TALWaveServiceBase::UsableBytes(const TStream& stream, const TWaveHeader& header) {
  return header.bufferLength - header.bufferLength % stream.format.blockAlign;
}

TALWaveServiceBase::TStream* TALWaveServiceBase::FindStream(TWaveHandle handle) {
  auto it = streams_.find(handle);
  return it == streams_.end() ? nullptr : it->second.get();
}

TALWaveServiceBase::TStream* TALWaveServiceBase::Find(bool input, TWaveHandle handle) {
  TStream* stream = FindStream(handle);
  return stream && stream->input == input ? stream : nullptr;
}

void TALWaveServiceBase::CompleteFront(TStream& stream) {
  TWaveHeader* header = stream.queue.front();
  stream.queue.pop_front();
  uint32_t flags = header->flags.load();
  header->flags.store((flags & ~kWhdrInQueue) | kWhdrDone);
  dispatcher_.Post(stream.callback, stream.handle, stream.input ? kWimData : kWomDone,
                   stream.instance, reinterpret_cast<uintptr_t>(header), 0);
}

void TALWaveServiceBase::ReturnAll(TStream& stream) {
  OnReset(stream);
  while (!stream.queue.empty()) CompleteFront(stream);
}

void TALWaveServiceBase::DropAllStreams() {
  for (auto& [handle, stream] : streams_) {
    stream->queue.clear();
    OnClose(*stream);
  }
  streams_.clear();
}

TWaveResult TALWaveServiceBase::Open(bool input, TWaveHandle* handle, uint32_t deviceId,
                                     const WaveFormat& format, TWaveCallback callback,
                                     uintptr_t instance, uint32_t flags) {
  const bool queryOnly = (flags & kWaveFormatQuery) != 0;
  if (handle) *handle = kNoWaveHandle;
  if (!handle && !queryOnly) return TWaveResult::InvalidParam;

  TStateLock lock(*this);
  std::string label = DescribeDevice(input, deviceId);
  std::string why = CheckFormat(format);
  TWaveResult result = TWaveResult::BadFormat;
  std::unique_ptr<TStream> stream;
  // Handles are never reused soon, so a late event of a closed stream cannot reach a new one.
  const TWaveHandle newHandle = nextHandle_;
  nextHandle_ = nextHandle_ == UINT32_MAX ? 1 : nextHandle_ + 1;
  if (why.empty())
    result = OpenDevice({input, deviceId, format, flags, instance, newHandle}, stream, why);
  if (result != TWaveResult::NoError) {
    lock.Unlock();
    // The components do not look at this result: this line is the only trace of the failure.
    std::fprintf(stderr, "tardivox: cannot open %s: %s\n", label.c_str(), why.c_str());
    return result;
  }
  if (queryOnly) {
    OnClose(*stream);
    return TWaveResult::NoError;
  }
  stream->handle = newHandle;
  stream->input = input;
  stream->label = std::move(label);
  stream->format = format;
  stream->callback = callback;
  stream->instance = instance;
  dispatcher_.Post(callback, newHandle, input ? kWimOpen : kWomOpen, instance, 0, 0);
  streams_[newHandle] = std::move(stream);
  *handle = newHandle;
  return TWaveResult::NoError;
}

TWaveResult TALWaveServiceBase::Prepare(bool input, TWaveHandle handle, TWaveHeader* header) {
  if (!header || (!header->data && header->bufferLength > 0)) return TWaveResult::InvalidParam;
  TStateLock lock(*this);
  if (!Find(input, handle)) return TWaveResult::InvalidHandle;
  if (header->flags.load() & kWhdrInQueue) return TWaveResult::StillPlaying;
  header->flags.fetch_or(kWhdrPrepared);
  return TWaveResult::NoError;
}

TWaveResult TALWaveServiceBase::Unprepare(bool input, TWaveHandle handle, TWaveHeader* header) {
  if (!header) return TWaveResult::InvalidParam;
  TStateLock lock(*this);
  if (!Find(input, handle)) return TWaveResult::InvalidHandle;
  if (header->flags.load() & kWhdrInQueue) return TWaveResult::StillPlaying;
  header->flags.fetch_and(~kWhdrPrepared);
  return TWaveResult::NoError;
}

TWaveResult TALWaveServiceBase::Queue(bool input, TWaveHandle handle, TWaveHeader* header) {
  if (!header) return TWaveResult::InvalidParam;
  TStateLock lock(*this);
  TStream* stream = Find(input, handle);
  if (!stream) return TWaveResult::InvalidHandle;
  const uint32_t flags = header->flags.load();
  if (!(flags & kWhdrPrepared)) return TWaveResult::Unprepared;
  if (flags & kWhdrInQueue) return TWaveResult::StillPlaying;
  // A recording buffer that cannot hold one frame would come back at once, over and over.
  if (input && UsableBytes(*stream, *header) == 0) return TWaveResult::InvalidParam;
  header->bytesRecorded = 0;
  header->flags.store((flags & ~kWhdrDone) | kWhdrInQueue);
  stream->queue.push_back(header);
  OnQueued(*stream, *header);
  return TWaveResult::NoError;
}

TWaveResult TALWaveServiceBase::Reset(bool input, TWaveHandle handle) {
  TStateLock lock(*this);
  TStream* stream = Find(input, handle);
  if (!stream) return TWaveResult::InvalidHandle;
  ReturnAll(*stream);
  if (input) stream->started = false;
  const uint64_t last = dispatcher_.LastPosted();
  lock.Unlock();
  dispatcher_.WaitDelivered(last);
  return TWaveResult::NoError;
}

TWaveResult TALWaveServiceBase::Close(bool input, TWaveHandle handle) {
  TStateLock lock(*this);
  TStream* stream = Find(input, handle);
  if (!stream) return TWaveResult::InvalidHandle;
  // Closing with buffers still queued would leave their owner waiting forever: return them.
  if (!stream->queue.empty()) ReturnAll(*stream);
  OnClose(*stream);
  dispatcher_.Post(stream->callback, handle, input ? kWimClose : kWomClose, stream->instance, 0, 0);
  streams_.erase(handle);
  const uint64_t last = dispatcher_.LastPosted();
  lock.Unlock();
  dispatcher_.WaitDelivered(last);
  return TWaveResult::NoError;
}

TWaveResult TALWaveServiceBase::waveInOpen(TWaveHandle* handle, uint32_t deviceId,
                                           const WaveFormat& format, TWaveCallback callback,
                                           uintptr_t instance, uint32_t flags) {
  return Open(true, handle, deviceId, format, callback, instance, flags);
}

TWaveResult TALWaveServiceBase::waveInPrepareHeader(TWaveHandle handle, TWaveHeader* header) {
  return Prepare(true, handle, header);
}

TWaveResult TALWaveServiceBase::waveInAddBuffer(TWaveHandle handle, TWaveHeader* header) {
  return Queue(true, handle, header);
}

TWaveResult TALWaveServiceBase::waveInStart(TWaveHandle handle) {
  TStateLock lock(*this);
  TStream* stream = Find(true, handle);
  if (!stream) return TWaveResult::InvalidHandle;
  if (!stream->started) {
    stream->started = true;
    OnStart(*stream);
  }
  return TWaveResult::NoError;
}

TWaveResult TALWaveServiceBase::waveInReset(TWaveHandle handle) {
  return Reset(true, handle);
}

TWaveResult TALWaveServiceBase::waveInUnprepareHeader(TWaveHandle handle, TWaveHeader* header) {
  return Unprepare(true, handle, header);
}

TWaveResult TALWaveServiceBase::waveInClose(TWaveHandle handle) {
  return Close(true, handle);
}

TWaveResult TALWaveServiceBase::waveOutOpen(TWaveHandle* handle, uint32_t deviceId,
                                            const WaveFormat& format, TWaveCallback callback,
                                            uintptr_t instance, uint32_t flags) {
  return Open(false, handle, deviceId, format, callback, instance, flags);
}

TWaveResult TALWaveServiceBase::waveOutPrepareHeader(TWaveHandle handle, TWaveHeader* header) {
  return Prepare(false, handle, header);
}

TWaveResult TALWaveServiceBase::waveOutWrite(TWaveHandle handle, TWaveHeader* header) {
  return Queue(false, handle, header);
}

TWaveResult TALWaveServiceBase::waveOutPause(TWaveHandle handle) {
  TStateLock lock(*this);
  TStream* stream = Find(false, handle);
  if (!stream) return TWaveResult::InvalidHandle;
  if (!stream->paused) {
    stream->paused = true;
    OnPause(*stream);
  }
  // A completion queued just before the pause must not reach the caller after it returns.
  const uint64_t last = dispatcher_.LastPosted();
  lock.Unlock();
  dispatcher_.WaitDelivered(last);
  return TWaveResult::NoError;
}

TWaveResult TALWaveServiceBase::waveOutRestart(TWaveHandle handle) {
  TStateLock lock(*this);
  TStream* stream = Find(false, handle);
  if (!stream) return TWaveResult::InvalidHandle;
  if (stream->paused) {
    stream->paused = false;
    OnRestart(*stream);
  }
  return TWaveResult::NoError;
}

TWaveResult TALWaveServiceBase::waveOutReset(TWaveHandle handle) {
  return Reset(false, handle);
}

TWaveResult TALWaveServiceBase::waveOutGetPosition(TWaveHandle handle, TWavePosition& position) {
  TStateLock lock(*this);
  TStream* stream = Find(false, handle);
  if (!stream) return TWaveResult::InvalidHandle;
  return Position(*stream, position) ? TWaveResult::NoError : TWaveResult::Error;
}

TWaveResult TALWaveServiceBase::waveOutUnprepareHeader(TWaveHandle handle, TWaveHeader* header) {
  return Unprepare(false, handle, header);
}

TWaveResult TALWaveServiceBase::waveOutClose(TWaveHandle handle) {
  return Close(false, handle);
}

}  // namespace tardivox
