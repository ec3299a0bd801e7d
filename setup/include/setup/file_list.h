#pragma once
// The distribution's file list "setupwf.lst": line 1 is the installer's
// argument, every further line names one file by its first token.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wf::setup {

constexpr char kFileListName[] = "setupwf.lst";
// The room the lines had: 255 characters for line 1, 99 for a file's line.
constexpr std::size_t kListArgumentChars = 255;
constexpr std::size_t kListLineChars = 99;
// The largest list read.
constexpr std::size_t kFileListBytes = 1 << 20;

struct FileList {
  // Line 1 without its line end, cut at kListArgumentChars; the rest of an
  // overlong line 1 is dropped, never taken for a file.
  std::string installerArgument;
  // The first token of each further line that has one (blank, tab and
  // carriage return separate; a NUL ends the line). A line longer than kListLineChars still gives
  // its whole first token, so a long name fails as itself.
  std::vector<std::string> files;
};

// Empty when the list cannot be opened, is not a regular file or is larger
// than kFileListBytes.
std::optional<FileList> readFileList(const std::string& path);

// `name` inside `directory`, joined with the separator the directory uses.
std::string inDirectory(const std::string& directory, const std::string& name);

// A token that leaves the directory it is looked for in ("..", a
// separator, a drive): never copied or expanded.
bool namesAnotherDirectory(std::string_view token);

}  // namespace wf::setup
