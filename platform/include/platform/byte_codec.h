#pragma once
// Numbers and texts in byte strings, big- or little-endian. The reader never
// reads past the bytes it was given: a read that does not fit is refused,
// changes nothing and leaves the reader marked short, so a decoder can run
// several reads and check once.
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace wf {

// Unchecked loads at a byte address, for callers that have checked the size.
inline std::uint16_t loadBe16(const void* at) {
  const auto* p = static_cast<const std::uint8_t*>(at);
  return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}
inline std::uint32_t loadBe32(const void* at) {
  const auto* p = static_cast<const std::uint8_t*>(at);
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}
inline std::uint16_t loadLe16(const void* at) {
  const auto* p = static_cast<const std::uint8_t*>(at);
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t loadLe32(const void* at) {
  const auto* p = static_cast<const std::uint8_t*>(at);
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

inline std::uint64_t loadLe64(const void* at) {
  return loadLe32(at) | std::uint64_t{loadLe32(static_cast<const std::uint8_t*>(at) + 4)} << 32;
}

// Bytes as upper-case hexadecimal digits, two per byte, no separators
// (names, logs).
inline std::string hexText(const void* at, std::size_t n) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const auto* p = static_cast<const std::uint8_t*>(at);
  std::string out;
  out.reserve(2 * n);
  for (std::size_t i = 0; i < n; ++i) {
    out += kDigits[p[i] >> 4];
    out += kDigits[p[i] & 0xF];
  }
  return out;
}

// Unchecked stores, for fixed-size headers written in place.
inline void storeBe16(void* at, std::uint16_t v) {
  auto* p = static_cast<std::uint8_t*>(at);
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}
inline void storeLe16(void* at, std::uint16_t v) {
  auto* p = static_cast<std::uint8_t*>(at);
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void storeLe32(void* at, std::uint32_t v) {
  auto* p = static_cast<std::uint8_t*>(at);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void storeLe64(void* at, std::uint64_t v) {
  storeLe32(at, static_cast<std::uint32_t>(v));
  storeLe32(static_cast<std::uint8_t*>(at) + 4, static_cast<std::uint32_t>(v >> 32));
}

class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}
  explicit ByteReader(std::span<const std::uint8_t> bytes)
      : bytes_(reinterpret_cast<const char*>(bytes.data()), bytes.size()) {}

  bool u8(std::uint8_t& v) {
    return take(1, [&](const char* p) { v = static_cast<std::uint8_t>(*p); });
  }
  bool be16(std::uint16_t& v) {
    return take(2, [&](const char* p) { v = loadBe16(p); });
  }
  bool be32(std::uint32_t& v) {
    return take(4, [&](const char* p) { v = loadBe32(p); });
  }
  bool le16(std::uint16_t& v) {
    return take(2, [&](const char* p) { v = loadLe16(p); });
  }
  bool le32(std::uint32_t& v) {
    return take(4, [&](const char* p) { v = loadLe32(p); });
  }
  bool le64(std::uint64_t& v) {
    return take(8, [&](const char* p) { v = loadLe64(p); });
  }
  bool bytes(std::size_t n, std::string_view& v) {
    return take(n, [&](const char* p) { v = {p, n}; });
  }
  // A text behind its length byte; refused whole when cut short.
  bool text8(std::string_view& v) {
    std::uint8_t n = 0;
    if (remaining() < 1 || remaining() - 1 < static_cast<std::uint8_t>(bytes_[at_])) return refuse();
    u8(n);
    return bytes(n, v);
  }
  bool skip(std::size_t n) {
    return take(n, [](const char*) {});
  }
  // Moves to `offset` from the start; refused past the end.
  bool seek(std::size_t offset) {
    if (offset > bytes_.size()) return refuse();
    at_ = offset;
    return true;
  }

  std::size_t position() const { return at_; }
  std::size_t remaining() const { return bytes_.size() - at_; }
  std::size_t size() const { return bytes_.size(); }
  bool has(std::size_t n) const { return remaining() >= n; }
  // True once any read was refused.
  bool isShort() const { return short_; }
  std::string_view rest() const { return bytes_.substr(at_); }

 private:
  template <typename Store>
  bool take(std::size_t n, Store store) {
    if (remaining() < n) return refuse();
    store(bytes_.data() + at_);
    at_ += n;
    return true;
  }
  bool refuse() {
    short_ = true;
    return false;
  }

  std::string_view bytes_;
  std::size_t at_ = 0;
  bool short_ = false;
};

class ByteWriter {
 public:
  ByteWriter& u8(std::uint32_t v) { return put(static_cast<char>(v & 0xFF)); }
  ByteWriter& be16(std::uint32_t v) { return u8(v >> 8).u8(v); }
  ByteWriter& be32(std::uint32_t v) { return be16(v >> 16).be16(v); }
  ByteWriter& le16(std::uint32_t v) { return u8(v).u8(v >> 8); }
  ByteWriter& le32(std::uint32_t v) { return le16(v).le16(v >> 16); }
  ByteWriter& le64(std::uint64_t v) {
    return le32(static_cast<std::uint32_t>(v)).le32(static_cast<std::uint32_t>(v >> 32));
  }
  ByteWriter& bytes(std::string_view v) {
    out_.append(v);
    return *this;
  }
  // A length byte and the text, cut at 255 bytes.
  ByteWriter& text8(std::string_view v) {
    v = v.substr(0, 0xFF);
    return u8(static_cast<std::uint32_t>(v.size())).bytes(v);
  }
  ByteWriter& zeros(std::size_t n) {
    out_.append(n, '\0');
    return *this;
  }
  // Zeros up to `offset`, where the next field of a fixed layout begins.
  ByteWriter& padTo(std::size_t offset) {
    if (offset < out_.size()) throw std::logic_error("ByteWriter::padTo behind the end");
    return zeros(offset - out_.size());
  }

  // Room for `n` bytes in all, so a writer of known size allocates once.
  ByteWriter& reserve(std::size_t n) {
    out_.reserve(n);
    return *this;
  }

  std::size_t size() const { return out_.size(); }
  const std::string& str() const { return out_; }
  std::string take() { return std::move(out_); }

 private:
  ByteWriter& put(char c) {
    out_.push_back(c);
    return *this;
  }
  std::string out_;
};

}  // namespace wf
