#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "framework/dialog.h"
#include "framework/list_ctrl.h"
#include "framework/tree_ctrl.h"
#include "wnd_widget.h"

namespace {

using Cells = std::set<std::pair<int, int>>;  // (item, sub-item)

constexpr UINT kListId = 100;

// The list's parent: answers the list's notifications and records them.
class ListOwner : public CWnd {
 public:
  Cells asked;
  std::vector<int> columnClicks;
  std::vector<std::string> log;
  bool refuseEdit = false;
  BOOL acceptEdit = TRUE;

 protected:
  void OnGetDispInfo(NMHDR* header, LRESULT*) {
    auto* info = reinterpret_cast<NMLVDISPINFO*>(header);
    asked.insert({info->item.iItem, info->item.iSubItem});
    if (info->item.mask & LVIF_TEXT)
      snprintf(info->item.pszText, static_cast<std::size_t>(info->item.cchTextMax), "cell %d.%d",
               info->item.iItem, info->item.iSubItem);
  }
  void OnColumnClick(NMHDR* header, LRESULT*) {
    columnClicks.push_back(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
  }
  void OnBeginEdit(NMHDR* header, LRESULT* result) {
    log.push_back("begin " + std::to_string(reinterpret_cast<NMLVDISPINFO*>(header)->item.iItem));
    *result = refuseEdit;
  }
  void OnEndEdit(NMHDR* header, LRESULT* result) {
    const auto& item = reinterpret_cast<NMLVDISPINFO*>(header)->item;
    log.push_back("end " + std::string(item.pszText ? item.pszText : "(cancelled)"));
    *result = acceptEdit;
  }
  void OnSetDispInfo(NMHDR* header, LRESULT*) {
    log.push_back("owner keeps " + std::string(reinterpret_cast<NMLVDISPINFO*>(header)->item.pszText));
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ListOwner, CWnd)
ON_NOTIFY(LVN_GETDISPINFO, kListId, OnGetDispInfo)
ON_NOTIFY(LVN_COLUMNCLICK, kListId, OnColumnClick)
ON_NOTIFY(LVN_BEGINLABELEDIT, kListId, OnBeginEdit)
ON_NOTIFY(LVN_ENDLABELEDIT, kListId, OnEndEdit)
ON_NOTIFY(LVN_SETDISPINFO, kListId, OnSetDispInfo)
END_MESSAGE_MAP()

class ListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(owner.CreateEx(0, "ListOwner", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 500, 400, 0));
    ASSERT_TRUE(
        list.Create(WS_VISIBLE | LVS_REPORT | LVS_EDITLABELS, CRect(0, 0, 300, 200), &owner, kListId));
    owner.ShowWindow(SW_SHOW);
  }
  // Items whose every cell is the owner's, as a printer window fills them.
  void fill(int count, int columns) {
    for (int c = 0; c < columns; ++c) list.InsertColumn(c, "Column", LVCFMT_LEFT, 80);
    for (int i = 0; i < count; ++i) {
      ASSERT_EQ(list.InsertItem(LVIF_TEXT | LVIF_PARAM, i, LPSTR_TEXTCALLBACK, 0, 0, 0, 1000 + i), i);
      for (int c = 1; c < columns; ++c) list.SetItemText(i, c, LPSTR_TEXTCALLBACK);
    }
  }
  // One paint, as the screen would ask for it.
  Cells paintOnce() {
    owner.asked.clear();
    wf::fw::widgetOf(list.m_hWnd)->grab();
    return owner.asked;
  }
  QWidget* viewport() { return wf::fw::widgetOf(list.m_hWnd)->findChild<QAbstractScrollArea*>()->viewport(); }
  void click(QPoint at, Qt::MouseButton button = Qt::LeftButton,
             Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QMouseEvent press(QEvent::MouseButtonPress, at, viewport()->mapToGlobal(at), button, button, mods);
    QApplication::sendEvent(viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, viewport()->mapToGlobal(at), button, Qt::NoButton,
                        mods);
    QApplication::sendEvent(viewport(), &release);
  }
  QPoint inViewport(CPoint client) {
    return viewport()->mapFrom(wf::fw::widgetOf(list.m_hWnd), QPoint(client.x, client.y));
  }
  QPoint centreOf(int item) {
    CRect r;
    list.GetItemRect(item, &r, LVIR_LABEL);
    return inViewport(CPoint{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
  }

  ListOwner owner;
  CListCtrl list;
};

}  // namespace

TEST_F(ListTest, CallbackTextIsAskedForExactlyTheVisibleCells) {
  fill(100, 4);
  list.SetColumnWidth(2, 0);  // hidden column: never asked for
  const int shown = list.GetCountPerPage();
  ASSERT_GT(shown, 2);
  ASSERT_LT(shown, 100);

  Cells expected;
  CRect client;
  list.GetClientRect(&client);
  for (int i = 0; i < 100; ++i) {
    CRect r;
    list.GetItemRect(i, &r, LVIR_BOUNDS);
    if (r.top < client.bottom && r.bottom > client.top)
      for (int c : {0, 1, 3}) expected.insert({i, c});
  }
  EXPECT_EQ(paintOnce(), expected);
  EXPECT_TRUE(expected.count({0, 0}));
  EXPECT_FALSE(expected.count({99, 0}));
  // Every paint asks again: the control keeps none of the owner's text.
  EXPECT_EQ(paintOnce(), expected);

  // Scrolled to the end the first rows are no longer asked for.
  EXPECT_TRUE(list.EnsureVisible(99, FALSE));
  const Cells scrolled = paintOnce();
  EXPECT_TRUE(scrolled.count({99, 3}));
  EXPECT_FALSE(scrolled.count({0, 0}));
  EXPECT_EQ(list.GetTopIndex(), 100 - shown);

  // Cells with text of their own are never asked for.
  for (int i = 0; i < 100; ++i) list.SetItemText(i, 1, "own");
  for (const auto& cell : paintOnce()) EXPECT_NE(cell.second, 1);
}

TEST_F(ListTest, EachOfTheFourViewsLaysOutAndAsksForItsLabelsOnly) {
  fill(30, 3);
  struct Case {
    DWORD view;
    bool rowsStack;  // item 1 below item 0, else beside it
  } cases[] = {{LVS_REPORT, true}, {LVS_LIST, true}, {LVS_ICON, false}, {LVS_SMALLICON, false}};
  for (const Case& c : cases) {
    list.ModifyStyle(LVS_TYPEMASK, c.view);
    EXPECT_EQ(list.GetStyle() & LVS_TYPEMASK, c.view);
    CRect first, second;
    ASSERT_TRUE(list.GetItemRect(0, &first, LVIR_BOUNDS));
    ASSERT_TRUE(list.GetItemRect(1, &second, LVIR_BOUNDS));
    if (c.rowsStack) {
      EXPECT_EQ(second.top, first.bottom) << c.view;
    } else {
      EXPECT_EQ(second.left, first.right) << c.view;
      EXPECT_EQ(second.top, first.top) << c.view;
    }
    const Cells asked = paintOnce();
    ASSERT_FALSE(asked.empty()) << c.view;
    for (const auto& cell : asked)
      if (c.view != LVS_REPORT) {
        EXPECT_EQ(cell.second, 0) << c.view << ": only labels outside the report view";
      }
    EXPECT_EQ(list.HitTest(CPoint{first.left + 2, first.top + 2}), 0) << c.view;
  }
  EXPECT_FALSE(list.ModifyStyle(LVS_TYPEMASK, LVS_SMALLICON)) << "same view: no change";
}

TEST_F(ListTest, HeaderClickTellsTheColumnAndSortFollowsTheCallback) {
  fill(0, 3);
  for (const char* name : {"Osprey", "kestrel", "Vireo", "Kestrel"})
    list.InsertItem(list.GetItemCount(), name);
  for (int i = 0; i < 4; ++i) list.SetItemData(i, static_cast<DWORD_PTR>(i));
  list.SetItemState(2, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);

  click(QPoint(80 + 40, 5));  // the second column's heading
  click(QPoint(10, 5));
  EXPECT_EQ(owner.columnClicks, (std::vector<int>{1, 0}));

  // Descending by the text the data points to; the data travels with its item.
  struct Sort {
    static int byName(LPARAM a, LPARAM b, LPARAM names) {
      auto* n = reinterpret_cast<const std::vector<std::string>*>(names);
      return QString::fromStdString((*n)[static_cast<std::size_t>(b)])
          .compare(QString::fromStdString((*n)[static_cast<std::size_t>(a)]), Qt::CaseInsensitive);
    }
  };
  const std::vector<std::string> names{"Osprey", "kestrel", "Vireo", "Kestrel"};
  ASSERT_TRUE(list.SortItems(&Sort::byName, reinterpret_cast<DWORD_PTR>(&names)));
  std::vector<std::string> order;
  for (int i = 0; i < 4; ++i) order.push_back(list.GetItemText(i, 0).str());
  EXPECT_EQ(order, (std::vector<std::string>{"Vireo", "Osprey", "kestrel", "Kestrel"}))
      << "ties keep their order";
  EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 0) << "the selection moved with Vireo";
  EXPECT_EQ(list.GetItemData(0), 2u);
}

TEST_F(ListTest, LabelEditIsAcceptedRefusedOrCancelled) {
  list.InsertColumn(0, "Name", LVCFMT_LEFT, 150);
  list.InsertItem(0, "Laser 1");
  list.InsertItem(1, LPSTR_TEXTCALLBACK);
  auto typeAndPress = [&](const char* text, int key) {
    CEdit* edit = list.GetEditControl();
    ASSERT_NE(edit, nullptr);
    edit->SetWindowText(text);
    QWidget* w = wf::fw::widgetOf(edit->m_hWnd);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w->focusProxy() ? w->focusProxy() : w, &press);
  };

  struct Case {
    const char* what;
    int item;
    BOOL accept;
    int key;
    const char* label;  // afterwards
    const char* lastLog;
  } cases[] = {
      {"accepted", 0, TRUE, Qt::Key_Return, "Front Desk", "end Front Desk"},
      {"refused", 0, FALSE, Qt::Key_Return, "Front Desk", "end Back Office"},
      {"cancelled", 0, TRUE, Qt::Key_Escape, "Front Desk", "end (cancelled)"},
      {"owner's label", 1, TRUE, Qt::Key_Return, "cell 1.0", "owner keeps Annex"},
  };
  for (const Case& c : cases) {
    owner.acceptEdit = c.accept;
    ASSERT_NE(list.EditLabel(c.item), nullptr) << c.what;
    typeAndPress(c.item == 1 ? "Annex" : c.accept ? "Front Desk" : "Back Office", c.key);
    EXPECT_EQ(list.GetEditControl(), nullptr) << c.what;
    EXPECT_EQ(owner.log.back(), c.lastLog) << c.what;
    EXPECT_EQ(list.GetItemText(c.item, 0), CString(c.label)) << c.what;
  }

  owner.refuseEdit = true;
  owner.log.clear();
  EXPECT_EQ(list.EditLabel(0), nullptr);
  EXPECT_EQ(owner.log, (std::vector<std::string>{"begin 0"})) << "no end without a beginning";
  EXPECT_EQ(list.EditLabel(7), nullptr);
}

TEST_F(ListTest, SelectionFollowsStateCallsAndClicks) {
  fill(6, 1);
  list.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
  list.SetItemState(4, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  EXPECT_EQ(list.GetSelectedCount(), 2u);
  std::vector<int> selected;
  for (POSITION p = list.GetFirstSelectedItemPosition(); p;) selected.push_back(list.GetNextSelectedItem(p));
  EXPECT_EQ(selected, (std::vector<int>{1, 4}));
  list.SetItemState(2, LVIS_FOCUSED, LVIS_FOCUSED);
  EXPECT_EQ(list.GetNextItem(-1, LVNI_FOCUSED), 2) << "one focus only";
  EXPECT_EQ(list.GetItemState(4, LVIS_FOCUSED), 0u);

  click(centreOf(3));  // a plain click selects that item alone
  EXPECT_EQ(list.GetSelectedCount(), 1u);
  EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED | LVNI_FOCUSED), 3);
  click(centreOf(5), Qt::LeftButton, Qt::ControlModifier);
  EXPECT_EQ(list.GetSelectedCount(), 2u);
  click(centreOf(5), Qt::LeftButton, Qt::ControlModifier);
  EXPECT_EQ(list.GetSelectedCount(), 1u);
  click(QPoint(5, viewport()->height() - 2));  // below the items
  EXPECT_EQ(list.GetSelectedCount(), 0u);

  list.ModifyStyle(0, LVS_SINGLESEL);
  list.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
  list.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
  EXPECT_EQ(list.GetSelectedCount(), 1u);

  LVFINDINFO find;
  find.flags = LVFI_PARAM;
  find.lParam = 1003;
  EXPECT_EQ(list.FindItem(&find), 3);
  find.lParam = 42;
  EXPECT_EQ(list.FindItem(&find), -1);
  EXPECT_TRUE(list.DeleteItem(0));
  EXPECT_EQ(list.GetItemData(0), 1001u);
  EXPECT_FALSE(list.DeleteItem(5));
  EXPECT_TRUE(list.DeleteAllItems());
  EXPECT_EQ(list.GetItemCount(), 0);
}

TEST(CommonControls, TemplatesMakeListAndTreeControlsAndTheTreeKeepsItsItems) {
  HINSTANCE library = wf::loadModule("wftestres3");
  ASSERT_TRUE(library);
  wf::fw::joinResourceChain(library);
  {
    CDialog dlg(310);
    ASSERT_TRUE(dlg.Create());
    auto* list = dynamic_cast<CListCtrl*>(dlg.GetDlgItem(3101));
    auto* tree = dynamic_cast<CTreeCtrl*>(dlg.GetDlgItem(3102));
    ASSERT_NE(list, nullptr);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(list->GetStyle() & LVS_TYPEMASK, LVS_REPORT);

    CImageList images;
    ASSERT_TRUE(images.Create(16, 16, ILC_MASK, 1, 1));
    EXPECT_EQ(tree->SetImageList(&images, TVSIL_NORMAL), nullptr);
    HTREEITEM tray = tree->InsertItem("Tray 1", 2, 2);
    tree->InsertItem("Size : Letter", 4, 4, tray);
    tree->InsertItem("Type : Plain", 4, 4, tray, TVI_LAST);
    tree->InsertItem("Duplex unit", 9, 9);
    EXPECT_EQ(tree->GetCount(), 4u);
    HTREEITEM child = tree->GetChildItem(tray);
    EXPECT_EQ(tree->GetItemText(child), CString("Size : Letter"));
    EXPECT_EQ(tree->GetItemText(tree->GetNextSiblingItem(child)), CString("Type : Plain"));
    EXPECT_EQ(tree->GetParentItem(child), tray);
    int image = 0, selected = 0;
    ASSERT_TRUE(tree->GetItemImage(tree->GetNextSiblingItem(tray), image, selected));
    EXPECT_EQ(image, 9);
    EXPECT_EQ(tree->InsertItem("orphan", 0, 0, reinterpret_cast<HTREEITEM>(&images)), nullptr);

    EXPECT_TRUE(tree->DeleteItem(TVI_ROOT));
    EXPECT_EQ(tree->GetCount(), 0u);
    EXPECT_EQ(tree->GetRootItem(), nullptr);
    EXPECT_FALSE(tree->DeleteItem(child)) << "gone with its parent";
    tree->InsertItem("Memory: 8 MB", 6, 6);
    EXPECT_EQ(tree->GetItemText(tree->GetRootItem()), CString("Memory: 8 MB"));
  }
  wf::fw::leaveResourceChain(library);
  wf::freeModule(library);
}
