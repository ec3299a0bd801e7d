// KYPRTGUI as a printer family: its resource library, its registration with
// the family registry and its icon factory.
#include <new>

#include "keystone/ky_family.h"
#include "keystone/ky_icon.h"
#include "meridian/meridian_family.h"

namespace {

CWFPrinterIcon* CreateKeystoneIcon(WFPrtObj* object, void* record) {
  return new (std::nothrow) CWFKstoneIcon(object, record);
}

constinit wf::FamilyModule family({"KYGUIDLL.DLL", "Vireo N", kKeystoneFamilyIds,
                                   sizeof kKeystoneFamilyIds / sizeof kKeystoneFamilyIds[0], 502,
                                   &CreateKeystoneIcon, &CWFKstoneIcon::SetResourceInst,
                                   &CWFKstoneIcon::SetPrinterDLL});

bool attachKeystone() {
  return family.attach();
}

void detachKeystone() {
  family.detach();
}

}  // namespace

void InitKeystoneGuiDLL(HINSTANCE module, PFNREGISTERDLL registerDLL) {
  family.registerFamily(module, registerDLL);
}

WF_ORDINAL_EXPORTS(WF_ORDINAL(WF_FAMILY_INIT_ORDINAL, InitKeystoneGuiDLL));
WF_MODULE_ENTRY_WHEN_LINKED(attachKeystone, detachKeystone)
