#include "framework/dc.h"

#include <QFontMetrics>

#include <cstdlib>
#include <mutex>
#include <unordered_set>

#include "dc_state.h"
#include "framework/wnd.h"
#include "wnd_widget.h"

IMPLEMENT_DYNAMIC(CDC, CObject)
IMPLEMENT_DYNAMIC(CPaintDC, CDC)
IMPLEMENT_DYNAMIC(CClientDC, CDC)

using wf::fw::GdiData;

namespace wf::fw {
namespace {

struct LiveContexts {
  std::mutex m;
  std::unordered_set<CDC::State*> states;
};
LiveContexts& live() {
  static auto* l = new LiveContexts;  // leaked: contexts may go during process exit
  return *l;
}

constexpr int kScreenDpi = 96;

}  // namespace

CDC::State* dcState(HDC dc) {
  std::lock_guard lock(live().m);
  auto* state = static_cast<CDC::State*>(dc);
  return live().states.count(state) ? state : nullptr;
}

}  // namespace wf::fw

CDC::State::State(Target t) : target(t) {
  stockPen.CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
  stockBrush.CreateSolidBrush(RGB(255, 255, 255));
  LOGFONT system{};
  system.lfHeight = -13;
  system.lfWeight = FW_NORMAL;
  stockFont.CreateFontIndirect(&system);
  data[PenSlot] = wf::fw::gdiData(stockPen.m_hObject);
  data[BrushSlot] = wf::fw::gdiData(stockBrush.m_hObject);
  data[FontSlot] = wf::fw::gdiData(stockFont.m_hObject);
  if (t == Target::Memory) {
    stockBitmap.CreateBitmap(1, 1, 1, 1, nullptr);
    data[BitmapSlot] = wf::fw::gdiData(stockBitmap.m_hObject);
  }
  std::lock_guard lock(wf::fw::live().m);
  wf::fw::live().states.insert(this);
}

CDC::State::~State() {
  {
    std::lock_guard lock(wf::fw::live().m);
    wf::fw::live().states.erase(this);
  }
  if (printPainter && print) print->abort(*printPainter);
  printPainter.reset();
  for (auto& d : data) d.reset();  // lets the stock objects go
}

QPaintDevice* CDC::State::device() {
  switch (target) {
    case Target::Memory:
      return data[BitmapSlot] ? &data[BitmapSlot]->image : nullptr;
    case Target::Widget:
      return widget.data();
    case Target::Printer:
      return print ? print->device() : nullptr;
    case Target::Measure:
      break;
  }
  if (measureSurface.isNull()) measureSurface = QImage(1, 1, QImage::Format_ARGB32);
  return &measureSurface;
}

QFont CDC::State::font() const {
  QFont f = data[FontSlot]->font;
  // The stock font keeps its look on a printer: its size follows the printer's resolution.
  if (target == Target::Printer && selected(FontSlot) == &stockFont && print && print->device())
    f.setPixelSize(f.pixelSize() * print->device()->logicalDpiY() / wf::fw::kScreenDpi);
  return f;
}

bool CDC::State::paint(const std::function<void(QPainter&)>& draw) {
  auto apply = [this, &draw](QPainter& p) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setFont(font());
    draw(p);
    p.restore();
  };
  switch (target) {
    case Target::Memory: {
      QPaintDevice* surface = device();
      if (!surface) return false;
      QPainter p(surface);
      apply(p);
      return true;
    }
    case Target::Widget: {
      auto* w = dynamic_cast<wf::fw::WndWidget*>(widget.data());
      if (!w || !w->painting()) return false;
      QPainter p(w);
      apply(p);
      return true;
    }
    case Target::Printer:
      if (!printPainter || !inPage) return false;
      apply(*printPainter);
      return true;
    case Target::Measure:
      return true;  // accepted and not shown, as a window is drawn only by its paint handler
  }
  return false;
}

// ---- CDC ----

CDC::CDC() = default;

CDC::~CDC() {
  DeleteDC();
}

void CDC::adopt(State* state) {
  DeleteDC();
  state->owner = this;
  m_hDC = state;
  owns_ = true;
}

CDC* CDC::FromHandle(HDC dc) {
  State* state = wf::fw::dcState(dc);
  if (!state) return nullptr;
  if (state->owner) return state->owner;
  if (!state->handleView) {
    state->handleView = std::make_unique<CDC>();
    state->handleView->m_hDC = state;
  }
  return state->handleView.get();
}

BOOL CDC::CreateCompatibleDC(CDC*) {
  if (m_hDC) return FALSE;
  adopt(new State(State::Target::Memory));
  return TRUE;
}

BOOL CDC::DeleteDC() {
  if (!m_hDC) return FALSE;
  State* state = static_cast<State*>(std::exchange(m_hDC, nullptr));
  if (!std::exchange(owns_, false)) return TRUE;
  delete state;
  return TRUE;
}

BOOL PrintWindow(HWND hwnd, HDC dc, UINT) {
  QWidget* widget = wf::fw::widgetOf(hwnd);
  CDC::State* state = wf::fw::dcState(dc);
  if (!widget || !state || state->target != CDC::State::Target::Memory ||
      !state->data[CDC::State::BitmapSlot])
    return FALSE;
  const QImage shot = widget->grab().toImage();
  QPainter(&state->data[CDC::State::BitmapSlot]->image).drawImage(0, 0, shot);
  return TRUE;
}

BOOL CDC::Attach(HDC dc) {
  State* state = wf::fw::dcState(dc);
  if (m_hDC || !state || state->owner) return FALSE;
  state->owner = this;
  state->handleView.reset();
  m_hDC = state;
  owns_ = true;
  return TRUE;
}

HDC CDC::Detach() {
  State* state = static_cast<State*>(std::exchange(m_hDC, nullptr));
  if (state && owns_) state->owner = nullptr;
  owns_ = false;
  return state;
}

BOOL DeleteDC(HDC dc) {
  CDC::State* state = wf::fw::dcState(dc);
  if (!state) return FALSE;
  if (state->owner) return state->owner->DeleteDC();
  delete state;
  return TRUE;
}

namespace {

template <class T>
T* selectInto(CDC::State* state, CDC::State::Slot slot, T* object, GdiData::Kind kind) {
  if (!state || !object) return nullptr;
  auto d = wf::fw::gdiData(object->m_hObject);
  if (!d || d->kind != kind) return nullptr;
  auto* old = static_cast<T*>(state->selected(slot));
  state->data[slot] = std::move(d);
  return old;
}

CDC::State* stateOf(HDC dc) {
  return wf::fw::dcState(dc);
}

QRect qRect(int left, int top, int right, int bottom) {
  return QRect(left, top, right - left, bottom - top);
}

// One line's box, measured as DrawText measures.
QSize textSize(const QFontMetrics& fm, const QString& text) {
  return fm.boundingRect(QRect(), Qt::TextSingleLine | Qt::AlignLeft, text).size();
}

}  // namespace

CPen* CDC::SelectObject(CPen* pen) {
  return selectInto(stateOf(m_hDC), State::PenSlot, pen, GdiData::Kind::Pen);
}
CBrush* CDC::SelectObject(CBrush* brush) {
  return selectInto(stateOf(m_hDC), State::BrushSlot, brush, GdiData::Kind::Brush);
}
CFont* CDC::SelectObject(CFont* font) {
  return selectInto(stateOf(m_hDC), State::FontSlot, font, GdiData::Kind::Font);
}
CBitmap* CDC::SelectObject(CBitmap* bitmap) {
  State* state = stateOf(m_hDC);
  if (!state || state->target != State::Target::Memory) return nullptr;
  return selectInto(state, State::BitmapSlot, bitmap, GdiData::Kind::Bitmap);
}

CBitmap* CDC::GetCurrentBitmap() const {
  State* state = stateOf(m_hDC);
  return state ? static_cast<CBitmap*>(state->selected(State::BitmapSlot)) : nullptr;
}
CFont* CDC::GetCurrentFont() const {
  State* state = stateOf(m_hDC);
  return state ? static_cast<CFont*>(state->selected(State::FontSlot)) : nullptr;
}

COLORREF CDC::SetTextColor(COLORREF color) {
  State* state = stateOf(m_hDC);
  return state ? std::exchange(state->textColor, color) : CLR_INVALID;
}
COLORREF CDC::SetBkColor(COLORREF color) {
  State* state = stateOf(m_hDC);
  return state ? std::exchange(state->bkColor, color) : CLR_INVALID;
}
int CDC::SetBkMode(int mode) {
  State* state = stateOf(m_hDC);
  if (!state || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  return std::exchange(state->bkMode, mode);
}

CPoint CDC::MoveTo(int x, int y) {
  State* state = stateOf(m_hDC);
  if (!state) return {};
  QPoint old = std::exchange(state->position, QPoint(x, y));
  return {old.x(), old.y()};
}

BOOL CDC::LineTo(int x, int y) {
  State* state = stateOf(m_hDC);
  if (!state) return FALSE;
  const QPoint from = std::exchange(state->position, QPoint(x, y));
  const QPen pen = state->data[State::PenSlot]->pen;
  if (pen.style() == Qt::NoPen || from == QPoint(x, y)) return TRUE;
  return state->paint([&](QPainter& p) {
    p.setPen(pen);
    if (pen.width() > 1) {
      p.drawLine(from, QPoint(x, y));
      return;
    }
    // The pixels of the line from its first point up to, not including, its last.
    QPolygon points;
    int x0 = from.x(), y0 = from.y();
    const int dx = std::abs(x - x0), sx = x0 < x ? 1 : -1;
    const int dy = -std::abs(y - y0), sy = y0 < y ? 1 : -1;
    int err = dx + dy;
    while (x0 != x || y0 != y) {
      points << QPoint(x0, y0);
      const int e2 = 2 * err;
      if (e2 >= dy) {
        err += dy;
        x0 += sx;
      }
      if (e2 <= dx) {
        err += dx;
        y0 += sy;
      }
    }
    p.drawPoints(points);
  });
}

BOOL CDC::Rectangle(int left, int top, int right, int bottom) {
  State* state = stateOf(m_hDC);
  if (!state) return FALSE;
  if (right <= left || bottom <= top) return TRUE;
  const QPen pen = state->data[State::PenSlot]->pen;
  const QBrush brush = state->data[State::BrushSlot]->brush;
  return state->paint([&](QPainter& p) {
    p.fillRect(qRect(left, top, right, bottom), brush);
    if (pen.style() == Qt::NoPen) return;
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    // An outline on the outermost pixels of the rectangle, right and bottom edges excluded.
    p.drawRect(QRect(left, top, right - left - 1, bottom - top - 1));
  });
}

void CDC::FillRect(LPCRECT rect, CBrush* brush) {
  State* state = stateOf(m_hDC);
  auto d = brush ? wf::fw::gdiData(brush->m_hObject) : nullptr;
  if (!state || !rect || !d || d->kind != GdiData::Kind::Brush) return;
  state->paint(
      [&](QPainter& p) { p.fillRect(qRect(rect->left, rect->top, rect->right, rect->bottom), d->brush); });
}

void CDC::FillSolidRect(LPCRECT rect, COLORREF color) {
  if (rect) FillSolidRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, color);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF color) {
  State* state = stateOf(m_hDC);
  if (!state) return;
  // As on the original platform, the background colour becomes this colour.
  state->bkColor = color;
  state->paint([&](QPainter& p) { p.fillRect(QRect(x, y, cx, cy), wf::fw::toQColor(color)); });
}

COLORREF CDC::GetPixel(int x, int y) const {
  State* state = stateOf(m_hDC);
  if (!state || state->target != State::Target::Memory || !state->data[State::BitmapSlot]) return CLR_INVALID;
  const QImage& image = state->data[State::BitmapSlot]->image;
  if (!image.valid(x, y)) return CLR_INVALID;
  return wf::fw::fromQColor(image.pixelColor(x, y));
}

COLORREF CDC::SetPixel(int x, int y, COLORREF color) {
  State* state = stateOf(m_hDC);
  if (!state || state->target != State::Target::Memory || !state->data[State::BitmapSlot]) return CLR_INVALID;
  QImage& image = state->data[State::BitmapSlot]->image;
  if (!image.valid(x, y)) return CLR_INVALID;
  image.setPixelColor(x, y, wf::fw::toQColor(color));
  return color;
}

BOOL CDC::BitBlt(int x, int y, int width, int height, CDC* source, int xSrc, int ySrc, DWORD rop) {
  return StretchBlt(x, y, width, height, source, xSrc, ySrc, width, height, rop);
}

BOOL CDC::StretchBlt(int x, int y, int width, int height, CDC* source, int xSrc, int ySrc, int srcWidth,
                     int srcHeight, DWORD rop) {
  State* state = stateOf(m_hDC);
  State* from = source ? stateOf(source->m_hDC) : nullptr;
  if (!state || !from || rop != SRCCOPY || from->target != State::Target::Memory ||
      !from->data[State::BitmapSlot])
    return FALSE;
  if (width <= 0 || height <= 0 || srcWidth <= 0 || srcHeight <= 0) return FALSE;
  // A copy first: source and destination may be the same bitmap.
  const QImage part = from->data[State::BitmapSlot]->image.copy(xSrc, ySrc, srcWidth, srcHeight);
  return state->paint([&](QPainter& p) {
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(QRect(x, y, width, height), part);
  });
}

BOOL CDC::DrawIcon(int x, int y, HICON icon) {
  State* state = stateOf(m_hDC);
  const QImage picture = wf::fw::iconImage(icon);
  if (!state || picture.isNull()) return FALSE;
  return state->paint([&](QPainter& p) { p.drawImage(QPoint(x, y), picture); });
}

BOOL CDC::TextOut(int x, int y, const CString& text) {
  State* state = stateOf(m_hDC);
  if (!state) return FALSE;
  const QString s = QString::fromStdString(text.str());
  return state->paint([&](QPainter& p) {
    const QFontMetrics fm(p.font(), p.device());
    if (state->bkMode == OPAQUE)
      p.fillRect(QRect(QPoint(x, y), textSize(fm, s)), wf::fw::toQColor(state->bkColor));
    p.setPen(wf::fw::toQColor(state->textColor));
    p.drawText(QPoint(x, y + fm.ascent()), s);
  });
}

int CDC::DrawText(const CString& text, LPRECT rect, UINT format) {
  State* state = stateOf(m_hDC);
  if (!state || !rect) return 0;
  int flags = (format & DT_CENTER) ? Qt::AlignHCenter : (format & DT_RIGHT) ? Qt::AlignRight : Qt::AlignLeft;
  if (format & DT_SINGLELINE) {
    flags |= Qt::TextSingleLine;
    flags |= (format & DT_VCENTER) ? Qt::AlignVCenter : (format & DT_BOTTOM) ? Qt::AlignBottom : Qt::AlignTop;
  } else {
    flags |= Qt::AlignTop;
  }
  if (format & DT_WORDBREAK) flags |= Qt::TextWordWrap;
  if (!(format & DT_NOPREFIX)) flags |= Qt::TextShowMnemonic;
  const QString s = QString::fromStdString(text.str());
  const QRect box = qRect(rect->left, rect->top, rect->right, rect->bottom);
  QFontMetrics fm(state->font(), state->device());
  const QRect needed = fm.boundingRect(box, flags, s);
  if (format & DT_CALCRECT) {
    rect->right = rect->left + needed.width();
    rect->bottom = rect->top + needed.height();
    return needed.height();
  }
  const bool drawn = state->paint([&](QPainter& p) {
    if (!(format & DT_NOCLIP)) p.setClipRect(box);
    if (state->bkMode == OPAQUE) p.fillRect(needed, wf::fw::toQColor(state->bkColor));
    p.setPen(wf::fw::toQColor(state->textColor));
    p.drawText(box, flags, s);
  });
  return drawn ? needed.height() : 0;
}

CSize CDC::GetTextExtent(const CString& text) const {
  State* state = stateOf(m_hDC);
  if (!state) return {};
  const QSize size =
      textSize(QFontMetrics(state->font(), state->device()), QString::fromStdString(text.str()));
  return {size.width(), size.height()};
}

BOOL CDC::GetTextMetrics(TEXTMETRIC* metrics) const {
  State* state = stateOf(m_hDC);
  if (!state || !metrics) return FALSE;
  const QFont font = state->font();
  QFontMetrics fm(font, state->device());
  metrics->tmAscent = fm.ascent();
  metrics->tmDescent = fm.descent();
  metrics->tmHeight = fm.ascent() + fm.descent();
  metrics->tmInternalLeading = std::max(0, metrics->tmHeight - font.pixelSize());
  metrics->tmExternalLeading = std::max(0, fm.leading());
  metrics->tmAveCharWidth = fm.averageCharWidth();
  metrics->tmMaxCharWidth = fm.maxWidth();
  metrics->tmWeight = font.weight();
  return TRUE;
}

int CDC::GetDeviceCaps(int index) const {
  State* state = stateOf(m_hDC);
  if (!state) return 0;
  if (state->target == State::Target::Printer) {
    QPaintDevice* d = state->device();
    if (!d) return 0;
    switch (index) {
      case HORZRES:
        return d->width();
      case VERTRES:
        return d->height();
      case HORZSIZE:
        return d->widthMM();
      case VERTSIZE:
        return d->heightMM();
      case LOGPIXELSX:
        return d->logicalDpiX();
      case LOGPIXELSY:
        return d->logicalDpiY();
      case BITSPIXEL:
        return 24;
      case PLANES:
        return 1;
      default:
        return 0;
    }
  }
  // Every other context has the screen's capabilities.
  switch (index) {
    case HORZRES:
      return GetSystemMetrics(SM_CXSCREEN);
    case VERTRES:
      return GetSystemMetrics(SM_CYSCREEN);
    case HORZSIZE:
      return GetSystemMetrics(SM_CXSCREEN) * 254 / (wf::fw::kScreenDpi * 10);
    case VERTSIZE:
      return GetSystemMetrics(SM_CYSCREEN) * 254 / (wf::fw::kScreenDpi * 10);
    case LOGPIXELSX:
    case LOGPIXELSY:
      return wf::fw::kScreenDpi;
    case BITSPIXEL:
      return 32;
    case PLANES:
      return 1;
    default:
      return 0;
  }
}

CPaintDC::CPaintDC(CWnd* window) {
  auto* widget = window ? wf::fw::widgetOf(window->m_hWnd) : nullptr;
  auto* state = new State(widget && widget->painting() ? State::Target::Widget : State::Target::Measure);
  state->widget = widget;
  adopt(state);
}

CClientDC::CClientDC(CWnd* window) {
  auto* state = new State(State::Target::Measure);
  state->widget = window ? wf::fw::widgetOf(window->m_hWnd) : nullptr;
  adopt(state);
}
