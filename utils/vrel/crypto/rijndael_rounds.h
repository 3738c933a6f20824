// The block functions of the Rijndael cipher over expanded round keys, without
// any checks: RijndaelCipher checks its state once and then calls these.
// Internal to the cipher.
#pragma once

#include <cstdint>
#include <vector>

namespace vrel {
namespace rijndael {

using RoundKeys = std::vector<std::vector<std::uint32_t>>;  // rounds + 1 rows of Nb words

// One block in, one block out (they may be the same buffer). The *16 forms
// read only the first four words of each round-key row.
using BlockFunction = void (*)(const RoundKeys& roundKeys, int rounds, const unsigned char* in,
                               unsigned char* out);

void Encrypt16(const RoundKeys& roundKeys, int rounds, const unsigned char* in,
               unsigned char* out);
void Decrypt16(const RoundKeys& roundKeys, int rounds, const unsigned char* in,
               unsigned char* out);

// The function for blocks of blockSize (16, 24 or 32) bytes.
BlockFunction EncryptFunction(int blockSize);
BlockFunction DecryptFunction(int blockSize);

// Rijndael's key schedule for a key of Nk words and blocks of Nb words:
// fills `enc` with rounds + 1 rows of Nb words and `dec` with the same rows
// in reverse order, its inner rows passed through InvMixColumns (the round
// keys of the equivalent inverse cipher). May throw std::bad_alloc.
void ExpandKey(const unsigned char* key, int nk, int nb, int rounds, RoundKeys& enc,
               RoundKeys& dec);

}  // namespace rijndael
}  // namespace vrel
