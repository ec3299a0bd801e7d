#include "framework/win_app.h"

#include <fcntl.h>
#include <unistd.h>
#include <QApplication>
#include <QSocketNotifier>
#include <csignal>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>

#include "frame_idle.h"
#include "framework/shell_calls.h"
#include "gui_thread.h"
#include "modal_loop.h"
#include "platform/thread.h"
#include "platform/trace.h"
#include "platform/unique_fd.h"
#include "thread_state.h"

IMPLEMENT_DYNAMIC(CWinApp, CWinThread)

// Storage behind the framework's text fields.
struct CWinApp::Strings {
  std::string appName, exeName, registryKey, profileName, helpPath, cmdLine;
};

namespace {

std::atomic<CWinApp*> theApp{nullptr};

using wf::RegCloseKey;

// Closes the key when it goes out of scope.
struct KeyHolder {
  HKEY key = nullptr;
  ~KeyHolder() {
    if (key) RegCloseKey(key);
  }
};

}  // namespace

CWinApp* AfxGetApp() {
  return theApp.load();
}

CWinApp::CWinApp(LPCSTR appName) : strings_(std::make_unique<Strings>()) {
  CWinApp* expected = nullptr;
  if (!theApp.compare_exchange_strong(expected, this))
    wf::platformTrace("framework: a second application object was made; the first stays current");
  if (appName) {
    strings_->appName = appName;
    m_pszAppName = strings_->appName.c_str();
  }
}

CWinApp::~CWinApp() {
  CWinApp* self = this;
  theApp.compare_exchange_strong(self, nullptr);
}

int CWinApp::Run() {
  if (!wf::fw::isGuiThread()) return CWinThread::Run();
  wf::fw::runGuiLoop(this);
  wf::fw::sessionEndDone();
  return ExitInstance();
}

int CWinApp::ExitInstance() {
  return wf::fw::lastQuitCode();
}

BOOL CWinApp::OnIdle(LONG count) {
  const BOOL more = CWinThread::OnIdle(count);
  if (count == 0) wf::fw::writeUiSnapshot();
  return more;
}

namespace {

// SIGTERM reaches the GUI thread through a pipe; the handler only writes.
int terminationWriteFd = -1;

void noteTermination(int) {
  const char byte = 1;
  [[maybe_unused]] ssize_t written = ::write(terminationWriteFd, &byte, 1);
}

// Termination and the desktop's log-out end the session for every frame.
class SessionEnd {
 public:
  SessionEnd() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    read_ = wf::UniqueFd(fds[0]);
    write_ = wf::UniqueFd(fds[1]);
    terminationWriteFd = write_.get();
    notifier_ = std::make_unique<QSocketNotifier>(read_.get(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
      char bytes[16];
      while (::read(read_.get(), bytes, sizeof bytes) > 0) {
      }
      wf::fw::endSession();
    });
    struct sigaction action {};
    action.sa_handler = noteTermination;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, &previous_);
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
      QObject::connect(gui, &QGuiApplication::commitDataRequest,
                       [](QSessionManager&) { wf::fw::endSession(); });
    }
  }
  ~SessionEnd() {
    if (!write_) return;
    sigaction(SIGTERM, &previous_, nullptr);
    terminationWriteFd = -1;
  }

 private:
  wf::UniqueFd read_;
  wf::UniqueFd write_;
  std::unique_ptr<QSocketNotifier> notifier_;
  struct sigaction previous_ {};
};

}  // namespace

void CWinApp::SetRegistryKey(LPCSTR company) {
  strings_->registryKey = company ? company : "";
  m_pszRegistryKey = strings_->registryKey.c_str();
  strings_->profileName = m_pszAppName ? m_pszAppName : "";
  m_pszProfileName = strings_->profileName.c_str();
}

HKEY CWinApp::GetAppRegistryKey() {
  if (!m_pszRegistryKey || !*m_pszRegistryKey || !m_pszProfileName) return nullptr;
  std::string path = std::string("Software\\") + m_pszRegistryKey + "\\" + m_pszProfileName;
  HKEY key = nullptr;
  if (wf::RegCreateKeyExA(wf::HKEY_CURRENT_USER, path.c_str(), 0, nullptr, wf::REG_OPTION_NON_VOLATILE,
                          wf::KEY_ALL_ACCESS, nullptr, &key, nullptr) != wf::ERROR_SUCCESS)
    return nullptr;
  return key;
}

HKEY CWinApp::GetSectionKey(LPCSTR section) {
  KeyHolder app{GetAppRegistryKey()};
  if (!app.key || !section) return nullptr;
  HKEY key = nullptr;
  if (wf::RegCreateKeyExA(app.key, section, 0, nullptr, wf::REG_OPTION_NON_VOLATILE, wf::KEY_ALL_ACCESS,
                          nullptr, &key, nullptr) != wf::ERROR_SUCCESS)
    return nullptr;
  return key;
}

UINT CWinApp::GetProfileInt(LPCSTR section, LPCSTR entry, int defaultValue) {
  KeyHolder sec{GetSectionKey(section)};
  DWORD value = 0, type = 0, size = sizeof value;
  if (!sec.key ||
      wf::RegQueryValueExA(sec.key, entry, nullptr, &type, reinterpret_cast<wf::BYTE*>(&value), &size) !=
          wf::ERROR_SUCCESS ||
      type != wf::REG_DWORD || size != sizeof value)
    return static_cast<UINT>(defaultValue);
  return value;
}

CString CWinApp::GetProfileString(LPCSTR section, LPCSTR entry, LPCSTR defaultValue) {
  KeyHolder sec{GetSectionKey(section)};
  DWORD type = 0, size = 0;
  if (!sec.key || wf::RegQueryValueExA(sec.key, entry, nullptr, &type, nullptr, &size) != wf::ERROR_SUCCESS ||
      type != wf::REG_SZ)
    return CString(defaultValue);
  std::string text(size, '\0');
  if (wf::RegQueryValueExA(sec.key, entry, nullptr, &type, reinterpret_cast<wf::BYTE*>(text.data()), &size) !=
      wf::ERROR_SUCCESS)
    return CString(defaultValue);
  text.resize(std::strlen(text.c_str()));  // up to the terminator
  return CString(std::move(text));
}

BOOL CWinApp::WriteProfileInt(LPCSTR section, LPCSTR entry, int value) {
  KeyHolder sec{GetSectionKey(section)};
  const DWORD data = static_cast<DWORD>(value);
  return sec.key && entry &&
         wf::RegSetValueExA(sec.key, entry, 0, wf::REG_DWORD, reinterpret_cast<const wf::BYTE*>(&data),
                            sizeof data) == wf::ERROR_SUCCESS;
}

BOOL CWinApp::WriteProfileString(LPCSTR section, LPCSTR entry, LPCSTR value) {
  if (!entry) {
    KeyHolder app{GetAppRegistryKey()};
    return app.key && section && wf::RegDeleteKeyA(app.key, section) == wf::ERROR_SUCCESS;
  }
  KeyHolder sec{GetSectionKey(section)};
  if (!sec.key) return FALSE;
  if (!value) return wf::RegDeleteValueA(sec.key, entry) == wf::ERROR_SUCCESS;
  return wf::RegSetValueExA(sec.key, entry, 0, wf::REG_SZ, reinterpret_cast<const wf::BYTE*>(value),
                            static_cast<DWORD>(std::strlen(value) + 1)) == wf::ERROR_SUCCESS;
}

int CWinApp::runMain(int argc, char** argv) {
  CWinApp* app = AfxGetApp();
  if (!app) {
    wf::platformTrace("framework: no application object");
    return -1;
  }
  std::unique_ptr<QApplication> qt;
  if (!QCoreApplication::instance()) qt = std::make_unique<QApplication>(argc, argv);

  Strings& s = *app->strings_;
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec && argc > 0) exe = argv[0];
  s.exeName = exe.stem().string();
  app->m_pszExeName = s.exeName.c_str();
  if (!app->m_pszAppName) {
    s.appName = s.exeName;
    app->m_pszAppName = s.appName.c_str();
  }
  s.helpPath = (exe.parent_path() / (s.exeName + ".HLP")).string();
  app->m_pszHelpFilePath = s.helpPath.c_str();
  for (int i = 1; i < argc; ++i) s.cmdLine += (i > 1 ? " " : "") + std::string(argv[i]);
  app->m_lpCmdLine = s.cmdLine.data();
  app->m_nThreadID = wf::currentThreadId();

  wf::fw::ensureGuiQueue();
  SessionEnd sessionEnd;
  int code;
  if (app->InitInstance()) {
    code = app->Run();
  } else {
    if (app->m_pMainWnd) app->m_pMainWnd->DestroyWindow();
    wf::fw::sessionEndDone();
    code = app->ExitInstance();
  }
  return code;
}

int AfxWinMain(int argc, char** argv) {
  return CWinApp::runMain(argc, argv);
}
