#include "common/filename.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/paths.h"

namespace fs = std::filesystem;

namespace {

// The longest path the system's buffers hold, without the terminator.
constexpr std::size_t kMaxPath = 260;

bool isSeparator(char c) {
  return c == '\\' || c == '/';
}

bool hasDrive(std::string_view path) {
  return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
}

// The directory that holds one directory per drive letter.
std::optional<fs::path> drivesDirectory() {
  auto drive = wf::mapSystemPath("C:\\");
  if (!drive) return std::nullopt;
  return fs::weakly_canonical(*drive).parent_path();
}

}  // namespace

namespace wf {

std::string currentSystemDirectory() {
  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);
  const auto drives = drivesDirectory();
  if (ec || !drives) return "C:\\";
  const fs::path rel = fs::weakly_canonical(cwd, ec).lexically_relative(*drives);
  auto it = rel.begin();
  if (ec || it == rel.end()) return "C:\\";
  const std::string letter = it->string();
  if (letter.size() != 1 || !std::isalpha(static_cast<unsigned char>(letter[0]))) return "C:\\";
  std::string result = std::string(1, static_cast<char>(std::toupper(letter[0]))) + ":";
  for (++it; it != rel.end(); ++it) result += "\\" + it->string();
  if (result.size() == 2) result += "\\";
  return result;
}

std::string absoluteSystemPath(std::string_view name) {
  const std::string current = currentSystemDirectory();
  std::string drive;
  std::string rest;
  if (hasDrive(name)) {
    drive = std::string(name.substr(0, 2));
    rest = std::string(name.substr(2));
    const bool sameDrive = std::toupper(static_cast<unsigned char>(drive[0])) ==
                           std::toupper(static_cast<unsigned char>(current[0]));
    if (rest.empty() || !isSeparator(rest[0])) rest = (sameDrive ? current.substr(2) : "\\") + "\\" + rest;
  } else {
    drive = current.substr(0, 2);
    rest = (!name.empty() && isSeparator(name[0])) ? std::string(name)
                                                   : current.substr(2) + "\\" + std::string(name);
  }
  std::vector<std::string> parts;
  std::string part;
  auto take = [&]() -> bool {
    if (part == "..") {
      if (parts.empty()) return false;
      parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    part.clear();
    return true;
  };
  for (char c : rest) {
    if (!isSeparator(c)) {
      part += c;
    } else if (!take()) {
      return {};
    }
  }
  if (!take()) return {};
  std::string result = drive;
  for (const auto& p : parts) result += "\\" + p;
  if (parts.empty()) result += "\\";
  return result;
}

}  // namespace wf

void CFilename::MakeFullPath(LPCSTR directory, LPCSTR name) {
  const std::string_view nameText = name ? name : "";
  const std::string_view dirText = directory ? directory : "";
  std::string path;
  if (nameText.find_first_of("\\:") != std::string_view::npos) {
    path = wf::absoluteSystemPath(nameText);
    if (path.empty()) return;
  } else {
    path = std::string(dirText);
    if (!path.empty() && path.back() != '\\') path += '\\';
    path += nameText;
  }
  if (path.size() > kMaxPath) return;
  m_path = CString(path);
  m_path.MakeLower();
}

void CFilename::RemoveFilename() {
  const int slash = m_path.ReverseFind('\\');
  if (slash < 0 || slash == m_path.GetLength() - 1) return;
  m_path = m_path.Left(slash);
}

void CFilename::RemoveExtension() {
  const int dot = m_path.ReverseFind('.');
  if (dot > m_path.ReverseFind('\\')) m_path = m_path.Left(dot);
}

CString CFilename::GetFilenameOnly() const {
  const int slash = m_path.ReverseFind('\\');
  return slash < 0 ? CString() : m_path.Mid(slash + 1);
}

BOOL FileExists(LPCSTR path) {
  if (!path) return FALSE;
  const auto mapped = wf::mapSystemPath(path);
  struct stat info;
  return mapped && ::stat(mapped->c_str(), &info) == 0;
}

BOOL ChangeDirectory(LPCSTR path) {
  if (!path) return FALSE;
  const std::string absolute = wf::absoluteSystemPath(path);
  if (absolute.empty() || absolute.size() > kMaxPath) return FALSE;
  const auto mapped = wf::mapSystemPath(absolute);
  return mapped && ::chdir(mapped->c_str()) == 0;
}
