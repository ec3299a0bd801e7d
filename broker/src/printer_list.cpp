#include "printer_list.h"

#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "broker.h"
#include "broker_state.h"
#include "platform/window_messages.h"
#include "trace.h"

namespace wf::bce {

namespace {

constexpr std::uint32_t kAnyBit = 0xFFF;
constexpr std::uint16_t kFirstComHandle = 51;
constexpr std::uint16_t kFirstOtherLocalHandle = 60;  // above COM9, so no local name takes another's handle
constexpr std::uint16_t kLastHandle = 0xFFFE;         // 0xFFFF names the workstation

std::string_view nameOf(const char (&name)[BCE_NAME_LENGTH]) {
  return {name, ::strnlen(name, BCE_NAME_LENGTH)};
}

bool matchesKindToo(std::uint16_t adapterClass) {
  return adapterClass == 2 || adapterClass == 4 || adapterClass == 8;
}

std::string addressKey(const std::uint8_t (&node)[6], std::uint16_t adapterClass, std::uint16_t portKind) {
  std::string key(reinterpret_cast<const char*>(node), 6);
  key.append(reinterpret_cast<const char*>(&adapterClass), 2);
  if (matchesKindToo(adapterClass)) key.append(reinterpret_cast<const char*>(&portKind), 2);
  return key;
}

// The captured-port bits of every transport's last report but `except`'s.
std::uint32_t otherCapturedBits(const PrinterEntry& e, int except) {
  std::uint32_t bits = 0;
  for (int i = 0; i < kTransportSlots; ++i)
    if (i != except) bits |= e.reported[i] & BCE_NET_LOCAL_PORT_BITS;
  return bits;
}

// Drops transport i's captured-port bits, keeping those another transport still reports.
void dropCapturedBits(PrinterEntry& e, int i) {
  e.info.connections = (e.info.connections & ~BCE_NET_LOCAL_PORT_BITS) | otherCapturedBits(e, i);
}

std::uint32_t secondNameBit(int index) {
  return index == 1 ? kIpSecondNameBit : index == 2 ? kIpxSecondNameBit : 0;
}

// Second name and own-name rules shared by add and merge.
void takeNames(PrinterEntry& e, const NETPORTINFO& report, int i) {
  setName(e.names[i], report.portName);
  if (const std::uint32_t bit = secondNameBit(i)) {
    if (report.secondName[0]) {
      setName(e.secondNames[i], report.secondName);
      e.info.connections |= bit;
    } else {
      e.secondNames[i].clear();
      e.info.connections &= ~bit;
    }
  }
  if (i == 4) copyName(e.info.name, report.portName);
  if (i == kLocalSlot) copyName(e.info.name, report.secondName);
}

std::uint16_t localHandleFor(std::string_view name) {
  auto digitAfter = [&](std::string_view prefix) -> int {
    if (name.size() > prefix.size() && name.starts_with(prefix) && name[prefix.size()] >= '1' &&
        name[prefix.size()] <= '9')
      return name[prefix.size()] - '0';
    return 0;
  };
  if (const int d = digitAfter("LPT")) return static_cast<std::uint16_t>(10 + d);
  if (const int d = digitAfter("COM")) return static_cast<std::uint16_t>(50 + d);
  return 0;
}

}  // namespace

int transportIndexOf(std::uint32_t netBit) {
  switch (netBit) {
    case BCE_NET_NETWARE:
      return 0;
    case BCE_NET_IP:
      return 1;
    case BCE_NET_IPX:
      return 2;
    case BCE_NET_CORLINK:
      return 3;
    case BCE_NET_PEER:
      return 4;
    case BCE_NET_LOCAL:
      return kLocalSlot;
    default:
      return -1;
  }
}

std::uint32_t networkBitOf(int index) {
  static constexpr std::uint32_t bits[kTransportSlots] = {BCE_NET_NETWARE, BCE_NET_IP,   BCE_NET_IPX,
                                                          BCE_NET_CORLINK, BCE_NET_PEER, BCE_NET_LOCAL};
  return index >= 0 && index < kTransportSlots ? bits[index] : 0;
}

void setName(std::string& to, const char* from) {
  to.assign(from ? from : "", from ? ::strnlen(from, BCE_NAME_LENGTH - 1) : 0);
}

void copyName(char* to, const char* from) {
  const std::size_t n = from ? ::strnlen(from, BCE_NAME_LENGTH - 1) : 0;
  std::memcpy(to, from ? from : "", n);
  std::memset(to + n, 0, BCE_NAME_LENGTH - n);
}

PrinterEntry::~PrinterEntry() {
  if (mutex != kNoSyncHandle) closeSyncHandle(mutex);
}

// ---- List -----------------------------------------------------------------

struct PrinterList::Indexes {
  // Entries by key, each key's entries by insertion order: the first is the first match.
  std::unordered_map<std::string, std::map<std::uint64_t, PrinterEntry*>> byAddress, byPeer;
  std::vector<PrinterEntry*> byHandle = std::vector<PrinterEntry*>(0x10000, nullptr);
  std::set<std::uint16_t> handles;
};

PrinterList& printerList() {
  return Broker::instance().printers;
}

PrinterEntry* PrinterList::first() const {
  PrinterEntry* e = head_;
  while (e && e->removed_) e = e->next_;
  return e;
}

PrinterEntry* PrinterList::next(const PrinterEntry* entry) const {
  PrinterEntry* e = entry->next_;
  while (e && e->removed_) e = e->next_;
  return e;
}

PrinterEntry* PrinterList::findByHandle(std::uint16_t handle) const {
  return indexes_ ? indexes_->byHandle[handle] : nullptr;
}

PrinterEntry* PrinterList::findByPort(int index, std::int16_t portId) const {
  const std::uint32_t bit = networkBitOf(index);
  for (PrinterEntry* e = first(); e; e = next(e))
    if (e->on(bit) && e->portIds[index] == portId) return e;
  return nullptr;
}

PrinterEntry* PrinterList::findForReport(const NETPORTINFO& report) const {
  if (report.connections & BCE_NET_PEER) {
    if (!indexes_ || !report.portName[0]) return nullptr;
    char name[BCE_NAME_LENGTH];
    copyName(name, report.portName);
    auto it = indexes_->byPeer.find(std::string(nameOf(name)));
    return it == indexes_->byPeer.end() ? nullptr : it->second.begin()->second;
  }
  if (report.connections & BCE_NET_LOCAL) {
    char name[BCE_NAME_LENGTH];
    copyName(name, report.secondName);
    if (!name[0]) return nullptr;
    for (PrinterEntry* e = first(); e; e = next(e))
      if (nameOf(e->info.name) == nameOf(name)) return e;
    return nullptr;
  }
  if (!indexes_) return nullptr;
  std::uint8_t node[6];
  std::memcpy(node, report.node, 6);
  auto it = indexes_->byAddress.find(addressKey(node, report.adapterClass, report.portKind));
  return it == indexes_->byAddress.end() ? nullptr : it->second.begin()->second;
}

std::uint16_t PrinterList::newHandle(const PrinterEntry& entry) const {
  const auto& handles = indexes_->handles;
  if (entry.on(BCE_NET_LOCAL)) {
    if (const std::uint16_t h = localHandleFor(nameOf(entry.info.name))) return indexes_->byHandle[h] ? 0 : h;
    auto it = handles.lower_bound(kFirstNetworkHandle - 1);
    std::uint16_t h = kFirstOtherLocalHandle;
    if (it != handles.begin() && *std::prev(it) >= kFirstOtherLocalHandle)
      h = static_cast<std::uint16_t>(*std::prev(it) + 1);
    return h < kFirstNetworkHandle - 1 ? h : 0;
  }
  const std::uint16_t highest = handles.empty() ? 0 : *handles.rbegin();
  if (highest < kFirstNetworkHandle) return kFirstNetworkHandle;
  if (highest < kLastHandle) return static_cast<std::uint16_t>(highest + 1);
  // Every network handle taken: say so without a walk over all of them, which
  // each further report of a full list would repeat.
  const auto firstNetwork = handles.lower_bound(kFirstNetworkHandle);
  const auto localCount = static_cast<std::size_t>(std::distance(handles.begin(), firstNetwork));
  if (handles.size() - localCount > std::size_t{kLastHandle} - kFirstNetworkHandle) return 0;
  // The top is taken: the lowest free network handle.
  std::uint32_t h = kFirstNetworkHandle;
  for (auto it = handles.lower_bound(kFirstNetworkHandle); it != handles.end() && *it == h; ++it) ++h;
  return h <= kLastHandle ? static_cast<std::uint16_t>(h) : 0;
}

void PrinterList::index(PrinterEntry& e) {
  e.addressKey_ = addressKey(e.info.node, e.info.adapterClass, e.info.portKind);
  indexes_->byAddress[e.addressKey_].emplace(e.order_, &e);
  e.peerKey_ = e.names[4];
  if (!e.peerKey_.empty()) indexes_->byPeer[e.peerKey_].emplace(e.order_, &e);
}

void PrinterList::unindex(PrinterEntry& e) {
  auto drop = [&](auto& map, const std::string& key) {
    auto it = map.find(key);
    if (it == map.end()) return;
    it->second.erase(e.order_);
    if (it->second.empty()) map.erase(it);
  };
  drop(indexes_->byAddress, e.addressKey_);
  if (!e.peerKey_.empty()) drop(indexes_->byPeer, e.peerKey_);
}

void PrinterList::reindex(PrinterEntry& e) {
  if (e.removed_) return;
  unindex(e);
  index(e);
}

PrinterEntry* PrinterList::add(const NETPORTINFO& report, int i) {
  if (!indexes_) indexes_ = new Indexes;
  auto e = std::make_unique<PrinterEntry>();
  e->info.flags = report.flags;
  e->portIds[i] = static_cast<std::int16_t>(report.portId);
  e->info.adapterClass = report.adapterClass;
  e->info.portKind = report.portKind;
  e->info.connections = report.connections;
  if (i != 0 && i != 3) e->info.connections |= kFirstReportedByOwnSide;
  e->reported[i] = report.connections;
  e->info.packetSize = kInitialPacketSize;
  takeNames(*e, report, i);
  std::memcpy(e->info.node, report.node, 6);
  e->mutex = createMutex("", false);
  if (e->mutex == kNoSyncHandle) return nullptr;
  e->info.handle = newHandle(*e);
  if (e->info.handle == 0) {
    bceTrace("No handle left for printer \"%s\"\n", e->names[i].c_str());
    return nullptr;
  }
  e->order_ = nextOrder_++;
  PrinterEntry* raw = e.release();
  raw->prev_ = tail_;
  (tail_ ? tail_->next_ : head_) = raw;
  tail_ = raw;
  ++count_;
  indexes_->byHandle[raw->info.handle] = raw;
  indexes_->handles.insert(raw->info.handle);
  index(*raw);
  return raw;
}

void PrinterList::merge(PrinterEntry& e, const NETPORTINFO& report, int i) {
  e.stale[i] = 0;
  takeNames(e, report, i);
  std::memcpy(e.info.node, report.node, 6);
  e.info.flags = report.flags;
  e.portIds[i] = static_cast<std::int16_t>(report.portId);
  if (e.on(kAnyBit)) dropCapturedBits(e, i);
  e.info.connections |= report.connections;
  e.reported[i] = report.connections;
  for (auto& app : e.apps) app.delivered = 0;
  e.summaryPending = 0;
  e.forgetSummary();
  reindex(e);
}

void PrinterList::postToDelivered(const PrinterEntry& e, std::uint32_t message, std::uint32_t lParam) const {
  for (unsigned app = 0; app < BCE_MAX_APPS; ++app) {
    if (!e.apps[app].delivered) continue;
    if (const std::uint32_t window = registrationWindow(app).load())
      postMessage(window, message, e.info.handle, lParam);
  }
}

void PrinterList::remove(PrinterEntry& e) {
  if (e.removed_) return;
  postToDelivered(e, WM_BCE_PRINTER_REMOVED, BCE_PRINTER_DELETED);
  e.removed_ = true;
  unindex(e);
  indexes_->byHandle[e.info.handle] = nullptr;
  indexes_->handles.erase(e.info.handle);
  --count_;
  if (e.pins_ == 0) unlink(e);
}

void PrinterList::unlink(PrinterEntry& e) {
  (e.prev_ ? e.prev_->next_ : head_) = e.next_;
  (e.next_ ? e.next_->prev_ : tail_) = e.prev_;
  delete &e;
}

void PrinterList::pin(PrinterEntry& e) {
  ++e.pins_;
}

void PrinterList::unpin(PrinterEntry& e) {
  if (--e.pins_ == 0 && e.removed_) unlink(e);
}

void PrinterList::clear() {
  for (PrinterEntry* e = head_; e;) {
    PrinterEntry* following = e->next_;
    if (!e->removed_) {
      e->removed_ = true;
      unindex(*e);
      indexes_->byHandle[e->info.handle] = nullptr;
      indexes_->handles.erase(e->info.handle);
      --count_;
    }
    if (e->pins_ == 0) unlink(*e);
    e = following;
  }
}

// ---- Reports --------------------------------------------------------------

std::uint16_t EnumCallback(const NETPORTINFO* report) {
  if (!report) return 1;
  const std::uint32_t bits = report->connections & kAnyBit;
  bceTrace("Protocol is 0x%02X\n", static_cast<unsigned>(bits));
  const int i = transportIndexOf(bits);
  if (i < 0) {
    bceTrace("Dropped a printer report of no single network (0x%03X)\n", static_cast<unsigned>(bits));
    return 1;
  }
  {
    PrinterListLock lock;
    PrinterList& list = printerList();
    if (PrinterEntry* e = list.findForReport(*report)) {
      bceTrace("Merging the printer into the Printers list\n");
      list.merge(*e, *report, i);
    } else {
      list.add(*report, i);
    }
  }
  bceTrace("****** Exiting EnumCallback for type 0x%02X\n", static_cast<unsigned>(bits));
  return 1;
}

void markStale(int i) {
  const std::uint32_t bit = networkBitOf(i);
  PrinterListLock lock;
  PrinterList& list = printerList();
  for (PrinterEntry* e = list.first(); e; e = list.next(e)) {
    if (!e->on(bit)) continue;
    e->stale[i] = 1;
    dropCapturedBits(*e, i);
    e->reported[i] &= ~BCE_NET_LOCAL_PORT_BITS;
    if (const std::uint32_t second = secondNameBit(i)) {
      e->info.connections &= ~second;
      e->secondNames[i].clear();
    }
  }
}

void removeStalePrinters() {
  PrinterListLock lock;
  PrinterList& list = printerList();
  for (PrinterEntry* e = list.first(); e;) {
    PrinterEntry* following = list.next(e);
    for (int i = 0; i < kTransportSlots; ++i) {
      if (!e->stale[i]) continue;
      e->stale[i] = 0;
      e->info.connections &= ~networkBitOf(i);
      e->portIds[i] = -1;
    }
    if (!e->on(kAnyBit)) list.remove(*e);
    e = following;
  }
}

}  // namespace wf::bce
