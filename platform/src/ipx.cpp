#include "platform/ipx.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "platform/fd_wait.h"
#include "platform/file_lock.h"
#include "platform/runtime_dir.h"
#include "platform/trace.h"

namespace wf {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kDefaultMaxDatagram = 1470;
constexpr std::uint32_t kGuardWait = 10'000;
constexpr std::size_t kLargestUdp = 65'536;

std::optional<fs::path> segmentDir() {
  auto dir = runtimePath("ipx");
  if (!dir || !ensurePrivateDir(*dir, true, nullptr)) return std::nullopt;
  return dir;
}

bool parseHex(std::string_view text, std::uint8_t* out, std::size_t n) {
  if (text.size() != 2 * n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    unsigned v = 0;
    for (char c : text.substr(2 * i, 2)) {
      const int d = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                           : -1;
      if (d < 0) return false;
      v = v << 4 | static_cast<unsigned>(d);
    }
    out[i] = static_cast<std::uint8_t>(v);
  }
  return true;
}

std::string nameOf(const IpxAddress& a) {
  char socket[5];
  std::snprintf(socket, sizeof socket, "%04X", a.socket);
  return hexText(a.network.data(), 4) + "-" + hexText(a.node.data(), 6) + "-" + socket;
}

std::optional<IpxAddress> parseName(std::string_view name) {
  IpxAddress a;
  std::uint8_t socket[2];
  if (name.size() != 8 + 1 + 12 + 1 + 4 || name[8] != '-' || name[21] != '-') return std::nullopt;
  if (!parseHex(name.substr(0, 8), a.network.data(), 4) || !parseHex(name.substr(9, 12), a.node.data(), 6) ||
      !parseHex(name.substr(22, 4), socket, 2))
    return std::nullopt;
  a.socket = static_cast<std::uint16_t>(socket[0] << 8 | socket[1]);
  return a;
}

bool heldByAnyone(int fd) {
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  return ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
}

// The UDP port of a live name file; a stale one is removed (under the guard).
std::optional<std::uint16_t> livePort(const fs::path& dir, const std::string& name) {
  const fs::path path = dir / name;
  char text[16] = {};
  bool live = false;
  ssize_t n = 0;
  {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return std::nullopt;
    live = heldByAnyone(fd.get());
    if (live) n = ::pread(fd.get(), text, sizeof text - 1, 0);
  }
  if (!live) {
    auto guard = FileLock::open(dir / ".guard");
    if (guard && guard->lockExclusive(kGuardWait)) {
      const UniqueFd again(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
      if (again && !heldByAnyone(again.get())) ::unlink(path.c_str());
    }
    return std::nullopt;
  }
  if (n <= 0) return std::nullopt;  // still being bound
  const long port = std::strtol(text, nullptr, 10);
  if (port <= 0 || port > 0xFFFF) return std::nullopt;
  return static_cast<std::uint16_t>(port);
}

void put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}
std::uint16_t get16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

void putAddress(std::uint8_t* p, const IpxAddress& a) {
  std::memcpy(p, a.network.data(), 4);
  std::memcpy(p + 4, a.node.data(), 6);
  put16(p + 10, a.socket);
}
IpxAddress getAddress(const std::uint8_t* p) {
  IpxAddress a;
  std::memcpy(a.network.data(), p, 4);
  std::memcpy(a.node.data(), p + 4, 6);
  a.socket = get16(p + 10);
  return a;
}

}  // namespace

// ---- Addresses -----------------------------------------------------------------

IpxAddress IpxAddress::from(const SOCKADDR_IPX& s) {
  IpxAddress a;
  std::memcpy(a.network.data(), s.sa_netnum, 4);
  std::memcpy(a.node.data(), s.sa_nodenum, 6);
  a.socket = ntohs(s.sa_socket);
  return a;
}

SOCKADDR_IPX IpxAddress::toSockaddr() const {
  SOCKADDR_IPX s{};
  s.sa_family = AF_IPX_FAMILY;
  std::memcpy(s.sa_netnum, network.data(), 4);
  std::memcpy(s.sa_nodenum, node.data(), 6);
  s.sa_socket = htons(socket);
  return s;
}

bool IpxAddress::broadcast() const {
  for (std::uint8_t b : node)
    if (b != 0xFF) return false;
  return true;
}

IpxAddress ipxProcessAddress() {
  static const IpxAddress own = [] {
    IpxAddress a;
    a.network = {0, 0, 0, 1};
    a.node = {0x02, 0x00, 0x57, 0x46, 0x00, 0x01};
    if (const char* text = std::getenv("WRENFIELD_IPX_ADDRESS")) {
      const std::string_view t(text);
      IpxAddress parsed;
      if (t.size() == 21 && t[8] == ':' && parseHex(t.substr(0, 8), parsed.network.data(), 4) &&
          parseHex(t.substr(9), parsed.node.data(), 6))
        a = parsed;
      else
        platformTrace("ipx: WRENFIELD_IPX_ADDRESS is not NNNNNNNN:HHHHHHHHHHHH; using the default");
    }
    return a;
  }();
  return own;
}

std::size_t ipxMaxDatagram() {
  if (const char* text = std::getenv("WRENFIELD_IPX_MAXDG")) {
    const long n = std::strtol(text, nullptr, 10);
    if (n > 0 && static_cast<std::size_t>(n) <= kLargestUdp - kIpxHeaderSize)
      return static_cast<std::size_t>(n);
  }
  return kDefaultMaxDatagram;
}

// ---- The name file -----------------------------------------------------------

struct IpxSocket::Name {
  fs::path path;
  UniqueFd fd;
  ~Name() { ::unlink(path.c_str()); }
};

// ---- Socket ---------------------------------------------------------------------

IpxSocket::IpxSocket() {
  fd_.reset(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!fd_) openError_ = WSAENETDOWN;
}

IpxSocket::~IpxSocket() {
  close();
}

bool IpxSocket::enter() {
  std::lock_guard g(mutex_);
  if (closing_.stop_requested() || !fd_) return false;
  ++busy_;
  return true;
}

void IpxSocket::leave() {
  std::lock_guard g(mutex_);
  if (--busy_ == 0) idle_.notify_all();
}

void IpxSocket::close() {
  std::unique_lock g(mutex_);
  closing_.request_stop();
  idle_.wait(g, [&] { return busy_ == 0; });
  fd_.reset();
  name_.reset();
}

int IpxSocket::bind(const SOCKADDR_IPX& address) {
  if (!enter()) return WSAENOTSOCK;
  std::lock_guard g(mutex_);
  const int r = name_ ? WSAEINVAL : bindLocked(IpxAddress::from(address));
  --busy_;
  if (busy_ == 0) idle_.notify_all();
  return r;
}

int IpxSocket::bindLocked(IpxAddress wanted) {
  const IpxAddress own = ipxProcessAddress();
  if (wanted.network == std::array<std::uint8_t, 4>{}) wanted.network = own.network;
  if (wanted.node == std::array<std::uint8_t, 6>{}) wanted.node = own.node;
  if (wanted.broadcast()) return WSAEADDRNOTAVAIL;
  const auto dir = segmentDir();
  if (!dir) return WSAENETDOWN;

  // The UDP side is bound once; a refused IPX bind may be retried.
  sockaddr_in udp{};
  socklen_t len = sizeof udp;
  if (::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&udp), &len) != 0) return WSAENETDOWN;
  if (udp.sin_port == 0) {
    udp.sin_family = AF_INET;
    udp.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    len = sizeof udp;
    if (::bind(fd_.get(), reinterpret_cast<sockaddr*>(&udp), sizeof udp) != 0 ||
        ::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&udp), &len) != 0)
      return WSAENETDOWN;
  }
  const std::string port = std::to_string(ntohs(udp.sin_port));

  auto guard = FileLock::open(*dir / ".guard");
  if (!guard || !guard->lockExclusive(kGuardWait)) return WSAENETDOWN;

  // Tries one socket number: 0 bound, else an error number.
  auto tryNumber = [&](std::uint16_t number) -> int {
    IpxAddress a = wanted;
    a.socket = number;
    const fs::path path = *dir / nameOf(a);
    for (int attempt = 0; attempt < 2; ++attempt) {
      UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
      if (fd) {
        struct flock hold {};
        hold.l_type = F_WRLCK;
        hold.l_whence = SEEK_SET;
        if (::fcntl(fd.get(), F_OFD_SETLK, &hold) != 0 ||
            ::write(fd.get(), port.data(), port.size()) != static_cast<ssize_t>(port.size())) {
          ::unlink(path.c_str());
          return WSAENETDOWN;
        }
        name_ = std::make_unique<Name>();
        name_->path = path;
        name_->fd = std::move(fd);
        bound_ = a;
        return 0;
      }
      if (errno != EEXIST) return WSAENETDOWN;
      const UniqueFd existing(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
      if (existing && heldByAnyone(existing.get())) return WSAEADDRINUSE;
      ::unlink(path.c_str());  // stale: its process is gone
    }
    return WSAEADDRINUSE;
  };

  if (wanted.socket != 0) return tryNumber(wanted.socket);
  constexpr int kRange = kIpxLastDynamicSocket - kIpxFirstDynamicSocket + 1;
  static std::atomic<unsigned> next{static_cast<unsigned>(::getpid()) * 7919u};
  for (int n = 0; n < kRange; ++n) {
    const auto number = static_cast<std::uint16_t>(kIpxFirstDynamicSocket + next++ % kRange);
    const int r = tryNumber(number);
    if (r != WSAEADDRINUSE) return r;
  }
  return WSAEADDRINUSE;
}

int IpxSocket::localName(SOCKADDR_IPX& out) const {
  if (!name_) return WSAEINVAL;
  out = bound_.toSockaddr();
  return 0;
}

IpxAddress IpxSocket::localIpxAddress() const {
  IpxAddress a = name_ ? bound_ : ipxProcessAddress();
  a.socket = 0;
  return a;
}

int IpxSocket::setReceiveBuffer(int bytes) {
  if (!enter()) return WSAENOTSOCK;
  int current = 0;
  socklen_t len = sizeof current;
  ::getsockopt(fd_.get(), SOL_SOCKET, SO_RCVBUF, &current, &len);
  if (bytes > current) ::setsockopt(fd_.get(), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
  leave();
  return 0;
}

IpxIo IpxSocket::sendTo(const void* data, std::size_t length, const SOCKADDR_IPX& to) {
  if (!data && length) return {0, WSAEFAULT};
  if (length > ipxMaxDatagram()) return {0, WSAEMSGSIZE};
  if (!name_) {
    SOCKADDR_IPX any{};
    if (const int r = bind(any)) return {0, r};
  }
  if (!enter()) return {0, WSAENOTSOCK};
  IpxAddress dest = IpxAddress::from(to);
  if (dest.network == std::array<std::uint8_t, 4>{}) dest.network = bound_.network;
  const bool broadcast = dest.broadcast();
  if (broadcast && !broadcast_) {
    leave();
    return {0, WSAEACCES};
  }
  const auto dir = segmentDir();
  if (!dir) {
    leave();
    return {0, WSAENETDOWN};
  }

  std::vector<std::uint8_t> datagram(kIpxHeaderSize + length);
  put16(&datagram[0], 0xFFFF);
  put16(&datagram[2], static_cast<std::uint16_t>(datagram.size()));
  datagram[4] = 0;
  datagram[5] = packetType_;
  putAddress(&datagram[6], dest);
  putAddress(&datagram[18], bound_);
  if (length) std::memcpy(&datagram[kIpxHeaderSize], data, length);

  std::vector<std::string> targets;
  if (broadcast) {
    if (DIR* d = ::opendir(dir->c_str())) {
      while (const dirent* e = ::readdir(d)) {
        const auto a = parseName(e->d_name);
        if (a && a->network == dest.network && a->socket == dest.socket && !(*a == bound_))
          targets.emplace_back(e->d_name);
      }
      ::closedir(d);
    }
  } else {
    targets.push_back(nameOf(dest));
  }
  for (const std::string& name : targets) {
    const auto port = livePort(*dir, name);
    if (!port) continue;
    sockaddr_in udp{};
    udp.sin_family = AF_INET;
    udp.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    udp.sin_port = htons(*port);
    ::sendto(fd_.get(), datagram.data(), datagram.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&udp),
             sizeof udp);
  }
  leave();
  return {static_cast<int>(length), 0};
}

namespace {

// Why a datagram is not one for this socket; null when it is.
const char* rejectReason(const std::uint8_t* d, std::size_t n, const IpxAddress& self) {
  if (n < kIpxHeaderSize) return "shorter than an IPX header";
  if (get16(d) != 0xFFFF) return "checksum is not 0xFFFF";
  if (get16(d + 2) != n) return "length field disagrees with the bytes received";
  const IpxAddress dest = getAddress(d + 6);
  if (dest.network != self.network || dest.socket != self.socket ||
      (!dest.broadcast() && dest.node != self.node))
    return "addressed elsewhere";
  return nullptr;
}

}  // namespace

int IpxSocket::waitReadable(std::uint32_t ms, std::stop_token stop) {
  // Entered first: a socket closed meanwhile is "not a socket", never "not bound".
  if (!enter()) return -WSAENOTSOCK;
  if (!name_) {
    leave();
    return -WSAEINVAL;
  }
  std::stop_source woken;
  std::stop_callback byCaller(stop, [&] { woken.request_stop(); });
  std::stop_callback byClose(closing_.get_token(), [&] { woken.request_stop(); });
  const auto deadline = deadlineAfter(ms);
  std::vector<std::uint8_t> peek(kLargestUdp);
  int result = 0;
  for (;;) {
    const FdWait w = waitFdRealMs(fd_.get(), POLLIN, msUntil(deadline), woken.get_token());
    if (w == FdWait::Stopped || w == FdWait::Error) {
      result = -WSAEINTR;
      break;
    }
    if (w == FdWait::TimedOut) break;
    const ssize_t n = ::recv(fd_.get(), peek.data(), peek.size(), MSG_PEEK | MSG_DONTWAIT);
    if (n < 0) continue;
    if (const char* why = rejectReason(peek.data(), static_cast<std::size_t>(n), bound_)) {
      ::recv(fd_.get(), peek.data(), peek.size(), MSG_DONTWAIT);
      platformTrace(std::string("ipx ") + nameOf(bound_) + ": dropped a datagram: " + why);
      continue;
    }
    result = 1;
    break;
  }
  leave();
  return result;
}

IpxIo IpxSocket::receiveFrom(void* buffer, std::size_t capacity, SOCKADDR_IPX* from, std::uint8_t* packetType,
                             std::stop_token stop) {
  for (;;) {
    const int ready = waitReadable(kInfinite, stop);
    if (ready < 0) return {0, -ready};
    if (ready == 0) continue;
    if (!enter()) return {0, WSAENOTSOCK};
    std::vector<std::uint8_t> d(kLargestUdp);
    const ssize_t got = ::recv(fd_.get(), d.data(), d.size(), MSG_DONTWAIT);
    leave();
    if (got < 0 || rejectReason(d.data(), static_cast<std::size_t>(got), bound_)) continue;
    const std::size_t length = static_cast<std::size_t>(got) - kIpxHeaderSize;
    const std::size_t copied = std::min(length, capacity);
    if (copied) std::memcpy(buffer, d.data() + kIpxHeaderSize, copied);
    if (from) *from = getAddress(d.data() + 18).toSockaddr();
    if (packetType) *packetType = d[5];
    return {static_cast<int>(copied), length > capacity ? WSAEMSGSIZE : 0};
  }
}

}  // namespace wf
