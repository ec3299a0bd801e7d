// The DDE layer on the GUI thread: its callbacks arrive as Qt events there.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <string>
#include <vector>

#include "child_process.h"
#include "gui_pump.h"
#include "gui_thread.h"
#include "platform/dde.h"
#include "platform/thread.h"

namespace {

struct GuiAdvise {
  std::string data;
  wf::ThreadId thread;
};
std::vector<GuiAdvise> gGuiAdvises;

wf::HDDEDATA guiClientCallback(UINT type, UINT, wf::HCONV, wf::HSZ, wf::HSZ, wf::HDDEDATA data, wf::ULONG_PTR,
                           wf::ULONG_PTR) {
  if (type != wf::XTYP_ADVDATA) return nullptr;
  std::string text(wf::DdeGetData(data, nullptr, 0, 0), '\0');
  wf::DdeGetData(data, reinterpret_cast<BYTE*>(text.data()), static_cast<DWORD>(text.size()), 0);
  gGuiAdvises.push_back({text, wf::currentThreadId()});
  return reinterpret_cast<wf::HDDEDATA>(std::uintptr_t{wf::DDE_FACK});
}

TEST(DdeOnTheGuiThread, AdvisesArriveThroughTheQtQueue) {
  wf::testing::ChildProcess server = wf::testing::ChildProcess::withCommands("platform");
  ASSERT_EQ(server.call("dde-serve guisvc"), "ok");
  wf::fw::ensureGuiQueue();  // as the application does at start
  DWORD inst = 0;
  ASSERT_EQ(wf::DdeInitializeA(&inst, guiClientCallback, wf::APPCMD_CLIENTONLY, 0), wf::DMLERR_NO_ERROR);
  auto str = [inst](const char* s) { return wf::DdeCreateStringHandleA(inst, s, wf::CP_WINANSI); };
  wf::HCONV conv = wf::DdeConnect(inst, str("guisvc"), str("t"), nullptr);
  ASSERT_NE(conv, nullptr);
  ASSERT_NE(wf::DdeClientTransaction(nullptr, 0, conv, str("a"), wf::CF_TEXT, wf::XTYP_ADVSTART, 5000, nullptr),
            nullptr);
  ASSERT_EQ(server.call("dde-advise t a hello"), "ok");
  ASSERT_TRUE(wf::fw::testing::pumpUntil([] { return !gGuiAdvises.empty(); }));
  EXPECT_EQ(gGuiAdvises[0].data, "hello");
  EXPECT_EQ(gGuiAdvises[0].thread, wf::currentThreadId());
  EXPECT_TRUE(wf::DdeUninitialize(inst));
}

}  // namespace
