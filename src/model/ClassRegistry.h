#pragma once
// The class registry: component class names (as a stored layout spells them, `TALDelayLine`)
// mapped to factories, so that a layout reader can create components by class name and a
// writer can name the class of a component.
//
// Threads: registration and look-ups may come from any thread (guarded by a mutex); the
// factories run on the caller's thread (the window's thread).
// Failure: Create answers null for an unknown class; registering a name twice replaces it.

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <typeindex>

namespace tardivox {

class TComponent;

class TClassRegistry {
 public:
  using TFactory = std::function<TComponent*(TComponent* owner)>;

  // The registry of the program.
  static TClassRegistry& Global();

  void Register(std::string className, std::type_index type, TFactory factory);
  template <class T>
  void Register(std::string className) {
    Register(std::move(className), typeid(T), [](TComponent* owner) { return new T(owner); });
  }
  // Registers a class that is never created by a layout (a window's root), only named.
  void RegisterName(std::string className, std::type_index type);

  bool Contains(std::string_view className) const;
  // A new component of that class owned by `owner`, or null for an unknown class (or a class
  // registered by name only).
  TComponent* Create(std::string_view className, TComponent* owner) const;
  // The registered name of the component's dynamic class, or empty.
  std::string ClassNameOf(const TComponent& component) const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, TFactory, std::less<>> factories_;
  std::map<std::type_index, std::string> names_;
};

}  // namespace tardivox
