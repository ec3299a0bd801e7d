#include "setup/checks.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/process_list.h"
#include "platform/registry.h"
#include "platform/unique_fd.h"
#include "setup/file_list.h"

namespace wf::setup {

namespace {

std::string upperCased(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The directory part of a module path, without its last separator.
std::string directoryPart(const std::string& modulePath) {
  std::size_t cut = modulePath.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : modulePath.substr(0, cut);
}

// A file's size, or the system's error for a file that cannot be opened.
std::optional<std::uint64_t> sizeOf(const std::string& name, DWORD* error) {
  auto path = mapSystemPath(name);
  UniqueFd fd(path ? ::open(path->c_str(), O_RDONLY | O_CLOEXEC) : -1);
  struct stat st {};
  if (!fd || ::fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode)) {
    *error = !path                          ? static_cast<DWORD>(ERROR_FILE_NOT_FOUND)
             : fd && S_ISDIR(st.st_mode) ? static_cast<DWORD>(ERROR_ACCESS_DENIED)
                                         : systemErrorFromErrno(errno);
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(st.st_size);
}

}  // namespace

bool platformSupported() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

bool anotherSetupRuns() {
  auto count = countProcesses(kSetupExe);
  return !count || *count >= 2;
}

std::string sourceDirectoryOf(const std::string& modulePath) {
  std::string dir = directoryPart(modulePath);
  if (dir.size() < 3) {
    // "C:" or "" left: the root of that drive, or of the Linux tree.
    return dir.size() == 2 && dir[1] == ':' ? dir + "\\" : modulePath.starts_with("/") ? "/" : "\\";
  }
  return dir + (modulePath[dir.size()] == '/' ? "/" : "\\");
}

std::string installLocationOf(const std::string& modulePath) {
  return upperCased(directoryPart(modulePath));
}

std::uint64_t freeBytesOnWindowsDrive() {
  char windows[MAX_PATH];
  if (GetWindowsDirectoryA(windows, sizeof windows) >= sizeof windows) return 0;
  char root[] = "C:\\";
  root[0] = windows[0];
  DWORD sectors = 0, bytes = 0, freeClusters = 0, total = 0;
  if (!GetDiskFreeSpaceA(root, &sectors, &bytes, &freeClusters, &total)) return 0;
  return std::uint64_t{sectors} * bytes * freeClusters;
}

SpaceNeeded spaceNeeded(const std::string& sourceDirectory) {
  SpaceNeeded need;
  auto list = readFileList(sourceDirectory + kFileListName);
  if (!list) return need;
  for (const std::string& file : list->files) {
    const std::string name = sourceDirectory + file;
    auto size = sizeOf(name, &need.error);
    if (!size) {
      need.missingFile = name;
      return need;
    }
    need.bytes += *size;
    // Room for the expanded file beside the compressed one.
    if (name.back() == '_') need.bytes += *size * 5 / 2;
  }
  return need;
}

void recordInstallLocation(const std::string& location) {
  HKEY installation = nullptr;
  char keyClass[sizeof kInstallationKeyClass];
  std::memcpy(keyClass, kInstallationKeyClass, sizeof keyClass);
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kInstallationKey, 0, keyClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &installation, nullptr) == ERROR_SUCCESS) {
    RegSetValueExA(installation, "RebootFlag", 0, REG_SZ, reinterpret_cast<const BYTE*>("0"), 2);
    RegCloseKey(installation);
  }
  HKEY mru = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kLocationsMruKey, 0, KEY_ALL_ACCESS, &mru) != ERROR_SUCCESS) return;
  DWORD type = REG_NONE, size = 0;
  if (RegQueryValueExA(mru, "MRUList", nullptr, &type, nullptr, &size) == ERROR_SUCCESS && size > 0) {
    std::vector<BYTE> order(size);
    if (RegQueryValueExA(mru, "MRUList", nullptr, &type, order.data(), &size) == ERROR_SUCCESS && size > 0 &&
        order[0] != 0) {
      const char name[2] = {static_cast<char>(order[0]), '\0'};
      std::vector<BYTE> value(kInstallLocationBytes, 0);
      std::memcpy(value.data(), location.data(), std::min<std::size_t>(location.size(), kInstallLocationBytes - 1));
      RegSetValueExA(mru, name, 0, type, value.data(), kInstallLocationBytes);
    }
  }
  RegCloseKey(mru);
}

bool productsIniIn(const std::string& directory) {
  auto path = mapSystemPath(inDirectory(directory, "products.ini"));
  struct stat st {};
  return path && ::stat(path->c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool serverDirectoryNamesFit(const std::string& directory) {
  std::size_t end = directory.size();
  while (end > 0) {
    std::size_t start = directory.find_last_of("\\/", end - 1);
    start = start == std::string::npos ? 0 : start + 1;
    std::string component = directory.substr(start, end - start);
    if (std::size_t dot = component.rfind('.'); dot != std::string::npos) component.resize(dot);
    // "C:" is a drive, not a name.
    bool drive = start == 0 && component.size() == 2 && component[1] == ':';
    if (!drive && component.size() > kServerNameChars) return false;
    end = start == 0 ? 0 : start - 1;
  }
  return true;
}

}  // namespace wf::setup
