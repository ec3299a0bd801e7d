#pragma once
// Where things sit in the datagrams the maker's adapters exchange with a
// workstation over IPX. Header-only: the adapter simulator shares these
// numbers and nothing else, so its own reading and building checks the
// transports' code.
#include <cstddef>
#include <cstdint>

namespace wf::adapter {

// ---- IPX -----------------------------------------------------------------------------
constexpr std::uint8_t kPacketType = 17;
constexpr std::uint16_t kCommandSocket = 0x83C1;      // text commands, discovery broadcast
constexpr std::uint16_t kVariableSocket = 0x861C;     // NPA variable reads and writes
constexpr std::uint16_t kDataChannelSocket = 0x862C;  // + port number
constexpr std::uint16_t dataChannelSocket(unsigned port) {
  return static_cast<std::uint16_t>(kDataChannelSocket + port);
}
constexpr std::size_t kReplyBuffer = 512;
constexpr std::size_t kLongReplyBuffer = 4096;

// ---- Text commands ---------------------------------------------------------------------
constexpr std::size_t kTagField = 21;         // NUL-padded tag, compared over these bytes only
constexpr std::size_t kDatalessCommand = 22;  // tag field and one byte
constexpr std::uint8_t kQueryMarker = 0x3C;   // byte 21 of "Query LPA Parameters"
constexpr std::size_t kTextData = 21;         // first data byte

inline constexpr char kTagQueryParameters[] = "Query LPA Parameters";
inline constexpr char kTagSetParameters[] = "Set LPA Parameters";
inline constexpr char kTagControl[] = "Control LPA";
inline constexpr char kTagPollingControl[] = "LPA Polling Control";
inline constexpr char kTagQueryServers[] = "LPA Query Servers";
inline constexpr char kTagSetServers[] = "LPA Set Servers";
inline constexpr char kTagListServers[] = "List LPA Servers";
inline constexpr char kTagQueryAdvance[] = "LPA Query Advance";
inline constexpr char kTagAdvanceSettings[] = "LPA Advance Settings";
inline constexpr char kTagUpdateNvram[] = "LPA Update NVRAM";
inline constexpr char kTagPowerOnReset[] = "LPA POR";
inline constexpr char kTagResetLpa[] = "LPA Reset LPA";
inline constexpr char kTagFlashOpen[] = "LPA Flash Open";
inline constexpr char kTagFlashWrite[] = "LPA Flash Write";
inline constexpr char kTagFlashClose[] = "LPA Flash Close";
// Replies
inline constexpr char kTagParameters[] = "LPA Parameters";
inline constexpr char kTagKestrelParameters[] = "LPA KESTREL Parameters";  // 22 characters: only 21 are sent
inline constexpr char kTagServerListing[] = "LPA Server Listing";
inline constexpr char kTagDefinedServers[] = "LPA Defined Servers";
inline constexpr char kTagFlashResponse[] = "LPA Flash Response";
inline constexpr char kTagCommandReceived[] = "Command Received";

constexpr std::size_t kStatusByte = 21;      // "Command Received", "LPA Flash Response"
constexpr std::uint8_t kStatusRefused = 11;  // -1150
constexpr std::size_t kFlashSequence = 22;   // echoed sequence number, host order

// "Control LPA" item ids
constexpr std::uint8_t kItemLanguage = 42, kItemAddress = 43, kItemPrintMode = 44, kItemLoginName = 47,
                       kItemNameSlot = 48, kItemProgramMode = 77;
constexpr std::size_t kLoginNameField = 44, kNameSlotField = 48;

// ---- "LPA Parameters" (multi-port NPA adapter) -----------------------------------------
namespace multiport {
constexpr std::size_t kLength = 21;  // uint16 big-endian
constexpr std::size_t kName = 29;    // NUL-terminated, 44 bytes
constexpr std::size_t kNameField = 44;
constexpr std::size_t kPrintMode = 75;  // 1 PSERVER
constexpr std::size_t kFlags = 76;
constexpr std::size_t kPortMask = 77;  // bit n: port n (port 0 the serial port)
constexpr std::size_t kBusyMask = 78;
constexpr std::size_t kKept = 79;   // 79-81, kept with the adapter
constexpr std::size_t kMedia = 82;  // bit 0 set: token ring
constexpr std::size_t kNode = 84;   // 84-89, token-ring order
constexpr std::size_t kReplySize = 90;
constexpr std::uint8_t kFlagIgnore = 0x40, kFlagNvram = 0x80;
}  // namespace multiport

// ---- "LPA KESTREL Parameters" (single-port and 7390 adapters) --------------------------
namespace kestrel {
constexpr std::size_t kLength = 21;  // uint16 big-endian: end offset of the port-block area
constexpr std::size_t kBlock = 23;   // the 88-byte parameter block B
constexpr std::size_t kBlockSize = 88;
constexpr std::size_t kKeptWord = 111;  // uint16 kept with it
constexpr std::size_t kPortBlocks = 113;
constexpr std::size_t kMaxPortBlock = 137;

// Offsets into B
constexpr std::size_t kAddress = 0;        // 6 bytes, token-ring order ("block address" of a 7390)
constexpr std::size_t kName = 6;           // NetWare login name, 44 bytes
constexpr std::size_t kMedia = 50;         // low four bits; bit 7 clear: feature bit 0
constexpr std::size_t kPrintMode = 52;     // 1 PSERVER
constexpr std::size_t kFlags = 53;         // bit 7 NVRAM-based, bit 5 power-on reset allowed
constexpr std::size_t kFirmwareFlag = 58;  // 7390: 17 gives ".01", else ".03"
constexpr std::size_t kVersion = 60;       // 3 bytes
constexpr std::size_t kProduct = 63;       // 7 EBCDIC
constexpr std::size_t kMachineType = 70;   // 4 EBCDIC (7390)
constexpr std::size_t kModel = 74;         // 3 EBCDIC (7390)
constexpr std::size_t kLevel = 77;         // 3 EBCDIC (7390)
constexpr std::size_t kModelTag = 81;      // 7 EBCDIC (single-port)
constexpr std::uint8_t kFlagNvram = 0x80, kFlagPowerOnReset = 0x20;

// Port blocks: [0] length (counting itself), [1] kind, then the port's data.
constexpr std::uint8_t kKindSinglePort = 0x10;    // 0x10-0x1F
constexpr std::uint8_t kKindSerial7390 = 0x40;    // 0x40-0x4F
constexpr std::uint8_t kKindParallel7390 = 0x80;  // 0x80-0x8F
constexpr std::uint8_t kKindIdentityWithSecondName = 0x49;

// Single-port port block
constexpr std::size_t kSinglePolling = 2;        // uint16
constexpr std::size_t kSingleFlags = 6;          // bit 0 enabled (busy), bit 7 NPA on
constexpr std::size_t kSinglePrintServer = 7;    // 48
constexpr std::size_t kSinglePrintServer2 = 55;  // 48
constexpr std::size_t kSingleBlockSize = 103;

// Identity block after a single-port adapter's port block
constexpr std::size_t kIdentityName = 2;   // up to byte 33
constexpr std::size_t kIdentityNode = 34;  // 34-39
constexpr std::size_t kIdentitySecondName = 40;
constexpr std::size_t kIdentityNameField = 32;
constexpr std::size_t kIdentityWhole = 40;  // shortest block read

// 7390 serial block
constexpr std::size_t kSerialVar5 = 2;   // uint16
constexpr std::size_t kSerialVar6 = 4;   // uint16
constexpr std::size_t kSerialVar7 = 6;   // vars 7-14 one byte each
constexpr std::size_t kSerialVar3 = 14;  // uint16
constexpr std::size_t kSerialVar4 = 16;  // uint16
constexpr std::size_t kSerialBusy = 18;
constexpr std::size_t kSerialPrintServer = 19;  // 48
constexpr std::size_t kSerialPolling = 67;      // uint16
constexpr std::size_t kSerialEnabled = 69;
constexpr std::size_t kSerialBlockSize = 70;

// 7390 parallel block
constexpr std::size_t kParallelVar5 = 2;
constexpr std::size_t kParallelVar6 = 3;
constexpr std::size_t kParallelVar3 = 4;  // uint16
constexpr std::size_t kParallelVar4 = 6;  // uint16
constexpr std::size_t kParallelBusy = 8;
constexpr std::size_t kParallelPrintServer = 9;  // 48
constexpr std::size_t kParallelPolling = 57;     // uint16
constexpr std::size_t kParallelEnabled = 59;
constexpr std::size_t kParallelBlockSize = 60;
}  // namespace kestrel

// ---- "LPA Server Listing" ------------------------------------------------------------------
namespace listing {
constexpr std::size_t kCount = 21;
constexpr std::size_t kNames = 22;
constexpr std::size_t kNameField = 48;
constexpr std::size_t kFirstDatagramNames = 5;
constexpr std::size_t kFirstDatagram = kNames + kFirstDatagramNames * kNameField;  // 262
}  // namespace listing

// ---- NPA packets ---------------------------------------------------------------------------
constexpr std::uint8_t kNpaStart = 0xA5;
constexpr std::size_t kNpaHeader = 5;  // start, length (big-endian, bytes after it), flags, command
constexpr std::uint8_t kNpaError = 0x80, kNpaControl = 0x40, kNpaMore = 0x20, kNpaReply = 0x10;
constexpr std::uint8_t kVariableRequestFlags = 0x50;
constexpr std::uint8_t kVariableCommand = 0xE0;
constexpr std::uint8_t kVariableMarker = 0xD7;
constexpr std::uint8_t kModeRead = 0, kModeWrite = 1;
constexpr std::uint8_t kWholeGroup = 255;
constexpr std::size_t kVariableHeader = 7;  // NPA header, marker, mode
constexpr std::size_t kFragmentHeader = 2;  // low 12 bits: fragment number, big-endian
constexpr std::uint16_t kFragmentNumberMask = 0x0FFF;
constexpr std::size_t kMaxFragments = 32;
constexpr std::size_t kFragmentArea = 2048;

// Variables with a fixed meaning
namespace var {
constexpr std::uint8_t kAdapterGroup = 6, kCorLinkGroup = 7, kNetWareGroup = 8, kAppleTalkGroup = 9,
                       kTcpIpGroup = 10, kNpaModeGroup = 11, kFirstParallelGroup = 129, kSerialGroup = 144;
constexpr std::uint8_t kUniversalAddress = 0, kAddress = 1, kMedia = 2, kEndOfJob = 4, kProduct = 5,
                       kModel = 6, kFirmware = 7, kContact = 10, kLocation = 11, kPassword = 13, kReset = 14;
constexpr std::uint8_t kNwSave = 63, kNwReset = 64;
}  // namespace var

// ---- CORIPX32: the adapters' own IPX datagrams ----------------------------------------------
namespace coripx {
constexpr std::uint16_t kQuerySocket = 0x861E;  // enumeration and parameter queries
constexpr std::uint16_t kDataSocket = 0x861F;   // everything else, and the NPA enumeration
constexpr std::uint8_t kPacketType = 4;
constexpr std::size_t kDatagramBuffer = 1024;  // what one receive takes
constexpr std::size_t kLargestPacket = 4136;

// Header, byte 0
constexpr std::uint8_t kAck = 0x80, kResent = 0x40, kPaceOff = 0x04, kDataLostBits = 0x03;
// Header, byte 1: functions sent, and the consumer bits of replies
constexpr std::uint8_t kFnControl = 8, kFnRequest = 9, kFnJobData = 16, kFnJobInfo = 24, kFnOpenJob = 48,
                       kFnEndJob = 80;
constexpr std::uint8_t kReplyAlert = 0x02, kReplyQuery = 0x04, kReplyJob = 0x10;
// Header offsets
constexpr std::size_t kKind = 0, kFunction = 1, kPort = 2, kNumber = 3, kMagic = 4, kVersion = 6;
constexpr std::uint8_t kMagic0 = 0xCA, kMagic1 = 0xFE, kVersionByte = 3;
constexpr std::size_t kHeader = 10;
constexpr std::size_t kShortHeader = 4;
// Byte 2, high nibble: addressing forms
constexpr std::uint8_t kFormLpa = 0x10, kFormPort0 = 0x20, kFormPorts1To5 = 0x30;
constexpr std::uint8_t kFormLpaKind = 0xD0, kFormOwnPort = 0xE0, kFormPort1 = 0xF1, kFormPort2 = 0xF2,
                       kFormOtherKind = 0xC6;
constexpr std::uint8_t kFormDataBit = 0x40;  // cleared for data and job packets
constexpr std::uint8_t kNibbleAdapter = 6;   // acknowledgements of the adapter as a whole
// Numbers of enumeration queries and their replies
constexpr std::uint8_t kGlobalNumber = 0, kSpecificNumber = 0xFF;

// Tagged packets
constexpr std::size_t kTag = 10;      // 21 bytes
constexpr std::size_t kLength = 31;   // uint16 big-endian, counts itself and the data
constexpr std::size_t kData = 33;
constexpr std::size_t kMoreFlag = 36;  // the NPA packet's flags byte
// Short form ("Query LPA Parameters" and "LPA Parameters2")
constexpr std::size_t kShortTag = 4;
constexpr std::size_t kShortLength = 25;
constexpr std::size_t kShortData = 27;
constexpr std::size_t kShortMoreFlag = 30;
constexpr std::size_t kShortQuery = 26;
constexpr std::uint8_t kShortQueryMarker = 0x30;  // byte 25

inline constexpr char kTagQuery[] = "Query LPA Parameters";
inline constexpr char kTagParameters2[] = "LPA Parameters2";
inline constexpr char kTagNpa[] = "LPA NPA";
inline constexpr char kTagReject[] = "Command Reject";
// Unsolicited: alerts (function bit 0x02) and a job's back channel (0x10)
inline constexpr char kTagDsa[] = "LPA DSA";
inline constexpr char kTagIntervention[] = "LPA Intervention Req";
inline constexpr char kTagProgramCheck[] = "LPA Program Check";
inline constexpr char kTagBackChannel[] = "LPA BackChannelData";
constexpr std::size_t kAlertPieces = 10;
// The job path: capture and release, the job's description, the adapter's
// own NPA packets of a job (control flag, command 0xE0 or 0x05)
inline constexpr char kTagControl[] = "Control LPA";
inline constexpr char kTagControlAccept[] = "LPA Control Accept";
inline constexpr char kTagControlReject[] = "LPA Control Reject";
inline constexpr char kTagJobInfo[] = "Set LPA Job Info";
inline constexpr char kTagJobInfoAccept[] = "LPA Job Info Accept";
inline constexpr char kTagJobInfoReject[] = "LPA Job Info Reject";
constexpr std::size_t kControlPacket = 35;
constexpr std::uint8_t kControlCommand0 = 0x04, kControlCapture = 0x1A;
constexpr std::uint16_t kBackChannelKey = 0xE030;  // pieces one alert is gathered from at most

// The send-more request's NPA packet, behind a kind-form header
inline constexpr std::uint8_t kSendMore[] = {0xA5, 0x00, 0x05, 0x40, 0x03, 0x05, 0x02, 0x00, 0x00};

// "LPA Parameters2", offsets from the datagram's start
namespace params2 {
constexpr std::size_t kPrefix = 0;  // 00 04 10 nn
constexpr std::size_t kNode = 28;
constexpr std::size_t kOtherAddress = 34;
constexpr std::size_t kName = 40;
constexpr std::size_t kMedia = 98;  // bit 0: media 1, node used as received
constexpr std::size_t kFeature = 108;
constexpr std::size_t kFirmware = 117;
constexpr std::size_t kProduct = 120;
constexpr std::size_t kModelTag = 127;  // 7 EBCDIC
constexpr std::size_t kModelTagSize = 7;
constexpr std::size_t kEntries = 136;
constexpr std::size_t kLengthBias = 21;  // end = length + 21
constexpr std::size_t kShortestEnd = 133;
constexpr std::size_t kReplySize = 139;
constexpr std::uint8_t kMediaAsIs = 0x01, kFeatureBit = 0x40;
constexpr std::uint8_t kEntryPortKind = 0x10, kEntryNpa = 0x40, kEntryPresent = 0x08;
inline constexpr char kClass16Tag[] = "RU_VA_1";
}  // namespace params2

// NPA enumeration reply entries
constexpr std::uint8_t kOwnPortGroup = 0x90, kPortGroupBase = 0x80, kModeGroup = 0x0B;
constexpr std::size_t kEnumerationQuery = 113;
constexpr std::size_t kEnumerationReply = 323;
}  // namespace coripx

}  // namespace wf::adapter
