#include "peer_transport.h"

#include <poll.h>

#include <cstring>

#include "platform/clock.h"
#include "platform/fd_wait.h"
#include "platform/message_queue.h"
#include "platform/net_connections.h"
#include "platform/netdde.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/window_messages.h"

namespace wf::peer {
namespace {

// Waits of the request block (system ms).
constexpr std::uint32_t kBlockWait = 300'000;
constexpr std::uint32_t kReplyWait = 25'000;
constexpr std::uint32_t kReadyWait = 15'000;
constexpr std::uint32_t kReadyStep = 50;
constexpr std::uint32_t kWorkerRound = 500;
constexpr std::uint32_t kNetDdeStartWait = 600;
// How long detach waits for a worker it stops.
constexpr std::uint32_t kWorkerJoin = 25'000;
// Posted to the worker with each request, so it wakes at once.
constexpr std::uint32_t kPeerWake = WM_USER + 0x7F0;

PeerTransport* gPeerTransport = nullptr;  // the DDE callback's way in

HDDEDATA peerDdeCallback(UINT type, UINT, HCONV conv, HSZ, HSZ, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
  return gPeerTransport ? gPeerTransport->ddeCallback(type, conv, data) : nullptr;
}

}  // namespace

std::unique_ptr<PeerTransport> PeerTransport::start() {
  std::unique_ptr<PeerTransport> t(new PeerTransport);
  // Process-local names: only the broker's primary loads transports.
  t->semDde_ = createSemaphore("CorPeer_SemDDE", 0, 1);
  t->semReturn_ = createSemaphore("CorPeer_SemReturn2xyz", 0, 1);
  t->semWork_ = createSemaphore("CorPeer_SemWork", 1, 1);
  if (!t->semDde_ || !t->semReturn_ || !t->semWork_) return nullptr;  // the destructor closes what was made
  t->trace_.open();
  gPeerTransport = t.get();
  PeerTransport* self = t.get();
  t->worker_ = Thread("corpeer-worker", [self](std::stop_token stop) { self->work(stop); });
  return t;
}

PeerTransport::~PeerTransport() {
  if (worker_.joinable()) {
    worker_.requestStop();  // the worker shuts down as function 15 does
    worker_.joinFor(kWorkerJoin);
  }
  for (SyncHandle h : {semDde_, semReturn_, semWork_}) {
    if (h) closeSyncHandle(h);
  }
  if (gPeerTransport == this) gPeerTransport = nullptr;
}

// ---- posting ----

std::shared_ptr<PeerRequest> PeerTransport::post(std::shared_ptr<PeerRequest> request, std::uint32_t waitMs,
                                                  const char* failLine) {
  if (!ddeInit_) {
    trace_.line(0, "%s", failLine);
    return nullptr;
  }
  const std::stop_token ended = workerEnded_.get_token();
  const std::uint32_t got = waitForObject(semWork_, kBlockWait, ended);
  if (got != kWaitObject0) {
    if (request->function == kFnEnumerate) trace_.line(0, got == kWaitTimeout ? "---> WAIT_TIMEOUT" : "---> WAIT_FAILED");
    trace_.line(0, "%s", failLine);
    return nullptr;
  }
  if (!ddeInit_) {
    releaseSemaphore(semWork_, 1);
    trace_.line(0, "%s", failLine);
    return nullptr;
  }
  {
    std::lock_guard lock(blockMutex_);
    block_ = request;
  }
  releaseSemaphore(semDde_, 1);
  postThreadMessage(workerThread_, kPeerWake, 0, 0);
  const auto deadline = deadlineAfter(waitMs);
  for (;;) {
    {
      std::lock_guard lock(request->mutex);
      if (request->done) break;
    }
    const int left = msUntil(deadline);
    // A late completion of an abandoned request wakes us too: look again.
    const std::uint32_t r =
        waitForObject(semReturn_, left < 0 ? kInfinite : static_cast<std::uint32_t>(left / timeScale()), ended);
    if (r == kWaitTimeout || r == kWaitStopped || r == kWaitFailed) break;
  }
  bool done;
  {
    std::lock_guard lock(request->mutex);
    done = request->done;
    if (!done) request->abandoned = true;
  }
  releaseSemaphore(semWork_, 1);
  return done ? request : nullptr;
}

bool PeerTransport::waitReady() {
  const auto deadline = deadlineAfter(kReadyWait);
  while (!ready_) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    sleepFor(kReadyStep);
  }
  return true;
}

// ---- the worker ----

void PeerTransport::work(std::stop_token stop) {
  workerThread_ = currentThreadId();
  ddeInit_ = true;
  {
    std::lock_guard lock(hostsMutex_);
    hosts_.clear();
  }
  {
    std::lock_guard lock(eventMutex_);
    eventProc_ = nullptr;
  }
  nextPortId_ = 1;
  bool serving = DdeInitializeA(&instance_, peerDdeCallback,
                                CBF_FAIL_ALLSVRXACTIONS | CBF_SKIP_CONNECT_CONFIRMS | CBF_SKIP_REGISTRATIONS |
                                    CBF_SKIP_UNREGISTRATIONS,
                                0) == DMLERR_NO_ERROR;
  if (!serving) instance_ = 0;
  if (serving) {
    // Started whether or not it runs; our share of the users lock keeps it up.
    netDdeUsers_ = openNetDdeUsersLock();
    if (netDdeUsers_ && !netDdeUsers_->lockShared(kNetDdeUsersWait)) netDdeUsers_.reset();
    winExec(kNetDdeProgram, SW_SHOWNA);
    sleepFor(kNetDdeStartWait, stop);
    serving = findWindow(kNetDdeWindowClass) != 0;
  }
  // Cleared before ready: a post in between must not wait for a worker that will not serve.
  if (!serving) ddeInit_ = false;
  ready_ = true;
  {
    netconn::netConnectionsFresh();  // writes the workstation's names where they are read
    HKEY key = nullptr;
    char name[25] = {};
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\VxD\\VNETSUP", 0, KEY_QUERY_VALUE,
                      &key) == ERROR_SUCCESS) {
      DWORD size = sizeof name - 1;
      if (RegQueryValueExA(key, "Workgroup", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size) == ERROR_SUCCESS)
        ownWorkgroup_ = std::string(name, strnlen(name, size));
      std::memset(name, 0, sizeof name);
      size = sizeof name - 1;
      if (RegQueryValueExA(key, "ComputerName", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size) ==
          ERROR_SUCCESS)
        ownComputer_ = std::string(name, strnlen(name, size));
      for (char& c : ownComputer_) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      }
      RegCloseKey(key);
    }
  }
  if (serving) serve(stop);
  endWorker();
}

void PeerTransport::serve(std::stop_token stop) {
  while (!stopServing_) {
    if (stop.stop_requested()) {
      shutDownHosts();  // detach stops us as function 15 does
      break;
    }
    waitFd(messageQueueFd(), POLLIN, kWorkerRound, stop);
    Message m;
    while (peekMessage(m, PeekMode::Remove)) {
      if (m.hwnd) dispatchMessage(m);
    }
    if (waitForObject(semDde_, 0) != kWaitObject0) continue;
    std::shared_ptr<PeerRequest> request;
    {
      std::lock_guard lock(blockMutex_);
      request = std::move(block_);
    }
    if (!request) continue;
    {
      std::lock_guard lock(request->mutex);
      if (request->abandoned) continue;  // its caller gave up before we began
      request->taken = true;
    }
    trace_.line(1, "iFunctionToCall = %d", static_cast<int>(request->function));
    dispatch(*request);
    {
      std::lock_guard lock(request->mutex);
      request->done = true;
    }
    releaseSemaphore(semReturn_, 1);
    trace_.line(1, "-->Switch ends");
  }
}

void PeerTransport::dispatch(PeerRequest& r) {
  switch (r.function) {
    case kFnEnumerate:
      r.result = enumerateAll(r.enumProc);
      break;
    case kFnOpen:
      r.result = capture(r.portId, r.dataProc);
      break;
    case kFnClose:
      release(r.portId);
      break;
    case kFnWrite:
      writePort(r);
      break;
    case kFnShutDown:
      shutDownHosts();
      stopServing_ = true;
      break;
    case kFnEnumSpecific: {
      std::string name = r.pcName;
      for (char& c : name) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      }
      const std::string bare = name.starts_with("\\\\") ? name.substr(2) : name;
      if (bare == ownComputer_) {
        trace_.line(1, "EnumSpecific pc = %s. == Current PC name!!\n", name.c_str());
        r.result = 0;
        break;
      }
      refreshRedirections();
      r.result = connect({name.starts_with("\\\\") ? name : "\\\\" + name, r.enumProc, r.portId, ""});
      break;
    }
    case kFnSpecificAddr:
      r.result = specificAddress(r);
      break;
    default:
      r.result = 1;
      break;
  }
}

void PeerTransport::endWorker() {
  if (instance_) {
    ddeInit_ = false;
    DdeUninitialize(instance_);
    instance_ = 0;
  }
  ddeInit_ = false;
  netDdeUsers_.reset();
  workerEnded_.request_stop();
}

// ---- entry points ----

std::int32_t PeerTransport::enumerate(NETENUMPROC proc) {
  trace_.line(1, "Enter NetEnumerate()");
  if (!waitReady()) return NET_FAIL;
  if (!ddeInit_) trace_.line(0, "---> gbDdeInit == FALSE ");
  auto request = std::make_shared<PeerRequest>();
  request->function = kFnEnumerate;
  request->enumProc = proc;
  auto answered = post(request, kInfinite, "Enum failed to get semaphore");
  if (!answered) {
    trace_.line(0, "--> Exit NetEnumerate() FAILED");
    return NET_FAIL;
  }
  return static_cast<std::int32_t>(answered->result);
}

std::int32_t PeerTransport::specificAddress(std::uint16_t portId, NETADDRESS* address) {
  trace_.line(1, "Enter NetGetSpecificAddr()");
  auto request = std::make_shared<PeerRequest>();
  request->function = kFnSpecificAddr;
  request->portId = portId;
  auto answered = post(request, kInfinite, "GetSpecAddr failed to get semaphore");
  if (!answered || answered->result != 0 || !address) {
    trace_.line(0, "GetSpecificAddress failed ");
    trace_.line(0, "NetFail was the return code");
    return NET_FAIL;
  }
  constexpr std::size_t kNameField = 80;
  auto* peer = address->peer;
  std::memset(peer, 0, kNameField);
  std::memcpy(peer, answered->pcName.data(), std::min(answered->pcName.size(), kNameField - 1));
  std::memcpy(peer + kNameField, &answered->portId, sizeof answered->portId);
  return NET_OKAY;
}

std::int32_t PeerTransport::enumSpecific(const NETADDRESS* address, NETENUMPROC proc) {
  trace_.line(1, "Enter NetEnumSpecific()");
  if (!address || !waitReady()) return NET_FAIL;
  auto request = std::make_shared<PeerRequest>();
  request->function = kFnEnumSpecific;
  request->enumProc = proc;
  constexpr std::size_t kNameField = 80;
  std::memcpy(&request->portId, address->peer + kNameField, sizeof request->portId);
  const char* name = reinterpret_cast<const char*>(address->peer);
  request->pcName.assign(name, strnlen(name, 31));
  auto answered = post(request, kInfinite, "EnumSpec failed to get semaphore");
  return answered ? static_cast<std::int32_t>(answered->result) : NET_FAIL;
}

std::int32_t PeerTransport::open(std::uint16_t portId, NETDATAPROC proc) {
  trace_.line(1, "Enter NetOpen()");
  auto request = std::make_shared<PeerRequest>();
  request->function = kFnOpen;
  request->portId = portId;
  request->dataProc = proc;
  auto answered = post(request, kReplyWait, "Open failed to get semaphore");
  if (!answered) return NET_FAIL;
  return static_cast<std::int32_t>(answered->result);
}

void PeerTransport::close(std::uint16_t portId) {
  trace_.line(1, "Enter NetClose()");
  auto request = std::make_shared<PeerRequest>();
  request->function = kFnClose;
  request->portId = portId;
  post(request, kReplyWait, "Close failed to get semaphore");
}

std::int32_t PeerTransport::write(std::uint16_t portId, const std::uint8_t* data, std::uint32_t length,
                                  std::uint8_t* reply, std::uint32_t* replyLength, std::uint16_t command,
                                  std::uint16_t* status) {
  trace_.line(1, "Enter NetWrite()");
  switch (command) {
    case 0x33:
    case 0x3C:
    case 0x44:
    case 0x45:
    case 0x5B:
      trace_.line(1, "Return validly for invalid commands!");
      if (status) *status = NET_STATUS_COMPLETE;
      return static_cast<std::int32_t>(length);
    default:
      break;
  }
  auto request = std::make_shared<PeerRequest>();
  request->function = kFnWrite;
  request->portId = portId;
  request->command = command;
  // The status word tells how many bytes to send, from the end of the data.
  const std::uint32_t n = status ? *status : 0;
  if (data && length) {
    const std::uint32_t take = (n >= 1 && n <= length) ? n : length;
    request->data.assign(data + (length - take), data + length);
  }
  request->hasReply = reply && replyLength;
  request->replyCapacity = request->hasReply ? *replyLength : 0;
  auto answered = post(request, kReplyWait, "Write failed to get semaphore");
  if (!answered) {
    trace_.line(0, "[CorPeer:Write] Timed out waiting for response");
    return 0;
  }
  if (status) *status = answered->status;
  if (replyLength && answered->replyLengthSet) *replyLength = answered->replyLength;
  if (reply && !answered->reply.empty()) std::memcpy(reply, answered->reply.data(), answered->reply.size());
  return static_cast<std::int32_t>(answered->result);
}

void PeerTransport::shutDown() {
  trace_.line(1, "Enter NetShutDown()");
  auto request = std::make_shared<PeerRequest>();
  request->function = kFnShutDown;
  post(request, kReplyWait, "Shutdown failed to get semaphore");
}

std::int32_t PeerTransport::registerCallback(NETEVENTPROC proc) {
  trace_.line(1, "Enter NetRegisterCallback()");
  if (!waitReady()) return NET_FAIL;
  std::lock_guard lock(eventMutex_);
  eventProc_ = proc;
  return NET_OKAY;
}

void PeerTransport::unregisterCallback() {
  trace_.line(1, "Enter NetUnregisterCallback()");
  if (!waitReady()) return;
  std::lock_guard lock(eventMutex_);
  eventProc_ = nullptr;
}

}  // namespace wf::peer
