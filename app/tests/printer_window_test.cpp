// A user working in the printer windows: context menus and their enabling,
// mouse and keys on the view, label edits, view modes and sorting, the
// Window menu, Close All and Minimize All, unhandled commands reaching the
// selected printers, and the enabling of the menu bar's commands.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/inventory_dlg.h"
#include "app/list_view.h"
#include "app/main_frame.h"
#include "app/window_list.h"
#include "app_fixture.h"
#include "common/notebook_messages.h"
#include "common/printer_dll.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "common/quick_dlg.h"
#include "framework/controls.h"
#include "framework/menu.h"
#include "framework/virtual_keys.h"
#include "platform/window_messages.h"

namespace {

constexpr DWORD kTestFamily = 0x7E58;
constexpr UINT kFamilyCommand = 40001;
constexpr UINT kTestPage = 32774, kDriverProperties = 32783, kQuickSetupSend = 32781;
constexpr int kDownloadsPosition = 2;
constexpr ULONG kLocal = BCE_NET_LOCAL;
constexpr ULONG kAdmin = 0x8000;

struct Call {
  std::string printer;
  std::string what;
  UINT id;
  bool operator==(const Call&) const = default;
};
std::vector<Call> calls;

// A printer without a printer object: it records what the view asks of it,
// and its connection, rights and address are the test's.
class RecordingIcon : public CWFPrinterIcon {
 public:
  RecordingIcon(void* record, USHORT handle) : CWFPrinterIcon(nullptr, record) { m_hPrinter = handle; }
  static USHORT nextHandle;
  static CWFPrinterIcon* create(WFPrtObj*, void* record) { return new RecordingIcon(record, nextHandle); }

  // A printer that was found: its own port tells it from the others.
  void makeFound(const std::string& port) {
    m_bGhost = FALSE;
    setText(m_port, port.c_str());
  }
  void setConnections(ULONG connections) { m_connections = connections; }
  void setAddress(const char* address) { address_ = address; }

  int OpenPrinterA(UINT page) override {
    calls.push_back({GetName().str(), "open", page});
    return TRUE;
  }
  int HandleExtraMenuCmd(UINT id) override {
    calls.push_back({GetName().str(), "extra", id});
    return FALSE;
  }
  void ShowHelpforError() override { calls.push_back({GetName().str(), "help", 0}); }
  CString GetNetAddress() override { return address_.IsEmpty() ? CWFPrinterIcon::GetNetAddress() : address_; }
  int GetRtBtnPopup(CMenu* menu) override {
    menu->CreatePopupMenu();
    menu->AppendMenu(MF_STRING, kTestPage, "Test Page");
    menu->AppendMenu(MF_STRING, kDriverProperties, "Driver");
    CMenu downloads;
    downloads.CreatePopupMenu();
    downloads.AppendMenu(MF_STRING, 586, "Font");
    menu->AppendMenu(MF_POPUP, reinterpret_cast<UINT_PTR>(downloads.Detach()), "Download");
    menu->AppendMenu(MF_STRING, kQuickSetupSend, "Quick Setup");
    menu->AppendMenu(MF_STRING, kFamilyCommand, "Family");
    return kDownloadsPosition;
  }

 private:
  CString address_;
};
USHORT RecordingIcon::nextHandle = 0;

// Records what an update request sets.
struct ProbeCmdUI : CCmdUI {
  int enabled = -1;
  int checked = -1;
  void Enable(BOOL on) override { enabled = on ? 1 : 0; }
  void SetCheck(int check) override { checked = check; }
};

const wf::fw::MenuItemView* findItem(const std::vector<wf::fw::MenuItemView>& items, UINT id) {
  for (const auto& item : items) {
    if (item.id == id && item.children.empty()) return &item;
    if (const auto* inner = findItem(item.children, id)) return inner;
  }
  return nullptr;
}

class PrinterWindow : public wf::testing::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    calls.clear();
    static const DWORD ids[] = {kTestFamily};
    app_.GetPrinterDLLManager()->RegisterDLL(nullptr, "Test", 0, &RecordingIcon::create, ids, 1, nullptr);
    app_.SetDeleteConf(FALSE);
  }
  void TearDown() override {
    for (auto& [name, icon] : icons_) icon->SetOpenDlgHandle(0);
    closeWindows(app_);
    app_.GetPrinterList()->DeleteAllPrinters();
    AppFixture::TearDown();
  }

  CMainFrame* open(const char* title) { return openWindow(app_, title); }
  RecordingIcon* printer(const std::string& name) {
    if (icons_.count(name)) return icons_[name];
    ENUMBINARYDATA record{};
    std::strncpy(record.name, name.c_str(), sizeof record.name - 1);
    record.familyKey = kTestFamily;
    NETADDRESS address{};
    std::strncpy(address.local, name.c_str(), sizeof address.local - 1);
    RecordingIcon::nextHandle = static_cast<USHORT>(200 + icons_.size());
    auto* icon = static_cast<RecordingIcon*>(app_.GetPrinterList()->CreateGhostPrinter(&address, &record, 0));
    EXPECT_NE(icon, nullptr) << name;
    icon->makeFound("PORT-" + name);
    icons_[name] = icon;
    return icon;
  }
  void fill(CMainFrame* window, std::vector<std::string> names) {
    for (const std::string& name : names) window->GetView()->AddPrinter(printer(name));
  }
  void select(CMainFrame* window, std::vector<int> items, int focused = -1) {
    CWFListView* view = window->GetView();
    for (int i = 0; i < view->GetItemCount(); ++i) view->SetItemState(i, 0, LVIS_SELECTED | LVIS_FOCUSED);
    for (int i : items) view->SetItemState(i, LVIS_SELECTED, LVIS_SELECTED);
    const int focus = focused >= 0 ? focused : (items.empty() ? -1 : items.front());
    if (focus >= 0) view->SetItemState(focus, LVIS_FOCUSED, LVIS_FOCUSED);
  }
  std::vector<std::string> names(CMainFrame* window) {
    std::vector<std::string> out;
    for (CWFPrinterIcon* icon : window->GetView()->Printers()) out.push_back(icon->GetName().str());
    return out;
  }
  void command(CWnd* window, UINT id, WORD code = 0) {
    window->SendMessage(WM_COMMAND, MAKELONG(static_cast<WORD>(id), code), 0);
    dispatch();
  }
  ProbeCmdUI update(CMainFrame* window, UINT id) {
    ProbeCmdUI probe;
    probe.m_nID = id;
    window->OnCmdMsg(id, CN_UPDATE_COMMAND_UI, &probe, nullptr);
    return probe;
  }
  static LPARAM pointOf(CPoint p) {
    return static_cast<LPARAM>(MAKELONG(static_cast<WORD>(p.x), static_cast<WORD>(p.y)));
  }
  CPoint centreOf(CMainFrame* window, int item) {
    RECT r{};
    window->GetView()->GetItemRect(item, &r, LVIR_LABEL);
    return CPoint{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }
  void mouse(CMainFrame* window, UINT message, UINT flags, CPoint at) {
    window->GetView()->SendMessage(message, flags, pointOf(at));
    dispatch();
  }
  QWidget* topWidget(CMainFrame* window) {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->windowTitle().toStdString() == window->GetTitle().str()) return w;
    return nullptr;
  }
  void key(QWidget* w, QEvent::Type type, int qtKey) {
    QKeyEvent event(type, qtKey, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
    dispatch();
  }
  std::vector<std::string> windowEntries(CMainFrame* window) {
    EXPECT_EQ(update(window, 32807).enabled, -1) << "the rebuild leaves the item as it is";
    std::vector<std::string> out;
    for (const auto& popup : wf::fw::viewOfMenu(window->GetMenu()->GetSafeHmenu())) {
      if (popup.children.empty() || popup.children.front().id != 32786) continue;
      for (const auto& item : popup.children)
        if (item.id >= 32807 && item.id <= 32816) out.push_back(std::to_string(item.id) + " " + item.text);
    }
    return out;
  }

  CWFApp app_;
  wf::fw::ScriptedMenuTracker menus_;
  std::map<std::string, RecordingIcon*> icons_;
};

TEST_F(PrinterWindow, PrinterMenuGreysWhatTheSelectedPrintersCannotDo) {
  struct Case {
    const char* what;
    std::vector<ULONG> connections;  // of the three selected printers
    bool connectedGreyed;
    bool quickSetupGreyed;
  };
  const Case cases[] = {
      {"all ghosts", {0, 0, 0}, true, true},
      {"connected, none administered", {kLocal, 0, kLocal}, false, true},
      {"one connected and administered", {0, kLocal | kAdmin, 0}, false, false},
  };
  CMainFrame* window = open("A");
  fill(window, {"P1", "P2", "P3", "P4"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (int i = 0; i < 3; ++i) icons_["P" + std::to_string(i + 1)]->setConnections(c.connections[i]);
    icons_["P4"]->setConnections(kLocal | kAdmin);  // not selected: never counts
    select(window, {0, 1, 2});
    const size_t before = menus_.calls().size();
    mouse(window, WM_RBUTTONDOWN, MK_RBUTTON, centreOf(window, 1));
    ASSERT_EQ(menus_.calls().size(), before + 1);
    const wf::fw::PopupMenuRequest request = menus_.calls().back();
    EXPECT_EQ(request.owner, window->GetView()->GetSafeHwnd());
    EXPECT_TRUE(request.flags & TPM_RIGHTBUTTON);
    auto greyed = [&](UINT id) { return (findItem(request.items, id)->flags & MF_GRAYED) != 0; };
    EXPECT_EQ(greyed(kTestPage), c.connectedGreyed);
    EXPECT_EQ(greyed(kDriverProperties), c.connectedGreyed);
    EXPECT_EQ((request.items.at(kDownloadsPosition).flags & MF_GRAYED) != 0, c.connectedGreyed);
    EXPECT_EQ(greyed(kQuickSetupSend), c.quickSetupGreyed);
    EXPECT_FALSE(greyed(kFamilyCommand));
    EXPECT_EQ(window->GetView()->GetSelectedCount(), 3u) << "a click on a selected item keeps the selection";
  }
}

TEST_F(PrinterWindow, F10AndALoneAltOpenTheFocusedPrintersMenuAtItsLabel) {
  CMainFrame* window = open("Keys");
  fill(window, {"P1", "P2", "P3"});
  select(window, {0, 2}, 2);
  QWidget* top = topWidget(window);
  ASSERT_NE(top, nullptr);
  RECT label{};
  window->GetView()->GetItemRect(2, &label, LVIR_LABEL);
  CPoint expected{label.left, label.top};
  window->GetView()->ClientToScreen(&expected);

  key(top, QEvent::KeyPress, Qt::Key_F10);
  key(top, QEvent::KeyPress, Qt::Key_Alt);
  key(top, QEvent::KeyRelease, Qt::Key_Alt);
  const auto requests = menus_.calls();
  ASSERT_EQ(requests.size(), 2u);
  for (const auto& request : requests) {
    EXPECT_EQ(request.owner, window->GetView()->GetSafeHwnd()) << "the printer's menu, not the menu bar";
    EXPECT_EQ(request.x, expected.x);
    EXPECT_EQ(request.y, expected.y);
    EXPECT_NE(findItem(request.items, kTestPage), nullptr);
  }
}

TEST_F(PrinterWindow, EnterDoubleClickRightClickBesideAndDelete) {
  CMainFrame* window = open("Mouse");
  fill(window, {"P1", "P2", "P3", "P4"});
  select(window, {0, 1, 3});
  window->GetView()->SendMessage(WM_CHAR, VK_RETURN, 1);
  EXPECT_EQ(calls, (std::vector<Call>{{"P1", "open", 0}, {"P2", "open", 0}, {"P4", "open", 0}}));

  calls.clear();
  mouse(window, WM_LBUTTONDBLCLK, MK_LBUTTON, centreOf(window, 2));
  EXPECT_EQ(calls, (std::vector<Call>{{"P3", "open", 0}}));
  calls.clear();
  mouse(window, WM_LBUTTONDBLCLK, MK_LBUTTON | MK_CONTROL, centreOf(window, 1));
  EXPECT_TRUE(calls.empty()) << "Ctrl held opens nothing";

  RECT client{};
  window->GetView()->GetClientRect(&client);
  const CPoint beside{client.right - 4, client.bottom - 4};
  ASSERT_LT(window->GetView()->HitTest(beside), 0);
  for (auto [mode, checked] : {std::pair{1103u, 1103u}, std::pair{1102u, 1102u}}) {
    command(window, mode);
    mouse(window, WM_RBUTTONDOWN, MK_RBUTTON, beside);
    const wf::fw::PopupMenuRequest request = menus_.calls().back();
    EXPECT_EQ(request.owner, window->GetSafeHwnd()) << "menu 130 is the window's";
    for (UINT id : {1100u, 1101u, 1102u, 1103u})
      EXPECT_EQ((findItem(request.items, id)->flags & MF_CHECKED) != 0, id == checked) << id;
    EXPECT_NE(findItem(request.items, 32819), nullptr);
  }
  // A right click on an item with Shift held is not the printer's menu either.
  mouse(window, WM_RBUTTONDOWN, MK_RBUTTON | MK_SHIFT, centreOf(window, 0));
  EXPECT_EQ(menus_.calls().back().owner, window->GetSafeHwnd());

  // Help on the error is the focused printer's only.
  calls.clear();
  select(window, {0, 2}, 2);
  command(window, 32784);
  EXPECT_EQ(calls, (std::vector<Call>{{"P3", "help", 0}}));

  command(window, 1103);
  select(window, {1});
  window->GetView()->SendMessage(WM_KEYDOWN, VK_DELETE, 1);
  EXPECT_EQ(names(window).size(), 4u) << "Delete is posted, not run at once";
  dispatch();
  EXPECT_EQ(names(window), (std::vector<std::string>{"P1", "P3", "P4"}));
}

TEST_F(PrinterWindow, LabelEditLimitsTheTextAndAnAcceptedNameReachesEveryWindowAndTheNotebook) {
  CMainFrame* first = open("A");
  CMainFrame* second = open("B");
  fill(first, {"P1", "P2"});
  fill(second, {"P1"});
  wf::testing::RecordingWindow notebook;
  icons_["P1"]->SetOpenDlgHandle(notebook.wnd()->m_hWnd);
  select(first, {0});
  command(first, 32832);
  CEdit* edit = first->GetView()->GetEditControl();
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->GetLimitText(), 80u);

  auto endEdit = [&](const char* text) {
    NMLVDISPINFO info{};
    info.hdr.hwndFrom = first->GetView()->GetSafeHwnd();
    info.hdr.idFrom = WF_VIEW_ID;
    info.hdr.code = LVN_ENDLABELEDIT;
    info.item.iItem = 0;
    info.item.lParam = reinterpret_cast<LPARAM>(icons_["P1"]);
    info.item.pszText = const_cast<LPSTR>(text);
    first->SendMessage(WM_NOTIFY, WF_VIEW_ID, reinterpret_cast<LPARAM>(&info));
    dispatch();
  };
  endEdit(nullptr);
  endEdit("");
  EXPECT_EQ(icons_["P1"]->GetName(), "P1") << "cancel and an empty text change nothing";
  EXPECT_FALSE(icons_["P1"]->HasUserDefinedName());
  EXPECT_EQ(notebook.count(WM_WF_UPDATEPAGE, 0), 0);

  endEdit("Front desk");
  EXPECT_EQ(icons_["P1"]->GetName(), "Front desk");
  EXPECT_TRUE(icons_["P1"]->HasUserDefinedName());
  EXPECT_EQ(second->GetView()->GetItemText(0, 0), "Front desk");
  EXPECT_EQ(notebook.count(WM_WF_UPDATEPAGE, 0), 1);
}

TEST_F(PrinterWindow, ViewModesKeepTheDetailsWidthsAndSortCommandsMoveTheMark) {
  CMainFrame* window = open("Modes");
  fill(window, {"Carol", "Alice", "Bob"});
  icons_["Carol"]->setAddress("10.0.0.1");
  icons_["Alice"]->setAddress("10.0.0.3");
  icons_["Bob"]->setAddress("10.0.0.2");
  CWFListView* view = window->GetView();
  view->SetColumnWidth(1, 123);
  view->SetColumnWidth(2, 0);
  EXPECT_EQ(view->GetItemText(0, 0), "Carol") << "Details shows the short name";
  command(window, 1102);
  EXPECT_EQ(view->GetViewMode(), 3);
  EXPECT_EQ(view->GetItemText(0, 0), icons_["Carol"]->GetLongName()) << "List shows the long name";
  EXPECT_NE(icons_["Carol"]->GetLongName(), "Carol");
  view->SetColumnWidth(1, 40);
  command(window, 1103);
  EXPECT_EQ(view->GetColumnWidth(1), 123);
  EXPECT_EQ(view->GetColumnWidth(2), 0);

  struct Case {
    UINT command;
    std::vector<std::string> order;
  };
  for (const Case& c : {Case{32803, {"Carol", "Bob", "Alice"}}, Case{32799, {"Alice", "Bob", "Carol"}}}) {
    command(window, c.command);
    EXPECT_EQ(names(window), c.order) << c.command;
    for (UINT id : {32799u, 32800u, 32801u, 32802u, 32803u, 32828u, 32829u, 32830u, 32831u})
      EXPECT_EQ(update(window, id).checked, id == c.command ? 1 : 0) << id;
  }
}

TEST_F(PrinterWindow, WindowMenuListsNineWindowsInTitleOrderAndActivatesOne) {
  std::vector<CMainFrame*> windows;
  for (int i = 9; i >= 1; --i) windows.push_back(open(("W0" + std::to_string(i)).c_str()));
  std::vector<std::string> nine;
  for (int i = 1; i <= 9; ++i)
    nine.push_back(std::to_string(32806 + i) + " &" + std::to_string(i) + ". W0" + std::to_string(i));
  EXPECT_EQ(windowEntries(windows.front()), nine) << "no More Windows... with nine";

  for (int i = 10; i <= 12; ++i) windows.push_back(open(("W" + std::to_string(i)).c_str()));
  std::vector<std::string> twelve = nine;
  twelve.push_back("32816 More Windows...");
  EXPECT_EQ(windowEntries(windows.front()), twelve);

  CMainFrame* w02 = app_.GetWFWindowList()->FindWindowA(1);
  ASSERT_EQ(w02->GetTitle(), "W02");
  w02->ShowWindow(SW_MINIMIZE);
  dispatch();
  ASSERT_TRUE(w02->IsIconic());
  command(windows.front(), 32808);
  EXPECT_FALSE(w02->IsIconic()) << "a minimised window is restored";
}

TEST_F(PrinterWindow, CloseAllRefusesWhileAPrinterWindowOwnsADialog) {
  CMainFrame* first = open("A");
  open("B");
  CWnd dialog;
  ASSERT_TRUE(dialog.CreateEx(0, "TestDialog", "dialog", WS_POPUP, 0, 0, 50, 50, first->GetView()->m_hWnd));
  command(first, 32792);
  EXPECT_EQ(boxTexts(),
            std::vector<std::string>{"Wrenfield cannot close because it has open dialogs.  Close all "
                                     "open Wrenfield dialogs and try again."});
  EXPECT_EQ(shell_.messageBox.calls().at(0).caption, "Wrenfield Printer Utility");
  EXPECT_EQ(app_.GetWFWindowList()->GetCount(), 2);
  dialog.DestroyWindow();

  command(first, 32792);
  EXPECT_EQ(app_.GetWFWindowList()->GetCount(), 0);
  EXPECT_EQ(boxTexts().size(), 1u);
}

TEST_F(PrinterWindow, MinimizeAllMinimisesEveryWindow) {
  std::vector<CMainFrame*> windows = {open("A"), open("B"), open("C")};
  command(windows[1], 32787);
  for (CMainFrame* window : windows) EXPECT_TRUE(window->IsIconic()) << window->GetTitle().str();
}

TEST_F(PrinterWindow, AnUnhandledCommandReachesEachSelectedPrinterOnceInItemOrder) {
  CMainFrame* window = open("Extra");
  fill(window, {"P1", "P2", "P3"});
  const std::vector<Call> once = {{"P1", "extra", kFamilyCommand}, {"P3", "extra", kFamilyCommand}};
  struct Case {
    const char* what;
    std::function<void()> send;
  };
  const Case cases[] = {
      {"menu bar", [&] { command(window, kFamilyCommand); }},
      {"accelerator", [&] { command(window, kFamilyCommand, 1); }},
      {"printer's menu",
       [&] {
         menus_.script(kFamilyCommand);
         mouse(window, WM_RBUTTONDOWN, MK_RBUTTON, centreOf(window, 2));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    select(window, {0, 2}, 2);
    calls.clear();
    c.send();
    EXPECT_EQ(calls, once);
  }
  calls.clear();
  command(window, 1102);
  EXPECT_TRUE(calls.empty()) << "handled commands are not offered";
}

TEST_F(PrinterWindow, UpdatesOfTheMenuBar) {
  CMainFrame* first = open("A");
  fill(first, {"P1"});
  select(first, {0});
  struct Case {
    const char* what;
    std::function<void()> arrange;
    UINT id;
    int enabled;
  };
  const Case cases[] = {
      {"copy with one window", [] {}, 32789, 0},
      {"move with one window", [] {}, 32790, 0},
      {"delete with a selection", [] {}, 32791, 1},
      {"columns in Details", [] {}, 32804, 1},
      {"inventory when idle", [] {}, 32835, 1},
      {"refresh when idle", [] {}, 32819, 1},
      {"columns in List", [&] { command(first, 1102); }, 32804, 0},
      {"copy with two windows", [&] { open("B"); }, 32789, 1},
      {"move with two windows", [] {}, 32790, 1},
      {"inventory while a printer is looked for", [&] { app_.IncreaseEnumSpecCount(); }, 32835, 0},
      {"refresh while a printer is looked for", [] {}, 32819, 1},
      {"refresh during a whole enumeration", [&] { app_.SetGlobalEnumState(1); }, 32819, 0},
      {"inventory during a whole enumeration", [] {}, 32835, 0},
      {"copy without a selection", [&] { select(first, {}); }, 32789, 0},
      {"delete without a selection", [] {}, 32791, 0},
  };
  for (const Case& c : cases) {
    c.arrange();
    EXPECT_EQ(update(first, c.id).enabled, c.enabled) << c.what;
  }
  app_.SetGlobalEnumState(0);
  app_.ReleaseAllEnumSpecs();
  EXPECT_EQ(update(first, 32834).checked, 0);
  command(first, 32834);
  EXPECT_EQ(update(first, 32834).checked, 1);
}

TEST_F(PrinterWindow, EndMessagesIgnoreWhatTheViewDoesNotKnow) {
  CMainFrame* window = open("Ends");
  fill(window, {"P1"});
  CWFListView* view = window->GetView();
  bool deleted = false;
  struct Watched : CDialog {
    bool* flag;
    explicit Watched(bool* f) : flag(f) {}
    ~Watched() override { *flag = true; }
  };
  auto* dialog = new Watched(&deleted);
  Watched stranger(&deleted);
  view->AdoptDialog(dialog);
  app_.SetPrinterInventoryActive(TRUE);
  for (UINT message : {WM_WF_QSDONE, WM_WF_INVENTORYDONE}) {
    view->SendMessage(message, 0, 0);
    view->SendMessage(message, 0, reinterpret_cast<LPARAM>(&stranger));
  }
  EXPECT_FALSE(deleted);
  EXPECT_FALSE(app_.IsPrinterInventoryActive()) << "the end clears the flag whatever it names";
  view->SendMessage(WM_WF_INVENTORYDONE, 0, reinterpret_cast<LPARAM>(dialog));
  EXPECT_TRUE(deleted);
  deleted = false;
  view->SendMessage(WM_WF_INVENTORYDONE, 0, reinterpret_cast<LPARAM>(dialog));
  EXPECT_FALSE(deleted) << "deleted once";

  // A test page's end names a printer: one gone meanwhile gets no box.
  view->SendMessage(WM_WF_TESTPAGEDONE, 1, reinterpret_cast<LPARAM>(icons_["P1"]));
  view->SendMessage(WM_WF_TESTPAGEDONE, 0, 0);
  view->SendMessage(WM_WF_TESTPAGEDONE, 0, reinterpret_cast<LPARAM>(&stranger));
  EXPECT_EQ(boxTexts(),
            std::vector<std::string>{"The test page was sent to " + icons_["P1"]->GetLongName().str() + "."});
  deleted = false;
}

TEST_F(PrinterWindow, QuickSetupAsksFirstAndRefusesPrintersWithoutRights) {
  CMainFrame* window = open("Quick");
  fill(window, {"P1", "P2", "P3"});
  icons_["P3"]->setConnections(kLocal |
                               kAdmin);  // administered, but no printer object to check the file with
  select(window, {0, 1, 2});
  const std::string warning =
      "For Quick Setup to work properly, the printer(s) you are setting up must not be printing jobs.  "
      "Choose OK to "
      "continue Quick Setup, or choose Cancel to cancel Quick Setup.";

  shell_.messageBox.script(IDCANCEL);
  command(window, kQuickSetupSend);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{warning});
  EXPECT_TRUE(shell_.fileDialog.calls().empty()) << "Cancel ends it";

  shell_.fileDialog.script({IDOK, "/nowhere/settings.psf"});
  command(window, kQuickSetupSend);
  const auto dialogs = shell_.fileDialog.calls();
  ASSERT_EQ(dialogs.size(), 1u) << "several printers: one pass";
  EXPECT_TRUE(dialogs[0].open);
  EXPECT_EQ(dialogs[0].defaultExtension, "psf");
  EXPECT_EQ(dialogs[0].filter, "Quick Setup Files (*.PSF)|*.PSF|All Files (*.*)|*.*||");
  EXPECT_TRUE(dialogs[0].flags & OFN_FILEMUSTEXIST);
  auto refused = [&](const char* name) {
    return "You cannot send a Quick Setup file to " + icons_[name]->GetLongName().str() +
           " because you do not have administrative privileges for that printer.";
  };
  EXPECT_EQ(boxTexts(), (std::vector<std::string>{warning, warning, refused("P1"), refused("P2")}));
  for (const auto& box : shell_.messageBox.calls()) EXPECT_EQ(box.caption, "Quick Setup ");
}

TEST_F(PrinterWindow, HelpCommandsAskTheHelpService) {
  CMainFrame* window = open("Help");
  for (UINT id : {57669u, 57666u, 57670u, 57667u}) command(window, id);
  std::vector<UINT> asked;
  for (const auto& call : shell_.help.calls()) asked.push_back(call.command);
  EXPECT_EQ(asked, (std::vector<UINT>{HELP_FINDER, HELP_INDEX, HELP_INDEX, HELP_HELPONHELP}));
  // Shift+F1 is the accelerator of context-help mode.
  command(window, 57668, 1);
  EXPECT_TRUE(InContextHelpMode());
}

TEST_F(PrinterWindow, TheBarsToggleAndTheViewTakesTheirSpace) {
  CMainFrame* window = open("Bars");
  auto viewHeight = [&] {
    RECT r{};
    window->GetView()->GetWindowRect(&r);
    return r.bottom - r.top;
  };
  const int both = viewHeight();
  command(window, 59393);
  const int withoutStatus = viewHeight();
  EXPECT_GT(withoutStatus, both);
  command(window, 59392);
  EXPECT_GT(viewHeight(), withoutStatus);
  command(window, 59392);
  command(window, 59393);
  EXPECT_EQ(viewHeight(), both);
}

TEST_F(PrinterWindow, DownloadsGoToEachSelectedPrinter) {
  // Without the tool kit each printer's download says so.
  CMainFrame* window = open("Downloads");
  fill(window, {"P1", "P2", "P3"});
  select(window, {0, 2});
  for (UINT id : {586u, 587u, 588u}) command(window, id);
  const auto boxes = shell_.messageBox.calls();
  ASSERT_EQ(boxes.size(), 6u);
  for (const auto& box : boxes) {
    EXPECT_EQ(box.text, boxes[0].text);
    EXPECT_EQ(box.owner, window->GetView()->GetSafeHwnd());
  }
}

}  // namespace
