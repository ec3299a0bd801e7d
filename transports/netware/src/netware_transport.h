#pragma once
// Cornw32's state for as long as a process has it loaded: the NetWare
// client, the port table, the shared socket with its reader thread and the
// handler thread that takes, in arrival order, discovery replies (1025) and
// the packets adapters send unasked (1026). Data callbacks and events come
// only from the handler thread, and no lock of ours is held during a broker
// callback.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "broker/net_transport.h"
#include "client_services.h"
#include "exchange.h"
#include "nw_client.h"
#include "platform/ipx.h"
#include "platform/message_queue.h"
#include "platform/thread.h"
#include "port_table.h"
#include "transports/common/net_items.h"

namespace wf::netware {

constexpr std::uint32_t kDiscoveryReply = WM_USER + 1;  // 1025
constexpr std::uint32_t kUnsolicited = WM_USER + 2;     // 1026

class NetWareTransport {
 public:
  // Null (nothing left running) when there is no NetWare client or no IPX.
  static std::unique_ptr<NetWareTransport> start();
  ~NetWareTransport();
  NetWareTransport(const NetWareTransport&) = delete;
  NetWareTransport& operator=(const NetWareTransport&) = delete;

  std::int32_t enumerate(NETENUMPROC proc);
  std::int32_t enumSpecific(const NETADDRESS* address, NETENUMPROC proc);
  std::int32_t specificAddress(std::uint16_t id, NETADDRESS* address);
  std::int32_t open(std::uint16_t id, NETDATAPROC proc);
  void close(std::uint16_t id);
  std::int32_t write(std::uint16_t id, const std::uint8_t* data, std::uint32_t length, std::uint8_t* reply,
                     std::uint32_t* replyLength, std::uint16_t command, std::uint16_t* status);
  std::int32_t getInfo(std::uint16_t id, std::uint16_t code, void* buffer, std::uint16_t* length,
                       NETITEMPROC proc);
  std::int32_t setInfo(std::uint16_t id, std::uint16_t code, const void* buffer, std::uint32_t length);
  void setEventCallback(NETEVENTPROC proc) { events_.store(proc); }
  bool supervisor() const { return supervisor_.load(); }

  // Waits for an adapter to come back after a reset: 5 s, then "Query LPA
  // Parameters" (10 s a try) until one is answered or `limitMs` has passed.
  bool waitForReset(const Network& net, const Node& node, std::uint32_t limitMs);

 private:
  NetWareTransport() = default;
  void startThreads();
  void readSharedSocket(std::stop_token stop);
  void handleMessages(std::stop_token stop);
  void onDiscoveryReply(const Message& m);
  void onUnsolicited(const Message& m);
  bool postToHandler(std::uint32_t message, const SOCKADDR_IPX& from, const std::uint8_t* data,
                     std::size_t n);
  void sendHostPacketSize(const PortView& port);

  void beginWalk();
  void refreshFileServers();
  bool queryAdapter(const Network& net, const Node& node, std::vector<std::uint16_t>* touched,
                    const CapturedPorts* captured);
  bool requery(const Network& net, const Node& node, const CapturedPorts* captured);
  void broadcast(const Network& net);
  void searchBindery(const CapturedPorts* captured);
  CapturedPorts rebuildCaptures();
  CapturedPorts capturesWhenDue();
  // False once the callback asked to stop.
  bool report(const PortView& port, NETENUMPROC proc);
  NETPORTINFO portInfo(const PortView& port);
  std::optional<std::uint8_t> readPortMode(const PortView& port);
  std::int32_t answerItem(const char* entry, std::uint16_t id, std::uint16_t code);

  // Adapter items 129-137 (adapter_items.cpp); nothing for other codes.
  std::optional<std::int32_t> getAdapterItem(std::uint16_t id, std::uint16_t code, void* buffer,
                                             std::uint16_t* length);
  std::optional<std::int32_t> setAdapterItem(std::uint16_t id, std::uint16_t code, const void* buffer,
                                             std::uint32_t length);
  int variableExchange(const AdapterView& a, const Bytes& packet, std::uint32_t timeoutMs,
                       std::size_t capacity, std::optional<adapter::VariableReply>* out);
  int textExchange(const AdapterView& a, const Bytes& command, std::uint32_t timeoutMs, Bytes* reply,
                   std::size_t capacity = adapter::kReplyBuffer);
  int queryKestrel(const AdapterView& a, std::optional<adapter::KestrelParameters>& out);
  int writeVariables(const AdapterView& a, const adapter::VariableWrite& w);
  void raiseForEveryPort(const AdapterView& a, std::uint32_t code, void* data);
  std::int32_t followMove(const AdapterView& a, const Node& node);
  std::int32_t getAdapterParms(const AdapterView& a, const AdapterView::Port& port,
                               net::NETADAPTERPARMS& out);
  std::int32_t setAdapterParms(const AdapterView& a, const AdapterView::Port& port,
                               const net::NETADAPTERPARMS& in);
  std::int32_t sendPortParameters(const AdapterView& a, const AdapterView::Port& port,
                                  const net::NETADAPTERPARMS& in, std::uint16_t polling);
  std::int32_t getAdvanced(const AdapterView& a, net::NETADVANCEDSETTINGS& out);
  std::int32_t setAdvanced(const AdapterView& a, const net::NETADVANCEDSETTINGS& in);
  std::int32_t flashBegin(const AdapterView& a, const net::NETFLASHBEGIN& in);
  std::int32_t flashBlock(const AdapterView& a, View firmware);
  std::int32_t flashEnd(const AdapterView& a);
  std::int32_t resetAdapter(const AdapterView& a);
  std::int32_t checkAddress(const Node& address);

  // NetWare items served from the client (workstation_items.cpp); with
  // clientMutex_ held where they call it.
  std::int32_t loginStateOf(NWCONN_HANDLE conn);
  NWCONN_HANDLE connectionFor(std::uint16_t id);
  static std::string portNameOf(const AdapterView& a, const AdapterView::Port& p);
  std::int32_t knownServers(NETITEMPROC proc);
  std::int32_t currentServer(std::uint16_t id, void* buffer, std::uint16_t* length);
  std::int32_t setCurrentServer(std::uint16_t id, const void* buffer, std::uint32_t length);
  std::int32_t login(const void* buffer, std::uint32_t length);
  std::int32_t getNetwork(void* buffer, const std::uint16_t* length);
  std::int32_t setNetwork(const void* buffer, std::uint32_t length);
  std::int32_t createQueue(std::uint16_t id, const void* buffer, std::uint32_t length, bool create);
  std::vector<std::string> queueMembers(NWCONN_HANDLE conn, const std::string& queue, std::size_t limit);
  std::int32_t serviceQueues(std::uint16_t id, const void* buffer, std::uint32_t length);
  std::int32_t listQueues(std::uint16_t id, NETITEMPROC proc);
  std::int32_t stopQueues(std::uint16_t id, const void* buffer, std::uint32_t length);
  std::int32_t currentPrintServer(std::uint16_t id, void* buffer, std::uint16_t* length);

  // NetWare items kept by the adapter (netware_adapter_items.cpp); nothing for other codes.
  std::optional<std::int32_t> getNetWareItem(std::uint16_t id, std::uint16_t code, void* buffer,
                                             std::uint16_t* length);
  std::optional<std::int32_t> setNetWareItem(std::uint16_t id, std::uint16_t code, const void* buffer,
                                             std::uint32_t length);
  std::int32_t getSettings(const AdapterView& a, const AdapterView::Port& port, net::NWSETTINGS& out);
  std::int32_t setSettings(const AdapterView& a, const AdapterView::Port& port, const net::NWSETTINGS& in);
  std::int32_t setNpaSettings(const AdapterView& a, const AdapterView::Port& port, const net::NWSETTINGS& in);
  std::int32_t setTextSettings(const AdapterView& a, const AdapterView::Port& port,
                               const net::NWSETTINGS& in);
  std::int32_t resetProtocol(const AdapterView& a);
  std::int32_t pollingControl(const AdapterView& a, const AdapterView::Port& port, bool on);
  bool requeryAdapter(const AdapterView& a);
  std::int32_t getServers(const AdapterView& a, net::NWSERVERLIST& out);
  std::int32_t setServers(const AdapterView& a, const net::NWSERVERLIST& in);
  std::int32_t attachedServers(const AdapterView& a, net::NWSERVERLIST& out);
  // Item 5: read into `out`, or with `in` written.
  std::int32_t advancedNetWare(const AdapterView& a, const net::NWADVANCED* in, net::NWADVANCED& out);
  std::int32_t switchPorts(const AdapterView& a, bool on, std::uint8_t mask);

  std::unique_ptr<NwClientLibrary> client_;
  const NwClient* nw_ = nullptr;
  PortTable table_;
  std::atomic<bool> supervisor_{false};
  std::atomic<NETEVENTPROC> events_{nullptr};

  // Start-up: the handler thread's queue exists.
  std::mutex readyMutex_;
  std::condition_variable readyChanged_;
  bool handlerReady_ = false;
  ThreadId handlerId_ = 0;

  std::unique_ptr<IpxSocket> shared_;
  Thread handler_, sharedReader_;

  // Discovery replies posted and parsed: a walk waits until its replies are in.
  std::mutex discoveryMutex_;
  std::condition_variable discoveryParsed_;
  std::uint64_t discoveryPosted_ = 0, discoveryHandled_ = 0;

  // The one NetWrite that waits on the shared socket.
  std::mutex sharedWriteMutex_;
  std::mutex windowMutex_;
  std::condition_variable replyReady_;
  struct AwaitedReply {
    bool waiting = false, ready = false;
    IpxAddress from;
    std::uint8_t command = 0;
    Bytes datagram;
  } awaited_;

  // Flash sequence numbers by adapter, from a flash open on.
  std::mutex flashMutex_;
  std::map<std::pair<Network, Node>, std::uint16_t> flashSequence_;

  std::mutex clientMutex_;  // the client's calls and what they build
  bool serversScanned_ = false;
  std::vector<FileServerEntry> fileServers_;
  std::optional<CaptureScan> captures_;
  std::map<std::uint16_t, std::string> currentServers_;  // item 8, by port id
};

}  // namespace wf::netware
