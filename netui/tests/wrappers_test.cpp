// Binding the broker by name and the two request wrappers: the floor, the
// classification of every code the tables name, Retry and Cancel, the
// please-wait box and the repaint after a box.
#include <cstdlib>

#include "gui_pump.h"
#include "netui_fixture.h"

namespace wf::netui::testing {
namespace {

class WrappersTest : public NetUIFixture {
 protected:
  void SetUp() override {
    NetUIFixture::SetUp();
    ASSERT_TRUE(LoadBceFunctions());
  }
  void TearDown() override {
    unsetenv("WF_SCRIPTED_CORBCE_REFUSE");
    NetUIFixture::TearDown();
  }
  static fakebce::NetAnswer answer(int32_t rc, std::string bytes = {}) {
    fakebce::NetAnswer a;
    a.rc = rc;
    a.bytes = std::move(bytes);
    return a;
  }
};

TEST_F(WrappersTest, AMissingProcedureAsksAgainInTheSameLibraryAndCancelFreesIt) {
  FreeBceFunctions();
  wf::setModuleSearchPath({WF_SCRIPTED_CORBCE_NO_PRTINFO_DIR});
  Presses answers({IDOK, IDCANCEL});
  dialogs_.on(2180, answers.action());
  EXPECT_FALSE(LoadBceFunctions());
  EXPECT_EQ(dialogs_.runs(2180), 2);
  EXPECT_EQ(broker().module, nullptr);
  EXPECT_EQ(broker().getNetInfo, nullptr);
  // The failed binding leaves the wrappers nothing to call.
  USHORT length = 10;
  char buffer[10];
  EXPECT_FALSE(BceGetNetInfoRetry(1, 1, 135, buffer, &length, nullptr, nullptr));
  EXPECT_TRUE(fakebce::calls().empty());
}

TEST_F(WrappersTest, ARefusedLoadAsksAtEveryRetry) {
  FreeBceFunctions();
  setenv("WF_SCRIPTED_CORBCE_REFUSE", "1", 1);
  Presses answers({IDOK, IDOK, IDCANCEL});
  dialogs_.on(2180, answers.action());
  EXPECT_FALSE(LoadBceFunctions());
  EXPECT_EQ(dialogs_.runs(2180), 3);
  EXPECT_EQ(broker().module, nullptr);

  unsetenv("WF_SCRIPTED_CORBCE_REFUSE");
  EXPECT_TRUE(LoadBceFunctions());
  EXPECT_NE(broker().getPrtInfo, nullptr);
}

TEST_F(WrappersTest, EveryRequestLastsAtLeastHalfASecond) {
  fakebce::pushSetNetInfo(7, 2, 10, answer(0));
  scriptRequestTimes({10, 800, 500});
  EXPECT_TRUE(BceSetNetInfoRetry(7, 2, 10, "x", 1, nullptr));
  EXPECT_TRUE(BceSetNetInfoRetry(7, 2, 10, "x", 1, nullptr));
  EXPECT_TRUE(BceSetNetInfoRetry(7, 2, 10, "x", 1, nullptr));
  EXPECT_EQ(sleeps_, std::vector<uint32_t>{490});
}

TEST_F(WrappersTest, CodesAreClassifiedByProtocolItemAndCode) {
  enum Result { kTrue, kFalse };
  const struct {
    bool set;
    UINT protocol;
    USHORT item;
    uint16_t code;
    Result result;
    uint32_t last;  // after Cancel where a box shows
    int boxes;
  } cases[] = {
      // The set table.
      {true, 1, 20, 0xFBA3, kFalse, 0xFBA3, 0},
      {true, 1, 20, 0xFBA0, kFalse, 0xFBA0, 0},
      {true, 1, 20, 0xFFF1, kFalse, 0, 1},  // has every bit of 0xFBA0 but is no port mask
      {true, 1, 20, 0xFFF8, kFalse, 0, 1},
      {true, 1, 1, 0xFC15, kFalse, 0xFC15, 0},
      {true, 1, 2, 0xFC15, kFalse, 0xFC15, 0},
      {true, 1, 8, 0xFC18, kFalse, 0xFC18, 0},
      {true, 1, 8, 0xFC17, kFalse, 0xFC17, 0},
      {true, 1, 8, 0xFC16, kFalse, 0xFC16, 0},
      {true, 1, 17, 0xFC17, kFalse, 0xFC17, 0},
      {true, 1, 17, 0xFC16, kFalse, 0xFC16, 0},
      {true, 1, 17, 1, kFalse, 1, 0},
      {true, 1, 17, 0xFC18, kFalse, 0, 1},
      {true, 8, 1, 0xFB91, kTrue, 0xFB91, 0},
      {true, 4, 5, 0xFB91, kTrue, 0xFB91, 0},
      {true, 2, 10, 0xFB8C, kTrue, 0xFB8C, 0},
      {true, 1, 5, 0xFB82, kTrue, 0xFB82, 0},
      {true, 1, 1, 0xFB82, kFalse, 0xFB82, 1},  // memory full on item 1: asked, the code kept
      {true, 8, 137, 0xFB96, kTrue, 0xFB96, 0},
      {true, 4, 137, 0xFB95, kTrue, 0xFB95, 0},
      {true, 1, 137, 0xFFF8, kTrue, 0xFFF8, 0},
      {true, 8, 5, 0xFB91, kFalse, 0, 1},
      {true, 2, 10, 0xFBB4, kFalse, 0, 1},
      {true, 4, 129, 0xFFF0, kFalse, 0, 1},
      // The get table.
      {false, 1, 8, 0xFC16, kFalse, 0xFC16, 0},
      {false, 1, 8, 0xFC17, kFalse, 0xFC17, 0},
      {false, 1, 8, 0xFC18, kFalse, 0xFC18, 0},
      {false, 8, 8, 0xFC16, kFalse, 0, 1},
      {false, 1, 137, 0xFB96, kFalse, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << (c.set ? "set " : "get ") << c.protocol << "/" << c.item << " 0x"
                                    << std::hex << c.code);
    fakebce::reset();
    ASSERT_TRUE(LoadBceFunctions());
    broker().lastResult = 0x1234;
    dialogs_.on(c.set ? 2177 : 2180, press(IDCANCEL));
    const int before = dialogs_.runs(c.set ? 2177 : 2180);
    BOOL result = FALSE;
    if (c.set) {
      fakebce::pushSetNetInfo(3, c.protocol, c.item, answer(static_cast<int16_t>(c.code)));
      result = BceSetNetInfoRetry(3, c.protocol, c.item, nullptr, 0, nullptr);
    } else {
      fakebce::pushGetNetInfo(3, c.protocol, c.item, answer(static_cast<int16_t>(c.code)));
      char buffer[48] = {};
      USHORT length = sizeof buffer;
      result = BceGetNetInfoRetry(3, c.protocol, c.item, buffer, &length, nullptr, nullptr);
    }
    EXPECT_EQ(result, c.result == kTrue ? TRUE : FALSE);
    EXPECT_EQ(broker().lastResult, c.last);
    EXPECT_EQ(dialogs_.runs(c.set ? 2177 : 2180) - before, c.boxes);
    FreeBceFunctions();
  }
}

TEST_F(WrappersTest, SuccessLeavesTheGetsLastResultAndClearsTheSets) {
  broker().lastResult = 0xFC16;
  char buffer[10];
  USHORT length = sizeof buffer;
  fakebce::pushGetNetInfo(3, 4, 135, answer(0, "0123456789"));
  EXPECT_TRUE(BceGetNetInfoRetry(3, 4, 135, buffer, &length, nullptr, nullptr));
  EXPECT_EQ(broker().lastResult, 0xFC16u);
  fakebce::pushSetNetInfo(3, 4, 129, answer(0));
  EXPECT_TRUE(BceSetNetInfoRetry(3, 4, 129, buffer, 10, nullptr));
  EXPECT_EQ(broker().lastResult, 0u);
}

TEST_F(WrappersTest, RetryRepeatsTheRequestAndCancelGivesUp) {
  fakebce::pushGetNetInfo(3, 4, 129, answer(-17));
  fakebce::pushGetNetInfo(3, 4, 129, answer(0, "record"));
  dialogs_.on(2180, press(IDOK));
  char buffer[70] = {};
  USHORT length = sizeof buffer;
  broker().lastResult = 0x99;
  EXPECT_TRUE(BceGetNetInfoRetry(3, 4, 129, buffer, &length, nullptr, nullptr));
  EXPECT_EQ(broker().lastResult, 0u);
  EXPECT_EQ(dialogs_.runs(2180), 1);
  EXPECT_EQ(fakebce::callsOf("BceGetNetInfo").size(), 2u);
  EXPECT_EQ(std::string(buffer, 6), "record");

  fakebce::pushSetNetInfo(3, 4, 129, answer(-16));
  dialogs_.on(2177, press(IDCANCEL));
  EXPECT_FALSE(BceSetNetInfoRetry(3, 4, 129, buffer, 70, nullptr));
  EXPECT_EQ(broker().lastResult, 0u);
  EXPECT_EQ(fakebce::callsOf("BceSetNetInfo").size(), 1u);
}

TEST_F(WrappersTest, AnAddedAdapterNotOnTheNetworkIsNamedThenTakenAsAdded) {
  broker().lastAddedAddress = "10.1.1.99";
  fakebce::pushSetNetInfo(0xFFFF, 2, 2, answer(static_cast<int16_t>(0xFBB4)));
  CString shown;
  dialogs_.on(2199, [&](CDialog& box) {
    box.GetDlgItemText(1235, shown);
    box.EndDialog(IDOK);
  });
  EXPECT_TRUE(BceSetNetInfoRetry(0xFFFF, 2, 2, "entry", 5, nullptr));
  EXPECT_EQ(shown.str(), "10.1.1.99");
  EXPECT_EQ(broker().lastResult, 0xFBB4u);
}

TEST_F(WrappersTest, ThePleaseWaitBoxShowsDuringTheRequestAndNestedOnesKeepIt) {
  std::vector<bool> shownWhileSleeping;
  setRequestClockForTest({nullptr, [&](uint32_t) { shownWhileSleeping.push_back(waitUpdateShown()); }});
  fakebce::pushSetNetInfo(3, 4, 136, answer(0));
  EXPECT_TRUE(BceSetNetInfoRetry(3, 4, 136, nullptr, 0, nullptr));
  EXPECT_FALSE(waitUpdateShown());

  EXPECT_EQ(ShowWaitUpdate(nullptr), 1);  // an outer operation's box
  EXPECT_TRUE(BceSetNetInfoRetry(3, 4, 136, nullptr, 0, nullptr));
  EXPECT_TRUE(waitUpdateShown());
  EXPECT_EQ(HideWaitUpdate(), 1);
  EXPECT_EQ(shownWhileSleeping, (std::vector<bool>{true, true}));
}

// Counts its paints.
class PaintCounter : public CWnd {
 public:
  int paints = 0;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_PAINT) ++paints;
    return CWnd::WindowProc(message, wParam, lParam);
  }
};

TEST_F(WrappersTest, TheWindowIsRepaintedAfterARetryBox) {
  PaintCounter wnd;
  ASSERT_TRUE(wnd.CreateEx(0, "AfxWnd", "page", WS_POPUP | WS_VISIBLE, 0, 0, 120, 80, 0));
  ASSERT_TRUE(wf::fw::testing::pumpUntil([&] { return wnd.paints > 0; }));
  wf::fw::testing::pumpUntil([] { return false; }, 50);
  const int before = wnd.paints;
  fakebce::pushSetNetInfo(3, 4, 129, answer(-16));
  dialogs_.on(2177, press(IDCANCEL));
  EXPECT_FALSE(BceSetNetInfoRetry(3, 4, 129, nullptr, 0, &wnd));
  EXPECT_TRUE(wf::fw::testing::pumpUntil([&] { return wnd.paints > before; }));
}

}  // namespace
}  // namespace wf::netui::testing
