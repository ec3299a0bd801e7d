#include "platform/paths.h"

#include <gtest/gtest.h>

#include <fstream>

#include "test_dirs.h"

namespace wf {
namespace {

namespace fs = std::filesystem;

TEST(Paths, SystemPathsMapBelowTheDriveDirectories) {
  auto drive = mapSystemPath("c:");  // makes the data root as the system would
  ASSERT_TRUE(drive);
  fs::path c = testing::testDataRoot() / "drives" / "c";
  EXPECT_EQ(*drive, c);
  fs::create_directories(c / "windows" / "Fonts");
  std::ofstream(c / "windows" / "win.ini") << "";
  std::ofstream(c / "Wrenfld.log") << "";

  struct Case {
    const char* system;
    fs::path expected;
  } cases[] = {
      {"c:\\wf32.log", c / "wf32.log"},
      {"C:\\WF32.LOG", c / "WF32.LOG"},  // nothing to match: kept as written
      {"C:\\Windows\\WIN.INI", c / "windows" / "win.ini"},
      {"c:\\WINDOWS\\fonts\\new\\A.TTF", c / "windows" / "Fonts" / "new" / "A.TTF"},
      {"c:/windows/win.ini", c / "windows" / "win.ini"},
      {"c:\\wrenfld.log", c / "Wrenfld.log"},
      {"c:\\windows\\*.*", c / "windows" / "*.*"},
      {"c:\\windows\\.\\..\\wf32.log", c / "wf32.log"},
      {"c:\\\\windows\\\\win.ini", c / "windows" / "win.ini"},
      {"c:\\windows\\", c / "windows"},
      {"c:", c},
      {"\\Wrenfld.log", c / "Wrenfld.log"},
      {"D:\\Data\\Inventor.dat", testing::testDataRoot() / "drives" / "d" / "Data" / "Inventor.dat"},
      {"/var/log/x.LOG", "/var/log/x.LOG"},
      {"/a\\b", "/a\\b"},
      {"cornw32.log", "cornw32.log"},
      {"logs\\Cornw32.log", "logs/Cornw32.log"},
  };
  for (const auto& t : cases) {
    std::string error;
    auto mapped = mapSystemPath(t.system, &error);
    ASSERT_TRUE(mapped) << t.system << ": " << error;
    EXPECT_EQ(*mapped, t.expected) << t.system;
  }
  EXPECT_TRUE(fs::is_directory(testing::testDataRoot() / "drives" / "d"));
}

TEST(Paths, EscapesAndNetworkNamesAreRefused) {
  for (const char* bad : {"c:\\..\\etc\\passwd", "c:\\windows\\..\\..\\x", "c:..", "\\..\\d\\x",
                          "\\\\server\\share\\file", ""}) {
    std::string error;
    EXPECT_FALSE(mapSystemPath(bad, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

}  // namespace
}  // namespace wf
