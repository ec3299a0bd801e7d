#pragma once
// The workers as the primary reaches them: by default the MF functions, each
// in the file of its subject. Tests put their own in place to watch the
// request channel carry every request to its worker and back.
#include <cstdint>
#include <string_view>

#include "broker/corbce.h"

namespace wf::bce {

// Request 25: hand a local port over to a spooler printer. Request 27:
// device control on a local port. Neither has an export.
std::int32_t holdPortMF(std::string_view portName, std::string_view printerName);
std::int32_t portDeviceControlMF(std::uint32_t appId, std::uint32_t handle, std::uint32_t controlCode,
                                 const void* in, std::uint32_t inSize, void* out, std::uint32_t outSize,
                                 std::uint32_t* returned);

struct Workers {
  decltype(&BceEnumPrintersMF) enumPrinters = &BceEnumPrintersMF;
  decltype(&BceEnumSpecificMF) enumSpecific = &BceEnumSpecificMF;
  decltype(&BceEnumSpecificPortMF) enumSpecificPort = &BceEnumSpecificPortMF;
  decltype(&BceOpenMF) open = &BceOpenMF;
  decltype(&BceCloseMF) close = &BceCloseMF;
  decltype(&BceCaptureAlertsMF) captureAlerts = &BceCaptureAlertsMF;
  decltype(&BceReleaseAlertsMF) releaseAlerts = &BceReleaseAlertsMF;
  decltype(&BceGetVersionMF) getVersion = &BceGetVersionMF;
  decltype(&BceGetVersionExMF) getVersionEx = &BceGetVersionExMF;
  decltype(&BceWriteMF) write = &BceWriteMF;
  decltype(&BceSendBidiMF) sendBidi = &BceSendBidiMF;
  decltype(&BceGetPrtInfoMF) getPrtInfo = &BceGetPrtInfoMF;
  decltype(&BceGetPrinterNameMF) getPrinterName = &BceGetPrinterNameMF;
  decltype(&BceQueryAlertsMF) queryAlerts = &BceQueryAlertsMF;
  decltype(&BceIsUserAdminMF) isUserAdmin = &BceIsUserAdminMF;
  decltype(&BceGetPrinterAddrMF) getPrinterAddr = &BceGetPrinterAddrMF;
  decltype(&BceGetNetsMF) getNets = &BceGetNetsMF;
  decltype(&BceGetNetInfoMF) getNetInfo = &BceGetNetInfoMF;
  decltype(&BceSetNetInfoMF) setNetInfo = &BceSetNetInfoMF;
  decltype(&BceStartTraceMF) startTrace = &BceStartTraceMF;
  decltype(&BceStopTraceMF) stopTrace = &BceStopTraceMF;
  decltype(&BceStartDocMF) startDoc = &BceStartDocMF;
  decltype(&BceEndDocMF) endDoc = &BceEndDocMF;
  decltype(&holdPortMF) holdPort = &holdPortMF;
  decltype(&portDeviceControlMF) portDeviceControl = &portDeviceControlMF;
};

const Workers& workers();
// Before any request arrives; the table is read without a lock.
void setWorkersForTest(const Workers& replacement);

// Closes the application's local ports and releases its alerts on them.
void releaseLocalPortsOf(std::uint32_t appId);

// Calls NetShutDown of every loaded transport that exports it.
void shutDownTransports();
// No transport is called while the broker unloads.
void forgetTransportShutdowns();

}  // namespace wf::bce
