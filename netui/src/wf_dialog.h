#pragma once
// The bases of every dialog and page of the library: what-is-this help from
// "NETWORK.HLP" for each control through a per-class table of (control id,
// topic) pairs ended by a 0 id, a refresh hook, and the window that hosts a
// page's sheet. Kept in the library's namespace: the printer notebook module
// has a page base of the same name in the same process.
#include "framework/dialog.h"
#include "framework/property_sheet.h"

namespace wf::netui {

constexpr const char* kNetworkHelpFile = "NETWORK.HLP";
// "NETWORK.HLP" in the directory of the application's help file.
CString networkHelpPath();

class CWFDialog : public CDialog {
  DECLARE_DYNCREATE(CWFDialog)
 public:
  explicit CWFDialog(int templateId = 0, CWnd* parent = nullptr);
  ~CWFDialog() override;

  virtual void UpdateDlg(int what);
  // Null in the base: help is still asked for and shows no topic.
  virtual const DWORD* GetHelpIDs();

  // Adds the context-help style before the framework's initialisation.
  BOOL OnInitDialog() override;
  LRESULT OnHelp(WPARAM wParam, LPARAM helpInfo);
  LRESULT OnHelpContextMenu(WPARAM window, LPARAM lParam);
  // One topic as a popup beside control `controlId`.
  void HelpButton(int controlId, int topic);
  // The parent of the window's parent.
  CWnd* GetDlgWnd();

  DECLARE_MESSAGE_MAP()
};

class CWFPropertyPage : public CPropertyPage {
  DECLARE_DYNCREATE(CWFPropertyPage)
 public:
  // The caption comes from the template.
  explicit CWFPropertyPage(int templateId = 0);
  ~CWFPropertyPage() override;

  virtual void UpdateDlg(int what);
  virtual const DWORD* GetHelpIDs();

  LRESULT OnHelp(WPARAM wParam, LPARAM helpInfo);
  LRESULT OnHelpContextMenu(WPARAM window, LPARAM lParam);
  // The window that owns the property sheet.
  CWnd* GetDlgWnd();

  DECLARE_MESSAGE_MAP()
};

}  // namespace wf::netui
