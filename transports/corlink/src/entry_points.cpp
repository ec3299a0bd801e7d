// CORCL32's exports: the entry points of the transport contract it serves
// so far, by their names. Its shutdown is spelt "NetShutdown".
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

}  // namespace

WF_MODULE_ENTRY(attachCorLink, detachCorLink)

WF_MODULE_EXPORT void NetShutdown(void) {
  gCorLink->shutdown();
}

WF_MODULE_EXPORT uint16_t NetGetVersion(void) {
  return 0x0102;
}
NET_CHECK_ENTRY(NetGetVersion);

WF_MODULE_EXPORT int32_t NetGetInfo(uint16_t portId, uint16_t infoCode, void* buffer, uint16_t* length,
                                    NETITEMPROC proc) {
  return gCorLink->getInfo(portId, infoCode, buffer, length, proc);
}
NET_CHECK_ENTRY(NetGetInfo);

WF_MODULE_EXPORT int32_t NetSetInfo(uint16_t portId, uint16_t infoCode, const void* buffer, uint32_t length) {
  return gCorLink->setInfo(portId, infoCode, buffer, length);
}
NET_CHECK_ENTRY(NetSetInfo);
