// Base64 (RFC 4648): the standard alphabet with padding (section 4) for the
// licence's signature line, the URL alphabet without padding (section 5) for
// public key texts. Internal to the licence library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vrel {

enum class Base64Alphabet { kStandard, kUrl };  // kStandard padded with '=', kUrl unpadded

std::string EncodeBase64(const std::uint8_t* data, std::size_t size, Base64Alphabet alphabet);

// Replaces `out` with the bytes of `text`. Only the canonical encoding is
// read: the alphabet's characters, its padding rule, unused bits zero; false,
// `out` empty, for any other text.
bool DecodeBase64(std::vector<std::uint8_t>& out, std::string_view text, Base64Alphabet alphabet);

}  // namespace vrel
