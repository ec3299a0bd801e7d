// CORCL32's port side: enumeration, one address, NetOpen/NetClose, NetWrite,
// the port items, and what the alert readers hand over. Broker callbacks
// run on copies: no lock but the call lock is held while one runs.
#include <algorithm>
#include <cstring>

#include "corlink_transport.h"

namespace wf::corlink {
namespace {

constexpr std::uint32_t kEventKind = 8;
constexpr std::size_t kAddressServerName = 166;
constexpr std::size_t kAddressServerNameSize = 80;
constexpr std::size_t kAddressNode = 246;
constexpr std::size_t kAddressClass = 252;
constexpr std::size_t kAddressSelector = 254;
constexpr std::size_t kAddressPortNumber = 256;

bool sameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

// "\\SERVER\...\SHARE": the server and the text after the last "\".
std::pair<std::string, std::string> splitRemote(const std::string& remote) {
  if (remote.size() < 3 || remote.compare(0, 2, "\\\\") != 0) return {};
  const std::size_t end = remote.find('\\', 2);
  const std::size_t last = remote.rfind('\\');
  return {remote.substr(2, end == std::string::npos ? std::string::npos : end - 2),
          last >= 2 && end != std::string::npos ? remote.substr(last + 1) : std::string()};
}

// The bit of a local name "LPT1" to "LPT9"; 0 for any other.
std::uint32_t lptBit(const std::string& local) {
  if (local.size() != 4 || !sameText(local.substr(0, 3), "LPT") || local[3] < '1' || local[3] > '9') return 0;
  return kAccessLpt1 << (local[3] - '1');
}

Bytes textBytes(const std::string& text) {
  Bytes b(text.begin(), text.end());
  b.push_back(0);
  return b;
}

std::string replyText(const Bytes& reply, std::size_t limit) {
  const auto* p = reinterpret_cast<const char*>(reply.data());
  return std::string(p, strnlen(p, std::min(reply.size(), limit)));
}

}  // namespace

ServerEntry* CorLinkTransport::serverOf(const PortContext& port) {
  return port.server.empty() ? nullptr : servers_.find(port.server);
}

std::uint32_t CorLinkTransport::exchange(ServerEntry& server, const PortBlock* block, const Bytes& data,
                                         std::uint8_t command, Bytes* reply) {
  const std::uint32_t sent = servers_.sendRequest(server, block, data.data(), data.size(), command);
  if (sent != 0) return sent;
  return servers_.readReply(server, reply);
}

std::uint32_t CorLinkTransport::lptBitsFor(const std::string& server, const std::string& share) {
  std::uint32_t bits = 0;
  for (const auto& c : discovery_.printerConnections()) {
    const std::uint32_t bit = lptBit(c.local);
    if (!bit) continue;
    const auto [s, q] = splitRemote(c.remote);
    if (sameText(s, server) && sameText(q, share)) bits |= bit;
  }
  return bits;
}

bool CorLinkTransport::report(std::uint16_t id, NETENUMPROC proc) {
  std::optional<NETPORTINFO> info;
  ports_.with(id, [&](PortContext& p) {
    if (p.reported) return;
    p.reported = true;
    info = p.info();
  });
  return !info || proc(&*info) != 0;
}

std::int32_t CorLinkTransport::enumerate(NETENUMPROC proc) {
  std::lock_guard hold(callLock_);
  if (shutDown_) return NET_FAIL;
  if (!discover()) return NET_FAIL;
  ports_.each([](PortContext& p) {
    p.reported = false;
    p.access = 0;
  });
  bool going = proc != nullptr;
  // Connected printers.
  for (const auto& c : discovery_.printerConnections()) {
    if (!going) break;
    const auto [serverName, share] = splitRemote(c.remote);
    if (serverName.empty() || discovery_.isOwnComputer(serverName)) continue;
    ServerEntry* server = servers_.find(serverName);
    if (!server) continue;
    Bytes reply;
    if (exchange(*server, nullptr, textBytes(share), kCmdShare, &reply) != 0 || reply.size() < kPortRecordSize)
      continue;
    const auto id = ports_.findOrAdd(readPortRecord(reply.data()), server->name);
    if (!id) continue;
    const bool admin = server->admin;
    ports_.with(*id, [&](PortContext& p) {
      if (admin) p.access |= kAccessAdmin;
      p.access |= lptBit(c.local);
    });
    going = report(*id, proc);
  }
  // Administrators' servers' queues, over a copy of the list.
  std::vector<std::string> names;
  {
    std::lock_guard list(servers_.listLock());
    names = servers_.names();
  }
  for (const auto& name : names) {
    if (!going) break;
    ServerEntry* server = servers_.find(name);
    if (!server || !server->admin) continue;
    Bytes listing;
    if (exchange(*server, nullptr, {}, options_.onlyQueues ? kCmdQueuePorts : kCmdPorts, &listing) != 0) continue;
    for (const auto& record : readPortRecords(listing)) {
      if (!going) break;
      const auto id = ports_.findOrAdd(record, server->name);
      if (!id) continue;
      std::uint32_t bits = kAccessAdmin;
      if (!record.queueName.empty()) {
        const auto port = ports_.get(*id);
        const PortBlock block = port->block();
        Bytes share;
        if (exchange(*server, &block, {}, kCmdQueue, &share) == 0)
          bits |= lptBitsFor(server->name, replyText(share, share.size()));
      }
      ports_.with(*id, [&](PortContext& p) { p.access |= bits; });
      going = report(*id, proc);
    }
  }
  log_.write(kLogConnections, {"Enumeration completed\r\n"});
  return NET_OKAY;
}

std::int32_t CorLinkTransport::specificAddress(std::uint16_t portId, NETADDRESS* address) {
  const auto port = ports_.get(portId);
  if (!port) {
    log_.write(kLogLoad, {"NetGetSpecificAddr() error (invalid handle ", portIdText(portId), ")\r\n"});
    return NET_BADID;
  }
  if (!address) return NET_NULL_BUFFER;
  auto* a = reinterpret_cast<std::uint8_t*>(address);
  std::memset(a + kAddressServerName, 0, kAddressServerNameSize);
  std::memcpy(a + kAddressServerName, port->server.data(), std::min(port->server.size(), kAddressServerNameSize - 1));
  std::memcpy(a + kAddressNode, port->record.node, 6);
  std::memcpy(a + kAddressClass, &port->record.adapterClass, 2);
  const std::uint16_t selector =
      port->record.portHi == 0x80 ? 0 : static_cast<std::uint16_t>(port->record.portHi * 256 + port->record.portLo);
  std::memcpy(a + kAddressSelector, &selector, 2);
  a[kAddressPortNumber] = port->record.portNumber;
  return NET_OKAY;
}

std::int32_t CorLinkTransport::enumSpecific(const NETADDRESS* address, NETENUMPROC proc) {
  std::lock_guard hold(callLock_);
  if (shutDown_ || !address) return NET_FAIL;
  const auto* a = reinterpret_cast<const std::uint8_t*>(address);
  const auto* nameField = reinterpret_cast<const char*>(a + kAddressServerName);
  const std::string name(nameField, strnlen(nameField, kAddressServerNameSize - 1));
  if (name.empty()) return NET_FAIL;
  ServerEntry* server = servers_.find(name);
  if (!server) server = servers_.connect(name);
  if (!server) return NET_FAIL;
  PortBlock block;
  std::memcpy(block.node, a + kAddressNode, 6);
  std::uint16_t adapterClass = 0, selector = 0;
  std::memcpy(&adapterClass, a + kAddressClass, 2);
  std::memcpy(&selector, a + kAddressSelector, 2);
  if (adapterClass == 1 || adapterClass == 16) {
    block.portHi = 0x80;
    block.portLo = 0;
  } else {
    block.portHi = static_cast<std::uint8_t>(selector >> 8);
    block.portLo = static_cast<std::uint8_t>(selector);
  }
  block.portNumber = a[kAddressPortNumber];
  block.kind = portKindOfClass(adapterClass);
  Bytes reply;
  if (exchange(*server, &block, {}, kCmdPort, &reply) != 0 || reply.size() < kPortRecordSize) return NET_FAIL;
  const PortRecord record = readPortRecord(reply.data());
  const auto id = ports_.findOrAdd(record, server->name);
  if (!id) return NET_FAIL;
  std::uint32_t bits = server->admin ? kAccessAdmin : 0;
  if (!record.queueName.empty()) {
    Bytes share;
    const PortBlock own = ports_.get(*id)->block();
    if (exchange(*server, &own, {}, kCmdQueue, &share) == 0)
      bits |= lptBitsFor(server->name, replyText(share, share.size()));
  }
  std::optional<NETPORTINFO> info;
  ports_.with(*id, [&](PortContext& p) {
    p.access = bits;
    info = p.info();
  });
  if (proc) proc(&*info);
  if (!server->adminChecked) servers_.checkAdministrator(*server);
  if (server->admin && !server->adminPipe) servers_.openAdminPipe(*server);
  return NET_OKAY;
}

std::int32_t CorLinkTransport::open(std::uint16_t portId, NETDATAPROC proc) {
  if (!ports_.with(portId, [&](PortContext& p) { p.dataCallback = proc; })) {
    log_.write(kLogLoad, {"NetOpen() error (invalid handle ", portIdText(portId), ")\r\n"});
    return NET_FAIL;
  }
  return NET_OKAY;
}

void CorLinkTransport::close(std::uint16_t portId) {
  if (!ports_.with(portId, [](PortContext& p) { p.dataCallback = nullptr; }))
    log_.write(kLogLoad, {"NetClose() error (invalid handle ", portIdText(portId), ")\r\n"});
}

std::int32_t CorLinkTransport::write(std::uint16_t portId, const std::uint8_t* data, std::uint32_t length,
                                     std::uint8_t* reply, std::uint32_t* replyLength, std::uint16_t* status) {
  std::lock_guard hold(callLock_);
  if (shutDown_) return 0;
  const auto port = ports_.get(portId);
  if (!port) {
    log_.write(kLogLoad, {"NetWrite() error (invalid handle ", portIdText(portId), ")\r\n"});
    return 0;
  }
  ServerEntry* server = serverOf(*port);
  if (!server) {
    log_.write(kLogLoad, {"NetWrite() error (no server available)\r\n"});
    return 0;
  }
  if (!data && length) return 0;
  const PortBlock block = port->block();
  const std::string address = portAddress(block);
  if (log_.on(kLogData)) log_.write(kLogData, {address, " NetWrite(): ", hexBytes(data, length, length), "\r\n"});
  const std::uint32_t sent = servers_.sendRequest(*server, &block, data, length, kCmdWrite);
  if (sent != 0) {
    log_.write(kLogData, {address, " NetWrite(): error (rc = ", hex8(sent), ")\r\n"});
    return 0;
  }
  if (!reply || !replyLength) {
    // Nothing to read: every frame was acknowledged.
    if (status) *status = NET_STATUS_COMPLETE;
    return static_cast<std::int32_t>(length);
  }
  Bytes answer;
  const std::uint32_t r = servers_.readReply(*server, &answer);
  std::uint16_t result = NET_STATUS_COMPLETE;
  if (r != 0) {
    log_.write(kLogData, {address, " NetRead():  error (rc = ", hex8(r), ")\r\n"});
    result = r == kStatusPrinterError ? NET_STATUS_ADAPTER_ERROR : NET_STATUS_UNREADABLE;
    *replyLength = 0;
  } else if (answer.size() > *replyLength) {
    std::memcpy(reply, answer.data(), *replyLength);
    result = NET_STATUS_TRUNCATED;
  } else {
    std::memcpy(reply, answer.data(), answer.size());
    *replyLength = static_cast<std::uint32_t>(answer.size());
    if (log_.on(kLogData))
      log_.write(kLogData, {address, " NetRead():  ", hexBytes(answer.data(), answer.size(), 64), "\r\n"});
  }
  if (status) *status = result;
  return static_cast<std::int32_t>(length);
}

bool CorLinkTransport::isAdmin() {
  std::lock_guard list(servers_.listLock());
  for (const auto& name : servers_.names())
    if (ServerEntry* e = servers_.find(name); e && e->adminChecked && e->admin) return true;
  return false;
}

std::int32_t CorLinkTransport::registerCallback(NETEVENTPROC proc) {
  NETEVENTPROC none = nullptr;
  return eventProc_.compare_exchange_strong(none, proc) ? NET_OKAY : NET_FAIL;
}

void CorLinkTransport::raise(std::uint16_t id, std::uint32_t code, void* data) {
  if (NETEVENTPROC proc = eventProc_) proc(kEventKind, id, code, data);
}

void CorLinkTransport::dropPorts(const std::string& server) {
  std::vector<std::uint16_t> dropped;
  ports_.each([&](PortContext& p) {
    if (!sameText(p.server, server)) return;
    p.server.clear();
    dropped.push_back(p.id);
  });
  for (const auto id : dropped) raise(id, NETEVENT_REMOVED, nullptr);
}

void CorLinkTransport::deliver(ServerEntry&, const std::optional<PortBlock>& block, const Bytes& data) {
  if (!block) return;
  const auto id = ports_.find(block->node, block->portHi, block->portLo);
  if (!id) return;
  if (log_.on(kLogAlerts))
    log_.write(kLogAlerts, {portAddress(*block), " ReadDSA():  ", hexBytes(data.data(), data.size(), 64), "\r\n"});
  NETDATAPROC proc = nullptr;
  ports_.with(*id, [&](PortContext& p) { proc = p.dataCallback; });
  if (proc) proc(*id, data.data(), static_cast<std::uint32_t>(data.size()));
}

void CorLinkTransport::notice(std::uint32_t code, const std::optional<PortBlock>& block, const Bytes& data) {
  const auto id = block ? ports_.find(block->node, block->portHi, block->portLo) : std::nullopt;
  if (id)
    log_.write(kLogAlerts, {portAddress(*block), " Internal WFS Alert received - ", noticeName(code), "\r\n"});
  else
    log_.write(kLogAlerts, {"Internal WFS Alert received - ", noticeName(code), "\r\n"});
  if (code == 135) {
    if (data.size() < 12) {
      log_.write(kLogAlerts, {"Address change notice of ", std::to_string(data.size()), " bytes ignored\r\n"});
      return;
    }
    std::vector<std::uint16_t> moved;
    ports_.each([&](PortContext& p) {
      if (std::memcmp(p.record.node, data.data(), 6) != 0) return;
      std::memcpy(p.record.node, data.data() + 6, 6);
      moved.push_back(p.id);
    });
    for (const auto m : moved) {
      std::uint8_t node[6];
      std::memcpy(node, data.data() + 6, 6);
      raise(m, NETEVENT_ADDRESS_CHANGED, node);
    }
    return;
  }
  if (id && (code == 129 || code == 130)) raise(*id, code == 129 ? NETEVENT_DISCONNECTED : NETEVENT_RESYNC, nullptr);
}

}  // namespace wf::corlink
