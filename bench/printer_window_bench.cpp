// The printer window, offscreen: 1,000 and 10,000 printers of the broker's
// mock transport enumerated into the program's first window (from the
// request to every printer shown), a sort of that window by each column,
// beside the bare list control with as many callback items, an integer-key
// sort and a full Details repaint.
//
// Started plainly the program moves into a fresh runtime and data directory
// and becomes the broker's primary; the application starts as the program
// does and keeps its window for the window benchmarks.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QPixmap>
#include <QWidget>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <vector>

#include "app/main_frame.h"
#include "app/wf_app.h"
#include "bench_roles.h"
#include "broker/corbce.h"
#include "common/printer_list.h"
#include "framework/frame_wnd.h"
#include "framework/list_ctrl.h"
#include "mock_transport.h"
#include "platform/message_queue.h"
#include "platform/module.h"

namespace {

constexpr int kColumns = 9;

// A frame that answers every cell from a number, as the view answers from its icon.
class BenchFrame : public CFrameWnd {
 public:
  LRESULT OnNotifyMessage(WPARAM, LPARAM lParam) {
    auto* info = reinterpret_cast<NMLVDISPINFO*>(lParam);
    if (info->hdr.code == LVN_GETDISPINFO && (info->item.mask & LVIF_TEXT) && info->item.cchTextMax > 0) {
      std::snprintf(info->item.pszText, info->item.cchTextMax, "printer %ld col %d",
                    static_cast<long>(info->item.lParam), info->item.iSubItem);
    }
    return 0;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(BenchFrame, CFrameWnd)
ON_MESSAGE(WM_NOTIFY, OnNotifyMessage)
END_MESSAGE_MAP()

struct Window {
  BenchFrame* frame = new BenchFrame;
  CListCtrl list;
  explicit Window(int items) {
    frame->Create(nullptr, "bench", WS_OVERLAPPEDWINDOW, CRect(0, 0, 1200, 800));
    list.Create(0x50800349, CRect(0, 0, 1200, 800), frame, 100);
    for (int c = 0; c < kColumns; ++c) list.InsertColumn(c, "Column", LVCFMT_LEFT, 120, c);
    for (int i = 0; i < items; ++i) {
      const int item =
          list.InsertItem(LVIF_TEXT | LVIF_PARAM, i, LPSTR_TEXTCALLBACK, 0, 0, 0, (items - i) % 977);
      for (int c = 1; c < kColumns; ++c) list.SetItemText(item, c, LPSTR_TEXTCALLBACK);
    }
  }
  ~Window() {
    list.DestroyWindow();
    frame->DestroyWindow();
  }
};

void BM_BareListFill(benchmark::State& state) {
  for (auto _ : state) {
    Window window(static_cast<int>(state.range(0)));
    benchmark::DoNotOptimize(window.list.GetItemCount());
  }
}

void BM_BareListIntegerSort(benchmark::State& state) {
  Window window(static_cast<int>(state.range(0)));
  bool ascending = true;
  for (auto _ : state) {
    window.list.SortItems(
        [](LPARAM a, LPARAM b, LPARAM up) {
          const int order = a < b ? -1 : a > b ? 1 : 0;
          return up ? order : -order;
        },
        ascending);
    ascending = !ascending;
  }
}

void BM_BareListDetailsRepaint(benchmark::State& state) {
  Window window(static_cast<int>(state.range(0)));
  window.frame->ShowWindow(SW_SHOW);
  for (auto _ : state) {
    window.list.Invalidate();
    benchmark::DoNotOptimize(window.frame->GetSafeHwnd());
    QApplication::processEvents();
  }
}

// ---- the program's own window ----------------------------------------

CWFApp* app = nullptr;
int mockPrinters = -1;

void pump() {
  QCoreApplication::processEvents();
  wf::Message m;
  while (wf::peekMessage(m, wf::PeekMode::Remove)) wf::dispatchMessage(m);
}

CWFListView* view() {
  auto* frame = dynamic_cast<CMainFrame*>(app->m_pMainWnd);
  return frame ? frame->GetView() : nullptr;
}

void setMockPrinters(int n) {
  if (n == mockPrinters) return;
  auto module = wf::loadModule("coripx32");
  wf::moduleEntryAs<decltype(&MockTransportReset)>(module, "MockTransportReset")();
  auto add = wf::moduleEntryAs<decltype(&MockTransportAddPort)>(module, "MockTransportAddPort");
  for (int k = 0; k < n; ++k) {
    NETPORTINFO p{};
    p.portId = static_cast<std::uint16_t>(k);
    std::memcpy(p.node + 2, &k, 4);
    p.adapterClass = 1;
    std::snprintf(p.portName, sizeof p.portName, "P%d", k);
    add(&p);
  }
  wf::freeModule(module);
  mockPrinters = n;
}

void emptyWindow() {
  while (app->GetGlobalEnumState() || app->GetEnumSpecCount() > 0) pump();
  view()->RemoveAllPrinters();
  app->GetPrinterList()->DeleteAllPrinters();
  pump();
}

// One whole-system enumeration, until the window lists every printer.
void enumerateIntoWindow(int printers) {
  app->GlobalReEnum();
  while (view()->GetItemCount() < printers || app->GetGlobalEnumState()) pump();
}

void BM_WindowEnumerationToAllShown(benchmark::State& state) {
  const int printers = static_cast<int>(state.range(0));
  setMockPrinters(printers);
  for (auto _ : state) {
    state.PauseTiming();
    emptyWindow();
    state.ResumeTiming();
    enumerateIntoWindow(printers);
  }
  state.counters["shown"] = view()->GetItemCount();
}

void BM_WindowSortByColumn(benchmark::State& state) {
  const int printers = static_cast<int>(state.range(0));
  const int column = static_cast<int>(state.range(1));
  setMockPrinters(printers);
  if (view()->GetItemCount() != printers) {
    emptyWindow();
    enumerateIntoWindow(printers);
  }
  for (auto _ : state) {
    view()->SetSortColumn(column == 0 ? 1 : 0, FALSE);  // a change of column, not sorted
    view()->SetSortColumn(column, TRUE);
  }
  state.counters["shown"] = view()->GetItemCount();
}

void sortArguments(benchmark::internal::Benchmark* b) {
  for (int printers : {1000, 10000})
    for (int column = 0; column < WF_COLUMNS; ++column) b->Args({printers, column});
}

BENCHMARK(BM_WindowEnumerationToAllShown)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_WindowSortByColumn)->Apply(sortArguments)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareListFill)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareListIntegerSort)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareListDetailsRepaint)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!wf::bench::benchRole()) {
    char root[] = "/tmp/wfbench-root-XXXXXX";
    if (!::mkdtemp(root)) return 1;
    ::setenv("WRENFIELD_ROOT", root, 1);
    ::setenv("WRENFIELD_TIME_SCALE", "0.2", 1);  // the shutdown's pauses
    ::setenv("WRENFIELD_MODULE_PATH", (wf::moduleDirectory() / "mock-transports").c_str(), 1);
    const int status = wf::bench::restartAsPrimary(argv);
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return status;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication qt(argc, argv);
  CWFApp theApp;
  app = &theApp;
  if (!theApp.InitInstance() || !view()) {
    std::fprintf(stderr, "the application did not start\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  emptyWindow();
  theApp.ExitInstance();
  return 0;
}
