#include "platform/file_lock.h"

#include <gtest/gtest.h>

#include "platform/runtime_dir.h"
#include "platform_child.h"

namespace wf {

TEST(FileLock, ExclusiveAgainstSharedAcrossDescriptions) {
  auto path = runtimePath("l");
  ASSERT_TRUE(path);
  auto a = FileLock::open(*path);
  auto b = FileLock::open(*path);
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(a->tryShared());
  EXPECT_TRUE(b->tryShared());
  EXPECT_FALSE(b->tryExclusive());  // a still holds its share
  a->unlock();
  EXPECT_TRUE(b->tryExclusive());
  EXPECT_FALSE(a->tryShared());
}

TEST(FileLock, DroppedWhenHolderIsKilled) {
  auto path = runtimePath("l");
  ASSERT_TRUE(path);
  testing::PlatformChild child;
  child.holdLock(path->string());
  auto mine = FileLock::open(*path);
  ASSERT_TRUE(mine);
  EXPECT_FALSE(mine->tryExclusive());
  child.process().kill(SIGKILL);
  EXPECT_TRUE(mine->lockExclusive(5'000));
}

}  // namespace wf
