#pragma once
// Pixels for GUI tests: what a window shows, drawn by its own paint handler,
// and a bitmap of the current resources to compare with it.
#include "framework/dc.h"

namespace wf::testing {

class WindowShot {
 public:
  explicit WindowShot(CWnd& wnd) {
    CRect client;
    wnd.GetClientRect(&client);
    width = client.Width();
    height = client.Height();
    dc_.CreateCompatibleDC(nullptr);
    bitmap_.CreateBitmap(width, height, 1, 32, nullptr);
    previous_ = dc_.SelectObject(&bitmap_);
    ok = PrintWindow(wnd.m_hWnd, dc_.m_hDC, PW_CLIENTONLY);
  }
  ~WindowShot() { dc_.SelectObject(previous_); }
  WindowShot(const WindowShot&) = delete;
  WindowShot& operator=(const WindowShot&) = delete;
  COLORREF at(int x, int y) const { return dc_.GetPixel(x, y); }
  BOOL ok = FALSE;
  int width = 0, height = 0;

 private:
  CDC dc_;
  CBitmap bitmap_;
  CBitmap* previous_ = nullptr;
};

class LoadedBitmap {
 public:
  explicit LoadedBitmap(UINT id) {
    ok = bitmap_.LoadBitmap(id);
    dc_.CreateCompatibleDC(nullptr);
    previous_ = dc_.SelectObject(&bitmap_);
    size = bitmap_.GetSize();
  }
  ~LoadedBitmap() { dc_.SelectObject(previous_); }
  LoadedBitmap(const LoadedBitmap&) = delete;
  LoadedBitmap& operator=(const LoadedBitmap&) = delete;
  COLORREF at(int x, int y) const { return dc_.GetPixel(x, y); }
  BOOL ok = FALSE;
  CSize size;

 private:
  CDC dc_;
  CBitmap bitmap_;
  CBitmap* previous_ = nullptr;
};

// The metrics of `font` in a screen-compatible context.
inline TEXTMETRIC fontMetrics(CFont& font) {
  CDC dc;
  dc.CreateCompatibleDC(nullptr);
  CFont* old = dc.SelectObject(&font);
  TEXTMETRIC metrics;
  dc.GetTextMetrics(&metrics);
  dc.SelectObject(old);
  return metrics;
}

// Number of pixels of `part` that differ from the shot at (x0, y0).
inline int mismatches(const WindowShot& shot, const LoadedBitmap& part, int x0, int y0) {
  int wrong = 0;
  for (int y = 0; y < part.size.cy; ++y)
    for (int x = 0; x < part.size.cx; ++x)
      if (shot.at(x0 + x, y0 + y) != part.at(x, y)) ++wrong;
  return wrong;
}

}  // namespace wf::testing
