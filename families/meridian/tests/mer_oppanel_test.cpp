// The family's operator-panel page: its button layout and its picture with
// the display left pure green while the panel shows nothing.
#include <gtest/gtest.h>

#include "lone_page.h"
#include "meridian/mer_oppanel.h"
#include "meridian_fixture.h"
#include "window_shot.h"

namespace {

class MeridianPanelPage : public wf::testing::MeridianFixture, public wf::testing::LonePage<CMerOOpPanel> {
 protected:
  CMerOOpPanel* open(CWFMeridianIcon* icon) { return openAlone(new CMerOOpPanel(icon), "Panel"); }
  void TearDown() override {
    closeAlone();
    MeridianFixture::TearDown();
  }
  CRect place(int id) {
    CRect r;
    page_->GetDlgItem(id)->GetWindowRect(&r);
    CPoint corner(r.left, r.top);
    page_->ScreenToClient(&corner);
    return CRect(corner.x, corner.y, corner.x + r.Width(), corner.y + r.Height());
  }
};

TEST_F(MeridianPanelPage, ButtonsTakeTheFamilysPlacesAndSizes) {
  open(addMeridian(31, "LPT1:"));
  // 1037 is 14 narrower than it was, 1038 9 wider: 23 between them.
  const CRect first = place(1037), second = place(1038);
  EXPECT_EQ(second.Width() - first.Width(), 23);
  EXPECT_EQ(second.Height(), first.Height());
  struct Case {
    int id, x, y;
    bool narrow;
  };
  const Case cases[] = {{1037, 318, 28, true},   {1038, 318, 56, false}, {1039, 318, 84, true},
                        {1040, 318, 112, false}, {1042, 251, 156, true}, {1041, 318, 156, true}};
  for (const Case& c : cases) {
    const CRect r = place(c.id);
    EXPECT_EQ(r.left, c.x) << c.id;
    EXPECT_EQ(r.top, c.y) << c.id;
    EXPECT_EQ(r.Width(), c.narrow ? first.Width() : second.Width()) << c.id;
  }
}

TEST_F(MeridianPanelPage, AnEmptyDisplayIsPureGreenOverTheFamilysPicture) {
  CMerOOpPanel* page = open(addMeridian(32, "LPT1:"));
  ASSERT_TRUE(page->GetSafeHwnd());
  wf::testing::WindowShot shot(*page);
  ASSERT_TRUE(shot.ok);
  int off = 0;
  for (int y = 20; y < 132; y += 3)
    for (int x = 46; x < 291; x += 3) off += shot.at(x, y) != RGB(0, 255, 0);
  EXPECT_EQ(off, 0);
  // Around the display the family's picture shows: its dark body, not green.
  EXPECT_NE(shot.at(10, 10), RGB(0, 255, 0));
  EXPECT_EQ(shot.at(10, 10), RGB(0x50, 0x54, 0x58));
}

}  // namespace
