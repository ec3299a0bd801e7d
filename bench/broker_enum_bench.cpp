// Enumeration of 1,000 and 10,000 network printers reported by the mock
// transports, half of them by IPX and CorLink both (so they merge), into an
// empty list: from the primary, and from a secondary through the mail
// channel with the reply pacing off (with it on, each printer costs the
// pacing's 100 ms and nothing else). Prints the time per printer.
//
// Started plainly the program moves into a fresh runtime directory and
// becomes the primary; it starts itself again as the secondary.
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "../broker/tests/mock_transport/mock_transport.h"
#include "bench_roles.h"
#include "broker/corbce.h"
#include "dispatcher.h"
#include "platform/module.h"
#include "platform/window_messages.h"
#include "printer_list.h"

namespace {

int delivered = 0;
uint16_t count(const PRTINFO*) {
  ++delivered;
  return 1;
}

template <typename Fn>
Fn control(const char* file, const char* name) {
  return wf::moduleEntryAs<Fn>(wf::loadModule(file), name);
}

// n printers: all on IPX, the first half on CorLink too.
void configure(std::uint32_t n) {
  for (const char* file : {"coripx32", "corcl32"}) {
    control<decltype(&MockTransportReset)>(file, "MockTransportReset")();
    auto add = control<decltype(&MockTransportAddPort)>(file, "MockTransportAddPort");
    const std::uint32_t ports = std::strcmp(file, "corcl32") == 0 ? n / 2 : n;
    for (std::uint32_t k = 0; k < ports; ++k) {
      NETPORTINFO p{};
      p.portId = static_cast<std::uint16_t>(k);
      std::memcpy(p.node + 2, &k, 4);
      p.adapterClass = 1;
      std::snprintf(p.portName, sizeof p.portName, "P%u", k);
      add(&p);
    }
  }
  wf::bce::PrinterListLock lock;
  wf::bce::printerList().clear();
}

double timed(std::uint32_t appId) {
  delivered = 0;
  const auto t0 = std::chrono::steady_clock::now();
  BceEnumPrinters(appId, BCE_NET_IPX | BCE_NET_CORLINK | BCE_NET_FORCE, &count);
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
}

int secondary() {
  const wf::Hwnd window = wf::createWindow("WfEnumBenchSecondary", [](wf::Hwnd, std::uint32_t, wf::WParam,
                                                                     wf::LParam) { return wf::LResult{0}; });
  const int16_t id = BceRegisterApp(window);
  if (id <= 0) return 1;
  const double us = timed(static_cast<std::uint32_t>(id));
  std::printf("  secondary: %d printers delivered, %.2f us per printer\n", delivered, us / delivered);
  BceUnregisterApp(static_cast<std::uint32_t>(id));
  return 0;
}

int primary(char** argv) {
  const wf::Hwnd window = wf::createWindow("WfEnumBenchPrimary", [](wf::Hwnd, std::uint32_t, wf::WParam,
                                                                   wf::LParam) { return wf::LResult{0}; });
  if (BceRegisterApp(window) != 0) return 1;
  wf::bce::setReplyPacingForTest(false);
  for (std::uint32_t n : {1000u, 10000u}) {
    configure(n);
    const double us = timed(0);
    std::printf("%u reported (%u merge): primary %d printers, %.2f us per printer\n", n + n / 2, n / 2, delivered,
                us / delivered);
    configure(n);
    wf::bench::runRole(argv, "secondary");
  }
  BceUnregisterApp(0);
  return 0;
}

}  // namespace

int main(int, char** argv) {
  const char* role = wf::bench::benchRole();
  if (!role) {
    ::setenv("WRENFIELD_MODULE_PATH", (wf::moduleDirectory() / "mock-transports").c_str(), 1);
    return wf::bench::restartAsPrimary(argv);
  }
  return std::strcmp(role, "primary") == 0 ? primary(argv) : secondary();
}
