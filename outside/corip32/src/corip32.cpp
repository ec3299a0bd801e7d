// The IP transport's stand-in: serves the TCP/IP items and the adapter items
// of bit 2 from the scenario's IP world. Nothing is simulated behind an IP
// adapter: writes are taken whole and answer no reply.
#include <cstring>
#include <map>
#include <mutex>
#include <span>
#include <vector>

#include "broker/net_transport.h"
#include "corip32/corip32_test.h"
#include "ip_world.h"
#include "platform/module.h"
#include "platform/trace.h"
#include "transports/common/net_items.h"

namespace {

namespace net = wf::net;

constexpr std::uint16_t kAddressKnown = 0xFB95, kAddressUnknown = 0xFB96;

struct PortState {
  NETDATAPROC dataProc = nullptr;
  std::vector<std::uint8_t> flashImage;
  std::vector<std::uint8_t> download;  // between items 11 and 13
  bool downloading = false;
  net::IPTRAPLIST traps{};
  std::uint32_t trapMasks[net::kIpTrapDestinations] = {};
  std::optional<net::NETADAPTERPARMS> setParms;
  std::uint32_t resets = 0;
  std::optional<net::NETADVANCEDSETTINGS> advanced;  // as last set
  net::NETPASSWORD password{};                       // all zero: none
};

struct State {
  std::mutex m;
  wf::corip::IpWorld world;
  std::map<std::uint16_t, PortState> ports;  // by port id: network index + 1
  std::uint32_t closedCount = 0;
  NETEVENTPROC eventProc = nullptr;
};

State& state() {
  static State s;
  return s;
}

const net::IpAdapterEntry* listedAt(const State& s, const net::IpAddress& address) {
  for (const auto& e : s.world.listed)
    if (e.address == address) return &e;
  return nullptr;
}

net::IpAdapterEntry* listedAt(State& s, const net::IpAddress& address) {
  for (auto& e : s.world.listed)
    if (e.address == address) return &e;
  return nullptr;
}

// A port is a listed adapter that is on the network.
const wf::corip::NetworkAdapter* adapterOf(const State& s, std::uint16_t portId) {
  if (portId == 0 || portId > s.world.network.size()) return nullptr;
  const auto& a = s.world.network[portId - 1u];
  return listedAt(s, a.address) ? &a : nullptr;
}

bool onNetwork(const State& s, const net::IpAddress& address) {
  for (const auto& a : s.world.network)
    if (a.address == address) return true;
  return false;
}

void copyText(char* out, std::size_t size, const std::string& text) {
  const std::size_t n = std::min(text.size(), size - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

NETPORTINFO portInfo(const State& s, std::uint16_t portId) {
  const auto& a = s.world.network[portId - 1u];
  const net::IpAdapterEntry* listed = listedAt(s, a.address);
  NETPORTINFO info{};
  const std::string dotted = net::dottedAddress(a.address);
  copyText(info.portName, sizeof info.portName, listed->hostName.empty() ? dotted : listed->hostName);
  copyText(info.secondName, sizeof info.secondName, dotted);
  info.portId = portId;
  info.connections = BCE_NET_IP | (a.supervisor ? 0x8000u : 0u);
  std::memcpy(info.node, a.node.data(), 6);
  info.adapterClass = a.adapterClass;
  info.portKind = a.portType;
  return info;
}

// Copies `bytes` into the caller's buffer when they fit; 1 otherwise.
int32_t answer(const void* bytes, std::size_t size, void* buffer, std::uint16_t* length) {
  if (!buffer || !length) return NET_NULL_BUFFER;
  if (*length < size) return NET_FAIL;
  std::memcpy(buffer, bytes, size);
  *length = static_cast<std::uint16_t>(size);
  return NET_OKAY;
}

std::span<const std::uint8_t> bytesOf(const void* buffer, std::uint32_t length) {
  return {static_cast<const std::uint8_t*>(buffer), buffer ? length : 0u};
}

bool attachCorip32() {
  std::string error;
  const auto scenario = wf::loadScenario(&error);
  std::optional<wf::corip::IpWorld> world;
  if (scenario) world = wf::corip::readIpWorld(*scenario, &error);
  if (!world) {
    wf::setAttachRefusal("CORIP32: " + error);
    return false;
  }
  std::lock_guard lock(state().m);
  state().world = std::move(*world);
  state().ports.clear();
  state().closedCount = 0;
  state().eventProc = nullptr;
  return true;
}

void detachCorip32() {}

// ---- Items ----

int32_t workstationGet(State& s, std::uint16_t item, NETITEMPROC itemProc, std::vector<std::vector<std::uint8_t>>& out) {
  if (item != net::kItemIpAdapterList) return NET_BADCMD;
  if (!itemProc) return NET_NULL_BUFFER;
  for (const auto& e : s.world.listed) out.push_back(net::buildIpAdapterEntry(e));
  return NET_OKAY;
}

int32_t workstationSet(State& s, std::uint16_t item, const void* buffer, std::uint32_t length) {
  switch (item) {
    case net::kItemIpAddAdapter: {
      const auto entry = net::readIpAdapterEntry(bytesOf(buffer, length));
      if (!entry || !entry->portName.empty() || entry->hostName.size() > 79) return NET_FAIL;
      if (listedAt(s, entry->address)) return NET_FAIL;
      s.world.listed.push_back(*entry);
      return onNetwork(s, entry->address) ? NET_OKAY : static_cast<int16_t>(net::kIpAdapterNotFound);
    }
    case net::kItemIpChangeAdapter:
    case net::kItemIpRemoveAdapter: {
      if (length < net::kIpChangeRecordLength) return NET_FAIL;
      const auto entry = net::readIpAdapterEntry(bytesOf(buffer, length));
      if (!entry) return NET_FAIL;
      for (auto it = s.world.listed.begin(); it != s.world.listed.end(); ++it) {
        if (it->address != entry->address || it->portName != entry->portName) continue;
        if (item == net::kItemIpRemoveAdapter) {
          if (!it->portName.empty()) return NET_FAIL;
          s.world.listed.erase(it);
        } else {
          it->hostName = entry->hostName;
          it->community = entry->community;
        }
        return NET_OKAY;
      }
      return NET_FAIL;
    }
    case net::kItemIpConfigClosed:
      ++s.closedCount;
      return NET_OKAY;
    default:
      return NET_BADCMD;
  }
}

// Item 130 before any set: every protocol on, the adapter's own address on a /24.
net::NETADVANCEDSETTINGS firstAdvanced(const wf::corip::NetworkAdapter& a) {
  net::NETADVANCEDSETTINGS r{};
  r.Control = a.supervisor ? net::kAdvancedSupervisor : 0;
  r.ProtocolsActive = r.ProtocolsEnabled = net::kProtocolCorLink | net::kProtocolNetWare |
                                           net::kProtocolAppleTalk | net::kProtocolTcpIp;
  std::memcpy(r.IpAddress, a.address.data(), 4);
  const std::uint8_t mask[4] = {255, 255, 255, 0};
  std::memcpy(r.IpNetmask, mask, 4);
  std::memcpy(r.IpGateway, a.address.data(), 3);
  r.IpGateway[3] = 1;
  return r;
}

int32_t portGet(State& s, std::uint16_t portId, std::uint16_t item, void* buffer, std::uint16_t* length) {
  const wf::corip::NetworkAdapter& a = *adapterOf(s, portId);
  PortState& port = s.ports[portId];
  switch (item) {
    case net::kItemIpHost: {
      const auto record = net::buildIpHostRecord({a.address, listedAt(s, a.address)->hostName});
      return answer(record.data(), record.size(), buffer, length);
    }
    case net::kItemIpTrapList:
      return answer(&port.traps, sizeof port.traps, buffer, length);
    case net::kItemIpTrapEntry: {
      if (!buffer || !length) return NET_NULL_BUFFER;
      if (*length < sizeof(net::IPTRAPENTRY)) return NET_FAIL;
      net::IPTRAPENTRY entry;
      std::memcpy(&entry, buffer, sizeof entry);
      if (entry.index >= net::kIpTrapDestinations) return NET_FAIL;
      std::memcpy(entry.ipAddress, port.traps.destination[entry.index], 4);
      entry.conditionMask = port.trapMasks[entry.index];
      return answer(&entry, sizeof entry, buffer, length);
    }
    case net::kItemAdapterParms: {
      net::NETADAPTERPARMS parms{};
      parms.Control = a.supervisor ? net::kControlSupervisor : 0;
      parms.AdapterClass = a.adapterClass;
      parms.PortType = a.portType;
      parms.Media = a.media;
      std::memcpy(parms.Address, a.node.data(), 6);
      std::memcpy(parms.UniversalAddress, a.node.data(), 6);
      copyText(parms.Firmware, sizeof parms.Firmware, a.firmware);
      parms.Features = 0x06;  // flash update and reset
      return answer(&parms, sizeof parms, buffer, length);
    }
    case net::kItemAdvanced: {
      const net::NETADVANCEDSETTINGS r = port.advanced.value_or(firstAdvanced(a));
      return answer(&r, sizeof r, buffer, length);
    }
    case net::kItemPassword:
      return answer(&port.password, sizeof port.password, buffer, length);
    case net::kItemAdapterInfo: {
      net::NETADAPTERINFO info{a.adapterClass, a.portType, a.media, a.supervisor, {}};
      std::memcpy(info.Node, a.node.data(), 6);
      return answer(&info, sizeof info, buffer, length);
    }
    default:
      return NET_BADCMD;
  }
}

struct Rename {
  std::uint16_t portId = 0;
  char name[BCE_NAME_LENGTH] = {};
};

int32_t portSet(State& s, std::uint16_t portId, std::uint16_t item, const void* buffer, std::uint32_t length,
                std::optional<Rename>& rename) {
  const wf::corip::NetworkAdapter& a = *adapterOf(s, portId);
  PortState& port = s.ports[portId];
  switch (item) {
    case net::kItemIpHost: {
      const auto record = net::readIpHostRecord(bytesOf(buffer, length));
      if (!record || record->hostName.size() > 79) return NET_FAIL;
      for (const auto& e : s.world.listed) {
        if (e.address == a.address || e.hostName.size() != record->hostName.size()) continue;
        if (strncasecmp(e.hostName.c_str(), record->hostName.c_str(), e.hostName.size()) == 0)
          return static_cast<int16_t>(net::kIpDuplicateHost);
      }
      listedAt(s, a.address)->hostName = record->hostName;
      rename.emplace();
      rename->portId = portId;
      copyText(rename->name, sizeof rename->name,
               record->hostName.empty() ? net::dottedAddress(a.address) : record->hostName);
      return NET_OKAY;
    }
    case net::kItemIpFlashBegin:
      port.download.clear();
      port.downloading = true;
      return NET_OKAY;
    case net::kItemIpFlashBlock: {
      const auto block = net::readIpFlashBlock(bytesOf(buffer, length));
      if (!port.downloading || !block) return NET_FAIL;
      port.download.insert(port.download.end(), block->begin(), block->end());
      return NET_OKAY;
    }
    case net::kItemIpFlashEnd:
      if (!port.downloading) return NET_FAIL;
      port.flashImage = std::move(port.download);
      port.download.clear();
      port.downloading = false;
      return NET_OKAY;
    case net::kItemIpTrapEntry: {
      if (length < sizeof(net::IPTRAPENTRY) || !buffer) return NET_FAIL;
      net::IPTRAPENTRY entry;
      std::memcpy(&entry, buffer, sizeof entry);
      if (entry.index >= net::kIpTrapDestinations) return NET_FAIL;
      std::memcpy(port.traps.destination[entry.index], entry.ipAddress, 4);
      port.trapMasks[entry.index] = entry.conditionMask;
      const std::uint16_t inUse = port.traps.count;  // packed: no reference to it
      port.traps.count = std::max<std::uint16_t>(inUse, static_cast<std::uint16_t>(entry.index + 1));
      port.traps.length = sizeof port.traps - 4;
      return NET_OKAY;
    }
    case net::kItemAdapterParms: {
      if (length < sizeof(net::NETADAPTERPARMS) || !buffer) return NET_FAIL;
      net::NETADAPTERPARMS parms;
      std::memcpy(&parms, buffer, sizeof parms);
      port.setParms = parms;
      return NET_OKAY;
    }
    case net::kItemReset:
      ++port.resets;
      return NET_OKAY;
    case net::kItemAdvanced: {
      if (length < sizeof(net::NETADVANCEDSETTINGS) || !buffer) return NET_FAIL;
      port.advanced.emplace();
      std::memcpy(&*port.advanced, buffer, sizeof *port.advanced);
      return NET_OKAY;
    }
    case net::kItemPassword:
      if (length != sizeof port.password || !buffer) return NET_FAIL;
      std::memcpy(&port.password, buffer, sizeof port.password);
      return NET_OKAY;
    case net::kItemAddressCheck: {
      // Known: the node of an adapter on the workstation's list.
      if (length < 6 || !buffer) return NET_FAIL;
      for (const auto& other : s.world.network)
        if (std::memcmp(other.node.data(), buffer, 6) == 0 && listedAt(s, other.address))
          return static_cast<int16_t>(kAddressKnown);
      return static_cast<int16_t>(kAddressUnknown);
    }
    default:
      return NET_BADCMD;
  }
}

}  // namespace

WF_MODULE_ENTRY(attachCorip32, detachCorip32)

// ---- Entry points ----

WF_MODULE_EXPORT int32_t NetEnumerate(NETENUMPROC proc) {
  std::vector<NETPORTINFO> reports;
  {
    std::lock_guard lock(state().m);
    for (std::size_t i = 0; i < state().world.network.size(); ++i) {
      const auto portId = static_cast<std::uint16_t>(i + 1);
      if (adapterOf(state(), portId)) reports.push_back(portInfo(state(), portId));
    }
  }
  for (const NETPORTINFO& info : reports)
    if (proc && proc(&info) != 1) break;
  return NET_OKAY;
}
NET_CHECK_ENTRY(NetEnumerate);

WF_MODULE_EXPORT int32_t NetOpen(uint16_t portId, NETDATAPROC proc) {
  std::lock_guard lock(state().m);
  if (!adapterOf(state(), portId)) return NET_BADID;
  state().ports[portId].dataProc = proc;
  return NET_OKAY;
}
NET_CHECK_ENTRY(NetOpen);

WF_MODULE_EXPORT int32_t NetClose(uint16_t portId) {
  std::lock_guard lock(state().m);
  if (auto it = state().ports.find(portId); it != state().ports.end()) it->second.dataProc = nullptr;
  return NET_OKAY;
}
NET_CHECK_ENTRY(NetClose);

WF_MODULE_EXPORT int32_t NetWrite(uint16_t portId, const uint8_t*, uint32_t length, uint8_t*, uint32_t* replyLength,
                                  uint16_t, uint16_t* status) {
  std::lock_guard lock(state().m);
  if (!adapterOf(state(), portId)) return NET_BADID;
  if (replyLength) *replyLength = 0;
  if (status) *status = 0;
  return static_cast<int32_t>(length);
}
NET_CHECK_ENTRY(NetWrite);

WF_MODULE_EXPORT void NetShutDown() {}
NET_CHECK_ENTRY(NetShutDown);

WF_MODULE_EXPORT uint16_t NetGetVersion() {
  return 0x0100;
}
NET_CHECK_ENTRY(NetGetVersion);

WF_MODULE_EXPORT int32_t NetGetInfo(uint16_t portId, uint16_t item, void* buffer, uint16_t* length,
                                    NETITEMPROC itemProc) {
  std::vector<std::vector<std::uint8_t>> items;
  int32_t rc = NET_OKAY;
  {
    std::lock_guard lock(state().m);
    if (portId == NET_NO_PORT)
      rc = workstationGet(state(), item, itemProc, items);
    else if (!adapterOf(state(), portId))
      return NET_BADID;
    else
      return portGet(state(), portId, item, buffer, length);
  }
  // The list goes out before the request returns, without holding the lock.
  for (const auto& entry : items) itemProc(entry.data(), static_cast<uint16_t>(entry.size()));
  return rc;
}
NET_CHECK_ENTRY(NetGetInfo);

WF_MODULE_EXPORT int32_t NetSetInfo(uint16_t portId, uint16_t item, const void* buffer, uint32_t length) {
  std::optional<Rename> rename;
  NETEVENTPROC events = nullptr;
  int32_t rc = NET_OKAY;
  {
    std::lock_guard lock(state().m);
    if (portId == NET_NO_PORT)
      return workstationSet(state(), item, buffer, length);
    if (!adapterOf(state(), portId)) return NET_BADID;
    rc = portSet(state(), portId, item, buffer, length, rename);
    events = state().eventProc;
  }
  if (rename && events) events(BCE_NET_IP, rename->portId, NETEVENT_RENAMED, rename->name);
  return rc;
}
NET_CHECK_ENTRY(NetSetInfo);

WF_MODULE_EXPORT int32_t NetRegisterCallback(NETEVENTPROC proc) {
  std::lock_guard lock(state().m);
  state().eventProc = proc;
  return NET_OKAY;
}
NET_CHECK_ENTRY(NetRegisterCallback);

WF_MODULE_EXPORT void NetUnregisterCallback() {
  std::lock_guard lock(state().m);
  state().eventProc = nullptr;
}
NET_CHECK_ENTRY(NetUnregisterCallback);

// ---- Test API ----

WF_MODULE_EXPORT uint32_t CorIp32Listed(uint32_t index, char* text, uint32_t size) {
  std::lock_guard lock(state().m);
  const auto& listed = state().world.listed;
  if (index >= listed.size() || !text || size == 0) return 0;
  const auto& e = listed[index];
  const std::string line =
      net::dottedAddress(e.address) + "\t" + e.community + "\t" + e.hostName + "\t" + e.portName;
  copyText(text, size, line);
  return static_cast<uint32_t>(line.size());
}

WF_MODULE_EXPORT uint32_t CorIp32Count(uint16_t portId, uint16_t item) {
  std::lock_guard lock(state().m);
  if (portId == NET_NO_PORT && item == net::kItemIpConfigClosed) return state().closedCount;
  auto it = state().ports.find(portId);
  return it != state().ports.end() && item == net::kItemReset ? it->second.resets : 0;
}

WF_MODULE_EXPORT uint32_t CorIp32FlashImage(uint16_t portId, uint8_t* bytes, uint32_t size) {
  std::lock_guard lock(state().m);
  auto it = state().ports.find(portId);
  if (it == state().ports.end()) return 0;
  const auto& image = it->second.flashImage;
  if (bytes) std::memcpy(bytes, image.data(), std::min<std::size_t>(size, image.size()));
  return static_cast<uint32_t>(image.size());
}

WF_MODULE_EXPORT uint32_t CorIp32SetParms(uint16_t portId, uint8_t* record70) {
  std::lock_guard lock(state().m);
  auto it = state().ports.find(portId);
  if (it == state().ports.end() || !it->second.setParms) return 0;
  if (record70) std::memcpy(record70, &*it->second.setParms, sizeof(net::NETADAPTERPARMS));
  return 1;
}

WF_MODULE_EXPORT int32_t CorIp32Deliver(uint16_t portId, const uint8_t* data, uint32_t length) {
  NETDATAPROC proc = nullptr;
  {
    std::lock_guard lock(state().m);
    auto it = state().ports.find(portId);
    if (it != state().ports.end()) proc = it->second.dataProc;
  }
  if (!proc) return 0;
  proc(portId, data, length);
  return 1;
}
