// wf-world end to end: it starts the simulators of the network world as
// processes of their own and ends them all, refuses a bad world before
// anything runs, and the real broker, in helper processes, sees the printers
// of every transport it plays.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "broker/corbce.h"
#include "child_process.h"
#include "platform/clock.h"
#include "prtobj_app.h"
#include "test_dirs.h"

namespace fs = std::filesystem;

namespace worlde2e {
namespace {

using prtobje2e::PrtObjApp;
using wf::testing::ChildProcess;

const fs::path kNetworkWorld = fs::path(WF_SIM_SCENARIO_DIR) / "network-world.scenario";
const fs::path kProfiles = fs::path(WF_SIM_SCENARIO_DIR) / ".." / "profiles";

// The name of each live process whose parent is `parent`, by pid.
std::map<pid_t, std::string> childrenOf(pid_t parent) {
  std::map<pid_t, std::string> names;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string text;
    if (!std::getline(stat, text)) continue;
    // pid (comm) state ppid ...
    const auto close = text.rfind(')');
    const auto open = text.find('(');
    if (close == std::string::npos || open == std::string::npos) continue;
    char state = 0;
    long ppid = 0;
    if (std::sscanf(text.c_str() + close + 1, " %c %ld", &state, &ppid) != 2) continue;
    if (ppid == parent && state != 'Z') names[std::stoi(text)] = text.substr(open + 1, close - open - 1);
  }
  return names;
}

// Live processes whose command line holds `text`.
int processesMentioning(const std::string& text) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream in(entry.path() / "cmdline", std::ios::binary);
    const std::string line((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (line.find(text) != std::string::npos) ++count;
  }
  return count;
}

const std::multiset<std::string> kEverySimulator{"wf-adapter-sim", "wf-corlink-sim", "wf-peer-sim",
                                                 "wf-printer-sim"};

class WorldEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("WRENFIELD_TIME_SCALE", "0.2", 1);
    ::setenv("WRENFIELD_SCENARIO", kNetworkWorld.c_str(), 1);
    wf::setTimeScaleForTest(0.2);
  }
  void TearDown() override {
    if (secondary) {
      EXPECT_EQ(secondary->quit() & 0x7F, 0) << "the secondary was killed";
    }
    if (app) {
      const int status = app->quit();
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the helper did not end cleanly";
    }
    if (world) {
      world->call("quit", 100);
      EXPECT_EQ(world->waitExit(), 0);
    }
  }
  void startWorld() {
    world = std::make_unique<ChildProcess>("wf-world", std::vector<std::string>{kNetworkWorld.string()});
    ASSERT_EQ(world->readLine(), "ready");
  }
  // A world of its own in the test's data directory; its unique name finds its simulators.
  fs::path writeWorld(const std::string& name, const std::string& text) {
    const fs::path file = ownDirectory() / (name + "-" + std::to_string(::getpid()) + ".scenario");
    std::ofstream(file) << text;
    return file;
  }

  // Beside the test's runtime and data directories, so the data root stays the registry's alone.
  static fs::path ownDirectory() {
    const fs::path dir = wf::testing::testRuntimeDir().parent_path() / "worlds";
    fs::create_directories(dir);
    return dir;
  }

  std::unique_ptr<ChildProcess> world;
  std::unique_ptr<PrtObjApp> app, secondary;
};

TEST_F(WorldEndToEnd, EverySimulatorRunsAndAnswersThroughTheWorld) {
  startWorld();
  std::multiset<std::string> running;
  for (const auto& [pid, name] : childrenOf(world->pid())) running.insert(name);
  EXPECT_EQ(running, kEverySimulator);
  // Each answer comes from its own simulator: they refuse the same bad line in their own words.
  EXPECT_EQ(world->call("printer: LPT5.model = Corvane Test"), "printer: ok");
  const auto adapter = world->call("adapter: bogus");
  const auto corlink = world->call("corlink: bogus");
  const auto peer = world->call("peer: bogus");
  for (const auto& [answer, prefix] :
       {std::pair{adapter, "adapter: err "}, {corlink, "corlink: err "}, {peer, "peer: err "}})
    EXPECT_EQ(answer.rfind(prefix, 0), 0u) << answer;
  EXPECT_NE(adapter.substr(adapter.find(':')), corlink.substr(corlink.find(':')));
  EXPECT_EQ(world->call("scanner: LPT1 = x").rfind("err ", 0), 0u);
}

TEST_F(WorldEndToEnd, QuitAndTheStopSignalsEndEverySimulator) {
  for (const int how : {0, SIGINT, SIGTERM}) {
    SCOPED_TRACE(how);
    startWorld();
    const pid_t pid = world->pid();
    const auto simulators = childrenOf(pid);
    ASSERT_EQ(simulators.size(), kEverySimulator.size());
    if (how == 0) {
      world->call("quit", 100);
    } else {
      ::kill(pid, how);
    }
    const int status = world->waitExit();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    world.reset();
    for (const auto& [child, name] : simulators)
      EXPECT_TRUE(::kill(child, 0) == -1 && errno == ESRCH) << name << " outlived wf-world";
  }
}

TEST_F(WorldEndToEnd, ABadWorldStopsItNamingTheLineOrTheSimulator) {
  const std::string printers =
      "[printers]\nprofiles = " + kProfiles.string() + "\nLPT1 = generic-7301.profile\n";
  struct Case {
    const char* name;
    std::string text;
    const char* named;  // in the error line
  } const cases[] = {
      {"hive", printers + "[world.registry]\nHKXX | SOFTWARE\\A | b | sz | c\n", "unknown hive 'HKXX'"},
      {"type", printers + "[world.registry]\nHKLM | SOFTWARE\\A | b | qword | 1\n", "type 'qword'"},
      {"fields", printers + "[world.registry]\nHKLM | SOFTWARE\\A | b\n", "hive | key | value | type | data"},
      {"profile", printers + "[ipx.adapters]\nadapters = " + kProfiles.string() + "\nX = gone.adapter\n",
       "wf-adapter-sim: [ipx.adapters] line 2: cannot read"},
      {"corlink", printers + "[corlink.servers]\nnot a server line\n",
       "wf-corlink-sim: [corlink.servers] line 1"},
      {"peer", printers + "[peers]\nnot a peer line\n", "wf-peer-sim: [peers] line 1"},
      {"printer", "[printers]\nLPT1 = gone.profile\n", "wf-printer-sim: "},
      {"unclosed", "[printers\n", "line 1: section header without ']'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = writeWorld(c.name, c.text);
    ChildProcess bad("wf-world", {file.string()});
    const std::string line = bad.readLine();
    EXPECT_EQ(line.rfind("err ", 0), 0u) << line;
    EXPECT_NE(line.find(c.named), std::string::npos) << line;
    const int status = bad.waitExit();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_EQ(processesMentioning(file.filename().string()), 0) << "a simulator outlived wf-world";
  }
}

TEST_F(WorldEndToEnd, AMissingProgramEndsTheOthersAndIsNamed) {
  // wf-world looks for the simulators beside itself: here only the printer's is.
  const fs::path dir = ownDirectory();
  const fs::path here = fs::read_symlink("/proc/self/exe").parent_path();
  fs::create_symlink(here / "wf-world", dir / "wf-world");
  fs::create_symlink(here / "wf-printer-sim", dir / "wf-printer-sim");
  ChildProcess partial((dir / "wf-world").string(), {kNetworkWorld.string()});
  const std::string line = partial.readLine();
  EXPECT_EQ(line.rfind("err wf-adapter-sim: ", 0), 0u) << line;
  const int status = partial.waitExit();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_EQ(processesMentioning((dir / "wf-printer-sim").string()), 0)
      << "the printer simulator outlived wf-world";
}

TEST_F(WorldEndToEnd, TheBrokerSeesThePrintersOfEveryTransport) {
  startWorld();
  app = std::make_unique<PrtObjApp>();
  ASSERT_EQ(app->registerApp(), BCE_PRIMARY_APP_ID);
  secondary = std::make_unique<PrtObjApp>();
  ASSERT_GT(secondary->registerApp(), BCE_PRIMARY_APP_ID);

  constexpr std::uint32_t kTransports[] = {BCE_NET_NETWARE, BCE_NET_IPX, BCE_NET_PEER};
  const auto [rc, mask] = secondary->nets();
  ASSERT_EQ(rc, BCE_OK);
  for (const auto bit : kTransports) EXPECT_EQ(mask & bit, bit) << bit;

  const auto [localRc, local] = app->enumerate();
  ASSERT_EQ(localRc, BCE_OK);
  EXPECT_FALSE(local.empty()) << "no local printer";

  std::uint32_t every = BCE_NET_FORCE;
  for (const auto bit : kTransports) every |= bit;
  const auto [walked, found] = app->enumerate(every);
  ASSERT_EQ(walked, BCE_OK);
  std::map<std::uint32_t, std::set<std::string>> perTransport;  // names on the transport's network
  std::set<std::uint16_t> handles;
  for (const auto& [name, handle] : found) {
    handles.insert(handle);
    const auto info = app->info(handle);
    EXPECT_EQ(info.rc, BCE_OK) << name;
    for (const auto bit : kTransports)
      if (info.connections & bit) perTransport[bit].insert(app->nameOn(handle, bit));
  }
  for (const auto bit : kTransports) EXPECT_FALSE(perTransport[bit].empty()) << "no printer with bit " << bit;
  // PEER3 is in no workgroup: only the registry's list, written by wf-world, names it.
  EXPECT_EQ(perTransport[BCE_NET_PEER].count("\\\\PEER3\\MONO"), 1u)
      << ::testing::PrintToString(perTransport[BCE_NET_PEER]);

  const auto [again, refound] = app->enumerate(every);
  ASSERT_EQ(again, BCE_OK);
  std::set<std::uint16_t> kept;
  for (const auto& [name, handle] : refound) kept.insert(handle);
  EXPECT_EQ(kept, handles) << "a second walk keeps every handle";
}

// A device-status alert raised through wf-world, one per transport, reaches the secondary's window with its
// handle.
TEST_F(WorldEndToEnd, AnAlertRaisedThroughTheWorldReachesTheSecondary) {
  startWorld();
  app = std::make_unique<PrtObjApp>();
  ASSERT_EQ(app->registerApp(), BCE_PRIMARY_APP_ID);
  constexpr std::uint32_t kAlerting = BCE_NET_NETWARE | BCE_NET_IPX | BCE_NET_PEER;
  const auto [rc, found] = app->enumerate(kAlerting | BCE_NET_FORCE);
  ASSERT_EQ(rc, BCE_OK);
  secondary = std::make_unique<PrtObjApp>();
  ASSERT_GT(secondary->registerApp(), BCE_PRIMARY_APP_ID);
  ASSERT_EQ(secondary->enumerate(kAlerting).first, BCE_OK);

  struct Case {
    std::uint32_t bit;
    const char* name;  // on that network
    unsigned portKind;  // IPX names every port of an adapter alike
    const char* raise;
  } const cases[] = {
      {BCE_NET_NETWARE, "PORTBAY_1_P1", 0, "adapter: PB.raise-status = 1 4"},
      {BCE_NET_IPX, "PORTBAY_M1", 1, "adapter: PM.raise-status = 1 4"},
      {BCE_NET_PEER, "\\\\PEER1\\LASER", 0, "peer: PEER1.raise-status = 7 0x4"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::uint16_t printer = 0;
    std::set<std::string> names;
    for (const auto& [port, handle] : found) {
      const auto info = app->info(handle);
      if (!(info.connections & c.bit)) continue;
      const auto name = c.bit == BCE_NET_NETWARE ? app->netWareName(handle) : app->nameOn(handle, c.bit);
      names.insert(name);
      if (name == c.name && (c.bit != BCE_NET_IPX || info.portKind == c.portKind)) printer = handle;
    }
    ASSERT_NE(printer, 0) << ::testing::PrintToString(names);
    ASSERT_TRUE(secondary->object(printer, 1));
    ASSERT_EQ(secondary->capture(printer, 0x4), BCE_OK);
    const std::string prefix = std::string(c.raise).substr(0, std::string(c.raise).find(':'));
    ASSERT_EQ(world->call(c.raise), prefix + ": ok");
    const auto posts = secondary->posts(1, WM_BCE_DSA_ALERT);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].wParam & 0xFFFF, printer);
    EXPECT_EQ(posts[0].lParam, 0x4u);
  }
}

}  // namespace
}  // namespace worlde2e
