#include "pins/ExtCollection.h"

#include <algorithm>
#include <exception>

#include "buffers/AssignError.h"
#include "core/Exceptions.h"

namespace tardivox {

int TOWExtCollectionItem::Index() const {
  if (!collection_) return -1;
  const auto& items = collection_->items_;
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].get() == this) return static_cast<int>(i);
  }
  return -1;
}

void TOWExtCollectionItem::SetIndex(int index) {
  const int current = Index();
  if (current < 0) return;
  auto& items = collection_->items_;
  index = std::clamp(index, 0, static_cast<int>(items.size()) - 1);
  std::unique_ptr<TOWExtCollectionItem> self = std::move(items[current]);
  items.erase(items.begin() + current);
  items.insert(items.begin() + index, std::move(self));
}

void TOWExtCollectionItem::Assign(const TOWExtCollectionItem& source) {
  RaiseAssignError(source.ClassName(), ClassName());
}

TOWExtCollection::TOWExtCollection(TPersistent* owner, ItemFactory itemFactory)
    : owner_(owner), itemFactory_(std::move(itemFactory)) {}

TOWExtCollection::~TOWExtCollection() {
  Clear();
}

void TOWExtCollection::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) {
    throw ERangeError(FormatMessage("Index de liste hors limites (%d)", {std::to_string(index)}));
  }
}

TOWExtCollectionItem& TOWExtCollection::Items(int index) const {
  CheckIndex(index);
  return *items_[index];
}

TOWExtCollectionItem* TOWExtCollection::FindItemID(uint32_t id) const {
  for (const auto& item : items_) {
    if (item->id_ == id) return item.get();
  }
  return nullptr;
}

TOWExtCollectionItem& TOWExtCollection::Add() {
  return Insert(Count());
}

TOWExtCollectionItem& TOWExtCollection::Insert(int index) {
  index = std::clamp(index, 0, Count());
  std::unique_ptr<TOWExtCollectionItem> created = itemFactory_();
  TOWExtCollectionItem& item = *created;
  item.collection_ = this;
  item.id_ = nextId_++;
  items_.insert(items_.begin() + index, std::move(created));
  SetItemName(item);
  return item;
}

void TOWExtCollection::Delete(int index) {
  CheckIndex(index);
  // Taken out of the list first, so that the item's destructor sees a consistent collection.
  std::unique_ptr<TOWExtCollectionItem> item = std::move(items_[index]);
  items_.erase(items_.begin() + index);
  item->collection_ = nullptr;
}

void TOWExtCollection::Clear() {
  while (!items_.empty()) Delete(Count() - 1);
}

void TOWExtCollection::Assign(const TOWExtCollection& source) {
  if (&source == this) return;
  Clear();
  for (const auto& item : source.items_) Add().Assign(*item);
}

void TOWExtCollection::AddObserver(IOWCollectionObserver* observer) {
  if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) {
    observers_.push_back(observer);
  }
}

void TOWExtCollection::RemoveObserver(IOWCollectionObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void TOWExtCollection::ItemAdded(TOWExtCollectionItem&) {}

void TOWExtCollection::SetItemName(TOWExtCollectionItem& item) {
  Announce(item);
}

void TOWExtCollection::Announce(TOWExtCollectionItem& item) {
  if (item.announced_) return;
  item.announced_ = true;
  ItemAdded(item);
  // A copy: an observer may remove itself while it is told.
  const std::vector<IOWCollectionObserver*> observers = observers_;
  for (IOWCollectionObserver* observer : observers) {
    try {
      observer->ItemAdded(*this, item);
    } catch (const std::exception&) {
      // An observer's failure must not undo or block the addition.
    }
  }
}

}  // namespace tardivox
