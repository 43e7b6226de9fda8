#include "processing/MultiInput.h"

#include <algorithm>

#include "locks/LockObject.h"

namespace tardivox {

// ---------------------------------------------------------------------------------------------
// TSLMultiInput

TSLMultiInput::TSLMultiInput(TComponent* owner)
    : TComponent(owner), lockObject_(std::make_unique<TOWObject>()) {
  PublishValue(
      "BufferSize", [this] { return TPropertyValue(int64_t{BufferSize()}); },
      [this](const TPropertyValue& v) {
        SetBufferSize(static_cast<int32_t>(std::clamp<int64_t>(AsInteger(v), 0, kMaxBufferSize)));
      },
      int64_t{kDefaultBufferSize});
}

TSLMultiInput::~TSLMultiInput() {
  Destroying();
  DisconnectInputs();
  lockObject_.reset();
}

void TSLMultiInput::DisconnectInputs() {
  for (TSLOWQueuedRealSinkPin* pin : inputs_) pin->Disconnect();
  TOWGlobalWriteLockSection global;
  inputs_.clear();
}

void TSLMultiInput::SetBufferSize(int32_t n) {
  n = std::clamp(n, 1, kMaxBufferSize);
  TOWWriteLockSection section(*lockObject_);
  if (n == BufferSize()) return;
  bufferSize_.store(n, std::memory_order_release);
  if (started_) Reconfigure();
}

bool TSLMultiInput::InputHandler(TSLOWQueuedRealSinkPin& pin, IOWNotifyOperation& op) {
  // Buffers first: the most frequent kind, unrelated to the start and stop kinds.
  if (auto* supplied = OperationAs<TOWSuppliedBufferOperation>(op)) {
    // Only real sources connect to these inputs; anything else is not a stream to sum.
    auto* real = dynamic_cast<ISLRealBuffer*>(supplied->Buffer().get());
    if (real && pin.Enqueue(TRef<ISLRealBuffer>(real))) OnBufferQueued();
  } else if (auto* start = OperationAs<TOWStartSampleRateOperation>(op)) {
    pin.Setup(start->BufferSize(), start->SampleRate());
    Reconfigure();
  } else if (OperationIs<TOWStopOperation>(op)) {
    pin.Reset();
    OnStopped();
  }
  return false;
}

bool TSLMultiInput::OutputHandler(TOWPin&, const Guid&, IOWNotifyOperation&, TOWStateFlags) {
  return false;
}

void TSLMultiInput::OnStopped() {}

uint64_t TSLMultiInput::ReadyBlocks() const {
  uint64_t blocks = UINT64_MAX;
  for (const TSLOWQueuedRealSinkPin* pin : inputs_) {
    if (!pin->IsConnected() || !pin->Active() || pin->Needed() == 0) continue;
    blocks = std::min(blocks, pin->Queue().Available() / pin->Needed());
  }
  return blocks == UINT64_MAX ? 0 : blocks;
}

void TSLMultiInput::OnBufferQueued() {
  // Counted first: the loop ends whatever ProduceBlock takes from the queues.
  for (uint64_t blocks = ReadyBlocks(); blocks > 0; --blocks) ProduceBlock();
}

void TSLMultiInput::Reconfigure() {
  commonRate_ = 0.0;
  for (const TSLOWQueuedRealSinkPin* pin : inputs_) {
    if (pin->IsConnected() && pin->Active() && pin->SampleRate() > commonRate_) {
      commonRate_ = pin->SampleRate();
    }
  }
  for (const TSLOWQueuedRealSinkPin* pin : inputs_) {
    if (pin->IsConnected() && !pin->Active()) return;
  }
  for (TSLOWQueuedRealSinkPin* pin : inputs_) {
    if (pin->IsConnected() && pin->Active()) pin->ComputeNeed(BufferSize(), commonRate_);
  }
}

void TSLMultiInput::ProduceBlock() {}

TOWBasicPin* TSLMultiInput::CreateInputPin(TComponent*) {
  return nullptr;
}

void TSLMultiInput::RemoveInputPin(TOWPinList&, TOWBasicPin* pin) {
  TOWGlobalWriteLockSection global;
  inputs_.erase(std::remove(inputs_.begin(), inputs_.end(), pin), inputs_.end());
}

// ---------------------------------------------------------------------------------------------
// TSLRealMultiInput

TSLRealMultiInput::TSLRealMultiInput(TComponent* owner) : TSLMultiInput(owner) {
  outputPin_ = std::make_unique<TSLOWRealSourcePin>(
      this, [this](TOWPin& pin, const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags) {
        return OutputHandler(pin, type, op, flags);
      });
  LockObject().AddDependency(outputPin_.get());
  PublishObject("OutputPin", outputPin_.get());
}

TSLRealMultiInput::~TSLRealMultiInput() {
  Destroying();
  DisconnectInputs();
  outputPin_.reset();
}

TOWBasicPin* TSLRealMultiInput::CreateInputPin(TComponent* owner) {
  auto* pin = new TSLOWQueuedRealSinkPin(
      owner, [this](TOWPin& p, const Guid&, IOWNotifyOperation& op, TOWStateFlags) {
        return InputHandler(static_cast<TSLOWQueuedRealSinkPin&>(p), op);
      });
  TOWGlobalWriteLockSection global;
  inputs_.push_back(pin);
  outputPin_->FunctionSinkPins().AddPassThrough(pin, true);
  return pin;
}

void TSLRealMultiInput::Reconfigure() {
  TSLMultiInput::Reconfigure();
  if (started_) return;
  TRef<IOWNotifyOperation> start(new TOWStartSampleRateOperation(BufferSize(), commonRate_));
  outputPin_->Notify(*start);
  started_ = true;
}

void TSLRealMultiInput::OnStopped() {
  started_ = false;
  outputPin_->SendStop();
}

bool TSLRealMultiInput::OutputHandler(TOWPin&, const Guid&, IOWNotifyOperation& op, TOWStateFlags) {
  bool answer = false;
  bool anyConnected = false;
  for (TSLOWQueuedRealSinkPin* pin : inputs_) {
    if (!pin->IsConnected()) continue;
    anyConnected = true;
    answer = pin->Notify(op);
  }
  if (!anyConnected && OperationIs<TOWStartOperation>(op)) {
    TRef<IOWNotifyOperation> request(new TOWPumpRequestOperation);
    outputPin_->Notify(*request);
  }
  return answer;
}

}  // namespace tardivox
