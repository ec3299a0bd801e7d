#pragma once
// One adapter on the IPX segment: its sockets (0x83C1, and 0x861C on a
// multi-port adapter) at its network and node, the data channels of its NPA
// ports (0x862C + n on a multi-port adapter, 0x862C on an NPA-on single-port
// one) each with the printer behind it, a reader per socket, and a
// supervisor that closes the sockets while the adapter restarts (so it is
// silent) and binds them again, at the new node after an address change.
// Delays and restart times are system milliseconds on the scaled clock.
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ipx.h"
#include "platform/thread.h"
#include "sim/adapter/adapter_model.h"
#include "sim/printer/printer.h"

namespace wf::sim::adapter {

using LogSink = std::function<void(const std::string& line)>;

class AdapterServer {
 public:
  // Binds at once; null with *error when an address is taken.
  static std::unique_ptr<AdapterServer> start(std::string id, AdapterConfig config, LogSink log,
                                              std::string* error = nullptr);
  ~AdapterServer();
  AdapterServer(const AdapterServer&) = delete;
  AdapterServer& operator=(const AdapterServer&) = delete;

  const std::string& id() const { return id_; }
  // Runs `change` on the model under its lock (knobs take effect at once;
  // the network and node at the next restart).
  void withModel(const std::function<void(AdapterModel&)>& change);
  // The number of times the adapter has come back from a restart.
  std::uint32_t restarts() const;
  // Waits up to `ms` system milliseconds until restarts() reaches `count`.
  bool waitForRestarts(std::uint32_t count, std::uint32_t ms) const;

  // Where printer profiles named by a relative file name are found.
  void setProfileDir(std::filesystem::path dir);
  // Sends `00 00` + packet from the port's data channel to the host that
  // opened it with the host packet size; false when none did.
  bool raiseAlert(int port, std::string_view packet);
  // The printer behind the port raises a device-status alert of `mask` (it
  // must have been told to capture the classes); false when nothing was sent.
  bool raiseDeviceStatus(int port, std::uint32_t mask);
  // Runs `use` on the printer behind the port (made on first use); false
  // when the port has no data channel or no printer.
  bool withPrinter(int port, const std::function<void(PrinterModel&)>& use);
  // The IPX side: the print stream a port took (job data packets, each
  // number once, without the adapter's own packets of the job).
  Bytes ipxJobData(int port) const;
  // The adapter's own NPA packets of the port's jobs (job starts, texts,
  // job end), and the five fields of the last "Set LPA Job Info".
  std::vector<Bytes> ipxJobControl(int port) const;
  // The firmware blocks taken in program mode ("Control LPA" 0x4D).
  Bytes ipxFlashImage() const;
  std::vector<std::string> ipxJobInfo(int port) const;

 private:
  AdapterServer(std::string id, AdapterConfig config, LogSink log);
  bool bindSockets(std::string* error);
  void closeSockets();
  void serve(IpxSocket& socket, std::uint16_t number, std::stop_token stop);
  void supervise(std::stop_token stop);
  struct DataChannel;
  void serveData(DataChannel& channel, std::stop_token stop);
  PrinterModel* printerOf(DataChannel& channel);  // with mutex_ held
  DataChannel* channelOf(int port);

  // The IPX side (ipx_side.cpp): sockets 0x861E and 0x861F at the node, and
  // at the token-ring-order node T as well when that differs (there only
  // acknowledgements are taken); everything is sent from T.
  bool bindIpx(std::string* error);
  void serveIpx(IpxSocket& socket, std::uint16_t number, bool acknowledgementsOnly, std::stop_token stop);
  void onIpx(View d, const SOCKADDR_IPX& from, std::uint16_t number, std::stop_token stop);
  bool raiseIpxAlert(int port, std::string_view packet);
  // Job packets of the IPX side: what goes back on the back channel.
  std::vector<Bytes> ipxJobPacket(int port, View d);
  Bytes ipxControl(int port, View d, const SOCKADDR_IPX& from);
  void restartAfter(Response::After after);
  void ipxPrinterRequest(int port, int printerPort, View header, View npa, const SOCKADDR_IPX& to,
                         IpxSocket& out);
  void sendIpx(IpxSocket& out, const Bytes& d, const SOCKADDR_IPX& to, std::uint16_t number);
  IpxSocket* ipxSender(std::uint16_t number);
  PrinterModel* printerFor(int port);  // with mutex_ held
  struct IpxPortState {
    int last = -1;                   // function << 8 | number of the last packet executed
    std::vector<Bytes> pending;      // pieces held until the host asks for more
    SOCKADDR_IPX pendingTo{};
    Bytes jobData;
    int lastData = -1;                     // number of the last job data packet taken
    std::vector<Bytes> jobControl;         // the adapter's own packets of jobs
    std::vector<std::string> jobInfo;      // the last job description's five fields
    std::optional<SOCKADDR_IPX> alertTo;   // the host that last sent a request
    std::uint8_t alertPortByte = 0;
    std::optional<IpxAddress> holder;      // the host that captured the port
  };
  std::map<int, IpxPortState> ipxPorts_;
  struct IpxCounts {
    std::uint32_t dropAck = 0, dataLost = 0, paceOff = 0;
  };
  IpxCounts ipxCounted_;  // the knobs the counts below started from
  std::uint32_t ipxAcks_ = 0, ipxDataPackets_ = 0;
  std::uint32_t ipxRefuseSet_ = 0, ipxRefused_ = 0;
  Response::After ipxRestart_ = Response::After::Nothing;
  bool ipxFlashing_ = false;
  Bytes ipxImage_;  // asked by a "Control LPA" just answered  // refuse-capture as last seen, captures refused since
  std::unique_ptr<IpxSocket> ipxQuery_, ipxData_, ipxQueryT_, ipxDataT_;
  Thread ipxReaders_[4];
  std::vector<Thread> ipxTimers_;

  std::string id_;
  LogSink log_;
  mutable std::mutex mutex_;
  mutable std::condition_variable_any wake_;
  AdapterModel model_;
  Response::After pending_ = Response::After::Nothing;
  std::uint32_t restarts_ = 0;

  std::filesystem::path profileDir_;
  struct DataChannel {
    int port = 0;
    std::uint16_t number = 0;  // the channel's socket
    std::unique_ptr<IpxSocket> socket;
    std::unique_ptr<PrinterModel> printer;  // kept across restarts
    std::optional<SOCKADDR_IPX> alertTo;
    Thread reader;
  };
  std::vector<std::unique_ptr<DataChannel>> channels_;
  std::unique_ptr<IpxSocket> commands_, variables_;
  Thread commandReader_, variableReader_, supervisor_;
};

}  // namespace wf::sim::adapter
