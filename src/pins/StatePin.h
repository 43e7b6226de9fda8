#pragma once
// State pins and state dispatchers: many-to-many links between pins that share a state (the
// boolean `EnablePin`s, BoolPins.h).
//
// Pins are linked through a TOWStateDispatcher: every pin refers to at most one, and a
// dispatcher exists while at least two pins are linked through it (it destroys itself when its
// list becomes empty). A new dispatcher is named after the root component of the pin that
// creates it: the component's name, "Link" and the smallest number from 1 that no other
// dispatcher uses. A notification of a state-linked pin reaches every pin of its dispatcher,
// the sender included, in link order; the last one gets the last-receiver flag (also the
// second-last when the sender itself is last).
//
// Threads and locks: linking and leaving take the global write section; notifications take
// the global read section and the sending pin's write section (Pin.h). The dispatcher list is
// guarded by a process-wide mutex.

#include <string>
#include <vector>

#include "pins/Pin.h"

namespace tardivox {

// One linked pin and the pin it must follow (or none).
struct TOWDispatcherPinStorage {
  TOWBasicPin* pin = nullptr;
  TOWBasicPin* follow = nullptr;
};

class TOWStateDispatcher final : public TOWPinObject {
 public:
  const std::string& Name() const { return name_; }
  int PinCount() const { return static_cast<int>(pins_.size()); }
  TOWBasicPin* Pins(int index) const { return pins_.at(index).pin; }
  bool Contains(const TOWBasicPin* pin) const { return IndexOf(pin) >= 0; }
  int IndexOf(const TOWBasicPin* pin) const;
  // The pin that `pin` must follow, or null.
  TOWBasicPin* FollowOf(const TOWBasicPin* pin) const;

  // The dispatchers that exist, in creation order.
  static std::vector<TOWStateDispatcher*> Dispatchers();
  static TOWStateDispatcher* Find(const std::string& name);

 private:
  friend class TOWBasicPin;

  // A new, empty dispatcher named for `root` (null: no name prefix), entered in the list.
  static TOWStateDispatcher* Create(TComponent* root);
  explicit TOWStateDispatcher(std::string name);
  ~TOWStateDispatcher() override;
  void Add(TOWBasicPin* pin, TOWBasicPin* follow);
  // Drops `pin`; a single pin left also loses the dispatcher; an empty dispatcher destroys
  // itself. The caller holds the global write section.
  void Remove(TOWBasicPin* pin);

  std::string name_;
  std::vector<TOWDispatcherPinStorage> pins_;
};

// A pin linked to any number of other pins through a dispatcher. ConnectTo links (see
// TOWBasicPin::StateLink), Disconnect leaves the dispatcher, Notify notifies the state links.
class TOWStatePin : public TOWPin {
 public:
  explicit TOWStatePin(TComponent* owner) : TOWPin(owner) {}
  ~TOWStatePin() override;

  TOWPinKind GetPinKind() const override { return TOWPinKind::State; }
  bool ConnectTo(TOWBasicPin* pin, TOWBasicPin* after = nullptr) override;
  void Disconnect() override;
  bool CanConnectTo(TOWBasicPin* pin) override;
  bool DependsOn(const TOWBasicPin* pin) override {
    (void)pin;
    return false;
  }
  bool IsConnected() const override { return Dispatcher() != nullptr; }
  bool IsConnectedTo(const TOWBasicPin* pin) const override;
  // The other pins of the dispatcher, in link order.
  int LinkCount() const override;
  TOWBasicPin* GetLink(int index) const override;
  bool Notify(IOWNotifyOperation& op) override { return NotifyStateLinks(op, 0); }
};

}  // namespace tardivox
