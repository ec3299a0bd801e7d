#include "framework/menu.h"

#include <QAction>
#include <QMenu>

#include <atomic>
#include <mutex>
#include <unordered_set>

#include "platform/trace.h"
#include "wnd_widget.h"

IMPLEMENT_DYNAMIC(CMenu, CObject)

namespace wf::fw {
namespace {

struct MenuItem {
  UINT flags = 0;
  UINT id = 0;
  HMENU popup = nullptr;
  std::string text;
};

struct MenuData {
  std::vector<MenuItem> items;
  std::unique_ptr<CMenu> handleView;  // what FromHandle gives when no CMenu owns it
  CMenu* owner = nullptr;
};

struct LiveMenus {
  std::mutex m;
  std::unordered_set<MenuData*> menus;
};
LiveMenus& liveMenus() {
  static auto* l = new LiveMenus;  // leaked: menus may go during process exit
  return *l;
}

std::atomic<MenuTrackingService*> tracker{nullptr};

MenuData* dataOf(HMENU menu) {
  std::lock_guard lock(liveMenus().m);
  auto* data = static_cast<MenuData*>(menu);
  return liveMenus().menus.count(data) ? data : nullptr;
}

HMENU newMenu() {
  auto* data = new MenuData;
  std::lock_guard lock(liveMenus().m);
  liveMenus().menus.insert(data);
  return data;
}

void destroyMenu(HMENU menu) {
  MenuData* data = dataOf(menu);
  if (!data) return;
  {
    std::lock_guard lock(liveMenus().m);
    liveMenus().menus.erase(data);
  }
  for (const MenuItem& item : data->items) destroyMenu(item.popup);
  if (data->owner) {
    data->owner->m_hMenu = nullptr;
  }
  delete data;
}

// The item `item` names, and the menu holding it; by command the popups are searched depth first.
std::pair<MenuData*, std::size_t> findItem(HMENU menu, UINT item, UINT flags) {
  MenuData* data = dataOf(menu);
  if (!data) return {nullptr, 0};
  if (flags & MF_BYPOSITION)
    return item < data->items.size() ? std::pair{data, std::size_t{item}}
                                     : std::pair{nullptr, std::size_t{0}};
  for (std::size_t i = 0; i < data->items.size(); ++i) {
    const MenuItem& entry = data->items[i];
    if (entry.popup) {
      if (auto found = findItem(entry.popup, item, flags); found.first) return found;
    } else if (!(entry.flags & MF_SEPARATOR) && entry.id == item) {
      return {data, i};
    }
  }
  return {nullptr, 0};
}

constexpr UINT kStateFlags = MF_GRAYED | MF_DISABLED | MF_CHECKED | MFT_RADIOCHECK | MF_HELP;

MenuItem makeItem(UINT flags, UINT_PTR idOrPopup, LPCSTR text) {
  MenuItem item;
  item.flags = flags & (kStateFlags | MF_POPUP | MF_SEPARATOR);
  if (flags & MF_POPUP) {
    item.popup = reinterpret_cast<HMENU>(idOrPopup);
  } else if (!(flags & MF_SEPARATOR)) {
    item.id = static_cast<UINT>(idOrPopup);
  }
  if (text && !(flags & MF_SEPARATOR)) item.text = text;
  return item;
}

bool validNewItem(const MenuItem& item) {
  return !(item.flags & MF_POPUP) || dataOf(item.popup);
}

void copyResource(HMENU into, const res::MenuItem* items, UINT count) {
  MenuData* data = dataOf(into);
  for (UINT i = 0; i < count; ++i) {
    const res::MenuItem& r = items[i];
    MenuItem item;
    item.flags = r.flags;
    item.id = r.id;
    item.text = r.text ? r.text : "";
    if (r.flags & res::MF_POPUP) {
      item.popup = newMenu();
      copyResource(item.popup, r.children, r.childCount);
    }
    data->items.push_back(std::move(item));
  }
}

}  // namespace

std::vector<MenuItemView> viewOfMenu(HMENU menu) {
  std::vector<MenuItemView> view;
  MenuData* data = dataOf(menu);
  if (!data) return view;
  for (const MenuItem& item : data->items)
    view.push_back({item.id, item.flags, item.text, viewOfMenu(item.popup)});
  return view;
}

MenuTrackingService* installMenuTrackingService(MenuTrackingService* service) {
  return tracker.exchange(service);
}

namespace {

void fillQtMenu(QMenu& menu, const std::vector<MenuItemView>& items, UINT& chosen) {
  for (const MenuItemView& item : items) {
    if (item.flags & MF_SEPARATOR) {
      menu.addSeparator();
      continue;
    }
    // The original's "\t" separates the shortcut text; Qt shows it the same way.
    const QString text = QString::fromStdString(item.text);
    if (item.flags & MF_POPUP) {
      QMenu* sub = menu.addMenu(text);
      fillQtMenu(*sub, item.children, chosen);
      sub->setEnabled(!(item.flags & (MF_GRAYED | MF_DISABLED)));
      continue;
    }
    QAction* action = menu.addAction(text);
    action->setEnabled(!(item.flags & (MF_GRAYED | MF_DISABLED)));
    action->setCheckable(item.flags & MF_CHECKED);
    action->setChecked(item.flags & MF_CHECKED);
    const UINT id = item.id;
    QObject::connect(action, &QAction::triggered, [&chosen, id] { chosen = id; });
  }
}

}  // namespace

UINT QtMenuTracker::track(const PopupMenuRequest& request) {
  QMenu menu(widgetOf(request.owner));
  UINT chosen = 0;
  fillQtMenu(menu, request.items, chosen);
  menu.exec(QPoint(request.x, request.y));
  return chosen;
}

ScriptedMenuTracker::ScriptedMenuTracker() : Scripted(0u), previous_(installMenuTrackingService(this)) {}
ScriptedMenuTracker::~ScriptedMenuTracker() {
  installMenuTrackingService(previous_);
}

}  // namespace wf::fw

using wf::fw::dataOf;

CMenu::~CMenu() {
  if (owns_) DestroyMenu();
}

CMenu* CMenu::FromHandle(HMENU menu) {
  auto* data = dataOf(menu);
  if (!data) return nullptr;
  if (data->owner) return data->owner;
  if (!data->handleView) {
    data->handleView = std::make_unique<CMenu>();
    data->handleView->m_hMenu = menu;
  }
  return data->handleView.get();
}

BOOL CMenu::CreateMenu() {
  return Attach(wf::fw::newMenu());
}
BOOL CMenu::CreatePopupMenu() {
  return CreateMenu();
}

BOOL CMenu::LoadMenu(const wf::fw::ResourceId& id) {
  if (m_hMenu) return FALSE;
  const wf::fw::res::Menu* resource = wf::fw::findMenu(id);
  if (!resource) return FALSE;
  HMENU menu = wf::fw::newMenu();
  wf::fw::copyResource(menu, resource->items, resource->count);
  return Attach(menu);
}

BOOL CMenu::DestroyMenu() {
  if (!m_hMenu) return FALSE;
  if (!dataOf(m_hMenu)) {
    m_hMenu = nullptr;
    return FALSE;
  }
  wf::fw::destroyMenu(m_hMenu);
  m_hMenu = nullptr;
  owns_ = false;
  return TRUE;
}

BOOL CMenu::Attach(HMENU menu) {
  auto* data = dataOf(menu);
  if (m_hMenu || !data || data->owner) return FALSE;
  data->owner = this;
  data->handleView.reset();
  m_hMenu = menu;
  owns_ = true;
  return TRUE;
}

HMENU CMenu::Detach() {
  if (auto* data = dataOf(m_hMenu); data && owns_) data->owner = nullptr;
  owns_ = false;
  return std::exchange(m_hMenu, nullptr);
}

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR idOrPopup, LPCSTR text) {
  auto* data = dataOf(m_hMenu);
  wf::fw::MenuItem item = wf::fw::makeItem(flags, idOrPopup, text);
  if (!data || !wf::fw::validNewItem(item)) return FALSE;
  data->items.push_back(std::move(item));
  return TRUE;
}

BOOL CMenu::InsertMenu(UINT item, UINT flags, UINT_PTR idOrPopup, LPCSTR text) {
  wf::fw::MenuItem entry = wf::fw::makeItem(flags, idOrPopup, text);
  if (!wf::fw::validNewItem(entry)) return FALSE;
  auto* data = dataOf(m_hMenu);
  // Before the item named; a position past the end appends.
  if (data && (flags & MF_BYPOSITION) && item >= data->items.size()) {
    data->items.push_back(std::move(entry));
    return TRUE;
  }
  auto [holder, index] = wf::fw::findItem(m_hMenu, item, flags);
  if (!holder) return FALSE;
  holder->items.insert(holder->items.begin() + static_cast<std::ptrdiff_t>(index), std::move(entry));
  return TRUE;
}

BOOL CMenu::ModifyMenu(UINT item, UINT flags, UINT_PTR idOrPopup, LPCSTR text) {
  wf::fw::MenuItem entry = wf::fw::makeItem(flags, idOrPopup, text);
  if (!wf::fw::validNewItem(entry)) return FALSE;
  auto [holder, index] = wf::fw::findItem(m_hMenu, item, flags);
  if (!holder) return FALSE;
  wf::fw::MenuItem& old = holder->items[index];
  // A popup replaced by something else goes, as on the original platform.
  if (old.popup && old.popup != entry.popup) wf::fw::destroyMenu(old.popup);
  old = std::move(entry);
  return TRUE;
}

BOOL CMenu::DeleteMenu(UINT item, UINT flags) {
  auto [holder, index] = wf::fw::findItem(m_hMenu, item, flags);
  if (!holder) return FALSE;
  HMENU popup = holder->items[index].popup;
  holder->items.erase(holder->items.begin() + static_cast<std::ptrdiff_t>(index));
  wf::fw::destroyMenu(popup);
  return TRUE;
}

BOOL CMenu::RemoveMenu(UINT item, UINT flags) {
  auto [holder, index] = wf::fw::findItem(m_hMenu, item, flags);
  if (!holder) return FALSE;
  holder->items.erase(holder->items.begin() + static_cast<std::ptrdiff_t>(index));
  return TRUE;
}

UINT CMenu::GetMenuItemCount() const {
  auto* data = dataOf(m_hMenu);
  return data ? static_cast<UINT>(data->items.size()) : 0xFFFFFFFF;
}

UINT CMenu::GetMenuItemID(int position) const {
  auto [holder, index] = wf::fw::findItem(m_hMenu, static_cast<UINT>(position), MF_BYPOSITION);
  if (!holder || position < 0 || holder->items[index].popup) return 0xFFFFFFFF;
  return holder->items[index].id;
}

CMenu* CMenu::GetSubMenu(int position) const {
  auto [holder, index] = wf::fw::findItem(m_hMenu, static_cast<UINT>(position), MF_BYPOSITION);
  return holder && position >= 0 ? FromHandle(holder->items[index].popup) : nullptr;
}

int CMenu::GetMenuString(UINT item, CString& text, UINT flags) const {
  auto [holder, index] = wf::fw::findItem(m_hMenu, item, flags);
  text = holder ? CString(holder->items[index].text) : CString();
  return text.GetLength();
}

UINT CMenu::GetMenuState(UINT item, UINT flags) const {
  auto [holder, index] = wf::fw::findItem(m_hMenu, item, flags);
  if (!holder) return 0xFFFFFFFF;
  const wf::fw::MenuItem& entry = holder->items[index];
  // A popup's state carries its item count in the high byte.
  const UINT count = entry.popup ? CMenu::FromHandle(entry.popup)->GetMenuItemCount() << 8 : 0;
  return entry.flags | count;
}

UINT CMenu::EnableMenuItem(UINT item, UINT enable) {
  auto [holder, index] = wf::fw::findItem(m_hMenu, item, enable);
  if (!holder) return 0xFFFFFFFF;
  UINT& flags = holder->items[index].flags;
  const UINT previous = flags & (MF_GRAYED | MF_DISABLED);
  flags = (flags & ~(MF_GRAYED | MF_DISABLED)) | (enable & (MF_GRAYED | MF_DISABLED));
  return previous;
}

UINT CMenu::CheckMenuItem(UINT item, UINT check) {
  auto [holder, index] = wf::fw::findItem(m_hMenu, item, check);
  if (!holder) return 0xFFFFFFFF;
  UINT& flags = holder->items[index].flags;
  const UINT previous = flags & MF_CHECKED;
  flags = (flags & ~MF_CHECKED) | (check & MF_CHECKED);
  return previous;
}

BOOL CMenu::CheckMenuRadioItem(UINT first, UINT last, UINT item, UINT flags) {
  if (!dataOf(m_hMenu)) return FALSE;
  bool found = false;
  for (UINT i = first; i <= last; ++i) {
    auto [holder, index] = wf::fw::findItem(m_hMenu, i, flags);
    if (!holder) continue;
    UINT& f = holder->items[index].flags;
    if (i == item) {
      f |= MF_CHECKED | MFT_RADIOCHECK;
      found = true;
    } else {
      f &= ~MF_CHECKED;
    }
  }
  return found;
}

BOOL CMenu::TrackPopupMenu(UINT flags, int x, int y, CWnd* owner, LPCRECT) {
  if (!dataOf(m_hMenu) || !owner) return FALSE;
  if (!(flags & TPM_NONOTIFY)) owner->SendMessage(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(m_hMenu), 0);
  wf::fw::MenuTrackingService* service = wf::fw::tracker.load();
  if (!service) {
    wf::platformTrace("framework: no menu tracking service");
    return FALSE;
  }
  const UINT chosen = service->track({owner->m_hWnd, x, y, flags, wf::fw::viewOfMenu(m_hMenu)});
  if (flags & TPM_RETURNCMD) return static_cast<BOOL>(chosen);
  if (chosen == 0) return FALSE;
  owner->PostMessage(WM_COMMAND, chosen, 0);
  return TRUE;
}
