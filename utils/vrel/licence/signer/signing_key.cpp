#include "vrel/licence/signer/signing_key.h"

#include <fcntl.h>
#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>

#include "vrel/licence/libcrypto_holders.h"
#include "vrel/licence/public_key.h"

namespace vrel {
namespace {

struct FileClose {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileClose>;

// libcrypto's calls here fail only for want of memory or of the default provider: one check
// for them all.
void Require(bool done, const char* what) {
  if (done) return;
  ERR_clear_error();
  throw std::runtime_error(what);
}

[[noreturn]] void FailSystem(const std::string& path) {
  throw KeyFileError(path + ": " + std::strerror(errno));
}

// A stream over `fd` (from open(2)), which it then owns.
FilePtr Stream(int fd, const char* mode, const std::string& path) {
  if (fd < 0) FailSystem(path);
  FilePtr file(fdopen(fd, mode));
  if (!file) {  // fdopen of an open descriptor fails only for want of memory
    close(fd);
    throw std::bad_alloc();
  }
  return file;
}

}  // namespace

void SigningKey::Free::operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }

SigningKey SigningKey::Generate() {
  EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
  Require(key != nullptr, "libcrypto: cannot generate a P-256 key");
  return SigningKey(key);
}

SigningKey SigningKey::Load(const std::string& path) {
  FilePtr file = Stream(open(path.c_str(), O_RDONLY | O_CLOEXEC), "r", path);
  struct stat facts {};  // fstat of an open descriptor cannot fail; a zero mode is no regular file
  fstat(fileno(file.get()), &facts);
  if (!S_ISREG(facts.st_mode)) throw KeyFileError(path + ": not a regular file");
  if ((facts.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(facts.st_mode & 07777));
    throw KeyFileError("permissions " + std::string(mode) + " for " + path +
                       " are too open: a private key must not be accessible by group or others "
                       "(chmod 600 " +
                       path + ")");
  }
  EVP_PKEY* raw = PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr);
  ERR_clear_error();
  SigningKey key(raw);
  char group[32] = "";
  if (raw == nullptr || !EVP_PKEY_is_a(raw, "EC") ||
      EVP_PKEY_get_utf8_string_param(raw, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group,
                                     nullptr) != 1 ||
      std::strcmp(group, "prime256v1") != 0) {
    ERR_clear_error();
    throw KeyFileError(path + ": not a P-256 private key in PEM");
  }
  return key;
}

void SigningKey::Save(const std::string& path) const {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0 && errno == EEXIST) throw KeyFileError(path + ": exists; a key is never overwritten");
  FilePtr file = Stream(fd, "w", path);
  if (PEM_write_PrivateKey(file.get(), key_.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1 ||
      std::fflush(file.get()) != 0 || fsync(fileno(file.get())) != 0) {
    ERR_clear_error();
    const int error = errno;
    // A key cut short is no key, and left there it would stop the next keygen at that path.
    file.reset();
    unlink(path.c_str());
    errno = error;
    FailSystem(path);
  }
}

// Coordinates and r, s are below 2^256, so BN_bn2binpad always fills its 32 bytes.
P256Point SigningKey::PublicPoint() const {
  BIGNUM* x = nullptr;
  BIGNUM* y = nullptr;
  Require(EVP_PKEY_get_bn_param(key_.get(), OSSL_PKEY_PARAM_EC_PUB_X, &x) == 1,
          "libcrypto: cannot read the public point");
  const BnPtr ownX(x);
  Require(EVP_PKEY_get_bn_param(key_.get(), OSSL_PKEY_PARAM_EC_PUB_Y, &y) == 1,
          "libcrypto: cannot read the public point");
  const BnPtr ownY(y);
  P256Point point;
  point[0] = 0x04;
  BN_bn2binpad(x, point.data() + 1, 32);
  BN_bn2binpad(y, point.data() + 33, 32);
  return point;
}

std::string SigningKey::PublicKeyText() const { return FormatPublicKey(PublicPoint()); }

std::vector<std::uint8_t> SigningKey::Sign(const std::string& message) const {
  const MdCtxPtr md(EVP_MD_CTX_new());
  Require(md != nullptr, "libcrypto: no memory for a signature");
  std::size_t size = 0;
  // Should the start fail, EVP_DigestSign fails too.
  EVP_DigestSignInit(md.get(), nullptr, EVP_sha256(), nullptr, key_.get());
  Require(EVP_DigestSign(md.get(), nullptr, &size, nullptr, 0) == 1,
          "libcrypto: cannot start a signature");
  std::vector<unsigned char> der(size);
  const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
  Require(EVP_DigestSign(md.get(), der.data(), &size, bytes, message.size()) == 1,
          "libcrypto: cannot sign");
  const unsigned char* read = der.data();
  const SigPtr sig(d2i_ECDSA_SIG(nullptr, &read, static_cast<long>(size)));
  Require(sig != nullptr, "libcrypto: cannot read the signature");
  std::vector<std::uint8_t> rs(kP256SignatureSize);
  BN_bn2binpad(ECDSA_SIG_get0_r(sig.get()), rs.data(), 32);
  BN_bn2binpad(ECDSA_SIG_get0_s(sig.get()), rs.data() + 32, 32);
  return rs;
}

std::string SignLicence(const SigningKey& key, LicenceFields fields) {
  fields.keyId = KeyIdText(KeyIdOf(key.PublicPoint()));
  const std::string payload = WriteLicencePayload(fields);
  return WriteLicenceFile(payload, key.Sign(LicenceSignedMessage(payload)));
}

}  // namespace vrel
