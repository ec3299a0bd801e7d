// The library's own load and unload, apart from the internals the tests link.
#include "module.h"

namespace {

bool attachCornetui() {
  return wf::netui::attachLibrary(wf::moduleContaining(reinterpret_cast<const void*>(&attachCornetui)));
}

void detachCornetui() {
  wf::netui::detachLibrary();
}

}  // namespace

WF_MODULE_ENTRY(attachCornetui, detachCornetui)
