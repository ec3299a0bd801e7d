#pragma once
// Flash ROM preprocessor files for the tests: a banner at offset 100, the
// length field at 204 (the true size unless told to lie), the three
// flash-begin values at 208 and the data from 214.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace wf::netui::testing {

constexpr const char* kXleBanner = "~|Corvane~| Portbay XLe Flash ROM Preprocessor File (compressed)";
constexpr const char* kXlBanner = "~|Corvane~| Portbay XL Flash ROM Preprocessor File";
constexpr const char* kSinglePortBanner = "~|Corvane~| Flash ROM Preprocessor File";

struct FlashFileSpec {
  std::string banner = kXleBanner;
  uint16_t values[3] = {0x0102, 0x0304, 0x0506};
  std::string data = std::string("\x03\x02\x00", 3);
  std::optional<uint32_t> lengthField;  // none: the file's size
};

inline std::string flashFileBytes(const FlashFileSpec& spec) {
  std::string bytes(214, '\0');
  std::memset(bytes.data(), 'H', 100);
  std::memcpy(bytes.data() + 100, spec.banner.data(), std::min<std::size_t>(spec.banner.size(), 104));
  const uint32_t length = spec.lengthField.value_or(static_cast<uint32_t>(214 + spec.data.size()));
  for (int i = 0; i < 4; ++i) bytes[204 + i] = static_cast<char>(length >> (8 * i));
  for (int v = 0; v < 3; ++v) {
    bytes[208 + 2 * v] = static_cast<char>(spec.values[v] & 0xFF);
    bytes[209 + 2 * v] = static_cast<char>(spec.values[v] >> 8);
  }
  return bytes + spec.data;
}

// `size` bytes of data counting from `first`.
inline std::string flashData(std::size_t size, uint8_t first = 3) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>(first + i * 7);
  return data;
}

inline std::string writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
  return path.string();
}

}  // namespace wf::netui::testing
