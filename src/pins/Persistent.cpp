#include "pins/Persistent.h"

#include <algorithm>

#include "pins/Exceptions.h"

namespace tardivox {

namespace {

bool PathToImpl(const TPersistent* from, const TPersistent* target, std::string& path,
                std::vector<const TPersistent*>& visited) {
  if (std::find(visited.begin(), visited.end(), from) != visited.end()) return false;
  visited.push_back(from);
  for (const TPublishedProperty& p : from->PublishedProperties()) {
    if (!p.IsObject()) continue;
    const size_t mark = path.size();
    if (!path.empty()) path += '.';
    path += p.name;
    if (p.object == target || PathToImpl(p.object, target, path, visited)) return true;
    path.resize(mark);
  }
  return false;
}

}  // namespace

void TPersistent::PublishValue(std::string name, std::function<TPropertyValue()> get,
                               std::function<void(const TPropertyValue&)> set,
                               TPropertyValue defaultValue) {
  TPublishedProperty p;
  p.name = std::move(name);
  p.get = std::move(get);
  p.set = std::move(set);
  p.defaultValue = std::move(defaultValue);
  properties_.push_back(std::move(p));
}

void TPersistent::PublishIdentifier(std::string name, std::function<std::string()> get,
                                    std::function<void(const std::string&)> set,
                                    std::string defaultValue) {
  std::function<void(const TPropertyValue&)> setValue;
  if (set) setValue = [set](const TPropertyValue& v) { set(AsString(v)); };
  PublishValue(
      std::move(name), [get] { return TPropertyValue(get()); }, std::move(setValue),
      std::move(defaultValue));
  properties_.back().identifier = true;
}

void TPersistent::PublishObject(std::string name, TPersistent* object) {
  TPublishedProperty p;
  p.name = std::move(name);
  p.object = object;
  properties_.push_back(std::move(p));
}

const TPublishedProperty* TPersistent::FindProperty(std::string_view path) const {
  const TPersistent* object = this;
  for (;;) {
    const size_t dot = path.find('.');
    const std::string_view head = path.substr(0, dot);
    const TPublishedProperty* found = nullptr;
    for (const TPublishedProperty& p : object->properties_) {
      if (p.name == head) {
        found = &p;
        break;
      }
    }
    if (!found || dot == std::string_view::npos) return found;
    if (!found->IsObject()) return nullptr;
    object = found->object;
    path.remove_prefix(dot + 1);
  }
}

void TPersistent::SetPropertyValue(std::string_view path, const TPropertyValue& value) {
  const TPublishedProperty* p = FindProperty(path);
  if (!p || p->IsObject() || !p->set) {
    throw Exception("Property " + std::string(path) + " cannot be set");
  }
  p->set(value);
}

TPropertyValue TPersistent::GetPropertyValue(std::string_view path) const {
  const TPublishedProperty* p = FindProperty(path);
  if (!p || p->IsObject() || !p->get) {
    throw Exception("Property " + std::string(path) + " does not exist");
  }
  return p->get();
}

std::string TPersistent::PathTo(const TPersistent* target) const {
  std::string path;
  std::vector<const TPersistent*> visited;
  if (target && PathToImpl(this, target, path, visited)) return path;
  return {};
}

int64_t TPersistent::AsInteger(const TPropertyValue& value) {
  if (const auto* i = std::get_if<int64_t>(&value)) return *i;
  if (const auto* b = std::get_if<bool>(&value)) return *b ? 1 : 0;
  throw Exception("Invalid property value: an integer is expected");
}

double TPersistent::AsFloat(const TPropertyValue& value) {
  if (const auto* d = std::get_if<double>(&value)) return *d;
  return static_cast<double>(AsInteger(value));
}

bool TPersistent::AsBool(const TPropertyValue& value) {
  if (const auto* b = std::get_if<bool>(&value)) return *b;
  if (const auto* i = std::get_if<int64_t>(&value)) return *i != 0;
  throw Exception("Invalid property value: a boolean is expected");
}

const std::string& TPersistent::AsString(const TPropertyValue& value) {
  if (const auto* s = std::get_if<std::string>(&value)) return *s;
  throw Exception("Invalid property value: a string is expected");
}

}  // namespace tardivox
