#include "pins/SinkPin.h"

#include <algorithm>
#include <optional>

#include "core/ScopeExit.h"
#include "core/SmallCopy.h"
#include "locks/MultiReadLock.h"

namespace tardivox {

namespace {

constexpr int kMaxGraphDepth = 256;

// Read-locks the pins of an upstream lock list in order and unlocks them in the same order.
// Works on a copy: a receiver on this thread may rebuild the list meanwhile.
class TUpstreamLocks {
 public:
  explicit TUpstreamLocks(const std::vector<TOWBasicPin*>& list) : pins_(list) {
    for (TOWBasicPin* p : pins_) p->ReadLock();
  }
  ~TUpstreamLocks() {
    for (TOWBasicPin* p : pins_) p->ReadUnlock();
  }
  TUpstreamLocks(const TUpstreamLocks&) = delete;
  TUpstreamLocks& operator=(const TUpstreamLocks&) = delete;

 private:
  TSmallCopy<TOWBasicPin*, 16> pins_;
};

}  // namespace

TOWSinkPin::~TOWSinkPin() {
  BeginDestroy();
  TOWWriteLockSection self(*this);
  LeaveDispatcher();
  // The pin is half destroyed: its receiver is gone, so the source drops it without a stop.
  if (TOWSourcePin* s = Source()) s->EraseEntry(this);
  ClearSource();
}

TOWSourcePin* TOWSinkPin::Source() const {
  return dynamic_cast<TOWSourcePin*>(source_);
}

bool TOWSinkPin::ConnectTo(TOWBasicPin* pin, TOWBasicPin* after) {
  TOWGlobalWriteLockSection global;
  TOWWriteLockSection self(*this);
  if (pin == source_) return true;
  if (!pin) {
    DisconnectFromSource();
    return true;
  }
  if (!CanConnectTo(pin)) return false;
  auto* source = dynamic_cast<TOWSourcePin*>(pin);
  // An after loop would leave the order undefined; refuse it like the source side does.
  if (source && after && source->AfterChainReaches(after, this)) return false;

  LeaveDispatcher();
  DisconnectFromSource();
  if (!source) {
    // A state pin: it links the two pins through its dispatcher.
    const bool result = pin->ConnectTo(this, after);
    RebuildUpstreamLockList();
    return result;
  }

  // The connection is recorded on this side first, so that a receiver that answers the
  // remembered start operation upstream already finds its path.
  source_ = source;
  negotiatedType_ = NegotiateWith(source, source->NegotiateWith(this));
  upstreamFunction_ = types_.FunctionFor(negotiatedType_);
  RebuildUpstreamLockList();
  // Completed also when a receiver raises while being started or probed.
  TScopeExit complete([&] {
    source->RenegotiateSinks();
    RebuildUpstreamLockList();
  });
  source->AddSink(this, after);
  source->AnnounceSink(this);
  return true;
}

void TOWSinkPin::Disconnect() {
  TOWGlobalWriteLockSection global;
  std::optional<TOWWriteLockSection> sourceSection;
  if (TOWSourcePin* s = Source()) sourceSection.emplace(*s);
  TOWWriteLockSection self(*this);
  LeaveDispatcher();
  DisconnectFromSource();
}

void TOWSinkPin::DisconnectFromSource() {
  if (!source_) return;
  TScopeExit clear([&] { ClearSource(); });
  if (TOWSourcePin* s = Source()) s->RemoveSink(this, false);
}

void TOWSinkPin::ClearSource() {
  source_ = nullptr;
  upstreamFunction_ = {};
  negotiatedType_ = {};
  RebuildUpstreamLockList();
}

bool TOWSinkPin::CanConnectTo(TOWBasicPin* pin) {
  if (!pin || pin == this) return false;
  TOWGlobalReadLockSection global;
  if (pin->GetPinKind() == TOWPinKind::State) return HasStateLinkType(pin);
  auto* source = dynamic_cast<TOWSourcePin*>(pin);
  return source && TypeCompatible(source) && !source->DependsOn(this);
}

bool TOWSinkPin::TypeCompatible(TOWSourcePin* source) {
  const Guid proposed = source->NegotiateWith(this);
  if (proposed.IsNull()) return false;
  return types_.Empty() || acceptAnyType_ || !NegotiateWith(source, proposed).IsNull();
}

Guid TOWSinkPin::NegotiateWith(TOWSourcePin* source, const Guid& proposed) {
  if (!source) return {};
  const TOWPinTypeRestricted list = source->RestrictedTypes();
  Guid first;
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    if (!source->SupportsType(it->id)) continue;
    if (it->id == proposed) return proposed;
    if (first.IsNull()) first = it->id;
  }
  return first;
}

bool TOWSinkPin::VetoesType(const Guid& id) {
  // Data-type pass-throughs may form a loop (only function lists are checked when connecting);
  // beyond this depth nothing vetoes.
  thread_local int depth = 0;
  if (depth > kMaxGraphDepth) return false;
  ++depth;
  TScopeExit leave([] { --depth; });
  // This input feeds outputs that carry its type: a sink of such an output that cannot take
  // `id` vetoes it.
  for (TOWSourcePin* s : passThroughSources_) {
    if (!s->dataTypeSinkPins_.Contains(this)) continue;
    for (const TOWSinkPinEntry& e : s->entries_) {
      auto* k = dynamic_cast<TOWSinkPin*>(e.sink);
      if (k && !k->acceptAnyType_ && !k->SupportsType(id)) return true;
    }
  }
  return false;
}

bool TOWSinkPin::DependsOn(const TOWBasicPin* pin) {
  TOWGlobalReadLockSection global;
  std::vector<const TOWSourcePin*> active;
  return DependsOnImpl(pin, active);
}

bool TOWSinkPin::DependsOnImpl(const TOWBasicPin* pin, std::vector<const TOWSourcePin*>& active) {
  if (!source_) return false;
  if (source_ == pin) return true;
  TOWSourcePin* s = Source();
  return s && s->DependsOnImpl(pin, active);
}

void TOWSinkPin::ForgetPin(TOWBasicPin* pin) {
  if (source_ == pin) {
    source_ = nullptr;
    upstreamFunction_ = {};
    negotiatedType_ = {};
    upstreamLockList_.clear();
  }
  std::erase(passThroughSources_, pin);
  // The forgotten pin was disconnected before, so what it led to is already gone from the
  // list; only its own place remains.
  std::erase(upstreamLockList_, pin);
}

bool TOWSinkPin::Notify(IOWNotifyOperation& op) {
  TOWGlobalReadLockSection global;
  TUpstreamLocks locks(upstreamLockList_);
  if (!source_ || !upstreamFunction_) return false;
  return upstreamFunction_(this, source_, negotiatedType_, op, kStateLastReceiver);
}

// ---------------------------------------------------------------------------------------------
// Upstream lock list

void TOWSinkPin::RebuildUpstreamLockList() {
  RebuildImpl(0);
}

void TOWSinkPin::RebuildImpl(int depth) {
  if (depth > kMaxGraphDepth) return;
  // The paths of the sinks downstream of this pin's component pass through this pin.
  for (TOWSourcePin* s : passThroughSources_) {
    for (const TOWSinkPinEntry& e : s->entries_) {
      if (auto* k = dynamic_cast<TOWSinkPin*>(e.sink)) k->RebuildImpl(depth + 1);
    }
  }
  upstreamLockList_.clear();
  if (!source_) return;
  std::vector<std::vector<TOWBasicPin*>> branches(1);
  CollectUpstream(branches, 0, 0);
  // Take the last pin of every branch in turn, last branch first: the most upstream pins come
  // first and this pin last.
  for (;;) {
    bool any = false;
    for (size_t b = branches.size(); b-- > 0;) {
      if (branches[b].empty()) continue;
      upstreamLockList_.push_back(branches[b].back());
      branches[b].pop_back();
      any = true;
    }
    if (!any) break;
  }
}

void TOWSinkPin::CollectUpstream(std::vector<std::vector<TOWBasicPin*>>& branches, size_t branch,
                                 int depth) {
  branches[branch].push_back(this);
  if (!source_) return;
  branches[branch].push_back(source_);
  TOWSourcePin* s = Source();
  if (!s || depth > kMaxGraphDepth) return;
  const auto& inputs = s->functionSinkPins_.Pins();
  for (size_t i = 0; i < inputs.size(); ++i) {
    size_t target = branch;
    if (i > 0) {
      branches.emplace_back();
      target = branches.size() - 1;
    }
    inputs[i]->CollectUpstream(branches, target, depth + 1);
  }
}

}  // namespace tardivox
