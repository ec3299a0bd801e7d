// Finding the adapters' ports: the two broadcast queries, the collectors of
// their replies, the two reply parsers, and the specific and logical-port
// enumerations built on them.
#include <algorithm>
#include <cstring>

#include "coripx_transport.h"
#include "npa_packets.h"
#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "platform/registry.h"
#include "transports/common/adapter_layout.h"
#include "transports/common/ebcdic.h"

namespace wf::coripx {
namespace {

namespace wire = ::wf::adapter::coripx;
constexpr char kGlobalReader[] = "Cor_IPX_ENUMREAD";
constexpr char kSpecificReader[] = "Cor_IPX_EnumRead";
constexpr std::uint32_t kAccessIpx = 0x8004;
constexpr std::size_t kNameLimit = 24;
constexpr std::size_t kPortDescriptor = 20;  // the broker's port name field

std::uint8_t at(const Received& d, std::size_t i) {
  return i < d.bytes.size() ? d.bytes[i] : 0;
}

Node nodeAt(const std::uint8_t* p) {
  Node n;
  std::memcpy(n.data(), p, n.size());
  return n;
}

void copyName(char (&to)[25], const std::uint8_t* from, std::size_t available) {
  const std::size_t n = std::min(available, kNameLimit);
  const auto* end = std::find(from, from + n, 0);
  std::memset(to, 0, sizeof to);
  std::memcpy(to, from, static_cast<std::size_t>(end - from));
}

// A fixed-size REG_BINARY value; false when missing or of another size.
bool readFixed(HKEY key, const char* name, void* out, DWORD size) {
  DWORD type = 0, got = size;
  std::vector<std::uint8_t> bytes(size);
  if (RegQueryValueExA(key, name, nullptr, &type, bytes.data(), &got) != ERROR_SUCCESS || got != size) return false;
  std::memcpy(out, bytes.data(), size);
  return true;
}

struct LogicalPort {
  std::uint8_t node[6] = {};
  std::uint8_t address[14] = {};
  std::uint8_t adapterType = 0;
  std::uint16_t portType = 0;
};

// The values of one nickname subkey; false when one is missing or of another size.
bool readLogicalPort(HKEY parent, const char* name, LogicalPort& out) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(parent, name, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  const bool ok = readFixed(key, "Address", out.node, 6) && readFixed(key, "NetAddress", out.address, 14) &&
                  readFixed(key, "AdapterType", &out.adapterType, 1) && readFixed(key, "PortType", &out.portType, 2);
  RegCloseKey(key);
  return ok;
}

template <typename Visit>
void forEachSubkey(Visit visit) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return;
  char name[81];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    if (RegEnumKeyExA(key, i, name, &size) != ERROR_SUCCESS) break;
    if (!visit(key, name)) break;
  }
  RegCloseKey(key);
}

}  // namespace

// ---- Port records ----------------------------------------------------------------------------

IPXPORT* CorIpx::adopt(std::unique_ptr<IPXPORT> port) {
  {
    std::lock_guard g(portsMutex_);
    port->PortId = nextPortId_++;
  }
  const std::string id = std::to_string(port->PortId);
  const bool lpa = port->LpaAdapter;
  port->PortSem = createSemaphore("Ipx_AdapterSemaphore" + id, 0, 1);
  port->JobAckSem = createSemaphore((lpa ? "Ipx_AdapterJob2Semaphore" : "Ipx_AdapterJOB2Semaphore") + id, 0, 1);
  port->JobLock = createSemaphore((lpa ? "Ipx_AdapterJOBSemaphore" : "Ipx_AdapterJobSemaphore") + id, 1, 1);
  (port->NodeAsIs ? anyNodeAsIs_ : anyNodeReversed_) = true;
  std::lock_guard g(portsMutex_);
  ports_.push_back(std::move(port));
  return ports_.back().get();
}

void CorIpx::loadNicknames() {
  std::vector<Nickname> list;
  forEachSubkey([&](HKEY key, const char* name) {
    LogicalPort lp;
    if (!readLogicalPort(key, name, lp)) {
      log_.write("Nickname %s skipped: a value is missing or of another size", name);
      return true;
    }
    Nickname n;
    std::memcpy(n.node.data(), lp.node, 6);
    n.adapterClass = lp.adapterType;
    n.portKind = lp.portType;
    n.name = name;
    list.push_back(std::move(n));
    return true;
  });
  std::lock_guard g(nicknamesMutex_);
  nicknames_ = std::move(list);
}

void CorIpx::findNickname(IPXPORT& port) {
  std::lock_guard g(nicknamesMutex_);
  port.HasNickname = 0;
  std::memset(port.AltName, 0, sizeof port.AltName);
  for (const auto& n : nicknames_) {
    if (n.node != port.Node || n.adapterClass != port.AdapterClass || n.portKind != port.PortKind) continue;
    port.HasNickname = 1;
    std::memcpy(port.AltName, n.name.data(), std::min(n.name.size(), sizeof port.AltName - 1));
    return;
  }
}

bool CorIpx::report(IPXPORT& port, NETENUMPROC proc, int* reported) {
  NETPORTINFO info{};
  std::unique_lock record(port.recordLock);
  std::memcpy(info.portName, port.Name, sizeof port.Name);
  std::memcpy(info.secondName, port.AltName, sizeof info.secondName);
  info.flags = port.Flags;
  info.portId = port.PortId;
  info.connections = kAccessIpx;
  std::memcpy(info.node, port.Node.data(), 6);
  info.adapterClass = port.AdapterClass;
  info.portKind = port.PortKind;
  record.unlock();
  if (reported) ++*reported;
  return !proc || (proc(&info) & 0xFFFF) != 0;
}

void CorIpx::sendMore(IPXPORT& port) {
  Bytes request = sendMoreRequest(port, nextPacketNumber(port.RequestNumber));
  SendAcknowledged(port, request.data(), request.size(), false);
}

// ---- Parsers ---------------------------------------------------------------------------------

bool CorIpx::parseParameters2(const Received& d, NETENUMPROC proc, int* reported) {
  const auto& b = d.bytes;
  if (b.size() < wire::kShortData || !tagIs(b.data() + wire::kShortTag, b.size() - wire::kShortTag,
                                             wire::kTagParameters2))
    return true;
  const std::size_t L = loadBe16(b.data() + wire::kShortLength);
  const std::size_t end = L + wire::params2::kLengthBias;  // counted from the tag
  if (end < wire::params2::kShortestEnd || L > b.size() - wire::kShortLength) {
    log_.write("LPA Parameters2 of %d bytes with length %d dropped", static_cast<int>(b.size()),
               static_cast<int>(L));
    return true;
  }
  const Node node = nodeAt(b.data() + wire::params2::kNode);
  const bool asIs = b[wire::params2::kMedia] & wire::params2::kMediaAsIs;
  const std::string tag =
      ::wf::adapter::ebcdicText(b.data() + wire::params2::kModelTag, wire::params2::kModelTagSize,
                                ::wf::adapter::EbcdicTable::IpxModelTag);
  const std::uint16_t adapterClass = tag == wire::params2::kClass16Tag ? 16 : 1;
  std::size_t offset = wire::params2::kEntries - wire::kShortTag;
  while (offset < end) {
    const std::size_t entry = wire::kShortTag + offset;
    const std::size_t length = at(d, entry);
    if (length < 3 || offset + length > end) break;
    const std::uint8_t kindByte = b[entry + 1], flagByte = b[entry + 2];
    const bool portEntry = (kindByte & 0xF0) == wire::params2::kEntryPortKind;
    const std::uint8_t number = portEntry ? kindByte & 0x0F : 0;
    std::uint16_t flags = 0;
    if (portEntry) {
      flags |= 0x0001;
      if (flagByte & wire::params2::kEntryNpa) flags |= 0x0002;
    }
    if (asIs) flags |= 0x8000;
    const bool present = portEntry && (flagByte & wire::params2::kEntryPresent);
    offset += length;
    IPXPORT* port = FindPortByNumberAndNode(number, node);
    if (!port) {
      if (!present) continue;
      auto p = std::make_unique<IPXPORT>();
      p->LpaAdapter = 1;
      p->Address = d.from;
      p->Address.socket = wire::kDataSocket;
      p->Node = node;
      std::memcpy(p->OtherAddress.data(), b.data() + wire::params2::kOtherAddress, 6);
      copyName(p->Name, b.data() + wire::params2::kName, b.size() - wire::params2::kName);
      p->PortNumber = number;
      p->Flags = flags;
      p->NodeAsIs = asIs ? 0x8000 : 0;
      p->ReplyFlag = b[wire::params2::kFeature] & wire::params2::kFeatureBit;
      p->AdapterClass = adapterClass;
      p->PortKind = 0;
      findNickname(*p);
      port = adopt(std::move(p));
      const bool goOn = report(*port, proc, reported);
      sendMore(*port);
      log_.write("Enumerated an INA via CorIpx, %x,%x\n", node[4], node[5]);
      if (!goOn) return false;
    } else {
      {
        std::lock_guard record(port->recordLock);
        log_.write("IPX:Re-enum of current device id = %d; nick = %s\n", port->PortId, port->AltName);
        port->Flags = flags;
        port->NodeAsIs = asIs ? 0x8000 : 0;
        port->AdapterClass = adapterClass;
        findNickname(*port);
      }
      (asIs ? anyNodeAsIs_ : anyNodeReversed_) = true;
      if (!report(*port, proc, reported)) return false;
    }
  }
  return true;
}

bool CorIpx::parseNpaReply(const Received& d, NETENUMPROC proc, int portKind, int* reported) {
  const auto& b = d.bytes;
  if (b.size() < wire::kData || !tagIs(b.data() + wire::kTag, b.size() - wire::kTag, wire::kTagNpa)) return true;
  const std::size_t L = loadBe16(b.data() + wire::kLength);
  if (L < 2 || L > b.size() - wire::kLength) {
    log_.write("LPA NPA of %d bytes with length %d dropped", static_cast<int>(b.size()), static_cast<int>(L));
    return true;
  }
  const auto npa = readVariableReply(ByteView(b).subspan(wire::kData, L - 2));
  if (!npa) return true;
  const EnumerationReply reply = decodeEnumerationReply(*npa);
  if (reply.adapter.empty) return true;
  const Node node = reply.adapter.node;
  const bool asIs = reply.adapter.typeNibble == 1;
  for (const PORTENTRY& e : reply.ports) {
    if (!e.present) continue;
    std::uint8_t number = 0;
    std::uint16_t adapterClass = 4, kind = 0x0101;
    if (e.type != 0x40) {
      number = e.type & 0x0F;
      if (number > 2) {
        log_.write("Port %d of a multi-port adapter skipped", number);
        continue;
      }
      adapterClass = 2;
      kind = number == 1 ? 1 : 2;
    }
    std::uint16_t flags = 0;
    if (e.flags & 0x08) flags |= 0x0001;
    if (e.flags & 0x40) flags |= 0x0002;
    if (asIs) flags |= 0x8000;
    const bool wanted = portKind < 0 || kind == portKind;
    IPXPORT* port = FindPortByNumberAndNode(number, node);
    if (!port) {
      auto p = std::make_unique<IPXPORT>();
      p->LpaAdapter = 0;
      p->Address = d.from;
      p->Address.socket = wire::kDataSocket;
      p->Node = node;
      p->OtherAddress = reply.adapter.otherAddress;
      std::memset(p->Name, 0, sizeof p->Name);
      std::memcpy(p->Name, reply.adapter.name.data(), std::min(reply.adapter.name.size(), kNameLimit));
      p->PortNumber = number;
      p->Flags = flags;
      p->NodeAsIs = asIs ? 0x8000 : 0;
      p->ReplyFlag = reply.adapter.typeByte & 0x40;
      p->AdapterClass = adapterClass;
      p->PortKind = kind;
      std::memcpy(p->Password.data(), reply.adapter.password.data(),
                  std::min(reply.adapter.password.size(), p->Password.size()));
      findNickname(*p);
      port = adopt(std::move(p));
      log_.write("PortAttr = %d, bidiH = %d, AdType = %d, PType = %d, nick = %s\n", port->Flags, port->PortId,
                 port->AdapterClass, port->PortKind, port->Name);
      const bool goOn = !wanted || report(*port, proc, reported);
      sendMore(*port);
      if (!goOn) return false;
    } else {
      {
        std::lock_guard record(port->recordLock);
        port->Flags = flags;
        port->NodeAsIs = asIs ? 0x8000 : 0;
        port->AdapterClass = adapterClass;
        findNickname(*port);
      }
      (asIs ? anyNodeAsIs_ : anyNodeReversed_) = true;
      log_.write("Enumerated a Kestrel again id = %d\n", port->PortId);
      if (wanted && !report(*port, proc, reported)) return false;
    }
  }
  return true;
}

// ---- Enumerations ----------------------------------------------------------------------------

void CorIpx::collect(NETENUMPROC proc) {
  bool existed = false;
  const SyncHandle busy = createSemaphore(kGlobalReader, 1, 1, &existed);
  if (!busy) return;
  if (existed) {
    closeSyncHandle(busy);
    return;
  }
  loadNicknames();
  auto quietUntil = deadlineAfter(enumTimeout_);
  bool stop = false;
  while (!stop && !shutDown_) {
    const std::uint64_t seen = pool_.generation();
    while (auto d = pool_.take([](const Received& r) {
      return (at(r, wire::kFunction) & wire::kReplyQuery) && at(r, wire::kNumber) == wire::kGlobalNumber &&
             at(r, wire::kKind) != wire::kAck;
    })) {
      quietUntil = deadlineAfter(enumTimeout_);
      const bool goOn = d->from.socket == wire::kQuerySocket ? parseParameters2(*d, proc, nullptr)
                                                             : parseNpaReply(*d, proc, -1, nullptr);
      if (!goOn) stop = true;
      if (stop) break;
    }
    if (stop || !pool_.waitNewerUntil(seen, quietUntil)) break;
  }
  closeSyncHandle(busy);
}

int CorIpx::enumerate(NETENUMPROC proc) {
  if (!ensureStarted()) return 1;
  while (specificRunning_ > 0) sleepFor(200);
  log_.write("Global Enumeration beginning called from BCE");
  IpxAddress everyone;
  everyone.node = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  everyone.socket = wire::kQuerySocket;
  if (!sendRaw(shortQuery(wire::kGlobalNumber), everyone)) return 1;
  sleepFor(3000);
  IPXPORT any;  // no port: the kind form's "any other kind"
  Bytes query = headerWith(wire::kFnRequest, kindFormByte(any), wire::kGlobalNumber);
  const Bytes npa = buildEnumerationQuery();
  query.insert(query.end(), npa.begin(), npa.end());
  everyone.socket = wire::kDataSocket;
  sendRaw(query, everyone);
  collect(proc);
  log_.write("Enumeration complete; returning to BCE");
  return 0;
}

int CorIpx::enumSpecific(const NETADDRESS* address, NETENUMPROC proc) {
  if (!address || !ensureStarted()) return 1;
  const auto* a = reinterpret_cast<const std::uint8_t*>(address);
  ++specificRunning_;
  IpxAddress to;
  std::memcpy(to.network.data(), a + NETADDRESS_IPX_NETWORK, 4);
  std::memcpy(to.node.data(), a + NETADDRESS_IPX_ADDR_NODE, 6);
  to.socket = loadBe16(a + NETADDRESS_IPX_SOCKET);
  const std::uint16_t lpa = loadLe16(a + NETADDRESS_IPX_LPA_ADAPTER);
  const std::uint16_t kind = loadLe16(a + NETADDRESS_IPX_PORT_KIND);
  const std::uint8_t* n = a + NETADDRESS_IPX_NETWORK;
  log_.write("Enum Spec for %4x%4x%4x%4x%4x", loadBe16(n), loadBe16(n + 2), loadBe16(n + 4), loadBe16(n + 6),
             loadBe16(n + 8));
  bool sent = false;
  if (lpa) {
    to.socket = wire::kQuerySocket;
    sent = sendRaw(shortQuery(wire::kSpecificNumber), to);
  } else {
    IPXPORT asked;
    asked.PortKind = kind;
    Bytes query = headerWith(wire::kFnRequest, kindFormByte(asked), wire::kSpecificNumber);
    const Bytes npa = buildEnumerationQuery();
    query.insert(query.end(), npa.begin(), npa.end());
    sent = sendRaw(query, to);
  }
  if (!sent) {
    --specificRunning_;
    return 1;
  }
  for (SyncHandle h; (h = openSyncObject(SyncKind::Semaphore, kSpecificReader)) != kNoSyncHandle;) {
    closeSyncHandle(h);
    sleepFor(100);
  }
  const SyncHandle busy = createSemaphore(kSpecificReader, 1, 1);
  loadNicknames();
  const Node wanted = nodeAt(a + NETADDRESS_IPX_ADDR_NODE), reversed = reverseNode(wanted);
  int reported = 0;
  const auto quietUntil = deadlineAfter(enumTimeout_);
  for (;;) {
    const std::uint64_t seen = pool_.generation();
    auto d = pool_.take([&](const Received& r) {
      return (at(r, wire::kFunction) & wire::kReplyQuery) && at(r, wire::kNumber) == wire::kSpecificNumber &&
             at(r, wire::kKind) != wire::kAck && (r.from.node == wanted || r.from.node == reversed);
    });
    if (d) {
      if (d->from.socket == wire::kQuerySocket)
        parseParameters2(*d, proc, &reported);
      else
        parseNpaReply(*d, proc, kind, &reported);
      break;
    }
    if (shutDown_ || !pool_.waitNewerUntil(seen, quietUntil)) break;
  }
  --specificRunning_;
  closeSyncHandle(busy);
  return reported ? 0 : 1;
}

int CorIpx::enumSpecificPort(const char* name, NETENUMPROC proc) {
  if (!name || !ensureStarted()) return 1;
  const std::string wanted(name, ::strnlen(name, kPortDescriptor));
  log_.write("EnumSpecPort for %s", wanted.c_str());
  NETADDRESS address{};
  auto* a = reinterpret_cast<std::uint8_t*>(&address);
  bool found = false;
  forEachSubkey([&](HKEY key, const char* subkey) {
    if (wanted != subkey) return true;
    LogicalPort lp;
    if (!readLogicalPort(key, subkey, lp)) return false;
    std::memcpy(a + NETADDRESS_IPX_NODE, lp.node, 6);
    std::memcpy(a + NETADDRESS_IPX_ADDRESS, lp.address, 14);
    // Both single-port classes answer only the short query.
    storeLe16(a + NETADDRESS_IPX_LPA_ADAPTER, lp.adapterType == 1 || lp.adapterType == 16 ? lp.adapterType : 0);
    storeLe16(a + NETADDRESS_IPX_PORT_KIND, lp.portType);
    found = true;
    return false;
  });
  if (!found) return 1;
  return enumSpecific(&address, proc);
}

int CorIpx::getSpecificAddr(std::uint16_t id, NETADDRESS* address) {
  if (shutDown_ || !address) return 1;
  IPXPORT* port = FindPortById(id);
  if (!port) return 1;
  auto* a = reinterpret_cast<std::uint8_t*>(address);
  std::memcpy(a + NETADDRESS_IPX_NODE, port->Node.data(), 6);
  IpxAddress wireAddress = port->Address;
  if (!port->NodeAsIs) wireAddress.node = reverseNode(wireAddress.node);
  const SOCKADDR_IPX s = wireAddress.toSockaddr();
  std::memcpy(a + NETADDRESS_IPX_ADDRESS, &s, sizeof s);
  storeLe16(a + NETADDRESS_IPX_LPA_ADAPTER, static_cast<std::uint16_t>(port->LpaAdapter));
  storeLe16(a + NETADDRESS_IPX_PORT_KIND, port->PortKind);
  return 0;
}

}  // namespace wf::coripx
