// The peer transport against the simulated peer world (in process):
//  - device-status requests through BceSendBidi to PEER1's LASER through
//    CORP2P32 (calls/s, median, 99th percentile), beside the bare
//    "WriteData" poke and request the transport makes for each;
//  - a DDE poke and request beside a bare seqpacket echo of the same size;
//  - device-status alerts from the peer's printer to this application's window.
//
// Started plainly it moves into a fresh runtime directory and becomes the
// broker's primary.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench_roles.h"
#include "broker_bench_world.h"
#include "broker/corbce.h"
#include "platform/byte_codec.h"
#include "platform/dde.h"
#include "protocol/requests.h"
#include "sim/peer/simulator.h"

namespace {

using wf::bench::timed;
constexpr int kCalls = 2000;
constexpr int kAlerts = 1000;
const std::filesystem::path kPeerWorld = std::filesystem::path(WF_SIM_SCENARIO_DIR) / "peer-world.scenario";

wf::HDDEDATA benchClientCallback(UINT, UINT, wf::HCONV, wf::HSZ, wf::HSZ, wf::HDDEDATA, wf::ULONG_PTR,
                                 wf::ULONG_PTR) {
  return nullptr;
}

// A client of PEER1 on this thread, as the transport's worker is.
struct PeerClient {
  DWORD inst = 0;
  wf::HCONV conv = nullptr;
  bool start() {
    if (wf::DdeInitializeA(&inst, benchClientCallback, wf::APPCMD_CLIENTONLY, 0) != wf::DMLERR_NO_ERROR) return false;
    conv = wf::DdeConnect(inst, str("\\\\PEER1\\NDDE$"), str("CORPPS$"), nullptr);
    return conv != nullptr;
  }
  ~PeerClient() {
    if (inst) wf::DdeUninitialize(inst);
  }
  wf::HSZ str(const char* s) { return wf::DdeCreateStringHandleA(inst, s, wf::CP_WINANSI); }
  bool poke(wf::HSZ item, const std::vector<std::uint8_t>& data) {
    return wf::DdeClientTransaction(data.data(), static_cast<DWORD>(data.size()), conv, item, wf::CF_TEXT,
                                    wf::XTYP_POKE, 5000, nullptr) != nullptr;
  }
  bool request(wf::HSZ item) {
    wf::HDDEDATA h = wf::DdeClientTransaction(nullptr, 0, conv, item, wf::CF_TEXT, wf::XTYP_REQUEST, 5000, nullptr);
    if (!h) return false;
    wf::DdeFreeDataHandle(h);
    return true;
  }
};

std::optional<double> bareRequests(PeerClient& c, double* ddeMedian) {
  // The local id the transport gave LASER: the one listed first.
  std::vector<std::uint8_t> list(8);
  wf::storeLe32(&list[0], 0);
  wf::storeLe16(&list[4], 1);
  wf::HSZ listItem = c.str("ListPrinters"), write = c.str("WriteData"), hello = c.str("CorHi"),
          count = c.str("EnumPrinters");
  if (!c.poke(listItem, list) || !c.request(listItem)) return std::nullopt;
  const std::string packet{char(0xA5), 0, 3, char(0x50), char(0x04), 0};
  std::vector<std::uint8_t> poke(12 + packet.size());
  wf::storeLe16(&poke[0], 1);
  wf::storeLe16(&poke[2], 1);
  wf::storeLe32(&poke[4], static_cast<std::uint32_t>(packet.size()));
  wf::storeLe32(&poke[8], 512);
  std::copy(packet.begin(), packet.end(), poke.begin() + 12);
  auto bare = timed("bare \"WriteData\" poke and request", kCalls, [&] { return c.poke(write, poke) && c.request(write); });
  auto dde = timed("DDE poke and request (\"CorHi\", \"EnumPrinters\")", kCalls,
                   [&] { return c.poke(hello, {}) && c.request(count); });
  if (!bare || !dde) return std::nullopt;
  *ddeMedian = dde->medianUs;
  return bare->medianUs;
}

std::optional<double> bareSeqpacket() {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) return std::nullopt;
  std::jthread echo([fd = fds[1]] {
    char b[512];
    for (ssize_t n; (n = ::recv(fd, b, sizeof b, 0)) > 0;) ::send(fd, b, static_cast<std::size_t>(n), MSG_NOSIGNAL);
  });
  char b[512];
  const std::vector<char> frame(32, 'f');  // a frame of the DDE layer's size
  auto f = timed("bare seqpacket echo, twice (poke and request)", kCalls, [&] {
    for (int i = 0; i < 2; ++i) {
      if (::send(fds[0], frame.data(), frame.size(), 0) != static_cast<ssize_t>(frame.size())) return false;
      if (::recv(fds[0], b, sizeof b, 0) <= 0) return false;
    }
    return true;
  });
  ::shutdown(fds[0], SHUT_RDWR);
  ::close(fds[0]);
  echo.join();
  ::close(fds[1]);
  return f ? std::optional<double>(f->medianUs) : std::nullopt;
}

bool alerts(wf::sim::peer::PeerSimulator& sim, std::uint16_t handle) {
  return wf::bench::timedAlerts("device-status alert: peer -> message taken", kAlerts, handle, "WfPeerBench",
                                [&](int i) {
                                  std::string error;
                                  return static_cast<bool>(sim.apply(
                                      i % 2 ? "PEER1.raise-status = 7 0" : "PEER1.raise-status = 7 0x4", ".", &error));
                                })
      .has_value();
}

int runPrimary() {
  wf::sim::peer::PeerSimulator sim;
  std::string error;
  if (!sim.loadScenario(kPeerWorld, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const wf::bench::BrokerPrimary primary("WfPeerBenchApp");
  if (!primary.registered()) return 1;
  const auto found = wf::bench::enumeratePrinters(BCE_NET_PEER);
  const auto handle = wf::bench::findPrinter(found, BCE_NET_PEER, "\\\\PEER1\\LASER");
  if (!handle) {
    std::fprintf(stderr, "no \\\\PEER1\\LASER among %zu printers\n", found.size());
    return 1;
  }
  std::printf("the peer world through CORP2P32, printer %u (%u cores)\n", *handle,
              std::thread::hardware_concurrency());
  BceOpen(0, *handle, 0);
  auto through = wf::bench::timedRequests("BceSendBidi device status through CORP2P32", kCalls, *handle,
                                          wf::protocol::request::kDeviceStatus, 1);
  BceClose(0, *handle);
  PeerClient client;
  double ddeMedian = 0;
  auto bare = client.start() ? bareRequests(client, &ddeMedian) : std::nullopt;
  auto socket = bareSeqpacket();
  bool ok = through && bare && socket;
  if (ok) {
    std::printf("  ratio BceSendBidi / bare WriteData exchange: %.2f\n", through->medianUs / *bare);
    std::printf("  ratio DDE poke and request / bare seqpacket echo: %.2f\n", ddeMedian / *socket);
  }
  ok = ok && alerts(sim, *handle);
  return ok ? 0 : 1;
}

}  // namespace

int main(int, char** argv) {
  return wf::bench::mainAsPrimary(argv, kPeerWorld.c_str(), runPrimary);
}
