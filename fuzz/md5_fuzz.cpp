// MD5 fed in any pieces equals the one-call digest and OpenSSL's, and leaves the
// documented context (the bit count; state word A cleared by Md5Final).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#define VREL_WITH_OPENSSL
#include "../tests/crypto/crypto_test.h"
#include "vrel/crypto/md5.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  // The first bytes choose the split points; the rest is the message.
  std::vector<std::size_t> pieces(in.ConsumeIntegralInRange<std::size_t>(0, 16));
  for (std::size_t& piece : pieces) piece = in.ConsumeIntegralInRange<std::size_t>(0, 200);
  const vrel::test::Bytes message = in.ConsumeRemainingBytes<unsigned char>();
  const auto length = static_cast<std::uint32_t>(message.size());
  pieces.push_back(message.size());  // the rest

  vrel::Md5Context ctx;
  std::memset(&ctx, 0xA5, sizeof ctx);  // Md5Init must not depend on the old contents
  vrel::Md5Init(ctx);
  for (std::size_t fed = 0, i = 0; i < pieces.size(); fed += pieces[i++]) {
    pieces[i] = std::min(pieces[i], message.size() - fed);
    vrel::Md5Update(ctx, message.data() + fed, static_cast<std::uint32_t>(pieces[i]));
  }
  unsigned char split[16], whole[16], reference[16];
  vrel::Md5Final(split, ctx);
  vrel::Md5Compute(message.data(), length, whole);
  if (EVP_Digest(message.data(), message.size(), reference, nullptr, EVP_md5(), nullptr) != 1 ||
      std::memcmp(split, whole, 16) != 0 || std::memcmp(whole, reference, 16) != 0 ||
      ctx.state[0] != 0 || ctx.bitCount[0] != length * 8u || ctx.bitCount[1] != (length >> 29)) {
    std::abort();  // a digest differs, or the context's state is not the documented one
  }
  return 0;
}
