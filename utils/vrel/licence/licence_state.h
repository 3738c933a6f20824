// The verifier's state file: the latest time a verification saw, so that a
// clock turned back shows. Three lines of text,
//     vrel-licence-state: 1
//     latest: 2025-03-01T12:00:00Z
//     mac: <64 hex digits>
// the mac being HMAC-SHA-256 under the application key of
// kStateContext (its NUL included) and the first two lines. Internal.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vrel {

constexpr char kStateContext[] = "vrel licence state";

enum class StateRead { kOk, kAbsent, kTampered, kUnreadable };

// The file's time into `latest` when kOk.
StateRead ReadLicenceState(const std::string& path, std::string_view key, std::int64_t& latest);

// Replaces the file (a new file renamed over the old); false when it cannot.
bool WriteLicenceState(const std::string& path, std::string_view key, std::int64_t latest);

}  // namespace vrel
