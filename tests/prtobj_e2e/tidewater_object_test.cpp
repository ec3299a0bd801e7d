// The Tidewater printer object end to end: a helper process's printer
// manager makes it over the real broker; the printer is simulated here, so
// every PJL line and variable read is checked on its side.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "eventually.h"
#include "platform/clock.h"
#include "sim/printer/port_server.h"
#include "test_dirs.h"

namespace sim = wf::sim;
namespace fs = std::filesystem;
using wf::testing::ChildProcess;

namespace {

constexpr long kBadRequest = -15, kBadReply = -2;

class TidewaterObject : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("WRENFIELD_TIME_SCALE", "0.05", 1);
    wf::setTimeScaleForTest(0.05);
    auto profile = sim::loadProfile(fs::path(WF_SIM_PROFILE_DIR) / "tidewater-pagecrest2.profile");
    ASSERT_TRUE(profile);
    factory = *profile;
    printer = std::make_shared<sim::PrinterModel>(*profile);
    server = sim::PortServer::start(2, printer);
    ASSERT_TRUE(server);
    child = std::make_unique<ChildProcess>(ChildProcess::withCommands("tidewater"));
    const auto started = child->ask("start");
    ASSERT_TRUE(started.ok) << started.error;
    ASSERT_EQ(started.fields.size(), 2u);
    const auto& entry = started.fields[1];  // handle:family:class
    handle = entry.substr(0, entry.find(':'));
    ASSERT_EQ(entry.substr(entry.find(':')), ":3:tidewater");
  }
  void TearDown() override {
    if (child) {
      child->call("quit");
      const int status = child->waitExit();
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    server.reset();
  }

  long set(const std::string& args) {
    return static_cast<long>(child->ask("set " + handle + " " + args).number());
  }
  std::pair<long, std::string> get(const std::string& args) {
    const auto a = child->ask("get " + handle + " " + args);
    EXPECT_TRUE(a.ok) << a.error;
    return {static_cast<long>(a.number()), a.fields.size() > 1 ? a.fields[1] : std::string()};
  }
  bool active() { return child->ask("active " + handle).number() != 0; }

  // The PJL lines the printer received, in order.
  std::vector<std::string> pjlLines() const { return printer->pjlJobFirstLines(); }

  // PJL jobs and reads of the settings' variables the printer received; the
  // broker's own status polls go on meanwhile.
  std::size_t settingsTraffic() const {
    std::size_t n = 0;
    for (const auto& e : printer->log())
      n += e.direction == sim::Direction::Received &&
           (e.kind == sim::LogKind::Pjl ||
            (e.kind == sim::LogKind::Packet &&
             e.bytes.find(std::string("\xE7\x00\x04", 3)) != std::string::npos));
    return n;
  }

  sim::Profile factory;
  std::shared_ptr<sim::PrinterModel> printer;
  std::unique_ptr<sim::PortServer> server;
  std::unique_ptr<ChildProcess> child;
  std::string handle;
};

TEST_F(TidewaterObject, EverySettingRoundTripsAndOutOfRangeSendsNothing) {
  const struct {
    const char* set;      // name and arguments of the Set
    const char* line;     // the PJL line it sends
    const char* get;      // name and arguments of the Get
    const char* value;    // what the Get reads back
    const char* outside;  // a Set out of range: -15, nothing sent
  } cases[] = {
      {"PageProtect 0", "@PJL DEFAULT PAGEPROTECT=0", "PageProtect", "0", "PageProtect 2"},
      {"AutoContinue 0", "@PJL DEFAULT AUTOCONT=0", "AutoContinue", "0", "AutoContinue -1"},
      {"HonorInit 0", "@PJL DEFAULT LHONORINIT=0", "HonorInit", "0", "HonorInit 2"},
      {"LFafterCR 0", "@PJL DEFAULT LAUTOCRLF=0", "LFafterCR", "0", "LFafterCR 2"},
      {"CRafterLF 0", "@PJL DEFAULT LAUTOLFCR=0", "CRafterLF", "0", "CRafterLF 2"},
      {"NonUSDefaults 0", "@PJL DEFAULT LUSDEFAULTS=1", "NonUSDefaults", "0", "NonUSDefaults 2"},
      {"PPDSEnable 1", "@PJL DEFAULT LPPDS=1", "PPDSEnable", "1", "PPDSEnable 2"},
      {"TrayLinking 0", "@PJL DEFAULT LTRAYLINKING=0", "TrayLinking", "0", "TrayLinking 2"},
      {"EconomyMode 0", "@PJL DEFAULT ECONOMODE=0", "EconomyMode", "0", "EconomyMode 2"},
      {"PQET 1", "@PJL DEFAULT RET=1", "PQET", "1", "PQET 2"},
      {"TopMargin -128", "@PJL DEFAULT LTOPMARGINOFFSET=-128", "TopMargin", "-128", "TopMargin -129"},
      {"LeftMargin 127", "@PJL DEFAULT LLEFTMARGINOFFSET=127", "LeftMargin", "127", "LeftMargin 128"},
      {"JamRecovery 2", "@PJL DEFAULT LJAMRECOVERY=2", "JamRecovery", "2", "JamRecovery 0"},
      {"PowerSaver 120", "@PJL DEFAULT LPOWERSAVER=120", "PowerSaver", "120", "PowerSaver 121"},
      {"PrintTimeout 255", "@PJL DEFAULT TIMEOUT=255", "PrintTimeout", "255", "PrintTimeout 256"},
      {"NumOfCopies 99", "@PJL DEFAULT COPIES=99", "NumOfCopies", "99", "NumOfCopies 0"},
      {"FontNumber 25", "@PJL DEFAULT LPARM : PCL FONTNUMBER=25", "FontNumber", "25", "FontNumber 26"},
      {"LinesPerPage 255", "@PJL DEFAULT FORMLINES=255", "LinesPerPage", "255", "LinesPerPage 0"},
      {"Pitch 16.6", "@PJL DEFAULT LPARM : PCL PITCH=17", "Pitch", "17", "Pitch 101"},
      {"PointSize 1008", "@PJL DEFAULT LPARM : PCL PTSIZE=1008", "PointSize", "1008", "PointSize 0.4"},
      {"PaperSource 1", "@PJL DEFAULT LPAPERSOURCE=1", "PaperSource", "1", "PaperSource 5"},
      {"Orientation 0", "@PJL DEFAULT ORIENTATION=0", "Orientation", "0", "Orientation 2"},
      {"Resolution 300", "@PJL DEFAULT RESOLUTION=300", "Resolution", "300", "Resolution 400"},
      {"PrintDarkness 5", "@PJL DEFAULT DENSITY=5", "PrintDarkness", "5", "PrintDarkness 6"},
      {"PaperSize 1 23", "@PJL DEFAULT LMANUALPAPERSIZE=23", "PaperSize 1", "23", "PaperSize 1 2"},
      {"PaperSize 2 130", "@PJL DEFAULT LMANUALENVELOPESIZE=130", "PaperSize 2", "130", "PaperSize 0 1"},
      {"PaperSize 3 1", "@PJL DEFAULT LTRAY1SIZE=1", "PaperSize 3", "1", "PaperSize 5 1"},
      {"PaperSize 4 255", "@PJL DEFAULT LTRAY2SIZE=255", "PaperSize 4", "255", "PaperSize 4 256"},
      {"PaperType 1 0", "@PJL DEFAULT LMANUALPAPERTYPE=0", "PaperType 1", "0", "PaperType 1 5"},
      {"PaperType 3 4", "@PJL DEFAULT LTRAY1PAPERTYPE=4", "PaperType 3", "4", "PaperType 2 1"},
      {"PaperType 4 0", "@PJL DEFAULT LTRAY2PAPERTYPE=0", "PaperType 4", "0", "PaperType 5 0"},
      {"SymbolSet 8U", "@PJL DEFAULT LPARM : PCL SYMSET = 8U", "SymbolSet", "8U", "SymbolSet PC8"},
      {"SymbolSet 999Z", "@PJL DEFAULT LPARM : PCL SYMSET = 999Z", "SymbolSet", "999Z", "SymbolSet 1234U"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.set);
    const std::size_t before = pjlLines().size();
    EXPECT_EQ(set(c.outside), kBadRequest) << c.outside;
    EXPECT_EQ(set(c.set), 0);
    // The printer reads its port on its own thread, after the Set returns.
    wf::testing::eventually([&] { return pjlLines().size() > before; });
    const auto lines = pjlLines();
    ASSERT_EQ(lines.size(), before + 1) << "one line for the Set, none for the refused one";
    EXPECT_EQ(lines.back(), c.line);
    EXPECT_EQ(get(c.get), (std::pair<long, std::string>{0, c.value}));
  }
  EXPECT_TRUE(active());
}

TEST_F(TidewaterObject, TheEnvelopeFeedHasNoPaperTypeAndTheLockIsNotUsed) {
  EXPECT_EQ(get("PaperType 3"), (std::pair<long, std::string>{0, factory.omVars.at(0x0405)}));
  const std::size_t before = settingsTraffic();
  ASSERT_GT(before, 0u) << "the count sees a read";
  EXPECT_EQ(get("PaperType 2"), (std::pair<long, std::string>{0, "0"}));
  EXPECT_EQ(set("PaperType 2 0"), 0);
  EXPECT_EQ(set("PaperType 2 3"), kBadRequest);
  EXPECT_EQ(child->ask("lock " + handle).fields, (std::vector<std::string>{"0", "0", "0"}));
  EXPECT_EQ(settingsTraffic(), before) << "nothing reached the printer";
}

TEST_F(TidewaterObject, ActionsSendTheirLinesAndFactoryDefaultsRestoreTheProfile) {
  ASSERT_EQ(set("PowerSaver 5"), 0);
  ASSERT_EQ(set("SymbolSet 19U"), 0);
  ASSERT_EQ(set("NonUSDefaults 0"), 0);
  EXPECT_EQ(get("PowerSaver"), (std::pair<long, std::string>{0, "5"}));
  const std::size_t before = pjlLines().size();
  for (const char* action : {"test", "directory", "factory"})
    EXPECT_EQ(child->ask(std::string("do ") + handle + " " + action).number(), 0) << action;
  wf::testing::eventually([&] { return pjlLines().size() >= before + 3; });
  const auto lines = pjlLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
            (std::vector<std::string>{"@PJL LPRINTTESTPAGE", "@PJL LPRINTDIRECTORY", "@PJL INITIALIZE"}));
  EXPECT_EQ(get("PowerSaver"), (std::pair<long, std::string>{0, factory.omVars.at(0x0419)}));
  EXPECT_EQ(get("SymbolSet"), (std::pair<long, std::string>{0, factory.omVars.at(0x040D)}));
  EXPECT_EQ(get("NonUSDefaults"),
            (std::pair<long, std::string>{0, factory.omVars.at(0x041E) == "1" ? "0" : "1"}));
}

// What the printer answers is taken strictly; a refused value fails that
// Get only and keeps bidi on.
TEST_F(TidewaterObject, BadPrinterValuesAndAFailingVariableFailOnlyThatGet) {
  const struct {
    const char* get;
    std::uint16_t variable;
    std::string value;
  } cases[] = {
      {"PowerSaver", 0x0419, ""},    {"PowerSaver", 0x0419, "abc"},    {"PowerSaver", 0x0419, "121"},
      {"PowerSaver", 0x0419, " 12"}, {"PowerSaver", 0x0419, "000012"}, {"PowerSaver", 0x0419, "-1"},
      {"TopMargin", 0x0414, "-"},    {"TopMargin", 0x0414, "-129"},    {"PaperSize 3", 0x0401, "2"},
      {"Resolution", 0x040E, "301"}, {"SymbolSet", 0x040D, "PC8"},     {"SymbolSet", 0x040D, "1234U"},
      {"SymbolSet", 0x040D, "8"},    {"SymbolSet", 0x040D, "8U "},     {"JamRecovery", 0x041A, "3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.get) + " '" + c.value + "'");
    printer->update([&](sim::Profile& p) { p.omVars[c.variable] = c.value; });
    EXPECT_EQ(get(c.get).first, kBadReply);
    EXPECT_TRUE(active());
  }

  auto knobs = printer->knobs();
  knobs.failVariables.insert(0x0416);
  printer->setKnobs(knobs);
  EXPECT_NE(get("PrintTimeout").first, 0);
  EXPECT_TRUE(active());
  EXPECT_EQ(get("CRafterLF"), (std::pair<long, std::string>{0, factory.omVars.at(0x041D)}));
}

}  // namespace
