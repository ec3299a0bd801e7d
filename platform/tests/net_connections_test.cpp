#include <gtest/gtest.h>

#include <fstream>

#include "platform/net_connections.h"
#include "platform/runtime_dir.h"
#include "platform_child.h"

namespace wf::netconn {
namespace {

constexpr const char* kWorld =
    "[network.redirections]\n"
    "LPT2 = \\\\SERVER\\QUEUE\n"
    "lpt3: = \\\\SERVER\\DOWN\n"
    "[network.unreachable]\n"
    "\\\\server\\down\n";

void load(NetConnections& c, const char* text) {
  std::string error;
  ASSERT_TRUE(c.load(*parseScenario(text), &error)) << error;
}

}  // namespace

TEST(NetConnections, RemoteNameOfARedirectedPortAsTheOriginalAnswered) {
  NetConnections c;
  load(c, kWorld);
  const std::string queue = "\\\\SERVER\\QUEUE";
  for (const char* local : {"LPT2", "lpt2:", "Lpt2"}) {
    char remote[255];
    std::uint32_t length = sizeof remote;
    EXPECT_EQ(c.getConnection(local, remote, length), kNoError) << local;
    EXPECT_EQ(remote, queue);
  }
  char small[8];
  std::uint32_t length = sizeof small;
  EXPECT_EQ(c.getConnection("LPT2", small, length), kMoreData);
  EXPECT_EQ(length, queue.size() + 1) << "the size needed, terminator included";
  char exact[15];
  length = sizeof exact;
  EXPECT_EQ(c.getConnection("LPT2", exact, length), kNoError);
  EXPECT_EQ(exact, queue);

  length = sizeof small;
  EXPECT_EQ(c.getConnection("LPT1", small, length), kNotConnected);
  EXPECT_EQ(c.getConnection("COM1", small, length), kBadDevice);
  EXPECT_TRUE(c.setRedirection("LPT1:", "\\\\OTHER\\Q"));
  EXPECT_EQ(c.getConnection("LPT1", nullptr, length), kMoreData);
  EXPECT_TRUE(c.setRedirection("LPT2", ""));
  EXPECT_EQ(c.getConnection("LPT2", small, length), kNotConnected);
  EXPECT_FALSE(c.setRedirection("PRN", "\\\\X\\Y"));
}

TEST(NetConnections, SinkKeepsEachWriteToAReachableRedirectionTarget) {
  NetConnections c;
  load(c, kWorld);
  EXPECT_EQ(c.writeRemote("\\\\server\\queue", "\x1b%-12345X@PJL\n"), kNoError);
  EXPECT_EQ(c.writeRemote("\\\\SERVER\\QUEUE", std::string("a\0b", 3)), kNoError);
  EXPECT_EQ(c.writtenTo("\\\\Server\\Queue"),
            (std::vector<std::string>{"\x1b%-12345X@PJL\n", std::string("a\0b", 3)}));

  EXPECT_EQ(c.writeRemote("\\\\SERVER\\DOWN", "lost"), kBadNetPath);
  EXPECT_EQ(c.writeRemote("\\\\NOWHERE\\Q", "lost"), kBadNetName);
  EXPECT_TRUE(c.writtenTo("\\\\SERVER\\DOWN").empty());
  c.setReachable("\\\\SERVER\\DOWN", true);
  EXPECT_EQ(c.writeRemote("\\\\SERVER\\DOWN", "now"), kNoError);
  c.setReachable("\\\\SERVER\\QUEUE", false);
  EXPECT_EQ(c.writeRemote("\\\\SERVER\\QUEUE", "x"), kBadNetPath);
  EXPECT_EQ(c.writtenTo("\\\\SERVER\\QUEUE").size(), 2u);
}

TEST(NetConnections, WritesOfAnotherProcessReachTheSameSink) {
  std::ofstream(*dataRoot() / "scenario") << kWorld;
  NetConnections c;
  load(c, kWorld);
  EXPECT_EQ(c.writeRemote("\\\\SERVER\\QUEUE", "mine"), kNoError);
  testing::PlatformChild child;
  EXPECT_EQ(child.netWrite("\\\\SERVER\\QUEUE", "theirs"), kNoError);
  EXPECT_EQ(child.netWrite("\\\\SERVER\\DOWN", "lost"), kBadNetPath);
  EXPECT_EQ(c.writtenTo("\\\\SERVER\\QUEUE"), (std::vector<std::string>{"mine", "theirs"}));
}

TEST(NetConnections, MalformedRedirectionIsRefusedAndChangesNothing) {
  NetConnections c;
  load(c, kWorld);
  for (const char* bad : {"[network.redirections]\nLPT0 = \\\\A\\B\n", "[network.redirections]\nLPT1 =\n",
                          "[network.redirections]\n\\\\A\\B\n"}) {
    std::string error;
    EXPECT_FALSE(c.load(*parseScenario(bad), &error)) << bad;
    EXPECT_FALSE(error.empty());
  }
  char remote[64];
  std::uint32_t length = sizeof remote;
  EXPECT_EQ(c.getConnection("LPT2", remote, length), kNoError);
}

}  // namespace wf::netconn
