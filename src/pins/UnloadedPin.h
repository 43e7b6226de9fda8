#pragma once
// Placeholders for pins that a stored layout refers to before they exist.
//
// While a layout is read, a reference to a pin that is not registered yet yields a
// TOWUnloadedPin carrying the referenced pin's full names (internal and display, with the root
// prefix) and the kind it stands for. Connecting to a placeholder only records the link
// (the referring pin and the pin it must follow); the referring pin stays unconnected, so a
// placeholder delivers nothing. When the real pin appears, Resolve replays the recorded links
// on it with ConnectTo, last first, points other placeholders' links at it, and destroys the
// placeholder.
//
// Ownership: placeholders live in one process-wide owning list (TOWBasicPinList) from their
// creation until they are resolved or dropped; list-item placeholders are also held by their
// pin list, which drops them through Destroy.
// Threads: the window's thread; the placeholder list is additionally guarded by a mutex.
// Structural work (Resolve, Destroy) holds the global write section.

#include <string>
#include <vector>

#include "pins/Pin.h"

namespace tardivox {

class TOWUnloadedPin final : public TOWBasicPin {
 public:
  struct TLink {
    TOWBasicPin* pin = nullptr;
    TOWBasicPin* follow = nullptr;
  };

  // A new placeholder entered in the placeholder list. `root` is the root component whose
  // layout refers to the pin (null: any).
  static TOWUnloadedPin* Create(std::string internalName, std::string displayName, TOWPinKind kind,
                                TComponent* root, bool listItem);
  // The placeholder of `root` named `internalName` or `displayName`, or null.
  static TOWUnloadedPin* Find(const std::string& internalName, const std::string& displayName,
                              TComponent* root, bool includeListItems = true);
  // Resolves every placeholder of `real`'s root whose name is one of `real`'s full names.
  // Answers how many were resolved.
  static int ResolveFor(TOWBasicPin& real);
  // Replays `placeholder`'s links on `real` and destroys the placeholder.
  static void Resolve(TOWUnloadedPin* placeholder, TOWBasicPin& real);
  // Removes the placeholder from the list and frees it.
  static void Destroy(TOWUnloadedPin* placeholder);
  // Frees the placeholders that hold no link and are not list items.
  static void DropUnused();
  // A snapshot of the placeholder list.
  static std::vector<TOWUnloadedPin*> All();

  const std::string& InternalName() const { return internalName_; }
  const std::string& DisplayName() const { return displayName_; }
  TComponent* Root() const { return root_; }
  bool IsListItem() const { return listItem_; }
  const std::vector<TLink>& Links() const { return links_; }

  TOWPinKind GetPinKind() const override { return kind_; }
  // Records the link; answers true.
  bool ConnectTo(TOWBasicPin* pin, TOWBasicPin* after = nullptr) override;
  void Disconnect() override { links_.clear(); }
  bool CanConnectTo(TOWBasicPin* pin) override { return pin != nullptr && pin != this; }
  bool DependsOn(const TOWBasicPin* pin) override {
    (void)pin;
    return false;
  }
  bool IsConnected() const override { return !links_.empty(); }
  bool IsConnectedTo(const TOWBasicPin* pin) const override;
  int LinkCount() const override { return static_cast<int>(links_.size()); }
  TOWBasicPin* GetLink(int index) const override;
  // Delivers nothing.
  bool Notify(IOWNotifyOperation& op) override {
    (void)op;
    return false;
  }
  void ForgetPin(TOWBasicPin* pin) override;

 private:
  TOWUnloadedPin(std::string internalName, std::string displayName, TOWPinKind kind,
                 TComponent* root, bool listItem);
  ~TOWUnloadedPin() override;

  std::string internalName_;
  std::string displayName_;
  TOWPinKind kind_;
  TComponent* root_;
  bool listItem_;
  std::vector<TLink> links_;
};

}  // namespace tardivox
