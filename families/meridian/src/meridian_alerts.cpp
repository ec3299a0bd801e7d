// The family's alerts: routing by alert type, the 27 operator-intervention
// alerts the user switches on and off, their messages, filter, broker mask
// contribution and help.
#include "common/alert_dlg_list.h"
#include "common/app_services.h"
#include "common/wait_objects.h"
#include "framework/shell_services.h"
#include "meridian/meridian_icon.h"
#include "platform/clock.h"

namespace {

constexpr ULONG kDeviceStatus = 1524;
constexpr ULONG kResMgmt = 1525;
constexpr ULONG kJobStat = 1526;
constexpr ULONG kOpPanel = 1527;

constexpr UINT kStored = 0x9;
constexpr UINT kIntervention = 5;
constexpr UINT kAlertPicture = 3504;
constexpr ULONG kInterventionClass = 0x10;
constexpr ULONG kJobStatClass = 0x800;

struct StoredAlertRow {
  UINT alertId;
  UINT text;
  int soundEvent;
  BOOL enableContinue;
  BOOL enableReset;
  DWORD help;
};
// Row i is the icon's stored-alert flag i.
constexpr StoredAlertRow kRows[CWFMeridianIcon::kStoredAlertCount] = {
    {6137, 40008, 14, 1, 1, 1927}, {6133, 40009, 16, 1, 0, 1916}, {6127, 40010, 17, 0, 0, 1910},
    {6121, 40011, 9, 1, 1, 1915},  {6122, 40012, 9, 1, 1, 1917},  {6134, 40013, 13, 1, 1, 1920},
    {6124, 40014, 12, 1, 1, 1902}, {6130, 40015, 5, 0, 0, 1912},  {6120, 40016, 5, 0, 0, 1905},
    {6131, 40017, 5, 1, 1, 1913},  {6119, 40018, 5, 1, 0, 1904},  {6129, 40019, 11, 1, 1, 1911},
    {6139, 40020, 5, 1, 0, 1931},  {6136, 40021, 5, 1, 1, 1926},  {6123, 40022, 5, 0, 0, 1901},
    {6128, 40023, 5, 0, 1, 1908},  {6126, 40024, 10, 1, 1, 1906}, {6138, 40025, 5, 1, 0, 1930},
    {6125, 40026, 5, 1, 0, 1903},  {6132, 40027, 5, 1, 1, 1914},  {6179, 40027, 5, 1, 1, 1914},
    {6135, 631, 5, 1, 0, 1925},    {6219, 40062, 5, 1, 0, 1936},  {6176, 40063, 5, 1, 1, 2224},
    {6177, 40064, 5, 1, 1, 2225},  {6175, 598, 5, 1, 1, 2221},    {6174, 103, 18, 0, 0, 1939},
};

// The first row of the id, -1 for none.
int rowOf(UINT alertId) {
  for (int row = 0; row < CWFMeridianIcon::kStoredAlertCount; ++row)
    if (kRows[row].alertId == alertId) return row;
  return -1;
}

CFilename waveFile(int soundEvent) {
  WFAppServices* app = WFGetApp();
  return app ? app->GetWaveFile(soundEvent) : CFilename();
}

CString loadString(UINT id) {
  CString text;
  text.LoadString(id);
  return text;
}

}  // namespace

UINT CWFMeridianIcon::ProcessAlert(CWFAlert* alert) {
  const ULONG type = alert->GetType();
  if (type < kDeviceStatus || type > kOpPanel) return CWFPrinterIcon::ProcessAlert(alert);
  if (!GetBidiActive()) return 0;
  switch (type) {
    case kDeviceStatus:
      return ProcessDeviceStatusAlert(alert);
    case kResMgmt:
      return ProcessResMgmtAlert(alert);
    case kJobStat:
      return ProcessJobStatAlert(alert);
    default:
      return ProcessOpPanelAlert(alert);
  }
}

UINT CWFMeridianIcon::ProcessUIRAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data,
                                       UINT handled) {
  if (!data) count = 0;
  UINT flags = 0;
  for (UINT k = 0; k < count; ++k) {
    alert->SetSpecificAlert(data[k].alertId);
    const int row = rowOf(data[k].alertId);
    if (row < 0) continue;
    flags |= kStored;
    ++handled;
    const StoredAlertRow& r = kRows[row];
    CompleteAlert(alert, CWFAlert::ACTIVE, flags, kIntervention, BuildAlertString(r.text, 0, 0),
                  kAlertPicture, waveFile(r.soundEvent), r.enableContinue, r.enableReset, TRUE);
  }
  return flags | CWFPrinterIcon::ProcessUIRAlerts(alert, count, data, handled);
}

// Hooks for the derived families: the base decodes what is left.
UINT CWFMeridianIcon::ProcessInputAlerts(CWFAlert* a, UINT n, WFPrtObj::WFPALERTDATA* d, UINT handled) {
  return handled < n ? CWFPrinterIcon::ProcessInputAlerts(a, n, d, handled) : 0;
}
UINT CWFMeridianIcon::ProcessCfgChgAlerts(CWFAlert* a, UINT n, WFPrtObj::WFPALERTDATA* d, UINT handled) {
  return handled < n ? CWFPrinterIcon::ProcessCfgChgAlerts(a, n, d, handled) : 0;
}
UINT CWFMeridianIcon::ProcessOutputAlerts(CWFAlert* a, UINT n, WFPrtObj::WFPALERTDATA* d, UINT handled) {
  return handled < n ? CWFPrinterIcon::ProcessOutputAlerts(a, n, d, handled) : 0;
}
UINT CWFMeridianIcon::ProcessPaperJamAlerts(CWFAlert* a, UINT n, WFPrtObj::WFPALERTDATA* d, UINT handled) {
  return handled < n ? CWFPrinterIcon::ProcessPaperJamAlerts(a, n, d, handled) : 0;
}
UINT CWFMeridianIcon::ProcessServiceReqAlerts(CWFAlert* a, UINT n, WFPrtObj::WFPALERTDATA* d, UINT handled) {
  return handled < n ? CWFPrinterIcon::ProcessServiceReqAlerts(a, n, d, handled) : 0;
}
UINT CWFMeridianIcon::ProcessWarningAlerts(CWFAlert* a, UINT n, WFPrtObj::WFPALERTDATA* d, UINT handled) {
  return handled < n ? CWFPrinterIcon::ProcessWarningAlerts(a, n, d, handled) : 0;
}
UINT CWFMeridianIcon::ProcessSupplyAlerts(CWFAlert* a, UINT n, WFPrtObj::WFPALERTDATA* d, UINT handled) {
  return handled < n ? CWFPrinterIcon::ProcessSupplyAlerts(a, n, d, handled) : 0;
}

void CWFMeridianIcon::SetInitialAlerts(ALERTS* alerts) {
  CWFPrinterIcon::SetInitialAlerts(alerts);
  if (GetTrackingJS())
    alerts->mask |= kJobStatClass;
  else
    alerts->mask &= ~kJobStatClass;
}

void CWFMeridianIcon::SetBceAlerts(CWFAlertDlgList* list, ALERTS* alerts, int store) {
  if (store)
    for (int row = 0; row < kStoredAlertCount; ++row)
      m_storedAlerts[row] = static_cast<BOOL>(list->GetAlertState(kRows[row].alertId));
  CWFPrinterIcon::SetBceAlerts(list, alerts, TRUE);
  if (alerts->mask & kInterventionClass) return;
  for (const StoredAlertRow& r : kRows)
    if (list->GetAlertState(r.alertId)) {
      alerts->mask |= kInterventionClass;
      return;
    }
}

CWFPrinterIcon::ALERT_ACTION CWFMeridianIcon::FilterAlerts(CWFAlertMsg* message) {
  const ALERT_ACTION base = CWFPrinterIcon::FilterAlerts(message);
  if (base != ALERT_FAMILY || !message) return base;
  const int row = rowOf(message->GetAlert()->GetSpecificAlert());
  if (row < 0) return ALERT_FAMILY;
  return m_storedAlerts[row] ? ALERT_SHOW : ALERT_SUPPRESS;
}

void CWFMeridianIcon::UpdateAlertList(CWFAlertDlgList* list) {
  CWFPrinterIcon::UpdateAlertList(list);
  for (int row = 0; row < kStoredAlertCount; ++row) {
    ALERT_DLG_STRUCT item;
    item.name = loadString(kRows[row].text);
    item.key = kRows[row].alertId;
    item.state = static_cast<UINT>(m_storedAlerts[row].load());
    list->Add(&item);
  }
}

void CWFMeridianIcon::ShowHelpforError() {
  int row = -1;
  {
    CMutex mutex(GetMutexName("AlertLock"));
    mutex.Wait(wf::kInfinite);
    CWFAlertMsg* message = GetAlertStorage().Get1stHardErrorMsg();
    if (!message) message = GetAlertStorage().GetTopAlertMsg();
    if (message) row = rowOf(message->GetAlert()->GetSpecificAlert());
    mutex.Release();
  }
  WFAppServices* app = WFGetApp();
  if (row >= 0 && app) {
    app->WinHelp(kRows[row].help, HELP_CONTEXT);
    return;
  }
  CWFPrinterIcon::ShowHelpforError();
}
