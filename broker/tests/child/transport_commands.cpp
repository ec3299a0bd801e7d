// Commands of wf-testchild broker for the printer list and the transports, driven
// against the mock transport libraries.
#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "broker/corbce.h"
#include "broker_state.h"
#include "child_commands.h"
#include "mock_transport.h"
#include "platform/message_queue.h"
#include "platform/module.h"
#include "printer_list.h"

using wf::testing::ChildArgs;

namespace {

std::uint32_t num(const std::string& s) {
  return static_cast<std::uint32_t>(std::stoul(s, nullptr, 0));
}
std::uint32_t myId() {
  return static_cast<std::uint32_t>(wf::bce::ownAppId());
}

std::string transportHex(std::uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "%x", v);
  return b;
}

void parseNode(const std::string& text, std::uint8_t* node) {
  for (int k = 0; k < 6; ++k)
    node[k] = static_cast<std::uint8_t>(std::stoul(text.substr(k * 2, 2), nullptr, 16));
}

std::string nodeText(const std::uint8_t* node) {
  char b[13];
  std::snprintf(b, sizeof b, "%02X%02X%02X%02X%02X%02X", node[0], node[1], node[2], node[3], node[4],
                node[5]);
  return b;
}

// Whether the broker (or anyone) has the transport file mapped, without loading it.
bool mapped(const std::string& file) {
  const auto path = wf::findModuleFile(file);
  if (!path) return false;
  void* h = ::dlopen(path->c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (h) ::dlclose(h);
  return h != nullptr;
}

template <typename Fn>
Fn control(const std::string& file, const char* name) {
  return wf::moduleEntryAs<Fn>(wf::loadModule(file), name);
}

std::string mockLog(const std::string& file) {
  auto logFn = control<decltype(&MockTransportCallLog)>(file, "MockTransportCallLog");
  if (!logFn) return "";
  std::string s(logFn(nullptr, 0) + 1, '\0');
  logFn(s.data(), static_cast<std::uint32_t>(s.size()));
  s.resize(s.size() - 1);
  return s;
}

// mock <file> port <id> <node> <class> <kind> <name> [second] | remove <id> | pause <ms>
//      | log | loaded | event <port> <code> [text or node]
std::string mock(const ChildArgs& a) {
  const std::string& file = a.at(0);
  const std::string& what = a.at(1);
  if (what == "loaded") return std::string("ok ") + (mapped(file) ? "1" : "0");
  if (what == "log") return "ok " + mockLog(file);
  if (what == "port") {
    NETPORTINFO p{};
    p.portId = static_cast<std::uint16_t>(num(a.at(2)));
    parseNode(a.at(3), p.node);
    p.adapterClass = static_cast<std::uint16_t>(num(a.at(4)));
    p.portKind = static_cast<std::uint16_t>(num(a.at(5)));
    std::snprintf(p.portName, sizeof p.portName, "%s", a.at(6).c_str());
    if (a.size() > 7) std::snprintf(p.secondName, sizeof p.secondName, "%s", a[7].c_str());
    control<decltype(&MockTransportAddPort)>(file, "MockTransportAddPort")(&p);
    return "ok";
  }
  if (what == "ports") {  // <count> <first id>: printers whose node is their number
    const std::uint32_t count = num(a.at(2)), first = num(a.at(3));
    auto add = control<decltype(&MockTransportAddPort)>(file, "MockTransportAddPort");
    for (std::uint32_t n = 0; n < count; ++n) {
      NETPORTINFO p{};
      p.portId = static_cast<std::uint16_t>(first + n);
      std::memcpy(p.node + 2, &n, 4);
      p.adapterClass = 1;
      std::snprintf(p.portName, sizeof p.portName, "P%u", n);
      add(&p);
    }
    return "ok";
  }
  if (what == "remove") {
    control<decltype(&MockTransportRemovePort)>(
        file, "MockTransportRemovePort")(static_cast<std::uint16_t>(num(a.at(2))));
    return "ok";
  }
  if (what == "pause") {
    control<decltype(&MockTransportSetReportPause)>(file, "MockTransportSetReportPause")(num(a.at(2)));
    return "ok";
  }
  if (what == "event") {
    const auto port = static_cast<std::uint16_t>(num(a.at(2)));
    const std::uint32_t code = num(a.at(3));
    char data[BCE_NAME_LENGTH] = {};
    if (code == 104)
      parseNode(a.at(4), reinterpret_cast<std::uint8_t*>(data));
    else if (a.size() > 4)
      std::memcpy(data, a[4].data(), std::min(a[4].size(), sizeof data));
    return "ok " + std::to_string(control<decltype(&MockTransportRaiseEvent)>(
                       file, "MockTransportRaiseEvent")(port, code, data));
  }
  return "err unknown mock command " + what;
}

// Items an enumeration gave the callback; it answers 0 once `stopAfter` arrived.
thread_local std::vector<std::string>* transportItems = nullptr;
thread_local int stopAfter = -1;

uint16_t collectTransportPrinter(const PRTINFO* info) {
  if (info && transportItems)
    transportItems->push_back(std::to_string(info->handle) + ":" + transportHex(info->connections) + ":" +
                     nodeText(info->node));
  return stopAfter >= 0 && transportItems && static_cast<int>(transportItems->size()) >= stopAfter ? 0 : 1;
}

std::string joined(const std::vector<std::string>& v) {
  std::string s;
  for (auto& x : v) s += (s.empty() ? "" : ",") + x;
  return s;
}

// enum <mask> [stop after n] -> "ok r=<result> <handle:connections:node>,..."
std::string enumerate(const ChildArgs& a) {
  std::vector<std::string> got;
  transportItems = &got;
  stopAfter = a.size() > 1 ? static_cast<int>(num(a[1])) : -1;
  const std::int32_t r = BceEnumPrinters(myId(), num(a.at(0)), &collectTransportPrinter);
  transportItems = nullptr;
  return "ok r=" + std::to_string(r) + " " + joined(got);
}

std::string specific(const ChildArgs& a) {  // <part> <node> [tryAll]
  NETADDRESS address{};
  auto* bytes = reinterpret_cast<std::uint8_t*>(&address);
  const std::string& part = a.at(0);
  const std::size_t offset = part == "netware" ? 4 : part == "ip" ? 120 : part == "ipx" ? 136 : 246;
  parseNode(a.at(1), bytes + offset);
  std::vector<std::string> got;
  transportItems = &got;
  stopAfter = -1;
  const std::int32_t r = BceEnumSpecific(myId(), &address, &collectTransportPrinter, a.size() > 2 ? num(a[2]) : 0);
  transportItems = nullptr;
  return "ok r=" + transportHex(static_cast<std::uint32_t>(r)) + " " + joined(got);
}

WF_CHILD_COMMAND("mock", mock);
WF_CHILD_COMMAND("enum", enumerate);
WF_CHILD_COMMAND("specific", specific);
WF_CHILD_COMMAND("nets", [](const ChildArgs&) {
  std::uint32_t mask = 0xDEAD;
  const std::int32_t r = BceGetNets(&mask);
  return "ok r=" + std::to_string(r) + " " + transportHex(mask);
});
WF_CHILD_COMMAND("prtinfo", [](const ChildArgs& a) {
  PRTINFO info{};
  const std::int32_t r = BceGetPrtInfo(num(a.at(0)), &info, 0);
  return "ok r=" + std::to_string(r) + " h=" + std::to_string(info.handle) + " c=" + transportHex(info.connections) +
         " node=" + nodeText(info.node) + " name=" + std::string(info.name) +
         " size=" + std::to_string(info.packetSize);
});
WF_CHILD_COMMAND("pname", [](const ChildArgs& a) {
  char name[BCE_NAME_LENGTH] = {}, second[BCE_NAME_LENGTH] = {};
  const std::int32_t r = BceGetPrinterName(num(a.at(0)), num(a.at(1)), name, second);
  return "ok r=" + std::to_string(r) + " " + name + "/" + second;
});
WF_CHILD_COMMAND("addr", [](const ChildArgs& a) {
  NETADDRESS address{};
  const std::int32_t r = BceGetPrinterAddr(num(a.at(0)), num(a.at(1)), &address);
  const auto* b = reinterpret_cast<const std::uint8_t*>(&address);
  return "ok r=" + transportHex(static_cast<std::uint32_t>(r)) + " ipx=" + nodeText(b + 136) +
         " corlink=" + nodeText(b + 246) + " local=" + std::string(address.local);
});
// netinfo <handle> <mask> <code> [items]
WF_CHILD_COMMAND("netinfo", [](const ChildArgs& a) {
  static thread_local std::vector<std::string>* got = nullptr;
  std::vector<std::string> list;
  got = &list;
  char buffer[64] = {};
  std::uint16_t length = sizeof buffer;
  const bool withItems = a.size() > 3;
  BCENETITEMPROC proc = [](const void* item, std::uint16_t n) -> int32_t {
    got->emplace_back(static_cast<const char*>(item), n);
    return 1;
  };
  const std::int32_t r = BceGetNetInfo(num(a.at(0)), num(a.at(1)), num(a.at(2)), withItems ? nullptr : buffer,
                                       &length, withItems ? proc : nullptr);
  got = nullptr;
  return "ok r=" + std::to_string(r) + " " + (withItems ? joined(list) : std::string(buffer, length));
});
WF_CHILD_COMMAND("setnetinfo", [](const ChildArgs& a) {
  const std::string& text = a.at(3);
  return "ok r=" + std::to_string(BceSetNetInfo(num(a.at(0)), num(a.at(1)), num(a.at(2)), text.data(),
                                                static_cast<std::uint16_t>(text.size())));
});
WF_CHILD_COMMAND("version", [](const ChildArgs&) {
  BCEVERSION v{};
  const std::int32_t r = BceGetVersion(&v);
  std::string s = "ok r=" + std::to_string(r);
  for (const auto& e : v.entries)
    s += " " + std::string(e.fileName) + "=" + transportHex(e.version) + ":" + e.description;
  return s;
});
WF_CHILD_COMMAND("versionex", [](const ChildArgs&) {
  BCEVERSIONEX v{};
  const std::int32_t r = BceGetVersionEx(&v);
  std::string s = "ok r=" + std::to_string(r);
  for (const auto& e : v.entries)
    s += " " + std::string(e.fileName) + "=" + transportHex(e.fileVersionMS) + "." + transportHex(e.fileVersionLS);
  return s;
});
// A local port's report as the local scan makes it: second name = port name.
WF_CHILD_COMMAND("local-report", [](const ChildArgs& a) {
  NETPORTINFO p{};
  p.connections = BCE_NET_LOCAL;
  std::snprintf(p.secondName, sizeof p.secondName, "%s", a.at(0).c_str());
  wf::bce::EnumCallback(&p);
  return std::string("ok");
});
// Messages posted to this thread's windows so far: "message:wParam:lParam,...".
WF_CHILD_COMMAND("messages", [](const ChildArgs&) {
  std::vector<std::string> got;
  wf::Message m;
  while (wf::peekMessage(m, wf::PeekMode::Remove))
    got.push_back(std::to_string(m.message) + ":" + std::to_string(m.wParam) + ":" +
                  transportHex(static_cast<std::uint32_t>(m.lParam)));
  return "ok " + joined(got);
});
// The real worker, whatever workers the requests reach: loads every transport.
WF_CHILD_COMMAND("load-transports", [](const ChildArgs&) {
  std::uint32_t mask = 0;
  BceGetNetsMF(&mask);
  return "ok " + transportHex(mask);
});
WF_CHILD_COMMAND("stopflag", [](const ChildArgs&) {
  return "ok " + std::to_string(wf::bce::stopEnumerationFlag().load());
});
WF_CHILD_COMMAND("shutdown-calls", [](const ChildArgs&) {
  int n = 0;
  for (const char* file : {"cornw32", "corip32", "coripx32", "corcl32", "corp2p32"}) {
    if (!mapped(file)) continue;
    const std::string log = mockLog(file);
    for (std::size_t at = log.find("NetShut"); at != std::string::npos; at = log.find("NetShut", at + 1)) ++n;
  }
  return "ok " + std::to_string(n);
});
// Enumerations from `threads` threads of this application, `rounds` each, forced every other round.
WF_CHILD_COMMAND("enum-storm", [](const ChildArgs& a) {
  const int threads = static_cast<int>(num(a.at(0))), rounds = static_cast<int>(num(a.at(1)));
  std::atomic<int> done{0};
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t)
    pool.emplace_back([&, t] {
      for (int r = 0; r < rounds; ++r) {
        std::vector<std::string> got;
        transportItems = &got;
        stopAfter = -1;
        BceEnumPrinters(myId(), 0xC | ((r + t) % 2 ? BCE_NET_FORCE : 0), &collectTransportPrinter);
        transportItems = nullptr;
        ++done;
      }
    });
  for (auto& t : pool) t.join();
  return "ok " + std::to_string(done.load());
});

}  // namespace
