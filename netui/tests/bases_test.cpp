// The dialog and page bases: run-time classes, the help file beside the
// application's, what-is-this help with the class's table, and the window
// that hosts a page or dialog.
#include <utility>

#include "framework/control_styles.h"
#include "framework/resources.h"
#include "netui_fixture.h"
#include "wf_dialog.h"

namespace wf::netui::testing {
namespace {

using Table = std::vector<std::pair<DWORD, DWORD>>;

class BasesTest : public NetUIFixture {};

TEST_F(BasesTest, RunTimeClassesKeepTheirNamesInsideTheLibrarysNamespace) {
  EXPECT_STREQ(RUNTIME_CLASS(CWFDialog)->m_lpszClassName, "CWFDialog");
  EXPECT_STREQ(RUNTIME_CLASS(CWFPropertyPage)->m_lpszClassName, "CWFPropertyPage");
  EXPECT_TRUE(RUNTIME_CLASS(CWFDialog)->IsDerivedFrom(RUNTIME_CLASS(CDialog)));
  EXPECT_TRUE(RUNTIME_CLASS(CWFPropertyPage)->IsDerivedFrom(RUNTIME_CLASS(CPropertyPage)));

  std::unique_ptr<CObject> made(RUNTIME_CLASS(CWFDialog)->CreateObject());
  auto* dialog = dynamic_cast<CWFDialog*>(made.get());
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->m_nIDTemplate, 0u);
  EXPECT_EQ(dialog->m_pParentWnd, nullptr);
  EXPECT_EQ(dialog->GetHelpIDs(), nullptr);
}

TEST_F(BasesTest, TheHelpFileIsNetworkHlpBesideTheApplicationsHelpFile) {
  const struct {
    const char* appPath;
    const char* expected;
  } cases[] = {
      {"/opt/wrenfield/help/WRENFLD.HLP", "/opt/wrenfield/help/NETWORK.HLP"},
      {"C:\\WRENFLD\\OTHER.HLP", "C:\\WRENFLD\\NETWORK.HLP"},
      {"/a\\b/APP.HLP", "/a\\b/NETWORK.HLP"},
      {"APP.HLP", "NETWORK.HLP"},
      {"", "NETWORK.HLP"},
  };
  for (const auto& c : cases) {
    app_.m_pszHelpFilePath = c.appPath;
    EXPECT_EQ(networkHelpPath().str(), c.expected) << c.appPath;
  }
}

// A dialog with its own table, on a notice template that has controls 1143 and 1236.
class TableDialog : public CWFDialog {
 public:
  TableDialog() : CWFDialog(2133, nullptr) {}
  const DWORD* GetHelpIDs() override {
    static const DWORD table[] = {1143, 8005, 0, 0};
    return table;
  }
};

TEST_F(BasesTest, F1AndTheContextMenuAskForTheClassTableAndAPlainBaseForNone) {
  std::vector<HWND> listed;
  DWORD exStyle = 0;
  dialogs_.on(2133, [&](CDialog& box) {
    exStyle = box.GetExStyle();
    listed.push_back(box.GetDlgItem(1143)->GetSafeHwnd());
    HELPINFO info;
    info.iCtrlId = 1143;
    info.hItemHandle = listed.back();
    box.SendMessage(WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    box.SendMessage(WM_CONTEXTMENU, listed.back(), 0);
    box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0);
  });
  TableDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_TRUE(exStyle & WS_EX_CONTEXTHELP);

  CWFDialog plain(2133, nullptr);  // no table of its own
  EXPECT_EQ(plain.DoModal(), IDOK);

  const auto calls = shell_.help.calls();
  ASSERT_EQ(calls.size(), 4u);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(calls[0].window, listed[0]);
  EXPECT_EQ(calls[1].window, listed[0]);
  EXPECT_EQ(calls[2].window, listed[1]);
  EXPECT_EQ(calls[0].helpFile, "/opt/wrenfield/NETWORK.HLP");
  EXPECT_EQ(calls[0].command, HELP_WM_HELP);
  EXPECT_EQ(calls[0].controlTable, (Table{{1143, 8005}}));
  EXPECT_EQ(calls[1].command, HELP_CONTEXTMENU);
  EXPECT_EQ(calls[1].controlTable, (Table{{1143, 8005}}));
  EXPECT_EQ(calls[2].command, HELP_WM_HELP);
  EXPECT_TRUE(calls[2].controlTable.empty());
  EXPECT_TRUE(calls[3].controlTable.empty());
}

TEST_F(BasesTest, PageHelpAndTheWindowThatHostsTheSheet) {
  CWFPropertyPage page(0);
  HELPINFO info;
  info.hItemHandle = 77;
  EXPECT_EQ(page.OnHelp(0, reinterpret_cast<LPARAM>(&info)), 0);
  EXPECT_EQ(page.OnHelpContextMenu(88, 0), 0);
  const auto calls = shell_.help.calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].window, 77u);
  EXPECT_EQ(calls[0].helpFile, "/opt/wrenfield/NETWORK.HLP");
  EXPECT_EQ(calls[0].command, HELP_WM_HELP);
  EXPECT_EQ(calls[1].window, 88u);
  EXPECT_EQ(calls[1].command, HELP_CONTEXTMENU);

  // A dialog whose parent is a child of a top window reports the top window.
  CWnd top;
  ASSERT_TRUE(top.CreateEx(0, "AfxWnd", "top", WS_POPUP, 0, 0, 100, 100, 0));
  CWnd child;
  ASSERT_TRUE(child.CreateEx(0, "AfxWnd", "child", WS_CHILD, 0, 0, 50, 50, top.GetSafeHwnd()));
  CWFDialog dialog(2133, &child);
  ASSERT_TRUE(dialog.Create(2133, &child));
  EXPECT_EQ(dialog.GetDlgWnd(), &top);
  dialog.DestroyWindow();
}

TEST_F(BasesTest, APageInASheetHasNoContextHelpStyleAndFindsTheSheetsOwner) {
  const HINSTANCE pages = wf::loadModule("wftestres3");  // the framework tests' page templates
  ASSERT_NE(pages, nullptr);
  ASSERT_TRUE(wf::fw::joinResourceChain(pages));
  CWnd owner;
  ASSERT_TRUE(owner.CreateEx(0, "AfxWnd", "owner", WS_POPUP, 0, 0, 300, 200, 0));
  CWFPropertyPage page(300);
  {
    CPropertySheet sheet("Network", &owner);
    sheet.AddPage(&page);
    ASSERT_TRUE(sheet.Create(&owner));
    ASSERT_NE(page.GetSafeHwnd(), 0u);
    EXPECT_FALSE(page.GetExStyle() & WS_EX_CONTEXTHELP);
    EXPECT_EQ(page.GetDlgWnd(), &owner);
    sheet.DestroyWindow();
  }
  wf::fw::leaveResourceChain(pages);
  wf::freeModule(pages);
}

TEST_F(BasesTest, TheConfigurationIconComesFromTheHostsResourceChain) {
  EXPECT_EQ(wf::fw::findIcon(2128), nullptr) << "the library has no icons of its own";
  const HINSTANCE host = wf::loadModule("WFRESDLL.DLL");
  ASSERT_NE(host, nullptr);
  ASSERT_TRUE(wf::fw::joinResourceChain(host));
  EXPECT_NE(wf::fw::findIcon(2128), nullptr);
  wf::fw::leaveResourceChain(host);
  wf::freeModule(host);
}

}  // namespace
}  // namespace wf::netui::testing
