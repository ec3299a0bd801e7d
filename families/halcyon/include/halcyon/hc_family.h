#pragma once
// HCPRTGUI's entry as the "Vireo C" printer family ("HCPRTGUI.DLL", ordinal
// 103, also by name): registers family key 6 with bitmap 502 of its resource
// library HCGUIDLL ("HCGUIDLL.DLL", loaded when HCPRTGUI attaches).
#include "common/printer_dll.h"
#include "platform/module.h"

inline constexpr DWORD kHalcyonFamilyIds[] = {6};

WF_MODULE_EXPORT void InitHalcyonGuiDLL(HINSTANCE module, PFNREGISTERDLL registerDLL);
