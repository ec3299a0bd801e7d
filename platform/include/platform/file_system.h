#pragma once
// Files, disks and the system's identity under the original calls, for the
// programs that install the product. Names are system paths (mapSystemPath):
// "C:\..." lies below the data root, Linux paths pass through, and '/'
// separates as '\' does. A failing call answers FALSE (or 0) and leaves its
// reason for GetLastError.
#include <cstdint>
#include <optional>

#include "platform/win_types.h"

namespace wf {

// The calling thread's last error, as the calls below leave it.
DWORD GetLastError();
void SetLastError(DWORD error);
// The original's error code for an errno value (ERROR_GEN_FAILURE when none fits).
DWORD systemErrorFromErrno(int error);

constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  char szCSDVersion[128];
};

// The system's own platform id is VER_PLATFORM_WIN32_WINDOWS (4.0). FALSE when
// dwOSVersionInfoSize is not the record's size.
BOOL GetVersionExA(OSVERSIONINFOA* info);

constexpr UINT MAX_PATH = 260;

// "C:\WINDOWS", whose directory below the data root is made when missing.
// The length without terminator, or the size needed when `size` is too small.
UINT GetWindowsDirectoryA(char* buffer, UINT size);

// The free and total room of the file system holding `rootPath` ("C:\").
// Free bytes are sectors per cluster x bytes per sector x free clusters; the
// cluster is made large enough that the cluster counts fit, so the product,
// taken in 64 bits, is the free space (to within one cluster).
BOOL GetDiskFreeSpaceA(const char* rootPath, DWORD* sectorsPerCluster, DWORD* bytesPerSector,
                       DWORD* freeClusters, DWORD* totalClusters);

// `unique` 0: makes "<path>\<PFX><xxxx>.TMP" (the prefix's first three
// characters upper-cased, four hex digits) that did not exist, created empty
// and exclusively, and answers its number. Otherwise only builds the name of
// that number. `buffer` holds MAX_PATH characters. 0 on failure.
UINT GetTempFileNameA(const char* path, const char* prefix, UINT unique, char* buffer);

// Copies bytes, permission bits and the access and modification times; with
// `failIfExists` an existing target is left alone (ERROR_FILE_EXISTS).
BOOL CopyFileA(const char* existingFile, const char* newFile, BOOL failIfExists);

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

// FILE_ATTRIBUTE_NORMAL makes the file writable by its owner again;
// FILE_ATTRIBUTE_READONLY takes every write permission away. Other
// attributes have no counterpart here: ERROR_INVALID_PARAMETER.
BOOL SetFileAttributesA(const char* fileName, DWORD attributes);

// An empty directory only: ERROR_DIR_NOT_EMPTY otherwise, ERROR_FILE_NOT_FOUND
// (or ERROR_PATH_NOT_FOUND when a parent is missing) when there is none.
BOOL RemoveDirectoryA(const char* pathName);

// Gives `target` the access and modification times of `source` (this system
// keeps no creation time).
BOOL copyFileTimes(const char* source, const char* target);

// Test hooks: the platform id GetVersionExA tells, and the free bytes
// GetDiskFreeSpaceA tells for every disk (empty: the real figures again).
void setPlatformIdForTesting(std::optional<DWORD> platformId);
void setFreeDiskSpaceForTesting(std::optional<std::uint64_t> freeBytes);

}  // namespace wf
