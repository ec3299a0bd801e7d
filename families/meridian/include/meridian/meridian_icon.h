#pragma once
// CWFMeridianIcon: the printer icon of the "Vireo" family (keys 1 and 5)
// and the base class of the derived families' icons, which import it from
// MRPRTGUI. It adds job-statistics tracking, resource management, the
// family's 27 operator-intervention alerts stored with the printer, the
// family model name and the family pages. Virtual operations new to the
// family come after those of CWFPrinterIcon, in their fixed order.
#include <atomic>
#include <initializer_list>
#include <mutex>
#include <new>
#include <optional>
#include <type_traits>
#include <utility>

#include "common/alert_dlg_list.h"
#include "common/printer_icon.h"
#include "common/wait_objects.h"
#include "framework/menu.h"
#include "framework/resources.h"
#include "meridian/alert_queues.h"
#include "platform/clock.h"
#include "platform/registry.h"

// The stored record of this family: the base part, then the family's.
#pragma pack(push, 1)
struct MERIDIANBINARYDATA {
  ENUMBINARYDATA base;
  std::uint32_t storedAlerts;  // flag 0 in bit 26 ... flag 26 in bit 0
  std::uint32_t trackingJS;    // 0 or 1
};
#pragma pack(pop)
static_assert(sizeof(MERIDIANBINARYDATA) == 112);

class CWFMeridianIcon : public CWFPrinterIcon {
  DECLARE_DYNCREATE(CWFMeridianIcon)
 public:
  static constexpr int kStoredAlertCount = 27;

  CWFMeridianIcon();
  CWFMeridianIcon(WFPrtObj* object, void* record);

  // ---- Overrides, in the base's slot order ----
  ~CWFMeridianIcon() override;
  CWFPrinterDLL* GetPrinterDLL() override;
  int BelongsToFamily(ULONG key) override;
  HINSTANCE GetResourceInstance(UINT which) override;
  void WriteBinaryEnumData(HKEY key) override;
  void RestoreAlerts(void* record) override;
  void CreateSpecificBinaryData(void* record) override;
  void* CreateRefreshData() override;
  void OnSetStatus(const char* oldStatus, const char* newStatus) override;
  void ShowHelpforError() override;
  int UpdateViews(UINT what) override;
  UINT ProcessAlert(CWFAlert* alert) override;
  CString GetGhostName() override;
  void SetTrackingJS(int tracking) override;
  void DetermineModel() override;
  void OnRefresh() override;

 protected:
  void AddOpPanelPage(CPropertySheet* sheet) override;
  void AddStatsPage(CPropertySheet* sheet) override;
  void AddResourcePage(CPropertySheet* sheet) override;
  UINT ProcessUIRAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT handled) override;
  UINT ProcessInputAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT handled) override;
  UINT ProcessCfgChgAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT handled) override;
  UINT ProcessOutputAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT handled) override;
  UINT ProcessPaperJamAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data,
                             UINT handled) override;
  UINT ProcessServiceReqAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data,
                               UINT handled) override;
  UINT ProcessWarningAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT handled) override;
  UINT ProcessSupplyAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT handled) override;

 public:
  void SetBceAlerts(CWFAlertDlgList* list, ALERTS* alerts, int store) override;
  ALERT_ACTION FilterAlerts(CWFAlertMsg* message) override;
  void SetInitialAlerts(ALERTS* alerts) override;
  void UpdateAlertList(CWFAlertDlgList* list) override;

  // ---- New virtual operations, in their fixed order ----
  virtual UINT ProcessJobStatAlert(CWFAlert* alert);
  virtual WFPrtObj::JSALERTDATA* AllocJobStatData();
  virtual UINT ProcessResMgmtAlert(CWFAlert* alert);
  virtual BOOL GetTrackingJS();
  virtual void SetTurningTrackOn(BOOL on);
  virtual BOOL GetTurningTrackOn();
  virtual ULONG GetTotalSheets();
  virtual ULONG GetTotalDuplex();
  virtual ULONG GetTotalJobs();
  virtual ULONG GetAverageSeconds();
  virtual void ParseJSFile();
  virtual void ParseJSFileOnThread();
  virtual void UpdateSizeAvailable();
  virtual void ActivateResMgmtAlerts(BOOL on);
  virtual void StartDeviceList(ULONG device);
  virtual void CopyResource(CString file, CString source, UINT from, UINT to, BOOL move);
  virtual void DeleteResource(CString file, CString source, UINT device);
  virtual void FormatResource(UINT device);
  virtual BOOL GetRMFormat();
  virtual BOOL DigestJobStatData(WFPrtObj::JSALERTDATA* data);
  virtual BOOL DigestJobStatData();
  virtual const char* GetExtraJobStatFields(WFPrtObj::JSALERTDATA* data, USHORT count);
  virtual void UpdateTotalSheets(ULONG sheets);
  virtual void UpdateTotalDuplex(ULONG sheets);
  virtual void UpdateTotalSeconds(ULONG seconds);
  virtual void IncrementTotalJobs();
  virtual BOOL DigestResMgmtData(CWFAlert* alert, WFPrtObj::DEVICEMGMTALERTDATA data);

  // ---- Non-virtual ----
  ULONG CreateVireoStoredAlerts();
  void RestoreVireoAlerts(ULONG mask);
  void ActivateJobStatAlerts(BOOL on);
  void SetRMFormat(BOOL on) { m_bFormatInProgress = on ? TRUE : FALSE; }
  BOOL GetStoredAlertFlag(int row) const { return m_storedAlerts[row].load(); }
  void SetStoredAlertFlag(int row, BOOL on) { m_storedAlerts[row] = on ? TRUE : FALSE; }
  CWFJobStatAlertMsgList& GetJobStatAlerts() { return m_jobStatAlerts; }
  CWFResMgmtAlertMsgList& GetResMgmtAlerts() { return m_resMgmtAlerts; }

  static void SetPrinterDLL(CWFPrinterDLL* registration);
  static void SetResourceInst(HINSTANCE module);

  // ---- Resource management: listing state, names, waiting windows ----
  BOOL IsRefreshAllowed() { return m_listingState == 4; }
  BOOL IsNewListingAllowed() {
    const ULONG state = m_listingState;
    return state == 0 || state == 4;
  }
  void SetListingState(ULONG state) { m_listingState = state; }
  void SetDiskStarted(BOOL started) { m_bDiskListingStarted = started; }
  BOOL AreRMAlertsOn() { return m_bResAlertsArmed; }
  void SetRMAlerts(BOOL on) { m_bResAlertsArmed = on; }
  CString GetRMCopyFile();
  CString GetRMMoveFile();
  CString GetRMDelFile();
  CString GetRMFmtDev();
  // Each Get takes the window's mutex and keeps it until its Release on
  // the same thread, so that a result is posted before the window can go.
  HWND GetRMCopyWindow() { return holdSlot(m_copyWindow); }
  void SetRMCopyWindow(HWND window) { setSlot(m_copyWindow, window); }
  void ReleaseRMCopyWindow() { releaseSlot(m_copyWindow); }
  HWND GetRMMoveWindow() { return holdSlot(m_moveWindow); }
  void SetRMMoveWindow(HWND window) { setSlot(m_moveWindow, window); }
  void ReleaseRMMoveWindow() { releaseSlot(m_moveWindow); }
  HWND GetRMDelWindow() { return holdSlot(m_deleteWindow); }
  void SetRMDelWindow(HWND window) { setSlot(m_deleteWindow, window); }
  void ReleaseRMDelWindow() { releaseSlot(m_deleteWindow); }
  HWND GetRMFmtWindow() { return holdSlot(m_formatWindow); }
  void SetRMFmtWindow(HWND window) { setSlot(m_formatWindow, window); }
  void ReleaseRMFmtWindow() { releaseSlot(m_formatWindow); }
  BOOL GetRMListView() { return holdSlot(m_listViewReady); }
  void SetRMListView(BOOL ready) { setSlot(m_listViewReady, ready ? TRUE : FALSE); }
  void ReleaseRMListView() { releaseSlot(m_listViewReady); }
  // A family text (MRGUIDLL first, then the chain).
  CString familyString(UINT id);
  // Queues StartDeviceList(device) on a worker: the request may wait long
  // for the printer, and the page runs on the user-interface thread.
  void QueueDeviceList(ULONG device);
  // Workers of the disk and flash operations; each frees its request.
  static UINT ArmRMAlerts(void* request);
  static UINT CopyResourceFunc(void* request);
  static UINT DeleteResourceFunc(void* request);
  static UINT FormatResourceFunc(void* request);
  static UINT DeviceListFunc(void* request);

 protected:
  void ConstructorInit();
  // Resource-management helpers (meridian_resources.cpp).
  void postToNotebook(UINT message, LPARAM lParam);
  void postTextToNotebook(UINT id);
  void resMgmtErrorBox();
  // Ends the listing in state 4; `done` also tells the page it ended.
  void endListing(BOOL done);
  void armResMgmt(BOOL on);
  BOOL registerResAlerts(BOOL on);
  void listNextDevice();
  void digestListing(const WFPrtObj::DEVICEMGMTALERTDATA& data);
  void postEntry(const std::string& entry);
  // Posts the operation's result text, formatted with `name`, to its
  // registered window, if any.
  void postResult(UINT kind, UINT textId, const CString& name);
  // A value under its per-printer named mutex; a Get holds the mutex in
  // `held` until its Release.
  template <class T>
  struct Slot {
    const char* suffix;
    T value{};
    CMutex* held = nullptr;
  };
  template <class T>
  T holdSlot(Slot<T>& slot) {
    auto* mutex = new CMutex(GetMutexName(slot.suffix));
    mutex->Wait(wf::kInfinite);
    slot.held = mutex;  // only the owner of the mutex touches it until the Release
    return slot.value;
  }
  template <class T>
  void setSlot(Slot<T>& slot, T value) {
    CMutex mutex(GetMutexName(slot.suffix));
    mutex.Wait(wf::kInfinite);
    slot.value = value;
    mutex.Release();
  }
  template <class T>
  static void releaseSlot(Slot<T>& slot) {
    if (CMutex* mutex = std::exchange(slot.held, nullptr)) {
      mutex->Release();
      delete mutex;
    }
  }

  // Written on the user-interface thread, read on the alert thread.
  std::atomic<BOOL> m_storedAlerts[kStoredAlertCount];
  Slot<HWND> m_copyWindow{"CopyWindow"};
  Slot<HWND> m_moveWindow{"MoveWindow"};
  Slot<HWND> m_deleteWindow{"DeleteWindow"};
  Slot<HWND> m_formatWindow{"FormatWindow"};
  Slot<BOOL> m_listViewReady{"RMListView"};
  CWFJobStatAlertMsgList m_jobStatAlerts;
  std::atomic<BOOL> m_bTrackingJS;
  std::atomic<BOOL> m_bTurningTrackOn;
  std::atomic<ULONG> m_totalSheets;
  std::atomic<ULONG> m_totalDuplex;
  std::atomic<ULONG> m_totalSeconds;
  std::atomic<ULONG> m_totalJobs;
  CWFResMgmtAlertMsgList m_resMgmtAlerts;
  std::atomic<BOOL> m_bDiskListingStarted;
  std::atomic<ULONG> m_listingState;  // 0 never listed, 1 flash, 2 disk, 4 idle
  std::atomic<BOOL> m_bResAlertsArmed;
  CString m_copyFile;
  CString m_moveFile;
  CString m_deleteFile;
  CString m_formatDevice;
  std::atomic<BOOL> m_bFormatInProgress;
  // The four names are written by the pages and read by workers and alerts.
  std::mutex m_rmNamesLock;
};

// The part every derived family's icon shares: `Record` is the family's
// stored record (the Meridian part as `meridian`, then the family's alert
// mask as `storedAlerts`). The registration and resource library are kept
// per family, since the base reaches them through the named virtual entry
// points; the Process*Alerts passes leave to the Meridian decoding what the
// family has not handled.
template <class Family, class Record>
class CWFMeridianFamilyIcon : public CWFMeridianIcon {
 public:
  using CWFMeridianIcon::CWFMeridianIcon;

  static void SetPrinterDLL(CWFPrinterDLL* registration) { s_registration = registration; }
  static void SetResourceInst(HINSTANCE module) { s_resources = module; }
  CWFPrinterDLL* GetPrinterDLL() override { return s_registration; }
  HINSTANCE GetResourceInstance(UINT) override { return s_resources; }

  void* CreateRefreshData() override {
    auto* record = new (std::nothrow) BYTE[sizeof(Record)]();
    if (record) CreateSpecificBinaryData(record);
    return record;
  }
  void WriteBinaryEnumData(HKEY key) override {
    Record record{};
    CreateSpecificBinaryData(&record);
    wf::RegSetValueExA(key, "data", 0, wf::REG_BINARY, reinterpret_cast<const BYTE*>(&record), sizeof record);
  }

 protected:
#define WF_MERIDIAN_FAMILY_PASS(Name)                                                           \
  UINT Name(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT handled) override { \
    return handled < count ? CWFMeridianIcon::Name(alert, count, data, handled) : 0;            \
  }
  WF_MERIDIAN_FAMILY_PASS(ProcessUIRAlerts)
  WF_MERIDIAN_FAMILY_PASS(ProcessInputAlerts)
  WF_MERIDIAN_FAMILY_PASS(ProcessCfgChgAlerts)
  WF_MERIDIAN_FAMILY_PASS(ProcessOutputAlerts)
  WF_MERIDIAN_FAMILY_PASS(ProcessPaperJamAlerts)
  WF_MERIDIAN_FAMILY_PASS(ProcessServiceReqAlerts)
  WF_MERIDIAN_FAMILY_PASS(ProcessWarningAlerts)
  WF_MERIDIAN_FAMILY_PASS(ProcessSupplyAlerts)
#undef WF_MERIDIAN_FAMILY_PASS

  // Called from the family's constructor once it is initialised: names a
  // ghost the record does not name, restores the Meridian alerts, and
  // gives the record back for the family's own mask.
  const Record* adoptRecord(const void* record) {
    const auto* stored = static_cast<const Record*>(record);
    if (IsGhost() && !(stored && !wf::recordName(stored->meridian.base).IsEmpty())) SetName(GetGhostName());
    if (stored) RestoreVireoAlerts(stored->meridian.storedAlerts);
    return stored;
  }
  // The model name `id` from the family's library; none for an OEM printer.
  void loadModel(UINT id) {
    CString model;
    if (!IsOEMPrinter()) {
      wf::fw::ResourceHandleSwitch resources(s_resources);
      model.LoadString(id);
    }
    setText(m_model, model);
  }
  // The menu items of the family's extra pages, named from its library.
  void appendExtraTabs(CMenu* menu, std::initializer_list<UINT> commands) {
    wf::fw::ResourceHandleSwitch resources(s_resources);
    for (UINT command : commands) {
      CString text;
      text.LoadString(command);
      menu->AppendMenu(MF_STRING, command, text);
    }
  }
  // Moves `index` past the extra pages (`commands`, in page order) up to
  // `command`'s, or past all of them; TRUE when `command` is one.
  static int extraPageNum(UINT* index, int* found, UINT command, std::initializer_list<UINT> commands) {
    *found = 1;
    UINT position = 0;
    for (UINT page : commands) {
      ++position;
      if (page == command) {
        *index += position;
        return TRUE;
      }
    }
    *index += position;
    return FALSE;
  }
  // The specific id of the first hard error, else of the top alert; none
  // without one, or with `deviceStatusOnly` when it is another message.
  std::optional<UINT> topAlertSpecific(bool deviceStatusOnly = false) {
    std::optional<UINT> specific;
    CMutex mutex(GetMutexName("AlertLock"));
    mutex.Wait(wf::kInfinite);
    CWFAlertMsg* message = m_alertStorage.Get1stHardErrorMsg();
    if (!message) message = m_alertStorage.GetTopAlertMsg();
    if (message && (!deviceStatusOnly || message->GetAlert()->GetType() == WM_BCE_DSA_ALERT))
      specific = message->GetAlert()->GetSpecificAlert();
    mutex.Release();
    return specific;
  }
  // The Meridian alerts, then the family's: each row's `title` from the
  // family's library, its `id` and its flag.
  template <class Rows, class Flags>
  void listFamilyAlerts(CWFAlertDlgList* list, const Rows& rows, const Flags& flags) {
    CWFMeridianIcon::UpdateAlertList(list);
    wf::fw::ResourceHandleSwitch resources(s_resources);
    for (std::size_t i = 0; i < std::extent_v<Flags>; ++i) {
      ALERT_DLG_STRUCT item;
      item.name.LoadString(rows[i].title);
      item.key = rows[i].id;
      item.state = static_cast<UINT>(static_cast<BOOL>(flags[i]));
      list->Add(&item);
    }
  }
  // Each flag from the dialog's choice for its row's `id`.
  template <class Rows, class Flags>
  static void takeFamilyAlerts(CWFAlertDlgList* list, const Rows& rows, Flags& flags) {
    for (std::size_t i = 0; i < std::extent_v<Flags>; ++i)
      flags[i] = list->GetAlertState(rows[i].id) ? TRUE : FALSE;
  }
  // The family's flags as a mask, flag 0 in the highest of their bits.
  template <class Flags>
  static ULONG packFlags(const Flags& flags) {
    constexpr int n = static_cast<int>(std::extent_v<Flags>);
    ULONG mask = 0;
    for (int i = 0; i < n; ++i)
      if (flags[i]) mask |= 1u << (n - 1 - i);
    return mask;
  }
  template <class Flags>
  static void unpackFlags(Flags& flags, ULONG mask) {
    constexpr int n = static_cast<int>(std::extent_v<Flags>);
    for (int i = 0; i < n; ++i) flags[i] = (mask >> (n - 1 - i)) & 1;
  }

  static inline CWFPrinterDLL* s_registration = nullptr;
  static inline HINSTANCE s_resources = nullptr;
};
