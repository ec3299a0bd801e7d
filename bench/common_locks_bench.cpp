// The user-interface modules' lock idiom: a named CMutex made on the stack,
// Wait, Release, destroyed; over 100 per-printer names, on 1 and 8 threads.
// Beside it, in the same run, the bare platform calls it wraps and a plain
// std::mutex, so the wrapper's and the name table's costs show apart.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <mutex>
#include <string>

#include "common/wait_objects.h"
#include "platform/clock.h"
#include "platform/sync.h"

namespace {

constexpr std::size_t kPrinters = 100;

// Names as the printer icons build them: handle, icon address, suffix.
const std::array<std::string, kPrinters>& printerNames() {
  static const auto names = [] {
    std::array<std::string, kPrinters> out;
    for (std::size_t i = 0; i < kPrinters; ++i) {
      char name[64];
      std::snprintf(name, sizeof name, "%zu %zx DeviceChars", 101 + i, 0x7f3a12340000 + i * 0x1a0);
      out[i] = name;
    }
    return out;
  }();
  return names;
}

// Each thread starts at its own printer, as windows reading different rows do.
std::size_t firstPrinter(const benchmark::State& state) {
  return static_cast<std::size_t>(state.thread_index()) * 13 % kPrinters;
}

void BM_CMutexOnTheStack(benchmark::State& state) {
  const auto& names = printerNames();
  std::size_t i = firstPrinter(state);
  for (auto _ : state) {
    CMutex lock(names[i].c_str());
    lock.Wait(wf::kInfinite);
    lock.Release();
    i = (i + 1) % kPrinters;
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_PlatformNamedMutex(benchmark::State& state) {
  const auto& names = printerNames();
  std::size_t i = firstPrinter(state);
  for (auto _ : state) {
    const wf::SyncHandle lock = wf::createMutex(names[i], false);
    wf::waitForObject(lock, wf::kInfinite);
    wf::releaseMutex(lock);
    wf::closeSyncHandle(lock);
    i = (i + 1) % kPrinters;
  }
  state.SetItemsProcessed(state.iterations());
}

std::array<std::mutex, kPrinters> plainMutexes;

void BM_StdMutex(benchmark::State& state) {
  std::size_t i = firstPrinter(state);
  for (auto _ : state) {
    plainMutexes[i].lock();
    plainMutexes[i].unlock();
    i = (i + 1) % kPrinters;
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_CMutexOnTheStack)->Threads(1)->Threads(8)->UseRealTime();
BENCHMARK(BM_PlatformNamedMutex)->Threads(1)->Threads(8)->UseRealTime();
BENCHMARK(BM_StdMutex)->Threads(1)->Threads(8)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
