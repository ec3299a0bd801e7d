#pragma once
// The application object: one per process, constructed statically, reached
// through AfxGetApp. AfxWinMain runs InitInstance, then the GUI thread's
// message loop while InitInstance succeeded, then ExitInstance in either case.
// Destroying the main window ends the loop; handing m_pMainWnd to another
// window first keeps it running. Profile values live in the current user's
// registry below "Software\<registry key>\<application name>".
#include "framework/win_thread.h"
#include "platform/registry.h"

using HKEY = wf::HKEY;

class CWinApp : public CWinThread {
  DECLARE_DYNAMIC(CWinApp)
 public:
  // `appName` null: the program file's name without extension.
  explicit CWinApp(LPCSTR appName = nullptr);
  ~CWinApp() override;

  int Run() override;
  int ExitInstance() override;
  BOOL OnIdle(LONG count) override;

  // Keys the profile under "Software\<company>\<m_pszAppName>".
  void SetRegistryKey(LPCSTR company);
  // The keys are created when missing; the caller closes them. Null on failure.
  HKEY GetAppRegistryKey();
  HKEY GetSectionKey(LPCSTR section);

  UINT GetProfileInt(LPCSTR section, LPCSTR entry, int defaultValue);
  CString GetProfileString(LPCSTR section, LPCSTR entry, LPCSTR defaultValue = nullptr);
  // A null entry deletes the section; a null value deletes the entry.
  BOOL WriteProfileInt(LPCSTR section, LPCSTR entry, int value);
  BOOL WriteProfileString(LPCSTR section, LPCSTR entry, LPCSTR value);

  // Set before InitInstance; the strings belong to the application object.
  LPCSTR m_pszAppName = nullptr;
  LPCSTR m_pszExeName = nullptr;
  LPCSTR m_pszRegistryKey = nullptr;
  LPCSTR m_pszProfileName = nullptr;
  LPCSTR m_pszHelpFilePath = nullptr;  // <program directory>/<exe name>.HLP
  LPSTR m_lpCmdLine = nullptr;         // the arguments after the program name
  int m_nCmdShow = SW_SHOWNORMAL;

  // The process's start: fills the fields above from the arguments and runs
  // the application. Creates the Qt application when there is none.
  static int runMain(int argc, char** argv);

  struct Strings;

 private:
  std::unique_ptr<Strings> strings_;
};

CWinApp* AfxGetApp();

namespace wf::fw {
// What SIGTERM and the desktop's log-out do: every modal loop of the GUI
// thread ends as a cancel (and any begun until the application's loop has
// returned), then every frame gets WM_QUERYENDSESSION; boxes answer as
// cancelled from then on, also during the shutdown. Once only.
void endSession();
}  // namespace wf::fw

// Kept for the framework's spelling; the program's main calls this.
int AfxWinMain(int argc, char** argv);
