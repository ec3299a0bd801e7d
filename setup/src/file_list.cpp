#include "setup/file_list.h"

#include <algorithm>
#include <sstream>

#include "platform/paths.h"
#include "platform/regular_file.h"

namespace wf::setup {

namespace {

bool isListDelimiter(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::optional<FileList> readFileList(const std::string& path) {
  auto mapped = mapSystemPath(path);
  if (!mapped) return std::nullopt;
  // A FIFO or device never holds setup up; a list beyond any diskette's is refused.
  auto text = readRegularFile(*mapped, kFileListBytes);
  if (!text) return std::nullopt;
  std::istringstream in(*text);
  FileList list;
  std::string line;
  if (!std::getline(in, line)) return list;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  list.installerArgument = line.substr(0, std::min(line.find('\0'), kListArgumentChars));
  while (std::getline(in, line)) {
    // A NUL ends what the line says.
    line.resize(std::min(line.find('\0'), line.size()));
    std::size_t start = 0;
    while (start < line.size() && isListDelimiter(line[start])) ++start;
    std::size_t end = start;
    while (end < line.size() && !isListDelimiter(line[end])) ++end;
    if (end > start) list.files.push_back(line.substr(start, end - start));
  }
  return list;
}

std::string inDirectory(const std::string& directory, const std::string& name) {
  if (directory.empty() || directory.back() == '\\' || directory.back() == '/') return directory + name;
  const bool linux = directory.find('/') != std::string::npos && directory.find('\\') == std::string::npos;
  return directory + (linux ? '/' : '\\') + name;
}

bool namesAnotherDirectory(std::string_view token) {
  return token.find_first_of("\\/:") != std::string_view::npos || token == "." || token == "..";
}

}  // namespace wf::setup
