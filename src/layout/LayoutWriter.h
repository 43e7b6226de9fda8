#pragma once
// Writing a root component and the components it owns in the stored layout form: one object
// per component (the root's class and every owned component's class must be registered), its
// value properties that differ from their declared defaults and the stored connections of its
// pins and pin lists, in declaration order; owned components in ownership order. Writing a
// layout that was just read gives the same text.
//
// Threads: the window's thread (no connection may change meanwhile).
// Failure: a component whose class is not registered raises Exception.

#include <string>

#include "layout/StoredForm.h"
#include "model/ClassRegistry.h"
#include "model/Persistent.h"

namespace tardivox {

class TComponent;

TStoredObject WriteLayoutTree(TComponent& root,
                              const TClassRegistry& registry = TClassRegistry::Global());
std::string WriteLayout(TComponent& root,
                        const TClassRegistry& registry = TClassRegistry::Global());

// A property value in its stored spelling (True/False, integers, numbers, and strings spelt as
// `spelling` says).
TStoredValue PropertyToStoredValue(const TPropertyValue& value,
                                   TValueSpelling spelling = TValueSpelling::Plain);

}  // namespace tardivox
