#pragma once
// The download tool kit's entry point, bound by name ("CVToolKit32"). It
// reads the driver setup request block (global memory, tagged items: 16-bit
// tag, 16-bit size with the header, value, one zero byte; tag 0 of size 6
// ends it) and answers 0 on success. The stand-in checks the block, appends
// one line per call to toolkit.log below the runtime directory and answers
// $WRENFIELD_TOOLKIT_RESULT (0 when unset); a malformed block answers 1.
#include <cstdint>

#include "framework/global_memory.h"
#include "framework/resources.h"
#include "platform/win_types.h"

namespace wf::toolkit {

using CVToolKit32Fn = int (*)(HWND parent, HINSTANCE instance, HGLOBAL block);
constexpr const char* kModuleName = "CORWF32.DLL";
constexpr const char* kEntryName = "CVToolKit32";
constexpr const char* kLogName = "toolkit.log";
constexpr int kMalformed = 1;

}  // namespace wf::toolkit
