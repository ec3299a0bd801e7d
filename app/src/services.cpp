// Work off the main thread, enumeration counting, the blink and flash
// timers, the log, the driver update and the libraries loaded by name.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdarg>
#include <ctime>
#include <thread>

#include "app/wf_app.h"
#include "framework/frame_wnd.h"
#include "framework/shell_calls.h"
#include "framework/wnd.h"
#include "platform/window_messages.h"
#include "wfprtmgr/wfprtmgr.h"

extern char** environ;

namespace {

constexpr UINT kBlinkElapse = 250;
constexpr UINT kFlashElapse = 400;
constexpr const char* kLogPath = "c:\\wf32.log";
constexpr const char* kToolKit = "CORWF32.DLL";

struct TraverseJob {
  CWFApp* app;
  BOOL (*fn)(CWFPrinterIcon*, void*);
  void* data;
};

UINT traverseWork(void* param) {
  std::unique_ptr<TraverseJob> job(static_cast<TraverseJob*>(param));
  job->app->Traverse(job->fn, job->data);
  return 0;
}

void postEach(const std::vector<HWND>& windows, UINT message) {
  for (HWND window : windows) wf::postMessage(window, message, 0, 0);
}

}  // namespace

void CWFApp::BeginThread(UINT (*proc)(void*), void* param, int priority, const char* name) {
  m_queue.beginThread(proc, param, priority, name);
}

void CWFApp::startWorkQueue() {
  m_queue.create();
  m_queue.setAccepting(true);
  m_threadMgr.Initialize();
  m_threadMgrActive = TRUE;
}

void CWFApp::stopWorkQueue() {
  m_queue.setAccepting(false);
  if (m_threadMgrActive) m_threadMgr.Shutdown();
  m_queue.destroy();
  m_threadMgrActive = FALSE;
}

void CWFApp::TraverseOnThread(BOOL (*fn)(CWFPrinterIcon*, void*), void* data) {
  // The queue may refuse the work: then the block is ours to free.
  auto* job = new TraverseJob{this, fn, data};
  if (!m_queue.accepting()) {
    delete job;
    return;
  }
  BeginThread(traverseWork, job, 0, "TraverseOnThread()");
}

void CWFApp::DecreaseEnumSpecCount() {
  m_enumCounter.decrease(GetWindowList());
}

void CWFApp::GlobalReEnum() {
  SetGlobalEnumState(TRUE);
  m_printerList.EnumeratePrinters(m_prtMgr.get(), 0);
  if (auto* windows = GetWindowList()) windows->PostToAll(WM_SETMESSAGESTRING, AFX_IDS_IDLEMESSAGE, 0);
}

// ---- blink and flash -------------------------------------------------

BOOL CWFApp::AddToBlinkList(CWnd* window) {
  std::lock_guard lock(m_listsLock);
  if (!m_blinkRunning && m_pMainWnd) {
    m_timerWindow = m_pMainWnd->GetSafeHwnd();
    m_pMainWnd->SetTimer(WF_BLINK_TIMER, kBlinkElapse);
    m_blinkRunning = true;
  }
  if (window) m_blinkList.push_back(window->GetSafeHwnd());
  return m_blinkRunning;
}

BOOL CWFApp::RemoveFromBlinkList(CWnd* window) {
  std::lock_guard lock(m_listsLock);
  if (window) {
    auto found = std::find(m_blinkList.begin(), m_blinkList.end(), window->GetSafeHwnd());
    if (found != m_blinkList.end()) m_blinkList.erase(found);
  }
  if (!m_blinkList.empty()) return FALSE;
  if (!m_blinkRunning) return FALSE;
  m_blinkRunning = false;
  return KillTimer(m_timerWindow, WF_BLINK_TIMER);
}

void CWFApp::ServiceBlinks() {
  std::vector<HWND> windows;
  {
    std::lock_guard lock(m_listsLock);
    windows = m_blinkList;
  }
  postEach(windows, WM_WF_BLINK);
}

BOOL CWFApp::AddToFlashList(CWnd* window) {
  std::lock_guard lock(m_listsLock);
  if (!GetFlashIcon()) return m_flashRunning;
  if (!m_flashRunning && m_pMainWnd) {
    m_timerWindow = m_pMainWnd->GetSafeHwnd();
    m_pMainWnd->SetTimer(WF_FLASH_TIMER, kFlashElapse);
    m_flashRunning = true;
  }
  const HWND hwnd = window ? window->GetSafeHwnd() : 0;
  if (hwnd && std::find(m_flashList.begin(), m_flashList.end(), hwnd) == m_flashList.end())
    m_flashList.push_back(hwnd);
  return m_flashRunning;
}

BOOL CWFApp::RemoveFromFlashList(CWnd* window) {
  // Removal is never gated by the setting: a window turned off meanwhile
  // must not stay listed after it is gone.
  std::lock_guard lock(m_listsLock);
  if (window) std::erase(m_flashList, window->GetSafeHwnd());
  if (m_flashList.empty() && m_flashRunning) {
    KillTimer(m_timerWindow, WF_FLASH_TIMER);
    m_flashRunning = false;
  }
  return m_flashRunning;
}

void CWFApp::ServiceFlash() {
  std::vector<HWND> windows;
  {
    std::lock_guard lock(m_listsLock);
    windows = m_flashList;
  }
  postEach(windows, WM_WF_FLASH);
}

void CWFApp::MoveTimers(CWnd* oldMain, CWnd* newMain) {
  std::lock_guard lock(m_listsLock);
  const HWND from = oldMain ? oldMain->GetSafeHwnd() : m_timerWindow;
  const HWND to = newMain ? newMain->GetSafeHwnd() : 0;
  if (m_blinkRunning) {
    KillTimer(from, WF_BLINK_TIMER);
    if (to) newMain->SetTimer(WF_BLINK_TIMER, kBlinkElapse);
    m_blinkRunning = to != 0;
  }
  if (m_flashRunning) {
    KillTimer(from, WF_FLASH_TIMER);
    if (to) newMain->SetTimer(WF_FLASH_TIMER, kFlashElapse);
    m_flashRunning = to != 0;
  }
  m_timerWindow = to;
}

bool CWFApp::blinkTimerRunning() const {
  std::lock_guard lock(m_listsLock);
  return m_blinkRunning;
}

bool CWFApp::flashTimerRunning() const {
  std::lock_guard lock(m_listsLock);
  return m_flashRunning;
}

size_t CWFApp::blinkCount() const {
  std::lock_guard lock(m_listsLock);
  return m_blinkList.size();
}

size_t CWFApp::flashCount() const {
  std::lock_guard lock(m_listsLock);
  return m_flashList.size();
}

// ---- log -------------------------------------------------------------

void CWFApp::OpenLogFile(const char* path) {
  std::lock_guard lock(m_logLock);
  m_log = wf::LogFile::open(path ? path : kLogPath, wf::LogFile::Mode::Append);
}

void CWFApp::CloseLogFile() {
  std::lock_guard lock(m_logLock);
  m_log.reset();
}

void CWFApp::Log(ULONG level, const char* format, ...) {
  std::lock_guard lock(m_logLock);
  // A log that cannot be opened is tried again at the next call.
  if (!m_log) m_log = wf::LogFile::open(kLogPath, wf::LogFile::Mode::Append);
  if (!m_log || level > m_loggingLevel || !format) return;
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(stamp, sizeof stamp, "%m-%d-%y %H:%M:%S ", &local);
  va_list args;
  va_start(args, format);
  CString text;
  text.FormatV(format, args);
  va_end(args);
  m_log->append(std::string(stamp) + text.str());
}

// ---- driver update and libraries ---------------------------------------

void CWFApp::CheckDriverUpdate() {
  if (!GetDriverUpdateAuto() || m_driverUpdatePath.IsEmpty()) return;
  FreeToolKitDLL();
  RunExecutable(m_driverUpdatePath, 1251, 1249, 1250, m_pMainWnd);
}

void CWFApp::FreeToolKitDLL() {
  if (!m_toolKitDll) return;
  wf::freeModule(m_toolKitDll);
  m_toolKitDll = nullptr;
}

BOOL CWFApp::RunExecutable(const CString& program, UINT argsId, UINT captionId, UINT textId, CWnd* parent) {
  CString arguments;
  arguments.LoadString(argsId);
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  for (int fd = 0; fd <= 2; ++fd)
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  std::string path = program.str();
  std::string argument = arguments.str();
  char* argv[] = {path.data(), argument.empty() ? nullptr : argument.data(), nullptr};
  pid_t pid = 0;
  const int error = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    CString text;
    CString caption;
    text.LoadString(textId);
    caption.LoadString(captionId);
    MessageBox(parent ? parent->GetSafeHwnd() : 0, text, caption, MB_OK | MB_ICONEXCLAMATION);
    return FALSE;
  }
  // Not waited for by anyone; reaped here so it leaves no zombie.
  std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
  return TRUE;
}

HINSTANCE CWFApp::GetToolKitDLL() {
  if (!m_toolKitDll) m_toolKitDll = wf::loadModule(kToolKit);
  return m_toolKitDll;
}

// ---- printers, files, errors ------------------------------------------

WFPrtObj* CWFApp::GetPrinterFromHandle(USHORT printer) {
  return m_prtMgr ? m_prtMgr->getPrinterObj(printer) : nullptr;
}

void CWFApp::GetModuleFilename(CFilename& file) {
  std::error_code error;
  auto path = std::filesystem::read_symlink("/proc/self/exe", error).string();
  if (path.size() > 260) path.resize(260);
  file = CFilename(path.c_str());
}

std::string CWFApp::formatError(const char* format, const char* const* args, int count) {
  constexpr size_t kLimit = 500;
  if (!format) return {};
  // Only as many arguments as reach the last one given.
  int used = 0;
  for (int i = 0; i < count; ++i) {
    if (args[i]) used = i + 1;
  }
  std::string text;
  if (used == 0) {
    text = format;
  } else {
    const char* a[9] = {};
    for (int i = 0; i < used; ++i) a[i] = args[i] ? args[i] : "";
    CString formatted;
    formatted.Format(format, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8]);
    text = formatted.str();
  }
  if (text.size() > kLimit) {
    size_t cut = kLimit;
    // Never split a UTF-8 sequence.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
  }
  return text;
}

void CWFApp::Error(const char* text) {
  if (text && *text) MessageBox(0, text, "Wrenfield", MB_OK | MB_ICONEXCLAMATION);
}

void CWFApp::Error(const char* format, const char* a1, const char* a2, const char* a3, const char* a4,
                   const char* a5, const char* a6, const char* a7, const char* a8, const char* a9) {
  const char* args[] = {a1, a2, a3, a4, a5, a6, a7, a8, a9};
  Error(formatError(format, args, 9).c_str());
}

void CWFApp::Error(UINT stringId, const char* a1, const char* a2, const char* a3, const char* a4,
                   const char* a5, const char* a6, const char* a7, const char* a8, const char* a9) {
  if (stringId == 0) return;
  CString format;
  if (!format.LoadString(stringId)) return;
  const char* args[] = {a1, a2, a3, a4, a5, a6, a7, a8, a9};
  Error(formatError(format, args, 9).c_str());
}

void CWFApp::WinHelp(std::uintptr_t data, UINT command) {
  ::WinHelp(m_pMainWnd ? m_pMainWnd->GetSafeHwnd() : 0, GetHelpFilePath(), command, data);
}
