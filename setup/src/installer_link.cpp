#include "setup/installer_link.h"

#include <utility>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/process_list.h"

namespace wf::setup {

namespace {

// The link whose instance is live; callbacks carry no context of their own.
InstallerLink* gLiveInstallerLink = nullptr;

}  // namespace

std::string installerCommandLine(const std::string& temporaryDirectory, const std::string& setupCommandLine,
                                 const std::string& sourceDirectory, const std::string& installerArgument,
                                 bool localInstall) {
  return temporaryDirectory + "\\cinstall.exe " + (localInstall ? "-l " : "") + setupCommandLine + " -d " +
         sourceDirectory + " " + installerArgument;
}

InstallerLink::~InstallerLink() {
  end();
}

bool InstallerLink::initialize() {
  if (DdeInitializeA(&instance_, callback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
    instance_ = 0;
    return false;
  }
  gLiveInstallerLink = this;
  return true;
}

HCONV InstallerLink::tryConnect() {
  HSZ service = DdeCreateStringHandleA(instance_, kInstallerService, CP_WINANSI);
  HSZ topic = DdeCreateStringHandleA(instance_, kInstallerTopic, CP_WINANSI);
  HCONV conv = DdeConnect(instance_, service, topic, nullptr);
  DdeFreeStringHandle(instance_, service);
  DdeFreeStringHandle(instance_, topic);
  return conv;
}

bool InstallerLink::connect(const std::string& commandLine, const std::function<void()>& started) {
  if (!instance_) return false;
  HCONV conv = tryConnect();
  if (!conv && winExec(commandLine.c_str(), SW_SHOWNORMAL) > 32) {
    sleepFor(kInstallerStartWait);
    if (started) started();
    conv = tryConnect();
    if (!conv) {
      sleepFor(kInstallerRetryWait);
      conv = tryConnect();
    }
  }
  if (!conv) return false;
  conversation_ = conv;
  HSZ item = DdeCreateStringHandleA(instance_, kInstallerItem, CP_WINANSI);
  DdeClientTransaction(nullptr, 0, conv, item, CF_TEXT, XTYP_ADVSTART, kAdviseStartWait, nullptr);
  DdeFreeStringHandle(instance_, item);
  return true;
}

void InstallerLink::end() {
  if (!instance_) return;
  if (HCONV conv = std::exchange(conversation_, nullptr)) DdeDisconnect(conv);
  DdeUninitialize(instance_);
  instance_ = 0;
  if (gLiveInstallerLink == this) gLiveInstallerLink = nullptr;
}

HDDEDATA InstallerLink::callback(UINT type, UINT, HCONV conv, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
  InstallerLink* link = gLiveInstallerLink;
  if (!link) return nullptr;
  if (type == XTYP_ADVDATA) {
    link->rebootPending_ = true;
  } else if (type == XTYP_DISCONNECT) {
    // The only conversation, even when it ends before DdeConnect has answered.
    link->conversation_ = nullptr;
    if (link->onDisconnect) link->onDisconnect();
  }
  return nullptr;
}

void waitWhileInstallerRuns() {
  for (;;) {
    auto count = countProcesses(kInstallerExe);
    if (!count || *count == 0) return;
    sleepFor(kInstallerExitPoll);
  }
}

}  // namespace wf::setup
