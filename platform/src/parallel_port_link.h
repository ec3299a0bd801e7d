#pragma once
// What a parallel port needs of the thing behind it: the socket endpoint or a
// real printer device. The comm time-out rules live above this, once.
#include <chrono>
#include <filesystem>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>

#include "platform/fd_wait.h"
#include "platform/parallel_port.h"

namespace wf {

using PortDeadline = std::chrono::steady_clock::time_point;

class PortLink {
 public:
  virtual ~PortLink() = default;
  // Copies what has arrived, without waiting; an error only once the printer
  // is gone and nothing is left.
  virtual PortRead takeAvailable(std::span<char> buffer) = 0;
  // Until something can be taken (or the link failed), `deadline` or `stop`.
  virtual FdWait waitReadable(PortDeadline deadline, std::stop_token stop) = 0;
  virtual PortWrite write(std::string_view data, PortDeadline deadline, std::stop_token stop) = 0;
  virtual PortError deviceId(std::string& id) = 0;
};

PortOpen openSocketPort(int portNumber);
PortOpen openDevicePort(const std::filesystem::path& device);

}  // namespace wf
