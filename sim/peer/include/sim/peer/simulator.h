#pragma once
// Peer computers that share printers: each registers the DDE service
// "\\<NAME>\NDDE$" and answers the topic "CORPPS$" on a thread of its own,
// with a simulated printer behind every share. `PeerSimulator` runs them in
// process; `wf-peer-sim <scenario>` runs them as a program.
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/peer/peer_config.h"
#include "sim/printer/printer.h"
#include "sim/sim_log.h"

namespace wf::sim::peer {

class PeerServer;

// Alert kinds of a peer's advise, as the broker's messages for the classes.
constexpr std::uint32_t kPeerStatusAlert = 1524;

class PeerSimulator {
 public:
  PeerSimulator();
  ~PeerSimulator();
  PeerSimulator(const PeerSimulator&) = delete;
  PeerSimulator& operator=(const PeerSimulator&) = delete;

  // Reads the [peers] section and starts every peer; false with *error
  // ("[peers] line N: ...") on a malformed line or a peer that cannot start.
  bool loadScenario(const std::filesystem::path& file, std::string* error = nullptr);

  // One line as on the program's standard input: a setting or knob
  // ("PEER1.delay = 50"), a new peer's first line, or an action
  // ("PEER1.raise-status = 7 0x4", "PEER1.raise-alert = 7 2", "PEER1.disconnect",
  // "PEER1.down = 1", "PEER1.jobs = 7"). The answer text of "jobs"
  // ("<count> <sizes,...> <checksum>"), "" for the others; empty with *error.
  std::optional<std::string> apply(std::string_view line, const std::filesystem::path& base,
                                   std::string* error = nullptr);

  // Runs `use` on the printer `id` of `peer` (on the peer's thread); false when there is none.
  bool withPrinter(std::string_view peer, std::uint16_t id, const std::function<void(PrinterModel&)>& use);

  // Every transaction so far, one line each ("PEER1 poke Capture 0700").
  std::vector<std::string> log() const { return log_.lines(); }
  bool waitForLog(std::string_view text, std::uint32_t ms) const { return log_.waitFor(text, ms); }

 private:
  PeerServer* server(std::string_view name);
  bool start(const std::string& name, PeerConfig config, std::string* error);

  std::filesystem::path profileDir_;
  std::map<std::string, std::unique_ptr<PeerServer>, std::less<>> peers_;
  SimLog log_;
};

}  // namespace wf::sim::peer
