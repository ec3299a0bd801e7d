#pragma once
// Per-user directories: the runtime directory holds every rendezvous object
// (sockets, mappings, locks); the data root holds persistent files.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace wf {

// $WRENFIELD_RUNTIME_DIR, else $XDG_RUNTIME_DIR/wrenfield, else
// <tmp>/wrenfield-<uid>. Created 0700 on first use and verified every call:
// owned by us, mode 0700, not a symlink (also when named with a trailing "/"
// or "/."), short enough for the socket names below it. Empty with *error
// set otherwise.
std::optional<std::filesystem::path> runtimeDir(std::string* error = nullptr);

// As runtimeDir(), but verified once per process: while the environment
// names the directory last verified, it is trusted without looking again.
// Hot paths use it; after an error that could mean the directory changed
// (gone, replaced), call recheckRuntimeDir() so the next call verifies.
std::optional<std::filesystem::path> checkedRuntimeDir(std::string* error = nullptr);
void recheckRuntimeDir();

// The runtime directory a process whose environment answers `env` (empty for
// an unset name) uses, unchecked: how processes tell who shares theirs.
std::filesystem::path runtimeDirOf(const std::function<std::string(const char*)>& env);

// A path below the runtime directory for a rendezvous object. Refused (empty,
// *error set) when the directory is unusable or the result would not fit a
// Unix socket address.
std::optional<std::filesystem::path> runtimePath(std::string_view relative, std::string* error = nullptr);
// The same below checkedRuntimeDir().
std::optional<std::filesystem::path> checkedRuntimePath(std::string_view relative,
                                                        std::string* error = nullptr);

// $WRENFIELD_ROOT, else $XDG_DATA_HOME/wrenfield, else ~/.local/share/wrenfield.
// Created 0700 when missing.
std::optional<std::filesystem::path> dataRoot(std::string* error = nullptr);

// Checks that `dir` exists, is a real directory owned by the caller and is
// mode 0700. Creates it (and missing parents) when `create` is set.
bool ensurePrivateDir(const std::filesystem::path& dir, bool create, std::string* error);

// Gives the first `bytes` of a file below the runtime directory their blocks
// before it is mapped: touching a page the file system has no room for
// would end the process with SIGBUS. False with *error ("runtime directory
// full: <path>: ..." when out of space) otherwise.
bool reserveRuntimeFile(int fd, std::size_t bytes, const std::filesystem::path& path, std::string* error);

// Longest path usable as a Unix socket address (sun_path less its terminator).
constexpr std::size_t kMaxSocketPath = 107;

// Room the longest name the system builds below the runtime directory needs
// ("mailslot/wrenfield%5Cselfcheck.sock" is 35 bytes); a runtime directory
// whose path leaves less is refused when it is first checked.
constexpr std::size_t kLongestRuntimeName = 40;

}  // namespace wf
