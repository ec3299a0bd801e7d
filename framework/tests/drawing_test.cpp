// Device contexts and drawing objects: pixels drawn into memory contexts,
// selection hand-back, copies, text placement and painting a window.
#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include <string>
#include <vector>

#include "framework/dc.h"
#include "framework/wnd.h"
#include "gui_pump.h"
#include "wnd_widget.h"

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// A memory context with a white bitmap of w by h selected.
struct Canvas {
  Canvas(int w, int h) {
    dc.CreateCompatibleDC(nullptr);
    bitmap.CreateCompatibleBitmap(&dc, w, h);
    old = dc.SelectObject(&bitmap);
    dc.FillSolidRect(0, 0, w, h, kWhite);
  }
  ~Canvas() { dc.SelectObject(old); }
  // One character per pixel of row y from x0 to x1 (exclusive): '#' for `ink`, '.' otherwise.
  std::string row(int y, int x0, int x1, COLORREF ink) const {
    std::string s;
    for (int x = x0; x < x1; ++x) s += dc.GetPixel(x, y) == ink ? '#' : '.';
    return s;
  }
  CDC dc;
  CBitmap bitmap;
  CBitmap* old = nullptr;
};

TEST(Drawing, RectangleOutlinesWithPenFillsWithBrushAndLeavesRightAndBottomEdges) {
  Canvas c(10, 10);
  CPen pen(PS_SOLID, 1, kRed);
  CBrush brush(kBlue);
  CPen* oldPen = c.dc.SelectObject(&pen);
  CBrush* oldBrush = c.dc.SelectObject(&brush);
  c.dc.Rectangle(2, 2, 7, 6);
  EXPECT_EQ(c.row(1, 0, 10, kWhite), "##########");
  EXPECT_EQ(c.row(2, 0, 10, kRed), "..#####...");
  EXPECT_EQ(c.row(3, 0, 10, kRed), "..#...#...");
  EXPECT_EQ(c.row(3, 0, 10, kBlue), "...###....");
  EXPECT_EQ(c.row(5, 0, 10, kRed), "..#####...");
  EXPECT_EQ(c.row(6, 0, 10, kWhite), "##########");
  // What the selections replaced comes back, so the context can be restored.
  EXPECT_EQ(c.dc.SelectObject(oldPen), &pen);
  EXPECT_EQ(c.dc.SelectObject(oldBrush), &brush);
  // The stock pen is black and the stock brush white.
  c.dc.Rectangle(0, 7, 4, 10);
  EXPECT_EQ(c.row(7, 0, 5, kBlack), "####.");
  EXPECT_EQ(c.row(8, 0, 4, kWhite), ".##.");
}

TEST(Drawing, FilledRectanglesCoverExactlyTheirAreaAndEmptyOnesNothing) {
  Canvas c(8, 4);
  CBrush green(kGreen);
  CRect area(1, 1, 4, 3);
  c.dc.FillRect(&area, &green);
  c.dc.FillSolidRect(5, 0, 2, 1, kRed);
  CRect empty(6, 2, 6, 4);
  c.dc.FillRect(&empty, &green);
  EXPECT_EQ(c.row(0, 0, 8, kRed), ".....##.");
  EXPECT_EQ(c.row(1, 0, 8, kGreen), ".###....");
  EXPECT_EQ(c.row(2, 0, 8, kGreen), ".###....");
  EXPECT_EQ(c.row(3, 0, 8, kGreen), "........");
}

TEST(Drawing, LinesLeaveOutTheirLastPoint) {
  struct Case {
    CPoint from, to;
    std::vector<CPoint> lit, dark;
  };
  const std::vector<Case> cases = {
      {{1, 1}, {5, 1}, {{1, 1}, {4, 1}}, {{5, 1}, {0, 1}}},          // right
      {{5, 3}, {1, 3}, {{5, 3}, {2, 3}}, {{1, 3}, {6, 3}}},          // left
      {{2, 0}, {2, 4}, {{2, 0}, {2, 3}}, {{2, 4}}},                  // down
      {{0, 0}, {4, 4}, {{0, 0}, {1, 1}, {3, 3}}, {{4, 4}, {1, 0}}},  // diagonal
      {{3, 3}, {3, 3}, {}, {{3, 3}}},                                // a point draws nothing
  };
  for (const Case& k : cases) {
    Canvas c(8, 8);
    CPen pen(PS_SOLID, 1, kRed);
    CPen* old = c.dc.SelectObject(&pen);
    c.dc.MoveTo(k.from.x, k.from.y);
    EXPECT_TRUE(c.dc.LineTo(k.to.x, k.to.y));
    for (CPoint p : k.lit) EXPECT_EQ(c.dc.GetPixel(p.x, p.y), kRed) << p.x << "," << p.y;
    for (CPoint p : k.dark) EXPECT_EQ(c.dc.GetPixel(p.x, p.y), kWhite) << p.x << "," << p.y;
    // The next line starts where this one ended.
    EXPECT_EQ(c.dc.MoveTo(0, 0).x, k.to.x);
    c.dc.SelectObject(old);
  }
}

TEST(Drawing, PixelsOutsideTheBitmapAndOfNonMemoryContextsAreInvalid) {
  Canvas c(4, 4);
  EXPECT_EQ(c.dc.GetPixel(4, 0), CLR_INVALID);
  EXPECT_EQ(c.dc.GetPixel(-1, 2), CLR_INVALID);
  EXPECT_EQ(c.dc.SetPixel(1, 2, kBlue), kBlue);
  EXPECT_EQ(c.dc.GetPixel(1, 2), kBlue);
  CClientDC client(nullptr);
  EXPECT_EQ(client.GetPixel(0, 0), CLR_INVALID);
  CDC unset;
  EXPECT_EQ(unset.GetPixel(0, 0), CLR_INVALID);
}

TEST(Drawing, BitBltCopiesAndStretchBltScalesBetweenMemoryContexts) {
  Canvas source(2, 2);
  source.dc.SetPixel(0, 0, kRed);
  source.dc.SetPixel(1, 1, kBlue);
  Canvas target(6, 6);
  EXPECT_TRUE(target.dc.BitBlt(3, 0, 2, 2, &source.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(target.dc.GetPixel(3, 0), kRed);
  EXPECT_EQ(target.dc.GetPixel(4, 1), kBlue);
  EXPECT_EQ(target.dc.GetPixel(5, 0), kWhite);
  EXPECT_TRUE(target.dc.StretchBlt(0, 2, 4, 4, &source.dc, 0, 0, 2, 2, SRCCOPY));
  EXPECT_EQ(target.row(2, 0, 4, kRed), "##..");
  EXPECT_EQ(target.row(3, 0, 4, kRed), "##..");
  EXPECT_EQ(target.row(5, 0, 4, kBlue), "..##");
  // Overlapping copy within one bitmap reads the pixels as they were.
  EXPECT_TRUE(target.dc.BitBlt(1, 0, 4, 1, &target.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(target.row(0, 0, 6, kRed), "....#.");
  // Only plain copies from memory contexts.
  EXPECT_FALSE(target.dc.BitBlt(0, 0, 2, 2, &source.dc, 0, 0, 0x00EE0086));
  CClientDC screen(nullptr);
  EXPECT_FALSE(target.dc.BitBlt(0, 0, 2, 2, &screen, 0, 0, SRCCOPY));
}

TEST(Drawing, BitmapsReportTheirSizeAndFormatAndCannotBeDeletedWhileSelected) {
  CDC dc;
  ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
  CBitmap bitmap;
  ASSERT_TRUE(bitmap.CreateBitmap(40, 20, 1, 8, nullptr));
  BITMAP info;
  ASSERT_EQ(bitmap.GetBitmap(&info), static_cast<int>(sizeof(BITMAP)));
  EXPECT_EQ(info.bmWidth, 40);
  EXPECT_EQ(info.bmHeight, 20);
  EXPECT_EQ(info.bmBitsPixel, 8);
  CBitmap* stock = dc.SelectObject(&bitmap);
  ASSERT_NE(stock, nullptr);
  EXPECT_EQ(stock->GetSize().cx, 1);  // a fresh memory context holds a 1x1 bitmap
  EXPECT_EQ(dc.GetCurrentBitmap(), &bitmap);
  EXPECT_FALSE(bitmap.DeleteObject());
  dc.SelectObject(stock);
  EXPECT_TRUE(bitmap.DeleteObject());
  EXPECT_EQ(bitmap.GetBitmap(&info), 0);
  // A pen is not a bitmap, and a deleted object cannot be selected.
  EXPECT_EQ(dc.SelectObject(&bitmap), nullptr);
}

TEST(Drawing, BitmapDestroyedWhileSelectedStaysDrawableUntilTheContextLetsGo) {
  CDC dc;
  dc.CreateCompatibleDC(nullptr);
  CBitmap* stock = nullptr;
  {
    CBitmap bitmap;
    bitmap.CreateBitmap(3, 3, 1, 32, nullptr);
    stock = dc.SelectObject(&bitmap);
  }
  dc.FillSolidRect(0, 0, 3, 3, kGreen);
  EXPECT_EQ(dc.GetPixel(2, 2), kGreen);
  // What replaces it is told that the old object is gone.
  EXPECT_EQ(dc.SelectObject(stock), nullptr);
  EXPECT_EQ(dc.GetPixel(0, 0), RGB(0, 0, 0));  // the stock 1x1 bitmap is back
  EXPECT_EQ(dc.GetPixel(2, 2), CLR_INVALID);
}

TEST(Drawing, DrawTextPlacesTextByItsAlignmentFlags) {
  CFont font;
  ASSERT_TRUE(font.CreateFont(-14, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, "Sans"));
  LOGFONT lf;
  ASSERT_EQ(font.GetLogFont(&lf), static_cast<int>(sizeof lf));
  EXPECT_EQ(lf.lfHeight, -14);
  EXPECT_STREQ(lf.lfFaceName, "Sans");

  // Which columns and rows hold ink after drawing "WWW" with `format` into a 120x40 box.
  auto inkBox = [&](UINT format) {
    Canvas c(120, 40);
    c.dc.SelectObject(&font);
    c.dc.SetBkMode(TRANSPARENT);
    CRect box(0, 0, 120, 40);
    c.dc.DrawText("WWW", &box, format);
    CRect ink(120, 40, 0, 0);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 120; ++x)
        if (c.dc.GetPixel(x, y) != kWhite) {
          ink.left = std::min<LONG>(ink.left, x);
          ink.top = std::min<LONG>(ink.top, y);
          ink.right = std::max<LONG>(ink.right, x + 1);
          ink.bottom = std::max<LONG>(ink.bottom, y + 1);
        }
    c.dc.SelectObject(c.dc.GetCurrentFont());
    return ink;
  };
  const CRect left = inkBox(DT_LEFT | DT_TOP | DT_SINGLELINE);
  const CRect centre = inkBox(DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  const CRect right = inkBox(DT_RIGHT | DT_BOTTOM | DT_SINGLELINE);
  ASSERT_FALSE(left.IsRectEmpty());
  EXPECT_LT(left.left, 4);
  EXPECT_LT(left.top, 8);
  EXPECT_NEAR((centre.left + centre.right) / 2, 60, 3);
  EXPECT_NEAR((centre.top + centre.bottom) / 2, 20, 4);
  EXPECT_GT(right.right, 115);
  EXPECT_GT(right.bottom, 32);
  EXPECT_NEAR(left.Width(), right.Width(), 1);  // glyphs may sit on another sub-pixel

  Canvas c(10, 10);
  CFont* stock = c.dc.SelectObject(&font);
  TEXTMETRIC tm;
  ASSERT_TRUE(c.dc.GetTextMetrics(&tm));
  EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
  EXPECT_GE(tm.tmHeight, 14);
  EXPECT_GT(tm.tmAveCharWidth, 0);
  EXPECT_GE(tm.tmWeight, FW_BOLD);
  CRect measured(5, 5, 5, 5);
  const int height = c.dc.DrawText("WWW", &measured, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_EQ(height, measured.Height());
  EXPECT_EQ(measured.Width(), c.dc.GetTextExtent("WWW").cx);
  EXPECT_EQ(c.dc.GetPixel(5, 5), kWhite);  // measuring draws nothing
  c.dc.SelectObject(stock);
}

TEST(Drawing, SystemColoursAndMetricsAreFixed) {
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(192, 192, 192));
  EXPECT_EQ(GetSysColor(COLOR_BTNSHADOW), RGB(128, 128, 128));
  EXPECT_EQ(GetSysColor(COLOR_BTNHIGHLIGHT), RGB(255, 255, 255));
  EXPECT_EQ(GetSystemMetrics(SM_CXICON), 32);
  EXPECT_EQ(GetSystemMetrics(SM_CXSMICON), 16);
  EXPECT_EQ(GetSystemMetrics(SM_CYHSCROLL), 16);
  EXPECT_GT(GetSystemMetrics(SM_CXSCREEN), 0);
  CClientDC screen(nullptr);
  EXPECT_EQ(screen.GetDeviceCaps(HORZRES), GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(screen.GetDeviceCaps(LOGPIXELSY), 96);
}

// Paints a red frame around a blue client area from its paint handler.
class PaintedWnd : public CWnd {
 public:
  int paints = 0;
  void OnPaint() {
    ++paints;
    CPaintDC dc(this);
    CRect client;
    GetClientRect(&client);
    dc.FillSolidRect(&client, kBlue);
    CPen pen(PS_SOLID, 1, kRed);
    CPen* old = dc.SelectObject(&pen);
    dc.MoveTo(0, 0);
    dc.LineTo(client.right, 0);
    dc.SelectObject(old);
  }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(PaintedWnd, CWnd)
ON_WM_PAINT()
END_MESSAGE_MAP()

TEST(Drawing, PaintContextDrawsIntoTheWindowDuringItsPaintAndImmediateRepaintRunsIt) {
  PaintedWnd wnd;
  ASSERT_TRUE(wnd.CreateEx(0, "PaintTest", "paint", WS_OVERLAPPED, 0, 0, 40, 30, 0));
  wnd.ShowWindow(SW_SHOW);
  auto* widget = wf::fw::widgetOf(wnd.m_hWnd);
  ASSERT_NE(widget, nullptr);
  ASSERT_TRUE(wf::fw::testing::pumpUntil([&] { return wnd.paints > 0; }));
  const int before = wnd.paints;
  wnd.Invalidate();
  wnd.UpdateWindow();
  EXPECT_GT(wnd.paints, before);
  const QImage shot = widget->grab().toImage();
  // 40 by 30 is the outer size; the client is what the window system's frame leaves.
  CRect client;
  wnd.GetClientRect(&client);
  ASSERT_GT(client.Width(), 20);
  EXPECT_EQ(shot.pixelColor(5, 0), QColor(255, 0, 0));
  EXPECT_EQ(shot.pixelColor(client.right - 1, 0), QColor(255, 0, 0));
  EXPECT_EQ(shot.pixelColor(client.right / 2, client.bottom / 2), QColor(0, 0, 255));
  // Outside painting the same calls draw nothing and do no harm.
  CPaintDC outside(&wnd);
  EXPECT_TRUE(outside.Rectangle(0, 0, 5, 5));
  EXPECT_EQ(outside.GetPixel(0, 0), CLR_INVALID);
  wnd.DestroyWindow();
}

TEST(Drawing, PrintWindowCopiesWhatThePaintHandlerDrawsIntoAMemoryBitmap) {
  CWnd parent;
  ASSERT_TRUE(parent.CreateEx(0, "PrintParent", "print", WS_OVERLAPPED, 0, 0, 80, 60, 0));
  PaintedWnd child;
  ASSERT_TRUE(child.Create("STATIC", "", WS_CHILD | WS_VISIBLE, 4, 4, 20, 10, &parent, 7));
  CDC memory;
  memory.CreateCompatibleDC(nullptr);
  CBitmap bitmap;
  bitmap.CreateBitmap(30, 20, 1, 32, nullptr);
  CBitmap* old = memory.SelectObject(&bitmap);
  ASSERT_TRUE(PrintWindow(child.m_hWnd, memory.m_hDC, PW_CLIENTONLY));
  EXPECT_GT(child.paints, 0);
  EXPECT_EQ(memory.GetPixel(3, 0), kRed);
  EXPECT_EQ(memory.GetPixel(10, 5), kBlue);
  EXPECT_EQ(memory.GetPixel(25, 15), RGB(0, 0, 0));  // beyond the window: untouched
  // Only memory contexts with a bitmap and live windows.
  CClientDC screen(nullptr);
  EXPECT_FALSE(PrintWindow(child.m_hWnd, screen.m_hDC, 0));
  EXPECT_FALSE(PrintWindow(0x7FFFFFF0, memory.m_hDC, 0));
  memory.SelectObject(old);
  parent.DestroyWindow();
}

}  // namespace
