#pragma once
// The one mapping from the system's own paths ("c:\wf32.log",
// "C:\WINDOWS\WIN.INI", "dir\*.*") to Linux paths. A drive letter is a
// directory below the data root (<root>/drives/c); backslashes become
// slashes; each component that already exists is matched without regard to
// ASCII letter case. Linux absolute paths pass through unchanged, relative
// paths stay relative.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace wf {

// Empty with *error set for paths that cannot be mapped: ".." above the
// drive's root, network names ("\\server\share"), an unusable data root.
// The drive's directory is created when missing.
std::optional<std::filesystem::path> mapSystemPath(std::string_view path, std::string* error = nullptr);

}  // namespace wf
