#pragma once
// The base of the components' collections of named items (device alternatives, display items):
// an ordered list of owned items of one item class, with an owner and an announce-once hook.
//
// Adding an item (Add or Insert) creates it through the collection's item factory, places it,
// gives it the next identifier (from 0, never reused) and names it (SetItemName). Naming a new
// item first does the collection's usual naming and then announces the item, exactly once per
// item: its announced flag is set, the ItemAdded hook runs (subclasses initialise new items
// there, e.g. give them a default name) and every observer is told; an error raised by an
// observer is ignored.
//
// Ownership: the collection owns its items and destroys them (Delete, Clear, destruction); the
// owner (the persistent object that publishes the collection) outlives it and is not owned.
// Observers are not owned and must remove themselves before they are destroyed.
// Threads: no locking; a collection belongs to its owner's thread (the window's thread).
// Failure: an index outside 0 … Count()−1 raises ERangeError "Index de liste hors limites (%d)";
// assigning items of classes that do not know each other raises EConvertError
// "Impossible d'affecter %s à %s".

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/Persistent.h"

namespace tardivox {

class TOWExtCollection;

class TOWExtCollectionItem : public TPersistent {
 public:
  TOWExtCollectionItem() = default;

  // The collection the item belongs to, null before it is added.
  TOWExtCollection* Collection() const { return collection_; }
  // Position in the collection, -1 before it is added.
  int Index() const;
  // Moves the item to index (brought into 0 … Count()−1).
  void SetIndex(int index);
  uint32_t ID() const { return id_; }
  bool Announced() const { return announced_; }

  virtual const char* ClassName() const { return "TOWExtCollectionItem"; }
  // The name shown for the item; the class name unless a subclass has a better one.
  virtual std::string DisplayName() const { return ClassName(); }
  // Copies source's published state into this item. The base refuses (EConvertError); item
  // classes override it for sources they know.
  virtual void Assign(const TOWExtCollectionItem& source);

 private:
  friend class TOWExtCollection;
  TOWExtCollection* collection_ = nullptr;
  uint32_t id_ = 0;
  bool announced_ = false;
};

// Told about every item announced by a collection it watches.
class IOWCollectionObserver {
 public:
  virtual ~IOWCollectionObserver() = default;
  virtual void ItemAdded(TOWExtCollection& collection, TOWExtCollectionItem& item) = 0;
};

class TOWExtCollection : public TPersistent {
 public:
  // Creates one item of the collection's item class.
  using ItemFactory = std::function<std::unique_ptr<TOWExtCollectionItem>()>;

  TOWExtCollection(TPersistent* owner, ItemFactory itemFactory);
  ~TOWExtCollection() override;

  TPersistent* Owner() const { return owner_; }
  int Count() const { return static_cast<int>(items_.size()); }
  TOWExtCollectionItem& Items(int index) const;
  // The item with that identifier, or null.
  TOWExtCollectionItem* FindItemID(uint32_t id) const;

  // A new item at the end / at index (brought into 0 … Count()).
  TOWExtCollectionItem& Add();
  TOWExtCollectionItem& Insert(int index);
  // Destroys the item at index.
  void Delete(int index);
  // Destroys every item, last first.
  void Clear();
  // Replaces the items by new ones assigned from source's items, in order.
  void Assign(const TOWExtCollection& source);

  void AddObserver(IOWCollectionObserver* observer);
  void RemoveObserver(IOWCollectionObserver* observer);

 protected:
  // Called once for each new item, after it is placed and named. Empty in the base.
  virtual void ItemAdded(TOWExtCollectionItem& item);
  // Names a newly added item: the usual naming (none in the base), then the announcement.
  virtual void SetItemName(TOWExtCollectionItem& item);

 private:
  friend class TOWExtCollectionItem;
  void CheckIndex(int index) const;
  void Announce(TOWExtCollectionItem& item);

  TPersistent* owner_;
  ItemFactory itemFactory_;
  std::vector<std::unique_ptr<TOWExtCollectionItem>> items_;
  std::vector<IOWCollectionObserver*> observers_;
  uint32_t nextId_ = 0;
};

// A collection whose items are all of class Item (default-constructible, derived from
// TOWExtCollectionItem), with typed access.
template <class Item>
class TOWExtCollectionOf : public TOWExtCollection {
 public:
  explicit TOWExtCollectionOf(TPersistent* owner)
      : TOWExtCollection(owner, [] { return std::make_unique<Item>(); }) {}

  Item& Items(int index) const { return static_cast<Item&>(TOWExtCollection::Items(index)); }
  Item& Add() { return static_cast<Item&>(TOWExtCollection::Add()); }
  Item& Insert(int index) { return static_cast<Item&>(TOWExtCollection::Insert(index)); }
};

}  // namespace tardivox
