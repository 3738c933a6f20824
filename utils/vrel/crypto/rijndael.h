// The Rijndael block cipher with 16-, 24- or 32-byte keys and blocks, and
// buffer encryption in the ECB, CBC and CFB modes. With 16-byte blocks it is
// AES (FIPS-197) for all three key lengths.
//
// Byte order: bytes 4i..4i+3 of a block form state column i and bytes
// 4j..4j+3 of the key form key word j, the first byte most significant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vrel {

// Buffer modes. Any value other than CBC and CFB selects ECB.
enum CipherMode { ECB = 0, CBC = 1, CFB = 2 };

// Where the processor has the AES instructions (CPUID leaf 1, ECX bit 25),
// a key with 16-byte blocks runs on them; every other object, and every object
// on a processor without them, runs the portable table rounds. Both give
// identical results. SetKey decides once per key which path the object takes.
// The table rounds look up tables at key- and data-dependent positions, which
// leaks timing through the cache; the instruction path does not.
//
// Misuse is reported by throwing a standard exception whose what() is exactly
// one of these texts; a throw leaves the object as it was:
//   "No key"             std::invalid_argument  SetKey: null key
//   "Bad key len"        std::invalid_argument  SetKey: key length not 16/24/32
//   "Bad block len"      std::invalid_argument  SetKey: block length not 16/24/32
//   "Not Initialized"    std::logic_error       any other operation before a
//                                               successful SetKey
//   "The input data is not a multiple of the right size"
//                        std::length_error      buffer length 0 or not a
//                                               multiple of the block length
// Running out of memory in SetKey raises std::bad_alloc, also without changing
// the object. Besides SetKey, only copying allocates.
//
// One object is used by one thread at a time; separate objects, copies
// included, are independent.
class RijndaelCipher {
 public:
  RijndaelCipher() = default;
  // Copies are deep. Moving copies too, so that no keyed object is left
  // without its round keys.
  RijndaelCipher(const RijndaelCipher&) = default;
  // Whole or nothing: when copying runs out of memory (std::bad_alloc) the
  // target keeps its own key, lengths and chain block.
  RijndaelCipher& operator=(const RijndaelCipher& other);
  virtual ~RijndaelCipher() = default;

  // Checks the arguments (key, then key length, then block length), expands
  // the key into the encryption and the equivalent-inverse decryption round
  // keys and sets the chain block to `chain`'s first blockSize bytes, or to
  // zeros when `chain` is null. May be called again at any time.
  void SetKey(const unsigned char* key, const unsigned char* chain, int keyLength,
              int blockSize);

  // One block of blockSize bytes. 16-byte blocks go to the *Block16 forms.
  void EncryptOneBlock(const unsigned char* in, unsigned char* out) const;
  void DecryptOneBlock(const unsigned char* in, unsigned char* out) const;

  // One 16-byte block through the written-out 4-column rounds. They use the
  // first four words of each round-key row whatever blockSize is, so they give
  // the cipher's result only when blockSize is 16.
  void EncryptBlock16(const unsigned char* in, unsigned char* out) const;
  void DecryptBlock16(const unsigned char* in, unsigned char* out) const;

  // n bytes, block after block, in `mode` (a CipherMode value; others mean
  // ECB). In CBC and CFB the chain block carries over from call to call and
  // afterwards holds the last ciphertext block, so one call over 2 blocks
  // equals two calls over 1 block. Output may equal input (in place) in every
  // mode; partial overlap is not supported.
  void EncryptBuffer(const unsigned char* in, unsigned char* out, std::size_t n, int mode);
  void DecryptBuffer(const unsigned char* in, unsigned char* out, std::size_t n, int mode);

  // a[i] ^= b[i] for the blockSize bytes of a block.
  void XorChain(unsigned char* a, const unsigned char* b) const;

  // Read access to the state, for inspection: the chain block (blockSize
  // bytes; null before the first SetKey), and the lengths. A default-
  // constructed object reports 0 for keyLength, blockSize and rounds.
  const unsigned char* GetChain() const { return chain.empty() ? nullptr : chain.data(); }
  bool IsKeyReady() const { return keyReady; }
  int GetKeyLength() const { return keyLength; }
  int GetBlockSize() const { return blockSize; }
  int GetRounds() const { return rounds; }

  // Row `row` (0..rounds) of the round keys of a keyed object: blockSize / 4
  // words. Decryption rows are the encryption rows in reverse order, rows
  // 1..rounds-1 passed through InvMixColumns.
  const std::uint32_t* GetEncRoundKey(int row) const { return keys.data() + row * blockSize / 4; }
  const std::uint32_t* GetDecRoundKey(int row) const {
    return keys.data() + (rounds + 1 + row) * blockSize / 4;
  }

  // True when SetKey chose the AES instructions for this object.
  bool UsesAesInstructions() const { return aes; }

  // Whether later SetKey calls, in any thread, may choose the AES
  // instructions (default true). Objects already keyed keep their path. The
  // environment variable VREL_NO_AES_INSTRUCTIONS, set to anything but "" or
  // "0" when the process first calls SetKey, turns them off for the whole
  // process whatever this says. For tests and callers that want the portable
  // rounds.
  static void AllowAesInstructions(bool allow);

 private:
  void RequireKey() const;
  void RequireWholeBlocks(std::size_t n) const;

  bool keyReady = false;
  bool aes = false;  // the AES instruction path
  // One heap array: the encryption rows (rounds + 1 rows of Nb = blockSize / 4
  // words), then the decryption rows, then, on the instruction path, both sets
  // again as 16-byte rows in byte order.
  std::vector<std::uint32_t> keys;
  int keyLength = 0;
  int blockSize = 0;
  int rounds = 0;
  std::vector<unsigned char> chain;  // blockSize bytes once keyed
};

}  // namespace vrel
