#include "sim/printer/alerts.h"

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

void put16(std::string& out, std::uint16_t v) {
  out.push_back(static_cast<char>(v >> 8));
  out.push_back(static_cast<char>(v & 0xFF));
}

void put32(std::string& out, std::uint32_t v) {
  put16(out, static_cast<std::uint16_t>(v >> 16));
  put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
}

void putText(std::string& out, const std::string& text) {
  const auto n = text.size() > 0xFF ? 0xFF : text.size();
  out.push_back(static_cast<char>(n));
  out.append(text, 0, n);
}

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
    case 0x01: return 0x800;
    case 0x02: return 0x1000;
    case 0x04: return 0x2000;
    case 0x08: return 0x4000;
    case 0x10: return 0x8000;
    default: return 0;
  }
}

std::string encodeJobStatistics(const JobStatistics& s) {
  std::string out{"\x03\x01", 2};
  out.push_back(static_cast<char>(s.entries.size()));
  out.push_back(static_cast<char>(s.d1));
  put16(out, s.d2);
  put16(out, s.seconds);
  for (const auto& e : s.entries) {
    put32(out, e.sheets);
    put32(out, e.sides);
    put32(out, e.third);
  }
  out.append(2, '\0');
  out.push_back(static_cast<char>(s.field));
  putText(out, s.text1);
  putText(out, s.text2);
  return out;
}

std::string encodeResourceAlert(std::uint8_t kind, bool more, std::uint32_t result, std::string_view entry) {
  std::string out{"\x03\x02", 2};
  out.push_back(static_cast<char>(kind));
  out.push_back(more ? 1 : 0);
  put32(out, result);
  entry = entry.substr(0, 0xFFFF);
  put16(out, static_cast<std::uint16_t>(entry.size()));
  out.append(entry);
  return out;
}

}  // namespace wf::sim::alerts
