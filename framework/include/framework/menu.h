#pragma once
// Menus: a model of items (commands, separators, popups) with the original
// platform's flags, built in code or loaded from the resource libraries,
// and popups tracked at a point. Which item the user picks is asked of the
// menu tracking service (real one on Qt, scripted double in tests).
#include <memory>
#include <string>
#include <vector>

#include "framework/resources.h"
#include "framework/scripted_shell.h"
#include "framework/wnd.h"

constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_ENABLED = 0x0000;
constexpr UINT MF_UNCHECKED = 0x0000;
constexpr UINT MF_BYCOMMAND = 0x0000;
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_DISABLED = 0x0002;
constexpr UINT MF_CHECKED = 0x0008;
constexpr UINT MF_POPUP = 0x0010;
constexpr UINT MFT_RADIOCHECK = 0x0200;
constexpr UINT MF_BYPOSITION = 0x0400;
constexpr UINT MF_SEPARATOR = 0x0800;
constexpr UINT MF_HELP = 0x4000;

constexpr UINT TPM_LEFTALIGN = 0x0000;
constexpr UINT TPM_RIGHTBUTTON = 0x0002;
constexpr UINT TPM_NONOTIFY = 0x0080;
constexpr UINT TPM_RETURNCMD = 0x0100;

constexpr UINT WM_INITMENUPOPUP = 0x0117;

class CMenu : public CObject {
  DECLARE_DYNAMIC(CMenu)
 public:
  CMenu() = default;
  ~CMenu() override;  // destroys the menu it owns
  CMenu(const CMenu&) = delete;
  CMenu& operator=(const CMenu&) = delete;

  HMENU m_hMenu = nullptr;
  HMENU GetSafeHmenu() const { return m_hMenu; }
  operator HMENU() const { return m_hMenu; }
  // The CMenu of a live menu; the menu keeps it. Null for an unknown handle.
  static CMenu* FromHandle(HMENU menu);

  BOOL CreateMenu();
  BOOL CreatePopupMenu();
  // A copy of the menu resource, found in the resource search order.
  BOOL LoadMenu(const wf::fw::ResourceId& id);
  BOOL DestroyMenu();  // with its popups
  BOOL Attach(HMENU menu);
  HMENU Detach();

  // `item` is a command id, or a position with MF_BYPOSITION; by command the
  // popups are searched too. With MF_POPUP `idOrPopup` is a menu handle,
  // which the new item then owns.
  BOOL AppendMenu(UINT flags, UINT_PTR idOrPopup = 0, LPCSTR text = nullptr);
  BOOL InsertMenu(UINT item, UINT flags, UINT_PTR idOrPopup = 0, LPCSTR text = nullptr);
  BOOL ModifyMenu(UINT item, UINT flags, UINT_PTR idOrPopup = 0, LPCSTR text = nullptr);
  BOOL DeleteMenu(UINT item, UINT flags);  // a popup item's menu is destroyed
  BOOL RemoveMenu(UINT item, UINT flags);  // a popup item's menu is kept

  UINT GetMenuItemCount() const;  // 0xFFFFFFFF for no menu
  // The item's command; 0xFFFFFFFF for popups and bad positions, 0 for separators.
  UINT GetMenuItemID(int position) const;
  CMenu* GetSubMenu(int position) const;
  int GetMenuString(UINT item, CString& text, UINT flags) const;
  UINT GetMenuState(UINT item, UINT flags) const;  // the item's flags, 0xFFFFFFFF when none
  // The previous state (MF_ENABLED/MF_GRAYED, MF_UNCHECKED/MF_CHECKED), 0xFFFFFFFF when none.
  UINT EnableMenuItem(UINT item, UINT enable);
  UINT CheckMenuItem(UINT item, UINT check);
  // Radio-checks `item` and clears the others from `first` to `last`.
  BOOL CheckMenuRadioItem(UINT first, UINT last, UINT item, UINT flags);

  // Sends WM_INITMENUPOPUP to `owner` (unless TPM_NONOTIFY), asks the
  // tracking service, and posts the chosen command as WM_COMMAND to the
  // owner; with TPM_RETURNCMD returns the command instead. 0 when nothing was chosen.
  BOOL TrackPopupMenu(UINT flags, int x, int y, CWnd* owner, LPCRECT rect = nullptr);

 private:
  bool owns_ = false;
};

namespace wf::fw {

// A menu as the tracking service sees it.
struct MenuItemView {
  UINT id = 0;
  UINT flags = 0;
  std::string text;
  std::vector<MenuItemView> children;
};

struct PopupMenuRequest {
  HWND owner = 0;
  int x = 0;
  int y = 0;
  UINT flags = 0;
  std::vector<MenuItemView> items;
};

class MenuTrackingService {
 public:
  virtual ~MenuTrackingService() = default;
  // Blocks until the user picks an enabled command (its id) or leaves (0).
  virtual UINT track(const PopupMenuRequest& request) = 0;
};

// Returns the previous one; not owned. Without one nothing is ever chosen.
MenuTrackingService* installMenuTrackingService(MenuTrackingService* service);

std::vector<MenuItemView> viewOfMenu(HMENU menu);

// A Qt menu at the point; on the GUI thread only.
class QtMenuTracker : public MenuTrackingService {
 public:
  UINT track(const PopupMenuRequest& request) override;
};

// Installs itself while it lives.
class ScriptedMenuTracker : public MenuTrackingService, public Scripted<PopupMenuRequest, UINT> {
 public:
  ScriptedMenuTracker();
  ~ScriptedMenuTracker() override;
  UINT track(const PopupMenuRequest& request) override { return answer(request); }

 private:
  MenuTrackingService* previous_;
};

}  // namespace wf::fw
