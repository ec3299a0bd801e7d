// Links testlinked at load time, as the programs link the broker.
#include "module_events.h"
#include "platform/module.h"

extern "C" int LinkedQuery();

namespace {

bool attach() {
  wf::testmodules::noteEvent("testuser attach");
  return true;
}

void detach() {
  wf::testmodules::noteEvent("testuser detach");
}

}  // namespace

WF_MODULE_ENTRY(attach, detach)

WF_MODULE_EXPORT int UserQuery() {
  return LinkedQuery() + 1;
}
