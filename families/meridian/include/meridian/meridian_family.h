#pragma once
// MRPRTGUI's entry as the "Vireo" printer family ("MRPRTGUI.DLL", ordinal
// 103, also by name): registers family keys 1 and 5 with bitmap 503 of its
// resource library MRGUIDLL ("MRGUIDLL.DLL", loaded when MRPRTGUI attaches).
#include "common/printer_dll.h"
#include "platform/module.h"

inline constexpr DWORD kMeridianFamilyIds[] = {1, 5};

WF_MODULE_EXPORT void InitMeridianGuiDLL(HINSTANCE module, PFNREGISTERDLL registerDLL);
