#pragma once
// CMainFrame, the printer window: menu bar, toolbar, status bar and the
// printer list view. It deletes itself when its window is destroyed.
#include <atomic>

#include "app/list_view.h"
#include "app/window_filter.h"
#include "framework/control_bars.h"
#include "framework/frame_wnd.h"

class CWFPrinterIcon;
class CMenu;

// Sent by other threads so the window's view changes on its own thread.
constexpr UINT WM_WF_PRIVATE_REMOVEPRINTER = 0x7F01;
constexpr UINT WM_WF_PRIVATE_REPLACEPRINTER = 0x7F02;
constexpr UINT WM_WF_PRIVATE_ANYALERTS = 0x7F03;
constexpr UINT WM_WF_PRIVATE_RESTOREONERROR = 0x7F04;
constexpr UINT WM_WF_PRIVATE_OPENQUEUED = 0x7F05;
constexpr UINT WM_WF_PRIVATE_PRIMARYGONE = 0x7F06;

// SC_RESTORE's lParam when a window is restored from its icon.
constexpr LPARAM WF_RESTORE_FROM_ICON = static_cast<LPARAM>(0xFFFF0000);

constexpr UINT WF_COUNT_PANE = 170;
constexpr DWORD WF_FRAME_STYLE = 0xCF0000;

class CMainFrame : public CFrameWnd {
 public:
  explicit CMainFrame(const CString& name);
  ~CMainFrame() override;

  // A new printer window, or null when its window could not be made. A
  // window that existed deletes its object when destroyed; only an object
  // whose window never existed is deleted here, so each goes exactly once.
  static CMainFrame* Make(const CString& name);

  CString GetName() const { return m_name; }
  void SetTitle(const CString& title);
  CString GetTitle() const;
  CWFListView* GetView() const { return m_pView; }
  WINDOWFILTER& GetFilter() { return m_filter; }
  BOOL IsMinimised() const { return m_minimised; }

  // Leaves the window list, handing the main window over first.
  void LeaveWindowList();
  BOOL FilterTest(CWFPrinterIcon* icon) { return PassesFilter(m_filter, icon); }
  void AddPassingPrinters();
  void UpdateAlertIcon();
  void SelectFirstItem(int index);
  BOOL LacksPrinter(CWFPrinterIcon* icon) const;

  // Menu 130's popup at `position` at a screen point; position 0 has the
  // view mode checked.
  void WindowContextMenu(int position, CPoint screen);
  // The window's subkey under "WFWindows" (saved_windows.cpp).
  BOOL HasSavedWindow(BOOL withPrinters) const;
  void SaveToRegistry();
  void RestoreFromRegistry();
  void StartSavedPrinterEnum();
  static void RenameInRegistry(const CString& oldTitle, const CString& newTitle);
  BOOL GetSavePrinters() const { return m_savePrinters; }

  BOOL PreCreateWindow(CREATESTRUCT& cs) override;
  BOOL OnCmdMsg(UINT id, int code, void* extra, AFX_CMDHANDLERINFO* handlerInfo) override;
  // A menu or accelerator command nothing handled goes to the selected printers.
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

 protected:
  BOOL OnCreateClient(LPCREATESTRUCT cs, CCreateContext* context) override;
  void PostNcDestroy() override;

  void OnGetDispInfo(NMHDR* header, LRESULT* result);
  void OnColumnClick(NMHDR* header, LRESULT* result);
  void OnBeginLabelEdit(NMHDR* header, LRESULT* result);
  void OnEndLabelEdit(NMHDR* header, LRESULT* result);
  void OnSysCommand(UINT id, LPARAM lParam);
  void OnWindowPosChanged(WINDOWPOS* pos);
  LRESULT OnSetMessageString(WPARAM id, LPARAM text);
  LRESULT OnPrevInstance(WPARAM, LPARAM);
  LRESULT OnOpenQueuedWindows(WPARAM, LPARAM);
  LRESULT OnPrimaryGone(WPARAM, LPARAM);
  LRESULT OnAddPrinter(WPARAM, LPARAM icon);
  LRESULT OnEnumComplete(WPARAM, LPARAM);
  LRESULT OnSelectItem(WPARAM index, LPARAM);
  LRESULT OnEnumAllDone(WPARAM, LPARAM);
  LRESULT OnResort(WPARAM, LPARAM);
  LRESULT OnFlash(WPARAM, LPARAM);
  LRESULT OnRemovePrinterSent(WPARAM printer, LPARAM except);
  LRESULT OnReplacePrinterSent(WPARAM, LPARAM icons);
  LRESULT OnAnyAlertsPosted(WPARAM, LPARAM);
  LRESULT OnRestoreOnError(WPARAM, LPARAM);
  void OnUpdateCount(CCmdUI* ui);
  void OnUpdateRefresh(CCmdUI* ui);
  void OnUpdateInventory(CCmdUI* ui);
  void OnProperties();
  LRESULT OnOpenSettings(WPARAM, LPARAM page);
  BOOL OnQueryEndSession();
  void OnExit();
  void OnRefreshAll();
  void OnDestroy();
  void OnTimer(UINT_PTR id);
  void OnSize(UINT type, int cx, int cy);
  LRESULT OnSetFocusMessage(WPARAM, LPARAM);
  void OnViewMode(UINT id);
  void OnUpdateViewMode(CCmdUI* ui);
  // The network settings commands and the About box (main_frame_net.cpp).
  void OnUpdateNetSettingsMenu(CCmdUI* ui);
  void OnUpdateNetSetting(CCmdUI* ui);
  void OnNetSetting(UINT id);
  void OnAppAbout();
  // Menus, windows, bars, sorting and help (main_frame_menus.cpp).
  void OnRButtonDown(UINT flags, CPoint point);
  void OnHelpIndex();
  void OnHelpOnHelp();
  void OnHelpFinder();
  void OnContextHelp();
  void OnActivateWindow(UINT id);
  void OnUpdateWindowMenu(CCmdUI* ui);
  void OnCloseAll();
  void OnMinimizeAll();
  void OnToggleBar(UINT id);
  void OnSortBy(UINT id);
  void OnUpdateSortBy(CCmdUI* ui);
  void OnUpdateTransfer(CCmdUI* ui);
  void OnUpdateSavePrinters(CCmdUI* ui);
  void OnSavePrinters();
  void OnUpdateColumns(CCmdUI* ui);
  void OnUpdateDelete(CCmdUI* ui);
  // The commands on windows themselves (main_frame_windows.cpp).
  void OnNewWindow();
  void OnRenameWindow();
  void OnFilterPrinters();
  void OnColumns();
  void OnMoreWindows();
  DECLARE_MESSAGE_MAP()

 private:
  bool enumerating() const;
  // The menu bar's popup whose first item is Properties; null when none.
  CMenu* configurePopup() const;
  void refreshIdlePrompt();
  void focusView();

  CWFListView* m_pView = nullptr;
  RECT m_normal{};
  WINDOWFILTER m_filter;
  BOOL m_flashing = FALSE;
  BOOL m_normalIcon = TRUE;
  BOOL m_filterAdded = FALSE;
  BOOL m_savePrinters = FALSE;
  std::atomic<BOOL> m_maximised{FALSE};
  std::atomic<BOOL> m_minimised{FALSE};
  int m_columnWidths[WF_COLUMNS] = {};
  CStatusBar m_statusBar;
  CToolBar m_toolBar;
  BOOL createFrame();

  const CString m_name;
  bool* m_destroyedFlag = nullptr;  // set when the object deletes itself
};
