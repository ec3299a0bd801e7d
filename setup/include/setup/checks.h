#pragma once
// What setup checks before it copies anything, one call per check, and the
// registry values it keeps. Paths are system paths; setup's own files are
// Linux paths, where '/' separates as '\' does.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/win_types.h"

namespace wf::setup {

constexpr char kInstallationKey[] = "Software\\Corvane\\Wrenfield\\1.0\\Settings\\Installation";
constexpr char kInstallationKeyClass[] = "Installation Settings";
constexpr char kLocationsMruKey[] = "InstallLocationsMRU";
constexpr DWORD kInstallLocationBytes = 261;
constexpr char kSetupExe[] = "SETUP.EXE";
constexpr std::size_t kServerNameChars = 8;

// The platform's id is the one setup was made for.
bool platformSupported();

// Another setup runs beside the caller, or the process list cannot be read.
bool anotherSetupRuns();

// The directory of setup's own file, with its separator: the source of the
// files. Its root when less than 3 characters are left.
std::string sourceDirectoryOf(const std::string& modulePath);
// The same directory, upper-cased and without the separator: the install
// location setup records.
std::string installLocationOf(const std::string& modulePath);

// The free bytes of the Windows directory's drive.
std::uint64_t freeBytesOnWindowsDrive();

struct SpaceNeeded {
  std::uint64_t bytes = 0;
  // The first listed file that cannot be opened (its full name), with the
  // system's error; then `bytes` counts only the files before it.
  std::optional<std::string> missingFile;
  DWORD error = 0;
};
// The room the list in `sourceDirectory` asks for: each file's size, three
// and a half times over for a compressed one (a name ending in '_'). A
// missing list asks for nothing.
SpaceNeeded spaceNeeded(const std::string& sourceDirectory);

// Sets "RebootFlag" to "0" under the Installation key, and puts the location
// in the value of "InstallLocationsMRU" that the first character of its
// "MRUList" names, with that value's type. A missing MRU key is left
// missing; an empty "MRUList" names nothing.
void recordInstallLocation(const std::string& location);

// "products.ini" lies in the directory.
bool productsIniIn(const std::string& directory);

// Every component of the server directory, extension removed, has at most
// 8 characters.
bool serverDirectoryNamesFit(const std::string& directory);

}  // namespace wf::setup
