// A transport-shaped library: named entry points, one of them spelled the way
// one real transport spells it, plus attach and detach.
#include "module_events.h"
#include "platform/module.h"

namespace {

bool attach() {
  if (wf::testmodules::attachRefused("testnet32")) {
    wf::testmodules::noteEvent("testnet32 refused");
    return false;
  }
  wf::testmodules::noteEvent("testnet32 attach");
  return true;
}

void detach() {
  wf::testmodules::noteEvent("testnet32 detach");
}

}  // namespace

WF_MODULE_ENTRY(attach, detach)

WF_MODULE_EXPORT unsigned short NetGetVersion() {
  return 0x0B11;
}
WF_MODULE_EXPORT void NetShutdown() {
  wf::testmodules::noteEvent("testnet32 shutdown");
}
