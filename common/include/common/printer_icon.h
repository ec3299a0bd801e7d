#pragma once
// CWFPrinterIcon, the user-interface object of one printer. Declared here so
// that the common classes can hold and call icons; defined in WFPRTGUI,
// which the common classes never link. They reach an icon only through its
// virtual operations: those of the class itself, in their fixed order (the
// family modules override them), and WFPrinterIconServices for what the
// class makes non-virtual. Simple flag accessors are inline.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "broker/corbce.h"
#include "common/alert_storage.h"
#include "common/alerts.h"
#include "common/wait_objects.h"
#include "framework/cstring.h"
#include "framework/resources.h"
#include "framework/wnd.h"
#include "platform/registry.h"
#include "platform/thread.h"
#include "prtobj/wfprtobj.h"

class CMenu;
class CPropertySheet;
class CPrtOpenFrame;
class CWFAlertDlgList;
class CWFInputCharArray;
class CWFOutputCharArray;
class CWFPrinterDLL;
class CWFoidList;
class CWFPrinterIcon;
struct _WF_PRINTER_INFO;

using HKEY = wf::HKEY;

// The stored registry record "data", base part; families append theirs.
#pragma pack(push, 1)
struct ENUMBINARYDATA {
  BYTE node[6];
  BYTE reserved[2];
  std::uint32_t portType;
  char name[80];  // zero-terminated, at most 79 characters
  std::uint32_t userDefinedName;
  std::uint32_t familyKey;
  std::uint32_t storedAlerts;  // base alert enable flags, flag 0 in bit 21
};
#pragma pack(pop)
static_assert(sizeof(ENUMBINARYDATA) == 104);

constexpr DWORD WF_GENERIC_FAMILY_KEY = 0xFFFFFFFF;

namespace wf {
// Copies a display name into a record's name field: at most 79 bytes,
// never ending inside a UTF-8 character, zero-filled behind.
inline void copyRecordName(char (&field)[80], const CString& name) {
  std::size_t n = std::min<std::size_t>(name.GetLength(), sizeof field - 1);
  if (n < static_cast<std::size_t>(name.GetLength()))
    while (n > 0 && (static_cast<unsigned char>(name.str()[n]) & 0xC0) == 0x80) --n;
  std::memset(field, 0, sizeof field);
  std::memcpy(field, name.str().data(), n);
}
// A stored record's name; one without terminator is read as its first 79 bytes.
inline CString recordName(const ENUMBINARYDATA& record) {
  return CString(record.name, static_cast<int>(strnlen(record.name, sizeof record.name - 1)));
}
}  // namespace wf

// The icon's non-virtual operations that the common classes call.
class WFPrinterIconServices {
 public:
  virtual CString GetMutexName(CString suffix) = 0;
  virtual WFPrtObj* GetPrinterObj() = 0;
  virtual void ReleasePrinterObj() = 0;
  virtual BOOL LockPrinterObj() = 0;
  virtual BOOL UnlockPrinterObj() = 0;
  virtual void ThreadLock() = 0;
  virtual void ThreadUnlock() = 0;
  virtual BOOL IsSameAddress(WFPrtObj* object) = 0;
  virtual BOOL IsSameAddress(CWFPrinterIcon* other) = 0;
  virtual void SetGhostAddress(const NETADDRESS* address) = 0;
  virtual CString GetName() = 0;
  virtual void SetName(const char* name) = 0;
  virtual BOOL GetBidiActive() = 0;
  virtual BOOL GetAnyActiveAlerts() = 0;
  virtual CWFAlertMsg* Get1stActiveAlertMsg() = 0;
  virtual BOOL RemoveAlertMsg(CWFAlertMsg* message) = 0;
  virtual void DecrementUsageCount() = 0;
  // The printer's ports (CWFPortList) fall back on the adapter's address.
  virtual CString GetNetAddress() = 0;
  virtual CString GetJSAdapterType() = 0;
  virtual unsigned long GetFlashSize() = 0;
  virtual unsigned long GetHDSize() = 0;

 protected:
  ~WFPrinterIconServices() = default;
};

class CWFPrinterIcon : public CObject, public WFPrinterIconServices {
  DECLARE_DYNCREATE(CWFPrinterIcon)
 public:
  enum ALERT_ACTION { ALERT_SHOW = 0, ALERT_SUPPRESS = 1, ALERT_FAMILY = 2 };
  static constexpr int kBaseAlertCount = 22;

  CWFPrinterIcon();
  CWFPrinterIcon(WFPrtObj* object, void* record);

  // ---- Virtual operations, in their fixed order ----
  ~CWFPrinterIcon() override;
  virtual void Serialize(void* archive);
  virtual void AssertValid() const;
  virtual void Dump(void* context) const;

 protected:
  virtual void OnUpdateInputChars();

 public:
  virtual UINT GetInitialAlerts();
  virtual void OnConnectionUpdated();
  virtual CWFPrinterDLL* GetPrinterDLL();
  virtual int BelongsToFamily(ULONG key);
  virtual int GetRtBtnPopup(CMenu* menu);
  virtual int AddOpenViewsToMenu(CMenu* menu);
  virtual int AddNetworkTabs(CMenu* menu);
  virtual void AddObjManipToMenu(CMenu* menu);
  virtual void AddDownloadsToMenu(CMenu* menu);
  virtual void AddExtrasToMenu(CMenu* menu);
  virtual int OpenPrinterA(UINT page);
  virtual int GetIconIndex();
  virtual int GetErrorIconIndex();
  virtual int GetNormalIconIndex();
  virtual UINT SetDefaultView(UINT view);
  virtual HINSTANCE GetResourceInstance(UINT which);
  virtual int IgnorePaperSizeInGraphic();
  virtual void SaveEnumInfo(HKEY key);
  virtual void WriteBinaryEnumData(HKEY key);
  virtual void RestoreAlerts(void* record);
  virtual void CreateSpecificBinaryData(void* record);
  // A record of the family's size from new BYTE[]; the caller delete[]s it.
  virtual void* CreateRefreshData();
  virtual void OnSetStatus(const char* oldStatus, const char* newStatus);
  virtual void IncrementUsageCount();
  virtual int GetPageNum(UINT page);
  virtual int NumPagesInNotebook();
  virtual void ShowHelpforError();
  virtual int GetExtraPageNum(UINT* page, int* index, UINT command);
  virtual UINT NumExtraPages();
  virtual int AddExtraOpenTabs(CMenu* menu);
  virtual void AddExtraOpenPages(CPropertySheet* sheet);
  virtual int HandleExtraMenuCmd(UINT command);
  virtual int UpdateViews(UINT what);
  virtual void PrinterReEnum(void* record);
  virtual UINT ProcessAlert(CWFAlert* alert);
  virtual UINT ProcessOpPanelAlert(CWFAlert* alert);
  virtual CString GetGhostName();
  virtual void SetTrackingJS(int tracking);
  virtual int SetPrinterObj(WFPrtObj* object);
  virtual int GetInputLevels();
  virtual int SupportInputLevels();
  virtual int SupportColorLevels();
  virtual CString GetMarkingType();
  virtual void SetOpPanelText(CWFPanelAlertMsg* message);
  virtual void* GetROPDataStruct();
  virtual void UpdateOpPanelText();
  virtual void DetermineModel();
  virtual CString GetPaperSizeString(UINT size);
  virtual CString GetPaperTypeString(WFPrtObj::PAPERTYPE type);
  virtual ULONG GetCPowerOnPages();
  virtual ULONG GetCTotalPages();
  virtual ULONG GetCUserPageCount();
  virtual int EnableContinueAndReset(int continueButton);
  virtual void UpdateStorageOptions();
  virtual void UpdateDeviceChars();
  virtual void OnRefresh();
  virtual short GetInventoryData(_WF_PRINTER_INFO* info, char* buffer);
  virtual short GetSpoolBufferPercent(int which, unsigned char* percent);
  virtual void FreeOPPanelData(void* data);
  virtual void FreeOPPanelData();

 protected:
  virtual void AddStatusPage(CPropertySheet* sheet);
  virtual void AddOpPanelPage(CPropertySheet* sheet);
  virtual void AddStatsPage(CPropertySheet* sheet);
  virtual void AddResourcePage(CPropertySheet* sheet);
  virtual void AddNetworkPage(CPropertySheet* sheet);
  virtual int AnyNetworkPages();
  virtual int SetAlerts(short appId, HWND window, ALERTS* alerts);
  virtual void ReleaseAlerts(short appId);
  virtual void CompleteAlert(CWFAlert* alert, CWFAlert::ACTIVESTATE state, UINT viewFlags, UINT subType,
                             CString text, UINT helpId, CFilename soundFile, int enableContinue,
                             int enableReset, int hardError);
  virtual UINT ProcessUnknownAlert(CWFAlert* alert);
  virtual UINT ProcessDeviceStatusAlert(CWFAlert* alert);
  virtual UINT ProcessDSAUnknown(CWFAlert* alert);
  virtual UINT ProcessDSAOffLine(CWFAlert* alert);
  virtual UINT ProcessDSA_UIR(CWFAlert* alert);
  virtual UINT ProcessDSAInput(CWFAlert* alert);
  virtual UINT ProcessDSAOutput(CWFAlert* alert);
  virtual UINT ProcessDSAWarnings(CWFAlert* alert);
  virtual UINT ProcessDSAPaperJam(CWFAlert* alert);
  virtual UINT ProcessDSAServiceReq(CWFAlert* alert);
  virtual UINT ProcessDSA_CfgChg(CWFAlert* alert);
  virtual UINT ProcessDSASupply(CWFAlert* alert);
  virtual UINT ProcessUIRAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT status);
  virtual UINT ProcessInputAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT status);
  virtual UINT ProcessCfgChgAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT status);
  virtual UINT ProcessOutputAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT status);
  virtual UINT ProcessPaperJamAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT status);
  virtual UINT ProcessServiceReqAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data,
                                       UINT status);
  virtual UINT ProcessWarningAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT status);
  virtual UINT ProcessSupplyAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT status);
  virtual UINT ProcessBCEGeneralMsg(CWFAlert* alert);
  virtual int AllConnectionsGone(UINT connections);
  virtual void UpdateCPowerOnPages(ULONG pages);
  virtual void UpdateCTotalPages(ULONG pages);
  virtual void UpdateCUserPageCount(ULONG pages);

 public:
  virtual void TurnOnFilteredAlerts(CWFAlertDlgList* list);
  virtual void ClearRemovedAlerts(CWFAlertDlgList* list);
  virtual void SetBceAlerts(CWFAlertDlgList* list, ALERTS* alerts, int activate);
  virtual ALERT_ACTION FilterAlerts(CWFAlertMsg* message);
  virtual void SetInitialAlerts(ALERTS* alerts);
  virtual void ActivateInitialAlerts();
  virtual void UpdateAlertList(CWFAlertDlgList* list);

  // ---- Identity, locks and services ----
  CString GetMutexName(CString suffix) override;
  WFPrtObj* GetPrinterObj() override;
  void ReleasePrinterObj() override;
  BOOL LockPrinterObj() override;
  BOOL UnlockPrinterObj() override;
  void ThreadLock() override;
  void ThreadUnlock() override;
  BOOL IsSameAddress(WFPrtObj* object) override;
  BOOL IsSameAddress(CWFPrinterIcon* other) override;
  void SetGhostAddress(const NETADDRESS* address) override;
  NETADDRESS* GetGhostAddress() const { return m_pGhostAddress; }
  ULONG GetPrinterFamily();
  BOOL IsUnknownPrinter() { return GetPrinterFamily() == WF_GENERIC_FAMILY_KEY; }
  static BOOL IsDeleted(CWFPrinterIcon* icon);
  void EstablishColumnData();

  BOOL IsNetworkPrinter();
  BOOL IsLocalPrinter();
  BOOL IsUserAdmin();
  ULONG GetConnection();
  BOOL GetBidiActive() override;
  WFPrtObj::PORTTYPE GetPortType() const { return m_portType; }
  void SetPortType();
  CString GetPort();
  void SetPort();
  CString GetNetAddress() override;
  void SetNetAddress();
  CString GetNWLogin();
  void SetNWLogin();
  CString GetCLNickname();
  void SetCLNickname();
  CString GetTCPHost();
  void SetTCPHost();
  CString GetName() override;
  void SetName(const char* name) override;
  CString GetPhysicalName();
  void SetPhysicalName();
  CString GetStatus();
  void SetStatus(const char* status);
  CString GetLongName();
  BOOL IsOEMPrinter();
  CString GetModel();
  CString GetAdapterType();
  CString GetJSAdapterType() override;

  BOOL BCEReturnCheck(long result);
  // "[long name] text"; the caller owns the text.
  CString BuildDescriptiveString(const char* text);
  BOOL PrintTestPage(CWnd* notify);
  // Open a Quick Setup dialog on `parent`, which deletes it on WM_WF_QSDONE.
  void DoQuickSetupSend(CWnd* parent, CString file);
  void DoQuickSetupReceive(CWnd* parent, CString file);
  void ResetPrinterData();
  // Downloads through the tool kit (CORWF32): the driver setup request for
  // the queue the user chooses; TRUE when the tool kit reports success.
  BOOL DownloadFont(CWnd* parent, HINSTANCE instance);
  BOOL DownloadDemo(CWnd* parent, HINSTANCE instance);
  BOOL DownloadOverlay(CWnd* parent, HINSTANCE instance);
  // Forwarded to the alert storage under "AlertLock". The pointer results
  // stay valid only while the caller holds "AlertLock" itself.
  UINT Get1stActiveAlertBMP();
  UINT Get1stHardErrorBMP();
  CString Get1stActiveAlertStr();
  CString Get1stHardErrorStr();
  CWFAlertMsg* Get1stActiveAlertMsg() override;
  CWFAlertMsg* Get1stHardErrorMsg();
  BOOL GetAnyActiveAlerts() override;
  BOOL GetAnyHardErrors();
  CWFAlertMsg* IsAlertActive(UINT alertId);
  BOOL RemoveAlertMsg(CWFAlertMsg* message) override;
  // FALSE snapshots the history (under "AlertLock") and gives its first
  // entry; TRUE the next one. Null after the last.
  CWFAlertHistoryEntry* GetNextAlertHistory(BOOL next);

  ULONG CreateBaseStoredAlerts();
  void RestoreBaseAlerts(ULONG mask);

  // ---- Cached data: device, storage, code levels, page counts ----
  // Readers wait at most 3000 ms for a record and then answer the neutral
  // value; texts are copies taken under the record's mutex.
  int GetDuplexOption();
  CString GetSerialNo();
  CString GetRevisionLevel();
  unsigned long GetPrinterSpeed();
  unsigned long GetMemorySize();
  int GetFontCartOption();
  CString GetFontCartName();
  CString GetFontCartFormat();
  unsigned long GetFlashSize() override;
  unsigned long GetFlashRemaining();
  unsigned long GetHDSize() override;
  unsigned long GetHDRemaining();
  int GetHighCapacity();
  unsigned long GetTotalPages();
  unsigned long GetPowerOnPages();
  unsigned long GetUserPageCount();
  CString GetCodeLevel(UINT index);
  UINT GetNumCodeLevels();
  // Queues the page-count worker, which first resets the host page count
  // when `reset` is set.
  void UpdatePageCounts(int reset);
  // The serial number in a buffer of the calling thread, fetched when missing;
  // null when the printer is not bidirectional or the fetch fails.
  char* GetPISerialNumber();
  // Workers queued with CWFApp::BeginThread; the parameter of
  // UpdateGraphicInfo is the printer handle.
  static UINT UpdateGraphicInfo(void* printer);
  static UINT UpdatePC(void* parameter);

  // ---- Inventory record ----
  // The names of the chain's icons: ports, then the network names; each
  // item a global block holding one text. Null when there is none.
  CWFoidList* GetPINameList(_WF_PRINTER_INFO* info);
  UINT GetPIValidProtocols(_WF_PRINTER_INFO* info);
  // GetInventoryData writes into the main program's buffer of this size.
  static constexpr int kInventoryBufferSize = 10240;

  // ---- Cached data: the tray and bin tables ----
  // Fill a table once from the printer; TRUE also when it already has entries.
  BOOL UpdateInputChars();
  BOOL UpdateOutputBins();
  int GetAutoEnvelope();
  int GetAuxFeeder();
  int GetDualFeeder();
  int GetTrayAttached(UINT id);
  UINT GetTraySize(UINT id);
  WFPrtObj::PAPERTYPE GetTrayType(UINT id);
  UINT GetTrayCapacity(UINT id);
  UINT GetOutputCapacity(UINT id);
  int OutputDestSupported(UINT id);
  ULONG GetOutputCapacity();
  CString GetTrayName(USHORT id);
  CString GetTrayTypeName(USHORT id);
  CString GetTraySizeName(USHORT id);
  CString GetTrayLevelName(USHORT id);
  void SetTrayLevel(USHORT id, BYTE level);
  UINT GetTrayLevelPercent(USHORT id);
  UINT GetNPAID(USHORT id);
  UINT NumInputSources();
  UINT NumOutputDestinations();
  CString GetOutputBinName(UINT id);
  int UpdateInputLevels() { return TRUE; }
  // The inventory report's code of the input tray with NPA number `npa`.
  UINT GetInputCode(UINT npa) const { return npa < kInputCodes ? m_inputCodes[npa] : 0; }
  static constexpr UINT kInputCodes = 10;

 protected:
  void UpdateXlate();
  UINT m_inputCodes[kInputCodes] = {};

 public:
  // ---- Members read by the printer list and the windows ----
  USHORT GetPrinterHandle() const { return m_hPrinter; }
  BOOL IsGhost() const { return m_bGhost; }
  void SetGhostStatus(BOOL ghost) { m_bGhost = ghost; }
  UINT GetUsageCount() const { return m_usageCount; }
  // One user less; the last one disarms and closes the notebook.
  void DecrementUsageCount() override;
  BOOL HasUserDefinedName() const { return m_bUserDefinedName; }
  void SetUserDefinedName(BOOL value) { m_bUserDefinedName = value; }
  BOOL GetPrevBidiName() const { return m_bPrevBidiName; }
  void SetPrevBidiName(BOOL value) { m_bPrevBidiName = value; }
  HWND GetOpenDlgHandle() const { return m_hOpenDlg; }
  void SetOpenDlgHandle(HWND window) { m_hOpenDlg = window; }
  // The open notebook's frame; null while no notebook is open.
  CPrtOpenFrame* GetOpenFrame() const { return m_pOpenFrame; }
  UINT GetDefaultView() const { return m_defaultView; }
  // The notebook is gone: forgets its frame and window.
  void ResetDlgPtr();
  // A copy of the cached panel text; empty when none is cached or
  // "OpPanelData" is not had within 3000 ms.
  CString GetOpPanelText();
  int GetPageCount() const { return m_pageCount; }
  void SetPageCount(int count) { m_pageCount = count; }
  ULONG GetConnectionWord() const { return m_connections; }
  ULONG GetStoredFamily() const { return m_storedFamily; }
  const BYTE* GetNodeAddress() const { return m_node; }
  BOOL GetOpPanelLock() const { return m_bOpPanelLock; }
  void SetOpPanelLock(BOOL locked) { m_bOpPanelLock = locked; }
  BOOL UseCapture() const { return m_bUseCapture; }
  void SetUseCapture(BOOL value) { m_bUseCapture = value; }
  ALERTS* GetActiveAlerts() { return &m_activeAlerts; }
  int GetBaseAlertFlag(int index) const { return m_baseAlertFlags[index]; }
  void SetBaseAlertFlag(int index, int value) { m_baseAlertFlags[index] = value; }
  const char* GetLastDriver() const {
    return m_lastDriver.IsEmpty() ? nullptr : static_cast<const char*>(m_lastDriver);
  }
  void SetLastDriver(const char* driver) { m_lastDriver = driver; }
  BOOL IsPrinterObjLocked() const { return m_bPrtObjLocked; }
  CWFAlertStorage& GetAlertStorage() { return m_alertStorage; }
  CWFPanelAlertMsgList& GetPanelAlerts() { return m_panelAlerts; }
  CWFInputCharArray* GetInputObj() const { return m_pInputObj; }
  CWFOutputCharArray* GetOutputObj() const { return m_pOutputObj; }

  static void SetPrinterDLL(CWFPrinterDLL* registration);
  static void SetResourceInst(HINSTANCE module);

 protected:
  void ConstructorInit();
  BOOL Download(CWnd* parent, HINSTANCE instance, USHORT operation);
  ULONG GetValidProtocols();
  void setText(CString& member, const CString& value);
  // Reads the device characteristics afresh into m_pDeviceChars, under the
  // caller's "DeviceChars" mutex; answers the read's result (-18 without memory).
  long readDeviceChars(WFPrtObj* object);
  // Reads the object's address and protocols into the remembered ones.
  void rememberAddress(WFPrtObj* object);
  CString getText(const CString& member) const;

  UINT m_defaultView;
  // Set on the GUI thread, read by the workers that post to the notebook.
  std::atomic<HWND> m_hOpenDlg;
  int m_pageCount;
  // Closes the open notebook before the icon goes: at once on the thread
  // that opened it, from any other by WM_CLOSE, waiting for ResetDlgPtr.
  void closeOpenNotebook();
  CPrtOpenFrame* m_pOpenFrame = nullptr;
  HWND m_hOpenFrame = 0;
  wf::ThreadId m_notebookThread{};
  std::mutex m_notebookLock;
  std::condition_variable m_notebookGone;
  NETADDRESS* m_pGhostAddress = nullptr;
  BYTE m_node[6];
  CSemaphore m_prtObjUse;
  CSemaphore m_threadLock;
  BOOL m_bPrtObjLocked;
  WFPrtObj::DEVICECHARS* m_pDeviceChars = nullptr;
  WFPrtObj::OUTPUTBINS* m_pOutputBins = nullptr;
  WFPrtObj::STORAGEOPTIONS* m_pStorageOptions = nullptr;
  void* m_pUnused = nullptr;
  WFPrtObj::PAGECOUNTDATA* m_pPageCounts = nullptr;
  WFPrtObj::CODELEVELS* m_pCodeLevels = nullptr;
  void* m_pOpPanelData = nullptr;
  CWFInputCharArray* m_pInputObj = nullptr;
  CWFOutputCharArray* m_pOutputObj = nullptr;
  CString m_name;
  CString m_model;
  CString m_port;
  CString m_netAddress;
  CString m_physicalName;
  WFPrtObj::PORTTYPE m_portType;
  CString m_clNickname;
  CString m_tcpHost;
  CString m_nwLogin;
  USHORT m_hPrinter;
  UINT m_usageCount;
  CString m_status;
  BOOL m_bOpPanelLock;
  BOOL m_bGhost;
  ULONG m_storedFamily;
  BOOL m_bPageNumbering;
  BOOL m_bUserDefinedName;
  BOOL m_bPrevBidiName;
  ULONG m_connections;
  CWFAlertStorage m_alertStorage;
  CWFPanelAlertMsgList m_panelAlerts;
  ALERTS m_activeAlerts;
  int m_baseAlertFlags[kBaseAlertCount];
  BOOL m_bUseCapture;
  ULONG m_cPowerOnPages;
  ULONG m_cTotalPages;
  ULONG m_cUserPageCount;
  CString m_lastDriver;
  ULONG m_lastUpdate;
  // The address and protocols last read from the printer object, saved
  // when the object cannot be borrowed.
  NETADDRESS* m_pLastAddress = nullptr;
  ULONG m_lastProtocols = 0;

  // ---- Alerts: arming, dispatch and presentation ----
 public:
  BOOL GetPanelAlertsActive() { return (m_activeAlerts.mask & 0x10000) ? 1 : 0; }
  void ActivatePanelAlerts(BOOL on);
  UINT ClearAlerts();
  // The arming worker's step. A capture sets the bits in `changes` to those
  // of `alerts` on the mask as it stands, each bit only unless a newer
  // request set it already; a release (which changes every bit) likewise.
  // Families arm their own classes with a sequence issued at queue time.
  void ApplyArmRequest(std::uint32_t sequence, BOOL arm, ALERTS* alerts, ULONG changes = 0xFFFFFFFF);
  std::uint32_t IssueArmSequence();
  ULONG GetDSAClassFlags() const { return m_dsaClassFlags; }
  // Sound files played for the alerts still active.
  std::vector<std::string> GetPlayedSounds();

 protected:
  void queueArming(ULONG mask, ULONG arm, int priority, const char* label, ULONG changes = 0xFFFFFFFF);
  CString BuildAlertString(UINT id1, UINT id2, UINT id3);
  CString BuildAlertString(CString text1, CString text2, CString text3);
  // One list class operation: mark, query while its bit is set, decode.
  using AlertListQuery = LONG (WFPrtObj::*)(UINT*, WFPrtObj::WFPALERTDATA**);
  using AlertDecoder = UINT (CWFPrinterIcon::*)(CWFAlert*, UINT, WFPrtObj::WFPALERTDATA*, UINT);
  UINT processAlertClass(CWFAlert* alert, ULONG classBit, ALERTSUBTYPE subType, AlertListQuery query,
                         AlertDecoder decoder);
  // Decodes by the row table of one sub-type.
  UINT decodeAlertList(CWFAlert* alert, ALERTSUBTYPE subType, UINT count, WFPrtObj::WFPALERTDATA* data,
                       UINT handled);
  void setFrameIcons(CWnd* frame, int index);
  void playAlertSounds(const CWFAlertMsg& copy);

  // Frame icon handles per image index, small and big; destroyed with the icon.
  struct FrameIcons {
    std::mutex lock;
    std::map<int, std::pair<HICON, HICON>> icons;
    FrameIcons() = default;
    FrameIcons(const FrameIcons&) = delete;
    FrameIcons& operator=(const FrameIcons&) = delete;
    ~FrameIcons();
  };
  ULONG m_dsaClassFlags = 0;
  std::mutex m_armLock;
  std::uint32_t m_armIssued = 0;
  std::uint32_t m_armApplied[32] = {};  // per mask bit: the newest request that set it
  std::mutex m_soundLock;
  std::time_t m_lastSound = 0;  // calendar seconds of the last sound step
  std::vector<std::string> m_playedSounds;
  FrameIcons m_frameIcons;

 private:
  // Workers write the texts while windows read them.
  mutable std::recursive_mutex m_textLock;
};
