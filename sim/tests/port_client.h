#pragma once
// A bare host end of the port wire, for driving the simulator in tests.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/fd_wait.h"
#include "platform/port_wire.h"
#include "platform/runtime_dir.h"
#include "platform/unique_fd.h"

namespace wf::sim::testing {

struct Frame {
  portwire::FrameType type{};
  std::string payload;
};

class PortClient {
 public:
  // Connects to LPT`port`; false (errno kept) when nothing serves it.
  bool connect(int port) {
    auto path = runtimePath(portwire::endpointName(port));
    if (!path) return false;
    fd_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path->c_str(), sizeof addr.sun_path - 1);
    return ::connect(fd_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  bool send(portwire::FrameType type, const std::string& payload = {}) {
    const std::string frame = portwire::encodeFrame(type, payload);
    return ::send(fd_.get(), frame.data(), frame.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(frame.size());
  }
  bool write(const std::string& bytes) { return send(portwire::FrameType::Data, bytes); }

  // The next frame, or empty after `ms` system milliseconds or when the printer closed.
  std::optional<Frame> next(std::uint32_t ms = 5000) { return nextBy(deadlineAfter(ms)); }

  std::optional<Frame> nextBy(std::chrono::steady_clock::time_point deadline) {
    for (;;) {
      portwire::FrameType type{};
      std::uint32_t length = 0;
      if (portwire::decodeHeader(buffer_, type, length) && buffer_.size() >= portwire::kHeaderSize + length) {
        Frame f{type, buffer_.substr(portwire::kHeaderSize, length)};
        buffer_.erase(0, portwire::kHeaderSize + length);
        return f;
      }
      if (waitFdRealMs(fd_.get(), POLLIN, msUntil(deadline)) != FdWait::Ready) return std::nullopt;
      char chunk[4096];
      ssize_t n = ::recv(fd_.get(), chunk, sizeof chunk, 0);
      if (n <= 0) return std::nullopt;
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }

  // Collects Data bytes until `count` arrived or `ms` passed.
  std::string read(std::size_t count, std::uint32_t ms = 5000) {
    const auto deadline = deadlineAfter(ms);
    while (data_.size() < count) {
      auto f = nextBy(deadline);
      if (!f) break;
      if (f->type == portwire::FrameType::Data) data_ += f->payload;
    }
    std::string out = data_.substr(0, count);
    data_.erase(0, out.size());
    return out;
  }

 private:
  UniqueFd fd_;
  std::string buffer_;
  std::string data_;
};

}  // namespace wf::sim::testing
