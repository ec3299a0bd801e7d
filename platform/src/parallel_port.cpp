#include "platform/parallel_port.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "parallel_port_link.h"
#include "platform/clock.h"

namespace wf {
namespace {

// Budgets past the clock's range mean "as long as it takes" in the original too.
std::uint32_t budgetMs(std::uint32_t multiplier, std::size_t bytes, std::uint32_t constant) {
  std::uint64_t total = std::uint64_t{multiplier} * bytes + constant;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(total, kInfinite));
}

PortDeadline budgetDeadline(std::uint32_t multiplier, std::size_t bytes, std::uint32_t constant) {
  if (multiplier == 0 && constant == 0) return PortDeadline::max();
  return deadlineAfter(budgetMs(multiplier, bytes, constant));
}

}  // namespace

struct ParallelPort::State {
  std::unique_ptr<PortLink> link;
  mutable std::mutex m;
  CommTimeouts timeouts;
};

ParallelPort::ParallelPort(std::unique_ptr<PortLink> link) : state_(std::make_unique<State>()) {
  state_->link = std::move(link);
}

ParallelPort::~ParallelPort() = default;

CommTimeouts ParallelPort::timeouts() const {
  std::lock_guard lock(state_->m);
  return state_->timeouts;
}

void ParallelPort::setTimeouts(const CommTimeouts& timeouts) {
  std::lock_guard lock(state_->m);
  state_->timeouts = timeouts;
}

PortRead ParallelPort::read(std::span<char> buffer, std::stop_token stop) {
  if (buffer.empty()) return {};
  const CommTimeouts t = timeouts();
  const bool immediate = t.readIntervalTimeout == kInfinite && t.readTotalTimeoutMultiplier == 0 &&
                         t.readTotalTimeoutConstant == 0;
  const bool interval = t.readIntervalTimeout != 0 && t.readIntervalTimeout != kInfinite;
  const PortDeadline total =
      budgetDeadline(t.readTotalTimeoutMultiplier, buffer.size(), t.readTotalTimeoutConstant);
  std::size_t got = 0;
  PortDeadline lastByte{};
  for (;;) {
    PortRead r = state_->link->takeAvailable(buffer.subspan(got));
    got += r.bytes;
    if (r.bytes > 0) lastByte = std::chrono::steady_clock::now();
    if (r.error != PortError::None) return {got, r.error};
    if (got == buffer.size() || immediate) return {got, PortError::None};
    PortDeadline until = total;
    if (interval && got > 0) until = std::min(until, lastByte + scaled(t.readIntervalTimeout));
    switch (state_->link->waitReadable(until, stop)) {
      case FdWait::Ready:
        continue;
      case FdWait::TimedOut:
        return {got, PortError::None};
      case FdWait::Stopped:
        return {got, PortError::OperationAborted};
      case FdWait::Error:
        return {got, PortError::GenFailure};
    }
  }
}

PortWrite ParallelPort::write(std::string_view data, std::stop_token stop) {
  if (data.empty()) return {};
  const CommTimeouts t = timeouts();
  return state_->link->write(
      data, budgetDeadline(t.writeTotalTimeoutMultiplier, data.size(), t.writeTotalTimeoutConstant), stop);
}

PortError ParallelPort::deviceControl(std::uint32_t code, std::string_view /*input*/, std::span<char> output,
                                      std::size_t& returned) {
  returned = 0;
  if (code != kDeviceControlGetDeviceId) return PortError::InvalidFunction;
  std::string id;
  if (PortError e = state_->link->deviceId(id); e != PortError::None) return e;
  returned = std::min(id.size(), output.size());
  std::memcpy(output.data(), id.data(), returned);
  return returned < id.size() ? PortError::MoreData : PortError::None;
}

int parallelPortNumber(std::string_view name) {
  if (name.size() == 5 && name.back() == ':') name.remove_suffix(1);
  if (name.size() != 4) return 0;
  for (int i = 0; i < 3; ++i)
    if ((name[i] & ~0x20) != "LPT"[i]) return 0;
  return name[3] >= '1' && name[3] <= '9' ? name[3] - '0' : 0;
}

PortOpen openParallelPort(std::string_view name) {
  const int n = parallelPortNumber(name);
  if (n == 0) return {nullptr, PortError::FileNotFound};
  const std::string variable = "WRENFIELD_LPT" + std::to_string(n);
  if (const char* device = std::getenv(variable.c_str()); device && *device) return openDevicePort(device);
  return openSocketPort(n);
}

}  // namespace wf
