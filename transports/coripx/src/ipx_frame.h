#pragma once
// The header every datagram to an adapter starts with, its two addressing
// forms, acknowledgements and the bit-reversed node form.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "ipx_port.h"

namespace wf::coripx {

using Bytes = std::vector<std::uint8_t>;

// Bytes 0-9: kind 0, function, port byte, number, magic, version.
Bytes headerWith(std::uint8_t function, std::uint8_t portByte, std::uint8_t number);
std::uint8_t portFormByte(const IPXPORT& port);
std::uint8_t kindFormByte(const IPXPORT& port);
// For data and job packets: bit 0x40 of the port byte cleared.
constexpr std::uint8_t dataForm(std::uint8_t portByte) {
  return static_cast<std::uint8_t>(portByte & ~0x40);
}

// "Query LPA Parameters": 26 bytes, short header.
Bytes shortQuery(std::uint8_t number);
// The kind-form request that asks an adapter for a reply's next piece.
Bytes sendMoreRequest(const IPXPORT& port, std::uint8_t number);

std::uint8_t reverseBits(std::uint8_t b);
Node reverseNode(const Node& node);

// Tags are NUL-terminated texts within their 21 bytes.
bool tagIs(const std::uint8_t* field, std::size_t available, std::string_view tag);
void putTag(std::uint8_t* field, std::string_view tag);

}  // namespace wf::coripx
