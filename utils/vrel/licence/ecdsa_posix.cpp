// The signature check on Linux: libcrypto (OpenSSL 3) through EVP. The raw
// r || s becomes the DER ECDSA-Sig-Value that EVP_DigestVerify reads.
#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <memory>

#include "vrel/licence/ecdsa.h"

namespace vrel {
namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* object) const { Free(object); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using KeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX, EVP_MD_CTX_free>>;
using SigPtr = std::unique_ptr<ECDSA_SIG, Deleter<ECDSA_SIG, ECDSA_SIG_free>>;
using BnPtr = std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>>;
struct OpenSslFree {
  void operator()(unsigned char* bytes) const { OPENSSL_free(bytes); }
};

// The key, or null when libcrypto refuses the point (off the curve, infinity, not uncompressed).
KeyPtr ImportPoint(const P256Point& point) {
  if (point[0] != 0x04) return nullptr;  // compressed forms are not public key texts
  char group[] = "P-256";
  P256Point copy = point;
  const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
      OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, copy.data(), copy.size()),
      OSSL_PARAM_construct_end()};
  const KeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  EVP_PKEY* raw = nullptr;
  if (!ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1 ||
      EVP_PKEY_fromdata(ctx.get(), &raw, EVP_PKEY_PUBLIC_KEY, const_cast<OSSL_PARAM*>(params)) !=
          1) {
    ERR_clear_error();
    return nullptr;
  }
  KeyPtr key(raw);
  const KeyCtxPtr check(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
  if (!check || EVP_PKEY_public_check(check.get()) != 1) {
    ERR_clear_error();
    return nullptr;
  }
  return key;
}

}  // namespace

bool IsP256PublicKey(const P256Point& point) { return ImportPoint(point) != nullptr; }

bool VerifyP256Sha256(const P256Point& point, const std::uint8_t* message, std::size_t messageSize,
                      const std::uint8_t* signature, std::size_t signatureSize) {
  if (signatureSize != kP256SignatureSize) return false;
  const KeyPtr key = ImportPoint(point);
  if (!key) return false;
  BnPtr r(BN_bin2bn(signature, 32, nullptr)), s(BN_bin2bn(signature + 32, 32, nullptr));
  SigPtr sig(ECDSA_SIG_new());
  if (!r || !s || !sig || ECDSA_SIG_set0(sig.get(), r.get(), s.get()) != 1) throw std::bad_alloc();
  r.release();  // the signature owns them now
  s.release();
  unsigned char* derBytes = nullptr;
  const int derSize = i2d_ECDSA_SIG(sig.get(), &derBytes);
  if (derSize <= 0) throw std::bad_alloc();
  const std::unique_ptr<unsigned char, OpenSslFree> der(derBytes);
  const MdCtxPtr md(EVP_MD_CTX_new());
  if (!md) throw std::bad_alloc();
  const bool valid =
      EVP_DigestVerifyInit(md.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
      EVP_DigestVerify(md.get(), der.get(), static_cast<std::size_t>(derSize), message,
                       messageSize) == 1;
  ERR_clear_error();
  return valid;
}

}  // namespace vrel
