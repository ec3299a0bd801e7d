#pragma once
// One simulated printer: the bytes a host writes to its port go in, the
// printer's answers come out. No sockets here, so every exchange can be
// tested byte for byte; PortServer puts it on a port endpoint.
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "sim/printer/profile.h"

namespace wf {
class ByteWriter;
}

namespace wf::sim {

enum class Direction { Received, Sent };
enum class LogKind { Packet, Sync, Pjl, PrintData, Noise, DeviceId, Connection };

struct LogEntry {
  Direction direction = Direction::Received;
  LogKind kind = LogKind::Packet;
  std::string bytes;  // for Connection: "open", "busy", "close"
};

// "in packet A5 00 03 ...": one line of the program's log file.
std::string formatLogEntry(const LogEntry& entry);

// Fault and timing knobs; all off by default.
struct Knobs {
  bool silent = false;               // answers nothing at all
  std::uint32_t replyDelayMs = 0;    // before each reply and PJL answer (system ms)
  std::uint32_t confirmDelayMs = 0;  // before each print-data confirmation
  int confirmErrors = 0;             // so many next confirmations carry the error flag
  bool withholdConfirmations = false;
  std::set<std::uint16_t> failVariables;  // reads and sets answer with the error flag
  std::size_t replyPacketData = 0;        // data bytes per reply packet (0: one packet)
  std::string noise;                      // bytes sent before every reply
  bool stallReplies = false;              // only the first half of each reply is sent
  // Reply faults the host's reader must survive.
  std::optional<std::uint8_t> replyCommand;  // replies carry this command byte instead of the request's
  int errorReplies = 0;                      // so many next replies carry the error flag
  std::size_t replyPadding = 0;              // bytes added to each reply's data (over-long replies)
  std::optional<std::size_t> replyCut;       // each reply's data cut to so many bytes (truncated replies)
  bool shortPacketFirst = false;             // a packet of LEN 2 with the request's command before each reply
  int lateReplies = 0;                       // so many next replies come after the host stopped waiting
  bool deferAlerts = false;                  // alerts wait for the next reply and go out inside it
  // What a finished job's statistics alert reports beside its pages.
  std::uint8_t jobSource = 1;     // the input source it came from (and the entry count)
  std::uint16_t jobSeconds = 10;  // its time
  std::string jobHost, jobUser, jobQueue;
  std::optional<std::uint32_t> resourceResult;  // the next resource command's one outcome; nothing changes
  int failCaptures = 0;  // so many next captures naming a class are refused with the error flag
};

// How much later than asked a late reply comes: past the host's 10 s response wait.
constexpr std::uint32_t kLateReplyMs = 11'000;

// Bytes for the host after `delayMs` system milliseconds.
struct Outgoing {
  std::uint32_t delayMs = 0;
  std::string bytes;
};

class PrinterModel {
 public:
  explicit PrinterModel(Profile profile);

  // Host bytes in, in any split; the printer's answers out, in order.
  std::vector<Outgoing> receive(std::string_view bytes);
  // The host closed the port: the print job in progress ends.
  void endSession();
  std::string deviceId() const;

  // Unsolicited alerts, as packets; empty when the host has not enabled the
  // class, and "" when knob deferAlerts holds them for the next reply.
  std::optional<std::string> deviceStatusAlert(std::uint32_t mask);
  std::optional<std::string> classAlert(std::string_view data);  // data[1] is the class byte
  std::optional<std::string> panelAlert();
  std::size_t deferredAlerts() const;  // alerts waiting for the next reply
  // Logs bytes sent outside any exchange (raw alerts, garbage).
  void noteSent(LogKind kind, std::string_view bytes);
  void noteConnection(std::string_view what);

  void setKnobs(const Knobs& knobs);
  Knobs knobs() const;
  // Changes the printer's state (status, alerts lists, variables, panel...).
  void update(const std::function<void(Profile&)>& change);
  Profile state() const;

  std::uint32_t enabledAlerts() const;  // in host mask bits
  int pjlQueryCount() const;
  std::map<std::string, std::string> pjlDefaults() const;
  std::vector<std::string> pjlCommands() const;  // other than DEFAULT and DINQUIRE, in order
  std::vector<std::string> printJobs() const;    // finished jobs, then the one in progress
  std::vector<std::uint8_t> buttonsPressed() const;
  std::vector<std::uint8_t> panelCommands() const;
  int powerOnResets() const;
  int hostPageCountResets() const;

  // The first command line of each PJL job received (settings included), in order.
  std::vector<std::string> pjlJobFirstLines() const;
  std::vector<LogEntry> log() const;
  // Also hands every new log entry to `sink` (called under the printer's lock).
  void setLogSink(std::function<void(const LogEntry&)> sink);

 private:
  struct Reply {
    std::uint8_t flags = 0;
    std::string data;
  };
  void processPending(std::vector<Outgoing>& out);
  void handleJob(std::string_view body, std::vector<Outgoing>& out);
  void handlePacket(std::string_view packet, std::vector<Outgoing>& out);
  std::optional<Reply> answer(const std::string& data, std::uint8_t command);
  std::optional<Reply> answerStatus(const std::string& d);
  std::optional<Reply> answerCharacteristics(const std::string& d);
  std::optional<Reply> answerControl(const std::string& d);
  std::optional<Reply> answerPanel(const std::string& d);
  std::optional<Reply> answerResources(const std::string& d);
  void sendOutcomes(std::vector<Outgoing>& out);
  Reply variable(const std::string& d, bool misc);
  bool keepsSettings() const;  // a printer whose PJL settings show in panel variables
  void writeSummary(ByteWriter& w) const;
  std::string panelBytes() const;
  void printData(std::string_view bytes);
  void finishJob();
  // Job statistics: PJL commands and pages of the job in progress, and the
  // print data of packets, read up to each UEL. A job whose print data ends
  // leaves its statistics alert among the outcomes.
  void tallyCommands(const std::vector<std::string>& commands);
  void tallyPages(std::string_view bytes);
  void scanPrintStream(std::string_view bytes);
  void endTally();
  bool correctedRevision() const;
  void record(Direction direction, LogKind kind, std::string_view bytes);
  void send(std::vector<Outgoing>& out, LogKind kind, std::string bytes, std::uint32_t delayMs);
  bool packetMode() const;
  std::optional<std::string> emitAlert(std::string packets);
  void sendReply(std::uint8_t command, Reply reply, std::vector<Outgoing>& out);

  mutable std::mutex mutex_;
  Profile profile_;
  Knobs knobs_;
  std::string pending_;
  bool inJob_ = false;
  bool dropNul_ = false;  // right after a PJL job or a packet
  bool synced_ = false;   // an AUTO printer saw the sync packet
  std::string jobText_;

  std::uint32_t enabled_ = 0;
  int pjlQueries_ = 0;
  std::map<std::string, std::string> pjlDefaults_;
  std::map<std::uint16_t, std::string> factorySettings_;  // restored by INITIALIZE
  std::vector<std::string> pjlCommands_;
  std::vector<std::string> jobs_;
  std::string currentJob_;
  struct JobTally {
    std::string name;
    bool duplex = false;
    std::uint32_t formFeeds = 0;
    bool bytesAfterLast = false;
    bool printed = false;
  } tally_;
  std::string printStream_;            // packet print data not yet followed by a UEL
  std::vector<std::string> deferred_;  // alert packets held for the next reply
  std::vector<std::string> outcomes_;  // alert data of the resource command just taken
  std::vector<std::uint8_t> buttons_;
  std::vector<std::uint8_t> panelCommands_;
  int powerOnResets_ = 0;
  int hostPageCountResets_ = 0;

  std::vector<LogEntry> log_;
  std::function<void(const LogEntry&)> sink_;
};

}  // namespace wf::sim
