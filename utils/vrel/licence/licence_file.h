// The licence file: text that survives e-mail, copy and paste and line-ending
// conversion. Shared by the signer (server) and the verifier (client); plain
// code, no cryptography.
//
//     -----BEGIN VREL LICENCE-----
//     format: 1
//     key-id: 3f2a9c0b7e615d48
//     application: Example Writer
//     licence-id: L-2025-0001
//     licensee: Example Ltd
//     features: export,print
//     machine-id: 42
//     token: vfp1-...
//     issued: 2025-03-01T12:00:00Z
//     expires: 2026-03-01T12:00:00Z
//     check-in: 2025-06-01T12:00:00Z
//     signature: <base64 of r || s, 88 characters>
//     -----END VREL LICENCE-----
//
// The payload is the lines between the two armour lines but the signature
// line, each ending with LF, in the order above, every one present: "name: value" (or
// "name:" for an empty value), printable ASCII, no blank at either end of a
// value. features is a comma-separated list of names of [A-Za-z0-9._-]. The
// signature is over kLicenceSignatureContext (its NUL included) followed by
// those exact bytes. Reading normalises line endings (CR LF and LF) and drops
// spaces and tabs at line ends, which the writer never leaves, so a converted
// or re-wrapped-by-mail file reads as the one signed. Lines before the BEGIN
// line and after the END line are ignored (the text of an e-mail); the file
// holds exactly one BEGIN and one END line. The whole file is at most
// kMaxLicenceFileSize bytes of ASCII: tab, CR, LF and 0x20-0x7E.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vrel/licence/ecdsa.h"

namespace vrel {

constexpr int kLicenceFormat = 1;
constexpr std::size_t kMaxLicenceFileSize = 64 * 1024;
constexpr char kLicenceBegin[] = "-----BEGIN VREL LICENCE-----";
constexpr char kLicenceEnd[] = "-----END VREL LICENCE-----";
// Signed before the payload, with its terminating NUL: a signature made for
// anything else by the same key never verifies as a licence's.
constexpr char kLicenceSignatureContext[] = "vrel licence signature";

struct LicenceFields {
  int format = kLicenceFormat;
  std::string keyId;  // 16 lower-case hex digits (public_key.h)
  std::string application;
  std::string licenceId;
  std::string licensee;
  std::vector<std::string> features;
  std::string machineId;
  std::string token;
  std::int64_t issued = 0;  // seconds since 1970-01-01T00:00:00Z
  std::int64_t expires = 0;
  std::int64_t checkIn = 0;  // the check-in deadline
};

// The payload of `fields`, each line ending with LF. Throws
// std::invalid_argument for a value the format cannot carry.
std::string WriteLicencePayload(const LicenceFields& fields);

// The signed message: the context, its NUL, the payload.
std::string LicenceSignedMessage(std::string_view payload);

// The file: armour, payload, signature line. Throws std::invalid_argument
// unless the signature has kP256SignatureSize bytes.
std::string WriteLicenceFile(std::string_view payload, const std::vector<std::uint8_t>& signature);

enum class LicenceReadStatus { kOk, kTooLarge, kNotText, kMalformed, kUnsupportedFormat };

struct LicenceFileContents {
  LicenceReadStatus status = LicenceReadStatus::kMalformed;
  std::string error;     // one line when not kOk
  LicenceFields fields;  // read fields (format alone when kUnsupportedFormat)
  std::string payload;   // normalised, as signed
  std::vector<std::uint8_t> signature;
};

// Reads a file as described above. Never throws for any input (bar std::bad_alloc).
LicenceFileContents ReadLicenceFile(std::string_view text);

}  // namespace vrel
