// Bidirectional requests, print data, documents and the status poll.
#include "bidi.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "broker.h"
#include "broker/corbce.h"
#include "broker/net_transport.h"
#include "broker_state.h"
#include "local_ports.h"
#include "named_lock.h"
#include "npa.h"
#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "platform/net_connections.h"
#include "platform/thread.h"
#include "printer_list.h"
#include "protocol/replies.h"
#include "trace.h"
#include "transports.h"

namespace wf::bce {

namespace {

namespace to {
constexpr std::uint32_t kWriteRetry = 2'000;
constexpr int kWriteAttempts = 3;
constexpr std::uint32_t kConfirmErrorPause = 1'000;
constexpr int kConfirmErrorResends = 45;
constexpr std::uint32_t kPrintPacketWrite = 20'000;  // a printer busy printing takes its time
}  // namespace to

constexpr std::uint16_t kDefaultPacketSize = 1024;
constexpr std::uint32_t kIpStatusHint = 128;
constexpr std::uint32_t kNetworkReplySlack = 200;

// What a request needs of its printer, copied under the list lock.
struct Target {
  std::uint16_t handle = 0;
  std::uint16_t flags = 0;
  std::uint16_t packetSize = kDefaultPacketSize;
  std::uint32_t connections = 0;
  SyncHandle mutex = kNoSyncHandle;
  std::int16_t portIds[kTransportSlots] = {};
  bool local() const { return connections & BCE_NET_LOCAL; }
};

std::optional<Target> findTarget(std::uint16_t handle) {
  PrinterListLock lock;
  const PrinterEntry* e = printerList().findByHandle(handle);
  if (!e) return std::nullopt;
  Target t;
  t.handle = handle;
  t.flags = e->info.flags;
  t.packetSize = e->info.packetSize;
  t.connections = e->info.connections;
  t.mutex = e->mutex;
  std::copy(std::begin(e->portIds), std::end(e->portIds), t.portIds);
  return t;
}

std::int32_t writeErrorCode(WriteErrorClass error) {
  switch (error) {
    case WriteErrorClass::OutOfPaper:
      return BCE_ERR_LOCAL_PAPER_OUT;
    case WriteErrorClass::NotSelected:
      return BCE_ERR_LOCAL_NOT_SELECTED;
    case WriteErrorClass::Break:
      return BCE_ERR_LOCAL_BREAK;
    case WriteErrorClass::IoError:
      return BCE_ERR_LOCAL_IO_ERROR;
    case WriteErrorClass::TimedOut:
      return BCE_ERR_LOCAL_TIMEOUT;
    default:
      return BCE_ERR_LOCAL_OTHER;
  }
}

// A local write with its retries; 0 or one of -20 to -25.
std::int32_t writeWithRetries(LocalPort& port, std::string_view bytes) {
  PortWrite w;
  for (int attempt = 0; attempt < to::kWriteAttempts; ++attempt) {
    if (attempt) sleepFor(to::kWriteRetry);
    w = port.write(bytes);
    if (w.written == bytes.size() && w.error == WriteErrorClass::None) return BCE_OK;
    bytes.remove_prefix(w.written);
  }
  return writeErrorCode(w.error);
}

// The transport a request to a network printer goes through; -1 when the
// printer is not on the asked network.
int chooseTransport(std::uint32_t connections, std::uint32_t netMask) {
  std::uint32_t bit = netMask & BCE_NET_ALL_BITS;
  if (bit == 0) {
    for (std::uint32_t preferred : {BCE_NET_PEER, BCE_NET_IPX, BCE_NET_NETWARE, BCE_NET_CORLINK, BCE_NET_IP})
      if (connections & preferred) {
        bit = preferred;
        break;
      }
  }
  if (!(connections & bit)) return -1;
  const int index = transportIndexOf(bit);
  return index >= 0 && index < kNetTransports ? index : -1;
}

NetWriteFn netWriteOf(int index) {
  GlobalInLock lock;
  const TransportEntry& t = transportTable().nets[index];
  return t.loaded ? t.fn.NetWrite : nullptr;
}

// Under the printer's own mutex: its NetWrite calls do not interleave.
class EntryMutex {
 public:
  explicit EntryMutex(SyncHandle m) : m_(m) { waitForObject(m_, kInfinite); }
  ~EntryMutex() { releaseMutex(m_); }
  EntryMutex(const EntryMutex&) = delete;
  EntryMutex& operator=(const EntryMutex&) = delete;

 private:
  SyncHandle m_;
};

// Text or print data for a network printer through its captured local
// ports (redirected ones to their remote queue): 0 at the first that takes
// it, 1 for none, -14 when the mask names no port captured to it.
std::int32_t writeThroughCapturedPorts(std::uint16_t handle, std::uint32_t connections, std::uint32_t netMask,
                                       std::string_view bytes) {
  if (netMask != 0 && !(netMask & connections & BCE_NET_LOCAL_PORT_BITS)) return BCE_ERR_NOT_ON_NETWORK;
  for (int n = 1; n <= kLocalPorts; ++n) {
    const std::uint32_t bit = 0x10000u << (n - 1);
    if (!(connections & bit) || (netMask != 0 && !(netMask & bit))) continue;
    const std::string name = "LPT" + std::to_string(n) + ":";
    char remote[260];
    std::uint32_t length = sizeof remote;
    if (netconn::netConnections().getConnection(name, remote, length) == netconn::kNoError) {
      if (netconn::netConnections().writeRemote(remote, bytes) == netconn::kNoError) return BCE_OK;
      continue;
    }
    PortUse use(n - 1, BCE_PRIMARY_APP_ID, handle);
    if (use.result() == BCE_OK && use.port().write(bytes).written == bytes.size()) return BCE_OK;
  }
  return BCE_FAIL;
}

std::int32_t sendLocalRequest(std::uint32_t appId, const Target& t, const std::string& packet, bool wantReply,
                              void* reply, std::uint32_t* replyLength) {
  const int index = portIndexOfHandle(t.handle);
  if (index < 0) return BCE_ERR_BAD_HANDLE;
  PortUse use(index, appId, t.handle);
  if (use.result() != BCE_OK) return use.result();
  LocalPort& port = use.port();
  if ((t.flags & BCE_PRTINFO_FLAG_NPA_AUTO) &&
      port.write(npa::kSyncPacket).written != npa::kSyncPacket.size())
    return NET_WRITEFAIL;
  if (wantReply) port.expectResponse();
  const PortWrite w = port.write(packet);
  if (w.written != packet.size()) return NET_WRITEFAIL;
  if (!wantReply) {
    *replyLength = 0;
    return BCE_OK;
  }
  std::uint8_t flags = 0;
  const std::int32_t rc =
      port.awaitResponse(npa::packetCommand(packet), reply, replyLength, &flags, timeouts::kResponseWait);
  if (rc == NET_READFAIL) *replyLength = 0;
  // The printer's error comes first, also when its response did not fit.
  if ((rc == BCE_OK || rc == BCE_ERR_REPLY_TOO_LONG) && (flags & protocol::npa::kFlagError))
    return BCE_ERR_ERROR_RESPONSE;
  return rc;
}

std::int32_t sendNetworkRequest(const Target& t, std::uint32_t netMask, std::uint32_t code,
                                const std::string& packet, void* reply, std::uint32_t* replyLength) {
  const int index = chooseTransport(t.connections, netMask);
  if (index < 0 || t.portIds[index] < 0) return BCE_ERR_NOT_ON_NETWORK;
  NetWriteFn netWrite = netWriteOf(index);
  if (!netWrite) return BCE_ERR_NOT_ON_NETWORK;
  const std::uint32_t capacity = reply ? *replyLength : 0;
  std::vector<std::uint8_t> buffer(capacity + kNetworkReplySlack, 0);
  auto bufferLength = static_cast<std::uint32_t>(buffer.size());
  std::uint16_t status = index == transportIndexOf(BCE_NET_IP)     ? kIpStatusHint
                         : index == transportIndexOf(BCE_NET_PEER) ? static_cast<std::uint16_t>(packet.size())
                                                                   : 0;
  std::int32_t written;
  {
    EntryMutex lock(t.mutex);
    written = netWrite(static_cast<std::uint16_t>(t.portIds[index]),
                       reinterpret_cast<const std::uint8_t*>(packet.data()),
                       static_cast<std::uint32_t>(packet.size()), buffer.data(), &bufferLength,
                       static_cast<std::uint16_t>(code), &status);
  }
  *replyLength = 0;
  if (written != static_cast<std::int32_t>(packet.size())) return NET_WRITEFAIL;
  if (status == NET_STATUS_UNREADABLE || status == NET_STATUS_TRUNCATED) return NET_WRITEFAIL;
  if (status == NET_STATUS_ADAPTER_ERROR) return BCE_ERR_ERROR_RESPONSE;
  if (status != NET_STATUS_COMPLETE || !reply) return BCE_OK;
  // The transport's length is not trusted beyond the buffer it was given.
  const std::string_view bytes(reinterpret_cast<const char*>(buffer.data()),
                               std::min<std::size_t>(bufferLength, buffer.size()));
  if (npa::packetFlags(bytes) & protocol::npa::kFlagError) return BCE_ERR_ERROR_RESPONSE;
  const npa::Message m = npa::unpackPackets(bytes, npa::Joining::EveryPacket, capacity);
  std::memcpy(reply, m.data.data(), m.data.size());
  *replyLength = static_cast<std::uint32_t>(m.data.size());
  return BCE_OK;
}

void cacheSummary(std::uint16_t handle, const void* reply, std::uint32_t length) {
  PrinterListLock lock;
  PrinterEntry* e = printerList().findByHandle(handle);
  // A reply too long to keep whole is not kept at all: a cut one would answer as complete.
  if (!e || !e->summary.empty() || length == 0 || length > kSummarySize) return;
  const auto* bytes = static_cast<const std::uint8_t*>(reply);
  e->summary.assign(bytes, bytes + length);
  ByteReader r(std::span<const std::uint8_t>(e->summary));
  std::uint16_t size = 0;
  namespace reply = protocol::reply;
  if (r.seek(reply::kSubCodeSize + reply::summary::kMaxPacket) && r.be16(size)) {
    // Anything under a header and a byte of data would make print packets impossible.
    if (size >= protocol::npa::kHeaderSize + 1) e->info.packetSize = size;
  }
}

std::optional<std::int32_t> cachedSummary(std::uint16_t handle, void* reply, std::uint32_t* replyLength) {
  PrinterListLock lock;
  const PrinterEntry* e = printerList().findByHandle(handle);
  if (!e || e->summary.empty()) return std::nullopt;
  const std::uint32_t room = reply ? *replyLength : 0;
  const auto length = static_cast<std::uint32_t>(e->summary.size());
  const std::uint32_t n = std::min(room, length);
  if (reply) std::memcpy(reply, e->summary.data(), n);
  if (room < length) {
    *replyLength = length;
    return BCE_ERR_REPLY_TOO_LONG;
  }
  *replyLength = n;
  return BCE_OK;
}

std::int32_t sendPjl(const Target& t, std::uint32_t netMask, std::uint32_t code, const void* request,
                     std::uint32_t requestLength) {
  std::optional<std::string_view> data;
  if (request && requestLength) {
    std::string_view d(static_cast<const char*>(request), requestLength);
    data = d.substr(0, d.find('\0'));
  }
  const auto text = npa::buildPjlText(code, data);
  if (!text) return BCE_ERR_BAD_REQUEST;
  if (t.local()) {
    PortUse use(portIndexOfHandle(t.handle), BCE_PRIMARY_APP_ID, t.handle);
    if (use.result() != BCE_OK) return use.result();
    return use.port().write(*text).written == text->size() ? BCE_OK : NET_WRITEFAIL;
  }
  return writeThroughCapturedPorts(t.handle, t.connections, netMask, *text);
}

// Print data in confirmed packets of the printer's packet size - 5.
std::int32_t writeNpaLocal(LocalPort& port, std::uint16_t packetSize, std::string_view data,
                           std::uint32_t& sent) {
  struct WriteBudget {
    LocalPort& port;
    std::uint32_t before = port.setWriteTimeout(to::kPrintPacketWrite);
    ~WriteBudget() { port.setWriteTimeout(before); }
  } budget{port};
  if (std::int32_t rc = writeWithRetries(port, npa::kSyncPacket); rc != BCE_OK) return rc;
  const std::size_t chunkSize = std::max<std::size_t>(1, packetSize - protocol::npa::kHeaderSize);
  while (sent < data.size()) {
    const std::string_view chunk = data.substr(sent, chunkSize);
    const std::string packet = npa::printDataPacket(chunk);
    int resends = 0;
    for (;;) {
      bceTrace("Sending %u bytes, in an NPA packet...\n", static_cast<unsigned>(chunk.size()));
      port.expectResponse();
      if (std::int32_t rc = writeWithRetries(port, packet); rc != BCE_OK) return rc;
      std::uint8_t flags = 0;
      std::uint32_t none = 0;
      if (port.awaitResponse(0, nullptr, &none, &flags, timeouts::kConfirmationWait) != BCE_OK)
        return BCE_ERR_LOCAL_OTHER;
      if (!(flags & protocol::npa::kFlagError)) break;
      if (++resends >= to::kConfirmErrorResends) return BCE_ERR_LOCAL_OTHER;
      sleepFor(to::kConfirmErrorPause);
    }
    sent += static_cast<std::uint32_t>(chunk.size());
    bceTrace("Rcvd confirmation of %u bytes sent, %ld bytes to go.\n", static_cast<unsigned>(chunk.size()),
             static_cast<long>(data.size() - sent));
  }
  return BCE_OK;
}

std::int32_t writeNetwork(const Target& t, std::uint32_t netMask, std::string_view data, bool raw,
                          std::uint32_t& sent) {
  const int index = chooseTransport(t.connections, netMask);
  if (index < 0 || t.portIds[index] < 0) return BCE_ERR_NOT_ON_NETWORK;
  const bool npaOn = t.flags & BCE_PRTINFO_FLAG_NPA;
  if (!raw && !npaOn) return BCE_ERR_NOT_CAPABLE;
  NetWriteFn netWrite = netWriteOf(index);
  if (!netWrite) return BCE_ERR_NOT_ON_NETWORK;
  const bool ipOrIpx = index == transportIndexOf(BCE_NET_IP) || index == transportIndexOf(BCE_NET_IPX);
  const std::uint16_t hint = raw ? 1 : ipOrIpx ? 129 : 0;
  const auto portId = static_cast<std::uint16_t>(t.portIds[index]);
  EntryMutex lock(t.mutex);
  const bool peer = index == transportIndexOf(BCE_NET_PEER);
  auto put = [&](std::string_view bytes) {
    // The peer transport sends the last `status` bytes: each piece's length,
    // as requests carry it (0, the whole piece, past 16 bits).
    std::uint16_t status = !peer ? hint : bytes.size() <= 0xFFFF ? static_cast<std::uint16_t>(bytes.size()) : 0;
    std::uint32_t none = 0;
    const std::int32_t n = netWrite(portId, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                    static_cast<std::uint32_t>(bytes.size()), nullptr, &none, 0, &status);
    return n != 0 && status == NET_STATUS_COMPLETE;
  };
  if (raw) {
    if (!put(data)) return BCE_ERR_LOCAL_OTHER;
    sent = static_cast<std::uint32_t>(data.size());
    return BCE_OK;
  }
  const std::size_t chunkSize = std::max<std::size_t>(1, t.packetSize - protocol::npa::kHeaderSize);
  bool first = true;
  while (sent < data.size()) {
    const std::string packet = npa::printDataPacket(data.substr(sent, chunkSize));
    if (first && !put(std::string_view(packet).substr(0, protocol::npa::kHeaderSize)))
      return BCE_ERR_LOCAL_OTHER;
    if (!put(first ? std::string_view(packet).substr(protocol::npa::kHeaderSize) : std::string_view(packet)))
      return BCE_ERR_LOCAL_OTHER;
    first = false;
    sent += static_cast<std::uint32_t>(packet.size() - protocol::npa::kHeaderSize);
  }
  return BCE_OK;
}

StatusPoll& poll() {
  return Broker::instance().statusPoll;
}

}  // namespace

void statusPollPass() {
  std::vector<std::uint16_t> npaLocal, pending;
  {
    PrinterListLock lock;
    for (PrinterEntry* e = printerList().first(); e; e = printerList().next(e)) {
      const bool npaOn = e->info.flags & BCE_PRTINFO_FLAG_NPA;
      if (e->on(BCE_NET_LOCAL) && npaOn) npaLocal.push_back(e->handle());
      if (e->summaryPending && (e->on(BCE_NET_LOCAL) || e->on(kIpSecondNameBit | kIpxSecondNameBit))) {
        e->summaryPending = 0;
        if (npaOn) pending.push_back(e->handle());
      }
    }
  }
  std::uint8_t reply[256];
  for (std::uint16_t h : npaLocal) {
    std::uint32_t length = sizeof reply;
    BceSendBidiMF(BCE_PRIMARY_APP_ID, h, 0, protocol::request::kStatusPollSetup, reply, &length, "\x20\x00",
                  2);
  }
  for (std::uint16_t h : pending) {
    bceTrace("Sending BCE-instigated DC_SUMMARY for handle %u\n", h);
    std::uint32_t length = sizeof reply;
    BceSendBidiMF(BCE_PRIMARY_APP_ID, h, 0, protocol::request::kSummary, reply, &length, nullptr, 0);
  }
}

void startStatusPoll() {
  StatusPoll& p = poll();
  std::lock_guard lock(p.lock);
  if (p.running) {
    p.again = true;  // printers added meanwhile must not wait for the next enumeration
    return;
  }
  p.running = true;
  p.thread = Thread("bce-statuspoll", [&p](std::stop_token) {
    for (;;) {
      statusPollPass();
      std::lock_guard again(p.lock);
      if (!std::exchange(p.again, false)) {
        p.running = false;
        return;
      }
    }
  });
}

}  // namespace wf::bce

namespace npa = wf::bce::npa;
using wf::bce::bceTrace;
using wf::bce::cachedSummary;
using wf::bce::cacheSummary;
using wf::bce::findTarget;
using wf::bce::GlobalInLock;
using wf::bce::kIpSecondNameBit;
using wf::bce::kIpxSecondNameBit;
using wf::bce::NetEntryPoints;
using wf::bce::ownAppId;
using wf::bce::portIndexOfHandle;
using wf::bce::PortUse;
using wf::bce::PrinterEntry;
using wf::bce::printerList;
using wf::bce::PrinterListLock;
using wf::bce::sendLocalRequest;
using wf::bce::sendNetworkRequest;
using wf::bce::sendPjl;
using wf::bce::transportIndexOf;
using wf::bce::transportTable;
using wf::bce::writeNetwork;
using wf::bce::writeNpaLocal;
using wf::bce::writeThroughCapturedPorts;
using wf::bce::writeWithRetries;

int32_t BceSendBidiMF(uint32_t appId, uint32_t handle, uint32_t netMask, uint32_t code, void* reply,
                      uint32_t* replyLength, const void* request, uint32_t requestLength) {
  std::uint32_t ignored = 0;
  if (!replyLength) replyLength = &ignored;
  if (!reply) *replyLength = 0;
  const auto h = static_cast<std::uint16_t>(handle);
  const auto target = findTarget(h);
  if (!target) {
    *replyLength = 0;
    return BCE_ERR_BAD_HANDLE;
  }
  if (!(target->flags & BCE_PRTINFO_FLAG_NPA)) {
    *replyLength = 0;
    return BCE_ERR_NOT_CAPABLE;
  }
  if (code == wf::protocol::request::kSummary)
    if (auto cached = cachedSummary(h, reply, replyLength)) return *cached;
  if (code >= wf::protocol::request::kFirstPjl && code <= wf::protocol::request::kLastPjl) {
    *replyLength = 0;
    return sendPjl(*target, netMask, code, request, requestLength);
  }
  const bool wantReply = reply && *replyLength > 0;
  const std::string_view data(static_cast<const char*>(request), request ? requestLength : 0);
  const auto packet = npa::buildRequest(code, data, wantReply, target->packetSize);
  if (!packet) {
    *replyLength = 0;
    return BCE_ERR_BAD_REQUEST;
  }
  // Only a packet that asks for a reply gets one.
  const bool awaited = npa::packetFlags(*packet) & wf::protocol::npa::kFlagReply;
  std::int32_t rc;
  if (target->local()) {
    rc = sendLocalRequest(appId & 0xF, *target, *packet, awaited, reply, replyLength);
  } else {
    if (!awaited) *replyLength = 0;
    rc = sendNetworkRequest(*target, netMask, code, *packet, awaited ? reply : nullptr, replyLength);
  }
  if (rc == BCE_OK && code == wf::protocol::request::kSummary && *replyLength)
    cacheSummary(h, reply, *replyLength);
  if (rc != BCE_OK && rc != BCE_ERR_REPLY_TOO_LONG) *replyLength = 0;
  return rc;
}

int32_t BceWriteMF(uint32_t appId, uint32_t handle, uint32_t netMask, void* data, uint32_t* length,
                   uint32_t raw) {
  std::uint32_t ignored = 0;
  if (!length) length = &ignored;
  const auto target = findTarget(static_cast<std::uint16_t>(handle));
  if (!target) {
    *length = 0;
    return BCE_ERR_BAD_HANDLE;
  }
  const std::string_view bytes(static_cast<const char*>(data), data ? *length : 0);
  std::uint32_t sent = 0;
  std::int32_t rc;
  if (target->local()) {
    PortUse use(portIndexOfHandle(target->handle), appId & 0xF, target->handle);
    if (use.result() != BCE_OK) {
      *length = 0;
      return BCE_FAIL;
    }
    if ((target->flags & BCE_PRTINFO_FLAG_NPA) && !raw) {
      rc = writeNpaLocal(use.port(), target->packetSize, bytes, sent);
    } else {
      rc = writeWithRetries(use.port(), bytes);
      if (rc == BCE_OK) sent = static_cast<std::uint32_t>(bytes.size());
    }
  } else if (netMask & BCE_NET_LOCAL_PORT_BITS) {
    rc = writeThroughCapturedPorts(target->handle, target->connections, netMask, bytes);
    if (rc == BCE_OK) sent = static_cast<std::uint32_t>(bytes.size());
  } else {
    rc = writeNetwork(*target, netMask, bytes, raw != 0, sent);
  }
  bceTrace("Exiting BceWrite(), %ld bytes sent\n", static_cast<long>(sent));
  *length = sent;
  return rc;
}

namespace {

// IP first, then IPX: the transport a document goes through, with its port id.
template <typename Call>
void documentCall(std::uint16_t handle, std::uint32_t netMask, Call call) {
  std::int16_t ipPort = -1, ipxPort = -1;
  {
    PrinterListLock lock;
    const PrinterEntry* e = printerList().findByHandle(handle);
    if (!e) return;
    if (e->on(BCE_NET_IP) && e->on(kIpSecondNameBit)) ipPort = e->portIds[transportIndexOf(BCE_NET_IP)];
    if (e->on(BCE_NET_IPX) && e->on(kIpxSecondNameBit)) ipxPort = e->portIds[transportIndexOf(BCE_NET_IPX)];
  }
  GlobalInLock lock;
  const auto& nets = transportTable().nets;
  if ((netMask == 0 || (netMask & BCE_NET_IP)) && ipPort >= 0 && nets[transportIndexOf(BCE_NET_IP)].loaded)
    call(nets[transportIndexOf(BCE_NET_IP)].fn, static_cast<std::uint16_t>(ipPort));
  else if ((netMask == 0 || (netMask & BCE_NET_IPX)) && ipxPort >= 0 &&
           nets[transportIndexOf(BCE_NET_IPX)].loaded)
    call(nets[transportIndexOf(BCE_NET_IPX)].fn, static_cast<std::uint16_t>(ipxPort));
}

bool knownNetworkPrinter(std::uint16_t handle, bool& onIpOrIpx) {
  PrinterListLock lock;
  const PrinterEntry* e = printerList().findByHandle(handle);
  onIpOrIpx = e && e->on(BCE_NET_IP | BCE_NET_IPX);
  return e != nullptr;
}

}  // namespace

int32_t BceStartDocMF(uint32_t handle, uint32_t netMask, uint32_t jobArgument) {
  const auto h = static_cast<std::uint16_t>(handle);
  if (h < 100) {
    char reply[10];
    std::uint32_t length = sizeof reply;
    const std::int16_t own = std::max<std::int16_t>(ownAppId(), 0);
    BceSendBidiMF(static_cast<std::uint32_t>(own), h, 0, wf::protocol::request::kStartDocument, reply,
                  &length, nullptr, 0);
    return BCE_OK;
  }
  bool ipOrIpx = false;
  if (!knownNetworkPrinter(h, ipOrIpx)) return BCE_ERR_BAD_HANDLE;
  if (!ipOrIpx) return BCE_OK;
  bceTrace("StartDoc() called for handle %d\n", h);
  documentCall(h, netMask, [&](const NetEntryPoints& fn, std::uint16_t port) {
    if (fn.NetStartDoc) fn.NetStartDoc(port, jobArgument);
  });
  return BCE_OK;
}

int32_t BceEndDocMF(uint32_t handle, uint32_t netMask) {
  const auto h = static_cast<std::uint16_t>(handle);
  if (h < 100) return BCE_OK;
  bool ipOrIpx = false;
  if (!knownNetworkPrinter(h, ipOrIpx)) return BCE_ERR_BAD_HANDLE;
  bceTrace("EndDoc() called for handle %d\n", h);
  documentCall(h, netMask, [&](const NetEntryPoints& fn, std::uint16_t port) {
    if (fn.NetEndDoc) fn.NetEndDoc(port);
  });
  return BCE_OK;
}
