#include "named_lock.h"

namespace wf::bce {

namespace {
// Opened once: the handle keeps the primary's object alive past its unload.
SyncHandle opened(const char* name) {
  return openSyncObject(SyncKind::Mutex, name);
}
}  // namespace

void NamedLock::unlock() {
  if (held_) releaseMutex(mutex_);
  held_ = false;
}

bool NamedLock::relock(std::uint32_t ms) {
  if (held_) return true;
  const std::uint32_t r = waitForObject(mutex_, ms);
  held_ = r == kWaitObject0 || r == kWaitAbandoned0;
  return held_;
}

GlobalInLock::GlobalInLock(std::uint32_t ms)
    : NamedLock(
          [] {
            static const SyncHandle h = opened("bce_MutGlobalIn");
            return h;
          }(),
          ms) {}

PrinterListLock::PrinterListLock(std::uint32_t ms)
    : NamedLock(
          [] {
            static const SyncHandle h = opened("bce_MutPrintersAccess");
            return h;
          }(),
          ms) {}

}  // namespace wf::bce
