#pragma once
// Local-port control for the port monitor's side, which has no export of
// its own: hand a port over to a spooler printer (request 25), and device
// control on a local port (request 27). Same rules as the exports:
// registered callers only, worker in the primary, request elsewhere.
#include <cstdint>
#include <string_view>

// Exported beside the Bce functions: the port monitor is a library of its own.
#define WF_BCE_PORT_CONTROL_API __attribute__((visibility("default")))

namespace wf::bce {

WF_BCE_PORT_CONTROL_API std::int32_t requestHoldPort(std::string_view portName, std::string_view printerName);
WF_BCE_PORT_CONTROL_API std::int32_t requestPortDeviceControl(std::uint32_t appId, std::uint32_t handle,
                                                              std::uint32_t controlCode, const void* in,
                                                              std::uint32_t inSize, void* out,
                                                              std::uint32_t outSize, std::uint32_t* returned);

}  // namespace wf::bce
