// The default port provider: a Unix stream socket below the runtime directory,
// served by a printer (the simulator) speaking port_wire.h. A receiver thread
// sorts the printer's frames into print-side data, the device-ID answer and
// the printer's error state, so reads, writes and device-control requests can
// run on different threads.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "parallel_port_link.h"
#include "platform/clock.h"
#include "platform/runtime_dir.h"
#include "platform/thread.h"
#include "platform/trace.h"
#include "platform/unique_fd.h"

namespace wf {
namespace {

using portwire::FrameType;

constexpr std::uint32_t kHandshakeWait = 5'000;   // the printer's Welcome or Busy
constexpr std::uint32_t kDeviceIdWait = 5'000;    // the printer's answer to a device-ID request
constexpr std::uint32_t kCloseWait = 1'000;       // finishing a cut frame and saying Close
constexpr std::size_t kWriteChunk = 4096;         // data bytes per frame
constexpr std::size_t kMaxBuffered = 256 * 1024;  // unread print-side data before we stop reading

WriteErrorClass errorClassOf(std::uint8_t b) {
  return b <= static_cast<std::uint8_t>(WriteErrorClass::Other) ? static_cast<WriteErrorClass>(b)
                                                                : WriteErrorClass::Other;
}

class SocketLink final : public PortLink {
 public:
  // `early`: bytes that came in with Welcome, taken in before open returns
  // so the printer's error state holds for the very first write.
  SocketLink(UniqueFd fd, std::string_view early) : fd_(std::move(fd)) {
    if (!consume(early)) {
      platformTrace("parallel port: malformed frame from the printer, port closed");
      markClosed();
      return;
    }
    receiver_ = Thread("lpt-receiver", [this](std::stop_token stop) { receive(stop); });
  }

  ~SocketLink() override {
    {
      std::unique_lock send(sendMutex_, std::defer_lock);
      auto deadline = deadlineAfter(kCloseWait);
      if (send.try_lock_until(deadline) && flushPending(deadline, {}))
        sendSome(portwire::encodeFrame(FrameType::Close), deadline, {});
    }
    ::shutdown(fd_.get(), SHUT_RDWR);
    receiver_ = Thread();
  }

  PortRead takeAvailable(std::span<char> buffer) override {
    std::lock_guard lock(m_);
    std::size_t n = std::min(buffer.size(), in_.size() - inPos_);
    std::memcpy(buffer.data(), in_.data() + inPos_, n);
    inPos_ += n;
    if (inPos_ == in_.size()) {
      in_.clear();
      inPos_ = 0;
    }
    if (n > 0) cv_.notify_all();  // the receiver may wait for room
    if (n == 0 && closed_) return {0, PortError::GenFailure};
    return {n, PortError::None};
  }

  FdWait waitReadable(PortDeadline deadline, std::stop_token stop) override {
    std::unique_lock lock(m_);
    auto ready = [&] { return inPos_ < in_.size() || closed_; };
    bool ok = deadline == PortDeadline::max() ? cv_.wait(lock, stop, ready)
                                              : cv_.wait_until(lock, stop, deadline, ready);
    if (ok) return FdWait::Ready;
    return stop.stop_requested() ? FdWait::Stopped : FdWait::TimedOut;
  }

  PortWrite write(std::string_view data, PortDeadline deadline, std::stop_token stop) override {
    std::unique_lock send(sendMutex_, std::defer_lock);
    if (deadline == PortDeadline::max())
      send.lock();
    else if (!send.try_lock_until(deadline))
      return {0, WriteErrorClass::TimedOut};

    // Woken by the receiver when the printer reports an error or goes away.
    std::stop_source wake;
    {
      std::lock_guard lock(m_);
      if (closed_) return {0, WriteErrorClass::IoError};
      if (errorState_ != WriteErrorClass::None) return {0, errorState_};
      writeWake_ = wake;
    }
    std::stop_callback forward(stop, [&wake] { wake.request_stop(); });
    auto why = [&] {
      std::lock_guard lock(m_);
      if (closed_) return WriteErrorClass::IoError;
      if (errorState_ != WriteErrorClass::None) return errorState_;
      return stop.stop_requested() ? WriteErrorClass::Other : WriteErrorClass::TimedOut;
    };

    if (!flushPending(deadline, wake.get_token())) return {0, why()};
    std::size_t written = 0;
    while (written < data.size()) {
      if (WriteErrorClass state = currentState(); state != WriteErrorClass::None) return {written, state};
      std::string_view chunk = data.substr(written, kWriteChunk);
      std::string frame = portwire::encodeFrame(FrameType::Data, chunk);
      std::size_t sent = sendSome(frame, deadline, wake.get_token());
      // A frame begun is a frame committed: its rest goes out before anything else.
      if (sent > 0) {
        pendingOut_ = frame.substr(sent);
        written += chunk.size();
      }
      if (sent < frame.size()) return {written, why()};
    }
    return {written, WriteErrorClass::None};
  }

  PortError deviceId(std::string& id) override {
    std::lock_guard one(deviceIdMutex_);
    auto deadline = deadlineAfter(kDeviceIdWait);
    {
      std::lock_guard lock(m_);
      if (closed_) return PortError::GenFailure;
      deviceIdReply_.reset();
      deviceIdFailed_ = false;
    }
    {
      std::unique_lock send(sendMutex_, std::defer_lock);
      if (!send.try_lock_until(deadline)) return PortError::SemTimeout;
      if (!flushPending(deadline, {})) return PortError::SemTimeout;
      std::string frame = portwire::encodeFrame(FrameType::DeviceIdRequest);
      std::size_t sent = sendSome(frame, deadline, {});
      if (sent > 0) pendingOut_ = frame.substr(sent);
      if (sent < frame.size()) return PortError::SemTimeout;
    }
    std::unique_lock lock(m_);
    cv_.wait_until(lock, deadline, [&] { return deviceIdReply_.has_value() || deviceIdFailed_ || closed_; });
    if (deviceIdFailed_) return PortError::GenFailure;  // as a device whose ID request fails
    if (deviceIdReply_) {
      id = std::move(*deviceIdReply_);
      deviceIdReply_.reset();
      return PortError::None;
    }
    return closed_ ? PortError::GenFailure : PortError::SemTimeout;
  }

 private:
  WriteErrorClass currentState() {
    std::lock_guard lock(m_);
    return closed_ ? WriteErrorClass::IoError : errorState_;
  }

  void markClosed() {
    std::lock_guard lock(m_);
    closed_ = true;
    writeWake_.request_stop();
    cv_.notify_all();
  }

  // Bytes of `bytes` that went out before the deadline, a stop or a failure.
  std::size_t sendSome(std::string_view bytes, PortDeadline deadline, std::stop_token stop) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      ssize_t n = ::send(fd_.get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        sent += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        if (waitFdRealMs(fd_.get(), POLLOUT, msUntil(deadline), stop) == FdWait::Ready) continue;
        return sent;
      }
      markClosed();
      return sent;
    }
    return sent;
  }

  // Sends the rest of a frame cut short by an earlier time-out; false when it still does not fit.
  bool flushPending(PortDeadline deadline, std::stop_token stop) {
    if (pendingOut_.empty()) return true;
    std::size_t sent = sendSome(pendingOut_, deadline, stop);
    pendingOut_.erase(0, sent);
    return pendingOut_.empty();
  }

  void receive(std::stop_token stop) {
    char buf[16384];
    for (;;) {
      {
        std::unique_lock lock(m_);
        cv_.wait(lock, stop, [&] { return in_.size() - inPos_ < kMaxBuffered; });
      }
      if (stop.stop_requested()) return;
      FdWait w = waitFd(fd_.get(), POLLIN, kInfinite, stop);
      if (w == FdWait::Stopped) return;
      if (w != FdWait::Ready) break;
      ssize_t n = ::recv(fd_.get(), buf, sizeof buf, MSG_DONTWAIT);
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
      if (n <= 0) break;
      if (!consume(std::string_view(buf, static_cast<std::size_t>(n)))) {
        platformTrace("parallel port: malformed frame from the printer, port closed");
        break;
      }
    }
    markClosed();
  }

  // Frames may arrive in any cut; data is handed on as it comes.
  bool consume(std::string_view bytes) {
    while (!bytes.empty()) {
      if (headerGot_ < portwire::kHeaderSize) {
        std::size_t take = std::min(bytes.size(), portwire::kHeaderSize - headerGot_);
        std::memcpy(header_ + headerGot_, bytes.data(), take);
        headerGot_ += take;
        bytes.remove_prefix(take);
        if (headerGot_ < portwire::kHeaderSize) return true;
        if (!portwire::decodeHeader(std::string_view(header_, sizeof header_), frameType_, remaining_))
          return false;
        control_.clear();
        if (remaining_ == 0) finishFrame();
        continue;
      }
      std::size_t take = std::min<std::size_t>(bytes.size(), remaining_);
      if (frameType_ == FrameType::Data) {
        std::lock_guard lock(m_);
        in_.append(bytes.data(), take);
        cv_.notify_all();
      } else if (control_.size() < portwire::kMaxDeviceId) {
        control_.append(bytes.data(), std::min(take, portwire::kMaxDeviceId - control_.size()));
      }
      bytes.remove_prefix(take);
      remaining_ -= static_cast<std::uint32_t>(take);
      if (remaining_ == 0) finishFrame();
    }
    return true;
  }

  void finishFrame() {
    headerGot_ = 0;
    std::lock_guard lock(m_);
    switch (frameType_) {
      case FrameType::DeviceId:
        deviceIdReply_ = control_;
        break;
      case FrameType::DeviceIdFailed:
        deviceIdFailed_ = true;
        break;
      case FrameType::ErrorState:
        if (control_.empty()) return;
        errorState_ = errorClassOf(static_cast<std::uint8_t>(control_[0]));
        if (errorState_ != WriteErrorClass::None) writeWake_.request_stop();
        break;
      case FrameType::Data:
      case FrameType::Welcome:
        return;
      default:
        platformTrace("parallel port: unexpected frame type " + std::to_string(static_cast<int>(frameType_)) +
                      " ignored");
        return;
    }
    cv_.notify_all();
  }

  const UniqueFd fd_;
  std::mutex m_;
  std::condition_variable_any cv_;
  std::string in_;  // print-side data not yet read
  std::size_t inPos_ = 0;
  bool closed_ = false;
  WriteErrorClass errorState_ = WriteErrorClass::None;
  std::optional<std::string> deviceIdReply_;
  bool deviceIdFailed_ = false;
  std::stop_source writeWake_;

  std::timed_mutex sendMutex_;  // one frame on the wire at a time
  std::string pendingOut_;      // rest of a frame cut short, guarded by sendMutex_
  std::mutex deviceIdMutex_;

  // Receiver thread only.
  char header_[portwire::kHeaderSize] = {};
  std::size_t headerGot_ = 0;
  FrameType frameType_ = FrameType::Data;
  std::uint32_t remaining_ = 0;
  std::string control_;

  Thread receiver_;  // last: starts once everything above exists
};

// Reads the printer's first frame: Welcome, or Busy when another client has
// the port. After Welcome, `early` gets what the printer sent along with it.
PortError handshake(int fd, std::string& early) {
  char header[portwire::kHeaderSize];
  std::size_t got = 0;
  auto deadline = deadlineAfter(kHandshakeWait);
  while (got < sizeof header) {
    if (waitFdRealMs(fd, POLLIN, msUntil(deadline), {}) != FdWait::Ready) return PortError::GenFailure;
    ssize_t n = ::recv(fd, header + got, sizeof header - got, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) return PortError::GenFailure;
    got += static_cast<std::size_t>(n);
  }
  FrameType type;
  std::uint32_t length;
  if (!portwire::decodeHeader(std::string_view(header, sizeof header), type, length) || length != 0)
    return PortError::GenFailure;
  if (type == FrameType::Busy) return PortError::AccessDenied;
  if (type != FrameType::Welcome) return PortError::GenFailure;
  char buf[4096];
  while (early.size() < kMaxBuffered) {
    ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // nothing more yet; an end is for the receiver to find
    early.append(buf, static_cast<std::size_t>(n));
  }
  return PortError::None;
}

}  // namespace

PortOpen openSocketPort(int portNumber) {
  auto path = runtimePath(portwire::endpointName(portNumber));
  if (!path) return {nullptr, PortError::GenFailure};
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) return {nullptr, PortError::GenFailure};
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path->c_str(), sizeof addr.sun_path - 1);
  int r;
  do r = ::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  while (r < 0 && errno == EINTR);
  if (r < 0) {
    int e = errno;
    // No endpoint, or an endpoint nobody listens on: the port is not there.
    bool absent = e == ENOENT || e == ECONNREFUSED || e == ENOTDIR;
    return {nullptr, absent ? PortError::FileNotFound : PortError::GenFailure};
  }
  std::string early;
  if (PortError e = handshake(fd.get(), early); e != PortError::None) return {nullptr, e};
  return {std::make_unique<ParallelPort>(std::make_unique<SocketLink>(std::move(fd), early)),
          PortError::None};
}

}  // namespace wf
