#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "hostile_places.h"
#include "platform/scenario.h"
#include "test_dirs.h"

namespace wf {

TEST(Scenario, SectionsCollectTrimmedLinesWithoutCommentsOrBlanks) {
  auto s = parseScenario(
      "# the world\n"
      "[Spooler.Ports]\n"
      "  LPT1:  \r\n"
      "\n"
      "# not a port\n"
      "FILE:\n"
      "[network.redirections]\n"
      "LPT2 = \\\\SERVER\\QUEUE\n"
      "[spooler.ports]\n"
      "LPT3:\n");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->section("spooler.ports"), (std::vector<std::string>{"LPT1:", "FILE:", "LPT3:"}));
  EXPECT_EQ(s->section("NETWORK.REDIRECTIONS"), (std::vector<std::string>{"LPT2 = \\\\SERVER\\QUEUE"}));
  EXPECT_TRUE(s->section("absent").empty());
}

TEST(Scenario, MalformedLinesAreReportedWithTheirNumber) {
  std::string error;
  EXPECT_FALSE(parseScenario("# header\nLPT1:\n", &error));
  EXPECT_EQ(error, "line 2: entry before any section");
  EXPECT_FALSE(parseScenario("[ok]\n[broken\n", &error));
  EXPECT_EQ(error, "line 2: section header without ']'");
}

TEST(Scenario, EntriesSplitAtTheFirstEqualsAndFieldsAtBars) {
  std::string key, value;
  ASSERT_TRUE(splitScenarioEntry(" Printer A = LPT1: | Driver = X ", key, value));
  EXPECT_EQ(key, "Printer A");
  EXPECT_EQ(value, "LPT1: | Driver = X");
  EXPECT_EQ(splitScenarioFields(value), (std::vector<std::string>{"LPT1:", "Driver = X"}));
  EXPECT_FALSE(splitScenarioEntry("no equals", key, value));
  EXPECT_FALSE(splitScenarioEntry(" = value", key, value));
}

TEST(Scenario, IncludeLinesSpliceOtherFilesRelativeToTheIncludingOne) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(std::getenv("WRENFIELD_ROOT")) / "worlds";
  fs::create_directories(dir / "parts");
  std::ofstream(dir / "parts" / "net.scenario") << "[netware.client]\nversion = 4.1.0\ninclude deeper.scenario\n";
  std::ofstream(dir / "parts" / "deeper.scenario") << "[spooler.ports]\nLPT1:\n";
  std::ofstream(dir / "main.scenario") << "# the world\ninclude parts/net.scenario\n[tcpip.network]\n10.1.1.20 = x\n";
  std::ofstream(dir / "loop.scenario") << "include loop.scenario\n";
  std::ofstream(dir / "missing.scenario") << "[a]\ninclude nowhere.scenario\n";

  const auto text = readScenarioFile(dir / "main.scenario");
  ASSERT_TRUE(text);
  const auto s = parseScenario(*text);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->section("netware.client"), (std::vector<std::string>{"version = 4.1.0"}));
  EXPECT_EQ(s->section("spooler.ports"), (std::vector<std::string>{"LPT1:"}));
  EXPECT_EQ(s->section("tcpip.network"), (std::vector<std::string>{"10.1.1.20 = x"}));

  ::setenv("WRENFIELD_SCENARIO", (dir / "main.scenario").c_str(), 1);
  const auto loaded = loadScenario();
  ::unsetenv("WRENFIELD_SCENARIO");
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->section("spooler.ports").size(), 1u);

  std::string error;
  EXPECT_FALSE(readScenarioFile(dir / "loop.scenario", &error));
  EXPECT_NE(error.find("includes too deep"), std::string::npos) << error;
  EXPECT_FALSE(readScenarioFile(dir / "missing.scenario", &error));
  EXPECT_NE(error.find("nowhere.scenario: "), std::string::npos) << error;
}

TEST(Scenario, TheFileIsARegularOneOfBoundedSize) {
  const auto file = testing::testDataRoot() / "world.scenario";
  ::setenv("WRENFIELD_SCENARIO", file.c_str(), 1);
  std::string error;
  const auto missing = loadScenario(&error);
  ASSERT_TRUE(missing) << error;
  EXPECT_TRUE(missing->sections.empty());

  testing::expectHostilePlacesRefused(file, [](std::string* e) { return loadScenario(e).has_value(); });
  std::filesystem::remove(file);
  std::ofstream(file) << "[spooler.ports]\nLPT1:\n";
  const auto read = loadScenario(&error);
  ::unsetenv("WRENFIELD_SCENARIO");
  ASSERT_TRUE(read) << error;
  EXPECT_EQ(read->section("spooler.ports"), std::vector<std::string>{"LPT1:"});
}

}  // namespace wf
