#pragma once
// Alert classes between the host's masks and the printer's bytes. Device
// status classes are encoded differently when the host captures them and
// when the printer reports them (bits 0x1 and 0x2 swap places).
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/alert_classes.h"

namespace wf::sim::alerts {

using protocol::alerts::kClassBits;
using protocol::alerts::kDeviceStatusBits;
using protocol::alerts::kPanel;
using protocol::alerts::kPanelAlertTag;

// Host mask from the three class bytes of a capture request.
std::uint32_t maskFromCapture(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2);
// The three class bytes of a device-status alert for `mask`.
std::array<std::uint8_t, 3> deviceStatusBytes(std::uint32_t mask);

// Alert class byte (1, 2, 4, 8, 16) <-> host mask bit (0x800 .. 0x8000); 0 for others.
std::uint32_t maskFromClassByte(std::uint8_t classByte);

struct JobSheets {
  std::uint32_t sheets = 0, sides = 0, third = 0;
};

// Data of a job-statistics alert (class 1).
struct JobStatistics {
  std::uint8_t d1 = 0;
  std::uint16_t d2 = 0;
  std::uint16_t seconds = 0;
  std::vector<JobSheets> entries;  // at most 10 are read by the host
  std::uint8_t field = 0;
  std::string text1;  // "HT:host;UR:user;SC:x;JN:job;QU:queue;..."
  std::string text2;
};
std::string encodeJobStatistics(const JobStatistics& stats);

// Data of a resource-management alert (class 2): 03 02, kind, more-entries,
// BE32 result, BE16 entry length, entry bytes.
std::string encodeResourceAlert(std::uint8_t kind, bool more, std::uint32_t result,
                                std::string_view entry = {});

}  // namespace wf::sim::alerts
