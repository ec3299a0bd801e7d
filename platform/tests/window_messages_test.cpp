#include "platform/window_messages.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <future>
#include <latch>
#include <set>
#include <sstream>

#include "child_process.h"
#include "eventually.h"
#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "platform/fd_wait.h"
#include "platform/runtime_dir.h"
#include "platform/trace.h"
#include "platform/unique_fd.h"
#include "window_client.h"

namespace wf {
namespace {

using namespace std::chrono_literals;

struct Received {
  std::uint32_t message = 0;
  WParam wParam = 0;
  LParam lParam = 0;
  std::string payload;
  ThreadId thread = 0;
  bool operator==(const Received&) const = default;
};

// A window procedure that logs what it is given, payloads as text.
struct RecordingWindow {
  std::mutex m;
  std::vector<Received> log;
  int destroyed = 0;

  WindowProc proc() {
    return [this](Hwnd, std::uint32_t msg, WParam w, LParam l) -> LResult {
      std::lock_guard lock(m);
      if (msg == WM_DESTROY) {
        ++destroyed;
        return 0;
      }
      Payload* p = currentPayload();
      log.push_back({msg, w, l, p ? std::string(p->begin(), p->end()) : "", currentThreadId()});
      return static_cast<LResult>(w) + l;
    };
  }
  std::size_t size() {
    std::lock_guard lock(m);
    return log.size();
  }
};

// Runs the calling thread's plain queue until `done` holds, within the
// bound of eventually().
bool pumpUntil(const std::function<bool()>& done) {
  return testing::eventually([&] {
    if (done()) return true;
    waitFdRealMs(messageQueueFd(), POLLIN, 50);
    Message m;
    while (peekMessage(m, PeekMode::Remove)) dispatchMessage(m);
    return done();
  });
}

// When the whole program runs in one process, earlier cases may leave
// messages on this thread's queue.
void drainOwnQueue() {
  Message m;
  while (peekMessage(m, PeekMode::Remove)) {
  }
}

// A thread owning one window and running the plain message loop.
struct WindowThread {
  Hwnd hwnd = 0;
  ThreadId id = 0;
  Thread thread;

  WindowThread(std::string className, WindowProc proc) {
    std::promise<std::pair<Hwnd, ThreadId>> created;
    auto result = created.get_future();
    thread = Thread("win-owner", [&created, className, proc](std::stop_token stop) {
      created.set_value({createWindow(className, proc), currentThreadId()});
      Message m;
      while (getMessage(m, stop)) dispatchMessage(m);
    });
    std::tie(hwnd, id) = result.get();
  }
};

using testing::WindowClient;

std::string hex(Hwnd h) {
  return WindowClient::hex(h);
}

LResult noop(Hwnd, std::uint32_t, WParam, LParam) {
  return 0;
}

TEST(WindowHandles, NeverZeroOrAllOnesAndNeverRepeatedWhileProcessLives) {
  std::set<Hwnd> seen;
  std::vector<Hwnd> kept;
  for (int i = 0; i < 3000; ++i) {
    Hwnd h = createWindow("Churn", noop);
    ASSERT_NE(h, 0u);
    ASSERT_NE(h, 0xFFFFFFFFu);
    ASSERT_TRUE(seen.insert(h).second) << "handle repeated: " << hex(h);
    ASSERT_TRUE(isWindow(h));
    if (i % 10 == 0) {
      kept.push_back(h);
    } else {
      ASSERT_TRUE(destroyWindow(h));
      ASSERT_FALSE(isWindow(h));
      ASSERT_FALSE(destroyWindow(h));
    }
  }
  for (Hwnd h : kept) EXPECT_TRUE(isWindow(h));
  EXPECT_FALSE(isWindow(0));
  EXPECT_FALSE(isWindow(0xFFFFFFFFu));
}

TEST(WindowHandles, UniqueAcrossProcesses) {
  testing::ChildProcess a, b;
  std::set<Hwnd> all;
  for (int i = 0; i < 3; ++i) {
    for (auto* child : {&a, &b}) {
      const Hwnd h = WindowClient(*child).create("Any");
      ASSERT_NE(h, 0u);
      EXPECT_TRUE(all.insert(h).second);
    }
    Hwnd own = createWindow("Any", noop);
    EXPECT_TRUE(all.insert(own).second);
    EXPECT_TRUE(WindowClient(a).isWindow(own));
  }
  for (Hwnd h : all) EXPECT_TRUE(isWindow(h)) << hex(h);
}

TEST(WindowHandles, NextOwnerOfASlotDoesNotReviveOldHandles) {
  Hwnd first;
  {
    testing::ChildProcess child;
    first = WindowClient(child).create("Old");
    ASSERT_NE(first, 0u);
    child.kill(SIGKILL);
  }
  testing::ChildProcess next;
  Hwnd second = WindowClient(next).create("New");
  ASSERT_NE(second, 0u);
  EXPECT_EQ(second >> 22, first >> 22) << "the freed slot is taken again";
  EXPECT_NE(second, first);
  EXPECT_FALSE(isWindow(first));
  EXPECT_FALSE(postMessage(first, WM_USER, 0, 0));
  EXPECT_TRUE(isWindow(second));
}

TEST(MessageQueue, PostsFromAnyThreadRunOnTheOwnerInOrder) {
  RecordingWindow rec;
  WindowThread owner("Owner", rec.proc());
  ASSERT_NE(owner.hwnd, 0u);
  for (int i = 0; i < 200; ++i) {
    std::string text = i % 3 ? "" : "text " + std::to_string(i);
    ASSERT_TRUE(postMessage(owner.hwnd, WM_USER + 5, i, -i, Payload(text.begin(), text.end())));
  }
  ASSERT_TRUE(pumpUntil([&] { return rec.size() == 200; }));
  std::lock_guard lock(rec.m);
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(rec.log[i], (Received{WM_USER + 5, static_cast<WParam>(i), -i,
                                    i % 3 ? "" : "text " + std::to_string(i), owner.id}));
  }
}

TEST(MessageQueue, ThreadMessagesPeekAndQuit) {
  drainOwnQueue();
  int fd = messageQueueFd();
  ASSERT_GE(fd, 0);
  EXPECT_EQ(waitFdRealMs(fd, POLLIN, 0), FdWait::TimedOut);
  ASSERT_TRUE(postThreadMessage(currentThreadId(), WM_USER + 1, 11, -11, Payload{'a', 'b'}));
  EXPECT_EQ(waitFdRealMs(fd, POLLIN, 0), FdWait::Ready);

  Message m;
  for (int i = 0; i < 2; ++i) {  // a peek without removal leaves the message
    ASSERT_TRUE(peekMessage(m, PeekMode::NoRemove));
    EXPECT_EQ(m.message, WM_USER + 1u);
    EXPECT_EQ(m.payload, (Payload{'a', 'b'}));
  }
  ASSERT_TRUE(peekMessage(m, PeekMode::Remove));
  EXPECT_EQ(m.wParam, 11u);
  EXPECT_EQ(m.lParam, -11);
  EXPECT_FALSE(peekMessage(m, PeekMode::Remove));
  EXPECT_EQ(waitFdRealMs(fd, POLLIN, 0), FdWait::TimedOut);

  ASSERT_TRUE(postThreadMessage(currentThreadId(), WM_USER + 2, 0, 0));
  postQuitMessage(7);
  ASSERT_TRUE(postThreadMessage(currentThreadId(), WM_USER + 3, 0, 0));
  ASSERT_TRUE(getMessage(m));
  EXPECT_EQ(m.message, WM_USER + 2u);
  EXPECT_FALSE(getMessage(m));
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 7u);
  ASSERT_TRUE(getMessage(m));
  EXPECT_EQ(m.message, WM_USER + 3u);
}

TEST(MessageQueue, PostToAThreadWithoutQueueFails) {
  std::atomic<ThreadId> id{0};
  Thread plain("no-queue", [&](std::stop_token) { id = currentThreadId(); });
  ASSERT_TRUE(plain.joinFor(10'000));
  EXPECT_FALSE(postThreadMessage(id, WM_USER, 0, 0));

  // A thread whose queue existed stops taking messages when it ends.
  std::atomic<ThreadId> ended{0};
  Thread withQueue("ended", [&](std::stop_token) {
    messageQueueFd();
    ended = currentThreadId();
  });
  ASSERT_TRUE(withQueue.joinFor(10'000));
  EXPECT_FALSE(postThreadMessage(ended, WM_USER, 0, 0, Payload(100, 1)));
}

TEST(MessageQueue, StopTokenWakesABlockedGet) {
  std::promise<void> waiting;
  std::atomic<int> result{-1};
  std::atomic<std::uint32_t> seen{1};
  Thread t("blocked", [&](std::stop_token stop) {
    messageQueueFd();
    waiting.set_value();
    Message m;
    result = getMessage(m, stop) ? 1 : 0;
    seen = m.message;
  });
  waiting.get_future().wait();
  t.requestStop();
  EXPECT_TRUE(t.joinFor(10'000));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(seen, 0u);  // not mistaken for a quit or a message
}

TEST(WindowMessages, DestroyedWindowTakesNoMoreMessages) {
  RecordingWindow rec;
  Hwnd h = createWindow("Short", rec.proc());
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(postMessage(h, WM_USER, 1, 0, Payload(64, 'q')));  // queued, never dispatched

  std::atomic<bool> fromOther{true};
  Thread other("other", [&](std::stop_token) { fromOther = destroyWindow(h); });
  other.joinFor(10'000);
  EXPECT_FALSE(fromOther) << "only the owner thread destroys";

  ASSERT_TRUE(destroyWindow(h));
  EXPECT_EQ(rec.destroyed, 1);
  EXPECT_FALSE(isWindow(h));
  // Fails at once; the payload goes with the refused message (the sanitizer
  // build reports it should it leak).
  EXPECT_FALSE(postMessage(h, WM_USER, 2, 0, Payload(64, 'r')));
  EXPECT_FALSE(sendMessage(h, WM_USER, 3, 0).has_value());

  Message m;
  ASSERT_TRUE(peekMessage(m, PeekMode::Remove));
  EXPECT_EQ(dispatchMessage(m), 0);
  EXPECT_EQ(rec.size(), 0u);
}

TEST(WindowMessages, PostsOwningTheirLParamAreHandedOverWhenTheirWindowWentFirst) {
  constexpr std::uint32_t kOwning = WM_USER + 40;
  std::vector<std::pair<WParam, LParam>> freed;
  setDroppedPostHandler(kOwning, [&](WParam w, LParam l) { freed.emplace_back(w, l); });
  drainOwnQueue();
  RecordingWindow rec;
  Hwnd h = createWindow("Owning", rec.proc());
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(postMessage(h, kOwning, 1, 11));       // handled by its live window
  ASSERT_TRUE(postMessage(h, kOwning, 2, 22));       // queued when the window goes
  ASSERT_TRUE(postMessage(h, WM_USER + 41, 3, 33));  // no handler: just dropped
  Message m;
  ASSERT_TRUE(peekMessage(m, PeekMode::Remove));
  dispatchMessage(m);
  ASSERT_TRUE(destroyWindow(h));
  while (peekMessage(m, PeekMode::Remove)) dispatchMessage(m);
  EXPECT_EQ(rec.size(), 1u);
  EXPECT_EQ(freed, (std::vector<std::pair<WParam, LParam>>{{2, 22}}));

  // A send is never the receiver's to free, and a removed handler runs no more.
  Message sent{h, kOwning, 4, 44, {}};
  EXPECT_FALSE(sendMessage(h, kOwning, 4, 44).has_value());
  setDroppedPostHandler(kOwning, {});
  dispatchMessage(sent);
  EXPECT_EQ(freed.size(), 1u);
}

TEST(WindowMessages, OversizedPayloadIsRefused) {
  Hwnd h = createWindow("Big", noop);
  EXPECT_FALSE(postMessage(h, WM_USER, 0, 0, Payload(kMaxMessagePayload + 1)));
  EXPECT_TRUE(postMessage(h, WM_USER, 0, 0, Payload(kMaxMessagePayload)));
}

TEST(WindowMessages, SendRunsOnTheOwnerAndReturnsItsResult) {
  RecordingWindow rec;
  WindowThread owner("Sent", rec.proc());
  auto r = sendMessage(owner.hwnd, WM_USER + 7, 40, 2);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(*r, 42);
  {
    std::lock_guard lock(rec.m);
    ASSERT_EQ(rec.log.size(), 1u);
    EXPECT_EQ(rec.log[0].thread, owner.id);
  }

  // On the owner thread the procedure is called directly, nothing queued.
  drainOwnQueue();
  RecordingWindow mine;
  Hwnd h = createWindow("Mine", mine.proc());
  EXPECT_EQ(sendMessage(h, WM_USER, 5, 5), 10);
  EXPECT_EQ(mine.size(), 1u);
  Message m;
  EXPECT_FALSE(peekMessage(m, PeekMode::NoRemove));
}

TEST(WindowMessages, SendToAnOwnerThatDoesNotPumpEndsAtTheBound) {
  setTimeScaleForTest(0.001);
  Hwnd h = createWindow("Idle", noop);  // this thread never pumps during the send
  std::optional<LResult> r = LResult{1};
  Thread sender("sender", [&](std::stop_token) { r = sendMessage(h, WM_USER, 0, 0, 5'000); });
  ASSERT_TRUE(sender.joinFor(60'000'000));
  EXPECT_FALSE(r.has_value());
  setTimeScaleForTest(1.0);
}

TEST(WindowMessages, WaitingSendersRunTheSendsAddressedToThem) {
  constexpr std::uint32_t kStart = WM_USER + 20, kCross = WM_USER + 21, kRelay = WM_USER + 22;
  std::atomic<Hwnd> peer[2] = {0, 0};
  std::atomic<ThreadId> crossRanOn[2] = {0, 0};
  std::latch bothStarted(2);
  std::promise<std::optional<LResult>> answers[2];
  auto proc = [&](int self) -> WindowProc {
    return [&, self](Hwnd, std::uint32_t msg, WParam w, LParam) -> LResult {
      switch (msg) {
        case kCross:
          crossRanOn[self] = currentThreadId();
          return static_cast<LResult>(w) * 10 + self;
        case kStart:
          // Both inside their handler, then both send at once.
          bothStarted.arrive_and_wait();
          answers[self].set_value(sendMessage(peer[self], kCross, self + 1, 0, 10'000));
          return 0;
        case kRelay:
          return sendMessage(static_cast<Hwnd>(w), kCross, 5, 0, 10'000).value_or(-100) + 1;
      }
      return 0;
    };
  };
  WindowThread a("CrossA", proc(0)), b("CrossB", proc(1));
  peer[0] = b.hwnd;
  peer[1] = a.hwnd;
  ASSERT_TRUE(postMessage(a.hwnd, kStart, 0, 0));
  ASSERT_TRUE(postMessage(b.hwnd, kStart, 0, 0));
  EXPECT_EQ(answers[0].get_future().get(), LResult{11});
  EXPECT_EQ(answers[1].get_future().get(), LResult{20});
  EXPECT_EQ(crossRanOn[0], a.id);
  EXPECT_EQ(crossRanOn[1], b.id);

  // The handler of a send sends back to a window of the waiting sender.
  drainOwnQueue();
  RecordingWindow mine;
  Hwnd h = createWindow("Waiting", mine.proc());
  EXPECT_EQ(sendMessage(a.hwnd, kRelay, h, 0, 10'000), LResult{6});
  std::lock_guard lock(mine.m);
  ASSERT_EQ(mine.log.size(), 1u);
  EXPECT_EQ(mine.log[0].thread, currentThreadId());
}

TEST(WindowMessages, MalformedDatagramsAreDroppedWithATrace) {
  std::mutex traceMutex;
  std::vector<std::string> traces;
  setPlatformTraceSink([&](std::string_view line) {
    std::lock_guard lock(traceMutex);
    if (line.find("dropped") != std::string_view::npos) traces.emplace_back(line);
  });
  RecordingWindow rec;
  Hwnd h = createWindow("Target", rec.proc());
  ASSERT_NE(h, 0u);
  auto path = runtimePath("win/" + std::to_string(h >> 22) + ".sock");
  ASSERT_TRUE(path);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strcpy(addr.sun_path, path->c_str());
  const UniqueFd socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  const int s = socket.get();
  ASSERT_GE(s, 0);

  auto header = [&](std::uint32_t magic, Hwnd target, std::uint32_t length) {
    std::vector<std::uint8_t> d(32, 0);
    storeLe32(&d[0], magic);
    storeLe32(&d[4], target);
    storeLe32(&d[12], length);
    return d;
  };
  const std::uint32_t magic = 0x4D574657;
  Hwnd otherSlot = h ^ (1u << 22);
  std::vector<std::vector<std::uint8_t>> bad = {
      {1, 2, 3},                    // shorter than a header
      header(0x12345678, h, 0),     // wrong magic
      header(magic, h, 10),         // announces more payload than it carries
      header(magic, otherSlot, 0),  // not a window of this process
      header(magic, h + 1, 0),      // no such window
  };
  for (auto& d : bad)
    ASSERT_EQ(::sendto(s, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&addr), sizeof addr),
              static_cast<ssize_t>(d.size()));
  // Posting to ourselves takes the local path, so a good one comes from a child.
  testing::ChildProcess child;
  ASSERT_EQ(WindowClient(child).post(h, 1, "good"), 0);
  ASSERT_TRUE(pumpUntil([&] { return rec.size() == 1; }));
  setPlatformTraceSink({});
  EXPECT_EQ(rec.log[0].payload, "good0");
  std::lock_guard lock(traceMutex);
  EXPECT_EQ(traces.size(), bad.size());
}

// The user-interface layer plugs its own loop in through this interface.
class RecordingQueue : public MessageQueue {
 public:
  bool post(Message message) override {
    std::lock_guard lock(m);
    posted.push_back(std::move(message));
    cv.notify_all();
    return true;
  }
  void wake() override {
    std::lock_guard lock(m);
    ++wakes;
    cv.notify_all();
  }
  std::mutex m;
  std::condition_variable cv;
  std::deque<Message> posted;
  int wakes = 0;
};

TEST(MessageQueue, AnInstalledQueueReceivesLocalAndForeignPostsAndSends) {
  auto queue = std::make_shared<RecordingQueue>();
  RecordingWindow rec;
  std::promise<Hwnd> created;
  std::atomic<bool> secondInstall{true}, plainGet{true};
  Thread loop("custom-loop", [&](std::stop_token stop) {
    installThreadQueue(queue);
    secondInstall = installThreadQueue(std::make_shared<RecordingQueue>());
    Message ignored;
    plainGet = getMessage(ignored, stop);
    created.set_value(createWindow("Custom", rec.proc()));
    int handled = 0;
    std::unique_lock lock(queue->m);
    while (!stop.stop_requested()) {
      queue->cv.wait_for(lock, 10ms);
      while (queue->wakes > handled) {
        ++handled;
        lock.unlock();
        processSentMessages();
        lock.lock();
      }
      while (!queue->posted.empty()) {
        Message m = std::move(queue->posted.front());
        queue->posted.pop_front();
        lock.unlock();
        dispatchMessage(m);
        lock.lock();
      }
    }
  });
  Hwnd h = created.get_future().get();
  ASSERT_NE(h, 0u);
  EXPECT_FALSE(secondInstall);
  EXPECT_FALSE(plainGet);

  EXPECT_EQ(sendMessage(h, WM_USER + 2, 2, 3), 5);
  ASSERT_TRUE(postMessage(h, WM_USER + 1, 1, 0, Payload{'x'}));
  testing::ChildProcess child;
  ASSERT_EQ(WindowClient(child).post(h, 3, "far"), 0);
  ASSERT_TRUE(pumpUntil([&] { return rec.size() == 5; }));
  std::lock_guard lock(rec.m);
  EXPECT_EQ(rec.log[0].message, WM_USER + 2u);
  EXPECT_EQ(rec.log[1].payload, "x");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(rec.log[2 + i].payload, "far" + std::to_string(i));
}

// What a helper's window received, as the records this side compares.
std::vector<Received> received(const std::vector<testing::ChildReceived>& log) {
  std::vector<Received> out;
  for (const auto& r : log) out.push_back({r.message, r.wParam, r.lParam, r.payload, 0});
  return out;
}

TEST(CrossProcess, PostsArriveInOrderWithValuesAndPayloads) {
  testing::ChildProcess child;
  WindowClient windows(child);
  Hwnd far = windows.create("Far");
  ASSERT_NE(far, 0u);
  constexpr int kCount = 600;
  std::vector<Received> sent;
  for (int i = 0; i < kCount; ++i) {
    Received r{WM_USER + 10 + static_cast<std::uint32_t>(i % 7), ~WParam{0} - static_cast<WParam>(i),
               static_cast<LParam>(-1) - i * 1'000'003LL, i % 2 ? "" : "payload-" + std::to_string(i), 0};
    ASSERT_TRUE(postMessage(far, r.message, r.wParam, r.lParam, Payload(r.payload.begin(), r.payload.end())));
    sent.push_back(r);
  }
  auto got = received(windows.log(far, kCount));
  ASSERT_EQ(got.size(), sent.size());
  for (int i = 0; i < kCount; ++i) EXPECT_EQ(got[i], sent[i]) << "message " << i;

  // And the other way: a child posting to a window of this process.
  RecordingWindow rec;
  Hwnd near = createWindow("Near", rec.proc());
  ASSERT_EQ(windows.post(near, kCount, "back"), 0);
  ASSERT_TRUE(pumpUntil([&] { return rec.size() == kCount; }));
  std::lock_guard lock(rec.m);
  for (int i = 0; i < kCount; ++i) {
    EXPECT_EQ(rec.log[i], (Received{WM_USER + 1, static_cast<WParam>(i), -i, "back" + std::to_string(i),
                                    currentThreadId()}));
  }
}

TEST(CrossProcess, PostToADeadOrDestroyedWindowFailsAtOnce) {
  testing::ChildProcess child;
  WindowClient windows(child);
  Hwnd doomed = windows.create("Doomed");
  Hwnd closed = windows.create("Closed");
  ASSERT_TRUE(isWindow(doomed) && isWindow(closed));

  ASSERT_TRUE(windows.destroy(closed));
  EXPECT_FALSE(isWindow(closed));
  EXPECT_FALSE(postMessage(closed, WM_USER, 0, 0, Payload(10, 'z')));
  EXPECT_TRUE(postMessage(doomed, WM_USER, 0, 0));

  child.kill(SIGKILL);
  EXPECT_FALSE(isWindow(doomed));
  for (int i = 0; i < 1000; ++i) ASSERT_FALSE(postMessage(doomed, WM_USER, i, 0, Payload(10, 'z')));
}

constexpr std::uint32_t kSendBack = WM_USER + 901;  // the child's procedure sends to window wParam
constexpr std::uint32_t kHold = WM_USER + 902;      // the child's procedure waits for "win-release"

sockaddr_un receiverOf(Hwnd h) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  auto path = runtimePath("win/" + std::to_string(h >> 22) + ".sock");
  if (path) std::strcpy(addr.sun_path, path->c_str());
  return addr;
}

// Collects the platform's trace lines that contain `word`.
struct TraceCatcher {
  explicit TraceCatcher(std::string word) {
    setPlatformTraceSink([this, word](std::string_view line) {
      std::lock_guard lock(m);
      if (line.find(word) != std::string_view::npos) lines.emplace_back(line);
    });
  }
  ~TraceCatcher() { setPlatformTraceSink({}); }
  std::size_t size() {
    std::lock_guard lock(m);
    return lines.size();
  }
  std::mutex m;
  std::vector<std::string> lines;
};

TEST(CrossProcess, SendsAreAnsweredBothWays) {
  testing::ChildProcess child;
  WindowClient windows(child);
  Hwnd far = windows.create("Far");
  ASSERT_NE(far, 0u);
  EXPECT_EQ(sendMessage(far, WM_USER + 7, 40, 2), LResult{42});
  EXPECT_EQ(sendMessage(far, WM_USER + 8, 1, -1'000'000'000'000LL), LResult{1 - 1'000'000'000'000LL});
  auto got = received(windows.log(far, 2));
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], (Received{WM_USER + 7, 40, 2, "", 0}));

  // From the child to a window of this process.
  RecordingWindow rec;
  WindowThread owner("Near", rec.proc());
  EXPECT_EQ(windows.send(owner.hwnd, 1031, 5, 6), LResult{11});
  {
    std::lock_guard lock(rec.m);
    ASSERT_EQ(rec.log.size(), 1u);
    EXPECT_EQ(rec.log[0], (Received{1031, 5, 6, "", owner.id}));
  }

  // The child's procedure sends back to this thread, which waits for it.
  drainOwnQueue();
  RecordingWindow mine;
  Hwnd h = createWindow("Asker", mine.proc());
  EXPECT_EQ(sendMessage(far, kSendBack, h, 21), LResult{22});
  {
    std::lock_guard lock(mine.m);
    ASSERT_EQ(mine.log.size(), 1u);
    EXPECT_EQ(mine.log[0], (Received{WM_USER + 3, 0, 21, "", currentThreadId()}));
  }

  ASSERT_TRUE(windows.destroy(far));
  EXPECT_FALSE(sendMessage(far, WM_USER + 7, 0, 0).has_value());
}

TEST(CrossProcess, SendEndsWhenTheBoundExpiresOrTheTargetDies) {
  testing::ChildProcess child;
  WindowClient windows(child);
  Hwnd far = windows.create("Held");
  ASSERT_TRUE(isWindow(far));
  Hwnd mine = createWindow("Late", noop);  // gives this process its receiver
  ASSERT_NE(mine, 0u);
  {
    TraceCatcher late("no send waits");
    setTimeScaleForTest(0.001);
    EXPECT_FALSE(sendMessage(far, kHold, 0, 0, 5'000).has_value());
    setTimeScaleForTest(1.0);
    // The answer that comes after all is dropped.
    ASSERT_TRUE(windows.held());
    ASSERT_TRUE(windows.release());
    ASSERT_TRUE(pumpUntil([&] { return late.size() == 1; }));
  }

  std::optional<LResult> r = LResult{1};
  Thread sender("sender", [&](std::stop_token) { r = sendMessage(far, kHold, 0, 0); });
  ASSERT_TRUE(windows.held());
  child.kill(SIGKILL);
  // Well before the send's own bound: the target's death ends it.
  ASSERT_TRUE(sender.joinFor(kSendMessageWait / 2));
  EXPECT_FALSE(r.has_value());
}

TEST(CrossProcess, MalformedAnswersAreDroppedWithATrace) {
  testing::ChildProcess child;
  WindowClient windows(child);
  Hwnd far = windows.create("Held");
  Hwnd mine = createWindow("Asker", noop);
  ASSERT_NE(mine, 0u);
  TraceCatcher dropped("dropped");
  std::optional<LResult> r;
  Thread sender("sender", [&](std::stop_token) { r = sendMessage(far, kHold, 0, 0); });
  ASSERT_TRUE(windows.held());

  auto reply = [](std::uint32_t answered, std::uint64_t sequence, std::uint64_t result, std::size_t size) {
    std::vector<std::uint8_t> d(std::max<std::size_t>(size, 24), 0);
    storeLe32(&d[0], 0x52574657);  // "WFWR"
    storeLe32(&d[4], answered);
    storeLe64(&d[8], sequence);
    storeLe64(&d[16], result);
    d.resize(size);
    return d;
  };
  std::vector<std::vector<std::uint8_t>> bad = {
      reply(1, 0, 5, 3),       // too short to tell what it is
      reply(1, 0, 5, 23),      // cut short
      reply(1, 0, 5, 25),      // trailing bytes
      reply(7, 0, 5, 24),      // neither answered nor refused
      reply(1, 12345, 5, 24),  // no send waits for it
  };
  sockaddr_un addr = receiverOf(mine);
  const UniqueFd socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  const int s = socket.get();
  ASSERT_GE(s, 0);
  for (auto& d : bad)
    ASSERT_EQ(::sendto(s, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&addr), sizeof addr),
              static_cast<ssize_t>(d.size()));
  EXPECT_TRUE(pumpUntil([&] { return dropped.size() == bad.size(); }));

  ASSERT_TRUE(windows.release());
  ASSERT_TRUE(sender.joinFor(kSendMessageWait / 2));
  EXPECT_EQ(r, LResult{77});
}

TEST(CrossProcess, FindWindowByClassAcrossProcesses) {
  testing::ChildProcess running, second;
  WindowClient there(second);
  EXPECT_EQ(there.find("WrenfieldMainFrame"), 0u);
  Hwnd frame = WindowClient(running).create("WrenfieldMainFrame");
  ASSERT_NE(frame, 0u);
  EXPECT_EQ(there.find("WrenfieldMainFrame"), frame);
  EXPECT_EQ(findWindow("wrenfieldMAINFRAME"), frame);
  EXPECT_EQ(findWindow("WrenfieldMainFram"), 0u);

  Hwnd mine = createWindow("OwnClass", noop);
  EXPECT_EQ(there.find("ownclass"), mine);
  ASSERT_TRUE(destroyWindow(mine));
  EXPECT_EQ(there.find("OwnClass"), 0u);

  running.kill(SIGKILL);
  EXPECT_EQ(findWindow("WrenfieldMainFrame"), 0u);
  EXPECT_EQ(there.find("WrenfieldMainFrame"), 0u);
}

BOOL collectWindow(Hwnd h, LParam into) {
  reinterpret_cast<std::vector<Hwnd>*>(into)->push_back(h);
  return TRUE;
}

BOOL stopAtFirst(Hwnd h, LParam into) {
  reinterpret_cast<std::vector<Hwnd>*>(into)->push_back(h);
  return FALSE;
}

TEST(CrossProcess, EnumWindowsVisitsEveryProcesssTopLevelWindowsOnce) {
  testing::ChildProcess other;
  WindowClient there(other);
  Hwnd theirs = there.create("Corvane");
  Hwnd theirChild = there.create("Button", "child");
  ASSERT_NE(theirs, 0u);
  ASSERT_NE(theirChild, 0u);
  Hwnd mine = createWindow("Setup", noop);
  Hwnd myChild = createWindow("Static", noop, false);

  std::vector<Hwnd> seen;
  ASSERT_TRUE(EnumWindows(collectWindow, reinterpret_cast<LParam>(&seen)));
  std::multiset<Hwnd> counted(seen.begin(), seen.end());
  EXPECT_EQ(counted.count(mine), 1u);
  EXPECT_EQ(counted.count(theirs), 1u);
  EXPECT_EQ(counted.count(myChild), 0u);
  EXPECT_EQ(counted.count(theirChild), 0u);
  // Children still count for a search by class.
  EXPECT_EQ(findWindow("Button"), theirChild);

  std::vector<Hwnd> first;
  ASSERT_TRUE(EnumWindows(stopAtFirst, reinterpret_cast<LParam>(&first)));
  EXPECT_EQ(first.size(), 1u);

  other.kill(SIGKILL);
  seen.clear();
  EnumWindows(collectWindow, reinterpret_cast<LParam>(&seen));
  EXPECT_EQ(std::count(seen.begin(), seen.end(), theirs), 0);
  destroyWindow(mine);
  destroyWindow(myChild);
}

}  // namespace
}  // namespace wf
