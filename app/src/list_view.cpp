#include "app/list_view.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <utility>

#include "app/inventory_dlg.h"
#include "app/main_frame.h"
#include "app/wf_app.h"
#include "app/window_list.h"
#include "common/app_services.h"
#include "common/notebook_messages.h"
#include "common/oid_list.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "common/quick_dlg.h"
#include "framework/dc.h"
#include "framework/frame_wnd.h"
#include "platform/window_messages.h"

namespace {

constexpr int kRedrawLimit = 50;

CWFPrinterList* printerList() {
  CWFApp* app = WFGetWFApp();
  return app ? app->GetPrinterList() : nullptr;
}

// The icon locked for this thread when the list still holds that very
// object. Only the pointer is compared: a posted icon may have been replaced
// and freed since, and reading it would wait on a freed lock.
CWFPrinterIcon* lookUp(CWFPrinterIcon* icon) {
  CWFPrinterList* list = printerList();
  return list && list->IsInList(icon) ? icon : nullptr;
}

struct PrinterWork {
  HWND view = 0;
  USHORT printer = 0;
};

UINT determinePrinterModelWork(void* param) {
  std::unique_ptr<PrinterWork> work(static_cast<PrinterWork*>(param));
  CWFPrinterList* list = printerList();
  CWFPrinterIcon* icon = list ? list->FindPrinterIcon(work->printer) : nullptr;
  if (!icon) return 0;
  icon->DetermineModel();
  icon->ThreadUnlock();
  if (work->view) {
    wf::postMessage(work->view, WM_WF_UPDATEPRINTER, 0, work->printer);
  } else if (CWFApp* app = WFGetWFApp(); app && app->GetWindowList()) {
    app->GetWindowList()->PostToAll(WM_WF_UPDATEPRINTER, 0, work->printer);
  }
  return 0;
}

UINT getInitialAlertStateWork(void* param) {
  std::unique_ptr<PrinterWork> work(static_cast<PrinterWork*>(param));
  CWFPrinterList* list = printerList();
  CWFPrinterIcon* icon = list ? list->FindPrinterIcon(work->printer) : nullptr;
  if (!icon) return 0;
  const UINT result = icon->GetInitialAlerts();
  icon->ThreadUnlock();
  CWFApp* app = WFGetWFApp();
  CWFWindowList* windows = app ? app->GetWFWindowList() : nullptr;
  if (!windows) return 0;
  if (result & 1) windows->UpdatePrinterViews(work->printer, nullptr);
  windows->AnyAlerts();
  return 0;
}

const int kMinimumWidths[WF_COLUMNS] = {0, 15, 0, 0, 0, 14, 0, 0, 0};

}  // namespace

BEGIN_MESSAGE_MAP(CWFListView, CListCtrl)
ON_MESSAGE(WM_WF_UPDATEPRINTER, OnUpdatePrinter)
ON_WM_DESTROY()
ON_COMMAND(32789, OnCopyPrinters)
ON_COMMAND(32790, OnMovePrinters)
ON_COMMAND(32791, OnDeletePrinters)
ON_COMMAND(32835, OnPrinterInventory)
ON_MESSAGE(WM_WF_INVENTORYDONE, OnInventoryDone)
ON_COMMAND(32795, OnAlertSettings)
ON_WM_RBUTTONDOWN()
ON_WM_LBUTTONDBLCLK()
ON_WM_CHAR()
ON_WM_KEYDOWN()
ON_COMMAND_RANGE(32772, 32772, OnOpenView)
ON_COMMAND_RANGE(32775, 32775, OnOpenView)
ON_COMMAND_RANGE(32776, 32776, OnOpenView)
ON_COMMAND_RANGE(32779, 32779, OnOpenView)
ON_COMMAND_RANGE(32797, 32797, OnOpenView)
ON_COMMAND_RANGE(109, 113, OnOpenView)
ON_MESSAGE(WM_WF_TESTPAGEDONE, OnTestPageDone)
ON_COMMAND(32778, OnRefreshPrinters)
ON_COMMAND(32832, OnRenamePrinter)
ON_COMMAND(32784, OnHelpOnError)
ON_COMMAND(32781, OnQuickSetupSend)
ON_MESSAGE(WM_WF_QSDONE, OnQuickSetupDone)
ON_COMMAND(32774, OnTestPage)
ON_COMMAND(32783, OnDriverProperties)
ON_COMMAND_RANGE(586, 588, OnDownload)
END_MESSAGE_MAP()

CWFListView::~CWFListView() = default;

int CWFListView::AverageCharWidth() {
  CClientDC dc(this);
  TEXTMETRIC metrics{};
  dc.GetTextMetrics(&metrics);
  return metrics.tmAveCharWidth > 0 ? metrics.tmAveCharWidth : 6;
}

BOOL CWFListView::CreateView(CMainFrame* frame, const RECT& rect, UINT networks) {
  m_frame = frame;
  if (!Create(WF_VIEW_STYLE, rect, frame, WF_VIEW_ID)) return FALSE;
  if (CWFApp* app = WFGetWFApp()) {
    SetImageList(app->GetNormalImageList(), LVSIL_NORMAL);
    SetImageList(app->GetSmallImageList(), LVSIL_SMALL);
  }
  const int average = AverageCharWidth();
  for (int column = 0; column < WF_COLUMNS; ++column) {
    CString caption;
    caption.LoadString(52 + column);
    int chars = column == 0   ? 32
                : column == 2 ? 20
                              : std::max(caption.GetLength() + 1, kMinimumWidths[column]);
    if ((column == 6 && !(networks & 0x1)) || (column == 7 && !(networks & 0xC)) ||
        (column == 8 && !(networks & 0x2)))
      chars = 0;
    InsertColumn(column, caption, LVCFMT_LEFT, chars * average, column);
  }
  m_sortColumn = 0;
  return TRUE;
}

int CWFListView::insertAt(int index, CWFPrinterIcon* icon) {
  const int item = InsertItem(LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM, index, LPSTR_TEXTCALLBACK, 0, 0,
                              I_IMAGECALLBACK, reinterpret_cast<LPARAM>(icon));
  if (item < 0) return -1;
  icon->IncrementUsageCount();
  for (int sub = 1; sub < WF_COLUMNS; ++sub) SetItemText(item, sub, LPSTR_TEXTCALLBACK);
  std::lock_guard lock(m_itemsLock);
  m_items.insert(m_items.begin() + std::min<size_t>(item, m_items.size()), icon);
  return item;
}

void CWFListView::deleteAt(int index) {
  CWFPrinterIcon* icon = nullptr;
  {
    std::lock_guard lock(m_itemsLock);
    if (index < 0 || index >= static_cast<int>(m_items.size())) return;
    icon = m_items[index];
    m_items.erase(m_items.begin() + index);
  }
  DeleteItem(index);
  if (icon) icon->DecrementUsageCount();
}

void CWFListView::queueModelWork(USHORT printer, const char* from) {
  CWFApp* app = WFGetWFApp();
  if (!app) return;
  CWFPrinterIcon* icon = printerList() ? printerList()->FindPrinterIcon(printer) : nullptr;
  CString name = icon ? icon->BuildDescriptiveString(from) : CString(from);
  if (icon) icon->ThreadUnlock();
  if (!app->GetThreadMgr() || !app->IsThreadMgrActive()) return;
  app->BeginThread(determinePrinterModelWork, new PrinterWork{GetSafeHwnd(), printer}, 0, name);
}

void CWFListView::queueAlertWork(USHORT printer, const char* from) {
  CWFApp* app = WFGetWFApp();
  if (!app || !app->IsThreadMgrActive()) return;
  CWFPrinterIcon* icon = printerList() ? printerList()->FindPrinterIcon(printer) : nullptr;
  CString name = icon ? icon->BuildDescriptiveString(from) : CString(from);
  if (icon) icon->ThreadUnlock();
  app->BeginThread(getInitialAlertStateWork, new PrinterWork{GetSafeHwnd(), printer}, 0, name);
}

int CWFListView::AddPrinter(CWFPrinterIcon* icon) {
  CWFPrinterIcon* held = lookUp(icon);
  if (!held) return -1;
  if (FindItem(held) >= 0) {
    held->ThreadUnlock();
    return -1;
  }
  held->SetStatus(nullptr);
  const USHORT printer = held->GetPrinterHandle();
  const BOOL bidi = held->GetBidiActive();
  if (bidi && held->GetModel().IsEmpty())
    queueModelWork(printer, "DeterminePrinterModel() from AddPrinterIconToListCtrl()");
  const int item = insertAt(GetItemCount(), held);
  if (item >= 0 && bidi && held->GetUsageCount() == 1)
    queueAlertWork(printer, "GetInitialAlertState() from AddPrinterIconToListCtrl()");
  held->ThreadUnlock();
  return item;
}

void CWFListView::ReplacePrinter(CWFPrinterIcon* oldIcon, CWFPrinterIcon* newIcon) {
  const int index = FindItem(oldIcon);
  if (index < 0 || !newIcon) return;
  deleteAt(index);
  // A fill may have shown the successor already: one row per printer.
  if (FindItem(newIcon) >= 0) return;
  newIcon->SetStatus(nullptr);
  const USHORT printer = newIcon->GetPrinterHandle();
  const BOOL bidi = newIcon->GetBidiActive();
  if (bidi && newIcon->GetModel().IsEmpty())
    queueModelWork(printer, "DeterminePrinterModel() from ReplacePrinter");
  insertAt(index, newIcon);
  if (bidi) queueAlertWork(printer, "GetInitialAlertState() from ReplacePrinter()");
}

int CWFListView::RemovePrinter(USHORT printer) {
  const int index = FindItem(printer);
  if (index < 0) return -1;
  deleteAt(index);
  return TRUE;
}

int CWFListView::FindItem(USHORT printer) const {
  std::lock_guard lock(m_itemsLock);
  for (size_t i = 0; i < m_items.size(); ++i) {
    // The handle is read only while the printer list still holds the icon.
    CWFPrinterIcon* held = lookUp(m_items[i]);
    if (!held) continue;
    const bool same = held->GetPrinterHandle() == printer;
    held->ThreadUnlock();
    if (same) return static_cast<int>(i);
  }
  return -1;
}

int CWFListView::FindItem(CWFPrinterIcon* icon) const {
  std::lock_guard lock(m_itemsLock);
  auto found = std::find(m_items.begin(), m_items.end(), icon);
  return found == m_items.end() ? -1 : static_cast<int>(found - m_items.begin());
}

CWFPrinterIcon* CWFListView::GetPrinterAt(int index) const {
  CWFApp* app = WFGetWFApp();
  if (!app || !app->AnyWindowsLeft()) return nullptr;
  std::lock_guard lock(m_itemsLock);
  return index >= 0 && index < static_cast<int>(m_items.size()) ? m_items[index] : nullptr;
}

std::vector<CWFPrinterIcon*> CWFListView::Printers() const {
  std::lock_guard lock(m_itemsLock);
  return m_items;
}

void CWFListView::UpdatePrinter(USHORT printer) {
  const int index = FindItem(printer);
  if (index < 0) return;
  Update(index);
  const int mode = GetViewMode();
  if (mode == 0 || mode == 2) {
    RECT bounds{};
    if (GetItemRect(index, &bounds, LVIR_BOUNDS)) {
      bounds.left -= 2;
      bounds.top -= 2;
      bounds.right += 2;
      bounds.bottom += 2;
      InvalidateRect(&bounds);
      UpdateWindow();
    }
  }
}

LRESULT CWFListView::OnUpdatePrinter(WPARAM, LPARAM printer) {
  UpdatePrinter(static_cast<USHORT>(printer));
  return 0;
}

void CWFListView::RemoveFilteredOut(const WINDOWFILTER& filter) {
  for (int i = GetItemCount() - 1; i >= 0; --i) {
    CWFPrinterIcon* held = lookUp(GetPrinterAt(i));
    if (!held) continue;
    const BOOL passes = PassesFilter(filter, held);
    held->ThreadUnlock();
    if (!passes) deleteAt(i);
  }
}

void CWFListView::RemoveAllPrinters() {
  std::vector<CWFPrinterIcon*> icons;
  {
    std::lock_guard lock(m_itemsLock);
    icons.swap(m_items);
  }
  for (CWFPrinterIcon* icon : icons) icon->DecrementUsageCount();
  DeleteAllItems();
}

void CWFListView::OnDestroy() {
  if (CPrtInvDlg* dialog = std::exchange(m_pInventoryDlg, nullptr)) {
    if (dialog->GetSafeHwnd())
      dialog->ViewClosing();
    else
      delete dialog;  // closed, its 2490 not handled yet
  }
  RemoveAllPrinters();
  CListCtrl::OnDestroy();
}

CString CWFListView::ColumnText(CWFPrinterIcon* icon, int column, BOOL details) {
  switch (column) {
    case 0:
      return details ? icon->GetName() : icon->GetLongName();
    case 1:
      return icon->GetModel();
    case 2:
      return icon->GetPort();
    case 3:
      return icon->GetStatus();
    case 4:
      return icon->GetAdapterType();
    case 5:
      return icon->GetNetAddress();
    case 6:
      return icon->GetNWLogin();
    case 7:
      return icon->GetCLNickname();
    case 8:
      return icon->GetTCPHost();
    default:
      return CString();
  }
}

bool CWFListView::SortsBefore(const SortKey& a, const SortKey& b) {
  if (a.present != b.present) return a.present;
  if (!a.present) return false;
  auto blank = [](const CString& key) { return key.IsEmpty() || key == " "; };
  const bool aBlank = blank(a.key);
  const bool bBlank = blank(b.key);
  if (aBlank != bBlank) return bBlank;
  int order = aBlank ? 0 : a.key.CompareNoCase(b.key);
  if (order == 0) order = a.name.CompareNoCase(b.name);
  return order < 0;
}

void CWFListView::Sort() {
  const std::vector<CWFPrinterIcon*> icons = Printers();
  std::vector<SortKey> keys(icons.size());
  for (size_t i = 0; i < icons.size(); ++i) {
    CWFPrinterIcon* held = lookUp(icons[i]);
    if (!held) continue;
    keys[i] = {true, ColumnText(held, m_sortColumn, TRUE), held->GetName()};
    held->ThreadUnlock();
  }
  std::vector<size_t> order(icons.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return SortsBefore(keys[a], keys[b]); });
  std::vector<size_t> rank(icons.size());
  for (size_t r = 0; r < order.size(); ++r) rank[order[r]] = r;
  // The control's items carry the icons; each is sorted by its rank.
  std::vector<std::pair<LPARAM, size_t>> ranks;
  for (size_t i = 0; i < icons.size(); ++i) ranks.emplace_back(reinterpret_cast<LPARAM>(icons[i]), rank[i]);
  std::sort(ranks.begin(), ranks.end());
  const bool quiet = icons.size() > kRedrawLimit;
  if (quiet) SetRedraw(FALSE);
  SortItems(
      [](LPARAM a, LPARAM b, LPARAM data) {
        auto* table = reinterpret_cast<std::vector<std::pair<LPARAM, size_t>>*>(data);
        auto rankOf = [table](LPARAM icon) {
          auto it = std::lower_bound(table->begin(), table->end(), std::pair<LPARAM, size_t>{icon, 0});
          return it != table->end() && it->first == icon ? it->second : table->size();
        };
        const size_t ra = rankOf(a);
        const size_t rb = rankOf(b);
        return ra < rb ? -1 : ra > rb ? 1 : 0;
      },
      reinterpret_cast<DWORD_PTR>(&ranks));
  {
    std::lock_guard lock(m_itemsLock);
    // Items added meanwhile (none on this thread) would keep their place.
    if (m_items == icons) {
      std::vector<CWFPrinterIcon*> sorted;
      for (size_t index : order) sorted.push_back(icons[index]);
      m_items.swap(sorted);
    }
  }
  if (quiet) {
    SetRedraw(TRUE);
    Invalidate();
  }
}

int CWFListView::SetSortColumn(int column, BOOL sortNow) {
  if (column >= 0 && column < WF_COLUMNS) m_sortColumn = column;
  if (sortNow) Sort();
  return m_sortColumn;
}

void CWFListView::ShowColumn(int column, BOOL show) {
  const BOOL shown = ColumnShown(column);
  if (show && !shown) SetColumnWidth(column, 32 * AverageCharWidth());
  if (!show && shown) SetColumnWidth(column, 0);
}

void CWFListView::SetViewMode(int mode) {
  if (GetViewMode() != (mode & 3)) ModifyStyle(3, static_cast<DWORD>(mode & 3));
}

void CWFListView::Reposition(BOOL repaint) {
  if (!m_frame) return;
  m_frame->RepositionBars(AFX_IDW_CONTROLBAR_FIRST, AFX_IDW_CONTROLBAR_LAST, WF_VIEW_ID);
  if (repaint) Invalidate();
}

void CWFListView::ResetTexts() {
  for (int i = 0; i < GetItemCount(); ++i) {
    for (int sub = 0; sub < WF_COLUMNS; ++sub) SetItemText(i, sub, LPSTR_TEXTCALLBACK);
  }
}

int CWFListView::Traverse(BOOL (*fn)(CWFPrinterIcon*, void*), void* data) const {
  return TraverseIcons(Printers(), fn, data);
}

int CWFListView::TraverseIcons(const std::vector<CWFPrinterIcon*>& icons, BOOL (*fn)(CWFPrinterIcon*, void*),
                               void* data) {
  CWFPrinterList* list = printerList();
  if (!fn || !list) return 0;
  for (CWFPrinterIcon* icon : icons) {
    // Only icons the list still holds: IsInList locks them for the call.
    if (!list->IsInList(icon)) continue;
    const int result = fn(icon, data);
    icon->ThreadUnlock();
    if (result) return result;
  }
  return 0;
}

CWFoidList* CWFListView::GetViewPrinterList() const {
  const std::vector<CWFPrinterIcon*> icons = Printers();
  if (icons.empty()) return nullptr;
  auto* list = new CWFoidList(0);
  for (CWFPrinterIcon* icon : icons) {
    CWFPrinterIcon* held = lookUp(icon);
    if (!held) continue;
    auto* info = new _WF_PRINTER_INFO;
    info->hPrinter = held->GetPrinterHandle();
    info->strName = held->GetName();
    list->Add(new CWFoid(info));
    held->ThreadUnlock();
  }
  return list;
}

void CWFListView::OnPrinterInventory() {
  CWFApp* app = WFGetWFApp();
  if (!app || app->IsPrinterInventoryActive()) return;
  auto* dialog = new CPrtInvDlg(this);
  if (!dialog->Create()) {
    delete dialog;
    return;
  }
  m_pInventoryDlg = dialog;
  app->SetPrinterInventoryActive(TRUE);
}

LRESULT CWFListView::OnInventoryDone(WPARAM, LPARAM dialog) {
  if (CWFApp* app = WFGetWFApp()) app->SetPrinterInventoryActive(FALSE);
  auto* closed = reinterpret_cast<CPrtInvDlg*>(dialog);
  if (closed && closed == m_pInventoryDlg) {
    m_pInventoryDlg = nullptr;
    delete closed;
    return 0;
  }
  releaseDialog(dialog);
  return 0;
}

void CWFListView::OnGetDispInfo(NMHDR* header, LRESULT* result) {
  auto* info = reinterpret_cast<NMLVDISPINFO*>(header);
  *result = 0;
  CWFPrinterIcon* held = lookUp(reinterpret_cast<CWFPrinterIcon*>(info->item.lParam));
  if (!held) return;
  if ((info->item.mask & LVIF_TEXT) && info->item.pszText && info->item.cchTextMax > 0) {
    const CString text = ColumnText(held, info->item.iSubItem, GetViewMode() == 1);
    const size_t length = std::min<size_t>(text.GetLength(), info->item.cchTextMax - 1);
    std::memcpy(info->item.pszText, static_cast<LPCSTR>(text), length);
    info->item.pszText[length] = '\0';
  }
  if (info->item.mask & LVIF_IMAGE) info->item.iImage = held->GetIconIndex();
  held->ThreadUnlock();
}

void CWFListView::OnColumnClick(NMHDR* header, LRESULT* result) {
  SetSortColumn(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem, TRUE);
  *result = 0;
}

void CWFListView::OnBeginLabelEdit(NMHDR*, LRESULT* result) {
  if (CEdit* edit = GetEditControl()) edit->LimitText(80);
  *result = FALSE;
}

void CWFListView::OnEndLabelEdit(NMHDR* header, LRESULT* result) {
  auto* info = reinterpret_cast<NMLVDISPINFO*>(header);
  *result = FALSE;
  if (!info->item.pszText || !info->item.pszText[0]) return;
  CWFPrinterIcon* held = lookUp(reinterpret_cast<CWFPrinterIcon*>(info->item.lParam));
  if (!held) return;
  held->SetName(info->item.pszText);
  SetItemText(info->item.iItem, 0, LPSTR_TEXTCALLBACK);
  held->SetUserDefinedName(TRUE);
  const USHORT printer = held->GetPrinterHandle();
  const HWND notebook = held->GetOpenDlgHandle();
  held->ThreadUnlock();
  if (CWFApp* app = WFGetWFApp(); app && app->GetWFWindowList())
    app->GetWFWindowList()->UpdatePrinterViews(printer, m_frame);
  if (notebook) wf::postMessage(notebook, WM_WF_UPDATEPAGE, 0, 0);
}
