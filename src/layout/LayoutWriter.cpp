#include "layout/LayoutWriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>

#include "core/Exceptions.h"
#include "layout/PinStorage.h"
#include "model/Component.h"

namespace tardivox {

namespace {

void WriteProperties(TPersistent& object, const std::string& prefix,
                     std::vector<TStoredProperty>& out, std::vector<const TPersistent*>& visited) {
  if (std::find(visited.begin(), visited.end(), &object) != visited.end()) return;
  visited.push_back(&object);
  for (const TPublishedProperty& p : object.PublishedProperties()) {
    const std::string path = prefix + p.name;
    if (!p.IsObject()) {
      // Read-only values cannot be read back; defaults are implied.
      if (p.get && p.set && !p.IsDefault()) {
        out.push_back(TStoredProperty{path, PropertyToStoredValue(p.get(), p.spelling), 0});
      }
      continue;
    }
    if (dynamic_cast<TComponent*>(p.object)) continue;
    // A pin list's own settings (its Count) come before its connections.
    WriteProperties(*p.object, path + ".", out, visited);
    WriteStoredPinProperties(*p.object, path, out);
  }
}

TStoredObject WriteComponent(TComponent& component, const TClassRegistry& registry) {
  TStoredObject object;
  object.name = component.Name();
  object.className = registry.ClassNameOf(component);
  if (object.className.empty()) {
    throw Exception("The class of " + component.Name() + " is not registered");
  }
  std::vector<const TPersistent*> visited;
  WriteProperties(component, std::string(), object.properties, visited);
  return object;
}

}  // namespace

TStoredValue PropertyToStoredValue(const TPropertyValue& value, TValueSpelling spelling) {
  if (const auto* text = std::get_if<std::string>(&value)) {
    switch (spelling) {
      case TValueSpelling::Plain:
        break;
      case TValueSpelling::Identifier:
        return TStoredValue::Identifier(*text);
      case TValueSpelling::Set: {
        TStoredValue set;
        set.kind = TStoredValue::Kind::Set;
        for (std::string& name : TPersistent::SplitSet(*text)) {
          set.items.push_back(TStoredValue::Identifier(std::move(name)));
        }
        return set;
      }
      case TValueSpelling::Strings: {
        std::vector<TStoredValue> items;
        for (std::string& s : TPersistent::SplitStrings(*text)) {
          items.push_back(TStoredValue::String(std::move(s)));
        }
        return TStoredValue::List(std::move(items));
      }
    }
  }
  if (const auto* b = std::get_if<bool>(&value)) {
    return TStoredValue::Identifier(*b ? "True" : "False");
  }
  if (const auto* i = std::get_if<int64_t>(&value)) return TStoredValue::Integer(*i);
  if (const auto* d = std::get_if<double>(&value)) {
    // Fixed notation: the stored form has no exponents.
    if (!std::isfinite(*d)) throw Exception("A non-finite number cannot be stored");
    char text[400];
    const auto r = std::to_chars(text, text + sizeof text, *d, std::chars_format::fixed);
    TStoredValue v;
    v.kind = TStoredValue::Kind::Number;
    v.text.assign(text, r.ptr);
    return v;
  }
  return TStoredValue::String(std::get<std::string>(value));
}

TStoredObject WriteLayoutTree(TComponent& root, const TClassRegistry& registry) {
  // Components placed in another owned component are written inside its object; the others
  // (placed in the root, in nothing, or in a component outside this layout) at the top level.
  std::vector<TComponent*> owned;
  for (int i = 0; i < root.ComponentCount(); ++i) owned.push_back(root.Components(i));
  auto writtenIn = [&](TComponent* c) -> TComponent* {
    TComponent* parent = c->ParentComponent();
    if (parent && parent != c && std::find(owned.begin(), owned.end(), parent) != owned.end()) {
      return parent;
    }
    return &root;
  };
  size_t written = 0;
  std::function<void(TComponent&, TStoredObject&)> writeChildren = [&](TComponent& container,
                                                                       TStoredObject& object) {
    for (TComponent* c : owned) {
      if (writtenIn(c) != &container) continue;
      ++written;
      object.children.push_back(WriteComponent(*c, registry));
      writeChildren(*c, object.children.back());
    }
  };
  TStoredObject tree = WriteComponent(root, registry);
  writeChildren(root, tree);
  // Components placed in each other in a circle are reached from no top-level object.
  if (written != owned.size()) {
    throw Exception("The components of " + root.Name() + " are placed in each other in a circle");
  }
  return tree;
}

std::string WriteLayout(TComponent& root, const TClassRegistry& registry) {
  return WriteStoredForm(WriteLayoutTree(root, registry));
}

}  // namespace tardivox
