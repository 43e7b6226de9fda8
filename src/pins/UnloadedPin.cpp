#include "pins/UnloadedPin.h"

#include <algorithm>
#include <mutex>

#include "locks/LockObject.h"
#include "model/Component.h"
#include "pins/PinNames.h"

namespace tardivox {

namespace {

// TOWBasicPinList: the owning list of placeholders.
std::mutex& PlaceholderMutex() {
  static std::mutex mutex;
  return mutex;
}

std::vector<TOWUnloadedPin*>& Placeholders() {
  static std::vector<TOWUnloadedPin*> list;
  return list;
}

}  // namespace

TOWUnloadedPin::TOWUnloadedPin(std::string internalName, std::string displayName, TOWPinKind kind,
                               TComponent* root, bool listItem)
    : internalName_(std::move(internalName)),
      displayName_(std::move(displayName)),
      kind_(kind),
      root_(root),
      listItem_(listItem) {}

TOWUnloadedPin::~TOWUnloadedPin() {
  BeginDestroy();
}

TOWUnloadedPin* TOWUnloadedPin::Create(std::string internalName, std::string displayName,
                                       TOWPinKind kind, TComponent* root, bool listItem) {
  auto* pin =
      new TOWUnloadedPin(std::move(internalName), std::move(displayName), kind, root, listItem);
  std::lock_guard g(PlaceholderMutex());
  Placeholders().push_back(pin);
  return pin;
}

std::vector<TOWUnloadedPin*> TOWUnloadedPin::All() {
  std::lock_guard g(PlaceholderMutex());
  return Placeholders();
}

TOWUnloadedPin* TOWUnloadedPin::Find(const std::string& internalName,
                                     const std::string& displayName, TComponent* root,
                                     bool includeListItems) {
  std::lock_guard g(PlaceholderMutex());
  for (TOWUnloadedPin* p : Placeholders()) {
    if (p->root_ != root || (p->listItem_ && !includeListItems)) continue;
    if ((!internalName.empty() && p->internalName_ == internalName) ||
        (!displayName.empty() && p->displayName_ == displayName)) {
      return p;
    }
  }
  return nullptr;
}

void TOWUnloadedPin::Destroy(TOWUnloadedPin* placeholder) {
  if (!placeholder) return;
  {
    std::lock_guard g(PlaceholderMutex());
    std::erase(Placeholders(), placeholder);
  }
  delete placeholder;
}

void TOWUnloadedPin::DropUnused() {
  std::vector<TOWUnloadedPin*> unused;
  {
    std::lock_guard g(PlaceholderMutex());
    for (TOWUnloadedPin* p : Placeholders()) {
      if (p->links_.empty() && !p->listItem_) unused.push_back(p);
    }
  }
  for (TOWUnloadedPin* p : unused) Destroy(p);
}

bool TOWUnloadedPin::ConnectTo(TOWBasicPin* pin, TOWBasicPin* after) {
  if (!pin || pin == this) return false;
  for (const TLink& link : links_) {
    if (link.pin == pin) return true;
  }
  links_.push_back(TLink{pin, after});
  return true;
}

bool TOWUnloadedPin::IsConnectedTo(const TOWBasicPin* pin) const {
  return std::any_of(links_.begin(), links_.end(),
                     [&](const TLink& link) { return link.pin == pin; });
}

TOWBasicPin* TOWUnloadedPin::GetLink(int index) const {
  if (index < 0 || index >= LinkCount()) return nullptr;
  return links_[static_cast<size_t>(index)].pin;
}

void TOWUnloadedPin::ForgetPin(TOWBasicPin* pin) {
  std::erase_if(links_, [&](const TLink& link) { return link.pin == pin; });
  for (TLink& link : links_) {
    if (link.follow == pin) link.follow = nullptr;
  }
}

void TOWUnloadedPin::Resolve(TOWUnloadedPin* placeholder, TOWBasicPin& real) {
  TOWGlobalWriteLockSection global;
  // Last first: the first recorded link ends up first in the real pin's order.
  const std::vector<TLink> links = placeholder->links_;
  for (auto it = links.rbegin(); it != links.rend(); ++it) {
    TOWBasicPin* pin = it->pin;
    if (auto* other = dynamic_cast<TOWUnloadedPin*>(pin)) {
      // Both ends are still unknown: the other placeholder now waits for the real pin.
      other->ConnectTo(&real, it->follow);
      continue;
    }
    TOWBasicPin* follow = dynamic_cast<TOWUnloadedPin*>(it->follow) ? nullptr : it->follow;
    if (!real.ConnectTo(pin, follow) && follow) real.ConnectTo(pin, nullptr);
  }
  {
    std::lock_guard g(PlaceholderMutex());
    for (TOWUnloadedPin* p : Placeholders()) {
      for (TLink& link : p->links_) {
        if (link.pin == placeholder) link.pin = &real;
        if (link.follow == placeholder) link.follow = &real;
      }
    }
  }
  Destroy(placeholder);
}

int TOWUnloadedPin::ResolveFor(TOWBasicPin& real) {
  if (dynamic_cast<TOWUnloadedPin*>(&real)) return 0;
  TComponent* root = real.GetRootComponent();
  const std::string internal = InternalFullName(real, true);
  const std::string display = DisplayFullName(real, true);
  if (internal.empty() || internal == kNoOwnerPinName) return 0;
  int resolved = 0;
  // List items are resolved by their list when the real pin is added.
  while (TOWUnloadedPin* p = Find(internal, display, root, false)) {
    Resolve(p, real);
    ++resolved;
  }
  return resolved;
}

}  // namespace tardivox
