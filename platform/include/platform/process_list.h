#pragma once
// The running programs of this system's machine: the processes of this user
// that share the caller's runtime directory, in place of the original
// platform's process walk. The list is always there (no look-up of the walk's
// functions), but can be made unreadable for tests.
#include <optional>
#include <string>
#include <vector>

namespace wf {

struct ProcessEntry {
  int pid = 0;
  // The executable's base name upper-cased, ".EXE" added when it has no
  // extension: "SETUP.EXE", "CINSTALL.EXE".
  std::string exeName;
};

// The caller is among them. Processes that end during the walk are left out.
// Empty when the list cannot be read.
std::optional<std::vector<ProcessEntry>> listProcesses();

// How many of them run the executable `exeName` (compared ignoring case);
// empty when the list cannot be read.
std::optional<int> countProcesses(const std::string& exeName);

void setProcessListUnreadableForTesting(bool unreadable);

}  // namespace wf
