#pragma once
// The shell services the user interface asks of its platform: message
// boxes, file dialogs, help, sounds, starting programs and the wait cursor.
// Each is an interface; the process installs the real ones (qt_shell.h) and
// tests install scripted doubles (scripted_shell.h) in the one registry below.
// Values and flags keep the original platform's numbers.
#include <string>
#include <utility>
#include <vector>

#include "framework/win_types.h"

// Message box styles: buttons, icon, default button, modality.
constexpr UINT MB_OK = 0x0000;
constexpr UINT MB_OKCANCEL = 0x0001;
constexpr UINT MB_ABORTRETRYIGNORE = 0x0002;
constexpr UINT MB_YESNOCANCEL = 0x0003;
constexpr UINT MB_YESNO = 0x0004;
constexpr UINT MB_RETRYCANCEL = 0x0005;
constexpr UINT MB_TYPEMASK = 0x000F;
constexpr UINT MB_ICONHAND = 0x0010;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x0020;
constexpr UINT MB_ICONEXCLAMATION = 0x0030;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONASTERISK = 0x0040;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr UINT MB_ICONMASK = 0x00F0;
constexpr UINT MB_DEFBUTTON1 = 0x0000;
constexpr UINT MB_DEFBUTTON2 = 0x0100;
constexpr UINT MB_DEFBUTTON3 = 0x0200;
constexpr UINT MB_DEFMASK = 0x0F00;
constexpr UINT MB_APPLMODAL = 0x0000;
constexpr UINT MB_SYSTEMMODAL = 0x1000;
constexpr UINT MB_TASKMODAL = 0x2000;
constexpr UINT MB_SETFOREGROUND = 0x10000;

// Answers of message boxes and dialogs; 0 means the box could not be shown.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// File dialog flags.
constexpr DWORD OFN_READONLY = 0x00000001;
constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_NOCHANGEDIR = 0x00000008;
constexpr DWORD OFN_SHOWHELP = 0x00000010;
constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;
constexpr DWORD OFN_NONETWORKBUTTON = 0x00020000;

// Help commands.
constexpr UINT HELP_CONTEXT = 0x0001;
constexpr UINT HELP_QUIT = 0x0002;
constexpr UINT HELP_INDEX = 0x0003;
constexpr UINT HELP_HELPONHELP = 0x0004;
constexpr UINT HELP_CONTEXTPOPUP = 0x0008;
constexpr UINT HELP_CONTEXTMENU = 0x000A;
constexpr UINT HELP_FINDER = 0x000B;
constexpr UINT HELP_WM_HELP = 0x000C;

// Sound flags.
constexpr DWORD SND_SYNC = 0x00000000;
constexpr DWORD SND_ASYNC = 0x00000001;
constexpr DWORD SND_NODEFAULT = 0x00000002;
constexpr DWORD SND_PURGE = 0x00000040;
constexpr DWORD SND_NOWAIT = 0x00002000;
constexpr DWORD SND_ALIAS = 0x00010000;
constexpr DWORD SND_FILENAME = 0x00020000;

// Show states for started programs.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWNA = 8;

namespace wf::fw {

struct MessageBoxRequest {
  HWND owner = 0;
  std::string text;
  std::string caption;
  UINT style = MB_OK;
};

class MessageBoxService {
 public:
  virtual ~MessageBoxService() = default;
  // Blocks until answered; the answer is one of the ID* values.
  virtual int show(const MessageBoxRequest& request) = 0;
};

struct FileDialogRequest {
  bool open = true;  // false: a save dialog
  HWND owner = 0;
  std::string title;             // empty: the platform's default
  std::string defaultExtension;  // without the dot
  std::string fileName;          // initial name
  std::string filter;            // "desc|pattern[;pattern]|...||"
  DWORD flags = 0;
  bool centred = false;  // placed centred over the owner
};

struct FileDialogResult {
  int answer = IDCANCEL;  // IDOK with a path, else IDCANCEL
  std::string path;
};

class FileDialogService {
 public:
  virtual ~FileDialogService() = default;
  virtual FileDialogResult run(const FileDialogRequest& request) = 0;
};

struct HelpRequest {
  HWND window = 0;
  std::string helpFile;
  UINT command = HELP_CONTEXT;
  // The context id (HELP_CONTEXT, HELP_CONTEXTPOPUP); 0 for the other commands.
  DWORD context = 0;
  // HELP_WM_HELP and HELP_CONTEXTMENU: the (control id, context id) pairs.
  std::vector<std::pair<DWORD, DWORD>> controlTable;
};

class HelpService {
 public:
  virtual ~HelpService() = default;
  virtual BOOL help(const HelpRequest& request) = 0;
};

class SoundService {
 public:
  virtual ~SoundService() = default;
  // Starts `file` (empty: stops what plays) and returns at once, whatever the
  // flags ask. SND_NOWAIT: FALSE when a sound is still playing.
  virtual BOOL play(const std::string& file, DWORD flags) = 0;
  virtual UINT deviceCount() = 0;
  // A tone of `frequency` Hz for `durationMs`; returns at once.
  virtual BOOL tone(DWORD frequency, DWORD durationMs) = 0;
};

struct ProgramStart {
  std::string program;
  std::vector<std::string> arguments;
  int show = SW_SHOWNORMAL;
};

class ProgramLauncher {
 public:
  virtual ~ProgramLauncher() = default;
  // Starts the program without waiting for it; FALSE when it cannot start.
  virtual BOOL start(const ProgramStart& request) = 0;
};

class WaitCursorService {
 public:
  virtual ~WaitCursorService() = default;
  // Nested: the cursor returns at the end matching the first begin.
  virtual void begin() = 0;
  virtual void end() = 0;
};

// The installed services; a missing one makes its calls fail (message box
// 0, file dialog IDCANCEL, FALSE) and leaves a platform trace.
struct ShellServices {
  MessageBoxService* messageBox = nullptr;
  FileDialogService* fileDialog = nullptr;
  HelpService* help = nullptr;
  SoundService* sound = nullptr;
  ProgramLauncher* programs = nullptr;
  WaitCursorService* waitCursor = nullptr;
};

// Replaces the whole set and returns the previous one. The services are not
// owned; whoever installs them keeps them alive while installed.
ShellServices installShellServices(const ShellServices& services);
ShellServices shellServices();

}  // namespace wf::fw
