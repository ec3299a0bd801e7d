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
