#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "framework/win_app.h"
#include "platform/registry.h"

namespace {

constexpr UINT WM_HAND_OVER = WM_USER + 20;

std::vector<std::string>* appLog = nullptr;

class FrameWnd : public CWnd {
 public:
  explicit FrameWnd(std::string name) : name_(std::move(name)) {}

 protected:
  LRESULT OnIdleUpdate(WPARAM, LPARAM) {
    if (!sawIdle_) appLog->push_back(name_ + " idle update");
    sawIdle_ = true;
    return 0;
  }
  // Hands the main window to `successor` before going, as a printer window does.
  LRESULT OnHandOver(WPARAM, LPARAM successor) {
    AfxGetApp()->m_pMainWnd = reinterpret_cast<CWnd*>(successor);
    DestroyWindow();
    return 0;
  }
  void OnDestroy() {
    appLog->push_back(name_ + " destroyed");
    CWnd::OnDestroy();
  }
  DECLARE_MESSAGE_MAP()

 private:
  std::string name_;
  bool sawIdle_ = false;
};

BEGIN_MESSAGE_MAP(FrameWnd, CWnd)
ON_MESSAGE(WM_IDLEUPDATECMDUI, OnIdleUpdate)
ON_MESSAGE(WM_HAND_OVER, OnHandOver)
ON_WM_DESTROY()
END_MESSAGE_MAP()

class TestApp : public CWinApp {
 public:
  enum class Plan { Fail, CloseMain, HandOver };
  explicit TestApp(Plan plan) : CWinApp("Wrenfield"), plan_(plan) {}

  BOOL InitInstance() override {
    appLog->push_back(std::string("init ") + m_lpCmdLine);
    if (plan_ == Plan::Fail) return FALSE;
    first_.CreateEx(0, "WrenfieldMainFrame", "first", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, 0);
    second_.CreateEx(0, "WrenfieldMainFrame", "second", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, 0);
    m_pMainWnd = &first_;
    if (plan_ == Plan::HandOver) {
      first_.PostMessage(WM_HAND_OVER, 0, reinterpret_cast<LPARAM>(&second_));
      second_.PostMessage(WM_CLOSE);
    } else {
      first_.PostMessage(WM_CLOSE);
    }
    return TRUE;
  }
  int ExitInstance() override {
    appLog->push_back("exit");
    return CWinApp::ExitInstance() + 40;
  }

 private:
  Plan plan_;
  FrameWnd first_{"first"};
  FrameWnd second_{"second"};
};

class Application : public ::testing::Test {
 protected:
  void SetUp() override { appLog = &log; }
  void TearDown() override { appLog = nullptr; }

  int run(TestApp::Plan plan) {
    TestApp app(plan);
    char arg0[] = "/opt/wrenfield/WRENFLD";
    char arg1[] = "Printers";
    char arg2[] = "2";
    char* argv[] = {arg0, arg1, arg2, nullptr};
    int code = AfxWinMain(3, argv);
    exeName = app.m_pszExeName;
    helpPath = app.m_pszHelpFilePath;
    return code;
  }
  std::vector<std::string> log;
  std::string exeName, helpPath;
};

}  // namespace

TEST_F(Application, ExitInstanceRunsAfterAFailedInitInstance) {
  EXPECT_EQ(run(TestApp::Plan::Fail), 40);
  EXPECT_EQ(log, (std::vector<std::string>{"init Printers 2", "exit"}));
  EXPECT_EQ(AfxGetApp(), nullptr);  // gone with its object
}

TEST_F(Application, DestroyingTheMainWindowEndsTheLoop) {
  EXPECT_EQ(run(TestApp::Plan::CloseMain), 40);
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log.front(), "init Printers 2");
  EXPECT_EQ(log[1], "first idle update");  // idle work ran before the loop ended
  EXPECT_EQ(log[2], "first destroyed");
  EXPECT_EQ(log[3], "exit");
  // The program file names the help file next to it.
  EXPECT_EQ(helpPath, std::filesystem::path(helpPath).parent_path().string() + "/" + exeName + ".HLP");
}

TEST_F(Application, HandingOverTheMainWindowKeepsTheLoopRunning) {
  EXPECT_EQ(run(TestApp::Plan::HandOver), 40);
  std::vector<std::string> order;
  for (auto& line : log)
    if (line.find("idle") == std::string::npos) order.push_back(line);
  EXPECT_EQ(order,
            (std::vector<std::string>{"init Printers 2", "first destroyed", "second destroyed", "exit"}));
}

TEST(ApplicationProfile, ValuesLiveBelowCompanyAndApplicationAndKeysAreCreated) {
  CWinApp app("Wrenfield\\1.0");
  EXPECT_EQ(app.GetAppRegistryKey(), nullptr);  // no registry key yet
  EXPECT_EQ(app.GetProfileInt("Settings", "maxthreads", 20), 20u);
  EXPECT_FALSE(app.WriteProfileInt("Settings", "maxthreads", 30));

  app.SetRegistryKey("Corvane");
  EXPECT_STREQ(app.m_pszProfileName, "Wrenfield\\1.0");
  EXPECT_EQ(app.GetProfileInt("Settings", "maxthreads", 20), 20u);
  EXPECT_EQ(app.GetProfileString("Settings", "jsfilename", "wfjobs.txt"), "wfjobs.txt");
  EXPECT_TRUE(app.WriteProfileInt("Settings", "maxthreads", 30));
  EXPECT_TRUE(app.WriteProfileString("Settings", "jsfilename", "c:\\jobs.txt"));
  EXPECT_EQ(app.GetProfileInt("Settings", "maxthreads", 20), 30u);
  EXPECT_EQ(app.GetProfileString("Settings", "jsfilename"), "c:\\jobs.txt");
  EXPECT_EQ(app.GetProfileString("Settings", "maxthreads", "text only"), "text only");  // wrong type

  wf::HKEY key = nullptr;
  ASSERT_EQ(wf::RegOpenKeyExA(wf::HKEY_CURRENT_USER, "Software\\Corvane\\Wrenfield\\1.0\\Settings", 0,
                              wf::KEY_READ, &key),
            wf::ERROR_SUCCESS);
  DWORD value = 0, size = sizeof value, type = 0;
  EXPECT_EQ(
      wf::RegQueryValueExA(key, "MAXTHREADS", nullptr, &type, reinterpret_cast<wf::BYTE*>(&value), &size),
      wf::ERROR_SUCCESS);
  EXPECT_EQ(type, wf::REG_DWORD);
  EXPECT_EQ(value, 30u);
  wf::RegCloseKey(key);

  HKEY section = app.GetSectionKey("PrevInst");  // created when missing
  ASSERT_NE(section, nullptr);
  wf::RegCloseKey(section);
  ASSERT_EQ(wf::RegOpenKeyExA(wf::HKEY_CURRENT_USER, "Software\\Corvane\\Wrenfield\\1.0\\PrevInst", 0,
                              wf::KEY_READ, &key),
            wf::ERROR_SUCCESS);
  wf::RegCloseKey(key);

  EXPECT_TRUE(app.WriteProfileString("Settings", "jsfilename", nullptr));  // deletes the entry
  EXPECT_EQ(app.GetProfileString("Settings", "jsfilename", "gone"), "gone");
  EXPECT_TRUE(app.WriteProfileString("Settings", nullptr, nullptr));  // deletes the section
  EXPECT_EQ(app.GetProfileInt("Settings", "maxthreads", 20), 20u);
}
