// The Quick Setup progress dialog, offscreen, with scripted message boxes
// and a request object that starts no thread: the test plays its messages.
#include <gtest/gtest.h>

#include "common/quick_dlg.h"
#include "framework/controls.h"
#include "framework/scripted_shell.h"
#include "gui_pump.h"
#include "platform/message_queue.h"
#include "platform/window_messages.h"
#include "test_fixture.h"

namespace wf::testing {
namespace {

// A printer whose Quick Setup start answers from fields.
class QuickSetupPrinter : public ScriptedPrtObj {
 public:
  using ScriptedPrtObj::ScriptedPrtObj;
  LONG startRc = 0;
  ULONG steps = 70;
  WFQSThreadControl* control = nullptr;
  BOOL sent = FALSE;

  LONG bidiQuickSetupSend(WFQSThreadControl* c, ULONG* n) override { return start(c, n, TRUE); }
  LONG bidiQuickSetupReceive(WFQSThreadControl* c, ULONG* n) override { return start(c, n, FALSE); }

 private:
  LONG start(WFQSThreadControl* c, ULONG* n, BOOL send) {
    control = c;
    sent = send;
    *n = steps;
    return startRc;
  }
};

// Receives WM_WF_QSDONE and deletes the dialog, as the Part's receivers do.
class Parent : public CWnd {
 public:
  std::vector<LPARAM> done;
  LRESULT onDone(WPARAM, LPARAM lParam) {
    done.push_back(lParam);
    auto* dialog = reinterpret_cast<CQuickDlg*>(lParam);
    dialog->DestroyWindow();
    delete dialog;
    return 0;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Parent, CWnd)
ON_MESSAGE(WM_WF_QSDONE, onDone)
END_MESSAGE_MAP()

class QuickDlgTest : public PrinterFixture {
 protected:
  void SetUp() override {
    PrinterFixture::SetUp();
    ASSERT_TRUE(parent_.CreateEx(0, "QuickSetupParent", "parent", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, 0));
    auto object = std::make_unique<QuickSetupPrinter>(11, 0);
    object->caps.bidiActive = TRUE;
    object->caps.portType = WFPrtObj::PORT_LPT;
    object->caps.portName = "LPT1";
    object->deviceChars.model = "Quorra 1210";
    fakebce::setPrtInfoFor(11, prtInfo(11, "LPT1"));
    printer_ = object.get();
    add(std::move(object));
    list_.NewPrinterIcon(printer_, nullptr);
    icon_ = icons().at(0);
  }
  void TearDown() override {
    parent_.DestroyWindow();
    PrinterFixture::TearDown();
  }
  CQuickDlg* open(BOOL send, USHORT cascade = 1) {
    auto* dialog = new CQuickDlg(icon_, "C:\\SETUP.PSF", cascade, send, &parent_);
    EXPECT_TRUE(dialog->Create(CQuickDlg::IDD, &parent_));
    return dialog;
  }
  // Runs the events until `done`. The fake application's alert window gave
  // this thread its message queue before Qt's, so posts wait there.
  static bool pump(const std::function<bool()>& done) {
    return wf::fw::testing::pumpUntil([&] {
      wf::Message m;
      while (wf::peekMessage(m, wf::PeekMode::Remove)) wf::dispatchMessage(m);
      return done();
    });
  }
  // Posts as the transfer thread does.
  static bool notify(CQuickDlg* dialog, WPARAM what, const std::function<bool()>& done) {
    dialog->PostMessage(WM_WF_NOTIFICATION, what, 0);
    return pump(done);
  }
  bool notifyEnd(CQuickDlg* dialog, WPARAM what) {
    const size_t before = parent_.done.size();
    return notify(dialog, what, [&] { return parent_.done.size() > before; });
  }
  std::vector<std::string> boxTexts() {
    std::vector<std::string> texts;
    for (const auto& call : shell_.messageBox.calls()) texts.push_back(call.text);
    return texts;
  }

  wf::fw::ScriptedShell shell_;
  Parent parent_;
  QuickSetupPrinter* printer_ = nullptr;
  CWFPrinterIcon* icon_ = nullptr;
};

const char* const kDone = "Quick Setup has completed successfully.";
const char* const kFailed = "An error occured while running Quick Setup.";
const char* const kQuitSend =
    "Canceling Quick Setup may leave your printer in an invalid state.  Are you sure that you want to quit?";
const char* const kQuitSave = "Are you sure that you want to quit saving the Quick Setup file?";

TEST_F(QuickDlgTest, AReceiveMovesTheBarOncePerStepAndEndsWithSuccess) {
  CQuickDlg* dialog = open(FALSE);
  ASSERT_NE(printer_->control, nullptr);
  EXPECT_FALSE(printer_->sent);
  CString title, from, to;
  dialog->GetWindowText(title);
  dialog->GetDlgItemText(1131, from);
  dialog->GetDlgItemText(1132, to);
  EXPECT_EQ(title, "Quick Setup Save");
  EXPECT_EQ(from, "From: Quorra 1210");
  EXPECT_EQ(to, "To: C:\\SETUP.PSF");
  auto* bar = dynamic_cast<CProgressCtrl*>(dialog->GetDlgItem(1133));
  ASSERT_NE(bar, nullptr);
  int low = 0, high = 0;
  bar->GetRange(low, high);
  EXPECT_EQ(low, 1);
  EXPECT_EQ(high, 70);
  for (int i = 1; i <= 70; ++i) {
    ASSERT_TRUE(notify(dialog, QS_NOTIFY_STEP, [&] { return bar->GetPos() == i; }));
  }
  ASSERT_TRUE(notifyEnd(dialog, QS_NOTIFY_DONE));
  EXPECT_EQ(boxTexts(), std::vector<std::string>{kDone});
  EXPECT_EQ(shell_.messageBox.calls().at(0).caption, "Quick Setup ");
  EXPECT_EQ(parent_.done, std::vector<LPARAM>{reinterpret_cast<LPARAM>(dialog)});
}

TEST_F(QuickDlgTest, CancelAnsweredNoRunsOnAndYesStopsWithoutTheSuccessMessage) {
  for (int answer : {IDNO, IDYES}) {
    SCOPED_TRACE(answer);
    parent_.done.clear();
    wf::fw::ScriptedShell shell;
    CQuickDlg* dialog = open(TRUE);
    shell.messageBox.script(answer);
    dialog->OnCancel();
    WFQSThreadControl* control = printer_->control;
    EXPECT_EQ(control->getWFThreadAction(),
              answer == IDYES ? WFQSThreadControl::WF_ACTION_STOP : WFQSThreadControl::WF_ACTION_RUN);
    EXPECT_TRUE(parent_.done.empty());
    ASSERT_TRUE(notifyEnd(dialog, QS_NOTIFY_DONE));
    std::vector<std::string> expected{kQuitSend};
    if (answer == IDNO) expected.push_back(kDone);
    std::vector<std::string> texts;
    for (const auto& call : shell.messageBox.calls()) texts.push_back(call.text);
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(parent_.done.size(), 1u);
  }
}

TEST_F(QuickDlgTest, ADoneDuringTheQuestionIsHandledAfterTheAnswer) {
  CQuickDlg* dialog = open(FALSE);
  shell_.messageBox.respondWith([&](const wf::fw::MessageBoxRequest& request) {
    // The run ends while the user still looks at the question.
    if (request.text == kQuitSave) dialog->OnWFNotification(QS_NOTIFY_DONE, 0);
    EXPECT_TRUE(parent_.done.empty());
    return IDNO;
  });
  dialog->OnCancel();
  EXPECT_EQ(boxTexts(), (std::vector<std::string>{kQuitSave, kDone}));
  EXPECT_EQ(parent_.done.size(), 1u);
}

TEST_F(QuickDlgTest, AnErrorShowsTheFailureAndEnds) {
  CQuickDlg* dialog = open(TRUE);
  ASSERT_TRUE(notifyEnd(dialog, QS_NOTIFY_ERROR));
  EXPECT_EQ(boxTexts(), std::vector<std::string>{kFailed});
  EXPECT_EQ(parent_.done.size(), 1u);
}

TEST_F(QuickDlgTest, TheSecondDialogOpensFifteenPixelsRightAndDown) {
  CQuickDlg* first = open(TRUE, 1);
  CQuickDlg* second = open(TRUE, 2);
  RECT a, b;
  first->GetWindowRect(&a);
  second->GetWindowRect(&b);
  EXPECT_EQ(b.left - a.left, 15);
  EXPECT_EQ(b.top - a.top, 15);
  EXPECT_EQ(b.right - b.left, a.right - a.left);
  ASSERT_TRUE(notifyEnd(first, QS_NOTIFY_DONE));
  ASSERT_TRUE(notifyEnd(second, QS_NOTIFY_DONE));
  EXPECT_EQ(parent_.done.size(), 2u);
}

TEST_F(QuickDlgTest, ARunThatCannotStartEndsAfterCreationReturned) {
  for (bool noObject : {true, false}) {
    SCOPED_TRACE(noObject);
    parent_.done.clear();
    wf::fw::ScriptedShell shell;
    if (noObject)
      forget(11);
    else
      printer_->startRc = WFPrtObj::QS_NO_THREAD;
    CQuickDlg* dialog = open(TRUE);
    EXPECT_TRUE(parent_.done.empty());  // still the caller's after Create
    ASSERT_TRUE(pump([&] { return !parent_.done.empty(); }));
    EXPECT_EQ(parent_.done, std::vector<LPARAM>{reinterpret_cast<LPARAM>(dialog)});
    ASSERT_EQ(shell.messageBox.calls().size(), 1u);
    EXPECT_EQ(shell.messageBox.calls()[0].text, kFailed);
  }
}

TEST_F(QuickDlgTest, TheIconOpensADialogThatSendsOrReceives) {
  printer_->startRc = WFPrtObj::QS_NO_THREAD;  // ends by itself
  for (BOOL send : {TRUE, FALSE}) {
    parent_.done.clear();
    send ? icon_->DoQuickSetupSend(&parent_, "A.PSF") : icon_->DoQuickSetupReceive(&parent_, "A.PSF");
    EXPECT_EQ(printer_->sent, send);
    ASSERT_TRUE(pump([&] { return !parent_.done.empty(); }));
  }
}

}  // namespace
}  // namespace wf::testing
