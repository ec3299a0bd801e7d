// Round trips of a request with a 2 KiB reply from a secondary through the
// primary's dispatchers and back, beside the same exchange over bare
// mailslots, with 1, 4 and 16 client threads. The broker runs once without
// and once with its 100 ms pacing between replies to one application.
//
// The program plays both sides: started plainly it moves into a fresh
// runtime directory and becomes the primary there; it then starts itself
// again as the secondary that drives the benchmarks.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_roles.h"
#include "broker/corbce.h"
#include "dispatcher.h"
#include "platform/mailslot.h"
#include "platform/window_messages.h"
#include "workers.h"

namespace {

constexpr std::uint32_t kReplySize = 2048;
constexpr int kRawServerThreads = 5;  // as many as the broker's dispatchers for one secondary
const char kRawServer[] = "\\\\.\\mailslot\\rawbench\\server";

std::string rawClientSlot(int index) { return "\\\\.\\mailslot\\rawbench\\client" + std::to_string(index); }

int32_t replyWorker(uint32_t, uint32_t, uint32_t, uint32_t, void* reply, uint32_t* length, const void*, uint32_t) {
  *length = std::min(*length, kReplySize);
  std::memset(reply, 'r', *length);
  return 0;
}

// The bare exchange: a 4-byte request naming the client's mailslot, a 2 KiB answer.
void rawServer(std::stop_token stop, wf::Mailslot& server) {
  std::map<int, std::unique_ptr<wf::MailslotWriter>> clients;
  const std::vector<char> answer(kReplySize, 'r');
  while (!stop.stop_requested()) {
    int index = 0;
    std::size_t size = 0;
    if (server.read(&index, sizeof index, &size, 200, stop) != wf::MailslotStatus::Ok) continue;
    auto& writer = clients[index];
    if (!writer) {
      auto w = wf::MailslotWriter::open(rawClientSlot(index));
      if (!w) continue;
      writer = std::make_unique<wf::MailslotWriter>(std::move(*w));
    }
    writer->write(answer.data(), answer.size());
  }
}

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

std::atomic<int> rawClients{0};

void BM_RawMailslotRoundTrip(benchmark::State& state) {
  const int index = rawClients++;
  auto mine = wf::Mailslot::create(rawClientSlot(index));
  auto server = wf::MailslotWriter::open(kRawServer);
  if (!mine || !server) {
    state.SkipWithError("raw mailslots unavailable");
    return;
  }
  std::vector<std::uint8_t> reply(kReplySize);
  for (auto _ : state) {
    std::size_t size = 0;
    if (server->write(&index, sizeof index) != wf::MailslotStatus::Ok ||
        mine->read(reply.data(), reply.size(), &size, 10'000) != wf::MailslotStatus::Ok || size != kReplySize)
      state.SkipWithError("raw round trip failed");
  }
  state.SetItemsProcessed(state.iterations());
}

int runClient(int argc, char** argv, bool paced) {
  static wf::Hwnd window = wf::createWindow("WfBrokerBench", [](wf::Hwnd, std::uint32_t, wf::WParam, wf::LParam) {
    return wf::LResult{0};
  });
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
  if (!paced)
    for (int threads : {1, 4, 16})
      benchmark::RegisterBenchmark("RawMailslotRoundTrip", BM_RawMailslotRoundTrip)->Threads(threads)->UseRealTime();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  BceUnregisterApp(appId);
  return 0;
}

int runPrimary(char** argv) {
  wf::bce::Workers workers;
  workers.sendBidi = replyWorker;
  wf::bce::setWorkersForTest(workers);
  static wf::Hwnd window = wf::createWindow("WfBrokerBench", [](wf::Hwnd, std::uint32_t, wf::WParam, wf::LParam) {
    return wf::LResult{0};
  });
  if (BceRegisterApp(window) != 0) {
    std::fprintf(stderr, "this process did not become the broker's primary\n");
    return 1;
  }
  auto server = wf::Mailslot::create(kRawServer);
  if (!server) return 1;
  std::vector<std::jthread> servers;
  for (int i = 0; i < kRawServerThreads; ++i) servers.emplace_back([&](std::stop_token st) { rawServer(st, *server); });

  wf::bce::setReplyPacingForTest(false);
  int rc = wf::bench::runRole(argv, "unpaced");
  wf::bce::setReplyPacingForTest(true);
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
