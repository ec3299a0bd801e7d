#pragma once
// TWPRTGUI's entry as the "Tidewater" printer family ("TWPRTGUI.DLL",
// ordinal 103, also by name): registers family keys 3 and 8 with bitmap 502
// of its resource library TWGUIDLL ("TWGUIDLL.DLL", loaded when TWPRTGUI
// attaches).
#include "common/printer_dll.h"
#include "platform/module.h"

inline constexpr DWORD kTidewaterFamilyIds[] = {3, 8};

WF_MODULE_EXPORT void InitTidewaterGuiDLL(HINSTANCE module, PFNREGISTERDLL registerDLL);
