#include <cstring>
#include <map>
#include <memory>

#include "child_commands.h"
#include "hex_bytes.h"
#include "platform/ipx.h"

namespace wf::testing {
namespace {

std::map<std::string, std::unique_ptr<IpxSocket>>& sockets() {
  static auto* all = new std::map<std::string, std::unique_ptr<IpxSocket>>;
  return *all;
}

// "NNNNNNNN:HHHHHHHHHHHH:SSSS" -> address; empty parts are 0.
SOCKADDR_IPX parseAddress(const std::string& text) {
  IpxAddress a;
  const std::string bytes = hex(text);
  if (bytes.size() == 12) {
    std::memcpy(a.network.data(), bytes.data(), 4);
    std::memcpy(a.node.data(), bytes.data() + 4, 6);
    a.socket = static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[10]) << 8 |
                                          static_cast<std::uint8_t>(bytes[11]));
  }
  return a.toSockaddr();
}

std::string formatAddress(const SOCKADDR_IPX& s) {
  const IpxAddress a = IpxAddress::from(s);
  char socket[5];
  std::snprintf(socket, sizeof socket, "%04X", a.socket);
  const std::string net = toHex({reinterpret_cast<const char*>(a.network.data()), 4});
  const std::string node = toHex({reinterpret_cast<const char*>(a.node.data()), 6});
  auto squash = [](std::string t) { return std::erase(t, ' '), t; };
  return squash(net) + ":" + squash(node) + ":" + socket;
}

}  // namespace

// ipx-bind <id> <net:node:socket> [broadcast]: binds a socket kept under <id>.
WF_CHILD_COMMAND("ipx-bind", [](const ChildArgs& a) -> std::string {
  if (a.size() < 2) return "err usage: ipx-bind <id> <net:node:socket> [broadcast]";
  auto s = std::make_unique<IpxSocket>();
  if (const int r = s->bind(parseAddress(a[1]))) return "err " + std::to_string(r);
  s->setPacketType(17);
  s->setBroadcast(a.size() > 2);
  SOCKADDR_IPX name{};
  s->localName(name);
  sockets()[a[0]] = std::move(s);
  return "ok " + formatAddress(name);
});

// ipx-send <id> <net:node:socket> <hex data>
WF_CHILD_COMMAND("ipx-send", [](const ChildArgs& a) -> std::string {
  if (a.size() != 3 || !sockets().count(a[0])) return "err usage: ipx-send <id> <address> <hex>";
  const std::string data = hex(a[2]);
  const IpxIo r = sockets()[a[0]]->sendTo(data.data(), data.size(), parseAddress(a[1]));
  return r.error ? "err " + std::to_string(r.error) : "ok " + std::to_string(r.bytes);
});

// ipx-burst <id> <net:node:socket> <count>: that many 90-byte datagrams at once.
WF_CHILD_COMMAND("ipx-burst", [](const ChildArgs& a) -> std::string {
  if (a.size() != 3 || !sockets().count(a[0])) return "err usage: ipx-burst <id> <address> <count>";
  const int count = std::stoi(a[2]);
  for (int i = 0; i < count; ++i) {
    std::uint8_t data[90] = {static_cast<std::uint8_t>(i)};
    if (const IpxIo r = sockets()[a[0]]->sendTo(data, sizeof data, parseAddress(a[1])); r.error)
      return "err " + std::to_string(r.error);
  }
  return "ok";
});

// ipx-recv <id>: the next datagram as "ok <from> <type> <hex data>".
WF_CHILD_COMMAND("ipx-recv", [](const ChildArgs& a) -> std::string {
  if (a.size() != 1 || !sockets().count(a[0])) return "err usage: ipx-recv <id>";
  char buffer[2048];
  SOCKADDR_IPX from{};
  std::uint8_t type = 0;
  const IpxIo r = sockets()[a[0]]->receiveFrom(buffer, sizeof buffer, &from, &type);
  if (r.error) return "err " + std::to_string(r.error);
  return "ok " + formatAddress(from) + " " + std::to_string(type) + " " +
         toHex({buffer, static_cast<std::size_t>(r.bytes)});
});

}  // namespace wf::testing
