#pragma once
// Finding CorLink servers (the servers of connected printers, the
// "Servers" list, the own workgroup, the "Domains" list) and the workstation
// items that read and edit those lists. Lists are matched by whole
// comma-separated entries, without regard to case, blanks ignored.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "broker/net_transport.h"
#include "cl_options.h"

namespace wf::corlink {

class ClLog;
class ServerTable;

// LISTENTRY: the unit of items 2, 3 and 4.
constexpr std::size_t kListEntrySize = 17;
constexpr std::uint8_t kListDomain = 1;
constexpr std::uint8_t kListServer = 2;

constexpr const char* kVnetsupKey = "System\\CurrentControlSet\\Services\\VxD\\VNETSUP";

// The entries of a list text, trimmed, empty ones left out.
std::vector<std::string> listEntries(std::string_view text);

// A connected print resource: its local name ("LPTn" or empty) and "\\SERVER\SHARE".
struct PrinterConnection {
  std::string local;
  std::string remote;
};

class Discovery {
 public:
  // The connected print resources of display type domain, server or share.
  std::vector<PrinterConnection> printerConnections();
  bool isOwnComputer(std::string_view name);

  Discovery(ServerTable& servers, ClLog& log) : servers_(servers), log_(log) {}

  // Connects every server found; then the administrator checks and pipes.
  // Whether any server is known.
  bool run(const EnumerationOptions& options);

  std::int32_t getLists(NETITEMPROC proc);                          // item 2
  std::int32_t getFlags(void* buffer, std::uint16_t* length);       // item 5
  std::int32_t addName(const void* buffer, std::uint32_t length);   // item 3
  std::int32_t removeName(const void* buffer, std::uint32_t length);  // item 4
  std::int32_t setFlags(const void* buffer, std::uint32_t length);  // item 5

  // Called with a server's name after it was dropped from the lists.
  void setDropped(std::function<void(const std::string&)> dropped) { dropped_ = std::move(dropped); }

 private:
  // The servers of the connected print resources, this computer left out.
  std::vector<std::string> connectedServers();
  // The servers a domain or workgroup lists, this computer left out.
  std::vector<std::string> browse(const std::string& container);
  // The server of a remote name "\\SERVER[\...]"; none, logged as `what`
  // + name + ..., for a name without one or naming this computer (`own`).
  std::optional<std::string> serverOf(const char* remoteName, const char* what, const char* own);
  std::optional<std::string> workgroup();
  void connectIfNew(const std::string& name);
  // Drops the servers of a container that neither "Servers" names nor a connected printer needs.
  void dropServersOf(const std::string& container);
  void drop(const std::string& name);

  ServerTable& servers_;
  ClLog& log_;
  std::function<void(const std::string&)> dropped_;
};

}  // namespace wf::corlink
