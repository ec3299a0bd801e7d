#pragma once
// A printer's notebook: a modeless property sheet, the only child of its
// CPrtOpenFrame. It owns the pages the icon added, routes the notebook
// messages (common/notebook_messages.h) to the page of their view, sends
// help on to the active page and disarms the panel alerts when the user
// leaves it on another page. Lives on the GUI thread; others post to it.
#include "framework/property_sheet.h"

class CWFPrinterIcon;
class CPrtOpenFrame;

class CPrtOpenDlg : public CPropertySheet {
  DECLARE_DYNAMIC(CPrtOpenDlg)
 public:
  CPrtOpenDlg(CWFPrinterIcon* icon, UINT startPage, LPCSTR caption, CWnd* parent);
  // The notebook owns every page added to it. Deletes those it still holds
  // (a notebook whose window never existed).
  ~CPrtOpenDlg() override;

  int SetActivePage(int page);
  int GetCurrentPage() const { return GetActiveIndex(); }
  // The status line of the frame around the notebook.
  void UpdateMessage(CString text);
  CString GetMessageA();

  CWFPrinterIcon* GetIcon() const { return m_pIcon; }

  BOOL PreCreateWindow(CREATESTRUCT& cs) override;

  int OnCreate(LPCREATESTRUCT cs);
  void OnDestroy();
  void OnActivate(UINT state, CWnd* other, BOOL minimized);
  LRESULT OnWfUpdatePage(WPARAM, LPARAM);
  LRESULT OnWfOpPanel(WPARAM, LPARAM);
  LRESULT OnWfJobStat(WPARAM, LPARAM);
  LRESULT OnWfResMgmt(WPARAM, LPARAM);
  LRESULT OnWfResQueryDisk(WPARAM, LPARAM);
  LRESULT OnWfMessage(WPARAM, LPARAM text);
  LRESULT OnWfResListingDone(WPARAM, LPARAM);
  LRESULT OnWfResNewItem(WPARAM, LPARAM item);
  LRESULT OnHelp(WPARAM wParam, LPARAM lParam);
  LRESULT OnHelpContextMenu(WPARAM wParam, LPARAM lParam);

 protected:
  // The page of a view command, only when the printer has it and its
  // window exists; null otherwise.
  CPropertyPage* shownPage(UINT view) const;
  CPrtOpenFrame* frame() const;

  void deletePages();

  CWFPrinterIcon* m_pIcon;
  DECLARE_MESSAGE_MAP()
};
