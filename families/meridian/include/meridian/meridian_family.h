#pragma once
// MRPRTGUI's entry as the "Vireo" printer family ("MRPRTGUI.DLL", ordinal
// 103, also by name): registers family keys 1 and 5 with bitmap 503 of its
// resource library MRGUIDLL ("MRGUIDLL.DLL", loaded when MRPRTGUI attaches).
// The modules whose icons derive the Meridian icon have the same shape and
// share FamilyModule for it.
#include "common/printer_dll.h"
#include "platform/module.h"

inline constexpr DWORD kMeridianFamilyIds[] = {1, 5};

WF_MODULE_EXPORT void InitMeridianGuiDLL(HINSTANCE module, PFNREGISTERDLL registerDLL);

namespace wf {

// One family module: its resource library, kept from attach to detach, and
// its registration with the family registry. Constant-initialised, so the
// module's attach may use it before any other initialisation ran.
class FamilyModule {
 public:
  struct Family {
    const char* resourceLibrary;  // file name of the family's resource library
    const char* name;             // the family name registered
    const DWORD* ids;
    DWORD count;
    UINT bitmap;  // the family picture, in the resource library
    PFNCREATEPRINTERICON factory;
    void (*setResourceInst)(HINSTANCE);
    void (*setPrinterDLL)(CWFPrinterDLL*);
  };

  constexpr explicit FamilyModule(const Family& family) : family_(family) {}

  // Loads the resource library and hands it to the icon class. A missing
  // library leaves the family without its texts and pictures, never without
  // its module: always true.
  bool attach();
  void detach();
  // Ordinal 103: the library joins the chain, the picture is loaded from it
  // (as the family's current library), and the family is registered; the
  // registration, null when refused, goes to the icon class.
  void registerFamily(HINSTANCE module, PFNREGISTERDLL registerDLL);

 private:
  Family family_;
  HINSTANCE resources_ = nullptr;
};

}  // namespace wf
