#include "keystone/ky_tray_levels.h"

#include "keystone/ky_icon.h"

namespace {

constexpr UINT kTemplate = 350;

// The template's controls, in the order the page binds them.
constexpr int kControlIds[CKYTrayLevels::kControlCount] = {1093, 1074, 1072, 1071, 1070, 1076, 1075, 1092,
                                                           1091, 1083, 1079, 1078, 1089, 1090, 1084, 1088,
                                                           1082, 1081, 1080, 1086, 1087, 1085};
constexpr int kLevelTextIds[CKYTrayLevels::kLevelCount] = {1084, 1090, 1089, 1078, 1079, 1083, 1091};

// The three trays that report levels: their label, and where their level
// text, gauge and gauge place are.
struct LevelTray {
  UINT tray;
  int label;
  int slot;  // index of the level text and the gauge
  int place;
};
constexpr LevelTray kTrays[] = {{7103, 1070, 3, 1080}, {7104, 1071, 4, 1081}, {7105, 1072, 5, 1082}};

constexpr UINT kWarningLevel = 30;
constexpr COLORREF kFillColor = 0xFF0000;
constexpr COLORREF kWarnColor = 0x0000FF;

}  // namespace

CKYTrayLevels::CKYTrayLevels(CWFKstoneIcon* icon)
    : CWFPropertyPage(kTemplate, "WRENFLD.HLP"), m_pIcon(icon) {}

CGasGauge& CKYTrayLevels::GetGauge(UINT tray) {
  for (const LevelTray& t : kTrays)
    if (t.tray == tray) return m_gauges[t.slot];
  return m_gauges[0];
}

BOOL CKYTrayLevels::OnInitDialog() {
  CWFPropertyPage::OnInitDialog();
  // The template shows every control; all but its title (the first) wait
  // for their tray to be attached.
  for (int i = 1; i < kControlCount; ++i) m_controls[i].ShowWindow(SW_HIDE);
  if (!m_pIcon || !m_pIcon->SupportInputLevels()) return TRUE;
  for (const LevelTray& t : kTrays) {
    m_levelTexts[t.slot] = m_pIcon->GetTrayLevelName(static_cast<USHORT>(t.tray));
    CRect place;
    if (CWnd* marker = GetDlgItem(t.place)) {
      CRect screen;
      marker->GetWindowRect(&screen);
      CPoint topLeft = screen.TopLeft(), bottomRight = screen.BottomRight();
      ScreenToClient(&topLeft);
      ScreenToClient(&bottomRight);
      place = CRect(topLeft.x, topLeft.y, bottomRight.x, bottomRight.y);
    }
    CGasGauge& gauge = m_gauges[t.slot];
    gauge.InitGauge(this, place, kWarningLevel, static_cast<UINT>(t.place));
    gauge.SetFillColor(kFillColor);
    gauge.SetWarnColor(kWarnColor);
    if (t.tray != 7103) gauge.SetLevel(m_pIcon->GetTrayLevelPercent(static_cast<USHORT>(t.tray)));
  }
  UpdateLevels();  // shows the attached trays
  return TRUE;
}

void CKYTrayLevels::UpdateLevels() {
  if (!m_pIcon) return;
  for (const LevelTray& t : kTrays) {
    if (!m_pIcon->GetTrayAttached(t.tray)) continue;
    const auto tray = static_cast<USHORT>(t.tray);
    m_levelTexts[t.slot] = m_pIcon->GetTrayLevelName(tray);
    CGasGauge& gauge = m_gauges[t.slot];
    if (gauge.GetSafeHwnd()) {
      gauge.SetLevel(m_pIcon->GetTrayLevelPercent(tray));
      gauge.ShowWindow(SW_SHOW);
    }
    if (CWnd* label = GetDlgItem(t.label)) label->ShowWindow(SW_SHOW);
    if (CWnd* text = GetDlgItem(kLevelTextIds[t.slot])) text->ShowWindow(SW_SHOW);
  }
}

void CKYTrayLevels::DoDataExchange(CDataExchange* dx) {
  CWFPropertyPage::DoDataExchange(dx);
  if (!dx->m_bSaveAndValidate) UpdateLevels();
  for (int i = 0; i < kControlCount; ++i) DDX_Control(dx, kControlIds[i], m_controls[i]);
  for (int i = 0; i < kLevelCount; ++i) DDX_Text(dx, kLevelTextIds[i], m_levelTexts[i]);
}
