#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "eventually.h"
#include "platform/byte_codec.h"
#include "platform/dde.h"
#include "platform/runtime_dir.h"
#include "platform/window_messages.h"
#include "protocol/npa.h"
#include "sim/peer/simulator.h"

namespace wf::sim::peer {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::vector<Bytes> gAdvises;
std::size_t gDisconnects = 0;

HDDEDATA peerClientCallback(UINT type, UINT, HCONV, HSZ, HSZ, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
  if (type == XTYP_ADVDATA) {
    Bytes bytes(DdeGetData(data, nullptr, 0, 0));
    DdeGetData(data, bytes.data(), static_cast<DWORD>(bytes.size()), 0);
    gAdvises.push_back(bytes);
    return reinterpret_cast<HDDEDATA>(std::uintptr_t{DDE_FACK});
  }
  if (type == XTYP_DISCONNECT) ++gDisconnects;
  return nullptr;
}

fs::path writeWorld(const std::string& peers) {
  const fs::path file = *dataRoot() / "peer.scenario";
  std::ofstream(file) << "[peers]\nprofiles = " WF_SIM_PROFILE_DIR "\n" << peers;
  return file;
}

const char* kTwoPrinters =
    "PEER1.printer = LASER | 7 | 0003 | meridian-vireo10.profile\n"
    "PEER1.printer = COLOR,COLOR2 | 9 | 0 | meridian-vireo10.profile\n";

// A client of the peers on the test's thread, as the peer transport is.
class PeerSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gAdvises.clear();
    gDisconnects = 0;
    ASSERT_EQ(DdeInitializeA(&inst, peerClientCallback, APPCMD_CLIENTONLY, 0), DMLERR_NO_ERROR);
  }
  void TearDown() override { DdeUninitialize(inst); }

  void start(const std::string& peers) {
    std::string error;
    ASSERT_TRUE(sim.loadScenario(writeWorld(peers), &error)) << error;
  }
  HSZ str(const std::string& s) { return DdeCreateStringHandleA(inst, s.c_str(), CP_WINANSI); }
  HCONV connect(const std::string& peer) {
    return DdeConnect(inst, str("\\\\" + peer + "\\NDDE$"), str("CORPPS$"), nullptr);
  }
  bool poke(HCONV c, const char* item, const Bytes& data) {
    return DdeClientTransaction(data.data(), static_cast<DWORD>(data.size()), c, str(item), CF_TEXT, XTYP_POKE,
                                5000, nullptr) != nullptr;
  }
  std::optional<Bytes> request(HCONV c, const char* item) {
    HDDEDATA h = DdeClientTransaction(nullptr, 0, c, str(item), CF_TEXT, XTYP_REQUEST, 5000, nullptr);
    if (!h) return std::nullopt;
    Bytes bytes(DdeGetData(h, nullptr, 0, 0));
    DdeGetData(h, bytes.data(), static_cast<DWORD>(bytes.size()), 0);
    DdeFreeDataHandle(h);
    return bytes;
  }
  // Lists printer `index` under local id `localId`; its record.
  std::optional<Bytes> list(HCONV c, std::uint32_t index, std::uint16_t localId) {
    Bytes p(8);
    storeLe32(&p[0], index);
    storeLe16(&p[4], localId);
    if (!poke(c, "ListPrinters", p)) return std::nullopt;
    return request(c, "ListPrinters");
  }
  Bytes writeRequest(std::uint16_t localId, std::string_view data, std::uint32_t capacity) {
    Bytes w(12 + data.size());
    storeLe16(&w[0], localId);
    storeLe32(&w[4], static_cast<std::uint32_t>(data.size()));
    storeLe32(&w[8], capacity);
    std::copy(data.begin(), data.end(), w.begin() + 12);
    return w;
  }
  std::string apply(const std::string& line) {
    std::string error;
    auto answer = sim.apply(line, fs::current_path(), &error);
    return answer ? "ok" + (answer->empty() ? "" : " " + *answer) : "err " + error;
  }
  bool dispatchUntil(const std::function<bool()>& done) {
    return testing::eventually([&] {
      Message m;
      while (peekMessage(m, PeekMode::Remove)) dispatchMessage(m);
      return done();
    });
  }

  DWORD inst = 0;
  PeerSimulator sim;
};

// The device-status request of a host: the printer answers its status.
std::string deviceStatusRequest() {
  using namespace protocol::npa;
  return std::string{char(kStart), 0, 3, char(kFlagRequest | kFlagReply), char(kStatus), char(status::kDevice)};
}

TEST_F(PeerSimTest, ListsItsPrintersWithTheirRecords) {
  start(kTwoPrinters);
  HCONV c = connect("peer1");
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(poke(c, "CorHi", Bytes(10)));
  auto count = request(c, "EnumPrinters");
  ASSERT_TRUE(count && count->size() == 4);
  EXPECT_EQ(loadLe32(count->data()), 2u);
  auto first = list(c, 0, 101);
  ASSERT_TRUE(first && first->size() == 100);
  EXPECT_STREQ(reinterpret_cast<const char*>(first->data() + 6), "LASER");
  EXPECT_EQ(loadLe16(&(*first)[86]), 7);
  EXPECT_EQ(loadLe16(&(*first)[88]), 3);
  auto second = list(c, 1, 102);
  ASSERT_TRUE(second);
  EXPECT_STREQ(reinterpret_cast<const char*>(second->data() + 6), "COLOR,COLOR2");
  EXPECT_EQ(list(c, 2, 103), std::nullopt);
  // Another computer name has no service.
  EXPECT_EQ(connect("PEER2"), nullptr);
}

TEST_F(PeerSimTest, CapturedPrintersAlertThroughTheAdviseLoop) {
  start(kTwoPrinters);
  HCONV c = connect("PEER1");
  ASSERT_TRUE(c && list(c, 0, 101));
  // Not captured: nothing to send.
  EXPECT_EQ(apply("PEER1.raise-status = 7 0x4").substr(0, 3), "err");
  ASSERT_NE(DdeClientTransaction(nullptr, 0, c, str("PrinterAlerts"), CF_TEXT, XTYP_ADVSTART, 5000, nullptr),
            nullptr);
  EXPECT_FALSE(poke(c, "Capture", {0x66, 0}));  // no printer of that local id
  ASSERT_TRUE(poke(c, "Capture", {101, 0}));
  // Each of the ten device-status bits comes back in the two bytes the client maps back.
  struct Case {
    std::uint32_t mask;
    std::uint8_t d0, d1;
  };
  const Case cases[] = {{0x200, 0, 0x02}, {0x100, 0, 0x01}, {0x8, 0x08, 0}, {0x4, 0x04, 0},
                        {0x2, 0x02, 0},   {0x1, 0x01, 0},   {0x80, 0x80, 0}, {0x20, 0x20, 0},
                        {0x40, 0x40, 0},  {0x10, 0x10, 0}};
  for (const auto& k : cases) {
    gAdvises.clear();
    char line[64];
    std::snprintf(line, sizeof line, "PEER1.raise-status = 7 0x%x", k.mask);
    ASSERT_EQ(apply(line), "ok") << line;
    ASSERT_TRUE(dispatchUntil([] { return !gAdvises.empty(); })) << line;
    const Bytes& a = gAdvises[0];
    ASSERT_EQ(a.size(), 11u);
    EXPECT_EQ(loadLe16(&a[0]), 7);
    EXPECT_EQ(loadLe16(&a[2]), 3);
    EXPECT_EQ(loadLe32(&a[4]), kPeerStatusAlert);
    EXPECT_EQ(a[8], k.d0) << line;
    EXPECT_EQ(a[9], k.d1) << line;
  }
  gAdvises.clear();
  ASSERT_EQ(apply("PEER1.raise-alert = 7 2"), "ok");
  ASSERT_TRUE(dispatchUntil([] { return !gAdvises.empty(); }));
  EXPECT_EQ(loadLe32(&gAdvises[0][4]), 1525u);
  EXPECT_EQ(loadLe16(&gAdvises[0][2]), gAdvises[0].size() - 8);
  // Released: the printer alerts nobody.
  ASSERT_TRUE(poke(c, "Release", {101, 0}));
  EXPECT_EQ(apply("PEER1.raise-alert = 7 2").substr(0, 3), "err");
}

TEST_F(PeerSimTest, WritesGoToThePrinterAndTheirRepliesComeBack) {
  start(kTwoPrinters);
  HCONV c = connect("PEER1");
  ASSERT_TRUE(c && list(c, 0, 101));
  ASSERT_TRUE(poke(c, "WriteData", writeRequest(101, deviceStatusRequest(), 200)));
  auto reply = request(c, "WriteData");
  ASSERT_TRUE(reply && reply->size() >= 16);
  const std::uint32_t m = loadLe32(&(*reply)[8]);
  EXPECT_EQ(loadLe16(&(*reply)[12]), 2);
  EXPECT_GT(m, 0u);
  EXPECT_EQ(reply->size(), 16 + m);
  // One answer per write: asked again, none.
  EXPECT_EQ(request(c, "WriteData"), std::nullopt);
  // Longer than the capacity told: cut, status 4.
  ASSERT_TRUE(poke(c, "WriteData", writeRequest(101, deviceStatusRequest(), 2)));
  reply = request(c, "WriteData");
  ASSERT_TRUE(reply);
  EXPECT_EQ(loadLe16(&(*reply)[12]), 4);
  EXPECT_EQ(loadLe32(&(*reply)[8]), 2u);
  // A job: no reply due.
  const std::string job = "\x1b%-12345X@PJL\r\nHello peer\x1b%-12345X";
  ASSERT_TRUE(poke(c, "WriteData", writeRequest(101, job, 200)));
  reply = request(c, "WriteData");
  ASSERT_TRUE(reply);
  EXPECT_EQ(loadLe16(&(*reply)[12]), 2);
  EXPECT_EQ(loadLe32(&(*reply)[8]), 0u);
  EXPECT_EQ(apply("PEER1.jobs = 7").substr(0, 5), "ok 1 ");
  // The data length must match the bytes poked.
  Bytes lying = writeRequest(101, "abc", 0);
  storeLe32(&lying[4], 0x80000000u);
  EXPECT_FALSE(poke(c, "WriteData", lying));
}

TEST_F(PeerSimTest, KnobsAndActions) {
  start(std::string(kTwoPrinters) + "PEER1.poke-fails = 2\nPEER10.printer = P | 1 | 0 | meridian-vireo10.profile\n"
                                    "PEER10.down = 1\n");
  HCONV c = connect("PEER1");
  ASSERT_TRUE(c && list(c, 0, 101));
  EXPECT_FALSE(poke(c, "WriteData", writeRequest(101, "x", 0)));
  EXPECT_FALSE(poke(c, "WriteData", writeRequest(101, "x", 0)));
  EXPECT_TRUE(poke(c, "WriteData", writeRequest(101, "x", 0)));

  ASSERT_EQ(apply("PEER1.reply-status = 3"), "ok");
  ASSERT_EQ(apply("PEER1.reply-beyond = 1"), "ok");
  ASSERT_TRUE(poke(c, "WriteData", writeRequest(101, deviceStatusRequest(), 200)));
  auto reply = request(c, "WriteData");
  ASSERT_TRUE(reply);
  EXPECT_EQ(loadLe16(&(*reply)[12]), 3);
  EXPECT_GT(16 + loadLe32(&(*reply)[8]), reply->size());

  ASSERT_EQ(apply("PEER1.count = 12"), "ok");
  EXPECT_EQ(loadLe32(request(c, "EnumPrinters")->data()), 12u);
  ASSERT_EQ(apply("PEER1.enum-fails = 1"), "ok");
  EXPECT_EQ(request(c, "EnumPrinters"), std::nullopt);
  ASSERT_EQ(apply("PEER1.list-fails-at = 1"), "ok");
  EXPECT_EQ(list(c, 1, 102), std::nullopt);
  ASSERT_EQ(apply("PEER1.unterminated-share = 1"), "ok");
  auto record = list(c, 0, 101);
  ASSERT_TRUE(record);
  EXPECT_EQ(std::count(record->begin() + 6, record->begin() + 86, 0), 0);

  EXPECT_EQ(connect("PEER10"), nullptr);
  ASSERT_EQ(apply("PEER10.down = 0"), "ok");
  HCONV ten = connect("PEER10");
  EXPECT_NE(ten, nullptr);
  ASSERT_EQ(apply("PEER1.disconnect"), "ok");
  ASSERT_TRUE(dispatchUntil([] { return gDisconnects == 1; }));
  ASSERT_EQ(apply("PEER10.down = 1"), "ok");
  ASSERT_TRUE(dispatchUntil([] { return gDisconnects == 2; }));
  EXPECT_EQ(connect("PEER10"), nullptr);
  EXPECT_TRUE(sim.waitForLog("PEER1 poke WriteData", 1000));
}

TEST_F(PeerSimTest, ASilentPeerAnswersOnlyOnceItSpeaksAgain) {
  start(std::string(kTwoPrinters) + "PEER1.silent = 1\n");
  HCONV c = connect("PEER1");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(DdeClientTransaction(nullptr, 0, c, str("EnumPrinters"), CF_TEXT, XTYP_REQUEST, 200, nullptr), nullptr);
  EXPECT_EQ(DdeGetLastError(inst), DMLERR_DATAACKTIMEOUT);
  ASSERT_EQ(apply("PEER1.silent = 0"), "ok");
  EXPECT_TRUE(poke(c, "CorHi", {}));
  EXPECT_TRUE(sim.waitForLog("PEER1 request EnumPrinters", 1000));
}

TEST_F(PeerSimTest, MalformedLinesAreRefusedWithTheirLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"PEER1.printer = LASER | x | 0 | a.profile\n", "line 2"},
      {"PEER1.printer = LASER | 7 | zz | a.profile\n", "line 2"},
      {"PEER1.printer = LASER | 7 | 0\n", "line 2"},
      {"PEER1.printer = A | 7 | 0 | a\nPEER1.printer = B | 7 | 0 | a\n", "line 3"},
      {"PEER1.delay = soon\n", "line 2"},
      {"PEER1.poke-fails = -5\n", "line 2"},
      {"PEER1.silent = 2\n", "line 2"},
      {"PEER1.colour = red\n", "line 2"},
      {".printer = A | 1 | 0 | a\n", "line 2"},
      {"no equals sign\n", "line 2"},
  };
  for (const auto& [lines, where] : cases) {
    PeerSimulator fresh;
    std::string error;
    EXPECT_FALSE(fresh.loadScenario(writeWorld(lines), &error)) << lines;
    EXPECT_NE(error.find(where), std::string::npos) << lines << " gave " << error;
  }
  start(kTwoPrinters);
  EXPECT_EQ(apply("PEER1.raise-status = seven").substr(0, 3), "err");
  EXPECT_EQ(apply("PEER1.jobs = 99").substr(0, 3), "err");
  EXPECT_EQ(apply("PEER1.printer = X | 3 | 0 | a").substr(0, 3), "err");
}

TEST(PeerSimProgram, RunsAScenarioFromLinesUntilQuit) {
  const fs::path file = writeWorld(kTwoPrinters);
  testing::ChildProcess program("wf-peer-sim", {file.string()});
  ASSERT_EQ(program.readLine(), "ready");
  EXPECT_EQ(program.call("PEER1.delay = 5"), "ok");
  EXPECT_EQ(program.call("PEER1.jobs = 7"), "ok 0 - 0");
  EXPECT_EQ(program.call("PEER9.jobs = 7").substr(0, 3), "err");
  EXPECT_EQ(program.call("quit"), "err child gone");
  EXPECT_EQ(program.waitExit(), 0);
}

}  // namespace
}  // namespace wf::sim::peer
