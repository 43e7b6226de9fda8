#include "locks/MultiReadLock.h"

#include <thread>

#include "core/Exceptions.h"

namespace tardivox {

namespace {
std::atomic<uint32_t> g_nextThreadId{1};
}

uint32_t CurrentThreadId() {
  thread_local const uint32_t id = g_nextThreadId.fetch_add(1, std::memory_order_relaxed);
  return id;
}

// ---------------------------------------------------------------------------------------------
// TOWThreadLocalCounter

TOWThreadLocalCounter::~TOWThreadLocalCounter() {
  for (auto& bucket : buckets_) {
    ThreadRecord* r = bucket.load(std::memory_order_acquire);
    while (r) {
      ThreadRecord* next = r->next;
      delete r;
      r = next;
    }
  }
}

TOWThreadLocalCounter::ThreadRecord* TOWThreadLocalCounter::Find(uint32_t threadId) const {
  for (ThreadRecord* r = buckets_[BucketOf(threadId)].load(std::memory_order_acquire); r;
       r = r->next) {
    // Only the owning thread ever stores its own id, so a match is our record.
    if (r->threadId.load(std::memory_order_relaxed) == threadId) return r;
  }
  return nullptr;
}

TOWThreadLocalCounter::ThreadRecord* TOWThreadLocalCounter::Open(uint32_t threadId) {
  if (ThreadRecord* r = Find(threadId)) return r;
  auto& bucket = buckets_[BucketOf(threadId)];
  for (ThreadRecord* r = bucket.load(std::memory_order_acquire); r; r = r->next) {
    int32_t expected = 0;
    if (r->inUse.compare_exchange_strong(expected, kInUse, std::memory_order_acq_rel)) {
      r->readCount = 0;
      r->holdsSlot = false;
      r->threadId.store(threadId, std::memory_order_relaxed);
      return r;
    }
  }
  auto* r = new ThreadRecord;
  r->threadId.store(threadId, std::memory_order_relaxed);
  r->inUse.store(kInUse, std::memory_order_relaxed);
  ThreadRecord* head = bucket.load(std::memory_order_acquire);
  do {
    r->next = head;
  } while (!bucket.compare_exchange_weak(head, r, std::memory_order_acq_rel));
  return r;
}

void TOWThreadLocalCounter::Release(ThreadRecord* record) {
  record->threadId.store(0, std::memory_order_relaxed);
  record->inUse.store(0, std::memory_order_release);
}

int TOWThreadLocalCounter::RecordCount() const {
  int n = 0;
  for (const auto& bucket : buckets_)
    for (ThreadRecord* r = bucket.load(std::memory_order_acquire); r; r = r->next) ++n;
  return n;
}

// ---------------------------------------------------------------------------------------------
// TOWMultiReadExclusiveWriteSynchronizer
//
// The sentinel starts at 65535 ("free"); every thread reading holds one slot (sentinel − 1) and
// the writer takes 65535. A thread that reads while it writes took no slot of its own; when the
// write ends while that thread still reads, it keeps one slot so that the read stays protected,
// and the slot is given back by its last EndRead. Tracking the slot per thread keeps the
// sentinel exact whatever order a thread releases its read and write locks in.

void TOWMultiReadExclusiveWriteSynchronizer::BeginRead() {
  const uint32_t self = CurrentThreadId();
  auto* rec = counter_.Open(self);
  ++rec->readCount;
  if (writer_.load(std::memory_order_acquire) == self || rec->readCount > 1) return;

  readSignal_.Wait();
  for (;;) {
    if (sentinel_.fetch_sub(1, std::memory_order_acq_rel) - 1 > 0) {
      rec->holdsSlot = true;
      return;
    }
    if (sentinel_.fetch_add(1, std::memory_order_acq_rel) + 1 == kFree) writeSignal_.Set();
    std::this_thread::yield();
    readSignal_.Wait();
  }
}

void TOWMultiReadExclusiveWriteSynchronizer::EndRead() {
  const uint32_t self = CurrentThreadId();
  auto* rec = counter_.Find(self);
  if (!rec || rec->readCount <= 0) return;  // unbalanced EndRead: nothing to give back
  if (--rec->readCount > 0) return;
  const bool heldSlot = rec->holdsSlot;
  rec->holdsSlot = false;
  TOWThreadLocalCounter::Release(rec);
  if (heldSlot) {
    const int32_t now = sentinel_.fetch_add(1, std::memory_order_acq_rel) + 1;
    if (now == kFree || (now <= 0 && now % kFree == 0)) writeSignal_.Set();
  }
}

void TOWMultiReadExclusiveWriteSynchronizer::BeginWrite() {
  const uint32_t self = CurrentThreadId();
  if (writer_.load(std::memory_order_acquire) != self) {
    readSignal_.Reset();
    auto* rec = counter_.Find(self);
    // A reader that wants to write gives back its own slot while it waits, so that two readers
    // upgrading at once cannot wait for each other.
    const bool gaveBack = rec && rec->readCount > 0 && rec->holdsSlot;
    if (gaveBack) sentinel_.fetch_add(1, std::memory_order_acq_rel);
    for (;;) {
      if (sentinel_.fetch_sub(kFree, std::memory_order_acq_rel) == kFree) break;
      const int32_t before = sentinel_.fetch_add(kFree, std::memory_order_acq_rel);
      if (before != 0) writeSignal_.Wait();
    }
    readSignal_.Reset();
    if (gaveBack) sentinel_.fetch_sub(1, std::memory_order_acq_rel);
    writer_.store(self, std::memory_order_release);
  }
  ++writeRecursion_;
}

void TOWMultiReadExclusiveWriteSynchronizer::EndWrite() {
  const uint32_t self = CurrentThreadId();
  if (writer_.load(std::memory_order_acquire) != self)
    throw EAssertionFailed("Assertion failure", "OWMultiReadLock", 278);
  auto* rec = counter_.Find(self);
  if (--writeRecursion_ == 0) {
    int32_t giveBack = kFree;
    if (rec && rec->readCount > 0 && !rec->holdsSlot) {
      // Still reading: keep one reader slot for this thread.
      rec->holdsSlot = true;
      giveBack = kFree - 1;
    }
    writer_.store(0, std::memory_order_release);
    sentinel_.fetch_add(giveBack, std::memory_order_acq_rel);
    writeSignal_.Set();
    readSignal_.Set();
  }
  if (rec && rec->readCount == 0) TOWThreadLocalCounter::Release(rec);
}

TRef<IOWLockSection> TOWMultiReadExclusiveWriteSynchronizer::ReadLock() {
  // Sections always work on the single global lock.
  return MakeRef<TOWGlobalReadLockSection>();
}

TRef<IOWLockSection> TOWMultiReadExclusiveWriteSynchronizer::WriteLock() {
  return MakeRef<TOWGlobalWriteLockSection>();
}

int32_t TOWMultiReadExclusiveWriteSynchronizer::ThreadReadCount() const {
  const auto* rec = counter_.Find(CurrentThreadId());
  return rec ? rec->readCount : 0;
}

TOWGlobalLockObject& GlobalLock() {
  static TOWGlobalLockObject* const instance = [] {
    auto* lock = new TOWGlobalLockObject;
    lock->AddRef();  // held for the life of the process
    return lock;
  }();
  return *instance;
}

}  // namespace tardivox
