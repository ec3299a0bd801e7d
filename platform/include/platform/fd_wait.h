#pragma once
// Cancellable waits on file descriptors: the building block of every blocking
// read of the platform (sockets, ports, pipes).
#include <cstdint>
#include <stop_token>

namespace wf {

enum class FdWait { Ready, TimedOut, Stopped, Error };

// Waits until `fd` has any of `events` (poll flags), `ms` system milliseconds
// pass (kInfinite: no limit) or `stop` is requested.
FdWait waitFd(int fd, short events, std::uint32_t ms, std::stop_token stop = {});

// As waitFd, with an already scaled real time-out in milliseconds (-1 = none).
FdWait waitFdRealMs(int fd, short events, int realMs, std::stop_token stop = {});

// As waitFdRealMs, also ending with Stopped once `cancelFd` is readable.
FdWait waitFdOrCancel(int fd, short events, int cancelFd, int realMs, std::stop_token stop = {});

}  // namespace wf
