#pragma once
// Alert classes: the host's mask bits (as in ALERTS.mask), the printer's class
// bytes, and the first bytes of a class alert's data.
#include <cstdint>

namespace wf::protocol::alerts {

// Host mask bits
constexpr std::uint32_t kDeviceStatusBits = 0x3FF;  // ten device-status classes
constexpr std::uint32_t kJobStatistics = 0x800;     // class byte 0x01
constexpr std::uint32_t kClass2 = 0x1000;           // class byte 0x02: resource management
constexpr std::uint32_t kClass4 = 0x2000;
constexpr std::uint32_t kClass8 = 0x4000;
constexpr std::uint32_t kClass16 = 0x8000;
constexpr std::uint32_t kClassBits = 0xF800;
constexpr std::uint32_t kPanel = 0x10000;

// Printer class bytes, one bit each, in the order of the mask bits above.
constexpr std::uint8_t kFirstClassByte = 0x01;
constexpr std::uint8_t kLastClassByte = 0x10;
constexpr std::uint8_t kJobStatisticsByte = 0x01;
constexpr std::uint8_t kResourceByte = 0x02;

// Data of a class alert (command kClassAlert): a tag byte, then the class byte.
constexpr std::uint8_t kClassAlertTag = 0x03;
constexpr std::size_t kClassByteOffset = 1;
constexpr std::size_t kClassHeaderSize = 2;
// A panel alert's data: this tag, then the panel bytes.
constexpr std::uint8_t kPanelAlertTag = 0xE1;

// A device-status alert's data: three class bytes.
constexpr std::size_t kDeviceStatusBytes = 3;

}  // namespace wf::protocol::alerts
