#pragma once
// Names of pins, as a stored layout refers to them.
//
// A pin owned by component C is named by the dotted path of published object properties that
// leads from C to the pin (`OutputPin`, `AudioFormat.X`), or, for an item of a pin list, by the
// list's path, a dot and the item's name: its display name "Pin [i]" or its internal name
// "_Pin" followed by the index (`InputPins.Pin [0]`, `InputPins._Pin0`). Full names put the
// owner's name in front (`SLAdd1.InputPins._Pin0`); with the root prefix the root component's
// name comes first (`fmMain.SLAdd1.InputPins._Pin0`). The root's own pins are named once
// (`fmMain.OutputPin`). A pin without an owner is named "(No owner)"; a pin that cannot be
// found among its owner's published properties has an empty name.
//
// Threads: call on the thread that creates and names components (the window's thread); the
// names are computed on every call from the current names and list positions.

#include <string>

namespace tardivox {

class TOWBasicPin;

inline constexpr const char* kNoOwnerPinName = "(No owner)";

// The part after the owner's name (`InputPins.Pin [0]` or `InputPins._Pin0`).
std::string PinName(const TOWBasicPin& pin, bool internal);
// The owner's and the root component's names (empty without an owner).
std::string PinOwnerName(const TOWBasicPin& pin);
std::string PinRootName(const TOWBasicPin& pin);
std::string PinFullName(const TOWBasicPin& pin, bool internal, bool withRoot);

inline std::string DisplayFullName(const TOWBasicPin& pin, bool withRoot) {
  return PinFullName(pin, false, withRoot);
}
inline std::string InternalFullName(const TOWBasicPin& pin, bool withRoot) {
  return PinFullName(pin, true, withRoot);
}

}  // namespace tardivox
