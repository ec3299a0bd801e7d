// Printer list exports: enumeration, printer information and names.
#include <cstring>

#include "broker/corbce.h"
#include "printer_list.h"
#include "trace.h"

using namespace wf::bce;

int32_t BceEnumPrintersMF(uint32_t, uint32_t, BCEENUMPROC) { return BCE_OK; }

int32_t BceEnumSpecificMF(uint32_t, const NETADDRESS* address, BCEENUMPROC proc, uint32_t) {
  return address && proc ? 0 : 1;
}

int32_t BceEnumSpecificPortMF(uint32_t, uint32_t netBit, const void* portDescriptor, BCEENUMPROC proc) {
  if ((netBit != BCE_NET_IP && netBit != BCE_NET_IPX) || !portDescriptor || !proc) return BCE_FAIL;
  return 0;
}

int32_t BceGetPrtInfoMF(uint32_t, uint32_t handle, PRTINFO* info, uint32_t refresh) {
  PrinterListLock lock;
  PrinterEntry* e = printerList().findByHandle(static_cast<std::uint16_t>(handle));
  if (!e) return BCE_ERR_BAD_HANDLE;
  if (!info) return BCE_ERR_PRTINFO_NOT_WRITABLE;
  if (refresh) e->summaryPending = 0;
  std::memcpy(info, &e->info, sizeof *info);
  bceTrace("Port: %s\n", e->info.name);
  bceTrace("Handle: %d\n", e->info.handle);
  return BCE_OK;
}

int32_t BceGetPrinterNameMF(uint32_t handle, uint32_t netBit, char* name, char* secondName) {
  PrinterListLock lock;
  const PrinterEntry* e = printerList().findByHandle(static_cast<std::uint16_t>(handle));
  if (!e) return BCE_ERR_BAD_HANDLE;
  const int i = transportIndexOf(netBit);
  if (i < 0 || !e->on(netBit)) return BCE_ERR_NOT_ON_NETWORK;
  if (name) copyName(name, e->names[i]);
  if (secondName) copyName(secondName, e->secondNames[i]);
  return BCE_OK;
}
