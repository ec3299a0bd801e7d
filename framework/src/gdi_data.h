#pragma once
// What a drawing-object or icon handle stands for, inside the layer.
#include <QBrush>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QPen>

#include <memory>

#include "framework/gdi.h"

namespace wf::fw {

struct GdiData {
  enum class Kind { Pen, Brush, Font, Bitmap } kind = Kind::Pen;
  QPen pen;
  QBrush brush;
  QFont font;
  LOGFONT logFont;
  QImage image;  // Format_ARGB32; a bitmap's pixels are opaque
  int planes = 1;
  int bitsPixel = 32;
  // The object that made or attached the handle; null once it is gone, so a
  // context never hands back a destroyed object.
  CGdiObject* owner = nullptr;
};

QColor toQColor(COLORREF c);
COLORREF fromQColor(QColor c);

// The object behind a live handle, or null. A device context holds the
// shared pointer of what it has selected.
std::shared_ptr<GdiData> gdiData(HGDIOBJ handle);
HGDIOBJ newGdiObject(std::shared_ptr<GdiData> data);
// Removes the handle; FALSE when it was not live.
bool releaseGdiObject(HGDIOBJ handle);
// TRUE while some device context holds the object.
bool gdiObjectSelected(HGDIOBJ handle);

QFont fontFromLogFont(const LOGFONT& lf);

// Icons: a handle owns an ARGB picture.
HICON newIcon(const QImage& picture);
// The resource number an icon was loaded from; 0 for one made otherwise.
UINT iconResourceId(HICON icon);
QImage iconImage(HICON icon);  // null image for an unknown handle
QIcon toQIcon(HICON icon);

}  // namespace wf::fw
