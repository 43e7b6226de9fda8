#include "buffers/SmartBufferManager.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/Exceptions.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define TARDIVOX_POISON(area, bytes) ASAN_POISON_MEMORY_REGION(area, bytes)
#define TARDIVOX_UNPOISON(area, bytes) ASAN_UNPOISON_MEMORY_REGION(area, bytes)
#else
#define TARDIVOX_POISON(area, bytes) ((void)(area), (void)(bytes))
#define TARDIVOX_UNPOISON(area, bytes) ((void)(area), (void)(bytes))
#endif

namespace tardivox {

namespace {

// In front of every area: [free-list link][raw allocation], each one pointer wide. Keeping the
// link outside the area means a reused area still holds exactly what its last user left.
constexpr std::size_t kPrefixBytes = 2 * sizeof(void*);

void** RawSlot(void* area) {
  return static_cast<void**>(area) - 1;
}
void** LinkSlot(void* area) {
  return static_cast<void**>(area) - 2;
}

void* DefaultAllocate(std::size_t bytes) {
  return std::malloc(bytes);
}
void DefaultFree(void* raw) {
  std::free(raw);
}

// Set once the process-wide store is gone (static destruction at program end). Constant
// initialised and trivially destructible, so it is valid for the whole of the program's life.
constinit std::atomic<bool> gStoreClosed{false};

// A new aligned area of sizeBytes from the given heap, or nullptr.
void* MakeArea(TSLSmartBufferManager::RawAllocate allocate, std::size_t sizeBytes) {
  void* raw = allocate(sizeBytes + kPrefixBytes + kBlockAlignment - 1);
  if (raw == nullptr) return nullptr;
  auto address = reinterpret_cast<std::uintptr_t>(raw) + kPrefixBytes;
  address = (address + kBlockAlignment - 1) & ~(std::uintptr_t{kBlockAlignment} - 1);
  void* area = reinterpret_cast<void*>(address);
  *RawSlot(area) = raw;
  return area;
}

std::string Decimal(std::size_t value) {
  return std::to_string(value);
}

void RefuseOversize(std::size_t sizeBytes) {
  if (sizeBytes > kMaxBlockSize) {
    throw EOutOfMemory(FormatMessage("Block of %u bytes refused: the largest block is %u bytes",
                                     {Decimal(sizeBytes), Decimal(kMaxBlockSize)}));
  }
}

}  // namespace

std::size_t BlockSizeClass(std::size_t requestedBytes) {
  RefuseOversize(requestedBytes);
  std::size_t size = 4;
  while (size < requestedBytes) size <<= 1;
  return size;
}

// Under AddressSanitizer a free area is poisoned, so that a use after release is reported
// even though the memory never goes back to the heap.
void* TSLSmartBufferList::Pop() {
  void* area = top_;
  if (area != nullptr) {
    top_ = *LinkSlot(area);
    --freeCount_;
    TARDIVOX_UNPOISON(area, sizeBytes_);
  }
  return area;
}

void TSLSmartBufferList::Push(void* area) {
  TARDIVOX_POISON(area, sizeBytes_);
  *LinkSlot(area) = top_;
  top_ = area;
  ++freeCount_;
}

TSLSmartBufferManager::TSLSmartBufferManager()
    : rawAllocate_(&DefaultAllocate), rawFree_(&DefaultFree) {}

TSLSmartBufferManager::~TSLSmartBufferManager() {
  std::lock_guard guard(lock_);
  for (TSLSmartBufferList* list : lists_) {
    while (void* area = list->Pop()) rawFree_(*RawSlot(area));
    delete list;
  }
  lists_.clear();
}

TSLSmartBufferList* TSLSmartBufferManager::FindList(std::size_t sizeBytes) {
  for (TSLSmartBufferList* list : lists_) {
    if (list->SizeBytes() == sizeBytes) return list;
  }
  return nullptr;
}

void* TSLSmartBufferManager::NewArea(std::size_t sizeBytes) {
  void* area = MakeArea(rawAllocate_, sizeBytes);
  if (area != nullptr) ++heapAllocations_;
  return area;
}

void* TSLSmartBufferManager::Allocate(std::size_t sizeBytes) {
  if (sizeBytes == 0) return nullptr;
  RefuseOversize(sizeBytes);
  std::lock_guard guard(lock_);
  TSLSmartBufferList* list = FindList(sizeBytes);
  if (list == nullptr) {
    // The list is made before the area so that the area's later release always finds it.
    list = new (std::nothrow) TSLSmartBufferList(sizeBytes);
    if (list == nullptr) return nullptr;
    try {
      lists_.push_back(list);
    } catch (const std::bad_alloc&) {
      delete list;
      return nullptr;
    }
  }
  if (void* area = list->Pop()) return area;
  return NewArea(sizeBytes);
}

void TSLSmartBufferManager::Release(void* area, std::size_t sizeBytes) {
  if (area == nullptr) return;
  std::lock_guard guard(lock_);
  TSLSmartBufferList* list = FindList(sizeBytes);
  if (list == nullptr) {
    // Not one of ours under this size: a caller error. Freeing it is the only safe answer.
    rawFree_(*RawSlot(area));
    return;
  }
  list->Push(area);
}

std::size_t TSLSmartBufferManager::ListCount() const {
  std::lock_guard guard(lock_);
  return lists_.size();
}

std::size_t TSLSmartBufferManager::FreeCount(std::size_t sizeBytes) const {
  std::lock_guard guard(lock_);
  for (const TSLSmartBufferList* list : lists_) {
    if (list->SizeBytes() == sizeBytes) return list->FreeCount();
  }
  return 0;
}

std::size_t TSLSmartBufferManager::HeapAllocations() const {
  std::lock_guard guard(lock_);
  return heapAllocations_;
}

void TSLSmartBufferManager::SetRawHeap(RawAllocate allocate, RawFree free) {
  std::lock_guard guard(lock_);
  rawAllocate_ = allocate != nullptr ? allocate : &DefaultAllocate;
  rawFree_ = free != nullptr ? free : &DefaultFree;
}

const void* TSLSmartBufferManager::RawAddressOf(const void* area) {
  return *RawSlot(const_cast<void*>(area));
}

namespace {

// Owns the process-wide store. Constructed on first use, so that every static object that
// uses the store in its constructor is destroyed before it; anything released later goes
// straight back to the heap (gStoreClosed).
struct StoreHolder {
  TSLSmartBufferManager store;
  ~StoreHolder() { gStoreClosed.store(true, std::memory_order_release); }
};

StoreHolder& Holder() {
  static StoreHolder holder;
  return holder;
}

}  // namespace

TSLSmartBufferManager& TSLSmartBufferManager::Instance() {
  return Holder().store;
}

void* AllocateBlockMemory(std::size_t sizeBytes) {
  if (gStoreClosed.load(std::memory_order_acquire)) {
    if (sizeBytes == 0) return nullptr;
    RefuseOversize(sizeBytes);
    return MakeArea(&DefaultAllocate, sizeBytes);
  }
  return Holder().store.Allocate(sizeBytes);
}

void ReleaseBlockMemory(void* area, std::size_t sizeBytes) {
  if (area == nullptr) return;
  if (gStoreClosed.load(std::memory_order_acquire)) {
    std::free(*RawSlot(area));
    return;
  }
  Holder().store.Release(area, sizeBytes);
}

void* TSLBlockStoreObject::operator new(std::size_t sizeBytes) {
  void* memory = AllocateBlockMemory(sizeBytes);
  if (memory == nullptr) {
    throw EOutOfMemory(
        FormatMessage("Out of memory: no %u bytes for a buffer object", {Decimal(sizeBytes)}));
  }
  // A reused area still holds its last user's bytes; objects start from zeroed memory.
  std::memset(memory, 0, sizeBytes);
  return memory;
}

void TSLBlockStoreObject::operator delete(void* object, std::size_t sizeBytes) noexcept {
  ReleaseBlockMemory(object, sizeBytes);
}

}  // namespace tardivox
