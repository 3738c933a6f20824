// Identifier values that firmware makers and system images ship to many
// machines. Two machines sharing one tell nothing about each other, so a
// component holding one reads as unavailable, with the reason "placeholder".
// Internal to the library.
#pragma once

#include <algorithm>
#include <iterator>
#include <string_view>

namespace vrel::fingerprint {

// System UUIDs, in canonical text (lower case, dashes). Firmware stores the
// first three fields in either byte order, so a placeholder is listed both ways.
constexpr std::string_view kPlaceholderBoards[] = {
    "00000000-0000-0000-0000-000000000000",  // not set
    "ffffffff-ffff-ffff-ffff-ffffffffffff",  // not set (erased flash)
    "03000200-0400-0500-0006-000700080009",  // "To be filled by O.E.M." firmware
    "00020003-0004-0005-0006-000700080009",  // the same, first fields swapped
    // Dell builds the UUID from the service tag: a board whose tag was never
    // programmed holds the bare template, the same on every such board.
    "4c4c4544-0000-0010-8000-00c04f000000",
    "44454c4c-0000-1000-8000-00c04f000000",  // the same, first fields swapped
};

// Installation ids (Windows MachineGuid, Linux machine-id): the canonical 32
// hex digits, or the file's text with the padding trimmed.
constexpr std::string_view kPlaceholderInstallIds[] = {
    "00000000000000000000000000000000",
    "ffffffffffffffffffffffffffffffff",
    "uninitialized",  // systemd's machine-id before the first boot completes
};

template <std::size_t N>
constexpr bool IsListed(const std::string_view (&list)[N], std::string_view text) {
  return std::find(std::begin(list), std::end(list), text) != std::end(list);
}

}  // namespace vrel::fingerprint
