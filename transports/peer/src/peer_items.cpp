// Items 1 to 4: the workgroups and computers the walk visits, and whether it
// walks the own workgroup. On the caller's thread; only the registry.
#include "peer_items.h"

#include <cstring>

#include "peer_transport.h"
#include "platform/byte_codec.h"
#include "platform/registry.h"

namespace wf::peer {
namespace {

constexpr std::uint16_t kItemList = 1;
constexpr std::uint16_t kItemAdd = 2;
constexpr std::uint16_t kItemRemove = 3;
constexpr std::uint16_t kItemDefaultWorkgroup = 4;
constexpr std::uint8_t kKindWorkgroup = 1;
constexpr std::uint8_t kKindComputer = 2;
constexpr DWORD kNameRead = 20;  // a listed name is read with at most this many bytes
constexpr std::size_t kEntryName = 16;

// Closes the key it holds.
struct PeerKey {
  HKEY key = nullptr;
  ~PeerKey() {
    if (key) RegCloseKey(key);
  }
  bool open(const char* path, REGSAM access) { return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key) == ERROR_SUCCESS; }
  bool create(const char* path) {
    return RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                           &key, nullptr) == ERROR_SUCCESS;
  }
  // The count value: DWORD-sized, with its type.
  std::optional<DWORD> count(const char* name, DWORD* type = nullptr) const {
    DWORD value = 0, size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        size != sizeof value)
      return std::nullopt;
    return value;
  }
  // How many values the key holds: no loop reads more names than that.
  DWORD values() const {
    DWORD n = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &n, nullptr, nullptr);
    return n;
  }
  // A name value read with at most `limit` bytes, up to its terminator.
  std::optional<std::string> name(const std::string& valueName, DWORD limit, DWORD* type = nullptr) const {
    std::vector<char> buffer(limit);
    DWORD size = limit;
    if (RegQueryValueExA(key, valueName.c_str(), nullptr, type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
        ERROR_SUCCESS)
      return std::nullopt;
    return std::string(buffer.data(), strnlen(buffer.data(), size));
  }
};

struct ListNames {
  const char* key;
  const char* count;
  const char* value;  // with %d
};

ListNames namesOf(PeerList list) {
  return list == PeerList::Computers ? ListNames{kComputersKey, "NumComp", "Computer%d"}
                                     : ListNames{kWorkgroupsKey, "NumWork", "WorkGroup%d"};
}

std::string valueName(const char* pattern, DWORD i) {
  char name[32];
  std::snprintf(name, sizeof name, pattern, static_cast<int>(i));
  return name;
}

std::optional<PeerList> listOfKind(std::uint8_t kind) {
  if (kind == kKindComputer) return PeerList::Computers;
  if (kind == kKindWorkgroup) return PeerList::Workgroups;
  return std::nullopt;
}

// A PEERENTRY's name: empty when the record is short or the name unterminated.
std::optional<std::string> entryName(const void* buffer, std::uint32_t length) {
  if (!buffer || length < kPeerEntryBytes) return std::nullopt;
  const char* name = static_cast<const char*>(buffer) + 1;
  const std::size_t n = strnlen(name, kEntryName);
  if (n == kEntryName) return std::nullopt;
  return std::string(name, n);
}

}  // namespace

void ensurePeerKeys() {
  PeerKey computers;
  if (computers.open(kComputersKey, KEY_QUERY_VALUE)) return;
  const DWORD zero = 0;
  const BYTE one = 1;
  PeerKey c, w, root;
  if (c.create(kComputersKey)) RegSetValueExA(c.key, "NumComp", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), 4);
  if (w.create(kWorkgroupsKey)) RegSetValueExA(w.key, "NumWork", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), 4);
  if (root.create(kCorPeerKey)) RegSetValueExA(root.key, "DoDefaultWorkGroup", 0, REG_BINARY, &one, 1);
}

bool readDoDefaultWorkgroup() {
  PeerKey root;
  if (!root.open(kCorPeerKey, KEY_QUERY_VALUE)) return false;
  BYTE value = 0;
  DWORD size = 1;
  return RegQueryValueExA(root.key, "DoDefaultWorkGroup", nullptr, nullptr, &value, &size) == ERROR_SUCCESS &&
         value != 0;
}

std::optional<std::vector<std::string>> readPeerNames(PeerList list) {
  const ListNames names = namesOf(list);
  PeerKey key;
  if (!key.open(names.key, KEY_QUERY_VALUE)) return std::nullopt;
  std::vector<std::string> out;
  const DWORD count = std::min(key.count(names.count).value_or(0), key.values());
  for (DWORD i = 1; i <= count; ++i) {
    auto name = key.name(valueName(names.value, i), kNameRead);
    if (name && !name->empty()) out.push_back(*name);
  }
  return out;
}

std::optional<std::vector<std::uint8_t>> peerAlertPacket(const std::vector<std::uint8_t>& alert) {
  constexpr std::size_t kHeader = 8;
  if (alert.size() < kHeader) return std::nullopt;
  const std::size_t n = loadLe16(&alert[2]);
  const std::uint32_t kind = loadLe32(&alert[4]);
  if (kHeader + n > alert.size()) return std::nullopt;
  std::vector<std::uint8_t> packet(n + 5, 0);
  packet[0] = 0xA5;
  const std::uint8_t* data = alert.data() + kHeader;
  if (kind == 1524) {
    if (n < 3) return std::nullopt;
    packet[2] = 0x05;
    packet[3] = 0x42;
    packet[4] = 0xFF;
    if (data[1] & 0x02) packet[5] |= 0x80;
    if (data[1] & 0x01) packet[5] |= 0x40;
    const std::uint8_t toB6[4][2] = {{0x08, 1}, {0x04, 2}, {0x02, 4}, {0x01, 8}};
    const std::uint8_t toB7[4][2] = {{0x80, 1}, {0x20, 2}, {0x40, 4}, {0x10, 8}};
    for (const auto& [bit, value] : toB6) {
      if (data[0] & bit) packet[6] |= value;
    }
    for (const auto& [bit, value] : toB7) {
      if (data[0] & bit) packet[7] |= value;
    }
  } else if (kind >= 1525 && kind <= 1529) {
    storeBe16(&packet[1], static_cast<std::uint16_t>(n + 2));
    packet[3] = 0x42;
    packet[4] = 0xF0;
    std::memcpy(&packet[5], data, n);
  }
  return packet;
}

std::int32_t PeerTransport::getInfo(std::uint16_t code, void* buffer, std::uint16_t* length, NETITEMPROC proc) {
  trace_.line(1, "Enter NetGetInfo()");
  if (code == kItemList) {
    if (!proc) return NET_FAIL;
    for (PeerList list : {PeerList::Computers, PeerList::Workgroups}) {
      const ListNames names = namesOf(list);
      PeerKey key;
      if (!key.open(names.key, KEY_QUERY_VALUE)) {
        if (list == PeerList::Computers) continue;
        break;
      }
      const DWORD count = std::min(key.count(names.count).value_or(0), key.values());
      for (DWORD i = 1; i <= count; ++i) {
        std::uint8_t entry[kPeerEntryBytes] = {};
        entry[0] = list == PeerList::Computers ? kKindComputer : kKindWorkgroup;
        DWORD size = kEntryName;
        if (RegQueryValueExA(key.key, valueName(names.value, i).c_str(), nullptr, nullptr, entry + 1, &size) !=
            ERROR_SUCCESS)
          continue;
        entry[kPeerEntryBytes - 1] = 0;
        proc(entry, kPeerEntryBytes);
      }
    }
    return NET_OKAY;
  }
  if (code == kItemDefaultWorkgroup) {
    PeerKey root;
    if (!root.open(kCorPeerKey, KEY_QUERY_VALUE)) {
      if (length) *length = 0;
      trace_.line(0, "Failed to open registry key for dodefaultworkgroup");
      return NET_FAIL;
    }
    if (buffer && length) {
      DWORD size = *length;
      if (RegQueryValueExA(root.key, "DoDefaultWorkGroup", nullptr, nullptr, static_cast<BYTE*>(buffer), &size) ==
          ERROR_SUCCESS)
        *length = static_cast<std::uint16_t>(size);
      return NET_OKAY;
    }
    BYTE value = 0;
    DWORD size = 1;
    if (RegQueryValueExA(root.key, "DoDefaultWorkGroup", nullptr, nullptr, &value, &size) != ERROR_SUCCESS) size = 0;
    if (proc) proc(&value, static_cast<std::uint16_t>(size));
    return NET_OKAY;
  }
  return NET_BADCMD;
}

std::int32_t PeerTransport::setInfo(std::uint16_t code, const void* buffer, std::uint32_t length) {
  trace_.line(1, "Enter NetSetInfo()");
  if (code == kItemAdd || code == kItemRemove) {
    auto name = entryName(buffer, length);
    if (!name) return NET_FAIL;
    auto list = listOfKind(*static_cast<const std::uint8_t*>(buffer));
    if (!list) return NET_OKAY;
    const ListNames names = namesOf(*list);
    PeerKey key;
    DWORD countType = REG_DWORD;
    if (!key.open(names.key, KEY_ALL_ACCESS)) return NET_FAIL;
    auto count = key.count(names.count, &countType);
    if (!count) return NET_FAIL;
    if (code == kItemAdd) {
      if (RegSetValueExA(key.key, valueName(names.value, *count + 1).c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(name->c_str()), static_cast<DWORD>(name->size() + 1)) ==
          ERROR_SUCCESS) {
        const DWORD more = *count + 1;
        RegSetValueExA(key.key, names.count, 0, countType, reinterpret_cast<const BYTE*>(&more), sizeof more);
      }
      return NET_OKAY;
    }
    const DWORD n = std::min(*count, key.values());
    for (DWORD i = 1; i <= n; ++i) {
      auto listed = key.name(valueName(names.value, i), kNameRead);
      if (!listed) return NET_OKAY;
      if (*listed != *name) continue;
      const DWORD fewer = *count - 1;
      RegSetValueExA(key.key, names.count, 0, countType, reinterpret_cast<const BYTE*>(&fewer), sizeof fewer);
      for (DWORD j = i; j < *count; ++j) {
        BYTE moved[kNameRead];
        DWORD size = sizeof moved, type = REG_SZ;
        if (RegQueryValueExA(key.key, valueName(names.value, j + 1).c_str(), nullptr, &type, moved, &size) !=
            ERROR_SUCCESS)
          break;
        RegSetValueExA(key.key, valueName(names.value, j).c_str(), 0, type, moved, size);
      }
      RegDeleteValueA(key.key, valueName(names.value, *count).c_str());
      if (*list == PeerList::Computers)
        announceComputer(*name);
      else
        announceWorkgroup(*name);
      return NET_OKAY;
    }
    return NET_OKAY;
  }
  if (code == kItemDefaultWorkgroup) {
    PeerKey root;
    if (!buffer || length < 1 || !root.open(kCorPeerKey, KEY_ALL_ACCESS)) return NET_FAIL;
    const BYTE value = *static_cast<const BYTE*>(buffer);
    RegSetValueExA(root.key, "DoDefaultWorkGroup", 0, REG_BINARY, &value, 1);
    if (value == 0) announceWorkgroup(ownWorkgroup_);
    return NET_OKAY;
  }
  return NET_BADCMD;
}

}  // namespace wf::peer
