// Enumeration of 1,000, 10,000 and 100,000 network printers reported by the
// mock transports into an empty list: half on IPX, half on IP, and a quarter
// (of the IPX ones) on CorLink too, so they merge. From the primary, and from
// a secondary through the mail channel with the reply pacing off (with it
// on, each printer costs the pacing's 100 ms and nothing else).
//
// Printed per run: distinct printers and deliveries (a merge delivers a
// printer again); the wall time as a caller sees it, which holds the broker's
// fixed 500 ms pause after a pass that found nothing and so is given whole,
// not per printer; then the same run with that pause cut to half a
// millisecond, whose wall and CPU time per printer are the figures to read;
// and the primary's resident memory per printer beyond the transports' own
// tables.
//
// Started plainly the program moves into a fresh runtime directory and
// becomes the primary; it starts itself again as the secondary.
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <string>

#include "bench_roles.h"
#include "broker/corbce.h"
#include "broker/internal_testing.h"
#include "mock_transport.h"
#include "platform/clock.h"
#include "platform/module.h"
#include "platform/window_messages.h"

namespace {

constexpr double kPauseCut = 0.001;  // time scale that leaves 0.5 ms of a 500 ms pause

// By adapter address: handles are 16 bits, fewer than the largest list.
std::set<std::uint32_t> distinct;
std::size_t deliveries = 0;
uint16_t count(const PRTINFO* info) {
  if (info) {
    std::uint32_t node;
    std::memcpy(&node, info->node + 2, sizeof node);
    distinct.insert(node);
  }
  ++deliveries;
  return 1;
}

template <typename Fn>
Fn control(const char* file, const char* name) {
  return wf::moduleEntryAs<Fn>(wf::loadModule(file), name);
}

// n printers: the first half on IPX, the second on IP, and the first quarter on CorLink too.
void configure(std::uint32_t n) {
  struct Share {
    const char* file;
    std::uint32_t first, count;
  };
  for (const Share& share :
       {Share{"coripx32", 0, n / 2}, Share{"corip32", n / 2, n - n / 2}, Share{"corcl32", 0, n / 4}}) {
    control<decltype(&MockTransportReset)>(share.file, "MockTransportReset")();
    auto add = control<decltype(&MockTransportAddPort)>(share.file, "MockTransportAddPort");
    for (std::uint32_t k = 0; k < share.count; ++k) {
      const std::uint32_t node = share.first + k;
      NETPORTINFO p{};
      p.portId = static_cast<std::uint16_t>(k);
      std::memcpy(p.node + 2, &node, 4);
      p.adapterClass = 1;
      std::snprintf(p.portName, sizeof p.portName, "P%u", node);
      add(&p);
    }
  }
  wf::bce::internal_testing::clearPrinterList();
}

double cpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long residentBytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * ::sysconf(_SC_PAGESIZE);
}

// Wall time of one forced enumeration, in seconds.
double enumerate(std::uint32_t appId) {
  distinct.clear();
  deliveries = 0;
  const auto t0 = std::chrono::steady_clock::now();
  BceEnumPrinters(appId, BCE_NET_IPX | BCE_NET_IP | BCE_NET_CORLINK | BCE_NET_FORCE, &count);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

int secondary() {
  const wf::Hwnd window = wf::createWindow(
      "WfEnumBenchSecondary", [](wf::Hwnd, std::uint32_t, wf::WParam, wf::LParam) { return wf::LResult{0}; });
  const int16_t id = BceRegisterApp(window);
  if (id <= 0) return 1;
  const double wall = enumerate(static_cast<std::uint32_t>(id));
  if (wf::timeScale() == 1)
    std::printf("  secondary: %zu printers, %zu deliveries, wall %.3f s with the pause", distinct.size(),
                deliveries, wall);
  else
    std::printf("  secondary, pauses cut: %zu printers, %zu deliveries, wall %.3f s (%.2f us per printer)",
                distinct.size(), deliveries, wall, wall * 1e6 / double(distinct.size()));
  BceUnregisterApp(static_cast<std::uint32_t>(id));
  return 0;
}

void fromPrimary(std::uint32_t n, double scale) {
  wf::setTimeScaleForTest(scale);
  configure(n);
  const long before = residentBytes();
  const double cpu0 = cpuSeconds();
  const double wall = enumerate(0);
  const double cpu = cpuSeconds() - cpu0;
  const double printers = double(distinct.size());
  if (scale == 1)
    std::printf("  primary: %zu printers, %zu deliveries, wall %.3f s with the pause, resident %.0f bytes per "
                "printer\n",
                distinct.size(), deliveries, wall, double(residentBytes() - before) / printers);
  else
    std::printf(
        "  primary, pauses cut: %zu printers, %zu deliveries, wall %.3f s (%.2f us per printer), CPU %.3f s "
        "(%.2f us per printer)\n",
        distinct.size(), deliveries, wall, wall * 1e6 / printers, cpu, cpu * 1e6 / printers);
}

void fromSecondary(char** argv, std::uint32_t n, double scale) {
  wf::setTimeScaleForTest(scale);
  ::setenv("WRENFIELD_TIME_SCALE", std::to_string(scale).c_str(), 1);
  configure(n);
  const double cpu0 = cpuSeconds();
  wf::bench::runRole(argv, "secondary");
  std::printf(", primary CPU %.3f s\n", cpuSeconds() - cpu0);
}

int primary(char** argv) {
  const wf::Hwnd window = wf::createWindow(
      "WfEnumBenchPrimary", [](wf::Hwnd, std::uint32_t, wf::WParam, wf::LParam) { return wf::LResult{0}; });
  if (BceRegisterApp(window) != 0) return 1;
  wf::bce::internal_testing::setReplyPacing(false);
  std::printf("on %ld cores\n", ::sysconf(_SC_NPROCESSORS_ONLN));
  for (std::uint32_t n : {1000u, 10000u, 100000u}) {
    std::printf("%u printers reported %u times (%u merge):\n", n, n + n / 4, n / 4);
    for (double scale : {1.0, kPauseCut}) fromPrimary(n, scale);
    for (double scale : {1.0, kPauseCut}) fromSecondary(argv, n, scale);
    std::fflush(stdout);
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
