// The job statistics service: 10,000 records appended through its window
// beside plain appends of the same lines, and the delete of old records
// over a file of 100,000 lines beside a plain copy of that file; a
// printer's totals read from such a file beside a bare split into lines.
//
// Started plainly the program moves into a fresh data directory, where the
// files live.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "app/jsf_manager.h"
#include "common/ports.h"
#include "framework/global_memory.h"
#include "framework/wnd.h"
#include "meridian/job_lines.h"
#include "platform/paths.h"
#include "platform/unique_fd.h"
#include "platform/window_messages.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRecords = 10'000;
constexpr int kFileLines = 100'000;

CWFJSFManager* manager = nullptr;

std::string jobLine(int i) {
  // A job line of the usual width; the first half of the file dated before the cut-off.
  return std::string("LPT1:,Wed,") + (i < kFileLines / 2 ? "May" : "Jun") +
         ",05,14:03:07,2024,3,0,0,42,0,0,0,0,0,0,3,3,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,,,,"
         "report " +
         std::to_string(i) + ",,,,,,\r\n";
}

std::time_t june1() {
  std::tm tm{};
  tm.tm_year = 124;
  tm.tm_mon = 5;
  tm.tm_mday = 1;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

// Sent, so the service has taken the file when this returns; the block is
// this process's and the handler frees it.
void useFile(const std::string& name) {
  wf::sendMessage(manager->GetNotificationWindow(), WM_WF_JSFSETFILE, 0,
                  reinterpret_cast<LPARAM>(wf::fw::globalTextCopy(name)));
}

void writeFile(const fs::path& path, int lines) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (int i = 0; i < lines; ++i) out << jobLine(i);
}

void BM_RecordsThroughTheService(benchmark::State& state) {
  const fs::path path = *wf::mapSystemPath("c:\\records.csv");
  for (auto _ : state) {
    state.PauseTiming();
    useFile("");
    fs::remove(path);
    useFile("c:\\records.csv");
    std::uint64_t expected = 0;
    for (int i = 0; i < kRecords; ++i) expected += jobLine(i).size();
    state.ResumeTiming();
    HWND window = manager->GetNotificationWindow();
    for (int i = 0; i < kRecords; ++i)
      PostMessage(window, WM_WF_JSFRECORD, 0, reinterpret_cast<LPARAM>(wf::fw::globalTextCopy(jobLine(i))));
    while (manager->GetWindowObject()->CountedSize() < expected)
      std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_RecordsThroughTheService)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainAppends(benchmark::State& state) {
  const fs::path path = *wf::mapSystemPath("c:\\plain.csv");
  for (auto _ : state) {
    wf::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    for (int i = 0; i < kRecords; ++i) {
      const std::string line = jobLine(i);
      if (::write(fd.get(), line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        state.SkipWithError("write");
    }
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_PlainAppends)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DeleteOldRecords(benchmark::State& state) {
  const fs::path path = *wf::mapSystemPath("c:\\delete.csv");
  for (auto _ : state) {
    state.PauseTiming();
    useFile("");
    writeFile(path, kFileLines);
    useFile("c:\\delete.csv");
    state.ResumeTiming();
    wf::sendMessage(manager->GetNotificationWindow(), WM_WF_JSFDELETEJOBS, 0, june1());
  }
  if (fs::file_size(path) == 0) state.SkipWithError("nothing kept");
  state.SetItemsProcessed(state.iterations() * kFileLines);
}
BENCHMARK(BM_DeleteOldRecords)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainCopy(benchmark::State& state) {
  const fs::path path = *wf::mapSystemPath("c:\\copy.csv");
  writeFile(path, kFileLines);
  for (auto _ : state) {
    std::ifstream in(path, std::ios::binary);
    std::ofstream out(path.string() + ".tmp", std::ios::binary | std::ios::trunc);
    std::string line;
    while (std::getline(in, line)) out << line << '\n';
    out.flush();
  }
  state.SetItemsProcessed(state.iterations() * kFileLines);
}
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TotalsFromTheFile(benchmark::State& state) {
  const fs::path path = *wf::mapSystemPath("c:\\totals.csv");
  writeFile(path, kFileLines);
  CWFPortList lpt1("LPT1:");
  ULONG jobs = 0;
  for (auto _ : state) {
    wf::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    jobs = wf::meridian::readTotals(fd.get(), &lpt1).jobs;
  }
  if (jobs != kFileLines) state.SkipWithError("lines not counted");
  state.SetItemsProcessed(state.iterations() * kFileLines);
}
BENCHMARK(BM_TotalsFromTheFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BareLineSplit(benchmark::State& state) {
  const fs::path path = *wf::mapSystemPath("c:\\split.csv");
  writeFile(path, kFileLines);
  std::size_t lines = 0;
  for (auto _ : state) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    lines = 0;
    while (std::getline(in, line)) ++lines;
  }
  if (lines != static_cast<std::size_t>(kFileLines)) state.SkipWithError("lines not counted");
  state.SetItemsProcessed(state.iterations() * kFileLines);
}
BENCHMARK(BM_BareLineSplit)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  char root[] = "/tmp/wfbench-jsf-XXXXXX";
  if (!::getenv("WRENFIELD_ROOT")) {
    if (!::mkdtemp(root)) return 1;
    ::setenv("WRENFIELD_ROOT", root, 1);
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication qt(argc, argv);
  CWFJSFManager service;
  if (!service.Initialize()) {
    std::fprintf(stderr, "the job statistics service did not start\n");
    return 1;
  }
  manager = &service;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  service.Shutdown();
  std::error_code ignored;
  if (root[sizeof root - 2] != 'X') fs::remove_all(root, ignored);
  return 0;
}
