// The block functions of the Rijndael cipher over expanded round keys, without
// any checks: RijndaelCipher checks its state once and then calls these.
// Internal to the cipher.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vrel {
namespace rijndael {

// Portable table rounds. `roundKeys` holds rounds + 1 rows of `stride` words,
// of which a block of Nb columns uses the first Nb. One block in, one block
// out (they may be the same buffer).
using BlockFunction = void (*)(const std::uint32_t* roundKeys, int rounds,
                               const unsigned char* in, unsigned char* out);

// The functions for blocks of `columns` (4, 6 or 8) words over rows of
// `stride` (columns or more; 4 columns allow 4, 6 and 8) words.
BlockFunction EncryptFunction(int columns, int stride);
BlockFunction DecryptFunction(int columns, int stride);

// Rijndael's key schedule for a key of Nk words and blocks of Nb words into
// `keys`: rounds + 1 rows of Nb words for encryption, then the same rows in
// reverse order with the inner ones passed through InvMixColumns (the round
// keys of the equivalent inverse cipher); with `byteRows`, both sets once more
// as rows of 16 bytes in block order, for the AES instructions (Nb = 4 only).
// May throw std::bad_alloc, leaving `keys` as it was.
void ExpandKey(const unsigned char* key, int nk, int nb, int rounds, bool byteRows,
               std::vector<std::uint32_t>& keys);

// The AES instructions, for 16-byte blocks over byte-order round keys
// (rounds + 1 rows of 16 bytes: the encryption rows for Encrypt*, Cfb*, the
// equivalent-inverse rows for Decrypt*). `chain` is the 16-byte chain block,
// updated as the modes define. Output may equal input. Only for processors
// that ProcessorHasAes() accepts.
namespace aesni {
bool ProcessorHasAes();
void EncryptEcb(const unsigned char* keys, int rounds, const unsigned char* in,
                unsigned char* out, std::size_t blocks);
void DecryptEcb(const unsigned char* keys, int rounds, const unsigned char* in,
                unsigned char* out, std::size_t blocks);
void EncryptCbc(const unsigned char* keys, int rounds, unsigned char* chain,
                const unsigned char* in, unsigned char* out, std::size_t blocks);
void DecryptCbc(const unsigned char* keys, int rounds, unsigned char* chain,
                const unsigned char* in, unsigned char* out, std::size_t blocks);
void EncryptCfb(const unsigned char* keys, int rounds, unsigned char* chain,
                const unsigned char* in, unsigned char* out, std::size_t blocks);
void DecryptCfb(const unsigned char* keys, int rounds, unsigned char* chain,
                const unsigned char* in, unsigned char* out, std::size_t blocks);
}  // namespace aesni

}  // namespace rijndael
}  // namespace vrel
