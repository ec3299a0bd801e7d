// The Tidewater icon: registration, the stored record, pages and menu by
// connection, the panel lights, the PPDS test and the two family alerts.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/alert_dlg_list.h"
#include "framework/menu.h"
#include "framework/scripted_shell.h"
#include "meridian/meridian_family.h"
#include "prtgui/prt_open_dlg.h"
#include "prtgui/prt_open_frame.h"
#include "test_fixture.h"
#include "tidewater/tw_adv_dlg.h"
#include "tidewater/tw_family.h"
#include "tidewater/tw_icon.h"
#include "tidewater/tw_paper_font_dlg.h"

namespace wf::testing {
namespace {

using Alert = WFPrtObj::WFPALERTDATA;

// The protected decoder in reach.
class ProbeTwIcon : public CWFTwIcon {
 public:
  using CWFTwIcon::CWFTwIcon;
  using CWFTwIcon::ProcessUIRAlerts;
  static CWFPrinterIcon* create(WFPrtObj* object, void* record) { return new ProbeTwIcon(object, record); }
};

class TidewaterIconTest : public PrinterFixture {
 protected:
  static constexpr DWORD kProbeIds[] = {3, 8};
  void SetUp() override {
    PrinterFixture::SetUp();
    InitMeridianGuiDLL(nullptr, &RegisterDLL);
    InitTidewaterGuiDLL(nullptr, &RegisterDLL);
    app_.soundEnabled = FALSE;
    app_.waveFiles[5] = "attention.wav";
  }
  // A bidi Tidewater printer on LPT2 with the broker's connection word `connections`.
  ProbeTwIcon* add(std::uint16_t handle, std::uint32_t connections = BCE_NET_LOCAL | 0x8000,
                   void* record = nullptr, const char* model = "Corvane Pagecrest II") {
    return addFamilyPrinter<ProbeTwIcon>(handle, "LPT2", 3, model, kProbeIds, connections, record);
  }
  static CString family(UINT id) { return familyString(CWFTwIcon().GetResourceInstance(0), id); }
};

TEST_F(TidewaterIconTest, KeysThreeAndEightMakeTidewaterIcons) {
  CWFTwIcon probe;
  EXPECT_TRUE(probe.BelongsToFamily(3));
  EXPECT_TRUE(probe.BelongsToFamily(8));
  EXPECT_FALSE(probe.BelongsToFamily(1));
  EXPECT_STREQ(probe.GetRuntimeClass()->m_lpszClassName, "CWFTwIcon");
  ASSERT_NE(probe.GetPrinterDLL(), nullptr);
  EXPECT_EQ(probe.GetPrinterDLL()->GetName(), "Tidewater");
  EXPECT_EQ(probe.GetGhostName(), family(50000));
  EXPECT_EQ(tidewater::TidewaterMutexName(12), CString("12TidewaterModify"));
}

TEST_F(TidewaterIconTest, TheRecordKeepsTheFamilyAlertsAtOffset112) {
  TIDEWATERBINARYDATA stored{};
  stored.meridian.base.familyKey = 3;
  stored.meridian.storedAlerts = 0x7FFFFFF;
  stored.storedAlerts = 2;
  ProbeTwIcon* icon = add(41, BCE_NET_LOCAL | 0x8000, &stored);
  EXPECT_TRUE(icon->GetFamilyAlertFlag(0));   // 6141
  EXPECT_FALSE(icon->GetFamilyAlertFlag(1));  // 6140
  TIDEWATERBINARYDATA written{};
  icon->CreateSpecificBinaryData(&written);
  EXPECT_EQ(written.storedAlerts, 2u);
  EXPECT_EQ(written.meridian.storedAlerts, 0x7FFFFFFu);

  ProbeTwIcon* fresh = add(42);
  EXPECT_TRUE(fresh->GetFamilyAlertFlag(0));
  EXPECT_TRUE(fresh->GetFamilyAlertFlag(1));
  EXPECT_EQ(refreshedWord(fresh, 112), 3u);
}

TEST_F(TidewaterIconTest, ExtraPagesAndMenuEntriesOnlyForALocalAdministrator) {
  const struct {
    std::uint32_t connections;
    UINT pages;
  } cases[] = {{BCE_NET_LOCAL | 0x8000, 3},
               {0x10000 | 0x8000, 3},
               {0x2000000 | 0x8000, 0},
               {0x4000000 | 0x8000, 0},
               {BCE_NET_LOCAL, 0}};
  std::uint16_t handle = 50;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.connections);
    ProbeTwIcon* icon = add(handle++, c.connections);
    EXPECT_EQ(icon->NumExtraPages(), c.pages);
    CMenu menu;
    menu.CreatePopupMenu();
    EXPECT_EQ(icon->AddExtraOpenTabs(&menu), c.pages ? TRUE : FALSE);
    std::vector<UINT> entries;
    for (int i = 0; i < static_cast<int>(menu.GetMenuItemCount()); ++i)
      entries.push_back(menu.GetMenuItemID(i));
    const std::vector<UINT> expected = c.pages ? std::vector<UINT>{50167, 50168, 50166} : std::vector<UINT>{};
    EXPECT_EQ(entries, expected);
  }
}

TEST_F(TidewaterIconTest, ExtraPageNumbersAdvanceTheRunningIndex) {
  ProbeTwIcon* icon = add(43);
  const struct {
    UINT command, index;
    int answer;
  } cases[] = {{50167, 6, TRUE}, {50168, 7, TRUE}, {50166, 8, TRUE}, {32775, 8, FALSE}};
  for (const auto& c : cases) {
    UINT index = 5;
    int found = 0;
    EXPECT_EQ(icon->GetExtraPageNum(&index, &found, c.command), c.answer) << c.command;
    EXPECT_EQ(index, c.index) << c.command;
    EXPECT_EQ(found, 1);
  }
}

TEST_F(TidewaterIconTest, PPDSFollowsTheBaseCodeLevel) {
  const struct {
    const char* level;
    BOOL capable;
  } cases[] = {{"399", TRUE}, {"400", FALSE}, {"600", TRUE}, {"799", TRUE}, {"800", FALSE}, {"", FALSE}};
  std::uint16_t handle = 60;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.level);
    ProbeTwIcon* icon = add(handle);
    static_cast<ScriptedPrtObj*>(app_.printers[handle])->codeLevels.revisionLevel = c.level;
    CWFPrinterIcon::UpdateGraphicInfo(reinterpret_cast<void*>(static_cast<std::uintptr_t>(handle)));
    EXPECT_EQ(icon->GetPPDSCapable(), c.capable);
    ++handle;
  }
}

TEST_F(TidewaterIconTest, FamilyAlertsAreDecodedFilteredListedAndHelped) {
  ProbeTwIcon* icon = add(44);
  ScriptedPrtObj* printer = static_cast<ScriptedPrtObj*>(app_.printers[44]);
  CWFAlert alert(44, printer, 0, 1524, CWFAlert::NOT_PROCESSED, 0x10, 0, FALSE, FALSE, FALSE, FALSE);
  std::vector<Alert> only = {{6140, 0}};
  EXPECT_EQ(icon->ProcessUIRAlerts(&alert, 1, only.data(), 0), 9u);
  EXPECT_EQ(storedIds(icon), (std::vector<UINT>{6140}));
  CWFAlertMsg* message = icon->GetAlertStorage().GetTopAlertMsg();
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(message->GetText(), family(50009));
  EXPECT_EQ(message->GetBitmapID(), 3504u);
  EXPECT_EQ(message->GetFile().GetPath(), "attention.wav");
  const CWFAlert* stored = message->GetAlert();
  EXPECT_EQ(stored->GetSubType(), 5u);
  EXPECT_TRUE(stored->GetEnableContinue() && stored->GetEnableReset() && stored->GetHardError());

  wf::fw::ScriptedShell shell;
  icon->ShowHelpforError();
  ASSERT_FALSE(app_.helpCalls().empty());
  EXPECT_EQ(app_.helpCalls().back(), (std::pair<UINT, std::uintptr_t>{HELP_CONTEXT, 1934}));

  // With one id of the Meridian table, that decoder takes the rest.
  std::vector<Alert> mixed = {{6140, 0}, {6137, 0}};
  icon->ProcessUIRAlerts(&alert, 2, mixed.data(), 0);
  EXPECT_EQ(storedIds(icon), (std::vector<UINT>{6137, 6140}));
  icon->ShowHelpforError();
  EXPECT_EQ(app_.helpCalls().back().second, 1927u) << "the Meridian help for its alert";

  CWFAlertDlgList list;
  icon->UpdateAlertList(&list);
  EXPECT_EQ(list.GetAlertState(6141), 1u);
  EXPECT_EQ(list.GetAlertState(6140), 1u);
  list.UpdateState(family(50008), 0);
  ALERTS mask{};
  icon->SetBceAlerts(&list, &mask, TRUE);
  EXPECT_FALSE(icon->GetFamilyAlertFlag(0));
  EXPECT_TRUE(icon->GetFamilyAlertFlag(1));
  EXPECT_TRUE(mask.mask & 0x10);
  const struct {
    UINT id;
    CWFPrinterIcon::ALERT_ACTION action;
  } filters[] = {{6141, CWFPrinterIcon::ALERT_SUPPRESS}, {6140, CWFPrinterIcon::ALERT_SHOW}};
  for (const auto& f : filters) {
    CWFAlert a(44, printer, 0, 1524, CWFAlert::ACTIVE, 0, f.id, FALSE, FALSE, FALSE, FALSE);
    CWFAlertMsg m(&a, "", CFilename(), 0);
    EXPECT_EQ(icon->FilterAlerts(&m), f.action) << f.id;
  }
}

TEST_F(TidewaterIconTest, AFamilyAlertSwitchedOffIsNotStoredWhenRaised) {
  ProbeTwIcon* icon = add(45);
  CWFAlertDlgList list;
  icon->UpdateAlertList(&list);
  list.UpdateState(family(50008), 0);
  ALERTS mask{};
  icon->SetBceAlerts(&list, &mask, TRUE);
  ScriptedPrtObj* printer = static_cast<ScriptedPrtObj*>(app_.printers[45]);
  CWFAlert alert(45, printer, 0, 1524, CWFAlert::NOT_PROCESSED, 0x10, 0, FALSE, FALSE, FALSE, FALSE);
  std::vector<Alert> clear = {{6141, 0}};
  icon->ProcessUIRAlerts(&alert, 1, clear.data(), 0);
  EXPECT_TRUE(storedIds(icon).empty()) << "6141 is off";
  std::vector<Alert> toner = {{6140, 0}};
  icon->ProcessUIRAlerts(&alert, 1, toner.data(), 0);
  EXPECT_EQ(storedIds(icon), (std::vector<UINT>{6140}));
}

// Either family alert alone keeps the intervention class captured; with
// both off and every other row off, an earlier capture of it is dropped.
TEST_F(TidewaterIconTest, TheFamilyAlertsAloneKeepTheInterventionClassCaptured) {
  ProbeTwIcon* icon = add(46);
  const struct {
    std::vector<UINT> on;
    bool captured;
  } cases[] = {{{6140}, true}, {{6141}, true}, {{}, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.on.size() == 1 ? c.on[0] : 0);
    CWFAlertDlgList list;
    icon->UpdateAlertList(&list);
    // Each case sets every row: an earlier case's choice is the icon's now.
    std::vector<std::pair<CString, int>> rows;
    for (POSITION p = list.GetHeadPosition(); p;) {
      auto* item = reinterpret_cast<ALERT_DLG_STRUCT*>(list.GetNext(p));
      rows.emplace_back(item->name, std::find(c.on.begin(), c.on.end(), item->key) != c.on.end() ? 1 : 0);
    }
    ASSERT_GT(rows.size(), 40u) << "base, Meridian and family rows";
    for (const auto& [name, state] : rows) list.UpdateState(name, state);
    ALERTS alerts{0x10 | 0x80};
    icon->SetBceAlerts(&list, &alerts, TRUE);
    EXPECT_EQ((alerts.mask & 0x10) != 0, c.captured);
    EXPECT_EQ(alerts.mask & 0x0F, 0u) << "no other low class stays on";
    EXPECT_NE(alerts.mask & 0x80, 0u) << "classes above the list's are left alone";
  }
}

// The family's pages join the base views in the printer's context menu.
TEST_F(TidewaterIconTest, TheContextMenuOpensTheFamilyPagesAfterTheBaseViews) {
  ProbeTwIcon* icon = add(47);
  CMenu menu;
  icon->GetRtBtnPopup(&menu);
  CMenu* views = menu.GetSubMenu(0);
  ASSERT_NE(views, nullptr);
  std::vector<UINT> ids;
  std::vector<std::string> texts;
  for (int i = 0; i < static_cast<int>(views->GetMenuItemCount()); ++i) {
    ids.push_back(views->GetMenuItemID(i));
    CString text;
    views->GetMenuString(static_cast<UINT>(i), text, MF_BYPOSITION);
    texts.push_back(text.str());
  }
  ASSERT_GE(ids.size(), 4u);
  EXPECT_EQ(ids.front(), 32775u) << "the status view first";
  EXPECT_EQ(std::vector<UINT>(ids.end() - 3, ids.end()), (std::vector<UINT>{50167, 50168, 50166}));
  EXPECT_EQ(std::vector<std::string>(texts.end() - 3, texts.end()),
            (std::vector<std::string>{family(50167).str(), family(50168).str(), family(50166).str()}));
  EXPECT_EQ(std::count(ids.begin(), ids.end(), 50166u), 1);
}

TEST_F(TidewaterIconTest, ThePaperAndFontPageOpensFirstAndItsNotebookClosesWithTheIcon) {
  ProbeTwIcon* icon = add(48);
  ASSERT_TRUE(icon->HandleExtraMenuCmd(50167));
  runQueuedWork();
  ASSERT_NE(icon->GetOpenFrame(), nullptr);
  CPrtOpenDlg* notebook = icon->GetOpenFrame()->GetNotebook();
  const int count = notebook->GetPageCount();
  CPropertyPage* page = notebook->GetActivePage();
  EXPECT_NE(dynamic_cast<CTwPaperFont*>(page), nullptr);
  EXPECT_EQ(notebook->GetPageIndex(page), count - 3);
  EXPECT_NE(dynamic_cast<CTwAdvDlg*>(notebook->GetPage(count - 1)), nullptr);
  // Closing shows the later pages, which read the icon's cache: the whole icon must still be there.
  EXPECT_TRUE(list_.DeletePrinterIcon(icon));
  runQueuedWork();
}

TEST_F(TidewaterIconTest, TheModelNamesTheMakersPrintersOnly) {
  ProbeTwIcon* own = add(45);
  own->DetermineModel();
  EXPECT_EQ(own->GetModel(), family(50165));
  ProbeTwIcon* oem = add(46, BCE_NET_LOCAL | 0x8000, nullptr, "Lumen 12");
  oem->DetermineModel();
  EXPECT_EQ(oem->GetModel(), CString(""));
}

TEST_F(TidewaterIconTest, TheLightsAreThePanelTextsFirstSixBytes) {
  ProbeTwIcon* icon = add(47);
  ScriptedPrtObj* printer = static_cast<ScriptedPrtObj*>(app_.printers[47]);
  EXPECT_FALSE(icon->GetROPData().has_value()) << "no panel text yet";
  const struct {
    std::string text;
    CWFTwIcon::Lights lights;
  } cases[] = {{std::string("\x01\x00\x02\x00\x01\x00READY", 11), {1, 0, 2, 0, 1, 0}},
               {std::string("\x02\x01", 2), {2, 1, 0, 0, 0, 0}},  // the missing ones are off
               {"", {0, 0, 0, 0, 0, 0}}};
  for (const auto& c : cases) {
    printer->panelText = c.text;
    icon->FreeOPPanelData();
    icon->UpdateOpPanelText();
    const auto lights = icon->GetROPData();
    ASSERT_TRUE(lights.has_value());
    EXPECT_EQ(*lights, c.lights);
  }
}

}  // namespace
}  // namespace wf::testing
