#include "pins/Pin.h"

#include <algorithm>

#include "core/Exceptions.h"
#include "locks/MultiReadLock.h"
#include "model/Component.h"
#include "pins/StreamTypeIds.h"

namespace tardivox {

// ---------------------------------------------------------------------------------------------
// TOWInternalPinList

std::mutex& TOWInternalPinList::Mutex() {
  static std::mutex mutex;
  return mutex;
}

std::vector<TOWBasicPin*>& TOWInternalPinList::Pins() {
  static std::vector<TOWBasicPin*> pins;
  return pins;
}

int TOWInternalPinList::Count() {
  std::lock_guard g(Mutex());
  return static_cast<int>(Pins().size());
}

bool TOWInternalPinList::Contains(const TOWBasicPin* pin) {
  std::lock_guard g(Mutex());
  const auto& pins = Pins();
  return std::find(pins.begin(), pins.end(), pin) != pins.end();
}

// ---------------------------------------------------------------------------------------------
// TOWBasicPin

TOWBasicPin::TOWBasicPin() {
  interfaces_.push_back(kBasicPinInterface);
  std::lock_guard g(TOWInternalPinList::Mutex());
  TOWInternalPinList::Pins().push_back(this);
}

TOWBasicPin::~TOWBasicPin() {
  BeginDestroy();
  {
    std::lock_guard g(TOWInternalPinList::Mutex());
    auto& pins = TOWInternalPinList::Pins();
    for (TOWBasicPin* pin : pins) {
      if (pin != this) pin->ForgetPin(this);
    }
    std::erase(pins, this);
  }
  DissolveDependencies();
  GlobalLock().EndWrite();
}

void TOWBasicPin::BeginDestroy() {
  if (destroyLockHeld_) return;
  GlobalLock().BeginWrite();
  destroyLockHeld_ = true;
}

TComponent* TOWBasicPin::GetRootComponent() const {
  TComponent* owner = GetOwner();
  return owner ? owner->RootComponent() : nullptr;
}

bool TOWBasicPin::IsOwnerDestroying() const {
  TComponent* root = GetRootComponent();
  return root && root->IsDestroying();
}

void TOWBasicPin::AddInterface(const Guid& iid) {
  if (!ImplementsInterface(iid)) interfaces_.push_back(iid);
}

bool TOWBasicPin::ImplementsInterface(const Guid& iid) const {
  return std::find(interfaces_.begin(), interfaces_.end(), iid) != interfaces_.end();
}

bool TOWBasicPin::SupportsType(const Guid& id) {
  return ImplementsInterface(id) && !VetoesType(id);
}

IOWPinReceiver* TOWBasicPin::QueryReceiver(const Guid& iid) {
  return ImplementsInterface(iid) ? Receiver() : nullptr;
}

// ---------------------------------------------------------------------------------------------
// TOWPin, TOWStreamPin

void TOWPin::RaiseDependsOnItself() {
  throw EOWException(kDependsOnItselfMessage);
}

void TOWStreamPin::AddDataType(const Guid& id) {
  types_.Add(id, TOWStreamTypeRegistry::Instance().DispatchFor(id));
}

void TOWStreamPin::AddFunction(const Guid& id, TOWDeliveryFunction function) {
  types_.Add(id, function);
}

}  // namespace tardivox
