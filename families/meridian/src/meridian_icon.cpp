// The Meridian icon's life, its stored record, its model name and pages.
#include "meridian/meridian_icon.h"

#include <cstring>
#include <new>
#include <utility>

#include "common/app_services.h"
#include "common/notebook_messages.h"
#include "common/wait_objects.h"
#include "framework/resources.h"
#include "meridian/mer_oppanel.h"
#include "meridian/mer_statistics.h"
#include "meridian/resource_page.h"
#include "platform/clock.h"
#include "prtgui/prt_pages.h"

IMPLEMENT_DYNCREATE(CWFMeridianIcon, CWFPrinterIcon)

namespace {

CWFPrinterDLL* registration = nullptr;
HINSTANCE resourceModule = nullptr;

constexpr UINT kModelBase = 40002;
constexpr UINT kVariantTray2Small = 40003;
constexpr UINT kVariantHighCapacity = 40004;
constexpr UINT kVariant12 = 40005;
constexpr UINT kVariantDuplexBin = 40006;
constexpr UINT kVariant16 = 40007;
constexpr UINT kGhostName = 40049;

constexpr UINT kTray1 = 7103;
constexpr UINT kTray2 = 7104;
constexpr UINT kTopBin = 7201;

CString loadMeridianString(UINT id) {
  CString text;
  text.LoadString(id);
  return text;
}

}  // namespace

void CWFMeridianIcon::SetPrinterDLL(CWFPrinterDLL* dll) {
  registration = dll;
}

void CWFMeridianIcon::SetResourceInst(HINSTANCE module) {
  resourceModule = module;
}

CWFPrinterDLL* CWFMeridianIcon::GetPrinterDLL() {
  return registration;
}

HINSTANCE CWFMeridianIcon::GetResourceInstance(UINT) {
  return resourceModule;
}

int CWFMeridianIcon::BelongsToFamily(ULONG key) {
  return key == 1 || key == 5 ? TRUE : FALSE;
}

CWFMeridianIcon::CWFMeridianIcon() {
  ConstructorInit();
}

CWFMeridianIcon::CWFMeridianIcon(WFPrtObj* object, void* record) : CWFPrinterIcon(object, record) {
  ConstructorInit();
  const auto* stored = static_cast<const MERIDIANBINARYDATA*>(record);
  // The base named a ghost while this class was not yet in place; a name
  // from the record stays.
  if (IsGhost() && !(stored && !wf::recordName(stored->base).IsEmpty())) SetName(GetGhostName());
  if (stored) {
    RestoreVireoAlerts(stored->storedAlerts);
    if (!m_bTrackingJS) m_bTrackingJS = stored->trackingJS != 0 ? TRUE : FALSE;
  }
}

void CWFMeridianIcon::ConstructorInit() {
  for (auto& flag : m_storedAlerts) flag = TRUE;
  m_totalSheets = m_totalDuplex = m_totalSeconds = m_totalJobs = 0;
  WFAppServices* app = WFGetApp();
  m_bTrackingJS = app && app->GetJSTracking() ? TRUE : FALSE;
  m_bTurningTrackOn = FALSE;
  m_bDiskListingStarted = FALSE;
  m_listingState = 0;
  m_bResAlertsArmed = FALSE;
  m_bFormatInProgress = FALSE;
  m_bPageNumbering = TRUE;
}

CWFMeridianIcon::~CWFMeridianIcon() {
  // The family's pages reach this part of the icon as they go: the
  // notebook must close while it is still whole.
  closeOpenNotebook();
}

CString CWFMeridianIcon::GetGhostName() {
  return loadMeridianString(kGhostName);
}

// ---- Stored record ----

void CWFMeridianIcon::CreateSpecificBinaryData(void* out) {
  CWFPrinterIcon::CreateSpecificBinaryData(out);
  auto* record = static_cast<MERIDIANBINARYDATA*>(out);
  record->storedAlerts = CreateVireoStoredAlerts();
  record->trackingJS = m_bTrackingJS ? 1 : 0;
}

void CWFMeridianIcon::WriteBinaryEnumData(HKEY key) {
  MERIDIANBINARYDATA record{};
  CreateSpecificBinaryData(&record);
  wf::RegSetValueExA(key, "data", 0, wf::REG_BINARY, reinterpret_cast<const BYTE*>(&record), sizeof record);
}

void* CWFMeridianIcon::CreateRefreshData() {
  auto* record = new (std::nothrow) BYTE[sizeof(MERIDIANBINARYDATA)];
  if (record) CreateSpecificBinaryData(record);
  return record;
}

void CWFMeridianIcon::RestoreAlerts(void* record) {
  if (!record) return;
  CWFPrinterIcon::RestoreAlerts(record);
  RestoreVireoAlerts(static_cast<const MERIDIANBINARYDATA*>(record)->storedAlerts);
}

ULONG CWFMeridianIcon::CreateVireoStoredAlerts() {
  ULONG mask = 0;
  for (int row = 0; row < kStoredAlertCount; ++row)
    if (m_storedAlerts[row] & 1) mask |= 1u << (kStoredAlertCount - 1 - row);
  return mask;
}

void CWFMeridianIcon::RestoreVireoAlerts(ULONG mask) {
  for (int row = 0; row < kStoredAlertCount; ++row)
    m_storedAlerts[row] = (mask >> (kStoredAlertCount - 1 - row)) & 1 ? TRUE : FALSE;
}

// ---- Model ----

void CWFMeridianIcon::DetermineModel() {
  const ULONG family = GetPrinterFamily();
  if (!GetBidiActive() || (family != 1 && family != 5) || IsOEMPrinter()) {
    setText(m_model, "");
    return;
  }
  wf::fw::ResourceHandleSwitch resources(GetResourceInstance(0));
  WFPrtObj* object = GetPrinterObj();
  if (!object) return;
  CMutex mutex(GetMutexName("DeviceChars"));
  mutex.Wait(wf::kInfinite);
  const BOOL filled = BCEReturnCheck(readDeviceChars(object));
  if (!filled)
    delete std::exchange(m_pDeviceChars, nullptr);
  else
    UpdateInputChars();

  if (m_pDeviceChars) {
    const auto trayHolds = [&](UINT tray, UINT sheets) { return GetTrayCapacity(tray) == sheets; };
    const bool smallTray2 = GetTrayAttached(kTray2) && trayHolds(kTray2, 200);
    UINT variant = 0;
    if (family == 1 && m_pDeviceChars->speed == 12) {
      variant = smallTray2                      ? kVariantTray2Small
                : GetTrayCapacity(kTray1) > 200 ? kVariantHighCapacity
                                                : kVariant12;
    } else if (family == 1 && m_pDeviceChars->speed == 16) {
      if (filled) UpdateOutputBins();
      variant = trayHolds(kTray1, 200) && GetOutputCapacity(kTopBin) == 250 ? kVariantDuplexBin : kVariant16;
    } else if (family == 5) {
      variant = smallTray2 ? kVariantTray2Small : trayHolds(kTray1, 200) ? kVariantDuplexBin : kVariant16;
    }
    CString model = loadMeridianString(kModelBase) + " " + (variant ? loadMeridianString(variant) : CString());
    if (family == 5) model += "+";
    setText(m_model, model);
  }
  mutex.Release();
  ReleasePrinterObj();
}

// ---- Pages ----

void CWFMeridianIcon::AddOpPanelPage(CPropertySheet* sheet) {
  if (IsUserAdmin() && GetBidiActive()) sheet->AddPage(new CMerOOpPanel(this));
}

void CWFMeridianIcon::AddStatsPage(CPropertySheet* sheet) {
  if (GetBidiActive()) sheet->AddPage(new CMerOStatistics(this));
}

void CWFMeridianIcon::AddResourcePage(CPropertySheet* sheet) {
  if (GetBidiActive()) sheet->AddPage(new CMerOResourceMgmt(this));
}

// ---- Alert queues on the view path ----

int CWFMeridianIcon::UpdateViews(UINT what) {
  constexpr UINT kJobStat = 0x10;
  constexpr UINT kResMgmt = 0x20;
  if (what & kJobStat) {
    if (!m_bTrackingJS) {
      // Left queued, the next digest would take this stale record.
      m_jobStatAlerts.RemoveTopMessage();
      return CWFPrinterIcon::UpdateViews(what);
    }
    CWFJobStatAlertMsg* top = m_jobStatAlerts.GetTopMessage();
    if (!top) return FALSE;
    DigestJobStatData(top->GetData());
    m_jobStatAlerts.RemoveTopMessage();
    if (!m_hOpenDlg) return FALSE;
    PostMessage(m_hOpenDlg, WM_WF_JOBSTAT, 0, 0);
    return TRUE;
  }
  if (what & kResMgmt) {
    CWFResMgmtAlertMsg* top = m_resMgmtAlerts.GetTopMessage();
    if (!top) return FALSE;
    DigestResMgmtData(top->GetAlert(), top->GetData());
    m_resMgmtAlerts.RemoveTopMessage();
    return TRUE;
  }
  return CWFPrinterIcon::UpdateViews(what);
}
