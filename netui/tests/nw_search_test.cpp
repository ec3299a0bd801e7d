// Configure NetWare: item 18 read at open into the method radios and the
// number edit, the typed number's check, and the record OK sends.
#include <string>

#include "framework/controls.h"
#include "framework/shell_calls.h"
#include "netui_fixture.h"
#include "nw_search.h"

namespace wf::netui::testing {
namespace {

fakebce::NetAnswer nwAnswer(int32_t rc, std::string bytes = {}) {
  fakebce::NetAnswer a;
  a.rc = rc;
  a.bytes = std::move(bytes);
  return a;
}

std::string record18(char method, const std::string& number) {
  return std::string(1, method) + number;
}

class NWSearchTest : public NetUIFixture {
 protected:
  void SetUp() override {
    NetUIFixture::SetUp();
    dialogs_.on(2198, press(IDOK));
    dialogs_.on(2200, press(IDOK));
  }

  void readSetting(const std::string& bytes) { fakebce::pushGetNetInfo(0xFFFF, 1, 18, nwAnswer(0, bytes)); }

  // What OK sent as item 18, in order.
  static std::vector<std::string> sentRecords() {
    std::vector<std::string> sent;
    for (const auto& call : fakebce::callsOf("BceSetNetInfo")) {
      EXPECT_EQ(call.handle, 0xFFFFu);
      EXPECT_EQ(call.netMask, 1u);
      EXPECT_EQ(call.code, 18u);
      sent.push_back(call.request);
    }
    return sent;
  }

  static CButton& button(CDialog& box, int id) { return *static_cast<CButton*>(box.GetDlgItem(id)); }
  static CEdit& number(CDialog& box) { return *static_cast<CEdit*>(box.GetDlgItem(1188)); }
  static CString text(CDialog& box) {
    CString t;
    box.GetDlgItemText(1188, t);
    return t;
  }
  static void ok(CDialog& box) { box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0); }
};

TEST_F(NWSearchTest, TheMethodByteSelectsByItsLowestKnownBit) {
  const struct {
    BYTE method;
    int index;
  } cases[] = {{0x01, 0}, {0x02, 1}, {0x04, 2}, {0x06, 1}, {0x07, 0}, {0x00, -1}, {0x08, -1}, {0xF8, -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.method));
    fakebce::reset();
    readSetting(record18(static_cast<char>(c.method), "0000ABCD"));
    int shown = -2;
    bool okEnabled = true, editEnabled = false;
    CString numberText;
    dialogs_.on(2196, [&](CDialog& box) {
      auto& dialog = static_cast<NWSearch&>(box);
      shown = dialog.m_method;
      for (int id = 1185; id <= 1187; ++id)
        EXPECT_EQ(button(box, id).GetCheck(), id - 1185 == c.index ? BST_CHECKED : BST_UNCHECKED) << id;
      okEnabled = box.GetDlgItem(IDOK)->IsWindowEnabled();
      editEnabled = number(box).IsWindowEnabled();
      numberText = text(box);
      box.SendMessage(WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED), 0);
    });
    NWSearch dialog;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(shown, c.index);
    EXPECT_FALSE(okEnabled);
    EXPECT_EQ(editEnabled, c.index == 2);
    EXPECT_EQ(numberText.str(), "0000ABCD");
    const auto gets = fakebce::callsOf("BceGetNetInfo");
    ASSERT_EQ(gets.size(), 1u);
    EXPECT_EQ(gets[0].handle, 0xFFFFu);
    EXPECT_EQ(gets[0].code, 18u);
    EXPECT_EQ(gets[0].request.size(), 9u) << "asked with 9 bytes";
    EXPECT_TRUE(sentRecords().empty());
    EXPECT_EQ(broker().module, nullptr) << "Cancel frees the broker";
  }
}

TEST_F(NWSearchTest, SingleNetworkSendsTheTypedNumberPaddedAndAsksForARefresh) {
  readSetting(record18(0x01, std::string(8, '\0')));
  fakebce::pushSetNetInfo(0xFFFF, 1, 18, nwAnswer(0));
  CString shown;
  dialogs_.on(2196, [&](CDialog& box) {
    button(box, 1187).Click();
    EXPECT_TRUE(number(box).IsWindowEnabled());
    EXPECT_TRUE(box.GetDlgItem(IDOK)->IsWindowEnabled());
    number(box).TypeText("1a");
    shown = text(box);
    ok(box);
  });
  NWSearch dialog;
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(shown.str(), "1A");
  EXPECT_EQ(sentRecords(), std::vector<std::string>{record18(0x04, "0000001A")});
  EXPECT_EQ(dialogs_.runs(2198), 1);
  EXPECT_EQ(dialogs_.runs(2200), 0);
  EXPECT_EQ(broker().module, nullptr);
}

TEST_F(NWSearchTest, SingleNetworkWithAnEmptyOrForeignNumberStaysOpen) {
  // An empty number, and one read back holding a character no digit.
  for (const std::string& stored : {std::string(8, '\0'), std::string("12XY\0\0\0\0", 8)}) {
    fakebce::reset();
    readSetting(record18(0x04, stored));
    const int before = dialogs_.runs(2200);
    bool stillOpen = false;
    dialogs_.on(2196, [&](CDialog& box) {
      ok(box);
      stillOpen = wf::fw::runningModalDialog() == &box;
      box.SendMessage(WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED), 0);
    });
    NWSearch dialog;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(dialogs_.runs(2200) - before, 1);
    EXPECT_TRUE(sentRecords().empty());
  }
}

TEST_F(NWSearchTest, LocalNetworkSendsTheOldNumberPadded) {
  readSetting(record18(0x04, std::string("12\0\0\0\0\0\0", 8)));
  fakebce::pushSetNetInfo(0xFFFF, 1, 18, nwAnswer(0));
  dialogs_.on(2196, [&](CDialog& box) {
    button(box, 1186).Click();
    EXPECT_FALSE(number(box).IsWindowEnabled());
    ok(box);
  });
  NWSearch dialog;
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(sentRecords(), std::vector<std::string>{record18(0x02, "00000012")});
  EXPECT_EQ(dialogs_.runs(2198), 1);
}

TEST_F(NWSearchTest, ACharacterNoHexDigitIsRefusedAndThePreviousTextComesBack) {
  readSetting(record18(0x04, "00AB"));
  CString after;
  int start = -1, end = -1;
  dialogs_.on(2196, [&](CDialog& box) {
    number(box).TypeText("00AG");
    after = text(box);
    number(box).GetSel(start, end);
    number(box).TypeText("00abc");
    ok(box);
  });
  fakebce::pushSetNetInfo(0xFFFF, 1, 18, nwAnswer(0));
  NWSearch dialog;
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(dialogs_.runs(2200), 1);
  EXPECT_EQ(after.str(), "00AB");
  EXPECT_EQ(start, 4);
  EXPECT_EQ(end, 4);
  EXPECT_EQ(sentRecords(), std::vector<std::string>{record18(0x04, "00000ABC")});
}

TEST_F(NWSearchTest, OkWithoutAChangeSendsButAsksNoRefresh) {
  readSetting(record18(0x02, "0000001A"));
  fakebce::pushSetNetInfo(0xFFFF, 1, 18, nwAnswer(0));
  dialogs_.on(2196, [&](CDialog& box) { ok(box); });
  NWSearch dialog;
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(sentRecords().size(), 1u);
  EXPECT_EQ(dialogs_.runs(2198), 0);
}

TEST_F(NWSearchTest, FailuresCloseWithoutARefreshNotice) {
  // The read fails and its Retry box is cancelled: the dialog closes.
  fakebce::pushGetNetInfo(0xFFFF, 1, 18, nwAnswer(-5));
  dialogs_.on(2180, press(IDCANCEL));
  dialogs_.on(2196, [&](CDialog&) { ADD_FAILURE() << "the dialog stayed open"; });
  {
    NWSearch dialog;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  }
  dialogs_.on(2196, {});

  // The save fails and its Retry box is cancelled: closed with OK, no 2198.
  fakebce::reset();
  readSetting(record18(0x01, "00000000"));
  fakebce::pushSetNetInfo(0xFFFF, 1, 18, nwAnswer(-5));
  dialogs_.on(2177, press(IDCANCEL));
  dialogs_.on(2196, [&](CDialog& box) {
    button(box, 1186).Click();
    ok(box);
  });
  NWSearch saved;
  EXPECT_EQ(saved.DoModal(), IDOK);
  EXPECT_EQ(dialogs_.runs(2177), 1);
  EXPECT_EQ(dialogs_.runs(2198), 0);
  EXPECT_EQ(broker().module, nullptr);
}

TEST_F(NWSearchTest, WithoutTheBrokerNothingIsSelectedAndOkJustCloses) {
  // A broker build lacking one of the procedures binds nothing.
  wf::setModuleSearchPath({WF_SCRIPTED_CORBCE_NO_PRTINFO_DIR});
  dialogs_.on(2180, press(IDCANCEL));
  int method = -2;
  dialogs_.on(2196, [&](CDialog& box) {
    method = static_cast<NWSearch&>(box).m_method;
    button(box, 1186).Click();
    ok(box);
  });
  NWSearch dialog;
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(method, -1);
  EXPECT_GE(dialogs_.runs(2180), 1);
  EXPECT_TRUE(fakebce::callsOf("BceGetNetInfo").empty());
  EXPECT_TRUE(fakebce::callsOf("BceSetNetInfo").empty());
  EXPECT_EQ(dialogs_.runs(2198), 0);
}

TEST_F(NWSearchTest, F1OnAListedControlGivesItsTopic) {
  readSetting(record18(0x01, "00000000"));
  using Table = std::vector<std::pair<DWORD, DWORD>>;
  dialogs_.on(2196, [&](CDialog& box) {
    HELPINFO info;
    info.iCtrlId = 1188;
    info.hItemHandle = box.GetDlgItem(1188)->GetSafeHwnd();
    box.SendMessage(WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    box.SendMessage(WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED), 0);
  });
  NWSearch dialog;
  dialog.DoModal();
  const auto calls = shell_.help.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].command, HELP_WM_HELP);
  EXPECT_EQ(
      calls[0].controlTable,
      (Table{{1185, 6902}, {1186, 6903}, {1187, 6904}, {1210, 6905}, {1188, 6906}, {1, 5003}, {2, 5005}}));
}

}  // namespace
}  // namespace wf::netui::testing
