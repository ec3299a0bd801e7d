#include "registration.h"

#include <cstdlib>
#include <string>

#include "broker_state.h"
#include "broker_timeouts.h"
#include "dispatcher.h"
#include "mail_client.h"
#include "mail_protocol.h"
#include "platform/module.h"
#include "trace.h"
#include "workers.h"

namespace wf::bce {

namespace {

constexpr std::size_t kAppTableSize = BCE_MAX_APPS * sizeof(BCEAPPSLOT);

void createNamedObjects(BrokerState& s) {
  auto keep = [&](SyncHandle h) { s.namedObjects.push_back(h); };
  keep(createMutex("bce_MutGlobalIn", false));
  keep(createMutex("bce_MutPrintersAccess", false));
  for (int n = 1; n <= 9; ++n) {
    const std::string d = std::to_string(n);
    keep(createSemaphore("bce_SemPort" + d, 1, 1));
    keep(createSemaphore("bce_SemResponsePort" + d, 0, 1));
    keep(createSemaphore("bce_SemResponseClearPort" + d, 1, 1));
  }
  for (int n = 1; n <= 6; ++n) keep(createSemaphore("bce_SemNetPort" + std::to_string(n), 1, 1));
}

// Takes the first slot that is free or already ours. A secondary never
// takes slot 0: it belongs to the primary's own application.
int claimSlot(std::uint32_t window, bool primary) {
  for (unsigned i = primary ? 0 : 1; i < BCE_MAX_APPS; ++i) {
    auto word = registrationWindow(i);
    std::uint32_t current = 0;
    if (word.compare_exchange_strong(current, window) || current == window) return static_cast<int>(i);
  }
  return -1;
}

void freeSlot(unsigned id, std::uint32_t window) {
  registrationWindow(id).compare_exchange_strong(window, 0);
}

// A secondary that saw its primary go takes its place, unless another did
// first: the primary mailslot's liveness lock lets one process create it.
// Slot 0 may still name a primary that was killed; it becomes ours.
bool takeOver(BrokerState& s, std::uint32_t window) {
  if (s.isPrimary || !primaryLost()) return false;
  if (!startPrimaryChannel()) return false;
  s.isPrimary = true;
  createNamedObjects(s);
  registrationWindow(0).store(window);
  bceTrace("Taking over as the primary\n");
  return true;
}

void forgetRegistration(BrokerState& s) {
  s.ownId = -1;
  s.ownWindow = kNoWindow;
  s.registered = false;
}

}  // namespace

bool attachBroker() {
  BrokerState& s = state();
  std::string error;
  s.appTable = SharedMemory::open("bcemem_apphandles", kAppTableSize, &error);
  if (!s.appTable) {
    setAttachRefusal(error);
    return false;
  }
  s.isPrimary = s.appTable->created();
  s.interrupt = SharedMemory::open("bcemem_Interrupthandle", 4, &error);
  if (!s.interrupt) {
    s.appTable.reset();
    setAttachRefusal(error);
    return false;
  }
  if (s.isPrimary) createNamedObjects(s);
  // Transports loaded by name leave the process before this library's own
  // detach runs, so at exit the broker's threads must stop calling into them
  // first; a later detach finds nothing left to do.
  static const bool stopsAtExit = std::atexit([] { detachBroker(); }) == 0;
  (void)stopsAtExit;
  return true;
}

void detachBroker() {
  BrokerState& s = state();
  if (!s.appTable) return;
  if (s.isPrimary) forgetTransportShutdowns();
  {
    std::lock_guard lock(s.registrationLock);
    if (s.registered) BceUnregisterApp(static_cast<std::uint32_t>(s.ownId));
  }
  if (s.isPrimary) stopPrimaryChannel();
  closeMailClient();
  for (SyncHandle h : s.namedObjects) closeSyncHandle(h);
  s.namedObjects.clear();
  s.interrupt.reset();
  s.appTable.reset();
}

void unregisterWorker(std::uint32_t appId) {
  bceTrace("Unregistering AppID = %d\n", static_cast<int>(appId));
  if (appId >= BCE_MAX_APPS) return;
  releaseLocalPortsOf(appId);
  if (appId > 0) {
    closeReplyChannel(appId);
    registrationWindow(appId).store(0);
    if (registeredAppCount() > 0) return;
  } else {
    registrationWindow(0).store(0);
  }
  shutDownTransports();
}

}  // namespace wf::bce

using wf::bce::asBytes;
using wf::bce::attachBroker;
using wf::bce::bceTrace;
using wf::bce::BrokerState;
using wf::bce::claimSlot;
using wf::bce::closeMailClient;
using wf::bce::detachBroker;
using wf::bce::forgetRegistration;
using wf::bce::freeSlot;
using wf::bce::kNoWindow;
using wf::bce::openMailClient;
using wf::bce::packRequest;
using wf::bce::primaryLost;
using wf::bce::registrationCheck;
using wf::bce::registrationWindow;
using wf::bce::requestReply;
using wf::bce::sendMail;
using wf::bce::startPrimaryChannel;
using wf::bce::state;
using wf::bce::takeOver;
using wf::bce::unregisterWorker;
using wf::bce::watchPrimary;

int16_t BceRegisterAppMF(uint32_t window) {
  BrokerState& s = state();
  std::lock_guard lock(s.registrationLock);
  if (s.registered) return s.ownId;
  if (window == 0 || window == kNoWindow) return BCE_ERR_NO_APP_SLOT;
  const bool tookOver = takeOver(s, window);
  // Without a registered primary nobody would ever answer this process.
  if (!s.isPrimary && registrationWindow(0).load() == 0) return BCE_ERR_NO_APP_SLOT;
  const int id = tookOver ? 0 : claimSlot(window, s.isPrimary);
  if (id < 0) return BCE_ERR_NO_APP_SLOT;

  s.ownId = static_cast<std::int16_t>(id);
  s.ownWindow = window;
  bool ok;
  if (id == 0) {
    ok = startPrimaryChannel();
  } else {
    ok = openMailClient(static_cast<unsigned>(id));
    if (ok) {
      auto reply =
          requestReply(BCE_REQ_REGISTER, asBytes(packRequest(BCEREQ_APPID{static_cast<std::uint16_t>(id)})));
      ok = reply && reply->header.code == (BCE_REPLY_FINAL | BCE_REQ_REGISTER);
    }
    if (ok)
      watchPrimary(window);
    else
      closeMailClient();
  }
  if (!ok) {
    freeSlot(static_cast<unsigned>(id), window);
    forgetRegistration(s);
    return BCE_ERR_NO_APP_SLOT;
  }
  s.registered = true;
  bceTrace("Registered AppID = %d\n", id);
  return s.ownId;
}

int16_t BceRegisterApp(uint32_t window) {
  return BceRegisterAppMF(window);
}

void BceUnregisterAppMF(uint32_t appId) {
  unregisterWorker(appId & 0xFFFF);
}

void BceUnregisterApp(uint32_t appId) {
  BrokerState& s = state();
  std::lock_guard lock(s.registrationLock);
  if (!s.registered || !registrationCheck(appId)) return;
  const auto id = static_cast<std::uint16_t>(s.ownId);
  if (id == 0) {
    unregisterWorker(0);
    forgetRegistration(s);
    return;
  }
  // A gone primary cannot free the slot: the application does.
  if (primaryLost())
    freeSlot(id, s.ownWindow);
  else
    sendMail(BCE_REQ_UNREGISTER, asBytes(packRequest(BCEREQ_APPID{id})));
  forgetRegistration(s);
  closeMailClient();
}

WF_MODULE_ENTRY_WHEN_LINKED(attachBroker, detachBroker)
