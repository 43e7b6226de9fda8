#include "pins/StatePin.h"

#include <algorithm>
#include <mutex>

#include "core/SmallCopy.h"
#include "locks/MultiReadLock.h"
#include "model/Component.h"

namespace tardivox {

namespace {

std::mutex& DispatcherListMutex() {
  static std::mutex mutex;
  return mutex;
}

// Dispatchers of run mode (design mode never occurs), in creation order.
std::vector<TOWStateDispatcher*>& DispatcherList() {
  static std::vector<TOWStateDispatcher*> list;
  return list;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TOWStateDispatcher

TOWStateDispatcher* TOWStateDispatcher::Create(TComponent* root) {
  const std::string prefix = (root ? root->Name() : std::string()) + "Link";
  std::lock_guard g(DispatcherListMutex());
  auto& list = DispatcherList();
  for (int n = 1;; ++n) {
    std::string name = prefix + std::to_string(n);
    const bool used = std::any_of(list.begin(), list.end(),
                                  [&](const TOWStateDispatcher* d) { return d->name_ == name; });
    if (used) continue;
    auto* d = new TOWStateDispatcher(std::move(name));
    list.push_back(d);
    return d;
  }
}

TOWStateDispatcher::TOWStateDispatcher(std::string name) : name_(std::move(name)) {
  PublishValue(
      "Name", [this] { return TPropertyValue(name_); }, nullptr, std::string());
}

TOWStateDispatcher::~TOWStateDispatcher() {
  std::lock_guard g(DispatcherListMutex());
  std::erase(DispatcherList(), this);
}

std::vector<TOWStateDispatcher*> TOWStateDispatcher::Dispatchers() {
  std::lock_guard g(DispatcherListMutex());
  return DispatcherList();
}

TOWStateDispatcher* TOWStateDispatcher::Find(const std::string& name) {
  std::lock_guard g(DispatcherListMutex());
  for (TOWStateDispatcher* d : DispatcherList()) {
    if (d->name_ == name) return d;
  }
  return nullptr;
}

int TOWStateDispatcher::IndexOf(const TOWBasicPin* pin) const {
  for (size_t i = 0; i < pins_.size(); ++i) {
    if (pins_[i].pin == pin) return static_cast<int>(i);
  }
  return -1;
}

TOWBasicPin* TOWStateDispatcher::FollowOf(const TOWBasicPin* pin) const {
  const int i = IndexOf(pin);
  return i >= 0 ? pins_[i].follow : nullptr;
}

void TOWStateDispatcher::Add(TOWBasicPin* pin, TOWBasicPin* follow) {
  pins_.push_back(TOWDispatcherPinStorage{pin, follow});
  pin->dispatcher_ = this;
}

void TOWStateDispatcher::Remove(TOWBasicPin* pin) {
  std::erase_if(pins_, [&](const TOWDispatcherPinStorage& s) { return s.pin == pin; });
  for (TOWDispatcherPinStorage& s : pins_) {
    if (s.follow == pin) s.follow = nullptr;
  }
  if (pin->dispatcher_ == this) pin->dispatcher_ = nullptr;
  // A link needs two ends: the last pin is released as well.
  if (pins_.size() == 1) {
    pins_.front().pin->dispatcher_ = nullptr;
    pins_.clear();
  }
  if (pins_.empty()) delete this;
}

// ---------------------------------------------------------------------------------------------
// State links of every pin

bool TOWBasicPin::StateLinkTypeTo(TOWBasicPin* other, Guid& type,
                                  TOWDeliveryFunction& function) const {
  const TOWPinStreamType* types = StreamTypes();
  if (!types || !other) return false;
  for (auto it = types->rbegin(); it != types->rend(); ++it) {
    if (other->SupportsType(it->id)) {
      type = it->id;
      function = it->function;
      return true;
    }
  }
  return false;
}

bool TOWBasicPin::HasStateLinkType(TOWBasicPin* other) {
  Guid type;
  TOWDeliveryFunction function;
  return other &&
         (StateLinkTypeTo(other, type, function) || other->StateLinkTypeTo(this, type, function));
}

bool TOWBasicPin::StateLink(TOWBasicPin* other, TOWBasicPin* follow) {
  if (!other || other == this) return false;
  TOWGlobalWriteLockSection global;
  TOWWriteLockSection self(*this);
  if (!HasStateLinkType(other)) return false;
  if (dispatcher_) return other->JoinDispatcher(dispatcher_, follow);
  if (other->dispatcher_) return JoinDispatcher(other->dispatcher_, follow);
  TOWStateDispatcher* d = TOWStateDispatcher::Create(GetRootComponent());
  d->Add(this, nullptr);
  StateChanged();
  if (!other->JoinDispatcher(d, follow)) {
    LeaveDispatcher();
    return false;
  }
  return true;
}

bool TOWBasicPin::JoinDispatcher(TOWStateDispatcher* dispatcher, TOWBasicPin* follow) {
  if (!dispatcher) return false;
  if (dispatcher_ == dispatcher) return true;
  TOWGlobalWriteLockSection global;
  TOWWriteLockSection self(*this);
  for (const TOWDispatcherPinStorage& s : dispatcher->pins_) {
    if (!HasStateLinkType(s.pin)) return false;
  }
  LeaveDispatcher();
  dispatcher->Add(this, follow);
  StateChanged();
  return true;
}

void TOWBasicPin::LeaveDispatcher() {
  if (!dispatcher_) return;
  TOWGlobalWriteLockSection global;
  TOWWriteLockSection self(*this);
  dispatcher_->Remove(this);
}

bool TOWBasicPin::NotifyStateLinks(IOWNotifyOperation& op, TOWStateFlags flags) {
  TOWWriteLockSection self(*this);  // holds the global lock shared as well
  if (!dispatcher_) return false;
  // A receiver on this thread may link or unlink pins meanwhile; the loop works on a copy.
  const TSmallCopy<TOWDispatcherPinStorage, 8> pins(dispatcher_->pins_);
  const size_t n = pins.size();
  bool result = false;
  for (size_t i = 0; i < n; ++i) {
    TOWBasicPin* q = pins[i].pin;
    if (i == n - 1 || (i + 2 == n && pins[n - 1].pin == this)) flags |= kStateLastReceiver;
    Guid type;
    TOWDeliveryFunction function;
    if (StateLinkTypeTo(q, type, function) && function) {
      result = function(this, q, type, op, flags);
    }
  }
  return result;
}

// ---------------------------------------------------------------------------------------------
// TOWStatePin

TOWStatePin::~TOWStatePin() {
  BeginDestroy();
  LeaveDispatcher();
}

bool TOWStatePin::ConnectTo(TOWBasicPin* pin, TOWBasicPin* after) {
  if (!pin) {
    Disconnect();
    return true;
  }
  if (!CanConnectTo(pin)) return false;
  return StateLink(pin, after);
}

void TOWStatePin::Disconnect() {
  LeaveDispatcher();
}

bool TOWStatePin::CanConnectTo(TOWBasicPin* pin) {
  if (!pin || pin == this) return false;
  TOWGlobalReadLockSection global;
  return HasStateLinkType(pin);
}

bool TOWStatePin::IsConnectedTo(const TOWBasicPin* pin) const {
  return pin && pin != this && Dispatcher() && Dispatcher()->Contains(pin);
}

int TOWStatePin::LinkCount() const {
  return Dispatcher() ? Dispatcher()->PinCount() - 1 : 0;
}

TOWBasicPin* TOWStatePin::GetLink(int index) const {
  if (!Dispatcher() || index < 0) return nullptr;
  for (int i = 0; i < Dispatcher()->PinCount(); ++i) {
    TOWBasicPin* p = Dispatcher()->Pins(i);
    if (p == this) continue;
    if (index-- == 0) return p;
  }
  return nullptr;
}

}  // namespace tardivox
