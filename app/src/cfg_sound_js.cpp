// The settings sheet's Sound Setup and Job Statistics pages, and Delete Jobs.
#include <strings.h>

#include <algorithm>
#include <cstdio>

#include "app/cfg_sheet.h"
#include "app/wf_app.h"
#include "common/browse.h"
#include "framework/control_styles.h"
#include "framework/controls.h"
#include "framework/ddx.h"
#include "framework/file_dialog.h"
#include "framework/shell_calls.h"

namespace {

constexpr const char* kSoundJsMainHelp = "WRENFLD.HLP";
constexpr UINT kNone = 27;
constexpr UINT kWaveFilter = 49;
constexpr UINT kFirstMonth = 141;
constexpr UINT kJsTitle = 153;
constexpr UINT kJsFilter = 158;
constexpr int kSoundJsBrowseHelp = 302;
constexpr int kFileLimit = 260;
constexpr int kLastYear = 3000;

// A typed day or year outside the up-down's range counts as its nearest end.
int clampedPos(const CSpinButtonCtrl& spin) {
  int lower = 0, upper = 0;
  spin.GetRange(lower, upper);
  return std::clamp(spin.GetPos(), std::min(lower, upper), std::max(lower, upper));
}

CString loadedSoundJsText(UINT id) {
  CString text;
  text.LoadString(id);
  return text;
}

// The directory part of a wave file, with its separator; "/" and "\" both count.
CString directoryOf(const CString& file) {
  const std::string path = file.str();
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? CString() : CString(path.substr(0, cut + 1).c_str());
}

CString nameOf(const CString& file) {
  const std::string path = file.str();
  const std::size_t cut = path.find_last_of("\\/");
  return CString((cut == std::string::npos ? path : path.substr(cut + 1)).c_str());
}

}  // namespace

// ---- Sound Setup ----

struct CSoundPage::Entry {
  int event = 0;
  CString file;
};

BEGIN_MESSAGE_MAP(CSoundPage, CWFPropertyPage)
ON_LBN_SELCHANGE(IDC_SND_EVENTS, OnEventChanged)
ON_CBN_SELENDOK(IDC_SND_FILES, OnSoundChosen)
ON_BN_CLICKED(IDC_SND_BROWSE, OnBrowse)
ON_BN_CLICKED(IDC_SND_PLAY, OnPlay)
ON_BN_CLICKED(IDC_SND_ENABLE, OnEnable)
ON_BN_CLICKED(IDC_SND_DEFAULTS, OnDefaults)
ON_WM_DESTROY()
END_MESSAGE_MAP()

CSoundPage::CSoundPage() : CWFCfgPage(IDD_CFG_SOUND, kSoundJsMainHelp) {}

BOOL CSoundPage::OnInitDialog() {
  open();
  CWFApp* app = WFGetWFApp();
  for (int i = 0; i < kEvents; ++i)
    m_files[static_cast<std::size_t>(i)] = app ? app->GetWaveFile(i).GetPath() : "";
  return CWFPropertyPage::OnInitDialog();
}

void CSoundPage::open() {
  CWFApp* app = WFGetWFApp();
  auto* events = static_cast<CListBox*>(GetDlgItem(IDC_SND_EVENTS));
  if (!app || !events) return;
  freeEntries();
  events->ResetContent();
  for (int i = 0; i < kEvents; ++i) {
    CString name;
    if (!name.LoadString(app->GetWaveEventID(i))) name = app->GetWaveEventName(i);
    const int at = events->AddString(name);
    events->SetItemData(at, reinterpret_cast<DWORD_PTR>(new Entry{i, app->GetWaveFile(i).GetPath()}));
  }
  events->SetCurSel(0);
  if (Entry* entry = selectedEntry()) showFile(entry->file);
  m_bEnabled = m_bEnabledWas = app->GetSoundEnabled();
  CheckDlgButton(IDC_SND_ENABLE, m_bEnabled ? 1 : 0);
  enableSoundButtons();
}

CSoundPage::Entry* CSoundPage::selectedEntry() const {
  auto* events = static_cast<CListBox*>(GetDlgItem(IDC_SND_EVENTS));
  if (!events || events->GetCurSel() < 0) return nullptr;
  return reinterpret_cast<Entry*>(events->GetItemData(events->GetCurSel()));
}

void CSoundPage::showFile(const CString& file) {
  auto* sounds = static_cast<CComboBox*>(GetDlgItem(IDC_SND_FILES));
  if (!sounds) return;
  sounds->ResetContent();
  const CString none = loadedSoundJsText(kNone);
  if (file == none) {
    sounds->AddString(none);
    sounds->SetCurSel(0);
    return;
  }
  const CString directory = directoryOf(file);
  std::string wanted = (directory.IsEmpty() ? std::string() : directory.str()) + "*.WAV";
  DlgDirListComboBox(wanted.data(), IDC_SND_FILES, IDC_SND_DIRECTORY, DDL_READWRITE);
  sounds->InsertString(0, none);
  const int match = sounds->FindStringExact(-1, nameOf(file));
  sounds->SetCurSel(match >= 0 ? match : 0);
}

void CSoundPage::refreshFromEntries() {
  auto* events = static_cast<CListBox*>(GetDlgItem(IDC_SND_EVENTS));
  if (!events) return;
  for (int i = 0; i < events->GetCount(); ++i) {
    const auto* entry = reinterpret_cast<const Entry*>(events->GetItemData(i));
    if (entry && entry->event >= 0 && entry->event < kEvents)
      m_files[static_cast<std::size_t>(entry->event)] = entry->file;
  }
}

void CSoundPage::freeEntries() {
  auto* events = static_cast<CListBox*>(GetDlgItem(IDC_SND_EVENTS));
  if (!events) return;
  for (int i = 0; i < events->GetCount(); ++i) {
    delete reinterpret_cast<Entry*>(events->GetItemData(i));
    events->SetItemData(i, 0);
  }
}

void CSoundPage::enableSoundButtons() {
  if (CWnd* browse = GetDlgItem(IDC_SND_BROWSE)) browse->EnableWindow(m_bEnabled);
  if (CWnd* play = GetDlgItem(IDC_SND_PLAY)) play->EnableWindow(m_bEnabled);
}

void CSoundPage::DoDataExchange(CDataExchange* dx) {
  CWFPropertyPage::DoDataExchange(dx);
  DDX_Check(dx, IDC_SND_ENABLE, m_bEnabled);
}

const DWORD* CSoundPage::GetHelpIDs() {
  static const DWORD ids[] = {1000, 800,  1033, 801,  1034, 806,          1138, 806,    1004, 802, 1003,
                              803,  1002, 804,  1042, 805,  ID_APPLY_NOW, 9001, IDHELP, 9002, 0,   0};
  return ids;
}

void CSoundPage::OnEventChanged() {
  if (Entry* entry = selectedEntry()) showFile(entry->file);
}

void CSoundPage::OnSoundChosen() {
  auto* sounds = static_cast<CComboBox*>(GetDlgItem(IDC_SND_FILES));
  Entry* entry = selectedEntry();
  if (!sounds || !entry || sounds->GetCurSel() < 0) return;
  CString chosen;
  sounds->GetLBText(sounds->GetCurSel(), chosen);
  const CString directory = directoryOf(entry->file);
  entry->file = directory.IsEmpty() && chosen == loadedSoundJsText(kNone) ? chosen : directory + chosen;
  refreshFromEntries();
  OnChanged();
}

void CSoundPage::OnBrowse() {
  if (Entry* entry = selectedEntry()) {
    const CString filter = loadedSoundJsText(kWaveFilter);
    const CString name = nameOf(entry->file);
    CFileDialog browse(
        TRUE, "WAV", name,
        OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_NONETWORKBUTTON,
        filter, this);
    if (browse.DoModal() == IDOK) {
      entry->file = browse.GetPathName();
      showFile(entry->file);
      refreshFromEntries();
    }
  }
  OnChanged();
}

void CSoundPage::OnPlay() {
  if (Entry* entry = selectedEntry())
    PlaySound(entry->file, nullptr, SND_ASYNC | SND_FILENAME | SND_NODEFAULT);
}

void CSoundPage::OnEnable() {
  OnChanged();
  enableSoundButtons();
}

void CSoundPage::OnDefaults() {
  if (CWFApp* app = WFGetWFApp()) app->SetWaveDefaults();
  open();
  refreshFromEntries();
}

void CSoundPage::Apply() {
  CWFApp* app = WFGetWFApp();
  if (!app) return;
  app->SetSoundEnabled(m_bEnabled);
  for (int i = 0; i < kEvents; ++i) app->SetWaveFile(i, CFilename(m_files[static_cast<std::size_t>(i)]));
}

void CSoundPage::Remember() {
  m_bEnabledWas = m_bEnabled;
  refreshFromEntries();
}

void CSoundPage::Revert() {
  m_bEnabled = m_bEnabledWas;
  CWFApp* app = WFGetWFApp();
  for (int i = 0; i < kEvents; ++i)
    m_files[static_cast<std::size_t>(i)] = app ? app->GetWaveFile(i).GetPath() : "";
  Apply();
}

void CSoundPage::OnDestroy() {
  freeEntries();
  CWFPropertyPage::OnDestroy();
}

// ---- Job Statistics ----

BEGIN_MESSAGE_MAP(CJobStatsPage, CWFPropertyPage)
ON_BN_CLICKED(IDC_JS_TRACKING, OnChanged)
ON_BN_CLICKED(IDC_JS_BOUNDED, OnBounded)
ON_EN_CHANGE(IDC_JS_SIZE, OnSizeChanged)
ON_BN_CLICKED(IDC_JS_BROWSE, OnBrowse)
ON_BN_CLICKED(IDC_JS_DELETE, OnDeleteJobs)
END_MESSAGE_MAP()

CJobStatsPage::CJobStatsPage() : CWFCfgPage(IDD_CFG_JOBSTATS, kSoundJsMainHelp) {
  if (CWFApp* app = WFGetWFApp()) {
    m_bTracking = m_bTrackingWas = app->GetJSTracking();
    m_strFile = m_strFileWas = app->GetJSFilename();
    m_bBounded = m_bBoundedWas = app->GetJSFileBounded();
    m_nSize = m_nSizeWas = app->GetJSMaxSize();
  }
}

BOOL CJobStatsPage::OnInitDialog() {
  CWFPropertyPage::OnInitDialog();
  if (auto* file = static_cast<CEdit*>(GetDlgItem(IDC_JS_FILE))) file->LimitText(kFileLimit);
  enableSize();
  return TRUE;
}

void CJobStatsPage::enableSize() {
  for (UINT id : {1078u, IDC_JS_SIZE, 1079u})
    if (CWnd* control = GetDlgItem(id)) control->EnableWindow(m_bBounded);
}

void CJobStatsPage::DoDataExchange(CDataExchange* dx) {
  CWFPropertyPage::DoDataExchange(dx);
  DDX_Check(dx, IDC_JS_TRACKING, m_bTracking);
  DDX_Text(dx, IDC_JS_FILE, m_strFile);
  DDV_MaxChars(dx, m_strFile, kFileLimit);
  DDX_Check(dx, IDC_JS_BOUNDED, m_bBounded);
  if (m_bBounded) DDX_Text(dx, IDC_JS_SIZE, m_nSize);
}

const DWORD* CJobStatsPage::GetHelpIDs() {
  static const DWORD ids[] = {1066, 300,  1067,         301,  1077,   301,  845, 302, 1069, 303,
                              1070, 304,  1078,         304,  1079,   304,  846, 305, 1076, 9000,
                              1083, 9000, ID_APPLY_NOW, 9001, IDHELP, 9002, 0,   0};
  return ids;
}

void CJobStatsPage::OnBounded() {
  OnChanged();
  enableSize();
  if (!m_bBounded) m_nSize = 0;
}

void CJobStatsPage::OnSizeChanged() {
  CString text;
  GetDlgItemText(IDC_JS_SIZE, text);
  if (text.Find('-') >= 0) {
    MessageBeep(MB_ICONEXCLAMATION);
    char size[16];
    std::snprintf(size, sizeof size, "%u", m_nSize);
    SetDlgItemText(IDC_JS_SIZE, size);
  }
  OnChanged();
}

void CJobStatsPage::OnBrowse() {
  const CString filter = loadedSoundJsText(kJsFilter);
  CWFBrowse browse(TRUE, "txt", "*.txt", OFN_HIDEREADONLY, filter, kSoundJsBrowseHelp, this);
  browse.SetTitle(loadedSoundJsText(kJsTitle));
  if (browse.DoModal() != IDOK) return;
  m_strFile = browse.GetPathName();
  UpdateData(FALSE);
}

void CJobStatsPage::OnDeleteJobs() {
  CDeleteJobsDlg dialog(this);
  if (dialog.DoModal() == IDOK) m_deleteBefore = dialog.m_cutOff;
}

void CJobStatsPage::applyValues() {
  CWFApp* app = WFGetWFApp();
  if (!app) return;
  app->SetJSTracking(m_bTracking);
  app->SetJSFilename(m_strFile);
  app->SetJSFileBounded(m_bBounded);
  app->SetJSMaxSize(m_nSize);
}

void CJobStatsPage::Apply() {
  applyValues();
  CWFApp* app = WFGetWFApp();
  if (app && m_deleteBefore)
    ::PostMessage(app->GetJSFNotificationWindow(), WM_WF_JSFDELETEJOBS, 0,
                  static_cast<LPARAM>(m_deleteBefore));
}

void CJobStatsPage::Remember() {
  m_bTrackingWas = m_bTracking;
  m_strFileWas = m_strFile;
  m_bBoundedWas = m_bBounded;
  m_nSizeWas = m_nSize;
}

void CJobStatsPage::Revert() {
  m_bTracking = m_bTrackingWas;
  m_strFile = m_strFileWas;
  m_bBounded = m_bBoundedWas;
  m_nSize = m_nSizeWas;
  // Cancel deletes no jobs: the pending date goes only with Apply and OK.
  applyValues();
}

// ---- Delete Jobs ----

BEGIN_MESSAGE_MAP(CDeleteJobsDlg, CDialog)
ON_CBN_SELCHANGE(IDC_DJ_MONTH, OnMonthChanged)
ON_EN_CHANGE(IDC_DJ_YEAR, OnYearChanged)
ON_MESSAGE(WM_HELP, OnHelp)
ON_MESSAGE(WM_CONTEXTMENU, OnHelpContextMenu)
END_MESSAGE_MAP()

CDeleteJobsDlg::CDeleteJobsDlg(CWnd* parent) : CDialog(IDD_DELETE_JOBS, parent) {
  // The month names are the English ones of strings 141-152, as "%B" gives them in the C locale.
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  m_strMonth = loadedSoundJsText(kFirstMonth + static_cast<UINT>(local.tm_mon));
  m_nDay = local.tm_mday;
  m_nYear = local.tm_year + 1900;
}

int CDeleteJobsDlg::DaysIn(int month, int year) {
  if (month == 2) return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0 ? 29 : 28;
  if (month == 4 || month == 6 || month == 9 || month == 11) return 30;
  return 31;
}

BOOL CDeleteJobsDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  const DWORD style = WS_CHILD | WS_VISIBLE | WS_BORDER | UDS_WRAP | UDS_SETBUDDYINT | UDS_ALIGNRIGHT |
                      UDS_ARROWKEYS | UDS_NOTHOUSANDS;
  auto makeSpin = [&](CSpinButtonCtrl& spin, UINT id, UINT buddy, short lower, short upper, int pos) {
    spin.CreateEx(0, "msctls_updown32", "", style, 0, 0, 16, 16, GetSafeHwnd(), id);
    spin.SetBuddy(GetDlgItem(buddy));
    spin.SetRange(lower, upper);
    spin.SetPos(pos);
  };
  makeSpin(m_yearSpin, IDC_DJ_YEARSPIN, IDC_DJ_YEAR, 1, kLastYear, m_nYear);
  makeSpin(m_daySpin, IDC_DJ_DAYSPIN, IDC_DJ_DAY, 1, 31, m_nDay);
  if (auto* months = static_cast<CComboBox*>(GetDlgItem(IDC_DJ_MONTH))) {
    for (UINT i = 0; i < 12; ++i) months->AddString(loadedSoundJsText(kFirstMonth + i));
    months->SetCurSel(months->FindStringExact(-1, m_strMonth));
  }
  fitDays();
  CenterWindow();
  return TRUE;
}

void CDeleteJobsDlg::fitDays() {
  auto* months = static_cast<CComboBox*>(GetDlgItem(IDC_DJ_MONTH));
  auto* days = static_cast<CSpinButtonCtrl*>(GetDlgItem(IDC_DJ_DAYSPIN));
  auto* years = static_cast<CSpinButtonCtrl*>(GetDlgItem(IDC_DJ_YEARSPIN));
  if (!months || !days || !years) return;
  const int length = DaysIn(months->GetCurSel() + 1, clampedPos(*years));
  if (days->GetPos() > length) days->SetPos(length);
  days->SetRange(1, static_cast<short>(length));
}

void CDeleteJobsDlg::OnMonthChanged() {
  fitDays();
}

void CDeleteJobsDlg::OnYearChanged() {
  auto* months = static_cast<CComboBox*>(GetDlgItem(IDC_DJ_MONTH));
  if (months && months->GetCurSel() == 1) fitDays();
}

void CDeleteJobsDlg::OnOK() {
  auto* months = static_cast<CComboBox*>(GetDlgItem(IDC_DJ_MONTH));
  auto* days = static_cast<CSpinButtonCtrl*>(GetDlgItem(IDC_DJ_DAYSPIN));
  auto* years = static_cast<CSpinButtonCtrl*>(GetDlgItem(IDC_DJ_YEARSPIN));
  if (!months || !days || !years) return;
  m_nYear = clampedPos(*years);
  m_nDay = std::min(clampedPos(*days), DaysIn(months->GetCurSel() + 1, m_nYear));
  std::tm midnight{};
  midnight.tm_year = m_nYear - 1900;
  midnight.tm_mon = months->GetCurSel();
  midnight.tm_mday = m_nDay;
  midnight.tm_isdst = -1;
  m_cutOff = std::mktime(&midnight);
  EndDialog(IDOK);
}

namespace {

const DWORD kDeleteJobsHelp[] = {1104, 9000, 1109, 310, 1111, 310, 1106, 311, 1107, 311,
                                 1108, 311,  1112, 312, 1113, 312, 1114, 312, 0,    0};

// "WRENFLD.HLP" in the program's own directory.
std::string programHelpFile() {
  CWFApp* app = WFGetWFApp();
  return std::string(app ? app->GetProgramDirectory() : "") + "/" + kSoundJsMainHelp;
}

}  // namespace

LRESULT CDeleteJobsDlg::OnHelp(WPARAM, LPARAM helpInfo) {
  const auto* info = reinterpret_cast<const HELPINFO*>(helpInfo);
  WinHelp(info ? info->hItemHandle : 0, programHelpFile().c_str(), HELP_WM_HELP,
          reinterpret_cast<std::uintptr_t>(kDeleteJobsHelp));
  return TRUE;
}

LRESULT CDeleteJobsDlg::OnHelpContextMenu(WPARAM window, LPARAM) {
  WinHelp(static_cast<HWND>(window), programHelpFile().c_str(), HELP_CONTEXTMENU,
          reinterpret_cast<std::uintptr_t>(kDeleteJobsHelp));
  return 0;
}
