#pragma once
// Ending the session: this system never restarts the machine. A restart asked
// for is recorded instead, as "restart requested by <program>" in
// "<data root>/shutdown.log", and traced.
#include "platform/win_types.h"

namespace wf {

constexpr UINT EWX_LOGOFF = 0;
constexpr UINT EWX_SHUTDOWN = 1;
constexpr UINT EWX_REBOOT = 2;
constexpr UINT EWX_FORCE = 4;

// EWX_REBOOT (EWX_FORCE allowed beside it): recorded, TRUE. Anything else:
// FALSE with ERROR_INVALID_PARAMETER; so is a log that cannot be written
// (ERROR_ACCESS_DENIED).
BOOL ExitWindowsEx(UINT flags, DWORD reserved);

}  // namespace wf
