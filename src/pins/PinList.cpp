#include "pins/PinList.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "core/Exceptions.h"
#include "locks/LockObject.h"
#include "model/Component.h"
#include "pins/Pin.h"
#include "pins/UnloadedPin.h"

namespace tardivox {

namespace {

// Which list holds a pin, so that a pin's name can be derived from its list position without
// a field in every pin.
std::mutex& OwningListMutex() {
  static std::mutex mutex;
  return mutex;
}

std::unordered_map<const TOWBasicPin*, TOWPinList*>& OwningLists() {
  static std::unordered_map<const TOWBasicPin*, TOWPinList*> lists;
  return lists;
}

void SetOwningList(const TOWBasicPin* pin, TOWPinList* list) {
  std::lock_guard g(OwningListMutex());
  if (list) {
    OwningLists()[pin] = list;
  } else {
    OwningLists().erase(pin);
  }
}

}  // namespace

TOWPinList* TOWPinList::ListOf(const TOWBasicPin* pin) {
  std::lock_guard g(OwningListMutex());
  auto it = OwningLists().find(pin);
  return it == OwningLists().end() ? nullptr : it->second;
}

TOWPinList::TOWPinList(TComponent* owner, bool ownsPins) : TOWPinList(owner, ownsPins, false) {
  PublishValue(
      "Count", [this] { return TPropertyValue(int64_t{Count()}); }, nullptr, int64_t{0});
}

TOWPinList::TOWPinList(TComponent* owner, bool ownsPins, bool publishCount)
    : owner_(owner), ownsPins_(ownsPins) {
  (void)publishCount;  // the derived class publishes its own, settable Count
}

TOWPinList::~TOWPinList() {
  Clear();
}

void TOWPinList::DropPlaceholders() {
  if (placeholderCount_ == 0) return;
  TOWGlobalWriteLockSection global;
  for (size_t i = items_.size(); i-- > 0;) {
    if (!items_[i].placeholder) continue;
    const TItem item = items_[i];
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
    --placeholderCount_;
    Release(item);
  }
}

int TOWPinList::Count() const {
  return static_cast<int>(items_.size()) - placeholderCount_;
}

TOWBasicPin* TOWPinList::Items(int index) const {
  if (placeholderCount_ == 0) return RawItem(index);
  // Placeholders left by a load that failed: they are skipped, never handed out.
  if (index >= 0) {
    int seen = 0;
    for (const TItem& item : items_) {
      if (item.placeholder) continue;
      if (seen++ == index) return item.pin;
    }
  }
  throw ERangeError(FormatMessage("Index out of range = %u", {std::to_string(index)}));
}

TOWBasicPin* TOWPinList::RawItem(int index) const {
  if (index < 0 || index >= RawCount()) {
    throw ERangeError(FormatMessage("Index out of range = %u", {std::to_string(index)}));
  }
  return items_[static_cast<size_t>(index)].pin;
}

void TOWPinList::Add(TOWBasicPin* pin) {
  if (!pin) return;
  TOWGlobalWriteLockSection global;
  if (pin->GetOwner() == owner_) SetOwningList(pin, this);
  for (TItem& item : items_) {
    if (!item.placeholder) continue;
    auto* placeholder = static_cast<TOWUnloadedPin*>(item.pin);
    item.pin = pin;
    item.placeholder = false;
    --placeholderCount_;
    TOWUnloadedPin::Resolve(placeholder, *pin);
    // References made before the list had this item wait under the same name.
    TOWUnloadedPin::ResolveFor(*pin);
    return;
  }
  items_.push_back(TItem{std::string(), pin, false});
  TOWUnloadedPin::ResolveFor(*pin);
}

void TOWPinList::Release(const TItem& item) {
  if (item.placeholder) {
    TOWUnloadedPin::Destroy(static_cast<TOWUnloadedPin*>(item.pin));
    return;
  }
  if (ListOf(item.pin) == this) SetOwningList(item.pin, nullptr);
  if (ownsPins_) delete item.pin;
}

void TOWPinList::Remove(TOWBasicPin* pin) {
  TOWGlobalWriteLockSection global;
  for (size_t i = items_.size(); i-- > 0;) {
    if (i >= items_.size() || items_[i].pin != pin) continue;
    const TItem item = items_[i];
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
    if (item.placeholder) --placeholderCount_;
    Release(item);
  }
}

void TOWPinList::Delete(int index) {
  if (index < 0 || index >= RawCount()) {
    throw ERangeError(FormatMessage("Index out of range = %u", {std::to_string(index)}));
  }
  TOWGlobalWriteLockSection global;
  const TItem item = items_[static_cast<size_t>(index)];
  items_.erase(items_.begin() + index);
  if (item.placeholder) --placeholderCount_;
  Release(item);
}

void TOWPinList::Clear() {
  TOWGlobalWriteLockSection global;
  // Released one at a time from the end, so that a pin's destruction never sees a list that
  // still names pins already freed.
  while (!items_.empty()) {
    const TItem item = items_.back();
    items_.pop_back();
    if (item.placeholder) --placeholderCount_;
    Release(item);
  }
  clearedMarker_ = -1;
}

int TOWPinList::IndexOf(const TOWBasicPin* pin) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].pin == pin) return static_cast<int>(i);
  }
  return -1;
}

std::string TOWPinList::ItemDisplayName(int index) const {
  if (index >= 0 && index < RawCount() && !items_[static_cast<size_t>(index)].name.empty()) {
    return items_[static_cast<size_t>(index)].name;
  }
  return "Pin [" + std::to_string(index) + "]";
}

std::string TOWPinList::ItemInternalName(int index) const {
  return "_Pin" + std::to_string(index);
}

void TOWPinList::AppendPlaceholder() {
  const int index = RawCount();
  std::string prefix;
  TComponent* root = owner_ ? owner_->RootComponent() : nullptr;
  if (owner_) {
    if (root && root != owner_) prefix = root->Name() + ".";
    prefix += owner_->Name() + "." + owner_->PathTo(this) + ".";
  }
  TOWUnloadedPin* placeholder =
      TOWUnloadedPin::Create(prefix + ItemInternalName(index), prefix + ItemDisplayName(index),
                             TOWPinKind::Sink, root, true);
  items_.push_back(TItem{std::string(), placeholder, true});
  ++placeholderCount_;
}

void TOWPinList::EnsureItem(int index) {
  TOWGlobalWriteLockSection global;
  while (RawCount() <= index) AppendPlaceholder();
}

// ---------------------------------------------------------------------------------------------
// TOWPinListOwner

TOWPinListOwner::TOWPinListOwner(TComponent* owner, TRemovePin removePin, TCreatePin createPin,
                                 int maximum, int minimum)
    : TOWPinList(owner, true, false),
      createPin_(std::move(createPin)),
      removePin_(std::move(removePin)),
      minimum_(std::max(minimum, 0)),
      maximum_(maximum) {
  // Only a count other than the minimum is worth storing.
  PublishValue(
      "Count", [this] { return TPropertyValue(int64_t{Count()}); },
      [this](const TPropertyValue& v) {
        SetCount(static_cast<int>(std::clamp<int64_t>(AsInteger(v), INT32_MIN, INT32_MAX)));
      },
      int64_t{minimum_});
  SetCount(minimum_);
}

void TOWPinListOwner::SetCount(int n) {
  n = std::max(n, minimum_);
  n = std::min(n, maximum_);
  n = std::max(n, 0);
  TOWGlobalWriteLockSection global;
  while (Count() > n) {
    // The last real pin: placeholders, if any, come after the real pins of an owner list.
    int last = RawCount() - 1;
    while (last >= 0 && items_[static_cast<size_t>(last)].placeholder) --last;
    if (last < 0) break;
    TOWBasicPin* pin = items_[static_cast<size_t>(last)].pin;
    if (removePin_) removePin_(*this, pin);
    // The callback may have removed it already.
    if (IndexOf(pin) >= 0) Remove(pin);
  }
  while (Count() < n && createPin_) {
    TOWBasicPin* pin = createPin_(Owner());
    if (!pin) break;
    Add(pin);
  }
}

void TOWPinListOwner::EnsureItem(int index) {
  if (index < maximum_ && Count() <= index) SetCount(index + 1);
  TOWPinList::EnsureItem(index);
}

}  // namespace tardivox
