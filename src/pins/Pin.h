#pragma once
// The pin base classes: TOWPinObject (pins and state dispatchers), TOWBasicPin (every pin:
// kind, connections, interfaces, state links), TOWPin (owner, stream types, notification
// depth) and TOWStreamPin (pins of a stream connection), plus the global pin list.
//
// A component owns its pins: it creates them in its constructor and destroys them in its
// destructor. Everything that travels along a connection is an operation (NotifyOperations.h),
// handed synchronously to the connected pins on the calling thread by Notify.
//
// Locks (the order of MultiReadLock.h): connecting, disconnecting, linking and destroying take
// the global write section, so they wait until no notification runs anywhere. Notifications
// take the global lock shared and the group locks of the pins they pass, upstream before
// downstream (SourcePin.h, SinkPin.h).
// Ownership: a component owns its pins and disconnects them at the start of its destructor,
// before the state its receive handlers use goes away.
// Threads: Notify may be called from any thread. Connecting, disconnecting and linking may be
// called from any thread that holds no group lock of another component (they wait for the
// global write lock). Create and destroy pins on one thread (the window's thread): creation
// registers the pin in the global pin list, and destruction asks every registered pin to
// forget the destroyed one. Observers (IsConnected, LinkCount, GetLink, Types, ...) read state
// that changes under the global write section; call them from the thread that changes the
// structure or inside a section.
// Failure: a notification nested more than 200 deep through one source (more than 10 for a
// connection probe) raises EOWException with kDependsOnItselfMessage; refused connections
// answer false and change nothing.

#include <cstdint>
#include <mutex>
#include <vector>

#include "core/Guid.h"
#include "locks/OWObject.h"
#include "model/Persistent.h"
#include "pins/DeliveryFunction.h"
#include "pins/NotifyOperations.h"
#include "pins/StreamTypeRegistry.h"

namespace tardivox {

class TComponent;
class TOWBasicPin;
class TOWStateDispatcher;

inline constexpr const char* kDependsOnItselfMessage =
    "The pin depends on itself. Please protect with functional dependency.";

enum class TOWPinKind : int { Source = 0, Sink = 1, State = 2 };

// Common base of pins and state dispatchers: a lockable, persistent object.
class TOWPinObject : public TOWObject, public TPersistent {
 public:
  // Removes every reference to `pin`; called on every registered pin while `pin` is being
  // destroyed (under the global write section).
  virtual void ForgetPin(TOWBasicPin* pin) { (void)pin; }
};

class TOWBasicPin : public TOWPinObject {
 public:
  TOWBasicPin();
  ~TOWBasicPin() override;

  virtual TComponent* GetOwner() const { return nullptr; }
  // Starting from the owner, the first component without an owner or that is a root.
  TComponent* GetRootComponent() const;
  bool IsDesigning() const { return false; }
  // True while the root component is being destroyed.
  bool IsOwnerDestroying() const;
  virtual TOWPinKind GetPinKind() const = 0;

  // Connects this pin to `pin`; a sink connected to a source is notified after `after` (another
  // sink of that source). Either side may call it. ConnectTo(nullptr) disconnects a sink.
  virtual bool ConnectTo(TOWBasicPin* pin, TOWBasicPin* after = nullptr) = 0;
  // Drops every connection of this pin and its state link.
  virtual void Disconnect() = 0;
  // Whether ConnectTo(pin) would succeed; changes nothing.
  virtual bool CanConnectTo(TOWBasicPin* pin) = 0;
  // Whether data reaching this pin can come through `pin` (the loop check of connecting).
  virtual bool DependsOn(const TOWBasicPin* pin) = 0;
  virtual bool IsConnected() const = 0;
  virtual bool IsConnectedTo(const TOWBasicPin* pin) const = 0;
  // The connected pins: a source's sinks in notification order; a sink's source.
  virtual int LinkCount() const = 0;
  virtual TOWBasicPin* GetLink(int index) const = 0;
  // Delivers `op` to the connected pins (a source: its sinks and state links; a sink: its
  // source; a state pin: its state links). Errors of receivers reach the caller.
  virtual bool Notify(IOWNotifyOperation& op) = 0;
  // Told by a source that dropped this pin's connection (the changed hook).
  virtual void Changed() {}

  // Interfaces: every pin implements kBasicPinInterface; classes add theirs.
  bool ImplementsInterface(const Guid& iid) const;
  // Whether this pin's class implements `id` and no pass-through pin vetoes it.
  bool SupportsType(const Guid& id);
  // The receive operation behind interface `iid`, or null when the pin does not implement it.
  IOWPinReceiver* QueryReceiver(const Guid& iid);
  // The stream types this pin offers (null for pins without a type list).
  virtual const TOWPinStreamType* StreamTypes() const { return nullptr; }

  // State links (see StatePin.h): pins linked through one dispatcher.
  TOWStateDispatcher* Dispatcher() const { return dispatcher_; }
  bool IsStateLinked() const { return dispatcher_ != nullptr; }
  // The type on which this pin delivers to `other`: its own types from the last to the first,
  // the first that `other` supports; false when there is none.
  bool StateLinkTypeTo(TOWBasicPin* other, Guid& type, TOWDeliveryFunction& function) const;
  // Whether a state link type exists in either direction.
  bool HasStateLinkType(TOWBasicPin* other);
  // Links this pin with `other` through a dispatcher (this pin's, other's, or a new one).
  bool StateLink(TOWBasicPin* other, TOWBasicPin* follow = nullptr);
  // Joins `dispatcher` (leaving another one first) if this pin can link with every member.
  bool JoinDispatcher(TOWStateDispatcher* dispatcher, TOWBasicPin* follow = nullptr);
  void LeaveDispatcher();
  // Delivers `op` to every pin of the dispatcher, this one included, in storage order.
  // Answers the answer of the last delivery made; false without a dispatcher.
  bool NotifyStateLinks(IOWNotifyOperation& op, TOWStateFlags flags);

 protected:
  void AddInterface(const Guid& iid);
  // The receive operation of this pin's class, or null.
  virtual IOWPinReceiver* Receiver() { return nullptr; }
  virtual bool VetoesType(const Guid& id) {
    (void)id;
    return false;
  }
  // Runs after this pin joined a dispatcher.
  virtual void StateChanged() {}

  // Destruction: the destructor of every pin class starts with BeginDestroy(), which takes the
  // global write lock once; ~TOWBasicPin releases it after the pin was forgotten everywhere and
  // its lock dependencies dissolved. No notification runs while any part of the pin is torn
  // down, so a class derived from a pin must call it first in its own destructor as well.
  void BeginDestroy();

 private:
  friend class TOWStateDispatcher;

  TOWStateDispatcher* dispatcher_ = nullptr;
  std::vector<Guid> interfaces_;
  bool destroyLockHeld_ = false;
};

class TOWPin : public TOWBasicPin {
 public:
  static constexpr int32_t kMaxNotifyDepth = 200;
  static constexpr int32_t kMaxProbeDepth = 10;

  explicit TOWPin(TComponent* owner) : owner_(owner) {}

  TComponent* GetOwner() const override { return owner_; }
  const TOWPinStreamType* StreamTypes() const override { return &types_; }
  const TOWPinStreamType& Types() const { return types_; }
  // How many notifications through this pin are in progress (guarded by its group lock).
  int32_t NotificationDepth() const { return depth_; }

 protected:
  // Counts one nesting level for its lifetime (also when left by an exception).
  class TDepthScope {
   public:
    explicit TDepthScope(int32_t& depth) : depth_(depth) { ++depth_; }
    ~TDepthScope() { --depth_; }
    TDepthScope(const TDepthScope&) = delete;
    TDepthScope& operator=(const TDepthScope&) = delete;

   private:
    int32_t& depth_;
  };
  [[noreturn]] static void RaiseDependsOnItself();

  TOWPinStreamType types_;
  int32_t depth_ = 0;

 private:
  TComponent* owner_;
};

class TOWStreamPin : public TOWPin {
 public:
  using TOWPin::TOWPin;

  // Appends a type delivered through the stream type registry.
  void AddDataType(const Guid& id);
  // Appends a type delivered by this pin's own function.
  void AddFunction(const Guid& id, TOWDeliveryFunction function);
};

// The process-wide list of registered pins (every pin from construction to destruction).
class TOWInternalPinList {
 public:
  static int Count();
  static bool Contains(const TOWBasicPin* pin);

 private:
  friend class TOWBasicPin;
  static std::mutex& Mutex();
  static std::vector<TOWBasicPin*>& Pins();
};

}  // namespace tardivox
