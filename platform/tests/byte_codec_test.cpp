#include "platform/byte_codec.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>

#include "platform/unique_fd.h"

namespace {

using wf::ByteReader;
using wf::ByteWriter;

TEST(ByteCodec, WriterAndReaderAgreeInBothByteOrders) {
  ByteWriter w;
  w.u8(0x1FF).be16(0x1234).be32(0x89ABCDEF).le16(0x1234).le32(0x89ABCDEF).text8("ab").bytes("xyz");
  EXPECT_EQ(w.str(), std::string("\xFF\x12\x34\x89\xAB\xCD\xEF\x34\x12\xEF\xCD\xAB\x89\x02"
                                 "abxyz",
                                 19));

  ByteReader r(w.str());
  std::uint8_t b = 0;
  std::uint16_t be16 = 0, le16 = 0;
  std::uint32_t be32 = 0, le32 = 0;
  std::string_view text, rest;
  ASSERT_TRUE(r.u8(b) && r.be16(be16) && r.be32(be32) && r.le16(le16) && r.le32(le32) && r.text8(text) &&
              r.bytes(3, rest));
  EXPECT_EQ(b, 0xFF);
  EXPECT_EQ(be16, 0x1234);
  EXPECT_EQ(be32, 0x89ABCDEFu);
  EXPECT_EQ(le16, 0x1234);
  EXPECT_EQ(le32, 0x89ABCDEFu);
  EXPECT_EQ(text, "ab");
  EXPECT_EQ(rest, "xyz");
  EXPECT_EQ(r.remaining(), 0u);
  EXPECT_FALSE(r.isShort());
}

TEST(ByteCodec, SixtyFourBitsAndInPlaceStoresAreLittleEndian) {
  const std::uint64_t v = 0x0123456789ABCDEFull;
  const std::string bytes("\xEF\xCD\xAB\x89\x67\x45\x23\x01", 8);
  EXPECT_EQ(ByteWriter().le64(v).str(), bytes);
  std::string stored(8, '\0');
  wf::storeLe64(stored.data(), v);
  EXPECT_EQ(stored, bytes);
  EXPECT_EQ(wf::loadLe64(bytes.data()), v);
  ByteReader r(bytes);
  std::uint64_t read = 0;
  ASSERT_TRUE(r.le64(read));
  EXPECT_EQ(read, v);
  EXPECT_FALSE(ByteReader(std::string_view(bytes).substr(1)).le64(read));
}

TEST(ByteCodec, HexTextIsTwoUpperCaseDigitsPerByte) {
  const std::uint8_t bytes[] = {0x00, 0x0F, 0xA5, 0xFF};
  EXPECT_EQ(wf::hexText(bytes, sizeof bytes), "000FA5FF");
  EXPECT_EQ(wf::hexText(bytes, 0), "");
}

// Every kind of read one byte short of what it needs is refused, leaves the
// value and the position alone, and marks the reader short.
TEST(ByteCodec, ReadsPastTheEndAreRefused) {
  const struct {
    const char* name;
    std::string bytes;
    std::function<bool(ByteReader&)> read;
  } kCases[] = {
      {"u8", "",
       [](ByteReader& r) {
         std::uint8_t v = 7;
         return r.u8(v) || v != 7;
       }},
      {"be16", "\x01",
       [](ByteReader& r) {
         std::uint16_t v = 7;
         return r.be16(v) || v != 7;
       }},
      {"le16", "\x01",
       [](ByteReader& r) {
         std::uint16_t v = 7;
         return r.le16(v) || v != 7;
       }},
      {"be32", "\x01\x02\x03",
       [](ByteReader& r) {
         std::uint32_t v = 7;
         return r.be32(v) || v != 7;
       }},
      {"le32", "\x01\x02\x03",
       [](ByteReader& r) {
         std::uint32_t v = 7;
         return r.le32(v) || v != 7;
       }},
      {"bytes", "ab",
       [](ByteReader& r) {
         std::string_view v;
         return r.bytes(3, v) || !v.empty();
       }},
      {"text8 cut",
       "\x03"
       "ab",
       [](ByteReader& r) {
         std::string_view v;
         return r.text8(v) || !v.empty();
       }},
      {"text8 no length", "",
       [](ByteReader& r) {
         std::string_view v;
         return r.text8(v);
       }},
      {"skip", "ab", [](ByteReader& r) { return r.skip(3); }},
      {"seek", "ab", [](ByteReader& r) { return r.seek(3); }},
  };
  for (const auto& c : kCases) {
    ByteReader r(c.bytes);
    EXPECT_FALSE(c.read(r)) << c.name;
    EXPECT_EQ(r.position(), 0u) << c.name;
    EXPECT_TRUE(r.isShort()) << c.name;
  }
}

TEST(ByteCodec, SeekToTheEndIsAllowedAndPadToFillsAFixedLayout) {
  ByteReader r(std::string_view("abc"));
  EXPECT_TRUE(r.seek(3));
  EXPECT_FALSE(r.has(1));
  EXPECT_FALSE(r.isShort());

  ByteWriter w;
  w.u8(1).padTo(4).u8(2);
  EXPECT_EQ(w.str(), std::string("\x01\x00\x00\x00\x02", 5));
  EXPECT_THROW(w.padTo(2), std::logic_error);
  EXPECT_EQ(ByteWriter().text8(std::string(300, 'x')).size(), 256u) << "a text is cut at 255 bytes";
}

bool isOpen(int fd) {
  return ::fcntl(fd, F_GETFD) != -1;
}

TEST(UniqueFd, ClosesExactlyOnceWhoeverHoldsItLast) {
  int raw = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(raw, 0);
  {
    wf::UniqueFd first(raw);
    wf::UniqueFd second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(second.get(), raw);
    wf::UniqueFd third;
    third = std::move(second);
    EXPECT_TRUE(isOpen(raw));
  }
  EXPECT_FALSE(isOpen(raw));

  wf::UniqueFd kept(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  const int released = kept.release();
  EXPECT_FALSE(kept);
  EXPECT_TRUE(isOpen(released));
  wf::UniqueFd again(released);
  again.reset();
  EXPECT_FALSE(isOpen(released));
}

}  // namespace
