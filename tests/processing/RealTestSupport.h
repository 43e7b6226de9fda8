#pragma once
// A real-valued source and sink around a splitter or an adder under test: the source drives a
// real source pin, the sink keeps every operation its real sink pin receives.

#include <string>
#include <vector>

#include "buffers/RealBuffer.h"
#include "model/Component.h"
#include "pins/RealPins.h"

namespace tardivox::testing {

inline std::string RealKindOf(IOWNotifyOperation& op) {
  if (OperationIs<TOWSuppliedBufferOperation>(op)) return "buffer";
  if (OperationIs<TOWStartWaveOperation>(op)) return "startwave";
  if (OperationIs<TOWStartSampleRateOperation>(op)) return "start";
  if (OperationIs<TOWStopOperation>(op)) return "stop";
  if (OperationIs<TOWSLResumeOperation>(op)) return "resume";
  if (OperationIs<TOWPumpRequestOperation>(op)) return "pumprequest";
  return "other";
}

class TRealSource : public TComponent {
 public:
  TRealSource() : TComponent(nullptr) { lock.AddDependency(&OutputPin); }

  void Start(double sampleRate, int32_t bufferSize = 0) {
    TRef<IOWNotifyOperation> op(new TOWStartSampleRateOperation(bufferSize, sampleRate));
    OutputPin.Notify(*op);
  }
  void Stop() { OutputPin.SendStop(); }
  // Sends a buffer of these values.
  void Send(const std::vector<double>& values) {
    TRef<ISLRealBuffer> buffer(new TSLRealBuffer(static_cast<uint32_t>(values.size())));
    for (size_t i = 0; i < values.size(); ++i) buffer->WriteData()[i] = values[i];
    OutputPin.SendBuffer(buffer);
  }

  TOWObject lock;
  std::vector<std::string> upstream;
  TSLOWRealSourcePin OutputPin{this,
                               [this](TOWPin&, const Guid&, IOWNotifyOperation& op, TOWStateFlags) {
                                 upstream.push_back(RealKindOf(op));
                                 return false;
                               }};
};

class TRealSink : public TComponent {
 public:
  TRealSink() : TComponent(nullptr) { lock.AddDependency(&InputPin); }

  // The values of every buffer received, in order.
  std::vector<std::vector<double>> Blocks() const {
    std::vector<std::vector<double>> blocks;
    for (const auto& op : ops) {
      if (auto* supplied = OperationAs<TOWSuppliedBufferOperation>(*op)) {
        auto* real = dynamic_cast<ISLRealBuffer*>(supplied->Buffer().get());
        blocks.emplace_back(real->ReadData(), real->ReadData() + real->Count());
      }
    }
    return blocks;
  }
  std::vector<std::string> Kinds() const {
    std::vector<std::string> kinds;
    for (const auto& op : ops) kinds.push_back(RealKindOf(*op));
    return kinds;
  }

  TOWObject lock;
  std::vector<TRef<IOWNotifyOperation>> ops;
  TSLOWRealSinkPin InputPin{this,
                            [this](TOWPin&, const Guid&, IOWNotifyOperation& op, TOWStateFlags) {
                              ops.emplace_back(&op);
                              return false;
                            }};
};

}  // namespace tardivox::testing
