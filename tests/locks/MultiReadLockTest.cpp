#include "locks/MultiReadLock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>

#include "core/Exceptions.h"
#include "support/WaitFor.h"

namespace tardivox {
namespace {

using testing::StaysFalse;
using testing::WaitUntil;
using Sync = TOWMultiReadExclusiveWriteSynchronizer;

TEST(MultiReadLock, ConcurrentReadersEachTakeOneSlot) {
  TRef<Sync> lock = MakeRef<Sync>();
  std::latch bothHold(3);
  std::latch release(1);
  auto reader = [&] {
    lock->BeginRead();
    lock->BeginRead();  // nested: no second slot
    bothHold.count_down();
    release.wait();
    lock->EndRead();
    lock->EndRead();
  };
  std::thread a(reader), b(reader);
  bothHold.arrive_and_wait();
  EXPECT_EQ(lock->Sentinel(), 65533);
  release.count_down();
  a.join();
  b.join();
  EXPECT_EQ(lock->Sentinel(), 65535);
}

TEST(MultiReadLock, ReaderUpgradesOnceOtherReadersLeave) {
  TRef<Sync> lock = MakeRef<Sync>();
  std::latch otherHolds(2);
  std::latch otherMayLeave(1);
  std::thread other([&] {
    lock->BeginRead();
    otherHolds.count_down();
    otherMayLeave.wait();
    lock->EndRead();
  });
  otherHolds.arrive_and_wait();

  std::atomic<bool> writing{false};
  std::atomic<bool> done{false};
  std::thread upgrader([&] {
    lock->BeginRead();
    lock->BeginWrite();
    writing = true;
    EXPECT_EQ(lock->Writer(), CurrentThreadId());
    lock->EndWrite();
    lock->EndRead();
    done = true;
  });
  EXPECT_TRUE(StaysFalse([&] { return writing.load(); })) << "writer entered beside a reader";
  otherMayLeave.count_down();
  ASSERT_TRUE(WaitUntil([&] { return done.load(); })) << "upgrade never completed";
  other.join();
  upgrader.join();
  EXPECT_EQ(lock->Sentinel(), 65535);
  EXPECT_EQ(lock->Writer(), 0u);
}

TEST(MultiReadLock, TwoReadersUpgradingAtOnceDoNotDeadlock) {
  TRef<Sync> lock = MakeRef<Sync>();
  std::latch bothRead(2);
  std::atomic<int> finished{0};
  auto upgrader = [&] {
    lock->BeginRead();
    bothRead.arrive_and_wait();
    lock->BeginWrite();
    lock->EndWrite();
    lock->EndRead();
    ++finished;
  };
  std::thread a(upgrader), b(upgrader);
  ASSERT_TRUE(WaitUntil([&] { return finished.load() == 2; })) << "upgrades deadlocked";
  a.join();
  b.join();
  EXPECT_EQ(lock->Sentinel(), 65535);
}

TEST(MultiReadLock, NestedWriteKeepsTheWriterUntilTheLastEnd) {
  TRef<Sync> lock = MakeRef<Sync>();
  lock->BeginWrite();
  lock->BeginWrite();
  lock->BeginRead();  // a writer reads without waiting
  lock->EndRead();
  lock->EndWrite();
  EXPECT_EQ(lock->Writer(), CurrentThreadId());
  EXPECT_EQ(lock->WriteRecursion(), 1u);
  lock->EndWrite();
  EXPECT_EQ(lock->Writer(), 0u);
  EXPECT_EQ(lock->Sentinel(), 65535);
}

TEST(MultiReadLock, EndWriteByANonWriterRaisesAndChangesNothing) {
  TRef<Sync> lock = MakeRef<Sync>();
  try {
    lock->EndWrite();
    FAIL() << "no error raised";
  } catch (const EAssertionFailed& e) {
    EXPECT_STREQ(e.what(), "Assertion failure (OWMultiReadLock, ligne 278)");
  }
  EXPECT_EQ(lock->Sentinel(), 65535);

  std::latch writes(2);
  std::latch done(1);
  std::thread writer([&] {
    lock->BeginWrite();
    writes.count_down();
    done.wait();
    lock->EndWrite();
  });
  writes.arrive_and_wait();
  EXPECT_THROW(lock->EndWrite(), EAssertionFailed);
  EXPECT_EQ(lock->Sentinel(), 0);
  EXPECT_NE(lock->Writer(), 0u);
  EXPECT_EQ(lock->WriteRecursion(), 1u);
  done.count_down();
  writer.join();
  EXPECT_EQ(lock->Sentinel(), 65535);
}

TEST(MultiReadLock, ReadTakenWhileWritingStaysProtectedAfterTheWriteEnds) {
  TRef<Sync> lock = MakeRef<Sync>();
  lock->BeginWrite();
  lock->BeginRead();
  lock->EndWrite();  // still reading
  EXPECT_EQ(lock->Sentinel(), 65534);

  std::atomic<bool> otherWrote{false};
  std::thread other([&] {
    lock->BeginWrite();
    otherWrote = true;
    lock->EndWrite();
  });
  EXPECT_TRUE(StaysFalse([&] { return otherWrote.load(); })) << "writer entered beside a reader";
  lock->EndRead();
  ASSERT_TRUE(WaitUntil([&] { return otherWrote.load(); }));
  other.join();
  EXPECT_EQ(lock->Sentinel(), 65535);
}

TEST(MultiReadLock, UpgradedReaderMayReleaseItsReadFirst) {
  TRef<Sync> lock = MakeRef<Sync>();
  lock->BeginRead();
  lock->BeginWrite();
  lock->EndRead();
  lock->EndWrite();
  EXPECT_EQ(lock->Sentinel(), 65535);
  EXPECT_EQ(lock->ThreadReadCount(), 0);
}

TEST(MultiReadLock, WaitingWriterKeepsNewReadersOut) {
  TRef<Sync> lock = MakeRef<Sync>();
  lock->BeginRead();
  std::atomic<bool> wrote{false};
  std::atomic<bool> lateReaderIn{false};
  std::thread writer([&] {
    lock->BeginWrite();
    wrote = true;
    lock->EndWrite();
  });
  ASSERT_TRUE(WaitUntil([&] { return lock->ReadersBlocked(); })) << "writer never started waiting";
  EXPECT_FALSE(wrote.load());
  std::thread lateReader([&] {
    lock->BeginRead();
    lateReaderIn = true;
    lock->EndRead();
  });
  EXPECT_TRUE(StaysFalse([&] { return lateReaderIn.load(); }))
      << "a new reader overtook a waiting writer";
  lock->EndRead();
  ASSERT_TRUE(WaitUntil([&] { return wrote.load() && lateReaderIn.load(); }));
  writer.join();
  lateReader.join();
  EXPECT_EQ(lock->Sentinel(), 65535);
}

TEST(MultiReadLock, ThreadRecordsAreRecycled) {
  TRef<Sync> lock = MakeRef<Sync>();
  for (int i = 0; i < 64; ++i) {
    std::thread t([&] {
      lock->BeginRead();
      lock->EndRead();
    });
    t.join();
  }
  // Each bucket needs at most one record when threads never overlap.
  EXPECT_LE(lock->Counter().RecordCount(), 16);
  EXPECT_EQ(TOWThreadLocalCounter::BucketOf(0x1234), (0x1234u ^ 0x12u) & 15u);
}

TEST(MultiReadLock, GlobalSectionsHoldTheSingleGlobalLock) {
  auto& global = GlobalLock();
  {
    TRef<IOWLockSection> read = global.ReadLock();
    EXPECT_EQ(global.Sentinel(), 65534);
    TRef<IOWLockSection> again = read;  // another reference holds the same section
    read.reset();
    EXPECT_EQ(global.Sentinel(), 65534);
  }
  EXPECT_EQ(global.Sentinel(), 65535);
  {
    TOWGlobalWriteLockSection write;
    EXPECT_EQ(global.Writer(), CurrentThreadId());
  }
  EXPECT_EQ(global.Writer(), 0u);
}

}  // namespace
}  // namespace tardivox
