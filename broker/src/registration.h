#pragma once
// Load and unload of the broker in a process, and the application registry.
#include <cstdint>

namespace wf::bce {

bool attachBroker();
void detachBroker();

// The primary's work when application `appId` goes (request 2 or its own).
void unregisterWorker(std::uint32_t appId);

}  // namespace wf::bce
