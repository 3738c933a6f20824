// The signature check on Windows: CNG. The point goes in as a
// BCRYPT_ECCPUBLIC_BLOB (X and Y after the header, without SEC 1's 0x04),
// which BCryptImportKeyPair validates unless told not to; the message is
// hashed by CNG's SHA-256 and the raw r || s handed to BCryptVerifySignature.
// clang-format off
#include <windows.h>
#include <bcrypt.h>  // after windows.h, whose types it uses
// clang-format on

#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

#include "vrel/licence/ecdsa.h"

namespace vrel {
namespace {

struct ProviderClose {
  void operator()(void* handle) const { BCryptCloseAlgorithmProvider(handle, 0); }
};
struct KeyDestroy {
  void operator()(void* handle) const { BCryptDestroyKey(handle); }
};
struct HashDestroy {
  void operator()(void* handle) const { BCryptDestroyHash(handle); }
};
using ProviderPtr = std::unique_ptr<void, ProviderClose>;
using KeyPtr = std::unique_ptr<void, KeyDestroy>;
using HashPtr = std::unique_ptr<void, HashDestroy>;
static_assert(std::is_same_v<BCRYPT_ALG_HANDLE, void*> && std::is_same_v<BCRYPT_KEY_HANDLE, void*>,
              "CNG handles are pointers");

ProviderPtr OpenProvider(const wchar_t* algorithm) {
  BCRYPT_ALG_HANDLE handle = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle, algorithm, nullptr, 0))) return nullptr;
  return ProviderPtr(handle);
}

bool Ok(NTSTATUS status) { return BCRYPT_SUCCESS(status); }

// The key, or null when CNG refuses the point.
KeyPtr ImportPoint(BCRYPT_ALG_HANDLE provider, const P256Point& point) {
  unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
  const BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
  std::memcpy(blob, &header, sizeof header);
  std::memcpy(blob + sizeof header, point.data() + 1, 64);
  BCRYPT_KEY_HANDLE key = nullptr;
  const bool imported =
      point[0] == 0x04 &&
      Ok(BCryptImportKeyPair(provider, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key, blob, sizeof blob, 0));
  return KeyPtr(imported ? key : nullptr);
}

ProviderPtr EcdsaProvider() {
  ProviderPtr provider = OpenProvider(BCRYPT_ECDSA_P256_ALGORITHM);
  if (!provider) throw std::bad_alloc();  // CNG is part of every supported Windows
  return provider;
}

// Each step runs only while the ones before it succeeded.
bool Sha256(const std::uint8_t* message, std::size_t size, unsigned char digest[32]) {
  const ProviderPtr provider = OpenProvider(BCRYPT_SHA256_ALGORITHM);
  BCRYPT_HASH_HANDLE raw = nullptr;
  bool ok = provider && Ok(BCryptCreateHash(provider.get(), &raw, nullptr, 0, nullptr, 0, 0));
  const HashPtr hash(ok ? raw : nullptr);
  // BCryptHashData takes a ULONG length: large messages go in parts.
  for (ULONG part = 0; ok && size > 0; message += part, size -= part) {
    part = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
    ok = Ok(BCryptHashData(hash.get(), const_cast<PUCHAR>(message), part, 0));
  }
  return ok && Ok(BCryptFinishHash(hash.get(), digest, 32, 0));
}

}  // namespace

bool IsP256PublicKey(const P256Point& point) {
  const ProviderPtr provider = EcdsaProvider();
  return ImportPoint(provider.get(), point) != nullptr;
}

bool VerifyP256Sha256(const P256Point& point, const std::uint8_t* message, std::size_t messageSize,
                      const std::uint8_t* signature, std::size_t signatureSize) {
  // CNG is not relied on to refuse another length (Wine's takes a longer one).
  if (signatureSize != kP256SignatureSize) return false;
  const ProviderPtr provider = EcdsaProvider();
  const KeyPtr key = ImportPoint(provider.get(), point);
  unsigned char digest[32];
  if (!key || !Sha256(message, messageSize, digest)) return false;
  unsigned char rs[kP256SignatureSize];
  std::memcpy(rs, signature, sizeof rs);
  return BCRYPT_SUCCESS(
      BCryptVerifySignature(key.get(), nullptr, digest, sizeof digest, rs, sizeof rs, 0));
}

}  // namespace vrel
