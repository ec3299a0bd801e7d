#pragma once
// Printers on local ports, set up from a scenario file and changed while they
// run by setting lines of the same syntax (the program reads them on stdin).
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/log_file.h"
#include "sim/printer/port_server.h"

namespace wf::sim {

// A knob or state line of one printer ("reply-delay = 200", a profile key),
// as the port lines take them; false with *error.
bool applyPrinterSetting(PrinterModel& printer, std::string_view key, std::string_view value,
                         std::string* error = nullptr);

class Simulator {
 public:
  Simulator() = default;
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Starts every printer a scenario names; false with *error ("line N: ...")
  // at the first bad line. Relative paths are taken from the scenario's directory.
  bool loadScenario(const std::filesystem::path& file, std::string* error = nullptr);

  bool addPrinter(int port, Profile profile, std::string* error = nullptr);
  PortServer* port(int number);  // nullptr when no printer plays there

  // One line of scenario syntax: "LPT1 = file.profile", "LPT1.<setting> = value",
  // "log = file", "profiles = dir". Relative paths from `base`.
  bool apply(std::string_view line, const std::filesystem::path& base, std::string* error = nullptr);

  // From now on every port's log entries also go to `file`, one line each.
  bool logTo(const std::filesystem::path& file, std::string* error = nullptr);

 private:
  bool applySetting(PortServer& server, std::string_view key, std::string_view value, std::string* error);
  void attachLog(PortServer& server);

  std::map<int, std::unique_ptr<PortServer>> ports_;
  std::filesystem::path profileDir_;
  std::mutex logMutex_;
  std::optional<LogFile> log_;
};

}  // namespace wf::sim
