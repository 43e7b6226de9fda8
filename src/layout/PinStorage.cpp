#include "layout/PinStorage.h"

#include <algorithm>

#include "core/Exceptions.h"
#include "locks/LockObject.h"
#include "model/Component.h"
#include "pins/PinList.h"
#include "pins/PinNames.h"
#include "pins/SinkPin.h"
#include "pins/SourcePin.h"
#include "pins/StatePin.h"
#include "pins/UnloadedPin.h"

namespace tardivox {

namespace {

constexpr std::string_view kPinProperties[] = {"Form",      "State", "SinkPins",
                                               "SourcePin", "Pins",  "PinsOwner"};

[[noreturn]] void Invalid(std::string_view what, const TStoredValue& value) {
  throw Exception("Invalid " + std::string(what) + ": " + WriteStoredValue(value));
}

void CollectPinsImpl(TPersistent& object, std::vector<TOWBasicPin*>& pins,
                     std::vector<const TPersistent*>& visited) {
  if (std::find(visited.begin(), visited.end(), &object) != visited.end()) return;
  visited.push_back(&object);
  for (const TPublishedProperty& p : object.PublishedProperties()) {
    if (!p.IsObject() || dynamic_cast<TComponent*>(p.object)) continue;
    if (auto* pin = dynamic_cast<TOWBasicPin*>(p.object)) {
      pins.push_back(pin);
    } else if (auto* list = dynamic_cast<TOWPinList*>(p.object)) {
      for (int i = 0; i < list->RawCount(); ++i) pins.push_back(list->RawItem(i));
    } else {
      CollectPinsImpl(*p.object, pins, visited);
    }
  }
}

void CollectTree(TComponent& component, std::vector<TOWBasicPin*>& pins) {
  CollectPins(component, pins);
  for (int i = 0; i < component.ComponentCount(); ++i) CollectTree(*component.Components(i), pins);
}

std::string Replaced(std::string name, const std::string& savedRoot, const std::string& root) {
  if (!savedRoot.empty() && savedRoot != root && name.size() > savedRoot.size() &&
      name.compare(0, savedRoot.size(), savedRoot) == 0 && name[savedRoot.size()] == '.') {
    name.replace(0, savedRoot.size(), root);
  }
  return name;
}

// ---- references -----------------------------------------------------------------------------

struct TReference {
  std::string internal;
  std::string display;
  std::string follow;  // sink references only
};

TReference ParseReference(const TStoredValue& value) {
  if (value.kind == TStoredValue::Kind::Identifier) return {value.text, value.text, {}};
  if (value.kind == TStoredValue::Kind::List && value.items.size() == 2 &&
      value.items[0].kind == TStoredValue::Kind::Identifier &&
      value.items[1].kind == TStoredValue::Kind::String) {
    return {value.items[0].text, value.items[1].text, {}};
  }
  Invalid("pin reference", value);
}

TReference ParseSinkReference(const TStoredValue& value) {
  if (value.kind == TStoredValue::Kind::List && value.items.size() >= 2 &&
      value.items.size() <= 3 && value.items[0].kind == TStoredValue::Kind::Identifier &&
      value.items[1].kind == TStoredValue::Kind::Identifier) {
    TReference r{value.items[0].text, value.items[0].text, value.items[1].text};
    if (value.items.size() == 3) {
      if (value.items[2].kind != TStoredValue::Kind::String) Invalid("sink reference", value);
      r.display = value.items[2].text;
    }
    return r;
  }
  return ParseReference(value);
}

TStoredValue WriteReference(const TOWBasicPin& pin) {
  const std::string internal = InternalFullName(pin, true);
  const std::string display = DisplayFullName(pin, true);
  if (internal == display) return TStoredValue::Identifier(internal);
  return TStoredValue::List({TStoredValue::Identifier(internal), TStoredValue::String(display)});
}

TStoredValue WriteSinkReferences(const TOWSourcePin& source) {
  std::vector<TStoredValue> items;
  for (int i = 0; i < source.SinkCount(); ++i) {
    TOWBasicPin* sink = source.GetSink(i);
    const TOWSinkPinEntry* entry = source.FindEntry(sink);
    if (entry && entry->after) {
      std::vector<TStoredValue> parts{
          TStoredValue::Identifier(InternalFullName(*sink, true)),
          TStoredValue::Identifier(InternalFullName(*entry->after, true))};
      const std::string display = DisplayFullName(*sink, true);
      if (display != parts[0].text) parts.push_back(TStoredValue::String(display));
      items.push_back(TStoredValue::List(std::move(parts)));
    } else {
      items.push_back(WriteReference(*sink));
    }
  }
  return TStoredValue::List(std::move(items));
}

// ---- connecting -----------------------------------------------------------------------------

std::string NameOf(const TOWBasicPin& pin) {
  if (auto* p = dynamic_cast<const TOWUnloadedPin*>(&pin)) return p->InternalName();
  return InternalFullName(pin, true);
}

void Connect(TOWBasicPin& self, TOWBasicPin* target, TOWBasicPin* follow) {
  if (dynamic_cast<TOWUnloadedPin*>(follow)) follow = nullptr;
  if (auto* placeholder = dynamic_cast<TOWUnloadedPin*>(target)) {
    placeholder->ConnectTo(&self, follow);
    return;
  }
  if (auto* placeholder = dynamic_cast<TOWUnloadedPin*>(&self)) {
    placeholder->ConnectTo(target, follow);
    return;
  }
  if (self.ConnectTo(target, follow)) return;
  // The pin to follow may not be connected yet; the order then comes from the reading order.
  if (follow && self.ConnectTo(target, nullptr)) return;
  throw Exception("Cannot connect " + NameOf(self) + " to " + NameOf(*target));
}

void ReadSinkPins(TOWBasicPin& pin, const TStoredValue& value, TPinLoadContext& context,
                  const std::string& savedRoot) {
  if (value.kind != TStoredValue::Kind::List) Invalid("sink list", value);
  if (pin.GetPinKind() == TOWPinKind::Sink && !dynamic_cast<TOWUnloadedPin*>(&pin))
    throw Exception("A sink pin has no SinkPins");
  for (const TStoredValue& item : value.items) {
    TReference r = ParseSinkReference(item);
    TOWBasicPin* follow = nullptr;
    if (!r.follow.empty()) {
      follow = context.Lookup(r.follow, r.follow, TOWPinKind::Sink, savedRoot);
    }
    TOWBasicPin* sink =
        context.Lookup(std::move(r.internal), std::move(r.display), TOWPinKind::Sink, savedRoot);
    Connect(pin, sink, follow);
  }
}

void ReadSourcePin(TOWBasicPin& pin, const TStoredValue& value, TPinLoadContext& context,
                   const std::string& savedRoot) {
  if (pin.GetPinKind() == TOWPinKind::Source && !dynamic_cast<TOWUnloadedPin*>(&pin))
    throw Exception("A source pin has no SourcePin");
  TReference r = ParseReference(value);
  Connect(
      pin,
      context.Lookup(std::move(r.internal), std::move(r.display), TOWPinKind::Source, savedRoot),
      nullptr);
}

void ReadState(TOWBasicPin& pin, const TStoredValue& value, TPinLoadContext& context,
               const std::string& savedRoot) {
  std::string name;
  TOWBasicPin* follow = nullptr;
  if (value.kind == TStoredValue::Kind::String) {
    name = value.text;
  } else if (value.kind == TStoredValue::Kind::List && !value.items.empty() &&
             value.items.size() <= 2 && value.items[0].kind == TStoredValue::Kind::String) {
    name = value.items[0].text;
    if (value.items.size() == 2) {
      TReference r = ParseReference(value.items[1]);
      follow =
          context.Lookup(std::move(r.internal), std::move(r.display), TOWPinKind::State, savedRoot);
      if (dynamic_cast<TOWUnloadedPin*>(follow)) follow = nullptr;
    }
  } else {
    Invalid("state", value);
  }
  if (dynamic_cast<TOWUnloadedPin*>(&pin)) return;  // a list placeholder has no state of its own
  auto& states = context.States();
  auto it = states.find(name);
  if (it == states.end()) {
    states.emplace(name, &pin);
    return;
  }
  TOWBasicPin* first = it->second;
  const bool linked = first->Dispatcher() ? pin.JoinDispatcher(first->Dispatcher(), follow)
                                          : first->StateLink(&pin, follow);
  if (!linked) throw Exception("Cannot link " + NameOf(pin) + " to " + name);
}

// One item entry of `Pins` starting at items[pos]; answers the position after it.
size_t ReadItemEntry(TOWBasicPin& pin, const std::vector<TStoredValue>& items, size_t pos,
                     TPinLoadContext& context, const std::string& savedRoot) {
  const TStoredValue& head = items[pos];
  if (head.IsIdentifier("nil")) return pos + 1;
  if (head.IsIdentifier("Sinks")) {
    if (pos + 1 >= items.size()) Invalid("pin list entry", head);
    ReadSinkPins(pin, items[pos + 1], context, savedRoot);
    return pos + 2;
  }
  if (head.IsIdentifier("State")) {
    if (pos + 1 >= items.size() || items[pos + 1].kind != TStoredValue::Kind::List ||
        items[pos + 1].items.empty()) {
      Invalid("pin list entry", head);
    }
    const std::vector<TStoredValue>& parts = items[pos + 1].items;
    ReadState(pin, parts[0], context, savedRoot);
    if (parts.size() == 2) {
      ReadSourcePin(pin, parts[1], context, savedRoot);
    } else if (parts.size() == 3 && parts[1].IsIdentifier("Sinks")) {
      ReadSinkPins(pin, parts[2], context, savedRoot);
    } else if (parts.size() != 1) {
      Invalid("pin list entry", items[pos + 1]);
    }
    return pos + 2;
  }
  ReadSourcePin(pin, head, context, savedRoot);
  return pos + 1;
}

void ReadPins(TOWPinList& list, const TStoredValue& value, TPinLoadContext& context) {
  if (value.kind != TStoredValue::Kind::List) Invalid("pin list", value);
  const std::string& savedRoot = context.SavedRootFor(&list);
  const std::vector<TStoredValue>& items = value.items;
  int index = 0;
  for (size_t pos = 0; pos < items.size(); ++index) {
    list.EnsureItem(index);
    if (index >= list.RawCount()) throw Exception("Too many pins in the list");
    pos = ReadItemEntry(*list.RawItem(index), items, pos, context, savedRoot);
  }
}

TStoredValue StateValue(const TOWBasicPin& pin) {
  TOWStateDispatcher* d = pin.Dispatcher();
  if (TOWBasicPin* follow = d->FollowOf(&pin)) {
    return TStoredValue::List({TStoredValue::String(d->Name()), WriteReference(*follow)});
  }
  return TStoredValue::String(d->Name());
}

std::string RootNameOf(const TComponent* owner) {
  const TComponent* root = owner ? const_cast<TComponent*>(owner)->RootComponent() : nullptr;
  return root ? root->Name() : std::string();
}

}  // namespace

// ---------------------------------------------------------------------------------------------

TOWBasicPin* TPinLoadContext::Lookup(std::string internalName, std::string displayName,
                                     TOWPinKind kind, const std::string& savedRoot) {
  const std::string& rootName = root_.Name();
  internalName = Replaced(std::move(internalName), savedRoot, rootName);
  displayName = Replaced(std::move(displayName), savedRoot, rootName);
  std::vector<TOWBasicPin*> pins;
  CollectTree(root_, pins);
  auto nameOf = [](TOWBasicPin* pin, bool internal) {
    if (auto* p = dynamic_cast<TOWUnloadedPin*>(pin)) {
      return internal ? p->InternalName() : p->DisplayName();
    }
    return PinFullName(*pin, internal, true);
  };
  for (TOWBasicPin* pin : pins) {
    if (nameOf(pin, false) == displayName) return pin;
  }
  for (TOWBasicPin* pin : pins) {
    if (nameOf(pin, true) == internalName) return pin;
  }
  if (TOWUnloadedPin* p = TOWUnloadedPin::Find(internalName, displayName, &root_)) return p;
  return TOWUnloadedPin::Create(std::move(internalName), std::move(displayName), kind, &root_,
                                false);
}

const std::string& TPinLoadContext::SavedRootFor(const void* object) const {
  auto it = savedRoots_.find(object);
  return it == savedRoots_.end() ? savedRootName_ : it->second;
}

bool IsStoredPinProperty(std::string_view name) {
  return std::find(std::begin(kPinProperties), std::end(kPinProperties), name) !=
         std::end(kPinProperties);
}

void CollectPins(TPersistent& object, std::vector<TOWBasicPin*>& pins) {
  std::vector<const TPersistent*> visited;
  CollectPinsImpl(object, pins, visited);
}

bool ReadStoredPinProperty(TPersistent& object, std::string_view name, const TStoredValue& value,
                           TPinLoadContext& context) {
  auto* pin = dynamic_cast<TOWBasicPin*>(&object);
  auto* list = dynamic_cast<TOWPinList*>(&object);
  if (!pin && !list) return false;
  TOWGlobalWriteLockSection global;
  if (name == "Form") {
    if (value.kind != TStoredValue::Kind::Identifier) Invalid("root name", value);
    context.SetSavedRoot(&object, value.text);
    if (list) list->SetSavedRootName(value.text);
    return true;
  }
  if (name == "PinsOwner") {
    if (!value.IsIdentifier("True") && !value.IsIdentifier("False")) Invalid("boolean", value);
    return true;
  }
  if (list) {
    if (name != "Pins") throw Exception("A pin list has no property " + std::string(name));
    ReadPins(*list, value, context);
    return true;
  }
  const std::string& savedRoot = context.SavedRootFor(&object);
  if (name == "State") {
    ReadState(*pin, value, context, savedRoot);
  } else if (name == "SinkPins") {
    ReadSinkPins(*pin, value, context, savedRoot);
  } else if (name == "SourcePin") {
    ReadSourcePin(*pin, value, context, savedRoot);
  } else {
    throw Exception("A pin has no property " + std::string(name));
  }
  return true;
}

bool WriteStoredPinProperties(TPersistent& object, const std::string& path,
                              std::vector<TStoredProperty>& out) {
  auto add = [&](const char* name, TStoredValue value) {
    out.push_back(TStoredProperty{path + "." + name, std::move(value), 0});
  };
  if (auto* list = dynamic_cast<TOWPinList*>(&object)) {
    add("Form", TStoredValue::Identifier(RootNameOf(list->Owner())));
    std::vector<TStoredValue> entries;
    bool connected = dynamic_cast<TOWPinListOwner*>(list) != nullptr;
    const int count = list->Count();
    for (int i = 0; i < count; ++i) {
      TOWBasicPin* pin = list->Items(i);
      if (pin->IsStateLinked()) {
        std::vector<TStoredValue> parts{StateValue(*pin)};
        if (auto* source = dynamic_cast<TOWSourcePin*>(pin); source && source->SinkCount() > 0) {
          parts.push_back(TStoredValue::Identifier("Sinks"));
          parts.push_back(WriteSinkReferences(*source));
        } else if (auto* sink = dynamic_cast<TOWSinkPin*>(pin); sink && sink->SourcePin()) {
          parts.push_back(WriteReference(*sink->SourcePin()));
        }
        entries.push_back(TStoredValue::Identifier("State"));
        entries.push_back(TStoredValue::List(std::move(parts)));
        connected = true;
      } else if (auto* source = dynamic_cast<TOWSourcePin*>(pin); source && source->SinkCount()) {
        entries.push_back(TStoredValue::Identifier("Sinks"));
        entries.push_back(WriteSinkReferences(*source));
        connected = true;
      } else if (auto* sink = dynamic_cast<TOWSinkPin*>(pin); sink && sink->SourcePin()) {
        entries.push_back(WriteReference(*sink->SourcePin()));
        connected = true;
      } else {
        entries.push_back(TStoredValue::Identifier("nil"));
      }
    }
    if (connected) add("Pins", TStoredValue::List(std::move(entries)));
    return true;
  }
  auto* pin = dynamic_cast<TOWBasicPin*>(&object);
  if (!pin) return false;
  if (pin->IsStateLinked()) {
    add("Form", TStoredValue::Identifier(RootNameOf(pin->GetOwner())));
    add("State", StateValue(*pin));
  }
  if (auto* source = dynamic_cast<TOWSourcePin*>(pin); source && source->SinkCount() > 0) {
    add("SinkPins", WriteSinkReferences(*source));
  }
  if (auto* sink = dynamic_cast<TOWSinkPin*>(pin); sink && sink->SourcePin()) {
    add("SourcePin", WriteReference(*sink->SourcePin()));
  }
  return true;
}

}  // namespace tardivox
