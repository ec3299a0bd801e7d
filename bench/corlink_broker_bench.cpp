// The broker's requests, print data and alerts through CORCL32, against the
// CorLink world's servers played in process:
//  - summary requests through BceSendBidi to the Vireo behind SRV1
//    (calls/s, median, 99th percentile), beside the same request as a bare
//    framed exchange on the platform pipes to the same server;
//  - BceWrite of 64 KiB beside the same bytes as bare command-0 frames;
//  - device-status alerts from `raise-status` to this application's window,
//    to set beside netware_broker_bench's figure.
//
// Started plainly it moves into a fresh runtime directory and becomes the
// broker's primary; the network neighbourhood reads the same world.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench_roles.h"
#include "broker_bench_world.h"
#include "fresh_summary.h"
#include "broker/corbce.h"
#include "broker/internal_testing.h"
#include "cl_servers.h"
#include "pipe_io.h"
#include "platform/named_pipe.h"
#include "protocol/requests.h"
#include "sim/corlink/simulator.h"
#include "sim/printer/alerts.h"

namespace {

using wf::bench::timed;
constexpr int kCalls = 2000;
constexpr int kWrites = 50;
constexpr int kAlerts = 1000;
constexpr std::size_t kJobBytes = 64 * 1024;
const wf::corlink::PortBlock kVireoBlock = {{0x00, 0x00, 0xC0, 0x01, 0x02, 0x03}, 0, 1, 1, 3};

// One frame read whole: header, port block, data. Its command word, or 0 on failure.
std::uint32_t readFrame(wf::NamedPipe& pipe, std::vector<std::uint8_t>& frame) {
  frame.resize(9);
  if (!wf::bench::readAll(pipe, frame.data(), 9)) return 0;
  const std::size_t length = (std::size_t{frame[0]} << 8) | frame[1];
  if (length < 9) return 0;
  frame.resize(length);
  if (!wf::bench::readAll(pipe, frame.data() + 9, length - 9)) return 0;
  std::uint32_t command;
  std::memcpy(&command, frame.data() + 3, 4);
  return command | 1;  // never 0 for a frame that came
}

// A command-0 message as frames of at most 512 bytes, each acknowledged;
// then, when `reply`, the reply's frames, each acknowledged.
bool bareExchange(wf::NamedPipe& pipe, const std::uint8_t* data, std::size_t size, bool reply) {
  std::vector<std::uint8_t> frame;
  std::size_t offset = 0;
  do {
    const std::size_t part = std::min(size - offset, wf::corlink::kFrameLimit - 19);
    const bool final = offset + part == size;
    auto out = wf::corlink::frameHeader(part, final ? wf::corlink::kFrameFinal : 0, &kVireoBlock);
    out.insert(out.end(), data + offset, data + offset + part);
    if (pipe.write(out.data(), out.size()) != wf::ERROR_SUCCESS || !readFrame(pipe, frame)) return false;
    offset += part;
  } while (offset < size);
  while (reply) {
    const std::uint32_t command = readFrame(pipe, frame);
    if (!command) return false;
    auto ack = wf::corlink::frameHeader(0, (command & ~1u) | wf::corlink::kFrameAck, &kVireoBlock);
    if (pipe.write(ack.data(), ack.size()) != wf::ERROR_SUCCESS) return false;
    if (command & wf::corlink::kFrameFinal) break;
  }
  return true;
}

bool bare() {
  auto pipe = wf::NamedPipe::open(std::string("\\\\SRV1\\") + wf::corlink::kRequestPipeName);
  if (!pipe) return false;
  const std::uint8_t summary[] = {0xA5, 0x00, 0x03, 0x50, 0x01, 0x00};
  const bool ok = timed("bare framed summary exchange on the pipe", kCalls,
                        [&] { return bareExchange(*pipe, summary, sizeof summary, true); })
                      .has_value();
  std::vector<std::uint8_t> job(kJobBytes, 'x');
  return ok && timed("bare command-0 frames, 64 KiB", kWrites,
                     [&] { return bareExchange(*pipe, job.data(), job.size(), false); });
}

bool alerts(wf::sim::corlink::CorLinkSimulator& sim, std::uint16_t handle) {
  return wf::bench::timedAlerts("device-status alert: raise-status -> message taken", kAlerts, handle,
                                "WfCorLinkBench",
                                [&](int i) {
                                  std::string error;
                                  if (sim.apply(std::string("SRV1.raise-status = VIREO1 ") + (i % 2 ? "0" : "4"),
                                                {}, &error))
                                    return true;
                                  std::fprintf(stderr, "%s\n", error.c_str());
                                  return false;
                                })
      .has_value();
}

int runPrimary() {
  wf::sim::corlink::CorLinkSimulator sim;
  std::string error;
  if (!sim.loadScenario(WF_CORLINK_WORLD, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  wf::bce::internal_testing::replaceSendBidiWorker(wf::bench::freshSummary);
  const wf::bench::BrokerPrimary primary("WfCorLinkBenchApp");
  if (!primary.registered()) return 1;
  const auto found = wf::bench::enumeratePrinters(BCE_NET_CORLINK);
  const auto handle = wf::bench::findPrinter(found, BCE_NET_CORLINK, "VIREO1");
  if (!handle) {
    std::fprintf(stderr, "no VIREO1 among %zu printers\n", found.size());
    return 1;
  }
  std::printf("the CorLink world through CORCL32, printer %u (%u cores)\n", *handle,
              std::thread::hardware_concurrency());
  BceOpen(0, *handle, 0);
  bool ok = wf::bench::timedRequests("BceSendBidi summary through CORCL32", kCalls, *handle,
                                     wf::protocol::request::kSummary, 21)
                .has_value();
  std::vector<char> job(kJobBytes, 'x');
  ok = ok && timed("BceWrite 64 KiB through CORCL32", kWrites, [&] {
    std::uint32_t length = static_cast<std::uint32_t>(job.size());
    return BceWrite(0, *handle, BCE_NET_CORLINK, job.data(), &length, 0) == BCE_OK && length == job.size();
  });
  BceClose(0, *handle);
  ok = ok && bare();
  // The capture goes to the printer through the broker's own request.
  ok = ok && alerts(sim, *handle);
  return ok ? 0 : 1;
}

}  // namespace

int main(int, char** argv) {
  return wf::bench::mainAsPrimary(argv, WF_CORLINK_WORLD, runPrimary);
}
