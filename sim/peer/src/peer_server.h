#pragma once
// One simulated peer computer: its DDE service on a thread of its own.
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/dde.h"
#include "platform/thread.h"
#include "sim/peer/peer_config.h"
#include "sim/printer/printer.h"

namespace wf::sim::peer {

class PeerServer {
 public:
  using Log = std::function<void(const std::string&)>;
  // Starts the peer's thread; empty with *error when its service cannot be registered.
  static std::unique_ptr<PeerServer> start(std::string name, PeerConfig config, std::filesystem::path profiles,
                                           Log log, std::string* error);
  ~PeerServer();

  // A setting or knob (the key after "NAME.").
  bool applySetting(std::string_view key, std::string_view value, std::string* error);
  // Alerts of printer `id` through its peer's advise loops; false when the printer sent none.
  bool raiseStatus(std::uint16_t id, std::uint32_t mask, std::string* error);
  bool raiseAlert(std::uint16_t id, std::uint8_t classByte, std::string* error);
  // Ends every conversation: each client gets its disconnect notice.
  void disconnectAll();
  bool withPrinter(std::uint16_t id, const std::function<void(PrinterModel&)>& use);
  // "<count> <size,size,...|-> <checksum>" of the jobs printer `id` received.
  std::optional<std::string> jobs(std::uint16_t id, std::string* error);

 private:
  struct SharedPrinter {
    PeerPrinterConfig config;
    std::unique_ptr<PrinterModel> model;
    std::uint16_t localId = 0;  // what the client told us when it listed it
    bool captured = false;
  };
  struct Conversation {
    std::uint32_t listIndex = 0;
    std::vector<std::uint8_t> writeReply;
    bool replyPending = false;
  };

  PeerServer(std::string name, PeerConfig config, std::filesystem::path profiles, Log log);
  static HDDEDATA callback(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data, ULONG_PTR,
                           ULONG_PTR);
  HDDEDATA serve(UINT type, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data);
  void run(std::stop_token stop);
  // Runs `work` on the peer's thread and waits for it.
  bool onThread(std::function<void()> work);
  bool registerService(bool on);
  // The silent and delay knobs, before an answer; false when the peer is stopping.
  bool holdAnswer();
  DWORD poke(HCONV conv, const std::string& item, const std::vector<std::uint8_t>& data);
  std::optional<std::vector<std::uint8_t>> request(HCONV conv, const std::string& item);
  std::vector<std::uint8_t> printerRecord(const SharedPrinter& printer) const;
  std::vector<std::uint8_t> write(SharedPrinter& printer, const std::vector<std::uint8_t>& poke);
  void capture(SharedPrinter& printer, bool on);
  // Sends the printer's alert packets (as the printer wrote them) to the advise loops.
  void postAlerts(const SharedPrinter& printer, std::string_view packets);
  SharedPrinter* byLocalId(std::uint16_t id);
  SharedPrinter* byId(std::uint16_t id);
  PrinterModel* model(SharedPrinter& printer);
  std::string text(HSZ hsz) const;

  const std::string name_;
  const std::filesystem::path profiles_;
  Log log_;
  DWORD instance_ = 0;
  HSZ service_ = nullptr;
  HSZ topic_ = nullptr;
  HSZ alertsItem_ = nullptr;
  ThreadId thread_ = 0;
  bool registered_ = false;

  std::mutex mutex_;  // config_ and stopping_: the knobs change from other threads
  std::condition_variable changed_;
  PeerConfig config_;
  bool stopping_ = false;

  // The peer's thread only.
  std::vector<SharedPrinter> printers_;
  std::map<HCONV, Conversation> conversations_;
  std::vector<std::uint8_t> advising_;  // the alert DdePostAdvise is sending

  Thread loop_;
};

}  // namespace wf::sim::peer
