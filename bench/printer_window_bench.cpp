// The printer window's list control: as many callback items as printers,
// an integer-key sort and a full Details repaint, offscreen. The window's
// own enumeration-to-shown path is left to a later step.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPixmap>
#include <QWidget>

#include <cstdio>
#include <numeric>
#include <vector>

#include "framework/frame_wnd.h"
#include "framework/list_ctrl.h"

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

BENCHMARK(BM_BareListFill)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareListIntegerSort)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareListDetailsRepaint)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication qt(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
