// The broker's local printers end to end: a primary (and a secondary) in
// helper processes, printers simulated here, every byte checked in the
// printer's log.
#include "bidi_fixture.h"
#include "broker/corbce.h"
#include "npa.h"

namespace sim = bidi_testing::sim;
using bidi_testing::BidiFixture;
using bidi_testing::BufferReply;
using bidi_testing::eventually;
using bidi_testing::Posted;
using bidi_testing::postsOf;
using bidi_testing::PrinterListing;
using bidi_testing::profile;
using bidi_testing::Written;

namespace {

class Bidi : public BidiFixture {};

TEST_F(Bidi, ScanAcceptsOnlyModelStringsExactlyAndProbesSilentPrinters) {
  serve(1, profile("MFG:Corvane;MDL:Vireo 10;"));
  serve(2, profile("MFG:Corvane;MDL:vireo 10;"));
  serve(3, profile("MFG:Corvane;MDL:Corvane Chroma Imager;", sim::NpaMode::Auto, true));
  serve(4, profile("MFG:Corvane;MDL:Pagecrest II;", sim::NpaMode::Off));
  startPrimary();
  // LPT1 NPA on, LPT3 answered only the probe (on and auto), LPT4 NPA off.
  EXPECT_EQ(primary->scan(), (PrinterListing{{11, 3}, {13, 7}, {14, 1}}));
}

TEST_F(Bidi, RequestsCarryTheirTemplateAndDataAndAnswerFromThePrinter) {
  serve(1, profile("MDL:Vireo 10;"));
  startPrimary();
  ASSERT_EQ(primary->scan(), (PrinterListing{{11, 3}}));
  auto secondary = startSecondary(1);

  // A read of a variable the printer lacks: its error flag answers -3.
  EXPECT_EQ(secondary->bidi(11, 78, 64, "E70000AA").result, BCE_ERR_ERROR_RESPONSE);
  EXPECT_EQ(primary->bidi(11, 1, 64).result, BCE_OK);
  const auto sent = packetsIn(1);
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[sent.size() - 2], "A5000850E0E700E70000AA");  // length 4 + 4 data bytes
  EXPECT_EQ(sent.back(),
            "A500035004"
            "00");

  // Without a reply buffer: 0 at once, the packet asks for no reply.
  EXPECT_EQ(secondary->bidi(11, 1, std::nullopt), (BufferReply{BCE_OK, 0, ""}));
  // A request sent without a reply returns before the printer has read it.
  EXPECT_TRUE(eventually([&] {
    return packetsIn(1).back() ==
           "A500034004"
           "00";
  })) << packetsIn(1).back();

  EXPECT_EQ(secondary->bidi(11, 14, 64), (BufferReply{BCE_ERR_BAD_REQUEST, 0, ""}));
  EXPECT_EQ(secondary->bidi(11, 51, 64, "000F00"), (BufferReply{BCE_ERR_BAD_REQUEST, 0, ""}));
  EXPECT_EQ(secondary->bidi(11, 4105, 64), (BufferReply{BCE_ERR_BAD_REQUEST, 0, ""}));  // "!" without data
  EXPECT_EQ(secondary->bidi(12, 1, 64), (BufferReply{BCE_ERR_BAD_HANDLE, 0, ""}));
  EXPECT_EQ(secondary->bidi(11, 4105, 64, "3300", 2), (BufferReply{BCE_OK, 0, ""}));
  EXPECT_TRUE(eventually([&] { return models[1]->pjlDefaults().count("COPIES") > 0; }));
  EXPECT_EQ(models[1]->pjlDefaults()["COPIES"], "3");
}

TEST_F(Bidi, FaultsOfThePrinterAnswerTheirCodes) {
  serve(1, profile("MDL:Vireo 10;", sim::NpaMode::Auto));
  startPrimary();
  ASSERT_EQ(primary->scan(), (PrinterListing{{11, 7}}));
  // An AUTO printer answers only after the sync packet, which goes before each request.
  EXPECT_EQ(primary->bidi(11, 52, 64, "414243").result, BCE_OK);
  sim::Knobs k;
  k.errorReplies = 1;
  models[1]->setKnobs(k);
  EXPECT_EQ(primary->bidi(11, 52, 64, "41").result, BCE_ERR_ERROR_RESPONSE);
  // The error comes first, also when the response does not fit the buffer.
  models[1]->setKnobs(k);
  EXPECT_EQ(primary->bidi(11, 52, 1, "41").result, BCE_ERR_ERROR_RESPONSE);
  k = {};
  k.stallReplies = true;
  models[1]->setKnobs(k);
  EXPECT_EQ(primary->bidi(11, 52, 64, "4142434445").result, NET_READFAIL);
  k = {};
  k.lateReplies = 1;
  models[1]->setKnobs(k);
  EXPECT_EQ(primary->bidi(11, 52, 64, "4C415445").result, NET_READFAIL);
  // "NEXT", not the late one
  EXPECT_EQ(primary->bidi(11, 52, 64, "4E455854"), (BufferReply{BCE_OK, 5, "044E455854"}));
}

TEST_F(Bidi, SummaryIsCachedAndASmallBufferLearnsItsLength) {
  serve(1, profile("MDL:Vireo 10;"));
  startPrimary();
  ASSERT_EQ(primary->scan(), (PrinterListing{{11, 3}}));
  auto secondary = startSecondary(1);
  const BufferReply first = secondary->bidi(11, 16, 512);
  ASSERT_EQ(first.result, BCE_OK);
  const std::size_t traffic = packetsIn(1).size();
  EXPECT_EQ(secondary->bidi(11, 16, 512), first);
  EXPECT_EQ(packetsIn(1).size(), traffic);
  EXPECT_EQ(secondary->bidi(11, 16, 4),
            (BufferReply{BCE_ERR_REPLY_TOO_LONG, first.length, first.data.substr(0, 8)}));
}

TEST_F(Bidi, PrintDataTravelsInConfirmedPacketsAndRawWritesReportErrorClasses) {
  serve(1, profile("MDL:Vireo 10;"));
  startPrimary();
  ASSERT_EQ(primary->scan(), (PrinterListing{{11, 3}}));
  EXPECT_EQ(primary->write(11, 2500, false), (Written{BCE_OK, 2500}));
  std::vector<std::size_t> sizes;
  for (const auto& p : packetsIn(1)) sizes.push_back(p.size() / 2 - 5);
  EXPECT_EQ(sizes, (std::vector<std::size_t>{1019, 1019, 462}));

  sim::Knobs k;
  k.confirmErrors = 2;
  models[1]->setKnobs(k);
  EXPECT_EQ(primary->write(11, 100, false), (Written{BCE_OK, 100}));
  EXPECT_EQ(packetsIn(1).size(), 3u + 3u);  // sent three times
  k.confirmErrors = 45;
  models[1]->setKnobs(k);
  EXPECT_EQ(primary->write(11, 10, false), (Written{BCE_ERR_LOCAL_OTHER, 0}));

  const struct {
    wf::portwire::WriteErrorClass error;
    int code;
  } classes[] = {{wf::portwire::WriteErrorClass::OutOfPaper, BCE_ERR_LOCAL_PAPER_OUT},
                 {wf::portwire::WriteErrorClass::NotSelected, BCE_ERR_LOCAL_NOT_SELECTED},
                 {wf::portwire::WriteErrorClass::Break, BCE_ERR_LOCAL_BREAK},
                 {wf::portwire::WriteErrorClass::IoError, BCE_ERR_LOCAL_IO_ERROR},
                 {wf::portwire::WriteErrorClass::TimedOut, BCE_ERR_LOCAL_TIMEOUT},
                 {wf::portwire::WriteErrorClass::Other, BCE_ERR_LOCAL_OTHER}};
  models[1]->setKnobs({});
  for (const auto& c : classes) {
    servers[1]->setWriteError(c.error);
    EXPECT_EQ(primary->write(11, 10, true), (Written{c.code, 0}));
  }
}

TEST_F(Bidi, AlertsReachEveryCapturingApplicationAndLiveUntilAllFetchedThem) {
  serve(1, profile("MDL:Vireo 10;"));
  startPrimary();
  ASSERT_EQ(primary->scan(), (PrinterListing{{11, 3}}));
  auto secondary = startSecondary(1);
  ASSERT_EQ(primary->capture(11, 0x2001, 0), BCE_OK);
  ASSERT_EQ(secondary->capture(11, 0x3000, 1), BCE_OK);
  // The printer was told the union: DSA class 0x1 and alert classes 2 and 4.
  const auto sent = packetsIn(1);
  EXPECT_EQ(sent[sent.size() - 3],
            "A50006500303"
            "000400");  // 51: byte 1 bit 0x04 for mask 0x1
  EXPECT_EQ(sent[sent.size() - 2],
            "A5000450E003"
            "06");                             // 91: classes 2 and 4
  EXPECT_EQ(sent.back(), "A5000550E0E10500");  // 68: no panel alerts

  ASSERT_TRUE(servers[1]->raiseClassAlert(std::string("\x00\x04\x11\x22", 4)));
  std::vector<Posted> p0, p1;
  eventually(
      [&] {
        if (p0.empty()) p0 = postsOf(*primary);
        if (p1.empty()) p1 = postsOf(*secondary);
        return !p0.empty() && !p1.empty();
      },
      200'000);
  EXPECT_EQ(p0, (std::vector<Posted>{{WM_BCE_ALERT_4, 1, 11, 0}}));
  EXPECT_EQ(p1, p0);

  EXPECT_EQ(secondary->query(1, std::nullopt, 0), (BufferReply{4, 0, ""}));  // the length, nothing consumed
  EXPECT_EQ(secondary->release(11, 0), BCE_ERR_ALERTS_PENDING);
  EXPECT_EQ(secondary->query(1, 64, 0), (BufferReply{BCE_OK, 4, "00041122"}));
  EXPECT_EQ(primary->query(1, 64, 0), (BufferReply{BCE_OK, 4, "00041122"}));
  EXPECT_EQ(primary->query(1, 64, 0), (BufferReply{BCE_FAIL, 0, ""}));  // freed after both fetched it

  ASSERT_TRUE(servers[1]->raiseDeviceStatus(0x1));
  // A while without a post: the secondary captured no DSA class.
  std::vector<Posted> d1;
  for (int i = 0; i < 200 && d1.empty(); ++i) {
    d1 = postsOf(*secondary);
    wf::sleepFor(100);
  }
  EXPECT_EQ(d1, std::vector<Posted>{});
  // A fresh key 2, the class mask decoded.
  EXPECT_EQ(postsOf(*primary), (std::vector<Posted>{{WM_BCE_DSA_ALERT, 2, 11, 1}}));
  EXPECT_EQ(secondary->release(11, 1), BCE_OK);
}

TEST_F(Bidi, TwoApplicationsKeepThePortOpenUntilBothClosed) {
  serve(1, profile("MDL:Vireo 10;"));
  startPrimary();
  ASSERT_EQ(primary->scan(), (PrinterListing{{11, 3}}));
  auto secondary = startSecondary(1);
  EXPECT_EQ(primary->open(11), BCE_OK);
  EXPECT_EQ(secondary->open(11), BCE_OK);
  EXPECT_EQ(primary->close(11), BCE_OK);
  EXPECT_TRUE(servers[1]->hostConnected());
  EXPECT_EQ(secondary->close(11), BCE_OK);
  EXPECT_TRUE(eventually([&] { return !servers[1]->hostConnected(); }, 10'000));
  EXPECT_EQ(primary->open(12), BCE_ERR_BAD_HANDLE);
}

}  // namespace
