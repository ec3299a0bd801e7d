// Commands of wf-testchild bidi around the broker's world: enumerations that
// reach the local scan, the trace file, the mock transports and the port
// monitor stand-in (which lives in the primary, where the spooler asks it).
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "broker/corbce.h"
#include "broker_state.h"
#include "child_commands.h"
#include "local_ports.h"
#include "mock_transport.h"
#include "platform/module.h"
#include "portmon/port_monitor.h"

using wf::testing::ChildArgs;

namespace {

std::uint32_t worldMe() {
  return static_cast<std::uint32_t>(wf::bce::ownAppId());
}
std::uint32_t worldNum(const std::string& s) {
  return static_cast<std::uint32_t>(std::stoul(s, nullptr, 0));
}

std::string hexNumber(std::uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "%x", v);
  return b;
}

thread_local std::string* delivered = nullptr;
uint16_t collect(const PRTINFO* info) {
  if (info && delivered) *delivered += " " + std::to_string(info->handle) + ":" + std::to_string(info->flags);
  return 1;
}

// enum mask -> "ok handle:flags ..."
WF_CHILD_COMMAND("enum", [](const ChildArgs& a) {
  std::string out = "ok";
  delivered = &out;
  BceEnumPrinters(worldMe(), worldNum(a.at(0)), &collect);
  delivered = nullptr;
  return out;
});
// specific-local port -> "ok r=<found mask> handle:flags ..."
WF_CHILD_COMMAND("specific-local", [](const ChildArgs& a) {
  NETADDRESS address{};
  std::snprintf(address.local, sizeof address.local, "%s", a.at(0).c_str());
  std::string items;
  delivered = &items;
  const std::int32_t r = BceEnumSpecific(worldMe(), &address, &collect, 0);
  delivered = nullptr;
  return "ok r=" + hexNumber(static_cast<std::uint32_t>(r)) + items;
});
WF_CHILD_COMMAND("prtinfo", [](const ChildArgs& a) {
  PRTINFO info{};
  const std::int32_t r = BceGetPrtInfo(worldNum(a.at(0)), &info, a.size() > 1 ? worldNum(a[1]) : 0);
  return "ok " + std::to_string(r) + " " + std::to_string(info.flags) + " " + std::to_string(info.packetSize);
});
// trace-start name|- ; trace-stop
WF_CHILD_COMMAND("trace-start", [](const ChildArgs& a) {
  return "ok " + std::to_string(BceStartTrace(a.at(0) == "-" ? nullptr : a[0].c_str(), 1));
});
WF_CHILD_COMMAND("trace-stop", [](const ChildArgs&) { return "ok " + std::to_string(BceStopTrace()); });

template <typename Fn>
Fn mockEntry(const std::string& file, const char* name) {
  return wf::moduleEntryAs<Fn>(wf::loadModule(file), name);
}
std::string drain(std::uint32_t (*fn)(char*, std::uint32_t)) {
  std::string s(fn(nullptr, 0) + 1, '\0');
  fn(s.data(), static_cast<std::uint32_t>(s.size()));
  s.resize(s.size() - 1);
  return s;
}
std::string worldUnhex(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i + 1 < s.size(); i += 2)
    out.push_back(static_cast<char>(std::stoul(s.substr(i, 2), nullptr, 16)));
  return out;
}

// net <file> port <id> <node> <flags> <connections> <name> [second] | remove <id> | reply <hex>|-
//     | status <n> | written <n>|-1 | writes | calls | inject <port> <hex>
WF_CHILD_COMMAND("net", [](const ChildArgs& a) -> std::string {
  const std::string& file = a.at(0);
  const std::string& what = a.at(1);
  if (what == "port") {
    NETPORTINFO p{};
    p.portId = static_cast<std::uint16_t>(worldNum(a.at(2)));
    const std::string node = worldUnhex(a.at(3));
    std::memcpy(p.node, node.data(), std::min<std::size_t>(node.size(), 6));
    p.flags = static_cast<std::uint16_t>(worldNum(a.at(4)));
    p.connections = worldNum(a.at(5));
    p.adapterClass = 1;
    std::snprintf(p.portName, sizeof p.portName, "%s", a.at(6).c_str());
    if (a.size() > 7) std::snprintf(p.secondName, sizeof p.secondName, "%s", a[7].c_str());
    mockEntry<decltype(&MockTransportAddPort)>(file, "MockTransportAddPort")(&p);
    return "ok";
  }
  if (what == "reply") {
    const std::string bytes = a.at(2) == "-" ? "" : worldUnhex(a[2]);
    mockEntry<decltype(&MockTransportSetWriteReply)>(file, "MockTransportSetWriteReply")(
        reinterpret_cast<const std::uint8_t*>(bytes.data()), static_cast<std::uint32_t>(bytes.size()));
    return "ok";
  }
  if (what == "status") {
    mockEntry<decltype(&MockTransportSetWriteStatus)>(
        file, "MockTransportSetWriteStatus")(static_cast<std::uint16_t>(worldNum(a.at(2))));
    return "ok";
  }
  if (what == "written") {
    mockEntry<decltype(&MockTransportSetWriteResult)>(
        file, "MockTransportSetWriteResult")(static_cast<std::int32_t>(std::stol(a.at(2))));
    return "ok";
  }
  if (what == "remove") {
    mockEntry<decltype(&MockTransportRemovePort)>(
        file, "MockTransportRemovePort")(static_cast<std::uint16_t>(worldNum(a.at(2))));
    return "ok";
  }
  if (what == "writes")
    return "ok " + drain(mockEntry<decltype(&MockTransportWrites)>(file, "MockTransportWrites"));
  if (what == "calls")
    return "ok " + drain(mockEntry<decltype(&MockTransportCallLog)>(file, "MockTransportCallLog"));
  if (what == "inject") {
    const std::string bytes = worldUnhex(a.at(3));
    return "ok " +
           std::to_string(mockEntry<decltype(&MockTransportInjectData)>(file, "MockTransportInjectData")(
               static_cast<std::uint16_t>(worldNum(a.at(2))), reinterpret_cast<const std::uint8_t*>(bytes.data()),
               static_cast<std::uint32_t>(bytes.size())));
  }
  return "err unknown net command " + what;
});

std::unique_ptr<wf::portmon::PortMonitor> monitor;

// monitor start | take <port> <printer> | give | refuse | delay <ms> | state <port>
WF_CHILD_COMMAND("monitor", [](const ChildArgs& a) -> std::string {
  const std::string& what = a.at(0);
  if (what == "start") {
    monitor = std::make_unique<wf::portmon::PortMonitor>();
    return "ok";
  }
  if (!monitor) return "err no monitor";
  if (what == "take") return "ok " + std::to_string(monitor->takePort(a.at(1), a.at(2)));
  if (what == "give")
    monitor->setHandBack(wf::portmon::HandBack::Give);
  else if (what == "refuse")
    monitor->setHandBack(wf::portmon::HandBack::Refuse);
  else if (what == "delay")
    monitor->setHandBack(wf::portmon::HandBack::Delay, worldNum(a.at(1)));
  else if (what == "state")
    return "ok holds=" + std::to_string(monitor->holds(a.at(1))) +
           " asks=" + std::to_string(monitor->corBceAsks());
  else
    return "err unknown monitor command " + what;
  return "ok";
});
// The broker's side of a local port n (1-9), in the primary.
WF_CHILD_COMMAND("port-state", [](const ChildArgs& a) {
  wf::bce::PortSlot& slot = wf::bce::portSlot(static_cast<int>(worldNum(a.at(0))) - 1);
  std::lock_guard lock(slot.writeLock);
  return "ok open=" + std::to_string(slot.channel != nullptr) + " held=" + std::to_string(slot.held);
});

}  // namespace
