#pragma once
// The process-wide multi-reader, single-writer lock and its per-thread bookkeeping.
//
// The global lock (GlobalLock()) is shared by every lock section and exclusive for structural
// changes (connecting, disconnecting, destroying pins, re-forming lock groups). Rank: global,
// the first lock of the program — the whole order is in docs/ARCHITECTURE.md.
//
// Guarantees: read locks nest per thread without waiting; a thread holding the write lock may
// take read locks and the write lock again without waiting; a thread holding read locks may
// take the write lock (it waits until every other reader has left); a waiting writer keeps new
// readers out. Waits have no time-out. Every entry point may be called from any thread.

#include <array>
#include <atomic>
#include <cstdint>

#include "core/Events.h"
#include "locks/LockObject.h"

namespace tardivox {

// A small, process-unique, non-zero identifier of the calling thread.
uint32_t CurrentThreadId();

// Per-thread read counts of one synchronizer: 16 buckets of singly linked thread records.
// Records are claimed with atomic operations, released by marking them free, reused by the next
// thread of the same bucket, and freed only with the counter.
class TOWThreadLocalCounter {
 public:
  static constexpr int32_t kInUse = 0x7FFFFFFF;

  struct ThreadRecord {
    ThreadRecord* next = nullptr;  // immutable once the record is published
    std::atomic<uint32_t> threadId{0};
    std::atomic<int32_t> inUse{0};
    // Touched only by the thread that claimed the record.
    int32_t readCount = 0;
    // Whether this thread's reads are counted in the sentinel (one reader slot).
    bool holdsSlot = false;
  };

  TOWThreadLocalCounter() = default;
  TOWThreadLocalCounter(const TOWThreadLocalCounter&) = delete;
  TOWThreadLocalCounter& operator=(const TOWThreadLocalCounter&) = delete;
  ~TOWThreadLocalCounter();

  static uint32_t BucketOf(uint32_t threadId) { return (threadId ^ (threadId >> 8)) & 15u; }

  // The calling thread's record, or null when it has none.
  ThreadRecord* Find(uint32_t threadId) const;
  // The thread's record: found, or a free one of its bucket claimed, or a new one pushed.
  ThreadRecord* Open(uint32_t threadId);
  // Marks the record free for reuse.
  static void Release(ThreadRecord* record);
  // Number of records ever created (test and diagnostics aid).
  int RecordCount() const;

 private:
  std::array<std::atomic<ThreadRecord*>, 16> buckets_{};
};

class TOWMultiReadExclusiveWriteSynchronizer : public virtual IOWBaseLockObject {
 public:
  static constexpr int32_t kFree = 65535;

  TOWMultiReadExclusiveWriteSynchronizer() = default;

  void BeginRead() override;
  void EndRead() override;
  void BeginWrite() override;
  // Raises EAssertionFailed ("Assertion failure (OWMultiReadLock, ligne 278)") when the calling
  // thread is not the writer; the lock is left unchanged.
  void EndWrite() override;
  TRef<IOWLockSection> ReadLock() override;
  TRef<IOWLockSection> WriteLock() override;

  // Observers for tests and diagnostics.
  int32_t Sentinel() const { return sentinel_.load(std::memory_order_acquire); }
  uint32_t Writer() const { return writer_.load(std::memory_order_acquire); }
  uint32_t WriteRecursion() const { return writeRecursion_; }
  // Read recursion of the calling thread.
  int32_t ThreadReadCount() const;
  // True while a writer waits or writes (new readers wait).
  bool ReadersBlocked() const { return !readSignal_.IsSet(); }
  const TOWThreadLocalCounter& Counter() const { return counter_; }

 private:
  std::atomic<int32_t> sentinel_{kFree};
  TManualResetEvent readSignal_{true};
  TAutoResetEvent writeSignal_{false};
  uint32_t writeRecursion_ = 0;  // only the writer changes it
  TOWThreadLocalCounter counter_;
  std::atomic<uint32_t> writer_{0};
};

// The single global lock. Created on first use (before any pin) and never destroyed, so that
// pins and sections living in static storage may still use it at program end.
class TOWGlobalLockObject final : public TOWMultiReadExclusiveWriteSynchronizer {};

TOWGlobalLockObject& GlobalLock();

}  // namespace tardivox
