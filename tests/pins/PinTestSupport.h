#pragma once
// Small components for the pin tests: a recording sink, a source, and a pass-through filter
// whose input feeds its output (one lock group, as every component with inputs and outputs).

#include <functional>
#include <string>
#include <vector>

#include "buffers/RealBuffer.h"
#include "model/Component.h"
#include "pins/AudioPins.h"
#include "pins/RealPins.h"

namespace tardivox::testing {

struct TReceived {
  TOWPin* pin;
  Guid type;
  TRef<IOWNotifyOperation> op;
  TOWStateFlags flags;
};

// A component that records what its pins receive and answers through `answer`.
class TRecorder : public TComponent {
 public:
  explicit TRecorder(std::string name = {}, TComponent* owner = nullptr) : TComponent(owner) {
    SetName(std::move(name));
  }

  TOWReceiveHandler Handler() {
    return [this](TOWPin& pin, const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags) {
      log.push_back(TReceived{&pin, type, TRef<IOWNotifyOperation>(&op), flags});
      return answer ? answer(pin, op, flags) : false;
    };
  }

  template <class T>
  int Count() const {
    int n = 0;
    for (const TReceived& r : log) n += OperationIs<T>(*r.op) ? 1 : 0;
    return n;
  }
  // Kinds received, as short names, in order (derived kinds first).
  std::vector<std::string> Kinds() const {
    std::vector<std::string> kinds;
    for (const TReceived& r : log) kinds.push_back(KindOf(*r.op));
    return kinds;
  }
  static std::string KindOf(IOWNotifyOperation& op) {
    if (OperationIs<TOWSuppliedBufferOperation>(op)) return "buffer";
    if (OperationIs<TOWStartWaveOperation>(op)) return "startwave";
    if (OperationIs<TOWStartOperation>(op)) return "start";
    if (OperationIs<TOWEndStopOperation>(op)) return "endstop";
    if (OperationIs<TOWStopOperation>(op)) return "stop";
    if (OperationIs<TOWSLResumeOperation>(op)) return "resume";
    if (OperationIs<TOWMasterPumpOperation>(op)) return "masterpump";
    if (OperationIs<TOWPumpRequestOperation>(op)) return "pumprequest";
    return "plain";
  }

  std::function<bool(TOWPin&, IOWNotifyOperation&, TOWStateFlags)> answer;
  std::vector<TReceived> log;
  TOWObject lock;
};

class TAudioSink : public TRecorder {
 public:
  explicit TAudioSink(std::string name = {}) : TRecorder(std::move(name)) {
    lock.AddDependency(&InputPin);
  }
  TALOWAudioSinkPin InputPin{this, Handler()};
};

class TAudioSource : public TRecorder {
 public:
  explicit TAudioSource(std::string name = {}) : TRecorder(std::move(name)) {
    lock.AddDependency(&OutputPin);
  }
  TALOWAudioSourcePin OutputPin{this, Handler()};
};

// Forwards every operation from its input to its output and back, like a disabled filter.
class TAudioFilter : public TRecorder {
 public:
  explicit TAudioFilter(std::string name = {}) : TRecorder(std::move(name)) {
    OutputPin.FunctionSinkPins().AddPassThrough(&InputPin, true);
    lock.AddDependency(&InputPin);
  }
  TALOWAudioSinkPin InputPin{
      this, [this](TOWPin& pin, const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags) {
        Handler()(pin, type, op, flags);
        return OutputPin.Notify(op);
      }};
  TALOWAudioSourcePin OutputPin{
      this, [this](TOWPin& pin, const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags) {
        Handler()(pin, type, op, flags);
        return InputPin.Notify(op);
      }};
};

inline TRef<ISLDataBuffer> RealBuffer(double firstValue, uint32_t count = 1) {
  TRef<ISLRealBuffer> b(new TSLRealBuffer(count));
  b->Fill(0.0);
  if (count > 0) b->SetValue(0, firstValue);
  return b;
}

}  // namespace tardivox::testing
