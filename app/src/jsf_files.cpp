#include "app/jsf_files.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "platform/regular_file.h"

namespace wf {
namespace {

JsFiles defaultFiles;
std::atomic<JsFiles*> installed{nullptr};

bool writeAllJsf(int fd, const char* data, std::size_t bytes) {
  while (bytes > 0) {
    const ssize_t n = ::write(fd, data, bytes);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    bytes -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

UniqueFd JsFiles::openAppend(const std::filesystem::path& path) {
  return openRegularFile(path, O_RDWR | O_APPEND | O_CREAT);
}

bool JsFiles::close(UniqueFd& fd) {
  const int open = fd.release();
  return open < 0 || ::close(open) == 0;
}

UniqueFd JsFiles::openRead(const std::filesystem::path& path) {
  return openRegularFile(path, O_RDONLY);
}

std::optional<std::uint64_t> JsFiles::size(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

bool JsFiles::append(int fd, const char* data, std::size_t bytes) {
  return writeAllJsf(fd, data, bytes);
}

long JsFiles::readAt(int fd, char* buffer, std::size_t bytes, std::uint64_t offset) {
  ssize_t n;
  do {
    n = ::pread(fd, buffer, bytes, static_cast<off_t>(offset));
  } while (n < 0 && errno == EINTR);
  return static_cast<long>(n);
}

UniqueFd JsFiles::createTemporary(const std::filesystem::path& directory, std::filesystem::path* name) {
  std::string pattern = (directory / ".wfjsXXXXXX").string();
  UniqueFd fd(::mkostemp(pattern.data(), O_CLOEXEC));
  if (fd && name) *name = pattern;
  return fd;
}

bool JsFiles::write(int fd, const char* data, std::size_t bytes) {
  return writeAllJsf(fd, data, bytes);
}

bool JsFiles::flush(int fd) {
  return ::fsync(fd) == 0;
}

bool JsFiles::rename(const std::filesystem::path& from, const std::filesystem::path& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool JsFiles::remove(const std::filesystem::path& path) {
  return ::unlink(path.c_str()) == 0;
}

JsFiles& jsFiles() {
  JsFiles* files = installed.load();
  return files ? *files : defaultFiles;
}

void setJsFilesForTest(JsFiles* files) {
  installed = files;
}

}  // namespace wf
