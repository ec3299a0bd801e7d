#pragma once
// Lists of equally sized images, filled from bitmap strips (cut left to
// right) or icons; pixels of the mask colour become transparent.
#include <memory>

#include "framework/dc.h"
#include "framework/gdi.h"

using HIMAGELIST = void*;

constexpr UINT ILC_MASK = 0x0001;
constexpr UINT ILC_COLOR = 0x0000;
constexpr UINT ILC_COLOR24 = 0x0018;
constexpr UINT ILC_COLOR32 = 0x0020;

constexpr UINT ILD_NORMAL = 0x0000;
constexpr UINT ILD_TRANSPARENT = 0x0001;

class CImageList : public CObject {
  DECLARE_DYNAMIC(CImageList)
 public:
  CImageList();
  ~CImageList() override;
  CImageList(const CImageList&) = delete;
  CImageList& operator=(const CImageList&) = delete;

  HIMAGELIST m_hImageList = nullptr;
  HIMAGELIST GetSafeHandle() const { return m_hImageList; }

  // Images of cx by cy; without ILC_MASK the mask colour given to Add is ignored.
  BOOL Create(int cx, int cy, UINT flags, int initial, int grow);
  BOOL DeleteImageList();

  // Appends the strip's images; the index of the first, -1 when the strip
  // is narrower than one image or the list was not created.
  int Add(CBitmap* bitmap, COLORREF mask);
  // The icon scaled to the image size; its index, or -1.
  int Add(HICON icon);
  int GetImageCount() const;
  CSize GetImageSize() const;

  // A new icon holding image `index`; the caller destroys it. Null for a bad index.
  HICON ExtractIcon(int index) const;
  BOOL Draw(CDC* dc, int index, CPoint at, UINT style) const;

  struct Images;

 private:
  std::unique_ptr<Images> images_;
};
