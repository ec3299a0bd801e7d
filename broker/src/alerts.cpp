// Alert capture and delivery: the classes each application asked for, the
// capture commands to the printer, the queue of alerts under their keys and
// the posts to the alert windows.
#include "alerts.h"

#include <algorithm>
#include <cstring>
#include <list>
#include <mutex>
#include <vector>

#include "broker.h"
#include "broker/corbce.h"
#include "broker/net_transport.h"
#include "broker_state.h"
#include "local_ports.h"
#include "named_lock.h"
#include "npa.h"
#include "platform/window_messages.h"
#include "printer_list.h"
#include "trace.h"
#include "transports.h"

namespace wf::bce {

namespace {

constexpr std::uint32_t kStorableClasses = BCE_ALERT_ALL & ~BCE_ALERT_UNUSED;
constexpr std::uint32_t kCaptureReplySize = 100;

using AlertItem = AlertQueue::Item;
using OpenRecord = AlertQueue::OpenRecord;

AlertQueue& alerts() {
  return Broker::instance().alerts;
}

bool allDone(const AlertItem& item) {
  return std::all_of(std::begin(item.done), std::end(item.done), [](bool d) { return d; });
}

// Caller holds the queue's lock.
void freeFinished() {
  alerts().items.remove_if(allDone);
}

bool canPost(std::uint32_t window) {
  return window != 0 && window != kNoWindow;
}

std::int32_t dataCallback(int index, std::uint16_t portId, const std::uint8_t* data, std::uint32_t length);
template <int Index>
std::int32_t dataProc(std::uint16_t portId, const std::uint8_t* data, std::uint32_t length) {
  return dataCallback(Index, portId, data, length);
}
constexpr NETDATAPROC kDataProcs[kNetTransports] = {dataProc<0>, dataProc<1>, dataProc<2>, dataProc<3>,
                                                    dataProc<4>};

int alertTransport(std::uint32_t connections) {
  for (std::uint32_t bit : {BCE_NET_PEER, BCE_NET_IPX, BCE_NET_NETWARE, BCE_NET_CORLINK, BCE_NET_IP})
    if (connections & bit) return transportIndexOf(bit);
  return -1;
}

std::int32_t openNetworkForAlerts(std::uint32_t appId, std::uint16_t handle, std::uint32_t connections,
                                  const std::int16_t* portIds) {
  const int index = alertTransport(connections);
  if (index < 0 || index >= kNetTransports || portIds[index] < 0) return BCE_ERR_PORT_OPEN;
  NetOpenFn netOpen = nullptr;
  {
    GlobalInLock lock;
    const TransportEntry& t = transportTable().nets[index];
    if (t.loaded) netOpen = t.fn.NetOpen;
  }
  std::lock_guard lock(alerts().netPortLock);
  auto& records = alerts().openPorts[index];
  const bool mine = std::any_of(records.begin(), records.end(),
                                [&](const OpenRecord& r) { return r.handle == handle && r.appId == appId; });
  const bool others =
      std::any_of(records.begin(), records.end(), [&](const OpenRecord& r) { return r.handle == handle; });
  if (!others && netOpen &&
      netOpen(static_cast<std::uint16_t>(portIds[index]), kDataProcs[index]) != NET_OKAY)
    return BCE_ERR_PORT_OPEN;  // no alert would ever come: the capture must not look armed
  if (!mine) records.push_back({handle, portIds[index], appId});
  return BCE_OK;
}

void closeNetworkForAlerts(std::uint32_t appId, std::uint16_t handle) {
  for (int index = 0; index < kNetTransports; ++index) {
    std::lock_guard lock(alerts().netPortLock);
    auto& records = alerts().openPorts[index];
    const auto before = records.size();
    std::int16_t portId = -1;
    std::erase_if(records, [&](const OpenRecord& r) {
      if (r.handle != handle || r.appId != appId) return false;
      portId = r.portId;
      return true;
    });
    const bool others =
        std::any_of(records.begin(), records.end(), [&](const OpenRecord& r) { return r.handle == handle; });
    if (records.size() == before || others) continue;
    NetCloseFn netClose = nullptr;
    {
      GlobalInLock g;
      const TransportEntry& t = transportTable().nets[index];
      if (t.loaded) netClose = t.fn.NetClose;
    }
    if (netClose) netClose(static_cast<std::uint16_t>(portId));
  }
}

std::uint32_t unionOfMasks(const PrinterEntry& e) {
  std::uint32_t all = 0;
  for (const auto& a : e.apps) all |= a.alertMask;
  return all;
}

// Posts a whole alert message of printer `handle`; `fromLocalPort` gives a
// device-status alert a key of its own.
void deliver(PrinterEntry& e, std::uint8_t command, const std::string& data, bool fromLocalPort) {
  const std::uint16_t handle = e.handle();
  if (command == protocol::npa::kDeviceStatusAlert) {
    const std::uint32_t mask =
        npa::dsaAlertMask(std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
    const std::uint32_t key = fromLocalPort ? nextAlertKey() : 0;
    for (unsigned a = 0; a < BCE_MAX_APPS; ++a) {
      const std::uint32_t window = alertWindow(a).load();
      if (!(e.apps[a].alertMask & BCE_ALERT_DSA_MASK) || !canPost(window)) continue;
      bceTrace("Posting DSA Alert Message to hWnd 0x%04X...\n", window);
      postMessage(window, WM_BCE_DSA_ALERT, key << 16 | handle, mask);
    }
    return;
  }
  const npa::AlertClass cls = npa::classifyAlert(command, data);
  if (!cls.message) {
    bceTrace("Alert 0x%02X of no class from handle %d dropped\n", command, handle);
    return;
  }
  const std::uint16_t key = nextAlertKey();
  std::lock_guard lock(alerts().lock);
  auto& queue = alerts().items;
  AlertItem& item = queue.emplace_back();
  item.key = key;
  std::fill(std::begin(item.done), std::end(item.done), true);
  item.data = data;
  for (unsigned a = 0; a < BCE_MAX_APPS; ++a) {
    const std::uint32_t window = alertWindow(a).load();
    if (!(e.apps[a].alertMask & cls.classBit) || !canPost(window)) continue;
    item.done[a] = false;
    bceTrace("Posting Alert Message to hWnd 0x%04X...\n", window);
    postMessage(window, cls.message, static_cast<std::uint32_t>(key) << 16 | handle, 0);
  }
  if (allDone(item)) queue.pop_back();
}

std::int32_t dataCallback(int index, std::uint16_t portId, const std::uint8_t* data, std::uint32_t length) {
  return NetAlertsCallback(index, portId, data, length);
}

const char* transportLabel(int index) {
  static const char* labels[] = {"   NetWare  ", "    IP      ", "    IPX     ", "   CorLink  ",
                                 " PeerToPeer "};
  return index >= 0 && index < kNetTransports ? labels[index] : "            ";
}

}  // namespace

std::int32_t NetAlertsCallback(int index, std::uint16_t portId, const std::uint8_t* data,
                               std::uint32_t length) {
  if (!data || length == 0) return 1;
  const std::string_view bytes(reinterpret_cast<const char*>(data), length);
  bceTraceData("NetAlert:", portId, transportLabel(index), bytes);
  const npa::Message m = npa::unpackPackets(bytes, npa::Joining::WhileMore);
  if (m.packets == 0) {
    bceTrace("NetAlert: no whole packet in %u bytes from port %u, dropped\n", length, portId);
    return 1;
  }
  PrinterListLock lock;
  PrinterEntry* e = printerList().findByPort(index, static_cast<std::int16_t>(portId));
  if (e)
    deliver(*e, m.command, m.data, false);
  else
    bceTrace("NetAlert: no printer on port %u, dropped\n", portId);
  return 1;
}

void localAlertArrived(std::uint16_t handle, std::uint8_t command, const std::string& data) {
  PrinterListLock lock;
  if (PrinterEntry* e = printerList().findByHandle(handle)) deliver(*e, command, data, true);
}

std::int32_t sendCapture(std::uint32_t appId, std::uint16_t handle, std::uint32_t mask) {
  char reply[kCaptureReplySize];
  const auto dsa = npa::dsaCaptureBytes(mask);
  std::uint32_t length = sizeof reply;
  if (BceSendBidiMF(appId, handle, 0, protocol::request::kCaptureDeviceStatus, reply, &length, dsa.data(),
                    dsa.size()) != BCE_OK)
    return BCE_FAIL;
  const std::uint8_t classes = npa::alertClassByte(mask);
  length = sizeof reply;
  BceSendBidiMF(appId, handle, 0, protocol::request::kCaptureAlertClasses, reply, &length, &classes, 1);
  length = sizeof reply;
  const std::uint32_t panel =
      mask & BCE_ALERT_ROP ? protocol::request::kPanelAlertsOn : protocol::request::kPanelAlertsOff;
  if (BceSendBidiMF(appId, handle, 0, panel, reply, &length, nullptr, 0) != BCE_OK) return BCE_FAIL;
  return BCE_OK;
}

void dropAlertsOf(std::uint32_t appId) {
  std::lock_guard lock(alerts().lock);
  auto& queue = alerts().items;
  for (AlertItem& item : queue) item.done[appId & 0xF] = true;
  freeFinished();
}

void releaseLocalPortsOf(std::uint32_t appId) {
  appId &= 0xF;
  std::vector<std::uint16_t> captured;
  {
    PrinterListLock lock;
    for (PrinterEntry* e = printerList().first(); e; e = printerList().next(e))
      if (e->apps[appId].alertMask) captured.push_back(e->handle());
  }
  for (std::uint16_t h : captured) BceReleaseAlertsMF(appId, h, 1);
  closeLocalPortsOf(appId);
  dropAlertsOf(appId);
}

}  // namespace wf::bce

using wf::bce::AlertItem;
using wf::bce::alerts;
using wf::bce::alertWindow;
using wf::bce::bceTrace;
using wf::bce::canPost;
using wf::bce::closeNetworkForAlerts;
using wf::bce::closePortLocked;
using wf::bce::freeFinished;
using wf::bce::kStorableClasses;
using wf::bce::kTransportSlots;
using wf::bce::openNetworkForAlerts;
using wf::bce::openPortLocked;
using wf::bce::portIndexOfHandle;
using wf::bce::PortSlot;
using wf::bce::portSlot;
using wf::bce::PrinterEntry;
using wf::bce::printerList;
using wf::bce::PrinterListLock;
using wf::bce::sendCapture;
using wf::bce::setCombinedMask;
using wf::bce::unionOfMasks;

int32_t BceCaptureAlertsMF(uint32_t appId, uint32_t handle, const ALERTS* alerts, uint32_t window,
                           uint32_t flag) {
  appId &= 0xF;
  const auto h = static_cast<std::uint16_t>(handle);
  std::uint32_t connections = 0, mine = 0;
  std::int16_t portIds[kTransportSlots];
  {
    PrinterListLock lock;
    const PrinterEntry* e = printerList().findByHandle(h);
    if (!e) return BCE_ERR_BAD_HANDLE;
    if (!(e->info.flags & BCE_PRTINFO_FLAG_NPA)) return BCE_ERR_NOT_CAPABLE;
  }
  bceTrace("\nEntering CaptureAlertsMF() for handle %d\n", h);
  const std::uint32_t given = alerts ? alerts->mask : 0;
  if (given == 0 && (flag & 0xFF) == 0) {
    BceReleaseAlertsMF(appId, h, 1);
    return BCE_OK;
  }
  std::uint32_t all = 0;
  {
    PrinterListLock lock;
    PrinterEntry* e = printerList().findByHandle(h);
    if (!e) return BCE_ERR_BAD_HANDLE;
    if ((flag & 0xFF) == 0) e->apps[appId].alertMask = 0;
    e->apps[appId].alertMask |= given & kStorableClasses;
    mine = e->apps[appId].alertMask;
    all = unionOfMasks(*e);
    connections = e->info.connections;
    std::copy(std::begin(e->portIds), std::end(e->portIds), portIds);
  }
  std::int32_t rc;
  std::uint32_t toSend;
  if (connections & BCE_NET_LOCAL) {
    const int index = portIndexOfHandle(h);
    if (index < 0) return BCE_ERR_BAD_HANDLE;
    PortSlot& slot = portSlot(index);
    std::lock_guard lock(slot.writeLock);
    rc = openPortLocked(slot, index, appId, h, &mine);
    // A replacement may drop classes: the printer is told the union of what is left.
    if (rc == BCE_OK && (flag & 0xFF) == 0) slot.combinedMask = all;
    toSend = slot.combinedMask;
  } else {
    rc = mine ? openNetworkForAlerts(appId, h, connections, portIds) : BCE_OK;
    toSend = all;
  }
  if (rc != BCE_OK) return rc;
  alertWindow(appId).store(window);
  return sendCapture(appId, h, toSend);
}

int32_t BceReleaseAlertsMF(uint32_t appId, uint32_t handle, uint32_t flag) {
  appId &= 0xF;
  const auto h = static_cast<std::uint16_t>(handle);
  {
    PrinterListLock lock;
    if (!printerList().findByHandle(h)) return BCE_ERR_BAD_HANDLE;
  }
  if (!canPost(alertWindow(appId).load())) return BCE_OK;
  if (flag == 0) {
    std::lock_guard lock(alerts().lock);
    auto& queue = alerts().items;
    if (std::any_of(queue.begin(), queue.end(), [&](const AlertItem& i) { return !i.done[appId]; }))
      return BCE_ERR_ALERTS_PENDING;
  }
  std::uint32_t all = 0;
  bool local = false;
  {
    PrinterListLock lock;
    PrinterEntry* e = printerList().findByHandle(h);
    if (!e) return BCE_ERR_BAD_HANDLE;
    if (e->apps[appId].alertMask == 0) {
      bceTrace("->->-> ReleaseAlerts() for appID %d exiting -- already released\n", static_cast<int>(appId));
      return BCE_OK;
    }
    e->apps[appId].alertMask = 0;
    all = unionOfMasks(*e);
    local = e->on(BCE_NET_LOCAL);
  }
  const int index = portIndexOfHandle(h);
  if (local && index >= 0) setCombinedMask(index, all);
  const std::int32_t rc = sendCapture(appId, h, all);
  if (local && index >= 0) {
    PortSlot& slot = portSlot(index);
    std::lock_guard lock(slot.writeLock);
    closePortLocked(slot, appId, 1);
  } else if (!local) {
    closeNetworkForAlerts(appId, h);
  }
  return rc;
}

int32_t BceQueryAlertsMF(uint32_t appId, uint32_t alertKey, uint32_t, uint32_t flag, void* buffer,
                         uint16_t* length) {
  appId &= 0xF;
  std::uint16_t ignored = 0;
  if (!length) length = &ignored;
  std::lock_guard lock(alerts().lock);
  auto& queue = alerts().items;
  auto it = std::find_if(queue.begin(), queue.end(),
                         [&](const AlertItem& i) { return i.key == (alertKey & 0xFFFF); });
  if (it == queue.end()) {
    *length = 0;
    return BCE_FAIL;
  }
  if (!buffer) {
    *length = 0;
    return static_cast<std::int32_t>(it->data.size());
  }
  const auto n = static_cast<std::uint16_t>(std::min<std::size_t>(*length, it->data.size()));
  std::memcpy(buffer, it->data.data(), n);
  *length = n;
  it->done[appId] = true;
  if (flag == 1)
    for (AlertItem& other : queue) other.done[appId] = true;
  freeFinished();
  return BCE_OK;
}
