#pragma once
// One simulated CorLink print server on the named pipes of its computer
// name: the request pipe (framed requests, each frame acknowledged), the
// alert pipe (printer data and notices to every open one), the transaction
// pipe "\PIPE\CorLink\TAMBOR" and the administration pipe it names. Frames
// are read and built with the simulator's own code.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/named_pipe.h"
#include "platform/thread.h"
#include "sim/corlink/corlink_world.h"
#include "sim/printer/printer.h"

namespace wf::sim::corlink {

// Frame fields as the pipes carry them.
constexpr std::size_t kFrameHeader = 9;
constexpr std::size_t kFrameMax = 512;
constexpr std::size_t kPortBlockSize = 10;
constexpr std::size_t kMessageMax = std::size_t{1} << 20;
constexpr std::uint32_t kFinalFrame = 0x00200000;
constexpr std::uint32_t kAcknowledgement = 0x80000000;
constexpr std::uint32_t kStatusMask = 0x7F000000;
constexpr std::uint32_t kStatusDownLevel = 0x06000000;
constexpr std::uint32_t kStatusNoSuch = 0x01000000;
constexpr std::uint32_t kStatusPrinterError = 0x05000000;

// Pipe names below "\\<server>".
inline constexpr const char* kRequestPipe = "\\PIPE\\Corvane\\Wrenfi.eld";
inline constexpr const char* kAlertPipe = "\\PIPE\\Corvane\\DSAs";
inline constexpr const char* kTransactionPipe = "\\PIPE\\CorLink\\TAMBOR";
inline constexpr const char* kAdministrationPipe = "\\PIPE\\CorLink\\NPUADMIN";

class ServerHost {
 public:
  using Log = std::function<void(const std::string&)>;
  // Starts serving at once; empty with *error when a pipe cannot be made.
  static std::unique_ptr<ServerHost> start(CorLinkServer server, std::filesystem::path profileDir,
                                           std::filesystem::path jobDir, Log log, std::string* error = nullptr);
  ~ServerHost();

  const std::string& name() const { return name_; }

  // Down: every pipe closes and opens fail; up: served again.
  void down();
  bool up(std::string* error = nullptr);

  // Changes the server's data under its lock.
  void withServer(const std::function<void(CorLinkServer&)>& change);

  // Printer data from the port's printer to every open alert pipe: its
  // device-status alert for `mask`. False when the printer sent none.
  bool raiseDeviceStatus(const std::string& nickname, std::uint32_t mask, std::string* error);
  // A notice (code above 128) with the port's block and `data`.
  bool notice(const std::string& nickname, std::uint8_t code, const Bytes& data, std::string* error);
  // Moves an adapter to `node` and tells every alert pipe (notice 135).
  bool move(const std::string& adapterId, const Node& node, std::string* error);
  // How many clients hold the alert pipe open now.
  std::size_t openAlertPipes();
  // The printer behind a port, made on first use.
  bool withPrinter(const std::string& nickname, const std::function<void(PrinterModel&)>& use, std::string* error);

 private:
  ServerHost(CorLinkServer server, std::filesystem::path profileDir, std::filesystem::path jobDir, Log log);
  struct Served;
  struct Connection;

  void serveRequests(NamedPipe& pipe, std::stop_token stop);
  void serveAlerts(const std::shared_ptr<NamedPipe>& pipe, std::stop_token stop);
  void serveTransactions(NamedPipe& pipe, std::stop_token stop);
  void serveAdministration(NamedPipe& pipe, std::stop_token stop);

  // The reply to one request message: status and data, or nothing.
  struct Reply {
    std::uint32_t status = 0;
    Bytes data;
    std::optional<PortAddress> block;
  };
  std::optional<Reply> answer(std::uint8_t command, const std::optional<PortAddress>& block, const Bytes& data);
  Reply printerRequest(CorLinkAdapter& adapter, CorLinkPort& port, const Bytes& data);
  Bytes administrate(const Bytes& packet);
  PrinterModel* printerOf(const CorLinkAdapter& adapter, const CorLinkPort& port, std::string* error);
  void keepJobs(const CorLinkPort& port, PrinterModel& printer);
  void toAlertPipes(std::uint32_t command, const std::optional<PortAddress>& block, const Bytes& data);
  void logFrame(const char* pipe, const char* direction, const Bytes& frame);

  const std::string name_;
  const std::filesystem::path profileDir_;
  const std::filesystem::path jobDir_;
  const Log log_;
  std::mutex mutex_;  // the server's data and printers
  CorLinkServer server_;
  std::map<std::pair<std::string, int>, std::unique_ptr<PrinterModel>> printers_;
  std::mutex alertMutex_;
  std::vector<std::weak_ptr<NamedPipe>> alertPipes_;
  std::mutex servedMutex_;
  std::unique_ptr<Served> served_;
  int flashBlocks_ = 0;
  std::uint32_t restartQueries_ = 0;
};

}  // namespace wf::sim::corlink
