#include "locks/OWObject.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <memory>
#include <random>
#include <thread>

#include "locks/MultiReadLock.h"
#include "support/WaitFor.h"

namespace tardivox {
namespace {

using testing::StaysFalse;
using testing::WaitUntil;

// Takes a write section of an object on a thread of its own and records when it got in.
class WriterThread {
 public:
  explicit WriterThread(TOWObject& o)
      : thread_([this, &o] {
          TOWWriteLockSection s(o);
          got_ = true;
        }) {}
  ~WriterThread() { thread_.join(); }
  bool Got() const { return got_.load(); }

 private:
  std::atomic<bool> got_{false};
  std::thread thread_;
};

TEST(OWObject, AddDependencyMovesHeldSectionsToTheNewGroupLock) {
  TOWObject a, b;
  TRef<IOWLockSection> sa = a.WriteSection();
  TRef<IOWLockSection> sb = b.WriteSection();
  TRef<IOWLockSection> sa2 = a.WriteSection();  // held twice
  const auto oldA = a.GroupLock();
  a.AddDependency(&b);
  EXPECT_EQ(a.GroupLock(), b.GroupLock());
  EXPECT_NE(a.GroupLock().get(), oldA.get());
  EXPECT_EQ(a.WriteCount(), 2);
  EXPECT_EQ(b.WriteCount(), 1);

  {
    WriterThread other(b);
    sa.reset();
    sb.reset();
    EXPECT_TRUE(StaysFalse([&] { return other.Got(); })) << "group lock released too early";
    sa2.reset();
    EXPECT_TRUE(WaitUntil([&] { return other.Got(); })) << "group lock never released";
  }
  EXPECT_EQ(GlobalLock().Sentinel(), 65535);
}

TEST(OWObject, DependenciesAreIdempotentAndSplitGroupsAgain) {
  TOWObject a, b, c;
  a.AddDependency(&b);
  const auto joint = a.GroupLock();
  a.AddDependency(&b);
  a.AddDependency(nullptr);
  EXPECT_EQ(a.GroupLock(), joint) << "a repeated AddDependency re-formed the group";
  EXPECT_EQ(a.DependsOn().size(), 1u);
  EXPECT_EQ(b.Dependents().size(), 1u);

  a.RemoveDependency(&c);  // not a dependency: groups stay as they were
  EXPECT_EQ(a.GroupLock(), b.GroupLock());
  EXPECT_NE(a.GroupLock(), c.GroupLock());
  EXPECT_EQ(a.LockGroup().size(), 2u);

  b.AddDependency(&c);
  EXPECT_EQ(a.GroupLock(), c.GroupLock());
  EXPECT_EQ(a.LockGroup(), (std::vector<TOWObject*>{&a, &b, &c}));

  a.RemoveDependency(&b);
  EXPECT_NE(a.GroupLock(), b.GroupLock());
  EXPECT_EQ(b.GroupLock(), c.GroupLock());
  EXPECT_TRUE(a.DependsOn().empty());
}

TEST(OWObject, GroupMembersExcludeEachOtherAcrossThreads) {
  TOWObject a, b, c;
  a.AddDependency(&b);
  auto section = std::make_unique<TOWWriteLockSection>(a);
  WriterThread onB(b);
  WriterThread onC(c);
  // c is in another group: not blocked.
  EXPECT_TRUE(WaitUntil([&] { return onC.Got(); }));
  EXPECT_TRUE(StaysFalse([&] { return onB.Got(); })) << "b's section did not wait for a's";
  section.reset();
  EXPECT_TRUE(WaitUntil([&] { return onB.Got(); }));
}

TEST(OWObject, DestructionDissolvesEveryDependency) {
  TOWObject a, c;
  {
    TOWObject b;
    a.AddDependency(&b);
    b.AddDependency(&c);
    EXPECT_EQ(a.GroupLock(), c.GroupLock());
  }
  EXPECT_TRUE(a.DependsOn().empty());
  EXPECT_TRUE(c.Dependents().empty());
  EXPECT_NE(a.GroupLock(), c.GroupLock());
  EXPECT_EQ(GlobalLock().Sentinel(), 65535);
}

TEST(OWObject, ReadAndWriteSectionsNestOnOneThread) {
  TOWObject a;
  {
    TOWReadLockSection r(a);
    TOWWriteLockSection w(a);
    TOWReadLockSection r2(a);
    EXPECT_EQ(a.ReadCount(), 2);
    EXPECT_EQ(a.WriteCount(), 1);
    EXPECT_EQ(GlobalLock().ThreadReadCount(), 3);
  }
  EXPECT_EQ(a.ReadCount(), 0);
  EXPECT_EQ(GlobalLock().Sentinel(), 65535);
}

// Threads mix nested reads, writes, global upgrades and dependency changes on a few objects.
// Each thread holds at most one group at a time and upgrades only without a group held: the
// order the lock layer requires. The test fails by timing out, never by sleeping.
TEST(OWObjectStress, MixedLockingFinishesAndLeavesEverythingFree) {
  constexpr int kThreads = 6;
  constexpr int kIterations = 1500;
  std::vector<std::unique_ptr<TOWObject>> objects;
  for (int i = 0; i < 5; ++i) objects.push_back(std::make_unique<TOWObject>());
  std::vector<int> counters(objects.size(), 0);  // guarded by each object's group lock
  std::atomic<int> finished{0};

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 rng(1234 + t);
      for (int i = 0; i < kIterations; ++i) {
        const size_t k = rng() % objects.size();
        TOWObject& o = *objects[k];
        switch (rng() % 5) {
          case 0: {
            TOWReadLockSection r(o);
            TOWWriteLockSection w(o);
            ++counters[k];
            break;
          }
          case 1: {
            TOWGlobalReadLockSection r1;
            TOWGlobalReadLockSection r2;
            TOWWriteLockSection w(o);
            --counters[k];
            break;
          }
          case 2: {
            TOWGlobalReadLockSection r;
            TOWGlobalWriteLockSection upgrade;
            for (int& c : counters) c += 0;
            break;
          }
          case 3:
            o.AddDependency(objects[(k + 1 + rng() % 4) % objects.size()].get());
            break;
          default:
            o.RemoveDependency(objects[(k + 1 + rng() % 4) % objects.size()].get());
            break;
        }
      }
      ++finished;
    });
  }
  const bool done =
      WaitUntil([&] { return finished.load() == kThreads; }, std::chrono::seconds(60));
  ASSERT_TRUE(done) << "stress threads did not finish: deadlock";
  for (auto& th : threads) th.join();
  EXPECT_EQ(GlobalLock().Sentinel(), 65535);
  EXPECT_EQ(GlobalLock().Writer(), 0u);
  for (auto& o : objects) {
    EXPECT_EQ(o->ReadCount(), 0);
    EXPECT_EQ(o->WriteCount(), 0);
  }
}

}  // namespace
}  // namespace tardivox
