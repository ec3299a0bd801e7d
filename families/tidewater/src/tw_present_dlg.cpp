#include "tidewater/tw_present_dlg.h"

#include <cstdlib>

#include "framework/ddx.h"
#include "tidewater/tw_present.h"

namespace {

using Printer = WFTidewaterPrtObj;
using tidewater::kPrDarknessRow;
using tidewater::kPresentationTable;
using tidewater::kPrLeftRow;
using tidewater::kPrLinesRow;
using tidewater::kPrOrientationRow;
using tidewater::kPrPQETRow;
using tidewater::kPrResolutionRow;
using tidewater::kPrTonerSaverRow;
using tidewater::kPrTopRow;

constexpr int kResolutionList = 1016;
constexpr int kDarknessList = 1017;
constexpr int kLinesEdit = 1018;
constexpr int kTopEdit = 1019;
constexpr int kLeftEdit = 1020;
constexpr int kPQET = 1021;
constexpr int kTonerSaver = 1022;
constexpr int kPortrait = 1023;
constexpr int kLandscape = 1024;
constexpr int kSet = 1025;
constexpr int kDefaults = 1026;
constexpr UINT kDarknessTexts = 50147;  // to 50151, lightest first
constexpr int kDarknessLevels = 5;
constexpr UINT kResolutionTexts = 50152;  // 300 dpi, then 600 dpi
constexpr int kMarginLow = -128, kMarginHigh = 127;
constexpr int kLinesLow = 1, kLinesHigh = 255;

const DWORD kPresentHelpIDs[] = {1016, 10000, 1082, 10000, 1017, 10001, 1083, 10001, 1018, 10002, 1084, 10002,
                          1019, 10003, 1085, 10003, 1020, 10004, 1086, 10004, 1023, 10005, 1024, 10005,
                          1087, 10005, 1022, 10006, 1021, 10007, 1025, 10406, 1026, 10407, 0,    0};

Printer::Resolution resolutionAt(int position) {
  return position == 1 ? Printer::RES_600 : Printer::RES_300;
}

}  // namespace

BEGIN_MESSAGE_MAP(CTwPresentDlg, CTwSettingsPage)
ON_CBN_SELCHANGE(kResolutionList, OnSelchangeResolution)
ON_CBN_SELCHANGE(kDarknessList, OnSelchangeDarkness)
ON_EN_CHANGE(kLinesEdit, OnChangeLines)
ON_EN_CHANGE(kTopEdit, OnChangeTopMargin)
ON_EN_CHANGE(kLeftEdit, OnChangeLeftMargin)
ON_BN_CLICKED(kPortrait, OnOrientation)
ON_BN_CLICKED(kLandscape, OnOrientation)
ON_BN_CLICKED(kTonerSaver, OnTonerSaver)
ON_BN_CLICKED(kPQET, OnPQET)
ON_BN_CLICKED(kDefaults, OnPresDefaults)
ON_BN_CLICKED(kSet, OnPresSet)
END_MESSAGE_MAP()

CTwPresentDlg::CTwPresentDlg(CWFPrinterIcon* icon)
    : CTwSettingsPage(743, icon, kPresentationTable,
                      {"UpdatePresentation() from CTwPresentDlg::OnInitDialog()",
                       "SetPresentation() from CTwPresentDlg::OnPresSet()",
                       "DefaultsPresentation() from CTwPresentDlg::OnPresDefaults()"}) {}

const DWORD* CTwPresentDlg::GetHelpIDs() {
  return kPresentHelpIDs;
}

BOOL CTwPresentDlg::OnInitDialog() {
  CTwSettingsPage::OnInitDialog();
  const bool cached = m_pSettings != nullptr;
  CreateSpin(m_linesSpin, kLinesEdit, kLinesLow, kLinesHigh,
             cached ? static_cast<int>(m_pSettings->GetLinesPerPage()) : kLinesLow);
  CreateSpin(m_topSpin, kTopEdit, kMarginLow, kMarginHigh, cached ? m_pSettings->GetTopMargin() : 0);
  CreateSpin(m_leftSpin, kLeftEdit, kMarginLow, kMarginHigh, cached ? m_pSettings->GetLeftMargin() : 0);
  m_changes = 0;
  m_setButton.EnableWindow(FALSE);
  m_darknessList.ResetContent();
  for (int i = 0; i < kDarknessLevels; ++i) m_darknessList.AddString(FamilyString(kDarknessTexts + i));
  m_darknessList.SetCurSel(2);
  m_resolutionList.ResetContent();
  for (UINT i = 0; i < 2; ++i) m_resolutionList.AddString(FamilyString(kResolutionTexts + i));
  m_resolutionList.SetCurSel(0);
  EnableChecks();
  return TRUE;
}

void CTwPresentDlg::DoDataExchange(CDataExchange* dx) {
  CWFPropertyPage::DoDataExchange(dx);
  DDX_Control(dx, kSet, m_setButton);
  DDX_Control(dx, kResolutionList, m_resolutionList);
  DDX_Control(dx, kDarknessList, m_darknessList);
  if (!dx->m_bSaveAndValidate && m_pSettings) {
    const bool at600 = m_pSettings->GetResolution() == Printer::RES_600;
    m_resolutionList.SetCurSel(at600 ? 1 : 0);
    // A darkness the list lacks shows no selection, and Set then keeps it.
    const UINT darkness = m_pSettings->GetDarkness();
    m_darknessList.SetCurSel(darkness >= 1 && darkness <= kDarknessLevels ? static_cast<int>(darkness) - 1
                                                                          : -1);
    m_lines = m_pSettings->GetLinesPerPage();
    m_top = m_pSettings->GetTopMargin();
    m_left = m_pSettings->GetLeftMargin();
    m_orientation = m_pSettings->GetOrientation() == Printer::ORIENT_LANDSCAPE ? 1 : 0;
    m_tonerSaver = !at600 && m_pSettings->GetTonerSaver() ? 1 : 0;
    m_pqet = !at600 && !m_tonerSaver && m_pSettings->GetPQET() ? 1 : 0;
    if (m_linesSpin.GetSafeHwnd()) m_linesSpin.SetPos(static_cast<int>(m_lines));
    if (m_topSpin.GetSafeHwnd()) m_topSpin.SetPos(m_top);
    if (m_leftSpin.GetSafeHwnd()) m_leftSpin.SetPos(m_left);
  }
  DDX_Text(dx, kLinesEdit, m_lines);
  DDV_MinMaxUInt(dx, m_lines, kLinesLow, kLinesHigh);
  DDX_Text(dx, kTopEdit, m_top);
  DDV_MinMaxInt(dx, m_top, kMarginLow, kMarginHigh);
  DDX_Text(dx, kLeftEdit, m_left);
  DDV_MinMaxInt(dx, m_left, kMarginLow, kMarginHigh);
  DDX_Radio(dx, kPortrait, m_orientation);
  DDX_Check(dx, kTonerSaver, m_tonerSaver);
  DDX_Check(dx, kPQET, m_pqet);
  // Every exchange to the controls, after defaults too, follows the shown resolution.
  if (!dx->m_bSaveAndValidate) EnableChecks();
}

void CTwPresentDlg::StoreControls() {
  m_pSettings->SetResolution(resolutionAt(m_resolutionList.GetCurSel()));
  if (const int darkness = m_darknessList.GetCurSel(); darkness >= 0)
    m_pSettings->SetDarkness(static_cast<UINT>(darkness) + 1);
  m_pSettings->SetLinesPerPage(m_lines);
  m_pSettings->SetTopMargin(m_top);
  m_pSettings->SetLeftMargin(m_left);
  m_pSettings->SetOrientation(m_orientation == 1 ? Printer::ORIENT_LANDSCAPE : Printer::ORIENT_PORTRAIT);
  m_pSettings->SetTonerSaver(m_tonerSaver ? 1 : 0);
  m_pSettings->SetPQET(m_pqet ? 1 : 0);
}

void CTwPresentDlg::EnableChecks() {
  CWnd* tonerSaver = GetDlgItem(kTonerSaver);
  CWnd* pqet = GetDlgItem(kPQET);
  if (!tonerSaver || !pqet) return;
  const bool at300 = m_resolutionList.GetSafeHwnd() && m_resolutionList.GetCurSel() != 1;
  tonerSaver->EnableWindow(at300);
  pqet->EnableWindow(at300 && !Checked(kTonerSaver));
}

BOOL CTwPresentDlg::Checked(int id) const {
  const auto* box = dynamic_cast<CButton*>(GetDlgItem(id));
  return box && box->GetCheck() ? TRUE : FALSE;
}

int CTwPresentDlg::EditValue(int id) const {
  CString text;
  if (CWnd* edit = GetDlgItem(id)) edit->GetWindowText(text);
  return static_cast<int>(std::strtol(text, nullptr, 10));
}

// ---- changes ----

void CTwPresentDlg::OnSelchangeResolution() {
  if (m_resolutionList.GetCurSel() == 1) {
    // The printer has neither at 600 dpi: shown cleared, and so stored by Set.
    for (int id : {kTonerSaver, kPQET})
      if (auto* box = dynamic_cast<CButton*>(GetDlgItem(id))) box->SetCheck(0);
  }
  EnableChecks();
  if (m_pSettings)
    NoteChange(kPrResolutionRow, resolutionAt(m_resolutionList.GetCurSel()) != m_pSettings->GetResolution());
}

void CTwPresentDlg::OnSelchangeDarkness() {
  const int position = m_darknessList.GetCurSel();
  if (m_pSettings && position >= 0)
    NoteChange(kPrDarknessRow, static_cast<UINT>(position) + 1 != m_pSettings->GetDarkness());
}

void CTwPresentDlg::OnChangeLines() {
  if (m_pSettings)
    NoteChange(kPrLinesRow, EditValue(kLinesEdit) != static_cast<int>(m_pSettings->GetLinesPerPage()));
}

void CTwPresentDlg::OnChangeTopMargin() {
  if (m_pSettings) NoteChange(kPrTopRow, EditValue(kTopEdit) != m_pSettings->GetTopMargin());
}

void CTwPresentDlg::OnChangeLeftMargin() {
  if (m_pSettings) NoteChange(kPrLeftRow, EditValue(kLeftEdit) != m_pSettings->GetLeftMargin());
}

void CTwPresentDlg::OnOrientation() {
  if (!m_pSettings) return;
  const auto shown = Checked(kLandscape) ? Printer::ORIENT_LANDSCAPE : Printer::ORIENT_PORTRAIT;
  NoteChange(kPrOrientationRow, shown != m_pSettings->GetOrientation());
}

void CTwPresentDlg::OnTonerSaver() {
  EnableChecks();
  if (m_pSettings)
    NoteChange(kPrTonerSaverRow, Checked(kTonerSaver) != (m_pSettings->GetTonerSaver() ? 1 : 0));
}

void CTwPresentDlg::OnPQET() {
  if (m_pSettings) NoteChange(kPrPQETRow, Checked(kPQET) != (m_pSettings->GetPQET() ? 1 : 0));
}

// ---- buttons ----

void CTwPresentDlg::OnPresSet() {
  SetChanged();
}

void CTwPresentDlg::OnPresDefaults() {
  SetDefaults();
}
