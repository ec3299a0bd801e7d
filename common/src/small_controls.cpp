#include "common/small_controls.h"

#include <algorithm>

#include "common/app_services.h"

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kLightGrey = 0xC0C0C0;
constexpr COLORREF kDarkGrey = 0x808080;
constexpr COLORREF kGreenLamp = 0x00FF00;
constexpr COLORREF kAmberLamp = 0x008CF4;

// A memory context holding `bitmap` while it lives.
class BitmapContext {
 public:
  explicit BitmapContext(CBitmap& bitmap) {
    dc.CreateCompatibleDC(nullptr);
    previous_ = dc.SelectObject(&bitmap);
  }
  ~BitmapContext() {
    if (previous_) dc.SelectObject(previous_);
  }
  BitmapContext(const BitmapContext&) = delete;
  BitmapContext& operator=(const BitmapContext&) = delete;
  CDC dc;

 private:
  CBitmap* previous_ = nullptr;
};

// Rectangle with the context's pen and a solid brush of `colour`.
void drawRectangle(CDC& dc, const RECT& rect, COLORREF colour) {
  CBrush brush(colour);
  CBrush* previous = dc.SelectObject(&brush);
  dc.Rectangle(&rect);
  dc.SelectObject(previous);
}

BOOL createChildStatic(CWnd& wnd, DWORD style, const RECT& rect, CWnd* parent, UINT id) {
  return wnd.Create("STATIC", "", WS_CHILD | style, rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top, parent, id);
}

CRect clientRect(const CWnd& wnd) {
  CRect client;
  wnd.GetClientRect(&client);
  return client;
}

// Start of a picture of `size` pixels in `room` with margin `margin`; a
// picture that does not fit is cut to the room inside the margins.
int placePicture(LONG& size, int room, int margin) {
  if (size < room - 2 * margin) return margin + (room - size) / 2;
  size = room - 2 * margin;
  return margin;
}

}  // namespace

// --- CStaticBMP ---

BEGIN_MESSAGE_MAP(CStaticBMP, CWnd)
ON_WM_PAINT()
ON_WM_DESTROY()
END_MESSAGE_MAP()

CStaticBMP::~CStaticBMP() {
  // While this class is still whole, so its own destroy handler runs.
  DestroyWindow();
}

BOOL CStaticBMP::CreateBMPControl(HDC source, UINT state, const RECT& rect, CWnd* parent, UINT id) {
  if (!createChildStatic(*this, 0, rect, parent, id)) return FALSE;
  m_state = state;
  UpdateImage(source);
  ShowWindow(SW_SHOW);
  return TRUE;
}

BOOL CStaticBMP::CreateBMPControl(CBitmap& bitmap, UINT state, const RECT& rect, CWnd* parent, UINT id) {
  BitmapContext source(bitmap);
  return CreateBMPControl(source.dc.GetSafeHdc(), state, rect, parent, id);
}

void CStaticBMP::UpdateImage(HDC source) {
  CDC* sourceDc = CDC::FromHandle(source);
  CBitmap* picture = sourceDc ? sourceDc->GetCurrentBitmap() : nullptr;
  BITMAP info;
  if (!m_hWnd || !picture || !picture->GetBitmap(&info)) return;
  const int margin = m_state == 3 ? 0 : 2;
  const CRect client = clientRect(*this);
  LONG width = info.bmWidth;
  LONG height = info.bmHeight;
  const int x = placePicture(width, client.Width(), margin);
  const int y = placePicture(height, client.Height(), margin);

  CBitmap image;
  if (!image.CreateBitmap(client.Width(), client.Height(), info.bmPlanes, info.bmBitsPixel, nullptr)) return;
  {
    BitmapContext target(image);
    drawRectangle(target.dc, client, sourceDc->GetPixel(0, 0));
    // A client smaller than both margins leaves no room to copy into.
    if (width > 0 && height > 0) target.dc.BitBlt(x, y, width, height, sourceDc, 0, 0, SRCCOPY);
  }
  m_image.DeleteObject();
  m_image.Attach(image.Detach());
  ImageState(m_state);
  Invalidate(TRUE);
  UpdateWindow();
}

UINT CStaticBMP::ImageState(UINT state) {
  m_state = state;
  if (state == 3 || !m_image.GetSafeHandle() || !m_hWnd) return state;
  const CRect client = clientRect(*this);
  const int w = client.Width() - 1;
  const int h = client.Height() - 1;
  const bool sunken = state == 1;
  const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
  const COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  struct Line {
    CPoint from, corner, to;
    COLORREF colour;
  };
  const Line lines[] = {
      {{0, h}, {0, 0}, {w, 0}, sunken ? shadow : highlight},
      {{w, 0}, {w, h}, {0, h}, sunken ? highlight : shadow},
      {{1, h - 1}, {1, 1}, {w - 1, 1}, sunken ? kBlack : face},
      {{w - 1, 1}, {w - 1, h - 1}, {1, h - 1}, sunken ? face : kBlack},
  };
  BitmapContext target(m_image);
  for (const Line& line : lines) {
    CPen pen(PS_SOLID, 1, line.colour);
    CPen* previous = target.dc.SelectObject(&pen);
    target.dc.MoveTo(line.from.x, line.from.y);
    target.dc.LineTo(line.corner.x, line.corner.y);
    target.dc.LineTo(line.to.x, line.to.y);
    target.dc.SelectObject(previous);
  }
  return state;
}

void CStaticBMP::OnPaint() {
  CPaintDC dc(this);
  if (!m_image.GetSafeHandle()) return;
  const CRect client = clientRect(*this);
  BitmapContext image(m_image);
  dc.BitBlt(0, 0, client.Width(), client.Height(), &image.dc, 0, 0, SRCCOPY);
}

void CStaticBMP::OnDestroy() {
  m_image.DeleteObject();
  CWnd::OnDestroy();
}

// --- CROPButton ---

BEGIN_MESSAGE_MAP(CROPButton, CWnd)
ON_MESSAGE(WM_WF_BLINK, OnWfBlink)
ON_WM_PAINT()
END_MESSAGE_MAP()

CROPButton::~CROPButton() {
  if (m_state != 2) return;
  if (WFAppServices* app = WFGetApp()) app->RemoveFromBlinkList(this);
}

BOOL CROPButton::CreateROPButton(UINT colour, UINT state, const RECT& rect, CWnd* parent, UINT id) {
  if (!createChildStatic(*this, 0, rect, parent, id)) return FALSE;
  m_colour = colour;
  m_state = 0;
  SetState(state);
  ShowWindow(SW_SHOW);
  return TRUE;
}

UINT CROPButton::SetState(UINT state) {
  if (state == m_state) return state;
  WFAppServices* app = WFGetApp();
  if (state == 2) {
    m_phase = TRUE;
    if (app) app->AddToBlinkList(this);
  }
  if (m_state == 2 && app) app->RemoveFromBlinkList(this);
  m_state = state;
  Invalidate(TRUE);
  UpdateWindow();
  return state;
}

LRESULT CROPButton::OnWfBlink(WPARAM, LPARAM) {
  m_phase = !m_phase;
  Invalidate(TRUE);
  return 0;
}

void CROPButton::OnPaint() {
  CPaintDC dc(this);
  const bool dark = m_state == 0 || (m_state == 2 && !m_phase);
  const COLORREF colour = dark ? kDarkGrey : m_colour == 0 ? kGreenLamp : kAmberLamp;
  drawRectangle(dc, clientRect(*this), colour);
}

// --- CGasGauge ---

BEGIN_MESSAGE_MAP(CGasGauge, CWnd)
ON_WM_PAINT()
END_MESSAGE_MAP()

BOOL CGasGauge::InitGauge(CWnd* parent, CRect rect, UINT warningLevel, UINT id) {
  if (!createChildStatic(*this, 10, rect, parent, id)) return FALSE;
  m_warningLevel = warningLevel;
  return TRUE;
}

void CGasGauge::SetLevel(UINT level) {
  if (level == m_level) return;
  m_level = std::min(level, 100U);
  if (m_hWnd) Invalidate(TRUE);
}

void CGasGauge::OnPaint() {
  CPaintDC dc(this);
  const CRect client = clientRect(*this);
  const int filled = client.Height() * static_cast<int>(m_level) / 100;
  const COLORREF colour = m_level > m_warningLevel ? m_fillColor : m_warnColor;
  drawRectangle(dc, CRect(client.left, client.bottom - filled, client.right, client.bottom), colour);
  drawRectangle(dc, CRect(client.left, client.top, client.right, client.bottom - filled), kLightGrey);
}
