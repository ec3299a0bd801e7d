#pragma once
// CWFApp, the main program's one application object: it owns what lives as
// long as the process, starts the system in a fixed order and takes it down
// again behind the shutdown dialog. Every other module reaches it through
// WFAppServices (WFGetApp()).
#include <atomic>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/jsf_manager.h"
#include "common/app_services.h"
#include "common/app_work.h"
#include "common/printer_dll.h"
#include "common/printer_list.h"
#include "common/thread_mgr.h"
#include "framework/ctime.h"
#include "framework/image_list.h"
#include "framework/win_app.h"
#include "platform/cross_process_mutex.h"
#include "platform/log_file.h"

class CWFWindowList;
class CSplashWnd;
class CWFAlertManager;
class CMainFrame;
class CListBox;

// The application's messages beyond those COMMON knows.
constexpr UINT WM_WF_PREVINSTANCE = 1129;

// The broker's answer when no application slot is free: not registered.
constexpr short WF_APP_NOT_REGISTERED = -12;

constexpr int WF_SOUND_EVENTS = 41;
// Registry texts: the text, its terminator, zero padding.
constexpr DWORD WF_REG_TEXT_BYTES = 260;

// One sound event: registry value name, wave file, display-name string id.
struct WF_SOUND_EVENT {
  const char* name = "";
  CFilename wave;
  UINT displayId = 0;
};

class CWFApp : public CWinApp, public WFAppServices, public WFJSFHost {
 public:
  CWFApp();
  ~CWFApp() override;

  BOOL InitInstance() override;
  int ExitInstance() override;
  // The shutdown worker; `param` is a heap pair {dialog, application}.
  static UINT ExitInstanceThreadFunc(void* param);

  // --- accessors (one line each) ---
  short GetAppID() override { return m_appId; }
  int GetMaxThreads() override { return static_cast<int>(m_maxThreads); }
  BOOL GetGlobalEnumActive() { return GetGlobalEnumState(); }
  int GetEnumSpecCount() override { return m_enumCounter.count(); }
  WFAlertManagerServices* GetAlertManager() override;
  CWFThreadMgr* GetThreadMgr() { return &m_threadMgr; }
  WFPrtMgr* GetWFPrtMgr() { return m_prtMgr.get(); }
  WFPrtMgr* GetPrtMgr() override { return m_prtMgr.get(); }
  HINSTANCE GetNetSetDLL() override { return m_netSetDll; }
  UINT GetNetsAvailable() const { return m_netsAvailable; }
  CWnd* GetMainWindow() { return m_pMainWnd; }
  BOOL IsThreadMgrActive() override { return m_threadMgrActive; }
  BOOL IsPrinterInventoryActive() const { return m_inventoryActive; }
  void SetPrinterInventoryActive(BOOL active) { m_inventoryActive = active; }
  CString GetPrtInvDataFile() const { return m_prtInvDataFile; }
  void SetPrtInvDataFile(const CString& file) { m_prtInvDataFile = file; }
  CString GetDriverUpdatePath() const { return m_driverUpdatePath; }
  void SetDriverUpdatePath(const CString& path) { m_driverUpdatePath = path; }
  CString GetJSFilename() override { return m_jsFilename; }
  UINT GetJSMaxSize() const { return m_jsMaxSize; }
  CTime GetJSFiletime() override { return m_jsFiletime.load(); }
  void LockInJSFile() override { m_jsFiletime = CTime::GetCurrentTime().GetTime(); }
  CWFJSFManager* GetJSFManager() override { return m_jsfManager.get(); }
  HWND GetMainWindowHandle() override { return m_pMainWnd ? m_pMainWnd->GetSafeHwnd() : 0; }
  ULONG GetLoggingLevel() const { return m_loggingLevel; }
  void SetLoggingLevel(ULONG level) { m_loggingLevel = level; }
  void SetMaxThreads(UINT count) { m_maxThreads = count; }
  UINT GetWindowCount() const { return m_windowCount; }
  UINT GetNewWFWindowNo() { return ++m_windowCount; }
  // A listed window counts before start-up names it the main window: the
  // answers for its saved printers may come first.
  BOOL AnyWindowsLeft() override;
  CWFWindowList* GetWFWindowList() { return m_windowList; }
  WFWindowListServices* GetWindowList() override;
  CWFPrinterList* GetPrinterList() override { return &m_printerList; }
  CWFPrinterDLLManager* GetPrinterDLLManager() override { return &m_dllManager; }
  CImageList* GetNormalImageList() override { return &m_normalImages; }
  CImageList* GetSmallImageList() override { return &m_smallImages; }
  WF_CASCADE_POS* GetCascadePos() override { return &m_cascade; }
  const char* GetAppRegistryKey() override { return kAppKey; }
  const char* GetHelpFilePath() override { return m_pszHelpFilePath ? m_pszHelpFilePath : ""; }
  const char* GetProgramDirectory() override { return m_programDir.c_str(); }
  BOOL GetSplashShowing() const { return m_splashShowing; }
  void SetSplashShowing(BOOL showing) { m_splashShowing = showing; }
  BOOL GetFullEnumWanted() const { return m_fullEnumWanted; }
  void SetFullEnumWanted(BOOL wanted) { m_fullEnumWanted = wanted; }
  BOOL IsSecondInstance() const { return m_secondInstance; }
  // Each also tells the job statistics service.
  CString SetJSFilename(const CString& name);
  void SetJSMaxSize(UINT kb);
  BOOL GetJSFileBounded() { return (m_globalFlags >> 11) & 1u; }
  BOOL SetJSFileBounded(BOOL on);
  // The job statistics service's window; tests may put another in its place.
  HWND GetJSFNotificationWindow() const {
    return m_jsfWindow ? m_jsfWindow : m_jsfManager ? m_jsfManager->GetNotificationWindow() : 0;
  }
  void SetJSFNotificationWindow(HWND window) { m_jsfWindow = window; }

  // --- global flags, bits 0-14: the setter keeps bit 0 of its argument.
  // Six of the getters answer WFAppServices as well.
#define WF_FLAG_ACCESSORS(name, bit)      \
  BOOL Get##name() {                      \
    return (m_globalFlags >> (bit)) & 1u; \
  }                                       \
  BOOL Set##name(BOOL on) {               \
    return setFlag(bit, on);              \
  }
  WF_FLAG_ACCESSORS(WFTopmost, 0)
  WF_FLAG_ACCESSORS(FocusOnAlert, 1)
  WF_FLAG_ACCESSORS(FlashIcon, 2)
  WF_FLAG_ACCESSORS(MinSounds, 3)
  WF_FLAG_ACCESSORS(MoveConf, 4)
  WF_FLAG_ACCESSORS(CopyConf, 5)
  WF_FLAG_ACCESSORS(DeleteConf, 6)
  WF_FLAG_ACCESSORS(StartupEnumAll, 7)
  WF_FLAG_ACCESSORS(NewNotify, 8)
  WF_FLAG_ACCESSORS(SoundEnabled, 9)
  WF_FLAG_ACCESSORS(JSTracking, 10)
  WF_FLAG_ACCESSORS(UseGhosts, 12)
  WF_FLAG_ACCESSORS(BidiTrace, 13)
  WF_FLAG_ACCESSORS(DriverUpdateAuto, 14)
#undef WF_FLAG_ACCESSORS
  UINT GetGlobalFlags() const {
    return m_globalFlags;
  }
  void SetGlobalFlags(UINT flags) {
    m_globalFlags = flags;
  }

  // --- settings and sounds ---
  void SetGlobalDefaults();
  void SetWaveDefaults();
  BOOL RetrieveRegistrySettings();
  BOOL SaveRegistrySettings();
  CFilename GetWaveFile(int index) override;
  CString GetWaveFile(const CString& name);
  UINT GetWaveEventID(int index);
  const char* GetWaveEventName(int index) const;
  // "Server Directory" under "Settings\Installation"; empty when not a text.
  CString GetInstallServerDirectory();
  void SetWaveFile(int index, const CFilename& file);
  BOOL GetOEMInstall();

  BOOL Exit();
  BOOL AnyNormalWndFound(USHORT printer);
  void RestoreOnError(USHORT printer);
  void WFOnTop(BOOL onTop);
  void InitImageLists();
  void DeleteImageLists();

  // --- second start ---
  void HandleSecondInstance(const CString& name);
  BOOL RegisterPrevInstFile(const CString& name);
  CString FindPrevInstFile();
  // Shows the window of that name, or makes it; the new window, else null.
  CMainFrame* FindOrCreateWindow(const CString& name);
  // Names handed over by second starts, opened in the order they came, one
  // window (and its filter dialog) at a time; a call made while one opens
  // leaves the rest to that one.
  void QueueWindowName(const CString& name);
  void OpenQueuedWindows();

  // --- saved windows, stored filters, shortcuts ---
  CString GetNewWindowName();
  BOOL IsDuplicateWindowName(const CString& name);
  void CleanUpRegistry(const CString& name);
  // "Filters", created when missing; null on failure; the caller closes it.
  wf::HKEY GetFilterKey();
  // The longest name's length; -1 when "Filters" cannot be opened.
  int FillFilterNames(CListBox* list);
  int GetStoredFilterCount();
  BOOL DoesFilterExist(const CString& name);
  BOOL CreateWFShortcut(const CString& name, const CString& title);
  // Where the shortcuts go; empty when no data directory is known.
  static std::filesystem::path ShortcutFolder();
  // Saved-printer walks run on threads of the application; shutdown joins
  // them, bounded: FALSE when one outlived the bound.
  void StartSavedPrinterWalk(std::function<void()> walk);
  BOOL JoinSavedPrinterWalks();

  // --- work items and enumerations ---
  void BeginThread(UINT (*proc)(void*), void* param, int priority, const char* name) override;
  BOOL ThreadMgrQIsEmpty() override {
    return m_queue.isEmpty();
  }
  CWFThread* ThreadMgrQRemoveHead() override {
    return m_queue.removeHead();
  }
  void TraverseOnThread(BOOL (*fn)(CWFPrinterIcon*, void*), void* data) override;
  BOOL Traverse(BOOL (*fn)(CWFPrinterIcon*, void*), void* data);
  int SetGlobalEnumState(int state) override {
    return m_globalEnumState = state;
  }
  int GetGlobalEnumState() override {
    return m_globalEnumState;
  }
  void IncreaseEnumSpecCount() override {
    m_enumCounter.increase();
  }
  void DecreaseEnumSpecCount() override;
  void WaitForEnumSpecsComplete() override {
    m_enumCounter.waitForAll();
  }
  void ReleaseAllEnumSpecs() override {
    m_enumCounter.releaseAll();
  }
  void GlobalReEnum();

  // --- a broker primary that went away ---
  // Says in every window and printer status that nothing is watched, then
  // registers again (as the primary, when nobody took its place yet) and
  // enumerates again, keeping the windows; retried on the main window's
  // timer WF_REGISTER_TIMER while the broker refuses.
  void PrimaryGone();
  void RetryRegistration();
  BOOL IsPrimaryLost() const { return m_primaryLost; }
  // Once per recovery, at the end of its enumeration: the printers' alerts
  // are captured again from the new primary.
  void RearmAlertsAfterRecovery();

  // --- blink and flash (timers 101 and 102 of the main window) ---
  BOOL AddToBlinkList(CWnd* window) override;
  BOOL RemoveFromBlinkList(CWnd* window) override;
  void ServiceBlinks();
  BOOL AddToFlashList(CWnd* window) override;
  BOOL RemoveFromFlashList(CWnd* window) override;
  void ServiceFlash();
  // The main window changes: the running timers move to `newMain`.
  void MoveTimers(CWnd* oldMain, CWnd* newMain);
  bool blinkTimerRunning() const;
  bool flashTimerRunning() const;
  size_t blinkCount() const;
  size_t flashCount() const;

  // --- log, driver update, libraries ---
  void OpenLogFile(const char* path);
  void CloseLogFile();
  void Log(ULONG level, const char* format, ...) override __attribute__((format(printf, 3, 4)));
  void CheckDriverUpdate();
  BOOL RunExecutable(const CString& program, UINT argsId, UINT captionId, UINT textId, CWnd* parent);
  HINSTANCE GetToolKitDLL() override;
  HINSTANCE PeekToolKitDLL() const {
    return m_toolKitDll;
  }
  // Frees the tool kit, loaded again on its next use (a driver update may replace it).
  void FreeToolKitDLL();

  // --- printers, files, errors ---
  WFPrtObj* GetPrinterFromHandle(USHORT printer) override;
  static void GetModuleFilename(CFilename& file);
  static void Error(const char* text);
  static void Error(const char* format, const char* a1, const char* a2 = nullptr, const char* a3 = nullptr,
                    const char* a4 = nullptr, const char* a5 = nullptr, const char* a6 = nullptr,
                    const char* a7 = nullptr, const char* a8 = nullptr, const char* a9 = nullptr);
  static void Error(UINT stringId, const char* a1 = nullptr, const char* a2 = nullptr,
                    const char* a3 = nullptr, const char* a4 = nullptr, const char* a5 = nullptr,
                    const char* a6 = nullptr, const char* a7 = nullptr, const char* a8 = nullptr,
                    const char* a9 = nullptr);
  // The bounded formatting of Error: at most 500 bytes, cut on a character.
  static std::string formatError(const char* format, const char* const* args, int count);

  void WinHelp(std::uintptr_t data, UINT command) override;

  static constexpr const char* kAppKey = "Software\\Corvane\\Wrenfield\\1.0";
  static constexpr UINT kDefaultFlags = 0x10F0;  // bit 9 (sounds) by device

  // Tests and start-up: the pieces InitInstance runs, callable alone.
  void startWorkQueue();
  void stopWorkQueue();
  void startJSFManager();
  void stopJSFManager();
  bool settingsRetrieved() const {
    return m_settingsRetrieved;
  }
  // Tests: what start-up steps 10 and 14 give the network commands.
  void SetNetSetDLL(HINSTANCE library) {
    m_netSetDll = library;
  }
  void SetNetsAvailable(UINT nets) {
    m_netsAvailable = nets;
  }
  // Tests: the printer manager start-up step 13 would make.
  void SetPrtMgr(std::unique_ptr<WFPrtMgr> manager);
  void SetWindowCount(UINT count) {
    m_windowCount = count;
  }

 private:
  BOOL setFlag(int bit, BOOL on) {
    const UINT mask = 1u << bit;
    m_globalFlags = (on & 1) ? (m_globalFlags | mask) : (m_globalFlags & ~mask);
    return on & 1;
  }
  bool startUp();
  void shutDownWork();
  // Posts the file name / the limits to the job statistics service.
  void postJSFilename();
  void postJSLimit();
  void logUnlocked(const std::string& line);

  // Members in the application's order.
  CWFWindowList* m_windowList = nullptr;  // owned
  CWFPrinterList m_printerList;
  CWFPrinterDLLManager m_dllManager;
  CImageList m_normalImages;
  CImageList m_smallImages;
  BOOL m_fullEnumWanted = FALSE;
  BOOL m_primaryLost = FALSE;
  bool m_rearmWanted = false;
  BOOL m_splashShowing = FALSE;
  mutable std::mutex m_listsLock;  // blink and flash lists and their flags
  std::vector<HWND> m_blinkList;
  bool m_blinkRunning = false;
  std::vector<HWND> m_flashList;
  bool m_flashRunning = false;
  HWND m_timerWindow = 0;  // where timers 101 and 102 run
  UINT m_windowCount = 1;
  BOOL m_inventoryActive = FALSE;
  HINSTANCE m_toolKitDll = nullptr;
  std::optional<wf::CrossProcessMutex> m_instanceMutex;
  BOOL m_secondInstance = FALSE;
  std::deque<CString> m_queuedWindowNames;
  bool m_openingQueuedWindows = false;
  short m_appId = WF_APP_NOT_REGISTERED;
  std::unique_ptr<CWFAlertManager> m_alertManager;
  std::unique_ptr<CWFJSFManager> m_jsfManager;
  std::unique_ptr<WFPrtMgr> m_prtMgr;
  CWFThreadMgr m_threadMgr;
  WF_SOUND_EVENT m_sounds[WF_SOUND_EVENTS];
  UINT m_globalFlags = 0;
  UINT m_maxThreads = 20;
  UINT m_netsAvailable = 0;
  std::unique_ptr<CSplashWnd> m_splash;
  HINSTANCE m_resDll = nullptr;
  HINSTANCE m_netSetDll = nullptr;
  CString m_jsFilename;
  UINT m_jsMaxSize = 0;
  std::atomic<std::time_t> m_jsFiletime{0};
  HWND m_jsfWindow = 0;
  std::atomic<int> m_globalEnumState{0};
  wf::EnumSpecCounter m_enumCounter;
  wf::WorkItemQueue m_queue;
  std::atomic<BOOL> m_threadMgrActive{FALSE};
  std::mutex m_logLock;
  std::optional<wf::LogFile> m_log;
  ULONG m_loggingLevel = 0;
  CString m_driverUpdatePath;
  CString m_prtInvDataFile;
  std::mutex m_walksLock;
  std::condition_variable m_walksDone;
  int m_walksRunning = 0;
  std::vector<std::thread> m_walks;

  WF_CASCADE_POS m_cascade;
  std::string m_programDir;
  std::string m_firstWindowName;
  bool m_settingsRetrieved = false;
};

// The application object, null when none is a CWFApp.
CWFApp* WFGetWFApp();
