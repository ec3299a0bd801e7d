#pragma once
// A printer model as data: what a simulated printer says about itself.
// Profiles are text files under sim/profiles; the format is in sim/README.md.
#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace wf::sim {

enum class NpaMode { Off, On, Auto };

struct InputSource {
  std::uint8_t id = 0;
  std::uint32_t capacity = 0;
  std::uint8_t paperType = 0;
  std::uint8_t formSize = 0;
  std::string name;
};

struct OutputBin {
  std::uint8_t id = 0;
  std::uint8_t type = 0;
  std::uint32_t capacity = 0;
  std::uint8_t flags1 = 0;
  std::uint8_t flags2 = 0;
  std::string name;
};

// A file on a disk or flash device; size in the device's units (those of its
// storage text).
struct StoredFile {
  std::string name, id, type;
  std::uint32_t size = 0;
  std::string description;
};

struct StorageDevice {
  std::uint32_t capacity = 0;
  std::vector<StoredFile> files;  // listed in this order
};

// A port whose jobs the printer may hold in the disk's buffer partition. A
// change sets `set`; a power-on reset makes it `active`. Bytes as the summary
// sends them (non-zero is on).
struct BufferedPort {
  std::uint8_t kind = 0;
  std::uint8_t active = 0;
  std::uint8_t set = 0;
};

// The alert lists answered to the device-status family of requests, by the
// request's sub-code (5 paper jams .. 10 supplies).
constexpr int kFirstAlertList = 5;
constexpr int kAlertListCount = 6;

struct Profile {
  std::string family;  // Meridian, Tidewater, Keystone, Halcyon or Generic
  std::string deviceId;
  NpaMode npa = NpaMode::On;
  bool pjlSilent = false;  // ignores PJL queries, answers only packets

  std::string model, revision, serial;
  std::uint8_t summaryByte2 = 0, duplex = 0, speed = 0;
  std::uint32_t memoryBytes = 0;
  std::uint16_t maxPacket = 0;

  std::array<std::uint8_t, 3> status{};
  std::vector<InputSource> inputs;
  std::vector<OutputBin> outputs;
  std::vector<std::string> storage;
  std::vector<std::pair<std::uint8_t, std::uint32_t>> pageCounts;
  std::vector<std::string> inputStatus;                              // 3-byte records {s, v, t}
  std::vector<std::string> outputStatus;                             // 3-byte records
  std::vector<std::string> suppliesStatus;                           // 4-byte records
  std::array<std::vector<std::string>, kAlertListCount> alertLists;  // {a b c d, d bytes}
  std::string panelText;  // padded or cut to the panel's 80 bytes when served

  std::map<std::uint16_t, std::string> omVars;
  std::map<std::uint16_t, std::string> miscVars;
  std::set<std::uint16_t> miscErrors;  // answered with the error flag

  // Resource-management devices by number (1 disk, 2 flash); absent ones are
  // not installed. The storage texts above are served as written.
  std::map<std::uint8_t, StorageDevice> devices;

  // Job buffering: the disk's buffer partition in percent, and the ports.
  std::uint8_t bufferPartition = 0;
  std::vector<BufferedPort> bufferedPorts;
};

// Parses profile text. Empty with *error ("line N: ...") on the first bad line.
std::optional<Profile> parseProfile(std::string_view text, std::string* error = nullptr);
// Applies one "key = value" line of the profile format to `profile`.
bool applyProfileLine(Profile& profile, std::string_view key, std::string_view value,
                      std::string* error = nullptr);
std::optional<Profile> loadProfile(const std::filesystem::path& path, std::string* error = nullptr);

// A value as profiles and scenarios write it: "text" (escapes \\ \" \n \r \xNN)
// or hexadecimal bytes separated by blanks.
std::optional<std::string> parseValue(std::string_view text);

}  // namespace wf::sim
