#pragma once
// The adapters of a scenario file's [ipx.adapters] section, and settings
// applied to them by line while they run (the program reads them on stdin).
// Every datagram in and out is logged, in memory and to the log file.
#include <condition_variable>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/log_file.h"
#include "sim/adapter/adapter_server.h"
#include "sim/sim_log.h"

namespace wf::sim::adapter {

class AdapterSimulator {
 public:
  AdapterSimulator() = default;
  ~AdapterSimulator();
  AdapterSimulator(const AdapterSimulator&) = delete;
  AdapterSimulator& operator=(const AdapterSimulator&) = delete;

  // Reads the section, then starts every adapter it names. Relative paths
  // are taken from the scenario's directory.
  bool loadScenario(const std::filesystem::path& file, std::string* error = nullptr);

  // "ID = file.adapter" starts an adapter; "ID.<key> = value" changes one
  // (any adapter-file key or knob); "adapters = dir", "log = file".
  bool apply(std::string_view line, const std::filesystem::path& base, std::string* error = nullptr);

  // "ID.show <what>": an adapter-file key as it now stands, "node" (the
  // current one), "var G.V" from the store, "flash" (the last image's length
  // and CRC-32) or "restarts". False with *error when there is nothing to show.
  static bool isShowLine(std::string_view line);
  bool show(std::string_view line, std::string* answer, std::string* error = nullptr);
  bool addAdapter(const std::string& id, AdapterConfig config, std::string* error = nullptr);
  AdapterServer* adapter(std::string_view id);

  std::vector<std::string> log() const { return log_.lines(); }
  // Waits up to `ms` system milliseconds for a log line containing `text`.
  bool waitForLog(std::string_view text, std::uint32_t ms) const { return log_.waitFor(text, ms); }

 private:
  std::map<std::string, std::unique_ptr<AdapterServer>, std::less<>> adapters_;
  std::filesystem::path adapterDir_;
  SimLog log_;
};

}  // namespace wf::sim::adapter
