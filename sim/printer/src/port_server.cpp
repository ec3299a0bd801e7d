#include "sim/printer/port_server.h"

#include <errno.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "platform/clock.h"
#include "platform/runtime_dir.h"
#include "platform/thread.h"
#include "platform/trace.h"
#include "platform/unique_fd.h"

namespace wf::sim {

namespace fs = std::filesystem;

struct PortServer::State {
  int port = 0;
  std::shared_ptr<PrinterModel> printer;
  fs::path path;
  UniqueFd listenFd;
  UniqueFd wakeFd;
  std::atomic<bool> dropRequested{false};

  mutable std::mutex clientMutex;  // the client fd and every write to it
  UniqueFd clientFd;
  portwire::WriteErrorClass error = portwire::WriteErrorClass::None;
  bool held = false;
  DeviceIdAnswer deviceIdAnswer = DeviceIdAnswer::Id;

  Thread thread;

  bool writeLocked(portwire::FrameType type, std::string_view payload) {
    return writeFramesLocked(portwire::encodeFrame(type, payload));
  }

  bool writeFramesLocked(const std::string& frame) {
    if (!clientFd) return false;
    std::size_t done = 0;
    while (done < frame.size()) {
      ssize_t n = ::send(clientFd.get(), frame.data() + done, frame.size() - done, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

  bool write(portwire::FrameType type, std::string_view payload) {
    std::lock_guard lock(clientMutex);
    return writeLocked(type, payload);
  }

  void wake() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wakeFd.get(), &one, sizeof one);
  }

  void closeClient() {
    {
      std::lock_guard lock(clientMutex);
      if (!clientFd) return;
      clientFd.reset();
    }
    printer->endSession();
    printer->noteConnection("close");
  }

  void accept() {
    UniqueFd fd(::accept4(listenFd.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!fd) return;
    timeval sendLimit{5, 0};  // a host that stops reading must not hold the printer forever
    ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
    std::lock_guard lock(clientMutex);
    // Logged before the host hears of it, so a host never sees a log behind the wire.
    if (clientFd || held) {
      printer->noteConnection("busy");
      const std::string busy = portwire::encodeFrame(portwire::FrameType::Busy);
      [[maybe_unused]] auto n = ::send(fd.get(), busy.data(), busy.size(), MSG_NOSIGNAL);
      return;
    }
    printer->noteConnection("open");
    clientFd = std::move(fd);
    // One write, so the host has the error state by the time it reads Welcome.
    std::string hello = portwire::encodeFrame(portwire::FrameType::Welcome);
    if (error != portwire::WriteErrorClass::None)
      hello +=
          portwire::encodeFrame(portwire::FrameType::ErrorState, std::string(1, static_cast<char>(error)));
    writeFramesLocked(hello);
  }

  // Handles every whole frame in `in`; false when the host broke the protocol or left.
  bool frames(std::string& in, std::stop_token stop) {
    while (in.size() >= portwire::kHeaderSize) {
      portwire::FrameType type{};
      std::uint32_t length = 0;
      if (!portwire::decodeHeader(in, type, length)) {
        platformTrace("printer simulator: oversized frame from host, dropping it");
        return false;
      }
      if (in.size() < portwire::kHeaderSize + length) return true;
      const std::string payload = in.substr(portwire::kHeaderSize, length);
      in.erase(0, portwire::kHeaderSize + length);
      switch (type) {
        case portwire::FrameType::Data:
          for (auto& out : printer->receive(payload)) {
            if (out.delayMs && !sleepFor(out.delayMs, stop)) return false;
            write(portwire::FrameType::Data, out.bytes);
          }
          break;
        case portwire::FrameType::DeviceIdRequest: {
          DeviceIdAnswer answer;
          {
            std::lock_guard lock(clientMutex);
            answer = deviceIdAnswer;
          }
          if (answer == DeviceIdAnswer::Nothing) break;
          if (answer == DeviceIdAnswer::Failure) {
            write(portwire::FrameType::DeviceIdFailed, {});
            break;
          }
          std::string id = printer->deviceId();
          if (id.size() > portwire::kMaxDeviceId) id.resize(portwire::kMaxDeviceId);
          write(portwire::FrameType::DeviceId, id);
          printer->noteSent(LogKind::DeviceId, id);
          break;
        }
        case portwire::FrameType::Close:
          return false;
        default:
          platformTrace("printer simulator: unexpected frame type from host");
          return false;
      }
    }
    return true;
  }

  void run(std::stop_token stop) {
    std::stop_callback onStop(stop, [this] { wake(); });
    std::string in;
    char buffer[65536];
    while (!stop.stop_requested()) {
      int client;
      {
        std::lock_guard lock(clientMutex);
        client = clientFd.get();
      }
      pollfd fds[3] = {{listenFd.get(), POLLIN, 0}, {wakeFd.get(), POLLIN, 0}, {client, POLLIN, 0}};
      int n = ::poll(fds, client >= 0 ? 3 : 2, -1);
      if (n < 0) {
        if (errno == EINTR) continue;
        platformTrace("printer simulator: poll failed");
        return;
      }
      if (fds[1].revents) {
        std::uint64_t count;
        [[maybe_unused]] auto r = ::read(wakeFd.get(), &count, sizeof count);
        if (dropRequested.exchange(false)) {
          closeClient();
          in.clear();
          continue;
        }
      }
      if (client >= 0 && fds[2].revents) {
        ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR) continue;
        bool keep = got > 0;
        if (keep) {
          in.append(buffer, static_cast<std::size_t>(got));
          keep = frames(in, stop);
        }
        if (!keep) {
          closeClient();
          in.clear();
        }
      }
      if (fds[0].revents & POLLIN) accept();
    }
    closeClient();
  }
};

std::unique_ptr<PortServer> PortServer::start(int port, std::shared_ptr<PrinterModel> printer,
                                              std::string* error) {
  auto fail = [&](std::string why) -> std::unique_ptr<PortServer> {
    if (error) *error = std::move(why);
    return nullptr;
  };
  if (port < 1 || port > 9) return fail("port numbers are 1 to 9");
  std::string why;
  auto path = runtimePath(portwire::endpointName(port), &why);
  if (!path) return fail(why);
  if (!ensurePrivateDir(path->parent_path(), true, &why)) return fail(why);

  auto state = std::make_shared<State>();
  state->port = port;
  state->printer = std::move(printer);
  state->path = *path;

  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path->c_str(), sizeof addr.sun_path - 1);
  std::error_code ec;
  if (fs::exists(fs::symlink_status(*path, ec))) {
    // A live endpoint belongs to another printer; a dead one is left over.
    const UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const bool live = probe && ::connect(probe.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (live) return fail("LPT" + std::to_string(port) + " is served already");
    fs::remove(*path, ec);
  }
  state->listenFd.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!state->listenFd) return fail(std::string("socket: ") + std::strerror(errno));
  if (::bind(state->listenFd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
    return fail(std::string("bind: ") + std::strerror(errno));
  ::chmod(path->c_str(), 0600);
  if (::listen(state->listenFd.get(), 8) != 0) return fail(std::string("listen: ") + std::strerror(errno));
  state->wakeFd.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!state->wakeFd) return fail(std::string("eventfd: ") + std::strerror(errno));

  State* raw = state.get();
  state->thread = Thread("sim-LPT" + std::to_string(port), [raw](std::stop_token stop) { raw->run(stop); });
  return std::unique_ptr<PortServer>(new PortServer(std::move(state)));
}

PortServer::PortServer(std::shared_ptr<State> state) : state_(std::move(state)) {}

PortServer::~PortServer() {
  state_->thread.requestStop();
  state_->thread.joinFor(kInfinite);
  std::error_code ec;
  fs::remove(state_->path, ec);
}

int PortServer::port() const {
  return state_->port;
}
PrinterModel& PortServer::printer() {
  return *state_->printer;
}

bool PortServer::hostConnected() const {
  std::lock_guard lock(state_->clientMutex);
  return static_cast<bool>(state_->clientFd);
}

bool PortServer::sendRaw(std::string_view bytes) {
  std::lock_guard lock(state_->clientMutex);
  if (!state_->clientFd) return false;
  state_->printer->noteSent(LogKind::Noise, bytes);
  return state_->writeLocked(portwire::FrameType::Data, bytes);
}

bool PortServer::sendAlert(const std::function<std::optional<std::string>(PrinterModel&)>& make) {
  std::lock_guard lock(state_->clientMutex);
  if (!state_->clientFd) return false;
  auto bytes = make(*state_->printer);
  // Empty: held for the next reply.
  return bytes && (bytes->empty() || state_->writeLocked(portwire::FrameType::Data, *bytes));
}

bool PortServer::raiseDeviceStatus(std::uint32_t mask) {
  return sendAlert([&](PrinterModel& p) { return p.deviceStatusAlert(mask); });
}

bool PortServer::raiseClassAlert(std::string_view data) {
  return sendAlert([&](PrinterModel& p) { return p.classAlert(data); });
}

bool PortServer::raisePanelAlert() {
  return sendAlert([](PrinterModel& p) { return p.panelAlert(); });
}

void PortServer::setWriteError(portwire::WriteErrorClass error) {
  std::lock_guard lock(state_->clientMutex);
  state_->error = error;
  state_->writeLocked(portwire::FrameType::ErrorState, std::string(1, static_cast<char>(error)));
}

void PortServer::setHeld(bool held) {
  std::lock_guard lock(state_->clientMutex);
  state_->held = held;
}

void PortServer::setDeviceIdAnswer(DeviceIdAnswer answer) {
  std::lock_guard lock(state_->clientMutex);
  state_->deviceIdAnswer = answer;
}

void PortServer::disconnect() {
  state_->dropRequested = true;
  state_->wake();
}

}  // namespace wf::sim
