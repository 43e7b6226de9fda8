#include "model/Component.h"

#include <algorithm>

#include "core/Exceptions.h"

namespace tardivox {

TComponent::TComponent(TComponent* owner) : owner_(owner) {
  if (owner_) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
  Destroying();
  while (!components_.empty()) {
    TComponent* last = components_.back();
    components_.pop_back();
    // Detached first so that its destructor does not look for itself in our list.
    last->owner_ = nullptr;
    delete last;
  }
  if (owner_) owner_->RemoveComponent(this);
}

void TComponent::SetName(std::string name) {
  if (name == name_) return;
  if (owner_ && !name.empty() && owner_->FindComponent(name)) {
    throw Exception(FormatMessage("A component named %s already exists", {name}));
  }
  name_ = std::move(name);
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_) {
    if (c->name_ == name) return c;
  }
  return nullptr;
}

void TComponent::Loaded() {
  loading_ = false;
}

TComponent* TComponent::RootComponent() {
  TComponent* c = this;
  while (c->owner_ && !c->IsRoot()) c = c->owner_;
  return c;
}

void TComponent::SetParentComponent(TComponent* parent) {
  throw Exception(name_ + " cannot be placed in " + (parent ? parent->Name() : std::string("nil")));
}

void TComponent::Destroying() {
  if (destroying_.exchange(true, std::memory_order_acq_rel)) return;
  for (TComponent* c : components_) c->Destroying();
}

void TComponent::RemoveComponent(TComponent* component) {
  auto it = std::find(components_.begin(), components_.end(), component);
  if (it != components_.end()) components_.erase(it);
}

}  // namespace tardivox
