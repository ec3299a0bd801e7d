// The filter predicate, the sort order of the list view and the window list.
#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/list_view.h"
#include "app/main_frame.h"
#include "app/window_filter.h"
#include "app/window_list.h"
#include "app_fixture.h"
#include "common/app_work.h"

namespace {

using wf::testing::AppFixture;

class FakePrinter : public WFFilterSubject {
 public:
  BOOL local = TRUE;
  BOOL network = FALSE;
  BOOL missing = FALSE;
  BOOL bidi = TRUE;
  WFPrtObj::PORTTYPE port = WFPrtObj::PORT_LPT;
  std::map<std::string, std::string> texts;
  std::vector<std::string> asked;

  BOOL IsLocal() override { return local; }
  BOOL IsNetwork() override { return network; }
  BOOL IsMissing() override { return missing; }
  BOOL BidiActive() override { return bidi; }
  WFPrtObj::PORTTYPE PortType() override { return port; }
  CString Name() override { return text("name"); }
  CString Connection() override { return text("connection"); }
  CString NetAddress() override { return text("address"); }
  CString NWLogin() override { return text("login"); }
  CString CLNickname() override { return text("nickname"); }
  CString TCPHost() override { return text("host"); }

 private:
  CString text(const std::string& field) {
    asked.push_back(field);
    return CString(texts[field].c_str());
  }
};

int matcherCalls = 0;
BOOL countingMatch(CString pattern, CString text) {
  ++matcherCalls;
  return pattern == text;
}

TEST(WindowFilter, KindsOfPrinterAndTheirShowFlags) {
  struct Case {
    const char* what;
    BOOL local, network, missing;
    BOOL showLocal, showNetwork, showMissing;
    BOOL passes;
  };
  const Case cases[] = {
      {"default shows a local printer", 1, 0, 0, 1, 1, 1, 1},
      {"default shows a missing network printer", 0, 1, 1, 1, 1, 1, 1},
      {"show local off hides a local printer", 1, 0, 0, 0, 1, 1, 0},
      {"show network off hides a network printer", 0, 1, 0, 1, 0, 1, 0},
      {"show missing off hides a missing local printer", 1, 0, 1, 1, 1, 0, 0},
      {"show network off hides a missing non-local printer", 0, 0, 1, 1, 0, 1, 0},
      {"show network off keeps a missing local printer", 1, 0, 1, 1, 0, 1, 1},
  };
  for (const Case& c : cases) {
    FakePrinter printer;
    printer.local = c.local;
    printer.network = c.network;
    printer.missing = c.missing;
    WINDOWFILTER filter;
    filter.showLocal = c.showLocal;
    filter.showNetwork = c.showNetwork;
    filter.showMissing = c.showMissing;
    EXPECT_EQ(PassesFilter(filter, printer, countingMatch), c.passes) << c.what;
  }
}

TEST(WindowFilter, StarNeverCallsTheMatcherButAnEmptyPatternDoes) {
  FakePrinter printer;
  printer.texts = {{"name", "Lab"}, {"host", ""}};
  WINDOWFILTER filter;
  matcherCalls = 0;
  EXPECT_TRUE(PassesFilter(filter, printer, countingMatch));
  EXPECT_EQ(matcherCalls, 0);
  EXPECT_TRUE(printer.asked.empty());
  filter.tcpHost = "";
  EXPECT_TRUE(PassesFilter(filter, printer, countingMatch));
  EXPECT_EQ(matcherCalls, 1);
  filter.name = "Office";
  EXPECT_FALSE(PassesFilter(filter, printer, countingMatch));
  // The default matcher is COMMON's wildcard match, without case.
  filter = WINDOWFILTER{};
  filter.name = "l?B*";
  EXPECT_TRUE(PassesFilter(filter, printer));
  filter.bidiOnly = TRUE;
  printer.bidi = FALSE;
  EXPECT_FALSE(PassesFilter(filter, printer));
}

TEST(WindowFilter, AdapterPortTypes) {
  using P = WFPrtObj;
  struct Case {
    P::PORTTYPE port;
    BOOL WINDOWFILTER::*flag;
  };
  const Case cases[] = {{P::PORT_PORTBAY, &WINDOWFILTER::portbay},
                        {P::PORT_PORTBAY_XL, &WINDOWFILTER::portbayXL},
                        {P::PORT_ADAPTER_PARALLEL_1, &WINDOWFILTER::parallel},
                        {P::PORT_ADAPTER_PARALLEL_2, &WINDOWFILTER::parallel},
                        {P::PORT_ADAPTER8_PARALLEL, &WINDOWFILTER::parallel},
                        {P::PORT_ADAPTER_SERIAL, &WINDOWFILTER::serial},
                        {P::PORT_ADAPTER8_SERIAL, &WINDOWFILTER::serial}};
  for (const Case& c : cases) {
    FakePrinter printer;
    printer.port = c.port;
    WINDOWFILTER filter;
    EXPECT_TRUE(PassesFilter(filter, printer)) << c.port;
    filter.*c.flag = FALSE;
    EXPECT_FALSE(PassesFilter(filter, printer)) << c.port;
    // The other adapter flags leave it alone.
    WINDOWFILTER others;
    others.portbay = others.portbayXL = others.serial = others.parallel = FALSE;
    others.*c.flag = TRUE;
    EXPECT_TRUE(PassesFilter(others, printer)) << c.port;
  }
  FakePrinter local;
  WINDOWFILTER none;
  none.portbay = none.portbayXL = none.serial = none.parallel = FALSE;
  EXPECT_TRUE(PassesFilter(none, local));
}

TEST(ListViewSort, BlankKeysLastTiesByNameGonePrintersAfterAll) {
  using Key = CWFListView::SortKey;
  std::vector<Key> keys = {
      {true, "Ready", "zeta"}, {true, "", "alpha"},      {false, "", ""},
      {true, " ", "beta"},     {true, "paper out", "b"}, {true, "Ready", "Alpha2"},
  };
  std::stable_sort(keys.begin(), keys.end(), CWFListView::SortsBefore);
  std::vector<std::string> names;
  for (const auto& key : keys) names.push_back(key.present ? key.name.str() : "<gone>");
  EXPECT_EQ(names, (std::vector<std::string>{"b", "Alpha2", "zeta", "alpha", "beta", "<gone>"}));
}

class WindowList : public AppFixture {
 protected:
  CMainFrame* open(const char* title) {
    CMainFrame* frame = CMainFrame::Make(title);
    EXPECT_NE(frame, nullptr) << title;
    return frame;
  }
  std::vector<std::string> titles() {
    std::vector<std::string> result;
    for (CMainFrame* window : app_.GetWFWindowList()->Windows()) result.push_back(window->GetTitle().str());
    return result;
  }
  void TearDown() override {
    closeWindows(app_);
    AppFixture::TearDown();
  }
  CWFApp app_;
};

TEST_F(WindowList, SortsByteWiseFindsWithoutCase) {
  CWFWindowList* list = app_.GetWFWindowList();
  CMainFrame* b = open("b");
  open("Ba");
  open("B");
  CMainFrame* a = open("a");
  EXPECT_EQ(titles(), (std::vector<std::string>{"B", "Ba", "a", "b"}));
  EXPECT_EQ(list->FindWindowA(CString("bA"))->GetTitle().str(), "Ba");
  EXPECT_EQ(list->FindWindowA(4), nullptr);
  EXPECT_EQ(list->FindWindowA(-1), nullptr);
  EXPECT_EQ(list->FindWindowA(3), b);
  EXPECT_EQ(list->GetAnotherWindow(b), a);  // the last one: its predecessor
  EXPECT_EQ(list->GetAnotherWindow(a), b);
  b->SetTitle("0 first");
  EXPECT_TRUE(list->ReSortRenamedWindow(b));
  EXPECT_EQ(titles().front(), "0 first");
  EXPECT_TRUE(list->ShowExistingWindow("b"));  // by name, not title
  EXPECT_FALSE(list->ShowExistingWindow("0 first"));
}

TEST_F(WindowList, OnlyWindowHasNoOtherAndRemovalLeavesTheFlashList) {
  CWFWindowList* list = app_.GetWFWindowList();
  CMainFrame* only = open("only");
  EXPECT_EQ(list->GetAnotherWindow(only), nullptr);
  app_.m_pMainWnd = only;
  app_.SetFlashIcon(TRUE);
  app_.AddToFlashList(only);
  EXPECT_TRUE(list->Remove(only, CWFWindowList::REMOVE_ONLY));
  EXPECT_EQ(app_.flashCount(), 0u);
  app_.AddToFlashList(only);
  EXPECT_FALSE(list->Remove(only, CWFWindowList::REMOVE_ONLY));
  EXPECT_EQ(app_.flashCount(), 0u);
  EXPECT_FALSE(list->Remove(nullptr, CWFWindowList::REMOVE_ONLY));
  only->DestroyWindow();
}

TEST_F(WindowList, ClosingTheMainWindowHandsItAndItsTimersOver) {
  CMainFrame* first = open("first");
  CMainFrame* second = open("second");
  app_.m_pMainWnd = first;
  app_.SetFlashIcon(TRUE);
  app_.AddToFlashList(second);
  first->DestroyWindow();
  EXPECT_EQ(app_.m_pMainWnd, second);
  EXPECT_TRUE(app_.flashTimerRunning());
  EXPECT_EQ(titles(), (std::vector<std::string>{"second"}));
}

}  // namespace

// Workers ask about windows while the user-interface thread opens and closes
// them: each answer comes from a window still listed, never a freed one.
TEST_F(WindowList, WorkersAskingAboutPrintersNeverTouchAClosedWindow) {
  CWFWindowList* list = app_.GetWFWindowList();
  std::atomic<bool> stop{false};
  std::atomic<int> asked{0};
  std::thread worker([&] {
    while (!stop) {
      EXPECT_FALSE(list->AnyNormalWndFound(11));
      list->RestoreOnError(11);
      EXPECT_EQ(list->Traverse([](CWFPrinterIcon*, void*) { return TRUE; }, nullptr), 0);
      ++asked;
    }
  });
  for (int round = 0; round < 200 || asked < 200; ++round) {
    CMainFrame* frame = open("closing");
    QCoreApplication::processEvents();
    frame->DestroyWindow();
  }
  stop = true;
  worker.join();
  EXPECT_EQ(list->GetCount(), 0);
  wf::Message m;
  int restores = 0;
  while (wf::peekMessage(m, wf::PeekMode::Remove)) restores += m.message == WM_WF_PRIVATE_RESTOREONERROR;
  EXPECT_EQ(restores, 0);  // no view held printer 11
}

// What the enumeration count posts to the windows, in order.
class PostLog : public WFWindowListServices {
 public:
  void PostToAll(UINT message, WPARAM, LPARAM) override {
    std::lock_guard lock(m_);
    posts_.push_back(message);
  }
  void ReplacePrinter(CWFPrinterIcon*, CWFPrinterIcon*) override {}
  void UpdatePrinterViews(USHORT, CWnd*) override {}
  BOOL AnyNormalWndFound(USHORT) override { return FALSE; }
  void RestoreOnError(USHORT) override {}
  int GetCount() override { return 1; }
  void RemovePrinter(USHORT, CWnd*) override {}
  void AnyAlerts() override {}
  std::vector<UINT> posts() {
    std::lock_guard lock(m_);
    return posts_;
  }

 private:
  std::mutex m_;
  std::vector<UINT> posts_;
};

// Eight threads count up and down together: the count ends at 0 and each
// return to 0 posts one resort and one select, in that order.
TEST(EnumerationCount, EachReturnToZeroPostsOneResortAndSelect) {
  wf::EnumSpecCounter counter;
  ASSERT_TRUE(counter.create());
  PostLog windows;
  constexpr int kThreads = 8;
  constexpr int kRounds = 1000;
  std::barrier up(kThreads), down(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        counter.increase();
        up.arrive_and_wait();  // all eight held: exactly one 1->0 per round
        counter.decrease(&windows);
        down.arrive_and_wait();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter.count(), 0);
  const std::vector<UINT> posts = windows.posts();
  ASSERT_EQ(posts.size(), 2u * kRounds);
  for (size_t i = 0; i < posts.size(); i += 2) {
    EXPECT_EQ(posts[i], WM_WF_RESORT) << i;
    EXPECT_EQ(posts[i + 1], WM_WF_SELECTITEM) << i;
  }
}
