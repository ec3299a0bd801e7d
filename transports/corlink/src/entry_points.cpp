// CORCL32's exports: 16 entry points of the transport contract, by their
// names (no NetStartDoc or NetEndDoc; the shutdown is spelt "NetShutdown").
#include <memory>

#include "broker/net_transport.h"
#include "corlink_transport.h"
#include "platform/module.h"

namespace {

using wf::corlink::CorLinkTransport;

// Made at attach; kept shut down after NetShutdown so later calls answer failure.
std::unique_ptr<CorLinkTransport> gCorLink;

bool attachCorLink() {
  gCorLink = CorLinkTransport::start();
  return gCorLink != nullptr;
}

void detachCorLink() {
  gCorLink.reset();
}

// Calls that come after detach (a caller's own teardown at process end) find nothing to do.
template <typename R, typename F>
R withCorLink(R none, F&& f) {
  return gCorLink ? f(*gCorLink) : none;
}

}  // namespace

WF_MODULE_ENTRY(attachCorLink, detachCorLink)

WF_MODULE_EXPORT int32_t NetEnumerate(NETENUMPROC proc) {
  return withCorLink<int32_t>(NET_FAIL, [&](CorLinkTransport& t) { return t.enumerate(proc); });
}
NET_CHECK_ENTRY(NetEnumerate);

WF_MODULE_EXPORT int32_t NetGetSpecificAddr(uint16_t portId, NETADDRESS* address) {
  return withCorLink<int32_t>(NET_BADID,
                              [&](CorLinkTransport& t) { return t.specificAddress(portId, address); });
}
NET_CHECK_ENTRY(NetGetSpecificAddr);

WF_MODULE_EXPORT int32_t NetEnumSpecific(const NETADDRESS* address, NETENUMPROC proc) {
  return withCorLink<int32_t>(NET_FAIL, [&](CorLinkTransport& t) { return t.enumSpecific(address, proc); });
}
NET_CHECK_ENTRY(NetEnumSpecific);

WF_MODULE_EXPORT int32_t NetEnumSpecificPort(const void*, NETENUMPROC) {
  return NET_FAIL;
}
NET_CHECK_ENTRY(NetEnumSpecificPort);

WF_MODULE_EXPORT int32_t NetEnumQueues(uint32_t, uint32_t, uint32_t) {
  return NET_OKAY;
}
NET_CHECK_ENTRY(NetEnumQueues);

WF_MODULE_EXPORT int32_t NetOpen(uint16_t portId, NETDATAPROC proc) {
  return withCorLink<int32_t>(NET_FAIL, [&](CorLinkTransport& t) { return t.open(portId, proc); });
}
NET_CHECK_ENTRY(NetOpen);

WF_MODULE_EXPORT int32_t NetClose(uint16_t portId) {
  if (gCorLink) gCorLink->close(portId);
  return NET_OKAY;
}
NET_CHECK_ENTRY(NetClose);

WF_MODULE_EXPORT int32_t NetWrite(uint16_t portId, const uint8_t* data, uint32_t length, uint8_t* reply,
                                  uint32_t* replyLength, uint16_t, uint16_t* status) {
  return withCorLink<int32_t>(
      0, [&](CorLinkTransport& t) { return t.write(portId, data, length, reply, replyLength, status); });
}
NET_CHECK_ENTRY(NetWrite);

WF_MODULE_EXPORT void NetShutdown(void) {
  if (gCorLink) gCorLink->shutdown();
}

WF_MODULE_EXPORT int32_t NetIsAdmin(void) {
  return withCorLink<int32_t>(0, [](CorLinkTransport& t) { return t.isAdmin() ? 1 : 0; });
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
  return withCorLink<int32_t>(
      NET_FAIL, [&](CorLinkTransport& t) { return t.getInfo(portId, infoCode, buffer, length, proc); });
}
NET_CHECK_ENTRY(NetGetInfo);

WF_MODULE_EXPORT int32_t NetSetInfo(uint16_t portId, uint16_t infoCode, const void* buffer, uint32_t length) {
  return withCorLink<int32_t>(
      NET_FAIL, [&](CorLinkTransport& t) { return t.setInfo(portId, infoCode, buffer, length); });
}
NET_CHECK_ENTRY(NetSetInfo);

WF_MODULE_EXPORT int32_t NetRegisterCallback(NETEVENTPROC proc) {
  return withCorLink<int32_t>(NET_FAIL, [&](CorLinkTransport& t) { return t.registerCallback(proc); });
}
NET_CHECK_ENTRY(NetRegisterCallback);

WF_MODULE_EXPORT void NetUnregisterCallback(void) {
  if (gCorLink) gCorLink->unregisterCallback();
}
NET_CHECK_ENTRY(NetUnregisterCallback);
