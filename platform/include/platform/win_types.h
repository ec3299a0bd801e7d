#pragma once
// The original platform's scalar types and error codes, under their own
// names, so every module reads and tests results as it always did. Widths are
// those of the original 32-bit platform, except that wParam and lParam are
// pointer-sized so they can carry pointers.
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

namespace wf {

using ::BYTE;
using ::DWORD;
using ::LONG;

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_PATH_NOT_FOUND = 3;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr LONG ERROR_GEN_FAILURE = 31;
constexpr LONG ERROR_FILE_EXISTS = 80;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_BROKEN_PIPE = 109;  // the other end of a pipe is gone
constexpr LONG ERROR_DISK_FULL = 112;
constexpr LONG ERROR_DIR_NOT_EMPTY = 145;
constexpr LONG ERROR_BAD_PATHNAME = 161;
constexpr LONG ERROR_FILENAME_EXCED_RANGE = 206;
constexpr LONG ERROR_PIPE_BUSY = 231;
constexpr LONG ERROR_NO_DATA = 232;  // a write to a pipe whose other end is gone
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_DIRECTORY = 267;
constexpr LONG ERROR_OPERATION_ABORTED = 995;
constexpr LONG ERROR_BADDB = 1009;  // a damaged hive was found and set aside
constexpr LONG ERROR_REGISTRY_IO_FAILED = 1016;
constexpr LONG ERROR_KEY_DELETED = 1018;  // the open key was deleted meanwhile
constexpr LONG ERROR_CHILD_MUST_BE_VOLATILE = 1021;
constexpr LONG ERROR_TIMEOUT = 1460;

}  // namespace wf
