#include "keystone/ky_icon.h"

#include "keystone/ky_status.h"
#include "keystone/ky_tray_levels.h"

#include <new>

#include "common/alert_dlg_list.h"
#include "common/app_services.h"
#include "common/printer_list.h"
#include "common/wait_objects.h"
#include "framework/menu.h"
#include "framework/shell_services.h"
#include "framework/wnd.h"
#include "keystone/ky_jobbuf.h"
#include "platform/clock.h"
#include "wfprm/wfprm.h"

namespace {

constexpr UINT kModelName = 49000;
constexpr UINT kJobBufferingCommand = 49004;
constexpr UINT kTrayLevelsCommand = 621;

// The family's alerts, in stored-flag order.
struct FamilyAlert {
  UINT id;
  UINT title;
  ULONG classBit;
};
constexpr FamilyAlert kFamilyAlerts[CWFKstoneIcon::kFamilyAlertCount] = {
    {6203, 49009, 0x20}, {6228, 49010, 0x10}, {6170, 49011, 0x10},
    {6156, 597, 0x10},   {6188, 49001, 0x04}, {6190, 49002, 0x04}};

int familyAlertIndex(UINT id) {
  for (int i = 0; i < CWFKstoneIcon::kFamilyAlertCount; ++i)
    if (kFamilyAlerts[i].id == id) return i;
  return -1;
}

// One decoded row: text, help id, sound event and the three switches.
struct DecodedAlert {
  UINT id;
  UINT text;
  UINT help;
  UINT sound;
  BOOL canContinue, canReset, hardError;
};
constexpr DecodedAlert kInterventions[] = {{6156, 597, 3504, 5, 0, 0, 1},
                                           {6162, 102, 3504, 20, 1, 0, 1},
                                           {6170, 49011, 3504, 5, 0, 0, 1},
                                           {6228, 49010, 3504, 5, 1, 1, 1}};
constexpr DecodedAlert kJams[] = {
    {6187, 49003, 4524, 0, 1, 0, 1}, {6188, 49001, 3511, 0, 1, 0, 1}, {6190, 49002, 3510, 0, 1, 0, 1}};

constexpr std::pair<UINT, DWORD> kHelp[] = {{6161, 2222}, {6162, 2223}, {6228, 1940},
                                            {6170, 1938}, {6156, 2210}, {6187, 2226},
                                            {6188, 2227}, {6190, 2228}, {6203, 2232}};

}  // namespace

IMPLEMENT_DYNCREATE(CWFKstoneIcon, CWFMeridianIcon)

CWFKstoneIcon::CWFKstoneIcon() {
  ConstructorInit();
}

CWFKstoneIcon::CWFKstoneIcon(WFPrtObj* object, void* record) : CWFMeridianFamilyIcon(object, record) {
  ConstructorInit();
  if (const KEYSTONEBINARYDATA* stored = adoptRecord(record)) RestoreKeystoneAlerts(stored->storedAlerts);
}

void CWFKstoneIcon::ConstructorInit() {
  for (BOOL& flag : m_familyAlerts) flag = 1;
  m_bPageNumbering = TRUE;
  SetTrackingJS(FALSE);
}

int CWFKstoneIcon::BelongsToFamily(ULONG key) {
  return key == 7;
}

CString CWFKstoneIcon::GetGhostName() {
  return "Help, missing Vireo N";
}

void CWFKstoneIcon::DetermineModel() {
  loadModel(kModelName);
  UpdateInputChars();
}

// ---- pages and menu ----

void CWFKstoneIcon::AddStatusPage(CPropertySheet* sheet) {
  if (GetBidiActive()) sheet->AddPage(new CKYStatus(this));
}

UINT CWFKstoneIcon::NumExtraPages() {
  return GetBidiActive() ? 2 : 0;
}

void CWFKstoneIcon::AddExtraOpenPages(CPropertySheet* sheet) {
  if (!GetBidiActive()) return;
  sheet->AddPage(new CKYJobBuf(this));
  sheet->AddPage(new CKYTrayLevels(this));
}

int CWFKstoneIcon::AddExtraOpenTabs(CMenu* menu) {
  if (!GetBidiActive() || !menu) return FALSE;
  appendExtraTabs(menu, {kJobBufferingCommand, kTrayLevelsCommand});
  return TRUE;
}

int CWFKstoneIcon::GetExtraPageNum(UINT* index, int* found, UINT command) {
  if (!GetBidiActive()) return FALSE;
  return extraPageNum(index, found, command, {kJobBufferingCommand, kTrayLevelsCommand});
}

int CWFKstoneIcon::HandleExtraMenuCmd(UINT command) {
  if (command != kJobBufferingCommand && command != kTrayLevelsCommand) return 0;
  OpenPrinterA(command);
  return 1;
}

short CWFKstoneIcon::GetSpoolBufferPercent(int check, unsigned char* percent) {
  WFPrtObj* object = GetPrinterObj();
  if (!object) return 2;
  WFPrtObj::ULONG partition = 0, count = 0;
  std::vector<RM_JOBBUFFSUMMARY> ports;
  const WFPrtObj::LONG rc = bidiResMgmtQueryJobBufferingSummary(*object, &partition, &count, &ports);
  short answer = 2;
  if (rc == 0 && !(check && !BCEReturnCheck(rc))) {
    if (percent) *percent = static_cast<unsigned char>(partition & 0xFF);
    answer = 1;
  }
  ReleasePrinterObj();
  return answer;
}

// ---- stored record ----

ULONG CWFKstoneIcon::CreateKeystoneStoredAlerts() const {
  return packFlags(m_familyAlerts);
}

void CWFKstoneIcon::RestoreKeystoneAlerts(ULONG mask) {
  unpackFlags(m_familyAlerts, mask);
}

void CWFKstoneIcon::CreateSpecificBinaryData(void* out) {
  CWFMeridianIcon::CreateSpecificBinaryData(out);
  static_cast<KEYSTONEBINARYDATA*>(out)->storedAlerts = CreateKeystoneStoredAlerts();
}

// ---- alerts ----

namespace {

template <std::size_t N>
const DecodedAlert* findRow(const DecodedAlert (&table)[N], UINT id) {
  for (const DecodedAlert& row : table)
    if (row.id == id) return &row;
  return nullptr;
}

}  // namespace

#define WF_KY_DECODER(Name, Table, SubType)                                                            \
  UINT CWFKstoneIcon::Name(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT handled) {  \
    UINT result = 0;                                                                                   \
    if (!data) count = 0;                                                                              \
    WFAppServices* app = WFGetApp();                                                                   \
    for (UINT i = 0; i < count; ++i) {                                                                 \
      alert->SetSpecificAlert(data[i].alertId);                                                        \
      const DecodedAlert* row = findRow(Table, data[i].alertId);                                       \
      if (!row) continue;                                                                              \
      result |= 9;                                                                                     \
      ++handled;                                                                                       \
      CString text;                                                                                    \
      {                                                                                                \
        wf::fw::ResourceHandleSwitch resources(s_resources);                                           \
        text = BuildAlertString(row->text, 0, 0);                                                      \
      }                                                                                                \
      CompleteAlert(alert, CWFAlert::ACTIVE, result, SubType, text, row->help,                         \
                    app ? app->GetWaveFile(row->sound) : CFilename(), row->canContinue, row->canReset, \
                    row->hardError);                                                                   \
    }                                                                                                  \
    if (handled < count) result |= CWFMeridianIcon::Name(alert, count, data, handled);                 \
    return result;                                                                                     \
  }
WF_KY_DECODER(ProcessUIRAlerts, kInterventions, ALERT_SUBTYPE_INTERVENTION)
WF_KY_DECODER(ProcessPaperJamAlerts, kJams, 3)
#undef WF_KY_DECODER

UINT CWFKstoneIcon::ProcessWarningAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data,
                                         UINT handled) {
  constexpr UINT kWarning = 6;
  constexpr UINT kHelpId = 3504;
  UINT result = 0;
  if (!data) count = 0;
  WFAppServices* app = WFGetApp();
  const CFilename wave = app ? app->GetWaveFile(5) : CFilename();
  for (UINT i = 0; i < count; ++i) {
    alert->SetSpecificAlert(data[i].alertId);
    if (data[i].alertId == 6161) {
      result |= 9;
      ++handled;
      CString text;
      {
        wf::fw::ResourceHandleSwitch resources(s_resources);
        text = BuildAlertString(49005, 0, 0);
      }
      CompleteAlert(alert, CWFAlert::ACTIVE, result, kWarning, text, kHelpId, wave, TRUE, FALSE, FALSE);
    } else if (data[i].alertId == 6203) {
      // Handled even when no level names the tray: no alert then.
      ++handled;
      const CString text = GetPaperLowErrorString(data[i].detail);
      if (text.IsEmpty()) continue;
      result |= 9;
      CompleteAlert(alert, CWFAlert::ACTIVE, result, kWarning, text, kHelpId, wave, FALSE, FALSE, FALSE);
    }
  }
  if (handled < count) result |= CWFMeridianIcon::ProcessWarningAlerts(alert, count, data, handled);
  return result;
}

CString CWFKstoneIcon::GetPaperLowErrorString(WORD tray) {
  WFPrtObj* object = GetPrinterObj();
  if (!object) return {};
  UINT count = 0;
  WFPrtObj::WFPALERTDATA* entries = nullptr;
  CString text;
  if (BCEReturnCheck(object->bidiQueryInputStatus(&count, &entries)) && entries) {
    for (UINT i = 0; i < count; ++i) {
      if (entries[i].alertId != 6209 || (entries[i].detail >> 8) != tray) continue;
      UpdateInputChars();
      SetTrayLevel(tray, static_cast<BYTE>(entries[i].detail & 0xFF));
      CString format;
      {
        wf::fw::ResourceHandleSwitch resources(s_resources);
        format.LoadString(49009);
      }
      text = BuildAlertString(format, GetTrayName(tray), GetTrayLevelName(tray));
      break;
    }
  }
  delete[] entries;
  ReleasePrinterObj();
  return text;
}

void CWFKstoneIcon::ShowHelpforError() {
  const std::optional<UINT> specific = topAlertSpecific();
  WFAppServices* app = WFGetApp();
  if (specific && app)
    for (const auto& [id, help] : kHelp)
      if (id == *specific) return void(app->WinHelp(help, HELP_CONTEXT));
  CWFMeridianIcon::ShowHelpforError();
}

void CWFKstoneIcon::UpdateAlertList(CWFAlertDlgList* list) {
  listFamilyAlerts(list, kFamilyAlerts, m_familyAlerts);
}

void CWFKstoneIcon::SetBceAlerts(CWFAlertDlgList* list, ALERTS* alerts, int store) {
  if (store) takeFamilyAlerts(list, kFamilyAlerts, m_familyAlerts);
  CWFMeridianIcon::SetBceAlerts(list, alerts, TRUE);
  for (const FamilyAlert& a : kFamilyAlerts)
    if (!(alerts->mask & a.classBit) && list->GetAlertState(a.id)) alerts->mask |= a.classBit;
}

CWFPrinterIcon::ALERT_ACTION CWFKstoneIcon::FilterAlerts(CWFAlertMsg* message) {
  const ALERT_ACTION inherited = CWFMeridianIcon::FilterAlerts(message);
  if (inherited != ALERT_FAMILY || !message) return inherited;
  const int index = familyAlertIndex(message->GetAlert()->GetSpecificAlert());
  if (index < 0) return ALERT_FAMILY;
  return m_familyAlerts[index] ? ALERT_SHOW : ALERT_SUPPRESS;
}

// ---- job-buffering results ----

namespace {

constexpr BYTE kPartitionChanged = 82;
constexpr BYTE kPortChanged = 83;
constexpr std::uint32_t kArmDelayMs = 1000;

struct ArmNotifyRequest {
  USHORT printer;
  BOOL on;
};

}  // namespace

BOOL CWFKstoneIcon::DigestResMgmtData(CWFAlert* alert, WFPrtObj::DEVICEMGMTALERTDATA data) {
  if (data.kind != kPartitionChanged && data.kind != kPortChanged)
    return CWFMeridianIcon::DigestResMgmtData(alert, data);
  if (data.moreEntries != 0) return TRUE;
  if (HWND window = m_jobBufWindow) {
    if (data.result != 0)
      PostMessage(window, WM_KY_JBERROR, 49034, 49025);
    else
      PostMessage(window, WM_KY_JBALERT, 0, data.kind);
  }
  return TRUE;
}

void CWFKstoneIcon::ActivateResMgmtAlertsNotify(int on, HWND window) {
  m_jobBufWindow = window;
  WFAppServices* app = WFGetApp();
  if (!app) return;
  auto* request = new (std::nothrow) ArmNotifyRequest{GetPrinterHandle(), on ? TRUE : FALSE};
  if (request)
    app->BeginThread(&ArmRMAlertsNotify, request, 0, BuildDescriptiveString("ArmRMAlertsNotify()"));
}

UINT CWFKstoneIcon::ArmRMAlertsNotify(void* param) {
  auto* request = static_cast<ArmNotifyRequest*>(param);
  WFAppServices* app = WFGetApp();
  CWFPrinterList* list = app ? app->GetPrinterList() : nullptr;
  if (CWFPrinterIcon* found = list ? list->FindPrinterIcon(request->printer) : nullptr) {
    if (auto* icon = dynamic_cast<CWFKstoneIcon*>(found)) icon->armNotify(request->on);
    found->ThreadUnlock();
  }
  delete request;
  return 0;
}

void CWFKstoneIcon::armNotify(BOOL on) {
  bool ok = true;
  if (on && !AreRMAlertsOn()) {
    wf::sleepFor(kArmDelayMs);
    if (registerResAlerts(TRUE))
      SetRMAlerts(TRUE);
    else
      ok = false;
  } else if (!on && AreRMAlertsOn()) {
    registerResAlerts(FALSE);
    SetRMAlerts(FALSE);
  }
  HWND window = m_jobBufWindow;
  if (!on || !window) return;
  if (ok)
    PostMessage(window, WM_KY_JBARMED, 0, 0);
  else
    PostMessage(window, WM_KY_JBERROR, 49049, 49047);
}
