// The printer picture's option bitmaps: where each lands for an option set,
// and that every bitmap any option set asks for is in WFGUIDLL.
#include "prtgui/printer_picture.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "framework/gdi.h"
#include "framework/resources.h"
#include "platform/module.h"

namespace wf {
namespace {

constexpr UINT kLegal = 7;

OptionPicture bottomRight(UINT id) {
  return {id, false, false};
}
OptionPicture bottomLeft(UINT id) {
  return {id, false, true};
}
OptionPicture topRight(UINT id) {
  return {id, true, false};
}
OptionPicture topLeft(UINT id) {
  return {id, true, true};
}

PictureOptions firstTrayOf500() {
  PictureOptions o;
  o.firstTrayCapacity = 500;
  return o;
}
PictureOptions secondTrayOf200() {
  PictureOptions o;
  o.secondTray = true;
  o.secondTrayCapacity = 200;
  return o;
}

TEST(PrinterPicture, OptionSetsGiveTheirBitmapsCornersAndCombinedId) {
  struct Case {
    const char* name;
    PictureOptions options;
    std::vector<OptionPicture> pictures;
    bool combined;
  };
  std::vector<Case> cases;
  cases.push_back({"nothing", {}, {}, false});
  cases.push_back({"tray 1 of 500", firstTrayOf500(), {bottomRight(3604), bottomLeft(3611)}, true});
  {
    auto o = firstTrayOf500();
    o.secondTray = true;
    o.secondTrayCapacity = 500;
    cases.push_back({"tray 1 of 500 with tray 2", o, {bottomRight(3605), bottomLeft(3613)}, true});
    o.secondTraySize = kLegal;
    o.firstTraySize = kLegal;
    o.duplex = true;
    o.thirdTray = true;
    o.thirdTraySize = kLegal;
    cases.push_back({"everything legal", o, {bottomRight(3605), bottomLeft(3652)}, true});
    o.thirdTray = false;
    // 3611 + 11 is the base number itself: no combined picture.
    cases.push_back({"the collision with the base", o, {bottomRight(3605)}, false});
    o.ignorePaperSize = true;
    o.secondTrayCapacity = 200;
    cases.push_back({"ignored sizes and a big second tray", o, {topLeft(3700), bottomLeft(3701)}, true});
  }
  cases.push_back({"tray 2 of 200 alone", secondTrayOf200(), {topLeft(3700)}, false});
  {
    auto o = secondTrayOf200();
    o.thirdTray = true;
    cases.push_back(
        {"tray 2 of 200 with tray 3", o, {topLeft(3700), bottomRight(3665), bottomLeft(3720)}, true});
    o.thirdTraySize = kLegal;
    o.secondTraySize = kLegal;
    o.envelopeFeeder = true;
    cases.push_back({"legal trays 2 and 3 over 200 with an envelope feeder",
                     o,
                     {topLeft(3700), bottomRight(3665), topRight(3608), bottomLeft(3732)},
                     true});
    o.dualFeeder = true;
    cases.push_back({"dual feeder wins over the envelope feeder",
                     o,
                     {topLeft(3700), bottomRight(3665), topRight(3661), bottomLeft(3732)},
                     true});
  }
  {
    PictureOptions o;
    o.secondTray = true;
    o.secondTrayCapacity = 250;
    cases.push_back({"another second tray", o, {bottomRight(3603), bottomLeft(3624)}, true});
  }
  {
    PictureOptions o;
    o.dualFeeder = true;
    cases.push_back({"dual feeder", o, {topRight(3660)}, false});
    o.dualFeeder = false;
    o.envelopeFeeder = true;
    o.duplex = true;
    cases.push_back({"envelope feeder and duplex", o, {topRight(3607), bottomLeft(3623)}, true});
    o.firstTraySize = kLegal;
    cases.push_back({"legal tray 1", o, {topRight(3607), bottomLeft(3629)}, true});
    o.ignorePaperSize = true;
    cases.push_back({"legal tray 1 ignored", o, {topRight(3607), bottomLeft(3623)}, true});
  }
  {
    auto o = firstTrayOf500();
    o.ignorePaperSize = true;
    cases.push_back({"tray 1 of 500 ignored", o, {}, false});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PicturePlan plan = decodeImageIds(c.options);
    EXPECT_EQ(plan.pictures, c.pictures);
    EXPECT_EQ(plan.combined, c.combined);
  }
}

// Every option set the rule can meet, with the sizes and capacities it tells apart.
std::set<UINT> everyDrawnId() {
  std::set<UINT> ids;
  for (int bits = 0; bits < (1 << 11); ++bits) {
    auto bit = [&](int i) { return (bits >> i & 1) != 0; };
    for (UINT firstCapacity : {0U, 250U, 500U}) {
      PictureOptions o;
      o.ignorePaperSize = bit(0);
      o.firstTrayCapacity = firstCapacity;
      o.firstTraySize = bit(1) ? kLegal : 2;
      o.secondTray = bit(2);
      o.secondTrayCapacity = bit(3) ? 200 : 500;
      o.secondTraySize = bit(4) ? kLegal : 2;
      o.thirdTray = bit(5);
      o.thirdTraySize = bit(6) ? kLegal : 2;
      o.dualFeeder = bit(7);
      o.envelopeFeeder = bit(8);
      o.duplex = bit(9);
      if (bit(10)) o.firstTraySize = 1;
      for (const OptionPicture& p : decodeImageIds(o).pictures) ids.insert(p.id);
    }
  }
  return ids;
}

class Wfguidll : public ::testing::Test {
 protected:
  void SetUp() override {
    library = wf::loadModule("WFGUIDLL.DLL");
    ASSERT_NE(library, nullptr);
  }
  void TearDown() override { wf::freeModule(library); }
  CSize sizeOf(const wf::fw::ResourceId& id) {
    wf::fw::ResourceHandleSwitch current(library);
    CBitmap bitmap;
    if (!bitmap.LoadBitmap(id)) return {0, 0};
    return bitmap.GetSize();
  }
  HINSTANCE library = nullptr;
};

TEST_F(Wfguidll, HoldsEveryBitmapTheRuleDrawsAndEachFitsItsCorner) {
  const std::set<UINT> ids = everyDrawnId();
  const CSize printer = sizeOf(3600);
  ASSERT_GT(printer.cx, 0);
  for (UINT id : ids) {
    SCOPED_TRACE(id);
    const CSize size = sizeOf(id);
    EXPECT_GT(size.cx, 0);
    // Two pieces side by side and one above the other fit the printer.
    EXPECT_LE(2 * size.cx, printer.cx);
    EXPECT_LE(2 * size.cy, printer.cy);
    const bool combinedRange = (id >= 3611 && id <= 3663) || (id >= 3701 && id <= 3739);
    const bool piece = id == 3603 || id == 3604 || id == 3605 || id == 3607 || id == 3608 || id == 3665 ||
                       id == 3700 || id == 3660 || id == 3661;
    EXPECT_TRUE(combinedRange || piece);
  }
  // The rule reaches both ends of both ranges and every named piece.
  for (UINT id :
       {3603U, 3604U, 3605U, 3607U, 3608U, 3611U, 3652U, 3660U, 3661U, 3663U, 3665U, 3700U, 3701U, 3739U})
    EXPECT_TRUE(ids.count(id)) << id;
  EXPECT_FALSE(ids.count(3622));
  // And no picture of the range lies there unused.
  for (UINT id = 3601; id <= 3799; ++id)
    if (wf::fw::findResourceIn(library, wf::fw::res::Type::Bitmap, id)) EXPECT_TRUE(ids.count(id)) << id;
}

TEST_F(Wfguidll, HoldsTheHardErrorPanelAndTreePictures) {
  const CSize printer = sizeOf(3600);
  for (UINT id : {3504U, 3505U, 3506U, 3509U, 3510U, 3511U, 3512U, 3513U, 3514U, 3515U})
    EXPECT_EQ(std::pair(sizeOf(id).cx, sizeOf(id).cy), std::pair(printer.cx, printer.cy)) << id;
  const CSize panel = sizeOf(2000);
  EXPECT_GE(panel.cx, 372);
  EXPECT_GE(panel.cy, 167);
  EXPECT_GT(sizeOf(128).cx, 0);
  const CSize strip = sizeOf("FEATURES_IMAGELIST");  // ten 16 x 16 images
  EXPECT_EQ(strip.cx, 160);
  EXPECT_EQ(strip.cy, 16);
}

TEST_F(Wfguidll, HoldsThePagesStrings) {
  std::vector<UINT> ids = {43, 44, 47, 82, 506, 589, 602};
  for (UINT id = 489; id <= 498; ++id) ids.push_back(id);
  for (UINT id = 524; id <= 528; ++id) ids.push_back(id);
  for (UINT id = 547; id <= 560; ++id) ids.push_back(id);
  for (UINT id : ids) {
    const auto* text = static_cast<LPCSTR>(wf::fw::findResourceIn(library, wf::fw::res::Type::String, id));
    ASSERT_NE(text, nullptr) << id;
    EXPECT_GT(std::string(text).size(), 0U) << id;
  }
  // 47 takes the path as its one argument.
  const std::string message =
      static_cast<LPCSTR>(wf::fw::findResourceIn(library, wf::fw::res::Type::String, 47));
  EXPECT_NE(message.find("%s"), std::string::npos);
  EXPECT_EQ(message.find('%', message.find("%s") + 1), std::string::npos);
}

}  // namespace
}  // namespace wf
