// The page base's help (path, command, table) and the base pages' help
// tables against their dialog templates in WFGUIDLL.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "framework/resources.h"
#include "framework/scripted_shell.h"
#include "prtgui/prt_pages.h"
#include "test_fixture.h"

namespace wf::testing {
namespace {

using Table = std::vector<std::pair<DWORD, DWORD>>;

Table tableOf(const DWORD* ids) {
  Table out;
  for (; ids && ids[0]; ids += 2) out.emplace_back(ids[0], ids[1]);
  return out;
}

// A page with its own file and a short table.
class HelpPage : public CWFPropertyPage {
 public:
  explicit HelpPage(const DWORD* table) : CWFPropertyPage(342, "OTHER.HLP"), table_(table) {}
  const DWORD* GetHelpIDs() override { return table_; }

 private:
  const DWORD* table_;
};

class PageBaseTest : public PrinterFixture {
 protected:
  wf::fw::ScriptedShell shell_;
};

TEST_F(PageBaseTest, HelpGoesToThePageFileInTheApplicationsHelpDirectory) {
  static const DWORD kTable[] = {1013, 1000, 1017, 1003, 0, 0};
  HelpPage page(kTable);
  const struct {
    const char* appPath;
    const char* expected;
  } cases[] = {
      {"/opt/wrenfield/help/WRENFLD.HLP", "/opt/wrenfield/help/OTHER.HLP"},
      {"C:\\WRENFLD\\HELP\\WRENFLD.HLP", "C:\\WRENFLD\\HELP\\OTHER.HLP"},
      {"/a\\b/c\\APP.HLP", "/a\\b/c\\OTHER.HLP"},
      {"APP.HLP", "OTHER.HLP"},
      {"", "OTHER.HLP"},
  };
  for (const auto& c : cases) {
    app_.setHelpFilePath(c.appPath);
    EXPECT_EQ(page.HelpFilePath().str(), c.expected) << c.appPath;
  }

  app_.setHelpFilePath("/opt/wrenfield/help/WRENFLD.HLP");
  HELPINFO info;
  info.hItemHandle = 77;
  EXPECT_EQ(page.OnHelp(0, reinterpret_cast<LPARAM>(&info)), 0);
  EXPECT_EQ(page.OnHelpContextMenu(88, 0), 0);
  const auto calls = shell_.help.calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].window, 77u);
  EXPECT_EQ(calls[0].helpFile, "/opt/wrenfield/help/OTHER.HLP");
  EXPECT_EQ(calls[0].command, HELP_WM_HELP);
  EXPECT_EQ(calls[0].controlTable, (Table{{1013, 1000}, {1017, 1003}}));
  EXPECT_EQ(calls[1].window, 88u);
  EXPECT_EQ(calls[1].command, HELP_CONTEXTMENU);
  EXPECT_EQ(calls[1].controlTable, calls[0].controlTable);
}

TEST_F(PageBaseTest, APageWithoutATableStillAsksForHelp) {
  CWFPropertyPage page;  // the dynamic-creation form: template 0, WRENFLD.HLP
  EXPECT_EQ(page.GetHelpIDs(), nullptr);
  EXPECT_EQ(page.GetHelpFile().str(), "WRENFLD.HLP");
  HELPINFO info;
  page.OnHelp(0, reinterpret_cast<LPARAM>(&info));
  ASSERT_EQ(shell_.help.calls().size(), 1u);
  EXPECT_EQ(shell_.help.calls()[0].command, HELP_WM_HELP);
  EXPECT_TRUE(shell_.help.calls()[0].controlTable.empty());

  // The dynamic-creation entry builds the same page in place.
  alignas(CWFPropertyPage) unsigned char place[sizeof(CWFPropertyPage)];
  CWFPropertyPage::Construct(place);
  auto* built = std::launder(reinterpret_cast<CWFPropertyPage*>(place));
  EXPECT_EQ(built->GetHelpFile().str(), "WRENFLD.HLP");
  EXPECT_EQ(built->GetHelpIDs(), nullptr);
  built->~CWFPropertyPage();
  std::unique_ptr<CObject> created(RUNTIME_CLASS(CWFPropertyPage)->CreateObject());
  EXPECT_NE(dynamic_cast<CWFPropertyPage*>(created.get()), nullptr);
}

TEST_F(PageBaseTest, BasePagesHelpTablesPairTheirTemplatesControlsWithTopics) {
  // The status page makes 1001 and 107 itself, where 1005 and 1008 lie; a
  // family's resource page makes its file list 1039 where 1059 lies.
  const std::set<DWORD> madeAtRunTime = {1001, 107, 1039};
  CPrtOStatus status;
  CPrtOOpPanel panel;
  CPrtOStatistics statistics;
  CPrtOResourceMgmt resources(nullptr);
  const Table statusTable = {{1005, 1100}, {1001, 1100}, {1006, 1100}, {1031, 1101},
                             {1030, 1102}, {1008, 1103}, {107, 1103},  {1024, 1104},
                             {1068, 1104}, {1007, 1105}, {1069, 1105}, {1057, 9000}};
  const Table panelTable = {{1033, 403}, {1034, 404}, {1035, 405}, {1036, 406}, {1037, 406}, {1038, 406},
                            {1039, 406}, {1040, 406}, {1041, 406}, {1042, 406}, {1043, 406}, {1065, 9000}};
  const Table statisticsTable = {{1013, 1000}, {1060, 1000}, {1014, 1001}, {1061, 1001}, {1015, 1002},
                                 {1062, 1002}, {1017, 1003}, {1019, 1009}, {1018, 1004}, {1010, 1005},
                                 {1041, 1005}, {1011, 1006}, {1042, 1006}, {1009, 1007}, {1040, 1007},
                                 {1012, 1008}, {1043, 1008}, {1063, 9000}, {1039, 9000}};
  const Table resourceTable = {{1045, 1200}, {1046, 1201}, {1047, 1202}, {1048, 1203},
                               {1049, 1204}, {1039, 1205}, {1053, 1206}, {1054, 1207},
                               {1055, 1208}, {1050, 1206}, {1051, 1207}, {1052, 1208},
                               {1056, 1209}, {1057, 1210}, {1058, 1211}, {1064, 9000}};
  const struct {
    CWFPropertyPage* page;
    UINT templateId;
    const Table& pairs;
  } pages[] = {
      {&status, 344, statusTable},
      {&panel, 341, panelTable},
      {&statistics, 342, statisticsTable},
      {&resources, 343, resourceTable},
  };
  for (const auto& p : pages) {
    const Table table = tableOf(p.page->GetHelpIDs());
    EXPECT_EQ(table, p.pairs) << p.templateId;
    EXPECT_EQ(p.page->GetHelpFile().str(), "WRENFLD.HLP");
    const auto* dialog = wf::fw::findDialog(p.templateId);
    ASSERT_NE(dialog, nullptr) << p.templateId;
    std::set<DWORD> controls;
    for (UINT i = 0; i < dialog->itemCount; ++i) controls.insert(dialog->items[i].id);
    for (const auto& [control, topic] : table) {
      if (!madeAtRunTime.count(control)) {
        EXPECT_TRUE(controls.count(control)) << p.templateId << " " << control;
      }
    }
  }
  // The default resource page is made on template 0, as the dynamic form.
  CPrtOResourceMgmt bare;
  EXPECT_EQ(tableOf(bare.GetHelpIDs()), resourceTable);
}

TEST_F(PageBaseTest, TheMenuAndStatusStringsExist) {
  for (UINT id : {451u, 509u, 510u, 511u, 512u, 513u, 514u, 515u, 516u, 517u, 518u, 519u, 520u, 521u,
                  522u, 580u, 581u, 582u, 583u, 584u, 585u, 586u, 587u, 588u, 591u, 592u, 593u, 594u}) {
    CString text;
    EXPECT_TRUE(text.LoadString(id)) << id;
    EXPECT_FALSE(text.IsEmpty()) << id;
  }
}

}  // namespace
}  // namespace wf::testing
