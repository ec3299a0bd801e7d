#include "tidewater/tw_paper_font_dlg.h"

#include <cstdlib>

#include "framework/control_styles.h"
#include "framework/ddx.h"
#include "tidewater/tw_fonts.h"
#include "tidewater/tw_paper_font.h"
#include "tidewater/tw_paper_tables.h"

namespace {

using tidewater::ChangeFlags;
using tidewater::kPaperFontTable;
using tidewater::kPaperTypeStrings;
using tidewater::kPfCopiesRow;
using tidewater::kPfFontRow;
using tidewater::kPfPitchRow;
using tidewater::kPfPointRow;
using tidewater::kPfSizeRow;
using tidewater::kPfSourceRow;
using tidewater::kPfSymbolSetRow;
using tidewater::kPfTrayLinkingRow;
using tidewater::kPfTypeRow;
using tidewater::kResidentFonts;
using tidewater::kSymbolSets;
using tidewater::PaperFontRow;
using tidewater::PaperSize;
using tidewater::PaperSizePosition;
using tidewater::PaperSizesOf;
using tidewater::PaperSourceStrings;
using tidewater::PaperTypeApplies;
using tidewater::ResidentFont;
using tidewater::SymbolSetId;
using tidewater::SymbolSetPosition;
using tidewater::SymbolSetRows;

constexpr int kSourceList = 1003;
constexpr int kSizeList = 1004;
constexpr int kTypeList = 1005;
constexpr int kTrayLinking = 1006;
constexpr int kCopiesEdit = 1008;
constexpr int kNote = 1009;
constexpr int kFontList = 1010;
constexpr int kSymbolSetList = 1013;
constexpr int kPaperFontDefaults = 1015;
constexpr int kPointSizeEdit = 1052;
constexpr int kPitchEdit = 1053;
constexpr int kPaperFontSet = 2014;
constexpr UINT kNoteText = 50007;
constexpr UINT kOtherSize = 505;
constexpr UINT kOtherSizeCode = 255;
constexpr UINT kTray2 = 7104;

const DWORD kPaperFontHelpIDs[] = {1003, 10301, 1071, 10301, 1004, 10302, 1072, 10302, 1005, 10304, 1073, 10304,
                          1008, 10305, 1074, 10305, 1006, 10306, 1009, 10401, 1077, 10401, 1010, 10402,
                          1078, 10402, 1052, 10403, 1079, 10403, 1053, 10404, 1080, 10404, 1013, 10405,
                          1081, 10405, 2014, 10406, 1015, 10407, 1075, 0,     1076, 0,     0,    0};

constexpr ChangeFlags flagOf(PaperFontRow row) {
  return ChangeFlags{1} << row;
}

bool isPitchFont(UINT font) {
  return font < kResidentFonts.size() && kResidentFonts[font].fixedPitch;
}

}  // namespace

BEGIN_MESSAGE_MAP(CTwPaperFont, CTwSettingsPage)
ON_BN_CLICKED(kPaperFontSet, OnSetPaperfont)
ON_BN_CLICKED(kPaperFontDefaults, OnDefaultPaperfont)
ON_CBN_SELCHANGE(kSourceList, OnSelchangePaperSource)
ON_CBN_SELCHANGE(kSizeList, OnSelchangePaperSize)
ON_CBN_SELCHANGE(kTypeList, OnSelchangePaperType)
ON_CBN_SELCHANGE(kFontList, OnSelchangeFont)
ON_CBN_SELCHANGE(kSymbolSetList, OnSelchangeSymbolSet)
ON_BN_CLICKED(kTrayLinking, OnTrayLinking)
ON_EN_CHANGE(kCopiesEdit, OnChangeEditCopies)
ON_EN_CHANGE(kPitchEdit, OnChangeEditPitch)
ON_EN_CHANGE(kPointSizeEdit, OnChangeEditPointSize)
END_MESSAGE_MAP()

CTwPaperFont::CTwPaperFont(CWFPrinterIcon* icon)
    : CTwSettingsPage(742, icon, kPaperFontTable,
                      {"UpdatePaperFont() from CTwPaperFont::OnInitDialog()",
                       "SetPaperFont() from CTwPaperFont::OnSetPaperfont()",
                       "DefaultsPaperFont() from CTwPaperFont::OnDefaultPaperfont()"}) {}

const DWORD* CTwPaperFont::GetHelpIDs() {
  return kPaperFontHelpIDs;
}

BOOL CTwPaperFont::OnInitDialog() {
  m_changes = 0;
  // Starts the reading; its exchange attaches the controls.
  CTwSettingsPage::OnInitDialog();
  if (CWnd* note = GetDlgItem(kNote)) note->SetWindowText(FamilyString(kNoteText));
  m_fontList.ResetContent();
  for (const ResidentFont& font : kResidentFonts) m_fontList.AddString(font.name);
  m_typeList.ResetContent();
  for (UINT type : kPaperTypeStrings) m_typeList.AddString(FamilyString(type));
  const struct {
    CSpinButtonCtrl& spin;
    int buddy;
    short upper;
  } spins[] = {{m_copiesSpin, kCopiesEdit, 99},
               {m_pitchSpin, kPitchEdit, 100},
               {m_pointSizeSpin, kPointSizeEdit, 1008}};
  for (const auto& s : spins) {
    CWnd* buddy = GetDlgItem(s.buddy);
    if (!buddy) continue;
    CRect place;
    buddy->GetWindowRect(&place);
    CPoint corner(place.right, place.top);
    ScreenToClient(&corner);
    s.spin.CreateEx(
        0, UPDOWN_CLASS, "",
        WS_CHILD | WS_VISIBLE | UDS_ARROWKEYS | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_WRAP | UDS_NOTHOUSANDS,
        corner.x, corner.y, 16, place.Height(), GetSafeHwnd());
    s.spin.SetRange(1, s.upper);
    s.spin.SetBuddy(buddy);
  }
  if (m_pSettings) ShowCache();
  return TRUE;
}

void CTwPaperFont::DoDataExchange(CDataExchange* dx) {
  CWFPropertyPage::DoDataExchange(dx);
  DDX_Control(dx, kPaperFontSet, m_setButton);
  DDX_Control(dx, kSourceList, m_sourceList);
  DDX_Control(dx, kSizeList, m_sizeList);
  DDX_Control(dx, kTypeList, m_typeList);
  DDX_Control(dx, kFontList, m_fontList);
  DDX_Control(dx, kSymbolSetList, m_symbolSetList);
  if (!dx->m_bSaveAndValidate && m_pSettings) ShowCache();
  DDX_Text(dx, kCopiesEdit, m_copies);
  DDV_MinMaxUInt(dx, m_copies, 1, 99);
  // Only the size the font uses is checked: the other field is disabled.
  const bool pitch = isPitchFont(ShownFont());
  DDX_Text(dx, kPitchEdit, m_pitch);
  if (pitch) DDV_MinMaxUInt(dx, m_pitch, 1, 100);
  DDX_Text(dx, kPointSizeEdit, m_pointSize);
  if (!pitch) DDV_MinMaxUInt(dx, m_pointSize, 1, 1008);
  DDX_Check(dx, kTrayLinking, m_trayLinking);
}

// ---- what the lists show ----

bool CTwPaperFont::Tray2Attached() const {
  return m_pIcon && m_pIcon->GetTrayAttached(kTray2);
}

void CTwPaperFont::ShowCache() {
  m_copies = m_pSettings->GetNumCopies();
  m_pitch = m_pSettings->GetPitchSize();
  m_pointSize = m_pSettings->GetPointSize();
  m_trayLinking = m_pSettings->GetTrayLinking() ? 1 : 0;
  if (m_copiesSpin.GetSafeHwnd()) m_copiesSpin.SetPos(static_cast<int>(m_copies));
  if (m_pitchSpin.GetSafeHwnd()) m_pitchSpin.SetPos(static_cast<int>(m_pitch));
  if (m_pointSizeSpin.GetSafeHwnd()) m_pointSizeSpin.SetPos(static_cast<int>(m_pointSize));

  const bool tray2 = Tray2Attached();
  m_sourceList.ResetContent();
  for (UINT source : PaperSourceStrings(tray2)) m_sourceList.AddString(FamilyString(source));
  const UINT source = m_pSettings->GetTWPaperSource();
  m_sourceList.SetCurSel(
      source >= 1 && static_cast<int>(source) <= m_sourceList.GetCount() ? static_cast<int>(source) - 1 : -1);
  FillPapers(source);
  if (CWnd* linking = GetDlgItem(kTrayLinking)) linking->EnableWindow(tray2);

  const UINT font = m_pSettings->GetFontNumber();
  m_fontList.SetCurSel(static_cast<int>(font));
  ShowFontControls(font);
  FillSymbolSets(font, true);
}

void CTwPaperFont::FillSymbolSets(UINT font, bool forced) {
  m_symbolSetRows = SymbolSetRows(font < kResidentFonts.size() ? kResidentFonts[font].symbolSetClass : 1);
  m_symbolSetList.ResetContent();
  for (int row : m_symbolSetRows)
    m_symbolSetList.AddString(kSymbolSets[static_cast<std::size_t>(row)].display);
  const CString cached = m_pSettings->GetSymbolSet();
  const int position = SymbolSetPosition(m_symbolSetRows, cached);
  m_symbolSetList.SetCurSel(position < 0 ? 0 : position);
  if (ShownSymbolSet() == cached) return;
  if (!forced) {
    NoteChange(kPfSymbolSetRow, true);
    return;
  }
  m_changes |= flagOf(kPfSymbolSetRow);
  m_setButton.EnableWindow(TRUE);
}

void CTwPaperFont::FillPapers(UINT source) {
  m_sizeList.ResetContent();
  for (const PaperSize& size : PaperSizesOf(source)) m_sizeList.AddString(FamilyString(size.string));
  m_sizeList.SetCurSel(PaperSizePosition(source, m_pSettings->GetTWPaperSize(source)));
  m_typeList.SetCurSel(static_cast<int>(m_pSettings->GetTWPaperType(source)));
  m_typeList.EnableWindow(PaperTypeApplies(source));
}

void CTwPaperFont::ShowFontControls(UINT font) {
  const bool pitch = isPitchFont(font);
  if (CWnd* edit = GetDlgItem(kPitchEdit)) edit->EnableWindow(pitch);
  if (CWnd* edit = GetDlgItem(kPointSizeEdit)) edit->EnableWindow(!pitch);
  if (m_pitchSpin.GetSafeHwnd()) m_pitchSpin.EnableWindow(pitch);
  if (m_pointSizeSpin.GetSafeHwnd()) m_pointSizeSpin.EnableWindow(!pitch);
}

UINT CTwPaperFont::ShownSource() const {
  const int selected = m_sourceList.GetCurSel();
  return selected >= 0 ? static_cast<UINT>(selected) + 1 : m_pSettings->GetTWPaperSource();
}

UINT CTwPaperFont::ShownFont() const {
  const int selected = m_fontList.GetCurSel();
  if (selected >= 0) return static_cast<UINT>(selected);
  return m_pSettings ? m_pSettings->GetFontNumber() : 0;
}

CString CTwPaperFont::ShownSymbolSet() const {
  const int selected = m_symbolSetList.GetCurSel();
  if (selected < 0) return CString();
  CString display;
  m_symbolSetList.GetLBText(selected, display);
  return SymbolSetId(display);
}

int CTwPaperFont::ShownSizeCode() const {
  const int selected = m_sizeList.GetCurSel();
  if (selected < 0) return -1;
  CString name;
  m_sizeList.GetLBText(selected, name);
  for (const PaperSize& size : PaperSizesOf(3))
    if (FamilyString(size.string) == name) return static_cast<int>(size.code);
  if (FamilyString(kOtherSize) == name) return kOtherSizeCode;
  return 1;
}

UINT CTwPaperFont::EditValue(int id) const {
  CString text;
  if (CWnd* edit = GetDlgItem(id)) edit->GetWindowText(text);
  return static_cast<UINT>(std::strtoul(text, nullptr, 10));
}

// ---- changes ----

void CTwPaperFont::OnSelchangePaperSource() {
  if (!m_pSettings) return;
  const UINT source = ShownSource();
  NoteChange(kPfSourceRow, source != m_pSettings->GetTWPaperSource());
  FillPapers(source);
}

void CTwPaperFont::OnSelchangePaperSize() {
  if (!m_pSettings) return;
  const int code = ShownSizeCode();
  NoteChange(kPfSizeRow, code >= 0 && static_cast<UINT>(code) != m_pSettings->GetTWPaperSize(ShownSource()));
}

void CTwPaperFont::OnSelchangePaperType() {
  if (!m_pSettings) return;
  const int type = m_typeList.GetCurSel();
  NoteChange(kPfTypeRow, type >= 0 && static_cast<UINT>(type) != m_pSettings->GetTWPaperType(ShownSource()));
}

void CTwPaperFont::OnSelchangeFont() {
  if (!m_pSettings) return;
  const UINT font = ShownFont();
  NoteChange(kPfFontRow, font != m_pSettings->GetFontNumber());
  ShowFontControls(font);
  if (isPitchFont(font)) {
    if (m_pitchSpin.GetSafeHwnd()) m_pitchSpin.SetPos(static_cast<int>(m_pSettings->GetPitchSize()));
  } else if (m_pointSizeSpin.GetSafeHwnd()) {
    m_pointSizeSpin.SetPos(static_cast<int>(m_pSettings->GetPointSize()));
  }
  FillSymbolSets(font, false);
}

void CTwPaperFont::OnSelchangeSymbolSet() {
  if (m_pSettings) NoteChange(kPfSymbolSetRow, ShownSymbolSet() != m_pSettings->GetSymbolSet());
}

void CTwPaperFont::OnTrayLinking() {
  const auto* box = dynamic_cast<CButton*>(GetDlgItem(kTrayLinking));
  if (m_pSettings && box)
    NoteChange(kPfTrayLinkingRow, (box->GetCheck() ? 1 : 0) != m_pSettings->GetTrayLinking());
}

void CTwPaperFont::OnChangeEditCopies() {
  if (m_pSettings) NoteChange(kPfCopiesRow, EditValue(kCopiesEdit) != m_pSettings->GetNumCopies());
}

void CTwPaperFont::OnChangeEditPitch() {
  if (m_pSettings) NoteChange(kPfPitchRow, EditValue(kPitchEdit) != m_pSettings->GetPitchSize());
}

void CTwPaperFont::OnChangeEditPointSize() {
  if (m_pSettings) NoteChange(kPfPointRow, EditValue(kPointSizeEdit) != m_pSettings->GetPointSize());
}

// ---- buttons ----

void CTwPaperFont::StoreControls() {
  m_pSettings->SetFontNumber(ShownFont());
  // The font says which size goes out; the other's flag may remain from an
  // earlier font.
  if (m_pSettings->IsPitchFont()) {
    m_pSettings->SetPitchSize(m_pitch);
    m_changes &= ~flagOf(kPfPointRow);
  } else {
    m_pSettings->SetPointSize(m_pointSize);
    m_changes &= ~flagOf(kPfPitchRow);
  }
  const UINT source = ShownSource();
  m_pSettings->SetTWPaperSource(source);
  // Without a selection the cached size stays.
  if (const int code = ShownSizeCode(); code >= 0)
    m_pSettings->SetTWPaperSize(source, static_cast<UINT>(code));
  if (const int type = m_typeList.GetCurSel(); type >= 0 && PaperTypeApplies(source))
    m_pSettings->SetTWPaperType(source, static_cast<UINT>(type));
  m_pSettings->SetNumCopies(m_copies);
  if (Tray2Attached()) m_pSettings->SetTrayLinking(m_trayLinking ? 1 : 0);
  if (m_symbolSetList.GetCurSel() >= 0) m_pSettings->SetSymbolSet(ShownSymbolSet());
}

void CTwPaperFont::OnSetPaperfont() {
  SetChanged();
}

void CTwPaperFont::OnDefaultPaperfont() {
  SetDefaults();
}
