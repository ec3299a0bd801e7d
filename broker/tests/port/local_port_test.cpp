// One open port against a simulated printer: responses handed to the one
// waiter, late and foreign responses never taken for the next request,
// stalls ended, the PJL query before and through the reader, alerts.
#include "local_port.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "broker/corbce.h"
#include "npa.h"
#include "platform/clock.h"
#include "sim/printer/port_server.h"

namespace npa = wf::bce::npa;
namespace sim = wf::sim;
namespace timeouts = wf::bce::timeouts;
using wf::bce::kNpaAuto;
using wf::bce::kNpaOff;
using wf::bce::kNpaOn;
using wf::bce::LocalPort;
using wf::bce::pjlQuery;
using wf::openParallelPort;
using wf::PortError;
using wf::PortOpen;
using wf::setTimeScaleForTest;
using wf::sleepFor;

namespace {

sim::Profile profile(sim::NpaMode npa, bool pjlSilent = false) {
  auto p = sim::parseProfile(
      "family = Meridian\n"
      "device-id = \"MFG:Corvane;MDL:Vireo 10;\"\n"
      "model = \"Vireo 10\"\nrevision = \"1\"\nserial = \"S1\"\nmax-packet = 1024\nstatus = 00 00 00\n");
  p->npa = npa;
  p->pjlSilent = pjlSilent;
  return *p;
}

class Port : public ::testing::Test {
 protected:
  // Short enough for the long waits, long enough that the 50 ms byte
  // intervals of a reply survive a loaded machine.
  void SetUp() override { setTimeScaleForTest(0.1); }
  void TearDown() override { setTimeScaleForTest(1); }

  void serve(sim::NpaMode npa = sim::NpaMode::On, bool pjlSilent = false) {
    printer = std::make_shared<sim::PrinterModel>(profile(npa, pjlSilent));
    server = sim::PortServer::start(1, printer);
    ASSERT_TRUE(server);
  }
  void open() {
    PortError error;
    port = LocalPort::open(
        "LPT1:",
        [this](std::uint8_t c, std::string d) {
          std::lock_guard lock(alertLock);
          alerts.push_back(std::string(1, static_cast<char>(c)) + d);
        },
        error);
    ASSERT_TRUE(port) << static_cast<int>(error);
  }
  // Request `code` and its response: result, data.
  std::pair<std::int32_t, std::string> ask(std::uint32_t code, std::string_view data = {},
                                           std::uint32_t room = 256) {
    auto packet = npa::buildRequest(code, data, true, 1024);
    std::string reply(room, '\0');
    std::uint32_t length = room;
    port->expectResponse();
    EXPECT_EQ(port->write(*packet).written, packet->size());
    const auto command = static_cast<std::uint8_t>((*packet)[4]);
    const std::int32_t rc =
        port->awaitResponse(command, reply.data(), &length, &flags, timeouts::kResponseWait);
    reply.resize(length);
    return {rc, reply};
  }
  void knobs(const std::function<void(sim::Knobs&)>& change) {
    sim::Knobs k = printer->knobs();
    change(k);
    printer->setKnobs(k);
  }

  std::shared_ptr<sim::PrinterModel> printer;
  std::unique_ptr<sim::PortServer> server;
  std::unique_ptr<LocalPort> port;
  std::uint8_t flags = 0;
  std::mutex alertLock;
  std::vector<std::string> alerts;
};

TEST_F(Port, ResponseReachesTheWaiterWithItsFlagsAndIsCutToTheBuffer) {
  serve();
  open();
  auto [rc, data] = ask(52, "abc");
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(data,
            "\x04"
            "abc");  // the probe request echoes its sub-code and data
  auto [cut, part] = ask(52, "abcdef", 2);
  EXPECT_EQ(cut, BCE_ERR_REPLY_TOO_LONG);
  EXPECT_EQ(part,
            "\x04"
            "a");

  knobs([](sim::Knobs& k) { k.errorReplies = 1; });
  EXPECT_EQ(ask(52, "x").first, 0);
  EXPECT_TRUE(flags & wf::protocol::npa::kFlagError);
}

TEST_F(Port, ForeignShortAndNoisyPacketsDoNotAnswerTheRequest) {
  serve();
  open();
  knobs([](sim::Knobs& k) {
    k.noise = std::string("\xA5\x00\x01zz", 5) + "junk";
    k.shortPacketFirst = true;
    k.replyPacketData = 2;
  });
  auto [rc, data] = ask(52, "hello");
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(data,
            "\x04"
            "hello");

  // Every reply with another command: dropped, and the wait ends at its first deadline.
  knobs([](sim::Knobs& k) {
    k = {};
    k.replyCommand = 0x07;
  });
  EXPECT_EQ(ask(52, "x").first, NET_READFAIL);
}

TEST_F(Port, LateReplyIsNeverTakenByTheNextRequestAndStallsEndTheWait) {
  serve();
  open();
  knobs([](sim::Knobs& k) { k.lateReplies = 1; });
  EXPECT_EQ(ask(52, "first").first, NET_READFAIL);
  // The late "first" arrives while this request waits: not its answer.
  auto [rc, data] = ask(52, "second");
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(data,
            "\x04"
            "second");
  sleepFor(sim::kLateReplyMs + 1000);  // every late reply is in, none stuck in the slot
  EXPECT_EQ(ask(52, "third").second,
            "\x04"
            "third");

  knobs([](sim::Knobs& k) {
    k = {};
    k.stallReplies = true;
  });
  EXPECT_EQ(ask(52, "0123456789").first, NET_READFAIL);
  knobs([](sim::Knobs& k) { k = {}; });
  EXPECT_EQ(ask(52, "after").second,
            "\x04"
            "after");
}

TEST_F(Port, AlertsGoToTheSinkWhileResponsesGoToTheWaiter) {
  serve();
  open();
  ASSERT_EQ(ask(51, std::string("\x00\x0F\x00", 3)).first, 0);  // enable device status classes
  ASSERT_EQ(ask(91, std::string("\x04", 1)).first, 0);          // and class 4
  knobs([](sim::Knobs& k) {
    k.deferAlerts = true;
    k.replyPacketData = 3;
  });
  ASSERT_TRUE(server->raiseDeviceStatus(0x1));
  ASSERT_TRUE(server->raiseClassAlert(std::string("\x00\x04\x01\x02", 4)));
  EXPECT_EQ(ask(52, "abcdefg").second,
            "\x04"
            "abcdefg");  // the held alerts come inside the reply
  std::lock_guard lock(alertLock);
  ASSERT_EQ(alerts.size(), 2u);
  EXPECT_EQ(static_cast<std::uint8_t>(alerts[0][0]), 0xFF);
  EXPECT_EQ(npa::dsaAlertMask(std::span(reinterpret_cast<const std::uint8_t*>(alerts[0].data()) + 1, 3)),
            0x1u);
  EXPECT_EQ(alerts[1], std::string("\xF0\x00\x04\x01\x02", 5));
}

TEST_F(Port, PjlQueryAnswersTheModeBeforeAndThroughTheReader) {
  // Unscaled: a PJL answer has only the query's own time-outs, too short
  // scaled down for a loaded machine; the answering cases end at once.
  setTimeScaleForTest(1);
  const struct {
    sim::NpaMode mode;
    bool silent;
    int answer;
  } cases[] = {
      {sim::NpaMode::On, false, kNpaOn},
      {sim::NpaMode::Off, false, kNpaOff},
      {sim::NpaMode::Auto, false, kNpaAuto},
      {sim::NpaMode::Auto, true, kNpaAuto},  // silent to PJL, answers the probe
  };
  for (const auto& c : cases) {
    serve(c.mode, c.silent);
    {
      PortOpen raw = openParallelPort("LPT1");
      ASSERT_TRUE(raw.port);
      EXPECT_EQ(pjlQuery(*raw.port, 1), c.answer) << static_cast<int>(c.mode) << c.silent;
    }
    open();
    EXPECT_EQ(port->pjlQuery(), c.answer) << static_cast<int>(c.mode) << c.silent;
    port.reset();
    server.reset();
  }
  // A printer that answers nothing at all.
  serve(sim::NpaMode::On);
  knobs([](sim::Knobs& k) { k.silent = true; });
  open();
  EXPECT_EQ(port->pjlQuery(), kNpaOff);
}

TEST_F(Port, SecondOpenIsRefusedUntilTheFirstCloses) {
  serve();
  open();
  PortError error;
  EXPECT_FALSE(LocalPort::open("LPT1", {}, error));
  EXPECT_EQ(error, PortError::AccessDenied);
  port.reset();
  open();
  EXPECT_EQ(ask(52, "again").second,
            "\x04"
            "again");
}

}  // namespace
