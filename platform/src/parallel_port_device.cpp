// A real Linux printer device on a port (WRENFIELD_LPT<n>), for example a USB
// printer-class device. Exclusive through an advisory lock on the device, so
// two clients of ours never share it; the driver's own "busy" counts as in use.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

#include "parallel_port_link.h"
#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "platform/unique_fd.h"

namespace wf {
namespace {

// The USB printer class driver's device-ID request: the ID with a 2-byte
// big-endian length prefix that counts itself.
constexpr std::size_t kIdRequestSize = portwire::kMaxDeviceId + 2;
constexpr unsigned long kGetDeviceIdIoctl = _IOC(_IOC_READ, 'P', 1, kIdRequestSize);

WriteErrorClass classifyWriteErrno(int e) {
  switch (e) {
    case ENOSPC:
      return WriteErrorClass::OutOfPaper;  // what the driver reports for paper out
    case EIO:
      return WriteErrorClass::IoError;
    case ETIMEDOUT:
      return WriteErrorClass::TimedOut;
    default:
      return WriteErrorClass::Other;
  }
}

class DeviceLink final : public PortLink {
 public:
  explicit DeviceLink(UniqueFd fd) : fd_(std::move(fd)) {}

  PortRead takeAvailable(std::span<char> buffer) override {
    ssize_t n;
    do n = ::read(fd_.get(), buffer.data(), buffer.size());
    while (n < 0 && errno == EINTR);
    std::lock_guard lock(m_);
    atEnd_ = n == 0;
    if (n >= 0) return {static_cast<std::size_t>(n), PortError::None};
    return (errno == EAGAIN || errno == EWOULDBLOCK) ? PortRead{} : PortRead{0, PortError::GenFailure};
  }

  FdWait waitReadable(PortDeadline deadline, std::stop_token stop) override {
    std::unique_lock lock(m_);
    if (!atEnd_) {
      lock.unlock();
      return waitFdRealMs(fd_.get(), POLLIN, msUntil(deadline), stop);
    }
    // A device at its end polls readable forever: wait out the budget instead of spinning.
    auto never = [] { return false; };
    if (deadline == PortDeadline::max())
      cv_.wait(lock, stop, never);
    else
      cv_.wait_until(lock, stop, deadline, never);
    return stop.stop_requested() ? FdWait::Stopped : FdWait::TimedOut;
  }

  PortWrite write(std::string_view data, PortDeadline deadline, std::stop_token stop) override {
    std::lock_guard one(writeMutex_);
    std::size_t written = 0;
    while (written < data.size()) {
      ssize_t n = ::write(fd_.get(), data.data() + written, data.size() - written);
      if (n > 0) {
        written += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return {written, classifyWriteErrno(errno)};
      switch (waitFdRealMs(fd_.get(), POLLOUT, msUntil(deadline), stop)) {
        case FdWait::Ready:
          continue;
        case FdWait::TimedOut:
          return {written, WriteErrorClass::TimedOut};
        case FdWait::Stopped:
          return {written, WriteErrorClass::Other};
        case FdWait::Error:
          return {written, WriteErrorClass::IoError};
      }
    }
    return {written, WriteErrorClass::None};
  }

  PortError deviceId(std::string& id) override {
    std::vector<unsigned char> buf(kIdRequestSize);
    if (::ioctl(fd_.get(), kGetDeviceIdIoctl, buf.data()) < 0)
      return errno == ENOTTY || errno == EINVAL ? PortError::InvalidFunction : PortError::GenFailure;
    std::size_t length = loadBe16(buf.data());  // the IEEE 1284 length counts itself
    length = std::clamp<std::size_t>(length, 2, buf.size()) - 2;
    id.assign(reinterpret_cast<const char*>(buf.data()) + 2, length);
    return PortError::None;
  }

 private:
  const UniqueFd fd_;
  std::mutex m_;
  std::condition_variable_any cv_;
  bool atEnd_ = false;
  std::mutex writeMutex_;
};

}  // namespace

PortOpen openDevicePort(const std::filesystem::path& device) {
  UniqueFd fd(::open(device.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!fd) {
    int e = errno;
    if (e == ENOENT || e == ENXIO || e == ENODEV || e == ENOTDIR) return {nullptr, PortError::FileNotFound};
    return {nullptr, e == EBUSY ? PortError::AccessDenied : PortError::GenFailure};
  }
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) < 0) {
    int e = errno;
    return {nullptr, e == EWOULDBLOCK ? PortError::AccessDenied : PortError::GenFailure};
  }
  return {std::make_unique<ParallelPort>(std::make_unique<DeviceLink>(std::move(fd))), PortError::None};
}

}  // namespace wf
