// The base adapter page: its initialisation, the address checks, Apply with
// its change mask and Cancel, Reset Adapter and the information dialogs.
#include "adapter_fixture.h"
#include "adapter_info.h"
#include "adapter_page.h"

namespace wf::netui::testing {
namespace {

// A single-port Ethernet adapter.
wf::net::NETADAPTERPARMS singlePort() {
  auto r = parallelXle();
  r.AdapterClass = wf::net::kClassSinglePort;
  r.PortType = wf::net::kPortTypeSingle;
  return r;
}

class AdapterPageTest : public AdapterFixture {
 protected:
  // The range fields of each 2143 shown.
  void recordBadAddressRanges() {
    dialogs_.on(2143, [this](CDialog& box) {
      ranges_.push_back(textOf(box, 1016).str() + "-" + textOf(box, 1017).str());
      box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0);
    });
  }
  void showBase(PConAdIn& page, const wf::net::NETADAPTERPARMS& r, uint8_t supervisor = 1) {
    page.SetAdapterValues(r, kPrinter, kIpx);
    answerSupervisor(supervisor);
    show(page);
  }
  std::vector<std::string> ranges_;
};

TEST_F(AdapterPageTest, SetAdapterValuesFormatsTheAddressAndPicksThePageKind) {
  const struct {
    uint8_t cls, port;
    int kind;
  } cases[] = {{1, 1, 1}, {16, 1, 1}, {2, 2, 3}, {4, 4, 5}, {2, 4, 5}, {8, 2, 2}, {8, 4, 4}, {8, 1, 1}, {3, 2, 1}};
  for (const auto& c : cases) {
    auto r = parallelXle();
    r.AdapterClass = c.cls;
    r.PortType = c.port;
    r.Address[5] = 0xAB;
    PConAdIn page;
    page.SetAdapterValues(r, kPrinter, kIpx);
    EXPECT_EQ(page.m_nPageKind, c.kind) << int(c.cls) << "/" << int(c.port);
    EXPECT_EQ(page.m_strAddress.str(), "0000C04A10AB");
    EXPECT_EQ(page.m_strAppliedAddress.str(), "0000C04A10AB");
    EXPECT_EQ(page.m_uaa, uaaOf(r));
  }
  PConAdIn none;
  none.SetAdapterValues(parallelXle(), 0, 0);
  EXPECT_TRUE(none.m_strAddress.IsEmpty());
  EXPECT_EQ(none.m_nPageKind, 1);
}

TEST_F(AdapterPageTest, TheAddressRulesFollowMediaFeaturesAndClass) {
  const struct {
    uint8_t media, features, cls;
    const char* text;
    bool valid;
    const char* range;
  } cases[] = {
      {2, 0, 1, "123456789AB0", false, "000000000001-7FFFFFFFFFFF"},
      {2, 0, 1, "823456789AB1", false, "000000000001-7FFFFFFFFFFF"},
      {2, 0, 1, "023456789AB1", true, ""},
      {1, 1, 1, "40007FFFFFFF", true, ""},
      {1, 1, 1, "400080000000", false, "400000000000-40007FFFFFFF"},
      {1, 0, 1, "7FFFFFFFFFFF", true, ""},
      {1, 0, 1, "3FFFFFFFFFFF", false, "400000000000-7FFFFFFFFFFF"},
      {2, 0, 2, "000000000000", true, ""},
      {1, 0, 16, "000000000000", true, ""},
      {2, 0, 8, "000000000000", false, "000000000001-7FFFFFFFFFFF"},
      {2, 0, 1, "0000C04A10A", false, "000000000001-7FFFFFFFFFFF"},
      {2, 0, 1, "0000C04A10AG", false, "000000000001-7FFFFFFFFFFF"},
      {2, 0, 1, "0000c04a10a1", false, "000000000001-7FFFFFFFFFFF"},
  };
  recordBadAddressRanges();
  ASSERT_TRUE(LoadBceFunctions());
  fakebce::setNets(0);
  for (const auto& c : cases) {
    auto r = singlePort();
    r.Media = c.media;
    r.Features = c.features;
    r.AdapterClass = c.cls;
    PConAdIn page;
    page.SetAdapterValues(r, kPrinter, kIpx);
    ranges_.clear();
    EXPECT_EQ(page.ValidateAdapterAddress(c.text), c.valid ? TRUE : FALSE) << c.text;
    EXPECT_EQ(ranges_, c.valid ? std::vector<std::string>{} : std::vector<std::string>{c.range}) << c.text;
  }
  EXPECT_TRUE(itemsSet().empty()) << "no transport to ask";
}

TEST_F(AdapterPageTest, TheDuplicateCheckAsksEachTransportInItsOrderAndStopsAtAKnownAddress) {
  ASSERT_TRUE(LoadBceFunctions());
  PConAdIn page;
  page.SetAdapterValues(singlePort(), kPrinter, kIpx);
  const struct {
    uint32_t nets;
    uint16_t bit1, bit2, bit4;
    bool valid;
    std::vector<uint32_t> asked;
  } cases[] = {
      {0x0F, 0xFB96, 0xFB96, 0xFFF8, true, {4, 1, 8, 2}},
      {0x03, 0xFB96, 0xFB95, 0, false, {1, 2}},
      {0x07, 0xFB95, 0, 0, false, {4, 1}},
  };
  for (const auto& c : cases) {
    fakebce::reset();
    fakebce::setNets(c.nets);
    fakebce::pushSetNetInfo(kPrinter, 1, 137, netAnswer(static_cast<int16_t>(c.bit1)));
    fakebce::pushSetNetInfo(kPrinter, 2, 137, netAnswer(static_cast<int16_t>(c.bit2)));
    fakebce::pushSetNetInfo(kPrinter, 4, 137, netAnswer(static_cast<int16_t>(c.bit4)));
    fakebce::pushSetNetInfo(kPrinter, 8, 137, netAnswer(0));
    const int dupBefore = dialogs_.runs(2206);
    EXPECT_EQ(page.ValidateAdapterAddress("0000C04A10AB"), c.valid ? TRUE : FALSE);
    EXPECT_EQ(dialogs_.runs(2206) - dupBefore, c.valid ? 0 : 1);
    std::vector<uint32_t> asked;
    for (const auto& call : fakebce::callsOf("BceSetNetInfo")) {
      asked.push_back(call.netMask);
      EXPECT_EQ(call.request, std::string("\x00\x00\xC0\x4A\x10\xAB", 6));
    }
    EXPECT_EQ(asked, c.asked);
  }
  EXPECT_FALSE(waitUpdateShown());
}

TEST_F(AdapterPageTest, InitialisationDisablesWhatTheRecordAndRightsDoNotAllow) {
  const struct {
    const char* what;
    uint8_t control, features, supervisor;
    bool address, flash, reset;
  } cases[] = {
      {"everything", 0x17, 0x06, 1, true, true, true},
      {"no supervisor", 0x17, 0x06, 0, false, false, false},
      {"no flash support", 0x17, 0x04, 1, true, false, true},
      {"no reset support", 0x17, 0x02, 1, true, true, false},
      {"no commands", 0x07, 0x06, 1, true, false, false},
      {"address fixed", 0x16, 0x06, 1, false, true, true},
  };
  for (const auto& c : cases) {
    auto r = singlePort();
    r.Control = c.control;
    r.Features = c.features;
    fakebce::reset();  // a fresh item-135 answer: the last one repeats
    auto& page = makePage<PConAdIn>();
    showBase(page, r, c.supervisor);
    EXPECT_EQ(enabled(page, 1065), c.address) << c.what;
    EXPECT_EQ(enabled(page, 1038), c.flash) << c.what;
    EXPECT_EQ(enabled(page, 1040), c.reset) << c.what;
    EXPECT_TRUE(enabled(page, 1039)) << c.what;
    EXPECT_FALSE(enabled(page, IDOK)) << c.what;
    EXPECT_FALSE(enabled(page, IDCANCEL)) << c.what;
    EXPECT_EQ(broker().module, nullptr);
    sheet_->DestroyWindow();
  }
  // No transport answered: nothing read, no information to show.
  const auto reads = fakebce::callsOf("BceGetNetInfo").size();
  auto& none = makePage<PConAdIn>();
  none.SetAdapterValues(singlePort(), 0, 0);
  show(none);
  EXPECT_FALSE(enabled(none, 1039));
  EXPECT_FALSE(enabled(none, 1065));
  EXPECT_EQ(fakebce::callsOf("BceGetNetInfo").size(), reads);
}

TEST_F(AdapterPageTest, ABadCharacterShowsTheTypingRangeAndPutsTheTextBack) {
  recordBadAddressRanges();
  auto& page = makePage<PConAdIn>();
  showBase(page, singlePort());
  auto* edit = static_cast<CEdit*>(page.GetDlgItem(1065));
  edit->SetSel(12, 12);
  edit->TypeText("g");
  EXPECT_EQ(ranges_, std::vector<std::string>{"000000000000-7FFFFFFFFFFF"});
  EXPECT_EQ(textOf(page, 1065).str(), "0000C04A1001");
  EXPECT_EQ(page.m_strAddress.str(), "0000C04A1001");
  EXPECT_TRUE(enabled(page, IDOK));
  page.SetDlgItemText(1065, "");  // emptied: no notice
  EXPECT_EQ(ranges_.size(), 1u);
}

TEST_F(AdapterPageTest, ApplySendsTheChangeMaskOnlyWhenThereIsOneAndRestoresControl) {
  // A single-port adapter with its address unchanged: mask 0, nothing sent.
  auto& ks = makePage<PConAdIn>();
  showBase(ks, singlePort());
  ks.SetDlgItemText(1065, "0000C04A1001");
  click(ks, IDOK);
  EXPECT_TRUE(itemsSet().empty());
  EXPECT_EQ(ks.m_record.Control, 0x17);

  // Emptied: twelve zeros sent, then the universal address shown.
  fakebce::setNets(0);
  fakebce::pushSetNetInfo(kPrinter, kIpx, 129, netAnswer(0));
  ks.SetDlgItemText(1065, "");
  click(ks, IDOK);
  ASSERT_EQ(itemsSet(), std::vector<uint32_t>{129});
  const auto sent = lastRecordSent();
  EXPECT_EQ(sent.Control, 0x80);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(sent.Address), 6), std::string(6, '\0'));
  EXPECT_EQ(textOf(ks, 1065).str(), "0000C04A1001");
  EXPECT_EQ(ks.m_strAppliedAddress.str(), "0000C04A1001");
  EXPECT_EQ(ks.m_record.Control, 0x17);
  EXPECT_FALSE(enabled(ks, IDOK));
  EXPECT_EQ(broker().module, nullptr);
}

TEST_F(AdapterPageTest, AMultiPortAddressChangeAsksForTheResetAndNoSendsNothing) {
  auto r = parallelXle();
  r.Control = 0x15;  // not password protected
  auto& page = makePage<PConAdIn>();
  showBase(page, r);
  fakebce::setNets(0);
  dialogs_.on(2204, press(IDCANCEL));
  page.SetDlgItemText(1065, "0000C04A10AB");
  click(page, IDOK);
  EXPECT_EQ(dialogs_.runs(2204), 1);
  EXPECT_TRUE(itemsSet().empty());
  EXPECT_EQ(page.m_record.Control, 0x15);
  EXPECT_EQ(page.m_strAppliedAddress.str(), "0000C04A1001");

  dialogs_.on(2204, press(IDOK));
  fakebce::pushSetNetInfo(kPrinter, kIpx, 129, netAnswer(0));
  click(page, IDOK);
  ASSERT_EQ(itemsSet(), std::vector<uint32_t>{129});
  EXPECT_EQ(lastRecordSent().Control, 0xC0);
  EXPECT_EQ(lastRecordSent().Address[5], 0xAB);
  EXPECT_EQ(page.m_strAppliedAddress.str(), "0000C04A10AB");
  EXPECT_EQ(page.m_record.Control, 0x15);

  // The 7390 refuses twelve zeros; nothing sent.
  auto x = r;
  x.AdapterClass = wf::net::kClass7390;
  x.PortType = wf::net::kPortTypeSingle;
  auto& seven = makePage<PConAdIn>();
  fakebce::reset();
  showBase(seven, x);
  seven.SetDlgItemText(1065, "");
  const int bad = dialogs_.runs(2143);
  click(seven, IDOK);
  EXPECT_EQ(dialogs_.runs(2143), bad + 1);
  EXPECT_TRUE(itemsSet().empty());
  EXPECT_EQ(seven.m_record.Control, 0x15);
}

TEST_F(AdapterPageTest, ARefusedSetLeavesTheRecordAndCancelShowsWhatWasRead) {
  auto& page = makePage<PConAdIn>();
  showBase(page, singlePort());
  fakebce::setNets(0);
  fakebce::pushSetNetInfo(kPrinter, kIpx, 129, netAnswer(-3));
  dialogs_.on(2177, press(IDCANCEL));
  page.SetDlgItemText(1065, "0000C04A10AB");
  click(page, IDOK);
  EXPECT_EQ(itemsSet(), std::vector<uint32_t>{129});
  EXPECT_EQ(page.m_record.Address[5], 0x01) << "the record as read";
  EXPECT_EQ(page.m_record.Control, 0x17);
  EXPECT_TRUE(enabled(page, IDOK));
  EXPECT_EQ(textOf(page, 1065).str(), "0000C04A10AB");
  click(page, IDCANCEL);
  EXPECT_EQ(textOf(page, 1065).str(), "0000C04A1001");
  EXPECT_FALSE(enabled(page, IDOK));
  EXPECT_FALSE(enabled(page, IDCANCEL));
  EXPECT_TRUE(sheet_->GetSafeHwnd()) << "the page's buttons leave the notebook open";
}

TEST_F(AdapterPageTest, ResetAsksThenSendsItem136WithoutData) {
  auto& page = makePage<PConAdIn>();
  showBase(page, singlePort());
  dialogs_.on(2190, press(IDCANCEL));
  click(page, 1040);
  EXPECT_TRUE(itemsSet().empty());
  dialogs_.on(2190, press(IDOK));
  fakebce::pushSetNetInfo(kPrinter, kIpx, 136, netAnswer(0));
  click(page, 1040);
  const auto sets = fakebce::callsOf("BceSetNetInfo");
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].code, 136u);
  EXPECT_TRUE(sets[0].request.empty());
  EXPECT_EQ(dialogs_.runs(2163), 0) << "a single-port adapter has no password";
  EXPECT_EQ(broker().module, nullptr);
}

TEST_F(AdapterPageTest, AProtectedMultiPortResetAsksThePasswordFirst) {
  const auto r = parallelXle();  // Control 0x17: protected
  auto& page = makePage<PConAdIn>();
  showBase(page, r);
  answerPassword("PBPASS", r);
  dialogs_.on(2163, press(IDCANCEL));
  click(page, 1040);
  EXPECT_EQ(dialogs_.runs(2163), 1);
  EXPECT_EQ(dialogs_.runs(2190), 0);
  EXPECT_TRUE(itemsSet().empty());
}

TEST_F(AdapterPageTest, InformationShowsTheRecordAndTheAppliedAddress) {
  auto r = singlePort();
  r.AdapterClass = wf::net::kClass7390;
  r.Features = 0x03;
  std::memcpy(r.Firmware, "ABCDEFGHIJKL", 12);  // no terminating zero
  std::memcpy(r.ModelId, "7390-0XX", 8);
  auto& page = makePage<PConAdIn>();
  showBase(page, r);
  page.SetDlgItemText(1065, "0000C04A10AB");  // typed, not applied
  std::vector<std::string> shown;
  dialogs_.on(2148, [&](CDialog& box) {
    for (int id : {1062, 1060, 1061, 1059, 1023, 1063}) shown.push_back(textOf(box, id).str());
    box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0);
  });
  click(page, 1039);
  EXPECT_EQ(shown, (std::vector<std::string>{"ABCDEFGHIJKL", "0000C04A1001", "7390-0XX", "Ethernet", "Yes", "No"}));

  shown.clear();
  r = parallelXle();
  r.Media = 1;
  std::memcpy(r.ModelId, "0123456789", 10);
  auto& xle = makePage<PConAdIn>();
  showBase(xle, r);
  dialogs_.on(2145, [&](CDialog& box) {
    for (int id : {1134, 1022, 1060, 1062, 1059, 1133}) shown.push_back(textOf(box, id).str());
    box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0);
  });
  click(xle, 1039);
  EXPECT_EQ(shown, (std::vector<std::string>{"0123456", "0000C04A1001", "0000C04A1001", "3.1.0", "Token-Ring", "PB-4"}));

  // An unknown class shows nothing.
  r.AdapterClass = 3;
  auto& unknown = makePage<PConAdIn>();
  showBase(unknown, r);
  click(unknown, 1039);
  EXPECT_EQ(dialogs_.runs(2145) + dialogs_.runs(2148), 2);
}

}  // namespace
}  // namespace wf::netui::testing
