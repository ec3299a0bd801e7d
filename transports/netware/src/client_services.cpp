#include "client_services.h"

#include <cctype>
#include <cstring>

#include "nw_log.h"
#include "platform/clock.h"
#include "platform/net_connections.h"

namespace wf::netware {
namespace {

constexpr std::uint16_t kAdapterTypes[] = {0x03D5, 0x03D6, 0x03D7, 0x03D8};
constexpr std::size_t kRemoteName = 100;

struct Found {
  Network net{};
  Node node{};
  std::uint16_t type = 0;
};

// The member's NET_ADDRESS under the first adapter type that has one.
std::optional<Found> adapterAddressOf(const NwClient& nw, NWCONN_HANDLE conn, const char* name) {
  for (const std::uint16_t type : kAdapterTypes) {
    std::uint8_t value[NW_SEGMENT] = {};
    std::uint8_t more = 0;
    if (nw.NWReadPropertyValue(conn, name, type, "NET_ADDRESS", 1, value, &more) != 0) continue;
    Found f;
    std::memcpy(f.net.data(), value, 4);
    std::memcpy(f.node.data(), value + 4, 6);
    f.type = type;
    return f;
  }
  return std::nullopt;
}

void addPort(CapturedPorts& list, const Found& f, const char* name, int lpt) {
  if (const auto key = captureKeyOf(f.type, name)) list.add(f.net, f.node, *key, 0x10000u << (lpt - 1));
}

void searchPrintServer(const NwClient& nw, NWCONN_HANDLE conn, const char* printServer,
                       const std::string& server, const std::string& queue, int lpt, CapturedPorts& list) {
  std::uint16_t session = 0;
  NWCCODE rc = nw.NWPSCommAttachToPrintServer(conn, printServer, &session);
  if (rc) {
    nwLog().write("NWPSCommAttachToPrintServer() returned <0x%X> in ProcessNovellPrintServer()\n", rc);
    return;
  }
  std::uint8_t access = 0;
  if ((rc = nw.NWPSCommLoginToPrintServer(session, &access)))
    nwLog().write("NWPSCommLoginToPrintServer() returned <0x%X> in ProcessNovellPrintServer()\n", rc);
  std::uint16_t version = 0;
  nw.NWGetFileServerVersion(conn, &version);
  const std::uint16_t capacity = version < 4000 ? 16 : 255;
  std::uint8_t printers[255] = {};
  std::uint16_t count = 0;
  rc = nw.NWPSComGetPrintersServicingQ(session, server.c_str(), queue.c_str(), capacity, &count, printers);
  if (rc) {
    nwLog().write("NWPSComGetPrintersServicingQ() returned <0x%X> in ProcessNovellPrintServer()\n", rc);
    count = 0;
  }
  for (std::uint16_t i = 0; i < count && i < capacity; ++i) {
    std::uint8_t status = 0;
    char name[NW_NAME] = {};
    if ((rc = nw.NWPSComGetPrinterStatus(session, printers[i], &status, name))) {
      nwLog().write("NWPSComGetPrinterStatus() returned <0x%X> in ProcessNovellPrintServer()\n", rc);
      continue;
    }
    if (status == 7) continue;
    name[NW_NAME - 1] = 0;
    if (const auto f = adapterAddressOf(nw, conn, name)) addPort(list, *f, name, lpt);
  }
  nw.NWPSCommDetachFromPrintServer(session);
}

}  // namespace

// The Q_SERVERS members of a queue, segment by segment (32 ids each).
std::vector<NWOBJ_ID> queueServers(const NwClient& nw, NWCONN_HANDLE conn, const char* queue) {
  std::vector<NWOBJ_ID> ids;
  if (nw.NWScanProperty(conn, queue, NW_OT_PRINT_QUEUE, "Q_SERVERS") != 0) return ids;
  for (std::uint8_t segment = 1; segment != 0; ++segment) {
    std::uint8_t value[NW_SEGMENT] = {};
    std::uint8_t more = 0;
    if (nw.NWReadPropertyValue(conn, queue, NW_OT_PRINT_QUEUE, "Q_SERVERS", segment, value, &more) != 0)
      break;
    for (std::size_t i = 0; i < NW_SEGMENT; i += 4) {
      const NWOBJ_ID id = std::uint32_t{value[i]} << 24 | std::uint32_t{value[i + 1]} << 16 |
                          std::uint32_t{value[i + 2]} << 8 | value[i + 3];
      if (id) ids.push_back(id);
    }
    if (!more) break;
  }
  return ids;
}

bool namePatternMatches(const char* pattern, const char* name) {
  if (!*pattern) return !*name;
  if (*pattern == '*') {
    for (const char* rest = name;; ++rest) {
      if (namePatternMatches(pattern + 1, rest)) return true;
      if (!*rest) return false;
    }
  }
  if (!*name) return false;
  const bool one = *pattern == '?' || std::toupper(static_cast<unsigned char>(*pattern)) ==
                                          std::toupper(static_cast<unsigned char>(*name));
  return one && namePatternMatches(pattern + 1, name + 1);
}

std::optional<int> captureKeyOf(std::uint16_t type, const std::string& name) {
  switch (type) {
    case 0x03D5:
      if (!namePatternMatches("*_???", name.c_str())) return std::nullopt;
      if (namePatternMatches("*_PAR", name.c_str())) return kCaptureSecond;
      if (namePatternMatches("*_SER", name.c_str())) return kCaptureFirst;
      return std::nullopt;
    case 0x03D6:
      return name.empty() ? std::nullopt : std::optional<int>(kCaptureFirst);
    case 0x03D7:
    case 0x03D8:
      if (!namePatternMatches("*_P?", name.c_str())) return std::nullopt;
      return captureKeyOfPortCharacter(name.back());
    default:
      return std::nullopt;
  }
}

bool hasSupervisorRights(const NwClient& nw) {
  NWCONN_HANDLE list[64] = {};
  std::uint16_t count = 0;
  if (NWCCODE rc = nw.NWGetConnectionList(list, 64, &count)) {
    nwLog().write("NWGetConnectionList failed with 0x%X\n", rc);
    return false;
  }
  for (std::uint16_t i = 0; i < count && i < 64; ++i) {
    std::uint8_t level = 0;
    if (nw.NWGetBinderyAccessLevel(list[i], &level, nullptr) == 0 && level == NW_ACCESS_SUPERVISOR)
      return true;
  }
  return false;
}

std::vector<FileServerEntry> scanFileServers(const NwClient& nw) {
  std::vector<FileServerEntry> table;
  nwLog().write("Calling NWGetDefaultConnectionID\n");
  NWCONN_HANDLE conn = 0;
  if (nw.NWGetDefaultConnectionID(&conn) == 0) {
    NWOBJ_ID last = 0xFFFFFFFFu;
    char name[NW_NAME] = {};
    for (;;) {
      nwLog().write("Calling NWScanObject\n");
      if (nw.NWScanObject(conn, "*", NW_OT_FILE_SERVER, &last, name, nullptr) != 0) {
        nwLog().write("No more file servers\n");
        break;
      }
      name[NW_NAME - 1] = 0;
      FileServerEntry e;
      e.name = name;
      nwLog().write("Calling NWReadPropertyValue\n");
      std::uint8_t value[NW_SEGMENT] = {};
      std::uint8_t more = 0;
      if (nw.NWReadPropertyValue(conn, name, NW_OT_FILE_SERVER, "NET_ADDRESS", 1, value, &more) != 0) {
        nwLog().write("NWReadPropertyValue failed\n");
        continue;
      }
      std::memcpy(e.address.data(), value, e.address.size());
      bool duplicate = false;
      for (const FileServerEntry& f : table) duplicate |= f.name == e.name;
      if (!duplicate) table.push_back(std::move(e));
    }
    char defaultName[NW_NAME] = {};
    if (nw.NWGetFileServerName(conn, defaultName) == 0)
      for (FileServerEntry& f : table) f.isDefault = f.name == defaultName;
  }
  nwLog().write("Returning from ScanFileServersForNetworks\n");
  return table;
}

std::vector<std::pair<Network, Node>> binderyAdapterAddresses(const NwClient& nw) {
  std::vector<std::pair<Network, Node>> addresses;
  NWCONN_HANDLE conn = 0;
  if (NWCCODE rc = nw.NWGetDefaultConnectionID(&conn)) {
    nwLog().write("NWGetDefaultConnectionID failed with 0x%X\n", rc);
    return addresses;
  }
  for (const std::uint16_t type : kAdapterTypes) {
    NWOBJ_ID last = 0xFFFFFFFFu;
    char name[NW_NAME] = {};
    while (nw.NWScanObject(conn, "*", type, &last, name, nullptr) == 0) {
      name[NW_NAME - 1] = 0;
      std::uint8_t value[NW_SEGMENT] = {};
      std::uint8_t more = 0;
      if (NWCCODE rc = nw.NWReadPropertyValue(conn, name, type, "NET_ADDRESS", 1, value, &more)) {
        nwLog().write("NWReadPropertyValue for %s failed with 0x%X\n", name, rc);
        continue;
      }
      std::pair<Network, Node> a;
      std::memcpy(a.first.data(), value, 4);
      std::memcpy(a.second.data(), value + 4, 6);
      if (std::find(addresses.begin(), addresses.end(), a) == addresses.end()) addresses.push_back(a);
    }
  }
  return addresses;
}

RemoteNames currentRemoteNames() {
  RemoteNames names;
  for (int n = 1; n <= 9; ++n) {
    char remote[kRemoteName] = {};
    std::uint32_t length = kRemoteName;
    if (netconn::netConnections().getConnection("LPT" + std::to_string(n), remote, length) ==
        netconn::kNoError)
      names[static_cast<std::size_t>(n - 1)] = remote;
  }
  return names;
}

CaptureScan scanCapturedPorts(const NwClient& nw, bool ignoreRprinter) {
  CaptureScan scan;
  scan.remoteNames = currentRemoteNames();
  for (int lpt = 1; lpt <= 9; ++lpt) {
    const std::string& remote = scan.remoteNames[static_cast<std::size_t>(lpt - 1)];
    if (remote.empty()) continue;
    const std::string rest = remote.substr(std::min(remote.find_first_not_of('\\'), remote.size()));
    const auto slash = rest.find('\\');
    if (slash == std::string::npos) {
      nwLog().write("error parsing RemoteName <%s> in SetQAndHostNames()\n", remote.c_str());
      continue;
    }
    const std::string server = rest.substr(0, slash), queue = rest.substr(slash + 1);
    NWCONN_HANDLE conn = 0;
    if (nw.NWGetConnectionHandle(server.c_str(), &conn) != 0) {
      nwLog().write("%s is redirected, but user doesn't have a NetWare connection for it\n",
                    ("LPT" + std::to_string(lpt)).c_str());
      continue;
    }
    for (const NWOBJ_ID id : queueServers(nw, conn, queue.c_str())) {
      char member[NW_NAME] = {};
      std::uint16_t memberType = 0;
      if (NWCCODE rc = nw.NWGetObjectName(conn, id, member, &memberType)) {
        nwLog().write("NWGetObjectName for 0x%X failed with 0x%X\n", id, rc);
        continue;
      }
      member[NW_NAME - 1] = 0;
      if (const auto f = adapterAddressOf(nw, conn, member))
        addPort(scan.ports, *f, member, lpt);
      else if (memberType == NW_OT_ADVERTISING_PRINT_SERVER && !ignoreRprinter)
        searchPrintServer(nw, conn, member, server, queue, lpt, scan.ports);
    }
  }
  scan.at = now();
  return scan;
}

}  // namespace wf::netware
