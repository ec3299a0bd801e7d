#include "app/splash_wnd.h"

#include "app/wf_app.h"
#include "framework/dc.h"
#include "framework/gdi.h"

namespace {
constexpr UINT kSplashTimer = 6;
constexpr UINT kSplashTime = 7000;
constexpr int kWidth = 550;
constexpr int kHeight = 225;
}  // namespace

BEGIN_MESSAGE_MAP(CSplashWnd, CDialog)
ON_WM_PAINT()
ON_WM_TIMER()
END_MESSAGE_MAP()

BOOL CSplashWnd::Create() {
  return CDialog::Create(147, nullptr);
}

BOOL CSplashWnd::OnInitDialog() {
  CDialog::OnInitDialog();
  CWFApp* app = WFGetWFApp();
  m_oem = app ? app->GetOEMInstall() : FALSE;
  SetWindowPos(0, (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2, (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2,
               kWidth, kHeight, SWP_SHOWWINDOW | SWP_NOZORDER | SWP_NOACTIVATE);
  m_timer = SetTimer(kSplashTimer, kSplashTime);
  return TRUE;
}

void CSplashWnd::OnPaint() {
  CPaintDC dc(this);
  CBitmap picture;
  if (!picture.LoadBitmap(m_oem ? 129 : 107)) return;
  BITMAP info{};
  picture.GetBitmap(&info);
  CDC memory;
  memory.CreateCompatibleDC(&dc);
  CBitmap* old = memory.SelectObject(&picture);
  RECT client{};
  GetClientRect(&client);
  dc.StretchBlt(0, 0, client.right, client.bottom, &memory, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
  memory.SelectObject(old);
}

void CSplashWnd::OnTimer(UINT_PTR id) {
  if (id != kSplashTimer) return;
  KillTimer(kSplashTimer);
  CWFApp* app = WFGetWFApp();
  if (app && app->m_pMainWnd) {
    app->m_pMainWnd->ShowWindow(SW_SHOW);
    app->m_pMainWnd->UpdateWindow();
  }
  DestroyWindow();
  if (app) app->SetSplashShowing(FALSE);
}
