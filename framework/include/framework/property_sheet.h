#pragma once
// Property sheets: a tab row over pages built from dialog templates. A page's
// window is made the first time the page is shown, so a page never shown has
// no window and its handlers never run. Modal sheets (DoModal) carry OK,
// Cancel, Apply Now and Help; a modeless sheet (Create) has no buttons and
// usually lives as the child of a frame. On the GUI thread only.
//
// Leaving a page asks its OnKillActive, which may refuse and keep it; showing
// one calls its OnSetActive. OK and Apply Now ask the active page to let go,
// then run OnApply on every page that has a window, in page order; a page
// that refuses becomes active and the sheet stays. Cancel runs OnCancel on
// every page that has a window. Apply Now is enabled while a page is marked
// by SetModified and cleared once the pages applied. A derived sheet whose
// message map handles IDOK, ID_APPLY_NOW or IDCANCEL does that work itself.
#include <vector>

#include "framework/dialog.h"

constexpr int ID_APPLY_NOW = 0x3021;
constexpr int IDHELP = 9;

class CPropertySheet;

class CPropertyPage : public CDialog {
  DECLARE_DYNAMIC(CPropertyPage)
 public:
  // The tab shows string `captionId`, or without one the template's caption.
  explicit CPropertyPage(UINT templateId = 0, UINT captionId = 0);

  // Each time the page becomes active; on every activation after the
  // first it shows the members again (UpdateData(FALSE)).
  virtual BOOL OnSetActive();
  // Before the page is left or applied: reads and checks the controls
  // (UpdateData(TRUE)). FALSE keeps the page active.
  virtual BOOL OnKillActive();
  // OK or Apply Now: calls OnOK. FALSE keeps the sheet open on this page.
  virtual BOOL OnApply();
  // The page's part of OK and Apply Now; nothing by default.
  void OnOK() override;
  // Cancel, for a page that has a window; nothing by default.
  void OnCancel() override;

  // Marks the page as changed (or not): Apply Now follows the marks.
  void SetModified(BOOL changed = TRUE);

  // The text of its tab.
  CString GetCaption() const;

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  BOOL PreCreateWindow(CREATESTRUCT& cs) override;

 private:
  friend class CPropertySheet;
  CPropertySheet* sheet_ = nullptr;
  UINT captionId_ = 0;
  BOOL modified_ = FALSE;
  bool activatedBefore_ = false;
};

class CPropertySheet : public CWnd {
  DECLARE_DYNAMIC(CPropertySheet)
 public:
  CPropertySheet();
  // `selectPage` is the page shown first.
  explicit CPropertySheet(UINT captionId, CWnd* parent = nullptr, UINT selectPage = 0);
  explicit CPropertySheet(LPCSTR caption, CWnd* parent = nullptr, UINT selectPage = 0);
  ~CPropertySheet() override;

  // The sheet never owns its pages.
  void AddPage(CPropertyPage* page);
  // Takes the page out of the sheet and destroys its window; the page
  // object stays the caller's. The next page becomes active when it was.
  void RemovePage(int index);
  void RemovePage(CPropertyPage* page) { RemovePage(GetPageIndex(page)); }
  int GetPageCount() const { return static_cast<int>(pages_.size()); }
  CPropertyPage* GetPage(int index) const;            // null for a bad index
  int GetPageIndex(const CPropertyPage* page) const;  // -1 when not here
  CPropertyPage* GetActivePage() const { return GetPage(GetActiveIndex()); }
  // Before the window exists: the page that will show first.
  int GetActiveIndex() const { return active_; }
  // FALSE when the index is bad or the active page refused to let go.
  BOOL SetActivePage(int index);
  BOOL SetActivePage(CPropertyPage* page) { return SetActivePage(GetPageIndex(page)); }

  // IDOK or IDCANCEL; -1 when there is no page or a template is missing.
  virtual INT_PTR DoModal();
  // Modeless. With WS_CHILD in `style` the sheet is a child of `parent`; the
  // default style is a captioned popup.
  virtual BOOL Create(CWnd* parent = nullptr, DWORD style = static_cast<DWORD>(-1), DWORD exStyle = 0);
  // Ends DoModal's loop with `result`.
  void EndDialog(int result);

  // The height the sheet leaves below its pages: the button row of a modal
  // sheet, a margin in a modeless one. A host that puts its own line there
  // shortens the sheet by it.
  int GetBottomMargin() const;

  CWnd* m_pParentWnd = nullptr;
  CString m_strCaption;

  // Makes the tab row, the buttons of a modal sheet and the first page.
  int OnCreate(LPCREATESTRUCT cs);
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  struct State;  // inside the layer

 protected:
  // Asks the active page to let go (OnKillActive); false keeps it.
  bool leaveActivePage();

 private:
  friend class CPropertyPage;
  bool buildWindow(CWnd* parent, DWORD style, DWORD exStyle, bool modal);
  bool showPage(int index);  // makes the window on first show
  bool applyPages();
  void cancelPages();
  void updateApplyButton();

  std::vector<CPropertyPage*> pages_;
  int active_ = 0;
  std::unique_ptr<State> state_;
  DECLARE_MESSAGE_MAP()
};
