// The Tidewater icon's settings cache: defaults, setter ranges, the font
// table's pitch flag, the PPDS code levels and the settings mutex's name.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "tidewater/tw_fonts.h"
#include "tidewater/tw_settings.h"

namespace {

using W = WFTidewaterPrtObj;

TEST(TwSettings, StartsWithTheFamilyDefaults) {
  CTwSettings s;
  EXPECT_TRUE(s.IsUS());
  EXPECT_EQ(s.GetTWPaperSource(), 3u);
  EXPECT_FALSE(s.GetTrayLinking());
  EXPECT_EQ(s.GetNumCopies(), 1u);
  EXPECT_EQ(s.GetFontNumber(), 0u);
  EXPECT_EQ(s.GetPitchSize(), 10u);
  EXPECT_EQ(s.GetPointSize(), 12u);
  EXPECT_TRUE(s.IsPitchFont());
  EXPECT_EQ(s.GetSymbolSet().str(), "8U");
  EXPECT_EQ(s.GetTimeout(), 0u);
  EXPECT_EQ(s.GetPowerSaver(), 15u);
  EXPECT_EQ(s.GetDarkness(), 3u);
  EXPECT_EQ(s.GetLinesPerPage(), 60u);
  EXPECT_EQ(s.GetOrientation(), W::ORIENT_PORTRAIT);
  EXPECT_EQ(s.GetResolution(), W::RES_300);
  EXPECT_TRUE(s.GetPQET());
  EXPECT_EQ(s.GetJamRecovery(), 2);
  EXPECT_FALSE(s.GetPPDS());
  const W::PAPERSIZES sizes[] = {W::SIZE_LETTER, W::SIZE_ENV_COM10, W::SIZE_LETTER, W::SIZE_LETTER};
  for (UINT source = 1; source <= 4; ++source) {
    EXPECT_EQ(s.GetTWPaperSize(source), sizes[source - 1]) << source;
    EXPECT_EQ(s.GetTWPaperType(source), 0u) << source;
  }
}

// Each setter with a range: the edges are stored, one past them changes nothing.
TEST(TwSettings, SettersKeepTheirRanges) {
  CTwSettings s;
  const struct {
    const char* what;
    std::function<void(CTwSettings&)> set;
    std::function<long(const CTwSettings&)> get;
    long expected;
  } cases[] = {
      {"power saver 121", [](auto& c) { c.SetPowerSaver(121); }, [](auto& c) { return c.GetPowerSaver(); },
       15},
      {"power saver 120", [](auto& c) { c.SetPowerSaver(120); }, [](auto& c) { return c.GetPowerSaver(); },
       120},
      {"time-out 256", [](auto& c) { c.SetTimeout(256); }, [](auto& c) { return c.GetTimeout(); }, 0},
      {"time-out 255", [](auto& c) { c.SetTimeout(255); }, [](auto& c) { return c.GetTimeout(); }, 255},
      {"jam 0", [](auto& c) { c.SetJamRecovery(0); }, [](auto& c) { return c.GetJamRecovery(); }, 2},
      {"jam 3", [](auto& c) { c.SetJamRecovery(3); }, [](auto& c) { return c.GetJamRecovery(); }, 2},
      {"jam 1", [](auto& c) { c.SetJamRecovery(1); }, [](auto& c) { return c.GetJamRecovery(); }, 1},
      {"font 26", [](auto& c) { c.SetFontNumber(26); }, [](auto& c) { return c.GetFontNumber(); }, 0},
      {"source 0", [](auto& c) { c.SetTWPaperSource(0); }, [](auto& c) { return c.GetTWPaperSource(); }, 3},
      {"source 5", [](auto& c) { c.SetTWPaperSource(5); }, [](auto& c) { return c.GetTWPaperSource(); }, 3},
      {"source 4", [](auto& c) { c.SetTWPaperSource(4); }, [](auto& c) { return c.GetTWPaperSource(); }, 4},
      {"size (2, 256)", [](auto& c) { c.SetTWPaperSize(2, 256); },
       [](auto& c) { return c.GetTWPaperSize(2); }, 130},
      {"size (2, 255)", [](auto& c) { c.SetTWPaperSize(2, 255); },
       [](auto& c) { return c.GetTWPaperSize(2); }, 255},
      {"size (5, 7)", [](auto& c) { c.SetTWPaperSize(5, 7); }, [](auto& c) { return c.GetTWPaperSize(5); },
       0},
      {"size (0, 7)", [](auto& c) { c.SetTWPaperSize(0, 7); }, [](auto& c) { return c.GetTWPaperSize(1); },
       1},
      {"type (2, 5)", [](auto& c) { c.SetTWPaperType(2, 5); }, [](auto& c) { return c.GetTWPaperType(2); },
       0},
      {"type (2, 4)", [](auto& c) { c.SetTWPaperType(2, 4); }, [](auto& c) { return c.GetTWPaperType(2); },
       4},
      {"type (5, 1)", [](auto& c) { c.SetTWPaperType(5, 1); }, [](auto& c) { return c.GetTWPaperType(5); },
       0},
  };
  for (const auto& c : cases) {
    c.set(s);
    EXPECT_EQ(c.get(s), c.expected) << c.what;
  }
}

TEST(TwSettings, TheFontNumberSetsThePitchFlagFromTheOneTable) {
  CTwSettings s;
  s.SetFontNumber(7);
  EXPECT_FALSE(s.IsPitchFont());
  s.SetFontNumber(4);
  EXPECT_TRUE(s.IsPitchFont());
  EXPECT_EQ(s.GetFontNumber(), 4u);
  s.SetFontNumber(26);  // ignored: the flag stays that of font 4
  EXPECT_TRUE(s.IsPitchFont());
  for (std::size_t i = 0; i < tidewater::kResidentFonts.size(); ++i) {
    EXPECT_EQ(tidewater::kResidentFonts[i].number, i);
    EXPECT_EQ(tidewater::kResidentFonts[i].fixedPitch != 0, i <= 6) << i;
  }
  EXPECT_STREQ(tidewater::kResidentFonts[25].name, "Wingdings");
}

TEST(TwSettings, PendingQueriesNeverDropBelowZero) {
  CTwSettings s;
  EXPECT_EQ(s.DropPendingQuery(), 0);
  EXPECT_EQ(s.AddPendingQuery(), 1);
  EXPECT_EQ(s.AddPendingQuery(), 2);
  EXPECT_EQ(s.DropPendingQuery(), 1);
  EXPECT_EQ(s.DropPendingQuery(), 0);
  EXPECT_EQ(s.DropPendingQuery(), 0);
  s.AddPendingQuery();
  s.ResetPendingQueries();
  EXPECT_EQ(s.GetPendingQueries(), 0);
}

// A worker sets the symbol set while the page reads it: each read is whole.
TEST(TwSettings, TheSymbolSetIsReadWholeWhileAWorkerSetsIt) {
  CTwSettings s;
  std::thread worker([&] {
    for (int i = 0; i < 2000; ++i) s.SetSymbolSet(i % 2 ? "19U" : "8U");
  });
  for (int i = 0; i < 2000; ++i) {
    const CString set = s.GetSymbolSet();
    EXPECT_TRUE(set.str() == "8U" || set.str() == "19U") << set.str();
  }
  worker.join();
}

TEST(TwSettings, PpdsCodeLevelsAndTheSettingsMutexName) {
  const struct {
    const char* level;
    bool capable;
  } cases[] = {{"199", false},    {"200", true},   {"310", true},  {"399", true},  {"400", false},
               {"599", false},    {"600", true},   {"799", true},  {"800", false}, {"", false},
               {"4.02.0", false}, {"3.10", false}, {"310A", true}, {"abc", false}};
  for (const auto& c : cases) EXPECT_EQ(tidewater::IsPPDSCodeLevel(c.level), c.capable) << c.level;
  EXPECT_FALSE(tidewater::IsPPDSCodeLevel(nullptr));
  EXPECT_EQ(tidewater::TidewaterMutexName(12).str(), "12TidewaterModify");
  EXPECT_EQ(tidewater::TidewaterMutexName(65535).str(), "65535TidewaterModify");
}

}  // namespace
