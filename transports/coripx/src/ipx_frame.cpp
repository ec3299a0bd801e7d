#include "ipx_frame.h"

#include <algorithm>
#include <cstring>

#include "transports/common/adapter_layout.h"

namespace wf::coripx {
namespace {
namespace wire = ::wf::adapter::coripx;
}  // namespace

Bytes headerWith(std::uint8_t function, std::uint8_t portByte, std::uint8_t number) {
  return {0, function, portByte, number, wire::kMagic0, wire::kMagic1, wire::kVersionByte, 0, 0, 0};
}

std::uint8_t portFormByte(const IPXPORT& port) {
  const std::uint8_t n = port.PortNumber & 0x0F;
  if (port.LpaAdapter) return static_cast<std::uint8_t>(wire::kFormLpa | n);
  if (n == 0) return wire::kFormPort0;
  if (n <= 5) return static_cast<std::uint8_t>(wire::kFormPorts1To5 | n);
  return static_cast<std::uint8_t>(wire::kFormLpa | n);
}

std::uint8_t kindFormByte(const IPXPORT& port) {
  if (port.LpaAdapter) return wire::kFormLpaKind;
  switch (port.PortKind) {
    case 0x0101: return wire::kFormOwnPort;
    case 1: return wire::kFormPort1;
    case 2: return wire::kFormPort2;
    default: return wire::kFormOtherKind;
  }
}

Bytes shortQuery(std::uint8_t number) {
  Bytes q(wire::kShortQuery, 0);
  q[wire::kFunction] = wire::kFnRequest;
  q[wire::kNumber] = number;
  putTag(q.data() + wire::kShortTag, wire::kTagQuery);
  q[wire::kShortLength] = wire::kShortQueryMarker;
  return q;
}

Bytes sendMoreRequest(const IPXPORT& port, std::uint8_t number) {
  Bytes p = headerWith(wire::kFnRequest, kindFormByte(port), number);
  p.insert(p.end(), std::begin(wire::kSendMore), std::end(wire::kSendMore));
  return p;
}

std::uint8_t reverseBits(std::uint8_t b) {
  static constexpr std::uint8_t kNibble[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
  return static_cast<std::uint8_t>(kNibble[b & 0x0F] << 4 | kNibble[b >> 4]);
}

Node reverseNode(const Node& node) {
  Node r;
  std::transform(node.begin(), node.end(), r.begin(), reverseBits);
  return r;
}

bool tagIs(const std::uint8_t* field, std::size_t available, std::string_view tag) {
  const std::size_t n = std::min(available, ::wf::adapter::kTagField);
  const auto* end = std::find(field, field + n, 0);
  if (end == field + n) return false;  // no terminator within the bytes
  return std::string_view(reinterpret_cast<const char*>(field), static_cast<std::size_t>(end - field)) == tag;
}

void putTag(std::uint8_t* field, std::string_view tag) {
  std::memset(field, 0, ::wf::adapter::kTagField);
  std::memcpy(field, tag.data(), std::min(tag.size(), ::wf::adapter::kTagField - 1));
}

}  // namespace wf::coripx
