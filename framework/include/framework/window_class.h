#pragma once
// Window classes: names that windows are created with (and found by from
// other processes) plus the class icon a frame shows while it has no icon of
// its own. Registered per process; names match without case.
#include "framework/gdi.h"
#include "framework/resources.h"

using HCURSOR = void*;

constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr UINT CS_DBLCLKS = 0x0008;

struct WNDCLASS {
  UINT style = 0;
  void* lpfnWndProc = nullptr;  // kept for the layout; windows run their message maps
  int cbClsExtra = 0;
  int cbWndExtra = 0;
  HINSTANCE hInstance = nullptr;
  HICON hIcon = nullptr;  // borrowed: the caller keeps it alive while windows use the class
  HCURSOR hCursor = nullptr;
  HBRUSH hbrBackground = nullptr;
  LPCSTR lpszMenuName = nullptr;
  LPCSTR lpszClassName = nullptr;
};

// The class frames and views get when they name none.
constexpr const char* kAfxFrameOrViewClass = "AfxFrameOrView";

// TRUE when registered, also when a class of that name already was (it is
// kept as it is). FALSE without a name.
BOOL AfxRegisterClass(WNDCLASS* windowClass);
// A class with these attributes under a generated name, the same name for
// the same attributes; the text lives as long as the process.
LPCSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor = nullptr, HBRUSH background = nullptr,
                           HICON icon = nullptr);
// FALSE for an unknown class; the name in `windowClass` lives as long as the process.
BOOL GetClassInfo(HINSTANCE instance, LPCSTR className, WNDCLASS* windowClass);
