#include "framework/image_list.h"

#include <QPainter>

#include <vector>

#include "gdi_data.h"

IMPLEMENT_DYNAMIC(CImageList, CObject)

struct CImageList::Images {
  int cx = 0;
  int cy = 0;
  UINT flags = 0;
  std::vector<QImage> pictures;  // ARGB32, cx by cy
};

CImageList::CImageList() = default;
CImageList::~CImageList() = default;

BOOL CImageList::Create(int cx, int cy, UINT flags, int initial, int) {
  if (images_ || cx <= 0 || cy <= 0) return FALSE;
  images_ = std::make_unique<Images>();
  images_->cx = cx;
  images_->cy = cy;
  images_->flags = flags;
  images_->pictures.reserve(static_cast<std::size_t>(std::max(0, initial)));
  m_hImageList = images_.get();
  return TRUE;
}

BOOL CImageList::DeleteImageList() {
  if (!images_) return FALSE;
  images_.reset();
  m_hImageList = nullptr;
  return TRUE;
}

int CImageList::Add(CBitmap* bitmap, COLORREF mask) {
  auto data = bitmap ? wf::fw::gdiData(bitmap->m_hObject) : nullptr;
  if (!images_ || !data || data->kind != wf::fw::GdiData::Kind::Bitmap) return -1;
  const QImage& strip = data->image;
  const int count = strip.width() / images_->cx;
  if (count == 0) return -1;
  const int first = GetImageCount();
  const QRgb transparent = wf::fw::toQColor(mask).rgb();
  for (int i = 0; i < count; ++i) {
    QImage picture(images_->cx, images_->cy, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    const QImage part = strip.copy(i * images_->cx, 0, images_->cx, std::min(images_->cy, strip.height()))
                            .convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < part.height(); ++y)
      for (int x = 0; x < part.width(); ++x) {
        const QRgb pixel = part.pixel(x, y) | 0xFF000000u;
        if (!((images_->flags & ILC_MASK) && pixel == transparent)) picture.setPixel(x, y, pixel);
      }
    images_->pictures.push_back(std::move(picture));
  }
  return first;
}

int CImageList::Add(HICON icon) {
  const QImage picture = wf::fw::iconImage(icon);
  if (!images_ || picture.isNull()) return -1;
  images_->pictures.push_back(
      picture.scaled(images_->cx, images_->cy, Qt::IgnoreAspectRatio, Qt::FastTransformation)
          .convertToFormat(QImage::Format_ARGB32));
  return GetImageCount() - 1;
}

int CImageList::GetImageCount() const {
  return images_ ? static_cast<int>(images_->pictures.size()) : 0;
}

CSize CImageList::GetImageSize() const {
  return images_ ? CSize{images_->cx, images_->cy} : CSize{};
}

HICON CImageList::ExtractIcon(int index) const {
  if (index < 0 || index >= GetImageCount()) return nullptr;
  return wf::fw::newIcon(images_->pictures[static_cast<std::size_t>(index)]);
}

BOOL CImageList::Draw(CDC* dc, int index, CPoint at, UINT) const {
  if (!dc || index < 0 || index >= GetImageCount()) return FALSE;
  HICON icon = ExtractIcon(index);
  const BOOL drawn = dc->DrawIcon(at.x, at.y, icon);
  DestroyIcon(icon);
  return drawn;
}
