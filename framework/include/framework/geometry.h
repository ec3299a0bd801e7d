#pragma once
// Points, sizes and rectangles in the original platform's layout. A
// rectangle's right and bottom edges lie just outside it.
#include "platform/win_types.h"

struct CPoint {
  int x = 0;
  int y = 0;
};
using POINT = CPoint;
using LPPOINT = CPoint*;

struct CSize {
  int cx = 0;
  int cy = 0;
};
using SIZE = CSize;

struct RECT {
  LONG left = 0;
  LONG top = 0;
  LONG right = 0;
  LONG bottom = 0;
};
using LPRECT = RECT*;
using LPCRECT = const RECT*;

class CRect : public RECT {
 public:
  CRect() = default;
  CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
  CRect(const RECT& r) : RECT(r) {}  // NOLINT: converts as the original does
  CRect(CPoint topLeft, CSize size) : RECT{topLeft.x, topLeft.y, topLeft.x + size.cx, topLeft.y + size.cy} {}

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  CSize Size() const { return {Width(), Height()}; }
  CPoint TopLeft() const { return {left, top}; }
  CPoint BottomRight() const { return {right, bottom}; }
  BOOL IsRectEmpty() const { return right <= left || bottom <= top; }
  BOOL PtInRect(CPoint p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  void SetRect(int l, int t, int r, int b) { *this = CRect(l, t, r, b); }
  void OffsetRect(int dx, int dy) {
    left += dx;
    right += dx;
    top += dy;
    bottom += dy;
  }
  void InflateRect(int dx, int dy) {
    left -= dx;
    right += dx;
    top -= dy;
    bottom += dy;
  }
  void DeflateRect(int dx, int dy) { InflateRect(-dx, -dy); }
  bool operator==(const CRect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
  operator LPRECT() { return this; }
  operator LPCRECT() const { return this; }
};
