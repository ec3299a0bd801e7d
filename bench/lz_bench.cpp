// Expansion of a compressed distribution file (this program's own image,
// compressed as the build compresses the main program) beside a plain copy
// of the same expanded bytes through the same calls, and the compressor's
// speed. At the end the expansion's speed is told as a share of the copy's.
//
// Started plainly the program moves into a fresh data directory, where the
// files live.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "platform/lz.h"

namespace {

namespace fs = std::filesystem;

std::string image;  // the expanded bytes

std::string benchFile(const char* name) {
  return (fs::path(::getenv("WRENFIELD_ROOT")) / name).string();
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// One LZCopy of `source` into a fresh target per iteration.
void copyThroughLz(benchmark::State& state, const std::string& source) {
  const std::string target = benchFile("target.bin");
  for (auto _ : state) {
    wf::INT in = wf::LZOpenFileA(source.c_str(), nullptr, wf::OF_READ);
    wf::INT out = wf::LZOpenFileA(target.c_str(), nullptr, wf::OF_CREATE);
    LONG written = wf::LZCopy(in, out);
    wf::LZClose(in);
    wf::LZClose(out);
    if (written != static_cast<LONG>(image.size())) state.SkipWithError("wrong size written");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
}

void BM_Expand(benchmark::State& state) {
  copyThroughLz(state, benchFile("WRENFLD.EX_"));
}
BENCHMARK(BM_Expand)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainCopy(benchmark::State& state) {
  copyThroughLz(state, benchFile("wrenfld"));
}
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Compress(benchmark::State& state) {
  std::size_t size = 0;
  for (auto _ : state) size = wf::lzCompress(image, 'E').size();
  state.counters["ratio"] = static_cast<double>(size) / static_cast<double>(image.size());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
}
BENCHMARK(BM_Compress)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps each run's bytes per second to tell the expansion-to-copy ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      auto it = run.counters.find("bytes_per_second");
      if (it != run.counters.end()) speed[run.run_name.function_name] = it->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> speed;
};

}  // namespace

int main(int argc, char** argv) {
  char root[] = "/tmp/wfbench-lz-XXXXXX";
  if (!::getenv("WRENFIELD_ROOT")) {
    if (!::mkdtemp(root)) return 1;
    ::setenv("WRENFIELD_ROOT", root, 1);
  }
  {
    std::ifstream in("/proc/self/exe", std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    image = bytes.str();
  }
  writeFile(benchFile("wrenfld"), image);
  writeFile(benchFile("WRENFLD.EX_"), wf::lzCompress(image, 'E'));
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  if (reporter.speed.count("BM_Expand") && reporter.speed.count("BM_PlainCopy"))
    std::printf("expansion / plain copy: %.3f (expanded %.1f MB)\n",
                reporter.speed["BM_Expand"] / reporter.speed["BM_PlainCopy"], image.size() / 1e6);
  std::error_code ignored;
  if (root[sizeof root - 2] != 'X') fs::remove_all(root, ignored);
  return 0;
}
