#pragma once
// CORCL32's state between load and shutdown: its log, its options, the
// server table with its discovery, and the call lock the entry points hold.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "broker/net_transport.h"
#include "cl_discovery.h"
#include "cl_log.h"
#include "cl_ports.h"
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

  // The entry points of the contract, by their meaning.
  std::int32_t enumerate(NETENUMPROC proc);
  std::int32_t specificAddress(std::uint16_t portId, NETADDRESS* address);
  std::int32_t enumSpecific(const NETADDRESS* address, NETENUMPROC proc);
  std::int32_t open(std::uint16_t portId, NETDATAPROC proc);
  void close(std::uint16_t portId);
  std::int32_t write(std::uint16_t portId, const std::uint8_t* data, std::uint32_t length, std::uint8_t* reply,
                     std::uint32_t* replyLength, std::uint16_t* status);
  bool isAdmin();
  // 1 when a callback is already registered (it is kept).
  std::int32_t registerCallback(NETEVENTPROC proc);
  void unregisterCallback() { eventProc_ = nullptr; }

  // The port items and the workstation's (port id NET_NO_PORT: get 2, 5 and 135, set 3, 4 and 5).
  std::int32_t getInfo(std::uint16_t portId, std::uint16_t item, void* buffer, std::uint16_t* length,
                       NETITEMPROC proc);
  std::int32_t setInfo(std::uint16_t portId, std::uint16_t item, const void* buffer, std::uint32_t length);

  // Discovery as enumeration runs it: the options read, the servers found
  // and connected. False, logged, when options or servers are missing.
  bool discover();

  ClLog& log() { return log_; }
  ServerTable& servers() { return servers_; }
  PortTable& ports() { return ports_; }
  std::mutex& callLock() { return callLock_; }

 private:
  CorLinkTransport();

  // The server a port was found through, connected or not; nullptr when it has none.
  ServerEntry* serverOf(const PortContext& port);
  // Command `command` with `data` (and the port's block), its reply read.
  // 0, or the failed step's result.
  std::uint32_t exchange(ServerEntry& server, const PortBlock* block, const Bytes& data, std::uint8_t command,
                         Bytes* reply);
  // The bits of LPT1..LPT9 connected to `share` of `server`.
  std::uint32_t lptBitsFor(const std::string& server, const std::string& share);
  // One walk's report: false when the callback stopped the walk.
  bool report(std::uint16_t id, NETENUMPROC proc);
  void raise(std::uint16_t id, std::uint32_t code, void* data);
  void deliver(ServerEntry& server, const std::optional<PortBlock>& block, const Bytes& data);
  void notice(std::uint32_t code, const std::optional<PortBlock>& block, const Bytes& data);
  // Event 102 for each port of a dropped server, which then has none.
  void dropPorts(const std::string& server);
  std::int32_t portGetInfo(std::uint16_t portId, std::uint16_t item, void* buffer, std::uint16_t* length);
  std::int32_t portSetInfo(std::uint16_t portId, std::uint16_t item, const void* buffer, std::uint32_t length);
  std::int32_t workstationAccess(void* buffer, std::uint16_t* length);  // get 135 of NET_NO_PORT
  std::int32_t knownAddress(const void* buffer, std::uint32_t length);  // set 137

  ClLog log_;
  std::mutex callLock_;  // held by entry points for a whole request and its reply
  ServerTable servers_;
  Discovery discovery_;
  PortTable ports_;
  std::atomic<NETEVENTPROC> eventProc_{nullptr};
  EnumerationOptions options_;  // as the last enumeration read them
  bool shutDown_ = false;
};

// The log name of a notice code (128 and above).
const char* noticeName(std::uint32_t code);

}  // namespace wf::corlink
