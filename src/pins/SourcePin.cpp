#include "pins/SourcePin.h"

#include <algorithm>

#include "core/ScopeExit.h"
#include "core/SmallCopy.h"
#include "locks/MultiReadLock.h"
#include "pins/SinkPin.h"

namespace tardivox {

namespace {

// Bound of the recursions that follow pass-through lists. Loops through function lists are
// refused when connecting; this only keeps a loop through data-type lists from running away.
constexpr int kMaxGraphDepth = 256;
constexpr int32_t kActivityStep = 4;
constexpr int32_t kActivityLimit = 10000;

}  // namespace

// ---------------------------------------------------------------------------------------------
// TOWSinkPinList

bool TOWSinkPinList::Contains(const TOWBasicPin* pin) const {
  return std::find(pins_.begin(), pins_.end(), pin) != pins_.end();
}

bool TOWSinkPinList::Remove(const TOWBasicPin* pin) {
  return std::erase(pins_, pin) > 0;
}

void TOWSinkPinList::AddPassThrough(TOWSinkPin* sink, bool join) {
  if (!sink) return;
  TOWGlobalWriteLockSection global;
  if (!Contains(sink)) pins_.push_back(sink);
  if (join) owner_->AddDependency(sink);
  auto& sources = sink->passThroughSources_;
  if (std::find(sources.begin(), sources.end(), owner_) == sources.end()) {
    sources.push_back(owner_);
  }
  // The lock paths of everything downstream of the owner now pass through the sink.
  for (const TOWSinkPinEntry& e : owner_->entries_) {
    if (auto* k = dynamic_cast<TOWSinkPin*>(e.sink)) k->RebuildUpstreamLockList();
  }
}

// ---------------------------------------------------------------------------------------------
// TOWSourcePin: structure

TOWSourcePin::TOWSourcePin(TComponent* owner) : TOWStreamPin(owner) {}

TOWSourcePin::~TOWSourcePin() {
  BeginDestroy();
  TOWWriteLockSection self(*this);
  LeaveDispatcher();
  DropAllSinks();
}

const TOWSinkPinEntry* TOWSourcePin::FindEntry(const TOWBasicPin* sink) const {
  if (!sink) return nullptr;
  for (const TOWSinkPinEntry& e : entries_) {
    if (e.sink == sink) return &e;
  }
  return nullptr;
}

bool TOWSourcePin::AfterChainReaches(const TOWBasicPin* after, const TOWBasicPin* pin) const {
  // At most one step per entry: a longer chain is a loop that does not contain `pin`.
  for (size_t steps = 0; after && steps <= entries_.size(); ++steps) {
    if (after == pin) return true;
    const TOWSinkPinEntry* e = FindEntry(after);
    after = e ? e->after : nullptr;
  }
  return false;
}

bool TOWSourcePin::ConnectTo(TOWBasicPin* pin, TOWBasicPin* after) {
  if (!pin || pin == this) return false;
  TOWGlobalWriteLockSection global;
  TOWWriteLockSection self(*this);
  if (after) {
    if (!FindEntry(after) || AfterChainReaches(after, pin)) return false;
  } else if (!CanConnectTo(pin)) {
    return false;
  }
  const TOWPinKind kind = pin->GetPinKind();
  if (kind != TOWPinKind::Sink && kind != TOWPinKind::State) return false;
  const bool wasConnected = IsConnectedTo(pin);
  const bool result = pin->ConnectTo(this, after);
  if (result && !wasConnected && IsConnectedTo(pin)) ConnectedFromSource(pin);
  return result;
}

void TOWSourcePin::Disconnect() {
  TOWGlobalWriteLockSection global;
  TOWWriteLockSection self(*this);
  LeaveDispatcher();
  DropAllSinks();
}

void TOWSourcePin::DropAllSinks() {
  for (size_t i = entries_.size(); i-- > 0;) {
    if (i >= entries_.size()) continue;  // a sink's hook may have dropped more than one
    TOWBasicPin* sink = entries_[i].sink;
    if (auto* k = dynamic_cast<TOWSinkPin*>(sink); k && k->source_ == this) k->ClearSource();
    sink->Changed();
  }
  entries_.clear();
  ++generation_;
}

bool TOWSourcePin::CanConnectTo(TOWBasicPin* pin) {
  if (!pin || pin == this) return false;
  TOWGlobalReadLockSection global;
  switch (pin->GetPinKind()) {
    case TOWPinKind::Sink:
      return pin->CanConnectTo(this);
    case TOWPinKind::State:
      return HasStateLinkType(pin);
    default:
      return false;
  }
}

bool TOWSourcePin::DependsOn(const TOWBasicPin* pin) {
  TOWGlobalReadLockSection global;
  std::vector<const TOWSourcePin*> active;
  return DependsOnImpl(pin, active);
}

bool TOWSourcePin::DependsOnImpl(const TOWBasicPin* pin, std::vector<const TOWSourcePin*>& active) {
  // The guard: a check that comes back to a source already being checked answers false.
  if (std::find(active.begin(), active.end(), this) != active.end()) return false;
  active.push_back(this);
  TScopeExit leave([&] { active.pop_back(); });
  if (functionSinkPins_.Contains(pin)) return true;
  for (TOWSinkPin* k : functionSinkPins_.Pins()) {
    if (k->DependsOnImpl(pin, active)) return true;
  }
  return false;
}

void TOWSourcePin::AddSink(TOWBasicPin* sink, TOWBasicPin* after) {
  TOWWriteLockSection self(*this);
  const Guid type = NegotiateWith(sink);
  entries_.push_back(TOWSinkPinEntry{sink, after, type, types_.FunctionFor(type), 0});
  ++generation_;
}

void TOWSourcePin::RemoveSink(TOWBasicPin* sink, bool keepPlaceholder) {
  (void)keepPlaceholder;  // placeholders are kept only in design mode
  TOWWriteLockSection self(*this);
  EraseEntry(sink);
}

void TOWSourcePin::EraseEntry(const TOWBasicPin* sink) {
  if (std::erase_if(entries_, [&](const TOWSinkPinEntry& e) { return e.sink == sink; }) > 0) {
    ++generation_;
  }
}

void TOWSourcePin::ForgetPin(TOWBasicPin* pin) {
  EraseEntry(pin);
  for (TOWSinkPinEntry& e : entries_) {
    if (e.after == pin) e.after = nullptr;
  }
  const bool listsChanged = functionSinkPins_.Remove(pin) | dataTypeSinkPins_.Remove(pin);
  if (listsChanged) {
    for (const TOWSinkPinEntry& e : entries_) {
      if (auto* k = dynamic_cast<TOWSinkPin*>(e.sink)) k->RebuildUpstreamLockList();
    }
  }
}

void TOWSourcePin::StateChanged() {
  TRef<IOWNotifyOperation> op(new TOWNotifyOperation);
  NotifyStateLinks(*op, kStateProbe);
}

// ---------------------------------------------------------------------------------------------
// TOWSourcePin: types

TOWPinTypeRestricted TOWSourcePin::RestrictedTypes() {
  return RestrictedTypesImpl(0);
}

TOWPinTypeRestricted TOWSourcePin::RestrictedTypesImpl(int depth) {
  TOWPinTypeRestricted list = types_;
  if (depth > kMaxGraphDepth) return list;
  for (TOWSinkPin* k : dataTypeSinkPins_.Pins()) {
    TOWSourcePin* upstream = k->Source();
    if (!upstream || k->AcceptAnyType()) continue;
    const TOWPinTypeRestricted supplied = upstream->RestrictedTypesImpl(depth + 1);
    TOWPinTypeRestricted kept;
    for (const auto& item : list) {
      if (supplied.Contains(item.id)) kept.Add(item.id, item.function);
    }
    list = std::move(kept);
  }
  return list;
}

bool TOWSourcePin::VetoesType(const Guid& id) {
  // This output carries what its input gets: an input connected to a source that cannot
  // supply `id` vetoes it.
  for (TOWSinkPin* k : dataTypeSinkPins_.Pins()) {
    TOWSourcePin* upstream = k->Source();
    if (upstream && !k->AcceptAnyType() && !upstream->RestrictedTypes().Contains(id)) return true;
  }
  return false;
}

Guid TOWSourcePin::NegotiateWith(TOWBasicPin* sink) {
  if (!sink) return {};
  const TOWPinTypeRestricted list = RestrictedTypes();
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    if (sink->SupportsType(it->id)) return it->id;
  }
  return {};
}

void TOWSourcePin::RenegotiateSinks() {
  for (TOWSinkPinEntry& e : entries_) {
    e.type = NegotiateWith(e.sink);
    e.function = types_.FunctionFor(e.type);
    if (auto* k = dynamic_cast<TOWSinkPin*>(e.sink); k && k->source_ == this) {
      k->negotiatedType_ = k->NegotiateWith(this, e.type);
      k->upstreamFunction_ = k->types_.FunctionFor(k->negotiatedType_);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// TOWSourcePin: notification

void TOWSourcePin::AnnounceSink(TOWBasicPin* sink) {
  const TOWSinkPinEntry* e = FindEntry(sink);
  if (!e || !e->function) return;
  const TOWDeliveryFunction function = e->function;
  TOWWriteLockSection self(*this);
  if (depth_ > kMaxProbeDepth) RaiseDependsOnItself();
  TDepthScope depth(depth_);
  const Guid type = NegotiateWith(sink);
  TRef<IOWNotifyOperation> probe(new TOWNotifyOperation);
  function(this, sink, type, *probe, kStateProbe | kStateLastReceiver);
}

bool TOWSourcePin::NotifySink(TOWBasicPin* sink, IOWNotifyOperation& op) {
  TOWWriteLockSection self(*this);
  if (depth_ > kMaxNotifyDepth) RaiseDependsOnItself();
  const TOWSinkPinEntry* e = FindEntry(sink);
  if (!e || !e->function) return false;
  const TOWDeliveryFunction function = e->function;
  const Guid type = e->type;
  TDepthScope depth(depth_);
  TOWWriteLockSection target(*sink);
  return function(this, sink, type, op, kStateLastReceiver);
}

bool TOWSourcePin::Notify(IOWNotifyOperation& op) {
  // The write section holds the global lock shared for the whole notification.
  TOWWriteLockSection self(*this);
  if (depth_ > kMaxNotifyDepth) RaiseDependsOnItself();
  TDepthScope depth(depth_);
  TScopeExit sent([&] { OperationSent(op); });

  const TSmallCopy<TOWSinkPinEntry, 4> snapshot(entries_);
  const uint64_t generation = generation_;
  const bool result = Dispatcher() ? NotifyStateLinks(op, 0) : false;
  const size_t n = snapshot.size();
  for (size_t i = 0; i < n; ++i) {
    const TOWSinkPinEntry& e = snapshot[i];
    if (!e.function) continue;
    // A receiver on this thread changed the sinks: serve only those still connected.
    if (generation_ != generation && !FindEntry(e.sink)) continue;
    const TOWStateFlags flags = i + 1 == n ? kStateLastReceiver : 0;
    bool answer;
    {
      TOWWriteLockSection target(*e.sink);
      answer = e.function(this, e.sink, e.type, op, flags);
    }
    if (answer) AddActivity(e.sink);
  }
  Resort();
  return result;
}

void TOWSourcePin::AddActivity(const TOWBasicPin* sink) {
  for (TOWSinkPinEntry& e : entries_) {
    if (e.sink == sink) {
      if (e.activity < kActivityLimit) e.activity += kActivityStep;
      return;
    }
  }
}

void TOWSourcePin::Resort() {
  const size_t n = entries_.size();
  for (TOWSinkPinEntry& e : entries_) {
    if (e.activity > 0) --e.activity;
  }
  // Insertion sort: stable, in place, and linear for the usual already-sorted list.
  for (size_t i = 1; i < n; ++i) {
    for (size_t j = i; j > 0 && entries_[j].activity < entries_[j - 1].activity; --j) {
      std::swap(entries_[j], entries_[j - 1]);
    }
  }
  // Entries that must follow another sink go right behind it. A position is examined again
  // after a move; the bound only matters for an after loop, which connecting refuses.
  size_t moves = 0;
  const size_t maxMoves = n * n;
  for (size_t i = 0; i < n;) {
    const TOWBasicPin* after = entries_[i].after;
    size_t j = i;
    if (after) {
      for (size_t k = i + 1; k < n; ++k) {
        if (entries_[k].sink == after) {
          j = k;
          break;
        }
      }
    }
    if (j > i && moves++ < maxMoves) {
      std::rotate(entries_.begin() + i, entries_.begin() + i + 1, entries_.begin() + j + 1);
    } else {
      ++i;
    }
  }
}

}  // namespace tardivox
