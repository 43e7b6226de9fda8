#include "layout/LayoutReader.h"

#include <charconv>
#include <cmath>
#include <vector>

#include "core/Exceptions.h"
#include "layout/PinStorage.h"
#include "model/Component.h"
#include "pins/UnloadedPin.h"

namespace tardivox {

namespace {

class TLayoutReader {
 public:
  TLayoutReader(TComponent& root, const TStoredObject& layout, const TClassRegistry& registry)
      : root_(root), layout_(layout), registry_(registry), context_(root, layout.name) {}

  void Read() {
    CheckRootClass();
    if (root_.Name().empty()) At(layout_.line, [&] { root_.SetName(layout_.name); });
    TOWUnloadedPin::DropUnused();
    try {
      root_.BeginLoading();
      ReadChildren(layout_, nullptr);
      ReadObject(root_, layout_);
      ResolveAll(root_);
      for (TComponent* c : loading_) ResolveAll(*c);
    } catch (...) {
      for (TComponent* c : loading_) c->TComponent::Loaded();
      root_.TComponent::Loaded();
      TOWUnloadedPin::DropUnused();
      throw;
    }
    TOWUnloadedPin::DropUnused();
    // Loaded may start devices: every setting and connection is in place by now.
    for (TComponent* c : loading_) c->Loaded();
    root_.Loaded();
  }

 private:
  template <class F>
  static void At(int line, F&& f) {
    try {
      f();
    } catch (const EStoredFormError&) {
      throw;
    } catch (const std::exception& e) {
      throw EStoredFormError(line, e.what());
    }
  }

  void CheckRootClass() {
    const std::string rootClass = registry_.ClassNameOf(root_);
    if (!rootClass.empty() && rootClass != layout_.className) {
      throw EStoredFormError(layout_.line, "The layout is of class " + layout_.className +
                                               ", the window of class " + rootClass);
    }
  }

  // The objects written inside `object` are components owned by the root and placed in
  // `parent` (null at the top level); each is read before the objects inside it.
  void ReadChildren(const TStoredObject& object, TComponent* parent) {
    for (const TStoredObject& child : object.children) {
      TComponent* component = CreateChild(child);
      if (parent) At(child.line, [&] { component->SetParentComponent(parent); });
      ReadObject(*component, child);
      ReadChildren(child, component);
    }
  }

  TComponent* CreateChild(const TStoredObject& child) {
    TComponent* component = nullptr;
    At(child.line, [&] {
      if (child.name.empty()) throw Exception("A component must have a name");
      component = root_.FindComponent(child.name);
      if (component) {
        if (registry_.ClassNameOf(*component) != child.className) {
          throw Exception(child.name + " is not of class " + child.className);
        }
      } else {
        if (!registry_.Contains(child.className)) {
          throw Exception("Unknown class " + child.className);
        }
        component = registry_.Create(child.className, &root_);
        if (!component) throw Exception("Class " + child.className + " cannot be created");
        component->SetName(child.name);
      }
      if (!component->IsLoading()) {
        component->BeginLoading();
        loading_.push_back(component);
      }
    });
    return component;
  }

  void ReadObject(TComponent& component, const TStoredObject& object) {
    // Placeholders that stand for this component's pins are resolved before its own
    // properties are read, so that its connections are made in the stored order.
    ResolveAll(component);
    for (const TStoredProperty& property : object.properties) {
      At(property.line, [&] { ApplyProperty(component, property); });
      ResolveAll(component);
    }
  }

  void ApplyProperty(TComponent& component, const TStoredProperty& property) {
    const std::string& name = property.name;
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && IsStoredPinProperty(std::string_view(name).substr(dot + 1))) {
      const TPublishedProperty* owner =
          component.FindProperty(std::string_view(name).substr(0, dot));
      if (owner && owner->IsObject() &&
          ReadStoredPinProperty(*owner->object, std::string_view(name).substr(dot + 1),
                                property.value, context_)) {
        return;
      }
    }
    const TPublishedProperty* p = component.FindProperty(name);
    if (!p) throw Exception("Unknown property " + name + " in " + component.Name());
    if (p->IsObject() || !p->set) throw Exception("Property " + name + " cannot be set");
    p->set(StoredToPropertyValue(property.value, *p));
  }

  void ResolveAll(TComponent& component) {
    std::vector<TOWBasicPin*> pins;
    CollectPins(component, pins);
    for (TOWBasicPin* pin : pins) TOWUnloadedPin::ResolveFor(*pin);
  }

  TComponent& root_;
  const TStoredObject& layout_;
  const TClassRegistry& registry_;
  TPinLoadContext context_;
  std::vector<TComponent*> loading_;
};

}  // namespace

TPropertyValue StoredToPropertyValue(const TStoredValue& value,
                                     const TPublishedProperty& property) {
  const TPropertyValue& like = property.defaultValue;
  const bool wantsFloat = std::holds_alternative<double>(like);
  const bool wantsString = std::holds_alternative<std::string>(like);
  const TValueSpelling spelling = wantsString ? property.spelling : TValueSpelling::Plain;
  if (spelling == TValueSpelling::Set) {
    if (value.kind != TStoredValue::Kind::Set) {
      throw Exception("A set expected, not " + WriteStoredValue(value));
    }
    std::vector<std::string> names;
    for (const TStoredValue& item : value.items) names.push_back(item.text);
    return TPersistent::JoinSet(names);
  }
  if (spelling == TValueSpelling::Strings) {
    if (value.kind != TStoredValue::Kind::List) {
      throw Exception("A list of strings expected, not " + WriteStoredValue(value));
    }
    std::vector<std::string> strings;
    for (const TStoredValue& item : value.items) {
      if (item.kind != TStoredValue::Kind::String) {
        throw Exception("A string expected in the list, not " + WriteStoredValue(item));
      }
      strings.push_back(item.text);
    }
    return TPersistent::JoinStrings(strings);
  }
  switch (value.kind) {
    case TStoredValue::Kind::Identifier:
      if (!wantsString && (value.text == "True" || value.text == "False")) {
        return value.text == "True";
      }
      if (std::holds_alternative<bool>(like)) {
        throw Exception("True or False expected, not " + value.text);
      }
      if (!wantsString) throw Exception("A number expected, not " + value.text);
      if (spelling != TValueSpelling::Identifier) {
        throw Exception("A string expected, not " + value.text);
      }
      return value.text;  // an enumeration name
    case TStoredValue::Kind::Integer:
      if (wantsString) throw Exception("A string expected, not " + value.text);
      if (std::holds_alternative<bool>(like)) {
        throw Exception("True or False expected, not " + value.text);
      }
      if (wantsFloat) return static_cast<double>(value.integer);
      return value.integer;
    case TStoredValue::Kind::Number: {
      if (!wantsFloat) throw Exception("An integer expected, not " + value.text);
      double d = 0;
      std::string_view body = value.text;
      if (!body.empty() && body.front() == '+') body.remove_prefix(1);
      const auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), d);
      if (ec != std::errc() || end != body.data() + body.size() || !std::isfinite(d)) {
        throw Exception("Invalid number " + value.text);
      }
      return d;
    }
    case TStoredValue::Kind::String:
      if (!wantsString || spelling != TValueSpelling::Plain) {
        throw Exception("A string is not expected here: " + WriteStoredValue(value));
      }
      return value.text;
    case TStoredValue::Kind::List:
    case TStoredValue::Kind::Set:
      break;
  }
  throw Exception("A list is not expected here: " + WriteStoredValue(value));
}

void ReadLayout(TComponent& root, const TStoredObject& layout, const TClassRegistry& registry) {
  TLayoutReader(root, layout, registry).Read();
}

void ReadLayout(TComponent& root, std::string_view text, const TClassRegistry& registry) {
  const TStoredObject layout = ParseStoredForm(text);
  ReadLayout(root, layout, registry);
}

}  // namespace tardivox
