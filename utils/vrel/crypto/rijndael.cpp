// RijndaelCipher: argument and state checks, key set-up and the buffer modes.
// The block functions themselves are in rijndael_block16.cpp (16-byte blocks)
// and rijndael_wide.cpp (24 and 32).
#include "vrel/crypto/rijndael.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "vrel/crypto/rijndael_rounds.h"

namespace vrel {
namespace {

constexpr int kMaxBlock = 32;

bool IsValidLength(int bytes) { return bytes == 16 || bytes == 24 || bytes == 32; }

void Xor(unsigned char* a, const unsigned char* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) a[i] ^= b[i];
}

}  // namespace

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
  encRoundKeys.swap(copy.encRoundKeys);
  decRoundKeys.swap(copy.decRoundKeys);
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
  std::vector<std::vector<std::uint32_t>> enc;
  std::vector<std::vector<std::uint32_t>> dec;
  rijndael::ExpandKey(key, nk, nb, newRounds, enc, dec);
  std::vector<unsigned char> newChain(static_cast<std::size_t>(newBlockSize), 0);
  if (chainBlock != nullptr) std::copy(chainBlock, chainBlock + newBlockSize, newChain.begin());

  encRoundKeys.swap(enc);
  decRoundKeys.swap(dec);
  chain.swap(newChain);
  keyLength = newKeyLength;
  blockSize = newBlockSize;
  rounds = newRounds;
  keyReady = true;
}

void RijndaelCipher::EncryptOneBlock(const unsigned char* in, unsigned char* out) const {
  RequireKey();
  rijndael::EncryptFunction(blockSize)(encRoundKeys, rounds, in, out);
}

void RijndaelCipher::DecryptOneBlock(const unsigned char* in, unsigned char* out) const {
  RequireKey();
  rijndael::DecryptFunction(blockSize)(decRoundKeys, rounds, in, out);
}

void RijndaelCipher::EncryptBlock16(const unsigned char* in, unsigned char* out) const {
  RequireKey();
  rijndael::Encrypt16(encRoundKeys, rounds, in, out);
}

void RijndaelCipher::DecryptBlock16(const unsigned char* in, unsigned char* out) const {
  RequireKey();
  rijndael::Decrypt16(decRoundKeys, rounds, in, out);
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
  const rijndael::BlockFunction encrypt = rijndael::EncryptFunction(blockSize);
  const std::size_t size = static_cast<std::size_t>(blockSize);
  const unsigned char* const end = in + n;
  unsigned char* const c = chain.data();

  if (mode == CBC) {  // chain ^= P; C = E(chain); chain = C
    for (; in != end; in += size, out += size) {
      Xor(c, in, size);
      encrypt(encRoundKeys, rounds, c, out);
      std::memcpy(c, out, size);
    }
  } else if (mode == CFB) {  // C = E(chain) ^ P; chain = C
    unsigned char stream[kMaxBlock];
    for (; in != end; in += size, out += size) {
      encrypt(encRoundKeys, rounds, c, stream);
      Xor(stream, in, size);
      std::memcpy(out, stream, size);
      std::memcpy(c, stream, size);
    }
  } else {  // ECB: the chain is neither read nor changed
    for (; in != end; in += size, out += size) encrypt(encRoundKeys, rounds, in, out);
  }
}

void RijndaelCipher::DecryptBuffer(const unsigned char* in, unsigned char* out, std::size_t n,
                                   int mode) {
  RequireKey();
  RequireWholeBlocks(n);
  const std::size_t size = static_cast<std::size_t>(blockSize);
  const unsigned char* const end = in + n;
  unsigned char* const c = chain.data();
  unsigned char block[kMaxBlock];

  if (mode == CBC) {  // P = D(C) ^ chain; chain = C
    const rijndael::BlockFunction decrypt = rijndael::DecryptFunction(blockSize);
    for (; in != end; in += size, out += size) {
      decrypt(decRoundKeys, rounds, in, block);
      Xor(block, c, size);
      std::memcpy(c, in, size);
      std::memcpy(out, block, size);
    }
  } else if (mode == CFB) {  // P = E(chain) ^ C; chain = C (the forward cipher)
    const rijndael::BlockFunction encrypt = rijndael::EncryptFunction(blockSize);
    for (; in != end; in += size, out += size) {
      encrypt(encRoundKeys, rounds, c, block);
      Xor(block, in, size);
      std::memcpy(c, in, size);
      std::memcpy(out, block, size);
    }
  } else {  // ECB
    const rijndael::BlockFunction decrypt = rijndael::DecryptFunction(blockSize);
    for (; in != end; in += size, out += size) decrypt(decRoundKeys, rounds, in, out);
  }
}

}  // namespace vrel
