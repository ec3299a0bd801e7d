#include "transports/common/ip_items.h"

#include <charconv>

#include "platform/byte_codec.h"

namespace wf::net {
namespace {

std::vector<std::uint8_t> bytesOf(const std::string& text) {
  return {text.begin(), text.end()};
}

ByteWriter& terminated(ByteWriter& out, std::string_view text) {
  return out.bytes(text).u8(0);
}

// The text up to its terminator; refused when no terminator is left.
bool readTerminated(ByteReader& in, std::string& text) {
  const std::string_view rest = in.rest();
  const std::size_t end = rest.find('\0');
  if (end == std::string_view::npos) return false;
  text.assign(rest.substr(0, end));
  return in.skip(end + 1);
}

}  // namespace

std::vector<std::uint8_t> buildIpAdapterEntry(const IpAdapterEntry& entry) {
  const std::size_t length =
      4 + entry.portName.size() + 1 + entry.hostName.size() + 1 + entry.community.size() + 1;
  ByteWriter out;
  out.reserve(4 + length).le32(static_cast<std::uint32_t>(length));
  for (std::uint8_t b : entry.address) out.u8(b);
  terminated(out, entry.portName);
  terminated(out, entry.hostName);
  terminated(out, entry.community);
  return bytesOf(out.str());
}

std::uint16_t ipAddRequestLength(const IpAdapterEntry& entry) {
  return static_cast<std::uint16_t>(11 + entry.hostName.size() + entry.community.size());
}

std::vector<std::uint8_t> buildIpChangeRecord(const IpAdapterEntry& entry) {
  std::vector<std::uint8_t> record = buildIpAdapterEntry(entry);
  if (record.size() > kIpChangeRecordLength) return {};
  record.resize(kIpChangeRecordLength, 0);
  return record;
}

std::optional<IpAdapterEntry> readIpAdapterEntry(std::span<const std::uint8_t> bytes) {
  ByteReader in(bytes);
  std::uint32_t length = 0;
  IpAdapterEntry entry;
  if (!in.le32(length)) return std::nullopt;
  for (std::uint8_t& b : entry.address)
    if (!in.u8(b)) return std::nullopt;
  if (!readTerminated(in, entry.portName) || !readTerminated(in, entry.hostName) ||
      !readTerminated(in, entry.community))
    return std::nullopt;
  if (length != in.position() - 4) return std::nullopt;
  if (entry.portName.size() > kIpPortNameMax || entry.hostName.size() > kIpHostNameMax ||
      entry.community.size() > kIpCommunityMax)
    return std::nullopt;
  return entry;
}

std::vector<std::uint8_t> buildIpHostRecord(const IpHostRecord& record) {
  ByteWriter out;
  out.le32(static_cast<std::uint32_t>(record.hostName.size() + 5));
  for (std::uint8_t b : record.address) out.u8(b);
  terminated(out, record.hostName);
  return bytesOf(out.str());
}

std::optional<IpHostRecord> readIpHostRecord(std::span<const std::uint8_t> bytes) {
  ByteReader in(bytes);
  std::uint32_t length = 0;
  IpHostRecord record;
  if (!in.le32(length)) return std::nullopt;
  for (std::uint8_t& b : record.address)
    if (!in.u8(b)) return std::nullopt;
  if (!readTerminated(in, record.hostName) || length != record.hostName.size() + 5) return std::nullopt;
  return record;
}

std::vector<std::uint8_t> buildIpFlashBlock(std::span<const std::uint8_t> data) {
  ByteWriter out;
  out.le16(static_cast<std::uint32_t>(data.size()));
  out.bytes({reinterpret_cast<const char*>(data.data()), data.size()});
  return bytesOf(out.str());
}

std::optional<std::vector<std::uint8_t>> readIpFlashBlock(std::span<const std::uint8_t> bytes) {
  ByteReader in(bytes);
  std::uint16_t count = 0;
  std::string_view data;
  if (!in.le16(count) || count > kIpFlashBlockMax || !in.bytes(count, data)) return std::nullopt;
  return std::vector<std::uint8_t>(data.begin(), data.end());
}

std::string dottedAddress(const IpAddress& address) {
  return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." + std::to_string(address[2]) +
         "." + std::to_string(address[3]);
}

std::optional<IpAddress> parseDottedAddress(std::string_view text) {
  IpAddress address{};
  const char* at = text.data();
  const char* end = text.data() + text.size();
  for (std::size_t i = 0; i < address.size(); ++i) {
    if (i > 0) {
      if (at == end || *at != '.') return std::nullopt;
      ++at;
    }
    if (at == end || *at < '0' || *at > '9') return std::nullopt;
    unsigned value = 0;
    const auto [next, error] = std::from_chars(at, end, value);
    if (error != std::errc() || value > 255 || next - at > 3) return std::nullopt;
    address[i] = static_cast<std::uint8_t>(value);
    at = next;
  }
  if (at != end) return std::nullopt;
  return address;
}

}  // namespace wf::net
