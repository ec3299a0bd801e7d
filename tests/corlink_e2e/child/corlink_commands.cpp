// Commands of wf-testchild corlink: an application of the real broker that
// reaches CORCL32's workstation items through it.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "broker/corbce.h"
#include "child_commands.h"
#include "platform/window_messages.h"

namespace {

using wf::testing::ChildArgs;

int appId = -1;

std::uint32_t number(const std::string& s) {
  return static_cast<std::uint32_t>(std::stoul(s, nullptr, 0));
}

// register -> "ok <application id>"
WF_CHILD_COMMAND("register", [](const ChildArgs&) {
  static wf::Hwnd window = wf::createWindow(
      "WfCorLinkEndToEnd", [](wf::Hwnd, std::uint32_t, wf::WParam, wf::LParam) { return wf::LResult{0}; });
  return "ok " + std::to_string(appId = BceRegisterApp(window));
});

// nets -> "ok <result> <mask>"
WF_CHILD_COMMAND("nets", [](const ChildArgs&) {
  std::uint32_t mask = 0;
  const std::int32_t rc = BceGetNets(&mask);
  return "ok " + std::to_string(rc) + " " + std::to_string(mask);
});

// lists -> "ok <result> D:NAME S:NAME ...": item 2 of the workstation, in the order streamed
WF_CHILD_COMMAND("lists", [](const ChildArgs&) {
  static std::vector<std::string>* got = nullptr;
  std::vector<std::string> entries;
  got = &entries;
  std::uint16_t length = 0;
  const std::int32_t rc = BceGetNetInfo(BCE_WORKSTATION_HANDLE, BCE_NET_CORLINK, 2, nullptr, &length,
                                        [](const void* item, std::uint16_t size) -> std::int32_t {
                                          const auto* b = static_cast<const char*>(item);
                                          if (size == 17)
                                            got->push_back(std::string(b[0] == 1 ? "D:" : "S:") +
                                                           std::string(b + 1, strnlen(b + 1, 16)));
                                          return 1;
                                        });
  got = nullptr;
  std::string out = "ok " + std::to_string(rc);
  for (const auto& e : entries) out += " " + e;
  return out;
});

// edit <item 3|4> <kind 1|2> <name> -> "ok <result>"
WF_CHILD_COMMAND("edit", [](const ChildArgs& a) {
  if (a.size() != 3) return std::string("err usage: edit <item> <kind> <name>");
  std::uint8_t entry[17] = {static_cast<std::uint8_t>(number(a[1]))};
  std::snprintf(reinterpret_cast<char*>(entry + 1), 16, "%s", a[2].c_str());
  return "ok " + std::to_string(BceSetNetInfo(BCE_WORKSTATION_HANDLE, BCE_NET_CORLINK, number(a[0]), entry, 17));
});

// flags-set <enumerate domain> <only queues> -> "ok <result>"
WF_CHILD_COMMAND("flags-set", [](const ChildArgs& a) {
  if (a.size() != 2) return std::string("err usage: flags-set <domain> <queues>");
  const std::uint8_t flags[2] = {static_cast<std::uint8_t>(number(a[0])), static_cast<std::uint8_t>(number(a[1]))};
  return "ok " + std::to_string(BceSetNetInfo(BCE_WORKSTATION_HANDLE, BCE_NET_CORLINK, 5, flags, 2));
});

// flags-get -> "ok <result> <enumerate domain> <only queues>"
WF_CHILD_COMMAND("flags-get", [](const ChildArgs&) {
  std::uint8_t flags[2] = {0xEE, 0xEE};
  std::uint16_t length = 2;
  const std::int32_t rc = BceGetNetInfo(BCE_WORKSTATION_HANDLE, BCE_NET_CORLINK, 5, flags, &length, nullptr);
  return "ok " + std::to_string(rc) + " " + std::to_string(flags[0]) + " " + std::to_string(flags[1]);
});

WF_CHILD_COMMAND("quit", [](const ChildArgs&) -> std::string {
  if (appId >= 0) BceUnregisterApp(static_cast<std::uint32_t>(appId));
  std::cout.flush();
  std::exit(0);
});

}  // namespace
