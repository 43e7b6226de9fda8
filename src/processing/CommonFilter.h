#pragma once
// The base of audio components with one audio input and one audio output that turn each
// incoming buffer into one outgoing buffer (the delay line).
//
// Forwarding. From the input: a start-wave operation is kept as the stream format and sent on;
// a stop (end-stop included) runs HandleStop and is sent on; a supplied buffer is wrapped as
// the input and, sharing the same block, as the output, processed by ProcessBuffer when the
// filter is enabled and its output is connected, and the output is sent on (SendBuffer) when
// the output is connected and the subclass left send set; anything else is sent on unchanged.
// From the output (operations sent upstream by the sinks): a master-pump request goes up
// through the input; anything else goes up when the input is connected and is otherwise
// handled as if it had arrived at the input. A disabled filter therefore passes every buffer on
// unchanged and copies nothing; an enabled one with an unconnected output does no work at all.
//
// Locks: the lock holder, the input pin and the output pin form one lock group. Deliveries run
// under the write section of the receiving pin, and the property setters take the write
// section of the lock holder, so a property change never overlaps the processing of a buffer.
// Threads: operations arrive on whichever thread delivers them (the capture's wave thread);
// Enabled (and subclass properties) may be set from any thread that holds no lock of a
// component downstream of this one (normally the window's thread). Getters may be called from
// any thread.
// Ownership: the filter owns its pins and its lock holder. Before destruction it disconnects
// its input; it then frees the enable pin, the input pin, the output pin and the lock holder.
// Failure: errors raised downstream while a buffer is sent on are swallowed by SendBuffer;
// a supplied buffer that is not an audio buffer raises EConvertError to the sender.

#include <atomic>
#include <memory>

#include "buffers/AudioBuffer.h"
#include "buffers/WaveFormat.h"
#include "locks/OWObject.h"
#include "model/Component.h"
#include "pins/AudioPins.h"
#include "pins/BoolPins.h"

namespace tardivox {

class TALCommonFilter : public TComponent {
 public:
  explicit TALCommonFilter(TComponent* owner);
  ~TALCommonFilter() override;

  bool Enabled() const { return enabled_.load(std::memory_order_acquire); }
  // Stores the value under the lock holder's write section.
  virtual void SetEnabled(bool value);

  TALOWAudioSinkPin& InputPin() const { return *inputPin_; }
  TALOWAudioSourcePin& OutputPin() const { return *outputPin_; }
  TOWBoolSinkPin& EnablePin() const { return *enablePin_; }
  // The lock holder: its write section excludes every delivery through this filter.
  TOWObject& LockObject() const { return *lockObject_; }

  // The wave format of the last start-wave operation (a default record before the first).
  WaveFormat StreamFormat();

 protected:
  // Receive handlers of the input and the output pin (see the header comment).
  virtual bool ReceiveFromInput(TOWPin& pin, const Guid& type, IOWNotifyOperation& op,
                                TOWStateFlags flags);
  virtual bool ReceiveFromOutput(TOWPin& pin, const Guid& type, IOWNotifyOperation& op,
                                 TOWStateFlags flags);
  // Calls ProcessBuffer when the output is connected.
  virtual void ProcessIfConnected(const TRef<IALAudioBuffer>& input, TRef<IALAudioBuffer>& output,
                                  bool outputConnected, bool& send);
  // The subclass's hook: output starts as a second buffer object on input's block; replace it
  // or write into it (copy-on-write), and clear send to send nothing. The base does nothing.
  virtual void ProcessBuffer(const TRef<IALAudioBuffer>& input, TRef<IALAudioBuffer>& output,
                             bool& send);
  // Keeps the operation's wave format as the stream format and sends the operation on.
  virtual bool HandleStartWave(TOWStartWaveOperation& op);
  // Sends the request upstream through the input.
  virtual bool HandleMasterPump(TOWMasterPumpOperation& op);
  // Runs before a stop is sent on. The base does nothing.
  virtual void HandleStop();

  // Stream format and the state of subclasses are guarded by the group lock (a delivery or a
  // write section of the lock holder).
  WaveFormat streamFormat_;
  bool hasStreamFormat_ = false;

 private:
  std::unique_ptr<TOWObject> lockObject_;
  std::atomic<bool> enabled_{true};
  std::unique_ptr<TALOWAudioSinkPin> inputPin_;
  std::unique_ptr<TALOWAudioSourcePin> outputPin_;
  std::unique_ptr<TOWBoolSinkPin> enablePin_;
};

}  // namespace tardivox
