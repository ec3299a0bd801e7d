// MRPRTGUI as a printer family: its resource library, its registration with
// the family registry and its icon factory; and the shape every family
// module shares.
#include <new>
#include <utility>

#include "common/printer_dll.h"
#include "framework/gdi.h"
#include "framework/resources.h"
#include "meridian/meridian_family.h"
#include "meridian/meridian_icon.h"
#include "platform/module.h"

namespace wf {

bool FamilyModule::attach() {
  resources_ = loadModule(family_.resourceLibrary);
  family_.setResourceInst(resources_);
  return true;
}

void FamilyModule::detach() {
  if (!resources_) return;
  fw::leaveResourceChain(resources_);
  family_.setResourceInst(nullptr);
  freeModule(std::exchange(resources_, nullptr));
}

void FamilyModule::registerFamily(HINSTANCE module, PFNREGISTERDLL registerDLL) {
  if (resources_) fw::joinResourceChain(resources_);
  CBitmap bitmap;
  {
    // Every family's picture has the same number: the family's own comes first.
    fw::ResourceHandleSwitch current(resources_);
    bitmap.LoadBitmap(family_.bitmap);
  }
  if (registerDLL)
    family_.setPrinterDLL(
        registerDLL(module, family_.name, 0, family_.factory, family_.ids, family_.count, &bitmap));
  bitmap.DeleteObject();
}

}  // namespace wf

namespace {

CWFPrinterIcon* CreateMeridianIcon(WFPrtObj* object, void* record) {
  return new (std::nothrow) CWFMeridianIcon(object, record);
}

constinit wf::FamilyModule family({"MRGUIDLL.DLL", "Vireo", kMeridianFamilyIds,
                                   sizeof kMeridianFamilyIds / sizeof kMeridianFamilyIds[0], 503,
                                   &CreateMeridianIcon, &CWFMeridianIcon::SetResourceInst,
                                   &CWFMeridianIcon::SetPrinterDLL});

bool attachMeridian() {
  return family.attach();
}

void detachMeridian() {
  family.detach();
}

}  // namespace

void InitMeridianGuiDLL(HINSTANCE module, PFNREGISTERDLL registerDLL) {
  family.registerFamily(module, registerDLL);
}

WF_ORDINAL_EXPORTS(WF_ORDINAL(WF_FAMILY_INIT_ORDINAL, InitMeridianGuiDLL));
WF_MODULE_ENTRY_WHEN_LINKED(attachMeridian, detachMeridian)
