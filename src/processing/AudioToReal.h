#pragma once
// The audio-to-real splitter: one real-valued output (TSLOWRealSourcePin) per channel of the
// audio stream, each carrying its channel's samples as doubles at their raw integer values.
//
// StartStream announces one stream per output, connected or not: a start-sample-rate operation
// of its own for each pin, with buffer size 0 and the stream's samples per second (a sink that
// connects later receives it from its source). Each connected output then sends one real
// buffer per arriving audio buffer (see TALCommonSplitter for the splitting rules).
//
// Starts with two outputs. Threads, locks, ownership and failures as in TALCommonSplitter.
// Memory: each real buffer comes from the block store; nothing else is allocated per buffer.

#include "pins/RealPins.h"
#include "processing/CommonSplitter.h"

namespace tardivox {

class TALAudioToReal : public TALCommonSplitter {
 public:
  explicit TALAudioToReal(TComponent* owner);
  // Disconnects the input first (waiting for a delivery in progress), so that no operation
  // reaches this splitter's overrides while it is destroyed.
  ~TALAudioToReal() override;

 protected:
  TSLOWSourcePin* CreateOutputPin() override;
  void StartStream(const WaveFormat& format) override;
  void EmitChannel(uint32_t channel, const TRef<ISLRealBuffer>& buffer) override;
};

}  // namespace tardivox
