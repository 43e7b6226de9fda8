#include "model/ClassRegistry.h"

#include "model/Component.h"

namespace tardivox {

TClassRegistry& TClassRegistry::Global() {
  static TClassRegistry registry;
  return registry;
}

void TClassRegistry::Register(std::string className, std::type_index type, TFactory factory) {
  std::lock_guard g(mutex_);
  names_.insert_or_assign(type, className);
  factories_.insert_or_assign(std::move(className), std::move(factory));
}

void TClassRegistry::RegisterName(std::string className, std::type_index type) {
  Register(std::move(className), type, nullptr);
}

bool TClassRegistry::Contains(std::string_view className) const {
  std::lock_guard g(mutex_);
  return factories_.find(className) != factories_.end();
}

TComponent* TClassRegistry::Create(std::string_view className, TComponent* owner) const {
  TFactory factory;
  {
    std::lock_guard g(mutex_);
    auto it = factories_.find(className);
    if (it == factories_.end() || !it->second) return nullptr;
    factory = it->second;
  }
  return factory(owner);
}

std::string TClassRegistry::ClassNameOf(const TComponent& component) const {
  std::lock_guard g(mutex_);
  auto it = names_.find(std::type_index(typeid(component)));
  return it == names_.end() ? std::string() : it->second;
}

}  // namespace tardivox
