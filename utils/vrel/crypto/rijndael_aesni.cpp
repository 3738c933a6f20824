// 16-byte blocks on the processor's AES instructions (AESENC, AESENCLAST,
// AESDEC, AESDECLAST; Intel's AES-NI white paper). Only these functions are
// compiled for the instructions (a per-function target, no global -maes), so
// the library still runs on processors without them; RijndaelCipher calls
// them only when ProcessorHasAes() said yes.
//
// AESDEC is a round of the equivalent inverse cipher, so it takes the
// decryption round keys that SetKey computes for the table rounds, in byte
// order. Where blocks are independent (ECB, CBC and CFB decryption) several
// are in flight at once to cover the instructions' latency; CBC and CFB
// encryption chain each block to the last and run one at a time.
#include "vrel/crypto/rijndael_rounds.h"
#include "vrel/platform/platform.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include <utility>

// On 32-bit x86 the stack may come 4-byte aligned (Windows callers); the
// entry points realign it, so that spilled vector registers stay aligned.
#if defined(__i386__)
#define VREL_AES_ENTRY __attribute__((target("aes,sse2"), force_align_arg_pointer))
#else
#define VREL_AES_ENTRY __attribute__((target("aes,sse2")))
#endif
#define VREL_AES_INLINE inline __attribute__((target("aes,sse2"), always_inline))

namespace vrel {
namespace rijndael {
namespace aesni {
namespace {

// Blocks in flight, to cover the instructions' latency: eight on x86-64;
// six on 32-bit x86, whose eight vector registers then hold the blocks without
// spilling. The round keys are copied to aligned stack memory first, which the
// instructions can take as operands directly.
#if defined(__x86_64__)
constexpr std::size_t kLanes = 8;
#else
constexpr std::size_t kLanes = 6;
#endif
using LaneIndex = std::make_index_sequence<kLanes>;
using Keys = __m128i[15];  // rounds + 1 <= 15 rows

VREL_AES_INLINE __m128i Load(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
VREL_AES_INLINE void Store(unsigned char* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

VREL_AES_INLINE void CopyKeys(const unsigned char* keys, int rounds, Keys& k) {
  for (int r = 0; r <= rounds; ++r) k[r] = Load(keys + 16 * r);
}

VREL_AES_INLINE __m128i Encrypt(const Keys& k, int rounds, __m128i s) {
  s = _mm_xor_si128(s, k[0]);
  for (int r = 1; r < rounds; ++r) s = _mm_aesenc_si128(s, k[r]);
  return _mm_aesenclast_si128(s, k[rounds]);
}

VREL_AES_INLINE __m128i Decrypt(const Keys& k, int rounds, __m128i s) {
  s = _mm_xor_si128(s, k[0]);
  for (int r = 1; r < rounds; ++r) s = _mm_aesdec_si128(s, k[r]);
  return _mm_aesdeclast_si128(s, k[rounds]);
}

// Every round applied to all lanes before the next round's key is loaded.
template <bool Inverse, std::size_t... I>
VREL_AES_INLINE void Lanes(const Keys& k, int rounds, __m128i (&s)[kLanes],
                           std::index_sequence<I...>) {
  ((s[I] = _mm_xor_si128(s[I], k[0])), ...);
  for (int r = 1; r < rounds; ++r) {
    if constexpr (Inverse) {
      ((s[I] = _mm_aesdec_si128(s[I], k[r])), ...);
    } else {
      ((s[I] = _mm_aesenc_si128(s[I], k[r])), ...);
    }
  }
  if constexpr (Inverse) {
    ((s[I] = _mm_aesdeclast_si128(s[I], k[rounds])), ...);
  } else {
    ((s[I] = _mm_aesenclast_si128(s[I], k[rounds])), ...);
  }
}

template <bool Inverse, std::size_t... I>
VREL_AES_INLINE void EcbLanes(const Keys& keys, int rounds, const unsigned char* in,
                              unsigned char* out, std::index_sequence<I...> lanes) {
  __m128i s[kLanes] = {Load(in + 16 * I)...};
  Lanes<Inverse>(keys, rounds, s, lanes);
  (Store(out + 16 * I, s[I]), ...);
}

template <bool Inverse>
VREL_AES_INLINE void Ecb(const unsigned char* rows, int rounds, const unsigned char* in,
                         unsigned char* out, std::size_t blocks) {
  Keys keys;
  CopyKeys(rows, rounds, keys);
  for (; blocks >= kLanes; blocks -= kLanes, in += 16 * kLanes, out += 16 * kLanes) {
    EcbLanes<Inverse>(keys, rounds, in, out, LaneIndex{});
  }
  for (; blocks > 0; --blocks, in += 16, out += 16) {
    Store(out, Inverse ? Decrypt(keys, rounds, Load(in)) : Encrypt(keys, rounds, Load(in)));
  }
}

// P[i] = D(C[i]) ^ C[i-1]. The outputs are stored last to first, each after
// the ciphertext block it overwrites was read, so that in place works.
template <std::size_t... I>
VREL_AES_INLINE __m128i CbcLanes(const Keys& keys, int rounds, __m128i chain,
                                 const unsigned char* in, unsigned char* out,
                                 std::index_sequence<I...> lanes) {
  __m128i s[kLanes] = {Load(in + 16 * I)...};
  const __m128i last = s[kLanes - 1];
  Lanes<true>(keys, rounds, s, lanes);
  constexpr std::size_t kLast = kLanes - 1;
  (Store(out + 16 * (kLast - I),
         _mm_xor_si128(s[kLast - I], I == kLast ? chain : Load(in + 16 * (kLast - I - 1)))),
   ...);
  return last;
}

// P[i] = E(C[i-1]) ^ C[i]. Each output is stored right after its own
// ciphertext block is read; the lanes read the earlier blocks before that.
template <std::size_t... I>
VREL_AES_INLINE __m128i CfbLanes(const Keys& keys, int rounds, __m128i chain,
                                 const unsigned char* in, unsigned char* out,
                                 std::index_sequence<I...> lanes) {
  __m128i s[kLanes] = {(I == 0 ? chain : Load(in + 16 * I - 16))...};
  const __m128i last = Load(in + 16 * (kLanes - 1));
  Lanes<false>(keys, rounds, s, lanes);
  (Store(out + 16 * I, _mm_xor_si128(s[I], Load(in + 16 * I))), ...);
  return last;
}

}  // namespace

// Asks the platform seam directly, as every layer below the identity code
// does: the processor has CPUID, leaf 1 exists, and its bits say so.
bool ProcessorHasAes() {
  const platform::Api& api = platform::Current();
  if (api.EflagsIdToggles() == 0) return false;
  std::uint32_t regs[4];
  api.Cpuid(0, regs);
  if (regs[0] < 1) return false;
  api.Cpuid(1, regs);
  const bool aes = (regs[2] >> 25) & 1;   // ECX bit 25: AESENC and friends
  const bool sse2 = (regs[3] >> 26) & 1;  // EDX bit 26: the 128-bit moves and XOR
  return aes && sse2;
}

VREL_AES_ENTRY void EncryptEcb(const unsigned char* keys, int rounds, const unsigned char* in,
                               unsigned char* out, std::size_t blocks) {
  Ecb<false>(keys, rounds, in, out, blocks);
}

VREL_AES_ENTRY void DecryptEcb(const unsigned char* keys, int rounds, const unsigned char* in,
                               unsigned char* out, std::size_t blocks) {
  Ecb<true>(keys, rounds, in, out, blocks);
}

VREL_AES_ENTRY void EncryptCbc(const unsigned char* rows, int rounds, unsigned char* chain,
                               const unsigned char* in, unsigned char* out, std::size_t blocks) {
  Keys keys;
  CopyKeys(rows, rounds, keys);
  __m128i c = Load(chain);
  for (; blocks > 0; --blocks, in += 16, out += 16) {
    c = Encrypt(keys, rounds, _mm_xor_si128(c, Load(in)));
    Store(out, c);
  }
  Store(chain, c);
}

VREL_AES_ENTRY void DecryptCbc(const unsigned char* rows, int rounds, unsigned char* chain,
                               const unsigned char* in, unsigned char* out, std::size_t blocks) {
  Keys keys;
  CopyKeys(rows, rounds, keys);
  __m128i c = Load(chain);
  for (; blocks >= kLanes; blocks -= kLanes, in += 16 * kLanes, out += 16 * kLanes) {
    c = CbcLanes(keys, rounds, c, in, out, LaneIndex{});
  }
  for (; blocks > 0; --blocks, in += 16, out += 16) {
    const __m128i cipherText = Load(in);
    Store(out, _mm_xor_si128(Decrypt(keys, rounds, cipherText), c));
    c = cipherText;
  }
  Store(chain, c);
}

VREL_AES_ENTRY void EncryptCfb(const unsigned char* rows, int rounds, unsigned char* chain,
                               const unsigned char* in, unsigned char* out, std::size_t blocks) {
  Keys keys;
  CopyKeys(rows, rounds, keys);
  __m128i c = Load(chain);
  for (; blocks > 0; --blocks, in += 16, out += 16) {
    c = _mm_xor_si128(Encrypt(keys, rounds, c), Load(in));
    Store(out, c);
  }
  Store(chain, c);
}

VREL_AES_ENTRY void DecryptCfb(const unsigned char* rows, int rounds, unsigned char* chain,
                               const unsigned char* in, unsigned char* out, std::size_t blocks) {
  Keys keys;
  CopyKeys(rows, rounds, keys);
  __m128i c = Load(chain);
  for (; blocks >= kLanes; blocks -= kLanes, in += 16 * kLanes, out += 16 * kLanes) {
    c = CfbLanes(keys, rounds, c, in, out, LaneIndex{});
  }
  for (; blocks > 0; --blocks, in += 16, out += 16) {
    const __m128i cipherText = Load(in);
    Store(out, _mm_xor_si128(Encrypt(keys, rounds, c), cipherText));
    c = cipherText;
  }
  Store(chain, c);
}

}  // namespace aesni
}  // namespace rijndael
}  // namespace vrel

#else  // not x86: the table rounds only

namespace vrel {
namespace rijndael {
namespace aesni {

bool ProcessorHasAes() { return false; }
void EncryptEcb(const unsigned char*, int, const unsigned char*, unsigned char*, std::size_t) {}
void DecryptEcb(const unsigned char*, int, const unsigned char*, unsigned char*, std::size_t) {}
void EncryptCbc(const unsigned char*, int, unsigned char*, const unsigned char*, unsigned char*,
                std::size_t) {}
void DecryptCbc(const unsigned char*, int, unsigned char*, const unsigned char*, unsigned char*,
                std::size_t) {}
void EncryptCfb(const unsigned char*, int, unsigned char*, const unsigned char*, unsigned char*,
                std::size_t) {}
void DecryptCfb(const unsigned char*, int, unsigned char*, const unsigned char*, unsigned char*,
                std::size_t) {}

}  // namespace aesni
}  // namespace rijndael
}  // namespace vrel

#endif
