#pragma once
// The queries' module state, read by the factories, and the one table
// through which each factory reaches its class: a class's own file fills
// its slot with a maker. A factory whose slot is empty answers null, which
// the hosts take as nothing to show.
#include <array>
#include <cstdint>

#include "framework/object.h"
#include "framework/wnd.h"
#include "netui/net_ui.h"
#include "platform/module.h"
#include "transports/common/net_items.h"

namespace wf::netui {

// Written by the queries; a factory is called right after its query.
struct ModuleState {
  uint32_t connections = 0;  // the printer's PRTINFO connections
  USHORT printer = 0;
  uint32_t protocol = 0;
  wf::net::NETADAPTERPARMS record{};  // item 129 of the printer's adapter
};
ModuleState& moduleState();

enum class Factory : std::size_t {
  ConAdIn,  // adapter pages: record, printer and protocol
  ConAdP4,
  ConAdS4,
  ConAdPR,
  ConAdSR,
  NPPCL,  // protocol pages: the printer
  NPPIP,
  NWConf,
  NWSearch,  // workstation dialogs: the parent
  IPConf,
  CLConf,
  P2PConf,
  Count
};

// What a maker gets: a copy of the saved state and the host's parent window.
struct MakerContext {
  wf::net::NETADAPTERPARMS record{};
  USHORT printer = 0;
  uint32_t protocol = 0;
  CWnd* parent = nullptr;
};
// A new page (default-constructed, then set up from the context) or a dialog
// made with the parent; null when allocation fails.
using FactoryMaker = CObject* (*)(const MakerContext& context);

std::array<FactoryMaker, static_cast<std::size_t>(Factory::Count)>& factoryMakers();
inline void setFactoryMaker(Factory factory, FactoryMaker maker) {
  factoryMakers()[static_cast<std::size_t>(factory)] = maker;
}

// The factories the queries hand out.
CObject* CreateConAdIn(int appId, void* parent);
CObject* CreateConAdP4(int appId, void* parent);
CObject* CreateConAdS4(int appId, void* parent);
CObject* CreateConAdPR(int appId, void* parent);
CObject* CreateConAdSR(int appId, void* parent);
CObject* CreateNPPCL(int appId, void* parent);
CObject* CreateNPPIP(int appId, void* parent);
CObject* CreateNWConf(int appId, void* parent);
CObject* CreateNWSearch(int appId, void* parent);
CObject* CreateIPConf(int appId, void* parent);
CObject* CreateCLConf(int appId, void* parent);
CObject* CreateP2PConf(int appId, void* parent);

}  // namespace wf::netui

// The three queries, exported by the library under these names.
WF_MODULE_EXPORT BOOL NetUIQueryPIPPage(USHORT printer, NetUIFactoryProc* factory, CString* caption);
WF_MODULE_EXPORT BOOL NetUIQuerySettings(UINT protocol, NetUIFactoryProc* factory, CString* caption);
WF_MODULE_EXPORT BOOL NetUIQueryNetPage(USHORT printer, UINT protocol, NetUIFactoryProc* factory,
                                        CString* caption);
