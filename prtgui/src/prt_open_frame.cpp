// The notebook's frame: layout around the notebook, the status line, the
// cascade, and the caption image that flashes during a hard error.
#include "prtgui/prt_open_frame.h"

#include <cstdint>

#include "common/app_services.h"
#include "common/printer_icon.h"
#include "framework/control_styles.h"
#include "framework/dc.h"
#include "framework/dialog.h"
#include "framework/image_list.h"
#include "prtgui/prt_open_dlg.h"

namespace {
constexpr UINT kBidiStatusString = 451;
constexpr DWORD kFrameStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kNotebookStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_SYSMENU;
const HBRUSH kClassBackground = reinterpret_cast<HBRUSH>(std::uintptr_t{5});
}  // namespace

void wf::prtgui::stepCascade(WF_CASCADE_POS& pos, int frameWidth, int frameHeight, int screenWidth,
                             int screenHeight) {
  pos.x += pos.step;
  pos.y += pos.step;
  if (screenWidth <= 0 || screenHeight <= 0) return;
  if (pos.x + frameWidth > screenWidth) {
    pos.y = (pos.x + frameWidth) % screenWidth;
    pos.x = pos.y;
  } else if (pos.y + frameHeight > screenHeight) {
    pos.y = (pos.y + frameHeight) % screenHeight;
    pos.x = pos.y;
  } else {
    pos.x %= screenWidth;
    pos.y %= screenHeight;
  }
}

// ---- Status line ----

BEGIN_MESSAGE_MAP(CPrtOStatusLine, CStatic)
ON_WM_PAINT()
END_MESSAGE_MAP()

CPrtOStatusLine::CPrtOStatusLine() {
  if (!m_font.GetSafeHandle()) m_font.CreateFont(-11, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "MS Sans Serif");
}

void CPrtOStatusLine::SetText(CString text) {
  if (text == m_text) return;
  m_text = std::move(text);
  Invalidate(TRUE);
  UpdateWindow();
}

void CPrtOStatusLine::OnPaint() {
  CPaintDC dc(this);
  CRect client;
  GetClientRect(&client);
  dc.FillSolidRect(&client, GetSysColor(COLOR_BTNFACE));
  CFont* old = dc.SelectObject(&m_font);
  dc.SetBkMode(TRANSPARENT);
  client.left += GetSystemMetrics(SM_CXDLGFRAME) + 1;
  dc.DrawText(m_text, &client, DT_SINGLELINE | DT_VCENTER);
  dc.SelectObject(old);
}

// ---- Frame ----

BEGIN_MESSAGE_MAP(CPrtOpenFrame, CFrameWnd)
ON_WM_CREATE()
ON_WM_PAINT()
ON_WM_ACTIVATE()
ON_WM_CLOSE()
ON_MESSAGE(WM_WF_FLASH, OnWfFlash)
END_MESSAGE_MAP()

CPrtOpenFrame::CPrtOpenFrame(CWFPrinterIcon* icon, CPrtOpenDlg* notebook)
    : m_pNotebook(notebook), m_pIcon(icon), m_bShowError(icon->GetAnyHardErrors() ? FALSE : TRUE) {}

CPrtOpenFrame::~CPrtOpenFrame() {
  delete m_pNotebook;
  delete m_pStatusLine;
  for (auto& [key, icon] : m_icons) DestroyIcon(icon);
}

HICON CPrtOpenFrame::imageIcon(int index, bool big) {
  auto found = m_icons.find({index, big});
  if (found != m_icons.end()) return found->second;
  WFAppServices* app = WFGetApp();
  CImageList* list = !app ? nullptr : big ? app->GetNormalImageList() : app->GetSmallImageList();
  HICON icon = list ? list->ExtractIcon(index) : nullptr;
  if (icon) m_icons.emplace(std::make_pair(index, big), icon);
  return icon;
}

BOOL CPrtOpenFrame::CreateFrame() {
  const int index = m_pIcon->GetIconIndex();
  HICON small = imageIcon(index, false);
  LPCSTR windowClass = AfxRegisterWndClass(CS_VREDRAW | CS_HREDRAW, nullptr, kClassBackground, small);
  m_bCreating = true;
  const BOOL made =
      CreateEx(WS_EX_CONTEXTHELP, windowClass, m_pIcon->GetLongName(), kFrameStyle, 0, 0, 10, 10, 0);
  m_bCreating = false;
  if (!made) return FALSE;
  if (WFAppServices* app = WFGetApp(); app && index == m_pIcon->GetErrorIconIndex())
    app->AddToFlashList(this);
  PostMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  PostMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(imageIcon(index, true)));
  return TRUE;
}

void CPrtOpenFrame::OnClose() {
  // The dialog's page would go under its running loop.
  CDialog* modal = wf::fw::runningModalDialog();
  if (modal && modal->m_hWnd && ::GetWindowOwner(modal->m_hWnd) == m_hWnd) {
    modal->SendMessage(WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED), 0);
    PostMessage(WM_CLOSE, 0, 0);
    return;
  }
  CFrameWnd::OnClose();
}

void CPrtOpenFrame::PostNcDestroy() {
  if (!m_bCreating) delete this;
}

int CPrtOpenFrame::OnCreate(LPCREATESTRUCT cs) {
  const int base = CFrameWnd::OnCreate(cs);
  if (base == -1) return base;
  if (!m_pNotebook || !m_pNotebook->Create(this, kNotebookStyle, 0)) return -1;

  CRect notebook;
  m_pNotebook->GetWindowRect(&notebook);
  CRect frame(0, 0, notebook.Width(), notebook.Height() + GetSystemMetrics(SM_CYHSCROLL));
  CalcWindowRect(&frame);
  SetWindowPos(0, 0, 0, frame.Width(), frame.Height(), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  m_pNotebook->SetWindowPos(0, 0, 0, notebook.Width(), notebook.Height(), SWP_NOZORDER | SWP_NOACTIVATE);

  CRect client;
  GetClientRect(&client);
  CRect line(0, notebook.Height(), notebook.Width(), client.bottom);
  if (CPropertyPage* page = m_pNotebook->GetActivePage(); page && page->m_hWnd) {
    CRect pageRect;
    page->GetWindowRect(&pageRect);
    CPoint topLeft = pageRect.TopLeft(), bottomRight = pageRect.BottomRight();
    ScreenToClient(&topLeft);
    ScreenToClient(&bottomRight);
    line = CRect(topLeft.x - 1, bottomRight.y + GetSystemMetrics(SM_CYFRAME) + 1, bottomRight.x + 1,
                 client.bottom);
  }
  m_pStatusLine = new CPrtOStatusLine;
  if (!m_pStatusLine->CreateEx(0, WC_STATIC, "", WS_CHILD | WS_VISIBLE, line.left, line.top, line.Width(),
                               std::max(line.Height(), 1), m_hWnd, CPrtOStatusLine::kId))
    return -1;

  placeOnCascade();

  CString text;
  if (m_pIcon->GetBidiActive())
    text.LoadString(kBidiStatusString);
  else
    text = m_pIcon->GetStatus();
  m_pStatusLine->SetText(text);
  return 0;
}

void CPrtOpenFrame::placeOnCascade() {
  WFAppServices* app = WFGetApp();
  WF_CASCADE_POS* pos = app ? app->GetCascadePos() : nullptr;
  if (!pos) return;
  CRect window;
  GetWindowRect(&window);
  CClientDC dc(this);
  wf::prtgui::stepCascade(*pos, window.Width(), window.Height(), dc.GetDeviceCaps(HORZRES),
                          dc.GetDeviceCaps(VERTRES));
  SetWindowPos(0, pos->x, pos->y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  Invalidate(TRUE);
  UpdateWindow();
}

void CPrtOpenFrame::SetStatusText(CString text) {
  if (m_pStatusLine && m_pStatusLine->m_hWnd) m_pStatusLine->SetText(std::move(text));
}

CString CPrtOpenFrame::GetStatusText() {
  return m_pStatusLine ? m_pStatusLine->GetText() : CString();
}

int CPrtOpenFrame::SetActivePage(int page) {
  return m_pNotebook ? m_pNotebook->SetActivePage(page) : FALSE;
}

void CPrtOpenFrame::OnPaint() {
  CPaintDC dc(this);
  CRect client;
  GetClientRect(&client);
  dc.FillSolidRect(&client, GetSysColor(COLOR_BTNFACE));
}

void CPrtOpenFrame::OnActivate(UINT state, CWnd* other, BOOL minimized) {
  CFrameWnd::OnActivate(state, other, minimized);
  if (m_pNotebook && m_pNotebook->m_hWnd)
    m_pNotebook->SendMessage(WM_ACTIVATE, MAKELONG(state, minimized),
                             static_cast<LPARAM>(other ? other->m_hWnd : 0));
}

LRESULT CPrtOpenFrame::OnWfFlash(WPARAM, LPARAM) {
  const int index = m_bShowError ? m_pIcon->GetErrorIconIndex() : m_pIcon->GetNormalIconIndex();
  m_bShowError = !m_bShowError;
  PostMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(imageIcon(index, false)));
  return 0;
}
