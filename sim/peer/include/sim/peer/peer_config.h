#pragma once
// What a simulated peer computer shares and how it misbehaves: the lines
// "PEER1.<key> = <value>" of the scenario's [peers] section.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wf::sim::peer {

// "PEER1.printer = LASER | 7 | 0003 | meridian-vireo10.profile"
struct PeerPrinterConfig {
  std::string share;  // one share name, or several separated by ","
  std::uint16_t id = 0;
  std::uint16_t flags = 0;  // hexadecimal in the scenario
  std::string profile;
};

struct PeerKnobs {
  bool silent = false;          // transactions get no answer while set
  std::uint32_t delayMs = 0;    // before each answer (system ms)
  bool enumFails = false;       // "EnumPrinters" refused
  std::optional<std::int32_t> count;         // "EnumPrinters" tells this count
  std::optional<std::uint32_t> listFailsAt;  // "ListPrinters" of this index refused
  int pokeFails = 0;                         // so many next "WriteData" pokes refused
  std::optional<std::uint16_t> replyStatus;  // every write reply carries this status
  bool replyBeyond = false;                  // write replies count more bytes than they hold
  bool shortAdvise = false;                  // alerts count more bytes than they hold
  bool unterminatedShare = false;            // printer records without the share's terminator
};

struct PeerConfig {
  std::vector<PeerPrinterConfig> printers;
  PeerKnobs knobs;
  bool down = false;  // its service is not registered
};

// Applies one setting (the key after "PEER1."); false with *error for an
// unknown key or a malformed value.
bool applyPeerSetting(PeerConfig& config, std::string_view key, std::string_view value, std::string* error);

}  // namespace wf::sim::peer
