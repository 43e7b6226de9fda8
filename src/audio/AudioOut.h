#pragma once
// The audio playback component: plays the audio buffers that reach InputPin on an output
// device of the wave service.
//
// Every operation that arrives is appended to an operation list and handled in order by
// ProcessNext (on arrival, after each finished buffer and after a close, for as long as the
// device has room): a start-wave opens the device paused with the stream's format; arriving
// buffers are held until the stream flows (the resume) and they cover the cushion (one buffer
// plus 20 ms, see TALPlaybackCushion), then handed over less the surplus of whole buffers and
// the device is started; after that every buffer goes to the device on arrival. (As the pump,
// buffers go to the paused device and the resume starts it, as the pump protocol expects.)
// The waiting list thus stays empty while playing. A plain stop lets the queued
// buffers play out and then closes the device, an end-stop closes it at once. The closes run
// on the component's notify thread. A disabled playback keeps its device and drops buffers.
// As master pump (PumpPriority above the requester's, trial open successful) it asks its
// source for buffers with master-pump requests; in a chain led by a capture of equal priority
// it never takes the pump.
//
// The delay stays put while playing: the cushion keeps what waits at the device at its level
// measured in time (dropping what missed its time after a stall or burst, single frames to
// follow a clock difference), and its counters say what it did. They are printed to stderr
// at most once per second while they change.
//
// Guarantees beyond the plain sequence:
// - A close (notify thread) and an open (delivering thread) never overlap: both run under the
//   input pin's write section, and a close requested for a device that has since been replaced
//   is dropped, so it never closes the newer device.
// - A start-wave that arrives while a stream is open and no stop came first ends that stream
//   (its queued buffers are dropped) and opens the new one at once; it never waits.
// - A pump request is answered while its notification runs, whatever waits in the list, so the
//   requester reads the answer when Notify returns.
// - A plain stop with no buffer at the device closes the device at once.
// - A buffer handed to the device is on a block of its own (made unique first): nobody else
//   writes the memory the device reads.
// - Device events that belong to a closed device are recognised and ignored (a header is only
//   trusted while its record is at the current device).
//
// Threads: ReceiveFromInput runs on the delivering thread (the capture's wave thread), buffer
// completions on the wave thread of the open device, closes on the notify thread; properties
// are set on the window's thread. Locks (ranks in docs/ARCHITECTURE.md):
// ProcessNext and the close hold the input pin's write section; the device state lock
// (TALAudioParams) guards Active, Pumped, the buffer list and the device handle and is never
// held while calling into the graph or waiting for the wave service. Wave threads of closed
// devices are stopped and joined on the notify thread (or at destruction) with no lock held.
// Ownership: the component owns its pins, operation list, device selection, notify thread,
// wave threads and the records of the buffers at the device. The wave service in use when the
// component is created must outlive it.
// Failure: device call results are not examined, except the trial open of a pump claim; a
// device that cannot be opened leaves the component Active with nothing audible.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/AudioDevice.h"
#include "audio/AudioParams.h"
#include "audio/PlaybackCushion.h"
#include "audio/WaveThread.h"
#include "buffers/AudioBuffer.h"
#include "model/Component.h"
#include "pins/AudioPins.h"
#include "pins/BoolPins.h"
#include "pins/NotifyThread.h"
#include "pins/OperationList.h"

namespace tardivox {

// The output device selection of a playback component.
class TALAudioOutDevice final : public TALAudioDevice {
 public:
  explicit TALAudioOutDevice(IALWaveService& service) : TALAudioDevice(false, service) {}
  const char* ClassName() const override { return "TALAudioOutDevice"; }
};

class TALAudioOut : public TComponent {
 public:
  explicit TALAudioOut(TComponent* owner);
  // Disconnects the input, drops waiting operations, stops the notify thread, closes the
  // device (clearing Pumped) and joins every wave thread, then frees the rest.
  ~TALAudioOut() override;

  bool Enabled() const { return enabled_.load(std::memory_order_acquire); }
  // Only stores the value (and gives it to EnablePin): the device stays as it is.
  void SetEnabled(bool value);
  int32_t PumpPriority() const { return pumpPriority_.load(std::memory_order_acquire); }
  void SetPumpPriority(int32_t value) { pumpPriority_.store(value, std::memory_order_release); }
  bool PreFillEnabled() const { return preFill_.load(std::memory_order_acquire); }
  void SetPreFillEnabled(bool value) { preFill_.store(value, std::memory_order_release); }
  bool EnableMasterPumping() const { return masterPumping_.load(std::memory_order_acquire); }
  void SetEnableMasterPumping(bool value) {
    masterPumping_.store(value, std::memory_order_release);
  }

  TALAudioOutDevice& Device() { return *device_; }
  TALOWAudioSinkPin& InputPin() { return *inputPin_; }
  TOWBoolStatePin& EnablePin() { return *enablePin_; }
  IALAudioParams& Params() { return *params_; }

  // Takes the operation at the head of the list, if any, and handles it under the input pin's
  // write section. Master-pump requests it causes are sent after the section is left.
  void ProcessNext();

  // Observers: the open device (kNoWaveHandle when none), whether it is open, buffers at the
  // device, operations waiting in the list, and how often the device ran out of buffers while
  // playing (the last buffer finished with none behind it, no stop pending).
  TWaveHandle DeviceHandle() const;
  bool Active() const { return params_->GetActive(); }
  size_t DeviceBuffers();
  size_t WaitingOperations() { return operations_->Count(); }
  uint64_t Underflows() const { return underflows_.load(std::memory_order_acquire); }
  // The cushion's counters: underruns, frames dropped, drift corrections, and the level at the
  // device (written − played, in frames) at the last arrival. Any thread.
  const TALPlaybackCushion::TCounters& Counters() const { return cushion_.Counters(); }

 protected:
  bool ReceiveFromInput(TOWPin& pin, const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags);
  void OnWaveMessage(uint32_t message, TWaveHandle device, uintptr_t parameter);

 private:
  struct TRecord;

  // Handles one operation; caller holds the input pin's write section.
  void Handle(IOWNotifyOperation& op);
  void HandlePumpRequest(TOWPumpRequestOperation& request);
  void OpenDevice(const WaveFormat& format);
  // Closes the device; the caller holds the input pin's write section.
  void CloseDevice(bool clearPumped);
  // Asks the notify thread to close the device of `generation`.
  void RequestClose(uint64_t generation);
  void OnNotify();
  void WriteBuffer(ISLDataBuffer* buffer);
  void BufferDone(TWaveHandle device, TWaveHeader* header);
  // Keeps a record that came back for reuse, so that steady playing does not allocate.
  void Recycle(std::unique_ptr<TALWaveBufferBase> record);
  // Stops and frees the wave threads of closed devices. No lock may be held.
  void ReapWaveThreads();
  // Whether the head of the list may be handled now: always before the resume, afterwards
  // while the device holds at most one buffer.
  bool MayProcess();
  // ProcessNext while operations wait and MayProcess holds.
  void ProcessWhileRoom();
  void SendMasterPumpRequests(int count);
  // The cushion's decision for an arriving buffer applied: the buffer to write (null: none).
  TRef<IALAudioBuffer> Align(TRef<IALAudioBuffer> audio, TWaveHandle handle);
  void WriteToDevice(TRef<IALAudioBuffer> audio);
  // Once the stream flows and what is held covers the cushion (or `now`), hands the held
  // buffers to the device, less the surplus of whole buffers, and starts it.
  void StartWhenCovered(TWaveHandle handle, bool now);
  void ReportCounters();

  IALWaveService& service_;
  std::unique_ptr<TSLNotifyThread> notifyThread_;
  TRef<IALAudioParams> params_;
  std::unique_ptr<TALAudioOutDevice> device_;
  std::unique_ptr<TALOWAudioSinkPin> inputPin_;
  std::unique_ptr<TOWBoolStatePin> enablePin_;
  std::unique_ptr<TSLOperationList> operations_;

  std::atomic<bool> enabled_{true};
  std::atomic<bool> preFill_{true};
  std::atomic<bool> masterPumping_{true};
  std::atomic<int32_t> pumpPriority_{0};
  std::atomic<bool> destroying_{false};

  // Changed under the input pin's group lock (ProcessNext, closes); also read by the wave
  // thread and the notify thread, hence atomic.
  std::atomic<bool> stopping_{false};
  std::atomic<bool> resumed_{false};
  int pendingPumpRequests_ = 0;  // group lock: raised while handling, sent after the section
  std::atomic<bool> paused_{false};
  std::atomic<int> heldBack_{0};
  std::atomic<uint64_t> underflows_{0};
  // Group lock: the cushion, frames written since the open, whether the device was started.
  TALPlaybackCushion cushion_;
  uint64_t writtenFrames_ = 0;
  bool started_ = false;
  std::vector<TRef<IALAudioBuffer>> held_;  // arrived before the start
  uint64_t heldFrames_ = 0;
  bool cushionSized_ = false;
  int64_t reportedAt_ = 0;  // steady-clock ticks of the last counter line
  uint64_t reported_[4] = {0, 0, 0, 0};

  // Guarded by the device state lock.
  TWaveHandle handle_ = kNoWaveHandle;
  std::unique_ptr<TALWaveThread> waveThread_;
  static constexpr size_t kSpareRecords = 16;
  std::vector<std::unique_ptr<TALWaveBufferBase>> spare_;  // records kept for reuse
  uint64_t generation_ = 0;  // counts opens; a close request names the device it is for
  std::atomic<uint64_t> closeRequested_{0};  // generation to close (0: none)

  std::mutex retiredGuard_;  // guards retired_; rank: leaf
  std::vector<std::unique_ptr<TALWaveThread>> retired_;
};

}  // namespace tardivox
