#pragma once
// The textual stored form of a window and its components:
//
//   object fmMain: TfmMain
//     Caption = 'Tardivox'
//     object ALDelayLine1: TALDelayLine
//       Enabled = False
//       InputPin.SourcePin = fmMain.ALAudioIn1.OutputPin
//     end
//   end
//
// Values are identifiers (dotted names allowed), integers, decimal numbers, quoted strings
// ('it''s' doubles a quote), parenthesised lists of values and bracketed sets of identifiers.
// ParseStoredForm turns text into a tree; WriteStoredForm prints a tree in the one canonical
// layout (two spaces per level), so parsing canonical text and writing it back gives the same
// text. Pure functions: safe on any thread.
//
// Failure: malformed text raises EStoredFormError whose message names the line ("line 12: …");
// the parser never reads outside its input and bounds the nesting depth.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/Exceptions.h"

namespace tardivox {

class EStoredFormError : public Exception {
 public:
  EStoredFormError(int line, const std::string& what);
  int Line() const { return line_; }

 private:
  int line_;
};

struct TStoredValue {
  enum class Kind { Identifier, Integer, Number, String, List, Set };

  Kind kind = Kind::Identifier;
  std::string text;  // identifier, string contents, or the number as written
  int64_t integer = 0;
  std::vector<TStoredValue> items;  // list and set elements

  static TStoredValue Identifier(std::string name);
  static TStoredValue Integer(int64_t value);
  static TStoredValue String(std::string value);
  static TStoredValue List(std::vector<TStoredValue> items);

  bool IsIdentifier(std::string_view name) const {
    return kind == Kind::Identifier && text == name;
  }
  friend bool operator==(const TStoredValue&, const TStoredValue&) = default;
};

struct TStoredProperty {
  std::string name;  // may be a dotted path: OutputPin.SinkPins
  TStoredValue value;
  int line = 0;  // where it was read (0 when built in code)
};

struct TStoredObject {
  std::string name;
  std::string className;
  std::vector<TStoredProperty> properties;
  std::vector<TStoredObject> children;
  int line = 0;

  const TStoredProperty* Find(std::string_view property) const;
};

TStoredObject ParseStoredForm(std::string_view text);
std::string WriteStoredForm(const TStoredObject& root);
// One value in its stored spelling (used by the writer and by error messages).
std::string WriteStoredValue(const TStoredValue& value);

}  // namespace tardivox
