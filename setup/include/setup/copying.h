#pragma once
// Setup's copying: a temporary directory of its own, every listed file
// copied into it and the compressed ones expanded beside, and the directory
// emptied and removed at the end.
#include <functional>
#include <optional>
#include <string>

#include "platform/win_types.h"
#include "setup/check_sequence.h"
#include "setup/file_list.h"

namespace wf::setup {

// A new directory named by GetTempFileNameA on the Windows directory's drive
// ("C:"), prefix "cor": the file it makes is replaced by the directory.
// Empty on failure.
std::optional<std::string> makeTemporaryDirectory();

// Texts that are shown and do not decide the outcome.
using CopyNotice = std::function<void(const std::string& text)>;

// Copies each listed file of `sourceDirectory` into `targetDirectory` under
// its own name and expands it there (a compressed one under its expanded
// name, with the source's times), skipping a target already there; the list
// itself, when listed, only at the end. A failed copy as is shows
// "Error %li\nCopying %s as is\nTo %s"; a failed expansion shows
// "Error %li\nExpanding %s\nTo %s" and fails its file, as does a compressed
// file that cannot be opened or a name leading out of the directory. Answers
// the full source name of the first failed file (the rest are not tried), or
// nothing when all went well.
std::optional<std::string> copyDistribution(const std::string& sourceDirectory, const std::string& targetDirectory,
                                            const FileList& list, const CopyNotice& notice);

// Deletes the files of the directory (made writable first), moves to the
// Windows directory and removes it: ERROR_SUCCESS, ERROR_DIR_NOT_EMPTY,
// ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND, or another system error.
DWORD removeTemporaryDirectory(const std::string& directory);

// Deletes the files of the directory, made writable first; subdirectories stay.
void deleteFilesIn(const std::string& directory);

// Texts of "dllres.dll" the copying and clean-up show.
constexpr UINT kTextDirectoryNotEmpty = 210;
constexpr UINT kTextDirectoryNotFound = 211;
constexpr UINT kTextRemovalCaption = 212;
constexpr UINT kTextCouldNotRemove = 218;  // one "%s": the directory

struct CopyRun {
  bool copied = false;
  // The directory made, even when the copying failed afterwards: the end
  // removes it. Empty when none was made.
  std::string temporaryDirectory;
  std::string installerArgument;  // line 1 of the list
};

// The copying thread's work: the temporary directory made and entered, the
// list read, every file copied and expanded. Notices and the unpack box of
// the first failed file ("Error attempting to unpack %s", task-modal) go
// to `ui` with caption text 6.
CopyRun runCopying(const std::string& sourceDirectory, const std::function<std::string(UINT)>& text, CheckUi& ui);

// Removes the temporary directory, showing why when it cannot: text 210 (not
// empty), 211 (not found), else text 218 with the directory's name under
// caption 212. True when it went.
bool cleanUpTemporaryDirectory(const std::string& directory, const std::function<std::string(UINT)>& text,
                               CheckUi& ui);

}  // namespace wf::setup
