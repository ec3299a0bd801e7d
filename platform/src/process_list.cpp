#include "platform/process_list.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "platform/runtime_dir.h"

namespace wf {
namespace {

namespace fs = std::filesystem;

std::atomic<bool> processListUnreadable{false};

std::string upperAscii(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The variables of a process's environment; empty when it cannot be read
// (ended, or not ours to read).
std::optional<std::map<std::string, std::string>> environmentOf(const fs::path& procDir) {
  std::ifstream in(procDir / "environ", std::ios::binary);
  if (!in) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  std::map<std::string, std::string> variables;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\0', at);
    if (end == std::string::npos) end = text.size();
    std::string entry = text.substr(at, end - at);
    if (std::size_t eq = entry.find('='); eq != std::string::npos)
      variables.emplace(entry.substr(0, eq), entry.substr(eq + 1));
    at = end + 1;
  }
  return variables;
}

fs::path comparable(const fs::path& dir) {
  std::error_code ec;
  fs::path canonical = fs::weakly_canonical(dir, ec);
  return ec ? dir.lexically_normal() : canonical;
}

}  // namespace

std::optional<std::vector<ProcessEntry>> listProcesses() {
  if (processListUnreadable) return std::nullopt;
  auto ours = runtimeDir();
  if (!ours) return std::nullopt;
  const fs::path own = comparable(*ours);
  std::error_code ec;
  fs::directory_iterator it("/proc", ec);
  if (ec) return std::nullopt;
  std::vector<ProcessEntry> result;
  for (fs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) return std::nullopt;
    const std::string name = it->path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    struct stat st {};
    if (::stat(it->path().c_str(), &st) != 0 || st.st_uid != ::geteuid()) continue;
    // A process's environment file holds what it started with; this one may
    // have chosen its directory since, but shares it by definition.
    if (std::stoi(name) != ::getpid()) {
      auto environment = environmentOf(it->path());
      if (!environment) continue;
      auto env = [&](const char* variable) {
        auto found = environment->find(variable);
        return found == environment->end() ? std::string() : found->second;
      };
      if (comparable(runtimeDirOf(env)) != own) continue;
    }
    std::error_code linkError;
    std::string exe = fs::read_symlink(it->path() / "exe", linkError).filename().string();
    if (linkError || exe.empty()) continue;
    // A program replaced while it runs still counts under its name.
    if (const std::string deleted = " (deleted)"; exe.ends_with(deleted)) exe.resize(exe.size() - deleted.size());
    exe = upperAscii(exe);
    if (exe.find('.') == std::string::npos) exe += ".EXE";
    result.push_back({std::stoi(name), exe});
  }
  return result;
}

std::optional<int> countProcesses(const std::string& exeName) {
  auto list = listProcesses();
  if (!list) return std::nullopt;
  const std::string wanted = upperAscii(exeName);
  int count = 0;
  for (const ProcessEntry& entry : *list) count += entry.exeName == wanted;
  return count;
}

void setProcessListUnreadableForTesting(bool unreadable) {
  processListUnreadable = unreadable;
}

}  // namespace wf
