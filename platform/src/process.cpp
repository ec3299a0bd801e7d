#include "platform/process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/module.h"
#include "platform/paths.h"
#include "platform/trace.h"

namespace wf {
namespace {

constexpr UINT kExecStarted = 33;
constexpr UINT kExecNotFound = 2;
constexpr UINT kExecBadFormat = 11;
constexpr UINT kExecNoProcess = 0;

std::vector<std::string> splitCommandLine(std::string_view line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    std::string word;
    if (line[i] == '"') {
      auto end = line.find('"', i + 1);
      word = std::string(line.substr(i + 1, end == std::string_view::npos ? end : end - i - 1));
      i = end == std::string_view::npos ? line.size() : end + 1;
    } else {
      auto end = line.find_first_of(" \t", i);
      word = std::string(line.substr(i, end == std::string_view::npos ? end : end - i));
      i = end == std::string_view::npos ? line.size() : end;
    }
    words.push_back(std::move(word));
  }
  return words;
}

bool isSystemPath(std::string_view name) {
  return name.find('\\') != std::string_view::npos || (name.size() >= 2 && name[1] == ':');
}

// "NETDDE.EXE" is also looked for as "netdde".
std::vector<std::string> spellings(const std::string& name) {
  std::string lower = name;
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (lower.size() > 4 && lower.ends_with(".exe")) lower.resize(lower.size() - 4);
  if (lower == name) return {name};
  return {name, lower};
}

std::optional<std::filesystem::path> findProgram(const std::string& name) {
  namespace fs = std::filesystem;
  if (isSystemPath(name)) return mapSystemPath(name);
  if (name.find('/') != std::string::npos) return fs::path(name);
  std::vector<fs::path> dirs{moduleDirectory()};
  std::error_code ec;
  dirs.push_back(fs::current_path(ec));
  for (auto& dir : modulePathDirectories()) dirs.push_back(std::move(dir));
  for (const auto& dir : dirs) {
    for (const auto& spelling : spellings(name)) {
      fs::path candidate = dir / spelling;
      if (fs::is_regular_file(candidate, ec) && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
  }
  return std::nullopt;
}

// In the middle process: starts the program in a session of its own and
// leaves it to init. Never returns. Only system calls here: another thread
// of the caller may have held an allocator lock when it forked.
[[noreturn]] void startDetached(const char* path, char* const* argv, bool keepErrors, int errorPipe) {
  if (::fork() != 0) ::_exit(0);  // the caller reaps this one; the program is init's
  ::setsid();
  int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null >= 0) {
    ::dup2(null, 0);
    ::dup2(null, 1);
    if (!keepErrors) ::dup2(null, 2);
  }
  ::execv(path, argv);
  int error = errno;
  [[maybe_unused]] auto n = ::write(errorPipe, &error, sizeof error);
  ::_exit(127);
}

}  // namespace

UINT winExec(const char* commandLine, UINT) {
  auto words = splitCommandLine(commandLine ? commandLine : "");
  if (words.empty()) return kExecNotFound;
  auto program = findProgram(words[0]);
  if (!program || !std::filesystem::exists(*program)) {
    platformTrace("winExec: \"" + words[0] + "\" not found");
    return kExecNotFound;
  }
  std::string path = program->string();
  std::vector<char*> argv{path.data()};
  for (auto it = words.begin() + 1; it != words.end(); ++it) argv.push_back(it->data());
  argv.push_back(nullptr);
  const bool keepErrors = std::getenv("WRENFIELD_TRACE") != nullptr;
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return kExecNoProcess;
  pid_t middle = ::fork();
  if (middle < 0) {
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    return kExecNoProcess;
  }
  if (middle == 0) {
    ::close(pipeFds[0]);
    startDetached(path.c_str(), argv.data(), keepErrors, pipeFds[1]);
  }
  ::close(pipeFds[1]);
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  // Closed without a word once the program runs; an errno when exec failed.
  int error = 0;
  ssize_t n;
  do {
    n = ::read(pipeFds[0], &error, sizeof error);
  } while (n < 0 && errno == EINTR);
  ::close(pipeFds[0]);
  if (n == static_cast<ssize_t>(sizeof error)) {
    platformTrace("winExec: \"" + program->string() + "\" cannot be run: " + std::strerror(error));
    return error == ENOENT ? kExecNotFound : kExecBadFormat;
  }
  return kExecStarted;
}

}  // namespace wf
