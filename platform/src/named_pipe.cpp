#include "platform/named_pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

#include "ipc_name.h"
#include "platform/fd_wait.h"
#include "platform/file_lock.h"
#include "platform/unique_fd.h"

namespace wf {
namespace {

constexpr std::string_view kPipePrefix = "PIPE\\";

std::string upperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::optional<std::filesystem::path> pipeObjectPath(const PipeName& name, std::string_view suffix) {
  // A directory per server keeps one server's pipes together.
  const std::string kind = "pipe/" + detail::encodeObjectName(name.server);
  return detail::runtimeObjectPath(kind, name.pipe, suffix, nullptr);
}

bool fillPipeAddress(const std::filesystem::path& path, sockaddr_un& addr) {
  addr = {};
  addr.sun_family = AF_UNIX;
  if (path.native().size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.c_str(), path.native().size() + 1);
  return true;
}

void setPipeError(DWORD* out, DWORD error) {
  if (out) *out = error;
}

int realWaitMs(std::uint32_t ms) {
  if (ms == kInfinite) return -1;
  auto real = std::chrono::ceil<std::chrono::milliseconds>(scaled(ms)).count();
  return static_cast<int>(std::min<long long>(real, INT32_MAX));
}

// Waits for `events` on `fd`; a pipe result when the wait did not succeed.
std::optional<DWORD> waitPipe(int fd, short events, int cancelFd, std::chrono::steady_clock::time_point deadline,
                              std::stop_token stop) {
  switch (waitFdOrCancel(fd, events, cancelFd, msUntil(deadline), stop)) {
    case FdWait::Ready:
      return std::nullopt;
    case FdWait::TimedOut:
      return static_cast<DWORD>(ERROR_TIMEOUT);
    case FdWait::Stopped:
      return static_cast<DWORD>(ERROR_OPERATION_ABORTED);
    case FdWait::Error:
      break;
  }
  return static_cast<DWORD>(ERROR_GEN_FAILURE);
}

std::chrono::steady_clock::time_point pipeDeadline(std::uint32_t ms) {
  const int real = realWaitMs(ms);
  return real < 0 ? std::chrono::steady_clock::time_point::max()
                  : std::chrono::steady_clock::now() + std::chrono::milliseconds(real);
}

void signalCancel(int fd) {
  std::uint64_t one = 1;
  [[maybe_unused]] auto n = ::write(fd, &one, sizeof one);
}

bool isPeerGone(int e) {
  return e == EPIPE || e == ECONNRESET || e == ENOTCONN;
}

}  // namespace

std::optional<PipeName> parsePipeName(std::string_view path) {
  if (path.size() < 3 || path[0] != '\\' || path[1] != '\\') return std::nullopt;
  const auto slash = path.find('\\', 2);
  if (slash == std::string_view::npos || slash == 2) return std::nullopt;
  PipeName name{upperAscii(path.substr(2, slash - 2)), upperAscii(path.substr(slash + 1))};
  if (name.pipe.size() <= kPipePrefix.size() || name.pipe.compare(0, kPipePrefix.size(), kPipePrefix) != 0)
    return std::nullopt;
  return name;
}

std::optional<std::filesystem::path> pipeSocketPath(std::string_view path) {
  auto name = parsePipeName(path);
  if (!name) return std::nullopt;
  return pipeObjectPath(*name, ".sock");
}

// ---------------------------------------------------------------------------
// A connected end

struct NamedPipe::State {
  State(UniqueFd f, PipeMode k) : fd(std::move(f)), cancelFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), kind(k),
                                  readMode(k) {
    if (kind == PipeMode::Message) {
      // Room for the largest message in one piece.
      const int room = static_cast<int>(2 * kPipeMaxMessage);
      ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
    }
  }

  // Counts a call in; the descriptors stay open until every call has left.
  struct Use {
    explicit Use(State& s) : state(s) {
      std::lock_guard hold(state.useMutex);
      ++state.users;
    }
    ~Use() {
      std::lock_guard hold(state.useMutex);
      if (--state.users == 0) state.idle.notify_all();
    }
    State& state;
  };

  void closeWhenIdle() {
    cancelled = true;
    signalCancel(cancelFd.get());
    std::unique_lock hold(useMutex);
    idle.wait(hold, [this] { return users == 0; });
  }

  std::optional<DWORD> wait(short events, std::chrono::steady_clock::time_point deadline, std::stop_token stop) {
    return waitPipe(fd.get(), events, cancelFd.get(), deadline, stop);
  }

  DWORD readBytes(char* buffer, std::size_t capacity, std::size_t* got, std::uint32_t ms, std::stop_token stop) {
    const auto deadline = pipeDeadline(ms);
    for (;;) {
      if (cancelled) return ERROR_OPERATION_ABORTED;
      const ssize_t n = ::recv(fd.get(), buffer, capacity, MSG_DONTWAIT);
      if (n > 0) {
        *got = static_cast<std::size_t>(n);
        return ERROR_SUCCESS;
      }
      if (n == 0) return ERROR_BROKEN_PIPE;
      if (errno == EINTR) continue;
      if (isPeerGone(errno)) return ERROR_BROKEN_PIPE;
      if (errno != EAGAIN) return ERROR_GEN_FAILURE;
      if (auto failed = wait(POLLIN, deadline, stop)) return *failed;
    }
  }

  DWORD fromRest(char* buffer, std::size_t capacity, std::size_t* got) {
    const std::size_t left = rest.size() - restUsed;
    const std::size_t take = std::min(left, capacity);
    std::memcpy(buffer, rest.data() + restUsed, take);
    restUsed += take;
    *got = take;
    if (take < left) return ERROR_MORE_DATA;
    rest.clear();
    restUsed = 0;
    return ERROR_SUCCESS;
  }

  DWORD readMessage(char* buffer, std::size_t capacity, std::size_t* got, std::uint32_t ms, std::stop_token stop) {
    if (!rest.empty()) return fromRest(buffer, capacity, got);
    const auto deadline = pipeDeadline(ms);
    for (;;) {
      if (cancelled) return ERROR_OPERATION_ABORTED;
      // Whole into the scratch buffer, which holds the largest message, so
      // the tail of one longer than the caller's buffer is kept.
      scratch.resize(kPipeMaxMessage);
      const ssize_t n = ::recv(fd.get(), scratch.data(), scratch.size(), MSG_DONTWAIT);
      if (n > 0) {
        const auto size = static_cast<std::size_t>(n);
        if (size <= capacity) {
          std::memcpy(buffer, scratch.data(), size);
          *got = size;
          return ERROR_SUCCESS;
        }
        rest.assign(scratch.begin(), scratch.begin() + n);
        restUsed = 0;
        return fromRest(buffer, capacity, got);
      }
      // Empty messages are never sent, so nothing read is the end.
      if (n == 0) return ERROR_BROKEN_PIPE;
      if (errno == EINTR) continue;
      if (isPeerGone(errno)) return ERROR_BROKEN_PIPE;
      if (errno != EAGAIN) return ERROR_GEN_FAILURE;
      if (auto failed = wait(POLLIN, deadline, stop)) return *failed;
    }
  }

  DWORD write(const char* data, std::size_t size, std::uint32_t ms, std::stop_token stop) {
    if (kind == PipeMode::Message && size > kPipeMaxMessage) return ERROR_INVALID_PARAMETER;
    if (kind == PipeMode::Message && size == 0) return ERROR_SUCCESS;
    const auto deadline = pipeDeadline(ms);
    std::size_t done = 0;
    while (done < size) {
      if (cancelled) return ERROR_OPERATION_ABORTED;
      const ssize_t n = ::send(fd.get(), data + done, size - done, MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n >= 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      if (errno == EINTR) continue;
      if (isPeerGone(errno)) return ERROR_NO_DATA;
      if (errno != EAGAIN) return ERROR_GEN_FAILURE;
      if (auto failed = wait(POLLOUT, deadline, stop)) return *failed == ERROR_GEN_FAILURE ? ERROR_NO_DATA : *failed;
    }
    return ERROR_SUCCESS;
  }

  UniqueFd fd;
  UniqueFd cancelFd;
  PipeMode kind;
  PipeMode readMode;
  std::atomic<bool> cancelled{false};
  std::mutex readMutex;   // one reader at a time keeps messages and the kept rest whole
  std::mutex writeMutex;  // writes are whole
  std::vector<char> rest;     // the unread tail of a message, under readMutex
  std::vector<char> scratch;  // message reads, under readMutex
  std::size_t restUsed = 0;
  std::mutex useMutex;
  std::condition_variable idle;
  int users = 0;
};

NamedPipe::NamedPipe(std::shared_ptr<State> state) : state_(std::move(state)) {}
NamedPipe::NamedPipe(NamedPipe&&) noexcept = default;

NamedPipe& NamedPipe::operator=(NamedPipe&& other) noexcept {
  if (this != &other) {
    if (state_) state_->closeWhenIdle();
    state_ = std::move(other.state_);
  }
  return *this;
}

NamedPipe::~NamedPipe() {
  if (state_) state_->closeWhenIdle();
}

std::optional<NamedPipe> NamedPipe::open(std::string_view path, DWORD* error) {
  auto name = parsePipeName(path);
  auto socketPath = name ? pipeObjectPath(*name, ".sock") : std::nullopt;
  sockaddr_un addr;
  if (!socketPath || !fillPipeAddress(*socketPath, addr)) {
    setPipeError(error, ERROR_BAD_PATHNAME);
    return std::nullopt;
  }
  // The listener's socket type is the pipe's kind; a mismatch is refused at once.
  for (const auto& [type, kind] : {std::pair{SOCK_STREAM, PipeMode::Byte}, std::pair{SOCK_SEQPACKET, PipeMode::Message}}) {
    UniqueFd fd(::socket(AF_UNIX, type | SOCK_CLOEXEC, 0));
    if (!fd) break;
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      const int e = errno;
      if (e == EPROTOTYPE) continue;
      setPipeError(error, e == ENOENT || e == ECONNREFUSED ? ERROR_FILE_NOT_FOUND
                          : e == EAGAIN                    ? ERROR_PIPE_BUSY
                                                           : ERROR_GEN_FAILURE);
      return std::nullopt;
    }
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) | O_NONBLOCK);
    setPipeError(error, ERROR_SUCCESS);
    return NamedPipe(std::make_shared<State>(std::move(fd), kind));
  }
  setPipeError(error, ERROR_GEN_FAILURE);
  return std::nullopt;
}

PipeMode NamedPipe::kind() const {
  return state_->kind;
}

DWORD NamedPipe::setReadMode(PipeMode mode) {
  if (mode != state_->kind) return ERROR_INVALID_PARAMETER;
  state_->readMode = mode;
  return ERROR_SUCCESS;
}

DWORD NamedPipe::write(const void* data, std::size_t size, std::uint32_t ms, std::stop_token stop) {
  State::Use use(*state_);
  std::lock_guard hold(state_->writeMutex);
  return state_->write(static_cast<const char*>(data), size, ms, stop);
}

DWORD NamedPipe::read(void* buffer, std::size_t capacity, std::size_t* got, std::uint32_t ms, std::stop_token stop) {
  State::Use use(*state_);
  std::lock_guard hold(state_->readMutex);
  std::size_t count = 0;
  const DWORD result = capacity == 0 && state_->readMode == PipeMode::Byte ? ERROR_INVALID_PARAMETER
                       : state_->readMode == PipeMode::Message
                           ? state_->readMessage(static_cast<char*>(buffer), capacity, &count, ms, stop)
                           : state_->readBytes(static_cast<char*>(buffer), capacity, &count, ms, stop);
  if (got) *got = count;
  return result;
}

DWORD NamedPipe::peek(std::size_t* available) {
  State::Use use(*state_);
  // A reader waiting on the socket holds the read lock with nothing kept
  // back, so peeking beside it looks at the socket alone.
  std::unique_lock hold(state_->readMutex, std::try_to_lock);
  if (available) *available = 0;
  if (hold.owns_lock() && !state_->rest.empty()) {
    if (available) *available = state_->rest.size() - state_->restUsed;
    return ERROR_SUCCESS;
  }
  int waiting = 0;
  if (::ioctl(state_->fd.get(), FIONREAD, &waiting) == 0 && waiting > 0) {
    if (available) *available = static_cast<std::size_t>(waiting);
    return ERROR_SUCCESS;
  }
  char probe;
  const ssize_t n = ::recv(state_->fd.get(), &probe, 1, MSG_DONTWAIT | MSG_PEEK);
  if (n == 0 || (n < 0 && isPeerGone(errno))) return ERROR_BROKEN_PIPE;
  if (n < 0 && errno != EAGAIN) return ERROR_GEN_FAILURE;
  if (n > 0 && available) *available = 1;
  return ERROR_SUCCESS;
}

DWORD NamedPipe::transact(const void* out, std::size_t outSize, void* in, std::size_t capacity, std::size_t* got,
                          std::uint32_t ms, std::stop_token stop) {
  if (got) *got = 0;
  if (state_->kind != PipeMode::Message || state_->readMode != PipeMode::Message) return ERROR_INVALID_PARAMETER;
  const DWORD sent = write(out, outSize, ms, stop);
  if (sent != ERROR_SUCCESS) return sent;
  return read(in, capacity, got, ms, stop);
}

void NamedPipe::cancel() {
  state_->cancelled = true;
  signalCancel(state_->cancelFd.get());
}

// ---------------------------------------------------------------------------
// Listener

struct PipeListener::State {
  State(std::filesystem::path p, FileLock l, UniqueFd f, PipeMode m)
      : socketPath(std::move(p)), liveness(std::move(l)), fd(std::move(f)),
        cancelFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), mode(m) {}
  // Under our liveness lock, so no new listener can have bound the path yet.
  ~State() { ::unlink(socketPath.c_str()); }

  std::filesystem::path socketPath;
  FileLock liveness;
  UniqueFd fd;
  UniqueFd cancelFd;
  PipeMode mode;
};

PipeListener::PipeListener(std::unique_ptr<State> state) : state_(std::move(state)) {}
PipeListener::PipeListener(PipeListener&&) noexcept = default;
PipeListener& PipeListener::operator=(PipeListener&&) noexcept = default;
PipeListener::~PipeListener() = default;

std::optional<PipeListener> PipeListener::listen(std::string_view path, PipeMode mode, DWORD* error) {
  auto name = parsePipeName(path);
  auto socketPath = name ? pipeObjectPath(*name, ".sock") : std::nullopt;
  auto lockPath = name ? pipeObjectPath(*name, ".lock") : std::nullopt;
  sockaddr_un addr;
  if (!socketPath || !lockPath || !fillPipeAddress(*socketPath, addr)) {
    setPipeError(error, ERROR_BAD_PATHNAME);
    return std::nullopt;
  }
  auto liveness = FileLock::open(*lockPath);
  if (!liveness) {
    setPipeError(error, ERROR_GEN_FAILURE);
    return std::nullopt;
  }
  if (!liveness->tryExclusive()) {
    setPipeError(error, ERROR_PIPE_BUSY);
    return std::nullopt;
  }
  // Whatever socket is there was left by a listener that has died.
  ::unlink(socketPath->c_str());
  const int type = mode == PipeMode::Message ? SOCK_SEQPACKET : SOCK_STREAM;
  UniqueFd fd(::socket(AF_UNIX, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd || ::fchmod(fd.get(), 0600) != 0 ||
      ::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd.get(), 64) != 0) {
    setPipeError(error, ERROR_GEN_FAILURE);
    return std::nullopt;
  }
  setPipeError(error, ERROR_SUCCESS);
  return PipeListener(std::make_unique<State>(std::move(*socketPath), std::move(*liveness), std::move(fd), mode));
}

std::optional<NamedPipe> PipeListener::accept(DWORD* error, std::uint32_t ms, std::stop_token stop) {
  const auto deadline = pipeDeadline(ms);
  for (;;) {
    UniqueFd client(::accept4(state_->fd.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (client) {
      setPipeError(error, ERROR_SUCCESS);
      return NamedPipe(std::make_shared<NamedPipe::State>(std::move(client), state_->mode));
    }
    if (errno == EINTR || errno == ECONNABORTED) continue;
    if (errno != EAGAIN) {
      setPipeError(error, ERROR_GEN_FAILURE);
      return std::nullopt;
    }
    if (auto failed = waitPipe(state_->fd.get(), POLLIN, state_->cancelFd.get(), deadline, stop)) {
      setPipeError(error, *failed);
      return std::nullopt;
    }
  }
}

void PipeListener::cancel() {
  signalCancel(state_->cancelFd.get());
}

}  // namespace wf
