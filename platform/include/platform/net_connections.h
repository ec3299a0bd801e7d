#pragma once
// Network connections of redirected local ports: which network printer queue
// a local port such as "LPT2" is redirected to, and a sink standing in for
// those queues that keeps what is written to each, so a run can check it. A
// stand-in, fed by the scenario file and by tests.
//
// Scenario sections:
//   [network.redirections]  local port = remote name   ("LPT2 = \\SERVER\QUEUE")
//   [network.unreachable]   one remote name a line: writes to it fail
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/scenario.h"

namespace wf::netconn {

// Results as the original network layer reported them.
constexpr std::uint32_t kNoError = 0;
constexpr std::uint32_t kGenFailure = 31;  // the sink could not keep the data
constexpr std::uint32_t kBadNetPath = 53;  // the queue's server cannot be reached
constexpr std::uint32_t kBadNetName = 67;  // no redirection leads to that remote name
constexpr std::uint32_t kMoreData = 234;
constexpr std::uint32_t kBadDevice = 1200;  // not a local port name
constexpr std::uint32_t kNotConnected = 2250;

class NetConnections {
 public:
  NetConnections();
  ~NetConnections();
  NetConnections(const NetConnections&) = delete;
  NetConnections& operator=(const NetConnections&) = delete;

  // Replaces redirections and unreachable names with the scenario's; nothing
  // changes when it is malformed.
  bool load(const Scenario& scenario, std::string* error = nullptr);
  void clear();
  // "LPT1" to "LPT9" (a trailing ':' allowed); an empty remote name removes it.
  bool setRedirection(std::string_view localName, std::string remoteName);
  void setReachable(std::string_view remoteName, bool reachable);

  // The remote name of a redirected local port, terminated, into `remoteName`
  // of `length` bytes. Too small: kMoreData and `length` set to the bytes needed.
  std::uint32_t getConnection(std::string_view localName, char* remoteName, std::uint32_t& length) const;

  // Sends `data` to the queue behind a remote name (compared without regard to case).
  std::uint32_t writeRemote(std::string_view remoteName, std::string_view data);
  // Every write to `remoteName` by any process of this run, oldest first.
  std::vector<std::string> writtenTo(std::string_view remoteName) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The process's connections, loaded from the scenario file on first use (a
// malformed scenario is traced and leaves them empty).
NetConnections& netConnections();

}  // namespace wf::netconn
