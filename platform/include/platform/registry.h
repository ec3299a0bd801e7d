#pragma once
// The registry: a file-backed store in place of the original platform's, with
// its calls, value types and result codes. One hive file per root below the
// data root ("registry/user.reg", "registry/machine.reg"), in a readable text
// form. Every change is written through under the hive's file lock and seen by
// other processes on their next call. Access masks are accepted and not
// enforced, as on the original single-user platform.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/win_types.h"

namespace wf {

struct RegistryKeyTag;
using HKEY = RegistryKeyTag*;  // an opaque number, never dereferenced
using REGSAM = DWORD;

inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(std::uintptr_t{0x80000001});
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002});

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_OPTION_VOLATILE = 1;  // kept in this process's memory only

constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// Key paths are backslash-separated; names of keys and values compare without
// regard to ASCII letter case and keep the case they were created with. A null
// or empty value name is the key's default value.

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access, HKEY* result);
// Creates every missing key of the path; *disposition (when given) tells
// REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY. `keyClass` and `security`
// are accepted and ignored.
LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* keyClass, DWORD options,
                     REGSAM access, void* security, HKEY* result, DWORD* disposition);
LONG RegCloseKey(HKEY key);

// data null: *dataSize gets the size. *dataSize too small: ERROR_MORE_DATA with
// the needed size in *dataSize. The bytes come back exactly as they were set.
LONG RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize);
LONG RegSetValueExA(HKEY key, const char* name, DWORD reserved, DWORD type, const BYTE* data, DWORD dataSize);
LONG RegDeleteValueA(HKEY key, const char* name);
// Deletes the named subkey together with everything below it.
LONG RegDeleteKeyA(HKEY key, const char* subKey);

// Subkeys by index in case-insensitive sorted order; values in the order they
// were first set. *nameSize: buffer size in characters on entry, the name's
// length without terminator on success, unchanged on ERROR_MORE_DATA.
// The trailing parameters are accepted for the original's arity: a class comes
// back empty, the write time is not kept.
LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved = nullptr,
                   char* keyClass = nullptr, DWORD* classSize = nullptr, void* lastWriteTime = nullptr);
LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved, DWORD* type,
                   BYTE* data, DWORD* dataSize);
LONG RegQueryInfoKeyA(HKEY key, char* keyClass, DWORD* classSize, DWORD* reserved, DWORD* subKeys,
                      DWORD* maxSubKeyLength, DWORD* maxClassLength, DWORD* values, DWORD* maxValueNameLength,
                      DWORD* maxValueLength, DWORD* securityDescriptorSize = nullptr,
                      void* lastWriteTime = nullptr);

// For tools and tests: the hive file of a root key; the hive's text form of a
// key and everything below it; one value in that text form.
std::optional<std::filesystem::path> registryHivePath(HKEY root);
LONG registryDump(HKEY key, const char* subKey, std::string* text);
std::string registryFormatValue(DWORD type, std::string_view data);
// A root key as the tools name it: HKEY_CURRENT_USER (HKCU) or
// HKEY_LOCAL_MACHINE (HKLM), in any case; empty when unknown.
std::optional<HKEY> registryRootByName(std::string_view name);
// The type and bytes a value of `type` (sz, expand_sz, dword, binary) given
// as text stands for; empty when the text does not fit the type.
std::optional<std::pair<DWORD, std::string>> registryValueFromText(std::string_view type, const std::string& value);

// Why the last call of this thread that failed with a reason did (names too
// long, paths too deep, values too large, a hive that cannot be read or
// written, or one found damaged and set aside).
std::string registryFailureReason();

}  // namespace wf
