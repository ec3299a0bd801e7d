#pragma once
// Starting the system's helper programs by the names it knows them by
// ("NETDDE.EXE", "c:\wf\setup.exe").
#include <cstdint>

#include "platform/win_types.h"

namespace wf {

constexpr UINT SW_HIDE = 0;
constexpr UINT SW_SHOWNORMAL = 1;
constexpr UINT SW_SHOWNA = 8;

// Starts the program of `commandLine` (its first word, or a quoted first
// part; the rest are its arguments, split at blanks), detached from the
// caller, which never has to reap it. A system path ("c:\...") is mapped; a
// bare name is looked for beside the calling program, in the current
// directory, then on $WRENFIELD_MODULE_PATH, each as given and lower-cased
// without ".exe". Answers a value above 31 when started, 2 when not found,
// 11 when the file cannot be run, 0 when no process could be made. `show`
// is accepted: nothing here has a window to show.
UINT winExec(const char* commandLine, UINT show);

}  // namespace wf
