#pragma once
// Waitable objects of this process: mutexes, semaphores and events, named or
// unnamed, reached through handles and shared by name. An object lives while
// any handle refers to it (or a wait is using it). Names are case-sensitive
// and one namespace holds every kind. Objects that must hold across processes
// are cross_process_mutex.h's, not these.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <stop_token>
#include <string_view>

#include "platform/thread.h"

namespace wf {

using SyncHandle = std::uintptr_t;
constexpr SyncHandle kNoSyncHandle = 0;

enum class SyncKind { Mutex, Semaphore, Event };

// Wait results, with the original platform's values.
constexpr std::uint32_t kWaitObject0 = 0x00;     // + index of the object taken
constexpr std::uint32_t kWaitAbandoned0 = 0x80;  // + index: a mutex whose owner ended holding it
constexpr std::uint32_t kWaitStopped = 0xC0;     // the wait's stop token was requested
constexpr std::uint32_t kWaitTimeout = 0x102;
constexpr std::uint32_t kWaitFailed = 0xFFFFFFFF;

// At most this many handles in one waitForAny.
constexpr std::size_t kMaxWaitObjects = 64;

// Longest object name.
constexpr std::size_t kMaxSyncName = 260;

// Create-or-open. An empty name makes an unnamed object. When the name exists
// already the existing object is opened (the other arguments are then
// ignored) and *existed is set; a name held by another kind fails. Failure
// returns kNoSyncHandle.
SyncHandle createMutex(std::string_view name, bool initiallyOwned, bool* existed = nullptr);
SyncHandle createSemaphore(std::string_view name, std::int32_t initialCount, std::int32_t maximumCount,
                           bool* existed = nullptr);
SyncHandle createEvent(std::string_view name, bool manualReset, bool initiallySet, bool* existed = nullptr);

// Opens an existing named object of `kind`; kNoSyncHandle when there is none.
SyncHandle openSyncObject(SyncKind kind, std::string_view name);

// Drops one reference. False for a handle that is not open.
bool closeSyncHandle(SyncHandle handle);

// Waits up to `ms` system milliseconds (kInfinite: no limit, 0: just test)
// until the object is signalled, and takes it: one semaphore unit, the mutex
// (recursively for its owner), an auto-reset event's signal.
std::uint32_t waitForObject(SyncHandle handle, std::uint32_t ms, std::stop_token stop = {});

// As waitForObject for whichever of `handles` is signalled first; when
// several are, the lowest index is taken and only that one.
std::uint32_t waitForAny(std::span<const SyncHandle> handles, std::uint32_t ms, std::stop_token stop = {});

// Fails when the calling thread does not own the mutex.
bool releaseMutex(SyncHandle mutex);

// Adds `count` (> 0) units. Fails, changing nothing, past the maximum.
bool releaseSemaphore(SyncHandle semaphore, std::int32_t count, std::int32_t* previousCount = nullptr);

bool setEvent(SyncHandle event);
bool resetEvent(SyncHandle event);
// Releases the threads waiting now (one for an auto-reset event) and leaves
// the event reset.
bool pulseEvent(SyncHandle event);

// A recursive lock of this process, without a handle or a name.
class CriticalSection {
 public:
  CriticalSection() = default;
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void enter();
  bool tryEnter();
  // False, changing nothing, when the calling thread is not inside.
  bool leave();

 private:
  std::mutex m_;
  std::condition_variable cv_;
  ThreadId owner_ = 0;
  std::uint32_t depth_ = 0;
};

}  // namespace wf
