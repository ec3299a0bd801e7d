#include "npa_packets.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_codec.h"
#include "transports/common/adapter_layout.h"

namespace wf::coripx {
namespace {

namespace layout = ::wf::adapter;

Bytes npaStart(std::uint8_t operation) {
  return {layout::kNpaStart, 0, 0, layout::kVariableRequestFlags, layout::kVariableCommand,
          layout::kVariableMarker, operation};
}

Bytes npaFinish(Bytes packet) {
  storeBe16(packet.data() + 1, static_cast<std::uint16_t>(packet.size() - 3));
  return packet;
}

void item(Bytes& p, std::uint8_t g, std::uint8_t v, std::initializer_list<std::uint8_t> value) {
  p.push_back(g);
  p.push_back(v);
  p.push_back(static_cast<std::uint8_t>(value.size()));
  p.insert(p.end(), value);
}

void wordItem(Bytes& p, std::uint8_t g, std::uint8_t v, std::uint16_t w) {
  item(p, g, v, {0, 0});
  storeBe16(p.data() + p.size() - 2, w);
}

void longItem(Bytes& p, std::uint8_t g, std::uint8_t v, std::uint32_t w) {
  item(p, g, v, {0, 0, 0, 0});
  storeBe16(p.data() + p.size() - 4, static_cast<std::uint16_t>(w >> 16));
  storeBe16(p.data() + p.size() - 2, static_cast<std::uint16_t>(w));
}

// A text field of `size` bytes, NUL-padded; a text that fills it has no terminator.
void textItem(Bytes& p, std::uint8_t g, std::uint8_t v, std::string_view text, std::size_t size) {
  p.push_back(g);
  p.push_back(v);
  p.push_back(static_cast<std::uint8_t>(size));
  const std::size_t n = std::min(text.size(), size);
  p.insert(p.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
  p.insert(p.end(), size - n, 0);
}

std::string_view fieldText(const std::array<char, 64>& field) {
  return {field.data(), ::strnlen(field.data(), field.size())};
}

// A 2- or 4-byte value; anything else reads as 0.
std::uint32_t valueNumber(ByteView v) {
  if (v.size() == 4) return loadBe32(v.data());
  if (v.size() == 2) return loadBe16(v.data());
  return 0;
}

std::uint8_t firstByte(ByteView v) {
  return v.empty() ? 0 : v[0];
}

void copyField(ByteView v, std::array<char, 64>& out) {
  std::memcpy(out.data(), v.data(), std::min(v.size(), out.size()));
}

}  // namespace

std::uint8_t npaModeByte(std::uint8_t mode) {
  return mode == 0 ? 0x20 : mode == 1 ? 0x10 : 0x08;
}

Bytes buildEnumerationQuery() {
  Bytes p = npaStart(kNpaEnumerate);
  const std::uint8_t adapter[][2] = {{0x07, 0x01}, {0x06, 0x01}, {0x06, 0x00}, {0x07, 0x02}, {0x06, 0x02},
                                     {0x06, 0x06}, {0x06, 0x07}, {0x06, 0x05}, {0x06, 0x0D}};
  for (const auto& i : adapter) p.insert(p.end(), {i[0], i[1]});
  for (std::uint8_t v : {0x00, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E})
    p.insert(p.end(), {layout::coripx::kOwnPortGroup, v});
  p.insert(p.end(), {layout::coripx::kModeGroup, 0x00});
  for (std::uint8_t port = 1; port <= 5; ++port) {
    const auto g = static_cast<std::uint8_t>(layout::coripx::kPortGroupBase | port);
    for (std::uint8_t v : {0x00, 0x03, 0x04, 0x05, 0x06}) p.insert(p.end(), {g, v});
    p.insert(p.end(), {layout::coripx::kModeGroup, port});
  }
  return npaFinish(std::move(p));
}

Bytes buildReadSettings() {
  Bytes p = npaStart(kNpaRead);
  const std::uint8_t items[][2] = {{0x06, 0x0A}, {0x06, 0x0B}, {0x0A, 0x02}, {0x0A, 0x03},
                                   {0x0A, 0x04}, {0x06, 0x04}, {0x08, 0x01}, {0x08, 0x00},
                                   {0x09, 0x01}, {0x09, 0x00}, {0x0A, 0x01}, {0x0A, 0x00}};
  for (const auto& i : items) p.insert(p.end(), {i[0], i[1]});
  return npaFinish(std::move(p));
}

Bytes buildWriteSettings(const SettingsWrite& s) {
  Bytes p = npaStart(kNpaWrite);
  longItem(p, 0x0A, 0x02, s.w1);
  longItem(p, 0x0A, 0x03, s.w2);
  longItem(p, 0x0A, 0x04, s.w3);
  textItem(p, 0x06, 0x0A, fieldText(s.text1), 64);
  textItem(p, 0x06, 0x0B, fieldText(s.text2), 64);
  item(p, 0x06, 0x04, {s.value0604});
  item(p, 0x08, 0x00, {static_cast<std::uint8_t>((s.flags & 0x02) ? 1 : 0)});
  item(p, 0x09, 0x00, {static_cast<std::uint8_t>((s.flags & 0x04) ? 1 : 0)});
  item(p, 0x0A, 0x00, {static_cast<std::uint8_t>((s.flags & 0x08) ? 1 : 0)});
  return npaFinish(std::move(p));
}

Bytes buildWrite8(const std::array<std::uint8_t, 8>& value) {
  Bytes p = npaStart(kNpaWrite);
  p.insert(p.end(), {0x06, 0x0D, 8});
  p.insert(p.end(), value.begin(), value.end());
  return npaFinish(std::move(p));
}

Bytes buildWriteAddress(char mode, std::uint32_t high, std::uint16_t low) {
  Bytes p = npaStart(kNpaWrite);
  if (mode == '0') high = 0, low = 0;
  p.insert(p.end(), {0x06, 0x01, 6, 0, 0, 0, 0, 0, 0});
  storeBe16(p.data() + p.size() - 6, static_cast<std::uint16_t>(high >> 16));
  storeBe16(p.data() + p.size() - 4, static_cast<std::uint16_t>(high));
  storeBe16(p.data() + p.size() - 2, low);
  item(p, 0x06, 0x0E, {1});
  return npaFinish(std::move(p));
}

Bytes buildWriteReset() {
  Bytes p = npaStart(kNpaWrite);
  item(p, 0x06, 0x0E, {1});
  return npaFinish(std::move(p));
}

Bytes buildWriteName(std::string_view name) {
  Bytes p = npaStart(kNpaWrite);
  textItem(p, 0x07, 0x02, name, 25);
  return npaFinish(std::move(p));
}

Bytes buildWriteOwnPort(std::uint16_t v06, std::uint8_t v08, std::uint8_t v0A, std::uint8_t v0C, std::uint8_t v0E,
                        std::uint16_t v04, std::uint8_t mode) {
  Bytes p = npaStart(kNpaWrite);
  const std::uint8_t g = layout::coripx::kOwnPortGroup;
  wordItem(p, g, 0x06, v06);
  item(p, g, 0x08, {v08});
  item(p, g, 0x0A, {v0A});
  item(p, g, 0x0C, {v0C});
  item(p, g, 0x0E, {v0E});
  wordItem(p, g, 0x04, v04);
  item(p, layout::coripx::kModeGroup, 0x00, {npaModeByte(mode)});
  return npaFinish(std::move(p));
}

Bytes buildWritePort(std::uint8_t group, std::uint8_t v06, std::uint16_t v04, std::uint8_t mode) {
  Bytes p = npaStart(kNpaWrite);
  item(p, group, 0x06, {v06});
  wordItem(p, group, 0x04, v04);
  item(p, layout::coripx::kModeGroup, static_cast<std::uint8_t>(group + 0x80), {npaModeByte(mode)});
  return npaFinish(std::move(p));
}

std::optional<NpaReply> readVariableReply(ByteView packet) {
  if (packet.size() < layout::kVariableHeader || packet[0] != layout::kNpaStart) return std::nullopt;
  const std::size_t end = std::min(packet.size(), std::size_t{3} + loadBe16(packet.data() + 1));
  NpaReply reply;
  reply.flags = packet[3];
  std::size_t at = layout::kVariableHeader;
  while (at + 3 <= end) {
    const std::size_t size = packet[at + 2];
    if (at + 3 + size > end) break;
    reply.items.push_back({packet[at], packet[at + 1], packet.subspan(at + 3, size)});
    at += 3 + size;
  }
  return reply;
}

std::optional<SettingsRecord> decodeSettings(const NpaReply& reply) {
  if (reply.flags & layout::kNpaError || reply.items.size() < 12) return std::nullopt;
  const auto& it = reply.items;
  SettingsRecord r;
  copyField(it[0].value, r.text1);
  copyField(it[1].value, r.text2);
  r.w1 = valueNumber(it[2].value);
  r.w2 = valueNumber(it[3].value);
  r.w3 = valueNumber(it[4].value);
  r.value0604 = firstByte(it[5].value);
  auto bit = [&](std::size_t i, std::uint8_t b) { return firstByte(it[i].value) ? b : std::uint8_t{0}; };
  r.enabled = static_cast<std::uint8_t>(bit(6, 0x02) | bit(8, 0x04) | bit(10, 0x08));
  r.set = static_cast<std::uint8_t>(bit(7, 0x02) | bit(9, 0x04) | bit(11, 0x08));
  return r;
}

std::size_t decodePortEntry(std::span<const NpaItem> items, PORTENTRY& out) {
  if (items.empty()) return 0;
  const bool own = items[0].group == layout::coripx::kOwnPortGroup;
  const std::size_t count = own ? kOwnPortItems : kPortItems;
  if (items.size() < count) return 0;
  out = PORTENTRY{};
  const std::uint8_t first = firstByte(items[0].value);
  const std::uint8_t mode = firstByte(items[count - 1].value);
  out.present = first & 0x80;
  out.flags = first & 0x40;
  if (mode & 0x20)
    out.flags &= static_cast<std::uint8_t>(~0x30);
  else
    out.flags |= (mode & 0x10) ? 0x10 : 0x20;
  if (own) {
    out.kindLetter = 'U';
    out.type = 0x40;
    for (std::size_t i = 0; i < 4; ++i) out.words[i] = static_cast<std::uint16_t>(valueNumber(items[1 + i].value));
    for (std::size_t i = 0; i < 8; ++i) out.bytes[i] = firstByte(items[5 + i].value);
    if (first & 0x40) out.flags |= 0x08;
  } else {
    out.kindLetter = 'K';
    out.type = static_cast<std::uint8_t>(0x80 | (items[0].group & 0x0F));
    for (std::size_t i = 0; i < 2; ++i) out.words[i] = static_cast<std::uint16_t>(valueNumber(items[1 + i].value));
    out.bytes[0] = firstByte(items[3].value);
    out.bytes[1] = firstByte(items[4].value);
    if (mode > 127) out.flags |= 0x08;
  }
  return count;
}

EnumerationReply decodeEnumerationReply(const NpaReply& reply) {
  EnumerationReply r;
  if (reply.flags & layout::kNpaError || reply.items.size() < kAdapterItems) return r;
  const auto& it = reply.items;
  AdapterRecord& a = r.adapter;
  a.empty = false;
  a.corLink = firstByte(it[0].value);
  std::memcpy(a.node.data(), it[1].value.data(), std::min<std::size_t>(6, it[1].value.size()));
  std::memcpy(a.otherAddress.data(), it[2].value.data(), std::min<std::size_t>(6, it[2].value.size()));
  const ByteView name = it[3].value.first(std::min<std::size_t>(it[3].value.size(), 24));
  a.name.assign(name.begin(), std::find(name.begin(), name.end(), 0));
  a.typeByte = firstByte(it[4].value);
  a.typeNibble = a.typeByte & 0x0F;
  a.model.assign(it[5].value.begin(), it[5].value.end());
  a.firmware.assign(it[6].value.begin(), it[6].value.end());
  a.product.assign(it[7].value.begin(), it[7].value.end());
  a.password.assign(it[8].value.begin(), it[8].value.end());
  std::span<const NpaItem> rest(it.begin() + kAdapterItems, it.end());
  while (!rest.empty()) {
    PORTENTRY e;
    const std::size_t used = decodePortEntry(rest, e);
    if (!used) break;
    r.ports.push_back(e);
    rest = rest.subspan(used);
  }
  return r;
}

}  // namespace wf::coripx
