#include "processing/Add.h"

#include <algorithm>
#include <cmath>

namespace tardivox {

TSLAdd::TSLAdd(TComponent* owner) : TSLRealMultiInput(owner) {
  inputPins_ = std::make_unique<TOWPinListOwner>(
      this, [this](TOWPinList& list, TOWBasicPin* pin) { RemoveInputPin(list, pin); },
      [this](TComponent* pinOwner) { return CreateInputPin(pinOwner); }, kMaxInputs, kMinInputs);
  PublishObject("InputPins", inputPins_.get());
}

TSLAdd::~TSLAdd() {
  Destroying();
  DisconnectInputs();
  inputPins_.reset();
}

void TSLAdd::Loaded() {
  TSLRealMultiInput::Loaded();
  inputPins_->DropPlaceholders();
}

void TSLAdd::ProduceBlock() {
  const auto size = static_cast<uint32_t>(BufferSize());
  TRef<ISLRealBuffer> sum(new TSLRealBuffer(size));
  TRef<ISLRealBuffer> term;
  bool first = true;
  for (TSLOWQueuedRealSinkPin* pin : inputs_) {
    if (!pin->IsConnected() || !pin->Active()) continue;
    if (first) {
      FetchBlock(*pin, *sum);
      first = false;
      continue;
    }
    if (!term) term = TRef<ISLRealBuffer>(new TSLRealBuffer(size));
    FetchBlock(*pin, *term);
    sum->Add(term.get());
  }
  if (first) return;  // no active input: nothing to show
  OutputPin().SendBuffer(sum);
}

void TSLAdd::FetchBlock(TSLOWQueuedRealSinkPin& pin, ISLRealBuffer& block) {
  const uint32_t needed = pin.Needed();
  const uint32_t count = block.Count();
  if (needed == 0) {
    block.Zero();
    return;
  }
  if (needed == count) {
    if (!pin.Queue().Read(&block)) block.Zero();
    return;
  }
  TRef<ISLRealBuffer> items(new TSLRealBuffer(needed));
  if (!pin.Queue().Read(items.get())) {
    block.Zero();
    return;
  }
  const double* from = items->ReadData();
  double* to = block.WriteData();
  const double step = static_cast<double>(needed - 1) / count;
  for (uint32_t k = 0; k < count; ++k) {
    // Ties to even, as std::nearbyint rounds in the default mode.
    const double position = std::nearbyint(k * step);
    to[k] = from[std::min<uint32_t>(needed - 1, static_cast<uint32_t>(position))];
  }
}

}  // namespace tardivox
