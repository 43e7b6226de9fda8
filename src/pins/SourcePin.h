#pragma once
// The output pin: an ordered list of connected sinks, each with the stream type negotiated for
// its connection and the delivery function for that type.
//
// Downstream notification (Notify): under the global read section and this pin's write
// section for the whole notification, a snapshot of the sink entries is taken (sinks may be
// connected or disconnected by a receiver on this thread without disturbing the loop; a sink
// dropped meanwhile receives nothing more), the state links are notified, then each sink is
// served in order under its own write section, the last one with kStateLastReceiver. A sink
// whose delivery answers true gets 4 added to its activity counter (up to 10000); after every
// notification the counters above 0 decrease by 1 and the entries are sorted by counter
// (stable), so sinks that keep answering true drift to the end; finally every entry that must
// follow another sink is moved behind it. A notification allocates nothing besides a snapshot
// of more than four sinks.
//
// Pass-through lists: the sink pins of the same component whose input this output depends on.
// AddPassThrough(sink, true) also joins the two pins into one lock group. FunctionSinkPins
// drive the loop check (DependsOn) and the upstream lock paths; DataTypeSinkPins restrict the
// types this pin offers to those its input can get.
//
// Threads, ownership and failures as in Pin.h. The entries are guarded by this pin's group
// lock and change structurally only under the global write section.

#include <cstdint>
#include <vector>

#include "pins/Pin.h"

namespace tardivox {

class TOWSinkPin;
class TOWSourcePin;

struct TOWSinkPinEntry {
  TOWBasicPin* sink = nullptr;
  // A sink of the same source that this one must follow in the order, or null.
  TOWBasicPin* after = nullptr;
  Guid type;
  TOWDeliveryFunction function;
  int32_t activity = 0;
};

class TOWSinkPinList {
 public:
  explicit TOWSinkPinList(TOWSourcePin* owner) : owner_(owner) {}
  TOWSinkPinList(const TOWSinkPinList&) = delete;
  TOWSinkPinList& operator=(const TOWSinkPinList&) = delete;

  // Appends `sink` (once), joins the owner and the sink into one lock group when `join`, and
  // records the owner among the sink's pass-through sources. Takes the global write section.
  void AddPassThrough(TOWSinkPin* sink, bool join);
  int Count() const { return static_cast<int>(pins_.size()); }
  TOWSinkPin* Items(int index) const { return pins_.at(index); }
  bool Contains(const TOWBasicPin* pin) const;
  const std::vector<TOWSinkPin*>& Pins() const { return pins_; }

 private:
  friend class TOWSourcePin;
  bool Remove(const TOWBasicPin* pin);

  TOWSourcePin* owner_;
  std::vector<TOWSinkPin*> pins_;
};

class TOWFunctionSinkPinList final : public TOWSinkPinList {
 public:
  using TOWSinkPinList::TOWSinkPinList;
};

class TOWDataTypeSinkPinList final : public TOWSinkPinList {
 public:
  using TOWSinkPinList::TOWSinkPinList;
};

class TOWSourcePin : public TOWStreamPin {
 public:
  explicit TOWSourcePin(TComponent* owner);
  // Drops every sink without sending a stop, leaves the state link, forgets this pin.
  ~TOWSourcePin() override;

  TOWPinKind GetPinKind() const override { return TOWPinKind::Source; }
  // Connects from the source side: `after` must be one of this pin's sinks and must not lead
  // back to `pin` through the after references; the sink side does the work.
  bool ConnectTo(TOWBasicPin* pin, TOWBasicPin* after = nullptr) override;
  // Drops every sink (no stop is sent) and the state link.
  void Disconnect() override;
  bool CanConnectTo(TOWBasicPin* pin) override;
  bool DependsOn(const TOWBasicPin* pin) override;
  bool IsConnected() const override { return !entries_.empty(); }
  bool IsConnectedTo(const TOWBasicPin* pin) const override { return FindEntry(pin) != nullptr; }
  int LinkCount() const override { return SinkCount(); }
  TOWBasicPin* GetLink(int index) const override { return GetSink(index); }
  // Downstream notification (see above). Answers the state links' answer.
  bool Notify(IOWNotifyOperation& op) override;
  void ForgetPin(TOWBasicPin* pin) override;

  int SinkCount() const { return static_cast<int>(entries_.size()); }
  TOWBasicPin* GetSink(int index) const { return entries_.at(index).sink; }
  // The entry of a connected sink, or null.
  const TOWSinkPinEntry* FindEntry(const TOWBasicPin* sink) const;

  TOWFunctionSinkPinList& FunctionSinkPins() { return functionSinkPins_; }
  TOWDataTypeSinkPinList& DataTypeSinkPins() { return dataTypeSinkPins_; }

  // Called by the sink side while connecting (under the global write section).
  // Appends an entry for `sink` with the negotiated type and this pin's function for it.
  virtual void AddSink(TOWBasicPin* sink, TOWBasicPin* after);
  // Drops the entry of `sink` (keepPlaceholder is for loading in design mode, never here).
  virtual void RemoveSink(TOWBasicPin* sink, bool keepPlaceholder);
  // The connection probe: a plain operation with kStateProbe | kStateLastReceiver to `sink`.
  void AnnounceSink(TOWBasicPin* sink);

  // Source-side negotiation: this pin's restricted types from the last to the first, the
  // first that `sink` supports; null when none.
  Guid NegotiateWith(TOWBasicPin* sink);
  // This pin's types without those its data-type pass-through pins cannot get.
  TOWPinTypeRestricted RestrictedTypes();
  // Whether following the after references from `after` reaches `pin`.
  bool AfterChainReaches(const TOWBasicPin* after, const TOWBasicPin* pin) const;

 protected:
  // Delivers `op` to one connected sink alone, as the last receiver, under this pin's and the
  // sink's write sections. Answers the delivery's answer (false when `sink` is not connected).
  bool NotifySink(TOWBasicPin* sink, IOWNotifyOperation& op);
  // Runs after each downstream notification, also when a receiver raised (under this pin's
  // write section).
  virtual void OperationSent(IOWNotifyOperation& op) { (void)op; }
  // Runs after `sink` was connected by a ConnectTo called on this pin.
  virtual void ConnectedFromSource(TOWBasicPin* sink) { (void)sink; }
  bool VetoesType(const Guid& id) override;
  void StateChanged() override;

  // Set while a sink is being removed, so that a receiver that disconnects again during the
  // removal does not start another one.
  bool removingSink_ = false;

 private:
  friend class TOWSinkPin;
  friend class TOWSinkPinList;

  bool DependsOnImpl(const TOWBasicPin* pin, std::vector<const TOWSourcePin*>& active);
  TOWPinTypeRestricted RestrictedTypesImpl(int depth);
  // Brings the stored types and functions of every connection up to date.
  void RenegotiateSinks();
  // Removes the entry of `sink` without any delivery.
  void EraseEntry(const TOWBasicPin* sink);
  // Every sink clears its source (last first) and is told that it changed; no stop is sent.
  void DropAllSinks();
  void AddActivity(const TOWBasicPin* sink);
  void Resort();

  std::vector<TOWSinkPinEntry> entries_;
  TOWFunctionSinkPinList functionSinkPins_{this};
  TOWDataTypeSinkPinList dataTypeSinkPins_{this};
  // Counts structural changes of entries_, so a notification notices sinks dropped under it.
  uint64_t generation_ = 0;
};

}  // namespace tardivox
