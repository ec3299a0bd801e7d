// CORIPX32's exports: the transport contract's entry points, by their names.
// Nothing starts at load; the first enumeration starts the transport.
#include <condition_variable>
#include <memory>
#include <mutex>

#include "broker/net_transport.h"
#include "coripx_transport.h"
#include "platform/module.h"

namespace {

using wf::coripx::CorIpx;

std::unique_ptr<CorIpx> gCorIpx;

// The broker's primary may shut its transports down while a dispatcher still
// serves another application's last request, so NetShutDown waits for the
// calls in flight before it frees the ports, and refuses later ones.
std::mutex gCorIpxCallsLock;
std::condition_variable gCorIpxCallsDone;
int gCorIpxCallsInFlight = 0;
bool gCorIpxClosing = false;

class CorIpxCall {
 public:
  CorIpxCall() {
    std::lock_guard g(gCorIpxCallsLock);
    admitted_ = !gCorIpxClosing;
    if (admitted_) ++gCorIpxCallsInFlight;
  }
  ~CorIpxCall() {
    if (!admitted_) return;
    std::lock_guard g(gCorIpxCallsLock);
    if (--gCorIpxCallsInFlight == 0) gCorIpxCallsDone.notify_all();
  }
  CorIpxCall(const CorIpxCall&) = delete;
  CorIpxCall& operator=(const CorIpxCall&) = delete;
  explicit operator bool() const { return admitted_; }

 private:
  bool admitted_ = false;
};

// Refuses new calls and waits for those already in the transport.
void closeCorIpxCalls() {
  std::unique_lock g(gCorIpxCallsLock);
  gCorIpxClosing = true;
  gCorIpxCallsDone.wait(g, [] { return gCorIpxCallsInFlight == 0; });
}

bool attach() {
  {
    std::lock_guard g(gCorIpxCallsLock);
    gCorIpxClosing = false;
  }
  gCorIpx = std::make_unique<CorIpx>();
  return true;
}

// Stops and joins every thread when NetShutDown did not.
void detach() {
  closeCorIpxCalls();
  gCorIpx.reset();
}

}  // namespace

WF_MODULE_ENTRY(attach, detach)

WF_MODULE_EXPORT int32_t NetEnumerate(NETENUMPROC proc) {
  const CorIpxCall call;
  if (!call) return 1;
  return gCorIpx->enumerate(proc);
}
NET_CHECK_ENTRY(NetEnumerate);

WF_MODULE_EXPORT int32_t NetGetSpecificAddr(uint16_t portId, NETADDRESS* address) {
  const CorIpxCall call;
  if (!call) return 1;
  return gCorIpx->getSpecificAddr(portId, address);
}
NET_CHECK_ENTRY(NetGetSpecificAddr);

WF_MODULE_EXPORT int32_t NetEnumSpecific(const NETADDRESS* address, NETENUMPROC proc) {
  const CorIpxCall call;
  if (!call) return 1;
  return gCorIpx->enumSpecific(address, proc);
}
NET_CHECK_ENTRY(NetEnumSpecific);

WF_MODULE_EXPORT int32_t NetEnumSpecificPort(const void* portDescriptor, NETENUMPROC proc) {
  const CorIpxCall call;
  if (!call) return 1;
  return gCorIpx->enumSpecificPort(static_cast<const char*>(portDescriptor), proc);
}
NET_CHECK_ENTRY(NetEnumSpecificPort);

WF_MODULE_EXPORT void NetShutDown(void) {
  closeCorIpxCalls();
  gCorIpx->shutDown();
}
NET_CHECK_ENTRY(NetShutDown);

WF_MODULE_EXPORT uint16_t NetGetVersion(void) {
  return 0x0B11;
}
NET_CHECK_ENTRY(NetGetVersion);

WF_MODULE_EXPORT int32_t NetEnumQueues(uint32_t, uint32_t, uint32_t) {
  return 0;
}
NET_CHECK_ENTRY(NetEnumQueues);

WF_MODULE_EXPORT int32_t NetOpen(uint16_t portId, NETDATAPROC proc) {
  const CorIpxCall call;
  if (!call) return 1;
  return gCorIpx->open(portId, proc);
}
NET_CHECK_ENTRY(NetOpen);

WF_MODULE_EXPORT int32_t NetClose(uint16_t portId) {
  const CorIpxCall call;
  if (!call) return 1;
  return gCorIpx->close(portId);
}
NET_CHECK_ENTRY(NetClose);

WF_MODULE_EXPORT int32_t NetWrite(uint16_t portId, const uint8_t* data, uint32_t length, uint8_t* reply,
                                  uint32_t* replyLength, uint16_t command, uint16_t* status) {
  const CorIpxCall call;
  if (!call) return 0;
  if (status && (*status & 1)) return gCorIpx->jobWrite(portId, data, length, status);
  return gCorIpx->sendBidi(portId, data, length, reply, replyLength, command, status);
}
NET_CHECK_ENTRY(NetWrite);

WF_MODULE_EXPORT int32_t NetIsAdmin(void) {
  return 1;
}
NET_CHECK_ENTRY(NetIsAdmin);

WF_MODULE_EXPORT int32_t NetIsQueueAdmin(uint32_t) {
  return 0;
}
NET_CHECK_ENTRY(NetIsQueueAdmin);

WF_MODULE_EXPORT int32_t NetRegisterCallback(NETEVENTPROC proc) {
  const CorIpxCall call;
  if (!call) return 1;
  return gCorIpx->registerCallback(proc);
}
NET_CHECK_ENTRY(NetRegisterCallback);

WF_MODULE_EXPORT void NetUnregisterCallback(void) {
  const CorIpxCall call;
  if (!call) return;
  gCorIpx->unregisterCallback();
}
NET_CHECK_ENTRY(NetUnregisterCallback);

WF_MODULE_EXPORT void NetStartDoc(uint16_t portId, uint32_t) {
  const CorIpxCall call;
  if (!call) return;
  // The job argument is no pointer here: no job texts.
  gCorIpx->startDoc(portId, nullptr);
}
NET_CHECK_ENTRY(NetStartDoc);

WF_MODULE_EXPORT void NetEndDoc(uint16_t portId) {
  const CorIpxCall call;
  if (!call) return;
  gCorIpx->endDoc(portId);
}
NET_CHECK_ENTRY(NetEndDoc);

WF_MODULE_EXPORT int32_t NetGetInfo(uint16_t portId, uint16_t infoCode, void* buffer, uint16_t* length,
                                    NETITEMPROC itemProc) {
  const CorIpxCall call;
  if (!call) return 1;
  return gCorIpx->getInfo(portId, infoCode, buffer, length, itemProc);
}
NET_CHECK_ENTRY(NetGetInfo);

WF_MODULE_EXPORT int32_t NetSetInfo(uint16_t portId, uint16_t infoCode, const void* buffer, uint32_t length) {
  const CorIpxCall call;
  if (!call) return 1;
  return gCorIpx->setInfo(portId, infoCode, buffer, length);
}
NET_CHECK_ENTRY(NetSetInfo);
