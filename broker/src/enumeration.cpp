// Printer list, handles and enumeration. The list itself is not built yet:
// every handle is unknown and enumerations find nothing.
#include "broker/corbce.h"

int32_t BceEnumPrintersMF(uint32_t, uint32_t, BCEENUMPROC) { return BCE_OK; }

int32_t BceEnumSpecificMF(uint32_t, const NETADDRESS* address, BCEENUMPROC proc, uint32_t) {
  return address && proc ? 0 : 1;
}

int32_t BceEnumSpecificPortMF(uint32_t, uint32_t netBit, const void* portDescriptor, BCEENUMPROC proc) {
  if ((netBit != BCE_NET_IP && netBit != BCE_NET_IPX) || !portDescriptor || !proc) return BCE_FAIL;
  return 0;
}

int32_t BceGetPrtInfoMF(uint32_t, uint32_t, PRTINFO* info, uint32_t) {
  return info ? BCE_ERR_BAD_HANDLE : BCE_ERR_PRTINFO_NOT_WRITABLE;
}

int32_t BceGetPrinterNameMF(uint32_t, uint32_t, char*, char*) { return BCE_ERR_BAD_HANDLE; }
