#include "transports/common/adapter_wire.h"

#include <algorithm>
#include <cstring>

#include "broker/net_transport.h"
#include "platform/byte_codec.h"

namespace wf::adapter {
namespace {

// The word at `at`, or 0 past the end.
std::uint16_t be16(View v, std::size_t at) {
  ByteReader r(v);
  std::uint16_t word = 0;
  if (r.seek(at)) r.be16(word);
  return word;
}

// Text from a fixed field: up to its first NUL or the end of the field or bytes.
std::string fieldText(View v, std::size_t at, std::size_t width) {
  std::string text;
  for (std::size_t i = at; i < v.size() && i < at + width && v[i]; ++i)
    text.push_back(static_cast<char>(v[i]));
  return text;
}

void appendField(Bytes& out, std::string_view text, std::size_t width) {
  const std::size_t n = std::min(text.size(), width);
  out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
  out.insert(out.end(), width - n, 0);
}

std::vector<std::uint8_t> netWareSizes() {
  std::vector<std::uint8_t> s(97, 0);
  auto fill = [&](int from, int to, std::uint8_t size) {
    for (int v = from; v <= to; ++v) s[static_cast<std::size_t>(v)] = size;
  };
  fill(0, 1, 1);
  fill(2, 2, 44);
  fill(3, 6, 1);
  fill(7, 22, 48);
  fill(23, 38, 16);
  fill(39, 56, 1);
  fill(57, 62, 2);
  fill(63, 64, 1);
  fill(65, 80, 39);
  fill(81, 86, 1);
  fill(87, 89, 2);
  fill(96, 96, 6);
  return s;
}

const std::vector<std::uint8_t>* sizesOf(std::uint8_t group) {
  static const std::vector<std::uint8_t> adapter = {6, 6, 1, 1, 1, 7, 7, 3, 1, 1, 64, 64, 16, 8, 1, 0};
  static const std::vector<std::uint8_t> corLink = {1, 1, 27, 0};
  static const std::vector<std::uint8_t> netWare = netWareSizes();
  static const std::vector<std::uint8_t> appleTalk = {1, 1, 0};
  static const std::vector<std::uint8_t> tcpIp = {1, 1, 4, 4, 4, 1, 4, 31, 1, 1, 1, 0};
  static const std::vector<std::uint8_t> npaModes = {1, 1, 1, 1, 1, 0};
  static const std::vector<std::uint8_t> parallel = {1, 37, 1, 2, 2, 1, 1, 255, 1};
  static const std::vector<std::uint8_t> serial = {1, 37, 1, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 255, 1};
  switch (group) {
    case var::kAdapterGroup:
      return &adapter;
    case var::kCorLinkGroup:
      return &corLink;
    case var::kNetWareGroup:
      return &netWare;
    case var::kAppleTalkGroup:
      return &appleTalk;
    case var::kTcpIpGroup:
      return &tcpIp;
    case var::kNpaModeGroup:
      return &npaModes;
    case var::kSerialGroup:
      return &serial;
    default:
      return group >= 129 && group <= 133 ? &parallel : nullptr;
  }
}

Bytes variablePacket(std::uint8_t mode, const Bytes& body) {
  const std::size_t length = 4 + body.size();  // flags, command, marker, mode
  std::uint8_t header[kVariableHeader] = {kNpaStart,       0,   0, kVariableRequestFlags, kVariableCommand,
                                          kVariableMarker, mode};
  storeBe16(header + 1, static_cast<std::uint16_t>(length));
  Bytes p(kVariableHeader + body.size());
  std::copy(std::begin(header), std::end(header), p.begin());
  std::copy(body.begin(), body.end(), p.begin() + kVariableHeader);
  return p;
}

}  // namespace

// ---- Text commands --------------------------------------------------------------------

Bytes textCommand(std::string_view tag, View data) {
  Bytes out;
  appendField(out, tag, kTagField);
  if (data.empty())
    out.push_back(tag == kTagQueryParameters ? kQueryMarker : 0);
  else
    out.insert(out.end(), data.begin(), data.end());
  return out;
}

bool tagIs(View datagram, std::string_view tag) {
  if (datagram.size() < kTagField) return false;
  Bytes wanted;
  appendField(wanted, tag, kTagField);
  return std::equal(wanted.begin(), wanted.end(), datagram.begin());
}

int commandStatus(View reply) {
  if (!tagIs(reply, kTagCommandReceived)) return NET_OKAY;
  if (reply.size() <= kStatusByte) return NET_FAIL;
  const std::uint8_t status = reply[kStatusByte];
  return status == 0 ? NET_OKAY : status == kStatusRefused ? NET_ADAPTER_STATUS_11 : NET_FAIL;
}

ControlLpa& ControlLpa::item(std::uint8_t id, View value) {
  items_.push_back(static_cast<std::uint8_t>(value.size() + 2));
  items_.push_back(id);
  items_.insert(items_.end(), value.begin(), value.end());
  return *this;
}

ControlLpa& ControlLpa::language(std::uint8_t code) {
  return item(kItemLanguage, View(&code, 1));
}

ControlLpa& ControlLpa::address(const std::array<std::uint8_t, 6>& node) {
  std::uint8_t value[7];
  std::copy(node.begin(), node.end(), value);
  value[6] = std::any_of(node.begin(), node.end(), [](std::uint8_t b) { return b != 0; }) ? 1 : 0;
  return item(kItemAddress, value);
}

ControlLpa& ControlLpa::printMode(bool pserver) {
  const std::uint8_t v = pserver ? 1 : 0;
  return item(kItemPrintMode, View(&v, 1));
}

ControlLpa& ControlLpa::loginName(std::string_view name) {
  Bytes v;
  appendField(v, name, kLoginNameField);
  return item(kItemLoginName, v);
}

ControlLpa& ControlLpa::nameSlot(std::uint8_t slot, std::string_view name) {
  Bytes v = {slot};
  appendField(v, name, kNameSlotField);
  return item(kItemNameSlot, v);
}

ControlLpa& ControlLpa::programMode(std::uint8_t mode) {
  return item(kItemProgramMode, View(&mode, 1));
}

Bytes ControlLpa::command() const {
  return textCommand(kTagControl, items_);
}

std::optional<MultiPortParameters> readLpaParameters(View r) {
  if (!tagIs(r, kTagParameters) || r.size() < multiport::kReplySize) return std::nullopt;
  MultiPortParameters p;
  p.length = be16(r, multiport::kLength);
  p.name = fieldText(r, multiport::kName, multiport::kNameField);
  p.printMode = r[multiport::kPrintMode];
  p.flags = r[multiport::kFlags];
  p.portMask = r[multiport::kPortMask];
  p.busyMask = r[multiport::kBusyMask];
  std::copy_n(r.begin() + multiport::kKept, 3, p.kept.begin());
  p.media = (r[multiport::kMedia] & 1) ? 1 : 2;
  std::copy_n(r.begin() + multiport::kNode, 6, p.node.begin());
  return p;
}

std::uint16_t PortBlock::word(std::size_t offset) const {
  return be16(bytes, offset);
}

std::optional<KestrelParameters> readKestrelParameters(View r) {
  using namespace kestrel;
  if (!tagIs(r, kTagKestrelParameters) || r.size() < kPortBlocks) return std::nullopt;
  const std::size_t end = be16(r, kLength);
  if (end > r.size()) return std::nullopt;
  KestrelParameters p;
  std::copy_n(r.begin() + kBlock, kBlockSize, p.block.begin());
  p.keptWord = be16(r, kKeptWord);
  bool identityNext = false;
  for (std::size_t at = kPortBlocks; at < end;) {
    const std::size_t length = r[at];
    if (length < 2 || at + length > end) break;
    const View block = r.subspan(at, length);
    if (identityNext) {
      if (length >= kIdentityWhole) {
        IdentityBlock id;
        id.kind = block[1];
        id.name = fieldText(block, kIdentityName, kIdentityNameField);
        std::copy_n(block.begin() + kIdentityNode, 6, id.node.begin());
        if (id.kind == kKindIdentityWithSecondName)
          id.secondName = fieldText(block, kIdentitySecondName, length - kIdentitySecondName);
        p.identity = std::move(id);
      }
      break;
    }
    PortBlock port;
    port.bytes.assign(block.begin(),
                      block.begin() + static_cast<std::ptrdiff_t>(std::min(length, kMaxPortBlock)));
    identityNext = (port.kind() & 0xF0) == kKindSinglePort;
    p.ports.push_back(std::move(port));
    at += length;
  }
  return p;
}

std::optional<std::vector<std::string>> readServerListing(View r) {
  using namespace listing;
  if (!tagIs(r, kTagServerListing) || r.size() <= kCount) return std::nullopt;
  const std::size_t count = std::min<std::size_t>(r[kCount], 16);
  std::vector<std::string> names;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = i < kFirstDatagramNames
                               ? kNames + kNameField * i
                               : kFirstDatagram + kNames + kNameField * (i - kFirstDatagramNames);
    if (at >= r.size()) break;
    names.push_back(fieldText(r, at, kNameField));
  }
  return names;
}

std::optional<FlashResponse> readFlashResponse(View r) {
  if (!tagIs(r, kTagFlashResponse) || r.size() < kFlashSequence + 2) return std::nullopt;
  return FlashResponse{r[kStatusByte], loadLe16(&r[kFlashSequence])};
}

// ---- NPA variables --------------------------------------------------------------------

std::uint8_t variableSize(std::uint8_t group, std::uint8_t variable) {
  const auto* sizes = sizesOf(group);
  return sizes && variable < sizes->size() ? (*sizes)[variable] : 0;
}

VariableRead& VariableRead::add(std::uint8_t group, std::uint8_t variable) {
  pairs_.push_back(group);
  pairs_.push_back(variable);
  return *this;
}

Bytes VariableRead::packet() const {
  return pairs_.empty() ? Bytes{} : variablePacket(kModeRead, pairs_);
}

bool VariableWrite::add(std::uint8_t group, std::uint8_t variable, View value) {
  const std::uint8_t size = variableSize(group, variable);
  if (size == 0) return false;
  body_.push_back(group);
  body_.push_back(variable);
  body_.push_back(size);
  const std::size_t n = std::min<std::size_t>(value.size(), size);
  body_.insert(body_.end(), value.begin(), value.begin() + static_cast<std::ptrdiff_t>(n));
  body_.insert(body_.end(), size - n, 0);
  ++entries_;
  return true;
}

Bytes VariableWrite::packet() const {
  return entries_ ? variablePacket(kModeWrite, body_) : Bytes{};
}

std::optional<VariableReply> readVariableReply(View p) {
  if (p.size() < kVariableHeader || p[0] != kNpaStart) return std::nullopt;
  const std::size_t end = 3 + static_cast<std::size_t>(be16(p, 1));
  if (end > p.size() || end < kVariableHeader) return std::nullopt;
  VariableReply reply;
  reply.flags = p[3];
  reply.mode = p[6];
  // Entries: group, variable, size, value; the walk ends at the first that does not fit.
  ByteReader r(p.first(end));
  r.seek(kVariableHeader);
  VariableEntry e;
  std::uint8_t size = 0;
  std::string_view value;
  while (r.u8(e.group) && r.u8(e.variable) && r.u8(size) && r.bytes(size, value)) {
    e.value.assign(value.begin(), value.end());
    reply.entries.push_back(e);
  }
  return reply;
}

std::size_t fetchValue(const VariableReply& reply, std::uint8_t group, std::uint8_t variable,
                       std::span<std::uint8_t> out) {
  for (const VariableEntry& e : reply.entries) {
    if (e.group != group || e.variable != variable) continue;
    std::copy_n(e.value.begin(), std::min(e.value.size(), out.size()), out.begin());
    return e.value.size();
  }
  if (!out.empty()) out[0] = 0;
  return 0;
}

Bytes hostPacketSize() {
  return {kNpaStart, 0x00, 0x05, kNpaControl, 0x03, 0x05, 0x02, 0x00};
}

std::uint16_t fragmentNumber(View d) {
  return d.size() < kFragmentHeader ? 0 : static_cast<std::uint16_t>(be16(d, 0) & kFragmentNumberMask);
}

Bytes fragmentHeader(std::uint16_t number) {
  Bytes header(kFragmentHeader);
  storeBe16(header.data(), number & kFragmentNumberMask);
  return header;
}

}  // namespace wf::adapter
