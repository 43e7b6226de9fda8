#pragma once
// The component base: a persistent object with an owner, a `Name`, the components it owns, and
// the loading and destroying states that a stored layout and the pins consult.
//
// Ownership: a component created with an owner is owned by it and must have been created with
// `new`; the owner destroys its remaining components, last first, when it is destroyed itself.
// A component destroyed earlier (by its owner's code) leaves its owner's list on the way. A
// component without an owner belongs to whoever created it.
// Loading: a stored-layout reader calls BeginLoading(), sets the stored property values by
// name, then Loaded(). Components override Loaded() to act once their settings are complete
// (calling the base first, which ends the loading state).
// Threads: creation, naming, loading and destruction happen on the window's thread. Pins read
// IsDestroying() of their root component from any thread only while its owner is alive.
// Failure: SetName raises Exception when a sibling of the same owner already has that name.

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "model/Persistent.h"

namespace tardivox {

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  // Virtual so that a component can follow its name elsewhere (a control names its widget).
  virtual void SetName(std::string name);

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const { return components_.at(index); }
  // The owned component with that name, or null.
  TComponent* FindComponent(std::string_view name) const;

  bool IsLoading() const { return loading_; }
  bool IsDestroying() const { return destroying_.load(std::memory_order_acquire); }
  // Design mode never occurs at run time.
  bool IsDesigning() const { return false; }

  // Enters the loading state (a stored layout is being applied).
  void BeginLoading() { loading_ = true; }
  // Called once the stored settings were applied. The base ends the loading state; overrides
  // call it first.
  virtual void Loaded();

  // True for a component that roots a naming scope (a window or a data module): pins name
  // themselves and look up their root component up to the first such component.
  virtual bool IsRoot() const { return false; }
  // The first component, starting from this one, that has no owner or is a root.
  TComponent* RootComponent();

  // The component this one is placed in on screen (a control's parent panel), or null. It is
  // independent of ownership: a window owns all its controls, whatever contains them. A stored
  // layout writes a component inside the object of its parent component.
  virtual TComponent* ParentComponent() const { return nullptr; }
  // Places this component in `parent` (a layout read it inside the parent's object). The base
  // refuses with Exception: only controls can be placed in another component.
  virtual void SetParentComponent(TComponent* parent);

 protected:
  // Marks this component and every owned component as being destroyed. A derived destructor
  // that tears down threads or pins may call it first; the base destructor calls it anyway.
  void Destroying();

 private:
  void RemoveComponent(TComponent* component);

  TComponent* owner_;
  std::string name_;
  std::vector<TComponent*> components_;
  bool loading_ = false;
  std::atomic<bool> destroying_{false};
};

}  // namespace tardivox
