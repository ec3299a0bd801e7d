#pragma once
// What the printer modules' window tests do to a notebook's pages, as the
// user and the message loop would: deliver what was posted, click a button,
// cancel a panel page's Quick Setup save, walk its restore through refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/scripted_shell.h"
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

// Cancels the file dialog the save button `id` opens. Checks the dialog was
// asked once for a settings file to write; returns what it was asked.
inline wf::fw::FileDialogRequest saveCancelled(wf::fw::ScriptedShell& shell, CWnd* page, int id) {
  shell.fileDialog.script({IDCANCEL, ""});
  click(page, id);
  const auto requests = shell.fileDialog.calls();
  EXPECT_EQ(requests.size(), 1u);
  if (requests.empty()) return {};
  EXPECT_FALSE(requests[0].open);
  EXPECT_EQ(requests[0].flags, OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY);
  EXPECT_EQ(requests[0].defaultExtension, "psf");
  return requests[0];
}

// Answers the restore button `id`'s question with OK, then offers a file the
// printer's check refuses, one that cannot be opened, and Cancel. Checks the
// file dialog was asked three times for a file to open; returns every
// message box shown so far.
inline std::vector<wf::fw::MessageBoxRequest> restoreRefusedFiles(wf::fw::ScriptedShell& shell, CWnd* page,
                                                                  int id, const std::string& refused,
                                                                  const std::string& unreadable) {
  shell.messageBox.script(IDOK);
  shell.fileDialog.script({IDOK, refused});
  shell.fileDialog.script({IDOK, unreadable});
  shell.fileDialog.script({IDCANCEL, ""});
  click(page, id);
  const auto requests = shell.fileDialog.calls();
  EXPECT_EQ(requests.size(), 3u);
  if (!requests.empty()) {
    EXPECT_TRUE(requests[0].open);
    EXPECT_EQ(requests[0].flags, OFN_FILEMUSTEXIST | OFN_HIDEREADONLY);
  }
  return shell.messageBox.calls();
}

}  // namespace wf::testing
