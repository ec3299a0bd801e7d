#include "module.h"

#include "broker_binding.h"
#include "notices.h"

namespace wf::netui {
namespace {
HINSTANCE joined = nullptr;
}

bool attachLibrary(HINSTANCE resources) {
  if (!resources || !wf::fw::joinResourceChain(resources)) return false;
  joined = resources;
  makeWaitUpdate();
  return true;
}

void detachLibrary() {
  dropWaitUpdate();
  if (joined) wf::fw::leaveResourceChain(joined);
  joined = nullptr;
}

}  // namespace wf::netui
