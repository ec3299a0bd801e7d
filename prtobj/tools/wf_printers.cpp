// wf-printers: asks the broker for the printers on the local ports (and with
// --netware those behind NetWare adapters, with --corlink those behind
// CorLink print servers, with --peer those that other computers share), shows what each one reports
// through its request object, and with --watch shows the device-status
// alerts they post for a while.
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "broker/corbce.h"
#include "platform/clock.h"
#include "platform/fd_wait.h"
#include "platform/message_queue.h"
#include "platform/module.h"
#include "platform/window_messages.h"
#include "prtobj/wfprtobj.h"

namespace {

std::vector<PRTINFO> found;

uint16_t collectPrinter(const PRTINFO* info) {
  if (info) found.push_back(*info);
  return 1;  // go on
}

std::string text(const std::string& s) {
  return s.empty() ? "-" : s;
}

// A local printer's port, else its port name on the network that has it.
std::string where(const PRTINFO& info) {
  if (info.name[0]) return info.name;
  for (const auto& [bit, label] : {std::pair{BCE_NET_NETWARE, " (NetWare)"}, std::pair{BCE_NET_CORLINK, " (CorLink)"},
                                   std::pair{BCE_NET_PEER, " (peer)"}}) {
    char name[BCE_NAME_LENGTH] = {}, second[BCE_NAME_LENGTH] = {};
    BceGetPrinterName(info.handle, bit, name, second);
    if (name[0]) return std::string(name) + label;
  }
  return "-";
}

void showPrinter(WFPrtObj& printer, const PRTINFO& info) {
  std::printf("printer %u on %s (flags 0x%x, packet size %u)\n", info.handle, where(info).c_str(), info.flags,
              info.packetSize);
  WFPrtObj::DEVICECHARS chars;
  if (long rc = printer.bidiGetDeviceChars(&chars); rc == 0) {
    std::printf("  model %s, revision %s, serial %s, memory %lu KB, speed %lu\n", text(chars.model).c_str(),
                text(chars.revisionLevel).c_str(), text(chars.serialNumber).c_str(),
                static_cast<unsigned long>(chars.memoryKb), static_cast<unsigned long>(chars.speed));
  } else {
    std::printf("  device characteristics: error %ld\n", rc);
  }
  WFPrtObj::PRINTERSTATUS status = 0;
  if (long rc = printer.bidiQueryDeviceStatus(&status); rc == 0) {
    std::printf("  device status 0x%06lx\n", static_cast<unsigned long>(status));
  } else {
    std::printf("  device status: error %ld\n", rc);
  }
  WFPrtObj::PAGECOUNTDATA pages;
  if (long rc = printer.bidiGetPageCounts(&pages); rc == 0) {
    std::printf("  page counts %lu %lu %lu %lu\n", static_cast<unsigned long>(pages.counters[0]),
                static_cast<unsigned long>(pages.counters[1]), static_cast<unsigned long>(pages.counters[2]),
                static_cast<unsigned long>(pages.counters[3]));
  }
}

// Shows each device-status alert posted to `window` until `seconds` pass;
// false when the broker's primary went away meanwhile, so nothing is watched.
bool watchAlerts(int16_t app, wf::Hwnd window, std::vector<WFPrtObj*>& printers, unsigned seconds) {
  ALERTS alerts{};
  alerts.mask = BCE_ALERT_DSA_MASK;
  for (std::size_t i = 0; i < found.size(); ++i) {
    long rc = BceCaptureAlerts(app, found[i].handle, &alerts, window, 0);
    std::printf("capturing device-status alerts of printer %u: %s\n", found[i].handle,
                rc == 0 ? "ok" : ("error " + std::to_string(rc)).c_str());
  }
  std::printf("watching alerts for %u s\n", seconds);
  std::fflush(stdout);
  // In seconds, so a long watch cannot overflow the milliseconds.
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::chrono::duration<double>(static_cast<double>(seconds) * wf::timeScale()));
  for (;;) {
    int left = wf::msUntil(deadline);
    if (left == 0) break;
    if (wf::waitFdRealMs(wf::messageQueueFd(), POLLIN, left) != wf::FdWait::Ready) continue;
    wf::Message msg;
    while (wf::peekMessage(msg, wf::PeekMode::Remove)) {
      if (msg.message == WM_BCE_PRIMARY_GONE) {
        std::fprintf(stderr,
                     "wf-printers: the printer service's primary has ended; no printer is watched any more\n");
        return false;
      }
      if (msg.message != WM_BCE_DSA_ALERT) continue;
      const auto handle = static_cast<uint16_t>(msg.wParam & 0xFFFF);
      for (std::size_t i = 0; i < found.size(); ++i) {
        if (found[i].handle != handle) continue;
        // A device-status alert carries its classes in the message; the
        // printer's current status is asked for again.
        WFPrtObj::PRINTERSTATUS status = 0;
        long rc = printers[i]->bidiQueryDeviceStatus(&status);
        std::printf("alert from printer %u: classes 0x%03lx, device status 0x%06lx%s\n", handle,
                    static_cast<unsigned long>(msg.lParam), static_cast<unsigned long>(status),
                    rc == 0 ? "" : (" (error " + std::to_string(rc) + ")").c_str());
        std::fflush(stdout);
      }
    }
  }
  for (const auto& info : found) BceReleaseAlerts(app, info.handle, 1);
  return true;
}

// A whole number of seconds, digits only.
std::optional<unsigned> parseSeconds(const char* text) {
  if (!*text || std::strspn(text, "0123456789") != std::strlen(text) || std::strlen(text) > 10)
    return std::nullopt;
  const unsigned long long n = std::strtoull(text, nullptr, 10);
  if (n > std::numeric_limits<unsigned>::max()) return std::nullopt;
  return static_cast<unsigned>(n);
}

}  // namespace

int main(int argc, char** argv) {
  unsigned watchSeconds = 0;
  std::uint32_t networks = BCE_NET_LOCAL;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--watch") == 0 && i + 1 < argc) {
      const auto seconds = parseSeconds(argv[++i]);
      if (!seconds) {
        std::fprintf(stderr, "wf-printers: --watch needs a whole number of seconds, not \"%s\"\n", argv[i]);
        return 2;
      }
      watchSeconds = *seconds;
    } else if (std::strcmp(argv[i], "--netware") == 0) {
      networks |= BCE_NET_NETWARE;
    } else if (std::strcmp(argv[i], "--corlink") == 0) {
      networks |= BCE_NET_CORLINK;
    } else if (std::strcmp(argv[i], "--peer") == 0) {
      networks |= BCE_NET_PEER;
    } else {
      std::fprintf(stderr, "usage: wf-printers [--netware] [--corlink] [--peer] [--watch SECONDS]\n");
      return 2;
    }
  }

  const wf::Hwnd window = wf::createWindow(
      "WrenfieldPrinters", [](wf::Hwnd, std::uint32_t, wf::WParam, wf::LParam) -> wf::LResult { return 0; });
  const int16_t app = BceRegisterApp(window);
  if (app < 0) {
    std::fprintf(stderr, "wf-printers: the broker refused the registration (%d)\n", app);
    return 1;
  }
  std::printf("registered with the broker as application %d\n", app);

  const int32_t rc = BceEnumPrinters(app, networks | BCE_NET_FORCE, collectPrinter);
  std::vector<std::string> names = {"local"};
  for (const auto& [bit, name] : {std::pair{BCE_NET_NETWARE, "NetWare"}, std::pair{BCE_NET_CORLINK, "CorLink"},
                                  std::pair{BCE_NET_PEER, "peer"}})
    if (networks & bit) names.push_back(name);
  std::string which = names[0];
  for (std::size_t n = 1; n < names.size(); ++n) which += (n + 1 == names.size() ? " and " : ", ") + names[n];
  std::printf("%s enumeration: result %d, %zu printer(s)\n", which.c_str(), rc, found.size());
  if (found.empty()) {
    std::fprintf(stderr, "wf-printers: no printer could be reached%s\n",
                 rc == BCE_OK ? "" : (" (the broker answered " + std::to_string(rc) + ")").c_str());
    BceUnregisterApp(app);
    wf::destroyWindow(window);
    return 1;
  }

  auto module = wf::loadModule("WFPRTOBJ.DLL");
  if (module) InitWFPrtObjDll();
  auto create = wf::moduleOrdinalAs<CreatePrtObjFn>(module, kCreatePrtObjOrdinal);
  if (!create) {
    std::fprintf(stderr, "wf-printers: cannot load the printer request object\n");
    BceUnregisterApp(app);
    return 1;
  }
  std::vector<WFPrtObj*> printers;
  for (const auto& info : found) {
    printers.push_back(create(info.handle, app, WFPrtObj::kUnknownType));
    showPrinter(*printers.back(), info);
  }
  const bool watched = watchSeconds == 0 || watchAlerts(app, window, printers, watchSeconds);

  for (auto* p : printers) delete p;
  wf::freeModule(module);
  BceUnregisterApp(app);
  wf::destroyWindow(window);
  return watched ? 0 : 1;
}
