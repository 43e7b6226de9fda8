#pragma once
// The stored names of the displays' enumerations (marker shapes, ticks modes): a table of
// names in the enumeration's order, read both ways. Pure; any thread.
// Failure: a name that is not in the table raises Exception "Unknown <what> <name>"; a value
// outside the table raises std::out_of_range.

#include <array>
#include <cstddef>
#include <string>

#include "core/Exceptions.h"

namespace tardivox {

template <class Enum, size_t N>
std::string EnumName(const std::array<const char*, N>& names, Enum value) {
  return names.at(static_cast<size_t>(value));
}

template <class Enum, size_t N>
Enum EnumOf(const std::array<const char*, N>& names, const std::string& name, const char* what) {
  for (size_t i = 0; i < N; ++i) {
    if (name == names[i]) return static_cast<Enum>(i);
  }
  throw Exception(std::string("Unknown ") + what + " " + name);
}

}  // namespace tardivox
