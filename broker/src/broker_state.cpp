#include "broker_state.h"

#include "broker.h"

namespace wf::bce {

BrokerState& state() {
  return Broker::instance().state;
}

std::atomic_ref<std::uint32_t> registrationWindow(unsigned appId) {
  return state().appTable->word(appId * 2);
}
std::atomic_ref<std::uint32_t> alertWindow(unsigned appId) {
  return state().appTable->word(appId * 2 + 1);
}
std::atomic_ref<std::uint32_t> stopEnumerationFlag() {
  return state().interrupt->word(0);
}

bool isPrimary() {
  return state().isPrimary;
}

std::int16_t ownAppId() {
  BrokerState& s = state();
  std::lock_guard lock(s.registrationLock);
  return s.ownId;
}

bool registrationCheck(std::uint32_t appId) {
  BrokerState& s = state();
  std::lock_guard lock(s.registrationLock);
  const auto id = static_cast<std::int16_t>(appId & 0xFFFF);
  if (!s.registered || id != s.ownId || id < 0 || id >= BCE_MAX_APPS) return false;
  return registrationWindow(static_cast<unsigned>(id)).load() == s.ownWindow;
}

int registeredAppCount() {
  int n = 0;
  for (unsigned i = 0; i < BCE_MAX_APPS; ++i) n += registrationWindow(i).load() != 0;
  return n;
}

}  // namespace wf::bce
