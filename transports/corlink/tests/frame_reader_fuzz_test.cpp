// The frame reader against a hostile server: whatever comes back after an
// acknowledged request, the call ends in bounded time and memory, with 0 or
// 1 and a disconnection on any fault, and the next call reconnects.
#include <atomic>
#include <random>

#include "corlink_fixture.h"
#include "eventually.h"
#include "platform/byte_codec.h"
#include "platform/clock.h"

namespace wf::corlink::testing {
namespace {

using Bytes8 = std::vector<std::uint8_t>;

Bytes8 replyFrame(std::uint16_t length, std::uint32_t command, std::uint16_t block, std::size_t sent) {
  Bytes8 f(std::max<std::size_t>(9, sent), 0x5A);
  storeBe16(f.data(), length);
  f[2] = 2;
  storeLe32(f.data() + 3, command);
  storeBe16(f.data() + 7, block);
  return f;
}

class HostileServer : public CorLinkWorld {
 protected:
  // Each request is acknowledged; a command-9 request then gets `answer`'s bytes
  // and the pipe closes when `closeAfter` is set.
  void serve(std::function<Bytes8()> answer, bool closeAfter) {
    fake_.emplace("EVIL", [this, answer, closeAfter](NamedPipe& pipe) {
      for (;;) {
        auto request = FakeServer::readFrame(pipe, 2'000);
        if (request.empty()) return;
        FakeServer::acknowledge(pipe, request);
        if (request[3] != 9) continue;
        const Bytes8 bytes = answer();
        pipe.write(bytes.data(), bytes.size(), 2'000);
        ++answered_;
        if (closeAfter) return;
        // Whatever the client acknowledges is read and dropped.
        while (!FakeServer::readFrame(pipe, 200).empty()) {
        }
      }
    });
  }
  std::optional<FakeServer> fake_;
  std::atomic<int> answered_{0};
};

TEST_F(HostileServer, CraftedRepliesEndInZeroOrOneAndAFaultDisconnects) {
  struct Case {
    std::string what;
    Bytes8 bytes;
    std::uint32_t result;
  };
  const std::vector<Case> cases = {
      {"final, no data", replyFrame(9, 0x00200009, 0, 9), 0},
      {"block length 7", replyFrame(16, 0x00200009, 7, 16), 1},
      {"block length 11", replyFrame(20, 0x00200009, 11, 20), 1},
      {"length below its block", replyFrame(12, 0x00200009, 10, 12), 1},
      {"length below 9", replyFrame(3, 0x00200009, 0, 9), 1},
      {"length over 512", replyFrame(513, 0x00200009, 0, 513), 1},
      {"length 0xFFFF", replyFrame(0xFFFF, 0x00200009, 0, 9), 1},
      {"data cut short", replyFrame(100, 0x00200009, 0, 50), 1},
      {"header cut short", Bytes8{0x00, 0x20, 0x02}, 1},
      {"nothing", Bytes8{}, 1},
  };
  CorLinkTransport& t = start(kLogFrames);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fake_.reset();
    serve([bytes = c.bytes] { return bytes; }, c.result != 0);
    ServerEntry* evil = t.servers().find("EVIL");
    if (evil) t.servers().disconnect(*evil, PipeKind::Request);  // the last server is gone
    if (!evil) evil = t.servers().connect("EVIL");
    ASSERT_TRUE(evil);
    ASSERT_EQ(t.servers().sendRequest(*evil, nullptr, nullptr, 0, kCmdNickname), 0u);
    Bytes reply;
    EXPECT_EQ(t.servers().readReply(*evil, &reply), c.result);
    if (c.result) {
      EXPECT_FALSE(evil->connected);
    }
  }
}

TEST_F(HostileServer, EndlessFramesStopAtTheMessageLimit) {
  // Non-final frames for ever: the reader gives up at 1 MiB.
  std::atomic<bool> stop{false};
  fake_.emplace("EVIL", [&](NamedPipe& pipe) {
    for (;;) {
      auto request = FakeServer::readFrame(pipe, 2'000);
      if (request.empty()) return;
      FakeServer::acknowledge(pipe, request);
      if (request[3] != 9) continue;
      const Bytes8 frame = replyFrame(512, 0x00000009, 0, 512);
      while (!stop && pipe.write(frame.data(), frame.size(), 2'000) == ERROR_SUCCESS) {
        FakeServer::readFrame(pipe, 2'000);  // the client's acknowledgement
      }
      return;
    }
  });
  CorLinkTransport& t = start(kLogFrames);
  ServerEntry* evil = t.servers().connect("EVIL");
  ASSERT_TRUE(evil);
  ASSERT_EQ(t.servers().sendRequest(*evil, nullptr, nullptr, 0, kCmdNickname), 0u);
  Bytes reply;
  EXPECT_EQ(t.servers().readReply(*evil, &reply), 1u);
  EXPECT_TRUE(reply.empty());
  stop = true;
  t.shutdown();
  fake_.reset();  // its script reads `stop`
  EXPECT_NE(corcl32Log().find("Framing error (message over 1 MiB) from server EVIL"), std::string::npos);
}

TEST_F(HostileServer, RandomRepliesNeverHangOrCrash) {
  std::mt19937 random(47);
  std::mutex m;
  auto craft = [&] {
    std::lock_guard hold(m);
    const std::uint16_t block = std::uniform_int_distribution<int>(0, 3)(random) == 0
                                    ? static_cast<std::uint16_t>(random() % 20)
                                    : static_cast<std::uint16_t>(random() % 2 ? 10 : 0);
    const std::uint16_t length = static_cast<std::uint16_t>(random() % 600);
    const std::uint32_t command = static_cast<std::uint32_t>(random());
    Bytes8 f = replyFrame(length, command, block, random() % 600);
    for (std::size_t i = 9; i < f.size(); ++i) f[i] = static_cast<std::uint8_t>(random());
    return f;
  };
  serve(craft, true);
  CorLinkTransport& t = start(0);
  for (int i = 0; i < 150; ++i) {
    ServerEntry* evil = t.servers().find("EVIL");
    if (!evil) evil = t.servers().connect("EVIL");
    ASSERT_TRUE(evil);
    if (t.servers().sendRequest(*evil, nullptr, nullptr, 0, kCmdNickname) != 0) continue;
    Bytes reply;
    const std::uint32_t r = t.servers().readReply(*evil, &reply);
    EXPECT_LE(reply.size(), kMessageLimit);
    if (r == 1) {
      EXPECT_FALSE(evil->connected);
    }
  }
  EXPECT_GT(answered_.load(), 100);
  transport_.reset();
  fake_.reset();  // its script calls `craft`
}

}  // namespace
}  // namespace wf::corlink::testing
