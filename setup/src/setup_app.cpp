#include "setup/setup_app.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "framework/gdi.h"
#include "framework/frame_wnd.h"
#include "framework/global_memory.h"
#include "framework/resources.h"
#include "framework/shell_calls.h"
#include "framework/window_class.h"
#include "platform/module.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "setup/checks.h"
#include "setup/restart_check.h"

namespace wf::setup {

namespace {

constexpr UINT kWorkerStack = 0x8000;
constexpr std::size_t kCaptionChars = 100;
constexpr std::size_t kTextChars = 256;
constexpr UINT kLoadedTexts[] = {6, 8, 9, 12, 13, 14, 15, 16, 18, 19, 209, 210, 211, 212, 213, 216, 217, 218};

bool isCaptionText(UINT id) {
  return id == kTextCaption || id == kTextRemovalCaption || id == kTextSplashTitle;
}

// What the check and copy threads show goes to the splash's owner thread.
class SplashUi : public CheckUi {
 public:
  explicit SplashUi(CSetupApp& app) : app_(app) {}
  int showBox(const std::string& text, const std::string& caption, UINT style) override {
    return app_.showBox(text, caption, style);
  }
  void showSplash(bool shown) override { app_.showSplash(shown); }

 private:
  CSetupApp& app_;
};

void enterSystemDirectory(const std::string& directory) {
  if (auto path = mapSystemPath(directory)) {
    std::error_code ec;
    std::filesystem::current_path(*path, ec);
  }
}

bool enteredSystemDirectory(const std::string& directory) {
  auto path = mapSystemPath(directory);
  std::error_code ec;
  if (path) std::filesystem::current_path(*path, ec);
  return path && !ec;
}

}  // namespace

// ---- splash ----

BEGIN_MESSAGE_MAP(CSetupSplash, CDialog)
ON_MESSAGE(WM_ENDSESSION, OnEndSession)
END_MESSAGE_MAP()

BOOL CSetupSplash::OnInitDialog() {
  CDialog::OnInitDialog();
  // Centred on the screen's work area.
  RECT frame{};
  GetWindowRect(&frame);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  MoveWindow((GetSystemMetrics(SM_CXSCREEN) - width) / 2, (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width,
             height, FALSE);
  return TRUE;
}

// ---- main window ----

BEGIN_MESSAGE_MAP(CSetupWnd, CWnd)
ON_MESSAGE(WM_SETUP_START, OnSetupStart)
ON_MESSAGE(WM_SETUP_CHECKED, OnSetupChecked)
ON_MESSAGE(WM_SETUP_COPY, OnSetupCopy)
ON_MESSAGE(WM_SETUP_COPIED, OnSetupCopied)
ON_MESSAGE(WM_SETUP_FAILED, OnSetupFailed)
ON_MESSAGE(WM_SETUP_SETTEXT, OnSetupSetText)
ON_MESSAGE(WM_ENDSESSION, OnEndSession)
ON_WM_DESTROY()
END_MESSAGE_MAP()

LRESULT CSetupWnd::OnSetupStart(WPARAM, LPARAM) {
  if (!app_.installer_.initialize()) {
    const std::string failed = app_.text(kTextDdeFailed), caption = app_.text(kTextCaption);
    app_.showBox(failed, caption, MB_OK);
    app_.showBox(failed, caption, MB_OK | MB_TASKMODAL);
    PostQuitMessage(0);
    return 0;
  }
  app_.installer_.onDisconnect = [this] {
    // The installation is over: its files go, the directory stays for the end.
    if (enteredSystemDirectory(app_.copying_.temporaryDirectory)) deleteFilesIn(app_.copying_.temporaryDirectory);
    PostQuitMessage(0);
  };
  app_.startWorker(&CSetupApp::checkThread);
  return 0;
}

LRESULT CSetupWnd::OnSetupChecked(WPARAM, LPARAM) {
  if (app_.checks_.normalMode) {
    PostMessage(WM_SETUP_COPY);
    return 0;
  }
  app_.launchFromServerDirectory();
  PostQuitMessage(0);
  return 0;
}

LRESULT CSetupWnd::OnSetupCopy(WPARAM, LPARAM) {
  app_.startWorker(&CSetupApp::copyThread);
  return 0;
}

LRESULT CSetupWnd::OnSetupCopied(WPARAM, LPARAM) {
  app_.launchInstaller();
  return 0;
}

LRESULT CSetupWnd::OnSetupFailed(WPARAM, LPARAM) {
  app_.showBox(app_.text(kTextFailure), app_.text(kTextCaption), MB_OK | MB_TASKMODAL);
  PostQuitMessage(0);
  return 0;
}

LRESULT CSetupWnd::OnSetupSetText(WPARAM, LPARAM lParam) {
  // Only a live block of this process is read, never an address.
  const auto block = reinterpret_cast<HGLOBAL>(lParam);
  const auto* text = static_cast<const char*>(GlobalLock(block));
  if (!text) return 0;
  const std::size_t size = std::min(GlobalSize(block), kSetTextChars);
  app_.setText_.assign(text, strnlen(text, size));
  app_.textSet_ = true;
  GlobalUnlock(block);
  return 0;
}

LRESULT CSetupWnd::OnEndSession(WPARAM wParam, LPARAM lParam) {
  if (app_.splash_ && app_.splash_->m_hWnd) app_.splash_->SendMessage(WM_ENDSESSION, wParam, lParam);
  return 0;
}

void CSetupWnd::OnDestroy() {
  // The end destroys the window itself once the loop is over.
  if (!app_.ending_) PostQuitMessage(0);
}

// ---- application ----

CSetupApp::CSetupApp() : CWinApp("setup"), ui_(std::make_unique<SplashUi>(*this)) {}

CSetupApp::~CSetupApp() = default;

std::string CSetupApp::text(UINT id) const {
  auto it = texts_.find(id);
  return it == texts_.end() ? std::string() : it->second;
}

int CSetupApp::showBox(const std::string& message, const std::string& caption, UINT style) {
  fw::MessageBoxService* boxes = fw::shellServices().messageBox;
  if (!boxes) return 0;
  const HWND owner = splash_ && splash_->m_hWnd ? splash_->m_hWnd : 0;
  return boxes->show({owner, message, caption, style});
}

void CSetupApp::showSplash(bool shown) {
  if (splash_ && splash_->m_hWnd) splash_->ShowWindow(shown ? SW_SHOW : SW_HIDE);
}

BOOL CSetupApp::InitInstance() {
  std::error_code ec;
  modulePath_ = std::filesystem::read_symlink("/proc/self/exe", ec).string();
  resources_ = loadModule(kResourceLibrary);
  if (!resources_) return FALSE;
  AfxSetResourceHandle(resources_);
  for (UINT id : kLoadedTexts) {
    auto found = static_cast<LPCSTR>(fw::findResourceIn(resources_, fw::res::Type::String, id));
    std::string loaded = found ? found : "";
    loaded.resize(std::min(loaded.size(), (isCaptionText(id) ? kCaptionChars : kTextChars) - 1));
    if (found) texts_[id] = loaded;
  }

  WNDCLASS windowClass;
  windowClass.style = CS_VREDRAW | CS_HREDRAW;
  windowClass.lpszClassName = kSetupWindowClass;
  AfxRegisterClass(&windowClass);
  mainWindow_ = std::make_unique<CSetupWnd>(*this);
  if (!mainWindow_->CreateEx(0, kSetupWindowClass, kSetupWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, 0))
    return FALSE;
  m_pMainWnd = mainWindow_.get();
  splash_ = std::make_unique<CSetupSplash>();
  if (splash_->Create(kSplashDialog, nullptr)) {
    splash_->SetWindowText(text(kTextSplashTitle).c_str());
    splash_->ShowWindow(SW_SHOW);
  }
  mainWindow_->SendMessage(WM_SETUP_START);
  return TRUE;
}

void CSetupApp::startWorker(AFX_THREADPROC proc) {
  if (worker_) {
    WaitForThread(worker_->m_hThread, INFINITE);
    delete worker_;
  }
  worker_ = AfxBeginThread(proc, this, THREAD_PRIORITY_IDLE, kWorkerStack, CREATE_SUSPENDED);
  if (!worker_) return;
  worker_->m_bAutoDelete = FALSE;
  worker_->ResumeThread();
}

UINT CSetupApp::checkThread(LPVOID param) {
  auto& app = *static_cast<CSetupApp*>(param);
  app.checks_ = runChecks(app.modulePath_, [&app](UINT id) { return app.text(id); }, *app.ui_);
  app.mainWindow_->PostMessage(app.checks_.passed ? WM_SETUP_CHECKED : WM_DESTROY);
  return 0;
}

UINT CSetupApp::copyThread(LPVOID param) {
  auto& app = *static_cast<CSetupApp*>(param);
  app.copying_ = runCopying(app.checks_.sourceDirectory, [&app](UINT id) { return app.text(id); }, *app.ui_);
  app.mainWindow_->PostMessage(app.copying_.copied ? WM_SETUP_COPIED : WM_SETUP_FAILED);
  return 0;
}

void CSetupApp::launchFromServerDirectory() {
  enterSystemDirectory(checks_.serverDirectory);
  if (!serverDirectoryNamesFit(checks_.serverDirectory)) {
    showBox(kServerNameTooLong, text(kTextCaption), MB_OK | MB_TASKMODAL);
    return;
  }
  showSplash(false);
  if (winExec("cinstall.exe -s", SW_SHOWNORMAL) < 32) {
    showBox(text(kTextFailure), text(kTextCaption), MB_OK);
    return;
  }
  serverLaunched_ = true;
}

void CSetupApp::launchInstaller() {
  if (!enteredSystemDirectory(copying_.temporaryDirectory)) {
    showBox(text(kTextFailure), text(kTextCaption), MB_OK);
    PostQuitMessage(0);
    return;
  }
  const bool localInstall = checks_.productsIniFound && checks_.normalMode;
  const std::string commandLine = installerCommandLine(copying_.temporaryDirectory, m_lpCmdLine ? m_lpCmdLine : "",
                                                       checks_.sourceDirectory, copying_.installerArgument,
                                                       localInstall);
  if (!installer_.connect(commandLine, [this] { showSplash(false); })) mainWindow_->PostMessage(WM_SETUP_FAILED);
}

void CSetupApp::destroyWindows() {
  if (splash_ && splash_->m_hWnd) splash_->DestroyWindow();
  splash_.reset();
  m_pMainWnd = nullptr;
  if (mainWindow_ && mainWindow_->m_hWnd) mainWindow_->DestroyWindow();
  mainWindow_.reset();
}

void CSetupApp::runEnd() {
  ending_ = true;
  if (worker_) {
    WaitForThread(worker_->m_hThread, INFINITE);
    delete worker_;
    worker_ = nullptr;
  }
  if (serverLaunched_) {
    destroyWindows();
    installer_.end();
    if (installer_.rebootPending() && takeRebootFlag()) restartWhenEveryoneAgrees();
    return;
  }
  CWaitCursor wait;
  destroyWindows();
  installer_.end();
  waitWhileInstallerRuns();
  if (!copying_.temporaryDirectory.empty()) {
    cleanUpTemporaryDirectory(copying_.temporaryDirectory, [this](UINT id) { return text(id); }, *ui_);
  }
  if (takeRebootFlag()) restartWhenEveryoneAgrees();
}

int CSetupApp::ExitInstance() {
  runEnd();
  AfxSetResourceHandle(nullptr);
  if (resources_) freeModule(resources_);
  resources_ = nullptr;
  return CWinApp::ExitInstance();
}

}  // namespace wf::setup
