// Configure Peer To Peer and Configure CorLink, one base with two layouts:
// the lists read through the callback, each add and removal as it is sent,
// and the flags Done sends. Every case runs for both dialogs.
#include <memory>
#include <string>

#include "cl_conf.h"
#include "framework/controls.h"
#include "framework/shell_calls.h"
#include "netui_fixture.h"
#include "p2p_conf.h"

namespace wf::netui::testing {
namespace {

struct WsCase {
  const char* name;
  UINT templateId;
  UINT bit;
  USHORT listItem, flagsItem, addItem, removeItem;
  std::array<int, 2> lists, adds;
  std::array<UINT, 2> entryTemplates;
  std::array<int, 2> entryEdits;
  std::vector<int> checks;
  std::unique_ptr<CDialog> (*make)();
  const char* typedServer;  // typed as "PC1" with backslashes the entry dialog takes
};

const WsCase kP2P{"P2PConf",
                  2157,
                  16,
                  1,
                  4,
                  2,
                  3,
                  {1005, 1066},
                  {1068, 1069},
                  {2158, 2159},
                  {1072, 1073},
                  {1071},
                  [] { return std::unique_ptr<CDialog>(new P2PConf()); },
                  "\\\\PC1  "};
const WsCase kCL{"CLConf",
                 2187,
                 8,
                 2,
                 5,
                 3,
                 4,
                 {1171, 1172},
                 {1173, 1174},
                 {2188, 2189},
                 {1175, 1176},
                 {1170, 1175},
                 [] { return std::unique_ptr<CDialog>(new CLConf()); },
                 "PC1  "};

std::string wsEntry(int kind, const std::string& name) {
  std::string e(17, '\0');
  e[0] = static_cast<char>(kind);
  e.replace(1, name.size(), name);
  return e;
}

fakebce::NetAnswer wsAnswer(int32_t rc, std::string bytes = {}, std::vector<std::string> items = {}) {
  fakebce::NetAnswer a;
  a.rc = rc;
  a.bytes = std::move(bytes);
  a.items = std::move(items);
  return a;
}

class WsListTest : public NetUIFixture, public ::testing::WithParamInterface<const WsCase*> {
 protected:
  void SetUp() override {
    NetUIFixture::SetUp();
    dialogs_.on(2198, press(IDOK));
    dialogs_.on(2205, press(IDOK));
  }
  const WsCase& c() const { return *GetParam(); }

  // The lists and flags the open reads.
  void scriptOpen(std::vector<std::string> entries, std::string flags) {
    fakebce::pushGetNetInfo(0xFFFF, c().bit, c().listItem, wsAnswer(0, {}, std::move(entries)));
    fakebce::pushGetNetInfo(0xFFFF, c().bit, c().flagsItem, wsAnswer(0, std::move(flags)));
  }
  std::string noFlags() const { return std::string(c().checks.size(), '\0'); }
  // Types `text` into the entry dialog of `kind` and presses `button`, once per run.
  void nextEntry(int kind, std::string text, int button = IDOK) {
    const int edit = c().entryEdits[kind - 1];
    dialogs_.on(c().entryTemplates[kind - 1], [edit, text, button](CDialog& box) {
      static_cast<CEdit*>(box.GetDlgItem(edit))->TypeText(text.c_str());
      box.SendMessage(WM_COMMAND, MAKELONG(button, BN_CLICKED), 0);
    });
  }
  static void click(CDialog& box, int id) { box.SendMessage(WM_COMMAND, MAKELONG(id, BN_CLICKED), 0); }
  static CListBox& listBox(CDialog& box, int id) { return *static_cast<CListBox*>(box.GetDlgItem(id)); }
  static std::vector<std::string> lines(CDialog& box, int id) {
    std::vector<std::string> out;
    for (int i = 0; i < listBox(box, id).GetCount(); ++i) {
      CString t;
      listBox(box, id).GetText(i, t);
      out.push_back(t.str());
    }
    return out;
  }
  // Sets of item `item`, as (bytes) in order.
  std::vector<std::string> sets(USHORT item) const {
    std::vector<std::string> out;
    for (const auto& call : fakebce::callsOf("BceSetNetInfo")) {
      EXPECT_EQ(call.handle, 0xFFFFu);
      EXPECT_EQ(call.netMask, c().bit);
      if (call.code == item) out.push_back(call.request);
    }
    return out;
  }
  // Runs the dialog with `body` acting on it; `body` ends it.
  INT_PTR run(std::function<void(CDialog&)> body) {
    dialogs_.on(c().templateId, std::move(body));
    auto dialog = c().make();
    return dialog->DoModal();
  }
};

TEST_P(WsListTest, OpenListsTheWellFormedEntriesByKindAndSetsTheChecks) {
  std::string flags(c().checks.size(), '\1');
  scriptOpen({wsEntry(1, "GROUP"), wsEntry(2, "PC9"), wsEntry(2, "ALPHA"), wsEntry(3, "ODD"),
              wsEntry(2, "SHORT").substr(0, 16), std::string(1, '\2') + std::string(16, 'X')},
             flags);
  fakebce::pushSetNetInfo(0xFFFF, c().bit, c().flagsItem, wsAnswer(0));
  std::vector<std::string> first, second;
  std::vector<UINT> checks;
  bool removeEnabled = false;
  EXPECT_EQ(run([&](CDialog& box) {
              first = lines(box, c().lists[0]);
              second = lines(box, c().lists[1]);
              for (int id : c().checks) checks.push_back(box.IsDlgButtonChecked(id));
              removeEnabled = box.GetDlgItem(1070)->IsWindowEnabled();
              click(box, 1067);
            }),
            IDOK);
  EXPECT_EQ(first, (std::vector<std::string>{"GROUP"}));
  EXPECT_EQ(second, (std::vector<std::string>{"ALPHA", "PC9"})) << "sorted; no short, odd or unended entry";
  EXPECT_EQ(checks, std::vector<UINT>(c().checks.size(), BST_CHECKED));
  EXPECT_TRUE(removeEnabled);
  const auto gets = fakebce::callsOf("BceGetNetInfo");
  ASSERT_EQ(gets.size(), 2u);
  EXPECT_EQ(gets[1].request.size(), c().checks.size()) << "the flags asked with their length";
  EXPECT_EQ(sets(c().flagsItem), std::vector<std::string>{flags});
  EXPECT_EQ(dialogs_.runs(2198), 0);
  EXPECT_EQ(broker().module, nullptr);
}

TEST_P(WsListTest, AddSendsTheCleanedNameOnceAndListsItOnlyWhenSent) {
  scriptOpen({}, noFlags());
  for (int i = 0; i < 3; ++i) fakebce::pushSetNetInfo(0xFFFF, c().bit, c().addItem, wsAnswer(0));
  fakebce::pushSetNetInfo(0xFFFF, c().bit, c().addItem, wsAnswer(-5));
  dialogs_.on(2177, press(IDCANCEL));
  std::vector<std::string> first, second;
  bool removeAtOpen = true;
  run([&](CDialog& box) {
    removeAtOpen = box.GetDlgItem(1070)->IsWindowEnabled();
    nextEntry(2, c().typedServer);
    click(box, c().adds[1]);
    nextEntry(2, "PC1");  // listed already: nothing sent, nothing shown
    click(box, c().adds[1]);
    nextEntry(2, "pc1");  // case counts
    click(box, c().adds[1]);
    nextEntry(1, "PC1");  // the other list may hold it too
    click(box, c().adds[0]);
    nextEntry(1, "LOST");  // the set fails: not listed
    click(box, c().adds[0]);
    first = lines(box, c().lists[0]);
    second = lines(box, c().lists[1]);
    click(box, IDCANCEL);
  });
  EXPECT_FALSE(removeAtOpen);
  EXPECT_EQ(sets(c().addItem), (std::vector<std::string>{wsEntry(2, "PC1"), wsEntry(2, "pc1"),
                                                         wsEntry(1, "PC1"), wsEntry(1, "LOST")}));
  EXPECT_EQ(first, (std::vector<std::string>{"PC1"}));
  EXPECT_EQ(second, (std::vector<std::string>{"PC1", "pc1"}));
  EXPECT_EQ(dialogs_.runs(2205), 0);
}

TEST_P(WsListTest, DoneSendsTheFlagsAndAsksForARefreshOnlyForARealChange) {
  const struct {
    const char* what;
    char scanAtOpen;
    bool toggleScan;
    bool toggleSecond;  // CorLink's defined-printers flag
    const char* entry;  // typed into an Add, null: none; "" cancelled
    bool refresh;
  } cases[] = {
      {"nothing", 0, false, false, nullptr, false},
      {"scan turned on", 0, true, false, nullptr, true},
      {"scan turned off", 1, true, false, nullptr, false},
      {"blanks only", 1, false, false, "   ", true},
      {"a cancelled add", 1, false, false, "", false},
      {"defined printers alone", 0, false, true, nullptr, false},
  };
  for (const auto& k : cases) {
    if (k.toggleSecond && c().checks.size() < 2) continue;
    SCOPED_TRACE(k.what);
    fakebce::reset();
    const int before = dialogs_.runs(2198);
    std::string flags = noFlags();
    flags[0] = k.scanAtOpen;
    scriptOpen({}, flags);
    fakebce::pushSetNetInfo(0xFFFF, c().bit, c().flagsItem, wsAnswer(0));
    run([&](CDialog& box) {
      if (k.toggleScan) static_cast<CButton*>(box.GetDlgItem(c().checks[0]))->Click();
      if (k.toggleSecond) static_cast<CButton*>(box.GetDlgItem(c().checks[1]))->Click();
      if (k.entry) {
        nextEntry(1, k.entry, *k.entry ? IDOK : IDCANCEL);
        click(box, c().adds[0]);
      }
      click(box, 1067);
    });
    std::string sent = flags;
    if (k.toggleScan) sent[0] = !k.scanAtOpen;
    if (k.toggleSecond) sent[1] = 1;
    EXPECT_EQ(sets(c().flagsItem), std::vector<std::string>{sent});
    EXPECT_TRUE(sets(c().addItem).empty());
    EXPECT_EQ(dialogs_.runs(2198) - before, k.refresh ? 1 : 0);
  }
}

TEST_P(WsListTest, RemoveWalksTheSecondListFirstLastToFirstAndStopsAtAFailure) {
  scriptOpen({wsEntry(1, "G1"), wsEntry(1, "G2"), wsEntry(1, "G3"), wsEntry(2, "C1"), wsEntry(2, "C2")},
             noFlags());
  fakebce::pushSetNetInfo(0xFFFF, c().bit, c().removeItem, wsAnswer(0));
  std::vector<std::string> first, second;
  bool removeEnabled = false;
  run([&](CDialog& box) {
    for (int i : {0, 2}) listBox(box, c().lists[0]).SetSel(i);
    listBox(box, c().lists[1]).SetSel(-1);
    click(box, 1070);
    first = lines(box, c().lists[0]);
    second = lines(box, c().lists[1]);
    removeEnabled = box.GetDlgItem(1070)->IsWindowEnabled();
    click(box, IDCANCEL);
  });
  EXPECT_EQ(sets(c().removeItem), (std::vector<std::string>{wsEntry(2, "C2"), wsEntry(2, "C1"),
                                                            wsEntry(1, "G3"), wsEntry(1, "G1")}));
  EXPECT_EQ(first, (std::vector<std::string>{"G2"}));
  EXPECT_TRUE(second.empty());
  EXPECT_TRUE(removeEnabled);

  // A failed removal keeps its line and ends the pass.
  fakebce::reset();
  scriptOpen({wsEntry(1, "G1"), wsEntry(2, "C1"), wsEntry(2, "C2")}, noFlags());
  fakebce::pushSetNetInfo(0xFFFF, c().bit, c().removeItem, wsAnswer(-5));
  dialogs_.on(2177, press(IDCANCEL));
  run([&](CDialog& box) {
    listBox(box, c().lists[0]).SetSel(-1);
    listBox(box, c().lists[1]).SetSel(-1);
    click(box, 1070);
    first = lines(box, c().lists[0]);
    second = lines(box, c().lists[1]);
    click(box, IDCANCEL);
  });
  EXPECT_EQ(sets(c().removeItem), (std::vector<std::string>{wsEntry(2, "C2")}));
  EXPECT_EQ(first, (std::vector<std::string>{"G1"}));
  EXPECT_EQ(second, (std::vector<std::string>{"C1", "C2"}));

  // The last lines gone: Remove Current is disabled.
  fakebce::reset();
  scriptOpen({wsEntry(2, "C1")}, noFlags());
  fakebce::pushSetNetInfo(0xFFFF, c().bit, c().removeItem, wsAnswer(0));
  run([&](CDialog& box) {
    listBox(box, c().lists[1]).SetSel(0);
    click(box, 1070);
    removeEnabled = box.GetDlgItem(1070)->IsWindowEnabled();
    click(box, IDCANCEL);
  });
  EXPECT_FALSE(removeEnabled);
}

TEST_P(WsListTest, AFailedOpenClosesAndALaterGoodOpenStillSendsTheFlags) {
  for (USHORT failing : {c().listItem, c().flagsItem}) {
    fakebce::reset();
    if (failing == c().flagsItem) fakebce::pushGetNetInfo(0xFFFF, c().bit, c().listItem, wsAnswer(0));
    fakebce::pushGetNetInfo(0xFFFF, c().bit, failing, wsAnswer(-5));
    dialogs_.on(2180, press(IDCANCEL));
    dialogs_.on(c().templateId, [](CDialog&) { ADD_FAILURE() << "the dialog stayed open"; });
    auto failed = c().make();
    EXPECT_EQ(failed->DoModal(), IDCANCEL);
    EXPECT_EQ(broker().module, nullptr) << "a failed open frees the broker";
  }
  fakebce::reset();
  scriptOpen({}, noFlags());
  fakebce::pushSetNetInfo(0xFFFF, c().bit, c().flagsItem, wsAnswer(0));
  EXPECT_EQ(run([](CDialog& box) { click(box, 1067); }), IDOK);
  EXPECT_EQ(sets(c().flagsItem).size(), 1u);
}

TEST_P(WsListTest, F1OnAListedControlGivesItsTopic) {
  scriptOpen({}, noFlags());
  using Table = std::vector<std::pair<DWORD, DWORD>>;
  run([&](CDialog& box) {
    HELPINFO info;
    info.iCtrlId = c().lists[1];
    info.hItemHandle = box.GetDlgItem(c().lists[1])->GetSafeHwnd();
    box.SendMessage(WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    click(box, IDCANCEL);
  });
  const auto calls = shell_.help.calls();
  ASSERT_EQ(calls.size(), 1u);
  const Table& table = calls[0].controlTable;
  const DWORD topic = c().bit == 16 ? 9002 : 7102;
  EXPECT_NE(std::find(table.begin(), table.end(), std::make_pair(DWORD(c().lists[1]), topic)), table.end());
  EXPECT_NE(std::find(table.begin(), table.end(), std::make_pair(DWORD(1067), DWORD(9003))), table.end());
}

INSTANTIATE_TEST_SUITE_P(Dialogs, WsListTest, ::testing::Values(&kP2P, &kCL),
                         [](const auto& info) { return std::string(info.param->name); });

class WsEntryTest : public NetUIFixture {};

// CorLink names refuse "/\{};:,|><+=?*" and control codes; peer names take any.
TEST_F(WsEntryTest, CorLinkEntriesRefuseTheirCharactersAndKeepThePreviousText) {
  dialogs_.on(2205, press(IDOK));
  const struct {
    const char* typed;
    bool refused;
  } cases[] = {{"SRV;", true}, {"SRV\x01", true}, {"SR/V", true}, {"SRV*", true}, {"SRV-2_x", false}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.typed);
    const int before = dialogs_.runs(2205);
    CString after;
    int start = -1, end = -1;
    bool okEnabled = true;
    dialogs_.on(2189, [&](CDialog& box) {
      auto* edit = static_cast<CEdit*>(box.GetDlgItem(1176));
      okEnabled = box.GetDlgItem(IDOK)->IsWindowEnabled();
      edit->TypeText("SRV");
      edit->TypeText(k.typed);
      box.GetDlgItemText(1176, after);
      edit->GetSel(start, end);
      box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0);
    });
    CLAddSrv entry;
    EXPECT_EQ(entry.DoModal(), IDOK);
    EXPECT_FALSE(okEnabled) << "OK waits for a change";
    EXPECT_EQ(dialogs_.runs(2205) - before, k.refused ? 1 : 0);
    EXPECT_EQ(after.str(), k.refused ? "SRV" : k.typed);
    EXPECT_EQ(entry.m_name.str(), after.str());
    if (k.refused) {
      EXPECT_EQ(start, 3);
      EXPECT_EQ(end, 3);
    }
  }
  // A peer computer name takes them; a 16th character is not typed.
  dialogs_.on(2159, [](CDialog& box) {
    static_cast<CEdit*>(box.GetDlgItem(1073))->TypeText("PC;1234567890ABCDEF");
    box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0);
  });
  P2PAddPC peer;
  EXPECT_EQ(peer.DoModal(), IDOK);
  EXPECT_EQ(peer.m_name.str(), "PC;1234567890AB");
  EXPECT_EQ(dialogs_.runs(2205), 4);
}

}  // namespace
}  // namespace wf::netui::testing
