#pragma once
// Pin lists: the variable sets of pins of a component (a splitter's `OutputPins`, an adder's
// `InputPins`).
//
// TOWPinList keeps an ordered list of (name, pin) items. While the owner's stored layout is
// read, items may be placeholders (TOWUnloadedPin) for pins that are not created yet, so that
// other components can already refer to them; a real pin added later takes the place of the
// first placeholder item and resolves it. The owner drops the placeholder items that are left
// when its loading ends (DropPlaceholders from its Loaded, after it has created its pins), on
// the loading thread. Count and Items skip placeholders and never lock or change the list, so
// a delivery may walk the list on the capture thread inside group locks without ever asking
// for the global write section (which would deadlock against a thread waiting for one of those
// group locks).
// TOWPinListOwner creates and removes its pins itself: Count := n is brought into
// [minimum, maximum]; surplus pins are handed to the remove-pin callback, last first, then
// freed; missing pins are made by the create-pin callback.
//
// Ownership: the list belongs to its owner component and must be destroyed with it; destroying
// it clears it, freeing the pins it owns. A list that does not own its pins must be told about
// a pin (Remove) before that pin is destroyed.
// Threads: the window's thread changes the list; adding and removing hold the global write
// section. Count and Items may also be called from a delivery (any thread inside a section).
// Failure: Items/Delete with an index outside the list raise ERangeError.

#include <functional>
#include <string>
#include <vector>

#include "locks/OWObject.h"
#include "model/Persistent.h"

namespace tardivox {

class TComponent;
class TOWBasicPin;
class TOWUnloadedPin;

class TOWPinList : public TOWObject, public TPersistent {
 public:
  TOWPinList(TComponent* owner, bool ownsPins);
  ~TOWPinList() override;

  TComponent* Owner() const { return owner_; }
  bool OwnsPins() const { return ownsPins_; }

  // Items that are not placeholders, in list order. Nothing is locked or changed.
  // Thread: any (inside a section, or the thread that changes the list). Real-time: yes.
  int Count() const;
  TOWBasicPin* Items(int index) const;
  // Appends `pin`, or lets it take the place of the first placeholder item (resolving it).
  void Add(TOWBasicPin* pin);
  // Drops every item holding `pin` (freed when the list owns its pins).
  void Remove(TOWBasicPin* pin);
  void Delete(int index);
  void Clear();

  int IndexOf(const TOWBasicPin* pin) const;
  // "Pin [i]" unless the item has a stored name; "_Pin" followed by the index.
  std::string ItemDisplayName(int index) const;
  std::string ItemInternalName(int index) const;

  // The list whose owner owns `pin` and that holds it, or null.
  static TOWPinList* ListOf(const TOWBasicPin* pin);

  // Loading support: every item including placeholders, and how many are placeholders.
  int RawCount() const { return static_cast<int>(items_.size()); }
  TOWBasicPin* RawItem(int index) const;
  int PlaceholderCount() const { return placeholderCount_; }
  // Appends placeholder items until item `index` exists; their names are those the real pins
  // will have (`root.Owner.List._Pin<i>`).
  virtual void EnsureItem(int index);
  // The root name read with the list's stored connections (its `Form`).
  const std::string& SavedRootName() const { return savedRootName_; }
  void SetSavedRootName(std::string name) { savedRootName_ = std::move(name); }
  // Drops the placeholder items, last first, under the global write section. The owner calls
  // it from its Loaded, after its own pins are in place.
  // Thread: the loading (window's) thread. Locks: takes the global write section.
  void DropPlaceholders();

 protected:
  // For derived lists that publish their own Count.
  TOWPinList(TComponent* owner, bool ownsPins, bool publishCount);

  struct TItem {
    std::string name;
    TOWBasicPin* pin = nullptr;
    bool placeholder = false;
  };
  // Frees or releases the pin of a dropped item.
  void Release(const TItem& item);
  void AppendPlaceholder();

  std::vector<TItem> items_;

 private:
  TComponent* owner_;
  bool ownsPins_;
  int clearedMarker_ = 0;
  int placeholderCount_ = 0;
  std::string savedRootName_;
};

class TOWPinListOwner : public TOWPinList {
 public:
  using TCreatePin = std::function<TOWBasicPin*(TComponent* owner)>;
  using TRemovePin = std::function<void(TOWPinList& list, TOWBasicPin* pin)>;

  // Stores the callbacks and bounds (a negative minimum becomes 0) and sets Count to the
  // minimum.
  TOWPinListOwner(TComponent* owner, TRemovePin removePin, TCreatePin createPin, int maximum,
                  int minimum);

  int Minimum() const { return minimum_; }
  int Maximum() const { return maximum_; }
  // n is raised to the minimum, then lowered to the maximum.
  void SetCount(int n);
  // Creates pins up to `index` (within the maximum) instead of placeholders.
  void EnsureItem(int index) override;

 private:
  TCreatePin createPin_;
  TRemovePin removePin_;
  int minimum_;
  int maximum_;
};

}  // namespace tardivox
