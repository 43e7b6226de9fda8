#include "pins/StreamTypeRegistry.h"

#include <algorithm>

#include "pins/Pin.h"
#include "pins/StreamTypeIds.h"

namespace tardivox {

namespace {

bool RegistryDispatch(void* bound, TOWBasicPin* sender, TOWBasicPin* target, const Guid& type,
                      IOWNotifyOperation& op, TOWStateFlags flags) {
  const TOWStreamFunction fn = static_cast<TOWStreamTypeEntry*>(bound)->Function();
  return fn ? fn(sender, target, type, op, flags) : false;
}

}  // namespace

TOWStreamTypeRegistry& TOWStreamTypeRegistry::Instance() {
  static TOWStreamTypeRegistry registry;
  return registry;
}

TOWStreamTypeRegistry::TOWStreamTypeRegistry() {
  const struct {
    Guid id;
    const char* name;
    TOWStreamFunction function;
  } standard[] = {
      {kIntegerSingleType, "Integer single", nullptr},
      {kFloatSingleType, "Float single", nullptr},
      {kRealSingleType, "Real single", nullptr},
      {kRealComplexSingleType, "Real Complex single", nullptr},
      {kBooleanSingleType, "Boolean single", nullptr},
      {kCharacterSingleType, "Character single", nullptr},
      {kStringType, "Sting", nullptr},
      {kSingleValueType, "", &SingleValueDelivery},
      {kBlockBufferType, "", &SignalDelivery},
      {kBlockBufferType2, "", &SignalDelivery},
      {kRealBufferType, "", &SignalDelivery},
      {kIntegerBufferType, "", &SignalDelivery},
      {kComplexBufferType, "", &SignalDelivery},
      {kAudioStreamType, "", &SignalDelivery},
  };
  for (const auto& s : standard) {
    TOWStreamTypeEntry& e = LookupLocked(s.id);
    e.name_ = s.name;
    e.function_.store(s.function, std::memory_order_release);
  }
}

TOWStreamTypeEntry& TOWStreamTypeRegistry::LookupLocked(const Guid& id) {
  for (TOWStreamTypeEntry& e : entries_) {
    if (e.id_ == id) return e;
  }
  return entries_.emplace_back(id);
}

TOWStreamTypeEntry& TOWStreamTypeRegistry::Lookup(const Guid& id) {
  std::lock_guard g(mutex_);
  return LookupLocked(id);
}

void TOWStreamTypeRegistry::SetName(const Guid& id, std::string name) {
  std::lock_guard g(mutex_);
  LookupLocked(id).name_ = std::move(name);
}

void TOWStreamTypeRegistry::SetFunction(const Guid& id, TOWStreamFunction function) {
  std::lock_guard g(mutex_);
  LookupLocked(id).function_.store(function, std::memory_order_release);
}

std::string TOWStreamTypeRegistry::Name(const Guid& id) {
  std::lock_guard g(mutex_);
  return LookupLocked(id).name_;
}

int TOWStreamTypeRegistry::Count() {
  std::lock_guard g(mutex_);
  return static_cast<int>(entries_.size());
}

TOWDeliveryFunction TOWStreamTypeRegistry::DispatchFor(const Guid& id) {
  return TOWDeliveryFunction(&RegistryDispatch, &Lookup(id));
}

bool SignalDelivery(TOWBasicPin*, TOWBasicPin* target, const Guid& type, IOWNotifyOperation& op,
                    TOWStateFlags flags) {
  if (flags & kStateProbe) return false;
  IOWPinReceiver* receiver = target->QueryReceiver(kReceiveInterface);
  return receiver ? receiver->Receive(type, op, flags) : false;
}

bool SingleValueDelivery(TOWBasicPin*, TOWBasicPin* target, const Guid& type,
                         IOWNotifyOperation& op, TOWStateFlags flags) {
  if (flags & kStateProbe) return false;
  IOWPinReceiver* receiver = target->QueryReceiver(kSingleValueType);
  return receiver ? receiver->Receive(type, op, flags) : false;
}

void TOWPinStreamType::Add(const Guid& id, TOWDeliveryFunction function) {
  for (Item& item : items_) {
    if (item.id == id) {
      item.function = function;
      return;
    }
  }
  items_.push_back(Item{id, function});
}

void TOWPinStreamType::Remove(const Guid& id) {
  std::erase_if(items_, [&](const Item& item) { return item.id == id; });
}

bool TOWPinStreamType::Contains(const Guid& id) const {
  return std::any_of(items_.begin(), items_.end(), [&](const Item& i) { return i.id == id; });
}

TOWDeliveryFunction TOWPinStreamType::FunctionFor(const Guid& id) const {
  for (const Item& item : items_) {
    if (item.id == id) return item.function;
  }
  return {};
}

}  // namespace tardivox
