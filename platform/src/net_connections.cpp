#include "platform/net_connections.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include "platform/byte_codec.h"
#include "platform/parallel_port.h"
#include "platform/registry.h"
#include "platform/runtime_dir.h"
#include "platform/trace.h"
#include "platform/unique_fd.h"
#include "text_fold.h"

namespace wf::netconn {
namespace {

// The sink keeps one file per remote name in the runtime directory, so every
// process of a run writes to and reads the same queues.
std::optional<std::filesystem::path> sinkPath(std::string_view remoteName) {
  std::uint64_t h = 14695981039346656037ull;  // FNV-1a keeps any remote name a short file name
  for (char c : foldCase(remoteName)) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  char name[32];
  std::snprintf(name, sizeof name, "netsink/%016llx", static_cast<unsigned long long>(h));
  auto path = runtimePath(name);
  if (path && !ensurePrivateDir(path->parent_path(), true, nullptr)) return std::nullopt;
  return path;
}

// Longer names are refused, never cut.
constexpr std::size_t kMaxNetName = 255;
constexpr const char* kVnetsupKey = "System\\CurrentControlSet\\Services\\VxD\\VNETSUP";

bool isPlainNetName(std::string_view name, std::size_t maxLength) {
  if (name.empty() || name.size() > maxLength) return false;
  for (char c : name)
    if (c == '\\' || c == ',' || static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

// "\\SERVER\SHARE"
bool isShareName(std::string_view name) {
  if (name.size() > kMaxNetName || !name.starts_with("\\\\")) return false;
  name.remove_prefix(2);
  const auto slash = name.find('\\');
  return slash != std::string_view::npos && isPlainNetName(name.substr(0, slash), kMaxNetName) &&
         isPlainNetName(name.substr(slash + 1), kMaxNetName);
}

void traceSkippedLine(std::string_view section, std::string_view line, std::string_view why) {
  platformTrace("network connections: [" + std::string(section) + "] \"" + std::string(line) +
                "\" skipped: " + std::string(why));
}

// The text and its terminator into `buffer` of `size` bytes, else the size needed into `size`.
bool copyTerminated(const std::string& text, char* buffer, std::uint32_t& size) {
  if (!buffer || size < text.size() + 1) {
    size = static_cast<std::uint32_t>(text.size() + 1);
    return false;
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

struct Domain {
  std::string name;
  std::vector<std::string> computers;
};

// The neighbourhood as the scenario gives it.
struct Neighbourhood {
  std::vector<std::string> connected;  // "\\SERVER\SHARE"
  std::vector<Domain> domains;
  std::string computerName;  // empty: not given
  std::string workgroup;
  std::string user;
};

void readDomain(const std::string& line, std::vector<Domain>& domains) {
  std::string name, list;
  if (!splitScenarioEntry(line, name, list) || !isPlainNetName(name, kMaxNetName)) {
    traceSkippedLine("network.domains", line, "not 'name = computer, ...'");
    return;
  }
  auto domain = std::find_if(domains.begin(), domains.end(),
                             [&](const Domain& d) { return foldCase(d.name) == foldCase(name); });
  if (domain == domains.end()) domain = domains.insert(domains.end(), Domain{name, {}});
  std::string_view rest = list;
  while (!rest.empty()) {
    const auto comma = rest.find(',');
    const std::string_view computer = trimBlanks(rest.substr(0, comma));
    rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
    if (computer.empty()) continue;
    if (isPlainNetName(computer, kMaxNetName))
      domain->computers.emplace_back(computer);
    else
      traceSkippedLine("network.domains", line, "computer name \"" + std::string(computer) + "\"");
  }
}

void readWorkstationLine(const std::string& line, Neighbourhood& n) {
  std::string key, value;
  if (!splitScenarioEntry(line, key, value))
    return traceSkippedLine("network.workstation", line, "not 'key = value'");
  key = foldCase(key);
  std::string* field = key == "computer"    ? &n.computerName
                       : key == "workgroup" ? &n.workgroup
                       : key == "user"      ? &n.user
                                            : nullptr;
  if (!field) return traceSkippedLine("network.workstation", line, "unknown key");
  const std::size_t maxLength = field == &n.user ? kMaxNetName : MAX_COMPUTERNAME_LENGTH;
  if (!isPlainNetName(value, maxLength))
    return traceSkippedLine("network.workstation", line,
                            "not a name of 1 to " + std::to_string(maxLength) + " characters");
  *field = value;
}

Neighbourhood readNeighbourhood(const Scenario& scenario) {
  Neighbourhood n;
  for (const auto& line : scenario.section("network.connected")) {
    if (isShareName(line))
      n.connected.push_back(line);
    else
      traceSkippedLine("network.connected", line, "not \\\\server\\share");
  }
  for (const auto& line : scenario.section("network.domains")) readDomain(line, n.domains);
  for (const auto& line : scenario.section("network.workstation")) readWorkstationLine(line, n);
  return n;
}

// Where programs of the workstation look its names up.
void writeWorkstationNames(const Neighbourhood& n) {
  if (n.computerName.empty() && n.workgroup.empty()) return;
  HKEY key = nullptr;
  LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kVnetsupKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_WRITE, nullptr, &key, nullptr);
  if (result == ERROR_SUCCESS) {
    for (const auto& [name, value] :
         {std::pair{"ComputerName", &n.computerName}, {"Workgroup", &n.workgroup}}) {
      if (value->empty() || result != ERROR_SUCCESS) continue;
      result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                              static_cast<DWORD>(value->size() + 1));
    }
    RegCloseKey(key);
  }
  if (result != ERROR_SUCCESS)
    platformTrace("network connections: workstation names not written to the registry: error " +
                  std::to_string(result) + " " + registryFailureReason());
}

// The host name up to its first '.', upper-cased and, as a computer name, 15 characters at most.
std::string hostComputerName() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return {};
  std::string name(host, ::strnlen(host, sizeof host));
  name.resize(std::min({name.find('.'), name.size(), std::size_t{MAX_COMPUTERNAME_LENGTH}}));
  for (char& c : name)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return name;
}

std::string accountName() {
  passwd entry{};
  passwd* found = nullptr;
  std::array<char, 4096> strings{};
  if (::getpwuid_r(::geteuid(), &entry, strings.data(), strings.size(), &found) == 0 && found &&
      found->pw_name)
    return found->pw_name;
  const char* user = std::getenv("USER");
  return user ? user : "";
}

// What an enumeration lists, fixed at its open.
struct ListedEntry {
  DWORD scope;
  DWORD type;
  DWORD displayType;
  DWORD usage;
  std::string localName;  // empty: none
  std::string remoteName;

  std::size_t bytes() const {
    return sizeof(NETRESOURCEA) + remoteName.size() + 1 + (localName.empty() ? 0 : localName.size() + 1);
  }
};

class OpenEnumerations {
 public:
  HANDLE open(std::vector<ListedEntry> entries) {
    std::lock_guard lock(m_);
    open_[++last_] = Enumeration{std::move(entries), 0};
    return reinterpret_cast<HANDLE>(last_);
  }

  DWORD close(HANDLE handle) {
    std::lock_guard lock(m_);
    return open_.erase(reinterpret_cast<std::uintptr_t>(handle)) ? NO_ERROR : ERROR_INVALID_HANDLE;
  }

  DWORD read(HANDLE handle, DWORD* count, void* buffer, DWORD* bufferSize) {
    if (!count || !bufferSize || *count == 0 || (!buffer && *bufferSize != 0) ||
        reinterpret_cast<std::uintptr_t>(buffer) % alignof(NETRESOURCEA) != 0)
      return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(m_);
    auto it = open_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == open_.end()) return ERROR_INVALID_HANDLE;
    Enumeration& e = it->second;
    if (e.next == e.entries.size()) return ERROR_NO_MORE_ITEMS;
    auto* base = static_cast<char*>(buffer);
    std::size_t recordsEnd = 0;
    std::size_t textsStart = *bufferSize;
    DWORD n = 0;
    for (; n < *count && e.next < e.entries.size(); ++n, ++e.next) {
      const ListedEntry& entry = e.entries[e.next];
      if (recordsEnd + entry.bytes() > textsStart) break;
      auto put = [&](const std::string& text) -> char* {
        if (text.empty()) return nullptr;
        textsStart -= text.size() + 1;
        std::memcpy(base + textsStart, text.c_str(), text.size() + 1);
        return base + textsStart;
      };
      const NETRESOURCEA record{entry.scope,
                                entry.type,
                                entry.displayType,
                                entry.usage,
                                put(entry.localName),
                                put(entry.remoteName),
                                nullptr,
                                nullptr};
      std::memcpy(base + recordsEnd, &record, sizeof record);
      recordsEnd += sizeof record;
    }
    if (n == 0) {
      *bufferSize = static_cast<DWORD>(e.entries[e.next].bytes());
      return ERROR_MORE_DATA;
    }
    *count = n;
    return NO_ERROR;
  }

 private:
  struct Enumeration {
    std::vector<ListedEntry> entries;
    std::size_t next;
  };
  std::mutex m_;
  std::map<std::uintptr_t, Enumeration> open_;
  std::uintptr_t last_ = 0;
};

OpenEnumerations& openEnumerations() {
  static auto* instance = new OpenEnumerations;  // never destroyed: a thread may still enumerate at exit
  return *instance;
}

}  // namespace

struct NetConnections::State {
  mutable std::mutex m;
  std::array<std::string, 10> remote;  // by port number 1..9
  std::set<std::string> unreachable;   // folded remote names
  Neighbourhood neighbourhood;
};

NetConnections::NetConnections() : state_(std::make_unique<State>()) {}
NetConnections::~NetConnections() = default;

bool NetConnections::load(const Scenario& scenario, std::string* error) {
  std::array<std::string, 10> remote;
  for (const auto& line : scenario.section("network.redirections")) {
    std::string local, name;
    int n = splitScenarioEntry(line, local, name) ? parallelPortNumber(local) : 0;
    if (n == 0 || name.empty()) {
      if (error) *error = "network.redirections: \"" + line + "\" is not 'LPTn = remote name'";
      return false;
    }
    remote[n] = name;
  }
  std::set<std::string> unreachable;
  for (const auto& line : scenario.section("network.unreachable")) unreachable.insert(foldCase(line));
  Neighbourhood neighbourhood = readNeighbourhood(scenario);
  writeWorkstationNames(neighbourhood);
  std::lock_guard lock(state_->m);
  state_->remote = std::move(remote);
  state_->unreachable = std::move(unreachable);
  state_->neighbourhood = std::move(neighbourhood);
  return true;
}

void NetConnections::clear() {
  std::lock_guard lock(state_->m);
  state_->remote = {};
  state_->unreachable.clear();
  state_->neighbourhood = {};
}

bool NetConnections::setRedirection(std::string_view localName, std::string remoteName) {
  int n = parallelPortNumber(localName);
  if (n == 0) return false;
  std::lock_guard lock(state_->m);
  state_->remote[n] = std::move(remoteName);
  return true;
}

void NetConnections::setReachable(std::string_view remoteName, bool reachable) {
  std::lock_guard lock(state_->m);
  if (reachable)
    state_->unreachable.erase(foldCase(remoteName));
  else
    state_->unreachable.insert(foldCase(remoteName));
}

std::uint32_t NetConnections::getConnection(std::string_view localName, char* remoteName,
                                            std::uint32_t& length) const {
  int n = parallelPortNumber(localName);
  if (n == 0) return kBadDevice;
  std::string name;
  {
    std::lock_guard lock(state_->m);
    name = state_->remote[n];
  }
  if (name.empty()) return kNotConnected;
  return copyTerminated(name, remoteName, length) ? kNoError : kMoreData;
}

std::uint32_t NetConnections::writeRemote(std::string_view remoteName, std::string_view data) {
  {
    std::lock_guard lock(state_->m);
    auto key = foldCase(remoteName);
    bool known = false;
    for (const auto& r : state_->remote) known = known || (!r.empty() && foldCase(r) == key);
    if (!known) return kBadNetName;
    if (state_->unreachable.count(key)) return kBadNetPath;
  }
  auto path = sinkPath(remoteName);
  if (!path) return kGenFailure;
  const std::string record = ByteWriter().le32(static_cast<std::uint32_t>(data.size())).bytes(data).take();
  UniqueFd fd(::open(path->c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
  if (!fd) return kGenFailure;
  // One append per record keeps records from different processes whole.
  return ::write(fd.get(), record.data(), record.size()) == static_cast<ssize_t>(record.size()) ? kNoError
                                                                                                : kGenFailure;
}

std::vector<std::string> NetConnections::writtenTo(std::string_view remoteName) const {
  std::vector<std::string> writes;
  auto path = sinkPath(remoteName);
  if (!path) return writes;
  std::ifstream in(*path, std::ios::binary);
  std::string bytes(std::istreambuf_iterator<char>(in), {});
  ByteReader records(bytes);
  std::uint32_t n = 0;
  std::string_view record;
  while (records.le32(n) && records.bytes(n, record)) writes.emplace_back(record);
  return writes;
}

NetConnections::Workstation NetConnections::workstation() const {
  Workstation w;
  {
    std::lock_guard lock(state_->m);
    w = {state_->neighbourhood.computerName, state_->neighbourhood.workgroup, state_->neighbourhood.user};
  }
  if (w.computerName.empty()) w.computerName = hostComputerName();
  if (w.user.empty()) w.user = accountName();
  return w;
}

DWORD NetConnections::openEnum(DWORD scope, DWORD type, DWORD usage, const NETRESOURCEA* resource,
                               HANDLE* enumHandle) const {
  if (!enumHandle) return ERROR_INVALID_PARAMETER;
  std::vector<ListedEntry> entries;
  std::lock_guard lock(state_->m);
  if (scope == RESOURCE_CONNECTED) {
    if (type == RESOURCETYPE_ANY || (type & RESOURCETYPE_PRINT) != 0) {
      for (int n = 1; n <= 9; ++n) {
        const std::string& remote = state_->remote[n];
        if (remote.empty()) continue;
        if (!isShareName(remote)) {
          platformTrace("network connections: LPT" + std::to_string(n) + " is redirected to \"" + remote +
                        "\", not a \\\\server\\share: not listed");
          continue;
        }
        entries.push_back({RESOURCE_CONNECTED, RESOURCETYPE_PRINT, RESOURCEDISPLAYTYPE_SHARE,
                           RESOURCEUSAGE_CONNECTABLE, "LPT" + std::to_string(n), remote});
      }
      for (const auto& remote : state_->neighbourhood.connected)
        entries.push_back({RESOURCE_CONNECTED, RESOURCETYPE_PRINT, RESOURCEDISPLAYTYPE_SHARE,
                           RESOURCEUSAGE_CONNECTABLE, "", remote});
    }
  } else if (scope == RESOURCE_GLOBALNET) {
    if (!resource || !resource->lpRemoteName) return ERROR_INVALID_PARAMETER;
    const std::string name = foldCase(resource->lpRemoteName);
    const auto& domains = state_->neighbourhood.domains;
    auto domain = std::find_if(domains.begin(), domains.end(),
                               [&](const Domain& d) { return foldCase(d.name) == name; });
    if (domain == domains.end()) return ERROR_BAD_NETPATH;
    if (usage == 0 || (usage & RESOURCEUSAGE_CONTAINER) != 0)
      for (const auto& computer : domain->computers)
        entries.push_back({RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_SERVER,
                           RESOURCEUSAGE_CONTAINER, "", "\\\\" + computer});
  } else {
    return ERROR_INVALID_PARAMETER;
  }
  *enumHandle = openEnumerations().open(std::move(entries));
  return NO_ERROR;
}

DWORD NetConnections::getUser(const char* name, char* userName, DWORD* length) const {
  if (!length) return ERROR_INVALID_PARAMETER;
  if (name && *name) {
    const std::string folded = foldCase(name);
    bool connected = false;
    {
      std::lock_guard lock(state_->m);
      const int n = parallelPortNumber(name);
      connected = n != 0 && !state_->remote[n].empty();
      for (const auto& remote : state_->remote)
        connected = connected || (!remote.empty() && foldCase(remote) == folded);
      for (const auto& remote : state_->neighbourhood.connected)
        connected = connected || foldCase(remote) == folded;
    }
    if (!connected) return ERROR_NOT_CONNECTED;
  }
  const std::string user = workstation().user;
  if (user.empty()) return ERROR_NO_NETWORK;
  return copyTerminated(user, userName, *length) ? NO_ERROR : static_cast<DWORD>(ERROR_MORE_DATA);
}

namespace {

// The process's connections and the file's network sections they last took up.
struct ProcessConnections {
  NetConnections connections;
  std::mutex m;
  std::optional<std::map<std::string, std::vector<std::string>>> taken;

  void reread() {
    std::lock_guard lock(m);
    std::string error;
    auto scenario = loadScenario(&error);
    if (!scenario) return platformTrace("network connections: scenario not used: " + error);
    std::map<std::string, std::vector<std::string>> sections;
    for (const auto& [name, lines] : scenario->sections)
      if (name.starts_with("network.")) sections.emplace(name, lines);
    if (taken == sections) return;
    taken = std::move(sections);
    if (!connections.load(*scenario, &error))
      platformTrace("network connections: scenario not used: " + error);
  }
};

ProcessConnections& processConnections() {
  static ProcessConnections* instance = [] {
    auto* p = new ProcessConnections;  // never destroyed: an abandoned thread may still call it at exit
    p->reread();
    return p;
  }();
  return *instance;
}

}  // namespace

NetConnections& netConnections() {
  return processConnections().connections;
}

NetConnections& netConnectionsFresh() {
  ProcessConnections& p = processConnections();
  p.reread();
  return p.connections;
}

}  // namespace wf::netconn

namespace wf {

DWORD WNetOpenEnumA(DWORD scope, DWORD type, DWORD usage, const NETRESOURCEA* resource, HANDLE* enumHandle) {
  return netconn::netConnectionsFresh().openEnum(scope, type, usage, resource, enumHandle);
}

DWORD WNetEnumResourceA(HANDLE enumHandle, DWORD* count, void* buffer, DWORD* bufferSize) {
  return netconn::openEnumerations().read(enumHandle, count, buffer, bufferSize);
}

DWORD WNetCloseEnum(HANDLE enumHandle) {
  return netconn::openEnumerations().close(enumHandle);
}

DWORD WNetGetUserA(const char* name, char* userName, DWORD* length) {
  return netconn::netConnectionsFresh().getUser(name, userName, length);
}

BOOL GetComputerNameA(char* buffer, DWORD* size) {
  if (!size) return FALSE;
  const std::string name = netconn::netConnectionsFresh().workstation().computerName;
  if (!netconn::copyTerminated(name, buffer, *size)) return FALSE;
  *size = static_cast<DWORD>(name.size());
  return TRUE;
}

}  // namespace wf
