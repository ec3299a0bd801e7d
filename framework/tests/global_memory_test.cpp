#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "framework/global_memory.h"
#include "platform/trace.h"

namespace {

class GlobalMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    baseline = wf::fw::liveGlobalBlocks();
    wf::setPlatformTraceSink([this](std::string_view line) { traces.emplace_back(line); });
  }
  void TearDown() override {
    wf::setPlatformTraceSink({});
    EXPECT_EQ(wf::fw::liveGlobalBlocks(), baseline) << "a block leaked or was freed twice";
  }
  std::size_t baseline = 0;
  std::vector<std::string> traces;
};

// What a posted message with an owned payload does with its block.
struct PostedText {
  UINT message;
  wf::fw::UniqueGlobalBlock payload;
};

}  // namespace

TEST_F(GlobalMemory, FixedBlocksAreTheirOwnAddress) {
  HGLOBAL block = GlobalAlloc(GPTR, 16);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalLock(block), block);
  EXPECT_EQ(GlobalSize(block), 16u);
  const char zeros[16] = {};
  EXPECT_EQ(std::memcmp(block, zeros, 16), 0);
  EXPECT_FALSE(GlobalUnlock(block));  // no lock left
  EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST_F(GlobalMemory, MoveableGrowthZeroFillsAndKeepsTheBytes) {
  HGLOBAL block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, 256);
  std::memcpy(block, "tags", 4);
  EXPECT_EQ(GlobalReAlloc(block, 512, GMEM_FIXED), nullptr) << "a fixed block may not move to grow";
  EXPECT_EQ(GlobalSize(block), 256u);
  HGLOBAL grown = GlobalReAlloc(block, 512, GMEM_MOVEABLE | GMEM_ZEROINIT);
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(GlobalSize(grown), 512u);
  EXPECT_EQ(std::memcmp(grown, "tags", 4), 0);
  EXPECT_EQ(static_cast<char*>(grown)[511], 0);
  EXPECT_EQ(GlobalFree(grown), nullptr);
}

TEST_F(GlobalMemory, SecondFreeIsRefusedAndReported) {
  HGLOBAL block = wf::fw::globalTextCopy("job line\r\n");
  EXPECT_STREQ(static_cast<const char*>(block), "job line\r\n");
  EXPECT_EQ(GlobalFree(block), nullptr);
  EXPECT_EQ(GlobalFree(block), block);
  EXPECT_EQ(GlobalSize(block), 0u);
  EXPECT_EQ(GlobalLock(block), nullptr);
  ASSERT_EQ(traces.size(), 1u);
  EXPECT_NE(traces[0].find("GlobalFree"), std::string::npos);
}

TEST_F(GlobalMemory, ReceiverFreesOnceAndDroppedMessagesFreeTheirBlock) {
  std::size_t before = wf::fw::liveGlobalBlocks();
  std::vector<PostedText> queue;
  // The sender allocates on its own thread.
  std::thread sender([&] {
    queue.push_back({1132, wf::fw::UniqueGlobalBlock(wf::fw::globalTextCopy("kept"))});
    queue.push_back({1132, wf::fw::UniqueGlobalBlock(wf::fw::globalTextCopy("dropped"))});
  });
  sender.join();
  EXPECT_EQ(wf::fw::liveGlobalBlocks(), before + 2);

  // The receiver takes the first block out of its message and frees it itself.
  HGLOBAL received = queue[0].payload.release();
  EXPECT_STREQ(static_cast<const char*>(received), "kept");
  EXPECT_EQ(GlobalFree(received), nullptr);
  EXPECT_EQ(wf::fw::liveGlobalBlocks(), before + 1);

  // The second message is never handled: the queue drops it.
  queue.clear();
  EXPECT_EQ(wf::fw::liveGlobalBlocks(), before);
  EXPECT_TRUE(traces.empty()) << traces.front();
}

TEST_F(GlobalMemory, BlocksTravelAsPayloadBytesAndAreFreedOnceOnEitherSide) {
  std::size_t before = wf::fw::liveGlobalBlocks();
  HGLOBAL sent = wf::fw::globalTextCopy("c:\\jobstats.csv");
  std::vector<std::uint8_t> payload = wf::fw::moveGlobalBlockToPayload(sent);
  EXPECT_EQ(wf::fw::liveGlobalBlocks(), before) << "the sender's block is gone with the post";
  EXPECT_EQ(payload.size(), 16u);  // the text and its terminator

  // A post that fails just drops the bytes: nothing is left to free.
  // A post that arrives gives the handler its own block.
  HGLOBAL received = wf::fw::globalBlockFromPayload(payload);
  EXPECT_STREQ(static_cast<const char*>(received), "c:\\jobstats.csv");
  EXPECT_EQ(GlobalFree(received), nullptr);
  EXPECT_EQ(wf::fw::liveGlobalBlocks(), before);

  EXPECT_TRUE(wf::fw::moveGlobalBlockToPayload(sent).empty()) << "a freed block cannot be sent again";
  EXPECT_EQ(traces.size(), 0u);
}
