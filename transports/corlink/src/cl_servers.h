#pragma once
// The CorLink server table: one entry per print server, its request, alert
// and administration pipes, the frames spoken on them with their
// acknowledgements, connection, reconnection and disconnection, the
// version and administrator checks, and each server's alert reader.
#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/named_pipe.h"
#include "platform/thread.h"

namespace wf::corlink {

class ClLog;

using Bytes = std::vector<std::uint8_t>;

// The port a frame concerns, as its 10-byte port block carries it.
struct PortBlock {
  std::uint8_t node[6] = {};
  std::uint8_t portHi = 0;
  std::uint8_t portLo = 0;
  std::uint8_t portNumber = 0;
  std::uint8_t kind = 0;  // 2 classes 1 and 16, 3 classes 2 and 4, 1 others
  bool operator==(const PortBlock&) const = default;
};
// The kind byte of a port block for an adapter class.
std::uint8_t portKindOfClass(std::uint16_t adapterClass);

// Frames.
constexpr std::size_t kFrameHeaderSize = 9;
constexpr std::size_t kFrameLimit = 512;
constexpr std::size_t kPortBlockBytes = 10;
constexpr std::size_t kMessageLimit = std::size_t{1} << 20;
constexpr std::uint32_t kFrameFinal = 0x00200000;
constexpr std::uint32_t kFrameAck = 0x80000000;
constexpr std::uint32_t kFrameStatus = 0x7F000000;
constexpr std::uint32_t kStatusDownLevel = 0x06000000;
constexpr std::uint32_t kStatusPrinterError = 0x05000000;

// Command codes of requests.
enum : std::uint8_t {
  kCmdWrite = 0,
  kCmdAdministrator = 2,
  kCmdPorts = 5,
  kCmdPort = 6,
  kCmdShare = 7,
  kCmdAdapter = 8,
  kCmdNickname = 9,
  kCmdAdvanced = 10,
  kCmdPassword = 11,
  kCmdQueue = 12,
  kCmdQueuePorts = 13,
  kCmdVersion = 127,
};

// How long an acknowledgement, a reply or an administration answer may take (system ms).
constexpr std::uint32_t kServerReplyWait = 30'000;

// Pipe names.
constexpr const char* kRequestPipeName = "PIPE\\Corvane\\Wrenfi.eld";
constexpr const char* kAlertPipeName = "PIPE\\Corvane\\DSAs";
constexpr const char* kTransactionPipeName = "\\PIPE\\CorLink\\TAMBOR";
// The longest user name the administrator check sends (buffer of 33).
constexpr std::size_t kUserNameLimit = 32;

enum class PipeKind { Request, Alert };

// SERVERENTRY.
struct ServerEntry {
  std::string name;  // upper-cased, at most 15 characters
  Thread thread;     // the alert reader
  std::shared_ptr<NamedPipe> requestPipe;
  std::shared_ptr<NamedPipe> alertPipe;
  std::shared_ptr<NamedPipe> adminPipe;
  // Written under the server-list lock; read by any thread.
  std::atomic<bool> connected{false};
  std::atomic<bool> admin{false};
  std::atomic<bool> adminChecked{false};
};

// What the alert reader does with what it reads; set by the entry points.
struct AlertSink {
  // Printer data of a port (result 0 of a read).
  std::function<void(ServerEntry&, const std::optional<PortBlock>&, const Bytes&)> data;
  // A notice (code above 128).
  std::function<void(ServerEntry&, std::uint32_t, const std::optional<PortBlock>&, const Bytes&)> notice;
};

class ServerTable {
 public:
  explicit ServerTable(ClLog& log);
  ~ServerTable();  // as shutdown
  ServerTable(const ServerTable&) = delete;
  ServerTable& operator=(const ServerTable&) = delete;

  void setAlertSink(AlertSink sink);

  // Found without regard to case; nullptr when unknown.
  ServerEntry* find(std::string_view name);
  // The known servers' names, newest first.
  std::vector<std::string> names();
  // Connects a new server (its name upper-cased): both pipes, the version
  // check, the alert reader. nullptr on failure.
  ServerEntry* connect(std::string_view name);
  // Whether the server may be used (reconnected first when needed), its pipe alive.
  bool checkConnection(ServerEntry& entry, PipeKind pipe);
  // Closes the pipes and ends the alert reader; the entry stays for the next use.
  // `by` is the pipe whose failure led here.
  void disconnect(ServerEntry& entry, PipeKind by);
  void remove(ServerEntry& entry);

  // 0 when every frame went out and was acknowledged with status 0;
  // kStatusDownLevel when an acknowledgement said so; 1 otherwise.
  std::uint32_t sendRequest(ServerEntry& entry, const PortBlock* port, const std::uint8_t* data, std::size_t size,
                            std::uint8_t command);
  // A whole reply from the request pipe, each frame acknowledged: 0, its
  // status bits, its notice code (above 128), or 1 on any failure.
  std::uint32_t readReply(ServerEntry& entry, Bytes* data, std::optional<PortBlock>* port = nullptr);

  // The administrator check into `admin`; sets `adminChecked`.
  void checkAdministrator(ServerEntry& entry);
  // The administration pipe through the transaction pipe; false leaves none.
  bool openAdminPipe(ServerEntry& entry);
  void closeAdminPipe(ServerEntry& entry);

  // Shutdown: every reader ended, every pipe closed, every entry freed.
  void clear();

  std::recursive_mutex& listLock() { return listMutex_; }

 private:
  struct Opened {
    std::shared_ptr<NamedPipe> request, alert;
  };
  std::optional<Opened> openPipes(const std::string& name);
  void startReader(ServerEntry& entry);
  void readAlerts(ServerEntry& entry, std::shared_ptr<NamedPipe> pipe, std::stop_token stop);
  bool reconnect(ServerEntry& entry);
  // The request pipe after the connection check; null (disconnected) when it failed.
  std::shared_ptr<NamedPipe> usableRequestPipe(ServerEntry& entry);
  // One message: frames up to a final one. `ack` sends acknowledgements;
  // `expectAck` reads one acknowledgement frame instead.
  std::uint32_t readMessage(ServerEntry& entry, const std::shared_ptr<NamedPipe>& pipe, PipeKind kind, Bytes* data,
                            std::optional<PortBlock>* port, bool ack, bool expectAck, std::stop_token stop = {});
  void disconnectPipe(ServerEntry& entry, const std::shared_ptr<NamedPipe>& failed, PipeKind kind,
                      std::stop_token stop);

  ClLog& log_;
  std::recursive_mutex listMutex_;  // the server-list lock
  std::list<std::unique_ptr<ServerEntry>> entries_;
  AlertSink sink_;
};

// Frame bytes as CORCL32 writes them.
Bytes frameHeader(std::size_t dataSize, std::uint32_t command, const PortBlock* port);

}  // namespace wf::corlink
