// NetGetInfo and NetSetInfo: the CorLink nicknames kept in the registry,
// the adapter's own name, its password and what the port record knows.
#include <algorithm>
#include <chrono>
#include <cctype>
#include <cstring>
#include <string>

#include "coripx_transport.h"
#include "npa_packets.h"
#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "platform/registry.h"
#include "platform/sync.h"
#include "transports/common/adapter_layout.h"
#include "transports/common/net_items.h"

namespace wf::coripx {
namespace {

namespace itemwire = ::wf::adapter::coripx;
using ::wf::net::NETADAPTERINFO;
using ::wf::net::NETADVANCEDSETTINGS;
using ::wf::net::NICKNAMEENTRY;

constexpr std::uint32_t kEventKindIpx = 4;
constexpr std::int32_t kNameInUse = -1135;  // 0xFB91
constexpr std::uint16_t kItemNicknames = 1, kItemAvailable = 2, kItemAddNickname = 3, kItemRemoveNickname = 4,
                        kItemName = 5, kItemAdvanced = 130, kItemPassword = 131, kItemInfo = 135, kItemReset = 136,
                        kItemAddressCheck = 137;
constexpr std::uint32_t kRestartPauseMs = 15'000, kRestartLimitMs = 120'000, kSendMoreEveryMs = 1000;
constexpr std::uint8_t kControlReset = 0x5E;
constexpr std::uint32_t kAdvancedSettleMs = 7500;
constexpr std::uint8_t kAdvancedControl = 12, kCorLinkAlwaysOn = 0x01, kProtocolBits = 0x0E;

void ipBytes(std::uint32_t value, std::uint8_t (&out)[4]) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}
constexpr std::uint32_t kNameWire = 25, kItemReplyRoom = 512;

// With a buffer and length, the length is lowered to the record and that
// much copied; else the callback gets the record.
void deliverRecord(const void* record, std::uint16_t size, void* buffer, std::uint16_t* length, NETITEMPROC proc) {
  if (buffer && length) {
    *length = std::min(*length, size);
    std::memcpy(buffer, record, *length);
  } else if (proc) {
    proc(record, size);
  }
}

// Port items: those that need a port id.
bool isPortItem(std::uint16_t code) {
  return code == kItemName || (code >= 129 && code <= 136);
}

bool sameNameIgnoringCase(const char* a, const std::string& b) {
  const std::size_t n = strnlen(a, 25);
  return n == b.size() && std::equal(b.begin(), b.end(), a, [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

void CorIpx::raiseEvent(std::uint32_t portId, std::uint32_t code, void* data) {
  std::lock_guard g(eventMutex_);
  if (eventProc_) eventProc_(kEventKindIpx, portId, code, data);
}

bool CorIpx::portBusy(IPXPORT& port) {
  waitForObject(port.JobLock, kInfinite);
  const bool busy = port.Captured || port.InJob;
  releaseSemaphore(port.JobLock, 1);
  return busy;
}

std::int32_t CorIpx::getInfo(std::uint16_t id, std::uint16_t code, void* buffer, std::uint16_t* length,
                             NETITEMPROC proc) {
  if (!ensureStarted()) return NET_FAIL;
  log_.write("NetGetinfo called parm = %d", code);
  std::lock_guard g(getInfoMutex_);
  if (code == kItemNicknames || code == kItemAvailable) {
    loadNicknames();
    std::vector<Nickname> names;
    {
      std::lock_guard n(nicknamesMutex_);
      names = nicknames_;
    }
    if (code == kItemNicknames) {
      for (const Nickname& n : names) {
        NICKNAMEENTRY e{};
        std::memcpy(e.Node, n.node.data(), 6);
        e.AdapterClass = n.adapterClass;
        e.PortKind = n.portKind;
        std::memcpy(e.Nickname, n.name.data(), std::min(n.name.size(), sizeof e.Nickname - 1));
        if (proc) proc(&e, sizeof e);
      }
      log_.write("NetGetinfo returning OKAY");
      return NET_OKAY;
    }
    int listed = 0;
    for (std::uint16_t portId = 1; IPXPORT* p = FindPortById(portId); ++portId) {
      NICKNAMEENTRY e{};
      {
        std::lock_guard record(p->recordLock);
        const bool named = std::any_of(names.begin(), names.end(), [&](const Nickname& n) {
          return n.node == p->Node && n.adapterClass == p->AdapterClass && n.portKind == p->PortKind;
        });
        if (named) continue;
        std::memcpy(e.Node, p->Node.data(), 6);
        e.AdapterClass = static_cast<std::uint8_t>(p->AdapterClass);
        e.PortKind = p->PortKind;
        std::memcpy(e.AdapterName, p->Name, sizeof p->Name);
      }
      log_.write("Ipx: Listed avail port of %s;%d\n", e.AdapterName, p->PortId);
      ++listed;
      if (proc) proc(&e, sizeof e);
    }
    log_.write("listed %d adapters", listed);
    return NET_OKAY;
  }
  if (!isPortItem(code)) {
    log_.write("NetGetinfo returning DEVERR_BADCMD");
    return NET_BADCMD;
  }
  IPXPORT* port = FindPortById(id);
  if (!port) {
    log_.write("NetGetinfo returning NET_BADID");
    return NET_BADID;
  }
  if (code == kItemAdvanced) {
    if (port->LpaAdapter) return NET_BADCMD;
    if (buffer && (!length || *length < sizeof(NETADVANCEDSETTINGS))) return NET_FAIL;
    std::optional<NETADVANCEDSETTINGS> settings = readAdvanced(*port);
    if (!settings) return NET_FAIL;
    if (buffer)
      std::memcpy(buffer, &*settings, sizeof *settings);
    else if (proc)
      proc(&*settings, sizeof *settings);
    return NET_OKAY;
  }
  std::lock_guard record(port->recordLock);
  switch (code) {
    case kItemName:
      deliverRecord(port->Name, kNameWire, buffer, length, proc);
      return NET_OKAY;
    case kItemPassword:
      if (port->LpaAdapter) break;
      deliverRecord(port->Password.data(), 8, buffer, length, proc);
      return NET_OKAY;
    case kItemInfo: {
      NETADAPTERINFO info{};
      info.AdapterClass = static_cast<std::uint8_t>(port->AdapterClass);
      // Only the serial port (0x0101) is type 4: parallel port 1 shares a bit with it.
      info.PortType = port->PortKind == 0 ? 1 : port->PortKind == 0x0101 ? 4 : 2;
      info.Media = port->NodeAsIs ? 1 : 2;
      info.Supervisor = 1;
      std::memcpy(info.Node, port->OtherAddress.data(), 6);
      deliverRecord(&info, sizeof info, buffer, length, proc);
      return NET_OKAY;
    }
    default:
      break;
  }
  log_.write("NetGetinfo returning DEVERR_BADCMD");
  return NET_BADCMD;
}

std::int32_t CorIpx::setInfo(std::uint16_t id, std::uint16_t code, const void* buffer, std::uint32_t length) {
  if (!ensureStarted()) return NET_FAIL;
  log_.write("NetSetInfo Parm = %d", code);
  std::lock_guard g(setInfoMutex_);
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  if (code == kItemAddNickname || code == kItemRemoveNickname)
    return setNickname(bytes, length, code == kItemAddNickname);
  if (code == kItemAddressCheck) {
    if (!bytes || length < 6) return NET_FAIL;
    for (std::uint16_t portId = 1; IPXPORT* p = FindPortById(portId); ++portId)
      if (std::equal(p->Node.begin(), p->Node.end(), bytes)) return NET_ADDRESS_KNOWN;
    return NET_ADDRESS_UNKNOWN;
  }
  if (!isPortItem(code)) return NET_BADCMD;
  IPXPORT* port = FindPortById(id);
  if (!port) return NET_BADID;
  if (code == kItemName) return setName(*port, static_cast<const char*>(buffer), length);
  if (code == kItemReset) return resetAdapter(*port);
  if (code == kItemAdvanced) {
    if (port->LpaAdapter) return NET_BADCMD;
    if (!bytes || length < sizeof(NETADVANCEDSETTINGS)) return NET_FAIL;
    NETADVANCEDSETTINGS in;
    std::memcpy(&in, bytes, sizeof in);
    return writeAdvanced(*port, in);
  }
  if (code == kItemPassword && !port->LpaAdapter) {
    if (!bytes || length < 8) return NET_FAIL;
    if (portBusy(*port)) return NET_FAIL;
    std::array<std::uint8_t, 8> password{};
    std::copy_n(bytes, 8, password.begin());
    const std::uint8_t number = nextPacketNumber(port->RequestNumber);
    Bytes request = headerWith(itemwire::kFnRequest, kindFormByte(*port), number);
    const Bytes npa = buildWrite8(password);
    request.insert(request.end(), npa.begin(), npa.end());
    port->Nibble6 = 1;
    const int sent = SendAcknowledged(*port, request.data(), request.size(), false);
    port->Nibble6 = 0;
    if (sent != 0) return NET_FAIL;
    std::uint8_t reply[kItemReplyRoom];
    std::uint32_t room = sizeof reply, tag = 0;
    if (WaitTaggedReply(*port, reply, room, itemwire::kTagNpa, itemwire::kTagNpa, tag, number) == kReplySilent)
      return NET_FAIL;
    std::lock_guard record(port->recordLock);
    port->Password = password;
    return NET_OKAY;
  }
  return NET_BADCMD;
}

// One NPA request of the port and its "LPA NPA" reply (its length field
// removed); nothing when either failed.
std::optional<Bytes> CorIpx::npaExchange(IPXPORT& port, const Bytes& npa, std::uint32_t settleMs) {
  const std::uint8_t number = nextPacketNumber(port.RequestNumber);
  Bytes request = headerWith(itemwire::kFnRequest, kindFormByte(port), number);
  request.insert(request.end(), npa.begin(), npa.end());
  port.Nibble6 = 1;
  const int sent = SendAcknowledged(port, request.data(), request.size(), false);
  port.Nibble6 = 0;
  if (sent != 0) return std::nullopt;
  if (settleMs) sleepFor(settleMs);
  Bytes reply(kItemReplyRoom);
  std::uint32_t room = static_cast<std::uint32_t>(reply.size()), tag = 0;
  const int r = WaitTaggedReply(port, reply.data(), room, itemwire::kTagNpa, itemwire::kTagNpa, tag, number);
  if (r == kReplySilent || room < 2) return std::nullopt;
  return Bytes(reply.begin() + 2, reply.begin() + room);
}

std::optional<NETADVANCEDSETTINGS> CorIpx::readAdvanced(IPXPORT& port) {
  const auto reply = npaExchange(port, buildReadSettings(), 0);
  const auto items = reply ? readVariableReply(*reply) : std::nullopt;
  const auto settings = items ? decodeSettings(*items) : std::nullopt;
  if (!settings) return std::nullopt;
  NETADVANCEDSETTINGS out{};
  out.Control = kAdvancedControl;
  out.ProtocolsActive = static_cast<std::uint8_t>(settings->enabled | kCorLinkAlwaysOn);
  out.ProtocolsEnabled = static_cast<std::uint8_t>(settings->set | kCorLinkAlwaysOn);
  out.EndOfJobTimeout = settings->value0604;
  ipBytes(settings->w1, out.IpAddress);
  ipBytes(settings->w2, out.IpNetmask);
  ipBytes(settings->w3, out.IpGateway);
  std::memcpy(out.ContactName, settings->text1.data(), sizeof out.ContactName - 1);
  std::memcpy(out.Location, settings->text2.data(), sizeof out.Location - 1);
  return out;
}

std::int32_t CorIpx::writeAdvanced(IPXPORT& port, const NETADVANCEDSETTINGS& in) {
  if (portBusy(port)) return NET_FAIL;
  SettingsWrite w;
  w.w1 = loadBe32(in.IpAddress);
  w.w2 = loadBe32(in.IpNetmask);
  w.w3 = loadBe32(in.IpGateway);
  std::memcpy(w.text1.data(), in.ContactName, sizeof in.ContactName);
  std::memcpy(w.text2.data(), in.Location, sizeof in.Location);
  w.text1.back() = w.text2.back() = 0;
  w.value0604 = in.EndOfJobTimeout;
  w.flags = in.ProtocolsEnabled & kProtocolBits;
  return npaExchange(port, buildWriteSettings(w), kAdvancedSettleMs) ? NET_OKAY : NET_FAIL;
}

// Waits for a restarting adapter: a pause, then the send-more request once a
// second until it is acknowledged; false after two minutes.
bool CorIpx::waitForRestart(IPXPORT& port) {
  sleepFor(kRestartPauseMs);
  const auto limit = deadlineAfter(kRestartLimitMs);
  while (std::chrono::steady_clock::now() < limit) {
    Bytes request = sendMoreRequest(port, nextPacketNumber(port.RequestNumber));
    if (SendAcknowledged(port, request.data(), request.size(), false) == 0) return true;
    sleepFor(kSendMoreEveryMs);
  }
  return false;
}

std::int32_t CorIpx::resetAdapter(IPXPORT& port) {
  if (portBusy(port)) return NET_FAIL;
  const std::uint8_t number = nextPacketNumber(port.RequestNumber);
  Bytes request;
  if (!port.LpaAdapter) {
    request = headerWith(itemwire::kFnRequest, kindFormByte(port), number);
    const Bytes npa = buildWriteReset();
    request.insert(request.end(), npa.begin(), npa.end());
  } else {
    request = headerWith(itemwire::kFnRequest, portFormByte(port), number);
    request.resize(40, 0);
    putTag(request.data() + itemwire::kTag, itemwire::kTagControl);
    request[31] = 2;
    request[32] = kControlReset;
  }
  port.Nibble6 = port.LpaAdapter ? 0 : 1;
  const int sent = SendAcknowledged(port, request.data(), request.size(), false);
  port.Nibble6 = 0;
  if (sent != 0 || !waitForRestart(port)) return NET_FAIL;
  raiseEvent(port.PortId, NETEVENT_RESYNC, nullptr);
  return NET_OKAY;
}

std::int32_t CorIpx::setNickname(const std::uint8_t* record, std::uint32_t length, bool add) {
  if (!record || length < sizeof(NICKNAMEENTRY)) return NET_FAIL;
  NICKNAMEENTRY e;
  std::memcpy(&e, record, sizeof e);
  const void* end = std::memchr(e.Nickname, 0, sizeof e.Nickname);
  if (!end || e.Nickname[0] == 0 || std::strchr(e.Nickname, '\\')) return NET_FAIL;
  const std::string nickname = e.Nickname;
  IPXPORT* port = nullptr;
  for (std::uint16_t portId = 1; IPXPORT* p = FindPortById(portId); ++portId)
    if (std::equal(p->Node.begin(), p->Node.end(), e.Node) && p->AdapterClass == e.AdapterClass &&
        p->PortKind == e.PortKind)
      port = p;
  if (!port) return NET_FAIL;
  const std::string path = std::string(kSettingsKey) + "\\" + nickname;
  if (add) {
    NETADDRESS address{};
    if (getSpecificAddr(port->PortId, &address) != 0) return NET_FAIL;
    const auto* a = reinterpret_cast<const std::uint8_t*>(&address);
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
      return NET_FAIL;
    const std::uint8_t adapterType = e.AdapterClass;
    const std::uint16_t portType = e.PortKind;
    const bool written =
        RegSetValueExA(key, "Address", 0, REG_BINARY, e.Node, 6) == ERROR_SUCCESS &&
        RegSetValueExA(key, "AdapterType", 0, REG_BINARY, &adapterType, 1) == ERROR_SUCCESS &&
        RegSetValueExA(key, "PortType", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&portType), 2) ==
            ERROR_SUCCESS &&
        RegSetValueExA(key, "NetAddress", 0, REG_BINARY, a + NETADDRESS_IPX_ADDRESS, 14) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (!written) return NET_FAIL;
  } else if (RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str()) != ERROR_SUCCESS) {
    return NET_FAIL;
  }
  loadNicknames();
  std::lock_guard held(port->recordLock);
  findNickname(*port);
  return NET_OKAY;
}

std::int32_t CorIpx::setName(IPXPORT& port, const char* name, std::uint32_t length) {
  if (!name || length < kNameWire) return NET_FAIL;
  const std::string wanted(name, strnlen(name, kNameWire - 1));
  for (std::uint16_t portId = 1; IPXPORT* p = FindPortById(portId); ++portId) {
    std::lock_guard record(p->recordLock);
    if (sameNameIgnoringCase(p->Name, wanted)) return kNameInUse;
  }
  if (portBusy(port)) return NET_FAIL;
  char wire[kNameWire] = {};
  std::memcpy(wire, wanted.data(), wanted.size());
  const std::uint8_t number = nextPacketNumber(port.RequestNumber);
  std::uint8_t reply[kItemReplyRoom];
  std::uint32_t room = sizeof reply, tag = 0;
  bool accepted = true;
  if (!port.LpaAdapter) {
    Bytes request = headerWith(itemwire::kFnRequest, kindFormByte(port), number);
    const Bytes npa = buildWriteName(std::string_view(wire, kNameWire));
    request.insert(request.end(), npa.begin(), npa.end());
    port.Nibble6 = 1;
    const int sent = SendAcknowledged(port, request.data(), request.size(), false);
    port.Nibble6 = 0;
    if (sent != 0) return NET_FAIL;
    WaitTaggedReply(port, reply, room, itemwire::kTagNpa, itemwire::kTagNpa, tag, number);
  } else {
    Bytes request = headerWith(itemwire::kFnRequest, portFormByte(port), number);
    request.resize(itemwire::kData, 0);
    putTag(request.data() + itemwire::kTag, itemwire::kTagControl);
    request[31] = kNameWire + 2;
    request[32] = 0x3C;
    request.insert(request.end(), wire, wire + kNameWire);
    log_.write("Ipx:Nickname packet = %x\n", request[32]);
    if (SendAcknowledged(port, request.data(), request.size(), false) != 0) return NET_FAIL;
    accepted = WaitTaggedReply(port, reply, room, itemwire::kTagControlAccept, itemwire::kTagControlReject, tag,
                               number) != kReplySilent &&
               tag == 1;
  }
  std::string stored = wanted;
  if (stored.empty()) {
    static const char kHex[] = "0123456789abcdef";
    for (const std::uint8_t b : port.Node) stored += {kHex[b >> 4], kHex[b & 0x0F]};
  }
  // The name is the adapter's: every port of it takes it.
  std::vector<IPXPORT*> renamed = {&port};
  if (!port.LpaAdapter)
    for (std::uint16_t portId = 1; IPXPORT* p = FindPortById(portId); ++portId)
      if (p != &port && p->Node == port.Node) renamed.push_back(p);
  for (IPXPORT* p : renamed) {
    char event[80] = {};
    {
      std::lock_guard record(p->recordLock);
      std::memset(p->Name, 0, sizeof p->Name);
      std::memcpy(p->Name, stored.data(), std::min(stored.size(), sizeof p->Name - 1));
      std::memcpy(event, p->Name, sizeof p->Name);
    }
    raiseEvent(p->PortId, NETEVENT_RENAMED, event);
  }
  return accepted ? NET_OKAY : NET_FAIL;
}

}  // namespace wf::coripx
