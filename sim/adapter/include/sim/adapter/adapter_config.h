#pragma once
// A network print adapter as data: what a simulated adapter is, which ports
// it has and what its variables hold, plus the fault knobs a test turns.
// Adapter files (sim/profiles/*.adapter) and scenario lines share one
// "key = value" syntax; the keys are in sim/adapter/README.md.
#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wf::sim::adapter {

using Bytes = std::vector<std::uint8_t>;
using Node = std::array<std::uint8_t, 6>;

enum class Kind { MultiPort, SinglePort, External7390 };

struct PortConfig {
  bool enabled = true;
  bool busy = false;
  std::uint16_t polling = 30;
  std::string printServer;
  std::string printServer2;    // single-port: the second print server
  std::uint16_t polling2 = 0;  // single-port: the second polling word
  Bytes settings;  // 7390: the port block's settings from its byte 2 (serial 16, parallel 6 bytes)
  std::string printerProfile;  // the printer behind an NPA port, by profile file name
};

struct Knobs {
  bool silent = false;
  std::uint32_t delayMs = 0;
  std::uint8_t commandStatus = 0;            // "Command Received" status byte
  bool ignoreFlag = false;                   // "LPA Parameters" flags bit 6
  std::optional<Node> identityNode;          // another node in the identity block
  bool errorFlag = false;                    // on every variable reply
  std::vector<std::uint16_t> fragmentOrder;  // reply in these fragments, sent in this order
  std::uint32_t answerFrom = 1;              // the first parameter query answered (1: every one)
  bool garbage = false;                      // noise instead of each reply
  bool lengthBeyond = false;                 // length fields name more bytes than sent
  bool oversize = false;                     // replies padded past 512 bytes
  enum class PortBlockFault { None, Empty, PastEnd } portBlock = PortBlockFault::None;
  // The data channels:
  std::uint32_t dataDelayMs = 0;  // each answer that much later
  enum class AlertShape { Whole, Fragment, NumberedOne } alertShape = AlertShape::Whole;
  int replyFromPort = 0;  // answers leave from this port's channel (0: their own)
  // Restarts and settings:
  bool noRestart = false;                         // a restarting adapter stays down
  bool flashSequenceError = false;                // flash writes echo another sequence number
  std::map<std::string, std::uint8_t> statusFor;  // a status byte per text command tag
  std::optional<std::uint8_t> listingCount;       // "LPA Server Listing" count byte
  std::optional<std::uint8_t> serverBlock;        // block number of both "LPA Defined Servers" datagrams
  // The IPX side (corlink-ipx = 1), packets counted from 1:
  bool noAck = false;                // no acknowledgement at all
  std::uint32_t ackDelayMs = 0;      // each acknowledgement that much later
  std::uint32_t dropAck = 0;         // the k-th acknowledgement is not sent
  std::uint32_t paceOff = 0;         // the k-th data packet's acknowledgement asks for a pause
  std::uint32_t paceOnAfterMs = 0;   // ... ended this much later
  std::uint32_t dataLost = 0;        // the k-th data packet dropped, acknowledged 0x81
  bool npaError = false;             // the NPA enumeration reply flagged 0x80
  enum class EntryLength { Ok, Zero, PastEnd } entryLength = EntryLength::Ok;  // "LPA Parameters2" entry
  bool nameUnterminated = false;     // "LPA Parameters2" name field without NUL
  std::uint32_t alertPieces = 1;     // alerts split into this many "LPA DSA" datagrams
  enum class AlertTag { Dsa, Intervention, ProgramCheck } alertTag = AlertTag::Dsa;
  std::uint32_t refuseCapture = 0;   // the next k captures refused
};

struct AdapterConfig {
  Kind kind = Kind::MultiPort;
  std::array<std::uint8_t, 4> network{0, 0, 0, 1};
  std::optional<Node> ipxNode;  // canonical; the universal address when unset
  std::uint8_t media = 2;
  Node universal{};            // canonical
  std::string name;            // at most 24 characters
  std::uint8_t printMode = 1;  // 1 PSERVER
  bool nvram = false;
  bool powerOnReset = false;
  bool npa = true;          // single-port: NPA on
  bool serialPort = false;  // multi-port: serial port 0
  std::string modelTag;     // single-port, EBCDIC in the reply
  std::string product, model, machineType, level;
  std::string secondName;  // single-port identity block
  std::array<std::uint8_t, 3> firmware{1, 0, 0};
  std::string password;
  std::uint8_t language = 1;              // text-command adapters: the language code
  std::vector<std::string> servers;       // file servers serviced, at most 16
  std::array<std::uint8_t, 8> advance{};  // the "LPA Advance Settings" block from its byte 21
  std::uint32_t restartMs = 5000;
  bool corlinkIpx = false;    // answers on IPX sockets 0x861E and 0x861F too
  bool flashCapable = false;  // bit 0x40 of "LPA Parameters2" byte 108 or of variable 6.2
  std::map<int, PortConfig>
      ports;  // multi-port: 0 serial, 1.. parallel; 7390: 0 serial, 1 parallel; single: 1
  std::map<std::pair<std::uint8_t, std::uint8_t>, Bytes> variables;  // set explicitly
  Knobs knobs;
};

// Applies one "key = value" line; false with *error.
bool applyAdapterLine(AdapterConfig& config, std::string_view key, std::string_view value,
                      std::string* error = nullptr);
// A key's value as the adapter now holds it, in the syntax its line takes
// (texts quoted, bytes as blank-separated hex, addresses as one hex run);
// null with *error for a key that cannot be shown.
std::optional<std::string> adapterKeyText(const AdapterConfig& config, std::string_view key,
                                          std::string* error = nullptr);
std::optional<AdapterConfig> parseAdapter(std::string_view text, std::string* error = nullptr);
std::optional<AdapterConfig> loadAdapter(const std::filesystem::path& file, std::string* error = nullptr);

// Canonical to token-ring order and back: the same bytes for media 1, each
// byte bit-reversed otherwise.
Node tokenRingOrder(const Node& canonical, std::uint8_t media);

}  // namespace wf::sim::adapter
