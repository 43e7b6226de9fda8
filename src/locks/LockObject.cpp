#include "locks/LockObject.h"

#include "locks/MultiReadLock.h"

namespace tardivox {

void TOWLockObject::Enter() {
  // Under the global write lock no other thread holds any section, hence no group lock: the
  // lock is free and taking it cannot wait. Structural changes then take several groups in
  // whatever order the graph gives; try_lock records no lock order for them, so the deadlock
  // detector only judges the orders that can really meet.
  if (GlobalLock().Writer() == CurrentThreadId() && mutex_.try_lock()) return;
  mutex_.lock();
}

TRef<IOWLockSection> TOWLockObject::ReadLock() {
  return MakeRef<TOWStreamReadLockSection>(TRef<IOWBaseLockObject>(this));
}

TRef<IOWLockSection> TOWLockObject::WriteLock() {
  return MakeRef<TOWStreamWriteLockSection>(TRef<IOWBaseLockObject>(this));
}

TOWGlobalReadLockSection::TOWGlobalReadLockSection() {
  GlobalLock().BeginRead();
}
TOWGlobalReadLockSection::~TOWGlobalReadLockSection() {
  GlobalLock().EndRead();
}

TOWGlobalWriteLockSection::TOWGlobalWriteLockSection() {
  GlobalLock().BeginWrite();
}
TOWGlobalWriteLockSection::~TOWGlobalWriteLockSection() {
  GlobalLock().EndWrite();
}

TOWStreamReadLockSection::TOWStreamReadLockSection(TRef<IOWBaseLockObject> lock)
    : lock_(std::move(lock)) {
  GlobalLock().BeginRead();
  lock_->BeginRead();
}

TOWStreamReadLockSection::~TOWStreamReadLockSection() {
  lock_->EndRead();
  GlobalLock().EndRead();
}

TOWStreamWriteLockSection::TOWStreamWriteLockSection(TRef<IOWBaseLockObject> lock)
    : lock_(std::move(lock)) {
  GlobalLock().BeginRead();
  lock_->BeginWrite();
}

TOWStreamWriteLockSection::~TOWStreamWriteLockSection() {
  lock_->EndWrite();
  GlobalLock().EndRead();
}

}  // namespace tardivox
