#include "portmon/port_monitor.h"

#include <cctype>

#include "broker/port_control.h"
#include "platform/clock.h"
#include "platform/spooler.h"

namespace wf::portmon {

namespace {

constexpr std::uint32_t kAccessDenied = 5;  // a refused hand-back, as the spooler reports it
constexpr std::uint32_t kRegDword = 4;

// "lpt1:" and "LPT1" name one port.
std::string portKey(std::string_view name) {
  std::string key;
  for (char c : name) {
    if (c == ':') break;
    key.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  }
  return key;
}

}  // namespace

PortMonitor::PortMonitor() {
  spool::spooler().registerMonitor(kMonitorName,
                                   [this](std::string_view, std::string_view port, std::string_view value) {
                                     spool::MonitorReply reply;
                                     reply.error = answer(port, value);
                                     if (reply.error == spool::kSuccess) {
                                       reply.type = kRegDword;
                                       reply.data.assign(4, '\0');
                                     }
                                     return reply;
                                   });
}

PortMonitor::~PortMonitor() {
  spool::spooler().registerMonitor(kMonitorName, {});
}

std::int32_t PortMonitor::takePort(std::string_view portName, std::string_view printerName) {
  const std::int32_t rc = bce::requestHoldPort(portName, printerName);
  if (rc != 0) return rc;
  PortOpen opened = openParallelPort(portName);
  if (opened.port) {
    std::lock_guard lock(mutex_);
    ports_[portKey(portName)] = std::move(opened.port);
  }
  return rc;
}

void PortMonitor::setHandBack(HandBack how, std::uint32_t delayMs) {
  std::lock_guard lock(mutex_);
  how_ = how;
  delayMs_ = delayMs;
}

bool PortMonitor::holds(std::string_view portName) const {
  std::lock_guard lock(mutex_);
  return ports_.count(portKey(portName)) != 0;
}

int PortMonitor::corBceAsks() const {
  std::lock_guard lock(mutex_);
  return asks_;
}

std::uint32_t PortMonitor::answer(std::string_view portName, std::string_view valueName) {
  if (valueName != "CorBCE") return spool::kFileNotFound;
  HandBack how;
  std::uint32_t delay;
  {
    std::lock_guard lock(mutex_);
    ++asks_;
    how = how_;
    delay = delayMs_;
  }
  if (how == HandBack::Refuse) return kAccessDenied;
  if (how == HandBack::Delay) sleepFor(delay);
  std::unique_ptr<ParallelPort> released;  // closed outside the lock
  std::lock_guard lock(mutex_);
  if (auto it = ports_.find(portKey(portName)); it != ports_.end()) {
    released = std::move(it->second);
    ports_.erase(it);
  }
  return spool::kSuccess;
}

}  // namespace wf::portmon
