// CORIPX32 end to end: the real broker in a helper process loads the IPX
// transport by file name; wf-adapter-sim plays the CorLink-over-IPX world.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "broker/corbce.h"
#include "child_process.h"
#include "platform/clock.h"
#include "prtobj_app.h"

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

}  // namespace
}  // namespace coripxe2e
