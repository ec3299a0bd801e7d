// Named pipes beside the bare sockets under them, in one run: a byte-mode
// round trip (19 bytes out, 109 back) against a stream socket pair, and a
// message-mode transaction against a seqpacket pair; then CORCL32's framed
// command-6 exchange with the simulated server beside the same four
// messages (request, acknowledgement, reply, acknowledgement) bare on a pipe.
// The ratios to read: pipe / bare for each pair.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "corlink_transport.h"
#include "pipe_io.h"
#include "platform/named_pipe.h"
#include "platform/runtime_dir.h"
#include "platform/unique_fd.h"
#include "sim/corlink/simulator.h"

namespace {

constexpr std::size_t kRequest = 19;
constexpr std::size_t kReply = 109;

bool readAll(int fd, char* out, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, out + done, size - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

using wf::bench::readAll;

// A server end that answers every `in`-byte request with `out` bytes.
template <typename End>
void answer(End& end, std::size_t in, std::size_t out) {
  std::vector<char> request(in), reply(out, 'r');
  for (;;) {
    if constexpr (std::is_same_v<End, int>) {
      if (!readAll(end, request.data(), in) || ::write(end, reply.data(), out) != static_cast<ssize_t>(out)) return;
    } else {
      if (!readAll(end, request.data(), in) || end.write(reply.data(), out) != wf::ERROR_SUCCESS) return;
    }
  }
}

void BM_BareStreamRoundTrip(benchmark::State& state) {
  int pair[2];
  ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair);
  wf::UniqueFd client(pair[0]), server(pair[1]);
  std::thread echo([fd = server.get()]() mutable { answer(fd, kRequest, kReply); });
  std::vector<char> request(kRequest, 'q'), reply(kReply);
  for (auto _ : state) {
    if (::write(client.get(), request.data(), kRequest) != static_cast<ssize_t>(kRequest) ||
        !readAll(client.get(), reply.data(), kReply))
      state.SkipWithError("bare stream failed");
  }
  ::shutdown(client.get(), SHUT_RDWR);
  echo.join();
}
BENCHMARK(BM_BareStreamRoundTrip)->UseRealTime();

void BM_PipeByteRoundTrip(benchmark::State& state) {
  auto listener = wf::PipeListener::listen("\\\\BENCH\\PIPE\\bytes", wf::PipeMode::Byte);
  auto client = wf::NamedPipe::open("\\\\BENCH\\PIPE\\bytes");
  auto server = listener->accept();
  std::thread echo([&] { answer(*server, kRequest, kReply); });
  std::vector<char> request(kRequest, 'q'), reply(kReply);
  for (auto _ : state) {
    if (client->write(request.data(), kRequest) != wf::ERROR_SUCCESS || !readAll(*client, reply.data(), kReply))
      state.SkipWithError("pipe failed");
  }
  client.reset();
  echo.join();
}
BENCHMARK(BM_PipeByteRoundTrip)->UseRealTime();

void BM_BareSeqpacketRoundTrip(benchmark::State& state) {
  int pair[2];
  ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair);
  wf::UniqueFd client(pair[0]), server(pair[1]);
  std::thread echo([fd = server.get()]() mutable { answer(fd, kRequest, kReply); });
  std::vector<char> request(kRequest, 'q'), reply(kReply);
  for (auto _ : state) {
    if (::write(client.get(), request.data(), kRequest) != static_cast<ssize_t>(kRequest) ||
        ::read(client.get(), reply.data(), kReply) != static_cast<ssize_t>(kReply))
      state.SkipWithError("bare seqpacket failed");
  }
  ::shutdown(client.get(), SHUT_RDWR);
  echo.join();
}
BENCHMARK(BM_BareSeqpacketRoundTrip)->UseRealTime();

void BM_PipeMessageTransact(benchmark::State& state) {
  auto listener = wf::PipeListener::listen("\\\\BENCH\\PIPE\\messages", wf::PipeMode::Message);
  auto client = wf::NamedPipe::open("\\\\BENCH\\PIPE\\messages");
  client->setReadMode(wf::PipeMode::Message);
  auto server = listener->accept();
  std::thread echo([&] {
    std::vector<char> request(512), reply(kReply, 'r');
    std::size_t got = 0;
    while (server->read(request.data(), request.size(), &got) == wf::ERROR_SUCCESS &&
           server->write(reply.data(), kReply) == wf::ERROR_SUCCESS) {
    }
  });
  std::vector<char> request(kRequest, 'q'), reply(kReply);
  std::size_t got = 0;
  for (auto _ : state) {
    if (client->transact(request.data(), kRequest, reply.data(), kReply, &got) != wf::ERROR_SUCCESS)
      state.SkipWithError("transaction failed");
  }
  client.reset();
  echo.join();
}
BENCHMARK(BM_PipeMessageTransact)->UseRealTime();

// The CorLink world's servers in process, and CORCL32's core beside them.
struct World {
  World() {
    if (!sim.loadScenario(WF_CORLINK_WORLD, &error)) return;
    transport = wf::corlink::CorLinkTransport::start(&error);
    if (transport) srv1 = transport->servers().connect("SRV1");
  }
  wf::sim::corlink::CorLinkSimulator sim;
  std::unique_ptr<wf::corlink::CorLinkTransport> transport;
  wf::corlink::ServerEntry* srv1 = nullptr;
  std::string error;
};

const wf::corlink::PortBlock kVireo = {{0x00, 0x00, 0xC0, 0x01, 0x02, 0x03}, 0, 1, 1, 3};

void BM_Corcl32Command6Exchange(benchmark::State& state) {
  World world;
  if (!world.srv1) return state.SkipWithError(("no SRV1: " + world.error).c_str());
  wf::corlink::Bytes record;
  for (auto _ : state) {
    if (world.transport->servers().sendRequest(*world.srv1, &kVireo, nullptr, 0, wf::corlink::kCmdPort) != 0 ||
        world.transport->servers().readReply(*world.srv1, &record) != 0 || record.size() != 109)
      state.SkipWithError("exchange failed");
  }
}
BENCHMARK(BM_Corcl32Command6Exchange)->UseRealTime();

// The same four messages of a command-6 exchange, bare on a byte pipe.
void BM_FourMessagesBareOnAPipe(benchmark::State& state) {
  auto listener = wf::PipeListener::listen("\\\\BENCH\\PIPE\\frames", wf::PipeMode::Byte);
  auto client = wf::NamedPipe::open("\\\\BENCH\\PIPE\\frames");
  auto server = listener->accept();
  std::thread serve([&] {
    std::vector<char> in(19), ack(19, 'a'), reply(128, 'r');
    while (readAll(*server, in.data(), 19) && server->write(ack.data(), 19) == wf::ERROR_SUCCESS &&
           server->write(reply.data(), 128) == wf::ERROR_SUCCESS && readAll(*server, in.data(), 19)) {
    }
  });
  std::vector<char> request(19, 'q'), ack(19), reply(128);
  for (auto _ : state) {
    if (client->write(request.data(), 19) != wf::ERROR_SUCCESS || !readAll(*client, ack.data(), 19) ||
        !readAll(*client, reply.data(), 128) || client->write(ack.data(), 19) != wf::ERROR_SUCCESS)
      state.SkipWithError("bare frames failed");
  }
  client.reset();
  serve.join();
}
BENCHMARK(BM_FourMessagesBareOnAPipe)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  // A runtime directory and data root of the run's own, unless given.
  const std::string base = "/tmp/wf-pipe-bench-" + std::to_string(::getpid());
  ::setenv("WRENFIELD_RUNTIME_DIR", (base + "/run").c_str(), 0);
  ::setenv("WRENFIELD_ROOT", (base + "/root").c_str(), 0);
  ::setenv("WRENFIELD_SCENARIO", WF_CORLINK_WORLD, 0);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  std::filesystem::remove_all(base, ec);
  return 0;
}
