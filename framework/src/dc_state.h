#pragma once
// The context behind an HDC.
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "framework/dc.h"
#include "gdi_data.h"

namespace wf::fw {

// A document being printed; printing.cpp makes them.
class PrintTarget {
 public:
  virtual ~PrintTarget() = default;
  virtual QPaintDevice* device() = 0;
  // Opens the document under `name`; the first page is open afterwards.
  virtual bool begin(QPainter& painter, const std::string& name) = 0;
  virtual bool newPage() = 0;
  virtual bool finish(QPainter& painter) = 0;
  virtual void abort(QPainter& painter) = 0;
};

}  // namespace wf::fw

struct CDC::State {
  enum class Target { Memory, Widget, Measure, Printer };
  enum Slot { PenSlot, BrushSlot, FontSlot, BitmapSlot, SlotCount };

  explicit State(Target t);
  ~State();

  Target target;
  CDC* owner = nullptr;             // the CDC that owns it, if any
  std::unique_ptr<CDC> handleView;  // what FromHandle gives when no one owns it
  QPointer<QWidget> widget;         // Widget and Measure targets

  // The stock objects a fresh context starts with.
  CPen stockPen;
  CBrush stockBrush;
  CFont stockFont;
  CBitmap stockBitmap;
  std::shared_ptr<wf::fw::GdiData> data[SlotCount];  // what is selected

  COLORREF textColor = RGB(0, 0, 0);
  COLORREF bkColor = RGB(255, 255, 255);
  int bkMode = OPAQUE;
  QPoint position;

  std::unique_ptr<wf::fw::PrintTarget> print;
  std::unique_ptr<QPainter> printPainter;  // while a document is open
  bool inPage = false;
  int pagesEnded = 0;  // a StartPage after an ended page turns to a new sheet

  QImage measureSurface;  // what Measure contexts measure against

  QPaintDevice* device();
  QFont font() const;
  // Runs `draw` with a painter on the context's surface; false when the
  // surface cannot be drawn on now.
  bool paint(const std::function<void(QPainter&)>& draw);
  // The object selected in `slot`; null when it no longer exists.
  CGdiObject* selected(Slot slot) const { return data[slot] ? data[slot]->owner : nullptr; }
};

namespace wf::fw {
CDC::State* dcState(HDC dc);  // null for an unknown handle
}
