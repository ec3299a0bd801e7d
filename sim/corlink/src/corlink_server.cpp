#include "sim/corlink/corlink_server.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "platform/byte_codec.h"
#include "protocol/npa.h"
#include "sim/printer/npa.h"
#include "sim/printer/profile.h"

namespace wf::sim::corlink {
namespace {

namespace wire = ::wf::protocol::npa;

// How long a write to a client that does not read may take.
constexpr std::uint32_t kClientWriteWait = 10'000;

std::string hexText(const Bytes& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out(bytes.size() * 2, '0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out[2 * i] = kDigits[bytes[i] >> 4];
    out[2 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
  return out;
}

bool readFull(NamedPipe& pipe, std::uint8_t* out, std::size_t size, std::stop_token stop) {
  std::size_t done = 0;
  while (done < size) {
    std::size_t got = 0;
    if (pipe.read(out + done, size - done, &got, kInfinite, stop) != ERROR_SUCCESS) return false;
    done += got;
  }
  return true;
}

struct WireFrame {
  std::uint32_t command = 0;
  std::optional<PortAddress> block;
  Bytes data;
};

enum class FrameIn { Ok, Closed, Bad };

FrameIn readWireFrame(NamedPipe& pipe, WireFrame& frame, Bytes& raw, std::string& why, std::stop_token stop) {
  raw.assign(kFrameHeader, 0);
  if (!readFull(pipe, raw.data(), kFrameHeader, stop)) return FrameIn::Closed;
  const std::size_t length = loadBe16(raw.data());
  frame.command = loadLe32(raw.data() + 3);
  const std::size_t blockLength = loadBe16(raw.data() + 7);
  if (blockLength != 0 && blockLength != kPortBlockSize) {
    why = "port block length " + std::to_string(blockLength);
    return FrameIn::Bad;
  }
  if (length < kFrameHeader + blockLength || length > kFrameMax) {
    why = "frame length " + std::to_string(length);
    return FrameIn::Bad;
  }
  raw.resize(length);
  if (!readFull(pipe, raw.data() + kFrameHeader, length - kFrameHeader, stop)) return FrameIn::Closed;
  frame.block.reset();
  if (blockLength) {
    PortAddress a;
    std::copy_n(raw.begin() + kFrameHeader, 6, a.node.begin());
    a.hi = raw[kFrameHeader + 6];
    a.lo = raw[kFrameHeader + 7];
    a.number = raw[kFrameHeader + 8];
    a.kind = raw[kFrameHeader + 9];
    frame.block = a;
  }
  frame.data.assign(raw.begin() + static_cast<std::ptrdiff_t>(kFrameHeader + blockLength), raw.end());
  return FrameIn::Ok;
}

Bytes encodeFrame(std::uint32_t command, const std::optional<PortAddress>& block, const std::uint8_t* data,
                  std::size_t size) {
  Bytes f(kFrameHeader + (block ? kPortBlockSize : 0) + size, 0);
  storeBe16(f.data(), static_cast<std::uint16_t>(f.size()));
  f[2] = 2;
  storeLe32(f.data() + 3, command);
  if (block) {
    storeBe16(f.data() + 7, kPortBlockSize);
    std::copy(block->node.begin(), block->node.end(), f.begin() + 9);
    f[15] = block->hi;
    f[16] = block->lo;
    f[17] = block->number;
    f[18] = block->kind;
  }
  if (size) std::copy_n(data, size, f.end() - static_cast<std::ptrdiff_t>(size));
  return f;
}

bool isHostRequest(const Bytes& data) {
  return data.size() > wire::kCommandOffset && data[0] == wire::kStart && (data[wire::kFlagsOffset] & wire::kFlagRequest) &&
         data[wire::kCommandOffset] != wire::kPrintData;
}

Bytes adminReply(std::uint8_t marker, std::uint8_t command, const Bytes& data = {}) {
  Bytes r = {0, 0, marker, command};
  r.insert(r.end(), data.begin(), data.end());
  storeBe16(r.data(), static_cast<std::uint16_t>(r.size()));
  return r;
}

Bytes adminError(std::uint8_t command, std::uint8_t code) {
  return adminReply(0xFF, command, {code});
}

std::string textAt(const Bytes& b, std::size_t at, std::size_t width) {
  std::string out;
  for (std::size_t i = at; i < std::min(b.size(), at + width) && b[i]; ++i) out += static_cast<char>(b[i]);
  return out;
}

}  // namespace

// The pipes while the server is up: one thread per listener and per client.
struct ServerHost::Served {
  std::vector<std::unique_ptr<PipeListener>> listeners;
  std::vector<Thread> acceptors;
  std::mutex mutex;
  std::vector<Thread> clients;

  ~Served() {
    for (auto& a : acceptors) a.requestStop();
    for (auto& l : listeners) l->cancel();
    acceptors.clear();
    std::lock_guard hold(mutex);
    clients.clear();  // each is stopped and joined; its pipe closes with it
  }

  void addClient(Thread thread) {
    std::lock_guard hold(mutex);
    std::erase_if(clients, [](const Thread& t) { return t.finished(); });
    clients.push_back(std::move(thread));
  }
};

ServerHost::ServerHost(CorLinkServer server, std::filesystem::path profileDir, std::filesystem::path jobDir, Log log)
    : name_(server.name),
      profileDir_(std::move(profileDir)),
      jobDir_(std::move(jobDir)),
      log_(std::move(log)),
      server_(std::move(server)) {}

ServerHost::~ServerHost() {
  down();
}

std::unique_ptr<ServerHost> ServerHost::start(CorLinkServer server, std::filesystem::path profileDir,
                                              std::filesystem::path jobDir, Log log, std::string* error) {
  std::unique_ptr<ServerHost> host(
      new ServerHost(std::move(server), std::move(profileDir), std::move(jobDir), std::move(log)));
  if (!host->up(error)) return nullptr;
  return host;
}

bool ServerHost::up(std::string* error) {
  std::lock_guard hold(servedMutex_);
  if (served_) return true;
  auto served = std::make_unique<Served>();
  const std::pair<const char*, PipeMode> pipes[] = {{kRequestPipe, PipeMode::Byte},
                                                     {kAlertPipe, PipeMode::Byte},
                                                     {kTransactionPipe, PipeMode::Message},
                                                     {kAdministrationPipe, PipeMode::Byte}};
  for (const auto& [pipeName, mode] : pipes) {
    DWORD result = 0;
    auto listener = PipeListener::listen("\\\\" + name_ + pipeName, mode, &result);
    if (!listener) {
      if (error) *error = name_ + ": cannot serve " + pipeName + " (" + std::to_string(result) + ")";
      return false;
    }
    served->listeners.push_back(std::make_unique<PipeListener>(std::move(*listener)));
  }
  Served* s = served.get();
  for (std::size_t i = 0; i < s->listeners.size(); ++i) {
    PipeListener* listener = s->listeners[i].get();
    s->acceptors.emplace_back(name_ + "-accept", [this, s, listener, i](std::stop_token stop) {
      while (auto accepted = listener->accept(nullptr, kInfinite, stop)) {
        auto pipe = std::make_shared<NamedPipe>(std::move(*accepted));
        s->addClient(Thread(name_ + "-client", [this, pipe, i](std::stop_token clientStop) {
          switch (i) {
            case 0:
              serveRequests(*pipe, clientStop);
              break;
            case 1:
              serveAlerts(pipe, clientStop);
              break;
            case 2:
              serveTransactions(*pipe, clientStop);
              break;
            default:
              serveAdministration(*pipe, clientStop);
              break;
          }
        }));
      }
    });
  }
  served_ = std::move(served);
  log_(name_ + " up");
  return true;
}

void ServerHost::down() {
  std::unique_ptr<Served> gone;
  {
    std::lock_guard hold(servedMutex_);
    gone = std::move(served_);
  }
  if (gone) {
    gone.reset();
    log_(name_ + " down");
  }
}

void ServerHost::withServer(const std::function<void(CorLinkServer&)>& change) {
  std::lock_guard hold(mutex_);
  change(server_);
}

void ServerHost::logFrame(const char* pipe, const char* direction, const Bytes& frame) {
  log_(name_ + " " + direction + " " + pipe + " " + hexText(frame));
}

// ---------------------------------------------------------------------------
// Request pipe

void ServerHost::serveRequests(NamedPipe& pipe, std::stop_token stop) {
  int framesWritten = 0;
  ServerKnobs knobs;
  bool downLevel = false;
  auto send = [&](const Bytes& frame) {
    if (knobs.dropAfterFrames && framesWritten >= *knobs.dropAfterFrames) {
      log_(name_ + " drop request pipe after " + std::to_string(framesWritten) + " frames");
      return false;
    }
    logFrame("request", "out", frame);
    ++framesWritten;
    return pipe.write(frame.data(), frame.size(), kClientWriteWait, stop) == ERROR_SUCCESS;
  };
  auto closeWith = [&](const std::string& why) { log_(name_ + " close request pipe: " + why); };
  for (;;) {
    // One request message: frames up to a final one, each acknowledged.
    WireFrame frame;
    Bytes raw, message;
    std::optional<PortAddress> block;
    std::uint8_t command = 0;
    for (;;) {
      std::string why;
      const FrameIn in = readWireFrame(pipe, frame, raw, why, stop);
      if (in == FrameIn::Closed) return;
      logFrame("request", "in", raw);
      if (in == FrameIn::Bad) return closeWith(why);
      if (frame.command & kAcknowledgement) return closeWith("acknowledgement where a request was due");
      if (message.size() + frame.data.size() > kMessageMax) return closeWith("message beyond 1 MiB");
      {
        std::lock_guard hold(mutex_);
        knobs = server_.knobs;
        downLevel = server_.downLevel;
      }
      command = static_cast<std::uint8_t>(frame.command);
      if (!block) block = frame.block;
      message.insert(message.end(), frame.data.begin(), frame.data.end());
      const bool final = frame.command & kFinalFrame;
      std::uint32_t ack = frame.command | kAcknowledgement | kFinalFrame;
      if (knobs.ackWithoutFinal) ack &= ~kFinalFrame;
      if (final && command == 127 && downLevel) ack = (ack & ~kStatusMask) | kStatusDownLevel;
      const Bytes extra = knobs.ackWithData ? Bytes{0xAC, 0xCE, 0x55} : Bytes{};
      if (!send(encodeFrame(ack, frame.block, extra.data(), extra.size()))) return;
      if (final) break;
    }
    if (knobs.silent) continue;
    const auto reply = answer(command, block, message);
    if (!reply) continue;
    // The reply, in frames; the client acknowledges each.
    const std::size_t room = knobs.replyFrame - kFrameHeader - (reply->block ? kPortBlockSize : 0);
    std::size_t at = 0;
    do {
      const std::size_t part = std::min(room, reply->data.size() - at);
      const bool final = at + part == reply->data.size();
      const std::uint32_t word = command | reply->status | (final ? kFinalFrame : 0);
      Bytes out = encodeFrame(word, reply->block, reply->data.data() + at, part);
      if (knobs.oversizeFrame) {
        out.resize(600, 0x55);
        storeBe16(out.data(), 600);
      }
      if (knobs.blockLengthSeven) storeBe16(out.data() + 7, 7);
      if (knobs.shortFrame) storeBe16(out.data(), 5);
      if (!send(out)) return;
      at += part;
      std::string why;
      const FrameIn in = readWireFrame(pipe, frame, raw, why, stop);
      if (in == FrameIn::Closed) return;
      logFrame("request", "in", raw);
      if (in == FrameIn::Bad) return closeWith(why);
      if (!(frame.command & kAcknowledgement)) return closeWith("a request where an acknowledgement was due");
      if (!final) continue;
      break;
    } while (true);
  }
}

std::optional<ServerHost::Reply> ServerHost::answer(std::uint8_t command, const std::optional<PortAddress>& block,
                                                    const Bytes& data) {
  std::unique_lock hold(mutex_);
  Reply reply;
  reply.block = block;  // a reply names the port its request named
  auto noSuch = [&] {
    reply.status = kStatusNoSuch;
    return reply;
  };
  auto port = block ? server_.find(*block) : std::nullopt;
  auto text = [](std::string_view s) {
    Bytes b(s.begin(), s.end());
    b.push_back(0);
    return b;
  };
  switch (command) {
    case 127:
      return std::nullopt;
    case 2:
      reply.data = {server_.isAdministrator(std::string(data.begin(), data.end())) ? std::uint8_t{1} : std::uint8_t{0}};
      return reply;
    case 5:
    case 13:
      for (const auto& a : server_.adapters)
        for (const auto& p : a.ports)
          if (command == 5 || !p.queue.empty()) {
            const Bytes r = portRecord(server_, a, p);
            reply.data.insert(reply.data.end(), r.begin(), r.end());
          }
      if (server_.knobs.partialRecord && !reply.data.empty()) reply.data.resize(reply.data.size() - 40);
      return reply;
    case 6:
      if (!port) return noSuch();
      reply.data = portRecord(server_, *port->first, *port->second);
      return reply;
    case 7: {
      const auto byQueue = server_.findByQueue(textAt(data, 0, data.size()));
      if (!byQueue) return noSuch();
      reply.data = portRecord(server_, *byQueue->first, *byQueue->second);
      return reply;
    }
    case 8:
      if (!port) return noSuch();
      reply.data = adapterRecord(server_, *port->first, *port->second);
      return reply;
    case 9:
      if (!port) return noSuch();
      reply.data = text(port->second->nickname);
      return reply;
    case 10:
      if (!port) return noSuch();
      reply.data = server_.advanced;
      reply.data.resize(143);
      return reply;
    case 11:
      if (!port) return noSuch();
      reply.data = Bytes(8, 0);
      std::copy_n(server_.password.begin(), std::min<std::size_t>(8, server_.password.size()), reply.data.begin());
      return reply;
    case 12:
      if (!port) return noSuch();
      reply.data = text(port->second->queue);
      return reply;
    case 0: {
      if (!port) return isHostRequest(data) ? std::optional(noSuch()) : std::nullopt;
      Reply r = printerRequest(*port->first, *port->second, data);
      if (!isHostRequest(data)) return std::nullopt;
      r.block = block;
      return r;
    }
    default:
      return noSuch();
  }
}

PrinterModel* ServerHost::printerOf(const CorLinkAdapter& adapter, const CorLinkPort& port, std::string* error) {
  auto& printer = printers_[{adapter.id, port.number}];
  if (printer) return printer.get();
  if (port.printerProfile.empty()) {
    if (error) *error = "no printer behind " + port.nickname;
    return nullptr;
  }
  std::filesystem::path file = port.printerProfile;
  if (file.is_relative()) file = profileDir_ / file;
  auto profile = loadProfile(file, error);
  if (!profile) return nullptr;
  printer = std::make_unique<PrinterModel>(std::move(*profile));
  return printer.get();
}

void ServerHost::keepJobs(const CorLinkPort& port, PrinterModel& printer) {
  if (jobDir_.empty()) return;
  // Each job as the printer took it, its packet framing gone; the last two
  // files are rewritten, as data may end one job and begin the next.
  const auto jobs = printer.printJobs();
  std::error_code ec;
  std::filesystem::create_directories(jobDir_, ec);
  for (std::size_t n = jobs.size() > 2 ? jobs.size() - 2 : 0; n < jobs.size(); ++n) {
    std::ofstream out(jobDir_ / (name_ + "." + port.nickname + "." + std::to_string(n + 1) + ".prn"),
                      std::ios::trunc | std::ios::binary);
    out.write(jobs[n].data(), static_cast<std::streamsize>(jobs[n].size()));
  }
}

ServerHost::Reply ServerHost::printerRequest(CorLinkAdapter& adapter, CorLinkPort& port, const Bytes& data) {
  Reply reply;
  std::string why;
  PrinterModel* printer = printerOf(adapter, port, &why);
  if (!printer) {
    log_(name_ + " drop printer " + why);
    reply.status = kStatusNoSuch;
    return reply;
  }
  const auto answers = printer->receive(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
  if (!isHostRequest(data)) {
    keepJobs(port, *printer);
    return reply;
  }
  for (const Outgoing& a : answers) {
    for (std::string_view rest = a.bytes; !rest.empty();) {
      const std::size_t size = npa::packetSize(rest).value_or(rest.size());
      if (size > wire::kFlagsOffset && (static_cast<std::uint8_t>(rest[wire::kFlagsOffset]) & wire::kFlagError))
        reply.status = kStatusPrinterError;
      rest.remove_prefix(size);
    }
    reply.data.insert(reply.data.end(), a.bytes.begin(), a.bytes.end());
  }
  if (reply.data.empty())
    reply.data = {wire::kStart, 0x00, 0x03, wire::kFlagReply, data[wire::kCommandOffset],
                  data.size() > wire::kHeaderSize ? data[wire::kHeaderSize] : std::uint8_t{0}};
  return reply;
}

// ---------------------------------------------------------------------------
// Alert pipes

void ServerHost::serveAlerts(const std::shared_ptr<NamedPipe>& pipe, std::stop_token stop) {
  {
    std::lock_guard hold(alertMutex_);
    std::erase_if(alertPipes_, [](const auto& w) { return w.expired(); });
    alertPipes_.push_back(pipe);
  }
  // Clients never write here; a read tells when this one has gone.
  std::uint8_t ignored[64];
  std::size_t got = 0;
  while (pipe->read(ignored, sizeof ignored, &got, kInfinite, stop) == ERROR_SUCCESS) {
  }
  std::lock_guard hold(alertMutex_);
  std::erase_if(alertPipes_, [&](const auto& w) { return w.expired() || w.lock() == pipe; });
}

std::size_t ServerHost::openAlertPipes() {
  std::lock_guard hold(alertMutex_);
  return static_cast<std::size_t>(
      std::count_if(alertPipes_.begin(), alertPipes_.end(), [](const auto& w) { return !w.expired(); }));
}

void ServerHost::toAlertPipes(std::uint32_t command, const std::optional<PortAddress>& block, const Bytes& data) {
  std::vector<std::shared_ptr<NamedPipe>> open;
  {
    std::lock_guard hold(alertMutex_);
    for (const auto& w : alertPipes_)
      if (auto p = w.lock()) open.push_back(std::move(p));
  }
  const std::size_t room = kFrameMax - kFrameHeader - (block ? kPortBlockSize : 0);
  std::size_t at = 0;
  do {
    const std::size_t part = std::min(room, data.size() - at);
    const bool final = at + part == data.size();
    const Bytes frame = encodeFrame(command | (final ? kFinalFrame : 0), block, data.data() + at, part);
    logFrame("alert", "out", frame);
    for (const auto& p : open) p->write(frame.data(), frame.size(), kClientWriteWait);
    at += part;
  } while (at < data.size());
}

bool ServerHost::withPrinter(const std::string& nickname, const std::function<void(PrinterModel&)>& use,
                             std::string* error) {
  std::lock_guard hold(mutex_);
  auto port = server_.findByNickname(nickname);
  if (!port) {
    if (error) *error = name_ + " has no port " + nickname;
    return false;
  }
  PrinterModel* printer = printerOf(*port->first, *port->second, error);
  if (printer) use(*printer);
  return printer != nullptr;
}

bool ServerHost::raiseDeviceStatus(const std::string& nickname, std::uint32_t mask, std::string* error) {
  std::optional<std::string> alert;
  std::optional<PortAddress> block;
  if (!withPrinter(nickname, [&](PrinterModel& p) { alert = p.deviceStatusAlert(mask); }, error)) return false;
  if (!alert || alert->empty()) {
    if (error) *error = nickname + " sent no alert (the class is not enabled)";
    return false;
  }
  withServer([&](CorLinkServer& s) {
    auto port = s.findByNickname(nickname);
    block = port->first->address(*port->second);
  });
  toAlertPipes(0, block, Bytes(alert->begin(), alert->end()));
  return true;
}

bool ServerHost::notice(const std::string& nickname, std::uint8_t code, const Bytes& data, std::string* error) {
  std::optional<PortAddress> block;
  withServer([&](CorLinkServer& s) {
    if (auto port = s.findByNickname(nickname)) block = port->first->address(*port->second);
  });
  if (!block && nickname != "-") {
    if (error) *error = name_ + " has no port " + nickname;
    return false;
  }
  toAlertPipes(code, block, data);
  return true;
}

bool ServerHost::move(const std::string& adapterId, const Node& node, std::string* error) {
  std::optional<PortAddress> block;
  Bytes data;
  withServer([&](CorLinkServer& s) {
    CorLinkAdapter* a = s.adapter(adapterId);
    if (!a) return;
    if (!a->ports.empty()) block = a->address(a->ports.front());
    data.assign(a->node.begin(), a->node.end());
    data.insert(data.end(), node.begin(), node.end());
    a->node = node;
  });
  if (data.empty()) {
    if (error) *error = name_ + " has no adapter " + adapterId;
    return false;
  }
  toAlertPipes(135, block, data);
  return true;
}

// ---------------------------------------------------------------------------
// Transaction and administration pipes

void ServerHost::serveTransactions(NamedPipe& pipe, std::stop_token stop) {
  std::uint8_t in[512];
  std::size_t got = 0;
  while (pipe.read(in, sizeof in, &got, kInfinite, stop) == ERROR_SUCCESS) {
    const Bytes request(in, in + got);
    logFrame("transaction", "in", request);
    Bytes reply;
    if (request == Bytes{0x00, 0x04, 0xCC, 0xFC}) {
      bool withoutNul = false;
      withServer([&](CorLinkServer& s) { withoutNul = s.knobs.transactWithoutNul; });
      reply = {0x00, 0x00, 0xCC, 0xFC};
      reply.resize(14, 0);
      const std::string pipeName = kAdministrationPipe;
      reply.insert(reply.end(), pipeName.begin(), pipeName.end());
      if (!withoutNul) reply.push_back(0);
      storeBe16(reply.data(), static_cast<std::uint16_t>(reply.size()));
    } else {
      reply = adminError(request.size() > 3 ? request[3] : 0, 1);
    }
    logFrame("transaction", "out", reply);
    if (pipe.write(reply.data(), reply.size(), kClientWriteWait, stop) != ERROR_SUCCESS) return;
  }
}

void ServerHost::serveAdministration(NamedPipe& pipe, std::stop_token stop) {
  for (;;) {
    Bytes packet(2);
    if (!readFull(pipe, packet.data(), 2, stop)) return;
    const std::size_t length = loadBe16(packet.data());
    if (length < 4 || length > 1024) {
      logFrame("admin", "in", packet);
      log_(name_ + " close admin pipe: packet length " + std::to_string(length));
      return;
    }
    packet.resize(length);
    if (!readFull(pipe, packet.data() + 2, length - 2, stop)) return;
    logFrame("admin", "in", packet);
    if (packet[2] != 0xCC) {
      log_(name_ + " close admin pipe: no 0xCC marker");
      return;
    }
    if (packet[3] == 0xDD) return;
    const Bytes reply = administrate(packet);
    logFrame("admin", "out", reply);
    if (pipe.write(reply.data(), reply.size(), kClientWriteWait, stop) != ERROR_SUCCESS) return;
  }
}

Bytes ServerHost::administrate(const Bytes& packet) {
  std::lock_guard hold(mutex_);
  const std::uint8_t command = packet[3];
  const ServerKnobs& knobs = server_.knobs;
  if (command == 0x80 || command == 0x81) {
    auto port = server_.findByQueue(textAt(packet, 4, 65));
    if (!port) return adminError(command, 2);
    if (knobs.refuseStopStart) return adminReply(0x00, command, {0x00, 0x05});
    port->second->stopped = command == 0x80;
    return adminReply(0xAA, command);
  }
  if (knobs.adapterError) return adminError(command, 1);
  if (command == 0x90) {
    restartQueries_ = 2;
    return adminReply(0x00, command);
  }
  if (command == 0x92) {
    // The first block carries the six bytes kept from the begin record.
    const std::size_t from = flashBlocks_++ == 0 ? 10 : 4;
    if (packet.size() > from) server_.flashImage.insert(server_.flashImage.end(), packet.begin() + from, packet.end());
    return adminReply(0x00, command);
  }
  if (packet.size() < 11) return adminError(command, 3);
  Node node;
  std::copy_n(packet.begin() + 4, 6, node.begin());
  CorLinkAdapter* adapter = nullptr;
  for (auto& a : server_.adapters)
    if (a.node == node) adapter = &a;
  if (!adapter) return adminError(command, 2);
  auto nodeAt = [&](std::size_t at) {
    Node n{};
    if (packet.size() >= at + 6) std::copy_n(packet.begin() + static_cast<std::ptrdiff_t>(at), 6, n.begin());
    return n;
  };
  switch (command) {
    case 0x30:
      adapter->node = adapter->config.universal;
      restartQueries_ = 2;
      return adminReply(0x00, command, Bytes(adapter->node.begin(), adapter->node.end()));
    case 0x31:
      adapter->node = nodeAt(11);
      restartQueries_ = 2;
      return adminReply(0x00, command);
    case 0x51:
    case 0xC2:
      return adminReply(0x00, command);
    case 0xC0:
      server_.advanced.assign(packet.begin() + 11, packet.end());
      return adminReply(0x00, command);
    case 0xC1:
      server_.password = textAt(packet, 11, 8);
      return adminReply(0x00, command);
    case 0x61:
      for (auto& p : adapter->ports) p.nickname = textAt(packet, 11, 24);
      return adminReply(0x00, command);
    case 0x91:
      server_.flashImage.clear();
      flashBlocks_ = 0;
      return adminReply(0x00, command);
    case 0xEF:
      restartQueries_ = 2;
      return adminReply(0x00, command);
    case 0x22:
      // Four bytes while the adapter restarts; more once it is back.
      if (knobs.neverBack || restartQueries_ > 0) {
        if (restartQueries_ > 0) --restartQueries_;
        return adminReply(0x00, command);
      }
      return adminReply(0x00, command, {0x00, 0x00});
    default:
      return adminError(command, 1);
  }
}

}  // namespace wf::sim::corlink
