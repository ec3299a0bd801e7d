// The broker against simulated local printers, each figure beside the raw
// figure of the layer below it, measured in the same run:
//  (a) summary requests through BceSendBidi from the primary and from a
//      secondary, beside the bare port round trip of the same packet and the
//      simulator's own work on it;
//  (b) alerts from the printer to an application's window: rate, and latency
//      from the printer's packet to the posted message, beside bare posts;
//  (c) print data in confirmed packets of 1024 and 8192 bytes, beside raw
//      port writes and bare packet-confirmation exchanges.
//
// Started plainly it moves into a fresh runtime directory and becomes the
// primary there, serving the printers itself; it starts itself again as the
// secondary.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_roles.h"
#include "broker/corbce.h"
#include "broker/internal_testing.h"
#include "platform/message_queue.h"
#include "platform/parallel_port.h"
#include "platform/window_messages.h"
#include "protocol/npa.h"
#include "protocol/requests.h"
#include "sim/printer/port_server.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace sim = wf::sim;

constexpr std::uint16_t kQueryHandle = 11;  // LPT1: summaries and alerts
constexpr std::uint16_t kPrint1024 = 12;    // LPT2
constexpr std::uint16_t kPrint8192 = 13;    // LPT3
constexpr int kSummaryCalls = 2000;
constexpr int kPacedCalls = 20;
constexpr int kLatencyAlerts = 2000;
constexpr int kBurstAlerts = 5000;
constexpr std::size_t kPrintBytes = 4 << 20;

double seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}
std::int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

sim::Profile profile(std::uint16_t maxPacket) {
  auto p = sim::parseProfile(
      "family = Meridian\nmodel = \"Vireo 10\"\nrevision = \"1\"\nserial = \"B1\"\n"
      "status = 00 00 00\n");
  p->deviceId = "MFG:Corvane;MDL:Vireo 10;";
  p->maxPacket = maxPacket;
  return *p;
}

// Seconds per call of `call`, run `n` times.
double perCall(int n, const std::function<bool()>& call) {
  const auto start = Clock::now();
  for (int i = 0; i < n; ++i)
    if (!call()) {
      std::fprintf(stderr, "call %d failed\n", i);
      return 0;
    }
  return seconds(Clock::now() - start) / n;
}

void printRate(const char* what, double secondsPerCall) {
  std::printf("  %-58s %10.0f calls/s  %8.1f us/call\n", what, secondsPerCall > 0 ? 1 / secondsPerCall : 0,
              secondsPerCall * 1e6);
}

// ---- (a) summaries -----------------------------------------------------------

// Summaries are answered from the broker's cache after the first; while this
// is set the primary forgets the cached one before each, so every call
// reaches the printer.
std::atomic<bool> freshSummaries{true};

int32_t summaryWorker(uint32_t appId, uint32_t handle, uint32_t netMask, uint32_t code, void* reply,
                      uint32_t* replyLength, const void* request, uint32_t requestLength) {
  if (code == wf::protocol::request::kSummary && freshSummaries) {
    wf::bce::internal_testing::forgetSummary(static_cast<std::uint16_t>(handle));
  }
  return BceSendBidiMF(appId, handle, netMask, code, reply, replyLength, request, requestLength);
}

bool summary(std::uint32_t appId) {
  char reply[512];
  std::uint32_t length = sizeof reply;
  return BceSendBidi(appId, kQueryHandle, 0, wf::protocol::request::kSummary, reply, &length, nullptr, 0) ==
             BCE_OK &&
         length > 20;
}

struct LayerTimes {
  double simulator = 0, bareRoundTrip = 0;  // seconds per summary
};

// Where a call's time goes: the bare round trip holds the simulator's work
// and the port layer's; the rest is the broker's.
void printShares(double call, const LayerTimes& layers) {
  if (call <= 0) return;
  std::printf("  %-58s broker %4.1f%%  port layer %4.1f%%  simulator %4.1f%%\n", "  shares of that call",
              100 * (call - layers.bareRoundTrip) / call,
              100 * (layers.bareRoundTrip - layers.simulator) / call, 100 * layers.simulator / call);
}

// Broker calls from this process: per call opened by the broker, then with the port held open.
void summaryFigures(std::uint32_t appId, int calls, const LayerTimes& layers) {
  printRate("BceSendBidi summary, port opened per call", perCall(calls / 4, [&] { return summary(appId); }));
  BceOpen(appId, kQueryHandle, 0);
  const double open = perCall(calls, [&] { return summary(appId); });
  printRate("BceSendBidi summary, port held open (BceOpen)", open);
  printShares(open, layers);
  BceClose(appId, kQueryHandle);
}

// Reads one whole packet from a bare port: its header, then exactly the
// bytes its length names, so no read waits out its budget.
bool readPacket(wf::ParallelPort& port, std::string& got) {
  auto readExactly = [&](std::size_t n) {
    const std::size_t at = got.size();
    got.resize(at + n);
    const wf::PortRead r = port.read(std::span<char>(got.data() + at, n));
    return r.error == wf::PortError::None && r.bytes == n;
  };
  got.clear();
  if (!readExactly(3)) return false;
  return readExactly(static_cast<std::size_t>(static_cast<std::uint8_t>(got[1])) << 8 |
                     static_cast<std::uint8_t>(got[2]));
}

// The broker's status poll may have the port open for a moment: retry a while.
std::unique_ptr<wf::ParallelPort> bareOpen(const char* name) {
  for (int attempt = 0; attempt < 500; ++attempt) {
    wf::PortOpen opened = wf::openParallelPort(name);
    if (opened.port) {
      opened.port->setTimeouts({0, 0, 5'000, 0, 5'000});
      return std::move(opened.port);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::fprintf(stderr, "%s could not be opened bare\n", name);
  return nullptr;
}

LayerTimes summaryLayers() {
  LayerTimes t;
  const std::string packet =
      *wf::bce::internal_testing::requestPacket(wf::protocol::request::kSummary, {}, 1024);
  sim::PrinterModel alone(profile(1024));
  t.simulator = perCall(kSummaryCalls, [&] { return !alone.receive(packet).empty(); });
  auto port = bareOpen("LPT1");
  if (!port) return t;
  std::string got;
  t.bareRoundTrip = perCall(
      kSummaryCalls, [&] { return port->write(packet).written == packet.size() && readPacket(*port, got); });
  return t;
}

// ---- (b) alerts --------------------------------------------------------------

wf::Hwnd appWindow() {
  static wf::Hwnd w = wf::createWindow(
      "WfLocalBench", [](wf::Hwnd, std::uint32_t, wf::WParam, wf::LParam) { return wf::LResult{0}; });
  return w;
}

bool nextMessage(wf::Message& m, std::uint32_t wanted) {
  while (wf::getMessage(m))
    if (m.message == wanted) return true;
  return false;
}

std::string stampedAlert() {
  std::string data("\x00\x02", 2);
  const std::int64_t t = nowNs();
  data.append(reinterpret_cast<const char*>(&t), sizeof t);
  return data;
}

// Latency of the alert whose message was just taken: fetches its data, frees it.
double alertLatency(std::uint32_t appId, const wf::Message& m, std::int64_t receivedNs) {
  char data[32];
  std::uint16_t length = sizeof data;
  if (BceQueryAlerts(appId, static_cast<std::uint32_t>(m.wParam >> 16), kQueryHandle, 0, data, &length) !=
          BCE_OK ||
      length != 10)
    return -1;
  std::int64_t sent;
  std::memcpy(&sent, data + 2, sizeof sent);
  return static_cast<double>(receivedNs - sent) / 1000.0;
}

void printLatencies(const char* what, std::vector<double> us) {
  if (us.empty()) return;
  std::sort(us.begin(), us.end());
  std::printf("  %-58s median %7.1f us  p99 %7.1f us\n", what, us[us.size() / 2], us[us.size() * 99 / 100]);
}

void alertFigures(sim::PortServer& printer) {
  const ALERTS classTwo{BCE_ALERT_CLASS_2};
  if (BceCaptureAlerts(0, kQueryHandle, &classTwo, appWindow(), 0) != BCE_OK) {
    std::fprintf(stderr, "capture failed\n");
    return;
  }
  wf::Message m;
  std::vector<double> latencies;
  for (int i = 0; i < kLatencyAlerts; ++i) {
    if (!printer.raiseClassAlert(stampedAlert()) || !nextMessage(m, WM_BCE_ALERT_2)) return;
    latencies.push_back(alertLatency(0, m, nowNs()));
  }
  printLatencies("alert: printer packet -> posted message taken", latencies);

  const auto start = Clock::now();
  std::jthread raiser([&] {
    for (int i = 0; i < kBurstAlerts; ++i) printer.raiseClassAlert(stampedAlert());
  });
  int received = 0;
  for (; received < kBurstAlerts && nextMessage(m, WM_BCE_ALERT_2); ++received) alertLatency(0, m, nowNs());
  const double burst = seconds(Clock::now() - start);
  std::printf("  %-58s %10.0f alerts/s (%d alerts, each fetched)\n", "alert burst: printer -> window",
              received / burst, received);
  BceReleaseAlerts(0, kQueryHandle, 1);

  // The bare platform: posts from another thread to the same window.
  constexpr std::uint32_t kBare = 0x7000;
  latencies.clear();
  std::vector<std::int64_t> sentAt(kLatencyAlerts);
  for (int i = 0; i < kLatencyAlerts; ++i) {
    std::jthread poster([&, i] {
      sentAt[i] = nowNs();
      wf::postMessage(appWindow(), kBare, static_cast<wf::WParam>(i), 0);
    });
    if (!nextMessage(m, kBare)) return;
    latencies.push_back(static_cast<double>(nowNs() - sentAt[m.wParam]) / 1000.0);
  }
  printLatencies("bare post from another thread -> message taken", latencies);
  const auto bareStart = Clock::now();
  std::jthread poster([&] {
    for (int i = 0; i < kBurstAlerts; ++i) wf::postMessage(appWindow(), kBare, 0, 0);
  });
  for (int i = 0; i < kBurstAlerts && nextMessage(m, kBare); ++i) {
  }
  std::printf("  %-58s %10.0f posts/s\n", "bare post burst -> window",
              kBurstAlerts / seconds(Clock::now() - bareStart));
}

// ---- (c) print data ----------------------------------------------------------

double megabytesPerSecond(std::size_t bytes, Clock::duration d) {
  return bytes / 1e6 / seconds(d);
}

void printFigures(const char* port, std::uint16_t handle, std::size_t packetSize) {
  const std::string data = [] {
    std::string d(kPrintBytes, '\0');
    for (std::size_t i = 0; i < d.size(); ++i) d[i] = static_cast<char>('a' + i % 26);
    return d;
  }();
  const std::size_t chunk = packetSize - wf::protocol::npa::kHeaderSize;
  {
    auto bare = bareOpen(port);
    if (!bare) return;
    auto start = Clock::now();
    for (std::size_t at = 0; at < data.size(); at += chunk)
      if (bare->write(std::string_view(data).substr(at, chunk)).error != wf::WriteErrorClass::None) return;
    const double raw = megabytesPerSecond(data.size(), Clock::now() - start);
    start = Clock::now();
    std::string got;
    for (std::size_t at = 0; at < data.size(); at += chunk) {
      const std::string packet =
          wf::bce::internal_testing::printDataPacket(std::string_view(data).substr(at, chunk));
      if (bare->write(packet).written != packet.size() || !readPacket(*bare, got)) return;
    }
    const double confirmed = megabytesPerSecond(data.size(), Clock::now() - start);
    std::printf("  %-58s %8.1f MB/s\n", ("raw port writes of " + std::to_string(chunk) + " bytes").c_str(),
                raw);
    std::printf("  %-58s %8.1f MB/s\n",
                ("bare packets of " + std::to_string(packetSize) + " with confirmation").c_str(), confirmed);
  }
  PRTINFO info{};
  BceGetPrtInfo(handle, &info, 0);
  BceOpen(0, handle, 0);
  const auto start = Clock::now();
  std::uint32_t length = static_cast<std::uint32_t>(data.size());
  const std::int32_t rc = BceWrite(0, handle, 0, const_cast<char*>(data.data()), &length, 0);
  const auto took = Clock::now() - start;
  BceClose(0, handle);
  std::printf("  %-58s %8.1f MB/s  (rc %d, %u bytes, packet size %u)\n",
              ("BceWrite, confirmed packets of " + std::to_string(packetSize)).c_str(),
              megabytesPerSecond(length, took), rc, length, info.packetSize);
}

// ---- roles -------------------------------------------------------------------

void printCached(std::uint32_t appId) {
  printRate("BceSendBidi summary, from the broker's cache",
            perCall(kSummaryCalls, [&] { return summary(appId); }));
}

int runSecondary(const std::string& role) {
  const std::int16_t id = BceRegisterApp(appWindow());
  if (id <= 0) {
    std::fprintf(stderr, "secondary registration failed: %d\n", id);
    return 1;
  }
  const auto appId = static_cast<std::uint32_t>(id);
  if (role == "secondary-paced") {
    BceOpen(appId, kQueryHandle, 0);
    printRate("BceSendBidi summary, port held open, replies paced",
              perCall(kPacedCalls, [&] { return summary(appId); }));
    BceClose(appId, kQueryHandle);
  } else if (role == "secondary-cached") {
    printCached(appId);
  } else {
    const LayerTimes layers{std::atof(::getenv("WF_BENCH_SIMULATOR")), std::atof(::getenv("WF_BENCH_BARE"))};
    summaryFigures(appId, kSummaryCalls, layers);
  }
  BceUnregisterApp(appId);
  return 0;
}

int printersFound = 0;
uint16_t countPrinter(const PRTINFO* info) {
  if (info) ++printersFound;
  return 1;
}

int runPrimary(char** argv) {
  std::shared_ptr<sim::PrinterModel> models[] = {std::make_shared<sim::PrinterModel>(profile(1024)),
                                                 std::make_shared<sim::PrinterModel>(profile(1024)),
                                                 std::make_shared<sim::PrinterModel>(profile(8192))};
  std::unique_ptr<sim::PortServer> servers[3];
  for (int i = 0; i < 3; ++i)
    if (!(servers[i] = sim::PortServer::start(i + 1, models[i]))) return 1;

  wf::bce::internal_testing::replaceSendBidiWorker(summaryWorker);
  if (BceRegisterApp(appWindow()) != 0) {
    std::fprintf(stderr, "this process did not become the broker's primary\n");
    return 1;
  }
  BceEnumPrinters(0, BCE_NET_LOCAL, countPrinter);
  if (printersFound != 3) {
    std::fprintf(stderr, "found %d local printers, not 3\n", printersFound);
    return 1;
  }
  std::printf("nproc %u\n\n(a) summary requests to a simulated local printer\n",
              std::thread::hardware_concurrency());
  const LayerTimes layers = summaryLayers();
  printRate("simulator alone: PrinterModel::receive", layers.simulator);
  printRate("bare port round trip (openParallelPort)", layers.bareRoundTrip);
  std::printf(" primary:\n");
  summaryFigures(0, kSummaryCalls, layers);
  freshSummaries = false;
  printCached(0);
  freshSummaries = true;
  char figure[32];
  std::snprintf(figure, sizeof figure, "%.9g", layers.simulator);
  ::setenv("WF_BENCH_SIMULATOR", figure, 1);
  std::snprintf(figure, sizeof figure, "%.9g", layers.bareRoundTrip);
  ::setenv("WF_BENCH_BARE", figure, 1);
  std::printf(" secondary (reply pacing off):\n");
  wf::bce::internal_testing::setReplyPacing(false);
  int rc = wf::bench::runRole(argv, "secondary");
  freshSummaries = false;
  rc |= wf::bench::runRole(argv, "secondary-cached");
  freshSummaries = true;
  std::printf(" secondary (reply pacing on, as shipped):\n");
  wf::bce::internal_testing::setReplyPacing(true);
  rc |= wf::bench::runRole(argv, "secondary-paced");

  std::printf("\n(b) alerts from a simulated local printer to this application's window\n");
  alertFigures(*servers[0]);

  std::printf("\n(c) print data, %zu MiB per write\n", kPrintBytes >> 20);
  for (std::uint16_t h : {kPrint1024, kPrint8192}) {
    char reply[512];
    std::uint32_t length = sizeof reply;
    BceSendBidi(0, h, 0, wf::protocol::request::kSummary, reply, &length, nullptr,
                0);  // learns the packet size
  }
  printFigures("LPT2", kPrint1024, 1024);
  printFigures("LPT3", kPrint8192, 8192);
  BceUnregisterApp(0);
  return rc;
}

}  // namespace

int main(int, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // the secondary's lines land between the primary's
  const char* role = wf::bench::benchRole();
  if (!role) return wf::bench::restartAsPrimary(argv);
  const std::string r = role;
  if (r == "primary") return runPrimary(argv);
  return runSecondary(r);
}
