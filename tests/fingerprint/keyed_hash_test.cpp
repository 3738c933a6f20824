// SHA-256 against the FIPS 180-4 examples, HMAC-SHA-256 against RFC 4231, and
// (natively) both against OpenSSL on random lengths, keys and pieces.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

#include "../crypto/crypto_test.h"
#include "vrel/crypto/hmac.h"

#ifdef VREL_WITH_OPENSSL
#include <openssl/hmac.h>
#include <openssl/sha.h>
#endif

namespace vrel {
namespace {

using Bytes = std::string;
using Key = std::optional<Bytes>;  // none: plain SHA-256

const unsigned char* U(const Bytes& b) { return reinterpret_cast<const unsigned char*>(b.data()); }

// SHA-256, or HMAC-SHA-256 under `key`: an empty update, then pieces of `step` bytes.
std::string Digest(const Key& key, const Bytes& m, std::size_t step) {
  Sha256Context sha;
  HmacSha256Context hmac;
  if (key) HmacSha256Init(hmac, U(*key), key->size());
  else Sha256Init(sha);
  const auto feed = [&](std::size_t at, std::size_t n) {
    if (key) HmacSha256Update(hmac, U(m) + at, n);
    else Sha256Update(sha, U(m) + at, n);
  };
  feed(0, 0);
  for (std::size_t at = 0; at < m.size(); at += step) feed(at, std::min(step, m.size() - at));
  unsigned char d[kSha256DigestSize];
  if (key) HmacSha256Final(hmac, d);
  else Sha256Final(sha, d);
  return test::ToHex(d, sizeof d);
}

TEST(KeyedHash, FipsAndRfc4231Vectors) {
  Bytes key4;
  for (char c = 1; c <= 25; ++c) key4 += c;
  const struct { Key key; Bytes data; std::string digest; } rows[] = {
      // FIPS 180-4 examples (NIST CSRC, SHA256.pdf, SHA256_2.pdf)
      {{}, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {{}, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {{}, Bytes(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      // RFC 4231 section 4, test cases 1 to 7, HMAC-SHA-256
      {Bytes(20, '\x0b'), "Hi There", "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
      {"Jefe", "what do ya want for nothing?",
       "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
      {Bytes(20, '\xaa'), Bytes(50, '\xdd'), "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
      {key4, Bytes(50, '\xcd'), "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"},
      {Bytes(20, '\x0c'), "Test With Truncation", "a3b6167473100ee06e0c796c2955552b"},  // 128 bits
      {Bytes(131, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
       "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
      {Bytes(131, '\xaa'),
       "This is a test using a larger than block-size key and a larger than block-size data. The key "
       "needs to be hashed before being used by the HMAC algorithm.",
       "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.data.substr(0, 12));
    const std::size_t n = row.digest.size();
    unsigned char d[kSha256DigestSize];
    if (row.key) HmacSha256(U(*row.key), row.key->size(), U(row.data), row.data.size(), d);
    else Sha256Compute(U(row.data), row.data.size(), d);
    EXPECT_EQ(test::ToHex(d, sizeof d).substr(0, n), row.digest);
    for (std::size_t step : {1, 7, 55, 63, 64, 65, 4097}) {
      EXPECT_EQ(Digest(row.key, row.data, step).substr(0, n), row.digest) << step;
    }
  }
}

#ifdef VREL_WITH_OPENSSL
TEST(KeyedHash, MatchesOpenSsl) {
  std::mt19937 random(20261207);
  for (int i = 0; i < 2000; ++i) {
    Bytes key(random() % 150, '\0'), message(random() % 600, '\0');
    for (char& c : key) c = static_cast<char>(random());
    for (char& c : message) c = static_cast<char>(random());
    SCOPED_TRACE(std::to_string(key.size()) + "/" + std::to_string(message.size()));
    const std::size_t step = 1 + random() % (message.size() + 1);
    unsigned char want[kSha256DigestSize];
    SHA256(U(message), message.size(), want);
    EXPECT_EQ(Digest({}, message, step), test::ToHex(want, sizeof want));
    unsigned int length = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), U(message), message.size(), want, &length);
    EXPECT_EQ(Digest(key, message, step), test::ToHex(want, length));
  }
}
#endif

}  // namespace
}  // namespace vrel
