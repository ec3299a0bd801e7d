#include "platform/mailslot.h"
#include "platform/unique_fd.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <mutex>

#include "ipc_name.h"
#include "platform/byte_codec.h"
#include "platform/fd_wait.h"
#include "platform/file_lock.h"
#include "platform/runtime_dir.h"
#include "platform/trace.h"

namespace wf {
namespace {

// Every datagram starts with this header: "WFMS", u8 kind, three zero bytes,
// u64 little-endian message length. An inline message follows the header; a
// larger one travels as a sealed memory file passed alongside it.
constexpr std::size_t kHeaderSize = 16;
constexpr char kMagic[4] = {'W', 'F', 'M', 'S'};
enum : std::uint8_t { kInline = 1, kSealedFile = 2 };

// Well below the default socket send buffer, so an inline datagram always fits.
constexpr std::size_t kInlineLimit = 32 * 1024;
static_assert(kMailslotMaxMessage >= kInlineLimit);

// Room to receive (and close) more descriptors than a valid datagram carries.
constexpr int kMaxDescriptors = 8;
constexpr int kRequiredSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;

constexpr std::string_view kNamePrefix = "\\\\.\\mailslot\\";

void encodeHeader(char* out, std::uint8_t kind, std::uint64_t length) {
  std::memcpy(out, kMagic, 4);
  out[4] = static_cast<char>(kind);
  out[5] = out[6] = out[7] = 0;
  storeLe64(out + 8, length);
}

std::uint64_t headerLength(const char* header) {
  return loadLe64(header + 8);
}

// Descriptors that arrived with one datagram; closed unless taken.
struct ReceivedFiles {
  std::vector<UniqueFd> fds;
};

struct Datagram {
  char header[kHeaderSize] = {};
  std::size_t size = 0;  // whole datagram, header included, even when cut short
  bool controlCut = false;
  ReceivedFiles files;
};

// One non-blocking receive into the header and `body`; false with errno set
// when nothing could be received.
bool receive(int fd, void* body, std::size_t bodySize, bool peek, Datagram& out) {
  iovec iov[2] = {{out.header, kHeaderSize}, {body, bodySize}};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxDescriptors)];
  msghdr msg{};
  msg.msg_iov = iov;
  msg.msg_iovlen = bodySize ? 2 : 1;
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  const int flags = MSG_DONTWAIT | MSG_TRUNC | MSG_CMSG_CLOEXEC | (peek ? MSG_PEEK : 0);
  ssize_t n;
  do {
    n = ::recvmsg(fd, &msg, flags);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return false;
  out.size = static_cast<std::size_t>(n);
  out.controlCut = (msg.msg_flags & MSG_CTRUNC) != 0;
  for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
    const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    for (std::size_t i = 0; i < count; ++i) {
      int received;
      std::memcpy(&received, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
      out.files.fds.emplace_back(received);
    }
  }
  return true;
}

// Checks a datagram against its own header; returns the message length, or
// empty with *why set.
std::optional<std::size_t> validate(const Datagram& d, std::string* why) {
  if (d.size < kHeaderSize) {
    *why = "datagram of " + std::to_string(d.size) + " bytes is shorter than the header";
    return std::nullopt;
  }
  if (std::memcmp(d.header, kMagic, 4) != 0) {
    *why = "bad magic";
    return std::nullopt;
  }
  if (d.controlCut) {
    *why = "too many descriptors";
    return std::nullopt;
  }
  const std::uint64_t length = headerLength(d.header);
  const auto kind = static_cast<std::uint8_t>(d.header[4]);
  if (kind == kInline) {
    if (!d.files.fds.empty()) {
      *why = "inline message carries descriptors";
      return std::nullopt;
    }
    if (length > kInlineLimit || length != d.size - kHeaderSize) {
      *why = "length " + std::to_string(length) + " does not match the " +
             std::to_string(d.size - kHeaderSize) + " bytes received";
      return std::nullopt;
    }
    return static_cast<std::size_t>(length);
  }
  if (kind != kSealedFile) {
    *why = "unknown kind " + std::to_string(kind);
    return std::nullopt;
  }
  if (d.size != kHeaderSize || d.files.fds.size() != 1) {
    *why = "file message with " + std::to_string(d.size - kHeaderSize) + " extra bytes and " +
           std::to_string(d.files.fds.size()) + " descriptors";
    return std::nullopt;
  }
  const int file = d.files.fds[0].get();
  const int seals = ::fcntl(file, F_GET_SEALS);
  if (seals < 0 || (seals & kRequiredSeals) != kRequiredSeals) {
    *why = "message file is not sealed";
    return std::nullopt;
  }
  if (length > kMailslotMaxMessage) {
    // A sparse file costs its sender nothing but would make us allocate it all.
    *why = "length " + std::to_string(length) + " beyond the largest message";
    return std::nullopt;
  }
  struct stat st {};
  if (::fstat(file, &st) != 0 || static_cast<std::uint64_t>(st.st_size) != length) {
    *why = "length " + std::to_string(length) + " does not match the message file";
    return std::nullopt;
  }
  return static_cast<std::size_t>(length);
}

bool readWhole(int file, void* dest, std::size_t length) {
  auto* p = static_cast<char*>(dest);
  std::size_t done = 0;
  while (done < length) {
    ssize_t n = ::pread(file, p + done, length - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// The mailslot's name below "\\.\mailslot\", folded to lower case; empty when
// `name` is not a mailslot name.
std::optional<std::string> slotPart(std::string_view name) {
  if (name.size() <= kNamePrefix.size()) return std::nullopt;
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (folded.compare(0, kNamePrefix.size(), kNamePrefix) != 0) return std::nullopt;
  return folded.substr(kNamePrefix.size());
}

std::optional<std::filesystem::path> slotPath(std::string_view name, std::string_view suffix,
                                              std::string* error) {
  auto part = slotPart(name);
  if (!part) {
    if (error) *error = "not a mailslot name: " + std::string(name);
    return std::nullopt;
  }
  return detail::runtimeObjectPath("mailslot", *part, suffix, error);
}

bool fillAddress(const std::filesystem::path& path, sockaddr_un& addr) {
  addr = {};
  addr.sun_family = AF_UNIX;
  if (path.native().size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.c_str(), path.native().size() + 1);
  return true;
}

void setStatus(MailslotStatus* out, MailslotStatus status) {
  if (out) *out = status;
}

// Why no socket path could be made: the name, unless the runtime directory is unusable.
MailslotStatus pathFailure() {
  return runtimeDir() ? MailslotStatus::BadName : MailslotStatus::Failed;
}

}  // namespace

std::string_view describe(MailslotStatus status) {
  switch (status) {
    case MailslotStatus::Ok:
      return "ok";
    case MailslotStatus::NotFound:
      return "not found";
    case MailslotStatus::AlreadyExists:
      return "already exists";
    case MailslotStatus::BadName:
      return "bad name";
    case MailslotStatus::BufferTooSmall:
      return "buffer too small";
    case MailslotStatus::TimedOut:
      return "time-out";
    case MailslotStatus::Stopped:
      return "stopped";
    case MailslotStatus::ReaderGone:
      return "reader gone";
    case MailslotStatus::Failed:
      return "failed";
  }
  return "unknown";
}

std::optional<std::filesystem::path> mailslotSocketPath(std::string_view name, std::string* error) {
  return slotPath(name, ".sock", error);
}

bool mailslotHasReader(std::string_view name) {
  auto lockPath = slotPath(name, ".lock", nullptr);
  if (!lockPath) return false;
  const UniqueFd fd(::open(lockPath->c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd) return false;
  // Asks without taking: a shared lock of ours would keep a new reader out.
  struct flock probe {};
  probe.l_type = F_RDLCK;
  probe.l_whence = SEEK_SET;
  return ::fcntl(fd.get(), F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
}

// ---------------------------------------------------------------------------
// Reader

struct Mailslot::State {
  State(std::string n, std::filesystem::path p, FileLock l, UniqueFd f)
      : name(std::move(n)), socketPath(std::move(p)), liveness(std::move(l)), fd(std::move(f)) {}
  // Under our liveness lock, so no new reader can have bound the path yet.
  ~State() { ::unlink(socketPath.c_str()); }

  enum class Got { Message, Empty, TooSmall, Error };

  Got nothing() const { return errno == EAGAIN ? Got::Empty : Got::Error; }

  void traceDropped(const std::string& why) {
    platformTrace("mailslot " + name + ": dropped a malformed message: " + why);
  }

  // Drops the datagram just looked at (its descriptors are closed by the kernel).
  void drop(const std::string& why) {
    ::recv(fd.get(), nullptr, 0, MSG_DONTWAIT);
    traceDropped(why);
  }

  // The size of the next valid message, without taking it.
  Got look(std::size_t& length) {
    for (;;) {
      Datagram d;
      if (!receive(fd.get(), nullptr, 0, true, d)) return nothing();
      std::string why;
      if (auto valid = validate(d, &why)) {
        length = *valid;
        return Got::Message;
      }
      drop(why);
    }
  }

  // Takes the next message whole, in one receive when it came inline.
  Got takeWhole(std::vector<std::uint8_t>& message) {
    for (;;) {
      Datagram d;
      if (!receive(fd.get(), scratch.data(), scratch.size(), false, d)) return nothing();
      std::string why;
      auto valid = validate(d, &why);
      if (!valid) {
        traceDropped(why);
        continue;
      }
      message.resize(*valid);
      if (static_cast<std::uint8_t>(d.header[4]) == kInline) {
        if (*valid > 0) std::memcpy(message.data(), scratch.data(), *valid);
        return Got::Message;
      }
      if (readWhole(d.files.fds[0].get(), message.data(), *valid)) return Got::Message;
      traceDropped("message file cannot be read");
    }
  }

  // Takes the next message into `buffer` when it fits; else leaves it and
  // reports its size.
  Got takeInto(void* buffer, std::size_t capacity, std::size_t& length) {
    for (;;) {
      // Looking copies an inline message straight into place; taking it then
      // only discards the datagram.
      Datagram d;
      if (!receive(fd.get(), buffer, capacity, true, d)) return nothing();
      std::string why;
      auto valid = validate(d, &why);
      if (!valid) {
        drop(why);
        continue;
      }
      length = *valid;
      if (length > capacity) return Got::TooSmall;
      if (static_cast<std::uint8_t>(d.header[4]) == kInline) {
        ::recv(fd.get(), nullptr, 0, MSG_DONTWAIT);
        return Got::Message;
      }
      Datagram taken;
      if (!receive(fd.get(), nullptr, 0, false, taken)) return nothing();
      auto still = validate(taken, &why);
      if (still && *still == length && readWhole(taken.files.fds[0].get(), buffer, length))
        return Got::Message;
      traceDropped(still ? "message file cannot be read" : why);
    }
  }

  // Waits for a message and hands it to `take`, which runs under the lock.
  MailslotStatus next(std::uint32_t ms, std::stop_token stop, const std::function<Got()>& take) {
    const auto deadline = deadlineAfter(ms);
    for (;;) {
      // Waiting first costs nothing when a message is there already.
      switch (waitFdRealMs(fd.get(), POLLIN, msUntil(deadline), stop)) {
        case FdWait::Ready:
          break;
        case FdWait::TimedOut:
          return MailslotStatus::TimedOut;
        case FdWait::Stopped:
          return MailslotStatus::Stopped;
        case FdWait::Error:
          return MailslotStatus::Failed;
      }
      std::lock_guard hold(mutex);
      switch (take()) {
        case Got::Message:
          return MailslotStatus::Ok;
        case Got::TooSmall:
          return MailslotStatus::BufferTooSmall;
        case Got::Error:
          return MailslotStatus::Failed;
        case Got::Empty:
          break;  // another reader thread won it, or it was malformed
      }
    }
  }

  std::string name;
  std::filesystem::path socketPath;
  FileLock liveness;  // held exclusively while the reader lives
  UniqueFd fd;
  std::mutex mutex;  // one look-and-take at a time, so each message has one reader
  std::vector<char> scratch = std::vector<char>(kInlineLimit);  // used under the lock
};

std::optional<Mailslot> Mailslot::create(std::string_view name, MailslotStatus* status) {
  auto socketPath = slotPath(name, ".sock", nullptr);
  auto lockPath = slotPath(name, ".lock", nullptr);
  if (!socketPath || !lockPath) {
    setStatus(status, pathFailure());
    return std::nullopt;
  }
  auto liveness = FileLock::open(*lockPath);
  if (!liveness) {
    setStatus(status, MailslotStatus::Failed);
    return std::nullopt;
  }
  if (!liveness->tryExclusive()) {
    setStatus(status, MailslotStatus::AlreadyExists);
    return std::nullopt;
  }
  // Whatever socket is there was left by a reader that has died.
  ::unlink(socketPath->c_str());
  sockaddr_un addr;
  UniqueFd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  // The socket's own mode becomes the file's at bind: owner-only from the start.
  if (!fd || !fillAddress(*socketPath, addr) || ::fchmod(fd.get(), 0600) != 0 ||
      ::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    setStatus(status, MailslotStatus::Failed);
    return std::nullopt;
  }
  setStatus(status, MailslotStatus::Ok);
  return Mailslot(std::make_unique<State>(std::string(name), std::move(*socketPath), std::move(*liveness),
                                          std::move(fd)));
}

Mailslot::Mailslot(std::unique_ptr<State> state) : state_(std::move(state)) {}
Mailslot::Mailslot(Mailslot&&) noexcept = default;
Mailslot& Mailslot::operator=(Mailslot&&) noexcept = default;
Mailslot::~Mailslot() = default;

std::optional<std::size_t> Mailslot::nextMessageSize() {
  std::lock_guard hold(state_->mutex);
  std::size_t length = 0;
  if (state_->look(length) != State::Got::Message) return std::nullopt;
  return length;
}

MailslotStatus Mailslot::read(void* buffer, std::size_t capacity, std::size_t* size, std::uint32_t ms,
                              std::stop_token stop) {
  std::size_t length = 0;
  auto status = state_->next(ms, stop, [&] { return state_->takeInto(buffer, capacity, length); });
  if (size && (status == MailslotStatus::Ok || status == MailslotStatus::BufferTooSmall)) *size = length;
  return status;
}

MailslotStatus Mailslot::read(std::vector<std::uint8_t>& message, std::uint32_t ms, std::stop_token stop) {
  return state_->next(ms, stop, [&] { return state_->takeWhole(message); });
}

// ---------------------------------------------------------------------------
// Writer

std::optional<MailslotWriter> MailslotWriter::open(std::string_view name, MailslotStatus* status) {
  auto socketPath = slotPath(name, ".sock", nullptr);
  sockaddr_un addr;
  if (!socketPath || !fillAddress(*socketPath, addr)) {
    setStatus(status, pathFailure());
    return std::nullopt;
  }
  UniqueFd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!fd) {
    setStatus(status, MailslotStatus::Failed);
    return std::nullopt;
  }
  if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    const int e = errno;
    // A socket file without a live reader refuses the connection.
    setStatus(status, (e == ENOENT || e == ECONNREFUSED) ? MailslotStatus::NotFound : MailslotStatus::Failed);
    return std::nullopt;
  }
  setStatus(status, MailslotStatus::Ok);
  return MailslotWriter(std::move(fd));
}

MailslotWriter::MailslotWriter(MailslotWriter&&) noexcept = default;
MailslotWriter& MailslotWriter::operator=(MailslotWriter&&) noexcept = default;
MailslotWriter::~MailslotWriter() = default;

namespace {

// A memory file holding `data`, sealed so the reader can trust its size and
// contents; empty on failure.
UniqueFd sealedCopy(const void* data, std::size_t size) {
  UniqueFd file(::memfd_create("wf-mailslot", MFD_CLOEXEC | MFD_ALLOW_SEALING));
  if (!file) return {};
  const auto* p = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(file.get(), p + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return {};
    done += static_cast<std::size_t>(n);
  }
  if (::fcntl(file.get(), F_ADD_SEALS, kRequiredSeals | F_SEAL_SEAL) != 0) return {};
  return file;
}

}  // namespace

MailslotStatus MailslotWriter::write(const void* data, std::size_t size) {
  if (size > kMailslotMaxMessage) return MailslotStatus::Failed;
  char header[kHeaderSize];
  iovec iov[2] = {{header, kHeaderSize}, {const_cast<void*>(data), size}};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr msg{};
  msg.msg_iov = iov;
  UniqueFd file;
  if (size <= kInlineLimit) {
    encodeHeader(header, kInline, size);
    msg.msg_iovlen = size ? 2 : 1;
  } else {
    file = sealedCopy(data, size);
    if (!file) return MailslotStatus::Failed;
    encodeHeader(header, kSealedFile, size);
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    const int raw = file.get();
    std::memcpy(CMSG_DATA(c), &raw, sizeof(int));
  }

  MailslotStatus status = MailslotStatus::Ok;
  const auto deadline = deadlineAfter(kMailslotWriteWait);
  for (;;) {
    if (::sendmsg(fd_.get(), &msg, MSG_DONTWAIT | MSG_NOSIGNAL) >= 0) break;
    if (errno == EINTR) continue;
    if (errno == EAGAIN) {
      // The reader's queue is full: wait for room, but never for ever.
      const FdWait w = waitFdRealMs(fd_.get(), POLLOUT, msUntil(deadline));
      if (w == FdWait::Ready) continue;
      status = w == FdWait::TimedOut ? MailslotStatus::TimedOut : MailslotStatus::Failed;
    } else if (errno == ECONNREFUSED || errno == ENOTCONN || errno == ECONNRESET || errno == EPIPE ||
               errno == ENOENT) {
      status = MailslotStatus::ReaderGone;
    } else {
      status = MailslotStatus::Failed;
    }
    break;
  }
  return status;
}

}  // namespace wf
