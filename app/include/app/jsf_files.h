#pragma once
// Every file operation of the job statistics service goes through JsFiles,
// so that tests can make any one of them fail (tests may run as root, where
// permissions never do). The default is the plain POSIX one.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "platform/unique_fd.h"

namespace wf {

class JsFiles {
 public:
  virtual ~JsFiles() = default;
  // For appending and reading, created 0600 when missing, contents kept.
  virtual UniqueFd openAppend(const std::filesystem::path& path);
  // For reading; the file must exist.
  virtual UniqueFd openRead(const std::filesystem::path& path);
  virtual std::optional<std::uint64_t> size(int fd);
  // All `bytes` at the end of the file, or false.
  virtual bool append(int fd, const char* data, std::size_t bytes);
  // Bytes read at `offset` (0 at the end), -1 on failure.
  virtual long readAt(int fd, char* buffer, std::size_t bytes, std::uint64_t offset);
  // A new file created exclusively in `directory`, its name in *name.
  virtual UniqueFd createTemporary(const std::filesystem::path& directory, std::filesystem::path* name);
  // All `bytes` at the current position, or false.
  virtual bool write(int fd, const char* data, std::size_t bytes);
  virtual bool flush(int fd);
  // Closes `fd` (left empty either way); false when the close failed.
  virtual bool close(UniqueFd& fd);
  virtual bool rename(const std::filesystem::path& from, const std::filesystem::path& to);
  virtual bool remove(const std::filesystem::path& path);
};

// The seam in use; null restores the default.
JsFiles& jsFiles();
void setJsFilesForTest(JsFiles* files);

}  // namespace wf
