#pragma once
// CORBCE: the one gateway to every printer of the workstation.
//
// Every export comes twice: the client form under the plain name, which
// checks the caller's registration and then runs the work in the primary
// process or sends it there as a mailslot request, and the worker (name +
// "MF"), which runs only in the primary. Printer handles and application ids
// are 16-bit values carried in 32-bit arguments: only the low 16 bits count.
// Window handles are the platform's 32-bit handles.
#include <stdint.h>

#ifdef __cplusplus
#define BCE_EXTERN_C extern "C"
#else
#define BCE_EXTERN_C
#endif
#define BCEAPI BCE_EXTERN_C __attribute__((visibility("default")))

/* ---- Result codes (signed 32-bit; a transport's own result passes through) */
#define BCE_OK 0
#define BCE_FAIL 1
#define BCE_ERR_PRTINFO_NOT_WRITABLE (-2)
#define BCE_ERR_ERROR_RESPONSE (-3)
#define BCE_ERR_ALERTS_PENDING (-6)
#define BCE_ERR_BAD_HANDLE (-8)
#define BCE_ERR_NO_MEMORY (-9)
#define BCE_ERR_PORT_OPEN (-10)
#define BCE_ERR_NOT_CAPABLE (-11)
#define BCE_ERR_NO_APP_SLOT (-12)
#define BCE_ERR_NOT_REGISTERED (-13)
#define BCE_ERR_NOT_ON_NETWORK (-14)
#define BCE_ERR_BAD_REQUEST (-15)
#define NET_WRITEFAIL (-16)
#define NET_READFAIL (-17)
#define BCE_ERR_REPLY_TOO_LONG (-18)
#define BCE_ERR_PORT_HELD (-19)
#define BCE_ERR_LOCAL_PAPER_OUT (-20)
#define BCE_ERR_LOCAL_NOT_SELECTED (-21)
#define BCE_ERR_LOCAL_BREAK (-22)
#define BCE_ERR_LOCAL_IO_ERROR (-23)
#define BCE_ERR_LOCAL_TIMEOUT (-24)
#define BCE_ERR_LOCAL_OTHER (-25)

/* ---- Network bits ---------------------------------------------------------- */
#define BCE_NET_NETWARE 0x1u
#define BCE_NET_IP 0x2u
#define BCE_NET_IPX 0x4u
#define BCE_NET_CORLINK 0x8u
#define BCE_NET_PEER 0x10u
#define BCE_NET_LOCAL 0x800u
#define BCE_NET_FORCE 0x80000000u
#define BCE_NET_ALL_BITS 0x7FFu            /* any network bit of a connections word */
#define BCE_NET_LOCAL_PORT_BITS 0x1FF0000u /* LPT1 to LPT9 captured to a printer */

/* ---- Application ids and handles ---------------------------------------- */
#define BCE_MAX_APPS 16
#define BCE_PRIMARY_APP_ID 0
#define BCE_WORKSTATION_HANDLE 0xFFFFu /* BceGetNetInfo/BceSetNetInfo: the workstation itself */
#define BCE_NAME_LENGTH 80             /* every name buffer: 79 characters + terminator */
#define BCE_PORT_DESCRIPTOR_SIZE 20

/* ---- Window messages ------------------------------------------------------ */
#define WM_BCE_DISCONNECTED 100
#define WM_BCE_RESYNC 101
#define WM_BCE_PRINTER_REMOVED 102
#define WM_BCE_PRINTER_CHANGED 200
#define WM_BCE_DSA_ALERT 1524
#define WM_BCE_ALERT_2 1525
#define WM_BCE_JS_ALERT 1526
#define WM_BCE_ROP_ALERT 1527
#define WM_BCE_ALERT_8 1528
#define WM_BCE_ALERT_16 1529
#define WM_BCE_ALERT_4 1530
#define WM_BCE_PRIMARY_GONE 1540 /* to a secondary's registration window: its primary has gone */
#define BCE_PRINTER_DELETED 0xFFFu /* lParam of WM_BCE_PRINTER_REMOVED for a deleted entry */

/* ---- Alert classes of ALERTS.mask ----------------------------------------- */
#define BCE_ALERT_DSA_MASK 0x3FFu
#define BCE_ALERT_UNUSED 0x400u
#define BCE_ALERT_JOB_STATS 0x800u
#define BCE_ALERT_CLASS_2 0x1000u
#define BCE_ALERT_CLASS_4 0x2000u
#define BCE_ALERT_CLASS_8 0x4000u
#define BCE_ALERT_CLASS_16 0x8000u
#define BCE_ALERT_ROP 0x10000u
#define BCE_ALERT_ALL 0x1FFFFu

/* ---- Records ---------------------------------------------------------------- */
#pragma pack(push, 1)

/* One printer as the broker hands it out; 100 bytes. */
typedef struct PRTINFO {
  uint8_t node[6];
  char name[BCE_NAME_LENGTH];
  uint16_t handle;
  uint16_t flags;       /* local: 1 present, 2 NPA on, 4 NPA mode AUTO */
  uint16_t packetSize;  /* 1024 at creation; the printer's own figure once known */
  uint32_t connections; /* network bits, 0x8000, captured LPT bits 16-24, second-name bits */
  uint16_t adapterClass;
  uint16_t portKind;
} PRTINFO;

#define BCE_PRTINFO_FLAG_PRESENT 0x1u
#define BCE_PRTINFO_FLAG_NPA 0x2u
#define BCE_PRTINFO_FLAG_NPA_AUTO 0x4u

/* A printer's address on every transport; an all-zero part means "not there". 420 bytes. */
typedef struct NETADDRESS {
  uint8_t netware[24]; /* node at 4 */
  uint8_t ip[112];     /* node at 120 of the whole record */
  uint8_t ipx[30];     /* node at 136 */
  uint8_t corlink[92]; /* node at 246 */
  uint8_t peer[82];    /* computer name, then the port id at 338 */
  char local[80];      /* local port name */
} NETADDRESS;

/* The report a transport hands to its enumeration callback; 180 bytes. */
typedef struct NETPORTINFO {
  char portName[BCE_NAME_LENGTH];
  char secondName[BCE_NAME_LENGTH];
  uint16_t flags;
  uint16_t portId;
  uint32_t connections;
  uint8_t node[6];
  uint16_t adapterClass;
  uint16_t portKind;
  uint16_t reserved;
} NETPORTINFO;

typedef struct ALERTS {
  uint32_t mask;
} ALERTS;

typedef struct BCEVERSIONENTRY {
  uint16_t version;
  char description[BCE_NAME_LENGTH];
  char fileName[16];
} BCEVERSIONENTRY;

/* Entries in the order CORBCE, NetWare, CorLink, IP, IPX, peer. */
typedef struct BCEVERSION {
  BCEVERSIONENTRY entries[6];
} BCEVERSION;

typedef struct BCEVERSIONEXENTRY {
  uint32_t fileVersionMS;
  uint32_t fileVersionLS;
  char description[BCE_NAME_LENGTH];
  char fileName[16];
} BCEVERSIONEXENTRY;

typedef struct BCEVERSIONEX {
  BCEVERSIONEXENTRY entries[6];
} BCEVERSIONEX;

/* One entry of the shared application table "bcemem_apphandles". */
typedef struct BCEAPPSLOT {
  uint32_t registrationWindow; /* 0 = slot free */
  uint32_t alertWindow;        /* (uint32_t)-1: post no alerts */
} BCEAPPSLOT;

/* In front of every mail, both directions; little-endian. */
typedef struct BCEMAILHEADER {
  uint32_t sender; /* application id */
  uint32_t serial; /* request: sender's counter from 1; reply: the request's */
  uint32_t code;   /* request code; reply BCE_REPLY_FINAL/BCE_REPLY_ITEM + code */
  uint32_t word;   /* reply: the primary's tick count when written */
  uint32_t length; /* data bytes that follow */
} BCEMAILHEADER;

/* Request data, by request code; trailing variable parts follow the record. */
typedef struct BCEREQ_APPID { /* 1 register, 2 unregister */
  uint16_t appId;
} BCEREQ_APPID;
typedef struct BCEREQ_ENUMPRINTERS { /* 3 */
  uint16_t appId;
  uint32_t netMask;
} BCEREQ_ENUMPRINTERS;
typedef struct BCEREQ_ENUMSPECIFIC { /* 4 */
  uint16_t appId;
  NETADDRESS address;
  uint32_t tryAll;
} BCEREQ_ENUMSPECIFIC;
typedef struct BCEREQ_OPEN { /* 6 */
  uint16_t appId;
  uint16_t handle;
  uint16_t mode;
} BCEREQ_OPEN;
typedef struct BCEREQ_CLOSE { /* 7 */
  uint16_t appId;
  uint16_t handle;
} BCEREQ_CLOSE;
typedef struct BCEREQ_CAPTURE { /* 8 */
  uint16_t appId;
  uint16_t handle;
  uint32_t alertMask;
  uint32_t alertWindow;
  uint8_t flag;
} BCEREQ_CAPTURE;
typedef struct BCEREQ_RELEASE { /* 9 */
  uint16_t appId;
  uint16_t handle;
  uint32_t flag;
} BCEREQ_RELEASE;
typedef struct BCEREQ_WRITE { /* 11, then `length` data bytes */
  uint16_t appId;
  uint16_t handle;
  uint32_t netMask;
  uint32_t raw;
  uint32_t length;
} BCEREQ_WRITE;
typedef struct BCEREQ_SENDBIDI { /* 12, then `requestLength` bytes */
  uint16_t appId;
  uint16_t handle;
  uint32_t netMask;
  uint16_t command;
  uint32_t replySize;
  uint16_t requestLength;
} BCEREQ_SENDBIDI;
typedef struct BCEREQ_PRTINFO { /* 13 */
  uint16_t appId;
  uint16_t handle;
  uint32_t refresh;
} BCEREQ_PRTINFO;
typedef struct BCEREQ_HANDLE_NET { /* 14 names, 17 address, 19 end document */
  uint16_t handle;
  uint32_t netMask;
} BCEREQ_HANDLE_NET;
typedef struct BCEREQ_QUERYALERT { /* 15; bufferLength 0 asks for the alert's length */
  uint16_t appId;
  uint16_t alertKey;
  uint16_t handle;
  uint32_t flag;
  uint16_t bufferLength;
} BCEREQ_QUERYALERT;
typedef struct BCEREQ_STARTDOC { /* 18 */
  uint16_t handle;
  uint32_t netMask;
  uint16_t jobArgument;
} BCEREQ_STARTDOC;
typedef struct BCEREQ_NETINFO { /* 20, then `inputLength` bytes of the caller's buffer */
  uint16_t handle;
  uint32_t netMask;
  uint16_t infoCode;
  uint16_t bufferLength;
  uint16_t inputLength;
} BCEREQ_NETINFO;
typedef struct BCEREQ_NETINFOITEMS { /* 0x4014 */
  uint16_t handle;
  uint32_t netMask;
  uint16_t infoCode;
} BCEREQ_NETINFOITEMS;
typedef struct BCEREQ_SETNETINFO { /* 21, then `length` bytes */
  uint16_t handle;
  uint32_t netMask;
  uint16_t infoCode;
  uint16_t length;
} BCEREQ_SETNETINFO;
typedef struct BCEREQ_STARTTRACE { /* 22, then `nameLength` bytes; 0 = default file */
  uint32_t level;
  uint16_t nameLength;
} BCEREQ_STARTTRACE;
/* 25: u16 length + port name, u16 length + spooler printer name */
typedef struct BCEREQ_ENUMPORT { /* 26 */
  uint16_t appId;
  uint32_t netBit;
  uint8_t descriptor[BCE_PORT_DESCRIPTOR_SIZE];
} BCEREQ_ENUMPORT;
typedef struct BCEREQ_DEVICECONTROL { /* 27, then `inSize` bytes */
  uint16_t appId;
  uint16_t handle;
  uint32_t controlCode;
  uint32_t inSize;
  uint32_t outSize;
} BCEREQ_DEVICECONTROL;

/* Reply data heads; variable parts follow. */
typedef struct BCEREPLY_RESULT { /* 0x8003 0x8004 0x8006-9 0x8014(items) 0x8015 0x8018 0x8019 0x801A */
  int32_t result;
} BCEREPLY_RESULT;
typedef struct BCEREPLY_WRITE { /* 0x800B */
  int32_t result;
  uint32_t written;
} BCEREPLY_WRITE;
typedef struct BCEREPLY_SENDBIDI { /* 0x800C, then `replyLength` bytes */
  int32_t result;
  uint32_t replyLength;
} BCEREPLY_SENDBIDI;
typedef struct BCEREPLY_PRTINFO { /* 0x800D */
  int32_t result;
  PRTINFO info;
} BCEREPLY_PRTINFO;
/* 0x800E: i32 result, u32 length + name, u32 length + second name */
typedef struct BCEREPLY_QUERYALERT { /* 0x800F, then `length` bytes */
  int32_t result;
  uint16_t length;
} BCEREPLY_QUERYALERT;
typedef struct BCEREPLY_NETS { /* 0x8010 */
  int32_t result;
  uint32_t netMask;
} BCEREPLY_NETS;
typedef struct BCEREPLY_ADDRESS { /* 0x8011 */
  int32_t result;
  NETADDRESS address;
} BCEREPLY_ADDRESS;
typedef struct BCEREPLY_NETINFO { /* 0x8014, then `length` bytes */
  int32_t result;
  uint16_t length;
} BCEREPLY_NETINFO;
typedef struct BCEREPLY_DEVICECONTROL { /* 0x801B, then `returned` bytes */
  int32_t result;
  uint32_t returned;
} BCEREPLY_DEVICECONTROL;

#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(PRTINFO) == 100, "PRTINFO layout");
static_assert(sizeof(NETADDRESS) == 420, "NETADDRESS layout");
static_assert(sizeof(NETPORTINFO) == 180, "NETPORTINFO layout");
static_assert(sizeof(BCEVERSION) == 588, "BCEVERSION layout");
static_assert(sizeof(BCEVERSIONEX) == 624, "BCEVERSIONEX layout");
static_assert(sizeof(BCEAPPSLOT) == 8, "BCEAPPSLOT layout");
static_assert(sizeof(BCEMAILHEADER) == 20, "BCEMAILHEADER layout");
#endif

/* ---- Request codes and reply flags ------------------------------------------ */
#define BCE_REQ_REGISTER 1
#define BCE_REQ_UNREGISTER 2
#define BCE_REQ_ENUM_PRINTERS 3
#define BCE_REQ_ENUM_SPECIFIC 4
#define BCE_REQ_OPEN 6
#define BCE_REQ_CLOSE 7
#define BCE_REQ_CAPTURE_ALERTS 8
#define BCE_REQ_RELEASE_ALERTS 9
#define BCE_REQ_VERSION 10
#define BCE_REQ_WRITE 11
#define BCE_REQ_SEND_BIDI 12
#define BCE_REQ_PRTINFO 13
#define BCE_REQ_PRINTER_NAME 14
#define BCE_REQ_QUERY_ALERTS 15
#define BCE_REQ_NETS 16
#define BCE_REQ_PRINTER_ADDR 17
#define BCE_REQ_START_DOC 18
#define BCE_REQ_END_DOC 19
#define BCE_REQ_NET_INFO 20
#define BCE_REQ_SET_NET_INFO 21
#define BCE_REQ_START_TRACE 22
#define BCE_REQ_IS_ADMIN 24
#define BCE_REQ_HOLD_PORT 25
#define BCE_REQ_ENUM_SPECIFIC_PORT 26
#define BCE_REQ_DEVICE_CONTROL 27
#define BCE_REQ_VERSION_EX 28
#define BCE_REQ_NET_INFO_ITEMS 0x4014
#define BCE_REQ_STOP_TRACE 0x8017
#define BCE_REPLY_FINAL 0x8000u
#define BCE_REPLY_ITEM 0x4000u

/* ---- Callbacks ------------------------------------------------------------------ */
/* One printer (null: a report without data); 0 asks the enumeration to stop. */
typedef uint16_t (*BCEENUMPROC)(const PRTINFO* info);
/* One item of BceGetNetInfo with an item callback. */
typedef int32_t (*BCENETITEMPROC)(const void* item, uint16_t length);

/* ---- Exports: client forms ------------------------------------------------------- */
BCEAPI int16_t BceRegisterApp(uint32_t window);
BCEAPI void BceUnregisterApp(uint32_t appId);
BCEAPI int32_t BceEnumPrinters(uint32_t appId, uint32_t netMask, BCEENUMPROC proc);
BCEAPI int32_t BceEnumSpecific(uint32_t appId, const NETADDRESS* address, BCEENUMPROC proc, uint32_t tryAll);
BCEAPI int32_t BceEnumSpecificPort(uint32_t appId, uint32_t netBit, const void* portDescriptor,
                                   BCEENUMPROC proc);
BCEAPI int32_t BceEnumQueues(uint32_t a, uint32_t b, void* c, void* d);
BCEAPI int32_t BceOpen(uint32_t appId, uint32_t handle, uint32_t mode);
BCEAPI int32_t BceClose(uint32_t appId, uint32_t handle);
BCEAPI int32_t BceCaptureAlerts(uint32_t appId, uint32_t handle, const ALERTS* alerts, uint32_t alertWindow,
                                uint32_t flag);
BCEAPI int32_t BceReleaseAlerts(uint32_t appId, uint32_t handle, uint32_t flag);
BCEAPI int32_t BceGetVersion(BCEVERSION* version);
BCEAPI int32_t BceGetVersionEx(BCEVERSIONEX* version);
BCEAPI int32_t BceWrite(uint32_t appId, uint32_t handle, uint32_t netMask, void* data, uint32_t* length,
                        uint32_t raw);
BCEAPI int32_t BceSendBidi(uint32_t appId, uint32_t handle, uint32_t netMask, uint32_t code, void* reply,
                           uint32_t* replyLength, const void* request, uint32_t requestLength);
BCEAPI int32_t BceGetPrtInfo(uint32_t handle, PRTINFO* info, uint32_t refresh);
BCEAPI int32_t BceGetPrinterName(uint32_t handle, uint32_t netBit, char* name, char* secondName);
BCEAPI int32_t BceQueryAlerts(uint32_t appId, uint32_t alertKey, uint32_t handle, uint32_t flag, void* buffer,
                              uint16_t* length);
BCEAPI int32_t BceIsUserAdmin(uint32_t unused);
BCEAPI int32_t BceIsUserQueueAdmin(uint32_t unused1, uint32_t unused2);
BCEAPI int32_t BceGetPrinterAddr(uint32_t handle, uint32_t netMask, NETADDRESS* address);
BCEAPI int32_t BceGetNets(uint32_t* netMask);
BCEAPI int32_t BceGetNetInfo(uint32_t handle, uint32_t netMask, uint32_t infoCode, void* buffer,
                             uint16_t* length, BCENETITEMPROC itemProc);
BCEAPI int32_t BceSetNetInfo(uint32_t handle, uint32_t netMask, uint32_t infoCode, const void* buffer,
                             uint16_t length);
BCEAPI int32_t BceStartTrace(const char* fileName, uint32_t level);
BCEAPI int32_t BceStopTrace(void);
BCEAPI int32_t BceStartDoc(uint32_t handle, uint32_t netMask, uint32_t jobArgument);
BCEAPI int32_t BceEndDoc(uint32_t handle, uint32_t netMask);

/* ---- Exports: workers, primary only -------------------------------------------- */
BCEAPI int16_t BceRegisterAppMF(uint32_t window);
BCEAPI void BceUnregisterAppMF(uint32_t appId);
BCEAPI int32_t BceEnumPrintersMF(uint32_t appId, uint32_t netMask, BCEENUMPROC proc);
BCEAPI int32_t BceEnumSpecificMF(uint32_t appId, const NETADDRESS* address, BCEENUMPROC proc,
                                 uint32_t tryAll);
BCEAPI int32_t BceEnumSpecificPortMF(uint32_t appId, uint32_t netBit, const void* portDescriptor,
                                     BCEENUMPROC proc);
BCEAPI int32_t BceOpenMF(uint32_t appId, uint32_t handle, uint32_t mode);
BCEAPI int32_t BceCloseMF(uint32_t appId, uint32_t handle);
BCEAPI int32_t BceCaptureAlertsMF(uint32_t appId, uint32_t handle, const ALERTS* alerts, uint32_t alertWindow,
                                  uint32_t flag);
BCEAPI int32_t BceReleaseAlertsMF(uint32_t appId, uint32_t handle, uint32_t flag);
BCEAPI int32_t BceGetVersionMF(BCEVERSION* version);
BCEAPI int32_t BceGetVersionExMF(BCEVERSIONEX* version);
BCEAPI int32_t BceWriteMF(uint32_t appId, uint32_t handle, uint32_t netMask, void* data, uint32_t* length,
                          uint32_t raw);
BCEAPI int32_t BceSendBidiMF(uint32_t appId, uint32_t handle, uint32_t netMask, uint32_t code, void* reply,
                             uint32_t* replyLength, const void* request, uint32_t requestLength);
BCEAPI int32_t BceGetPrtInfoMF(uint32_t appId, uint32_t handle, PRTINFO* info, uint32_t refresh);
BCEAPI int32_t BceGetPrinterNameMF(uint32_t handle, uint32_t netBit, char* name, char* secondName);
BCEAPI int32_t BceQueryAlertsMF(uint32_t appId, uint32_t alertKey, uint32_t handle, uint32_t flag,
                                void* buffer, uint16_t* length);
BCEAPI int32_t BceIsUserAdminMF(uint32_t unused);
BCEAPI int32_t BceGetPrinterAddrMF(uint32_t handle, uint32_t netMask, NETADDRESS* address);
BCEAPI int32_t BceGetNetsMF(uint32_t* netMask);
BCEAPI int32_t BceGetNetInfoMF(uint32_t handle, uint32_t netMask, uint32_t infoCode, void* buffer,
                               uint16_t* length, BCENETITEMPROC itemProc);
BCEAPI int32_t BceSetNetInfoMF(uint32_t handle, uint32_t netMask, uint32_t infoCode, const void* buffer,
                               uint16_t length);
BCEAPI int32_t BceStartTraceMF(const char* fileName, uint32_t level);
BCEAPI int32_t BceStopTraceMF(void);
BCEAPI int32_t BceStartDocMF(uint32_t handle, uint32_t netMask, uint32_t jobArgument);
BCEAPI int32_t BceEndDocMF(uint32_t handle, uint32_t netMask);
