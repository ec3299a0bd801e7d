#include "platform/paths.h"

#include <algorithm>
#include <vector>

#include "platform/runtime_dir.h"

namespace wf {
namespace fs = std::filesystem;

namespace {

char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

bool fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

// The entry of `dir` that `name` means: itself when it exists, else the first
// (in byte order, so the choice is stable) that differs only in case, else
// `name` as given.
std::string matchEntry(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  if (fs::exists(fs::symlink_status(dir / name, ec))) return name;
  std::vector<std::string> matches;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string entry = it->path().filename().string();
    if (sameIgnoringCase(entry, name)) matches.push_back(std::move(entry));
  }
  if (matches.empty()) return name;
  return *std::min_element(matches.begin(), matches.end());
}

// Splits at either separator, dropping empty and "." components; ".." takes
// back one component and may not climb above the start.
bool components(std::string_view rest, std::vector<std::string>* out, std::string* error) {
  while (!rest.empty()) {
    auto sep = rest.find_first_of("\\/");
    std::string_view name = rest.substr(0, sep);
    rest.remove_prefix(sep == std::string_view::npos ? rest.size() : sep + 1);
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      if (out->empty()) return fail(error, "path leaves its drive");
      out->pop_back();
      continue;
    }
    out->emplace_back(name);
  }
  return true;
}

}  // namespace

std::optional<fs::path> mapSystemPath(std::string_view path, std::string* error) {
  if (path.empty()) {
    fail(error, "empty path");
    return std::nullopt;
  }
  if (path[0] == '/') return fs::path(path);
  if (path.size() >= 2 && (path[0] == '\\') && (path[1] == '\\' || path[1] == '/')) {
    fail(error, "network paths are not mapped: " + std::string(path));
    return std::nullopt;
  }
  bool hasDrive = path.size() >= 2 && path[1] == ':' &&
                  ((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z'));
  if (!hasDrive && path[0] != '\\') {
    // Relative: only the separators change.
    std::string relative(path);
    std::replace(relative.begin(), relative.end(), '\\', '/');
    return fs::path(relative);
  }
  // "\dir\file" names the root of the current drive, which is always C.
  char drive = hasDrive ? lower(path[0]) : 'c';
  std::vector<std::string> parts;
  if (!components(path.substr(hasDrive ? 2 : 0), &parts, error)) return std::nullopt;
  auto root = dataRoot(error);
  if (!root) return std::nullopt;
  fs::path result = *root / "drives";
  if (!ensurePrivateDir(result, true, error)) return std::nullopt;
  result /= std::string(1, drive);
  if (!ensurePrivateDir(result, true, error)) return std::nullopt;
  for (const auto& name : parts) result /= matchEntry(result, name);
  return result;
}

}  // namespace wf
