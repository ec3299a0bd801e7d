#pragma once
// The calls the user-interface code makes, in the original platform's form,
// each carried out by the installed shell service (shell_services.h).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/shell_services.h"

// Caption: the application's name. A text id that names no string shows nothing and answers 0.
int AfxMessageBox(LPCSTR text, UINT type = MB_OK, UINT helpId = 0);
int AfxMessageBox(UINT textId, UINT type = MB_OK, UINT helpId = static_cast<UINT>(-1));
// A null caption gives the system's default caption, "Error".
int MessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

LPCSTR AfxGetAppName();

// `data`: the context id, or for HELP_WM_HELP and HELP_CONTEXTMENU the
// address of a DWORD table of (control id, context id) pairs ended by a 0 id.
BOOL WinHelp(HWND window, LPCSTR helpFile, UINT command, std::uintptr_t data);

// Only sounds from files: SND_FILENAME, or a name taken as a file.
BOOL PlaySound(LPCSTR sound, void* module, DWORD flags);
BOOL sndPlaySound(LPCSTR sound, UINT flags);
UINT waveOutGetNumDevs();
// The system sound of a message-box type (MB_ICON*), through the sound
// service as an alias ("SystemExclamation", ...).
BOOL MessageBeep(UINT type);
// A tone through the sound service.
BOOL Beep(DWORD frequency, DWORD durationMs);

// Above 31 when the program started; 2 (file not found) otherwise.
UINT WinExec(LPCSTR commandLine, UINT show);

// Shows the wait cursor while it lives.
class CWaitCursor {
 public:
  CWaitCursor();
  ~CWaitCursor();
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
};

namespace wf::fw {

// Where a message box runs depends on the asking thread. The GUI thread and
// a worker that needs the answer wait for it. A framework thread with its own
// message loop has the box shown on the GUI thread and goes on handling its
// messages until the answer comes. A worker's OK-only box is shown on the GUI
// thread while the worker goes on at once with IDOK.
int showMessageBox(MessageBoxRequest request);

// The name message boxes carry as their default caption; the application
// object sets it.
void setAppName(std::string name);

// Starts `program` with the arguments of a command line (split at blanks,
// double quotes group); FALSE when it cannot start.
BOOL startProgram(LPCSTR program, LPCSTR commandLine, int show);
std::vector<std::string> splitCommandLine(std::string_view commandLine);

// A module's help file lies in the directory of the application's help
// file (CWinApp::m_pszHelpFilePath): that path cut after its last '/' or
// '\\', then `fileName`; `fileName` alone without an application or path.
std::string helpFileBesideApp(std::string_view fileName);

void beginWaitCursor();
void endWaitCursor();

}  // namespace wf::fw
