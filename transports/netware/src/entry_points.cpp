// Cornw32's exports: the transport contract's entry points, by their names.
#include <memory>

#include "broker/net_transport.h"
#include "netware_transport.h"
#include "platform/module.h"

namespace {

using wf::netware::NetWareTransport;

// Set at attach, cleared at detach: the broker calls nothing outside that span.
std::unique_ptr<NetWareTransport> gTransport;

bool attach() {
  gTransport = NetWareTransport::start();
  return gTransport != nullptr;
}

void detach() {
  gTransport.reset();
}

}  // namespace

WF_MODULE_ENTRY(attach, detach)

WF_MODULE_EXPORT int32_t NetEnumerate(NETENUMPROC proc) {
  return gTransport->enumerate(proc);
}
NET_CHECK_ENTRY(NetEnumerate);

WF_MODULE_EXPORT int32_t NetGetSpecificAddr(uint16_t portId, NETADDRESS* address) {
  return gTransport->specificAddress(portId, address);
}
NET_CHECK_ENTRY(NetGetSpecificAddr);

WF_MODULE_EXPORT int32_t NetEnumSpecific(const NETADDRESS* address, NETENUMPROC proc) {
  return gTransport->enumSpecific(address, proc);
}
NET_CHECK_ENTRY(NetEnumSpecific);

WF_MODULE_EXPORT int32_t NetEnumQueues(uint32_t, uint32_t, uint32_t) {
  return 1;
}
NET_CHECK_ENTRY(NetEnumQueues);

WF_MODULE_EXPORT int32_t NetOpen(uint16_t portId, NETDATAPROC proc) {
  return gTransport->open(portId, proc);
}
NET_CHECK_ENTRY(NetOpen);

WF_MODULE_EXPORT int32_t NetClose(uint16_t portId) {
  gTransport->close(portId);
  return NET_OKAY;
}
NET_CHECK_ENTRY(NetClose);

WF_MODULE_EXPORT int32_t NetWrite(uint16_t portId, const uint8_t* data, uint32_t length, uint8_t* reply,
                                  uint32_t* replyLength, uint16_t command, uint16_t* status) {
  return gTransport->write(portId, data, length, reply, replyLength, command, status);
}
NET_CHECK_ENTRY(NetWrite);

WF_MODULE_EXPORT void NetShutDown(void) {}
NET_CHECK_ENTRY(NetShutDown);

WF_MODULE_EXPORT int32_t NetIsAdmin(void) {
  return gTransport->supervisor() ? 1 : 0;
}
NET_CHECK_ENTRY(NetIsAdmin);

WF_MODULE_EXPORT int32_t NetIsQueueAdmin(uint32_t) {
  return 1;
}
NET_CHECK_ENTRY(NetIsQueueAdmin);

WF_MODULE_EXPORT uint16_t NetGetVersion(void) {
  return 0x0102;
}
NET_CHECK_ENTRY(NetGetVersion);

WF_MODULE_EXPORT int32_t NetGetInfo(uint16_t portId, uint16_t infoCode, void* buffer, uint16_t* length,
                                    NETITEMPROC proc) {
  return gTransport->getInfo(portId, infoCode, buffer, length, proc);
}
NET_CHECK_ENTRY(NetGetInfo);

WF_MODULE_EXPORT int32_t NetSetInfo(uint16_t portId, uint16_t infoCode, const void* buffer, uint32_t length) {
  return gTransport->setInfo(portId, infoCode, buffer, length);
}
NET_CHECK_ENTRY(NetSetInfo);

WF_MODULE_EXPORT int32_t NetRegisterCallback(NETEVENTPROC proc) {
  gTransport->setEventCallback(proc);
  return NET_OKAY;
}
NET_CHECK_ENTRY(NetRegisterCallback);

WF_MODULE_EXPORT void NetUnregisterCallback(void) {
  gTransport->setEventCallback(nullptr);
}
NET_CHECK_ENTRY(NetUnregisterCallback);

WF_MODULE_EXPORT void NetStartDoc(uint16_t, uint32_t) {}
NET_CHECK_ENTRY(NetStartDoc);

WF_MODULE_EXPORT void NetEndDoc(uint16_t) {}
NET_CHECK_ENTRY(NetEndDoc);
