#pragma once
// Request codes an application hands the broker with data; the broker turns
// each into a packet (or a PJL text) for the printer.
#include <cstddef>
#include <cstdint>

namespace wf::protocol::request {

constexpr std::uint32_t kDeviceStatus = 1;
constexpr std::uint32_t kInputStatus = 2;
constexpr std::uint32_t kOutputStatus = 3;
constexpr std::uint32_t kPaperJams = 6;  // the alert lists, up to kSupplies
constexpr std::uint32_t kOperatorIntervention = 7;
constexpr std::uint32_t kWarnings = 8;
constexpr std::uint32_t kServiceRequests = 9;
constexpr std::uint32_t kConfigurationChanges = 10;
constexpr std::uint32_t kSupplies = 11;
constexpr std::uint32_t kPageCounts = 12;
constexpr std::uint32_t kSuppliesStatus = 13;
constexpr std::uint32_t kSummary = 16;
constexpr std::uint32_t kInputCharacteristics = 18;
constexpr std::uint32_t kOutputCharacteristics = 19;
constexpr std::uint32_t kStorageOptions = 20;
constexpr std::uint32_t kPowerOnReset = 49;
constexpr std::uint32_t kCaptureDeviceStatus = 51;
constexpr std::uint32_t kNpaProbe = 52;
constexpr std::uint32_t kStatusPollSetup = 53;
constexpr std::uint32_t kResetHostPageCount = 54;
constexpr std::uint32_t kReleaseDeviceStatus = 60;  // the capture with no class
constexpr std::uint32_t kPanelButton = 64;
constexpr std::uint32_t kPanelData = 67;
constexpr std::uint32_t kPanelAlertsOff = 68;
constexpr std::uint32_t kPanelAlertsOn = 69;
constexpr std::uint32_t kReadOmVariable = 78;
constexpr std::uint32_t kSetOmVariable = 79;
constexpr std::uint32_t kReadMiscVariable = 86;
constexpr std::uint32_t kPanelCommand = 87;
constexpr std::uint32_t kStartDocument = 90;
constexpr std::uint32_t kCaptureAlertClasses = 91;
constexpr std::uint32_t kResourceCommand = 113;

// Codes 4096 to 4130 are PJL texts, not packets.
constexpr std::uint32_t kFirstPjl = 4096;
constexpr std::uint32_t kLastPjl = 4130;

// Request data as the printer reads it: offsets count from the sub-code,
// the first data byte of every request packet.
namespace request_data {
constexpr std::size_t kSubCode = 0;
constexpr std::size_t kOperation = 1;  // of the panel, variable and command requests

namespace capture {
constexpr std::size_t kClassBytes = 1;  // three, in the capture encoding
}
namespace button {
constexpr std::size_t kButton = 3;
}
namespace panel_alerts {
constexpr std::size_t kSwitch = 2;  // 0 off, 1 on
}
namespace variable {
constexpr std::size_t kName = 2;  // BE16
constexpr std::size_t kValue = 4;
}  // namespace variable
namespace panel_command {
constexpr std::size_t kCommand = 3;
constexpr std::size_t kArgument = 4;
}  // namespace panel_command
// A resource command, counted from the byte after the sub-code.
namespace resource_command {
constexpr std::size_t kOperation = 0;
constexpr std::size_t kDevice = 1;
constexpr std::size_t kName = 2;  // list, format, delete
constexpr std::size_t kTarget = 2;
constexpr std::size_t kMove = 3;
constexpr std::size_t kCopyName = 4;
}  // namespace resource_command
}  // namespace request_data

}  // namespace wf::protocol::request
