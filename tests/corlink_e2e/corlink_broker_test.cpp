// CorLink printers through the real broker: wf-corlink-sim plays the world's
// servers in a process of its own, the broker with CORCL32 runs in helper
// processes (primary and secondary), and the neighbourhood is read from the
// same scenario.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "broker/corbce.h"
#include "child_process.h"
#include "eventually.h"
#include "platform/clock.h"
#include "platform/registry.h"
#include "prtobj_app.h"
#include "test_dirs.h"

namespace fs = std::filesystem;

namespace corlinkbroker {
namespace {

using prtobje2e::PrtObjApp;
using wf::testing::ChildProcess;

constexpr const char* kStartUp = "SOFTWARE\\Corvane\\Wrenfield\\CorLink\\StartUp Options";

void startUpValue(const char* name, wf::DWORD type, const std::string& bytes) {
  wf::HKEY key = nullptr;
  ASSERT_EQ(wf::RegCreateKeyExA(wf::HKEY_LOCAL_MACHINE, kStartUp, 0, nullptr, wf::REG_OPTION_NON_VOLATILE,
                                wf::KEY_ALL_ACCESS, nullptr, &key, nullptr),
            wf::ERROR_SUCCESS);
  wf::RegSetValueExA(key, name, 0, type, reinterpret_cast<const wf::BYTE*>(bytes.data()),
                     static_cast<wf::DWORD>(bytes.size()));
  wf::RegCloseKey(key);
}

// The world's file with its adapters found from anywhere and its print data kept.
fs::path worldWithJobs(const fs::path& jobs) {
  std::ifstream in(WF_CORLINK_WORLD);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  const std::string relative = "adapters = ../profiles";
  const auto at = text.find(relative);
  EXPECT_NE(at, std::string::npos);
  const fs::path profiles = fs::path(WF_CORLINK_WORLD).parent_path() / ".." / "profiles";
  const fs::path out = wf::testing::testDataRoot() / "corlink-world.scenario";
  std::ofstream(out) << text.substr(0, at) << "adapters = " << profiles.string() << "\njobs = " << jobs.string()
                     << text.substr(at + relative.size());
  return out;
}

std::string kept(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class CorLinkBroker : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(jobs_);
    fs::permissions(wf::testing::testDataRoot(), fs::perms::owner_all, fs::perm_options::replace);
    world_ = worldWithJobs(jobs_);
    ::setenv("WRENFIELD_SCENARIO", world_.c_str(), 1);
    ::setenv("WRENFIELD_TIME_SCALE", "0.2", 1);
    wf::setTimeScaleForTest(0.2);
    startUpValue("Enumerate Domain", wf::REG_DWORD, std::string("\x01\0\0\0", 4));
    startUpValue("Domains", wf::REG_SZ, std::string("CORPDOM\0", 8));
    startServers();
  }
  void TearDown() override {
    for (auto* a : {&secondary, &app})
      if (*a) {
        const int status = (*a)->quit();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a helper did not end cleanly";
      }
    if (servers) {
      servers->call("quit", 100);
      EXPECT_EQ(servers->waitExit(), 0);
    }
  }
  void startServers() {
    servers = std::make_unique<ChildProcess>("wf-corlink-sim", std::vector<std::string>{world_.string()});
    ASSERT_EQ(servers->readLine(), "ready");
  }
  std::string serverLine(const std::string& line) { return servers->call(line); }

  // The primary with every CorLink printer enumerated: nickname -> handle.
  std::map<std::string, std::uint16_t> startPrimary() {
    app = std::make_unique<PrtObjApp>();
    EXPECT_EQ(app->registerApp(), BCE_PRIMARY_APP_ID);
    const auto [rc, found] = app->enumerate(BCE_NET_CORLINK | BCE_NET_FORCE);
    EXPECT_EQ(rc, BCE_OK);
    std::map<std::string, std::uint16_t> byName;
    for (const auto& [name, handle] : found) byName[app->nameOn(handle, BCE_NET_CORLINK)] = handle;
    return byName;
  }

  const fs::path jobs_ = wf::testing::testDataRoot() / "jobs";
  fs::path world_;
  std::unique_ptr<ChildProcess> servers;
  std::unique_ptr<PrtObjApp> app, secondary;
};

TEST_F(CorLinkBroker, TheBrokerEnumeratesThePrintersBehindTheServers) {
  const auto printers = startPrimary();
  // SRV1's queue lists (ALICE administers it) and SRV2's Keystone by its connection.
  std::set<std::string> names;
  std::set<std::uint16_t> handles;
  for (const auto& [name, handle] : printers) {
    names.insert(name);
    handles.insert(handle);
  }
  EXPECT_EQ(names, (std::set<std::string>{"CHROMA", "GENERIC", "KEYSTONE", "PAGECREST", "SERIAL7390", "VIREO1",
                                          "VIREO2"}));
  EXPECT_EQ(*handles.begin(), 101);
  EXPECT_EQ(app->node(printers.at("VIREO1")), "0000C0010203");
  EXPECT_EQ(app->node(printers.at("KEYSTONE")), "0000C0020304");
  // A second walk finds the same printers under the same handles.
  const auto [again, refound] = app->enumerate(BCE_NET_CORLINK | BCE_NET_FORCE);
  ASSERT_EQ(again, BCE_OK);
  std::set<std::uint16_t> rehandles;
  for (const auto& [name, handle] : refound) rehandles.insert(handle);
  EXPECT_EQ(rehandles, handles);
}

TEST_F(CorLinkBroker, ARequestObjectReadsTheVireoAlsoInSmallReplyFrames) {
  const auto printers = startPrimary();
  const std::uint16_t vireo = printers.at("VIREO1");
  ASSERT_TRUE(app->object(vireo, 1));
  const auto chars = app->chars(vireo);
  EXPECT_EQ(chars.rc, BCE_OK);
  EXPECT_EQ(chars.model, "Vireo 10");
  EXPECT_FALSE(chars.revision.empty());
  ASSERT_EQ(serverLine("SRV1.reply-frame = 64"), "ok");
  EXPECT_EQ(app->chars(vireo), chars);
}

TEST_F(CorLinkBroker, AJamRaisedBehindTheServerReachesASecondApplicationsWindow) {
  const auto printers = startPrimary();
  const std::uint16_t vireo = printers.at("VIREO1");
  ASSERT_TRUE(app->object(vireo, 1));
  secondary = std::make_unique<PrtObjApp>();
  ASSERT_GT(secondary->registerApp(), BCE_PRIMARY_APP_ID);
  ASSERT_EQ(secondary->enumerate(BCE_NET_CORLINK).first, BCE_OK);
  ASSERT_TRUE(secondary->object(vireo, 1));
  ASSERT_EQ(secondary->capture(vireo, 0x4), BCE_OK);
  ASSERT_EQ(serverLine("SRV1.raise-status = VIREO1 4"), "ok");
  const auto posts = secondary->posts(1, WM_BCE_DSA_ALERT);
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].lParam, 0x4u);
  EXPECT_EQ(posts[0].wParam & 0xFFFF, vireo);
}

TEST_F(CorLinkBroker, PrintDataArrivesWholeAsOneJobAndTheAddressFindsThePrinterAgain) {
  const auto printers = startPrimary();
  const std::uint16_t vireo = printers.at("VIREO1");
  // Both writes reach the printer's one open job, each byte in order.
  const fs::path file = jobs_ / "SRV1.VIREO1.1.prn";
  std::string sent;
  for (const std::size_t size : {std::size_t{2500}, std::size_t{65536}}) {
    SCOPED_TRACE(size);
    ASSERT_EQ(app->write(vireo, BCE_NET_CORLINK, size), BCE_OK);
    for (std::size_t i = 0; i < size; ++i) sent += static_cast<char>(i % 251);
    EXPECT_TRUE(wf::testing::eventually([&] { return kept(file).size() >= sent.size(); }));
    EXPECT_TRUE(kept(file) == sent) << "the job holds " << kept(file).size() << " bytes";
  }
  const auto [networks, found] = app->findAgain(vireo, BCE_NET_CORLINK);
  EXPECT_EQ(networks, static_cast<long>(BCE_NET_CORLINK));
  EXPECT_EQ(found, std::vector<std::uint16_t>{vireo});
}

TEST_F(CorLinkBroker, AServerThatGoesAwayIsUsedAgainWhenItComesBack) {
  const auto printers = startPrimary();
  const std::uint16_t vireo = printers.at("VIREO1");
  ASSERT_TRUE(app->object(vireo, 1));
  // Page counts are asked afresh each time, never from the object's cache.
  const auto pages = app->pages(vireo);
  ASSERT_EQ(pages.rc, BCE_OK);
  ASSERT_EQ(serverLine("SRV1.down"), "ok");
  EXPECT_NE(app->pages(vireo).rc, BCE_OK);
  ASSERT_EQ(serverLine("SRV1.up"), "ok");
  // The failure switched the object's requests off: a fresh object asks again.
  ASSERT_TRUE(app->object(vireo, 1));
  EXPECT_EQ(app->pages(vireo), pages);

  // Killed and started again: the same, and a jam raised then reaches a window (a new alert reader).
  servers->kill(SIGKILL);
  servers->waitExit();
  servers.reset();
  EXPECT_NE(app->pages(vireo).rc, BCE_OK);
  startServers();
  ASSERT_TRUE(app->object(vireo, 1));
  EXPECT_EQ(app->pages(vireo).rc, BCE_OK);
  ASSERT_EQ(app->capture(vireo, 0x4), BCE_OK);
  // The program takes up its end of the new alert pipe a moment after the
  // connect returned; a jam raised before that reaches no one, so raise again.
  std::vector<prtobje2e::Post> posts;
  for (int attempt = 0; attempt < 5 && posts.empty(); ++attempt) {
    ASSERT_EQ(serverLine("SRV1.raise-status = VIREO1 4"), "ok");
    posts = app->posts(1, WM_BCE_DSA_ALERT);
  }
  ASSERT_FALSE(posts.empty());
  EXPECT_EQ(posts[0].wParam & 0xFFFF, vireo);
}

TEST_F(CorLinkBroker, WfPrintersListsTheCorLinkPrinters) {
  ChildProcess tool("wf-printers", {"--corlink"});
  std::string out;
  for (std::string line = tool.readLine(); line.rfind("err ", 0) != 0; line = tool.readLine()) out += line + "\n";
  const int status = tool.waitExit();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
  EXPECT_NE(out.find("local and CorLink enumeration: result 0"), std::string::npos) << out;
  for (const char* name : {"VIREO1", "VIREO2", "PAGECREST", "KEYSTONE"})
    EXPECT_NE(out.find(std::string(" on ") + name + " (CorLink)"), std::string::npos) << name << "\n" << out;
  EXPECT_NE(out.find("model Vireo 10,"), std::string::npos) << out;
}

}  // namespace
}  // namespace corlinkbroker
