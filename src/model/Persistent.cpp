#include "model/Persistent.h"

#include <algorithm>

#include "core/Exceptions.h"

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

// The pieces of `text` between separators; a separator at the very end ends the last piece
// rather than starting an empty one, and an empty text has no pieces.
std::vector<std::string> SplitAt(std::string_view text, char separator) {
  std::vector<std::string> out;
  while (!text.empty()) {
    const size_t end = text.find(separator);
    out.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return out;
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

void TPersistent::PublishString(std::string name, std::function<std::string()> get,
                                std::function<void(const std::string&)> set,
                                std::string defaultValue, TValueSpelling spelling) {
  std::function<void(const TPropertyValue&)> setValue;
  if (set) setValue = [set](const TPropertyValue& v) { set(AsString(v)); };
  PublishValue(
      std::move(name), [get] { return TPropertyValue(get()); }, std::move(setValue),
      std::move(defaultValue));
  properties_.back().spelling = spelling;
}

void TPersistent::PublishIdentifier(std::string name, std::function<std::string()> get,
                                    std::function<void(const std::string&)> set,
                                    std::string defaultValue) {
  PublishString(std::move(name), std::move(get), std::move(set), std::move(defaultValue),
                TValueSpelling::Identifier);
}

void TPersistent::PublishSet(std::string name, std::function<std::string()> get,
                             std::function<void(const std::string&)> set, std::string defaultValue,
                             std::vector<std::string> names, std::string what) {
  std::function<void(const std::string&)> checked;
  if (set) {
    checked = [set, names = std::move(names), what = std::move(what)](const std::string& v) {
      for (const std::string& element : SplitSet(v)) {
        if (!names.empty() && std::find(names.begin(), names.end(), element) == names.end()) {
          throw Exception("Unknown " + what + " " + element);
        }
      }
      set(v);
    };
  }
  PublishString(std::move(name), std::move(get), std::move(checked), std::move(defaultValue),
                TValueSpelling::Set);
}

void TPersistent::PublishStrings(std::string name, std::function<std::vector<std::string>()> get,
                                 std::function<void(const std::vector<std::string>&)> set) {
  std::function<void(const std::string&)> setText;
  if (set) setText = [set](const std::string& text) { set(SplitStrings(text)); };
  PublishString(
      std::move(name), [get] { return JoinStrings(get()); }, std::move(setText), std::string(),
      TValueSpelling::Strings);
}

std::vector<std::string> TPersistent::SplitSet(std::string_view names) {
  return SplitAt(names, ',');
}

std::string TPersistent::JoinSet(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) {
    if (!out.empty()) out += ',';
    out += name;
  }
  return out;
}

std::vector<std::string> TPersistent::SplitStrings(std::string_view lines) {
  return SplitAt(lines, '\n');
}

std::string TPersistent::JoinStrings(const std::vector<std::string>& strings) {
  std::string out;
  for (const std::string& s : strings) {
    if (s.find('\n') != std::string::npos) {
      throw Exception("A stored string cannot hold a line break");
    }
    out += s;
    out += '\n';
  }
  return out;
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
