#pragma once
// The persistent-object base: an object whose published properties can be read and set by
// name, so that a stored layout can apply the values that differ from the declared defaults.
//
// A class publishes its properties in its constructor, in declaration order: value properties
// (with a getter, a setter and the declared default) and object properties (a nested persistent
// object reached through the property, for example a component's `AudioFormat` or its pins).
// Property paths are dotted: "AudioFormat.SampleRate".
//
// Threads: the property table is built during construction and read-only afterwards; getting
// and setting go through the published accessors, which state their own thread rules (property
// setters of components run on the window's thread).
// Failure: setting an unknown property or one without a setter raises Exception; a setter may
// raise its own errors.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tardivox {

// A published property value: booleans, integers (all widths), floating point and strings
// (identifiers and enumeration names are strings).
using TPropertyValue = std::variant<bool, int64_t, double, std::string>;

class TPersistent;

// The stored spellings of string properties:
//   Plain       a quoted string                     Caption = 'Tardivox'
//   Identifier  an enumeration name                 BorderStyle = bsSingle
//   Set         a set of names; the value holds     Font.Style = [fsBold, fsItalic]
//               them joined by ',' ("fsBold,fsItalic", "" for the empty set)
//   Strings     a list of strings; the value holds  Items = ('11025' '22050')
//               each one followed by '\n' ("11025\n22050\n", "" for no strings)
enum class TValueSpelling { Plain, Identifier, Set, Strings };

struct TPublishedProperty {
  std::string name;
  // Value properties: getter, optional setter (read-only without), the declared default.
  std::function<TPropertyValue()> get;
  std::function<void(const TPropertyValue&)> set;
  TPropertyValue defaultValue;
  // Object properties: the nested object (not owned), null for value properties.
  TPersistent* object = nullptr;
  // How a string property is spelt in a stored layout (value properties of other types are
  // always spelt as themselves).
  TValueSpelling spelling = TValueSpelling::Plain;

  bool IsObject() const { return object != nullptr; }
  // A stored layout records a value property only when it differs from its default.
  bool IsDefault() const { return !IsObject() && get && get() == defaultValue; }
};

class TPersistent {
 public:
  TPersistent() = default;
  TPersistent(const TPersistent&) = delete;
  TPersistent& operator=(const TPersistent&) = delete;
  virtual ~TPersistent() = default;

  // Published properties in declaration order.
  const std::vector<TPublishedProperty>& PublishedProperties() const { return properties_; }
  // The property at a dotted path, or null.
  const TPublishedProperty* FindProperty(std::string_view path) const;
  // Sets a value property by dotted path; raises Exception when the path names no settable
  // value property.
  void SetPropertyValue(std::string_view path, const TPropertyValue& value);
  // Reads a value property by dotted path; raises Exception when there is none.
  TPropertyValue GetPropertyValue(std::string_view path) const;
  // The dotted path of published object properties that leads from this object to `target`
  // (each nested object visited once), or empty when `target` is not reachable.
  std::string PathTo(const TPersistent* target) const;

  // Conversions used by setters: integer and boolean values convert into each other and into
  // floating point; anything else raises Exception.
  static int64_t AsInteger(const TPropertyValue& value);
  static double AsFloat(const TPropertyValue& value);
  static bool AsBool(const TPropertyValue& value);
  static const std::string& AsString(const TPropertyValue& value);

 protected:
  void PublishValue(std::string name, std::function<TPropertyValue()> get,
                    std::function<void(const TPropertyValue&)> set, TPropertyValue defaultValue);
  void PublishObject(std::string name, TPersistent* object);
  // Publishes another object's property as one of this object's own (a component that stands
  // for an object and shows that object's settings as its own); the object must outlive this one.
  void PublishForwarded(const TPublishedProperty& property) { properties_.push_back(property); }
  // A string property holding enumeration names, stored as identifiers (`BorderStyle = bsNone`).
  void PublishIdentifier(std::string name, std::function<std::string()> get,
                         std::function<void(const std::string&)> set, std::string defaultValue);
  // A set of enumeration names, held as one string of names joined by ','. The setter only
  // sees sets drawn from `names` (when given): any other name raises Exception
  // "Unknown <what> <name>" and nothing is set.
  void PublishSet(std::string name, std::function<std::string()> get,
                  std::function<void(const std::string&)> set, std::string defaultValue,
                  std::vector<std::string> names = {}, std::string what = "set element");
  // A list of strings (default: none). The setter receives the stored list; strings cannot
  // hold a line break.
  void PublishStrings(std::string name, std::function<std::vector<std::string>()> get,
                      std::function<void(const std::vector<std::string>&)> set);

 public:
  // The one-string forms of set and string-list values (see TValueSpelling).
  static std::vector<std::string> SplitSet(std::string_view names);
  static std::string JoinSet(const std::vector<std::string>& names);
  static std::vector<std::string> SplitStrings(std::string_view lines);
  static std::string JoinStrings(const std::vector<std::string>& strings);

 private:
  void PublishString(std::string name, std::function<std::string()> get,
                     std::function<void(const std::string&)> set, std::string defaultValue,
                     TValueSpelling spelling);

 private:
  std::vector<TPublishedProperty> properties_;
};

}  // namespace tardivox
