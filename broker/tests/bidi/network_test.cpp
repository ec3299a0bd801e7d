// A network printer's alerts and print data: alerts come through the
// transport's data callback of a port opened for them; writes go through
// NetWrite or through local ports captured to the printer.
#include "bidi_fixture.h"
#include "eventually.h"
#include "platform/net_connections.h"

namespace sim = bidi_testing::sim;
using bidi_testing::BidiChild;
using bidi_testing::BidiFixture;
using bidi_testing::BufferReply;
using bidi_testing::eventually;
using bidi_testing::Posted;
using bidi_testing::postsOf;
using bidi_testing::PrinterListing;
using bidi_testing::profile;
using bidi_testing::Written;

namespace {

constexpr const char* kQueue = "\\\\SERVER\\QUEUE";

// Printer 101 on the IP transport's port 7 (NPA on), with LPT1 (a simulated
// printer) and LPT2 (redirected to a network queue) captured to it.
class NetworkPrinter : public BidiFixture {
 protected:
  void SetUp() override {
    BidiFixture::SetUp();
    scenario(std::string("[network.redirections]\nLPT2 = ") + kQueue + "\n");
    serve(1, profile("MDL:Vireo 10;"));
    startPrimary();
    primary->net("corip32", "port 7 0000C0A80007 3 0x30000 IP-7");
    ASSERT_EQ(primary->enumerate(BCE_NET_IP), (PrinterListing{{101, 3}}));
  }

  int netCalls(const std::string& call) {
    const std::string log = primary->netCalls("corip32");
    int n = 0;
    for (std::size_t at = log.find(call); at != std::string::npos; at = log.find(call, at + 1)) ++n;
    return n;
  }

  // Posts of `app` until `count` have come (or it gives up).
  static std::vector<Posted> postsOf(BidiChild& app, std::size_t count) {
    std::vector<Posted> got;
    eventually(
        [&] {
          for (const Posted& p : bidi_testing::postsOf(app)) got.push_back(p);
          return got.size() >= count;
        },
        200'000);
    return got;
  }
};

TEST_F(NetworkPrinter, AlertsArriveThroughTheDataCallbackOfThePortOpenedForThem) {
  auto secondary = startSecondary(1);
  ASSERT_EQ(secondary->capture(101, 0x1000, 0), BCE_OK);
  ASSERT_EQ(primary->capture(101, 0x1, 0), BCE_OK);
  EXPECT_EQ(netCalls("NetOpen 7"), 1);  // opened once for both applications

  // Dropped: a packet whose length runs past its bytes, and one of no class
  // (command F1). Posts keep their order, so the class-2 alert after them is
  // the only post if they were dropped.
  EXPECT_EQ(primary->netInject("corip32", 7,
                               "A500050"
                               "0F10102"),
            1);
  EXPECT_EQ(primary->netInject("corip32", 7,
                               "A500040"
                               "0F10002"),
            1);
  // Class 2 in two packets, the first flagged "more": one alert, data joined.
  EXPECT_EQ(primary->netInject("corip32", 7,
                               "A5000420F00102"
                               "A5000300F033"),
            1);
  EXPECT_EQ(postsOf(*secondary, 1), (std::vector<Posted>{{WM_BCE_ALERT_2, 1, 101, 0}}));
  EXPECT_EQ(secondary->query(1, std::nullopt, 0), (BufferReply{3, 0, ""}));
  EXPECT_EQ(secondary->query(1, 64, 0), (BufferReply{BCE_OK, 3, "010233"}));
  EXPECT_EQ(secondary->query(1, 64, 0), (BufferReply{BCE_FAIL, 0, ""}));  // only the secondary needed it

  // Device status (byte 1 bit 0x04 is class 0x2 when alerting): to the DSA
  // capturer only, no key from a network port, nothing queued.
  EXPECT_EQ(primary->netInject("corip32", 7, "A5000500FF000400"), 1);
  EXPECT_EQ(postsOf(*primary, 1), (std::vector<Posted>{{WM_BCE_DSA_ALERT, 0, 101, 2}}));
  EXPECT_EQ(bidi_testing::postsOf(*secondary), std::vector<Posted>{});

  // The port is closed after the last application released it.
  EXPECT_EQ(secondary->release(101, 1), BCE_OK);
  EXPECT_EQ(netCalls("NetClose 7"), 0);
  EXPECT_EQ(primary->release(101, 1), BCE_OK);
  EXPECT_EQ(netCalls("NetClose 7"), 1);
  EXPECT_EQ(primary->netInject("corip32", 7, "A5000500FF000400"), 0);  // no callback left

  // A port the transport cannot open answers the open failure, not a capture.
  primary->net("corip32", "remove 7");
  EXPECT_EQ(secondary->capture(101, 0x1000, 0), BCE_ERR_PORT_OPEN);
}

TEST_F(NetworkPrinter, WritesToCapturedPortsSendExactlyTheCallersBytes) {
  auto secondary = startSecondary(1);
  // LPT1: the port itself.
  EXPECT_EQ(secondary->netWrite(0x10000, 101, 5, false), (Written{BCE_OK, 5}));
  // The port layer has written the bytes; the printer takes them in on its own thread.
  const auto printed = [&] {
    std::string bytes;
    for (const auto& e : models[1]->log())
      if (e.direction == sim::Direction::Received && e.kind == sim::LogKind::PrintData) bytes += e.bytes;
    return bytes;
  };
  EXPECT_TRUE(wf::testing::eventually([&] { return printed().size() >= 5; }));
  EXPECT_EQ(printed(), "abcde");
  // LPT2: the queue it is redirected to.
  EXPECT_EQ(secondary->netWrite(0x20000, 101, 7, false), (Written{BCE_OK, 7}));
  EXPECT_EQ(wf::netconn::netConnections().writtenTo(kQueue), std::vector<std::string>{"abcdefg"});
  // LPT3 is not captured to this printer.
  EXPECT_EQ(secondary->netWrite(0x40000, 101, 5, false), (Written{BCE_ERR_NOT_ON_NETWORK, 0}));
  EXPECT_EQ(primary->netWrites("corip32"), "");  // none of it went through the transport
}

}  // namespace
