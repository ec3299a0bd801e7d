#include "netware_transport.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "nw_log.h"
#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "settings.h"
#include "transports/common/adapter_wire.h"

namespace wf::netware {

namespace wire = ::wf::adapter;

namespace {

constexpr std::size_t kSharedDatagram = 512;
constexpr std::size_t kNpaFlags = 5, kNpaCommand = 6;  // in a datagram: fragment header first

IpxAddress addressOf(const Network& net, const Node& node, std::uint16_t socket) {
  IpxAddress a;
  a.network = net;
  a.node = node;
  a.socket = socket;
  return a;
}

// The NPA packet's length field + 5 fits the datagram.
bool wholeInDatagram(View d) {
  return d.size() >= 6 && static_cast<std::size_t>(loadBe16(d.data() + 3)) + 5 <= d.size();
}

bool sharedSocketCommand(std::uint16_t command) {
  switch (command) {
    case 0x44:
    case 0x45:
    case 0x5B:
    case 0x33:
    case 0x3C:
    case 0x36:
    case 0x0C:
      return true;
    default:
      return false;
  }
}

const char* failureName(int code) {
  switch (code) {
    case NET_READFAIL:
      return "NET_READFAIL";
    case NET_WRITEFAIL:
      return "NET_WRITEFAIL";
    default:
      return "UNKNOWN";
  }
}

}  // namespace

// ---- Start-up ----------------------------------------------------------------------

std::unique_ptr<NetWareTransport> NetWareTransport::start() {
  std::unique_ptr<NetWareTransport> t(new NetWareTransport);
  t->client_ = NwClientLibrary::load();
  if (!t->client_) return nullptr;
  t->nw_ = &t->client_->calls();
  std::uint8_t major = 0, minor = 0, revision = 0;
  if (t->nw_->NWCallsInit() != 0 || t->nw_->NWGetRequesterVersion(&major, &minor, &revision) != 0 ||
      (major | minor | revision) == 0)
    return nullptr;
  const LogSettings log = readLogSettings();
  nwLog().start(log.level, log.path, log.name);
  t->shared_ = std::make_unique<IpxSocket>();
  if (t->shared_->error()) {
    nwLog().write("Async socket creation error 0x%x\n", t->shared_->error());
    return nullptr;
  }

  t->startThreads();
  return t;
}

void NetWareTransport::startThreads() {
  handler_ = Thread("cornw32-handler", [this](std::stop_token stop) { handleMessages(stop); });
  // Bound before anything is sent from it: the adapters answer to this socket.
  if (const int rc = shared_->bind(IpxAddress{}.toSockaddr())) {
    nwLog().write("Async thread bind error 0x%x\n", rc);
    return;
  }
  shared_->setPacketType(wire::kPacketType);
  shared_->setReceiveBuffer(8192);
  sharedReader_ = Thread("cornw32-async", [this](std::stop_token stop) { readSharedSocket(stop); });
}

NetWareTransport::~NetWareTransport() {
  if (shared_) shared_->close();
  sharedReader_ = Thread();
  handler_ = Thread();
}

void NetWareTransport::readSharedSocket(std::stop_token stop) {
  std::uint8_t buffer[kSharedDatagram];
  while (!stop.stop_requested()) {
    SOCKADDR_IPX from{};
    const IpxIo in = shared_->receiveFrom(buffer, sizeof buffer, &from, nullptr, stop);
    if (in.error == WSAEINTR || in.error == WSAENOTSOCK) return;
    if (in.error && in.error != WSAEMSGSIZE) {
      nwLog().write("recvfrom in NWAsyncThread received error 0x%x\n", in.error);
      continue;
    }
    postToHandler(kUnsolicited, from, buffer, static_cast<std::size_t>(in.bytes));
  }
}

bool NetWareTransport::postToHandler(std::uint32_t message, const SOCKADDR_IPX& from,
                                     const std::uint8_t* data, std::size_t n) {
  ThreadId handler;
  {
    std::unique_lock g(readyMutex_);
    readyChanged_.wait(g, [&] { return handlerReady_; });
    handler = handlerId_;
  }
  Payload payload(sizeof from + n);
  std::memcpy(payload.data(), &from, sizeof from);
  std::memcpy(payload.data() + sizeof from, data, n);
  return postThreadMessage(handler, message, 0, 0, std::move(payload));
}

void NetWareTransport::handleMessages(std::stop_token stop) {
  messageQueueFd();  // makes this thread's queue before anyone posts to it
  {
    std::lock_guard g(readyMutex_);
    handlerId_ = currentThreadId();
    handlerReady_ = true;
  }
  readyChanged_.notify_all();
  Message m;
  while (getMessage(m, stop)) {
    if (m.payload.size() < sizeof(SOCKADDR_IPX)) continue;
    if (m.message == kDiscoveryReply)
      onDiscoveryReply(m);
    else if (m.message == kUnsolicited)
      onUnsolicited(m);
  }
  // Replies posted but never parsed must not hold a walk.
  std::lock_guard g(discoveryMutex_);
  discoveryHandled_ = ~std::uint64_t{0};
  discoveryParsed_.notify_all();
}

// ---- The handler thread --------------------------------------------------------------

void NetWareTransport::onDiscoveryReply(const Message& m) {
  SOCKADDR_IPX from;
  std::memcpy(&from, m.payload.data(), sizeof from);
  const View reply(m.payload.data() + sizeof from, m.payload.size() - sizeof from);
  std::optional<CapturedPorts> captured;
  {
    std::lock_guard g(clientMutex_);
    if (captures_) captured = captures_->ports;
  }
  table_.parseReply(IpxAddress::from(from), reply, supervisor_.load(), captured ? &*captured : nullptr);
  std::lock_guard g(discoveryMutex_);
  ++discoveryHandled_;
  discoveryParsed_.notify_all();
}

void NetWareTransport::onUnsolicited(const Message& m) {
  SOCKADDR_IPX raw;
  std::memcpy(&raw, m.payload.data(), sizeof raw);
  const IpxAddress from = IpxAddress::from(raw);
  const View d(m.payload.data() + sizeof raw, m.payload.size() - sizeof raw);
  if (d.size() < 6) {
    nwLog().write("Dropped a datagram of %d bytes on the shared socket\n", static_cast<int>(d.size()));
    return;
  }
  {
    std::lock_guard g(windowMutex_);
    AwaitedReply& a = awaited_;
    // Only the written port's reply to the written command, and only whole.
    if ((d[kNpaFlags] & wire::kNpaReply) && a.waiting && !a.ready && from == a.from &&
        d[kNpaCommand] == a.command && wholeInDatagram(d)) {
      a.datagram.assign(d.begin(), d.begin() + loadBe16(d.data() + 3) + 5);
      a.ready = true;
      replyReady_.notify_all();
      return;
    }
  }
  const auto port = table_.portAtChannel(from);
  if (!port || !port->data) return;
  if (!(d[kNpaFlags] & wire::kNpaMore) && wire::fragmentNumber(d) == 0 && wholeInDatagram(d)) {
    port->data(port->id, d.data() + wire::kFragmentHeader,
               static_cast<std::uint32_t>(loadBe16(d.data() + 3) + 3));
    return;
  }
  sendHostPacketSize(*port);
  if (const NETEVENTPROC events = events_.load()) events(BCE_NET_NETWARE, port->id, NETEVENT_RESYNC, nullptr);
}

void NetWareTransport::sendHostPacketSize(const PortView& port) {
  const Bytes hps = wire::hostPacketSize();
  const SOCKADDR_IPX to = addressOf(port.network, port.ipxNode, port.dataChannel()).toSockaddr();
  if (shared_->sendTo(hps.data(), hps.size(), to).error) nwLog().write("Failed to set Host Packet Size\n");
}

// ---- Discovery -------------------------------------------------------------------------

namespace {

// "Query LPA Parameters" to the adapter: its reply's length (0: none) and sender.
std::uint32_t askParameters(const Network& net, const Node& node, std::uint32_t timeoutMs,
                            std::uint8_t (&reply)[wire::kReplyBuffer], IpxAddress* source) {
  const Bytes query = wire::textCommand(wire::kTagQueryParameters);
  std::uint32_t length = sizeof reply;
  ExchangeRequest r;
  r.to = addressOf(net, node, wire::kCommandSocket);
  r.request = query;
  r.reply = reply;
  r.replyLength = &length;
  r.timeoutMs = timeoutMs;
  r.source = source;
  return sendToTheBox(r) == NET_OKAY ? length : 0;
}

}  // namespace

bool NetWareTransport::queryAdapter(const Network& net, const Node& node, std::vector<std::uint16_t>* touched,
                                    const CapturedPorts* captured) {
  std::uint8_t reply[wire::kReplyBuffer];
  IpxAddress source;
  const std::uint32_t length = askParameters(net, node, wire::kQueryTimeout, reply, &source);
  return length && table_.parseReply(addressOf(source.network, source.node, 0), View(reply, length),
                                     supervisor_.load(), captured, touched);
}

bool NetWareTransport::requery(const Network& net, const Node& node, const CapturedPorts* captured) {
  for (int attempt = 0; attempt < wire::kRequeryAttempts; ++attempt)
    if (queryAdapter(net, node, nullptr, captured)) return true;
  return false;
}

void NetWareTransport::broadcast(const Network& net) {
  IpxSocket socket;
  if (socket.error()) {
    nwLog().write("BroadCastToAdapters() failed in socket with error 0x%x\n", socket.error());
    return;
  }
  if (const int rc = socket.bind(IpxAddress{}.toSockaddr())) {
    nwLog().write("Discovery thread bind error 0x%x\n", rc);
    return;
  }
  socket.setPacketType(wire::kPacketType);
  socket.setReceiveBuffer(262144);
  socket.setBroadcast(true);
  const Bytes query = wire::textCommand(wire::kTagQueryParameters);
  const Node everyone = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const SOCKADDR_IPX to = addressOf(net, everyone, wire::kCommandSocket).toSockaddr();
  if (const IpxIo out = socket.sendTo(query.data(), query.size(), to); out.error) {
    nwLog().write("BroadCastToAdapters() failed in sendto with error 0x%x\n", out.error);
    return;
  }
  std::uint64_t last = 0;
  std::uint8_t buffer[wire::kReplyBuffer];
  while (socket.waitReadable(wire::kDiscoverySilence) == 1) {
    SOCKADDR_IPX from{};
    const IpxIo in = socket.receiveFrom(buffer, sizeof buffer, &from, nullptr);
    if (in.error && in.error != WSAEMSGSIZE) continue;
    {
      std::lock_guard g(discoveryMutex_);
      last = ++discoveryPosted_;
    }
    if (!postToHandler(kDiscoveryReply, from, buffer, static_cast<std::size_t>(in.bytes))) {
      std::lock_guard g(discoveryMutex_);
      ++discoveryHandled_;
    }
  }
  // The walk that follows must see every reply parsed.
  std::unique_lock g(discoveryMutex_);
  discoveryParsed_.wait(g, [&] { return discoveryHandled_ >= last; });
}

void NetWareTransport::searchBindery(const CapturedPorts* captured) {
  std::vector<std::pair<Network, Node>> addresses;
  {
    std::lock_guard g(clientMutex_);
    addresses = binderyAdapterAddresses(*nw_);
  }
  for (const auto& [net, node] : addresses) queryAdapter(net, node, nullptr, captured);
}

CapturedPorts NetWareTransport::rebuildCaptures() {
  const CaptureSettings settings = readCaptureSettings();
  std::lock_guard g(clientMutex_);
  captures_ = scanCapturedPorts(*nw_, settings.ignoreRprinter);
  return captures_->ports;
}

CapturedPorts NetWareTransport::capturesWhenDue() {
  const CaptureSettings settings = readCaptureSettings();
  {
    std::lock_guard g(clientMutex_);
    const bool due = !captures_ || captures_->ports.masks.empty() ||
                     captures_->remoteNames != currentRemoteNames() ||
                     now() - captures_->at >= static_cast<std::time_t>(settings.enumWaitSeconds);
    if (!due) return captures_->ports;
  }
  return rebuildCaptures();
}

void NetWareTransport::beginWalk() {
  {
    std::unique_lock g(readyMutex_);
    readyChanged_.wait(g, [&] { return handlerReady_; });
  }
  std::lock_guard g(clientMutex_);
  if (!serversScanned_) {
    nwLog().write("Initializing DLL...");
    fileServers_ = scanFileServers(*nw_);
    serversScanned_ = true;
    nwLog().write("Done!\n");
  }
  const bool supervisor = hasSupervisorRights(*nw_);
  supervisor_.store(supervisor);
  nwLog().write(supervisor ? "Access privilege SUPERVISOR detected\n" : "Access privilege USER detected\n");
}

std::optional<std::uint8_t> NetWareTransport::readPortMode(const PortView& port) {
  const std::uint8_t group =
      port.number == 0 ? wire::var::kSerialGroup : static_cast<std::uint8_t>(128 + port.number);
  const Bytes request = wire::VariableRead().add(group, 0).packet();
  std::uint8_t reply[wire::kReplyBuffer];
  std::uint32_t length = sizeof reply;
  ExchangeRequest r;
  r.to = addressOf(port.network, port.ipxNode, wire::kVariableSocket);
  r.request = request;
  r.reply = reply;
  r.replyLength = &length;
  r.timeoutMs = wire::kSettingsTimeout;
  r.npa = true;
  if (sendToTheBox(r) != NET_OKAY) return std::nullopt;
  const auto parsed = wire::readVariableReply(View(reply, length));
  if (!parsed || parsed->result()) return std::nullopt;
  std::uint8_t value = 0;
  if (!wire::fetchValue(*parsed, group, 0, std::span<std::uint8_t>(&value, 1))) return std::nullopt;
  return value;
}

NETPORTINFO NetWareTransport::portInfo(const PortView& port) {
  NETPORTINFO info = buildPortInfo(port, supervisor_.load());
  if (port.adapterKind == AdapterKind::SinglePort && (port.portFlags & 0x80)) {
    info.flags |= 3;
    sendHostPacketSize(port);
  } else if (port.adapterKind == AdapterKind::MultiPort) {
    const auto mode = readPortMode(port);
    if (mode && (*mode & 0xC0) == 0xC0) {
      info.flags |= 2;
      sendHostPacketSize(port);
    }
  }
  return info;
}

bool NetWareTransport::report(const PortView& port, NETENUMPROC proc) {
  const NETPORTINFO info = portInfo(port);
  return proc(&info) == 1;
}

void NetWareTransport::refreshFileServers() {
  std::lock_guard g(clientMutex_);
  fileServers_ = scanFileServers(*nw_);
}

std::int32_t NetWareTransport::enumerate(NETENUMPROC proc) {
  beginWalk();
  const SearchSettings search = readSearchSettings();
  bool going = proc != nullptr;
  // A captured port reported after its direct query is not reported again by
  // the final walk: the broker would hand the same printer out twice.
  std::set<std::uint16_t> reported;
  auto reportOnce = [&](const PortView& p) {
    if (going && p.reported && reported.insert(p.id).second) going = report(p, proc);
  };
  // Each captured adapter queried directly, its reported ports reported at once.
  auto queryCaptured = [&] {
    const CapturedPorts captured = rebuildCaptures();
    for (const auto& [address, masks] : captured.masks) {
      std::vector<std::uint16_t> touched;
      if (!queryAdapter(address.first, address.second, &touched, &captured)) continue;
      for (const std::uint16_t id : touched)
        if (const auto p = table_.port(id)) reportOnce(*p);
    }
    return captured;
  };
  if (supervisor_.load()) {
    table_.clearMarks();
    const CapturedPorts captured = queryCaptured();
    switch (search.method) {
      case 1:
        nwLog().write("Enumerating in BINDERY mode\n");
        searchBindery(&captured);
        break;
      case 2:
        nwLog().write("Enumerating local network\n");
        broadcast(Network{});
        break;
      case 4:
        nwLog().write("Enumerating in single network mode\n");
        broadcast(search.network);
        break;
      default:
        break;
    }
    refreshFileServers();
    if (search.method == 1 || search.method == 2 || search.method == 4)
      for (const PortView& p : table_.ports()) reportOnce(p);
  } else {
    nwLog().write("Enumerating captured ports\n");
    table_.clearMarks();
    queryCaptured();
    refreshFileServers();
    nwLog().write("Captured ports enumerated\n");
  }
  return NET_OKAY;
}

std::int32_t NetWareTransport::enumSpecific(const NETADDRESS* address, NETENUMPROC proc) {
  beginWalk();
  if (!address) return NET_FAIL;
  Network net;
  Node node;
  std::memcpy(net.data(), address->netware + NETADDRESS_NW_NETWORK, 4);
  std::memcpy(node.data(), address->netware + NETADDRESS_NW_NODE, 6);
  const std::uint8_t selector = address->netware[NETADDRESS_NW_PORT_SELECTOR];
  const bool answered = table_.knowsAdapter(net, node) ? requery(net, node, nullptr)
                                                       : queryAdapter(net, node, nullptr, nullptr);
  if (!answered) {
    nwLog().write("Exiting NetEnumSpecific with return code NET_FAIL\n");
    return NET_FAIL;
  }
  auto port = table_.portAt(net, node, selector);
  if (!port) {
    nwLog().write("Exiting NetEnumSpecific with return code NET_FAIL\n");
    return NET_FAIL;
  }
  table_.applyCaptures(port->id, capturesWhenDue());
  port = table_.port(port->id);
  const bool supervisor = supervisor_.load();
  if (supervisor || port->captureMask) {
    nwLog().write("Calling callback to enumerate with <%s>\n", port->name.c_str());
    if (proc) report(*port, proc);
    nwLog().write("back from callback\n");
  } else {
    nwLog().write("You're not a supervisor\n");
    nwLog().write("Port <%s> not captured\n", port->name.c_str());
  }
  nwLog().write("Exiting NetEnumSpecific with return code NET_OKAY\n");
  return NET_OKAY;
}

bool NetWareTransport::waitForReset(const Network& net, const Node& node, std::uint32_t limitMs) {
  if (!sleepFor(wire::kResetPause)) return false;
  const auto deadline = deadlineAfter(limitMs);
  do {
    std::uint8_t reply[wire::kReplyBuffer];
    if (askParameters(net, node, wire::kResetQueryTimeout, reply, nullptr)) return true;
  } while (msUntil(deadline) > 0);
  return false;
}

// ---- Port entry points ----------------------------------------------------------------------

std::int32_t NetWareTransport::specificAddress(std::uint16_t id, NETADDRESS* address) {
  const auto port = table_.port(id);
  if (!port || !address) return NET_BADID;
  std::memcpy(address->netware + NETADDRESS_NW_NETWORK, port->network.data(), 4);
  std::memcpy(address->netware + NETADDRESS_NW_NODE, port->ipxNode.data(), 6);
  address->netware[NETADDRESS_NW_PORT_SELECTOR] = port->selector();
  return NET_OKAY;
}

std::int32_t NetWareTransport::open(std::uint16_t id, NETDATAPROC proc) {
  return table_.setDataCallback(id, proc) ? NET_OKAY : NET_BADID;
}

void NetWareTransport::close(std::uint16_t id) {
  table_.setDataCallback(id, nullptr);
}

std::int32_t NetWareTransport::write(std::uint16_t id, const std::uint8_t* data, std::uint32_t length,
                                     std::uint8_t* reply, std::uint32_t* replyLength, std::uint16_t command,
                                     std::uint16_t* status) {
  const auto port = table_.port(id);
  nwLog().write("Entering NetWrite for printer %s(%d)\n", port ? port->name.c_str() : "Unknown", id);
  if (!port) {
    nwLog().write("Exiting NetWrite for id %d\n", id);
    return NET_BADID;
  }
  const char* name = port->name.c_str();
  if (!port->dataChannel() || (!data && length)) {
    nwLog().write("Exiting NetWrite for %s(%d) unsuccessfully with error %s\n", name, id, "DEVERR_BADCMD");
    return NET_BADCMD;
  }
  const bool shared = sharedSocketCommand(command);
  std::unique_lock<std::mutex> sharedWrite(sharedWriteMutex_, std::defer_lock);
  const IpxAddress to = addressOf(port->network, port->ipxNode, port->dataChannel());
  if (shared) {
    sharedWrite.lock();
    std::lock_guard g(windowMutex_);
    awaited_ = AwaitedReply{true, false, to, length > 4 ? data[4] : std::uint8_t{0}, {}};
  }
  auto stopWaiting = [&] {
    if (!shared) return;
    std::lock_guard g(windowMutex_);
    awaited_.waiting = false;
  };

  const bool wantsReply = reply && replyLength;
  std::uint8_t ownReply[wire::kReplyBuffer];
  std::uint32_t ownLength = sizeof ownReply;
  nwLog().write("Sending packet to %s\n", name);
  ExchangeRequest r;
  r.to = to;
  r.request = View(data, length);
  r.reply = ownReply;
  r.replyLength = &ownLength;
  r.timeoutMs = wantsReply && !shared ? wire::kBaseTimeout : 0;
  r.npa = true;
  r.shared = shared ? shared_.get() : nullptr;
  const int rc = sendToTheBox(r);
  if (rc != NET_OKAY) {
    stopWaiting();
    nwLog().write("Exiting NetWrite for %s(%d) unsuccessfully with error %s\n", name, id, failureName(rc));
    return rc;
  }

  Bytes packet;
  bool haveReply = false;
  if (shared && (wantsReply || command == 0x36)) {
    std::unique_lock g(windowMutex_);
    const bool arrived =
        replyReady_.wait_until(g, deadlineAfter(wire::kNetWriteReplyTimeout), [&] { return awaited_.ready; });
    awaited_.waiting = false;
    if (!arrived) {
      g.unlock();
      nwLog().write("Exiting NetWrite for %s(%d) unsuccessfully with error NET_READFAIL\n", name, id);
      return NET_READFAIL;
    }
    const Bytes& d = awaited_.datagram;
    packet.assign(d.begin() + wire::kFragmentHeader, d.end());
    haveReply = wantsReply;
  } else if (wantsReply && !shared) {
    packet.assign(ownReply, ownReply + ownLength);
    if (packet.size() >= wire::kNpaHeader)
      packet.resize(std::min<std::size_t>(packet.size(), loadBe16(packet.data() + 1) + 3u));
    haveReply = true;
  }
  stopWaiting();

  std::uint16_t outStatus = NET_STATUS_COMPLETE;
  if (haveReply) {
    const std::uint32_t capacity = *replyLength;
    const std::uint32_t size = static_cast<std::uint32_t>(packet.size());
    std::memcpy(reply, packet.data(), std::min(capacity, size));
    *replyLength = size;
    if (capacity < size) outStatus = NET_STATUS_TRUNCATED;
  }
  if (status) *status = outStatus;
  nwLog().write("Exiting NetWrite for %s(%d) successfully with *Status = %d\n", name, id, outStatus);
  nwLog().write("Exiting NetWrite successfully for %s(%d) with *status = %d\n", name, id, outStatus);
  return static_cast<std::int32_t>(length);
}

// Codes this port does not serve answer NET_BADID.
std::int32_t NetWareTransport::answerItem(const char* entry, std::uint16_t id, std::uint16_t code) {
  const auto port = id == NET_NO_PORT ? std::nullopt : table_.port(id);
  nwLog().write("Entering %s for printer %s(%d), type 0x%x\n", entry, port ? port->name.c_str() : "unknown",
                id, code);
  const std::int32_t rc = NET_BADID;
  nwLog().write("Exiting %s with return code %d\n", entry, rc);
  return rc;
}

std::int32_t NetWareTransport::getInfo(std::uint16_t id, std::uint16_t code, void* buffer,
                                       std::uint16_t* length, NETITEMPROC proc) {
  if (id == NET_NO_PORT) {
    if (code == net::kItemNwCurrentServer) return currentServer(id, buffer, length);
    if (code == net::kItemNwNetwork) return getNetwork(buffer, length);
    return answerItem("NetGetInfo", id, code);
  }
  if (!table_.port(id)) return answerItem("NetGetInfo", id, code);
  if (const auto rc = getAdapterItem(id, code, buffer, length)) return *rc;
  if (const auto rc = getNetWareItem(id, code, buffer, length)) return *rc;
  switch (code) {
    case net::kItemNwKnownServers:
      return knownServers(proc);
    case net::kItemNwQueues:
      return listQueues(id, proc);
    case net::kItemNwCurrentServer:
      return currentServer(id, buffer, length);
    case net::kItemNwNoData12:
    case net::kItemNwNoData14:
      return NET_OKAY;
    case net::kItemNwPrintServer:
      return currentPrintServer(id, buffer, length);
    default:
      return answerItem("NetGetInfo", id, code);
  }
}

std::int32_t NetWareTransport::setInfo(std::uint16_t id, std::uint16_t code, const void* buffer,
                                       std::uint32_t length) {
  if (id == NET_NO_PORT) {
    if (code == net::kItemNwNetwork) return setNetwork(buffer, length);
    return answerItem("NetSetInfo", id, code);
  }
  if (!table_.port(id)) return answerItem("NetSetInfo", id, code);
  if (const auto rc = setAdapterItem(id, code, buffer, length)) return *rc;
  if (const auto rc = setNetWareItem(id, code, buffer, length)) return *rc;
  switch (code) {
    case net::kItemNwServiceQueues:
      return serviceQueues(id, buffer, length);
    case net::kItemNwCurrentServer:
      return setCurrentServer(id, buffer, length);
    case net::kItemNwCreateQueue:
      return createQueue(id, buffer, length, true);
    case net::kItemNwDeleteQueue:
      return createQueue(id, buffer, length, false);
    case net::kItemNwPrintServer:
    case net::kItemNwNoData14:
    case net::kItemNwNoData15:
    case net::kItemNwNoData16:
      return NET_OKAY;
    case net::kItemNwLogin:
      return login(buffer, length);
    case net::kItemNwStopQueues:
      return stopQueues(id, buffer, length);
    default:
      return answerItem("NetSetInfo", id, code);
  }
}

}  // namespace wf::netware
