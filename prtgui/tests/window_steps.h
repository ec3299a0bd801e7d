#pragma once
// What the printer modules' window tests do to a notebook's pages, as the
// user and the message loop would: deliver what was posted, click a button.
#include "framework/wnd.h"
#include "gui_pump.h"
#include "platform/message_queue.h"

namespace wf::testing {

// Delivers what was posted to this thread's windows.
inline void pump() {
  wf::fw::testing::pumpUntil([] {
    wf::Message m;
    while (wf::peekMessage(m, wf::PeekMode::Remove)) wf::dispatchMessage(m);
    return true;
  });
}

// Clicks the button `id` of `page`.
inline void click(CWnd* page, int id) {
  page->SendMessage(WM_COMMAND, MAKELONG(id, BN_CLICKED), page->GetDlgItem(id)->GetSafeHwnd());
}

}  // namespace wf::testing
