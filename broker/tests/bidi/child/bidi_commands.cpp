// Commands of wf-testchild bidi: a process with the real broker, as primary or
// secondary, whose application window collects the broker's posts.
#include <cstdio>
#include <string>
#include <vector>

#include "broker/corbce.h"
#include "broker_state.h"
#include "child_commands.h"
#include "local_ports.h"
#include "platform/window_messages.h"
#include "printer_list.h"
#include "workers.h"

using wf::testing::ChildArgs;

namespace {

wf::Hwnd window() {
  static wf::Hwnd w = wf::createWindow(
      "WfBidiTestApp", [](wf::Hwnd, std::uint32_t, wf::WParam, wf::LParam) { return wf::LResult{0}; });
  return w;
}

std::uint32_t me() {
  return static_cast<std::uint32_t>(wf::bce::ownAppId());
}
std::uint32_t num(const std::string& s) {
  return static_cast<std::uint32_t>(std::stoul(s, nullptr, 0));
}

std::string hex(const void* p, std::size_t n) {
  std::string out;
  char b[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, "%02X", static_cast<const std::uint8_t*>(p)[i]);
    out += b;
  }
  return out.empty() ? "-" : out;
}

std::string unhex(const std::string& s) {
  std::string out;
  if (s == "-") return out;
  for (std::size_t i = 0; i + 1 < s.size(); i += 2)
    out.push_back(static_cast<char>(std::stoul(s.substr(i, 2), nullptr, 16)));
  return out;
}

WF_CHILD_COMMAND("primary",
                 [](const ChildArgs&) { return std::string("ok ") + (wf::bce::isPrimary() ? "1" : "0"); });
WF_CHILD_COMMAND("register",
                 [](const ChildArgs&) { return "ok " + std::to_string(BceRegisterApp(window())); });
WF_CHILD_COMMAND("unregister", [](const ChildArgs&) {
  BceUnregisterApp(me());
  return std::string("ok");
});
// The local scan as an enumeration runs it; then "handle:flags:packet" of every printer.
WF_CHILD_COMMAND("scan", [](const ChildArgs&) {
  wf::bce::scanLocalPorts(me(), true);
  std::string out = "ok";
  wf::bce::PrinterListLock lock;
  for (auto* e = wf::bce::printerList().first(); e; e = wf::bce::printerList().next(e))
    out += " " + std::to_string(e->handle()) + ":" + std::to_string(e->info.flags);
  return out;
});
// [net]bidi [mask] handle code replyRoom|null requestHex|- [requestLength]
std::string bidi(std::uint32_t mask, const ChildArgs& a) {
  const bool noBuffer = a.at(2) == "null";
  std::vector<char> reply(noBuffer ? 0 : num(a.at(2)));
  std::uint32_t length = static_cast<std::uint32_t>(reply.size());
  const std::string data = unhex(a.at(3));
  const std::uint32_t dataLength = a.size() > 4 ? num(a[4]) : static_cast<std::uint32_t>(data.size());
  const std::int32_t rc =
      BceSendBidi(me(), num(a.at(0)), mask, num(a.at(1)), noBuffer ? nullptr : reply.data(), &length,
                  data.empty() ? nullptr : data.data(), dataLength);
  return "ok " + std::to_string(rc) + " " + std::to_string(length) + " " +
         hex(reply.data(), std::min<std::size_t>(length, reply.size()));
}
WF_CHILD_COMMAND("bidi", [](const ChildArgs& a) { return bidi(0, a); });
WF_CHILD_COMMAND("netbidi",
                 [](const ChildArgs& a) { return bidi(num(a.at(0)), ChildArgs(a.begin() + 1, a.end())); });
// [net]write [mask] handle bytes raw: "abc..." of that length
std::string write(std::uint32_t mask, const ChildArgs& a) {
  std::string data(num(a.at(1)), '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 26);
  std::uint32_t length = static_cast<std::uint32_t>(data.size());
  const std::int32_t rc = BceWrite(me(), num(a.at(0)), mask, data.data(), &length, num(a.at(2)));
  return "ok " + std::to_string(rc) + " " + std::to_string(length);
}
WF_CHILD_COMMAND("write", [](const ChildArgs& a) { return write(0, a); });
WF_CHILD_COMMAND("netwrite",
                 [](const ChildArgs& a) { return write(num(a.at(0)), ChildArgs(a.begin() + 1, a.end())); });
WF_CHILD_COMMAND("open",
                 [](const ChildArgs& a) { return "ok " + std::to_string(BceOpen(me(), num(a.at(0)), 0)); });
WF_CHILD_COMMAND("close",
                 [](const ChildArgs& a) { return "ok " + std::to_string(BceClose(me(), num(a.at(0)))); });
WF_CHILD_COMMAND("startdoc",
                 [](const ChildArgs& a) { return "ok " + std::to_string(BceStartDoc(num(a.at(0)), 0, 1)); });
// capture handle mask flag
WF_CHILD_COMMAND("capture", [](const ChildArgs& a) {
  ALERTS alerts{num(a.at(1))};
  return "ok " + std::to_string(BceCaptureAlerts(me(), num(a.at(0)), &alerts, window(), num(a.at(2))));
});
WF_CHILD_COMMAND("release", [](const ChildArgs& a) {
  return "ok " + std::to_string(BceReleaseAlerts(me(), num(a.at(0)), num(a.at(1))));
});
// query key room|null flag
WF_CHILD_COMMAND("query", [](const ChildArgs& a) {
  const bool noBuffer = a.at(1) == "null";
  std::vector<char> buffer(noBuffer ? 0 : num(a.at(1)));
  std::uint16_t length = static_cast<std::uint16_t>(buffer.size());
  const std::int32_t rc =
      BceQueryAlerts(me(), num(a.at(0)), 0, num(a.at(2)), noBuffer ? nullptr : buffer.data(), &length);
  return "ok " + std::to_string(rc) + " " + std::to_string(length) + " " +
         hex(buffer.data(), std::min<std::size_t>(length, buffer.size()));
});
// The window's posts so far: "message:wParamHex:lParamHex".
WF_CHILD_COMMAND("posts", [](const ChildArgs&) {
  std::string out = "ok";
  wf::Message m;
  while (wf::peekMessage(m, wf::PeekMode::Remove)) {
    char b[64];
    std::snprintf(b, sizeof b, " %u:%x:%x", m.message, static_cast<unsigned>(m.wParam),
                  static_cast<unsigned>(m.lParam));
    out += b;
  }
  return out;
});
WF_CHILD_COMMAND("hold", [](const ChildArgs& a) {
  return "ok " + std::to_string(wf::bce::workers().holdPort(a.at(0), a.at(1)));
});

}  // namespace
