#include "audio/AudioOut.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <exception>
#include <iterator>
#include <utility>

#include "audio/WaveBuffer.h"
#include "buffers/AudioBuffer.h"
#include "locks/LockObject.h"
#include "pins/NotifyOperations.h"

namespace tardivox {

namespace {

uint32_t OpenFlags(uint32_t deviceId) {
  return kCallbackFunction | kWaveAllowSync | (deviceId == kWaveMapper ? 0u : kWaveMapped);
}

TRef<IALAudioBuffer> DropHead(IALAudioBuffer& audio, uint32_t frames);

// The format of the trial open that checks a pump claim: mono, 16 bits, 11025 Hz, front left.
WaveFormat TrialFormat() {
  return WaveFormat::Pcm(1, 16, 11025, 1);
}

}  // namespace

struct TALAudioOut::TRecord final : TALWaveBufferBase {
  TRecord() : TALWaveBufferBase(kNoWaveHandle) {}

  // Makes a used record ready for another buffer of `device`.
  void Reuse(TWaveHandle newDevice) {
    device = newDevice;
    header.bytesRecorded = 0;
    header.flags.store(0);
    header.loops = 0;
    header.next = nullptr;
    header.reserved = 0;
  }

  TRef<IALAudioBuffer> buffer;
};

TALAudioOut::TALAudioOut(TComponent* owner) : TComponent(owner), service_(CurrentWaveService()) {
  notifyThread_ = std::make_unique<TSLNotifyThread>([this](TSLNotifyThread&) { OnNotify(); });
  params_ = new TALAudioParams;
  device_ = std::make_unique<TALAudioOutDevice>(service_);
  inputPin_ = std::make_unique<TALOWAudioSinkPin>(
      this, [this](TOWPin& pin, const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags) {
        return ReceiveFromInput(pin, type, op, flags);
      });
  enablePin_ =
      std::make_unique<TOWBoolStatePin>(this, [this](TOWPin&, bool value) { SetEnabled(value); });
  operations_ = std::make_unique<TSLOperationList>(inputPin_.get());
  spare_.reserve(kSpareRecords);

  PublishValue(
      "Enabled", [this] { return TPropertyValue(Enabled()); },
      [this](const TPropertyValue& v) { SetEnabled(AsBool(v)); }, true);
  PublishValue(
      "PumpPriority", [this] { return TPropertyValue(static_cast<int64_t>(PumpPriority())); },
      [this](const TPropertyValue& v) { SetPumpPriority(static_cast<int32_t>(AsInteger(v))); },
      int64_t{0});
  PublishValue(
      "PreFillEnabled", [this] { return TPropertyValue(PreFillEnabled()); },
      [this](const TPropertyValue& v) { SetPreFillEnabled(AsBool(v)); }, true);
  PublishObject("Device", device_.get());
  PublishValue(
      "EnableMasterPumping", [this] { return TPropertyValue(EnableMasterPumping()); },
      [this](const TPropertyValue& v) { SetEnableMasterPumping(AsBool(v)); }, true);
  PublishObject("InputPin", inputPin_.get());
  PublishObject("EnablePin", enablePin_.get());
}

TALAudioOut::~TALAudioOut() {
  Destroying();
  destroying_.store(true, std::memory_order_release);
  // After this no delivery reaches the component; the stop that the source sends on the way
  // out is handled like any other.
  inputPin_->Disconnect();
  operations_->Clear();
  notifyThread_->Stop();
  {
    TOWWriteLockSection section(*inputPin_);
    CloseDevice(true);
  }
  ReapWaveThreads();
  notifyThread_.reset();
  operations_.reset();
  inputPin_.reset();
  enablePin_.reset();
  device_.reset();
}

void TALAudioOut::SetEnabled(bool value) {
  {
    TOWWriteLockSection section(*inputPin_);
    enabled_.store(value, std::memory_order_release);
  }
  enablePin_->SetValue(value);
}

TWaveHandle TALAudioOut::DeviceHandle() const {
  TALAudioParamsLock lock(*params_);
  return handle_;
}

size_t TALAudioOut::DeviceBuffers() {
  TALAudioParamsLock lock(*params_);
  return params_->Buffers().Count();
}

bool TALAudioOut::MayProcess() {
  // Buffers go to the device as they arrive: the cushion, not the number of buffers, decides
  // how much waits there. A pump hands them over as the device asks for them.
  return !resumed_.load() || !params_->GetPumped() || DeviceBuffers() <= 1;
}

bool TALAudioOut::ReceiveFromInput(TOWPin&, const Guid&, IOWNotifyOperation& op, TOWStateFlags) {
  if (auto* request = OperationAs<TOWPumpRequestOperation>(op)) {
    // The requester reads the answer when its notification returns: answer now, not when the
    // request would reach the head of the list.
    if (EnableMasterPumping()) HandlePumpRequest(*request);
    return false;
  }
  operations_->Append(TRef<IOWNotifyOperation>(&op));
  ProcessWhileRoom();
  return false;
}

void TALAudioOut::ProcessWhileRoom() {
  // Before the stream is resumed everything is handled on arrival; afterwards only while the
  // device holds at most one buffer. Looping (rather than handling one or two operations per
  // event) means operations never stay behind when the device has room, e.g. after a re-open.
  while (operations_->Count() > 0 && MayProcess()) ProcessNext();
}

void TALAudioOut::ProcessNext() {
  int requests;
  {
    TOWWriteLockSection section(*inputPin_);
    if (TRef<IOWNotifyOperation> op = operations_->PopFront()) Handle(*op);
    requests = std::exchange(pendingPumpRequests_, 0);
  }
  // Upstream requests take the source's locks first: never from under this group lock unless
  // the caller already holds them (a delivery).
  SendMasterPumpRequests(requests);
}

void TALAudioOut::SendMasterPumpRequests(int count) {
  for (int i = 0; i < count; ++i) inputPin_->RequestMasterPump(this);
}

void TALAudioOut::Handle(IOWNotifyOperation& op) {
  if (auto* start = OperationAs<TOWStartWaveOperation>(op)) {
    resumed_.store(false);
    paused_.store(false);
    OpenDevice(start->Format());
    cushionSized_ = false;
    writtenFrames_ = 0;
    started_ = false;
    held_.clear();
    heldFrames_ = 0;
    stopping_.store(false);
    return;
  }
  if (OperationIs<TOWStartPumpOperation>(op)) {
    if (params_->GetPumped() && EnableMasterPumping()) {
      if (PreFillEnabled())
        pendingPumpRequests_ += (resumed_.load() ? 0 : 1) + 3;
      else
        pendingPumpRequests_ += 1;
    }
    return;
  }
  if (OperationIs<TOWStopOperation>(op)) {
    // What waits for the cushion plays out too.
    if (!OperationIs<TOWEndStopOperation>(op) && !held_.empty())
      if (const TWaveHandle handle = DeviceHandle(); handle != kNoWaveHandle) {
        resumed_.store(true);
        StartWhenCovered(handle, true);
      }
    stopping_.store(true);
    uint64_t generation;
    bool empty;
    {
      TALAudioParamsLock lock(*params_);
      generation = generation_;
      empty = params_->Buffers().Empty();
    }
    // A plain stop lets the buffers at the device play out; with none there it has nothing to
    // wait for.
    if (OperationIs<TOWEndStopOperation>(op) || empty) RequestClose(generation);
    return;
  }
  if (OperationIs<TOWSLPauseOperation>(op)) {
    paused_.store(true);
    if (const TWaveHandle handle = DeviceHandle(); handle != kNoWaveHandle)
      service_.waveOutPause(handle);
    return;
  }
  if (OperationIs<TOWSLResumeOperation>(op)) {
    resumed_.store(true);
    const bool wasPaused = paused_.exchange(false);
    if (const TWaveHandle handle = DeviceHandle(); handle != kNoWaveHandle) {
      if (params_->GetPumped() || wasPaused || started_) {
        started_ = true;
        service_.waveOutRestart(handle);
      } else {
        StartWhenCovered(handle, false);
      }
    }
    for (int held = heldBack_.load(); held > 0; held = heldBack_.load())
      if (heldBack_.compare_exchange_weak(held, held - 1)) ++pendingPumpRequests_;
    return;
  }
  if (auto* request = OperationAs<TOWPumpRequestOperation>(op)) {
    if (EnableMasterPumping()) HandlePumpRequest(*request);
    return;
  }
  if (auto* supplied = OperationAs<TOWSuppliedBufferOperation>(op)) {
    try {
      WriteBuffer(supplied->Buffer().get());
    } catch (const std::exception&) {
      // Not an audio buffer, or no memory for a block of its own: the buffer is dropped, the
      // stream goes on.
    }
  }
}

void TALAudioOut::HandlePumpRequest(TOWPumpRequestOperation& request) {
  if (!request.CanBeTakenOverBy(PumpPriority())) return;
  const uint32_t deviceId = device_->ResolveDevice();
  TWaveHandle trial = kNoWaveHandle;
  const TWaveResult result = service_.waveOutOpen(
      &trial, deviceId, TrialFormat(), &TALWaveThread::DeviceCallback, 0, OpenFlags(deviceId));
  {
    TALAudioParamsLock lock(*params_);
    params_->SetPumped(result == TWaveResult::NoError);
  }
  if (result != TWaveResult::NoError) return;
  request.TakeOver(this, PumpPriority());
  service_.waveOutClose(trial);
}

void TALAudioOut::OpenDevice(const WaveFormat& format) {
  // A stream that is still open ends here: its buffers belong to the previous stream.
  if (params_->GetActive()) CloseDevice(false);
  const uint32_t deviceId = device_->ResolveDevice();
  auto thread = std::make_unique<TALWaveThread>(
      [this](uint32_t message, TWaveHandle device, uintptr_t parameter) {
        OnWaveMessage(message, device, parameter);
      });
  TWaveHandle handle = kNoWaveHandle;
  service_.waveOutOpen(&handle, deviceId, format, &TALWaveThread::DeviceCallback,
                       reinterpret_cast<uintptr_t>(thread.get()), OpenFlags(deviceId));
  if (handle != kNoWaveHandle) service_.waveOutPause(handle);
  TALAudioParamsLock lock(*params_);
  params_->SetActive(true);
  handle_ = handle;
  waveThread_ = std::move(thread);
  ++generation_;
}

void TALAudioOut::CloseDevice(bool clearPumped) {
  std::unique_ptr<TALWaveThread> thread;
  TWaveHandle handle;
  held_.clear();
  heldFrames_ = 0;
  {
    TALAudioParamsLock lock(*params_);
    if (!params_->GetActive()) return;
    if (waveThread_) {
      waveThread_->LockQueue();
      waveThread_->ClearQueue();
      waveThread_->UnlockQueue();
    }
    if (clearPumped) params_->SetPumped(false);
    params_->SetActive(false);
    handle = std::exchange(handle_, kNoWaveHandle);
    thread = std::move(waveThread_);
  }
  // The reset returns every buffer through the old wave thread, which finds them gone.
  if (handle != kNoWaveHandle) service_.waveOutReset(handle);
  TALWaveBufferList::TRecords records;
  {
    TALAudioParamsLock lock(*params_);
    records = params_->Buffers().TakeAll();
  }
  if (handle != kNoWaveHandle) {
    for (auto& record : records) service_.waveOutUnprepareHeader(handle, &record->header);
    service_.waveOutClose(handle);
  }
  for (auto& record : records) Recycle(std::move(record));
  if (thread) {
    // The thread may be waiting for the group lock the caller holds: it is stopped and joined
    // later, on the notify thread or at destruction, with no lock held. Until then it only
    // meets events of a device that is gone, and ignores them.
    std::lock_guard lock(retiredGuard_);
    retired_.push_back(std::move(thread));
  }
  if (!destroying_.load()) notifyThread_->Signal();
}

void TALAudioOut::RequestClose(uint64_t generation) {
  // One slot for the latest request: a late one for an older device (its last buffer came back
  // after the next stream opened) must not replace the request that closes the current one.
  uint64_t pending = closeRequested_.load();
  while (pending < generation && !closeRequested_.compare_exchange_weak(pending, generation)) {
  }
  notifyThread_->Signal();
}

void TALAudioOut::OnNotify() {
  const uint64_t generation = closeRequested_.exchange(0);
  if (generation != 0 && !destroying_.load()) {
    {
      TOWWriteLockSection section(*inputPin_);
      bool current;
      {
        TALAudioParamsLock lock(*params_);
        current = generation_ == generation;
      }
      // A device opened after the request is not the one to close.
      if (current) CloseDevice(true);
    }
    // Operations that waited for the device to go (a new stream's start) go on now.
    ProcessWhileRoom();
  }
  ReapWaveThreads();
}

void TALAudioOut::ReapWaveThreads() {
  std::vector<std::unique_ptr<TALWaveThread>> threads;
  {
    std::lock_guard lock(retiredGuard_);
    threads.swap(retired_);
  }
  threads.clear();  // stops and joins each
}

void TALAudioOut::WriteBuffer(ISLDataBuffer* buffer) {
  if (!Enabled() || buffer == nullptr) return;
  TRef<IALAudioBuffer> audio(new TALAudioBuffer(buffer));
  const TWaveHandle current = DeviceHandle();
  if (current == kNoWaveHandle) return;
  if (!cushionSized_) {
    // The stream's buffer size is known with its first buffer.
    cushion_.Reset(audio->SampleRate(), audio->Count(), service_.PlaybackMarginSeconds());
    cushionSized_ = true;
  }
  if (!started_ && !params_->GetPumped()) {
    // Held until the cushion is covered (shared, not copied: a sender that writes into its
    // buffer gets a block of its own).
    heldFrames_ += audio->Count();
    held_.push_back(std::move(audio));
    StartWhenCovered(current, false);
    return;
  }
  audio = Align(std::move(audio), current);
  if (audio) WriteToDevice(std::move(audio));
}

void TALAudioOut::WriteToDevice(TRef<IALAudioBuffer> audio) {
  // A block of its own: the device reads this memory until the buffer comes back.
  audio->MakeUnique(true);
  TWaveHeader* header;
  TWaveHandle handle;
  {
    TALAudioParamsLock lock(*params_);
    handle = handle_;
    // Without an open device the buffer could never come back: drop it.
    if (!params_->GetActive() || handle == kNoWaveHandle) return;
    std::unique_ptr<TRecord> record;
    if (!spare_.empty()) {
      record.reset(static_cast<TRecord*>(spare_.back().release()));
      spare_.pop_back();
    } else {
      record = std::make_unique<TRecord>();
    }
    record->Reuse(handle);
    record->buffer = audio;
    record->SetData(audio->ReadData(), audio->ByteSize());
    header = &record->header;
    service_.waveOutPrepareHeader(handle, header);
    params_->Buffers().Add(std::move(record));
  }
  // Closing needs the input pin's section, which the caller holds: the record stays.
  service_.waveOutWrite(handle, header);
  writtenFrames_ += audio->Count();
  ReportCounters();
}

void TALAudioOut::StartWhenCovered(TWaveHandle handle, bool now) {
  if (started_ || !resumed_.load() || paused_.load()) return;
  if (!now && (!cushionSized_ || heldFrames_ < cushion_.TargetFrames())) return;
  started_ = true;
  // Whole buffers overshoot the cushion: the oldest frames go, before anything is heard.
  uint64_t surplus = now ? 0 : heldFrames_ - cushion_.TargetFrames();
  std::vector<TRef<IALAudioBuffer>> held;
  held.swap(held_);
  heldFrames_ = 0;
  for (TRef<IALAudioBuffer>& audio : held) {
    const uint32_t frames = audio->Count();
    if (surplus >= frames) {
      surplus -= frames;
      continue;
    }
    if (surplus > 0) {
      audio = DropHead(*audio, static_cast<uint32_t>(surplus));
      surplus = 0;
    }
    WriteToDevice(std::move(audio));
  }
  service_.waveOutRestart(handle);
}

namespace {

// A sample as a signed value whatever its width.
int32_t SignedSample(IALAudioBuffer& audio, uint32_t frame, uint32_t channel) {
  const int32_t raw = audio.GetSample(frame, channel);
  switch (audio.ContainerBits()) {
    case 8:
      return raw - 128;
    case 24:
      return raw >= (1 << 23) ? raw - (1 << 24) : raw;
    default:
      return raw;
  }
}

// The frame where the signal changes least: dropping frame i joins i − 1 to i + 1, repeating it
// makes a flat step; both are least audible where the neighbours are closest.
uint32_t QuietestFrame(IALAudioBuffer& audio, uint32_t frames, bool dropping) {
  uint32_t best = 1;
  int64_t bestStep = INT64_MAX;
  const uint32_t channels = audio.Channels();
  for (uint32_t i = 1; i + 1 < frames; ++i) {
    int64_t step = 0;
    for (uint32_t c = 0; c < channels; ++c) {
      const int64_t next = SignedSample(audio, i + 1, c);
      const int64_t from = SignedSample(audio, dropping ? i - 1 : i, c);
      step += next > from ? next - from : from - next;
    }
    if (step < bestStep) {
      bestStep = step;
      best = i;
    }
  }
  return best;
}

TRef<IALAudioBuffer> SameShape(IALAudioBuffer& audio, uint32_t frames) {
  return TRef<IALAudioBuffer>(new TALAudioBuffer(audio.SampleRate(), audio.Bits(), audio.Channels(),
                                                 frames, audio.ChannelMask()));
}

TRef<IALAudioBuffer> DropHead(IALAudioBuffer& audio, uint32_t frames) {
  const uint32_t count = audio.Count();
  TRef<IALAudioBuffer> rest = SameShape(audio, count - frames);
  audio.CopyTo(frames, rest.get(), 0, count - frames);
  return rest;
}

}  // namespace

TRef<IALAudioBuffer> TALAudioOut::Align(TRef<IALAudioBuffer> audio, TWaveHandle handle) {
  const uint32_t frames = audio->Count();
  TWavePosition position;
  const bool known = started_ && !paused_.load() && !params_->GetPumped() &&
                     service_.waveOutGetPosition(handle, position) == TWaveResult::NoError;
  const int64_t waiting =
      static_cast<int64_t>(writtenFrames_) - static_cast<int64_t>(position.playedFrames);
  const TALPlaybackCushion::TDecision decision =
      cushion_.OnArrival(waiting, frames, known ? &position : nullptr);
  if (decision.silenceFrames > 0) {
    TRef<IALAudioBuffer> silence = SameShape(*audio, decision.silenceFrames);
    silence->Clear();
    WriteToDevice(std::move(silence));
  }
  if (decision.dropHeadFrames >= frames) return nullptr;
  const auto copy = [&](uint32_t count) { return SameShape(*audio, count); };
  if (decision.dropHeadFrames > 0) return DropHead(*audio, decision.dropHeadFrames);
  if (decision.correction < 0) {
    const uint32_t at = QuietestFrame(*audio, frames, true);
    TRef<IALAudioBuffer> shorter = copy(frames - 1);
    audio->CopyTo(0, shorter.get(), 0, at);
    audio->CopyTo(at + 1, shorter.get(), at, frames - at - 1);
    return shorter;
  }
  if (decision.correction > 0) {
    const uint32_t at = QuietestFrame(*audio, frames, false);
    TRef<IALAudioBuffer> longer = copy(frames + 1);
    audio->CopyTo(0, longer.get(), 0, at + 1);
    audio->CopyTo(at, longer.get(), at + 1, frames - at);
    return longer;
  }
  return audio;
}

void TALAudioOut::ReportCounters() {
  const auto& c = cushion_.Counters();
  const uint64_t now[4] = {c.underruns.load(), c.droppedFrames.load(), c.driftCorrections.load(),
                           c.stepCorrections.load()};
  if (std::equal(std::begin(now), std::end(now), std::begin(reported_))) return;
  const int64_t ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  const int64_t second =
      std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::seconds(1))
          .count();
  if (reportedAt_ != 0 && ticks - reportedAt_ < second) return;
  reportedAt_ = ticks;
  std::copy(std::begin(now), std::end(now), reported_);
  std::fprintf(stderr,
               "tardivox: playback: %llu underruns, %llu frames dropped, %llu drift corrections, "
               "%llu step corrections, %lld frames queued\n",
               static_cast<unsigned long long>(now[0]), static_cast<unsigned long long>(now[1]),
               static_cast<unsigned long long>(now[2]), static_cast<unsigned long long>(now[3]),
               static_cast<long long>(c.extraLatencyFrames.load()));
}

void TALAudioOut::Recycle(std::unique_ptr<TALWaveBufferBase> record) {
  static_cast<TRecord*>(record.get())->buffer = nullptr;
  TALAudioParamsLock lock(*params_);
  // A few spares cover the two buffers at the device and those written while paused.
  if (spare_.size() < kSpareRecords) spare_.push_back(std::move(record));
}

void TALAudioOut::OnWaveMessage(uint32_t message, TWaveHandle device, uintptr_t parameter) {
  if (message != kWomDone) return;
  TOWGlobalReadLockSection section;
  BufferDone(device, reinterpret_cast<TWaveHeader*>(parameter));
}

void TALAudioOut::BufferDone(TWaveHandle device, TWaveHeader* header) {
  std::unique_ptr<TALWaveBufferBase> record;
  bool pumped;
  bool empty;
  uint64_t generation;
  {
    TALAudioParamsLock lock(*params_);
    if (!params_->GetActive()) return;
    // Events of a closed device carry headers that are gone: trust only a record of this
    // device that is still at it.
    const TALWaveBufferBase* found = nullptr;
    for (const auto& r : params_->Buffers())
      if (r->device == device && &r->header == header) found = r.get();
    if (!found) return;
    record = params_->Buffers().Remove(found);
    pumped = params_->GetPumped();
    empty = params_->Buffers().Empty();
    generation = generation_;
  }
  if (pumped) {
    if (paused_.load()) ++heldBack_;
    inputPin_->RequestMasterPump(this);
  }
  service_.waveOutUnprepareHeader(device, &record->header);
  Recycle(std::move(record));
  if (empty) {
    if (stopping_.load())
      RequestClose(generation);
    else if (resumed_.load() && !paused_.load())
      ++underflows_;
  }
  ProcessWhileRoom();
}

}  // namespace tardivox
