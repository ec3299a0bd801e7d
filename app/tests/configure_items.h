#pragma once
// The printer window's Configure popup as a user sees it on opening: each
// item as "text#id" ("/g" added when greyed), "-" for a separator.
#include <string>
#include <vector>

#include "app/main_frame.h"
#include "framework/menu.h"

namespace wf::testing {

inline std::vector<std::string> openConfigure(CMainFrame* frame) {
  CMenu* bar = frame->GetMenu();
  CMenu* popup = nullptr;
  int index = 0;
  for (; bar && index < static_cast<int>(bar->GetMenuItemCount()); ++index) {
    popup = bar->GetSubMenu(index);
    if (popup && popup->GetMenuItemID(0) == 32771) break;
    popup = nullptr;
  }
  if (!popup) return {"no Configure popup"};
  frame->SendMessage(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup->GetSafeHmenu()), index);
  std::vector<std::string> items;
  for (const auto& item : wf::fw::viewOfMenu(popup->GetSafeHmenu())) {
    if (item.flags & MF_SEPARATOR) {
      items.push_back("-");
      continue;
    }
    items.push_back(item.text + "#" + std::to_string(item.id) + ((item.flags & MF_GRAYED) ? "/g" : ""));
  }
  return items;
}

}  // namespace wf::testing
