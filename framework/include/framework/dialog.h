#pragma once
// Dialogs built from dialog templates of the resource libraries: modal
// (DoModal runs a nested message loop until EndDialog) or modeless (Create).
// Controls are placed from dialog units and found by id. Esc is the Cancel
// command (2); Enter is the default button's command while that button is
// enabled. F1, a click after the title bar's help button (DS_CONTEXTHELP)
// and right clicks reach the dialog as WM_HELP and WM_CONTEXTMENU naming the
// control. Data exchange: see ddx.h. On the GUI thread only.
#include <functional>
#include <memory>
#include <vector>

#include "framework/resources.h"
#include "framework/wnd.h"

using INT_PTR = std::intptr_t;

constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT DM_GETDEFID = WM_USER + 0;
constexpr UINT DM_SETDEFID = WM_USER + 1;
constexpr WORD DC_HASDEFID = 0x534B;

// Dialog units to pixels for the templates' font (8-point), as the
// original's base units: 4 horizontal and 8 vertical units per base unit.
constexpr int kDialogBaseUnitX = 6;
constexpr int kDialogBaseUnitY = 13;
inline int dialogUnitsToPixelsX(int units) {
  return units * kDialogBaseUnitX / 4;
}
inline int dialogUnitsToPixelsY(int units) {
  return units * kDialogBaseUnitY / 8;
}

class CDataExchange;

class CDialog : public CWnd {
  DECLARE_DYNAMIC(CDialog)
 public:
  CDialog();
  explicit CDialog(UINT templateId, CWnd* parent = nullptr);
  explicit CDialog(LPCSTR templateName, CWnd* parent = nullptr);
  ~CDialog() override;

  // Modeless, from template `templateId` (0: the one given at construction).
  // FALSE when the template is missing or OnInitDialog's window went away.
  virtual BOOL Create(UINT templateId = 0, CWnd* parent = nullptr);
  // IDOK, IDCANCEL or what EndDialog gave; -1 when the template is missing.
  virtual INT_PTR DoModal();
  // Modal: ends the loop with `result`. Modeless: hides the dialog; the
  // owner destroys it.
  void EndDialog(int result);

  virtual BOOL OnInitDialog();
  virtual void OnOK();      // UpdateData(TRUE), then EndDialog(IDOK)
  virtual void OnCancel();  // EndDialog(IDCANCEL)

  // Runs DoDataExchange; `save` TRUE reads and checks the controls. FALSE
  // when a check failed: its message was shown and its control has the focus.
  BOOL UpdateData(BOOL save = TRUE);
  virtual void DoDataExchange(CDataExchange* dx);

  void CenterWindow(CWnd* alternateOwner = nullptr);
  void GotoDlgCtrl(CWnd* control);
  void SetDefID(UINT id);
  DWORD GetDefID() const;  // MAKELONG(id, DC_HASDEFID)

  void SetDlgItemText(int id, LPCSTR text);
  int GetDlgItemText(int id, CString& text) const;
  void SetDlgItemInt(int id, UINT value, BOOL isSigned = TRUE);
  UINT GetDlgItemInt(int id, BOOL* translated = nullptr, BOOL isSigned = TRUE) const;
  void CheckDlgButton(int id, UINT check);
  UINT IsDlgButtonChecked(int id) const;
  void CheckRadioButton(int firstId, int lastId, int checkId);

  // The member object that DDX_Control makes the control `id`; its text,
  // style and place are kept. FALSE when there is no such control.
  BOOL SubclassDlgItem(UINT id, CWnd* control);

  UINT m_nIDHelp = 0;
  UINT m_nIDTemplate = 0;
  LPCSTR m_lpszTemplateName = nullptr;
  CWnd* m_pParentWnd = nullptr;

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  struct State;  // inside the layer

 protected:
  // Builds the window and its controls from the template; no OnInitDialog yet.
  BOOL createFromTemplate(CWnd* parent, bool modal);

 private:
  std::unique_ptr<State> state_;
  DECLARE_MESSAGE_MAP()
};

namespace wf::fw {

// Test support: a modal dialog made from template `templateId` runs `action`
// right after its OnInitDialog, before its loop starts, so a test can act on
// a dialog that code under test constructs (select, then EndDialog). An empty
// action removes the hook. ScriptedDialogs (scripted_shell.h) installs these.
using DialogAction = std::function<void(CDialog&)>;
void setModalDialogHook(UINT templateId, DialogAction action);
// The innermost modal dialog whose DoModal runs on this thread; null when none.
CDialog* runningModalDialog();

}  // namespace wf::fw
