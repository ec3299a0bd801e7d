#include "platform/regular_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <functional>

#include "hostile_places.h"
#include "test_dirs.h"

namespace wf {
namespace {

TEST(RegularFile, AFileIsReadWholeWithinItsBound) {
  std::filesystem::create_directories(testing::testDataRoot());
  const auto file = testing::testDataRoot() / "plain.txt";
  std::ofstream(file, std::ios::binary) << "one\ntwo\n";
  std::string error;
  EXPECT_EQ(readRegularFile(file, 8, &error), "one\ntwo\n");
  EXPECT_FALSE(readRegularFile(file, 7, &error));
  EXPECT_EQ(error, file.string() + ": larger than 7 bytes");

  errno = 0;
  EXPECT_FALSE(readRegularFile(testing::testDataRoot() / "absent", 8, &error));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(error, (testing::testDataRoot() / "absent").string() + ": No such file or directory");

  // Writers may create it.
  const auto created = testing::testDataRoot() / "created.log";
  EXPECT_TRUE(openRegularFile(created, O_WRONLY | O_CREAT | O_APPEND, &error));
  EXPECT_TRUE(std::filesystem::is_regular_file(created));
}

TEST(RegularFile, EveryOtherPlaceIsRefusedWithoutBlocking) {
  struct Use {
    const char* what;
    std::function<bool(const std::filesystem::path&, std::string*)> taken;
    bool takesLargeFiles;
  };
  const Use uses[] = {
      {"read whole", [](const auto& p, std::string* e) { return readRegularFile(p, 1 << 20, e).has_value(); },
       false},
      {"open to read", [](const auto& p, std::string* e) { return bool(openRegularFile(p, O_RDONLY, e)); }, true},
      {"open to append",
       [](const auto& p, std::string* e) { return bool(openRegularFile(p, O_WRONLY | O_APPEND | O_CREAT, e)); },
       true},
      {"open to update", [](const auto& p, std::string* e) { return bool(openRegularFile(p, O_RDWR, e)); }, true},
  };
  const auto at = testing::testDataRoot() / "named";
  for (const auto& place : testing::hostilePlaces()) {
    testing::makeHostile(place.kind, at);
    for (const Use& use : uses) {
      SCOPED_TRACE(std::string(place.what) + " to " + use.what);
      std::string error;
      const bool taken = use.taken(at, &error);
      EXPECT_EQ(taken, place.regular && use.takesLargeFiles);
      if (!taken) {
        EXPECT_TRUE(testing::namesInOneLine(error, at)) << error;
      }
    }
  }
  testing::makeHostile(testing::Hostile::fifo, at);
  std::string error;
  openRegularFile(at, O_RDONLY, &error);
  EXPECT_EQ(error, at.string() + ": is not a regular file");
}

}  // namespace
}  // namespace wf
