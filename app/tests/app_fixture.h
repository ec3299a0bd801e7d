#pragma once
// The application object with the main program's resources and scripted
// shell services, and a window of the test thread that keeps what reaches it.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <string>
#include <vector>

#include "app/main_frame.h"
#include "app/wf_app.h"
#include "app/window_list.h"
#include "framework/resources.h"
#include "framework/scripted_shell.h"
#include "framework/wnd.h"
#include "platform/module.h"
#include "platform/window_messages.h"

namespace wf::testing {

class RecordingWindow {
 public:
  RecordingWindow() {
    window_.m_hWnd =
        wf::createWindow("WFAppTestWindow", [this](HWND, std::uint32_t message, WPARAM w, LPARAM) {
          received_.push_back({message, w});
          return LRESULT{0};
        });
  }
  ~RecordingWindow() {
    wf::destroyWindow(window_.m_hWnd);
    window_.m_hWnd = 0;
  }
  CWnd* wnd() { return &window_; }
  // Dispatches what is queued and hands back (message, wParam) pairs.
  std::vector<std::pair<UINT, WPARAM>> take() {
    QCoreApplication::processEvents();
    wf::Message m;
    while (wf::peekMessage(m, wf::PeekMode::Remove)) wf::dispatchMessage(m);
    return std::exchange(received_, {});
  }
  int count(UINT message, WPARAM w) {
    int n = 0;
    for (auto& [m, p] : take()) n += (m == message && p == w);
    return n;
  }

 private:
  CWnd window_;
  std::vector<std::pair<UINT, WPARAM>> received_;
};

class AppFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    resources_ = wf::loadModule("WFRESDLL.DLL");
    wf::fw::joinResourceChain(resources_);
    // A window made under a new name asks for its filter before it shows;
    // Cancel, unless a test answers otherwise.
    newWindowFilter_.on(151, [](CDialog& dialog) { dialog.EndDialog(IDCANCEL); });
  }
  void TearDown() override {
    wf::fw::leaveResourceChain(resources_);
    wf::freeModule(resources_);
  }
  // Qt's events, then the platform messages posted to this thread.
  static void dispatch() {
    QCoreApplication::processEvents();
    wf::Message m;
    while (wf::peekMessage(m, wf::PeekMode::Remove)) wf::dispatchMessage(m);
  }
  // A printer window of `app`; the first one made becomes the main window.
  static CMainFrame* openWindow(CWFApp& app, const char* title) {
    CMainFrame* frame = CMainFrame::Make(title);
    EXPECT_NE(frame, nullptr) << title;
    if (frame && !app.m_pMainWnd) app.m_pMainWnd = frame;
    return frame;
  }
  // Every printer window destroyed, the main one with them.
  static void closeWindows(CWFApp& app) {
    app.GetWFWindowList()->RemoveAllWindows(CWFWindowList::REMOVE_AND_DESTROY);
    app.m_pMainWnd = nullptr;
  }
  std::vector<std::string> boxTexts() const {
    std::vector<std::string> texts;
    for (const auto& call : shell_.messageBox.calls()) texts.push_back(call.text);
    return texts;
  }

  HINSTANCE resources_ = nullptr;
  wf::fw::ScriptedShell shell_;
  wf::fw::ScriptedDialogs newWindowFilter_;
};

}  // namespace wf::testing
