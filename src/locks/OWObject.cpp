#include "locks/OWObject.h"

#include <algorithm>
#include <utility>

#include "locks/MultiReadLock.h"

namespace tardivox {

namespace {

bool Contains(const std::vector<TOWObject*>& list, const TOWObject* o) {
  return std::find(list.begin(), list.end(), o) != list.end();
}

void Remove(std::vector<TOWObject*>& list, const TOWObject* o) {
  auto it = std::find(list.begin(), list.end(), o);
  if (it != list.end()) list.erase(it);
}

}  // namespace

// The guard of an object is a leaf lock: it is never held while a group lock is taken, so it
// cannot take part in a lock-order cycle. Re-forming needs no guard around the whole group
// because it runs under the global write section, which excludes every other section holder;
// the guard still protects each field access against observers.

TOWObject::TOWObject() : lock_(MakeRef<TOWLockObject>()) {}

TOWObject::~TOWObject() {
  DissolveDependencies();
}

void TOWObject::DissolveDependencies() {
  if (dependsOn_.empty() && dependents_.empty()) return;
  TOWGlobalWriteLockSection global;
  TOWWriteLockSection self(*this);
  while (!dependsOn_.empty()) RemoveDependency(dependsOn_.back());
  while (!dependents_.empty()) dependents_.back()->RemoveDependency(this);
}

template <bool Write>
void TOWObject::LockGroupLock() {
  TRef<IOWLockObject> lock;
  {
    std::lock_guard g(guard_);
    lock = lock_;
    ++(Write ? writeCount_ : readCount_);
  }
  // The group lock may be replaced while we wait for it; retry until we hold the current one.
  for (;;) {
    Write ? lock->BeginWrite() : lock->BeginRead();
    std::lock_guard g(guard_);
    if (lock->GetLockObject() == lock_->GetLockObject()) return;
    Write ? lock->EndWrite() : lock->EndRead();
    lock = lock_;
  }
}

template <bool Write>
void TOWObject::UnlockGroupLock() {
  TRef<IOWLockObject> lock;
  {
    std::lock_guard g(guard_);
    lock = lock_;
    --(Write ? writeCount_ : readCount_);
  }
  Write ? lock->EndWrite() : lock->EndRead();
}

void TOWObject::ReadLock() {
  LockGroupLock<false>();
}
void TOWObject::WriteLock() {
  LockGroupLock<true>();
}
void TOWObject::ReadUnlock() {
  UnlockGroupLock<false>();
}
void TOWObject::WriteUnlock() {
  UnlockGroupLock<true>();
}

TRef<IOWLockSection> TOWObject::ReadSection() {
  return MakeRef<TOWReadLockSection>(*this);
}
TRef<IOWLockSection> TOWObject::WriteSection() {
  return MakeRef<TOWWriteLockSection>(*this);
}

TRef<IOWLockObject> TOWObject::GroupLock() const {
  std::lock_guard g(guard_);
  return lock_;
}

int32_t TOWObject::ReadCount() const {
  std::lock_guard g(guard_);
  return readCount_;
}

int32_t TOWObject::WriteCount() const {
  std::lock_guard g(guard_);
  return writeCount_;
}

std::vector<TOWObject*> TOWObject::LockGroup() const {
  std::vector<TOWObject*> group;
  std::vector<const TOWObject*> stack{this};
  while (!stack.empty()) {
    const TOWObject* o = stack.back();
    stack.pop_back();
    if (Contains(group, o)) continue;
    group.push_back(const_cast<TOWObject*>(o));
    // Depth first, depends-on links before dependents links: push in reverse.
    for (auto it = o->dependents_.rbegin(); it != o->dependents_.rend(); ++it) stack.push_back(*it);
    for (auto it = o->dependsOn_.rbegin(); it != o->dependsOn_.rend(); ++it) stack.push_back(*it);
  }
  return group;
}

void TOWObject::ReformGroupLock() {
  const std::vector<TOWObject*> group = LockGroup();
  TRef<IOWLockObject> fresh = MakeRef<TOWLockObject>();
  for (TOWObject* m : group) m->WriteLock();
  int64_t reads = 0;
  int64_t writes = 0;
  for (TOWObject* m : group) {
    std::lock_guard g(m->guard_);
    reads += m->readCount_;
    writes += m->writeCount_;
  }
  for (int64_t i = 0; i < reads; ++i) fresh->BeginRead();
  for (int64_t i = 0; i < writes; ++i) fresh->BeginWrite();
  for (TOWObject* m : group) {
    TRef<IOWLockObject> old;
    int32_t readsHeld = 0;
    int32_t writesHeld = 0;
    {
      std::lock_guard g(m->guard_);
      old = std::exchange(m->lock_, fresh);
      readsHeld = m->readCount_;
      writesHeld = m->writeCount_;
    }
    for (int32_t i = 0; i < writesHeld; ++i) old->EndWrite();
    for (int32_t i = 0; i < readsHeld; ++i) old->EndRead();
  }
  for (TOWObject* m : group) m->WriteUnlock();
}

void TOWObject::AddDependency(TOWObject* other) {
  if (!other) return;
  TOWGlobalWriteLockSection global;
  TOWWriteLockSection mine(*this);
  TOWWriteLockSection theirs(*other);
  if (Contains(dependsOn_, other)) return;
  other->dependents_.push_back(this);
  dependsOn_.push_back(other);

  const std::vector<TOWObject*> group = LockGroup();
  for (TOWObject* m : group) m->WriteLock();
  ReformGroupLock();
  other->ReformGroupLock();
  for (TOWObject* m : group) m->WriteUnlock();
}

void TOWObject::RemoveDependency(TOWObject* other) {
  if (!other) return;
  TOWGlobalWriteLockSection global;
  TRef<IOWLockSection> mine = WriteSection();
  TRef<IOWLockSection> theirs = other->WriteSection();

  mine.reset();
  theirs.reset();
  std::vector<TOWObject*> members = LockGroup();
  // other lies outside this object's group when it is not a dependency at all.
  if (!Contains(members, other)) {
    for (TOWObject* m : other->LockGroup()) members.push_back(m);
  }
  for (TOWObject* m : members) m->WriteLock();
  Remove(dependsOn_, other);
  Remove(other->dependents_, this);
  ReformGroupLock();
  other->ReformGroupLock();
  for (TOWObject* m : members) m->WriteUnlock();
}

TOWReadLockSection::TOWReadLockSection(TOWObject& object) : object_(object) {
  GlobalLock().BeginRead();
  object_.ReadLock();
}

TOWReadLockSection::~TOWReadLockSection() {
  object_.ReadUnlock();
  GlobalLock().EndRead();
}

TOWWriteLockSection::TOWWriteLockSection(TOWObject& object) : object_(object) {
  GlobalLock().BeginRead();
  object_.WriteLock();
}

TOWWriteLockSection::~TOWWriteLockSection() {
  object_.WriteUnlock();
  GlobalLock().EndRead();
}

}  // namespace tardivox
