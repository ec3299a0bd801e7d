// Transport binding. No transport is loaded yet: no network is present,
// network information answers 1 and versions are empty.
#include <atomic>
#include <cstring>

#include "broker/corbce.h"
#include "workers.h"

namespace wf::bce {

namespace {
std::atomic<int> shutdowns{0};
}

void shutDownTransports() { ++shutdowns; }
int transportShutdownsForTest() { return shutdowns.load(); }

}  // namespace wf::bce

int32_t BceGetNetsMF(uint32_t* netMask) {
  if (netMask) *netMask = 0;
  return BCE_OK;
}

int32_t BceGetPrinterAddrMF(uint32_t, uint32_t, NETADDRESS*) { return 0; }

int32_t BceGetNetInfoMF(uint32_t, uint32_t, uint32_t, void*, uint16_t*, BCENETITEMPROC) { return BCE_FAIL; }

int32_t BceSetNetInfoMF(uint32_t, uint32_t, uint32_t, const void*, uint16_t) { return BCE_FAIL; }

int32_t BceGetVersionMF(BCEVERSION* version) {
  if (version) std::memset(version, 0, sizeof *version);
  return BCE_OK;
}

int32_t BceGetVersionExMF(BCEVERSIONEX* version) {
  if (version) std::memset(version, 0, sizeof *version);
  return BCE_OK;
}

int32_t BceIsUserAdminMF(uint32_t) { return 1; }
