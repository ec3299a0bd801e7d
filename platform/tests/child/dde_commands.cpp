// A DDE server in the helper process: one instance on a thread of its own
// running the plain message loop, logging what its callback receives.
#include <future>
#include <mutex>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "child_commands.h"
#include "eventually.h"
#include "platform/clock.h"
#include "platform/dde.h"
#include "platform/window_messages.h"

namespace wf::testing {
namespace {

// Posted to the server thread: lParam is a std::function<void()>* it runs and frees.
constexpr std::uint32_t kRunOnServer = WM_USER + 920;

struct DdeServerState {
  std::mutex m;
  std::vector<std::string> log;
  std::string adviseText = "first";
  std::uint32_t requestDelay = 0;
  std::vector<HCONV> conversations;  // the server thread's
  DWORD instance = 0;
  ThreadId thread = 0;
  std::optional<Thread> loop;
};

DdeServerState& server() {
  static DdeServerState s;
  return s;
}

std::string text(HSZ hsz) {
  char buffer[256] = {};
  DdeQueryStringA(server().instance, hsz, buffer, sizeof buffer, CP_WINANSI);
  return buffer;
}

std::string dataText(HDDEDATA data) {
  std::string out(DdeGetData(data, nullptr, 0, 0), '\0');
  DdeGetData(data, reinterpret_cast<BYTE*>(out.data()), static_cast<DWORD>(out.size()), 0);
  return out;
}

void note(std::string line) {
  std::lock_guard lock(server().m);
  if (currentThreadId() != server().thread) line += "!offthread";
  server().log.push_back(std::move(line));
}

HDDEDATA answerData(const std::string& s) {
  return DdeCreateDataHandle(server().instance, reinterpret_cast<const BYTE*>(s.data()),
                             static_cast<DWORD>(s.size()), 0, nullptr, CF_TEXT, 0);
}

HDDEDATA serverCallback(UINT type, UINT, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
  switch (type) {
    case XTYP_CONNECT:
      note("connect:" + text(hsz1));
      return reinterpret_cast<HDDEDATA>(std::uintptr_t{text(hsz1) != "refused"});
    case XTYP_POKE:
      note("poke:" + text(hsz2) + ":" + dataText(data));
      return reinterpret_cast<HDDEDATA>(std::uintptr_t{text(hsz2) == "busy" ? DDE_FBUSY : DDE_FACK});
    case XTYP_REQUEST: {
      note("request:" + text(hsz2));
      std::uint32_t delay;
      {
        std::lock_guard lock(server().m);
        delay = std::exchange(server().requestDelay, 0);
      }
      if (delay) sleepFor(delay);
      return text(hsz2) == "none" ? nullptr : answerData(text(hsz2) + "-answer");
    }
    case XTYP_ADVSTART:
      note("advstart:" + text(hsz2));
      return reinterpret_cast<HDDEDATA>(std::uintptr_t{text(hsz2) != "refused"});
    case XTYP_ADVSTOP:
      note("advstop:" + text(hsz2));
      return nullptr;
    case XTYP_ADVREQ: {
      std::lock_guard lock(server().m);
      return answerData(server().adviseText);
    }
    case XTYP_CONNECT_CONFIRM:
      server().conversations.push_back(conv);
      return nullptr;
    case XTYP_DISCONNECT:
      note("disconnect");
      return nullptr;
    default:
      return nullptr;
  }
}

// Runs `work` on the server thread and waits for it.
bool onServer(std::function<void()> work) {
  std::packaged_task<void()> task(std::move(work));
  auto done = task.get_future();
  auto* heap = new std::function<void()>([&task] { task(); });
  if (!postThreadMessage(server().thread, kRunOnServer, 0, reinterpret_cast<LParam>(heap))) {
    delete heap;
    return false;
  }
  done.wait();
  return true;
}

}  // namespace

// dde-serve <service>: registers the service on a new thread.
WF_CHILD_COMMAND("dde-serve", [](const ChildArgs& a) -> std::string {
  if (a.size() != 1 || server().loop) return "err usage: dde-serve <service>, once";
  std::promise<std::string> started;
  auto answer = started.get_future();
  server().loop.emplace("dde-server", [name = a[0], &started](std::stop_token stop) {
    server().thread = currentThreadId();
    if (DdeInitializeA(&server().instance, serverCallback, APPCLASS_STANDARD, 0) != DMLERR_NO_ERROR) {
      started.set_value("err initialise");
      return;
    }
    HSZ service = DdeCreateStringHandleA(server().instance, name.c_str(), CP_WINANSI);
    if (!DdeNameService(server().instance, service, nullptr, DNS_REGISTER)) {
      started.set_value("err register " + std::to_string(DdeGetLastError(server().instance)));
      return;
    }
    started.set_value("ok");
    Message m;
    while (getMessage(m, stop)) {
      if (m.hwnd == 0 && m.message == kRunOnServer) {
        auto* work = reinterpret_cast<std::function<void()>*>(m.lParam);
        (*work)();
        delete work;
        continue;
      }
      dispatchMessage(m);
    }
  });
  return answer.get();
});

// dde-advise <topic> <item> <text>: the advise data becomes `text`, posted to every loop.
WF_CHILD_COMMAND("dde-advise", [](const ChildArgs& a) -> std::string {
  if (a.size() != 3) return "err usage: dde-advise <topic> <item> <text>";
  {
    std::lock_guard lock(server().m);
    server().adviseText = a[2];
  }
  BOOL posted = FALSE;
  onServer([&] {
    DWORD inst = server().instance;
    HSZ topic = DdeCreateStringHandleA(inst, a[0].c_str(), CP_WINANSI);
    HSZ item = DdeCreateStringHandleA(inst, a[1].c_str(), CP_WINANSI);
    posted = DdePostAdvise(inst, topic, item);
    DdeFreeStringHandle(inst, topic);
    DdeFreeStringHandle(inst, item);
  });
  return posted ? "ok" : "err not posted";
});

// dde-delay <ms>: the next request is answered that late.
WF_CHILD_COMMAND("dde-delay", [](const ChildArgs& a) -> std::string {
  if (a.size() != 1) return "err usage: dde-delay <ms>";
  std::lock_guard lock(server().m);
  server().requestDelay = static_cast<std::uint32_t>(std::stoul(a[0]));
  return "ok";
});

// dde-log [count]: waits (bounded) for `count` entries, then lists them all.
WF_CHILD_COMMAND("dde-log", [](const ChildArgs& a) -> std::string {
  const std::size_t want = a.empty() ? 0 : std::stoul(a[0]);
  eventually([&] {
    std::lock_guard lock(server().m);
    return server().log.size() >= want;
  });
  std::lock_guard lock(server().m);
  std::string out = "ok";
  for (auto& line : server().log) out += ' ' + line;
  return out;
});

// dde-drop: the server ends every conversation it has; answers how many it ended.
WF_CHILD_COMMAND("dde-drop", [](const ChildArgs&) -> std::string {
  int ended = 0;
  onServer([&] {
    for (HCONV conv : server().conversations) ended += DdeDisconnect(conv) ? 1 : 0;
    server().conversations.clear();
  });
  return "ok " + std::to_string(ended);
});

// dde-end: uninitialises the server on its thread.
WF_CHILD_COMMAND("dde-end", [](const ChildArgs&) -> std::string {
  BOOL done = FALSE;
  onServer([&] { done = DdeUninitialize(server().instance); });
  return done ? "ok" : "err not ended";
});

}  // namespace wf::testing
