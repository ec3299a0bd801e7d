// Names of new and saved windows, the stored filters' names, and the
// desktop entry that opens a named window.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/wf_app.h"
#include "framework/controls.h"
#include "platform/unique_fd.h"
#include "registry_values.h"

using wf::app::appPath;
using wf::app::Key;
using wf::app::kWindows;
using wf::app::openKey;
using wf::app::subkeyCount;
using wf::app::walkSavedCaptions;
using wf::ERROR_SUCCESS;
using wf::HKEY_CURRENT_USER;
using wf::KEY_ALL_ACCESS;
using wf::REG_OPTION_NON_VOLATILE;
using wf::RegEnumKeyExA;

namespace {

constexpr const char* kFilters = "Filters";
constexpr UINT kNamesProductTitle = 129;
constexpr size_t kMaxTitleBytes = 250;

// A value of a desktop entry: the format's escapes.
std::string entryValue(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// One argument of an Exec line: quoted, the reserved characters escaped,
// "%" doubled; the whole then escaped again as a value.
std::string execArgument(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  quoted += '"';
  return entryValue(quoted);
}

bool isFileName(const std::string& title) {
  return !title.empty() && title != "." && title != ".." && title.find('/') == std::string::npos &&
         title.size() <= kMaxTitleBytes;
}

bool writeAtomically(const std::filesystem::path& path, const std::string& text) {
  const std::filesystem::path temporary = path.string() + ".tmp";
  {
    wf::UniqueFd file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!file) return false;
    size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::write(file.get(), text.data() + done, text.size() - done);
      if (n < 0) return false;
      done += static_cast<size_t>(n);
    }
    if (::fsync(file.get()) != 0) return false;
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) std::filesystem::remove(temporary, error);
  return !error;
}

}  // namespace

CString CWFApp::GetNewWindowName() {
  Key windows;
  openKey(HKEY_CURRENT_USER, appPath(kWindows).c_str(), windows, false);
  CString name;
  for (;;) {
    name.Format("WFWin%u", ++m_windowCount);
    Key saved;
    if (!windows || !openKey(windows.get(), name, saved, false)) return name;
  }
}

BOOL CWFApp::IsDuplicateWindowName(const CString& name) {
  BOOL found = FALSE;
  walkSavedCaptions([&](HKEY, const char*, const CString& caption) {
    found = strcasecmp(caption, name) == 0;
    return found != FALSE;
  });
  return found;
}

void CWFApp::CleanUpRegistry(const CString& name) {
  walkSavedCaptions([&](HKEY windows, const char* sub, const CString& caption) {
    if (std::strcmp(caption, name) != 0) return false;
    RegDeleteKeyA(windows, sub);
    return true;
  });
}

wf::HKEY CWFApp::GetFilterKey() {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, appPath(kFilters).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return nullptr;
  return key;
}

int CWFApp::FillFilterNames(CListBox* list) {
  if (list) list->ResetContent();
  Key filters;
  *filters.out() = GetFilterKey();
  if (!filters) return -1;
  int longest = 0;
  for (DWORD i = 0;; ++i) {
    char name[260] = {};
    DWORD size = sizeof name;
    if (RegEnumKeyExA(filters.get(), i, name, &size) != ERROR_SUCCESS) break;
    if (list) list->AddString(name);
    longest = std::max(longest, static_cast<int>(std::strlen(name)));
  }
  return longest;
}

int CWFApp::GetStoredFilterCount() {
  Key filters;
  *filters.out() = GetFilterKey();
  return filters ? static_cast<int>(subkeyCount(filters.get())) : 0;
}

BOOL CWFApp::DoesFilterExist(const CString& name) {
  Key filters;
  *filters.out() = GetFilterKey();
  Key filter;
  return filters && openKey(filters.get(), name, filter, false) ? TRUE : FALSE;
}

std::filesystem::path CWFApp::ShortcutFolder() {
  std::filesystem::path applications;
  if (const char* root = std::getenv("WRENFIELD_ROOT"); root && *root) {
    applications = std::filesystem::path(root) / "applications";
  } else if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) {
    applications = std::filesystem::path(data) / "applications";
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    applications = std::filesystem::path(home) / ".local/share/applications";
  }
  CString product;
  product.LoadString(kNamesProductTitle);
  return applications.empty() ? applications : applications / product.str();
}

BOOL CWFApp::CreateWFShortcut(const CString& name, const CString& title) {
  const std::filesystem::path folder = ShortcutFolder();
  if (folder.empty() || !isFileName(title.str())) return FALSE;
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (!std::filesystem::is_directory(folder, error)) return FALSE;
  const std::string program = m_programDir + "/wrenfld";
  std::string entry = "[Desktop Entry]\nType=Application\n";
  entry += "Name=" + entryValue(title.str()) + "\n";
  entry += "Comment=" + entryValue(title.str()) + "\n";
  entry += "Exec=" + execArgument(program) + " " + execArgument(name.str()) + "\n";
  entry += "Path=" + entryValue(m_programDir) + "\n";
  return writeAtomically(folder / (title.str() + ".desktop"), entry) ? TRUE : FALSE;
}
