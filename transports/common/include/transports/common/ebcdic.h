#pragma once
// The adapters' identity texts (model tag, machine type, model, firmware
// level, product text) come in EBCDIC. Each byte maps through one table:
// every code that code page 037 gives as printable ASCII keeps that
// character, except 0x4F and 0x7D (they give 0) and 0x6A (the vertical bar);
// every other code gives 0. The IPX adapters' model tag is read with the
// full table: 0x4F gives the vertical bar and 0x7D the apostrophe as well.
#include <cstddef>
#include <cstdint>
#include <string>

namespace wf::adapter {

enum class EbcdicTable { Identity, IpxModelTag };

char ebcdicToAscii(std::uint8_t code, EbcdicTable table = EbcdicTable::Identity);

// Translates `n` bytes into out[0..n-1] and terminates at out[n].
void ebcdicToAscii(const std::uint8_t* in, std::size_t n, char* out);

// The text up to its first 0.
std::string ebcdicText(const std::uint8_t* in, std::size_t n, EbcdicTable table = EbcdicTable::Identity);

}  // namespace wf::adapter
