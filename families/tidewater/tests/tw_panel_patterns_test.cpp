#include "tidewater/tw_panel_patterns.h"

#include <gtest/gtest.h>

#include <vector>

namespace tidewater {
namespace {

using Bytes = std::vector<unsigned char>;

TEST(TwPanelPatterns, PatternsNameTheirStrings) {
  struct Case {
    Bytes lights;
    unsigned string;
  } cases[] = {
      {{2, 2, 2, 2, 2, 2}, 50118}, {{1, 0, 0, 0, 0, 0}, 547},   {{1, 1, 1, 1, 1, 1}, 50104},
      {{0, 0, 0, 0, 1, 1}, 50114}, {{2, 0, 0, 0, 0, 0}, 50108}, {{0, 2, 0, 0, 0, 0}, 50109},
      {{0, 2, 2, 2, 0, 0}, 50132}, {{3, 0, 0, 0, 0, 0}, 0},     {{0, 0, 0, 0, 0, 0}, 0},
  };
  for (const Case& c : cases) {
    const CString pattern = LightPattern(c.lights);
    EXPECT_EQ(PatternString(pattern), c.string) << static_cast<const char*>(pattern);
  }
}

TEST(TwPanelPatterns, DuplicateRowsNeverWin) {
  for (unsigned duplicate : {50105u, 50106u, 50115u, 50116u, 50119u, 50120u})
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b)
        for (int c = 0; c < 3; ++c)
          for (int d = 0; d < 3; ++d)
            for (int e = 0; e < 3; ++e)
              for (int f = 0; f < 3; ++f) {
                const Bytes lights = {static_cast<unsigned char>(a), static_cast<unsigned char>(b),
                                      static_cast<unsigned char>(c), static_cast<unsigned char>(d),
                                      static_cast<unsigned char>(e), static_cast<unsigned char>(f)};
                ASSERT_NE(PatternString(LightPattern(lights)), duplicate);
              }
}

TEST(TwPanelPatterns, ShortTextsAndStrangeBytesShowOff) {
  EXPECT_EQ(LightPattern(Bytes{2, 2}), CString("020200000000"));
  EXPECT_EQ(LightPattern(Bytes{}), CString("000000000000"));
  EXPECT_EQ(LightPattern(Bytes{0xAB, 1, 2, 0, 0, 0, 9}), CString("AB0102000000"));
  EXPECT_EQ(LightState(0), 0);
  EXPECT_EQ(LightState(1), 1);
  EXPECT_EQ(LightState(2), 2);
  EXPECT_EQ(LightState(3), 0);
  EXPECT_EQ(LightState(0xFF), 0);
  EXPECT_EQ(PatternString(nullptr), 0u);
}

}  // namespace
}  // namespace tidewater
