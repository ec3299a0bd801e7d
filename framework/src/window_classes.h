#pragma once
// The registered classes, as the windows made from them see them.
#include "framework/window_class.h"

namespace wf::fw {

// The icon of a registered class; null for none or an unknown class.
HICON classIcon(LPCSTR className);

}  // namespace wf::fw
