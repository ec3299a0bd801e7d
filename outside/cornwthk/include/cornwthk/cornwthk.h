#pragma once
// The workstation's NetWare client, as Cornw32 reaches it: a stand-in of our
// own, loaded by name ("Cornwthk.DLL") and bound call by call. It serves a
// world read from the platform scenario's [netware.*] sections (see
// outside/cornwthk/README.md); changes made through it last for the process.
//
// Every call answers a 16-bit client code: 0 success, else one of the codes
// below. Object types are given as numbers (0x03D5), not byte-swapped.
#include <stdint.h>

typedef uint16_t NWCCODE;
typedef uint32_t NWCONN_HANDLE; /* 0: none */
typedef uint32_t NWOBJ_ID;

/* ---- Codes ------------------------------------------------------------------ */
#define NW_SUCCESS 0x0000u
#define NW_LOGIN_ALREADY 0x8800u       /* already logged in: counts as success */
#define NW_LOGIN_LOG_OUT_RETRY 0x8899u /* log out and retry once */
#define NW_ERR_MEMBER_EXISTS 0x89E9u
#define NW_ERR_PROPERTY_EXISTS 0x89EDu
#define NW_ERR_OBJECT_EXISTS 0x89EEu
#define NW_ERR_NO_SUCH_MEMBER 0x89EAu
#define NW_ERR_NO_MORE_SEGMENTS 0x89ECu
#define NW_ERR_NO_SUCH_PROPERTY 0x89FBu
#define NW_ERR_NO_SUCH_OBJECT 0x89FCu /* also: the scan is over */
#define NW_ERR_BAD_PASSWORD 0x89DEu
#define NW_ERR_NOT_LOGGED_IN 0x897Du
/* Codes of our own for what the interface leaves open. */
#define NW_ERR_NO_CLIENT 0x8801u      /* no client, or its world is malformed */
#define NW_ERR_BAD_CONNECTION 0x8802u /* unknown or detached connection */
#define NW_ERR_NO_SUCH_SERVER 0x8803u /* no file server or print server of that name */
#define NW_ERR_BAD_ARGUMENT 0x8804u   /* a null pointer or an empty name */

/* Object types. */
#define NW_OT_USER 0x0001u
#define NW_OT_PRINT_QUEUE 0x0003u
#define NW_OT_FILE_SERVER 0x0004u
#define NW_OT_PRINT_SERVER 0x0007u
#define NW_OT_ADVERTISING_PRINT_SERVER 0x0047u

#define NW_ACCESS_SUPERVISOR 0x33u
#define NW_STATUS_LOGGED_IN 0x04u /* bit of NWGetConnectionStatus's flags */
#define NW_SEGMENT 128u           /* one property segment */
#define NW_NAME 48u               /* object and server names, terminated */

#ifdef __cplusplus
extern "C" {
#endif

/* ---- The client ------------------------------------------------------------- */
NWCCODE NWCallsInit(void);
NWCCODE NWGetRequesterVersion(uint8_t* major, uint8_t* minor, uint8_t* revision);

/* ---- Connections ------------------------------------------------------------ */
NWCCODE NWGetDefaultConnectionID(NWCONN_HANDLE* conn);
NWCCODE NWGetNumConnections(uint16_t* count);
/* Up to `capacity` attached connections into `list`; *count gets how many. */
NWCCODE NWGetConnectionList(NWCONN_HANDLE* list, uint16_t capacity, uint16_t* count);
NWCCODE NWGetConnectionHandle(const char* serverName, NWCONN_HANDLE* conn);
/* *flags has NW_STATUS_LOGGED_IN when the connection is logged in. */
NWCCODE NWGetConnectionStatus(NWCONN_HANDLE conn, uint8_t* flags);
NWCCODE NWGetBinderyAccessLevel(NWCONN_HANDLE conn, uint8_t* level, NWOBJ_ID* objectId);
NWCCODE NWGetFileServerName(NWCONN_HANDLE conn, char name[NW_NAME]);
/* The server's version as major * 1000 + minor * 10 (4.10: 4100). */
NWCCODE NWGetFileServerVersion(NWCONN_HANDLE conn, uint16_t* version);
NWCCODE NWAttachToFileServer(const char* serverName, NWCONN_HANDLE* conn);
NWCCODE NWDetachFromFileServer(NWCONN_HANDLE conn);
NWCCODE NWLoginToFileServer(NWCONN_HANDLE conn, const char* user, uint16_t objectType, const char* password);
NWCCODE NWLogoutFromFileServer(NWCONN_HANDLE conn);

/* ---- Bindery ------------------------------------------------------------------ */
/* The next object after *lastId (start with 0xFFFFFFFF) whose type is
   `objectType` (0xFFFF: any) and whose name matches `pattern` ('*' any run,
   '?' one character). NW_ERR_NO_SUCH_OBJECT ends the scan. */
NWCCODE NWScanObject(NWCONN_HANDLE conn, const char* pattern, uint16_t objectType, NWOBJ_ID* lastId,
                     char name[NW_NAME], uint16_t* foundType);
/* Segment `segment` (from 1) of a property: 128 bytes; *more 0xFF when
   another segment follows, else 0. */
NWCCODE NWReadPropertyValue(NWCONN_HANDLE conn, const char* objectName, uint16_t objectType,
                            const char* property, uint8_t segment, uint8_t value[NW_SEGMENT], uint8_t* more);
/* 0 when the object has the property, else NW_ERR_NO_SUCH_PROPERTY. */
NWCCODE NWScanProperty(NWCONN_HANDLE conn, const char* objectName, uint16_t objectType, const char* property);
NWCCODE NWGetObjectName(NWCONN_HANDLE conn, NWOBJ_ID id, char name[NW_NAME], uint16_t* objectType);
NWCCODE NWCreateObject(NWCONN_HANDLE conn, const char* objectName, uint16_t objectType);
/* flags 2 = a set property; security accepted as given. */
NWCCODE NWCreateProperty(NWCONN_HANDLE conn, const char* objectName, uint16_t objectType,
                         const char* property, uint8_t flags, uint8_t security);
NWCCODE NWAddObjectToSet(NWCONN_HANDLE conn, const char* objectName, uint16_t objectType,
                         const char* property, const char* memberName, uint16_t memberType);
NWCCODE NWDeleteObjectFromSet(NWCONN_HANDLE conn, const char* objectName, uint16_t objectType,
                              const char* property, const char* memberName, uint16_t memberType);
NWCCODE NWCreateQueue(NWCONN_HANDLE conn, const char* queueName, NWOBJ_ID* queueId);
NWCCODE NWDestroyQueue(NWCONN_HANDLE conn, NWOBJ_ID queueId);

/* ---- Print servers ------------------------------------------------------------ */
/* A print server of the file server `conn`; *session names it for the rest. */
NWCCODE NWPSCommAttachToPrintServer(NWCONN_HANDLE conn, const char* printServer, uint16_t* session);
NWCCODE NWPSCommLoginToPrintServer(uint16_t session, uint8_t* accessLevel);
/* Up to `capacity` printer numbers servicing the queue. */
NWCCODE NWPSComGetPrintersServicingQ(uint16_t session, const char* fileServer, const char* queueName,
                                     uint16_t capacity, uint16_t* count, uint8_t* printers);
NWCCODE NWPSComGetPrinterStatus(uint16_t session, uint8_t printer, uint8_t* status, char name[NW_NAME]);
NWCCODE NWPSCommDetachFromPrintServer(uint16_t session);

/* ---- Tests -------------------------------------------------------------------- */
/* Replaces the world by the [netware.*] sections of `scenarioText`; 0, or the
   line of the first malformed entry (the client then counts as missing). */
uint32_t CornwthkLoadWorld(const char* scenarioText);
/* The next login to `server` answers 0x8899 once. */
void CornwthkArmLoginRetry(const char* server);
/* Every later call of `call` (by its name) answers `code`; 0 clears it. */
void CornwthkFailCall(const char* call, NWCCODE code);
/* A connection's access level (the connection must exist). */
NWCCODE CornwthkSetAccessLevel(const char* server, uint8_t level);
/* The number of calls made to `call` since the world was loaded. */
uint32_t CornwthkCallCount(const char* call);

#ifdef __cplusplus
}
#endif
