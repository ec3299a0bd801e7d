#pragma once
// Sounds through a small player program (aplay by default), one at a time:
// a new sound stops the one playing, unless the caller asked not to wait for
// a busy device. Nothing here ever waits for a sound to end.
#include <sys/types.h>
#include <mutex>
#include <string>

#include "framework/shell_services.h"

namespace wf::fw {

class PlayerSound : public SoundService {
 public:
  // `player` is run as: player -q <file>. Empty: "aplay" from PATH, if any.
  explicit PlayerSound(std::string player = {});
  ~PlayerSound() override;

  BOOL play(const std::string& file, DWORD flags) override;
  UINT deviceCount() override;
  // The desktop player has no tone generator: silent, FALSE.
  BOOL tone(DWORD frequency, DWORD durationMs) override;

 private:
  bool playingLocked();
  void stopLocked();

  std::mutex mutex_;
  std::string player_;
  pid_t child_ = -1;
};

}  // namespace wf::fw
