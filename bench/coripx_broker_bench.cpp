// The broker's requests, print data and alerts through the IPX transport
// CORIPX32, against the simulated CorLink-over-IPX world:
//  - device-status requests through BceSendBidi to the printer behind PB's
//    port 1 (calls/s, median, 99th percentile), beside the bare tagged
//    exchange of the same request from CORIPX32's core in the same run;
//  - BceWrite of 256 KiB inside a job (MB/s), beside bare acknowledged data
//    packets of the largest size, one outstanding;
//  - device-status alerts from that printer to this application's window
//    (median, 99th percentile), to set beside the local-port figure of
//    broker_local_bench.
//
// Started plainly it moves into a fresh runtime directory and becomes the
// broker's primary.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench_roles.h"
#include "broker_bench_world.h"
#include "port_bay_alerts.h"
#include "broker/corbce.h"
#include "broker/internal_testing.h"
#include "coripx_transport.h"
#include "protocol/requests.h"
#include "sim/adapter/simulator.h"
#include "sim/printer/printer.h"
#include "transports/common/adapter_layout.h"
#include "transports/common/net_items.h"

namespace {

using wf::bench::timed;
using Clock = std::chrono::steady_clock;
namespace wire = ::wf::adapter::coripx;
constexpr int kCalls = 2000;
constexpr int kAlerts = 1000;
constexpr int kJobs = 20;
constexpr std::size_t kJobBytes = 256 * 1024;
const std::filesystem::path kWorld = std::filesystem::path(WF_SIM_SCENARIO_DIR) / "coripx-world.scenario";

std::uint16_t gBarePort = 0;
std::uint16_t noteBarePort(const NETPORTINFO* p) {
  if (p && std::strcmp(p->portName, "PORTBAY_1") == 0 && p->portKind == 1) gBarePort = p->portId;
  return 1;
}

double megabytesPerSecond(std::size_t bytes, Clock::duration d) {
  return bytes / 1e6 / std::chrono::duration<double>(d).count();
}

bool bareTagged(wf::coripx::CorIpx& ipx, wf::coripx::IPXPORT& port) {
  const std::uint8_t deviceStatus[] = {0xA5, 0x00, 0x03, 0x50, 0x04, 0x00};
  std::vector<std::uint8_t> reply(1024);
  return timed("bare tagged exchange, device status", kCalls, [&] {
           const std::uint8_t number = wf::coripx::nextPacketNumber(port.RequestNumber);
           auto packet = wf::coripx::headerWith(wire::kFnRequest, wf::coripx::kindFormByte(port), number);
           packet.insert(packet.end(), std::begin(deviceStatus), std::end(deviceStatus));
           std::uint32_t length = static_cast<std::uint32_t>(reply.size()), status = 0;
           return ipx.SendAcknowledged(port, packet.data(), packet.size(), false) == 0 &&
                  ipx.WaitTaggedReply(port, reply.data(), length, wire::kTagNpa, wire::kTagReject, status, number) ==
                      0;
         }).has_value();
}

bool bareData(wf::coripx::CorIpx& ipx, wf::coripx::IPXPORT& port) {
  const std::size_t size = ipx.maxPacket();
  std::vector<std::uint8_t> packet(size, 0x5A);
  std::size_t sent = 0;
  const auto began = Clock::now();
  for (int j = 0; j < kJobs; ++j)
    for (std::size_t done = 0; done < kJobBytes; done += size - wire::kHeader) {
      const auto header = wf::coripx::headerWith(wire::kFnJobData, wf::coripx::dataForm(wf::coripx::kindFormByte(port)),
                                                 wf::coripx::nextPacketNumber(port.DataNumber));
      std::copy(header.begin(), header.end(), packet.begin());
      if (ipx.SendAcknowledged(port, packet.data(), packet.size(), true) != 0) return false;
      sent += size - wire::kHeader;
    }
  std::printf("  %-56s %8.2f MB/s\n", "bare acknowledged data packets, one outstanding",
              megabytesPerSecond(sent, Clock::now() - began));
  return true;
}

bool jobs(std::uint16_t handle) {
  std::vector<std::uint8_t> data(kJobBytes);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i % 251);
  const auto began = Clock::now();
  for (int j = 0; j < kJobs; ++j) {
    std::uint32_t length = static_cast<std::uint32_t>(data.size());
    if (BceStartDoc(handle, BCE_NET_IPX, 0) != BCE_OK ||
        BceWrite(0, handle, BCE_NET_IPX, data.data(), &length, 0) != BCE_OK ||
        BceEndDoc(handle, BCE_NET_IPX) != BCE_OK) {
      std::fprintf(stderr, "job %d failed\n", j);
      return false;
    }
  }
  std::printf("  %-56s %8.2f MB/s\n", "BceWrite of 256 KiB inside a job",
              megabytesPerSecond(kJobs * kJobBytes, Clock::now() - began));
  return true;
}

bool alerts(wf::sim::adapter::AdapterSimulator& sim, std::uint16_t handle) {
  return wf::bench::timedAlerts("device-status alert: packet -> message taken", kAlerts, handle, "WfCorIpxBench",
                                [&](int i) { return wf::bench::raisePortBayStatus(sim, i); })
      .has_value();
}

// The port's nickname: the broker starts jobs only on a printer with a second name.
bool nickname(wf::coripx::CorIpx& ipx, const wf::coripx::IPXPORT& port) {
  wf::net::NICKNAMEENTRY e{};
  std::memcpy(e.Node, port.Node.data(), 6);
  e.AdapterClass = static_cast<std::uint8_t>(port.AdapterClass);
  e.PortKind = port.PortKind;
  std::strcpy(e.Nickname, "BenchDesk");
  return ipx.setInfo(NET_NO_PORT, 3, &e, sizeof e) == NET_OKAY;
}

int runPrimary() {
  wf::sim::adapter::AdapterSimulator sim;
  std::string error;
  if (!sim.loadScenario(kWorld, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  wf::coripx::CorIpx bare;
  if (!bare.ensureStarted() || bare.enumerate(&noteBarePort) != 0 || !gBarePort) {
    std::fprintf(stderr, "CORIPX32's core found no port 1 at PB\n");
    return 1;
  }
  wf::coripx::IPXPORT& port = *bare.FindPortById(gBarePort);
  if (!nickname(bare, port)) {
    std::fprintf(stderr, "the nickname was not written\n");
    return 1;
  }
  const wf::bench::BrokerPrimary primary("WfCorIpxBenchApp");
  if (!primary.registered()) return 1;
  const auto found = wf::bench::enumeratePrinters(BCE_NET_IPX);
  // The printer behind PB's port 1: adapter name and port kind 1.
  const auto handle = wf::bench::findPrinter(found, BCE_NET_IPX, "PORTBAY_1", [](std::uint16_t h) {
    PRTINFO info{};
    return BceGetPrtInfo(h, &info, 0) == BCE_OK && info.portKind == 1;
  });
  if (!handle) {
    std::fprintf(stderr, "no printer behind PORTBAY_1 port 1 among %zu\n", found.size());
    return 1;
  }
  std::printf("the CorLink-over-IPX world through CORIPX32, printer %u (%u cores)\n", *handle,
              std::thread::hardware_concurrency());
  BceOpen(0, *handle, 0);
  bool ok = wf::bench::timedRequests("BceSendBidi device status through CORIPX32", kCalls, *handle,
                                     wf::protocol::request::kDeviceStatus, 0)
                .has_value();
  BceClose(0, *handle);
  ok = ok && bareTagged(bare, port);
  ok = ok && jobs(*handle);
  ok = ok && bareData(bare, port);
  ok = ok && alerts(sim, *handle);
  return ok ? 0 : 1;
}

}  // namespace

int main(int, char** argv) {
  return wf::bench::mainAsPrimary(argv, kWorld.c_str(), runPrimary);
}
