#pragma once
// The first step of every settings setter of the displays: store a value only when it differs,
// and say whether it did, so that the caller tells its display (relayout, repaint) only on a
// real change. Pure; any thread that owns the field.

#include <utility>

namespace tardivox {

template <class T, class U>
bool SetIfChanged(T& field, U&& value) {
  if (field == value) return false;
  field = std::forward<U>(value);
  return true;
}

}  // namespace tardivox
