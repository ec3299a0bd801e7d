#include "app/window_dialogs.h"

#include <cstring>
#include <vector>

#include "app/list_view.h"
#include "app/main_frame.h"
#include "app/wf_app.h"
#include "app/window_list.h"
#include "framework/controls.h"
#include "framework/dc.h"
#include "framework/ddx.h"
#include "framework/shell_calls.h"
#include "registry_values.h"

namespace {

constexpr const char* kHelpFile = "WRENFLD.HLP";
constexpr UINT kProduct = 1;
constexpr UINT kDialogsProductTitle = 129;
constexpr UINT kDialogsWarning = 138;
constexpr UINT kFilterCaption = 61;
constexpr UINT kBadAddress = 62;
constexpr UINT kBadLogin = 63;
constexpr UINT kNoFilters = 78;
constexpr UINT kBadWindowName = 80;
constexpr UINT kWindowExists = 81;
constexpr UINT kFilterExists = 139;
constexpr UINT kRegistryDefaults = 25;
constexpr int kWindowNameChars = 128;

const DWORD kColumnsHelp[] = {1019, 1702, 1020, 1700, 1021, 1704, 1130, 1705, 1022,
                              1701, 1123, 1706, 1124, 1707, 1125, 1708, 0,    0};
const DWORD kWindowNameHelp[] = {1023, 600, 0, 0};
const DWORD kFilterHelp[] = {701,  700,  702,  701,  1136, 728,  704,  703,  1056, 710,  1055, 711,  1047,
                             712,  1146, 712,  1126, 713,  1057, 714,  1053, 715,  1150, 715,  1058, 716,
                             1052, 717,  1149, 717,  1051, 718,  1148, 718,  1043, 719,  1145, 719,  1118,
                             720,  1061, 721,  1054, 722,  1151, 722,  1042, 723,  1143, 9000, 1144, 9000,
                             1147, 9000, 1152, 9000, 1153, 9000, 1154, 9000, 1155, 9000, 0,    0};
const UINT kColumnBoxes[8] = {1019, 1020, 1021, 1130, 1022, 1123, 1124, 1125};

// The pattern edits: control, label, limit, field.
struct PatternEdit {
  UINT id;
  UINT label;
  int limit;
  CString WINDOWFILTER::*field;
};
const PatternEdit kPatternEdits[] = {
    {IDC_NAME_PATTERN, 1145, 80, &WINDOWFILTER::name},
    {IDC_CONNECTION_PATTERN, 1146, 80, &WINDOWFILTER::connection},
    {IDC_ADDRESS_PATTERN, 1148, 12, &WINDOWFILTER::netAddress},
    {IDC_LOGIN_PATTERN, 1149, 43, &WINDOWFILTER::nwLogin},
    {IDC_NICKNAME_PATTERN, 1150, 24, &WINDOWFILTER::clNickname},
    {IDC_HOST_PATTERN, 1151, 79, &WINDOWFILTER::tcpHost},
};
struct FlagBox {
  UINT id;
  BOOL WINDOWFILTER::*field;
};
const FlagBox kFlagBoxes[] = {
    {IDC_SHOW_LOCAL, &WINDOWFILTER::showLocal},
    {IDC_SHOW_NETWORK, &WINDOWFILTER::showNetwork},
    {IDC_SHOW_MISSING, &WINDOWFILTER::showMissing},
    {IDC_BIDI_ONLY, &WINDOWFILTER::bidiOnly},
    {IDC_PORTBAY, &WINDOWFILTER::portbay},
    {IDC_PORTBAY_XL, &WINDOWFILTER::portbayXL},
    {IDC_SERIAL, &WINDOWFILTER::serial},
    {IDC_PARALLEL, &WINDOWFILTER::parallel},
};

CString loadString(UINT id) {
  CString text;
  text.LoadString(id);
  return text;
}

int ask(CWnd* owner, UINT text, UINT caption, UINT type) {
  return MessageBox(owner ? owner->GetSafeHwnd() : 0, loadString(text), loadString(caption), type);
}

int averageCharWidth(CWnd* window) {
  CClientDC dc(window);
  TEXTMETRIC metrics{};
  dc.GetTextMetrics(&metrics);
  return metrics.tmAveCharWidth > 0 ? metrics.tmAveCharWidth : 6;
}

CWFWindowList* dialogsWindowList() {
  CWFApp* app = WFGetWFApp();
  return app ? app->GetWFWindowList() : nullptr;
}

// Takes the first forbidden character out of an edit, tells why, and puts
// the caret at the end; false when the text was clean.
bool removeFirstOf(CDialog& dialog, UINT id, const char* allowed, const char* forbidden, UINT message,
                   UINT caption) {
  CString text;
  dialog.GetDlgItemText(static_cast<int>(id), text);
  const std::string value = text.str();
  const size_t at = allowed ? value.find_first_not_of(allowed) : value.find_first_of(forbidden);
  if (at == std::string::npos) return false;
  ask(&dialog, message, caption, MB_OK | MB_ICONEXCLAMATION);
  const std::string cleaned = value.substr(0, at) + value.substr(at + 1);
  dialog.SetDlgItemText(static_cast<int>(id), cleaned.c_str());
  if (auto* edit = dynamic_cast<CEdit*>(dialog.GetDlgItem(static_cast<int>(id)))) edit->SetSel(-1, -1);
  return true;
}

}  // namespace

// ---- Context help ----

BEGIN_MESSAGE_MAP(CWFHelpDialog, CDialog)
ON_MESSAGE(WM_HELP, OnHelp)
ON_MESSAGE(WM_CONTEXTMENU, OnHelpContextMenu)
END_MESSAGE_MAP()

namespace {
CString helpPath() {
  WFAppServices* app = WFGetApp();
  const std::string dir = app && app->GetProgramDirectory() ? app->GetProgramDirectory() : "";
  return CString((dir.empty() ? std::string(kHelpFile) : dir + "/" + kHelpFile).c_str());
}
}  // namespace

LRESULT CWFHelpDialog::OnHelp(WPARAM, LPARAM helpInfo) {
  const auto* info = reinterpret_cast<const HELPINFO*>(helpInfo);
  WinHelp(info ? info->hItemHandle : 0, helpPath(), HELP_WM_HELP,
          reinterpret_cast<std::uintptr_t>(m_helpIds));
  return 0;
}

LRESULT CWFHelpDialog::OnHelpContextMenu(WPARAM window, LPARAM) {
  WinHelp(static_cast<HWND>(window), helpPath(), HELP_CONTEXTMENU,
          reinterpret_cast<std::uintptr_t>(m_helpIds));
  return 0;
}

// ---- Select Columns ----

CSelectColumnsDlg::CSelectColumnsDlg(CWFListView* view, CWnd* parent)
    : CWFHelpDialog(IDD_SELECT_COLUMNS, parent, kColumnsHelp) {
  for (int column = 1; column <= 8; ++column) m_columns[column - 1] = view && view->ColumnShown(column);
}

void CSelectColumnsDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  for (int i = 0; i < 8; ++i) DDX_Check(dx, static_cast<int>(kColumnBoxes[i]), m_columns[i]);
}

// ---- Window Name ----

BEGIN_MESSAGE_MAP(CWindowNameDlg, CWFHelpDialog)
ON_EN_CHANGE(IDC_WINDOW_NAME, OnNameChange)
END_MESSAGE_MAP()

CWindowNameDlg::CWindowNameDlg(CWnd* parent, const CString& name)
    : CWFHelpDialog(IDD_WINDOW_NAME, parent, kWindowNameHelp), m_name(name) {}

BOOL CWindowNameDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  if (auto* edit = dynamic_cast<CEdit*>(GetDlgItem(IDC_WINDOW_NAME))) edit->LimitText(kWindowNameChars);
  return TRUE;
}

void CWindowNameDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Text(dx, IDC_WINDOW_NAME, m_name);
}

void CWindowNameDlg::OnNameChange() {
  removeFirstOf(*this, IDC_WINDOW_NAME, nullptr, "\"<>*|\\:/,", kBadWindowName, kProduct);
}

void CWindowNameDlg::OnOK() {
  if (!UpdateData(TRUE)) return;
  CWFApp* app = WFGetWFApp();
  if (m_name.IsEmpty()) {
    if (app) {
      m_name = loadString(kDialogsProductTitle) + " - " + app->GetNewWindowName();
      app->SetWindowCount(app->GetWindowCount() - 1);  // the number stays free
    }
    SetDlgItemText(IDC_WINDOW_NAME, m_name);
    EndDialog(IDOK);
    return;
  }
  const BOOL stored = app && app->IsDuplicateWindowName(m_name);
  CWFWindowList* windows = dialogsWindowList();
  const BOOL open = windows && windows->FindWindowA(m_name);
  if (stored || open) {
    if (ask(this, kWindowExists, kProduct, MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK) return;
    if (stored) app->CleanUpRegistry(m_name);
    if (open) m_replace = TRUE;
  }
  EndDialog(IDOK);
}

// ---- Wrenfield Windows ----

BOOL CWindowsDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  auto* list = dynamic_cast<CListBox*>(GetDlgItem(IDC_WINDOWS_LIST));
  CWFWindowList* windows = dialogsWindowList();
  if (list && windows) {
    int longest = 0;
    for (CMainFrame* window : windows->Windows()) {
      const CString title = window->GetTitle();
      list->AddString(title);
      longest = std::max(longest, title.GetLength());
    }
    list->SetHorizontalExtent(averageCharWidth(list) * longest);
    if (list->GetCount() > 0) list->SetCurSel(0);
  }
  return TRUE;
}

void CWindowsDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_LBIndex(dx, IDC_WINDOWS_LIST, m_index);
}

// ---- Filter Printers ----

BEGIN_MESSAGE_MAP(CFilterDlg, CWFHelpDialog)
ON_EN_CHANGE(IDC_ADDRESS_PATTERN, OnAddressChange)
ON_EN_CHANGE(IDC_LOGIN_PATTERN, OnLoginChange)
ON_BN_CLICKED(IDC_FILTER_DEFAULTS, OnDefaults)
ON_BN_CLICKED(IDC_FILTER_SAVE, OnSave)
ON_BN_CLICKED(IDC_FILTER_RESTORE, OnRestore)
ON_BN_CLICKED(IDC_FILTER_DELETE, OnDelete)
END_MESSAGE_MAP()

CFilterDlg::CFilterDlg(CMainFrame* parent)
    : CWFHelpDialog(IDD_FILTER, parent, kFilterHelp), m_pFrame(parent) {}

BOOL CFilterDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  for (const PatternEdit& pattern : kPatternEdits)
    if (auto* edit = dynamic_cast<CEdit*>(GetDlgItem(static_cast<int>(pattern.id))))
      edit->LimitText(pattern.limit);
  show(m_pFrame ? m_pFrame->GetFilter() : WINDOWFILTER{});
  return TRUE;
}

void CFilterDlg::show(const WINDOWFILTER& filter) {
  for (const PatternEdit& pattern : kPatternEdits)
    SetDlgItemText(static_cast<int>(pattern.id), filter.*pattern.field);
  for (const FlagBox& box : kFlagBoxes)
    CheckDlgButton(static_cast<int>(box.id), filter.*box.field ? BST_CHECKED : BST_UNCHECKED);
  CWFApp* app = WFGetWFApp();
  const UINT nets = app ? app->GetNetsAvailable() : 0;
  auto unavailable = [this](UINT id, UINT label) {
    SetDlgItemText(static_cast<int>(id), "*");
    if (CWnd* edit = GetDlgItem(static_cast<int>(id))) edit->EnableWindow(FALSE);
    if (CWnd* text = GetDlgItem(static_cast<int>(label))) text->EnableWindow(FALSE);
  };
  if (!(nets & 0x2)) unavailable(IDC_HOST_PATTERN, 1151);
  if (!(nets & 0x1)) unavailable(IDC_LOGIN_PATTERN, 1149);
  if (!(nets & 0xC)) unavailable(IDC_NICKNAME_PATTERN, 1150);
  if (!nets) unavailable(IDC_ADDRESS_PATTERN, 1148);
}

WINDOWFILTER CFilterDlg::read() {
  WINDOWFILTER filter;
  for (const PatternEdit& pattern : kPatternEdits)
    GetDlgItemText(static_cast<int>(pattern.id), filter.*pattern.field);
  for (const FlagBox& box : kFlagBoxes)
    filter.*box.field = IsDlgButtonChecked(static_cast<int>(box.id)) == BST_CHECKED;
  return filter;
}

void CFilterDlg::OnAddressChange() {
  removeFirstOf(*this, IDC_ADDRESS_PATTERN, "01234567890ABCDEF*", nullptr, kBadAddress, kFilterCaption);
}

void CFilterDlg::OnLoginChange() {
  removeFirstOf(*this, IDC_LOGIN_PATTERN, nullptr, "\\/:;,?=<>+[]\"|", kBadLogin, kFilterCaption);
}

void CFilterDlg::OnDefaults() {
  if (m_pFrame) m_pFrame->GetFilter().SetDefaults();
  show(WINDOWFILTER{});
}

void CFilterDlg::OnSave() {
  const WINDOWFILTER values = read();
  CSaveFilterDlg save(this);
  if (save.DoModal() != IDOK) return;
  CWFApp* app = WFGetWFApp();
  wf::app::Key filters;
  if (app) *filters.out() = app->GetFilterKey();
  if (filters) WriteFilter(filters.get(), save.m_name, values);
}

BOOL CFilterDlg::noStoredFilters() {
  CWFApp* app = WFGetWFApp();
  if (app && app->GetStoredFilterCount() > 0) return FALSE;
  ask(this, kNoFilters, kDialogsWarning, MB_OK | MB_ICONEXCLAMATION);
  return TRUE;
}

void CFilterDlg::OnRestore() {
  if (noStoredFilters()) return;
  CRestoreFilterDlg restore(this);
  if (restore.DoModal() != IDOK) return;
  CWFApp* app = WFGetWFApp();
  wf::app::Key filters;
  if (app) *filters.out() = app->GetFilterKey();
  if (!filters) {
    ask(this, kRegistryDefaults, kDialogsWarning, MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  WINDOWFILTER stored;
  ReadFilter(filters.get(), restore.m_name, stored);
  show(stored);
}

void CFilterDlg::OnDelete() {
  if (noStoredFilters()) return;
  CDeleteFiltersDlg remove(this);
  remove.DoModal();
}

void CFilterDlg::OnOK() {
  if (m_pFrame) m_pFrame->GetFilter() = read();
  EndDialog(IDOK);
}

// ---- Stored filters ----

namespace {
// The stored names, the first selected when `select`; the sideways extent
// covers the longest.
void fillNames(CListBox* list, bool select) {
  CWFApp* app = WFGetWFApp();
  if (!list || !app) return;
  const int longest = app->FillFilterNames(list);
  if (longest > 0) list->SetHorizontalExtent(averageCharWidth(list) * longest);
  if (select && list->GetCount() > 0) list->SetCurSel(0);
}
}  // namespace

BOOL CRestoreFilterDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  fillNames(dynamic_cast<CListBox*>(GetDlgItem(IDC_RESTORE_LIST)), true);
  return TRUE;
}

void CRestoreFilterDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  if (!dx->m_bSaveAndValidate) return;
  auto* list = dynamic_cast<CListBox*>(GetDlgItem(IDC_RESTORE_LIST));
  if (list && list->GetCurSel() >= 0) list->GetText(list->GetCurSel(), m_name);
}

BOOL CDeleteFiltersDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  fillNames(dynamic_cast<CListBox*>(GetDlgItem(IDC_DELETE_LIST)), false);
  return TRUE;
}

void CDeleteFiltersDlg::OnOK() {
  auto* list = dynamic_cast<CListBox*>(GetDlgItem(IDC_DELETE_LIST));
  CWFApp* app = WFGetWFApp();
  wf::app::Key filters;
  if (app) *filters.out() = app->GetFilterKey();
  if (list && filters && list->GetSelCount() > 0) {
    std::vector<int> chosen(static_cast<size_t>(list->GetSelCount()));
    list->GetSelItems(static_cast<int>(chosen.size()), chosen.data());
    for (int index : chosen) {
      CString name;
      list->GetText(index, name);
      RegDeleteKeyA(filters.get(), name);  // one already gone changes nothing
    }
  }
  EndDialog(IDOK);
}

BOOL CSaveFilterDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  GotoDlgCtrl(GetDlgItem(IDC_FILTER_NAME));
  return FALSE;
}

void CSaveFilterDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Text(dx, IDC_FILTER_NAME, m_name);
}

void CSaveFilterDlg::OnOK() {
  if (!UpdateData(TRUE)) return;
  // A backslash would name a key below another.
  if (m_name.IsEmpty() || std::strchr(m_name, '\\')) return;
  CWFApp* app = WFGetWFApp();
  if (app && app->DoesFilterExist(m_name) &&
      ask(this, kFilterExists, kDialogsWarning, MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK)
    return;
  EndDialog(IDOK);
}
