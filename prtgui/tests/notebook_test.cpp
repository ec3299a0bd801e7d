// Opening a printer's notebook in its frame: cascade, re-activation, pages
// from the network library, routing of the notebook messages, activation,
// help, the status line, flashing and the icon going while it is open.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "framework/gdi.h"
#include "framework/global_memory.h"
#include "notebook_fixture.h"

namespace wf::testing {
namespace {

// An item a resource message hands over, as the listing workers do.
struct ListedItem : CObject {};
struct CountedItem : CObject {
  CountedItem() { ++live; }
  ~CountedItem() override { --live; }
  static inline int live = 0;
};

constexpr ULONG kNotebookNetWare = 0x1, kNotebookTcpIp = 0x2, kNotebookCorLink = 0x4;  // request-object transport bits

class NotebookTest : public NotebookFixture {
 protected:
  static CPrtOpenDlg* notebookOf(CWFPrinterIcon* icon) {
    return icon->GetOpenFrame() ? icon->GetOpenFrame()->GetNotebook() : nullptr;
  }
  static std::pair<int, int> topLeft(CWnd* window) {
    CRect rect;
    window->GetWindowRect(&rect);
    return {rect.left, rect.top};
  }
  // Posts to the notebook as workers do, then delivers.
  void post(CWFPrinterIcon* icon, UINT message, LPARAM lParam = 0) {
    ASSERT_NE(icon->GetOpenDlgHandle(), 0u);
    PostMessage(icon->GetOpenDlgHandle(), message, 0, lParam);
    pump();
  }
  static HGLOBAL textBlock(const char* text) {
    HGLOBAL block = GlobalAlloc(GHND, std::strlen(text) + 1);
    std::memcpy(GlobalLock(block), text, std::strlen(text) + 1);
    GlobalUnlock(block);
    return block;
  }
  void close(CWFPrinterIcon* icon) {
    icon->GetOpenFrame()->SendMessage(WM_CLOSE);
    pump();
  }
};

TEST_F(NotebookTest, FramesCascadeAndAnOpenNotebookComesForwardOnTheRequestedPage) {
  CWFPrinterIcon* first = makeIcon(80, {});
  CWFPrinterIcon* second = makeIcon(81, {});
  ASSERT_TRUE(first->OpenPrinterA(0));
  CPrtOpenFrame* frame = first->GetOpenFrame();
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(topLeft(frame), std::make_pair(70, 70));
  CPrtOpenDlg* notebook = notebookOf(first);
  EXPECT_EQ(first->GetOpenDlgHandle(), notebook->m_hWnd);
  EXPECT_EQ(notebook->GetParent(), frame);
  EXPECT_EQ(first->GetPageCount(), 3);
  EXPECT_EQ(notebook->GetCurrentPage(), 0);
  CString title;
  frame->GetWindowText(title);
  EXPECT_EQ(title, first->GetLongName());
  EXPECT_EQ(shell_.waitCursor.events(), (std::vector<bool>{true, false}));

  ASSERT_TRUE(second->OpenPrinterA(WF_VIEW_STATISTICS));
  EXPECT_EQ(topLeft(second->GetOpenFrame()), std::make_pair(90, 90));
  EXPECT_EQ(notebookOf(second)->GetCurrentPage(), 2);
  EXPECT_EQ(app_.GetCascadePos()->x, 90);

  // Again on the first printer: the same frame, now on the panel page, restored.
  frame->ShowWindow(SW_MINIMIZE);
  ASSERT_TRUE(first->OpenPrinterA(WF_VIEW_OPPANEL));
  EXPECT_EQ(first->GetOpenFrame(), frame);
  EXPECT_EQ(notebook->GetCurrentPage(), 1);
  EXPECT_FALSE(frame->IsIconic());
  EXPECT_EQ(topLeft(frame), std::make_pair(70, 70));
  EXPECT_EQ(app_.GetCascadePos()->x, 90) << "no new frame, no cascade step";
  EXPECT_EQ(shell_.waitCursor.depth(), 0);

  // A frame that would leave the right edge goes back onto the diagonal.
  CWFPrinterIcon* third = makeIcon(82, {});
  CClientDC screen(nullptr);
  const int width = screen.GetDeviceCaps(HORZRES);
  app_.GetCascadePos()->x = width - 40;
  ASSERT_TRUE(third->OpenPrinterA(0));
  CRect placed;
  third->GetOpenFrame()->GetWindowRect(&placed);
  EXPECT_EQ(placed.left, (width - 20 + placed.Width()) % width);
  EXPECT_EQ(placed.top, placed.left);
}

TEST_F(NotebookTest, CascadeRule) {
  const struct {
    WF_CASCADE_POS before;
    int w, h, screenW, screenH;
    int x, y;
  } cases[] = {
      {{50, 50, 20}, 400, 300, 1024, 768, 70, 70},
      {{700, 100, 20}, 400, 300, 1024, 768, 96, 96},  // off the right: (720 + 400) % 1024
      {{100, 500, 20}, 400, 300, 1024, 768, 52, 52},  // off the bottom: (520 + 300) % 768
      {{50, 50, 20}, 400, 300, 0, 0, 70, 70},         // no display: stepped, never divided
      {{50, 50, 20}, 400, 300, 1024, 0, 70, 70},
  };
  for (const auto& c : cases) {
    WF_CASCADE_POS pos = c.before;
    wf::prtgui::stepCascade(pos, c.w, c.h, c.screenW, c.screenH);
    EXPECT_EQ(pos.x, c.x) << c.before.x << "," << c.before.y;
    EXPECT_EQ(pos.y, c.y) << c.before.x << "," << c.before.y;
  }
}

TEST_F(NotebookTest, ClosingRemembersThePageForTheNextOpening) {
  CWFPrinterIcon* icon = makeIcon(83, {});
  ASSERT_TRUE(icon->OpenPrinterA(0));
  notebookOf(icon)->SetActivePage(2);
  close(icon);
  EXPECT_EQ(icon->GetOpenFrame(), nullptr);
  EXPECT_EQ(icon->GetOpenDlgHandle(), 0u);
  EXPECT_EQ(icon->GetDefaultView(), 2u);
  ASSERT_TRUE(icon->OpenPrinterA(0));
  EXPECT_EQ(notebookOf(icon)->GetCurrentPage(), 2);

  // A remembered page the notebook no longer has opens page 0.
  close(icon);
  icon->SetDefaultView(7);
  ASSERT_TRUE(icon->OpenPrinterA(0));
  EXPECT_EQ(notebookOf(icon)->GetCurrentPage(), 0);
}

TEST_F(NotebookTest, NetworkPagesComeFromTheLibraryInOrder) {
  CWFPrinterIcon* icon = makeIcon(84, {true, true, kNotebookNetWare | kNotebookTcpIp});
  ASSERT_TRUE(icon->OpenPrinterA(WF_VIEW_TCPIP));
  CPrtOpenDlg* notebook = notebookOf(icon);
  EXPECT_EQ(notebook->GetPageCount(), 6);
  EXPECT_EQ(icon->GetPageCount(), 6);
  EXPECT_EQ(notebook->GetCurrentPage(), 5);
  EXPECT_EQ(netQueries(), (std::vector<std::pair<USHORT, UINT>>{{84, 0}, {84, 1}, {84, 2}}));
  EXPECT_EQ(factoryCalls(), (std::vector<std::pair<int, void*>>(3, {0, icon})));
  EXPECT_NE(dynamic_cast<CWFPropertyPage*>(notebook->GetPage(3)), nullptr);
  EXPECT_EQ(notebook->GetPage(5)->GetCaption().str(), "Network");
}

TEST_F(NotebookTest, RefusedAndEmptyNetworkPagesAreLeftOut) {
  CWFPrinterIcon* icon = makeIcon(85, {false, true, kNotebookNetWare | kNotebookTcpIp | kNotebookCorLink});
  script_(85, 0, FALSE, kMockFactoryPage);   // no adapter page
  script_(85, 8, TRUE, kMockFactoryNull);    // TRUE without a factory
  script_(85, 1, TRUE, kMockFactoryNoPage);  // a factory that makes nothing
  // The TCP/IP page was the fourth; with three refused it is the only one.
  ASSERT_TRUE(icon->OpenPrinterA(WF_VIEW_TCPIP));
  CPrtOpenDlg* notebook = notebookOf(icon);
  EXPECT_EQ(notebook->GetPageCount(), 1);
  EXPECT_EQ(notebook->GetCurrentPage(), 0);
  EXPECT_EQ(netQueries(), (std::vector<std::pair<USHORT, UINT>>{{85, 0}, {85, 8}, {85, 1}, {85, 2}}));
  EXPECT_EQ(factoryCalls().size(), 2u);

  // Routed to a page index the notebook does not have: dropped, and the
  // item it owns freed (ASan).
  post(icon, WM_WF_RESNEWITEM, reinterpret_cast<LPARAM>(new ListedItem));
  close(icon);

  // Nothing at all: no window is made and the icon forgets the notebook.
  script_(85, 2, FALSE, kMockFactoryPage);
  EXPECT_FALSE(icon->OpenPrinterA(0));
  EXPECT_EQ(icon->GetOpenFrame(), nullptr);
  EXPECT_EQ(icon->GetOpenDlgHandle(), 0u);
  EXPECT_EQ(icon->GetPageCount(), 0);
  EXPECT_EQ(shell_.waitCursor.depth(), 0);
}

// The real network library beside the test program, over the scripted
// broker: its page classes fill the factory table, so the notebook holds
// the family's pages and the library's one adapter page.
TEST_F(NotebookTest, TheRealLibraryAddsItsAdapterPageAndNothingBreaks) {
  CWFPrinterIcon* icon = makeIcon(86, {true, true, kNetWare | kTcpIp});
  wf::freeModule(std::exchange(app_.netSet, nullptr));
  wf::setModuleSearchPath({WF_SCRIPTED_CORBCE_DIR});
  ASSERT_TRUE(app_.loadNetSetDLL());
  ASSERT_EQ(wf::moduleEntry(app_.netSet, "MockNetUIReset"), nullptr) << "the stand-in was loaded";
  ASSERT_TRUE(icon->OpenPrinterA(0));
  CPrtOpenDlg* notebook = notebookOf(icon);
  EXPECT_EQ(notebook->GetPageCount(), 4);
  std::vector<std::string> adapterPages;
  for (int i = 0; i < notebook->GetPageCount(); ++i)
    if (notebook->GetPage(i)->GetCaption().str() == "Adapter Settings")
      adapterPages.push_back(notebook->GetPage(i)->GetRuntimeClass()->m_lpszClassName);
  EXPECT_EQ(adapterPages.size(), 1u);
  close(icon);
}

TEST_F(NotebookTest, MessagesReachOnlyTheirShownPageThroughItsVirtuals) {
  auto* icon = static_cast<NotebookIcon*>(makeIcon(86, {}));
  icon->setResourcePage(TRUE);
  ASSERT_TRUE(icon->OpenPrinterA(0));
  // The status page's activation arms the panel alerts and reads the panel too.
  const auto work = runWork();
  const std::string name = "[" + icon->GetLongName().str() + "] ";
  EXPECT_EQ(work, (std::vector<std::pair<std::string, int>>{
                      {name + "ArmAlerts() for Panel", 1},
                      {name + "UpdateGraphicInfo() from CPrtOpenDlg::OnCreate()", 1},
                      {name + "UpdateROPData() from CPrtOStatus::OnSetActive()", 0}}));
  pump();  // the workers' own refreshes
  log_.lines.clear();

  // Only the status page has a window: the panel page was never shown.
  for (UINT message : {WM_WF_OPPANEL, WM_WF_JOBSTAT, WM_WF_RESMGMT, WM_WF_RESQUERYDISK, WM_WF_RESLISTINGDONE})
    post(icon, message, 5);
  post(icon, WM_WF_RESNEWITEM, reinterpret_cast<LPARAM>(new ListedItem));
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"status mini panel"}));

  CPrtOpenDlg* notebook = notebookOf(icon);
  notebook->SetActivePage(2);
  notebook->SetActivePage(3);
  notebook->SetActivePage(1);
  log_.lines.clear();
  for (UINT message : {WM_WF_OPPANEL, WM_WF_JOBSTAT, WM_WF_RESMGMT, WM_WF_RESQUERYDISK, WM_WF_RESLISTINGDONE,
                       WM_WF_RESNEWITEM})
    post(icon, message, 5);
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"status mini panel", "panel show", "statistics show",
                                                  "resources show", "resources query disk",
                                                  "resources listing done", "resources new item 5"}));

  // A rename: every shown page rereads, the status line and the title follow.
  log_.lines.clear();
  icon->SetName("Upstairs");
  post(icon, WM_WF_UPDATEPAGE);
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"status show", "status mini panel", "panel show",
                                                  "statistics show", "resources show"}));
  CString title;
  icon->GetOpenFrame()->GetWindowText(title);
  EXPECT_EQ(title, icon->GetLongName());
  EXPECT_NE(title.str().find("Upstairs"), std::string::npos);
  EXPECT_EQ(notebook->GetMessageA(), icon->GetStatus());
}

TEST_F(NotebookTest, ANotebookWithoutBidiPagesDropsEveryPageMessage) {
  CWFPrinterIcon* icon = makeIcon(87, {false, true, kNotebookNetWare});
  ASSERT_TRUE(icon->OpenPrinterA(0));
  EXPECT_EQ(runWork(), (std::vector<std::pair<std::string, int>>{})) << "no graphic information without bidi";
  EXPECT_EQ(notebookOf(icon)->GetMessageA(), icon->GetStatus());
  for (UINT message : {WM_WF_UPDATEPAGE, WM_WF_OPPANEL, WM_WF_JOBSTAT, WM_WF_RESMGMT, WM_WF_RESQUERYDISK,
                       WM_WF_RESLISTINGDONE})
    post(icon, message);
  post(icon, WM_WF_RESNEWITEM, reinterpret_cast<LPARAM>(new ListedItem));
  EXPECT_TRUE(log_.lines.empty());
  EXPECT_EQ(notebookOf(icon)->GetPageCount(), 2);
}

TEST_F(NotebookTest, ItemsStillQueuedWhenTheNotebookClosesAreFreed) {
  auto* icon = static_cast<NotebookIcon*>(makeIcon(94, {}));
  icon->setResourcePage(TRUE);
  ASSERT_TRUE(icon->OpenPrinterA(0));
  runWork();
  pump();
  const HWND notebook = icon->GetOpenDlgHandle();
  ASSERT_TRUE(PostMessage(notebook, WM_WF_RESNEWITEM, 0, reinterpret_cast<LPARAM>(new CountedItem)));
  ASSERT_TRUE(PostMessage(notebook, WM_WF_RESNEWITEM, 0, reinterpret_cast<LPARAM>(new CountedItem)));
  EXPECT_EQ(CountedItem::live, 2);
  icon->GetOpenFrame()->SendMessage(WM_CLOSE);  // closes before the posts are dispatched
  EXPECT_FALSE(IsWindow(notebook));
  EXPECT_EQ(CountedItem::live, 2);
  pump();
  EXPECT_EQ(CountedItem::live, 0);
}

TEST_F(NotebookTest, StatusLineShowsPostedTextsThenThePrinterStatus) {
  CWFPrinterIcon* icon = makeIcon(88, {});
  ASSERT_TRUE(icon->OpenPrinterA(0));
  CPrtOpenDlg* notebook = notebookOf(icon);
  CString reading;
  reading.LoadString(451);
  EXPECT_EQ(notebook->GetMessageA(), reading);

  post(icon, WM_WF_MESSAGE, reinterpret_cast<LPARAM>(textBlock("Listing the disk...")));
  EXPECT_EQ(notebook->GetMessageA().str(), "Listing the disk...");
  post(icon, WM_WF_MESSAGE, 0);
  EXPECT_EQ(notebook->GetMessageA(), icon->GetStatus());
  notebook->UpdateMessage("direct");
  EXPECT_EQ(icon->GetOpenFrame()->GetStatusText().str(), "direct");

  // After the notebook closed a post finds no window; its text is freed all the same.
  const HWND gone = icon->GetOpenDlgHandle();
  close(icon);
  HGLOBAL late = textBlock("too late");
  EXPECT_FALSE(PostMessage(gone, WM_WF_MESSAGE, 0, reinterpret_cast<LPARAM>(late)));
  EXPECT_EQ(GlobalSize(late), 0u);
}

TEST_F(NotebookTest, LeavingTheApplicationOnAnotherPageDisarmsThePanelAlerts) {
  auto* icon = static_cast<NotebookIcon*>(makeIcon(89, {}));
  ASSERT_TRUE(icon->OpenPrinterA(0));
  runWork();
  icon->armPanelAlerts();
  CPrtOpenFrame* frame = icon->GetOpenFrame();
  const WPARAM inactive = MAKELONG(WA_INACTIVE, 0);

  for (int page : {0, 1}) {
    notebookOf(icon)->SetActivePage(page);
    frame->SendMessage(WM_ACTIVATE, inactive, 0);
    EXPECT_TRUE(runWork().empty()) << page;
  }
  notebookOf(icon)->SetActivePage(2);
  frame->SendMessage(WM_ACTIVATE, MAKELONG(WA_ACTIVE, 0), 0);
  EXPECT_TRUE(runWork().empty()) << "becoming active changes nothing";
  fakebce::reset();
  frame->SendMessage(WM_ACTIVATE, inactive, 0);
  const auto work = runWork();
  ASSERT_EQ(work.size(), 1u);
  EXPECT_NE(work[0].first.find("ArmAlerts() for Panel"), std::string::npos);
  bool captured = false;
  for (const auto& call : fakebce::calls())
    if (call.function == "BceCaptureAlerts") {
      captured = true;
      EXPECT_EQ(call.netMask & 0x10000, 0u);
    }
  EXPECT_TRUE(captured);
}

TEST_F(NotebookTest, HelpOnTheNotebookReachesTheActivePage) {
  CWFPrinterIcon* icon = makeIcon(90, {});
  ASSERT_TRUE(icon->OpenPrinterA(WF_VIEW_STATISTICS));
  HELPINFO info;
  info.hItemHandle = 5;
  ::SendMessage(icon->GetOpenDlgHandle(), WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
  ::SendMessage(icon->GetOpenDlgHandle(), WM_CONTEXTMENU, 6, 0);
  const auto calls = shell_.help.calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].helpFile, "/opt/wrenfield/help/WRENFLD.HLP");
  EXPECT_EQ(calls[0].command, HELP_WM_HELP);
  EXPECT_EQ(calls[0].window, 5u);
  ASSERT_EQ(calls[0].controlTable.size(), 19u) << "the statistics page's table";
  EXPECT_EQ(calls[0].controlTable.front(), std::make_pair(DWORD{1013}, DWORD{1000}));
  EXPECT_EQ(calls[1].command, HELP_CONTEXTMENU);
  EXPECT_EQ(calls[1].window, 6u);
}

TEST_F(NotebookTest, AHardErrorFlashesTheCaptionUntilTheNotebookCloses) {
  CWFPrinterIcon* icon = makeIcon(91, {});
  CWFAlert jam(91, nullptr, 0, 1524, CWFAlert::ACTIVE, 0, 6104, FALSE, FALSE, TRUE, FALSE);
  icon->GetAlertStorage().LogEvent(&jam, "Paper Jam", CFilename(), 0);
  const std::size_t iconsBefore = wf::fw::liveIconCount();
  ASSERT_TRUE(icon->OpenPrinterA(0));
  CPrtOpenFrame* frame = icon->GetOpenFrame();
  pump();
  EXPECT_EQ(app_.flashList(), std::vector<CWnd*>{frame});
  const HICON error = frame->GetIcon(FALSE);
  const HICON big = frame->GetIcon(TRUE);
  ASSERT_NE(error, nullptr);
  ASSERT_NE(big, nullptr);
  EXPECT_FALSE(frame->GetShowError()) << "the error image is shown, the normal one comes next";

  app_.tickFlash();
  pump();
  const HICON normal = frame->GetIcon(FALSE);
  EXPECT_NE(normal, error);
  EXPECT_TRUE(frame->GetShowError());
  app_.tickFlash();
  pump();
  EXPECT_EQ(frame->GetIcon(FALSE), error);
  EXPECT_EQ(frame->GetIcon(TRUE), big) << "the big icon does not flash";

  // Flashing switched off meanwhile: the frame still leaves the list.
  app_.flashIcon = FALSE;
  close(icon);
  EXPECT_TRUE(app_.flashList().empty());
  for (HICON made : {error, normal, big}) EXPECT_EQ(GetIconSize(made).cx, 0) << "destroyed with the frame";
  EXPECT_EQ(wf::fw::liveIconCount(), iconsBefore) << "no icon of the frame outlives it";
}

class CountingLine : public CPrtOStatusLine {
 public:
  int paints = 0;
  void OnPaint() {
    ++paints;
    CPrtOStatusLine::OnPaint();
  }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CountingLine, CPrtOStatusLine)
ON_WM_PAINT()
END_MESSAGE_MAP()

TEST_F(NotebookTest, SameStatusTextTwicePaintsOnce) {
  CWnd parent;
  ASSERT_TRUE(
      parent.CreateEx(0, "StatusParent", "status", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 80, 0));
  CountingLine line;
  ASSERT_TRUE(line.CreateEx(0, WC_STATIC, "", WS_CHILD | WS_VISIBLE, 0, 40, 300, 20, parent.m_hWnd,
                            CPrtOStatusLine::kId));
  wf::fw::testing::pumpUntil([&] { return line.paints > 0; });
  const int before = line.paints;
  line.SetText("Ready");
  EXPECT_EQ(line.paints, before + 1);
  line.SetText("Ready");
  EXPECT_EQ(line.paints, before + 1);
  EXPECT_EQ(line.GetText().str(), "Ready");
  parent.DestroyWindow();
}

TEST_F(NotebookTest, DeletingTheIconFromAWorkerClosesItsNotebookFirst) {
  CWFPrinterIcon* icon = makeIcon(92, {});
  ASSERT_TRUE(icon->OpenPrinterA(WF_VIEW_STATISTICS));
  CPrtOpenFrame* frame = icon->GetOpenFrame();
  const HWND frameWindow = frame->m_hWnd;
  std::atomic<bool> deleted{false};
  std::thread worker([&] {
    list_.DeleteAllPrinters();
    deleted = true;
  });
  ASSERT_TRUE(wf::fw::testing::pumpUntil([&] {
    pump();
    return deleted.load();
  }));
  worker.join();
  EXPECT_FALSE(IsWindow(frameWindow));
  EXPECT_TRUE(icons().empty());
}

TEST_F(NotebookTest, DeletingTheIconOnTheGuiThreadClosesItsNotebookAtOnce) {
  CWFPrinterIcon* icon = makeIcon(93, {});
  ASSERT_TRUE(icon->OpenPrinterA(0));
  const HWND notebook = icon->GetOpenDlgHandle();
  list_.DeleteAllPrinters();
  EXPECT_FALSE(IsWindow(notebook));
  pump();  // the notebook's posts of the closing go nowhere
}

}  // namespace
}  // namespace wf::testing
