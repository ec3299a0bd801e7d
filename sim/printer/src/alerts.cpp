#include "sim/printer/alerts.h"

#include "platform/byte_codec.h"
#include "protocol/replies.h"

namespace wf::sim::alerts {

namespace {

struct ClassBit {
  int byte;
  std::uint8_t bit;
  std::uint32_t capture;
  std::uint32_t alert;
};

constexpr ClassBit kDeviceStatusTable[] = {
    {0, 0x40, 0x100, 0x100}, {0, 0x80, 0x200, 0x200}, {1, 0x01, 0x8, 0x8},   {1, 0x02, 0x4, 0x4},
    {1, 0x04, 0x1, 0x2},     {1, 0x08, 0x2, 0x1},     {2, 0x01, 0x80, 0x80}, {2, 0x02, 0x20, 0x20},
    {2, 0x04, 0x40, 0x40},   {2, 0x08, 0x10, 0x10},
};

}  // namespace

std::uint32_t maskFromCapture(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2) {
  const std::uint8_t bytes[3] = {b0, b1, b2};
  std::uint32_t mask = 0;
  for (const auto& c : kDeviceStatusTable)
    if (bytes[c.byte] & c.bit) mask |= c.capture;
  return mask;
}

std::array<std::uint8_t, 3> deviceStatusBytes(std::uint32_t mask) {
  std::array<std::uint8_t, 3> bytes{};
  for (const auto& c : kDeviceStatusTable)
    if (mask & c.alert) bytes[c.byte] |= c.bit;
  return bytes;
}

std::uint32_t maskFromClassByte(std::uint8_t classByte) {
  switch (classByte) {
    case 0x01:
      return protocol::alerts::kJobStatistics;
    case 0x02:
      return protocol::alerts::kClass2;
    case 0x04:
      return protocol::alerts::kClass4;
    case 0x08:
      return protocol::alerts::kClass8;
    case 0x10:
      return protocol::alerts::kClass16;
    default:
      return 0;
  }
}

namespace {
ByteWriter classAlert(std::uint8_t classByte) {
  ByteWriter out;
  out.u8(protocol::alerts::kClassAlertTag).u8(classByte);
  return out;
}
}  // namespace

std::string encodeJobStatistics(const JobStatistics& s) {
  ByteWriter out = classAlert(protocol::alerts::kJobStatisticsByte);
  out.u8(static_cast<std::uint32_t>(s.entries.size())).u8(s.d1).be16(s.d2).be16(s.seconds);
  for (const auto& e : s.entries) out.be32(e.sheets).be32(e.sides).be32(e.third);
  out.zeros(protocol::reply::job_statistics::kGapAfterEntries).u8(s.field).text8(s.text1).text8(s.text2);
  return out.take();
}

std::string encodeResourceAlert(std::uint8_t kind, bool more, std::uint32_t result, std::string_view entry) {
  entry = entry.substr(0, 0xFFFF);
  ByteWriter out = classAlert(protocol::alerts::kResourceByte);
  out.u8(kind).u8(more ? 1 : 0).be32(result).be16(static_cast<std::uint32_t>(entry.size())).bytes(entry);
  return out.take();
}

}  // namespace wf::sim::alerts
