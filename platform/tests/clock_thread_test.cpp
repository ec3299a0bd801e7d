#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>

#include "eventually.h"
#include "platform/clock.h"
#include "platform/fd_wait.h"
#include "platform/thread.h"
#include "platform/trace.h"
#include "platform/unique_fd.h"

namespace wf {
using std::chrono::milliseconds;
using std::chrono::steady_clock;

TEST(Clock, ScaleAppliesToEveryWaitButInfinite) {
  setTimeScaleForTest(0.001);
  EXPECT_EQ(duration_cast<milliseconds>(scaled(30'000)).count(), 30);
  EXPECT_EQ(scaled(kInfinite), steady_clock::duration::max());
  setTimeScaleForTest(1.0);
  EXPECT_EQ(duration_cast<milliseconds>(scaled(30'000)).count(), 30'000);
}

TEST(Clock, ScaledSleepEndsAndStopWakesEarly) {
  setTimeScaleForTest(0.001);
  EXPECT_TRUE(sleepFor(20'000));  // 20 ms real
  std::stop_source stop;
  Thread stopper("stopper", [&](std::stop_token) {
    sleepFor(10);
    stop.request_stop();
  });
  EXPECT_FALSE(sleepFor(kInfinite, stop.get_token()));
}

TEST(Clock, NowIsInjectable) {
  setNowForTest([] { return std::time_t{1'000'000}; });
  EXPECT_EQ(now(), 1'000'000);
  setNowForTest({});
  EXPECT_GT(now(), 1'600'000'000);
}

TEST(Clock, TickCountAdvances) {
  auto a = tickCount();
  setTimeScaleForTest(1.0);
  sleepFor(5);
  EXPECT_GE(static_cast<std::uint32_t>(tickCount() - a), 5u);
}

TEST(Thread, NamedWithIdAndJoinedWithinBound) {
  std::atomic<ThreadId> seen{0};
  Thread t("worker", [&](std::stop_token) { seen = currentThreadId(); });
  EXPECT_TRUE(t.joinFor(5'000));
  EXPECT_NE(seen.load(), 0u);
  EXPECT_NE(seen.load(), currentThreadId());
  EXPECT_EQ(t.name(), "worker");
}

TEST(Thread, StuckThreadIsAbandonedNotKilled) {
  setTimeScaleForTest(0.001);
  std::atomic<bool> release{false}, ended{false};
  std::string traced;
  setPlatformTraceSink([&](std::string_view l) { traced = l; });
  {
    Thread t("stuck", [&](std::stop_token) {
      while (!release) std::this_thread::sleep_for(milliseconds(1));
      ended = true;
    });
    EXPECT_FALSE(t.joinFor(10));
    EXPECT_FALSE(t.joinable());
  }
  EXPECT_NE(traced.find("stuck"), std::string::npos);
  release = true;
  EXPECT_TRUE(testing::eventually([&] { return ended.load(); }));  // it finished on its own
  setPlatformTraceSink({});
}

TEST(FdWait, StopWakesBlockedRead) {
  int sv[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
  const UniqueFd end0(sv[0]), end1(sv[1]);
  std::atomic<int> result{-1};
  Thread reader("reader", [&](std::stop_token stop) {
    result = static_cast<int>(waitFd(sv[0], POLLIN, kInfinite, stop));
  });
  std::this_thread::sleep_for(milliseconds(20));
  reader.requestStop();
  EXPECT_TRUE(reader.joinFor(5'000));
  EXPECT_EQ(result.load(), static_cast<int>(FdWait::Stopped));
}

TEST(FdWait, ReadyAndTimedOut) {
  setTimeScaleForTest(0.01);
  int sv[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
  const UniqueFd end0(sv[0]), end1(sv[1]);
  EXPECT_EQ(waitFd(sv[0], POLLIN, 1'000), FdWait::TimedOut);
  ASSERT_EQ(::write(sv[1], "x", 1), 1);
  EXPECT_EQ(waitFd(sv[0], POLLIN, 1'000), FdWait::Ready);
}

}  // namespace wf
