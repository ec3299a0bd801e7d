#include "platform/runtime_dir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>

namespace wf {
namespace fs = std::filesystem;

namespace {

void setRuntimeDirError(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}

std::string envOr(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

// "a/b/" and "a/b/." name "a/b" itself, but lstat follows a link named so.
fs::path withoutTrailingDots(fs::path dir) {
  std::string s = dir.native();
  for (;;) {
    if (s.size() > 1 && s.back() == '/') {
      s.pop_back();
    } else if (s.size() > 2 && s.ends_with("/.")) {
      s.resize(s.size() - 2);
    } else {
      break;
    }
  }
  return s;
}

}  // namespace

bool ensurePrivateDir(const fs::path& named, bool create, std::string* error) {
  const fs::path dir = withoutTrailingDots(named);
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0) {
    if (errno != ENOENT || !create) {
      setRuntimeDirError(error, "cannot use directory " + dir.string() + ": " + std::strerror(errno));
      return false;
    }
    std::error_code ec;
    if (dir.has_parent_path()) fs::create_directories(dir.parent_path(), ec);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
      setRuntimeDirError(error, "cannot create directory " + dir.string() + ": " + std::strerror(errno));
      return false;
    }
    if (::lstat(dir.c_str(), &st) != 0) {
      setRuntimeDirError(error, "cannot use directory " + dir.string() + ": " + std::strerror(errno));
      return false;
    }
  }
  if (S_ISLNK(st.st_mode)) {
    setRuntimeDirError(error, "refusing directory " + dir.string() + ": it is a symbolic link");
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    setRuntimeDirError(error, "refusing " + dir.string() + ": not a directory");
    return false;
  }
  if (st.st_uid != ::geteuid()) {
    setRuntimeDirError(error, "refusing directory " + dir.string() + ": owned by uid " + std::to_string(st.st_uid) +
                        ", not by this user (uid " + std::to_string(::geteuid()) + ")");
    return false;
  }
  if ((st.st_mode & 0777) != 0700) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%03o", static_cast<unsigned>(st.st_mode & 0777));
    setRuntimeDirError(error,
             "refusing directory " + dir.string() + ": mode " + mode + " lets others in (must be 700)");
    return false;
  }
  return true;
}

fs::path runtimeDirOf(const std::function<std::string(const char*)>& env) {
  if (auto v = env("WRENFIELD_RUNTIME_DIR"); !v.empty()) return v;
  if (auto x = env("XDG_RUNTIME_DIR"); !x.empty()) return fs::path(x) / "wrenfield";
  // As the library's temporary directory is found.
  fs::path tmp = "/tmp";
  for (const char* name : {"TMPDIR", "TMP", "TEMP", "TEMPDIR"}) {
    if (auto t = env(name); !t.empty()) {
      tmp = t;
      break;
    }
  }
  return tmp / ("wrenfield-" + std::to_string(::geteuid()));
}

std::optional<fs::path> runtimeDir(std::string* error) {
  fs::path dir = runtimeDirOf(envOr);
  if (!ensurePrivateDir(dir, true, error)) return std::nullopt;
  if (dir.native().size() + 1 + kLongestRuntimeName > kMaxSocketPath) {
    setRuntimeDirError(error, "refusing runtime directory " + dir.string() + ": its path of " +
                        std::to_string(dir.native().size()) +
                        " bytes leaves too little room for the socket names " + "below it (at most " +
                        std::to_string(kMaxSocketPath - 1 - kLongestRuntimeName) + " bytes)");
    return std::nullopt;
  }
  return dir;
}

namespace {

std::mutex runtimeDirCheckMutex;
fs::path lastCheckedRuntimeDir;  // empty until verified, and after recheckRuntimeDir()

std::optional<fs::path> pathBelowRuntimeDir(const std::optional<fs::path>& dir, std::string_view relative,
                                  std::string* error) {
  if (!dir) return std::nullopt;
  fs::path p = *dir / fs::path(relative);
  if (p.native().size() > kMaxSocketPath) {
    setRuntimeDirError(error, "name too long for the runtime directory: " + p.string() + " (" +
                        std::to_string(p.native().size()) + " bytes, at most " +
                        std::to_string(kMaxSocketPath) + ")");
    return std::nullopt;
  }
  return p;
}

}  // namespace

std::optional<fs::path> runtimePath(std::string_view relative, std::string* error) {
  return pathBelowRuntimeDir(runtimeDir(error), relative, error);
}

std::optional<fs::path> checkedRuntimeDir(std::string* error) {
  fs::path named = runtimeDirOf(envOr);
  {
    std::lock_guard lock(runtimeDirCheckMutex);
    if (!lastCheckedRuntimeDir.empty() && lastCheckedRuntimeDir == named) return named;
  }
  auto dir = runtimeDir(error);
  std::lock_guard lock(runtimeDirCheckMutex);
  lastCheckedRuntimeDir = dir ? *dir : fs::path();
  return dir;
}

void recheckRuntimeDir() {
  std::lock_guard lock(runtimeDirCheckMutex);
  lastCheckedRuntimeDir.clear();
}

std::optional<fs::path> checkedRuntimePath(std::string_view relative, std::string* error) {
  return pathBelowRuntimeDir(checkedRuntimeDir(error), relative, error);
}

std::optional<fs::path> dataRoot(std::string* error) {
  fs::path dir;
  if (auto v = envOr("WRENFIELD_ROOT"); !v.empty()) {
    dir = v;
  } else if (auto x = envOr("XDG_DATA_HOME"); !x.empty()) {
    dir = fs::path(x) / "wrenfield";
  } else if (auto h = envOr("HOME"); !h.empty()) {
    dir = fs::path(h) / ".local" / "share" / "wrenfield";
  } else {
    setRuntimeDirError(error, "no data root: set WRENFIELD_ROOT or HOME");
    return std::nullopt;
  }
  if (!ensurePrivateDir(dir, true, error)) return std::nullopt;
  return dir;
}

bool reserveRuntimeFile(int fd, std::size_t bytes, const std::filesystem::path& path, std::string* error) {
  int result;
  do {
    result = ::posix_fallocate(fd, 0, static_cast<off_t>(bytes));
  } while (result == EINTR);
  if (result == 0) return true;
  if (error) {
    const bool full = result == ENOSPC || result == EDQUOT;
    *error = std::string(full ? "runtime directory full: " : "cannot reserve room for ") + path.string() +
             ": " + std::strerror(result);
  }
  return false;
}

}  // namespace wf
