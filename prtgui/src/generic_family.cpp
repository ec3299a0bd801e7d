// WFPRTGUI as the generic printer family: its resource library, its
// registration with the family registry and its icon factory.
#include <new>
#include <utility>

#include "common/printer_dll.h"
#include "common/printer_icon.h"
#include "framework/gdi.h"
#include "platform/module.h"
#include "prtgui/generic_family.h"

namespace {

constexpr UINT kFamilyBitmap = 305;

HINSTANCE resources = nullptr;

bool attachGeneric() {
  resources = wf::loadModule("WFGUIDLL.DLL");
  if (!resources) return false;
  CWFPrinterIcon::SetResourceInst(resources);
  if (wf::fw::joinResourceChain(resources)) return true;
  wf::freeModule(std::exchange(resources, nullptr));
  return false;
}

void detachGeneric() {
  if (!resources) return;
  wf::fw::leaveResourceChain(resources);
  CWFPrinterIcon::SetResourceInst(nullptr);
  wf::freeModule(std::exchange(resources, nullptr));
}

CWFPrinterIcon* CreateBaseIcon(WFPrtObj* object, void* record) {
  return new (std::nothrow) CWFPrinterIcon(object, record);
}

}  // namespace

void InitBaseGuiDLL(HINSTANCE module, PFNREGISTERDLL registerDLL) {
  CBitmap bitmap;
  bitmap.LoadBitmap(kFamilyBitmap);
  if (registerDLL)
    CWFPrinterIcon::SetPrinterDLL(registerDLL(module, "Generic/7301", 0, &CreateBaseIcon, kGenericFamilyIds,
                                              sizeof kGenericFamilyIds / sizeof kGenericFamilyIds[0],
                                              &bitmap));
}

WF_ORDINAL_EXPORTS(WF_ORDINAL(WF_FAMILY_INIT_ORDINAL, InitBaseGuiDLL));
WF_MODULE_ENTRY_WHEN_LINKED(attachGeneric, detachGeneric)
