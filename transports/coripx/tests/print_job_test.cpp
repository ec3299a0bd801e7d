// Print jobs against the simulated adapter: capture, open, description,
// data in packets of the largest size, end and release.
#include <atomic>
#include <thread>

#include "coripx_fixture.h"
#include "ipx_frame.h"

namespace wf::coripx::testing {
namespace {

constexpr std::uint16_t kPortFormJob = 0x0001, kKindFormJob = 0x0081;

// An IPXJOBINFO block: host, user, queue and job texts behind the header.
Bytes jobInfoBlock(const std::string& host, const std::string& user, const std::string& queue,
                   const std::string& job) {
  Bytes b(18, 0);
  std::size_t field = 2;
  for (const std::string* text : {&host, &user, &queue, &job}) {
    storeLe32(b.data() + field, static_cast<std::uint32_t>(b.size()));
    b.insert(b.end(), text->begin(), text->end());
    b.push_back(0);
    field += 4;
  }
  storeLe16(b.data(), static_cast<std::uint16_t>(b.size()));
  return b;
}

Bytes patterned(std::size_t n, std::uint8_t seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
  return b;
}

class CorIpxJobs : public CorIpxAgainstSimulator {
 protected:
  void SetUp() override {
    CorIpxAgainstSimulator::SetUp();
    setCorIpxValue(nullptr, "Trace", REG_BINARY, {1});
  }
  // Writes `data` in pieces of `chunk`; the results of the writes.
  std::vector<std::int32_t> write(IPXPORT& port, const Bytes& data, std::size_t chunk, std::uint16_t form) {
    std::vector<std::int32_t> results;
    for (std::size_t at = 0; at < data.size(); at += chunk) {
      std::uint16_t status = form;
      const auto n = static_cast<std::uint32_t>(std::min(chunk, data.size() - at));
      results.push_back(ipx->jobWrite(port.PortId, data.data() + at, n, &status));
      EXPECT_EQ(status, NET_STATUS_COMPLETE);
    }
    return results;
  }
  std::size_t logCount(const std::string& text) const {
    const std::string log = logText();
    std::size_t n = 0;
    for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  }
  sim::adapter::AdapterServer& pb() { return *sim.adapter("PB"); }
};

TEST_F(CorIpxJobs, PortAndKindFormJobsReachThePrinterByteExact) {
  IPXPORT* port = portBayPort1();
  ASSERT_TRUE(port);
  struct Case {
    const char* name;
    std::uint16_t form;
    std::size_t size, chunk;
  };
  const Case cases[] = {
      {"raw job, port form", kPortFormJob, 2500, 700},
      {"NPA job, kind form", kKindFormJob, 2500, 1000},
      {"one byte", kPortFormJob, 1, 1},
  };
  Bytes expected;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes data = patterned(c.size, static_cast<std::uint8_t>(c.chunk));
    const Bytes info = jobInfoBlock("HOST7", "ada", "Q1", "report.txt");
    const std::size_t controlBefore = pb().ipxJobControl(1).size();
    ipx->startDoc(port->PortId, info.data());
    for (std::int32_t r : write(*port, data, c.chunk, c.form)) EXPECT_GT(r, 0);
    ipx->endDoc(port->PortId);
    expected.insert(expected.end(), data.begin(), data.end());
    EXPECT_EQ(pb().ipxJobData(1), expected);
    EXPECT_EQ(pb().ipxJobInfo(1), (std::vector<std::string>{"HOST7", "Windows 95", "report.txt", "ada", "Q1"}));
    EXPECT_FALSE(port->InJob);
    EXPECT_FALSE(port->Captured);
    const auto control = pb().ipxJobControl(1);
    if (c.form == kPortFormJob) {
      EXPECT_EQ(control.size(), controlBefore) << "a raw job has no NPA job packets";
      continue;
    }
    ASSERT_EQ(control.size(), controlBefore + 4) << "job start 1 and 2, texts, job end";
    EXPECT_EQ(control[controlBefore], (Bytes{0xA5, 0x00, 0x07, 0x40, 0xE0, 0xEB, 0x01, 0x00, 0xC9, 0x00}));
    Bytes start2 = {0xA5, 0x00, 0x0E, 0x50, 0xE0, 0x30, data[4], 0x00, 0x00, 0x07, 'U', 'R', ':', 'D', 'B', 'C', ';'};
    EXPECT_EQ(control[controlBefore + 1], start2);
    const Bytes& texts = control[controlBefore + 2];
    const std::string words = "HT:HOST7;UR:ada;JN:report.txt;QU:Q1;";
    ASSERT_EQ(texts.size(), 9 + words.size());
    EXPECT_EQ(loadBe16(texts.data() + 1), texts.size() - 3);
    EXPECT_EQ(texts[18 - 10], words.size()) << "the texts' length byte";
    EXPECT_EQ(std::string(texts.begin() + 9, texts.end()), words);
    EXPECT_EQ(control[controlBefore + 3], (Bytes{0xA5, 0x00, 0x06, 0x40, 0x05, 0x01, 0x00, 0x00, 0x00}));
  }
}

// The sizes around one packet: short data waits for NetEndDoc, a full
// packet goes at once and is acknowledged later.
TEST_F(CorIpxJobs, PacketFillingAndTheLeftover) {
  IPXPORT* port = portBayPort1();
  ASSERT_TRUE(port);
  const std::size_t full = ipx->maxPacket() - wire::kHeader;

  ipx->startDoc(port->PortId, nullptr);
  const Bytes small = patterned(100, 1);
  write(*port, small, small.size(), kPortFormJob);
  sleepFor(500);
  EXPECT_TRUE(pb().ipxJobData(1).empty()) << "held for the packet to fill";
  ipx->endDoc(port->PortId);
  EXPECT_EQ(pb().ipxJobData(1), small);
  EXPECT_EQ(logCount("Sending leftover Data"), 1u);

  ipx->startDoc(port->PortId, nullptr);
  const Bytes packet = patterned(full, 2);
  write(*port, packet, packet.size(), kPortFormJob);
  Bytes both = small;
  both.insert(both.end(), packet.begin(), packet.end());
  EXPECT_TRUE(wf::testing::eventually([&] { return pb().ipxJobData(1) == both; })) << "sent at once";
  ipx->endDoc(port->PortId);
  EXPECT_EQ(logCount("Sending leftover Data"), 1u) << "nothing left over";
  EXPECT_EQ(logCount("EndDoc - last packet sent okay"), 2u);
  EXPECT_EQ(pb().ipxJobData(1), both);
}

TEST_F(CorIpxJobs, AWriteOutsideAJobAnswersZero) {
  IPXPORT* port = portBayPort1();
  ASSERT_TRUE(port);
  std::uint16_t status = kPortFormJob;
  const std::uint8_t data[] = {1, 2, 3};
  EXPECT_EQ(ipx->jobWrite(port->PortId, data, sizeof data, &status), 0);
  EXPECT_EQ(ipx->jobWrite(999, data, sizeof data, &status), 0);
  EXPECT_EQ(logCount("Job Flag not set"), 1u);
  EXPECT_EQ(logged(" 00 08 "), 0u) << "no capture tried";
}

TEST_F(CorIpxJobs, RefusalsLossesAndLostAcknowledgementsStillPrintTheJobOnce) {
  IPXPORT* port = portBayPort1({"refuse-capture = 2", "data-lost = 2", "drop-ack = 9"});
  ASSERT_TRUE(port);
  const Bytes data = patterned(3 * (ipx->maxPacket() - wire::kHeader) + 17, 3);
  ipx->startDoc(port->PortId, nullptr);
  write(*port, data, 900, kPortFormJob);
  ipx->endDoc(port->PortId);
  EXPECT_EQ(pb().ipxJobData(1), data);
  EXPECT_EQ(logged("4C 50 41 20 43 6F 6E 74 72 6F 6C 20 52 65 6A 65 63 74"), 2u) << "two refusals";
  EXPECT_EQ(logged(" drop 861F data lost"), 1u);
  EXPECT_GE(logCount("Data lost flag detected; resending data for"), 1u);
}

TEST_F(CorIpxJobs, JobTextsAreTakenWithinTheBlockAndCut) {
  IPXPORT* port = portBayPort1();
  ASSERT_TRUE(port);
  Bytes info = jobInfoBlock("H", std::string(300, 'u'), "Q", "J");
  storeLe32(info.data() + 2, loadLe16(info.data()));  // host at Size: outside
  info.back() = 'x';                                  // the job name runs to the end unterminated
  ipx->startDoc(port->PortId, info.data());
  const Bytes data = {0xA5, 0x00, 0x02, 0x10, 0x00};
  write(*port, data, data.size(), kKindFormJob);
  ipx->endDoc(port->PortId);
  const auto fields = pb().ipxJobInfo(1);
  ASSERT_EQ(fields.size(), 5u);
  EXPECT_EQ(fields[0], " ") << "a host text outside the block";
  EXPECT_EQ(fields[2], " ") << "an unterminated job text";
  EXPECT_EQ(fields[3], std::string(59, 'u')) << "cut";
  EXPECT_EQ(fields[4], "Q");
  const Bytes texts = pb().ipxJobControl(1).at(2);
  const std::string words = "UR:" + std::string(59, 'u') + ";QU:Q;";
  EXPECT_EQ(std::string(texts.begin() + 9, texts.end()), words);
  EXPECT_EQ(texts[8], words.size());
}

TEST_F(CorIpxJobs, ASecondJobStartsAfterTheFirstEnds) {
  IPXPORT* port = portBayPort1();
  ASSERT_TRUE(port);
  ipx->startDoc(port->PortId, nullptr);
  std::atomic<bool> started{false};
  std::thread second([&] {
    ipx->startDoc(port->PortId, nullptr);
    started = true;
  });
  sleepFor(2000);
  EXPECT_FALSE(started) << "waits while the first job runs";
  const Bytes first = patterned(10, 4);
  write(*port, first, first.size(), kPortFormJob);
  ipx->endDoc(port->PortId);
  second.join();
  EXPECT_TRUE(started);
  EXPECT_TRUE(port->InJob);
  const Bytes next = patterned(20, 5);
  write(*port, next, next.size(), kPortFormJob);
  ipx->endDoc(port->PortId);
  Bytes both = first;
  both.insert(both.end(), next.begin(), next.end());
  EXPECT_EQ(pb().ipxJobData(1), both);
}

TEST_F(CorIpxJobs, AnAdapterGoneMidJobEndsTheJobWithinItsBound) {
  IPXPORT* port = portBayPort1();
  ASSERT_TRUE(port);
  ipx->startDoc(port->PortId, nullptr);
  const Bytes data = patterned(50, 6);
  write(*port, data, data.size(), kPortFormJob);
  ASSERT_TRUE(port->Captured);
  std::string error;
  ASSERT_TRUE(sim.apply("PB.silent = 1", ".", &error)) << error;
  const auto began = Clock::now();
  ipx->endDoc(port->PortId);
  EXPECT_LT(Clock::now() - began, scaled(160'000)) << "two minutes, one end-job and one release attempt";
  EXPECT_FALSE(port->InJob);
  EXPECT_FALSE(port->Captured);
  EXPECT_EQ(logCount("End Doc complete"), 1u);
  // The next job starts at once and fails its first write plainly.
  ipx->startDoc(port->PortId, nullptr);
  EXPECT_TRUE(port->InJob);
}

}  // namespace
}  // namespace wf::coripx::testing
