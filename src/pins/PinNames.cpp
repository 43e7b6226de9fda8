#include "pins/PinNames.h"

#include "model/Component.h"
#include "pins/Pin.h"
#include "pins/PinList.h"

namespace tardivox {

std::string PinName(const TOWBasicPin& pin, bool internal) {
  TComponent* owner = pin.GetOwner();
  if (!owner) return {};
  if (TOWPinList* list = TOWPinList::ListOf(&pin); list && list->Owner() == owner) {
    const int index = list->IndexOf(&pin);
    const std::string listPath = owner->PathTo(list);
    if (index < 0 || listPath.empty()) return {};
    return listPath + "." +
           (internal ? list->ItemInternalName(index) : list->ItemDisplayName(index));
  }
  return owner->PathTo(&pin);
}

std::string PinOwnerName(const TOWBasicPin& pin) {
  TComponent* owner = pin.GetOwner();
  return owner ? owner->Name() : std::string();
}

std::string PinRootName(const TOWBasicPin& pin) {
  TComponent* root = pin.GetRootComponent();
  return root ? root->Name() : std::string();
}

std::string PinFullName(const TOWBasicPin& pin, bool internal, bool withRoot) {
  TComponent* owner = pin.GetOwner();
  if (!owner) return kNoOwnerPinName;
  const std::string name = PinName(pin, internal);
  if (name.empty()) return {};
  std::string full;
  TComponent* root = owner->RootComponent();
  if (withRoot && root && root != owner) full = root->Name() + ".";
  full += owner->Name();
  full += '.';
  full += name;
  return full;
}

}  // namespace tardivox
