#include "framework/shell_calls.h"

#include <mutex>

#include <atomic>
#include <thread>

#include "framework/cstring.h"
#include "framework/win_app.h"
#include "gui_thread.h"
#include "platform/thread.h"
#include "platform/trace.h"
#include "thread_state.h"

namespace wf::fw {
namespace {

std::mutex servicesMutex;
ShellServices installedShellServices;
std::string appName;

template <class Service>
Service* service(Service* ShellServices::*member, std::string_view what) {
  Service* s = shellServices().*member;
  if (!s) platformTrace(std::string("shell: no ") + std::string(what) + " service installed");
  return s;
}

// Shows the box on the GUI thread (a helper thread without a Qt application)
// and hands the answer to `answered`; never waits.
void showElsewhere(MessageBoxRequest request, std::function<void(int)> answered) {
  auto show = [request = std::move(request), answered = std::move(answered)] {
    MessageBoxService* s = service(&ShellServices::messageBox, "message box");
    int answer = s ? s->show(request) : 0;
    if (answered) answered(answer);
  };
  if (!queueToGuiThread(show)) std::thread(show).detach();
}

}  // namespace

int showMessageBox(MessageBoxRequest request) {
  // A thread with its own loop keeps handling its messages until the answer
  // comes; a worker's plain notice must not hold the worker up.
  if (!isGuiThread() && threadRunsOwnLoop()) {
    static std::atomic<WPARAM> tokens{0};
    const WPARAM token = ++tokens;
    const DWORD thread = wf::currentThreadId();
    showElsewhere(std::move(request),
                  [thread, token](int answer) { postMessageBoxAnswer(thread, token, answer); });
    return waitForMessageBoxAnswer(token);
  }
  if (!isGuiThread() && (request.style & MB_TYPEMASK) == MB_OK) {
    showElsewhere(std::move(request), nullptr);
    return IDOK;
  }
  MessageBoxService* s = service(&ShellServices::messageBox, "message box");
  return s ? s->show(request) : 0;
}

ShellServices installShellServices(const ShellServices& services) {
  std::lock_guard lock(servicesMutex);
  return std::exchange(installedShellServices, services);
}

ShellServices shellServices() {
  std::lock_guard lock(servicesMutex);
  return installedShellServices;
}

void setAppName(std::string name) {
  std::lock_guard lock(servicesMutex);
  appName = std::move(name);
}

std::vector<std::string> splitCommandLine(std::string_view commandLine) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (char c : commandLine) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

BOOL startProgram(LPCSTR program, LPCSTR commandLine, int show) {
  ProgramLauncher* launcher = service(&ShellServices::programs, "program launcher");
  if (!launcher || !program || !*program) return FALSE;
  return launcher->start({program, splitCommandLine(commandLine ? commandLine : ""), show});
}

void beginWaitCursor() {
  if (WaitCursorService* s = service(&ShellServices::waitCursor, "wait cursor")) s->begin();
}

void endWaitCursor() {
  if (WaitCursorService* s = service(&ShellServices::waitCursor, "wait cursor")) s->end();
}

}  // namespace wf::fw

using wf::fw::appName;
using wf::fw::beginWaitCursor;
using wf::fw::endWaitCursor;
using wf::fw::HelpRequest;
using wf::fw::HelpService;
using wf::fw::ProgramLauncher;
using wf::fw::service;
using wf::fw::servicesMutex;
using wf::fw::ShellServices;
using wf::fw::showMessageBox;
using wf::fw::SoundService;
using wf::fw::splitCommandLine;

std::string wf::fw::helpFileBesideApp(std::string_view fileName) {
  CWinApp* app = AfxGetApp();
  const std::string appPath = app && app->m_pszHelpFilePath ? app->m_pszHelpFilePath : "";
  // The program's own paths use '/', paths read from older settings '\'.
  const std::size_t cut = appPath.find_last_of("\\/");
  return (cut == std::string::npos ? std::string() : appPath.substr(0, cut + 1)) + std::string(fileName);
}

LPCSTR AfxGetAppName() {
  if (CWinApp* app = AfxGetApp(); app && app->m_pszAppName) return app->m_pszAppName;
  std::lock_guard lock(servicesMutex);
  return appName.c_str();
}

int MessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  return showMessageBox({owner, text ? text : "", caption ? caption : "Error", type});
}

int AfxMessageBox(LPCSTR text, UINT type, UINT /*helpId*/) {
  std::string caption = AfxGetAppName();
  return MessageBox(0, text, caption.c_str(), type);
}

int AfxMessageBox(UINT textId, UINT type, UINT helpId) {
  CString text;
  if (!text.LoadString(textId)) {
    wf::platformTrace("AfxMessageBox: no string " + std::to_string(textId));
    return 0;
  }
  return AfxMessageBox(text, type, helpId);
}

BOOL WinHelp(HWND window, LPCSTR helpFile, UINT command, std::uintptr_t data) {
  HelpService* s = service(&ShellServices::help, "help");
  if (!s) return FALSE;
  HelpRequest request{window, helpFile ? helpFile : "", command, 0, {}};
  if (command == HELP_WM_HELP || command == HELP_CONTEXTMENU) {
    for (auto* pair = reinterpret_cast<const DWORD*>(data); pair && pair[0]; pair += 2)
      request.controlTable.emplace_back(pair[0], pair[1]);
  } else if (command != HELP_QUIT && command != HELP_FINDER) {
    request.context = static_cast<DWORD>(data);
  }
  return s->help(request);
}

BOOL PlaySound(LPCSTR sound, void* /*module*/, DWORD flags) {
  SoundService* s = service(&ShellServices::sound, "sound");
  if (!s) return FALSE;
  return s->play(sound ? sound : "", flags);
}

BOOL sndPlaySound(LPCSTR sound, UINT flags) {
  return PlaySound(sound, nullptr, flags | SND_FILENAME);
}

BOOL MessageBeep(UINT type) {
  const char* alias = "SystemDefault";
  switch (type & MB_ICONMASK) {
    case MB_ICONHAND:
      alias = "SystemHand";
      break;
    case MB_ICONQUESTION:
      alias = "SystemQuestion";
      break;
    case MB_ICONEXCLAMATION:
      alias = "SystemExclamation";
      break;
    case MB_ICONASTERISK:
      alias = "SystemAsterisk";
      break;
    default:
      break;
  }
  return PlaySound(alias, nullptr, SND_ALIAS | SND_ASYNC | SND_NODEFAULT);
}

BOOL Beep(DWORD frequency, DWORD durationMs) {
  SoundService* s = service(&ShellServices::sound, "sound");
  return s ? s->tone(frequency, durationMs) : FALSE;
}

UINT waveOutGetNumDevs() {
  SoundService* s = service(&ShellServices::sound, "sound");
  return s ? s->deviceCount() : 0;
}

UINT WinExec(LPCSTR commandLine, UINT show) {
  std::vector<std::string> words = splitCommandLine(commandLine ? commandLine : "");
  ProgramLauncher* launcher = service(&ShellServices::programs, "program launcher");
  if (words.empty() || !launcher) return 2;
  std::string program = std::move(words.front());
  words.erase(words.begin());
  return launcher->start({std::move(program), std::move(words), static_cast<int>(show)}) ? 33 : 2;
}

CWaitCursor::CWaitCursor() {
  beginWaitCursor();
}
CWaitCursor::~CWaitCursor() {
  endWaitCursor();
}
