// Transport binding: loading by file name, the table of entry points, the
// exports that forward to the transports, and the transports' event callback.
#include "transports.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "bidi.h"
#include "broker.h"
#include "broker_state.h"
#include "named_lock.h"
#include "platform/version_info.h"
#include "registration.h"
#include "trace.h"

namespace wf::bce {

namespace {

struct TransportFile {
  const char* fileName;
  const char* description;
};

constexpr TransportFile kFiles[kNetTransports] = {
    {"cornw32.dll", "NetWare Net DLL"},   {"corip32.dll", "IP Net DLL"},
    {"coripx32.dll", "CorIPX Net DLL"},   {"corcl32.dll", "CorLink Net DLL"},
    {"corp2p32.dll", "Peer-to-Peer DLL"},
};

// Version records list the transports as NetWare, CorLink, IP, IPX, peer.
constexpr int kVersionOrder[kNetTransports] = {0, 3, 1, 2, 4};
constexpr const char* kOwnDescription = "Binary Communications Encapsulator - BCE";
constexpr const char* kOwnFileName = "CORBCE.DLL";

// The first transport of the mask in the order NetWare, IP, IPX, CorLink, peer; -1 when none.
int firstTransportOf(std::uint32_t netMask) {
  for (int i = 0; i < kNetTransports; ++i)
    if (netMask & networkBitOf(i)) return i;
  return -1;
}

// The printer's port id on transport i; -1 for no such printer or no port there.
int portIdOn(std::uint32_t handle, int i) {
  PrinterListLock lock;
  const PrinterEntry* e = printerList().findByHandle(static_cast<std::uint16_t>(handle));
  return e && e->on(networkBitOf(i)) ? e->portIds[i] : -1;
}

std::uint16_t versionWord(const VersionInfo& v) {
  const std::uint32_t third = v.fileVersionLS >> 16, fourth = v.fileVersionLS & 0xFFFF;
  const std::uint32_t major = v.fileVersionMS >> 16, minor = v.fileVersionMS & 0xFFFF;
  const std::uint32_t word = (third << 8) | fourth;
  return static_cast<std::uint16_t>(word ? word : (major << 8) | minor);
}

VersionRead versionOfTransport(int index) {
  const auto file = findModuleFile(kFiles[index].fileName);
  return file ? readVersionInfo(*file) : VersionRead{};
}

VersionRead ownVersion() {
  Dl_info info{};
  if (!::dladdr(reinterpret_cast<const void*>(&BceGetVersionMF), &info) || !info.dli_fname) return {};
  return readVersionInfo(info.dli_fname);
}

void copyText(char* to, std::size_t size, const char* from) {
  std::memset(to, 0, size);
  std::strncpy(to, from, size - 1);
}

template <typename Entry>
void describe(Entry& e, const char* description, const char* fileName) {
  copyText(e.description, sizeof e.description, description);
  copyText(e.fileName, sizeof e.fileName, fileName);
}

void registerEventCallbacks() {
  std::uint32_t present = 0;
  {
    PrinterListLock lock;
    PrinterList& list = printerList();
    for (const PrinterEntry* e = list.first(); e; e = list.next(e)) present |= e->info.connections;
  }
  GlobalInLock lock;
  TransportTable& t = transportTable();
  for (int i = 0; i < kNetTransports; ++i) {
    const NetEntryPoints& f = t.nets[i].fn;
    if (!t.nets[i].loaded) continue;
    if (present & networkBitOf(i)) {
      if (f.NetRegisterCallback) f.NetRegisterCallback(&NetEventCallback);
    } else if (f.NetUnregisterCallback) {
      f.NetUnregisterCallback();
    }
  }
  startStatusPoll();
}

}  // namespace

TransportTable& transportTable() {
  return Broker::instance().transports;
}

const char* transportFileName(int index) {
  return index >= 0 && index < kNetTransports ? kFiles[index].fileName : nullptr;
}

int LoadNetDll(int index) {
  if (index < 0 || index >= kNetTransports) return BCE_FAIL;
  TransportEntry& t = transportTable().nets[index];
  if (t.loaded) return BCE_OK;
  ModuleHandle module = loadModule(kFiles[index].fileName);
  if (!module) {
    bceTrace("LoadLibrary(%s) failed\n", kFiles[index].fileName);
    return BCE_FAIL;
  }
  bceTrace("LoadLibrary(%s) worked\n", kFiles[index].fileName);
  t.module = module;
  t.fn = bindNetEntryPoints(module);
  t.loaded = true;
  // Exit destroys a library's static objects in reverse order of loading, so
  // the broker's threads must be stopped by a handler registered after this
  // transport came in; otherwise a dispatcher may still call into it.
  std::atexit([] { detachBroker(); });
  return BCE_OK;
}

void startEnumeration(int index) {
  GlobalInLock lock;
  TransportTable& t = transportTable();
  if (t.enumerationRunning[index]) return;
  markStale(index);
  const NetEnumerateFn enumerate = t.nets[index].fn.NetEnumerate;
  if (!t.nets[index].loaded || !enumerate) return;
  t.enumerationRunning[index] = true;
  t.enumerationThreads[index] = Thread("bce-enum", [index, enumerate](std::stop_token) {
    enumerate(&EnumCallback);
    GlobalInLock done;
    TransportTable& table = transportTable();
    table.enumerationRunning[index] = false;
    table.enumeratedOnce[index] = 1;
  });
}

bool enumerationRunning(std::uint32_t netMask) {
  GlobalInLock lock;
  const TransportTable& t = transportTable();
  for (int i = 0; i < kNetTransports; ++i)
    if ((netMask & networkBitOf(i)) && t.enumerationRunning[i]) return true;
  return false;
}

void startCallbackRegistration() {
  // One at a time: a later start waits for the earlier thread.
  TransportTable& t = transportTable();
  std::lock_guard lock(t.callbackRegistrationLock);
  t.callbackRegistration = Thread("bce-netcb", [](std::stop_token) { registerEventCallbacks(); });
}

void forgetTransportShutdowns() {
  GlobalInLock lock;
  TransportTable& t = transportTable();
  for (int i = 0; i < kNetTransports; ++i) t.nets[i].fn.NetShutDown = nullptr;
}

void shutDownTransports() {
  GlobalInLock lock;
  TransportTable& t = transportTable();
  for (int i = 0; i < kNetTransports; ++i)
    if (t.nets[i].loaded && t.nets[i].fn.NetShutDown) t.nets[i].fn.NetShutDown();
}

std::uint16_t nextAlertKey() {
  std::atomic<std::uint16_t>& counter = transportTable().alertKey;
  std::uint16_t key;
  do key = static_cast<std::uint16_t>(counter.fetch_add(1) + 1);
  while (key == 0);
  return key;
}

std::int32_t NetEventCallback(std::uint32_t kind, std::uint32_t portId, std::uint32_t code, void* data) {
  const std::uint32_t bit = kind & BCE_NET_ALL_BITS;
  const int i = transportIndexOf(bit);
  if (i < 0 || i >= kNetTransports) return 0;
  PrinterListLock lock;
  PrinterList& list = printerList();
  PrinterEntry* e = list.findByPort(i, static_cast<std::int16_t>(portId));
  if (!e) return 0;
  std::uint32_t message = code;
  switch (code) {
    case NETEVENT_RENAMED: {
      if (!data) return 0;
      setName(e->names[i], static_cast<const char*>(data));
      const int twin = i == 2 ? 3 : i == 3 ? 2 : -1;  // IPX and CorLink name one adapter alike
      if (twin >= 0) setName(e->names[twin], static_cast<const char*>(data));
      list.reindex(*e);
      message = WM_BCE_PRINTER_CHANGED;
      break;
    }
    case NETEVENT_ADDRESS_CHANGED:
      if (!data) return 0;
      std::memcpy(e->info.node, data, sizeof e->info.node);
      list.reindex(*e);
      message = WM_BCE_PRINTER_CHANGED;
      break;
    case NETEVENT_REMOVED:
      e->info.connections &= ~bit;
      e->portIds[i] = -1;
      e->names[i].clear();
      e->secondNames[i].clear();
      e->reported[i] = 0;
      break;
    case NETEVENT_DISCONNECTED:
    case NETEVENT_RESYNC:
      break;
    default:
      return 0;
  }
  list.postToDelivered(*e, message, kind);
  return 0;
}

}  // namespace wf::bce

using wf::bce::copyName;
using wf::bce::describe;
using wf::bce::firstTransportOf;
using wf::bce::GlobalInLock;
using wf::bce::kFiles;
using wf::bce::kNetTransports;
using wf::bce::kOwnDescription;
using wf::bce::kOwnFileName;
using wf::bce::kVersionOrder;
using wf::bce::LoadNetDll;
using wf::bce::networkBitOf;
using wf::bce::ownVersion;
using wf::bce::portIdOn;
using wf::bce::PrinterEntry;
using wf::bce::printerList;
using wf::bce::PrinterListLock;
using wf::bce::TransportEntry;
using wf::bce::transportTable;
using wf::bce::TransportTable;
using wf::bce::versionOfTransport;
using wf::bce::versionWord;

int32_t BceGetNetsMF(uint32_t* netMask) {
  std::uint32_t mask = 0;
  {
    GlobalInLock lock;
    for (int i = 0; i < kNetTransports; ++i)
      if (LoadNetDll(i) == BCE_OK) mask |= networkBitOf(i);
  }
  if (netMask) *netMask = mask;
  return BCE_OK;
}

int32_t BceGetPrinterAddrMF(uint32_t handle, uint32_t netMask, NETADDRESS* address) {
  if (!address) return 0;
  std::int32_t filled = 0;
  GlobalInLock lock;
  TransportTable& t = transportTable();
  for (int i = 0; i < kNetTransports; ++i) {
    const std::uint32_t bit = networkBitOf(i);
    if (netMask && !(netMask & bit)) continue;
    if (!t.nets[i].loaded || !t.nets[i].fn.NetGetSpecificAddr) continue;
    const int port = portIdOn(handle, i);
    if (port < 0) continue;
    t.nets[i].fn.NetGetSpecificAddr(static_cast<std::uint16_t>(port), address);
    filled |= static_cast<std::int32_t>(bit);
  }
  if (!netMask || (netMask & BCE_NET_LOCAL)) {
    PrinterListLock listLock;
    if (const PrinterEntry* e = printerList().findByHandle(static_cast<std::uint16_t>(handle))) {
      copyName(address->local, e->info.name);
      filled |= static_cast<std::int32_t>(BCE_NET_LOCAL);
    }
  }
  return filled;
}

namespace {
// Port id to hand a transport for `handle`, or the broker's answer when there is none.
bool portFor(std::uint32_t handle, int i, std::uint16_t& port) {
  if ((handle & 0xFFFF) == BCE_WORKSTATION_HANDLE) {
    port = NET_NO_PORT;
    return true;
  }
  const int id = portIdOn(handle, i);
  if (id < 0) return false;
  port = static_cast<std::uint16_t>(id);
  return true;
}

constexpr std::int32_t kNoPortThere = 0xFFF8;  // NET_BADID as the 16-bit value callers see
}  // namespace

int32_t BceGetNetInfoMF(uint32_t handle, uint32_t netMask, uint32_t infoCode, void* buffer, uint16_t* length,
                        BCENETITEMPROC itemProc) {
  // A call the broker answers itself returns no data.
  auto answer = [&](std::int32_t result) {
    if (length) *length = 0;
    return result;
  };
  const int i = firstTransportOf(netMask);
  if (i < 0) return answer(BCE_FAIL);
  GlobalInLock lock;
  const TransportEntry& t = transportTable().nets[i];
  if (!t.loaded || !t.fn.NetGetInfo) return answer(BCE_FAIL);
  std::uint16_t port;
  if (!portFor(handle, i, port)) return answer(kNoPortThere);
  const std::int32_t r =
      t.fn.NetGetInfo(port, static_cast<std::uint16_t>(infoCode), buffer, length, itemProc);
  return static_cast<std::uint16_t>(r);
}

int32_t BceSetNetInfoMF(uint32_t handle, uint32_t netMask, uint32_t infoCode, const void* buffer,
                        uint16_t length) {
  const int i = firstTransportOf(netMask);
  if (i < 0) return BCE_FAIL;
  GlobalInLock lock;
  const TransportEntry& t = transportTable().nets[i];
  if (!t.loaded || !t.fn.NetSetInfo) return BCE_FAIL;
  std::uint16_t port;
  if (!portFor(handle, i, port)) return kNoPortThere;
  const std::int32_t r = t.fn.NetSetInfo(port, static_cast<std::uint16_t>(infoCode), buffer, length);
  return static_cast<std::uint16_t>(r);
}

int32_t BceGetVersionMF(BCEVERSION* version) {
  if (!version) return BCE_OK;
  std::memset(version, 0, sizeof *version);
  const wf::VersionRead own = ownVersion();
  if (own.status == wf::VersionStatus::Found) version->entries[0].version = versionWord(own.info);
  describe(version->entries[0], kOwnDescription, kOwnFileName);
  for (int n = 0; n < kNetTransports; ++n) {
    const int i = kVersionOrder[n];
    BCEVERSIONENTRY& entry = version->entries[n + 1];
    const wf::VersionRead v = versionOfTransport(i);
    if (v.status == wf::VersionStatus::Found) {
      entry.version = versionWord(v.info);
    } else {
      GlobalInLock lock;
      const TransportEntry& t = transportTable().nets[i];
      if (LoadNetDll(i) == BCE_OK && t.fn.NetGetVersion) entry.version = t.fn.NetGetVersion();
    }
    describe(entry, kFiles[i].description, kFiles[i].fileName);
  }
  return BCE_OK;
}

int32_t BceGetVersionExMF(BCEVERSIONEX* version) {
  if (!version) return BCE_OK;
  std::memset(version, 0, sizeof *version);
  auto fill = [](BCEVERSIONEXENTRY& entry, const wf::VersionRead& v, const char* description,
                 const char* file) {
    if (v.status == wf::VersionStatus::Found) {
      entry.fileVersionMS = v.info.fileVersionMS;
      entry.fileVersionLS = v.info.fileVersionLS;
    }
    describe(entry, description, file);
  };
  fill(version->entries[0], ownVersion(), kOwnDescription, kOwnFileName);
  for (int n = 0; n < kNetTransports; ++n) {
    const int i = kVersionOrder[n];
    fill(version->entries[n + 1], versionOfTransport(i), kFiles[i].description, kFiles[i].fileName);
  }
  return BCE_OK;
}

int32_t BceIsUserAdminMF(uint32_t) {
  return 1;
}
