// The icon's image, its right-button menu, the numbering of its notebook's
// pages, opening the notebook (with the network adapter pages) and the
// operator-panel text the pages show.
#include <chrono>
#include <cstdint>
#include <vector>

#include "common/app_services.h"
#include "common/notebook_messages.h"
#include "common/printer_dll.h"
#include "common/printer_icon.h"
#include "framework/menu.h"
#include "framework/shell_calls.h"
#include "icon_records.h"
#include "prtgui/net_ui.h"
#include "prtgui/prt_open_dlg.h"
#include "prtgui/prt_open_frame.h"
#include "prtgui/prt_pages.h"

using wf::prtgui::underIconMutex;

namespace {

constexpr ULONG kPeerToPeerOnly = 0x10;
constexpr ULONG kCorLinkBits = 0x8 | 0x4;
constexpr ULONG kDisconnectedAlert = 100;
// Real milliseconds between looks at a notebook another thread is closing.
constexpr int kCloseRecheckMs = 50;

// Menu entries and their strings.
constexpr UINT kCmdRemoveAlerts = 32784;
constexpr UINT kCmdAlertSettings = 32795;
constexpr UINT kCmdRefresh = 32778;
constexpr UINT kCmdProperties = 32783;
constexpr UINT kCmdQuickSend = 32781;
constexpr UINT kCmdQuickReceive = 32774;
constexpr UINT kCmdMoveUp = 32789;
constexpr UINT kCmdCopy = 32791;
constexpr UINT kCmdMoveDown = 32790;
constexpr UINT kCmdRemove = 32832;
constexpr UINT kCmdDownloadFont = 586;
constexpr UINT kCmdDownloadDemo = 587;
constexpr UINT kCmdDownloadOverlay = 588;

CString resourceText(UINT id) {
  CString text;
  text.LoadString(id);
  return text;
}

bool hasBidiPages(CWFPrinterIcon* icon) {
  return icon->GetBidiActive() && !icon->IsUnknownPrinter();
}

HINSTANCE netUI() {
  WFAppServices* app = WFGetApp();
  return app ? app->GetNetSetDLL() : nullptr;
}

// The network views the notebook holds, in page order: the adapter page
// unless only peer-to-peer answers, then the protocol pages the library
// can make.
std::vector<UINT> networkViews(ULONG protocols, HINSTANCE library) {
  std::vector<UINT> views;
  if (!library) return views;
  if (protocols != kPeerToPeerOnly) views.push_back(WF_VIEW_ADAPTER);
  if (!wf::moduleEntry(library, kNetUIQueryNetPage)) return views;
  if (protocols & kCorLinkBits) views.push_back(WF_VIEW_CORLINK);
  if (protocols & 0x1) views.push_back(WF_VIEW_NETWARE);
  if (protocols & 0x2) views.push_back(WF_VIEW_TCPIP);
  return views;
}

// Calls the factory a query handed out, at once; no page for a null factory or result.
void addFactoryPage(CPropertySheet* sheet, NetUIFactoryProc factory, CWFPrinterIcon* icon) {
  if (!factory) return;
  CObject* made = factory(0, icon);
  if (!made) return;
  if (made->IsKindOf(RUNTIME_CLASS(CPropertyPage)))
    sheet->AddPage(static_cast<CPropertyPage*>(made));
  else
    delete made;
}

}  // namespace

// ---- Image and default view ----

int CWFPrinterIcon::GetIconIndex() {
  int index = IsUnknownPrinter() ? 4 : m_bGhost ? 1 : !GetBidiActive() ? 3 : GetAnyHardErrors() ? 2 : 0;
  if (CWFPrinterDLL* family = GetPrinterDLL()) index += family->GetImageListOffset();
  return index;
}

UINT CWFPrinterIcon::SetDefaultView(UINT view) {
  return m_defaultView = view;
}

// ---- Menu ----

int CWFPrinterIcon::GetRtBtnPopup(CMenu* menu) {
  if (!menu->GetSafeHmenu() && !menu->CreatePopupMenu()) return 0;
  menu->AppendMenu(MF_STRING, WF_VIEW_STATUS, resourceText(509));
  if (!AddOpenViewsToMenu(menu)) menu->DeleteMenu(WF_VIEW_STATUS, MF_BYCOMMAND);
  const bool bidi = hasBidiPages(this);
  if (bidi) {
    menu->AppendMenu(MF_STRING | (GetAnyActiveAlerts() ? MF_ENABLED : MF_GRAYED), kCmdRemoveAlerts,
                     resourceText(514));
    menu->AppendMenu(MF_STRING, kCmdAlertSettings, resourceText(515));
  }
  WFAppServices* app = WFGetApp();
  const bool enumerating = app && app->GetGlobalEnumState();
  menu->AppendMenu(MF_STRING | (enumerating ? MF_GRAYED : MF_ENABLED), kCmdRefresh, resourceText(516));
  menu->AppendMenu(MF_SEPARATOR);
  AddObjManipToMenu(menu);
  menu->AppendMenu(MF_SEPARATOR);
  menu->AppendMenu(MF_STRING, kCmdProperties, resourceText(520));
  // Counted, not summed: a family's entries above move it down.
  const int downloads = static_cast<int>(menu->GetMenuItemCount());
  AddDownloadsToMenu(menu);
  if (bidi) {
    menu->AppendMenu(MF_SEPARATOR);
    menu->AppendMenu(MF_STRING, kCmdQuickSend, resourceText(521));
    menu->AppendMenu(MF_STRING, kCmdQuickReceive, resourceText(522));
  }
  AddExtrasToMenu(menu);
  return downloads;
}

int CWFPrinterIcon::AddOpenViewsToMenu(CMenu* menu) {
  if (m_bGhost) return FALSE;
  if (!GetBidiActive() && !AnyNetworkPages()) return FALSE;
  CMenu views;
  if (!views.CreatePopupMenu()) return FALSE;
  BOOL added = FALSE;
  if (hasBidiPages(this)) {
    views.AppendMenu(MF_STRING, WF_VIEW_STATUS, resourceText(510));
    if (IsUserAdmin()) views.AppendMenu(MF_STRING, WF_VIEW_OPPANEL, resourceText(511));
    views.AppendMenu(MF_STRING, WF_VIEW_STATISTICS, resourceText(512));
    if (m_bPageNumbering) views.AppendMenu(MF_STRING, WF_VIEW_RESOURCES, resourceText(513));
    added = TRUE;
  }
  if (AddExtraOpenTabs(&views)) added = TRUE;
  if (AddNetworkTabs(&views)) added = TRUE;
  if (!added) return FALSE;
  // The entry owns the submenu from here on.
  menu->ModifyMenu(WF_VIEW_STATUS, MF_BYCOMMAND | MF_POPUP, reinterpret_cast<UINT_PTR>(views.Detach()),
                   resourceText(509));
  return TRUE;
}

int CWFPrinterIcon::AddNetworkTabs(CMenu* menu) {
  if (!IsNetworkPrinter()) return FALSE;
  const std::vector<UINT> views = networkViews(GetValidProtocols(), netUI());
  for (UINT view : views) {
    const UINT text = view == WF_VIEW_ADAPTER   ? 591
                      : view == WF_VIEW_CORLINK ? 592
                      : view == WF_VIEW_NETWARE ? 594
                                                : 593;
    menu->AppendMenu(MF_STRING, view, resourceText(text));
  }
  return !views.empty();
}

int CWFPrinterIcon::AnyNetworkPages() {
  if (!IsNetworkPrinter()) return FALSE;
  const bool disconnected = underIconMutex(this, "AlertLock", [&] {
    CWFAlertMsg* first = Get1stActiveAlertMsg();
    return first && first->GetAlert()->GetType() == kDisconnectedAlert;
  });
  if (disconnected || !netUI()) return FALSE;
  return GetValidProtocols() != kPeerToPeerOnly;
}

void CWFPrinterIcon::AddObjManipToMenu(CMenu* menu) {
  WFAppServices* app = WFGetApp();
  WFWindowListServices* windows = app ? app->GetWindowList() : nullptr;
  const UINT moves = windows && windows->GetCount() >= 2 ? MF_ENABLED : MF_GRAYED;
  menu->AppendMenu(MF_STRING | moves, kCmdMoveUp, resourceText(517));
  menu->AppendMenu(MF_STRING, kCmdCopy, resourceText(518));
  menu->AppendMenu(MF_STRING | moves, kCmdMoveDown, resourceText(519));
  menu->AppendMenu(MF_STRING, kCmdRemove, resourceText(580));
}

void CWFPrinterIcon::AddDownloadsToMenu(CMenu* menu) {
  CMenu downloads;
  if (!downloads.CreatePopupMenu()) return;
  downloads.AppendMenu(MF_STRING, kCmdDownloadFont, resourceText(582));
  downloads.AppendMenu(MF_STRING, kCmdDownloadDemo, resourceText(583));
  downloads.AppendMenu(MF_STRING, kCmdDownloadOverlay, resourceText(584));
  menu->AppendMenu(MF_STRING | MF_POPUP, reinterpret_cast<UINT_PTR>(downloads.Detach()), resourceText(581));
}

void CWFPrinterIcon::AddExtrasToMenu(CMenu*) {}

int CWFPrinterIcon::HandleExtraMenuCmd(UINT) {
  return FALSE;
}

int CWFPrinterIcon::AddExtraOpenTabs(CMenu*) {
  return FALSE;
}

// ---- Page numbering ----

int CWFPrinterIcon::GetExtraPageNum(UINT*, int* any, UINT) {
  if (any) *any = 0;
  return FALSE;
}

UINT CWFPrinterIcon::NumExtraPages() {
  return 0;
}

int CWFPrinterIcon::GetPageNum(UINT view) {
  UINT next = 0;
  if (hasBidiPages(this)) {
    const bool present[] = {true, IsUserAdmin() != FALSE, true, m_bPageNumbering != FALSE};
    const UINT views[] = {WF_VIEW_STATUS, WF_VIEW_OPPANEL, WF_VIEW_STATISTICS, WF_VIEW_RESOURCES};
    for (std::size_t i = 0; i < std::size(views); ++i) {
      if (!present[i]) continue;
      if (view == views[i]) return static_cast<int>(next);
      ++next;
    }
  } else if (view == WF_VIEW_OPPANEL || view == WF_VIEW_STATUS || view == WF_VIEW_RESOURCES) {
    return -1;
  }
  // Families advance the index of the last page counted: theirs follow it.
  UINT last = next - 1;
  int anyExtra = 0;
  if (GetExtraPageNum(&last, &anyExtra, view)) return static_cast<int>(last);
  next = last + 1;
  if (!IsNetworkPrinter()) return -1;
  const std::vector<UINT> views = networkViews(GetValidProtocols(), netUI());
  for (UINT network : views) {
    if (view == network) return static_cast<int>(next);
    ++next;
  }
  return -1;
}

int CWFPrinterIcon::NumPagesInNotebook() {
  int pages = static_cast<int>(NumExtraPages());
  if (hasBidiPages(this)) pages += 2 + (IsUserAdmin() ? 1 : 0) + (m_bPageNumbering ? 1 : 0);
  if (IsNetworkPrinter()) pages += static_cast<int>(networkViews(GetValidProtocols(), netUI()).size());
  return pages;
}

// ---- Pages ----

void CWFPrinterIcon::AddStatusPage(CPropertySheet* sheet) {
  if (hasBidiPages(this)) sheet->AddPage(new CPrtOStatus(this));
}

void CWFPrinterIcon::AddOpPanelPage(CPropertySheet* sheet) {
  if (hasBidiPages(this) && IsUserAdmin()) sheet->AddPage(new CPrtOOpPanel(this));
}

void CWFPrinterIcon::AddStatsPage(CPropertySheet* sheet) {
  if (hasBidiPages(this)) sheet->AddPage(new CPrtOStatistics(this));
}

void CWFPrinterIcon::AddResourcePage(CPropertySheet*) {}

void CWFPrinterIcon::AddExtraOpenPages(CPropertySheet*) {}

void CWFPrinterIcon::AddNetworkPage(CPropertySheet* sheet) {
  HINSTANCE library = netUI();
  if (!library || !IsNetworkPrinter()) return;
  const ULONG protocols = GetValidProtocols();
  if (protocols != kPeerToPeerOnly) {
    if (auto query = wf::moduleEntryAs<NetUIQueryPIPPageFn>(library, kNetUIQueryPIPPage)) {
      NetUIFactoryProc factory = nullptr;
      CString title;
      if (query(m_hPrinter, &factory, &title)) addFactoryPage(sheet, factory, this);
    }
  }
  auto query = wf::moduleEntryAs<NetUIQueryNetPageFn>(library, kNetUIQueryNetPage);
  if (!query) return;
  for (UINT protocol : {8u, 1u, 2u}) {
    const ULONG bits = protocol == 8 ? kCorLinkBits : protocol;
    if (!(protocols & bits)) continue;
    NetUIFactoryProc factory = nullptr;
    CString title;
    if (query(m_hPrinter, protocol, &factory, &title)) addFactoryPage(sheet, factory, this);
  }
}

// ---- Opening ----

int CWFPrinterIcon::OpenPrinterA(UINT view) {
  if (m_bGhost) return FALSE;
  if (!GetBidiActive() && !AnyNetworkPages()) return FALSE;
  CWaitCursor wait;
  int start = 0;
  if (view == 0)
    start = static_cast<int>(m_defaultView) < NumPagesInNotebook() ? static_cast<int>(m_defaultView) : 0;
  else
    start = std::max(GetPageNum(view), 0);

  if (m_pOpenFrame) {
    if (m_pOpenFrame->m_hWnd) {
      m_pOpenFrame->SetActivePage(start);
      if (m_pOpenFrame->IsIconic()) m_pOpenFrame->ShowWindow(SW_RESTORE);
      m_pOpenFrame->BringWindowToTop();
      return TRUE;
    }
    CPrtOpenFrame* stale = nullptr;
    {
      std::lock_guard lock(m_notebookLock);
      stale = std::exchange(m_pOpenFrame, nullptr);
    }
    delete stale;
  }

  m_pageCount = 0;
  auto* notebook = new CPrtOpenDlg(this, static_cast<UINT>(start), "", nullptr);
  AddStatusPage(notebook);
  AddOpPanelPage(notebook);
  AddStatsPage(notebook);
  AddResourcePage(notebook);
  AddExtraOpenPages(notebook);
  AddNetworkPage(notebook);

  auto* frame = new CPrtOpenFrame(this, notebook);
  {
    std::lock_guard lock(m_notebookLock);
    m_pOpenFrame = frame;
  }
  if (!frame->CreateFrame()) {
    // No window ever held the pages: the frame takes the notebook, the notebook its pages.
    delete frame;
    std::lock_guard lock(m_notebookLock);
    m_pOpenFrame = nullptr;
    m_hOpenFrame = 0;
    m_hOpenDlg = 0;
    m_pageCount = 0;
    m_notebookGone.notify_all();
    return FALSE;
  }
  std::lock_guard lock(m_notebookLock);
  m_hOpenFrame = frame->m_hWnd;
  m_hOpenDlg = notebook->m_hWnd;
  m_pageCount = notebook->GetPageCount();
  m_notebookThread = wf::currentThreadId();
  return TRUE;
}

void CWFPrinterIcon::ResetDlgPtr() {
  {
    std::lock_guard lock(m_notebookLock);
    m_pOpenFrame = nullptr;
    m_hOpenFrame = 0;
    m_hOpenDlg = 0;
  }
  m_notebookGone.notify_all();
}

void CWFPrinterIcon::closeOpenNotebook() {
  std::unique_lock lock(m_notebookLock);
  if (!m_pOpenFrame) return;
  if (m_notebookThread == wf::currentThreadId()) {
    CPrtOpenFrame* frame = m_pOpenFrame;
    lock.unlock();
    if (frame->m_hWnd)
      frame->DestroyWindow();  // the notebook lets go, the frame deletes itself
    else
      delete frame;
    lock.lock();
    m_pOpenFrame = nullptr;
    return;
  }
  // A frame still being made gets its window (or fails) on the GUI thread
  // meanwhile: ask again until the notebook has let go.
  HWND asked = 0;
  while (m_pOpenFrame) {
    if (m_hOpenFrame && m_hOpenFrame != asked) {
      asked = m_hOpenFrame;
      lock.unlock();
      ::PostMessage(asked, WM_CLOSE, 0, 0);
      lock.lock();
      continue;
    }
    m_notebookGone.wait_for(lock, std::chrono::milliseconds(kCloseRecheckMs));
  }
}

// ---- Operator-panel text ----

CString CWFPrinterIcon::GetOpPanelText() {
  if (!m_pOpPanelData) return CString();
  CMutex mutex(GetMutexName("OpPanelData"));
  const DWORD rc = mutex.Wait(wf::prtgui::kReaderWait);
  if (rc != 0 && rc != wf::kWaitAbandoned0) return CString();
  const auto* panel = static_cast<const WFPrtObj::OPPANELDATA*>(m_pOpPanelData);
  CString text = panel ? CString(panel->text.c_str()) : CString();
  mutex.Release();
  return text;
}

void CWFPrinterIcon::SetOpPanelText(CWFPanelAlertMsg* message) {
  const auto* panel = message ? static_cast<const WFPrtObj::OPPANELDATA*>(message->GetPanelData()) : nullptr;
  if (!panel) return;
  underIconMutex(this, "OpPanelData", [&] {
    if (!m_pOpPanelData) m_pOpPanelData = GetROPDataStruct();
    static_cast<WFPrtObj::OPPANELDATA*>(m_pOpPanelData)->text = panel->text;
  });
}

void CWFPrinterIcon::UpdateOpPanelText() {
  if (!hasBidiPages(this)) return;
  WFPrtObj* object = GetPrinterObj();
  if (!object) return;
  void* data = nullptr;
  if (BCEReturnCheck(object->bidiROPQueryData(&data)) && data) {
    const auto* fresh = static_cast<const WFPrtObj::OPPANELDATA*>(data);
    underIconMutex(this, "OpPanelData", [&] {
      if (!m_pOpPanelData) m_pOpPanelData = GetROPDataStruct();
      *static_cast<WFPrtObj::OPPANELDATA*>(m_pOpPanelData) = *fresh;
    });
  }
  if (data) FreeOPPanelData(data);
  ReleasePrinterObj();
}

void* CWFPrinterIcon::GetROPDataStruct() {
  return new WFPrtObj::OPPANELDATA;
}
