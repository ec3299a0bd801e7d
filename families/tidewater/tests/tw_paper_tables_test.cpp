#include "tidewater/tw_paper_tables.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tidewater/tw_fonts.h"

namespace tidewater {
namespace {

std::uint32_t classOf(unsigned font) {
  return kResidentFonts[font].symbolSetClass;
}

TEST(TwPaperTables, SymbolSetPositionsFollowTheListAsFilled) {
  struct Case {
    unsigned font;
    const char* id;
    int position;
  } cases[] = {
      {0, "8U", 0},                      // class 1, first row
      {0, "15U", 31},                    // class 1, last text row
      {0, "17U", 13},                    // class 1 lists the Latin 2 sets
      {0, "579L", -1},                   // the symbol set is not a text set
      {25, "579L", 0},                   // class 3: the one entry
      {25, "8U", -1},                    // a text set on the symbol font
      {11, "17U", -1},                   // class 2 lacks the six Eastern sets...
      {11, "5T", -1},   {11, "1U", 13},  // ...so the rows after them move up six
      {11, "15U", 25},                   // the last of 26 entries
      {11, "579L", -1},                  // never position 26 of a 26-entry list
      {0, "", -1},      {0, "XX", -1},
  };
  for (const Case& c : cases) {
    const auto rows = SymbolSetRows(classOf(c.font));
    EXPECT_EQ(SymbolSetPosition(rows, c.id), c.position) << "font " << c.font << " id " << c.id;
  }
}

TEST(TwPaperTables, SymbolSetListsPerClass) {
  EXPECT_EQ(SymbolSetRows(1).size(), 32u);
  EXPECT_EQ(SymbolSetRows(2).size(), 26u);
  ASSERT_EQ(SymbolSetRows(3).size(), 1u);
  EXPECT_STREQ(kSymbolSets[static_cast<std::size_t>(SymbolSetRows(3)[0])].display, "Wingdings");
  for (int row : SymbolSetRows(2)) {
    const char* id = kSymbolSets[static_cast<std::size_t>(row)].id;
    for (const char* eastern : {"17U", "9T", "2N", "5N", "9E", "5T", "579L"}) EXPECT_STRNE(id, eastern);
  }
}

TEST(TwPaperTables, DisplayNameMapsBackOverAllRows) {
  EXPECT_STREQ(SymbolSetId("Wingdings"), "579L");
  EXPECT_STREQ(SymbolSetId("Roman-8"), "8U");
  EXPECT_STREQ(SymbolSetId("PC-852 Latin 2"), "17U");
  EXPECT_STREQ(SymbolSetId("Nothing"), "");
  EXPECT_STREQ(SymbolSetId(nullptr), "");
}

TEST(TwPaperTables, SizePositionsPerSource) {
  struct Case {
    unsigned source;
    unsigned code;
    int position;
  } cases[] = {
      {2, 130, 5},  {2, 83, 0},   {2, 1, -1},  // an envelope source lists no paper
      {1, 1, 0},    {1, 53, 5},   {1, 130, -1}, {4, 22, 3},   {4, 88, -1},  {3, 88, 8}, {3, 1, 0},
      {3, 130, 11}, {1, 255, -1}, {2, 255, -1}, {3, 255, -1}, {4, 255, -1}, {0, 1, -1}, {5, 1, -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PaperSizePosition(c.source, c.code), c.position) << "source " << c.source << " code " << c.code;
  EXPECT_EQ(PaperSizesOf(2).front().string, 50139u);
  EXPECT_EQ(PaperSizesOf(3).back().string, 50144u);
}

TEST(TwPaperTables, SourcesAndTypes) {
  EXPECT_EQ(PaperSourceStrings(false), (std::vector<unsigned>{486, 487, 481}));
  EXPECT_EQ(PaperSourceStrings(true), (std::vector<unsigned>{486, 487, 481, 482}));
  EXPECT_TRUE(PaperTypeApplies(1));
  EXPECT_FALSE(PaperTypeApplies(2));
  EXPECT_TRUE(PaperTypeApplies(3));
  EXPECT_FALSE(PaperTypeApplies(4));
}

}  // namespace
}  // namespace tidewater
