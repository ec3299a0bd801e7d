// Mouse and key input reaching a control's message map before the control's
// own handling, the process's top-level windows and their owners, and the
// printer property sheet of the shell.
#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/list_ctrl.h"
#include "framework/printer_properties.h"
#include "framework/virtual_keys.h"
#include "platform/spooler.h"
#include "wnd_widget.h"

namespace {

struct Input {
  UINT message;
  UINT flags;  // MK_ flags, or the key
  CPoint point;
};

// Records each input message; passes it on to the control only when asked to.
class RecordingList : public CListCtrl {
 public:
  std::vector<Input> inputs;
  bool passOn = true;

 protected:
  void record(UINT message, UINT flags, CPoint point = {}) {
    inputs.push_back({message, flags, point});
    if (passOn) Default();
  }
  void OnRButtonDown(UINT flags, CPoint point) { record(WM_RBUTTONDOWN, flags, point); }
  void OnLButtonDown(UINT flags, CPoint point) { record(WM_LBUTTONDOWN, flags, point); }
  void OnLButtonDblClk(UINT flags, CPoint point) { record(WM_LBUTTONDBLCLK, flags, point); }
  void OnChar(UINT ch, UINT, UINT) { record(WM_CHAR, ch); }
  void OnKeyDown(UINT key, UINT, UINT) { record(WM_KEYDOWN, key); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(RecordingList, CListCtrl)
ON_WM_RBUTTONDOWN()
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONDBLCLK()
ON_WM_CHAR()
ON_WM_KEYDOWN()
END_MESSAGE_MAP()

class InputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(owner.CreateEx(0, "InputOwner", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 500, 400, 0));
    ASSERT_TRUE(list.Create(WS_VISIBLE | LVS_REPORT | LVS_EDITLABELS, CRect(0, 0, 300, 200), &owner, 100));
    owner.ShowWindow(SW_SHOW);
    list.InsertColumn(0, "Name", LVCFMT_LEFT, 150);
    for (const char* name : {"first", "second", "third"}) list.InsertItem(list.GetItemCount(), name);
  }
  QWidget* viewport() { return wf::fw::widgetOf(list.m_hWnd)->findChild<QAbstractScrollArea*>()->viewport(); }
  CPoint centreOf(int item) {
    CRect r;
    list.GetItemRect(item, &r, LVIR_LABEL);
    return CPoint{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }
  QPoint inViewport(CPoint client) {
    return viewport()->mapFrom(wf::fw::widgetOf(list.m_hWnd), QPoint(client.x, client.y));
  }
  void mouse(QEvent::Type type, CPoint at, Qt::MouseButton button, Qt::KeyboardModifiers mods) {
    const QPoint p = inViewport(at);
    QMouseEvent event(type, p, viewport()->mapToGlobal(p), button, button, mods);
    QApplication::sendEvent(viewport(), &event);
  }
  void key(int qtKey, const QString& text = {}) {
    QWidget* w = wf::fw::widgetOf(list.m_hWnd);
    QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier, text);
    QApplication::sendEvent(w->focusProxy() ? w->focusProxy() : w, &press);
  }

  CWnd owner;
  RecordingList list;
};

}  // namespace

TEST_F(InputTest, AClickReachesTheMapWithItsKeysAndPointAndSelectsOnlyThroughDefault) {
  const CPoint at = centreOf(1);
  mouse(QEvent::MouseButtonPress, at, Qt::RightButton, Qt::ControlModifier);
  ASSERT_EQ(list.inputs.size(), 1u);
  EXPECT_EQ(list.inputs[0].message, WM_RBUTTONDOWN);
  EXPECT_EQ(list.inputs[0].flags, MK_RBUTTON | MK_CONTROL);
  EXPECT_EQ(list.inputs[0].point.x, at.x);
  EXPECT_EQ(list.inputs[0].point.y, at.y);
  EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 1) << "the control's own handling selected it";

  list.passOn = false;
  mouse(QEvent::MouseButtonPress, centreOf(2), Qt::RightButton, Qt::ShiftModifier);
  EXPECT_EQ(list.inputs.back().flags, MK_RBUTTON | MK_SHIFT);
  EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 1) << "without the default the selection stays";

  mouse(QEvent::MouseButtonDblClick, centreOf(0), Qt::LeftButton, Qt::NoModifier);
  EXPECT_EQ(list.inputs.back().message, WM_LBUTTONDBLCLK);
  EXPECT_EQ(list.inputs.back().flags, MK_LBUTTON);

  mouse(QEvent::MouseButtonPress, centreOf(2), Qt::LeftButton, Qt::ShiftModifier);
  EXPECT_EQ(list.inputs.back().message, WM_LBUTTONDOWN);
  EXPECT_EQ(list.inputs.back().flags, MK_LBUTTON | MK_SHIFT);
  EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 1) << "a left click selects only through the default";
  list.passOn = true;
  mouse(QEvent::MouseButtonPress, centreOf(2), Qt::LeftButton, Qt::NoModifier);
  EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 2);
}

TEST_F(InputTest, KeysComeAsKeyDownThenCharacterAndF2EditsOnlyThroughDefault) {
  list.SetItemState(0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
  key(Qt::Key_Return, "\r");
  key(Qt::Key_Delete);
  key(Qt::Key_A, "a");
  std::vector<std::pair<UINT, UINT>> seen;
  for (const Input& input : list.inputs) seen.emplace_back(input.message, input.flags);
  EXPECT_EQ(seen, (std::vector<std::pair<UINT, UINT>>{{WM_KEYDOWN, VK_RETURN},
                                                      {WM_CHAR, '\r'},
                                                      {WM_KEYDOWN, VK_DELETE},
                                                      {WM_KEYDOWN, 'A'},
                                                      {WM_CHAR, 'a'}}));
  list.passOn = false;
  key(Qt::Key_F2);
  EXPECT_EQ(list.GetEditControl(), nullptr);
  list.passOn = true;
  key(Qt::Key_F2);
  EXPECT_NE(list.GetEditControl(), nullptr);
}

TEST(TopLevelWindows, NewestFirstAndOwnedThroughAChildByItsWindow) {
  CWnd frame, child, dialog;
  ASSERT_TRUE(frame.CreateEx(0, "OwnerFrame", "frame", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, 0));
  ASSERT_TRUE(child.CreateEx(0, "OwnerChild", "child", WS_CHILD, 0, 0, 10, 10, frame.m_hWnd, 5));
  ASSERT_TRUE(dialog.CreateEx(0, "OwnedDialog", "dialog", WS_POPUP, 0, 0, 50, 50, child.m_hWnd));
  const std::vector<HWND> windows = GetTopLevelWindows();
  auto at = [&](HWND hwnd) { return std::find(windows.begin(), windows.end(), hwnd) - windows.begin(); };
  ASSERT_LT(at(dialog.m_hWnd), static_cast<std::ptrdiff_t>(windows.size()));
  EXPECT_LT(at(dialog.m_hWnd), at(frame.m_hWnd));
  EXPECT_EQ(at(child.m_hWnd), static_cast<std::ptrdiff_t>(windows.size())) << "children are not top-level";
  EXPECT_EQ(GetWindowOwner(dialog.m_hWnd), frame.m_hWnd);
  EXPECT_EQ(GetWindowOwner(frame.m_hWnd), 0u);
  EXPECT_EQ(GetWindowParent(child.m_hWnd), frame.m_hWnd);
  EXPECT_EQ(GetWindowParent(dialog.m_hWnd), 0u);
}

TEST(PrinterPropertiesSheet, ShowsTheOpenPrintersNamePortAndDriver) {
  wf::spool::Spooler& spooler = wf::spool::spooler();
  spooler.addPort("LPT7:");
  spooler.addDriver("Sheet Test Driver", "SHEET.DRV", "Plain Port Monitor");
  spooler.addPrinter("Sheet Test Printer", "LPT7:", "Sheet Test Driver");
  wf::spool::PrinterHandle handle = 0;
  ASSERT_EQ(spooler.openPrinter("Sheet Test Printer", handle), wf::spool::kSuccess);
  wf::fw::ScriptedPrinterProperties sheets;
  EXPECT_TRUE(PrinterProperties(42, reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(handle))));
  spooler.closePrinter(handle);
  EXPECT_FALSE(PrinterProperties(42, reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(handle))));
  const auto calls = sheets.calls();
  ASSERT_EQ(calls.size(), 1u) << "a closed handle shows nothing";
  EXPECT_EQ(calls[0].parent, 42u);
  EXPECT_EQ(calls[0].name, "Sheet Test Printer");
  EXPECT_EQ(calls[0].port, "LPT7:");
  EXPECT_EQ(calls[0].driver, "Sheet Test Driver");
}
