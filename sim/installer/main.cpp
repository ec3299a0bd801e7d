// cinstall: the installer stand-in that setup starts and talks to. It
// serves "Cinstall" / "Corvane Printer Installation", accepts the advise
// loop on "RESET", logs what it was given and found to <runtime>/cinstall.log,
// then ends the conversation and exits. Arguments anywhere on its command
// line set it up:
//   restart      sets "RebootFlag" to "1" and sends advise data on "RESET"
//   work=<ms>    time between the advise loop's start and the disconnect
//   linger=<ms>  time it stays after disconnecting
//   late=<ms>    time before it registers its service
//   no-service   never registers; exits after its work time
//   flood        its advise data is 1 MiB (the conversation refuses it)
//   die          exits at the advise loop's start without disconnecting
//   drop         disconnects as soon as it is connected, before any advise
// Started with "-s" (the server installation) nobody follows it: it logs
// what it was given and exits.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/dde.h"
#include "platform/message_queue.h"
#include "platform/registry.h"
#include "platform/runtime_dir.h"
#include "platform/window_messages.h"

namespace {

namespace fs = std::filesystem;

constexpr char kService[] = "Cinstall";
constexpr char kTopic[] = "Corvane Printer Installation";
constexpr char kItem[] = "RESET";
constexpr char kInstallation[] = "Software\\Corvane\\Wrenfield\\1.0\\Settings\\Installation";
constexpr std::uint32_t kRegisterNow = wf::WM_USER + 1;
constexpr std::uint32_t kDisconnectNow = wf::WM_USER + 2;
constexpr std::uint32_t kAdviseRestart = wf::WM_USER + 3;

struct Knobs {
  bool restart = false;
  bool noService = false;
  bool flood = false;
  bool die = false;
  bool drop = false;
  std::uint32_t workMs = 0;
  std::uint32_t lingerMs = 0;
  std::uint32_t lateMs = 0;
};

Knobs gKnobs;
DWORD gInstance = 0;
wf::HSZ gServiceName = nullptr, gTopicName = nullptr, gItemName = nullptr;
wf::HCONV gConversation = nullptr;
wf::ThreadId gMainThread{};
std::vector<std::jthread> gTimers;

void logLine(const std::string& line) {
  if (auto dir = wf::runtimeDir()) std::ofstream(*dir / "cinstall.log", std::ios::app) << line << '\n';
}

std::uint32_t millisecondsOf(const std::string& argument, std::size_t prefix) {
  return static_cast<std::uint32_t>(std::strtoul(argument.c_str() + prefix, nullptr, 10));
}

// Posts `message` to the main thread after `ms` system milliseconds.
void postAfter(std::uint32_t ms, std::uint32_t message) {
  gTimers.emplace_back([ms, message](std::stop_token stop) {
    if (wf::sleepFor(ms, stop)) wf::postThreadMessage(gMainThread, message, 0, 0);
  });
}

void askForRestart() {
  wf::HKEY key = nullptr;
  if (wf::RegCreateKeyExA(wf::HKEY_CURRENT_USER, kInstallation, 0, nullptr, wf::REG_OPTION_NON_VOLATILE,
                          wf::KEY_ALL_ACCESS, nullptr, &key, nullptr) != wf::ERROR_SUCCESS)
    return;
  wf::RegSetValueExA(key, "RebootFlag", 0, wf::REG_SZ, reinterpret_cast<const BYTE*>("1"), 2);
  wf::RegCloseKey(key);
}

wf::HDDEDATA flag(bool on) {
  return reinterpret_cast<wf::HDDEDATA>(std::uintptr_t{on ? 1u : 0u});
}

wf::HDDEDATA serve(UINT type, UINT, wf::HCONV conv, wf::HSZ hsz1, wf::HSZ hsz2, wf::HDDEDATA, wf::ULONG_PTR,
                   wf::ULONG_PTR) {
  switch (type) {
    case wf::XTYP_CONNECT:
      return flag(wf::DdeCmpStringHandles(hsz1, gTopicName) == 0 && gConversation == nullptr);
    case wf::XTYP_CONNECT_CONFIRM:
      gConversation = conv;
      logLine("connected");
      if (gKnobs.drop) wf::postThreadMessage(gMainThread, kDisconnectNow, 0, 0);
      return nullptr;
    case wf::XTYP_ADVSTART: {
      if (wf::DdeCmpStringHandles(hsz2, gItemName) != 0) return flag(false);
      logLine("advise RESET");
      if (gKnobs.die) {
        logLine("dies");
        std::_Exit(3);
      }
      // The advise data goes once the loop stands, before the work time starts.
      if (gKnobs.restart)
        wf::postThreadMessage(gMainThread, kAdviseRestart, 0, 0);
      else
        postAfter(gKnobs.workMs, kDisconnectNow);
      return flag(true);
    }
    case wf::XTYP_ADVREQ: {
      std::string data = gKnobs.flood ? std::string(1 << 20, 'R') : std::string("1");
      return wf::DdeCreateDataHandle(gInstance, reinterpret_cast<const BYTE*>(data.c_str()),
                                     static_cast<DWORD>(data.size() + 1), 0, gItemName, wf::CF_TEXT, 0);
    }
    case wf::XTYP_DISCONNECT:
      if (conv == gConversation) {
        gConversation = nullptr;
        logLine("partner disconnected");
        postAfter(0, kDisconnectNow);
      }
      return nullptr;
    default:
      return nullptr;
  }
}

void logWhatWasGiven(int argc, char** argv) {
  std::string arguments;
  for (int i = 1; i < argc; ++i) arguments += std::string(i > 1 ? " " : "") + argv[i];
  logLine("args " + arguments);
  std::error_code ec;
  const fs::path here = fs::current_path(ec);
  logLine("cwd " + here.string());
  std::vector<std::string> files;
  for (fs::directory_iterator it(here, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file(ec)) files.push_back(it->path().filename().string());
  std::sort(files.begin(), files.end());
  for (const auto& file : files) logLine("file " + file);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "restart") gKnobs.restart = true;
    if (argument == "no-service") gKnobs.noService = true;
    if (argument == "flood") gKnobs.flood = true;
    if (argument == "die") gKnobs.die = true;
    if (argument == "drop") gKnobs.drop = true;
    if (argument.starts_with("work=")) gKnobs.workMs = millisecondsOf(argument, 5);
    if (argument.starts_with("linger=")) gKnobs.lingerMs = millisecondsOf(argument, 7);
    if (argument.starts_with("late=")) gKnobs.lateMs = millisecondsOf(argument, 5);
  }
  logLine("start " + std::to_string(::getpid()));
  logWhatWasGiven(argc, argv);
  if (argc > 1 && std::string(argv[1]) == "-s") {
    logLine("exit");
    return 0;
  }
  gMainThread = wf::currentThreadId();
  if (wf::DdeInitializeA(&gInstance, serve, wf::APPCLASS_STANDARD, 0) != wf::DMLERR_NO_ERROR) {
    logLine("no DDE");
    return 1;
  }
  gServiceName = wf::DdeCreateStringHandleA(gInstance, kService, wf::CP_WINANSI);
  gTopicName = wf::DdeCreateStringHandleA(gInstance, kTopic, wf::CP_WINANSI);
  gItemName = wf::DdeCreateStringHandleA(gInstance, kItem, wf::CP_WINANSI);
  // Without a service nobody can end it: it gives up after its work time.
  if (gKnobs.noService)
    postAfter(gKnobs.workMs, kDisconnectNow);
  else
    postAfter(gKnobs.lateMs, kRegisterNow);

  wf::Message m;
  while (wf::getMessage(m)) {
    if (m.hwnd == 0 && m.message == kRegisterNow) {
      wf::DdeNameService(gInstance, gServiceName, nullptr, wf::DNS_REGISTER);
      logLine("registered");
    } else if (m.hwnd == 0 && m.message == kAdviseRestart) {
      askForRestart();
      wf::DdePostAdvise(gInstance, gTopicName, gItemName);
      logLine("restart asked");
      postAfter(gKnobs.workMs, kDisconnectNow);
    } else if (m.hwnd == 0 && m.message == kDisconnectNow) {
      if (gConversation) wf::DdeDisconnect(gConversation);
      gConversation = nullptr;
      logLine("disconnected");
      break;
    } else {
      wf::dispatchMessage(m);
    }
  }
  wf::DdeUninitialize(gInstance);
  wf::sleepFor(gKnobs.lingerMs);
  for (auto& timer : gTimers) timer.request_stop();
  gTimers.clear();
  logLine("exit");
  return 0;
}
