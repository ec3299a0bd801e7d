#pragma once
// The primary's transport table: one library per network bit, loaded on
// first need by its file name and bound by entry-point name, the enumeration
// threads, and the callbacks the transports call.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "broker/net_entry_points.h"
#include "platform/module.h"
#include "platform/thread.h"
#include "printer_list.h"
#include "workers.h"

namespace wf::bce {

using ::wf::NetEntryPoints;

constexpr int kNetTransports = 5;  // indices 0-4; 5 is the local ports, no library

struct TransportEntry {
  bool loaded = false;
  ModuleHandle module = nullptr;
  NetEntryPoints fn;
};

// Owned by the process's Broker. Flags and entries are read and written under GlobalInLock. Entry points of
// a loaded transport never change, so NetWrite, NetOpen and NetClose callers
// may copy the pointer under the lock and call without it.
struct TransportTable {
  std::uint32_t enumeratedOnce[kTransportSlots] = {};
  bool enumerationRunning[kTransportSlots] = {};
  Thread enumerationThreads[kTransportSlots];
  TransportEntry nets[kTransportSlots];
  std::atomic<std::uint16_t> alertKey{0};  // never under the lock: see nextAlertKey
  std::mutex callbackRegistrationLock;     // one registration thread at a time
  Thread callbackRegistration;
};

TransportTable& transportTable();

// The library's file name by transport index ("cornw32.dll" ...); null for 5.
const char* transportFileName(int index);

// 0 loaded (or already), 1 failure. The caller holds GlobalInLock.
int LoadNetDll(int index);

// Starts transport `index`'s enumeration thread unless one runs; its printers
// are marked stale there first. Takes GlobalInLock.
void startEnumeration(int index);
// Whether any transport of `netMask` has an enumeration running. Takes GlobalInLock.
bool enumerationRunning(std::uint32_t netMask);

// Registers NetEventCallback with every loaded transport that has printers in
// the list and unregisters it from the others, on a thread of its own.
void startCallbackRegistration();

// The next alert key: 1 first, wrapping past 0xFFFF to 1. Atomic, so a
// transport's callback thread never waits for the broker's locks for it.
std::uint16_t nextAlertKey();

// The NETEVENTPROC every transport is given.
std::int32_t NetEventCallback(std::uint32_t kind, std::uint32_t portId, std::uint32_t code, void* data);

}  // namespace wf::bce
