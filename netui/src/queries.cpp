// The three queries the hosts bind by name: each answers whether the library
// has a page or dialog for a printer or protocol, with its factory and caption.
#include <cstring>

#include "broker_binding.h"
#include "factories.h"

namespace wf::netui {
namespace {

constexpr uint16_t kWorkstation = 0xFFFF;
constexpr uint16_t kLoggedInSupervisor = 0xFC17;
constexpr std::uint8_t kSupervisor = 1;
constexpr uint16_t kParmsLength = sizeof(wf::net::NETADAPTERPARMS);
constexpr uint16_t kInfoLength = sizeof(wf::net::NETADAPTERINFO);
constexpr uint16_t kLoginCheckLength = 48;

// The adapter's protocols in the order they are asked.
constexpr uint32_t kAdapterSearchOrder[] = {BCE_NET_IPX, BCE_NET_NETWARE, BCE_NET_CORLINK, BCE_NET_IP};

bool ok(int32_t rc) {
  return static_cast<uint16_t>(rc) == 0;
}

bool askSupervisor(USHORT printer, uint32_t bit) {
  wf::net::NETADAPTERINFO info{};
  uint16_t length = kInfoLength;
  return ok(broker().getNetInfo(printer, bit, wf::net::kItemAdapterInfo, &info, &length, nullptr)) &&
         info.Supervisor == kSupervisor;
}

bool askRecord(USHORT printer, uint32_t bit) {
  // Set before every request: a failure may leave a shorter length behind.
  uint16_t length = kParmsLength;
  return ok(broker().getNetInfo(printer, bit, wf::net::kItemAdapterParms, &moduleState().record, &length,
                                nullptr));
}

// Pass 1 wants supervisor rights and the record, pass 2 the record alone;
// the first bit that answers is the protocol, 0 when none.
uint32_t findAdapterRecord(USHORT printer, uint32_t usable) {
  for (const bool supervisorPass : {true, false}) {
    for (const uint32_t bit : kAdapterSearchOrder) {
      if (!(usable & bit)) continue;
      if (supervisorPass && !askSupervisor(printer, bit)) continue;
      if (askRecord(printer, bit)) return bit;
    }
  }
  return 0;
}

struct PageChoice {
  NetUIFactoryProc factory;
  UINT caption;
};

// Null factory: the adapter has no page.
PageChoice adapterPage(uint32_t protocol, const wf::net::NETADAPTERPARMS& record) {
  using namespace wf::net;
  if (protocol == 0) return {&CreateConAdIn, 2103};
  switch (record.AdapterClass) {
    case kClassSinglePort:
    case kClassSinglePortRuVa1:
      return {&CreateConAdIn, 2103};
    case kClass7390:
      if (record.PortType == kPortTypeParallel) return {&CreateConAdP4, 2104};
      if (record.PortType == kPortTypeSerial) return {&CreateConAdS4, 2105};
      break;
    case kClassMultiPort:
    case kClassMultiPortSerial:
      if (record.PortType == kPortTypeParallel) return {&CreateConAdPR, 2106};
      if (record.PortType == kPortTypeSerial) return {&CreateConAdSR, 2107};
      break;
    default:
      break;
  }
  return {nullptr, 0};
}

BOOL offer(PageChoice choice, NetUIFactoryProc* factory, CString* caption) {
  if (factory) *factory = choice.factory;
  if (caption) caption->LoadString(choice.caption);
  return TRUE;
}

// The probes of the workstation dialogs, on the raw procedures.
bool probeSettings(UINT protocol) {
  if (!LoadBceFunctions()) return false;
  bool offered = false;
  if (protocol == BCE_NET_NETWARE) {
    char buffer[kLoginCheckLength] = {};
    uint16_t length = kLoginCheckLength;
    offered = static_cast<uint16_t>(broker().getNetInfo(kWorkstation, BCE_NET_NETWARE, wf::net::kItemNwCurrentServer,
                                                        buffer, &length, nullptr)) == kLoggedInSupervisor;
  } else {
    offered = askSupervisor(kWorkstation, BCE_NET_CORLINK);
  }
  // The menu asks at every opening: keep no reference behind.
  FreeBceFunctions();
  return offered;
}

}  // namespace
}  // namespace wf::netui

BOOL NetUIQueryPIPPage(USHORT printer, NetUIFactoryProc* factory, CString* caption) {
  using namespace wf::netui;
  if (!LoadBceFunctions()) return FALSE;
  PRTINFO info{};
  if (!ok(broker().getPrtInfo(printer, &info, 1))) {
    FreeBceFunctions();
    return FALSE;
  }
  moduleState().connections = info.connections;
  uint32_t nets = 0;
  if (!ok(broker().getNets(&nets))) {
    FreeBceFunctions();
    return FALSE;
  }
  const uint32_t protocol = findAdapterRecord(printer, info.connections & nets);
  FreeBceFunctions();
  moduleState().printer = protocol ? printer : 0;
  moduleState().protocol = protocol;
  const PageChoice choice = adapterPage(protocol, moduleState().record);
  if (!choice.factory) return FALSE;
  return offer(choice, factory, caption);
}

BOOL NetUIQuerySettings(UINT protocol, NetUIFactoryProc* factory, CString* caption) {
  using namespace wf::netui;
  switch (protocol) {
    case BCE_NET_NETWARE:
      if (!probeSettings(protocol)) return FALSE;
      return offer({&CreateNWSearch, 2145}, factory, caption);
    case BCE_NET_IP:
      return offer({&CreateIPConf, 2102}, factory, caption);
    case BCE_NET_CORLINK:
      if (!probeSettings(protocol)) return FALSE;
      return offer({&CreateCLConf, 2129}, factory, caption);
    case BCE_NET_PEER:
      return offer({&CreateP2PConf, 2134}, factory, caption);
    default:
      if (factory) *factory = nullptr;
      if (caption) *caption = " ";
      return FALSE;
  }
}

BOOL NetUIQueryNetPage(USHORT printer, UINT protocol, NetUIFactoryProc* factory, CString* caption) {
  using namespace wf::netui;
  moduleState().printer = printer;
  switch (protocol) {
    case BCE_NET_NETWARE:
      return offer({&CreateNWConf, 2137}, factory, caption);
    case BCE_NET_IP:
      return offer({&CreateNPPIP, 2136}, factory, caption);
    case BCE_NET_IPX:
    case BCE_NET_CORLINK:
      return offer({&CreateNPPCL, 2135}, factory, caption);
    default:
      return FALSE;
  }
}
