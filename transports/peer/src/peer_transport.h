#pragma once
// CORP2P32's loaded state: the request block handed to the one worker
// thread that owns the DDE instance and every conversation with a peer.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "broker/net_transport.h"
#include "peer_trace.h"
#include "platform/dde.h"
#include "platform/file_lock.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace wf::peer {

// Functions of the request block.
enum PeerFunction : std::uint32_t {
  kFnEnumerate = 10,
  kFnOpen = 11,
  kFnClose = 12,
  kFnWrite = 13,
  kFnShutDown = 15,
  kFnEnumSpecific = 18,
  kFnSpecificAddr = 19,
};

constexpr std::uint32_t kPeerNetworkBit = 0x10;
constexpr std::size_t kMaxPortsPerHost = 9;

// One posted request with its own completion: a caller that stopped waiting
// marks it abandoned, and the worker then leaves its answer unread.
struct PeerRequest {
  std::uint32_t function = 0;
  NETENUMPROC enumProc = nullptr;
  std::uint16_t portId = 0;
  NETDATAPROC dataProc = nullptr;
  // Write: in.
  std::vector<std::uint8_t> data;  // the bytes to send
  std::uint32_t replyCapacity = 0;
  bool hasReply = false;
  std::uint16_t command = 0;
  // Write: out.
  std::vector<std::uint8_t> reply;
  std::uint32_t replyLength = 0;
  bool replyLengthSet = false;
  std::uint16_t status = 0;
  // Function 18 in, 19 out: "\\NAME"; 19 out: the peer printer id in portId.
  std::string pcName;
  std::uint32_t result = 1;

  std::mutex mutex;
  bool taken = false;  // the worker has it
  bool done = false;
  bool abandoned = false;
};

struct PeerPort {
  std::uint16_t localId = 0;
  std::uint16_t peerId = 0;
  NETDATAPROC dataProc = nullptr;
  bool captured = false;
  bool seen = false;
  std::uint16_t portId = 0;
};

struct PeerHost {
  std::string pcName;     // "\\NAME"
  std::string workgroup;  // empty when it came from the computer list
  HCONV conv = nullptr;
  std::vector<PeerPort> ports;  // at most kMaxPortsPerHost
  bool advising = false;
};

// A walk's request to connect one computer.
struct ConnectRequest {
  std::string pcName;  // "\\NAME"
  NETENUMPROC enumProc = nullptr;
  std::uint16_t filter = 0;  // 0: every printer
  std::string workgroup;
};

class PeerTransport {
 public:
  // Attach: the semaphores, the trace, the worker. Null when a semaphore cannot be made.
  static std::unique_ptr<PeerTransport> start();
  // Detach: stops a running worker as a shut-down does, bounded, then closes.
  ~PeerTransport();

  // Entry points (they post to the worker).
  std::int32_t enumerate(NETENUMPROC proc);
  std::int32_t specificAddress(std::uint16_t portId, NETADDRESS* address);
  std::int32_t enumSpecific(const NETADDRESS* address, NETENUMPROC proc);
  std::int32_t open(std::uint16_t portId, NETDATAPROC proc);
  void close(std::uint16_t portId);
  std::int32_t write(std::uint16_t portId, const std::uint8_t* data, std::uint32_t length, std::uint8_t* reply,
                     std::uint32_t* replyLength, std::uint16_t command, std::uint16_t* status);
  void shutDown();
  std::int32_t registerCallback(NETEVENTPROC proc);
  void unregisterCallback();
  // Items, on the caller's thread.
  std::int32_t getInfo(std::uint16_t code, void* buffer, std::uint16_t* length, NETITEMPROC proc);
  std::int32_t setInfo(std::uint16_t code, const void* buffer, std::uint32_t length);

  PeerTrace& trace() { return trace_; }

  // The DDE callback, on the worker thread.
  HDDEDATA ddeCallback(UINT type, HCONV conv, HDDEDATA data);

 private:
  friend struct PeerTransportProbe;  // tests post functions the entry points never use
  PeerTransport() = default;
  // Posting: the request goes to the worker; empty when it could not be
  // posted (the failure line traced) or no answer came within `waitMs`.
  std::shared_ptr<PeerRequest> post(std::shared_ptr<PeerRequest> request, std::uint32_t waitMs,
                                    const char* failLine);
  bool waitReady();
  void work(std::stop_token stop);
  void serve(std::stop_token stop);
  void dispatch(PeerRequest& request);
  void endWorker();

  // Conversations (the worker thread).
  void refreshRedirections();
  std::uint32_t enumerateAll(NETENUMPROC proc);
  std::uint32_t walkWorkgroup(const std::string& workgroup, NETENUMPROC proc);
  std::uint32_t connect(const ConnectRequest& request);
  std::uint32_t reconnect(PeerHost& host, const ConnectRequest& request);
  bool listPrinter(PeerHost& host, std::uint32_t index, std::vector<std::uint8_t>& record);
  bool report(const PeerHost& host, const PeerPort& port, const std::vector<std::uint8_t>& record,
              const ConnectRequest& request);
  void removeHost(PeerHost& host);
  std::uint32_t capture(std::uint16_t portId, NETDATAPROC proc);
  void release(std::uint16_t portId);
  void releasePort(PeerHost& host, PeerPort& port);
  void writePort(PeerRequest& request);
  std::uint32_t specificAddress(PeerRequest& request);
  void shutDownHosts();
  PeerHost* hostOf(HCONV conv);
  std::pair<PeerHost*, PeerPort*> findPort(std::uint16_t portId);
  // One transaction: DdeGetLastError's code (0 = success) and a request's data.
  UINT transact(HCONV conv, const char* item, UINT type, DWORD timeout, const std::vector<std::uint8_t>& data = {},
                std::vector<std::uint8_t>* answer = nullptr);

  // Removal announcements (the caller's thread).
  void announceComputer(const std::string& name);
  void announceWorkgroup(const std::string& workgroup);

  PeerTrace trace_;
  SyncHandle semDde_ = kNoSyncHandle;
  SyncHandle semReturn_ = kNoSyncHandle;
  SyncHandle semWork_ = kNoSyncHandle;
  std::mutex blockMutex_;
  std::shared_ptr<PeerRequest> block_;
  std::atomic<bool> ddeInit_{false};
  std::atomic<bool> ready_{false};
  std::stop_source workerEnded_;
  std::atomic<ThreadId> workerThread_{0};
  Thread worker_;

  // The worker's.
  DWORD instance_ = 0;
  std::optional<FileLock> netDdeUsers_;
  std::string ownComputer_, ownWorkgroup_;
  std::vector<std::string> redirections_;  // LPT1..LPT9, empty when none
  std::uint16_t nextPortId_ = 1;
  bool stopServing_ = false;

  // Changed by the worker under the lock; read under it by the announcements.
  std::mutex hostsMutex_;
  std::vector<std::unique_ptr<PeerHost>> hosts_;
  std::mutex eventMutex_;
  NETEVENTPROC eventProc_ = nullptr;
};

}  // namespace wf::peer
