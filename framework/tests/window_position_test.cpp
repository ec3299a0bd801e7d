#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>

#include <vector>

#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/frame_wnd.h"
#include "gdi_data.h"
#include "gui_pump.h"
#include "test_resources.h"
#include "wnd_widget.h"

namespace {

using wf::fw::testing::pumpUntil;

QWidget* widgetOf(const CWnd& wnd) {
  return wf::fw::widgetOf(wnd.m_hWnd);
}

CRect windowRect(const CWnd& wnd) {
  CRect r;
  wnd.GetWindowRect(&r);
  return r;
}

// A child's rectangle in its parent's client coordinates, as MoveWindow takes it.
CRect placeInParent(const CWnd& child) {
  CRect r = windowRect(child);
  CPoint topLeft{r.left, r.top};
  child.GetParent()->ScreenToClient(&topLeft);
  return CRect(topLeft, CSize{r.Width(), r.Height()});
}

class WindowPosition : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(top.CreateEx(0, "PosTest", "top", WS_OVERLAPPEDWINDOW, 10, 20, 300, 200, 0));
    ASSERT_TRUE(first.CreateEx(0, "PosChild", "", WS_CHILD | WS_VISIBLE, 5, 5, 50, 40, top.m_hWnd, 1));
    ASSERT_TRUE(second.CreateEx(0, "PosChild", "", WS_CHILD | WS_VISIBLE, 30, 30, 50, 40, top.m_hWnd, 2));
  }
  CWnd top, first, second;
};

TEST_F(WindowPosition, TheWindowRectangleIsTheOuterFrameAndMovingToItChangesNothing) {
  EXPECT_EQ(windowRect(top), CRect(10, 20, 310, 220));
  top.ShowWindow(SW_SHOW);
  ASSERT_TRUE(pumpUntil([&] { return widgetOf(top)->isVisible(); }));
  for (int i = 0; i < 3; ++i) {
    CRect r = windowRect(top);
    top.MoveWindow(&r);
  }
  EXPECT_EQ(windowRect(top), CRect(10, 20, 310, 220));

  // The client area sits inside the frame, and CalcWindowRect gives the frame back.
  CRect client;
  top.GetClientRect(&client);
  EXPECT_LT(client.Width(), 300);  // the offscreen frame has edges
  CPoint corner{0, 0};
  top.ClientToScreen(&corner);
  CRect around(corner, CSize{client.Width(), client.Height()});
  top.CalcWindowRect(&around);
  EXPECT_EQ(around, CRect(10, 20, 310, 220));

  for (int i = 0; i < 3; ++i) second.MoveWindow(CRect(placeInParent(second)));
  EXPECT_EQ(placeInParent(second), CRect(30, 30, 80, 70));
}

TEST_F(WindowPosition, SetWindowPosKeepsWhatItsFlagsKeep) {
  struct Case {
    UINT flags;
    int x, y, cx, cy;
    CRect expected;
  } cases[] = {
      {SWP_NOZORDER | SWP_NOACTIVATE, 40, 50, 200, 100, CRect(40, 50, 240, 150)},
      {SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE, 60, 70, 1, 1, CRect(60, 70, 260, 170)},
      {SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE, 0, 0, 120, 90, CRect(60, 70, 180, 160)},
      {SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE, 5, 5, 5, 5, CRect(60, 70, 180, 160)},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(top.SetWindowPos(HWND_TOP, c.x, c.y, c.cx, c.cy, c.flags));
    EXPECT_EQ(windowRect(top), c.expected) << c.flags;
  }
  // A child in its parent's client coordinates.
  first.SetWindowPos(HWND_TOP, 12, 14, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  EXPECT_EQ(placeInParent(first), CRect(12, 14, 62, 54));
  // A window without a widget has no place to change.
  CWnd hidden;
  EXPECT_FALSE(hidden.SetWindowPos(HWND_TOP, 0, 0, 1, 1, 0));
}

TEST_F(WindowPosition, ZOrderTopmostAndActivation) {
  QWidget* parent = widgetOf(top);
  auto last = [&] { return parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).last(); };
  ASSERT_EQ(last(), widgetOf(second));
  first.BringWindowToTop();
  EXPECT_EQ(last(), widgetOf(first));
  first.SetWindowPos(second.m_hWnd, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);  // behind `second`
  EXPECT_EQ(last(), widgetOf(second));
  second.SetWindowPos(HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
  EXPECT_EQ(last(), widgetOf(second));

  top.ShowWindow(SW_SHOW);
  auto topmost = [&] { return parent->windowFlags().testFlag(Qt::WindowStaysOnTopHint); };
  top.SetWindowPos(HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EXPECT_TRUE(topmost());
  EXPECT_TRUE(parent->isVisible());  // still shown after the flag change
  EXPECT_EQ(windowRect(top), CRect(10, 20, 310, 220));
  top.SetWindowPos(HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EXPECT_FALSE(topmost());
  EXPECT_TRUE(parent->isVisible());

  // Shown without activation (the offscreen window system activates every
  // window it shows, so only the request is visible here); the foreground
  // and top calls activate.
  CWnd other;
  ASSERT_TRUE(other.CreateEx(0, "PosTest", "other", WS_OVERLAPPEDWINDOW, 400, 20, 200, 100, 0));
  other.SetWindowPos(HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOACTIVATE);
  EXPECT_TRUE(other.IsWindowVisible());
  EXPECT_TRUE(widgetOf(other)->testAttribute(Qt::WA_ShowWithoutActivating));
  ASSERT_TRUE(top.SetForegroundWindow());
  EXPECT_TRUE(pumpUntil([&] { return QApplication::activeWindow() == parent; }));
  other.BringWindowToTop();
  EXPECT_TRUE(pumpUntil([&] { return QApplication::activeWindow() == widgetOf(other); }));
}

// Records the system commands that reach it; may keep the key menu to itself.
class KeyMenuFrame : public CFrameWnd {
 public:
  std::vector<UINT> commands;
  bool keepKeyMenu = false;
  void OnSysCommand(UINT id, LPARAM lParam) {
    commands.push_back(id);
    if (!(keepKeyMenu && (id & 0xFFF0) == SC_KEYMENU)) CFrameWnd::OnSysCommand(id, lParam);
  }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(KeyMenuFrame, CFrameWnd)
ON_WM_SYSCOMMAND()
END_MESSAGE_MAP()

void key(QWidget* target, QEvent::Type type, int k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QKeyEvent e(type, k, modifiers);
  QApplication::sendEvent(target, &e);
}

class KeyMenu : public wf::fw::testing::ResourceLibraryTest {
 protected:
  void SetUp() override {
    ResourceLibraryTest::SetUp();
    if (HasFatalFailure()) return;
    frame = new KeyMenuFrame;
    ASSERT_TRUE(frame->Create(nullptr, "keys", WS_OVERLAPPEDWINDOW, CRect(0, 0, 300, 200), nullptr,
                              MAKEINTRESOURCE(128)));
    ASSERT_TRUE(child.CreateEx(0, "KeyChild", "", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, frame->m_hWnd, 5));
    frame->ShowWindow(SW_SHOW);
    bar = widgetOf(*frame)->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
  }
  void TearDown() override {
    child.DestroyWindow();
    if (frame->m_hWnd) frame->DestroyWindow();  // deletes the frame
    ResourceLibraryTest::TearDown();
  }
  KeyMenuFrame* frame = nullptr;
  CWnd child;
  QMenuBar* bar = nullptr;
};

TEST_F(KeyMenu, F10OrAloneAltAsksTheTopLevelWindowWhichOpensItsMenuBar) {
  QWidget* inner = widgetOf(child);
  key(inner, QEvent::KeyPress, Qt::Key_F10);
  EXPECT_EQ(frame->commands, std::vector<UINT>{SC_KEYMENU});
  EXPECT_NE(bar->activeAction(), nullptr);
  bar->setActiveAction(nullptr);

  key(inner, QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
  key(inner, QEvent::KeyRelease, Qt::Key_Alt);
  EXPECT_EQ(frame->commands, (std::vector<UINT>{SC_KEYMENU, SC_KEYMENU}));

  // Alt used with another key is no menu access.
  key(inner, QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
  key(inner, QEvent::KeyPress, Qt::Key_X, Qt::AltModifier);
  key(inner, QEvent::KeyRelease, Qt::Key_Alt);
  EXPECT_EQ(frame->commands.size(), 2u);
}

TEST_F(KeyMenu, AWindowThatKeepsTheKeyMenuLeavesTheBarClosed) {
  frame->keepKeyMenu = true;
  key(widgetOf(*frame), QEvent::KeyPress, Qt::Key_F10);
  EXPECT_EQ(frame->commands, std::vector<UINT>{SC_KEYMENU});
  EXPECT_EQ(bar->activeAction(), nullptr);
}

class Pictures : public wf::fw::testing::ResourceLibraryTest {
 protected:
  void SetUp() override {
    ResourceLibraryTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(dlg.Create(210));
  }
  void TearDown() override {
    dlg.DestroyWindow();
    ResourceLibraryTest::TearDown();
  }
  CStatic* statik(int id) { return static_cast<CStatic*>(dlg.GetDlgItem(id)); }
  static QImage shown(CStatic* s) {
    auto* label = qobject_cast<QLabel*>(wf::fw::widgetOf(s->m_hWnd)->focusProxy());
    return label ? label->pixmap().toImage().convertToFormat(QImage::Format_ARGB32) : QImage();
  }
  static QImage bitmapImage(HBITMAP b) {
    return wf::fw::gdiData(b)->image.convertToFormat(QImage::Format_ARGB32);
  }
  CDialog dlg;
};

TEST_F(Pictures, TemplatePicturesAreLoadedAndDrawn) {
  HICON icon = statik(1101)->GetIcon();
  ASSERT_NE(icon, nullptr);
  EXPECT_FALSE(shown(statik(1101)).isNull());
  EXPECT_EQ(shown(statik(1101)), wf::fw::iconImage(icon).convertToFormat(QImage::Format_ARGB32));
  for (int id : {1102, 1103}) {
    HBITMAP bitmap = statik(id)->GetBitmap();
    ASSERT_NE(bitmap, nullptr) << id;
    EXPECT_EQ(shown(statik(id)), bitmapImage(bitmap)) << id;
  }
  auto* text = qobject_cast<QLabel*>(wf::fw::widgetOf(statik(1104)->m_hWnd)->focusProxy());
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->text(), QString("Text"));
}

TEST_F(Pictures, SetPicturesAreShownAndThePreviousOneReturned) {
  QImage red(8, 8, QImage::Format_ARGB32);
  red.fill(Qt::red);
  HICON mine = wf::fw::newIcon(red);
  HICON loaded = statik(1101)->GetIcon();
  EXPECT_EQ(statik(1101)->SetIcon(mine), loaded);
  EXPECT_EQ(shown(statik(1101)), red);
  EXPECT_EQ(reinterpret_cast<HICON>(statik(1101)->SendMessage(STM_SETICON, reinterpret_cast<WPARAM>(loaded))),
            mine);
  EXPECT_EQ(shown(statik(1101)), wf::fw::iconImage(loaded).convertToFormat(QImage::Format_ARGB32));

  CBitmap blue;
  ASSERT_TRUE(blue.CreateBitmap(6, 4, 1, 32, nullptr));
  HBITMAP before = statik(1102)->GetBitmap();
  EXPECT_EQ(reinterpret_cast<HBITMAP>(statik(1102)->SendMessage(
                STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(blue.GetSafeHandle()))),
            before);
  EXPECT_EQ(statik(1102)->GetBitmap(), blue.GetSafeHandle());
  EXPECT_EQ(shown(statik(1102)).size(), QSize(6, 4));
  statik(1102)->SetBitmap(nullptr);  // clears the picture before `blue` goes
  EXPECT_TRUE(shown(statik(1102)).isNull());
  statik(1101)->SetIcon(nullptr);
  DestroyIcon(mine);
}

}  // namespace
