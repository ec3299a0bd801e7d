// The small controls, by the pixels their paint handlers put on screen.
#include "common/small_controls.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "fake_wf_app.h"
#include "gui_pump.h"
#include "platform/message_queue.h"
#include "platform/window_messages.h"

namespace {

using wf::testing::FakeWFApp;

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kShadow = RGB(128, 128, 128);
constexpr COLORREF kHighlight = RGB(255, 255, 255);
constexpr COLORREF kFace = RGB(192, 192, 192);
constexpr COLORREF kCorner = RGB(10, 200, 30);  // the picture's top-left pixel

// What a window shows, drawn by its own paint handler.
class Shot {
 public:
  explicit Shot(CWnd& wnd) {
    CRect client;
    wnd.GetClientRect(&client);
    dc_.CreateCompatibleDC(nullptr);
    bitmap_.CreateBitmap(client.Width(), client.Height(), 1, 32, nullptr);
    previous_ = dc_.SelectObject(&bitmap_);
    ok = PrintWindow(wnd.m_hWnd, dc_.m_hDC, PW_CLIENTONLY);
  }
  ~Shot() { dc_.SelectObject(previous_); }
  COLORREF at(int x, int y) const { return dc_.GetPixel(x, y); }
  BOOL ok = FALSE;

 private:
  CDC dc_;
  CBitmap bitmap_;
  CBitmap* previous_ = nullptr;
};

// A picture whose every pixel tells where it came from, except the top-left one.
COLORREF picturePixel(int x, int y) {
  return x == 0 && y == 0 ? kCorner : RGB(x * 4, y * 4, 100);
}

void makePicture(CBitmap& bitmap, int width, int height) {
  bitmap.CreateBitmap(width, height, 1, 24, nullptr);
  CDC dc;
  dc.CreateCompatibleDC(nullptr);
  CBitmap* previous = dc.SelectObject(&bitmap);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) dc.SetPixel(x, y, picturePixel(x, y));
  dc.SelectObject(previous);
}

class SmallControls : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(parent.CreateEx(0, "ControlsParent", "controls", WS_OVERLAPPED, 0, 0, 300, 200, 0));
  }
  void TearDown() override { parent.DestroyWindow(); }

  std::unique_ptr<CStaticBMP> picture(int pictureWidth, int pictureHeight, UINT state, CRect rect) {
    CBitmap bitmap;
    makePicture(bitmap, pictureWidth, pictureHeight);
    auto control = std::make_unique<CStaticBMP>();
    EXPECT_TRUE(control->CreateBMPControl(bitmap, state, rect, &parent, 1001));
    return control;
  }

  FakeWFApp app;
  CWnd parent;
};

TEST_F(SmallControls, PictureFramesHaveTheColoursOfTheirStateAtEveryCorner) {
  struct Case {
    UINT state;
    COLORREF outerTopLeft, outerBottomRight, innerTopLeft, innerBottomRight;
  };
  const Case cases[] = {
      {1, kShadow, kHighlight, kBlack, kFace},
      {2, kHighlight, kShadow, kFace, kBlack},
      {0, kHighlight, kShadow, kFace, kBlack},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    auto control = picture(10, 8, c.state, CRect(5, 5, 45, 35));
    Shot shot(*control);
    ASSERT_TRUE(shot.ok);
    const int w = 39, h = 29;
    EXPECT_EQ(shot.at(0, 0), c.outerTopLeft);
    EXPECT_EQ(shot.at(0, h), c.outerTopLeft);
    EXPECT_EQ(shot.at(w, 0), c.outerBottomRight);
    EXPECT_EQ(shot.at(w, h), c.outerBottomRight);
    EXPECT_EQ(shot.at(1, 1), c.innerTopLeft);
    EXPECT_EQ(shot.at(1, h - 1), c.innerTopLeft);
    EXPECT_EQ(shot.at(w - 1, 1), c.innerBottomRight);
    EXPECT_EQ(shot.at(w - 1, h - 1), c.innerBottomRight);
    // Inside the frame: the background of the picture's top-left pixel.
    EXPECT_EQ(shot.at(3, 3), kCorner);
  }
}

TEST_F(SmallControls, LargerPictureIsCutAtTheMargin) {
  auto control = picture(60, 50, 2, CRect(0, 0, 40, 30));
  Shot shot(*control);
  ASSERT_TRUE(shot.ok);
  EXPECT_EQ(shot.at(2, 2), kCorner);
  EXPECT_EQ(shot.at(3, 2), picturePixel(1, 0));
  EXPECT_EQ(shot.at(20, 15), picturePixel(18, 13));
  EXPECT_EQ(shot.at(37, 27), picturePixel(35, 25));  // last pixel inside the margin
  EXPECT_EQ(shot.at(38, 28), kBlack);                // the frame, not the picture
}

TEST_F(SmallControls, SmallerPictureIsCentredInsideTheMarginOrWithoutItInState3) {
  struct Case {
    UINT state;
    int x, y;  // where the picture starts
  };
  const Case cases[] = {
      {2, 2 + (40 - 10) / 2, 2 + (30 - 8) / 2},
      {3, (40 - 10) / 2, (30 - 8) / 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    auto control = picture(10, 8, c.state, CRect(0, 0, 40, 30));
    Shot shot(*control);
    ASSERT_TRUE(shot.ok);
    EXPECT_EQ(shot.at(c.x + 1, c.y), picturePixel(1, 0));
    EXPECT_EQ(shot.at(c.x + 9, c.y + 7), picturePixel(9, 7));
    EXPECT_EQ(shot.at(c.x + 10, c.y + 7), kCorner);
    EXPECT_EQ(shot.at(c.x - 1, c.y), kCorner);
    if (c.state != 3) continue;
    // No frame: the background rectangle's black outline, then the background.
    EXPECT_EQ(shot.at(0, 0), kBlack);
    EXPECT_EQ(shot.at(39, 29), kBlack);
    EXPECT_EQ(shot.at(1, 1), kCorner);
    EXPECT_EQ(shot.at(38, 28), kCorner);
  }
}

TEST_F(SmallControls, PictureInAControlSmallerThanItsMarginsCopiesNothing) {
  auto control = picture(10, 8, 2, CRect(0, 0, 3, 3));
  Shot shot(*control);
  ASSERT_TRUE(shot.ok);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_NE(shot.at(x, y), picturePixel(1, 1)) << x << "," << y;
}

TEST_F(SmallControls, UpdateImageShowsTheNewPictureAtOnce) {
  auto control = picture(10, 8, 2, CRect(0, 0, 40, 30));
  CBitmap other;
  other.CreateBitmap(40, 30, 1, 24, nullptr);  // black all over
  CDC dc;
  dc.CreateCompatibleDC(nullptr);
  CBitmap* previous = dc.SelectObject(&other);
  control->UpdateImage(dc.m_hDC);
  dc.SelectObject(previous);
  Shot shot(*control);
  EXPECT_EQ(shot.at(20, 15), kBlack);
  EXPECT_EQ(shot.at(0, 0), kHighlight);
}

// --- Lamps ---

// The fake application's window gave this thread its message queue before
// Qt's, so posted blinks wait there.
bool lampShows(CROPButton& lamp, COLORREF colour) {
  return wf::fw::testing::pumpUntil([&] {
    wf::Message m;
    while (wf::peekMessage(m, wf::PeekMode::Remove)) wf::dispatchMessage(m);
    return Shot(lamp).at(5, 5) == colour;
  });
}

TEST_F(SmallControls, LampIsGreyOffGreenOrAmberLit) {
  CROPButton green, amber;
  ASSERT_TRUE(green.CreateROPButton(0, 0, CRect(0, 0, 12, 12), &parent, 1036));
  ASSERT_TRUE(amber.CreateROPButton(1, 1, CRect(20, 0, 32, 12), &parent, 1037));
  EXPECT_TRUE(lampShows(green, 0x808080));
  EXPECT_EQ(Shot(green).at(0, 0), kBlack);  // the pen's border
  EXPECT_TRUE(lampShows(amber, RGB(244, 140, 0)));
  EXPECT_EQ(green.SetState(1), 1U);
  EXPECT_TRUE(lampShows(green, RGB(0, 255, 0)));
  EXPECT_FALSE(app.blinkTimerRunning());
}

TEST_F(SmallControls, BlinkingLampJoinsTheBlinkListOnceAndTogglesOnEachBlink) {
  auto lamp = std::make_unique<CROPButton>();
  ASSERT_TRUE(lamp->CreateROPButton(0, 0, CRect(0, 0, 12, 12), &parent, 1036));
  lamp->SetState(2);
  lamp->SetState(2);
  EXPECT_TRUE(app.blinkTimerRunning());
  EXPECT_TRUE(lampShows(*lamp, RGB(0, 255, 0)));  // starts lit
  app.tickBlink();
  EXPECT_TRUE(lampShows(*lamp, 0x808080));
  app.tickBlink();
  EXPECT_TRUE(lampShows(*lamp, RGB(0, 255, 0)));
  // Leaving state 2 once empties the list: it was listed once.
  lamp->SetState(1);
  EXPECT_FALSE(app.blinkTimerRunning());
  // Destroying a blinking lamp takes it off the list.
  lamp->SetState(2);
  EXPECT_TRUE(app.blinkTimerRunning());
  lamp.reset();
  EXPECT_FALSE(app.blinkTimerRunning());
  app.tickBlink();  // nothing is posted to the gone lamp
}

// --- Gauges ---

TEST_F(SmallControls, GaugeFillsItsLevelInTheFillOrWarnColourAndTheRestGrey) {
  constexpr COLORREF kFill = RGB(0, 0, 255);
  constexpr COLORREF kWarn = RGB(255, 0, 0);
  CGasGauge gauge;
  ASSERT_TRUE(gauge.InitGauge(&parent, CRect(0, 0, 20, 50), 20, 1070));
  EXPECT_FALSE(gauge.IsWindowVisible());
  gauge.ShowWindow(SW_SHOW);
  gauge.SetFillColor(kFill);
  gauge.SetWarnColor(kWarn);
  struct Case {
    UINT level;
    COLORREF top, bottom;  // rows 2 and 47
  };
  const Case cases[] = {
      {150, kFill, kFill},  // capped: full
      {21, kFace, kFill},   // f = 10: rows 40..49 filled
      {20, kFace, kWarn},   // at the warning level
      {10, kFace, kWarn},  {0, kFace, kFace},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level);
    gauge.SetLevel(c.level);
    Shot shot(gauge);
    ASSERT_TRUE(shot.ok);
    EXPECT_EQ(shot.at(10, 2), c.top);
    EXPECT_EQ(shot.at(10, 47), c.bottom);
    EXPECT_EQ(shot.at(0, 25), kBlack);  // every part has the pen's outline
  }
  gauge.SetLevel(21);
  Shot shot(gauge);
  EXPECT_EQ(shot.at(10, 41), kFill);
  EXPECT_EQ(shot.at(10, 38), kFace);
}

}  // namespace
