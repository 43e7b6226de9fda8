#include "layout/StoredForm.h"

#include <cctype>
#include <charconv>

namespace tardivox {

namespace {

constexpr int kMaxDepth = 64;

bool IsIdentStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool IsIdentChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  TStoredObject ParseRoot() {
    SkipBlank();
    TStoredObject root = ParseObject(0);
    SkipBlank();
    if (pos_ < text_.size()) Fail("text after the last 'end'");
    return root;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const { throw EStoredFormError(line_, what); }

  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }

  void SkipBlank() {
    while (!AtEnd()) {
      const char c = text_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
      } else if (c == ' ' || c == '\t' || c == '\r') {
        ++pos_;
      } else {
        break;
      }
    }
  }

  // Blanks within one line only (a property's value starts on the property's line).
  void SkipSpaces() {
    while (!AtEnd() && (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\r')) ++pos_;
  }

  std::string Word() {
    if (!IsIdentStart(Peek())) return {};
    const size_t start = pos_;
    while (!AtEnd() && IsIdentChar(text_[pos_])) ++pos_;
    return std::string(text_.substr(start, pos_ - start));
  }

  // Identifier with optional dotted parts: fmMain.ALAudioIn1.OutputPin.
  std::string DottedName() {
    std::string name = Word();
    if (name.empty()) return name;
    while (Peek() == '.') {
      ++pos_;
      std::string part = Word();
      if (part.empty()) Fail("a name ends with '.'");
      name += '.';
      name += part;
    }
    return name;
  }

  void ExpectEndOfLine(const std::string& after) {
    SkipSpaces();
    if (!AtEnd() && Peek() != '\n') Fail("unexpected text after " + after);
  }

  TStoredObject ParseObject(int depth) {
    if (depth > kMaxDepth) Fail("objects nested too deeply");
    TStoredObject obj;
    obj.line = line_;
    if (Word() != "object") Fail("'object' expected");
    SkipSpaces();
    obj.name = Word();
    if (obj.name.empty()) Fail("object name expected");
    SkipSpaces();
    if (Peek() != ':') Fail("':' expected after the object name");
    ++pos_;
    SkipSpaces();
    obj.className = Word();
    if (obj.className.empty()) Fail("class name expected");
    ExpectEndOfLine("the class name");
    for (;;) {
      SkipBlank();
      if (AtEnd()) Fail("'end' missing for object " + obj.name);
      const size_t mark = pos_;
      const int markLine = line_;
      std::string word = Word();
      if (word == "end") {
        ExpectEndOfLine("'end'");
        return obj;
      }
      if (word == "object") {
        pos_ = mark;
        line_ = markLine;
        obj.children.push_back(ParseObject(depth + 1));
        continue;
      }
      pos_ = mark;
      TStoredProperty prop;
      prop.line = line_;
      prop.name = DottedName();
      if (prop.name.empty()) Fail("property name expected");
      SkipSpaces();
      if (Peek() != '=') Fail("'=' expected after " + prop.name);
      ++pos_;
      SkipSpaces();
      prop.value = ParseValue(depth + 1);
      ExpectEndOfLine("the value of " + prop.name);
      obj.properties.push_back(std::move(prop));
    }
  }

  TStoredValue ParseValue(int depth) {
    if (depth > kMaxDepth) Fail("values nested too deeply");
    const char c = Peek();
    if (c == '\'') return ParseString();
    if (c == '(') return ParseSequence(depth, '(', ')', TStoredValue::Kind::List);
    if (c == '[') return ParseSequence(depth, '[', ']', TStoredValue::Kind::Set);
    if (c == '-' || c == '+' || std::isdigit(static_cast<unsigned char>(c))) return ParseNumber();
    if (IsIdentStart(c)) return TStoredValue::Identifier(DottedName());
    if (AtEnd() || c == '\n') Fail("value missing");
    Fail(std::string("unexpected character '") + c + "'");
  }

  TStoredValue ParseString() {
    std::string out;
    ++pos_;  // opening quote
    for (;;) {
      if (AtEnd() || Peek() == '\n') Fail("string not closed");
      const char c = text_[pos_++];
      if (c != '\'') {
        out += c;
      } else if (Peek() == '\'') {
        out += '\'';
        ++pos_;
      } else {
        return TStoredValue::String(std::move(out));
      }
    }
  }

  TStoredValue ParseNumber() {
    const size_t start = pos_;
    if (Peek() == '-' || Peek() == '+') ++pos_;
    bool digits = false;
    bool fraction = false;
    while (!AtEnd()) {
      const char c = text_[pos_];
      if (std::isdigit(static_cast<unsigned char>(c))) {
        digits = true;
      } else if (c == '.' && !fraction) {
        fraction = true;
      } else {
        break;
      }
      ++pos_;
    }
    const std::string_view written = text_.substr(start, pos_ - start);
    if (!digits) Fail("number expected");
    TStoredValue v;
    v.text = std::string(written);
    if (fraction) {
      v.kind = TStoredValue::Kind::Number;
      return v;
    }
    v.kind = TStoredValue::Kind::Integer;
    std::string_view body = written;
    if (body.front() == '+') body.remove_prefix(1);
    const auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), v.integer);
    if (ec != std::errc() || end != body.data() + body.size()) Fail("integer out of range");
    return v;
  }

  TStoredValue ParseSequence(int depth, char open, char close, TStoredValue::Kind kind) {
    const int openLine = line_;
    ++pos_;
    TStoredValue v;
    v.kind = kind;
    for (;;) {
      SkipBlank();
      if (AtEnd()) {
        throw EStoredFormError(openLine,
                               std::string("'") + open + "' is never closed by '" + close + "'");
      }
      if (Peek() == close) {
        ++pos_;
        return v;
      }
      if (kind == TStoredValue::Kind::Set) {
        if (!v.items.empty()) {
          if (Peek() != ',') Fail("',' expected between set elements");
          ++pos_;
          SkipBlank();
        }
        std::string name = Word();
        if (name.empty()) Fail("set element expected");
        v.items.push_back(TStoredValue::Identifier(std::move(name)));
      } else {
        v.items.push_back(ParseValue(depth + 1));
      }
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
  int line_ = 1;
};

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    out += c;
    if (c == '\'') out += '\'';
  }
  out += '\'';
  return out;
}

void WriteObject(const TStoredObject& obj, int depth, std::string& out) {
  const std::string indent(static_cast<size_t>(depth) * 2, ' ');
  out += indent + "object " + obj.name + ": " + obj.className + "\n";
  for (const auto& p : obj.properties)
    out += indent + "  " + p.name + " = " + WriteStoredValue(p.value) + "\n";
  for (const auto& child : obj.children) WriteObject(child, depth + 1, out);
  out += indent + "end\n";
}

}  // namespace

EStoredFormError::EStoredFormError(int line, const std::string& what)
    : Exception("line " + std::to_string(line) + ": " + what), line_(line) {}

TStoredValue TStoredValue::Identifier(std::string name) {
  TStoredValue v;
  v.kind = Kind::Identifier;
  v.text = std::move(name);
  return v;
}

TStoredValue TStoredValue::Integer(int64_t value) {
  TStoredValue v;
  v.kind = Kind::Integer;
  v.integer = value;
  v.text = std::to_string(value);
  return v;
}

TStoredValue TStoredValue::String(std::string value) {
  TStoredValue v;
  v.kind = Kind::String;
  v.text = std::move(value);
  return v;
}

TStoredValue TStoredValue::List(std::vector<TStoredValue> items) {
  TStoredValue v;
  v.kind = Kind::List;
  v.items = std::move(items);
  return v;
}

const TStoredProperty* TStoredObject::Find(std::string_view property) const {
  for (const auto& p : properties)
    if (p.name == property) return &p;
  return nullptr;
}

std::string WriteStoredValue(const TStoredValue& value) {
  switch (value.kind) {
    case TStoredValue::Kind::Identifier:
    case TStoredValue::Kind::Number:
      return value.text;
    case TStoredValue::Kind::Integer:
      return std::to_string(value.integer);
    case TStoredValue::Kind::String:
      return Quote(value.text);
    case TStoredValue::Kind::List: {
      std::string out = "(";
      for (size_t i = 0; i < value.items.size(); ++i) {
        if (i) out += ' ';
        out += WriteStoredValue(value.items[i]);
      }
      return out + ")";
    }
    case TStoredValue::Kind::Set: {
      std::string out = "[";
      for (size_t i = 0; i < value.items.size(); ++i) {
        if (i) out += ", ";
        out += value.items[i].text;
      }
      return out + "]";
    }
  }
  return {};
}

TStoredObject ParseStoredForm(std::string_view text) {
  return Parser(text).ParseRoot();
}

std::string WriteStoredForm(const TStoredObject& root) {
  std::string out;
  WriteObject(root, 0, out);
  return out;
}

}  // namespace tardivox
