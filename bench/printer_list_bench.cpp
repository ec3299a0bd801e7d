// The application's printer list against the broker's mock transports:
// 1,000 network printers enumerated into icons through the printer manager
// and the enumeration callback, beside the bare BceEnumPrinters of the same
// printers in the same run; then FindPrinterIcon by handle among 1,000
// icons of which 100 are ghosts (each ghost asks the broker for the
// printer's information when compared).
//
// Started plainly the program moves into a fresh runtime directory and
// becomes the broker's primary.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "bench_roles.h"
#include "broker/corbce.h"
#include "common/printer_dll.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "fake_wf_app.h"
#include "mock_transport.h"
#include "platform/module.h"
#include "prtgui/generic_family.h"
#include "wfprtmgr/wfprtmgr.h"

namespace {

constexpr std::uint32_t kPrinters = 1000;
constexpr std::uint32_t kGhosts = 100;

struct World {
  wf::testing::FakeWFApp app;
  CWFPrinterDLLManager families;
  CWFPrinterList list;
  std::unique_ptr<WFPrtMgr> manager;
};
World* world = nullptr;

void addMockPrinters(std::uint32_t n) {
  auto module = wf::loadModule("coripx32");
  wf::moduleEntryAs<decltype(&MockTransportReset)>(module, "MockTransportReset")();
  auto add = wf::moduleEntryAs<decltype(&MockTransportAddPort)>(module, "MockTransportAddPort");
  for (std::uint32_t k = 0; k < n; ++k) {
    NETPORTINFO p{};
    p.portId = static_cast<std::uint16_t>(k);
    std::memcpy(p.node + 2, &k, 4);
    p.adapterClass = 1;
    std::snprintf(p.portName, sizeof p.portName, "P%u", k);
    add(&p);
  }
}

std::uint16_t countPrinter(const PRTINFO*) {
  return 1;
}

void BM_BareEnumeration(benchmark::State& state) {
  // The mask the printer manager asks with.
  for (auto _ : state)
    BceEnumPrinters(world->app.appId, BCE_NET_FORCE | BCE_NET_LOCAL | BCE_NET_ALL_BITS, &countPrinter);
  state.counters["printers"] = kPrinters;
}

// One whole-system request, as the enumeration thread makes it.
void enumerateIntoIcons() {
  auto* request = new ENUMPRTDATA;
  request->pList = &world->list;
  world->app.WaitForEnumSpecsComplete();
  world->app.SetGlobalEnumState(1);
  world->manager->enumAllPrinters(&EnumPrintersCallback, reinterpret_cast<std::uintptr_t>(request));
}

void BM_EnumerateIntoIcons(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    world->list.DeleteAllPrinters();
    state.ResumeTiming();
    enumerateIntoIcons();
  }
  state.counters["icons"] = world->list.GetCount();
}

void BM_FindPrinterIconAmongGhosts(benchmark::State& state) {
  world->list.DeleteAllPrinters();
  enumerateIntoIcons();
  // Replace the last 100 by ghosts of addresses nobody serves.
  for (std::uint32_t k = 0; k < kGhosts; ++k) {
    auto* icon = static_cast<CWFPrinterIcon*>(world->list.GetTail());
    world->list.DeletePrinterIcon(icon);
    NETADDRESS address{};
    std::snprintf(address.local, sizeof address.local, "GHOST%u", k);
    world->list.CreateGhostPrinter(&address, nullptr, 0);
  }
  std::vector<USHORT> handles;
  for (POSITION p = world->list.GetHeadPosition(); p;)
    if (USHORT h = static_cast<CWFPrinterIcon*>(world->list.GetNext(p))->GetPrinterHandle())
      handles.push_back(h);
  std::size_t next = 0;
  for (auto _ : state) {
    CWFPrinterIcon* icon = world->list.FindPrinterIcon(handles[next]);
    if (icon) icon->ThreadUnlock();
    next = (next + 97) % handles.size();
    benchmark::DoNotOptimize(icon);
  }
  state.counters["icons"] = world->list.GetCount();
}

BENCHMARK(BM_BareEnumeration)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_EnumerateIntoIcons)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_FindPrinterIconAmongGhosts)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (!wf::bench::benchRole()) {
    ::setenv("WRENFIELD_MODULE_PATH", (wf::moduleDirectory() / "mock-transports").c_str(), 1);
    return wf::bench::restartAsPrimary(argv);
  }
  World w;
  world = &w;
  w.app.threadMgrActive = FALSE;
  w.app.appId = BceRegisterApp(w.app.alertManager.GetNotificationWindow());
  if (w.app.appId != 0) return 1;
  w.manager = std::make_unique<WFPrtMgr>(w.app.appId);
  w.app.prtMgr = w.manager.get();
  w.app.printerList = &w.list;
  w.app.printerDLLManager = &w.families;
  InitBaseGuiDLL(nullptr, &RegisterDLL);
  addMockPrinters(kPrinters);

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  w.list.DeleteAllPrinters();
  w.manager.reset();
  BceUnregisterApp(0);
  return 0;
}
