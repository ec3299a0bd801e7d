#pragma once
// What every process that loads the broker keeps: whether it is the primary,
// the shared application table, its own registration and the named objects.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "broker/corbce.h"
#include "platform/shared_memory.h"
#include "platform/sync.h"

namespace wf::bce {

constexpr std::uint32_t kNoWindow = 0xFFFFFFFFu;

struct BrokerState {
  std::atomic<bool> isPrimary{false};  // a secondary whose primary went may take over
  std::optional<SharedMemory> appTable;   // "bcemem_apphandles": 16 BCEAPPSLOT
  std::optional<SharedMemory> interrupt;  // "bcemem_Interrupthandle": stop-enumeration flag
  std::vector<SyncHandle> namedObjects;   // the primary's, closed at detach

  std::recursive_mutex registrationLock;  // own id, window and flag change together
  std::int16_t ownId = -1;
  std::uint32_t ownWindow = kNoWindow;
  bool registered = false;
};

// Valid between attach and detach.
BrokerState& state();

std::atomic_ref<std::uint32_t> registrationWindow(unsigned appId);
std::atomic_ref<std::uint32_t> alertWindow(unsigned appId);
std::atomic_ref<std::uint32_t> stopEnumerationFlag();

// The caller's id is this process's own and its slot still holds our window.
bool registrationCheck(std::uint32_t appId);
std::int16_t ownAppId();
bool isPrimary();

// Number of slots holding a registration window.
int registeredAppCount();

}  // namespace wf::bce
