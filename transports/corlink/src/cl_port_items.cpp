// The information items of a port, and the workstation's items that read
// the port table. A caller's buffer shorter than the item's record answers
// 1 with nothing written; so does a server's reply shorter than what the
// item reads from it.
#include <cstring>

#include "corlink_transport.h"

namespace wf::corlink {
namespace {

constexpr std::uint16_t kNicknameItemSize = kNicknameLimit + 1;
constexpr std::uint16_t kAdvancedItemSize = 144;
constexpr std::size_t kAdvancedReplyNeeded = 143;
constexpr std::uint16_t kPasswordItemSize = 8;
constexpr std::uint16_t kPortAccessItemSize = 10;
constexpr std::uint16_t kWorkstationAccessItemSize = 4;

bool roomFor(const void* buffer, const std::uint16_t* length, std::uint16_t need) {
  return buffer && (!length || *length >= need);
}

void copyReplyText(std::uint8_t* out, const Bytes& reply, std::size_t at, std::size_t width) {
  std::size_t n = 0;
  while (n + 1 < width && at + n < reply.size() && reply[at + n]) ++n;
  if (at < reply.size()) std::memcpy(out, reply.data() + at, n);
  out[n] = 0;
}

}  // namespace

std::int32_t CorLinkTransport::workstationAccess(void* buffer, std::uint16_t* length) {
  if (!roomFor(buffer, length, kWorkstationAccessItemSize)) return NET_FAIL;
  bool anyServer = false;
  {
    std::lock_guard list(servers_.listLock());
    anyServer = !servers_.names().empty();
  }
  static_cast<std::uint8_t*>(buffer)[3] = (isAdmin() || !anyServer) ? 1 : 0;
  return NET_OKAY;
}

std::int32_t CorLinkTransport::knownAddress(const void* buffer, std::uint32_t length) {
  if (!buffer || length < 6) return NET_FAIL;
  bool known = false;
  ports_.each([&](PortContext& p) { known = known || std::memcmp(p.record.node, buffer, 6) == 0; });
  return known ? NET_ADDRESS_KNOWN : NET_ADDRESS_UNKNOWN;
}

std::int32_t CorLinkTransport::portGetInfo(std::uint16_t portId, std::uint16_t item, void* buffer,
                                           std::uint16_t* length) {
  const auto port = ports_.get(portId);
  if (!port) {
    log_.write(kLogLoad, {"NetGetInfo() error (invalid handle ", portIdText(portId), ")\r\n"});
    return NET_BADID;
  }
  if (item != 1 && item != 130 && item != 131 && item != 135) return NET_BADCMD;
  ServerEntry* server = serverOf(*port);
  if (!server) {
    log_.write(kLogLoad, {"NetGetInfo() error (no server available)\r\n"});
    return NET_FAIL;
  }
  auto* out = static_cast<std::uint8_t*>(buffer);
  const PortBlock block = port->block();
  Bytes reply;
  switch (item) {
    case 1: {
      if (!roomFor(buffer, length, 1)) return NET_FAIL;
      if (exchange(*server, &block, {}, kCmdNickname, &reply) != 0) return NET_FAIL;
      const std::size_t width = std::min<std::size_t>(kNicknameItemSize, length ? *length : kNicknameItemSize);
      copyReplyText(out, reply, 0, width);
      return NET_OKAY;
    }
    case 130:
      if (!roomFor(buffer, length, kAdvancedItemSize)) return NET_FAIL;
      if (exchange(*server, &block, {}, kCmdAdvanced, &reply) != 0 || reply.size() < kAdvancedReplyNeeded)
        return NET_FAIL;
      std::memset(out, 0, kAdvancedItemSize);
      out[0] = 12;
      std::memcpy(out + 4, reply.data() + 128, 12);
      out[1] = reply[140] | 1;
      out[2] = reply[141] | 1;
      out[3] = reply[142];
      copyReplyText(out + 16, reply, 0, 64);
      copyReplyText(out + 80, reply, 64, 64);
      return NET_OKAY;
    case 131:
      if (!roomFor(buffer, length, kPasswordItemSize)) return NET_FAIL;
      if (exchange(*server, &block, {}, kCmdPassword, &reply) != 0 || reply.size() < kPasswordItemSize)
        return NET_FAIL;
      std::memcpy(out, reply.data(), kPasswordItemSize);
      return NET_OKAY;
    default: {  // 135
      if (!roomFor(buffer, length, kPortAccessItemSize)) return NET_FAIL;
      out[0] = static_cast<std::uint8_t>(port->record.adapterClass);
      out[1] = port->itemPortKind();
      out[2] = port->kind;
      out[3] = server->admin ? 1 : 0;
      std::memcpy(out + 4, &port->record.network, 4);
      std::memcpy(out + 8, &port->record.socket, 2);
      return NET_OKAY;
    }
  }
}

std::int32_t CorLinkTransport::portSetInfo(std::uint16_t portId, std::uint16_t item, const void* buffer,
                                           std::uint32_t length) {
  if (item == 137) return knownAddress(buffer, length);
  const auto port = ports_.get(portId);
  if (!port) {
    log_.write(kLogLoad, {"NetSetInfo() error (invalid handle ", portIdText(portId), ")\r\n"});
    return NET_BADID;
  }
  return NET_BADCMD;
}

}  // namespace wf::corlink
