// The status page of a scripted printer: the picture with its options, the
// mini panel, the feature tree, Continue and Reset, and the panel workers.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/dc.h"
#include "notebook_fixture.h"
#include "window_shot.h"

namespace wf::testing {
namespace {

constexpr COLORREF kGreen = RGB(0, 255, 0);

using Shot = WindowShot;
using Loaded = LoadedBitmap;

class StatusPageTest : public NotebookFixture {
 protected:
  static ScriptedPrtObj* printer(CWFPrinterIcon* icon) {
    return static_cast<ScriptedPrtObj*>(icon->GetPrinterObj());
  }
  CPrtOStatus* open(CWFPrinterIcon* icon) {
    EXPECT_TRUE(icon->OpenPrinterA(0));
    lastWork_ = runWork();
    pump();
    return dynamic_cast<CPrtOStatus*>(icon->GetOpenFrame()->GetNotebook()->GetPage(0));
  }
  static std::vector<std::string> named(const std::vector<std::pair<std::string, int>>& work) {
    std::vector<std::string> out;
    for (const auto& [label, priority] : work) out.push_back(label.substr(label.find("] ") + 2));
    return out;
  }
  static int count(const std::vector<std::string>& calls, const std::string& name) {
    return static_cast<int>(std::count(calls.begin(), calls.end(), name));
  }
  std::vector<std::pair<std::string, int>> lastWork_;
};

TEST_F(StatusPageTest, AFirstTrayOf500ShowsThePrinterWithItsTrayAndCombinedPicture) {
  CWFPrinterIcon* icon = makeIcon(41, {});
  printer(icon)->deviceChars.model = "Quorra 1210";
  printer(icon)->inputBins = {{1, 7103, 500, "Tray 1", 1, 1}};
  CPrtOStatus* page = open(icon);
  ASSERT_NE(page, nullptr);
  CString model;
  page->GetDlgItem(1006)->GetWindowText(model);
  EXPECT_EQ(model, icon->GetModel());

  CWnd* picture = page->GetDlgItem(1001);
  ASSERT_NE(picture, nullptr);
  // The picture and the mini panel fit the places the template keeps for them.
  for (auto [made, place] : {std::pair{1001, 1005}, std::pair{107, 1008}}) {
    CRect inner, outer;
    page->GetDlgItem(made)->GetWindowRect(&inner);
    page->GetDlgItem(place)->GetWindowRect(&outer);
    EXPECT_TRUE(inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
                inner.bottom <= outer.bottom)
        << made;
  }
  Loaded body(3600), tray(3604), combined(3611);
  ASSERT_TRUE(body.ok && tray.ok && combined.ok);
  Shot shot(*picture);
  ASSERT_TRUE(shot.ok);
  // The control is 4 pixels larger than the picture, which sits inside the 2-pixel margin.
  EXPECT_EQ(shot.width, body.size.cx + 4);
  EXPECT_EQ(shot.height, body.size.cy + 4);
  const int right = 2 + body.size.cx, bottom = 2 + body.size.cy;
  EXPECT_EQ(mismatches(shot, tray, right - tray.size.cx, bottom - tray.size.cy), 0);
  EXPECT_EQ(mismatches(shot, combined, 2, bottom - combined.size.cy), 0);
  // Above the options the body itself shows.
  const int free = std::min(bottom - tray.size.cy, bottom - combined.size.cy) - 2;
  int wrong = 0;
  for (int y = 0; y < free; ++y)
    for (int x = 0; x < body.size.cx; ++x) wrong += shot.at(2 + x, 2 + y) != body.at(x, y);
  EXPECT_EQ(wrong, 0);

  EXPECT_FALSE(page->GetDlgItem(1030)->IsWindowEnabled());

  // A jam with a picture: the next refresh shows it alone, and Continue as the alert allows.
  CWFAlert jam(41, nullptr, 1, 101, CWFAlert::ACTIVE, 0, 6110, TRUE, FALSE, TRUE, FALSE);
  jam.SetSubType(ALERT_SUBTYPE_PAPERJAM);
  icon->GetAlertStorage().LogEvent(&jam, "Paper jam", CFilename(), 3510);
  ::PostMessage(icon->GetOpenDlgHandle(), WM_WF_UPDATEPAGE, 0, 0);
  pump();
  Loaded error(3510);
  ASSERT_TRUE(error.ok);
  ASSERT_TRUE(error.size.cx == body.size.cx && error.size.cy == body.size.cy);
  EXPECT_EQ(mismatches(Shot(*picture), error, 2, 2), 0);
  EXPECT_TRUE(page->GetDlgItem(1030)->IsWindowEnabled());
  EXPECT_FALSE(page->GetDlgItem(1031)->IsWindowEnabled());

  // Cleared: the body with its options again, and Continue disabled.
  ASSERT_TRUE(icon->RemoveAlertMsg(icon->Get1stHardErrorMsg()));
  ::PostMessage(icon->GetOpenDlgHandle(), WM_WF_UPDATEPAGE, 0, 0);
  pump();
  Shot cleared(*picture);
  EXPECT_EQ(mismatches(cleared, tray, right - tray.size.cx, bottom - tray.size.cy), 0);
  EXPECT_EQ(mismatches(cleared, combined, 2, bottom - combined.size.cy), 0);
  EXPECT_FALSE(page->GetDlgItem(1030)->IsWindowEnabled());

  // A hard error whose picture is missing leaves the picture as it was.
  CWFAlert odd(41, nullptr, 1, 102, CWFAlert::ACTIVE, 0, 6111, TRUE, FALSE, TRUE, FALSE);
  odd.SetSubType(ALERT_SUBTYPE_PAPERJAM);
  icon->GetAlertStorage().LogEvent(&odd, "Paper jam", CFilename(), 9999);
  ::PostMessage(icon->GetOpenDlgHandle(), WM_WF_UPDATEPAGE, 0, 0);
  pump();
  Shot kept(*picture);
  EXPECT_EQ(mismatches(kept, tray, right - tray.size.cx, bottom - tray.size.cy), 0);
  EXPECT_EQ(mismatches(kept, combined, 2, bottom - combined.size.cy), 0);
}

TEST_F(StatusPageTest, MiniPanelIsGreenWithTextOnlyInTheBandsOfItsLines) {
  CWFPrinterIcon* icon = makeIcon(42, {});
  printer(icon)->panelText = "READY";
  CPrtOStatus* page = open(icon);
  ASSERT_NE(page, nullptr);
  CWnd* panel = page->GetDlgItem(107);
  ASSERT_NE(panel, nullptr);

  // The size the page's font gives: 20 characters plus 10, five lines plus 4.
  CFont font;
  font.CreateFont(-14, 0, 0, 0, 400, FALSE, FALSE, FALSE, 0, 4, 0x20, 2, 0x30, "Courier New");
  const TEXTMETRIC metrics = wf::testing::fontMetrics(font);
  CRect place;
  panel->GetClientRect(&place);
  EXPECT_EQ(place.Width(), 20 * metrics.tmAveCharWidth + 10);
  EXPECT_EQ(place.Height(), 5 * metrics.tmHeight + metrics.tmExternalLeading + 4);

  // Rows that carry drawn pixels, for each text the panel shows.
  auto inkRows = [&] {
    Shot shot(*panel);
    std::vector<int> rows;
    for (int y = 0; y < shot.height; ++y)
      for (int x = 0; x < shot.width; ++x)
        if (shot.at(x, y) != kGreen) {
          rows.push_back(y);
          break;
        }
    return rows;
  };
  const int top = metrics.tmHeight / 2;
  auto band = [&](int y) { return (y - top) / metrics.tmHeight; };
  std::vector<int> rows = inkRows();
  ASSERT_FALSE(rows.empty());
  for (int y : rows) EXPECT_EQ(band(y), 0) << y;

  // Three lines: the text arrives through the panel worker's WM_WF_OPPANEL.
  printer(icon)->panelText = std::string(20, 'A') + std::string(20, ' ') + "C";
  CPrtOStatus::UpdateROPData(reinterpret_cast<void*>(static_cast<std::uintptr_t>(icon->GetPrinterHandle())));
  pump();
  rows = inkRows();
  ASSERT_FALSE(rows.empty());
  bool first = false, third = false;
  for (int y : rows) {
    ASSERT_TRUE(y >= top && y < top + 3 * metrics.tmHeight) << y;
    EXPECT_NE(band(y), 1) << y;
    first |= band(y) == 0;
    third |= band(y) == 2;
  }
  EXPECT_TRUE(first && third);

  // No text: a blank green panel.
  printer(icon)->panelText.clear();
  CPrtOStatus::UpdateROPData(reinterpret_cast<void*>(static_cast<std::uintptr_t>(icon->GetPrinterHandle())));
  pump();
  EXPECT_TRUE(inkRows().empty());
}

TEST_F(StatusPageTest, PanelLinesAreCutAtCharacters) {
  const std::string e = "\xC3\xA9";  // one character, two bytes
  std::string text;
  for (int i = 0; i < 21; ++i) text += e;
  const auto lines = wf::panelLines(text + std::string(100, 'x'));
  ASSERT_EQ(lines.size(), 4u);
  std::string twenty;
  for (int i = 0; i < 20; ++i) twenty += e;
  EXPECT_EQ(lines[0], twenty);
  EXPECT_EQ(lines[1], e + std::string(19, 'x'));
  EXPECT_EQ(lines[3], std::string(20, 'x'));  // the rest is cut
  EXPECT_EQ(wf::panelLines("AB"), (std::vector<std::string>{"AB", "", "", ""}));
}

TEST_F(StatusPageTest, ContinueAndResetSendTheirCommandsAndActivationArmsOnce) {
  CWFPrinterIcon* icon = makeIcon(43, {});
  CPrtOStatus* page = open(icon);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(count(named(lastWork_), "UpdateROPData() from CPrtOStatus::OnSetActive()"), 1);
  EXPECT_TRUE(icon->GetPanelAlertsActive());
  // No active alert: both stay disabled.
  EXPECT_FALSE(page->GetDlgItem(1030)->IsWindowEnabled());
  EXPECT_FALSE(page->GetDlgItem(1031)->IsWindowEnabled());

  for (int id : {1030, 1031})
    page->SendMessage(WM_COMMAND, MAKELONG(id, BN_CLICKED), page->GetDlgItem(id)->GetSafeHwnd());
  EXPECT_EQ(named(runWork()), (std::vector<std::string>{"ROPContinue() from CPrtOStatus::OnROPContinue()",
                                                        "ROPReset() from CPrtOStatus::OnROPReset()"}));
  const auto calls = printer(icon)->calls();
  EXPECT_EQ(count(calls, "bidiROPContinue"), 1);
  EXPECT_EQ(count(calls, "bidiROPReset"), 1);

  // Back on the page while the panel alerts are armed: no second reading.
  CPrtOpenDlg* notebook = icon->GetOpenFrame()->GetNotebook();
  notebook->SetActivePage(1);
  notebook->SetActivePage(0);
  EXPECT_EQ(count(named(runWork()), "UpdateROPData() from CPrtOStatus::OnSetActive()"), 0);
}

TEST_F(StatusPageTest, WorkersForAPrinterGoneEndQuietly) {
  void* unknown = reinterpret_cast<void*>(static_cast<std::uintptr_t>(999));
  EXPECT_EQ(CPrtOStatus::ROPContinue(unknown), 0u);
  EXPECT_EQ(CPrtOStatus::ROPReset(unknown), 0u);
  EXPECT_EQ(CPrtOStatus::UpdateROPData(unknown), 0u);
}

// Texts and images of the tree's items, children indented.
std::vector<std::string> treeOf(CTreeCtrl& tree) {
  std::vector<std::string> out;
  for (HTREEITEM top = tree.GetRootItem(); top; top = tree.GetNextSiblingItem(top)) {
    int image = 0, selected = 0;
    tree.GetItemImage(top, image, selected);
    out.push_back(tree.GetItemText(top).str() + " #" + std::to_string(image));
    for (HTREEITEM child = tree.GetChildItem(top); child; child = tree.GetNextSiblingItem(child)) {
      tree.GetItemImage(child, image, selected);
      out.push_back("  " + tree.GetItemText(child).str() + " #" + std::to_string(image));
    }
  }
  return out;
}

TEST_F(StatusPageTest, FeatureTreeFollowsThePrintersRecords) {
  CWFPrinterIcon* icon = makeIcon(44, {});
  fillRecords(*printer(icon));
  printer(icon)->inputBins = {{5, 7102, 100, "Manual", 1, 2}, {1, 7103, 0xFFFFFFFF, "Tray 1", 1, 9}};
  printer(icon)->codeLevels = {};
  printer(icon)->codeLevels.engf = "1.02";
  CPrtOStatus* page = open(icon);
  ASSERT_NE(page, nullptr);
  auto* tree = static_cast<CTreeCtrl*>(page->GetDlgItem(1024));
  ASSERT_NE(tree, nullptr);
  const auto items = treeOf(*tree);
  auto has = [&](const std::string& line) {
    return std::find(items.begin(), items.end(), line) != items.end();
  };
  auto string = [](UINT id) {
    CString text;
    text.LoadString(id);
    return text.str();
  };
  // The manual tray has no type line; capacity -1 shows 0; an unknown type takes image 4.
  ASSERT_GE(items.size(), 6u);
  EXPECT_EQ(items[0], icon->GetTrayName(7102).str() + " #2");
  EXPECT_EQ(items[1].rfind("  " + string(491) + " : ", 0), 0u) << items[1];
  EXPECT_EQ(items[1].substr(items[1].size() - 3), " #0");  // paper type 2
  EXPECT_EQ(items[2], icon->GetTrayName(7103).str() + " #2");
  EXPECT_TRUE(has("  " + string(490) + " : 0 #4"));
  EXPECT_EQ(items[2 + 1].rfind("  " + string(491), 0), 0u);
  EXPECT_EQ(items[2 + 2].rfind("  " + string(492), 0), 0u);
  // Code levels: only the one that is not empty has a child.
  const auto top = std::find(items.begin(), items.end(), string(549) + " #6");
  ASSERT_NE(top, items.end());
  ASSERT_NE(top + 1, items.end());
  EXPECT_EQ(*(top + 1), "  " + string(553) + ": 1.02 #6");
  EXPECT_TRUE(top + 2 == items.end() || (top + 2)->rfind("  ", 0) != 0);
  EXPECT_TRUE(has(string(496) + " SN-4711 #1"));
}

}  // namespace
}  // namespace wf::testing
