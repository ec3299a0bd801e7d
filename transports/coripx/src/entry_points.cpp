// CORIPX32's exports: the transport contract's entry points, by their names.
// Nothing starts at load; the first enumeration starts the transport.
#include <memory>

#include "broker/net_transport.h"
#include "coripx_transport.h"
#include "platform/module.h"

namespace {

using wf::coripx::CorIpx;

std::unique_ptr<CorIpx> gCorIpx;

bool attach() {
  gCorIpx = std::make_unique<CorIpx>();
  return true;
}

// Stops and joins every thread when NetShutDown did not.
void detach() {
  gCorIpx.reset();
}

}  // namespace

WF_MODULE_ENTRY(attach, detach)

WF_MODULE_EXPORT int32_t NetEnumerate(NETENUMPROC proc) {
  return gCorIpx->enumerate(proc);
}
NET_CHECK_ENTRY(NetEnumerate);

WF_MODULE_EXPORT int32_t NetGetSpecificAddr(uint16_t portId, NETADDRESS* address) {
  return gCorIpx->getSpecificAddr(portId, address);
}
NET_CHECK_ENTRY(NetGetSpecificAddr);

WF_MODULE_EXPORT int32_t NetEnumSpecific(const NETADDRESS* address, NETENUMPROC proc) {
  return gCorIpx->enumSpecific(address, proc);
}
NET_CHECK_ENTRY(NetEnumSpecific);

WF_MODULE_EXPORT int32_t NetEnumSpecificPort(const void* portDescriptor, NETENUMPROC proc) {
  return gCorIpx->enumSpecificPort(static_cast<const char*>(portDescriptor), proc);
}
NET_CHECK_ENTRY(NetEnumSpecificPort);

WF_MODULE_EXPORT void NetShutDown(void) {
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
  return gCorIpx->open(portId, proc);
}
NET_CHECK_ENTRY(NetOpen);

WF_MODULE_EXPORT int32_t NetClose(uint16_t portId) {
  return gCorIpx->close(portId);
}
NET_CHECK_ENTRY(NetClose);

WF_MODULE_EXPORT int32_t NetWrite(uint16_t portId, const uint8_t* data, uint32_t length, uint8_t* reply,
                                  uint32_t* replyLength, uint16_t command, uint16_t* status) {
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
  return gCorIpx->registerCallback(proc);
}
NET_CHECK_ENTRY(NetRegisterCallback);

WF_MODULE_EXPORT void NetUnregisterCallback(void) {
  gCorIpx->unregisterCallback();
}
NET_CHECK_ENTRY(NetUnregisterCallback);

WF_MODULE_EXPORT void NetStartDoc(uint16_t portId, uint32_t) {
  // The job argument is no pointer here: no job texts.
  gCorIpx->startDoc(portId, nullptr);
}
NET_CHECK_ENTRY(NetStartDoc);

WF_MODULE_EXPORT void NetEndDoc(uint16_t portId) {
  gCorIpx->endDoc(portId);
}
NET_CHECK_ENTRY(NetEndDoc);

WF_MODULE_EXPORT int32_t NetGetInfo(uint16_t portId, uint16_t infoCode, void* buffer, uint16_t* length,
                                    NETITEMPROC itemProc) {
  return gCorIpx->getInfo(portId, infoCode, buffer, length, itemProc);
}
NET_CHECK_ENTRY(NetGetInfo);

WF_MODULE_EXPORT int32_t NetSetInfo(uint16_t portId, uint16_t infoCode, const void* buffer, uint32_t length) {
  return gCorIpx->setInfo(portId, infoCode, buffer, length);
}
NET_CHECK_ENTRY(NetSetInfo);
