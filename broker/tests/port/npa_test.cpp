// Packets and PJL texts the broker writes, and the reader of what printers
// send back, fed whole, in pieces and with garbage.
#include "npa.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "broker/corbce.h"

using wf::bce::npa::alertClassByte;
using wf::bce::npa::buildPjlText;
using wf::bce::npa::buildRequest;
using wf::bce::npa::classifyAlert;
using wf::bce::npa::dsaAlertMask;
using wf::bce::npa::dsaCaptureBytes;
using wf::bce::npa::Joining;
using wf::bce::npa::kMaxMessage;
using wf::bce::npa::kPjlTextLimit;
using wf::bce::npa::Message;
using wf::bce::npa::packetCommand;
using wf::bce::npa::packetFlags;
using wf::bce::npa::pjlLine;
using wf::bce::npa::requestTemplate;
using wf::bce::npa::StreamReader;
using wf::bce::npa::unpackPackets;
using wf::protocol::npa::kHeaderSize;

namespace {

std::string bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s.push_back(static_cast<char>(b));
  return s;
}

std::string packet(int flags, int command, std::string_view data) {
  const std::size_t n = data.size() + 2;
  std::string p = bytes({0xA5, static_cast<int>(n >> 8), static_cast<int>(n & 0xFF), flags, command});
  return p + std::string(data);
}

struct Seen {
  std::vector<std::string> events;
  StreamReader::Events hooks() {
    return {
        .response =
            [this](std::uint8_t f, std::uint8_t c, std::string d) {
              events.push_back("resp " + std::to_string(f) + " " + std::to_string(c) + " " + d);
            },
        .confirmation = [this](std::uint8_t f) { events.push_back("confirm " + std::to_string(f)); },
        .alert = [this](std::uint8_t c,
                        std::string d) { events.push_back("alert " + std::to_string(c) + " " + d); },
        .otherBytes = [this](std::string_view b) { events.push_back("other " + std::string(b)); },
        .dropped = [this](const char* why) { events.push_back(std::string("dropped ") + why); },
    };
  }
};

TEST(NpaRequest, TemplatesOfTheRequestObjectsCodes) {
  const struct {
    std::uint32_t code;
    std::string bytes;
  } cases[] = {
      {1, bytes({0xA5, 0, 3, 0x50, 4, 0})},
      {13, bytes({0xA5, 0, 3, 0x50, 4, 0x0C})},
      {16, bytes({0xA5, 0, 3, 0x50, 1, 0})},
      {18, bytes({0xA5, 0, 4, 0x50, 1, 2, 0})},
      {35, bytes({0xA5, 0, 4, 0x50, 2, 3, 0})},
      {56, bytes({0xA5, 0, 3, 0x50, 3, 8})},
      {69, bytes({0xA5, 0, 5, 0x50, 0xE0, 0xE1, 5, 1})},
      {72, bytes({0xA5, 0, 3, 0x50, 0xE0, 0xE4})},
      {82, bytes({0xA5, 0, 4, 0x50, 0xE0, 0xE7, 4})},
      {90, bytes({0xA5, 0, 7, 0x50, 0xE0, 0xEB, 1, 0, 0xC9, 2})},
      {96, bytes({0xA5, 0, 3, 0x50, 0xE0, 0x14})},
      {102, bytes({0xA5, 0, 3, 0x40, 0xE0, 0x0C})},
      {126, bytes({0xA5, 0, 3, 0x50, 0xE0, 0x1E})},
      {135, bytes({0xA5, 0, 3, 0x50, 0xE0, 0x53})},
      {138, bytes({0xA5, 0, 3, 0x50, 5, 1})},
  };
  for (const auto& c : cases) EXPECT_EQ(requestTemplate(c.code), c.bytes) << c.code;
  for (std::uint32_t empty : {14u, 15u, 17u, 22u, 98u, 139u, 140u, 4096u})
    EXPECT_TRUE(requestTemplate(empty).empty()) << empty;
}

TEST(NpaRequest, LengthCountsTheDataInFullAndOversizedPacketsAreRefused) {
  const std::string data(300, 'x');
  auto p = buildRequest(78, data, true, 4096);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->size(), 7u + 300u);
  EXPECT_EQ(static_cast<std::uint8_t>((*p)[1]) << 8 | static_cast<std::uint8_t>((*p)[2]), 4 + 300);
  EXPECT_EQ(p->substr(7), data);

  auto quiet = buildRequest(16, "", false, 1024);
  ASSERT_TRUE(quiet);
  EXPECT_EQ(*quiet, bytes({0xA5, 0, 3, 0x40, 1, 0}));  // no reply wanted: 0x10 cleared

  EXPECT_FALSE(buildRequest(78, data, true, 200));                      // beyond the printer's packet size
  EXPECT_FALSE(buildRequest(78, std::string(5000, 'x'), true, 65535));  // beyond 4 KiB
  EXPECT_FALSE(buildRequest(14, "", true, 1024));
}

TEST(NpaRequest, PjlTextsReplaceTheMarkAndRefuseWhatDoesNotFit) {
  EXPECT_EQ(*buildPjlText(4105, std::string_view("3")),
            "\x1B%-12345X@PJL\n@PJL DEFAULT COPIES=3\n\x1B%-12345X");
  EXPECT_EQ(*buildPjlText(4109, std::string_view("PC8")),
            "\x1B%-12345X@PJL\n@PJL DEFAULT LPARM : PCL SYMSET = PC8\n\x1B%-12345X");
  EXPECT_EQ(*buildPjlText(4129, std::nullopt), "\x1B%-12345X@PJL\n@PJL INITIALIZE\n\x1B%-12345X");
  EXPECT_FALSE(buildPjlText(4105, std::nullopt));
  EXPECT_FALSE(buildPjlText(4105, std::string(100, '1')));
  EXPECT_FALSE(buildPjlText(4131, std::string_view("1")));
  EXPECT_STREQ(pjlLine(4130), "@PJL DEFAULT LPPDS=!");
  // The longest settings text: a four-character symbol set, with its terminator.
  const auto longest = buildPjlText(4109, std::string_view("999Z"));
  ASSERT_TRUE(longest);
  EXPECT_LT(longest->size(), kPjlTextLimit);
}

TEST(NpaAlerts, CaptureAndAlertEncodingsDifferOnlyInTheSwappedBits) {
  // Every DSA bit alone, both directions.
  const struct {
    std::uint32_t captureMask;
    std::array<std::uint8_t, 3> classBytes;
    std::uint32_t alertMask;
  } cases[] = {
      {0x100, {0x40, 0, 0}, 0x100}, {0x200, {0x80, 0, 0}, 0x200}, {0x8, {0, 0x01, 0}, 0x8},
      {0x4, {0, 0x02, 0}, 0x4},     {0x1, {0, 0x04, 0}, 0x2},     {0x2, {0, 0x08, 0}, 0x1},
      {0x80, {0, 0, 0x01}, 0x80},   {0x20, {0, 0, 0x02}, 0x20},   {0x40, {0, 0, 0x04}, 0x40},
      {0x10, {0, 0, 0x08}, 0x10},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(dsaCaptureBytes(c.captureMask), c.classBytes) << c.captureMask;
    EXPECT_EQ(dsaAlertMask(c.classBytes), c.alertMask) << c.captureMask;
  }
  EXPECT_EQ(dsaCaptureBytes(0x3FF | 0x1F800), (std::array<std::uint8_t, 3>{0xC0, 0x0F, 0x0F}));
  EXPECT_EQ(alertClassByte(0x800 | 0x2000 | 0x8000 | 0x10000 | 0x3FF), 0x01 | 0x04 | 0x10);
}

TEST(NpaAlerts, ClassOfAnAlertFromItsFirstDataBytes) {
  EXPECT_EQ(classifyAlert(0xF0, bytes({0xE1, 0})).message, static_cast<std::uint32_t>(WM_BCE_ROP_ALERT));
  EXPECT_EQ(classifyAlert(0xF0, bytes({0, 1})).classBit, BCE_ALERT_JOB_STATS);
  EXPECT_EQ(classifyAlert(0xF0, bytes({0, 4})).message, static_cast<std::uint32_t>(WM_BCE_ALERT_4));
  EXPECT_EQ(classifyAlert(0xF0, bytes({0, 16})).classBit, BCE_ALERT_CLASS_16);
  EXPECT_EQ(classifyAlert(0xF0, bytes({0, 3})).message, 0u);
  EXPECT_EQ(classifyAlert(0xF1, bytes({0, 4})).message, 0u);
  EXPECT_EQ(classifyAlert(0xF0, bytes({0})).message, 0u);
}

// The flags and command of a packet are read only when its header is whole:
// a packet cut short answers nothing instead of bytes past its end.
TEST(NpaPacket, HeaderBytesOfAPacketCutShortAreRefused) {
  const std::string whole = packet(0x90, 0x01, "ab");
  EXPECT_EQ(packetFlags(whole), 0x90);
  EXPECT_EQ(packetCommand(whole), 0x01);
  for (std::size_t n = 0; n < kHeaderSize; ++n) {
    EXPECT_EQ(packetFlags(whole.substr(0, n)), 0) << n;
    EXPECT_EQ(packetCommand(whole.substr(0, n)), 0) << n;
  }
  EXPECT_EQ(classifyAlert(0xF0, "").message, 0u);
}

TEST(NpaUnpack, JoinsContinuedPacketsAndStopsAtTheFirstThatDoesNotFit) {
  const std::string two = packet(0x20, 0x01, "abc") + packet(0x00, 0x01, "de");
  Message m = unpackPackets(two, Joining::WhileMore);
  EXPECT_EQ(m.data, "abcde");
  EXPECT_EQ(m.packets, 2u);

  // The second packet claims more bytes than there are: only the first counts.
  std::string lying = packet(0x20, 0x01, "abc") + bytes({0xA5, 0xFF, 0xFF, 0, 1}) + "zz";
  m = unpackPackets(lying, Joining::WhileMore);
  EXPECT_EQ(m.data, "abc");
  EXPECT_EQ(m.packets, 1u);

  // A reply's packets count whether flagged "more" or not; an alert ends with its last packet.
  const std::string three =
      packet(0x10, 0x01, "ab") + packet(0x10, 0x01, "cd") + packet(0x10, 0x02, "e") + "\xA5";
  EXPECT_EQ(unpackPackets(three, Joining::EveryPacket).data, "abcde");
  EXPECT_EQ(unpackPackets(three, Joining::EveryPacket).command, 0x02);
  EXPECT_EQ(unpackPackets(three, Joining::WhileMore).data, "ab");

  EXPECT_EQ(unpackPackets(bytes({0xA5, 0, 1, 0}), Joining::EveryPacket).packets, 0u);  // length below 2
  EXPECT_EQ(unpackPackets("garbage", Joining::EveryPacket).packets, 0u);
  EXPECT_EQ(unpackPackets(packet(0x20, 1, std::string(100, 'x')) + packet(0, 1, std::string(100, 'y')),
                          Joining::WhileMore, 150)
                .data.size(),
            150u);
}

TEST(NpaStream, SeparatesResponsesConfirmationsAlertsAndOtherBytesInAnySplit) {
  const std::string stream = std::string("@PJL") + packet(0x20, 0x01, "ab") + packet(0x00, 0x01, "cd") +
                             bytes({0xA5, 0, 2, 0x80, 0}) + packet(0x00, 0xFF, bytes({1, 2, 3})) +
                             bytes({0xA5, 0, 2, 0, 7});
  for (std::size_t piece : {1u, 2u, 3u, 7u, 1000u}) {
    Seen seen;
    StreamReader r(seen.hooks());
    for (std::size_t i = 0; i < stream.size(); i += piece) r.feed(std::string_view(stream).substr(i, piece));
    std::vector<std::string> expect = {"resp 0 1 abcd", "confirm 128", "alert 255 " + bytes({1, 2, 3}),
                                       "dropped empty packet that is no confirmation"};
    // Bytes outside packets arrive in as many pieces as they were fed.
    std::string other;
    std::vector<std::string> rest;
    for (const auto& e : seen.events) {
      if (e.starts_with("other "))
        other += e.substr(6);
      else
        rest.push_back(e);
    }
    EXPECT_EQ(other, "@PJL") << piece;
    EXPECT_EQ(rest, expect) << piece;
  }
}

TEST(NpaStream, ShortLengthResynchronisesAndStallsDropThePartialMessage) {
  Seen seen;
  StreamReader r(seen.hooks());
  r.feed(bytes({0xA5, 0, 1}) + packet(0, 2, "ok"));
  ASSERT_EQ(seen.events.size(), 2u);
  EXPECT_EQ(seen.events[1], "resp 0 2 ok");

  r.feed(packet(0x20, 2, "part"));
  EXPECT_TRUE(r.midMessage());
  int reads = 0;
  while (!r.emptyRead()) ASSERT_LT(++reads, 1000);
  EXPECT_EQ(reads, 99);
  EXPECT_FALSE(r.midMessage());
  r.feed(packet(0, 2, "new"));
  EXPECT_EQ(seen.events.back(), "resp 0 2 new");  // nothing of the dropped part
  EXPECT_FALSE(r.emptyRead());                    // idle reads never count
}

TEST(NpaStream, ReassembledMessagesAreCappedAt64KiB) {
  Seen seen;
  StreamReader r(seen.hooks());
  const std::string chunk(60000, 'x');
  r.feed(packet(0x20, 0xF0, chunk));
  r.feed(packet(0x20, 0xF0, chunk));
  r.feed(packet(0x00, 0xF0, "end"));
  ASSERT_FALSE(seen.events.empty());
  EXPECT_EQ(seen.events.back().size(), std::string("alert 240 ").size() + kMaxMessage);
}

// What the reader thread asks the port for after each state: a read of that
// many bytes must end exactly where the packet or header does.
TEST(NpaStream, BytesWantedCompleteTheHeaderOrThePacket) {
  const std::string body6 = packet(0x10, 0x01, "abcd");  // length 6
  const struct {
    const char* state;
    std::string fed;
    bool emptyReadAfter;
    std::size_t wanted;
  } cases[] = {
      {"idle", "", false, kHeaderSize},
      {"start byte only", bytes({0xA5}), false, 4},
      {"one length byte", bytes({0xA5, 0x00}), false, 3},
      {"length known", bytes({0xA5, 0x00, 0x06}), false, 6},
      {"header read", body6.substr(0, 5), false, 4},
      {"part of the data", body6.substr(0, 7), false, 2},
      {"packet whole", body6, false, kHeaderSize},
      {"more flagged, next header", packet(0x20, 0x01, "ab"), false, kHeaderSize},
      {"confirmation", bytes({0xA5, 0, 2, 0, 0}), false, kHeaderSize},
      {"long packet", bytes({0xA5, 0x12, 0x34, 0x10, 0x01}), false, 0x1234 - 2},
      {"short length resynchronised", bytes({0xA5, 0x00, 0x01}), false, kHeaderSize},
      {"text arriving", "@PJL INFO", false, 0},
      {"text then a packet start", "@PJL" + bytes({0xA5}), false, 4},
      {"text then a whole packet", "@PJL" + body6, false, kHeaderSize},
      {"packet then text", body6 + "OK\r\n", false, 0},
      {"text ended by an empty read", "@PJL INFO", true, kHeaderSize},
  };
  for (const auto& c : cases) {
    Seen seen;
    StreamReader r(seen.hooks());
    r.feed(c.fed);
    if (c.emptyReadAfter) r.emptyRead();
    EXPECT_EQ(r.bytesWanted(), c.wanted) << c.state;
  }
}

// Reads of exactly the bytes wanted never run into the next packet: each
// packet is handed on by the read that brings its last byte.
TEST(NpaStream, ReadsOfTheBytesWantedEndAtEachPacket) {
  const std::vector<std::string> packets = {packet(0x00, 0x01, "reply"), bytes({0xA5, 0, 2, 0, 0}),
                                            packet(0x20, 0xF0, std::string(300, 'x')),
                                            packet(0x00, 0xF0, "end"), packet(0x00, 0xFF, bytes({1, 2, 3}))};
  std::string stream;
  std::vector<std::size_t> ends;
  for (const auto& p : packets) {
    stream += p;
    ends.push_back(stream.size());
  }
  Seen seen;
  StreamReader r(seen.hooks());
  for (std::size_t at = 0; at < stream.size();) {
    const std::size_t n = r.bytesWanted();
    ASSERT_GT(n, 0u) << at;
    for (std::size_t end : ends)
      ASSERT_FALSE(at < end && end < at + n) << "read at " << at << " crosses " << end;
    const std::size_t before = seen.events.size();
    r.feed(std::string_view(stream).substr(at, n));
    at += n;
    const bool packetEnded = std::find(ends.begin(), ends.end(), at) != ends.end();
    if (!packetEnded) {
      EXPECT_EQ(seen.events.size(), before) << at;
    }
  }
  EXPECT_EQ(seen.events, (std::vector<std::string>{"resp 0 1 reply", "confirm 0",
                                                   "alert 240 " + std::string(300, 'x') + "end",
                                                   "alert 255 " + bytes({1, 2, 3})}));
}

// Random bytes, random splits: the reader neither crashes nor hands on more than it may.
TEST(NpaStream, RandomBytesNeverCrashOrGrowWithoutBound) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 200; ++round) {
    std::size_t largest = 0;
    StreamReader r({
        .response = [&](std::uint8_t, std::uint8_t, std::string d) { largest = std::max(largest, d.size()); },
        .confirmation = {},
        .alert = [&](std::uint8_t, std::string d) { largest = std::max(largest, d.size()); },
        .otherBytes = {},
        .dropped = {},
    });
    std::string junk(rng() % 5000, '\0');
    for (char& c : junk) c = static_cast<char>(rng() % 8 == 0 ? 0xA5 : rng());
    for (std::size_t i = 0; i < junk.size();) {
      const std::size_t n = 1 + rng() % 64;
      r.feed(std::string_view(junk).substr(i, n));
      if (rng() % 4 == 0) r.emptyRead();
      i += n;
    }
    EXPECT_LE(unpackPackets(junk, Joining::EveryPacket).data.size(), kMaxMessage);
    EXPECT_LE(largest, kMaxMessage);
  }
}

}  // namespace
