#include <gtest/gtest.h>

#include "common/browse.h"
#include "framework/scripted_shell.h"

namespace {

TEST(Browse, APlainDialogAsksForNoFilterAndComesCentred) {
  wf::fw::ScriptedShell shell;
  shell.fileDialog.script({IDOK, "C:\\WRENFLD\\WFINV.DAT"});
  shell.fileDialog.script({IDCANCEL, ""});
  CWFBrowse browse(TRUE, nullptr, nullptr, OFN_HIDEREADONLY | OFN_FILEMUSTEXIST, nullptr, 302, nullptr);
  EXPECT_EQ(browse.m_nIDHelp, 302u);
  ASSERT_EQ(browse.DoModal(), IDOK);
  EXPECT_EQ(browse.GetPathName(), CString("C:\\WRENFLD\\WFINV.DAT"));
  EXPECT_EQ(browse.GetFileName(), CString("WFINV.DAT"));
  EXPECT_EQ(browse.DoModal(), IDCANCEL);
  EXPECT_EQ(browse.GetPathName(), CString(""));

  const auto calls = shell.fileDialog.calls();
  ASSERT_EQ(calls.size(), 2u);
  for (const auto& r : calls) {
    EXPECT_TRUE(r.open);
    EXPECT_EQ(r.owner, 0u);
    EXPECT_EQ(r.defaultExtension, "");
    EXPECT_EQ(r.fileName, "");
    EXPECT_EQ(r.filter, "");
    EXPECT_EQ(r.flags, OFN_HIDEREADONLY | OFN_FILEMUSTEXIST);
    EXPECT_TRUE(r.centred);
  }
  EXPECT_EQ(browse.m_nIDHelp, 302u) << "kept across runs";
}

TEST(Browse, GivenTextsReachTheRequestAndAPlainFileDialogIsNotCentred) {
  wf::fw::ScriptedShell shell;
  CWFBrowse save(FALSE, "txt", "notes.txt", OFN_OVERWRITEPROMPT, "Text Files (*.TXT)|*.TXT||", 302, nullptr);
  EXPECT_EQ(save.DoModal(), IDCANCEL);
  CFileDialog plain(TRUE);
  EXPECT_EQ(plain.DoModal(), IDCANCEL);
  const auto calls = shell.fileDialog.calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_FALSE(calls[0].open);
  EXPECT_EQ(calls[0].defaultExtension, "txt");
  EXPECT_EQ(calls[0].fileName, "notes.txt");
  EXPECT_EQ(calls[0].filter, "Text Files (*.TXT)|*.TXT||");
  EXPECT_EQ(calls[0].flags, static_cast<DWORD>(OFN_OVERWRITEPROMPT));
  EXPECT_TRUE(calls[0].centred);
  EXPECT_FALSE(calls[1].centred);
  EXPECT_EQ(calls[1].flags, static_cast<DWORD>(OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT));
}

TEST(Browse, NoFileDialogServiceIsACancel) {
  const auto previous = wf::fw::installShellServices({});
  CWFBrowse browse(TRUE, nullptr, nullptr, 0, nullptr, 302, nullptr);
  EXPECT_EQ(browse.DoModal(), IDCANCEL);
  wf::fw::installShellServices(previous);
}

}  // namespace
