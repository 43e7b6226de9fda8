#pragma once
// Reading a stored layout onto a root component (a window and the components it owns).
//
// The root keeps its name when it has one (references written under the layout's root name
// are renamed to it) and takes the layout's name otherwise. Each child object finds the owned
// component of that name or creates one through the class registry (owned by the root), then
// its properties are applied in the stored order: value properties by dotted name
// (True/False, integers, numbers, strings and identifiers converted to the property's type),
// and the stored connections of pins and pin lists (PinStorage.h), which may refer to pins not
// read yet. Every component stays in the loading state until all are read; then Loaded runs on
// each, in reading order, the root last.
//
// Threads: the window's thread.
// Failure: malformed text, an unknown class, an unknown or read-only property, a value of the
// wrong kind or a refused connection raise EStoredFormError naming the line. Components
// created before the error stay owned by the root, their loading state ended without running
// their Loaded; connections already made stay.

#include <string_view>

#include "layout/StoredForm.h"
#include "model/ClassRegistry.h"
#include "model/Persistent.h"

namespace tardivox {

class TComponent;

void ReadLayout(TComponent& root, std::string_view text,
                const TClassRegistry& registry = TClassRegistry::Global());
void ReadLayout(TComponent& root, const TStoredObject& layout,
                const TClassRegistry& registry = TClassRegistry::Global());

// Converts a stored value for `property` (the type of its declared default decides between
// integer and floating point; identifier properties take identifiers, other string properties
// quoted strings). Raises Exception for lists, sets and mismatches.
TPropertyValue StoredToPropertyValue(const TStoredValue& value, const TPublishedProperty& property);

}  // namespace tardivox
