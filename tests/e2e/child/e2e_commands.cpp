// Commands of wf-testchild e2e: one application of the broker per process, its
// window collecting the broker's posts; in the primary also the mock
// transport's control side, since transports load only there.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "broker/corbce.h"
#include "broker/internal_testing.h"
#include "child_commands.h"
#include "eventually.h"
#include "hex_bytes.h"
#include "mock_transport.h"
#include "platform/message_queue.h"
#include "platform/module.h"
#include "platform/window_messages.h"

using wf::testing::ChildArgs;
using wf::testing::eventually;

namespace {

// How long a command waits for the broker: 20 s at the tests' time scale of 0.01.
constexpr std::uint32_t kWait = 2'000'000;

wf::Hwnd window() {
  static wf::Hwnd w = wf::createWindow(
      "WfEndToEndApp", [](wf::Hwnd, std::uint32_t, wf::WParam, wf::LParam) { return wf::LResult{0}; });
  return w;
}

std::uint32_t me() {
  return static_cast<std::uint32_t>(wf::bce::internal_testing::ownAppId());
}
std::uint32_t num(const std::string& s) {
  return static_cast<std::uint32_t>(std::stoul(s, nullptr, 0));
}
std::string compactHex(std::string_view bytes) {
  std::string h = wf::testing::toHex(bytes);
  std::erase(h, ' ');
  return h.empty() ? "-" : h;
}
std::string bytesOf(const std::string& hexText) {
  return hexText == "-" ? "" : wf::testing::hex(hexText);
}

thread_local std::vector<std::string>* enumerated = nullptr;
uint16_t collect(const PRTINFO* info) {
  if (info && enumerated) enumerated->push_back(std::to_string(info->handle));
  return 1;
}

template <typename Fn>
Fn mockControl(const std::string& file, const char* name) {
  return wf::moduleEntryAs<Fn>(wf::loadModule(file), name);
}

WF_CHILD_COMMAND("primary", [](const ChildArgs&) {
  return std::string("ok ") + (wf::bce::internal_testing::isPrimary() ? "1" : "0");
});
WF_CHILD_COMMAND("register",
                 [](const ChildArgs&) { return "ok " + std::to_string(BceRegisterApp(window())); });
WF_CHILD_COMMAND("unregister", [](const ChildArgs&) {
  BceUnregisterApp(me());
  return std::string("ok");
});
// gone <id>: waits until the primary has cleared the application's slot;
// unregistration has no reply to wait for.
WF_CHILD_COMMAND("gone", [](const ChildArgs& a) {
  const bool gone =
      eventually([&] { return wf::bce::internal_testing::registrationWindow(num(a.at(0))) == 0; }, kWait);
  return std::string(gone ? "ok" : "err still registered");
});
// enum <mask> -> "ok <result> <handles in ascending order, comma-separated>"
WF_CHILD_COMMAND("enum", [](const ChildArgs& a) {
  std::vector<std::string> got;
  enumerated = &got;
  const std::int32_t rc = BceEnumPrinters(me(), num(a.at(0)), &collect);
  enumerated = nullptr;
  std::sort(got.begin(), got.end(),
            [](const std::string& x, const std::string& y) { return std::stoi(x) < std::stoi(y); });
  std::string list;
  for (const auto& h : got) list += (list.empty() ? "" : ",") + h;
  return "ok " + std::to_string(rc) + " " + (list.empty() ? "-" : list);
});
// bidi <handle> <code> <reply room> [request hex] -> "ok <result> <length> <reply hex>"
WF_CHILD_COMMAND("bidi", [](const ChildArgs& a) {
  std::vector<char> reply(num(a.at(2)));
  std::uint32_t length = static_cast<std::uint32_t>(reply.size());
  const std::string request = a.size() > 3 ? bytesOf(a[3]) : "";
  const std::int32_t rc =
      BceSendBidi(me(), num(a.at(0)), 0, num(a.at(1)), reply.data(), &length,
                  request.empty() ? nullptr : request.data(), static_cast<std::uint32_t>(request.size()));
  return "ok " + std::to_string(rc) + " " + std::to_string(length) + " " +
         compactHex(std::string_view(reply.data(), std::min<std::size_t>(length, reply.size())));
});
// write <handle> <text> -> "ok <result> <written>"; the text goes in confirmed packets
WF_CHILD_COMMAND("write", [](const ChildArgs& a) {
  std::string data = a.at(1);
  std::uint32_t length = static_cast<std::uint32_t>(data.size());
  const std::int32_t rc = BceWrite(me(), num(a.at(0)), 0, data.data(), &length, 0);
  return "ok " + std::to_string(rc) + " " + std::to_string(length);
});
// writehex <handle> <bytes as hex> -> "ok <result> <written>": any bytes, UELs and form feeds too
WF_CHILD_COMMAND("writehex", [](const ChildArgs& a) {
  std::string data = bytesOf(a.at(1));
  std::uint32_t length = static_cast<std::uint32_t>(data.size());
  const std::int32_t rc = BceWrite(me(), num(a.at(0)), 0, data.data(), &length, 0);
  return "ok " + std::to_string(rc) + " " + std::to_string(length);
});
WF_CHILD_COMMAND("enddoc",
                 [](const ChildArgs& a) { return "ok " + std::to_string(BceEndDoc(num(a.at(0)), 0)); });
WF_CHILD_COMMAND("startdoc",
                 [](const ChildArgs& a) { return "ok " + std::to_string(BceStartDoc(num(a.at(0)), 0, 1)); });
// capture <handle> <mask> <flag>
WF_CHILD_COMMAND("capture", [](const ChildArgs& a) {
  const ALERTS alerts{num(a.at(1))};
  return "ok " + std::to_string(BceCaptureAlerts(me(), num(a.at(0)), &alerts, window(), num(a.at(2))));
});
// query <key> <room> -> "ok <result> <length> <data hex>"
WF_CHILD_COMMAND("query", [](const ChildArgs& a) {
  std::vector<char> buffer(num(a.at(1)));
  std::uint16_t length = static_cast<std::uint16_t>(buffer.size());
  const std::int32_t rc = BceQueryAlerts(me(), num(a.at(0)), 0, 0, buffer.data(), &length);
  return "ok " + std::to_string(rc) + " " + std::to_string(length) + " " +
         compactHex(std::string_view(buffer.data(), std::min<std::size_t>(length, buffer.size())));
});
// posts <count>: waits for that many posts -> "ok message:wParam:lParam ..." (hex)
WF_CHILD_COMMAND("posts", [](const ChildArgs& a) {
  const std::size_t want = num(a.at(0));
  std::vector<std::string> got;
  eventually(
      [&] {
        wf::Message m;
        while (got.size() < want && wf::peekMessage(m, wf::PeekMode::Remove)) {
          char b[64];
          std::snprintf(b, sizeof b, "%u:%x:%x", m.message, static_cast<unsigned>(m.wParam),
                        static_cast<unsigned>(m.lParam));
          got.emplace_back(b);
        }
        return got.size() >= want;
      },
      kWait);
  std::string out = "ok";
  for (const auto& p : got) out += " " + p;
  return out;
});
// mock-port <file> <port id> <name>: a network printer with NPA, node 0000000000<id>
WF_CHILD_COMMAND("mock-port", [](const ChildArgs& a) {
  NETPORTINFO p{};
  p.portId = static_cast<std::uint16_t>(num(a.at(1)));
  p.node[5] = static_cast<std::uint8_t>(p.portId);
  p.flags = BCE_PRTINFO_FLAG_PRESENT | BCE_PRTINFO_FLAG_NPA;
  p.adapterClass = 1;
  std::snprintf(p.portName, sizeof p.portName, "%s", a.at(2).c_str());
  auto add = mockControl<decltype(&MockTransportAddPort)>(a.at(0), "MockTransportAddPort");
  if (!add) return std::string("err no mock transport ") + a.at(0);
  add(&p);
  return std::string("ok");
});
// mock-reply <file> <hex>: what the transport's NetWrite answers from now on
WF_CHILD_COMMAND("mock-reply", [](const ChildArgs& a) {
  const std::string bytes = bytesOf(a.at(1));
  mockControl<decltype(&MockTransportSetWriteReply)>(a.at(0), "MockTransportSetWriteReply")(
      reinterpret_cast<const std::uint8_t*>(bytes.data()), static_cast<std::uint32_t>(bytes.size()));
  return std::string("ok");
});
// mock-alert <file> <port id> <hex>: unsolicited packets through the port's data callback
WF_CHILD_COMMAND("mock-alert", [](const ChildArgs& a) {
  const std::string bytes = bytesOf(a.at(2));
  return "ok " +
         std::to_string(mockControl<decltype(&MockTransportInjectData)>(a.at(0), "MockTransportInjectData")(
             static_cast<std::uint16_t>(num(a.at(1))), reinterpret_cast<const std::uint8_t*>(bytes.data()),
             static_cast<std::uint32_t>(bytes.size())));
});
// Ends the process the ordinary way, so the broker's unload work runs.
WF_CHILD_COMMAND("quit", [](const ChildArgs&) -> std::string {
  std::cout.flush();
  std::exit(0);
});

}  // namespace
