#include "app/main_frame.h"

#include "app/cfg_sheet.h"
#include "app/wf_app.h"
#include "app/window_list.h"
#include "common/app_services.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "framework/dc.h"
#include "framework/gdi.h"
#include "platform/window_messages.h"

namespace {

constexpr UINT WM_SETFOCUS_ = 0x0007;
constexpr UINT kExit = 57665;
constexpr UINT kRefreshAll = 32819;
constexpr UINT kTopmostFlags = SWP_NOMOVE | SWP_NOSIZE;
constexpr UINT kIconNormal = 102;
constexpr UINT kIconAlert = 132;
constexpr UINT kLookingForPrinters = 65;
constexpr UINT kPrintersNotWatched = 172;
constexpr UINT kSavingPrinters = 1117;
const UINT kToolbarButtons[] = {1100, 1101, 1102, 1103, ID_SEPARATOR, 32786, ID_SEPARATOR};
const UINT kIndicators[] = {ID_SEPARATOR, WF_COUNT_PANE};

CWFApp* theApp() {
  return WFGetWFApp();
}

CWFWindowList* windowList() {
  CWFApp* app = theApp();
  return app ? app->GetWFWindowList() : nullptr;
}

CWFPrinterList* frameMainPrinterList() {
  CWFApp* app = theApp();
  return app ? app->GetPrinterList() : nullptr;
}

}  // namespace

BEGIN_MESSAGE_MAP(CMainFrame, CFrameWnd)
ON_NOTIFY(LVN_GETDISPINFO, WF_VIEW_ID, OnGetDispInfo)
ON_NOTIFY(LVN_COLUMNCLICK, WF_VIEW_ID, OnColumnClick)
ON_NOTIFY(LVN_ENDLABELEDIT, WF_VIEW_ID, OnEndLabelEdit)
ON_NOTIFY(LVN_BEGINLABELEDIT, WF_VIEW_ID, OnBeginLabelEdit)
ON_WM_SYSCOMMAND()
ON_WM_WINDOWPOSCHANGED()
ON_MESSAGE(WM_SETMESSAGESTRING, OnSetMessageString)
ON_MESSAGE(WM_WF_PREVINSTANCE, OnPrevInstance)
ON_MESSAGE(WM_WF_PRIVATE_OPENQUEUED, OnOpenQueuedWindows)
ON_MESSAGE(WM_WF_PRIVATE_PRIMARYGONE, OnPrimaryGone)
ON_MESSAGE(WM_WF_ADDPRINTER, OnAddPrinter)
ON_MESSAGE(WM_WF_ENUMCOMPLETE, OnEnumComplete)
ON_MESSAGE(WM_WF_SELECTITEM, OnSelectItem)
ON_MESSAGE(WM_WF_ENUMALLDONE, OnEnumAllDone)
ON_MESSAGE(WM_WF_RESORT, OnResort)
ON_MESSAGE(WM_WF_FLASH, OnFlash)
ON_MESSAGE(WM_WF_PRIVATE_REMOVEPRINTER, OnRemovePrinterSent)
ON_MESSAGE(WM_WF_PRIVATE_REPLACEPRINTER, OnReplacePrinterSent)
ON_MESSAGE(WM_WF_PRIVATE_ANYALERTS, OnAnyAlertsPosted)
ON_MESSAGE(WM_WF_PRIVATE_RESTOREONERROR, OnRestoreOnError)
ON_UPDATE_COMMAND_UI(WF_COUNT_PANE, OnUpdateCount)
ON_UPDATE_COMMAND_UI(kRefreshAll, OnUpdateRefresh)
ON_WM_QUERYENDSESSION()
ON_COMMAND_RANGE(1100, 1103, OnViewMode)
ON_UPDATE_COMMAND_UI_RANGE(1100, 1103, OnUpdateViewMode)
ON_COMMAND(kExit, OnExit)
ON_WM_DESTROY()
ON_COMMAND(kRefreshAll, OnRefreshAll)
ON_WM_TIMER()
ON_WM_SIZE()
ON_MESSAGE(WM_SETFOCUS_, OnSetFocusMessage)
// Network settings and About.
ON_UPDATE_COMMAND_UI(32820, OnUpdateNetSettingsMenu)
ON_UPDATE_COMMAND_UI_RANGE(32821, 32824, OnUpdateNetSetting)
ON_COMMAND_RANGE(32820, 32824, OnNetSetting)
ON_COMMAND(57664, OnAppAbout)
// The printer inventory.
ON_UPDATE_COMMAND_UI(32835, OnUpdateInventory)
// The settings sheet.
ON_COMMAND(32771, OnProperties)
ON_MESSAGE(WM_WF_OPENSETTINGS, OnOpenSettings)
// Menus, windows, bars, sorting and help.
ON_COMMAND(57666, OnHelpIndex)
ON_COMMAND(57667, OnHelpOnHelp)
ON_COMMAND(57669, OnHelpFinder)
ON_COMMAND(57668, OnContextHelp)
ON_COMMAND(57670, OnHelpIndex)
ON_COMMAND_RANGE(32807, 32815, OnActivateWindow)
ON_UPDATE_COMMAND_UI(32789, OnUpdateTransfer)
ON_UPDATE_COMMAND_UI(32790, OnUpdateTransfer)
ON_UPDATE_COMMAND_UI(32834, OnUpdateSavePrinters)
ON_COMMAND(32834, OnSavePrinters)
ON_UPDATE_COMMAND_UI(32804, OnUpdateColumns)
ON_COMMAND_RANGE(59392, 59393, OnToggleBar)
ON_WM_RBUTTONDOWN()
ON_COMMAND_RANGE(32799, 32803, OnSortBy)
ON_UPDATE_COMMAND_UI_RANGE(32799, 32803, OnUpdateSortBy)
ON_COMMAND_RANGE(32828, 32831, OnSortBy)
ON_UPDATE_COMMAND_UI_RANGE(32828, 32831, OnUpdateSortBy)
ON_UPDATE_COMMAND_UI(32807, OnUpdateWindowMenu)
ON_COMMAND(32792, OnCloseAll)
ON_COMMAND(32787, OnMinimizeAll)
ON_UPDATE_COMMAND_UI(32791, OnUpdateDelete)
// The commands on windows themselves.
ON_COMMAND(32786, OnNewWindow)
ON_COMMAND(32805, OnRenameWindow)
ON_COMMAND(32818, OnFilterPrinters)
ON_COMMAND(32804, OnColumns)
ON_COMMAND(32816, OnMoreWindows)
END_MESSAGE_MAP()

CMainFrame::CMainFrame(const CString& name) : m_name(name) {
  m_bAutoMenuEnable = FALSE;
}

CMainFrame::~CMainFrame() = default;

CMainFrame* CMainFrame::Make(const CString& name) {
  auto* frame = new CMainFrame(name);
  bool destroyed = false;
  frame->m_destroyedFlag = &destroyed;
  const BOOL created = frame->createFrame();
  if (destroyed) return nullptr;  // the window existed and took its object with it
  frame->m_destroyedFlag = nullptr;
  if (!created) {
    if (frame->GetSafeHwnd()) {
      frame->DestroyWindow();  // deletes the object
    } else {
      delete frame;
    }
    return nullptr;
  }
  return frame;
}

BOOL CMainFrame::createFrame() {
  if (!Create("WrenfieldMainFrame", "", WF_FRAME_STYLE, rectDefault, nullptr, MAKEINTRESOURCE(128)))
    return FALSE;
  LoadAccelTable(MAKEINTRESOURCE(128));
  CWFWindowList* windows = windowList();
  CWFApp* app = theApp();
  // The walk looks the window up by title, so it starts once the list holds it.
  bool walkSaved = false;
  if (HasSavedWindow(FALSE)) {
    SetTitle(m_name);  // until a saved caption replaces it
    if (app && app->GetStartupEnumAll()) {
      app->SetFullEnumWanted(TRUE);
      m_filterAdded = TRUE;
    }
    RestoreFromRegistry();
    if (HasSavedWindow(TRUE)) {
      if (app) app->SetFullEnumWanted(FALSE);
      walkSaved = true;
    }
  } else if (m_name == "wrenfield") {
    m_savePrinters = TRUE;
    m_maximised = FALSE;
    m_minimised = FALSE;
    CString title;
    title.LoadString(129);
    SetTitle(title);
    if (app) app->SetFullEnumWanted(TRUE);
  } else {
    // A new name: the user chooses what the window shows before it shows.
    SetTitle(m_name);
    OnFilterPrinters();
  }
  if (windows) windows->Add(this);
  if (walkSaved) StartSavedPrinterEnum();
  if (app && app->GetWFTopmost()) SetWindowPos(HWND_TOPMOST, 0, 0, 0, 0, kTopmostFlags);
  if (!app || !app->GetSplashShowing()) {
    ShowWindow(SW_SHOW);
    UpdateWindow();
  }
  if (enumerating()) SetMessageText(kLookingForPrinters);
  return TRUE;
}

BOOL CMainFrame::PreCreateWindow(CREATESTRUCT& cs) {
  if (!CFrameWnd::PreCreateWindow(cs)) return FALSE;
  cs.lpszClass = "WrenfieldMainFrame";
  return TRUE;
}

BOOL CMainFrame::OnCreateClient(LPCREATESTRUCT, CCreateContext*) {
  if (!m_toolBar.Create(this, 0x50002800 | CBRS_TOOLTIPS | CBRS_FLYBY, AFX_IDW_TOOLBAR) ||
      !m_toolBar.LoadToolBar(128) || !m_toolBar.SetButtons(kToolbarButtons, std::size(kToolbarButtons)))
    return FALSE;
  if (!m_statusBar.Create(this, 0x50008200, AFX_IDW_STATUS_BAR) ||
      !m_statusBar.SetIndicators(kIndicators, std::size(kIndicators)))
    return FALSE;
  CString count;
  count.LoadString(170);
  CClientDC dc(this);
  TEXTMETRIC metrics{};
  dc.GetTextMetrics(&metrics);
  const int average = metrics.tmAveCharWidth > 0 ? metrics.tmAveCharWidth : 6;
  m_statusBar.SetPaneInfo(1, WF_COUNT_PANE, SBPS_STRETCH, (count.GetLength() + 6) * average);
  auto* view = new CWFListView;
  CWFApp* app = theApp();
  RECT space{};
  RepositionBars(AFX_IDW_CONTROLBAR_FIRST, AFX_IDW_CONTROLBAR_LAST, WF_VIEW_ID, reposQuery, &space);
  if (!view->CreateView(this, space, app ? app->GetNetsAvailable() : 0)) {
    delete view;
    return FALSE;
  }
  m_pView = view;
  for (int column = 0; column < WF_COLUMNS; ++column) m_columnWidths[column] = view->GetColumnWidth(column);
  return TRUE;
}

void CMainFrame::PostNcDestroy() {
  if (m_destroyedFlag) *m_destroyedFlag = true;
  delete m_pView;
  m_pView = nullptr;
  CFrameWnd::PostNcDestroy();
}

void CMainFrame::SetTitle(const CString& title) {
  if (title.IsEmpty()) {
    CString product;
    product.LoadString(1);
    SetWindowText(product);
  } else {
    SetWindowText(title);
  }
}

CString CMainFrame::GetTitle() const {
  CString title;
  GetWindowText(title);
  return title;
}

bool CMainFrame::enumerating() const {
  CWFApp* app = theApp();
  return app && (app->GetGlobalEnumState() || app->GetEnumSpecCount() > 0);
}

void CMainFrame::refreshIdlePrompt() {
  SendMessage(WM_SETMESSAGESTRING, AFX_IDS_IDLEMESSAGE, 0);
}

void CMainFrame::LeaveWindowList() {
  CWFApp* app = theApp();
  CWFWindowList* windows = windowList();
  if (!app || !windows) return;
  if (app->m_pMainWnd == this) {
    windows->SetNewMainWnd(this);
    if (!app->m_pMainWnd) {
      // The last window stays the main window: its end ends the program.
      app->m_pMainWnd = this;
    } else {
      app->MoveTimers(this, app->m_pMainWnd);
    }
  }
  windows->Remove(this, CWFWindowList::REMOVE_ONLY);
}

void CMainFrame::AddPassingPrinters() {
  CWFPrinterList* list = frameMainPrinterList();
  if (!list || !m_pView) return;
  for (CWFPrinterIcon* icon : list->GetIcons()) {
    // The snapshot may hold icons a replacing enumeration has freed since.
    if (!list->IsInList(icon)) continue;
    const BOOL passes = FilterTest(icon);
    icon->ThreadUnlock();
    if (passes) m_pView->AddPrinter(icon);
  }
  m_pView->Sort();
}

BOOL CMainFrame::LacksPrinter(CWFPrinterIcon* icon) const {
  return !m_pView || m_pView->GetItemCount() == 0 || m_pView->FindItem(icon) < 0;
}

void CMainFrame::UpdateAlertIcon() {
  CWFApp* app = theApp();
  CWFPrinterList* list = frameMainPrinterList();
  if (!app || !list || !m_pView) return;
  bool hardError = false;
  for (CWFPrinterIcon* icon : m_pView->Printers()) {
    if (!app->AnyWindowsLeft()) return;
    CWFPrinterIcon* held = list->FindPrinterIcon(icon);
    if (!held) continue;
    hardError = held->GetAnyHardErrors();
    held->ThreadUnlock();
    if (hardError) break;
  }
  if (hardError) {
    m_normalIcon = FALSE;
    PostMessage(WM_SETICON, 0, reinterpret_cast<LPARAM>(LoadIcon(nullptr, kIconAlert)));
    if (!m_flashing) {
      app->AddToFlashList(this);
      m_flashing = TRUE;
    }
    return;
  }
  if (m_flashing) {
    app->RemoveFromFlashList(this);
    m_flashing = FALSE;
    m_normalIcon = TRUE;
    PostMessage(WM_SETICON, 0, reinterpret_cast<LPARAM>(LoadIcon(nullptr, kIconNormal)));
  }
}

void CMainFrame::SelectFirstItem(int index) {
  if (!m_pView || m_pView->GetSelectedCount() > 0) return;
  m_pView->SetItemState(index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  m_pView->Update(index);
}

BOOL CMainFrame::OnCmdMsg(UINT id, int code, void* extra, AFX_CMDHANDLERINFO* handlerInfo) {
  // The view has the first say, as a frame's active view would.
  if (m_pView && m_pView->OnCmdMsg(id, code, extra, handlerInfo)) return TRUE;
  return CFrameWnd::OnCmdMsg(id, code, extra, handlerInfo);
}

void CMainFrame::OnGetDispInfo(NMHDR* header, LRESULT* result) {
  if (m_pView) m_pView->OnGetDispInfo(header, result);
}

void CMainFrame::OnColumnClick(NMHDR* header, LRESULT* result) {
  if (m_pView) m_pView->OnColumnClick(header, result);
}

void CMainFrame::OnBeginLabelEdit(NMHDR* header, LRESULT* result) {
  if (m_pView) m_pView->OnBeginLabelEdit(header, result);
}

void CMainFrame::OnEndLabelEdit(NMHDR* header, LRESULT* result) {
  if (m_pView) m_pView->OnEndLabelEdit(header, result);
}

void CMainFrame::OnSysCommand(UINT id, LPARAM lParam) {
  if ((id & 0xFFF0) == SC_KEYMENU) {
    // Keyboard access opens the focused printer's menu, never the menu bar.
    if (m_pView) m_pView->FocusedPrinterMenu();
    return;
  }
  if ((id & 0xFFF0) == SC_CLOSE) {
    SetMessageText(kSavingPrinters);
    if (CWnd* bar = GetMessageBar()) bar->UpdateWindow();
    LeaveWindowList();
    SaveToRegistry();
  }
  CFrameWnd::OnSysCommand(id, lParam);
}

void CMainFrame::OnWindowPosChanged(WINDOWPOS* pos) {
  if (IsZoomed()) {
    m_maximised = TRUE;
    m_minimised = FALSE;
  } else if (IsIconic()) {
    m_maximised = FALSE;
    m_minimised = TRUE;
  } else {
    m_maximised = FALSE;
    m_minimised = FALSE;
    m_normal = {pos->x, pos->y, pos->x + pos->cx, pos->y + pos->cy};
  }
  if (m_pView && !(pos->flags & SWP_NOSIZE)) m_pView->Reposition(FALSE);
  CFrameWnd::OnWindowPosChanged(pos);
}

LRESULT CMainFrame::OnSetMessageString(WPARAM id, LPARAM text) {
  CWFApp* app = theApp();
  if (id == AFX_IDS_IDLEMESSAGE && app && app->IsPrimaryLost())
    return CFrameWnd::OnSetMessageString(kPrintersNotWatched, 0);
  if (id == AFX_IDS_IDLEMESSAGE && enumerating())
    return CFrameWnd::OnSetMessageString(kLookingForPrinters, 0);
  return CFrameWnd::OnSetMessageString(id, text);
}

LRESULT CMainFrame::OnPrevInstance(WPARAM, LPARAM) {
  // The name is read while the second start waits (the next start writes
  // over it); the window opens after the answer, so the sender never waits
  // for its filter dialog.
  CWFApp* app = theApp();
  if (!app) return 0;
  app->QueueWindowName(app->FindPrevInstFile());
  PostMessage(WM_WF_PRIVATE_OPENQUEUED);
  return 0;
}

LRESULT CMainFrame::OnOpenQueuedWindows(WPARAM, LPARAM) {
  if (CWFApp* app = theApp()) app->OpenQueuedWindows();
  return 0;
}

LRESULT CMainFrame::OnPrimaryGone(WPARAM, LPARAM) {
  if (CWFApp* app = theApp()) app->PrimaryGone();
  return 0;
}

LRESULT CMainFrame::OnAddPrinter(WPARAM, LPARAM lParam) {
  auto* icon = reinterpret_cast<CWFPrinterIcon*>(lParam);
  if (m_pView && LacksPrinter(icon)) {
    bool add = true;
    if (m_filterAdded) {
      // Compared by pointer only: the icon may be gone since it was posted.
      CWFPrinterList* list = frameMainPrinterList();
      add = list && list->IsInList(icon);
      if (add) {
        add = FilterTest(icon);
        icon->ThreadUnlock();
      }
    }
    if (add) m_pView->AddPrinter(icon);
    if (m_pView->GetItemCount() == 1) SelectFirstItem(0);
  }
  refreshIdlePrompt();
  return 0;
}

LRESULT CMainFrame::OnEnumComplete(WPARAM, LPARAM) {
  AddPassingPrinters();
  if (CWFApp* app = theApp()) app->RearmAlertsAfterRecovery();
  refreshIdlePrompt();
  return 0;
}

LRESULT CMainFrame::OnSelectItem(WPARAM index, LPARAM) {
  // -1 would select every item.
  if (!m_pView || index >= static_cast<WPARAM>(m_pView->GetItemCount())) return 0;
  SelectFirstItem(static_cast<int>(index));
  return 0;
}

LRESULT CMainFrame::OnEnumAllDone(WPARAM, LPARAM) {
  m_filterAdded = FALSE;
  return 0;
}

LRESULT CMainFrame::OnResort(WPARAM, LPARAM) {
  if (m_pView) m_pView->Sort();
  return 0;
}

LRESULT CMainFrame::OnFlash(WPARAM, LPARAM) {
  PostMessage(WM_SETICON, 0,
              reinterpret_cast<LPARAM>(LoadIcon(nullptr, m_normalIcon ? kIconAlert : kIconNormal)));
  m_normalIcon = !m_normalIcon;
  return 0;
}

LRESULT CMainFrame::OnRemovePrinterSent(WPARAM printer, LPARAM) {
  if (m_pView) m_pView->RemovePrinter(static_cast<USHORT>(printer));
  return 0;
}

LRESULT CMainFrame::OnReplacePrinterSent(WPARAM, LPARAM icons) {
  auto* pair = reinterpret_cast<std::pair<CWFPrinterIcon*, CWFPrinterIcon*>*>(icons);
  if (m_pView && pair) m_pView->ReplacePrinter(pair->first, pair->second);
  return 0;
}

LRESULT CMainFrame::OnAnyAlertsPosted(WPARAM, LPARAM) {
  UpdateAlertIcon();
  return 0;
}

LRESULT CMainFrame::OnRestoreOnError(WPARAM, LPARAM) {
  if (IsMinimised()) SendMessage(WM_SYSCOMMAND, SC_RESTORE, WF_RESTORE_FROM_ICON);
  SetForegroundWindow();
  return 0;
}

void CMainFrame::OnUpdateCount(CCmdUI* ui) {
  CString format;
  format.LoadString(170);
  CString text;
  text.Format(format, m_pView ? m_pView->GetItemCount() : 0);
  ui->SetText(text);
  ui->Enable(TRUE);
}

void CMainFrame::OnUpdateRefresh(CCmdUI* ui) {
  CWFApp* app = theApp();
  ui->Enable(app && !app->GetGlobalEnumState());
}

void CMainFrame::OnProperties() {
  CCfgPs::Show(this, 0);
  if (m_pView) m_pView->SetFocus();
  Invalidate();
}

LRESULT CMainFrame::OnOpenSettings(WPARAM, LPARAM page) {
  CWFApp* app = theApp();
  CCfgPs::Show(app ? app->GetMainWindow() : this, static_cast<int>(page));
  if (m_pView) m_pView->SetFocus();
  return 0;
}

void CMainFrame::OnUpdateInventory(CCmdUI* ui) {
  CWFApp* app = theApp();
  ui->Enable(app && !app->GetPrinterList()->IsEmpty() && !enumerating() && !app->IsPrinterInventoryActive());
}

BOOL CMainFrame::OnQueryEndSession() {
  if (!CFrameWnd::OnQueryEndSession()) return FALSE;
  SendMessage(WM_CLOSE);
  return TRUE;
}

void CMainFrame::OnExit() {
  if (CWFApp* app = theApp()) app->Exit();
}

void CMainFrame::OnRefreshAll() {
  if (CWFApp* app = theApp()) app->GlobalReEnum();
}

void CMainFrame::OnDestroy() {
  LeaveWindowList();
  CFrameWnd::OnDestroy();
}

void CMainFrame::OnTimer(UINT_PTR id) {
  CWFApp* app = theApp();
  if (app && id == WF_BLINK_TIMER) app->ServiceBlinks();
  if (app && id == WF_FLASH_TIMER) app->ServiceFlash();
  if (app && id == WF_REGISTER_TIMER) app->RetryRegistration();
  CFrameWnd::OnTimer(id);
}

void CMainFrame::OnSize(UINT type, int cx, int cy) {
  CFrameWnd::OnSize(type, cx, cy);
  if (m_pView) m_pView->Reposition(FALSE);
}

LRESULT CMainFrame::OnSetFocusMessage(WPARAM, LPARAM) {
  if (m_pView) m_pView->SetFocus();
  return 0;
}

void CMainFrame::OnViewMode(UINT id) {
  if (!m_pView) return;
  static const int kModes[] = {0, 2, 3, 1};  // 1100 Large, 1101 Small, 1102 List, 1103 Details
  const int mode = kModes[id - 1100];
  if (m_pView->GetViewMode() == 1) {
    for (int column = 0; column < WF_COLUMNS; ++column)
      m_columnWidths[column] = m_pView->GetColumnWidth(column);
  }
  m_pView->SetViewMode(mode);
  if (mode == 1) {
    for (int column = 0; column < WF_COLUMNS; ++column)
      m_pView->SetColumnWidth(column, m_columnWidths[column] & 0xFFFF);
  }
  m_pView->ResetTexts();
}

void CMainFrame::OnUpdateViewMode(CCmdUI* ui) {
  static const int kModes[] = {0, 2, 3, 1};
  ui->SetRadio(m_pView && m_pView->GetViewMode() == kModes[ui->m_nID - 1100]);
}
