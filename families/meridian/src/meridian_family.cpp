// MRPRTGUI as a printer family: its resource library, its registration with
// the family registry and its icon factory.
#include <new>
#include <utility>

#include "common/printer_dll.h"
#include "framework/gdi.h"
#include "meridian/meridian_family.h"
#include "meridian/meridian_icon.h"
#include "platform/module.h"

namespace {

constexpr UINT kFamilyBitmap = 503;

HINSTANCE resources = nullptr;

// A missing resource library leaves the family without its texts and
// pictures, never without its module.
bool attachMeridian() {
  resources = wf::loadModule("MRGUIDLL.DLL");
  CWFMeridianIcon::SetResourceInst(resources);
  return true;
}

void detachMeridian() {
  if (!resources) return;
  wf::fw::leaveResourceChain(resources);
  CWFMeridianIcon::SetResourceInst(nullptr);
  wf::freeModule(std::exchange(resources, nullptr));
}

CWFPrinterIcon* CreateMeridianIcon(WFPrtObj* object, void* record) {
  return new (std::nothrow) CWFMeridianIcon(object, record);
}

}  // namespace

void InitMeridianGuiDLL(HINSTANCE module, PFNREGISTERDLL registerDLL) {
  if (resources) wf::fw::joinResourceChain(resources);
  CBitmap bitmap;
  bitmap.LoadBitmap(kFamilyBitmap);
  if (registerDLL)
    CWFMeridianIcon::SetPrinterDLL(registerDLL(module, "Vireo", 0, &CreateMeridianIcon, kMeridianFamilyIds,
                                               sizeof kMeridianFamilyIds / sizeof kMeridianFamilyIds[0],
                                               &bitmap));
  bitmap.DeleteObject();
}

WF_ORDINAL_EXPORTS(WF_ORDINAL(WF_FAMILY_INIT_ORDINAL, InitMeridianGuiDLL));
WF_MODULE_ENTRY_WHEN_LINKED(attachMeridian, detachMeridian)
