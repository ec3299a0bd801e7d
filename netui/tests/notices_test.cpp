// The notices: each class on its template and base, the table's help pairs
// and fields against the templates, the boxes' results and Help buttons,
// display fields, and the shared please-wait box.
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "framework/control_styles.h"
#include "framework/controls.h"
#include "framework/resources.h"
#include "netui_fixture.h"

namespace wf::netui::testing {
namespace {

namespace res = wf::fw::res;

class NoticesTest : public NetUIFixture {};

struct NoticeClass {
  UINT templateId;
  std::function<std::unique_ptr<CDialog>()> make;
};

template <class Box>
NoticeClass noticeClass(UINT templateId) {
  return {templateId, [] { return std::make_unique<Box>(); }};
}

const NoticeClass kClasses[] = {
    noticeClass<NtcRemoveAdVerify>(2132), noticeClass<NtcAdNotRemoved>(2133),
    noticeClass<NtcDupAddrHost>(2135),    noticeClass<NtcBadAdAddr>(2143),
    noticeClass<NtcMaxTimeout>(2144),     noticeClass<NtcBadSetting>(2150),
    noticeClass<NtcPwdIncorrect>(2151),   noticeClass<NtcPwdMismatch>(2152),
    noticeClass<NtcFlashSent>(2153),      noticeClass<NtcFlashRead>(2154),
    noticeClass<NtcFlashFormat>(2155),    noticeClass<NtcFlashWrite>(2156),
    noticeClass<WaitFlash>(2160),         noticeClass<NtcPwdInvalid>(2162),
    noticeClass<AdEnterPwd>(2163),        noticeClass<WaitReset>(2175),
    noticeClass<NtcTooManyServers>(2176), noticeClass<NtcCommErrSet>(2177),
    noticeClass<WaitUpdate>(2178),        noticeClass<NtcDupQueue>(2179),
    noticeClass<NtcCommErrGet>(2180),     noticeClass<NtcAddrWarning>(2181),
    noticeClass<NtcBadCharNW>(2182),      noticeClass<NtcResetAd>(2190),
    noticeClass<NtcFlashConfirm>(2191),   noticeClass<NtcLoginFailed>(2195),
    noticeClass<NWSrvLoginUser>(2197),    noticeClass<NtcRefreshAll>(2198),
    noticeClass<NtcIPNotFound>(2199),     noticeClass<NtcBadNetNum>(2200),
    noticeClass<NtcResetProto>(2201),     noticeClass<NtcApplyServers>(2202),
    noticeClass<NtcAdPrinting>(2203),     noticeClass<NtcResetAllPorts>(2204),
    noticeClass<NtcBadCharCL>(2205),      noticeClass<NtcDupAdAddr>(2206),
    noticeClass<NtcDupNickname>(2207),    noticeClass<NtcDupHost>(2208),
    noticeClass<NtcAdMemFull>(2212),
};

const res::DialogItem* itemOf(const res::Dialog& dialog, int id) {
  for (UINT i = 0; i < dialog.itemCount; ++i)
    if (static_cast<int>(dialog.items[i].id) == id) return &dialog.items[i];
  return nullptr;
}

TEST_F(NoticesTest, EveryBoxMatchesItsTemplateAndTableEntry) {
  for (const NoticeClass& c : kClasses) {
    SCOPED_TRACE(c.templateId);
    const NoticeSpec* spec = noticeSpec(c.templateId);
    ASSERT_NE(spec, nullptr);
    const std::unique_ptr<CDialog> box = c.make();
    EXPECT_EQ(box->m_nIDTemplate, c.templateId);
    EXPECT_EQ(dynamic_cast<CWFDialog*>(box.get()) != nullptr, spec->helpBase) << spec->name;

    const res::Dialog* tmpl = wf::fw::findDialog(c.templateId);
    ASSERT_NE(tmpl, nullptr);
    const bool modeless = !(tmpl->style & WS_CAPTION);
    EXPECT_EQ(modeless, std::string(spec->name).rfind("Wait", 0) == 0) << spec->name;
    std::size_t buttons = 0;
    for (UINT i = 0; i < tmpl->itemCount; ++i) buttons += std::string(tmpl->items[i].className) == "Button";
    EXPECT_EQ(buttons == 0, modeless);
    for (const DWORD* pair = spec->helpIds; pair && pair[0]; pair += 2)
      EXPECT_NE(itemOf(*tmpl, static_cast<int>(pair[0])), nullptr) << "help pair " << pair[0];
    EXPECT_EQ(spec->helpIds != nullptr, spec->helpBase);
    if (spec->helpButton) {
      const res::DialogItem* button = itemOf(*tmpl, spec->helpButton);
      ASSERT_NE(button, nullptr);
      EXPECT_STREQ(button->text, "&Help");
    }
    for (const NoticeField& field : spec->fields) {
      if (!field.controlId) continue;
      const res::DialogItem* edit = itemOf(*tmpl, field.controlId);
      ASSERT_NE(edit, nullptr);
      EXPECT_STREQ(edit->className, "Edit");
      EXPECT_EQ((edit->style & ES_READONLY) != 0, !field.live);
    }
  }
}

TEST_F(NoticesTest, TitlesTextsAndButtonsOfSomeBoxes) {
  const struct {
    UINT templateId;
    const char* title;
    int control;
    const char* text;
  } cases[] = {
      {2180, "Communication Error", 1, "Retry"},
      {2177, "Communication Error", 2, "Cancel"},
      {2176, "Too Many File Servers", 1141, "You have exceeded the maximum allowed number of file servers."},
      {2195, "Server Login Failed", 4, "&Retry"},
      {2199, "TCP/IP Address Not Found??", 1, "OK"},
      {2191, "Flash Network Card", 1179, "Do you wish to continue with the update?"},
  };
  for (const auto& c : cases) {
    CString title, text;
    dialogs_.on(c.templateId, [&](CDialog& box) {
      box.GetWindowText(title);
      box.GetDlgItemText(c.control, text);
      box.EndDialog(IDCANCEL);
    });
    CDialog(c.templateId, nullptr).DoModal();
    EXPECT_EQ(title.str(), c.title) << c.templateId;
    EXPECT_EQ(text.str(), c.text) << c.templateId;
  }
  // The invalid-character list ends with one double quote.
  const res::Dialog* badChar = wf::fw::findDialog(2182);
  ASSERT_NE(badChar, nullptr);
  const std::string text = badChar->items[0].text;
  EXPECT_EQ(text.substr(text.size() - 4), "()|\"");
}

TEST_F(NoticesTest, HelpButtonsShowTheirTopicAndKeepTheBoxOpen) {
  dialogs_.on(2133, [](CDialog& box) {
    box.SendMessage(WM_COMMAND, MAKELONG(1236, BN_CLICKED), 0);
    box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0);
  });
  EXPECT_EQ(NtcAdNotRemoved().DoModal(), IDOK);

  // Too Many File Servers: Help carries the Cancel id, so Esc and the close box show the topic too.
  HWND helpButton = 0;
  dialogs_.on(2176, [&](CDialog& box) {
    helpButton = box.GetDlgItem(IDCANCEL)->GetSafeHwnd();
    box.SendMessage(WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED), 0);
    box.SendMessage(WM_CLOSE, 0, 0);
    box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0);
  });
  EXPECT_EQ(NtcTooManyServers().DoModal(), IDOK);

  const auto calls = shell_.help.calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].command, HELP_CONTEXTPOPUP);
  EXPECT_EQ(calls[0].context, 8005u);
  EXPECT_EQ(calls[0].helpFile, "/opt/wrenfield/NETWORK.HLP");
  for (std::size_t i = 1; i < 3; ++i) {
    EXPECT_EQ(calls[i].command, HELP_CONTEXTPOPUP);
    EXPECT_EQ(calls[i].context, 6607u);
    EXPECT_EQ(calls[i].window, helpButton);
  }
}

TEST_F(NoticesTest, ResultsAreTheClosingButtonsId) {
  const struct {
    UINT templateId;
    int button;
    INT_PTR result;
  } cases[] = {
      {2195, 4, IDOK},  // Login Failed's Retry
      {2195, IDCANCEL, IDCANCEL},
      {2132, IDOK, IDOK},
      {2132, IDCANCEL, IDCANCEL},
      {2191, IDOK, IDOK},
  };
  for (const auto& c : cases) {
    dialogs_.on(c.templateId, press(c.button));
    const NoticeClass* cls = nullptr;
    for (const NoticeClass& k : kClasses)
      if (k.templateId == c.templateId) cls = &k;
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(cls->make()->DoModal(), c.result) << c.templateId << " " << c.button;
  }
}

TEST_F(NoticesTest, DisplayFieldsAreMovedInWhenTheBoxOpens) {
  std::map<int, std::string> seen;
  const auto readFields = [&](std::vector<int> ids) {
    return [&seen, ids](CDialog& box) {
      for (int id : ids) {
        CString text;
        box.GetDlgItemText(id, text);
        seen[id] = text.str();
      }
      box.EndDialog(IDOK);
    };
  };
  dialogs_.on(2143, readFields({1016, 1017}));
  NtcBadAdAddr range;
  range.m_strLow = "400000000001";
  range.m_strHigh = "7FFFFFFFFFFF";
  range.DoModal();
  EXPECT_EQ(seen[1016], "400000000001");
  EXPECT_EQ(seen[1017], "7FFFFFFFFFFF");

  dialogs_.on(2144, readFields({1016}));
  NtcMaxTimeout timeout;
  EXPECT_EQ(timeout.m_nMaxTimeout, 0);
  timeout.m_nMaxTimeout = 3600;
  timeout.DoModal();
  EXPECT_EQ(seen[1016], "3600");

  dialogs_.on(2199, readFields({1235}));
  NtcIPNotFound notFound;
  notFound.m_strAddress = "10.1.1.99";
  notFound.DoModal();
  EXPECT_EQ(seen[1235], "10.1.1.99");

  dialogs_.on(2202, readFields({1244}));
  NtcApplyServers servers;
  servers.m_strServer = "FS1";
  servers.DoModal();
  EXPECT_EQ(seen[1244], "FS1");
}

TEST_F(NoticesTest, ThePasswordIsKeptAtEveryChangeInUpperCaseAndEightCharacters) {
  dialogs_.on(2163, [](CDialog& box) {
    auto* edit = dynamic_cast<CEdit*>(box.GetDlgItem(1076));
    ASSERT_NE(edit, nullptr);
    edit->TypeText("secret12345");
    box.SendMessage(WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED), 0);  // no data exchange on Cancel
  });
  AdEnterPwd password;
  EXPECT_EQ(password.DoModal(), IDCANCEL);
  EXPECT_EQ(password.m_strPassword.str(), "SECRET12");
}

TEST_F(NoticesTest, ThePleaseWaitBoxIsOneWindowForNestedShows) {
  CWnd owner;
  ASSERT_TRUE(owner.CreateEx(0, "AfxWnd", "owner", WS_POPUP, 0, 0, 100, 100, 0));
  EXPECT_FALSE(waitUpdateShown());
  EXPECT_EQ(ShowWaitUpdate(&owner), 1);
  EXPECT_TRUE(waitUpdateShown());
  EXPECT_EQ(ShowWaitUpdate(&owner), 0);
  EXPECT_EQ(HideWaitUpdate(), 1);
  EXPECT_FALSE(waitUpdateShown());
  EXPECT_EQ(HideWaitUpdate(), 0);
}

}  // namespace
}  // namespace wf::netui::testing
