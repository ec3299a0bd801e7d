#pragma once
// The entry points a network transport library exports for the broker, by
// exactly these names, and the callbacks the broker hands in. A library may
// leave out entry points it has no use for; one it exports takes exactly
// these arguments.
//
// Widths: lengths the transport reads or writes are 32-bit (packet and reply
// lengths of NetWrite, NetSetInfo's length). The broker's own values are
// 16-bit: it widens them on the way in and never hands a transport's answer
// on beyond 16 bits.
#include <stdint.h>

#include "broker/corbce.h"

/* ---- Results (signed; 16 bits are significant) ----------------------------- */
#define NET_OKAY 0
#define NET_FAIL 1
#define NET_BADID (-8)
#define NET_NULL_BUFFER (-9)
#define NET_BADCMD (-15)
/* NET_WRITEFAIL (-16) and NET_READFAIL (-17) come with corbce.h */
#define NET_NOT_LOGGED_IN (-1000)
#define NET_LOGGED_IN_SUPERVISOR (-1001)
#define NET_LOGGED_IN_USER (-1002)
#define NET_NW_ADAPTER_BUSY (-1003)
#define NET_PORTS_DISABLED (-1120) /* plus the mask of the ports handled */
#define NET_ADDRESS_UNKNOWN (-1130)
#define NET_ADDRESS_KNOWN (-1131)
#define NET_ADAPTER_STATUS_11 (-1150) /* "Command Received" with status byte 11 */

#define NET_NO_PORT 0xFFFFu /* NetGetInfo/NetSetInfo: the workstation, no port */

/* ---- The NetWare part of NETADDRESS, offsets into the whole record ----------- */
#define NETADDRESS_NW_NETWORK 0        /* uint32, network order bytes */
#define NETADDRESS_NW_NODE 4           /* uint8[6] */
#define NETADDRESS_NW_PORT_SELECTOR 16 /* uint8: port number, or the port's kind nibble */

/* ---- The CORIPX32 part of NETADDRESS --------------------------------------------- */
#define NETADDRESS_IPX_NODE 136        /* uint8[6], as the adapter reports it */
#define NETADDRESS_IPX_ADDRESS 142     /* 14-byte IPX address: family, then: */
#define NETADDRESS_IPX_NETWORK 144     /* uint8[4] */
#define NETADDRESS_IPX_ADDR_NODE 148   /* uint8[6], as sent on the wire */
#define NETADDRESS_IPX_SOCKET 154      /* uint16, network order */
#define NETADDRESS_IPX_LPA_ADAPTER 162 /* uint16: 1 for the "LPA Parameters2" family */
#define NETADDRESS_IPX_PORT_KIND 164   /* uint16 */

/* ---- Events given to NETEVENTPROC ------------------------------------------ */
#define NETEVENT_DISCONNECTED 100
#define NETEVENT_RESYNC 101
#define NETEVENT_REMOVED 102
#define NETEVENT_RENAMED 103         /* data: char[80] new port name */
#define NETEVENT_ADDRESS_CHANGED 104 /* data: uint8[6] new node address */

/* ---- NetWrite status word ------------------------------------------------------- */
#define NET_STATUS_UNREADABLE 1
#define NET_STATUS_COMPLETE 2
#define NET_STATUS_ADAPTER_ERROR 3
#define NET_STATUS_TRUNCATED 4

/* ---- Callbacks ---------------------------------------------------------------------- */
/* One port found; anything but 1 stops the walk. The record lives for the call. */
typedef uint16_t (*NETENUMPROC)(const NETPORTINFO* port);
/* Unsolicited data of an opened port: one or more NPA packets. */
typedef int32_t (*NETDATAPROC)(uint16_t portId, const uint8_t* data, uint32_t length);
/* kind: the transport's network bit. */
typedef int32_t (*NETEVENTPROC)(uint32_t kind, uint32_t portId, uint32_t code, void* data);
/* One item of a NetGetInfo list. */
typedef int32_t (*NETITEMPROC)(const void* item, uint16_t length);

/* ---- Entry points, in the broker's binding order --------------------------------- */
typedef int32_t (*NetEnumerateFn)(NETENUMPROC proc);
typedef int32_t (*NetGetSpecificAddrFn)(uint16_t portId, NETADDRESS* address);
typedef int32_t (*NetEnumSpecificFn)(const NETADDRESS* address, NETENUMPROC proc);
typedef int32_t (*NetEnumSpecificPortFn)(const void* portDescriptor, NETENUMPROC proc);
typedef int32_t (*NetEnumQueuesFn)(uint32_t a, uint32_t b, uint32_t c);
typedef int32_t (*NetOpenFn)(uint16_t portId, NETDATAPROC proc);
typedef int32_t (*NetCloseFn)(uint16_t portId);
/* Result: bytes sent (0 or a negative code on failure). status in: the
   broker's hint (see the transports); out: NET_STATUS_*. */
typedef int32_t (*NetWriteFn)(uint16_t portId, const uint8_t* data, uint32_t length, uint8_t* reply,
                              uint32_t* replyLength, uint16_t command, uint16_t* status);
typedef void (*NetShutDownFn)(void);
typedef int32_t (*NetIsAdminFn)(void);
typedef int32_t (*NetIsQueueAdminFn)(uint32_t unused);
typedef uint16_t (*NetGetVersionFn)(void);
typedef int32_t (*NetGetInfoFn)(uint16_t portId, uint16_t infoCode, void* buffer, uint16_t* length,
                                NETITEMPROC itemProc);
typedef int32_t (*NetSetInfoFn)(uint16_t portId, uint16_t infoCode, const void* buffer, uint32_t length);
typedef int32_t (*NetRegisterCallbackFn)(NETEVENTPROC proc);
typedef void (*NetUnregisterCallbackFn)(void);
typedef void (*NetStartDocFn)(uint16_t portId, uint32_t jobArgument);
typedef void (*NetEndDocFn)(uint16_t portId);

#ifdef __cplusplus
#include <type_traits>
/* A transport places this after defining an entry point, so a wrong argument
   list fails its build rather than the broker's call. */
#define NET_CHECK_ENTRY(name)                                                                       \
  static_assert(std::is_same_v<decltype(&name), name##Fn>, #name " must take exactly its contract " \
                                                                 "arguments")
#endif
