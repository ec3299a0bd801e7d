#include "coripx_transport.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "platform/registry.h"
#include "platform/trace.h"
#include "transports/common/adapter_layout.h"

namespace wf::coripx {
namespace {

namespace wire = ::wf::adapter::coripx;
constexpr int kWsaNoBuffers = 10055;
constexpr std::uint32_t kFirstAckWait = 1000, kLastAckWait = 7001;
constexpr std::uint32_t kPaceLimitMs = 30'000, kDataLossLimitMs = 120'000;
constexpr std::uint32_t kReplyWaitMs = 5000;

std::uint8_t byteAt(const Received& d, std::size_t i) {
  return i < d.bytes.size() ? d.bytes[i] : 0;
}

int packetKey(std::uint8_t function, std::uint8_t number) {
  return function << 8 | number;
}

bool sameAddress(const IpxAddress& a, const IpxAddress& b) {
  return a.network == b.network && a.node == b.node && a.socket == b.socket;
}

// A REG_BINARY value of `size` bytes: the fallback when missing (written
// back) or of another type or size (left as it is, with a note).
std::vector<std::uint8_t> readSetting(HKEY key, const char* name, std::vector<std::uint8_t> fallback,
                                      std::vector<std::string>& notes) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    RegSetValueExA(key, name, 0, REG_BINARY, fallback.data(), static_cast<DWORD>(fallback.size()));
    return fallback;
  }
  std::vector<std::uint8_t> bytes(size);
  if (type != REG_BINARY || size != fallback.size() ||
      RegQueryValueExA(key, name, nullptr, &type, bytes.data(), &size) != ERROR_SUCCESS) {
    notes.push_back(std::string("Registry value ") + name + " has an unexpected type or size; using its default");
    return fallback;
  }
  return bytes;
}

}  // namespace

struct CorIpx::Reply {
  std::size_t tagAt, lengthAt, dataAt, moreAt, shortest;
  std::uint8_t consumers;
  const char* accept;
  const char* reject;
  bool nibble6;
};

CorIpx::~CorIpx() {
  shutDown();
}

bool CorIpx::ensureStarted() {
  {
    std::lock_guard g(startMutex_);
    if (shutDown_) return false;
    if (!startRequested_) {
      startRequested_ = true;
      started_ = createEvent("", true, false);
      initThread_ = Thread("coripx-init", [this](std::stop_token) { initialise(); });
    }
  }
  return waitForObject(started_, kStartWaitMs) == kWaitObject0;
}

void CorIpx::initialise() {
  std::vector<std::string> notes;
  std::uint8_t trace = 0;
  HKEY key = nullptr;
  DWORD disposition = 0;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &key, &disposition) == ERROR_SUCCESS) {
    std::uint8_t timeout[4];
    storeLe32(timeout, kDefaultEnumTimeout);
    trace = readSetting(key, "Trace", {0}, notes)[0];
    enumTimeout_ = loadLe32(readSetting(key, "EnumTimeout", {timeout, timeout + 4}, notes).data());
    RegCloseKey(key);
  }
  if (trace) log_.open();
  for (const auto& n : notes) {
    platformTrace("coripx32: " + n);
    log_.write("%s", n.c_str());
  }
  log_.write("Timeout = %lx", static_cast<unsigned long>(enumTimeout_));

  const std::size_t largest = ipxMaxDatagram();
  maxPacket_ = static_cast<std::uint32_t>(largest == 0 ? wire::kLargestPacket
                                                       : std::min(largest, wire::kLargestPacket));
  log_.write("max=%d", static_cast<int>(maxPacket_.load()));

  auto socket = std::make_unique<IpxSocket>();
  if (socket->error()) {
    log_.write("IP sock = %d, err = %d", -1, socket->error());
    return;
  }
  IpxAddress own;
  own.network = ipxProcessAddress().network;
  if (const int e = socket->bind(own.toSockaddr())) {
    log_.write("bind failed err = %d", e);
    return;
  }
  socket->setPacketType(wire::kPacketType);
  socket->setBroadcast(true);
  socket_ = std::move(socket);

  receiver_ = Thread("coripx-receive", [this](std::stop_token stop) { receive(stop); });
  pacer_ = Thread("coripx-pace", [this](std::stop_token stop) { pace(stop); });
  alerter_ = Thread("coripx-alerts", [this](std::stop_token stop) { alerts(stop); });
  setEvent(started_);
}

void CorIpx::shutDown() {
  {
    std::lock_guard g(startMutex_);
    if (shutDown_.exchange(true)) return;
  }
  if (initThread_.joinable()) initThread_.requestStop();
  initThread_ = Thread();
  pacer_.requestStop();
  receiver_.requestStop();
  alerter_.requestStop();
  if (socket_) socket_->close();
  alerter_ = Thread();
  pacer_ = Thread();
  receiver_ = Thread();
  std::lock_guard g(portsMutex_);
  for (auto& p : ports_) {
    closeSyncHandle(p->PortSem);
    closeSyncHandle(p->JobAckSem);
    closeSyncHandle(p->JobLock);
  }
  ports_.clear();
  if (started_) closeSyncHandle(started_);
  started_ = kNoSyncHandle;
}

std::uint16_t CorIpx::localSocket() const {
  SOCKADDR_IPX a{};
  if (!socket_ || socket_->localName(a) != 0) return 0;
  return IpxAddress::from(a).socket;
}

// ---- Receive thread and pacing thread ------------------------------------------------------

void CorIpx::receive(std::stop_token stop) {
  while (!stop.stop_requested()) {
    Received d;
    d.bytes.resize(wire::kDatagramBuffer);
    SOCKADDR_IPX from{};
    const IpxIo r = socket_->receiveFrom(d.bytes.data(), d.bytes.size(), &from, nullptr, stop);
    if (r.error == WSAEINTR || r.error == WSAENOTSOCK || stop.stop_requested()) return;
    if (r.error) {
      log_.write("IPXREADDATA: Receive failure = %d\n", r.error);
      continue;
    }
    d.bytes.resize(static_cast<std::size_t>(r.bytes));
    d.from = IpxAddress::from(from);
    if (d.from.socket != wire::kQuerySocket && d.from.socket != wire::kDataSocket) continue;
    if (d.bytes.size() < wire::kShortHeader || d.bytes[0] == 0xFF) {
      log_.write("No room for buffer or bogus buffer\n");
      continue;
    }
    d.ticks = tickCount();
    std::uint8_t header[wire::kHeader] = {};
    std::memcpy(header, d.bytes.data(), std::min(d.bytes.size(), wire::kHeader));
    const IpxAddress sender = d.from;
    const std::size_t size = d.bytes.size();
    const std::size_t count = pool_.put(std::move(d));
    if (!count) {
      log_.write("No room for buffer or bogus buffer\n");
      continue;
    }
    log_.write("%ld IpxReadData:Received New Data of type %x,%x,%x. Cnt = %d; size = %d;addr = %x, %x\n",
               static_cast<long>(tickCount()), header[0], header[1], header[3], static_cast<int>(count),
               static_cast<int>(size), sender.node[4], sender.node[5]);
    if (header[0] == 0) Acknowledge(header, sender);
  }
}

void CorIpx::pace(std::stop_token stop) {
  auto lastSweep = std::chrono::steady_clock::now();
  while (!stop.stop_requested()) {
    const std::uint64_t seen = pool_.generation();
    const auto taken = pool_.takeAll([](const Received& d) {
      return byteAt(d, wire::kKind) & (wire::kAck | wire::kPaceOff | 0x02);
    });
    for (const auto& d : taken) flowSignal(d);
    if (std::chrono::steady_clock::now() - lastSweep >= scaled(1000)) {
      pool_.sweep();
      lastSweep = std::chrono::steady_clock::now();
    }
    if (taken.empty()) pool_.waitNewer(seen, 1000, stop);
  }
}

void CorIpx::flowSignal(const Received& d) {
  const std::uint8_t kind = byteAt(d, wire::kKind), function = byteAt(d, wire::kFunction),
                     nibble = byteAt(d, wire::kPort) & 0x0F, number = byteAt(d, wire::kNumber);
  IPXPORT* port = nullptr;
  {
    std::lock_guard g(portsMutex_);
    for (auto& p : ports_) {
      if (!sameAddress(p->Address, d.from)) continue;
      if (p->PortNumber == nibble) {
        port = p.get();
        break;
      }
      if (nibble == wire::kNibbleAdapter && p->Nibble6.exchange(0)) {
        port = p.get();
        break;
      }
    }
  }
  if (!port) return;
  if (kind < wire::kAck) {
    log_.write("Pace on detected for packet %d,byte = %x", number, kind);
    if (kind & wire::kDataLostBits) port->DataLost = 1;
    port->PaceOff = 0;
  } else if (kind & wire::kDataLostBits) {
    log_.write("Setting datalost flag for packet %d, for id  %d", number, port->PortId);
    port->DataLost = 1;
  } else if (kind & wire::kPaceOff) {
    log_.write("Pace off detected for %d", number);
    port->PaceOff = 1;
  } else if (function & wire::kReplyJob) {
    port->PaceOff = 0;
  }
  if (!(kind & wire::kAck)) return;
  // Only the acknowledgement of the packet outstanding completes it: a late
  // one of an earlier packet must not complete the next.
  const bool job = function & wire::kReplyJob;
  std::atomic<int>& outstanding = job ? port->outstandingJob : port->outstanding;
  int expected = packetKey(function, number);
  if (!outstanding.compare_exchange_strong(expected, kNothingOutstanding)) return;
  if (!releaseSemaphore(job ? port->JobAckSem : port->PortSem, 1))
    log_.write(job ? "Release Job Semaphore failed for ID=%d\n" : "Release Semaphore failed for ID=%d\n",
               port->PortId);
}

void CorIpx::Acknowledge(const std::uint8_t* header, const IpxAddress& from) {
  IpxAddress to = from;
  to.socket = wire::kDataSocket;
  bool reverse = false;
  if (anyNodeReversed_) {
    if (!anyNodeAsIs_) {
      reverse = true;
    } else {
      std::lock_guard g(portsMutex_);
      for (auto& p : ports_)
        if (sameAddress(p->Address, from)) {
          reverse = !p->NodeAsIs;
          break;
        }
    }
  }
  if (reverse) to.node = reverseNode(to.node);
  std::uint8_t ack[wire::kHeader];
  std::memcpy(ack, header, wire::kHeader);
  ack[wire::kKind] = wire::kAck;
  socket_->sendTo(ack, sizeof ack, to.toSockaddr());
}

// ---- Sending ---------------------------------------------------------------------------------

SOCKADDR_IPX CorIpx::destinationOf(const IPXPORT& port) const {
  IpxAddress to = port.Address;
  if (!port.NodeAsIs) to.node = reverseNode(to.node);
  return to.toSockaddr();
}

bool CorIpx::sendRaw(const Bytes& bytes, const IpxAddress& to) {
  if (!socket_) return false;
  const IpxIo r = socket_->sendTo(bytes.data(), bytes.size(), to.toSockaddr());
  if (r.error) log_.write("dosenddata winsock failure of %d", r.error);
  return r.error == 0;
}

int CorIpx::SendDatagram(IPXPORT& port, std::uint8_t* bytes, std::size_t length, bool* sliced) {
  if (sliced) *sliced = false;
  if (!socket_ || length < wire::kShortHeader) return 0;
  const SOCKADDR_IPX to = destinationOf(port);
  if (port.PaceOff && !(bytes[wire::kPort] & wire::kFormDataBit)) {
    const auto limit = deadlineAfter(kPaceLimitMs);
    while (port.PaceOff && std::chrono::steady_clock::now() < limit) sleepFor(100);
    if (port.PaceOff)
      log_.write("Sending next packet despite soft pace off. id= %d, pack= %d", port.PortId, bytes[wire::kNumber]);
  }
  for (;;) {
    const IpxIo r = socket_->sendTo(bytes, length, to);
    if (!r.error) return static_cast<int>(length);
    if (r.error == WSAEMSGSIZE && bytes[wire::kFunction] == wire::kFnJobData && length > wire::kHeader) {
      if (sliced) *sliced = true;
      return maxPacketSearch(port, bytes, length, to);
    }
    if (r.error == kWsaNoBuffers) {
      log_.write("no buffer space on a send");
      sleepFor(350);
      continue;
    }
    log_.write("dosenddata winsock failure of %d", r.error);
    return 0;
  }
}

int CorIpx::SendAcknowledged(IPXPORT& port, std::uint8_t* bytes, std::size_t length, bool job) {
  if (length < wire::kShortHeader) return 1;
  std::unique_lock one(port.sendOne, std::defer_lock);
  if (!job) one.lock();
  const SyncHandle sem = job ? port.JobAckSem : port.PortSem;
  std::atomic<int>& outstanding = job ? port.outstandingJob : port.outstanding;
  const auto started = std::chrono::steady_clock::now();
  std::uint32_t timeout = kFirstAckWait;
  int result = 1;
  for (;;) {
    // Each transmission waits for an answer of its own: nothing left over
    // from an earlier one (a second acknowledgement, a loss signal) counts.
    if (job) port.DataLost = 0;
    waitForObject(sem, 0);
    outstanding = packetKey(bytes[wire::kFunction], bytes[wire::kNumber]);
    bool sliced = false;
    if (!SendDatagram(port, bytes, length, &sliced)) break;
    if (sliced) {
      result = 0;
      break;
    }
    const std::uint32_t r = waitForObject(sem, timeout);
    const bool lost = job && port.DataLost;
    if (r == kWaitObject0 && !lost) {
      result = 0;
      break;
    }
    if (r != kWaitObject0 && r != kWaitTimeout) break;
    bytes[wire::kKind] |= wire::kResent;
    if (r == kWaitTimeout)
      timeout *= 2;
    else
      sleepFor(100);
    log_.write("IPX:Sending block again after timeout. InJob = %d; packet = %d", job ? 1 : 0, bytes[wire::kNumber]);
    if (timeout >= kLastAckWait) break;
    // An adapter that keeps losing the data must not hold the caller for ever.
    if (std::chrono::steady_clock::now() - started >= scaled(kDataLossLimitMs)) break;
  }
  outstanding = kNothingOutstanding;
  return result;
}

int CorIpx::sendJobPacket(IPXPORT& port, std::uint8_t* bytes, std::size_t length, bool* sliced) {
  port.DataLost = 0;
  waitForObject(port.JobAckSem, 0);
  port.outstandingJob = packetKey(bytes[wire::kFunction], bytes[wire::kNumber]);
  return SendDatagram(port, bytes, length, sliced);
}

void CorIpx::sendSlice(IPXPORT& port, const std::uint8_t* bytes, std::size_t n, const SOCKADDR_IPX& to) {
  port.DataLost = 0;
  waitForObject(port.JobAckSem, 0);
  port.outstandingJob = packetKey(bytes[wire::kFunction], bytes[wire::kNumber]);
  socket_->sendTo(bytes, n, to);
}

bool CorIpx::waitJobAck(IPXPORT& port, std::uint8_t* bytes, std::size_t n, const SOCKADDR_IPX& to,
                        std::uint32_t& timeout, std::chrono::steady_clock::time_point started) {
  for (;;) {
    const std::uint32_t r = waitForObject(port.JobAckSem, timeout);
    if (r == kWaitObject0 && !port.DataLost) return true;
    if (r != kWaitObject0 && r != kWaitTimeout) return false;
    if (r == kWaitTimeout)
      timeout *= 2;
    else
      sleepFor(1500);
    if (timeout > kDataLossLimitMs || std::chrono::steady_clock::now() - started >= scaled(kDataLossLimitMs)) {
      log_.write("DoMaxPack failure to get ack on packet");
      return false;
    }
    bytes[wire::kKind] |= wire::kResent;
    sendSlice(port, bytes, n, to);
  }
}

int CorIpx::maxPacketSearch(IPXPORT& port, std::uint8_t* bytes, std::size_t length, const SOCKADDR_IPX& to) {
  std::size_t size = length;
  for (;;) {
    if (size <= wire::kHeader + 256) return 0;
    size -= 256;
    const IpxIo r = socket_->sendTo(bytes, size, to);
    if (!r.error) break;
    if (r.error != WSAEMSGSIZE && r.error != kWsaNoBuffers) return 0;
  }
  maxPacket_ = static_cast<std::uint32_t>(size);
  log_.write("\nIPX:New max packet size found = %d. packet %d was %d long", static_cast<int>(size),
             bytes[wire::kNumber], static_cast<int>(length));
  const auto started = std::chrono::steady_clock::now();
  std::uint32_t timeout = 500;
  if (!waitJobAck(port, bytes, size, to, timeout, started)) return 0;
  std::uint8_t header[wire::kHeader];
  std::memcpy(header, bytes, wire::kHeader);
  std::size_t sent = size;
  while (sent < length) {
    // The header goes over the last bytes already sent, right before the rest.
    std::uint8_t* slice = bytes + sent - wire::kHeader;
    std::memcpy(slice, header, wire::kHeader);
    slice[wire::kNumber] = nextPacketNumber(port.DataNumber);
    slice[wire::kKind] &= static_cast<std::uint8_t>(~wire::kResent);
    const std::size_t n = std::min(length - sent + wire::kHeader, size);
    log_.write("Packet is %d", slice[wire::kNumber]);
    sendSlice(port, slice, n, to);
    if (!waitJobAck(port, slice, n, to, timeout, started)) return 0;
    sent += n - wire::kHeader;
  }
  return static_cast<int>(length);
}

// ---- Replies ---------------------------------------------------------------------------------

int CorIpx::collectReply(IPXPORT& port, const Reply& form, std::uint8_t* buffer, std::uint32_t& length,
                         std::uint32_t& status, std::uint8_t number) {
  const std::uint32_t room = length;
  std::uint32_t copied = 0;
  bool first = true, anything = false;
  status = 0;
  const auto deadline = deadlineAfter(kReplyWaitMs);
  auto select = [&](const Received& d) {
    if (!(byteAt(d, wire::kFunction) & form.consumers) || byteAt(d, wire::kNumber) != number) return false;
    const std::uint8_t nibble = byteAt(d, wire::kPort) & 0x0F;
    const bool ours = nibble == port.PortNumber ||
                      (form.nibble6 && nibble == wire::kNibbleAdapter && port.PortNumber == status);
    if (!ours || !sameAddress(d.from, port.Address) || d.bytes.size() <= form.tagAt) return false;
    const std::uint8_t* tag = d.bytes.data() + form.tagAt;
    const std::size_t available = d.bytes.size() - form.tagAt;
    return tagIs(tag, available, form.accept) || tagIs(tag, available, form.reject);
  };
  while (std::chrono::steady_clock::now() < deadline) {
    const std::uint64_t seen = pool_.generation();
    auto d = pool_.take(select);
    if (!d) {
      if (!pool_.waitNewerUntil(seen, deadline)) {
        length = copied;
        return anything ? kReplyDone : kReplySilent;
      }
      continue;
    }
    const std::size_t size = d->bytes.size();
    const std::uint32_t L = size >= form.lengthAt + 2 ? loadBe16(d->bytes.data() + form.lengthAt) : 0;
    if (size < form.shortest || L < 2 || L > size - form.lengthAt) {
      log_.write("Reply of %d bytes with length %d dropped", static_cast<int>(size), static_cast<int>(L));
      continue;
    }
    anything = true;
    status = tagIs(d->bytes.data() + form.tagAt, size - form.tagAt, form.accept) ? 1 : 2;
    const std::size_t from = first ? form.lengthAt : form.dataAt;
    const std::uint32_t want = first ? L : L - 2;
    const std::uint32_t n = std::min(room - copied, want);
    std::memcpy(buffer + copied, d->bytes.data() + from, n);
    copied += n;
    first = false;
    const bool more = size > form.moreAt && (d->bytes[form.moreAt] & ::wf::adapter::kNpaMore);
    if (n < want) {
      log_.write("Buffer full, recv = %d, dwLen = %d, total size = %d\n", static_cast<int>(n), static_cast<int>(L),
                 static_cast<int>(copied));
      length = copied;
      return kReplyBufferFull;
    }
    if (!more) {
      length = copied;
      return kReplyDone;
    }
    if (L == 64) {
      Bytes request = sendMoreRequest(port, nextPacketNumber(port.RequestNumber));
      SendAcknowledged(port, request.data(), request.size(), false);
    }
  }
  length = copied;
  return anything ? kReplyDone : kReplySilent;
}

int CorIpx::WaitTaggedReply(IPXPORT& port, std::uint8_t* buffer, std::uint32_t& length, const char* accept,
                            const char* reject, std::uint32_t& status, std::uint8_t number) {
  const Reply form{wire::kTag, wire::kLength, wire::kData, wire::kMoreFlag, wire::kData,
                   static_cast<std::uint8_t>(wire::kReplyQuery | wire::kReplyJob), accept, reject, true};
  return collectReply(port, form, buffer, length, status, number);
}

int CorIpx::WaitParametersReply(IPXPORT& port, std::uint8_t* buffer, std::uint32_t& length, std::uint32_t& status,
                                std::uint8_t number) {
  const Reply form{wire::kShortTag, wire::kShortLength, wire::kShortData, wire::kShortMoreFlag, wire::kShortData,
                   wire::kReplyQuery, wire::kTagParameters2, wire::kTagReject, false};
  return collectReply(port, form, buffer, length, status, number);
}

// ---- Ports -----------------------------------------------------------------------------------

IPXPORT* CorIpx::FindPortById(std::uint16_t id) {
  std::lock_guard g(portsMutex_);
  for (auto& p : ports_)
    if (p->PortId == id) return p.get();
  return nullptr;
}

IPXPORT* CorIpx::FindPortByNumberAndNode(std::uint8_t number, const Node& node) {
  std::lock_guard g(portsMutex_);
  for (auto& p : ports_)
    if (p->PortNumber == number && p->Node == node) return p.get();
  return nullptr;
}

std::size_t CorIpx::portCount() const {
  std::lock_guard g(portsMutex_);
  return ports_.size();
}

}  // namespace wf::coripx
