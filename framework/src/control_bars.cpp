#include "framework/control_bars.h"

#include <QAction>
#include <QEvent>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include <vector>

#include "framework/frame_wnd.h"
#include "wnd_widget.h"

IMPLEMENT_DYNAMIC(CControlBar, CWnd)
IMPLEMENT_DYNAMIC(CToolBar, CControlBar)
IMPLEMENT_DYNAMIC(CStatusBar, CControlBar)

namespace wf::fw {

struct BarState {
  QWidget* inner = nullptr;  // the QToolBar or QStatusBar filling the bar's widget

  struct Button {
    UINT id = ID_SEPARATOR;
    UINT style = TBBS_BUTTON;
    QAction* action = nullptr;
  };
  std::vector<Button> buttons;
  std::vector<QImage> images;  // one per button that is not a separator

  struct Pane {
    UINT id = ID_SEPARATOR;
    UINT style = SBPS_NORMAL;
    int width = 0;
    CString text;
    QLabel* label = nullptr;
  };
  std::vector<Pane> panes;
};

namespace {

QString barQs(const CString& text) {
  return QString::fromStdString(text.str());
}

// The part of command `id`'s string after the newline.
CString tipOf(UINT id) {
  CString text;
  if (!text.LoadString(id)) return {};
  const int newline = text.Find('\n');
  return newline < 0 ? CString() : text.Mid(newline + 1);
}

void fillWith(QWidget* bar, QWidget* inner) {
  auto* layout = new QHBoxLayout(bar);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(inner);
}

// Tells the frame which button the pointer is on, for its message pane.
class FlyByWatcher : public QObject {
 public:
  static constexpr const char* kName = "wfFlyByWatcher";
  FlyByWatcher(QObject* parent, HWND frame, UINT id) : QObject(parent), frame_(frame), id_(id) {
    setObjectName(kName);
  }

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Enter) ::SendMessage(frame_, WM_SETMESSAGESTRING, id_, 0);
    if (e->type() == QEvent::Leave) ::SendMessage(frame_, WM_SETMESSAGESTRING, AFX_IDS_IDLEMESSAGE, 0);
    return false;
  }

 private:
  HWND frame_;
  UINT id_;
};

// A button's state shown by its action.
void showButton(const BarState::Button& button) {
  if (!button.action || button.id == ID_SEPARATOR) return;
  button.action->setEnabled(!(button.style & TBBS_DISABLED));
  const bool checkable = button.style & (TBBS_CHECKBOX | TBBS_CHECKED | TBBS_INDETERMINATE);
  button.action->setCheckable(checkable);
  button.action->setChecked(button.style & TBBS_CHECKED);
}

void showPane(const BarState::Pane& pane) {
  if (!pane.label) return;
  pane.label->setText(pane.style & SBPS_DISABLED ? QString() : barQs(pane.text));
  pane.label->setMinimumWidth(pane.width);
  pane.label->setFrameStyle(pane.style & SBPS_NOBORDERS ? QFrame::NoFrame
                            : pane.style & SBPS_POPOUT  ? QFrame::Panel | QFrame::Raised
                                                        : QFrame::Panel | QFrame::Sunken);
}

class ToolCmdUI : public CCmdUI {
 public:
  explicit ToolCmdUI(CToolBar* bar) : bar_(bar) {}
  void Enable(BOOL on) override {
    CCmdUI::Enable(on);
    const UINT style = bar_->GetButtonStyle(static_cast<int>(m_nIndex));
    bar_->SetButtonStyle(static_cast<int>(m_nIndex), on ? style & ~TBBS_DISABLED : style | TBBS_DISABLED);
  }
  void SetCheck(int check) override {
    const UINT style =
        bar_->GetButtonStyle(static_cast<int>(m_nIndex)) & ~(TBBS_CHECKED | TBBS_INDETERMINATE);
    const UINT mark = check == 1 ? TBBS_CHECKED : check == 2 ? TBBS_INDETERMINATE : 0;
    bar_->SetButtonStyle(static_cast<int>(m_nIndex), style | TBBS_CHECKBOX | mark);
  }

 private:
  CToolBar* bar_;
};

class StatusCmdUI : public CCmdUI {
 public:
  explicit StatusCmdUI(CStatusBar* bar) : bar_(bar) {}
  void Enable(BOOL on) override {
    CCmdUI::Enable(on);
    const UINT style = bar_->GetPaneStyle(static_cast<int>(m_nIndex));
    bar_->SetPaneStyle(static_cast<int>(m_nIndex), on ? style & ~SBPS_DISABLED : style | SBPS_DISABLED);
  }
  void SetCheck(int check) override {
    const UINT style = bar_->GetPaneStyle(static_cast<int>(m_nIndex));
    bar_->SetPaneStyle(static_cast<int>(m_nIndex), check ? style | SBPS_POPOUT : style & ~SBPS_POPOUT);
  }
  void SetText(LPCSTR text) override { bar_->SetPaneText(static_cast<int>(m_nIndex), text); }

 private:
  CStatusBar* bar_;
};

}  // namespace
}  // namespace wf::fw

using wf::fw::BarState;

// ---- CControlBar ----

BEGIN_MESSAGE_MAP(CControlBar, CWnd)
ON_MESSAGE(WM_IDLEUPDATECMDUI, OnIdleUpdateCmdUI)
END_MESSAGE_MAP()

CControlBar::CControlBar() : state_(std::make_unique<BarState>()) {}
CControlBar::~CControlBar() = default;

BOOL CControlBar::createBar(CWnd* parent, DWORD style, UINT id) {
  if (!parent || !parent->m_hWnd) return FALSE;
  barStyle_ = style & CBRS_ALL;
  return CreateEx(0, "AfxControlBar", nullptr, (style & ~CBRS_ALL) | WS_CHILD, 0, 0, 0, 0, parent->m_hWnd,
                  id);
}

void CControlBar::SetBarStyle(DWORD style) {
  barStyle_ = style & CBRS_ALL;
  barStyleChanged();
}

CFrameWnd* CControlBar::GetParentFrame() const {
  return dynamic_cast<CFrameWnd*>(GetParent());
}

CSize CControlBar::CalcFixedLayout(BOOL, BOOL) {
  CWnd* parent = GetParent();
  CRect client;
  if (parent) parent->GetClientRect(&client);
  return {client.Width(), state_->inner ? state_->inner->sizeHint().height() : 0};
}

LRESULT CControlBar::OnIdleUpdateCmdUI(WPARAM disableIfNoHandler, LPARAM) {
  if (!IsWindowVisible()) return 0;
  if (CFrameWnd* frame = GetParentFrame()) OnUpdateCmdUI(frame, static_cast<BOOL>(disableIfNoHandler));
  return 0;
}

// ---- CToolBar ----

BOOL CToolBar::Create(CWnd* parent, DWORD style, UINT id) {
  if (!createBar(parent, style, id)) return FALSE;
  if (QWidget* w = wf::fw::widgetOf(m_hWnd)) {
    auto* toolbar = new QToolBar;
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    wf::fw::fillWith(w, toolbar);
    state_->inner = toolbar;
  }
  return TRUE;
}

BOOL CToolBar::LoadToolBar(const wf::fw::ResourceId& id) {
  const wf::fw::res::Toolbar* resource = wf::fw::findToolbar(id);
  const wf::fw::res::Image* bitmap = wf::fw::findBitmap(id);
  if (!resource || !bitmap) return FALSE;
  QImage strip;
  if (!strip.loadFromData(bitmap->bytes, static_cast<int>(bitmap->size))) return FALSE;
  strip = strip.convertToFormat(QImage::Format_ARGB32);
  // The button face colour of the strips shows the bar through.
  for (int y = 0; y < strip.height(); ++y)
    for (int x = 0; x < strip.width(); ++x)
      if (strip.pixel(x, y) == qRgb(192, 192, 192)) strip.setPixel(x, y, qRgba(0, 0, 0, 0));
  state_->images.clear();
  for (int x = 0; x + resource->width <= strip.width(); x += resource->width)
    state_->images.push_back(strip.copy(x, 0, resource->width, resource->height));
  if (auto* toolbar = qobject_cast<QToolBar*>(state_->inner))
    toolbar->setIconSize(QSize(resource->width, resource->height));
  return SetButtons(resource->items, static_cast<int>(resource->count));
}

BOOL CToolBar::SetButtons(const UINT* ids, int count) {
  auto* toolbar = qobject_cast<QToolBar*>(state_->inner);
  if (!toolbar || count < 0) return FALSE;
  toolbar->clear();
  state_->buttons.clear();
  CFrameWnd* frame = GetParentFrame();
  const HWND owner = frame ? frame->m_hWnd : 0;
  const HWND self = m_hWnd;
  std::size_t image = 0;
  for (int i = 0; i < count; ++i) {
    BarState::Button button;
    button.id = ids ? ids[i] : ID_SEPARATOR;
    if (button.id == ID_SEPARATOR) {
      button.style = TBBS_SEPARATOR;
      button.action = toolbar->addSeparator();
    } else {
      button.action = toolbar->addAction(QString());
      if (image < state_->images.size())
        button.action->setIcon(QIcon(QPixmap::fromImage(state_->images[image])));
      ++image;
      const UINT id = button.id;
      QObject::connect(button.action, &QAction::triggered, [owner, self, id] {
        ::PostMessage(owner, WM_COMMAND, MAKELONG(static_cast<WORD>(id), BN_CLICKED),
                      static_cast<LPARAM>(self));
      });
    }
    state_->buttons.push_back(button);
  }
  barStyleChanged();
  return TRUE;
}

void CToolBar::barStyleChanged() {
  auto* toolbar = qobject_cast<QToolBar*>(state_->inner);
  if (!toolbar) return;
  CFrameWnd* frame = GetParentFrame();
  for (BarState::Button& button : state_->buttons) {
    if (button.id == ID_SEPARATOR) continue;
    const QString tip = GetBarStyle() & CBRS_TOOLTIPS ? wf::fw::barQs(wf::fw::tipOf(button.id)) : QString();
    button.action->setText(tip);
    button.action->setToolTip(tip);
    QWidget* widget = toolbar->widgetForAction(button.action);
    if (!widget) continue;
    // Found by name: the watcher has no meta-object for findChild.
    delete widget->findChild<QObject*>(wf::fw::FlyByWatcher::kName, Qt::FindDirectChildrenOnly);
    if ((GetBarStyle() & CBRS_FLYBY) && frame) {
      auto* watcher = new wf::fw::FlyByWatcher(widget, frame->m_hWnd, button.id);
      widget->installEventFilter(watcher);
    }
  }
}

int CToolBar::GetCount() const {
  return static_cast<int>(state_->buttons.size());
}

UINT CToolBar::GetItemID(int index) const {
  return index >= 0 && index < GetCount() ? state_->buttons[static_cast<std::size_t>(index)].id
                                          : ID_SEPARATOR;
}

int CToolBar::CommandToIndex(UINT id) const {
  for (int i = 0; i < GetCount(); ++i)
    if (id != ID_SEPARATOR && state_->buttons[static_cast<std::size_t>(i)].id == id) return i;
  return -1;
}

UINT CToolBar::GetButtonStyle(int index) const {
  return index >= 0 && index < GetCount() ? state_->buttons[static_cast<std::size_t>(index)].style : 0;
}

void CToolBar::SetButtonStyle(int index, UINT style) {
  if (index < 0 || index >= GetCount()) return;
  BarState::Button& button = state_->buttons[static_cast<std::size_t>(index)];
  button.style = style;
  wf::fw::showButton(button);
}

void CToolBar::OnUpdateCmdUI(CFrameWnd* target, BOOL disableIfNoHandler) {
  wf::fw::ToolCmdUI state(this);
  for (int i = 0; i < GetCount(); ++i) {
    state.m_nID = GetItemID(i);
    if (state.m_nID == ID_SEPARATOR) continue;
    state.m_nIndex = static_cast<UINT>(i);
    // The bar's own handlers come before the frame's.
    if (CWnd::OnCmdMsg(state.m_nID, CN_UPDATE_COMMAND_UI, &state, nullptr)) continue;
    state.DoUpdate(target, disableIfNoHandler);
  }
}

// ---- CStatusBar ----

BOOL CStatusBar::Create(CWnd* parent, DWORD style, UINT id) {
  if (!createBar(parent, style, id)) return FALSE;
  if (QWidget* w = wf::fw::widgetOf(m_hWnd)) {
    auto* status = new QStatusBar;
    status->setSizeGripEnabled(false);
    wf::fw::fillWith(w, status);
    state_->inner = status;
  }
  return TRUE;
}

BOOL CStatusBar::SetIndicators(const UINT* ids, int count) {
  auto* status = qobject_cast<QStatusBar*>(state_->inner);
  if (!status || !ids || count < 0) return FALSE;
  for (BarState::Pane& pane : state_->panes) delete pane.label;
  state_->panes.clear();
  for (int i = 0; i < count; ++i) {
    BarState::Pane pane;
    pane.id = ids[i];
    if (pane.id == ID_SEPARATOR) {
      if (i == 0) pane.style = SBPS_NOBORDERS | SBPS_STRETCH;
    } else {
      if (!pane.text.LoadString(pane.id)) return FALSE;
      pane.width = status->fontMetrics().horizontalAdvance(wf::fw::barQs(pane.text));
    }
    pane.label = new QLabel;
    status->addWidget(pane.label, pane.style & SBPS_STRETCH ? 1 : 0);
    wf::fw::showPane(pane);
    state_->panes.push_back(pane);
  }
  return TRUE;
}

int CStatusBar::GetCount() const {
  return static_cast<int>(state_->panes.size());
}

UINT CStatusBar::GetItemID(int index) const {
  return index >= 0 && index < GetCount() ? state_->panes[static_cast<std::size_t>(index)].id : ID_SEPARATOR;
}

int CStatusBar::CommandToIndex(UINT id) const {
  for (int i = 0; i < GetCount(); ++i)
    if (state_->panes[static_cast<std::size_t>(i)].id == id) return i;
  return -1;
}

void CStatusBar::SetPaneInfo(int index, UINT id, UINT style, int width) {
  if (index < 0 || index >= GetCount()) return;
  BarState::Pane& pane = state_->panes[static_cast<std::size_t>(index)];
  const bool stretchChanged = (pane.style & SBPS_STRETCH) != (style & SBPS_STRETCH);
  pane.id = id;
  pane.style = style;
  pane.width = width;
  if (auto* status = qobject_cast<QStatusBar*>(state_->inner); status && stretchChanged) {
    status->removeWidget(pane.label);
    status->insertWidget(index, pane.label, style & SBPS_STRETCH ? 1 : 0);
    pane.label->show();
  }
  wf::fw::showPane(pane);
}

void CStatusBar::GetPaneInfo(int index, UINT& id, UINT& style, int& width) const {
  if (index < 0 || index >= GetCount()) {
    id = ID_SEPARATOR, style = 0, width = 0;
    return;
  }
  const BarState::Pane& pane = state_->panes[static_cast<std::size_t>(index)];
  id = pane.id, style = pane.style, width = pane.width;
}

UINT CStatusBar::GetPaneStyle(int index) const {
  return index >= 0 && index < GetCount() ? state_->panes[static_cast<std::size_t>(index)].style : 0;
}

void CStatusBar::SetPaneStyle(int index, UINT style) {
  if (index < 0 || index >= GetCount()) return;
  const BarState::Pane& pane = state_->panes[static_cast<std::size_t>(index)];
  SetPaneInfo(index, pane.id, style, pane.width);
}

BOOL CStatusBar::SetPaneText(int index, LPCSTR text, BOOL) {
  if (index < 0 || index >= GetCount()) return FALSE;
  BarState::Pane& pane = state_->panes[static_cast<std::size_t>(index)];
  pane.text = text;
  wf::fw::showPane(pane);
  return TRUE;
}

CString CStatusBar::GetPaneText(int index) const {
  return index >= 0 && index < GetCount() ? state_->panes[static_cast<std::size_t>(index)].text : CString();
}

void CStatusBar::OnUpdateCmdUI(CFrameWnd* target, BOOL) {
  wf::fw::StatusCmdUI state(this);
  for (int i = 0; i < GetCount(); ++i) {
    state.m_nID = GetItemID(i);
    if (state.m_nID == ID_SEPARATOR) continue;
    state.m_nIndex = static_cast<UINT>(i);
    if (CWnd::OnCmdMsg(state.m_nID, CN_UPDATE_COMMAND_UI, &state, nullptr)) continue;
    // Panes are never disabled for want of a handler.
    state.DoUpdate(target, FALSE);
  }
}
