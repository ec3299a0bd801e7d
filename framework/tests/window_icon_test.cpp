// Pictures from the resource libraries, and a top-level window found by its
// class from another process whose icon WM_SETICON changes.
#include <gtest/gtest.h>

#include <QIcon>
#include <QWidget>

#include <cstdio>

#include "child_process.h"
#include "framework/wnd.h"
#include "gui_pump.h"
#include "test_resources.h"
#include "window_client.h"
#include "wnd_widget.h"

namespace {

class ResourcePictures : public wf::fw::testing::ResourceLibraryTest {};

TEST_F(ResourcePictures, BitmapsAndIconsLoadByNumberAndName) {
  CBitmap bitmap;
  ASSERT_TRUE(bitmap.LoadBitmap(305));
  EXPECT_EQ(bitmap.GetSize().cx, 16);
  EXPECT_EQ(bitmap.GetSize().cy, 16);
  CBitmap named;
  EXPECT_TRUE(named.LoadBitmap("FEATURES_IMAGELIST"));
  CBitmap missing;
  EXPECT_FALSE(missing.LoadBitmap(999));
  EXPECT_EQ(missing.m_hObject, nullptr);

  HICON icon = LoadIcon(nullptr, 104);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(GetIconSize(icon).cx, 16);
  EXPECT_EQ(LoadIcon(library, 105), nullptr);
  DestroyIcon(icon);
}

TEST(WindowIcon, TopLevelWindowIsFoundByClassFromAnotherProcessAndShowsTheIconItIsSent) {
  CWnd frame;
  ASSERT_TRUE(frame.CreateEx(0, "WrenfieldTestFrame", "Frame", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, 0));
  wf::testing::ChildProcess child;
  wf::testing::WindowClient windows(child);
  EXPECT_EQ(windows.find("WrenfieldTestFrame"), frame.m_hWnd);
  EXPECT_EQ(windows.find("NoSuchClass"), 0u);

  // A red icon taken from an image list, posted as the big icon.
  HICON red = wf::fw::testing::solidIcon(32, RGB(255, 0, 0));
  ASSERT_TRUE(frame.PostMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(red)));
  QWidget* widget = wf::fw::widgetOf(frame.m_hWnd);
  ASSERT_NE(widget, nullptr);
  ASSERT_TRUE(wf::fw::testing::pumpUntil([&] { return !widget->windowIcon().isNull(); }));
  EXPECT_EQ(frame.GetIcon(TRUE), red);
  EXPECT_EQ(widget->windowIcon().pixmap(32, 32).toImage().pixelColor(16, 16), QColor(255, 0, 0));
  // The previous icon comes back from the next change.
  EXPECT_EQ(frame.SetIcon(nullptr, TRUE), red);
  EXPECT_TRUE(widget->windowIcon().isNull());
  frame.DestroyWindow();
  DestroyIcon(red);
}

}  // namespace
