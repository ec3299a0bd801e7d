#pragma once
// CWFListView, the client of every printer window: one item per printer
// icon the window shows, cells fetched from the icon when drawn. The item
// parameters are mirrored in a locked array, so other threads find and
// traverse a view's printers without touching its widget.
#include <mutex>
#include <vector>

#include "app/window_filter.h"
#include "framework/list_ctrl.h"

class CWFPrinterIcon;
class CWFoidList;
class CMainFrame;
class CPrtInvDlg;
class CMenu;

constexpr UINT WM_WF_UPDATEPRINTER = 1126;
// A test page ended: wParam 1 printed, 0 failed; lParam the printer icon.
constexpr UINT WM_WF_TESTPAGEDONE = 1145;
constexpr UINT WF_VIEW_ID = 100;
constexpr DWORD WF_VIEW_STYLE = 0x50800349;
constexpr int WF_COLUMNS = 9;

// A list control as a frame's view: its notifications reach the frame.
class CListView : public CListCtrl {
 public:
  CListCtrl& GetListCtrl() { return *this; }
};

class CWFListView : public CListView {
 public:
  CWFListView() = default;
  ~CWFListView() override;

  // Child 100 of the frame: image lists, the nine columns, sort column 0.
  BOOL CreateView(CMainFrame* frame, const RECT& rect, UINT networks);

  int AddPrinter(CWFPrinterIcon* icon);
  void ReplacePrinter(CWFPrinterIcon* oldIcon, CWFPrinterIcon* newIcon);
  int RemovePrinter(USHORT printer);
  // Any thread: searches the mirrored parameters.
  int FindItem(USHORT printer) const;
  int FindItem(CWFPrinterIcon* icon) const;
  CWFPrinterIcon* GetPrinterAt(int index) const;
  std::vector<CWFPrinterIcon*> Printers() const;
  void UpdatePrinter(USHORT printer);
  void RemoveFilteredOut(const WINDOWFILTER& filter);
  void RemoveAllPrinters();
  void Sort();
  int SetSortColumn(int column, BOOL sortNow);
  int GetSortColumn() const { return m_sortColumn; }
  BOOL ColumnShown(int column) const { return GetColumnWidth(column) > 0; }
  void ShowColumn(int column, BOOL show);
  int GetViewMode() const { return static_cast<int>(GetStyle() & 3); }
  void SetViewMode(int mode);
  void Reposition(BOOL repaint);
  void ResetTexts();
  // Any thread: the first nonzero result of fn over the items still listed.
  int Traverse(BOOL (*fn)(CWFPrinterIcon*, void*), void* data) const;
  // The same over icons taken from a view earlier: only those still listed.
  static int TraverseIcons(const std::vector<CWFPrinterIcon*>& icons, BOOL (*fn)(CWFPrinterIcon*, void*),
                           void* data);
  CWFoidList* GetViewPrinterList() const;
  int AverageCharWidth();
  CPrtInvDlg* GetInventoryDlg() const { return m_pInventoryDlg; }

  // The focused printer's context menu, at its label (keyboard access).
  void FocusedPrinterMenu();
  // A modeless dialog the view deletes when the dialog's end message names it
  // (WM_WF_QSDONE, WM_WF_INVENTORYDONE); any other pointer is ignored.
  void AdoptDialog(CWnd* dialog);
  // Each selected printer's HandleExtraMenuCmd, in item order.
  void OfferExtraCommand(UINT id);
  BOOL NoSelectedPrinterConnected() const;
  BOOL NoSelectedPrinterAdministered() const;

  // The frame forwards the list control's notifications.
  void OnGetDispInfo(NMHDR* header, LRESULT* result);
  void OnColumnClick(NMHDR* header, LRESULT* result);
  void OnBeginLabelEdit(NMHDR* header, LRESULT* result);
  void OnEndLabelEdit(NMHDR* header, LRESULT* result);

  // The sort order by column of the keys; empty or blank keys last, ties
  // by name, printers gone from the list after all.
  struct SortKey {
    bool present = false;
    CString key;
    CString name;
  };
  static bool SortsBefore(const SortKey& a, const SortKey& b);
  static CString ColumnText(CWFPrinterIcon* icon, int column, BOOL details);

 protected:
  LRESULT OnUpdatePrinter(WPARAM, LPARAM printer);
  void OnDestroy();
  // Copy, move and delete of the selected printers.
  void OnCopyPrinters();
  void OnMovePrinters();
  void OnDeletePrinters();
  // The Printer Inventory dialog, one at a time.
  void OnPrinterInventory();
  LRESULT OnInventoryDone(WPARAM, LPARAM dialog);
  // The alert types monitored for the selected printers.
  void OnAlertSettings();
  // Mouse, keys and the printer commands (list_view_commands.cpp).
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  void OnRButtonDown(UINT flags, CPoint point);
  void OnLButtonDblClk(UINT flags, CPoint point);
  void OnChar(UINT ch, UINT repeat, UINT flags);
  void OnKeyDown(UINT key, UINT repeat, UINT flags);
  void OnOpenView(UINT id);
  void OnRefreshPrinters();
  void OnRenamePrinter();
  void OnHelpOnError();
  void OnQuickSetupSend();
  void OnTestPage();
  void OnDriverProperties();
  void OnDownload(UINT id);
  LRESULT OnTestPageDone(WPARAM printed, LPARAM icon);
  LRESULT OnQuickSetupDone(WPARAM, LPARAM dialog);
  DECLARE_MESSAGE_MAP()

 private:
  int insertAt(int index, CWFPrinterIcon* icon);
  void deleteAt(int index);
  void queueModelWork(USHORT printer, const char* from);
  void queueAlertWork(USHORT printer, const char* from);
  struct TransferRun;
  enum class Answer { go, skip, stop };
  void transfer(bool move);
  CWFPrinterIcon* nextSelected(TransferRun& run) const;
  Answer confirm(TransferRun& run, const CString& message);
  void selectAfterRemoval(int firstSelected);
  std::vector<CWFPrinterIcon*> selectedIcons() const;
  void printerMenu(int item, CPoint screen);
  BOOL releaseDialog(LPARAM dialog);
  void focusFrame();

  CMainFrame* m_frame = nullptr;
  CPrtInvDlg* m_pInventoryDlg = nullptr;  // until its 2490 is handled
  int m_sortColumn = 0;
  mutable std::mutex m_itemsLock;
  std::vector<CWFPrinterIcon*> m_items;  // the item parameters, in item order
  std::vector<CWnd*> m_dialogs;          // adopted modeless dialogs
};
