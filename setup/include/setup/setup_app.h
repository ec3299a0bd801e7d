#pragma once
// The setup program: a hidden main window whose messages drive the checks,
// the copying and the installer conversation, a splash shown meanwhile, and
// the end that always runs once the message loop is over.
#include <map>
#include <memory>
#include <string>

#include "framework/dialog.h"
#include "framework/win_app.h"
#include "framework/win_thread.h"
#include "setup/check_sequence.h"
#include "setup/copying.h"
#include "setup/installer_link.h"

namespace wf::setup {

constexpr UINT WM_SETUP_START = WM_USER + 325;
constexpr UINT WM_SETUP_CHECKED = WM_USER + 320;
constexpr UINT WM_SETUP_COPY = WM_USER + 321;
constexpr UINT WM_SETUP_COPIED = WM_USER + 323;
constexpr UINT WM_SETUP_FAILED = WM_USER + 324;
constexpr UINT WM_SETUP_SETTEXT = WM_USER + 132;
constexpr UINT WM_ENDSESSION = 0x0016;

constexpr UINT kSplashDialog = 7;
constexpr UINT kTextFailure = 19;
constexpr UINT kTextDdeFailed = 213;
constexpr UINT kTextSplashTitle = 216;
constexpr char kSetupWindowClass[] = "Setup";
constexpr char kSetupWindowTitle[] = "Corvane";
constexpr char kResourceLibrary[] = "dllres.dll";
constexpr char kServerNameTooLong[] = "Server Directory name must be no more than 8 characters.";
constexpr std::size_t kSetTextChars = 255;

class CSetupApp;

class CSetupSplash : public CDialog {
 public:
  CSetupSplash() : CDialog(kSplashDialog) {}
  BOOL OnInitDialog() override;

 protected:
  LRESULT OnEndSession(WPARAM, LPARAM) { return 0; }
  DECLARE_MESSAGE_MAP()
};

class CSetupWnd : public CWnd {
 public:
  explicit CSetupWnd(CSetupApp& app) : app_(app) {}

 protected:
  LRESULT OnSetupStart(WPARAM, LPARAM);
  LRESULT OnSetupChecked(WPARAM, LPARAM);
  LRESULT OnSetupCopy(WPARAM, LPARAM);
  LRESULT OnSetupCopied(WPARAM, LPARAM);
  LRESULT OnSetupFailed(WPARAM, LPARAM);
  LRESULT OnSetupSetText(WPARAM, LPARAM);
  LRESULT OnEndSession(WPARAM, LPARAM);
  void OnDestroy();
  DECLARE_MESSAGE_MAP()

 private:
  CSetupApp& app_;
};

class CSetupApp : public CWinApp {
 public:
  CSetupApp();
  ~CSetupApp() override;

  BOOL InitInstance() override;
  int ExitInstance() override;

  // A text of "dllres.dll"; empty when it has none.
  std::string text(UINT id) const;
  // Shows a box owned by the splash and waits for its answer, from any thread.
  int showBox(const std::string& message, const std::string& caption, UINT style);
  void showSplash(bool shown);

 private:
  friend class CSetupWnd;
  static UINT checkThread(LPVOID app);
  static UINT copyThread(LPVOID app);
  void startWorker(AFX_THREADPROC proc);
  void launchFromServerDirectory();
  void launchInstaller();
  void destroyWindows();
  void runEnd();

  std::string modulePath_;
  ModuleHandle resources_ = nullptr;
  std::map<UINT, std::string> texts_;
  std::unique_ptr<CSetupWnd> mainWindow_;
  std::unique_ptr<CSetupSplash> splash_;
  std::unique_ptr<CheckUi> ui_;
  InstallerLink installer_;
  CWinThread* worker_ = nullptr;

  CheckOutcome checks_;
  CopyRun copying_;
  bool serverLaunched_ = false;
  bool ending_ = false;
  std::string setText_;
  bool textSet_ = false;
};

}  // namespace wf::setup
