// Commands of wf-testchild broker: a process with the broker linked in. Echo workers
// answer with values made from their arguments, so a test sees that a
// request reached its worker intact and the results came back.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "broker/corbce.h"
#include "broker/port_control.h"
#include "broker_state.h"
#include "child_commands.h"
#include "dispatcher.h"
#include "mail_client.h"
#include "platform/clock.h"
#include "platform/window_messages.h"
#include "trace.h"
#include "workers.h"

using wf::testing::ChildArgs;

namespace {

std::mutex logLock;
std::vector<std::string> primaryLog;  // requests without a reply, as the echo workers saw them
std::vector<std::string> traceLines;

void logLine(std::string line) {
  std::lock_guard lock(logLock);
  primaryLog.push_back(std::move(line));
}

std::string hex(std::uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "%x", v);
  return b;
}

std::string text(const void* p, std::size_t n) {
  std::string s(static_cast<const char*>(p), n);
  return s.substr(0, s.find('\0'));
}

PRTINFO item(std::uint16_t handle, const std::string& name) {
  PRTINFO info{};
  info.handle = handle;
  std::snprintf(info.name, sizeof info.name, "%s", name.c_str());
  return info;
}

// ---- Echo workers (primary) -----------------------------------------------

int32_t echoEnumPrinters(uint32_t app, uint32_t mask, BCEENUMPROC proc) {
  wf::bce::stopEnumerationFlag().store(0);
  // Many printers, as fast as the channel takes them.
  if (mask & 0x20000000u) {
    for (std::uint16_t h = 1; h <= (mask & 0xFFFF); ++h) {
      PRTINFO info = item(h, "M" + std::to_string(h));
      proc(&info);
    }
    return 0;
  }
  for (std::uint16_t i = 0; i < 3; ++i) {
    PRTINFO info = item(static_cast<std::uint16_t>(101 + i), "P" + std::to_string(i) + "-" + hex(mask));
    proc(&info);
  }
  proc(nullptr);
  // The item has reached the caller's callback before this final answer when
  // the callback has stopped the enumeration by now.
  if (mask & 0x40000000u) {
    for (int i = 0; i < 2000 && wf::bce::stopEnumerationFlag().load() == 0; ++i) wf::sleepFor(10);
    return static_cast<int32_t>(wf::bce::stopEnumerationFlag().load()) * 100;
  }
  return static_cast<int32_t>(app * 1000 + 7);
}

int32_t echoEnumSpecific(uint32_t app, const NETADDRESS* a, BCEENUMPROC proc, uint32_t tryAll) {
  PRTINFO info = item(static_cast<std::uint16_t>(a->ip[96] + tryAll), text(a->local, sizeof a->local));
  proc(&info);
  return static_cast<int32_t>(0x800 | app << 16);
}

int32_t echoEnumPort(uint32_t app, uint32_t bit, const void* desc, BCEENUMPROC proc) {
  PRTINFO info = item(static_cast<std::uint16_t>(bit), text(desc, BCE_PORT_DESCRIPTOR_SIZE));
  proc(&info);
  return static_cast<int32_t>(bit + app * 0x100);
}

int32_t echoOpen(uint32_t app, uint32_t h, uint32_t mode) {
  if (mode == 999) {
    logLine("open-late");
    wf::sleepFor(200'000);  // answers long after its caller gave up
  }
  return static_cast<int32_t>(app * 10000 + (h & 0xFFFF) * 10 + mode);
}
int32_t echoClose(uint32_t app, uint32_t h) {
  return static_cast<int32_t>(app * 10000 + h);
}
int32_t echoCapture(uint32_t app, uint32_t h, const ALERTS* a, uint32_t wnd, uint32_t flag) {
  return static_cast<int32_t>(a->mask + wnd + h + app * 0x1000000 + (flag != 0));
}
int32_t echoRelease(uint32_t app, uint32_t h, uint32_t flag) {
  return static_cast<int32_t>(app * 1000 + h * 10 + flag);
}

int32_t echoVersion(BCEVERSION* v) {
  for (int i = 0; i < 6; ++i) {
    v->entries[i].version = static_cast<std::uint16_t>(0x100 + i);
    std::snprintf(v->entries[i].description, 80, "Desc %d", i);
    std::snprintf(v->entries[i].fileName, 16, "F%d.DLL", i);
  }
  return 0;
}
int32_t echoVersionEx(BCEVERSIONEX* v) {
  for (int i = 0; i < 6; ++i) {
    v->entries[i].fileVersionMS = 0x10000u * static_cast<unsigned>(i) + 2;
    v->entries[i].fileVersionLS = 0x30004;
    std::snprintf(v->entries[i].fileName, 16, "G%d.DLL", i);
  }
  return 0;
}

int32_t echoWrite(uint32_t app, uint32_t h, uint32_t mask, void* data, uint32_t* len, uint32_t raw) {
  const std::string got = text(data, *len);
  *len = *len - 3;
  return static_cast<int32_t>(app + h * 10 + raw * 100000 + got.size() * 1000 +
                              (got == "hello print data") * 1000000);
}

int32_t echoSendBidi(uint32_t app, uint32_t h, uint32_t mask, uint32_t code, void* reply, uint32_t* len,
                     const void* req, uint32_t reqLen) {
  std::string answer = "R:" + text(req, reqLen) + ":" + std::to_string(code);
  if (code == 2048) answer.assign(2048, 'x');
  const std::uint32_t n = std::min<std::uint32_t>(*len, static_cast<std::uint32_t>(answer.size()));
  if (reply) std::memcpy(reply, answer.data(), n);
  *len = n;
  return static_cast<int32_t>(app * 100000 + (h & 0xFFFF) * 100 + mask);
}

int32_t echoPrtInfo(uint32_t app, uint32_t h, PRTINFO* info, uint32_t refresh) {
  *info = item(static_cast<std::uint16_t>(h), "INFO");
  info->flags = static_cast<std::uint16_t>(refresh + app * 16);
  info->connections = 0x8800;
  return 0;
}

int32_t echoPrinterName(uint32_t h, uint32_t bit, char* name, char* second) {
  std::snprintf(name, 80, "N%u-%u", h, bit);
  std::memset(second, 'S', 79);
  second[79] = '\0';
  return 0;
}

int32_t echoQueryAlerts(uint32_t app, uint32_t key, uint32_t h, uint32_t flag, void* buf, uint16_t* len) {
  const std::string data = "ALERT-" + hex(key) + "-data";
  if (!buf) {
    *len = 0;
    return static_cast<int32_t>(data.size());
  }
  const auto n = std::min<std::size_t>(*len, data.size());
  std::memcpy(buf, data.data(), n);
  *len = static_cast<std::uint16_t>(n);
  return static_cast<int32_t>(flag + h * 10 + app * 100000);
}

int32_t echoIsAdmin(uint32_t) {
  return 11;
}
int32_t echoNets(uint32_t* mask) {
  *mask = 0x1F;
  return 0;
}
int32_t echoPrinterAddr(uint32_t h, uint32_t mask, NETADDRESS* a) {
  std::snprintf(reinterpret_cast<char*>(a->peer), 80, "PEER%u", h);
  std::snprintf(a->local, 80, "LPT1:");
  return static_cast<int32_t>(mask | 0x800);
}

int32_t echoNetInfo(uint32_t h, uint32_t mask, uint32_t code, void* buf, uint16_t* len,
                    BCENETITEMPROC items) {
  if (items) {
    for (int i = 0; i < 3; ++i) {
      const std::string it = "item" + std::to_string(i);
      items(it.data(), static_cast<std::uint16_t>(it.size()));
    }
    return 0x1234;
  }
  const std::string answer = "OUT" + std::to_string(code) + ":" + text(buf, std::min<std::uint16_t>(*len, 5));
  const auto n = std::min<std::size_t>(*len, answer.size());
  std::memcpy(buf, answer.data(), n);
  *len = static_cast<std::uint16_t>(n);
  return static_cast<int32_t>(h + mask);
}

int32_t echoSetNetInfo(uint32_t h, uint32_t mask, uint32_t code, const void* buf, uint16_t len) {
  return static_cast<int32_t>(code * 1000 + len * 10 + (text(buf, len) == "SETDATA") + (h & 0xF) * 100000);
}

int32_t echoStartTrace(const char* file, uint32_t level) {
  logLine("starttrace " + std::string(file ? file : "(default)") + " " + std::to_string(level));
  return 0;
}
int32_t echoStopTrace() {
  logLine("stoptrace");
  return 0;
}
int32_t echoStartDoc(uint32_t h, uint32_t mask, uint32_t job) {
  logLine("startdoc " + std::to_string(h) + " " + std::to_string(mask) + " " + std::to_string(job));
  return 0;
}
int32_t echoEndDoc(uint32_t h, uint32_t mask) {
  logLine("enddoc " + std::to_string(h) + " " + std::to_string(mask));
  return 0;
}

std::int32_t echoHoldPort(std::string_view port, std::string_view printer) {
  return static_cast<std::int32_t>(port.size() * 100 + printer.size() + (printer == "Spool printer") * 10000);
}

std::int32_t echoDeviceControl(std::uint32_t app, std::uint32_t h, std::uint32_t code, const void* in,
                               std::uint32_t inSize, void* out, std::uint32_t outSize,
                               std::uint32_t* returned) {
  const std::string answer = "DEVID:" + text(in, inSize) + ":" + std::to_string(code);
  const auto n = std::min<std::size_t>(outSize, answer.size());
  std::memcpy(out, answer.data(), n);
  *returned = static_cast<std::uint32_t>(n);
  return static_cast<std::int32_t>(app * 1000 + h);
}

void installEchoWorkers() {
  wf::bce::Workers w;
  w.enumPrinters = echoEnumPrinters;
  w.enumSpecific = echoEnumSpecific;
  w.enumSpecificPort = echoEnumPort;
  w.open = echoOpen;
  w.close = echoClose;
  w.captureAlerts = echoCapture;
  w.releaseAlerts = echoRelease;
  w.getVersion = echoVersion;
  w.getVersionEx = echoVersionEx;
  w.write = echoWrite;
  w.sendBidi = echoSendBidi;
  w.getPrtInfo = echoPrtInfo;
  w.getPrinterName = echoPrinterName;
  w.queryAlerts = echoQueryAlerts;
  w.isUserAdmin = echoIsAdmin;
  w.getPrinterAddr = echoPrinterAddr;
  w.getNets = echoNets;
  w.getNetInfo = echoNetInfo;
  w.setNetInfo = echoSetNetInfo;
  w.startTrace = echoStartTrace;
  w.stopTrace = echoStopTrace;
  w.startDoc = echoStartDoc;
  w.endDoc = echoEndDoc;
  w.holdPort = echoHoldPort;
  w.portDeviceControl = echoDeviceControl;
  wf::bce::setWorkersForTest(w);
}

// ---- Calls (any process) ----------------------------------------------------

std::mutex itemsLock;
std::vector<std::string> items;
std::atomic<bool> stopAtFirst{false};

uint16_t collect(const PRTINFO* info) {
  std::lock_guard lock(itemsLock);
  items.push_back(info ? std::to_string(info->handle) + ":" + text(info->name, sizeof info->name) : "null");
  return stopAtFirst ? 0 : 1;
}

std::string takeItems() {
  std::lock_guard lock(itemsLock);
  std::string s;
  for (auto& i : items) s += (s.empty() ? "" : ",") + i;
  items.clear();
  return s;
}

std::vector<std::string> netItems;
int32_t collectNetItem(const void* data, uint16_t len) {
  netItems.push_back(text(data, len));
  return 1;
}

std::uint32_t me() {
  return static_cast<std::uint32_t>(wf::bce::ownAppId());
}

std::string call(const std::string& what) {
  const std::uint32_t id = me();
  auto r = [](std::int32_t v) { return "ok r=" + std::to_string(v); };
  if (what == "enum-printers") {
    const int32_t res = BceEnumPrinters(id, 0x8000001F, collect);
    return r(res) + " items=" + takeItems();
  }
  if (what == "enum-stop") {
    stopAtFirst = true;
    const int32_t res = BceEnumPrinters(id, 0x40000000, collect);
    stopAtFirst = false;
    return r(res) + " items=" + takeItems();
  }
  if (what == "enum-specific") {
    NETADDRESS a{};
    a.ip[96] = 40;
    std::snprintf(a.local, sizeof a.local, "LPT3:");
    const int32_t res = BceEnumSpecific(id, &a, collect, 1);
    return r(res) + " items=" + takeItems();
  }
  if (what == "enum-port") {
    const char desc[BCE_PORT_DESCRIPTOR_SIZE + 1] = "PORTDESC-0123456789";
    const int32_t res = BceEnumSpecificPort(id, BCE_NET_IPX, desc, collect);
    return r(res) + " items=" + takeItems();
  }
  if (what == "open") return r(BceOpen(id, 0x10011, 3));
  if (what == "open-late") return r(BceOpen(id, 1, 999));
  if (what == "close") return r(BceClose(id, 13));
  if (what == "capture") {
    const ALERTS a{0x10801};
    return r(BceCaptureAlerts(id, 12, &a, 0x55AA, 2));
  }
  if (what == "release") return r(BceReleaseAlerts(id, 12, 1));
  if (what == "version") {
    BCEVERSION v{};
    const int32_t res = BceGetVersion(&v);
    return r(res) + " v5=" + hex(v.entries[5].version) + " " + text(v.entries[5].description, 80) + " " +
           text(v.entries[5].fileName, 16);
  }
  if (what == "version-ex") {
    BCEVERSIONEX v{};
    const int32_t res = BceGetVersionEx(&v);
    return r(res) + " v3=" + hex(v.entries[3].fileVersionMS) + "." + hex(v.entries[3].fileVersionLS) + " " +
           text(v.entries[3].fileName, 16);
  }
  if (what == "write") {
    char data[] = "hello print data";
    uint32_t len = 16;
    const int32_t res = BceWrite(id, 14, 0x800, data, &len, 1);
    return r(res) + " len=" + std::to_string(len);
  }
  if (what == "bidi" || what == "bidi-short") {
    char reply[64] = {};
    uint32_t len = what == "bidi" ? 64 : 4;
    const int32_t res = BceSendBidi(id, 0x20011, 0x2, 16, reply, &len, "REQ", 3);
    return r(res) + " len=" + std::to_string(len) + " reply=" + text(reply, len);
  }
  if (what == "prtinfo") {
    PRTINFO info{};
    const int32_t res = BceGetPrtInfo(0x10015, &info, 1);
    return r(res) + " handle=" + std::to_string(info.handle) + " flags=" + std::to_string(info.flags) +
           " conn=" + hex(info.connections) + " name=" + text(info.name, 80);
  }
  if (what == "names") {
    char name[80], second[80];
    std::memset(name, '#', 80);
    std::memset(second, '#', 80);
    const int32_t res = BceGetPrinterName(101, 4, name, second);
    return r(res) + " name=" + text(name, 80) + " second=" + std::to_string(std::strlen(second));
  }
  if (what == "query" || what == "query-length") {
    char buf[8] = {};
    uint16_t len = 8;
    const int32_t res = BceQueryAlerts(id, 0x1234, 101, 1, what == "query" ? buf : nullptr, &len);
    return r(res) + " len=" + std::to_string(len) + " data=" + text(buf, len);
  }
  if (what == "admin") return r(BceIsUserAdmin(0));
  if (what == "nets") {
    uint32_t mask = 0;
    const int32_t res = BceGetNets(&mask);
    return r(res) + " mask=" + hex(mask);
  }
  if (what == "address") {
    NETADDRESS a{};
    const int32_t res = BceGetPrinterAddr(101, 0x10, &a);
    return r(res) + " peer=" + text(a.peer, 80) + " local=" + text(a.local, 80);
  }
  if (what == "netinfo") {
    char buf[16] = "INPUT";
    uint16_t len = 16;
    const int32_t res = BceGetNetInfo(0xFFFF, 0x4, 7, buf, &len, nullptr);
    return r(res) + " len=" + std::to_string(len) + " data=" + text(buf, len);
  }
  if (what == "netinfo-items") {
    netItems.clear();
    const int32_t res = BceGetNetInfo(0xFFFF, 0x4, 9, nullptr, nullptr, collectNetItem);
    std::string s;
    for (auto& i : netItems) s += (s.empty() ? "" : ",") + i;
    return r(res) + " items=" + s;
  }
  if (what == "setnetinfo") return r(BceSetNetInfo(101, 0x8, 5, "SETDATA", 7));
  if (what == "holdport") return r(wf::bce::requestHoldPort("LPT2", "Spool printer"));
  if (what == "devctl") {
    char out[32] = {};
    std::uint32_t returned = 0;
    const int32_t res = wf::bce::requestPortDeviceControl(id, 12, 17, "IN", 2, out, sizeof out, &returned);
    return r(res) + " returned=" + std::to_string(returned) + " out=" + text(out, returned);
  }
  if (what == "startdoc") return r(BceStartDoc(13, 0x800, 77));
  if (what == "enddoc") return r(BceEndDoc(13, 0x800));
  if (what == "starttrace") return r(BceStartTrace("c:\\bce.log", 3));
  if (what == "starttrace-long") return r(BceStartTrace(std::string(100, 'L').c_str(), 4));
  if (what == "stoptrace") return r(BceStopTrace());
  if (what == "enumqueues") return r(BceEnumQueues(1, 2, nullptr, nullptr));
  if (what == "queueadmin") return r(BceIsUserQueueAdmin(1, 2));
  return "err unknown call " + what;
}

wf::Hwnd window() {
  static wf::Hwnd w = wf::createWindow(
      "WfBceTestApp", [](wf::Hwnd, std::uint32_t, wf::WParam, wf::LParam) { return wf::LResult{0}; });
  return w;
}

WF_CHILD_COMMAND("primary",
                 [](const ChildArgs&) { return std::string("ok ") + (wf::bce::isPrimary() ? "1" : "0"); });
WF_CHILD_COMMAND("register", [](const ChildArgs& a) {
  const std::uint32_t w = a.empty() ? window() : static_cast<std::uint32_t>(std::stoul(a[0], nullptr, 0));
  return "ok " + std::to_string(BceRegisterApp(w));
});
WF_CHILD_COMMAND("unregister", [](const ChildArgs& a) {
  BceUnregisterApp(a.empty() ? me() : static_cast<std::uint32_t>(std::stoul(a[0], nullptr, 0)));
  return std::string("ok");
});
WF_CHILD_COMMAND("slot", [](const ChildArgs& a) {
  return "ok " +
         std::to_string(wf::bce::registrationWindow(static_cast<unsigned>(std::stoul(a.at(0)))).load());
});
WF_CHILD_COMMAND("echo-workers", [](const ChildArgs&) {
  installEchoWorkers();
  return std::string("ok");
});
WF_CHILD_COMMAND("pacing", [](const ChildArgs& a) {
  wf::bce::setReplyPacingForTest(a.at(0) == "on");
  return std::string("ok");
});
WF_CHILD_COMMAND("dispatchers",
                 [](const ChildArgs&) { return "ok " + std::to_string(wf::bce::dispatcherCountForTest()); });
WF_CHILD_COMMAND("outstanding",
                 [](const ChildArgs&) { return "ok " + std::to_string(wf::bce::outstandingMailForTest()); });
WF_CHILD_COMMAND("trace-to", [](const ChildArgs& a) {
  return "ok " + std::to_string(BceStartTrace(a.at(0).c_str(), 1)) + " " + std::to_string(BceStopTrace());
});
WF_CHILD_COMMAND("held",
                 [](const ChildArgs&) { return "ok " + std::to_string(wf::bce::heldRepliesForTest()); });
WF_CHILD_COMMAND("call", [](const ChildArgs& a) { return call(a.at(0)); });
WF_CHILD_COMMAND("primary-log", [](const ChildArgs&) {
  std::lock_guard lock(logLock);
  std::string s;
  for (auto& l : primaryLog) s += (s.empty() ? "" : "|") + l;
  return "ok " + s;
});
WF_CHILD_COMMAND("trace-capture", [](const ChildArgs&) {
  wf::bce::setTraceWriter([](std::string_view line) {
    std::lock_guard lock(logLock);
    traceLines.emplace_back(line);
  });
  return std::string("ok");
});
// Number of trace lines that start with the given words.
WF_CHILD_COMMAND("trace-count", [](const ChildArgs& a) {
  std::string prefix;
  for (auto& w : a) prefix += (prefix.empty() ? "" : " ") + w;
  std::lock_guard lock(logLock);
  const auto n = std::count_if(traceLines.begin(), traceLines.end(),
                               [&](const std::string& l) { return l.starts_with(prefix); });
  return "ok " + std::to_string(n);
});
// `threads` threads each make `calls` bidirectional requests whose replies
// name their own thread and call; any reply that is not the caller's own fails.
WF_CHILD_COMMAND("concurrent", [](const ChildArgs& a) {
  const int threads = std::stoi(a.at(0)), calls = std::stoi(a.at(1));
  std::atomic<int> wrong{0}, done{0};
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t)
    pool.emplace_back([&, t] {
      for (int c = 0; c < calls; ++c) {
        const std::string req = "t" + std::to_string(t) + "c" + std::to_string(c);
        char reply[64] = {};
        uint32_t len = sizeof reply;
        const int32_t res = BceSendBidi(me(), static_cast<uint32_t>(t), 0x1, 5, reply, &len, req.data(),
                                        static_cast<uint32_t>(req.size()));
        if (res != static_cast<int32_t>(me() * 100000 + static_cast<uint32_t>(t) * 100 + 1) ||
            text(reply, len) != "R:" + req + ":5")
          ++wrong;
        ++done;
      }
    });
  for (auto& t : pool) t.join();
  return "ok wrong=" + std::to_string(wrong.load()) + " done=" + std::to_string(done.load());
});

// One thread enumerates `printers` printers with a callback that takes a
// while; `callers` other threads make short calls meanwhile. Every item must
// reach the callback once and in order.
WF_CHILD_COMMAND("enum-busy", [](const ChildArgs& a) {
  const int printers = std::stoi(a.at(0)), callers = std::stoi(a.at(1));
  static std::vector<std::uint16_t> seen;
  seen.clear();
  std::atomic<bool> enumerating{true};
  std::atomic<int> calls{0}, wrong{0};
  std::vector<std::thread> pool;
  for (int t = 0; t < callers; ++t)
    pool.emplace_back([&] {
      while (enumerating) {
        if (BceIsUserAdmin(0) != 11) ++wrong;
        ++calls;
      }
    });
  const int32_t res = BceEnumPrinters(me(), 0x20000000u | static_cast<std::uint32_t>(printers),
                                      [](const PRTINFO* p) -> uint16_t {
                                        wf::sleepFor(300);
                                        seen.push_back(p ? p->handle : 0);
                                        return 1;
                                      });
  enumerating = false;
  for (auto& t : pool) t.join();
  bool ordered = static_cast<int>(seen.size()) == printers;
  for (std::size_t i = 0; ordered && i < seen.size(); ++i) ordered = seen[i] == i + 1;
  return "ok r=" + std::to_string(res) + " items=" + std::to_string(seen.size()) +
         " ordered=" + std::to_string(ordered) + " wrong=" + std::to_string(wrong.load()) +
         " calls=" + (calls > 0 ? "some" : "none");
});

}  // namespace

namespace {
// Ends the process the ordinary way, so the broker's unload work runs.
WF_CHILD_COMMAND("quit", [](const ChildArgs&) -> std::string {
  std::cout.flush();
  std::exit(0);
});
}  // namespace
