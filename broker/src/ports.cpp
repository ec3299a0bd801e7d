// Local parallel ports. No port is opened yet: local handles are unknown.
#include "broker/corbce.h"
#include "workers.h"

namespace {
constexpr uint32_t kFirstNetworkHandle = 101;
}

namespace wf::bce {

void releaseLocalPortsOf(std::uint32_t) {}

std::int32_t holdPortMF(std::string_view portName, std::string_view) {
  return portName.starts_with("LPT") ? BCE_OK : BCE_FAIL;
}

std::int32_t portDeviceControlMF(std::uint32_t, std::uint32_t, std::uint32_t, const void*, std::uint32_t, void*,
                                 std::uint32_t, std::uint32_t* returned) {
  if (returned) *returned = 0;
  return BCE_ERR_BAD_HANDLE;
}

}  // namespace wf::bce

int32_t BceOpenMF(uint32_t, uint32_t handle, uint32_t) {
  return (handle & 0xFFFF) >= kFirstNetworkHandle ? BCE_OK : BCE_ERR_BAD_HANDLE;
}

int32_t BceCloseMF(uint32_t, uint32_t handle) {
  return (handle & 0xFFFF) >= kFirstNetworkHandle ? BCE_OK : BCE_ERR_BAD_HANDLE;
}
