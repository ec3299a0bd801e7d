#pragma once
// What Cornw32 asks the NetWare client: supervisor rights, the file servers,
// the adapters' bindery objects, and which LPT ports are captured to which
// adapter port. Client failures are logged and skip the object concerned.
#include <array>
#include <ctime>
#include <string>
#include <vector>

#include "nw_client.h"
#include "port_table.h"

namespace wf::netware {

// Any connection with bindery access level 0x33.
bool hasSupervisorRights(const NwClient& nw);

struct FileServerEntry {
  std::string name;
  std::array<std::uint8_t, 10> address{};  // NET_ADDRESS: network, node
  bool isDefault = false;
};
std::vector<FileServerEntry> scanFileServers(const NwClient& nw);

// The NET_ADDRESS of every adapter object (types 0x03D5-0x03D8) of the
// default connection's bindery, one entry per address.
std::vector<std::pair<Network, Node>> binderyAdapterAddresses(const NwClient& nw);

using RemoteNames = std::array<std::string, 9>;  // LPT1-LPT9
RemoteNames currentRemoteNames();

struct CaptureScan {
  CapturedPorts ports;
  RemoteNames remoteNames;
  std::time_t at = 0;
};
CaptureScan scanCapturedPorts(const NwClient& nw, bool ignoreRprinter);

// The Q_SERVERS members of a queue, by object id.
std::vector<NWOBJ_ID> queueServers(const NwClient& nw, NWCONN_HANDLE conn, const char* queue);

// The capture key an adapter object of `type` named `name` stands for.
std::optional<int> captureKeyOf(std::uint16_t type, const std::string& name);
bool namePatternMatches(const char* pattern, const char* name);

}  // namespace wf::netware
