#pragma once
// The TCP/IP information items (protocol bit 2) as the configuration UI and
// the IP transport exchange them: the workstation's adapter list (items 1-5,
// printer 0xFFFF), an adapter's host record (10), the firmware download
// (11-13) and the SNMP trap destinations (14, 15). Records are packed and
// little-endian; those with strings start with a uint32 counting the bytes
// after it. Readers never look past the bytes they are given.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace wf::net {

enum IpItem : std::uint16_t {
  kItemIpAdapterList = 1,     // get: one callback per adapter
  kItemIpAddAdapter = 2,      // set
  kItemIpChangeAdapter = 3,   // set, 148 bytes
  kItemIpRemoveAdapter = 4,   // set, 148 bytes
  kItemIpConfigClosed = 5,    // set, no data
  kItemIpHost = 10,           // get / set
  kItemIpFlashBegin = 11,     // set, no data
  kItemIpFlashBlock = 12,     // set
  kItemIpFlashEnd = 13,       // set, no data
  kItemIpTrapList = 14,       // get
  kItemIpTrapEntry = 15,      // get / set
};

// Set answers that are not failures.
constexpr std::uint16_t kIpAdapterNotFound = 0xFBB4;  // item 2: added, though not on the network
constexpr std::uint16_t kIpDuplicateHost = 0xFB8C;    // item 10: another adapter has the name

constexpr std::uint16_t kIpChangeRecordLength = 148;  // items 3 and 4, whatever the strings
constexpr std::uint16_t kIpHostRecordLength = 100;    // item 10 get buffer
constexpr std::size_t kIpFlashBlockMax = 512;
constexpr std::size_t kIpTrapDestinations = 64;

// Longest strings a list entry may carry (the receiving node's fields).
constexpr std::size_t kIpPortNameMax = 9;
constexpr std::size_t kIpHostNameMax = 80;
constexpr std::size_t kIpCommunityMax = 31;

using IpAddress = std::array<std::uint8_t, 4>;  // dotted order

// IPADAPTERENTRY: length, ipAddress, portName, hostName, community.
struct IpAdapterEntry {
  IpAddress address{};
  std::string portName;  // empty when no port uses the adapter
  std::string hostName;
  std::string community;
};

#pragma pack(push, 1)

struct IPADAPTERENTRYHEAD {
  std::uint32_t length;  // 4 + the three strings with their terminators
  std::uint8_t ipAddress[4];
};

struct IPHOSTRECORDHEAD {
  std::uint32_t length;  // strlen(hostName) + 5
  std::uint8_t ipAddress[4];
};

struct IPTRAPLIST {  // item 14
  std::uint32_t length;
  std::uint16_t count;  // destinations in use
  std::uint8_t destination[kIpTrapDestinations][4];  // fourth byte 0: undefined
};

struct IPTRAPENTRY {  // item 15
  std::uint32_t index;  // 0 to 63
  std::uint8_t ipAddress[4];
  std::uint32_t conditionMask;
};

#pragma pack(pop)

static_assert(sizeof(IPADAPTERENTRYHEAD) == 8);
static_assert(sizeof(IPHOSTRECORDHEAD) == 8);
static_assert(sizeof(IPTRAPLIST) == 262);
static_assert(offsetof(IPTRAPLIST, destination) == 6);
static_assert(sizeof(IPTRAPENTRY) == 12);
static_assert(offsetof(IPTRAPENTRY, conditionMask) == 8);

// The entry's bytes; `length` as the record's rule gives it.
std::vector<std::uint8_t> buildIpAdapterEntry(const IpAdapterEntry& entry);
// Item 2's request length: 11 + host name + community (the port name is empty).
std::uint16_t ipAddRequestLength(const IpAdapterEntry& entry);
// Items 3 and 4: the entry at the start of 148 zero-filled bytes; empty when
// the entry does not fit.
std::vector<std::uint8_t> buildIpChangeRecord(const IpAdapterEntry& entry);
// Null when the bytes hold no whole entry: a string unterminated inside them,
// `length` disagreeing with the strings, or a string longer than the
// receiving node holds.
std::optional<IpAdapterEntry> readIpAdapterEntry(std::span<const std::uint8_t> bytes);

struct IpHostRecord {
  IpAddress address{};
  std::string hostName;
};
std::vector<std::uint8_t> buildIpHostRecord(const IpHostRecord& record);
// Null when the name does not end inside the bytes or `length` disagrees.
std::optional<IpHostRecord> readIpHostRecord(std::span<const std::uint8_t> bytes);

// Flash block (item 12): uint16 count, then count bytes of the file.
std::vector<std::uint8_t> buildIpFlashBlock(std::span<const std::uint8_t> data);
// Null when the count exceeds 512 or the bytes given.
std::optional<std::vector<std::uint8_t>> readIpFlashBlock(std::span<const std::uint8_t> bytes);

// "a.b.c.d"
std::string dottedAddress(const IpAddress& address);
// Four decimal numbers 0-255 joined by dots, nothing else.
std::optional<IpAddress> parseDottedAddress(std::string_view text);

}  // namespace wf::net
