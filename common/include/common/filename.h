#pragma once
// Path names in the system's own form ("d:\data\file.dat"), and the file and
// directory checks that take them. They reach the Linux file system through
// the platform's path mapping.
#include "framework/cstring.h"

class CFilename {
 public:
  CFilename() = default;
  CFilename(const CString& path) : m_path(path) {}
  CFilename(LPCSTR path) : m_path(path) {}

  // A name with a backslash or a colon becomes its absolute form (against the
  // current directory); any other is put below `directory`. The result is
  // lower-cased. Longer than 260 characters: the path stays as it was.
  void MakeFullPath(LPCSTR directory, LPCSTR name);
  // Drops the last backslash and what follows it.
  void RemoveFilename();
  // Drops the last '.' and what follows it, when it lies in the last part.
  void RemoveExtension();
  // The text after the last backslash; empty without one.
  CString GetFilenameOnly() const;

  const CString& GetPath() const { return m_path; }
  operator LPCSTR() const { return m_path; }

 private:
  CString m_path;
};

// TRUE when the file system reports a status for the path (file or directory).
BOOL FileExists(LPCSTR path);

// Makes the path absolute and enters it; the drive follows the directory.
// FALSE, with nothing changed, when the directory cannot be entered.
BOOL ChangeDirectory(LPCSTR path);

namespace wf {

// The current directory in the system's form: "x:\..." while the process's
// directory lies below a drive's directory, else "C:\".
std::string currentSystemDirectory();

// `name` made absolute against currentSystemDirectory() with "." and ".."
// resolved; empty when it would climb above the drive.
std::string absoluteSystemPath(std::string_view name);

}  // namespace wf
