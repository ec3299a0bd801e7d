// CORP2P32's exports: the transport contract's entry points, by their names.
#include <memory>

#include "broker/net_transport.h"
#include "peer_transport.h"
#include "platform/module.h"

namespace {

using wf::peer::PeerTransport;

// Set at attach, cleared at detach: the broker calls nothing outside that span.
std::unique_ptr<PeerTransport> gPeer;

bool attachPeer() {
  gPeer = PeerTransport::start();
  return gPeer != nullptr;
}

void detachPeer() {
  gPeer.reset();
}

}  // namespace

WF_MODULE_ENTRY(attachPeer, detachPeer)

WF_MODULE_EXPORT int32_t NetEnumerate(NETENUMPROC proc) {
  return gPeer->enumerate(proc);
}
NET_CHECK_ENTRY(NetEnumerate);

WF_MODULE_EXPORT int32_t NetGetSpecificAddr(uint16_t portId, NETADDRESS* address) {
  return gPeer->specificAddress(portId, address);
}
NET_CHECK_ENTRY(NetGetSpecificAddr);

WF_MODULE_EXPORT int32_t NetEnumSpecific(const NETADDRESS* address, NETENUMPROC proc) {
  return gPeer->enumSpecific(address, proc);
}
NET_CHECK_ENTRY(NetEnumSpecific);

WF_MODULE_EXPORT int32_t NetEnumQueues(uint32_t, uint32_t, uint32_t) {
  gPeer->trace().line(1, "Enter NetEnumQueues()");
  return NET_OKAY;
}
NET_CHECK_ENTRY(NetEnumQueues);

WF_MODULE_EXPORT int32_t NetOpen(uint16_t portId, NETDATAPROC proc) {
  return gPeer->open(portId, proc);
}
NET_CHECK_ENTRY(NetOpen);

WF_MODULE_EXPORT int32_t NetClose(uint16_t portId) {
  gPeer->close(portId);
  return NET_OKAY;
}
NET_CHECK_ENTRY(NetClose);

WF_MODULE_EXPORT int32_t NetWrite(uint16_t portId, const uint8_t* data, uint32_t length, uint8_t* reply,
                                  uint32_t* replyLength, uint16_t command, uint16_t* status) {
  return gPeer->write(portId, data, length, reply, replyLength, command, status);
}
NET_CHECK_ENTRY(NetWrite);

WF_MODULE_EXPORT void NetShutDown(void) {
  gPeer->shutDown();
}
NET_CHECK_ENTRY(NetShutDown);

WF_MODULE_EXPORT int32_t NetIsAdmin(void) {
  gPeer->trace().line(1, "Enter NetIsAdmin()");
  return 0;
}
NET_CHECK_ENTRY(NetIsAdmin);

WF_MODULE_EXPORT int32_t NetIsQueueAdmin(uint32_t) {
  gPeer->trace().line(1, "Enter NetIsQueueAdmin()");
  return 0;
}
NET_CHECK_ENTRY(NetIsQueueAdmin);

WF_MODULE_EXPORT uint16_t NetGetVersion(void) {
  gPeer->trace().line(1, "Enter NetGetVersion()");
  return 0x0100;
}
NET_CHECK_ENTRY(NetGetVersion);

WF_MODULE_EXPORT int32_t NetGetInfo(uint16_t, uint16_t infoCode, void* buffer, uint16_t* length, NETITEMPROC proc) {
  return gPeer->getInfo(infoCode, buffer, length, proc);
}
NET_CHECK_ENTRY(NetGetInfo);

WF_MODULE_EXPORT int32_t NetSetInfo(uint16_t, uint16_t infoCode, const void* buffer, uint32_t length) {
  return gPeer->setInfo(infoCode, buffer, length);
}
NET_CHECK_ENTRY(NetSetInfo);

WF_MODULE_EXPORT int32_t NetRegisterCallback(NETEVENTPROC proc) {
  return gPeer->registerCallback(proc);
}
NET_CHECK_ENTRY(NetRegisterCallback);

WF_MODULE_EXPORT void NetUnregisterCallback(void) {
  gPeer->unregisterCallback();
}
NET_CHECK_ENTRY(NetUnregisterCallback);
