#pragma once
// IPX datagram sockets, as the original platform's socket interface offers
// them. Each socket is a UDP socket on 127.0.0.1 plus a name file
// "<net>-<node>-<socket>" in the segment directory below the runtime
// directory, holding its UDP port and held with a liveness lock; a file
// nobody holds is stale and removed by whoever finds it. Every payload is a
// real 30-byte IPX header and the data.
//
// Unicast to an address nobody holds is lost silently. Broadcast (node
// FF:FF:FF:FF:FF:FF) needs the broadcast option and reaches every socket of
// the destination network with that socket number, never the sender;
// network 0 names the sender's own network.
//
// The process's address: WRENFIELD_IPX_ADDRESS ("NNNNNNNN:HHHHHHHHHHHH"),
// default network 00000001 and a fixed workstation node. The largest data:
// 1470 bytes, or WRENFIELD_IPX_MAXDG.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stop_token>

#include "platform/unique_fd.h"

namespace wf {

#pragma pack(push, 1)
// The 14-byte socket address; the socket number in network order.
struct SOCKADDR_IPX {
  std::uint16_t sa_family;
  std::uint8_t sa_netnum[4];
  std::uint8_t sa_nodenum[6];
  std::uint16_t sa_socket;
};
#pragma pack(pop)
static_assert(sizeof(SOCKADDR_IPX) == 14);

constexpr std::uint16_t AF_IPX_FAMILY = 6;

// Error numbers of the original socket interface.
constexpr int WSAEINTR = 10004;   // a blocking call woken by stop or close
constexpr int WSAEACCES = 10013;  // broadcast without the broadcast option
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;    // bound twice, or receive before bind
constexpr int WSAENOTSOCK = 10038;  // the socket is closed
constexpr int WSAEMSGSIZE = 10040;  // too long to send; truncated on receive
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;  // no segment directory or UDP socket
constexpr int WSAETIMEDOUT = 10060;

constexpr std::size_t kIpxHeaderSize = 30;
constexpr std::uint16_t kIpxFirstDynamicSocket = 0x4000;
constexpr std::uint16_t kIpxLastDynamicSocket = 0x7FFF;

struct IpxAddress {
  std::array<std::uint8_t, 4> network{};
  std::array<std::uint8_t, 6> node{};
  std::uint16_t socket = 0;  // host order

  static IpxAddress from(const SOCKADDR_IPX& a);
  SOCKADDR_IPX toSockaddr() const;
  bool broadcast() const;
  friend bool operator==(const IpxAddress&, const IpxAddress&) = default;
};

// The process's own network and node.
IpxAddress ipxProcessAddress();
// Largest data of one datagram.
std::size_t ipxMaxDatagram();

// bytes: data bytes moved; error: 0 or one of the numbers above. A truncated
// receive moves the buffer's size and reports WSAEMSGSIZE.
struct IpxIo {
  int bytes = 0;
  int error = 0;
};

class IpxSocket {
 public:
  // Opens the UDP socket; error() tells when that failed.
  IpxSocket();
  ~IpxSocket();
  IpxSocket(const IpxSocket&) = delete;
  IpxSocket& operator=(const IpxSocket&) = delete;

  int error() const { return openError_; }

  // Network 0: the process's; node 0: the process's; socket 0: a free one
  // from 0x4000-0x7FFF. 0 or an error number.
  int bind(const SOCKADDR_IPX& address);
  int localName(SOCKADDR_IPX& out) const;

  // Options.
  void setPacketType(std::uint8_t type) { packetType_ = type; }
  std::uint8_t packetType() const { return packetType_; }
  void setBroadcast(bool on) { broadcast_ = on; }
  bool broadcastAllowed() const { return broadcast_; }
  int setReceiveBuffer(int bytes);  // a hint: never below the system's default
  // The bound (or the process's) network and node.
  IpxAddress localIpxAddress() const;

  // Binds a dynamic socket first when unbound.
  IpxIo sendTo(const void* data, std::size_t length, const SOCKADDR_IPX& to);
  // Blocks until a datagram arrives, `stop` is requested or the socket is
  // closed (WSAEINTR). `from` and `packetType` may be null.
  IpxIo receiveFrom(void* buffer, std::size_t capacity, SOCKADDR_IPX* from, std::uint8_t* packetType,
                    std::stop_token stop = {});
  // Waits up to `ms` system milliseconds for a datagram: 1 readable, 0 timed
  // out, or -WSAEINTR when stopped or closed.
  int waitReadable(std::uint32_t ms, std::stop_token stop = {});
  // Wakes blocked calls on other threads; later calls fail with WSAENOTSOCK.
  void close();

 private:
  struct Name;
  int bindLocked(IpxAddress address);
  bool enter();
  void leave();

  UniqueFd fd_;
  int openError_ = 0;
  std::atomic<std::uint8_t> packetType_{0};
  std::atomic<bool> broadcast_{false};
  std::unique_ptr<Name> name_;
  IpxAddress bound_;

  std::mutex mutex_;
  std::stop_source closing_;
  int busy_ = 0;  // calls using fd_
  std::condition_variable_any idle_;
};

}  // namespace wf
