#include "exchange.h"

#include <algorithm>
#include <cstring>

#include "broker/net_transport.h"
#include "nw_log.h"
#include "platform/clock.h"
#include "transports/common/adapter_wire.h"

namespace wf::netware {

namespace wire = ::wf::adapter;

void NpaAssembler::add(View datagram) {
  if (datagram.size() < wire::kNpaHeader + 1) return;
  const std::uint16_t number = wire::fragmentNumber(datagram);
  if (number >= wire::kMaxFragments || have_[number]) return;
  const View piece = datagram.subspan(wire::kFragmentHeader);
  if (used_ + piece.size() > wire::kFragmentArea) return;
  pieces_[number].assign(piece.begin(), piece.end());
  have_[number] = true;
  used_ += piece.size();
  if (!(datagram[5] & wire::kNpaMore)) last_ = std::max(last_, static_cast<int>(number));
}

bool NpaAssembler::complete() const {
  if (last_ < 0) return false;
  for (int i = 0; i <= last_; ++i)
    if (!have_[static_cast<std::size_t>(i)]) return false;
  return true;
}

std::uint32_t NpaAssembler::join(std::span<std::uint8_t> out) const {
  if (!complete()) return 0;
  std::size_t total = 0;
  for (int i = 0; i <= last_; ++i) total += pieces_[static_cast<std::size_t>(i)].size();
  if (total > out.size()) return 0;
  std::size_t at = 0;
  for (int i = 0; i <= last_; ++i) {
    const Bytes& p = pieces_[static_cast<std::size_t>(i)];
    std::copy(p.begin(), p.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
    at += p.size();
  }
  return static_cast<std::uint32_t>(total);
}

bool needsSecondDatagram(View first) {
  return wire::tagIs(first, wire::kTagDefinedServers) ||
         (wire::tagIs(first, wire::kTagServerListing) && first.size() > wire::listing::kCount &&
          first[wire::listing::kCount] > wire::listing::kFirstDatagramNames);
}

namespace {

struct Received {
  bool arrived = false;  // false: the deadline passed
  IpxIo io;
  SOCKADDR_IPX from{};
};

// The next datagram before the deadline (a truncated one fills the buffer).
Received receiveBefore(IpxSocket& socket, Bytes& buffer, std::chrono::steady_clock::time_point deadline) {
  Received r;
  const int ms = msUntil(deadline);
  // waitReadable scales what it is given: hand it system milliseconds.
  if (ms == 0 || socket.waitReadable(static_cast<std::uint32_t>(ms / std::max(timeScale(), 1e-9))) != 1)
    return r;
  r.arrived = true;
  r.io = socket.receiveFrom(buffer.data(), buffer.size(), &r.from, nullptr);
  if (r.io.error == WSAEMSGSIZE) r.io.error = 0;
  return r;
}

// Reads the text reply into r.reply until the deadline; its length, 0 when
// none came whole.
std::uint32_t readTextReply(IpxSocket& socket, const ExchangeRequest& r,
                            std::chrono::steady_clock::time_point deadline) {
  const std::uint32_t capacity = *r.replyLength;
  std::uint32_t length = 0;
  Bytes datagram(ipxMaxDatagram());
  for (int part = 0; part < 2; ++part) {
    const Received in = receiveBefore(socket, datagram, deadline);
    if (!in.arrived) return 0;
    if (in.io.error) {
      nwLog().write("ReadLPAResponse failed in recvfrom() with return code 0x%x\n", in.io.error);
      return 0;
    }
    const std::uint32_t take =
        std::min<std::uint32_t>(capacity - length, static_cast<std::uint32_t>(in.io.bytes));
    std::memcpy(r.reply + length, datagram.data(), take);
    length += take;
    if (r.source && part == 0) *r.source = IpxAddress::from(in.from);
    if (part == 0 && !needsSecondDatagram(View(datagram.data(), static_cast<std::size_t>(in.io.bytes))))
      break;
  }
  return length;
}

std::uint32_t readNpaReply(IpxSocket& socket, const ExchangeRequest& r,
                           std::chrono::steady_clock::time_point deadline) {
  NpaAssembler pieces;
  Bytes datagram(ipxMaxDatagram());
  while (!pieces.complete()) {
    const Received in = receiveBefore(socket, datagram, deadline);
    if (!in.arrived) return 0;
    if (in.io.error) {
      nwLog().write("ReadNPAResponse failed in recvfrom() with return code 0x%x\n", in.io.error);
      continue;
    }
    if (r.source) *r.source = IpxAddress::from(in.from);
    pieces.add(View(datagram.data(), static_cast<std::size_t>(in.io.bytes)));
  }
  return pieces.join(std::span<std::uint8_t>(r.reply, *r.replyLength));
}

}  // namespace

int sendToTheBox(const ExchangeRequest& r) {
  IpxSocket own;
  IpxSocket* socket = r.shared;
  if (!socket) {
    if (own.error() || own.bind(IpxAddress{}.toSockaddr())) return NET_FAIL;
    own.setPacketType(wire::kPacketType);
    socket = &own;
  }
  const SOCKADDR_IPX to = r.to.toSockaddr();
  if (r.hostPacketSizeFirst) {
    const Bytes hps = wire::hostPacketSize();
    socket->sendTo(hps.data(), hps.size(), to);
  }
  if (socket->sendTo(r.request.data(), r.request.size(), to).error) return NET_WRITEFAIL;
  if (r.timeoutMs == 0 || r.shared || !r.reply || !r.replyLength) return NET_OKAY;
  // The reply is read on this thread: the deadline bounds it as a reader
  // thread's wait would.
  const auto deadline = deadlineAfter(r.timeoutMs);
  const std::uint32_t length =
      r.npa ? readNpaReply(*socket, r, deadline) : readTextReply(*socket, r, deadline);
  *r.replyLength = length;
  if (length == 0) return NET_READFAIL;
  return r.npa ? NET_OKAY : wire::commandStatus(View(r.reply, length));
}

}  // namespace wf::netware
