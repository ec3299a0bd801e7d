#pragma once
// Files a user names (scenarios, hives, profiles, logs, data files): opened
// without ever blocking, taken only when they are regular files, and read
// no further than a bound. A FIFO, a device or a directory is refused with
// an error of one line that names the file.
#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/unique_fd.h"

namespace wf {

// open(2) with `flags` (O_CLOEXEC is added), kept only when the file is a
// regular one. On failure empty, errno set (ENOENT when it does not exist;
// EINVAL for a file that is not regular) and *error "<path>: <why>".
UniqueFd openRegularFile(const std::filesystem::path& path, int flags, std::string* error = nullptr,
                         mode_t mode = 0600);

// The same as a stdio stream (`mode` as fdopen's, e.g. "rb"), closed with
// fclose; null on failure.
std::FILE* openRegularStream(const std::filesystem::path& path, int flags, const char* mode,
                             std::string* error = nullptr);

// The whole of a regular file of at most `limit` bytes; a larger one is
// refused before anything is read. `flags` are added to O_RDONLY (O_NOFOLLOW).
// Failures as openRegularFile.
std::optional<std::string> readRegularFile(const std::filesystem::path& path, std::size_t limit,
                                           std::string* error = nullptr, int flags = 0);

}  // namespace wf
