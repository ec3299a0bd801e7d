#include "peer_trace.h"

#include <cstdio>
#include <string>

#include "platform/clock.h"
#include "platform/registry.h"
#include "platform/trace.h"

namespace wf::peer {

void PeerTrace::open() {
  HKEY key = nullptr;
  DWORD disposition = 0;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kCorPeerKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &key, &disposition) != ERROR_SUCCESS) {
    platformTrace("CORP2P32: the CorPeer key cannot be opened: no trace");
    return;
  }
  BYTE value = 0;
  if (disposition == REG_CREATED_NEW_KEY) {
    RegSetValueExA(key, "Trace", 0, REG_BINARY, &value, 1);
  } else {
    // One byte: a longer value is not read, a missing one counts as 0.
    DWORD size = 1;
    if (RegQueryValueExA(key, "Trace", nullptr, nullptr, &value, &size) != ERROR_SUCCESS) value = 0;
  }
  RegCloseKey(key);
  if (value == 0) return;
  std::string error;
  auto file = LogFile::open("c:\\corpeer.log", LogFile::Mode::Replace, &error);
  if (!file) {
    platformTrace("CORP2P32: no trace file: " + error);
    return;
  }
  std::lock_guard lock(mutex_);
  file_ = std::move(file);
  level_ = value;
}

void PeerTrace::line(int level, const char* format, ...) {
  std::lock_guard lock(mutex_);
  if (!file_ || level >= level_) return;
  char message[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  std::string text = message;
  text = text.substr(0, text.find('\n'));
  text = text.substr(0, text.find('\r'));
  char stamp[16];
  std::snprintf(stamp, sizeof stamp, "%08ld: ", static_cast<long>(tickCount()));
  file_->append(stamp + text + "\r\n");
}

}  // namespace wf::peer
