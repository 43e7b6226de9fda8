#include "pins/LayoutWriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "pins/Component.h"
#include "pins/Exceptions.h"
#include "pins/PinStorage.h"

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
        TStoredValue value = PropertyToStoredValue(p.get());
        if (p.identifier && value.kind == TStoredValue::Kind::String) {
          value.kind = TStoredValue::Kind::Identifier;
        }
        out.push_back(TStoredProperty{path, std::move(value), 0});
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

TStoredValue PropertyToStoredValue(const TPropertyValue& value) {
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
  TStoredObject tree = WriteComponent(root, registry);
  for (int i = 0; i < root.ComponentCount(); ++i) {
    tree.children.push_back(WriteComponent(*root.Components(i), registry));
  }
  return tree;
}

std::string WriteLayout(TComponent& root, const TClassRegistry& registry) {
  return WriteStoredForm(WriteLayoutTree(root, registry));
}

}  // namespace tardivox
