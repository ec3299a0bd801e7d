#include "common/wait_objects.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/sync.h"

namespace {

constexpr DWORD kForever = 0xFFFFFFFF;
constexpr DWORD kTimeout = 258;

// Runs `body` on a thread of its own and waits for it.
template <class F>
void onOtherThread(F body) {
  std::thread(body).join();
}

TEST(WaitObjects, OneNameTwoObjectsOneLock) {
  CMutex first("PrinterLock");
  CMutex second("PrinterLock");
  ASSERT_EQ(first.Wait(kForever), 0u);
  onOtherThread([] {
    CMutex other("PrinterLock");
    EXPECT_EQ(other.Wait(0), kTimeout);
  });
  EXPECT_TRUE(first.Release());
  onOtherThread([&] {
    EXPECT_EQ(second.Wait(0), 0u);
    EXPECT_TRUE(second.Release());
  });
}

TEST(WaitObjects, MutexIsRecursiveForItsOwnerOnly) {
  CMutex mutex("Recursive");
  ASSERT_EQ(mutex.Wait(kForever), 0u);
  ASSERT_EQ(mutex.Wait(kForever), 0u);
  onOtherThread([] {
    CMutex other("Recursive");
    EXPECT_FALSE(other.Release());
    EXPECT_EQ(other.Wait(0), kTimeout);
  });
  EXPECT_TRUE(mutex.Release());
  EXPECT_TRUE(mutex.Release());
  EXPECT_FALSE(mutex.Release());
}

TEST(WaitObjects, ThreadEndingWithTheMutexAbandonsItToTheNextWaiter) {
  onOtherThread([] {
    CMutex mutex("Abandoned");
    ASSERT_EQ(mutex.Wait(kForever), 0u);
    // Ends owning it; the object stays open through the name below.
    mutex.Detach();
  });
  CMutex mutex("Abandoned");
  EXPECT_EQ(mutex.Wait(kForever), 0x80u);
  EXPECT_TRUE(mutex.Release());
}

TEST(WaitObjects, SemaphoreReleasedPastItsMaximumFailsAndKeepsItsCount) {
  CSemaphore semaphore("Units", 1, 2);
  EXPECT_TRUE(semaphore.Release(1));
  EXPECT_FALSE(semaphore.Release(1));
  EXPECT_EQ(semaphore.Wait(0), 0u);
  EXPECT_EQ(semaphore.Wait(0), 0u);
  EXPECT_EQ(semaphore.Wait(0), kTimeout);
}

TEST(WaitObjects, OpeningAnExistingSemaphoreIgnoresTheCounts) {
  CSemaphore created("Shared", 0, 5);
  CSemaphore opened("Shared", 5, 5);
  EXPECT_EQ(opened.Wait(0), kTimeout);
  EXPECT_TRUE(created.Release(2));
  EXPECT_EQ(opened.Wait(0), 0u);
}

TEST(WaitObjects, ManualAndAutoResetEvents) {
  struct Case {
    BOOL manual;
    DWORD secondWait;
  };
  for (Case c : {Case{TRUE, 0u}, Case{FALSE, kTimeout}}) {
    SCOPED_TRACE(c.manual ? "manual" : "auto");
    CEvent event(c.manual ? "Manual" : "Auto", c.manual);
    EXPECT_EQ(event.Wait(0), kTimeout) << "created not signalled";
    EXPECT_TRUE(event.Signal());
    EXPECT_EQ(event.Wait(0), 0u);
    EXPECT_EQ(event.Wait(0), c.secondWait);
    EXPECT_TRUE(event.Reset());
    EXPECT_EQ(event.Wait(0), kTimeout);
  }
}

TEST(WaitObjects, PulseReleasesAWaiterAndLeavesTheEventReset) {
  CEvent event("Pulsed", TRUE);
  EXPECT_TRUE(event.Pulse());
  EXPECT_EQ(event.Wait(0), kTimeout) << "a pulse without waiters is lost";
  std::atomic<bool> woken{false};
  std::thread waiter([&] {
    CEvent same("Pulsed", TRUE);
    EXPECT_EQ(same.Wait(kForever), 0u);
    woken = true;
  });
  // The waiter may not be waiting yet; each pulse that finds nobody is lost.
  while (!woken) {
    EXPECT_TRUE(event.Pulse());
    std::this_thread::yield();
  }
  waiter.join();
  EXPECT_EQ(event.Wait(0), kTimeout);
}

TEST(WaitObjects, DefaultSemaphoreHasNoHandleUntilCreated) {
  CSemaphore semaphore;
  EXPECT_EQ(semaphore.GetHandle(), nullptr);
  EXPECT_EQ(semaphore.Wait(kForever), kTimeout);
  EXPECT_FALSE(semaphore.Release(1));
  ASSERT_TRUE(semaphore.Create("Later", 1, 500));
  EXPECT_EQ(semaphore.Wait(0), 0u);
  EXPECT_TRUE(semaphore.Release(1));
}

TEST(WaitObjects, DetachLeavesTheObjectOpenAndAttachDoesNotCloseTheOldHandle) {
  HANDLE kept;
  {
    CMutex mutex("Detached");
    kept = mutex.Detach();
    EXPECT_EQ(mutex.GetHandle(), nullptr);
  }
  const wf::SyncHandle reopened = wf::openSyncObject(wf::SyncKind::Mutex, "Detached");
  EXPECT_NE(reopened, wf::kNoSyncHandle);
  wf::closeSyncHandle(reopened);

  CEvent event("Old");
  HANDLE old = event.GetHandle();
  {
    CWinSync holder(kept);  // closes the detached mutex
  }
  event.Attach(reinterpret_cast<HANDLE>(wf::createEvent("New", false, false)));
  EXPECT_NE(static_cast<HANDLE>(event), old);
  EXPECT_TRUE(wf::setEvent(reinterpret_cast<wf::SyncHandle>(old))) << "the old handle is still open";
  EXPECT_TRUE(wf::closeSyncHandle(reinterpret_cast<wf::SyncHandle>(old)));
}

TEST(WaitObjects, BadArgumentsLeaveNoHandle) {
  const std::string longName(wf::kMaxSyncName + 1, 'n');
  CMutex mutex(longName.c_str());
  CEvent event(longName.c_str());
  CSemaphore semaphore(longName.c_str(), 1, 1);
  CSemaphore aboveMaximum("Above", 3, 2);
  CSemaphore negative("Negative", -1, 2);
  for (CWinSync* object :
       std::initializer_list<CWinSync*>{&mutex, &event, &semaphore, &aboveMaximum, &negative}) {
    EXPECT_EQ(object->GetHandle(), nullptr);
    EXPECT_EQ(object->Wait(kForever), kTimeout);
  }
  EXPECT_FALSE(mutex.Release());
  EXPECT_FALSE(event.Signal());
  EXPECT_FALSE(event.Reset());
  EXPECT_FALSE(event.Pulse());
  EXPECT_FALSE(semaphore.Release(1));
  EXPECT_FALSE(aboveMaximum.Release(1));
  EXPECT_FALSE(negative.Release(1));
}

}  // namespace
