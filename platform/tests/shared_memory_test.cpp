#include "platform/shared_memory.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform_child.h"

namespace wf {
namespace {

const std::string kTable = "bcemem_apphandles";
const std::vector<std::uint32_t> kZeros(32, 0);  // the table's 32 words

}  // namespace

TEST(SharedMemory, FirstMapperCreatesZeroedAndLastHolderEndsIt) {
  testing::PlatformChild first, second;
  ASSERT_EQ(first.sharedMemoryMap(kTable, 128), testing::Opened::Created);
  EXPECT_EQ(first.sharedMemoryWords(kTable), kZeros);
  first.sharedMemorySet(kTable, 3, 77);

  ASSERT_EQ(second.sharedMemoryMap(kTable, 128), testing::Opened::Existed);
  const auto seen = second.sharedMemoryWords(kTable);
  ASSERT_GE(seen.size(), 5u);
  EXPECT_EQ(std::vector<std::uint32_t>(seen.begin(), seen.begin() + 5),
            (std::vector<std::uint32_t>{0, 0, 0, 77, 0}));

  first.process().kill(SIGKILL);
  second.process().call("exit 0");
  second.process().waitExit();

  testing::PlatformChild next;
  EXPECT_EQ(next.sharedMemoryMap(kTable, 128), testing::Opened::Created);
  EXPECT_EQ(next.sharedMemoryWords(kTable), kZeros);
}

TEST(SharedMemory, LivesOnWhileAnyHolderSurvivesTheCreatorsDeath) {
  testing::PlatformChild creator, holder;
  ASSERT_EQ(creator.sharedMemoryMap(kTable, 128), testing::Opened::Created);
  creator.sharedMemorySet(kTable, 31, 4294967295u);
  ASSERT_EQ(holder.sharedMemoryMap(kTable, 128), testing::Opened::Existed);
  creator.process().kill(SIGKILL);

  auto mine = SharedMemory::open(kTable, 128);
  ASSERT_TRUE(mine);
  EXPECT_FALSE(mine->created());
  EXPECT_EQ(mine->word(31).load(), 0xFFFFFFFFu);
  mine->word(0).store(5);
  EXPECT_EQ(holder.sharedMemoryWords(kTable).at(0), 5u);
}

TEST(SharedMemory, ExactlyOneOfManyConcurrentOpenersCreates) {
  constexpr int kThreads = 8, kAdds = 1000;
  std::atomic<int> creators{0};
  std::vector<std::thread> threads;
  std::vector<std::optional<SharedMemory>> blocks(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      blocks[t] = SharedMemory::open("race", 4);
      if (!blocks[t]) return;
      if (blocks[t]->created()) ++creators;
      for (int i = 0; i < kAdds; ++i) blocks[t]->word(0).fetch_add(1);
    });
  }
  for (auto& t : threads) t.join();
  for (auto& b : blocks) ASSERT_TRUE(b);
  EXPECT_EQ(creators.load(), 1);
  // Every opener shares one block: no add is lost and none is on a private copy.
  EXPECT_EQ(blocks[0]->word(0).load(), std::uint32_t(kThreads * kAdds));
}

TEST(SharedMemory, NamesAreDistinctAndCaseSensitive) {
  const std::vector<std::string> names = {"Block", "block", "a/b", "a%2Fb", "..", ".", "a\\b"};
  std::vector<SharedMemory> blocks;
  for (std::size_t i = 0; i < names.size(); ++i) {
    auto b = SharedMemory::open(names[i], 8);
    ASSERT_TRUE(b) << names[i];
    EXPECT_TRUE(b->created()) << names[i] << " shares a block with an earlier name";
    b->word(1).store(static_cast<std::uint32_t>(i + 1));
    blocks.push_back(std::move(*b));
  }
  for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(blocks[i].word(1).load(), i + 1) << names[i];
}

TEST(SharedMemory, RefusesWhatCannotBeMapped) {
  auto small = SharedMemory::open("sized", 8);
  ASSERT_TRUE(small);
  struct Case {
    std::string name;
    std::size_t size;
  };
  const Case cases[] = {
      {"sized", 16},  // exists with fewer bytes
      {"empty-size", 0},
      {"", 8},
      {std::string(200, 'n'), 8},  // would not fit below the runtime directory
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(SharedMemory::open(c.name, c.size, &error)) << c.name.substr(0, 20) << " " << c.size;
    EXPECT_FALSE(error.empty());
  }
  auto smaller = SharedMemory::open("sized", 4);
  ASSERT_TRUE(smaller);
  EXPECT_FALSE(smaller->created());
}

}  // namespace wf
