#pragma once
// WFPRTGUI's entry as the generic printer family ("WFPRTGUI.DLL", ordinal
// 103, also by name): registers "Generic/7301" for the family keys
// 0xFFFFFFFF and 0 with bitmap 305 of WFGUIDLL.
#include "common/printer_dll.h"
#include "platform/module.h"

// The generic family's ids: unknown printers and family 0.
inline constexpr DWORD kGenericFamilyIds[] = {0xFFFFFFFF, 0};

WF_MODULE_EXPORT void InitBaseGuiDLL(HINSTANCE module, PFNREGISTERDLL registerDLL);
