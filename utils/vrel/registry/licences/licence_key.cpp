#include "vrel/registry/licences/licence_key.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <stdexcept>

namespace vrel::registry {
namespace {

constexpr char kSymbols[] = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
constexpr std::size_t kKeySymbols = 30;
constexpr std::size_t kGroup = 5;

int SymbolValue(char c) {
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (c == 'O') c = '0';
  if (c == 'I' || c == 'L') c = '1';
  for (int i = 0; i < 32; ++i) {
    if (kSymbols[i] == c) return i;
  }
  return -1;
}

}  // namespace

std::string NewLicenceKey() {
  unsigned char random[kKeySymbols];
  if (RAND_bytes(random, sizeof random) != 1)
    throw std::runtime_error("the system's random source failed");
  std::string key;
  for (std::size_t i = 0; i < kKeySymbols; ++i) {
    if (i > 0 && i % kGroup == 0) key += '-';
    key += kSymbols[random[i] & 31];  // 5 bits of each byte: uniform over 32 symbols
  }
  return key;
}

std::optional<std::string> NormaliseLicenceKey(const std::string& text) {
  if (text.size() > 4 * kKeySymbols) return std::nullopt;
  std::string symbols;
  for (char c : text) {
    if (c == '-' || c == ' ') continue;
    const int value = SymbolValue(c);
    if (value < 0) return std::nullopt;
    symbols += kSymbols[value];
  }
  if (symbols.size() != kKeySymbols) return std::nullopt;
  return symbols;
}

std::string LicenceKeyHash(const std::string& normalised) {
  unsigned char digest[32];
  unsigned int size = 0;
  if (EVP_Digest(normalised.data(), normalised.size(), digest, &size, EVP_sha256(), nullptr) != 1)
    throw std::runtime_error("SHA-256 failed");
  return std::string(reinterpret_cast<const char*>(digest), size);
}

}  // namespace vrel::registry
