// The broker's requests and alerts through the NetWare transport, against
// the simulated NetWare world (the shipped scenario's adapters):
//  - summary requests through BceSendBidi to the printer behind PB's first
//    port (calls/s, median, 99th percentile), beside a bare IPX round trip
//    of the same size in the same run;
//  - device-status alerts from that printer to this application's window
//    (median, 99th percentile), to set beside the local-port figure of
//    broker_local_bench.
//
// Started plainly it moves into a fresh runtime directory and becomes the
// broker's primary; the NetWare client stand-in reads the same world.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench_roles.h"
#include "broker_bench_world.h"
#include "fresh_summary.h"
#include "port_bay_alerts.h"
#include "broker/corbce.h"
#include "broker/internal_testing.h"
#include "platform/ipx.h"
#include "protocol/requests.h"
#include "sim/adapter/simulator.h"
#include "sim/printer/printer.h"
#include "sim/printer/profile.h"

namespace {

using wf::bench::timed;
constexpr int kCalls = 2000;
constexpr int kAlerts = 1000;
const std::filesystem::path kWorld = std::filesystem::path(WF_SIM_SCENARIO_DIR) / "netware-world.scenario";

bool bareIpx() {
  wf::IpxAddress echoAt, clientAt;
  echoAt.network = clientAt.network = {0, 0, 0, 9};
  echoAt.node = {0x02, 0, 0, 0, 0, 0x71};
  clientAt.node = {0x02, 0, 0, 0, 0, 0x72};
  echoAt.socket = clientAt.socket = 0x5300;
  wf::IpxSocket echo, client;
  if (echo.bind(echoAt.toSockaddr()) != 0 || client.bind(clientAt.toSockaddr()) != 0) return false;
  std::jthread echoing([&](std::stop_token stop) {
    char b[2048];
    wf::SOCKADDR_IPX from{};
    for (;;) {
      const wf::IpxIo r = echo.receiveFrom(b, sizeof b, &from, nullptr, stop);
      if (r.error == wf::WSAEINTR || r.error == wf::WSAENOTSOCK) return;
      echo.sendTo(b, static_cast<std::size_t>(r.bytes), from);
    }
  });
  const std::vector<char> request(8, 'q');  // the summary packet and its fragment header
  std::vector<char> reply(2048);
  const bool ok = timed("bare IPX round trip, 8 bytes", kCalls, [&] {
                    return client.sendTo(request.data(), request.size(), echoAt.toSockaddr()).error == 0 &&
                           client.receiveFrom(reply.data(), reply.size(), nullptr, nullptr).bytes > 0;
                  }).has_value();
  echo.close();
  return ok;
}

bool alerts(wf::sim::adapter::AdapterSimulator& sim, std::uint16_t handle) {
  return wf::bench::timedAlerts("device-status alert: packet -> message taken", kAlerts, handle, "WfNetWareBench",
                                [&](int i) { return wf::bench::raisePortBayStatus(sim, i); })
      .has_value();
}

int runPrimary() {
  wf::sim::adapter::AdapterSimulator sim;
  std::string error;
  if (!sim.loadScenario(kWorld, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  wf::bce::internal_testing::replaceSendBidiWorker(wf::bench::freshSummary);
  const wf::bench::BrokerPrimary primary("WfNetWareBenchApp");
  if (!primary.registered()) return 1;
  const auto found = wf::bench::enumeratePrinters(BCE_NET_NETWARE);
  // The printer behind PB's first port, by its port name.
  const auto handle = wf::bench::findPrinter(found, BCE_NET_NETWARE, "PORTBAY_1_P1");
  if (!handle) {
    std::fprintf(stderr, "no printer behind PORTBAY_1_P1 among %zu\n", found.size());
    return 1;
  }
  std::printf("the NetWare world through Cornw32, printer %u (%u cores)\n", *handle,
              std::thread::hardware_concurrency());
  BceOpen(0, *handle, 0);
  bool ok = wf::bench::timedRequests("BceSendBidi summary through Cornw32", kCalls, *handle,
                                     wf::protocol::request::kSummary, 21)
                .has_value();
  BceClose(0, *handle);
  ok = ok && bareIpx();
  ok = ok && alerts(sim, *handle);
  return ok ? 0 : 1;
}

}  // namespace

int main(int, char** argv) {
  return wf::bench::mainAsPrimary(argv, kWorld.c_str(), runPrimary);
}
