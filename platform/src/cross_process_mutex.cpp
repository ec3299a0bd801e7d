#include "platform/cross_process_mutex.h"

#include "ipc_name.h"
#include "platform/clock.h"
#include "platform/runtime_dir.h"
#include "platform/sync.h"

namespace wf {
namespace {

std::optional<FileLock> openLockFile(std::string_view name, std::string_view suffix, std::string* error) {
  auto path = detail::runtimeObjectPath("mutex", name, suffix, error);
  if (!path) return std::nullopt;
  return FileLock::open(*path, error);
}

}  // namespace

std::optional<CrossProcessMutex> CrossProcessMutex::open(std::string_view name, bool* existed,
                                                         std::string* error) {
  if (existed) *existed = false;
  if (name.empty() || name.size() > kMaxSyncName) {
    if (error)
      *error = "a cross-process mutex needs a name of 1 to " + std::to_string(kMaxSyncName) + " bytes";
    return std::nullopt;
  }
  // Distinct suffixes keep the two files of one name apart from those of every other name.
  auto presence = openLockFile(name, ".presence", error);
  if (!presence) return std::nullopt;
  auto owner = openLockFile(name, ".owner", error);
  if (!owner) return std::nullopt;

  // Whoever can lock the presence file exclusively is its only user, hence
  // the creator; it then turns that lock into a share like everyone else's.
  // Others wait for that turn without a time limit: it is two system calls
  // away, and the kernel ends it if the creator dies in between.
  bool created = presence->tryExclusive() && presence->tryShared();
  if (!created && !presence->lockShared(kInfinite)) {
    if (error) *error = "cannot join the cross-process mutex \"" + std::string(name) + "\"";
    return std::nullopt;
  }
  if (existed) *existed = !created;
  return CrossProcessMutex(std::move(*presence), std::move(*owner));
}

bool CrossProcessMutex::tryAcquire() {
  if (!owned_) owned_ = owner_.tryExclusive();
  return owned_;
}

bool CrossProcessMutex::release() {
  if (!owned_) return false;
  owner_.unlock();
  owned_ = false;
  return true;
}

}  // namespace wf
