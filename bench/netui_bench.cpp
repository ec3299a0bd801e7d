// The adapter configuration library's requests against the simulated NetWare
// world, item 129 of the printer behind PB's first port through the real
// broker and Cornw32:
//  - bare BceGetNetInfo beside LoadBceFunctions + BceGetNetInfoRetry + free
//    at a time scale that puts the 500 ms floor below the bare figure (the
//    ratio is the cost of binding per operation and of the please-wait box);
//  - NetUIQueryPIPPage beside its four bare broker calls;
//  - at time scale 1, one wrapped request (at least 500 ms);
//  - in the adapter pages' world, the Flash Network Card command with a
//    256 KB file beside the same items 132-134 and blocks sent bare, and the
//    parallel page's Apply beside a bare item-129 set.
//
// Started plainly it moves into a fresh runtime directory and becomes the
// broker's primary; the library's internals run in this process, offscreen.
#include <unistd.h>

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench_roles.h"
#include "broker_bench_world.h"
#include "broker/corbce.h"
#include "broker_binding.h"
#include "factories.h"
#include "framework/controls.h"
#include "framework/property_sheet.h"
#include "framework/scripted_shell.h"
#include "framework/win_app.h"
#include "port_pages.h"
#include "module.h"
#include "platform/clock.h"
#include "platform/window_messages.h"
#include "sim/adapter/simulator.h"

namespace {

using Clock = std::chrono::steady_clock;
using wf::bench::timed;
// The adapter pages' world: the NetWare world with PB's ports filled in.
const std::filesystem::path kWorld = std::filesystem::path(WF_SIM_SCENARIO_DIR) / "netui-adapters.scenario";
constexpr std::size_t kFlashFileSize = 256 * 1024;
constexpr double kPageScale = 0.0001;

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

// A flash file for PB's class: banner, true length, data from offset 214.
std::string writeFlashFile() {
  std::string bytes(kFlashFileSize, '\0');
  const char banner[] = "~|Corvane~| Portbay XLe Flash ROM Preprocessor File (compressed)";
  std::memcpy(bytes.data() + 100, banner, sizeof banner - 1);
  for (int i = 0; i < 4; ++i) bytes[204 + i] = static_cast<char>(kFlashFileSize >> (8 * i));
  for (std::size_t i = 214; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31);
  bytes[214] = 3, bytes[215] = 1, bytes[216] = 7;  // the version PB has already
  const auto path = std::filesystem::temp_directory_path() / ("netui-bench-" + std::to_string(::getpid()) + ".prp");
  std::ofstream(path, std::ios::binary) << bytes;
  return path.string();
}

// Items 132, 133 in 3,072-byte blocks (the first one's data from 214) and 134.
bool bareFlash(std::uint16_t printer, const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto set = [&](std::uint16_t item, const void* data, std::size_t n) {
    return BceSetNetInfo(printer, BCE_NET_NETWARE, item, data, static_cast<std::uint16_t>(n)) == 0;
  };
  std::uint16_t begin[3];
  std::memcpy(begin, all.data() + 208, 6);
  if (!set(wf::net::kItemFlashBegin, begin, 6)) return false;
  std::vector<std::uint8_t> block(3074);
  for (std::size_t at = 214, end = 3072; at < all.size(); at = end, end += 3072) {
    const std::size_t n = std::min(end, all.size()) - at;
    const auto length = static_cast<std::uint16_t>(n);
    std::memcpy(block.data(), &length, 2);
    std::memcpy(block.data() + 2, all.data() + at, n);
    if (!set(wf::net::kItemFlashBlock, block.data(), n + 2)) return false;
  }
  return set(wf::net::kItemFlashEnd, nullptr, 0);
}

// Bytes per second of each of `runs` calls, median.
double medianRate(const char* what, int runs, std::size_t bytes, const std::function<bool()>& call) {
  std::vector<double> rates;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = Clock::now();
    if (!call()) {
      std::fprintf(stderr, "%s: run %d failed\n", what, i);
      return 0;
    }
    rates.push_back(bytes / std::chrono::duration<double>(Clock::now() - t0).count());
  }
  std::sort(rates.begin(), rates.end());
  std::printf("  %-56s %10.0f bytes/s (median of %d)\n", what, rates[rates.size() / 2], runs);
  return rates[rates.size() / 2];
}

// The page's commands against PB: Flash Network Card and Apply.
int pageFigures(std::uint16_t printer) {
  wf::fw::ScriptedShell shell;
  wf::fw::ScriptedDialogs dialogs;
  const auto ok = [](CDialog& box) { box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0); };
  dialogs.on(2163, [](CDialog& box) {
    box.SetDlgItemText(1076, "PBPASS");
    box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0);
  });
  for (UINT id : {2191u, 2153u, 2154u, 2155u, 2156u}) dialogs.on(id, ok);
  for (UINT id : {2177u, 2180u})
    dialogs.on(id, [](CDialog& box) { box.SendMessage(WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED), 0); });
  NetUIFactoryProc factory = nullptr;
  CString caption;
  if (!NetUIQueryPIPPage(printer, &factory, &caption)) return 1;
  const wf::netui::ModuleState state = wf::netui::moduleState();
  CWnd owner;
  owner.CreateEx(0, "AfxWnd", "owner", WS_POPUP, 0, 0, 600, 400, 0);
  wf::netui::PConAdPR page;
  page.SetAdapterValues(state.record, state.printer, state.protocol);
  CPropertySheet sheet("Printer", &owner);
  sheet.AddPage(&page);
  if (!sheet.Create(&owner)) return 1;

  const std::string file = writeFlashFile();
  const double command = medianRate("FlashNetworkCard, 256 KB", 5, kFlashFileSize, [&] {
    shell.fileDialog.script({IDOK, file});
    const int sent = dialogs.runs(2153);
    static_cast<CButton*>(page.GetDlgItem(1038))->Click();
    return dialogs.runs(2153) == sent + 1;
  });
  const double bare = medianRate("items 132-134 bare, same blocks", 5, kFlashFileSize,
                                 [&] { return bareFlash(printer, file); });
  std::filesystem::remove(file);

  int timeout = 60;
  const auto apply = timed("the page's Apply of item 129", 100, [&] {
    page.SetDlgItemText(1058, std::to_string(timeout = timeout == 60 ? 61 : 60).c_str());
    static_cast<CButton*>(page.GetDlgItem(IDOK))->Click();
    return !page.GetDlgItem(IDOK)->IsWindowEnabled();
  });
  wf::net::NETADAPTERPARMS record = page.m_record;
  record.Control = 0x40;
  const auto bareSet = timed("bare BceSetNetInfo 129", 100, [&] {
    return BceSetNetInfo(printer, BCE_NET_NETWARE, wf::net::kItemAdapterParms, &record, sizeof record) == 0;
  });
  sheet.DestroyWindow();
  owner.DestroyWindow();
  if (!command || !bare || !apply || !bareSet) return 1;
  std::printf("ratios: flash command / bare items %.2f (bytes/s), Apply / bare set %.2f (median)\n", command / bare,
              apply->medianUs / bareSet->medianUs);
  return 0;
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
  const wf::bench::BrokerPrimary primary("WfNetUIBench");
  if (!primary.registered()) return 1;
  const auto found = wf::bench::enumeratePrinters(BCE_NET_NETWARE);
  const auto printer = wf::bench::findPrinter(found, BCE_NET_NETWARE, "PORTBAY_1_P1");
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
  // The transport's own waits shrink too: a scale that keeps them above a
  // simulated round trip, with the floor (50 us) far below the set.
  wf::setTimeScaleForTest(kPageScale);
  if (const int rc = pageFigures(*printer)) return rc;

  wf::netui::detachLibrary();
  wf::freeModule(resources);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return wf::bench::mainAsPrimary(argv, kWorld.c_str(), [&] { return runPrimary(argc, argv); });
}
