#pragma once
// The operations that travel along pin connections. An operation's kind is its class: a
// receiver tests it with OperationAs<T>() (a dynamic_cast), so a test for a base kind also
// accepts every kind derived from it; test derived kinds before their bases.
//
//   TOWNotifyOperation                       plain: connection probe, state-link change
//     TOWClockOperation                      a tick of a clock or data source
//       TOWSuppliedOperation                 a value or data has been supplied
//         TOWSuppliedSingleOperation         32-bit float value
//         TOWSuppliedBoolOperation           boolean value
//         TOWSuppliedBufferOperation         a data buffer
//     TOWStartOperation                      a stream is about to start
//       TOWStartRateOperation                operations per second
//         TOWStartSampleRateOperation        buffer size and sample rate
//           TOWStartSpectrumOperation, TOWStartIntensityOperation
//           TOWStartWaveOperation            the 40-byte wave format
//     TOWStopOperation                       the stream stops
//       TOWEndStopOperation                  the source has stopped completely
//     TOWStartPumpOperation, TOWMasterPumpOperation, TOWPumpRequestOperation
//     TOWSLPauseOperation, TOWSLResumeOperation
//
// Ownership: operations are reference counted and start at a count of 0; the first TRef takes
// the first reference. One operation object is shared by every receiver of a notification and
// never copied; a receiver that needs it later keeps a TRef.
// Threads: an operation is filled by the thread that creates it and read during the
// notification on that thread; only a pump request changes during its own notification.
// Operations kept beyond the notification are only read afterwards.

#include <cstdint>

#include "buffers/DataBuffer.h"
#include "buffers/SmartBufferManager.h"
#include "buffers/WaveFormat.h"
#include "core/Guid.h"
#include "core/RefCounted.h"

namespace tardivox {

class TComponent;
class TOWNotifyOperation;

// How operations are passed around. GetOperation returns the object itself, for class tests.
class IOWNotifyOperation : public virtual TRefCounted {
 public:
  inline static const Guid IID = Guid::FromString("{AC2714E1-1E70-4C60-ABBB-EA27737CEE74}");
  virtual TOWNotifyOperation* GetOperation() = 0;
};

// Operation objects take their memory from the block store, like buffers: a steady stream
// reuses the same few areas and makes no system allocation per buffer.
class TOWNotifyOperation : public IOWNotifyOperation, public TSLBlockStoreObject {
 public:
  // Takes the next identifier of the process-wide counter (the first operation gets 1).
  TOWNotifyOperation();
  TOWNotifyOperation* GetOperation() override { return this; }
  uint32_t Id() const { return id_; }

 private:
  uint32_t id_;
};

// The operation as kind T, or null when it is not a T (nor derived from T).
template <class T>
T* OperationAs(IOWNotifyOperation& op) {
  return dynamic_cast<T*>(op.GetOperation());
}
template <class T>
bool OperationIs(IOWNotifyOperation& op) {
  return OperationAs<T>(op) != nullptr;
}

class TOWClockOperation : public TOWNotifyOperation {};

class TOWSuppliedOperation : public TOWClockOperation {};

class TOWSuppliedSingleOperation : public TOWSuppliedOperation {
 public:
  explicit TOWSuppliedSingleOperation(float value) : value_(value) {}
  float Value() const { return value_; }

 private:
  float value_;
};

class TOWSuppliedBoolOperation : public TOWSuppliedOperation {
 public:
  explicit TOWSuppliedBoolOperation(bool value) : value_(value) {}
  bool Value() const { return value_; }

 private:
  bool value_;
};

class TOWSuppliedBufferOperation : public TOWSuppliedOperation {
 public:
  explicit TOWSuppliedBufferOperation(TRef<ISLDataBuffer> buffer) : buffer_(std::move(buffer)) {}
  const TRef<ISLDataBuffer>& Buffer() const { return buffer_; }

 private:
  TRef<ISLDataBuffer> buffer_;
};

class TOWStartOperation : public TOWNotifyOperation {};

class TOWStartRateOperation : public TOWStartOperation {
 public:
  explicit TOWStartRateOperation(float rate) : rate_(rate) {}
  // Operations (buffers or values) per second.
  float Rate() const { return rate_; }

 private:
  float rate_;
};

class TOWStartSampleRateOperation : public TOWStartRateOperation {
 public:
  // Rate := sampleRate ÷ bufferSize when bufferSize > 0, otherwise sampleRate (as a float).
  TOWStartSampleRateOperation(int32_t bufferSize, double sampleRate);
  // Samples per buffer; 0 when not given.
  int32_t BufferSize() const { return bufferSize_; }
  double SampleRate() const { return sampleRate_; }

 protected:
  // For the wave kind: buffer size 0, rate and sample rate both `rate`.
  struct RateOnly {};
  TOWStartSampleRateOperation(RateOnly, float rate)
      : TOWStartRateOperation(rate), bufferSize_(0), sampleRate_(rate) {}

 private:
  int32_t bufferSize_;
  double sampleRate_;
};

class TOWStartSpectrumOperation : public TOWStartSampleRateOperation {
 public:
  using TOWStartSampleRateOperation::TOWStartSampleRateOperation;
};

class TOWStartIntensityOperation : public TOWStartSampleRateOperation {
 public:
  using TOWStartSampleRateOperation::TOWStartSampleRateOperation;
};

// The stream's real sample rate travels in the wave format; rate and sample rate both hold the
// sender's stream rate.
class TOWStartWaveOperation : public TOWStartSampleRateOperation {
 public:
  TOWStartWaveOperation(const WaveFormat& format, float rate)
      : TOWStartSampleRateOperation(RateOnly{}, rate), format_(format) {}
  const WaveFormat& Format() const { return format_; }

 private:
  WaveFormat format_;
};

class TOWStopOperation : public TOWNotifyOperation {};

class TOWEndStopOperation : public TOWStopOperation {};

class TOWStartPumpOperation : public TOWNotifyOperation {};

// Sent upstream by the master pump to ask for data.
class TOWMasterPumpOperation : public TOWNotifyOperation {
 public:
  explicit TOWMasterPumpOperation(TComponent* pump) : pump_(pump) {}
  TComponent* Pump() const { return pump_; }

 private:
  TComponent* pump_;
};

// Sent downstream when a stream starts: the sender offers to drive the flow. A component that
// can drive the flow itself may take the request over during the notification; afterwards the
// sender reads Pump() to learn whether it is still the pump.
class TOWPumpRequestOperation : public TOWNotifyOperation {
 public:
  // The pump kind with which a source asks to drive a stream.
  static constexpr uint8_t kStreamPump = 3;

  TOWPumpRequestOperation() = default;
  TOWPumpRequestOperation(TComponent* pump, float rate, int32_t priority, uint8_t kind)
      : pump_(pump), kind_(kind), priority_(priority), rate_(rate) {}

  TComponent* Pump() const { return pump_; }
  uint8_t PumpKind() const { return kind_; }
  int32_t Priority() const { return priority_; }
  float Rate() const { return rate_; }

  // Whether a component whose own pump priority is `priority` may take the request over: not
  // when the request is a stream-pump claim whose priority is at least as high (ties keep the
  // sender).
  bool CanBeTakenOverBy(int32_t priority) const {
    return !(kind_ == kStreamPump && priority_ >= priority);
  }
  // Writes `pump` as the stream's pump with its priority and the stream-pump kind.
  void TakeOver(TComponent* pump, int32_t priority) {
    pump_ = pump;
    priority_ = priority;
    kind_ = kStreamPump;
  }

 private:
  TComponent* pump_ = nullptr;
  uint8_t kind_ = 0;
  int32_t priority_ = 0;
  float rate_ = 0.0f;
};

class TOWSLPauseOperation : public TOWNotifyOperation {};

class TOWSLResumeOperation : public TOWNotifyOperation {};

}  // namespace tardivox
