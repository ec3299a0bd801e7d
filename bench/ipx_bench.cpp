// IPX datagrams on the segment, in one process: a unicast round trip
// against an echo thread, the same over bare loopback UDP (the cost of the
// header, name files and liveness checks), a broadcast reaching 8 sockets,
// a parameter query answered by a simulated multi-port adapter, and a
// request through Cornw32's NetWrite to the printer behind one of its ports;
// CORIPX32's acknowledged send and a tagged request with its "LPA NPA" reply
// against a simulated adapter's IPX side (calls/s, median, 99th percentile).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "broker/net_entry_points.h"
#include "coripx_transport.h"
#include "npa_packets.h"
#include "cornwthk/cornwthk.h"
#include "platform/ipx.h"
#include "platform/module.h"
#include "platform/unique_fd.h"
#include "sim/adapter/simulator.h"
#include "transports/common/adapter_wire.h"

namespace {

using wf::IpxAddress;
using wf::IpxSocket;
using wf::SOCKADDR_IPX;

void useFreshRuntimeDir() {
  std::string dir = (std::filesystem::temp_directory_path() / "wfipxbench-XXXXXX").string();
  if (!::mkdtemp(dir.data())) std::abort();
  ::setenv("WRENFIELD_RUNTIME_DIR", (dir + "/r").c_str(), 1);
  ::setenv("WRENFIELD_ROOT", (dir + "/d").c_str(), 1);
}

SOCKADDR_IPX at(std::uint16_t socket, std::uint8_t nodeByte = 1) {
  IpxAddress a;
  a.network = {0, 0, 0, 1};
  a.node = {0x02, 0, 0, 0, 0, nodeByte};
  a.socket = socket;
  return a.toSockaddr();
}

void BM_IpxUnicastRoundTrip(benchmark::State& state) {
  IpxSocket echo, client;
  echo.bind(at(0x5000));
  client.bind(at(0x5001));
  std::jthread echoing([&](std::stop_token stop) {
    char b[2048];
    SOCKADDR_IPX from{};
    for (;;) {
      const wf::IpxIo r = echo.receiveFrom(b, sizeof b, &from, nullptr, stop);
      if (r.error == wf::WSAEINTR || r.error == wf::WSAENOTSOCK) return;
      echo.sendTo(b, static_cast<std::size_t>(r.bytes), from);
    }
  });
  const std::vector<char> request(static_cast<std::size_t>(state.range(0)), 'q');
  std::vector<char> reply(2048);
  for (auto _ : state) {
    client.sendTo(request.data(), request.size(), at(0x5000));
    client.receiveFrom(reply.data(), reply.size(), nullptr, nullptr);
  }
  echo.close();
}
BENCHMARK(BM_IpxUnicastRoundTrip)->Arg(22)->Arg(512)->UseRealTime();

void BM_LoopbackUdpRoundTrip(benchmark::State& state) {
  auto bound = [] {
    wf::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&a), &len);
    return std::pair{std::move(fd), a};
  };
  auto [echo, echoAddr] = bound();
  auto [client, clientAddr] = bound();
  std::jthread echoing([fd = echo.get()] {
    char b[2048];
    sockaddr_in from{};
    for (;;) {
      socklen_t len = sizeof from;
      const ssize_t n = ::recvfrom(fd, b, sizeof b, 0, reinterpret_cast<sockaddr*>(&from), &len);
      if (n <= 0) return;
      ::sendto(fd, b, static_cast<std::size_t>(n), 0, reinterpret_cast<sockaddr*>(&from), len);
    }
  });
  const std::vector<char> request(static_cast<std::size_t>(state.range(0)), 'q');
  std::vector<char> reply(2048);
  for (auto _ : state) {
    ::sendto(client.get(), request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&echoAddr),
             sizeof echoAddr);
    ::recv(client.get(), reply.data(), reply.size(), 0);
  }
  ::shutdown(echo.get(), SHUT_RDWR);
  echoing.join();
}
BENCHMARK(BM_LoopbackUdpRoundTrip)->Arg(22)->Arg(512)->UseRealTime();

void BM_IpxBroadcastToEight(benchmark::State& state) {
  std::vector<std::unique_ptr<IpxSocket>> receivers;
  for (std::uint8_t i = 0; i < 8; ++i) {
    receivers.push_back(std::make_unique<IpxSocket>());
    receivers.back()->bind(at(0x83C1, static_cast<std::uint8_t>(10 + i)));
  }
  IpxSocket sender;
  sender.bind(at(0x5100));
  sender.setBroadcast(true);
  IpxAddress all = IpxAddress::from(at(0x83C1));
  all.node.fill(0xFF);
  const SOCKADDR_IPX broadcast = all.toSockaddr();
  char b[64];
  for (auto _ : state) {
    sender.sendTo("query", 5, broadcast);
    for (auto& r : receivers) r->receiveFrom(b, sizeof b, nullptr, nullptr);
  }
}
BENCHMARK(BM_IpxBroadcastToEight)->UseRealTime();

// The shipped multi-port adapter as "PB"; false (the run skipped) when it does not start.
bool startPortBay(wf::sim::adapter::AdapterSimulator& sim, benchmark::State& state) {
  std::string error;
  if (sim.apply(std::string("adapters = ") + WF_SIM_PROFILE_DIR, ".", &error) &&
      sim.apply("PB = portbay-npa.adapter", ".", &error))
    return true;
  state.SkipWithError(error.c_str());
  return false;
}

void BM_AdapterParameterQuery(benchmark::State& state) {
  wf::sim::adapter::AdapterSimulator sim;
  if (!startPortBay(sim, state)) return;
  wf::sim::adapter::Node node{};
  sim.adapter("PB")->withModel([&](wf::sim::adapter::AdapterModel& m) { node = m.node(); });
  IpxAddress to;
  to.network = {0, 0, 0, 1};
  to.node = node;
  to.socket = wf::adapter::kCommandSocket;
  IpxSocket host;
  host.bind(at(0x5200));
  const auto query = wf::adapter::textCommand(wf::adapter::kTagQueryParameters);
  std::vector<std::uint8_t> reply(512);
  for (auto _ : state) {
    host.sendTo(query.data(), query.size(), to.toSockaddr());
    host.receiveFrom(reply.data(), reply.size(), nullptr, nullptr);
  }
}
BENCHMARK(BM_AdapterParameterQuery)->UseRealTime();

std::uint16_t gVireoPort = 0xFFFF;
std::uint16_t notePort(const NETPORTINFO* p) {
  if (p && std::string(p->portName) == "PORTBAY_1_P1") gVireoPort = p->portId;
  return 1;
}

// The printer's summary request (command 1) on its own socket, waiting for
// the reply as the broker's requests do.
void BM_Cornw32NetWriteRequest(benchmark::State& state) {
  wf::sim::adapter::AdapterSimulator sim;
  if (!startPortBay(sim, state)) return;
  const wf::ModuleHandle client = wf::loadModule("Cornwthk.DLL");
  const auto loadWorld = wf::moduleEntryAs<decltype(&CornwthkLoadWorld)>(client, "CornwthkLoadWorld");
  if (!loadWorld ||
      loadWorld("[netware.client]\nversion = 4.1.0\n[netware.servers]\nFS1 = 00000001:000000000001\n"
                "[netware.connections]\nFS1 = logged-in | level 33 | default\n") != 0) {
    state.SkipWithError("no NetWare client stand-in");
    return;
  }
  const wf::ModuleHandle cornw32 = wf::loadModule("Cornw32.DLL");
  const wf::NetEntryPoints f = wf::bindNetEntryPoints(cornw32);
  if (!f.NetEnumerate || f.NetEnumerate(&notePort) != 0 || gVireoPort == 0xFFFF) {
    state.SkipWithError("Cornw32 found no port");
    return;
  }
  const std::uint8_t request[] = {0xA5, 0x00, 0x03, 0x50, 0x01, 0x00};
  std::uint8_t reply[512];
  std::int64_t failed = 0;
  for (auto _ : state) {
    std::uint32_t length = sizeof reply;
    std::uint16_t status = 0;
    failed += f.NetWrite(gVireoPort, request, sizeof request, reply, &length, 1, &status) != sizeof request;
  }
  state.counters["failed"] = static_cast<double>(failed);
  state.SetItemsProcessed(state.iterations());
  wf::freeModule(cornw32);
  wf::freeModule(client);
}
BENCHMARK(BM_Cornw32NetWriteRequest)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);

// ---- CORIPX32 ---------------------------------------------------------------------------

// Per-call times as counters beside the rate.
class CallTimes {
 public:
  void add(std::chrono::steady_clock::duration d) {
    us_.push_back(std::chrono::duration<double, std::micro>(d).count());
  }
  void report(benchmark::State& state) {
    if (us_.empty()) return;
    std::sort(us_.begin(), us_.end());
    state.counters["median_us"] = us_[us_.size() / 2];
    state.counters["p99_us"] = us_[us_.size() * 99 / 100];
    state.SetItemsProcessed(state.iterations());
  }

 private:
  std::vector<double> us_;
};

std::uint16_t gCorIpxPort = 0;
std::uint16_t noteCorIpxPort(const NETPORTINFO* p) {
  if (p && p->portKind == 1) gCorIpxPort = p->portId;
  return 1;
}

// PB with its IPX side, found by CORIPX32's core; null (the run skipped) when not.
wf::coripx::IPXPORT* corIpxPortBay(wf::sim::adapter::AdapterSimulator& sim, wf::coripx::CorIpx& ipx,
                                   benchmark::State& state) {
  std::string error;
  auto config = wf::sim::adapter::loadAdapter(std::filesystem::path(WF_SIM_PROFILE_DIR) / "portbay-npa.adapter", &error);
  if (!config) {
    state.SkipWithError(error.c_str());
    return nullptr;
  }
  config->corlinkIpx = true;
  sim.apply(std::string("adapters = ") + WF_SIM_PROFILE_DIR, ".", &error);
  if (!sim.addAdapter("PB", *config, &error)) {
    state.SkipWithError(error.c_str());
    return nullptr;
  }
  gCorIpxPort = 0;
  if (!ipx.ensureStarted() || ipx.enumerate(&noteCorIpxPort) != 0 || !gCorIpxPort) {
    state.SkipWithError("CORIPX32 found no port");
    return nullptr;
  }
  return ipx.FindPortById(gCorIpxPort);
}

void BM_CorIpxAcknowledgedSend(benchmark::State& state) {
  wf::sim::adapter::AdapterSimulator sim;
  wf::coripx::CorIpx ipx;
  wf::coripx::IPXPORT* port = corIpxPortBay(sim, ipx, state);
  if (!port) return;
  CallTimes times;
  std::int64_t failed = 0;
  for (auto _ : state) {
    auto packet = wf::coripx::sendMoreRequest(*port, wf::coripx::nextPacketNumber(port->RequestNumber));
    const auto began = std::chrono::steady_clock::now();
    failed += ipx.SendAcknowledged(*port, packet.data(), packet.size(), false);
    times.add(std::chrono::steady_clock::now() - began);
  }
  state.counters["failed"] = static_cast<double>(failed);
  times.report(state);
}
BENCHMARK(BM_CorIpxAcknowledgedSend)->UseRealTime()->Iterations(2000);

void BM_CorIpxTaggedRequest(benchmark::State& state) {
  wf::sim::adapter::AdapterSimulator sim;
  wf::coripx::CorIpx ipx;
  wf::coripx::IPXPORT* port = corIpxPortBay(sim, ipx, state);
  if (!port) return;
  const std::uint8_t deviceStatus[] = {0xA5, 0x00, 0x03, 0x50, 0x04, 0x00};
  CallTimes times;
  std::int64_t failed = 0;
  std::vector<std::uint8_t> reply(1024);
  for (auto _ : state) {
    const std::uint8_t number = wf::coripx::nextPacketNumber(port->RequestNumber);
    auto packet = wf::coripx::headerWith(wf::adapter::coripx::kFnRequest, wf::coripx::kindFormByte(*port), number);
    packet.insert(packet.end(), std::begin(deviceStatus), std::end(deviceStatus));
    const auto began = std::chrono::steady_clock::now();
    std::uint32_t length = static_cast<std::uint32_t>(reply.size()), status = 0;
    const bool sent = ipx.SendAcknowledged(*port, packet.data(), packet.size(), false) == 0;
    const int r = ipx.WaitTaggedReply(*port, reply.data(), length, wf::adapter::coripx::kTagNpa,
                                      wf::adapter::coripx::kTagReject, status, number);
    times.add(std::chrono::steady_clock::now() - began);
    failed += !sent || r != 0 || status != 1;
  }
  state.counters["failed"] = static_cast<double>(failed);
  times.report(state);
}
BENCHMARK(BM_CorIpxTaggedRequest)->UseRealTime()->Iterations(2000);

}  // namespace

int main(int argc, char** argv) {
  useFreshRuntimeDir();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
