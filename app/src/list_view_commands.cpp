// The view's mouse and key handling and the commands it runs on the
// selected printers. Every printer is taken from the printer list (which
// locks it) at the moment it is used; boxes and dialogs run their own loops,
// so no printer stays locked while one is up.
#include <fcntl.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "app/list_view.h"
#include "app/main_frame.h"
#include "app/wf_app.h"
#include "app/window_list.h"
#include "common/driver_dlg.h"
#include "common/notebook_messages.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "common/quick_dlg.h"
#include "framework/file_dialog.h"
#include "framework/frame_wnd.h"
#include "framework/menu.h"
#include "framework/printer_properties.h"
#include "framework/resources.h"
#include "framework/shell_calls.h"
#include "framework/virtual_keys.h"
#include "platform/regular_file.h"
#include "platform/spooler.h"
#include "platform/window_messages.h"
#include "prtgui/prt_pages.h"
#include "wfprtmgr/wfprtmgr.h"

namespace {

constexpr UINT kTestPage = 32774;
constexpr UINT kRefresh = 32778;
constexpr UINT kQuickSetupSend = 32781;
constexpr UINT kDriverProperties = 32783;
constexpr UINT kHelpOnError = 32784;
constexpr UINT kDelete = 32791;
constexpr UINT kRename = 32832;
constexpr UINT kQuickSetupCaption = 43;
constexpr UINT kQuickSetupFilter = 44;
constexpr UINT kQuickSetupMismatch = 47;
constexpr UINT kQuickSetupNotAdmin = 64;
constexpr UINT kQuickSetupWarning = 82;
constexpr UINT kTestPageCaption = 576;
constexpr UINT kTestPageNotStarted = 577;
constexpr UINT kTestPagePrinted = 578;
constexpr UINT kTestPageFailed = 579;
// Buttons and keys that make a click something else than a plain one.
constexpr UINT kNotPlainRight = MK_LBUTTON | MK_MBUTTON | MK_SHIFT | MK_CONTROL;
constexpr UINT kNotPlainLeft = MK_RBUTTON | MK_MBUTTON | MK_SHIFT | MK_CONTROL;
const HANDLE kNoPrinter = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

CWFPrinterList* commandsPrinterList() {
  CWFApp* app = WFGetWFApp();
  return app ? app->GetPrinterList() : nullptr;
}

// The icon, thread-locked, while the list still holds that very object. The
// pointer is only compared: it may be stale after a box's loop ran.
CWFPrinterIcon* commandsLookUp(CWFPrinterIcon* icon) {
  CWFPrinterList* list = commandsPrinterList();
  return list && list->IsInList(icon) ? icon : nullptr;
}

// String `id` with the printer's long name in its %s.
CString withName(UINT id, const CString& name) {
  CString text;
  text.Format(wf::mainProgramString(id), name.str().c_str());
  return text;
}

bool insideClient(const CWnd* window, CPoint point) {
  RECT client{};
  window->GetClientRect(&client);
  return point.x >= client.left && point.x < client.right && point.y >= client.top && point.y < client.bottom;
}

int box(CWnd* owner, const CString& text, UINT captionId, UINT type) {
  return MessageBox(owner->GetSafeHwnd(), text, wf::mainProgramString(captionId), type);
}

}  // namespace

std::vector<CWFPrinterIcon*> CWFListView::selectedIcons() const {
  std::vector<CWFPrinterIcon*> icons;
  for (int i = GetNextItem(-1, LVNI_SELECTED); i >= 0; i = GetNextItem(i, LVNI_SELECTED)) {
    if (CWFPrinterIcon* icon = GetPrinterAt(i)) icons.push_back(icon);
  }
  return icons;
}

void CWFListView::focusFrame() {
  if (m_frame) m_frame->PostMessage(WM_SETFOCUS, 0, 0);
}

BOOL CWFListView::NoSelectedPrinterConnected() const {
  for (CWFPrinterIcon* icon : selectedIcons()) {
    CWFPrinterIcon* held = commandsLookUp(icon);
    if (!held) continue;
    const ULONG connection = held->GetConnection();
    held->ThreadUnlock();
    if (connection != 0xFFFFFFFF) return FALSE;
  }
  return TRUE;
}

BOOL CWFListView::NoSelectedPrinterAdministered() const {
  for (CWFPrinterIcon* icon : selectedIcons()) {
    CWFPrinterIcon* held = commandsLookUp(icon);
    if (!held) continue;
    const BOOL admin = held->IsUserAdmin();
    held->ThreadUnlock();
    if (admin) return FALSE;
  }
  return TRUE;
}

void CWFListView::OfferExtraCommand(UINT id) {
  for (CWFPrinterIcon* icon : selectedIcons()) {
    CWFPrinterIcon* held = commandsLookUp(icon);
    if (!held) continue;
    held->HandleExtraMenuCmd(id);
    held->ThreadUnlock();
  }
}

BOOL CWFListView::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (CListView::OnCommand(wParam, lParam)) return TRUE;
  // Only a command sent to the view itself (its context menus): one that
  // came through the frame is offered once the frame's routing is done.
  const UINT id = LOWORD(wParam);
  if (lParam == 0 && id != 0 && HIWORD(wParam) <= 1) OfferExtraCommand(id);
  return FALSE;
}

// ---- Mouse and keys ----

void CWFListView::printerMenu(int item, CPoint screen) {
  CWFPrinterIcon* held = commandsLookUp(GetPrinterAt(item));
  if (!held) return;
  CMenu menu;
  const int named = held->GetRtBtnPopup(&menu);
  held->ThreadUnlock();
  if (!menu.GetSafeHmenu()) return;
  if (NoSelectedPrinterConnected()) {
    menu.EnableMenuItem(kTestPage, MF_BYCOMMAND | MF_GRAYED);
    menu.EnableMenuItem(kDriverProperties, MF_BYCOMMAND | MF_GRAYED);
    menu.EnableMenuItem(static_cast<UINT>(named), MF_BYPOSITION | MF_GRAYED);
  }
  if (NoSelectedPrinterAdministered()) menu.EnableMenuItem(kQuickSetupSend, MF_BYCOMMAND | MF_GRAYED);
  menu.TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, this);
}

void CWFListView::FocusedPrinterMenu() {
  const int item = GetNextItem(-1, LVNI_FOCUSED);
  if (item < 0) return;
  RECT label{};
  if (!GetItemRect(item, &label, LVIR_LABEL)) return;
  CPoint at{label.left, label.top};
  ClientToScreen(&at);
  printerMenu(item, at);
}

void CWFListView::OnRButtonDown(UINT flags, CPoint point) {
  Default();
  if (!insideClient(this, point)) return;
  CPoint screen = point;
  ClientToScreen(&screen);
  const int item = HitTest(point);
  if (!(flags & kNotPlainRight) && item >= 0) {
    printerMenu(item, screen);
  } else if (m_frame) {
    m_frame->WindowContextMenu(0, screen);
  }
}

void CWFListView::OnLButtonDblClk(UINT flags, CPoint point) {
  Default();
  if (!insideClient(this, point)) return;
  const int item = HitTest(point);
  if (item < 0 || (flags & kNotPlainLeft)) return;
  if (CWFPrinterIcon* held = commandsLookUp(GetPrinterAt(item))) {
    held->OpenPrinterA(0);
    held->ThreadUnlock();
  }
}

void CWFListView::OnChar(UINT ch, UINT, UINT) {
  if (ch == VK_RETURN) OnOpenView(0);
  Default();
}

void CWFListView::OnKeyDown(UINT key, UINT, UINT) {
  if (key == VK_DELETE) {
    PostMessage(WM_COMMAND, kDelete, 0);
    return;
  }
  Default();
}

// ---- Commands ----

void CWFListView::OnOpenView(UINT id) {
  for (CWFPrinterIcon* icon : selectedIcons()) {
    CWFPrinterIcon* held = commandsLookUp(icon);
    if (!held) continue;
    held->OpenPrinterA(id);
    held->ThreadUnlock();
  }
}

void CWFListView::OnRefreshPrinters() {
  CWFApp* app = WFGetWFApp();
  WFPrtMgr* manager = app ? app->GetWFPrtMgr() : nullptr;
  if (manager) {
    for (CWFPrinterIcon* icon : selectedIcons()) {
      CWFPrinterIcon* held = commandsLookUp(icon);
      if (!held) continue;
      auto request = std::make_unique<ENUMPRTDATA>();
      request->hNotify = m_frame ? m_frame->GetSafeHwnd() : 0;
      request->pList = app->GetPrinterList();
      request->mode = 2;
      request->pStoredRecord = held->CreateRefreshData();
      if (WFPrtObj* object = held->GetPrinterObj()) {
        object->getBCENetAddress(&request->address, 0);
        held->ReleasePrinterObj();
      } else if (const NETADDRESS* kept = held->GetGhostAddress()) {
        request->address = *kept;
      }
      app->IncreaseEnumSpecCount();
      // The callback owns the request from here on.
      ENUMPRTDATA* sent = request.release();
      manager->enumSpecificPrinter(&sent->address, &EnumPrintersCallback,
                                   reinterpret_cast<std::uintptr_t>(sent), 1);
      held->OnRefresh();
      held->ThreadUnlock();
    }
  }
  if (m_frame) m_frame->SendMessage(WM_SETMESSAGESTRING, AFX_IDS_IDLEMESSAGE, 0);
}

void CWFListView::OnRenamePrinter() {
  const int item = GetNextItem(-1, LVNI_FOCUSED);
  if (item >= 0) EditLabel(item);
}

void CWFListView::OnHelpOnError() {
  const int item = GetNextItem(-1, LVNI_FOCUSED);
  if (CWFPrinterIcon* held = item >= 0 ? commandsLookUp(GetPrinterAt(item)) : nullptr) {
    held->ShowHelpforError();
    held->ThreadUnlock();
  }
}

void CWFListView::OnQuickSetupSend() {
  if (box(this, wf::mainProgramString(kQuickSetupWarning), kQuickSetupCaption, MB_OKCANCEL) != IDOK)
    return focusFrame();
  const std::vector<CWFPrinterIcon*> icons = selectedIcons();
  USHORT started = 0;
  for (bool again = true; again;) {
    again = false;
    CFileDialog dialog(TRUE, "psf", nullptr, OFN_FILEMUSTEXIST | OFN_HIDEREADONLY,
                       wf::mainProgramString(kQuickSetupFilter), this);
    if (dialog.DoModal() != IDOK) break;
    const CString path = dialog.GetPathName();
    for (CWFPrinterIcon* icon : icons) {
      CWFPrinterIcon* held = commandsLookUp(icon);
      if (!held) continue;
      const CString name = held->GetLongName();
      if (!held->IsUserAdmin()) {
        held->ThreadUnlock();
        box(this, withName(kQuickSetupNotAdmin, name), kQuickSetupCaption, MB_OK);
        continue;
      }
      WFPrtObj* object = held->GetPrinterObj();
      if (!object) {
        held->ThreadUnlock();
        continue;
      }
      // A file that cannot be read does not match any printer.
      WFPrtObj::LONG result = WFPrtObj::QS_HEADER_MISMATCH;
      if (std::FILE* file = wf::openRegularStream(path.str(), O_RDONLY, "rb")) {
        result = object->verifyQuickSetupFile(file);
        std::fclose(file);
      }
      held->ReleasePrinterObj();
      if (result == WFPrtObj::QS_HEADER_MISMATCH) {
        held->ThreadUnlock();
        box(this, withName(kQuickSetupMismatch, name), kQuickSetupCaption, MB_OK);
        // With several printers one pass is all: another file would not suit them all.
        again = icons.size() < 2;
        continue;
      }
      auto* progress = new (std::nothrow) CQuickDlg(held, path, ++started, TRUE, this);
      if (progress && progress->Create(CQuickDlg::IDD, this)) {
        AdoptDialog(progress);
      } else {
        delete progress;
      }
      held->ThreadUnlock();
    }
  }
  focusFrame();
}

void CWFListView::AdoptDialog(CWnd* dialog) {
  if (dialog && std::find(m_dialogs.begin(), m_dialogs.end(), dialog) == m_dialogs.end())
    m_dialogs.push_back(dialog);
}

BOOL CWFListView::releaseDialog(LPARAM lParam) {
  auto* dialog = reinterpret_cast<CWnd*>(lParam);
  auto found = std::find(m_dialogs.begin(), m_dialogs.end(), dialog);
  if (!dialog || found == m_dialogs.end()) return FALSE;
  m_dialogs.erase(found);
  if (dialog->GetSafeHwnd()) dialog->DestroyWindow();
  delete dialog;
  return TRUE;
}

LRESULT CWFListView::OnQuickSetupDone(WPARAM, LPARAM dialog) {
  releaseDialog(dialog);
  return 0;
}

void CWFListView::OnTestPage() {
  for (CWFPrinterIcon* icon : selectedIcons()) {
    CWFPrinterIcon* held = commandsLookUp(icon);
    if (!held) continue;
    const BOOL started = held->PrintTestPage(this);
    const CString name = held->GetLongName();
    held->ThreadUnlock();
    if (!started) box(this, withName(kTestPageNotStarted, name), kTestPageCaption, MB_OK);
  }
}

LRESULT CWFListView::OnTestPageDone(WPARAM printed, LPARAM lParam) {
  // The printer may have gone while its page printed.
  CWFPrinterIcon* held = commandsLookUp(reinterpret_cast<CWFPrinterIcon*>(lParam));
  if (!held) return 0;
  const CString name = held->GetLongName();
  held->ThreadUnlock();
  box(this, withName(printed ? kTestPagePrinted : kTestPageFailed, name), kTestPageCaption, MB_OK);
  return 0;
}

void CWFListView::OnDriverProperties() {
  for (CWFPrinterIcon* icon : selectedIcons()) {
    CWFPrinterIcon* held = commandsLookUp(icon);
    if (!held) continue;
    CWFDriverDlg chooser(held, this, 0);
    const HANDLE printer = chooser.DoModal() == WFDRV_CHOSEN ? chooser.GetPrinterHandle() : kNoPrinter;
    held->ThreadUnlock();
    if (printer == kNoPrinter) continue;
    PrinterProperties(GetSafeHwnd(), printer);
    wf::spool::spooler().closePrinter(
        static_cast<wf::spool::PrinterHandle>(reinterpret_cast<std::uintptr_t>(printer)));
  }
}

void CWFListView::OnDownload(UINT id) {
  for (CWFPrinterIcon* icon : selectedIcons()) {
    CWFPrinterIcon* held = commandsLookUp(icon);
    if (!held) continue;
    // The program's own module: the tool kit is told who asks.
    const HINSTANCE instance = wf::moduleContaining(reinterpret_cast<const void*>(&WFGetWFApp));
    if (id == 586) held->DownloadFont(this, instance);
    if (id == 587) held->DownloadDemo(this, instance);
    if (id == 588) held->DownloadOverlay(this, instance);
    held->ThreadUnlock();
  }
}
