#pragma once
// The stored form of connections: the properties that a layout records for pins and pin lists,
// and how they are applied while a layout is read.
//
//   pin:      Form = fmMain                (state-linked pins: the root's name)
//             State = 'fmMainLink1'        (or ('fmMainLink1' <pin to follow>))
//             SinkPins = (fmMain.B.InputPin (fmMain.C.InputPins._Pin0 'fmMain.C.InputPins.Pin
//             [0]')) SourcePin = fmMain.A.OutputPin
//   pin list: Form = fmMain
//             Pins = (nil fmMain.A.OutputPin Sinks (fmMain.B.InputPin) State ('X' ...))
//             PinsOwner = True             (read and ignored)
//
// A pin reference is the identifier of the pin's internal full name with the root prefix, or a
// list (internal name, display name string) when the two differ. A sink reference in SinkPins
// may be a list (internal name, name of the sink it must follow, optional display name).
// Reading replaces a leading saved root name (the layout's root, or the one in `Form`) by the
// current root's name, looks the pin up among the root's pins and connects to it; a pin that
// does not exist yet yields a placeholder (UnloadedPin.h) that records the link.
//
// Threads: the window's thread. Reading holds the global write section while connecting.
// Failure: malformed values and refused connections raise Exception (the layout reader adds
// the line).

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "layout/StoredForm.h"
#include "pins/Pin.h"

namespace tardivox {

class TComponent;
class TOWPinList;

// The state of one layout being read onto a root component.
class TPinLoadContext {
 public:
  TPinLoadContext(TComponent& root, std::string savedRootName)
      : root_(root), savedRootName_(std::move(savedRootName)) {}

  TComponent& Root() const { return root_; }
  // The referenced pin of the root, or a placeholder standing for it. `savedRoot` is the root
  // name the reference was written under.
  TOWBasicPin* Lookup(std::string internalName, std::string displayName, TOWPinKind kind,
                      const std::string& savedRoot);
  // The root name a pin's or list's references were written under.
  const std::string& SavedRootFor(const void* object) const;
  void SetSavedRoot(const void* object, std::string name) { savedRoots_[object] = std::move(name); }
  // The pin that first named a stored dispatcher, or the dispatcher's pins once linked.
  std::map<std::string, TOWBasicPin*, std::less<>>& States() { return states_; }

 private:
  TComponent& root_;
  std::string savedRootName_;
  std::map<const void*, std::string> savedRoots_;
  std::map<std::string, TOWBasicPin*, std::less<>> states_;
};

// Whether `name` is a stored property of pins or pin lists.
bool IsStoredPinProperty(std::string_view name);
// Applies the stored property `name` of `object` (a pin or a pin list). Answers false when
// `object` is neither; raises Exception for a malformed value or a refused connection.
bool ReadStoredPinProperty(TPersistent& object, std::string_view name, const TStoredValue& value,
                           TPinLoadContext& context);
// Appends the stored properties of `object` (a pin or a pin list) named `path.Property`.
// Answers false when `object` is neither.
bool WriteStoredPinProperties(TPersistent& object, const std::string& path,
                              std::vector<TStoredProperty>& out);
// Every pin reachable through the published object properties of `object` (not entering other
// components), list items (placeholder items included) in index order.
void CollectPins(TPersistent& object, std::vector<TOWBasicPin*>& pins);

}  // namespace tardivox
