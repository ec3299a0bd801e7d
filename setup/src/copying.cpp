#include "setup/copying.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "framework/shell_services.h"
#include "platform/file_system.h"
#include "platform/lz.h"
#include "platform/paths.h"

namespace wf::setup {

namespace {

namespace fs = std::filesystem;

std::string baseNameOf(const std::string& path) {
  return path.substr(path.find_last_of("\\/") + 1);
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool fileExists(const std::string& name) {
  auto path = mapSystemPath(name);
  struct stat st {};
  return path && ::lstat(path->c_str(), &st) == 0;
}

std::string formatError(const char* format, long error, const std::string& from, const std::string& to) {
  std::vector<char> text(64 + from.size() + to.size());
  std::snprintf(text.data(), text.size(), format, error, from.c_str(), to.c_str());
  return text.data();
}

// Expands (or, for a plain file, copies) `source` into the directory unless
// its target is there already; false when the file fails.
bool expandInto(const std::string& source, const std::string& targetDirectory, const CopyNotice& notice) {
  const bool compressed = !source.empty() && source.back() == '_';
  std::string targetName = baseNameOf(source);
  if (compressed) {
    std::vector<char> expanded(source.size() + 1);
    if (GetExpandedNameA(source.c_str(), expanded.data()) == TRUE) targetName = baseNameOf(expanded.data());
  }
  const std::string target = inDirectory(targetDirectory, targetName);
  if (fileExists(target)) return true;
  const INT in = LZOpenFileA(source.c_str(), nullptr, OF_READ);
  // A plain file that cannot be opened was reported by its copy already.
  if (in == LZERROR_BADINHANDLE) return !compressed;
  LONG result = in;
  if (in >= 0) {
    const INT out = LZOpenFileA(target.c_str(), nullptr, OF_CREATE);
    result = out < 0 ? LZERROR_BADOUTHANDLE : LZCopy(in, out);
    LZClose(in);
    if (out >= 0) LZClose(out);
  }
  if (result < 0) {
    notice(formatError("Error %li\nExpanding %s\nTo %s", result, source, target));
    if (auto partial = mapSystemPath(target)) ::unlink(partial->c_str());
    return false;
  }
  copyFileTimes(source.c_str(), target.c_str());
  return true;
}

}  // namespace

std::optional<std::string> makeTemporaryDirectory() {
  char windows[MAX_PATH];
  if (GetWindowsDirectoryA(windows, sizeof windows) >= sizeof windows) return std::nullopt;
  const char drive[] = {windows[0], ':', '\0'};
  char name[MAX_PATH];
  if (GetTempFileNameA(drive, "cor", 0, name) == 0) return std::nullopt;
  auto path = mapSystemPath(name);
  if (!path || ::unlink(path->c_str()) != 0 || ::mkdir(path->c_str(), 0700) != 0) return std::nullopt;
  return std::string(name);
}

std::optional<std::string> copyDistribution(const std::string& sourceDirectory, const std::string& targetDirectory,
                                            const FileList& list, const CopyNotice& notice) {
  const std::string listSource = sourceDirectory + kFileListName;
  bool listNamesItself = false;
  for (const std::string& token : list.files) {
    const std::string source = sourceDirectory + token;
    if (sameIgnoringCase(source, listSource)) {
      listNamesItself = true;
      continue;
    }
    if (namesAnotherDirectory(token)) return source;
    const std::string target = inDirectory(targetDirectory, token);
    if (!fileExists(target) && !CopyFileA(source.c_str(), target.c_str(), TRUE))
      notice(formatError("Error %li\nCopying %s as is\nTo %s", static_cast<long>(GetLastError()), source, target));
    if (!expandInto(source, targetDirectory, notice)) return source;
  }
  if (listNamesItself && !expandInto(listSource, targetDirectory, notice)) return listSource;
  return std::nullopt;
}

void deleteFilesIn(const std::string& directory) {
  auto path = mapSystemPath(directory);
  if (!path) return;
  std::error_code ec;
  for (fs::directory_iterator it(*path, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) continue;
    SetFileAttributesA(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
    ::unlink(it->path().c_str());
  }
}

DWORD removeTemporaryDirectory(const std::string& directory) {
  deleteFilesIn(directory);
  // Out of the directory before it goes.
  char windows[MAX_PATH];
  std::error_code ec;
  if (GetWindowsDirectoryA(windows, sizeof windows) < sizeof windows)
    if (auto path = mapSystemPath(windows)) fs::current_path(*path, ec);
  return RemoveDirectoryA(directory.c_str()) ? static_cast<DWORD>(ERROR_SUCCESS) : GetLastError();
}

CopyRun runCopying(const std::string& sourceDirectory, const std::function<std::string(UINT)>& text, CheckUi& ui) {
  CopyRun run;
  auto made = makeTemporaryDirectory();
  if (!made) return run;
  run.temporaryDirectory = *made;
  auto path = mapSystemPath(run.temporaryDirectory);
  std::error_code ec;
  if (!path || (fs::current_path(*path, ec), ec)) return run;
  auto list = readFileList(sourceDirectory + kFileListName);
  if (!list) return run;
  run.installerArgument = list->installerArgument;
  const std::string caption = text(kTextCaption);
  auto failed = copyDistribution(sourceDirectory, run.temporaryDirectory, *list,
                                 [&](const std::string& notice) { ui.showBox(notice, caption, MB_OK); });
  if (failed) {
    std::vector<char> message(64 + failed->size());
    std::snprintf(message.data(), message.size(), "Error attempting to unpack %s", failed->c_str());
    ui.showBox(message.data(), caption, MB_OK | MB_TASKMODAL);
    return run;
  }
  run.copied = true;
  return run;
}

bool cleanUpTemporaryDirectory(const std::string& directory, const std::function<std::string(UINT)>& text,
                               CheckUi& ui) {
  const DWORD error = removeTemporaryDirectory(directory);
  if (error == ERROR_SUCCESS) return true;
  if (error == static_cast<DWORD>(ERROR_DIR_NOT_EMPTY)) {
    ui.showBox(text(kTextDirectoryNotEmpty), text(kTextCaption), MB_OK);
  } else if (error == static_cast<DWORD>(ERROR_FILE_NOT_FOUND) || error == static_cast<DWORD>(ERROR_PATH_NOT_FOUND)) {
    ui.showBox(text(kTextDirectoryNotFound), text(kTextCaption), MB_OK);
  } else {
    // Only the directory's name is put in; any other '%' of the text stays as it is.
    std::string message = text(kTextCouldNotRemove);
    if (auto at = message.find("%s"); at != std::string::npos) message.replace(at, 2, directory);
    ui.showBox(message, text(kTextRemovalCaption), MB_OK);
  }
  return false;
}

}  // namespace wf::setup
