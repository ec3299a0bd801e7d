// The Tidewater advanced settings page end to end: the helper process shows
// it over the real broker and the printer manager's Tidewater object; the
// printer on LPT2 is simulated here, so every variable read and PJL line is
// checked on its side.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child/prtgui_child.h"
#include "eventually.h"
#include "printer_fixture.h"
#include "sim/printer/port_server.h"
#include "test_dirs.h"

namespace sim = wf::sim;
using wf::testing::ControlView;
using wf::testing::PrtGuiChild;
using wf::testing::StoredAlert;
using Act = wf::testing::PrtGuiChild::Act;

namespace {

constexpr int kAdvancedView = 50166;
constexpr int kIdOk = 1, kIdCancel = 2;

class TidewaterPage : public wf::testing::PrinterHelperTest {
 protected:
  void SetUp() override {
    PrinterHelperTest::SetUp();
    // A code level that handles PPDS.
    ASSERT_NO_FATAL_FAILURE(
        startOn(2, "tidewater-pagecrest2", Family::Tidewater, [](sim::Profile& p) { p.revision = "310"; }));
  }

  // Opens the notebook on the advanced page: its index.
  int open() {
    const auto view = app->open(handle, kAdvancedView);
    EXPECT_TRUE(view.open);
    EXPECT_EQ(view.currentPage, view.pages - 1);
    return view.currentPage;
  }
  ControlView control(int id, Act act = Act::Read) { return app->control(handle, page, id, act); }

  // Low bytes of the settings variables (0x04NN) the printer was asked for, in order.
  std::vector<int> reads() const {
    std::vector<int> out;
    const std::string read("\xE7\x00\x04", 3);
    for (const auto& e : model->log()) {
      if (e.direction != sim::Direction::Received || e.kind != sim::LogKind::Packet) continue;
      const auto at = e.bytes.find(read);
      if (at != std::string::npos && at + 3 < e.bytes.size())
        out.push_back(static_cast<unsigned char>(e.bytes[at + 3]));
    }
    return out;
  }
  // The PJL lines the printer received, in order.
  std::vector<std::string> pjlLines() const { return model->pjlJobFirstLines(); }
  // Waits for `count` lines: a Set returns once its line is written, before the printer read it.
  std::vector<std::string> linesAfter(std::size_t before, std::size_t count) const {
    wf::testing::eventually([&] { return pjlLines().size() >= before + count; });
    const auto all = pjlLines();
    return {all.begin() + static_cast<long>(std::min(before, all.size())), all.end()};
  }

  int page = 0;
};

TEST_F(TidewaterPage, OpensOnTheAdvancedPageAndShowsThePrintersValues) {
  page = open();
  // Jam recovery, power saver, time-out, page protect, auto continue,
  // honour init, PPDS, US defaults, LF after CR, CR after LF.
  EXPECT_EQ(reads(), (std::vector<int>{0x1A, 0x19, 0x16, 0x17, 0x18, 0x1B, 0x22, 0x1E, 0x1C, 0x1D}));
  EXPECT_EQ(control(1030).text, "60");
  EXPECT_EQ(control(1029).text, "30");
  const int checks[] = {1031, 1032, 1033, 1034, 1035, 1036};
  std::vector<bool> shown;
  for (int id : checks) shown.push_back(control(id).checked);
  EXPECT_EQ(shown, (std::vector<bool>{true, true, true, false, true, true}));  // the profile is not US
  EXPECT_EQ(control(1042).text, "Enable &PPDS");
  EXPECT_TRUE(control(1042).enabled);
  EXPECT_FALSE(control(1037).enabled);
  EXPECT_EQ(app->tidewaterSettings(handle), (std::vector<int>{1, 60, 30, 1, 1, 1, 0, 0, 1, 1, 0}));
  EXPECT_TRUE(pjlLines().empty());
}

TEST_F(TidewaterPage, SetSendsTheChangedSettingsAndTheNotebookShowsThemAgain) {
  page = open();
  const std::size_t before = pjlLines().size();
  app->setText(handle, page, 1030, "45");
  EXPECT_TRUE(control(1032, Act::ToggleAndClick).enabled);
  EXPECT_TRUE(control(1037).enabled);
  EXPECT_FALSE(control(1037, Act::Click).enabled);
  EXPECT_EQ(linesAfter(before, 2),
            (std::vector<std::string>{"@PJL DEFAULT LPOWERSAVER=45", "@PJL DEFAULT AUTOCONT=0"}));
  EXPECT_TRUE(app->boxes().empty());

  app->close(handle);
  page = open();
  EXPECT_EQ(control(1030).text, "45");
  EXPECT_FALSE(control(1032).checked);
}

TEST_F(TidewaterPage, DefaultsSendSevenLinesAndTypedValuesOutOfRangeNone) {
  page = open();
  const std::size_t before = pjlLines().size();
  app->setText(handle, page, 1030, "121");
  control(1037, Act::Click);
  const auto boxes = app->boxes();
  ASSERT_EQ(boxes.size(), 1u);  // the range message
  EXPECT_EQ(app->tidewaterSettings(handle).at(1), 60);
  app->setText(handle, page, 1030, "60");

  control(1038, Act::Click);
  EXPECT_EQ(linesAfter(before, 7),
            (std::vector<std::string>{"@PJL DEFAULT LJAMRECOVERY=2", "@PJL DEFAULT LPOWERSAVER=15",
                                      "@PJL DEFAULT TIMEOUT=0", "@PJL DEFAULT PAGEPROTECT=0",
                                      "@PJL DEFAULT AUTOCONT=0", "@PJL DEFAULT LAUTOCRLF=0",
                                      "@PJL DEFAULT LAUTOLFCR=0"}));
  EXPECT_EQ(control(1030).text, "15");
  EXPECT_TRUE(control(1033).checked);   // honour init kept
  EXPECT_FALSE(control(1034).checked);  // US defaults kept
  EXPECT_TRUE(app->boxes().empty());
}

TEST_F(TidewaterPage, AFailingReadStopsTheReadingAndTheUSFlagComesOn) {
  auto knobs = model->knobs();
  knobs.failVariables = {0x0417};
  model->setKnobs(knobs);
  page = open();
  EXPECT_EQ(reads(), (std::vector<int>{0x1A, 0x19, 0x16, 0x17}));
  EXPECT_TRUE(control(1034).checked);
  EXPECT_EQ(app->tidewaterSettings(handle).at(7), 1);
}

// The presentation page, second before the advanced page.
TEST_F(TidewaterPage, ThePresentationPageSendsWhatChangedAndDefaultsWithoutTheMargins) {
  constexpr int kPresentationView = 50168;
  model->update([](sim::Profile& p) { p.omVars[0x040E] = "300"; });
  const auto view = app->open(handle, kPresentationView);
  ASSERT_TRUE(view.open);
  EXPECT_EQ(view.currentPage, view.pages - 2);
  page = view.currentPage;
  // US defaults, resolution, darkness, lines, top and left margin, orientation, PQET, toner saver.
  EXPECT_EQ(reads(), (std::vector<int>{0x1E, 0x0E, 0x0F, 0x10, 0x14, 0x15, 0x13, 0x12, 0x11}));
  EXPECT_EQ(control(1018).text, "64");
  EXPECT_EQ(control(1019).text, "-5");
  EXPECT_EQ(control(1020).text, "3");
  EXPECT_TRUE(control(1024).checked);
  const ControlView tonerSaver = control(1022);
  EXPECT_TRUE(tonerSaver.checked && tonerSaver.enabled);
  const ControlView pqet = control(1021);
  EXPECT_FALSE(pqet.checked || pqet.enabled) << "greyed while the toner saver is on";

  // 600 dpi: neither check is shown, and Set sends the resolution alone.
  std::size_t before = pjlLines().size();
  app->choose(handle, page, 1016, 1);
  EXPECT_FALSE(control(1022).checked || control(1022).enabled);
  EXPECT_FALSE(control(1021).enabled);
  EXPECT_FALSE(control(1025, Act::Click).enabled);
  EXPECT_EQ(linesAfter(before, 1), (std::vector<std::string>{"@PJL DEFAULT RESOLUTION=600"}));

  // A margin out of range is refused before anything is stored or sent.
  before = pjlLines().size();
  app->setText(handle, page, 1019, "-129");
  control(1025, Act::Click);
  EXPECT_EQ(app->boxes().size(), 1u);
  app->setText(handle, page, 1019, "-5");

  control(1026, Act::Click);
  EXPECT_EQ(linesAfter(before, 6),
            (std::vector<std::string>{"@PJL DEFAULT RESOLUTION=300", "@PJL DEFAULT DENSITY=3",
                                      "@PJL DEFAULT FORMLINES=60", "@PJL DEFAULT ORIENTATION=0",
                                      "@PJL DEFAULT ECONOMODE=0", "@PJL DEFAULT RET=1"}));
  EXPECT_EQ(control(1018).text, "60");
  EXPECT_EQ(control(1019).text, "-5");
  EXPECT_TRUE(control(1023).checked);
  EXPECT_TRUE(control(1021).checked && control(1021).enabled);
  EXPECT_TRUE(app->boxes().empty());
}

TEST_F(TidewaterPage, ActionsAndALockedPrinterObject) {
  page = open();
  std::size_t before = pjlLines().size();
  EXPECT_EQ(control(1042, Act::Click).text, "Disable &PPDS");
  EXPECT_EQ(control(1042, Act::Click).text, "Enable &PPDS");
  EXPECT_EQ(linesAfter(before, 2),
            (std::vector<std::string>{"@PJL DEFAULT LPPDS=1", "@PJL DEFAULT LPPDS=0"}));

  const auto commands = model->pjlCommands().size();
  control(1039, Act::Click);
  EXPECT_TRUE(wf::testing::eventually([&] { return model->pjlCommands().size() == commands + 1; }));

  // Changed values, then factory defaults: refused first, then confirmed.
  before = pjlLines().size();
  app->setText(handle, page, 1030, "90");
  control(1037, Act::Click);
  linesAfter(before, 1);
  app->confirm(kIdCancel);
  control(1041, Act::Click);
  EXPECT_EQ(model->pjlCommands().size(), commands + 1);
  app->confirm(kIdOk);
  control(1041, Act::Click);
  EXPECT_TRUE(wf::testing::eventually([&] {
    const auto all = model->pjlCommands();
    return all.size() == commands + 2 && all.back().find("INITIALIZE") != std::string::npos;
  }));
  EXPECT_EQ(control(1030).text, "60");  // the profile's value, read again
  EXPECT_EQ(app->tidewaterSettings(handle).back(), 0);

  // Without the printer object nothing is sent and the page says so.
  before = pjlLines().size();
  control(1035, Act::ToggleAndClick);
  app->lockObject(handle, true);
  control(1037, Act::Click);
  app->lockObject(handle, false);
  const auto boxes = app->boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Wrenfield Warning");
  EXPECT_EQ(boxes[0].text, "The printer did not take all of the settings.");
  EXPECT_EQ(pjlLines().size(), before);
  EXPECT_TRUE(control(1037).enabled);
}

TEST_F(TidewaterPage, TheFamilysInterventionIsDecodedWithItsHelp) {
  EXPECT_NE(app->use(handle) & 0x10, 0u) << "the family's interventions are monitored";
  // 6141 in the printer's intervention list (asked as 6).
  model->update(
      [](sim::Profile& p) { p.alertLists[6 - sim::kFirstAlertList] = {std::string("\x09\x01\xFF\x00", 4)}; });
  ASSERT_TRUE(server->raiseDeviceStatus(0x10));
  std::vector<StoredAlert> stored;
  EXPECT_TRUE(wf::testing::eventually([&] { return !(stored = app->alerts(handle)).empty(); }));
  EXPECT_EQ(stored,
            (std::vector<StoredAlert>{{6141, 5, 0, 1, "Printer needs attention: clear the paper path"}}));
  EXPECT_EQ(app->help(handle), 1935u);
}

// ---- The paper and font page ----

constexpr int kPaperFontView = 50167;
constexpr int kSources = 1003, kSizes = 1004, kTypes = 1005, kFonts = 1010, kSymbolSets = 1013;

class TidewaterPaperFont : public TidewaterPage {
 protected:
  // Opens the notebook on the paper and font page: its index.
  int openPaperFont() {
    const auto view = app->open(handle, kPaperFontView);
    EXPECT_TRUE(view.open);
    EXPECT_EQ(view.currentPage, view.pages - 3);  // the first of the three settings pages
    return view.currentPage;
  }
  wf::testing::ListView list(int id, int choice = -1) { return app->choose(handle, page, id, choice); }
};

TEST_F(TidewaterPaperFont, ShowsThePrintersPaperAndFont) {
  // Tray 1 with DL envelopes on labels; Coronet, a font without the eastern sets, with Pi Font.
  model->update([](sim::Profile& p) {
    p.omVars[0x0400] = "3";
    p.omVars[0x0401] = "88";
    p.omVars[0x0405] = "4";
    p.omVars[0x040A] = "11";
    p.omVars[0x040D] = "15U";
  });
  page = openPaperFont();
  // US defaults, source, the four sources' sizes with the types of sources
  // 1 and 3, tray linking, copies, font, pitch, point size, symbol set.
  EXPECT_EQ(reads(), (std::vector<int>{0x1E, 0x00, 0x03, 0x07, 0x04, 0x01, 0x05, 0x02, 0x08, 0x09, 0x0A, 0x0C,
                                       0x0B, 0x0D}));
  const auto sources = list(kSources);
  EXPECT_EQ(sources.items, (std::vector<std::string>{"Manual paper", "Manual envelope", "Tray 1", "Tray 2"}));
  EXPECT_EQ(sources.selected, 2);
  const auto sizes = list(kSizes);
  EXPECT_EQ(sizes.items.size(), 12u);
  EXPECT_EQ(sizes.selected, 8);
  EXPECT_EQ(sizes.shown(), "DL envelope");
  EXPECT_EQ(list(kTypes).shown(), "Labels");
  EXPECT_EQ(list(kFonts).shown(), "Coronet");
  const auto sets = list(kSymbolSets);
  EXPECT_EQ(sets.items.size(), 26u);
  EXPECT_EQ(sets.selected, 25);
  EXPECT_EQ(sets.shown(), "Pi Font");
  EXPECT_EQ(control(1008).text, "2");
  EXPECT_EQ(control(1052).text, "14");
  EXPECT_TRUE(control(1052).enabled);
  EXPECT_FALSE(control(1053).enabled);
  EXPECT_TRUE(control(1006).checked);
  EXPECT_TRUE(control(1006).enabled);
  EXPECT_FALSE(control(2014).enabled);
  EXPECT_TRUE(pjlLines().empty());
}

TEST_F(TidewaterPaperFont, TheSymbolFontSendsItsOneSetAndAnEnvelopeSourceItsSizes) {
  page = openPaperFont();
  const std::size_t before = pjlLines().size();
  list(kFonts, 25);
  const auto sets = list(kSymbolSets);
  EXPECT_EQ(sets.items, (std::vector<std::string>{"Wingdings"}));
  EXPECT_EQ(sets.selected, 0);
  EXPECT_TRUE(control(2014).enabled);
  EXPECT_FALSE(control(2014, Act::Click).enabled);
  EXPECT_EQ(linesAfter(before, 2), (std::vector<std::string>{"@PJL DEFAULT LPARM : PCL FONTNUMBER=25",
                                                             "@PJL DEFAULT LPARM : PCL SYMSET = 579L"}));
  EXPECT_TRUE(app->boxes().empty());

  const auto sizes = list(kSources, 1);
  EXPECT_EQ(sizes.selected, 1);
  const auto envelopes = list(kSizes);
  EXPECT_EQ(envelopes.items, (std::vector<std::string>{"Monarch envelope", "Com-10 envelope", "DL envelope",
                                                       "C5 envelope", "B5 envelope", "Other envelope"}));
  EXPECT_EQ(envelopes.shown(), "C5 envelope");  // the profile's 128
  EXPECT_FALSE(list(kTypes).enabled);
}

TEST_F(TidewaterPaperFont, DefaultsSendTheUSValues) {
  model->update([](sim::Profile& p) { p.omVars[0x041E] = "1"; });
  page = openPaperFont();
  const std::size_t before = pjlLines().size();
  control(1015, Act::Click);
  EXPECT_EQ(linesAfter(before, 13),
            (std::vector<std::string>{
                "@PJL DEFAULT LPAPERSOURCE=3", "@PJL DEFAULT LTRAY1SIZE=1", "@PJL DEFAULT LTRAY2SIZE=1",
                "@PJL DEFAULT LMANUALPAPERSIZE=1", "@PJL DEFAULT LMANUALENVELOPESIZE=130",
                "@PJL DEFAULT LTRAY1PAPERTYPE=0", "@PJL DEFAULT LMANUALPAPERTYPE=0",
                "@PJL DEFAULT LTRAYLINKING=0", "@PJL DEFAULT COPIES=1",
                "@PJL DEFAULT LPARM : PCL FONTNUMBER=0", "@PJL DEFAULT LPARM : PCL PITCH=10",
                "@PJL DEFAULT LPARM : PCL PTSIZE=12", "@PJL DEFAULT LPARM : PCL SYMSET = 8U"}));
  EXPECT_EQ(list(kSources).shown(), "Tray 1");
  EXPECT_EQ(list(kSizes).shown(), "Letter");
  EXPECT_EQ(list(kFonts).shown(), "Courier");
  EXPECT_EQ(list(kSymbolSets).shown(), "Roman-8");
  EXPECT_TRUE(control(1053).enabled);
  EXPECT_FALSE(control(1052).enabled);
  EXPECT_TRUE(app->boxes().empty());
}

TEST_F(TidewaterPaperFont, AFontTheFamilyLacksStopsTheReadingAtCourier) {
  model->update([](sim::Profile& p) { p.omVars[0x040A] = "26"; });
  page = openPaperFont();
  const auto asked = reads();
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked.back(), 0x0A);  // neither pitch, point size nor symbol set asked
  EXPECT_EQ(list(kFonts).shown(), "Courier");
  EXPECT_TRUE(control(1053).enabled);
  // The symbol set stays the cache's own, which Courier's list holds.
  EXPECT_EQ(list(kSymbolSets).shown(), "Roman-8");
  EXPECT_FALSE(control(2014).enabled);
}

TEST_F(TidewaterPaperFont, AfterFactoryDefaultsThePageShowsTheProfilesValuesInListsThatFit) {
  page = openPaperFont();
  std::size_t before = pjlLines().size();
  list(kFonts, 25);
  control(2014, Act::Click);
  linesAfter(before, 2);
  ASSERT_EQ(list(kSymbolSets).items.size(), 1u);

  const int paperFont = page;
  page = app->notebook(handle).pages - 1;
  app->confirm(kIdOk);
  const auto commands = model->pjlCommands().size();
  control(1041, Act::Click);
  EXPECT_TRUE(wf::testing::eventually([&] {
    const auto all = model->pjlCommands();
    return all.size() == commands + 1 && all.back().find("INITIALIZE") != std::string::npos;
  }));
  page = paperFont;
  EXPECT_TRUE(wf::testing::eventually([&] { return list(kFonts).shown() == "CG Times"; }));
  const auto sets = list(kSymbolSets);
  EXPECT_EQ(sets.items.size(), 32u);
  EXPECT_EQ(sets.shown(), "PC-8 Code Page 437");
  EXPECT_EQ(list(kSources).shown(), "Tray 2");
  EXPECT_EQ(list(kSizes).shown(), "A4 (ISO)");
  EXPECT_FALSE(control(2014).enabled);
}

}  // namespace
