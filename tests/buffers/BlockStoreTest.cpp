#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "buffers/AudioBuffer.h"
#include "buffers/BlockBuffer.h"
#include "buffers/SmartBuffer.h"
#include "buffers/SmartBufferManager.h"
#include "core/Exceptions.h"

namespace tardivox {
namespace {

TEST(BlockSizeClass, RoundsUpToPowersOfTwoFromFour) {
  const struct {
    std::size_t request, size;
  } cases[] = {{0, 4},
               {1, 4},
               {4, 4},
               {5, 8},
               {40, 64},
               {64, 64},
               {1000, 1024},
               {1024, 1024},
               {1064, 2048},
               {2088, 4096},
               {4097, 8192},
               {kMaxBlockSize - 1, kMaxBlockSize},
               {kMaxBlockSize, kMaxBlockSize}};
  for (const auto& c : cases) EXPECT_EQ(BlockSizeClass(c.request), c.size) << c.request;
}

TEST(BlockSizeClass, RefusesRequestsAboveTwoToTheThirty) {
  try {
    BlockSizeClass(kMaxBlockSize + 1);
    FAIL() << "no error";
  } catch (const EOutOfMemory& e) {
    EXPECT_STREQ(e.what(),
                 "Block of 1073741825 bytes refused: the largest block is 1073741824 bytes");
  }
}

TEST(BlockStore, ReusesTheLastReleasedAreaWithItsContent) {
  TSLSmartBufferManager store;
  void* first = store.Allocate(2088);
  ASSERT_NE(first, nullptr);
  std::memset(first, 0x5A, 2088);
  store.Release(first, 2088);
  void* second = store.Allocate(2088);
  EXPECT_EQ(second, first);
  EXPECT_EQ(static_cast<uint8_t*>(second)[0], 0x5A);
  EXPECT_EQ(static_cast<uint8_t*>(second)[2087], 0x5A);
  store.Release(second, 2088);
}

TEST(BlockStore, FreeListsAreLastInFirstOutPerExactSize) {
  TSLSmartBufferManager store;
  void* a = store.Allocate(100);
  void* b = store.Allocate(100);
  void* c = store.Allocate(100);
  void* other = store.Allocate(128);
  store.Release(a, 100);
  store.Release(other, 128);
  store.Release(b, 100);
  store.Release(c, 100);
  EXPECT_EQ(store.FreeCount(100), 3u);
  EXPECT_EQ(store.Allocate(100), c);
  EXPECT_EQ(store.Allocate(100), b);
  EXPECT_EQ(store.Allocate(100), a);
  EXPECT_EQ(store.Allocate(128), other);
  EXPECT_EQ(store.ListCount(), 2u);
  EXPECT_EQ(store.HeapAllocations(), 4u);
  for (void* p : {a, b, c}) store.Release(p, 100);
  store.Release(other, 128);
}

TEST(BlockStore, AreasAreAlignedAndLieAfterTheirRawAllocation) {
  TSLSmartBufferManager store;
  std::vector<std::pair<void*, std::size_t>> areas;
  for (std::size_t size : {1u, 3u, 4u, 7u, 33u, 40u, 100u, 4096u, 65536u}) {
    for (int i = 0; i < 4; ++i) {
      void* area = store.Allocate(size);
      ASSERT_NE(area, nullptr);
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(area) % kBlockAlignment, 0u) << size;
      const auto* raw = static_cast<const uint8_t*>(TSLSmartBufferManager::RawAddressOf(area));
      EXPECT_GE(static_cast<const uint8_t*>(area) - raw, 4) << size;
      std::memset(area, 0xFF, size);  // the whole area is usable (ASan checks the bounds)
      areas.emplace_back(area, size);
    }
  }
  for (auto [area, size] : areas) store.Release(area, size);
}

TEST(BlockStore, ZeroBytesGiveNoAreaAndOversizeIsRefused) {
  TSLSmartBufferManager store;
  EXPECT_EQ(store.Allocate(0), nullptr);
  EXPECT_THROW(store.Allocate(kMaxBlockSize + 1), EOutOfMemory);
  store.Release(nullptr, 16);  // ignored
}

TEST(BlockStore, ExhaustedHeapGivesNoArea) {
  TSLSmartBufferManager store;
  store.SetRawHeap([](std::size_t) -> void* { return nullptr; }, nullptr);
  EXPECT_EQ(store.Allocate(64), nullptr);
  store.SetRawHeap(nullptr, nullptr);
  void* area = store.Allocate(64);
  EXPECT_NE(area, nullptr);
  store.Release(area, 64);
}

TEST(Blocks, RequestsOfSimilarSizeShareOneFreeList) {
  auto* small = new TSLSmartMemoryBuffer(1000);
  EXPECT_EQ(small->AllocatedSize(), 1024u);
  uint8_t* area = small->Data();
  small->Attach(true);
  small->Detach(true);  // destroys it: its area goes back to the 1024 list
  auto* exact = new TSLSmartMemoryBuffer(1024);
  EXPECT_EQ(exact->Data(), area);
  EXPECT_EQ(exact->AllocatedSize(), 1024u);
  exact->Attach(false);
  exact->Detach(false);
}

// An object living in block store memory with no initialisers of its own.
struct StoreProbe : TSLBlockStoreObject {
  uint64_t a;
  uint64_t b;
};

TEST(Blocks, ObjectMemoryIsZeroFilledEvenWhenReused) {
  auto* probe = new StoreProbe;
  probe->a = ~uint64_t{0};
  probe->b = 42;
  void* where = probe;
  delete probe;
  auto* again = new StoreProbe;
  EXPECT_EQ(static_cast<void*>(again), where);
  EXPECT_EQ(again->a, 0u);
  EXPECT_EQ(again->b, 0u);
  delete again;
}

TEST(Blocks, CountsFollowAttachAndDetach) {
  auto* block = new TSLSmartMemoryBuffer(64);
  EXPECT_EQ(block->OwnerCount(), 0);
  EXPECT_EQ(block->HolderCount(), 0);
  block->Attach(true);
  block->Attach(false);
  block->Attach(true);
  EXPECT_EQ(block->OwnerCount(), 2);
  EXPECT_EQ(block->HolderCount(), 3);
  EXPECT_FALSE(block->IsUnique());
  block->DropOwner();
  EXPECT_TRUE(block->IsUnique());
  block->DropOwner();
  block->DropOwner();  // never below 0
  EXPECT_EQ(block->OwnerCount(), 0);
  block->Detach(true);
  block->Detach(false);
  EXPECT_EQ(block->HolderCount(), 1);
  block->Detach(false);  // the last hold: destroyed (ASan reports a leak otherwise)
}

TEST(Blocks, AudioCloneKeepsItsHeaderWithoutContent) {
  auto* block = new TALSmartAudioBuffer(40 + 64);
  *block->Header() = WaveFormat::Pcm(2, 16, 44100, 3);
  std::memset(block->Data() + 40, 0x11, 64);
  block->Attach(true);
  TSLSmartBuffer* clone = block->CloneBlock(false);
  EXPECT_EQ(clone->AllocatedSize(), block->AllocatedSize());
  EXPECT_EQ(clone->OwnerCount(), 0);
  EXPECT_EQ(clone->HolderCount(), 0);
  EXPECT_EQ(*static_cast<TALSmartAudioBuffer*>(clone)->Header(), *block->Header());
  clone->Attach(true);
  clone->Detach(true);
  block->Detach(true);
}

TEST(Blocks, OversizeAndExhaustionRaiseOutOfMemory) {
  EXPECT_THROW(new TSLSmartMemoryBuffer(uint64_t{kMaxBlockSize} + 1), EOutOfMemory);
  // Frames that would need more than 2^30 bytes are refused, never served with less.
  try {
    TRef<IALAudioBuffer> huge(new TALAudioBuffer(44100, 32, 32, 1u << 30, 3));
    FAIL() << "served a block smaller than asked";
  } catch (const EOutOfMemory& e) {
    EXPECT_NE(std::string(e.what()).find("refused"), std::string::npos) << e.what();
  }

  TSLSmartBufferManager& store = TSLSmartBufferManager::Instance();
  TRef<ISLBlockBuffer>(new TSLBlockBuffer(1));  // the buffer object's own size is pooled now
  store.SetRawHeap([](std::size_t) -> void* { return nullptr; }, nullptr);
  try {
    // No free list holds areas of this size, so the heap must be asked (and fails).
    TRef<ISLBlockBuffer> bytes(new TSLBlockBuffer((1u << 29) + 1));
    store.SetRawHeap(nullptr, nullptr);
    FAIL() << "a buffer without memory";
  } catch (const EOutOfMemory& e) {
    store.SetRawHeap(nullptr, nullptr);
    EXPECT_STREQ(e.what(), "Out of memory: no block of 1073741824 bytes");
  }
}

TEST(Blocks, SteadyStateTakesNothingFromTheHeap) {
  TSLSmartBufferManager& store = TSLSmartBufferManager::Instance();
  auto cycle = [] {
    TRef<IALAudioBuffer> a(new TALAudioBuffer(44100, 16, 2, 512, 3));
    TRef<ISLDataBuffer> b = a->Clone();
    b->ModifyData()[0] = 1;
  };
  cycle();
  const std::size_t before = store.HeapAllocations();
  for (int i = 0; i < 100; ++i) cycle();
  EXPECT_EQ(store.HeapAllocations(), before);
}

}  // namespace
}  // namespace tardivox
