#include "frame_menu_bar.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include "framework/frame_wnd.h"

namespace wf::fw {
namespace {

constexpr const char* kMenuBarName = "wfFrameMenuBar";
constexpr const char* kHostName = "wfFrameMenuBarHost";

QString menuText(const std::string& text) {
  return QString::fromStdString(text);
}

bool grayed(UINT flags) {
  return flags & (MF_GRAYED | MF_DISABLED);
}

void announce(HWND owner, UINT id) {
  ::SendMessage(owner, WM_SETMESSAGESTRING, id, 0);
}

QAction* commandAction(QWidget* container, HWND owner, const MenuItemView& item) {
  auto* action = new QAction(menuText(item.text), container);
  action->setEnabled(!grayed(item.flags));
  action->setCheckable(item.flags & MF_CHECKED);
  action->setChecked(item.flags & MF_CHECKED);
  const UINT id = item.id;
  QObject::connect(action, &QAction::triggered, [owner, id] { ::PostMessage(owner, WM_COMMAND, id, 0); });
  QObject::connect(action, &QAction::hovered, [owner, id] { announce(owner, id); });
  return action;
}

void fill(QMenu* menu, HWND owner, HMENU model);

// A popup refilled from its model each time it opens.
QMenu* popupMenu(QWidget* parent, HWND owner, HMENU model, UINT index, const QString& title) {
  auto* menu = new QMenu(title, parent);
  QObject::connect(menu, &QMenu::aboutToShow, [menu, owner, model, index] {
    ::SendMessage(owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(model),
                  MAKELONG(static_cast<WORD>(index), 0));
    fill(menu, owner, model);
  });
  QObject::connect(menu, &QMenu::aboutToHide, [owner] { announce(owner, AFX_IDS_IDLEMESSAGE); });
  fill(menu, owner, model);
  return menu;
}

void fill(QMenu* menu, HWND owner, HMENU model) {
  // Nested menus of the last filling go with their actions.
  for (QAction* action : menu->actions()) {
    if (QMenu* sub = action->menu()) sub->deleteLater();
  }
  menu->clear();
  CMenu* source = CMenu::FromHandle(model);
  if (!source) return;  // the popup went while its menu was open
  const std::vector<MenuItemView> items = viewOfMenu(model);
  for (UINT i = 0; i < items.size(); ++i) {
    const MenuItemView& item = items[i];
    if (item.flags & MF_SEPARATOR) {
      menu->addSeparator();
    } else if (item.flags & MF_POPUP) {
      CMenu* sub = source->GetSubMenu(static_cast<int>(i));
      QMenu* child = popupMenu(menu, owner, sub ? sub->m_hMenu : nullptr, i, menuText(item.text));
      child->setEnabled(!grayed(item.flags));
      menu->addMenu(child);
    } else {
      menu->addAction(commandAction(menu, owner, item));
    }
  }
}

// Keeps the bar across the frame's width and the client area below it.
class MenuBarHost : public QObject {
 public:
  MenuBarHost(QWidget* frame, QMenuBar* bar) : QObject(bar), frame_(frame), bar_(bar) {
    setObjectName(kHostName);
    frame->installEventFilter(this);
    place();
  }
  ~MenuBarHost() override {
    if (frame_) {
      frame_->removeEventFilter(this);
      frame_->setContentsMargins(0, 0, 0, 0);
    }
  }
  void place() {
    const int height = bar_->sizeHint().height();
    bar_->setGeometry(0, 0, frame_->width(), height);
    frame_->setContentsMargins(0, height, 0, 0);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched == frame_ && e->type() == QEvent::Resize) place();
    return false;
  }

 private:
  QPointer<QWidget> frame_;
  QMenuBar* bar_;
};

// Found by name: the class has no meta-object for findChild.
MenuBarHost* hostOf(QMenuBar* bar) {
  return dynamic_cast<MenuBarHost*>(bar->findChild<QObject*>(kHostName, Qt::FindDirectChildrenOnly));
}

}  // namespace

void showMenuBar(QWidget* frame, HWND owner, HMENU menu) {
  auto* bar = frame->findChild<QMenuBar*>(kMenuBarName, Qt::FindDirectChildrenOnly);
  if (!menu) {
    if (bar) {
      delete hostOf(bar);
      bar->hide();
      bar->deleteLater();
    }
    return;
  }
  if (!bar) {
    bar = new QMenuBar(frame);
    bar->setObjectName(kMenuBarName);
    // The frame's widget is no main window: the bar stays inside it everywhere.
    bar->setNativeMenuBar(false);
  }
  for (QAction* action : bar->actions()) {
    if (QMenu* sub = action->menu()) sub->deleteLater();
  }
  bar->clear();
  CMenu* source = CMenu::FromHandle(menu);
  const std::vector<MenuItemView> items = viewOfMenu(menu);
  for (UINT i = 0; i < items.size(); ++i) {
    const MenuItemView& item = items[i];
    if (item.flags & MF_SEPARATOR) continue;
    if (item.flags & MF_POPUP) {
      CMenu* sub = source->GetSubMenu(static_cast<int>(i));
      QMenu* popup = popupMenu(bar, owner, sub ? sub->m_hMenu : nullptr, i, menuText(item.text));
      popup->setEnabled(!grayed(item.flags));
      bar->addMenu(popup);
    } else {
      bar->addAction(commandAction(bar, owner, item));
    }
  }
  bar->show();
  if (MenuBarHost* host = hostOf(bar))
    host->place();
  else
    new MenuBarHost(frame, bar);
}

bool openMenuBar(QWidget* frame) {
  auto* bar = frame->findChild<QMenuBar*>(kMenuBarName, Qt::FindDirectChildrenOnly);
  if (!bar) return false;
  for (QAction* action : bar->actions()) {
    if (action->isVisible() && action->isEnabled() && !action->isSeparator()) {
      bar->setActiveAction(action);
      return true;
    }
  }
  return false;
}

}  // namespace wf::fw
