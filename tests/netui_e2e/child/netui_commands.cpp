// The adapter configuration library's helper commands (wf-testchild netui):
// a secondary application of the real broker asking through the library's
// binding, where list items come over the mail channel's item stream.
#include <unistd.h>

#include <string>

#include "broker/corbce.h"
#include "broker_binding.h"
#include "child_commands.h"
#include "ip_list.h"
#include "platform/window_messages.h"

namespace {

using wf::testing::ChildArgs;

wf::Hwnd window() {
  static wf::Hwnd w = wf::createWindow(
      "WfNetUISecondary", [](wf::Hwnd, std::uint32_t, wf::WParam, wf::LParam) { return wf::LResult{0}; });
  return w;
}

std::int16_t appId = -1;

WF_CHILD_COMMAND("register", [](const ChildArgs&) { return "ok " + std::to_string(appId = BceRegisterApp(window())); });

// quit: leaves the broker and ends the process
WF_CHILD_COMMAND("quit", [](const ChildArgs&) -> std::string {
  if (appId >= 0) BceUnregisterApp(static_cast<std::uint32_t>(appId));
  ::_exit(0);
});

// iplist -> "ok <result>|line|line...": item 1 of bit 2, each entry as its list line
WF_CHILD_COMMAND("iplist", [](const ChildArgs&) {
  if (!wf::netui::LoadBceFunctions()) return std::string("err no broker");
  wf::netui::takeReceivedIpAdapters();
  const std::int32_t rc = wf::netui::broker().getNetInfo(0xFFFF, BCE_NET_IP, 1, nullptr, nullptr,
                                                         &wf::netui::receiveIpAdapter);
  wf::netui::FreeBceFunctions();
  std::string out = "ok " + std::to_string(rc);
  for (const auto& entry : wf::netui::takeReceivedIpAdapters()) out += "|" + wf::netui::ipListLine(entry);
  return out;
});

}  // namespace
