#pragma once
// The workstation side of the adapter tests: one IPX socket that queries
// and collects replies, read with the transports' own readers.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "broker/net_transport.h"
#include "platform/clock.h"
#include "platform/ipx.h"
#include "sim/adapter/adapter_config.h"
#include "transports/common/adapter_wire.h"
#include "transports/common/ebcdic.h"

namespace wf::sim::adapter::testing {

using ::wf::adapter::kDiscoverySilence;

inline SOCKADDR_IPX ipxAddress(std::array<std::uint8_t, 4> network, Node node, std::uint16_t socket) {
  IpxAddress a;
  a.network = network;
  a.node = node;
  a.socket = socket;
  return a.toSockaddr();
}
inline constexpr Node kBroadcast = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

struct Datagram {
  IpxAddress from;
  Bytes bytes;
};

class Host {
 public:
  Host() {
    EXPECT_EQ(socket_.bind(IpxAddress{}.toSockaddr()), 0);
    socket_.setPacketType(::wf::adapter::kPacketType);
    socket_.setBroadcast(true);
  }
  void send(const Bytes& bytes, const SOCKADDR_IPX& to) {
    EXPECT_EQ(socket_.sendTo(bytes.data(), bytes.size(), to).error, 0);
  }
  // The next datagram within `ms` system milliseconds.
  std::optional<Datagram> next(std::uint32_t ms = 30'000) {
    if (socket_.waitReadable(ms) != 1) return std::nullopt;
    Datagram d;
    d.bytes.resize(4096);
    SOCKADDR_IPX from{};
    const IpxIo r = socket_.receiveFrom(d.bytes.data(), d.bytes.size(), &from, nullptr);
    d.bytes.resize(static_cast<std::size_t>(r.bytes));
    d.from = IpxAddress::from(from);
    return d;
  }
  // Every datagram until the silence window passes without one.
  std::vector<Datagram> collect() {
    std::vector<Datagram> all;
    while (auto d = next(kDiscoverySilence)) all.push_back(std::move(*d));
    return all;
  }
  // Nothing is waiting now.
  bool idle() { return socket_.waitReadable(0) == 0; }

 private:
  IpxSocket socket_;
};

}  // namespace wf::sim::adapter::testing
