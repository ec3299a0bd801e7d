#pragma once
// Device contexts over Qt painting. A memory context draws into the bitmap
// selected into it; a paint context draws into its window during WM_PAINT;
// a client context outside painting only measures (a window is drawn from
// its paint handler, never from outside); a printer context draws pages of
// a document (printing.h). Selecting an object returns the one it replaced,
// so that it can be put back. Lines and rectangles follow the original
// platform's rule: right and bottom edges and a line's last point are not drawn.
#include <memory>

#include "framework/cstring.h"
#include "framework/gdi.h"

class CWnd;

using HDC = void*;

// Raster operations; copies are plain, the others are not offered.
constexpr DWORD SRCCOPY = 0x00CC0020;

constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// DrawText formats.
constexpr UINT DT_TOP = 0x0000;
constexpr UINT DT_LEFT = 0x0000;
constexpr UINT DT_CENTER = 0x0001;
constexpr UINT DT_RIGHT = 0x0002;
constexpr UINT DT_VCENTER = 0x0004;
constexpr UINT DT_BOTTOM = 0x0008;
constexpr UINT DT_WORDBREAK = 0x0010;
constexpr UINT DT_SINGLELINE = 0x0020;
constexpr UINT DT_NOCLIP = 0x0100;
constexpr UINT DT_CALCRECT = 0x0400;
constexpr UINT DT_NOPREFIX = 0x0800;

// GetDeviceCaps indexes.
constexpr int HORZSIZE = 4;
constexpr int VERTSIZE = 6;
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;

struct TEXTMETRIC {
  LONG tmHeight = 0;
  LONG tmAscent = 0;
  LONG tmDescent = 0;
  LONG tmInternalLeading = 0;
  LONG tmExternalLeading = 0;
  LONG tmAveCharWidth = 0;
  LONG tmMaxCharWidth = 0;
  LONG tmWeight = 0;
};

struct DOCINFO {
  int cbSize = sizeof(DOCINFO);
  LPCSTR lpszDocName = nullptr;
  LPCSTR lpszOutput = nullptr;
};

class CDC : public CObject {
  DECLARE_DYNAMIC(CDC)
 public:
  CDC();
  ~CDC() override;  // deletes the context it owns
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;

  HDC m_hDC = nullptr;
  HDC GetSafeHdc() const { return m_hDC; }
  operator HDC() const { return m_hDC; }
  // The CDC of a live context; the context keeps it. Null for an unknown handle.
  static CDC* FromHandle(HDC dc);

  // A memory context of the screen's format with a 1x1 bitmap selected.
  BOOL CreateCompatibleDC(CDC* dc);
  BOOL DeleteDC();
  BOOL Attach(HDC dc);  // takes ownership
  HDC Detach();

  CPen* SelectObject(CPen* pen);
  CBrush* SelectObject(CBrush* brush);
  CFont* SelectObject(CFont* font);
  CBitmap* SelectObject(CBitmap* bitmap);  // memory contexts only; null on failure
  CBitmap* GetCurrentBitmap() const;
  CFont* GetCurrentFont() const;

  COLORREF SetTextColor(COLORREF color);
  COLORREF SetBkColor(COLORREF color);
  int SetBkMode(int mode);

  CPoint MoveTo(int x, int y);
  BOOL LineTo(int x, int y);
  BOOL Rectangle(int left, int top, int right, int bottom);
  BOOL Rectangle(LPCRECT rect) { return Rectangle(rect->left, rect->top, rect->right, rect->bottom); }
  void FillRect(LPCRECT rect, CBrush* brush);
  void FillSolidRect(LPCRECT rect, COLORREF color);
  void FillSolidRect(int x, int y, int cx, int cy, COLORREF color);
  COLORREF GetPixel(int x, int y) const;  // CLR_INVALID outside the bitmap or on other contexts
  COLORREF SetPixel(int x, int y, COLORREF color);

  BOOL BitBlt(int x, int y, int width, int height, CDC* source, int xSrc, int ySrc, DWORD rop);
  BOOL StretchBlt(int x, int y, int width, int height, CDC* source, int xSrc, int ySrc, int srcWidth,
                  int srcHeight, DWORD rop);
  BOOL DrawIcon(int x, int y, HICON icon);

  BOOL TextOut(int x, int y, const CString& text);
  // Returns the text's height; DT_CALCRECT only measures, into `rect`.
  int DrawText(const CString& text, LPRECT rect, UINT format);
  CSize GetTextExtent(const CString& text) const;
  BOOL GetTextMetrics(TEXTMETRIC* metrics) const;
  int GetDeviceCaps(int index) const;

  // Printer contexts (printing.h); <= 0 on failure or on other contexts.
  int StartDoc(LPCSTR docName);
  int StartDoc(const DOCINFO* info) { return StartDoc(info ? info->lpszDocName : nullptr); }
  int StartPage();
  int EndPage();
  int EndDoc();
  int AbortDoc();

  struct State;  // the context behind an HDC, inside the layer

 protected:
  // Makes this object the owner of a new context.
  void adopt(State* state);

 private:
  bool owns_ = false;
};

// Draws into `window` during its WM_PAINT; elsewhere it only measures.
class CPaintDC : public CDC {
  DECLARE_DYNAMIC(CPaintDC)
 public:
  explicit CPaintDC(CWnd* window);
};

// Measures text and the device for `window`; drawing through it shows nothing.
class CClientDC : public CDC {
  DECLARE_DYNAMIC(CClientDC)
 public:
  explicit CClientDC(CWnd* window);
};

BOOL DeleteDC(HDC dc);

// Draws a window of the GUI thread, as its own paint handler and those of its
// children paint it, into the bitmap of a memory context at (0, 0). Only the
// client area is drawn, whatever the flags.
constexpr UINT PW_CLIENTONLY = 1;
BOOL PrintWindow(HWND hwnd, HDC dc, UINT flags);
