#include "gdi_data.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <cstring>
#include <mutex>
#include <unordered_map>

IMPLEMENT_DYNAMIC(CGdiObject, CObject)
IMPLEMENT_DYNAMIC(CPen, CGdiObject)
IMPLEMENT_DYNAMIC(CBrush, CGdiObject)
IMPLEMENT_DYNAMIC(CFont, CGdiObject)
IMPLEMENT_DYNAMIC(CBitmap, CGdiObject)

namespace wf::fw {
namespace {

struct GdiRegistry {
  std::mutex m;
  std::unordered_map<HGDIOBJ, std::shared_ptr<GdiData>> objects;
  std::unordered_map<HICON, QImage> icons;
  std::unordered_map<HICON, UINT> iconIds;  // icons loaded from a resource
  std::uintptr_t next = 0x1000;
};
GdiRegistry& gdiRegistry() {
  static auto* r = new GdiRegistry;  // leaked: objects may go during process exit
  return *r;
}

}  // namespace

QColor toQColor(COLORREF c) {
  return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}
COLORREF fromQColor(QColor c) {
  return RGB(static_cast<BYTE>(c.red()), static_cast<BYTE>(c.green()), static_cast<BYTE>(c.blue()));
}

std::shared_ptr<GdiData> gdiData(HGDIOBJ handle) {
  std::lock_guard lock(gdiRegistry().m);
  auto it = gdiRegistry().objects.find(handle);
  return it == gdiRegistry().objects.end() ? nullptr : it->second;
}

HGDIOBJ newGdiObject(std::shared_ptr<GdiData> data) {
  std::lock_guard lock(gdiRegistry().m);
  // Handles are numbers, never addresses, so a stale one cannot reach freed memory.
  auto handle = reinterpret_cast<HGDIOBJ>(gdiRegistry().next += 4);
  gdiRegistry().objects[handle] = std::move(data);
  return handle;
}

bool releaseGdiObject(HGDIOBJ handle) {
  std::lock_guard lock(gdiRegistry().m);
  return gdiRegistry().objects.erase(handle) > 0;
}

bool gdiObjectSelected(HGDIOBJ handle) {
  std::lock_guard lock(gdiRegistry().m);
  auto it = gdiRegistry().objects.find(handle);
  return it != gdiRegistry().objects.end() && it->second.use_count() > 1;
}

QFont fontFromLogFont(const LOGFONT& lf) {
  QFont font(QString::fromLatin1(lf.lfFaceName, static_cast<int>(strnlen(lf.lfFaceName, LF_FACESIZE))));
  int height = lf.lfHeight == 0 ? 13 : std::abs(lf.lfHeight);
  font.setPixelSize(height);
  if (lf.lfHeight > 0) {
    // A positive height is the whole cell; scale the character height to fit it.
    const int cell = QFontMetrics(font).height();
    if (cell > 0) font.setPixelSize(std::max(1, height * height / cell));
  }
  font.setWeight(
      static_cast<QFont::Weight>(std::clamp<int>(lf.lfWeight == 0 ? FW_NORMAL : lf.lfWeight, 1, 1000)));
  font.setItalic(lf.lfItalic != 0);
  font.setUnderline(lf.lfUnderline != 0);
  font.setStrikeOut(lf.lfStrikeOut != 0);
  if ((lf.lfPitchAndFamily & 3) == FIXED_PITCH) {
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    if (!lf.lfFaceName[0]) font.setFamily("Monospace");
  }
  return font;
}

HICON newIcon(const QImage& picture) {
  std::lock_guard lock(gdiRegistry().m);
  auto handle = reinterpret_cast<HICON>(gdiRegistry().next += 4);
  gdiRegistry().icons[handle] = picture.convertToFormat(QImage::Format_ARGB32);
  return handle;
}

QImage iconImage(HICON icon) {
  std::lock_guard lock(gdiRegistry().m);
  auto it = gdiRegistry().icons.find(icon);
  return it == gdiRegistry().icons.end() ? QImage() : it->second;
}

QIcon toQIcon(HICON icon) {
  QImage picture = iconImage(icon);
  return picture.isNull() ? QIcon() : QIcon(QPixmap::fromImage(picture));
}

}  // namespace wf::fw

using wf::fw::fontFromLogFont;
using wf::fw::gdiData;
using wf::fw::GdiData;
using wf::fw::gdiObjectSelected;
using wf::fw::gdiRegistry;
using wf::fw::iconImage;
using wf::fw::newGdiObject;
using wf::fw::newIcon;
using wf::fw::releaseGdiObject;
using wf::fw::toQColor;

COLORREF GetSysColor(int index) {
  switch (index) {
    case COLOR_WINDOW:
      return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT:
      return RGB(0, 0, 0);
    case COLOR_BTNFACE:
      return RGB(192, 192, 192);
    case COLOR_BTNSHADOW:
      return RGB(128, 128, 128);
    case COLOR_GRAYTEXT:
      return RGB(128, 128, 128);
    case COLOR_BTNTEXT:
      return RGB(0, 0, 0);
    case COLOR_BTNHIGHLIGHT:
      return RGB(255, 255, 255);
    case COLOR_3DDKSHADOW:
      return RGB(0, 0, 0);
    case COLOR_3DLIGHT:
      return RGB(223, 223, 223);
    default:
      return RGB(0, 0, 0);
  }
}

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN:
    case SM_CYSCREEN: {
      QScreen* screen = qobject_cast<QGuiApplication*>(QCoreApplication::instance())
                            ? QGuiApplication::primaryScreen()
                            : nullptr;
      if (!screen) return index == SM_CXSCREEN ? 1024 : 768;
      return index == SM_CXSCREEN ? screen->geometry().width() : screen->geometry().height();
    }
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
      return 16;
    case SM_CYCAPTION:
      return 19;
    case SM_CXBORDER:
    case SM_CYBORDER:
      return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
      return 3;
    case SM_CXICON:
    case SM_CYICON:
      return 32;
    case SM_CYMENU:
      return 19;
    case SM_CXFRAME:
    case SM_CYFRAME:
      return 4;
    case SM_CXSMICON:
    case SM_CYSMICON:
      return 16;
    default:
      return 0;
  }
}

// ---- CGdiObject ----

CGdiObject::~CGdiObject() {
  // A context that still holds it keeps the pixels alive until it lets go.
  if (auto data = gdiData(m_hObject)) {
    data->owner = nullptr;
    releaseGdiObject(m_hObject);
  }
}

BOOL CGdiObject::DeleteObject() {
  if (!m_hObject || gdiObjectSelected(m_hObject)) return FALSE;
  if (auto data = gdiData(m_hObject)) data->owner = nullptr;
  releaseGdiObject(m_hObject);
  m_hObject = nullptr;
  return TRUE;
}

BOOL CGdiObject::Attach(HGDIOBJ object) {
  auto data = gdiData(object);
  if (m_hObject || !data) return FALSE;
  data->owner = this;
  m_hObject = object;
  return TRUE;
}

HGDIOBJ CGdiObject::Detach() {
  if (auto data = gdiData(m_hObject)) data->owner = nullptr;
  return std::exchange(m_hObject, nullptr);
}

namespace {

std::shared_ptr<GdiData> makeData(GdiData::Kind kind) {
  auto data = std::make_shared<GdiData>();
  data->kind = kind;
  return data;
}

BOOL install(CGdiObject& target, std::shared_ptr<GdiData> data) {
  if (target.m_hObject) return FALSE;
  data->owner = &target;
  target.m_hObject = newGdiObject(std::move(data));
  return TRUE;
}

}  // namespace

BOOL CPen::CreatePen(int style, int width, COLORREF color) {
  auto data = makeData(GdiData::Kind::Pen);
  if (style == PS_NULL) {
    data->pen = QPen(Qt::NoPen);
  } else {
    data->pen = QPen(toQColor(color), std::max(1, width));
    data->pen.setCosmetic(width <= 1);
    data->pen.setStyle(style == PS_DASH ? Qt::DashLine : style == PS_DOT ? Qt::DotLine : Qt::SolidLine);
  }
  return install(*this, std::move(data));
}

BOOL CBrush::CreateSolidBrush(COLORREF color) {
  auto data = makeData(GdiData::Kind::Brush);
  data->brush = QBrush(toQColor(color));
  return install(*this, std::move(data));
}

BOOL CFont::CreateFontIndirect(const LOGFONT* font) {
  if (!font) return FALSE;
  auto data = makeData(GdiData::Kind::Font);
  data->logFont = *font;
  data->font = fontFromLogFont(*font);
  return install(*this, std::move(data));
}

BOOL CFont::CreateFont(int height, int width, int escapement, int orientation, int weight, BYTE italic,
                       BYTE underline, BYTE strikeOut, BYTE charSet, BYTE outPrecision, BYTE clipPrecision,
                       BYTE quality, BYTE pitchAndFamily, LPCSTR faceName) {
  LOGFONT lf{height,    width,   escapement,   orientation,   weight,  italic,         underline,
             strikeOut, charSet, outPrecision, clipPrecision, quality, pitchAndFamily, {}};
  if (faceName) std::strncpy(lf.lfFaceName, faceName, LF_FACESIZE - 1);
  return CreateFontIndirect(&lf);
}

int CFont::GetLogFont(LOGFONT* font) const {
  auto data = gdiData(m_hObject);
  if (!data || !font || data->kind != GdiData::Kind::Font) return 0;
  *font = data->logFont;
  return sizeof(LOGFONT);
}

BOOL CBitmap::CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void*) {
  if (width <= 0 || height <= 0) return FALSE;
  auto data = makeData(GdiData::Kind::Bitmap);
  data->image = QImage(width, height, QImage::Format_ARGB32);
  if (data->image.isNull()) return FALSE;
  data->image.fill(QColor(0, 0, 0));
  data->planes = static_cast<int>(planes);
  data->bitsPixel = static_cast<int>(bitsPerPixel);
  return install(*this, std::move(data));
}

BOOL CBitmap::LoadBitmap(const wf::fw::ResourceId& id) {
  const wf::fw::res::Image* resource = wf::fw::findBitmap(id);
  if (m_hObject || !resource) return FALSE;
  QImage picture;
  if (!picture.loadFromData(resource->bytes, static_cast<int>(resource->size))) return FALSE;
  auto data = makeData(GdiData::Kind::Bitmap);
  // A bitmap has no transparency: see-through pixels come out black, as a plain copy shows them.
  data->image = QImage(picture.size(), QImage::Format_ARGB32);
  data->image.fill(QColor(0, 0, 0));
  QPainter(&data->image).drawImage(0, 0, picture);
  data->bitsPixel = picture.depth();
  return install(*this, std::move(data));
}

BOOL CBitmap::CreateCompatibleBitmap(CDC*, int width, int height) {
  return CreateBitmap(width, height, 1, 32, nullptr);
}

int CBitmap::GetBitmap(BITMAP* info) const {
  auto data = gdiData(m_hObject);
  if (!data || !info || data->kind != GdiData::Kind::Bitmap) return 0;
  *info = BITMAP{0,
                 data->image.width(),
                 data->image.height(),
                 data->image.width() * data->bitsPixel / 8,
                 static_cast<WORD>(data->planes),
                 static_cast<WORD>(data->bitsPixel),
                 nullptr};
  return sizeof(BITMAP);
}

CSize CBitmap::GetSize() const {
  BITMAP info;
  return GetBitmap(&info) ? CSize{info.bmWidth, info.bmHeight} : CSize{};
}

HICON LoadIcon(HINSTANCE library, const wf::fw::ResourceId& id) {
  const auto* resource = static_cast<const wf::fw::res::Image*>(
      library ? wf::fw::findResourceIn(library, wf::fw::res::Type::Icon, id) : wf::fw::findIcon(id));
  QImage picture;
  if (!resource || !picture.loadFromData(resource->bytes, static_cast<int>(resource->size))) return nullptr;
  HICON icon = newIcon(picture);
  std::lock_guard lock(gdiRegistry().m);
  gdiRegistry().iconIds[icon] = id.id();
  return icon;
}

UINT wf::fw::iconResourceId(HICON icon) {
  std::lock_guard lock(gdiRegistry().m);
  auto it = gdiRegistry().iconIds.find(icon);
  return it == gdiRegistry().iconIds.end() ? 0 : it->second;
}

BOOL DestroyIcon(HICON icon) {
  std::lock_guard lock(gdiRegistry().m);
  gdiRegistry().iconIds.erase(icon);
  return gdiRegistry().icons.erase(icon) > 0;
}

std::size_t wf::fw::liveIconCount() {
  std::lock_guard lock(gdiRegistry().m);
  return gdiRegistry().icons.size();
}

CSize GetIconSize(HICON icon) {
  QImage picture = iconImage(icon);
  return {picture.width(), picture.height()};
}
