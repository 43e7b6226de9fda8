#pragma once
// The base of the splitters: one audio input, a list of output pins (one per channel, in
// channel order), and the handling of the stream's start, stop and resume.
//
// From the input, in this order: a start-wave operation replaces the stream format and runs
// StartStream; a stop (end-stop included) runs StopStream; a resume runs ResumeStream; a
// supplied buffer is read (never copied) as an audio buffer and split by SplitBuffer; any other
// operation is dropped. From an output (operations sent upstream by its sinks): passed on
// through the input when it is connected, otherwise handled as if it had arrived at the input.
// The splitter never pumps: it produces data only for buffers that arrive at its input.
//
// Splitting: the stored stream format selects the conversion by its container bits (8, 16, 24
// or 32; anything else, and every buffer before the first start, produces nothing). Each
// connected output i gets one buffer of n items, n being the audio buffer's frame count: the
// samples of channel i at their raw integer values (8 bits: the byte minus 127), unscaled.
// Unconnected outputs cost nothing. The frames are read with the stream format's layout; a
// buffer whose own header disagrees with it (container bits, block align or channel count) is
// read with its own layout instead. An output whose channel the frames do not hold gets n items
// of silence, so that every output stays in step with the stream and nothing outside the
// buffer is ever read.
//
// CountChannels: brought into 1 … 32; surplus pins are destroyed last first (their connections
// dropped), missing pins are created by CreateOutputPin and made to depend on the input (one
// lock group). The list changes under one global write section, so it never overlaps a
// delivery. A derived class sets CountChannels to 2 at the end of its constructor.
//
// Loading: the output pin list may hold placeholders while a stored layout is read; they are
// dropped in Loaded, so a delivery that walks the list never changes it.
//
// Locks: the lock holder, the input pin and every output pin form one lock group (rank: group —
// see docs/ARCHITECTURE.md); deliveries run under its write section. The stream format is written
// only by the input handler. Threads: operations arrive on the delivering thread (the capture's
// wave thread); CountChannels is set on the window's thread. Ownership: the splitter owns its pins
// (the output list owns the output pins) and its lock holder. Destruction: the input disconnects
// first (a derived destructor does it too, before its own overrides go away), StopStream sends a
// stop to every output, then the pins and the lock holder are freed. Failure: nothing is reported;
// errors raised downstream while a buffer is sent are swallowed by SendBuffer.

#include <cstdint>
#include <memory>

#include "buffers/AudioBuffer.h"
#include "buffers/RealBuffer.h"
#include "buffers/WaveFormat.h"
#include "locks/OWObject.h"
#include "model/Component.h"
#include "pins/AudioPins.h"
#include "pins/PinList.h"

namespace tardivox {

class TALCommonSplitter : public TComponent {
 public:
  static constexpr int32_t kDefaultChannels = 2;
  static constexpr int32_t kMaxChannels = 32;

  explicit TALCommonSplitter(TComponent* owner);
  ~TALCommonSplitter() override;

  TALOWAudioSinkPin& InputPin() const { return *inputPin_; }
  TOWPinList& OutputPins() const { return *outputPins_; }
  // The lock holder: its write section excludes every delivery through this splitter.
  TOWObject& LockObject() const { return *lockObject_; }

  // The current number of output pins.
  int32_t CountChannels() const { return outputPins_->Count(); }
  // See the header comment.
  // Thread: window. Locks: takes the global write section.
  virtual void SetCountChannels(int32_t n);

  // The wave format of the last start-wave operation (all zero before the first).
  // Thread: any that holds no lock of a component downstream. Locks: the lock holder's write
  // section.
  WaveFormat StreamFormat();

  // Drops the output list's placeholders left after loading.
  void Loaded() override;

 protected:
  // The layout the frames of one buffer are read with.
  struct TFrameLayout {
    uint32_t containerBits = 0;
    uint32_t blockAlign = 0;
    uint32_t channels = 0;
  };

  // A new output pin owned by this component, with ReceiveFromOutput as its receive handler.
  virtual TSLOWSourcePin* CreateOutputPin() = 0;
  // Announces the stream on every output, connected or not. Caller holds the group lock.
  virtual void StartStream(const WaveFormat& format) = 0;
  // One stop (resume) operation object, passed to SendToOutputs.
  virtual void StopStream();
  virtual void ResumeStream();
  // Splits one buffer over the connected outputs (see the header comment).
  // Thread: capture. Locks: the group lock, held by the delivery. Real-time: yes.
  virtual void SplitBuffer(IALAudioBuffer& buffer);
  // Notifies the same operation object on each output pin in list order.
  virtual void SendToOutputs(IOWNotifyOperation& op);
  // Channel `channel` of `buffer` as real values, read with the layout SplitBuffer chose; the
  // result goes to EmitChannel.
  virtual void Convert8(uint32_t channel, IALAudioBuffer& buffer);
  virtual void Convert16(uint32_t channel, IALAudioBuffer& buffer);
  virtual void Convert24(uint32_t channel, IALAudioBuffer& buffer);
  virtual void Convert32(uint32_t channel, IALAudioBuffer& buffer);
  // Hands the real buffer of one channel on. The base does nothing.
  virtual void EmitChannel(uint32_t channel, const TRef<ISLRealBuffer>& buffer);

  // Receive handlers of the input and of every output pin.
  virtual bool ReceiveFromInput(TOWPin& pin, const Guid& type, IOWNotifyOperation& op,
                                TOWStateFlags flags);
  virtual bool ReceiveFromOutput(TOWPin& pin, const Guid& type, IOWNotifyOperation& op,
                                 TOWStateFlags flags);

  // Output pin i as a source pin, or null.
  TSLOWSourcePin* OutputPin(int index) const;

  // Guarded by the group lock.
  WaveFormat streamFormat_{};
  TFrameLayout layout_;

 private:
  // Reads channel `channel` of every frame with `sample` (a pointer to the sample's first byte
  // → its value) and emits the result.
  template <class ReadSample>
  void ConvertChannel(uint32_t channel, IALAudioBuffer& buffer, ReadSample sample);

  std::unique_ptr<TOWObject> lockObject_;
  std::unique_ptr<TALOWAudioSinkPin> inputPin_;
  std::unique_ptr<TOWPinList> outputPins_;
};

}  // namespace tardivox
