// Image lists cut from bitmap strips with a mask colour, and icons taken from them.
#include <gtest/gtest.h>

#include "framework/image_list.h"

namespace {

constexpr COLORREF kMask = RGB(255, 0, 255);
constexpr COLORREF kImageRed = RGB(255, 0, 0);
constexpr COLORREF kImageBlue = RGB(0, 0, 255);
constexpr COLORREF kImageWhite = RGB(255, 255, 255);

// A 64x32 strip: left image red with a mask-coloured corner, right image blue.
void makeStrip(CBitmap& strip) {
  CDC dc;
  dc.CreateCompatibleDC(nullptr);
  strip.CreateCompatibleBitmap(&dc, 64, 32);
  CBitmap* old = dc.SelectObject(&strip);
  dc.FillSolidRect(0, 0, 32, 32, kImageRed);
  dc.FillSolidRect(0, 0, 4, 4, kMask);
  dc.FillSolidRect(32, 0, 32, 32, kImageBlue);
  dc.SelectObject(old);
}

TEST(ImageList, StripWithMaskGivesTwoImagesAndTheFirstIndex) {
  CBitmap strip;
  makeStrip(strip);
  CImageList list;
  ASSERT_TRUE(list.Create(32, 32, ILC_COLOR24 | ILC_MASK, 2, 2));
  EXPECT_EQ(list.Add(&strip, kMask), 0);
  EXPECT_EQ(list.GetImageCount(), 2);
  EXPECT_EQ(list.Add(&strip, kMask), 2);  // a second strip follows the first
  EXPECT_EQ(list.GetImageCount(), 4);

  // Drawn over white, the masked corner lets the white through.
  CDC dc;
  dc.CreateCompatibleDC(nullptr);
  CBitmap target;
  target.CreateCompatibleBitmap(&dc, 64, 32);
  CBitmap* old = dc.SelectObject(&target);
  dc.FillSolidRect(0, 0, 64, 32, kImageWhite);
  EXPECT_TRUE(list.Draw(&dc, 0, {0, 0}, ILD_TRANSPARENT));
  EXPECT_TRUE(list.Draw(&dc, 1, {32, 0}, ILD_NORMAL));
  EXPECT_EQ(dc.GetPixel(1, 1), kImageWhite);
  EXPECT_EQ(dc.GetPixel(10, 10), kImageRed);
  EXPECT_EQ(dc.GetPixel(33, 1), kImageBlue);
  EXPECT_FALSE(list.Draw(&dc, 4, {0, 0}, ILD_NORMAL));
  dc.SelectObject(old);
}

TEST(ImageList, WithoutMaskFlagTheMaskColourStays) {
  CBitmap strip;
  makeStrip(strip);
  CImageList list;
  list.Create(32, 32, ILC_COLOR24, 0, 1);
  ASSERT_EQ(list.Add(&strip, kMask), 0);
  HICON icon = list.ExtractIcon(0);
  ASSERT_NE(icon, nullptr);
  CDC dc;
  dc.CreateCompatibleDC(nullptr);
  CBitmap target;
  target.CreateCompatibleBitmap(&dc, 32, 32);
  CBitmap* old = dc.SelectObject(&target);
  dc.DrawIcon(0, 0, icon);
  EXPECT_EQ(dc.GetPixel(1, 1), kMask);
  dc.SelectObject(old);
  DestroyIcon(icon);
}

TEST(ImageList, IconsAreIndependentValues) {
  CBitmap strip;
  makeStrip(strip);
  CImageList list;
  list.Create(32, 32, ILC_MASK, 0, 1);
  list.Add(&strip, kMask);
  const std::size_t before = wf::fw::liveIconCount();
  HICON first = list.ExtractIcon(1);
  HICON second = list.ExtractIcon(1);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(wf::fw::liveIconCount(), before + 2);
  EXPECT_NE(first, second);
  EXPECT_EQ(GetIconSize(first).cx, 32);
  EXPECT_TRUE(DestroyIcon(first));
  EXPECT_FALSE(DestroyIcon(first));
  EXPECT_EQ(GetIconSize(second).cy, 32);  // unaffected by the other's end
  // An icon comes back into a list of another size scaled to it.
  CImageList small;
  small.Create(16, 16, ILC_MASK, 0, 1);
  EXPECT_EQ(small.Add(second), 0);
  HICON scaled = small.ExtractIcon(0);
  EXPECT_EQ(GetIconSize(scaled).cx, 16);
  DestroyIcon(second);
  DestroyIcon(scaled);
  EXPECT_EQ(list.ExtractIcon(2), nullptr);
  EXPECT_EQ(list.ExtractIcon(-1), nullptr);
  EXPECT_EQ(wf::fw::liveIconCount(), before) << "every icon made here is destroyed";
}

TEST(ImageList, StripsNarrowerThanAnImageAndUncreatedListsAddNothing) {
  CBitmap narrow;
  narrow.CreateBitmap(20, 32, 1, 32, nullptr);
  CImageList list;
  EXPECT_EQ(list.Add(&narrow, kMask), -1);  // not created
  list.Create(32, 32, ILC_MASK, 0, 1);
  EXPECT_EQ(list.Add(&narrow, kMask), -1);
  EXPECT_EQ(list.Add(static_cast<CBitmap*>(nullptr), kMask), -1);
  EXPECT_EQ(list.GetImageCount(), 0);
  EXPECT_TRUE(list.DeleteImageList());
  EXPECT_EQ(list.GetSafeHandle(), nullptr);
}

}  // namespace
