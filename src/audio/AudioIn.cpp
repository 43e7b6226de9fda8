#include "audio/AudioIn.h"

#include <algorithm>
#include <cmath>

#include "pins/NotifyOperations.h"

namespace tardivox {

namespace {

// Open flags: callback function, synchronous drivers allowed, and "mapped" for an index.
uint32_t OpenFlags(uint32_t deviceId) {
  return kCallbackFunction | kWaveAllowSync | (deviceId == kWaveMapper ? 0u : kWaveMapped);
}

}  // namespace

struct TALAudioIn::TRecord final : TALWaveBufferBase {
  TRecord() : TALWaveBufferBase(kNoWaveHandle) {}

  // Makes a used record ready for another buffer of `device`.
  void Reuse(TWaveHandle newDevice) {
    device = newDevice;
    header.data = nullptr;
    header.bufferLength = 0;
    header.bytesRecorded = 0;
    header.flags.store(0);
    header.loops = 0;
    header.next = nullptr;
    header.reserved = 0;
  }

  TRef<IALAudioBuffer> buffer;
};

TALAudioIn::TALAudioIn(TComponent* owner)
    : TComponent(owner),
      service_(CurrentWaveService()),
      params_(new TALAudioParams),
      lockObject_(std::make_unique<TOWObject>()) {
  waveThread_ = std::make_unique<TALWaveThread>(
      [this](uint32_t message, TWaveHandle device, uintptr_t parameter) {
        OnWaveMessage(message, device, parameter);
      });
  // No change callback: the format is read again at the next start.
  audioFormat_ = std::make_unique<TALAudioFormat>(lockObject_.get(), nullptr);
  device_ = std::make_unique<TALAudioCaptureDevice>(service_);
  outputPin_ = std::make_unique<TALOWAudioSourcePin>(
      this, [this](TOWPin& pin, const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags) {
        return ReceiveFromOutput(pin, type, op, flags);
      });
  lockObject_->AddDependency(outputPin_.get());
  enablePin_ =
      std::make_unique<TOWBoolStatePin>(this, [this](TOWPin&, bool value) { SetEnabled(value); });

  PublishValue(
      "Enabled", [this] { return TPropertyValue(Enabled()); },
      [this](const TPropertyValue& v) { SetEnabled(AsBool(v)); }, true);
  PublishValue(
      "PumpPriority", [this] { return TPropertyValue(static_cast<int64_t>(PumpPriority())); },
      [this](const TPropertyValue& v) { SetPumpPriority(static_cast<int32_t>(AsInteger(v))); },
      int64_t{0});
  PublishObject("Device", device_.get());
  PublishObject("AudioFormat", audioFormat_.get());
  PublishObject("OutputPin", outputPin_.get());
  PublishObject("EnablePin", enablePin_.get());
}

TALAudioIn::~TALAudioIn() {
  Destroying();
  {
    TOWWriteLockSection section(*lockObject_);
    Stop(false);
  }
  // Outside every section: the thread may be waiting for this component's group lock.
  waveThread_->Stop();
  outputPin_.reset();
  enablePin_.reset();
  device_.reset();
  audioFormat_.reset();
  waveThread_.reset();
  lockObject_.reset();
}

void TALAudioIn::SetEnabled(bool value) {
  {
    TOWWriteLockSection section(*lockObject_);
    if (value == Enabled()) return;
    if (value && !IsLoading()) Start();
    if (!value) Stop(false);
    enabled_.store(value, std::memory_order_release);
  }
  enablePin_->SetValue(value);
}

void TALAudioIn::Loaded() {
  TComponent::Loaded();
  TOWWriteLockSection section(*lockObject_);
  if (Enabled()) Start();
}

TWaveHandle TALAudioIn::DeviceHandle() const {
  TALAudioParamsLock lock(*params_);
  return handle_;
}

size_t TALAudioIn::QueuedBuffers() {
  TALAudioParamsLock lock(*params_);
  return params_->Buffers().Count();
}

void TALAudioIn::Start() {
  TRef<TOWPumpRequestOperation> request(new TOWPumpRequestOperation(
      this, 1.0f, PumpPriority(), TOWPumpRequestOperation::kStreamPump));
  outputPin_->Notify(*request);
  const bool pumped = request->Pump() == this;
  {
    TALAudioParamsLock lock(*params_);
    params_->SetPumped(pumped);
  }
  if (!pumped) {
    // Another component drives the stream: the device runs, but no buffer is queued.
    StartStream();
    return;
  }
  streamRate_.store(request->Rate(), std::memory_order_release);
  resumeSent_ = false;
  StartStream();
  const size_t count = QueuedBufferCount(streamFormat_.samplesPerSec, streamFrames_);
  spare_.reserve(count + 1);
  for (size_t i = 0; i < count; ++i) QueueBuffer();
}

size_t TALAudioIn::QueuedBufferCount(uint32_t sampleRate, uint32_t frames) {
  const double perSecond = double(sampleRate) / std::max<uint32_t>(1, frames);
  return std::max(kMinQueuedBuffers, static_cast<size_t>(std::ceil(kQueuedSeconds * perSecond)));
}

void TALAudioIn::StartStream() {
  const WaveFormat format = audioFormat_->Format();
  TRef<TOWStartWaveOperation> start(
      new TOWStartWaveOperation(format, static_cast<float>(StreamRate())));
  outputPin_->Notify(*start);
  OpenDevice(format, true);
  if (const TWaveHandle handle = DeviceHandle(); handle != kNoWaveHandle)
    service_.waveInStart(handle);
}

void TALAudioIn::OpenDevice(const WaveFormat& format, bool stopFirst) {
  if (stopFirst && params_->GetActive()) Stop(true);
  const uint32_t frames = audioFormat_->BufferSize();
  const uint32_t deviceId = device_->ResolveDevice();
  TWaveHandle handle = kNoWaveHandle;
  service_.waveInOpen(&handle, deviceId, format, &TALWaveThread::DeviceCallback,
                      reinterpret_cast<uintptr_t>(waveThread_.get()), OpenFlags(deviceId));
  TALAudioParamsLock lock(*params_);
  params_->SetActive(true);
  handle_ = handle;
  streamFormat_ = format;
  streamFrames_ = frames;
}

void TALAudioIn::QueueBuffer() {
  TRecord* record = nullptr;
  TWaveHandle handle;
  {
    TALAudioParamsLock lock(*params_);
    if (!params_->GetActive()) return;
    handle = handle_;
    std::unique_ptr<TRecord> owned;
    if (!spare_.empty()) {
      owned = std::move(spare_.back());
      spare_.pop_back();
    } else {
      owned = std::make_unique<TRecord>();
    }
    owned->Reuse(handle);
    const uint32_t bits = streamFormat_.validBitsPerSample ? streamFormat_.validBitsPerSample
                                                           : streamFormat_.bitsPerSample;
    owned->buffer = new TALAudioBuffer(streamFormat_.samplesPerSec, bits, streamFormat_.channels,
                                       streamFrames_, streamFormat_.channelMask);
    owned->SetData(owned->buffer->WriteData(), owned->buffer->ByteSize());
    record = owned.get();
    params_->Buffers().Add(std::move(owned));
  }
  // The record stays valid: only Stop frees records at the device, and it runs under the same
  // group lock as every caller of this function.
  service_.waveInPrepareHeader(handle, &record->header);
  service_.waveInAddBuffer(handle, &record->header);
}

void TALAudioIn::OnWaveMessage(uint32_t message, TWaveHandle device, uintptr_t parameter) {
  if (message != kWimData) return;
  TOWWriteLockSection section(*lockObject_);
  BufferFilled(device, reinterpret_cast<TWaveHeader*>(parameter));
}

void TALAudioIn::BufferFilled(TWaveHandle device, TWaveHeader* header) {
  std::unique_ptr<TRecord> record;
  {
    TALAudioParamsLock lock(*params_);
    if (!params_->GetActive()) return;
    // The event may be stale (its device was reset and closed, the records freed): the header
    // is only trusted when a record of this device at that address is still at the device.
    const TALWaveBufferBase* found = nullptr;
    for (const auto& r : params_->Buffers())
      if (r->device == device && &r->header == header) found = r.get();
    if (!found) return;
    record.reset(static_cast<TRecord*>(params_->Buffers().Remove(found).release()));
  }
  // Outside the state lock: the graph takes group locks, which come before it.
  outputPin_->SendBuffer(record->buffer);
  if (!resumeSent_) {
    resumeSent_ = true;
    TRef<TOWSLResumeOperation> resume(new TOWSLResumeOperation);
    outputPin_->Notify(*resume);
  }
  service_.waveInUnprepareHeader(record->device, &record->header);
  record->buffer = nullptr;
  bool requeue;
  {
    TALAudioParamsLock lock(*params_);
    requeue = params_->GetActive() && params_->GetPumped() && handle_ == device;
    spare_.push_back(std::move(record));
  }
  if (requeue) QueueBuffer();
}

void TALAudioIn::Stop(bool force) {
  if (!force && !Enabled()) return;
  TWaveHandle handle;
  {
    TALAudioParamsLock lock(*params_);
    if (!params_->GetActive()) return;
    params_->SetActive(false);
    handle = handle_;
  }
  // The reset hands every queued buffer back through the wave thread, which finds Active False
  // (or records gone) and ignores them.
  if (handle != kNoWaveHandle) service_.waveInReset(handle);
  TALWaveBufferList::TRecords records;
  {
    TALAudioParamsLock lock(*params_);
    records = params_->Buffers().TakeAll();
    handle_ = kNoWaveHandle;
  }
  for (auto& r : records) {
    if (handle != kNoWaveHandle) service_.waveInUnprepareHeader(handle, &r->header);
    auto* record = static_cast<TRecord*>(r.release());
    record->buffer = nullptr;
    TALAudioParamsLock lock(*params_);
    spare_.emplace_back(record);
  }
  if (handle != kNoWaveHandle) service_.waveInClose(handle);
  outputPin_->SendEndStop();
}

bool TALAudioIn::ReceiveFromOutput(TOWPin&, const Guid&, IOWNotifyOperation& op, TOWStateFlags) {
  if (auto* start = OperationAs<TOWStartWaveOperation>(op)) {
    OpenDevice(start->Format(), true);
    return outputPin_->Notify(op);
  }
  if (OperationIs<TOWStopOperation>(op)) {
    Stop(false);
    return outputPin_->Notify(op);
  }
  if (OperationIs<TOWMasterPumpOperation>(op)) return false;
  return outputPin_->Notify(op);
}

}  // namespace tardivox
