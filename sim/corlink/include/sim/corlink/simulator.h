#pragma once
// The CorLink print servers of a scenario file's [corlink.servers] section,
// and lines applied to them while they run (the program reads them on
// stdin). Every frame in and out is logged, in memory and to the log file.
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "sim/corlink/corlink_server.h"

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

  std::vector<std::string> log() const;
  // Waits up to `ms` system milliseconds for a log line containing `text`.
  bool waitForLog(std::string_view text, std::uint32_t ms) const;

 private:
  // A server's line before it runs; false with *error.
  bool applyToServer(CorLinkServer& server, std::string_view key, std::string_view value, const std::filesystem::path& base,
                     std::string* error);
  bool runningLine(ServerHost& host, std::string_view key, std::string_view value, std::string* error,
                   std::string* answer);
  void record(const std::string& line);
  std::filesystem::path adapterDir(const std::filesystem::path& base) const;

  std::map<std::string, std::unique_ptr<ServerHost>, std::less<>> servers_;
  std::filesystem::path adapterDir_;
  std::filesystem::path jobDir_;
  mutable std::mutex logMutex_;
  mutable std::condition_variable logged_;
  std::vector<std::string> lines_;
  std::ofstream logFile_;
};

}  // namespace wf::sim::corlink
