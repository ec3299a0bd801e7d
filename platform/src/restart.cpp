#include "platform/restart.h"

#include <errno.h>

#include <string>

#include "platform/file_system.h"
#include "platform/log_file.h"
#include "platform/runtime_dir.h"
#include "platform/trace.h"

namespace wf {

BOOL ExitWindowsEx(UINT flags, DWORD /*reserved*/) {
  if ((flags & ~EWX_FORCE) != EWX_REBOOT) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string line = std::string("restart requested by ") + program_invocation_short_name;
  auto root = dataRoot();
  auto log = root ? LogFile::open((*root / "shutdown.log").string(), LogFile::Mode::Append) : std::nullopt;
  if (!log || !log->append(line + "\n")) {
    platformTrace(line + ", but shutdown.log cannot be written");
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  platformTrace(line);
  return TRUE;
}

}  // namespace wf
