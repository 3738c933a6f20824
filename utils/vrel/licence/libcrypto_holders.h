// Owners of libcrypto's objects, for the signature check and the signer
// (native only; internal, not installed).
#pragma once

#include <openssl/ecdsa.h>
#include <openssl/evp.h>

#include <memory>

namespace vrel {

template <typename T, void (*Free)(T*)>
struct LibcryptoFree {
  void operator()(T* object) const { Free(object); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, LibcryptoFree<EVP_PKEY, EVP_PKEY_free>>;
using KeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, LibcryptoFree<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, LibcryptoFree<EVP_MD_CTX, EVP_MD_CTX_free>>;
using SigPtr = std::unique_ptr<ECDSA_SIG, LibcryptoFree<ECDSA_SIG, ECDSA_SIG_free>>;
using BnPtr = std::unique_ptr<BIGNUM, LibcryptoFree<BIGNUM, BN_free>>;

}  // namespace vrel
