#include "platform/window_messages.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <thread>
#include <utility>

#include "message_internal.h"
#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "platform/fd_wait.h"
#include "platform/file_lock.h"
#include "platform/runtime_dir.h"
#include "platform/trace.h"
#include "platform/unique_fd.h"

namespace wf {
namespace fs = std::filesystem;

namespace {

// Handle layout: 10 bits of process slot, 22 bits of index. Index 0 is never
// used and the top index is left out, so no handle is 0 or 0xFFFFFFFF.
constexpr int kIndexBits = 22;
constexpr std::uint32_t kSlotCount = 1u << (32 - kIndexBits);
constexpr std::uint32_t kMaxIndex = (1u << kIndexBits) - 2;

std::uint32_t slotOf(Hwnd h) {
  return h >> kIndexBits;
}
std::uint32_t indexOf(Hwnd h) {
  return h & ((1u << kIndexBits) - 1);
}
bool plausible(Hwnd h) {
  return h != 0 && h != 0xFFFFFFFFu && indexOf(h) != 0;
}

// Slot file "win/<slot>": the owner's exclusive lock on it is the liveness
// signal. Its first word is the next index, so a later owner of the slot
// continues where the previous one stopped and stale handles stay dead; then
// one bit per index marks the live windows, readable by every process.
constexpr std::size_t kSlotHeaderBytes = 4096;
constexpr std::size_t kSlotFileBytes = kSlotHeaderBytes + (std::size_t{1} << kIndexBits) / 8;

std::uint32_t* liveWord(std::uint8_t* map, std::uint32_t index) {
  return reinterpret_cast<std::uint32_t*>(map + kSlotHeaderBytes) + index / 32;
}
std::uint32_t* nextIndexWord(std::uint8_t* map) {
  return reinterpret_cast<std::uint32_t*>(map);
}

std::string slotFile(std::uint32_t slot, const char* suffix = "") {
  return "win/" + std::to_string(slot) + suffix;
}

// Datagrams, little-endian:
// post  "WFWM", hwnd, message, payload length (u32 each), wParam, lParam (u64 each), payload;
// send  "WFWS", the same fields, then sequence (u64) and the sender's slot (u32), then payload;
// reply "WFWR", answered (u32: 1, or 0 when the message will not be handled), sequence, result (u64 each).
constexpr std::uint32_t kPostMagic = 0x4D574657;   // "WFWM"
constexpr std::uint32_t kSendMagic = 0x53574657;   // "WFWS"
constexpr std::uint32_t kReplyMagic = 0x52574657;  // "WFWR"
constexpr std::size_t kWireHeader = 32;
constexpr std::size_t kSendHeader = kWireHeader + 12;
constexpr std::size_t kReplyBytes = 24;

// Where the answer to a send from another process goes.
struct ReplyTo {
  std::uint64_t sequence = 0;
  std::uint32_t slot = 0;
};

// A post, or a send when `replyTo` is given.
std::vector<std::uint8_t> encode(const Message& m, const ReplyTo* replyTo = nullptr) {
  const std::size_t header = replyTo ? kSendHeader : kWireHeader;
  std::vector<std::uint8_t> out(header + m.payload.size());
  storeLe32(&out[0], replyTo ? kSendMagic : kPostMagic);
  storeLe32(&out[4], m.hwnd);
  storeLe32(&out[8], m.message);
  storeLe32(&out[12], static_cast<std::uint32_t>(m.payload.size()));
  storeLe64(&out[16], m.wParam);
  storeLe64(&out[24], static_cast<std::uint64_t>(m.lParam));
  if (replyTo) {
    storeLe64(&out[32], replyTo->sequence);
    storeLe32(&out[40], replyTo->slot);
  }
  std::copy(m.payload.begin(), m.payload.end(), out.begin() + header);
  return out;
}

// A post, or with `replyTo` a send (filled in).
std::optional<Message> decode(const std::uint8_t* p, std::size_t n, ReplyTo* replyTo) {
  ByteReader in(std::span(p, n));
  std::uint32_t magic = 0, hwnd = 0, message = 0, length = 0;
  std::uint64_t wParam = 0, lParam = 0;
  if (!(in.le32(magic) && in.le32(hwnd) && in.le32(message) && in.le32(length) && in.le64(wParam) &&
        in.le64(lParam)))
    return std::nullopt;
  if (magic != (replyTo ? kSendMagic : kPostMagic)) return std::nullopt;
  if (replyTo && !(in.le64(replyTo->sequence) && in.le32(replyTo->slot) && replyTo->slot < kSlotCount))
    return std::nullopt;
  if (length != in.remaining()) return std::nullopt;
  Message m;
  m.hwnd = static_cast<Hwnd>(hwnd);
  m.message = message;
  m.wParam = static_cast<WParam>(wParam);
  m.lParam = static_cast<LParam>(lParam);
  m.payload.assign(p + in.position(), p + n);
  return m;
}

std::vector<std::uint8_t> encodeReply(std::uint64_t sequence, std::optional<LResult> result) {
  std::vector<std::uint8_t> out(kReplyBytes);
  storeLe32(&out[0], kReplyMagic);
  storeLe32(&out[4], result ? 1 : 0);
  storeLe64(&out[8], sequence);
  storeLe64(&out[16], static_cast<std::uint64_t>(result.value_or(0)));
  return out;
}

void traceGone(std::uint32_t message, Hwnd h) {
  char text[96];
  std::snprintf(text, sizeof text, "window message 0x%X dropped: window 0x%08X is gone", message, h);
  platformTrace(text);
}

bool socketAddress(const fs::path& path, sockaddr_un& addr) {
  addr = {};
  addr.sun_family = AF_UNIX;
  if (path.native().size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.c_str(), path.native().size());
  return true;
}

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// True when some process holds the slot file's lock: its owner lives.
bool slotAlive(int fd) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  return ::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
}

struct LocalWindow {
  std::string className;
  bool topLevel = true;
  std::shared_ptr<detail::ThreadRecord> owner;
  std::shared_ptr<WindowProc> proc;
  bool destroying = false;
};

// This process's slot: lock, live-window bits, receiver socket and thread.
struct OwnSlot {
  fs::path dir;
  std::uint32_t slot = 0;
  std::optional<FileLock> lock;
  std::uint8_t* map = nullptr;
  UniqueFd sock;
  Thread receiver;
  UniqueFd classFd;
  std::size_t classLines = 0;

  ~OwnSlot() {
    if (receiver.joinable()) {
      receiver.requestStop();
      receiver.joinFor(kInfinite);
    }
    if (map) ::munmap(map, kSlotFileBytes);
  }
};

// Another process's slot file, mapped read-only for liveness checks.
struct ForeignSlot {
  int fd = -1;
  const std::uint8_t* map = nullptr;
};

void receive(std::stop_token stop, int sock, std::uint32_t slot);

std::string classLine(Hwnd h, const LocalWindow& window) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08x%c", h, window.topLevel ? ' ' : '+');
  return hex + window.className + '\n';
}

// Calls `visit(hwnd, top-level, class)` for each complete line of the other
// slots' class lists, while it answers true.
template <class Visit>
void forEachPublishedWindow(const fs::path& dir, std::optional<std::uint32_t> ownSlot, Visit visit) {
  std::error_code ec;
  for (auto& entry : fs::directory_iterator(dir / "win", ec)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".cls") continue;
    std::uint32_t slot = 0;
    if (std::sscanf(name.c_str(), "%u.cls", &slot) != 1 || slot >= kSlotCount || slot == ownSlot) continue;
    std::ifstream in(entry.path());
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A line still being appended has no line break yet.
    text.erase(text.find_last_of('\n') + 1);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      unsigned h = 0;
      if (line.size() < 9 || (line[8] != ' ' && line[8] != '+') || std::sscanf(line.c_str(), "%8x", &h) != 1)
        continue;
      if (slotOf(h) == slot && !visit(h, line[8] == ' ', std::string_view(line).substr(9))) return;
    }
  }
}

class WindowSystem {
 public:
  Hwnd create(std::string_view className, WindowProc proc, bool topLevel);
  bool destroy(Hwnd h);
  bool isWindow(Hwnd h);
  Hwnd find(std::string_view className);
  std::vector<Hwnd> topLevelWindows();
  bool ownsHandle(Hwnd h);
  bool post(Message m);
  std::optional<LResult> send(Message m, std::uint32_t ms);
  LResult dispatch(Message& m, bool posted);
  void setDroppedPostHandler(std::uint32_t message, DroppedPostHandler handler);
  void forgetThread(ThreadId thread);
  bool deliverLocal(Message m);
  // A send from another process: queued for the owner, whose answer goes back.
  void takeSend(Message m, ReplyTo replyTo);
  void takeReply(const std::uint8_t* p, std::size_t n);

 private:
  bool ensureSlot(std::unique_ptr<OwnSlot>& retired, std::string* error);
  bool isLocal(Hwnd h, const fs::path& dir) const {
    return own_ && own_->dir == dir && slotOf(h) == own_->slot;
  }
  void markLive(std::uint32_t index, bool live);
  void publishClass(Hwnd h, const LocalWindow& window);
  void rewriteClassFile();
  std::optional<ForeignSlot> foreignSlot(const fs::path& dir, std::uint32_t slot);
  bool sendDatagram(std::uint32_t slot, const std::vector<std::uint8_t>& bytes);
  std::optional<LResult> sendToProcess(Message m, std::uint32_t ms, const fs::path& dir);

  std::mutex m_;
  std::unique_ptr<OwnSlot> own_;
  std::map<Hwnd, LocalWindow> windows_;
  std::map<std::uint32_t, std::shared_ptr<DroppedPostHandler>> droppedPostHandlers_;
  // Process-wide, so no index repeats even if the process changes slot.
  std::uint32_t nextIndex_ = 1;
  std::uint32_t issued_ = 0;

  std::mutex foreignMutex_;
  std::map<std::pair<fs::path, std::uint32_t>, ForeignSlot> foreign_;
  int sendSock_ = -1;

  // Sends of this process waiting for an answer from another, by sequence.
  // The first sequence is random, so an answer meant for an earlier owner of
  // this slot matches nothing.
  std::mutex pendingMutex_;
  std::map<std::uint64_t, std::shared_ptr<detail::SendTicket>> pending_;
  std::uint64_t nextSequence_ = (std::uint64_t{std::random_device{}()} << 32) | std::random_device{}();
};

// Leaked: windows' threads may end during process exit.
WindowSystem& windows() {
  static WindowSystem* w = new WindowSystem;
  return *w;
}

// A slot given up lands in `retired`, to be destroyed once m_ is released:
// its receiver may be waiting for m_.
bool WindowSystem::ensureSlot(std::unique_ptr<OwnSlot>& retired, std::string* error) {
  if (auto checked = checkedRuntimeDir(); checked && own_ && own_->dir == *checked) return true;
  recheckRuntimeDir();
  auto dir = checkedRuntimeDir(error);
  if (!dir) return false;
  if (own_ && own_->dir == *dir) return true;
  // Only tests change the runtime directory; the old one and its windows are gone.
  if (own_ && !windows_.empty()) {
    platformTrace("runtime directory changed: forgetting " + std::to_string(windows_.size()) + " windows");
    windows_.clear();
  }
  retired = std::move(own_);
  if (!ensurePrivateDir(*dir / "win", true, error)) return false;

  auto slot = std::make_unique<OwnSlot>();
  slot->dir = *dir;
  for (std::uint32_t s = 0; s < kSlotCount && !slot->lock; ++s) {
    auto path = runtimePath(slotFile(s), error);
    if (!path) return false;
    auto lock = FileLock::open(*path, error);
    if (lock && lock->tryExclusive()) {
      slot->slot = s;
      slot->lock = std::move(lock);
    }
  }
  if (!slot->lock) {
    if (error) *error = "no free window slot";
    return false;
  }
  int fd = slot->lock->fd();
  const auto mapPath = runtimePath(slotFile(slot->slot), error);
  if (!mapPath) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 ||
      (static_cast<std::size_t>(st.st_size) < kSlotFileBytes && ::ftruncate(fd, kSlotFileBytes) != 0)) {
    if (error) *error = std::string("cannot size window slot file: ") + std::strerror(errno);
    return false;
  }
  // The previous owner's live bits mean nothing now.
  const bool cleared = ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, kSlotHeaderBytes,
                                   kSlotFileBytes - kSlotHeaderBytes) == 0;
  if (!reserveRuntimeFile(fd, kSlotFileBytes, *mapPath, error)) return false;
  // Mapped through a description of its own, so the slot's lock goes with the
  // process and not with the later teardown of its address space.
  void* map = MAP_FAILED;
  if (const UniqueFd mapFd(::open(mapPath->c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW)); mapFd)
    map = ::mmap(nullptr, kSlotFileBytes, PROT_READ | PROT_WRITE, MAP_SHARED, mapFd.get(), 0);
  if (map == MAP_FAILED) {
    if (error) *error = std::string("cannot map window slot file: ") + std::strerror(errno);
    return false;
  }
  slot->map = static_cast<std::uint8_t*>(map);
  if (!cleared) std::memset(slot->map + kSlotHeaderBytes, 0, kSlotFileBytes - kSlotHeaderBytes);
  if (issued_ == 0) {
    std::uint32_t next = __atomic_load_n(nextIndexWord(slot->map), __ATOMIC_ACQUIRE);
    nextIndex_ = next >= 1 && next <= kMaxIndex ? next : 1;
  }

  auto sockPath = runtimePath(slotFile(slot->slot, ".sock"), error);
  sockaddr_un addr;
  if (!sockPath || !socketAddress(*sockPath, addr)) return false;
  ::unlink(sockPath->c_str());
  slot->sock.reset(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  // The socket's own mode becomes the file's at bind: owner-only from the start.
  if (!slot->sock || ::fchmod(slot->sock.get(), 0600) != 0 ||
      ::bind(slot->sock.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    if (error) *error = "cannot bind window receiver " + sockPath->string() + ": " + std::strerror(errno);
    return false;
  }
  own_ = std::move(slot);
  rewriteClassFile();
  own_->receiver = Thread("wf-winrecv", [sock = own_->sock.get(), s = own_->slot](std::stop_token stop) {
    receive(stop, sock, s);
  });
  return true;
}

void WindowSystem::markLive(std::uint32_t index, bool live) {
  std::uint32_t bit = 1u << (index % 32);
  if (live)
    __atomic_fetch_or(liveWord(own_->map, index), bit, __ATOMIC_RELEASE);
  else
    __atomic_fetch_and(liveWord(own_->map, index), ~bit, __ATOMIC_RELEASE);
}

// "<hwnd hex> <class>" per line (a child window has '+' for the blank),
// appended on creation; readers trust only complete lines of windows whose
// live bit is set, so destruction writes nothing until the dead lines
// outnumber the live ones.
void WindowSystem::publishClass(Hwnd h, const LocalWindow& window) {
  if (own_->classLines > 2 * windows_.size() + 64) rewriteClassFile();
  std::string line = classLine(h, window);
  if (!own_->classFd ||
      ::write(own_->classFd.get(), line.data(), line.size()) != static_cast<ssize_t>(line.size()))
    platformTrace("cannot publish the class of window " + line.substr(0, 8));
  ++own_->classLines;
}

// Replaced whole, so a reader sees the old list or the new one.
void WindowSystem::rewriteClassFile() {
  auto path = runtimePath(slotFile(own_->slot, ".cls"));
  if (!path) return;
  fs::path tmp = *path;
  tmp += ".tmp";
  std::string text;
  for (auto& [h, w] : windows_) text += classLine(h, w);
  UniqueFd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd || ::write(fd.get(), text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
      ::rename(tmp.c_str(), path->c_str()) != 0) {
    platformTrace("cannot publish window classes: " + std::string(std::strerror(errno)));
    return;
  }
  own_->classFd = std::move(fd);
  own_->classLines = windows_.size();
}

Hwnd WindowSystem::create(std::string_view className, WindowProc proc, bool topLevel) {
  if (!proc || className.find('\n') != std::string_view::npos) return 0;
  auto owner = detail::ownThreadRecord();
  std::unique_ptr<OwnSlot> retired;
  std::lock_guard lock(m_);
  std::string error;
  if (!ensureSlot(retired, &error)) {
    platformTrace("cannot create window: " + error);
    return 0;
  }
  if (issued_ >= kMaxIndex) {
    platformTrace("cannot create window: this process has used every window handle");
    return 0;
  }
  std::uint32_t index = nextIndex_;
  nextIndex_ = index == kMaxIndex ? 1 : index + 1;
  ++issued_;
  __atomic_store_n(nextIndexWord(own_->map), nextIndex_, __ATOMIC_RELEASE);
  Hwnd h = (own_->slot << kIndexBits) | index;
  windows_[h] = {std::string(className), topLevel, std::move(owner), std::make_shared<WindowProc>(std::move(proc))};
  markLive(index, true);
  publishClass(h, windows_[h]);
  return h;
}

bool WindowSystem::destroy(Hwnd h) {
  std::shared_ptr<WindowProc> proc;
  {
    std::lock_guard lock(m_);
    auto it = windows_.find(h);
    if (it == windows_.end() || it->second.destroying || it->second.owner->id != currentThreadId())
      return false;
    it->second.destroying = true;
    proc = it->second.proc;
  }
  (*proc)(h, WM_DESTROY, 0, 0);
  std::lock_guard lock(m_);
  windows_.erase(h);
  markLive(indexOf(h), false);
  return true;
}

void WindowSystem::setDroppedPostHandler(std::uint32_t message, DroppedPostHandler handler) {
  std::lock_guard lock(m_);
  if (handler)
    droppedPostHandlers_[message] = std::make_shared<DroppedPostHandler>(std::move(handler));
  else
    droppedPostHandlers_.erase(message);
}

void WindowSystem::forgetThread(ThreadId thread) {
  std::lock_guard lock(m_);
  for (auto it = windows_.begin(); it != windows_.end();) {
    if (it->second.owner->id == thread) {
      markLive(indexOf(it->first), false);
      it = windows_.erase(it);
    } else {
      ++it;
    }
  }
}

std::optional<ForeignSlot> WindowSystem::foreignSlot(const fs::path& dir, std::uint32_t slot) {
  std::lock_guard lock(foreignMutex_);
  auto key = std::make_pair(dir, slot);
  if (auto it = foreign_.find(key); it != foreign_.end()) return it->second;
  auto path = runtimePath(slotFile(slot));
  if (!path) return std::nullopt;
  UniqueFd fd(::open(path->c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd) return std::nullopt;
  struct stat st {};
  // A file still being set up by its owner is not mapped yet: no window lives there.
  if (::fstat(fd.get(), &st) != 0 || static_cast<std::size_t>(st.st_size) < kSlotFileBytes)
    return std::nullopt;
  void* map = ::mmap(nullptr, kSlotFileBytes, PROT_READ, MAP_SHARED, fd.get(), 0);
  if (map == MAP_FAILED) return std::nullopt;
  // Kept open and mapped for the life of the process, like the cache entry.
  ForeignSlot f{fd.release(), static_cast<const std::uint8_t*>(map)};
  foreign_[key] = f;
  return f;
}

bool WindowSystem::isWindow(Hwnd h) {
  if (!plausible(h)) return false;
  auto dir = checkedRuntimeDir();
  if (!dir) return false;
  {
    std::lock_guard lock(m_);
    if (isLocal(h, *dir)) return windows_.count(h) != 0;
  }
  auto f = foreignSlot(*dir, slotOf(h));
  if (!f) return false;
  auto word = reinterpret_cast<const std::uint32_t*>(f->map + kSlotHeaderBytes) + indexOf(h) / 32;
  bool live = __atomic_load_n(word, __ATOMIC_ACQUIRE) & (1u << (indexOf(h) % 32));
  return live && slotAlive(f->fd);
}

Hwnd WindowSystem::find(std::string_view className) {
  auto dir = checkedRuntimeDir();
  if (!dir) return 0;
  std::optional<std::uint32_t> ownSlot;
  {
    std::lock_guard lock(m_);
    if (own_ && own_->dir == *dir) {
      ownSlot = own_->slot;
      for (auto& [h, w] : windows_)
        if (!w.destroying && sameName(w.className, className)) return h;
    }
  }
  Hwnd found = 0;
  forEachPublishedWindow(*dir, ownSlot, [&](Hwnd h, bool, std::string_view name) {
    // The list may be a dead owner's or name destroyed windows: the live bit and the lock decide.
    if (sameName(name, className) && isWindow(h)) found = h;
    return found == 0;
  });
  return found;
}

bool WindowSystem::ownsHandle(Hwnd h) {
  auto dir = checkedRuntimeDir();
  std::lock_guard lock(m_);
  return dir && plausible(h) && isLocal(h, *dir);
}

std::vector<Hwnd> WindowSystem::topLevelWindows() {
  auto dir = checkedRuntimeDir();
  if (!dir) return {};
  std::vector<Hwnd> result;
  std::optional<std::uint32_t> ownSlot;
  {
    std::lock_guard lock(m_);
    if (own_ && own_->dir == *dir) {
      ownSlot = own_->slot;
      for (auto& [h, w] : windows_)
        if (!w.destroying && w.topLevel) result.push_back(h);
    }
  }
  forEachPublishedWindow(*dir, ownSlot, [&](Hwnd h, bool topLevel, std::string_view) {
    if (topLevel && isWindow(h)) result.push_back(h);
    return true;
  });
  return result;
}

bool WindowSystem::sendDatagram(std::uint32_t slot, const std::vector<std::uint8_t>& bytes) {
  auto path = checkedRuntimePath(slotFile(slot, ".sock"));
  sockaddr_un addr;
  if (!path || !socketAddress(*path, addr)) return false;
  {
    std::lock_guard lock(foreignMutex_);
    if (sendSock_ < 0) sendSock_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (sendSock_ < 0) return false;
  }
  auto deadline = deadlineAfter(kPostFullQueueWait);
  auto pause = std::chrono::microseconds(50);
  for (;;) {
    ssize_t n = ::sendto(sendSock_, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                         reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (n == static_cast<ssize_t>(bytes.size())) return true;
    if (n < 0 && errno == EINTR) continue;
    // Refused or missing: nobody receives there any more.
    if (n >= 0 || (errno != EAGAIN && errno != ENOBUFS)) {
      if (n < 0 && errno == ENOENT) recheckRuntimeDir();  // perhaps the whole directory went
      return false;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      platformTrace("window message dropped: the receiver of slot " + std::to_string(slot) + " stays full");
      return false;
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(5000));
  }
}

bool WindowSystem::deliverLocal(Message m) {
  std::shared_ptr<detail::ThreadRecord> owner;
  {
    std::lock_guard lock(m_);
    auto it = windows_.find(m.hwnd);
    if (it == windows_.end() || it->second.destroying) return false;
    owner = it->second.owner;
  }
  return owner->queue->post(std::move(m));
}

bool WindowSystem::post(Message m) {
  if (!plausible(m.hwnd) || m.payload.size() > kMaxMessagePayload) return false;
  auto dir = checkedRuntimeDir();
  if (!dir) return false;
  bool local;
  {
    std::lock_guard lock(m_);
    local = isLocal(m.hwnd, *dir);
  }
  if (local) return deliverLocal(std::move(m));
  return isWindow(m.hwnd) && sendDatagram(slotOf(m.hwnd), encode(m));
}

std::optional<LResult> WindowSystem::send(Message m, std::uint32_t ms) {
  auto dir = checkedRuntimeDir();
  if (!dir) return std::nullopt;
  std::shared_ptr<detail::ThreadRecord> owner;
  {
    std::lock_guard lock(m_);
    if (isLocal(m.hwnd, *dir)) {
      auto it = windows_.find(m.hwnd);
      if (it == windows_.end()) return std::nullopt;
      owner = it->second.owner;
    }
  }
  if (!owner) return sendToProcess(std::move(m), ms, *dir);
  if (owner->id == currentThreadId()) return dispatch(m, false);
  return detail::sendToThread(*owner, std::move(m), ms);
}

std::optional<LResult> WindowSystem::sendToProcess(Message m, std::uint32_t ms, const fs::path& dir) {
  if (!isWindow(m.hwnd)) return std::nullopt;
  ReplyTo replyTo;
  {
    // The answer comes to this process's receiver.
    std::unique_ptr<OwnSlot> retired;
    std::lock_guard lock(m_);
    std::string error;
    if (!ensureSlot(retired, &error)) {
      platformTrace("cannot send window message: " + error);
      return std::nullopt;
    }
    replyTo.slot = own_->slot;
  }
  auto ticket = std::make_shared<detail::SendTicket>();
  {
    std::lock_guard lock(pendingMutex_);
    replyTo.sequence = nextSequence_++;
    pending_[replyTo.sequence] = ticket;
  }
  const std::uint32_t target = slotOf(m.hwnd);
  std::optional<LResult> result;
  if (sendDatagram(target, encode(m, &replyTo))) {
    // A target that dies takes its lock with it: no answer is coming then.
    result = detail::awaitAnswer(ticket, ms, [this, dir, target] {
      auto f = foreignSlot(dir, target);
      return f && slotAlive(f->fd);
    });
  }
  std::lock_guard lock(pendingMutex_);
  pending_.erase(replyTo.sequence);
  return result;
}

void WindowSystem::takeSend(Message m, ReplyTo replyTo) {
  auto reply = [this, replyTo](std::optional<LResult> result) {
    if (!sendDatagram(replyTo.slot, encodeReply(replyTo.sequence, result)))
      platformTrace("window message answer lost: the sender in slot " + std::to_string(replyTo.slot) +
                    " is gone");
  };
  std::shared_ptr<detail::ThreadRecord> owner;
  {
    std::lock_guard lock(m_);
    auto it = windows_.find(m.hwnd);
    if (it != windows_.end() && !it->second.destroying) owner = it->second.owner;
  }
  const Hwnd h = m.hwnd;
  const std::uint32_t number = m.message;
  auto ticket = std::make_shared<detail::SendTicket>();
  ticket->onAnswer = reply;
  if (owner && detail::queueSend(*owner, {std::move(m), ticket})) return;
  traceGone(number, h);
  reply(std::nullopt);
}

void WindowSystem::takeReply(const std::uint8_t* p, std::size_t n) {
  ByteReader in(std::span(p, n));
  std::uint32_t magic = 0, answered = 0;
  std::uint64_t sequence = 0, result = 0;
  if (n != kReplyBytes || !(in.le32(magic) && in.le32(answered) && in.le64(sequence) && in.le64(result)) ||
      answered > 1) {
    platformTrace("window answer dropped: malformed datagram of " + std::to_string(n) + " bytes");
    return;
  }
  std::shared_ptr<detail::SendTicket> ticket;
  {
    std::lock_guard lock(pendingMutex_);
    if (auto it = pending_.find(sequence); it != pending_.end()) ticket = it->second;
  }
  if (!ticket) {
    // Late: its sender has given up waiting.
    platformTrace("window answer dropped: no send waits for sequence " + std::to_string(sequence));
    return;
  }
  detail::answer(*ticket, answered ? std::optional<LResult>(static_cast<LResult>(result)) : std::nullopt);
}

thread_local Payload* dispatchedPayload = nullptr;

LResult WindowSystem::dispatch(Message& m, bool posted) {
  std::shared_ptr<WindowProc> proc;
  std::shared_ptr<DroppedPostHandler> dropped;
  {
    std::lock_guard lock(m_);
    if (auto it = windows_.find(m.hwnd); it != windows_.end()) {
      proc = it->second.proc;
    } else if (auto h = droppedPostHandlers_.find(m.message); posted && h != droppedPostHandlers_.end()) {
      dropped = h->second;
    }
  }
  if (!proc) {
    if (dropped) (*dropped)(m.wParam, m.lParam);
    return 0;
  }
  Payload* outer = std::exchange(dispatchedPayload, &m.payload);
  LResult result = (*proc)(m.hwnd, m.message, m.wParam, m.lParam);
  dispatchedPayload = outer;
  return result;
}

void receive(std::stop_token stop, int sock, std::uint32_t slot) {
  std::vector<std::uint8_t> buffer(kSendHeader + kMaxMessagePayload);
  for (;;) {
    FdWait w = waitFd(sock, POLLIN, kInfinite, stop);
    if (w == FdWait::Stopped) return;
    if (w != FdWait::Ready) {
      platformTrace("window receiver of slot " + std::to_string(slot) + " failed: " + std::strerror(errno));
      return;
    }
    for (;;) {
      ssize_t n = ::recv(sock, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC);
      if (n < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (static_cast<std::size_t>(n) > buffer.size()) {
        platformTrace("window message dropped: datagram of " + std::to_string(n) + " bytes is too large");
        continue;
      }
      const std::uint32_t magic = n >= 4 ? loadLe32(buffer.data()) : 0;
      if (magic == kReplyMagic) {
        windows().takeReply(buffer.data(), static_cast<std::size_t>(n));
        continue;
      }
      ReplyTo replyTo;
      const bool isSend = magic == kSendMagic;
      auto m = decode(buffer.data(), static_cast<std::size_t>(n), isSend ? &replyTo : nullptr);
      if (!m || slotOf(m->hwnd) != slot) {
        platformTrace("window message dropped: malformed datagram of " + std::to_string(n) + " bytes");
        continue;
      }
      if (isSend) {
        windows().takeSend(std::move(*m), replyTo);
        continue;
      }
      const Hwnd h = m->hwnd;
      const std::uint32_t number = m->message;
      if (!windows().deliverLocal(std::move(*m))) traceGone(number, h);
    }
  }
}

}  // namespace

namespace detail {
void forgetThreadWindows(ThreadId thread) {
  windows().forgetThread(thread);
}
LResult dispatchSent(Message& message) {
  return windows().dispatch(message, false);
}
}  // namespace detail

Hwnd createWindow(std::string_view className, WindowProc proc, bool topLevel) {
  return windows().create(className, std::move(proc), topLevel);
}
bool destroyWindow(Hwnd hwnd) {
  return windows().destroy(hwnd);
}
void setDroppedPostHandler(std::uint32_t message, DroppedPostHandler handler) {
  windows().setDroppedPostHandler(message, std::move(handler));
}
bool isWindow(Hwnd hwnd) {
  return windows().isWindow(hwnd);
}
Hwnd findWindow(std::string_view className) {
  return windows().find(className);
}

bool isWindowOfThisProcess(Hwnd hwnd) {
  return windows().ownsHandle(hwnd);
}

BOOL EnumWindows(WNDENUMPROC callback, LParam lParam) {
  if (!callback) return FALSE;
  for (Hwnd h : windows().topLevelWindows())
    if (!callback(h, lParam)) break;
  return TRUE;
}

bool postMessage(Hwnd hwnd, std::uint32_t message, WParam wParam, LParam lParam, Payload payload) {
  return windows().post({hwnd, message, wParam, lParam, std::move(payload)});
}

std::optional<LResult> sendMessage(Hwnd hwnd, std::uint32_t message, WParam wParam, LParam lParam,
                                   std::uint32_t ms) {
  return windows().send({hwnd, message, wParam, lParam, {}}, ms);
}

LResult dispatchMessage(Message& msg) {
  return windows().dispatch(msg, true);
}
Payload* currentPayload() {
  return dispatchedPayload;
}

}  // namespace wf
