#pragma once
// Local parallel ports LPT1 to LPT9 as the system expects them of its
// original platform: exclusive open that tells "not found" from "in use", the
// printer's IEEE 1284 device ID out of band, comm time-outs on reads and
// writes, and write failures classified by the printer's state.
//
// A port is served by default by the Unix stream socket "ports/LPTn" below
// the runtime directory (port_wire.h). Setting WRENFIELD_LPT<n> to a device
// path (for example /dev/usb/lp0) puts a real Linux printer on port n instead.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stop_token>
#include <string_view>

#include "platform/port_wire.h"

namespace wf {

// Codes as the original platform reported them; traces print the numbers.
enum class PortError : std::uint32_t {
  None = 0,
  InvalidFunction = 1,     // device-control code the port does not know
  FileNotFound = 2,        // no such port, or nobody serves it
  AccessDenied = 5,        // another client has the port open
  GenFailure = 31,         // any other failure to open or talk to the port
  SemTimeout = 121,        // the printer did not answer a device-control request
  MoreData = 234,          // device-control output cut to the caller's buffer
  OperationAborted = 995,  // a read ended by a stop request
};

using WriteErrorClass = portwire::WriteErrorClass;

// The original comm time-outs, in system milliseconds (scaled by the clock).
// Read budget: multiplier x bytes requested + constant (both 0: no budget);
// interval: the longest gap allowed between bytes once the first arrived
// (0: none). Interval kInfinite with both read totals 0 returns at once with
// what has arrived. Write budget likewise; both 0: writes wait as long as it takes.
struct CommTimeouts {
  std::uint32_t readIntervalTimeout = 0;
  std::uint32_t readTotalTimeoutMultiplier = 0;
  std::uint32_t readTotalTimeoutConstant = 0;
  std::uint32_t writeTotalTimeoutMultiplier = 0;
  std::uint32_t writeTotalTimeoutConstant = 0;
  friend bool operator==(const CommTimeouts&, const CommTimeouts&) = default;
};

// A read that runs out of time is not an error: it returns what arrived.
struct PortRead {
  std::size_t bytes = 0;
  PortError error = PortError::None;
};

// A write that fails returns the bytes that went out before it failed.
struct PortWrite {
  std::size_t written = 0;
  WriteErrorClass error = WriteErrorClass::None;
};

// Device-control code: the printer's IEEE 1284 ID, without its length prefix.
constexpr std::uint32_t kDeviceControlGetDeviceId = 17;

class PortLink;

// An open port. Reads, writes and device-control calls may run on different
// threads at once (a reader thread reads while requests are written).
class ParallelPort {
 public:
  explicit ParallelPort(std::unique_ptr<PortLink> link);
  ParallelPort(const ParallelPort&) = delete;
  ParallelPort& operator=(const ParallelPort&) = delete;
  ~ParallelPort();  // closes the port

  // Fills `buffer` within the read budget; `stop` ends the wait early.
  PortRead read(std::span<char> buffer, std::stop_token stop = {});
  PortWrite write(std::string_view data, std::stop_token stop = {});
  PortError deviceControl(std::uint32_t code, std::string_view input, std::span<char> output,
                          std::size_t& returned);

  CommTimeouts timeouts() const;
  void setTimeouts(const CommTimeouts& timeouts);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

struct PortOpen {
  std::unique_ptr<ParallelPort> port;  // null on failure
  PortError error = PortError::None;
};

// Opens "LPT1" to "LPT9" (also with a trailing ':', any case) exclusively.
PortOpen openParallelPort(std::string_view name);

// 1 to 9 for a parallel port name as openParallelPort takes it, else 0.
int parallelPortNumber(std::string_view name);

}  // namespace wf
