#include "prtobj/prtobj_util.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "broker/corbce.h"
#include "platform/byte_codec.h"
#include "platform/version_info.h"

void twoByteSwap(std::uint16_t* value) {
  *value = static_cast<std::uint16_t>((*value >> 8) | (*value << 8));
}

void fourByteSwap(std::uint32_t* value) {
  const std::uint32_t v = *value;
  *value = (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
}

std::uint32_t MakeULONG(const void* at) {
  return wf::loadBe32(at);
}

std::uint32_t MakeUINT(const void* at) {
  return wf::loadBe32(at);
}

std::uint16_t MakeUSHORT(const void* at) {
  return wf::loadBe16(at);
}

std::uint8_t ReverseBits(std::uint8_t value) {
  std::uint8_t out = 0;
  for (int i = 0; i < 8; ++i) out = static_cast<std::uint8_t>(out << 1 | ((value >> i) & 1));
  return out;
}

void wfpoTrace(const char*, ...) {}

void* wfPrtObjNew(std::uint32_t bytes) {
  return std::malloc(bytes == 0 ? 1 : bytes);
}

void wfPrtObjFree(void* block) {
  std::free(block);
}

void parseAdapterAddress(const PRTINFO* info, std::string* out) {
  char text[13];
  const auto* node = reinterpret_cast<const std::uint8_t*>(info->node);
  std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X", node[0], node[1], node[2], node[3], node[4],
                node[5]);
  *out = text;
}

void SizeToString(long n, char* out) {
  if (n <= 0) {
    std::snprintf(out, 16, "0");
  } else if (n >= 1000000) {
    std::snprintf(out, 16, "%d,%03d,%03d", static_cast<int>(n / 1000000), static_cast<int>(n / 1000 % 1000),
                  static_cast<int>(n % 1000));
  } else if (n >= 1000) {
    std::snprintf(out, 16, "%d,%03d", static_cast<int>(n / 1000), static_cast<int>(n % 1000));
  } else {
    std::snprintf(out, 16, "%3d", static_cast<int>(n));
  }
}

long StrCodeLevelToLong(const std::string& text) {
  unsigned long value = 0;
  for (char c : text)
    if (c >= '0' && c <= '9') value = value * 10 + static_cast<unsigned long>(c - '0');
  return static_cast<long>(value);
}

void getWFDLLVersionNumber(const std::string& path, std::string* out) {
  out->clear();
  const wf::VersionRead read = wf::readVersionInfo(path);
  if (read.status != wf::VersionStatus::Found) return;
  const std::uint32_t ms = read.info.fileVersionMS;
  const std::uint32_t ls = read.info.fileVersionLS;
  char text[48];
  if (ls != 0)
    std::snprintf(text, sizeof text, "%d.%02d.%02d.%02d", static_cast<int>(ms >> 16),
                  static_cast<int>(ms & 0xFFFF), static_cast<int>(ls >> 16), static_cast<int>(ls & 0xFFFF));
  else
    std::snprintf(text, sizeof text, "%d.%02d", static_cast<int>(ms >> 16), static_cast<int>(ms & 0xFFFF));
  *out = text;
}

namespace {

// Code page 850, bytes 0x80..0xFF, as the characters the host can show.
constexpr char16_t kCp850High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x20AC, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x20AC, 0x20AC, 0x20AC, 0x20AC,
    0x20AC, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x20AC, 0x20AC, 0x20AC, 0x20AC, 0x00A2, 0x00A5, 0x20AC, 0x20AC,
    0x20AC, 0x20AC, 0x20AC, 0x20AC, 0x20AC, 0x00E3, 0x00C3, 0x20AC, 0x20AC, 0x20AC, 0x20AC, 0x20AC, 0x20AC,
    0x20AC, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x20AC, 0x00CD, 0x00CE, 0x00CF, 0x20AC, 0x20AC,
    0x20AC, 0x20AC, 0x00A6, 0x00CC, 0x20AC, 0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x20AC, 0x00BE, 0x00B6,
    0x00A7, 0x00F7, 0x00B8, 0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x20AC, 0x00A0,
};

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

bool utf8ToCp850(std::string_view text, std::string* out) {
  std::string bytes;
  bytes.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<std::uint8_t>(text[i]);
    if (lead < 0x80) {
      bytes += static_cast<char>(lead);
      ++i;
      continue;
    }
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || i + length > text.size()) return false;
    char32_t c = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<std::uint8_t>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    i += length;
    if (c == 0x20AC) return false;
    const auto* found = std::find(std::begin(kCp850High), std::end(kCp850High), c);
    if (found == std::end(kCp850High)) return false;
    bytes += static_cast<char>(0x80 + (found - std::begin(kCp850High)));
  }
  if (out) *out = std::move(bytes);
  return true;
}

std::string cp850ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char ch : bytes) {
    const auto b = static_cast<std::uint8_t>(ch);
    appendUtf8(out, b < 0x80 ? char32_t{b} : char32_t{kCp850High[b - 0x80]});
  }
  return out;
}
