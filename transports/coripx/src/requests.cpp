// NetWrite's request path (a printer request and its "LPA NPA" reply) and
// the back channel an adapter writes to during a job.
#include <algorithm>
#include <cstring>

#include "coripx_transport.h"
#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "transports/common/adapter_layout.h"

namespace wf::coripx {
namespace {

namespace bidiwire = ::wf::adapter::coripx;
constexpr std::uint32_t kBackChannelScanMs = 500;
constexpr std::size_t kBackChannelShortest = 38;
constexpr std::uint32_t kBackChannelKeep = 7;  // pieces of this L or less carry no data worth keeping

bool sameSender(const IpxAddress& a, const IpxAddress& b) {
  return a.network == b.network && a.node == b.node && a.socket == b.socket;
}

}  // namespace

std::int32_t CorIpx::sendBidi(std::uint16_t id, const std::uint8_t* data, std::uint32_t length,
                              std::uint8_t* reply, std::uint32_t* replyLength, std::uint16_t command,
                              std::uint16_t* status) {
  if (!data && length) return 0;
  IPXPORT* port = FindPortById(id);
  if (!port) {
    log_.write("IPX, SendBidi Bad hID = %d\n", id);
    return 0;
  }
  const std::uint8_t number = nextPacketNumber(port->RequestNumber);
  Bytes request = headerWith(bidiwire::kFnRequest, kindFormByte(*port), number);
  request.insert(request.end(), data, data + length);
  const std::uint8_t n4 = port->Address.node[4], n5 = port->Address.node[5];
  if (port->InJob)
    log_.write("IPXSendbidi; ID = %d, Func = %d,Packet Num = %x, Addr is %1x %1x\n", id, command, number, n4, n5);
  if (SendAcknowledged(*port, request.data(), request.size(), false) != 0) {
    log_.write("Didn't get an Ack on write for %x%x", n4, n5);
    return 0;
  }
  if (!reply || !replyLength) return static_cast<std::int32_t>(length);

  Bytes received(std::size_t{*replyLength} + 2);
  std::uint32_t got = static_cast<std::uint32_t>(received.size()), tag = 0;
  const int r = WaitTaggedReply(*port, received.data(), got, bidiwire::kTagNpa, bidiwire::kTagNpa, tag, number);
  // The reply goes to the caller without its length field.
  const std::uint32_t out = got > 2 ? got - 2 : 0;
  if (out) std::memcpy(reply, received.data() + 2, out);
  *replyLength = out;
  std::uint16_t result = NET_STATUS_COMPLETE;
  if (r == kReplySilent) {
    log_.write("Timeout on Read in sendbidi for id = %d, addr = %x%x", id, n4, n5);
    result = NET_STATUS_UNREADABLE;
  } else if (r == kReplyBufferFull) {
    result = NET_STATUS_TRUNCATED;
  }
  if (status) *status = result;
  return static_cast<std::int32_t>(length);
}

void CorIpx::startBackChannel(IPXPORT& port) {
  if (port.BackChannelRunning.exchange(true)) return;
  // An earlier job's reader has ended: joining it is immediate.
  port.BackChannelThread = Thread("coripx-backchan", [this, &port](std::stop_token stop) {
    readBackChannel(port, stop);
  });
}

void CorIpx::readBackChannel(IPXPORT& port, std::stop_token stop) {
  auto select = [&port](const Received& d) {
    const auto& b = d.bytes;
    return b.size() >= kBackChannelShortest && (b[bidiwire::kFunction] & bidiwire::kReplyJob) &&
           b[bidiwire::kNumber] == 0 && (b[bidiwire::kPort] & 0x0F) == port.PortNumber &&
           sameSender(d.from, port.Address) &&
           tagIs(b.data() + bidiwire::kTag, b.size() - bidiwire::kTag, bidiwire::kTagBackChannel);
  };
  while (port.InJob && !stop.stop_requested()) {
    const std::uint64_t seen = pool_.generation();
    for (const Received& d : pool_.takeAll(select)) {
      const std::size_t size = d.bytes.size();
      const std::uint32_t L = loadBe16(d.bytes.data() + bidiwire::kLength);
      if (L < 2 || L > size - bidiwire::kLength) {
        log_.write("Back channel data of %d bytes with length %d dropped", static_cast<int>(size),
                   static_cast<int>(L));
        continue;
      }
      if (L <= kBackChannelKeep) continue;
      std::lock_guard g(port.backChannelLock);
      port.BackChannel.emplace_back(d.bytes.begin() + bidiwire::kData, d.bytes.begin() + bidiwire::kData + (L - 2));
    }
    pool_.waitNewer(seen, kBackChannelScanMs, stop);
  }
  {
    std::lock_guard g(port.backChannelLock);
    port.BackChannel.clear();
  }
  port.BackChannelRunning = false;
}

int CorIpx::TakeBackChannelData(IPXPORT& port, std::uint16_t key, std::uint32_t& length, std::uint8_t* buffer) {
  std::lock_guard g(port.backChannelLock);
  const auto it = std::find_if(port.BackChannel.begin(), port.BackChannel.end(), [key](const Bytes& e) {
    return e.size() > 5 && e[4] == (key >> 8) && e[5] == (key & 0xFF);
  });
  if (it == port.BackChannel.end()) return 1;
  const std::uint32_t n = std::min(length, static_cast<std::uint32_t>(it->size()));
  if (n) std::memcpy(buffer, it->data(), n);
  length = n;
  port.BackChannel.erase(it);
  return 0;
}

}  // namespace wf::coripx
