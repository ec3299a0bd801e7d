// The adapters' IPX datagrams: acknowledgements with their faults, each
// (port, function, number) executed once, the enumeration replies, variable
// reads and writes, requests to the printer behind a port answered in
// "LPA NPA" pieces, alerts to the host that last asked, and print jobs:
// capture and release, the job's description, its data (each number once)
// and the back channel.
#include <algorithm>
#include <cstring>

#include "log_text.h"
#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "sim/adapter/adapter_server.h"
#include "sim/printer/npa.h"
#include "transports/common/adapter_layout.h"

namespace wf::sim::adapter {
namespace {

namespace ipx = ::wf::adapter::coripx;
constexpr std::size_t kLargestIpxDatagram = 1024;
constexpr std::size_t kPieceRequestingMore = 64;  // a piece of this L waits for the send-more request
constexpr std::uint8_t kControlName = 0x3C, kControlReset = 0x5E;  // "Control LPA" sub-commands

bool isVariablePacket(View npa) {
  return npa.size() >= ::wf::adapter::kVariableHeader && npa[0] == ::wf::adapter::kNpaStart &&
         npa[3] == ::wf::adapter::kVariableRequestFlags && npa[4] == ::wf::adapter::kVariableCommand &&
         npa[5] == ::wf::adapter::kVariableMarker && npa[6] <= 2;
}

bool isSendMore(View npa) {
  return npa.size() >= sizeof ipx::kSendMore && std::equal(std::begin(ipx::kSendMore), std::end(ipx::kSendMore), npa.begin());
}

// A tagged datagram behind the request's header: byte 0 = 0, numbered as the request.
Bytes taggedDatagram(View request, std::uint8_t function, const char* tag, View body) {
  Bytes d(ipx::kData, 0);
  std::copy_n(request.begin(), ipx::kHeader, d.begin());
  d[ipx::kKind] = 0;
  d[ipx::kFunction] = function;
  std::memcpy(d.data() + ipx::kTag, tag, std::strlen(tag));
  storeBe16(d.data() + ipx::kLength, static_cast<std::uint16_t>(body.size() + 2));
  d.insert(d.end(), body.begin(), body.end());
  if (d.size() > kLargestIpxDatagram) d.resize(kLargestIpxDatagram);
  return d;
}

Bytes npaPiece(View request, View npa) {
  return taggedDatagram(request, static_cast<std::uint8_t>(request[ipx::kFunction] | ipx::kReplyQuery), ipx::kTagNpa,
                        npa);
}

// Unsolicited: numbered 0, with the port byte the host uses.
Bytes unsolicited(std::uint8_t function, std::uint8_t portByte, const char* tag, View body) {
  const std::uint8_t header[ipx::kHeader] = {0, function, portByte, 0, ipx::kMagic0, ipx::kMagic1, ipx::kVersionByte,
                                             0, 0, 0};
  return taggedDatagram(View(header, sizeof header), function, tag, body);
}

// The adapter's own packets of a job: one whole NPA packet flagged control.
bool isOwnJobPacket(View npa) {
  const std::string_view text(reinterpret_cast<const char*>(npa.data()), npa.size());
  return npa.size() >= ::wf::adapter::kNpaHeader && npa[0] == ::wf::adapter::kNpaStart &&
         (npa[3] & ::wf::adapter::kNpaControl) && npa::packetSize(text) == npa.size();
}

bool isJobStart2(View npa) {
  return npa.size() > 5 && npa[4] == 0xE0 && npa[5] == 0x30;
}

bool sameHost(const SOCKADDR_IPX& a, const IpxAddress& b) {
  return IpxAddress::from(a) == b;
}

}  // namespace

bool AdapterServer::bindIpx(std::string* error) {
  const Node n = model_.node(), t = tokenRingOrder(n, model_.config().media);
  auto open = [&](const Node& node, std::uint16_t number) -> std::unique_ptr<IpxSocket> {
    IpxAddress at;
    at.network = model_.config().network;
    at.node = node;
    at.socket = number;
    auto s = std::make_unique<IpxSocket>();
    if (const int r = s->bind(at.toSockaddr())) {
      if (error) *error = id_ + ": cannot bind IPX socket " + std::to_string(number) + ": error " + std::to_string(r);
      return nullptr;
    }
    s->setPacketType(ipx::kPacketType);
    return s;
  };
  ipxQuery_ = open(n, ipx::kQuerySocket);
  ipxData_ = open(n, ipx::kDataSocket);
  if (!ipxQuery_ || !ipxData_) return false;
  if (t != n) {
    ipxQueryT_ = open(t, ipx::kQuerySocket);
    ipxDataT_ = open(t, ipx::kDataSocket);
    if (!ipxQueryT_ || !ipxDataT_) return false;
  }
  struct Reader {
    IpxSocket* socket;
    std::uint16_t number;
    bool acksOnly;
  };
  const Reader readers[4] = {{ipxQuery_.get(), ipx::kQuerySocket, false},
                             {ipxData_.get(), ipx::kDataSocket, false},
                             {ipxQueryT_.get(), ipx::kQuerySocket, true},
                             {ipxDataT_.get(), ipx::kDataSocket, true}};
  for (std::size_t i = 0; i < 4; ++i) {
    if (!readers[i].socket) continue;
    const Reader r = readers[i];
    ipxReaders_[i] = Thread("adapter-ipx", [this, r](std::stop_token stop) {
      serveIpx(*r.socket, r.number, r.acksOnly, stop);
    });
  }
  return true;
}

IpxSocket* AdapterServer::ipxSender(std::uint16_t number) {
  if (number == ipx::kQuerySocket) return ipxQueryT_ ? ipxQueryT_.get() : ipxQuery_.get();
  return ipxDataT_ ? ipxDataT_.get() : ipxData_.get();
}

Bytes AdapterServer::ipxJobData(int port) const {
  std::lock_guard g(mutex_);
  const auto it = ipxPorts_.find(port);
  return it == ipxPorts_.end() ? Bytes{} : it->second.jobData;
}

PrinterModel* AdapterServer::printerFor(int port) {
  DataChannel* channel = channelOf(port);
  if (!channel) {
    channels_.push_back(std::make_unique<DataChannel>());
    channel = channels_.back().get();
    channel->port = port;
  }
  return printerOf(*channel);
}

void AdapterServer::sendIpx(IpxSocket& out, const Bytes& d, const SOCKADDR_IPX& to, std::uint16_t number) {
  const IpxIo r = out.sendTo(d.data(), d.size(), to);
  char socketText[8];
  std::snprintf(socketText, sizeof socketText, "%04X", number);
  log_(id_ + " out " + socketText + " " + addressText(to) + " " + hexOf(d) +
       (r.error ? " error " + std::to_string(r.error) : ""));
}

void AdapterServer::serveIpx(IpxSocket& socket, std::uint16_t number, bool acknowledgementsOnly,
                             std::stop_token stop) {
  std::vector<std::uint8_t> buffer(2048);
  char socketText[8];
  std::snprintf(socketText, sizeof socketText, "%04X", number);
  while (!stop.stop_requested()) {
    SOCKADDR_IPX from{};
    const IpxIo in = socket.receiveFrom(buffer.data(), buffer.size(), &from, nullptr, stop);
    if (in.error == WSAEINTR || in.error == WSAENOTSOCK) return;
    if (in.error) continue;
    const View d(buffer.data(), static_cast<std::size_t>(in.bytes));
    const bool ack = !d.empty() && (d[ipx::kKind] & ipx::kAck);
    if (acknowledgementsOnly && !ack) continue;  // a broadcast is answered once, at the node
    log_(id_ + " in " + socketText + " " + addressText(from) + " " + hexOf(d));
    if (ack) continue;  // the host's acknowledgement of an answer
    onIpx(d, from, number, stop);
  }
}

void AdapterServer::onIpx(View d, const SOCKADDR_IPX& from, std::uint16_t number, std::stop_token stop) {
  char socketText[8];
  std::snprintf(socketText, sizeof socketText, "%04X", number);
  if (d.size() < ipx::kShortHeader) return log_(id_ + " drop " + socketText + " short datagram");
  Knobs knobs;
  Kind kind;
  {
    std::lock_guard g(mutex_);
    knobs = model_.config().knobs;
    kind = model_.config().kind;
  }
  if (knobs.silent) return log_(id_ + " drop " + socketText + " silent");
  IpxSocket* out = ipxSender(number);
  const std::uint8_t function = d[ipx::kFunction], packet = d[ipx::kNumber];
  const int port = d[ipx::kPort] & 0x0F;
  const bool job = function == ipx::kFnJobData;

  // Acknowledgement, with its faults.
  std::uint8_t ackKind = ipx::kAck;
  bool lost = false, paceOff = false, sendAck = !knobs.noAck;
  {
    // Counted from when the knob was last changed.
    std::lock_guard g(mutex_);
    const IpxCounts now{knobs.dropAck, knobs.dataLost, knobs.paceOff};
    if (now.dropAck != ipxCounted_.dropAck) ipxAcks_ = 0;
    if (now.dataLost != ipxCounted_.dataLost || now.paceOff != ipxCounted_.paceOff) ipxDataPackets_ = 0;
    ipxCounted_ = now;
    if (job) {
      ++ipxDataPackets_;
      if (ipxDataPackets_ == knobs.dataLost) ackKind = 0x81, lost = true;
      if (ipxDataPackets_ == knobs.paceOff) ackKind = ipx::kAck | ipx::kPaceOff, paceOff = true;
    }
    if (++ipxAcks_ == knobs.dropAck) sendAck = false;
  }
  // Each (port, function, number) once; job packets and enumeration
  // queries (numbered 0 or 0xFF) always. Decided, and a job packet's data
  // kept, before the acknowledgement goes: whoever has it sees the effect.
  std::string dropped;
  std::vector<Bytes> backChannel;
  {
    std::lock_guard g(mutex_);
    IpxPortState& state = ipxPorts_[port];
    const int key = function << 8 | packet;
    const bool enumeration = packet == ipx::kGlobalNumber || packet == ipx::kSpecificNumber;
    if (lost) {
      dropped = "data lost";
    } else if (job ? state.lastData == packet : !enumeration && state.last == key) {
      dropped = "repeat";
    } else if (job) {
      state.lastData = packet;
      backChannel = ipxJobPacket(port, d);
    } else {
      state.last = key;
      if (function == ipx::kFnRequest && !enumeration) {
        state.alertTo = from;
        state.alertPortByte = d[ipx::kPort];
      }
    }
  }
  if (!dropped.empty()) log_(id_ + " drop " + socketText + " " + dropped);

  Bytes header(ipx::kHeader, 0);
  std::copy_n(d.begin(), std::min(d.size(), ipx::kHeader), header.begin());
  if (sendAck) {
    if (knobs.ackDelayMs && !sleepFor(knobs.ackDelayMs, stop)) return;
    Bytes a = header;
    a[ipx::kKind] = ackKind;
    sendIpx(*out, a, from, number);
  }
  if (paceOff) {
    Bytes on = header;
    on[ipx::kKind] = ipx::kPaceOff;  // below 0x80: pace on
    const std::uint32_t after = knobs.paceOnAfterMs;
    std::lock_guard g(mutex_);
    ipxTimers_.emplace_back("adapter-pace", [this, on, from, number, after](std::stop_token s) {
      if (sleepFor(after, s)) sendIpx(*ipxSender(number), on, from, number);
    });
  }
  for (const Bytes& b : backChannel) sendIpx(*out, b, from, number);
  if (!dropped.empty() || job) return;
  if (knobs.delayMs && !sleepFor(knobs.delayMs, stop)) return;
  const bool controlLpa = d.size() >= ipx::kData && std::memcmp(d.data() + ipx::kTag, ipx::kTagControl,
                                                                 sizeof ipx::kTagControl) == 0;
  if (function == ipx::kFnControl || function == ipx::kFnJobInfo || function == ipx::kFnEndJob ||
      function == ipx::kFnOpenJob || (function == ipx::kFnRequest && controlLpa)) {
    Bytes answer;
    {
      std::lock_guard g(mutex_);
      answer = ipxControl(port, d, from);
    }
    if (!answer.empty()) sendIpx(*out, answer, from, number);
    Response::After after = Response::After::Nothing;
    {
      std::lock_guard g(mutex_);
      std::swap(after, ipxRestart_);
    }
    return restartAfter(after);
  }

  const bool shortQuery = number == ipx::kQuerySocket && d.size() >= ipx::kShortTag + sizeof ipx::kTagQuery &&
                          std::memcmp(d.data() + ipx::kShortTag, ipx::kTagQuery, sizeof ipx::kTagQuery) == 0;
  if (shortQuery) {
    if (kind != Kind::SinglePort) return;
    Bytes reply;
    {
      std::lock_guard g(mutex_);
      reply = model_.ipxParameters2(packet);
    }
    return sendIpx(*out, reply, from, number);
  }
  if (function != ipx::kFnRequest || d.size() < ipx::kHeader) return log_(id_ + " drop " + socketText + " not served");
  const View npa = d.subspan(ipx::kHeader);
  if (isSendMore(npa)) {
    std::vector<Bytes> send;
    SOCKADDR_IPX to{};
    {
      std::lock_guard g(mutex_);
      IpxPortState& state = ipxPorts_[port];
      to = state.pendingTo;
      while (!state.pending.empty()) {
        send.push_back(std::move(state.pending.front()));
        state.pending.erase(state.pending.begin());
        if (loadBe16(send.back().data() + ipx::kLength) == kPieceRequestingMore) break;
      }
    }
    for (const Bytes& piece : send) sendIpx(*out, piece, to, number);
    return;
  }
  if (kind == Kind::MultiPort && isVariablePacket(npa)) {
    std::optional<Bytes> answer;
    Response::After after = Response::After::Nothing;
    {
      std::lock_guard g(mutex_);
      answer = npa[6] == 2 ? std::optional<Bytes>(model_.ipxEnumeration()) : model_.ipxVariables(npa, &after);
    }
    if (!answer) return log_(id_ + " drop " + socketText + " not a variable request");
    Bytes reply = npaPiece(d, *answer);
    if (knobs.garbage) {
      reply.assign(48, 0);
      for (std::size_t i = 0; i < reply.size(); ++i) reply[i] = static_cast<std::uint8_t>(0xE5 ^ (i * 37));
    }
    sendIpx(*out, reply, from, number);
    return restartAfter(after);
  }
  // A single-port adapter's port is number 0 on the wire, its printer's port 1.
  ipxPrinterRequest(port, kind == Kind::SinglePort ? 1 : port, d.first(ipx::kHeader), npa, from, *out);
}

// A job data packet (its number new): the adapter's own packets are kept
// apart, the rest is the print stream; a kind-form job's goes to the printer.
// What comes back goes on the back channel.
std::vector<Bytes> AdapterServer::ipxJobPacket(int port, View d) {
  IpxPortState& state = ipxPorts_[port];
  const View npa = d.size() > ipx::kHeader ? d.subspan(ipx::kHeader) : View{};
  const std::uint8_t portByte = d[ipx::kPort];
  std::vector<Bytes> back;
  if (ipxFlashing_) {
    ipxImage_.insert(ipxImage_.end(), npa.begin(), npa.end());
    return back;
  }
  if (isOwnJobPacket(npa)) {
    state.jobControl.emplace_back(npa.begin(), npa.end());
    if (isJobStart2(npa)) {
      const std::uint8_t answer[] = {::wf::adapter::kNpaStart, 0x00, 0x06, ::wf::adapter::kNpaReply, 0xE0, 0x30,
                                     0x00, 0x4A, 0x31};
      back.push_back(unsolicited(ipx::kReplyJob, portByte, ipx::kTagBackChannel, View(answer, sizeof answer)));
    }
    return back;
  }
  state.jobData.insert(state.jobData.end(), npa.begin(), npa.end());
  // A kind-form job (port byte with its high bit) carries an NPA stream for the printer.
  if (npa.empty() || !(portByte & 0x80)) return back;
  const int printerPort = model_.config().kind == Kind::SinglePort ? 1 : port;
  if (PrinterModel* printer = printerFor(printerPort))
    for (const Outgoing& a : printer->receive(std::string_view(reinterpret_cast<const char*>(npa.data()), npa.size())))
      back.push_back(unsolicited(ipx::kReplyJob, portByte, ipx::kTagBackChannel,
                                 View(reinterpret_cast<const std::uint8_t*>(a.bytes.data()), a.bytes.size())));
  return back;
}

// Capture and release, the adapter's name, the job's description and its
// end; with mutex_ held.
Bytes AdapterServer::ipxControl(int port, View d, const SOCKADDR_IPX& from) {
  IpxPortState& state = ipxPorts_[port];
  const std::uint8_t function = d[ipx::kFunction];
  const auto reply = static_cast<std::uint8_t>(function | ipx::kReplyQuery);
  if (function == ipx::kFnOpenJob) return {};
  if (function == ipx::kFnEndJob) {
    const std::uint8_t done[] = {::wf::adapter::kNpaStart, 0x00, 0x03, ::wf::adapter::kNpaReply, 0x05, 0x01};
    return taggedDatagram(d, reply, ipx::kTagNpa, View(done, sizeof done));
  }
  if (function == ipx::kFnJobInfo) {
    state.jobInfo.clear();
    const std::size_t end = d.size() >= ipx::kData ? std::min(d.size(), ipx::kData + loadLe16(d.data() + ipx::kLength)) : 0;
    for (std::size_t at = ipx::kData; at < end && state.jobInfo.size() < 5;) {
      const auto* text = reinterpret_cast<const char*>(d.data() + at);
      const std::size_t n = strnlen(text, end - at);
      state.jobInfo.emplace_back(text, n);
      at += n + 1;
    }
    return taggedDatagram(d, reply, ipx::kTagJobInfoAccept, {});
  }
  if (d.size() < ipx::kData || std::memcmp(d.data() + ipx::kTag, ipx::kTagControl, sizeof ipx::kTagControl) != 0)
    return {};
  if (d[32] == ::wf::adapter::kItemProgramMode && d.size() > 33) {
    ipxFlashing_ = d[33] == 1;
    if (ipxFlashing_) ipxImage_.clear();
  }
  if (d[32] == ::wf::adapter::kItemAddress || d[32] == ::wf::adapter::kItemProgramMode) {
    const View items = d.subspan(31, std::min<std::size_t>(d[31], d.size() - 31));
    const bool ok = model_.ipxControlItems(items, ipxRestart_);
    return taggedDatagram(d, reply, ok ? ipx::kTagControlAccept : ipx::kTagControlReject, {});
  }
  if (d[32] == kControlReset) {
    ipxRestart_ = Response::After::Restart;
    return taggedDatagram(d, reply, ipx::kTagControlAccept, {});
  }
  if (d[32] == kControlName && d.size() >= ipx::kData + 25) {
    const auto* name = reinterpret_cast<const char*>(d.data() + ipx::kData);
    model_.config().name.assign(name, strnlen(name, 24));
    return taggedDatagram(d, reply, ipx::kTagControlAccept, {});
  }
  if (d[32] != ipx::kControlCapture || d.size() < ipx::kControlPacket) return {};
  const Knobs& knobs = model_.config().knobs;
  if (knobs.refuseCapture != ipxRefuseSet_) ipxRefuseSet_ = knobs.refuseCapture, ipxRefused_ = 0;
  const bool capture = d[34] == 1;
  const bool heldElsewhere = state.holder && !sameHost(from, *state.holder);
  bool accepted = !heldElsewhere;
  if (capture && accepted && ipxRefused_ < knobs.refuseCapture) {
    ++ipxRefused_;
    accepted = false;
  }
  if (accepted) {
    if (capture)
      state.holder = IpxAddress::from(from);
    else
      state.holder.reset();
  }
  return taggedDatagram(d, reply, accepted ? ipx::kTagControlAccept : ipx::kTagControlReject, {});
}

// An alert to the host that last sent the port a request, as "LPA DSA"
// pieces (or under the tag the knob names).
bool AdapterServer::raiseIpxAlert(int port, std::string_view packet) {
  std::vector<Bytes> pieces;
  SOCKADDR_IPX to{};
  {
    std::lock_guard g(mutex_);
    if (!ipxData_) return false;
    const int wirePort = model_.config().kind == Kind::SinglePort ? 0 : port;
    const auto it = ipxPorts_.find(wirePort);
    if (it == ipxPorts_.end() || !it->second.alertTo) return false;
    to = *it->second.alertTo;
    const Knobs& knobs = model_.config().knobs;
    const char* tag = knobs.alertTag == Knobs::AlertTag::Intervention   ? ipx::kTagIntervention
                      : knobs.alertTag == Knobs::AlertTag::ProgramCheck ? ipx::kTagProgramCheck
                                                                        : ipx::kTagDsa;
    std::string message(packet);
    if (knobs.alertPieces > 1 && npa::packetSize(packet) == packet.size()) {
      const npa::Packet p = npa::decode(packet);
      const std::size_t each = std::max<std::size_t>(1, (p.data.size() + knobs.alertPieces - 1) / knobs.alertPieces);
      message = npa::encodeMessage(p.flags, p.command, p.data, each);
    }
    for (std::string_view rest = message; !rest.empty();) {
      const std::size_t size = npa::packetSize(rest).value_or(rest.size());
      const View body(reinterpret_cast<const std::uint8_t*>(rest.data()), size);
      pieces.push_back(unsolicited(ipx::kReplyAlert, it->second.alertPortByte, tag, body));
      rest.remove_prefix(size);
    }
  }
  for (const Bytes& p : pieces) sendIpx(*ipxSender(ipx::kDataSocket), p, to, ipx::kDataSocket);
  return !pieces.empty();
}

Bytes AdapterServer::ipxFlashImage() const {
  std::lock_guard g(mutex_);
  return ipxImage_;
}

std::vector<Bytes> AdapterServer::ipxJobControl(int port) const {
  std::lock_guard g(mutex_);
  const auto it = ipxPorts_.find(port);
  return it == ipxPorts_.end() ? std::vector<Bytes>{} : it->second.jobControl;
}

std::vector<std::string> AdapterServer::ipxJobInfo(int port) const {
  std::lock_guard g(mutex_);
  const auto it = ipxPorts_.find(port);
  return it == ipxPorts_.end() ? std::vector<std::string>{} : it->second.jobInfo;
}

// Hands a restart to the supervisor, which closes and binds the sockets again.
void AdapterServer::restartAfter(Response::After after) {
  if (after == Response::After::Nothing) return;
  std::lock_guard g(mutex_);
  pending_ = after;
  wake_.notify_all();
}

// The printer's answer in pieces, one NPA packet each, all but the last
// flagged "more"; after a piece whose L is 64 the rest waits for the
// send-more request.
void AdapterServer::ipxPrinterRequest(int port, int printerPort, View header, View npa, const SOCKADDR_IPX& to,
                                      IpxSocket& out) {
  std::vector<Bytes> pieces;
  {
    std::lock_guard g(mutex_);
    std::vector<Outgoing> answers;
    if (PrinterModel* printer = printerFor(printerPort))
      answers = printer->receive(std::string_view(reinterpret_cast<const char*>(npa.data()), npa.size()));
    for (const Outgoing& a : answers)
      for (std::string_view rest = a.bytes; !rest.empty();) {
        const std::size_t size = npa::packetSize(rest).value_or(rest.size());
        pieces.push_back(Bytes(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(size)));
        rest.remove_prefix(size);
      }
    if (pieces.empty())
      pieces.push_back({::wf::adapter::kNpaStart, 0x00, 0x03, ::wf::adapter::kNpaReply,
                        npa.size() > 4 ? npa[4] : std::uint8_t{0}, npa.size() > 5 ? npa[5] : std::uint8_t{0}});
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i)
      if (pieces[i].size() > 3) pieces[i][3] |= ::wf::adapter::kNpaMore;
    for (Bytes& p : pieces) p = npaPiece(header, p);
    IpxPortState& state = ipxPorts_[port];
    state.pending.clear();
    state.pendingTo = to;
    for (std::size_t i = 0; i < pieces.size(); ++i)
      if (loadBe16(pieces[i].data() + ipx::kLength) == kPieceRequestingMore) {
        state.pending.assign(pieces.begin() + static_cast<std::ptrdiff_t>(i + 1), pieces.end());
        pieces.resize(i + 1);
        break;
      }
  }
  for (const Bytes& p : pieces) sendIpx(out, p, to, ipx::kDataSocket);
}

}  // namespace wf::sim::adapter
