// CORIPX32 end to end: the real broker in a helper process loads the IPX
// transport by file name; wf-adapter-sim plays the CorLink-over-IPX world.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <csignal>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "broker/corbce.h"
#include "child_process.h"
#include "platform/clock.h"
#include "adapter_jam.h"
#include "prtobj_app.h"
#include "sim/adapter/simulator.h"
#include "eventually.h"

namespace fs = std::filesystem;

namespace coripxe2e {
namespace {

using prtobje2e::PrtObjApp;

const fs::path kWorld = fs::path(WF_SIM_SCENARIO_DIR) / "coripx-world.scenario";

struct Port {
  const char* name;
  const char* node;  // as the adapter reports it
  unsigned adapterClass, portKind;
};

// Network 1's ports; the adapters on media 2 report their nodes bit-reversed.
const Port kNetwork1[] = {
    {"PORTBAY_1", "000003520880", 4, 0x0101},  {"PORTBAY_1", "000003520880", 2, 1},
    {"PORTBAY_1", "000003520880", 2, 2},       {"PORTBAY_M1", "0000C04A1009", 4, 0x0101},
    {"PORTBAY_M1", "0000C04A1009", 2, 1},       {"PORTBAY_M1", "0000C04A1009", 2, 2},
    {"KESTREL_7", "000003DA44E0", 16, 0},       {"KESTREL_B", "0000C05B2209", 1, 0},
};

class CorIpxEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("WRENFIELD_TIME_SCALE", "0.2", 1);
    ::setenv("WRENFIELD_SCENARIO", kWorld.c_str(), 1);
    wf::setTimeScaleForTest(0.2);
    program = std::make_unique<wf::testing::ChildProcess>("wf-adapter-sim", std::vector<std::string>{kWorld.string()});
    ASSERT_EQ(program->readLine(), "ready");
    app = std::make_unique<PrtObjApp>();
    ASSERT_EQ(app->registerApp(), BCE_PRIMARY_APP_ID);
  }
  void TearDown() override {
    if (app) {
      const int status = app->quit();
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the helper did not end cleanly";
    }
    if (program) {
      program->call("quit", 100);
      EXPECT_EQ(program->waitExit(), 0);
    }
  }
  // The IPX name, node, class and kind of each printer found, by handle.
  std::map<std::uint16_t, std::string> describe(const std::vector<std::pair<std::string, std::uint16_t>>& found) {
    std::map<std::uint16_t, std::string> out;
    for (const auto& [unused, handle] : found) {
      const auto info = app->info(handle);
      EXPECT_EQ(info.rc, BCE_OK);
      EXPECT_EQ(info.connections & 0x8004, 0x8004u);
      out[handle] = app->names(handle, BCE_NET_IPX).first + " " + app->node(handle) + " " +
                    std::to_string(info.adapterClass) + " " + std::to_string(info.portKind);
    }
    return out;
  }
  std::unique_ptr<wf::testing::ChildProcess> program;
  std::unique_ptr<PrtObjApp> app;
};

TEST_F(CorIpxEndToEnd, TheBrokerOffersTheIpxBit) {
  const auto [rc, mask] = app->nets();
  EXPECT_EQ(rc, BCE_OK);
  EXPECT_EQ(mask & BCE_NET_IPX, BCE_NET_IPX);
}

TEST_F(CorIpxEndToEnd, NetworkOnesPortsAreFoundKeptAndFoundAgain) {
  const auto [rc, found] = app->enumerate(BCE_NET_IPX | BCE_NET_FORCE);
  ASSERT_EQ(rc, BCE_OK);
  const auto described = describe(found);
  std::multiset<std::string> expected, got;
  for (const Port& p : kNetwork1)
    expected.insert(std::string(p.name) + " " + p.node + " " + std::to_string(p.adapterClass) + " " +
                    std::to_string(p.portKind));
  std::set<std::uint16_t> handles;
  for (const auto& [handle, text] : described) got.insert(text), handles.insert(handle);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(handles, (std::set<std::uint16_t>{101, 102, 103, 104, 105, 106, 107, 108}));

  const auto [again, refound] = app->enumerate(BCE_NET_IPX | BCE_NET_FORCE);
  ASSERT_EQ(again, BCE_OK);
  EXPECT_EQ(describe(refound), described) << "every handle kept";

  // Found again by address: the broker hands back every printer at that node.
  for (const std::uint16_t h : handles) {
    SCOPED_TRACE(described.at(h));
    const auto [networks, there] = app->findAgain(h, BCE_NET_IPX);
    EXPECT_EQ(networks, static_cast<long>(BCE_NET_IPX));
    EXPECT_NE(std::find(there.begin(), there.end(), h), there.end());
    for (const std::uint16_t other : there) EXPECT_EQ(app->node(other), app->node(h));
  }
}

TEST_F(CorIpxEndToEnd, ANicknameInTheRegistryNamesItsPort) {
  const auto [rc, found] = app->enumerate(BCE_NET_IPX | BCE_NET_FORCE);
  ASSERT_EQ(rc, BCE_OK);
  std::uint16_t kestrel = 0;
  for (const auto& [unused, handle] : found)
    if (app->names(handle, BCE_NET_IPX).first == "KESTREL_7") kestrel = handle;
  ASSERT_NE(kestrel, 0);
  const std::string ipx = app->ipxAddress(kestrel);
  ASSERT_EQ(ipx.size(), 60u);
  const std::string key = "HKLM\\SOFTWARE\\Corvane\\Wrenfield\\CorIpx\\LabKestrel";
  const std::pair<const char*, std::string> values[] = {
      {"Address", ipx.substr(0, 12)}, {"NetAddress", ipx.substr(12, 28)}, {"AdapterType", "10"}, {"PortType", "0000"}};
  for (const auto& [value, hex] : values) {
    wf::testing::ChildProcess wfreg("wfreg", {"set", key, value, "binary", hex});
    EXPECT_EQ(wfreg.waitExit(), 0) << value;
  }
  const auto [networks, handles] = app->enumSpecificPort(BCE_NET_IPX, "LabKestrel");
  EXPECT_EQ(networks, static_cast<long>(BCE_NET_IPX));
  EXPECT_EQ(handles, std::vector<std::uint16_t>{kestrel});
  EXPECT_EQ(app->names(kestrel, BCE_NET_IPX), (std::pair<std::string, std::string>{"KESTREL_7", "LabKestrel"}));
  EXPECT_EQ(app->enumSpecificPort(BCE_NET_IPX, "Nobody").first, 0);
}

// The world played in this process, where a test reaches the printers
// behind the ports; the broker primary in the helper, a secondary beside it.
class CorIpxPrinterEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("WRENFIELD_TIME_SCALE", "0.2", 1);
    ::setenv("WRENFIELD_SCENARIO", kWorld.c_str(), 1);
    wf::setTimeScaleForTest(0.2);
    std::string error;
    ASSERT_TRUE(sim.loadScenario(kWorld, &error)) << error;
    app = std::make_unique<PrtObjApp>();
    ASSERT_EQ(app->registerApp(), BCE_PRIMARY_APP_ID);
  }
  void TearDown() override {
    if (secondary) EXPECT_EQ(secondary->quit() & 0x7F, 0) << "the secondary was killed";
    if (app) {
      const int status = app->quit();
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the helper did not end cleanly";
    }
  }
  // A request object on every IPX printer; the handle of PB's port 1 (the Vireo 10).
  std::uint16_t findVireo() {
    const auto [rc, found] = app->enumerate(BCE_NET_IPX | BCE_NET_FORCE);
    EXPECT_EQ(rc, BCE_OK);
    std::uint16_t vireo = 0;
    for (const auto& [name, handle] : found) {
      if (app->names(handle, BCE_NET_IPX).first != "PORTBAY_1" || app->info(handle).portKind != 1) continue;
      EXPECT_TRUE(app->object(handle, 1));
      const auto chars = app->chars(handle);
      EXPECT_EQ(chars.rc, BCE_OK);
      EXPECT_EQ(chars.model, "Vireo 10");
      EXPECT_EQ(chars.revision, "3.10.0");
      vireo = handle;
    }
    return vireo;
  }
  std::vector<std::string> printerJobs() {
    std::vector<std::string> jobs;
    sim.adapter("PB")->withPrinter(1, [&](wf::sim::PrinterModel& m) { jobs = m.printJobs(); });
    return jobs;
  }
  wf::sim::adapter::AdapterSimulator sim;
  std::unique_ptr<PrtObjApp> app, secondary;
};

TEST_F(CorIpxPrinterEndToEnd, ARequestObjectReadsThePrinterAlsoInPieces) {
  const std::uint16_t vireo = findVireo();
  ASSERT_NE(vireo, 0);
  // 57 data bytes a packet: every piece asks for the next with send-more.
  ASSERT_TRUE(sim.adapter("PB")->withPrinter(1, [](wf::sim::PrinterModel& m) {
    auto k = m.knobs();
    k.replyPacketData = 57;
    m.setKnobs(k);
  }));
  const auto inputs = app->inputs(vireo);
  EXPECT_EQ(inputs.rc, BCE_OK);
  EXPECT_FALSE(inputs.bins.empty());
  const auto chars = app->chars(vireo);
  EXPECT_EQ(chars.model, "Vireo 10");
  EXPECT_EQ(chars.revision, "3.10.0");
}

TEST_F(CorIpxPrinterEndToEnd, AJamInThreePiecesReachesASecondarysWindow) {
  const std::uint16_t vireo = findVireo();
  ASSERT_NE(vireo, 0);
  secondary = std::make_unique<PrtObjApp>();
  ASSERT_GT(secondary->registerApp(), BCE_PRIMARY_APP_ID);
  ASSERT_EQ(secondary->enumerate(BCE_NET_IPX).first, BCE_OK);
  ASSERT_TRUE(secondary->object(vireo, 1));
  ASSERT_EQ(secondary->capture(vireo, 0x4), BCE_OK);
  EXPECT_EQ(secondary->jams(vireo), (prtobje2e::Alerts{BCE_OK, {}}));

  std::string error;
  ASSERT_TRUE(sim.apply("PB.alert-pieces = 3", ".", &error)) << error;
  ASSERT_TRUE(prtobje2e::raisePaperJam(sim, "PB", 1));
  const auto posts = secondary->posts(1, WM_BCE_DSA_ALERT);
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].lParam, 0x4u);
  EXPECT_EQ(posts[0].wParam & 0xFFFF, vireo);
  EXPECT_EQ(secondary->jams(vireo), (prtobje2e::Alerts{BCE_OK, {{6104, 0}}}));
}

// A nickname gives the port its second name; then the broker runs jobs on it
// through NetStartDoc and NetEndDoc, NPA and raw alike.
TEST_F(CorIpxPrinterEndToEnd, JobsReachThePrinterByteExact) {
  std::uint16_t vireo = findVireo();
  ASSERT_NE(vireo, 0);
  const std::string ipx = app->ipxAddress(vireo);
  ASSERT_EQ(ipx.size(), 60u);
  const std::string key = "HKLM\\SOFTWARE\\Corvane\\Wrenfield\\CorIpx\\FrontDesk";
  const std::pair<const char*, std::string> values[] = {
      {"Address", ipx.substr(0, 12)}, {"NetAddress", ipx.substr(12, 28)}, {"AdapterType", "02"}, {"PortType", "0100"}};
  for (const auto& [value, hex] : values) {
    wf::testing::ChildProcess wfreg("wfreg", {"set", key, value, "binary", hex});
    EXPECT_EQ(wfreg.waitExit(), 0) << value;
  }
  ASSERT_EQ(app->enumerate(BCE_NET_IPX | BCE_NET_FORCE).first, BCE_OK);
  ASSERT_EQ(app->names(vireo, BCE_NET_IPX).second, "FrontDesk");

  std::string sent(2500, '\0');
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i % 251);
  ASSERT_EQ(app->startDoc(vireo, BCE_NET_IPX), BCE_OK);
  ASSERT_EQ(app->write(vireo, BCE_NET_IPX, sent.size()), BCE_OK);
  ASSERT_EQ(app->endDoc(vireo, BCE_NET_IPX), BCE_OK);
  std::vector<std::string> jobs;
  EXPECT_TRUE(wf::testing::eventually([&] {
    jobs = printerJobs();
    return !jobs.empty() && jobs.back().size() >= sent.size();
  }));
  ASSERT_FALSE(jobs.empty());
  EXPECT_TRUE(jobs.back() == sent) << "the job holds " << jobs.back().size() << " bytes";

  const std::size_t before = sim.adapter("PB")->ipxJobData(1).size();
  ASSERT_EQ(app->startDoc(vireo, BCE_NET_IPX), BCE_OK);
  ASSERT_EQ(app->write(vireo, BCE_NET_IPX, sent.size(), true), BCE_OK);
  ASSERT_EQ(app->endDoc(vireo, BCE_NET_IPX), BCE_OK);
  const auto stream = sim.adapter("PB")->ipxJobData(1);
  ASSERT_EQ(stream.size(), before + sent.size());
  EXPECT_TRUE(std::equal(sent.begin(), sent.end(), stream.begin() + static_cast<std::ptrdiff_t>(before),
                         [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }))
      << "the raw job as written";
}

// From a secondary: the available ports, a nickname, the port's summary, a
// new adapter name and the address check.
TEST_F(CorIpxPrinterEndToEnd, ASecondaryReadsAndChangesTheAdaptersItems) {
  const std::uint16_t vireo = findVireo();
  ASSERT_NE(vireo, 0);
  secondary = std::make_unique<PrtObjApp>();
  ASSERT_GT(secondary->registerApp(), BCE_PRIMARY_APP_ID);
  ASSERT_EQ(secondary->enumerate(BCE_NET_IPX).first, BCE_OK);

  const auto ports = secondary->ipxItem("ipxports");
  ASSERT_FALSE(ports.empty());
  EXPECT_EQ(ports[0], "0");
  EXPECT_NE(std::find(ports.begin(), ports.end(), "PORTBAY_1/1"), ports.end()) << "PB's port 1 is available";

  const std::string node = app->node(vireo);
  ASSERT_EQ(secondary->ipxItem("ipxnick " + node + " 2 1 DeskTwo"), std::vector<std::string>{"0"});
  const auto after = secondary->ipxItem("ipxports");
  EXPECT_EQ(std::find(after.begin(), after.end(), "PORTBAY_1/1"), after.end()) << "named now";
  ASSERT_EQ(app->enumerate(BCE_NET_IPX | BCE_NET_FORCE).first, BCE_OK);
  EXPECT_EQ(app->names(vireo, BCE_NET_IPX).second, "DeskTwo");

  const auto summary = secondary->ipxItem("ipxget " + std::to_string(vireo) + " 135");
  ASSERT_EQ(summary.size(), 3u);
  EXPECT_EQ(summary[0], "0");
  EXPECT_EQ(summary[1], "10");
  EXPECT_EQ(summary[2].substr(0, 8), "02020201") << "class 2, a parallel port, media 2, supervisor";

  // PB's three printers each get a change message.
  ASSERT_EQ(secondary->ipxItem("ipxname " + std::to_string(vireo) + " FRONTDESK"), std::vector<std::string>{"0"});
  const auto posts = app->posts(3, WM_BCE_PRINTER_CHANGED);
  std::set<std::uint32_t> changed;
  for (const auto& p : posts) changed.insert(p.wParam);
  EXPECT_EQ(changed.size(), 3u) << "one change for each port's printer";
  EXPECT_EQ(app->names(vireo, BCE_NET_IPX).first, "FRONTDESK");

  EXPECT_EQ(secondary->ipxItem("ipxcheck " + node), std::vector<std::string>{std::to_string(0xFB95)});
  EXPECT_EQ(secondary->ipxItem("ipxcheck 020000000046"), std::vector<std::string>{std::to_string(0xFB96)});
}

// The main program offscreen on the same world lists the adapter's printers
// in its first printer window (read from its UI snapshot).
TEST_F(CorIpxEndToEnd, TheMainProgramListsThePrinterBehindTheAdapter) {
  const fs::path snapshot = fs::path(::getenv("WRENFIELD_ROOT")) / "ui.snapshot";
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::setenv("WRENFIELD_UI_SNAPSHOT", snapshot.c_str(), 1);
  // wrenfld becomes the primary: this test's helper leaves first.
  const int status = app->quit();
  app.reset();
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  wf::testing::ChildProcess wrenfld("wrenfld");
  auto listsPortBay = [&] {
    std::ifstream in(snapshot);
    std::string line;
    bool firstWindow = false;
    int windows = 0;
    while (std::getline(in, line)) {
      if (line.rfind("window\t", 0) == 0) firstWindow = ++windows == 1;
      if (firstWindow && line.rfind("row\t", 0) == 0 && line.find("\tPORTBAY_1\t") != std::string::npos)
        return true;
    }
    return false;
  };
  EXPECT_TRUE(wf::testing::eventually(listsPortBay, 60000));
  wrenfld.kill(SIGTERM);
  EXPECT_EQ(wrenfld.waitExit(), 0);
  ::unsetenv("WRENFIELD_UI_SNAPSHOT");
}

}  // namespace
}  // namespace coripxe2e
