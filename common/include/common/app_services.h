#pragma once
// What the common classes and the printer modules use of the main program:
// its application object (WFAppServices), window list and alert manager.
// The main program implements these; tests use common/testing's doubles.
// WFGetApp() is the framework's current application seen as this interface;
// without one no work is accepted and there is no manager and no window.
#include <cstdint>

#include "common/filename.h"
#include "framework/ctime.h"
#include "framework/resources.h"

class CImageList;
class CWFPrinterDLLManager;
class CWFPrinterIcon;
class CWFPrinterList;
class CWFThread;
class CWnd;
class WFPrtMgr;
class WFPrtObj;

// Messages of the main program that the common classes post or receive.
constexpr UINT WM_WF_ADDPRINTER = 1131;
constexpr UINT WM_WF_ENUMCOMPLETE = 1139;
constexpr UINT WM_WF_BLINK = 1142;
constexpr UINT WM_WF_FLASH = 1143;
constexpr UINT WM_WF_RESORT = 1148;
constexpr UINT WM_WF_SELECTITEM = 1152;
constexpr UINT WM_WF_ENUMALLDONE = 1155;
// To the job statistics service: lParam a global block holding one record,
// a line ended by CR LF and a NUL; the service frees it.
constexpr UINT WM_WF_JSFRECORD = 1132;

// Taken around every access to the job statistics file and its limits.
constexpr const char* WF_JSFILE_MUTEX = "JobStatsFile";

// Timers of the main window.
constexpr UINT WF_BLINK_TIMER = 101;
constexpr UINT WF_FLASH_TIMER = 102;
constexpr UINT WF_REGISTER_TIMER = 103;  // registering again after the broker's primary went

// One printer of the inventory; the main program frees the entries.
struct _WF_PRINTER_INFO {
  USHORT hPrinter = 0;
  CString strName;
  DWORD dwNoBidiData = 0;  // non-zero: the record's status byte is 0
  DWORD dwReserved = 0;
  _WF_PRINTER_INFO* pNext = nullptr;  // the next entry of the same printer
};

// Where the next notebook frame opens; frames move x and y, only read step.
struct WF_CASCADE_POS {
  int x = 50;
  int y = 50;
  int step = 20;
};

class WFWindowListServices {
 public:
  virtual ~WFWindowListServices() = default;
  virtual void PostToAll(UINT message, WPARAM wParam, LPARAM lParam) = 0;
  virtual void ReplacePrinter(CWFPrinterIcon* oldIcon, CWFPrinterIcon* newIcon) = 0;
  // Every printer window but `skip` refreshes the printer's row.
  virtual void UpdatePrinterViews(USHORT printer, CWnd* skip) = 0;
  virtual BOOL AnyNormalWndFound(USHORT printer) = 0;
  virtual void RestoreOnError(USHORT printer) = 0;
  virtual int GetCount() = 0;
  // Every printer window but `skip` drops the printer; done on return.
  virtual void RemovePrinter(USHORT printer, CWnd* skip) = 0;
  // Every printer window brings its alert icon up to date.
  virtual void AnyAlerts() = 0;
};

class WFAlertManagerServices {
 public:
  virtual ~WFAlertManagerServices() = default;
  // The hidden window that the broker's alert messages reach.
  virtual HWND GetNotificationWindow() = 0;
};

class WFJSFManagerServices {
 public:
  virtual ~WFJSFManagerServices() = default;
  // The hidden window job statistics records are posted to; null when the
  // service does not run.
  virtual HWND GetNotificationWindow() = 0;
};

class WFAppServices {
 public:
  virtual ~WFAppServices() = default;

  // Work items. BeginThread queues under "ThreadQueue" while work is
  // accepted and silently does nothing otherwise; the thread manager holds
  // "ThreadQueue" around the two queue calls.
  virtual void BeginThread(UINT (*proc)(void*), void* param, int priority, const char* name) = 0;
  virtual BOOL ThreadMgrQIsEmpty() = 0;
  virtual CWFThread* ThreadMgrQRemoveHead() = 0;
  virtual BOOL IsThreadMgrActive() = 0;
  virtual int GetMaxThreads() = 0;  // at least 20
  // One time-stamped line when `level` is at most the logging level.
  virtual void Log(ULONG level, const char* format, ...) __attribute__((format(printf, 3, 4))) = 0;

  // Windows and enumerations.
  virtual BOOL AnyWindowsLeft() = 0;
  virtual BOOL GetUseGhosts() = 0;
  virtual int SetGlobalEnumState(int state) = 0;
  virtual int GetGlobalEnumState() = 0;
  virtual void IncreaseEnumSpecCount() = 0;
  virtual void DecreaseEnumSpecCount() = 0;
  virtual void WaitForEnumSpecsComplete() = 0;
  virtual void ReleaseAllEnumSpecs() = 0;
  virtual int GetEnumSpecCount() = 0;

  // Printers and libraries.
  virtual WFPrtObj* GetPrinterFromHandle(USHORT printer) = 0;
  virtual short GetAppID() = 0;
  virtual HINSTANCE GetToolKitDLL() = 0;
  virtual HINSTANCE GetNetSetDLL() = 0;

  // Blinking buttons (timer 101) and flashing window icons (timer 102).
  virtual BOOL AddToBlinkList(CWnd* window) = 0;
  virtual BOOL RemoveFromBlinkList(CWnd* window) = 0;
  virtual BOOL GetFlashIcon() = 0;
  virtual BOOL AddToFlashList(CWnd* window) = 0;
  virtual BOOL RemoveFromFlashList(CWnd* window) = 0;

  // Sounds, focus and help.
  virtual CFilename GetWaveFile(int soundEvent) = 0;  // empty when none is set
  virtual BOOL GetSoundEnabled() = 0;
  virtual BOOL GetMinSounds() = 0;
  virtual BOOL GetFocusOnAlert() = 0;
  virtual void WinHelp(std::uintptr_t data, UINT command) = 0;
  // Whether new printers track job statistics by default.
  virtual BOOL GetJSTracking() = 0;

  // What the application object owns; null until it exists.
  virtual CWFPrinterList* GetPrinterList() = 0;
  virtual WFWindowListServices* GetWindowList() = 0;
  virtual WFAlertManagerServices* GetAlertManager() = 0;
  virtual CWFPrinterDLLManager* GetPrinterDLLManager() = 0;
  virtual WFPrtMgr* GetPrtMgr() = 0;
  virtual CImageList* GetNormalImageList() = 0;  // system icon size
  virtual CImageList* GetSmallImageList() = 0;   // half that size
  virtual WF_CASCADE_POS* GetCascadePos() = 0;
  virtual const char* GetAppRegistryKey() = 0;  // below the current user
  virtual const char* GetHelpFilePath() = 0;
  virtual const char* GetProgramDirectory() = 0;

  // The job statistics file: its name (empty when none), the time it was
  // taken into use (0 before any) and the service that writes it (null when
  // none runs).
  virtual CString GetJSFilename() = 0;
  virtual CTime GetJSFiletime() = 0;
  virtual WFJSFManagerServices* GetJSFManager() = 0;
};

WFAppServices* WFGetApp();
