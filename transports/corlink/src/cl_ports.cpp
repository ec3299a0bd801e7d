#include "cl_ports.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace wf::corlink {
namespace {

std::string boundedText(const std::uint8_t* field, std::size_t width) {
  const auto* text = reinterpret_cast<const char*>(field);
  return std::string(text, strnlen(text, width - 1));
}

std::uint16_t loadLe16At(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

}  // namespace

std::string hexBytes(const std::uint8_t* data, std::size_t size, std::size_t limit) {
  std::string out;
  char two[4];
  for (std::size_t i = 0; i < std::min(limit, size); ++i) {
    std::snprintf(two, sizeof two, "%02X ", data[i]);
    out += two;
  }
  return out;
}

std::string portIdText(std::uint16_t id) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", id);
  return text;
}

std::string portAddress(const PortBlock& b) {
  char text[32];
  std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X:%02X:%02X", b.node[0], b.node[1], b.node[2],
                b.node[3], b.node[4], b.node[5], b.portHi, b.portLo);
  return text;
}

PortRecord readPortRecord(const std::uint8_t* data) {
  PortRecord r;
  r.portName = boundedText(data, 25);
  r.queueName = boundedText(data + 25, 65);
  r.flags = loadLe16At(data + 90);
  std::memcpy(r.node, data + 92, 6);
  r.network = loadLe16At(data + 98) | (std::uint32_t{loadLe16At(data + 100)} << 16);
  r.socket = loadLe16At(data + 102);
  r.adapterClass = loadLe16At(data + 104);
  r.portHi = data[106];
  r.portLo = data[107];
  r.portNumber = data[108];
  return r;
}

std::vector<PortRecord> readPortRecords(const Bytes& data) {
  std::vector<PortRecord> out;
  for (std::size_t at = 0; at + kPortRecordSize <= data.size(); at += kPortRecordSize)
    out.push_back(readPortRecord(data.data() + at));
  return out;
}

PortBlock PortContext::block() const {
  PortBlock b;
  std::memcpy(b.node, record.node, 6);
  b.portHi = record.portHi;
  b.portLo = record.portLo;
  b.portNumber = record.portNumber;
  b.kind = portKindOfClass(record.adapterClass);
  return b;
}

std::uint8_t PortContext::itemPortKind() const {
  if (record.adapterClass == 1 || record.adapterClass == 16) return 1;
  return record.portHi ? 4 : 2;
}

NETPORTINFO PortContext::info() const {
  NETPORTINFO i{};
  std::memcpy(i.portName, record.portName.data(), std::min(record.portName.size(), sizeof i.portName - 1));
  i.flags = record.flags;
  i.portId = id;
  i.connections = access | 8;
  std::memcpy(i.node, record.node, 6);
  i.adapterClass = record.adapterClass;
  const auto c = record.adapterClass;
  if (c == 2 || c == 4 || c == 8) i.portKind = record.portHi ? 0x0101 : record.portLo;
  return i;
}

std::optional<std::uint16_t> PortTable::find(const std::uint8_t node[6], std::uint8_t portHi, std::uint8_t portLo) {
  std::lock_guard hold(mutex_);
  for (const auto& p : ports_)
    if (std::memcmp(p.record.node, node, 6) == 0 && p.record.portHi == portHi && p.record.portLo == portLo)
      return p.id;
  return std::nullopt;
}

std::optional<std::uint16_t> PortTable::findOrAdd(const PortRecord& record, const std::string& server) {
  std::lock_guard hold(mutex_);
  for (auto& p : ports_) {
    if (std::memcmp(p.record.node, record.node, 6) == 0 && p.record.portHi == record.portHi &&
        p.record.portLo == record.portLo) {
      if (p.server.empty()) p.server = server;
      return p.id;
    }
  }
  if (ports_.size() >= kPortLimit) return std::nullopt;
  PortContext p;
  p.id = static_cast<std::uint16_t>(ports_.size());
  p.server = server;
  p.record = record;
  p.kind = (record.flags & 0x8000) ? 1 : 2;
  ports_.push_back(std::move(p));
  return ports_.back().id;
}

std::optional<PortContext> PortTable::get(std::uint16_t id) {
  std::lock_guard hold(mutex_);
  if (id >= ports_.size()) return std::nullopt;
  return ports_[id];
}

}  // namespace wf::corlink
