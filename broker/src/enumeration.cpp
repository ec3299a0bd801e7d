// Printer list exports: enumeration, printer information and names.
#include <cstring>
#include <string>
#include <thread>

#include "broker/corbce.h"
#include "broker_state.h"
#include "local_ports.h"
#include "named_lock.h"
#include "platform/clock.h"
#include "printer_list.h"
#include "trace.h"
#include "transports.h"

using wf::bce::bceTrace;
using wf::bce::copyName;
using wf::bce::EnumCallback;
using wf::bce::enumerationRunning;
using wf::bce::findLocalPrinter;
using wf::bce::GlobalInLock;
using wf::bce::kIpSecondNameBit;
using wf::bce::kIpxSecondNameBit;
using wf::bce::kNetTransports;
using wf::bce::LoadNetDll;
using wf::bce::NetEntryPoints;
using wf::bce::networkBitOf;
using wf::bce::PrinterEntry;
using wf::bce::printerList;
using wf::bce::PrinterList;
using wf::bce::PrinterListLock;
using wf::bce::refreshLocalPrinter;
using wf::bce::removeStalePrinters;
using wf::bce::scanLocalPorts;
using wf::bce::startCallbackRegistration;
using wf::bce::startEnumeration;
using wf::bce::startSpoolerScan;
using wf::bce::stopEnumerationFlag;
using wf::bce::transportIndexOf;
using wf::bce::transportTable;

namespace {

constexpr std::uint32_t kPassPause = 500;  // a pass that found nothing new, enumerations still running
constexpr std::uint32_t kPassListWait = 2000;

// Network bits in the order enumerations start.
constexpr int kStartOrder[] = {0, 3, 1, 2, 4};

struct Kind {
  std::uint32_t bit;
  const char* line;
};
constexpr Kind kKindLines[] = {
    {BCE_NET_NETWARE, "  - NetWare\n"},
    {BCE_NET_IP, "  - IP\n"},
    {BCE_NET_IPX, "  - CorIPX\n"},
    {BCE_NET_CORLINK, "  - CorLink\n"},
    {BCE_NET_PEER, "  - Peer To Peer\n"},
    {BCE_NET_LOCAL, "  - Local\n"},
    {BCE_NET_FORCE, "  - Forced Enumeration\n"},
};

bool validApp(std::uint32_t appId) {
  return (appId & 0xFFFF) < BCE_MAX_APPS;
}

// Hands every entry `wanted` accepts and the application has not had yet to
// `proc`, with the list lock released around each call; the entry is pinned
// meanwhile, so its link is still good afterwards. Counts the calls.
template <typename Wanted>
int deliver(PrinterListLock& lock, unsigned app, BCEENUMPROC proc, bool honourStop, bool& stopped,
            Wanted wanted) {
  PrinterList& list = printerList();
  int delivered = 0;
  for (PrinterEntry* e = list.first(); e;) {
    if (honourStop && stopEnumerationFlag().load()) {
      stopped = true;
      break;
    }
    if (e->apps[app].delivered || !wanted(*e)) {
      e = list.next(e);
      continue;
    }
    const PRTINFO copy = e->info;
    e->apps[app].delivered = 1;
    list.pin(*e);
    lock.unlock();
    std::this_thread::yield();
    bceTrace("Enumerating to app, handle = %3d, Address=%02X%02X%02X%02X%02X%02X Connections = 0x%08lX\n",
             copy.handle, copy.node[0], copy.node[1], copy.node[2], copy.node[3], copy.node[4], copy.node[5],
             static_cast<unsigned long>(copy.connections));
    proc(&copy);
    ++delivered;
    lock.relock();
    PrinterEntry* following = list.next(e);
    list.unpin(*e);
    e = following;
  }
  return delivered;
}

void clearDelivered(unsigned app, std::uint32_t bit) {
  PrinterListLock lock;
  PrinterList& list = printerList();
  for (PrinterEntry* e = list.first(); e; e = list.next(e))
    if (e->on(bit)) e->apps[app].delivered = 0;
}

bool allZero(const std::uint8_t* p, std::size_t n) {
  for (std::size_t k = 0; k < n; ++k)
    if (p[k]) return false;
  return true;
}

// Calls the transport's entry point under "bce_MutGlobalIn", loading it first; NET_FAIL when it has none.
template <typename Call>
std::int32_t withTransport(int index, Call call) {
  GlobalInLock lock;
  if (LoadNetDll(index) != BCE_OK) return NET_FAIL;
  return call(transportTable().nets[index].fn);
}

}  // namespace

int32_t BceEnumPrintersMF(uint32_t appId, uint32_t netMask, BCEENUMPROC proc) {
  bceTrace("EnumPrinters() called...\n");
  for (const Kind& k : kKindLines)
    if (netMask & k.bit) bceTrace("%s", k.line);
  if (!validApp(appId)) return BCE_OK;
  const unsigned app = appId & 0xFFFF;
  {
    GlobalInLock lock;
    for (int i = 0; i < kNetTransports; ++i)
      if (netMask & networkBitOf(i)) LoadNetDll(i);
  }
  for (int i : kStartOrder) {
    const std::uint32_t bit = networkBitOf(i);
    if (!(netMask & bit)) continue;
    bool once;
    {
      GlobalInLock lock;
      once = transportTable().enumeratedOnce[i] != 0;
    }
    if (once && !(netMask & BCE_NET_FORCE))
      clearDelivered(app, bit);
    else
      startEnumeration(i);
  }
  if (netMask & BCE_NET_LOCAL) scanLocalPorts(app, (netMask & BCE_NET_FORCE) != 0);

  stopEnumerationFlag().store(0);
  const std::uint32_t requested = netMask & 0xFFF;
  bool stopped = false;
  for (bool firstPass = true; proc; firstPass = false) {
    // Judged before the pass: a report that lands during it is seen by the next one.
    const bool finished = !firstPass && !enumerationRunning(netMask);
    int delivered = 0;
    {
      PrinterListLock lock(kPassListWait);
      if (lock.held())
        delivered =
            deliver(lock, app, proc, true, stopped, [&](const PrinterEntry& e) { return e.on(requested); });
    }
    if (stopped || (finished && delivered == 0)) break;
    if (delivered == 0 && !finished) wf::sleepFor(kPassPause);
  }
  if (!stopped && !enumerationRunning(BCE_NET_ALL_BITS)) removeStalePrinters();
  if (netMask & BCE_NET_LOCAL) startSpoolerScan();
  startCallbackRegistration();
  return BCE_OK;
}

int32_t BceEnumSpecificMF(uint32_t appId, const NETADDRESS* address, BCEENUMPROC proc, uint32_t tryAll) {
  if (!address || !proc) return BCE_FAIL;
  if (!validApp(appId)) return 0;
  struct Part {
    int index;
    std::size_t offset, length, node;
  };
  static constexpr Part kParts[] = {{0, 0, 24, 4}, {1, 24, 112, 120}, {2, 136, 30, 136}, {3, 166, 92, 246}};
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(address);
  std::uint32_t found = 0;
  std::uint8_t node[6] = {};
  for (const Part& part : kParts) {
    if (allZero(bytes + part.offset, part.length) || (found && !tryAll)) continue;
    const std::int32_t r = withTransport(part.index, [&](const NetEntryPoints& f) {
      return f.NetEnumSpecific ? f.NetEnumSpecific(address, &EnumCallback) : NET_FAIL;
    });
    if (r != NET_OKAY) continue;
    found |= networkBitOf(part.index);
    std::memcpy(node, bytes + part.node, sizeof node);
  }
  if (!found && !allZero(address->peer, sizeof address->peer)) {
    const std::int32_t r = withTransport(4, [&](const NetEntryPoints& f) {
      return f.NetEnumSpecific ? f.NetEnumSpecific(address, &EnumCallback) : NET_FAIL;
    });
    if (r == NET_OKAY) found = BCE_NET_PEER;
  }
  if (!found && address->local[0]) {
    found = BCE_NET_LOCAL;
    findLocalPrinter(appId & 0xFFFF,
                     std::string_view(address->local, ::strnlen(address->local, sizeof address->local)));
  }

  char peerName[BCE_NAME_LENGTH];
  copyName(peerName, reinterpret_cast<const char*>(address->peer));
  bool stopped = false;
  {
    PrinterListLock lock;
    deliver(lock, appId & 0xFFFF, proc, false, stopped, [&](const PrinterEntry& e) {
      if (!e.on(found)) return false;
      if (found == BCE_NET_PEER) return std::strstr(e.info.name, peerName) != nullptr;
      return std::memcmp(e.info.node, node, sizeof node) == 0;
    });
  }
  if (found == BCE_NET_LOCAL) startSpoolerScan();
  startCallbackRegistration();
  return static_cast<int32_t>(found);
}

int32_t BceEnumSpecificPortMF(uint32_t appId, uint32_t netBit, const void* portDescriptor, BCEENUMPROC proc) {
  if ((netBit != BCE_NET_IP && netBit != BCE_NET_IPX) || !portDescriptor || !proc) return BCE_FAIL;
  if (!validApp(appId)) return 0;
  const int i = transportIndexOf(netBit);
  const std::int32_t r = withTransport(i, [&](const NetEntryPoints& f) {
    return f.NetEnumSpecificPort ? f.NetEnumSpecificPort(portDescriptor, &EnumCallback) : NET_FAIL;
  });
  const std::string text(static_cast<const char*>(portDescriptor),
                         ::strnlen(static_cast<const char*>(portDescriptor), BCE_PORT_DESCRIPTOR_SIZE));
  const std::uint32_t secondBit = i == 1 ? kIpSecondNameBit : kIpxSecondNameBit;
  bool stopped = false;
  {
    PrinterListLock lock;
    deliver(lock, appId & 0xFFFF, proc, false, stopped, [&](const PrinterEntry& e) {
      return e.on(netBit) && e.on(secondBit) && text == e.secondNames[i];
    });
  }
  return r == NET_OKAY ? static_cast<int32_t>(netBit) : 0;
}

int32_t BceGetPrtInfoMF(uint32_t appId, uint32_t handle, PRTINFO* info, uint32_t refresh) {
  if (refresh && info) refreshLocalPrinter(appId, static_cast<std::uint16_t>(handle));
  PrinterListLock lock;
  PrinterEntry* e = printerList().findByHandle(static_cast<std::uint16_t>(handle));
  if (!e) return BCE_ERR_BAD_HANDLE;
  if (!info) return BCE_ERR_PRTINFO_NOT_WRITABLE;
  if (refresh) {
    e->summaryPending = 0;
    e->forgetSummary();
  }
  std::memcpy(info, &e->info, sizeof *info);
  bceTrace("Port: %s\n", e->info.name);
  bceTrace("Handle: %d\n", e->info.handle);
  return BCE_OK;
}

int32_t BceGetPrinterNameMF(uint32_t handle, uint32_t netBit, char* name, char* secondName) {
  PrinterListLock lock;
  const PrinterEntry* e = printerList().findByHandle(static_cast<std::uint16_t>(handle));
  if (!e) return BCE_ERR_BAD_HANDLE;
  const int i = transportIndexOf(netBit);
  if (i < 0 || !e->on(netBit)) return BCE_ERR_NOT_ON_NETWORK;
  if (name) copyName(name, e->names[i].c_str());
  if (secondName) copyName(secondName, e->secondNames[i].c_str());
  return BCE_OK;
}
