// The signature check on Linux: libcrypto (OpenSSL 3) through EVP. The raw
// r || s becomes the DER ECDSA-Sig-Value that EVP_DigestVerify reads.
#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <memory>
#include <new>

#include "vrel/licence/ecdsa.h"
#include "vrel/licence/libcrypto_holders.h"

namespace vrel {
namespace {

struct OpenSslFree {
  void operator()(unsigned char* bytes) const { OPENSSL_free(bytes); }
};

// `object`, or std::bad_alloc when libcrypto could not allocate it.
template <typename T>
T* Allocated(T* object) {
  if (object == nullptr) throw std::bad_alloc();
  return object;
}

// The key, or null when libcrypto refuses the point. EVP_PKEY_fromdata decodes it as SEC 1 does,
// refusing coordinates not below p, points off the curve and the point at infinity; P-256's
// cofactor is 1, so every point it takes is in the group and no further check is needed.
KeyPtr ImportPoint(const P256Point& point) {
  if (point[0] != 0x04) return nullptr;  // libcrypto would also take the hybrid form 0x06/0x07
  char group[] = "P-256";
  P256Point copy = point;
  const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
      OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, copy.data(), copy.size()),
      OSSL_PARAM_construct_end()};
  const KeyCtxPtr ctx(Allocated(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr)));
  EVP_PKEY_fromdata_init(ctx.get());  // should it fail, EVP_PKEY_fromdata fails too
  EVP_PKEY* raw = nullptr;
  if (EVP_PKEY_fromdata(ctx.get(), &raw, EVP_PKEY_PUBLIC_KEY, const_cast<OSSL_PARAM*>(params)) !=
      1) {
    ERR_clear_error();
    return nullptr;
  }
  return KeyPtr(raw);
}

}  // namespace

bool IsP256PublicKey(const P256Point& point) { return ImportPoint(point) != nullptr; }

bool VerifyP256Sha256(const P256Point& point, const std::uint8_t* message, std::size_t messageSize,
                      const std::uint8_t* signature, std::size_t signatureSize) {
  if (signatureSize != kP256SignatureSize) return false;
  const KeyPtr key = ImportPoint(point);
  if (!key) return false;
  BnPtr r(Allocated(BN_bin2bn(signature, 32, nullptr)));
  BnPtr s(Allocated(BN_bin2bn(signature + 32, 32, nullptr)));
  const SigPtr sig(Allocated(ECDSA_SIG_new()));
  ECDSA_SIG_set0(sig.get(), r.release(), s.release());  // fails only for a null number
  unsigned char* derBytes = nullptr;
  const int derSize = i2d_ECDSA_SIG(sig.get(), &derBytes);  // leaves derBytes null on failure
  const std::unique_ptr<unsigned char, OpenSslFree> der(Allocated(derBytes));
  const MdCtxPtr md(Allocated(EVP_MD_CTX_new()));
  // Should the start fail, EVP_DigestVerify fails too.
  EVP_DigestVerifyInit(md.get(), nullptr, EVP_sha256(), nullptr, key.get());
  const bool valid = EVP_DigestVerify(md.get(), der.get(), static_cast<std::size_t>(derSize),
                                      message, messageSize) == 1;
  ERR_clear_error();
  return valid;
}

}  // namespace vrel
