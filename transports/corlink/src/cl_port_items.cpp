// The information items of a port, and the workstation's items that read
// the port table. A caller's buffer shorter than the item's record answers
// 1 with nothing written; so does a server's reply shorter than what the
// item reads from it.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "corlink_transport.h"
#include "transports/common/ebcdic.h"

namespace wf::corlink {
namespace {

constexpr std::uint16_t kAdapterItemSize = 70;
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

// EBCDIC with the full table (0x4F and 0x7D kept), `n` bytes, terminated.
void ebcdicField(char* out, const std::uint8_t* in, std::size_t n) {
  const std::string text = adapter::ebcdicText(in, n, adapter::EbcdicTable::IpxModelTag);
  std::memcpy(out, text.c_str(), text.size() + 1);
}

void swapBe16(std::uint8_t* at) {
  std::swap(at[0], at[1]);
}

// The adapter record from reply R; false when R is shorter than what the port's class and kind read.
bool adapterRecord(const PortContext& port, bool admin, const Bytes& r, std::uint8_t* out) {
  const auto cls = port.record.adapterClass;
  const std::uint8_t kind = port.itemPortKind();
  std::size_t need = cls == 8 ? 31 : 26;
  if (kind == 2) need = std::max<std::size_t>(need, 37);
  if (kind == 4) need = std::max<std::size_t>(need, 47);
  if (r.size() < need) return false;
  std::memset(out, 0, kAdapterItemSize);
  out[0] = (cls == 8 && port.record.queueName.empty()) ? 0 : (cls == 2 || cls == 4) ? 7 : 5;
  if (admin) out[0] |= 0x10;
  out[1] = static_cast<std::uint8_t>(cls);
  out[2] = kind;
  out[3] = r[0];
  out[4] = r[1] == 0 ? 1 : (r[1] & 0x7F) == 1 ? (r[1] & 0x82) | 2 : (r[1] & 0x84) | 4;
  out[5] = r[2];
  std::memcpy(out + 6, port.record.node, 6);
  std::memcpy(out + 12, r.data() + 3, 6);
  auto* text = reinterpret_cast<char*>(out);
  if (cls == 8) {
    ebcdicField(text + 18, r.data() + 9, 3);
    if (out[5] & 0x04) std::strcat(text + 18, ".01");
  } else {
    std::snprintf(text + 18, 12, "%d.%d.%d", r[9], r[10], r[11]);
  }
  if (cls == 2 || cls == 4)
    std::snprintf(text + 30, 8, "%7.7s", reinterpret_cast<const char*>(r.data() + 12));
  else
    ebcdicField(text + 30, r.data() + 12, 7);
  if (cls == 8) {
    std::memcpy(text + 38, "7390-", 5);
    ebcdicField(text + 43, r.data() + 28, 3);
  } else if (cls == 1 || cls == 16) {
    ebcdicField(text + 38, r.data() + 19, 7);
  } else {
    std::snprintf(text + 38, 8, "%7.7s", reinterpret_cast<const char*>(r.data() + 19));
  }
  if (kind == 2) {
    std::memcpy(out + 64, r.data() + 31, 6);
    swapBe16(out + 66);
    swapBe16(out + 68);
  } else if (kind == 4) {
    std::memcpy(out + 48, r.data() + 31, 16);
    for (const int at : {48, 50, 60, 62}) swapBe16(out + at);
  }
  return true;
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
  if (item != 1 && item != 129 && item != 130 && item != 131 && item != 135) return NET_BADCMD;
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
    case 129:
      if (!roomFor(buffer, length, kAdapterItemSize)) return NET_FAIL;
      if (exchange(*server, &block, {}, kCmdAdapter, &reply) != 0) return NET_FAIL;
      return adapterRecord(*port, server->admin, reply, out) ? NET_OKAY : NET_FAIL;
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
