#include "platform/fd_wait.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>

#include "platform/clock.h"
#include "platform/unique_fd.h"

namespace wf {
namespace {

// One eventfd per thread, armed by a stop callback for the duration of a wait.
int threadWakeFd() {
  thread_local const UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  return wake.get();
}

void drain(int fd) {
  std::uint64_t v;
  while (::read(fd, &v, sizeof v) > 0) {
  }
}

}  // namespace

FdWait waitFdRealMs(int fd, short events, int realMs, std::stop_token stop) {
  return waitFdOrCancel(fd, events, -1, realMs, stop);
}

FdWait waitFdOrCancel(int fd, short events, int cancelFd, int realMs, std::stop_token stop) {
  if (stop.stop_requested()) return FdWait::Stopped;
  const int wake = stop.stop_possible() ? threadWakeFd() : -1;
  std::optional<std::stop_callback<std::function<void()>>> onStop;
  if (wake >= 0) {
    drain(wake);
    onStop.emplace(stop, std::function<void()>([wake] {
                     std::uint64_t one = 1;
                     [[maybe_unused]] auto n = ::write(wake, &one, sizeof one);
                   }));
  }
  auto deadline = realMs < 0 ? std::chrono::steady_clock::time_point::max()
                             : std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
  for (;;) {
    // poll skips negative descriptors, so absent ones cost nothing.
    pollfd fds[3] = {{fd, events, 0}, {wake, POLLIN, 0}, {cancelFd, POLLIN, 0}};
    int r = ::poll(fds, 3, msUntil(deadline));
    if (r < 0) {
      if (errno == EINTR) continue;
      return FdWait::Error;
    }
    if (stop.stop_requested() || (fds[2].revents & POLLIN)) return FdWait::Stopped;
    if (r == 0) return FdWait::TimedOut;
    if (fds[0].revents & (events | POLLHUP | POLLERR)) return FdWait::Ready;
    if (fds[0].revents & POLLNVAL) return FdWait::Error;
  }
}

FdWait waitFd(int fd, short events, std::uint32_t ms, std::stop_token stop) {
  if (ms == kInfinite) return waitFdRealMs(fd, events, -1, stop);
  auto real = std::chrono::ceil<std::chrono::milliseconds>(scaled(ms)).count();
  return waitFdRealMs(fd, events, static_cast<int>(std::min<long long>(real, INT32_MAX)), stop);
}

}  // namespace wf
