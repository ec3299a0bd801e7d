#include "app/alert_notify_dlg.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "common/alert_dlg_list.h"
#include "common/app_services.h"
#include "framework/dc.h"
#include "framework/shell_calls.h"

namespace {

constexpr DWORD kHelpIDs[] = {IDC_ALERT_TYPES,
                              100,
                              IDC_ALERT_MONITORED,
                              101,
                              IDC_ALERT_ADD,
                              102,
                              IDC_ALERT_REMOVE,
                              103,
                              IDC_ALERT_MONITOR_ALL,
                              104,
                              IDC_ALERT_CLEAR_ALL,
                              105,
                              0,
                              0};

std::vector<const ALERT_DLG_STRUCT*> items(CWFAlertDlgList* list) {
  std::vector<const ALERT_DLG_STRUCT*> out;
  for (POSITION p = list->GetHeadPosition(); p;)
    out.push_back(reinterpret_cast<const ALERT_DLG_STRUCT*>(list->GetNext(p)));
  return out;
}

// Each name once, however many keys carry it.
void addOnce(CListBox* box, std::set<std::string>& shown, const CString& name) {
  if (shown.insert(name.str()).second) box->AddString(name);
}

}  // namespace

BEGIN_MESSAGE_MAP(CWFAlertNotifyDlg, CDialog)
ON_BN_CLICKED(IDC_ALERT_ADD, OnAdd)
ON_BN_CLICKED(IDC_ALERT_REMOVE, OnRemove)
ON_BN_CLICKED(IDC_ALERT_MONITOR_ALL, OnMonitorAll)
ON_BN_CLICKED(IDC_ALERT_CLEAR_ALL, OnClearAll)
ON_MESSAGE(WM_HELP, OnHelp)
ON_MESSAGE(WM_CONTEXTMENU, OnHelpContextMenu)
END_MESSAGE_MAP()

CWFAlertNotifyDlg::CWFAlertNotifyDlg(CWFAlertDlgList* list, CWnd* parent)
    : CDialog(IDD_ALERT_NOTIFICATION, parent), m_pList(list) {}

const DWORD* CWFAlertNotifyDlg::HelpIDs() {
  return kHelpIDs;
}

BOOL CWFAlertNotifyDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  if (CListBox* types = box(IDC_ALERT_TYPES)) {
    std::set<std::string> shown;
    for (const ALERT_DLG_STRUCT* item : items(m_pList)) addOnce(types, shown, item->name);
    fitExtent(types);
  }
  fillMonitored();
  return TRUE;
}

void CWFAlertNotifyDlg::fillMonitored() {
  CListBox* monitored = box(IDC_ALERT_MONITORED);
  if (!monitored) return;
  monitored->ResetContent();
  std::set<std::string> shown;
  for (const ALERT_DLG_STRUCT* item : items(m_pList))
    if (item->state != 0) addOnce(monitored, shown, item->name);
  fitExtent(monitored);
}

void CWFAlertNotifyDlg::fitExtent(CListBox* list) {
  int longest = 0;
  for (int i = 0; i < list->GetCount(); ++i) {
    CString text;
    list->GetText(i, text);
    longest = std::max(longest, text.GetLength());
  }
  CClientDC dc(list);
  TEXTMETRIC metrics{};
  dc.GetTextMetrics(&metrics);
  list->SetHorizontalExtent(static_cast<int>(metrics.tmAveCharWidth) * longest);
}

void CWFAlertNotifyDlg::setStates(UINT from, bool all, int state) {
  CListBox* list = box(from);
  if (!list) return;
  // The names first: the list changes under the updates.
  std::vector<CString> names;
  for (int i = 0; i < list->GetCount(); ++i) {
    if (!all && list->GetSel(i) <= 0) continue;
    CString name;
    list->GetText(i, name);
    names.push_back(name);
  }
  for (const CString& name : names) m_pList->UpdateState(name, state);
  fillMonitored();
}

void CWFAlertNotifyDlg::OnAdd() {
  setStates(IDC_ALERT_TYPES, false, 1);
}

void CWFAlertNotifyDlg::OnRemove() {
  setStates(IDC_ALERT_MONITORED, false, 0);
}

void CWFAlertNotifyDlg::OnMonitorAll() {
  setStates(IDC_ALERT_TYPES, true, 1);
}

void CWFAlertNotifyDlg::OnClearAll() {
  setStates(IDC_ALERT_MONITORED, true, 0);
}

CString CWFAlertNotifyDlg::helpFile() const {
  WFAppServices* app = WFGetApp();
  std::string dir = app && app->GetProgramDirectory() ? app->GetProgramDirectory() : "";
  if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') dir += '/';
  return CString((dir + "WRENFLD.HLP").c_str());
}

LRESULT CWFAlertNotifyDlg::OnHelp(WPARAM, LPARAM helpInfo) {
  const auto* info = reinterpret_cast<const HELPINFO*>(helpInfo);
  WinHelp(info ? info->hItemHandle : 0, helpFile(), HELP_WM_HELP, reinterpret_cast<std::uintptr_t>(kHelpIDs));
  return 0;
}

LRESULT CWFAlertNotifyDlg::OnHelpContextMenu(WPARAM window, LPARAM) {
  WinHelp(static_cast<HWND>(window), helpFile(), HELP_CONTEXTMENU,
          reinterpret_cast<std::uintptr_t>(kHelpIDs));
  return 0;
}
