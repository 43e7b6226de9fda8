#pragma once
// The lock side of every lockable object of the pin framework.
//
// Every TOWObject belongs to a lock group whose members are joined by functional dependency
// (AddDependency); the group shares one re-entrant exclusive group lock (TOWLockObject). A read
// or write section of an object holds the global lock shared plus the object's group lock, so
// a component whose pins and lock holder form one group is locked as a whole while a
// notification passes through it or one of its properties changes.
//
// Threads: sections and the four lock operations may be used from any thread. AddDependency,
// RemoveDependency and destruction take the global write section: they wait until no section
// is held by any other thread. Members guarded by guard_: lock_, readCount_, writeCount_; the
// dependency lists change only under the global write section.
// Ownership: TOWObject is not reference counted; its owner destroys it. It holds a reference to
// its current group lock, which lives as long as some member or some section refers to it.

#include <cstdint>
#include <mutex>
#include <vector>

#include "locks/LockObject.h"

namespace tardivox {

class TOWObject {
 public:
  TOWObject();
  TOWObject(const TOWObject&) = delete;
  TOWObject& operator=(const TOWObject&) = delete;
  // Dissolves every dependency (under the global write section), last first.
  virtual ~TOWObject();

  virtual void ReadLock();
  virtual void WriteLock();
  virtual void ReadUnlock();
  virtual void WriteUnlock();

  TRef<IOWLockSection> ReadSection();
  TRef<IOWLockSection> WriteSection();

  // Joins other to this object's lock group. No effect when other is null or already a
  // dependency of this object.
  void AddDependency(TOWObject* other);
  // Undoes AddDependency; the group may split in two, each part with a new group lock.
  void RemoveDependency(TOWObject* other);

  // The current group lock (changes when the group is re-formed).
  TRef<IOWLockObject> GroupLock() const;
  // Members of this object's lock group, this object first, depth first.
  std::vector<TOWObject*> LockGroup() const;
  const std::vector<TOWObject*>& DependsOn() const { return dependsOn_; }
  const std::vector<TOWObject*>& Dependents() const { return dependents_; }
  int32_t ReadCount() const;
  int32_t WriteCount() const;

 protected:
  // Removes every dependency, last first (under the global write section): first the objects
  // this one depends on, then those that depend on it. A derived class whose destruction must
  // finish inside one global write section calls it there; the destructor calls it anyway.
  void DissolveDependencies();

 private:
  template <bool Write>
  void LockGroupLock();
  template <bool Write>
  void UnlockGroupLock();
  // Gives every member of this object's group one new group lock, moving every holding of the
  // calling thread to it. Caller holds the global write section.
  void ReformGroupLock();

  mutable std::recursive_mutex guard_;
  TRef<IOWLockObject> lock_;
  std::vector<TOWObject*> dependsOn_;
  std::vector<TOWObject*> dependents_;
  int32_t readCount_ = 0;
  int32_t writeCount_ = 0;
};

// Global BeginRead, then the object's read lock.
class TOWReadLockSection final : public IOWLockSection {
 public:
  explicit TOWReadLockSection(TOWObject& object);
  ~TOWReadLockSection() override;

 private:
  TOWObject& object_;
};

// Global BeginRead, then the object's write lock: a property change or a delivery through
// the object's group. The global lock is held shared only.
class TOWWriteLockSection final : public IOWLockSection {
 public:
  explicit TOWWriteLockSection(TOWObject& object);
  ~TOWWriteLockSection() override;

 private:
  TOWObject& object_;
};

}  // namespace tardivox
