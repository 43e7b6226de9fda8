#pragma once
// Lock interfaces, the re-entrant group lock and the lock sections that are not tied to a
// TOWObject (global and stream sections). Rank: group — see docs/ARCHITECTURE.md.
//
// A section acquires when it is constructed and releases when it is destroyed. Sections are
// reference counted so that an IOWLockSection can be handed around and released with its last
// reference; they may also live on the stack as plain RAII guards (then never hand such an
// instance to a TRef). A section must be released on the thread that acquired it.

#include "core/RefCounted.h"

#include <mutex>

namespace tardivox {

// Holding a reference holds the lock; dropping the last reference releases it.
class IOWLockSection : public virtual TRefCounted {};

class IOWBaseLockObject : public virtual TRefCounted {
 public:
  virtual void BeginRead() = 0;
  virtual void BeginWrite() = 0;
  virtual void EndRead() = 0;
  virtual void EndWrite() = 0;
  virtual TRef<IOWLockSection> ReadLock() = 0;
  virtual TRef<IOWLockSection> WriteLock() = 0;
};

class IOWLockObject : public virtual IOWBaseLockObject {
 public:
  // The lock object itself: its identity, used to notice that a group lock was replaced.
  virtual IOWLockObject* GetLockObject() = 0;
};

// A group lock: one re-entrant exclusive lock. Within a group, read and write locks are the
// same lock. Begin/End must be paired on one thread.
class TOWLockObject final : public IOWLockObject {
 public:
  void BeginRead() override { Enter(); }
  void BeginWrite() override { Enter(); }
  void EndRead() override { mutex_.unlock(); }
  void EndWrite() override { mutex_.unlock(); }
  TRef<IOWLockSection> ReadLock() override;
  TRef<IOWLockSection> WriteLock() override;
  IOWLockObject* GetLockObject() override { return this; }

 private:
  void Enter();

  std::recursive_mutex mutex_;
};

// Global BeginRead / EndRead.
class TOWGlobalReadLockSection final : public IOWLockSection {
 public:
  TOWGlobalReadLockSection();
  ~TOWGlobalReadLockSection() override;
};

// Global BeginWrite / EndWrite.
class TOWGlobalWriteLockSection final : public IOWLockSection {
 public:
  TOWGlobalWriteLockSection();
  ~TOWGlobalWriteLockSection() override;
};

// Global BeginRead, then BeginRead on the lock object (kept alive by the section).
class TOWStreamReadLockSection final : public IOWLockSection {
 public:
  explicit TOWStreamReadLockSection(TRef<IOWBaseLockObject> lock);
  ~TOWStreamReadLockSection() override;

 private:
  TRef<IOWBaseLockObject> lock_;
};

// Global BeginRead, then BeginWrite on the lock object (kept alive by the section).
class TOWStreamWriteLockSection final : public IOWLockSection {
 public:
  explicit TOWStreamWriteLockSection(TRef<IOWBaseLockObject> lock);
  ~TOWStreamWriteLockSection() override;

 private:
  TRef<IOWBaseLockObject> lock_;
};

}  // namespace tardivox
