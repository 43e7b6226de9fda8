#pragma once
// Operations that arrived at a pin, kept until a worker handles them (the playback's notify
// thread), and the stand-alone lockable object that guards a list without a pin.
//
// Threads: every call takes a write lock section of the list's lock object (the global lock
// shared, then the object's group lock), so with a pin as lock object a list change waits for a
// notification passing through that pin's component and the other way round. Callable from any
// thread that may take that section (not from under a component-internal lock).
// Ownership: the list holds one reference to each operation until it is popped or the list is
// destroyed. A lock pin given at creation is not owned and must outlive the list.
// Failure: PopFront on an empty list returns null; null operations are not stored.
// Memory: the operations sit in a ring that only grows (doubling) and is given back by Clear,
// so a list whose length stays bounded allocates nothing once it has reached that length —
// it is on the capture thread's path for every buffer.

#include <cstddef>
#include <memory>

#include "core/RingQueue.h"
#include "locks/OWObject.h"
#include "pins/NotifyOperations.h"

namespace tardivox {

// A TOWObject with nothing added: a lockable object of its own.
class TOWExposedObject : public TOWObject {};

class TSLOperationList {
 public:
  // The list is guarded by lockPin's group lock, or by an object of its own when null.
  explicit TSLOperationList(TOWObject* lockPin = nullptr);
  TSLOperationList(const TSLOperationList&) = delete;
  TSLOperationList& operator=(const TSLOperationList&) = delete;
  // No other thread may use the list any more.
  ~TSLOperationList() = default;

  // Inserts at the front; returns the count afterwards.
  size_t PushFront(TRef<IOWNotifyOperation> operation);
  // Inserts at the end; with keepOnlyLast every older operation is dropped. Returns the count
  // afterwards.
  size_t Append(TRef<IOWNotifyOperation> operation, bool keepOnlyLast = false);
  // Removes and returns the front operation, or null when the list is empty.
  TRef<IOWNotifyOperation> PopFront();
  size_t Count();
  // Drops every operation.
  void Clear();

  TOWObject& LockObject() const { return *lock_; }

 private:
  std::unique_ptr<TOWExposedObject> ownLock_;  // declared first: outlives the operations
  TOWObject* lock_;
  TRingQueue<TRef<IOWNotifyOperation>> operations_;  // guarded by lock_'s write section
};

}  // namespace tardivox
