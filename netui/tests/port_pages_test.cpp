// The port pages: timeout and print mode, NPAP, the serial lists, what each
// disables, and what their Apply sends.
#include "adapter_fixture.h"
#include "port_pages.h"

namespace wf::netui::testing {
namespace {

wf::net::NETADAPTERPARMS serialPort(uint8_t cls) {
  auto r = parallelXle();
  r.AdapterClass = cls;
  r.PortType = wf::net::kPortTypeSerial;
  r.NpapMode = 0x04;
  r.SerialVar5 = 0x0F10;
  r.SerialVar6 = 0x0100;
  r.SerialVar7 = 0xE0;
  r.SerialVar8 = 0x80;
  r.SerialVar9 = 0xF0;
  r.SerialVar10 = 0x10;
  r.SerialVar11 = 0xE0;
  r.SerialVar12 = 0x80;
  r.SerialVar13 = 0xC0;
  r.SerialVar14 = 0x80;
  r.SerialVar3 = 600;
  r.SerialVar4 = 60;
  return r;
}

class PortPagesTest : public AdapterFixture {
 protected:
  template <class Page>
  Page& showPort(const wf::net::NETADAPTERPARMS& r, uint8_t supervisor = 1) {
    fakebce::reset();
    auto& page = makePage<Page>();
    page.SetAdapterValues(r, kPrinter, kIpx);
    answerSupervisor(supervisor);
    show(page);
    fakebce::setNets(0);
    return page;
  }
  // Each 2144 shown, by the maximum in its field.
  void recordMaxTimeouts() {
    dialogs_.on(2144, [this](CDialog& box) {
      maxima_.push_back(textOf(box, 1016).str());
      box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0);
    });
  }
  std::vector<std::string> maxima_;
};

TEST_F(PortPagesTest, ATimeoutAboveTheMaximumShowsItAndTheFieldTakesIt) {
  recordMaxTimeouts();
  auto r = parallelXle();
  r.AdapterClass = wf::net::kClass7390;
  r.Control = 0x15;
  auto& page = showPort<PConAdP4>(r);
  EXPECT_EQ(textOf(page, 1058).str(), "60");
  page.SetDlgItemText(1058, "600");
  EXPECT_TRUE(maxima_.empty());
  page.SetDlgItemText(1058, "601");
  EXPECT_EQ(maxima_, std::vector<std::string>{"600"});
  EXPECT_EQ(textOf(page, 1058).str(), "600");
  EXPECT_EQ(page.m_nTimeout, 600);

  // The whole number counts: 65,537 is no 1.
  EXPECT_FALSE(CheckTimeout(65537, 600, nullptr));
  EXPECT_TRUE(CheckTimeout(600, 600, nullptr));
  EXPECT_FALSE(CheckTimeout(1, 0, nullptr));
  EXPECT_EQ(maxima_, (std::vector<std::string>{"600", "600", "0"}));
}

TEST_F(PortPagesTest, ApplyRefusesATimeoutAboveTheMaximumAndSendsNothing) {
  recordMaxTimeouts();
  auto r = parallelXle();
  r.AdapterClass = wf::net::kClass7390;
  r.Control = 0x15;
  r.ParallelVar3 = 30;  // the adapter holds a timeout above its own maximum
  auto& page = showPort<PConAdP4>(r);
  dialogs_.on(2204, press(IDOK));
  page.SetDlgItemText(1065, "0000C04A10AB");
  click(page, IDOK);
  EXPECT_EQ(maxima_, std::vector<std::string>{"30"});
  EXPECT_EQ(dialogs_.runs(2204), 0);
  EXPECT_TRUE(itemsSet().empty());
  EXPECT_EQ(page.m_record.Address[5], 0x01);
  EXPECT_EQ(page.m_strAppliedAddress.str(), "0000C04A1001");
}

TEST_F(PortPagesTest, PrintModesListTheSupportedBitsAndSelectTheCurrentOne) {
  const struct {
    uint8_t supported, current;
    std::vector<std::string> listed;
    std::string selected;
  } cases[] = {
      {0xE0, 0x80, {"Standard", "Enhanced", "Swiftpak"}, "Standard"},
      {0xC0, 0x20, {"Standard", "Enhanced"}, ""},
      {0x60, 0x40, {"Enhanced", "Swiftpak"}, "Enhanced"},
      {0xE0, 0xC0, {"Standard", "Enhanced", "Swiftpak"}, ""},
      {0x1F, 0x01, {}, ""},
  };
  for (const auto& c : cases) {
    auto r = parallelXle();
    r.ParallelVar5 = c.supported;
    r.ParallelVar6 = c.current;
    auto& page = showPort<PConAdPR>(r);
    EXPECT_EQ(listTexts(page, 1018), c.listed) << int(c.supported);
    EXPECT_EQ(selectedText(page, 1018), c.selected) << int(c.current);
  }
}

TEST_F(PortPagesTest, TheMultiPortParallelApplySendsTimeoutModeAndNpapAfterThePassword) {
  auto r = parallelXle();
  r.NpapMode = 0x82;
  auto& page = showPort<PConAdPR>(r);
  EXPECT_EQ(page.IsDlgButtonChecked(1023), UINT(BST_CHECKED));
  EXPECT_EQ(textOf(page, 1019).str(), "Yes");
  EXPECT_TRUE(enabled(page, 1015));

  page.SetDlgItemText(1058, "120");
  choose(page, 1018, 1);  // Enhanced
  answerPassword("PBPASS", r);
  dialogs_.on(2163, [](CDialog& box) {
    box.SetDlgItemText(1076, "PBPASS");
    box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0);
  });
  fakebce::pushSetNetInfo(kPrinter, kIpx, 129, netAnswer(0));
  click(page, IDOK);
  EXPECT_EQ(dialogs_.runs(2163), 1);
  ASSERT_EQ(itemsSet(), std::vector<uint32_t>{129});
  const auto sent = lastRecordSent();
  EXPECT_EQ(sent.Control, 0x40);
  EXPECT_EQ(sent.ParallelVar4, 120);
  EXPECT_EQ(sent.ParallelVar6, 0x40);
  EXPECT_EQ(sent.NpapMode, 0x02) << "the active bit is not written back";
  EXPECT_EQ(page.m_record.Control, 0x17);
  EXPECT_FALSE(enabled(page, IDOK));

  // A second Apply on the same adapter asks no password.
  page.SetDlgItemText(1058, "121");
  click(page, IDOK);
  EXPECT_EQ(dialogs_.runs(2163), 1);
  EXPECT_EQ(itemsSet().size(), 2u);
}

TEST_F(PortPagesTest, NpapChoicesFollowTheModeBits) {
  const struct {
    uint8_t mode;
    int choice;
    const char* active;
  } cases[] = {{0x82, 0, "Yes"}, {0x06, 0, "No"}, {0x04, 1, "No"}, {0x81, 2, "Yes"}, {0x80, -1, "Yes"}, {0x00, -1, "No"}};
  for (const auto& c : cases) {
    auto r = parallelXle();
    r.NpapMode = c.mode;
    PConAdPR page;
    page.SetAdapterValues(r, kPrinter, kIpx);
    EXPECT_EQ(page.m_nNpap, c.choice) << int(c.mode);
    EXPECT_EQ(page.m_strNpapActive.str(), c.active) << int(c.mode);
  }
}

TEST_F(PortPagesTest, WithoutPasswordProtectionSetPasswordIsDisabledAndApplyAsksNothing) {
  auto r = parallelXle();
  r.Control = 0x15;
  auto& page = showPort<PConAdPR>(r);
  EXPECT_FALSE(enabled(page, 1015));
  fakebce::pushSetNetInfo(kPrinter, kIpx, 129, netAnswer(0));
  click(page, 1025);  // Off
  EXPECT_TRUE(enabled(page, IDOK));
  click(page, IDOK);
  EXPECT_EQ(dialogs_.runs(2163), 0);
  EXPECT_EQ(lastRecordSent().NpapMode, 0x01);
}

TEST_F(PortPagesTest, WithoutRightsEveryPortControlAndApplyAreDisabled) {
  const auto pb = parallelXle();
  auto& pr = showPort<PConAdPR>(pb, 0);
  for (int id : {1065, 1058, 1018, 1023, 1024, 1025, 1019, 1015, 1038, 1040, IDOK, IDCANCEL})
    EXPECT_FALSE(enabled(pr, id)) << id;
  EXPECT_TRUE(enabled(pr, 1039));
  EXPECT_TRUE(enabled(pr, 1028));

  auto x = serialPort(wf::net::kClass7390);
  auto& s4 = showPort<PConAdS4>(x, 0);
  for (int id : {1065, 1058, 1055, 1020, 1021, 1022, 1056, 1057, 1040, IDOK, IDCANCEL})
    EXPECT_FALSE(enabled(s4, id)) << id;
  click(s4, IDOK);  // disabled: nothing happens
  EXPECT_TRUE(itemsSet().empty());

  auto& sr = showPort<PConAdSR>(serialPort(wf::net::kClassMultiPortSerial), 0);
  for (int id : {1246, 1247, 1055, 1056, 1015}) EXPECT_FALSE(enabled(sr, id)) << id;
}

TEST_F(PortPagesTest, SerialListsOfferTheSupportedValuesHighestFirst) {
  auto r = serialPort(wf::net::kClass7390);
  r.SerialVar13 = 0x40;
  r.SerialVar14 = 0x40;
  r.SerialVar10 = 0x30;  // two bits: no selection
  auto& page = showPort<PConAdS4>(r);
  EXPECT_EQ(listTexts(page, 1055), (std::vector<std::string>{"1,200", "2,400", "4,800", "9,600", "115,200"}));
  EXPECT_EQ(selectedText(page, 1055), "9,600");
  EXPECT_EQ(listTexts(page, 1021), (std::vector<std::string>{"None", "Odd", "Even"}));
  EXPECT_EQ(listTexts(page, 1020), (std::vector<std::string>{"5", "6", "7", "8"}));
  EXPECT_EQ(selectedText(page, 1020), "");
  EXPECT_EQ(listTexts(page, 1022), (std::vector<std::string>{"1", "1.5", "2"}));
  EXPECT_FALSE(enabled(page, 1056));
  EXPECT_TRUE(enabled(page, 1057));
  EXPECT_EQ(page.IsDlgButtonChecked(1057), UINT(BST_CHECKED));
  EXPECT_EQ(page.GetDlgItem(1018), nullptr);
  EXPECT_EQ(page.GetDlgItem(1038), nullptr) << "the 7390 pages have no flash button";

  choose(page, 1055, 4);
  choose(page, 1021, 2);
  fakebce::pushSetNetInfo(kPrinter, kIpx, 129, netAnswer(0));
  click(page, IDOK);
  const auto sent = lastRecordSent();
  EXPECT_EQ(sent.SerialVar6, 0x0010);
  EXPECT_EQ(sent.SerialVar8, 0x20);
  EXPECT_EQ(sent.SerialVar10, 0x30) << "no selection leaves the field";
  EXPECT_EQ(sent.SerialVar14, 0x40);
  EXPECT_EQ(sent.SerialVar4, 60);
  EXPECT_EQ(sent.Control, 0x40);

  // Another selection, then Cancel: the applied values come back.
  choose(page, 1055, 0);
  click(page, IDCANCEL);
  EXPECT_EQ(selectedText(page, 1055), "115,200");
}

TEST_F(PortPagesTest, TheMultiPortSerialNpapLeavesAutoAloneUntilChosen) {
  auto& page = showPort<PConAdSR>(serialPort(wf::net::kClassMultiPortSerial));
  EXPECT_EQ(page.IsDlgButtonChecked(1246), UINT(BST_UNCHECKED));
  EXPECT_EQ(page.IsDlgButtonChecked(1247), UINT(BST_UNCHECKED));
  answerPassword("", page.m_record);
  fakebce::pushSetNetInfo(kPrinter, kIpx, 129, netAnswer(0));
  page.SetDlgItemText(1058, "90");
  click(page, IDOK);
  EXPECT_EQ(lastRecordSent().NpapMode, 0x04);
  EXPECT_EQ(lastRecordSent().SerialVar4, 90);
  click(page, 1246);
  click(page, IDOK);
  EXPECT_EQ(lastRecordSent().NpapMode, 0x02);
}

TEST_F(PortPagesTest, ARefusedApplyThenCancelShowsWhatTheAdapterHas) {
  auto& page = showPort<PConAdPR>(parallelXle());
  forgetVerifiedAdapters();
  answerPassword("PBPASS", page.m_record);
  dialogs_.on(2163, press(IDCANCEL));
  page.SetDlgItemText(1058, "300");
  choose(page, 1018, 2);
  click(page, 1025);
  click(page, IDOK);
  EXPECT_TRUE(itemsSet().empty());
  EXPECT_EQ(page.m_record.ParallelVar4, 60);
  EXPECT_EQ(page.m_record.ParallelVar6, 0x80);
  EXPECT_EQ(page.m_record.NpapMode, 0x02);
  click(page, IDCANCEL);
  EXPECT_EQ(textOf(page, 1058).str(), "60");
  EXPECT_EQ(selectedText(page, 1018), "Standard");
  EXPECT_EQ(page.IsDlgButtonChecked(1023), UINT(BST_CHECKED));
}

}  // namespace
}  // namespace wf::netui::testing
