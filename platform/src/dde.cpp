#include "platform/dde.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "ipc_name.h"
#include "platform/clock.h"
#include "platform/dde_wire.h"
#include "platform/message_queue.h"
#include "platform/thread.h"
#include "platform/trace.h"
#include "platform/unique_fd.h"
#include "platform/window_messages.h"

namespace wf {
namespace {

using ddewire::Frame;
using ddewire::Kind;

// Posted to an instance's own window when its inbox has work.
constexpr std::uint32_t kDdeWakeMessage = WM_USER + 0x7D0;
// A send to a partner that does not read is given up after this long (real ms).
constexpr int kDdeSendTimeoutMs = 5'000;
// Handle numbers: data handles never equal the small values callbacks answer (TRUE, DDE_FACK).
constexpr std::uintptr_t kFirstDataHandle = 0x10000;

std::string foldDdeName(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

struct DdeInstance;

struct DdeConversation {
  std::uintptr_t handle = 0;  // 0 until established: not yet visible to the application
  std::weak_ptr<DdeInstance> owner;
  UniqueFd fd;
  bool server = false;
  std::string service, topic;
  // Client while connecting: set by the server's answer.
  std::optional<bool> connectAnswer;
  // Server: the advise loops of this conversation, (folded item, format).
  std::set<std::pair<std::string, UINT>> advises;
  bool closed = false;  // ended locally or by the partner; the handle is stale
};

struct DdeService {
  std::string name;  // as registered
  std::filesystem::path path;
  UniqueFd fd;
};

struct DdeEvent {
  std::shared_ptr<DdeConversation> conv;
  std::optional<Frame> frame;  // none: the connection ended
};

struct DdeInstance {
  DWORD id = 0;
  std::weak_ptr<DdeInstance> self;
  PFNCALLBACK callback = nullptr;
  DWORD flags = 0;
  ThreadId owner = 0;
  Hwnd window = 0;
  UINT lastError = DMLERR_NO_ERROR;
  UniqueFd wakeFd;  // eventfd: the I/O thread rebuilds its poll set
  std::vector<std::shared_ptr<DdeService>> services;
  std::vector<std::shared_ptr<DdeConversation>> conversations;
  std::deque<DdeEvent> inbox;
  bool wakePosted = false;
  // Client transactions waiting for their answer; others' answers are dropped.
  std::map<std::uint32_t, std::optional<Frame>> pending;
  std::uint32_t nextTransaction = 1;
  int inCallback = 0;
  bool ended = false;
  Thread io;
};

struct DdeStringEntry {
  std::string text;
  int refs = 0;
};

struct DdeDataEntry {
  std::vector<BYTE> bytes;
};

// One lock for every table and instance: callbacks never run under it.
struct DdeState {
  std::mutex m;
  std::condition_variable inboxChanged;  // any instance's
  DWORD nextInstance = 1;
  std::map<DWORD, std::shared_ptr<DdeInstance>> instances;
  std::uintptr_t nextString = 1;
  std::map<std::uintptr_t, DdeStringEntry> strings;
  std::map<std::string, std::uintptr_t> stringByText;  // folded text
  std::uintptr_t nextData = kFirstDataHandle;
  std::map<std::uintptr_t, DdeDataEntry> data;
  std::uintptr_t nextConv = 1;
  std::map<std::uintptr_t, std::shared_ptr<DdeConversation>> convs;
};

DdeState& dde() {
  static DdeState* s = new DdeState;  // used by I/O threads until the process ends
  return *s;
}

std::shared_ptr<DdeInstance> findInstance(DWORD id) {
  auto it = dde().instances.find(id);
  return it == dde().instances.end() ? nullptr : it->second;
}

// The instance for a call on its owner thread; null (with its error set where
// there is an instance) otherwise. Caller holds the lock.
std::shared_ptr<DdeInstance> ownInstance(DWORD id) {
  auto inst = findInstance(id);
  if (!inst) return nullptr;
  if (inst->owner != currentThreadId()) {
    inst->lastError = DMLERR_DLL_USAGE;
    return nullptr;
  }
  return inst;
}

std::optional<std::string> stringText(HSZ hsz) {
  auto it = dde().strings.find(reinterpret_cast<std::uintptr_t>(hsz));
  if (it == dde().strings.end()) return std::nullopt;
  return it->second.text;
}

HSZ addString(std::string_view text) {
  auto& s = dde();
  const std::string key = foldDdeName(text);
  auto found = s.stringByText.find(key);
  if (found != s.stringByText.end()) {
    ++s.strings[found->second].refs;
    return reinterpret_cast<HSZ>(found->second);
  }
  const std::uintptr_t id = s.nextString++;
  s.strings[id] = {std::string(text), 1};
  s.stringByText[key] = id;
  return reinterpret_cast<HSZ>(id);
}

void releaseString(std::uintptr_t id) {
  auto& s = dde();
  auto it = s.strings.find(id);
  if (it == s.strings.end()) return;
  if (--it->second.refs > 0) return;
  s.stringByText.erase(foldDdeName(it->second.text));
  s.strings.erase(it);
}

HDDEDATA addData(std::vector<BYTE> bytes) {
  const std::uintptr_t id = dde().nextData++;
  dde().data[id].bytes = std::move(bytes);
  return reinterpret_cast<HDDEDATA>(id);
}

std::optional<std::vector<BYTE>> takeData(HDDEDATA h) {
  auto it = dde().data.find(reinterpret_cast<std::uintptr_t>(h));
  if (it == dde().data.end()) return std::nullopt;
  auto bytes = std::move(it->second.bytes);
  dde().data.erase(it);
  return bytes;
}

std::shared_ptr<DdeConversation> findConversation(HCONV conv) {
  auto it = dde().convs.find(reinterpret_cast<std::uintptr_t>(conv));
  if (it == dde().convs.end() || it->second->closed) return nullptr;
  return it->second;
}

void wakeIo(DdeInstance& inst) {
  const std::uint64_t one = 1;
  [[maybe_unused]] auto n = ::write(inst.wakeFd.get(), &one, sizeof one);
}

bool sendFrame(DdeConversation& conv, const Frame& frame) {
  auto bytes = ddewire::encode(frame);
  if (!bytes) return false;
  ssize_t n;
  do {
    n = ::send(conv.fd.get(), bytes->data(), bytes->size(), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(bytes->size());
}

// Ends a conversation from this side: the partner reads the end of the
// connection, this side's handle goes stale at once. Caller holds the lock.
void closeConversation(DdeInstance& inst, const std::shared_ptr<DdeConversation>& conv) {
  if (conv->closed) return;
  conv->closed = true;
  ::shutdown(conv->fd.get(), SHUT_RDWR);
  if (conv->handle) dde().convs.erase(conv->handle);
  std::erase(inst.conversations, conv);
  wakeIo(inst);
}

// ---- the I/O thread: reads every socket of an instance, queues for its owner ----

void queueEvent(DdeInstance& inst, DdeEvent event) {
  inst.inbox.push_back(std::move(event));
  dde().inboxChanged.notify_all();
  if (!inst.wakePosted && inst.window) inst.wakePosted = postMessage(inst.window, kDdeWakeMessage, 0, 0);
}

void acceptConnection(DdeInstance& inst, DdeService& service) {
  int fd = ::accept4(service.fd.get(), nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  timeval tv{kDdeSendTimeoutMs / 1000, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  auto conv = std::make_shared<DdeConversation>();
  conv->fd.reset(fd);
  conv->server = true;
  conv->owner = inst.self;
  conv->service = service.name;
  inst.conversations.push_back(conv);
}

// Reads one frame; false when the conversation ended (closed by the partner,
// or a bad frame, which ends it).
bool readFrame(DdeInstance& inst, const std::shared_ptr<DdeConversation>& conv) {
  // One buffer per I/O thread: a frame is decoded (copied out) before the next read.
  thread_local std::vector<std::uint8_t> buffer(ddewire::kMaxFrame + 1);
  ssize_t n;
  do {
    n = ::recv(conv->fd.get(), buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
  if (n <= 0) return false;
  std::string why;
  auto frame = ddewire::decode(std::span(buffer.data(), std::min<std::size_t>(static_cast<std::size_t>(n),
                                                                              buffer.size())),
                               &why);
  if (!frame) {
    platformTrace("dde: bad frame on a conversation of \"" + conv->service + "\", ended: " + why);
    return false;
  }
  queueEvent(inst, {conv, std::move(frame)});
  return true;
}

// `inst` outlives the thread: DdeUninitialize joins it first.
void ioLoop(DdeInstance* inst, std::stop_token stop) {
  std::stop_callback wake(stop, [inst] { wakeIo(*inst); });
  while (!stop.stop_requested()) {
    std::vector<pollfd> fds{{inst->wakeFd.get(), POLLIN, 0}};
    std::vector<std::shared_ptr<DdeService>> services;
    std::vector<std::shared_ptr<DdeConversation>> convs;
    {
      std::lock_guard lock(dde().m);
      services = inst->services;
      convs = inst->conversations;
    }
    for (auto& s : services) fds.push_back({s->fd.get(), POLLIN, 0});
    for (auto& c : convs) fds.push_back({c->fd.get(), POLLIN, 0});
    if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) break;
    if (fds[0].revents) {
      std::uint64_t count;
      [[maybe_unused]] auto n = ::read(inst->wakeFd.get(), &count, sizeof count);
    }
    std::lock_guard lock(dde().m);
    for (std::size_t i = 0; i < services.size(); ++i) {
      if (fds[1 + i].revents && std::ranges::find(inst->services, services[i]) != inst->services.end())
        acceptConnection(*inst, *services[i]);
    }
    for (std::size_t i = 0; i < convs.size(); ++i) {
      auto& conv = convs[i];
      if (!fds[1 + services.size() + i].revents || conv->closed) continue;
      if (readFrame(*inst, conv)) continue;
      conv->closed = true;
      if (conv->handle) dde().convs.erase(conv->handle);
      std::erase(inst->conversations, conv);
      queueEvent(*inst, {conv, std::nullopt});
    }
  }
}

// ---- the owner thread: callbacks and answers ----

struct CallbackScope {
  explicit CallbackScope(DdeInstance& i) : inst(i) { ++inst.inCallback; }
  ~CallbackScope() { --inst.inCallback; }
  DdeInstance& inst;
};

HDDEDATA runCallback(DdeInstance& inst, UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                     ULONG_PTR data1 = 0, ULONG_PTR data2 = 0) {
  if (!inst.callback) return nullptr;
  CallbackScope scope(inst);
  return inst.callback(type, format, conv, hsz1, hsz2, data, data1, data2);
}

DWORD flagsAnswer(HDDEDATA answer) {
  return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(answer)) & 0xFFFF;
}

// A server's transaction: the callback's answer goes back with its number.
void serveTransaction(DdeInstance& inst, const std::shared_ptr<DdeConversation>& conv, const Frame& in) {
  HSZ topic, item;
  HDDEDATA incoming = nullptr;
  HCONV handle;
  {
    std::lock_guard lock(dde().m);
    topic = addString(conv->topic);
    item = addString(in.item);
    if (!in.data.empty() || in.kind == Kind::Poke || in.kind == Kind::Execute) incoming = addData(in.data);
    handle = reinterpret_cast<HCONV>(conv->handle);
  }
  Frame reply;
  reply.kind = Kind::Reply;
  reply.transaction = in.transaction;
  reply.format = in.format;
  const DWORD f = inst.flags;
  switch (in.kind) {
    case Kind::Poke:
      if (!(f & CBF_FAIL_POKES))
        reply.status = flagsAnswer(runCallback(inst, XTYP_POKE, in.format, handle, topic, item, incoming));
      break;
    case Kind::Execute:
      if (!(f & CBF_FAIL_EXECUTES))
        reply.status = flagsAnswer(runCallback(inst, XTYP_EXECUTE, in.format, handle, topic, nullptr, incoming));
      break;
    case Kind::Request:
      if (!(f & CBF_FAIL_REQUESTS)) {
        HDDEDATA answer = runCallback(inst, XTYP_REQUEST, in.format, handle, topic, item, nullptr);
        std::lock_guard lock(dde().m);
        if (auto bytes = answer ? takeData(answer) : std::nullopt) {
          reply.status = DDE_FACK;
          reply.data = std::move(*bytes);
          if (reply.data.size() > ddewire::kMaxData) {
            platformTrace("dde: an answer of " + std::to_string(reply.data.size()) + " bytes is refused");
            reply.data.clear();
            reply.status = DDE_FNOTPROCESSED;
          }
        }
      }
      break;
    case Kind::AdviseStart:
      if (!(f & CBF_FAIL_ADVISES) && runCallback(inst, XTYP_ADVSTART, in.format, handle, topic, item, nullptr)) {
        reply.status = DDE_FACK;
        std::lock_guard lock(dde().m);
        conv->advises.insert({foldDdeName(in.item), in.format});
      }
      break;
    case Kind::AdviseStop: {
      bool had;
      {
        std::lock_guard lock(dde().m);
        had = conv->advises.erase({foldDdeName(in.item), in.format}) > 0;
      }
      if (had && !(f & CBF_FAIL_ADVISES)) runCallback(inst, XTYP_ADVSTOP, in.format, handle, topic, item, nullptr);
      reply.status = had ? DDE_FACK : DDE_FNOTPROCESSED;
      break;
    }
    default:
      break;
  }
  std::lock_guard lock(dde().m);
  if (incoming) takeData(incoming);
  releaseString(reinterpret_cast<std::uintptr_t>(topic));
  releaseString(reinterpret_cast<std::uintptr_t>(item));
  if (!conv->closed) sendFrame(*conv, reply);
}

void answerConnect(DdeInstance& inst, const std::shared_ptr<DdeConversation>& conv, const Frame& in) {
  HSZ topic, service;
  {
    std::lock_guard lock(dde().m);
    conv->topic = in.item;
    topic = addString(in.item);
    service = addString(conv->service);
  }
  const bool accepted = !(inst.flags & CBF_FAIL_CONNECTIONS) &&
                        runCallback(inst, XTYP_CONNECT, 0, nullptr, topic, service, nullptr) != nullptr;
  HCONV handle = nullptr;
  {
    std::lock_guard lock(dde().m);
    releaseString(reinterpret_cast<std::uintptr_t>(topic));
    releaseString(reinterpret_cast<std::uintptr_t>(service));
    if (conv->closed) return;
    Frame reply;
    reply.kind = accepted ? Kind::ConnectAck : Kind::ConnectRefused;
    if (!accepted || !sendFrame(*conv, reply)) {
      if (accepted) platformTrace("dde: a connection to \"" + conv->service + "\" ended before it was accepted");
      else sendFrame(*conv, reply);
      closeConversation(inst, conv);
      return;
    }
    conv->handle = dde().nextConv++;
    dde().convs[conv->handle] = conv;
    handle = reinterpret_cast<HCONV>(conv->handle);
    topic = addString(conv->topic);
    service = addString(conv->service);
  }
  if (!(inst.flags & CBF_SKIP_CONNECT_CONFIRMS))
    runCallback(inst, XTYP_CONNECT_CONFIRM, 0, handle, topic, service, nullptr);
  std::lock_guard lock(dde().m);
  releaseString(reinterpret_cast<std::uintptr_t>(topic));
  releaseString(reinterpret_cast<std::uintptr_t>(service));
}

void adviseData(DdeInstance& inst, const std::shared_ptr<DdeConversation>& conv, const Frame& in) {
  HSZ topic, item;
  HDDEDATA data;
  {
    std::lock_guard lock(dde().m);
    topic = addString(conv->topic);
    item = addString(in.item);
    data = addData(in.data);
  }
  Frame ack;
  ack.kind = Kind::AdviseAck;
  ack.transaction = in.transaction;
  ack.status = flagsAnswer(runCallback(inst, XTYP_ADVDATA, in.format, reinterpret_cast<HCONV>(conv->handle),
                                       topic, item, data));
  std::lock_guard lock(dde().m);
  takeData(data);
  releaseString(reinterpret_cast<std::uintptr_t>(topic));
  releaseString(reinterpret_cast<std::uintptr_t>(item));
  if (!conv->closed) sendFrame(*conv, ack);
}

void handleEvent(DdeInstance& inst, DdeEvent& event) {
  auto& conv = event.conv;
  if (!event.frame) {
    if (conv->handle && !(inst.flags & CBF_SKIP_DISCONNECTS))
      runCallback(inst, XTYP_DISCONNECT, 0, reinterpret_cast<HCONV>(conv->handle), nullptr, nullptr, nullptr);
    return;
  }
  Frame& in = *event.frame;
  const bool established = conv->handle != 0;
  // After its end only an answer still counts: the partner may answer and close at once.
  if (conv->closed && in.kind != Kind::Reply) return;
  bool fitting = false;
  switch (in.kind) {
    case Kind::Connect:
      if ((fitting = conv->server && !established)) answerConnect(inst, conv, in);
      break;
    case Kind::ConnectAck:
    case Kind::ConnectRefused:
      if ((fitting = !conv->server && !conv->connectAnswer)) conv->connectAnswer = in.kind == Kind::ConnectAck;
      break;
    case Kind::Poke:
    case Kind::Request:
    case Kind::AdviseStart:
    case Kind::AdviseStop:
    case Kind::Execute:
      if ((fitting = conv->server && established)) serveTransaction(inst, conv, in);
      break;
    case Kind::Reply: {
      if (!(fitting = !conv->server && established)) break;
      std::lock_guard lock(dde().m);
      auto it = inst.pending.find(in.transaction);
      if (it != inst.pending.end() && !it->second)
        it->second = std::move(in);
      else
        platformTrace("dde: the answer to transaction " + std::to_string(in.transaction) +
                      " came after its caller stopped waiting, dropped");
      break;
    }
    case Kind::AdviseData:
      if ((fitting = !conv->server && established)) adviseData(inst, conv, in);
      break;
    case Kind::AdviseAck:
      fitting = conv->server && established;
      break;
  }
  if (!fitting) {
    platformTrace("dde: frame of kind " + std::to_string(static_cast<int>(in.kind)) +
                  " out of place on a conversation of \"" + conv->service + "\", ended");
    std::lock_guard lock(dde().m);
    closeConversation(inst, conv);
  }
}

// Runs everything the I/O thread queued. On the owner thread.
void pumpInstance(const std::shared_ptr<DdeInstance>& inst) {
  for (;;) {
    DdeEvent event;
    {
      std::lock_guard lock(dde().m);
      inst->wakePosted = false;
      if (inst->inbox.empty() || inst->ended) return;
      event = std::move(inst->inbox.front());
      inst->inbox.pop_front();
    }
    handleEvent(*inst, event);
  }
}

// Waits on the owner thread until `done` holds (checked under the lock) or
// the deadline passes, meanwhile running the callbacks of every instance of
// the thread: a server of this same thread must answer its own client.
template <typename Done>
bool waitRunning(const std::shared_ptr<DdeInstance>& inst, std::chrono::steady_clock::time_point deadline,
                 Done done) {
  const ThreadId self = currentThreadId();
  for (;;) {
    std::vector<std::shared_ptr<DdeInstance>> own;
    {
      std::lock_guard lock(dde().m);
      for (auto& [id, i] : dde().instances) {
        if (i->owner == self) own.push_back(i);
      }
    }
    for (auto& i : own) {
      if (i->inCallback == 0) pumpInstance(i);
    }
    std::unique_lock lock(dde().m);
    if (done()) return true;
    if (inst->ended) return false;
    auto idle = [&] {
      return std::ranges::all_of(own, [](auto& i) { return i->inbox.empty() || i->ended; });
    };
    if (idle() && dde().inboxChanged.wait_until(lock, deadline) == std::cv_status::timeout && idle())
      return done();
  }
}

bool bindService(DdeService& service, std::string* error) {
  auto path = detail::runtimeObjectPath("dde", foldDdeName(service.name), "", error);
  if (!path) return false;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path->c_str(), path->native().size() + 1);
  UniqueFd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
  if (!fd) return false;
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    if (errno != EADDRINUSE) return false;
    // A stale socket of a server that died is taken over; a live one is not.
    UniqueFd probe(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    if (::connect(probe.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
      if (error) *error = "the service is registered by another server";
      return false;
    }
    ::unlink(path->c_str());
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return false;
  }
  if (::listen(fd.get(), 64) != 0) return false;
  service.path = *path;
  service.fd = std::move(fd);
  return true;
}

UINT timeoutCode(UINT type) {
  switch (type) {
    case XTYP_POKE:
      return DMLERR_POKEACKTIMEOUT;
    case XTYP_EXECUTE:
      return DMLERR_EXECACKTIMEOUT;
    case XTYP_ADVSTART:
      return DMLERR_ADVACKTIMEOUT;
    case XTYP_ADVSTOP:
      return DMLERR_UNADVACKTIMEOUT;
    default:
      return DMLERR_DATAACKTIMEOUT;
  }
}

std::optional<Kind> transactionKind(UINT type) {
  switch (type) {
    case XTYP_POKE:
      return Kind::Poke;
    case XTYP_REQUEST:
      return Kind::Request;
    case XTYP_ADVSTART:
      return Kind::AdviseStart;
    case XTYP_ADVSTOP:
      return Kind::AdviseStop;
    case XTYP_EXECUTE:
      return Kind::Execute;
    default:
      return std::nullopt;
  }
}

}  // namespace

UINT DdeInitializeA(DWORD* instance, PFNCALLBACK callback, DWORD flags, DWORD) {
  if (!instance) return DMLERR_INVALIDPARAMETER;
  if (*instance != 0) {  // changing an instance's flags
    std::lock_guard lock(dde().m);
    auto inst = ownInstance(*instance);
    if (!inst) return DMLERR_INVALIDPARAMETER;
    inst->flags = flags;
    return DMLERR_NO_ERROR;
  }
  auto inst = std::make_shared<DdeInstance>();
  inst->callback = callback;
  inst->flags = flags;
  inst->owner = currentThreadId();
  inst->self = inst;
  inst->wakeFd.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!inst->wakeFd) return DMLERR_SYS_ERROR;
  std::weak_ptr<DdeInstance> weak = inst;
  inst->window = createWindow("WfDdeInstance", [weak](Hwnd, std::uint32_t msg, WParam, LParam) -> LResult {
    if (msg != kDdeWakeMessage) return 0;
    if (auto i = weak.lock(); i && i->inCallback == 0) pumpInstance(i);
    return 0;
  });
  if (!inst->window) return DMLERR_SYS_ERROR;
  {
    std::lock_guard lock(dde().m);
    inst->id = dde().nextInstance++;
    dde().instances[inst->id] = inst;
  }
  inst->io = Thread("dde-io", [raw = inst.get()](std::stop_token stop) { ioLoop(raw, stop); });
  *instance = inst->id;
  return DMLERR_NO_ERROR;
}

BOOL DdeUninitialize(DWORD instance) {
  std::shared_ptr<DdeInstance> inst;
  {
    std::lock_guard lock(dde().m);
    inst = findInstance(instance);
    if (!inst) return FALSE;
    dde().instances.erase(instance);
    inst->ended = true;
    for (auto& conv : std::vector(inst->conversations)) closeConversation(*inst, conv);
    for (auto& s : inst->services) ::unlink(s->path.c_str());
    dde().inboxChanged.notify_all();
  }
  inst->io.requestStop();
  inst->io.joinFor(kInfinite);
  {
    std::lock_guard lock(dde().m);
    inst->services.clear();
    inst->inbox.clear();
  }
  if (inst->owner == currentThreadId()) destroyWindow(inst->window);
  return TRUE;
}

UINT DdeGetLastError(DWORD instance) {
  std::lock_guard lock(dde().m);
  auto inst = findInstance(instance);
  if (!inst) return DMLERR_DLL_NOT_INITIALIZED;
  return std::exchange(inst->lastError, DMLERR_NO_ERROR);
}

HSZ DdeCreateStringHandleA(DWORD instance, const char* text, int) {
  std::lock_guard lock(dde().m);
  auto inst = findInstance(instance);
  if (!inst) return nullptr;
  if (!text || std::strlen(text) > ddewire::kMaxItem) {
    inst->lastError = DMLERR_INVALIDPARAMETER;
    return nullptr;
  }
  return addString(text);
}

BOOL DdeFreeStringHandle(DWORD instance, HSZ hsz) {
  std::lock_guard lock(dde().m);
  if (!findInstance(instance) || !stringText(hsz)) return FALSE;
  releaseString(reinterpret_cast<std::uintptr_t>(hsz));
  return TRUE;
}

BOOL DdeKeepStringHandle(DWORD instance, HSZ hsz) {
  std::lock_guard lock(dde().m);
  if (!findInstance(instance) || !stringText(hsz)) return FALSE;
  ++dde().strings[reinterpret_cast<std::uintptr_t>(hsz)].refs;
  return TRUE;
}

DWORD DdeQueryStringA(DWORD instance, HSZ hsz, char* buffer, DWORD capacity, int) {
  std::lock_guard lock(dde().m);
  auto text = findInstance(instance) ? stringText(hsz) : std::nullopt;
  if (!text) return 0;
  if (!buffer) return static_cast<DWORD>(text->size());
  if (capacity == 0) return 0;
  const std::size_t n = std::min<std::size_t>(text->size(), capacity - 1);
  std::memcpy(buffer, text->data(), n);
  buffer[n] = '\0';
  return static_cast<DWORD>(n);
}

int DdeCmpStringHandles(HSZ a, HSZ b) {
  std::lock_guard lock(dde().m);
  const std::string left = foldDdeName(stringText(a).value_or(""));
  const std::string right = foldDdeName(stringText(b).value_or(""));
  return left < right ? -1 : left > right ? 1 : 0;
}

HDDEDATA DdeCreateDataHandle(DWORD instance, const BYTE* source, DWORD size, DWORD offset, HSZ, UINT, UINT) {
  std::lock_guard lock(dde().m);
  auto inst = findInstance(instance);
  if (!inst) return nullptr;
  if ((!source && size) || size > kDdeMaxData) {
    inst->lastError = DMLERR_INVALIDPARAMETER;
    return nullptr;
  }
  std::vector<BYTE> bytes(static_cast<std::size_t>(offset) + size);
  if (size) std::memcpy(bytes.data() + offset, source, size);
  return addData(std::move(bytes));
}

DWORD DdeGetData(HDDEDATA data, BYTE* destination, DWORD capacity, DWORD offset) {
  std::lock_guard lock(dde().m);
  auto it = dde().data.find(reinterpret_cast<std::uintptr_t>(data));
  if (it == dde().data.end()) return 0;
  const auto& bytes = it->second.bytes;
  if (!destination) return static_cast<DWORD>(bytes.size());
  if (offset >= bytes.size()) return 0;
  const std::size_t n = std::min<std::size_t>(capacity, bytes.size() - offset);
  std::memcpy(destination, bytes.data() + offset, n);
  return static_cast<DWORD>(n);
}

BOOL DdeFreeDataHandle(HDDEDATA data) {
  std::lock_guard lock(dde().m);
  return takeData(data) ? TRUE : FALSE;
}

HDDEDATA DdeNameService(DWORD instance, HSZ hsz1, HSZ, UINT command) {
  std::lock_guard lock(dde().m);
  auto inst = ownInstance(instance);
  if (!inst) return nullptr;
  auto done = [] { return reinterpret_cast<HDDEDATA>(std::uintptr_t{1}); };
  if (command & DNS_UNREGISTER) {
    auto name = hsz1 ? stringText(hsz1) : std::nullopt;
    if (hsz1 && !name) {
      inst->lastError = DMLERR_INVALIDPARAMETER;
      return nullptr;
    }
    std::erase_if(inst->services, [&](const std::shared_ptr<DdeService>& s) {
      if (name && foldDdeName(s->name) != foldDdeName(*name)) return false;
      ::unlink(s->path.c_str());
      return true;
    });
    wakeIo(*inst);
    return done();
  }
  if (!(command & DNS_REGISTER)) return done();
  auto name = stringText(hsz1);
  if (!name || name->empty()) {
    inst->lastError = DMLERR_INVALIDPARAMETER;
    return nullptr;
  }
  auto service = std::make_shared<DdeService>();
  service->name = *name;
  std::string error;
  if (!bindService(*service, &error)) {
    platformTrace("dde: service \"" + *name + "\" not registered: " + (error.empty() ? strerror(errno) : error));
    inst->lastError = DMLERR_DLL_USAGE;
    return nullptr;
  }
  inst->services.push_back(service);
  wakeIo(*inst);
  return done();
}

BOOL DdePostAdvise(DWORD instance, HSZ topic, HSZ item) {
  std::vector<std::shared_ptr<DdeConversation>> targets;
  std::shared_ptr<DdeInstance> inst;
  std::string itemText, topicText;
  {
    std::lock_guard lock(dde().m);
    inst = ownInstance(instance);
    auto t = stringText(topic);
    auto i = stringText(item);
    if (!inst || !t || !i) {
      if (inst) inst->lastError = DMLERR_INVALIDPARAMETER;
      return FALSE;
    }
    topicText = foldDdeName(*t);
    itemText = foldDdeName(*i);
    for (auto& conv : inst->conversations) {
      if (conv->server && conv->handle && foldDdeName(conv->topic) == topicText) targets.push_back(conv);
    }
  }
  for (auto& conv : targets) {
    std::vector<UINT> formats;
    {
      std::lock_guard lock(dde().m);
      for (auto& [loopItem, format] : conv->advises) {
        if (loopItem == itemText) formats.push_back(format);
      }
    }
    for (UINT format : formats) {
      HDDEDATA answer = runCallback(*inst, XTYP_ADVREQ, format, reinterpret_cast<HCONV>(conv->handle), topic,
                                    item, nullptr);
      std::lock_guard lock(dde().m);
      auto bytes = answer ? takeData(answer) : std::nullopt;
      if (!bytes || conv->closed) continue;
      Frame frame;
      frame.kind = Kind::AdviseData;
      frame.format = static_cast<std::uint16_t>(format);
      frame.transaction = inst->nextTransaction++;
      frame.item = *stringText(item);
      frame.data = std::move(*bytes);
      if (!sendFrame(*conv, frame)) platformTrace("dde: advise data not sent to a partner of \"" + conv->service + "\"");
    }
  }
  return TRUE;
}

HCONV DdeConnect(DWORD instance, HSZ service, HSZ topic, void*) {
  std::shared_ptr<DdeInstance> inst;
  auto conv = std::make_shared<DdeConversation>();
  {
    std::lock_guard lock(dde().m);
    inst = ownInstance(instance);
    if (!inst) return nullptr;
    if (inst->inCallback) {
      inst->lastError = DMLERR_REENTRANCY;
      return nullptr;
    }
    auto s = stringText(service);
    auto t = stringText(topic);
    if (!s || !t || s->empty()) {
      inst->lastError = DMLERR_INVALIDPARAMETER;
      return nullptr;
    }
    conv->service = *s;
    conv->topic = *t;
  }
  auto path = detail::runtimeObjectPath("dde", foldDdeName(conv->service), "", nullptr);
  UniqueFd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path) std::memcpy(addr.sun_path, path->c_str(), path->native().size() + 1);
  if (!path || !fd || ::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    std::lock_guard lock(dde().m);
    inst->lastError = DMLERR_NO_CONV_ESTABLISHED;
    return nullptr;
  }
  timeval tv{kDdeSendTimeoutMs / 1000, 0};
  ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  conv->fd = std::move(fd);
  conv->owner = inst;
  Frame hello;
  hello.kind = Kind::Connect;
  hello.item = conv->topic;
  hello.data.assign(conv->service.begin(), conv->service.end());
  {
    std::lock_guard lock(dde().m);
    if (!sendFrame(*conv, hello)) {
      inst->lastError = DMLERR_NO_CONV_ESTABLISHED;
      return nullptr;
    }
    inst->conversations.push_back(conv);
    wakeIo(*inst);
  }
  const bool answered = waitRunning(inst, deadlineAfter(kDdeConnectWait),
                                    [&] { return conv->connectAnswer.has_value() || (conv->closed && inst->inbox.empty()); });
  std::lock_guard lock(dde().m);
  if (!answered || conv->closed || !*conv->connectAnswer) {
    closeConversation(*inst, conv);
    inst->lastError = DMLERR_NO_CONV_ESTABLISHED;
    return nullptr;
  }
  conv->handle = dde().nextConv++;
  dde().convs[conv->handle] = conv;
  return reinterpret_cast<HCONV>(conv->handle);
}

BOOL DdeDisconnect(HCONV handle) {
  std::lock_guard lock(dde().m);
  auto conv = findConversation(handle);
  auto inst = conv ? conv->owner.lock() : nullptr;
  if (!inst) return FALSE;
  if (inst->owner != currentThreadId()) {
    inst->lastError = DMLERR_DLL_USAGE;
    return FALSE;
  }
  closeConversation(*inst, conv);
  return TRUE;
}

HDDEDATA DdeClientTransaction(const BYTE* data, DWORD size, HCONV handle, HSZ item, UINT format, UINT type,
                              DWORD timeout, DWORD* result) {
  std::shared_ptr<DdeInstance> inst;
  std::shared_ptr<DdeConversation> conv;
  std::uint32_t number = 0;
  {
    std::lock_guard lock(dde().m);
    conv = findConversation(handle);
    inst = conv ? conv->owner.lock() : nullptr;
    if (!inst) return nullptr;  // no instance to hold the error: the handle is stale
    auto fail = [&](UINT code) -> HDDEDATA {
      inst->lastError = code;
      return nullptr;
    };
    if (inst->owner != currentThreadId()) return fail(DMLERR_DLL_USAGE);
    if (inst->inCallback) return fail(DMLERR_REENTRANCY);
    auto kind = transactionKind(type);
    auto itemText = item ? stringText(item) : std::optional<std::string>("");
    if (!kind || !itemText || timeout == 0xFFFFFFFFu || (!data && size) || size > kDdeMaxData)
      return fail(DMLERR_INVALIDPARAMETER);
    Frame frame;
    frame.kind = *kind;
    frame.format = static_cast<std::uint16_t>(format);
    frame.transaction = number = inst->nextTransaction++;
    frame.item = *itemText;
    if (size) frame.data.assign(data, data + size);
    inst->pending[number];
    if (!sendFrame(*conv, frame)) {
      inst->pending.erase(number);
      return fail(DMLERR_POSTMSG_FAILED);
    }
  }
  waitRunning(inst, deadlineAfter(timeout), [&] {
    return inst->pending[number].has_value() || (conv->closed && inst->inbox.empty());
  });
  std::lock_guard lock(dde().m);
  auto answer = std::move(inst->pending[number]);
  inst->pending.erase(number);  // a late answer finds no one waiting
  if (!answer) {
    inst->lastError = conv->closed ? DMLERR_NO_CONV_ESTABLISHED : timeoutCode(type);
    return nullptr;
  }
  if (result) *result = answer->status;
  if (type == XTYP_REQUEST) {
    if (!(answer->status & DDE_FACK)) {
      inst->lastError = DMLERR_NOTPROCESSED;
      return nullptr;
    }
    return addData(std::move(answer->data));
  }
  if (type == XTYP_ADVSTART || type == XTYP_ADVSTOP) {
    if (!(answer->status & DDE_FACK)) {
      inst->lastError = DMLERR_NOTPROCESSED;
      return nullptr;
    }
  } else if (!(answer->status & DDE_FACK)) {
    inst->lastError = (answer->status & DDE_FBUSY) ? DMLERR_BUSY : DMLERR_NOTPROCESSED;
    return nullptr;
  }
  return reinterpret_cast<HDDEDATA>(std::uintptr_t{1});
}

}  // namespace wf
