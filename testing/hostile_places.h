#pragma once
// Places a user may name where a file belongs, which every reader of such a
// file must refuse with a one-line error naming it: no hang, no crash, no
// read without end.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace wf::testing {

enum class Hostile { directory, fifo, device, large, loop };

struct HostilePlace {
  const char* what;
  Hostile kind;
  bool regular;  // the sparse 100 MB file: refused by a reader with a bound only
};

// A directory, a FIFO that nobody writes, /dev/zero, a sparse file of
// 100 MB, a symlink loop.
const std::vector<HostilePlace>& hostilePlaces();

// Puts `kind` at `at` in place of whatever was there (the device as a
// symlink to /dev/zero).
void makeHostile(Hostile kind, const std::filesystem::path& at);

// A 64 KiB tmpfs filled to the brim at `at` (created 0700), mounted in a
// mount namespace of this process's own, so it goes with the process and
// the programs it starts see it. Empty with *why when this process may not
// mount.
std::optional<std::filesystem::path> mountFullTmpfs(const std::filesystem::path& at, std::string* why);

// Whether `error` is one line that names `path`.
bool namesInOneLine(const std::string& error, const std::filesystem::path& path);

// Puts each hostile place at `at` and calls `read`, which must refuse it
// with a one-line error naming `at` (true: taken). Only a reader that may
// take a large regular file (`takesLarge`, e.g. a log) takes the 100 MB one.
void expectHostilePlacesRefused(const std::filesystem::path& at,
                                const std::function<bool(std::string* error)>& read, bool takesLarge = false);

}  // namespace wf::testing
