#include "framework/list_ctrl.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <map>
#include <string>

#include "accelerators.h"
#include "framework/virtual_keys.h"
#include "gdi_data.h"
#include "wnd_widget.h"

IMPLEMENT_DYNAMIC(CListCtrl, CControlWnd)

namespace {

constexpr int kTextBuffer = 260;
constexpr int kResizeGrip = 3;

struct Cell {
  std::string text;
  bool callback = false;
};

QString listQs(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace

struct CListCtrl::State {
  struct Column {
    std::string heading;
    int format = LVCFMT_LEFT;
    int width = 0;
    int subItem = 0;
  };
  struct Item {
    std::vector<Cell> cells;  // by sub-item; 0 is the label
    int image = 0;
    UINT state = 0;
    LPARAM param = 0;
  };
  std::vector<Column> columns;
  std::vector<Item> items;
  CImageList* normalImages = nullptr;
  CImageList* smallImages = nullptr;
  int listColumnWidth = 0;  // 0 until the widget knows its font
  wf::fw::ListCanvas* canvas = nullptr;
  QMetaObject::Connection canvasGone;
  std::unique_ptr<CEdit> editor;
  int editedItem = -1;
  bool ending = false;
};

namespace wf::fw {

// Draws the items of one view and takes the user's clicks. Positions are in
// the viewport; the report view's header row is its top strip.
class ListCanvas : public QAbstractScrollArea {
 public:
  explicit ListCanvas(CListCtrl* list) : list_(list) {
    viewport()->setAutoFillBackground(true);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
  }

  DWORD view() const { return list_->GetStyle() & LVS_TYPEMASK; }
  CListCtrl::State& state() const { return *list_->state_; }
  QSize smallImage() const { return imageSize(state().smallImages, 16); }
  QSize largeImage() const { return imageSize(state().normalImages, 32); }
  int rowHeight() const { return std::max(fontMetrics().height(), smallImage().height()) + 4; }
  int headerHeight() const {
    return view() == LVS_REPORT && !(list_->GetStyle() & LVS_NOCOLUMNHEADER) ? fontMetrics().height() + 8 : 0;
  }
  QSize iconCell() const {
    return {std::max(largeImage().width() + 16, 12 * fontMetrics().averageCharWidth()),
            largeImage().height() + 2 * fontMetrics().height() + 10};
  }
  int defaultWidth() const { return smallImage().width() + 4 + 16 * fontMetrics().averageCharWidth(); }
  int listWidth() const { return state().listColumnWidth > 0 ? state().listColumnWidth : defaultWidth(); }
  int itemCount() const { return static_cast<int>(state().items.size()); }
  int totalColumnWidth() const {
    int sum = 0;
    for (const auto& c : state().columns) sum += c.width;
    return sum;
  }
  int perRow() const {
    const int cell = view() == LVS_ICON ? iconCell().width() : defaultWidth();
    return std::max(1, viewport()->width() / cell);
  }
  int perColumn() const { return std::max(1, viewport()->height() / rowHeight()); }

  // The item's whole rectangle in the viewport, scrolling applied.
  QRect itemRect(int index) const {
    const int rh = rowHeight();
    switch (view()) {
      case LVS_REPORT:
        return {-horizontalScrollBar()->value(), headerHeight() + (index - verticalScrollBar()->value()) * rh,
                std::max(totalColumnWidth(), viewport()->width()), rh};
      case LVS_LIST:
        return {(index / perColumn() - horizontalScrollBar()->value()) * listWidth(),
                (index % perColumn()) * rh, listWidth(), rh};
      default: {
        const QSize cell = view() == LVS_ICON ? iconCell() : QSize(defaultWidth(), rh);
        return {(index % perRow()) * cell.width(),
                (index / perRow() - verticalScrollBar()->value()) * cell.height(), cell.width(),
                cell.height()};
      }
    }
  }
  QRect iconRect(int index) const {
    const QRect r = itemRect(index);
    if (view() == LVS_ICON) {
      const QSize s = largeImage();
      return {r.left() + (r.width() - s.width()) / 2, r.top() + 2, s.width(), s.height()};
    }
    const QSize s = smallImage();
    return {r.left() + 2, r.top() + (r.height() - s.height()) / 2, s.width(), s.height()};
  }
  QRect labelRect(int index) const {
    const QRect r = itemRect(index);
    const QRect icon = iconRect(index);
    if (view() == LVS_ICON) return {r.left(), icon.bottom() + 3, r.width(), r.bottom() - icon.bottom() - 3};
    const int right = view() == LVS_REPORT
                          ? r.left() + (state().columns.empty() ? r.width() : columnWidthAt(0))
                          : r.right();
    return QRect(QPoint(icon.right() + 3, r.top()), QPoint(right, r.bottom()));
  }
  int columnWidthAt(int column) const { return state().columns[static_cast<std::size_t>(column)].width; }
  int columnLeft(int column) const {
    int x = -horizontalScrollBar()->value();
    for (int c = 0; c < column; ++c) x += columnWidthAt(c);
    return x;
  }

  int itemAt(QPoint p) const {
    if (p.y() < headerHeight()) return -1;
    for (int i : visibleItems())
      if (itemRect(i).contains(p) && (view() != LVS_REPORT || p.x() < columnLeft(0) + totalColumnWidth()))
        return i;
    return -1;
  }

  // The items any part of which lies in the viewport.
  std::vector<int> visibleItems() const {
    std::vector<int> shown;
    const QRect area(0, headerHeight(), viewport()->width(), viewport()->height() - headerHeight());
    int first = 0, last = itemCount() - 1;
    if (view() == LVS_REPORT) {
      first = verticalScrollBar()->value();
      last = std::min(last, first + (area.height() + rowHeight() - 1) / rowHeight());
    }
    for (int i = first; i <= last; ++i)
      if (itemRect(i).intersects(area)) shown.push_back(i);
    return shown;
  }

  void relayout() {
    const int n = itemCount();
    QScrollBar* v = verticalScrollBar();
    QScrollBar* h = horizontalScrollBar();
    switch (view()) {
      case LVS_REPORT:
        v->setRange(0, std::max(0, n - (viewport()->height() - headerHeight()) / rowHeight()));
        v->setPageStep(std::max(1, (viewport()->height() - headerHeight()) / rowHeight()));
        h->setRange(0, std::max(0, totalColumnWidth() - viewport()->width()));
        h->setPageStep(std::max(1, viewport()->width()));
        break;
      case LVS_LIST: {
        const int columns = (n + perColumn() - 1) / perColumn();
        v->setRange(0, 0);
        h->setRange(0, std::max(0, columns - viewport()->width() / listWidth()));
        h->setPageStep(1);
        break;
      }
      default: {
        const int rows = (n + perRow() - 1) / perRow();
        const int cellHeight = view() == LVS_ICON ? iconCell().height() : rowHeight();
        v->setRange(0, std::max(0, rows - viewport()->height() / cellHeight));
        v->setPageStep(1);
        h->setRange(0, 0);
        break;
      }
    }
    viewport()->update();
  }

 protected:
  void resizeEvent(QResizeEvent* e) override {
    QAbstractScrollArea::resizeEvent(e);
    relayout();
  }
  void scrollContentsBy(int, int) override { viewport()->update(); }

  void paintEvent(QPaintEvent*) override {
    QPainter painter(viewport());
    std::map<std::pair<CImageList*, int>, QImage> pictures;  // once per paint
    auto picture = [&](CImageList* list, int index) -> QImage {
      if (!list || index < 0 || index >= list->GetImageCount()) return {};
      auto& p = pictures[{list, index}];
      if (p.isNull()) {
        HICON icon = list->ExtractIcon(index);
        p = iconImage(icon);
        DestroyIcon(icon);
      }
      return p;
    };
    const QPalette& pal = palette();
    for (int i : visibleItems()) {
      const auto& item = state().items[static_cast<std::size_t>(i)];
      const bool selected = item.state & LVIS_SELECTED;
      // Column 0 (or the only cell of the other views): label and image.
      const Cell& label = item.cells.front();
      UINT ask = (label.callback ? LVIF_TEXT : 0) | (item.image == I_IMAGECALLBACK ? LVIF_IMAGE : 0);
      std::string text = label.text;
      int image = item.image;
      const bool reportView = view() == LVS_REPORT;
      const bool labelShown =
          !reportView || (!state().columns.empty() && columnWidthAt(0) > 0 &&
                          columnLeft(0) < viewport()->width() && columnLeft(0) + columnWidthAt(0) > 0);
      if (labelShown || !reportView) {
        if (ask) list_->askOwner(i, 0, ask, text, image);
        CImageList* images = view() == LVS_ICON ? state().normalImages : state().smallImages;
        const QImage pic = picture(images, image);
        if (!pic.isNull()) painter.drawImage(iconRect(i).topLeft(), pic);
        const QRect r = labelRect(i);
        if (selected) painter.fillRect(r, pal.highlight());
        painter.setPen(selected ? pal.highlightedText().color() : pal.text().color());
        const int align = view() == LVS_ICON ? Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap
                                             : Qt::AlignLeft | Qt::AlignVCenter;
        painter.drawText(r.adjusted(2, 0, -2, 0), align, listQs(text));
        if (item.state & LVIS_FOCUSED && hasFocus()) painter.drawRect(r.adjusted(0, 0, -1, -1));
      }
      if (!reportView) continue;
      for (int c = 1; c < static_cast<int>(state().columns.size()); ++c) {
        const auto& column = state().columns[static_cast<std::size_t>(c)];
        const QRect cellRect(columnLeft(c), itemRect(i).top(), column.width, rowHeight());
        if (column.width <= 0 || cellRect.right() < 0 || cellRect.left() >= viewport()->width()) continue;
        std::string cellText;
        if (static_cast<std::size_t>(column.subItem) < item.cells.size()) {
          const Cell& cell = item.cells[static_cast<std::size_t>(column.subItem)];
          cellText = cell.text;
          int unused = 0;
          if (cell.callback) list_->askOwner(i, column.subItem, LVIF_TEXT, cellText, unused);
        }
        painter.setPen(pal.text().color());
        const int align = (column.format == LVCFMT_RIGHT    ? Qt::AlignRight
                           : column.format == LVCFMT_CENTER ? Qt::AlignHCenter
                                                            : Qt::AlignLeft) |
                          Qt::AlignVCenter;
        painter.drawText(cellRect.adjusted(6, 0, -6, 0), align, listQs(cellText));
      }
    }
    if (headerHeight()) {
      const QRect strip(0, 0, viewport()->width(), headerHeight());
      painter.fillRect(strip, pal.button());
      painter.setPen(pal.buttonText().color());
      for (int c = 0; c < static_cast<int>(state().columns.size()); ++c) {
        const QRect r(columnLeft(c), 0, columnWidthAt(c), headerHeight());
        if (r.width() <= 0) continue;
        painter.drawText(r.adjusted(6, 0, -6, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         listQs(state().columns[static_cast<std::size_t>(c)].heading));
        painter.drawLine(r.topRight(), r.bottomRight());
      }
    }
  }

  void mousePressEvent(QMouseEvent* e) override {
    setFocus(Qt::MouseFocusReason);
    const QPoint p = e->position().toPoint();
    if (p.y() < headerHeight()) {
      if (e->button() != Qt::LeftButton) return;
      if (const int grip = columnEdgeAt(p.x()); grip >= 0) {
        resizing_ = grip;
        return;
      }
      if (const int column = columnAt(p.x()); column >= 0 && !(list_->GetStyle() & LVS_NOSORTHEADER))
        list_->columnClicked(column);
      return;
    }
    if (e->button() != Qt::LeftButton && e->button() != Qt::RightButton) return;
    // Through the control's window: its owner may handle the click before
    // (or instead of) the control's own selection.
    mouse(e->button() == Qt::LeftButton ? WM_LBUTTONDOWN : WM_RBUTTONDOWN, e);
    e->ignore();  // the window hears of the click too
  }
  void mouseDoubleClickEvent(QMouseEvent* e) override {
    if (e->position().y() < headerHeight() || e->button() != Qt::LeftButton) return;
    mouse(WM_LBUTTONDBLCLK, e);
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    const int x = e->position().toPoint().x();
    if (resizing_ >= 0) {
      list_->SetColumnWidth(resizing_, std::max(0, x - columnLeft(resizing_)));
      return;
    }
    viewport()->setCursor(e->position().y() < headerHeight() && columnEdgeAt(x) >= 0 ? Qt::SplitHCursor
                                                                                     : Qt::ArrowCursor);
  }
  void mouseReleaseEvent(QMouseEvent*) override { resizing_ = -1; }
  void keyPressEvent(QKeyEvent* e) override {
    const bool edits = e->key() == Qt::Key_F2 && (list_->GetStyle() & LVS_EDITLABELS);
    const HWND hwnd = list_->m_hWnd;
    const LPARAM repeat = 1;
    if (const WORD vk = wf::fw::virtualKey(e->key())) ::SendMessage(hwnd, WM_KEYDOWN, vk, repeat);
    const QString text = e->text();
    if (text.size() == 1 && (text[0].unicode() >= 0x20 || text[0] == QChar('\r')) && ::IsWindow(hwnd))
      ::SendMessage(hwnd, WM_CHAR, text[0].unicode(), repeat);
    if (edits) return;
    e->ignore();  // the window's own keys
  }

 private:
  static QSize imageSize(CImageList* list, int fallback) {
    if (!list) return {fallback, fallback};
    const CSize s = list->GetImageSize();
    return {s.cx, s.cy};
  }
  int columnAt(int x) const {
    for (int c = 0; c < static_cast<int>(state().columns.size()); ++c)
      if (x >= columnLeft(c) && x < columnLeft(c) + columnWidthAt(c)) return c;
    return -1;
  }
  int columnEdgeAt(int x) const {
    for (int c = 0; c < static_cast<int>(state().columns.size()); ++c)
      if (columnWidthAt(c) > 0 && std::abs(x - (columnLeft(c) + columnWidthAt(c))) <= kResizeGrip) return c;
    return -1;
  }

  // MK_ flags of the buttons and keys held with this event.
  static UINT keyFlags(const QMouseEvent* e) {
    UINT flags = 0;
    if (e->buttons() & Qt::LeftButton) flags |= MK_LBUTTON;
    if (e->buttons() & Qt::RightButton) flags |= MK_RBUTTON;
    if (e->buttons() & Qt::MiddleButton) flags |= MK_MBUTTON;
    if (e->modifiers() & Qt::ShiftModifier) flags |= MK_SHIFT;
    if (e->modifiers() & Qt::ControlModifier) flags |= MK_CONTROL;
    return flags;
  }
  void mouse(UINT message, QMouseEvent* e) {
    const QPoint p = viewport()->mapTo(wf::fw::widgetOf(list_->m_hWnd), e->position().toPoint());
    ::SendMessage(list_->m_hWnd, message, keyFlags(e),
                  static_cast<LPARAM>(MAKELONG(static_cast<WORD>(p.x()), static_cast<WORD>(p.y()))));
  }

  CListCtrl* list_;
  int resizing_ = -1;
};

}  // namespace wf::fw

using wf::fw::ListCanvas;

CListCtrl::CListCtrl() : state_(std::make_unique<State>()) {}
CListCtrl::~CListCtrl() {
  // The widget may outlive this object by a turn of the loop.
  QObject::disconnect(state_->canvasGone);
}

BOOL CListCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
  return CreateEx(0, WC_LISTVIEW, "", style | WS_CHILD, rect.left, rect.top, rect.right - rect.left,
                  rect.bottom - rect.top, parent ? parent->m_hWnd : 0, id);
}

void CListCtrl::buildWidget() {
  QWidget* frame = wf::fw::widgetOf(m_hWnd);
  auto* canvas = new ListCanvas(this);
  auto* layout = new QHBoxLayout(frame);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(canvas);
  frame->setFocusProxy(canvas);
  canvas->setContextMenuPolicy(Qt::NoContextMenu);
  state_->canvas = canvas;
  state_->canvasGone =
      QObject::connect(canvas, &QObject::destroyed, [state = state_.get()] { state->canvas = nullptr; });
  canvas->relayout();
}

void CListCtrl::styleChanged(DWORD) {
  refresh();
}

void CListCtrl::refresh() const {
  if (state_->canvas) state_->canvas->relayout();
}

LRESULT CListCtrl::notify(UINT code, NMHDR* header) const {
  CWnd* parent = GetParent();
  if (!parent) return 0;
  header->hwndFrom = m_hWnd;
  header->idFrom = static_cast<UINT_PTR>(GetDlgCtrlID());
  header->code = code;
  return parent->SendMessage(WM_NOTIFY, header->idFrom, reinterpret_cast<LPARAM>(header));
}

void CListCtrl::askOwner(int index, int subItem, UINT mask, std::string& text, int& image) const {
  NMLVDISPINFO info;
  char buffer[kTextBuffer] = {};
  info.item.mask = mask;
  info.item.iItem = index;
  info.item.iSubItem = subItem;
  info.item.lParam = state_->items[static_cast<std::size_t>(index)].param;
  info.item.pszText = buffer;
  info.item.cchTextMax = kTextBuffer;
  info.item.iImage = image;
  notify(LVN_GETDISPINFO, &info.hdr);
  if (mask & LVIF_TEXT) {
    buffer[kTextBuffer - 1] = '\0';
    text = info.item.pszText && info.item.pszText != LPSTR_TEXTCALLBACK ? info.item.pszText : "";
  }
  if (mask & LVIF_IMAGE) image = info.item.iImage;
}

void CListCtrl::columnClicked(int column) const {
  NMLISTVIEW info;
  info.iItem = -1;
  info.iSubItem = column;
  notify(LVN_COLUMNCLICK, &info.hdr);
}

LRESULT CListCtrl::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN: {
      const CPoint point{static_cast<std::int16_t>(LOWORD(lParam)),
                         static_cast<std::int16_t>(HIWORD(lParam))};
      const int index = HitTest(point);
      // A right click on a selected item keeps the selection for its menu.
      if (message == WM_RBUTTONDOWN && index >= 0 && GetItemState(index, LVIS_SELECTED)) {
        SetItemState(index, LVIS_FOCUSED, LVIS_FOCUSED);
        return 0;
      }
      userClick(index, (wParam & MK_CONTROL) != 0);
      return 0;
    }
    case WM_KEYDOWN:
      if (wParam == VK_F2 && (GetStyle() & LVS_EDITLABELS)) EditLabel(GetNextItem(-1, LVNI_FOCUSED));
      return 0;
    case WM_LBUTTONDBLCLK:
    case WM_CHAR:
      return 0;
    default:
      return CControlWnd::DefWindowProc(message, wParam, lParam);
  }
}

void CListCtrl::userClick(int index, bool toggle) {
  if (index < 0) {
    SetItemState(-1, 0, LVIS_SELECTED);
    return;
  }
  const bool single = GetStyle() & LVS_SINGLESEL;
  if (toggle && !single) {
    SetItemState(index, GetItemState(index, LVIS_SELECTED) ^ LVIS_SELECTED, LVIS_SELECTED);
  } else {
    SetItemState(-1, 0, LVIS_SELECTED);
    SetItemState(index, LVIS_SELECTED, LVIS_SELECTED);
  }
  SetItemState(index, LVIS_FOCUSED, LVIS_FOCUSED);
}

// ---- Columns ----

int CListCtrl::InsertColumn(int column, const LVCOLUMN* info) {
  if (!info || column < 0) return -1;
  State::Column made;
  if (info->mask & LVCF_TEXT && info->pszText) made.heading = info->pszText;
  if (info->mask & LVCF_FMT) made.format = info->fmt;
  made.width = info->mask & LVCF_WIDTH ? std::max(0, info->cx) : 0;
  column = std::min(column, static_cast<int>(state_->columns.size()));
  made.subItem = info->mask & LVCF_SUBITEM ? info->iSubItem : column;
  state_->columns.insert(state_->columns.begin() + column, made);
  refresh();
  return column;
}

int CListCtrl::InsertColumn(int column, LPCSTR heading, int format, int width, int subItem) {
  LVCOLUMN info;
  info.mask = LVCF_TEXT | LVCF_FMT;
  info.pszText = const_cast<LPSTR>(heading);
  info.fmt = format;
  info.mask |= LVCF_WIDTH;
  info.cx = width >= 0 ? width : 10 * QFontMetrics(QApplication::font()).averageCharWidth();
  if (subItem >= 0) {
    info.mask |= LVCF_SUBITEM;
    info.iSubItem = subItem;
  }
  return InsertColumn(column, &info);
}

BOOL CListCtrl::DeleteColumn(int column) {
  if (column < 0 || column >= static_cast<int>(state_->columns.size())) return FALSE;
  state_->columns.erase(state_->columns.begin() + column);
  refresh();
  return TRUE;
}

int CListCtrl::GetColumnCount() const {
  return static_cast<int>(state_->columns.size());
}

CString CListCtrl::GetColumnHeading(int column) const {
  if (column < 0 || column >= GetColumnCount()) return CString();
  return CString(state_->columns[static_cast<std::size_t>(column)].heading.c_str());
}

int CListCtrl::GetColumnWidth(int column) const {
  if ((GetStyle() & LVS_TYPEMASK) == LVS_LIST)
    return state_->canvas ? state_->canvas->listWidth() : state_->listColumnWidth;
  if (column < 0 || column >= static_cast<int>(state_->columns.size())) return 0;
  return state_->columns[static_cast<std::size_t>(column)].width;
}

BOOL CListCtrl::SetColumnWidth(int column, int width) {
  if ((GetStyle() & LVS_TYPEMASK) == LVS_LIST) {
    if (column != 0) return FALSE;
    state_->listColumnWidth = std::max(1, width);
  } else {
    if (column < 0 || column >= static_cast<int>(state_->columns.size())) return FALSE;
    state_->columns[static_cast<std::size_t>(column)].width = std::max(0, width);
  }
  refresh();
  return TRUE;
}

// ---- Items ----

int CListCtrl::GetItemCount() const {
  return static_cast<int>(state_->items.size());
}

int CListCtrl::InsertItem(const LVITEM* info) {
  if (!info || info->iItem < 0 || info->iSubItem != 0) return -1;
  State::Item item;
  item.cells.resize(1);
  if (info->mask & LVIF_TEXT) {
    item.cells[0].callback = info->pszText == LPSTR_TEXTCALLBACK;
    if (!item.cells[0].callback && info->pszText) item.cells[0].text = info->pszText;
  }
  if (info->mask & LVIF_IMAGE) item.image = info->iImage;
  if (info->mask & LVIF_PARAM) item.param = info->lParam;
  const int index = std::min(info->iItem, GetItemCount());
  state_->items.insert(state_->items.begin() + index, std::move(item));
  if (info->mask & LVIF_STATE) SetItemState(index, info->state, info->stateMask);
  refresh();
  NMLISTVIEW inserted;
  inserted.iItem = index;
  inserted.lParam = state_->items[static_cast<std::size_t>(index)].param;
  notify(LVN_INSERTITEM, &inserted.hdr);
  return index;
}

int CListCtrl::InsertItem(int index, LPCSTR text) {
  return InsertItem(LVIF_TEXT, index, text, 0, 0, 0, 0);
}

int CListCtrl::InsertItem(int index, LPCSTR text, int image) {
  return InsertItem(LVIF_TEXT | LVIF_IMAGE, index, text, 0, 0, image, 0);
}

int CListCtrl::InsertItem(UINT mask, int index, LPCSTR text, UINT state, UINT stateMask, int image,
                          LPARAM lParam) {
  LVITEM item;
  item.mask = mask;
  item.iItem = index;
  item.pszText = const_cast<LPSTR>(text);
  item.state = state;
  item.stateMask = stateMask;
  item.iImage = image;
  item.lParam = lParam;
  return InsertItem(&item);
}

BOOL CListCtrl::DeleteItem(int index) {
  if (index < 0 || index >= GetItemCount()) return FALSE;
  state_->items.erase(state_->items.begin() + index);
  refresh();
  return TRUE;
}

BOOL CListCtrl::DeleteAllItems() {
  state_->items.clear();
  refresh();
  return TRUE;
}

BOOL CListCtrl::GetItem(LVITEM* info) const {
  if (!info || info->iItem < 0 || info->iItem >= GetItemCount() || info->iSubItem < 0) return FALSE;
  const auto& item = state_->items[static_cast<std::size_t>(info->iItem)];
  std::string text;
  int image = item.image;
  UINT ask = 0;
  if (info->mask & LVIF_TEXT) {
    if (static_cast<std::size_t>(info->iSubItem) < item.cells.size()) {
      const Cell& cell = item.cells[static_cast<std::size_t>(info->iSubItem)];
      text = cell.text;
      if (cell.callback) ask |= LVIF_TEXT;
    }
  }
  if (info->mask & LVIF_IMAGE && info->iSubItem == 0 && item.image == I_IMAGECALLBACK) ask |= LVIF_IMAGE;
  if (ask) askOwner(info->iItem, info->iSubItem, ask, text, image);
  if (info->mask & LVIF_TEXT && info->pszText && info->cchTextMax > 0) {
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(info->cchTextMax - 1));
    std::copy_n(text.begin(), n, info->pszText);
    info->pszText[n] = '\0';
  }
  if (info->mask & LVIF_IMAGE) info->iImage = image;
  if (info->mask & LVIF_PARAM) info->lParam = item.param;
  if (info->mask & LVIF_STATE) info->state = item.state & info->stateMask;
  return TRUE;
}

BOOL CListCtrl::SetItem(const LVITEM* info) {
  if (!info || info->iItem < 0 || info->iItem >= GetItemCount() || info->iSubItem < 0) return FALSE;
  auto& item = state_->items[static_cast<std::size_t>(info->iItem)];
  if (info->mask & LVIF_TEXT) {
    if (item.cells.size() <= static_cast<std::size_t>(info->iSubItem)) item.cells.resize(info->iSubItem + 1u);
    Cell& cell = item.cells[static_cast<std::size_t>(info->iSubItem)];
    cell.callback = info->pszText == LPSTR_TEXTCALLBACK;
    cell.text = !cell.callback && info->pszText ? info->pszText : "";
  }
  if (info->iSubItem == 0) {
    if (info->mask & LVIF_IMAGE) item.image = info->iImage;
    if (info->mask & LVIF_PARAM) item.param = info->lParam;
  }
  if (info->mask & LVIF_STATE) SetItemState(info->iItem, info->state, info->stateMask);
  refresh();
  return TRUE;
}

CString CListCtrl::GetItemText(int index, int subItem) const {
  char buffer[kTextBuffer] = {};
  LVITEM item;
  item.mask = LVIF_TEXT;
  item.iItem = index;
  item.iSubItem = subItem;
  item.pszText = buffer;
  item.cchTextMax = kTextBuffer;
  return GetItem(&item) ? CString(buffer) : CString();
}

BOOL CListCtrl::SetItemText(int index, int subItem, LPCSTR text) {
  LVITEM item;
  item.mask = LVIF_TEXT;
  item.iItem = index;
  item.iSubItem = subItem;
  item.pszText = const_cast<LPSTR>(text);
  return SetItem(&item);
}

DWORD_PTR CListCtrl::GetItemData(int index) const {
  if (index < 0 || index >= GetItemCount()) return 0;
  return static_cast<DWORD_PTR>(state_->items[static_cast<std::size_t>(index)].param);
}

BOOL CListCtrl::SetItemData(int index, DWORD_PTR data) {
  if (index < 0 || index >= GetItemCount()) return FALSE;
  state_->items[static_cast<std::size_t>(index)].param = static_cast<LPARAM>(data);
  return TRUE;
}

// ---- State and selection ----

UINT CListCtrl::GetItemState(int index, UINT mask) const {
  if (index < 0 || index >= GetItemCount()) return 0;
  return state_->items[static_cast<std::size_t>(index)].state & mask;
}

BOOL CListCtrl::SetItemState(int index, UINT state, UINT mask) {
  if (index < -1 || index >= GetItemCount()) return FALSE;
  auto set = [&](std::size_t i) {
    auto& item = state_->items[i];
    item.state = (item.state & ~mask) | (state & mask);
  };
  if (index == -1) {
    for (std::size_t i = 0; i < state_->items.size(); ++i) set(i);
  } else {
    // One focus, and one selection in a single-selection list.
    UINT taken = state & mask & LVIS_FOCUSED;
    if (GetStyle() & LVS_SINGLESEL) taken |= state & mask & LVIS_SELECTED;
    if (taken)
      for (auto& other : state_->items) other.state &= ~taken;
    set(static_cast<std::size_t>(index));
  }
  refresh();
  return TRUE;
}

int CListCtrl::GetNextItem(int start, int flags) const {
  const UINT wanted = (flags & LVNI_FOCUSED ? LVIS_FOCUSED : 0) | (flags & LVNI_SELECTED ? LVIS_SELECTED : 0);
  for (int i = std::max(0, start + 1); i < GetItemCount(); ++i)
    if ((state_->items[static_cast<std::size_t>(i)].state & wanted) == wanted) return i;
  return -1;
}

UINT CListCtrl::GetSelectedCount() const {
  return static_cast<UINT>(std::count_if(state_->items.begin(), state_->items.end(),
                                         [](const State::Item& i) { return i.state & LVIS_SELECTED; }));
}

// A position is the item index plus one, so that null ends the walk.
POSITION CListCtrl::GetFirstSelectedItemPosition() const {
  const int first = GetNextItem(-1, LVNI_SELECTED);
  return reinterpret_cast<POSITION>(static_cast<std::intptr_t>(first + 1));
}

int CListCtrl::GetNextSelectedItem(POSITION& position) const {
  const int index = static_cast<int>(reinterpret_cast<std::intptr_t>(position)) - 1;
  position = reinterpret_cast<POSITION>(static_cast<std::intptr_t>(GetNextItem(index, LVNI_SELECTED) + 1));
  return index;
}

int CListCtrl::FindItem(const LVFINDINFO* info, int start) const {
  if (!info) return -1;
  for (int i = std::max(0, start + 1); i < GetItemCount(); ++i) {
    if (info->flags & LVFI_PARAM) {
      if (state_->items[static_cast<std::size_t>(i)].param == info->lParam) return i;
    } else if (info->flags & (LVFI_STRING | LVFI_PARTIAL) && info->psz) {
      const QString text = QString::fromStdString(GetItemText(i, 0).str());
      const QString wanted = QString::fromUtf8(info->psz);
      if (info->flags & LVFI_PARTIAL ? text.startsWith(wanted, Qt::CaseInsensitive)
                                     : text.compare(wanted, Qt::CaseInsensitive) == 0)
        return i;
    }
  }
  return -1;
}

BOOL CListCtrl::SortItems(PFNLVCOMPARE compare, DWORD_PTR sortData) {
  if (!compare) return FALSE;
  std::stable_sort(state_->items.begin(), state_->items.end(),
                   [&](const State::Item& a, const State::Item& b) {
                     return compare(a.param, b.param, static_cast<LPARAM>(sortData)) < 0;
                   });
  refresh();
  return TRUE;
}

CImageList* CListCtrl::SetImageList(CImageList* list, int which) {
  CImageList** slot = which == LVSIL_NORMAL  ? &state_->normalImages
                      : which == LVSIL_SMALL ? &state_->smallImages
                                             : nullptr;
  if (!slot) return nullptr;
  CImageList* previous = std::exchange(*slot, list);
  refresh();
  return previous;
}

CImageList* CListCtrl::GetImageList(int which) const {
  return which == LVSIL_NORMAL ? state_->normalImages : which == LVSIL_SMALL ? state_->smallImages : nullptr;
}

BOOL CListCtrl::Update(int index) {
  return RedrawItems(index, index);
}

BOOL CListCtrl::RedrawItems(int first, int last) {
  if (first < 0 || last < first || last >= GetItemCount()) return FALSE;
  refresh();
  return TRUE;
}

// ---- Geometry ----

BOOL CListCtrl::GetItemRect(int index, LPRECT rect, UINT code) const {
  ListCanvas* canvas = state_->canvas;
  if (!canvas || !rect || index < 0 || index >= GetItemCount()) return FALSE;
  QRect r = code == LVIR_ICON    ? canvas->iconRect(index)
            : code == LVIR_LABEL ? canvas->labelRect(index)
                                 : canvas->itemRect(index);
  r.moveTopLeft(canvas->viewport()->mapTo(wf::fw::widgetOf(m_hWnd), r.topLeft()));
  *rect = CRect(r.left(), r.top(), r.left() + r.width(), r.top() + r.height());
  return TRUE;
}

int CListCtrl::HitTest(CPoint point, UINT* flags) const {
  ListCanvas* canvas = state_->canvas;
  if (flags) *flags = LVHT_NOWHERE;
  if (!canvas) return -1;
  const QPoint p = canvas->viewport()->mapFrom(wf::fw::widgetOf(m_hWnd), QPoint(point.x, point.y));
  const int index = canvas->itemAt(p);
  if (index >= 0 && flags) *flags = canvas->iconRect(index).contains(p) ? LVHT_ONITEMICON : LVHT_ONITEMLABEL;
  return index;
}

BOOL CListCtrl::EnsureVisible(int index, BOOL partialOK) {
  ListCanvas* canvas = state_->canvas;
  if (!canvas || index < 0 || index >= GetItemCount()) return FALSE;
  const QRect area(0, canvas->headerHeight(), canvas->viewport()->width(),
                   canvas->viewport()->height() - canvas->headerHeight());
  QRect r = canvas->itemRect(index);
  if (partialOK ? area.intersects(r) : area.contains(r)) return TRUE;
  const int view = GetStyle() & LVS_TYPEMASK;
  QScrollBar* bar = view == LVS_LIST ? canvas->horizontalScrollBar() : canvas->verticalScrollBar();
  // Step the bar towards the item until it shows whole (or the bar ends).
  const bool before = view == LVS_LIST ? r.left() < area.left() : r.top() < area.top();
  while (!area.contains(r) && bar->value() != (before ? bar->minimum() : bar->maximum())) {
    bar->setValue(bar->value() + (before ? -1 : 1));
    r = canvas->itemRect(index);
  }
  return TRUE;
}

int CListCtrl::GetTopIndex() const {
  ListCanvas* canvas = state_->canvas;
  if (!canvas) return 0;
  switch (GetStyle() & LVS_TYPEMASK) {
    case LVS_REPORT:
      return canvas->verticalScrollBar()->value();
    case LVS_LIST:
      return canvas->horizontalScrollBar()->value() * canvas->perColumn();
    default:
      return canvas->verticalScrollBar()->value() * canvas->perRow();
  }
}

int CListCtrl::GetCountPerPage() const {
  ListCanvas* canvas = state_->canvas;
  if (!canvas) return 0;
  const int height = canvas->viewport()->height() - canvas->headerHeight();
  switch (GetStyle() & LVS_TYPEMASK) {
    case LVS_REPORT:
      return height / canvas->rowHeight();
    case LVS_LIST:
      return canvas->perColumn() * std::max(1, canvas->viewport()->width() / canvas->listWidth());
    case LVS_ICON:
      return canvas->perRow() * std::max(1, height / canvas->iconCell().height());
    default:
      return canvas->perRow() * std::max(1, height / canvas->rowHeight());
  }
}

// ---- Label editing ----

namespace {

// Enter ends the edit, Esc cancels it, and so does losing the focus.
class LabelKeys : public QObject {
 public:
  LabelKeys(QObject* parent, std::function<void(bool)> end) : QObject(parent), end_(std::move(end)) {}
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(e)->key();
      if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
        end_(key != Qt::Key_Escape);
        return true;
      }
    }
    if (e->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(e)->reason() != Qt::ActiveWindowFocusReason &&
        static_cast<QFocusEvent*>(e)->reason() != Qt::PopupFocusReason)
      end_(true);
    return false;
  }

 private:
  std::function<void(bool)> end_;
};

}  // namespace

CEdit* CListCtrl::EditLabel(int index) {
  if (index < 0 || index >= GetItemCount() || !state_->canvas) return nullptr;
  if (state_->editor) endLabelEdit(true);
  const CString current = GetItemText(index, 0);
  NMLVDISPINFO begin;
  begin.item.mask = LVIF_TEXT | LVIF_PARAM;
  begin.item.iItem = index;
  begin.item.pszText = const_cast<LPSTR>(static_cast<LPCSTR>(current));
  begin.item.lParam = state_->items[static_cast<std::size_t>(index)].param;
  EnsureVisible(index, FALSE);
  CRect label;
  GetItemRect(index, &label, LVIR_LABEL);
  auto editor = std::make_unique<CEdit>();
  if (!editor->CreateEx(0, WC_EDIT, current, WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, label.left,
                        label.top, std::max(label.Width(), 40), label.Height(), m_hWnd, 1))
    return nullptr;
  state_->editor = std::move(editor);
  state_->editedItem = index;
  // The owner is asked with the edit control in place, so it may limit it.
  if (notify(LVN_BEGINLABELEDIT, &begin.hdr)) {
    state_->editor->DestroyWindow();
    state_->editor.reset();
    state_->editedItem = -1;
    return nullptr;  // refused
  }
  if (QWidget* w = wf::fw::widgetOf(state_->editor->m_hWnd)) {
    w->raise();
    QWidget* line = w->focusProxy() ? w->focusProxy() : w;
    line->installEventFilter(new LabelKeys(line, [this](bool accept) { endLabelEdit(accept); }));
  }
  state_->editor->SetFocus();
  return state_->editor.get();
}

CEdit* CListCtrl::GetEditControl() const {
  return state_->editor.get();
}

void CListCtrl::endLabelEdit(bool accept) {
  if (!state_->editor || state_->ending) return;
  state_->ending = true;
  CString text;
  state_->editor->GetWindowText(text);
  const int index = state_->editedItem;
  NMLVDISPINFO end;
  end.item.mask = LVIF_TEXT | LVIF_PARAM;
  end.item.iItem = index;
  end.item.pszText = accept ? const_cast<LPSTR>(static_cast<LPCSTR>(text)) : nullptr;
  end.item.cchTextMax = text.GetLength() + 1;
  if (index < GetItemCount()) end.item.lParam = state_->items[static_cast<std::size_t>(index)].param;
  const bool taken = notify(LVN_ENDLABELEDIT, &end.hdr) && accept && index < GetItemCount();
  if (taken) {
    // A label the owner supplies stays the owner's: it is told the new text.
    if (state_->items[static_cast<std::size_t>(index)].cells.front().callback) {
      NMLVDISPINFO set = end;
      set.item.mask = LVIF_TEXT;
      notify(LVN_SETDISPINFO, &set.hdr);
    } else {
      SetItemText(index, 0, text);
    }
  }
  // The editor may be inside its own key handler: its object goes after it.
  CEdit* done = state_->editor.release();
  done->DestroyWindow();
  QMetaObject::invokeMethod(
      qApp, [done] { delete done; }, Qt::QueuedConnection);
  state_->editedItem = -1;
  state_->ending = false;
  if (state_->canvas) state_->canvas->setFocus(Qt::OtherFocusReason);
  refresh();
}
