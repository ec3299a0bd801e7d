#pragma once
// Joining the host: the library's resources enter the host's resource chain
// and the shared please-wait box is made; leaving undoes both.
#include "framework/resources.h"

namespace wf::netui {

bool attachLibrary(HINSTANCE resources);
void detachLibrary();

}  // namespace wf::netui
