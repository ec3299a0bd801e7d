// The server table against servers played by the simulator (and a fake for
// the frames a well-behaved server never sends): frames, acknowledgements,
// connections, the alert reader.
#include <algorithm>
#include <atomic>

#include "corlink_fixture.h"
#include "eventually.h"
#include "platform/byte_codec.h"
#include "platform/clock.h"

namespace wf::corlink::testing {
namespace {

const PortBlock kVireo = {{0x00, 0x00, 0xC0, 0x01, 0x02, 0x03}, 0, 1, 1, 3};
const std::string kVireoHex = "000A0000C0010203000101" "03";

std::size_t count(const std::vector<std::string>& lines, const std::string& text) {
  return static_cast<std::size_t>(
      std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; }));
}

using Connections = CorLinkWorld;

TEST_F(Connections, ConnectingStoresTheNameUpperCasedAndChecksTheVersion) {
  CorLinkTransport& t = start(kLogConnections);
  ServerEntry* srv1 = t.servers().connect("srv1");
  ASSERT_TRUE(srv1);
  EXPECT_EQ(srv1->name, "SRV1");
  EXPECT_EQ(t.servers().find("Srv1"), srv1);
  EXPECT_TRUE(srv1->connected);
  // The version check: one final frame without data, acknowledged.
  EXPECT_EQ(frames("SRV1"), (std::vector<std::string>{"in 0009027F0020000000", "out 0009027F0020800000"}));

  EXPECT_EQ(t.servers().connect("SRV3"), nullptr);
  EXPECT_EQ(t.servers().find("SRV3"), nullptr);
  EXPECT_EQ(t.servers().connect("NOSUCH"), nullptr);
  EXPECT_EQ(t.servers().connect("SIXTEEN-LETTERS1"), nullptr) << "never cut to another server's name";
  EXPECT_EQ(t.servers().names(), std::vector<std::string>{"SRV1"});
  t.shutdown();
  const std::string log = corcl32Log();
  for (const char* text : {"Attempting to connect to server SRV1\r\n", "Connected to server SRV1\r\n",
                           "Server SRV3 contains downlevel Wrenfield Server code\r\n",
                           "Error opening \\\\NOSUCH\\PIPE\\Corvane\\Wrenfi.eld (rc = 0x00000002)\r\n"})
    EXPECT_NE(log.find(text), std::string::npos) << text << "\n" << log;
}

TEST_F(Connections, RequestsGoOutInFramesEachAcknowledgedFirst) {
  CorLinkTransport& t = start(0);
  ServerEntry* srv1 = t.servers().connect("SRV1");
  ASSERT_TRUE(srv1);
  // 494 bytes with a port block: 493 and 1, bit 21 only on the second.
  std::vector<std::uint8_t> data(494, 'x');
  ASSERT_EQ(t.servers().sendRequest(*srv1, &kVireo, data.data(), data.size(), kCmdWrite), 0u);
  const auto lines = frames("SRV1");
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[2].substr(0, 3 + 14 + 24), "in 02000200000000" + kVireoHex);
  EXPECT_EQ(lines[2].size(), 3u + 2 * 512);
  EXPECT_EQ(lines[3], "out 00130200002080" + kVireoHex);
  EXPECT_EQ(lines[4], "in 00140200002000" + kVireoHex + "78");
  EXPECT_EQ(lines[5], "out 00130200002080" + kVireoHex);

  // Without data: one final frame of 19 bytes; the reply gathered whole.
  ASSERT_EQ(t.servers().sendRequest(*srv1, &kVireo, nullptr, 0, kCmdPort), 0u);
  EXPECT_EQ(frames("SRV1")[6], "in 00130206002000" + kVireoHex);
  Bytes reply;
  std::optional<PortBlock> port;
  ASSERT_EQ(t.servers().readReply(*srv1, &reply, &port), 0u);
  EXPECT_EQ(reply.size(), 109u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply.data())), "VIREO1");
  ASSERT_TRUE(port);
  EXPECT_EQ(*port, kVireo);

  // A listing over several frames arrives whole.
  ASSERT_TRUE(line("SRV1.reply-frame = 100"));
  ASSERT_EQ(t.servers().sendRequest(*srv1, nullptr, nullptr, 0, kCmdPorts), 0u);
  ASSERT_EQ(t.servers().readReply(*srv1, &reply), 0u);
  EXPECT_EQ(reply.size(), 6 * 109u);
  EXPECT_EQ(count(frames("SRV1"), "out 0064"), 7u) << "654 bytes: seven frames of 91, then 17";
}

TEST_F(Connections, ReplyStatusAndNoticeCodesAndAFrameAlreadyAcknowledged) {
  struct Case {
    std::uint32_t command;  // of the final reply frame
    std::uint32_t result;
    bool acknowledged;
  };
  const std::vector<Case> cases = {
      {0x00200009, 0, true},
      {0x05200009, 0x05000000, true},
      {0x05200085, 133, true},  // a notice code whatever its status
      {0x80200009, 0, false},   // bit 31 already set: not acknowledged
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    std::atomic<std::uint32_t> ackCommand{0};
    std::atomic<std::size_t> ackSize{0};
    std::atomic<bool> scriptDone{false};
    FakeServer fake("FAKE", [&](NamedPipe& pipe) {
      for (;;) {
        auto request = FakeServer::readFrame(pipe);
        if (request.empty()) return scriptDone.store(true);
        FakeServer::acknowledge(pipe, request);
        if (request[3] != 9) continue;
        std::vector<std::uint8_t> reply = {0x00, 0x0B, 0x02, 0, 0, 0, 0, 0x00, 0x00, 'o', 'k'};
        storeLe32(reply.data() + 3, c.command);
        pipe.write(reply.data(), reply.size());
        const auto ack = FakeServer::readFrame(pipe, 300);
        if (!ack.empty()) {
          ackSize = ack.size();
          ackCommand = loadLe32(ack.data() + 3);
        }
      }
    });
    CorLinkTransport& t = start(0);
    ServerEntry* fakeEntry = t.servers().connect("FAKE");
    ASSERT_TRUE(fakeEntry);
    ASSERT_EQ(t.servers().sendRequest(*fakeEntry, nullptr, nullptr, 0, kCmdNickname), 0u);
    Bytes reply;
    EXPECT_EQ(t.servers().readReply(*fakeEntry, &reply), c.result);
    EXPECT_EQ(reply, (Bytes{'o', 'k'}));
    transport_.reset();
    ASSERT_TRUE(::wf::testing::eventually([&] { return scriptDone.load(); }));
    EXPECT_EQ(ackCommand.load(), c.acknowledged ? c.command | 0x80000000 : 0u);
    if (c.acknowledged) {
      EXPECT_EQ(ackSize.load(), 9u);
    }
  }
}

TEST_F(Connections, AServerThatGoesAwayIsReconnectedWithoutAVersionCheck) {
  CorLinkTransport& t = start(kLogConnections | kLogFrames | kLogAlerts);
  ServerEntry* srv1 = t.servers().connect("SRV1");
  ASSERT_TRUE(srv1);
  ASSERT_TRUE(::wf::testing::eventually([&] { return sim_->server("SRV1")->openAlertPipes() == 1; }));
  ASSERT_TRUE(line("SRV1.down"));
  // The alert reader sees the broken pipe, disconnects the server and ends.
  ASSERT_TRUE(::wf::testing::eventually([&] { return corcl32Log().find("thread terminating") != std::string::npos; }));
  EXPECT_EQ(t.servers().sendRequest(*srv1, &kVireo, nullptr, 0, kCmdNickname), 1u);
  EXPECT_FALSE(srv1->connected);

  ASSERT_TRUE(line("SRV1.up"));
  ASSERT_EQ(t.servers().sendRequest(*srv1, &kVireo, nullptr, 0, kCmdNickname), 0u);
  EXPECT_TRUE(srv1->connected);
  Bytes reply;
  ASSERT_EQ(t.servers().readReply(*srv1, &reply), 0u);
  EXPECT_EQ(reply, (Bytes{'V', 'I', 'R', 'E', 'O', '1', 0}));
  EXPECT_EQ(count(frames("SRV1"), "in 0009027F"), 1u) << "no version check on reconnection";
  EXPECT_TRUE(::wf::testing::eventually([&] { return sim_->server("SRV1")->openAlertPipes() == 1; }))
      << "a new alert reader";

  t.shutdown();
  const std::string log = corcl32Log();
  for (const char* text : {"Error reading WFS Data Length (rc = 0x0000006D) from server SRV1\r\n",
                           "ReadDSA() error (rc = 0x00000001), thread terminating\r\n",
                           "Disconnecting from server SRV1\r\n", "Attempting to reconnect to server SRV1\r\n"})
    EXPECT_NE(log.find(text), std::string::npos) << text << "\n" << log;
}

TEST_F(Connections, DisconnectionAndShutdownJoinTheAlertReader) {
  CorLinkTransport& t = start(kLogAlerts);
  ServerEntry* srv1 = t.servers().connect("SRV1");
  ASSERT_TRUE(srv1);
  ASSERT_TRUE(::wf::testing::eventually([&] { return sim_->server("SRV1")->openAlertPipes() == 1; }));
  ASSERT_TRUE(line("SRV1.notice = VIREO1 129"));
  ASSERT_TRUE(::wf::testing::eventually(
      [&] { return corcl32Log().find(" Internal WFS Alert received - NETALERT_INACTIVE") != std::string::npos; }));
  t.servers().disconnect(*srv1, PipeKind::Request);  // the reader waits in a read: cancelled and joined
  EXPECT_FALSE(srv1->thread.joinable());
  EXPECT_TRUE(::wf::testing::eventually([&] { return sim_->server("SRV1")->openAlertPipes() == 0; }));

  ASSERT_TRUE(t.servers().connect("SRV2"));
  t.shutdown();  // joins SRV2's reader, waiting in its read
  EXPECT_TRUE(t.servers().names().empty());
  EXPECT_EQ(corcl32Log().find("thread terminating"), std::string::npos) << "stopped, not failed";
}

TEST_F(Connections, AdministratorCheckAndAdministrationPipe) {
  CorLinkTransport& t = start(kLogConnections);
  ServerEntry* srv1 = t.servers().connect("SRV1");
  ServerEntry* srv2 = t.servers().connect("SRV2");
  ASSERT_TRUE(srv1 && srv2);
  t.servers().checkAdministrator(*srv1);
  t.servers().checkAdministrator(*srv2);
  EXPECT_TRUE(srv1->admin && srv1->adminChecked);
  EXPECT_FALSE(srv2->admin);
  EXPECT_TRUE(srv2->adminChecked);
  EXPECT_EQ(frames("SRV1")[2], "in 000E02020020000000414C494345") << "the user name, no terminator";

  ASSERT_TRUE(t.servers().openAdminPipe(*srv1));
  EXPECT_TRUE(srv1->adminPipe);
  EXPECT_EQ(frames("SRV1", "transaction").front(), "in 0004CCFC");
  // A disconnection closes it, saying so, and clears the check.
  t.servers().disconnect(*srv1, PipeKind::Request);
  EXPECT_FALSE(srv1->adminPipe);
  EXPECT_FALSE(srv1->admin || srv1->adminChecked);
  EXPECT_TRUE(sim_->waitForLog("SRV1 in admin 0004CCDD", 10'000));

  ASSERT_TRUE(line("SRV1.transact-without-nul = 1"));
  EXPECT_FALSE(t.servers().openAdminPipe(*srv1));
  t.shutdown();
  EXPECT_NE(corcl32Log().find("Administration pipe name of server SRV1 does not end in its reply"),
            std::string::npos);
}

TEST_F(Connections, SilentOrBrokenServersFailTheCallInBoundedTime) {
  setTimeScaleForTest(0.05);  // the 30 s reply wait in 1.5 s
  struct Case {
    std::string knob;
    std::string logged;
  };
  const std::vector<Case> cases = {
      {"silent = 1", "Error reading WFS Data Length (rc = 0x000005B4) from server SRV1"},
      {"drop-after = 1", "(rc = 0x0000006D)"},  // seen by the peek or by the read
      {"block-length-7 = 1", "Framing error (port block length 7) from server SRV1"},
      {"short-frame = 1", "Framing error (frame length 5) from server SRV1"},
      {"oversize-frame = 1", "Framing error (frame length 600) from server SRV1"},
  };
  CorLinkTransport& t = start(kLogFrames | kLogConnections);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.knob);
    ASSERT_TRUE(line("SRV1." + c.knob));
    ServerEntry* srv1 = t.servers().find("SRV1");
    if (!srv1) srv1 = t.servers().connect("SRV1");
    ASSERT_TRUE(srv1);
    ASSERT_EQ(t.servers().sendRequest(*srv1, &kVireo, nullptr, 0, kCmdNickname), 0u);
    Bytes reply;
    EXPECT_EQ(t.servers().readReply(*srv1, &reply), 1u);
    EXPECT_FALSE(srv1->connected);
    EXPECT_TRUE(::wf::testing::eventually([&] { return corcl32Log().find(c.logged) != std::string::npos; }))
        << corcl32Log();
    ASSERT_TRUE(line("SRV1." + c.knob.substr(0, c.knob.find(' ')) + " = 0"));
  }
  // An acknowledgement without bit 21, or with data, is still one whole acknowledgement.
  for (const char* knob : {"ack-without-final", "ack-with-data"}) {
    ASSERT_TRUE(line(std::string("SRV1.") + knob + " = 1"));
    ServerEntry* srv1 = t.servers().find("SRV1");
    std::vector<std::uint8_t> data(600, 'y');
    EXPECT_EQ(t.servers().sendRequest(*srv1, &kVireo, data.data(), data.size(), kCmdWrite), 0u) << knob;
    ASSERT_TRUE(line(std::string("SRV1.") + knob + " = 0"));
  }
}

}  // namespace
}  // namespace wf::corlink::testing
