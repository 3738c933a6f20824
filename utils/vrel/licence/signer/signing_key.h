// The licence signer's private key (server side, native Linux, libcrypto):
// a P-256 key kept as a PKCS #8 PEM file that only its owner may read, its
// public key text (public_key.h) and signed licence files (licence_file.h).
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "vrel/licence/licence_file.h"

typedef struct evp_pkey_st EVP_PKEY;

namespace vrel {

// A key file that cannot be used: missing, unreadable, not a P-256 private
// key, readable by group or others, or (when writing) already there. The
// message names the file and says what to do.
class KeyFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class SigningKey {
 public:
  static SigningKey Generate();
  // Refuses a file that group or others may read or write, as ssh does.
  static SigningKey Load(const std::string& path);
  // Writes a new file with mode 0600; never replaces one.
  void Save(const std::string& path) const;

  P256Point PublicPoint() const;
  std::string PublicKeyText() const;
  // r || s of the SHA-256 of `message`.
  std::vector<std::uint8_t> Sign(const std::string& message) const;

 private:
  struct Free {
    void operator()(EVP_PKEY* key) const;
  };
  explicit SigningKey(EVP_PKEY* key) : key_(key) {}
  std::unique_ptr<EVP_PKEY, Free> key_;
};

// The licence file of `fields` signed by `key` (key-id set to the key's).
// Throws std::invalid_argument for a field the format cannot carry.
std::string SignLicence(const SigningKey& key, LicenceFields fields);

}  // namespace vrel
