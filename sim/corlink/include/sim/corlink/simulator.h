#pragma once
// The CorLink print servers of a scenario file's [corlink.servers] section,
// and lines applied to them while they run (the program reads them on
// stdin). Every frame in and out is logged, in memory and to the log file.
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/corlink/corlink_server.h"
#include "sim/sim_log.h"

namespace wf::sim::corlink {

class CorLinkSimulator {
 public:
  CorLinkSimulator() = default;
  ~CorLinkSimulator();
  CorLinkSimulator(const CorLinkSimulator&) = delete;
  CorLinkSimulator& operator=(const CorLinkSimulator&) = delete;

  // Reads the section, then starts every server it names. Relative paths
  // are taken from the scenario's directory.
  bool loadScenario(const std::filesystem::path& file, std::string* error = nullptr);

  // A scenario line, or one of the running lines ("SRV.down", "SRV.up",
  // "SRV.raise-status = ...", "SRV.notice = ...", "SRV.move = ...",
  // "SRV.show = <adapter>"). *answer gets what "show" shows.
  bool apply(std::string_view line, const std::filesystem::path& base, std::string* error = nullptr,
             std::string* answer = nullptr);

  ServerHost* server(std::string_view name);

  std::vector<std::string> log() const { return log_.lines(); }
  // Waits up to `ms` system milliseconds for a log line containing `text`.
  bool waitForLog(std::string_view text, std::uint32_t ms) const { return log_.waitFor(text, ms); }

 private:
  // A server's line before it runs; false with *error.
  bool applyToServer(CorLinkServer& server, std::string_view key, std::string_view value, const std::filesystem::path& base,
                     std::string* error);
  bool runningLine(ServerHost& host, std::string_view key, std::string_view value, std::string* error,
                   std::string* answer);
  std::filesystem::path adapterDir(const std::filesystem::path& base) const;

  std::map<std::string, std::unique_ptr<ServerHost>, std::less<>> servers_;
  std::filesystem::path adapterDir_;
  std::filesystem::path jobDir_;
  SimLog log_;
};

}  // namespace wf::sim::corlink
