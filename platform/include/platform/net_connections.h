#pragma once
// Network connections and the network neighbourhood as this workstation sees
// them: which network printer queue a local port such as "LPT2" is redirected
// to, printer shares connected without a local port, the domains and
// workgroups with their computers, the workstation's own names and logged-on
// user, and a sink standing in for the queues that keeps what is written to
// each, so a run can check it. A stand-in, fed by the scenario file and by tests.
//
// Scenario sections:
//   [network.redirections]  local port = remote name   ("LPT2 = \\SERVER\QUEUE")
//   [network.unreachable]   one remote name a line: writes to it fail
//   [network.connected]     one "\\SERVER\SHARE" a line: a printer share
//                           connected without a local port
//   [network.domains]       domain or workgroup = computer, computer, ...
//                           ("WG1 = MYPC, PEER1, PEER10")
//   [network.workstation]   computer = name   (default: the host name up to its
//                                              first '.', upper-cased, 15 at most)
//                           workgroup = name
//                           user = the logged-on user (default: the account's name)
// A computer or workgroup given is also written, as "ComputerName" and
// "Workgroup", under HKEY_LOCAL_MACHINE "System\CurrentControlSet\Services\VxD\VNETSUP",
// where programs read them from the registry. A malformed line of the last
// three sections is traced and skipped; the rest of the section still counts.
//
// The network calls below re-read the scenario file at every open or query
// and take it up when its network sections changed, so a change of the world
// is seen at the next open; changes made through the test API stay until then.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/scenario.h"
#include "platform/win_types.h"

// An open enumeration; an opaque number, never dereferenced.
using HANDLE = void*;

// The original network calls, under their own names.
namespace wf {

constexpr DWORD NO_ERROR = 0;
constexpr DWORD ERROR_BAD_NETPATH = 53;   // no such domain or workgroup
constexpr DWORD ERROR_NO_NETWORK = 1222;  // nobody is logged on
constexpr DWORD ERROR_NOT_CONNECTED = 2250;

constexpr DWORD RESOURCE_CONNECTED = 1;
constexpr DWORD RESOURCE_GLOBALNET = 2;

constexpr DWORD RESOURCETYPE_ANY = 0;
constexpr DWORD RESOURCETYPE_DISK = 1;
constexpr DWORD RESOURCETYPE_PRINT = 2;

constexpr DWORD RESOURCEUSAGE_CONNECTABLE = 1;
constexpr DWORD RESOURCEUSAGE_CONTAINER = 2;

constexpr DWORD RESOURCEDISPLAYTYPE_DOMAIN = 1;
constexpr DWORD RESOURCEDISPLAYTYPE_SERVER = 2;
constexpr DWORD RESOURCEDISPLAYTYPE_SHARE = 3;

constexpr DWORD MAX_COMPUTERNAME_LENGTH = 15;

// A connected share: scope RESOURCE_CONNECTED, type print, display type share,
// usage connectable, local name "LPTn" or none, remote name "\\SERVER\SHARE".
// A computer of a domain: scope RESOURCE_GLOBALNET, type any, display type
// server, usage container, no local name, remote name "\\COMPUTER".
// Comment and provider are always null.
struct NETRESOURCEA {
  DWORD dwScope;
  DWORD dwType;
  DWORD dwDisplayType;
  DWORD dwUsage;
  LPSTR lpLocalName;
  LPSTR lpRemoteName;
  LPSTR lpComment;
  LPSTR lpProvider;
};

// RESOURCE_CONNECTED lists the connected shares (none for a type without the
// print bit). RESOURCE_GLOBALNET opens the domain or workgroup that
// `resource->lpRemoteName` names (any case) and lists its computers when
// `usage` is 0 or has the container bit; an unknown name answers
// ERROR_BAD_NETPATH. Another scope, or global scope without a name:
// ERROR_INVALID_PARAMETER. What is listed is fixed at the open.
DWORD WNetOpenEnumA(DWORD scope, DWORD type, DWORD usage, const NETRESOURCEA* resource, HANDLE* enumHandle);
// Up to *count entries (0xFFFFFFFF: as many as fit) into `buffer` of
// *bufferSize bytes, aligned for NETRESOURCEA: the records from its start,
// their texts from its end; *count tells how many. None left:
// ERROR_NO_MORE_ITEMS. Not even the next entry fits: ERROR_MORE_DATA with the
// bytes it needs in *bufferSize. A handle not open: ERROR_INVALID_HANDLE.
DWORD WNetEnumResourceA(HANDLE enumHandle, DWORD* count, void* buffer, DWORD* bufferSize);
DWORD WNetCloseEnum(HANDLE enumHandle);

// The logged-on user; `name`, when given, must be a connection's local or
// remote name (else ERROR_NOT_CONNECTED). Too small: ERROR_MORE_DATA and
// *length set to the bytes needed, terminator included.
DWORD WNetGetUserA(const char* name, char* userName, DWORD* length);
// The computer name; *size is the buffer's size on entry and the name's length
// on success. Too small: FALSE with the bytes needed, terminator included.
BOOL GetComputerNameA(char* buffer, DWORD* size);

}  // namespace wf

namespace wf::netconn {

// Results as the original network layer reported them.
constexpr std::uint32_t kNoError = 0;
constexpr std::uint32_t kGenFailure = 31;  // the sink could not keep the data
constexpr std::uint32_t kBadNetPath = 53;  // the queue's server cannot be reached
constexpr std::uint32_t kBadNetName = 67;  // no redirection leads to that remote name
constexpr std::uint32_t kMoreData = 234;
constexpr std::uint32_t kBadDevice = 1200;  // not a local port name
constexpr std::uint32_t kNotConnected = 2250;

class NetConnections {
 public:
  NetConnections();
  ~NetConnections();
  NetConnections(const NetConnections&) = delete;
  NetConnections& operator=(const NetConnections&) = delete;

  // Replaces redirections, unreachable names and the neighbourhood with the
  // scenario's and writes the workstation's names given into the registry.
  // A malformed redirection changes nothing and answers false; a malformed
  // neighbourhood line is traced and skipped.
  bool load(const Scenario& scenario, std::string* error = nullptr);
  void clear();
  // "LPT1" to "LPT9" (a trailing ':' allowed); an empty remote name removes it.
  bool setRedirection(std::string_view localName, std::string remoteName);
  void setReachable(std::string_view remoteName, bool reachable);

  // The remote name of a redirected local port, terminated, into `remoteName`
  // of `length` bytes. Too small: kMoreData and `length` set to the bytes needed.
  std::uint32_t getConnection(std::string_view localName, char* remoteName, std::uint32_t& length) const;

  // Sends `data` to the queue behind a remote name (compared without regard to case).
  std::uint32_t writeRemote(std::string_view remoteName, std::string_view data);
  // Every write to `remoteName` by any process of this run, oldest first.
  std::vector<std::string> writtenTo(std::string_view remoteName) const;

  // The workstation with its defaults filled in.
  struct Workstation {
    std::string computerName;
    std::string workgroup;  // empty when none is given
    std::string user;       // empty when none is known
  };
  Workstation workstation() const;

  // WNetOpenEnumA and WNetGetUserA on these connections.
  DWORD openEnum(DWORD scope, DWORD type, DWORD usage, const NETRESOURCEA* resource,
                 HANDLE* enumHandle) const;
  DWORD getUser(const char* name, char* userName, DWORD* length) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The process's connections, loaded from the scenario file on first use (a
// malformed scenario is traced and leaves them empty).
NetConnections& netConnections();
// The same, after re-reading the scenario file and taking it up when its
// network sections changed since they were last read. A program that reads
// the workstation's names from the registry before any network call calls
// this first.
NetConnections& netConnectionsFresh();

}  // namespace wf::netconn
