#include "vrel/crypto/md5.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "hex.h"

namespace vrel {
namespace {

using test::ToHex;

std::string Digest(const std::vector<unsigned char>& message) {
  unsigned char digest[16];
  Md5Compute(message.data(), static_cast<std::uint32_t>(message.size()), digest);
  return ToHex(digest, 16);
}

// Feeds the message in pieces of the given sizes, then the rest.
std::string DigestInPieces(const std::vector<unsigned char>& message,
                           std::initializer_list<std::uint32_t> pieces) {
  Md5Context ctx;
  std::memset(&ctx, 0xa5, sizeof ctx);  // Md5Init must not depend on prior contents
  Md5Init(ctx);
  std::uint32_t offset = 0;
  for (std::uint32_t piece : pieces) {
    Md5Update(ctx, message.data() + offset, piece);
    offset += piece;
  }
  Md5Update(ctx, message.data() + offset, static_cast<std::uint32_t>(message.size()) - offset);
  unsigned char digest[16];
  Md5Final(digest, ctx);
  return ToHex(digest, 16);
}

// 'a', 'b', ... 'z', 'a', ...: n bytes.
std::vector<unsigned char> Alphabet(std::size_t n) {
  std::vector<unsigned char> message(n);
  for (std::size_t i = 0; i < n; ++i) message[i] = static_cast<unsigned char>('a' + i % 26);
  return message;
}

struct Vector {
  const char* message;
  const char* digest;
};

// RFC 1321, appendix A.5 (test suite).
const Vector kRfc1321Suite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
     "0",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Md5Test, Rfc1321SuiteInOneCallAndByteByByte) {
  for (const Vector& v : kRfc1321Suite) {
    std::vector<unsigned char> message(v.message, v.message + std::strlen(v.message));
    EXPECT_EQ(Digest(message), v.digest) << '"' << v.message << '"';

    Md5Context ctx{};
    Md5Init(ctx);
    for (unsigned char byte : message) Md5Update(ctx, &byte, 1);
    unsigned char digest[16];
    Md5Final(digest, ctx);
    EXPECT_EQ(ToHex(digest, 16), v.digest) << '"' << v.message << '"';
  }
}

TEST(Md5Test, EmptyMessageWithoutAnyUpdate) {
  Md5Context ctx{};
  Md5Init(ctx);
  unsigned char digest[16];
  Md5Final(digest, ctx);
  EXPECT_EQ(ToHex(digest, 16), "d41d8cd98f00b204e9800998ecf8427e");

  Md5Compute(nullptr, 0, digest);
  EXPECT_EQ(ToHex(digest, 16), "d41d8cd98f00b204e9800998ecf8427e");
}

// Lengths around the padding boundaries: up to 55 bytes the length fits in
// the last block, 56-63 need one more block. Digests of the Alphabet message
// computed with Python's hashlib.md5.
TEST(Md5Test, LengthsAroundTheBlockBoundaries) {
  const struct {
    std::size_t length;
    const char* digest;
  } kCases[] = {
      {55, "0d7ae056b2f015cd7dc67494efd658f1"},  {56, "31fcfb5165169eb55898e7e4cf34d19a"},
      {63, "1b30c0670c15e7da3c2ba7bce77ebe99"},  {64, "a2eaf6295c32adc403865fd96a2f182b"},
      {65, "eba2cce0ca8df47e62414a736b3105a2"},  {119, "b05187e08da41fa3ef16bd56afaafd99"},
      {120, "62af9b597a9f55e16ab2b897387fc052"},
  };
  for (const auto& c : kCases) {
    const std::vector<unsigned char> message = Alphabet(c.length);
    EXPECT_EQ(Digest(message), c.digest) << c.length;
    EXPECT_EQ(DigestInPieces(message, {}), c.digest) << c.length;
    EXPECT_EQ(DigestInPieces(message, {static_cast<std::uint32_t>(c.length / 2), 0}), c.digest)
        << c.length;
  }
}

TEST(Md5Test, SplitFeedingsEqualOneCall) {
  const std::vector<unsigned char> m143 = Alphabet(10 + 60 + 3 + 70);
  EXPECT_EQ(DigestInPieces(m143, {10, 60, 3, 70}), Digest(m143));
  EXPECT_EQ(Digest(m143), "612a8d0c0ed9fd27a7c9356e1df0da26");

  const std::vector<unsigned char> m64 = Alphabet(64);
  EXPECT_EQ(DigestInPieces(m64, {63, 1}), Digest(m64));

  const std::vector<unsigned char> m128 = Alphabet(128);
  EXPECT_EQ(DigestInPieces(m128, {1, 63, 64}), Digest(m128));
}

TEST(Md5Test, FinalClearsOnlyStateAAndKeepsTheCount) {
  const std::vector<unsigned char> message = Alphabet(100);
  Md5Context ctx{};
  Md5Init(ctx);
  Md5Update(ctx, message.data(), 100);
  unsigned char first[16], second[16];
  Md5Final(first, ctx);
  EXPECT_EQ(ctx.state[0], 0u);
  EXPECT_EQ(ctx.state[3], std::uint32_t(first[12]) | std::uint32_t(first[13]) << 8 |
                              std::uint32_t(first[14]) << 16 | std::uint32_t(first[15]) << 24);
  EXPECT_EQ(ctx.bitCount[0], 800u);
  EXPECT_EQ(ctx.bitCount[1], 0u);

  Md5Final(second, ctx);
  EXPECT_NE(ToHex(second, 16), ToHex(first, 16));
}

TEST(Md5Test, BitCountCarriesIntoTheHighWord) {
  Md5Context ctx{};
  Md5Init(ctx);
  ctx.bitCount[0] = 0xfffffff8u;  // as if 2^29 - 1 bytes had been fed
  const unsigned char bytes[2] = {1, 2};
  Md5Update(ctx, bytes, 2);
  EXPECT_EQ(ctx.bitCount[0], 8u);
  EXPECT_EQ(ctx.bitCount[1], 1u);
}

}  // namespace
}  // namespace vrel
