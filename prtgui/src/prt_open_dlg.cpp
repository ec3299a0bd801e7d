// The printer notebook: routing of the notebook messages by view command,
// help sent on to the active page, the panel alerts as the user leaves.
#include "prtgui/prt_open_dlg.h"

#include <cstdint>
#include <mutex>

#include "common/app_services.h"
#include "common/notebook_messages.h"
#include "common/printer_icon.h"
#include "framework/control_styles.h"
#include "framework/global_memory.h"
#include "platform/window_messages.h"
#include "prtgui/prt_open_frame.h"
#include "prtgui/prt_pages.h"

IMPLEMENT_DYNAMIC(CPrtOpenDlg, CPropertySheet)

BEGIN_MESSAGE_MAP(CPrtOpenDlg, CPropertySheet)
ON_WM_CREATE()
ON_WM_DESTROY()
ON_WM_ACTIVATE()
ON_MESSAGE(WM_WF_UPDATEPAGE, OnWfUpdatePage)
ON_MESSAGE(WM_WF_OPPANEL, OnWfOpPanel)
ON_MESSAGE(WM_WF_JOBSTAT, OnWfJobStat)
ON_MESSAGE(WM_WF_RESMGMT, OnWfResMgmt)
ON_MESSAGE(WM_WF_RESQUERYDISK, OnWfResQueryDisk)
ON_MESSAGE(WM_WF_MESSAGE, OnWfMessage)
ON_MESSAGE(WM_WF_RESLISTINGDONE, OnWfResListingDone)
ON_MESSAGE(WM_WF_RESNEWITEM, OnWfResNewItem)
ON_MESSAGE(WM_HELP, OnHelp)
ON_MESSAGE(WM_CONTEXTMENU, OnHelpContextMenu)
END_MESSAGE_MAP()

CPrtOpenDlg::CPrtOpenDlg(CWFPrinterIcon* icon, UINT startPage, LPCSTR caption, CWnd* parent)
    : CPropertySheet(caption, parent, startPage), m_pIcon(icon) {
  // An item still queued when the notebook closes is freed where the post dies.
  static std::once_flag registered;
  std::call_once(registered, [] {
    wf::setDroppedPostHandler(WM_WF_RESNEWITEM,
                              [](WPARAM, LPARAM item) { delete reinterpret_cast<CObject*>(item); });
  });
}

CPrtOpenDlg::~CPrtOpenDlg() {
  deletePages();
}

void CPrtOpenDlg::deletePages() {
  while (GetPageCount() > 0) {
    // The shown page goes last: taking it while others remain would show
    // another, whose window the closing notebook has no use for.
    const int index = GetPageCount() > 1 && GetActiveIndex() == 0 ? GetPageCount() - 1 : 0;
    CPropertyPage* page = GetPage(index);
    RemovePage(index);
    delete page;
  }
}

int CPrtOpenDlg::SetActivePage(int page) {
  // A page the network library refused moved the later ones up; never past the end.
  if (page < 0 || page >= GetPageCount()) page = 0;
  return CPropertySheet::SetActivePage(page);
}

CPrtOpenFrame* CPrtOpenDlg::frame() const {
  return dynamic_cast<CPrtOpenFrame*>(GetParent());
}

void CPrtOpenDlg::UpdateMessage(CString text) {
  if (CPrtOpenFrame* owner = frame()) owner->SetStatusText(std::move(text));
}

CString CPrtOpenDlg::GetMessageA() {
  CPrtOpenFrame* owner = frame();
  return owner ? owner->GetStatusText() : CString();
}

BOOL CPrtOpenDlg::PreCreateWindow(CREATESTRUCT& cs) {
  cs.dwExStyle |= WS_EX_CONTEXTHELP;
  return CPropertySheet::PreCreateWindow(cs);
}

int CPrtOpenDlg::OnCreate(LPCREATESTRUCT cs) {
  if (CPropertySheet::OnCreate(cs) == -1) return -1;
  // The frame puts its status line where the sheet leaves its margin.
  CRect rect;
  GetWindowRect(&rect);
  SetWindowPos(0, 0, 0, rect.Width(), rect.Height() - GetBottomMargin(),
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (m_pIcon->GetBidiActive()) {
    if (WFAppServices* app = WFGetApp())
      app->BeginThread(&CWFPrinterIcon::UpdateGraphicInfo,
                       reinterpret_cast<void*>(std::uintptr_t{m_pIcon->GetPrinterHandle()}), 1,
                       m_pIcon->BuildDescriptiveString("UpdateGraphicInfo() from CPrtOpenDlg::OnCreate()"));
  }
  return 0;
}

void CPrtOpenDlg::OnDestroy() {
  const BOOL bidi = m_pIcon->GetBidiActive();
  if (bidi && m_pIcon->GetPanelAlertsActive()) m_pIcon->ActivatePanelAlerts(FALSE);
  m_pIcon->SetDefaultView(static_cast<UINT>(GetCurrentPage()));
  m_pIcon->ResetDlgPtr();
  // Whatever the hard errors and the setting say now, a listed frame must not
  // stay listed once it is gone.
  if (WFAppServices* app = WFGetApp())
    if (CWnd* owner = GetParent()) app->RemoveFromFlashList(owner);
  deletePages();
  CPropertySheet::OnDestroy();
}

void CPrtOpenDlg::OnActivate(UINT state, CWnd* other, BOOL minimized) {
  CPropertySheet::OnActivate(state, other, minimized);
  if (state != WA_INACTIVE || !m_pIcon->GetBidiActive() || !m_pIcon->GetPanelAlertsActive()) return;
  const int current = GetCurrentPage();
  if (current != m_pIcon->GetPageNum(WF_VIEW_STATUS) && current != m_pIcon->GetPageNum(WF_VIEW_OPPANEL))
    m_pIcon->ActivatePanelAlerts(FALSE);
}

CPropertyPage* CPrtOpenDlg::shownPage(UINT view) const {
  const int index = m_pIcon->GetPageNum(view);
  if (index < 0) return nullptr;
  CPropertyPage* page = GetPage(index);
  return page && page->m_hWnd ? page : nullptr;
}

LRESULT CPrtOpenDlg::OnWfUpdatePage(WPARAM, LPARAM) {
  for (int i = 0; i < GetPageCount(); ++i)
    if (CPropertyPage* page = GetPage(i); page->m_hWnd) page->UpdateData(FALSE);
  UpdateMessage(m_pIcon->GetStatus());
  if (CWnd* owner = GetParent()) owner->SetWindowText(m_pIcon->GetLongName());
  return 0;
}

LRESULT CPrtOpenDlg::OnWfOpPanel(WPARAM, LPARAM) {
  if (auto* status = dynamic_cast<CPrtOStatus*>(shownPage(WF_VIEW_STATUS))) status->UpdateMiniOpPanel();
  if (CPropertyPage* panel = shownPage(WF_VIEW_OPPANEL)) panel->UpdateData(FALSE);
  return 0;
}

LRESULT CPrtOpenDlg::OnWfJobStat(WPARAM, LPARAM) {
  if (CPropertyPage* page = shownPage(WF_VIEW_STATISTICS)) page->UpdateData(FALSE);
  return 0;
}

LRESULT CPrtOpenDlg::OnWfResMgmt(WPARAM, LPARAM) {
  if (CPropertyPage* page = shownPage(WF_VIEW_RESOURCES)) page->UpdateData(FALSE);
  return 0;
}

LRESULT CPrtOpenDlg::OnWfResQueryDisk(WPARAM, LPARAM) {
  if (auto* page = dynamic_cast<CPrtOResourceMgmt*>(shownPage(WF_VIEW_RESOURCES))) page->QueryDisk();
  return 0;
}

LRESULT CPrtOpenDlg::OnWfResListingDone(WPARAM, LPARAM) {
  if (auto* page = dynamic_cast<CPrtOResourceMgmt*>(shownPage(WF_VIEW_RESOURCES))) page->OnListingDone();
  return 0;
}

LRESULT CPrtOpenDlg::OnWfResNewItem(WPARAM, LPARAM item) {
  // The item is the receiver's: without a page to take it, it goes here.
  if (auto* page = dynamic_cast<CPrtOResourceMgmt*>(shownPage(WF_VIEW_RESOURCES)))
    page->OnNewItem(item);
  else
    delete reinterpret_cast<CObject*>(item);
  return 0;
}

LRESULT CPrtOpenDlg::OnWfMessage(WPARAM, LPARAM text) {
  // The text is a global block the posting made this handler's.
  HGLOBAL block = reinterpret_cast<HGLOBAL>(text);
  if (!block) {
    UpdateMessage(m_pIcon->GetStatus());
    return 0;
  }
  if (const auto* chars = static_cast<const char*>(GlobalLock(block))) {
    UpdateMessage(CString(chars, static_cast<int>(strnlen(chars, GlobalSize(block)))));
    GlobalUnlock(block);
  }
  GlobalFree(block);
  return 0;
}

LRESULT CPrtOpenDlg::OnHelp(WPARAM wParam, LPARAM lParam) {
  if (CPropertyPage* page = GetActivePage(); page && page->m_hWnd) page->SendMessage(WM_HELP, wParam, lParam);
  return 0;
}

LRESULT CPrtOpenDlg::OnHelpContextMenu(WPARAM wParam, LPARAM lParam) {
  if (CPropertyPage* page = GetActivePage(); page && page->m_hWnd)
    page->SendMessage(WM_CONTEXTMENU, wParam, lParam);
  return 0;
}
