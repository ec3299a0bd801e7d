// HCPRTGUI as a printer family: its resource library, its registration with
// the family registry and its icon factory.
#include <new>

#include "halcyon/hc_family.h"
#include "halcyon/hc_icon.h"
#include "meridian/meridian_family.h"

namespace {

CWFPrinterIcon* CreateHalcyonIcon(WFPrtObj* object, void* record) {
  return new (std::nothrow) CWFHalcIcon(object, record);
}

constinit wf::FamilyModule family({"HCGUIDLL.DLL", "Vireo C", kHalcyonFamilyIds,
                                   sizeof kHalcyonFamilyIds / sizeof kHalcyonFamilyIds[0], 502,
                                   &CreateHalcyonIcon, &CWFHalcIcon::SetResourceInst,
                                   &CWFHalcIcon::SetPrinterDLL});

bool attachHalcyon() {
  return family.attach();
}

void detachHalcyon() {
  family.detach();
}

}  // namespace

void InitHalcyonGuiDLL(HINSTANCE module, PFNREGISTERDLL registerDLL) {
  family.registerFamily(module, registerDLL);
}

WF_ORDINAL_EXPORTS(WF_ORDINAL(WF_FAMILY_INIT_ORDINAL, InitHalcyonGuiDLL));
WF_MODULE_ENTRY_WHEN_LINKED(attachHalcyon, detachHalcyon)
