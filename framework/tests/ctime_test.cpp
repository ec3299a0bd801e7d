#include <gtest/gtest.h>
#include <stdlib.h>

#include <ctime>

#include "framework/ctime.h"
#include "platform/clock.h"

namespace {

class Time : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = ::getenv("TZ");
    savedTz = tz ? tz : "";
    hadTz = tz != nullptr;
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }
  void TearDown() override {
    wf::setNowForTest({});
    if (hadTz)
      ::setenv("TZ", savedTz.c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }
  std::string savedTz;
  bool hadTz = false;
};

}  // namespace

TEST_F(Time, CurrentTimeComesFromTheInjectedClock) {
  wf::setNowForTest([] { return std::time_t{946'782'245}; });  // 2000-01-02 03:04:05 UTC
  CTime t = CTime::GetCurrentTime();
  EXPECT_EQ(t.GetTime(), 946'782'245);
  EXPECT_STREQ(t.Format("%m-%d-%y %H:%M:%S "), "01-02-00 03:04:05 ");
  EXPECT_EQ(t.GetYear(), 2000);
  EXPECT_EQ(t.GetMonth(), 1);
  EXPECT_EQ(t.GetDay(), 2);
  EXPECT_EQ(t.GetDayOfWeek(), 1);  // a Sunday
  EXPECT_EQ(t, CTime(2000, 1, 2, 3, 4, 5));
}

TEST_F(Time, LocalTimeFollowsTheZone) {
  ::setenv("TZ", "EST5", 1);
  ::tzset();
  CTime t(946'782'245);
  EXPECT_EQ(t.GetHour(), 22);
  EXPECT_EQ(t.GetDay(), 1);
  EXPECT_STREQ(t.FormatGmt("%H:%M"), "03:04");
  // Local midnight at the start of a day, as a cut-off date is built.
  EXPECT_EQ(CTime(2000, 1, 2, 0, 0, 0).GetTime(), 946'789'200);
}

TEST_F(Time, SpansAndArithmetic) {
  CTime start(2000, 1, 1, 0, 0, 0);
  CTime later = start + CTimeSpan(1, 2, 3, 4);
  CTimeSpan span = later - start;
  EXPECT_EQ(span.GetTotalSeconds(), 93'784);
  EXPECT_EQ(span.GetDays(), 1);
  EXPECT_EQ(span.GetHours(), 2);
  EXPECT_EQ(span.GetMinutes(), 3);
  EXPECT_EQ(span.GetSeconds(), 4);
  EXPECT_EQ(span.GetTotalHours(), 26);
  EXPECT_EQ(span.GetTotalMinutes(), 1563);
  EXPECT_LT(start, later);
  later -= CTimeSpan(3600);
  EXPECT_EQ(later.GetHour(), 1);
  EXPECT_GT(CTimeSpan(120), CTimeSpan(119));
}
