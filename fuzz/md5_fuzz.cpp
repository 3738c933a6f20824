// MD5 on any message fed in pieces split at any points: the digest equals the
// one-call digest and OpenSSL's, and the context keeps its documented state
// (the bit count of the whole message, state word A cleared after Md5Final).
#include <fuzzer/FuzzedDataProvider.h>
#include <openssl/evp.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "vrel/crypto/md5.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "md5_fuzz: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  // The first bytes choose the split points; the rest is the message.
  std::vector<std::size_t> pieces(in.ConsumeIntegralInRange<std::size_t>(0, 16));
  for (std::size_t& piece : pieces) piece = in.ConsumeIntegralInRange<std::size_t>(0, 200);
  const std::vector<unsigned char> message = in.ConsumeRemainingBytes<unsigned char>();
  const auto length = static_cast<std::uint32_t>(message.size());

  unsigned char whole[16];
  vrel::Md5Compute(message.data(), length, whole);

  // A context full of leftovers: Md5Init must not depend on the buffer.
  vrel::Md5Context ctx;
  std::memset(&ctx, 0xA5, sizeof ctx);
  vrel::Md5Init(ctx);
  std::size_t fed = 0;
  for (std::size_t piece : pieces) {
    if (piece > message.size() - fed) piece = message.size() - fed;
    vrel::Md5Update(ctx, message.data() + fed, static_cast<std::uint32_t>(piece));
    fed += piece;
  }
  vrel::Md5Update(ctx, message.data() + fed, static_cast<std::uint32_t>(message.size() - fed));
  unsigned char split[16];
  vrel::Md5Final(split, ctx);
  if (std::memcmp(split, whole, 16) != 0) Fail("split digest differs from the one-call digest");
  if (ctx.state[0] != 0) Fail("Md5Final left state word A");
  if (ctx.bitCount[0] != static_cast<std::uint32_t>(std::uint64_t{length} * 8) ||
      ctx.bitCount[1] != (length >> 29)) {
    Fail("bit count is not the message length");
  }

  unsigned char reference[16];
  unsigned int referenceSize = 0;
  if (EVP_Digest(message.data(), message.size(), reference, &referenceSize, EVP_md5(), nullptr) != 1)
    Fail("EVP_Digest");
  if (std::memcmp(whole, reference, 16) != 0) Fail("digest differs from OpenSSL's");
  return 0;
}
