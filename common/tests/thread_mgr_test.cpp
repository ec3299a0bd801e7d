#include "common/thread_mgr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/wait_objects.h"
#include "eventually.h"
#include "fake_wf_app.h"
#include "platform/clock.h"

namespace {

using wf::testing::eventually;
using wf::testing::FakeWFApp;

constexpr std::time_t kThreadMgrStart = 1'000'000;

class ThreadMgrTest;

// One work item that runs until the test lets it end.
struct Job {
  int id = 0;
  ThreadMgrTest* owner = nullptr;
  CEvent release{nullptr, TRUE};
};

class ThreadMgrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scale_ = wf::timeScale();
    wf::setTimeScaleForTest(0.01);
    wf::setNowForTest([this] { return now_.load(); });
  }
  void TearDown() override {
    for (auto& job : jobs_) job.release.Signal();
    manager_.Shutdown();
    wf::setNowForTest({});
    wf::setTimeScaleForTest(scale_);
  }

  Job& queue(int priority = 0, const char* name = nullptr) {
    Job& job = jobs_.emplace_back();
    job.id = static_cast<int>(jobs_.size()) - 1;
    job.owner = this;
    app_.BeginThread(&ThreadMgrTest::run, &job, priority, name);
    return job;
  }

  std::vector<int> started() {
    std::lock_guard lock(m_);
    return started_;
  }
  std::size_t startedCount() { return started().size(); }

  // Lets at least `polls` whole polls of the dispatcher pass.
  void waitPolls(int polls) {
    const auto from = app_.queueChecks();
    ASSERT_TRUE(eventually([&] { return app_.queueChecks() >= from + (polls + 1) * 21; }));
  }

  static UINT run(void* param) {
    auto* job = static_cast<Job*>(param);
    {
      std::lock_guard lock(job->owner->m_);
      job->owner->started_.push_back(job->id);
    }
    job->release.Wait(0xFFFFFFFF);
    return 0;
  }

  std::atomic<std::time_t> now_{kThreadMgrStart};
  FakeWFApp app_;
  CWFThreadMgr manager_;
  std::deque<Job> jobs_;

 private:
  double scale_ = 1;
  std::mutex m_;
  std::vector<int> started_;
};

TEST(ThreadQueue, OrdersByPriorityThenArrival) {
  CWFThreadQ queue;
  for (auto [priority, name] : std::initializer_list<std::pair<int, const char*>>{
           {0, "a"}, {0, "b"}, {1, "c"}, {1, "d"}, {0, "e"}, {2, "f"}, {-1, "g"}}) {
    auto* item = new CWFThread(nullptr, nullptr, priority);
    item->SetString(name);
    ASSERT_TRUE(queue.Add(item));
  }
  std::string order;
  for (POSITION p = queue.GetHeadPosition(); p;)
    order += static_cast<CWFThread*>(queue.GetNext(p))->GetString();
  EXPECT_EQ(order, "fcdabeg");
  EXPECT_FALSE(queue.Add(nullptr));
}  // the destructor deletes what is left

TEST_F(ThreadMgrTest, RunsAtMostMaxThreadsAndStartsTheRestAsSlotsFree) {
  for (int i = 0; i < 25; ++i) queue();
  manager_.Initialize();
  ASSERT_TRUE(eventually([&] { return startedCount() == 20; }));
  auto first = started();
  EXPECT_EQ(std::set<int>(first.begin(), first.end()),
            (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}));
  waitPolls(3);
  EXPECT_EQ(startedCount(), 20u);
  EXPECT_FALSE(app_.ThreadMgrQIsEmpty());

  jobs_[3].release.Signal();
  ASSERT_TRUE(eventually([&] { return startedCount() == 21; }));
  EXPECT_EQ(started().back(), 20) << "the queue's head takes the freed slot";
  for (int i = 0; i < 20; ++i) jobs_[i].release.Signal();
  ASSERT_TRUE(eventually([&] { return startedCount() == 25; }));
}

TEST_F(ThreadMgrTest, HigherPriorityRunsFirstAndEqualsInQueueOrder) {
  for (int i = 0; i < 20; ++i) queue();
  manager_.Initialize();
  ASSERT_TRUE(eventually([&] { return startedCount() == 20; }));
  queue(0);  // 20
  queue(0);  // 21
  queue(1);  // 22
  for (int expected : {22, 20, 21}) {
    const std::size_t before = startedCount();
    jobs_[before - 20].release.Signal();
    ASSERT_TRUE(eventually([&] { return startedCount() == before + 1; }));
    EXPECT_EQ(started().back(), expected);
  }
}

TEST_F(ThreadMgrTest, GivesUpAWorkerOlderThanTwoMinutesOnlyWhenEverySlotIsBusy) {
  queue(0, "old");
  manager_.Initialize();
  ASSERT_TRUE(eventually([&] { return startedCount() == 1; }));
  now_ = kThreadMgrStart + 60;
  for (int i = 0; i < 19; ++i) queue();
  ASSERT_TRUE(eventually([&] { return startedCount() == 20; }));
  queue(0, "waiting");  // 20

  now_ = kThreadMgrStart + 120;  // "old" has run exactly two minutes
  waitPolls(3);
  EXPECT_EQ(startedCount(), 20u);
  EXPECT_TRUE(app_.logLines().empty());

  now_ = kThreadMgrStart + 121;
  ASSERT_TRUE(eventually([&] { return startedCount() == 21; }));
  EXPECT_EQ(started().back(), 20);
  EXPECT_EQ(app_.logLines(), std::vector<std::string>{"[ThreadMgr] Terminating to free slot: old\n"});

  // The given-up worker finishes on its own; its objects go at a later poll.
  jobs_[0].release.Signal();
  waitPolls(2);
  EXPECT_EQ(app_.logLines().size(), 1u);
}

TEST_F(ThreadMgrTest, ShutdownWithNothingToDoEndsAtTheNextPoll) {
  manager_.Initialize();
  waitPolls(1);
  manager_.Shutdown();
  EXPECT_TRUE(app_.logLines().empty());
}

TEST_F(ThreadMgrTest, ShutdownStartsWhatIsQueuedThenEnds) {
  for (int i = 0; i < 20; ++i) queue();
  manager_.Initialize();
  ASSERT_TRUE(eventually([&] { return startedCount() == 20; }));
  queue(0, "queued");
  queue(0, "queued too");
  std::thread releaser([&] {
    // Shutdown waits for all of them; let them end once it has been asked.
    eventually([&] { return manager_.GetThreadLock() == TRUE; });
    for (auto& job : jobs_) job.release.Signal();
  });
  manager_.Shutdown();
  releaser.join();
  EXPECT_EQ(startedCount(), 22u);
  EXPECT_TRUE(app_.ThreadMgrQIsEmpty());
  EXPECT_TRUE(app_.logLines().empty());
}

TEST_F(ThreadMgrTest, ShutdownGivesUpAHungWorkerAfterTheDeadline) {
  queue(0, "hung");
  queue(0);
  manager_.Initialize();
  ASSERT_TRUE(eventually([&] { return startedCount() == 2; }));
  std::atomic<bool> done{false};
  std::thread shutdown([&] {
    manager_.Shutdown();
    done = true;
  });
  ASSERT_TRUE(eventually([&] { return manager_.GetThreadLock() == TRUE; }));
  waitPolls(2);
  now_ = kThreadMgrStart + 120;
  waitPolls(2);
  EXPECT_FALSE(done) << "still within the two minutes";
  now_ = kThreadMgrStart + 121;
  ASSERT_TRUE(eventually([&] { return done.load(); }));
  shutdown.join();
  EXPECT_EQ(app_.logLines(), (std::vector<std::string>{"[ThreadMgr] Terminating on shutdown: hung\n",
                                                       "[ThreadMgr] Terminating on shutdown: (unknown)\n"}));
}

TEST_F(ThreadMgrTest, NothingRunsOnceWorkIsNoLongerAccepted) {
  app_.workQueue().setAccepting(false);
  queue(0, "refused");
  EXPECT_TRUE(app_.ThreadMgrQIsEmpty());
  manager_.Initialize();
  waitPolls(2);
  EXPECT_EQ(startedCount(), 0u);
}

TEST(ThreadMgr, WithoutAnApplicationThereIsNoWork) {
  const double scale = wf::timeScale();
  wf::setTimeScaleForTest(0.01);
  CWFThreadMgr manager;
  EXPECT_TRUE(manager.QueueIsEmpty());
  EXPECT_EQ(manager.QueueRemoveHead(), nullptr);
  EXPECT_EQ(manager.Initialize(), 0);
  manager.Shutdown();
  wf::setTimeScaleForTest(scale);
}

}  // namespace
