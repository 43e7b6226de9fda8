#pragma once
// Helpers of the capture and playback suites: a probe sink that records what a source sends
// it, a probe source that drives a sink, and a fixture that installs an in-process wave service
// for the components it creates. Thread-safe where threads meet.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/VirtualWaveService.h"
#include "buffers/AudioBuffer.h"
#include "model/Component.h"
#include "pins/AudioPins.h"
#include "pins/NotifyOperations.h"
#include "support/WaitFor.h"

namespace tardivox::testing {

// The kind of an operation as a short word, derived kinds first.
inline std::string KindOf(IOWNotifyOperation& op) {
  if (OperationIs<TOWSuppliedBufferOperation>(op)) return "buffer";
  if (OperationIs<TOWStartWaveOperation>(op)) return "start-wave";
  if (OperationIs<TOWStartOperation>(op)) return "start";
  if (OperationIs<TOWEndStopOperation>(op)) return "end-stop";
  if (OperationIs<TOWStopOperation>(op)) return "stop";
  if (OperationIs<TOWPumpRequestOperation>(op)) return "pump-request";
  if (OperationIs<TOWMasterPumpOperation>(op)) return "master-pump";
  if (OperationIs<TOWStartPumpOperation>(op)) return "start-pump";
  if (OperationIs<TOWSLResumeOperation>(op)) return "resume";
  if (OperationIs<TOWSLPauseOperation>(op)) return "pause";
  return "other";
}

// Records every operation that reaches its audio input, in order.
class TProbeSink final : public TComponent {
 public:
  TProbeSink() : TComponent(nullptr) {
    pin_ = std::make_unique<TALOWAudioSinkPin>(
        this, [this](TOWPin&, const Guid&, IOWNotifyOperation& op, TOWStateFlags) {
          std::lock_guard lock(mutex_);
          if (onReceive) onReceive(op);
          kinds_.push_back(KindOf(op));
          ops_.emplace_back(&op);
          return false;
        });
  }
  ~TProbeSink() override { pin_.reset(); }

  TALOWAudioSinkPin& Pin() { return *pin_; }
  std::vector<std::string> Kinds() const {
    std::lock_guard lock(mutex_);
    return kinds_;
  }
  // Kinds without buffers.
  std::vector<std::string> Controls() const {
    std::vector<std::string> out;
    for (auto& k : Kinds())
      if (k != "buffer") out.push_back(k);
    return out;
  }
  size_t Count(const std::string& kind) const {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    for (auto& k : kinds_) n += k == kind;
    return n;
  }
  std::vector<TRef<IALAudioBuffer>> Buffers() const {
    std::lock_guard lock(mutex_);
    std::vector<TRef<IALAudioBuffer>> out;
    for (auto& op : ops_)
      if (auto* b = OperationAs<TOWSuppliedBufferOperation>(*op))
        out.push_back(RefCast<IALAudioBuffer>(b->Buffer()));
    return out;
  }
  std::vector<TRef<IOWNotifyOperation>> Operations() const {
    std::lock_guard lock(mutex_);
    return ops_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    kinds_.clear();
    ops_.clear();
  }
  // Called under the probe's mutex for each operation before it is recorded.
  std::function<void(IOWNotifyOperation&)> onReceive;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> kinds_;
  std::vector<TRef<IOWNotifyOperation>> ops_;
  std::unique_ptr<TALOWAudioSinkPin> pin_;
};

// An audio source a test drives; records what its sinks send upstream.
class TProbeSource final : public TComponent {
 public:
  TProbeSource() : TComponent(nullptr) {
    pin_ = std::make_unique<TALOWAudioSourcePin>(
        this, [this](TOWPin&, const Guid&, IOWNotifyOperation& op, TOWStateFlags) {
          std::lock_guard lock(mutex_);
          upstream_.push_back(KindOf(op));
          return false;
        });
  }
  ~TProbeSource() override { pin_.reset(); }

  TALOWAudioSourcePin& Pin() { return *pin_; }
  void Send(IOWNotifyOperation* op) {
    TRef<IOWNotifyOperation> hold(op);
    pin_->Notify(*hold);
  }
  void StartWave(const WaveFormat& format) { Send(new TOWStartWaveOperation(format, 1.0f)); }
  void Resume() { Send(new TOWSLResumeOperation); }
  void Stop() { Send(new TOWStopOperation); }
  void EndStop() { Send(new TOWEndStopOperation); }
  void SendBuffer(const TRef<IALAudioBuffer>& buffer) { pin_->SendBuffer(buffer); }
  size_t UpstreamCount(const std::string& kind) const {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    for (auto& k : upstream_) n += k == kind;
    return n;
  }
  void ClearUpstream() {
    std::lock_guard lock(mutex_);
    upstream_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> upstream_;
  std::unique_ptr<TALOWAudioSourcePin> pin_;
};

// A 16-bit buffer whose samples count up from `first` (channel-interleaved).
inline TRef<IALAudioBuffer> RampBuffer(const WaveFormat& format, uint32_t frames, int32_t first) {
  TRef<IALAudioBuffer> buffer(new TALAudioBuffer(format.samplesPerSec, format.validBitsPerSample,
                                                 format.channels, frames, format.channelMask));
  auto* samples = reinterpret_cast<int16_t*>(buffer->WriteData());
  for (uint32_t i = 0; i < frames * format.channels; ++i)
    samples[i] = static_cast<int16_t>(first + static_cast<int32_t>(i));
  return buffer;
}

inline std::vector<uint8_t> BytesOf(IALAudioBuffer& buffer) {
  const uint8_t* data = buffer.ReadData();
  return std::vector<uint8_t>(data, data + buffer.ByteSize());
}

// Installs an in-process wave service for the test's lifetime; components created inside the
// test use it. Declare components after the fixture's members so they go first.
class VirtualServiceTest : public ::testing::Test {
 protected:
  VirtualServiceTest() { previous_ = SetCurrentWaveService(&service_); }
  ~VirtualServiceTest() override { SetCurrentWaveService(previous_); }

  TALVirtualWaveService service_;
  IALWaveService* previous_ = nullptr;
};

}  // namespace tardivox::testing
