#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "eventually.h"
#include "sound_player.h"
#include "test_dirs.h"

namespace fs = std::filesystem;

namespace {

// A stand-in player that notes its pid and file, then plays "forever".
class PlayerSoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = wf::testing::testDataRoot();
    fs::create_directories(dir);
    log = dir / "played";
    player = dir / "player.sh";
    std::ofstream(player) << "#!/bin/sh\necho \"$$ $2\" >> \"" << log.string() << "\"\nexec sleep 60\n";
    fs::permissions(player, fs::perms::owner_all);
    for (const char* name : {"jam.wav", "clear.wav"}) std::ofstream(dir / name) << "RIFF";
  }

  // Waits until the player has noted `count` starts; returns (pid, file) lines.
  std::vector<std::pair<pid_t, std::string>> started(std::size_t count) {
    std::vector<std::pair<pid_t, std::string>> lines;
    wf::testing::eventually([&] {
      lines.clear();
      std::ifstream in(log);
      pid_t pid;
      std::string file;
      while (in >> pid >> file) lines.emplace_back(pid, file);
      return lines.size() >= count;
    });
    return lines;
  }

  static bool alive(pid_t pid) { return ::kill(pid, 0) == 0; }

  fs::path dir, log, player;
};

}  // namespace

TEST_F(PlayerSoundTest, PlaysWithoutWaitingAndANewSoundStopsTheOld) {
  std::vector<std::pair<pid_t, std::string>> lines;
  {
    wf::fw::PlayerSound sound(player.string());
    EXPECT_EQ(sound.deviceCount(), 1u);
    // The player runs for a minute; play must return long before that.
    EXPECT_TRUE(sound.play((dir / "jam.wav").string(), SND_FILENAME | SND_NOWAIT | SND_ASYNC));
    lines = started(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].second, (dir / "jam.wav").string());

    EXPECT_FALSE(sound.play((dir / "clear.wav").string(), SND_FILENAME | SND_NOWAIT | SND_ASYNC))
        << "device busy";
    EXPECT_TRUE(sound.play((dir / "clear.wav").string(), SND_FILENAME | SND_ASYNC));
    lines = started(2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].second, (dir / "clear.wav").string());
    EXPECT_FALSE(alive(lines[0].first)) << "the first sound still plays";
    EXPECT_TRUE(alive(lines[1].first));
  }
  EXPECT_FALSE(alive(lines[1].first)) << "the player outlived the service";
}

TEST_F(PlayerSoundTest, EmptyNameStopsAndMissingFilesOrPlayersFail) {
  wf::fw::PlayerSound sound(player.string());
  EXPECT_FALSE(sound.play((dir / "missing.wav").string(), SND_FILENAME | SND_ASYNC));
  ASSERT_TRUE(sound.play((dir / "jam.wav").string(), SND_FILENAME | SND_ASYNC));
  auto lines = started(1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(sound.play("", SND_ASYNC));
  EXPECT_FALSE(alive(lines[0].first));
  // Nothing plays now, so a no-wait sound starts.
  EXPECT_TRUE(sound.play((dir / "clear.wav").string(), SND_FILENAME | SND_NOWAIT | SND_ASYNC));

  wf::fw::PlayerSound none((dir / "no-player").string());
  EXPECT_EQ(none.deviceCount(), 0u);
  EXPECT_FALSE(none.play((dir / "jam.wav").string(), SND_FILENAME | SND_ASYNC));
}
