#include "platform/cross_process_mutex.h"

#include "platform/clock.h"
#include "platform/runtime_dir.h"
#include "platform/sync.h"

namespace wf {
namespace {

// Keeps letters, digits, '.', '_' and '-'; everything else (blanks,
// backslashes, slashes, '%') becomes %XX, so no name can leave the directory
// and distinct names stay distinct.
std::string escapeName(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                 c == '_' || c == '-';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

std::optional<FileLock> openLockFile(const std::string& relative, std::string* error) {
  auto path = runtimePath(relative, error);
  if (!path) return std::nullopt;
  return FileLock::open(*path, error);
}

}  // namespace

std::optional<CrossProcessMutex> CrossProcessMutex::open(std::string_view name, bool* existed, std::string* error) {
  if (existed) *existed = false;
  if (name.empty() || name.size() > kMaxSyncName) {
    if (error) *error = "a cross-process mutex needs a name of 1 to " + std::to_string(kMaxSyncName) + " bytes";
    return std::nullopt;
  }
  auto dir = runtimeDir(error);
  if (!dir || !ensurePrivateDir(*dir / "mutex", true, error)) return std::nullopt;
  // Fixed prefixes keep the two files of one name apart from those of every other name.
  const std::string escaped = escapeName(name);
  auto presence = openLockFile("mutex/p-" + escaped, error);
  if (!presence) return std::nullopt;
  auto owner = openLockFile("mutex/o-" + escaped, error);
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
