// Advanced Settings: the address parse, what the dialog enables, and the
// loop that sets item 130 and offers the reset.
#include <functional>

#include "adapter_advanced.h"
#include "adapter_fixture.h"
#include "port_pages.h"

namespace wf::netui::testing {
namespace {

wf::net::NETADVANCEDSETTINGS advancedSettings() {
  wf::net::NETADVANCEDSETTINGS s{};
  s.Control = 0x0C;
  s.ProtocolsActive = 0x0F;
  s.ProtocolsEnabled = 0x0F;
  s.EndOfJobTimeout = 10;
  const uint8_t ip[12] = {157, 0, 65, 10, 255, 255, 255, 0, 157, 0, 65, 1};
  std::memcpy(s.IpAddress, ip, 4);
  std::memcpy(s.IpNetmask, ip + 4, 4);
  std::memcpy(s.IpGateway, ip + 8, 4);
  std::memcpy(s.ContactName, "Desk", 4);
  std::memcpy(s.Location, "Bench", 5);
  return s;
}

TEST_F(AdapterFixture, TheAddressesTakeFourPartsOfOneToThreeDigitsInRange) {
  const struct {
    const char *address, *netmask, *gateway;
    bool taken;
  } cases[] = {
      {"157.0.65.10", "255.255.255.0", "157.0.65.1", true},
      {"157.0.65.10", "255.255.255.255", "157.0.65.1", true},
      {"157.0.65.255", "255.255.255.0", "157.0.65.1", false},
      {"157.0.65.10", "255.255.255.0", "157.0.65.255", false},
      {"157.0.65.254", "255.255.256.0", "157.0.65.1", false},
      {"1.2.3", "255.255.255.0", "1.2.3.1", false},
      {"1..2.3", "255.255.255.0", "1.2.3.1", false},
      {"1.2.3.4.5", "255.255.255.0", "1.2.3.1", false},
      {"0001.2.3.4", "255.255.255.0", "1.2.3.1", false},
      {"123456789012345", "255.255.255.0", "1.2.3.1", false},
      {".1.2.3", "255.255.255.0", "1.2.3.1", false},
      {"1.2.3.", "255.255.255.0", "1.2.3.1", false},
      {"", "", "", false},
      {"0.0.0.0", "0.0.0.0", "0.0.0.0", true},
  };
  for (const auto& c : cases) {
    AdAdvSet dialog;
    dialog.m_strAddress = c.address;
    dialog.m_strNetmask = c.netmask;
    dialog.m_strGateway = c.gateway;
    const int before = dialogs_.runs(2150);
    TcpIpOctets octets{};
    EXPECT_EQ(ParseTcpIpSettings(dialog, octets, nullptr), c.taken ? TRUE : FALSE) << c.address;
    EXPECT_EQ(dialogs_.runs(2150) - before, c.taken ? 0 : 1) << c.address;
  }
  AdAdvSet dialog;
  dialog.m_strAddress = "157.0.65.10";
  dialog.m_strNetmask = "255.255.255.0";
  dialog.m_strGateway = "157.0.66.1";
  TcpIpOctets octets{};
  const int warned = dialogs_.runs(2181);
  dialogs_.on(2181, press(IDCANCEL));
  EXPECT_FALSE(ParseTcpIpSettings(dialog, octets, nullptr));
  dialogs_.on(2181, press(IDOK));
  EXPECT_TRUE(ParseTcpIpSettings(dialog, octets, nullptr));
  EXPECT_EQ(octets, (TcpIpOctets{157, 0, 65, 10, 255, 255, 255, 0, 157, 0, 66, 1}));
  EXPECT_EQ(dialogs_.runs(2181) - warned, 2);
}

class AdvancedTest : public AdapterFixture {
 protected:
  using Run = std::function<int(CDialog&)>;  // edits the dialog, answers the button

  PConAdPR& showXle(wf::net::NETADAPTERPARMS r, UINT protocol = kIpx) {
    fakebce::reset();
    auto& page = makePage<PConAdPR>();
    page.SetAdapterValues(r, kPrinter, protocol);
    answerSupervisor(1, protocol);
    show(page);
    fakebce::pushGetNetInfo(kPrinter, protocol, 130, netAnswer(0, bytesOf(advancedSettings())));
    fakebce::pushSetNetInfo(kPrinter, protocol, 130, netAnswer(0));
    fakebce::pushSetNetInfo(kPrinter, protocol, 136, netAnswer(0));
    return page;
  }
  void runs(std::vector<Run> runs) {
    runs_ = std::move(runs);
    next_ = 0;
    dialogs_.on(2140, [this](CDialog& box) {
      seen_.push_back({textOf(box, 1043).str(), textOf(box, 1051).str()});
      const int button = runs_[std::min(next_++, runs_.size() - 1)](box);
      box.SendMessage(WM_COMMAND, MAKELONG(button, BN_CLICKED), 0);
    });
  }
  static wf::net::NETADVANCEDSETTINGS lastSettingsSent() {
    wf::net::NETADVANCEDSETTINGS s{};
    for (const auto& call : fakebce::callsOf("BceSetNetInfo"))
      if (call.code == 130 && call.request.size() == sizeof s) std::memcpy(&s, call.request.data(), sizeof s);
    return s;
  }
  std::vector<Run> runs_;
  std::size_t next_ = 0;
  std::vector<std::pair<std::string, std::string>> seen_;  // address and contact at each open
};

TEST_F(AdvancedTest, TheContactAloneIsSetWithoutAResetQuestion) {
  auto r = parallelXle();
  r.Control = 0x15;
  auto& page = showXle(r);
  runs({[](CDialog& box) {
    EXPECT_FALSE(box.GetDlgItem(IDOK)->IsWindowEnabled());
    box.SetDlgItemText(1051, "Lab");
    return IDOK;
  }});
  click(page, 1028);
  EXPECT_EQ(seen_, (std::vector<std::pair<std::string, std::string>>{{"157.0.65.10", "Desk"}}));
  ASSERT_EQ(itemsSet(), std::vector<uint32_t>{130});
  const auto sent = lastSettingsSent();
  EXPECT_STREQ(sent.ContactName, "Lab");
  EXPECT_STREQ(sent.Location, "Bench");
  EXPECT_EQ(sent.ProtocolsEnabled, 0x0F);
  EXPECT_EQ(sent.EndOfJobTimeout, 10);
  EXPECT_EQ(dialogs_.runs(2204), 0);
  EXPECT_EQ(broker().module, nullptr);
}

TEST_F(AdvancedTest, AProtocolChangeBeforeARefusedAddressStillAsksForTheReset) {
  auto r = parallelXle();
  r.Control = 0x15;
  auto& page = showXle(r);
  runs({[](CDialog& box) {
          static_cast<CButton*>(box.GetDlgItem(1049))->Click();  // AppleTalk off
          box.SetDlgItemText(1043, "157.0.65.255");
          return IDOK;
        },
        [](CDialog& box) {
          box.SetDlgItemText(1043, "157.0.65.20");
          return IDOK;
        }});
  click(page, 1028);
  EXPECT_EQ(dialogs_.runs(2150), 1);
  EXPECT_EQ(seen_.at(1).first, "157.0.65.255") << "the dialog again with the typed values";
  EXPECT_EQ(dialogs_.runs(2204), 1);
  EXPECT_EQ(itemsSet(), (std::vector<uint32_t>{130, 136}));
  EXPECT_EQ(lastSettingsSent().ProtocolsEnabled, 0x0B);
  EXPECT_EQ(lastSettingsSent().IpAddress[3], 20);
}

TEST_F(AdvancedTest, AnInconsistentSetWarnsOkSendsItAndCancelOpensTheDialogAgain) {
  auto r = parallelXle();
  r.Control = 0x15;
  auto& page = showXle(r);
  Presses warning({IDCANCEL, IDOK});
  dialogs_.on(2181, warning.action());
  dialogs_.on(2204, press(IDCANCEL));
  // OK waits for a change at every run.
  runs({[](CDialog& box) {
          box.SetDlgItemText(1045, "157.0.66.1");
          return IDOK;
        },
        [](CDialog& box) {
          box.SetDlgItemText(1045, "157.0.66.2");
          return IDOK;
        }});
  click(page, 1028);
  EXPECT_EQ(dialogs_.runs(2140), 2);
  EXPECT_EQ(dialogs_.runs(2181), 2);
  EXPECT_EQ(itemsSet(), std::vector<uint32_t>{130});
  EXPECT_EQ(lastSettingsSent().IpGateway[2], 66);
  EXPECT_EQ(lastSettingsSent().IpGateway[3], 2);
}

TEST_F(AdvancedTest, TheDialogEnablesWhatTheAdapterAndTheTransportAllow) {
  const struct {
    const char* what;
    uint8_t pageControl;
    UINT protocol;
    std::vector<int> enabledIds;
  } cases[] = {
      {"IPX", 0x15, 4, {1043, 1044, 1045, 1047, 1048, 1049, 1050, 1051, 1052}},
      {"TCP/IP", 0x15, 2, {1043, 1044, 1045, 1046, 1047, 1049, 1050, 1051, 1052}},
      {"NetWare", 0x15, 1, {1043, 1044, 1045, 1046, 1048, 1049, 1050, 1051, 1052}},
      {"no commands", 0x05, 4, {}},
  };
  for (const auto& c : cases) {
    auto r = parallelXle();
    r.Control = c.pageControl;
    auto& page = showXle(r, c.protocol);
    std::vector<int> on;
    runs({[&](CDialog& box) {
      for (int id : {1043, 1044, 1045, 1046, 1047, 1048, 1049, 1050, 1051, 1052, IDOK})
        if (box.GetDlgItem(id)->IsWindowEnabled()) on.push_back(id);
      return IDCANCEL;
    }});
    click(page, 1028);
    EXPECT_EQ(on, c.enabledIds) << c.what;
    EXPECT_TRUE(itemsSet().empty()) << c.what;
  }
}

TEST_F(AdvancedTest, ABadCharacterInAnAddressShows2150AndPutsTheTextBack) {
  auto r = parallelXle();
  r.Control = 0x15;
  auto& page = showXle(r);
  std::string after;
  runs({[&](CDialog& box) {
    box.SetDlgItemText(1044, "255.255.x");
    after = textOf(box, 1044).str();
    return IDCANCEL;
  }});
  click(page, 1028);
  EXPECT_EQ(dialogs_.runs(2150), 1);
  EXPECT_EQ(after, "255.255.255.0");
}

TEST_F(AdvancedTest, AProtectedAdapterAsksThePasswordBeforeTheSet) {
  auto& page = showXle(parallelXle());  // Control 0x17
  answerPassword("PBPASS", page.m_record);
  dialogs_.on(2163, press(IDCANCEL));
  runs({[](CDialog& box) {
    box.SetDlgItemText(1052, "Lab 2");
    return IDOK;
  }});
  click(page, 1028);
  EXPECT_EQ(dialogs_.runs(2163), 1);
  EXPECT_TRUE(itemsSet().empty());
  EXPECT_EQ(broker().module, nullptr);
  EXPECT_FALSE(waitUpdateShown());
}

}  // namespace
}  // namespace wf::netui::testing
