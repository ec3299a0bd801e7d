#pragma once
// Items of a driver setup request (16-bit tag, 16-bit size with the header,
// value, one zero byte; little-endian) built and read by tests.
#include <string>
#include <vector>

namespace wf::testing {

inline std::string le16(unsigned v) {
  return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}
inline std::string numberItem(unsigned tag, unsigned value) {
  return le16(tag) + le16(7) + le16(value) + std::string(1, '\0');
}
inline std::string textItem(unsigned tag, const std::string& text) {
  return le16(tag) + le16(static_cast<unsigned>(text.size()) + 6) + text + std::string(2, '\0');
}
inline const std::string kEndItem("\0\0\x06\0\0\0", 6);

// The tags of a block, in order, read by their size fields.
inline std::vector<unsigned> tagsOf(const std::string& block) {
  std::vector<unsigned> tags;
  for (std::size_t at = 0; at + 4 <= block.size();) {
    const auto* p = reinterpret_cast<const unsigned char*>(block.data()) + at;
    tags.push_back(p[0] | p[1] << 8);
    const unsigned size = p[2] | p[3] << 8;
    if (size == 0) break;
    at += size;
  }
  return tags;
}

}  // namespace wf::testing
