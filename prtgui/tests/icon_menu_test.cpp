// The icon's image index, its page numbering and its right-button menu,
// for printers of every mix of bidi, rights and protocols.
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "notebook_fixture.h"

namespace wf::testing {
namespace {

class IconMenuTest : public NotebookFixture {
 protected:
  // One line per entry: "id text", "- ", "> text {...}"; " (grey)" for greyed entries.
  static std::vector<std::string> describe(CMenu& menu) {
    std::vector<std::string> out;
    for (UINT i = 0; i < menu.GetMenuItemCount(); ++i) {
      const UINT state = menu.GetMenuState(i, MF_BYPOSITION);
      CString text;
      menu.GetMenuString(i, text, MF_BYPOSITION);
      std::string line;
      if (state & MF_SEPARATOR) {
        line = "-";
      } else if (CMenu* sub = menu.GetSubMenu(static_cast<int>(i))) {
        line = "> " + text.str() + " {";
        for (const std::string& inner : describe(*sub)) line += " " + inner + ";";
        line += " }";
      } else {
        line = std::to_string(menu.GetMenuItemID(static_cast<int>(i))) + " " + text.str();
      }
      if (state & MF_GRAYED) line += " (grey)";
      out.push_back(line);
    }
    return out;
  }
  std::vector<std::string> menuOf(CWFPrinterIcon* icon, int* downloads = nullptr) {
    CMenu menu;
    const int position = icon->GetRtBtnPopup(&menu);
    if (downloads) *downloads = position;
    return describe(menu);
  }
  void activeAlert(CWFPrinterIcon* icon, ULONG type, BOOL hard) {
    CWFAlert alert(icon->GetPrinterHandle(), nullptr, 0, type, CWFAlert::ACTIVE, 0, 6104, FALSE, FALSE, hard,
                   FALSE);
    icon->GetAlertStorage().LogEvent(&alert, "alert", CFilename(), 0);
  }
};

TEST_F(IconMenuTest, PageNumbersFollowBidiRightsResourcesAndProtocols) {
  // Page of 32775, 32772, 32779, 32797, 32776, 110, 109, 111 and an unknown command.
  using Pages = std::vector<int>;
  const struct {
    const char* name;
    PrinterSpec spec;
    bool resources;
    Pages pages;
    int count;
  } cases[] = {
      {"local, bidi, admin", {}, false, {0, 1, 2, -1, -1, -1, -1, -1, -1}, 3},
      {"local, bidi, not admin", {true, false}, false, {0, -1, 1, -1, -1, -1, -1, -1, -1}, 2},
      {"local, bidi, admin, resources", {}, true, {0, 1, 2, 3, -1, -1, -1, -1, -1}, 4},
      {"NetWare and TCP/IP, bidi, admin",
       {true, true, kNetWare | kTcpIp},
       false,
       {0, 1, 2, -1, 3, -1, 4, 5, -1},
       6},
      {"all protocols, no bidi",
       {false, true, kNetWare | kTcpIp | kCorLink | kIpx},
       false,
       {-1, -1, -1, -1, 0, 1, 2, 3, -1},
       4},
      {"peer-to-peer only, no bidi", {false, true, kPeer}, false, {-1, -1, -1, -1, -1, -1, -1, -1, -1}, 0},
      {"unknown printer on the network",
       {true, true, kNetWare, WF_GENERIC_FAMILY_KEY},
       false,
       {-1, -1, -1, -1, 0, -1, 1, -1, -1},
       2},
  };
  std::uint16_t handle = 20;
  for (const auto& c : cases) {
    CWFPrinterIcon* icon = makeIcon(++handle, c.spec);
    if (auto* own = dynamic_cast<NotebookIcon*>(icon)) own->setResourcePage(c.resources);
    Pages pages;
    for (UINT view : {WF_VIEW_STATUS, WF_VIEW_OPPANEL, WF_VIEW_STATISTICS, WF_VIEW_RESOURCES, WF_VIEW_ADAPTER,
                      WF_VIEW_CORLINK, WF_VIEW_NETWARE, WF_VIEW_TCPIP, 12345u})
      pages.push_back(icon->GetPageNum(view));
    EXPECT_EQ(pages, c.pages) << c.name;
    EXPECT_EQ(icon->NumPagesInNotebook(), c.count) << c.name;
  }
}

TEST_F(IconMenuTest, ImageIndexByStateWithTheFamilysOffset) {
  const int offset = NotebookIcon::registration->GetImageListOffset();
  ASSERT_EQ(offset, 5) << "the generic family's five images come first";
  CWFPrinterIcon* normal = makeIcon(31, {});
  EXPECT_EQ(normal->GetIconIndex(), 0 + offset);
  activeAlert(normal, 1524, TRUE);
  EXPECT_EQ(normal->GetIconIndex(), 2 + offset);
  EXPECT_EQ(normal->GetIconIndex(), normal->GetErrorIconIndex());
  EXPECT_EQ(makeIcon(32, {false})->GetIconIndex(), 3 + offset);
  auto* ghost = static_cast<NotebookIcon*>(makeIcon(33, {}));
  ghost->makeGhost();
  EXPECT_EQ(ghost->GetIconIndex(), 1 + offset);
  // An unknown printer belongs to the generic family, at offset 0.
  EXPECT_EQ(makeIcon(34, {true, true, kNetWare, WF_GENERIC_FAMILY_KEY})->GetIconIndex(), 4);
}

TEST_F(IconMenuTest, MenuOfABidiAdministratorsLocalPrinter) {
  CWFPrinterIcon* icon = makeIcon(40, {});
  int downloads = -1;
  const std::vector<std::string> expected = {
      "> &Open { 32775 &Status; 32772 &Operator Panel; 32779 S&tatistics; }",
      "32784 Clear &Alerts (grey)",
      "32795 Alert &Settings...",
      "32778 Re&fresh",
      "-",
      "32789 Move &Up (grey)",
      "32791 &Copy",
      "32790 Move &Down (grey)",
      "32832 Re&move",
      "-",
      "32783 P&roperties...",
      "> Do&wnload { 586 &Font...; 587 D&emo Page...; 588 O&verlay...; }",
      "-",
      "32781 Quick Setup Sen&d...",
      "32774 Quick Setup Recei&ve...",
  };
  EXPECT_EQ(menuOf(icon, &downloads), expected);
  EXPECT_EQ(downloads, 11);

  // An active alert, an enumeration running and two printer windows.
  activeAlert(icon, 1524, FALSE);
  app_.SetGlobalEnumState(1);
  app_.windowList.windowCount = 2;
  const std::vector<std::string> busy = menuOf(icon, &downloads);
  EXPECT_EQ(busy[1], "32784 Clear &Alerts");
  EXPECT_EQ(busy[3], "32778 Re&fresh (grey)");
  EXPECT_EQ(busy[5], "32789 Move &Up");
  EXPECT_EQ(busy[7], "32790 Move &Down");
  EXPECT_EQ(downloads, 11);
}

TEST_F(IconMenuTest, MenusOfOtherPrinters) {
  auto* resources = dynamic_cast<NotebookIcon*>(makeIcon(41, {true, false}));
  ASSERT_NE(resources, nullptr);
  resources->setResourcePage(TRUE);
  int downloads = -1;
  EXPECT_EQ(menuOf(resources, &downloads)[0],
            "> &Open { 32775 &Status; 32779 S&tatistics; 32797 &Resources; }");
  EXPECT_EQ(downloads, 11);

  // Without bidi only the network pages are offered, and no alert or Quick Setup entries.
  const std::vector<std::string> network =
      menuOf(makeIcon(42, {false, true, kNetWare | kTcpIp | kCorLink}), &downloads);
  EXPECT_EQ(network.front(), "> &Open { 32776 &Adapter; 110 Cor&Link; 109 &NetWare; 111 &TCP/IP; }");
  EXPECT_EQ(network.size(), 10u);
  EXPECT_EQ(network.back(), "> Do&wnload { 586 &Font...; 587 D&emo Page...; 588 O&verlay...; }");
  EXPECT_EQ(downloads, 9);

  // An unknown network printer: network pages, no bidi entries.
  const std::vector<std::string> unknown =
      menuOf(makeIcon(43, {true, true, kNetWare, WF_GENERIC_FAMILY_KEY}), &downloads);
  EXPECT_EQ(unknown.front(), "> &Open { 32776 &Adapter; 109 &NetWare; }");
  EXPECT_EQ(unknown.size(), 10u);

  // Peer-to-peer only without bidi: nothing to open, so no Open entry.
  CWFPrinterIcon* peer = makeIcon(44, {false, true, kPeer});
  EXPECT_FALSE(static_cast<NotebookIcon*>(peer)->AnyNetworkPages());
  const std::vector<std::string> peerMenu = menuOf(peer, &downloads);
  EXPECT_EQ(peerMenu.front(), "32778 Re&fresh");
  EXPECT_EQ(downloads, 8);
  EXPECT_FALSE(peer->OpenPrinterA(0));

  // A ghost has no Open entry either.
  auto* ghost = static_cast<NotebookIcon*>(makeIcon(45, {}));
  ghost->makeGhost();
  forget(45);
  EXPECT_EQ(menuOf(ghost).front(), "32778 Re&fresh");
  EXPECT_FALSE(ghost->OpenPrinterA(0));
}

TEST_F(IconMenuTest, ADisconnectedPrinterOffersNoNetworkPages) {
  auto* icon = static_cast<NotebookIcon*>(makeIcon(50, {false, true, kNetWare}));
  EXPECT_TRUE(icon->AnyNetworkPages());
  activeAlert(icon, 100, FALSE);
  EXPECT_FALSE(icon->AnyNetworkPages());
  EXPECT_EQ(menuOf(icon).front(), "32778 Re&fresh");
  EXPECT_FALSE(icon->OpenPrinterA(WF_VIEW_ADAPTER));
}

TEST_F(IconMenuTest, WithoutTheProtocolQueryOnlyTheAdapterPage) {
  useNetUI(WF_MOCK_NETUI_PIP_DIR);
  CWFPrinterIcon* icon = makeIcon(60, {false, true, kNetWare | kTcpIp | kCorLink});
  EXPECT_EQ(menuOf(icon).front(), "> &Open { 32776 &Adapter; }");
  EXPECT_EQ(icon->NumPagesInNotebook(), 1);
  EXPECT_EQ(icon->GetPageNum(WF_VIEW_ADAPTER), 0);
  EXPECT_EQ(icon->GetPageNum(WF_VIEW_NETWARE), -1);

  // No network library at all: a network printer without bidi has nothing to show.
  wf::freeModule(std::exchange(app_.netSet, nullptr));
  EXPECT_EQ(icon->NumPagesInNotebook(), 0);
  EXPECT_EQ(icon->GetPageNum(WF_VIEW_ADAPTER), -1);
  EXPECT_EQ(menuOf(icon).front(), "32778 Re&fresh");
}

TEST_F(IconMenuTest, AMenuHandedInAlreadyMadeIsExtended) {
  CWFPrinterIcon* icon = makeIcon(70, {});
  // A menu handed in already made is filled as it is.
  CMenu menu;
  ASSERT_TRUE(menu.CreatePopupMenu());
  menu.AppendMenu(MF_STRING, 1, "first");
  EXPECT_EQ(icon->GetRtBtnPopup(&menu), 12);
  EXPECT_EQ(menu.GetMenuItemID(0), 1u);
}

TEST_F(IconMenuTest, OperatorPanelTextIsCachedFromAlertsAndFromThePrinter) {
  CWFPrinterIcon* icon = makeIcon(80, {});
  EXPECT_EQ(icon->GetOpPanelText().str(), "") << "nothing cached yet";
  std::unique_ptr<WFPrtObj::OPPANELDATA> fresh(static_cast<WFPrtObj::OPPANELDATA*>(icon->GetROPDataStruct()));
  EXPECT_TRUE(fresh->text.empty());

  CWFAlert alert(80, nullptr, 0, 300, CWFAlert::ACTIVE, 0, 0, FALSE, FALSE, FALSE, FALSE);
  CWFPanelAlertMsg message(&alert, new WFPrtObj::OPPANELDATA{20, 4, "READY"});
  icon->SetOpPanelText(&message);
  EXPECT_EQ(icon->GetOpPanelText().str(), "READY");
  // A message without panel data leaves the text as it was.
  CWFPanelAlertMsg empty(&alert, nullptr);
  icon->SetOpPanelText(&empty);
  icon->SetOpPanelText(nullptr);
  EXPECT_EQ(icon->GetOpPanelText().str(), "READY");

  // From the printer: a rejected query keeps the text, an accepted one replaces it.
  auto* printer = static_cast<ScriptedPrtObj*>(app_.GetPrinterFromHandle(80));
  printer->rejects["bidiROPQueryData"] = -2;
  icon->UpdateOpPanelText();
  EXPECT_EQ(icon->GetOpPanelText().str(), "READY");
  printer->rejects.clear();
  icon->UpdateOpPanelText();
  EXPECT_EQ(icon->GetOpPanelText().str(), "") << "the scripted printer's panel is blank";

  // A reader gives up when the record is held too long.
  icon->SetOpPanelText(&message);
  wf::setTimeScaleForTest(0.001);
  std::thread holder([&] {
    CMutex other(icon->GetMutexName("OpPanelData"));
    other.Wait(wf::kInfinite);
    EXPECT_EQ(icon->GetOpPanelText().str(), "READY") << "the holder itself reads it";
    std::string seen = "unset";
    std::thread reader([&] { seen = icon->GetOpPanelText().str(); });
    reader.join();
    EXPECT_EQ(seen, "");
    other.Release();
  });
  holder.join();
  wf::setTimeScaleForTest(1.0);
  EXPECT_EQ(icon->GetOpPanelText().str(), "READY");
}

TEST_F(IconMenuTest, WithoutTheProtocolQueryTheNotebookHoldsOnlyTheAdapterPage) {
  useNetUI(WF_MOCK_NETUI_PIP_DIR);
  CWFPrinterIcon* icon = makeIcon(81, {false, true, kNetWare | kTcpIp});
  ASSERT_TRUE(icon->OpenPrinterA(WF_VIEW_NETWARE));
  EXPECT_EQ(icon->GetPageCount(), 1);
  EXPECT_EQ(icon->GetOpenFrame()->GetNotebook()->GetCurrentPage(), 0);
  EXPECT_EQ(netQueries(), (std::vector<std::pair<USHORT, UINT>>{{81, 0}}));
}

// A family page whose template is missing: the notebook cannot be made.
class BrokenPageIcon : public NotebookIcon {
 public:
  using NotebookIcon::NotebookIcon;
  static CWFPrinterIcon* create(WFPrtObj* object, void* record) { return new BrokenPageIcon(object, record); }
  int BelongsToFamily(ULONG key) override { return key == 10; }

 protected:
  void AddExtraOpenPages(CPropertySheet* sheet) override {
    sheet->AddPage(new CWFPropertyPage(4999, "X.HLP"));
  }
};

TEST_F(IconMenuTest, AFrameThatCannotBeMadeTakesItsNotebookAndPagesWithIt) {
  const DWORD broken = 10;
  families_.RegisterDLL(nullptr, "Broken", 0, &BrokenPageIcon::create, &broken, 1, nullptr);
  CWFPrinterIcon* icon = makeIcon(82, {true, true, 0, broken});
  ASSERT_NE(dynamic_cast<BrokenPageIcon*>(icon), nullptr);
  EXPECT_FALSE(icon->OpenPrinterA(0));
  EXPECT_EQ(icon->GetOpenFrame(), nullptr);
  EXPECT_EQ(icon->GetOpenDlgHandle(), 0u);
  EXPECT_EQ(icon->GetPageCount(), 0);
  EXPECT_EQ(shell_.waitCursor.depth(), 0);
  // The next try starts afresh.
  EXPECT_FALSE(icon->OpenPrinterA(WF_VIEW_STATISTICS));
}

}  // namespace
}  // namespace wf::testing
