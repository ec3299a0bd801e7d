#pragma once
// Setup's side of the conversation with the installer: its command line, the
// connection (starting it when nobody answers), the advise loop on "RESET"
// and the wait for the installer's process to end.
#include <functional>
#include <string>

#include "platform/dde.h"
#include "platform/win_types.h"

namespace wf::setup {

constexpr char kInstallerService[] = "Cinstall";
constexpr char kInstallerTopic[] = "Corvane Printer Installation";
constexpr char kInstallerItem[] = "RESET";
constexpr char kInstallerExe[] = "CINSTALL.EXE";
// System milliseconds.
constexpr DWORD kInstallerStartWait = 3000;
constexpr DWORD kInstallerRetryWait = 2000;
constexpr DWORD kAdviseStartWait = 500;
constexpr DWORD kInstallerExitPoll = 1000;

// "<temp>\cinstall.exe [-l] <setup's command line> -d <source> <line 1>":
// "-l" when "products.ini" was there and the user chose this computer.
std::string installerCommandLine(const std::string& temporaryDirectory, const std::string& setupCommandLine,
                                 const std::string& sourceDirectory, const std::string& installerArgument,
                                 bool localInstall);

// One DDE client instance on the thread that initialises it; its callbacks
// run there. One link may be live at a time.
class InstallerLink {
 public:
  InstallerLink() = default;
  ~InstallerLink();
  InstallerLink(const InstallerLink&) = delete;
  InstallerLink& operator=(const InstallerLink&) = delete;

  bool initialize();
  // Connects to the installer; when nobody answers, starts `commandLine`
  // and, once it started, waits and tries twice more (`started` runs after
  // the start). True with a conversation, whose advise loop on "RESET" was
  // asked for.
  bool connect(const std::string& commandLine, const std::function<void()>& started);
  // Ends the conversation and the instance.
  void end();

  // The installer sent advise data: it asks for a restart.
  bool rebootPending() const { return rebootPending_; }
  bool connected() const { return conversation_ != nullptr; }
  // Runs when the installer ends the conversation.
  std::function<void()> onDisconnect;

 private:
  static HDDEDATA callback(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data, ULONG_PTR,
                           ULONG_PTR);
  HCONV tryConnect();

  DWORD instance_ = 0;
  HCONV conversation_ = nullptr;
  bool rebootPending_ = false;
};

// Sleeps in steps of kInstallerExitPoll while a process "CINSTALL.EXE" runs.
void waitWhileInstallerRuns();

}  // namespace wf::setup
