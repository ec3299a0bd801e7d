#include <gtest/gtest.h>

#include <map>

#include "framework/cstring.h"

namespace {

class StringTable : public ::testing::Test {
 protected:
  void SetUp() override {
    wf::fw::setStringLookup([this](UINT id, std::string& text) {
      auto it = table.find(id);
      if (it == table.end()) return false;
      text = it->second;
      return true;
    });
  }
  void TearDown() override { wf::fw::setStringLookup({}); }
  std::map<UINT, std::string> table{
      {162, "The connection to  %1 was lost."},
      {47, "The Quick Setup file and the printer %s do not match."},
      {300, "%2 before %1, %1 again, %3 stays, 100%"},
      {301, ""},
  };
};

}  // namespace

TEST(CString, FormatFollowsPrintf) {
  struct Case {
    CString got;
    const char* want;
  };
  auto fmt = [](auto... args) {
    CString s;
    s.Format(args...);
    return s;
  };
  const Case cases[] = {
      {fmt("%u %x", 17u, 0xabcdu), "17 abcd"},
      {fmt("%s  (%s)", "LPT1:", "\\\\SRV\\Q"), "LPT1:  (\\\\SRV\\Q)"},
      {fmt("%d,%03d,%03d", 1, 2, 3), "1,002,003"},
      {fmt("%3d", 0), "  0"},
      {fmt("%02X ", 0x0a), "0A "},
      {fmt("%s", std::string(3000, 'x').c_str()), nullptr},  // longer than any fixed buffer
      {fmt("%s", ""), ""},
  };
  for (const Case& c : cases) {
    if (c.want)
      EXPECT_STREQ(c.got, c.want);
    else
      EXPECT_EQ(c.got.GetLength(), 3000);
  }
}

TEST(CString, ComparisonsTable) {
  struct Case {
    const char* a;
    const char* b;
    int compare;
    int noCase;
  };
  const Case cases[] = {
      {"abc", "abc", 0, 0},  {"abc", "ABC", 1, 0},  {"ABC", "abd", -1, -1},
      {"ab", "abc", -1, -1}, {"abc", "ab", 1, 1},   {"", "", 0, 0},
      {"", "a", -1, -1},     {"_", "a", -1, -1},     // folded to lower case, as the original did
      {"Z", "_", -1, 1},     {"ÉTÉ", "été", -1, 0},  // letters beyond ASCII fold too
  };
  for (const Case& c : cases) {
    CString a(c.a);
    EXPECT_EQ(a.Compare(c.b), c.compare) << c.a << " vs " << c.b;
    EXPECT_EQ(a.CompareNoCase(c.b), c.noCase) << c.a << " vs " << c.b;
    EXPECT_EQ(a == c.b, c.compare == 0);
    EXPECT_EQ(a < CString(c.b), c.compare < 0);
  }
}

TEST(CString, SearchAndSlicesClampToTheText) {
  CString s("c:\\wf\\sounds\\jam.wav");
  EXPECT_EQ(s.Find('\\'), 2);
  EXPECT_EQ(s.Find('\\', 3), 5);
  EXPECT_EQ(s.Find("sounds"), 6);
  EXPECT_EQ(s.Find("SOUNDS"), -1);
  EXPECT_EQ(s.Find('q'), -1);
  EXPECT_EQ(s.Find('c', 100), -1);
  EXPECT_EQ(s.ReverseFind('\\'), 12);
  EXPECT_EQ(s.ReverseFind('?'), -1);

  EXPECT_STREQ(s.Left(2), "c:");
  EXPECT_STREQ(s.Mid(s.ReverseFind('\\') + 1), "jam.wav");
  EXPECT_STREQ(s.Mid(3, 2), "wf");
  EXPECT_STREQ(s.Right(3), "wav");
  EXPECT_STREQ(s.Left(100), s);
  EXPECT_STREQ(s.Left(-1), "");
  EXPECT_STREQ(s.Mid(100), "");
  EXPECT_STREQ(s.Mid(-5, 2), "c:");
  EXPECT_STREQ(s.Right(100), s);
}

TEST(CString, CaseTrimAndBuffers) {
  CString s(" \t HP LaserJet 5Si\r\n");
  s.TrimLeft();
  EXPECT_STREQ(s, "HP LaserJet 5Si\r\n");
  s.TrimRight();
  EXPECT_STREQ(s, "HP LaserJet 5Si");
  s.MakeUpper();
  EXPECT_STREQ(s, "HP LASERJET 5SI");
  s.MakeLower();
  EXPECT_STREQ(s, "hp laserjet 5si");
  CString accented("größe");
  accented.MakeUpper();
  EXPECT_STREQ(accented, "GRÖSSE");

  CString blank("   ");
  blank.TrimLeft();
  EXPECT_TRUE(blank.IsEmpty());

  CString filled;
  std::snprintf(filled.GetBuffer(260), 261, "%s", "c:\\wrenfld.exe");
  filled.ReleaseBuffer();
  EXPECT_EQ(filled.GetLength(), 14);
  EXPECT_STREQ(filled + "|" + 'x', "c:\\wrenfld.exe|x");
  filled.GetBuffer(0);
  filled.ReleaseBuffer(2);
  EXPECT_STREQ(filled, "c:");
}

TEST_F(StringTable, LoadStringUsesTheInstalledLookup) {
  CString s("stale");
  EXPECT_TRUE(s.LoadString(162));
  EXPECT_STREQ(s, table[162].c_str());
  EXPECT_FALSE(s.LoadString(999));
  EXPECT_TRUE(s.IsEmpty());
  wf::fw::setStringLookup({});
  EXPECT_FALSE(s.LoadString(162));
}

TEST_F(StringTable, PercentOneFormatting) {
  CString s;
  AfxFormatString1(s, 162, "Meridian 40 on LPT1:");
  EXPECT_STREQ(s, "The connection to  Meridian 40 on LPT1: was lost.");
  // printf markers are not %1 markers and stay.
  AfxFormatString1(s, 47, "x");
  EXPECT_STREQ(s, table[47].c_str());
  AfxFormatString2(s, 300, "one", "two");
  EXPECT_STREQ(s, "two before one, one again, %3 stays, 100%");
  AfxFormatString1(s, 999, "x");
  EXPECT_TRUE(s.IsEmpty());
}
