// Shared by the crypto suite and the fuzz targets: hex, the known answers, and
// ciphers keyed on a chosen path (table rounds or AES instructions).
#pragma once

#include <cpuid.h>

#include <cstdio>
#include <exception>
#include <random>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

#include "vrel/crypto/rijndael.h"

#ifdef VREL_WITH_OPENSSL
#include <openssl/evp.h>
#endif
#ifdef VREL_KNOWN_ANSWERS
#include <fstream>
#include <nlohmann/json.hpp>
#endif

namespace vrel::test {

using Bytes = std::vector<unsigned char>;

#ifdef VREL_KNOWN_ANSWERS
// data/known_answers.json, by an absolute path (under Wine through its Z: drive).
inline const nlohmann::json& Vectors() {
  static const nlohmann::json vectors = nlohmann::json::parse(std::ifstream(VREL_KNOWN_ANSWERS));
  return vectors;
}
#endif

inline Bytes FromHex(const std::string& hex) {
  Bytes bytes(hex.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<unsigned char>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
  }
  return bytes;
}

inline std::string ToHex(const unsigned char* bytes, std::size_t n) {
  std::string hex(2 * n + 1, '\0');
  for (std::size_t i = 0; i < n; ++i) std::snprintf(&hex[2 * i], 3, "%02x", bytes[i]);
  return hex.substr(0, 2 * n);
}
inline std::string ToHex(const Bytes& bytes) { return ToHex(bytes.data(), bytes.size()); }

// CPUID leaf 1 ECX bit 25, read apart from the library (under Wine: the host's).
inline bool HostHasAes() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  return __get_cpuid(1, &a, &b, &c, &d) != 0 && (c & bit_AES) != 0;
}

enum class Path { kTables, kAes };
constexpr Path kPaths[] = {Path::kTables, Path::kAes};
inline const char* Name(Path path) { return path == Path::kAes ? "AES instructions" : "tables"; }

// Keyed with the AES instructions allowed or not; an empty `iv` is a null chain.
inline RijndaelCipher Keyed(Path path, const Bytes& key, const Bytes& iv, int blockSize) {
  RijndaelCipher::AllowAesInstructions(path == Path::kAes);
  RijndaelCipher cipher;
  cipher.SetKey(key.data(), iv.empty() ? nullptr : iv.data(), static_cast<int>(key.size()),
                blockSize);
  RijndaelCipher::AllowAesInstructions(true);
  return cipher;
}

// EncryptBuffer or DecryptBuffer, in two calls split at byte `split`, maybe in place.
inline Bytes Crypt(RijndaelCipher& cipher, bool encrypt, int mode, const Bytes& in,
                   std::size_t split = 0, bool inPlace = false) {
  Bytes out = inPlace ? in : Bytes(in.size());
  const unsigned char* from = inPlace ? out.data() : in.data();
  const auto run = encrypt ? &RijndaelCipher::EncryptBuffer : &RijndaelCipher::DecryptBuffer;
  if (split > 0) (cipher.*run)(from, out.data(), split, mode);
  if (split < in.size()) (cipher.*run)(from + split, out.data() + split, in.size() - split, mode);
  return out;
}

#ifdef VREL_WITH_OPENSSL
// OpenSSL's AES in ECB, CBC or CFB128 without padding; empty when it fails.
inline Bytes OpensslAes(bool encrypt, int mode, const Bytes& key, const Bytes& iv,
                        const Bytes& in) {
  const char* const kModes[] = {"ecb", "cbc", "cfb"};
  const std::string name = "aes-" + std::to_string(key.size() * 8) + "-" + kModes[mode];
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  Bytes out(in.size());
  int n = 0;
  const bool ok =
      ctx != nullptr &&
      EVP_CipherInit_ex(ctx, EVP_get_cipherbyname(name.c_str()), nullptr, key.data(), iv.data(),
                        encrypt ? 1 : 0) == 1 &&
      EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
      EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size())) == 1 &&
      static_cast<std::size_t>(n) == in.size();
  EVP_CIPHER_CTX_free(ctx);
  return ok ? out : Bytes();
}
#endif

inline Bytes Random(std::mt19937& rng, std::size_t n) {
  Bytes bytes(n);
  for (unsigned char& b : bytes) b = static_cast<unsigned char>(rng());
  return bytes;
}

inline std::string Chain(const RijndaelCipher& cipher) {
  return ToHex(cipher.GetChain(), static_cast<std::size_t>(cipher.GetBlockSize()));
}

// What an object shows: lengths, path, chain and the image of a block.
inline std::string State(const RijndaelCipher& c) {
  const std::string state = std::to_string(c.GetKeyLength()) + "/" +
                            std::to_string(c.GetBlockSize()) + "/" + std::to_string(c.GetRounds()) +
                            (c.UsesAesInstructions() ? " aes " : " tables ");
  if (!c.IsKeyReady()) return state + (c.GetChain() == nullptr ? "unkeyed" : "chain unkeyed");
  Bytes block(static_cast<std::size_t>(c.GetBlockSize()), 0x5c);
  c.EncryptOneBlock(block.data(), block.data());
  return state + Chain(c) + " " + ToHex(block);
}

// "<type>: <what()>" of the exception that f throws, "" when none.
template <typename F>
std::string Thrown(F f) {
  try {
    f();
  } catch (const std::exception& e) {
    return std::string(typeid(e).name()) + ": " + e.what();
  }
  return "";
}

// The documented exception for each text: "<type>: <what()>", "" for "".
const char kBadSize[] = "The input data is not a multiple of the right size";
inline std::string Expected(const std::string& what) {
  const std::type_info& type = what == kBadSize            ? typeid(std::length_error)
                               : what == "Not Initialized" ? typeid(std::logic_error)
                                                           : typeid(std::invalid_argument);
  return what.empty() ? what : std::string(type.name()) + ": " + what;
}

}  // namespace vrel::test
