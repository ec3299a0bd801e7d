// The application object: construction, start-up and shutdown.
#include "app/wf_app.h"

#include <cstring>

#include "app/alert_manager.h"
#include "app/inventory_dlg.h"
#include "app/main_frame.h"
#include "app/shutdown_dlg.h"
#include "app/splash_wnd.h"
#include "app/window_list.h"
#include "broker/corbce.h"
#include "framework/global_memory.h"
#include "framework/resources.h"
#include "framework/shell_calls.h"
#include "platform/clock.h"
#include "platform/module.h"
#include "wfprtmgr/wfprtmgr.h"

namespace {

constexpr const char* kInstanceMutex = "Wrenfield Application Instance";
constexpr const char* kDefaultWindow = "wrenfield";
constexpr UINT kStepPause = 1000;
// How long shutdown waits for a running inventory worker.
constexpr std::uint32_t kInventoryStop = 5000;
constexpr UINT kStartFailed = 50;
const UINT kShutdownSteps[] = {169, 165, 164, 166, 167};

}  // namespace

CWFApp::CWFApp() : CWinApp("Wrenfield") {
  m_windowList = new CWFWindowList;
  m_programDir = wf::moduleDirectory().string();
  m_enumCounter.create();
  SetWaveDefaults();
}

CWFApp::~CWFApp() {
  stopWorkQueue();
  JoinSavedPrinterWalks();
  delete m_windowList;
}

void CWFApp::SetPrtMgr(std::unique_ptr<WFPrtMgr> manager) {
  m_prtMgr = std::move(manager);
}

BOOL CWFApp::AnyWindowsLeft() {
  return m_pMainWnd != nullptr || (m_windowList && m_windowList->GetCount() > 0);
}

WFAlertManagerServices* CWFApp::GetAlertManager() {
  return m_alertManager.get();
}

WFWindowListServices* CWFApp::GetWindowList() {
  return m_windowList;
}

BOOL CWFApp::Traverse(BOOL (*fn)(CWFPrinterIcon*, void*), void* data) {
  return m_windowList ? m_windowList->Traverse(fn, data) : FALSE;
}

BOOL CWFApp::Exit() {
  if (m_windowList) m_windowList->RemoveAllWindows(CWFWindowList::REMOVE_AND_DESTROY);
  return TRUE;
}

BOOL CWFApp::AnyNormalWndFound(USHORT printer) {
  return m_windowList ? m_windowList->AnyNormalWndFound(printer) : FALSE;
}

void CWFApp::RestoreOnError(USHORT printer) {
  if (m_windowList) m_windowList->RestoreOnError(printer);
}

void CWFApp::WFOnTop(BOOL onTop) {
  if (m_windowList) m_windowList->WFOnTop(onTop);
}

void CWFApp::InitImageLists() {
  const int size = GetSystemMetrics(SM_CXICON) > 0 ? GetSystemMetrics(SM_CXICON) : 32;
  m_normalImages.Create(size, size, ILC_MASK | ILC_COLOR24, 1, 1);
  m_smallImages.Create(size / 2, size / 2, ILC_MASK | ILC_COLOR24, 1, 1);
}

void CWFApp::DeleteImageLists() {
  m_normalImages.DeleteImageList();
  m_smallImages.DeleteImageList();
}

CMainFrame* CWFApp::FindOrCreateWindow(const CString& requested) {
  const CString name = requested.IsEmpty() ? CString(kDefaultWindow) : requested;
  if (m_windowList && m_windowList->ShowExistingWindow(name)) return nullptr;
  CMainFrame* frame = CMainFrame::Make(name);
  if (!frame || !m_windowList || !m_windowList->IsInWindowList(frame)) return nullptr;
  frame->ShowWindow(SW_SHOWNORMAL);
  frame->UpdateWindow();
  frame->AddPassingPrinters();
  return frame;
}

void CWFApp::QueueWindowName(const CString& name) {
  m_queuedWindowNames.push_back(name);
}

void CWFApp::OpenQueuedWindows() {
  // A name handed over while a new window's filter dialog runs waits for it:
  // dialogs never nest.
  if (m_openingQueuedWindows) return;
  m_openingQueuedWindows = true;
  while (!m_queuedWindowNames.empty()) {
    const CString name = m_queuedWindowNames.front();
    m_queuedWindowNames.pop_front();
    FindOrCreateWindow(name);
  }
  m_openingQueuedWindows = false;
}

bool CWFApp::startUp() {
  // 1-2: the first window's name and the profile's place.
  m_firstWindowName = m_lpCmdLine && *m_lpCmdLine ? m_lpCmdLine : kDefaultWindow;
  m_pszAppName = "Wrenfield\\1.0";
  SetRegistryKey("Corvane");

  // 3: the class a second start looks for.
  WNDCLASS frameClass{};
  if (GetClassInfo(nullptr, kAfxFrameOrViewClass, &frameClass)) {
    frameClass.lpszClassName = "WrenfieldMainFrame";
    AfxRegisterClass(&frameClass);
  }

  // 4: only one instance.
  bool existed = false;
  m_instanceMutex = wf::CrossProcessMutex::open(kInstanceMutex, &existed);
  if (existed) {
    m_secondInstance = TRUE;
    HandleSecondInstance(m_firstWindowName.c_str());
    RegisterPrevInstFile(m_firstWindowName.c_str());
    return false;
  }

  // 6-7: resources, splash.
  m_resDll = wf::loadModule("WFRESDLL.DLL");
  wf::fw::joinResourceChain(m_resDll);
  if (HICON icon = LoadIcon(m_resDll, 128);
      icon && GetClassInfo(nullptr, "WrenfieldMainFrame", &frameClass)) {
    frameClass.hIcon = icon;
  }
  m_splashShowing = TRUE;
  m_splash = std::make_unique<CSplashWnd>();
  if (m_splash->Create()) {
    m_splash->ShowWindow(SW_SHOWNORMAL);
    m_splash->UpdateWindow();
  } else {
    m_splashShowing = FALSE;
  }

  // 8-11.
  m_enumCounter.create();
  m_netSetDll = wf::loadModule("CORNETUI.DLL");
  m_toolKitDll = wf::loadModule("CORWF32.DLL");
  InitImageLists();

  // 12: the job statistics service.
  startJSFManager();

  // 13: the alert service and the broker registration.
  bool ok = false;
  m_alertManager = std::make_unique<CWFAlertManager>();
  if (m_alertManager->Initialize()) {
    m_appId = BceRegisterApp(m_alertManager->GetNotificationWindow());
    ok = m_appId != WF_APP_NOT_REGISTERED;
    if (ok) m_prtMgr = std::make_unique<WFPrtMgr>(m_appId);
  }

  // 14-16.
  m_netsAvailable = 0;
  std::uint32_t nets = 0;
  BceGetNets(&nets);
  m_netsAvailable = nets;
  if (ok) {
    m_dllManager.LoadDLLs();
    RetrieveRegistrySettings();
  }
  startWorkQueue();

  // 17-19.
  if (GetBidiTrace()) BceStartTrace(nullptr, 0);
  postJSFilename();
  postJSLimit();
  SetGlobalEnumState(TRUE);
  {
    std::lock_guard lock(m_listsLock);
    m_blinkRunning = false;
  }
  m_fullEnumWanted = FALSE;

  // 20: the first printer window.
  if (ok) {
    CMainFrame* frame = CMainFrame::Make(m_firstWindowName.c_str());
    ok = frame && m_windowList->IsInWindowList(frame);
    if (ok) m_pMainWnd = frame;
  }

  // 21-22.
  if (ok && (m_fullEnumWanted || GetStartupEnumAll())) {
    m_printerList.EnumeratePrinters(m_prtMgr.get(), m_fullEnumWanted ? m_pMainWnd->GetSafeHwnd() : 0);
  } else {
    SetGlobalEnumState(FALSE);
  }
  CheckDriverUpdate();

  // 23.
  if (!ok) Error(kStartFailed);
  return ok;
}

BOOL CWFApp::InitInstance() {
  return startUp() ? TRUE : FALSE;
}

int CWFApp::ExitInstance() {
  m_splash.reset();
  if (!m_secondInstance) {
    // Only settings this process read go back: after a failed start the
    // members hold defaults, not the user's values.
    if (m_settingsRetrieved) SaveRegistrySettings();
    AfxSetResourceHandle(m_resDll);
    CShutdownDlg dialog(this);
    dialog.DoModal();
    AfxSetResourceHandle(nullptr);
    if (m_resDll) {
      wf::fw::leaveResourceChain(m_resDll);
      wf::freeModule(m_resDll);
      m_resDll = nullptr;
    }
  }
  if (m_instanceMutex) {
    m_instanceMutex->release();
    m_instanceMutex.reset();
  }
  return CWinApp::ExitInstance();
}

void CWFApp::shutDownWork() {
  stopWorkQueue();
}

UINT CWFApp::ExitInstanceThreadFunc(void* param) {
  std::unique_ptr<std::pair<CShutdownDlg*, CWFApp*>> pair(
      static_cast<std::pair<CShutdownDlg*, CWFApp*>*>(param));
  CShutdownDlg* dialog = pair->first;
  CWFApp* app = pair->second;
  auto step = [dialog](int index) {
    CString text;
    text.LoadString(kShutdownSteps[index]);
    CShutdownDlg::noteText(text.str());
    if (CWnd* progress = dialog->GetDlgItem(1137)) progress->SetWindowText(text);
    wf::sleepFor(kStepPause);
  };

  step(0);
  app->shutDownWork();

  step(1);
  if (app->GetBidiTrace()) BceStopTrace();
  // The alert thread is ended whenever it exists, registered or not.
  if (app->m_alertManager) app->m_alertManager->Shutdown();
  app->stopJSFManager();
  // The saved-printer walks end before the printers and the manager go; one
  // past its bound may still call the manager, so that stays.
  if (!app->JoinSavedPrinterWalks()) {
    app->Log(0, "A saved-printer walk did not end; the printer manager is kept");
    static_cast<void>(app->m_prtMgr.release());
  }
  // An inventory worker uses the icons: a worker that will not end keeps them.
  if (wf::inventory::StopRunningWorker(kInventoryStop))
    app->m_printerList.DeleteAllPrinters();
  else
    app->Log(1, "Printers left undeleted: the inventory worker still runs");
  app->DeleteImageLists();

  step(2);
  // Deleted only once no enumeration runs inside it: the manager waits.
  app->m_prtMgr.reset();
  if (app->m_appId != WF_APP_NOT_REGISTERED) {
    BceUnregisterApp(static_cast<std::uint16_t>(app->m_appId));
    app->m_appId = WF_APP_NOT_REGISTERED;
  }

  step(3);
  if (app->m_netSetDll) wf::freeModule(app->m_netSetDll);
  if (app->m_toolKitDll) wf::freeModule(app->m_toolKitDll);
  app->m_netSetDll = nullptr;
  app->m_toolKitDll = nullptr;
  app->CloseLogFile();

  step(4);
  dialog->PostMessage(WM_CLOSE);
  return 0;
}

void CWFApp::startJSFManager() {
  m_jsfManager = std::make_unique<CWFJSFManager>();
  m_jsfManager->Initialize();
}

void CWFApp::stopJSFManager() {
  if (m_jsfManager) m_jsfManager->Shutdown();
}

void CWFApp::postJSFilename() {
  // The service frees the block; a post that fails frees it at once.
  if (HWND window = GetJSFNotificationWindow())
    ::PostMessage(window, WM_WF_JSFSETFILE, 0,
                  reinterpret_cast<LPARAM>(wf::fw::globalTextCopy(m_jsFilename.str())));
}

void CWFApp::postJSLimit() {
  HWND window = GetJSFNotificationWindow();
  if (!window) return;
  HGLOBAL block = GlobalAlloc(GMEM_FIXED, sizeof(WF_JSF_LIMIT));
  if (!block) return;
  const WF_JSF_LIMIT limit{GetJSFileBounded(), m_jsMaxSize};
  std::memcpy(block, &limit, sizeof limit);
  ::PostMessage(window, WM_WF_JSFSETLIMIT, 0, reinterpret_cast<LPARAM>(block));
}

CString CWFApp::SetJSFilename(const CString& name) {
  m_jsFilename = name;
  postJSFilename();
  return m_jsFilename;
}

void CWFApp::SetJSMaxSize(UINT kb) {
  m_jsMaxSize = kb;
  postJSLimit();
}

BOOL CWFApp::SetJSFileBounded(BOOL on) {
  const BOOL result = setFlag(11, on);
  postJSLimit();
  return result;
}

CWFApp* WFGetWFApp() {
  return dynamic_cast<CWFApp*>(AfxGetApp());
}
