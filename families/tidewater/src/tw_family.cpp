// TWPRTGUI as a printer family: its resource library, its registration with
// the family registry and its icon factory.
#include <new>

#include "meridian/meridian_family.h"
#include "tidewater/tw_family.h"
#include "tidewater/tw_icon.h"

namespace {

CWFPrinterIcon* CreateTidewaterIcon(WFPrtObj* object, void* record) {
  return new (std::nothrow) CWFTwIcon(object, record);
}

constinit wf::FamilyModule family({"TWGUIDLL.DLL", "Tidewater", kTidewaterFamilyIds,
                                   sizeof kTidewaterFamilyIds / sizeof kTidewaterFamilyIds[0], 502,
                                   &CreateTidewaterIcon, &CWFTwIcon::SetResourceInst,
                                   &CWFTwIcon::SetPrinterDLL});

bool attachTidewater() {
  return family.attach();
}

void detachTidewater() {
  family.detach();
}

}  // namespace

void InitTidewaterGuiDLL(HINSTANCE module, PFNREGISTERDLL registerDLL) {
  family.registerFamily(module, registerDLL);
}

WF_ORDINAL_EXPORTS(WF_ORDINAL(WF_FAMILY_INIT_ORDINAL, InitTidewaterGuiDLL));
WF_MODULE_ENTRY_WHEN_LINKED(attachTidewater, detachTidewater)
