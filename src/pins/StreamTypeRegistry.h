#pragma once
// The process-wide stream type registry and the per-pin stream type list.
//
// The registry maps a stream type identifier to a display name and a delivery function. It is
// filled with the standard types when first used; looking up an identifier that is not present
// appends an entry with an empty name and no function. Entries are never removed and never
// move, so a pin keeps a pointer to the entry of each type it delivers through the registry and
// the function is read when a delivery happens (a function set later takes effect at once).
//
// TOWPinStreamType is the ordered list of the types a pin offers, most specific last; each with
// the delivery function that carries operations of that type from the pin (its own, or the
// registry dispatch). TOWPinTypeRestricted is the same list used as a temporary while a
// connection's type is negotiated.
//
// Threads: every registry operation may be called from any thread (one internal mutex; the
// function of an entry is atomic). A pin's type list is filled by its constructor and read
// afterwards.

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "core/Guid.h"
#include "pins/DeliveryFunction.h"

namespace tardivox {

// A registry function: called with the notifying pin in place of a bound object.
using TOWStreamFunction = bool (*)(TOWBasicPin* sender, TOWBasicPin* target, const Guid& type,
                                   IOWNotifyOperation& op, TOWStateFlags flags);

class TOWStreamTypeEntry {
 public:
  explicit TOWStreamTypeEntry(const Guid& id) : id_(id) {}
  const Guid& Id() const { return id_; }
  TOWStreamFunction Function() const { return function_.load(std::memory_order_acquire); }

 private:
  friend class TOWStreamTypeRegistry;
  Guid id_;
  std::string name_;  // guarded by the registry's mutex
  std::atomic<TOWStreamFunction> function_{nullptr};
};

class TOWStreamTypeRegistry {
 public:
  // The single registry, filled with the standard types on first use.
  static TOWStreamTypeRegistry& Instance();

  // The entry of `id`, appended (empty name, no function) when not present.
  TOWStreamTypeEntry& Lookup(const Guid& id);
  void SetName(const Guid& id, std::string name);
  void SetFunction(const Guid& id, TOWStreamFunction function);
  std::string Name(const Guid& id);
  TOWStreamFunction Function(const Guid& id) { return Lookup(id).Function(); }
  int Count();

  // The delivery function that looks `id` up at each call and calls the registry's function
  // with the notifying pin; answers false when the entry has no function.
  TOWDeliveryFunction DispatchFor(const Guid& id);

 private:
  TOWStreamTypeRegistry();
  TOWStreamTypeEntry& LookupLocked(const Guid& id);

  std::mutex mutex_;
  std::deque<TOWStreamTypeEntry> entries_;
};

// Signal delivery: nothing for a probe; otherwise the target's Receive through its receive
// interface, or false when it has none.
bool SignalDelivery(TOWBasicPin* sender, TOWBasicPin* target, const Guid& type,
                    IOWNotifyOperation& op, TOWStateFlags flags);
// Single-value delivery: nothing for a probe; otherwise the target's Receive through its
// single-value interface, or false when it has none.
bool SingleValueDelivery(TOWBasicPin* sender, TOWBasicPin* target, const Guid& type,
                         IOWNotifyOperation& op, TOWStateFlags flags);

class TOWPinStreamType {
 public:
  struct Item {
    Guid id;
    TOWDeliveryFunction function;
  };

  // Appends `id`, or replaces the function of an `id` already present (in place).
  void Add(const Guid& id, TOWDeliveryFunction function);
  void Remove(const Guid& id);
  bool Contains(const Guid& id) const;
  // The function of `id`, empty when the list does not hold it.
  TOWDeliveryFunction FunctionFor(const Guid& id) const;

  int Count() const { return static_cast<int>(items_.size()); }
  bool Empty() const { return items_.empty(); }
  const Item& operator[](int index) const { return items_[index]; }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }
  auto rbegin() const { return items_.rbegin(); }
  auto rend() const { return items_.rend(); }

 private:
  std::vector<Item> items_;
};

using TOWPinTypeRestricted = TOWPinStreamType;

}  // namespace tardivox
