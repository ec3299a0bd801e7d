#pragma once
// Flash Network Card: a flash ROM preprocessor file checked against the
// adapter's class and sent to the adapter in blocks (items 11-13 over
// TCP/IP, 132-134 over the other transports).
#include <cstddef>
#include <cstdint>
#include <string>

namespace wf::netui {

// The outcomes and the notices that tell them.
enum class FlashOutcome { Sent = 0, ReadError = 1, FormatInvalid = 2, WriteError = 3 };

constexpr std::size_t kFlashHeaderSize = 214;  // the data starts here
constexpr std::size_t kFlashBannerOffset = 100;
constexpr std::size_t kFlashLengthOffset = 204;
constexpr std::size_t kFlashBeginOffset = 208;

// Null for a class that takes no flash file.
const char* flashBanner(uint8_t adapterClass);
// The open-file filter; its first pair is the class's own files.
std::string flashFilter(uint8_t adapterClass);
// The first `n` bytes read of a file of `fileSize` bytes: FormatInvalid
// unless at least 215 bytes, the banner between offset 100 and the first
// zero byte, and the length field equal to the file's size; else Sent.
FlashOutcome checkFlashHeader(const uint8_t* data, std::size_t n, uint64_t fileSize, const char* banner);

}  // namespace wf::netui
