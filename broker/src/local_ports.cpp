// Local parallel ports: opening per application, the hold by the spooler
// side and its watcher, device control, and the scan of the spooler's ports.
#include <algorithm>
#include <cstring>
#include <vector>

#include "alerts.h"
#include "broker.h"
#include "broker/corbce.h"
#include "local_ports.h"
#include "npa.h"
#include "platform/clock.h"
#include "platform/spooler.h"
#include "printer_list.h"
#include "trace.h"
#include "workers.h"

namespace wf::bce {

namespace {

// Model strings of the printers the broker talks to, tested in this order.
constexpr const char* kModelStrings[] = {
    "7301 plus",
    "Vireo",
    "Corvane Chroma Imager",
    "Pagecrest II",
    "7301 Vx20",
    "Tessaly KX4400 plus",
    "Tessaly KX4400 Plus",
    "Pagecrest 10A",
    "Quorra 6520 Page Printer",
    "Quorra 6524 Page Printer",
    "Lumetra E",
    "7305 plus",
};
constexpr const char* kCorBceValue = "CorBCE";
constexpr const char* kOurPortMonitor = "Corvane Network Printer Monitor";
constexpr std::size_t kDeviceIdBuffer = 4096;

std::atomic<bool> localPortsScanned{false};

bool isOurPrinter(std::string_view deviceId) {
  return std::any_of(std::begin(kModelStrings), std::end(kModelStrings),
                     [&](const char* m) { return deviceId.find(m) != std::string_view::npos; });
}

std::string deviceIdOf(ParallelPort& port) {
  std::string id(kDeviceIdBuffer, '\0');
  std::size_t returned = 0;
  if (port.deviceControl(kDeviceControlGetDeviceId, {}, id, returned) != PortError::None) return {};
  id.resize(std::min(returned, id.size()));
  return id;
}

std::uint16_t npaFlags(int mode) {
  if (mode == kNpaOn) return BCE_PRTINFO_FLAG_NPA;
  if (mode == kNpaAuto) return BCE_PRTINFO_FLAG_NPA | BCE_PRTINFO_FLAG_NPA_AUTO;
  return 0;
}

// Asks the spooler printer that holds the port to give it back.
bool askForPortBack(const std::string& printerName) {
  spool::Spooler& sp = spool::spooler();
  spool::PrinterHandle h = 0;
  if (sp.openPrinter(printerName, h) != spool::kSuccess) return false;
  std::uint32_t type = 0, needed = 0;
  std::byte value[64];
  const std::uint32_t rc = sp.getPrinterData(h, kCorBceValue, type, value, sizeof value, needed);
  sp.closePrinter(h);
  return rc == spool::kSuccess;
}

// NPA mode of a printer whose port is open: the probe request when NPA is
// on, else the PJL query (asked twice when it answers off).
int probeOpenPrinter(std::uint32_t appId, std::uint16_t handle, std::uint16_t flags, int index) {
  if (flags & BCE_PRTINFO_FLAG_NPA) {
    PortSlot& slot = portSlot(index);
    {
      std::lock_guard lock(slot.writeLock);
      if (slot.held) return kNpaAuto;
    }
    char reply[10];
    std::uint32_t length = sizeof reply;
    return BceSendBidiMF(appId, handle, 0, protocol::request::kNpaProbe, reply, &length, "   ", 3) == BCE_OK
               ? kNpaOn
               : kNpaOff;
  }
  PortUse use(index, appId, handle);
  if (use.result() != BCE_OK) return kNpaOff;
  int mode = use.port().pjlQuery();
  if (mode == kNpaOff) mode = use.port().pjlQuery();
  return mode;
}

// The printer's NPA flags from a fresh probe.
void reprobe(std::uint32_t appId, std::uint16_t handle, std::uint16_t flags, int index) {
  const int mode = probeOpenPrinter(appId, handle, flags, index);
  PrinterListLock lock;
  if (PrinterEntry* e = printerList().findByHandle(handle)) {
    e->info.flags =
        static_cast<std::uint16_t>(e->info.flags & ~(BCE_PRTINFO_FLAG_NPA | BCE_PRTINFO_FLAG_NPA_AUTO));
    e->info.flags |= npaFlags(mode);
  }
}

// Step 5 of the scan for an entry whose port was opened before; false when there is none.
bool refreshKnownPrinter(std::uint32_t appId, std::string_view portName) {
  std::uint16_t handle = 0, flags = 0;
  {
    PrinterListLock lock;
    for (PrinterEntry* e = printerList().first(); e; e = printerList().next(e)) {
      if (!e->on(BCE_NET_LOCAL) || strcasecmp(e->info.name, std::string(portName).c_str()) != 0) continue;
      if (e->localPort == 0) return false;
      e->apps[appId].delivered = 0;
      e->info.connections |= BCE_NET_LOCAL;
      e->stale[kLocalSlot] = 0;
      handle = e->handle();
      flags = e->info.flags;
      break;
    }
  }
  if (!handle) return false;
  reprobe(appId, handle, flags, portIndexOf(portName));
  return true;
}

// A port nobody has open: its device ID and, for our printers, its NPA mode. Empty when not ours.
std::optional<int> probeClosedPort(std::string_view portName, bool specific) {
  const int index = portIndexOf(portName);
  PortSlot& slot = portSlot(index);
  std::lock_guard lock(slot.writeLock);
  if (specific) bceTrace("ESL: Opening %s...\n", std::string(portName).c_str());
  PortOpen opened = openParallelPort(portName);
  if (!opened.port) {
    if (specific)
      bceTrace("ESL: Failed to open, error = %ld\n", static_cast<long>(opened.error));
    else if (opened.error == PortError::FileNotFound)
      bceTrace("That port doesn't exist\n");
    else
      bceTrace("Failed to open, error = %ld\n", static_cast<long>(opened.error));
    return std::nullopt;
  }
  if (specific) bceTrace("ESL: %s opened, getting device ID...\n", std::string(portName).c_str());
  if (!isOurPrinter(deviceIdOf(*opened.port))) return std::nullopt;
  bceTrace("Accepting printer on %s\n", std::string(portName).c_str());
  return pjlQuery(*opened.port, index + 1);
}

void reportLocalPrinter(std::string_view portName, int mode) {
  NETPORTINFO report{};
  copyName(report.portName, std::string(portName).c_str());
  copyName(report.secondName, std::string(portName).c_str());
  report.connections = BCE_NET_LOCAL | kFirstReportedByOwnSide;
  report.flags = static_cast<std::uint16_t>(BCE_PRTINFO_FLAG_PRESENT | npaFlags(mode));
  EnumCallback(&report);
}

std::vector<std::string> spoolerPortNames(bool& failed) {
  failed = false;
  spool::Spooler& sp = spool::spooler();
  std::uint32_t needed = 0, returned = 0;
  sp.enumPorts(1, nullptr, 0, needed, returned);
  std::vector<std::string> names;
  if (needed > 0) {
    std::vector<spool::PortInfo1> buffer((needed + sizeof(spool::PortInfo1) - 1) / sizeof(spool::PortInfo1));
    const auto size = static_cast<std::uint32_t>(buffer.size() * sizeof(spool::PortInfo1));
    if (sp.enumPorts(1, reinterpret_cast<std::byte*>(buffer.data()), size, needed, returned) !=
        spool::kSuccess) {
      failed = true;
      return {};
    }
    for (std::uint32_t i = 0; i < returned; ++i) names.emplace_back(buffer[i].name);
    bceTrace("Enumeration worked, there are %d ports\n", static_cast<int>(returned));
    return names;
  }
  for (int n = 1; n <= kLocalPorts; ++n) names.push_back("LPT" + std::to_string(n) + ":");
  bceTrace("In FailSafe mode, there are 9 ports\n");
  return names;
}

void watchHeldPort(std::stop_token stop, int index) {
  std::uint16_t handle = 0;
  {
    const std::string want = "LPT" + std::to_string(index + 1) + ":";
    PrinterListLock lock;
    for (PrinterEntry* e = printerList().first(); e; e = printerList().next(e))
      if (e->on(BCE_NET_LOCAL) && strcasecmp(e->info.name, want.c_str()) == 0) handle = e->handle();
  }
  if (!handle) return;
  PortSlot& slot = portSlot(index);
  for (;;) {
    std::int32_t rc;
    {
      std::lock_guard lock(slot.writeLock);
      rc = openPortLocked(slot, index, BCE_PRIMARY_APP_ID, handle, nullptr);
    }
    if (rc != BCE_ERR_PORT_HELD) {
      if (rc == BCE_OK) sendCapture(BCE_PRIMARY_APP_ID, handle, combinedMask(index));
      return;
    }
    if (!sleepFor(timeouts::kWatcherRetry, stop)) return;
  }
}

// Asks every spooler printer on an LPT port that our port monitor serves
// for "CorBCE", so the monitor gives back a port it still holds.
void scanSpoolerPrinters() {
  spool::Spooler& sp = spool::spooler();
  std::uint32_t needed = 0, returned = 0;
  sp.enumPrinters(2, nullptr, 0, needed, returned);
  if (needed == 0) return;
  std::vector<spool::PrinterInfo2> printers((needed + sizeof(spool::PrinterInfo2) - 1) /
                                            sizeof(spool::PrinterInfo2));
  if (sp.enumPrinters(2, reinterpret_cast<std::byte*>(printers.data()),
                      static_cast<std::uint32_t>(printers.size() * sizeof(spool::PrinterInfo2)), needed,
                      returned) != spool::kSuccess)
    return;
  for (std::uint32_t i = 0; i < returned && i < printers.size(); ++i) {
    if (!printers[i].portName || !std::strstr(printers[i].portName, "LPT")) continue;
    spool::PrinterHandle h = 0;
    if (sp.openPrinter(printers[i].printerName, h) != spool::kSuccess) continue;
    std::uint32_t size = 0;
    sp.getPrinterDriver(h, 3, nullptr, 0, size);
    std::vector<spool::DriverInfo3> driver((size + sizeof(spool::DriverInfo3) - 1) /
                                           sizeof(spool::DriverInfo3));
    if (size &&
        sp.getPrinterDriver(h, 3, reinterpret_cast<std::byte*>(driver.data()),
                            static_cast<std::uint32_t>(driver.size() * sizeof(spool::DriverInfo3)),
                            size) == spool::kSuccess &&
        driver[0].monitorName && std::strcmp(driver[0].monitorName, kOurPortMonitor) == 0) {
      std::uint32_t type = 0;
      std::byte value[64];
      sp.getPrinterData(h, kCorBceValue, type, value, sizeof value, needed);
    }
    sp.closePrinter(h);
  }
}

}  // namespace

void startSpoolerScan() {
  LocalPortTable& table = Broker::instance().localPorts;
  std::lock_guard lock(table.spoolerScanLock);
  if (table.spoolerScan.joinable() && !table.spoolerScan.finished()) return;
  table.spoolerScan = Thread("bce-spoolscan", [](std::stop_token) { scanSpoolerPrinters(); });
}

int portIndexOf(std::string_view name) {
  const int n = parallelPortNumber(name);
  return n >= 1 && n <= kLocalPorts ? n - 1 : -1;
}

PortSlot& portSlot(int index) {
  return Broker::instance().localPorts.slots[index];
}

int portIndexOfHandle(std::uint16_t handle) {
  return handle >= kFirstLocalHandle && handle <= kLastLocalHandle ? handle - kFirstLocalHandle : -1;
}

std::int32_t openPortLocked(PortSlot& slot, int index, std::uint32_t appId, std::uint16_t handle,
                            const std::uint32_t* mask) {
  if (slot.held) {
    sleepFor(timeouts::kHeldPortWait);
    if (!askForPortBack(slot.heldPrinter)) return BCE_ERR_PORT_HELD;
    slot.held = false;
    slot.heldPrinter.clear();
  }
  auto mark = [&] {
    if (mask)
      slot.combinedMask |= *mask;
    else
      slot.openedBy[appId] = 1;
  };
  if (slot.channel) {
    mark();
    return BCE_OK;
  }
  const std::string name = "LPT" + std::to_string(index + 1) + ":";
  PortError error;
  slot.channel = LocalPort::open(
      name, [handle](std::uint8_t command, std::string data) { localAlertArrived(handle, command, data); },
      error);
  if (!slot.channel) {
    bceTrace("CreateFile() failed w/ %ld in OpenPort()", static_cast<long>(error));
    // A printer still held by the spooler side is the held answer, not a missing port.
    return error == PortError::AccessDenied && !slot.heldPrinter.empty() ? BCE_ERR_PORT_HELD
                                                                         : BCE_ERR_PORT_OPEN;
  }
  slot.handle = handle;
  slot.name = name;
  mark();
  PrinterListLock lock;
  if (PrinterEntry* e = printerList().findByHandle(handle))
    e->localPort = static_cast<std::uint32_t>(index + 1);
  return BCE_OK;
}

void closePortLocked(PortSlot& slot, std::uint32_t appId, int mode) {
  if (!slot.channel) return;
  if (mode == 2) slot.openedBy[appId] = 0;
  if (slot.combinedMask != 0 ||
      std::any_of(std::begin(slot.openedBy), std::end(slot.openedBy), [](std::uint32_t f) { return f != 0; }))
    return;
  slot.channel.reset();  // joins the reader before the port closes
  const std::uint16_t handle = slot.handle;
  slot.handle = 0;
  slot.name.clear();
  PrinterListLock lock;
  if (PrinterEntry* e = printerList().findByHandle(handle)) e->localPort = 0;
}

void setCombinedMask(int index, std::uint32_t mask) {
  PortSlot& slot = portSlot(index);
  std::lock_guard lock(slot.writeLock);
  slot.combinedMask = mask;
}

std::uint32_t combinedMask(int index) {
  PortSlot& slot = portSlot(index);
  std::lock_guard lock(slot.writeLock);
  return slot.combinedMask;
}

PortUse::PortUse(int index, std::uint32_t appId, std::uint16_t handle)
    : slot_(portSlot(index)), lock_(slot_.writeLock), appId_(appId) {
  if (slot_.channel && !slot_.held && slot_.openedBy[appId]) return;
  result_ = openPortLocked(slot_, index, appId, handle, nullptr);
  openedForCall_ = result_ == BCE_OK;
}

PortUse::~PortUse() {
  if (openedForCall_) closePortLocked(slot_, appId_, 2);
}

void scanLocalPorts(std::uint32_t appId, bool forced) {
  appId &= 0xF;
  if (!forced && localPortsScanned.load()) {
    PrinterListLock lock;
    for (PrinterEntry* e = printerList().first(); e; e = printerList().next(e))
      if (e->on(BCE_NET_LOCAL)) e->apps[appId].delivered = 0;
    return;
  }
  markStale(kLocalSlot);
  bool failed = false;
  const std::vector<std::string> names = spoolerPortNames(failed);
  if (!failed) {
    for (const std::string& name : names) {
      if (name.size() < 4 || !name.starts_with("LPT") || name[3] < '1' || name[3] > '9') {
        bceTrace("Skipping %s...\n", name.c_str());
        continue;
      }
      bceTrace("Attempting to open %s...\n", name.c_str());
      if (refreshKnownPrinter(appId, name)) continue;
      if (auto mode = probeClosedPort(name, false)) reportLocalPrinter(name, *mode);
    }
  }
  localPortsScanned.store(true);
  sleepFor(timeouts::kScanPause);
}

bool findLocalPrinter(std::uint32_t appId, std::string_view portName) {
  appId &= 0xF;
  if (portIndexOf(portName) < 0) return false;
  bool found = refreshKnownPrinter(appId, portName);
  if (!found) {
    auto mode = probeClosedPort(portName, true);
    found = mode && (*mode == kNpaOn || *mode == kNpaAuto);
    if (found) reportLocalPrinter(portName, *mode);
  }
  if (found) sleepFor(timeouts::kScanPause);
  return found;
}

void refreshLocalPrinter(std::uint32_t appId, std::uint16_t handle) {
  const int index = portIndexOfHandle(handle);
  if (index < 0) return;
  std::uint16_t flags = 0;
  {
    PrinterListLock lock;
    const PrinterEntry* e = printerList().findByHandle(handle);
    if (!e) return;
    flags = e->info.flags;
  }
  reprobe(appId & 0xF, handle, flags, index);
}

void closeLocalPortsOf(std::uint32_t appId) {
  appId &= 0xF;
  for (int i = 0; i < kLocalPorts; ++i) {
    PortSlot& slot = portSlot(i);
    std::lock_guard lock(slot.writeLock);
    closePortLocked(slot, appId, 2);
  }
}

std::int32_t holdPortMF(std::string_view portName, std::string_view printerName) {
  if (!portName.starts_with("LPT")) return BCE_FAIL;
  const int index = portIndexOf(portName);
  if (index < 0) return BCE_OK;
  PortSlot& slot = portSlot(index);
  Thread previous;  // a watcher of an earlier hold, joined outside the lock it takes
  {
    std::lock_guard lock(slot.writeLock);
    if (!slot.channel) return BCE_OK;
    slot.held = true;
    slot.heldPrinter = std::string(printerName);
    slot.channel.reset();  // the reader is joined before the port closes
    slot.handle = 0;
    previous = std::move(slot.watcher);
    slot.watcher = Thread("bce-watch" + std::to_string(index + 1),
                          [index](std::stop_token stop) { watchHeldPort(stop, index); });
  }
  previous.requestStop();
  return BCE_OK;
}

std::int32_t portDeviceControlMF(std::uint32_t appId, std::uint32_t handle, std::uint32_t controlCode,
                                 const void* in, std::uint32_t inSize, void* out, std::uint32_t outSize,
                                 std::uint32_t* returned) {
  if (returned) *returned = 0;
  const auto h = static_cast<std::uint16_t>(handle);
  const int index = portIndexOfHandle(h);
  {
    PrinterListLock lock;
    if (index < 0 || !printerList().findByHandle(h)) return BCE_ERR_BAD_HANDLE;
  }
  PortUse use(index, appId & 0xF, h);
  if (use.result() != BCE_OK) return BCE_FAIL;
  std::size_t got = 0;
  const PortError rc =
      use.port().deviceControl(controlCode, std::string_view(static_cast<const char*>(in), in ? inSize : 0),
                               std::span<char>(static_cast<char*>(out), out ? outSize : 0), got);
  if (returned) *returned = static_cast<std::uint32_t>(got);
  return rc == PortError::None ? BCE_OK : BCE_FAIL;
}

}  // namespace wf::bce

using wf::bce::bceTrace;
using wf::bce::closePortLocked;
using wf::bce::kFirstNetworkHandle;
using wf::bce::openPortLocked;
using wf::bce::portIndexOfHandle;
using wf::bce::PortSlot;
using wf::bce::portSlot;
using wf::bce::printerList;
using wf::bce::PrinterListLock;

int32_t BceOpenMF(uint32_t appId, uint32_t handle, uint32_t) {
  const auto h = static_cast<std::uint16_t>(handle);
  if (h > 100) return BCE_OK;
  bceTrace("BceOpen() called for handle %d\n", h);
  const int index = portIndexOfHandle(h);
  {
    PrinterListLock lock;
    if (index < 0 || !printerList().findByHandle(h)) return BCE_ERR_BAD_HANDLE;
  }
  PortSlot& slot = portSlot(index);
  std::lock_guard lock(slot.writeLock);
  return openPortLocked(slot, index, appId & 0xF, h, nullptr);
}

int32_t BceCloseMF(uint32_t appId, uint32_t handle) {
  const auto h = static_cast<std::uint16_t>(handle);
  if (h >= kFirstNetworkHandle) return BCE_OK;
  bceTrace("BceClose() called for handle %d\n", h);
  const int index = portIndexOfHandle(h);
  {
    PrinterListLock lock;
    if (index < 0 || !printerList().findByHandle(h)) return BCE_ERR_BAD_HANDLE;
  }
  PortSlot& slot = portSlot(index);
  std::lock_guard lock(slot.writeLock);
  closePortLocked(slot, appId & 0xF, 2);
  return BCE_OK;
}
