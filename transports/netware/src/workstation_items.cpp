// NetWare items served from the workstation's client: the file servers it
// knows, logins and the current file server, print queues and who services
// them, the adapter search setting.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "client_services.h"
#include "netware_transport.h"
#include "nw_log.h"
#include "settings.h"
#include "transports/common/adapter_layout.h"
#include "transports/common/net_items.h"

namespace wf::netware {

namespace kestrel = ::wf::adapter::kestrel;
using std::filesystem::file_type::block;
using wf::net::NWLOGIN;
using wf::net::NWQUEUELIST;
using wf::net::NWSERVERLIST;

namespace {

constexpr std::uint16_t kSinglePortObject = 0x03D6, kMultiPortObject = 0x03D7, k7390Object = 0x03D5;
constexpr std::size_t kBlockNames = 16;
constexpr std::size_t kMembersCompared = 16, kMembersRead = 32;

// A name within its field, terminated; none when the field holds no NUL.
std::optional<std::string> workstationFieldName(const char* field, std::size_t size) {
  const void* end = std::memchr(field, 0, size);
  if (!end) return std::nullopt;
  return std::string(field, static_cast<const char*>(end));
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Copies `text` cut to `capacity` bytes, NUL included; false without room.
bool copyOut(const std::string& text, void* buffer, const std::uint16_t* length) {
  if (!buffer || !length || *length == 0) return false;
  std::snprintf(static_cast<char*>(buffer), *length, "%s", text.c_str());
  return true;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

// -1001 supervisor, -1002 user, -1000 not logged in (or no connection).
std::int32_t NetWareTransport::loginStateOf(NWCONN_HANDLE conn) {
  std::uint8_t flags = 0, level = 0;
  if (nw_->NWGetConnectionStatus(conn, &flags) != 0 || !(flags & NW_STATUS_LOGGED_IN))
    return NET_NOT_LOGGED_IN;
  if (nw_->NWGetBinderyAccessLevel(conn, &level, nullptr) != 0) return NET_NOT_LOGGED_IN;
  return level == NW_ACCESS_SUPERVISOR ? NET_LOGGED_IN_SUPERVISOR : NET_LOGGED_IN_USER;
}

// The port's current file server, else the default connection; 0 for none.
NWCONN_HANDLE NetWareTransport::connectionFor(std::uint16_t id) {
  NWCONN_HANDLE conn = 0;
  const auto it = currentServers_.find(id);
  if (it != currentServers_.end() && nw_->NWGetConnectionHandle(it->second.c_str(), &conn) == 0) return conn;
  if (nw_->NWGetDefaultConnectionID(&conn) != 0) return 0;
  return conn;
}

std::string NetWareTransport::portNameOf(const AdapterView& a, const AdapterView::Port& p) {
  switch (a.adapterKind) {
    case AdapterKind::MultiPort:
      return a.name + "_P" + std::to_string(p.number);
    case AdapterKind::External7390:
      return a.name + ((p.kind & 0xF0) == kestrel::kKindParallel7390 ? "_PAR" : "_SER");
    case AdapterKind::SinglePort:
      break;
  }
  return a.name;
}

// ---- Items 4, 8, 17, 18 ----------------------------------------------------------------------

std::int32_t NetWareTransport::knownServers(NETITEMPROC proc) {
  if (!proc) return NET_BADCMD;
  std::vector<FileServerEntry> servers;
  {
    std::lock_guard g(clientMutex_);
    if (!serversScanned_) {
      fileServers_ = scanFileServers(*nw_);
      serversScanned_ = true;
    }
    servers = fileServers_;
  }
  for (std::size_t from = 0; from < servers.size(); from += kBlockNames) {
    NWSERVERLIST block{};
    const std::size_t n = std::min(kBlockNames, servers.size() - from);
    block.Count = static_cast<std::uint16_t>(n);
    for (std::size_t i = 0; i < n; ++i)
      std::snprintf(block.Names[i], sizeof block.Names[i], "%s", servers[from + i].name.c_str());
    proc(&block, sizeof block);
  }
  return NET_OKAY;
}

std::int32_t NetWareTransport::currentServer(std::uint16_t id, void* buffer, std::uint16_t* length) {
  std::lock_guard g(clientMutex_);
  if (id == NET_NO_PORT) {
    NWCONN_HANDLE conn = 0;
    if (nw_->NWGetDefaultConnectionID(&conn) != 0) return NET_NOT_LOGGED_IN;
    return loginStateOf(conn);
  }
  if (!buffer || !length || *length == 0) return NET_FAIL;
  auto it = currentServers_.find(id);
  if (it == currentServers_.end()) {
    NWCONN_HANDLE conn = 0;
    if (const NWCCODE rc = nw_->NWGetDefaultConnectionID(&conn)) {
      nwLog().write("rc = <0x%X> from NWGetDefaultConnectionID() in GetNWCurrentFileServer()\n", rc);
      return NET_NOT_LOGGED_IN;
    }
    char name[NW_NAME] = {};
    if (const NWCCODE rc = nw_->NWGetFileServerName(conn, name)) {
      nwLog().write("rc = <0x%X> from NWGetFileServerName() in GetNWCurrentFileServer()\n", rc);
      return NET_FAIL;
    }
    name[NW_NAME - 1] = 0;
    it = currentServers_.emplace(id, name).first;
  }
  copyOut(it->second, buffer, length);
  NWCONN_HANDLE conn = 0;
  if (nw_->NWGetConnectionHandle(it->second.c_str(), &conn) != 0) return NET_NOT_LOGGED_IN;
  return loginStateOf(conn);
}

std::int32_t NetWareTransport::setCurrentServer(std::uint16_t id, const void* buffer, std::uint32_t length) {
  const auto name =
      buffer ? workstationFieldName(static_cast<const char*>(buffer), std::min<std::uint32_t>(length, NW_NAME))
             : std::nullopt;
  if (!name || name->empty()) return NET_FAIL;
  std::lock_guard g(clientMutex_);
  NWCONN_HANDLE conn = 0;
  if (nw_->NWGetConnectionHandle(name->c_str(), &conn) != 0) return NET_NOT_LOGGED_IN;
  const std::int32_t state = loginStateOf(conn);
  if (state == NET_NOT_LOGGED_IN) return state;
  currentServers_[id] = *name;
  return state;
}

std::int32_t NetWareTransport::login(const void* buffer, std::uint32_t length) {
  if (!buffer || length < sizeof(NWLOGIN)) return NET_FAIL;
  NWLOGIN in;
  std::memcpy(&in, buffer, sizeof in);
  const auto server = workstationFieldName(in.Server, sizeof in.Server);
  const auto user = workstationFieldName(in.LoginName, sizeof in.LoginName);
  const auto password = workstationFieldName(in.Password, sizeof in.Password);
  if (!server || !user || !password) return NET_FAIL;
  const std::string serverName = upper(*server), userName = upper(*user);
  std::lock_guard g(clientMutex_);
  NWCONN_HANDLE conn = 0;
  bool attachedHere = false;
  if (nw_->NWGetConnectionHandle(serverName.c_str(), &conn) != 0) {
    if (nw_->NWAttachToFileServer(serverName.c_str(), &conn) != 0) return NET_FAIL;
    attachedHere = true;
  }
  NWCCODE rc = nw_->NWLoginToFileServer(conn, userName.c_str(), NW_OT_USER, password->c_str());
  if (rc == NW_LOGIN_LOG_OUT_RETRY) {
    nw_->NWLogoutFromFileServer(conn);
    rc = nw_->NWLoginToFileServer(conn, userName.c_str(), NW_OT_USER, password->c_str());
  }
  if (rc != NW_SUCCESS && rc != NW_LOGIN_ALREADY) {
    if (attachedHere) nw_->NWDetachFromFileServer(conn);
    return NET_FAIL;
  }
  std::uint8_t level = 0;
  nw_->NWGetBinderyAccessLevel(conn, &level, nullptr);
  return level == NW_ACCESS_SUPERVISOR ? NET_LOGGED_IN_SUPERVISOR : NET_LOGGED_IN_USER;
}

std::int32_t NetWareTransport::getNetwork(void* buffer, const std::uint16_t* length) {
  // The dialog passes 9 bytes: the method and 8 digits; the NUL only fits a 10-byte buffer.
  if (!buffer || !length || *length < 9) return NET_FAIL;
  const SearchSettings s = readSearchSettings();
  char text[9];
  std::snprintf(text, sizeof text, "%2.2X%2.2X%2.2X%2.2X", s.network[0], s.network[1], s.network[2],
                s.network[3]);
  auto* out = static_cast<std::uint8_t*>(buffer);
  out[0] = s.method;
  std::memcpy(out + 1, text, std::min<std::size_t>(*length - 1, 9));
  return NET_OKAY;
}

std::int32_t NetWareTransport::setNetwork(const void* buffer, std::uint32_t length) {
  if (!buffer || length < 9) return NET_FAIL;
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  SearchSettings s = readSearchSettings();
  if (in[0] != 1 && in[0] != 2 && in[0] != 4) return NET_FAIL;
  s.method = in[0];
  if (s.method == 4) {
    for (std::size_t i = 0; i < 4; ++i) {
      const int high = hexDigit(static_cast<char>(in[1 + 2 * i])),
                low = hexDigit(static_cast<char>(in[2 + 2 * i]));
      if (high < 0 || low < 0) return NET_FAIL;
      s.network[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
  }
  writeSearchSettings(s);
  return NET_OKAY;
}

// ---- Queues: items 6, 7, 9, 10, 19 ---------------------------------------------------------

std::int32_t NetWareTransport::createQueue(std::uint16_t id, const void* buffer, std::uint32_t length,
                                           bool create) {
  const auto name =
      buffer ? workstationFieldName(static_cast<const char*>(buffer), std::min<std::uint32_t>(length, NW_NAME))
             : std::nullopt;
  if (!name || name->empty()) return NET_FAIL;
  std::lock_guard g(clientMutex_);
  const NWCONN_HANDLE conn = connectionFor(id);
  if (!conn) return NET_FAIL;
  NWOBJ_ID queue = 0;
  if (create) return nw_->NWCreateQueue(conn, name->c_str(), &queue) == 0 ? NET_OKAY : NET_FAIL;
  NWOBJ_ID last = 0xFFFFFFFFu;
  char found[NW_NAME] = {};
  if (nw_->NWScanObject(conn, name->c_str(), NW_OT_PRINT_QUEUE, &last, found, nullptr) != 0) return NET_FAIL;
  return nw_->NWDestroyQueue(conn, last) == 0 ? NET_OKAY : NET_FAIL;
}

namespace {

bool succeeded(NWCCODE rc, NWCCODE alreadyThere) {
  return rc == 0 || rc == alreadyThere;
}

std::uint16_t portObjectType(AdapterKind kind) {
  return kind == AdapterKind::External7390 ? k7390Object : kMultiPortObject;
}

// The names of a queue list, each terminated within its field; none when
// the count is past 16 or a name runs off its field.
std::optional<std::vector<std::string>> queueNames(const void* buffer, std::uint32_t length) {
  if (!buffer || length < sizeof(NWQUEUELIST)) return std::nullopt;
  NWQUEUELIST list;
  std::memcpy(&list, buffer, sizeof list);
  if (list.Count > kBlockNames) return std::nullopt;
  std::vector<std::string> names;
  for (std::size_t i = 0; i < list.Count; ++i) {
    auto name = workstationFieldName(list.Names[i], sizeof list.Names[i]);
    if (!name) return std::nullopt;
    names.push_back(std::move(*name));
  }
  return names;
}

}  // namespace

std::int32_t NetWareTransport::serviceQueues(std::uint16_t id, const void* buffer, std::uint32_t length) {
  const auto names = queueNames(buffer, length);
  const auto a = table_.adapterOf(id);
  if (!names || !a) return NET_FAIL;
  const AdapterView::Port& port = *a->portById(id);
  const bool single = a->adapterKind == AdapterKind::SinglePort;
  const std::string portName = portNameOf(*a, port);
  const std::uint16_t portType = portObjectType(a->adapterKind);
  const std::uint16_t adapterType = single ? kSinglePortObject : NW_OT_PRINT_SERVER;
  std::lock_guard g(clientMutex_);
  const NWCONN_HANDLE conn = connectionFor(id);
  if (!conn) return NET_FAIL;
  for (const std::string& queue : *names) {
    if (!single) {
      nw_->NWCreateObject(conn, portName.c_str(), portType);
      nw_->NWCreateObject(conn, a->name.c_str(), adapterType);
    }
    const NWCCODE made = nw_->NWCreateProperty(conn, queue.c_str(), NW_OT_PRINT_QUEUE, "Q_SERVERS", 2, 0x31);
    if (!succeeded(made, NW_ERR_PROPERTY_EXISTS)) {
      nwLog().write("NWCreateProperty for %s failed with 0x%X\n", queue.c_str(), made);
      continue;
    }
    if (!single)
      nw_->NWAddObjectToSet(conn, queue.c_str(), NW_OT_PRINT_QUEUE, "Q_SERVERS", portName.c_str(), portType);
    nw_->NWAddObjectToSet(conn, queue.c_str(), NW_OT_PRINT_QUEUE, "Q_SERVERS", a->name.c_str(), adapterType);
  }
  return NET_OKAY;
}

// Member names of a queue's Q_SERVERS set, at most `limit` of them.
std::vector<std::string> NetWareTransport::queueMembers(NWCONN_HANDLE conn, const std::string& queue,
                                                        std::size_t limit) {
  std::vector<NWOBJ_ID> ids = queueServers(*nw_, conn, queue.c_str());
  if (ids.size() > limit) ids.resize(limit);
  std::vector<std::string> names;
  for (const NWOBJ_ID member : ids) {
    char name[NW_NAME] = {};
    std::uint16_t type = 0;
    if (nw_->NWGetObjectName(conn, member, name, &type) != 0) continue;
    name[NW_NAME - 1] = 0;
    names.emplace_back(name);
  }
  return names;
}

std::int32_t NetWareTransport::listQueues(std::uint16_t id, NETITEMPROC proc) {
  if (!proc) return NET_FAIL;
  const auto a = table_.adapterOf(id);
  if (!a) return NET_FAIL;
  const std::string portName = portNameOf(*a, *a->portById(id));
  std::vector<std::pair<std::string, bool>> queues;
  {
    std::lock_guard g(clientMutex_);
    const NWCONN_HANDLE conn = connectionFor(id);
    if (!conn) return NET_FAIL;
    NWOBJ_ID last = 0xFFFFFFFFu;
    char name[NW_NAME] = {};
    while (nw_->NWScanObject(conn, "*", NW_OT_PRINT_QUEUE, &last, name, nullptr) == 0) {
      name[NW_NAME - 1] = 0;
      const auto members = queueMembers(conn, name, kMembersCompared);
      const bool serviced = std::any_of(members.begin(), members.end(),
                                        [&](const std::string& m) { return m == portName || m == a->name; });
      queues.emplace_back(name, serviced);
    }
  }
  for (std::size_t from = 0; from < queues.size(); from += kBlockNames) {
    NWQUEUELIST block{};
    const std::size_t n = std::min(kBlockNames, queues.size() - from);
    block.Count = static_cast<std::uint16_t>(n);
    for (std::size_t i = 0; i < n; ++i) {
      block.Serviced[i] = queues[from + i].second ? 1 : 0;
      std::snprintf(block.Names[i], sizeof block.Names[i], "%s", queues[from + i].first.c_str());
    }
    proc(&block, sizeof block);
  }
  return NET_OKAY;
}

std::int32_t NetWareTransport::stopQueues(std::uint16_t id, const void* buffer, std::uint32_t length) {
  const auto names = queueNames(buffer, length);
  const auto a = table_.adapterOf(id);
  if (!names || !a) return NET_FAIL;
  const bool single = a->adapterKind == AdapterKind::SinglePort;
  const std::string portName = portNameOf(*a, *a->portById(id));
  const std::uint16_t portType = single ? kSinglePortObject : portObjectType(a->adapterKind);
  const std::string pattern = a->name + (a->adapterKind == AdapterKind::MultiPort ? "_P?" : "_???");
  std::lock_guard g(clientMutex_);
  const NWCONN_HANDLE conn = connectionFor(id);
  if (!conn) return NET_FAIL;
  for (const std::string& queue : *names) {
    nw_->NWDeleteObjectFromSet(conn, queue.c_str(), NW_OT_PRINT_QUEUE, "Q_SERVERS", portName.c_str(),
                               portType);
    if (single) continue;
    const auto members = queueMembers(conn, queue, kMembersRead);
    const bool portsLeft = std::any_of(members.begin(), members.end(), [&](const std::string& m) {
      return namePatternMatches(pattern.c_str(), m.c_str());
    });
    if (!portsLeft)
      nw_->NWDeleteObjectFromSet(conn, queue.c_str(), NW_OT_PRINT_QUEUE, "Q_SERVERS", a->name.c_str(),
                                 NW_OT_PRINT_SERVER);
  }
  return NET_OKAY;
}

// ---- Item 13 ----------------------------------------------------------------------------------

std::int32_t NetWareTransport::currentPrintServer(std::uint16_t id, void* buffer, std::uint16_t* length) {
  const auto a = table_.adapterOf(id);
  if (!a || !buffer || !length || *length == 0) return NET_FAIL;
  const AdapterView::Port& port = *a->portById(id);
  if (a->pserver()) return copyOut(portNameOf(*a, port), buffer, length) ? NET_OKAY : NET_FAIL;
  std::size_t at = 0;
  switch (a->adapterKind) {
    case AdapterKind::MultiPort:
      return NET_FAIL;
    case AdapterKind::SinglePort:
      at = kestrel::kSinglePrintServer;
      break;
    case AdapterKind::External7390:
      at = (port.kind & 0xF0) == kestrel::kKindParallel7390 ? kestrel::kParallelPrintServer
                                                            : kestrel::kSerialPrintServer;
      break;
  }
  std::string name;
  if (at + 48 <= port.block.size())
    name = workstationFieldName(reinterpret_cast<const char*>(port.block.data() + at), 48)
               .value_or(std::string(reinterpret_cast<const char*>(port.block.data() + at), 47));
  return copyOut(name, buffer, length) ? NET_OKAY : NET_FAIL;
}

}  // namespace wf::netware
