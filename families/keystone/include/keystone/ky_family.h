#pragma once
// KYPRTGUI's entry as the "Vireo N" printer family ("KYPRTGUI.DLL", ordinal
// 103, also by name): registers family key 7 with bitmap 502 of its resource
// library KYGUIDLL ("KYGUIDLL.DLL", loaded when KYPRTGUI attaches).
#include "common/printer_dll.h"
#include "platform/module.h"

inline constexpr DWORD kKeystoneFamilyIds[] = {7};

WF_MODULE_EXPORT void InitKeystoneGuiDLL(HINSTANCE module, PFNREGISTERDLL registerDLL);
