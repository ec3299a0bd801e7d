#include "sim/adapter/adapter_server.h"

#include <cstdio>

#include "platform/clock.h"
#include "transports/common/adapter_layout.h"

namespace wf::sim::adapter {
namespace {

constexpr std::uint32_t kBriefRestartMs = 1000;

std::string hexOf(View bytes) {
  std::string s;
  char b[4];
  for (std::uint8_t c : bytes) {
    std::snprintf(b, sizeof b, s.empty() ? "%02X" : " %02X", c);
    s += b;
  }
  return s;
}

std::string addressText(const SOCKADDR_IPX& a) {
  const IpxAddress x = IpxAddress::from(a);
  char text[32];
  std::snprintf(text, sizeof text, "%02X%02X%02X%02X:%02X%02X%02X%02X%02X%02X:%04X", x.network[0],
                x.network[1], x.network[2], x.network[3], x.node[0], x.node[1], x.node[2], x.node[3],
                x.node[4], x.node[5], x.socket);
  return text;
}

}  // namespace

std::unique_ptr<AdapterServer> AdapterServer::start(std::string id, AdapterConfig config, LogSink log,
                                                    std::string* error) {
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
  IpxSocket* c = commands_.get();
  commandReader_ = Thread(
      "adapter-cmd", [this, c](std::stop_token stop) { serve(*c, ::wf::adapter::kCommandSocket, stop); });
  if (IpxSocket* v = variables_.get())
    variableReader_ = Thread(
        "adapter-var", [this, v](std::stop_token stop) { serve(*v, ::wf::adapter::kVariableSocket, stop); });
  return true;
}

void AdapterServer::closeSockets() {
  for (IpxSocket* s : {commands_.get(), variables_.get()})
    if (s) s->close();
  commandReader_ = Thread();
  variableReader_ = Thread();
  commands_.reset();
  variables_.reset();
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
