#pragma once
// Drawing objects: pens, brushes, fonts, bitmaps and icons, with the original
// platform's colours (0x00BBGGRR) and its fixed system colours and metrics,
// so drawing gives the same pixels on every machine. Each object's handle
// stays valid until the object is deleted; one still selected into a device
// context keeps its pixels until that context lets it go.
#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/geometry.h"
#include "framework/object.h"
#include "framework/resources.h"

using COLORREF = DWORD;
using HGDIOBJ = void*;
using HPEN = void*;
using HBRUSH = void*;
using HFONT = void*;
using HBITMAP = void*;
using HICON = void*;

constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
  return COLORREF{r} | (COLORREF{g} << 8) | (COLORREF{b} << 16);
}
constexpr BYTE GetRValue(COLORREF c) {
  return static_cast<BYTE>(c & 0xFF);
}
constexpr BYTE GetGValue(COLORREF c) {
  return static_cast<BYTE>((c >> 8) & 0xFF);
}
constexpr BYTE GetBValue(COLORREF c) {
  return static_cast<BYTE>((c >> 16) & 0xFF);
}
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

// System colours.
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_BTNSHADOW = 16;
constexpr int COLOR_GRAYTEXT = 17;
constexpr int COLOR_BTNTEXT = 18;
constexpr int COLOR_BTNHIGHLIGHT = 20;
constexpr int COLOR_3DDKSHADOW = 21;
constexpr int COLOR_3DLIGHT = 22;
COLORREF GetSysColor(int index);  // black for an unknown index

// System metrics.
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CXVSCROLL = 2;
constexpr int SM_CYHSCROLL = 3;
constexpr int SM_CYCAPTION = 4;
constexpr int SM_CXBORDER = 5;
constexpr int SM_CYBORDER = 6;
constexpr int SM_CXDLGFRAME = 7;
constexpr int SM_CYDLGFRAME = 8;
constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;
constexpr int SM_CYMENU = 15;
constexpr int SM_CXFRAME = 32;
constexpr int SM_CYFRAME = 33;
constexpr int SM_CXSMICON = 49;
constexpr int SM_CYSMICON = 50;
// The screen's size comes from the display; all others are fixed. 0 for an unknown index.
int GetSystemMetrics(int index);

// Pen styles.
constexpr int PS_SOLID = 0;
constexpr int PS_DASH = 1;
constexpr int PS_DOT = 2;
constexpr int PS_NULL = 5;

// Font weights and the fields of a font request that the layer uses.
constexpr LONG FW_NORMAL = 400;
constexpr LONG FW_BOLD = 700;
constexpr int LF_FACESIZE = 32;

struct LOGFONT {
  LONG lfHeight = 0;  // < 0: character height in device pixels; > 0: cell height
  LONG lfWidth = 0;
  LONG lfEscapement = 0;
  LONG lfOrientation = 0;
  LONG lfWeight = 0;
  BYTE lfItalic = 0;
  BYTE lfUnderline = 0;
  BYTE lfStrikeOut = 0;
  BYTE lfCharSet = 0;
  BYTE lfOutPrecision = 0;
  BYTE lfClipPrecision = 0;
  BYTE lfQuality = 0;
  BYTE lfPitchAndFamily = 0;
  char lfFaceName[LF_FACESIZE] = {};
};

// Pitch and family bits of a logical font.
constexpr BYTE DEFAULT_PITCH = 0;
constexpr BYTE FIXED_PITCH = 1;
constexpr BYTE VARIABLE_PITCH = 2;
constexpr BYTE FF_MODERN = 0x30;

struct BITMAP {
  LONG bmType = 0;
  LONG bmWidth = 0;
  LONG bmHeight = 0;
  LONG bmWidthBytes = 0;
  WORD bmPlanes = 1;
  WORD bmBitsPixel = 32;
  void* bmBits = nullptr;
};

class CGdiObject : public CObject {
  DECLARE_DYNAMIC(CGdiObject)
 public:
  CGdiObject() = default;
  ~CGdiObject() override;
  CGdiObject(const CGdiObject&) = delete;
  CGdiObject& operator=(const CGdiObject&) = delete;

  HGDIOBJ m_hObject = nullptr;
  HGDIOBJ GetSafeHandle() const { return m_hObject; }
  operator HGDIOBJ() const { return m_hObject; }
  // FALSE while the object is selected into a device context, as on the original platform.
  BOOL DeleteObject();
  BOOL Attach(HGDIOBJ object);
  HGDIOBJ Detach();
};

class CPen : public CGdiObject {
  DECLARE_DYNAMIC(CPen)
 public:
  CPen() = default;
  CPen(int style, int width, COLORREF color) { CreatePen(style, width, color); }
  BOOL CreatePen(int style, int width, COLORREF color);
};

class CBrush : public CGdiObject {
  DECLARE_DYNAMIC(CBrush)
 public:
  CBrush() = default;
  explicit CBrush(COLORREF color) { CreateSolidBrush(color); }
  BOOL CreateSolidBrush(COLORREF color);
  BOOL CreateSysColorBrush(int index) { return CreateSolidBrush(GetSysColor(index)); }
};

class CFont : public CGdiObject {
  DECLARE_DYNAMIC(CFont)
 public:
  BOOL CreateFontIndirect(const LOGFONT* font);
  BOOL CreateFont(int height, int width, int escapement, int orientation, int weight, BYTE italic,
                  BYTE underline, BYTE strikeOut, BYTE charSet, BYTE outPrecision, BYTE clipPrecision,
                  BYTE quality, BYTE pitchAndFamily, LPCSTR faceName);
  int GetLogFont(LOGFONT* font) const;
};

class CDC;

// Pixels are always kept in full colour; the requested format is remembered
// and reported, so bitmaps made "like" another carry the same format.
class CBitmap : public CGdiObject {
  DECLARE_DYNAMIC(CBitmap)
 public:
  // Filled with black.
  BOOL CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
  BOOL CreateCompatibleBitmap(CDC* dc, int width, int height);
  // The bitmap resource by number or name, in the resource search order.
  BOOL LoadBitmap(const wf::fw::ResourceId& id);
  int GetBitmap(BITMAP* info) const;  // sizeof(BITMAP), 0 when there is no bitmap
  CSize GetSize() const;
};

// Icons are values: each handle owns its own picture until DestroyIcon.
// A null `library` searches the resource libraries in their order.
HICON LoadIcon(HINSTANCE library, const wf::fw::ResourceId& id);
BOOL DestroyIcon(HICON icon);
CSize GetIconSize(HICON icon);  // 0 x 0 for an unknown handle

namespace wf::fw {
// Icons made and not yet destroyed, in this process; tests compare it before
// and after to find an icon nobody destroys.
std::size_t liveIconCount();
}  // namespace wf::fw
