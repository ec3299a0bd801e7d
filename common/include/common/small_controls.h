#pragma once
// Child windows the printer pages draw with: a framed picture (CStaticBMP), a
// lamp of the remote operator panel (CROPButton) and a vertical level gauge
// (CGasGauge). Each paints itself in its paint handler, on the GUI thread.
#include "framework/dc.h"
#include "framework/wnd.h"

class CStaticBMP : public CWnd {
 public:
  CStaticBMP() = default;
  ~CStaticBMP() override;

  // The picture is the bitmap selected in `source`; the image takes its format.
  BOOL CreateBMPControl(HDC source, UINT state, const RECT& rect, CWnd* parent, UINT id);
  BOOL CreateBMPControl(CBitmap& bitmap, UINT state, const RECT& rect, CWnd* parent, UINT id);
  // Rebuilds the image from the bitmap selected in `source` and repaints at once.
  void UpdateImage(HDC source);
  // 1 sunken frame, 3 none, any other value raised. Draws into the image only.
  UINT ImageState(UINT state);

  void OnPaint();
  void OnDestroy();

 protected:
  CBitmap m_image;
  UINT m_state = 0;

  DECLARE_MESSAGE_MAP()
};

class CROPButton : public CWnd {
 public:
  CROPButton() = default;
  // A blinking button leaves the blink list, so the timer never posts to a gone object.
  ~CROPButton() override;

  // colour 0 green lamp, any other amber; state 0 off, 1 lit, 2 blinking.
  BOOL CreateROPButton(UINT colour, UINT state, const RECT& rect, CWnd* parent, UINT id);
  UINT SetState(UINT state);
  UINT GetState() const { return m_state; }
  LRESULT OnWfBlink(WPARAM wParam, LPARAM lParam);

  void OnPaint();

 protected:
  UINT m_state = 0;
  UINT m_colour = 0;
  BOOL m_phase = FALSE;

  DECLARE_MESSAGE_MAP()
};

class CGasGauge : public CWnd {
 public:
  CGasGauge() = default;

  // Created hidden: the page shows it when it has a level.
  BOOL InitGauge(CWnd* parent, CRect rect, UINT warningLevel, UINT id);
  void SetFillColor(COLORREF color) { m_fillColor = color; }
  void SetWarnColor(COLORREF color) { m_warnColor = color; }
  // Percent; more than 100 shows full.
  void SetLevel(UINT level);

  void OnPaint();

 protected:
  COLORREF m_fillColor = RGB(192, 192, 192);
  COLORREF m_warnColor = RGB(192, 192, 192);
  UINT m_level = 0;
  UINT m_warningLevel = 0;

  DECLARE_MESSAGE_MAP()
};
