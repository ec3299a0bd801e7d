#include "platform/sync.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/clock.h"

namespace wf {
namespace {

struct Waiter;

struct Object {
  SyncKind kind = SyncKind::Mutex;
  std::string name;  // empty: unnamed
  std::uint32_t handles = 0;
  std::vector<Waiter*> waiters;  // in arrival order: the longest waiting is served first

  ThreadId owner = 0;  // mutex
  std::uint32_t depth = 0;
  bool abandoned = false;

  std::int32_t count = 0;  // semaphore
  std::int32_t maximum = 0;

  bool manualReset = false;  // event
  bool set = false;
};

struct Waiter {
  ThreadId thread = 0;
  std::vector<std::shared_ptr<Object>> objects;  // in the caller's index order
  std::condition_variable_any cv;
  bool done = false;
  std::uint32_t result = kWaitTimeout;
};

// One lock over every object: a wait for any of several objects must test
// and take them in one step.
struct Kernel {
  std::mutex m;
  std::unordered_map<SyncHandle, std::shared_ptr<Object>> handles;
  std::unordered_map<std::string, std::weak_ptr<Object>> names;
  SyncHandle next = 1;  // never reused, so a stale handle cannot reach a newer object
};

// Never destroyed: threads that end during process exit still give up their
// mutexes here.
Kernel& kernel() {
  static Kernel* k = new Kernel;
  return *k;
}

std::shared_ptr<Object> lookup(Kernel& k, SyncHandle h) {
  auto it = k.handles.find(h);
  return it == k.handles.end() ? nullptr : it->second;
}

std::shared_ptr<Object> lookup(Kernel& k, SyncHandle h, SyncKind kind) {
  auto o = lookup(k, h);
  return o && o->kind == kind ? o : nullptr;
}

bool available(const Object& o, ThreadId thread) {
  switch (o.kind) {
    case SyncKind::Mutex:
      return o.owner == 0 || o.owner == thread;
    case SyncKind::Semaphore:
      return o.count > 0;
    case SyncKind::Event:
      return o.set;
  }
  return false;
}

// Takes an available object for `thread`; true when it was an abandoned mutex.
bool take(Object& o, ThreadId thread) {
  switch (o.kind) {
    case SyncKind::Mutex:
      if (o.owner == thread) {
        ++o.depth;
        return false;
      }
      o.owner = thread;
      o.depth = 1;
      return std::exchange(o.abandoned, false);
    case SyncKind::Semaphore:
      --o.count;
      return false;
    case SyncKind::Event:
      if (!o.manualReset) o.set = false;
      return false;
  }
  return false;
}

void unregister(Waiter& w) {
  for (auto& o : w.objects) std::erase(o->waiters, &w);
}

// Takes the lowest-index available object of `w`, if any, and settles the wait.
bool tryComplete(Waiter& w) {
  for (std::size_t i = 0; i < w.objects.size(); ++i) {
    if (!available(*w.objects[i], w.thread)) continue;
    bool abandoned = take(*w.objects[i], w.thread);
    w.result = static_cast<std::uint32_t>(i) + (abandoned ? kWaitAbandoned0 : kWaitObject0);
    w.done = true;
    unregister(w);
    w.cv.notify_one();
    return true;
  }
  return false;
}

// Hands an object that has just become available to its waiters in order.
// A registered waiter has no available object, so only `o` can settle it.
void grant(Object& o) {
  const auto queue = o.waiters;
  for (Waiter* w : queue) {
    if (!available(o, w->thread)) break;
    tryComplete(*w);
  }
}

// The mutexes the calling thread owns. Those it still holds when it ends are
// abandoned: the next waiter gets them with an "abandoned" result.
struct OwnedMutexes {
  ThreadId thread = currentThreadId();
  std::vector<std::weak_ptr<Object>> held;
};

// The record lives on the heap and is reached through plain thread-local
// words, which stay readable after the thread's destructors have run: the
// main thread still takes and releases locks during exit() and library
// detach, after its thread-local objects are gone.
thread_local OwnedMutexes* ownedRecord = nullptr;
thread_local bool threadEnded = false;

struct OwnedMutexesAtThreadEnd {
  ~OwnedMutexesAtThreadEnd() {
    std::unique_ptr<OwnedMutexes> owned(std::exchange(ownedRecord, nullptr));
    threadEnded = true;
    auto& k = kernel();
    std::lock_guard lock(k.m);
    for (auto& weak : owned->held) {
      auto o = weak.lock();
      if (!o || o->owner != owned->thread) continue;
      o->owner = 0;
      o->depth = 0;
      o->abandoned = true;
      grant(*o);
    }
  }
};

// Null once the thread has ended: what it takes after that dies with the process.
OwnedMutexes* ownedMutexes() {
  if (!ownedRecord && !threadEnded) {
    [[maybe_unused]] thread_local OwnedMutexesAtThreadEnd atEnd;
    ownedRecord = new OwnedMutexes;
  }
  return ownedRecord;
}

void noteIfNewlyOwned(const std::shared_ptr<Object>& o) {
  if (o->kind != SyncKind::Mutex || o->depth != 1) return;
  if (OwnedMutexes* owned = ownedMutexes()) owned->held.push_back(o);
}

void noteReleased(const Object& o) {
  OwnedMutexes* owned = ownedRecord;
  if (!owned) return;
  std::erase_if(owned->held, [&](const std::weak_ptr<Object>& weak) {
    auto p = weak.lock();
    return !p || p.get() == &o;
  });
}

SyncHandle newHandle(Kernel& k, std::shared_ptr<Object> o) {
  ++o->handles;
  SyncHandle h = k.next++;
  k.handles.emplace(h, std::move(o));
  return h;
}

template <typename Init>
SyncHandle createObject(SyncKind kind, std::string_view name, bool* existed, Init init) {
  if (existed) *existed = false;
  if (name.size() > kMaxSyncName) return kNoSyncHandle;
  auto& k = kernel();
  std::lock_guard lock(k.m);
  if (!name.empty()) {
    if (auto it = k.names.find(std::string(name)); it != k.names.end()) {
      auto o = it->second.lock();
      if (o->kind != kind) return kNoSyncHandle;
      if (existed) *existed = true;
      return newHandle(k, std::move(o));
    }
  }
  auto o = std::make_shared<Object>();
  o->kind = kind;
  o->name = name;
  init(*o);
  if (!name.empty()) k.names.emplace(o->name, o);
  if (o->kind == SyncKind::Mutex && o->owner != 0) noteIfNewlyOwned(o);
  return newHandle(k, std::move(o));
}

}  // namespace

SyncHandle createMutex(std::string_view name, bool initiallyOwned, bool* existed) {
  return createObject(SyncKind::Mutex, name, existed, [&](Object& o) {
    if (initiallyOwned) take(o, currentThreadId());
  });
}

SyncHandle createSemaphore(std::string_view name, std::int32_t initialCount, std::int32_t maximumCount,
                           bool* existed) {
  if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
    if (existed) *existed = false;
    return kNoSyncHandle;
  }
  return createObject(SyncKind::Semaphore, name, existed, [&](Object& o) {
    o.count = initialCount;
    o.maximum = maximumCount;
  });
}

SyncHandle createEvent(std::string_view name, bool manualReset, bool initiallySet, bool* existed) {
  return createObject(SyncKind::Event, name, existed, [&](Object& o) {
    o.manualReset = manualReset;
    o.set = initiallySet;
  });
}

SyncHandle openSyncObject(SyncKind kind, std::string_view name) {
  if (name.empty()) return kNoSyncHandle;
  auto& k = kernel();
  std::lock_guard lock(k.m);
  auto it = k.names.find(std::string(name));
  if (it == k.names.end()) return kNoSyncHandle;
  auto o = it->second.lock();
  if (o->kind != kind) return kNoSyncHandle;
  return newHandle(k, std::move(o));
}

bool closeSyncHandle(SyncHandle handle) {
  auto& k = kernel();
  std::lock_guard lock(k.m);
  auto it = k.handles.find(handle);
  if (it == k.handles.end()) return false;
  auto o = std::move(it->second);
  k.handles.erase(it);
  // The name goes with the last handle; a wait still in progress keeps the object itself.
  if (--o->handles == 0 && !o->name.empty()) k.names.erase(o->name);
  return true;
}

std::uint32_t waitForAny(std::span<const SyncHandle> handles, std::uint32_t ms, std::stop_token stop) {
  if (handles.empty() || handles.size() > kMaxWaitObjects) return kWaitFailed;
  auto& k = kernel();
  std::unique_lock lock(k.m);
  Waiter w;
  w.thread = currentThreadId();
  for (SyncHandle h : handles) {
    auto o = lookup(k, h);
    if (!o) return kWaitFailed;
    // The same object twice would make the result's index ambiguous.
    for (auto& seen : w.objects) {
      if (seen == o) return kWaitFailed;
    }
    w.objects.push_back(std::move(o));
  }
  if (!tryComplete(w)) {
    if (ms == 0) return kWaitTimeout;
    if (stop.stop_requested()) return kWaitStopped;
    for (auto& o : w.objects) o->waiters.push_back(&w);
    auto settled = [&] { return w.done; };
    if (ms == kInfinite) {
      w.cv.wait(lock, stop, settled);
    } else {
      w.cv.wait_until(lock, stop, deadlineAfter(ms), settled);
    }
    // A wait that was settled has taken its object, so it reports it even if stopped meanwhile.
    if (!w.done) {
      unregister(w);
      return stop.stop_requested() ? kWaitStopped : kWaitTimeout;
    }
  }
  std::uint32_t index = w.result & ~kWaitAbandoned0;
  noteIfNewlyOwned(w.objects[index]);
  return w.result;
}

std::uint32_t waitForObject(SyncHandle handle, std::uint32_t ms, std::stop_token stop) {
  return waitForAny(std::span(&handle, 1), ms, std::move(stop));
}

bool releaseMutex(SyncHandle mutex) {
  auto& k = kernel();
  std::lock_guard lock(k.m);
  auto o = lookup(k, mutex, SyncKind::Mutex);
  if (!o || o->owner != currentThreadId()) return false;
  if (--o->depth == 0) {
    o->owner = 0;
    noteReleased(*o);
    grant(*o);
  }
  return true;
}

bool releaseSemaphore(SyncHandle semaphore, std::int32_t count, std::int32_t* previousCount) {
  auto& k = kernel();
  std::lock_guard lock(k.m);
  auto o = lookup(k, semaphore, SyncKind::Semaphore);
  if (!o || count <= 0 || count > o->maximum - o->count) return false;
  if (previousCount) *previousCount = o->count;
  o->count += count;
  grant(*o);
  return true;
}

namespace {

template <typename Change>
bool changeEvent(SyncHandle event, Change change) {
  auto& k = kernel();
  std::lock_guard lock(k.m);
  auto o = lookup(k, event, SyncKind::Event);
  if (!o) return false;
  change(*o);
  return true;
}

}  // namespace

bool setEvent(SyncHandle event) {
  return changeEvent(event, [](Object& o) {
    o.set = true;
    grant(o);
  });
}

bool resetEvent(SyncHandle event) {
  return changeEvent(event, [](Object& o) { o.set = false; });
}

bool pulseEvent(SyncHandle event) {
  return changeEvent(event, [](Object& o) {
    o.set = true;
    grant(o);
    o.set = false;
  });
}

void CriticalSection::enter() {
  const ThreadId me = currentThreadId();
  std::unique_lock lock(m_);
  if (owner_ != me) {
    cv_.wait(lock, [&] { return owner_ == 0; });
    owner_ = me;
  }
  ++depth_;
}

bool CriticalSection::tryEnter() {
  const ThreadId me = currentThreadId();
  std::lock_guard lock(m_);
  if (owner_ != 0 && owner_ != me) return false;
  owner_ = me;
  ++depth_;
  return true;
}

bool CriticalSection::leave() {
  std::lock_guard lock(m_);
  if (owner_ != currentThreadId()) return false;
  if (--depth_ == 0) {
    owner_ = 0;
    cv_.notify_one();
  }
  return true;
}

}  // namespace wf
