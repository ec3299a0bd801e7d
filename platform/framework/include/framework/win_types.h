#pragma once
// The scalar types and handles the user-interface modules are written with.
// Widths are those of the original 32-bit platform, except that wParam and
// lParam are pointer-sized so they can carry pointers.
#include <cstdint>

using BOOL = int;
constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using USHORT = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

using LPCSTR = const char*;
using LPCTSTR = const char*;
using LPSTR = char*;
using LPTSTR = char*;

// A window handle: 32 bits, unique across the user's processes; 0 is none.
using HWND = std::uint32_t;

// A block of global memory; fixed blocks are used directly as pointers.
using HGLOBAL = void*;
