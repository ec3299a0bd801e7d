#include "sound_player.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace wf::fw {
namespace {

std::string findOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    std::filesystem::path candidate = std::filesystem::path(dir.empty() ? "." : dir) / name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return {};
}

}  // namespace

PlayerSound::PlayerSound(std::string player)
    : player_(player.empty() ? findOnPath("aplay") : std::move(player)) {}

PlayerSound::~PlayerSound() {
  std::lock_guard lock(mutex_);
  stopLocked();
}

UINT PlayerSound::deviceCount() {
  return !player_.empty() && ::access(player_.c_str(), X_OK) == 0 ? 1 : 0;
}

BOOL PlayerSound::tone(DWORD, DWORD) {
  return FALSE;
}

bool PlayerSound::playingLocked() {
  if (child_ <= 0) return false;
  int status = 0;
  if (::waitpid(child_, &status, WNOHANG) == 0) return true;
  child_ = -1;  // ended and reaped (or reaped by someone else)
  return false;
}

void PlayerSound::stopLocked() {
  if (!playingLocked()) return;
  ::kill(child_, SIGKILL);
  int status = 0;
  ::waitpid(child_, &status, 0);
  child_ = -1;
}

BOOL PlayerSound::play(const std::string& file, DWORD flags) {
  std::lock_guard lock(mutex_);
  if (file.empty() || (flags & SND_PURGE)) {
    stopLocked();
    return TRUE;
  }
  if ((flags & SND_NOWAIT) && playingLocked()) return FALSE;
  if (flags & SND_ALIAS) return FALSE;  // the desktop has no system sounds to name
  std::error_code ec;
  if (player_.empty() || !std::filesystem::is_regular_file(file, ec)) return FALSE;
  stopLocked();

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd : {0, 1, 2})
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd ? O_WRONLY : O_RDONLY, 0);
  std::string quiet = "-q";
  char* argv[] = {player_.data(), quiet.data(), const_cast<char*>(file.c_str()), nullptr};
  pid_t pid = -1;
  int rc = ::posix_spawn(&pid, player_.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return FALSE;
  child_ = pid;
  return TRUE;
}

}  // namespace wf::fw
