#include "platform/dde_wire.h"

#include "platform/byte_codec.h"

namespace wf::ddewire {

std::optional<std::vector<std::uint8_t>> encode(const Frame& frame) {
  if (frame.item.size() > kMaxItem || frame.data.size() > kMaxData) return std::nullopt;
  std::vector<std::uint8_t> out(kHeaderBytes + frame.item.size() + frame.data.size());
  out[0] = static_cast<std::uint8_t>(frame.kind);
  storeLe16(&out[2], frame.format);
  storeLe32(&out[4], frame.transaction);
  storeLe32(&out[8], frame.status);
  storeLe16(&out[12], static_cast<std::uint16_t>(frame.item.size()));
  storeLe32(&out[16], static_cast<std::uint32_t>(frame.data.size()));
  std::copy(frame.item.begin(), frame.item.end(), out.begin() + kHeaderBytes);
  std::copy(frame.data.begin(), frame.data.end(), out.begin() + kHeaderBytes + frame.item.size());
  return out;
}

std::optional<Frame> decode(std::span<const std::uint8_t> bytes, std::string* why) {
  auto refuse = [why](std::string text) -> std::optional<Frame> {
    if (why) *why = std::move(text);
    return std::nullopt;
  };
  if (bytes.size() < kHeaderBytes) return refuse("frame of " + std::to_string(bytes.size()) + " bytes");
  if (bytes.size() > kMaxFrame) return refuse("oversized frame of " + std::to_string(bytes.size()) + " bytes");
  const std::uint8_t kind = bytes[0];
  if (kind < static_cast<std::uint8_t>(Kind::Connect) || kind > static_cast<std::uint8_t>(Kind::AdviseAck))
    return refuse("unknown frame kind " + std::to_string(kind));
  const std::size_t itemLength = loadLe16(&bytes[12]);
  const std::uint64_t dataLength = loadLe32(&bytes[16]);
  if (itemLength > kMaxItem || dataLength > kMaxData)
    return refuse("item of " + std::to_string(itemLength) + " or data of " + std::to_string(dataLength) +
                  " bytes beyond the limits");
  if (kHeaderBytes + itemLength + dataLength != bytes.size())
    return refuse("lengths " + std::to_string(itemLength) + "+" + std::to_string(dataLength) +
                  " do not match the " + std::to_string(bytes.size() - kHeaderBytes) + " bytes received");
  Frame f;
  f.kind = static_cast<Kind>(kind);
  f.format = loadLe16(&bytes[2]);
  f.transaction = loadLe32(&bytes[4]);
  f.status = loadLe32(&bytes[8]);
  const auto* item = reinterpret_cast<const char*>(bytes.data() + kHeaderBytes);
  f.item.assign(item, itemLength);
  f.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(kHeaderBytes + itemLength), bytes.end());
  return f;
}

}  // namespace wf::ddewire
