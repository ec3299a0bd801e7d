#pragma once
// What the printer icon calls of the network adapter configuration library
// (CORNETUI, CWFApp::GetNetSetDLL), bound by name on its handle. A query
// chooses the page for the printer and leaves state the factory reads, so
// the caller calls the factory at once; the caller owns the page it makes.
#include "framework/cstring.h"
#include "platform/win_types.h"

class CPropertyPage;

using NetUIFactoryProc = CPropertyPage* (*)(int unused, void* parent);
// TRUE with the adapter page's factory and title.
using NetUIQueryPIPPageFn = BOOL (*)(USHORT printer, NetUIFactoryProc* factory, CString* title);
// TRUE for protocol 1 (NetWare), 2 (TCP/IP), 4 or 8 (CorLink).
using NetUIQueryNetPageFn = BOOL (*)(USHORT printer, UINT protocol, NetUIFactoryProc* factory,
                                     CString* title);

constexpr const char* kNetUIQueryPIPPage = "NetUIQueryPIPPage";
constexpr const char* kNetUIQueryNetPage = "NetUIQueryNetPage";
