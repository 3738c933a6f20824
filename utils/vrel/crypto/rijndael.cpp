// RijndaelCipher: argument and state checks, key set-up, the choice between
// the AES instructions and the table rounds, and the buffer modes. The block
// functions themselves are in rijndael_table_rounds.cpp and
// rijndael_aesni.cpp.
#include "vrel/crypto/rijndael.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <stdexcept>

#include "vrel/crypto/rijndael_rounds.h"
#include "vrel/platform/platform.h"

namespace vrel {
namespace {

constexpr int kMaxBlock = 32;

std::atomic<bool> aesAllowed{true};

bool IsValidLength(int bytes) { return bytes == 16 || bytes == 24 || bytes == 32; }

void Xor(unsigned char* a, const unsigned char* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) a[i] ^= b[i];
}

// VREL_NO_AES_INSTRUCTIONS, read once per process.
bool AesTurnedOffByEnvironment() {
  static const bool off = [] {
    char value[8] = {};
    const DWORD n = platform::Current().GetEnvironmentVariableA("VREL_NO_AES_INSTRUCTIONS", value,
                                                                sizeof value);
    return n > 0 && !(n == 1 && value[0] == '0');
  }();
  return off;
}

bool ChooseAes(int blockSize) {
  return blockSize == 16 && aesAllowed.load(std::memory_order_relaxed) &&
         !AesTurnedOffByEnvironment() && rijndael::aesni::ProcessorHasAes();
}

// On the instruction path the 16-byte rows in byte order follow the two sets
// of word rows (4 words a row): encryption rows, then decryption rows.
const unsigned char* AesRows(const std::vector<std::uint32_t>& keys, int rounds, bool inverse) {
  const std::size_t rows = static_cast<std::size_t>(rounds) + 1;
  return reinterpret_cast<const unsigned char*>(keys.data() + 8 * rows) + (inverse ? 16 * rows : 0);
}

}  // namespace

void RijndaelCipher::AllowAesInstructions(bool allow) {
  aesAllowed.store(allow, std::memory_order_relaxed);
}

void RijndaelCipher::RequireKey() const {
  if (!keyReady) throw std::logic_error("Not Initialized");
}

void RijndaelCipher::RequireWholeBlocks(std::size_t n) const {
  if (n == 0 || n % static_cast<std::size_t>(blockSize) != 0) {
    throw std::length_error("The input data is not a multiple of the right size");
  }
}

RijndaelCipher& RijndaelCipher::operator=(const RijndaelCipher& other) {
  // Copy first, then take the copy's state with swaps that cannot fail: a
  // member-wise assignment that ran out of memory half-way left new round
  // keys beside the old round count, which the block functions then read
  // beyond.
  RijndaelCipher copy(other);
  keyReady = copy.keyReady;
  aes = copy.aes;
  keys.swap(copy.keys);
  keyLength = copy.keyLength;
  blockSize = copy.blockSize;
  rounds = copy.rounds;
  chain.swap(copy.chain);
  return *this;
}

void RijndaelCipher::SetKey(const unsigned char* key, const unsigned char* chainBlock,
                            int newKeyLength, int newBlockSize) {
  if (key == nullptr) throw std::invalid_argument("No key");
  if (!IsValidLength(newKeyLength)) throw std::invalid_argument("Bad key len");
  if (!IsValidLength(newBlockSize)) throw std::invalid_argument("Bad block len");

  // Everything that can fail (allocation) happens on locals first, so that a
  // throw leaves the object exactly as it was.
  const int nk = newKeyLength / 4;
  const int nb = newBlockSize / 4;
  const int newRounds = std::max(nk, nb) + 6;
  const bool newAes = ChooseAes(newBlockSize);
  std::vector<std::uint32_t> newKeys;
  rijndael::ExpandKey(key, nk, nb, newRounds, newAes, newKeys);
  std::vector<unsigned char> newChain(static_cast<std::size_t>(newBlockSize), 0);
  if (chainBlock != nullptr) std::copy(chainBlock, chainBlock + newBlockSize, newChain.begin());

  keys.swap(newKeys);
  chain.swap(newChain);
  aes = newAes;
  keyLength = newKeyLength;
  blockSize = newBlockSize;
  rounds = newRounds;
  keyReady = true;
}

void RijndaelCipher::EncryptOneBlock(const unsigned char* in, unsigned char* out) const {
  RequireKey();
  if (aes) return rijndael::aesni::EncryptEcb(AesRows(keys, rounds, false), rounds, in, out, 1);
  rijndael::EncryptFunction(blockSize / 4, blockSize / 4)(GetEncRoundKey(0), rounds, in, out);
}

void RijndaelCipher::DecryptOneBlock(const unsigned char* in, unsigned char* out) const {
  RequireKey();
  if (aes) return rijndael::aesni::DecryptEcb(AesRows(keys, rounds, true), rounds, in, out, 1);
  rijndael::DecryptFunction(blockSize / 4, blockSize / 4)(GetDecRoundKey(0), rounds, in, out);
}

void RijndaelCipher::EncryptBlock16(const unsigned char* in, unsigned char* out) const {
  RequireKey();
  if (aes) return rijndael::aesni::EncryptEcb(AesRows(keys, rounds, false), rounds, in, out, 1);
  rijndael::EncryptFunction(4, blockSize / 4)(GetEncRoundKey(0), rounds, in, out);
}

void RijndaelCipher::DecryptBlock16(const unsigned char* in, unsigned char* out) const {
  RequireKey();
  if (aes) return rijndael::aesni::DecryptEcb(AesRows(keys, rounds, true), rounds, in, out, 1);
  rijndael::DecryptFunction(4, blockSize / 4)(GetDecRoundKey(0), rounds, in, out);
}

void RijndaelCipher::XorChain(unsigned char* a, const unsigned char* b) const {
  RequireKey();
  Xor(a, b, static_cast<std::size_t>(blockSize));
}

// The chained modes copy each ciphertext block aside before it can be
// overwritten, so every mode also works in place (out == in).
void RijndaelCipher::EncryptBuffer(const unsigned char* in, unsigned char* out, std::size_t n,
                                   int mode) {
  RequireKey();
  RequireWholeBlocks(n);
  unsigned char* const c = chain.data();
  if (aes) {
    namespace ni = rijndael::aesni;
    const unsigned char* rows = AesRows(keys, rounds, false);
    if (mode == CBC) return ni::EncryptCbc(rows, rounds, c, in, out, n / 16);
    if (mode == CFB) return ni::EncryptCfb(rows, rounds, c, in, out, n / 16);
    return ni::EncryptEcb(rows, rounds, in, out, n / 16);
  }

  const rijndael::BlockFunction encrypt = rijndael::EncryptFunction(blockSize / 4, blockSize / 4);
  const std::uint32_t* const k = GetEncRoundKey(0);
  const std::size_t size = static_cast<std::size_t>(blockSize);
  const unsigned char* const end = in + n;
  if (mode == CBC) {  // chain ^= P; C = E(chain); chain = C
    for (; in != end; in += size, out += size) {
      Xor(c, in, size);
      encrypt(k, rounds, c, out);
      std::memcpy(c, out, size);
    }
  } else if (mode == CFB) {  // C = E(chain) ^ P; chain = C
    unsigned char stream[kMaxBlock];
    for (; in != end; in += size, out += size) {
      encrypt(k, rounds, c, stream);
      Xor(stream, in, size);
      std::memcpy(out, stream, size);
      std::memcpy(c, stream, size);
    }
  } else {  // ECB: the chain is neither read nor changed
    for (; in != end; in += size, out += size) encrypt(k, rounds, in, out);
  }
}

void RijndaelCipher::DecryptBuffer(const unsigned char* in, unsigned char* out, std::size_t n,
                                   int mode) {
  RequireKey();
  RequireWholeBlocks(n);
  unsigned char* const c = chain.data();
  if (aes) {
    namespace ni = rijndael::aesni;
    const unsigned char* rows = AesRows(keys, rounds, true);
    if (mode == CBC) return ni::DecryptCbc(rows, rounds, c, in, out, n / 16);
    // CFB runs the forward cipher both ways.
    if (mode == CFB) {
      return ni::DecryptCfb(AesRows(keys, rounds, false), rounds, c, in, out, n / 16);
    }
    return ni::DecryptEcb(rows, rounds, in, out, n / 16);
  }

  const int nb = blockSize / 4;
  const std::size_t size = static_cast<std::size_t>(blockSize);
  const unsigned char* const end = in + n;
  unsigned char block[kMaxBlock];
  if (mode == CBC) {  // P = D(C) ^ chain; chain = C
    const rijndael::BlockFunction decrypt = rijndael::DecryptFunction(nb, nb);
    for (; in != end; in += size, out += size) {
      decrypt(GetDecRoundKey(0), rounds, in, block);
      Xor(block, c, size);
      std::memcpy(c, in, size);
      std::memcpy(out, block, size);
    }
  } else if (mode == CFB) {  // P = E(chain) ^ C; chain = C (the forward cipher)
    const rijndael::BlockFunction encrypt = rijndael::EncryptFunction(nb, nb);
    for (; in != end; in += size, out += size) {
      encrypt(GetEncRoundKey(0), rounds, c, block);
      Xor(block, in, size);
      std::memcpy(c, in, size);
      std::memcpy(out, block, size);
    }
  } else {  // ECB
    const rijndael::BlockFunction decrypt = rijndael::DecryptFunction(nb, nb);
    for (; in != end; in += size, out += size) decrypt(GetDecRoundKey(0), rounds, in, out);
  }
}

}  // namespace vrel
