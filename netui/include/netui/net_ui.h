#pragma once
// What the hosts call of the network adapter configuration library
// (CORNETUI, "CORNETUI.DLL", CWFApp::GetNetSetDLL), bound by name on its
// handle each time.
// A query chooses the page or dialog and leaves state the factory reads, so
// the caller calls the factory at once; the caller owns what it makes and
// checks its run-time class before using it.
#include "framework/cstring.h"
#include "platform/win_types.h"

class CObject;

// (application id, parent window) -> a new page or dialog, or null.
using NetUIFactoryProc = CObject* (*)(int appId, void* parent);
// TRUE with the adapter page's factory and title.
using NetUIQueryPIPPageFn = BOOL (*)(USHORT printer, NetUIFactoryProc* factory, CString* title);
// TRUE for protocol 1 (NetWare), 2 (TCP/IP), 4 or 8 (CorLink); the printer
// is remembered whatever the answer.
using NetUIQueryNetPageFn = BOOL (*)(USHORT printer, UINT protocol, NetUIFactoryProc* factory,
                                     CString* title);

// TRUE with the workstation settings dialog's factory and menu title for
// one network bit (0x1 NetWare, 0x2 TCP/IP, 0x8 CorLink, 0x10 peer-to-peer).
// Another bit answers FALSE with a null factory and the title " "; a
// failed check answers FALSE and leaves both as they were.
using NetUIQuerySettingsFn = BOOL (*)(UINT protocol, NetUIFactoryProc* factory, CString* title);

constexpr const char* kNetUIQueryPIPPage = "NetUIQueryPIPPage";
constexpr const char* kNetUIQueryNetPage = "NetUIQueryNetPage";
constexpr const char* kNetUIQuerySettings = "NetUIQuerySettings";
