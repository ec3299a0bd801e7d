// The Keystone job-buffering page and its progress dialog, over a printer
// the fake broker plays: its summary, partition and port requests, its
// power-on reset, and the alerts that confirm each change.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/notebook_messages.h"
#include "framework/controls.h"
#include "framework/global_memory.h"
#include "framework/scripted_shell.h"
#include "keystone/ky_family.h"
#include "keystone/ky_icon.h"
#include "keystone/ky_jobbuf.h"
#include "meridian/meridian_family.h"
#include "platform/clock.h"
#include "platform/message_queue.h"
#include "prtgui/prt_open_dlg.h"
#include "prtgui/prt_open_frame.h"
#include "test_fixture.h"

namespace wf::testing {
namespace {

using keystone::PortMasks;

TEST(KeystonePorts, KindsBitsAndPortsFoldAsTheMasksSay) {
  const struct {
    std::uint32_t kind;
    std::uint16_t bit;
  } kinds[] = {{0, 0x01}, {1, 0x02}, {2, 0x04}, {3, 0x08}, {4, 0}, {5, 0x20}, {6, 0}, {99, 0}};
  for (const auto& k : kinds) {
    EXPECT_EQ(keystone::portBit(k.kind), k.bit) << k.kind;
    if (k.bit) {
      EXPECT_EQ(keystone::portId(k.bit), k.kind);
    }
  }
  EXPECT_EQ(keystone::portId(0x10), 0u);
  EXPECT_EQ(keystone::portId(0x40), 0u);

  const std::vector<RM_JOBBUFFSUMMARY> ports = {
      {0, 0, 1, 1}, {0, 1, 0, 1}, {0, 4, 1, 1}, {0, 5, 1, 0}, {0, 3, 1, 1}};
  EXPECT_EQ(keystone::foldSummary(ports, 4), (PortMasks{0x23, 0x21, 0x03})) << "kind 4 is in no mask";
  EXPECT_EQ(keystone::foldSummary(ports, 99), (PortMasks{0x2B, 0x29, 0x0B})) << "no entry past the array";
  EXPECT_EQ(keystone::foldSummary(ports, 0), PortMasks{});
}

TEST(KeystonePorts, TheScrollRuleClampsAndSnapsToTenPercent) {
  const struct {
    UINT code;
    int thumb, from, to;
  } cases[] = {{SB_THUMBTRACK, 5, 20, 0},     {SB_THUMBTRACK, 5, 0, 10},
               {SB_PAGERIGHT, 0, 95, 100},    {SB_THUMBPOSITION, 5, 5, 10},
               {SB_LINELEFT, 0, 10, 0},       {SB_LINERIGHT, 0, 0, 10},
               {SB_PAGELEFT, 0, 15, 0},       {SB_PAGELEFT, 0, 5, 0},
               {SB_LINELEFT, 0, 0, 0},        {SB_LINERIGHT, 0, 100, 100},
               {SB_LEFT, 0, 60, 0},           {SB_RIGHT, 0, 60, 100},
               {SB_THUMBTRACK, 150, 20, 100}, {SB_PAGELEFT, 0, 50, 40},
               {SB_ENDSCROLL, 0, 37, 37},     {42, 80, 37, 37}};
  for (const auto& c : cases)
    EXPECT_EQ(keystone::scrolledPercent(c.code, c.thumb, c.from), c.to)
        << "code " << c.code << " thumb " << c.thumb << " from " << c.from;
}

// The printer's job buffering as the fake broker answers it.
struct JobBufferingPrinter {
  struct Port {
    std::uint8_t kind, active, set;
  };
  int percent = 0;
  std::vector<Port> ports;
  // Requests it refuses (by operation: 5 summary, 6 partition, 7 port; 49 reset).
  std::vector<int> refused;
  std::vector<std::string> log;
  // The kind of the confirming alert it owes (0: none) and its result word.
  BYTE owed = 0;
  ULONG confirmResult = 0;

  void install() {
    fakebce::setResponder(
        [this](std::uint32_t code, const std::string& request) { return answer(code, request); });
  }
  fakebce::Reply answer(std::uint32_t code, const std::string& request) {
    const auto refuses = [&](int op) {
      return std::find(refused.begin(), refused.end(), op) != refused.end();
    };
    if (code == WFPrtObj::DC_POR) {
      log.push_back("reset");
      if (refuses(49)) return {BCE_ERR_ERROR_RESPONSE, {}};
      for (Port& p : ports) p.active = p.set;
      return {0, std::string(1, '\0')};
    }
    if (code != kResMgmtRequest || request.empty()) return {0, {}};
    const int op = static_cast<std::uint8_t>(request[0]);
    std::string reply(1, '\0');  // the first byte the object drops
    if (refuses(op)) return {0, reply + '\x01'};
    reply += '\0';
    if (op == 5) {
      log.push_back("summary");
      reply += static_cast<char>(percent);
      reply += static_cast<char>(ports.size());
      for (const Port& p : ports)
        reply += {static_cast<char>(p.kind), static_cast<char>(p.active), static_cast<char>(p.set)};
    } else if (op == 6 && request.size() >= 2) {
      percent = static_cast<std::uint8_t>(request[1]);
      log.push_back("partition " + std::to_string(percent));
      if (percent != 0) owed = 82;
    } else if (op == 7 && request.size() >= 3) {
      const int kind = static_cast<std::uint8_t>(request[1]), on = static_cast<std::uint8_t>(request[2]);
      log.push_back("port " + std::to_string(kind) + " " + std::to_string(on));
      for (Port& p : ports)
        if (p.kind == kind) p.set = static_cast<std::uint8_t>(on);
      owed = 83;
    }
    return {0, reply};
  }
};

// A scripted object whose requests reach the fake broker.
class TalkingPrtObj : public ScriptedPrtObj {
 public:
  using ScriptedPrtObj::ScriptedPrtObj;
  BOOL isBidiActive() override { return TRUE; }
};

class KeystoneJobBufTest : public PrinterFixture {
 protected:
  static constexpr std::uint16_t kHandle = 80;
  static constexpr ULONG kAdmin = 0x8000;

  void SetUp() override {
    PrinterFixture::SetUp();
    InitMeridianGuiDLL(nullptr, &RegisterDLL);
    InitKeystoneGuiDLL(nullptr, &RegisterDLL);
    wf::setTimeScaleForTest(0.001);
    printer_.ports = {{0, 0, 0}, {1, 0, 0}, {5, 0, 0}};
    printer_.install();
  }
  void TearDown() override {
    if (CPrtOpenFrame* frame = icon_ ? icon_->GetOpenFrame() : nullptr) frame->SendMessage(WM_CLOSE, 0, 0);
    PrinterFixture::TearDown();
  }
  // The Keystone printer on LPT3 with a disk of `diskMegabytes`.
  void make(ULONG diskMegabytes, ULONG connections = BCE_NET_LOCAL | kAdmin) {
    auto owned = std::make_unique<TalkingPrtObj>(kHandle, 7);
    owned->caps = localPrinter(kHandle, "LPT3", 7)->caps;
    owned->deviceChars.model = "Corvane Vireo N 17";
    object_ = add(std::move(owned));
    object_->storage.diskSize = object_->storage.diskFree = diskMegabytes << 20;
    fakebce::setPrtInfoFor(kHandle, prtInfo(kHandle, "LPT3", connections, 3));
    list_.NewPrinterIcon(object_, nullptr);
    icon_ = dynamic_cast<CWFKstoneIcon*>(icons().back());
    ASSERT_NE(icon_, nullptr);
    icon_->UpdateStorageOptions();
  }
  // Opens the notebook on the job-buffering page and lets it read the printer.
  void open() {
    ASSERT_TRUE(icon_->OpenPrinterA(0));
    CPrtOpenDlg* notebook = icon_->GetOpenFrame()->GetNotebook();
    for (int i = 0; i < notebook->GetPageCount() && !page_; ++i) {
      if ((page_ = dynamic_cast<CKYJobBuf*>(notebook->GetPage(i)))) {
        ASSERT_TRUE(notebook->SetActivePage(i));
      }
    }
    ASSERT_NE(page_, nullptr);
    runQueuedWork();
  }
  CString family(UINT id) { return icon_->familyString(id); }
  CString shown(int id) {
    CString text;
    page_->GetDlgItem(id)->GetWindowText(text);
    return text;
  }
  bool enabled(int id) { return page_->GetDlgItem(id)->IsWindowEnabled() != FALSE; }
  int checked(int id) { return static_cast<CButton*>(page_->GetDlgItem(id))->GetCheck(); }
  void tick(int id, int on) {
    static_cast<CButton*>(page_->GetDlgItem(id))->SetCheck(on);
    page_->SendMessage(WM_COMMAND, MAKELONG(id, BN_CLICKED), 0);
  }
  void scroll(UINT code, int thumb = 0) {
    page_->SendMessage(WM_HSCROLL, MAKELONG(code, thumb), page_->GetDlgItem(49002)->GetSafeHwnd());
  }
  void apply() { page_->SendMessage(WM_COMMAND, MAKELONG(49021, BN_CLICKED), 0); }

  // What reached the progress dialog, in order: its steps and its close.
  struct Step {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Step&) const = default;
  };
  // Runs the dialog's work, its posts and the printer's confirming alerts
  // until nothing moves; true when the dialog closed itself (WM_CLOSE).
  bool drive(CDialog& dialog) {
    bool closed = false;
    for (bool moved = true; moved;) {
      moved = false;
      while (!app_.ThreadMgrQIsEmpty()) {
        std::unique_ptr<CWFThread> item(app_.ThreadMgrQRemoveHead());
        labels_.push_back(item->GetString().str());
        item->m_pfnProc(item->m_pParam);
        moved = true;
      }
      wf::Message m;
      while (wf::peekMessage(m, wf::PeekMode::Remove)) {
        if (m.hwnd == dialog.GetSafeHwnd()) {
          if (m.message == WM_CLOSE) closed = true;
          if (m.message >= WM_KY_JBARMED && m.message <= WM_KY_JBERROR)
            steps_.push_back({m.message, m.wParam, m.lParam});
        }
        wf::dispatchMessage(m);
        moved = true;
      }
      if (BYTE kind = std::exchange(printer_.owed, 0)) {
        confirm(kind, printer_.confirmResult);
        moved = true;
      }
    }
    return closed;
  }
  // The printer's resource alert of `kind` reaches the icon.
  void confirm(BYTE kind, ULONG result) {
    WFPrtObj::DEVICEMGMTALERTDATA record;
    record.kind = kind;
    record.result = result;
    const USHORT key = ++key_;
    object_->resAlerts[key] = record;
    CWFAlert a(kHandle, object_, key, 1525, CWFAlert::NOT_PROCESSED, 0, 0, FALSE, FALSE, FALSE, FALSE);
    icon_->ProcessResMgmtAlert(&a);
  }
  // Applies the page; the dialog (when one runs) is driven to its end, and
  // closed as its user would when it waits. True when it closed itself.
  bool applyAndDrive(bool* ran = nullptr) {
    bool closed = false, started = false;
    dialogs_.on(541, [&](CDialog& d) {
      started = true;
      closed = drive(d);
      d.SendMessage(WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED), 0);
    });
    apply();
    if (ran) *ran = started;
    runQueuedWork();
    return closed;
  }
  std::vector<std::pair<std::string, std::string>> boxes() {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& call : shell_.messageBox.calls()) out.emplace_back(call.caption, call.text);
    return out;
  }
  std::pair<std::string, std::string> box(UINT caption, UINT text) {
    return {family(caption).str(), family(text).str()};
  }
  static int bceCalls(const char* function) { return static_cast<int>(fakebce::callsOf(function).size()); }

  wf::fw::ScriptedShell shell_;
  wf::fw::ScriptedDialogs dialogs_;
  JobBufferingPrinter printer_;
  ScriptedPrtObj* object_ = nullptr;
  CWFKstoneIcon* icon_ = nullptr;
  CKYJobBuf* page_ = nullptr;
  std::vector<std::string> labels_;
  std::vector<Step> steps_;
  USHORT key_ = 200;
};

constexpr int kPortBoxes[] = {49015, 49016, 49017, 49018, 49020};

TEST_F(KeystoneJobBufTest, WithoutADiskEverythingButTheStaticTextsIsDisabled) {
  make(0);
  printer_.percent = 0;
  open();
  EXPECT_EQ(printer_.log, std::vector<std::string>{"summary"}) << "one reading for the first activation";
  for (auto [id, text] : {std::pair{49004, "0"}, {49007, "0.00"}, {49010, "0"}, {49013, "0.00"}})
    EXPECT_EQ(shown(id), text) << id;
  for (int id : {49002, 49015, 49016, 49017, 49018, 49020, 49021, 49022, 49003, 49004, 49013, 49046, 49055})
    EXPECT_FALSE(enabled(id)) << id;
  scroll(SB_PAGERIGHT);
  EXPECT_EQ(page_->GetNewPercent(), 0) << "nothing to scroll without a disk";
}

TEST_F(KeystoneJobBufTest, ThePageShowsThePrinterAndFollowsTheScrollBarAndTheBoxes) {
  make(100);
  printer_.percent = 20;
  printer_.ports = {{0, 1, 1}, {5, 0, 0}};
  open();
  EXPECT_EQ(shown(49004), "20");
  EXPECT_EQ(shown(49007), "20.00");
  EXPECT_EQ(shown(49010), "20");
  EXPECT_EQ(shown(49013), "100.00");
  EXPECT_EQ(static_cast<CScrollBar*>(page_->GetDlgItem(49002))->GetScrollPos(), 20);
  const bool present[] = {true, false, false, false, true};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(enabled(kPortBoxes[i]), present[i]) << kPortBoxes[i];
    EXPECT_EQ(checked(kPortBoxes[i]), i == 0 ? 1 : 0) << kPortBoxes[i];
  }
  EXPECT_FALSE(enabled(49021)) << "nothing changed yet";
  EXPECT_FALSE(enabled(49022));

  scroll(SB_THUMBTRACK, 5);
  EXPECT_EQ(shown(49004), "0");
  EXPECT_EQ(shown(49007), "0.00");
  EXPECT_TRUE(enabled(49021));
  scroll(SB_THUMBTRACK, 5);
  EXPECT_EQ(shown(49004), "10");
  scroll(SB_THUMBTRACK, 20);
  EXPECT_FALSE(enabled(49021)) << "back where the printer is";
  tick(49020, 1);
  EXPECT_EQ(page_->GetWantedPorts(), 0x21);
  EXPECT_TRUE(enabled(49021));
  EXPECT_TRUE(enabled(49022));

  // Undo reads the printer again and drops the edits.
  page_->SendMessage(WM_COMMAND, MAKELONG(49022, BN_CLICKED), 0);
  runQueuedWork();
  EXPECT_EQ(page_->GetWantedPorts(), 0x01);
  EXPECT_EQ(checked(49020), 0);
  EXPECT_FALSE(enabled(49021));
}

TEST_F(KeystoneJobBufTest, AUserWhoIsNoAdministratorOnlyLooks) {
  make(100, BCE_NET_LOCAL);
  printer_.percent = 30;
  open();
  EXPECT_EQ(shown(49004), "30");
  EXPECT_TRUE(enabled(49004));
  for (int id : {49002, 49015, 49016, 49020, 49021}) EXPECT_FALSE(enabled(id)) << id;
  scroll(SB_PAGERIGHT);
  EXPECT_EQ(page_->GetNewPercent(), 30);
}

TEST_F(KeystoneJobBufTest, ARefusedReadingLeavesThePageAndAClosedPageDropsTheResults) {
  make(100);
  printer_.percent = 40;
  open();
  printer_.refused = {5};
  printer_.percent = 60;
  page_->QueryJBInfo();
  runQueuedWork();
  EXPECT_EQ(shown(49010), "40");

  // A reading whose page is gone: its results are dropped with the post.
  printer_.refused.clear();
  const std::size_t blocks = wf::fw::liveGlobalBlocks();
  page_->QueryJBInfo();
  icon_->GetOpenFrame()->SendMessage(WM_CLOSE, 0, 0);
  runQueuedWork();
  EXPECT_EQ(icon_->GetOpenFrame(), nullptr);
  EXPECT_EQ(wf::fw::liveGlobalBlocks(), blocks);
  page_ = nullptr;
}

TEST_F(KeystoneJobBufTest, NoPartitionWithAPortTickedIsRefusedAndStartsNothing) {
  make(100);
  printer_.percent = 20;
  open();
  scroll(SB_LEFT);
  tick(49015, 1);
  bool ran = true;
  applyAndDrive(&ran);
  EXPECT_FALSE(ran);
  EXPECT_EQ(boxes(), (std::vector{box(49036, 49026)}));
  EXPECT_EQ(shell_.messageBox.calls().front().style, UINT(MB_OK | MB_ICONEXCLAMATION));
  EXPECT_EQ(printer_.log, std::vector<std::string>{"summary"});
}

TEST_F(KeystoneJobBufTest, AnUnansweredPartitionQuestionStartsNothing) {
  make(100);
  open();
  scroll(SB_THUMBPOSITION, 30);
  shell_.messageBox.script(IDCANCEL);
  bool ran = true;
  applyAndDrive(&ran);
  EXPECT_FALSE(ran);
  EXPECT_EQ(boxes(), (std::vector{box(49030, 49022)}));
  EXPECT_EQ(printer_.log, std::vector<std::string>{"summary"});
}

TEST_F(KeystoneJobBufTest, ANewPartitionAndTwoPortsRunStepByStepUpToTheReset) {
  make(100);
  printer_.percent = 0;
  open();
  scroll(SB_THUMBTRACK, 20);
  tick(49015, 1);
  tick(49016, 1);
  const int capturesBefore = bceCalls("BceCaptureAlerts");
  shell_.messageBox.script(IDOK);   // the partition question
  shell_.messageBox.script(IDYES);  // the reset question
  EXPECT_TRUE(applyAndDrive());
  EXPECT_EQ(printer_.log, (std::vector<std::string>{"summary", "partition 20", "summary", "port 0 1",
                                                    "summary", "port 1 1", "summary", "reset", "summary"}));
  EXPECT_EQ(steps_, (std::vector<Step>{{WM_KY_JBARMED, 0, 0},
                                       {WM_KY_JBPARTITION, 0, 0},
                                       {WM_KY_JBALERT, 0, 82},
                                       {WM_KY_JBPORTCHANGE, 0, 0},
                                       {WM_KY_JBALERT, 0, 83},
                                       {WM_KY_JBPORTCHANGE, 0, 0x01},
                                       {WM_KY_JBALERT, 0, 83},
                                       {WM_KY_JBPOR, 0, 0x03}}));
  EXPECT_EQ(boxes(), (std::vector{box(49030, 49022), box(49037, 49027)}));
  EXPECT_EQ(
      labels_,
      (std::vector<std::string>{
          "[Corvane Vireo N 17 - LPT3] ArmRMAlertsNotify()", "[Corvane Vireo N 17 - LPT3] DoPartition()",
          "[Corvane Vireo N 17 - LPT3] DoAlert()", "[Corvane Vireo N 17 - LPT3] DoPortChange()",
          "[Corvane Vireo N 17 - LPT3] DoAlert()", "[Corvane Vireo N 17 - LPT3] DoPortChange()",
          "[Corvane Vireo N 17 - LPT3] DoAlert()", "[Corvane Vireo N 17 - LPT3] DoPOR()"}));
  // Released around the reset, then taken again with the armed mask.
  EXPECT_EQ(bceCalls("BceReleaseAlerts"), 1);
  const auto captures = fakebce::callsOf("BceCaptureAlerts");
  ASSERT_EQ(static_cast<int>(captures.size()), capturesBefore + 2) << "arming, then after the reset";
  EXPECT_TRUE(captures.back().netMask & 0x1000);
  EXPECT_TRUE(icon_->GetRMFormat()) << "a new partition formats the disk";
  // The page read the printer again.
  EXPECT_EQ(shown(49010), "20");
  EXPECT_EQ(checked(49015), 1);
  EXPECT_EQ(checked(49016), 1);
  EXPECT_FALSE(enabled(49021));
}

TEST_F(KeystoneJobBufTest, ANotebookClosedUnderTheDialogEndsTheDialogFirst) {
  make(100);
  printer_.percent = 20;
  open();
  tick(49015, 1);
  bool ran = false;
  CPrtOpenFrame* frame = icon_->GetOpenFrame();
  dialogs_.on(541, [&](CDialog& d) {
    ran = true;
    runQueuedWork();  // armed
    runQueuedWork();  // the port change sent; its confirmation still owed
    EXPECT_EQ(printer_.owed, 83);
    frame->SendMessage(WM_CLOSE, 0, 0);
    EXPECT_EQ(icon_->GetOpenFrame(), frame) << "not under the running dialog";
  });
  const std::size_t blocks = wf::fw::liveGlobalBlocks();
  apply();
  EXPECT_TRUE(ran);
  // The close comes again once the dialog's loop returned; the page's
  // reading then finds no page.
  runQueuedWork();
  EXPECT_EQ(icon_->GetOpenFrame(), nullptr);
  page_ = nullptr;
  confirm(83, 0);  // late: its window is gone
  runQueuedWork();
  EXPECT_EQ(wf::fw::liveGlobalBlocks(), blocks);
  EXPECT_TRUE(shell_.messageBox.calls().empty());
}

TEST_F(KeystoneJobBufTest, TheArmedDialogChoosesItsFirstStep) {
  make(100);
  open();
  const struct {
    int n, k;
    std::uint16_t w, a, s;
    std::vector<Step> first;
  } cases[] = {{20, 0, 0, 0, 0, {{WM_KY_JBPARTITION, 0, 0}}},
               {0, 20, 0, 0, 0x02, {{WM_KY_JBPORTCHANGE, 0, 0x02}}},
               {0, 20, 0x01, 0, 0, {{WM_KY_JBPORTCHANGE, 0, 0}}},
               {0, 20, 0, 0x01, 0, {{WM_KY_JBPARTITION, 0, 0}}},
               {20, 20, 0x03, 0, 0x01, {{WM_KY_JBPORTCHANGE, 0, 0x01}}},
               {20, 20, 0x01, 0x03, 0x01, {{WM_KY_JBPOR, 0x03, 0x01}}},
               {20, 20, 0x01, 0x01, 0x01, {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.n << "/" << c.k << " " << c.w << " " << c.a << " " << c.s);
    CKYJBStatus dialog(page_, icon_, c.n, c.k, c.w, c.a, c.s);
    ASSERT_TRUE(dialog.Create(541, page_));
    std::unique_ptr<CWFThread> arming(app_.ThreadMgrQRemoveHead());
    ASSERT_NE(arming, nullptr);
    arming->m_pfnProc(arming->m_pParam);
    // The armed answer is handled; the step it chooses is only noted.
    std::vector<Step> posted;
    wf::Message m;
    while (wf::peekMessage(m, wf::PeekMode::Remove)) {
      if (m.hwnd != dialog.GetSafeHwnd()) continue;
      if (m.message == WM_KY_JBARMED)
        wf::dispatchMessage(m);
      else
        posted.push_back({m.message, m.wParam, m.lParam});
    }
    EXPECT_EQ(posted, c.first);
    dialog.DestroyWindow();
  }
}

TEST_F(KeystoneJobBufTest, FailuresEndInOneErrorBoxAndTheClosedDialog) {
  const struct {
    const char* what;
    std::vector<int> refused;
    ULONG confirmResult;
    std::int32_t captureResult;
    UINT caption, text;
  } cases[] = {{"partition refused", {6}, 0, 0, 49031, 49023},
               {"a refused change is confirmed", {}, 1, 0, 49034, 49025},
               {"reset refused", {49}, 0, 0, 49038, 49028},
               {"ten refused captures", {}, 0, -5, 49050, 49051}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    make(100);
    printer_ = {};
    printer_.percent = 20;
    printer_.ports = {{0, 0, 0}};
    printer_.refused = c.refused;
    printer_.confirmResult = c.confirmResult;
    open();
    scroll(SB_PAGERIGHT);
    tick(49015, 1);
    int capturesAtReset = 0;
    shell_.messageBox.respondWith([&](const wf::fw::MessageBoxRequest& r) {
      if (r.text == family(49027).str()) {
        fakebce::setCaptureResult(c.captureResult);
        capturesAtReset = bceCalls("BceCaptureAlerts");
      }
      return (r.style & MB_YESNO) ? IDYES : IDOK;
    });
    applyAndDrive();
    fakebce::setCaptureResult(0);
    const auto shownBoxes = boxes();
    ASSERT_FALSE(shownBoxes.empty());
    EXPECT_EQ(shownBoxes.back(), box(c.caption, c.text));
    EXPECT_EQ(shell_.messageBox.calls().back().style, UINT(MB_OK | MB_ICONEXCLAMATION));
    if (c.captureResult != 0) {
      EXPECT_EQ(bceCalls("BceCaptureAlerts") - capturesAtReset, 10) << "ten tries";
    }
    if (c.refused == std::vector<int>{49}) {
      EXPECT_EQ(bceCalls("BceCaptureAlerts") - capturesAtReset, 1) << "captured again after a refused reset";
      EXPECT_EQ(bceCalls("BceReleaseAlerts"), 1);
    }
    // The next case starts afresh.
    icon_->GetOpenFrame()->SendMessage(WM_CLOSE, 0, 0);
    runQueuedWork();
    list_.DeleteAllPrinters();
    fakebce::reset();
    printer_.install();
    shell_.messageBox.respondWith(nullptr);
    page_ = nullptr;
    icon_ = nullptr;
    steps_.clear();
  }
}

TEST_F(KeystoneJobBufTest, WorkersWithoutTheirIconOrPrinterObjectReport) {
  make(100);
  CWnd target;
  ASSERT_TRUE(target.CreateEx(0, "JBTarget", "jb", WS_OVERLAPPED, 0, 0, 10, 10, 0));
  const HWND window = target.GetSafeHwnd();
  auto posted = [&] {
    std::vector<Step> out;
    wf::Message m;
    while (wf::peekMessage(m, wf::PeekMode::Remove))
      if (m.hwnd == window) out.push_back({m.message, m.wParam, m.lParam});
    return out;
  };
  // The icon is listed but its printer object is gone: nothing was sent,
  // so nothing may pass for confirmed.
  forget(kHandle);
  using keystone::AlertRequest;
  using keystone::PartitionRequest;
  using keystone::PortRequest;
  using keystone::ResetRequest;
  for (int percent : {0, 20}) {
    CKYJBStatus::DoPartition(new PartitionRequest{kHandle, window, percent});
    EXPECT_EQ(posted(), (std::vector<Step>{{WM_KY_JBERROR, 49031, 49023}})) << percent;
  }
  CKYJBStatus::DoPortChange(new PortRequest{kHandle, window, 0x01, 0});
  EXPECT_EQ(posted(), (std::vector<Step>{{WM_KY_JBERROR, 49032, 49023}}));
  CKYJBStatus::DoPortChange(new PortRequest{kHandle, window, 0x01, 0x01});
  EXPECT_EQ(posted(), (std::vector<Step>{{WM_KY_JBALERT, 0, 0}})) << "no port differs";
  CKYJBStatus::DoAlert(new AlertRequest{kHandle, window, 20, 0});
  EXPECT_EQ(posted(), (std::vector<Step>{{WM_KY_JBERROR, 49034, 49025}}));
  EXPECT_EQ(app_.logLines().back(), "BADDISKALERTTITLE from DoAlert()\n");
  CKYJBStatus::DoPOR(new ResetRequest{kHandle, window});
  EXPECT_EQ(posted(), (std::vector<Step>{{WM_CLOSE, 0, 0}}));
  // A printer no longer listed.
  CKYJBStatus::DoPOR(new ResetRequest{999, window});
  EXPECT_EQ(posted(), (std::vector<Step>{{WM_KY_JBERROR, 49038, 49028}}));
  CKYJBStatus::DoPartition(new PartitionRequest{999, window, 20});
  EXPECT_EQ(posted(), (std::vector<Step>{{WM_KY_JBERROR, 49031, 49023}}));
  target.DestroyWindow();
}

TEST_F(KeystoneJobBufTest, AnErrorWhileAnErrorBoxShowsClosesWithoutASecondBox) {
  make(100);
  open();
  CKYJBStatus first(page_, icon_, 20, 0, 0, 0, 0), second(page_, icon_, 20, 0, 0, 0, 0);
  ASSERT_TRUE(first.Create(541, page_));
  ASSERT_TRUE(second.Create(541, page_));
  runQueuedWork();
  first.ShowWindow(SW_SHOW);
  second.ShowWindow(SW_SHOW);
  bool secondShown = true;
  shell_.messageBox.respondWith([&](const wf::fw::MessageBoxRequest&) {
    second.OnError(49034, 49025);
    secondShown = second.IsWindowVisible() != FALSE;
    return IDOK;
  });
  first.OnError(49031, 49023);
  EXPECT_EQ(boxes(), (std::vector{box(49031, 49023)}));
  EXPECT_FALSE(secondShown) << "the second dialog closed all the same";
  first.DestroyWindow();
  second.DestroyWindow();
}

}  // namespace
}  // namespace wf::testing
