#pragma once
// Dynamic data exchange, under the original calls, codes and flags, so the
// modules that talk to other programs by conversations keep their code.
//
// A service is a listening socket below the runtime directory ("dde/<name>",
// the name folded to lower case); a conversation is one seqpacket connection.
// An instance belongs to the thread that initialised it: its callback runs on
// that thread only, while the thread dispatches its message queue (the plain
// queue or the GUI's; the layer posts a wake-up there) and inside the
// instance's own synchronous calls while they wait. Calls from another thread
// fail with DMLERR_DLL_USAGE.
//
// Handles are numbers looked up in tables, never dereferenced: a stale or
// foreign handle gives an error, never a crash.
#include <cstdint>

#include "platform/win_types.h"

namespace wf {

struct DdeConvTag;
struct DdeStringTag;
struct DdeDataTag;
using HCONV = DdeConvTag*;
using HSZ = DdeStringTag*;
using HDDEDATA = DdeDataTag*;
using ULONG_PTR = std::uintptr_t;

using PFNCALLBACK = HDDEDATA (*)(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                                 ULONG_PTR data1, ULONG_PTR data2);

constexpr UINT CF_TEXT = 1;
constexpr int CP_WINANSI = 1004;

constexpr UINT XCLASS_BOOL = 0x1000;
constexpr UINT XCLASS_DATA = 0x2000;
constexpr UINT XCLASS_FLAGS = 0x4000;
constexpr UINT XCLASS_NOTIFICATION = 0x8000;
constexpr UINT XTYPF_NOBLOCK = 0x0002;
constexpr UINT XTYP_ERROR = 0x0000 | XCLASS_NOTIFICATION | XTYPF_NOBLOCK;
constexpr UINT XTYP_ADVDATA = 0x0010 | XCLASS_FLAGS;
constexpr UINT XTYP_ADVREQ = 0x0020 | XCLASS_DATA | XTYPF_NOBLOCK;
constexpr UINT XTYP_ADVSTART = 0x0030 | XCLASS_BOOL;
constexpr UINT XTYP_ADVSTOP = 0x0040 | XCLASS_NOTIFICATION;
constexpr UINT XTYP_EXECUTE = 0x0050 | XCLASS_FLAGS;
constexpr UINT XTYP_CONNECT = 0x0060 | XCLASS_BOOL | XTYPF_NOBLOCK;
constexpr UINT XTYP_CONNECT_CONFIRM = 0x0070 | XCLASS_NOTIFICATION | XTYPF_NOBLOCK;
constexpr UINT XTYP_XACT_COMPLETE = 0x0080 | XCLASS_NOTIFICATION;
constexpr UINT XTYP_POKE = 0x0090 | XCLASS_FLAGS;
constexpr UINT XTYP_REGISTER = 0x00A0 | XCLASS_NOTIFICATION | XTYPF_NOBLOCK;
constexpr UINT XTYP_REQUEST = 0x00B0 | XCLASS_DATA;
constexpr UINT XTYP_DISCONNECT = 0x00C0 | XCLASS_NOTIFICATION | XTYPF_NOBLOCK;
constexpr UINT XTYP_UNREGISTER = 0x00D0 | XCLASS_NOTIFICATION | XTYPF_NOBLOCK;
constexpr UINT XTYP_WILDCONNECT = 0x00E0 | XCLASS_DATA | XTYPF_NOBLOCK;
constexpr UINT XTYP_MASK = 0x00F0;

constexpr DWORD DDE_FACK = 0x8000;
constexpr DWORD DDE_FBUSY = 0x4000;
constexpr DWORD DDE_FNOTPROCESSED = 0x0000;

constexpr UINT DMLERR_NO_ERROR = 0;
constexpr UINT DMLERR_ADVACKTIMEOUT = 0x4000;
constexpr UINT DMLERR_BUSY = 0x4001;
constexpr UINT DMLERR_DATAACKTIMEOUT = 0x4002;
constexpr UINT DMLERR_DLL_NOT_INITIALIZED = 0x4003;
constexpr UINT DMLERR_DLL_USAGE = 0x4004;
constexpr UINT DMLERR_EXECACKTIMEOUT = 0x4005;
constexpr UINT DMLERR_INVALIDPARAMETER = 0x4006;
constexpr UINT DMLERR_LOW_MEMORY = 0x4007;
constexpr UINT DMLERR_MEMORY_ERROR = 0x4008;
constexpr UINT DMLERR_NOTPROCESSED = 0x4009;
constexpr UINT DMLERR_NO_CONV_ESTABLISHED = 0x400a;
constexpr UINT DMLERR_POKEACKTIMEOUT = 0x400b;
constexpr UINT DMLERR_POSTMSG_FAILED = 0x400c;
constexpr UINT DMLERR_REENTRANCY = 0x400d;
constexpr UINT DMLERR_SERVER_DIED = 0x400e;
constexpr UINT DMLERR_SYS_ERROR = 0x400f;
constexpr UINT DMLERR_UNADVACKTIMEOUT = 0x4010;
constexpr UINT DMLERR_UNFOUND_QUEUE_ID = 0x4011;

constexpr DWORD APPCLASS_STANDARD = 0x00000000;
constexpr DWORD APPCMD_CLIENTONLY = 0x00000010;
constexpr DWORD CBF_FAIL_SELFCONNECTIONS = 0x00001000;
constexpr DWORD CBF_FAIL_CONNECTIONS = 0x00002000;
constexpr DWORD CBF_FAIL_ADVISES = 0x00004000;
constexpr DWORD CBF_FAIL_EXECUTES = 0x00008000;
constexpr DWORD CBF_FAIL_POKES = 0x00010000;
constexpr DWORD CBF_FAIL_REQUESTS = 0x00020000;
constexpr DWORD CBF_FAIL_ALLSVRXACTIONS = 0x0003f000;
constexpr DWORD CBF_SKIP_CONNECT_CONFIRMS = 0x00040000;
constexpr DWORD CBF_SKIP_REGISTRATIONS = 0x00080000;
constexpr DWORD CBF_SKIP_UNREGISTRATIONS = 0x00100000;
constexpr DWORD CBF_SKIP_DISCONNECTS = 0x00200000;
constexpr DWORD CBF_SKIP_ALLNOTIFICATIONS = 0x003c0000;

constexpr UINT DNS_REGISTER = 0x0001;
constexpr UINT DNS_UNREGISTER = 0x0002;

// How long DdeConnect waits for the server's answer (system ms).
constexpr DWORD kDdeConnectWait = 5'000;
// The most data one message carries.
constexpr DWORD kDdeMaxData = 64 * 1024;

UINT DdeInitializeA(DWORD* instance, PFNCALLBACK callback, DWORD flags, DWORD reserved);
// Ends every conversation (each partner gets one XTYP_DISCONNECT) and service.
BOOL DdeUninitialize(DWORD instance);
// The last error of the instance, cleared by the call.
UINT DdeGetLastError(DWORD instance);

// String handles of one text are equal, whatever its letter case.
HSZ DdeCreateStringHandleA(DWORD instance, const char* text, int codePage);
BOOL DdeFreeStringHandle(DWORD instance, HSZ hsz);
BOOL DdeKeepStringHandle(DWORD instance, HSZ hsz);
// Copies the text (terminated, cut to `capacity` - 1 bytes); its length. With
// a null buffer only the length. 0 for a stale handle.
DWORD DdeQueryStringA(DWORD instance, HSZ hsz, char* buffer, DWORD capacity, int codePage);
// 0 when equal ignoring case, -1 or 1 by order; a null handle sorts first.
int DdeCmpStringHandles(HSZ a, HSZ b);

// Data handles: what a callback returns for a request or an advise, and what
// a request answers. One given to a callback lives until the callback returns.
HDDEDATA DdeCreateDataHandle(DWORD instance, const BYTE* source, DWORD size, DWORD offset, HSZ item,
                             UINT format, UINT flags);
// Copies up to `capacity` bytes from `offset`; the bytes copied. With a null
// destination the data's size. 0 for a stale handle.
DWORD DdeGetData(HDDEDATA data, BYTE* destination, DWORD capacity, DWORD offset);
BOOL DdeFreeDataHandle(HDDEDATA data);

// Servers. hsz1 null with DNS_UNREGISTER ends every service of the instance.
HDDEDATA DdeNameService(DWORD instance, HSZ hsz1, HSZ hsz2, UINT command);
// Asks the callback for XTYP_ADVREQ data for every conversation that has an
// advise loop on (topic, item) and sends it.
BOOL DdePostAdvise(DWORD instance, HSZ topic, HSZ item);

// Clients. The context is accepted and ignored. Null with
// DMLERR_NO_CONV_ESTABLISHED when no such service or it refused.
HCONV DdeConnect(DWORD instance, HSZ service, HSZ topic, void* context);
BOOL DdeDisconnect(HCONV conv);
// Synchronous only: a time-out of `timeout` system ms answers the type's
// ACKTIMEOUT code; its answer, should it still come, is dropped. XTYP_REQUEST
// answers a data handle the caller frees; the others TRUE or 0. *result gets
// the partner's status flags.
HDDEDATA DdeClientTransaction(const BYTE* data, DWORD size, HCONV conv, HSZ item, UINT format, UINT type,
                              DWORD timeout, DWORD* result);

}  // namespace wf
