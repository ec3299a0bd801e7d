#pragma once
// What several framework tests set up alike: a test resource library on the
// search chain, and a plain icon made the way the printer windows make theirs.
#include <gtest/gtest.h>

#include "framework/dc.h"
#include "framework/gdi.h"
#include "framework/image_list.h"
#include "framework/resources.h"
#include "platform/module.h"

namespace wf::fw::testing {

// Joins one of the test resource libraries to the chain for a test case.
class ResourceLibraryTest : public ::testing::Test {
 protected:
  explicit ResourceLibraryTest(const char* name = "wftestres1") : name_(name) {}
  void SetUp() override {
    library = wf::loadModule(name_);
    ASSERT_TRUE(library);
    ASSERT_TRUE(wf::fw::joinResourceChain(library));
  }
  void TearDown() override {
    wf::fw::leaveResourceChain(library);
    wf::freeModule(library);
  }
  HINSTANCE library = nullptr;

 private:
  const char* name_;
};

// A square icon of one colour: drawn into a bitmap, then taken from an image list.
inline HICON solidIcon(int size, COLORREF colour) {
  CDC dc;
  dc.CreateCompatibleDC(nullptr);
  CBitmap picture;
  picture.CreateCompatibleBitmap(&dc, size, size);
  CBitmap* old = dc.SelectObject(&picture);
  dc.FillSolidRect(0, 0, size, size, colour);
  dc.SelectObject(old);
  CImageList images;
  images.Create(size, size, ILC_MASK, 1, 1);
  images.Add(&picture, RGB(255, 0, 255));
  return images.ExtractIcon(0);
}

}  // namespace wf::fw::testing
