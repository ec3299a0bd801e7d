#pragma once
// The Alert Notification dialog: which alert types of the selected printers
// are monitored. It edits the caller's CWFAlertDlgList in place; the caller
// applies the list after OK.
#include "framework/controls.h"
#include "framework/dialog.h"

class CWFAlertDlgList;

constexpr UINT IDD_ALERT_NOTIFICATION = 353;
constexpr UINT IDC_ALERT_TYPES = 1025;
constexpr UINT IDC_ALERT_MONITORED = 1026;
constexpr UINT IDC_ALERT_ADD = 1027;
constexpr UINT IDC_ALERT_REMOVE = 1028;
constexpr UINT IDC_ALERT_MONITOR_ALL = 1017;
constexpr UINT IDC_ALERT_CLEAR_ALL = 1038;

class CWFAlertNotifyDlg : public CDialog {
 public:
  CWFAlertNotifyDlg(CWFAlertDlgList* list, CWnd* parent);

  BOOL OnInitDialog() override;
  // The (control, help id) pairs, ending with 0, 0.
  static const DWORD* HelpIDs();

 protected:
  void OnAdd();
  void OnRemove();
  void OnMonitorAll();
  void OnClearAll();
  LRESULT OnHelp(WPARAM, LPARAM helpInfo);
  LRESULT OnHelpContextMenu(WPARAM window, LPARAM);
  DECLARE_MESSAGE_MAP()

 private:
  CListBox* box(UINT id) { return static_cast<CListBox*>(GetDlgItem(id)); }
  // Every selected entry of `from` (all of them with `all`) gets `state`.
  void setStates(UINT from, bool all, int state);
  void fillMonitored();
  void fitExtent(CListBox* list);
  CString helpFile() const;

  CWFAlertDlgList* m_pList;
};
