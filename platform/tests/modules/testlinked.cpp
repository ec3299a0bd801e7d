// A library that others link against and that is also loaded by name.
#include "module_events.h"
#include "platform/module.h"

namespace {

bool attach() {
  if (wf::testmodules::attachRefused("testlinked")) {
    wf::testmodules::noteEvent("testlinked refused");
    return false;
  }
  wf::testmodules::noteEvent("testlinked attach");
  return true;
}

void detach() {
  wf::testmodules::noteEvent("testlinked detach");
}

}  // namespace

WF_MODULE_ENTRY_WHEN_LINKED(attach, detach)

WF_MODULE_EXPORT int LinkedQuery() {
  return 7;
}
