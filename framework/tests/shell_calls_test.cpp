#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>

#include "framework/cstring.h"
#include "framework/scripted_shell.h"
#include "framework/shell_calls.h"

using wf::fw::FileDialogRequest;
using wf::fw::FileDialogResult;
using wf::fw::MessageBoxRequest;
using wf::fw::ScriptedShell;
using wf::fw::setAppName;
using wf::fw::setStringLookup;
using wf::fw::shellServices;
using wf::fw::ShellServices;
using wf::fw::startProgram;

namespace {

class ShellCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    setAppName("Wrenfield");
    setStringLookup([](UINT id, std::string& text) {
      if (id != 82) return false;
      text = "For Quick Setup to work properly, the printer(s) must not be printing jobs.";
      return true;
    });
  }
  void TearDown() override {
    setStringLookup({});
    setAppName("");
  }
  ScriptedShell shell;
};

}  // namespace

TEST_F(ShellCalls, MessageBoxesCarryTextCaptionStyleAndOwner) {
  shell.messageBox.script(IDNO);
  shell.messageBox.script(IDRETRY);
  EXPECT_EQ(MessageBox(0x10002, "Are you sure?", "Quick Setup ", MB_YESNO | MB_ICONQUESTION), IDNO);
  EXPECT_EQ(AfxMessageBox("Disk full", MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION), IDRETRY);
  EXPECT_EQ(AfxMessageBox(82, MB_OKCANCEL), IDOK);  // script used up: the default answer
  EXPECT_EQ(MessageBox(0, "plain", nullptr, MB_OK), IDOK);

  auto calls = shell.messageBox.calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].owner, 0x10002u);
  EXPECT_EQ(calls[0].caption, "Quick Setup ");
  EXPECT_EQ(calls[0].style, MB_YESNO | MB_ICONQUESTION);
  EXPECT_EQ(calls[1].caption, "Wrenfield");  // the application's name
  EXPECT_EQ(calls[1].owner, 0u);
  EXPECT_EQ(calls[2].text.rfind("For Quick Setup", 0), 0u);
  EXPECT_EQ(calls[3].caption, "Error");  // the system's default caption
}

TEST_F(ShellCalls, MessageBoxOfAMissingStringShowsNothing) {
  EXPECT_EQ(AfxMessageBox(4711, MB_OK), 0);
  EXPECT_TRUE(shell.messageBox.calls().empty());
}

TEST_F(ShellCalls, ResponderAnswersFromAnotherThreadWhenNothingIsScripted) {
  shell.messageBox.respondWith(
      [](const MessageBoxRequest& r) { return (r.style & MB_TYPEMASK) == MB_YESNO ? IDYES : IDCANCEL; });
  int answer = 0;
  std::thread worker([&] { answer = AfxMessageBox("Cancel?", MB_YESNO); });
  worker.join();
  EXPECT_EQ(answer, IDYES);
  EXPECT_EQ(AfxMessageBox("x", MB_OKCANCEL), IDCANCEL);
}

TEST_F(ShellCalls, FileDialogRequestAndScriptedChoice) {
  shell.fileDialog.script({IDOK, "/data/setup.psf"});
  FileDialogRequest request{true,
                            0x10003,
                            "Quick Setup ",
                            "psf",
                            "",
                            "Quick Setup Files (*.PSF)|*.PSF|All Files (*.*)|*.*||",
                            OFN_FILEMUSTEXIST | OFN_HIDEREADONLY};
  FileDialogResult chosen = shellServices().fileDialog->run(request);
  EXPECT_EQ(chosen.answer, IDOK);
  EXPECT_EQ(chosen.path, "/data/setup.psf");
  EXPECT_EQ(shellServices().fileDialog->run(request).answer, IDCANCEL);
  ASSERT_EQ(shell.fileDialog.calls().size(), 2u);
  EXPECT_EQ(shell.fileDialog.calls()[0].flags, OFN_FILEMUSTEXIST | OFN_HIDEREADONLY);
  EXPECT_EQ(shell.fileDialog.calls()[0].owner, 0x10003u);
}

TEST_F(ShellCalls, HelpDecodesContextsAndControlTables) {
  const DWORD table[] = {1006, 5101, 1020, 5102, 0, 0};
  shell.help.script(FALSE);
  EXPECT_FALSE(WinHelp(0x10004, "WRENFLD.HLP", HELP_CONTEXT, 2231));
  EXPECT_TRUE(WinHelp(0x10005, "WRENFLD.HLP", HELP_WM_HELP, reinterpret_cast<std::uintptr_t>(table)));
  EXPECT_TRUE(WinHelp(0x10005, "WRENFLD.HLP", HELP_CONTEXTMENU, 0));  // no table
  EXPECT_TRUE(WinHelp(0, "WRENFLD.HLP", HELP_QUIT, 0));

  auto calls = shell.help.calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].command, HELP_CONTEXT);
  EXPECT_EQ(calls[0].context, 2231u);
  EXPECT_EQ(calls[0].window, 0x10004u);
  EXPECT_EQ(calls[1].helpFile, "WRENFLD.HLP");
  EXPECT_EQ(calls[1].controlTable, (std::vector<std::pair<DWORD, DWORD>>{{1006, 5101}, {1020, 5102}}));
  EXPECT_EQ(calls[1].context, 0u);
  EXPECT_TRUE(calls[2].controlTable.empty());
  EXPECT_EQ(calls[3].command, HELP_QUIT);
}

TEST_F(ShellCalls, SoundsKeepTheirFlags) {
  shell.sound.script(FALSE);
  EXPECT_FALSE(PlaySound("c:\\wf\\jam.wav", nullptr, SND_FILENAME | SND_NOWAIT | SND_ASYNC));
  EXPECT_TRUE(sndPlaySound("clear.wav", SND_ASYNC));
  shell.sound.setDeviceCount(0);
  EXPECT_EQ(waveOutGetNumDevs(), 0u);
  auto calls = shell.sound.calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].file, "c:\\wf\\jam.wav");
  EXPECT_EQ(calls[0].flags, 0x22001u);
  EXPECT_EQ(calls[1].flags, SND_ASYNC | SND_FILENAME);
}

TEST_F(ShellCalls, BeepAsksTheSoundServiceForATone) {
  EXPECT_TRUE(Beep(1000, 250));
  shell.sound.script(FALSE);
  EXPECT_FALSE(Beep(440, 1000));
  const auto calls = shell.sound.calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].file, "");
  EXPECT_EQ(calls[0].frequency, 1000u);
  EXPECT_EQ(calls[0].durationMs, 250u);
  EXPECT_EQ(calls[1].frequency, 440u);
  EXPECT_EQ(calls[1].durationMs, 1000u);
}

TEST_F(ShellCalls, ProgramStartsSplitTheCommandLine) {
  shell.programs.script(FALSE);
  EXPECT_EQ(WinExec("NETDDE.EXE", SW_SHOWNA), 2u);  // scripted failure
  EXPECT_EQ(WinExec("cinstall.exe -s \"c:\\my dir\\x\"", SW_SHOWNORMAL), 33u);
  EXPECT_TRUE(startProgram("c:\\update\\setup.exe", "-u", SW_HIDE));
  EXPECT_EQ(WinExec("   ", SW_SHOWNORMAL), 2u);
  EXPECT_FALSE(startProgram("", "-u", SW_HIDE));

  auto calls = shell.programs.calls();
  ASSERT_EQ(calls.size(), 3u);  // the empty ones never reach the launcher
  EXPECT_EQ(calls[0].program, "NETDDE.EXE");
  EXPECT_EQ(calls[0].show, SW_SHOWNA);
  EXPECT_EQ(calls[1].program, "cinstall.exe");
  EXPECT_EQ(calls[1].arguments, (std::vector<std::string>{"-s", "c:\\my dir\\x"}));
  EXPECT_EQ(calls[2].arguments, (std::vector<std::string>{"-u"}));
  EXPECT_EQ(calls[2].show, SW_HIDE);
}

TEST_F(ShellCalls, WaitCursorNests) {
  {
    CWaitCursor outer;
    {
      CWaitCursor inner;
      EXPECT_EQ(shell.waitCursor.depth(), 2);
    }
    EXPECT_EQ(shell.waitCursor.depth(), 1);
  }
  EXPECT_EQ(shell.waitCursor.depth(), 0);
  EXPECT_EQ(shell.waitCursor.events(), (std::vector<bool>{true, true, false, false}));
}

TEST(ShellRegistry, WithoutServicesCallsFailAndDoublesRestoreThePreviousSet) {
  ShellServices none = shellServices();
  ASSERT_EQ(none.messageBox, nullptr);
  EXPECT_EQ(MessageBox(0, "x", "y", MB_OK), 0);
  EXPECT_FALSE(WinHelp(0, "a.hlp", HELP_CONTEXT, 1));
  EXPECT_FALSE(PlaySound("a.wav", nullptr, SND_ASYNC));
  EXPECT_EQ(waveOutGetNumDevs(), 0u);
  EXPECT_EQ(WinExec("prog", SW_SHOWNORMAL), 2u);
  { CWaitCursor harmless; }

  {
    ScriptedShell outer;
    {
      ScriptedShell inner;
      EXPECT_EQ(shellServices().messageBox, &inner.messageBox);
    }
    EXPECT_EQ(shellServices().messageBox, &outer.messageBox);
    AfxMessageBox("to the outer double");
    EXPECT_EQ(outer.messageBox.calls().size(), 1u);
  }
  EXPECT_EQ(shellServices().messageBox, nullptr);
}
