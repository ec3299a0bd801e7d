#include "wfprtmgr/wfprtmgr.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using ULONG = WFPrtObj::ULONG;
constexpr ULONG kNoFamily = 0xFFFFFFFF;

// A request object whose getPrinterType answers the family key first; the
// object itself keeps the Quick Setup kind as its printer type.
class ManagedPrtObj : public WFPrtObj {
 public:
  ManagedPrtObj(USHORT handle, short appId) : WFPrtObj(handle, kNoFamily, TRUE) {
    setBceAppId(appId);
    identify();
  }
  void identify() {
    ULONG family = kNoFamily;
    if (bidiGetPrinterFamily(&family) != 0) family = kNoFamily;
    ULONG type = 0;
    ULONG kind = kNoFamily;
    if (bidiGetPrinterType(&type, nullptr) == 0)
      kind = type;
    else if (family != kNoFamily)
      kind = 1;  // named its family in variable 0x00B2
    setPrinterType(kind);
    std::lock_guard lock(m_);
    familyKey_ = family;
  }
  void getPrinterType(ULONG* type, ULONG* family) override {
    WFPrtObj::getPrinterType(nullptr, family);
    std::lock_guard lock(m_);
    if (type) *type = familyKey_;
  }

 private:
  std::mutex m_;
  ULONG familyKey_ = kNoFamily;
};

// The broker's enumeration callback carries no context: the handles found
// by the calling thread's enumeration collect here.
thread_local std::vector<WFPrtObj::USHORT>* found = nullptr;

std::uint16_t collect(const PRTINFO* info) {
  if (info && found) found->push_back(info->handle);
  return 1;
}

}  // namespace

struct WFPrtMgr::State {
  std::mutex m;
  std::condition_variable changed;
  std::map<WFPrtObj::USHORT, ManagedPrtObj*> known;
  std::vector<std::unique_ptr<ManagedPrtObj>> objects;  // freed with the manager
  int running = 0;                                      // enumerations inside a call of this manager
  struct Job {
    NETADDRESS address;
    WFENUMPRINTERSPROC callback;
    std::uintptr_t data;
    WFPrtObj::BOOL tryAll;
  };
  std::deque<Job> jobs;
  bool stopping = false;
  std::thread worker;
};

namespace {

// Reports one handle: a new object (reason 0), or a known one initialised
// again between reasons 1 and 2. Returns the callback's last answer.
ULONG report(WFPrtMgr::State& s, short appId, WFPrtObj::USHORT handle, WFENUMPRINTERSPROC callback,
             std::uintptr_t data) {
  ManagedPrtObj* object = nullptr;
  {
    std::lock_guard lock(s.m);
    auto it = s.known.find(handle);
    if (it != s.known.end()) object = it->second;
  }
  if (object) {
    callback(object, data, WF_ENUM_REASON_REINIT_START);
    object->bidiInitialize(TRUE);
    object->identify();
    return callback(object, data, WF_ENUM_REASON_REINIT_DONE);
  }
  auto made = std::make_unique<ManagedPrtObj>(handle, appId);
  object = made.get();
  {
    std::lock_guard lock(s.m);
    s.objects.push_back(std::move(made));
    s.known[handle] = object;
  }
  return callback(object, data, WF_ENUM_REASON_NEW);
}

}  // namespace

WFPrtMgr::WFPrtMgr(short appId) : appId_(appId), state_(std::make_unique<State>()) {
  state_->worker = std::thread([s = state_.get(), appId] {
    std::unique_lock lock(s->m);
    for (;;) {
      s->changed.wait(lock, [s] { return s->stopping || !s->jobs.empty(); });
      if (s->jobs.empty()) return;
      State::Job job = s->jobs.front();
      s->jobs.pop_front();
      lock.unlock();
      std::vector<WFPrtObj::USHORT> handles;
      found = &handles;
      BceEnumSpecific(static_cast<std::uint16_t>(appId), &job.address, &collect, job.tryAll);
      found = nullptr;
      if (handles.empty())
        job.callback(nullptr, job.data, WF_ENUM_REASON_NEW);
      else
        report(*s, appId, handles.front(), job.callback, job.data);
      lock.lock();
      --s->running;
      s->changed.notify_all();
    }
  });
}

WFPrtMgr::~WFPrtMgr() {
  std::unique_lock lock(state_->m);
  state_->stopping = true;
  state_->changed.notify_all();
  // Requests already queued still get their one call.
  state_->changed.wait(lock, [s = state_.get()] { return s->running == 0; });
  lock.unlock();
  state_->worker.join();
}

WFPrtObj* WFPrtMgr::getPrinterObj(WFPrtObj::USHORT handle) {
  std::lock_guard lock(state_->m);
  auto it = state_->known.find(handle);
  return it == state_->known.end() ? nullptr : it->second;
}

void WFPrtMgr::removePrinter(WFPrtObj::USHORT handle) {
  std::lock_guard lock(state_->m);
  state_->known.erase(handle);
}

WFPrtObj::LONG WFPrtMgr::enumAllPrinters(WFENUMPRINTERSPROC callback, std::uintptr_t data) {
  {
    std::lock_guard lock(state_->m);
    ++state_->running;
  }
  std::vector<WFPrtObj::USHORT> handles;
  found = &handles;
  const WFPrtObj::LONG rc = BceEnumPrinters(static_cast<std::uint16_t>(appId_),
                                            BCE_NET_FORCE | BCE_NET_LOCAL | BCE_NET_ALL_BITS, &collect);
  found = nullptr;
  for (WFPrtObj::USHORT handle : handles) report(*state_, appId_, handle, callback, data);
  callback(nullptr, data, WF_ENUM_REASON_NEW);
  std::lock_guard lock(state_->m);
  --state_->running;
  state_->changed.notify_all();
  return rc;
}

WFPrtObj::LONG WFPrtMgr::enumSpecificPrinter(const NETADDRESS* address, WFENUMPRINTERSPROC callback,
                                             std::uintptr_t data, WFPrtObj::BOOL tryAll) {
  if (!callback) return 1;
  std::lock_guard lock(state_->m);
  state_->jobs.push_back({address ? *address : NETADDRESS{}, callback, data, tryAll});
  ++state_->running;
  state_->changed.notify_all();
  return 0;
}

void WFPrtMgr::holdEnumeration() {
  std::lock_guard lock(state_->m);
  ++state_->running;
}

void WFPrtMgr::releaseEnumeration() {
  std::lock_guard lock(state_->m);
  --state_->running;
  state_->changed.notify_all();
}
