#include "tidewater/tw_icon.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "common/alert_dlg_list.h"
#include "common/app_services.h"
#include "common/wait_objects.h"
#include "framework/menu.h"
#include "framework/property_sheet.h"
#include "framework/shell_services.h"
#include "platform/clock.h"
#include "prtgui/prt_pages.h"
#include "tidewater/tw_adv_dlg.h"
#include "tidewater/tw_op_panel.h"
#include "tidewater/tw_paper_font_dlg.h"
#include "tidewater/tw_present_dlg.h"
#include "tidewater/tw_status.h"

namespace {

constexpr UINT kGhostName = 50000;
constexpr UINT kModelName = 50165;
constexpr DWORD kLockWaitMs = 3000;

// The family's alerts, in flag order.
struct FamilyAlert {
  UINT id;
  UINT title;
  DWORD help;
};
constexpr FamilyAlert kFamilyAlerts[2] = {{6141, 50008, 1935}, {6140, 50009, 1934}};
constexpr UINT kInterventionSound = 5;
constexpr UINT kAlertBitmap = 3504;
constexpr ULONG kInterventionClass = 0x10;

// The family's flag index of a specific alert; -1 for none.
int familyAlertIndex(UINT id) {
  for (int i = 0; i < 2; ++i)
    if (kFamilyAlerts[i].id == id) return i;
  return -1;
}

// Runs `work` holding the printer's mutex `suffix`; false when not had within `waitMs`.
template <class Work>
bool underMutex(CWFPrinterIcon* icon, const char* suffix, DWORD waitMs, Work&& work) {
  CMutex mutex(icon->GetMutexName(suffix));
  if (mutex.Wait(waitMs) == wf::kWaitTimeout) return false;
  work();
  mutex.Release();
  return true;
}

}  // namespace

IMPLEMENT_DYNCREATE(CWFTwIcon, CWFMeridianIcon)

CWFTwIcon::CWFTwIcon() {
  ConstructorInit();
}

CWFTwIcon::CWFTwIcon(WFPrtObj* object, void* record) : CWFMeridianFamilyIcon(object, record) {
  ConstructorInit();
  if (const TIDEWATERBINARYDATA* stored = adoptRecord(record)) RestoreTidewaterAlerts(stored->storedAlerts);
}

CWFTwIcon::~CWFTwIcon() {
  // The settings pages read the cache as the notebook closes: it goes while
  // the icon is whole.
  closeOpenNotebook();
  FreeOPPanelData();
}

void CWFTwIcon::ConstructorInit() {
  m_familyAlerts[0] = m_familyAlerts[1] = 1;
  ResetSettings();
  ResetPendingQueries();
  m_bPageNumbering = TRUE;
  SetTrackingJS(FALSE);
  tellNetType();
}

void CWFTwIcon::tellNetType() {
  WFPrtObj* object = GetPrinterObj();
  if (!object) return;
  const ULONG connection = GetConnection();
  object->setBidiQueryNetType(connection == 0xFFFFFFFF ? 0 : static_cast<UINT>(connection));
  ReleasePrinterObj();
}

void CWFTwIcon::OnConnectionUpdated() {
  tellNetType();
}

// ---- family identity ----

int CWFTwIcon::BelongsToFamily(ULONG key) {
  return key == 3 || key == 8;
}

CString CWFTwIcon::GetGhostName() {
  wf::fw::ResourceHandleSwitch resources(s_resources);
  CString name;
  name.LoadString(kGhostName);
  return name;
}

void CWFTwIcon::DetermineModel() {
  loadModel(kModelName);
}

// ---- stored record ----

ULONG CWFTwIcon::CreateTidewaterStoredAlerts() const {
  return packFlags(m_familyAlerts);
}

void CWFTwIcon::RestoreTidewaterAlerts(ULONG mask) {
  unpackFlags(m_familyAlerts, mask);
}

void CWFTwIcon::CreateSpecificBinaryData(void* out) {
  CWFMeridianIcon::CreateSpecificBinaryData(out);
  static_cast<TIDEWATERBINARYDATA*>(out)->storedAlerts = CreateTidewaterStoredAlerts();
}

// ---- pages and menu ----

BOOL CWFTwIcon::IsPJLConnect() {
  return (m_connections & (BCE_NET_LOCAL | BCE_NET_LOCAL_PORT_BITS)) ? TRUE : FALSE;
}

bool CWFTwIcon::extraPagesShown() {
  return IsUserAdmin() && GetBidiActive() && IsPJLConnect();
}

void CWFTwIcon::AddStatusPage(CPropertySheet* sheet) {
  if (GetBidiActive()) sheet->AddPage(new CTwStatus(this));
}

void CWFTwIcon::AddOpPanelPage(CPropertySheet* sheet) {
  if (IsUserAdmin() && GetBidiActive()) sheet->AddPage(new CTwOpPanel(this));
}

void CWFTwIcon::AddStatsPage(CPropertySheet* sheet) {
  if (GetBidiActive()) sheet->AddPage(new CPrtOStatistics(this));
}

UINT CWFTwIcon::NumExtraPages() {
  return extraPagesShown() ? 3 : 0;
}

void CWFTwIcon::AddExtraOpenPages(CPropertySheet* sheet) {
  ResetPendingQueries();
  if (!extraPagesShown()) return;
  sheet->AddPage(new CTwPaperFont(this));
  sheet->AddPage(new CTwPresentDlg(this));
  sheet->AddPage(new CTwAdvDlg(this));
}

int CWFTwIcon::AddExtraOpenTabs(CMenu* menu) {
  if (!extraPagesShown() || !menu) return FALSE;
  appendExtraTabs(menu, {kPaperFontCommand, kPresentationCommand, kAdvancedCommand});
  return TRUE;
}

int CWFTwIcon::GetExtraPageNum(UINT* index, int* found, UINT command) {
  if (!extraPagesShown()) return FALSE;
  return extraPageNum(index, found, command, {kPaperFontCommand, kPresentationCommand, kAdvancedCommand});
}

int CWFTwIcon::HandleExtraMenuCmd(UINT command) {
  if (command < kAdvancedCommand || command > kPresentationCommand) return 0;
  OpenPrinterA(command);
  return 1;
}

// ---- panel ----

void CWFTwIcon::takeLights() {
  Lights lights{};
  if (const auto* panel = static_cast<const WFPrtObj::OPPANELDATA*>(m_pOpPanelData)) {
    const std::size_t n = std::min(panel->text.size(), lights.size());
    std::memcpy(lights.data(), panel->text.data(), n);
    m_lights = lights;
  }
}

void CWFTwIcon::SetOpPanelText(CWFPanelAlertMsg* message) {
  CWFMeridianIcon::SetOpPanelText(message);
  underMutex(this, "OpPanelData", wf::kInfinite, [&] { takeLights(); });
}

void CWFTwIcon::UpdateOpPanelText() {
  CWFMeridianIcon::UpdateOpPanelText();
  underMutex(this, "OpPanelData", wf::kInfinite, [&] { takeLights(); });
}

void CWFTwIcon::FreeOPPanelData() {
  m_lights.reset();
  CWFMeridianIcon::FreeOPPanelData();
}

std::optional<CWFTwIcon::Lights> CWFTwIcon::GetROPData() {
  std::optional<Lights> copy;
  underMutex(this, "OpPanelData", kLockWaitMs, [&] { copy = m_lights; });
  return copy;
}

// ---- settings ----

CString CWFTwIcon::GetTidewaterMutex() {
  return tidewater::TidewaterMutexName(GetPrinterHandle());
}

BOOL CWFTwIcon::GetPPDSCapable() {
  BOOL capable = FALSE;
  underMutex(this, "CodeLevels", kLockWaitMs, [&] {
    if (m_pCodeLevels) capable = tidewater::IsPPDSCodeLevel(m_pCodeLevels->revisionLevel.c_str());
  });
  return capable;
}

// ---- alerts ----

void CWFTwIcon::ShowHelpforError() {
  const std::optional<UINT> specific = topAlertSpecific();
  const int index = specific ? familyAlertIndex(*specific) : -1;
  WFAppServices* app = WFGetApp();
  if (index < 0 || !app) return CWFMeridianIcon::ShowHelpforError();
  app->WinHelp(kFamilyAlerts[index].help, HELP_CONTEXT);
}

UINT CWFTwIcon::ProcessUIRAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT handled) {
  UINT result = 0;
  if (!data) count = 0;
  WFAppServices* app = WFGetApp();
  for (UINT i = 0; i < count; ++i) {
    alert->SetSpecificAlert(data[i].alertId);
    const int index = familyAlertIndex(data[i].alertId);
    if (index < 0) continue;
    result |= 9;
    ++handled;
    CString text;
    {
      wf::fw::ResourceHandleSwitch resources(s_resources);
      text = BuildAlertString(kFamilyAlerts[index].title, 0, 0);
    }
    CompleteAlert(alert, CWFAlert::ACTIVE, result, ALERT_SUBTYPE_INTERVENTION, text, kAlertBitmap,
                  app ? app->GetWaveFile(kInterventionSound) : CFilename(), TRUE, TRUE, TRUE);
  }
  if (handled < count) result |= CWFMeridianIcon::ProcessUIRAlerts(alert, count, data, handled);
  return result;
}

void CWFTwIcon::UpdateAlertList(CWFAlertDlgList* list) {
  listFamilyAlerts(list, kFamilyAlerts, m_familyAlerts);
}

void CWFTwIcon::SetBceAlerts(CWFAlertDlgList* list, ALERTS* alerts, int store) {
  if (store) takeFamilyAlerts(list, kFamilyAlerts, m_familyAlerts);
  CWFMeridianIcon::SetBceAlerts(list, alerts, TRUE);
  if (!(alerts->mask & kInterventionClass))
    for (const FamilyAlert& a : kFamilyAlerts)
      if (list->GetAlertState(a.id)) alerts->mask |= kInterventionClass;
}

CWFPrinterIcon::ALERT_ACTION CWFTwIcon::FilterAlerts(CWFAlertMsg* message) {
  const ALERT_ACTION inherited = CWFMeridianIcon::FilterAlerts(message);
  if (inherited != ALERT_FAMILY || !message) return inherited;
  const int index = familyAlertIndex(message->GetAlert()->GetSpecificAlert());
  if (index < 0) return ALERT_FAMILY;
  return m_familyAlerts[index] ? ALERT_SHOW : ALERT_SUPPRESS;
}
