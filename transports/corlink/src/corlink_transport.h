#pragma once
// CORCL32's state between load and shutdown: its log, its options, the
// server table with its discovery, and the call lock the entry points hold.
#include <cstdint>
#include <memory>
#include <mutex>

#include "broker/net_transport.h"
#include "cl_discovery.h"
#include "cl_log.h"
#include "cl_servers.h"

namespace wf::corlink {

class CorLinkTransport {
 public:
  // Load steps: options, log, the first line. Empty when the load must fail.
  static std::unique_ptr<CorLinkTransport> start(std::string* error = nullptr);
  ~CorLinkTransport();  // shuts down when NetShutdown has not

  // NetShutdown: every server, then the log; a second call does nothing.
  void shutdown();
  bool shutDown() const { return shutDown_; }

  // The workstation items (port id NET_NO_PORT): get 2 and 5, set 3, 4 and 5.
  std::int32_t getInfo(std::uint16_t portId, std::uint16_t item, void* buffer, std::uint16_t* length,
                       NETITEMPROC proc);
  std::int32_t setInfo(std::uint16_t portId, std::uint16_t item, const void* buffer, std::uint32_t length);

  // Discovery as enumeration runs it: the options read, the servers found
  // and connected. False, logged, when options or servers are missing.
  bool discover();

  ClLog& log() { return log_; }
  ServerTable& servers() { return servers_; }
  std::mutex& callLock() { return callLock_; }

 private:
  CorLinkTransport();

  ClLog log_;
  std::mutex callLock_;  // held by entry points for a whole request and its reply
  ServerTable servers_;
  Discovery discovery_;
  bool shutDown_ = false;
};

// The log name of a notice code (above 128).
const char* noticeName(std::uint32_t code);

}  // namespace wf::corlink
