#include "cl_discovery.h"

#include <algorithm>
#include <cstring>

#include "cl_log.h"
#include "cl_servers.h"
#include "platform/net_connections.h"
#include "platform/registry.h"

namespace wf::corlink {
namespace {

constexpr DWORD kResourceBuffer = 16384;
constexpr std::size_t kNameLimit = 15;

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

bool listHas(const std::vector<std::string>& entries, std::string_view name) {
  return std::any_of(entries.begin(), entries.end(), [&](const std::string& e) { return sameName(e, name); });
}

std::string joinEntries(const std::vector<std::string>& entries) {
  std::string text;
  for (const auto& e : entries) text += (text.empty() ? "" : ",") + e;
  return text;
}

// Every entry of an open enumeration, all entries per call.
std::vector<NETRESOURCEA> enumerateAll(HANDLE handle, std::vector<std::vector<char>>& buffers) {
  std::vector<NETRESOURCEA> out;
  for (;;) {
    buffers.emplace_back(kResourceBuffer);
    DWORD count = 0xFFFFFFFF, size = kResourceBuffer;
    if (WNetEnumResourceA(handle, &count, buffers.back().data(), &size) != NO_ERROR) break;
    const auto* records = reinterpret_cast<const NETRESOURCEA*>(buffers.back().data());
    out.insert(out.end(), records, records + count);
  }
  WNetCloseEnum(handle);
  return out;
}

// A list entry (17 bytes: kind, name ending inside); empty when malformed.
std::optional<std::pair<std::uint8_t, std::string>> listEntryOf(const void* buffer, std::uint32_t length) {
  if (!buffer || length < kListEntrySize) return std::nullopt;
  const auto* b = static_cast<const std::uint8_t*>(buffer);
  const auto* name = reinterpret_cast<const char*>(b + 1);
  const std::size_t size = strnlen(name, kListEntrySize - 1);
  if (size == kListEntrySize - 1) return std::nullopt;
  return std::pair{b[0], std::string(name, size)};
}

}  // namespace

std::vector<std::string> listEntries(std::string_view text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    std::string_view e = text.substr(start, comma - start);
    const auto first = e.find_first_not_of(" \t");
    if (first != std::string_view::npos) out.emplace_back(e.substr(first, e.find_last_not_of(" \t") - first + 1));
    start = comma + 1;
  }
  return out;
}

bool Discovery::isOwnComputer(std::string_view name) {
  char own[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof own;
  return GetComputerNameA(own, &size) && sameName(own, name);
}

std::optional<std::string> Discovery::serverOf(const char* remoteName, const char* what, const char* own) {
  const std::string_view remote = remoteName ? remoteName : "";
  if (remote.size() < 3 || remote.substr(0, 2) != "\\\\") {
    log_.write(kLogConnections, {what, remote, " names no server; skipped\r\n"});
    return std::nullopt;
  }
  // A share names the server of its first component.
  std::string server(remote.substr(2, remote.find('\\', 2) - 2));
  if (isOwnComputer(server)) {
    log_.write(kLogConnections, {what, remote, own});
    return std::nullopt;
  }
  return server;
}

std::vector<PrinterConnection> Discovery::printerConnections() {
  std::vector<PrinterConnection> out;
  HANDLE handle = nullptr;
  if (WNetOpenEnumA(RESOURCE_CONNECTED, RESOURCETYPE_PRINT, 0, nullptr, &handle) != NO_ERROR) return out;
  std::vector<std::vector<char>> buffers;
  for (const NETRESOURCEA& r : enumerateAll(handle, buffers)) {
    if (r.dwDisplayType != RESOURCEDISPLAYTYPE_DOMAIN && r.dwDisplayType != RESOURCEDISPLAYTYPE_SERVER &&
        r.dwDisplayType != RESOURCEDISPLAYTYPE_SHARE)
      continue;
    out.push_back({r.lpLocalName ? r.lpLocalName : "", r.lpRemoteName ? r.lpRemoteName : ""});
  }
  return out;
}

std::vector<std::string> Discovery::connectedServers() {
  std::vector<std::string> out;
  for (const auto& c : printerConnections())
    if (auto server = serverOf(c.remote.c_str(), "Connected printer ", " is on this computer; skipped\r\n"))
      out.push_back(*server);
  return out;
}

std::vector<std::string> Discovery::browse(const std::string& container) {
  std::vector<std::string> out;
  std::vector<char> name(container.begin(), container.end());
  name.push_back(0);
  NETRESOURCEA resource{};
  resource.dwScope = RESOURCE_GLOBALNET;
  resource.dwUsage = RESOURCEUSAGE_CONTAINER;
  resource.lpRemoteName = name.data();
  HANDLE handle = nullptr;
  if (WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEUSAGE_CONTAINER, &resource, &handle) != NO_ERROR)
    return out;
  std::vector<std::vector<char>> buffers;
  for (const NETRESOURCEA& r : enumerateAll(handle, buffers)) {
    if (r.dwDisplayType != RESOURCEDISPLAYTYPE_SERVER && r.dwDisplayType != RESOURCEDISPLAYTYPE_SHARE) continue;
    if (auto server = serverOf(r.lpRemoteName, "Browsed name ", " is this computer; skipped\r\n"))
      out.push_back(*server);
  }
  return out;
}

std::optional<std::string> Discovery::workgroup() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVnetsupKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    log_.write(kLogConnections, {"Unable to open ", kVnetsupKey, " in registry\r\n"});
    return std::nullopt;
  }
  char name[16] = {};
  DWORD type = 0, size = sizeof name;
  const LONG r = RegQueryValueExA(key, "Workgroup", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
  return std::string(name, strnlen(name, sizeof name));
}

void Discovery::connectIfNew(const std::string& name) {
  if (isOwnComputer(name) || servers_.find(name)) return;
  servers_.connect(name);
}

bool Discovery::run(const EnumerationOptions& options) {
  for (const auto& server : connectedServers()) connectIfNew(server);
  for (const auto& server : listEntries(options.servers)) connectIfNew(server);
  if (options.enumerateDomain)
    if (auto group = workgroup(); group && !group->empty())
      for (const auto& server : browse(*group)) connectIfNew(server);
  for (const auto& domain : listEntries(options.domains))
    for (const auto& server : browse(domain)) connectIfNew(server);
  std::lock_guard hold(servers_.listLock());
  const auto names = servers_.names();
  for (const auto& name : names)
    if (ServerEntry* e = servers_.find(name)) servers_.checkAdministrator(*e);
  for (const auto& name : names)
    if (ServerEntry* e = servers_.find(name); e && e->admin && !e->adminPipe) servers_.openAdminPipe(*e);
  return !names.empty();
}

std::int32_t Discovery::getLists(NETITEMPROC proc) {
  if (!proc) return NET_FAIL;
  for (const auto& [kind, value] : {std::pair{kListDomain, kValueDomains}, std::pair{kListServer, kValueServers}}) {
    for (const auto& name : listEntries(readList(value, log_).value_or(""))) {
      if (name.size() > kNameLimit) {
        log_.write(kLogConnections, {"List entry ", name, " is longer than 15 characters; skipped\r\n"});
        continue;
      }
      std::uint8_t entry[kListEntrySize] = {kind};
      std::memcpy(entry + 1, name.data(), name.size());
      proc(entry, kListEntrySize);
    }
  }
  return NET_OKAY;
}

std::int32_t Discovery::getFlags(void* buffer, std::uint16_t* length) {
  if (!buffer || (length && *length < 2)) return NET_FAIL;
  auto options = readEnumerationOptions(log_);
  if (!options) return NET_FAIL;
  auto* b = static_cast<std::uint8_t*>(buffer);
  b[0] = static_cast<std::uint8_t>(options->enumerateDomain);
  b[1] = static_cast<std::uint8_t>(options->onlyQueues);
  if (length) *length = 2;
  return NET_OKAY;
}

std::int32_t Discovery::addName(const void* buffer, std::uint32_t length) {
  const auto entry = listEntryOf(buffer, length);
  if (!entry || entry->second.empty()) return NET_FAIL;
  const char* value = entry->first == kListServer ? kValueServers : kValueDomains;
  const auto text = readList(value, log_);
  if (!text) return NET_FAIL;
  auto entries = listEntries(*text);
  if (listHas(entries, entry->second)) return NET_OKAY;
  entries.push_back(entry->second);
  const std::string added = joinEntries(entries);
  if (added.size() >= kListBytes) {
    log_.write(kLogConnections, {"List ", value, " has no room for ", entry->second, "\r\n"});
    return NET_FAIL;
  }
  return writeList(value, added) ? NET_OKAY : NET_FAIL;
}

std::int32_t Discovery::removeName(const void* buffer, std::uint32_t length) {
  const auto entry = listEntryOf(buffer, length);
  if (!entry) return NET_FAIL;
  const bool server = entry->first == kListServer;
  const char* value = server ? kValueServers : kValueDomains;
  const auto text = readList(value, log_);
  if (!text) return NET_FAIL;
  auto entries = listEntries(*text);
  const auto it = std::find_if(entries.begin(), entries.end(), [&](const std::string& e) { return sameName(e, entry->second); });
  if (it == entries.end()) return NET_OKAY;
  entries.erase(it);
  if (!writeList(value, joinEntries(entries))) return NET_FAIL;
  if (server) {
    if (!listHas(connectedServers(), entry->second)) drop(entry->second);
  } else {
    dropServersOf(entry->second);
  }
  return NET_OKAY;
}

std::int32_t Discovery::setFlags(const void* buffer, std::uint32_t length) {
  if (!buffer || length < 2) return NET_FAIL;
  const auto* b = static_cast<const std::uint8_t*>(buffer);
  const bool domainWritten = writeDword(kValueEnumerateDomain, b[0]);
  if (domainWritten && b[0] == 0)
    if (auto group = workgroup(); group && !group->empty()) dropServersOf(*group);
  const bool queuesWritten = writeDword(kValueOnlyQueues, b[1]);
  return domainWritten && queuesWritten ? NET_OKAY : NET_FAIL;
}

void Discovery::dropServersOf(const std::string& container) {
  const auto listed = listEntries(readList(kValueServers, log_).value_or(""));
  const auto connected = connectedServers();
  for (const auto& server : browse(container))
    if (!listHas(listed, server) && !listHas(connected, server)) drop(server);
}

void Discovery::drop(const std::string& name) {
  ServerEntry* e = servers_.find(name);
  if (!e) return;
  const std::string gone = e->name;
  servers_.remove(*e);
  if (dropped_) dropped_(gone);
}

}  // namespace wf::corlink
