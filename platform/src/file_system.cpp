#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/unique_fd.h"

namespace wf {
namespace {

thread_local DWORD threadLastError = 0;

std::mutex fsHooksMutex;
std::optional<DWORD> platformIdHook;
std::optional<std::uint64_t> freeSpaceHook;

constexpr char kWindowsDirectory[] = "C:\\WINDOWS";

}  // namespace

DWORD systemErrorFromErrno(int error) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    default:
      return ERROR_GEN_FAILURE;
  }
}

namespace {

BOOL failWith(DWORD error) {
  SetLastError(error);
  return FALSE;
}

BOOL failFromErrno() {
  return failWith(systemErrorFromErrno(errno));
}

std::optional<std::string> mappedName(const char* name) {
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return std::nullopt;
  }
  auto path = mapSystemPath(name);
  if (!path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return std::nullopt;
  }
  return path->string();
}

bool writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool copyTimes(const struct stat& st, const std::string& to) {
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  return ::utimensat(AT_FDCWD, to.c_str(), times, 0) == 0;
}

}  // namespace

DWORD GetLastError() {
  return threadLastError;
}

void SetLastError(DWORD error) {
  threadLastError = error;
}

BOOL GetVersionExA(OSVERSIONINFOA* info) {
  if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) return failWith(ERROR_INVALID_PARAMETER);
  std::optional<DWORD> hook;
  {
    std::lock_guard lock(fsHooksMutex);
    hook = platformIdHook;
  }
  info->dwMajorVersion = 4;
  info->dwMinorVersion = 0;
  info->dwBuildNumber = 950;
  info->dwPlatformId = hook.value_or(VER_PLATFORM_WIN32_WINDOWS);
  info->szCSDVersion[0] = '\0';
  return TRUE;
}

UINT GetWindowsDirectoryA(char* buffer, UINT size) {
  constexpr UINT length = sizeof kWindowsDirectory - 1;
  if (!buffer || size <= length) return length + 1;
  if (auto path = mapSystemPath(kWindowsDirectory)) {
    std::error_code ec;
    std::filesystem::create_directories(*path, ec);
  }
  std::memcpy(buffer, kWindowsDirectory, length + 1);
  return length;
}

BOOL GetDiskFreeSpaceA(const char* rootPath, DWORD* sectorsPerCluster, DWORD* bytesPerSector, DWORD* freeClusters,
                       DWORD* totalClusters) {
  auto path = mappedName(rootPath ? rootPath : "C:\\");
  if (!path) return FALSE;
  struct statvfs vfs {};
  if (::statvfs(path->c_str(), &vfs) != 0) return failFromErrno();
  std::uint64_t cluster = vfs.f_frsize ? vfs.f_frsize : 512;
  std::uint64_t freeBytes = static_cast<std::uint64_t>(vfs.f_bavail) * cluster;
  std::uint64_t totalBytes = static_cast<std::uint64_t>(vfs.f_blocks) * cluster;
  {
    std::lock_guard lock(fsHooksMutex);
    if (freeSpaceHook) {
      freeBytes = totalBytes = *freeSpaceHook;
      cluster = 1;
    }
  }
  while (totalBytes / cluster > 0xFFFFFFFFu) cluster *= 2;
  const std::uint64_t sector = cluster >= 512 ? 512 : cluster;
  if (sectorsPerCluster) *sectorsPerCluster = static_cast<DWORD>(cluster / sector);
  if (bytesPerSector) *bytesPerSector = static_cast<DWORD>(sector);
  if (freeClusters) *freeClusters = static_cast<DWORD>(freeBytes / cluster);
  if (totalClusters) *totalClusters = static_cast<DWORD>(totalBytes / cluster);
  return TRUE;
}

UINT GetTempFileNameA(const char* path, const char* prefix, UINT unique, char* buffer) {
  if (!path || !buffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string directory(path);
  if (!directory.empty() && directory.back() != '\\' && directory.back() != '/')
    directory += directory.find('/') != std::string::npos && directory.find('\\') == std::string::npos ? '/' : '\\';
  std::string stem;
  for (const char* p = prefix; p && *p && stem.size() < 3; ++p)
    stem += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  auto nameOf = [&](UINT number) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X", number & 0xFFFF);
    return directory + stem + digits + ".TMP";
  };
  auto give = [&](UINT number) -> UINT {
    std::string name = nameOf(number);
    if (name.size() >= MAX_PATH) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return 0;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return number;
  };
  if (unique != 0) return give(unique & 0xFFFF);
  // Start where a clock says, so processes racing for names rarely collide.
  static std::atomic<UINT> counter{static_cast<UINT>(
      std::chrono::steady_clock::now().time_since_epoch().count() ^ static_cast<long>(::getpid()))};
  for (int attempt = 0; attempt < 0x10000; ++attempt) {
    UINT number = counter.fetch_add(1) & 0xFFFF;
    if (number == 0) continue;
    std::string name = nameOf(number);
    if (name.size() >= MAX_PATH) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return 0;
    }
    auto mapped = mappedName(name.c_str());
    if (!mapped) return 0;
    UniqueFd fd(::open(mapped->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd) return give(number);
    if (errno != EEXIST) {
      failFromErrno();
      return 0;
    }
  }
  SetLastError(ERROR_FILE_EXISTS);
  return 0;
}

BOOL CopyFileA(const char* existingFile, const char* newFile, BOOL failIfExists) {
  auto from = mappedName(existingFile);
  if (!from) return FALSE;
  auto to = mappedName(newFile);
  if (!to) return FALSE;
  UniqueFd in(::open(from->c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (!in || ::fstat(in.get(), &st) != 0) return failFromErrno();
  if (S_ISDIR(st.st_mode)) return failWith(ERROR_ACCESS_DENIED);
  UniqueFd out(::open(to->c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC), 0600));
  if (!out) return failFromErrno();
  std::vector<char> chunk(64 * 1024);
  for (;;) {
    ssize_t n = ::read(in.get(), chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || (n > 0 && !writeAll(out.get(), chunk.data(), static_cast<std::size_t>(n)))) {
      DWORD error = systemErrorFromErrno(errno);
      out.reset();
      ::unlink(to->c_str());
      return failWith(error);
    }
    if (n == 0) break;
  }
  if (::fchmod(out.get(), st.st_mode & 07777) != 0) return failFromErrno();
  out.reset();
  if (!copyTimes(st, *to)) return failFromErrno();
  return TRUE;
}

BOOL SetFileAttributesA(const char* fileName, DWORD attributes) {
  auto path = mappedName(fileName);
  if (!path) return FALSE;
  struct stat st {};
  if (::stat(path->c_str(), &st) != 0) return failFromErrno();
  mode_t mode = st.st_mode & 07777;
  if (attributes == FILE_ATTRIBUTE_NORMAL)
    mode |= S_IWUSR;
  else if (attributes == FILE_ATTRIBUTE_READONLY)
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  else
    return failWith(ERROR_INVALID_PARAMETER);
  if (::chmod(path->c_str(), mode) != 0) return failFromErrno();
  return TRUE;
}

BOOL RemoveDirectoryA(const char* pathName) {
  auto path = mappedName(pathName);
  if (!path) return FALSE;
  if (::rmdir(path->c_str()) == 0) return TRUE;
  switch (errno) {
    case EEXIST:
    case ENOTEMPTY:
      return failWith(ERROR_DIR_NOT_EMPTY);
    case ENOTDIR: {
      struct stat st {};
      return failWith(::stat(path->c_str(), &st) == 0 ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND);
    }
    case ENOENT: {
      struct stat st {};
      std::string parent = std::filesystem::path(*path).parent_path().string();
      return failWith(::stat(parent.c_str(), &st) == 0 ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    }
    default:
      return failFromErrno();
  }
}

BOOL copyFileTimes(const char* source, const char* target) {
  auto from = mappedName(source);
  if (!from) return FALSE;
  auto to = mappedName(target);
  if (!to) return FALSE;
  struct stat st {};
  if (::stat(from->c_str(), &st) != 0 || !copyTimes(st, *to)) return failFromErrno();
  return TRUE;
}

void setPlatformIdForTesting(std::optional<DWORD> platformId) {
  std::lock_guard lock(fsHooksMutex);
  platformIdHook = platformId;
}

void setFreeDiskSpaceForTesting(std::optional<std::uint64_t> freeBytes) {
  std::lock_guard lock(fsHooksMutex);
  freeSpaceHook = freeBytes;
}

}  // namespace wf
