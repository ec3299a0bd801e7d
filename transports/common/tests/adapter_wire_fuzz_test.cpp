// Randomised replies against the readers: mutations of valid replies and
// plain noise, each read from an exactly sized buffer so the sanitizer sees
// any read past the datagram. Seeds are fixed, so a failure repeats.
#include <gtest/gtest.h>

#include <random>

#include "transports/common/adapter_wire.h"

namespace wf::adapter {
namespace {

Bytes withTag(std::string_view tag, std::size_t size, std::mt19937& rng) {
  Bytes b(size);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  for (std::size_t i = 0; i < kTagField && i < size; ++i)
    b[i] = i < tag.size() ? static_cast<std::uint8_t>(tag[i]) : 0;
  return b;
}

// Reads `bytes` with every reader through a heap copy of exactly its size.
void readAll(const Bytes& bytes) {
  const auto exact = std::make_unique<std::uint8_t[]>(bytes.size() ? bytes.size() : 1);
  std::copy(bytes.begin(), bytes.end(), exact.get());
  const View v(exact.get(), bytes.size());

  (void)commandStatus(v);
  (void)readLpaParameters(v);
  (void)readFlashResponse(v);
  if (auto listing = readServerListing(v)) {
    EXPECT_LE(listing->size(), 16u);
    for (const auto& name : *listing) EXPECT_LE(name.size(), listing::kNameField);
  }
  if (auto k = readKestrelParameters(v)) {
    std::size_t total = 0;
    for (const PortBlock& p : k->ports) {
      EXPECT_GE(p.bytes.size(), 2u);
      EXPECT_LE(p.bytes.size(), kestrel::kMaxPortBlock);
      total += p.bytes.size();
    }
    EXPECT_LE(total, bytes.size());
  }
  if (auto r = readVariableReply(v)) {
    std::size_t total = kVariableHeader;
    for (const VariableEntry& e : r->entries) total += 3 + e.value.size();
    EXPECT_LE(total, bytes.size());
    std::uint8_t out[8];
    (void)fetchValue(*r, 6, 2, out);
  }
  (void)fragmentNumber(v);
}

TEST(AdapterWireFuzz, ReadersStayInsideTheBytesAndEndTheirWalks) {
  std::mt19937 rng(20261210);
  const std::string_view tags[] = {kTagParameters, kTagKestrelParameters, kTagServerListing,
                                   kTagFlashResponse, kTagCommandReceived};
  for (int round = 0; round < 20000; ++round) {
    Bytes b;
    switch (round % 4) {
      case 0: {  // a tagged reply of random size and content
        b = withTag(tags[rng() % std::size(tags)], rng() % 700, rng);
        break;
      }
      case 1: {  // a Kestrel reply whose length field and block lengths are small and plausible
        b = withTag(kTagKestrelParameters, kestrel::kPortBlocks + rng() % 400, rng);
        const std::size_t end = rng() % (b.size() + 40);
        b[kestrel::kLength] = static_cast<std::uint8_t>(end >> 8);
        b[kestrel::kLength + 1] = static_cast<std::uint8_t>(end);
        for (std::size_t at = kestrel::kPortBlocks; at < b.size(); at += 1 + rng() % 90)
          b[at] = static_cast<std::uint8_t>(rng() % 100);
        break;
      }
      case 2: {  // an NPA reply with random entries and length field
        b.resize(kVariableHeader + rng() % 300);
        for (auto& x : b) x = static_cast<std::uint8_t>(rng() % 16);
        b[0] = kNpaStart;
        const std::size_t length = rng() % (b.size() + 8);
        b[1] = static_cast<std::uint8_t>(length >> 8);
        b[2] = static_cast<std::uint8_t>(length);
        break;
      }
      default: {  // noise
        b.resize(rng() % 64);
        for (auto& x : b) x = static_cast<std::uint8_t>(rng());
      }
    }
    readAll(b);
    if (::testing::Test::HasFailure()) {
      ADD_FAILURE() << "round " << round;
      return;
    }
  }
}

}  // namespace
}  // namespace wf::adapter
