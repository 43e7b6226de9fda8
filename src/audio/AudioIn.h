#pragma once
// The audio capture component: records from an input device of the wave service and sends one
// new audio buffer of AudioFormat.BufferSize frames down OutputPin per filled device buffer.
//
// A stream: enabling sends a pump request, then a start-wave carrying a copy of AudioFormat's
// wave format; the device is opened and started and, while this component is the pump, 40
// buffers are kept queued at it. The first delivered buffer of a stream is followed by exactly
// one resume operation. Disabling resets and closes the device and sends exactly one end-stop.
// A format change (AudioFormat) takes effect at the next start: the running stream keeps the
// format and buffer size it started with. Every delivered buffer is a new buffer; consumers may
// keep it, and the device never writes into memory that has been handed downstream.
// A component created in code is Enabled but idle until Loaded() (or SetEnabled(true) after
// a SetEnabled(false)); a stored Enabled False keeps it stopped after loading.
//
// Threads: properties, Loaded, start and stop run on the window's thread. Filled buffers are
// handled on the component's own wave thread (TALWaveThread), which runs the whole downstream
// graph for each buffer. Operations sent upstream by the sinks arrive on the thread of their
// sender.
// Locks (ranks in docs/ARCHITECTURE.md): each device event is handled under
// the global read section and the write section of this component's lock group (the lock
// holder, the output pin and the format), so a buffer delivery never overlaps a start, a stop
// or a property change of this component. The device state lock (TALAudioParams) is held only
// around changes of Active, Pumped and the buffer list, never while calling into the graph or
// while waiting for the wave service.
// Ownership: the component owns its pins, lock holder, format, device selection, wave thread
// and the records of the buffers at the device. The wave service in use when the component is
// created must outlive it.
// Failure: results of the device calls are not examined; a device that cannot be opened yields
// no data (the service says why on stderr). Errors raised downstream during a delivery are
// swallowed by SendBuffer.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/AudioDevice.h"
#include "audio/AudioParams.h"
#include "audio/WaveBuffer.h"
#include "audio/WaveThread.h"
#include "buffers/AudioBuffer.h"
#include "buffers/AudioFormat.h"
#include "locks/OWObject.h"
#include "model/Component.h"
#include "pins/AudioPins.h"
#include "pins/BoolPins.h"

namespace tardivox {

// The input device selection of a capture component.
class TALAudioCaptureDevice final : public TALAudioDevice {
 public:
  explicit TALAudioCaptureDevice(IALWaveService& service) : TALAudioDevice(true, service) {}
  const char* ClassName() const override { return "TALAudioCaptureDevice"; }
};

class TALAudioIn : public TComponent {
 public:
  // Buffers kept at the device while recording as the stream's pump: at least 40, and at
  // least a second of sound, so that a capture thread held up for that long (a loaded desktop)
  // loses nothing. On its return it finds a burst of buffers, which the playback catches up
  // with by skipping what missed its time: the delay is the same as before the stall.
  static constexpr size_t kMinQueuedBuffers = 40;
  static constexpr double kQueuedSeconds = 1.0;
  static size_t QueuedBufferCount(uint32_t sampleRate, uint32_t frames);

  explicit TALAudioIn(TComponent* owner);
  // Stops (sending an end-stop when running), stops the wave thread, then frees the rest.
  ~TALAudioIn() override;

  bool Enabled() const { return enabled_.load(std::memory_order_acquire); }
  // True starts (unless loading), False stops; then EnablePin takes the value.
  void SetEnabled(bool value);
  int32_t PumpPriority() const { return pumpPriority_.load(std::memory_order_acquire); }
  void SetPumpPriority(int32_t value) { pumpPriority_.store(value, std::memory_order_release); }

  TALAudioCaptureDevice& Device() { return *device_; }
  TALAudioFormat& AudioFormat() { return *audioFormat_; }
  TALOWAudioSourcePin& OutputPin() { return *outputPin_; }
  TOWBoolStatePin& EnablePin() { return *enablePin_; }
  TOWObject& LockObject() { return *lockObject_; }
  IALAudioParams& Params() { return *params_; }

  // Starts when Enabled after the stored settings were applied.
  void Loaded() override;

  // Observers: the open device (kNoWaveHandle when none), whether it is open, the stream rate
  // read back from the last pump request, and the number of buffers at the device.
  TWaveHandle DeviceHandle() const;
  bool Active() const { return params_->GetActive(); }
  double StreamRate() const { return streamRate_.load(std::memory_order_acquire); }
  size_t QueuedBuffers();

 protected:
  bool ReceiveFromOutput(TOWPin& pin, const Guid& type, IOWNotifyOperation& op,
                         TOWStateFlags flags);
  void OnWaveMessage(uint32_t message, TWaveHandle device, uintptr_t parameter);

 private:
  struct TRecord;

  void Start();
  // Closes the device when it is open and sends an end-stop. `force` skips the Enabled test
  // (a re-open by a start-wave that came from downstream, destruction).
  void Stop(bool force);
  // Sends the start-wave, opens and starts the device.
  void StartStream();
  // Opens the device with `format` (stopping first when open); recording is not started.
  void OpenDevice(const WaveFormat& format, bool stopFirst);
  void QueueBuffer();
  void BufferFilled(TWaveHandle device, TWaveHeader* header);

  IALWaveService& service_;
  TRef<IALAudioParams> params_;
  std::unique_ptr<TOWObject> lockObject_;
  std::unique_ptr<TALWaveThread> waveThread_;
  std::unique_ptr<TALAudioFormat> audioFormat_;
  std::unique_ptr<TALAudioCaptureDevice> device_;
  std::unique_ptr<TALOWAudioSourcePin> outputPin_;
  std::unique_ptr<TOWBoolStatePin> enablePin_;

  std::atomic<bool> enabled_{true};
  std::atomic<int32_t> pumpPriority_{0};
  std::atomic<double> streamRate_{0.0};
  // Guarded by the group lock (write section of lockObject_).
  bool resumeSent_ = false;
  // Guarded by the device state lock: the open device and the shape of its buffers.
  TWaveHandle handle_ = kNoWaveHandle;
  WaveFormat streamFormat_;
  uint32_t streamFrames_ = 0;
  // Guarded by the device state lock: records kept for reuse, so that steady recording does
  // not allocate them.
  std::vector<std::unique_ptr<TRecord>> spare_;
};

}  // namespace tardivox
