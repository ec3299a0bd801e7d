// Device-status alerts from a simulated local printer into a printer icon's
// alert storage, through the real broker, the request object, the
// application's alert service and the icon's dispatch and decoding:
//  - rate and latency from the printer's packet to the stored message (a
//    jam raised) and to its removal (the jam cleared);
//  - beside them, in the same run, the broker's bare alert post: the same
//    printer's device-status packet to the message taken from the window.
//
// Started plainly it moves into a fresh runtime directory and becomes the
// broker's primary, serving the printer itself.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "alert_service.h"
#include "bench_roles.h"
#include "broker/corbce.h"
#include "common/printer_dll.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "common/thread_mgr.h"
#include "common/wait_objects.h"
#include "fake_wf_app.h"
#include "platform/clock.h"
#include "platform/message_queue.h"
#include "platform/window_messages.h"
#include "prtgui/generic_family.h"
#include "sim/printer/port_server.h"
#include "wfprtmgr/wfprtmgr.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace sim = wf::sim;

constexpr int kRounds = 1000;
constexpr auto kGiveUp = std::chrono::seconds(10);
const std::string kJam("\x01\xFF\x01\x00", 4);  // paper jam list entry

struct World {
  wf::testing::FakeWFApp app;
  wf::testing::AlertServiceDouble alerts{[](HWND window) { return BceRegisterApp(window); }};
  CWFPrinterDLLManager families;
  CWFPrinterList list;
  std::unique_ptr<WFPrtMgr> manager;
};

double micros(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

void runQueuedWork(World& w) {
  while (!w.app.ThreadMgrQIsEmpty()) {
    std::unique_ptr<CWFThread> item(w.app.ThreadMgrQRemoveHead());
    item->m_pfnProc(item->m_pParam);
  }
}

std::size_t storedMessages(CWFPrinterIcon& icon) {
  CMutex lock(icon.GetMutexName("AlertLock"));
  lock.Wait(wf::kInfinite);
  const std::size_t n = static_cast<std::size_t>(icon.GetAlertStorage().GetMessages().GetCount());
  lock.Release();
  return n;
}

// Waits until the alert service handled more than `before` messages.
bool handledAfter(World& w, std::size_t before) {
  const auto end = Clock::now() + kGiveUp;
  while (w.alerts.handled() <= before)
    if (Clock::now() > end) return false;
  return true;
}

void printFigures(const char* what, std::vector<double> us, double seconds) {
  if (us.empty()) return;
  std::sort(us.begin(), us.end());
  std::printf("  %-50s %8.0f alerts/s  median %7.1f us  p99 %7.1f us\n", what, us.size() / seconds,
              us[us.size() / 2], us[us.size() * 99 / 100]);
}

// Jam raised, then cleared, kRounds times; each step waited for.
bool iconFigures(World& w, sim::PrinterModel& model, sim::PortServer& printer, CWFPrinterIcon& icon) {
  std::vector<double> raised, cleared;
  const auto start = Clock::now();
  for (int i = 0; i < kRounds; ++i) {
    model.update([](sim::Profile& p) { p.alertLists[5 - sim::kFirstAlertList] = {kJam}; });
    std::size_t before = w.alerts.handled();
    auto t0 = Clock::now();
    if (!printer.raiseDeviceStatus(0x4) || !handledAfter(w, before)) return false;
    raised.push_back(micros(Clock::now() - t0));
    if (storedMessages(icon) != 1) {
      std::fprintf(stderr, "round %d: the jam was not stored\n", i);
      return false;
    }
    model.update([](sim::Profile& p) { p.alertLists[5 - sim::kFirstAlertList].clear(); });
    before = w.alerts.handled();
    t0 = Clock::now();
    if (!printer.raiseDeviceStatus(0) || !handledAfter(w, before)) return false;
    cleared.push_back(micros(Clock::now() - t0));
    if (storedMessages(icon) != 0) {
      std::fprintf(stderr, "round %d: the cleared jam is still stored\n", i);
      return false;
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  printFigures("jam raised: packet -> stored in the icon", raised, seconds / 2);
  printFigures("jam cleared: packet -> removed from the icon", cleared, seconds / 2);
  return true;
}

// The broker alone: the same device-status packet to a window of ours.
bool bareFigures(sim::PortServer& printer, std::uint16_t handle) {
  const HWND window =
      wf::createWindow("WfAlertPathBench", [](HWND, std::uint32_t, WPARAM, LPARAM) { return LRESULT{0}; });
  const ALERTS deviceStatus{BCE_ALERT_DSA_MASK};
  if (BceCaptureAlerts(0, handle, &deviceStatus, window, 0) != BCE_OK) {
    std::fprintf(stderr, "capture for the bare figure failed\n");
    return false;
  }
  std::vector<double> latencies;
  wf::Message m;
  const auto start = Clock::now();
  for (int i = 0; i < 2 * kRounds; ++i) {
    const auto t0 = Clock::now();
    if (!printer.raiseDeviceStatus(i % 2 ? 0 : 0x4)) return false;
    do {
      if (!wf::getMessage(m)) return false;
    } while (m.message != WM_BCE_DSA_ALERT);
    latencies.push_back(micros(Clock::now() - t0));
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  BceReleaseAlerts(0, handle, 1);
  wf::destroyWindow(window);
  printFigures("bare: packet -> broker's post taken", latencies, seconds);
  return true;
}

}  // namespace

int main(int, char** argv) {
  if (!wf::bench::benchRole()) return wf::bench::restartAsPrimary(argv);

  auto profile = sim::loadProfile(std::filesystem::path(WF_SIM_PROFILE_DIR) / "generic-7301.profile");
  if (!profile) return 1;
  auto model = std::make_shared<sim::PrinterModel>(std::move(*profile));
  auto printer = sim::PortServer::start(1, model);
  if (!printer) return 1;

  World w;
  if (w.alerts.appId() != 0) {
    std::fprintf(stderr, "not the broker's first application\n");
    return 1;
  }
  w.app.alertService = &w.alerts;
  w.app.appId = w.alerts.appId();
  w.manager = std::make_unique<WFPrtMgr>(w.app.appId);
  w.app.prtMgr = w.manager.get();
  w.app.printerList = &w.list;
  w.app.printerDLLManager = &w.families;
  InitBaseGuiDLL(nullptr, &RegisterDLL);

  auto* request = new ENUMPRTDATA;
  request->pList = &w.list;
  w.app.SetGlobalEnumState(1);
  w.manager->enumAllPrinters(&EnumPrintersCallback, reinterpret_cast<std::uintptr_t>(request));
  runQueuedWork(w);
  auto* icon = static_cast<CWFPrinterIcon*>(w.list.GetCount() ? w.list.GetHead() : nullptr);
  if (!icon) {
    std::fprintf(stderr, "no icon for the simulated printer\n");
    return 1;
  }
  const auto handle = static_cast<std::uint16_t>(icon->GetPrinterHandle());
  icon->IncrementUsageCount();
  runQueuedWork(w);

  std::printf("device-status alerts from a simulated printer on LPT1 (%u cores)\n",
              std::thread::hardware_concurrency());
  bool ok = iconFigures(w, *model, *printer, *icon);
  icon->DecrementUsageCount();
  runQueuedWork(w);
  ok = ok && bareFigures(*printer, handle);

  w.list.DeleteAllPrinters();
  w.manager.reset();
  return ok ? 0 : 1;
}
