#pragma once
// The NetDDE agent ("NETDDE.EXE", program `netdde`): while it runs, a window
// of class "NetDDEMainWdw" tells its starters that NetDDE is up. It stays
// while it is used: every starter holds the users lock shared before it
// starts the agent and as long as it needs it; the agent ends once it can
// take that lock exclusively.
#include <optional>
#include <string>

#include "platform/file_lock.h"

namespace wf {

constexpr const char* kNetDdeProgram = "NETDDE.EXE";
constexpr const char* kNetDdeWindowClass = "NetDDEMainWdw";
// How long a starter waits for an agent that is ending to be gone (system ms).
constexpr std::uint32_t kNetDdeUsersWait = 5'000;

// The users lock "netdde/users" below the runtime directory, not yet taken.
std::optional<FileLock> openNetDdeUsersLock(std::string* error = nullptr);
// "netdde/agent": held exclusively by the one running agent.
std::optional<FileLock> openNetDdeAgentLock(std::string* error = nullptr);

}  // namespace wf
