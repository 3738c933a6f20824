// Licence keys: the secret a customer types to activate. 150 random bits as
// 30 symbols of Crockford's base32 in six groups of five
// ("7K3QD-0ZM4X-...") with no vowel that spells a word, read back forgivingly
// (any case, hyphens and spaces anywhere, O as 0, I and L as 1). The registry
// keeps only a hash of a key, never the key.
#pragma once

#include <optional>
#include <string>

namespace vrel::registry {

// A new key from the system's random source.
std::string NewLicenceKey();

// The key's 30 symbols, upper case, or nothing for text that is not a key.
std::optional<std::string> NormaliseLicenceKey(const std::string& text);

// The SHA-256 of a normalised key's symbols, 32 bytes. A key of 150 random
// bits needs no slow hash: nobody can search that space.
std::string LicenceKeyHash(const std::string& normalised);

}  // namespace vrel::registry
