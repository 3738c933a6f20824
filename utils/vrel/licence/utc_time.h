// Times in licence files: RFC 3339 in UTC, to the second, as
// "YYYY-MM-DDTHH:MM:SSZ" and nothing else (no fraction, no offset, no leap
// second), against seconds since 1970-01-01T00:00:00Z in the proleptic
// Gregorian calendar. Internal to the licence library.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vrel {

// Years 0000 to 9999; throws std::out_of_range outside them.
std::string FormatUtcTime(std::int64_t seconds);

// False for any text but the form above with a real date and time.
bool ParseUtcTime(std::string_view text, std::int64_t& seconds);

}  // namespace vrel
