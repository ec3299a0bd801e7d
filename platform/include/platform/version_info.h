#pragma once
// Version information of a deliverable, read from its file without loading
// it (the stand-in for a version resource).
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wf {

struct VersionInfo {
  // Each version is two words: (a << 16 | b) and (c << 16 | d) of a.b.c.d.
  std::uint32_t fileVersionMS = 0;
  std::uint32_t fileVersionLS = 0;
  std::uint32_t productVersionMS = 0;
  std::uint32_t productVersionLS = 0;
  // "FileDescription", "FileVersion" ("1, 0, 0, 1"), "ProductVersion".
  std::vector<std::pair<std::string, std::string>> strings;

  // Names match case-insensitively; null when there is no such value.
  const std::string* value(std::string_view name) const;
};

enum class VersionStatus {
  Found,
  None,        // a well-formed file without version information
  Unreadable,  // missing, not a regular file, or unreadable
  Malformed,   // not a 64-bit little-endian ELF file, or damaged
};

struct VersionRead {
  VersionStatus status = VersionStatus::Unreadable;
  VersionInfo info;  // meaningful only when Found
};

VersionRead readVersionInfo(const std::filesystem::path& file);

}  // namespace wf
