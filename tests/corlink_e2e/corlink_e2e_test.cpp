// CORCL32 end to end in the CorLink world: its servers played by
// wf-corlink-sim in a process of their own, the network neighbourhood read
// from the same scenario; the transport core here, and the real broker with
// CORCL32 in helper processes.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "broker/corbce.h"
#include "child_process.h"
#include "corlink_transport.h"
#include "eventually.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "test_dirs.h"

namespace fs = std::filesystem;

namespace corlinke2e {
namespace {

using wf::corlink::CorLinkTransport;
using wf::corlink::PipeKind;
using wf::corlink::PortBlock;
using wf::corlink::ServerEntry;
using wf::testing::ChildProcess;

const PortBlock kVireo = {{0x00, 0x00, 0xC0, 0x01, 0x02, 0x03}, 0, 1, 1, 3};

void setDword(const char* name, std::uint32_t value) {
  wf::HKEY key = nullptr;
  ASSERT_EQ(wf::RegCreateKeyExA(wf::HKEY_LOCAL_MACHINE, wf::corlink::kStartUpKey, 0, nullptr,
                                wf::REG_OPTION_NON_VOLATILE, wf::KEY_ALL_ACCESS, nullptr, &key, nullptr),
            wf::ERROR_SUCCESS);
  const wf::BYTE bytes[4] = {static_cast<wf::BYTE>(value), 0, 0, 0};
  wf::RegSetValueExA(key, name, 0, wf::REG_DWORD, bytes, 4);
  wf::RegCloseKey(key);
}

void setText(const char* name, const std::string& text) {
  wf::HKEY key = nullptr;
  ASSERT_EQ(wf::RegCreateKeyExA(wf::HKEY_LOCAL_MACHINE, wf::corlink::kStartUpKey, 0, nullptr,
                                wf::REG_OPTION_NON_VOLATILE, wf::KEY_ALL_ACCESS, nullptr, &key, nullptr),
            wf::ERROR_SUCCESS);
  wf::RegSetValueExA(key, name, 0, wf::REG_SZ, reinterpret_cast<const wf::BYTE*>(text.c_str()),
                     static_cast<wf::DWORD>(text.size() + 1));
  wf::RegCloseKey(key);
}

// The list's text as another process reads the registry.
std::string listText(const char* name) {
  wf::HKEY key = nullptr;
  if (wf::RegOpenKeyExA(wf::HKEY_LOCAL_MACHINE, wf::corlink::kStartUpKey, 0, wf::KEY_READ, &key) !=
      wf::ERROR_SUCCESS)
    return "<no key>";
  char text[1100] = {};
  wf::DWORD type = 0, size = sizeof text;
  wf::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<wf::BYTE*>(text), &size);
  wf::RegCloseKey(key);
  return text;
}

class CorLinkEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("WRENFIELD_SCENARIO", WF_CORLINK_WORLD, 1);
    // The data root stays private, as the registry below it requires.
    fs::create_directories(log_.parent_path());
    fs::permissions(log_.parent_path(), fs::perms::owner_all, fs::perm_options::replace);
    startServers();
  }
  void TearDown() override {
    transport_.reset();
    for (auto* app : {&secondary_, &primary_})
      if (*app) (*app)->call("quit", 100);
    if (servers_) {
      servers_->call("quit", 100);
      EXPECT_EQ(servers_->waitExit(), 0);
    }
  }

  void startServers() {
    servers_ = std::make_unique<ChildProcess>("wf-corlink-sim", std::vector<std::string>{WF_CORLINK_WORLD});
    ASSERT_EQ(servers_->readLine(), "ready");
    ASSERT_EQ(servers_->call("log = " + log_.string()), "ok");
  }

  // The simulator's log lines of SRV1's request pipe since `from`.
  std::vector<std::string> requestLines(std::size_t from = 0) {
    std::ifstream in(log_);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);)
      if (line.rfind("SRV1 ", 0) == 0 && line.find(" request ") != std::string::npos) out.push_back(line);
    return std::vector<std::string>(out.begin() + static_cast<std::ptrdiff_t>(std::min(from, out.size())), out.end());
  }

  CorLinkTransport& start() {
    setDword(wf::corlink::kValueLoggingLevel, 0xFF);
    transport_ = CorLinkTransport::start();
    if (!transport_) throw std::runtime_error("the transport did not start");
    return *transport_;
  }

  std::unique_ptr<ChildProcess> app() {
    auto child = std::make_unique<ChildProcess>(ChildProcess::withCommands("corlink"));
    child->call("register");
    return child;
  }

  const fs::path log_ = wf::testing::testDataRoot() / "corlink.log";
  std::unique_ptr<ChildProcess> servers_, primary_, secondary_;
  std::unique_ptr<CorLinkTransport> transport_;
};

TEST_F(CorLinkEndToEnd, TheCoreTalksToTheServerProgram) {
  CorLinkTransport& t = start();
  ServerEntry* srv1 = t.servers().connect("SRV1");
  ASSERT_TRUE(srv1);
  t.servers().checkAdministrator(*srv1);
  EXPECT_TRUE(srv1->admin);
  // The version check, then the administrator check, each frame acknowledged.
  ASSERT_TRUE(wf::testing::eventually([&] { return requestLines().size() >= 6; }));
  const auto lines = requestLines();
  EXPECT_EQ(lines[0], "SRV1 in request 0009027F0020000000");
  EXPECT_EQ(lines[1], "SRV1 out request 0009027F0020800000");
  EXPECT_EQ(lines[2], "SRV1 in request 000E02020020000000414C494345");
  EXPECT_EQ(lines[3], "SRV1 out request 000902020020800000");
  EXPECT_EQ(lines[4], "SRV1 out request 000A0202002000000001") << "ALICE administers SRV1";
  EXPECT_EQ(lines[5], "SRV1 in request 000902020020800000") << "the client's acknowledgement";

  // Every port of the server (six) in one reply over two frames.
  ASSERT_EQ(t.servers().sendRequest(*srv1, nullptr, nullptr, 0, wf::corlink::kCmdPorts), 0u);
  wf::corlink::Bytes records;
  ASSERT_EQ(t.servers().readReply(*srv1, &records), 0u);
  EXPECT_EQ(records.size(), 6 * 109u);

  // SRV3's program is too old: dropped.
  EXPECT_EQ(t.servers().connect("SRV3"), nullptr);
  EXPECT_EQ(t.servers().find("SRV3"), nullptr);
}

TEST_F(CorLinkEndToEnd, AServerThatGoesAwayIsReconnected) {
  CorLinkTransport& t = start();
  ServerEntry* srv1 = t.servers().connect("SRV1");
  ASSERT_TRUE(srv1);
  auto nickname = [&] {
    if (t.servers().sendRequest(*srv1, &kVireo, nullptr, 0, wf::corlink::kCmdNickname) != 0) return std::string("-");
    wf::corlink::Bytes reply;
    if (t.servers().readReply(*srv1, &reply) != 0 || reply.empty()) return std::string("-");
    return std::string(reinterpret_cast<const char*>(reply.data()));
  };
  EXPECT_EQ(nickname(), "VIREO1");

  ASSERT_EQ(servers_->call("SRV1.down"), "ok");
  EXPECT_EQ(nickname(), "-");
  EXPECT_FALSE(srv1->connected);
  ASSERT_EQ(servers_->call("SRV1.up"), "ok");
  EXPECT_EQ(nickname(), "VIREO1");
  EXPECT_TRUE(srv1->connected);
  EXPECT_TRUE(srv1->thread.joinable()) << "a new alert reader";

  // The same when the program is killed and started again.
  servers_->kill(SIGKILL);
  servers_.reset();
  EXPECT_EQ(nickname(), "-");
  startServers();
  const std::size_t before = requestLines().size();
  EXPECT_EQ(nickname(), "VIREO1");
  const auto after = requestLines(before);
  EXPECT_TRUE(std::none_of(after.begin(), after.end(),
                           [](const std::string& l) { return l.find("request 0009027F") != std::string::npos; }))
      << "no version check on reconnection";
}

TEST_F(CorLinkEndToEnd, DiscoveryFindsTheWorldsServersButNeverItself) {
  setDword(wf::corlink::kValueEnumerateDomain, 1);
  setText(wf::corlink::kValueDomains, "CORPDOM");
  CorLinkTransport& t = start();
  ASSERT_TRUE(t.discover());
  auto names = t.servers().names();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"SRV1", "SRV2", "SRV4", "SRV5"}));
  EXPECT_TRUE(t.servers().find("SRV1")->adminPipe) << "ALICE administers SRV1";
  EXPECT_FALSE(t.servers().find("SRV2")->admin);
}

TEST_F(CorLinkEndToEnd, TheBrokersApplicationsEditTheServerLists) {
  setText(wf::corlink::kValueDomains, "CORPDOM");
  setText(wf::corlink::kValueServers, "SRV2");
  primary_ = app();
  const auto nets = primary_->ask("nets");
  EXPECT_EQ(nets.number(0), BCE_OK);
  EXPECT_EQ(nets.number(1) & BCE_NET_CORLINK, BCE_NET_CORLINK);

  secondary_ = app();
  EXPECT_EQ(secondary_->call("lists"), "ok 0 D:CORPDOM S:SRV2") << "domains first";
  EXPECT_EQ(secondary_->call("edit 3 2 SRV9"), "ok 0");
  EXPECT_EQ(listText(wf::corlink::kValueServers), "SRV2,SRV9");
  EXPECT_EQ(secondary_->call("edit 3 2 srv9"), "ok 0");
  EXPECT_EQ(listText(wf::corlink::kValueServers), "SRV2,SRV9") << "present: no change";
  EXPECT_EQ(secondary_->call("edit 4 2 SRV2"), "ok 0");
  EXPECT_EQ(listText(wf::corlink::kValueServers), "SRV9");
  EXPECT_EQ(secondary_->call("edit 4 1 CORPDOM"), "ok 0");
  EXPECT_EQ(listText(wf::corlink::kValueDomains), "");
  EXPECT_EQ(secondary_->call("lists"), "ok 0 S:SRV9");

  EXPECT_EQ(secondary_->call("flags-set 1 1"), "ok 0");
  EXPECT_EQ(secondary_->call("flags-get"), "ok 0 1 1");
  EXPECT_EQ(secondary_->call("flags-set 0 1"), "ok 0");
  EXPECT_EQ(secondary_->call("flags-get"), "ok 0 0 1");
}

TEST_F(CorLinkEndToEnd, AnUnwritableLogLeavesTheBrokerWithoutCorLink) {
  setDword(wf::corlink::kValueLoggingLevel, 0x20);
  const auto logPath = wf::mapSystemPath("C:\\CORCL32.LOG");
  ASSERT_TRUE(logPath);
  fs::create_directories(*logPath);  // a directory where the file should be
  primary_ = app();
  const auto nets = primary_->ask("nets");
  EXPECT_EQ(nets.number(0), BCE_OK);
  EXPECT_EQ(nets.number(1) & BCE_NET_CORLINK, 0);
}

}  // namespace
}  // namespace corlinke2e
