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

#include "child_process.h"
#include "platform/clock.h"
#include "sim/printer/port_server.h"
#include "test_dirs.h"

using wf::testing::ChildProcess;
namespace sim = wf::sim;
namespace fs = std::filesystem;

namespace {

const std::string kPageCounts = "\x0B";           // command 0x04
const std::string kTypeCode("\xEB\x00\x00\xA7", 4);  // command 0xE0

sim::Profile shipped(const std::string& name) {
  auto p = sim::loadProfile(fs::path(WF_SIM_PROFILE_DIR) / (name + ".profile"));
  EXPECT_TRUE(p) << name;
  return p ? *p : sim::Profile{};
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

// Progress posts as the helper lists them: "wParam:lParam".
std::string steps(int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += " 9:0";
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
      app->call("quit");
      const int status = app->waitExit();
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
    app = std::make_unique<ChildProcess>("wf-prtobjchild");
    ASSERT_EQ(app->call("register"), "ok 0");
    const auto found = words(app->call("enum"));
    ASSERT_GE(found.size(), 2u);
    ASSERT_EQ(found[1], "0");
    for (std::size_t i = 2; i < found.size(); ++i) {
      const auto eq = found[i].find('=');
      const int port = found[i][3] - '0';  // "LPTn:=handle"
      handles[port] = found[i].substr(eq + 1);
    }
    ASSERT_EQ(handles.size(), types.size()) << "printers found: " << found.size() - 2;
    for (const auto& [port, type] : types) ASSERT_EQ(app->call("object " + handles[port] + " " + std::to_string(type)), "ok");
  }

  std::string ask(const std::string& command, int port, const std::string& more = {}) {
    return app->call(command + " " + handles.at(port) + (more.empty() ? "" : " " + more));
  }

  // Request packets the printer received with this command and data start;
  // the broker's own status poll sends others meanwhile.
  std::size_t packetsIn(int port, std::uint8_t command, const std::string& data) {
    std::size_t n = 0;
    for (const auto& e : models[port]->log())
      n += e.direction == sim::Direction::Received && e.kind == sim::LogKind::Packet && e.bytes.size() > 5 &&
           static_cast<std::uint8_t>(e.bytes[4]) == command && e.bytes.compare(5, data.size(), data) == 0;
    return n;
  }

  std::shared_ptr<sim::PrinterModel> models[10];
  std::unique_ptr<sim::PortServer> servers[10];
  std::unique_ptr<ChildProcess> app;
  std::map<int, std::string> handles;
};

TEST_F(PrtObjEndToEnd, PaperJamPostsTheDeviceStatusAlertAndTheJamListNamesIt) {
  serve(1, shipped("meridian-vireo10"));
  start({{1, 1}});
  ASSERT_EQ(ask("capture", 1, "0x4"), "ok 0");
  EXPECT_EQ(ask("jams", 1), "ok 0");  // no jam yet

  // The printer jams: its jam list holds the record, and it raises the class.
  constexpr int kJamList = 5 - sim::kFirstAlertList;  // request 6 asks with sub-code 5
  models[1]->update([](sim::Profile& p) { p.alertLists[kJamList] = {std::string("\x01\xFF\x01\x00", 4)}; });
  ASSERT_TRUE(servers[1]->raiseDeviceStatus(0x4));
  const auto post = words(app->call("posts 1 1524"));
  ASSERT_EQ(post.size(), 2u);
  const auto parts = post[1];
  EXPECT_EQ(parts.substr(0, 5), "1524:");
  EXPECT_EQ(parts.substr(parts.rfind(':')), ":4");
  const unsigned wParam = std::stoul(parts.substr(5, parts.rfind(':') - 5), nullptr, 16);
  EXPECT_EQ(std::to_string(wParam & 0xFFFF), handles[1]);
  EXPECT_EQ(ask("jams", 1), "ok 0 6104:0");
}

// What each family's printer reports, decoded by the object from the
// replies the broker passed on.
TEST_F(PrtObjEndToEnd, EachFamilyDecodesThroughTheBroker) {
  const std::string cartridge = "|1|Fonts A|Serif pack";
  const std::string levels = "|2.10|1.05|1.00|3.01|3.01|3.02|1.10|1.00|4.00|1.00";
  const std::string trays = "|Manual Paper:7101:1|Manual Envelope:7102:1|Tray 1:7103:250|Tray 2:7104:500";
  const struct {
    int port;
    const char* profile;
    std::uint32_t type;
    const char* typeAnswer;
    const char* family;
    std::string storage, levels, inputs;
  } cases[] = {
      {1, "meridian-vireo10", 1, "ok 0 1 5", "ok 0 1", "|4096|2048|512000|100000" + cartridge, "3.10.0" + levels, trays},
      // These answer the type code with the error flag: the family is its own variable.
      {2, "tidewater-pagecrest2", 1, "ok -3 77 77", "ok 0 3", "|4096|2048|0|0" + cartridge, "4.02.0" + levels, trays},
      {3, "keystone-vireo-n17", 1, "ok -3 77 77", "ok 0 7", "|4096|2048|512000|100000" + cartridge, "3.02.9" + levels,
       trays},
      {4, "halcyon-chroma", 1, "ok -3 77 77", "ok 0 6", "|0|0|512000|100000" + cartridge, "1.40.2" + levels,
       "|Manual Paper:7101:1|Feeder:7108:50|Feeder 2:7109:50"},
      {5, "generic-7301", 0, "ok 0 0 0", "ok 0 0", "|4096|2048|512000|100000" + cartridge, "2.05.1|1.20||||||1.00|||",
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
    EXPECT_EQ(ask("chars", c.port), "ok 0|" + p.model + "|" + p.revision + "|" + p.serial + "|" +
                                        std::to_string(p.memoryBytes >> 10) + "|" + std::to_string(p.speed) + "|" +
                                        std::to_string(p.duplex));
    EXPECT_EQ(ask("inputs", c.port), "ok 0" + c.inputs);
    EXPECT_EQ(ask("outputs", c.port), "ok 0|Upper Bin:7201:250|Rear Bin:7203:100");
    EXPECT_EQ(ask("storage", c.port), "ok 0" + c.storage);
    EXPECT_EQ(ask("levels", c.port), "ok 0|" + c.levels);  // the revision as the summary told it
    EXPECT_EQ(ask("pages", c.port), "ok 0 12345 6789 0 321");
    EXPECT_EQ(ask("type", c.port), c.typeAnswer);
    EXPECT_EQ(ask("family", c.port), c.family);
    EXPECT_EQ(ask("active", c.port), "ok 1") << "an error-flag reply leaves bidi on";
  }
}

// A reply of the sub-code alone is bad (-2). One with no data at all never
// reaches the object: the broker's reader drops a packet that short and the
// wait for the response ends in a read failure. Either switches bidi off.
TEST_F(PrtObjEndToEnd, CutRepliesSwitchBidiOff) {
  const struct {
    std::size_t cut;
    const char* pages;
  } cases[] = {{1, "ok -2 0 0 0 0"}, {0, "ok -17 0 0 0 0"}};
  auto& printer = serve(1, shipped("meridian-vireo10"));
  start({{1, 1}});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cut);
    ASSERT_EQ(ask("object", 1, "1"), "ok");  // a fresh object, bidi on
    ASSERT_EQ(ask("pages", 1), "ok 0 12345 6789 0 321");
    auto knobs = printer.knobs();
    knobs.replyCut = c.cut;
    printer.setKnobs(knobs);
    EXPECT_EQ(ask("pages", 1), c.pages);
    EXPECT_EQ(ask("active", 1), "ok 0");

    // Off now: the next request answers -11 and never reaches the printer.
    knobs.replyCut.reset();
    printer.setKnobs(knobs);
    const std::size_t before = packetsIn(1, 0x04, kPageCounts);
    EXPECT_EQ(ask("pages", 1), "ok -11 0 0 0 0");
    EXPECT_EQ(packetsIn(1, 0x04, kPageCounts), before);
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
    EXPECT_EQ(ask("type", port), "ok -3 77 77");
    EXPECT_EQ(packetsIn(port, 0xE0, kTypeCode), sends);
    EXPECT_EQ(ask("active", port), "ok 1");
  }
  EXPECT_EQ(ask("object", 2, "2"), "err null");
}

TEST_F(PrtObjEndToEnd, QuickSetupReceivesTheExpectedFileAndSendsItBack) {
  const struct {
    const char* profile;
    std::uint32_t type;
    const char* expected;
    int vars;
  } cases[] = {{"generic-7301", 0, "generic-7301.psf", 70}, {"meridian-vireo10", 1, "meridian-vireo10.psf", 74}};
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
    EXPECT_EQ(ask("qs", 1, "recv " + file.string() + " 10"),
              "ok 0 " + std::to_string(c.vars / 10) + steps((c.vars + 9) / 10) + " 10:0");
    EXPECT_EQ(readFile(file), readFile(fs::path(WF_PRTOBJ_TEST_DATA) / c.expected));

    // Posts after records 10, 20, ... then done.
    EXPECT_EQ(ask("qs", 2, "send " + file.string() + " 10"), "ok 0 " + std::to_string(c.vars / 10) + steps(c.vars / 10) + " 10:0");
    int restored = 0;
    for (const auto& [var, value] : models[1]->state().omVars) restored += models[2]->state().omVars.at(var) == value;
    EXPECT_EQ(restored, c.vars);
    EXPECT_EQ(models[2]->state().omVars.at(0x0037), "A:");  // "::" in the file

    stop();
  }
}

TEST_F(PrtObjEndToEnd, ResourceListingsArriveAsClassTwoAlertsAndDecode) {
  serve(1, shipped("keystone-vireo-n17"));
  serve(2, shipped("tidewater-pagecrest2"));  // a flash only
  start({{1, 1}, {2, 1}});
  for (int port : {1, 2}) ASSERT_EQ(ask("capture", port, "0x1000"), "ok 0");

  EXPECT_EQ(ask("list", 1, "2"),
            "ok 0|16,1,0,2;logo.mac;1;MACRO;1024;Company logo|16,0,0,2;serif.fnt;2;FONT;1024;Serif 12 point");
  EXPECT_EQ(ask("list", 1, "1"),
            "ok 0|16,1,0,1;invoice.frm;10;FORM;312000;Invoice form|16,0,0,1;sans.fnt;11;FONT;100000;Sans serif family");
  EXPECT_EQ(ask("list", 2, "1"), "ok 0|16,0,2");  // no disk: one bare entry with its result
}

TEST_F(PrtObjEndToEnd, QuickSetupFailuresEndTheRunAsTheDialogExpects) {
  serve(1, shipped("meridian-vireo10"));
  start({{1, 1}});
  const fs::path file = wf::testing::testRuntimeDir() / "setup.psf";

  // A variable the printer fails: reason 33, then done, and no partial file.
  auto knobs = models[1]->knobs();
  knobs.failVariables = {0x0033};
  models[1]->setKnobs(knobs);
  EXPECT_EQ(ask("qs", 1, "recv " + file.string() + " 5"), "ok 0 14 9:0 32769:33 10:0");
  EXPECT_FALSE(fs::exists(file));

  // A type-0 file is refused by a type-1 printer before anything is set.
  std::ofstream(file, std::ios::binary) << std::string("BIDI\x00\x30\x01:", 8);
  EXPECT_EQ(ask("qs", 1, "send " + file.string() + " 1"), "ok 0 74 32769:20");
  EXPECT_EQ(packetsIn(1, 0xE0, std::string("\xE7\x01", 2)), 0u);
}

}  // namespace
