#pragma once
// The refusal of a whole-object assignment (formats) or of sharing a buffer of an unsuitable
// kind: EConvertError with the platform's text "Impossible d'affecter %s à %s", naming the
// source class (or "nil") and the target class.

#include "core/Exceptions.h"

namespace tardivox {

[[noreturn]] inline void RaiseAssignError(const char* sourceClass, const char* targetClass) {
  throw EConvertError(FormatMessage("Impossible d'affecter %s à %s",
                                    {sourceClass != nullptr ? sourceClass : "nil", targetClass}));
}

}  // namespace tardivox
