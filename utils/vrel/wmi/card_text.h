// Pure decoding of the property texts of one network adapter into the fields
// of a NetCardInfo: the card filter, the name, the MAC and IPv4 parsers and
// the index conversion. They see exactly the texts that GetPropertyText
// produced: no trimming and no case folding. Texts that begin with "<" (a
// property that could not be read) fail every comparison and parser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "vrel/identity/net_card.h"

namespace vrel {

// True when "AdapterType" reads exactly "Ethernet 802.3" (case counts).
bool IsEthernetAdapterType(const std::wstring& adapterType);

// True when "Manufacturer" reads exactly "Microsoft": such adapters are skipped.
bool IsMicrosoftManufacturer(const std::wstring& manufacturer);

// Converts `text` to narrow characters into `buffer` of `size` bytes (size > 0):
// at most size - 1 characters, always NUL-terminated. As wcstombs in the C
// locale, it stops at the first character that is not ASCII (and at a NUL).
// Returns the number of characters stored.
std::size_t NarrowText(const std::wstring& text, char* buffer, std::size_t size);

// The card name: the caption's first 127 bytes, NUL-terminated. On Windows
// converted by the C runtime's wcstombs in its default locale (U+0080 to
// U+00FF become single bytes, as "\u00AE" in a caption); elsewhere by
// NarrowText's ASCII rule.
void CopyCardName(const std::wstring& caption, char (&name)[kMaxCardNameLength + 1]);

// Reads six hexadecimal groups from the narrow form of `text` (at most 63
// characters) at positions 0, 3, 6, 9, 12 and 15, whatever single character
// separates them, keeping each group's low 8 bits ("00:1A:2B:3C:4D:5E" and
// "00-1A-2B-3C-4D-5E" give the same bytes). Each group is read as scanf's
// "%x" reads: leading white space, an optional sign and "0x", then hex digits.
// When a group is missing or has no digit, the result is the zero MAC.
MacAddress ParseMacText(const std::wstring& text);

// The first element of an array text ("{a, b, ...}") that starts with four
// decimal numbers separated by dots, in host form (a.b.c.d gives
// a<<24 | b<<16 | c<<8 | d, taken modulo 2^32 with no range test). Each number
// is read as scanf's "%d" reads: leading white space and an optional sign.
// A number that does not fit an int makes its element unreadable. Returns 0
// when no element qualifies or the text does not begin with "{".
std::uint32_t ParseIpv4Text(const std::wstring& text);

// The leading integer of `text`, as _wtoi reads it: leading white space, an
// optional sign, then decimal digits; 0 when there is none. Values beyond the
// int range saturate at INT_MAX or INT_MIN.
std::int32_t TextToInt(const std::wstring& text);

}  // namespace vrel
