// Menus: the item model, copies of menu resources, and popups that hand the
// chosen command to their owner.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/menu.h"
#include "gui_pump.h"
#include "test_resources.h"

namespace {

// "text/id/flags" per item, popups as "[...]".
std::string describe(const std::vector<wf::fw::MenuItemView>& items) {
  std::string s;
  for (const auto& item : items) {
    if (!s.empty()) s += " ";
    if (item.flags & MF_SEPARATOR) {
      s += "-";
    } else if (item.flags & MF_POPUP) {
      s += item.text + "[" + describe(item.children) + "]";
    } else {
      s += item.text + "/" + std::to_string(item.id);
      if (item.flags & MF_GRAYED) s += "/g";
      if (item.flags & MF_CHECKED) s += (item.flags & MFT_RADIOCHECK) ? "/r" : "/c";
    }
  }
  return s;
}

TEST(Menu, ItemsAreAddedChangedAndFoundByCommandAndByPosition) {
  CMenu menu;
  ASSERT_TRUE(menu.CreatePopupMenu());
  CMenu sort;
  sort.CreatePopupMenu();
  sort.AppendMenu(MF_STRING, 32799, "by &Name");
  sort.AppendMenu(MF_STRING, 32800, "by &Model");
  ASSERT_TRUE(menu.AppendMenu(MF_STRING, 1100, "&Large Icons"));
  menu.AppendMenu(MF_SEPARATOR);
  ASSERT_TRUE(menu.AppendMenu(MF_POPUP, reinterpret_cast<UINT_PTR>(sort.Detach()), "S&ort"));
  ASSERT_TRUE(menu.InsertMenu(1, MF_BYPOSITION | MF_STRING, 1101, "&Small Icons"));
  ASSERT_TRUE(menu.InsertMenu(32800, MF_BYCOMMAND | MF_STRING, 32801, "by &Connection"));  // inside the popup
  EXPECT_EQ(
      describe(wf::fw::viewOfMenu(menu)),
      "&Large Icons/1100 &Small Icons/1101 - S&ort[by &Name/32799 by &Connection/32801 by &Model/32800]");

  EXPECT_EQ(menu.GetMenuItemCount(), 4u);
  EXPECT_EQ(menu.GetMenuItemID(1), 1101u);
  EXPECT_EQ(menu.GetMenuItemID(2), 0u);           // separator
  EXPECT_EQ(menu.GetMenuItemID(3), 0xFFFFFFFFu);  // popup
  EXPECT_EQ(menu.GetMenuItemID(9), 0xFFFFFFFFu);
  ASSERT_NE(menu.GetSubMenu(3), nullptr);
  EXPECT_EQ(menu.GetSubMenu(3)->GetMenuItemCount(), 3u);
  EXPECT_EQ(menu.GetSubMenu(0), nullptr);
  EXPECT_EQ(menu.GetMenuState(3, MF_BYPOSITION), MF_POPUP | (3u << 8));

  EXPECT_EQ(menu.EnableMenuItem(32799, MF_BYCOMMAND | MF_GRAYED), MF_ENABLED);
  EXPECT_EQ(menu.CheckMenuItem(1100, MF_CHECKED), MF_UNCHECKED);
  EXPECT_EQ(menu.CheckMenuItem(1100, MF_CHECKED), MF_CHECKED);
  EXPECT_TRUE(menu.CheckMenuRadioItem(32799, 32801, 32800, MF_BYCOMMAND));
  EXPECT_TRUE(menu.ModifyMenu(1101, MF_BYCOMMAND | MF_STRING, 1102, "L&ist"));
  CString text;
  EXPECT_EQ(menu.GetMenuString(1102, text, MF_BYCOMMAND), 5);
  EXPECT_EQ(text, CString("L&ist"));
  EXPECT_EQ(
      describe(wf::fw::viewOfMenu(menu)),
      "&Large Icons/1100/c L&ist/1102 - S&ort[by &Name/32799/g by &Connection/32801 by &Model/32800/r]");

  EXPECT_TRUE(menu.DeleteMenu(32801, MF_BYCOMMAND));
  EXPECT_TRUE(menu.RemoveMenu(2, MF_BYPOSITION));
  EXPECT_EQ(describe(wf::fw::viewOfMenu(menu)),
            "&Large Icons/1100/c L&ist/1102 S&ort[by &Name/32799/g by &Model/32800/r]");

  // Unknown items and handles fail without touching anything.
  EXPECT_FALSE(menu.DeleteMenu(4242, MF_BYCOMMAND));
  EXPECT_EQ(menu.EnableMenuItem(4242, MF_GRAYED), 0xFFFFFFFFu);
  EXPECT_EQ(menu.GetMenuState(7, MF_BYPOSITION), 0xFFFFFFFFu);
  EXPECT_FALSE(menu.AppendMenu(MF_POPUP, 12345, "not a menu"));
  EXPECT_EQ(menu.GetMenuItemCount(), 3u);
}

TEST(Menu, DestroyingAMenuEndsItsPopupsAndDeletingAPopupItemEndsItsMenu) {
  CMenu menu;
  menu.CreateMenu();
  CMenu popup;
  popup.CreatePopupMenu();
  popup.AppendMenu(MF_STRING, 1, "one");
  HMENU inner = popup.Detach();
  menu.AppendMenu(MF_POPUP, reinterpret_cast<UINT_PTR>(inner), "&Popup");
  ASSERT_NE(CMenu::FromHandle(inner), nullptr);
  EXPECT_TRUE(menu.DeleteMenu(0, MF_BYPOSITION));
  EXPECT_EQ(CMenu::FromHandle(inner), nullptr);

  CMenu other;
  other.CreatePopupMenu();
  HMENU kept = other.m_hMenu;
  menu.AppendMenu(MF_POPUP, reinterpret_cast<UINT_PTR>(other.Detach()), "&Kept");
  HMENU outer = menu.m_hMenu;
  EXPECT_TRUE(menu.DestroyMenu());
  EXPECT_EQ(CMenu::FromHandle(kept), nullptr);
  EXPECT_EQ(CMenu::FromHandle(outer), nullptr);
  EXPECT_FALSE(menu.DestroyMenu());
}

// Logs the commands and popup notifications it receives.
class OwnerWnd : public CWnd {
 public:
  std::vector<std::string> log;
  LRESULT OnInitMenuPopup(WPARAM menu, LPARAM) {
    // The owner brings the items up to date before they are shown.
    CMenu::FromHandle(reinterpret_cast<HMENU>(menu))->CheckMenuItem(1100, MF_CHECKED);
    log.push_back("init");
    return 0;
  }
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override {
    log.push_back("command " + std::to_string(LOWORD(wParam)));
    return CWnd::OnCommand(wParam, lParam);
  }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(OwnerWnd, CWnd)
ON_MESSAGE(WM_INITMENUPOPUP, OnInitMenuPopup)
END_MESSAGE_MAP()

class MenuResources : public wf::fw::testing::ResourceLibraryTest {};

TEST_F(MenuResources, PopupFromResourcesChangedByCommandAndPositionReturnsTheChoiceToItsOwner) {
  CMenu bar;
  ASSERT_TRUE(bar.LoadMenu(128));
  EXPECT_EQ(describe(wf::fw::viewOfMenu(bar)), "&File[&Refresh\tF5/32771 - E&xit/57665/g] &Help/57670/c");
  CMenu* file = bar.GetSubMenu(0);
  ASSERT_NE(file, nullptr);
  // By command: the refresh item gets a new text and id.
  ASSERT_TRUE(file->ModifyMenu(32771, MF_BYCOMMAND | MF_STRING, 1100, "&Large Icons"));
  // By position: the separator becomes a submenu.
  CMenu views;
  views.CreatePopupMenu();
  views.AppendMenu(MF_STRING, 1101, "&Small Icons");
  views.AppendMenu(MF_STRING, 1103, "&Details");
  ASSERT_TRUE(
      file->ModifyMenu(1, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(views.Detach()), "&View"));
  EXPECT_EQ(describe(wf::fw::viewOfMenu(*file)),
            "&Large Icons/1100 &View[&Small Icons/1101 &Details/1103] E&xit/57665/g");

  OwnerWnd owner;
  ASSERT_TRUE(owner.CreateEx(0, "MenuOwner", "owner", WS_OVERLAPPED, 0, 0, 100, 100, 0));
  wf::fw::ScriptedMenuTracker tracker;
  tracker.script(1103);
  tracker.script(1101);
  tracker.script(0);

  EXPECT_TRUE(file->TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON, 40, 50, &owner));
  ASSERT_TRUE(wf::fw::testing::pumpUntil([&] { return owner.log.size() >= 2; }));
  EXPECT_EQ(owner.log, (std::vector<std::string>{"init", "command 1103"}));
  // With TPM_RETURNCMD the choice comes back and no command is sent.
  EXPECT_EQ(file->TrackPopupMenu(TPM_RETURNCMD | TPM_NONOTIFY, 0, 0, &owner), 1101);
  EXPECT_FALSE(file->TrackPopupMenu(0, 0, 0, &owner));  // nothing chosen
  wf::fw::testing::pumpUntil([] { return false; }, 50);
  EXPECT_EQ(owner.log, (std::vector<std::string>{"init", "command 1103", "init"}));

  const auto calls = tracker.calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].owner, owner.m_hWnd);
  EXPECT_EQ(calls[0].x, 40);
  EXPECT_EQ(calls[0].y, 50);
  // The tracker saw the item as the owner's update left it.
  EXPECT_EQ(describe(calls[0].items),
            "&Large Icons/1100/c &View[&Small Icons/1101 &Details/1103] E&xit/57665/g");
  owner.DestroyWindow();
}

TEST_F(MenuResources, MissingMenuResourceLoadsNothing) {
  CMenu menu;
  EXPECT_FALSE(menu.LoadMenu(4711));
  EXPECT_EQ(menu.m_hMenu, nullptr);
  EXPECT_EQ(menu.GetMenuItemCount(), 0xFFFFFFFFu);
}

}  // namespace
