// Requests with their replies, the back channel of a job, and alerts from
// their pieces to the port's callback.
#include <atomic>

#include "coripx_fixture.h"
#include "ipx_frame.h"

namespace wf::coripx::testing {
namespace {

const Bytes kSummaryRequest = {0xA5, 0x00, 0x03, 0x50, 0x01, 0x00};

// ---- Requests against the simulator ---------------------------------------------------------

class CorIpxRequests : public CorIpxAgainstSimulator {
 protected:
  void SetUp() override {
    CorIpxAgainstSimulator::SetUp();
    setCorIpxValue(nullptr, "Trace", REG_BINARY, {1});
  }
};

TEST_F(CorIpxRequests, RequestResultsAndStatus) {
  IPXPORT* port = portBayPort1();
  ASSERT_TRUE(port);
  struct Case {
    const char* name;
    std::uint16_t id;
    bool replyBuffer;
    std::uint32_t room;
    std::int32_t result;
    std::uint16_t status;  // 0: left as it was
  };
  const auto known = port->PortId;
  const Case cases[] = {
      {"whole reply", known, true, 1024, 6, NET_STATUS_COMPLETE},
      {"reply over the buffer", known, true, 4, 6, NET_STATUS_TRUNCATED},
      {"no reply buffer", known, false, 0, 6, 0},
      {"unknown id", 999, true, 1024, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    waitQuiet();  // the acknowledgements of the last case's reply
    const std::size_t before = logged("PB in 861F");
    Bytes reply(1024, 0xEE);
    std::uint32_t room = c.room;
    std::uint16_t status = 0;
    EXPECT_EQ(ipx->sendBidi(c.id, kSummaryRequest.data(), static_cast<std::uint32_t>(kSummaryRequest.size()),
                            c.replyBuffer ? reply.data() : nullptr, c.replyBuffer ? &room : nullptr, 7, &status),
              c.result);
    EXPECT_EQ(status, c.status);
    if (c.id != known) {
      sleepFor(300);
      EXPECT_EQ(logged("PB in 861F"), before) << "nothing sent";
      continue;
    }
    if (!c.replyBuffer) continue;
    ASSERT_GE(room, 4u);
    EXPECT_EQ(reply[0], 0xA5) << "the reply without its length field";
    if (c.status == NET_STATUS_TRUNCATED) {
      EXPECT_EQ(room, 4u);
      EXPECT_EQ(reply[4], 0xEE) << "nothing past the room";
    } else {
      EXPECT_EQ(reply[4], 0x01) << "the characteristics answer";
      EXPECT_EQ(room, 3u + loadBe16(reply.data() + 1)) << "one whole NPA packet";
    }
  }
  EXPECT_NE(logText().find("IPX, SendBidi Bad hID = 999"), std::string::npos);
}

TEST_F(CorIpxRequests, UnacknowledgedRequestAnswersZero) {
  IPXPORT* port = portBayPort1({"no-ack = 1"});
  ASSERT_TRUE(port);
  std::uint8_t reply[64];
  std::uint32_t room = sizeof reply;
  std::uint16_t status = 0;
  EXPECT_EQ(ipx->sendBidi(port->PortId, kSummaryRequest.data(), 6, reply, &room, 7, &status), 0);
  EXPECT_NE(logText().find("Didn't get an Ack on write for"), std::string::npos);
}

TEST_F(CorIpxRequests, AReplyInPiecesIsFetchedWithSendMoreAndJoined) {
  IPXPORT* port = portBayPort1();
  ASSERT_TRUE(port);
  // 57 data bytes a packet: each piece's length field is 64, which asks for the next.
  ASSERT_TRUE(sim.adapter("PB")->withPrinter(1, [](sim::PrinterModel& p) {
    auto k = p.knobs();
    k.replyPacketData = 57;
    p.setKnobs(k);
  }));
  waitQuiet();
  const std::size_t discoverySendMores = logged(" A5 00 05 40 03 05 02 00 00");
  auto sendMores = [&] { return logged(" A5 00 05 40 03 05 02 00 00") - discoverySendMores; };
  const Bytes inputs = {0xA5, 0x00, 0x03, 0x50, 0x01, 0x02};
  Bytes reply(4096);
  std::uint32_t room = static_cast<std::uint32_t>(reply.size());
  std::uint16_t status = 0;
  ASSERT_EQ(ipx->sendBidi(port->PortId, inputs.data(), 6, reply.data(), &room, 7, &status), 6);
  EXPECT_EQ(status, NET_STATUS_COMPLETE);
  std::size_t packets = 0, at = 0;
  for (; at + 5 <= room; ++packets) {
    ASSERT_EQ(reply[at], 0xA5) << "packet " << packets << " starts where the last ended";
    const std::size_t size = 3u + loadBe16(reply.data() + at + 1);
    const bool last = at + size == room;
    EXPECT_EQ((reply[at + 3] & 0x20) != 0, !last) << "packet " << packets;
    at += size;
  }
  EXPECT_EQ(at, room);
  EXPECT_GE(packets, 3u);
  EXPECT_EQ(sendMores(), packets - 1) << "one send-more request per further piece";
}

// ---- Back channel (scripted adapter) --------------------------------------------------------

Bytes backChannelPiece(std::uint8_t portByte, const Bytes& data) {
  Bytes d = taggedPiece(portByte, 0, wire::kTagBackChannel, data);
  d[wire::kFunction] = wire::kReplyJob;
  return d;
}

TEST_F(CorIpxTest, BackChannelKeepsEntriesWithDataAndIsFreedAtTheJobsEnd) {
  start();
  ScriptedAdapter adapter(kPeerNode, wire::kDataSocket);
  IPXPORT* port = portAt(kPeerNode, 1);
  port->InJob = 1;
  ipx->startBackChannel(*port);
  const IpxAddress host = hostAddress();
  const Bytes six = {0xA5, 0x00, 0x03, 0x10, 0x11, 0x22};            // L = 8: kept
  const Bytes five = {0xA5, 0x00, 0x02, 0x10, 0x11};                 // L = 7: dropped
  const Bytes answer = {0xA5, 0x00, 0x06, 0x10, 0xE0, 0x30, 0x00, 0x4A, 0x31};
  adapter.send(backChannelPiece(0xF1, five), host);
  adapter.send(backChannelPiece(0xF1, six), host);
  adapter.send(backChannelPiece(0xF1, answer), host);
  adapter.send(backChannelPiece(0xF2, answer), host);  // another port's
  Bytes cut = backChannelPiece(0xF1, answer);
  storeBe16(cut.data() + wire::kLength, 40);  // names more than came
  adapter.send(cut, host);

  std::uint8_t buffer[64];
  std::uint32_t length = 0;
  ASSERT_TRUE(wf::testing::eventually([&] {
    length = sizeof buffer;
    return ipx->TakeBackChannelData(*port, 0xE030, length, buffer) == 0;
  }));
  EXPECT_EQ(Bytes(buffer, buffer + length), answer);
  length = sizeof buffer;
  EXPECT_EQ(ipx->TakeBackChannelData(*port, 0xE030, length, buffer), 1) << "taken once; the cut one dropped";
  length = 2;
  EXPECT_EQ(ipx->TakeBackChannelData(*port, 0x1122, length, buffer), 0) << "the 8-byte piece, by data bytes 4-5";
  EXPECT_EQ(length, 2u) << "copied within the room";
  EXPECT_EQ(ipx->TakeBackChannelData(*port, 0x1100, length, buffer), 1);

  adapter.send(backChannelPiece(0xF1, six), host);
  port->InJob = 0;
  ASSERT_TRUE(wf::testing::eventually([&] { return !port->BackChannelRunning; }));
  std::lock_guard g(port->backChannelLock);
  EXPECT_TRUE(port->BackChannel.empty()) << "freed when the job ended";
}

// ---- Alerts (scripted adapter) --------------------------------------------------------------

struct AlertsSeen {
  std::mutex mutex;
  std::vector<std::pair<std::uint16_t, Bytes>> calls;
  std::size_t count() {
    std::lock_guard g(mutex);
    return calls.size();
  }
};
AlertsSeen gAlertsSeen;

std::int32_t collectAlert(std::uint16_t portId, const std::uint8_t* data, std::uint32_t length) {
  std::lock_guard g(gAlertsSeen.mutex);
  gAlertsSeen.calls.emplace_back(portId, Bytes(data, data + length));
  return 1;
}

Bytes alertPiece(std::uint8_t portByte, const Bytes& data, const char* tag = wire::kTagDsa) {
  Bytes d = taggedPiece(portByte, 0, tag, data);
  d[wire::kFunction] = wire::kReplyAlert;
  return d;
}

class CorIpxAlerts : public CorIpxTest {
 protected:
  void SetUp() override {
    CorIpxTest::SetUp();
    std::lock_guard g(gAlertsSeen.mutex);
    gAlertsSeen.calls.clear();
    setCorIpxValue(nullptr, "Trace", REG_BINARY, {1});
    start();
    adapter = std::make_unique<ScriptedAdapter>(kPeerNode, wire::kDataSocket);
    opened = portAt(kPeerNode, 1);
    unopened = portAt(kPeerNode, 2, true, 2);
    ASSERT_EQ(ipx->open(opened->PortId, &collectAlert), NET_OKAY);
  }
  void TearDown() override {
    adapter.reset();
    CorIpxTest::TearDown();
  }
  void send(const Bytes& d) { adapter->send(d, hostAddress()); }
  // The marker alert to the opened port: once it came, everything before it was handled.
  void sendMarkerAndWait(std::size_t calls) {
    send(alertPiece(0xF1, marker));
    ASSERT_TRUE(wf::testing::eventually([&] { return gAlertsSeen.count() == calls; }));
    std::lock_guard g(gAlertsSeen.mutex);
    EXPECT_EQ(gAlertsSeen.calls.back().second, marker);
  }
  const Bytes marker = {0xA5, 0x00, 0x03, 0x00, 0x7F, 0x01};
  std::unique_ptr<ScriptedAdapter> adapter;
  IPXPORT* opened = nullptr;
  IPXPORT* unopened = nullptr;
};

TEST_F(CorIpxAlerts, PiecesReachTheCallbackOnceJoinedInArrivalOrder) {
  const Bytes a = {0xA5, 0x00, 0x05, 0x20, 0x20, 0x01, 0x02, 0x03};
  const Bytes b = {0xA5, 0x00, 0x04, 0x20, 0x20, 0x04, 0x05};
  const Bytes c = {0xA5, 0x00, 0x03, 0x00, 0x20, 0x06};
  // Another port's piece between them is gathered apart.
  send(alertPiece(0xF1, a));
  send(alertPiece(0xF2, {0xA5, 0x00, 0x03, 0x20, 0x20, 0x09}));
  send(alertPiece(0xF1, b));
  send(alertPiece(0xF1, c));
  ASSERT_TRUE(wf::testing::eventually([&] { return gAlertsSeen.count() == 1; }));
  {
    std::lock_guard g(gAlertsSeen.mutex);
    Bytes joined = a;
    joined.insert(joined.end(), b.begin(), b.end());
    joined.insert(joined.end(), c.begin(), c.end());
    EXPECT_EQ(gAlertsSeen.calls[0].first, opened->PortId);
    EXPECT_EQ(gAlertsSeen.calls[0].second, joined);
  }
  EXPECT_EQ(ipx->pendingAlerts(), 1u) << "port 2's piece waits for its last";
}

TEST_F(CorIpxAlerts, AlertsNobodyTakesNeverReachACallback) {
  const Bytes whole = {0xA5, 0x00, 0x03, 0x00, 0x20, 0x01};
  send(alertPiece(0xF2, whole));                                // port never opened
  send(alertPiece(0xF1, whole, wire::kTagIntervention));        // dropped
  send(alertPiece(0xF1, whole, wire::kTagProgramCheck));        // logged, dropped
  send(alertPiece(0xF3, {0xA5, 0x00, 0x03, 0x20, 0x20, 0x01}));  // no such port: not kept
  sendMarkerAndWait(1);
  EXPECT_EQ(ipx->pendingAlerts(), 0u);
  EXPECT_NE(logText().find("prog check 0002f100-0"), std::string::npos);
}

TEST_F(CorIpxAlerts, AnEleventhPieceDropsThePartialAlert) {
  const Bytes piece = {0xA5, 0x00, 0x03, 0x20, 0x20, 0x01};
  for (std::size_t i = 0; i < wire::kAlertPieces + 1; ++i) send(alertPiece(0xF1, piece));
  send(alertPiece(0xF1, {0xA5, 0x00, 0x03, 0x00, 0x20, 0x02}));  // a last piece alone now
  ASSERT_TRUE(wf::testing::eventually([&] { return gAlertsSeen.count() == 1; }));
  std::lock_guard g(gAlertsSeen.mutex);
  EXPECT_EQ(gAlertsSeen.calls[0].second.size(), 6u) << "the ten pieces before were dropped";
  EXPECT_NE(logText().find("Alert of more than 10 pieces for port 1 dropped"), std::string::npos);
}

TEST_F(CorIpxAlerts, NoAlertAfterCloseReturns) {
  sendMarkerAndWait(1);
  EXPECT_EQ(ipx->close(opened->PortId), 1);
  EXPECT_EQ(ipx->open(999, &collectAlert), NET_FAIL);
  send(alertPiece(0xF1, marker));
  sleepFor(1500);
  EXPECT_EQ(gAlertsSeen.count(), 1u);
  ASSERT_EQ(ipx->open(opened->PortId, &collectAlert), NET_OKAY);
  sendMarkerAndWait(2);
}

// Alert and back-channel datagrams from a known port's address, cut and
// mis-sized at random: nothing over-read, nothing kept without bound.
TEST_F(CorIpxAlerts, RandomAlertAndBackChannelDatagramsAreSafe) {
  opened->InJob = 1;
  ipx->startBackChannel(*opened);
  std::uint32_t seed = 46;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, static_cast<std::uint8_t>(seed >> 16); };
  for (int i = 0; i < 400; ++i) {
    const bool back = i % 2;
    Bytes d = back ? backChannelPiece(0xF1, {0xA5, 0, 3, 0x10, 0xE0, 0x30}) : alertPiece(0xF1, {0xA5, 0, 3, 0x20});
    // Long enough to be taken by one of the two readers (shorter ones wait in the pool for the sweep).
    d.resize((back ? 38 : 33) + next() % 50, next());
    storeBe16(d.data() + wire::kLength, static_cast<std::uint16_t>(next() % 90));
    if (d.size() > 36) d[36] = next();
    send(d);
    if (i % 20 == 19) ASSERT_TRUE(wf::testing::eventually([&] { return ipx->pool().count() < 30; }));
  }
  // The marker completes whatever port 1 gathered: it ends the last call.
  // Sent again while it does not come: the burst may have filled the socket.
  auto markerLast = [&] {
    std::lock_guard g(gAlertsSeen.mutex);
    const auto& calls = gAlertsSeen.calls;
    return !calls.empty() && calls.back().second.size() >= marker.size() &&
           std::equal(marker.begin(), marker.end(), calls.back().second.end() - marker.size());
  };
  for (int tries = 0; tries < 50 && !markerLast(); ++tries) {
    send(alertPiece(0xF1, marker));
    for (int i = 0; i < 40 && !markerLast(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(markerLast());
  EXPECT_EQ(ipx->pendingAlerts(), 0u);
  opened->InJob = 0;
  EXPECT_TRUE(wf::testing::eventually([&] { return !opened->BackChannelRunning; }));
}

std::int32_t firstEvents(std::uint32_t, std::uint32_t, std::uint32_t, void*) {
  return 1;
}
std::int32_t secondEvents(std::uint32_t, std::uint32_t, std::uint32_t, void*) {
  return 1;
}

TEST_F(CorIpxTest, ASecondEventCallbackIsRefusedUntilTheFirstIsGone) {
  ipx = std::make_unique<CorIpx>();
  EXPECT_EQ(ipx->registerCallback(&firstEvents), NET_OKAY) << "starts the transport";
  EXPECT_EQ(ipx->registerCallback(&secondEvents), NET_FAIL);
  ipx->unregisterCallback();
  EXPECT_EQ(ipx->registerCallback(&secondEvents), NET_OKAY);
  ipx->shutDown();
  ipx->unregisterCallback();
  EXPECT_EQ(ipx->registerCallback(&firstEvents), NET_FAIL) << "no start after shutdown";
}

}  // namespace
}  // namespace wf::coripx::testing
