#pragma once
// Test doubles of the main program's services: FakeWFApp (the application
// object, a CWinApp), FakeWindowList and FakeAlertManager. What the common
// classes rely on is done for real: the work queue, the enumeration
// semaphore, the blink and flash lists (ticked by the test instead of
// timers), settings, image lists; calls are recorded for the tests to read.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/app_services.h"
#include "common/app_work.h"
#include "framework/image_list.h"
#include "framework/win_app.h"

namespace wf::testing {

class FakeWindowList : public WFWindowListServices {
 public:
  // PostToAll posts to these windows.
  void addWindow(HWND window);
  // Each call as one line, e.g. "PostToAll 1148 0 0", "UpdatePrinterViews 12".
  // ReplacePrinter also moves one usage from the old icon to the new one.
  std::vector<std::string> calls() const;

  void PostToAll(UINT message, WPARAM wParam, LPARAM lParam) override;
  void ReplacePrinter(CWFPrinterIcon* oldIcon, CWFPrinterIcon* newIcon) override;
  void UpdatePrinterViews(USHORT printer, CWnd* skip) override;
  BOOL AnyNormalWndFound(USHORT printer) override;
  void RestoreOnError(USHORT printer) override;
  int GetCount() override;
  void RemovePrinter(USHORT printer, CWnd* skip) override;
  void AnyAlerts() override;

  BOOL normalWindowFound = FALSE;
  int windowCount = 1;

 private:
  void record(std::string call);
  mutable std::mutex m_;
  std::vector<std::string> calls_;
  std::vector<HWND> windows_;
};

class FakeAlertManager : public WFAlertManagerServices {
 public:
  // The window belongs to the constructing thread, which pumps its messages.
  FakeAlertManager();
  ~FakeAlertManager() override;
  HWND GetNotificationWindow() override { return window_; }
  // Messages the window's procedure received, as "message wParam lParam".
  std::vector<std::string> received() const;

 private:
  HWND window_ = 0;
  mutable std::mutex m_;
  std::vector<std::string> received_;
};

class FakeJSFManager : public WFJSFManagerServices {
 public:
  // The window belongs to the constructing thread, which pumps its messages.
  FakeJSFManager();
  ~FakeJSFManager() override;
  HWND GetNotificationWindow() override { return window_; }
  // The text of every WM_WF_JSFRECORD received, in order.
  std::vector<std::string> lines() const;

 private:
  HWND window_ = 0;
  mutable std::mutex m_;
  std::vector<std::string> lines_;
};

class FakeWFApp : public CWinApp, public WFAppServices {
 public:
  FakeWFApp();
  ~FakeWFApp() override;

  // Settings the services answer from.
  int maxThreads = 20;
  ULONG loggingLevel = 1;
  BOOL useGhosts = FALSE;
  BOOL flashIcon = TRUE;
  BOOL soundEnabled = TRUE;
  BOOL minSounds = FALSE;
  BOOL focusOnAlert = FALSE;
  BOOL jsTracking = FALSE;
  BOOL threadMgrActive = TRUE;
  BOOL windowsLeft = TRUE;
  short appId = 0;
  std::map<int, std::string> waveFiles;
  // GetPrinterFromHandle answers from here, else asks the manager.
  std::map<USHORT, WFPrtObj*> printers;
  // Loaded as "CORWF32.DLL" when GetToolKitDLL finds it null, as the main
  // program does; freed by freeToolKit and the destructor.
  HINSTANCE toolKit = nullptr;
  // The network adapter configuration library; loadNetSetDLL loads it by
  // name through the module search path, and the application frees it.
  HINSTANCE netSet = nullptr;
  BOOL loadNetSetDLL(const char* name = "CORNETUI");
  // The owned objects' slots; null until a test fills them.
  CWFPrinterList* printerList = nullptr;
  CWFPrinterDLLManager* printerDLLManager = nullptr;
  WFPrtMgr* prtMgr = nullptr;
  FakeWindowList windowList;
  FakeAlertManager alertManager;
  // When set, GetAlertManager answers this service instead.
  WFAlertManagerServices* alertService = nullptr;
  // The job statistics file and service; jsfService (a real manager) replaces
  // the recording one when set.
  CString jsFilename;
  CTime jsFiletime;
  FakeJSFManager jsfManager;
  WFJSFManagerServices* jsfService = nullptr;

  wf::WorkItemQueue& workQueue() { return queue_; }
  // Where GetProgramDirectory points (the program's own directory at first).
  void setProgramDirectory(std::string dir) { programDir_ = std::move(dir); }
  // Also the application object's own help path, as the program sets it.
  void setHelpFilePath(std::string path) {
    helpPath_ = std::move(path);
    m_pszHelpFilePath = helpPath_.c_str();
  }
  // The windows WM_WF_FLASH goes to.
  std::vector<CWnd*> flashList() const;
  wf::EnumSpecCounter& enumCounter() { return enumCounter_; }
  // Lines given to Log at or below the logging level, without time stamps.
  std::vector<std::string> logLines() const;
  // How often the thread manager asked whether the queue is empty.
  std::uint64_t queueChecks() const;
  // (command, data) of every WinHelp call.
  std::vector<std::pair<UINT, std::uintptr_t>> helpCalls() const;
  // The timers' work: WM_WF_BLINK / WM_WF_FLASH to each listed window,
  // while the timer runs.
  void tickBlink();
  void tickFlash();
  bool blinkTimerRunning() const;
  bool flashTimerRunning() const;

  void BeginThread(UINT (*proc)(void*), void* param, int priority, const char* name) override;
  BOOL ThreadMgrQIsEmpty() override;
  CWFThread* ThreadMgrQRemoveHead() override;
  BOOL IsThreadMgrActive() override { return threadMgrActive; }
  int GetMaxThreads() override { return maxThreads; }
  void Log(ULONG level, const char* format, ...) override;
  BOOL AnyWindowsLeft() override { return windowsLeft; }
  BOOL GetUseGhosts() override { return useGhosts; }
  int SetGlobalEnumState(int state) override { return globalEnumState_ = state; }
  int GetGlobalEnumState() override { return globalEnumState_; }
  void IncreaseEnumSpecCount() override { enumCounter_.increase(); }
  void DecreaseEnumSpecCount() override { enumCounter_.decrease(&windowList); }
  void WaitForEnumSpecsComplete() override { enumCounter_.waitForAll(); }
  void ReleaseAllEnumSpecs() override { enumCounter_.releaseAll(); }
  int GetEnumSpecCount() override { return enumCounter_.count(); }
  WFPrtObj* GetPrinterFromHandle(USHORT printer) override;
  short GetAppID() override { return appId; }
  HINSTANCE GetToolKitDLL() override;
  void freeToolKit();
  HINSTANCE GetNetSetDLL() override { return netSet; }
  BOOL AddToBlinkList(CWnd* window) override;
  BOOL RemoveFromBlinkList(CWnd* window) override;
  BOOL GetFlashIcon() override { return flashIcon; }
  BOOL AddToFlashList(CWnd* window) override;
  BOOL RemoveFromFlashList(CWnd* window) override;
  CFilename GetWaveFile(int soundEvent) override;
  BOOL GetSoundEnabled() override { return soundEnabled; }
  BOOL GetMinSounds() override { return minSounds; }
  BOOL GetFocusOnAlert() override { return focusOnAlert; }
  void WinHelp(std::uintptr_t data, UINT command) override;
  BOOL GetJSTracking() override { return jsTracking; }
  CWFPrinterList* GetPrinterList() override { return printerList; }
  WFWindowListServices* GetWindowList() override { return &windowList; }
  WFAlertManagerServices* GetAlertManager() override {
    return alertService ? alertService : static_cast<WFAlertManagerServices*>(&alertManager);
  }
  CWFPrinterDLLManager* GetPrinterDLLManager() override { return printerDLLManager; }
  WFPrtMgr* GetPrtMgr() override { return prtMgr; }
  CImageList* GetNormalImageList() override { return &normalImages_; }
  CImageList* GetSmallImageList() override { return &smallImages_; }
  WF_CASCADE_POS* GetCascadePos() override { return &cascade_; }
  const char* GetAppRegistryKey() override { return "Software\\Corvane\\Wrenfield\\1.0"; }
  const char* GetHelpFilePath() override { return helpPath_.c_str(); }
  const char* GetProgramDirectory() override { return programDir_.c_str(); }
  CString GetJSFilename() override { return jsFilename; }
  CTime GetJSFiletime() override { return jsFiletime; }
  WFJSFManagerServices* GetJSFManager() override {
    return jsfService ? jsfService : static_cast<WFJSFManagerServices*>(&jsfManager);
  }

 private:
  mutable std::mutex m_;
  wf::WorkItemQueue queue_;
  wf::EnumSpecCounter enumCounter_;
  int globalEnumState_ = 0;
  std::vector<std::string> logLines_;
  std::uint64_t queueChecks_ = 0;
  std::vector<std::pair<UINT, std::uintptr_t>> helpCalls_;
  std::vector<CWnd*> blinkList_;
  bool blinkRunning_ = false;
  std::vector<CWnd*> flashList_;
  bool flashRunning_ = false;
  CImageList normalImages_;
  CImageList smallImages_;
  WF_CASCADE_POS cascade_;
  std::string helpPath_;
  std::string programDir_;
};

}  // namespace wf::testing
