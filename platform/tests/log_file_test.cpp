#include "platform/log_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "hostile_places.h"
#include "platform/paths.h"

namespace wf {
namespace {

std::string contents(const char* systemPath) {
  std::ifstream in(*mapSystemPath(systemPath), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(LogFile, LinesLandExactlyAndAreReadableAtOnce) {
  auto log = LogFile::open("c:\\Wrenfld.log", LogFile::Mode::Replace);
  ASSERT_TRUE(log);
  struct stat st {};
  ASSERT_EQ(::stat(mapSystemPath("c:\\Wrenfld.log")->c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  std::string expected;
  char line[128];
  const char* texts[] = {"Trace file opened", "", "bidi \x01 data\r"};
  for (long t = 0; t < 3; ++t) {
    std::snprintf(line, sizeof line, "time=%10ld : %s\n", t * 1000, texts[t]);
    ASSERT_TRUE(log->append(line));
    expected += line;
    EXPECT_EQ(contents("c:\\Wrenfld.log"), expected);  // no buffering between lines
  }
  // Not every caller ends its lines.
  ASSERT_TRUE(log->append("12-31-99 23:59:59 partial"));
  EXPECT_EQ(contents("C:\\WRENFLD.LOG"), expected + "12-31-99 23:59:59 partial");
}

TEST(LogFile, OnlyARegularFileIsALog) {
  const auto path = *mapSystemPath("c:\\Hostile.log");
  for (const auto mode : {LogFile::Mode::Append, LogFile::Mode::Replace}) {
    testing::expectHostilePlacesRefused(
        path, [mode](std::string* e) { return LogFile::open("c:\\Hostile.log", mode, e).has_value(); }, true);
  }
}

TEST(LogFile, AppendKeepsAndReplaceEmpties) {
  {
    auto log = LogFile::open("c:\\wf32.log", LogFile::Mode::Append);
    ASSERT_TRUE(log);
    ASSERT_TRUE(log->append("first\n"));
  }
  {
    auto log = LogFile::open("c:\\wf32.log", LogFile::Mode::Append);
    ASSERT_TRUE(log && log->append("second\n"));
  }
  EXPECT_EQ(contents("c:\\wf32.log"), "first\nsecond\n");
  {
    auto log = LogFile::open("c:\\wf32.log", LogFile::Mode::Replace);
    ASSERT_TRUE(log && log->append("third\n"));
  }
  EXPECT_EQ(contents("c:\\wf32.log"), "third\n");

  std::string error;
  EXPECT_FALSE(LogFile::open("c:\\..\\escape.log", LogFile::Mode::Append, &error));
  EXPECT_FALSE(LogFile::open("c:\\no such dir\\x.log", LogFile::Mode::Append, &error));
  EXPECT_NE(error.find("no such dir"), std::string::npos) << error;
}

TEST(LogFile, ThreadsNeverInterleaveWithinALine) {
  constexpr int kThreads = 4, kLines = 300;
  auto log = LogFile::open("c:\\corpeer.log", LogFile::Mode::Replace);
  ASSERT_TRUE(log);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      // Long lines, so a torn write would show.
      std::string pad(200, static_cast<char>('a' + t));
      for (int i = 0; i < kLines; ++i)
        log->append(std::to_string(t) + " " + std::to_string(i) + " " + pad + "\n");
    });
  }
  for (auto& th : threads) th.join();
  std::istringstream in(contents("c:\\corpeer.log"));
  std::set<std::pair<int, int>> seen;
  for (std::string line; std::getline(in, line);) {
    int t = -1, i = -1;
    char pad[256] = {};
    ASSERT_EQ(std::sscanf(line.c_str(), "%d %d %255s", &t, &i, pad), 3) << line;
    ASSERT_TRUE(t >= 0 && t < kThreads) << line;
    EXPECT_EQ(std::string(pad), std::string(200, static_cast<char>('a' + t))) << line;
    seen.emplace(t, i);
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
}

}  // namespace
}  // namespace wf
