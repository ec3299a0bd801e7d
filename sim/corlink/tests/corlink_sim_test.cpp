// The CorLink server simulator seen from a client that frames by hand: every
// expectation is the bytes on the pipes.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "child_process.h"
#include "eventually.h"
#include "platform/byte_codec.h"
#include "platform/named_pipe.h"
#include "sim/corlink/simulator.h"
#include "sim/printer/alerts.h"
#include "test_dirs.h"

namespace wf::sim::corlink {
namespace {

namespace fs = std::filesystem;
using Raw = std::vector<std::uint8_t>;

const Node kMultiNode = {0x00, 0x00, 0xC0, 0x01, 0x02, 0x03};
const Raw kVireoBlock = {0x00, 0x00, 0xC0, 0x01, 0x02, 0x03, 0x00, 0x01, 0x01, 0x03};  // parallel port 1

fs::path writeWorld(const std::string& extra = "") {
  const fs::path file = ::wf::testing::testDataRoot() / "corlink.scenario";
  fs::create_directories(file.parent_path());
  std::ofstream(file) << "[corlink.servers]\nadapters = " << WF_SIM_PROFILE_DIR << "\njobs = jobs\n"
                      << "SRV1.administrators = ALICE, carol\n"
                      << "SRV1.A = portbay-npa.adapter\nSRV1.A.node = 0000C0010203\n"
                      << "SRV1.A.port0 = SERIAL1, Q_SER, 0, tidewater-pagecrest2.profile\n"
                      << "SRV1.A.port1 = VIREO1, Q_VIREO, 8001, meridian-vireo10.profile\n"
                      << "SRV1.A.port2 = SPARE2\n"
                      << "SRV1.K = kestrel-single.adapter\nSRV1.K.port1 = HALC1, Q_HALC, 0, halcyon-chroma.profile\n"
                      << "SRV1.X = ext-7390.adapter\nSRV1.X.port1 = GEN1, , 0, generic-7301.profile\n"
                      << "SRV2.down-level = 1\nSRV2.A = portbay-npa.adapter\n"
                      << extra;
  return file;
}

Raw frame(std::uint32_t command, const Raw& block, const Raw& data) {
  Raw f(9, 0);
  storeBe16(f.data(), static_cast<std::uint16_t>(9 + block.size() + data.size()));
  f[2] = 2;
  storeLe32(f.data() + 3, command);
  storeBe16(f.data() + 7, static_cast<std::uint16_t>(block.size()));
  f.insert(f.end(), block.begin(), block.end());
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

// A client of one server's pipes, framing with the test's own code.
class Client {
 public:
  explicit Client(const std::string& server, const char* pipe = kRequestPipe) {
    DWORD error = 0;
    auto p = NamedPipe::open("\\\\" + server + pipe, &error);
    if (!p) throw std::runtime_error("open: " + std::to_string(error));
    pipe_.emplace(std::move(*p));
  }

  void send(const Raw& bytes) { ASSERT_EQ(pipe_->write(bytes.data(), bytes.size()), static_cast<DWORD>(ERROR_SUCCESS)); }

  // One frame as it came; empty when none came in `ms` or the pipe closed.
  Raw next(std::uint32_t ms = 10'000) {
    Raw f(9);
    if (!readAll(f.data(), 9, ms)) return {};
    f.resize(std::max<std::size_t>(loadBe16(f.data()), 9));
    if (!readAll(f.data() + 9, f.size() - 9, ms)) return {};
    return f;
  }

  // A request and its acknowledgement; then the reply's data gathered over
  // its frames, each acknowledged. *frames counts them.
  Raw exchange(std::uint8_t command, const Raw& block, const Raw& data, std::uint32_t* status = nullptr,
               int* frames = nullptr) {
    send(frame(command | 0x00200000, block, data));
    const Raw ack = next();
    EXPECT_EQ(ack, frame(command | 0x80200000, block, {}));
    Raw gathered;
    for (int n = 1;; ++n) {
      Raw f = next();
      if (f.empty()) return gathered;
      const std::uint32_t word = loadLe32(f.data() + 3);
      const std::size_t blockLength = loadBe16(f.data() + 7);
      gathered.insert(gathered.end(), f.begin() + 9 + static_cast<std::ptrdiff_t>(blockLength), f.end());
      f.resize(9 + blockLength);
      storeBe16(f.data(), static_cast<std::uint16_t>(f.size()));
      storeLe32(f.data() + 3, word | 0x80000000);
      send(f);
      if (status) *status = word & 0x7F000000;
      if (frames) *frames = n;
      if (word & 0x00200000) return gathered;
    }
  }

  NamedPipe& pipe() { return *pipe_; }

 private:
  bool readAll(std::uint8_t* out, std::size_t size, std::uint32_t ms) {
    std::size_t done = 0;
    while (done < size) {
      std::size_t got = 0;
      if (pipe_->read(out + done, size - done, &got, ms) != ERROR_SUCCESS) return false;
      done += got;
    }
    return true;
  }
  std::optional<NamedPipe> pipe_;
};

std::string textOf(const Raw& r, std::size_t at, std::size_t width) {
  std::string out;
  for (std::size_t i = at; i < at + width && i < r.size() && r[i]; ++i) out += static_cast<char>(r[i]);
  return out;
}

class CorLinkSim : public ::testing::Test {
 protected:
  void SetUp() override { start(); }
  void start(const std::string& extra = "") {
    sim_.emplace();
    std::string error;
    ASSERT_TRUE(sim_->loadScenario(writeWorld(extra), &error)) << error;
  }
  bool line(const std::string& text, std::string* answer = nullptr) {
    std::string error;
    const bool ok = sim_->apply(text, ::wf::testing::testDataRoot(), &error, answer);
    if (!ok) lastError_ = error;
    return ok;
  }
  std::optional<CorLinkSimulator> sim_;
  std::string lastError_;
};

TEST_F(CorLinkSim, Command6ExchangeByteForByte) {
  Client c("srv1");
  c.send(frame(0x00200006, kVireoBlock, {}));
  EXPECT_EQ(c.next(), (Raw{0x00, 0x13, 0x02, 0x06, 0x00, 0x20, 0x80, 0x00, 0x0A, 0x00, 0x00, 0xC0, 0x01, 0x02, 0x03,
                           0x00, 0x01, 0x01, 0x03}));
  const Raw reply = c.next();
  ASSERT_EQ(reply.size(), 19u + kPortRecordSize);
  EXPECT_EQ(Raw(reply.begin(), reply.begin() + 19),
            (Raw{0x00, 0x80, 0x02, 0x06, 0x00, 0x20, 0x00, 0x00, 0x0A, 0x00, 0x00, 0xC0, 0x01, 0x02, 0x03, 0x00, 0x01,
                 0x01, 0x03}));
  const Raw record(reply.begin() + 19, reply.end());
  EXPECT_EQ(textOf(record, 0, 25), "VIREO1");
  EXPECT_EQ(textOf(record, 25, 65), "Q_VIREO");
  EXPECT_EQ(loadLe16(&record[90]), 0x8001);
  EXPECT_EQ(Raw(record.begin() + 92, record.begin() + 98), Raw(kMultiNode.begin(), kMultiNode.end()));
  EXPECT_EQ(loadLe16(&record[104]), 4);  // multi-port with a serial port
  EXPECT_EQ((Raw{record[106], record[107], record[108]}), (Raw{0, 1, 1}));
  c.send(frame(0x80200006, kVireoBlock, {}));
  EXPECT_TRUE(c.next(100).empty());  // nothing more for this request
  EXPECT_TRUE(sim_->waitForLog("SRV1 in request 0013020600200000", 0));
}

TEST_F(CorLinkSim, RecordsOfEveryPortKindAndTheListings) {
  Client c("SRV1");
  std::uint32_t status = 0;
  int frames = 0;
  const Raw all = c.exchange(5, {}, {}, &status, &frames);
  ASSERT_EQ(all.size(), 5 * kPortRecordSize);
  EXPECT_EQ(frames, 2) << "545 bytes need a second frame";
  const std::map<std::string, Raw> expected = {
      {"SERIAL1", {4, 1, 1, 0}}, {"VIREO1", {4, 0, 1, 1}}, {"SPARE2", {4, 0, 2, 2}},
      {"HALC1", {16, 0x80, 0, 1}}, {"GEN1", {8, 0, 1, 1}}};
  for (std::size_t i = 0; i < 5; ++i) {
    const Raw r(all.begin() + static_cast<std::ptrdiff_t>(i * kPortRecordSize),
                all.begin() + static_cast<std::ptrdiff_t>((i + 1) * kPortRecordSize));
    const auto it = expected.find(textOf(r, 0, 25));
    ASSERT_NE(it, expected.end()) << textOf(r, 0, 25);
    EXPECT_EQ((Raw{static_cast<std::uint8_t>(loadLe16(&r[104])), r[106], r[107], r[108]}), it->second) << it->first;
  }
  EXPECT_EQ(c.exchange(13, {}, {}).size(), 3 * kPortRecordSize) << "queue ports only";
  const Raw byShare = c.exchange(7, {}, {'q', '_', 'h', 'a', 'l', 'c', 0});
  EXPECT_EQ(textOf(byShare, 0, 25), "HALC1");
  EXPECT_EQ(c.exchange(12, kVireoBlock, {}), (Raw{'Q', '_', 'V', 'I', 'R', 'E', 'O', 0}));
  EXPECT_EQ(c.exchange(9, kVireoBlock, {}), (Raw{'V', 'I', 'R', 'E', 'O', '1', 0}));
  EXPECT_EQ(c.exchange(10, kVireoBlock, {}).size(), 143u);
  EXPECT_EQ(c.exchange(11, kVireoBlock, {}).size(), 8u);
  const Raw adapter = c.exchange(8, kVireoBlock, {});
  ASSERT_EQ(adapter.size(), kAdapterRecordSize);
  EXPECT_EQ(adapter[0], 2);  // media
  EXPECT_EQ((Raw(adapter.begin() + 3, adapter.begin() + 9)), (Raw{0x00, 0x00, 0xC0, 0x4A, 0x10, 0x01}));
  EXPECT_EQ((Raw(adapter.begin() + 9, adapter.begin() + 12)), (Raw{3, 1, 7}));
  EXPECT_EQ(textOf(adapter, 12, 7), "4033XLE");

  // No such port, no such command: status 1 where a reply is due.
  const Raw nowhere = {9, 9, 9, 9, 9, 9, 0, 1, 1, 3};
  for (std::uint8_t command : {6, 8, 9, 12, 42}) {
    status = 0;
    EXPECT_TRUE(c.exchange(command, command == 42 ? Raw{} : nowhere, {}, &status).empty());
    EXPECT_EQ(status, 0x01000000u) << int(command);
  }
}

TEST_F(CorLinkSim, VersionCheckAndAdministratorCheck) {
  Client current("SRV1");
  current.send(frame(0x0020007F, {}, {}));
  EXPECT_EQ(current.next(), frame(0x8020007F, {}, {}));
  EXPECT_TRUE(current.next(100).empty()) << "127 has no reply";
  Client old("SRV2");
  old.send(frame(0x0020007F, {}, {}));
  EXPECT_EQ(old.next(), frame(0x8620007F, {}, {}));

  for (const auto& [user, admin] : std::vector<std::pair<std::string, std::uint8_t>>{
           {"ALICE", 1}, {"alice", 1}, {"CAROL", 1}, {"BOB", 0}, {"ALICEX", 0}})
    EXPECT_EQ(current.exchange(2, {}, Raw(user.begin(), user.end())), Raw{admin}) << user;
}

TEST_F(CorLinkSim, PrinterRequestsAreAnsweredAndPrintDataIsKept) {
  Client c("SRV1");
  // A summary request (reply wanted): the printer's packets.
  const Raw summary = c.exchange(0, kVireoBlock, {0xA5, 0x00, 0x03, 0x50, 0x01, 0x00});
  ASSERT_GT(summary.size(), 5u);
  EXPECT_EQ(summary[0], 0xA5);
  EXPECT_EQ(summary[4], 0x01);
  // A request that wants no reply and gets none: acknowledged with its command and sub-code.
  EXPECT_EQ(c.exchange(0, kVireoBlock, {0xA5, 0x00, 0x05, 0x40, 0x03, 0x05, 0x02, 0x00}),
            (Raw{0xA5, 0x00, 0x03, 0x10, 0x03, 0x05}));
  // Print data: acknowledged, never answered, kept for other processes as
  // the printer took it (its PJL wrapper gone).
  const std::string job = "\x1B%-12345X@PJL JOB\r\nHello\x1B%-12345X";
  c.send(frame(0x00200000, kVireoBlock, Raw(job.begin(), job.end())));
  EXPECT_EQ(c.next(), frame(0x80200000, kVireoBlock, {}));
  EXPECT_TRUE(c.next(200).empty());
  std::ifstream kept(::wf::testing::testDataRoot() / "jobs" / "SRV1.VIREO1.1.prn", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "Hello");
}

TEST_F(CorLinkSim, AlertPipesCarryPrinterDataAndNotices) {
  Client alerts("SRV1", kAlertPipe);
  Client second("SRV1", kAlertPipe);
  Client c("SRV1");
  ASSERT_TRUE(::wf::testing::eventually([&] { return sim_->server("SRV1")->openAlertPipes() == 2; }));
  EXPECT_FALSE(line("SRV1.raise-status = VIREO1 4"));
  // The device-status class captured through a request, in the printer's own encoding.
  std::uint8_t classes[3] = {};
  for (int byte = 0; byte < 3; ++byte)
    for (int bit = 0; bit < 8; ++bit) {
      std::uint8_t probe[3] = {};
      probe[byte] = static_cast<std::uint8_t>(1 << bit);
      if (::wf::sim::alerts::maskFromCapture(probe[0], probe[1], probe[2]) & 0x4) classes[byte] |= probe[byte];
    }
  c.exchange(0, kVireoBlock, {0xA5, 0x00, 0x06, 0x50, 0x03, 0x03, classes[0], classes[1], classes[2]});
  ASSERT_TRUE(line("SRV1.raise-status = VIREO1 4")) << lastError_;
  for (Client* pipe : {&alerts, &second}) {
    const Raw f = pipe->next();
    ASSERT_GT(f.size(), 19u);
    EXPECT_EQ(loadLe32(f.data() + 3), 0x00200000u);
    EXPECT_EQ(Raw(f.begin() + 9, f.begin() + 19), kVireoBlock);
    EXPECT_EQ(f[19], 0xA5);
    EXPECT_EQ(f[23], 0xFF) << "a device-status alert";
  }
  ASSERT_TRUE(line("SRV1.notice = VIREO1 129"));
  EXPECT_EQ(alerts.next(), frame(0x00200081, kVireoBlock, {}));
  ASSERT_TRUE(line("SRV1.move = A 0000C0AABBCC"));
  Raw moved = kVireoBlock;
  moved[6] = 1;  // the adapter's first port: serial
  EXPECT_EQ(alerts.next(), frame(0x00200087, {0x00, 0x00, 0xC0, 0x01, 0x02, 0x03, 1, 1, 0, 3},
                                 {0x00, 0x00, 0xC0, 0x01, 0x02, 0x03, 0x00, 0x00, 0xC0, 0xAA, 0xBB, 0xCC}));
  std::string shown;
  ASSERT_TRUE(line("SRV1.show = A", &shown));
  EXPECT_NE(shown.find("address=0000C0AABBCC"), std::string::npos) << shown;
  EXPECT_FALSE(line("SRV1.notice = VIREO1 12"));
  EXPECT_FALSE(line("SRV1.notice = NOBODY 130"));
}

TEST_F(CorLinkSim, TransactionPipeNamesTheAdministrationPipe) {
  Client tambor("SRV1", kTransactionPipe);
  ASSERT_EQ(tambor.pipe().setReadMode(PipeMode::Message), static_cast<DWORD>(ERROR_SUCCESS));
  std::uint8_t reply[275];
  std::size_t got = 0;
  ASSERT_EQ(tambor.pipe().transact("\x00\x04\xCC\xFC", 4, reply, sizeof reply, &got, 10'000),
            static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_GT(got, 14u);
  const std::string name(reinterpret_cast<const char*>(reply) + 14);
  EXPECT_EQ(name, kAdministrationPipe);
  EXPECT_EQ(reply[got - 1], 0);

  Client admin("SRV1", name.c_str());
  auto command = [&](Raw packet) {
    storeBe16(packet.data(), static_cast<std::uint16_t>(packet.size()));
    admin.send(packet);
    Raw head(4);
    std::size_t n = 0, done = 0;
    while (done < 4 && admin.pipe().read(head.data() + done, 4 - done, &n, 10'000) == ERROR_SUCCESS) done += n;
    if (done < 4) return Raw{};
    head.resize(loadBe16(head.data()));
    while (done < head.size() && admin.pipe().read(head.data() + done, head.size() - done, &n, 10'000) == ERROR_SUCCESS)
      done += n;
    return head;
  };
  const Raw node(kMultiNode.begin(), kMultiNode.end());
  auto addressed = [&](std::uint8_t cmd, Raw body = {}) {
    Raw p = {0, 0, 0xCC, cmd};
    p.insert(p.end(), node.begin(), node.end());
    p.push_back(1);
    p.insert(p.end(), body.begin(), body.end());
    return p;
  };
  EXPECT_EQ(command(addressed(0x22)).size(), 6u) << "the adapter is up";
  EXPECT_EQ(command(addressed(0xEF)), (Raw{0x00, 0x04, 0x00, 0xEF}));
  EXPECT_EQ(command(addressed(0x22)).size(), 4u) << "restarting";
  EXPECT_EQ(command(addressed(0x22)).size(), 4u);
  EXPECT_EQ(command(addressed(0x22)).size(), 6u) << "back";
  Raw nickname(25, 0);
  std::copy_n("PARTY", 5, nickname.begin());
  EXPECT_EQ(command(addressed(0x61, nickname))[2], 0x00);
  Raw queue(65, 0);
  std::copy_n("Q_VIREO", 7, queue.begin());
  Raw stop = {0, 0, 0xCC, 0x80};
  stop.insert(stop.end(), queue.begin(), queue.end());
  EXPECT_EQ(command(stop), (Raw{0x00, 0x04, 0xAA, 0x80}));
  std::string shown;
  ASSERT_TRUE(line("SRV1.show = A", &shown));
  EXPECT_EQ(shown, "address=0000C0010203 password= nicknames=PARTY,PARTY,PARTY stopped=Q_VIREO flash=0");
  EXPECT_EQ(command(addressed(0x77))[2], 0xFF) << "unknown command";
  admin.send({0x00, 0x04, 0xCC, 0xDD});
  std::uint8_t byte;
  std::size_t n = 0;
  EXPECT_EQ(admin.pipe().read(&byte, 1, &n, 10'000), static_cast<DWORD>(ERROR_BROKEN_PIPE));
}

TEST_F(CorLinkSim, DownAndUpAndHostileClientsLeaveTheServerServing) {
  ASSERT_TRUE(line("SRV1.down"));
  DWORD error = 0;
  EXPECT_FALSE(NamedPipe::open("\\\\SRV1" + std::string(kRequestPipe), &error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  ASSERT_TRUE(line("SRV1.up"));

  const std::vector<std::pair<std::string, Raw>> hostile = {
      {"port block length 7", {0x00, 0x10, 0x02, 0x09, 0x00, 0x20, 0x00, 0x00, 0x07, 1, 2, 3, 4, 5, 6, 7}},
      {"frame length 5", {0x00, 0x05, 0x02, 0x09, 0x00, 0x20, 0x00, 0x00, 0x00}},
      {"frame length 600", {0x02, 0x58, 0x02, 0x09, 0x00, 0x20, 0x00, 0x00, 0x00}},
      {"acknowledgement where a request was due", frame(0x80200009, {}, {})},
  };
  for (const auto& [why, bytes] : hostile) {
    Client c("SRV1");
    c.send(bytes);
    std::uint8_t byte;
    std::size_t n = 0;
    EXPECT_EQ(c.pipe().read(&byte, 1, &n, 10'000), static_cast<DWORD>(ERROR_BROKEN_PIPE)) << why;
    EXPECT_TRUE(sim_->waitForLog("SRV1 close request pipe: " + why, 1000)) << why;
  }
  // Endless non-final frames end at 1 MiB.
  {
    Client c("SRV1");
    const Raw chunk = frame(0x00000000, kVireoBlock, Raw(493, 0x20));
    bool closed = false;
    for (int i = 0; i < 2200 && !closed; ++i) {
      closed = c.pipe().write(chunk.data(), chunk.size(), 10'000) != ERROR_SUCCESS || c.next().empty();
    }
    EXPECT_TRUE(closed);
    EXPECT_TRUE(sim_->waitForLog("SRV1 close request pipe: message beyond 1 MiB", 1000));
  }
  Client fine("SRV1");
  EXPECT_EQ(fine.exchange(9, kVireoBlock, {}), (Raw{'V', 'I', 'R', 'E', 'O', '1', 0}));
}

TEST_F(CorLinkSim, RandomBytesFromClientsNeverStopTheServer) {
  std::mt19937 random(47);
  for (int i = 0; i < 120; ++i) {
    const char* pipe = i % 3 == 0 ? kAdministrationPipe : kRequestPipe;
    Client c("SRV1", pipe);
    Raw junk(random() % 700);
    for (auto& b : junk) b = static_cast<std::uint8_t>(random());
    if (i % 2 && junk.size() >= 9) {  // a plausible header in front
      storeBe16(junk.data(), static_cast<std::uint16_t>(std::min<std::size_t>(junk.size(), 512)));
      storeBe16(junk.data() + 7, random() % 2 ? 10 : 0);
    }
    c.pipe().write(junk.data(), junk.size(), 1'000);
  }
  Client fine("SRV1");
  EXPECT_EQ(fine.exchange(9, kVireoBlock, {}), (Raw{'V', 'I', 'R', 'E', 'O', '1', 0}));
}

// Each knob, by the bytes a client sees on a command-9 exchange.
TEST_F(CorLinkSim, KnobsShowInTheBytes) {
  struct Case {
    std::string knob;
    std::function<void(Client&)> check;
  };
  auto request = [](Client& c) {
    c.send(frame(0x00200009, kVireoBlock, {}));
    return c.next();
  };
  const std::vector<Case> cases = {
      {"silent = 1",
       [&](Client& c) {
         EXPECT_EQ(request(c), frame(0x80200009, kVireoBlock, {}));
         EXPECT_TRUE(c.next(200).empty());
       }},
      {"reply-frame = 21",
       [&](Client& c) {
         int frames = 0;
         EXPECT_EQ(c.exchange(9, kVireoBlock, {}, nullptr, &frames), (Raw{'V', 'I', 'R', 'E', 'O', '1', 0}));
         EXPECT_EQ(frames, 4) << "two data bytes a frame";
       }},
      {"ack-without-final = 1", [&](Client& c) { EXPECT_EQ(request(c), frame(0x80000009, kVireoBlock, {})); }},
      {"ack-with-data = 1", [&](Client& c) { EXPECT_EQ(request(c), frame(0x80200009, kVireoBlock, {0xAC, 0xCE, 0x55})); }},
      {"oversize-frame = 1",
       [&](Client& c) {
         request(c);
         Raw head(2);
         std::size_t n = 0;
         ASSERT_EQ(c.pipe().read(head.data(), 2, &n, 10'000), static_cast<DWORD>(ERROR_SUCCESS));
         EXPECT_EQ(loadBe16(head.data()), 600);
       }},
      {"block-length-7 = 1",
       [&](Client& c) {
         request(c);
         const Raw f = c.next();
         ASSERT_GE(f.size(), 9u);
         EXPECT_EQ(loadBe16(f.data() + 7), 7);
       }},
      {"short-frame = 1",
       [&](Client& c) {
         request(c);
         Raw head(2);
         std::size_t n = 0;
         ASSERT_EQ(c.pipe().read(head.data(), 2, &n, 10'000), static_cast<DWORD>(ERROR_SUCCESS));
         EXPECT_EQ(loadBe16(head.data()), 5);
       }},
      {"drop-after = 1",
       [&](Client& c) {
         EXPECT_EQ(request(c), frame(0x80200009, kVireoBlock, {}));
         EXPECT_TRUE(c.next().empty()) << "closed instead of the reply";
       }},
      {"unterminated-texts = 1",
       [&](Client& c) {
         const Raw r = c.exchange(6, kVireoBlock, {});
         ASSERT_EQ(r.size(), kPortRecordSize);
         EXPECT_NE(r[24], 0);
         EXPECT_NE(r[89], 0);
       }},
      {"partial-record = 1", [&](Client& c) { EXPECT_EQ(c.exchange(5, {}, {}).size() % kPortRecordSize, 69u); }},
      {"short-adapter-record = 1", [&](Client& c) { EXPECT_EQ(c.exchange(8, kVireoBlock, {}).size(), 40u); }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.knob);
    start("SRV1." + k.knob + "\n");
    Client c("SRV1");
    k.check(c);
  }
}

TEST_F(CorLinkSim, AdministrationKnobs) {
  struct Case {
    std::string knob;
    Raw packet;
    std::function<void(const Raw&)> check;
  };
  const Raw node(kMultiNode.begin(), kMultiNode.end());
  Raw addressed22 = {0x00, 0x0B, 0xCC, 0x22};
  addressed22.insert(addressed22.end(), node.begin(), node.end());
  addressed22.push_back(1);
  Raw start81 = {0x00, 0x45, 0xCC, 0x81};
  start81.resize(69, 0);
  std::copy_n("Q_VIREO", 7, start81.begin() + 4);
  const std::vector<Case> cases = {
      {"adapter-error = 1", addressed22, [](const Raw& r) { EXPECT_EQ(r, (Raw{0x00, 0x05, 0xFF, 0x22, 0x01})); }},
      {"never-back = 1", addressed22, [](const Raw& r) { EXPECT_EQ(r.size(), 4u); }},
      {"refuse-stop-start = 1", start81, [](const Raw& r) { EXPECT_EQ(r, (Raw{0x00, 0x06, 0x00, 0x81, 0x00, 0x05})); }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.knob);
    start("SRV1." + k.knob + "\n");
    Client admin("SRV1", kAdministrationPipe);
    admin.send(k.packet);
    Raw reply(64);
    std::size_t n = 0;
    ASSERT_EQ(admin.pipe().read(reply.data(), reply.size(), &n, 10'000), static_cast<DWORD>(ERROR_SUCCESS));
    reply.resize(n);
    k.check(reply);
  }
  start("SRV1.transact-without-nul = 1\n");
  Client tambor("SRV1", kTransactionPipe);
  std::uint8_t reply[275];
  std::size_t got = 0;
  ASSERT_EQ(tambor.pipe().transact("\x00\x04\xCC\xFC", 4, reply, sizeof reply, &got, 10'000),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(got, 14 + std::string(kAdministrationPipe).size());
  EXPECT_NE(reply[got - 1], 0);
}

TEST(CorLinkSimProgram, ServesTheScenarioTakesLinesAndQuits) {
  const fs::path scenario = writeWorld("log = corlink.log\n");
  ::wf::testing::ChildProcess program("wf-corlink-sim", {scenario.string()});
  ASSERT_EQ(program.readLine(), "ready");
  Client c("SRV1");
  EXPECT_EQ(c.exchange(9, kVireoBlock, {}), (Raw{'V', 'I', 'R', 'E', 'O', '1', 0}));
  EXPECT_EQ(program.call("SRV1.show = K"), "ok address=0000C05B2207 password= nicknames=HALC1 stopped= flash=0");
  EXPECT_EQ(program.call("SRV1.raise-status = one"), "err raise-status is <nickname> <hex mask>");
  EXPECT_EQ(program.call("SRV1.silent = 7"), "err silent is 0 or 1");
  // A printer key of a port: the Vireo's replies carry the error flag from now on.
  EXPECT_EQ(program.call("SRV1.VIREO1.error-replies = 1"), "ok");
  std::uint32_t status = 0;
  const Raw summary = c.exchange(0, kVireoBlock, {0xA5, 0x00, 0x03, 0x50, 0x01, 0x00}, &status);
  ASSERT_GT(summary.size(), 3u);
  EXPECT_EQ(summary[3] & 0x80, 0x80);
  EXPECT_EQ(status, 0x05000000u);
  EXPECT_EQ(program.call("SRV1.VIREO1.no-such-key = 1").substr(0, 4), "err ");
  EXPECT_EQ(program.call("SRV1.down"), "ok");
  DWORD error = 0;
  EXPECT_FALSE(NamedPipe::open("\\\\SRV1" + std::string(kRequestPipe), &error));
  program.call("quit", 100);
  EXPECT_EQ(program.waitExit(), 0);
  std::ifstream lines(::wf::testing::testDataRoot() / "corlink.log");
  const std::string all((std::istreambuf_iterator<char>(lines)), std::istreambuf_iterator<char>());
  EXPECT_NE(all.find("SRV1 in request 0013020900200000"), std::string::npos) << all;
}

}  // namespace
}  // namespace wf::sim::corlink
