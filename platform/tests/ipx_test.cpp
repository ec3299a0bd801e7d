// IPX datagrams between real processes: the test process and helper
// processes each bind sockets in one segment.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "hex_bytes.h"
#include "platform/file_lock.h"
#include "platform/ipx.h"
#include "platform/runtime_dir.h"
#include "platform/trace.h"
#include "platform/unique_fd.h"
#include "platform_child.h"

namespace wf {
namespace {

using testing::hex;
using testing::IpxDatagram;
using testing::PlatformChild;

// The test process keeps the default address (network 1, the workstation node).
constexpr const char* kOwnNode = "020057460001";

SOCKADDR_IPX address(const char* net, const char* node, std::uint16_t socket) {
  IpxAddress a;
  const std::string n = hex(net), d = hex(node);
  std::memcpy(a.network.data(), n.data(), 4);
  std::memcpy(a.node.data(), d.data(), 6);
  a.socket = socket;
  return a.toSockaddr();
}

// A helper process whose own node is `node`.
std::unique_ptr<PlatformChild> childWithNode(const char* node) {
  ::setenv("WRENFIELD_IPX_ADDRESS", (std::string("00000001:") + node).c_str(), 1);
  auto child = std::make_unique<PlatformChild>();
  ::unsetenv("WRENFIELD_IPX_ADDRESS");
  return child;
}

std::unique_ptr<IpxSocket> bound(SOCKADDR_IPX at, bool broadcast = false) {
  auto s = std::make_unique<IpxSocket>();
  EXPECT_EQ(s->bind(at), 0);
  s->setPacketType(17);
  s->setBroadcast(broadcast);
  return s;
}

std::string receive(IpxSocket& s, std::size_t capacity = 2048, int* error = nullptr) {
  if (s.waitReadable(10'000) != 1) {
    ADD_FAILURE() << "nothing arrived";
    return {};
  }
  std::vector<char> buffer(capacity);
  const IpxIo r = s.receiveFrom(buffer.data(), buffer.size(), nullptr, nullptr);
  if (error) *error = r.error;
  return std::string(buffer.data(), static_cast<std::size_t>(r.bytes));
}

TEST(Ipx, RoundTripCarriesTheExactHeader) {
  // A bare UDP socket posing as 00000001:0000C0001122:5000 sees the wire bytes.
  const wf::UniqueFd udp(::socket(AF_INET, SOCK_DGRAM, 0));
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof at;
  ASSERT_EQ(::bind(udp.get(), reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
  const timeval bounded{10, 0};
  ::setsockopt(udp.get(), SOL_SOCKET, SO_RCVTIMEO, &bounded, sizeof bounded);
  ::getsockname(udp.get(), reinterpret_cast<sockaddr*>(&at), &len);
  const auto dir = *runtimePath("ipx");
  ASSERT_TRUE(ensurePrivateDir(dir, true, nullptr));
  auto lock = FileLock::open(dir / "00000001-0000C0001122-5000");
  ASSERT_TRUE(lock && lock->tryShared());
  std::ofstream(dir / "00000001-0000C0001122-5000") << ntohs(at.sin_port);

  auto child = childWithNode("0000C0AABBCC");
  ASSERT_EQ(child->ipxBind("a", "00000001:0000C0AABBCC:4321"), "00000001:0000C0AABBCC:4321");
  ASSERT_EQ(child->ipxSend("a", "00000001:0000C0001122:5000", "01020304"), 4);
  std::uint8_t wire[64];
  const ssize_t n = ::recv(udp.get(), wire, sizeof wire, 0);
  ASSERT_EQ(n, 34);
  EXPECT_EQ(testing::toHex({reinterpret_cast<char*>(wire), 34}),
            "FF FF 00 22 00 11 00 00 00 01 00 00 C0 00 11 22 50 00 "
            "00 00 00 01 00 00 C0 AA BB CC 43 21 01 02 03 04");

  // The answer goes back through a real socket: source and type as sent.
  auto self = bound(address("00000000", "000000000000", 0));
  SOCKADDR_IPX name{};
  ASSERT_EQ(self->localName(name), 0);
  const std::uint16_t number = IpxAddress::from(name).socket;
  EXPECT_GE(number, kIpxFirstDynamicSocket);
  EXPECT_LE(number, kIpxLastDynamicSocket);
  char to[32];
  std::snprintf(to, sizeof to, "00000001:%s:%04X", kOwnNode, number);
  ASSERT_EQ(child->ipxSend("a", to, "CAFE"), 2);
  char buffer[16];
  SOCKADDR_IPX from{};
  std::uint8_t type = 0;
  ASSERT_EQ(self->waitReadable(10'000), 1);
  const IpxIo r = self->receiveFrom(buffer, sizeof buffer, &from, &type);
  EXPECT_EQ(r.bytes, 2);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(type, 17);
  EXPECT_EQ(IpxAddress::from(from), IpxAddress::from(address("00000001", "0000C0AABBCC", 0x4321)));
}

TEST(Ipx, DatagramsWhoseHeaderDisagreesAreDroppedWithATrace) {
  std::vector<std::string> traces;
  setPlatformTraceSink([&](std::string_view line) { traces.emplace_back(line); });
  auto self = bound(address("00000001", kOwnNode, 0x5100));
  const auto dir = *runtimePath("ipx");
  std::ifstream file(dir / (std::string("00000001-") + kOwnNode + "-5100"));
  int port = 0;
  file >> port;
  ASSERT_GT(port, 0);
  const wf::UniqueFd udp(::socket(AF_INET, SOCK_DGRAM, 0));
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  auto send = [&](const std::string& bytes) {
    ::sendto(udp.get(), bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  };
  const std::string header = "00 11 00 00 00 01 02 00 57 46 00 01 51 00 00 00 00 01 00 00 00 00 00 09 40 00";
  send(hex("FF FF 00 30 " + header + " AA BB"));  // length says 48, 32 arrived
  send(hex("12 34 00 20 " + header + " AA BB"));  // checksum is not FFFF
  send(hex("FF FF"));                             // not even a header
  send(hex("FF FF 00 20 " + header + " CC DD"));  // good
  EXPECT_EQ(receive(*self), hex("CC DD"));
  setPlatformTraceSink({});
  EXPECT_EQ(traces.size(), 3u);
}

TEST(Ipx, BroadcastReachesItsNetworkAndNumberOnlyNotTheSender) {
  auto a = childWithNode("0000C0000001");
  auto b = childWithNode("0000C0000002");
  auto other = childWithNode("0000C0000003");
  a->ipxBind("s", "00000001:0000C0000001:83C1");
  b->ipxBind("s", "00000001:0000C0000002:83C1");
  other->ipxBind("net2", "00000002:0000C0000003:83C1");
  other->ipxBind("othernumber", "00000001:0000C0000003:861C");

  auto sender = bound(address("00000001", kOwnNode, 0x83C1));
  const std::string query = "Query";
  // Refused without the option; nothing goes out.
  EXPECT_EQ(sender->sendTo(query.data(), query.size(), address("00000001", "FFFFFFFFFFFF", 0x83C1)).error,
            WSAEACCES);
  sender->setBroadcast(true);
  // Network 0 is the sender's own.
  EXPECT_EQ(sender->sendTo(query.data(), query.size(), address("00000000", "FFFFFFFFFFFF", 0x83C1)).bytes, 5);

  const IpxDatagram expected{"00000001:" + std::string(kOwnNode) + ":83C1", 17, hex("51 75 65 72 79")};
  EXPECT_EQ(a->ipxReceive("s"), expected);
  EXPECT_EQ(b->ipxReceive("s"), expected);
  // The others' first datagram is a later unicast marker: the broadcast never reached them.
  const std::string marker = "4D";
  EXPECT_EQ(sender->sendTo(marker.data(), 1, address("00000002", "0000C0000003", 0x83C1)).error, 0);
  EXPECT_EQ(sender->sendTo(marker.data(), 1, address("00000001", "0000C0000003", 0x861C)).error, 0);
  const IpxDatagram markerFromMe{"00000001:" + std::string(kOwnNode) + ":83C1", 17, hex("34")};
  EXPECT_EQ(other->ipxReceive("net2"), markerFromMe);
  EXPECT_EQ(other->ipxReceive("othernumber"), markerFromMe);
  // Nor the sender itself.
  EXPECT_EQ(sender->waitReadable(0), 0);

  // A broadcast to network 2 reaches only network 2.
  a->ipxBind("b", "00000001:0000C0000001:4444", true);
  EXPECT_EQ(a->ipxSend("b", "00000002:FFFFFFFFFFFF:83C1", "2222"), 2);
  EXPECT_EQ(other->ipxReceive("net2"), (IpxDatagram{"00000001:0000C0000001:4444", 17, hex("22 22")}));
  EXPECT_EQ(b->ipxSend("s", "00000001:0000C0000001:83C1", "33"), 1);
  EXPECT_EQ(a->ipxReceive("s"), (IpxDatagram{"00000001:0000C0000002:83C1", 17, hex("33")}));
}

TEST(Ipx, ABurstOfRepliesFromAnotherProcessArrivesWhole) {
  auto receiver = bound(address("00000001", kOwnNode, 0x5500));
  receiver->setReceiveBuffer(262144);
  auto child = childWithNode("0000C0000005");
  child->ipxBind("s", "00000001:0000C0000005:83C1");
  child->ipxBurst("s", "00000001:" + std::string(kOwnNode) + ":5500", 150);
  for (int i = 0; i < 150; ++i) {
    const std::string d = receive(*receiver);
    ASSERT_EQ(d.size(), 90u);
    EXPECT_EQ(static_cast<std::uint8_t>(d[0]), i);
  }
}

TEST(Ipx, OversizeSendFailsAndLongDatagramsAreTruncated) {
  auto receiver = bound(address("00000001", kOwnNode, 0x5200));
  auto sender = bound(address("00000001", kOwnNode, 0x5201));
  const SOCKADDR_IPX to = address("00000001", kOwnNode, 0x5200);
  const std::string big(1471, 'x');
  EXPECT_EQ(sender->sendTo(big.data(), big.size(), to).error, WSAEMSGSIZE);
  EXPECT_EQ(sender->sendTo(big.data(), 1470, to).bytes, 1470);
  int error = 0;
  EXPECT_EQ(receive(*receiver, 2048, &error).size(), 1470u);
  EXPECT_EQ(error, 0);

  ::setenv("WRENFIELD_IPX_MAXDG", "16", 1);
  EXPECT_EQ(sender->sendTo(big.data(), 17, to).error, WSAEMSGSIZE);
  ::unsetenv("WRENFIELD_IPX_MAXDG");

  const std::string twenty = "0123456789abcdefghij";
  EXPECT_EQ(sender->sendTo(twenty.data(), twenty.size(), to).bytes, 20);
  EXPECT_EQ(receive(*receiver, 10, &error), "0123456789");
  EXPECT_EQ(error, WSAEMSGSIZE);
}

TEST(Ipx, UnicastToNobodyIsLostSilently) {
  auto sender = bound(address("00000001", kOwnNode, 0));
  EXPECT_EQ(sender->sendTo("x", 1, address("00000001", "0000C0FFFFFF", 0x83C1)).bytes, 1);
}

TEST(Ipx, LiveAddressIsInUseAndAKilledProcessesNameIsReclaimed) {
  auto child = childWithNode("0000C0000009");
  child->ipxBind("s", "00000001:0000C0000009:5300");
  IpxSocket mine;
  EXPECT_EQ(mine.bind(address("00000001", "0000C0000009", 0x5300)), WSAEADDRINUSE);
  EXPECT_EQ(mine.bind(address("00000001", "0000C0000009", 0x5300)), WSAEADDRINUSE);
  child->process().kill(SIGKILL);
  EXPECT_EQ(mine.bind(address("00000001", "0000C0000009", 0x5300)), 0);
  EXPECT_EQ(mine.bind(address("00000001", "0000C0000009", 0x5301)), WSAEINVAL) << "bound once only";
}

TEST(Ipx, BlockedReceiveWakesOnStopAndOnClose) {
  auto s = bound(address("00000001", kOwnNode, 0));
  std::stop_source stop;
  IpxIo stopped;
  std::thread waiter([&] {
    char b[8];
    stopped = s->receiveFrom(b, sizeof b, nullptr, nullptr, stop.get_token());
  });
  stop.request_stop();
  waiter.join();
  EXPECT_EQ(stopped.error, WSAEINTR);

  IpxIo closed;
  std::atomic<bool> started{false};
  std::thread reader([&] {
    char b[8];
    started = true;
    closed = s->receiveFrom(b, sizeof b, nullptr, nullptr);
  });
  while (!started) std::this_thread::yield();
  s->close();
  reader.join();
  EXPECT_TRUE(closed.error == WSAEINTR || closed.error == WSAENOTSOCK);
  EXPECT_EQ(s->sendTo("x", 1, address("00000001", kOwnNode, 0x5400)).error, WSAENOTSOCK);
  // A reader coming back after the close hears "not a socket", the answer
  // its loop ends on, not "not bound", which a reader would wait out for ever.
  char b[8];
  EXPECT_EQ(s->receiveFrom(b, sizeof b, nullptr, nullptr).error, WSAENOTSOCK);
}

}  // namespace
}  // namespace wf
