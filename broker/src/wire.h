#pragma once
// Little-endian packing of mail data. The reader never reads past the bytes
// it was given: every take reports whether the bytes were there.
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace wf::bce {

using Bytes = std::vector<std::uint8_t>;

class ByteWriter {
 public:
  ByteWriter& u8(std::uint8_t v) { return raw(&v, 1); }
  ByteWriter& u16(std::uint16_t v) {
    const std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
    return raw(b, 2);
  }
  ByteWriter& u32(std::uint32_t v) {
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                               static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
    return raw(b, 4);
  }
  ByteWriter& i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
  ByteWriter& raw(const void* data, std::size_t size) {
    if (size == 0) return *this;
    const std::size_t old = bytes_.size();
    bytes_.resize(old + size);
    std::memcpy(bytes_.data() + old, data, size);
    return *this;
  }
  template <typename Record>
  ByteWriter& record(const Record& r) { return raw(&r, sizeof r); }
  Bytes take() { return std::move(bytes_); }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> data) : data_(data) {}

  bool u8(std::uint8_t& v) { return take(&v, 1); }
  bool u16(std::uint16_t& v) {
    std::uint8_t b[2];
    if (!take(b, 2)) return false;
    v = static_cast<std::uint16_t>(b[0] | b[1] << 8);
    return true;
  }
  bool u32(std::uint32_t& v) {
    std::uint8_t b[4];
    if (!take(b, 4)) return false;
    v = static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
        static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    return true;
  }
  bool i32(std::int32_t& v) {
    std::uint32_t u;
    if (!u32(u)) return false;
    v = static_cast<std::int32_t>(u);
    return true;
  }
  bool take(void* out, std::size_t size) {
    if (size > remaining()) return false;
    if (size) std::memcpy(out, data_.data() + pos_, size);
    pos_ += size;
    return true;
  }
  template <typename Record>
  bool record(Record& r) { return take(&r, sizeof r); }
  // The next `size` bytes in place; empty span and false when short.
  bool view(std::size_t size, std::span<const std::uint8_t>& out) {
    if (size > remaining()) return false;
    out = data_.subspan(pos_, size);
    pos_ += size;
    return true;
  }
  std::size_t remaining() const { return data_.size() - pos_; }
  bool atEnd() const { return pos_ == data_.size(); }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
};

}  // namespace wf::bce
