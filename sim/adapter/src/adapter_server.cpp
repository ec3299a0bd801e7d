#include "sim/adapter/adapter_server.h"

#include <cstdio>

#include "platform/clock.h"
#include "log_text.h"
#include "sim/printer/npa.h"
#include "sim/printer/profile.h"
#include "transports/common/adapter_layout.h"

namespace wf::sim::adapter {
namespace {

constexpr std::uint32_t kBriefRestartMs = 1000;

}  // namespace

std::unique_ptr<AdapterServer> AdapterServer::start(std::string id, AdapterConfig config, LogSink log,
                                                    std::string* error) {
  if (config.corlinkIpx && config.kind == Kind::External7390) {
    if (error) *error = id + ": corlink-ipx: a 7390 does not speak the IPX datagrams";
    return nullptr;
  }
  std::unique_ptr<AdapterServer> s(new AdapterServer(std::move(id), std::move(config), std::move(log)));
  std::lock_guard g(s->mutex_);
  if (!s->bindSockets(error)) return nullptr;
  AdapterServer* self = s.get();
  s->supervisor_ = Thread("adapter-sup", [self](std::stop_token stop) { self->supervise(stop); });
  return s;
}

AdapterServer::AdapterServer(std::string id, AdapterConfig config, LogSink log)
    : id_(std::move(id)), log_(std::move(log)), model_(std::move(config)) {}

AdapterServer::~AdapterServer() {
  supervisor_.requestStop();
  {
    std::lock_guard g(mutex_);
    wake_.notify_all();
  }
  supervisor_ = Thread();
  closeSockets();
}

void AdapterServer::withModel(const std::function<void(AdapterModel&)>& change) {
  std::lock_guard g(mutex_);
  change(model_);
}

std::uint32_t AdapterServer::restarts() const {
  std::lock_guard g(mutex_);
  return restarts_;
}

bool AdapterServer::waitForRestarts(std::uint32_t count, std::uint32_t ms) const {
  std::unique_lock g(mutex_);
  return wake_.wait_until(g, deadlineAfter(ms), [&] { return restarts_ >= count; });
}

// Called with mutex_ held.
bool AdapterServer::bindSockets(std::string* error) {
  IpxAddress at;
  at.network = model_.config().network;
  at.node = model_.node();
  auto open = [&](std::uint16_t number) -> std::unique_ptr<IpxSocket> {
    auto s = std::make_unique<IpxSocket>();
    at.socket = number;
    if (const int r = s->bind(at.toSockaddr())) {
      if (error)
        *error = id_ + ": cannot bind socket " + std::to_string(number) + ": error " + std::to_string(r);
      return nullptr;
    }
    s->setPacketType(::wf::adapter::kPacketType);
    return s;
  };
  commands_ = open(::wf::adapter::kCommandSocket);
  if (!commands_) return false;
  if (model_.config().kind == Kind::MultiPort) {
    variables_ = open(::wf::adapter::kVariableSocket);
    if (!variables_) return commands_.reset(), false;
  }
  // Data channels: every port of a multi-port adapter, the one port of an NPA-on single-port one.
  std::vector<std::pair<int, std::uint16_t>> channels;
  if (model_.config().kind == Kind::MultiPort)
    for (const auto& [n, port] : model_.config().ports)
      channels.emplace_back(n, ::wf::adapter::dataChannelSocket(static_cast<unsigned>(n)));
  else if (model_.config().kind == Kind::SinglePort && model_.config().npa)
    channels.emplace_back(1, ::wf::adapter::kDataChannelSocket);
  for (const auto& [n, number] : channels) {
    DataChannel* channel = channelOf(n);
    if (!channel) {
      channels_.push_back(std::make_unique<DataChannel>());
      channel = channels_.back().get();
      channel->port = n;
    }
    channel->number = number;
    channel->socket = open(number);
    if (!channel->socket) return false;
    channel->reader =
        Thread("adapter-data", [this, channel](std::stop_token stop) { serveData(*channel, stop); });
  }
  if (model_.config().corlinkIpx && !bindIpx(error)) return false;
  IpxSocket* c = commands_.get();
  commandReader_ = Thread(
      "adapter-cmd", [this, c](std::stop_token stop) { serve(*c, ::wf::adapter::kCommandSocket, stop); });
  if (IpxSocket* v = variables_.get())
    variableReader_ = Thread(
        "adapter-var", [this, v](std::stop_token stop) { serve(*v, ::wf::adapter::kVariableSocket, stop); });
  return true;
}

void AdapterServer::closeSockets() {
  for (IpxSocket* s : {commands_.get(), variables_.get(), ipxQuery_.get(), ipxData_.get(), ipxQueryT_.get(),
                       ipxDataT_.get()})
    if (s) s->close();
  for (Thread& t : ipxReaders_) t = Thread();
  ipxTimers_.clear();
  ipxQuery_.reset();
  ipxData_.reset();
  ipxQueryT_.reset();
  ipxDataT_.reset();
  for (auto& channel : channels_)
    if (channel->socket) channel->socket->close();
  commandReader_ = Thread();
  variableReader_ = Thread();
  for (auto& channel : channels_) channel->reader = Thread();
  commands_.reset();
  variables_.reset();
  std::lock_guard g(mutex_);
  for (auto& channel : channels_) channel->socket.reset();
}

void AdapterServer::setProfileDir(std::filesystem::path dir) {
  std::lock_guard g(mutex_);
  profileDir_ = std::move(dir);
}

AdapterServer::DataChannel* AdapterServer::channelOf(int port) {
  for (auto& channel : channels_)
    if (channel->port == port) return channel.get();
  return nullptr;
}

PrinterModel* AdapterServer::printerOf(DataChannel& channel) {
  if (channel.printer) return channel.printer.get();
  const auto port = model_.config().ports.find(channel.port);
  if (port == model_.config().ports.end() || port->second.printerProfile.empty()) return nullptr;
  std::filesystem::path file = port->second.printerProfile;
  if (file.is_relative() && !profileDir_.empty()) file = profileDir_ / file;
  std::string error;
  auto profile = loadProfile(file, &error);
  if (!profile) {
    log_(id_ + " drop printer " + error);
    return nullptr;
  }
  channel.printer = std::make_unique<PrinterModel>(std::move(*profile));
  return channel.printer.get();
}

bool AdapterServer::raiseAlert(int port, std::string_view packet) {
  const bool overIpx = raiseIpxAlert(port, packet);
  std::lock_guard g(mutex_);
  DataChannel* channel = channelOf(port);
  if (!channel || !channel->socket || !channel->alertTo) return overIpx;
  const auto shape = model_.config().knobs.alertShape;
  Bytes d = {0, shape == Knobs::AlertShape::NumberedOne ? std::uint8_t{1} : std::uint8_t{0}};
  d.insert(d.end(), packet.begin(), packet.end());
  if (shape == Knobs::AlertShape::Fragment && d.size() > 5) d[5] |= ::wf::adapter::kNpaMore;
  const IpxIo out = channel->socket->sendTo(d.data(), d.size(), *channel->alertTo);
  log_(id_ + " alert " + addressText(*channel->alertTo) + " " + hexOf(d));
  return out.error == 0;
}

bool AdapterServer::raiseDeviceStatus(int port, std::uint32_t mask) {
  std::optional<std::string> alert;
  if (!withPrinter(port, [&](PrinterModel& p) { alert = p.deviceStatusAlert(mask); })) return false;
  return alert && !alert->empty() && raiseAlert(port, *alert);
}

bool AdapterServer::withPrinter(int port, const std::function<void(PrinterModel&)>& use) {
  std::lock_guard g(mutex_);
  DataChannel* channel = channelOf(port);
  PrinterModel* printer = channel ? printerOf(*channel) : nullptr;
  if (printer) use(*printer);
  return printer != nullptr;
}

// The host packet size names where alerts go and is not answered; every
// other packet goes to the printer, whose answers return one packet a
// datagram, fragments numbered from 0. A packet that asks no reply and gets
// none is acknowledged with its command and sub-code.
void AdapterServer::serveData(DataChannel& channel, std::stop_token stop) {
  const Bytes hostPacketSize = {0xA5, 0x00, 0x05, 0x40, 0x03, 0x05, 0x02, 0x00};
  std::vector<std::uint8_t> buffer(2048);
  char socketText[8];
  std::snprintf(socketText, sizeof socketText, "%04X", channel.number);
  while (!stop.stop_requested()) {
    SOCKADDR_IPX from{};
    const IpxIo in = channel.socket->receiveFrom(buffer.data(), buffer.size(), &from, nullptr, stop);
    if (in.error == WSAEINTR || in.error == WSAENOTSOCK) return;
    const View request(buffer.data(), static_cast<std::size_t>(in.bytes));
    log_(id_ + " in " + socketText + " " + addressText(from) + " " + hexOf(request));
    if (Bytes(request.begin(), request.end()) == hostPacketSize) {
      std::lock_guard g(mutex_);
      channel.alertTo = from;
      continue;
    }
    std::vector<Outgoing> answers;
    std::uint32_t delay = 0;
    IpxSocket* replyFrom = channel.socket.get();
    {
      std::lock_guard g(mutex_);
      delay = model_.config().knobs.dataDelayMs;
      if (const int other = model_.config().knobs.replyFromPort)
        if (DataChannel* c = channelOf(other); c && c->socket) replyFrom = c->socket.get();
      if (PrinterModel* printer = printerOf(channel))
        answers =
            printer->receive(std::string_view(reinterpret_cast<const char*>(request.data()), request.size()));
    }
    std::vector<std::pair<std::uint32_t, Bytes>> datagrams;
    std::uint16_t fragment = 0;
    for (const Outgoing& a : answers)
      for (std::string_view rest = a.bytes; !rest.empty(); ++fragment) {
        const std::size_t size = npa::packetSize(rest).value_or(rest.size());
        Bytes d = {static_cast<std::uint8_t>(fragment >> 8), static_cast<std::uint8_t>(fragment)};
        d.insert(d.end(), rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(size));
        // The adapter marks the printer's answer to the request as a reply.
        if (d.size() > 6 && request.size() > 4 && d[6] == request[4]) d[5] |= ::wf::adapter::kNpaReply;
        datagrams.emplace_back(a.delayMs, std::move(d));
        rest.remove_prefix(size);
      }
    const bool asked = request.size() > 3 && (request[3] & ::wf::adapter::kNpaReply);
    if (datagrams.empty() && !asked && request.size() > 4)
      datagrams.emplace_back(0, Bytes{0, 0, ::wf::adapter::kNpaStart, 0x00, 0x03, ::wf::adapter::kNpaReply,
                                      request[4], request.size() > 5 ? request[5] : std::uint8_t{0}});
    if (!datagrams.empty() && delay && !sleepFor(delay, stop)) return;
    for (const auto& [after, d] : datagrams) {
      if (after && !sleepFor(after, stop)) return;
      const IpxIo out = replyFrom->sendTo(d.data(), d.size(), from);
      log_(id_ + " out " + socketText + " " + addressText(from) + " " + hexOf(d) +
           (out.error ? " error " + std::to_string(out.error) : ""));
    }
  }
}

void AdapterServer::serve(IpxSocket& socket, std::uint16_t number, std::stop_token stop) {
  std::vector<std::uint8_t> buffer(2048);
  while (!stop.stop_requested()) {
    SOCKADDR_IPX from{};
    const IpxIo in = socket.receiveFrom(buffer.data(), buffer.size(), &from, nullptr, stop);
    if (in.error == WSAEINTR || in.error == WSAENOTSOCK) return;
    const View request(buffer.data(), static_cast<std::size_t>(in.bytes));
    char socketText[8];
    std::snprintf(socketText, sizeof socketText, "%04X", number);
    log_(id_ + " in " + socketText + " " + addressText(from) + " " + hexOf(request));
    Response r;
    std::uint32_t delay;
    {
      std::lock_guard g(mutex_);
      r = number == ::wf::adapter::kCommandSocket ? model_.onCommand(request) : model_.onVariables(request);
      delay = model_.config().knobs.delayMs;
    }
    if (!r.note.empty()) log_(id_ + " drop " + socketText + " " + r.note);
    if (!r.datagrams.empty() && delay && !sleepFor(delay, stop)) return;
    for (const Bytes& d : r.datagrams) {
      const IpxIo out = socket.sendTo(d.data(), d.size(), from);
      log_(id_ + " out " + socketText + " " + addressText(from) + " " + hexOf(d) +
           (out.error ? " error " + std::to_string(out.error) : ""));
    }
    if (r.after != Response::After::Nothing) {
      std::lock_guard g(mutex_);
      pending_ = r.after;
      wake_.notify_all();
      return;  // this incarnation is over; the supervisor closes it
    }
  }
}

void AdapterServer::supervise(std::stop_token stop) {
  std::unique_lock g(mutex_);
  while (!stop.stop_requested()) {
    wake_.wait(g, stop, [&] { return pending_ != Response::After::Nothing; });
    if (stop.stop_requested()) return;
    const std::uint32_t silence =
        pending_ == Response::After::Restart ? model_.config().restartMs : kBriefRestartMs;
    pending_ = Response::After::Nothing;
    g.unlock();
    closeSockets();
    log_(id_ + " restart");
    const bool slept = sleepFor(silence, stop);
    g.lock();
    if (!slept) return;
    while (model_.config().knobs.noRestart) {
      g.unlock();
      const bool waited = sleepFor(silence, stop);
      g.lock();
      if (!waited) return;
    }
    model_.onRestart();
    std::string error;
    while (!bindSockets(&error)) {
      log_(id_ + " " + error);
      g.unlock();
      const bool waited = sleepFor(silence, stop);
      g.lock();
      if (!waited) return;
    }
    ++restarts_;
    wake_.notify_all();
    log_(id_ + " back");
  }
}

}  // namespace wf::sim::adapter
