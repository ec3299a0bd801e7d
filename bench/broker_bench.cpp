// Round trips of a request with a 2 KiB reply from a secondary through the
// primary's dispatchers and back, beside the same exchange over bare
// mailslots in the broker's shape (one request mailslot served by as many
// threads as the broker has dispatchers, which take turns to read it and
// answer outside the turn, one reply mailslot per client
// process shared by its threads, the same bounded wait on a full queue),
// with 1, 4 and 16 client threads; the ratio of the two is printed. The
// broker runs once without and once with its 100 ms pacing between replies
// to one application.
//
// The program plays both sides: started plainly it moves into a fresh
// runtime directory and becomes the primary there; it then starts itself
// again as the secondary that drives the benchmarks.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench_roles.h"
#include "broker/corbce.h"
#include "broker/internal_testing.h"
#include "platform/mailslot.h"
#include "platform/window_messages.h"

namespace {

constexpr std::uint32_t kReplySize = 2048;
constexpr int kRawServerThreads = 5;  // as many as the broker's dispatchers for one secondary
const char kRawServer[] = "\\\\.\\mailslot\\rawbench\\server";
const char kRawClient[] = "\\\\.\\mailslot\\rawbench\\client";

int32_t replyWorker(uint32_t, uint32_t, uint32_t, uint32_t, void* reply, uint32_t* length, const void*,
                    uint32_t) {
  *length = std::min(*length, kReplySize);
  std::memset(reply, 'r', *length);
  return 0;
}

// The bare exchange: an 8-byte request (the asking thread and its count), a
// 2 KiB answer that starts with the same 8 bytes, to the one client mailslot.
// One thread at a time reads, as the broker's dispatchers do: threads all
// polling the one mailslot would be woken together for every request.
void rawServer(std::stop_token stop, wf::Mailslot& server, std::timed_mutex& readTurn, std::mutex& writerLock,
               std::unique_ptr<wf::MailslotWriter>& client) {
  std::vector<char> answer(kReplySize, 'r');
  while (!stop.stop_requested()) {
    std::uint32_t request[2];
    std::size_t size = 0;
    wf::MailslotStatus status = wf::MailslotStatus::TimedOut;
    if (std::unique_lock turn(readTurn, std::defer_lock); turn.try_lock_for(std::chrono::milliseconds(200)))
      status = server.read(request, sizeof request, &size, 200, stop);
    if (status != wf::MailslotStatus::Ok || size != sizeof request) continue;
    wf::MailslotWriter* writer;
    {
      std::lock_guard lock(writerLock);
      if (!client) {
        auto w = wf::MailslotWriter::open(kRawClient);
        if (!w) continue;
        client = std::make_unique<wf::MailslotWriter>(std::move(*w));
      }
      writer = client.get();
    }
    std::memcpy(answer.data(), request, sizeof request);
    writer->write(answer.data(),
                  answer.size());  // waits for room while the queue is full, as the broker's writes do
  }
}

// The client process's side: one reply mailslot for all its threads. One
// waiting thread reads at a time and hands each answer to the thread it
// belongs to, as the broker's mail client does.
struct RawClient {
  std::optional<wf::Mailslot> replies = wf::Mailslot::create(kRawClient);
  std::optional<wf::MailslotWriter> server = wf::MailslotWriter::open(kRawServer);
  std::mutex lock;
  bool reading = false;
  std::map<std::uint32_t, std::condition_variable*> waiting;
  std::map<std::uint32_t, int> arrived;  // answers read for a thread and not yet taken by it

  bool roundTrip(std::uint32_t thread, std::uint32_t count) {
    const std::uint32_t request[2] = {thread, count};
    if (server->write(request, sizeof request) != wf::MailslotStatus::Ok) return false;
    std::condition_variable mine;
    std::unique_lock hold(lock);
    waiting[thread] = &mine;
    bool ok = false;
    for (;;) {
      if (arrived[thread] > 0) {
        --arrived[thread];
        ok = true;
        break;
      }
      if (reading) {
        mine.wait(hold);
        continue;
      }
      reading = true;
      hold.unlock();
      std::vector<std::uint8_t> answer;
      const bool got = replies->read(answer, 10'000) == wf::MailslotStatus::Ok && answer.size() == kReplySize;
      hold.lock();
      reading = false;
      if (!got) break;
      std::uint32_t owner;
      std::memcpy(&owner, answer.data(), sizeof owner);
      if (owner == thread) {
        ok = true;
        break;
      }
      ++arrived[owner];
      if (auto w = waiting.find(owner); w != waiting.end()) w->second->notify_one();
    }
    waiting.erase(thread);
    if (!reading && !waiting.empty()) waiting.begin()->second->notify_one();
    return ok;
  }
};

std::uint32_t appId = 0;

void BM_BrokerRoundTrip(benchmark::State& state) {
  std::vector<char> reply(kReplySize);
  for (auto _ : state) {
    uint32_t length = kReplySize;
    if (BceSendBidi(appId, 11, 1, 16, reply.data(), &length, "Q", 1) != 0 || length != kReplySize)
      state.SkipWithError("broker round trip failed");
  }
  state.SetItemsProcessed(state.iterations());
}

RawClient* rawClient = nullptr;
std::atomic<std::uint32_t> rawThreads{0};

void BM_RawMailslotRoundTrip(benchmark::State& state) {
  if (!rawClient->replies || !rawClient->server) {
    state.SkipWithError("raw mailslots unavailable");
    return;
  }
  const std::uint32_t thread = rawThreads++;
  std::uint32_t count = 0;
  for (auto _ : state)
    if (!rawClient->roundTrip(thread, ++count)) state.SkipWithError("raw round trip failed");
  state.SetItemsProcessed(state.iterations());
}

// Keeps each run's calls per second, to print the broker's against the raw figure.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto rate = run.counters.find("items_per_second");
      if (rate != run.counters.end()) rates[run.benchmark_name()] = rate->second;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void printRatios() const {
    for (int threads : {1, 4, 16}) {
      const std::string suffix = "/real_time/threads:" + std::to_string(threads);
      const auto broker = rates.find("BrokerRoundTrip/unpaced" + suffix);
      const auto raw = rates.find("RawMailslotRoundTrip" + suffix);
      if (broker == rates.end() || raw == rates.end() || raw->second == 0) continue;
      std::printf("broker / raw at %2d threads: %.0f / %.0f calls/s = %.2f\n", threads,
                  double(broker->second), double(raw->second), double(broker->second) / double(raw->second));
    }
  }
  std::map<std::string, double> rates;
};

int runClient(int argc, char** argv, bool paced) {
  static wf::Hwnd window = wf::createWindow(
      "WfBrokerBench", [](wf::Hwnd, std::uint32_t, wf::WParam, wf::LParam) { return wf::LResult{0}; });
  const int16_t id = BceRegisterApp(window);
  if (id <= 0) {
    std::fprintf(stderr, "secondary registration failed: %d\n", id);
    return 1;
  }
  appId = static_cast<std::uint32_t>(id);
  for (int threads : {1, 4, 16}) {
    auto* b = benchmark::RegisterBenchmark(paced ? "BrokerRoundTrip/paced" : "BrokerRoundTrip/unpaced",
                                           BM_BrokerRoundTrip);
    b->Threads(threads)->UseRealTime();
    if (paced) b->Iterations(8);  // each reply waits for its 100 ms: keep the run short
  }
  std::optional<RawClient> raw;
  if (!paced) {
    raw.emplace();
    rawClient = &*raw;
    for (int threads : {1, 4, 16})
      benchmark::RegisterBenchmark("RawMailslotRoundTrip", BM_RawMailslotRoundTrip)
          ->Threads(threads)
          ->UseRealTime();
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatios();
  BceUnregisterApp(appId);
  return 0;
}

int runPrimary(char** argv) {
  wf::bce::internal_testing::replaceSendBidiWorker(replyWorker);
  static wf::Hwnd window = wf::createWindow(
      "WfBrokerBench", [](wf::Hwnd, std::uint32_t, wf::WParam, wf::LParam) { return wf::LResult{0}; });
  if (BceRegisterApp(window) != 0) {
    std::fprintf(stderr, "this process did not become the broker's primary\n");
    return 1;
  }
  auto server = wf::Mailslot::create(kRawServer);
  if (!server) return 1;
  std::timed_mutex readTurn;
  std::mutex writerLock;
  std::unique_ptr<wf::MailslotWriter> client;
  std::vector<std::jthread> servers;
  for (int i = 0; i < kRawServerThreads; ++i)
    servers.emplace_back([&](std::stop_token st) { rawServer(st, *server, readTurn, writerLock, client); });

  wf::bce::internal_testing::setReplyPacing(false);
  int rc = wf::bench::runRole(argv, "unpaced");
  wf::bce::internal_testing::setReplyPacing(true);
  rc |= wf::bench::runRole(argv, "paced");
  for (auto& t : servers) t.request_stop();
  servers.clear();
  BceUnregisterApp(0);
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  const char* role = wf::bench::benchRole();
  if (!role) return wf::bench::restartAsPrimary(argv);
  const std::string r = role;
  if (r == "primary") return runPrimary(argv);
  return runClient(argc, argv, r == "paced");
}
