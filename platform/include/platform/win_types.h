#pragma once
// The original platform's integer types and error codes, under their own
// names, so the system's code reads and tests results as it always did.
#include <cstdint>

namespace wf {

using DWORD = std::uint32_t;
using LONG = std::int32_t;
using BYTE = std::uint8_t;

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_BADDB = 1009;                  // a damaged hive was found and set aside
constexpr LONG ERROR_REGISTRY_IO_FAILED = 1016;
constexpr LONG ERROR_KEY_DELETED = 1018;            // the open key was deleted meanwhile
constexpr LONG ERROR_CHILD_MUST_BE_VOLATILE = 1021;

}  // namespace wf
