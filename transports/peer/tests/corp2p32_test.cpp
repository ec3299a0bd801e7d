#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <fstream>
#include <sstream>
#include <thread>

#include "peer_items.h"
#include "peer_transport.h"
#include "peer_world.h"
#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/trace.h"
#include "platform/window_messages.h"
#include "testing/eventually.h"
#include "transports/testing/contract_suite.h"

namespace wf::peer::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using transports::testing::ContractSubject;
using transports::testing::TransportContract;

std::string nameOf(const NETPORTINFO& r) {
  return r.portName;
}

std::vector<std::string> namesOf(const std::vector<NETPORTINFO>& reports) {
  std::vector<std::string> out;
  for (const auto& r : reports) out.push_back(nameOf(r));
  return out;
}

// The peer of a reported port, by its name "\\PEER\SHARE".
std::string peerOfPort(TransportHarness& h, std::uint16_t portId) {
  for (const auto& r : h.reports()) {
    if (r.portId != portId) continue;
    std::string name = r.portName;
    return name.substr(2, name.find('\\', 2) - 2);
  }
  return "";
}

// The contract, on a world where the walk finds PEER1's printer and PEER10's.
// The peers live from the subject's preparation to the next one's.
sim::peer::PeerSimulator* gContractPeers = nullptr;

ContractSubject peerSubject() {
  // Read by the transport's worker as it starts, so set before any load.
  ::setenv("WRENFIELD_SCENARIO", WF_PEER_CONTRACT_SCENARIO, 1);
  ContractSubject s;
  s.name = "Corp2p32";
  s.fileName = "CORP2P32.DLL";
  s.networkBit = 0x10;
  s.unknownAddressAnswer = NET_FAIL;
  s.unknownOpenAnswer = NET_FAIL;
  s.unknownWriteAnswer = 0;
  s.unknownInfoAnswer = NET_BADCMD;
  s.stoppedWalkAnswer = NET_FAIL;
  s.prepare = [](TransportHarness&) {
    delete gContractPeers;
    gContractPeers = new sim::peer::PeerSimulator;
    std::string error;
    ASSERT_TRUE(gContractPeers->loadScenario(WF_PEER_CONTRACT_SCENARIO, &error)) << error;
  };
  s.raiseEvent = [](TransportHarness& h, std::uint16_t portId) {
    // Reconnects first: a disconnect ends the conversation it comes on.
    h.enumerate();
    std::string error;
    gContractPeers->apply(peerOfPort(h, portId) + ".disconnect", ".", &error);
  };
  s.deliverData = [](TransportHarness& h, std::uint16_t portId) {
    const std::string peer = peerOfPort(h, portId);
    std::string error;
    gContractPeers->apply(peer + ".raise-status = " + (peer == "PEER10" ? "3" : "7") + " 0x4", ".", &error);
  };
  return s;
}

INSTANTIATE_TEST_SUITE_P(Peer, TransportContract, ::testing::Values(peerSubject()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace wf::peer::testing

namespace wf::peer {
// Posts a function of the request block the way the entry points do.
struct PeerTransportProbe {
  static std::int64_t post(PeerTransport& t, std::uint32_t function) {
    if (!t.waitReady()) return -1;
    auto request = std::make_shared<PeerRequest>();
    request->function = function;
    auto answered = t.post(request, 25'000, "probe failed to get semaphore");
    return answered ? static_cast<std::int64_t>(answered->result) : -1;
  }
};
}  // namespace wf::peer

namespace wf::peer::testing {
namespace {

// An item-2 or item-3 record.
Bytes entry(std::uint8_t kind, const std::string& name) {
  Bytes e(kPeerEntryBytes, 0);
  e[0] = kind;
  std::memcpy(&e[1], name.data(), std::min<std::size_t>(name.size(), 16));
  return e;
}

std::vector<std::pair<int, std::string>> gItems;
std::int32_t recordItem(const void* item, std::uint16_t length) {
  const auto* p = static_cast<const std::uint8_t*>(item);
  gItems.emplace_back(length == kPeerEntryBytes ? p[0] : -static_cast<int>(length),
                      length == kPeerEntryBytes ? std::string(reinterpret_cast<const char*>(p + 1)) : "");
  return 0;
}

std::string deviceStatusRequest() {
  return std::string{char(0xA5), 0, 3, char(0x50), 0x04, 0x00};
}

TEST_F(PeerWorld, TheWalkSkipsTheWorkstationAndReportsEachPrinterOnce) {
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  const auto reports = harness->reports();
  EXPECT_EQ(namesOf(reports),
            (std::vector<std::string>{"\\\\PEER1\\LASER", "\\\\PEER1\\COLOR,COLOR2", "\\\\PEER10\\INK"}));
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0].portId, 1);
  EXPECT_EQ(reports[0].flags, 3);
  EXPECT_EQ(reports[0].connections, 0x10u);
  // LPT2 goes to the second of COLOR's shares, spelled in another case.
  EXPECT_EQ(reports[1].connections, 0x10u | 0x20000u);
  EXPECT_EQ(logCount("MYPC connect"), 0u);
}

TEST_F(PeerWorld, ListedWorkgroupsAndComputersAreWalkedWhenTheOwnCannotBeBrowsed) {
  startWorld(peerWorld("NOSUCHGROUP"));
  // Before any walk there are no lists to add to.
  Bytes pc3 = entry(2, "PEER3");
  EXPECT_EQ(harness->setInfo(NET_NO_PORT, 2, pc3.data(), 17), 1);
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  EXPECT_TRUE(harness->reports().empty());
  Bytes wg2 = entry(1, "WG2");
  EXPECT_EQ(harness->setInfo(NET_NO_PORT, 2, wg2.data(), 17), 0);
  EXPECT_EQ(harness->setInfo(NET_NO_PORT, 2, pc3.data(), 17), 0);
  gItems.clear();
  std::uint16_t length = 0;
  EXPECT_EQ(harness->getInfo(NET_NO_PORT, 1, nullptr, &length, recordItem), 0);
  EXPECT_EQ(gItems, (std::vector<std::pair<int, std::string>>{{2, "PEER3"}, {1, "WG2"}}));
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  EXPECT_EQ(namesOf(harness->reports()), (std::vector<std::string>{"\\\\PEER2\\WIDE", "\\\\PEER3\\MONO"}));
}

TEST_F(PeerWorld, AFilterReportsOnePrinterAndListsAll) {
  NETADDRESS address{};
  std::strcpy(reinterpret_cast<char*>(address.peer), "\\\\peer1");
  const std::uint16_t colorId = 9;
  std::memcpy(address.peer + 80, &colorId, 2);
  ASSERT_EQ(harness->enumSpecific(address), NET_OKAY);
  ASSERT_EQ(namesOf(harness->reports()), (std::vector<std::string>{"\\\\PEER1\\COLOR,COLOR2"}));
  // LASER was listed (port id 1) though not reported.
  NETADDRESS found{};
  ASSERT_EQ(harness->entries().NetGetSpecificAddr(1, &found), NET_OKAY);
  EXPECT_STREQ(reinterpret_cast<const char*>(found.peer), "\\\\PEER1");
  std::uint16_t peerId = 0;
  std::memcpy(&peerId, found.peer + 80, 2);
  EXPECT_EQ(peerId, 7);
  // The workstation itself is never connected.
  std::strcpy(reinterpret_cast<char*>(address.peer), "mypc");
  harness->clearReports();
  EXPECT_EQ(harness->enumSpecific(address), NET_OKAY);
  EXPECT_TRUE(harness->reports().empty());
}

TEST_F(PeerWorld, APeerListsAtMostNinePrinters) {
  std::string twelve;
  for (int i = 1; i <= 12; ++i)
    twelve += "PEER10.printer = P" + std::to_string(i) + " | " + std::to_string(100 + i) + " | 0 | meridian-vireo10.profile\n";
  startWorld(peerWorld("WG1", twelve));
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  std::size_t fromTen = 0;
  for (const auto& r : harness->reports()) fromTen += std::string(r.portName).starts_with("\\\\PEER10\\");
  EXPECT_EQ(fromTen, 9u);
}

TEST_F(PeerWorld, AReconnectKeepsIdsAndDropsWhatVanished) {
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  const auto first = harness->reports();
  harness->clearReports();
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  const auto second = harness->reports();
  ASSERT_EQ(second.size(), first.size());
  for (std::size_t i = 0; i < first.size(); ++i) EXPECT_EQ(second[i].portId, first[i].portId);
  EXPECT_EQ(logCount("PEER1 poke UpdateID"), 2u);
  // PEER1 now tells one printer: COLOR goes.
  ASSERT_EQ(apply("PEER1.count = 1"), "ok");
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  NETADDRESS a{};
  EXPECT_EQ(harness->entries().NetGetSpecificAddr(first[1].portId, &a), NET_FAIL);
  EXPECT_EQ(harness->entries().NetGetSpecificAddr(first[0].portId, &a), NET_OKAY);
  // A failed "EnumPrinters" removes the whole host; it comes back with new ids.
  ASSERT_EQ(apply("PEER10.enum-fails = 1"), "ok");
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  EXPECT_EQ(harness->entries().NetGetSpecificAddr(first[2].portId, &a), NET_FAIL);
  ASSERT_EQ(apply("PEER10.enum-fails = 0"), "ok");
  harness->clearReports();
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  const auto latest = harness->reports();
  const NETPORTINFO* ink = reportNamed(latest, "\\\\PEER10\\INK");
  ASSERT_NE(ink, nullptr);
  EXPECT_GT(ink->portId, first[2].portId);
}

TEST_F(PeerWorld, CapturesShareOneAdviseLoopAndAlertsBecomePackets) {
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  const std::uint16_t laser = portIdOf("\\\\PEER1\\LASER"), color = portIdOf("\\\\PEER1\\COLOR,COLOR2");
  ASSERT_EQ(harness->open(laser), NET_OKAY);
  ASSERT_EQ(harness->open(color), NET_OKAY);
  EXPECT_EQ(logCount("PEER1 advstart"), 1u);
  ASSERT_EQ(apply("PEER1.raise-alert = 7 1"), "ok");
  ASSERT_TRUE(harness->waitForPackets(1, 10'000));
  EXPECT_EQ(harness->packets()[0].portId, laser);
  EXPECT_EQ(harness->packets()[0].bytes, (Bytes{0xA5, 0x00, 0x04, 0x42, 0xF0, 0x03, 0x01}));
  ASSERT_EQ(apply("PEER1.raise-status = 7 0x4"), "ok");
  ASSERT_TRUE(harness->waitForPackets(2, 10'000));
  EXPECT_EQ(harness->packets()[1].bytes, (Bytes{0xA5, 0x00, 0x05, 0x42, 0xFF, 0x00, 0x02, 0x00}));
  harness->close(laser);
  EXPECT_EQ(logCount("PEER1 advstop"), 0u);
  harness->close(color);
  EXPECT_EQ(logCount("PEER1 advstop"), 1u);
  // A peer that went down captures nothing.
  ASSERT_EQ(apply("PEER1.down = 1"), "ok");
  EXPECT_EQ(harness->open(laser), NET_FAIL);
}

TEST_F(PeerWorld, ADisconnectPostsEventsAndTheReconnectCapturesAgain) {
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  const std::uint16_t laser = portIdOf("\\\\PEER1\\LASER"), color = portIdOf("\\\\PEER1\\COLOR,COLOR2");
  ASSERT_EQ(harness->open(laser), NET_OKAY);
  ASSERT_EQ(harness->registerEvents(), NET_OKAY);
  ASSERT_EQ(apply("PEER1.disconnect"), "ok");
  ASSERT_TRUE(harness->waitForEvents(2, 10'000));
  EXPECT_EQ(harness->events()[0].portId, laser);
  EXPECT_EQ(harness->events()[0].code, static_cast<std::uint32_t>(NETEVENT_DISCONNECTED));
  EXPECT_EQ(harness->events()[1].portId, color);
  harness->clearReports();
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  EXPECT_EQ(portIdOf("\\\\PEER1\\LASER"), laser);
  // The new conversation was captured again: a jam still arrives.
  ASSERT_EQ(apply("PEER1.raise-status = 7 0x4"), "ok");
  ASSERT_TRUE(harness->waitForPackets(1, 10'000));
  EXPECT_EQ(harness->packets()[0].portId, laser);
}

TEST_F(PeerWorld, WritesAnswerAsThePeerReplies) {
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  const std::uint16_t laser = portIdOf("\\\\PEER1\\LASER");
  const std::string request = deviceStatusRequest();
  const Bytes bytes(request.begin(), request.end());
  auto out = harness->write(laser, bytes, 200, 0x04);
  EXPECT_EQ(out.result, static_cast<std::int32_t>(bytes.size()));
  EXPECT_EQ(out.status, NET_STATUS_COMPLETE);
  ASSERT_GE(out.reply.size(), 5u);
  EXPECT_EQ(out.replyLength, out.reply.size());
  EXPECT_EQ(out.reply[0], 0xA5);
  EXPECT_EQ(loadBe16(&out.reply[1]), out.replyLength - 3);
  EXPECT_EQ(out.reply[3], 0x50);
  EXPECT_EQ(out.reply[4], 0x04);
  // A reply longer than the buffer: cut there, status 4.
  out = harness->write(laser, bytes, 8, 0x04);
  EXPECT_EQ(out.status, NET_STATUS_TRUNCATED);
  EXPECT_LE(out.reply.size(), 8u);
  // Answered at once, without traffic.
  const std::size_t writes = logCount("WriteData");
  out = harness->write(laser, bytes, 200, 0x5B);
  EXPECT_EQ(out.status, NET_STATUS_COMPLETE);
  EXPECT_EQ(out.result, static_cast<std::int32_t>(bytes.size()));
  EXPECT_EQ(logCount("WriteData"), writes);
  // Refused four times, taken on the fifth try; five refusals fail the write.
  ASSERT_EQ(apply("PEER1.poke-fails = 4"), "ok");
  EXPECT_EQ(harness->write(laser, bytes, 200, 0x04).result, static_cast<std::int32_t>(bytes.size()));
  ASSERT_EQ(apply("PEER1.poke-fails = 5"), "ok");
  out = harness->write(laser, bytes, 200, 0x04);
  EXPECT_EQ(out.result, 0);
  EXPECT_EQ(out.status, NET_STATUS_UNREADABLE);
  // Reply status 3: no reply bytes, the length answered.
  ASSERT_EQ(apply("PEER1.reply-status = 3"), "ok");
  out = harness->write(laser, bytes, 200, 0x04);
  EXPECT_EQ(out.status, NET_STATUS_ADAPTER_ERROR);
  EXPECT_EQ(out.replyLength, 0u);
  EXPECT_EQ(out.result, static_cast<std::int32_t>(bytes.size()));
  // A reply that counts more than it holds is not read.
  ASSERT_EQ(apply("PEER1.reply-status = 2"), "ok");
  ASSERT_EQ(apply("PEER1.reply-beyond = 1"), "ok");
  out = harness->write(laser, bytes, 200, 0x04);
  EXPECT_EQ(out.status, NET_STATUS_UNREADABLE);
  EXPECT_EQ(out.result, 0);
}

TEST_F(PeerWorld, ATimedOutWriteLeavesTheNextIntact) {
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  const std::uint16_t laser = portIdOf("\\\\PEER1\\LASER");
  setTimeScaleForTest(0.02);
  ASSERT_EQ(apply("PEER1.silent = 1"), "ok");
  const std::string request = deviceStatusRequest();
  auto first = harness->write(laser, Bytes(request.begin(), request.end()), 200, 0x04);
  EXPECT_EQ(first.result, 0);
  // The peer speaks again: the first write's worker may still finish, but
  // its reply belongs to no one.
  ASSERT_EQ(apply("PEER1.silent = 0"), "ok");
  const Bytes job = {'h', 'e', 'l', 'l', 'o'};
  auto second = harness->write(laser, job, 200, 0x00);
  setTimeScaleForTest(1);
  EXPECT_EQ(second.result, 5);
  EXPECT_EQ(second.status, NET_STATUS_COMPLETE);
  EXPECT_EQ(second.replyLength, 5u);
  EXPECT_EQ(second.reply, (Bytes{0xA5, 0x00, 0x02, 0x50, 0x00}));
}

TEST_F(PeerWorld, ItemsKeepTheListsInTheRegistry) {
  ASSERT_EQ(harness->enumerate(), NET_OKAY);  // makes the lists
  for (const auto& e : {entry(2, "PEER3"), entry(2, "PEER4"), entry(2, "PEER5"), entry(1, "WG2")})
    ASSERT_EQ(harness->setInfo(NET_NO_PORT, 2, e.data(), 17), 0);
  gItems.clear();
  std::uint16_t length = 0;
  ASSERT_EQ(harness->getInfo(NET_NO_PORT, 1, nullptr, &length, recordItem), 0);
  EXPECT_EQ(gItems, (std::vector<std::pair<int, std::string>>{{2, "PEER3"}, {2, "PEER4"}, {2, "PEER5"}, {1, "WG2"}}));
  // Case counts; the first of three moves the others down.
  Bytes lower = entry(2, "peer3");
  EXPECT_EQ(harness->setInfo(NET_NO_PORT, 3, lower.data(), 17), 0);
  Bytes first = entry(2, "PEER3");
  EXPECT_EQ(harness->setInfo(NET_NO_PORT, 3, first.data(), 17), 0);
  Bytes last = entry(2, "PEER5");
  EXPECT_EQ(harness->setInfo(NET_NO_PORT, 3, last.data(), 17), 0);
  gItems.clear();
  ASSERT_EQ(harness->getInfo(NET_NO_PORT, 1, nullptr, &length, recordItem), 0);
  EXPECT_EQ(gItems, (std::vector<std::pair<int, std::string>>{{2, "PEER4"}, {1, "WG2"}}));
  // Short or unterminated records are refused and change nothing.
  Bytes unterminated(17, 'A');
  unterminated[0] = 2;
  EXPECT_EQ(harness->setInfo(NET_NO_PORT, 2, unterminated.data(), 17), 1);
  EXPECT_EQ(harness->setInfo(NET_NO_PORT, 2, first.data(), 16), 1);
  // Unknown items.
  std::uint8_t b = 0;
  EXPECT_EQ(harness->getInfo(NET_NO_PORT, 5, &b, &length), 0xFFF1);
  EXPECT_EQ(harness->getInfo(NET_NO_PORT, 2, &b, &length), 0xFFF1);
  EXPECT_EQ(harness->setInfo(NET_NO_PORT, 1, &b, 1), 0xFFF1);
}

TEST_F(PeerWorld, HostileRegistryValuesGiveDefaults) {
  ASSERT_EQ(harness->enumerate(), NET_OKAY);  // makes the lists
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kComputersKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  // A count of 4 billion with one name: one name is read, once.
  const DWORD huge = 0xFFFFFFFF;
  RegSetValueExA(key, "NumComp", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&huge), sizeof huge);
  RegSetValueExA(key, "Computer1", 0, REG_SZ, reinterpret_cast<const BYTE*>("PEER3"), 6);
  // A name too long for an entry is passed over by the list.
  RegSetValueExA(key, "Computer2", 0, REG_SZ, reinterpret_cast<const BYTE*>("A-NAME-OF-TWENTY-CHARS"), 23);
  RegCloseKey(key);
  gItems.clear();
  std::uint16_t length = 0;
  ASSERT_EQ(harness->getInfo(NET_NO_PORT, 1, nullptr, &length, recordItem), 0);
  EXPECT_EQ(gItems, (std::vector<std::pair<int, std::string>>{{2, "PEER3"}}));
  harness->clearReports();
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  EXPECT_EQ(logCount("PEER3 connect"), 1u);
  // A count of the wrong size is no count: nothing can be added.
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kComputersKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  RegSetValueExA(key, "NumComp", 0, REG_BINARY, reinterpret_cast<const BYTE*>("\x01"), 1);
  RegCloseKey(key);
  Bytes pc = entry(2, "PEER4");
  EXPECT_EQ(harness->setInfo(NET_NO_PORT, 2, pc.data(), 17), 1);
}

TEST_F(PeerWorld, TurningTheOwnWorkgroupOffRemovesItsPeers) {
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  ASSERT_EQ(harness->registerEvents(), NET_OKAY);
  std::uint8_t on = 1, off = 0;
  ASSERT_EQ(harness->setInfo(NET_NO_PORT, 4, &on, 1), 0);
  EXPECT_TRUE(harness->events().empty());
  ASSERT_EQ(harness->setInfo(NET_NO_PORT, 4, &off, 1), 0);
  ASSERT_EQ(harness->events().size(), 3u);
  for (const auto& e : harness->events()) EXPECT_EQ(e.code, static_cast<std::uint32_t>(NETEVENT_REMOVED));
  std::uint8_t read = 9;
  std::uint16_t length = 1;
  ASSERT_EQ(harness->getInfo(NET_NO_PORT, 4, &read, &length), 0);
  EXPECT_EQ(read, 0);
  EXPECT_EQ(length, 1);
  // Removing a listed computer announces its printers.
  Bytes pc = entry(2, "PEER3");
  ASSERT_EQ(harness->setInfo(NET_NO_PORT, 2, pc.data(), 17), 0);
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  ASSERT_EQ(harness->setInfo(NET_NO_PORT, 3, pc.data(), 17), 0);
  ASSERT_EQ(harness->events().size(), 4u);
  EXPECT_EQ(harness->events()[3].portId, portIdOf("\\\\PEER3\\MONO"));
}

// A world whose agent never comes up (no earlier agent runs on either).
class PeerWorldWithoutAgent : public PeerWorld {
 protected:
  void SetUp() override { startWorld(peerWorld("WG1", "[netdde]\npresent = 0\n")); }
};

TEST_F(PeerWorldWithoutAgent, PostsFailAtOnce) {
  EXPECT_EQ(harness->enumerate(), NET_FAIL);
  EXPECT_EQ(harness->open(1), NET_FAIL);
  EXPECT_EQ(harness->write(1, {1, 2, 3}, 0, 1).result, 0);
}

std::string traceText() {
  std::ifstream in(*mapSystemPath("c:\\corpeer.log"));
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST_F(PeerWorld, TheTraceWritesLinesBelowItsLevel) {
  harness.reset();
  EXPECT_FALSE(std::filesystem::exists(*mapSystemPath("c:\\corpeer.log")));  // Trace 0: no file
  Bytes pc = entry(2, "PEER3");
  for (BYTE level : {1, 2}) {
    setCorPeerByte("Trace", level);
    startWorld(peerWorld("WG1"));
    ASSERT_EQ(harness->enumerate(), NET_OKAY);
    harness->setInfo(NET_NO_PORT, 2, pc.data(), 17);
    ASSERT_EQ(harness->enumerate(), NET_OKAY);
    NETADDRESS a{};
    harness->entries().NetGetSpecificAddr(999, &a);
    const std::string text = traceText();
    EXPECT_NE(text.find(": GetSpecificAddress failed \r\n"), std::string::npos) << int(level);
    EXPECT_EQ(text.find("Enter NetEnumerate()") != std::string::npos, level == 2);
    if (level == 2) EXPECT_NE(text.find(": Called Extra PC \\\\PEER3\r\n"), std::string::npos);
    EXPECT_EQ(text.find('\n') != std::string::npos && text.find("\r\n") == std::string::npos, false);
  }
}

TEST_F(PeerWorld, AnUnwritableTraceDirectoryGivesNoTraceFileAndSaysSo) {
  harness.reset();
  const auto drive = *mapSystemPath("c:\\");
  std::filesystem::create_directories(drive);
  std::filesystem::permissions(drive, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  std::vector<std::string> lines;
  std::mutex m;
  setPlatformTraceSink([&](std::string_view line) {
    std::lock_guard lock(m);
    lines.emplace_back(line);
  });
  setCorPeerByte("Trace", 2);
  startWorld(peerWorld("WG1"));
  EXPECT_EQ(harness->enumerate(), NET_OKAY);  // the transport works on without its trace
  harness.reset();
  setPlatformTraceSink({});
  std::filesystem::permissions(drive, std::filesystem::perms::owner_all);
  EXPECT_FALSE(std::filesystem::exists(drive / "corpeer.log"));
  std::lock_guard lock(m);
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find("CORP2P32: no trace file") != std::string::npos; }));
}

TEST_F(PeerWorld, AStoppedWalkKeepsWhatItListedAndAPeerThatWillNotGreetIsPassedOver) {
  harness->scriptEnumAnswers({0});
  EXPECT_EQ(harness->enumerate(), NET_FAIL);
  ASSERT_EQ(harness->reports().size(), 1u);
  NETADDRESS a{};
  EXPECT_EQ(harness->entries().NetGetSpecificAddr(1, &a), NET_OKAY);
  // PEER1 goes: the reconnect's second greeting fails, the walk goes on to PEER10.
  ASSERT_EQ(apply("PEER1.down = 1"), "ok");
  harness->clearReports();
  EXPECT_EQ(harness->enumerate(), NET_OKAY);
  EXPECT_EQ(namesOf(harness->reports()), (std::vector<std::string>{"\\\\PEER10\\INK"}));
}

TEST_F(PeerWorld, ADisconnectWithoutAnEventCallbackIsOnlyTraced) {
  harness.reset();
  setCorPeerByte("Trace", 1);
  startWorld(peerWorld("WG1"));
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  ASSERT_EQ(apply("PEER1.disconnect"), "ok");
  EXPECT_TRUE(::wf::testing::eventually([] { return traceText().find("Disconnect message from PC = \\\\PEER1\r\n") != std::string::npos; }));
  EXPECT_TRUE(harness->events().empty());
}

TEST(PeerWorker, FunctionsOutsideTheTableAnswerOne) {
  auto t = PeerTransport::start();
  ASSERT_TRUE(t);
  EXPECT_EQ(PeerTransportProbe::post(*t, 14), 1);
  EXPECT_EQ(PeerTransportProbe::post(*t, 19), 1);  // no such port
}

}  // namespace
}  // namespace wf::peer::testing
