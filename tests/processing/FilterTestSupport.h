#pragma once
// A source and a sink around a filter under test: the source starts the stream and sends
// buffers through a real audio source pin, the sink keeps what its audio sink pin receives.

#include <cstdint>
#include <string>
#include <vector>

#include "buffers/AudioBuffer.h"
#include "model/Component.h"
#include "pins/AudioPins.h"

namespace tardivox::testing {

inline std::string KindOf(IOWNotifyOperation& op) {
  if (OperationIs<TOWSuppliedBufferOperation>(op)) return "buffer";
  if (OperationIs<TOWStartWaveOperation>(op)) return "startwave";
  if (OperationIs<TOWEndStopOperation>(op)) return "endstop";
  if (OperationIs<TOWStopOperation>(op)) return "stop";
  if (OperationIs<TOWSLResumeOperation>(op)) return "resume";
  if (OperationIs<TOWMasterPumpOperation>(op)) return "masterpump";
  return "other";
}

class TTestSource : public TComponent {
 public:
  TTestSource() : TComponent(nullptr) { lock.AddDependency(&OutputPin); }

  void Start(const WaveFormat& format) {
    TRef<IOWNotifyOperation> op(new TOWStartWaveOperation(format, 1.0f));
    OutputPin.Notify(*op);
  }
  bool Send(const TRef<IALAudioBuffer>& buffer) { return OutputPin.SendBuffer(buffer); }

  TOWObject lock;
  // Kinds of the operations that came back upstream.
  std::vector<std::string> upstream;
  TALOWAudioSourcePin OutputPin{
      this, [this](TOWPin&, const Guid&, IOWNotifyOperation& op, TOWStateFlags) {
        upstream.push_back(KindOf(op));
        return false;
      }};
};

class TTestSink : public TComponent {
 public:
  TTestSink() : TComponent(nullptr) { lock.AddDependency(&InputPin); }

  TOWObject lock;
  std::vector<std::string> kinds;
  std::vector<TRef<IALAudioBuffer>> buffers;
  bool keepBuffers = true;
  TALOWAudioSinkPin InputPin{this,
                             [this](TOWPin&, const Guid&, IOWNotifyOperation& op, TOWStateFlags) {
                               kinds.push_back(KindOf(op));
                               if (auto* supplied = OperationAs<TOWSuppliedBufferOperation>(op)) {
                                 last = RefCast<IALAudioBuffer>(supplied->Buffer());
                                 if (keepBuffers) buffers.push_back(last);
                               }
                               return false;
                             }};
  TRef<IALAudioBuffer> last;
};

// A buffer of `channels` interleaved channels holding `samples` (frame by frame).
inline TRef<IALAudioBuffer> AudioBuffer(const std::vector<int32_t>& samples, uint32_t channels = 1,
                                        uint32_t bits = 16, TALSpeakers mask = 0,
                                        uint32_t sampleRate = 44100) {
  if (mask == 0) mask = (1u << channels) - 1;
  const auto frames = static_cast<uint32_t>(samples.size() / channels);
  TRef<IALAudioBuffer> buffer(new TALAudioBuffer(sampleRate, bits, channels, frames, mask));
  for (uint32_t f = 0; f < frames; ++f) {
    for (uint32_t c = 0; c < channels; ++c) buffer->SetSample(f, c, samples[f * channels + c]);
  }
  return buffer;
}

// Every sample, frame by frame.
inline std::vector<int32_t> Samples(IALAudioBuffer& buffer) {
  std::vector<int32_t> samples;
  for (uint32_t f = 0; f < buffer.Count(); ++f) {
    for (uint32_t c = 0; c < buffer.Channels(); ++c) samples.push_back(buffer.GetSample(f, c));
  }
  return samples;
}

inline WaveFormat FormatOf(IALAudioBuffer& buffer) {
  WaveFormat format;
  buffer.GetFormat(&format);
  return format;
}

}  // namespace tardivox::testing
