// The Meridian resource page and its file list.
#include <algorithm>
#include <cstring>
#include <new>

#include "common/text_helpers.h"
#include "framework/dc.h"
#include "framework/ddx.h"
#include "framework/win_app.h"
#include "meridian/meridian_icon.h"
#include "meridian/resource_page.h"
#include "platform/module.h"

IMPLEMENT_DYNCREATE(CMerOResDir, CListCtrl)

namespace {

constexpr UINT kListFrame = 1059;
constexpr UINT kListId = 1039;
constexpr UINT kResourceRefresh = 1049;
constexpr UINT kColumnHeadings[] = {40031, 40032, 40033, 40034};
constexpr int kColumnFactors[] = {32, 10, 9, 7};

// ASCII letters folded, bytes compared: a UTF-8 character is never split.
int compareNoCase(const CString& a, const CString& b) {
  const std::string& x = a.str();
  const std::string& y = b.str();
  const std::size_t n = std::min(x.size(), y.size());
  for (std::size_t i = 0; i < n; ++i) {
    auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    const int d = fold(static_cast<unsigned char>(x[i])) - fold(static_cast<unsigned char>(y[i]));
    if (d != 0) return d < 0 ? -1 : 1;
  }
  return x.size() == y.size() ? 0 : (x.size() < y.size() ? -1 : 1);
}

int compareItems(LPARAM first, LPARAM second, LPARAM column) {
  const auto* a = reinterpret_cast<const CWFResMgmtItem*>(first);
  const auto* b = reinterpret_cast<const CWFResMgmtItem*>(second);
  if (!a || !b) return 1;
  int order = 0;
  switch (column) {
    case 0:
      break;
    case 1:
      order = compareNoCase(a->GetResourceName(), b->GetResourceName());
      break;
    case 2:
      order = a->GetSizeD() == b->GetSizeD() ? 0 : (a->GetSizeD() < b->GetSizeD() ? -1 : 1);
      break;
    default:
      order = compareNoCase(a->GetID(), b->GetID());
      break;
  }
  return order != 0 ? order : compareNoCase(a->GetDescription(), b->GetDescription());
}

CString columnText(const CWFResMgmtItem& item, int column) {
  switch (column) {
    case 0:
      return item.GetDescription();
    case 1:
      return item.GetResourceName();
    case 2:
      return item.GetSize();
    default:
      return item.GetID();
  }
}

void enablePageItem(CWnd* page, UINT id, BOOL on) {
  if (CWnd* control = page->GetDlgItem(static_cast<int>(id))) control->EnableWindow(on);
}

CString freeText(unsigned long size, unsigned long remaining) {
  if (size == 0 || remaining == 0) return "0";
  char buffer[32];
  SizeToString(static_cast<DWORD>(remaining), buffer);
  return buffer;
}

}  // namespace

// ---- The list ----

BEGIN_MESSAGE_MAP(CMerOResDir, CListCtrl)
ON_WM_CREATE()
ON_WM_DESTROY()
ON_WM_LBUTTONDOWN()
END_MESSAGE_MAP()

CMerOResDir::CMerOResDir() = default;

CMerOResDir::CMerOResDir(CMerOResourceMgmt* page) : m_pPage(page) {}

int CMerOResDir::OnCreate(LPCREATESTRUCT cs) {
  if (CListCtrl::OnCreate(cs) == -1) return -1;
  CClientDC dc(this);
  TEXTMETRIC metrics{};
  dc.GetTextMetrics(&metrics);
  for (int column = 0; column < 4; ++column) {
    CString heading;
    heading.LoadString(kColumnHeadings[column]);
    if (InsertColumn(column, heading, LVCFMT_LEFT,
                     static_cast<int>(metrics.tmAveCharWidth) * kColumnFactors[column], column) == -1)
      break;
  }
  m_sortColumn = 1;
  return 0;
}

void CMerOResDir::OnDestroy() {
  DeleteAllResItems();
  CListCtrl::OnDestroy();
}

void CMerOResDir::OnLButtonDown(UINT flags, CPoint point) {
  Default();
  CRect client;
  GetClientRect(&client);
  if (!client.PtInRect(point) || (flags & (MK_RBUTTON | MK_MBUTTON | MK_SHIFT | MK_CONTROL))) return;
  refreshPage(FALSE);
}

void CMerOResDir::refreshPage(BOOL save) {
  Invalidate();
  UpdateWindow();
  if (!m_pPage || !m_pPage->GetSafeHwnd()) return;
  m_pPage->UpdateData(save);
  m_pPage->Invalidate();
  m_pPage->UpdateWindow();
}

int CMerOResDir::AddResItem(CWFResMgmtItem* item) {
  for (int i = 0; i < GetItemCount(); ++i) {
    const auto* held = reinterpret_cast<const CWFResMgmtItem*>(GetItemData(i));
    if (held && held->GetResourceID() == item->GetResourceID() && held->GetName() == item->GetName())
      return -1;
  }
  const int index = InsertItem(LVIF_TEXT | LVIF_PARAM, GetItemCount(), LPSTR_TEXTCALLBACK, 0, 0, 0,
                               reinterpret_cast<LPARAM>(item));
  if (index < 0) return -1;
  for (int column = 1; column < 4; ++column) SetItemText(index, column, LPSTR_TEXTCALLBACK);
  return index;
}

CWFResMgmtItem* CMerOResDir::GetSelectedItem() const {
  const int index = GetNextItem(-1, LVNI_SELECTED);
  return index < 0 ? nullptr : reinterpret_cast<CWFResMgmtItem*>(GetItemData(index));
}

void CMerOResDir::SortByColumn(int column) {
  m_sortColumn = column;
  SortItems(&compareItems, static_cast<DWORD_PTR>(column));
}

void CMerOResDir::OnGetDispInfo(NMHDR* header) {
  auto* info = reinterpret_cast<NMLVDISPINFO*>(header);
  const auto* item = reinterpret_cast<const CWFResMgmtItem*>(info->item.lParam);
  if (!(info->item.mask & LVIF_TEXT) || !item || !info->item.pszText || info->item.cchTextMax <= 0) return;
  const CString shown = columnText(*item, info->item.iSubItem);
  const std::string& text = shown.str();
  const std::size_t n = std::min(text.size(), static_cast<std::size_t>(info->item.cchTextMax - 1));
  std::memcpy(info->item.pszText, text.data(), n);
  info->item.pszText[n] = '\0';
  // Asked while the list paints: reading the page back is all that is safe here.
  if (m_pPage && m_pPage->GetSafeHwnd()) m_pPage->UpdateData(TRUE);
}

void CMerOResDir::OnColumnClick(NMHDR* header) {
  SortByColumn(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
  refreshPage(TRUE);
}

void CMerOResDir::OnInsertItem(NMHDR*) {
  refreshPage(TRUE);
}

void CMerOResDir::DeleteAllResItems() {
  for (int i = 0; i < GetItemCount(); ++i) {
    delete reinterpret_cast<CWFResMgmtItem*>(GetItemData(i));
    SetItemData(i, 0);
  }
  DeleteAllItems();
}

// ---- The page ----

BEGIN_MESSAGE_MAP(CMerOResourceMgmt, CPrtOResourceMgmt)
END_MESSAGE_MAP()

CMerOResourceMgmt::CMerOResourceMgmt(CWFPrinterIcon* icon) : CPrtOResourceMgmt(icon) {
  ConstructorInit();
  m_pMerIcon = dynamic_cast<CWFMeridianIcon*>(icon);
  m_pList = new CMerOResDir(this);
  m_bAdmin = icon ? icon->IsUserAdmin() : FALSE;
}

CMerOResourceMgmt::~CMerOResourceMgmt() {
  if (m_pMerIcon) m_pMerIcon->ActivateResMgmtAlerts(FALSE);
  if (m_pList) {
    if (m_pMerIcon) m_pMerIcon->SetRMListView(FALSE);
    if (m_pList->GetSafeHwnd()) m_pList->DestroyWindow();
    delete m_pList;
  }
}

void CMerOResourceMgmt::ConstructorInit() {
  m_diskFree = "0";
  m_flashFree = "0";
  m_files = 0;
  m_pList = nullptr;
  m_bAdmin = FALSE;
  m_bListingRequested = FALSE;
}

void CMerOResourceMgmt::DoDataExchange(CDataExchange* dx) {
  // The base's exchange runs ExchangeResourceInfo.
  CPrtOResourceMgmt::DoDataExchange(dx);
  DDX_Text(dx, 1055, m_diskFree);
  DDX_Text(dx, 1054, m_flashFree);
  DDX_Text(dx, 1053, m_files);
}

BOOL CMerOResourceMgmt::OnInitDialog() {
  CPrtOResourceMgmt::OnInitDialog();
  CRect place(0, 0, 0, 0);
  if (CWnd* frame = GetDlgItem(kListFrame)) {
    frame->GetWindowRect(&place);
    CPoint corners[2] = {{place.left, place.top}, {place.right, place.bottom}};
    ScreenToClient(&corners[0]);
    ScreenToClient(&corners[1]);
    place = CRect(corners[0].x, corners[0].y, corners[1].x, corners[1].y);
  }
  m_pList->Create(WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_BORDER | LVS_REPORT | LVS_SINGLESEL |
                      LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS | LVS_AUTOARRANGE,
                  place, this, kListId);
  StartListing();
  return FALSE;
}

BOOL CMerOResourceMgmt::OnSetActive() {
  const BOOL shown = CPrtOResourceMgmt::OnSetActive();
  if (m_pMerIcon && m_pMerIcon->GetRMFormat()) OnResRefresh();
  return shown;
}

void CMerOResourceMgmt::StartListing() {
  if (!m_pMerIcon) return;
  if (m_pMerIcon->GetRMFormat()) m_pMerIcon->SetRMFormat(FALSE);
  if (m_pMerIcon->IsNewListingAllowed()) {
    m_pMerIcon->SetRMListView(TRUE);
    m_pMerIcon->ActivateResMgmtAlerts(TRUE);
  } else {
    m_bListingRequested = TRUE;
  }
}

void CMerOResourceMgmt::QueryDisk() {
  if (m_pMerIcon && m_pMerIcon->GetHDSize() != 0) m_pMerIcon->QueueDeviceList(1);
}

void CMerOResourceMgmt::OnNewItem(LPARAM lParam) {
  auto* item = reinterpret_cast<CWFResMgmtItem*>(lParam);
  if (!item) return;
  if (!m_pList->GetSafeHwnd() || m_pList->AddResItem(item) < 0) delete item;
  UpdateData(FALSE);
}

void CMerOResourceMgmt::OnListingDone() {
  if (m_pList->GetSafeHwnd()) m_pList->SortByColumn(m_pList->GetSortColumn());
  UpdateData(FALSE);
}

void CMerOResourceMgmt::OnResRefresh() {
  enablePageItem(this, kResourceRefresh, FALSE);
  if (m_pList->GetSafeHwnd()) m_pList->DeleteAllResItems();
  StartListing();
}

void CMerOResourceMgmt::ExchangeResourceInfo(CDataExchange* dx) {
  if (dx->m_bSaveAndValidate || !m_pMerIcon || !GetSafeHwnd()) return;
  const BOOL flash = m_pMerIcon->GetFlashSize() != 0;
  const BOOL disk = m_pMerIcon->GetHDSize() != 0;
  const BOOL connected = m_pMerIcon->GetConnection() != 0xFFFFFFFF;
  for (UINT id : {1056u, 1057u, 1058u}) enablePageItem(this, id, connected);
  const BOOL listed = m_pList->GetSafeHwnd() != 0;
  if (!flash && !disk) {
    m_files = 0;
    m_flashFree = "0";
    m_diskFree = "0";
    for (UINT id = 1045; id <= 1055; ++id) enablePageItem(this, id, FALSE);
    if (listed) m_pList->EnableWindow(FALSE);
    return;
  }
  if (listed) m_pList->EnableWindow(TRUE);
  m_files = listed ? m_pList->GetItemCount() : 0;
  enablePageItem(this, 1050, TRUE);
  enablePageItem(this, 1053, TRUE);
  enablePageItem(this, 1051, flash);
  enablePageItem(this, 1054, flash);
  m_flashFree = flash ? freeText(m_pMerIcon->GetFlashSize(), m_pMerIcon->GetFlashRemaining()) : CString("0");
  enablePageItem(this, 1052, disk);
  enablePageItem(this, 1055, disk);
  m_diskFree = disk ? freeText(m_pMerIcon->GetHDSize(), m_pMerIcon->GetHDRemaining()) : CString("0");
  const BOOL selected = listed && m_pList->GetSelectedItem() != nullptr;
  enablePageItem(this, 1045, flash && disk && selected && m_bAdmin);
  enablePageItem(this, 1046, flash && disk && selected && m_bAdmin);
  enablePageItem(this, 1047, selected && m_bAdmin);
  enablePageItem(this, 1048, m_bAdmin);
  if (m_bListingRequested) {
    if (m_pMerIcon->IsNewListingAllowed()) {
      m_bListingRequested = FALSE;
      m_pMerIcon->SetRMListView(TRUE);
      enablePageItem(this, kResourceRefresh, TRUE);
    } else {
      enablePageItem(this, kResourceRefresh, FALSE);
    }
  } else {
    enablePageItem(this, kResourceRefresh, m_pMerIcon->IsRefreshAllowed());
  }
}

void CMerOResourceMgmt::OnLVNGetDispInfo(NMHDR* header, LRESULT*) {
  m_pList->OnGetDispInfo(header);
}

void CMerOResourceMgmt::OnLVNColumnClick(NMHDR* header, LRESULT*) {
  m_pList->OnColumnClick(header);
}

void CMerOResourceMgmt::OnLVNInsertItem(NMHDR* header, LRESULT*) {
  m_pList->OnInsertItem(header);
  UpdateData(FALSE);
}

void CMerOResourceMgmt::runDialog(CDialog* dialog) {
  if (!dialog) return;
  dialog->DoModal();
  delete dialog;
}

void CMerOResourceMgmt::OnResCopy() {
  runDialog(new (std::nothrow) CMerOResFileDlg(CMerOResFileDlg::kCopy, this));
}

void CMerOResourceMgmt::OnResMove() {
  runDialog(new (std::nothrow) CMerOResFileDlg(CMerOResFileDlg::kMove, this));
}

void CMerOResourceMgmt::OnResDelete() {
  runDialog(new (std::nothrow) CMerOResFileDlg(CMerOResFileDlg::kDelete, this));
}

void CMerOResourceMgmt::OnResFormat() {
  runDialog(new (std::nothrow) CMerOResFormatDlg(this));
}

void CMerOResourceMgmt::OnDownloadFont() {
  if (m_pIcon) m_pIcon->DownloadFont(this, wf::moduleContaining(AfxGetApp()));
}

void CMerOResourceMgmt::OnDownloadDemo() {
  if (m_pIcon) m_pIcon->DownloadDemo(this, wf::moduleContaining(AfxGetApp()));
}

void CMerOResourceMgmt::OnDownloadOverlay() {
  if (m_pIcon) m_pIcon->DownloadOverlay(this, wf::moduleContaining(AfxGetApp()));
}
