#include "pins/OperationList.h"

namespace tardivox {

TSLOperationList::TSLOperationList(TOWObject* lockPin)
    : ownLock_(lockPin ? nullptr : std::make_unique<TOWExposedObject>()),
      lock_(lockPin ? lockPin : ownLock_.get()) {}

size_t TSLOperationList::PushFront(TRef<IOWNotifyOperation> operation) {
  TOWWriteLockSection section(*lock_);
  if (operation) operations_.push_front(std::move(operation));
  return operations_.size();
}

size_t TSLOperationList::Append(TRef<IOWNotifyOperation> operation, bool keepOnlyLast) {
  TOWWriteLockSection section(*lock_);
  if (!operation) return operations_.size();
  if (keepOnlyLast) operations_.clear();
  operations_.push_back(std::move(operation));
  return operations_.size();
}

TRef<IOWNotifyOperation> TSLOperationList::PopFront() {
  TOWWriteLockSection section(*lock_);
  if (operations_.empty()) return nullptr;
  return operations_.take_front();
}

size_t TSLOperationList::Count() {
  TOWWriteLockSection section(*lock_);
  return operations_.size();
}

void TSLOperationList::Clear() {
  // The operations are released after the section: their destructors may take other locks.
  TRingQueue<TRef<IOWNotifyOperation>> dropped;
  TOWWriteLockSection section(*lock_);
  dropped.swap(operations_);
}

}  // namespace tardivox
