#include "tidewater/tw_op_panel.h"

#include <cstdint>

#include "common/app_services.h"
#include "common/quick_dlg.h"
#include "framework/ddx.h"
#include "framework/resources.h"
#include "framework/shell_calls.h"
#include "prtgui/prt_pages.h"

namespace {

constexpr int kShortPress = 1000;
constexpr int kLongPress = 1001;
constexpr int kReceive = 1033;
constexpr int kSend = 1034;
constexpr int kMessage = 1043;
constexpr DWORD kShortCode = 2;
constexpr DWORD kLongCode = 4;

constexpr DWORD kOpPanelHelpIDs[] = {1044,  10201, 1060,  10201, 1045,  10202, 1062,  10202, 1046,  10203, 1061,
                              10203, 1047,  10204, 1063,  10204, 1048,  10205, 1064,  10205, 1049,  10206,
                              1065,  10206, 1043,  10207, 1033,  10213, 1034,  10209, 1001,  10210, 1000,
                              10208, 1059,  10212, 1066,  0,     1067,  10212, 0,     0};

}  // namespace

BEGIN_MESSAGE_MAP(CTwOpPanel, CWFPropertyPage)
ON_BN_CLICKED(kShortPress, OnShortPress)
ON_BN_CLICKED(kLongPress, OnLongPress)
ON_BN_CLICKED(kReceive, OnQuickSetupReceive)
ON_BN_CLICKED(kSend, OnQuickSetupSend)
ON_MESSAGE(WM_WF_QSDONE, OnQSDone)
END_MESSAGE_MAP()

CTwOpPanel::CTwOpPanel(CWFTwIcon* icon) : CWFPropertyPage(741, "VIREOE.HLP"), m_pIcon(icon) {}

const DWORD* CTwOpPanel::GetHelpIDs() {
  return kOpPanelHelpIDs;
}

BOOL CTwOpPanel::OnInitDialog() {
  CWFPropertyPage::OnInitDialog();
  for (std::size_t i = 0; i < tidewater::kPanelLights; ++i) {
    const tidewater::PanelButton& b = tidewater::kPanelButtons[i];
    CRect place;
    if (!wf::controlRect(*this, static_cast<int>(b.id), place)) continue;
    m_lamps[i].CreateROPButton(b.colour, b.state, place, this, b.id);
  }
  return TRUE;
}

void CTwOpPanel::DoDataExchange(CDataExchange* dx) {
  CWFPropertyPage::DoDataExchange(dx);
  UpdateLights();
  DDX_Text(dx, kMessage, m_message);
}

void CTwOpPanel::UpdateLights() {
  const auto lights = m_pIcon ? m_pIcon->GetROPData() : std::nullopt;
  if (!lights) return;
  tidewater::ShowLights(m_lamps, *lights);
  const unsigned string = tidewater::PatternString(tidewater::LightPattern(*lights));
  if (!string) return;
  wf::fw::ResourceHandleSwitch resources(m_pIcon->GetResourceInstance(0));
  m_message.LoadString(string);
}

BOOL CTwOpPanel::OnSetActive() {
  if (m_pIcon && !m_pIcon->GetPanelAlertsActive()) {
    m_pIcon->ActivatePanelAlerts(TRUE);
    if (WFAppServices* app = WFGetApp())
      app->BeginThread(&CPrtOStatus::UpdateROPData,
                       reinterpret_cast<void*>(static_cast<std::uintptr_t>(m_pIcon->GetPrinterHandle())), 0,
                       m_pIcon->BuildDescriptiveString("UpdateROPData() from CTwOpPanel::OnSetActive()"));
  }
  return CWFPropertyPage::OnSetActive();
}

// ---- the panel's button ----

void CTwOpPanel::Press(DWORD code, const char* label) {
  WFAppServices* app = WFGetApp();
  if (!app || !m_pIcon) return;
  auto* block = new wf::PanelBlock;
  block->code = code;
  block->printer = m_pIcon->GetPrinterHandle();
  app->BeginThread(&CPrtOOpPanel::PressROPButtons, block, 0, m_pIcon->BuildDescriptiveString(label));
}

void CTwOpPanel::OnShortPress() {
  Press(kShortCode, "PressROPButtons() from CTwOpPanel::OnShortPress()");
}

void CTwOpPanel::OnLongPress() {
  Press(kLongCode, "PressROPButtons() from CTwOpPanel::OnLongPress()");
}

// ---- Quick Setup ----

void CTwOpPanel::OnQuickSetupReceive() {
  if (!m_pIcon) return;
  const CString path =
      wf::chooseQuickSetupFile(this, FALSE, wf::mainProgramString(44), wf::mainProgramString(43));
  if (!path.IsEmpty()) m_pIcon->DoQuickSetupReceive(this, path);
}

void CTwOpPanel::OnQuickSetupSend() {
  if (!m_pIcon) return;
  // A refused file is told with the printer's name.
  wf::sendQuickSetup(this, m_pIcon, wf::mainProgramString,
                     [this](const CString&) { return m_pIcon->GetName(); });
}

LRESULT CTwOpPanel::OnQSDone(WPARAM, LPARAM lParam) {
  wf::endQuickSetup(lParam);
  return 0;
}
