#include "own_process.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/clock.h"
#include "test_dirs.h"

namespace wf::testing {
namespace {

// Where the parent sees what the case's process wrote.
void reportFailures() {
  const ::testing::TestResult* result = ::testing::UnitTest::GetInstance()->current_test_info()->result();
  for (int i = 0; i < result->total_part_count(); ++i) {
    const ::testing::TestPartResult& part = result->GetTestPartResult(i);
    if (part.failed())
      std::fprintf(stderr, "%s:%d: %s\n", part.file_name() ? part.file_name() : "", part.line_number(),
                   part.message());
  }
  std::fflush(nullptr);
}

}  // namespace

void inOwnProcess(const std::function<void()>& body, double timeScale) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ::setenv("WF_OWN_PROCESS_RUNTIME_DIR", std::getenv("WRENFIELD_RUNTIME_DIR"), 1);
  ::setenv("WF_OWN_PROCESS_ROOT", testDataRoot().c_str(), 1);
  EXPECT_EXIT(
      {
        ::setenv("WRENFIELD_RUNTIME_DIR", std::getenv("WF_OWN_PROCESS_RUNTIME_DIR"), 1);
        ::setenv("WRENFIELD_ROOT", std::getenv("WF_OWN_PROCESS_ROOT"), 1);
        ::setenv("WRENFIELD_TIME_SCALE", std::to_string(timeScale).c_str(), 1);
        wf::setTimeScaleForTest(timeScale);
        body();
        reportFailures();
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace wf::testing
