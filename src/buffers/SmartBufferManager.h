#pragma once
// The block store: every block of memory that buffers share, and the block and buffer objects
// themselves, come from here, so that a running graph makes and drops buffers without asking
// the system heap once the free lists hold the peak number of areas in use.
//
// Areas are kept in one free list per exact size and reused last-in first-out: the area freed
// most recently is handed out first, with whatever its previous user left in it. Every area is
// 32-byte aligned. The store never gives memory back to the system while the program runs;
// the free areas are freed when the store is destroyed at program end (areas still in use are
// left alone, and are freed straight to the heap if they are released after that).
//
// Threads: AllocateBlockMemory and ReleaseBlockMemory may be called from any thread. One lock
// (rank: leaf — see docs/ARCHITECTURE.md) is held for the whole of each call, the allocation of
// a new area included.
//
// Failure: a request of 0 bytes or one the heap cannot serve gives nullptr; a request above
// kMaxBlockSize bytes is refused with EOutOfMemory (it is never served with less).

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace tardivox {

// The largest area the store serves: 2^30 bytes.
inline constexpr std::size_t kMaxBlockSize = std::size_t{1} << 30;
// Alignment of every area handed out.
inline constexpr std::size_t kBlockAlignment = 32;

// The size class of a request for n bytes: the smallest power of two from 4 to 2^30 that is
// not below n. Raises EOutOfMemory when n is above 2^30.
std::size_t BlockSizeClass(std::size_t requestedBytes);

// One free list: the areas of exactly one size, most recently returned on top.
class TSLSmartBufferList {
 public:
  explicit TSLSmartBufferList(std::size_t sizeBytes) : sizeBytes_(sizeBytes) {}
  TSLSmartBufferList(const TSLSmartBufferList&) = delete;
  TSLSmartBufferList& operator=(const TSLSmartBufferList&) = delete;

  std::size_t SizeBytes() const { return sizeBytes_; }
  std::size_t FreeCount() const { return freeCount_; }
  bool Empty() const { return top_ == nullptr; }
  // The most recently pushed area, removed from the list; nullptr when empty.
  void* Pop();
  void Push(void* area);

 private:
  std::size_t sizeBytes_;
  void* top_ = nullptr;  // linked through a slot in front of each area, never inside it
  std::size_t freeCount_ = 0;
};

// The store: a lock-protected list of free lists in the order their sizes were first asked for.
class TSLSmartBufferManager {
 public:
  // Raw heap functions; replaceable so that tests can simulate an exhausted heap.
  using RawAllocate = void* (*)(std::size_t);
  using RawFree = void (*)(void*);

  TSLSmartBufferManager();
  TSLSmartBufferManager(const TSLSmartBufferManager&) = delete;
  TSLSmartBufferManager& operator=(const TSLSmartBufferManager&) = delete;
  // Frees every free area and the lists; areas in use are not touched.
  ~TSLSmartBufferManager();

  // An area of exactly sizeBytes usable bytes (no rounding here), 32-byte aligned, or nullptr
  // for 0 bytes or when the heap has no memory. Raises EOutOfMemory above kMaxBlockSize.
  void* Allocate(std::size_t sizeBytes);
  // Returns an area obtained from Allocate with the same size. nullptr is ignored.
  void Release(void* area, std::size_t sizeBytes);

  // Diagnostics (test aids): number of free lists, free areas of one size, and the number of
  // areas ever taken from the heap.
  std::size_t ListCount() const;
  std::size_t FreeCount(std::size_t sizeBytes) const;
  std::size_t HeapAllocations() const;

  // Installs other heap functions (nullptr restores the defaults). Areas already handed out
  // must be freed by the function that was installed when they were made: only use this on
  // a store whose areas are all of one heap.
  void SetRawHeap(RawAllocate allocate, RawFree free);

  // The raw allocation behind an area (test aid: the area lies at least 4 bytes after it).
  static const void* RawAddressOf(const void* area);

  // The process-wide store.
  static TSLSmartBufferManager& Instance();

 private:
  TSLSmartBufferList* FindList(std::size_t sizeBytes);
  void* NewArea(std::size_t sizeBytes);

  mutable std::mutex lock_;
  std::vector<TSLSmartBufferList*> lists_;  // guarded by lock_
  std::size_t heapAllocations_ = 0;         // guarded by lock_
  RawAllocate rawAllocate_;
  RawFree rawFree_;
};

// The process-wide store's Allocate and Release.
void* AllocateBlockMemory(std::size_t sizeBytes);
void ReleaseBlockMemory(void* area, std::size_t sizeBytes);

// Base for objects whose own memory comes from the block store (blocks and buffer objects):
// the memory is keyed by the object's exact size and zero-filled before construction.
// Raises EOutOfMemory when no memory can be obtained.
class TSLBlockStoreObject {
 public:
  static void* operator new(std::size_t sizeBytes);
  static void operator delete(void* object, std::size_t sizeBytes) noexcept;
};

}  // namespace tardivox
