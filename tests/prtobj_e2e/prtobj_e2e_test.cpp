// The request object end to end: a helper process registers with the real
// broker, finds the printers on the local ports and talks to them through
// request objects from the deliverable library; the printers are simulated
// here, so what reached them is checked on their side.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "broker/corbce.h"
#include "platform/clock.h"
#include "protocol/npa.h"
#include "protocol/replies.h"
#include "prtobj/thread_control.h"
#include "prtobj/wfprtobj.h"
#include "prtobj_app.h"
#include "sim/printer/port_server.h"
#include "test_dirs.h"

namespace sim = wf::sim;
namespace fs = std::filesystem;
namespace npa = wf::protocol::npa;

namespace prtobje2e {
namespace {

constexpr unsigned long kQsProgress = QS_NOTIFY_STEP, kQsDone = QS_NOTIFY_DONE, kQsError = QS_NOTIFY_ERROR;

const std::string kPageCounts(1, static_cast<char>(npa::status::kPageCounts));
const std::string kTypeCode("\xEB\x00\x00\xA7", 4);  // misc variable 0x00A7, read

sim::Profile shipped(const std::string& name) {
  auto p = sim::loadProfile(fs::path(WF_SIM_PROFILE_DIR) / (name + ".profile"));
  EXPECT_TRUE(p) << name;
  return p ? *p : sim::Profile{};
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// `n` progress posts, then done.
std::vector<Progress> progressThenDone(int n) {
  std::vector<Progress> posts(n, Progress{kQsProgress, 0});
  posts.push_back({kQsDone, 0});
  return posts;
}

// Bins as "name:number:capacity|..." tables are written below.
std::vector<Bin> bins(const std::string& table) {
  std::vector<Bin> out;
  for (const auto& b : split(table, '|')) {
    const auto parts = split(b, ':');
    out.push_back({parts.at(0), std::stoul(parts.at(1)), std::stoul(parts.at(2))});
  }
  return out;
}

class PrtObjEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("WRENFIELD_TIME_SCALE", "0.05", 1);
    wf::setTimeScaleForTest(0.05);
  }
  void TearDown() override { stop(); }

  // The helper ends the ordinary way and the printers go.
  void stop() {
    if (app) {
      const int status = app->quit();
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the helper did not end cleanly";
      app.reset();
    }
    handles.clear();
    for (auto& s : servers) s.reset();
  }

  sim::PrinterModel& serve(int port, sim::Profile profile) {
    models[port] = std::make_shared<sim::PrinterModel>(std::move(profile));
    servers[port] = sim::PortServer::start(port, models[port]);
    EXPECT_TRUE(servers[port]) << port;
    return *models[port];
  }

  // The helper registered as the only application, with an object of
  // `types[port]` for the printer the broker found on each served port.
  void start(const std::map<int, std::uint32_t>& types) {
    app = std::make_unique<PrtObjApp>();
    ASSERT_EQ(app->registerApp(), BCE_PRIMARY_APP_ID);
    const auto [rc, found] = app->enumerate();
    ASSERT_EQ(rc, BCE_OK);
    for (const auto& [name, handle] : found) handles[name[3] - '0'] = handle;  // "LPTn:"
    ASSERT_EQ(handles.size(), types.size()) << "printers found: " << found.size();
    for (const auto& [port, type] : types) ASSERT_TRUE(app->object(handles[port], type));
  }

  // Request packets the printer received with this command and data start;
  // the broker's own status poll sends others meanwhile.
  std::size_t packetsIn(int port, std::uint8_t command, const std::string& data) {
    std::size_t n = 0;
    for (const auto& e : models[port]->log())
      n += e.direction == sim::Direction::Received && e.kind == sim::LogKind::Packet && e.bytes.size() > 5 &&
           static_cast<std::uint8_t>(e.bytes[npa::kCommandOffset]) == command &&
           e.bytes.compare(wf::protocol::npa::kHeaderSize, data.size(), data) == 0;
    return n;
  }

  std::shared_ptr<sim::PrinterModel> models[10];
  std::unique_ptr<sim::PortServer> servers[10];
  std::unique_ptr<PrtObjApp> app;
  std::map<int, std::uint16_t> handles;
};

TEST_F(PrtObjEndToEnd, PaperJamPostsTheDeviceStatusAlertAndTheJamListNamesIt) {
  serve(1, shipped("meridian-vireo10"));
  start({{1, 1}});
  ASSERT_EQ(app->capture(handles[1], 0x4), BCE_OK);
  EXPECT_EQ(app->jams(handles[1]), (Alerts{BCE_OK, {}}));  // no jam yet

  // The printer jams: its jam list holds the record, and it raises the class.
  constexpr int kJamList = 5 - sim::kFirstAlertList;  // request 6 asks with sub-code 5
  models[1]->update([](sim::Profile& p) { p.alertLists[kJamList] = {std::string("\x01\xFF\x01\x00", 4)}; });
  ASSERT_TRUE(servers[1]->raiseDeviceStatus(0x4));
  const auto posts = app->posts(1, WM_BCE_DSA_ALERT);
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].message, WM_BCE_DSA_ALERT);
  EXPECT_EQ(posts[0].lParam, 0x4u);
  EXPECT_EQ(posts[0].wParam & 0xFFFF, handles[1]);
  EXPECT_EQ(app->jams(handles[1]), (Alerts{BCE_OK, {{6104, 0}}}));
}

// What each family's printer reports, decoded by the object from the
// replies the broker passed on.
TEST_F(PrtObjEndToEnd, EachFamilyDecodesThroughTheBroker) {
  const std::string levels = "|2.10|1.05|1.00|3.01|3.01|3.02|1.10|1.00|4.00|1.00";
  const std::string trays = "Manual Paper:7101:1|Manual Envelope:7102:1|Tray 1:7103:250|Tray 2:7104:500";
  const PrinterType untyped{BCE_ERR_ERROR_RESPONSE, 77, 77};  // the helper's values, left alone
  auto storage = [](unsigned long flash, unsigned long flashFree, unsigned long disk,
                    unsigned long diskFree) {
    return Storage{BCE_OK, flash, flashFree, disk, diskFree, 1, "Fonts A", "Serif pack"};
  };
  const struct {
    int port;
    const char* profile;
    std::uint32_t type;
    PrinterType typeAnswer;
    unsigned long family;
    Storage storage;
    std::string levels, inputs;
  } cases[] = {
      {1,
       "meridian-vireo10",
       1,
       {BCE_OK, 1, 5},
       1,
       storage(4096, 2048, 512000, 100000),
       "3.10.0" + levels,
       trays},
      // These answer the type code with the error flag: the family is its own variable.
      {2, "tidewater-pagecrest2", 1, untyped, 3, storage(4096, 2048, 0, 0), "4.02.0" + levels, trays},
      {3, "keystone-vireo-n17", 1, untyped, 7, storage(4096, 2048, 512000, 100000), "3.02.9" + levels, trays},
      {4, "halcyon-chroma", 1, untyped, 6, storage(0, 0, 512000, 100000), "1.40.2" + levels,
       "Manual Paper:7101:1|Feeder:7108:50|Feeder 2:7109:50"},
      {5,
       "generic-7301",
       0,
       {BCE_OK, 0, 0},
       0,
       storage(4096, 2048, 512000, 100000),
       "2.05.1|1.20||||||1.00|||",
       trays},
  };
  std::map<int, std::uint32_t> types;
  for (const auto& c : cases) {
    auto& printer = serve(c.port, shipped(c.profile));
    types[c.port] = c.type;
    if (c.port == 4)
      printer.update([](sim::Profile& p) {
        p.inputs = {{1, 1, 0, 2, "Manual Paper"}, {5, 50, 0, 2, "Feeder"}, {6, 50, 0, 2, "Feeder 2"}};
      });
  }
  start(types);
  for (const auto& c : cases) {
    const sim::Profile p = models[c.port]->state();
    SCOPED_TRACE(c.profile);
    const std::uint16_t h = handles[c.port];
    EXPECT_EQ(app->chars(h),
              (DeviceChars{BCE_OK, p.model, p.revision, p.serial, p.memoryBytes >> 10, p.speed, p.duplex}));
    EXPECT_EQ(app->inputs(h), (Bins{BCE_OK, bins(c.inputs)}));
    EXPECT_EQ(app->outputs(h), (Bins{BCE_OK, bins("Upper Bin:7201:250|Rear Bin:7203:100")}));
    EXPECT_EQ(app->storage(h), c.storage);
    EXPECT_EQ(app->levels(h),
              (CodeLevels{BCE_OK, split(c.levels, '|')}));  // the revision as the summary told it
    EXPECT_EQ(app->pages(h), (PageCounts{BCE_OK, {12345, 6789, 0, 321}}));
    EXPECT_EQ(app->type(h), c.typeAnswer);
    EXPECT_EQ(app->family(h), (Family{BCE_OK, c.family}));
    EXPECT_TRUE(app->bidiActive(h)) << "an error-flag reply leaves bidi on";
  }
}

// A reply of the sub-code alone is bad (-2). One with no data at all never
// reaches the object: the broker's reader drops a packet that short and the
// wait for the response ends in a read failure. Either switches bidi off.
TEST_F(PrtObjEndToEnd, CutRepliesSwitchBidiOff) {
  constexpr long kBadReply = -2;  // the request object's own
  const struct {
    std::size_t cut;
    long rc;
  } cases[] = {{1, kBadReply}, {0, NET_READFAIL}};
  auto& printer = serve(1, shipped("meridian-vireo10"));
  start({{1, 1}});
  const std::uint16_t h = handles[1];
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cut);
    ASSERT_TRUE(app->object(h, 1));  // a fresh object, bidi on
    ASSERT_EQ(app->pages(h), (PageCounts{BCE_OK, {12345, 6789, 0, 321}}));
    auto knobs = printer.knobs();
    knobs.replyCut = c.cut;
    printer.setKnobs(knobs);
    EXPECT_EQ(app->pages(h), (PageCounts{c.rc, {}}));
    EXPECT_FALSE(app->bidiActive(h));

    // Off now: the next request answers "not capable" and never reaches the printer.
    knobs.replyCut.reset();
    printer.setKnobs(knobs);
    const std::size_t before = packetsIn(1, npa::kStatus, kPageCounts);
    EXPECT_EQ(app->pages(h), (PageCounts{BCE_ERR_NOT_CAPABLE, {}}));
    EXPECT_EQ(packetsIn(1, npa::kStatus, kPageCounts), before);
  }
}

// Type 0 tries a request twice, other types once; the factory makes no
// object of a type it does not know.
TEST_F(PrtObjEndToEnd, RetriesFollowThePrinterTypeAndTheFactoryRefusesType2) {
  serve(1, shipped("generic-7301"));
  serve(2, shipped("meridian-vireo10"));
  start({{1, 0}, {2, 1}});
  for (const auto& [port, sends] : {std::pair{1, 2u}, std::pair{2, 1u}}) {
    SCOPED_TRACE(port);
    auto knobs = models[port]->knobs();
    knobs.failVariables = {0x00A7};  // the type code, with the error flag every time
    models[port]->setKnobs(knobs);
    EXPECT_EQ(app->type(handles[port]), (PrinterType{BCE_ERR_ERROR_RESPONSE, 77, 77}));
    EXPECT_EQ(packetsIn(port, npa::kPanel, kTypeCode), sends);
    EXPECT_TRUE(app->bidiActive(handles[port]));
  }
  EXPECT_FALSE(app->object(handles[2], 2));
}

TEST_F(PrtObjEndToEnd, QuickSetupReceivesTheExpectedFileAndSendsItBack) {
  const struct {
    const char* profile;
    std::uint32_t type;
    const char* expected;
    int vars;
  } cases[] = {{"generic-7301", 0, "generic-7301.psf", 70},
               {"meridian-vireo10", 1, "meridian-vireo10.psf", 74}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.profile);
    serve(1, shipped(c.profile));
    // A second printer of the kind with every variable changed gets the file.
    serve(2, shipped(c.profile)).update([](sim::Profile& p) {
      for (auto& [var, value] : p.omVars) value = "changed";
    });
    start({{1, c.type}, {2, c.type}});
    const fs::path file = wf::testing::testRuntimeDir() / "received.psf";

    // Posts after variables 0, 10, 20, ... then done.
    EXPECT_EQ(
        app->quickSetup(handles[1], false, file.string(), 10),
        (QuickSetup{BCE_OK, static_cast<unsigned long>(c.vars / 10), progressThenDone((c.vars + 9) / 10)}));
    EXPECT_EQ(readFile(file), readFile(fs::path(WF_PRTOBJ_TEST_DATA) / c.expected));

    // Posts after records 10, 20, ... then done.
    EXPECT_EQ(app->quickSetup(handles[2], true, file.string(), 10),
              (QuickSetup{BCE_OK, static_cast<unsigned long>(c.vars / 10), progressThenDone(c.vars / 10)}));
    int restored = 0;
    for (const auto& [var, value] : models[1]->state().omVars)
      restored += models[2]->state().omVars.at(var) == value;
    EXPECT_EQ(restored, c.vars);
    EXPECT_EQ(models[2]->state().omVars.at(0x0037), "A:");  // "::" in the file

    stop();
  }
}

TEST_F(PrtObjEndToEnd, ResourceListingsArriveAsClassTwoAlertsAndDecode) {
  serve(1, shipped("keystone-vireo-n17"));
  serve(2, shipped("tidewater-pagecrest2"));  // a flash only
  start({{1, 1}, {2, 1}});
  namespace alert = wf::protocol::reply::resource_alert;
  for (int port : {1, 2}) ASSERT_EQ(app->capture(handles[port], BCE_ALERT_CLASS_2), BCE_OK);

  EXPECT_EQ(app->list(handles[1], WFPrtObj::DEVICE_FLASH),
            (Listing{BCE_OK,
                     {{alert::kEntry, 1, alert::kDone, "2;logo.mac;1;MACRO;1024;Company logo"},
                      {alert::kEntry, 0, alert::kDone, "2;serif.fnt;2;FONT;1024;Serif 12 point"}}}));
  EXPECT_EQ(app->list(handles[1], WFPrtObj::DEVICE_DISK),
            (Listing{BCE_OK,
                     {{alert::kEntry, 1, alert::kDone, "1;invoice.frm;10;FORM;312000;Invoice form"},
                      {alert::kEntry, 0, alert::kDone, "1;sans.fnt;11;FONT;100000;Sans serif family"}}}));
  // No disk: one bare entry with its result.
  EXPECT_EQ(app->list(handles[2], WFPrtObj::DEVICE_DISK),
            (Listing{BCE_OK, {{alert::kEntry, 0, alert::kNoSuchDevice, ""}}}));
}

TEST_F(PrtObjEndToEnd, QuickSetupFailuresEndTheRunAsTheDialogExpects) {
  serve(1, shipped("meridian-vireo10"));
  start({{1, 1}});
  const fs::path file = wf::testing::testRuntimeDir() / "setup.psf";

  // A variable the printer fails: reason 33, then done, and no partial file.
  auto knobs = models[1]->knobs();
  knobs.failVariables = {0x0033};
  models[1]->setKnobs(knobs);
  EXPECT_EQ(app->quickSetup(handles[1], false, file.string(), 5),
            (QuickSetup{BCE_OK, 14, {{kQsProgress, 0}, {kQsError, QS_ERR_VARIABLE}, {kQsDone, 0}}}));
  EXPECT_FALSE(fs::exists(file));

  // A type-0 file is refused by a type-1 printer before anything is set.
  std::ofstream(file, std::ios::binary) << std::string("BIDI\x00\x30\x01:", 8);
  EXPECT_EQ(app->quickSetup(handles[1], true, file.string(), 1),
            (QuickSetup{BCE_OK, 74, {{kQsError, QS_ERR_HEADER}}}));
  EXPECT_EQ(packetsIn(1, npa::kPanel,
                      std::string{static_cast<char>(npa::panel::kOmVariable), npa::panel::kVariableSet}),
            0u);
}

}  // namespace
}  // namespace prtobje2e
