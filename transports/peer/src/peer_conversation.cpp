// The worker's conversations with the peers' printer-sharing program.
#include <algorithm>
#include <cstring>

#include "peer_items.h"
#include "peer_transport.h"
#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "platform/net_connections.h"
#include "platform/registry.h"

namespace wf::peer {
namespace {

constexpr const char* kPeerTopicName = "CORPPS$";
// Transaction time-outs (system ms).
constexpr DWORD kHelloWait = 5'500;
constexpr DWORD kHelloAgainWait = 8'500;
constexpr DWORD kEnumWait = 17'500;
constexpr DWORD kListWait = 3'500;
constexpr DWORD kUpdateWait = 1'500;
constexpr DWORD kAdviseWait = 2'500;
constexpr DWORD kCaptureWait = 3'500;
constexpr DWORD kReleaseWait = 1'500;
constexpr DWORD kUnadviseWait = 1'500;
constexpr DWORD kWritePokeWait = 8'500;
constexpr DWORD kWriteReplyWait = 3'500;
constexpr int kWriteTries = 5;
constexpr std::uint32_t kWriteTryGap = 10;

constexpr std::size_t kHelloBytes = 10;
constexpr std::size_t kRecordBytes = 100;
constexpr std::size_t kRecordShare = 6;
constexpr std::size_t kRecordShareEnd = 86;  // the share text ends here at the latest
constexpr std::size_t kRecordId = 86;
constexpr std::size_t kRecordFlags = 88;
constexpr std::size_t kWalkBuffer = 16384;
constexpr std::size_t kPortNameMax = 80;
constexpr std::size_t kRedirectionBytes = 27;

std::string upperAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

bool equalNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && upperAscii(std::string(a)) == upperAscii(std::string(b));
}

// The share text of a printer record: up to its terminator, at most to byte 85.
std::string shareText(const std::vector<std::uint8_t>& record) {
  const char* text = reinterpret_cast<const char*>(record.data() + kRecordShare);
  return std::string(text, strnlen(text, kRecordShareEnd - kRecordShare));
}

}  // namespace

UINT PeerTransport::transact(HCONV conv, const char* item, UINT type, DWORD timeout,
                             const std::vector<std::uint8_t>& data, std::vector<std::uint8_t>* answer) {
  HSZ hsz = DdeCreateStringHandleA(instance_, item, CP_WINANSI);
  HDDEDATA result = DdeClientTransaction(data.empty() ? nullptr : data.data(), static_cast<DWORD>(data.size()), conv,
                                         hsz, CF_TEXT, type, timeout, nullptr);
  UINT error = DdeGetLastError(instance_);
  if (!result && error == DMLERR_NO_ERROR) error = DMLERR_NO_CONV_ESTABLISHED;  // a stale conversation
  if (result && type == XTYP_REQUEST) {
    if (answer) {
      answer->resize(DdeGetData(result, nullptr, 0, 0));
      DdeGetData(result, answer->data(), static_cast<DWORD>(answer->size()), 0);
    }
    DdeFreeDataHandle(result);
  }
  DdeFreeStringHandle(instance_, hsz);
  return result ? DMLERR_NO_ERROR : error;
}

void PeerTransport::refreshRedirections() {
  redirections_.assign(9, "");
  for (int n = 1; n <= 9; ++n) {
    char remote[kRedirectionBytes] = {};
    std::uint32_t length = sizeof remote;
    if (netconn::netConnections().getConnection("LPT" + std::to_string(n), remote, length) == netconn::kNoError)
      redirections_[n - 1].assign(remote, strnlen(remote, sizeof remote));
  }
}

PeerHost* PeerTransport::hostOf(HCONV conv) {
  for (auto& h : hosts_) {
    if (h->conv == conv) return h.get();
  }
  return nullptr;
}

std::pair<PeerHost*, PeerPort*> PeerTransport::findPort(std::uint16_t portId) {
  for (auto& h : hosts_) {
    for (auto& p : h->ports) {
      if (p.portId == portId) return {h.get(), &p};
    }
  }
  return {nullptr, nullptr};
}

std::uint32_t PeerTransport::enumerateAll(NETENUMPROC proc) {
  refreshRedirections();
  ensurePeerKeys();
  if (readDoDefaultWorkgroup() && walkWorkgroup(ownWorkgroup_, proc) == 1) return 1;
  // A missing list key ends the walk early.
  const auto workgroups = readPeerNames(PeerList::Workgroups);
  if (!workgroups) return 0;
  for (const std::string& workgroup : *workgroups) {
    if (walkWorkgroup(workgroup, proc) == 1) return 1;
  }
  const auto computers = readPeerNames(PeerList::Computers);
  if (!computers) return 0;
  for (const std::string& computer : *computers) {
    const std::string pc = "\\\\" + computer;
    trace_.line(1, "Called Extra PC %s\n", pc.c_str());
    if (connect({pc, proc, 0, ""}) == 1) return 1;
  }
  return 0;
}

std::uint32_t PeerTransport::walkWorkgroup(const std::string& workgroup, NETENUMPROC proc) {
  NETRESOURCEA container{};
  container.dwScope = RESOURCE_GLOBALNET;
  container.dwType = 3;
  container.dwDisplayType = RESOURCEDISPLAYTYPE_DOMAIN;
  container.dwUsage = RESOURCEUSAGE_CONTAINER;
  std::string name = workgroup;
  container.lpRemoteName = name.data();
  HANDLE walk = nullptr;
  // A workgroup that cannot be opened is skipped: the others still count.
  if (WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &container, &walk) != NO_ERROR) {
    trace_.line(0, "EnumWorkGroup: cannot open workgroup %s", workgroup.c_str());
    return 0;
  }
  bool stopped = false;
  for (DWORD status = NO_ERROR; status == NO_ERROR && !stopped;) {
    std::vector<std::uint64_t> buffer(kWalkBuffer / sizeof(std::uint64_t));
    DWORD count = 0xFFFFFFFF;
    DWORD size = kWalkBuffer;
    status = WNetEnumResourceA(walk, &count, buffer.data(), &size);
    if (status != NO_ERROR) break;
    const auto* entries = reinterpret_cast<const NETRESOURCEA*>(buffer.data());
    for (DWORD i = 0; i < count && !stopped; ++i) {
      const NETRESOURCEA& e = entries[i];
      if (e.dwDisplayType != RESOURCEDISPLAYTYPE_SERVER || !e.lpRemoteName) continue;
      const std::string remote = e.lpRemoteName;
      const std::string bare = remote.starts_with("\\\\") ? remote.substr(2) : remote;
      if (equalNoCase(bare, ownComputer_)) continue;
      trace_.line(1, "EnumWorkGroup: Calling with PC %s\n", remote.c_str());
      stopped = connect({remote, proc, 0, workgroup}) == 1;
    }
  }
  const bool closed = WNetCloseEnum(walk) == NO_ERROR;
  if (!closed || stopped) {
    trace_.line(1, " Exit EnumWorkGroup() FAIL");
    return 1;
  }
  trace_.line(1, " Exit EnumWorkGroup() OK");
  return 0;
}

std::uint32_t PeerTransport::connect(const ConnectRequest& request) {
  for (auto& h : hosts_) {
    if (h->pcName == request.pcName) return reconnect(*h, request);
  }
  HSZ service = DdeCreateStringHandleA(instance_, (request.pcName + "\\NDDE$").c_str(), CP_WINANSI);
  HSZ topic = DdeCreateStringHandleA(instance_, kPeerTopicName, CP_WINANSI);
  HCONV conv = DdeConnect(instance_, service, topic, nullptr);
  DdeFreeStringHandle(instance_, service);
  DdeFreeStringHandle(instance_, topic);
  if (!conv) return 0;
  if (UINT e = transact(conv, "CorHi", XTYP_POKE, kHelloWait, std::vector<std::uint8_t>(kHelloBytes))) {
    trace_.line(0, "CorHi Poke failed, ret = %x\n", e);
    DdeDisconnect(conv);
    return 0;
  }
  auto owned = std::make_unique<PeerHost>();
  owned->pcName = request.pcName;
  owned->workgroup = request.workgroup;
  owned->conv = conv;
  PeerHost& host = *owned;
  {
    std::lock_guard lock(hostsMutex_);
    hosts_.push_back(std::move(owned));
  }
  std::vector<std::uint8_t> answer;
  if (UINT e = transact(conv, "EnumPrinters", XTYP_REQUEST, kEnumWait, {}, &answer); e || answer.size() < 4) {
    trace_.line(0, "Req Enum failed, ret = %x\n", e);
    DdeDisconnect(conv);
    return 0;
  }
  const std::int32_t told = static_cast<std::int32_t>(loadLe32(answer.data()));
  const std::uint32_t count = told < 0 ? 0 : static_cast<std::uint32_t>(told);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::vector<std::uint8_t> record;
    if (!listPrinter(host, i, record)) return 0;
    if (host.ports.size() >= kMaxPortsPerHost) {
      trace_.line(0, "Printer %u of %s not kept: a peer holds %zu", i, host.pcName.c_str(), kMaxPortsPerHost);
      continue;
    }
    PeerPort port;
    port.localId = port.portId = nextPortId_++;
    port.peerId = loadLe16(&record[kRecordId]);
    {
      std::lock_guard lock(hostsMutex_);
      host.ports.push_back(port);
      host.advising = false;
    }
    if (!report(host, port, record, request)) {
      trace_.line(0, "Enumeration returning false");
      return 1;
    }
  }
  return 0;
}

// Pokes and requests "ListPrinters" of one index; the record, 100 bytes.
bool PeerTransport::listPrinter(PeerHost& host, std::uint32_t index, std::vector<std::uint8_t>& record) {
  std::vector<std::uint8_t> which(8);
  storeLe32(&which[0], index);
  storeLe16(&which[4], nextPortId_);
  if (UINT e = transact(host.conv, "ListPrinters", XTYP_POKE, kListWait, which)) {
    trace_.line(0, "ListP Poke failed, ret = %x\n", e);
    return false;
  }
  UINT e = transact(host.conv, "ListPrinters", XTYP_REQUEST, kListWait, {}, &record);
  if (e || record.size() < kRecordBytes) {
    trace_.line(0, "List Req failed, ret = %x\n", e);
    return false;
  }
  return true;
}

bool PeerTransport::report(const PeerHost& host, const PeerPort& port, const std::vector<std::uint8_t>& record,
                           const ConnectRequest& request) {
  if (request.filter != 0 && request.filter != port.peerId) return true;
  if (!request.enumProc) return true;
  const std::string shares = shareText(record);
  NETPORTINFO info{};
  std::string name = host.pcName + "\\" + shares;
  name.resize(std::min(name.size(), kPortNameMax));
  std::memcpy(info.portName, name.data(), std::min(name.size(), sizeof info.portName - 1));
  info.flags = loadLe16(&record[kRecordFlags]);
  info.portId = port.portId;
  info.connections = kPeerNetworkBit;
  for (std::size_t n = 0; n < redirections_.size(); ++n) {
    if (redirections_[n].empty()) continue;
    for (std::size_t start = 0; start <= shares.size();) {
      const std::size_t comma = std::min(shares.find(',', start), shares.size());
      if (equalNoCase(redirections_[n], host.pcName + "\\" + shares.substr(start, comma - start)))
        info.connections |= 1u << (16 + n);
      start = comma + 1;
    }
  }
  return request.enumProc(&info) != 0;
}

std::uint32_t PeerTransport::reconnect(PeerHost& host, const ConnectRequest& request) {
  for (auto& p : host.ports) p.seen = false;
  if (UINT e = transact(host.conv, "CorHi", XTYP_POKE, kHelloAgainWait)) {
    trace_.line(0, "CorHi Poke failed, ret = %x\n", e);
    HSZ service = DdeCreateStringHandleA(instance_, (host.pcName + "\\NDDE$").c_str(), CP_WINANSI);
    HSZ topic = DdeCreateStringHandleA(instance_, kPeerTopicName, CP_WINANSI);
    HCONV conv = DdeConnect(instance_, service, topic, nullptr);
    DdeFreeStringHandle(instance_, service);
    DdeFreeStringHandle(instance_, topic);
    {
      std::lock_guard lock(hostsMutex_);
      host.conv = conv;
      // A new conversation has neither the advise loop nor the captures: both are made again.
      host.advising = false;
    }
    if (!conv || transact(conv, "CorHi", XTYP_POKE, kHelloAgainWait)) {
      trace_.line(0, "CorHi Poke failed again");
      return 0;
    }
    for (auto& p : host.ports) {
      if (!p.captured) continue;
      p.captured = false;
      capture(p.portId, p.dataProc);
    }
  }
  std::vector<std::uint8_t> answer;
  if (UINT e = transact(host.conv, "EnumPrinters", XTYP_REQUEST, kEnumWait, {}, &answer); e || answer.size() < 4) {
    trace_.line(0, "Req Enum failed, ret = %x\n", e);
    removeHost(host);
    return 0;
  }
  const std::int32_t told = static_cast<std::int32_t>(loadLe32(answer.data()));
  const std::uint32_t count = told < 0 ? 0 : static_cast<std::uint32_t>(told);
  auto dropUnseen = [&] {
    std::lock_guard lock(hostsMutex_);
    std::erase_if(host.ports, [](const PeerPort& p) { return !p.seen; });
  };
  for (std::uint32_t i = 0; i < count; ++i) {
    std::vector<std::uint8_t> record;
    if (!listPrinter(host, i, record)) {
      dropUnseen();
      return 0;
    }
    const std::uint16_t peerId = loadLe16(&record[kRecordId]);
    auto found = std::find_if(host.ports.begin(), host.ports.end(), [&](const PeerPort& p) { return p.peerId == peerId; });
    PeerPort* port = nullptr;
    if (found == host.ports.end()) {
      if (host.ports.size() >= kMaxPortsPerHost) {
        trace_.line(0, "Printer %u of %s not kept: a peer holds %zu", i, host.pcName.c_str(), kMaxPortsPerHost);
        continue;
      }
      PeerPort fresh;
      fresh.localId = fresh.portId = nextPortId_++;
      fresh.peerId = peerId;
      std::lock_guard lock(hostsMutex_);
      host.ports.push_back(fresh);
      host.advising = false;
      port = &host.ports.back();
    } else {
      port = &*found;
      std::vector<std::uint8_t> ids(8);
      storeLe32(&ids[0], port->localId);
      storeLe16(&ids[4], port->peerId);
      transact(host.conv, "UpdateID", XTYP_POKE, kUpdateWait, ids);
    }
    port->seen = true;
    {
      std::lock_guard lock(hostsMutex_);
      host.workgroup = request.workgroup;
    }
    if (!report(host, *port, record, request)) {
      trace_.line(0, "NetReconnectPrinter=> Recon - enum aborted");
      return 1;
    }
  }
  dropUnseen();
  return 0;
}

void PeerTransport::removeHost(PeerHost& host) {
  HCONV conv = host.conv;
  {
    std::lock_guard lock(hostsMutex_);
    std::erase_if(hosts_, [&](const std::unique_ptr<PeerHost>& h) { return h.get() == &host; });
  }
  if (conv) DdeDisconnect(conv);
}

std::uint32_t PeerTransport::capture(std::uint16_t portId, NETDATAPROC proc) {
  auto [host, port] = findPort(portId);
  if (!port) return 1;
  if (!host->advising) {
    if (UINT e = transact(host->conv, "PrinterAlerts", XTYP_ADVSTART, kAdviseWait)) {
      trace_.line(0, "CorPeer:NetOpen:Advstart failed, ret = %x\n", e);
      return 1;
    }
  }
  host->advising = true;
  std::vector<std::uint8_t> id(2);
  storeLe16(id.data(), port->localId);
  if (UINT e = transact(host->conv, "Capture", XTYP_POKE, kCaptureWait, id)) {
    trace_.line(0, "CorPeer:NetOpen:Capture failed, ret = %x\n", e);
    return 1;
  }
  port->captured = true;
  port->dataProc = proc;
  return 0;
}

void PeerTransport::releasePort(PeerHost& host, PeerPort& port) {
  if (port.captured) {
    std::vector<std::uint8_t> id(2);
    storeLe16(id.data(), port.localId);
    transact(host.conv, "Release", XTYP_POKE, kReleaseWait, id);
    port.captured = false;
  }
  if (std::none_of(host.ports.begin(), host.ports.end(), [](const PeerPort& p) { return p.captured; }) &&
      host.advising) {
    transact(host.conv, "PrinterAlerts", XTYP_ADVSTOP, kUnadviseWait);
    host.advising = false;
  }
}

void PeerTransport::release(std::uint16_t portId) {
  auto [host, port] = findPort(portId);
  if (port) releasePort(*host, *port);
}

void PeerTransport::writePort(PeerRequest& r) {
  r.result = 0;
  auto [host, port] = findPort(r.portId);
  if (!port) return;
  const std::uint32_t n = static_cast<std::uint32_t>(r.data.size());
  std::vector<std::uint8_t> poke(12 + n);
  storeLe16(&poke[0], port->localId);
  storeLe16(&poke[2], r.command);
  storeLe32(&poke[4], n);
  storeLe32(&poke[8], r.hasReply && r.replyCapacity >= 5 ? r.replyCapacity - 5 : 0);
  std::copy(r.data.begin(), r.data.end(), poke.begin() + 12);
  UINT e = 0;
  for (int attempt = 0; attempt < kWriteTries; ++attempt) {
    if (attempt) sleepFor(kWriteTryGap);
    if (!(e = transact(host->conv, "WriteData", XTYP_POKE, kWritePokeWait, poke))) break;
  }
  if (e) {
    trace_.line(0, "WriteData Poke failed, ret = %x, PC = %s\n", e, host->pcName.c_str());
    r.status = NET_STATUS_UNREADABLE;
    return;
  }
  std::vector<std::uint8_t> answer;
  if (transact(host->conv, "WriteData", XTYP_REQUEST, kWriteReplyWait, {}, &answer) || answer.size() < 16) {
    r.status = NET_STATUS_UNREADABLE;
    return;
  }
  const std::uint32_t m = loadLe32(&answer[8]);
  const std::uint16_t replyStatus = loadLe16(&answer[12]);
  if (std::uint64_t{16} + m > answer.size()) {
    trace_.line(0, "WriteData reply of %u bytes holds %zu", m, answer.size() - 16);
    r.status = NET_STATUS_UNREADABLE;
    return;
  }
  const std::uint32_t sent = static_cast<std::uint32_t>(poke.size() - 12);
  if (replyStatus == 0) {
    if (r.hasReply) {
      r.replyLength = 0;
      r.replyLengthSet = true;
    }
    r.status = NET_STATUS_UNREADABLE;
    r.result = sent;
    return;
  }
  r.result = sent;
  if (!r.hasReply) {
    r.status = NET_STATUS_COMPLETE;
    return;
  }
  r.status = replyStatus;
  r.replyLengthSet = true;
  if (replyStatus != NET_STATUS_COMPLETE && replyStatus != NET_STATUS_TRUNCATED) {
    r.replyLength = 0;
    return;
  }
  std::vector<std::uint8_t> packet{0xA5, 0, 0, 0x50, static_cast<std::uint8_t>(r.command)};
  storeBe16(&packet[1], static_cast<std::uint16_t>(m + 2));
  packet.insert(packet.end(), answer.begin() + 16, answer.begin() + 16 + m);
  r.replyLength = m + 5;
  if (packet.size() > r.replyCapacity) {
    packet.resize(r.replyCapacity);
    r.status = NET_STATUS_TRUNCATED;
  }
  r.reply = std::move(packet);
}

std::uint32_t PeerTransport::specificAddress(PeerRequest& r) {
  auto [host, port] = findPort(r.portId);
  if (!port) return 1;
  r.pcName = host->pcName;
  r.portId = port->peerId;
  return 0;
}

void PeerTransport::shutDownHosts() {
  std::vector<std::unique_ptr<PeerHost>> hosts;
  for (auto& h : hosts_) {
    while (!h->ports.empty() && h->ports.back().captured) {
      releasePort(*h, h->ports.back());
      std::lock_guard lock(hostsMutex_);
      h->ports.pop_back();
    }
    DdeDisconnect(h->conv);
  }
  std::lock_guard lock(hostsMutex_);
  hosts_.clear();
}

HDDEDATA PeerTransport::ddeCallback(UINT type, HCONV conv, HDDEDATA data) {
  switch (type) {
    case XTYP_ADVDATA: {
      std::vector<std::uint8_t> alert(DdeGetData(data, nullptr, 0, 0));
      DdeGetData(data, alert.data(), static_cast<DWORD>(alert.size()), 0);
      auto packet = peerAlertPacket(alert);
      if (!packet) {
        trace_.line(0, "Advise of %zu bytes dropped", alert.size());
        return reinterpret_cast<HDDEDATA>(std::uintptr_t{DDE_FACK});
      }
      PeerHost* host = hostOf(conv);
      if (!host) return reinterpret_cast<HDDEDATA>(std::uintptr_t{DDE_FACK});
      const std::uint16_t peerId = loadLe16(alert.data());
      for (const auto& p : host->ports) {
        if (p.peerId == peerId && p.dataProc)
          p.dataProc(p.portId, packet->data(), static_cast<std::uint32_t>(packet->size()));
      }
      return reinterpret_cast<HDDEDATA>(std::uintptr_t{DDE_FACK});
    }
    case XTYP_DISCONNECT: {
      PeerHost* host = hostOf(conv);
      if (!host) {
        trace_.line(0, "Disconnected from unknown host\n");
        return nullptr;
      }
      std::vector<std::uint16_t> ids;
      for (const auto& p : host->ports) ids.push_back(p.portId);
      NETEVENTPROC proc;
      {
        std::lock_guard lock(eventMutex_);
        proc = eventProc_;
      }
      if (proc) {
        for (auto id : ids) proc(kPeerNetworkBit, id, NETEVENT_DISCONNECTED, nullptr);
      }
      trace_.line(0, "Disconnect message from PC = %s\n", host->pcName.c_str());
      return nullptr;
    }
    case XTYP_ERROR:
      return nullptr;
    default:
      trace_.line(0, "[CorPeer:DdeClientCallback]We got this message %d", static_cast<int>(type));
      return nullptr;
  }
}

void PeerTransport::announceComputer(const std::string& name) {
  const std::string pc = name.starts_with("\\\\") ? name : "\\\\" + name;
  std::vector<std::uint16_t> ids;
  {
    std::lock_guard lock(hostsMutex_);
    for (auto& h : hosts_) {
      if (h->pcName != pc) continue;
      for (auto& p : h->ports) ids.push_back(p.portId);
    }
  }
  NETEVENTPROC proc;
  {
    std::lock_guard lock(eventMutex_);
    proc = eventProc_;
  }
  if (!proc) return;
  for (auto id : ids) proc(kPeerNetworkBit, id, NETEVENT_REMOVED, nullptr);
}

void PeerTransport::announceWorkgroup(const std::string& workgroup) {
  std::vector<std::string> names;
  {
    std::lock_guard lock(hostsMutex_);
    for (auto& h : hosts_) {
      if (h->workgroup == workgroup) names.push_back(h->pcName);
    }
  }
  for (const auto& n : names) announceComputer(n);
}

}  // namespace wf::peer
