// Windows in the helper process: each lives on its own thread running the
// plain message loop and logs what its procedure receives.
#include <condition_variable>
#include <cstdio>
#include <future>
#include <list>
#include <map>
#include <mutex>
#include <thread>

#include "child_commands.h"
#include "eventually.h"
#include "platform/clock.h"
#include "platform/window_messages.h"

namespace wf::testing {
namespace {

constexpr std::uint32_t kDestroySelf = WM_USER + 900;
// Sends WM_USER+3 with this lParam to window wParam and answers its answer + 1 (-1 when none).
constexpr std::uint32_t kSendBack = WM_USER + 901;
// Answers 77 once released by "win-release".
constexpr std::uint32_t kHold = WM_USER + 902;
// What the end of a session asks every top-level window.
constexpr std::uint32_t kQueryEndSession = 0x0011;

struct Received {
  std::uint32_t message;
  WParam wParam;
  LParam lParam;
  Payload payload;
};

struct ChildWindows {
  std::mutex m;
  std::map<Hwnd, std::vector<Received>> logs;
  std::list<Thread> loops;
  std::condition_variable holdChanged;
  bool held = false;
  bool released = false;
};

ChildWindows& state() {
  static ChildWindows s;
  return s;
}

std::string hex(Hwnd h) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", h);
  return text;
}

Hwnd parseHwnd(const std::string& text) {
  return static_cast<Hwnd>(std::stoul(text, nullptr, 16));
}

// "message:wParam:lParam:payload" per message, payload as text.
std::string describe(const std::vector<Received>& log) {
  std::string out;
  for (auto& r : log) {
    out += ' ' + std::to_string(r.message) + ':' + std::to_string(r.wParam) + ':' + std::to_string(r.lParam) +
           ':' + std::string(r.payload.begin(), r.payload.end());
  }
  return out;
}

}  // namespace

WF_CHILD_COMMAND("win-create", [](const ChildArgs& a) -> std::string {
  if (a.empty()) return "err usage: win-create <class> [child|agree]";
  const bool topLevel = a.size() < 2 || a[1] != "child";
  // "agree": the window lets the session end; otherwise it answers 0 as to any message.
  const bool agree = a.size() >= 2 && a[1] == "agree";
  std::promise<Hwnd> created;
  auto done = created.get_future();
  std::lock_guard lock(state().m);
  state().loops.emplace_back("win-loop", [className = a[0], topLevel, agree, &created](std::stop_token stop) {
    Hwnd self = createWindow(className, [agree](Hwnd h, std::uint32_t msg, WParam w, LParam l) -> LResult {
      if (msg == kDestroySelf) return destroyWindow(h) ? 1 : 0;
      if (msg == kQueryEndSession && agree) return 1;
      if (msg == WM_DESTROY) return 0;
      if (msg == kSendBack) {
        auto r = sendMessage(static_cast<Hwnd>(w), WM_USER + 3, 0, l);
        return r ? *r + 1 : -1;
      }
      std::unique_lock lock(state().m);
      if (msg == kHold) {
        state().held = true;
        state().holdChanged.notify_all();
        state().holdChanged.wait(lock, [] { return state().released; });
        state().held = state().released = false;
        return 77;
      }
      Payload* p = currentPayload();
      state().logs[h].push_back({msg, w, l, p ? std::move(*p) : Payload{}});
      return static_cast<LResult>(w) + l;
    }, topLevel);
    created.set_value(self);
    Message m;
    while (getMessage(m, stop)) dispatchMessage(m);
  });
  Hwnd h = done.get();
  return h ? "ok " + hex(h) : "err create failed";
});

// win-log <hwnd> <count>: waits (bounded) for `count` messages, then lists them.
WF_CHILD_COMMAND("win-log", [](const ChildArgs& a) -> std::string {
  if (a.size() != 2) return "err usage: win-log <hwnd> <count>";
  Hwnd h = parseHwnd(a[0]);
  std::size_t want = std::stoul(a[1]);
  testing::eventually([&] {
    std::lock_guard lock(state().m);
    return state().logs[h].size() >= want;
  });
  std::lock_guard lock(state().m);
  auto& log = state().logs[h];
  return "ok " + std::to_string(log.size()) + describe(log);
});

WF_CHILD_COMMAND("win-destroy", [](const ChildArgs& a) -> std::string {
  if (a.size() != 1) return "err usage: win-destroy <hwnd>";
  auto r = sendMessage(parseHwnd(a[0]), kDestroySelf, 0, 0);
  return r && *r == 1 ? "ok" : "err not destroyed";
});

// win-post <hwnd> <count> <payload-prefix or ->: message WM_USER+1, wParam i,
// lParam -i, payload "<prefix><i>"; answers the number of failed posts.
WF_CHILD_COMMAND("win-post", [](const ChildArgs& a) -> std::string {
  if (a.size() != 3) return "err usage: win-post <hwnd> <count> <prefix|->";
  Hwnd h = parseHwnd(a[0]);
  int count = std::stoi(a[1]);
  int failed = 0;
  for (int i = 0; i < count; ++i) {
    std::string text = a[2] == "-" ? "" : a[2] + std::to_string(i);
    if (!postMessage(h, WM_USER + 1, static_cast<WParam>(i), -i, Payload(text.begin(), text.end()))) ++failed;
  }
  return "ok " + std::to_string(failed);
});

// win-send <hwnd> <message> <wParam> <lParam>: answers the result.
WF_CHILD_COMMAND("win-send", [](const ChildArgs& a) -> std::string {
  if (a.size() != 4) return "err usage: win-send <hwnd> <message> <wParam> <lParam>";
  auto r = sendMessage(parseHwnd(a[0]), static_cast<std::uint32_t>(std::stoul(a[1])),
                       static_cast<WParam>(std::stoull(a[2])), static_cast<LParam>(std::stoll(a[3])));
  return r ? "ok " + std::to_string(*r) : "err no answer";
});

// Waits (bounded) until a window procedure is held by kHold.
WF_CHILD_COMMAND("win-held", [](const ChildArgs&) -> std::string {
  std::unique_lock lock(state().m);
  return state().holdChanged.wait_for(lock, std::chrono::seconds(20), [] { return state().held; })
             ? "ok"
             : "err not held";
});

WF_CHILD_COMMAND("win-release", [](const ChildArgs&) -> std::string {
  std::lock_guard lock(state().m);
  state().released = true;
  state().holdChanged.notify_all();
  return "ok";
});

WF_CHILD_COMMAND("win-find", [](const ChildArgs& a) -> std::string {
  if (a.size() != 1) return "err usage: win-find <class>";
  return "ok " + hex(findWindow(a[0]));
});

WF_CHILD_COMMAND("win-is", [](const ChildArgs& a) -> std::string {
  if (a.size() != 1) return "err usage: win-is <hwnd>";
  return isWindow(parseHwnd(a[0])) ? "ok 1" : "ok 0";
});

}  // namespace wf::testing
