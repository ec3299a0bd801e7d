#pragma once
// The primary's two named locks, held for a scope: "bce_MutGlobalIn" (the
// transport table and every call through it) before "bce_MutPrintersAccess"
// (the printer list). Both are recursive for their holder.
#include <cstdint>

#include "platform/clock.h"
#include "platform/sync.h"

namespace wf::bce {

class NamedLock {
 public:
  NamedLock(const NamedLock&) = delete;
  NamedLock& operator=(const NamedLock&) = delete;
  ~NamedLock() { unlock(); }
  bool held() const { return held_; }
  void unlock();
  // Waits at most `ms` system milliseconds; false when the lock was not had.
  bool relock(std::uint32_t ms = kInfinite);

 protected:
  NamedLock(SyncHandle mutex, std::uint32_t ms) : mutex_(mutex) { relock(ms); }

 private:
  SyncHandle mutex_;
  bool held_ = false;
};

class GlobalInLock : public NamedLock {
 public:
  explicit GlobalInLock(std::uint32_t ms = kInfinite);
};

class PrinterListLock : public NamedLock {
 public:
  explicit PrinterListLock(std::uint32_t ms = kInfinite);
};

}  // namespace wf::bce
