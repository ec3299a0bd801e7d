#pragma once
// The loaded state of CORIPX32: settings, log, the IPX socket with its
// receive thread and pool, the pacing thread, the port records, and the
// delivery and discovery built on them. Nothing starts at load: the first
// enumeration starts it; shutDown stops and joins every thread.
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "broker/net_transport.h"
#include "ipx_frame.h"
#include "ipx_log.h"
#include "ipx_port.h"
#include "platform/ipx.h"
#include "platform/thread.h"
#include "receive_pool.h"
#include "transports/common/net_items.h"

namespace wf::coripx {

inline constexpr char kSettingsKey[] = "SOFTWARE\\Corvane\\Wrenfield\\CorIpx";
constexpr std::uint32_t kStartWaitMs = 60'000;
constexpr std::uint32_t kDefaultEnumTimeout = 5000;

// WaitTaggedReply / WaitParametersReply results.
constexpr int kReplyDone = 0, kReplyBufferFull = 4, kReplySilent = 258;

struct Nickname {
  Node node{};
  std::uint8_t adapterClass = 0;
  std::uint16_t portKind = 0;
  std::string name;
};

class CorIpx {
 public:
  CorIpx() = default;
  ~CorIpx();
  CorIpx(const CorIpx&) = delete;
  CorIpx& operator=(const CorIpx&) = delete;

  // Starts the initialisation once; true when it finished within a minute.
  bool ensureStarted();
  // Stops and joins every thread; later calls answer 1 or do nothing.
  void shutDown();
  bool shutDownDone() const { return shutDown_.load(); }

  IpxLog& log() { return log_; }
  ReceivePool& pool() { return pool_; }
  std::uint32_t enumTimeout() const { return enumTimeout_; }
  std::uint32_t maxPacket() const { return maxPacket_.load(); }
  std::uint16_t localSocket() const;

  // ---- Delivery ---------------------------------------------------------------------------
  // One transmission to the port; bytes sent or 0. A job data packet too big
  // for the network is sent in slices (*sliced set) and counts as sent once
  // every slice was acknowledged.
  int SendDatagram(IPXPORT& port, std::uint8_t* bytes, std::size_t length, bool* sliced = nullptr);
  // 0 delivered (acknowledged), 1 failed.
  int SendAcknowledged(IPXPORT& port, std::uint8_t* bytes, std::size_t length, bool job);
  void Acknowledge(const std::uint8_t* header, const IpxAddress& from);
  // 0 (data or a status came), 4 buffer full, 258 nothing came. `length`:
  // room in, bytes copied out; `status`: 1 accept tag, 2 reject tag.
  int WaitTaggedReply(IPXPORT& port, std::uint8_t* buffer, std::uint32_t& length, const char* accept,
                      const char* reject, std::uint32_t& status, std::uint8_t number);
  int WaitParametersReply(IPXPORT& port, std::uint8_t* buffer, std::uint32_t& length, std::uint32_t& status,
                          std::uint8_t number);
  // A datagram to any address (the broadcasts); false when it was not sent.
  bool sendRaw(const Bytes& bytes, const IpxAddress& to);

  // ---- Ports ------------------------------------------------------------------------------
  IPXPORT* FindPortById(std::uint16_t id);
  IPXPORT* FindPortByNumberAndNode(std::uint8_t number, const Node& node);
  std::size_t portCount() const;
  // Gives the record the next id and its semaphores, and appends it.
  IPXPORT* adopt(std::unique_ptr<IPXPORT> port);

  // ---- Requests and the back channel (requests.cpp) ----------------------------------------
  // NetWrite with status bit 0 clear: the request, its reply into `reply`.
  std::int32_t sendBidi(std::uint16_t id, const std::uint8_t* data, std::uint32_t length, std::uint8_t* reply,
                        std::uint32_t* replyLength, std::uint16_t command, std::uint16_t* status);
  // Starts the port's reader of "LPA BackChannelData" unless one runs; it
  // ends when the port leaves its job.
  void startBackChannel(IPXPORT& port);
  // The first kept entry whose data bytes 4-5 are `key`: 0 copied (length
  // out), 1 none.
  int TakeBackChannelData(IPXPORT& port, std::uint16_t key, std::uint32_t& length, std::uint8_t* buffer);

  // ---- The print job path (print_job.cpp) ------------------------------------------------
  // `jobInfo`: an IPXJOBINFO block (its texts go with the job), or null.
  void startDoc(std::uint16_t id, const std::uint8_t* jobInfo);
  std::int32_t jobWrite(std::uint16_t id, const std::uint8_t* data, std::uint32_t length, std::uint16_t* status);
  void endDoc(std::uint16_t id);
  // 0 accepted, 1 no acknowledgement or no answer, 5 refused.
  int CapturePort(IPXPORT& port, bool capture);
  // One transmission of a job packet whose acknowledgement JobAckSem will
  // carry; bytes sent or 0 (a packet sent in acknowledged slices sets *sliced).
  int sendJobPacket(IPXPORT& port, std::uint8_t* bytes, std::size_t length, bool* sliced = nullptr);

  // ---- Information items (items.cpp) ------------------------------------------------------
  std::int32_t getInfo(std::uint16_t id, std::uint16_t code, void* buffer, std::uint16_t* length,
                       NETITEMPROC proc);
  std::int32_t setInfo(std::uint16_t id, std::uint16_t code, const void* buffer, std::uint32_t length);

  // ---- Alerts and the port callbacks (alerts.cpp) -------------------------------------------
  int open(std::uint16_t id, NETDATAPROC proc);
  // Clears the port's data callback once no delivery runs; nonzero.
  int close(std::uint16_t id);
  int registerCallback(NETEVENTPROC proc);
  void unregisterCallback();
  // One alert datagram taken from the pool (the alert thread's step).
  void onAlertDatagram(const Received& d);
  std::size_t pendingAlerts() const;

  // ---- Discovery (discovery.cpp) ----------------------------------------------------------
  int enumerate(NETENUMPROC proc);
  int enumSpecific(const NETADDRESS* address, NETENUMPROC proc);
  int enumSpecificPort(const char* name, NETENUMPROC proc);
  int getSpecificAddr(std::uint16_t id, NETADDRESS* address);

  // Parsers of the two enumeration replies; false when the callback asked to stop.
  // `reported` counts the ports handed to the callback; portKind < 0 asks no kind.
  bool parseParameters2(const Received& d, NETENUMPROC proc, int* reported);
  bool parseNpaReply(const Received& d, NETENUMPROC proc, int portKind, int* reported);

 private:
  struct Reply;
  void initialise();
  void receive(std::stop_token stop);
  void pace(std::stop_token stop);
  void flowSignal(const Received& d);
  int maxPacketSearch(IPXPORT& port, std::uint8_t* bytes, std::size_t length, const SOCKADDR_IPX& to);
  // One transmission of a slice, waiting for its own acknowledgement only.
  void sendSlice(IPXPORT& port, const std::uint8_t* bytes, std::size_t n, const SOCKADDR_IPX& to);
  bool waitJobAck(IPXPORT& port, std::uint8_t* bytes, std::size_t n, const SOCKADDR_IPX& to, std::uint32_t& timeout,
                  std::chrono::steady_clock::time_point started);
  void raiseEvent(std::uint32_t portId, std::uint32_t code, void* data);
  bool portBusy(IPXPORT& port);
  std::int32_t setName(IPXPORT& port, const char* name, std::uint32_t length);
  std::optional<Bytes> npaExchange(IPXPORT& port, const Bytes& npa, std::uint32_t settleMs);
  std::optional<::wf::net::NETADVANCEDSETTINGS> readAdvanced(IPXPORT& port);
  std::optional<::wf::net::NETADAPTERPARMS> readNpaParms(IPXPORT& port);
  std::optional<::wf::net::NETADAPTERPARMS> readLpaParms(IPXPORT& port);
  std::int32_t writeAdvanced(IPXPORT& port, const ::wf::net::NETADVANCEDSETTINGS& in);
  bool waitForRestart(IPXPORT& port, std::uint32_t pauseMs);
  bool programMode(IPXPORT& port, bool on);
  std::int32_t flashBegin(IPXPORT& port, const std::uint8_t* record, std::uint32_t length);
  std::int32_t flashBlock(IPXPORT& port, const std::uint8_t* block, std::uint32_t length);
  std::int32_t flashEnd(IPXPORT& port);
  bool nodeTakenElsewhere(const IPXPORT& port, const Node& node);
  std::int32_t writeParms(IPXPORT& port, const ::wf::net::NETADAPTERPARMS& in);
  bool moveAdapter(IPXPORT& port, const Node& node);
  std::int32_t resetAdapter(IPXPORT& port);
  std::int32_t setNickname(const std::uint8_t* record, std::uint32_t length, bool add);
  bool openJob(IPXPORT& port, bool kindForm, const std::uint8_t* data, std::uint32_t length);
  bool settleDataPacket(IPXPORT& port, std::uint32_t firstWait, bool atEnd,
                        std::chrono::steady_clock::time_point started);
  void readBackChannel(IPXPORT& port, std::stop_token stop);
  void alerts(std::stop_token stop);
  void deliverAlert(const IpxAddress& from, std::uint8_t nibble, const Bytes& data);
  IPXPORT* findPortByAddress(const IpxAddress& from, std::uint8_t nibble);
  int collectReply(IPXPORT& port, const Reply& form, std::uint8_t* buffer, std::uint32_t& length,
                   std::uint32_t& status, std::uint8_t number);
  SOCKADDR_IPX destinationOf(const IPXPORT& port) const;

  // discovery.cpp
  bool report(IPXPORT& port, NETENUMPROC proc, int* reported);
  void findNickname(IPXPORT& port);
  void loadNicknames();
  void sendMore(IPXPORT& port);
  void collect(NETENUMPROC proc);

  IpxLog log_;
  ReceivePool pool_;
  std::uint32_t enumTimeout_ = kDefaultEnumTimeout;
  std::atomic<std::uint32_t> maxPacket_{0};
  std::unique_ptr<IpxSocket> socket_;

  std::mutex startMutex_;
  bool startRequested_ = false;
  SyncHandle started_ = kNoSyncHandle;
  std::atomic<bool> shutDown_{false};
  Thread initThread_, receiver_, pacer_, alerter_;

  // Alert pieces awaiting their last one, per sender node and port nibble;
  // touched only by the alert thread (and counted by tests).
  struct PartialAlert {
    Node node{};
    std::uint8_t port = 0;
    std::vector<Bytes> pieces;
  };
  mutable std::mutex partialMutex_;
  std::deque<PartialAlert> partial_;
  std::mutex alertRead_;  // held while a data callback runs; NetClose takes it
  std::mutex startDocMutex_, endDocMutex_;
  std::mutex getInfoMutex_, setInfoMutex_;
  std::mutex eventMutex_;
  NETEVENTPROC eventProc_ = nullptr;

  mutable std::mutex portsMutex_;
  std::deque<std::unique_ptr<IPXPORT>> ports_;
  std::uint16_t nextPortId_ = 1;
  std::atomic<bool> anyNodeAsIs_{false}, anyNodeReversed_{false};
  std::mutex nicknamesMutex_;
  bool nicknamesLoaded_ = false;
  std::vector<Nickname> nicknames_;
  std::atomic<int> specificRunning_{0};
};

}  // namespace wf::coripx
