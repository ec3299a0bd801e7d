#pragma once
// The port monitor of our network printer ports, as far as the broker meets
// it: it takes a local port over for a spooler printer (asking the broker's
// primary to hold it) and prints on it itself; asked for the printer data
// value "CorBCE", it gives the port back, refuses, or gives it back late.
// It lives in the process whose spooler asks it, the broker's primary.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/parallel_port.h"

namespace wf::portmon {

constexpr const char* kMonitorName = "Corvane Network Printer Monitor";

enum class HandBack { Give, Refuse, Delay };

class PortMonitor {
 public:
  PortMonitor();   // registers with the process's spooler
  ~PortMonitor();  // unregisters and closes the ports it holds
  PortMonitor(const PortMonitor&) = delete;
  PortMonitor& operator=(const PortMonitor&) = delete;

  // Request 25 for `portName`, then the port opened for printing. The
  // broker's answer; the port stays unopened when the broker had it not.
  std::int32_t takePort(std::string_view portName, std::string_view printerName);
  // Delay: the port goes back after `delayMs` system milliseconds.
  void setHandBack(HandBack how, std::uint32_t delayMs = 0);
  bool holds(std::string_view portName) const;
  int corBceAsks() const;  // "CorBCE" questions so far

 private:
  // The spooler error code of a printer data question.
  std::uint32_t answer(std::string_view portName, std::string_view valueName);

  mutable std::mutex mutex_;
  std::map<std::string, std::unique_ptr<ParallelPort>> ports_;  // by upper-case "LPTn"
  HandBack how_ = HandBack::Give;
  std::uint32_t delayMs_ = 0;
  int asks_ = 0;
};

}  // namespace wf::portmon
