// The adapter configuration library's requests against the simulated NetWare
// world, item 129 of the printer behind PB's first port through the real
// broker and Cornw32:
//  - bare BceGetNetInfo beside LoadBceFunctions + BceGetNetInfoRetry + free
//    at a time scale that puts the 500 ms floor below the bare figure (the
//    ratio is the cost of binding per operation and of the please-wait box);
//  - NetUIQueryPIPPage beside its four bare broker calls;
//  - at time scale 1, one wrapped request (at least 500 ms).
//
// Started plainly it moves into a fresh runtime directory and becomes the
// broker's primary; the library's internals run in this process, offscreen.
#include <stdlib.h>

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench_roles.h"
#include "broker/corbce.h"
#include "broker_binding.h"
#include "factories.h"
#include "framework/win_app.h"
#include "module.h"
#include "platform/clock.h"
#include "platform/window_messages.h"
#include "sim/adapter/simulator.h"

namespace {

using Clock = std::chrono::steady_clock;
const std::filesystem::path kWorld = std::filesystem::path(WF_SIM_SCENARIO_DIR) / "netui-world.scenario";

std::vector<std::uint16_t> found;
std::uint16_t collect(const PRTINFO* info) {
  if (info) found.push_back(info->handle);
  return 1;
}

struct Figures {
  double perSecond = 0, medianUs = 0, p99Us = 0;
};

// Times `call` n times; empty when a call failed.
std::optional<Figures> timed(const char* what, int n, const std::function<bool()>& call) {
  std::vector<double> us;
  const auto start = Clock::now();
  for (int i = 0; i < n; ++i) {
    const auto t0 = Clock::now();
    if (!call()) {
      std::fprintf(stderr, "%s: call %d failed\n", what, i);
      return std::nullopt;
    }
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::sort(us.begin(), us.end());
  Figures f{us.size() / seconds, us[us.size() / 2], us[us.size() * 99 / 100]};
  std::printf("  %-56s %8.0f /s  median %9.1f us  p99 %9.1f us\n", what, f.perSecond, f.medianUs, f.p99Us);
  return f;
}

std::optional<std::uint16_t> portBayPrinter() {
  for (std::uint16_t h : found) {
    char name[BCE_NAME_LENGTH] = {}, second[BCE_NAME_LENGTH] = {};
    if (BceGetPrinterName(h, BCE_NET_NETWARE, name, second) == BCE_OK && std::string(name) == "PORTBAY_1_P1")
      return h;
  }
  return std::nullopt;
}

bool bareRecord(std::uint16_t printer) {
  wf::net::NETADAPTERPARMS record{};
  std::uint16_t length = sizeof record;
  return BceGetNetInfo(printer, BCE_NET_NETWARE, wf::net::kItemAdapterParms, &record, &length, nullptr) == 0;
}

bool wrappedRecord(std::uint16_t printer) {
  if (!wf::netui::LoadBceFunctions()) return false;
  wf::net::NETADAPTERPARMS record{};
  USHORT length = sizeof record;
  const BOOL ok = wf::netui::BceGetNetInfoRetry(printer, BCE_NET_NETWARE, wf::net::kItemAdapterParms, &record,
                                                &length, nullptr, nullptr);
  wf::netui::FreeBceFunctions();
  return ok != FALSE;
}

bool fourBareCalls(std::uint16_t printer) {
  PRTINFO info{};
  std::uint32_t nets = 0;
  wf::net::NETADAPTERINFO adapter{};
  std::uint16_t infoLength = sizeof adapter;
  return BceGetPrtInfo(printer, &info, 1) == 0 && BceGetNets(&nets) == 0 &&
         BceGetNetInfo(printer, BCE_NET_NETWARE, wf::net::kItemAdapterInfo, &adapter, &infoLength, nullptr) == 0 &&
         bareRecord(printer);
}

bool pipPage(std::uint16_t printer) {
  NetUIFactoryProc factory = nullptr;
  CString caption;
  return NetUIQueryPIPPage(printer, &factory, &caption) && wf::netui::moduleState().protocol == BCE_NET_NETWARE;
}

int runPrimary(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication qt(argc, argv);
  CWinApp app("netui_bench");
  wf::sim::adapter::AdapterSimulator sim;
  std::string error;
  if (!sim.loadScenario(kWorld, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const wf::Hwnd window = wf::createWindow(
      "WfNetUIBench", [](wf::Hwnd, std::uint32_t, wf::WParam, wf::LParam) { return wf::LResult{0}; });
  if (BceRegisterApp(window) != 0) {
    std::fprintf(stderr, "this process did not become the broker's primary\n");
    return 1;
  }
  BceEnumPrinters(0, BCE_NET_NETWARE | BCE_NET_FORCE, collect);
  const auto printer = portBayPrinter();
  const HINSTANCE resources = wf::loadModule("CORNETUIRES.DLL");
  if (!printer || !resources || !wf::netui::attachLibrary(resources)) {
    std::fprintf(stderr, "no printer behind PORTBAY_1_P1 among %zu, or no library resources\n", found.size());
    return 1;
  }
  std::printf("item 129 of printer %u through the broker and Cornw32 (%u cores)\n", *printer,
              std::thread::hardware_concurrency());

  // At scale 0.0001 the floor is 50 us of real time, below a bare request.
  wf::setTimeScaleForTest(0.0001);
  const auto bare = timed("bare BceGetNetInfo 129", 300, [&] { return bareRecord(*printer); });
  const auto wrapped =
      timed("LoadBceFunctions + BceGetNetInfoRetry + free (scale 1e-4)", 300, [&] { return wrappedRecord(*printer); });
  const auto four = timed("its four bare calls (PRTINFO, nets, 135, 129)", 200, [&] { return fourBareCalls(*printer); });
  const auto query = timed("NetUIQueryPIPPage", 200, [&] { return pipPage(*printer); });
  wf::setTimeScaleForTest(1.0);
  const auto floor = timed("wrapped request at scale 1", 3, [&] { return wrappedRecord(*printer); });
  if (!bare || !wrapped || !four || !query || !floor) return 1;
  std::printf("ratios (median): wrapped / bare %.2f, query / four calls %.2f; scale 1 wrapped %.1f ms\n",
              wrapped->medianUs / bare->medianUs, query->medianUs / four->medianUs, floor->medianUs / 1000.0);

  wf::netui::detachLibrary();
  wf::freeModule(resources);
  BceUnregisterApp(0);
  wf::destroyWindow(window);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (!wf::bench::benchRole()) {
    ::setenv("WRENFIELD_SCENARIO", kWorld.c_str(), 1);
    return wf::bench::restartAsPrimary(argv);
  }
  return runPrimary(argc, argv);
}
