#include "platform/sync.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/cross_process_mutex.h"
#include "platform/runtime_dir.h"
#include "platform/thread.h"
#include "platform_child.h"
#include "test_dirs.h"

namespace wf {
namespace {

// Waits of helper threads are bounded, so a broken wake-up fails the test instead of hanging it.
constexpr std::uint32_t kLongEnough = 10'000;

// Closes the handles a test made, so every case leaves the namespace empty.
struct Handles {
  std::vector<SyncHandle> all;
  SyncHandle operator()(SyncHandle h) {
    all.push_back(h);
    return h;
  }
  ~Handles() {
    for (auto h : all) closeSyncHandle(h);
  }
};

// Runs `body` on a thread of its own and waits for it to end.
template <typename Body>
void onOtherThread(Body body) {
  Thread t("other", [&](std::stop_token) { body(); });
  ASSERT_TRUE(t.joinFor(10'000));
}

// Units left in a semaphore, taking them all.
int drain(SyncHandle semaphore) {
  int n = 0;
  while (waitForObject(semaphore, 0) == kWaitObject0) ++n;
  return n;
}

TEST(Semaphore, ReleasePastMaximumFailsAndLeavesTheCount) {
  Handles h;
  SyncHandle s = h(createSemaphore("", 2, 3));
  ASSERT_NE(s, kNoSyncHandle);
  std::int32_t previous = -1;
  EXPECT_FALSE(releaseSemaphore(s, 2, &previous));
  EXPECT_EQ(previous, -1);
  EXPECT_TRUE(releaseSemaphore(s, 1, &previous));
  EXPECT_EQ(previous, 2);
  EXPECT_FALSE(releaseSemaphore(s, 1));
  EXPECT_EQ(drain(s), 3);
  EXPECT_TRUE(releaseSemaphore(s, 3, &previous));
  EXPECT_EQ(previous, 0);
  EXPECT_EQ(drain(s), 3);
}

TEST(Semaphore, RefusesBadCountsAndWrongHandles) {
  struct Case {
    std::int32_t initial, maximum;
  };
  for (auto c : {Case{-1, 1}, Case{2, 1}, Case{0, 0}, Case{0, -5}}) {
    EXPECT_EQ(createSemaphore("", c.initial, c.maximum), kNoSyncHandle) << c.initial << "/" << c.maximum;
  }
  Handles h;
  SyncHandle s = h(createSemaphore("", 0, 500));
  SyncHandle m = h(createMutex("", false));
  EXPECT_FALSE(releaseSemaphore(s, 0));
  EXPECT_FALSE(releaseSemaphore(s, -1));
  EXPECT_FALSE(releaseSemaphore(m, 1));
  EXPECT_FALSE(releaseSemaphore(kNoSyncHandle, 1));
  EXPECT_EQ(waitForObject(s, 0), kWaitTimeout);
}

TEST(Semaphore, BlockedWaiterTakesAReleasedUnit) {
  Handles h;
  SyncHandle s = h(createSemaphore("", 0, 1));
  std::atomic<std::uint32_t> got{kWaitFailed};
  Thread waiter("waiter", [&](std::stop_token) { got = waitForObject(s, kLongEnough); });
  EXPECT_EQ(waitForObject(s, 20), kWaitTimeout);  // the waiter cannot have taken what is not there
  EXPECT_TRUE(releaseSemaphore(s, 1));
  ASSERT_TRUE(waiter.joinFor(10'000));
  EXPECT_EQ(got.load(), kWaitObject0);
  EXPECT_EQ(drain(s), 0);
}

TEST(Mutex, RecursiveForItsOwnerAndReleasedOnlyByIt) {
  Handles h;
  SyncHandle m = h(createMutex("", false));
  ASSERT_EQ(waitForObject(m, 0), kWaitObject0);
  ASSERT_EQ(waitForObject(m, kLongEnough), kWaitObject0);
  onOtherThread([&] {
    EXPECT_EQ(waitForObject(m, 0), kWaitTimeout);
    EXPECT_FALSE(releaseMutex(m));
  });
  EXPECT_TRUE(releaseMutex(m));
  onOtherThread([&] { EXPECT_EQ(waitForObject(m, 0), kWaitTimeout); });  // still held once
  EXPECT_TRUE(releaseMutex(m));
  EXPECT_FALSE(releaseMutex(m));
  onOtherThread([&] {
    EXPECT_EQ(waitForObject(m, 0), kWaitObject0);
    EXPECT_TRUE(releaseMutex(m));
  });
}

TEST(Mutex, InitiallyOwnedAndTimedWaitOfAnother) {
  setTimeScaleForTest(0.01);
  Handles h;
  SyncHandle m = h(createMutex("owned", true));
  onOtherThread([&] { EXPECT_EQ(waitForObject(m, 500), kWaitTimeout); });
  // Opening it again does not take it.
  bool existed = false;
  SyncHandle again = h(createMutex("owned", true, &existed));
  EXPECT_TRUE(existed);
  EXPECT_TRUE(releaseMutex(again));
  onOtherThread([&] {
    EXPECT_EQ(waitForObject(m, 500), kWaitObject0);
    EXPECT_TRUE(releaseMutex(m));
  });
}

TEST(Mutex, OwnerEndingWhileHoldingAbandonsItToTheNextWaiter) {
  Handles h;
  SyncHandle m = h(createMutex("", false));
  SyncHandle go = h(createEvent("", true, false));
  SyncHandle taken = h(createEvent("", true, false));
  SyncHandle unrelated = h(createEvent("", true, false));
  Thread owner("owner", [&](std::stop_token) {
    waitForObject(m, kInfinite);
    setEvent(taken);
    waitForObject(go, kLongEnough);
  });
  ASSERT_EQ(waitForObject(taken, 10'000), kWaitObject0);
  // Blocked behind the owner, on the mutex at index 1.
  std::atomic<std::uint32_t> got{kWaitFailed};
  Thread waiter("waiter", [&](std::stop_token) {
    std::array<SyncHandle, 2> both{unrelated, m};
    got = waitForAny(both, kLongEnough);
    if (got == kWaitAbandoned0 + 1) {
      EXPECT_EQ(waitForObject(m, 0), kWaitObject0);  // reported once; now simply owned
      EXPECT_TRUE(releaseMutex(m));
      EXPECT_TRUE(releaseMutex(m));
    }
  });
  setEvent(go);
  ASSERT_TRUE(owner.joinFor(10'000));
  ASSERT_TRUE(waiter.joinFor(10'000));
  EXPECT_EQ(got.load(), kWaitAbandoned0 + 1);
  EXPECT_EQ(waitForObject(m, 0), kWaitObject0);
  EXPECT_TRUE(releaseMutex(m));
}

// A thread still takes and releases locks after its own thread-local
// objects are gone, as the main thread does during exit() and library
// detach: nothing of its ended lock record may be touched then.
SyncHandle lockAtThreadEnd = kNoSyncHandle;
struct LocksAtThreadEnd {
  ~LocksAtThreadEnd() {
    EXPECT_EQ(waitForObject(lockAtThreadEnd, 0), kWaitObject0);
    EXPECT_TRUE(releaseMutex(lockAtThreadEnd));
  }
};

TEST(Mutex, TakenAndReleasedAfterTheThreadsOwnRecordHasGone) {
  Handles h;
  lockAtThreadEnd = h(createMutex("", false));
  onOtherThread([&] {
    thread_local LocksAtThreadEnd atEnd;  // made before the lock record, so destroyed after it
    (void)atEnd;
    ASSERT_EQ(waitForObject(lockAtThreadEnd, 0), kWaitObject0);
    EXPECT_TRUE(releaseMutex(lockAtThreadEnd));
  });
  EXPECT_EQ(waitForObject(lockAtThreadEnd, 0), kWaitObject0);  // released, not abandoned
  EXPECT_TRUE(releaseMutex(lockAtThreadEnd));
}

TEST(Mutex, AbandonedWithNoWaiterIsReportedToTheNextTaker) {
  Handles h;
  SyncHandle m = h(createMutex("", false));
  onOtherThread([&] { ASSERT_EQ(waitForObject(m, 0), kWaitObject0); });
  EXPECT_EQ(waitForObject(m, 0), kWaitAbandoned0);
  EXPECT_TRUE(releaseMutex(m));
  EXPECT_EQ(waitForObject(m, 0), kWaitObject0);
  EXPECT_TRUE(releaseMutex(m));
}

TEST(WaitForAny, TakesOnlyTheLowestSignalledObject) {
  Handles h;
  SyncHandle autoEvent = h(createEvent("", false, false));
  SyncHandle semaphore = h(createSemaphore("", 1, 1));
  SyncHandle manualEvent = h(createEvent("", true, true));
  std::array<SyncHandle, 3> all{autoEvent, semaphore, manualEvent};
  EXPECT_EQ(waitForAny(all, 0), kWaitObject0 + 1);
  EXPECT_EQ(waitForAny(all, 0), kWaitObject0 + 2);  // the unit went, the manual event stays set
  EXPECT_EQ(waitForAny(all, 0), kWaitObject0 + 2);
  setEvent(autoEvent);
  EXPECT_EQ(waitForAny(all, 0), kWaitObject0 + 0);
  EXPECT_EQ(waitForAny(all, 0), kWaitObject0 + 2);  // the auto event reset when taken
  resetEvent(manualEvent);
  EXPECT_EQ(waitForAny(all, 0), kWaitTimeout);
}

TEST(WaitForAny, BlockedWaitReturnsTheIndexThatWasSignalled) {
  Handles h;
  std::array<SyncHandle, 4> sems{};
  for (auto& s : sems) s = h(createSemaphore("", 0, 1000));
  std::atomic<std::uint32_t> got{kWaitFailed};
  Thread waiter("waiter", [&](std::stop_token) { got = waitForAny(sems, kLongEnough); });
  sleepFor(20);
  EXPECT_TRUE(releaseSemaphore(sems[2], 1));
  ASSERT_TRUE(waiter.joinFor(10'000));
  EXPECT_EQ(got.load(), kWaitObject0 + 2);
  for (auto s : sems) EXPECT_EQ(drain(s), 0);
}

TEST(WaitForAny, FailsOnBadHandleLists) {
  Handles h;
  SyncHandle e = h(createEvent("", true, true));
  SyncHandle closed = createEvent("", true, true);
  closeSyncHandle(closed);
  bool existed = false;
  SyncHandle sameObject = h(createEvent("twice", true, true));
  SyncHandle sameObjectAgain = h(createEvent("twice", true, true, &existed));
  ASSERT_TRUE(existed);
  std::vector<SyncHandle> tooMany(kMaxWaitObjects + 1, kNoSyncHandle);
  for (auto& t : tooMany) t = h(createEvent("", true, true));
  struct Case {
    const char* what;
    std::vector<SyncHandle> handles;
  };
  std::vector<Case> cases = {
      {"empty", {}},
      {"no handle", {e, kNoSyncHandle}},
      {"closed handle", {e, closed}},
      {"one object twice", {sameObject, sameObjectAgain}},
      {"too many", tooMany},
  };
  for (const auto& c : cases) EXPECT_EQ(waitForAny(c.handles, 0), kWaitFailed) << c.what;
  EXPECT_EQ(waitForObject(closed, kInfinite), kWaitFailed);
  tooMany.pop_back();
  EXPECT_EQ(waitForAny(tooMany, 0), kWaitObject0);
}

TEST(Event, AutoResetSetWakesExactlyOneWaiter) {
  Handles h;
  SyncHandle e = h(createEvent("", false, false));
  SyncHandle passed = h(createSemaphore("", 0, 10));
  std::vector<Thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back("waiter", [&](std::stop_token) {
      if (waitForObject(e, kLongEnough) == kWaitObject0) releaseSemaphore(passed, 1);
    });
  }
  for (int round = 0; round < 3; ++round) {
    EXPECT_TRUE(setEvent(e));
    EXPECT_EQ(waitForObject(passed, 10'000), kWaitObject0) << round;
    EXPECT_EQ(waitForObject(passed, 50), kWaitTimeout) << round;  // nobody else got through
  }
  EXPECT_EQ(waitForObject(e, 0), kWaitTimeout);
  for (auto& t : waiters) EXPECT_TRUE(t.joinFor(10'000));
}

TEST(Event, ManualResetReleasesEveryWaiterUntilReset) {
  Handles h;
  SyncHandle e = h(createEvent("", true, false));
  SyncHandle passed = h(createSemaphore("", 0, 10));
  std::vector<Thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back("waiter", [&](std::stop_token) {
      if (waitForObject(e, kLongEnough) == kWaitObject0) releaseSemaphore(passed, 1);
    });
  }
  EXPECT_TRUE(setEvent(e));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(waitForObject(passed, 10'000), kWaitObject0);
  EXPECT_EQ(waitForObject(e, 0), kWaitObject0);
  EXPECT_TRUE(resetEvent(e));
  EXPECT_EQ(waitForObject(e, 0), kWaitTimeout);
  for (auto& t : waiters) EXPECT_TRUE(t.joinFor(10'000));
}

TEST(Event, PulseReleasesWaitersAndLeavesItReset) {
  Handles h;
  for (bool manual : {false, true}) {
    SyncHandle e = h(createEvent("", manual, false));
    EXPECT_TRUE(pulseEvent(e));  // nobody waits: the pulse is lost
    EXPECT_EQ(waitForObject(e, 0), kWaitTimeout) << manual;
    std::atomic<int> passed{0};
    std::vector<Thread> waiters;
    for (int i = 0; i < 2; ++i) {
      waiters.emplace_back("waiter", [&](std::stop_token) {
        if (waitForObject(e, kLongEnough) == kWaitObject0) ++passed;
      });
    }
    // Waiters still starting miss a pulse, so pulse until both went through.
    for (int i = 0; i < 10'000 && passed < 2; ++i) {
      EXPECT_TRUE(pulseEvent(e));
      sleepFor(1);
    }
    EXPECT_EQ(passed.load(), 2) << manual;
    EXPECT_EQ(waitForObject(e, 0), kWaitTimeout) << manual;
    for (auto& t : waiters) EXPECT_TRUE(t.joinFor(10'000));
  }
  SyncHandle s = h(createSemaphore("", 0, 1));
  EXPECT_FALSE(setEvent(s));
  EXPECT_FALSE(resetEvent(s));
  EXPECT_FALSE(pulseEvent(s));
}

TEST(Names, CreateReportsExistedAndSharesTheObject) {
  Handles h;
  bool existed = true;
  SyncHandle first = h(createSemaphore("CWFAppEnumSpecificSemaphore", 1, 500, &existed));
  EXPECT_FALSE(existed);
  SyncHandle second = h(createSemaphore("CWFAppEnumSpecificSemaphore", 0, 1, &existed));
  EXPECT_TRUE(existed);
  ASSERT_NE(second, first);
  // The counts of the second create were ignored: the unit and the maximum are the first's.
  EXPECT_TRUE(releaseSemaphore(second, 10));
  EXPECT_EQ(drain(first), 11);

  SyncHandle opened = h(openSyncObject(SyncKind::Semaphore, "CWFAppEnumSpecificSemaphore"));
  EXPECT_TRUE(releaseSemaphore(opened, 1));
  EXPECT_EQ(drain(first), 1);

  // Case matters, one namespace holds every kind, and unnamed objects never meet.
  SyncHandle other = h(createSemaphore("cwfappenumspecificsemaphore", 0, 1, &existed));
  EXPECT_FALSE(existed);
  EXPECT_NE(other, kNoSyncHandle);
  EXPECT_EQ(createMutex("CWFAppEnumSpecificSemaphore", false, &existed), kNoSyncHandle);
  EXPECT_EQ(createEvent("CWFAppEnumSpecificSemaphore", true, false), kNoSyncHandle);
  EXPECT_EQ(openSyncObject(SyncKind::Mutex, "CWFAppEnumSpecificSemaphore"), kNoSyncHandle);
  EXPECT_EQ(openSyncObject(SyncKind::Mutex, "nothing of that name"), kNoSyncHandle);
  SyncHandle unnamed = h(createEvent("", true, true));
  SyncHandle unnamedToo = h(createEvent("", true, false, &existed));
  EXPECT_FALSE(existed);
  EXPECT_EQ(waitForObject(unnamed, 0), kWaitObject0);
  EXPECT_EQ(waitForObject(unnamedToo, 0), kWaitTimeout);
  EXPECT_EQ(createMutex(std::string(kMaxSyncName + 1, 'x'), false), kNoSyncHandle);
  EXPECT_NE(h(createMutex(std::string(kMaxSyncName, 'x'), false)), kNoSyncHandle);
}

TEST(Names, ObjectLivesWhileAnyHandleRefersToIt) {
  bool existed = false;
  SyncHandle a = createMutex("ThreadQueue", false);
  SyncHandle b = createMutex("ThreadQueue", false, &existed);
  ASSERT_TRUE(existed);
  ASSERT_EQ(waitForObject(a, 0), kWaitObject0);
  EXPECT_TRUE(closeSyncHandle(a));
  EXPECT_FALSE(closeSyncHandle(a));
  EXPECT_EQ(waitForObject(a, 0), kWaitFailed);
  // Still the same, still owned by this thread.
  SyncHandle c = createMutex("ThreadQueue", false, &existed);
  EXPECT_TRUE(existed);
  onOtherThread([&] { EXPECT_EQ(waitForObject(c, 0), kWaitTimeout); });
  EXPECT_TRUE(releaseMutex(b));
  EXPECT_TRUE(closeSyncHandle(b));
  EXPECT_TRUE(closeSyncHandle(c));
  // The last handle took the name with it: a new, free object.
  SyncHandle d = createMutex("ThreadQueue", false, &existed);
  EXPECT_FALSE(existed);
  onOtherThread([&] {
    EXPECT_EQ(waitForObject(d, 0), kWaitObject0);
    EXPECT_TRUE(releaseMutex(d));
  });
  EXPECT_TRUE(closeSyncHandle(d));
}

TEST(Wait, StopTokenWakesABlockedWait) {
  Handles h;
  SyncHandle e = h(createEvent("", false, false));
  SyncHandle m = h(createMutex("", true));
  std::stop_source stop;
  std::atomic<std::uint32_t> got{kWaitFailed};
  Thread waiter("waiter", [&](std::stop_token) {
    std::array<SyncHandle, 2> both{e, m};
    got = waitForAny(both, kInfinite, stop.get_token());
  });
  sleepFor(20);
  stop.request_stop();
  ASSERT_TRUE(waiter.joinFor(10'000));
  EXPECT_EQ(got.load(), kWaitStopped);
  // The stopped wait took nothing and left no trace behind.
  EXPECT_TRUE(setEvent(e));
  EXPECT_EQ(waitForObject(e, 0), kWaitObject0);
  EXPECT_TRUE(releaseMutex(m));
  onOtherThread([&] {
    EXPECT_EQ(waitForObject(m, 0), kWaitObject0);
    EXPECT_TRUE(releaseMutex(m));
  });
}

TEST(Wait, StopAlreadyRequestedStillTakesWhatIsFree) {
  Handles h;
  SyncHandle free = h(createSemaphore("", 1, 1));
  SyncHandle empty = h(createSemaphore("", 0, 1));
  std::stop_source stop;
  stop.request_stop();
  EXPECT_EQ(waitForObject(free, kInfinite, stop.get_token()), kWaitObject0);
  EXPECT_EQ(waitForObject(empty, kInfinite, stop.get_token()), kWaitStopped);
  EXPECT_EQ(waitForObject(empty, 0, stop.get_token()), kWaitTimeout);
}

TEST(CriticalSection, RecursiveAndLeftOnlyByItsOwner) {
  CriticalSection cs;
  cs.enter();
  EXPECT_TRUE(cs.tryEnter());
  onOtherThread([&] {
    EXPECT_FALSE(cs.tryEnter());
    EXPECT_FALSE(cs.leave());
  });
  EXPECT_TRUE(cs.leave());
  onOtherThread([&] { EXPECT_FALSE(cs.tryEnter()); });
  EXPECT_TRUE(cs.leave());
  EXPECT_FALSE(cs.leave());
  std::atomic<bool> inside{false};
  cs.enter();
  Thread other("other", [&](std::stop_token) {
    cs.enter();
    inside = true;
    cs.leave();
  });
  sleepFor(20);
  EXPECT_FALSE(inside.load());
  cs.leave();
  ASSERT_TRUE(other.joinFor(10'000));
  EXPECT_TRUE(inside.load());
}

constexpr const char* kInstance = "Wrenfield Application Instance";

TEST(CrossProcessMutex, HeldAgainstAnotherProcessAndFreedWhenItIsKilled) {
  testing::PlatformChild child;
  ASSERT_EQ(child.mutexOpen(kInstance), testing::Opened::Created);
  ASSERT_TRUE(child.mutexAcquire(kInstance));

  bool existed = false;
  auto mine = CrossProcessMutex::open(kInstance, &existed);
  ASSERT_TRUE(mine);
  EXPECT_TRUE(existed);
  EXPECT_FALSE(mine->tryAcquire());
  EXPECT_FALSE(mine->release());

  child.mutexRelease(kInstance);
  EXPECT_TRUE(mine->tryAcquire());
  EXPECT_FALSE(child.mutexAcquire(kInstance));  // busy
  EXPECT_TRUE(mine->release());
  ASSERT_TRUE(child.mutexAcquire(kInstance));
  EXPECT_FALSE(mine->tryAcquire());

  child.process().kill(SIGKILL);
  EXPECT_TRUE(mine->tryAcquire());
  // Nobody else has it open now: a fresh open is the creator again.
  mine.reset();
  auto fresh = CrossProcessMutex::open(kInstance, &existed);
  ASSERT_TRUE(fresh);
  EXPECT_FALSE(existed);
}

TEST(CrossProcessMutex, ExactlyOneOfManyProcessesCreatesIt) {
  std::vector<std::unique_ptr<testing::PlatformChild>> children;
  for (int i = 0; i < 4; ++i) children.push_back(std::make_unique<testing::PlatformChild>());
  std::vector<testing::Opened> answers(children.size());
  {
    std::vector<Thread> openers;
    for (std::size_t i = 0; i < children.size(); ++i) {
      openers.emplace_back("opener",
                           [&, i](std::stop_token) { answers[i] = children[i]->mutexOpen(kInstance); });
    }
  }
  EXPECT_EQ(std::count(answers.begin(), answers.end(), testing::Opened::Created), 1);
  EXPECT_EQ(std::count(answers.begin(), answers.end(), testing::Opened::Existed), 3);
}

TEST(CrossProcessMutex, SecondHandleInOneProcessSeesTheFirst) {
  bool existed = true;
  auto first = CrossProcessMutex::open(kInstance, &existed);
  ASSERT_TRUE(first);
  EXPECT_FALSE(existed);
  auto second = CrossProcessMutex::open(kInstance, &existed);
  ASSERT_TRUE(second);
  EXPECT_TRUE(existed);
  EXPECT_TRUE(first->tryAcquire());
  EXPECT_TRUE(first->tryAcquire());  // no nesting: still one release
  EXPECT_FALSE(second->tryAcquire());
  EXPECT_TRUE(first->release());
  EXPECT_FALSE(first->release());
  EXPECT_TRUE(second->tryAcquire());
}

TEST(CrossProcessMutex, NamesStayInsideTheRuntimeDirectoryAndApart) {
  namespace fs = std::filesystem;
  const std::vector<std::string> names = {"a b", "a%20b", "a\\b", "a/b", "../../escape", "..", "."};
  std::vector<CrossProcessMutex> open;
  for (const auto& name : names) {
    bool existed = true;
    auto m = CrossProcessMutex::open(name, &existed);
    ASSERT_TRUE(m) << name;
    EXPECT_FALSE(existed) << name;  // no two names met
    open.push_back(std::move(*m));
  }
  const fs::path dir = testing::testRuntimeDir();
  std::size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(dir.parent_path())) {
    if (!entry.is_regular_file()) continue;
    EXPECT_EQ(entry.path().parent_path(), dir / "mutex") << entry.path();
    ++files;
  }
  EXPECT_EQ(files, 2 * names.size());

  std::string error;
  EXPECT_FALSE(CrossProcessMutex::open("", nullptr, &error));
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_FALSE(CrossProcessMutex::open(std::string(kMaxSocketPath, ' '), nullptr, &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace wf
