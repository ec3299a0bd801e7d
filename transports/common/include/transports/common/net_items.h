#pragma once
// The information items of NetGetInfo and NetSetInfo that the adapter
// transports serve and the adapter configuration UI asks for, with their
// records. Records are packed and little-endian; where an adapter speaks
// big-endian the transport swaps.
#include <cstddef>
#include <cstdint>

namespace wf::net {

// ---- Item codes ------------------------------------------------------------------
enum NetItem : std::uint16_t {
  kItemNwSettings = 1,
  kItemNwResetProtocol = 2,
  kItemNwServersServiced = 3,
  kItemNwKnownServers = 4,
  kItemNwAdvanced = 5,
  kItemNwServiceQueues = 6,
  kItemNwQueues = 7,
  kItemNwCurrentServer = 8,  // with no port: the logged-in check
  kItemNwCreateQueue = 9,
  kItemNwDeleteQueue = 10,
  kItemNwAttachedServers = 11,
  kItemNwNoData12 = 12,
  kItemNwPrintServer = 13,
  kItemNwNoData14 = 14,
  kItemNwNoData15 = 15,
  kItemNwNoData16 = 16,
  kItemNwLogin = 17,
  kItemNwNetwork = 18,  // no port
  kItemNwStopQueues = 19,
  kItemNwDisablePorts = 20,
  kItemNwEnablePorts = 21,
  kItemAdapterParms = 129,
  kItemAdvanced = 130,
  kItemPassword = 131,
  kItemFlashBegin = 132,
  kItemFlashBlock = 133,
  kItemFlashEnd = 134,
  kItemAdapterInfo = 135,
  kItemReset = 136,
  kItemAddressCheck = 137,
};

// ---- Adapter classes, port types, media ------------------------------------------
enum AdapterClass : std::uint8_t {
  kClassSinglePort = 1,
  kClassMultiPort = 2,
  kClassMultiPortSerial = 4,
  kClass7390 = 8,
  kClassSinglePortRuVa1 = 16,  // single-port adapter whose model tag is "RU_VA_1"
};

enum PortType : std::uint8_t { kPortTypeSingle = 1, kPortTypeParallel = 2, kPortTypeSerial = 4 };

enum Media : std::uint8_t { kMediaTokenRing = 1, kMediaEthernet = 2 };

// NETADAPTERPARMS.Control
constexpr std::uint8_t kControlSupervisor = 0x17;
constexpr std::uint8_t kControlChangeAddress = 0x80;
// Advanced settings Control, ProtocolsActive / ProtocolsEnabled bits
constexpr std::uint8_t kAdvancedSupervisor = 12;
constexpr std::uint8_t kProtocolCorLink = 0x01, kProtocolNetWare = 0x02, kProtocolAppleTalk = 0x04,
                       kProtocolTcpIp = 0x08;

constexpr std::size_t kFlashSegment = 477;  // firmware bytes per flash write

#pragma pack(push, 1)

struct NETADAPTERPARMS {  // item 129
  std::uint8_t Control;
  std::uint8_t AdapterClass;
  std::uint8_t PortType;
  std::uint8_t Media;
  std::uint8_t NpapMode;
  std::uint8_t Features;
  std::uint8_t Address[6];
  std::uint8_t UniversalAddress[6];
  char Firmware[12];
  char ProductId[8];
  char ModelId[10];
  std::uint16_t SerialVar5;
  std::uint16_t SerialVar6;
  std::uint8_t SerialVar7;
  std::uint8_t SerialVar8;
  std::uint8_t SerialVar9;
  std::uint8_t SerialVar10;
  std::uint8_t SerialVar11;
  std::uint8_t SerialVar12;
  std::uint8_t SerialVar13;
  std::uint8_t SerialVar14;
  std::uint16_t SerialVar3;
  std::uint16_t SerialVar4;
  std::uint8_t ParallelVar5;
  std::uint8_t ParallelVar6;
  std::uint16_t ParallelVar3;
  std::uint16_t ParallelVar4;
};

struct NETADVANCEDSETTINGS {  // item 130
  std::uint8_t Control;
  std::uint8_t ProtocolsActive;
  std::uint8_t ProtocolsEnabled;
  std::uint8_t EndOfJobTimeout;
  std::uint8_t IpAddress[4];
  std::uint8_t IpNetmask[4];
  std::uint8_t IpGateway[4];
  char ContactName[64];
  char Location[64];
};

struct NETPASSWORD {  // item 131
  std::uint8_t Password[8];
};

struct NETFLASHBEGIN {  // item 132: as the caller gives them, host order
  std::uint16_t Values[3];
};

struct NETFLASHBLOCK {  // item 133: Length bytes of firmware follow
  std::uint16_t Length;
};

struct NICKNAMEENTRY {  // CORIPX32 items 1-4: a port and its CorLink nickname
  std::uint8_t Node[6];
  std::uint8_t AdapterClass;
  std::uint16_t PortKind;
  char AdapterName[80];
  char Nickname[80];
};

struct NETADAPTERINFO {  // item 135
  std::uint8_t AdapterClass;
  std::uint8_t PortType;
  std::uint8_t Media;
  std::uint8_t Supervisor;
  std::uint8_t Node[6];
};

struct NWSETTINGS {  // item 1
  std::uint8_t PortEnabled;
  std::uint8_t NvramAdapter;
  std::uint8_t PrintMode;  // 1 PSERVER, 2 RPRINTER
  std::uint16_t PollingInterval;
  std::uint8_t Language;
  std::uint8_t PortOptions;
  char LoginName[44];
  char PrintServer[48];
  char PrintServer2[48];
};

struct NWSERVERLIST {  // items 3, 4, 11
  std::uint16_t Count;
  std::uint8_t Flags[16];
  char Names[16][48];
};

struct NWQUEUELIST {  // items 6, 7, 19
  std::uint16_t Reserved;
  std::uint16_t Count;
  std::uint8_t Serviced[16];
  char Names[16][48];
};

struct NWADVANCED {  // item 5
  std::uint8_t Sap;
  std::uint8_t FrameTypes;
  std::uint8_t BroadcastType;
  std::uint8_t PacketOptions;
  std::uint16_t GsqWord1;
  std::uint16_t GsqWord2;
  std::uint16_t GsqWord3;
};

struct NWLOGIN {  // item 17
  char Server[48];
  char LoginName[48];
  char Password[48];
};

struct NWNETWORK {            // item 18
  std::uint8_t SearchMethod;  // 1 bindery, 2 local network, 4 single network
  char NetworkNumber[9];      // 8 hexadecimal digits
};

#pragma pack(pop)

static_assert(sizeof(NETADAPTERPARMS) == 70);
static_assert(offsetof(NETADAPTERPARMS, Firmware) == 18);
static_assert(offsetof(NETADAPTERPARMS, ModelId) == 38);
static_assert(offsetof(NETADAPTERPARMS, SerialVar5) == 48);
static_assert(offsetof(NETADAPTERPARMS, SerialVar3) == 60);
static_assert(offsetof(NETADAPTERPARMS, ParallelVar5) == 64);
static_assert(offsetof(NETADAPTERPARMS, ParallelVar4) == 68);
static_assert(sizeof(NETADVANCEDSETTINGS) == 144);
static_assert(offsetof(NETADVANCEDSETTINGS, ContactName) == 16);
static_assert(offsetof(NETADVANCEDSETTINGS, Location) == 80);
static_assert(sizeof(NETPASSWORD) == 8);
static_assert(sizeof(NETFLASHBEGIN) == 6);
static_assert(sizeof(NETFLASHBLOCK) == 2);
static_assert(sizeof(NETADAPTERINFO) == 10);
static_assert(sizeof(NICKNAMEENTRY) == 169);
static_assert(offsetof(NICKNAMEENTRY, Nickname) == 89);
static_assert(sizeof(NWSETTINGS) == 147);
static_assert(offsetof(NWSETTINGS, PollingInterval) == 3);
static_assert(offsetof(NWSETTINGS, LoginName) == 7);
static_assert(offsetof(NWSETTINGS, PrintServer) == 51);
static_assert(offsetof(NWSETTINGS, PrintServer2) == 99);
static_assert(sizeof(NWSERVERLIST) == 786);
static_assert(offsetof(NWSERVERLIST, Names) == 18);
static_assert(sizeof(NWQUEUELIST) == 788);
static_assert(offsetof(NWQUEUELIST, Names) == 20);
static_assert(sizeof(NWADVANCED) == 10);
static_assert(offsetof(NWADVANCED, GsqWord3) == 8);
static_assert(sizeof(NWLOGIN) == 144);
static_assert(sizeof(NWNETWORK) == 10);

}  // namespace wf::net
