#include "wfprtmgr/wfprtmgr.h"

#include "wfpo_tid/wfpo_tid.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using ULONG = WFPrtObj::ULONG;
constexpr ULONG kNoFamily = 0xFFFFFFFF;

// Asked of every managed object, whatever class it is made of.
class ManagedObject {
 public:
  virtual ~ManagedObject() = default;
  virtual WFPrtObj* object() = 0;
  virtual void identify() = 0;
};

// A request object whose getPrinterType answers the family key first; the
// object itself keeps the Quick Setup kind as its printer type. `Base` is
// the class the printer's family needs.
template <typename Base>
class ManagedPrtObj : public Base, public ManagedObject {
 public:
  ManagedPrtObj(USHORT handle, short appId) : Base(handle, kNoFamily, TRUE) {
    this->setBceAppId(appId);
    identify();
  }
  // The same printer as `identified`, taken over without asking it again.
  template <typename Other>
  explicit ManagedPrtObj(const ManagedPrtObj<Other>& identified) {
    WFPrtObj::operator=(identified);
    familyKey_ = identified.familyKey();
  }
  ULONG familyKey() const {
    std::lock_guard lock(m_);
    return familyKey_;
  }
  WFPrtObj* object() override { return this; }
  void identify() override {
    ULONG family = kNoFamily;
    if (this->bidiGetPrinterFamily(&family) != 0) family = kNoFamily;
    ULONG type = 0;
    ULONG kind = kNoFamily;
    if (this->bidiGetPrinterType(&type, nullptr) == 0)
      kind = type;
    else if (family != kNoFamily)
      kind = 1;  // named its family in variable 0x00B2
    this->setPrinterType(kind);
    std::lock_guard lock(m_);
    familyKey_ = family;
  }
  void getPrinterType(ULONG* type, ULONG* family) override {
    Base::getPrinterType(nullptr, family);
    std::lock_guard lock(m_);
    if (type) *type = familyKey_;
  }

 private:
  mutable std::mutex m_;
  ULONG familyKey_ = kNoFamily;
};

// Families whose modules use the Tidewater settings calls.
bool isTidewater(ULONG family) {
  return family == 3 || family == 8;
}

// The printer's family decides the object's class, so it is asked first.
std::unique_ptr<ManagedObject> makeObject(USHORT handle, short appId) {
  auto plain = std::make_unique<ManagedPrtObj<WFPrtObj>>(handle, appId);
  if (!isTidewater(plain->familyKey())) return plain;
  return std::make_unique<ManagedPrtObj<WFTidewaterPrtObj>>(*plain);
}

// The broker's enumeration callback carries no context: the handles found
// by the calling thread's enumeration collect here.
thread_local std::vector<WFPrtObj::USHORT>* found = nullptr;

std::uint16_t collect(const PRTINFO* info) {
  if (info && found) found->push_back(info->handle);
  return 1;
}

}  // namespace

struct WFPrtMgr::State {
  std::atomic<short> appId{-1};  // changes when the application registers again
  std::mutex m;
  std::condition_variable changed;
  std::map<WFPrtObj::USHORT, ManagedObject*> known;
  std::vector<std::unique_ptr<ManagedObject>> objects;  // freed with the manager
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
  ManagedObject* object = nullptr;
  {
    std::lock_guard lock(s.m);
    auto it = s.known.find(handle);
    if (it != s.known.end()) object = it->second;
  }
  if (object) {
    WFPrtObj* printer = object->object();
    callback(printer, data, WF_ENUM_REASON_REINIT_START);
    printer->bidiInitialize(TRUE);
    object->identify();
    return callback(printer, data, WF_ENUM_REASON_REINIT_DONE);
  }
  auto made = makeObject(handle, appId);
  object = made.get();
  {
    std::lock_guard lock(s.m);
    s.objects.push_back(std::move(made));
    s.known[handle] = object;
  }
  return callback(object->object(), data, WF_ENUM_REASON_NEW);
}

}  // namespace

WFPrtMgr::WFPrtMgr(short appId) : state_(std::make_unique<State>()) {
  state_->appId = appId;
  state_->worker = std::thread([s = state_.get()] {
    std::unique_lock lock(s->m);
    for (;;) {
      s->changed.wait(lock, [s] { return s->stopping || !s->jobs.empty(); });
      if (s->jobs.empty()) return;
      State::Job job = s->jobs.front();
      s->jobs.pop_front();
      lock.unlock();
      std::vector<WFPrtObj::USHORT> handles;
      found = &handles;
      const short appId = s->appId;
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

short WFPrtMgr::getBceAppId() const {
  return state_->appId;
}

void WFPrtMgr::setBceAppId(short appId) {
  std::lock_guard lock(state_->m);
  state_->appId = appId;
  for (auto& object : state_->objects) object->object()->setBceAppId(appId);
}

WFPrtObj* WFPrtMgr::getPrinterObj(WFPrtObj::USHORT handle) {
  std::lock_guard lock(state_->m);
  auto it = state_->known.find(handle);
  return it == state_->known.end() ? nullptr : it->second->object();
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
  const short appId = state_->appId;
  const WFPrtObj::LONG rc = BceEnumPrinters(static_cast<std::uint16_t>(appId),
                                            BCE_NET_FORCE | BCE_NET_LOCAL | BCE_NET_ALL_BITS, &collect);
  found = nullptr;
  for (WFPrtObj::USHORT handle : handles) report(*state_, appId, handle, callback, data);
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
