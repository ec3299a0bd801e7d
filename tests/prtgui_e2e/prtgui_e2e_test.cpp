// The printer modules end to end: a helper process runs the printer list,
// the printer manager and the icons over the real broker; the demo
// scenario's printers are simulated here.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../e2e/child/e2e_child.h"
#include "child/prtgui_child.h"
#include "eventually.h"
#include "hex_bytes.h"
#include "other_app_job.h"
#include "platform/clock.h"
#include "platform/runtime_dir.h"
#include "printer_fixture.h"
#include "sim/printer/port_server.h"
#include "tag_items.h"
#include "test_dirs.h"

using wf::testing::DownloadRun;
using wf::testing::GraphicInfo;
using wf::testing::MessageBoxShown;
using wf::testing::NotebookView;
using wf::testing::PrinterPicture;
using wf::testing::PrtGuiChild;
using wf::testing::QuickSetupRun;
using wf::testing::StoredAlert;
using wf::testing::TestPageDone;
using Icon = wf::testing::PrinterIconView;
namespace sim = wf::sim;
namespace fs = std::filesystem;

namespace {

// Several printers served here, beside the fixture's one.
class PrtGuiEndToEnd : public wf::testing::PrinterHelperTest {
 protected:
  void TearDown() override {
    PrinterHelperTest::TearDown();
    for (auto& s : servers) s.reset();
  }

  void serve(int port, const std::string& profileName, const std::string& model = {}) {
    auto profile = sim::loadProfile(fs::path(WF_SIM_PROFILE_DIR) / (profileName + ".profile"));
    ASSERT_TRUE(profile) << profileName;
    if (!model.empty()) profile->model = model;
    modelNames[port] = profile->model;
    models[port] = std::make_shared<sim::PrinterModel>(std::move(*profile));
    servers[port] = sim::PortServer::start(port, models[port]);
    ASSERT_TRUE(servers[port]) << port;
  }
  void serveDemo() {
    const char* profiles[] = {"meridian-vireo10", "tidewater-pagecrest2", "keystone-vireo-n17",
                              "halcyon-chroma", "generic-7301"};
    for (int port = 1; port <= 4; ++port) serve(port, profiles[port - 1]);
    serve(5, profiles[4], "Corvane 7301 Vx20");
  }
  void start() {
    app = std::make_unique<PrtGuiChild>();
    app->start();
  }
  std::vector<Icon> icons() { return app->icons(); }
  // One simulated printer with `profileName` on LPT1, enumerated: its handle, 0 when missing.
  std::uint16_t onePrinterOnLpt1(const std::string& profileName) {
    serve(1, profileName);
    start();
    app->enumerate();
    const auto listed = icons();
    EXPECT_EQ(listed.size(), 1u);
    return listed.size() == 1 ? listed[0].handle : 0;
  }
  // The same with its notebook opened on `view`: the page shown, -1 when it did not open.
  int notebookOnLpt1(const std::string& profileName, int view, std::uint16_t& handle) {
    handle = onePrinterOnLpt1(profileName);
    const NotebookView opened = handle ? app->open(handle, view) : NotebookView{};
    EXPECT_TRUE(opened.open) << profileName;
    return opened.open ? opened.currentPage : -1;
  }
  std::string modelOf(int port) { return modelNames[port]; }

  std::map<int, std::string> modelNames;
  std::shared_ptr<sim::PrinterModel> models[10];
  std::unique_ptr<sim::PortServer> servers[10];
};

TEST_F(PrtGuiEndToEnd, EnumerationMakesIconsThenRefreshesThem) {
  serveDemo();
  start();
  EXPECT_EQ(app->enumerate(), 5);
  const auto first = icons();
  ASSERT_EQ(first.size(), 5u);
  for (const Icon& icon : first) {
    SCOPED_TRACE(icon.port);
    ASSERT_EQ(icon.port.size(), 5u);
    const int port = icon.port[3] - '0';
    EXPECT_EQ(icon.port, "LPT" + std::to_string(port) + ":");
    EXPECT_EQ(icon.name, modelOf(port));
    EXPECT_FALSE(icon.ghost);
    // The generic family builds a model text for the maker's own printers only.
    EXPECT_EQ(icon.model, port == 5 ? "Corvane 7301 Vx20" : "");
  }
  // Again: every printer is known, refreshed in place, none is new.
  EXPECT_EQ(app->enumerate(), 5);
  const auto second = icons();
  ASSERT_EQ(second.size(), 5u);
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(second[i].handle, first[i].handle);
}

TEST_F(PrtGuiEndToEnd, MeridianInterventionsAreDecodedAndClearedByTheirList) {
  serve(1, "meridian-vireo10", "Corvane Vireo 10");
  start();
  app->meridian();
  ASSERT_EQ(app->enumerate(), 1);
  const std::uint16_t handle = icons().at(0).handle;
  EXPECT_NE(app->use(handle) & 0x10, 0u) << "the family's interventions are monitored";
  EXPECT_NE(models[1]->enabledAlerts() & 0x10, 0u) << "the printer captured them";

  // Two family interventions in the printer's intervention list (asked as 6).
  const auto list = [&](std::vector<std::string> records) {
    models[1]->update([&](sim::Profile& p) { p.alertLists[6 - sim::kFirstAlertList] = records; });
  };
  const std::string shortPaper("\x01\x01\xFF\x00", 4), wrongToner("\x08\x01\xFF\x00", 4);
  list({shortPaper, wrongToner});
  ASSERT_TRUE(servers[1]->raiseDeviceStatus(0x10));
  std::vector<StoredAlert> stored;
  auto alerts = [&] { return stored = app->alerts(handle); };
  EXPECT_TRUE(wf::testing::eventually([&] { return alerts().size() == 2; }));
  EXPECT_EQ(stored, (std::vector<StoredAlert>{{6174, 5, 0, 1, "Wrong Toner Cartridge Installed"},
                                              {6137, 5, 0, 1, "Short Paper Error"}}));
  using Sounds = std::vector<std::string>;
  Sounds sounds;
  auto played = [&] { return sounds = app->sounds(); };
  EXPECT_TRUE(wf::testing::eventually([&] { return played().size() >= 2; }));
  EXPECT_EQ(sounds, (Sounds{"shortpaper.wav", "wrongtoner.wav"}));
  EXPECT_EQ(app->help(handle), 1939u);

  // The list cut to the first: the other one clears.
  list({shortPaper});
  ASSERT_TRUE(servers[1]->raiseDeviceStatus(0x10));
  EXPECT_TRUE(wf::testing::eventually([&] { return alerts().size() == 1; }));
  EXPECT_EQ(stored, (std::vector<StoredAlert>{{6137, 5, 0, 1, "Short Paper Error"}}));
  EXPECT_EQ(app->help(handle), 1927u);

  // Everything cleared: the all-clear sound follows.
  list({});
  ASSERT_TRUE(servers[1]->raiseDeviceStatus(0));
  EXPECT_TRUE(wf::testing::eventually([&] { return alerts().empty(); }));
  EXPECT_TRUE(
      wf::testing::eventually([&] { return played().size() >= 3 && sounds.back() == "allclear.wav"; }));
}

TEST_F(PrtGuiEndToEnd, AJamReachesTheIconAndItsClearingRemovesIt) {
  serve(1, "generic-7301", "Corvane 7301 Vx20");
  start();
  ASSERT_EQ(app->enumerate(), 1);
  const std::uint16_t handle = icons().at(0).handle;
  EXPECT_EQ(app->use(handle), 0x1FFu);
  EXPECT_EQ(models[1]->enabledAlerts() & 0x1FF, 0x1FFu) << "the printer captured every class";

  // A jam in the printer's paper-jam list (the list the host asks as 5).
  models[1]->update(
      [](sim::Profile& p) { p.alertLists[5 - sim::kFirstAlertList] = {std::string("\x01\xFF\x01\x00", 4)}; });
  ASSERT_TRUE(servers[1]->raiseDeviceStatus(0x4));
  std::vector<StoredAlert> stored;
  auto alerts = [&] { return stored = app->alerts(handle); };
  EXPECT_TRUE(wf::testing::eventually([&] { return !alerts().empty(); }));
  EXPECT_EQ(stored, (std::vector<StoredAlert>{{6104, 3, 0, 1, "Paper Jam"}}));
  // The jam's sound event is 21.
  using Sounds = std::vector<std::string>;
  Sounds sounds;
  auto played = [&] { return sounds = app->sounds(); };
  EXPECT_TRUE(wf::testing::eventually([&] { return !played().empty(); }));
  EXPECT_EQ(sounds, Sounds{"jam.wav"});

  models[1]->update([](sim::Profile& p) { p.alertLists[5 - sim::kFirstAlertList].clear(); });
  ASSERT_TRUE(servers[1]->raiseDeviceStatus(0));
  EXPECT_TRUE(wf::testing::eventually([&] { return alerts().empty(); }));
  EXPECT_EQ(stored, std::vector<StoredAlert>{});
  // Nothing active is left: the all-clear (event 8) follows, held back to
  // three seconds after the jam's sound.
  EXPECT_TRUE(wf::testing::eventually([&] { return played() != Sounds{"jam.wav"}; }));
  EXPECT_EQ(sounds, (Sounds{"jam.wav", "allclear.wav"}));

  // With the panel class on, the printer's panel alert reaches the panel path.
  EXPECT_EQ(app->panel(handle, true), 0x1FFu | 0x10000u);
  ASSERT_TRUE(servers[1]->raisePanelAlert());
  // Handled as the panel alert's message (1527) with its answer.
  std::vector<std::string> handled;
  auto handledAs = [&](const std::string& prefix) {
    return std::any_of(handled.begin(), handled.end(),
                       [&](const std::string& h) { return h.starts_with(prefix); });
  };
  EXPECT_TRUE(wf::testing::eventually([&] {
    handled = app->handled();
    return handledAs("1527 ");
  }));
  EXPECT_TRUE(handledAs("1527 4")) << ::testing::PrintToString(handled);

  EXPECT_EQ(app->unuse(handle), 0u);
  EXPECT_EQ(models[1]->enabledAlerts() & 0x1FF, 0u) << "released";
}

TEST_F(PrtGuiEndToEnd, SavedPrintersAreFoundOrStayAsGhostsUntilServed) {
  serve(5, "generic-7301");
  start();
  app->saved("LPT5:", false);
  auto listed = icons();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].port, "LPT5:");
  EXPECT_EQ(listed[0].name, "Saved LPT5:");  // the user's name from the record
  EXPECT_FALSE(listed[0].ghost);

  app->saved("LPT7:", false);
  EXPECT_EQ(icons().size(), 1u) << "no ghost with the setting off";
  app->saved("LPT7:", true);
  listed = icons();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_TRUE(listed[1].ghost);
  EXPECT_EQ(listed[1].name, "Saved LPT7:");

  serve(7, "meridian-vireo10");
  app->enumerate();
  listed = icons();
  ASSERT_EQ(listed.size(), 2u);
  for (const Icon& icon : listed) EXPECT_FALSE(icon.ghost) << icon.name;
  EXPECT_EQ(listed[1].port, "LPT7:");
  EXPECT_EQ(listed[1].name, "Saved LPT7:") << "the ghost's user name goes over";
}

TEST_F(PrtGuiEndToEnd, TheTestPageReachesThePrinter) {
  serve(1, "generic-7301");
  start();
  app->enumerate();
  const auto listed = icons();
  ASSERT_EQ(listed.size(), 1u);
  const fs::path dir = wf::testing::testDataRoot() / "program";
  fs::create_directories(dir);
  std::string page;
  for (int i = 0; i < 5000; ++i) page += static_cast<char>('A' + i % 26);
  std::ofstream(dir / "VERIFY.TXT") << page;
  EXPECT_EQ(app->testPage(listed[0].handle, dir.string()), (TestPageDone{true, 1, true}));
  bool found = false;
  for (const auto& job : models[1]->printJobs()) found |= job == page.substr(0, 4096) + "\f";
  EXPECT_TRUE(found) << "jobs: " << models[1]->printJobs().size();

  fs::remove(dir / "VERIFY.TXT");
  EXPECT_EQ(app->testPage(listed[0].handle, dir.string()), (TestPageDone{true, 0, true}));
}

TEST_F(PrtGuiEndToEnd, BadRepliesWhileIconsAreBuiltLeaveDefaultTexts) {
  struct Case {
    const char* what;
    std::function<void(sim::Knobs&)> knob;
  } cases[] = {
      {"silent", [](sim::Knobs& k) { k.silent = true; }},
      {"cut", [](sim::Knobs& k) { k.replyCut = 1; }},
      {"noise", [](sim::Knobs& k) { k.noise = std::string("\x01\xA5\x00garbage", 10); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    serve(1, "generic-7301");
    sim::Knobs knobs = models[1]->knobs();
    c.knob(knobs);
    models[1]->setKnobs(knobs);
    start();
    EXPECT_EQ(app->enumerate(), 1);
    const auto listed = icons();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].port, "LPT1:");
    EXPECT_EQ(listed[0].name, "Printer");  // no model came: the default name
    EXPECT_EQ(listed[0].model, "");
    app->quit();
    app->process().waitExit();
    app.reset();
    servers[1].reset();
  }
}

// The requests the printer received since `from`, as "command sub-code".
std::vector<std::string> requestsSince(const sim::PrinterModel& model, std::size_t from, std::size_t* end) {
  std::vector<std::string> out;
  const auto log = model.log();
  for (std::size_t i = from; i < log.size(); ++i) {
    const auto& e = log[i];
    if (e.direction != sim::Direction::Received || e.kind != sim::LogKind::Packet || e.bytes.size() < 6)
      continue;
    char key[16];
    std::snprintf(key, sizeof key, "%02X %02X", static_cast<unsigned char>(e.bytes[4]),
                  static_cast<unsigned char>(e.bytes[5]));
    out.push_back(key);
  }
  *end = log.size();
  return out;
}

TEST_F(PrtGuiEndToEnd, TheFillWorkerAsksForEachMissingRecordOnce) {
  serve(1, "generic-7301");
  start();
  app->enumerate();
  const auto listed = icons();
  ASSERT_EQ(listed.size(), 1u);
  std::size_t mark = 0;
  requestsSince(*models[1], 0, &mark);
  // Values of the profile: serial, speed, memory in KB, flash and disk sizes
  // as its storage texts give them, trays 1 and 2, tray 1's size code, code
  // levels, page counts.
  EXPECT_EQ(app->graphic(listed[0].handle),
            (GraphicInfo{"GN0000042", 8, 2048, 4096, 512000, 250, 500, 2, 1, 12345, 321}));
  auto asked = requestsSince(*models[1], mark, &mark);
  for (const char* request : {"01 02", "01 03", "01 04", "04 0B"})
    EXPECT_EQ(std::count(asked.begin(), asked.end(), request), 1) << request;
  EXPECT_LE(std::count(asked.begin(), asked.end(), "01 00"), 1);  // the summary may be cached

  // A second run asks only for the page counts and the panel lock.
  app->graphic(listed[0].handle);
  asked = requestsSince(*models[1], mark, &mark);
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_EQ(std::count(asked.begin(), asked.end(), "04 0B"), 1);

  // The host page-count reset reaches the printer and the user count reads 0.
  EXPECT_EQ(app->pageCounts(listed[0].handle, true), 0u);
  asked = requestsSince(*models[1], mark, &mark);
  EXPECT_EQ(std::count(asked.begin(), asked.end(), "03 06"), 1);
  EXPECT_EQ(models[1]->hostPageCountResets(), 1);
}

TEST_F(PrtGuiEndToEnd, ThePrinterPictureFollowsTheOptionsAndTheFirstHardError) {
  using Piece = PrinterPicture::Piece;
  serve(1, "generic-7301-tray500");
  serve(2, "generic-7301-trays");
  start();
  ASSERT_EQ(app->enumerate(), 2);
  std::map<std::string, std::uint16_t> handles;
  for (const Icon& icon : icons()) handles[icon.port] = icon.handle;
  const std::uint16_t bare = handles.at("LPT1:");
  // 500-sheet tray 1 bottom-right, its combined lower body 3611 bottom-left.
  const PrinterPicture withTray500{3600, {Piece{3604, false, false}, Piece{3611, false, true}}};
  EXPECT_EQ(app->picture(bare), withTray500);
  // Tray 1 of 500 with a 200-sheet tray 2, a legal tray 3 and a dual feeder:
  // 3611 + 2 + 2 (legal tray 2) + 30 (legal tray 3).
  EXPECT_EQ(app->picture(handles.at("LPT2:")),
            (PrinterPicture{
                3600, {Piece{3605, false, false}, Piece{3660, true, false}, Piece{3645, false, true}}}));

  // The profile's jam list answers once the status raises the jam class.
  ASSERT_EQ(app->use(bare), 0x1FFu);
  ASSERT_TRUE(servers[1]->raiseDeviceStatus(0x4));
  PrinterPicture picture;
  EXPECT_TRUE(wf::testing::eventually([&] {
    return (picture = app->picture(bare)) == PrinterPicture{3510, {}};
  })) << picture;
  models[1]->update([](sim::Profile& p) { p.alertLists[5 - sim::kFirstAlertList].clear(); });
  ASSERT_TRUE(servers[1]->raiseDeviceStatus(0));
  EXPECT_TRUE(wf::testing::eventually([&] { return (picture = app->picture(bare)) == withTray500; }))
      << picture;
  EXPECT_EQ(app->unuse(bare), 0u);
}

TEST_F(PrtGuiEndToEnd, ARejectedRequestStopsTheFillAtThatRecord) {
  serve(1, "generic-7301");
  start();
  app->enumerate();
  const auto listed = icons();
  ASSERT_EQ(listed.size(), 1u);
  sim::Knobs knobs = models[1]->knobs();
  knobs.errorReplies = 1;
  models[1]->setKnobs(knobs);
  const GraphicInfo answer = app->graphic(listed[0].handle);
  // Whatever record the rejection hit, nothing after it was fetched: no page counts.
  EXPECT_EQ(answer.totalPages, 0u) << answer;
  EXPECT_EQ(answer.userPages, 0u) << answer;
  std::size_t mark = 0;
  const auto asked = requestsSince(*models[1], 0, &mark);
  EXPECT_EQ(std::count(asked.begin(), asked.end(), "04 0B"), 0);
}

// The reviewed record of a file of hex bytes; '#' starts a comment.
std::string goldenHex(const std::string& name) {
  std::ifstream in(std::string(WF_PRTGUI_TEST_DATA) + "/" + name);
  std::string line, out;
  while (std::getline(in, line)) {
    std::istringstream words(line.substr(0, line.find('#')));
    std::string word;
    while (words >> word) out += " " + word;
  }
  return out;
}

TEST_F(PrtGuiEndToEnd, TheInventoryRecordOfASimulatedPrinterOnLpt1) {
  serve(1, "generic-7301-trays");
  start();
  app->enumerate();
  const auto listed = icons();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(app->inventory(listed[0].handle, "Front"), wf::testing::hex(goldenHex("inventory_sim.hex")));
}

TEST_F(PrtGuiEndToEnd, QuickSetupReceiveMovesTheBarOncePerVariable) {
  serve(1, "generic-7301");
  start();
  app->enumerate();
  const auto listed = icons();
  ASSERT_EQ(listed.size(), 1u);
  const fs::path file = wf::testing::testRuntimeDir() / "received.psf";
  EXPECT_EQ(app->quickSetup(false, listed[0].handle, file.string()),
            (QuickSetupRun{true, 1, 70, 70, 1, {"Quick Setup has completed successfully."}}));
  EXPECT_GT(fs::file_size(file), 0u);
}

TEST_F(PrtGuiEndToEnd, QuickSetupOfAMissingOrForeignFileReportsTheFailure) {
  serve(1, "generic-7301");
  start();
  app->enumerate();
  const auto listed = icons();
  ASSERT_EQ(listed.size(), 1u);
  const fs::path missing = wf::testing::testRuntimeDir() / "missing.psf";
  const fs::path foreign = wf::testing::testRuntimeDir() / "foreign.psf";
  std::ofstream(foreign) << "not a Quick Setup file";
  for (const fs::path& file : {missing, foreign}) {
    SCOPED_TRACE(file.filename());
    const QuickSetupRun run = app->quickSetup(true, listed[0].handle, file.string());
    EXPECT_EQ(run.boxes, std::vector<std::string>{"An error occured while running Quick Setup."});
    EXPECT_EQ(run.done, 1) << run;  // one WM_WF_QSDONE
  }
}

// ---- Downloads through the tool kit ----

// A PostScript and a PCL queue on LPT1's port, for the chooser.
void writeSpoolerScenario() {
  std::ofstream(*wf::dataRoot() / "scenario")
      << "[spooler.ports]\nLPT1:\n"
         "[spooler.printers]\nOffice PS = LPT1: | Corvane PS\nOffice PCL = LPT1: | Corvane PCL\n"
         "[spooler.drivers]\nCorvane PS = C:\\DRIVERS\\CORPS.DRV | Monitor\n"
         "Corvane PCL = C:\\DRIVERS\\CVPCL5B.DRV | Monitor\n";
}

std::vector<std::string> toolKitLog() {
  std::ifstream in(wf::testing::testRuntimeDir() / "toolkit.log");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

using wf::testing::kEndItem;
using wf::testing::numberItem;
using wf::testing::textItem;

std::string compact(std::string spaced) {
  spaced.erase(std::remove(spaced.begin(), spaced.end(), ' '), spaced.end());
  return spaced;
}

class DownloadEndToEnd : public PrtGuiEndToEnd {
 protected:
  void SetUp() override {
    PrtGuiEndToEnd::SetUp();
    writeSpoolerScenario();
    ::setenv("WRENFIELD_MODULE_PATH", WF_TOOLKIT_DIR, 1);
    ::unsetenv("WRENFIELD_TOOLKIT_RESULT");
  }
  void TearDown() override {
    PrtGuiEndToEnd::TearDown();
    ::unsetenv("WRENFIELD_MODULE_PATH");
    ::unsetenv("WRENFIELD_TOOLKIT_RESULT");
  }
  // The printer on LPT1 with a disk and a flash; its handle.
  std::uint16_t printer() {
    serve(1, "generic-7301");
    start();
    EXPECT_EQ(app->enumerate(), 1);
    return icons().at(0).handle;
  }
};

TEST_F(DownloadEndToEnd, AnOverlayWithThePCLQueueReachesTheToolKit) {
  const std::uint16_t handle = printer();
  std::size_t mark = 0;
  requestsSince(*models[1], 0, &mark);
  const DownloadRun run = app->download(handle, "overlay", "1");
  EXPECT_TRUE(run.result);
  EXPECT_EQ(run.chooserRuns, 1) << "the chooser was shown once";
  EXPECT_TRUE(run.boxes.empty());
  const auto asked = requestsSince(*models[1], mark, &mark);
  EXPECT_EQ(std::count(asked.begin(), asked.end(), "01 04"), 1) << "the storage options were read again";

  const std::string block = numberItem(1, 3) + numberItem(3, 1) + textItem(4, "Office PCL") +
                            textItem(6, "LPT1:") + numberItem(11, 1) + numberItem(12, 1) + numberItem(13, 1) +
                            numberItem(2, 5) + textItem(5, "CVPCL5B") + kEndItem;
  const auto log = toolKitLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0], "parent " + run.parent + " instance " + run.instance + " block " +
                        compact(wf::testing::toHex(block)) +
                        " tags 1=3 3=1 4=\"Office PCL\" 6=\"LPT1:\" 11=1 12=1 13=1 2=5 5=\"CVPCL5B\" 0");
}

TEST_F(DownloadEndToEnd, AFailingToolKitOrACancelledChooserGiveFalse) {
  ::setenv("WRENFIELD_TOOLKIT_RESULT", "5", 1);
  const std::uint16_t handle = printer();
  const DownloadRun failed = app->download(handle, "font", "0");
  EXPECT_FALSE(failed.result);
  EXPECT_TRUE(failed.boxes.empty()) << "no message of the icon's own";
  EXPECT_EQ(toolKitLog().size(), 1u) << "called";
  const DownloadRun cancelled = app->download(handle, "demo", "cancel");
  EXPECT_FALSE(cancelled.result);
  EXPECT_TRUE(cancelled.boxes.empty()) << "no message";
  EXPECT_EQ(toolKitLog().size(), 1u) << "nothing logged";

  // Freed and loaded again by name.
  ::unsetenv("WRENFIELD_TOOLKIT_RESULT");
  app->freeToolKit();
  EXPECT_FALSE(app->download(handle, "font", "1").result) << "the child kept its setting";
  EXPECT_EQ(toolKitLog().size(), 2u);
}

TEST_F(DownloadEndToEnd, WithoutTheToolKitTheUserIsToldAndNoDriverIsAskedFor) {
  ::unsetenv("WRENFIELD_MODULE_PATH");
  const std::uint16_t handle = printer();
  const DownloadRun run = app->download(handle, "font", "0");
  EXPECT_FALSE(run.result);
  EXPECT_EQ(run.chooserRuns, 0) << "the chooser never ran";
  EXPECT_EQ(
      run.boxes,
      (std::vector<MessageBoxShown>{
          {"Download", 0x30,
           "The download tool kit (CORWF32.DLL) could not be loaded. Downloads are not available.", true}}));
  EXPECT_TRUE(toolKitLog().empty());
}

}  // namespace

// The notebook of a simulated printer on LPT1: opened on the statistics page
// in the first cascade place, filled by its worker over the broker, told of
// new page counts, and reopened on the page it was closed on.
TEST_F(PrtGuiEndToEnd, TheNotebookOfAPrinterOnLpt1OpensRefreshesAndRemembersItsPage) {
  serve(1, "meridian-vireo10");
  start();
  app->enumerate();
  const auto listed = icons();
  ASSERT_EQ(listed.size(), 1u);
  const std::uint16_t handle = listed[0].handle;

  const NotebookView opened = app->open(handle, 32779);
  ASSERT_TRUE(opened.open);
  EXPECT_GE(opened.pages, 2) << opened;  // the operator-panel page needs the user's rights
  EXPECT_EQ(opened.currentPage, opened.pages - 1) << "statistics is the last base page";
  EXPECT_EQ(opened.x, 70);
  EXPECT_EQ(opened.y, 70);
  EXPECT_EQ(opened.statusLine, opened.printerStatus)
      << "the printer's status after the fill worker's refresh";
  EXPECT_EQ(opened.statusLine.find("Reading"), std::string::npos) << opened;
  EXPECT_NE(opened.title.find(listed[0].name), std::string::npos) << opened;
  EXPECT_GE(opened.statisticsShown, 2) << "shown when made, again when the fill worker's data arrived";

  // The page-count worker's post reaches the shown statistics page.
  app->pageCounts(handle, false);
  EXPECT_EQ(app->notebook(handle).statisticsShown, opened.statisticsShown + 1);

  // Closed on the statistics page, opened with no view: the statistics page again.
  EXPECT_EQ(app->close(handle), opened.pages - 1);
  const NotebookView reopened = app->open(handle, 0);
  EXPECT_EQ(reopened.currentPage, opened.pages - 1);
  EXPECT_EQ(reopened.x, 90) << "the second frame steps down the cascade";
}

// The pages of a simulated printer with a 500-sheet first tray on LPT1: the
// status page shows the model and sends Continue and Reset; the statistics
// page shows the profile's page counts.
TEST_F(PrtGuiEndToEnd, ThePagesOfAPrinterOnLpt1ShowItsDataAndSendThePanelCommands) {
  const std::uint16_t handle = onePrinterOnLpt1("generic-7301-tray500");
  ASSERT_NE(handle, 0);
  const NotebookView opened = app->open(handle, 32775);
  ASSERT_TRUE(opened.open);
  ASSERT_EQ(opened.currentPage, 0);

  // No alert is active: neither panel command is offered, but each still goes out.
  EXPECT_FALSE(app->control(handle, 0, 1030).enabled);
  EXPECT_FALSE(app->control(handle, 0, 1031).enabled);
  const std::size_t from = models[1]->log().size();
  app->control(handle, 0, 1030, PrtGuiChild::Act::Click);
  app->control(handle, 0, 1031, PrtGuiChild::Act::Click);
  // Each goes out as a panel command packet (E0 EB) carrying its code.
  auto carries = [](const std::string& bytes, char code) {
    return bytes.find(std::string{'\0', code}, 6) != std::string::npos;
  };
  std::vector<int> codes;
  const auto log = models[1]->log();
  for (std::size_t i = from; i < log.size(); ++i) {
    const std::string& b = log[i].bytes;
    if (log[i].direction != sim::Direction::Received || log[i].kind != sim::LogKind::Packet || b.size() < 8 ||
        static_cast<unsigned char>(b[4]) != 0xE0 || static_cast<unsigned char>(b[5]) != 0xEB)
      continue;
    codes.push_back(carries(b, '\xB0') ? 0xB0 : carries(b, '\xB1') ? 0xB1 : 0);
  }
  EXPECT_EQ(codes, (std::vector<int>{0xB0, 0xB1}));

  // Statistics is the last base page: power-on, user and total pages of the profile.
  const int statistics = opened.pages - 1;
  app->pageCounts(handle, false);
  EXPECT_EQ(app->control(handle, statistics, 1014).text, "6789");
  EXPECT_EQ(app->control(handle, statistics, 1013).text, "321");
  EXPECT_EQ(app->control(handle, statistics, 1015).text, "12345");
}

// The operator panel page of a printer on LPT1: a button press reaches the
// printer, and the lock check box sets the printer's lock variable or, when
// the printer refuses, springs back after the lock worker's refresh.
TEST_F(PrtGuiEndToEnd, ThePanelPagePressesButtonsAndLocksThePrintersPanel) {
  std::uint16_t handle = 0;
  const int panel = notebookOnLpt1("generic-7301-tray500", 32772, handle);
  ASSERT_EQ(panel, 1);

  app->control(handle, panel, 1037, PrtGuiChild::Act::Click);
  // On a parallel port the press awaits no reply: the printer may read it a little later.
  EXPECT_TRUE(wf::testing::eventually([&] { return !models[1]->buttonsPressed().empty(); }));
  EXPECT_EQ(models[1]->buttonsPressed(), (std::vector<std::uint8_t>{0x02}));

  const std::string unlocked = models[1]->state().omVars.at(0x004D);
  EXPECT_FALSE(app->control(handle, panel, 1035).checked);
  EXPECT_TRUE(app->control(handle, panel, 1035, PrtGuiChild::Act::ToggleAndClick).checked);
  const std::string locked = models[1]->state().omVars.at(0x004D);
  EXPECT_NE(locked, unlocked);

  // Refused: the box shows the printer's state again, which did not change.
  auto knobs = models[1]->knobs();
  knobs.failVariables = {0x004D};
  models[1]->setKnobs(knobs);
  EXPECT_TRUE(app->control(handle, panel, 1035, PrtGuiChild::Act::ToggleAndClick).checked);
  EXPECT_EQ(models[1]->state().omVars.at(0x004D), locked);
}

namespace {

std::string fileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const char* const kQuickSetupDone = "Quick Setup has completed successfully.";

}  // namespace

// Quick Setup from the operator panel page of a printer on LPT1: Save writes
// the printer's settings as the reviewed file of its profile; Restore of that
// file sets every variable of it in the printer again.
TEST_F(PrtGuiEndToEnd, ThePanelPageSavesAndRestoresThePrintersSettings) {
  std::uint16_t handle = 0;
  const int panel = notebookOnLpt1("generic-7301", 32772, handle);
  ASSERT_EQ(panel, 1);
  const fs::path reviewed = fs::path(WF_PRTOBJ_TEST_DATA) / "generic-7301.psf";

  const fs::path saved = wf::testing::testRuntimeDir() / "saved.psf";
  EXPECT_EQ(app->quickSetupOnPage(handle, panel, true, saved.string()),
            (wf::testing::PageQuickSetup{1, {kQuickSetupDone}}));
  EXPECT_EQ(fileBytes(saved), fileBytes(reviewed));

  const auto before = models[1]->state().omVars;
  models[1]->update([](sim::Profile& p) {
    for (auto& [var, value] : p.omVars) value = "changed";
  });
  const fs::path restored = wf::testing::testRuntimeDir() / "restored.psf";
  fs::copy_file(reviewed, restored);
  const auto run = app->quickSetupOnPage(handle, panel, false, restored.string());
  EXPECT_EQ(run.fileDialogs, 1) << run;
  ASSERT_EQ(run.boxes.size(), 2u) << run;  // the question first
  EXPECT_EQ(run.boxes[1], kQuickSetupDone);
  int back = 0;
  const auto after = models[1]->state().omVars;
  for (const auto& [var, value] : before) back += after.at(var) == value;
  EXPECT_EQ(back, 70) << "every variable of the file";
  EXPECT_EQ(fileBytes(restored), fileBytes(reviewed)) << "a restored file is never changed";
}

// The status page of a printer on LPT1 over the real broker: its model, a jam
// the simulator raises replacing the picture until it clears, and the
// printer's panel text reaching the mini panel when the simulator announces it.
TEST_F(PrtGuiEndToEnd, TheStatusPageFollowsTheSimulatorsJamAndPanel) {
  using Corner = PrtGuiChild::Corner;
  serve(1, "generic-7301-tray500", "Corvane 7301 Vx20");
  start();
  ASSERT_EQ(app->enumerate(), 1);
  const std::uint16_t handle = icons().at(0).handle;
  // A window shows the printer, its alerts armed, and opens its notebook.
  ASSERT_EQ(app->use(handle) & 0x1FF, 0x1FFu);
  const NotebookView opened = app->open(handle, 32775);
  ASSERT_TRUE(opened.open);
  ASSERT_EQ(opened.currentPage, 0);
  EXPECT_EQ(app->control(handle, 0, 1006).text, "Corvane 7301 Vx20");
  EXPECT_EQ(models[1]->enabledAlerts() & 0x10000, 0x10000u) << "the page armed the panel class";

  auto showsTheOptions = [&] {
    return app->pictureMismatches(handle, 3604, Corner::BottomRight) == 0 &&
           app->pictureMismatches(handle, 3611, Corner::BottomLeft) == 0;
  };
  EXPECT_TRUE(showsTheOptions());
  EXPECT_NE(app->pictureMismatches(handle, 3510, Corner::Whole), 0);
  EXPECT_FALSE(app->control(handle, 0, 1030).enabled);

  ASSERT_TRUE(servers[1]->raiseDeviceStatus(0x4));
  EXPECT_TRUE(
      wf::testing::eventually([&] { return app->pictureMismatches(handle, 3510, Corner::Whole) == 0; }));
  EXPECT_TRUE(app->control(handle, 0, 1030).enabled) << "a jam may be continued";
  models[1]->update([](sim::Profile& p) { p.alertLists[5 - sim::kFirstAlertList].clear(); });
  ASSERT_TRUE(servers[1]->raiseDeviceStatus(0));
  EXPECT_TRUE(wf::testing::eventually(showsTheOptions));
  EXPECT_FALSE(app->control(handle, 0, 1030).enabled);

  // The profile's panel shows two lines; the new text fills only the third.
  using Lines = std::vector<int>;
  EXPECT_EQ(app->miniPanelLines(handle), (Lines{0, 1}));
  models[1]->update([](sim::Profile& p) { p.panelText = std::string(40, ' ') + "13.1 PAPER JAM"; });
  ASSERT_TRUE(servers[1]->raisePanelAlert());
  Lines lines;
  EXPECT_TRUE(wf::testing::eventually([&] { return (lines = app->miniPanelLines(handle)) == Lines{2}; }))
      << ::testing::PrintToString(lines);

  // The window lets the printer go: its notebook closes and nothing stays armed.
  EXPECT_EQ(app->unuse(handle), 0u);
  EXPECT_FALSE(app->notebook(handle).open);
  EXPECT_EQ(models[1]->enabledAlerts(), 0u);
}

// Reset on the statistics page of a printer on LPT1 reaches the printer, and
// the page shows the user count it reads afterwards.
TEST_F(PrtGuiEndToEnd, ResetOnTheStatisticsPageClearsThePrintersUserCount) {
  std::uint16_t handle = 0;
  const int statistics = notebookOnLpt1("generic-7301-tray500", 32779, handle);
  ASSERT_GT(statistics, 0);
  EXPECT_EQ(app->control(handle, statistics, 1013).text, "321");
  ASSERT_TRUE(app->control(handle, statistics, 1017).enabled);

  const std::size_t from = models[1]->log().size();
  std::size_t end = 0;
  app->control(handle, statistics, 1017, PrtGuiChild::Act::Click);
  const auto asked = requestsSince(*models[1], from, &end);
  EXPECT_EQ(std::count(asked.begin(), asked.end(), "03 06"), 1) << ::testing::PrintToString(asked);
  EXPECT_EQ(models[1]->hostPageCountResets(), 1);
  EXPECT_EQ(app->control(handle, statistics, 1013).text, "0");
  EXPECT_EQ(app->control(handle, statistics, 1014).text, "6789") << "the other counters stay";
  EXPECT_EQ(app->control(handle, statistics, 1015).text, "12345");
}

namespace {

// The data file's records, read here apart from the program's reader.
struct InventoryFile {
  std::uint16_t checksum = 0;
  std::uint16_t count = 0;
  std::vector<std::string> records;
};

std::uint16_t word16(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

InventoryFile readInventory(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  InventoryFile file;
  if (bytes.size() < 13) return file;
  file.checksum = word16(bytes, 0);
  file.count = word16(bytes, 11);
  for (std::size_t at = 13; at + 2 <= bytes.size();) {
    const std::size_t length = word16(bytes, at);
    if (length < 66 || at + length > bytes.size()) break;
    file.records.push_back(bytes.substr(at, length));
    at += length;
  }
  return file;
}

// Minus the sum of the words after the first; an odd last byte over the previous high byte.
std::uint16_t sumOf(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::uint16_t sum = 0;
  unsigned char high = 0;
  for (std::size_t at = 2; at < bytes.size(); at += 2) {
    if (at + 1 < bytes.size()) high = static_cast<unsigned char>(bytes[at + 1]);
    sum = static_cast<std::uint16_t>(sum - (static_cast<unsigned char>(bytes[at]) | (high << 8)));
  }
  return sum;
}

std::string recordName(const std::string& record) {
  return record.substr(67, static_cast<unsigned char>(record[66]));
}

}  // namespace

class InventoryEndToEnd : public PrtGuiEndToEnd {
 protected:
  // LPT1 and LPT2 one device (one serial number), LPT3 another, LPT4 without NPA.
  void serveScenario() {
    const char* serials[] = {"GN-SHARED", "GN-SHARED", "GN-OTHER", "GN-NONE"};
    const char* names[] = {"Alpha7301", "Alpha7301", "Beta7301", "Gamma7301"};
    for (int port = 1; port <= 4; ++port) {
      auto profile = sim::loadProfile(fs::path(WF_SIM_PROFILE_DIR) / "generic-7301.profile");
      ASSERT_TRUE(profile);
      profile->serial = serials[port - 1];
      profile->model = names[port - 1];
      if (port == 4) profile->npa = sim::NpaMode::Off;
      modelNames[port] = profile->model;
      models[port] = std::make_shared<sim::PrinterModel>(std::move(*profile));
      servers[port] = sim::PortServer::start(port, models[port]);
      ASSERT_TRUE(servers[port]) << port;
    }
    start();
    app->enumerate();
    for (const Icon& icon : icons()) byPort[icon.port.substr(0, 4)] = icon;
    ASSERT_EQ(byPort.size(), 4u);
    ASSERT_EQ(byPort.count("LPT1") + byPort.count("LPT3") + byPort.count("LPT4"), 3u);
  }
  fs::path file(const char* name) { return wf::dataRoot().value() / name; }
  std::map<std::string, Icon> byPort;
};

TEST_F(InventoryEndToEnd, OneRecordPerDeviceInNameOrderAndItsReportInAPdf) {
  serveScenario();
  const fs::path data = file("INVENTOR.DAT");
  ASSERT_EQ(app->inventoryFile(data.string()), 0);
  const InventoryFile written = readInventory(data);
  EXPECT_EQ(written.count, 3);
  EXPECT_EQ(written.checksum, sumOf(data));
  ASSERT_EQ(written.records.size(), 3u);
  const Icon &lpt1 = byPort["LPT1"], &lpt3 = byPort["LPT3"], &lpt4 = byPort["LPT4"];
  // LPT2 folds into LPT1's record, which sorts before it by name.
  EXPECT_EQ(recordName(written.records[0]), lpt1.name);
  const std::string single = app->inventory(lpt1.handle, lpt1.name);
  EXPECT_EQ(written.records[0].substr(2, 64), single.substr(2, 64));  // the same device's details
  EXPECT_GT(written.records[0].size(), single.size());                // and LPT2's names besides
  EXPECT_EQ(written.records[1], app->inventory(lpt3.handle, lpt3.name));
  EXPECT_EQ(written.records[2], app->inventory(lpt4.handle, lpt4.name));
  EXPECT_EQ(written.records[2][2], 0);  // no bidirectional details

  const fs::path pdf = file("INVENTOR.pdf");
  ASSERT_EQ(app->inventoryPrint(data.string(), pdf.string()), 0);
  const fs::path text = file("report.txt");
  ASSERT_EQ(std::system(("pdftotext -layout " + pdf.string() + " " + text.string()).c_str()), 0)
      << "pdftotext (poppler-utils) is needed";
  std::ifstream in(text);
  const std::string report((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (const std::string& expected : {lpt1.name, lpt3.name, lpt4.name, lpt1.model, std::string("GN-SHARED"),
                                      std::string("GN-OTHER"), std::string("Page 1")})
    EXPECT_NE(report.find(expected), std::string::npos) << expected << "\n" << report;
}

TEST_F(InventoryEndToEnd, CancelWhileARecordIsHeldKeepsTheRecordsSoFarUncounted) {
  serveScenario();
  sim::Knobs slow;
  slow.replyDelayMs = 4000;  // each of LPT3's answers comes late
  models[3]->setKnobs(slow);
  const fs::path data = file("INVENTOR.DAT");
  const fs::path cancel = file("cancel");
  int code = 99;
  std::thread run([&] { code = app->inventoryFile(data.string(), cancel.string()); });
  // LPT1's record is written: LPT3's, next in name order, is being made.
  ASSERT_TRUE(wf::testing::eventually([&] { return readInventory(data).records.size() == 1; }));
  std::ofstream(cancel).put('x');
  run.join();
  EXPECT_EQ(code, 1);  // cancelled
  const InventoryFile written = readInventory(data);
  EXPECT_EQ(written.count, 0);
  EXPECT_EQ(written.checksum, 0);
  ASSERT_EQ(written.records.size(), 2u);
  EXPECT_EQ(recordName(written.records[1]), byPort["LPT3"].name);
}

namespace {

TEST_F(PrtGuiEndToEnd, AJobPrintedByASecondaryLandsInTheJobStatisticsFile) {
  serve(1, "meridian-vireo10");
  sim::Knobs knobs;
  knobs.jobSource = 3;
  knobs.jobSeconds = 42;
  models[1]->setKnobs(knobs);
  start();
  app->meridian();
  ASSERT_EQ(app->enumerate(), 1);
  const std::uint16_t handle = icons().at(0).handle;
  const fs::path file = wf::testing::testDataRoot() / "jobs.csv";
  fs::create_directories(file.parent_path());
  app->jobStats(file.string());
  EXPECT_NE(app->track(handle, true) & 0x800, 0u) << "tracking arms the job statistics class";
  EXPECT_TRUE(wf::testing::eventually([&] { return (models[1]->enabledAlerts() & 0x800) != 0; }));

  // Another application prints a three-page job named "report".
  wf::testing::EndToEndChild secondary;
  ASSERT_NO_FATAL_FAILURE(wf::testing::printPjlJob(secondary, "report", "one\ftwo\fthree\f"));

  std::string line;
  ASSERT_NO_FATAL_FAILURE(wf::testing::waitForJob(file, "report", line));
  EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
  // The time is the machine's (fields 2 to 6); the rest is the job: source 3
  // in slot 2, 42 s, three sheets and sides.
  std::size_t timeEnd = 0;
  for (int i = 0; i < 6 && timeEnd != std::string::npos; ++i) timeEnd = line.find(',', timeEnd + 1);
  ASSERT_NE(timeEnd, std::string::npos) << line;
  line.replace(line.find(',') + 1, timeEnd - line.find(',') - 1, "TIME");
  EXPECT_EQ(line,
            "LPT1:,TIME,3,0,0,42,0,0,0,0,0,0,3,3,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,,,,report,,,,,"
            ",\r\n");
  secondary.unregisterApp();
}

}  // namespace
