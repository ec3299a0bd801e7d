#pragma once
// The dialogs of a printer window: its name, its Details columns, the
// choice among open windows, and its printer filter with the stored
// filters it may be saved to and restored from. All modal, parented to
// the printer window.
#include "app/window_filter.h"
#include "framework/cstring.h"
#include "framework/dialog.h"

class CMainFrame;
class CWFListView;

constexpr UINT IDD_SELECT_COLUMNS = 134;
constexpr UINT IDD_WINDOWS = 137;
constexpr UINT IDD_WINDOW_NAME = 138;
constexpr UINT IDD_FILTER = 151;
constexpr UINT IDD_RESTORE_FILTER = 155;
constexpr UINT IDD_DELETE_FILTERS = 156;
constexpr UINT IDD_SAVE_FILTER = 157;

constexpr UINT IDC_WINDOW_NAME = 1023;
constexpr UINT IDC_WINDOWS_LIST = 1028;
constexpr UINT IDC_RESTORE_LIST = 1116;
constexpr UINT IDC_DELETE_LIST = 1127;
constexpr UINT IDC_FILTER_NAME = 1128;
// The filter dialog's controls.
constexpr UINT IDC_SHOW_LOCAL = 701, IDC_SHOW_NETWORK = 702, IDC_SHOW_MISSING = 1136, IDC_BIDI_ONLY = 704;
constexpr UINT IDC_NAME_PATTERN = 1043, IDC_CONNECTION_PATTERN = 1047, IDC_ADDRESS_PATTERN = 1051,
               IDC_LOGIN_PATTERN = 1052, IDC_NICKNAME_PATTERN = 1053, IDC_HOST_PATTERN = 1054;
constexpr UINT IDC_PORTBAY = 1057, IDC_PORTBAY_XL = 1058, IDC_SERIAL = 1055, IDC_PARALLEL = 1056;
constexpr UINT IDC_FILTER_DEFAULTS = 1042, IDC_FILTER_SAVE = 1061, IDC_FILTER_RESTORE = 1118,
               IDC_FILTER_DELETE = 1126;

// Answers F1 and the context-help request on a control from its table in
// "WRENFLD.HLP" of the program's directory.
class CWFHelpDialog : public CDialog {
 public:
  CWFHelpDialog(UINT templateId, CWnd* parent, const DWORD* helpIds)
      : CDialog(templateId, parent), m_helpIds(helpIds) {}

 protected:
  LRESULT OnHelp(WPARAM, LPARAM info);
  LRESULT OnHelpContextMenu(WPARAM window, LPARAM);
  DECLARE_MESSAGE_MAP()

 private:
  const DWORD* m_helpIds;
};

class CSelectColumnsDlg : public CWFHelpDialog {
 public:
  CSelectColumnsDlg(CWFListView* view, CWnd* parent);
  void DoDataExchange(CDataExchange* dx) override;

  int m_columns[8] = {};  // columns 1-8: shown
};

class CWindowNameDlg : public CWFHelpDialog {
 public:
  CWindowNameDlg(CWnd* parent, const CString& name);
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  void OnOK() override;

  CString m_name;
  BOOL m_replace = FALSE;

 protected:
  void OnNameChange();
  DECLARE_MESSAGE_MAP()
};

class CWindowsDlg : public CDialog {
 public:
  explicit CWindowsDlg(CWnd* parent) : CDialog(IDD_WINDOWS, parent) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;

  int m_index = -1;  // the chosen window's window-list index
};

class CFilterDlg : public CWFHelpDialog {
 public:
  explicit CFilterDlg(CMainFrame* parent);
  BOOL OnInitDialog() override;
  void OnOK() override;

 protected:
  void OnAddressChange();
  void OnLoginChange();
  void OnDefaults();
  void OnSave();
  void OnRestore();
  void OnDelete();
  DECLARE_MESSAGE_MAP()

 private:
  void show(const WINDOWFILTER& filter);
  WINDOWFILTER read();
  // Removes the first character of `bad` from the edit with a message.
  void refuse(UINT id, const char* allowed, const char* forbidden, UINT message);
  BOOL noStoredFilters();

  CMainFrame* m_pFrame;
};

class CRestoreFilterDlg : public CDialog {
 public:
  explicit CRestoreFilterDlg(CWnd* parent) : CDialog(IDD_RESTORE_FILTER, parent) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;

  CString m_name;
};

class CDeleteFiltersDlg : public CDialog {
 public:
  explicit CDeleteFiltersDlg(CWnd* parent) : CDialog(IDD_DELETE_FILTERS, parent) {}
  BOOL OnInitDialog() override;
  void OnOK() override;
};

class CSaveFilterDlg : public CDialog {
 public:
  explicit CSaveFilterDlg(CWnd* parent) : CDialog(IDD_SAVE_FILTER, parent) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  void OnOK() override;

  CString m_name;
};
